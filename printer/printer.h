// Printer creation on its port, its default device mode, and the default
// printer.
#pragma once

#include <string>

#include "foundation/context.h"
#include "foundation/oskind.h"

namespace kv {

// Whether the names RegistPrinter would write can be what they claim: the
// printer, port and driver (ctx.driverName) names for the spooler, and with
// `makeDefault` the port and the driver field of win.ini's device line
// ("Drcf9x" on Windows 9x, which must not be empty), stored in `lineDriver`
// when given. False with the last error of the first name refused
// (ERROR_INVALID_PRINTER_NAME for the printer, ERROR_INVALID_DATA for an
// empty "Drcf9x", ERROR_INVALID_NAME otherwise).
bool CheckPrinterNames(Context& ctx, OsKind kind, const char* port,
                       int makeDefault, const char* printerName,
                       const char* file, std::string* lineDriver = nullptr);

// Creates printer `printerName` on `port` for ctx.driverName, forces its
// "Port" value, gives it the driver's default device mode, on Windows 9x
// ensures the hardware-profile key, and with `makeDefault` writes the
// "device" line of win.ini and broadcasts WM_WININICHANGE. Returns 1 when the
// spooler created the printer (a handle of the new printer was obtained), 0
// otherwise (an existing name, unknown driver, kind -1, a name refused by
// CheckPrinterNames: then nothing is written). The device line is written
// only for a printer the spooler has: the new one, or an existing one of
// that name.
int RegistPrinter(Context& ctx, const char* port, int makeDefault,
                  const char* printerName, const char* file);

}  // namespace kv
