#include "staging/paths.h"

#include "foundation/text.h"

namespace kv {

bool EndsWithBackslash(Context& ctx, const std::string& path) {
  return text::EndsWith(ctx.os, path, '\\');
}

int CountBackslashes(Context& ctx, const std::string& path) {
  return static_cast<int>(text::Count(ctx.os, path, '\\'));
}

size_t LastBackslash(Context& ctx, const std::string& path) {
  return text::FindLast(ctx.os, path, '\\');
}

}  // namespace kv
