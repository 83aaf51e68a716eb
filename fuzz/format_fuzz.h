// Shared by the fuzz targets of the host's file formats: a scratch machine
// folder per input, removed after it, and the check that a text meant for
// a reader holds no control byte but its line ends.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace kv::fuzz {

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "kvfuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline void RequirePrintable(const std::string& text) {
  for (char c : text)
    if (c != '\n' && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F))
      std::abort();
}

}  // namespace kv::fuzz
