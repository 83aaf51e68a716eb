// Printer driver installation.
#pragma once

#include "foundation/context.h"

namespace kv {

// Adds the printer driver named by ctx.driverName at level 3: the family's
// driver, data and configuration files, the help file and monitor name of
// [Files.Com], the dependent-file list, and the data type ("RAW" on the NT
// family, "DATATYPE" of [Install] cut to 4 characters on Windows 9x). The
// files must already be in the spooler's driver directory. Returns the
// spooler's result; 0 for kind -1.
int InstallPrinterDriver(Context& ctx, const char* file);

}  // namespace kv
