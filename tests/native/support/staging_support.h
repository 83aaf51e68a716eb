// Helpers of the file-staging tests: SZDD images, host files, trees.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>

#include "sim/sim_platform.h"

namespace kv::test {

inline std::string ReadHost(const std::string& host) {
  std::ifstream in(host, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteHost(const std::string& host, const std::string& bytes) {
  std::filesystem::create_directories(
      std::filesystem::path(host).parent_path());
  std::ofstream(host, std::ios::binary) << bytes;
}

// An SZDD image holding `data` as literals only: a valid file for any
// expander, made without a compressor.
inline std::string SzddLiterals(const std::string& data,
                                uint32_t declared = UINT32_MAX) {
  if (declared == UINT32_MAX) declared = static_cast<uint32_t>(data.size());
  std::string out(
      "SZDD\x88\xF0\x27\x33"
      "A\0",
      10);
  for (int i = 0; i < 4; ++i) out += static_cast<char>(declared >> (8 * i));
  for (size_t i = 0; i < data.size(); i += 8) {
    out += '\xFF';
    out += data.substr(i, 8);
  }
  return out;
}

// Sample contents that exercise literals, short and long references and
// references that overlap what they produce.
inline std::string SampleBytes(size_t size, unsigned seed, bool text) {
  std::mt19937 rng(seed);
  std::string s;
  s.reserve(size);
  const char* words[] = {"printer ", "driver ", "KV ",
                         "spool ",   "\r\n",    "aaaaaaaaaaaaaaaaaaaaaaaaaaaa",
                         "    "};
  while (s.size() < size) {
    if (text)
      s += words[rng() % 7];
    else
      s += static_cast<char>(rng() % (rng() % 4 == 0 ? 4 : 256));
  }
  s.resize(size);
  return s;
}

inline bool HaveTool(const char* tool) {
  const std::string cmd =
      std::string("command -v ") + tool + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// Compresses `host` with mscompress, which writes `host` + "_".
inline bool MsCompress(const std::string& host) {
  const std::string cmd = "mscompress '" + host + "' >/dev/null 2>&1";
  const int rc = std::system(cmd.c_str());
  return rc != -1 && WIFEXITED(rc) && WEXITSTATUS(rc) == 0 &&
         std::filesystem::exists(host + "_");
}

// Every file and folder below `root`, as "DIR\\" and "DIR\\FILE" relative
// names with backslashes.
inline std::set<std::string> TreeListing(const std::string& root) {
  std::set<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       !ec && it != std::filesystem::recursive_directory_iterator();
       it.increment(ec)) {
    std::string rel =
        std::filesystem::relative(it->path(), root).generic_string();
    for (char& c : rel)
      if (c == '/') c = '\\';
    out.insert(it->is_directory() ? rel + "\\" : rel);
  }
  return out;
}

}  // namespace kv::test
