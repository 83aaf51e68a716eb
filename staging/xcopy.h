// Tree copy by installer type: copies the branches of a medium tree that
// belong to the product being installed and to the running Windows family.
#pragma once

#include <string>

#include "foundation/context.h"

namespace kv {

// `installerType` matches in any letter case. `selectedFolder` names the one
// folder the type's rules admit at level 0 or 1. The walk finishes enumerating
// a directory before it descends into the folders taken there, in the order
// found; "." and ".." are never taken. A copied file replaces one already at
// the destination, never the source file itself; a file not replaced keeps
// its attributes. A destination inside the source tree is refused (0) before
// anything is copied. 1 only when every entry the rules select is in place;
// otherwise the walk still copies what it can and answers 0 with the first
// failure's last error. Memory grows with the depth of the tree
// and the folders of one directory, not with the number of files.
// The export's contract: exports/staging_exports.h (Xcopy).
int Xcopy(Context& ctx, const std::string& sourceDir,
          const std::string& destDir, const std::string& selectedFolder,
          const std::string& installerType);

}  // namespace kv
