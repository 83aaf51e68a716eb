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

// Starts the thread that will post WM_COMMAND(commandId & 0xFFFF, param) to
// `window`. 1 when the thread is running (or already existed: then nothing
// changes, the first settings stay); 0 when it could not be created or did
// not come up within 102 waits of 10 ms. A negative delay is taken as 0.
int CreateTimerThread(Context& ctx, HWND window, DWORD commandId,
                      LPARAM commandParam, int delay);

// Asks the thread to end and waits for it (at most 200 waits of 10 ms; at
// least one wait is made). 1 when no thread is left; 0 while it is still
// starting or when it did not stop (the record is then left as it was).
int DestroyTimerThread(Context& ctx);

// The state word.
int TimerThreadState(Context& ctx);

// Arm (state 3) / disarm (state 2). 1, or 0 when the state is 0, 1 or 4.
// Ticks counted before a stop carry over to the next start.
int StartTimerTicks(Context& ctx);
int StopTimerTicks(Context& ctx);

// SetTimer without a callback, so the window receives WM_TIMER; KillTimer.
UINT_PTR SetWindowTimer(Context& ctx, HWND window, UINT_PTR id,
                        UINT milliseconds);
BOOL KillWindowTimer(Context& ctx, HWND window, UINT_PTR id);

}  // namespace kv
