#include "dialog/timer.h"

#include <algorithm>

namespace kv {
namespace {

constexpr DWORD kWaitMs = 10;
constexpr int kStartWaits = 102;
constexpr int kStopWaits = 200;
constexpr DWORD kStartupPauseMs = 20;
constexpr DWORD kExitWaitMs = 1000;
// A delay of 0 still waits this long per tick: a zero wait would spin a
// processor for as long as the timer is armed.
constexpr DWORD kMinTickMs = 1;

// Waits `ms` unless the stop event comes first; true when the full wait
// passed. A failed wait still takes its time, so a broken event never makes
// the thread spin.
bool WaitTick(Platform& os, HANDLE stop, DWORD ms) {
  const DWORD r = stop ? os.WaitForSingleObject(stop, ms) : WAIT_FAILED;
  if (r == WAIT_OBJECT_0) return false;
  if (r != WAIT_TIMEOUT) os.Sleep(ms);
  return true;
}

// The thread's body. It owns nothing, so it can end (or, on the simulated
// machine, be unwound) at any of its waits.
DWORD WINAPI TimerThreadMain(LPVOID parameter) {
  Context& ctx = *static_cast<Context*>(parameter);
  TimerRecord& t = ctx.timer;
  const HANDLE stop = t.stopEvent.load();
  WaitTick(ctx.os, stop, kStartupPauseMs);
  int ticks = 0;
  t.state.store(kTimerIdle);
  const DWORD tick = std::max(static_cast<DWORD>(t.tickMs), kMinTickMs);
  for (;;) {
    // Woken early, the thread only looks at the state: a tick counts only
    // when it has passed.
    const bool ticked = WaitTick(ctx.os, stop, tick);
    const int32_t state = t.state.load();
    if (state == kTimerCounting && ticked) {
      if (++ticks >= kTimerTicksPerMessage) {
        ctx.os.PostMessageA(t.window, WM_COMMAND,
                            static_cast<WPARAM>(t.commandId), t.commandParam);
        ticks = 0;
        // Disarm only if nobody changed the state meanwhile: a destroy
        // request that came in since the read must not be lost.
        int32_t expected = kTimerCounting;
        t.state.compare_exchange_strong(expected, kTimerIdle);
      }
    } else if (state == kTimerStopRequested) {
      t.state.store(kTimerNone);
      return 0;
    }
  }
}

// Closes the stop event of `t`, if it has one.
void CloseStopEvent(Context& ctx) {
  if (HANDLE stop = ctx.timer.stopEvent.exchange(nullptr))
    ctx.os.CloseHandle(stop);
}

// Lets go of a thread that has given up the state: waits for it to leave
// this module's code, since the installer may unload the library next, then
// closes its handle and its stop event. The event goes with the thread: a
// record that never had a thread has no event of its own.
void ReleaseThread(Context& ctx) {
  TimerRecord& t = ctx.timer;
  t.threadId = 0;
  if (!t.thread) return;
  ctx.os.WaitForSingleObject(t.thread, kExitWaitMs);
  ctx.os.CloseHandle(t.thread);
  t.thread = nullptr;
  CloseStopEvent(ctx);
}

}  // namespace

int CreateTimerThread(Context& ctx, HWND window, DWORD commandId,
                      LPARAM commandParam, int delay) {
  TimerRecord& t = ctx.timer;
  int32_t state = t.state.load();
  // A thread still asked to stop (a destroy that gave up on it) is no timer
  // to report: see it out first, or fail.
  if (state == kTimerStopRequested) {
    if (!DestroyTimerThread(ctx)) return 0;
    state = t.state.load();
  }
  if (state != kTimerNone) return 1;
  // A thread that ended after its destroy gave up still has its handles.
  if (t.thread) ReleaseThread(ctx);
  // delay x 100 / 10 in 32-bit arithmetic; a negative delay would make the
  // tick a huge unsigned sleep, and an enormous one would overflow.
  if (delay < 0) delay = 0;
  if (delay > 0x7FFFFFFF / 100) delay = 0x7FFFFFFF / 100;
  t.window = window;
  t.commandId = commandId & 0xFFFF;
  t.commandParam = commandParam;
  t.tickMs = delay * 100 / 10;

  // Auto-reset: one stop request wakes the thread once.
  const HANDLE stop = ctx.os.CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!stop) return 0;
  t.stopEvent.store(stop);
  t.state.store(kTimerStarting);

  DWORD id = 0;
  HANDLE thread =
      ctx.os.CreateThread(nullptr, 0, TimerThreadMain, &ctx, 0, &id);
  if (!thread) {
    const DWORD error = ctx.os.GetLastError();
    t.state.store(kTimerNone);
    CloseStopEvent(ctx);
    ctx.os.SetLastError(error);
    return 0;
  }
  t.thread = thread;
  t.threadId = id;

  for (int wait = 0; wait < kStartWaits; ++wait) {
    ctx.os.Sleep(kWaitMs);
    const int32_t now = t.state.load();
    if (now == kTimerNone || now == kTimerStopRequested) return 0;
    if (now != kTimerStarting) return 1;
  }
  return 0;
}

int DestroyTimerThread(Context& ctx) {
  TimerRecord& t = ctx.timer;
  const int32_t state = t.state.load();
  if (state == kTimerStarting) return 0;
  if (state != kTimerNone) {
    // Only an idle or counting thread is asked to stop; a request already
    // pending stays as it is.
    int32_t expected = state;
    while (expected != kTimerNone && expected != kTimerStopRequested &&
           !t.state.compare_exchange_weak(expected, kTimerStopRequested)) {
    }
    // Wake the thread from its tick, however long that is.
    if (HANDLE stop = t.stopEvent.load()) ctx.os.SetEvent(stop);
  }
  bool stopped = false;
  for (int wait = 0; wait < kStopWaits && !stopped; ++wait) {
    ctx.os.Sleep(kWaitMs);
    stopped = t.state.load() == kTimerNone;
  }
  if (!stopped) return 0;
  ReleaseThread(ctx);
  return 1;
}

int TimerThreadState(Context& ctx) { return ctx.timer.state.load(); }

namespace {

// Moves an idle or counting timer to `target`; the exchange loop keeps a
// concurrent transition by the thread (3 -> 2 after posting) from being
// overwritten by a stale decision.
int SetArmed(Context& ctx, int32_t target) {
  int32_t state = ctx.timer.state.load();
  for (;;) {
    if (state != kTimerIdle && state != kTimerCounting) return 0;
    if (ctx.timer.state.compare_exchange_weak(state, target)) return 1;
  }
}

}  // namespace

int StartTimerTicks(Context& ctx) { return SetArmed(ctx, kTimerCounting); }

int StopTimerTicks(Context& ctx) { return SetArmed(ctx, kTimerIdle); }

UINT_PTR SetWindowTimer(Context& ctx, HWND window, UINT_PTR id,
                        UINT milliseconds) {
  return ctx.os.SetTimer(window, id, milliseconds, nullptr);
}

BOOL KillWindowTimer(Context& ctx, HWND window, UINT_PTR id) {
  return ctx.os.KillTimer(window, id);
}

}  // namespace kv
