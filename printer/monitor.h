// Port monitor installation.
#pragma once

#include "foundation/context.h"

namespace kv {

// Adds the port monitor named by "Lmonn" of [Files.Com] in `file`, with the
// monitor file of the OS kind ("LmonmNT"/"Lmonm9x"/"Lmonm2K") for its
// environment. Returns the spooler's result: non-zero when added, 0 when
// refused (already installed, empty name) or when the OS kind is -1. The
// monitor file must already be in the system directory.
int InstallPrinterMonitor(Context& ctx, const char* file);

}  // namespace kv
