// Fonts, launches and disk space: three small operations the installer calls
// while it stages files.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/context.h"

namespace kv {

// The file is opened exclusively first, so that a font another program holds
// is not added.
// The export's contract: exports/staging_exports.h (ToInstallTTF).
int ToInstallTTF(Context& ctx, const std::string& path);

// The command line is not limited to 260 bytes.
// The export's contract: exports/staging_exports.h (VtoeSwmd).
UINT VtoeSwmd(Context& ctx, const std::string& command);

// The volume's total free bytes from GetDiskFreeSpaceExA or, where that query
// is missing or fails, sectors x bytes x free clusters of the classic query
// on the volume's root.
// The export's contract: exports/staging_exports.h (GetDiskFreeSize).
uint64_t GetDiskFreeSize(Context& ctx);

}  // namespace kv
