#include "uninstall/removal_guard.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "foundation/diagnostics.h"
#include "foundation/handles.h"
#include "foundation/install_record.h"
#include "foundation/registry.h"
#include "foundation/registry_paths.h"

namespace kv {

namespace {

constexpr char kShellFoldersKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kScannerFolder[] = "\\Korva\\ScannerDriver";

// Where removal may delete registry keys, and how many components below
// the root a deletable key has at least: an enumerator ("Enum\USB") or a
// device class is Windows' own, only a device or an instance below it is
// the installation's.
struct KeyRoot {
  HKEY root;
  const char* path;
  size_t minDepth;
};
const KeyRoot kKeyRoots[] = {
    {HKEY_LOCAL_MACHINE, kEnumKey, 2},
    {HKEY_LOCAL_MACHINE, kClassKey, 2},
    {HKEY_LOCAL_MACHINE, kPrintersKey, 1},
    {HKEY_LOCAL_MACHINE, kMonitorsKey, 1},
    {HKEY_LOCAL_MACHINE, kNt4DriversKey, 1},
    {HKEY_LOCAL_MACHINE, kNt5DriversKey, 1},
    {HKEY_LOCAL_MACHINE, k9xDriversKey, 1},
    {HKEY_LOCAL_MACHINE, kKorvaKey, 1},
    {HKEY_CURRENT_CONFIG, kPrintersKey, 1},
};
// The most sub-keys of one key the tree walk steps over.
constexpr DWORD kMaxSubKeys = 1u << 16;

// The port monitors Windows and its print services bring, and their
// libraries, from Windows 95 to XP.
constexpr const char* kWindowsMonitors[] = {
    "Local Port",
    "Standard TCP/IP Port",
    "LPR Port",
    "USB Monitor",
    "PJL Language Monitor",
    "BJ Language Monitor",
    "AppleTalk Printing Devices",
    "Hewlett-Packard Network Port",
    "Digital Network Port",
    "Windows NT Fax Monitor",
    "Microsoft Shared Fax Monitor",
    "Microsoft Document Imaging Writer Monitor",
    "Infrared Port",
    "Local Monitor"};
constexpr const char* kWindowsMonitorLibraries[] = {
    "localspl.dll", "localmon.dll", "spoolss.dll",  "tcpmon.dll", "lprmon.dll",
    "usbmon.dll",   "pjlmon.dll",   "bjlmon.dll",   "sfmmon.dll", "hpmon.dll",
    "decpsmon.dll", "lprmon2.dll",  "msfaxmon.dll", "fxsmon.dll", "mdimon.dll",
    "irmon.dll",    "spool32.exe",  "spoolss.exe",  "spoolsv.exe"};

// Windows' own port and device drivers' services a setup file may name.
constexpr const char* kWindowsServices[] = {
    "Parport",  "Parallel", "ParVdm", "Parclass", "Serial", "Serenum",
    "usbprint", "usbscan",  "Modem",  "Spooler",  "LPDSVC", "MacPrint",
    "Tcpip",    "Imapi",    "stisvc", "Beep",     "Null",   "i8042prt"};

// The system directory's sub-folders a setup file names files in.
constexpr const char* kSystemSubFolders[] = {"drivers"};

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The components of `path` below `root`, or false when `path` is not
// `root` followed by a separator and components. Separators are whole
// characters: a root ending in a double-byte character whose trail byte is
// 0x5C is still followed by its own separator.
bool ComponentsBelow(Platform& os, const std::string& path,
                     const std::string& root, std::vector<std::string>& parts) {
  if (root.empty() || path.size() <= root.size() + 1 ||
      !text::StartsWithNoCase(os, path, root) || path[root.size()] != '\\')
    return false;
  parts = text::Split(os, path.substr(root.size() + 1), '\\');
  return true;
}

bool IsDeviceName(const std::string& name) {
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = Lower(c);
  static const char* const kDevices[] = {"con",    "prn",    "aux",    "nul",
                                         "clock$", "conin$", "conout$"};
  for (const char* device : kDevices)
    if (stem == device) return true;
  return stem.size() == 4 &&
         (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

std::string ReadDirectory(Context& ctx, bool system) {
  char buffer[MAX_PATH] = {};
  const UINT n = system ? ctx.os.GetSystemDirectoryA(buffer, MAX_PATH)
                        : ctx.os.GetWindowsDirectoryA(buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  // A directory ending in a separator is a drive root (every folder on the
  // drive would be below it): no root removal trusts. A last character whose
  // trail byte is 0x5C is no separator.
  const std::string folder(buffer, n);
  if (text::EndsWith(ctx.os, folder, '\\')) return std::string();
  return folder;
}

std::string DirectoryOf(Context& ctx, bool system) {
  // A folder that could not be read as the removal started is asked for
  // again: the failure may have passed.
  if (const RemovalFolders* f = ctx.removalFolders) {
    const std::string& folder = system ? f->system : f->windows;
    if (!folder.empty()) return folder;
  }
  return ReadDirectory(ctx, system);
}

std::string ReadAppDataFolder(Context& ctx);

bool Refuse(Context& ctx, DWORD error, const char* what,
            const std::string& name) {
  DebugTrace(ctx, "Removal refused %s [%s]\n", what, name.c_str());
  ctx.os.SetLastError(error);
  return false;
}

// Deletes every key below `root`\`path`, deepest first, whatever the
// tree's depth: a walk down one path at a time, without recursion. A key
// that can't be opened or deleted is stepped over (the walk goes on with
// its next sibling), so the walk always ends. The result of opening
// `path` itself.
LONG DeleteSubKeys(Context& ctx, HKEY root, const std::string& path) {
  struct Level {
    std::string path;
    DWORD skip;  // sub-keys stepped over so far
  };
  std::vector<Level> stack = {{path, 0}};
  LONG first = ERROR_SUCCESS;
  while (!stack.empty()) {
    const std::string current = stack.back().path;
    const DWORD skip = stack.back().skip;
    // 255 characters of a double-byte code page take up to 510 bytes.
    char name[2 * kMaxKeyNameLength + 2] = {};
    DWORD size = sizeof name;
    LONG enumerated = ERROR_NO_MORE_ITEMS;
    {
      RegKey key(ctx.os);
      const LONG opened = OpenKey(ctx.os, root, current, key);
      if (stack.size() == 1 && skip == 0) first = opened;
      if (opened != ERROR_SUCCESS && stack.size() == 1) return opened;
      if (opened == ERROR_SUCCESS)
        enumerated = ctx.os.RegEnumKeyExA(key.get(), skip, name, &size, nullptr,
                                          nullptr, nullptr, nullptr);
      else
        enumerated = ERROR_ACCESS_DENIED;
    }
    if (enumerated == ERROR_SUCCESS) {
      stack.push_back({current + "\\" + name, 0});
      continue;
    }
    // A name too long to be one of the tree's is stepped over; a platform
    // that answers so at every index does not hold the walk for ever.
    if (enumerated == ERROR_MORE_DATA && skip < kMaxSubKeys) {
      ++stack.back().skip;
      continue;
    }
    // No sub-key left to look at: this key goes (the top one is the
    // caller's), or is stepped over by its parent when it can't.
    const bool opened = enumerated == ERROR_NO_MORE_ITEMS;
    stack.pop_back();
    if (stack.empty()) break;
    if (!opened || ctx.os.RegDeleteKeyA(root, current.c_str()) != ERROR_SUCCESS)
      ++stack.back().skip;
  }
  return first;
}

}  // namespace

std::string SystemDirectory(Context& ctx) { return DirectoryOf(ctx, true); }

std::string WindowsDirectory(Context& ctx) { return DirectoryOf(ctx, false); }

RemovalRoots::RemovalRoots(Context& ctx)
    : ctx_(ctx), owner_(ctx.removalFolders == nullptr) {
  if (!owner_) return;
  folders_.windows = ReadDirectory(ctx, false);
  folders_.system = ReadDirectory(ctx, true);
  folders_.appData = ReadAppDataFolder(ctx);
  ctx.removalFolders = &folders_;
}

RemovalRoots::~RemovalRoots() {
  if (owner_) ctx_.removalFolders = nullptr;
}

std::string UserAppDataFolder(Context& ctx) {
  if (const RemovalFolders* f = ctx.removalFolders) return f->appData;
  return ReadAppDataFolder(ctx);
}

namespace {

std::string ReadAppDataFolder(Context& ctx) {
  RegKey key(ctx.os);
  if (OpenKey(ctx.os, HKEY_CURRENT_USER, kShellFoldersKey, key) !=
      ERROR_SUCCESS)
    return std::string();
  char value[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH;
  DWORD type = 0;
  if (ctx.os.RegQueryValueExA(key.get(), "AppData", nullptr, &type,
                              reinterpret_cast<BYTE*>(value),
                              &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return std::string();
  std::string folder(value, std::find(value, value + size, '\0') - value);
  // As for the system directories: no root ending in a separator.
  if (text::EndsWith(ctx.os, folder, '\\')) return std::string();
  // Only a full drive path: a relative one would be taken from whatever
  // the current folder is.
  if (folder.size() < 3 || folder[1] != ':' || folder[2] != '\\')
    return std::string();
  return folder;
}

}  // namespace

std::string UserScannerRoot(Context& ctx) {
  const std::string appData = UserAppDataFolder(ctx);
  return appData.empty() ? appData : appData + kScannerFolder;
}

bool IsPlainFileName(Platform& os, const std::string& name) {
  if (name.empty() || name.size() >= MAX_PATH || name == "." || name == "..")
    return false;
  for (size_t i = 0; i < name.size(); i += text::CharSize(os, name, i)) {
    const auto u = static_cast<unsigned char>(name[i]);
    if (text::CharSize(os, name, i) == 2) continue;
    if (u < 0x20 || u == 0x7F || std::strchr("\\/:*?\"<>|", name[i]))
      return false;
  }
  if (text::EndsWith(os, name, '.') || text::EndsWith(os, name, ' '))
    return false;
  // A short name ("KVDRV~1.DLL") reaches whichever long-named file holds it.
  for (size_t i = 0; i + 1 < name.size(); i += text::CharSize(os, name, i))
    if (name[i] == '~' && name[i + 1] >= '0' && name[i + 1] <= '9')
      return false;
  return !IsDeviceName(name);
}

bool IsSystemRelativeName(Platform& os, const std::string& name) {
  const size_t separator = text::Find(os, name, '\\');
  if (separator == std::string::npos) return false;
  const std::string folder = name.substr(0, separator);
  return std::any_of(
             std::begin(kSystemSubFolders), std::end(kSystemSubFolders),
             [&](const char* sub) { return EqualNoCase(os, folder, sub); }) &&
         IsPlainFileName(os, name.substr(separator + 1));
}

bool IsWindowsMonitor(Platform& os, const std::string& name,
                      const std::string& library) {
  const auto in = [&](const auto& list, const std::string& value) {
    return std::any_of(std::begin(list), std::end(list), [&](const char* item) {
      return EqualNoCase(os, value, item);
    });
  };
  return in(kWindowsMonitors, name) || in(kWindowsMonitorLibraries, library);
}

bool IsWindowsService(Platform& os, const std::string& name) {
  return std::any_of(std::begin(kWindowsServices), std::end(kWindowsServices),
                     [&](const char* s) { return EqualNoCase(os, name, s); });
}

bool IsRemovalFolder(Context& ctx, const std::string& folder) {
  for (const std::string& root :
       {WindowsDirectory(ctx), UserScannerRoot(ctx)}) {
    if (root.empty()) continue;
    if (EqualNoCase(ctx.os, folder, root)) return true;
    std::vector<std::string> parts;
    if (!ComponentsBelow(ctx.os, folder, root, parts)) continue;
    bool plain = true;
    for (const std::string& part : parts)
      plain = plain && IsPlainFileName(ctx.os, part);
    if (plain) return true;
  }
  return false;
}

namespace {

// A plain name anywhere, a system-relative one in the system directory.
bool IsNameFor(Context& ctx, const std::string& folder,
               const std::string& name) {
  if (IsPlainFileName(ctx.os, name)) return true;
  if (!IsSystemRelativeName(ctx.os, name)) return false;
  const std::string system = SystemDirectory(ctx);
  return !system.empty() && EqualNoCase(ctx.os, folder, system);
}

}  // namespace

std::string OwnedFilePath(Context& ctx, const std::string& folder,
                          const std::string& name) {
  if (!IsNameFor(ctx, folder, name) || !IsRemovalFolder(ctx, folder))
    return std::string();
  const std::string path = folder + "\\" + name;
  return path.size() < MAX_PATH ? path : std::string();
}

BOOL DeleteOwnedFile(Context& ctx, const std::string& folder,
                     const std::string& name) {
  if (!IsNameFor(ctx, folder, name))
    return Refuse(ctx, ERROR_INVALID_NAME, "file name", name);
  if (!IsRemovalFolder(ctx, folder))
    return Refuse(ctx, ERROR_ACCESS_DENIED, "folder", folder);
  const std::string path = folder + "\\" + name;
  if (path.size() >= MAX_PATH)
    return Refuse(ctx, ERROR_INVALID_NAME, "long path", path);
  // The right shape is not enough: Windows' own files, files found there
  // and files another product or installer still counts stay.
  if (!ClaimFileForRemoval(ctx, path)) {
    ctx.os.SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return ctx.os.DeleteFileA(path.c_str());
}

BOOL RemoveOwnedEmptyFolder(Context& ctx, const std::string& folder) {
  // Both roots read once, whichever holds the folder, so that a removal's
  // calls are the same wherever the user's folder lies.
  const std::string windows = WindowsDirectory(ctx);
  const std::string scanner = UserScannerRoot(ctx);
  const auto plainBelow = [&](const std::string& root) {
    std::vector<std::string> parts;
    return ComponentsBelow(ctx.os, folder, root, parts) &&
           std::all_of(parts.begin(), parts.end(), [&](const std::string& p) {
             return IsPlainFileName(ctx.os, p);
           });
  };
  // Never the Windows directory itself, only folders below it; the scanner
  // root, folders below it and the maker's folder that holds it.
  const bool owned =
      plainBelow(windows) ||
      (!scanner.empty() &&
       (EqualNoCase(ctx.os, folder, scanner) || plainBelow(scanner) ||
        EqualNoCase(ctx.os, folder, text::FolderPart(ctx.os, scanner))));
  if (!owned) return Refuse(ctx, ERROR_ACCESS_DENIED, "folder", folder);
  return ctx.os.RemoveDirectoryA(folder.c_str());
}

bool IsRemovalKey(Platform& os, const std::string& path, HKEY root) {
  for (const KeyRoot& entry : kKeyRoots) {
    std::vector<std::string> parts;
    if (entry.root != root || !ComponentsBelow(os, path, entry.path, parts) ||
        parts.size() < entry.minDepth)
      continue;
    bool names = true;
    for (const std::string& part : parts)
      names = names && !part.empty() && part.size() <= kMaxKeyNameLength &&
              part != "." && part != ".." &&
              std::none_of(part.begin(), part.end(), [](char c) {
                const auto u = static_cast<unsigned char>(c);
                return u < 0x20 || u == 0x7F;
              });
    if (names) return true;
  }
  return false;
}

LONG DeleteOwnedKeyTree(Context& ctx, const std::string& path, HKEY root) {
  if (!IsRemovalKey(ctx.os, path, root)) {
    Refuse(ctx, ERROR_ACCESS_DENIED, "key", path);
    return ERROR_ACCESS_DENIED;
  }
  const LONG opened = DeleteSubKeys(ctx, root, path);
  if (opened != ERROR_SUCCESS) return opened;
  return ctx.os.RegDeleteKeyA(root, path.c_str());
}

}  // namespace kv
