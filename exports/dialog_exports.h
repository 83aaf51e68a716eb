// Exports of installer dialog support: the timer thread, the window timers,
// the browse dialog, window wrappers and string operations.
#pragma once

#include "foundation/win32.h"

#define KV_DIALOG_EXPORTS(X) \
  X(CreateTimerThread)       \
  X(DestroyTimerThread)      \
  X(TimerThreadState)        \
  X(TimerThread_TmStart)     \
  X(TimerThread_TmStop)      \
  X(WinApi_SetTimer)         \
  X(WinApi_KillTimer)        \
  X(BrowseFolder)            \
  X(WinSub_SetForcus)        \
  X(WinSub_EnableWindow)     \
  X(BtmClickMessage)         \
  X(WinSub_CreateDirectory)  \
  X(WinSub_StrCmp)           \
  X(StrFind)                 \
  X(StrTopDel)               \
  X(DelSpace)                \
  X(TopStringNum)

extern "C" {

// Starts the one timer thread: once armed it posts WM_COMMAND (wParam = low
// 16 bits of `commandId`, lParam = `commandParam`) to `window` `delay` x
// 100 ms later (a negative delay counts as 0; a delay of 0 ticks every 1 ms).
// 1 when running (a second call changes nothing and answers 1), 0 when the
// thread could not be started or did not come up within about 1 s, or when
// the thread of a destroy that gave up still did not stop within about 2 s.
// Last error: not meaningful.
int WINAPI CreateTimerThread(HWND window, int commandId, LONG commandParam,
                             int delay);
// Ends the thread, waking it from its tick whatever the delay. 1 when no
// thread is left (its handle closed), 0 while it is still starting or when
// it did not stop within about 2 s (the request stands). Last error: not
// meaningful.
int WINAPI DestroyTimerThread(void);
// 0 none, 1 starting, 2 idle, 3 counting, 4 stop requested. Last error: as
// the caller had it.
int WINAPI TimerThreadState(void);
// Arm / disarm: 1, or 0 when there is no running thread (state 0, 1, 4).
// Each message needs a new start; ticks counted before a stop carry over.
// Last error: as the caller had it.
int WINAPI TimerThread_TmStart(void);
int WINAPI TimerThread_TmStop(void);
// SetTimer(window, id, milliseconds) without callback (WM_TIMER), KillTimer:
// their results. Last error: as SetTimer / KillTimer leave it (their error
// when 0).
UINT WINAPI WinApi_SetTimer(HWND window, UINT id, UINT milliseconds);
int WINAPI WinApi_KillTimer(HWND window, UINT id);

// Network-printer browse dialog; `dialog` is disabled meanwhile and enabled
// again. 1 when an item was chosen (its path, empty for a printer, in `path`
// of at least 260 bytes), 0 when cancelled (`path` untouched). A null
// `title` shows none. Last error: not meaningful.
int WINAPI BrowseFolder(HWND dialog, HWND owner, LPSTR path, LPCSTR title);
// SetFocus: the window that had the focus. Last error: as SetFocus leaves
// it.
HWND WINAPI WinSub_SetForcus(HWND window);
// EnableWindow: whether the window was disabled before. Last error: not
// meaningful.
int WINAPI WinSub_EnableWindow(HWND window, int enable);
// Posts WM_COMMAND(low 16 bits of commandId, param): the result of posting.
// Last error: PostMessageA's error when 0.
int WINAPI BtmClickMessage(HWND window, int commandId, LONG param);
// CreateDirectoryA with default security: 1 or 0. Last error: when 0,
// CreateDirectoryA's error (ERROR_ALREADY_EXISTS, ERROR_PATH_NOT_FOUND).
int WINAPI WinSub_CreateDirectory(LPCSTR path);

// The string operations touch no system state. Last error, for all five: as
// the caller had it.
// -1, 0, 1: byte-wise, unsigned.
int WINAPI WinSub_StrCmp(LPCSTR a, LPCSTR b);
// 1 when `needle` occurs in `text` ignoring case (A-Z only), starting within
// the first 245 characters; an empty needle is found, one over 244 characters
// is not.
int WINAPI StrFind(LPCSTR needle, LPCSTR text);
// `source` without its first `count` characters into `destination`, which
// may be `source`; returns `destination` (null: nothing done). Count clamped
// to [0, length].
LPSTR WINAPI StrTopDel(LPSTR destination, LPCSTR source, int count);
// Strips blanks (0x20) at both ends in place: 1 when text is left, else 0
// (also for null).
int WINAPI DelSpace(LPSTR text);
// 1 when the first character is 0-9.
int WINAPI TopStringNum(LPCSTR text);

}  // extern "C"
