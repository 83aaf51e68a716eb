// Exports of printer installation.
#pragma once

#include "foundation/win32.h"

#define KV_PRINTER_EXPORTS(X) X(InstallPrinterMonitor)

extern "C" {

// Registers the port monitor named by "Lmonn" of [Files.Com] in the setup
// information file `sii`, with the monitor file of the running Windows family
// (already in the system directory). Non-zero when the spooler added it; 0
// when refused (already installed, empty name, unknown Windows).
int WINAPI InstallPrinterMonitor(LPCSTR sii);

}  // extern "C"
