#include "staging/paths.h"

namespace kv {

bool EndsWithBackslash(Context& ctx, const std::string& path) {
  if (path.empty()) return false;
  const char* start = path.c_str();
  const char* last = ctx.os.CharPrevA(start, start + path.size());
  // A double-byte last character starts one byte earlier than its end.
  return last == start + path.size() - 1 && *last == '\\';
}

int CountBackslashes(Context& ctx, const std::string& path) {
  int count = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (c == '\\') {
      ++count;
    } else if (c >= 0x80 && i + 1 < path.size() && ctx.os.IsDBCSLeadByte(c)) {
      ++i;  // the trail byte belongs to this character
    }
  }
  return count;
}

}  // namespace kv
