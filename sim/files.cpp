// The simulated machine's drive C: a sandbox folder whose names are matched
// without regard to case, with Windows' attributes, files held open by other
// processes, and Windows' error codes for the file operations.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <unordered_map>

#include "sim/file_paths.h"
#include "sim/processes.h"
#include "sim/threads.h"
#include "sim/sim_internal.h"

namespace kv::sim {

namespace fs = std::filesystem;

namespace {

const DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Characters Windows refuses in a file name (wildcards are names only to
// FindFirstFile, which resolves its folder and matches the last part itself).
bool ValidComponent(const std::string& c) {
  for (unsigned char ch : c) {
    if (ch < 0x20 || std::strchr("<>:\"|*?", ch)) return false;
  }
  return true;
}

std::string DriveRoot(const std::string& machineDir) {
  return machineDir + "/drive_c";
}

// The entry of `dir` whose name equals `name` without regard to case.
bool FindEntry(const std::string& dir, const std::string& name,
               std::string* found, bool* isLink) {
  // Most names come spelled as they are on disk: one lstat instead of
  // reading the whole folder.
  struct stat st;
  if (lstat((dir + "/" + name).c_str(), &st) == 0) {
    *found = name;
    *isLink = S_ISLNK(st.st_mode);
    return true;
  }
  std::error_code ec;
  fs::directory_iterator it(dir, ec), end;
  if (ec) return false;
  for (; it != end; it.increment(ec)) {
    if (ec) return false;
    const std::string entry = it->path().filename().string();
    if (EqualNoCase(entry, name)) {
      *found = entry;
      *isLink = it->is_symlink(ec);
      return true;
    }
  }
  return false;
}

// Windows FILETIME of a host time.
FILETIME ToFileTime(const struct timespec& t) {
  const unsigned long long ticks =
      (static_cast<unsigned long long>(t.tv_sec) + 11644473600ull) * 10000000ull +
      static_cast<unsigned long long>(t.tv_nsec) / 100;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

// '*' any run, '?' one character, both without regard to case; "x.*" also
// matches "x" as it does on Windows.
bool WildMatch(const char* p, const char* s) {
  if (*p == 0) return *s == 0;
  if (*p == '*') {
    for (const char* t = s;; ++t) {
      if (WildMatch(p + 1, t)) return true;
      if (*t == 0) return false;
    }
  }
  if (*s == 0) return false;
  if (*p != '?' && UpperAscii(*p) != UpperAscii(*s)) return false;
  return WildMatch(p + 1, s + 1);
}

bool NameMatches(const std::string& pattern, const std::string& name) {
  if (pattern == "*.*") return true;
  if (WildMatch(pattern.c_str(), name.c_str())) return true;
  if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0)
    return WildMatch(pattern.substr(0, pattern.size() - 2).c_str(),
                     name.c_str());
  return false;
}

bool WriteHostFile(const std::string& host, const std::string& content) {
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return static_cast<bool>(out);
}

std::string PathText(LPCSTR p) { return ArgText(p); }

// Windows folder paths already resolved to their spelling on disk, keyed by
// machine folder and upper-cased path. An entry is used only while its host
// path is still a folder (one lstat instead of one per component); a folder
// removed or re-created in another case is resolved again.
class FolderCache {
 public:
  static FolderCache& Get() {
    static FolderCache cache;
    return cache;
  }
  bool Find(const std::string& key, std::string* host, std::string* win) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(key);
    if (it == entries_.end()) return false;
    struct stat st;
    if (lstat(it->second.host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      entries_.erase(it);
      return false;
    }
    *host = it->second.host;
    *win = it->second.win;
    return true;
  }
  void Store(const std::string& key, const std::string& host,
             const std::string& win) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Bounded: a long-running process walking many trees keeps the recent.
    if (entries_.size() >= kMaxEntries) entries_.clear();
    entries_[key] = Entry{host, win};
  }

 private:
  static constexpr size_t kMaxEntries = 64;
  struct Entry {
    std::string host, win;
  };
  std::mutex mutex_;
  std::unordered_map<std::string, Entry> entries_;
};

}  // namespace

// ---- Paths ------------------------------------------------------------------

ResolvedPath ResolveWinPath(const std::string& machineDir,
                            const std::string& winPath) {
  ResolvedPath r;
  if (winPath.empty()) {
    r.error = ERROR_PATH_NOT_FOUND;
    return r;
  }
  if (winPath.size() >= MAX_PATH) {
    r.error = ERROR_FILENAME_EXCED_RANGE;
    return r;
  }
  std::string rest = winPath;
  if (rest.size() >= 2 && rest[1] == ':') {
    if (UpperAscii(rest[0]) != 'C') {
      r.error = ERROR_PATH_NOT_FOUND;
      return r;
    }
    rest = rest.substr(2);  // "C:x" is relative to C:'s current folder, C:\ .
  } else if (rest.size() >= 2 && IsSeparator(rest[0]) && IsSeparator(rest[1])) {
    r.error = ERROR_PATH_NOT_FOUND;  // a network name
    return r;
  }
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = start;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    std::string c = rest.substr(start, end - start);
    start = end + 1;
    if (c.empty() || c == ".") continue;
    if (c == "..") {
      if (parts.empty()) {
        r.error = ERROR_PATH_NOT_FOUND;  // would leave C:\ (and the sandbox)
        return r;
      }
      parts.pop_back();
      continue;
    }
    // Windows drops trailing dots and blanks of a name.
    while (!c.empty() && (c.back() == '.' || c.back() == ' ')) c.pop_back();
    if (c.empty()) continue;
    if (!ValidComponent(c)) {
      r.error = ERROR_INVALID_NAME;
      return r;
    }
    parts.push_back(c);
  }
  r.host = DriveRoot(machineDir);
  r.win = "C:";
  bool onDisk = true;
  // The folder holding the last component is usually one resolved a moment
  // ago (a tree copy resolves every file of a folder against it): take its
  // spelling from the cache when it is still a folder on disk.
  const size_t folderParts = parts.empty() ? 0 : parts.size() - 1;
  std::string folderKey;
  size_t next = 0;
  if (folderParts > 0) {
    folderKey = machineDir + '|';
    for (size_t i = 0; i < folderParts; ++i)
      folderKey += UpperAscii("\\" + parts[i]);
    if (FolderCache::Get().Find(folderKey, &r.host, &r.win)) next = folderParts;
  }
  for (size_t i = next; i < parts.size(); ++i) {
    if (i == folderParts && folderParts > 0 && next == 0 && onDisk)
      FolderCache::Get().Store(folderKey, r.host, r.win);
    std::string& c = parts[i];
    if (onDisk) {
      std::string found;
      bool link = false;
      if (FindEntry(r.host, c, &found, &link)) {
        if (link) {
          // Nothing on a simulated drive is a link; one that is could lead
          // out of the sandbox.
          r.error = ERROR_ACCESS_DENIED;
          return r;
        }
        c = found;
      } else {
        onDisk = false;
      }
    }
    r.host += "/" + c;
    r.win += "\\" + c;
  }
  r.isRoot = parts.empty();
  if (r.isRoot) r.win += "\\";
  r.name = parts.empty() ? std::string() : parts.back();
  r.key = UpperAscii(r.win);
  return r;
}

HostKind KindOf(const std::string& host) {
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return HostKind::Missing;
  if (S_ISDIR(st.st_mode)) return HostKind::Directory;
  return HostKind::File;
}

bool ParentExists(const ResolvedPath& p) {
  if (p.isRoot) return true;
  const size_t slash = p.host.rfind('/');
  return KindOf(p.host.substr(0, slash)) == HostKind::Directory;
}

// ---- Attribute records ------------------------------------------------------

void FileState::Load(const std::string& machineDir) {
  loaded = true;
  std::ifstream in(machineDir + "/attributes.ini", std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t eq = line.rfind('=');
    if (eq == std::string::npos || line.empty() || line[0] == '[') continue;
    attributes[line.substr(0, eq)] =
        static_cast<DWORD>(std::strtoul(line.c_str() + eq + 1, nullptr, 16)) &
        kKeptAttributes;
  }
}

void FileState::Save(const std::string&) const { dirty = true; }

void FileState::Flush(const std::string& machineDir) const {
  if (!dirty) return;
  dirty = false;
  std::string text = "[attributes]\r\n";
  char hex[16];
  for (const auto& a : attributes) {
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(a.second));
    text += a.first + "=" + hex + "\r\n";
  }
  // Rewriting an unchanged file costs a flush on some file systems (ext4
  // syncs a file truncated and written again), once per file operation.
  if (text == savedText) return;
  if (WriteHostFile(machineDir + "/attributes.ini", text)) savedText = text;
}

DWORD FileState::Stored(const std::string& key, bool directory) const {
  auto it = attributes.find(key);
  if (it != attributes.end()) return it->second;
  return directory ? 0 : FILE_ATTRIBUTE_ARCHIVE;
}

void FileState::Rename(const std::string& from, const std::string& to) {
  std::map<std::string, DWORD> moved;
  for (auto it = attributes.begin(); it != attributes.end();) {
    const std::string& k = it->first;
    if (k == from || (k.size() > from.size() && k.compare(0, from.size(), from) == 0 &&
                      k[from.size()] == '\\')) {
      moved[to + k.substr(from.size())] = it->second;
      it = attributes.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& m : moved) attributes[m.first] = m.second;
}

void FileState::Forget(const std::string& key) { attributes.erase(key); }

FileState& Files(SimPlatform& os, const std::string& machineDir) {
  FileState& f = os.extension<FileState>("files");
  if (!f.loaded) f.Load(machineDir);
  return f;
}

void SimPlatform::FlushFileState() {
  Files(*this, machineDir_).Flush(machineDir_);
}

SimPlatform::FileHandle::~FileHandle() {
  if (fd >= 0) ::close(fd);
}

// ---- Machine layout ---------------------------------------------------------

void SimPlatform::LayOutFiles() {
  const bool nt = !IsWin9x(version_);
  std::vector<std::string> folders = {"WINDOWS", "WINDOWS\\FONTS",
                                      "WINDOWS\\INF"};
  if (nt) {
    const bool nt4 = version_ == WindowsVersion::NT4 ||
                     version_ == WindowsVersion::NT351;
    folders.push_back("WINDOWS\\SYSTEM32");
    folders.push_back("WINDOWS\\SYSTEM32\\spool\\drivers\\w32x86");
    folders.push_back(std::string("WINDOWS\\SYSTEM32\\spool\\drivers\\w32x86\\") +
                      (nt4 ? "2" : "3"));
    folders.push_back("WINDOWS\\SYSTEM32\\spool\\prtprocs\\w32x86");
    folders.push_back("WINDOWS\\SYSTEM32\\spool\\PRINTERS");
  } else {
    // The 9x spooler keeps drivers and print processors in SYSTEM itself.
    folders.push_back("WINDOWS\\SYSTEM");
    folders.push_back("WINDOWS\\SPOOL\\PRINTERS");
  }
  std::error_code ec;
  for (const auto& f : folders) {
    fs::create_directories(ResolveWinPath(machineDir_, "C:\\" + f).host, ec);
  }
  // A saved machine keeps its own profile files.
  const std::string winIni = windowsDir() + "\\win.ini";
  if (KindOf(HostPath(winIni)) == HostKind::Missing) {
    WriteTextFile(winIni,
                  "[windows]\r\n"
                  "load=\r\n"
                  "run=\r\n"
                  "NullPort=None\r\n"
                  "\r\n"
                  "[ports]\r\n"
                  "LPT1:=\r\n"
                  "LPT2:=\r\n"
                  "COM1:=9600,n,8,1,x\r\n"
                  "FILE:=\r\n"
                  "\r\n"
                  "[devices]\r\n"
                  "\r\n"
                  "[PrinterPorts]\r\n");
  }
  const std::string systemIni = windowsDir() + "\\system.ini";
  if (KindOf(HostPath(systemIni)) == HostKind::Missing) {
    WriteTextFile(systemIni,
                  "[boot]\r\n"
                  "shell=Explorer.exe\r\n"
                  "system.drv=system.drv\r\n"
                  "keyboard.drv=keyboard.drv\r\n"
                  "mouse.drv=mouse.drv\r\n"
                  "\r\n"
                  "[boot.description]\r\n"
                  "keyboard.typ=Standard 101/102-Key or Microsoft Natural "
                  "Keyboard\r\n"
                  "system.drv=Standard PC\r\n"
                  "\r\n"
                  "[386Enh]\r\n"
                  "\r\n"
                  "[drivers]\r\n");
  }
}

std::string SimPlatform::windowsDir() const { return "C:\\WINDOWS"; }

std::string SimPlatform::systemDir() const {
  return IsWin9x(version_) ? "C:\\WINDOWS\\SYSTEM" : "C:\\WINDOWS\\SYSTEM32";
}

std::string SimPlatform::HostPath(const std::string& winPath) const {
  ResolvedPath p = ResolveWinPath(machineDir_, winPath);
  return p.error ? std::string() : p.host;
}

void SimPlatform::SetFileInUse(const std::string& winPath, bool inUse) {
  ResolvedPath p = ResolveWinPath(machineDir_, winPath);
  if (p.error) return;
  if (inUse)
    filesInUse_.insert(p.key);
  else
    filesInUse_.erase(p.key);
}

bool SimPlatform::IsFileInUse(const std::string& winPath) const {
  ResolvedPath p = ResolveWinPath(machineDir_, winPath);
  if (p.error) return false;
  if (filesInUse_.count(p.key)) return true;
  for (const auto& f : files_)
    if (f.second->key == p.key) return true;
  return false;
}

bool SimPlatform::WriteTextFile(const std::string& winPath,
                                const std::string& content) {
  ResolvedPath p = ResolveWinPath(machineDir_, winPath);
  if (p.error || p.isRoot) return false;
  std::error_code ec;
  fs::create_directories(fs::path(p.host).parent_path(), ec);
  return WriteHostFile(p.host, content);
}

bool SimPlatform::ReadTextFile(const std::string& winPath,
                               std::string* content) const {
  ResolvedPath p = ResolveWinPath(machineDir_, winPath);
  if (p.error || KindOf(p.host) != HostKind::File) return false;
  std::ifstream in(p.host, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  *content = all.str();
  return static_cast<bool>(in);
}

// ---- Folders ----------------------------------------------------------------

namespace {
UINT CopyDirText(const std::string& dir, LPSTR out, UINT size) {
  const UINT len = static_cast<UINT>(dir.size());
  if (!out || size <= len) return len + 1;  // size needed, terminator included
  std::memcpy(out, dir.c_str(), len + 1);
  return len;
}
}  // namespace

UINT SimPlatform::GetWindowsDirectoryA(LPSTR out, UINT size) {
  if (Enter("GetWindowsDirectoryA", std::to_string(size))) return 0;
  return CopyDirText(windowsDir(), out, size);
}

UINT SimPlatform::GetSystemDirectoryA(LPSTR out, UINT size) {
  if (Enter("GetSystemDirectoryA", std::to_string(size))) return 0;
  return CopyDirText(systemDir(), out, size);
}

// ---- Files ------------------------------------------------------------------

namespace {
// Why a path that names nothing cannot be opened: the file or the folder.
DWORD MissingError(const ResolvedPath& p) {
  return ParentExists(p) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// A path argument resolved; the error to fail with, or 0.
DWORD ResolveArg(const std::string& machineDir, LPCSTR path,
                 ResolvedPath* out) {
  if (!path) return ERROR_INVALID_PARAMETER;
  *out = ResolveWinPath(machineDir, path);
  return out->error;
}

// The same for a path that must name something on disk; `kind` tells what.
DWORD ResolveExisting(const std::string& machineDir, LPCSTR path,
                      ResolvedPath* out, HostKind* kind) {
  if (DWORD e = ResolveArg(machineDir, path, out)) return e;
  *kind = KindOf(out->host);
  return *kind == HostKind::Missing ? MissingError(*out) : 0;
}

// The same for a source and a target; neither may be missing.
DWORD ResolveArgs(const std::string& machineDir, LPCSTR from, LPCSTR to,
                  ResolvedPath* src, ResolvedPath* dst) {
  if (!from || !to) return ERROR_INVALID_PARAMETER;
  *src = ResolveWinPath(machineDir, from);
  *dst = ResolveWinPath(machineDir, to);
  return src->error ? src->error : dst->error;
}
}  // namespace

BOOL SimPlatform::CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) {
  if (Enter("CopyFileA", PathText(from) + ", " + PathText(to) + ", " +
                             std::to_string(failIfExists)))
    return FALSE;
  ResolvedPath src, dst;
  if (DWORD e = ResolveArgs(machineDir_, from, to, &src, &dst)) {
    lastError_ = e;
    return FALSE;
  }
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
  fs::copy_file(src.host, dst.host, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    lastError_ = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  fs::last_write_time(dst.host, fs::last_write_time(src.host, ec), ec);
  // The copy takes the source's attributes, read-only included.
  const DWORD bits = state.Stored(src.key, false) | FILE_ATTRIBUTE_ARCHIVE;
  if (bits == FILE_ATTRIBUTE_ARCHIVE)
    state.Forget(dst.key);
  else
    state.attributes[dst.key] = bits;
  state.Save(machineDir_);
  return TRUE;
}

BOOL SimPlatform::DeleteFileA(LPCSTR path) {
  if (Enter("DeleteFileA", PathText(path))) return FALSE;
  ResolvedPath p;
  HostKind kind;
  if (DWORD e = ResolveExisting(machineDir_, path, &p, &kind)) {
    lastError_ = e;
    return FALSE;
  }
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
  if (::unlink(p.host.c_str()) != 0) {
    lastError_ = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (state.attributes.count(p.key)) {
    state.Forget(p.key);
    state.Save(machineDir_);
  }
  return TRUE;
}

BOOL SimPlatform::MoveFileA(LPCSTR from, LPCSTR to) {
  if (Enter("MoveFileA", PathText(from) + ", " + PathText(to))) return FALSE;
  ResolvedPath src, dst;
  if (DWORD e = ResolveArgs(machineDir_, from, to, &src, &dst)) {
    lastError_ = e;
    return FALSE;
  }
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
    target = src.host.substr(0, src.host.rfind('/') + 1) +
             dst.win.substr(dst.win.rfind('\\') + 1);
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
  if (Enter("GetFileAttributesA", PathText(path))) return INVALID_FILE_ATTRIBUTES;
  ResolvedPath p;
  HostKind kind;
  if (DWORD e = ResolveExisting(machineDir_, path, &p, &kind)) {
    lastError_ = e;
    return INVALID_FILE_ATTRIBUTES;
  }
  const bool dir = kind == HostKind::Directory;
  const DWORD bits = Files(*this, machineDir_).Stored(p.key, dir);
  if (dir) return bits | FILE_ATTRIBUTE_DIRECTORY;
  return bits ? bits : FILE_ATTRIBUTE_NORMAL;
}

BOOL SimPlatform::SetFileAttributesA(LPCSTR path, DWORD attributes) {
  if (Enter("SetFileAttributesA", PathText(path) + ", " + HexText(attributes)))
    return FALSE;
  ResolvedPath p;
  if (DWORD e = ResolveArg(machineDir_, path, &p)) {
    lastError_ = e;
    return FALSE;
  }
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
  if (Enter("CreateDirectoryA", PathText(path))) return FALSE;
  ResolvedPath p;
  if (DWORD e = ResolveArg(machineDir_, path, &p)) {
    lastError_ = e;
    return FALSE;
  }
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
  if (Enter("RemoveDirectoryA", PathText(path))) return FALSE;
  ResolvedPath p;
  HostKind kind;
  if (DWORD e = ResolveExisting(machineDir_, path, &p, &kind)) {
    lastError_ = e;
    return FALSE;
  }
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
  if (::rmdir(p.host.c_str()) != 0) {
    lastError_ = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (state.attributes.count(p.key)) {
    state.Forget(p.key);
    state.Save(machineDir_);
  }
  return TRUE;
}

HANDLE SimPlatform::CreateFileA(LPCSTR path, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES, DWORD creation,
                                DWORD flags, HANDLE) {
  if (Enter("CreateFileA", PathText(path) + ", " + HexText(access) + ", " +
                               HexText(share) + ", " + std::to_string(creation) +
                               ", " + HexText(flags)))
    return INVALID_HANDLE_VALUE;
  if (!path || creation < CREATE_NEW || creation > TRUNCATE_EXISTING) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return INVALID_HANDLE_VALUE;
  }
  ResolvedPath p = ResolveWinPath(machineDir_, path);
  if (p.error) {
    lastError_ = p.error;
    return INVALID_HANDLE_VALUE;
  }
  const HostKind kind = KindOf(p.host);
  if (kind == HostKind::Directory) {
    lastError_ = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  const bool exists = kind == HostKind::File;
  if (!exists) {
    if (!ParentExists(p)) {
      lastError_ = ERROR_PATH_NOT_FOUND;
      return INVALID_HANDLE_VALUE;
    }
    if (creation == OPEN_EXISTING || creation == TRUNCATE_EXISTING) {
      lastError_ = ERROR_FILE_NOT_FOUND;
      return INVALID_HANDLE_VALUE;
    }
  } else if (creation == CREATE_NEW) {
    lastError_ = ERROR_FILE_EXISTS;
    return INVALID_HANDLE_VALUE;
  }
  const bool wantWrite = (access & GENERIC_WRITE) != 0;
  const bool wantRead = (access & GENERIC_READ) != 0;
  const bool truncate =
      exists && (creation == CREATE_ALWAYS || creation == TRUNCATE_EXISTING);
  FileState& state = Files(*this, machineDir_);
  if (exists) {
    if ((wantWrite || truncate) &&
        (state.Stored(p.key, false) & FILE_ATTRIBUTE_READONLY)) {
      lastError_ = ERROR_ACCESS_DENIED;
      return INVALID_HANDLE_VALUE;
    }
    if ((wantWrite || truncate) && filesInUse_.count(p.key)) {
      lastError_ = ERROR_SHARING_VIOLATION;
      return INVALID_HANDLE_VALUE;
    }
  }
  int mode = wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY;
  if (!exists) mode |= O_CREAT;
  if (truncate) mode |= O_TRUNC;
  const int fd = ::open(p.host.c_str(), mode | O_CLOEXEC, 0644);
  if (fd < 0) {
    lastError_ = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  auto file = std::make_unique<FileHandle>();
  file->fd = fd;
  file->key = p.key;
  file->canRead = wantRead;
  file->canWrite = wantWrite;
  if (!exists || truncate) {
    // A new file takes the attributes asked for.
    const DWORD bits = flags & kKeptAttributes;
    if (bits)
      state.attributes[p.key] = bits | FILE_ATTRIBUTE_ARCHIVE;
    else
      state.Forget(p.key);
    state.Save(machineDir_);
  }
  const uintptr_t h = NewHandle();
  files_[h] = std::move(file);
  // Opening or replacing a file that was there says so.
  lastError_ = exists && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS)
                   ? ERROR_ALREADY_EXISTS
                   : ERROR_SUCCESS;
  return reinterpret_cast<HANDLE>(h);
}

SimPlatform::FileHandle* SimPlatform::UsableFile(HANDLE file, bool write,
                                                 const void* buffer,
                                                 DWORD bytes) {
  auto it = files_.find(reinterpret_cast<uintptr_t>(file));
  if (it == files_.end()) {
    lastError_ = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  if (!(write ? it->second->canWrite : it->second->canRead)) {
    lastError_ = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  if (!buffer && bytes) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  return it->second.get();
}

BOOL SimPlatform::ReadFile(HANDLE file, LPVOID buffer, DWORD toRead,
                           LPDWORD read, LPVOID) {
  if (Enter("ReadFile", HexText(reinterpret_cast<uintptr_t>(file)) + ", " +
                            std::to_string(toRead)))
    return FALSE;
  if (read) *read = 0;
  FileHandle* open = UsableFile(file, false, buffer, toRead);
  if (!open) return FALSE;
  DWORD done = 0;
  while (done < toRead) {
    const ssize_t n =
        ::read(open->fd, static_cast<char*>(buffer) + done, toRead - done);
    if (n < 0) {
      lastError_ = ERROR_ACCESS_DENIED;
      return FALSE;
    }
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  if (read) *read = done;
  return TRUE;
}

BOOL SimPlatform::WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite,
                            LPDWORD written, LPVOID) {
  if (Enter("WriteFile", HexText(reinterpret_cast<uintptr_t>(file)) + ", " +
                             std::to_string(toWrite)))
    return FALSE;
  if (written) *written = 0;
  FileHandle* open = UsableFile(file, true, buffer, toWrite);
  if (!open) return FALSE;
  DWORD done = 0;
  while (done < toWrite) {
    const ssize_t n = ::write(open->fd, static_cast<const char*>(buffer) + done,
                              toWrite - done);
    if (n <= 0) {
      lastError_ = ERROR_HANDLE_DISK_FULL;
      if (written) *written = done;
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (written) *written = done;
  return TRUE;
}

DWORD SimPlatform::GetFileSize(HANDLE file, LPDWORD high) {
  if (Enter("GetFileSize", HexText(reinterpret_cast<uintptr_t>(file))))
    return 0xFFFFFFFFu;
  auto it = files_.find(reinterpret_cast<uintptr_t>(file));
  struct stat st;
  if (it == files_.end() || ::fstat(it->second->fd, &st) != 0) {
    lastError_ = ERROR_INVALID_HANDLE;
    return 0xFFFFFFFFu;
  }
  const unsigned long long size = static_cast<unsigned long long>(st.st_size);
  if (high) *high = static_cast<DWORD>(size >> 32);
  lastError_ = ERROR_SUCCESS;  // tells a size of 0xFFFFFFFF from a failure
  return static_cast<DWORD>(size);
}

BOOL SimPlatform::CloseHandle(HANDLE handle) {
  if (Enter("CloseHandle", HexText(reinterpret_cast<uintptr_t>(handle))))
    return FALSE;
  if (files_.erase(reinterpret_cast<uintptr_t>(handle))) return TRUE;
  if (CloseProcessHandle(*this, handle)) return TRUE;
  if (CloseThreadHandle(*this, handle)) return TRUE;
  lastError_ = ERROR_INVALID_HANDLE;
  return FALSE;
}

// ---- Directory searches -----------------------------------------------------

HANDLE SimPlatform::FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
  if (Enter("FindFirstFileA", PathText(pattern))) return INVALID_HANDLE_VALUE;
  if (!pattern || !data) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return INVALID_HANDLE_VALUE;
  }
  std::string text = pattern;
  size_t cut = text.find_last_of("\\/");
  std::string dirPart, namePart;
  if (cut == std::string::npos) {
    const bool drive = text.size() >= 2 && text[1] == ':';
    dirPart = drive ? text.substr(0, 2) + "\\" : "C:\\";
    namePart = drive ? text.substr(2) : text;
  } else {
    dirPart = text.substr(0, cut + 1);
    namePart = text.substr(cut + 1);
  }
  ResolvedPath dir = ResolveWinPath(machineDir_, dirPart);
  if (dir.error) {
    lastError_ = dir.error;
    return INVALID_HANDLE_VALUE;
  }
  if (KindOf(dir.host) != HostKind::Directory) {
    lastError_ = ERROR_PATH_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  if (namePart.empty() || namePart.find_first_of("<>:\"|") != std::string::npos) {
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
          dir.key + (dir.isRoot ? "" : "\\") + UpperAscii(name);
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
      if (NameMatches(namePart, dots))
        find.entries.push_back(entryOf(dots, dir.host));
  }
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir.host, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (NameMatches(namePart, name)) names.push_back(name);
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

// ---- Disk space -------------------------------------------------------------

namespace {
// Whether `root` names drive C: (null is the current drive, C:).
bool IsDriveC(LPCSTR root) {
  if (!root) return true;
  const std::string r = root;
  if (r.empty()) return false;
  if (IsSeparator(r[0])) return r.size() == 1;
  return r.size() >= 2 && UpperAscii(r[0]) == 'C' && r[1] == ':';
}
}  // namespace

BOOL SimPlatform::GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster,
                                    LPDWORD bytesPerSector,
                                    LPDWORD freeClusters,
                                    LPDWORD totalClusters) {
  if (Enter("GetDiskFreeSpaceA", PathText(root))) return FALSE;
  if (!IsDriveC(root)) {
    lastError_ = ERROR_PATH_NOT_FOUND;
    return FALSE;
  }
  // 9x reports 32 KB clusters and at most 2 GB (65535 clusters), so that old
  // callers multiplying in 32 bits don't overflow; NT reports 4 KB clusters.
  const bool win9x = IsWin9x(version_);
  const DWORD spc = win9x ? 64 : 8;
  const unsigned long long cluster = spc * 512ull;
  const unsigned long long limit = win9x ? 65535ull : 0xFFFFFFFFull;
  if (sectorsPerCluster) *sectorsPerCluster = spc;
  if (bytesPerSector) *bytesPerSector = 512;
  if (freeClusters)
    *freeClusters = static_cast<DWORD>(std::min(diskFree_ / cluster, limit));
  if (totalClusters)
    *totalClusters = static_cast<DWORD>(std::min(diskTotal_ / cluster, limit));
  return TRUE;
}

BOOL SimPlatform::GetDiskFreeSpaceExA(LPCSTR dir, PULARGE_INTEGER freeToCaller,
                                      PULARGE_INTEGER total,
                                      PULARGE_INTEGER totalFree) {
  if (Enter("GetDiskFreeSpaceExA", PathText(dir))) return FALSE;
  if (version_ == WindowsVersion::Win95) {
    // Not in the first Windows 95 kernel: the caller's run-time lookup fails.
    lastError_ = ERROR_CALL_NOT_IMPLEMENTED;
    return FALSE;
  }
  if (dir) {
    ResolvedPath p = ResolveWinPath(machineDir_, dir);
    if (p.error || KindOf(p.host) != HostKind::Directory) {
      lastError_ = p.error ? p.error : ERROR_PATH_NOT_FOUND;
      return FALSE;
    }
  }
  if (freeToCaller) freeToCaller->QuadPart = diskFree_;
  if (total) total->QuadPart = diskTotal_;
  if (totalFree) totalFree->QuadPart = diskFree_;
  return TRUE;
}

}  // namespace kv::sim
