// Path helpers of file staging: multibyte-safe tests on 8-bit paths and the
// 260-byte limit every staged path must fit.
#pragma once

#include <string>

#include "foundation/context.h"

namespace kv {

// Longest path (in bytes, without the terminator) the operations build: the
// 260-byte buffers of the Win32 file calls.
constexpr size_t kMaxStagedPath = MAX_PATH - 1;

// Whether the last whole character of `path` (stepping back one character of
// the system's multibyte code page, so that the trail byte of a double-byte
// character is not taken for one) is a backslash. False for "".
bool EndsWithBackslash(Context& ctx, const std::string& path);

// The number of backslash characters in `path`, counting whole characters
// (a double-byte character whose trail byte is 0x5C is not a separator).
int CountBackslashes(Context& ctx, const std::string& path);

// The position of the last backslash that is a whole character of `path`,
// or npos.
size_t LastBackslash(Context& ctx, const std::string& path);

}  // namespace kv
