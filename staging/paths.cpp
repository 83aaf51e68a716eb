#include "staging/paths.h"

namespace kv {

bool EndsWithBackslash(Context& ctx, const std::string& path) {
  if (path.empty()) return false;
  const char* start = path.c_str();
  const char* last = ctx.os.CharPrevA(start, start + path.size());
  // A double-byte last character starts one byte earlier than its end.
  return last == start + path.size() - 1 && *last == '\\';
}

namespace {

// Calls `separator` with the position of each backslash that is a whole
// character (a double-byte character whose trail byte is 0x5C is not one).
template <typename F>
void ForEachBackslash(Context& ctx, const std::string& path, F separator) {
  for (size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (c == '\\') {
      separator(i);
    } else if (c >= 0x80 && i + 1 < path.size() && ctx.os.IsDBCSLeadByte(c)) {
      ++i;  // the trail byte belongs to this character
    }
  }
}

}  // namespace

int CountBackslashes(Context& ctx, const std::string& path) {
  int count = 0;
  ForEachBackslash(ctx, path, [&](size_t) { ++count; });
  return count;
}

size_t LastBackslash(Context& ctx, const std::string& path) {
  size_t last = std::string::npos;
  ForEachBackslash(ctx, path, [&](size_t at) { last = at; });
  return last;
}

}  // namespace kv
