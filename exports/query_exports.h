// Exports of the installer's printer and port questions: parallel-port
// detection and the printer queries.
#pragma once

#include "foundation/win32.h"

#define KV_QUERY_EXPORTS(X) \
  X(ToDetectLPT)            \
  X(GetPrinterNum)          \
  X(GetPrinterDriverName)   \
  X(PrinterCheck)           \
  X(Chk_MicroTcpIpEntryNT)

extern "C" {

// 1 when the parallel port named by the first five characters of `port`
// (LPT1: to LPT3:, any case) exists; 0 otherwise. Last error: not
// meaningful.
int WINAPI ToDetectLPT(LPCSTR port);
// Number of local printers; 0 when there are none or on failure. Last
// error: not meaningful.
int WINAPI GetPrinterNum(void);
// The name a printer of base name `base` on `port` should take (`base`, or
// `base`(n) for the first n >= 2 not taken by a printer on another port),
// written to `name` (at least 128 bytes); its length plus one, or 0 (empty
// buffer) when no name up to `base`(9999) is free, and for a null `name`. A
// base too long for 127 characters is cut so the suffix still fits. On an
// unrecognised Windows version the (cut) base without looking. Last error:
// not meaningful.
int WINAPI GetPrinterDriverName(LPCSTR base, LPCSTR port, LPSTR name);
// 1 when the printer opens (the handle is closed again); 0 otherwise, and
// for an empty or null name. Last error: when a name does not open,
// OpenPrinterA's error (ERROR_INVALID_PRINTER_NAME for an unknown printer);
// an empty or null name leaves it as the caller had it; after 1 not
// meaningful.
int WINAPI PrinterCheck(LPCSTR name);
// 1 when the TCP/IP printing service (LPDSVC) is registered: its
// CurrentVersion key has a non-empty "Title". Last error: not meaningful.
int WINAPI Chk_MicroTcpIpEntryNT(void);

}  // extern "C"
