#include <cstdlib>
#include <cstring>

#include "dialog/strings.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto t = kv::fuzz::Texts(data, size, 2);
  auto a = kv::fuzz::Exact(t[0]);
  auto b = kv::fuzz::Exact(t[1]);
  const int r = kv::CompareStrings(a.data(), b.data());
  // Must agree with the C library's unsigned comparison, sign for sign.
  const int c = std::strcmp(a.data(), b.data());
  if (r != (c > 0) - (c < 0)) std::abort();
  if (kv::CompareStrings(b.data(), a.data()) != -r) std::abort();
  return 0;
}
