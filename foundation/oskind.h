// Classification of the running Windows version and the machine probes.
#pragma once

#include "foundation/context.h"

namespace kv {

// The kind of Windows the library runs on. The numbers are the installer
// script's own codes: exports and scripts compare them as integers.
enum class OsKind : int {
  NT4 = 1,      // Windows NT 4.0
  Win9x = 2,    // Windows 95, 98, Me
  Win2000 = 3,  // Windows 2000
  XP = 4,       // Windows XP or later
  Other = -1,   // NT 3.x, Win32s, anything else
};

// The OS kind from a fresh version record; Other when the record can't be
// read.
OsKind GetOSKind(Context& ctx);

// 1 for NT 4.0, 2 for NT 5.0 or later, -1 otherwise (Windows 9x included).
int GetNTGeneration(Context& ctx);

// 1 when the low 16 bits of the build number are 3000 or more (Windows Me,
// and any NT build that high); 0 otherwise. The platform is not examined.
int IsWinMe(Context& ctx);

// 1 for an NEC PC-98 machine, 0 for PC/AT: PC/AT only when both
// "keyboard.typ" and "system.drv" of [boot.description] in system.ini are
// present, non-empty and do not begin with "NEC" (case-sensitive).
// `valueSize` is the read buffer (512 for GetCode98orAT, 260 for CheckPC98).
int IsPC98Machine(Context& ctx, DWORD valueSize);

}  // namespace kv
