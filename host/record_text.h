// The line notation snapshots and captures share: bare words, quoted
// strings (a backslash, a quote and every byte outside printable ASCII
// escaped as \\, \" and \xHH, so any name survives), hex bytes and UTC
// file times.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "foundation/win32.h"

namespace kv::host {

// `s` quoted as above.
std::string Quote(const std::string& s);
// "0x" and eight lower-case hex digits.
std::string Hex32(DWORD v);
// `s` with ASCII capitals made small, as Windows compares registry and file
// names.
std::string AsciiLower(std::string s);
// `size` bytes as lower-case hex digits, two a byte.
std::string Hex(const BYTE* data, size_t size);
// Reads Hex's text back; false for an odd length or a non-hex character.
bool ParseHex(const std::string& text, std::vector<BYTE>* bytes);
// The FNV-1a checksum of `size` bytes, continued from `h`.
DWORD Fnv1a(const BYTE* data, size_t size, DWORD h = 2166136261u);
// A FILETIME as UTC "YYYY-MM-DD HH:MM:SS.fffffff".
std::string FileTimeText(const FILETIME& ft);

// Reads the regular file `path` whole when it holds at most `limit` bytes:
// a file handed over from elsewhere may be a FIFO (never waited on), a
// device or a huge sparse file. False with `error` naming the file and why.
bool ReadTextFileBounded(const std::string& path, size_t limit,
                         std::string* text, std::string* error);

struct Token {
  bool quoted = false;
  std::string text;  // unescaped
};
// Splits a line into bare words and quoted strings. False with `why` set
// for anything the writers would not have written.
bool Tokenize(const std::string& line, std::vector<Token>* tokens,
              std::string* why);

}  // namespace kv::host
