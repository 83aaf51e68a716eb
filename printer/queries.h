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

// Enumerates at level 2.
// The export's contract: exports/query_exports.h (GetPrinterNum).
int GetPrinterNum(Context& ctx);

// `out` (kPrinterNameSize bytes) must not be null. `maxSuffix` bounds the
// search (the export's is kMaxPrinterNameSuffix). A printer key whose "Port"
// value is missing or unreadable counts as on another port.
// The export's contract: exports/query_exports.h (GetPrinterDriverName).
int GetPrinterDriverName(Context& ctx, const char* base, const char* port,
                         char* out, int maxSuffix = kMaxPrinterNameSuffix);

// An empty name is refused because it would open the print server.
// The export's contract: exports/query_exports.h (PrinterCheck).
int PrinterCheck(Context& ctx, const char* name);

// The export's contract: exports/query_exports.h (Chk_MicroTcpIpEntryNT).
int Chk_MicroTcpIpEntryNT(Context& ctx);

}  // namespace kv
