#include "exports/dialog_exports.h"

#include "dialog/strings.h"
#include "dialog/timer.h"
#include "dialog/window.h"
#include "exports/dll_context.h"
#include "exports/guard.h"
#include "exports/string_args.h"

using kv::DllContext;
using kv::Guarded;
using kv::OrEmpty;

extern "C" {

int WINAPI CreateTimerThread(HWND window, int commandId, LONG commandParam,
                             int delay) {
  return Guarded(0, [&] {
    return kv::CreateTimerThread(DllContext(), window,
                                 static_cast<DWORD>(commandId),
                                 static_cast<LPARAM>(commandParam), delay);
  });
}

int WINAPI DestroyTimerThread(void) {
  return Guarded(0, [] { return kv::DestroyTimerThread(DllContext()); });
}

int WINAPI TimerThreadState(void) {
  return Guarded(0, [] { return kv::TimerThreadState(DllContext()); });
}

int WINAPI TimerThread_TmStart(void) {
  return Guarded(0, [] { return kv::StartTimerTicks(DllContext()); });
}

int WINAPI TimerThread_TmStop(void) {
  return Guarded(0, [] { return kv::StopTimerTicks(DllContext()); });
}

UINT WINAPI WinApi_SetTimer(HWND window, UINT id, UINT milliseconds) {
  return Guarded(0u, [&] {
    return static_cast<UINT>(
        kv::SetWindowTimer(DllContext(), window, id, milliseconds));
  });
}

int WINAPI WinApi_KillTimer(HWND window, UINT id) {
  return Guarded(0, [&] {
    return static_cast<int>(kv::KillWindowTimer(DllContext(), window, id));
  });
}

int WINAPI BrowseFolder(HWND dialog, HWND owner, LPSTR path, LPCSTR title) {
  return Guarded(0, [&] {
    return kv::BrowseFolder(DllContext(), dialog, owner, path, title);
  });
}

HWND WINAPI WinSub_SetForcus(HWND window) {
  return Guarded(static_cast<HWND>(nullptr),
                 [&] { return kv::SetKeyboardFocus(DllContext(), window); });
}

int WINAPI WinSub_EnableWindow(HWND window, int enable) {
  return Guarded(0, [&] {
    return static_cast<int>(kv::SetWindowEnabled(DllContext(), window, enable));
  });
}

int WINAPI BtmClickMessage(HWND window, int commandId, LONG param) {
  return Guarded(0, [&] {
    return static_cast<int>(kv::BtmClickMessage(DllContext(), window,
                                                static_cast<DWORD>(commandId),
                                                static_cast<LPARAM>(param)));
  });
}

int WINAPI WinSub_CreateDirectory(LPCSTR path) {
  return Guarded(
      0, [&] { return kv::MakeDirectory(DllContext(), OrEmpty(path)); });
}

int WINAPI WinSub_StrCmp(LPCSTR a, LPCSTR b) {
  return kv::CompareStrings(OrEmpty(a), OrEmpty(b));
}

int WINAPI StrFind(LPCSTR needle, LPCSTR text) {
  return kv::StrFind(OrEmpty(needle), OrEmpty(text));
}

LPSTR WINAPI StrTopDel(LPSTR destination, LPCSTR source, int count) {
  if (!destination) return destination;
  return kv::StrTopDel(destination, OrEmpty(source), count);
}

int WINAPI DelSpace(LPSTR text) { return text ? kv::DelSpace(text) : 0; }

int WINAPI TopStringNum(LPCSTR text) { return kv::TopStringNum(OrEmpty(text)); }

}  // extern "C"
