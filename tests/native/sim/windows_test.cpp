// The simulated desktop: message boxes answered and recorded, messages and
// timers recorded, window enabling and focus with Windows' results.
#include <gtest/gtest.h>

#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

using sim::WindowsVersion;
using test::SimMachine;

TEST(SimWindows, MessageBoxesAnswerFirstButtonOrQueue) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  HWND owner = os.CreateWindowHandle("installer");
  struct Case {
    UINT type;
    int answer;
  } cases[] = {
      {MB_OK | MB_ICONINFORMATION, IDOK},
      {MB_OKCANCEL, IDOK},
      {MB_YESNO | MB_ICONQUESTION, IDYES},
      {3 /* MB_YESNOCANCEL */, IDYES},
      {2 /* MB_ABORTRETRYIGNORE */, 3 /* IDABORT */},
      {5 /* MB_RETRYCANCEL */, 4 /* IDRETRY */},
  };
  for (const auto& c : cases)
    EXPECT_EQ(os.MessageBoxA(owner, "text", "caption", c.type), c.answer)
        << c.type;
  os.QueueMessageBoxAnswer(IDNO);
  os.QueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(os.MessageBoxA(nullptr, "Restart now?", "Setup", MB_YESNO), IDNO);
  EXPECT_EQ(os.MessageBoxA(nullptr, "Go on?", nullptr, MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(os.MessageBoxA(nullptr, "Again", "Setup", MB_YESNO), IDYES);

  const auto& boxes = os.messageBoxes();
  ASSERT_EQ(boxes.size(), 9u);
  EXPECT_EQ(boxes[0].owner, owner);
  EXPECT_EQ(boxes[0].type, UINT{MB_OK | MB_ICONINFORMATION});
  EXPECT_EQ(boxes[6].text, "Restart now?");
  EXPECT_EQ(boxes[6].caption, "Setup");
  EXPECT_EQ(boxes[6].answer, IDNO);
  EXPECT_EQ(boxes[7].caption, "Error");  // Windows' title for a null caption
  EXPECT_EQ(os.CountOperations("MessageBoxA"), 9u);
}

TEST(SimWindows, MessagesAreRecordedInOrder) {
  SimMachine m(WindowsVersion::Win98);
  auto& os = m.os();
  HWND w = os.CreateWindowHandle("dialog");
  EXPECT_EQ(os.SendMessageA(HWND_BROADCAST, WM_WININICHANGE, 0,
                            reinterpret_cast<LPARAM>("windows")),
            1);
  EXPECT_TRUE(os.PostMessageA(w, WM_COMMAND, IDOK, 0));
  ASSERT_EQ(os.messages().size(), 2u);
  EXPECT_EQ(os.messages()[0].window, HWND_BROADCAST);
  EXPECT_EQ(os.messages()[0].message, UINT{WM_WININICHANGE});
  EXPECT_FALSE(os.messages()[0].posted);
  EXPECT_EQ(os.messages()[1].window, w);
  EXPECT_EQ(os.messages()[1].wParam, WPARAM{IDOK});
  EXPECT_TRUE(os.messages()[1].posted);
}

TEST(SimWindows, EnableWindowAnswersWhetherItWasDisabled) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  HWND w = os.CreateWindowHandle("owner");
  EXPECT_TRUE(os.IsWindowEnabled(w));
  EXPECT_FALSE(os.EnableWindow(w, FALSE));  // was enabled
  EXPECT_FALSE(os.IsWindowEnabled(w));
  EXPECT_TRUE(os.EnableWindow(w, FALSE));  // was disabled
  EXPECT_TRUE(os.EnableWindow(w, TRUE));
  EXPECT_TRUE(os.IsWindowEnabled(w));
  os.SetLastError(test::kStaleError);
  EXPECT_FALSE(os.EnableWindow(reinterpret_cast<HWND>(0x77), TRUE));
  EXPECT_EQ(os.GetLastError(), 1400u);  // ERROR_INVALID_WINDOW_HANDLE

  HWND other = os.CreateWindowHandle("other");
  EXPECT_EQ(os.SetFocus(w), nullptr);
  EXPECT_EQ(os.SetFocus(other), w);
  EXPECT_EQ(os.focus(), other);
  EXPECT_EQ(os.SetFocus(reinterpret_cast<HWND>(0x77)), nullptr);
  EXPECT_EQ(os.focus(), other);
}

TEST(SimWindows, TimersAreKeptUntilKilled) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  HWND w = os.CreateWindowHandle("dialog");
  EXPECT_EQ(os.SetTimer(w, 42, 1000, nullptr), UINT_PTR{42});
  const UINT_PTR a = os.SetTimer(nullptr, 0, 500, nullptr);
  const UINT_PTR b = os.SetTimer(nullptr, 0, 500, nullptr);
  EXPECT_NE(a, 0u);
  EXPECT_NE(a, b);
  EXPECT_TRUE(os.KillTimer(w, 42));
  EXPECT_FALSE(os.KillTimer(w, 42));
  EXPECT_TRUE(os.KillTimer(nullptr, b));
  EXPECT_EQ(os.CountOperations("SetTimer"), 3u);
}

}  // namespace
}  // namespace kv
