// Classification of the running Windows version and the machine probes.
#pragma once

#include "foundation/context.h"

namespace kv {

// The kind of Windows the library runs on. The numbers are the installer
// script's own codes: exports and scripts compare them as integers.
enum class OsKind : int {
  NT4 = 1,      // Windows NT 4.0
  Win9x = 2,    // Windows 95, 98, Me
  Win2000 = 3,  // Windows 2000 (NT 5.0 only)
  XP = 4,       // Windows XP (5.1) and every later NT: 2003, Vista to 10
  Other = -1,   // NT 3.x, Win32s, anything else
};

// The OS kind from a fresh version record; Other when the record can't be
// read.
OsKind GetOSKind(Context& ctx);

// 1 for NT 4.0, 2 for NT 5.0 or later, -1 otherwise (Windows 9x included).
int GetNTGeneration(Context& ctx);

// The export's contract: exports/foundation_exports.h (IsWinMe).
int IsWinMe(Context& ctx);

// `valueSize` is the read buffer (512 for GetCode98orAT, 260 for CheckPC98).
// The export's contract: exports/foundation_exports.h (GetCode98orAT).
int IsPC98Machine(Context& ctx, DWORD valueSize);

}  // namespace kv
