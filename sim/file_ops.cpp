// The file operations on paths of drive C: copy, delete, move, attributes
// and folders, with Windows' refusals and error codes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "sim/file_paths.h"
#include "sim/host_files.h"
#include "sim/sim_internal.h"

namespace kv::sim {

namespace fs = std::filesystem;

namespace {

// Whether `e` is an error; it becomes the last error then.
bool Fails(DWORD e, DWORD* lastError) {
  if (e) *lastError = e;
  return e != 0;
}

// Why a path that names nothing cannot be opened: the file or the folder.
DWORD MissingError(const ResolvedPath& p) {
  return ParentExists(p) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// A path argument resolved; the error to fail with, or 0.
DWORD ResolveArg(const std::string& machineDir, UINT codePage, LPCSTR path,
                 ResolvedPath* out) {
  if (!path) return ERROR_INVALID_PARAMETER;
  *out = ResolveWinPath(machineDir, path, codePage);
  return out->error;
}

// The same for a path that must name something on disk; `kind` tells what.
DWORD ResolveExisting(const std::string& machineDir, UINT codePage, LPCSTR path,
                      ResolvedPath* out, HostKind* kind) {
  if (DWORD e = ResolveArg(machineDir, codePage, path, out)) return e;
  *kind = KindOf(out->host);
  return *kind == HostKind::Missing ? MissingError(*out) : 0;
}

// The same for a source and a target; neither may be missing.
DWORD ResolveArgs(const std::string& machineDir, UINT codePage, LPCSTR from,
                  LPCSTR to, ResolvedPath* src, ResolvedPath* dst) {
  if (!from || !to) return ERROR_INVALID_PARAMETER;
  *src = ResolveWinPath(machineDir, from, codePage);
  *dst = ResolveWinPath(machineDir, to, codePage);
  return src->error ? src->error : dst->error;
}

// Removes a file (or an empty folder) from the host and forgets its
// attribute record and placeholder mark; FALSE with `*error` set when the
// host refuses.
BOOL RemoveFromHost(FileState& state, const std::string& machineDir,
                    const ResolvedPath& p, bool folder, DWORD* error) {
  if ((folder ? ::rmdir(p.host.c_str()) : ::unlink(p.host.c_str())) != 0) {
    *error = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (state.Forget(p.key)) state.Save(machineDir);
  return TRUE;
}

// Copies a placeholder: the copy's content is just as unknown, so it gets
// the size alone (a sparse file, as the capture wrote the original) and
// nothing is read.
bool CopyPlaceholder(const std::string& from, const std::string& to) {
  std::error_code ec;
  const auto size = fs::file_size(from, ec);
  if (ec) return false;
  const int fd = OpenHostFile(to, O_WRONLY | O_CREAT | O_TRUNC);
  if (fd < 0) return false;
  const bool sized = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
  return ::close(fd) == 0 && sized;
}
}  // namespace

BOOL SimPlatform::CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) {
  if (Enter("CopyFileA", ArgText(from) + ", " + ArgText(to) + ", " +
                             std::to_string(failIfExists)))
    return FALSE;
  ResolvedPath src, dst;
  if (Fails(ResolveArgs(machineDir_, codePage_, from, to, &src, &dst),
            &lastError_))
    return FALSE;
  const HostKind srcKind = KindOf(src.host);
  if (srcKind == HostKind::Missing) {
    lastError_ = MissingError(src);
    return FALSE;
  }
  if (srcKind == HostKind::Directory) {
    lastError_ = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (!ParentExists(dst)) {
    lastError_ = ERROR_PATH_NOT_FOUND;
    return FALSE;
  }
  FileState& state = Files(*this, machineDir_);
  const HostKind dstKind = KindOf(dst.host);
  if (dstKind != HostKind::Missing) {
    if (failIfExists) {
      lastError_ = ERROR_FILE_EXISTS;
      return FALSE;
    }
    if (dstKind == HostKind::Directory ||
        (state.Stored(dst.key, false) & FILE_ATTRIBUTE_READONLY)) {
      lastError_ = ERROR_ACCESS_DENIED;
      return FALSE;
    }
    if (IsFileInUse(dst.win) || src.key == dst.key) {
      lastError_ = ERROR_SHARING_VIOLATION;
      return FALSE;
    }
  }
  std::error_code ec;
  const bool placeholder = state.IsPlaceholder(src.key);
  const bool copied = placeholder ? CopyPlaceholder(src.host, dst.host)
                                  : CopyHostFile(src.host, dst.host);
  if (!copied) {
    lastError_ = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (placeholder)
    fs::last_write_time(dst.host, fs::last_write_time(src.host, ec), ec);
  // The copy takes the source's attributes, read-only included, and is a
  // placeholder when the source is one.
  const DWORD bits = state.Stored(src.key, false) | FILE_ATTRIBUTE_ARCHIVE;
  state.Forget(dst.key);
  if (bits != FILE_ATTRIBUTE_ARCHIVE) state.attributes[dst.key] = bits;
  if (placeholder) state.placeholders.insert(dst.key);
  state.Save(machineDir_);
  return TRUE;
}

BOOL SimPlatform::DeleteFileA(LPCSTR path) {
  if (Enter("DeleteFileA", ArgText(path))) return FALSE;
  ResolvedPath p;
  HostKind kind;
  if (Fails(ResolveExisting(machineDir_, codePage_, path, &p, &kind),
            &lastError_))
    return FALSE;
  FileState& state = Files(*this, machineDir_);
  if (kind == HostKind::Directory ||
      (state.Stored(p.key, false) & FILE_ATTRIBUTE_READONLY)) {
    lastError_ = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (IsFileInUse(p.win)) {
    lastError_ = ERROR_SHARING_VIOLATION;
    return FALSE;
  }
  return RemoveFromHost(state, machineDir_, p, false, &lastError_);
}

BOOL SimPlatform::MoveFileA(LPCSTR from, LPCSTR to) {
  if (Enter("MoveFileA", ArgText(from) + ", " + ArgText(to))) return FALSE;
  ResolvedPath src, dst;
  if (Fails(ResolveArgs(machineDir_, codePage_, from, to, &src, &dst),
            &lastError_))
    return FALSE;
  if (KindOf(src.host) == HostKind::Missing) {
    lastError_ = MissingError(src);
    return FALSE;
  }
  if (src.isRoot || dst.isRoot) {
    lastError_ = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  std::string target = dst.host;
  if (src.key == dst.key) {
    // Only the spelling changes: rename to the name as given.
    target = src.host.substr(0, src.host.rfind('/') + 1) + dst.name;
  } else if (KindOf(dst.host) != HostKind::Missing) {
    lastError_ = ERROR_ALREADY_EXISTS;
    return FALSE;
  } else if (!ParentExists(dst)) {
    lastError_ = ERROR_PATH_NOT_FOUND;
    return FALSE;
  }
  if (IsFileInUse(src.win)) {
    lastError_ = ERROR_SHARING_VIOLATION;
    return FALSE;
  }
  // A folder cannot move into itself.
  if (dst.key.compare(0, src.key.size() + 1, src.key + "\\") == 0) {
    lastError_ = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (::rename(src.host.c_str(), target.c_str()) != 0) {
    lastError_ = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  FileState& state = Files(*this, machineDir_);
  state.Rename(src.key, dst.key);
  state.Save(machineDir_);
  return TRUE;
}

DWORD SimPlatform::GetFileAttributesA(LPCSTR path) {
  if (Enter("GetFileAttributesA", ArgText(path)))
    return INVALID_FILE_ATTRIBUTES;
  ResolvedPath p;
  HostKind kind;
  if (Fails(ResolveExisting(machineDir_, codePage_, path, &p, &kind),
            &lastError_))
    return INVALID_FILE_ATTRIBUTES;
  const bool dir = kind == HostKind::Directory;
  const DWORD bits = Files(*this, machineDir_).Stored(p.key, dir);
  if (dir) return bits | FILE_ATTRIBUTE_DIRECTORY;
  return bits ? bits : FILE_ATTRIBUTE_NORMAL;
}

BOOL SimPlatform::SetFileAttributesA(LPCSTR path, DWORD attributes) {
  if (Enter("SetFileAttributesA", ArgText(path) + ", " + HexText(attributes)))
    return FALSE;
  ResolvedPath p;
  if (Fails(ResolveArg(machineDir_, codePage_, path, &p), &lastError_))
    return FALSE;
  if (KindOf(p.host) == HostKind::Missing) {
    lastError_ = MissingError(p);
    return FALSE;
  }
  FileState& state = Files(*this, machineDir_);
  state.attributes[p.key] = attributes & kKeptAttributes;
  state.Save(machineDir_);
  return TRUE;
}

BOOL SimPlatform::CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
  if (Enter("CreateDirectoryA", ArgText(path))) return FALSE;
  ResolvedPath p;
  if (Fails(ResolveArg(machineDir_, codePage_, path, &p), &lastError_))
    return FALSE;
  if (p.isRoot || KindOf(p.host) != HostKind::Missing) {
    lastError_ = ERROR_ALREADY_EXISTS;
    return FALSE;
  }
  if (!ParentExists(p)) {
    lastError_ = ERROR_PATH_NOT_FOUND;
    return FALSE;
  }
  if (::mkdir(p.host.c_str(), 0755) != 0) {
    lastError_ = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  return TRUE;
}

BOOL SimPlatform::RemoveDirectoryA(LPCSTR path) {
  if (Enter("RemoveDirectoryA", ArgText(path))) return FALSE;
  ResolvedPath p;
  HostKind kind;
  if (Fails(ResolveExisting(machineDir_, codePage_, path, &p, &kind),
            &lastError_))
    return FALSE;
  if (kind != HostKind::Directory) {
    lastError_ = KV_ERROR_DIRECTORY;
    return FALSE;
  }
  FileState& state = Files(*this, machineDir_);
  if (p.isRoot || (state.Stored(p.key, true) & FILE_ATTRIBUTE_READONLY)) {
    lastError_ = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  std::error_code ec;
  if (!fs::is_empty(p.host, ec)) {
    lastError_ = ERROR_DIR_NOT_EMPTY;
    return FALSE;
  }
  return RemoveFromHost(state, machineDir_, p, true, &lastError_);
}

namespace {

// The Win32 answer of a call that fills a string buffer: the length stored,
// or the size needed (terminator included) when `size` is too small.
DWORD StoreText(const std::string& text, LPSTR out, DWORD size) {
  if (!out || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(out, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

}  // namespace

DWORD SimPlatform::GetFullPathNameA(LPCSTR path, DWORD size, LPSTR out,
                                    LPSTR* filePart) {
  if (Enter("GetFullPathNameA", ArgText(path) + ", " + std::to_string(size)))
    return 0;
  if (filePart) *filePart = nullptr;
  if (!path) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return 0;
  }
  std::string rest = path;
  if (rest.empty()) {
    lastError_ = ERROR_INVALID_NAME;
    return 0;
  }
  // The prefix that ".." never climbs above; the current folder is C:\ on
  // every drive of this machine.
  std::string root;
  if (rest.size() >= 2 && IsSeparator(rest[0]) && IsSeparator(rest[1])) {
    // \\server\share stays the root of a network name.
    std::vector<std::string> names =
        SplitAtSeparators(rest.substr(2), codePage_);
    const size_t taken = std::min<size_t>(names.size(), 2);
    for (size_t i = 0; i < taken; ++i) root += "\\" + names[i];
    root.insert(0, "\\");
    std::string after;
    for (size_t i = taken; i < names.size(); ++i)
      after += (i > taken ? "\\" : "") + names[i];
    rest = after;
  } else if (rest.size() >= 2 && rest[1] == ':') {
    root = std::string(1, UpperAscii(rest[0])) + ":";
    rest = rest.substr(2);
  } else {
    root = "C:";
  }
  std::vector<std::string> parts;
  for (const std::string& c : SplitAtSeparators(rest, codePage_)) {
    if (c.empty() || c == ".") continue;
    if (c == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(c);
  }
  std::string full = root;
  for (const auto& c : parts) full += "\\" + c;
  const bool trailing = !parts.empty() && !rest.empty() &&
                        LastSeparator(rest, codePage_) == rest.size() - 1;
  if (parts.empty() || trailing) full += "\\";
  const DWORD n = StoreText(full, out, size);
  if (n == full.size() && filePart && !parts.empty() && !trailing)
    *filePart = out + full.size() - parts.back().size();
  return n;
}

DWORD SimPlatform::GetShortPathNameA(LPCSTR path, LPSTR out, DWORD size) {
  if (Enter("GetShortPathNameA", ArgText(path) + ", " + std::to_string(size)))
    return 0;
  ResolvedPath p;
  HostKind kind;
  if (Fails(ResolveExisting(machineDir_, codePage_, path, &p, &kind),
            &lastError_))
    return 0;
  // This drive keeps no 8.3 aliases (as NTFS with their creation turned
  // off): every component stays as it is on disk.
  std::string shortPath = p.win;
  const std::string given = path;
  if (!p.isRoot && LastSeparator(given, codePage_) == given.size() - 1)
    shortPath += "\\";
  return StoreText(shortPath, out, size);
}

}  // namespace kv::sim
