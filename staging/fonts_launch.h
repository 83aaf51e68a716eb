// Fonts, launches and disk space: three small operations the installer calls
// while it stages files.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/context.h"

namespace kv {

// Makes the TrueType font file `path` available until Windows restarts: the
// file must exist and open exclusively (not held by another program); its
// fonts are added to the system font table and WM_FONTCHANGE is broadcast.
// 1 when at least one font was added, else 0. Nothing is copied or
// registered.
int ToInstallTTF(Context& ctx, const std::string& path);

// Starts `command` (a program in the driver directory, optionally followed
// by its arguments) hidden with WinExec and returns WinExec's result at once
// (above 31: started). The command line is not limited to 260 bytes.
UINT VtoeSwmd(Context& ctx, const std::string& command);

// Free bytes of the Windows directory's volume, shifted right by 20 (MiB):
// the volume's total free bytes from GetDiskFreeSpaceExA, or, where that
// query is missing or fails, sectors x bytes x free clusters of the classic
// query on the volume's root. 0 when neither answers.
uint64_t GetDiskFreeSize(Context& ctx);

}  // namespace kv
