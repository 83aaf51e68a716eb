// Printer creation on its port, its default device mode, and the default
// printer.
#pragma once

#include "foundation/context.h"

namespace kv {

// Creates printer `printerName` on `port` for ctx.driverName, forces its
// "Port" value, gives it the driver's default device mode, on Windows 9x
// ensures the hardware-profile key, and with `makeDefault` writes the
// "device" line of win.ini and broadcasts WM_WININICHANGE. Returns 1 when the
// spooler created the printer (a handle of the new printer was obtained), 0
// otherwise (an existing name, unknown driver, kind -1).
int RegistPrinter(Context& ctx, const char* port, int makeDefault,
                  const char* printerName, const char* file);

}  // namespace kv
