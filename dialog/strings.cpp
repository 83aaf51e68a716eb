#include "dialog/strings.h"

#include <cstring>

namespace kv {
namespace {

unsigned char LowerAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

}  // namespace

int CompareStrings(const char* a, const char* b) {
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  for (;; ++x, ++y) {
    if (*x != *y) return *x < *y ? -1 : 1;
    if (*x == 0) return 0;
  }
}

// The search is the one a fixed comparison window gives: the needle is
// compared with the text at each start position below kStrFindPositions
// where the first characters agree. Instead of copying both texts into
// bounded buffers, the text is read in place and never past its terminator,
// so an overlong text cannot overrun anything; a match may run past the
// 247th character, which a working copy would have cut.
int StrFind(const char* needle, const char* text) {
  const size_t needleLength = std::strlen(needle);
  if (needleLength == 0) return 1;
  if (needleLength > kStrFindNeedleMax) return 0;
  const auto* n = reinterpret_cast<const unsigned char*>(needle);
  const auto* t = reinterpret_cast<const unsigned char*>(text);
  const unsigned char first = LowerAscii(n[0]);
  for (int pos = 0; pos < kStrFindPositions; ++pos) {
    if (t[pos] == 0) return 0;
    if (LowerAscii(t[pos]) != first) continue;
    size_t i = 1;
    while (i < needleLength && t[pos + i] != 0 &&
           LowerAscii(t[pos + i]) == LowerAscii(n[i]))
      ++i;
    if (i == needleLength) return 1;
  }
  return 0;
}

char* StrTopDel(char* dst, const char* src, int count) {
  const size_t length = std::strlen(src);
  size_t skip = count > 0 ? static_cast<size_t>(count) : 0;
  if (skip > length) skip = length;
  std::memmove(dst, src + skip, length - skip + 1);
  return dst;
}

int DelSpace(char* text) {
  size_t length = std::strlen(text);
  if (length == 0) return 0;
  // Trailing blanks go, but never the first character: a text of blanks
  // keeps one for the leading pass to remove.
  while (length > 1 && text[length - 1] == ' ') text[--length] = '\0';
  size_t lead = 0;
  while (text[lead] == ' ') ++lead;
  if (lead > 0) std::memmove(text, text + lead, length - lead + 1);
  return text[0] != '\0' ? 1 : 0;
}

int TopStringNum(const char* text) {
  return (text[0] >= '0' && text[0] <= '9') ? 1 : 0;
}

}  // namespace kv
