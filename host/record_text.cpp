#include "host/record_text.h"

#ifdef _WIN32
#include <fstream>
#else
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstring>

namespace kv::host {

std::string Hex(const BYTE* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  s.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    s += kDigits[data[i] >> 4];
    s += kDigits[data[i] & 15];
  }
  return s;
}

std::string Hex32(DWORD v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(v));
  return text;
}

std::string AsciiLower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

DWORD Fnv1a(const BYTE* data, size_t size, DWORD h) {
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
  return h;
}

namespace {

bool Printable(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

bool BareChar(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
         (c >= 'A' && c <= 'Z') || std::strchr("_.:+-=", c) != nullptr;
}

}  // namespace

std::string Quote(const std::string& s) {
  std::string q = "\"";
  for (unsigned char c : s) {
    if (c == '\\' || c == '"') {
      q += '\\';
      q += static_cast<char>(c);
    } else if (Printable(c)) {
      q += static_cast<char>(c);
    } else {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02x", c);
      q += esc;
    }
  }
  return q + "\"";
}

// A FILETIME as UTC "YYYY-MM-DD HH:MM:SS.fffffff" (civil date from days,
// so no system call is needed).
std::string FileTimeText(const FILETIME& ft) {
  const unsigned long long ticks =
      (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) |
      ft.dwLowDateTime;
  const unsigned long long secs = ticks / 10000000ull;
  const unsigned long fraction =
      static_cast<unsigned long>(ticks % 10000000ull);
  // Days from 1601-01-01 moved to days from 0000-03-01.
  long long z = static_cast<long long>(secs / 86400) + 584694;
  const unsigned long daySecs = static_cast<unsigned long>(secs % 86400);
  const long long era = z / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long day = doy - (153 * mp + 2) / 5 + 1;
  const long long month = mp < 10 ? mp + 3 : mp - 9;
  const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char text[64];
  std::snprintf(text, sizeof text,
                "%04lld-%02lld-%02lld %02lu:%02lu:%02lu.%07lu", year, month,
                day, daySecs / 3600, daySecs / 60 % 60, daySecs % 60, fraction);
  return text;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseHex(const std::string& text, std::vector<BYTE>* bytes) {
  if (text.size() % 2) return false;
  bytes->clear();
  bytes->reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes->push_back(static_cast<BYTE>(hi * 16 + lo));
  }
  return true;
}

// Splits a line into bare words and quoted strings (unescaped). False with
// `why` set for anything the writer would not have written.
bool Tokenize(const std::string& line, std::vector<Token>* tokens,
              std::string* why) {
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ') {
      ++i;
      continue;
    }
    Token t;
    if (line[i] == '"') {
      t.quoted = true;
      for (++i;; ++i) {
        if (i >= line.size()) {
          *why = "a quoted string is not closed";
          return false;
        }
        if (line[i] == '"') break;
        if (line[i] != '\\') {
          t.text += line[i];
          continue;
        }
        if (i + 1 < line.size() &&
            (line[i + 1] == '\\' || line[i + 1] == '"')) {
          t.text += line[++i];
        } else if (i + 3 < line.size() && line[i + 1] == 'x' &&
                   HexDigit(line[i + 2]) >= 0 && HexDigit(line[i + 3]) >= 0) {
          t.text += static_cast<char>(HexDigit(line[i + 2]) * 16 +
                                      HexDigit(line[i + 3]));
          i += 3;
        } else {
          *why = "a bad escape in a quoted string";
          return false;
        }
      }
      ++i;
      if (i < line.size() && line[i] != ' ') {
        *why = "text right after a quoted string";
        return false;
      }
    } else {
      while (i < line.size() && line[i] != ' ') {
        if (!BareChar(static_cast<unsigned char>(line[i]))) {
          *why = std::string("unexpected character '") + line[i] + "'";
          return false;
        }
        t.text += line[i++];
      }
    }
    tokens->push_back(std::move(t));
  }
  return true;
}

bool ReadTextFileBounded(const std::string& path, size_t limit,
                         std::string* text, std::string* error) {
  const std::string tooLarge = path + ": larger than " + std::to_string(limit) +
                               " bytes, more than any the host writes";
#ifdef _WIN32
  std::ifstream in(path.c_str(), std::ios::binary | std::ios::ate);
  if (!in) {
    *error = path + ": cannot be read";
    return false;
  }
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<unsigned long long>(size) > limit) {
    *error = size < 0 ? path + ": cannot be read" : tooLarge;
    return false;
  }
  std::string all(static_cast<size_t>(size), '\0');
  in.seekg(0);
  if (size > 0 && !in.read(&all[0], size)) {
    *error = path + ": cannot be read";
    return false;
  }
  *text = std::move(all);
  return true;
#else
  error->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = path + (fd < 0 ? ": cannot be read"
                            : ": a FIFO, a device or a folder, not a file");
    if (fd >= 0) ::close(fd);
    return false;
  }
  std::string all;
  bool ok = static_cast<unsigned long long>(st.st_size) <= limit;
  char buffer[1 << 16];
  while (ok) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      if (!ok) *error = path + ": cannot be read";
      break;
    }
    if (all.size() + static_cast<size_t>(n) > limit) {
      ok = false;
      break;
    }
    all.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  if (!ok && error->empty()) *error = tooLarge;
  if (ok) *text = std::move(all);
  return ok;
#endif
}

}  // namespace kv::host
