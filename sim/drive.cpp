// Drive C: as a whole: the attribute records Windows keeps and the host does
// not, the layout of a fresh machine, the test access to its files, the
// folder queries and the disk space.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/file_paths.h"
#include "sim/host_files.h"
#include "sim/sim_internal.h"

namespace kv::sim {

namespace fs = std::filesystem;

// ---- Attribute records ------------------------------------------------------

bool FileState::Load(const std::string& machineDir) {
  loaded = true;
  std::string text;
  const HostRead read =
      ReadHostFile(machineDir + "/attributes.ini", kAttributesFileLimit, &text);
  if (read != HostRead::Ok) return read == HostRead::Missing;
  std::istringstream in(text);
  std::string line;
  bool placeholderSection = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line[0] == '[') {
      placeholderSection = line == "[placeholders]";
      continue;
    }
    // A placeholder line is its key alone: a file name may hold '='.
    if (placeholderSection) {
      placeholders.insert(line);
      continue;
    }
    const size_t eq = line.rfind('=');
    if (eq == std::string::npos) continue;
    attributes[line.substr(0, eq)] =
        static_cast<DWORD>(std::strtoul(line.c_str() + eq + 1, nullptr, 16)) &
        kKeptAttributes;
  }
  return true;
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
  // Written only when there are any, so a machine without placeholders
  // keeps the file it always had.
  if (!placeholders.empty()) {
    text += "\r\n[placeholders]\r\n";
    for (const auto& p : placeholders) text += p + "\r\n";
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

namespace {

// Whether `key` is `top` or lies below it.
bool AtOrBelow(const std::string& key, const std::string& top) {
  return key.compare(0, top.size(), top) == 0 &&
         (key.size() == top.size() || key[top.size()] == '\\');
}

}  // namespace

void FileState::Rename(const std::string& from, const std::string& to) {
  std::map<std::string, DWORD> moved;
  for (auto it = attributes.begin(); it != attributes.end();) {
    if (AtOrBelow(it->first, from)) {
      moved[to + it->first.substr(from.size())] = it->second;
      it = attributes.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& m : moved) attributes[m.first] = m.second;
  std::set<std::string> movedMarks;
  for (auto it = placeholders.begin(); it != placeholders.end();) {
    if (AtOrBelow(*it, from)) {
      movedMarks.insert(to + it->substr(from.size()));
      it = placeholders.erase(it);
    } else {
      ++it;
    }
  }
  placeholders.insert(movedMarks.begin(), movedMarks.end());
}

bool FileState::Forget(const std::string& key) {
  const size_t attributeRecords = attributes.erase(key);
  return attributeRecords + placeholders.erase(key) != 0;
}

FileState& Files(SimPlatform& os, const std::string& machineDir) {
  FileState& f = os.extension<FileState>("files");
  if (!f.loaded) f.Load(machineDir);
  return f;
}

void SimPlatform::FlushFileState() {
  Files(*this, machineDir_).Flush(machineDir_);
}

// ---- Machine layout ---------------------------------------------------------

void SimPlatform::LayOutFiles() {
  // A saved machine's drive is its own: a folder its scripts deleted (or a
  // captured machine never had) does not come back.
  std::error_code exists;
  if (fs::exists(machineDir_ + "/machine.ini", exists)) return;
  const bool nt = !IsWin9x(version_);
  std::vector<std::string> folders = {"WINDOWS", "WINDOWS\\FONTS",
                                      "WINDOWS\\INF"};
  if (nt) {
    const bool nt4 =
        version_ == WindowsVersion::NT4 || version_ == WindowsVersion::NT351;
    folders.push_back("WINDOWS\\SYSTEM32");
    // Kernel drivers' folder, which every NT installation has.
    folders.push_back("WINDOWS\\SYSTEM32\\drivers");
    folders.push_back("WINDOWS\\SYSTEM32\\spool\\drivers\\w32x86");
    folders.push_back(
        std::string("WINDOWS\\SYSTEM32\\spool\\drivers\\w32x86\\") +
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
    fs::create_directories(
        ResolveWinPath(machineDir_, "C:\\" + f, codePage_).host, ec);
  }
  if (!appDataDir().empty())
    fs::create_directories(
        ResolveWinPath(machineDir_, appDataDir(), codePage_).host, ec);
  // A saved machine keeps its own profile files.
  auto writeIfMissing = [this](const std::string& winPath, const char* text) {
    if (KindOf(HostPath(winPath)) == HostKind::Missing)
      WriteTextFile(winPath, text);
  };
  writeIfMissing(windowsDir() + "\\win.ini",
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
  writeIfMissing(windowsDir() + "\\system.ini",
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

std::string SimPlatform::windowsDir() const {
  return windowsDir_.empty() ? "C:\\WINDOWS" : windowsDir_;
}

std::string SimPlatform::systemDir() const {
  if (!systemDir_.empty()) return systemDir_;
  return IsWin9x(version_) ? "C:\\WINDOWS\\SYSTEM" : "C:\\WINDOWS\\SYSTEM32";
}

void SimPlatform::SetDirectories(const std::string& windows,
                                 const std::string& system) {
  windowsDir_ = windows;
  systemDir_ = system;
}

std::string SimPlatform::appDataDir() const {
  // An administrator installs drivers; NT 4.0 keeps profiles below the
  // Windows directory, 2000 and later in their own folder.
  if (version_ == WindowsVersion::Win32s) return std::string();
  if (IsWin9x(version_)) return windowsDir() + "\\Application Data";
  if (version_ == WindowsVersion::NT4 || version_ == WindowsVersion::NT351)
    return windowsDir() + "\\Profiles\\Administrator\\Application Data";
  if (IsVistaOrLater(version_))
    return "C:\\Users\\Administrator\\AppData\\Roaming";
  return "C:\\Documents and Settings\\Administrator\\Application Data";
}

std::string SimPlatform::HostPath(const std::string& winPath) const {
  ResolvedPath p = ResolveWinPath(machineDir_, winPath, codePage_);
  return p.error ? std::string() : p.host;
}

void SimPlatform::SetFileInUse(const std::string& winPath, bool inUse) {
  ResolvedPath p = ResolveWinPath(machineDir_, winPath, codePage_);
  if (p.error) return;
  if (inUse)
    filesInUse_.insert(p.key);
  else
    filesInUse_.erase(p.key);
}

bool SimPlatform::IsFileInUse(const std::string& winPath) const {
  ResolvedPath p = ResolveWinPath(machineDir_, winPath, codePage_);
  if (p.error) return false;
  if (filesInUse_.count(p.key)) return true;
  for (const auto& f : files_)
    if (f.second->key == p.key) return true;
  return false;
}

void SimPlatform::MarkPlaceholder(const std::string& winPath) {
  ResolvedPath p = ResolveWinPath(machineDir_, winPath, codePage_);
  if (p.error || KindOf(p.host) != HostKind::File) return;
  FileState& state = Files(*this, machineDir_);
  if (state.placeholders.insert(p.key).second) state.Save(machineDir_);
}

void SimPlatform::RecordMadeFile(const std::string& key, DWORD attributes,
                                 bool placeholder) {
  FileState& state = Files(*this, machineDir_);
  state.attributes[key] = attributes & kKeptAttributes;
  if (placeholder) state.placeholders.insert(key);
  state.Save(machineDir_);
}

bool SimPlatform::IsPlaceholder(const std::string& winPath) const {
  ResolvedPath p = ResolveWinPath(machineDir_, winPath, codePage_);
  // Reading the records in on first use changes nothing a caller sees.
  return !p.error && Files(const_cast<SimPlatform&>(*this), machineDir_)
                         .IsPlaceholder(p.key);
}

bool SimPlatform::WriteTextFile(const std::string& winPath,
                                const std::string& content) {
  ResolvedPath p = ResolveWinPath(machineDir_, winPath, codePage_);
  if (p.error || p.isRoot) return false;
  std::error_code ec;
  fs::create_directories(fs::path(p.host).parent_path(), ec);
  // Only an existing file can be a placeholder: a fresh machine's layout
  // writes its files without reading the records in.
  const bool existed = KindOf(p.host) == HostKind::File;
  if (!WriteHostFile(p.host, content)) return false;
  // Content written over a placeholder is known: the file is ordinary now.
  FileState* state = existed ? &Files(*this, machineDir_) : nullptr;
  if (state && state->placeholders.erase(p.key)) state->Save(machineDir_);
  return true;
}

bool SimPlatform::ReadTextFile(const std::string& winPath,
                               std::string* content) const {
  ResolvedPath p = ResolveWinPath(machineDir_, winPath, codePage_);
  if (p.error || KindOf(p.host) != HostKind::File) return false;
  return ReadHostFile(p.host, kProfileFileLimit, content) == HostRead::Ok;
}

// ---- Copies from this computer ----------------------------------------------

namespace {
// The Windows name of a host path below a copied folder.
std::string WinRelative(const fs::path& relative) {
  std::string out;
  for (const auto& part : relative) {
    if (!out.empty()) out += '\\';
    out += part.string();
  }
  return out;
}
}  // namespace

bool SimPlatform::PlaceFolder(const std::string& winPath, std::string* why) {
  const ResolvedPath p = ResolveWinPath(machineDir_, winPath, codePage_);
  if (p.error) {
    *why = winPath + " is no path the machine may use (error " +
           std::to_string(p.error) + ")";
    return false;
  }
  const HostKind kind = KindOf(p.host);
  if (kind == HostKind::Directory) return true;
  if (kind != HostKind::Missing) {
    *why = winPath + " is a file, not a folder";
    return false;
  }
  if (!p.isRoot && !ParentExists(p)) {
    const size_t slash = LastSeparator(p.win, codePage_);
    if (slash == std::string::npos || !PlaceFolder(p.win.substr(0, slash), why))
      return false;
  }
  // The parent was resolved afresh above, so the name made is the one
  // checked.
  const ResolvedPath again = ResolveWinPath(machineDir_, winPath, codePage_);
  if (again.error || ::mkdir(again.host.c_str(), 0755) != 0) {
    *why = "cannot make the folder " + winPath;
    return false;
  }
  return true;
}

bool SimPlatform::PlaceHostFile(const std::string& hostPath,
                                const std::string& winPath, std::string* why) {
  const size_t slash = LastSeparator(winPath, codePage_);
  if (slash != std::string::npos && slash > 2 &&
      !PlaceFolder(winPath.substr(0, slash), why))
    return false;
  const ResolvedPath p = ResolveWinPath(machineDir_, winPath, codePage_);
  if (p.error || p.isRoot || KindOf(p.host) == HostKind::Directory) {
    *why = winPath + " is no file name the machine may use";
    return false;
  }
  if (!CopyHostFile(hostPath, p.host)) {
    *why = "cannot copy " + hostPath + " to " + winPath +
           " (a link or a file of another kind is never copied)";
    return false;
  }
  FileState& state = Files(*this, machineDir_);
  if (state.placeholders.erase(p.key)) state.Save(machineDir_);
  return true;
}

bool SimPlatform::CopyIn(const std::string& hostPath,
                         const std::string& winPath, std::string* why) {
  std::error_code ec;
  // The path named is the caller's own choice and may be a link; nothing
  // below it is followed.
  const fs::path from = fs::canonical(hostPath, ec);
  if (ec) {
    *why = "cannot copy " + hostPath + ": no such file or folder";
    return false;
  }
  const fs::file_status top = fs::status(from, ec);
  if (fs::is_regular_file(top)) return PlaceHostFile(from, winPath, why);
  if (!fs::is_directory(top)) {
    *why = "cannot copy " + hostPath + ": not a file or folder";
    return false;
  }
  if (!PlaceFolder(winPath, why)) return false;
  for (fs::recursive_directory_iterator it(from, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string target =
        winPath + "\\" + WinRelative(it->path().lexically_relative(from));
    const fs::file_status st = it->symlink_status(ec);
    if (fs::is_directory(st)) {
      if (!PlaceFolder(target, why)) return false;
    } else if (fs::is_regular_file(st)) {
      if (!PlaceHostFile(it->path(), target, why)) return false;
    } else {
      *why = "cannot copy " + it->path().string() +
             ": a link, a FIFO or a device is never copied";
      return false;
    }
  }
  if (ec) {
    *why = "cannot copy " + hostPath + ": " + ec.message();
    return false;
  }
  return true;
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
  if (Enter("GetDiskFreeSpaceA", ArgText(root))) return FALSE;
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
  if (Enter("GetDiskFreeSpaceExA", ArgText(dir))) return FALSE;
  if (version_ == WindowsVersion::Win95) {
    // Not in the first Windows 95 kernel: the caller's run-time lookup fails.
    lastError_ = ERROR_CALL_NOT_IMPLEMENTED;
    return FALSE;
  }
  if (dir) {
    ResolvedPath p = ResolveWinPath(machineDir_, dir, codePage_);
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
