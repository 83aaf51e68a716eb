// Questions the installer script asks about printers: how many there are,
// which name a new printer should take, whether a printer opens, and whether
// the TCP/IP printing service is registered.
#pragma once

#include "foundation/context.h"

namespace kv {

// Capacity of a printer name chosen by GetPrinterDriverName, with its
// terminator: the caller's output buffer is at least this large.
constexpr size_t kPrinterNameSize = 128;
// The highest suffix GetPrinterDriverName tries: B(2) .. B(9999).
constexpr int kMaxPrinterNameSuffix = 9999;

// Number of local printers (EnumPrintersA level 2), 0 on failure or when
// there are none.
int GetPrinterNum(Context& ctx);

// Chooses the name for a printer of base name `base` on port `port`: `base`,
// else `base`(2), `base`(3), ... the first name that no printer has, or whose
// printer already serves `port` (its "Port" value equals `port` exactly).
// The name is written with its terminator to `out` (kPrinterNameSize bytes)
// and its length plus one is returned. A base too long for the name is cut so
// that the suffix still fits. 0 (and an empty `out`) when every suffix up to
// `maxSuffix` is taken. On an unknown Windows version the (cut) base is the
// answer without looking.
int GetPrinterDriverName(Context& ctx, const char* base, const char* port,
                         char* out, int maxSuffix = kMaxPrinterNameSuffix);

// 1 when OpenPrinterA opens `name` (the handle is closed again), else 0.
// An empty name answers 0: it would open the print server, not a printer.
int PrinterCheck(Context& ctx, const char* name);

// 1 when HKLM\SOFTWARE\Microsoft\LPDSVC\CurrentVersion has a non-empty
// "Title" value, else 0.
int Chk_MicroTcpIpEntryNT(Context& ctx);

}  // namespace kv
