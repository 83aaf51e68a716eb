// Directory searches of drive C: FindFirstFileA and its wildcards, and the
// calls on a search handle.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "sim/file_paths.h"
#include "sim/sim_internal.h"

namespace kv::sim {

namespace fs = std::filesystem;

namespace {

// Windows FILETIME of a host time.
FILETIME ToFileTime(const struct timespec& t) {
  const unsigned long long ticks =
      (static_cast<unsigned long long>(t.tv_sec) + 11644473600ull) *
          10000000ull +
      static_cast<unsigned long long>(t.tv_nsec) / 100;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

// '*' any run, '?' one character, both without regard to case; "x.*" also
// matches "x" as it does on Windows. A double-byte character of code page
// 932 is one character, matched byte for byte.
bool WildMatch(const char* p, const char* s, UINT codePage) {
  if (*p == 0) return *s == 0;
  if (*p == '*') {
    for (const char* t = s;; ++t) {
      if (WildMatch(p + 1, t, codePage)) return true;
      if (*t == 0) return false;
      if (IsLeadByteOf(codePage, static_cast<unsigned char>(*t)) && t[1]) ++t;
    }
  }
  if (*s == 0) return false;
  const size_t sn =
      IsLeadByteOf(codePage, static_cast<unsigned char>(*s)) && s[1] ? 2 : 1;
  if (*p == '?') return WildMatch(p + 1, s + sn, codePage);
  const size_t pn =
      IsLeadByteOf(codePage, static_cast<unsigned char>(*p)) && p[1] ? 2 : 1;
  if (pn != sn) return false;
  if (pn == 2 ? (p[0] != s[0] || p[1] != s[1])
              : UpperAscii(*p) != UpperAscii(*s))
    return false;
  return WildMatch(p + pn, s + sn, codePage);
}

// Characters no name holds (the wildcards aside); the trail byte of a
// double-byte character is none of them.
bool RefusedInName(const std::string& name, UINT codePage) {
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (IsLeadByteOf(codePage, c) && i + 1 < name.size())
      ++i;
    else if (std::strchr("<>:\"|", c))
      return true;
  }
  return false;
}

bool NameMatches(const std::string& pattern, const std::string& name,
                 UINT codePage) {
  if (pattern == "*.*") return true;
  if (WildMatch(pattern.c_str(), name.c_str(), codePage)) return true;
  if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0)
    return WildMatch(pattern.substr(0, pattern.size() - 2).c_str(),
                     name.c_str(), codePage);
  return false;
}

}  // namespace

HANDLE SimPlatform::FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
  if (Enter("FindFirstFileA", ArgText(pattern))) return INVALID_HANDLE_VALUE;
  if (!pattern || !data) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return INVALID_HANDLE_VALUE;
  }
  std::string text = pattern;
  size_t cut = LastSeparator(text, codePage_);
  std::string dirPart, namePart;
  if (cut == std::string::npos) {
    const bool drive = text.size() >= 2 && text[1] == ':';
    dirPart = drive ? text.substr(0, 2) + "\\" : "C:\\";
    namePart = drive ? text.substr(2) : text;
  } else {
    dirPart = text.substr(0, cut + 1);
    namePart = text.substr(cut + 1);
  }
  ResolvedPath dir = ResolveWinPath(machineDir_, dirPart, codePage_);
  if (dir.error) {
    lastError_ = dir.error;
    return INVALID_HANDLE_VALUE;
  }
  if (KindOf(dir.host) != HostKind::Directory) {
    lastError_ = ERROR_PATH_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  if (namePart.empty() || RefusedInName(namePart, codePage_)) {
    lastError_ = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  FileState& state = Files(*this, machineDir_);
  auto entryOf = [&](const std::string& name, const std::string& host) {
    WIN32_FIND_DATAA d{};
    struct stat st;
    if (::stat(host.c_str(), &st) == 0) {
      const bool isDir = S_ISDIR(st.st_mode);
      const std::string key =
          dir.key + (dir.isRoot ? "" : "\\") + FoldCase(name, codePage_);
      DWORD bits = (name == "." || name == "..") ? 0 : state.Stored(key, isDir);
      if (isDir) bits |= FILE_ATTRIBUTE_DIRECTORY;
      d.dwFileAttributes = bits ? bits : FILE_ATTRIBUTE_NORMAL;
      const unsigned long long size =
          isDir ? 0 : static_cast<unsigned long long>(st.st_size);
      d.nFileSizeHigh = static_cast<DWORD>(size >> 32);
      d.nFileSizeLow = static_cast<DWORD>(size);
      d.ftLastWriteTime = ToFileTime(st.st_mtim);
      d.ftCreationTime = d.ftLastWriteTime;
      d.ftLastAccessTime = ToFileTime(st.st_atim);
    }
    std::strncpy(d.cFileName, name.c_str(), MAX_PATH - 1);
    return d;
  };
  FileState::Find find;
  // Windows lists "." and ".." first in every folder but a drive's root.
  if (!dir.isRoot) {
    for (const char* dots : {".", ".."})
      if (NameMatches(namePart, dots, codePage_))
        find.entries.push_back(entryOf(dots, dir.host));
  }
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir.host, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (NameMatches(namePart, name, codePage_)) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), CaseLess());
  for (const auto& n : names)
    find.entries.push_back(entryOf(n, dir.host + "/" + n));
  if (find.entries.empty()) {
    lastError_ = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  *data = find.entries[0];
  find.next = 1;
  const uintptr_t h = NewHandle();
  state.finds[h] = std::move(find);
  return reinterpret_cast<HANDLE>(h);
}

BOOL SimPlatform::FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) {
  if (Enter("FindNextFileA", HexText(reinterpret_cast<uintptr_t>(find))))
    return FALSE;
  FileState& state = Files(*this, machineDir_);
  auto it = state.finds.find(reinterpret_cast<uintptr_t>(find));
  if (it == state.finds.end() || !data) {
    lastError_ = it == state.finds.end() ? ERROR_INVALID_HANDLE
                                         : ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  if (it->second.next >= it->second.entries.size()) {
    lastError_ = ERROR_NO_MORE_FILES;
    return FALSE;
  }
  *data = it->second.entries[it->second.next++];
  return TRUE;
}

BOOL SimPlatform::FindClose(HANDLE find) {
  if (Enter("FindClose", HexText(reinterpret_cast<uintptr_t>(find))))
    return FALSE;
  FileState& state = Files(*this, machineDir_);
  if (!state.finds.erase(reinterpret_cast<uintptr_t>(find))) {
    lastError_ = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  return TRUE;
}

}  // namespace kv::sim
