#include "dialog/window.h"

#include <cstring>

namespace kv {
namespace {

// OLE for the browse dialog, balanced: S_OK and S_FALSE (already
// initialised on this thread) both take a reference to give back.
class OleSession {
 public:
  explicit OleSession(Platform& os) : os_(os), ok_(os.OleInitialize(nullptr) >= 0) {}
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;
  ~OleSession() {
    if (ok_) os_.OleUninitialize();
  }

 private:
  Platform& os_;
  bool ok_;
};

// The dialog window is enabled again on every path out.
class DisabledWhileBrowsing {
 public:
  DisabledWhileBrowsing(Platform& os, HWND dialog) : os_(os), dialog_(dialog) {
    os_.EnableWindow(dialog_, FALSE);
  }
  DisabledWhileBrowsing(const DisabledWhileBrowsing&) = delete;
  DisabledWhileBrowsing& operator=(const DisabledWhileBrowsing&) = delete;
  ~DisabledWhileBrowsing() { os_.EnableWindow(dialog_, TRUE); }

 private:
  Platform& os_;
  HWND dialog_;
};

}  // namespace

int BrowseFolder(Context& ctx, HWND dialog, HWND owner, char* out,
                 const char* title) {
  DisabledWhileBrowsing disabled(ctx.os, dialog);
  OleSession ole(ctx.os);

  BROWSEINFOA info;
  std::memset(&info, 0, sizeof info);
  info.hwndOwner = owner;
  // The shell takes a special-folder number in place of an item list here.
  info.pidlRoot = reinterpret_cast<LPCITEMIDLIST>(
      static_cast<ULONG_PTR>(CSIDL_NETWORK));
  info.lpszTitle = title;
  info.ulFlags = BIF_BROWSEFORPRINTER;
  LPITEMIDLIST chosen = ctx.os.SHBrowseForFolderA(&info);
  if (!chosen) return 0;

  // A printer has no file-system path: the conversion then leaves the path
  // empty, and the empty path is what the caller gets.
  char path[kBrowsePathSize];
  path[0] = '\0';
  if (!ctx.os.SHGetPathFromIDListA(chosen, path)) path[0] = '\0';
  ctx.os.SHFreeItemList(chosen);
  path[kBrowsePathSize - 1] = '\0';
  const size_t length = std::strlen(path);
  if (out && length < kBrowsePathSize) std::memcpy(out, path, length + 1);
  return 1;
}

HWND WinSub_SetForcus(Context& ctx, HWND window) {
  return ctx.os.SetFocus(window);
}

BOOL WinSub_EnableWindow(Context& ctx, HWND window, int enable) {
  return ctx.os.EnableWindow(window, enable != 0 ? TRUE : FALSE);
}

BOOL BtmClickMessage(Context& ctx, HWND window, DWORD commandId,
                     LPARAM param) {
  return ctx.os.PostMessageA(window, WM_COMMAND,
                             static_cast<WPARAM>(commandId & 0xFFFF), param);
}

int WinSub_CreateDirectory(Context& ctx, const char* path) {
  return ctx.os.CreateDirectoryA(path, nullptr) ? 1 : 0;
}

}  // namespace kv
