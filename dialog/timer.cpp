#include "dialog/timer.h"

namespace kv {
namespace {

constexpr DWORD kWaitMs = 10;
constexpr int kStartWaits = 102;
constexpr int kStopWaits = 200;
constexpr DWORD kStartupPauseMs = 20;
constexpr DWORD kExitWaitMs = 1000;

// The thread's body. It owns nothing, so it can end (or, on the simulated
// machine, be unwound) at any of its waits.
DWORD WINAPI TimerThreadMain(LPVOID parameter) {
  Context& ctx = *static_cast<Context*>(parameter);
  TimerRecord& t = ctx.timer;
  ctx.os.Sleep(kStartupPauseMs);
  int ticks = 0;
  t.state.store(kTimerIdle);
  const DWORD tick = static_cast<DWORD>(t.tickMs);
  for (;;) {
    ctx.os.Sleep(tick);
    const int32_t state = t.state.load();
    if (state == kTimerCounting) {
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

}  // namespace

int CreateTimerThread(Context& ctx, HWND window, DWORD commandId,
                      LPARAM commandParam, int delay) {
  TimerRecord& t = ctx.timer;
  if (t.state.load() != kTimerNone) return 1;
  // delay x 100 / 10 in 32-bit arithmetic; a negative delay would make the
  // tick a huge unsigned sleep, and an enormous one would overflow.
  if (delay < 0) delay = 0;
  if (delay > 0x7FFFFFFF / 100) delay = 0x7FFFFFFF / 100;
  t.window = window;
  t.commandId = commandId & 0xFFFF;
  t.commandParam = commandParam;
  t.tickMs = delay * 100 / 10;
  t.state.store(kTimerStarting);

  DWORD id = 0;
  HANDLE thread =
      ctx.os.CreateThread(nullptr, 0, TimerThreadMain, &ctx, 0, &id);
  if (!thread) {
    t.state.store(kTimerNone);
    return 0;
  }
  t.thread = thread;
  t.threadId = id;

  for (int wait = 0; wait < kStartWaits; ++wait) {
    ctx.os.Sleep(kWaitMs);
    const int32_t state = t.state.load();
    if (state == kTimerNone || state == kTimerStopRequested) return 0;
    if (state != kTimerStarting) return 1;
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
  }
  bool stopped = false;
  for (int wait = 0; wait < kStopWaits && !stopped; ++wait) {
    ctx.os.Sleep(kWaitMs);
    stopped = t.state.load() == kTimerNone;
  }
  if (!stopped) return 0;
  t.threadId = 0;
  if (t.thread) {
    // The thread has let go of the state but may still be on its way out
    // of this module's code; the installer may unload the library next.
    ctx.os.WaitForSingleObject(t.thread, kExitWaitMs);
    ctx.os.CloseHandle(t.thread);
    t.thread = nullptr;
  }
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
