#include <cstdlib>

#include "dialog/strings.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto t = kv::fuzz::Texts(data, size, 1);
  auto text = kv::fuzz::Exact(t[0]);
  const int expected = !t[0].empty() && t[0][0] >= '0' && t[0][0] <= '9';
  if (kv::TopStringNum(text.data()) != expected) std::abort();
  return 0;
}
