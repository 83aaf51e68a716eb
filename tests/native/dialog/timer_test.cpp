// The timer thread on the simulated machine. The machine runs the thread
// for real but one thread at a time on its virtual clock, so every time
// below is exact: the thread comes up 20 ms after creation, ticks every
// delay x 10 ms (at least 1 ms) from then on, and posts on the tenth counted
// tick.
#include "dialog/timer.h"

#include <gtest/gtest.h>

#include "exports/dialog_exports.h"
#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

using sim::WindowsVersion;

class TimerThreadTest : public ::testing::Test {
 protected:
  TimerThreadTest() : m_(WindowsVersion::XP) {
    dialog_ = os().CreateWindowHandle("installer dialog");
  }
  ~TimerThreadTest() override {
    // Never leave a thread behind, whatever the test did.
    if (ctx().timer.state.load() != kTimerNone) DestroyTimerThread(ctx());
  }
  sim::SimPlatform& os() { return m_.os(); }
  Context& ctx() { return m_.ctx(); }

  size_t Commands() {
    size_t n = 0;
    for (const auto& m : os().messages()) n += m.message == WM_COMMAND;
    return n;
  }
  // Lets the clock run 1 ms at a time until a WM_COMMAND more than `before`
  // has been posted; the time it was seen, or 0 after `limitMs`.
  DWORD RunUntilPosted(size_t before, DWORD limitMs) {
    const DWORD end = os().now() + limitMs;
    while (os().now() < end) {
      os().Sleep(1);
      if (Commands() > before) return os().now();
    }
    return 0;
  }

  test::SimMachine m_;
  HWND dialog_;
};

TEST_F(TimerThreadTest, PostsTheCommandAfterTenTicks) {
  const DWORD t0 = os().now();
  ASSERT_EQ(CreateTimerThread(ctx(), dialog_, 0x12345, -7, 5), 1);
  EXPECT_EQ(os().now(), t0 + 20)
      << "two waits of 10 ms: the thread is up at 20 ms";
  EXPECT_EQ(TimerThreadState(ctx()), kTimerIdle);
  EXPECT_EQ(ctx().timer.tickMs, 50);

  os().Sleep(5);  // arm between two ticks
  ASSERT_EQ(StartTimerTicks(ctx()), 1);
  EXPECT_EQ(TimerThreadState(ctx()), kTimerCounting);
  // Ticks at t0+20+50k; the tenth after arming is at k = 10.
  EXPECT_EQ(RunUntilPosted(0, 2000), t0 + 20 + 10 * 50);
  ASSERT_EQ(os().messages().size(), 1u);
  const auto& m = os().messages()[0];
  EXPECT_EQ(m.window, dialog_);
  EXPECT_EQ(m.message, static_cast<UINT>(WM_COMMAND));
  EXPECT_EQ(m.wParam, 0x2345u);  // low 16 bits of the command id
  EXPECT_EQ(m.lParam, -7);
  EXPECT_TRUE(m.posted);
  // The timer disarms itself after each message.
  EXPECT_EQ(TimerThreadState(ctx()), kTimerIdle);
  EXPECT_EQ(RunUntilPosted(1, 2000), 0u);

  // Re-arming gives the next message ten ticks later.
  const DWORD rearmed = os().now();
  ASSERT_EQ(StartTimerTicks(ctx()), 1);
  const DWORD second = RunUntilPosted(1, 2000);
  ASSERT_NE(second, 0u);
  EXPECT_GT(second - rearmed, 9u * 50);
  EXPECT_LE(second - rearmed, 10u * 50);

  EXPECT_EQ(DestroyTimerThread(ctx()), 1);
  EXPECT_EQ(TimerThreadState(ctx()), kTimerNone);
  EXPECT_EQ(os().LiveThreads(), 0u);
  EXPECT_EQ(os().OpenThreadHandles(), 0u);
  EXPECT_EQ(ctx().timer.thread, nullptr);
  EXPECT_EQ(ctx().timer.threadId, 0u);
}

TEST_F(TimerThreadTest, TicksCountedBeforeAStopCarryOver) {
  ASSERT_EQ(CreateTimerThread(ctx(), dialog_, 7, 0, 1), 1);  // tick 10 ms
  const DWORD t0 = os().now();                               // a tick boundary
  os().Sleep(5);
  ASSERT_EQ(StartTimerTicks(ctx()), 1);
  os().Sleep(40);  // ticks at +10, +20, +30, +40 counted
  ASSERT_EQ(StopTimerTicks(ctx()), 1);
  EXPECT_EQ(TimerThreadState(ctx()), kTimerIdle);
  os().Sleep(1000);
  EXPECT_EQ(Commands(), 0u);
  ASSERT_EQ(StartTimerTicks(ctx()), 1);
  // Six more ticks make ten.
  EXPECT_EQ(RunUntilPosted(0, 1000), t0 + 1045 + 55);
}

TEST_F(TimerThreadTest, DelayZeroWaitsAMinimumTickAndDoesNotSpin) {
  ASSERT_EQ(CreateTimerThread(ctx(), dialog_, 1, 2, 0), 1);
  EXPECT_EQ(ctx().timer.tickMs, 0);
  const DWORD armed = os().now();
  ASSERT_EQ(StartTimerTicks(ctx()), 1);
  // Ten ticks of the 1 ms minimum.
  const DWORD posted = RunUntilPosted(0, 100);
  EXPECT_GE(posted, armed + 9);
  EXPECT_LE(posted, armed + 10);
  EXPECT_EQ(TimerThreadState(ctx()), kTimerIdle);
  // Idle for a second: one wait per millisecond, where a zero tick spun
  // ten thousand times.
  const size_t waits = os().CountOperations("WaitForSingleObject");
  os().Sleep(1000);
  EXPECT_LE(os().CountOperations("WaitForSingleObject") - waits, 1001u);
  EXPECT_EQ(DestroyTimerThread(ctx()), 1);
  EXPECT_EQ(os().LiveThreads(), 0u);
}

// However long the tick, a destroy wakes the thread: it is gone after the
// destroyer's first 10 ms wait, with no handle left open.
TEST_F(TimerThreadTest, LongDelayIsDestroyedPromptly) {
  const struct {
    int delay;
    bool armed;
  } cases[] = {{1, false}, {1000, true}, {100000, false}, {0x7FFFFFFF, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.delay);
    ASSERT_EQ(CreateTimerThread(ctx(), dialog_, 1, 0, c.delay), 1);
    if (c.armed) {
      ASSERT_EQ(StartTimerTicks(ctx()), 1);
    }
    os().Sleep(3);  // inside the first tick
    const DWORD before = os().now();
    EXPECT_EQ(DestroyTimerThread(ctx()), 1);
    EXPECT_EQ(os().now(), before + 10);
    EXPECT_EQ(TimerThreadState(ctx()), kTimerNone);
    EXPECT_EQ(os().LiveThreads(), 0u);
    EXPECT_EQ(os().OpenThreadHandles(), 0u);
    EXPECT_EQ(os().OpenEventHandles(), 0u);
    EXPECT_EQ(ctx().timer.thread, nullptr);
  }
  EXPECT_EQ(Commands(), 0u);
}

// A destroy that could not wake its thread leaves it asked to stop; the
// next create must not take that thread for a live timer.
TEST_F(TimerThreadTest, CreateAfterAFailedDestroy) {
  const struct {
    int failedWakes;  // SetEvent failures: the first destroy's, then the
                      // create's own attempt to see the thread out
    int created;
  } cases[] = {{1, 1}, {2, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failedWakes);
    ASSERT_EQ(CreateTimerThread(ctx(), dialog_, 1, 0, 1000), 1);
    HANDLE first = ctx().timer.thread;
    os().FailOperation("SetEvent", ERROR_INVALID_HANDLE, 0, c.failedWakes);
    EXPECT_EQ(DestroyTimerThread(ctx()), 0);
    EXPECT_EQ(TimerThreadState(ctx()), kTimerStopRequested);
    HWND other = os().CreateWindowHandle("other");
    EXPECT_EQ(CreateTimerThread(ctx(), other, 2, 0, 1), c.created);
    if (c.created) {
      EXPECT_NE(ctx().timer.thread, first);
      EXPECT_EQ(os().LiveThreads(), 1u);
      EXPECT_EQ(os().OpenThreadHandles(), 1u);
      ASSERT_EQ(StartTimerTicks(ctx()), 1);
      ASSERT_NE(RunUntilPosted(Commands(), 1000), 0u);
      EXPECT_EQ(os().messages().back().window, other);
    } else {
      EXPECT_EQ(TimerThreadState(ctx()), kTimerStopRequested);
      EXPECT_EQ(StartTimerTicks(ctx()), 0);
    }
    EXPECT_EQ(DestroyTimerThread(ctx()), 1);
    EXPECT_EQ(os().LiveThreads(), 0u);
    EXPECT_EQ(os().OpenThreadHandles(), 0u);
    EXPECT_EQ(os().OpenEventHandles(), 0u);
    os().ClearFailures();
  }
}

TEST_F(TimerThreadTest, SecondCreateKeepsTheFirstSettings) {
  ASSERT_EQ(CreateTimerThread(ctx(), dialog_, 11, 22, 3), 1);
  HWND other = os().CreateWindowHandle("other");
  const size_t created = os().CountOperations("CreateThread");
  EXPECT_EQ(CreateTimerThread(ctx(), other, 99, 98, 1), 1);
  EXPECT_EQ(os().CountOperations("CreateThread"), created);
  EXPECT_EQ(ctx().timer.window, dialog_);
  EXPECT_EQ(ctx().timer.tickMs, 30);
  ASSERT_EQ(StartTimerTicks(ctx()), 1);
  ASSERT_NE(RunUntilPosted(0, 1000), 0u);
  EXPECT_EQ(os().messages().back().window, dialog_);
  EXPECT_EQ(os().messages().back().wParam, 11u);
  EXPECT_EQ(os().LiveThreads(), 1u);
}

TEST_F(TimerThreadTest, CallsWithNoThread) {
  EXPECT_EQ(TimerThreadState(ctx()), kTimerNone);
  EXPECT_EQ(StartTimerTicks(ctx()), 0);
  EXPECT_EQ(StopTimerTicks(ctx()), 0);
  // Destroying with no thread waits 10 ms once and answers 1.
  const DWORD before = os().now();
  EXPECT_EQ(DestroyTimerThread(ctx()), 1);
  EXPECT_EQ(os().now(), before + 10);
  EXPECT_EQ(os().CountOperations("Sleep"), 1u);
  EXPECT_EQ(os().CountOperations("CloseHandle"), 0u);
}

TEST_F(TimerThreadTest, CallsWhileStarting) {
  // Every wait of the caller fails at once, so the new thread never gets
  // to run: the creator gives up after its 102 waits with the thread still
  // starting.
  os().FailOperation("Sleep", ERROR_INVALID_PARAMETER, 0, 102);
  EXPECT_EQ(CreateTimerThread(ctx(), dialog_, 1, 0, 1), 0);
  EXPECT_EQ(os().CountOperations("Sleep"), 102u);
  EXPECT_EQ(TimerThreadState(ctx()), kTimerStarting);
  EXPECT_EQ(StartTimerTicks(ctx()), 0) << "arming while starting";
  EXPECT_EQ(StopTimerTicks(ctx()), 0);
  EXPECT_EQ(DestroyTimerThread(ctx()), 0) << "destroying while starting";
  EXPECT_EQ(CreateTimerThread(ctx(), dialog_, 1, 0, 1), 1) << "a thread exists";
  // Once the caller really waits, the thread comes up and can be ended.
  os().Sleep(30);
  EXPECT_EQ(TimerThreadState(ctx()), kTimerIdle);
  EXPECT_EQ(DestroyTimerThread(ctx()), 1);
  EXPECT_EQ(os().LiveThreads(), 0u);
}

TEST_F(TimerThreadTest, ThreadCreationFails) {
  os().FailOperation("CreateThread", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(CreateTimerThread(ctx(), dialog_, 1, 0, 1), 0);
  EXPECT_EQ(TimerThreadState(ctx()), kTimerNone);
  EXPECT_EQ(CreateTimerThread(ctx(), dialog_, 1, 0, 1), 1);
}

TEST_F(TimerThreadTest, DestroyThatTimesOutLeavesTheRecord) {
  // A tick of 10 s and a wake-up that fails: the thread sleeps through the
  // 2 s the destroyer waits.
  ASSERT_EQ(CreateTimerThread(ctx(), dialog_, 1, 0, 1000), 1);
  os().FailOperation("SetEvent", ERROR_INVALID_HANDLE);
  HANDLE thread = ctx().timer.thread;
  const DWORD id = ctx().timer.threadId;
  const DWORD before = os().now();
  EXPECT_EQ(DestroyTimerThread(ctx()), 0);
  EXPECT_EQ(os().now(), before + 200 * 10);
  EXPECT_EQ(TimerThreadState(ctx()), kTimerStopRequested);
  EXPECT_EQ(ctx().timer.thread, thread);
  EXPECT_EQ(ctx().timer.threadId, id);
  EXPECT_EQ(StartTimerTicks(ctx()), 0) << "arming while stopping";
  // The request stands; the thread ends at its next tick.
  os().Sleep(10000);
  EXPECT_EQ(TimerThreadState(ctx()), kTimerNone);
  EXPECT_EQ(os().LiveThreads(), 0u);
  EXPECT_EQ(DestroyTimerThread(ctx()), 1);
  EXPECT_EQ(os().OpenThreadHandles(), 0u);
  EXPECT_EQ(os().OpenEventHandles(), 0u);
}

TEST_F(TimerThreadTest, NegativeDelayIsTakenAsZero) {
  ASSERT_EQ(CreateTimerThread(ctx(), dialog_, 1, 0, -5), 1);
  EXPECT_EQ(ctx().timer.tickMs, 0);
  EXPECT_EQ(DestroyTimerThread(ctx()), 1);
}

TEST_F(TimerThreadTest, EachThreadKeepsItsOwnLastError) {
  os().FailOperation("PostMessageA", ERROR_ACCESS_DENIED);
  ASSERT_EQ(CreateTimerThread(ctx(), dialog_, 1, 0, 1), 1);
  os().SetLastError(1234);
  ASSERT_EQ(StartTimerTicks(ctx()), 1);
  os().Sleep(500);  // the thread's post fails meanwhile
  EXPECT_EQ(os().CountOperations("PostMessageA"), 1u);
  EXPECT_EQ(os().GetLastError(), 1234u);
}

TEST_F(TimerThreadTest, MachineEndsAThreadLeftRunning) {
  auto machine = std::make_unique<test::SimMachine>(WindowsVersion::Win98);
  HWND w = machine->os().CreateWindowHandle("d");
  ASSERT_EQ(CreateTimerThread(machine->ctx(), w, 1, 0, 1), 1);
  EXPECT_EQ(machine->os().LiveThreads(), 1u);
  machine.reset();  // must neither hang nor leave the thread running
}

TEST(WindowTimers, WrapSetTimerAndKillTimer) {
  test::SimMachine m(WindowsVersion::Win95);
  HWND w = m.os().CreateWindowHandle("dialog");
  EXPECT_EQ(SetWindowTimer(m.ctx(), w, 5, 250), 5u);
  EXPECT_EQ(m.os().CountOperations("SetTimer"), 1u);
  EXPECT_TRUE(KillWindowTimer(m.ctx(), w, 5));
  EXPECT_FALSE(KillWindowTimer(m.ctx(), w, 5)) << "already killed";
  m.BindExports();
  EXPECT_NE(::WinApi_SetTimer(w, 9, 100), 0u);
  EXPECT_EQ(::WinApi_KillTimer(w, 9), 1);
  EXPECT_EQ(::WinApi_KillTimer(w, 9), 0);
}

// The exports on the DLL's context, the way the script drives them.
TEST(TimerExports, CreateArmDestroy) {
  test::SimMachine m(WindowsVersion::Win2000);
  m.BindExports();
  HWND w = m.os().CreateWindowHandle("dialog");
  EXPECT_EQ(::TimerThreadState(), 0);
  ASSERT_EQ(::CreateTimerThread(w, 0x10005, 3, 2), 1);
  EXPECT_EQ(::TimerThreadState(), 2);
  EXPECT_EQ(::TimerThread_TmStart(), 1);
  m.os().Sleep(250);  // ten ticks of 20 ms
  ASSERT_EQ(m.os().messages().size(), 1u);
  EXPECT_EQ(m.os().messages()[0].wParam, 5u);
  EXPECT_EQ(::TimerThread_TmStop(), 1);
  EXPECT_EQ(::DestroyTimerThread(), 1);
  EXPECT_EQ(::TimerThreadState(), 0);
}

}  // namespace
}  // namespace kv
