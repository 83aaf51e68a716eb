#include "exports/printer_exports.h"

#include "exports/dll_context.h"
#include "exports/guard.h"
#include "exports/string_args.h"
#include "foundation/services.h"
#include "printer/monitor.h"
#include "printer/registration.h"

using kv::DllContext;
using kv::Guarded;
using kv::OrEmpty;

extern "C" {

int WINAPI InstallPrinterMonitor(LPCSTR sii) {
  return Guarded(
      0, [&] { return kv::InstallPrinterMonitor(DllContext(), OrEmpty(sii)); });
}

// The three registration exports' one body; the call trace names the
// export that called it.
static int RegisterPrinter(LPCSTR port, LPCSTR model, int makeDefault,
                           LPCSTR setupDir, LPCSTR printerName, int usb,
                           LPCSTR sii,
                           const char* exportName = __builtin_FUNCTION()) {
  return Guarded(
      0,
      [&] {
        return kv::ToRegPrinter(DllContext(), OrEmpty(port), OrEmpty(model),
                                makeDefault, OrEmpty(setupDir),
                                OrEmpty(printerName), usb, OrEmpty(sii));
      },
      exportName);
}

int WINAPI ToRegPrinter(LPCSTR port, LPCSTR model, int makeDefault,
                        LPCSTR setupDir, LPCSTR printerName, int usb,
                        LPCSTR sii) {
  return RegisterPrinter(port, model, makeDefault, setupDir, printerName, usb,
                         sii);
}

int WINAPI ToRegPrinter95(LPCSTR port, LPCSTR model, int makeDefault,
                          LPCSTR setupDir, LPCSTR printerName, int usb,
                          LPCSTR sii) {
  return RegisterPrinter(port, model, makeDefault, setupDir, printerName, usb,
                         sii);
}

int WINAPI ToRegPrinterNT(LPCSTR port, LPCSTR model, int makeDefault,
                          LPCSTR setupDir, LPCSTR printerName, int usb,
                          LPCSTR sii) {
  return RegisterPrinter(port, model, makeDefault, setupDir, printerName, usb,
                         sii);
}

int WINAPI ToRestartPrinterService(void) {
  return Guarded(1, [] { return kv::ToRestartPrinterService(DllContext()); });
}

}  // extern "C"
