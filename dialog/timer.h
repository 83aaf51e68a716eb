// The timer thread: one background thread per process that, once armed,
// posts WM_COMMAND to a window of the installer's dialog after a fixed delay,
// as if a button had been pressed; and thin wrappers of the window timers.
//
// The record lives in Context::timer. Its state word is the only value both
// threads touch after the thread starts:
//   0 none, 1 starting, 2 idle, 3 counting, 4 stop requested.
//   0 -> 1 CreateTimerThread; 1 -> 2 the thread once running (1 -> 0 when
//   creation fails); 2 <-> 3 StartTimerTicks/StopTimerTicks; 3 -> 2 the thread
//   after posting; 2/3 -> 4 DestroyTimerThread; 4 -> 0 the thread as it ends.
// Window, command id, parameter and tick are written before the thread is
// created and only read by it.
#pragma once

#include "foundation/context.h"

namespace kv {

enum TimerState : int32_t {
  kTimerNone = 0,
  kTimerStarting = 1,
  kTimerIdle = 2,
  kTimerCounting = 3,
  kTimerStopRequested = 4,
};

// Ticks per message: the message is posted after this many ticks of
// `delay` x 10 ms, i.e. `delay` x 100 ms after arming.
constexpr int kTimerTicksPerMessage = 10;

// Writes the record and starts the thread on `ctx`, which must outlive the
// thread (DestroyTimerThread first). Only the low 16 bits of `commandId` are
// kept. "About 1 s" is 102 waits of 10 ms.
// The export's contract: exports/dialog_exports.h (CreateTimerThread).
int CreateTimerThread(Context& ctx, HWND window, DWORD commandId,
                      LPARAM commandParam, int delay);

// "About 2 s" is 200 waits of 10 ms for the state to reach 0; then up to 1 s
// more for the thread to leave the library's code before its handle is
// closed. A thread that did not stop keeps its handle in the record.
// The export's contract: exports/dialog_exports.h (DestroyTimerThread).
int DestroyTimerThread(Context& ctx);

// The export's contract: exports/dialog_exports.h (TimerThreadState).
int TimerThreadState(Context& ctx);

// The export's contract: exports/dialog_exports.h (TimerThread_TmStart,
// TimerThread_TmStop).
int StartTimerTicks(Context& ctx);
int StopTimerTicks(Context& ctx);

// The export's contract: exports/dialog_exports.h (WinApi_SetTimer,
// WinApi_KillTimer).
UINT_PTR SetWindowTimer(Context& ctx, HWND window, UINT_PTR id,
                        UINT milliseconds);
BOOL KillWindowTimer(Context& ctx, HWND window, UINT_PTR id);

}  // namespace kv
