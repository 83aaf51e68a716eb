// Port monitor installation.
#pragma once

#include "foundation/context.h"

namespace kv {

// `file` is the setup file. 1 or 0; a refusal is traced with the spooler's
// error ("AddMonitor Fail ErrMsg[0x%x]").
// The export's contract: exports/printer_exports.h (InstallPrinterMonitor).
int InstallPrinterMonitor(Context& ctx, const char* file);

}  // namespace kv
