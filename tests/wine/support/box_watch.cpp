#include "tests/wine/support/box_watch.h"

namespace kvwine {

BoxWatch::BoxWatch(const char* caption, int button)
    : caption_(caption), button_(button) {
  thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

const BoxSeen& BoxWatch::Wait() {
  if (thread_) {
    WaitForSingleObject(thread_, 15000);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  return seen_;
}

// Finds the box by class and caption, reads its text and presses the button.
DWORD WINAPI BoxWatch::Run(LPVOID param) {
  auto* w = static_cast<BoxWatch*>(param);
  for (int i = 0; i < 200 && !InterlockedCompareExchange(&w->stop_, 0, 0);
       ++i) {
    HWND box = FindWindowA("#32770", w->caption_);
    if (box && IsWindowVisible(box)) {
      char text[4096] = {};
      char caption[256] = {};
      GetWindowTextA(box, caption, sizeof caption);
      GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
      w->seen_.caption = caption;
      w->seen_.text = text;
      w->seen_.found = true;
      w->seen_.pressed = PostMessageA(box, WM_COMMAND, w->button_, 0) != FALSE;
      return 0;
    }
    Sleep(50);
  }
  return 1;
}

}  // namespace kvwine
