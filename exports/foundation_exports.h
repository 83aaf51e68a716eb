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

// 1 on Windows Me (build number 3000 or above), 0 on Windows 95 and 98.
// Changes nothing.
int WINAPI IsWinMe(void);

// 1 on an NEC PC-98 machine, 0 on a PC/AT, from [boot.description] of
// system.ini (a missing or "NEC..." keyboard.typ or system.drv means PC-98).
int WINAPI GetCode98orAT(void);

// The same answer as GetCode98orAT.
int WINAPI CheckPC98(void);

// Shows "Err:<code> [<system text>]" for the thread's last error in an OK box
// with caption `caption`; returns the button pressed (IDOK).
int WINAPI LastErrorMessageBox(LPCSTR caption);

}  // extern "C"
