// The printer registration sequence.
#pragma once

#include "foundation/context.h"

namespace kv {

// `file` is the setup file. Sets ctx.driverName and ctx.deviceId by the model
// lookup. A failing processor, monitor, driver or printer step is traced and
// the next one runs; the result is the printer step's.
// The export's contract: exports/printer_exports.h (ToRegPrinter).
int ToRegPrinter(Context& ctx, const char* port, const char* model,
                 int makeDefault, const char* setupDir, const char* printerName,
                 int usb, const char* file);

}  // namespace kv
