// Turns a fuzzer's bytes into the zero-terminated strings an export gets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kv::fuzz {

// Splits the input at the first 0 byte into two texts (the second empty
// when there is none); each is exactly as long as its bytes, so an
// operation that reads one byte past a text's terminator is caught.
inline std::vector<std::string> Texts(const uint8_t* data, size_t size,
                                      size_t count) {
  std::vector<std::string> texts;
  size_t start = 0;
  for (size_t i = 0; i < count; ++i) {
    size_t end = start;
    while (end < size && data[end] != 0) ++end;
    texts.emplace_back(reinterpret_cast<const char*>(data) + start,
                       reinterpret_cast<const char*>(data) + end);
    start = end < size ? end + 1 : size;
  }
  return texts;
}

// A heap copy of `text` of exactly its length plus the terminator.
inline std::vector<char> Exact(const std::string& text) {
  return std::vector<char>(text.c_str(), text.c_str() + text.size() + 1);
}

}  // namespace kv::fuzz
