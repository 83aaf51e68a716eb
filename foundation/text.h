// Names and paths read by characters of the system's code page. On a
// double-byte code page (932) a character's second byte may be 0x5C, the
// backslash code, or an ASCII letter's code: every test for a separator, every
// cut to a buffer and every comparison without case goes through here, so a
// trail byte is never taken for a character of its own and no cut leaves half
// a character behind. Lead bytes are asked of the Platform, as Windows
// answers them for the system's code page.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "foundation/platform.h"

namespace kv::text {

constexpr size_t npos = std::string::npos;

// Bytes of the character starting at `at`: 2 for a lead byte followed by
// another byte, else 1 (a lone lead byte at the end is a character of its
// own, as Windows' CharNextA steps over it).
size_t CharSize(Platform& os, const std::string& s, size_t at);

// The first character at or after `from` that is one of the single-byte
// characters of `set`, or npos.
size_t FindFirstOf(Platform& os, const std::string& s, const char* set,
                   size_t from = 0);
size_t Find(Platform& os, const std::string& s, char c, size_t from = 0);

// The last character that is one of `set`, or npos.
size_t FindLastOf(Platform& os, const std::string& s, const char* set);
size_t FindLast(Platform& os, const std::string& s, char c);

// Whether `s` holds the character `c` / ends in it.
bool Contains(Platform& os, const std::string& s, char c);
bool EndsWith(Platform& os, const std::string& s, char c);
size_t Count(Platform& os, const std::string& s, char c);

// `s` split at every character `c` ("a\\b" -> {"a", "b"}; "" -> {""}).
std::vector<std::string> Split(Platform& os, const std::string& s, char c);

// What follows the last backslash (the whole of `s` without one), and what
// precedes it (empty without one).
std::string NamePart(Platform& os, const std::string& path);
std::string FolderPart(Platform& os, const std::string& path);

// How many of the first `maxBytes` bytes of `s` hold whole characters: a
// double-byte character the limit would halve is left out entirely.
size_t WholeBytes(Platform& os, const char* s, size_t length, size_t maxBytes);

// `s` cut to at most `maxBytes` bytes of whole characters.
std::string Cut(Platform& os, const std::string& s, size_t maxBytes);

// `s` without a lead byte left alone at its end: what remains of a
// double-byte character a buffer cut in two.
std::string DropHalfCharacter(Platform& os, const std::string& s);

// Copies `src` into a buffer of `size` bytes with its terminator, cut to
// whole characters. Returns the bytes copied.
size_t CopyCut(Platform& os, char* dst, size_t size, const char* src);

// `s` with its single-byte ASCII letters in upper case.
std::string UpperAscii(Platform& os, const std::string& s);

// Whether `a` and `b` are the same name when only single-byte ASCII letters
// fold (the trail byte of a double-byte character never does).
bool EqualNoCase(Platform& os, const std::string& a, const std::string& b);

// Whether `s` starts with `prefix` in that sense, ending on a whole character.
bool StartsWithNoCase(Platform& os, const std::string& s,
                      const std::string& prefix);

}  // namespace kv::text
