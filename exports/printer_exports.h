// Exports of printer installation.
#pragma once

#include "foundation/win32.h"

#define KV_PRINTER_EXPORTS(X) \
  X(InstallPrinterMonitor)    \
  X(ToRegPrinter)             \
  X(ToRegPrinter95)           \
  X(ToRegPrinterNT)           \
  X(ToRestartPrinterService)

extern "C" {

// Registers the port monitor named by "Lmonn" of [Files.Com] in the setup
// information file `sii`, with the monitor file of the running Windows family
// (already in the system directory). Non-zero when the spooler added it; 0
// when refused (already installed, empty name, unknown Windows).
int WINAPI InstallPrinterMonitor(LPCSTR sii);

// Registers a printer end to end from setup file `sii`: model lookup of
// `model`, the parallel-port driver service and spooler (NT family), print
// processor, port monitor, driver, and printer `printerName` on `port`, made
// the default when `makeDefault` is non-zero; on Windows 9x also the device
// entries (USB from `setupDir`\`sii` when `usb` is non-zero, else parallel).
// The driver files must already be in place. 1 when the printer was created,
// 0 otherwise (the other steps' failures don't change it). The three names
// are one operation.
int WINAPI ToRegPrinter(LPCSTR port, LPCSTR model, int makeDefault,
                        LPCSTR setupDir, LPCSTR printerName, int usb,
                        LPCSTR sii);
int WINAPI ToRegPrinter95(LPCSTR port, LPCSTR model, int makeDefault,
                          LPCSTR setupDir, LPCSTR printerName, int usb,
                          LPCSTR sii);
int WINAPI ToRegPrinterNT(LPCSTR port, LPCSTR model, int makeDefault,
                          LPCSTR setupDir, LPCSTR printerName, int usb,
                          LPCSTR sii);

// Stops and restarts the spooler (Windows 2000: with LPDSVC and MacPrint),
// waiting at most 60 s for each service. Does nothing on Windows 9x. Always 1.
int WINAPI ToRestartPrinterService(void);

}  // extern "C"
