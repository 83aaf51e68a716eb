// Exports of the foundation: Windows version probes and diagnostics.
// All are __stdcall with C linkage and undecorated names (see _KVSUP32.def).
#pragma once

#include "foundation/win32.h"

#define KV_FOUNDATION_EXPORTS(X) \
  X(IsWinMe)                     \
  X(GetCode98orAT)               \
  X(CheckPC98)                   \
  X(LastErrorMessageBox)

extern "C" {

// 1 on Windows Me (build number 3000 or above), 0 on Windows 95 and 98. The
// platform is not examined: an NT build of 3000 or above answers 1 too, so
// NT 4.0, 2000 and XP answer 0 but Server 2003 (3790) and every Windows from
// Vista (6002) to 10 (9200 or 18362 and later) answer 1. Test the platform
// before trusting it. Changes nothing. Last error: not meaningful.
int WINAPI IsWinMe(void);

// 1 on an NEC PC-98 machine, 0 on a PC/AT, from [boot.description] of
// system.ini (a missing, empty or "NEC..." keyboard.typ or system.drv means
// PC-98; the "NEC" test is case-sensitive).
// Last error: not meaningful (the profile reads may set it).
int WINAPI GetCode98orAT(void);

// The same answer as GetCode98orAT. Last error: not meaningful.
int WINAPI CheckPC98(void);

// Shows "Err:<code> [<system text>]" for the thread's last error as the
// caller left it (setting the library up on first use does not disturb it)
// in an OK box without owner, titled `caption`; a null caption gives the
// system's default title ("Error"). Returns the button pressed (IDOK).
// Last error: not meaningful afterwards.
int WINAPI LastErrorMessageBox(LPCSTR caption);

}  // extern "C"
