#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_input.h"
#include "ports/device_finder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto t = kv::fuzz::Texts(data, size, 1);
  auto source = kv::fuzz::Exact(t[0]);
  // Each output as large as its stated capacity, no more.
  std::vector<char> out[4];
  for (auto& o : out) o.assign(1024, '\x7F');
  if (kv::SplitFourFields(source.data(), out[0].data(), out[1].data(),
                          out[2].data(), out[3].data()) != 1)
    std::abort();
  // Every output is terminated within its buffer and holds no comma.
  for (auto& o : out) {
    const void* end = std::memchr(o.data(), 0, o.size());
    if (!end) std::abort();
    if (std::memchr(o.data(), ',', static_cast<const char*>(end) - o.data()))
      std::abort();
  }
  return 0;
}
