// Removal of the installed scanner driver files: the INF copy's file list in
// the driver store, system, Windows, TWAIN and colour folders, the two
// companion libraries named after the scanner's name header, and the files
// of the setup file's "UserDir" and "RenameFiles" sections. Files that can't
// be deleted go to the deferred-deletion batch, as each operation says.
#pragma once

#include "foundation/context.h"

namespace kv {

// Windows 95/98/Me. Entries beginning with "USB" (any case) stay
// everywhere, and the file "USBscan" of [Files.9x] names stays in every
// folder but the TWAIN and colour folders.
void DeleteScnFiles9x(Context& ctx, const char* setupFile);
// Windows 2000 and XP: every entry goes. XP defers the INF copy and its
// catalogue too; 2000 leaves them where they can't be deleted.
void DeleteScnFiles2k(Context& ctx, const char* setupFile);
void DeleteScnFilesXP(Context& ctx, const char* setupFile);

}  // namespace kv
