// Window and file wrappers for the installer script: the network-printer
// browse dialog, focus, enabling, a posted button click, and a directory.
#pragma once

#include "foundation/context.h"

namespace kv {

// Output buffer of BrowseFolder, in characters: the chosen path is copied
// only when it is shorter than this.
constexpr size_t kBrowsePathSize = MAX_PATH;

// Disables `dialog`, shows the shell's browse dialog rooted at the network
// neighbourhood for printers (owner `owner`, title `title`), and enables
// `dialog` again whatever the outcome. 1 when the user chose an item: its
// path is copied to `out` (kBrowsePathSize characters) when it fits, else
// `out` is left alone; 0 when the user cancelled (`out` untouched). OLE is
// initialised for the call and uninitialised again when that succeeded.
int BrowseFolder(Context& ctx, HWND dialog, HWND owner, char* out,
                 const char* title);

// SetFocus: the window that had the focus before, or null.
HWND SetKeyboardFocus(Context& ctx, HWND window);

// EnableWindow with `enable` non-zero or 0; the platform's result (whether
// the window was disabled before).
BOOL SetWindowEnabled(Context& ctx, HWND window, int enable);

// Posts WM_COMMAND with the low 16 bits of `commandId` as wParam and `param`
// as lParam, as a button click would; the result of posting.
BOOL BtmClickMessage(Context& ctx, HWND window, DWORD commandId, LPARAM param);

// CreateDirectoryA with default security: 1 on success, 0 on failure (the
// last error is the system's).
int MakeDirectory(Context& ctx, const char* path);

}  // namespace kv
