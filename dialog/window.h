// Window and file wrappers for the installer script: the network-printer
// browse dialog, focus, enabling, a posted button click, and a directory.
#pragma once

#include "foundation/context.h"

namespace kv {

// Output buffer of BrowseFolder, in characters.
constexpr size_t kBrowsePathSize = MAX_PATH;

// `out` (kBrowsePathSize characters) may be null: the choice is then only
// answered. OLE is initialised for the call and uninitialised again when that
// succeeded.
// The export's contract: exports/dialog_exports.h (BrowseFolder).
int BrowseFolder(Context& ctx, HWND dialog, HWND owner, char* out,
                 const char* title);

// The export's contract: exports/dialog_exports.h (WinSub_SetForcus).
HWND SetKeyboardFocus(Context& ctx, HWND window);

// Any non-zero `enable` enables.
// The export's contract: exports/dialog_exports.h (WinSub_EnableWindow).
BOOL SetWindowEnabled(Context& ctx, HWND window, int enable);

// The export's contract: exports/dialog_exports.h (BtmClickMessage).
BOOL BtmClickMessage(Context& ctx, HWND window, DWORD commandId, LPARAM param);

// The export's contract: exports/dialog_exports.h (WinSub_CreateDirectory).
int MakeDirectory(Context& ctx, const char* path);

}  // namespace kv
