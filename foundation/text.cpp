#include "foundation/text.h"

#include <cstring>

namespace kv::text {
namespace {

// Only bytes with the high bit set lead a double-byte character on the code
// pages Windows ships; asking for the others would only cost time.
bool Leads(Platform& os, unsigned char c) {
  return c >= 0x80 && os.IsDBCSLeadByte(c);
}

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

template <typename F>
void ForEachChar(Platform& os, const std::string& s, size_t from, F visit) {
  for (size_t i = from; i < s.size();) {
    const size_t n = CharSize(os, s, i);
    if (!visit(i, n)) return;
    i += n;
  }
}

}  // namespace

size_t CharSize(Platform& os, const std::string& s, size_t at) {
  return at + 1 < s.size() && Leads(os, static_cast<unsigned char>(s[at])) ? 2
                                                                           : 1;
}

size_t FindFirstOf(Platform& os, const std::string& s, const char* set,
                   size_t from) {
  size_t found = npos;
  ForEachChar(os, s, 0, [&](size_t i, size_t n) {
    if (i < from || n != 1 || !std::strchr(set, s[i]) || s[i] == '\0')
      return true;
    found = i;
    return false;
  });
  return found;
}

size_t Find(Platform& os, const std::string& s, char c, size_t from) {
  const char set[2] = {c, '\0'};
  return FindFirstOf(os, s, set, from);
}

size_t FindLastOf(Platform& os, const std::string& s, const char* set) {
  size_t found = npos;
  ForEachChar(os, s, 0, [&](size_t i, size_t n) {
    if (n == 1 && s[i] != '\0' && std::strchr(set, s[i])) found = i;
    return true;
  });
  return found;
}

size_t FindLast(Platform& os, const std::string& s, char c) {
  const char set[2] = {c, '\0'};
  return FindLastOf(os, s, set);
}

bool Contains(Platform& os, const std::string& s, char c) {
  return Find(os, s, c) != npos;
}

bool EndsWith(Platform& os, const std::string& s, char c) {
  return !s.empty() && FindLast(os, s, c) == s.size() - 1;
}

size_t Count(Platform& os, const std::string& s, char c) {
  size_t count = 0;
  ForEachChar(os, s, 0, [&](size_t i, size_t n) {
    count += n == 1 && s[i] == c;
    return true;
  });
  return count;
}

std::vector<std::string> Split(Platform& os, const std::string& s, char c) {
  std::vector<std::string> parts;
  size_t start = 0;
  ForEachChar(os, s, 0, [&](size_t i, size_t n) {
    if (n == 1 && s[i] == c) {
      parts.push_back(s.substr(start, i - start));
      start = i + 1;
    }
    return true;
  });
  parts.push_back(s.substr(start));
  return parts;
}

std::string NamePart(Platform& os, const std::string& path) {
  const size_t slash = FindLast(os, path, '\\');
  return slash == npos ? path : path.substr(slash + 1);
}

std::string FolderPart(Platform& os, const std::string& path) {
  const size_t slash = FindLast(os, path, '\\');
  return slash == npos ? std::string() : path.substr(0, slash);
}

size_t WholeBytes(Platform& os, const char* s, size_t length, size_t maxBytes) {
  if (length <= maxBytes) return length;
  size_t i = 0;
  while (i < maxBytes) {
    const size_t n =
        i + 1 < length && Leads(os, static_cast<unsigned char>(s[i])) ? 2 : 1;
    if (i + n > maxBytes) break;
    i += n;
  }
  return i;
}

std::string Cut(Platform& os, const std::string& s, size_t maxBytes) {
  return s.substr(0, WholeBytes(os, s.data(), s.size(), maxBytes));
}

std::string DropHalfCharacter(Platform& os, const std::string& s) {
  size_t last = npos;
  ForEachChar(os, s, 0, [&](size_t i, size_t) {
    last = i;
    return true;
  });
  return last != npos && last + 1 == s.size() &&
                 Leads(os, static_cast<unsigned char>(s[last]))
             ? s.substr(0, last)
             : s;
}

size_t CopyCut(Platform& os, char* dst, size_t size, const char* src) {
  if (size == 0) return 0;
  const size_t n = WholeBytes(os, src, std::strlen(src), size - 1);
  std::memmove(dst, src, n);
  dst[n] = '\0';
  return n;
}

std::string UpperAscii(Platform& os, const std::string& s) {
  std::string upper = s;
  ForEachChar(os, s, 0, [&](size_t i, size_t n) {
    if (n == 1 && s[i] >= 'a' && s[i] <= 'z') upper[i] = s[i] - 'a' + 'A';
    return true;
  });
  return upper;
}

bool EqualNoCase(Platform& os, const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size();) {
    const size_t n = CharSize(os, a, i);
    if (n == 2) {
      if (a.compare(i, 2, b, i, 2) != 0) return false;
    } else if (FoldAscii(a[i]) != FoldAscii(b[i])) {
      return false;
    }
    i += n;
  }
  return true;
}

bool StartsWithNoCase(Platform& os, const std::string& s,
                      const std::string& prefix) {
  if (s.size() < prefix.size()) return false;
  if (!EqualNoCase(os, s.substr(0, prefix.size()), prefix)) return false;
  return prefix.empty() ||
         WholeBytes(os, s.data(), s.size(), prefix.size()) == prefix.size();
}

}  // namespace kv::text
