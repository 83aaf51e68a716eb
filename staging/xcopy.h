// Tree copy by installer type: copies the branches of a medium tree that
// belong to the product being installed and to the running Windows family.
#pragma once

#include <string>

#include "foundation/context.h"

namespace kv {

// Copies from `sourceDir` into the existing `destDir`, deciding for each
// entry by its level (backslashes in "<destDir>\<name>" minus 4) and the
// rules of `installerType` ("LNKSCAN", "Ocelot2", "Ocelot2AR", "MarlinPDL",
// any case) whether it is copied (replacing a file, attributes set to
// normal), descended into (the folder created, walked after its parent has
// been enumerated completely) or passed over. `selectedFolder` names the one
// folder the rules admit at level 0 or 1.
//
// An unknown type shows "Unknown Installer Type!!" (caption "ERROR", OK, no
// owner) once per entry and copies nothing; an OS kind outside 1..4 shows
// "Unknown OS" once per entry for the types that pick an OS folder, and then
// takes no OS folder. The entries "." and ".." are never taken.
//
// Directories of any size are walked completely. An entry whose source or
// destination path would not fit 260 bytes is passed over. Memory in use
// grows with the depth of the tree and the folders of one directory, not with
// the number of files.
//
// Result: that of closing the last directory search of the walk: non-zero
// when it had been started, 0 when it could not be (a missing source
// directory gives 0).
int Xcopy(Context& ctx, const std::string& sourceDir,
          const std::string& destDir, const std::string& selectedFolder,
          const std::string& installerType);

}  // namespace kv
