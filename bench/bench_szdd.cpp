// SZDD expansion with the machine's expander (sim/szdd) on plain host files.
//
//   bench_szdd data <file> <bytes>   writes partly compressible sample data
//   bench_szdd expand <in> <out>     expands an SZDD file, prints the seconds
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "sim/szdd.h"

namespace {

int Data(const char* path, size_t size) {
  // Runs of words and of random bytes: about 2:1 under SZDD.
  std::mt19937 rng(42);
  const char* words[] = {"printer ",  "driver ", "spooler ", "monitor ",
                         "KV-Relay ", "\r\n",    "port ",    "0000"};
  std::string out;
  out.reserve(size);
  while (out.size() < size) {
    if (rng() % 3 == 0) {
      for (int i = 0; i < 24; ++i) out += static_cast<char>(rng());
    } else {
      for (int i = 0; i < 6; ++i) out += words[rng() % 8];
    }
  }
  out.resize(size);
  FILE* f = std::fopen(path, "wb");
  if (!f) return 1;
  std::fwrite(out.data(), 1, out.size(), f);
  return std::fclose(f) == 0 ? 0 : 1;
}

int Expand(const char* in, const char* out) {
  const auto start = std::chrono::steady_clock::now();
  const int src = ::open(in, O_RDONLY);
  const int dst = ::open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (src < 0 || dst < 0) return 1;
  unsigned char header[kv::szdd::kHeaderSize];
  if (::read(src, header, sizeof header) != sizeof header) return 1;
  const auto h = kv::szdd::ParseHeader(header, sizeof header);
  if (h.kind != kv::szdd::HeaderKind::Compressed) return 1;
  kv::szdd::ReadFn read = [&](unsigned char* b, size_t n) -> long {
    return static_cast<long>(::read(src, b, n));
  };
  kv::szdd::WriteFn write = [&](const unsigned char* d, size_t n) {
    while (n > 0) {
      const ssize_t w = ::write(dst, d, n);
      if (w <= 0) return false;
      d += w;
      n -= static_cast<size_t>(w);
    }
    return true;
  };
  const auto r = kv::szdd::Expand(h.expandedLength, read, write);
  ::close(src);
  if (::close(dst) != 0 || r.status != kv::szdd::Status::Ok) return 1;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  std::printf("bytes=%llu seconds=%.4f\n",
              static_cast<unsigned long long>(r.written), seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "data" && argc == 4)
    return Data(argv[2], std::strtoull(argv[3], nullptr, 10));
  if (mode == "expand" && argc == 4) return Expand(argv[2], argv[3]);
  std::fprintf(stderr,
               "usage: bench_szdd data <file> <bytes>\n"
               "       bench_szdd expand <in> <out>\n");
  return 2;
}
