// The printer registration sequence.
#pragma once

#include "foundation/context.h"

namespace kv {

// Registers one printer end to end: model lookup, parallel-port driver
// service and spooler services (NT family), print processor, port monitor
// (when "Lmonn" is set), driver, the printer itself, and on Windows 9x the
// device entries (USB when `usb` is non-zero, else parallel). A failing step
// is traced and the next one runs. Returns the printer step's result: 1 when
// the printer was created, else 0.
int ToRegPrinter(Context& ctx, const char* port, const char* model,
                 int makeDefault, const char* setupDir, const char* printerName,
                 int usb, const char* file);

}  // namespace kv
