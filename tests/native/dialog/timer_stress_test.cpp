// Many create/arm/destroy cycles of the timer thread, meant for the
// ThreadSanitizer build (registered there under the label "tsan"): the
// thread and the caller share the state word and the machine, and no cycle
// may race, hang or lose a message or a state.
#include <gtest/gtest.h>

#include "dialog/timer.h"
#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

TEST(TimerThreadStress, TwoHundredCycles) {
  test::SimMachine m(sim::WindowsVersion::XP);
  HWND dialog = m.os().CreateWindowHandle("dialog");
  constexpr int kCycles = 240;
  size_t expected = 0;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    const int delay = cycle % 4;  // 0 included: ten immediate ticks
    ASSERT_EQ(CreateTimerThread(m.ctx(), dialog, cycle, cycle * 3, delay), 1)
        << "cycle " << cycle;
    ASSERT_EQ(TimerThreadState(m.ctx()), kTimerIdle);
    // Vary where in the thread's tick the caller acts.
    m.os().Sleep(static_cast<DWORD>(cycle % 7));
    ASSERT_EQ(StartTimerTicks(m.ctx()), 1);
    if (cycle % 3 != 0) {
      // Let it post, then check the message of this cycle.
      m.os().Sleep(static_cast<DWORD>(delay * 100 + 15));
      ++expected;
      ASSERT_EQ(m.os().messages().size(), expected) << "cycle " << cycle;
      EXPECT_EQ(m.os().messages().back().wParam, static_cast<WPARAM>(cycle));
      EXPECT_EQ(m.os().messages().back().lParam, cycle * 3);
      EXPECT_EQ(TimerThreadState(m.ctx()), kTimerIdle);
    } else if (cycle % 2 == 0) {
      // Destroy while counting.
      EXPECT_EQ(TimerThreadState(m.ctx()), kTimerCounting);
    } else {
      ASSERT_EQ(StopTimerTicks(m.ctx()), 1);
    }
    ASSERT_EQ(DestroyTimerThread(m.ctx()), 1) << "cycle " << cycle;
    ASSERT_EQ(TimerThreadState(m.ctx()), kTimerNone);
    ASSERT_EQ(m.os().LiveThreads(), 0u);
  }
  EXPECT_EQ(m.os().OpenThreadHandles(), 0u);
  EXPECT_EQ(m.os().messages().size(), expected);
}

}  // namespace
}  // namespace kv
