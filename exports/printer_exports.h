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
// when refused (already installed, empty name, monitor file missing) or on
// an unknown Windows; a name that can't be a monitor's (a backslash, a
// control character) is refused without asking the spooler, with
// ERROR_INVALID_NAME. Last error: when the spooler refused, its error (the
// library clears it before the call); otherwise not meaningful.
int WINAPI InstallPrinterMonitor(LPCSTR sii);

// Registers a printer end to end from setup file `sii`: model lookup of
// `model`, the parallel-port driver service and spooler (NT family), print
// processor, port monitor, driver, and printer `printerName` on `port`, made
// the default when `makeDefault` is non-zero; on Windows 9x also the device
// entries (USB from `setupDir`\`sii` when `usb` is non-zero, else parallel).
// The driver files must already be in place. Records what it installs for
// the setup file's product (HKLM\Software\KORVA\Installed\<product>: the
// driver's installed files and the monitor's library, counted in Windows'
// SharedDLLs counts, the driver's name, and the files ExpCopy and Xcopy
// placed earlier in the process); a setup file naming one of Windows' own
// port-driver services leaves that service alone. 1 when the printer was
// created, 0 otherwise (the other steps' failures don't change it). Names that
// can't be what they claim stop it before anything is written, with 0: a
// printer name that is empty, over 255 characters or holds a comma, backslash
// or control character (ERROR_INVALID_PRINTER_NAME); a port that is empty or
// holds a control character, with `makeDefault` a comma too, on Windows 9x
// with `usb` a backslash too; a driver name "<Product> <model>" that is no
// key name; with `makeDefault` on Windows 9x a "Drcf9x" with a comma or
// control character (these ERROR_INVALID_NAME). The default-printer line is
// written only for a printer the spooler has (the new one, or an existing
// one of that name). A parallel-port driver service is replaced only when
// the service of that name is a kernel driver; any other is left alone, and
// so is one that does not stop or when the system directory can't be had;
// when the replacement can't be created the old service is made again from
// its configuration. Values the setup file must give and does not (empty: a
// missing key and a failed read look alike) stop it before anything is
// written, with 0 and ERROR_INVALID_DATA (13): the product name, the model
// (not in the list, or an empty name), with `makeDefault` on Windows 9x
// "Drcf9x", on the NT family a port driver named by only one of its file and
// service keys (neither: no service step). The three names are one
// operation. Last error: on the NT family, when 0, the spooler's error for
// the printer (ERROR_PRINTER_ALREADY_EXISTS, ERROR_INVALID_PRINTER_NAME,
// ERROR_UNKNOWN_PRINTER_DRIVER, ...), restored after the later steps, or the
// refusal's; on Windows 9x (the device entries follow) after a printer step
// that ran, on an unknown Windows and after success, not meaningful.
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
// Last error: not meaningful.
int WINAPI ToRestartPrinterService(void);

}  // extern "C"
