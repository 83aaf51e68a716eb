#include <cstdlib>
#include <cstring>

#include "dialog/strings.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto t = kv::fuzz::Texts(data, size, 1);
  auto text = kv::fuzz::Exact(t[0]);
  const int r = kv::DelSpace(text.data());
  const size_t first = t[0].find_first_not_of(' ');
  const std::string expected =
      first == std::string::npos
          ? std::string()
          : t[0].substr(first, t[0].find_last_not_of(' ') - first + 1);
  if (expected != text.data() || r != (expected.empty() ? 0 : 1)) std::abort();
  return 0;
}
