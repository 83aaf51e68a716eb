#include "staging/depfiles.h"

#include <cstring>
#include <string>

namespace kv {

void CutEqualsSuffix(std::string& name) {
  // Positions L-4, L-3 and L-2: an "=" there ends the name.
  const size_t len = name.size();
  for (size_t back = 4; back >= 2; --back) {
    if (len < back) continue;
    if (name[len - back] == '=') {
      name.resize(len - back);
      return;
    }
  }
}

int DepInit(Context& ctx) {
  ctx.dependentPos = 0;
  return 1;
}

int MakeDep(Context& ctx, const char* name) {
  std::string cut = name ? name : "";
  CutEqualsSuffix(cut);
  // The name, its terminator and the list's closing empty name must fit.
  const size_t need = cut.size() + 2;
  if (ctx.dependentPos > kDependentListSize ||
      need > kDependentListSize - ctx.dependentPos)
    return 0;
  char* at = ctx.dependentFiles + ctx.dependentPos;
  std::memcpy(at, cut.c_str(), cut.size() + 1);
  ctx.dependentPos += cut.size() + 1;
  ctx.dependentFiles[ctx.dependentPos] = '\0';
  return 1;
}

}  // namespace kv
