#include <cstdlib>
#include <cstring>

#include "dialog/strings.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // First two bytes: the count, signed, so negative and huge counts occur.
  const int count = static_cast<int16_t>(data[0] | (data[1] << 8));
  auto t = kv::fuzz::Texts(data + 2, size - 2, 1);
  auto source = kv::fuzz::Exact(t[0]);
  std::vector<char> out(source.size());
  kv::StrTopDel(out.data(), source.data(), count);
  const size_t skip = count <= 0 ? 0 : std::min<size_t>(count, t[0].size());
  if (std::strcmp(out.data(), t[0].c_str() + skip) != 0) std::abort();
  // In place, as scripts use it.
  kv::StrTopDel(source.data(), source.data(), count);
  if (std::strcmp(source.data(), t[0].c_str() + skip) != 0) std::abort();
  return 0;
}
