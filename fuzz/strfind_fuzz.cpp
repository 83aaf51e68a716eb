#include <cstdlib>
#include <string>

#include "dialog/strings.h"
#include "fuzz/fuzz_input.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto t = kv::fuzz::Texts(data, size, 2);
  auto needle = kv::fuzz::Exact(t[0]);
  auto text = kv::fuzz::Exact(t[1]);
  const int r = kv::StrFind(needle.data(), text.data());
  // Reference: a case-folded search limited to the first 245 starts.
  int expected = 0;
  if (t[0].empty()) {
    expected = 1;
  } else if (t[0].size() <= kv::kStrFindNeedleMax) {
    const size_t at = Lower(t[1]).find(Lower(t[0]));
    expected = at != std::string::npos &&
               at < static_cast<size_t>(kv::kStrFindPositions);
  }
  if (r != expected) std::abort();
  return 0;
}
