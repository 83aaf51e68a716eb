// The simulated desktop: windows that can be enabled and focused, message
// boxes answered from a queue, and every sent or posted message, timer and
// font kept for tests to read.
#include <set>

#include "sim/file_paths.h"
#include "sim/sim_internal.h"

namespace kv::sim {

namespace {

#define KV_IDABORT 3
#define KV_IDRETRY 4
#define KV_ERROR_INVALID_WINDOW_HANDLE 1400L

struct DesktopState : SimPlatform::Extension {
  std::map<uintptr_t, std::string> names;
  std::set<std::pair<uintptr_t, UINT_PTR>> timers;
  UINT_PTR nextTimer = 1;
};

// The first button of a message box of `type`: what pressing Enter on a box
// with the default first button answers.
int FirstButton(UINT type) {
  switch (type & 0xF) {
    case 0:
      return IDOK;  // MB_OK
    case 1:
      return IDOK;  // MB_OKCANCEL
    case 2:
      return KV_IDABORT;  // MB_ABORTRETRYIGNORE
    case 3:
      return IDYES;  // MB_YESNOCANCEL
    case 4:
      return IDYES;  // MB_YESNO
    case 5:
      return KV_IDRETRY;  // MB_RETRYCANCEL
    case 6:
      return IDCANCEL;  // MB_CANCELTRYCONTINUE
    default:
      return IDOK;
  }
}

std::string WindowArg(HWND w) {
  return HexText(reinterpret_cast<uintptr_t>(w));
}

}  // namespace

void SimPlatform::QueueMessageBoxAnswer(int answer) {
  messageBoxAnswers_.push_back(answer);
}

HWND SimPlatform::CreateWindowHandle(const std::string& name) {
  const uintptr_t h = NewHandle();
  windows_[h] = true;
  extension<DesktopState>("desktop").names[h] = name;
  return reinterpret_cast<HWND>(h);
}

bool SimPlatform::IsWindowEnabled(HWND window) const {
  auto it = windows_.find(reinterpret_cast<uintptr_t>(window));
  return it != windows_.end() && it->second;
}

int SimPlatform::MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption,
                             UINT type) {
  if (Enter("MessageBoxA", WindowArg(owner) + ", " + ArgText(text) + ", " +
                               ArgText(caption) + ", " + HexText(type)))
    return 0;
  int answer = FirstButton(type);
  if (!messageBoxAnswers_.empty()) {
    answer = messageBoxAnswers_.front();
    messageBoxAnswers_.pop_front();
  }
  // A null caption shows as "Error", as Windows titles such a box.
  messageBoxes_.push_back(MessageBoxRecord{
      owner, text ? text : "", caption ? caption : "Error", type, answer});
  RecordResult(std::to_string(answer));
  return answer;
}

LRESULT SimPlatform::SendMessageA(HWND window, UINT message, WPARAM wParam,
                                  LPARAM lParam) {
  if (Enter("SendMessageA", WindowArg(window) + ", " + HexText(message) + ", " +
                                HexText(wParam) + ", " +
                                HexText(static_cast<uintptr_t>(lParam))))
    return 0;
  messages_.push_back(MessageRecord{window, message, wParam, lParam, false});
  return 1;
}

BOOL SimPlatform::PostMessageA(HWND window, UINT message, WPARAM wParam,
                               LPARAM lParam) {
  if (Enter("PostMessageA", WindowArg(window) + ", " + HexText(message) + ", " +
                                HexText(wParam) + ", " +
                                HexText(static_cast<uintptr_t>(lParam))))
    return FALSE;
  messages_.push_back(MessageRecord{window, message, wParam, lParam, true});
  return TRUE;
}

BOOL SimPlatform::EnableWindow(HWND window, BOOL enable) {
  if (Enter("EnableWindow", WindowArg(window) + ", " + std::to_string(enable)))
    return FALSE;
  auto it = windows_.find(reinterpret_cast<uintptr_t>(window));
  if (it == windows_.end()) {
    lastError_ = KV_ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  // Windows answers whether the window WAS disabled.
  const BOOL wasDisabled = it->second ? FALSE : TRUE;
  it->second = enable != FALSE;
  return wasDisabled;
}

HWND SimPlatform::SetFocus(HWND window) {
  if (Enter("SetFocus", WindowArg(window))) return nullptr;
  if (window && !windows_.count(reinterpret_cast<uintptr_t>(window))) {
    lastError_ = KV_ERROR_INVALID_WINDOW_HANDLE;
    return nullptr;
  }
  HWND previous = focus_;
  focus_ = window;
  return previous;
}

UINT_PTR SimPlatform::SetTimer(HWND window, UINT_PTR id, UINT elapse,
                               TIMERPROC) {
  if (Enter("SetTimer", WindowArg(window) + ", " + std::to_string(id) + ", " +
                            std::to_string(elapse)))
    return 0;
  auto& desk = extension<DesktopState>("desktop");
  if (window && !windows_.count(reinterpret_cast<uintptr_t>(window))) {
    lastError_ = KV_ERROR_INVALID_WINDOW_HANDLE;
    return 0;
  }
  // Without a window the system picks the timer's id.
  if (!window) id = desk.nextTimer++;
  desk.timers.insert({reinterpret_cast<uintptr_t>(window), id});
  return id ? id : 1;
}

BOOL SimPlatform::KillTimer(HWND window, UINT_PTR id) {
  if (Enter("KillTimer", WindowArg(window) + ", " + std::to_string(id)))
    return FALSE;
  auto& desk = extension<DesktopState>("desktop");
  if (!desk.timers.erase({reinterpret_cast<uintptr_t>(window), id})) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  return TRUE;
}

// ---- Shell ------------------------------------------------------------------

LONG SimPlatform::OleInitialize(LPVOID) {
  if (Enter("OleInitialize")) return static_cast<LONG>(0x80004005u);  // E_FAIL
  return 0;                                                           // S_OK
}

void SimPlatform::OleUninitialize() { Enter("OleUninitialize"); }

}  // namespace kv::sim
