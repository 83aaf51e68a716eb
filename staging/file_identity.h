// Whether two paths name one file, or one folder lies in another, however
// the paths are spelled (letter case, "." and "..", doubled or forward
// separators, 8.3 aliases, links).
#pragma once

#include <string>

#include "foundation/context.h"

namespace kv {

// True when `a` and `b` both name one existing file. A path that names
// nothing is never the other. Decided by volume serial number and file index
// (GetFileInformationByHandle); where the system cannot open one of them or
// gives no index (some network redirectors), by their full 8.3 paths.
// Changes the thread's last error.
bool SameFile(Context& ctx, const std::string& a, const std::string& b);

// True when folder `inner`, or the nearest ancestor of it that exists, is
// folder `outer` or lies below it. Folders are compared by identity where the
// system opens them (the NT family) and by their full 8.3 paths everywhere.
// False when `outer` does not exist. Changes the thread's last error.
bool FolderWithin(Context& ctx, const std::string& inner,
                  const std::string& outer);

}  // namespace kv
