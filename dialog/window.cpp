#include "dialog/window.h"

#include <cstring>

namespace kv {
namespace {

// OLE for the browse dialog, balanced: S_OK and S_FALSE (already
// initialised on this thread) both take a reference to give back.
class OleSession {
 public:
  explicit OleSession(Platform& os)
      : os_(os), ok_(os.OleInitialize(nullptr) >= 0) {}
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

  // The network neighbourhood as the root. The shell is given a real item
  // list for it: a bare special-folder number in the root field is not an
  // item list, and shells that read it as one fault. Without the list the
  // dialog opens at the desktop.
  LPITEMIDLIST root = nullptr;
  if (ctx.os.SHGetSpecialFolderLocation(owner, CSIDL_NETWORK, &root) < 0)
    root = nullptr;
  struct RootOwner {
    Platform& os;
    LPITEMIDLIST list;
    ~RootOwner() {
      if (list) os.SHFreeItemList(list);
    }
  } rootOwner{ctx.os, root};

  BROWSEINFOA info;
  std::memset(&info, 0, sizeof info);
  info.hwndOwner = owner;
  info.pidlRoot = root;
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

HWND SetKeyboardFocus(Context& ctx, HWND window) {
  return ctx.os.SetFocus(window);
}

BOOL SetWindowEnabled(Context& ctx, HWND window, int enable) {
  return ctx.os.EnableWindow(window, enable != 0 ? TRUE : FALSE);
}

BOOL BtmClickMessage(Context& ctx, HWND window, DWORD commandId, LPARAM param) {
  return ctx.os.PostMessageA(window, WM_COMMAND,
                             static_cast<WPARAM>(commandId & 0xFFFF), param);
}

int MakeDirectory(Context& ctx, const char* path) {
  return ctx.os.CreateDirectoryA(path, nullptr) ? 1 : 0;
}

}  // namespace kv
