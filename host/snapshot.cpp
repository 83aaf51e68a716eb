#include "host/snapshot.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "foundation/handles.h"
#include "foundation/install_record.h"
#include "foundation/registry_paths.h"
#include "foundation/text.h"
#include "host/record_text.h"

namespace kv::host {
namespace {

constexpr int kFormatVersion = 1;
constexpr char kMagic[] = "kvsup-snapshot";
// Not in every SDK header this code is built against.
constexpr DWORD kReparsePointAttribute = 0x400;
// What a profile read gives back when the entry is missing; no real entry
// holds it, since a profile value cannot hold control characters.
constexpr char kNoEntry[] = "\x01\x02kvsup-none";

struct GroupInfo {
  SnapshotGroup group;
  const char* name;
};
constexpr GroupInfo kGroups[] = {
    {SnapshotGroup::kRegistry, "registry"},
    {SnapshotGroup::kSpooler, "spooler"},
    {SnapshotGroup::kWinIni, "win.ini"},
    {SnapshotGroup::kServices, "services"},
    {SnapshotGroup::kFiles, "files"},
};

// The kinds of fact of each group and how many names identify one; the
// reader refuses any other.
struct KindInfo {
  SnapshotGroup group;
  const char* kind;
  size_t names;
};
constexpr KindInfo kKinds[] = {
    {SnapshotGroup::kRegistry, "key", 1},
    {SnapshotGroup::kRegistry, "value", 2},
    {SnapshotGroup::kServices, "key", 1},
    {SnapshotGroup::kServices, "value", 2},
    {SnapshotGroup::kSpooler, "printer", 1},
    {SnapshotGroup::kSpooler, "monitor", 1},
    {SnapshotGroup::kSpooler, "port", 1},
    {SnapshotGroup::kSpooler, "driver", 1},
    {SnapshotGroup::kSpooler, "processor", 1},
    {SnapshotGroup::kSpooler, "error", 1},
    {SnapshotGroup::kWinIni, "entry", 2},
    {SnapshotGroup::kFiles, "file", 1},
    {SnapshotGroup::kFiles, "dir", 1},
};

// The registry trees the library writes (and the spooler writes for it).
struct RegistryTree {
  HKEY root;
  const char* rootName;
  const char* path;
  SnapshotGroup group;
};
const RegistryTree kRegistryTrees[] = {
    {HKEY_LOCAL_MACHINE, "HKLM", "SYSTEM\\CurrentControlSet\\Control\\Print",
     SnapshotGroup::kRegistry},
    {HKEY_LOCAL_MACHINE, "HKLM", "SYSTEM\\CurrentControlSet\\Services",
     SnapshotGroup::kServices},
    {HKEY_LOCAL_MACHINE, "HKLM", kEnumKey, SnapshotGroup::kRegistry},
    {HKEY_LOCAL_MACHINE, "HKLM", kClassKey, SnapshotGroup::kRegistry},
    {HKEY_LOCAL_MACHINE, "HKLM", kKorvaKey, SnapshotGroup::kRegistry},
    {HKEY_LOCAL_MACHINE, "HKLM", kRunOnceKey, SnapshotGroup::kRegistry},
    // Windows' shared-file counts installation adds to.
    {HKEY_LOCAL_MACHINE, "HKLM", kSharedDllsKey, SnapshotGroup::kRegistry},
    // The local monitor's ports on the NT family.
    {HKEY_LOCAL_MACHINE, "HKLM",
     "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
     SnapshotGroup::kRegistry},
    // Windows 9x: the printers' hardware-profile keys.
    {HKEY_CURRENT_CONFIG, "HKCC", kPrintersKey, SnapshotGroup::kRegistry},
    // The NT family keeps the user's [Devices], [PrinterPorts] and default
    // printer here instead of win.ini.
    {HKEY_CURRENT_USER, "HKCU",
     "Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices",
     SnapshotGroup::kRegistry},
    {HKEY_CURRENT_USER, "HKCU",
     "Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts",
     SnapshotGroup::kRegistry},
    {HKEY_CURRENT_USER, "HKCU",
     "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
     SnapshotGroup::kRegistry},
    {HKEY_CURRENT_USER, "HKCU", "Printers", SnapshotGroup::kRegistry},
};

char FoldCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A C string from a spooler record; a null field reads as empty.
std::string Field(const char* s) { return s ? s : ""; }

// The content of a registry value: strings as text, a DWORD as a number,
// everything else (and strings that are not text) in hex; data past the
// bound by size and checksum only.
std::string ValueContent(DWORD type, const BYTE* data, size_t size,
                         size_t maxBytes) {
  if ((type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 &&
      data[size - 1] == 0 && std::memchr(data, 0, size - 1) == nullptr) {
    const char* word = type == REG_SZ ? "sz " : "expand_sz ";
    return word +
           Quote(std::string(reinterpret_cast<const char*>(data), size - 1));
  }
  if (type == REG_DWORD && size == 4) {
    DWORD v = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
              static_cast<DWORD>(data[2]) << 16 |
              static_cast<DWORD>(data[3]) << 24;
    return "dword " + Hex32(v);
  }
  if (type == REG_MULTI_SZ && size >= 1 && data[size - 1] == 0) {
    // The strings up to the empty one; only nulls may follow it.
    std::string s = "multi_sz";
    const char* p = reinterpret_cast<const char*>(data);
    const char* end = p + size;
    while (p < end && *p) {
      const size_t n = std::strlen(p);  // the last byte is a null
      s += " " + Quote(std::string(p, n));
      p += n + 1;
    }
    if (std::all_of(p, end, [](char c) { return c == 0; })) return s;
  }
  std::string s = "type " + Hex32(type) + " " + std::to_string(size) + " bytes";
  if (size == 0) return s;
  if (size > maxBytes) return s + " fnv1a " + Hex32(Fnv1a(data, size));
  return s + " " + Hex(data, size);
}

class Recorder {
 public:
  Recorder(Platform& os, const SnapshotBounds& bounds, Snapshot* out)
      : os_(os), bounds_(bounds), out_(*out) {}

  void System() {
    OSVERSIONINFOA v = {};
    v.dwOSVersionInfoSize = sizeof v;
    if (!os_.GetVersionExA(&v)) {
      out_.system = "unknown";
      return;
    }
    DWORD build = v.dwBuildNumber;
    if (v.dwPlatformId != VER_PLATFORM_WIN32_NT) build &= 0xFFFF;
    char text[64];
    std::snprintf(text, sizeof text, "%lu.%lu.%lu platform %lu",
                  static_cast<unsigned long>(v.dwMajorVersion),
                  static_cast<unsigned long>(v.dwMinorVersion),
                  static_cast<unsigned long>(build),
                  static_cast<unsigned long>(v.dwPlatformId));
    out_.system = text;
    v.szCSDVersion[sizeof v.szCSDVersion - 1] = '\0';
    if (v.szCSDVersion[0]) out_.system += std::string(" ") + v.szCSDVersion;
  }

  void Registry() {
    for (const RegistryTree& t : kRegistryTrees) {
      RegKey key(os_);
      if (os_.RegOpenKeyExA(t.root, t.path, 0, KEY_READ, key.out()) !=
          ERROR_SUCCESS)
        continue;  // a tree this system does not have
      Key(key.get(), std::string(t.rootName) + "\\" + t.path, t.group, 0);
    }
  }

  void Spooler() {
    Printers();
    Monitors();
    Ports();
    Drivers();
    Processors();
  }

  void WinIni() {
    for (const char* section : {"Devices", "PrinterPorts"}) {
      std::string names;
      if (!Profile(section, nullptr, &names)) continue;
      for (const char* p = names.c_str(); *p; p += std::strlen(p) + 1) {
        std::string value;
        if (Profile(section, p, &value)) WinIniEntry(section, p, value);
      }
    }
    std::string device;
    if (Profile("windows", "device", &device))
      WinIniEntry("windows", "device", device);
  }

  void Files() {
    char dir[MAX_PATH + 1] = {};
    const UINT n = os_.GetWindowsDirectoryA(dir, sizeof dir);
    if (n == 0 || n >= sizeof dir) {
      Limit("files: the Windows directory is unknown");
      return;
    }
    std::string root(dir, n);
    if (text::EndsWith(os_, root, '\\')) root.pop_back();
    Folder(root, "", 0);
    UserScannerFolder();
  }

  // The per-user scanner data the installation keeps outside the Windows
  // directory (on 2000 and XP below the user's profile), as
  // "%APPDATA%\Korva\...".
  void UserScannerFolder() {
    HKEY key = nullptr;
    if (os_.RegOpenKeyExA(HKEY_CURRENT_USER,
                          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                          "Explorer\\Shell Folders",
                          0, KEY_READ, &key) != ERROR_SUCCESS)
      return;
    char value[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    DWORD type = 0;
    const LONG read = os_.RegQueryValueExA(
        key, "AppData", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    os_.RegCloseKey(key);
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
      return;
    const std::string folder = std::string(value) + "\\Korva";
    const DWORD attributes = os_.GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      return;
    Add(SnapshotGroup::kFiles, "dir", {"%APPDATA%\\Korva"}, "");
    Folder(folder, "%APPDATA%\\Korva", 1);
  }

 private:
  void Add(SnapshotGroup group, const char* kind,
           std::vector<std::string> names, std::string content) {
    SnapshotFact f{group, kind, std::move(names), std::move(content)};
    // A later word on the same thing (a folder that cannot be listed)
    // replaces the first.
    out_.facts.insert_or_assign(FactIdentity(f), std::move(f));
  }

  void Limit(const std::string& text) {
    if (std::find(out_.limits.begin(), out_.limits.end(), text) ==
        out_.limits.end())
      out_.limits.push_back(text);
  }

  // --- Registry -----------------------------------------------------------
  void Key(HKEY key, const std::string& path, SnapshotGroup group,
           size_t depth) {
    if (++keys_ > bounds_.maxKeys) {
      Limit("registry: more than " + std::to_string(bounds_.maxKeys) + " keys");
      return;
    }
    Add(group, "key", {path}, "");
    Values(key, path, group);
    if (depth >= bounds_.maxRegistryDepth) {
      Limit("registry: keys deeper than " +
            std::to_string(bounds_.maxRegistryDepth) + " below " + path);
      return;
    }
    // Names first, then the walk: nothing is written meanwhile, and no
    // enumeration stays open across the recursion.
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
      char name[1024];
      DWORD size = sizeof name;
      const LONG rc = os_.RegEnumKeyExA(key, i, name, &size, nullptr, nullptr,
                                        nullptr, nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS || subkeys.size() >= bounds_.maxKeys) {
        Limit("registry: the sub-keys of " + path + " stop at " +
              std::to_string(i) + " (error " + std::to_string(rc) + ")");
        break;
      }
      subkeys.emplace_back(name, std::min<size_t>(size, sizeof name - 1));
    }
    for (const std::string& name : subkeys) {
      RegKey sub(os_);
      const LONG rc =
          os_.RegOpenKeyExA(key, name.c_str(), 0, KEY_READ, sub.out());
      if (rc != ERROR_SUCCESS) {
        Add(group, "key", {path + "\\" + name},
            "unreadable error " + std::to_string(rc));
        continue;
      }
      Key(sub.get(), path + "\\" + name, group, depth + 1);
    }
  }

  void Values(HKEY key, const std::string& path, SnapshotGroup group) {
    // Value names are at most 16383 characters; data is read whole up to a
    // fixed ceiling so that its checksum still tells a change.
    constexpr DWORD kMaxName = 16384;
    constexpr DWORD kMaxData = 1u << 20;
    std::vector<char> name(260);
    std::vector<BYTE> data(4096);
    for (DWORD i = 0;; ++i) {
      if (values_ >= bounds_.maxValues) {
        Limit("registry: more than " + std::to_string(bounds_.maxValues) +
              " values");
        return;
      }
      DWORD nameSize = static_cast<DWORD>(name.size());
      DWORD dataSize = static_cast<DWORD>(data.size());
      DWORD type = REG_NONE;
      const LONG rc = os_.RegEnumValueA(key, i, name.data(), &nameSize, nullptr,
                                        &type, data.data(), &dataSize);
      if (rc == ERROR_NO_MORE_ITEMS) return;
      if (rc == ERROR_MORE_DATA) {
        const bool grown = name.size() < kMaxName || data.size() < dataSize;
        if (!grown || dataSize > kMaxData) {
          Limit("registry: a value of " + path + " is larger than " +
                std::to_string(kMaxData) + " bytes");
          return;
        }
        // Either buffer may be the short one; Windows does not always say.
        name.resize(kMaxName);
        if (dataSize > data.size()) data.resize(dataSize);
        --i;
        continue;
      }
      if (rc != ERROR_SUCCESS) {
        Limit("registry: the values of " + path + " stop at " +
              std::to_string(i) + " (error " + std::to_string(rc) + ")");
        return;
      }
      ++values_;
      const size_t n = std::min<size_t>(nameSize, name.size() - 1);
      Add(group, "value", {path, std::string(name.data(), n)},
          ValueContent(type, data.data(),
                       std::min<size_t>(dataSize, data.size()),
                       bounds_.maxValueBytes));
    }
  }

  // --- Spooler ------------------------------------------------------------
  // Runs a two-call spooler enumeration; false with `error` set when it
  // fails. `call` takes (buffer, size, needed, returned).
  template <typename Call>
  bool Enumerate(Call call, std::vector<BYTE>* buffer, DWORD* count,
                 DWORD* error) {
    DWORD needed = 0, returned = 0;
    buffer->assign(0, 0);
    // The list may grow between the calls: a few tries.
    for (int attempt = 0; attempt < 4; ++attempt) {
      os_.SetLastError(0);
      const BOOL ok =
          call(buffer->empty() ? nullptr : buffer->data(),
               static_cast<DWORD>(buffer->size()), &needed, &returned);
      if (ok) {
        *count = returned;
        return true;
      }
      *error = os_.GetLastError();
      if (*error != ERROR_INSUFFICIENT_BUFFER || needed <= buffer->size())
        return false;
      if (needed > bounds_.maxListBytes) {
        *error = ERROR_INSUFFICIENT_BUFFER;
        return false;
      }
      buffer->assign(needed, 0);
    }
    return false;
  }

  void SpoolerError(const char* call, DWORD error) {
    Add(SnapshotGroup::kSpooler, "error", {call},
        "error " + std::to_string(error));
  }

  void Printers() {
    std::vector<BYTE> buffer;
    DWORD count = 0, error = 0;
    if (!Enumerate(
            [&](LPBYTE b, DWORD s, LPDWORD n, LPDWORD r) {
              return os_.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, b, s, n,
                                       r);
            },
            &buffer, &count, &error)) {
      SpoolerError("EnumPrintersA", error);
      return;
    }
    count = std::min<DWORD>(
        count, static_cast<DWORD>(buffer.size() / sizeof(PRINTER_INFO_2A)));
    for (DWORD i = 0; i < count; ++i) {
      PRINTER_INFO_2A p;
      std::memcpy(&p, buffer.data() + i * sizeof p, sizeof p);
      Add(SnapshotGroup::kSpooler, "printer", {Field(p.pPrinterName)},
          "driver " + Quote(Field(p.pDriverName)) + " port " +
              Quote(Field(p.pPortName)));
    }
  }

  void Monitors() {
    // Level 2 names the monitor's file; Windows 95 knows only level 1.
    for (DWORD level : {2, 1}) {
      std::vector<BYTE> buffer;
      DWORD count = 0, error = 0;
      if (!Enumerate(
              [&](LPBYTE b, DWORD s, LPDWORD n, LPDWORD r) {
                return os_.EnumMonitorsA(nullptr, level, b, s, n, r);
              },
              &buffer, &count, &error)) {
        if (level == 2 && error == ERROR_INVALID_LEVEL) continue;
        SpoolerError("EnumMonitorsA", error);
        return;
      }
      const size_t record =
          level == 2 ? sizeof(MONITOR_INFO_2A) : sizeof(MONITOR_INFO_1A);
      count =
          std::min<DWORD>(count, static_cast<DWORD>(buffer.size() / record));
      for (DWORD i = 0; i < count; ++i) {
        if (level == 2) {
          MONITOR_INFO_2A m;
          std::memcpy(&m, buffer.data() + i * record, sizeof m);
          Add(SnapshotGroup::kSpooler, "monitor", {Field(m.pName)},
              "dll " + Quote(Field(m.pDLLName)));
        } else {
          MONITOR_INFO_1A m;
          std::memcpy(&m, buffer.data() + i * record, sizeof m);
          Add(SnapshotGroup::kSpooler, "monitor", {Field(m.pName)}, "");
        }
      }
      return;
    }
  }

  void Ports() {
    std::vector<BYTE> buffer;
    DWORD count = 0, error = 0;
    if (!Enumerate(
            [&](LPBYTE b, DWORD s, LPDWORD n, LPDWORD r) {
              return os_.EnumPortsA(nullptr, 1, b, s, n, r);
            },
            &buffer, &count, &error)) {
      SpoolerError("EnumPortsA", error);
      return;
    }
    count = std::min<DWORD>(
        count, static_cast<DWORD>(buffer.size() / sizeof(PORT_INFO_1A)));
    for (DWORD i = 0; i < count; ++i) {
      PORT_INFO_1A p;
      std::memcpy(&p, buffer.data() + i * sizeof p, sizeof p);
      Add(SnapshotGroup::kSpooler, "port", {Field(p.pName)}, "");
    }
  }

  // The names of a level-1 list whose records hold only a name pointer
  // (drivers and print processors of the machine's own environment).
  template <typename Call>
  void Names(const char* callName, const char* kind, Call call) {
    std::vector<BYTE> buffer;
    DWORD count = 0, error = 0;
    if (!Enumerate(call, &buffer, &count, &error)) {
      SpoolerError(callName, error);
      return;
    }
    count = std::min<DWORD>(count,
                            static_cast<DWORD>(buffer.size() / sizeof(LPSTR)));
    for (DWORD i = 0; i < count; ++i) {
      LPSTR name;
      std::memcpy(&name, buffer.data() + i * sizeof name, sizeof name);
      Add(SnapshotGroup::kSpooler, kind, {Field(name)}, "");
    }
  }

  void Drivers() {
    static_assert(sizeof(DRIVER_INFO_1A) == sizeof(LPSTR), "a name only");
    Names("EnumPrinterDriversA", "driver",
          [&](LPBYTE b, DWORD s, LPDWORD n, LPDWORD r) {
            return os_.EnumPrinterDriversA(nullptr, nullptr, 1, b, s, n, r);
          });
  }

  void Processors() {
    static_assert(sizeof(PRINTPROCESSOR_INFO_1A) == sizeof(LPSTR),
                  "a name only");
    Names("EnumPrintProcessorsA", "processor",
          [&](LPBYTE b, DWORD s, LPDWORD n, LPDWORD r) {
            return os_.EnumPrintProcessorsA(nullptr, nullptr, 1, b, s, n, r);
          });
  }

  // --- win.ini ------------------------------------------------------------
  // One profile read, the buffer grown while the text fills it. With a null
  // key the names of the section, each ended by a null. False when the
  // entry or section is missing.
  bool Profile(const char* section, const char* key, std::string* out) {
    for (DWORD size = 4096;; size *= 4) {
      std::vector<char> buf(size);
      const DWORD n =
          os_.GetProfileStringA(section, key, kNoEntry, buf.data(), size);
      // A full buffer may have cut the text: read again, larger.
      const bool full = n >= size - (key ? 1 : 2);
      if (full && size * 4 <= bounds_.maxListBytes) continue;
      if (full) {
        Limit(std::string("win.ini: [") + section + "] is longer than " +
              std::to_string(size) + " bytes");
      }
      const std::string text(buf.data(), std::min<DWORD>(n, size));
      if (text == kNoEntry) return false;
      if (!key && text.empty()) return false;
      *out = text;
      if (!key) out->push_back('\0');  // the list's end
      return true;
    }
  }

  void WinIniEntry(const char* section, const std::string& key,
                   const std::string& value) {
    Add(SnapshotGroup::kWinIni, "entry", {section, key}, Quote(value));
  }

  // --- Files --------------------------------------------------------------
  void Folder(const std::string& dir, const std::string& rel, size_t depth) {
    WIN32_FIND_DATAA data;
    FindHandle find(os_, os_.FindFirstFileA((dir + "\\*").c_str(), &data));
    if (!find) {
      const DWORD error = os_.GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES)
        return;  // an empty folder
      if (rel.empty()) {
        Limit("files: the Windows directory cannot be listed (error " +
              std::to_string(error) + ")");
      } else {
        Add(SnapshotGroup::kFiles, "dir", {rel},
            "unlisted error " + std::to_string(error));
      }
      return;
    }
    std::vector<std::string> folders;
    do {
      data.cFileName[sizeof data.cFileName - 1] = '\0';
      const std::string name = data.cFileName;
      if (name.empty() || name == "." || name == "..") continue;
      if (++files_ > bounds_.maxFiles) {
        Limit("files: more than " + std::to_string(bounds_.maxFiles) +
              " entries");
        return;
      }
      const std::string path = rel.empty() ? name : rel + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        Add(SnapshotGroup::kFiles, "dir", {path}, "");
        // A junction may lead back up the tree.
        if (!(data.dwFileAttributes & kReparsePointAttribute))
          folders.push_back(name);
      } else {
        const unsigned long long size =
            (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) |
            data.nFileSizeLow;
        Add(SnapshotGroup::kFiles, "file", {path},
            "size " + std::to_string(size) + " time " +
                FileTimeText(data.ftLastWriteTime));
      }
    } while (os_.FindNextFileA(find.get(), &data));
    find.Close();
    for (const std::string& name : folders) {
      const std::string path = rel.empty() ? name : rel + "\\" + name;
      if (depth + 1 >= bounds_.maxFileDepth) {
        Limit("files: folders deeper than " +
              std::to_string(bounds_.maxFileDepth) + " below " + path);
        continue;
      }
      Folder(dir + "\\" + name, path, depth + 1);
    }
  }

  Platform& os_;
  const SnapshotBounds& bounds_;
  Snapshot& out_;
  size_t keys_ = 0;
  size_t values_ = 0;
  size_t files_ = 0;
};

// --- Reading ----------------------------------------------------------------

std::string TokenText(const Token& t) {
  return t.quoted ? Quote(t.text) : t.text;
}

const KindInfo* FindKind(SnapshotGroup group, const std::string& kind) {
  for (const KindInfo& k : kKinds) {
    if (k.group == group && kind == k.kind) return &k;
  }
  return nullptr;
}

bool ParseGroup(const std::string& word, SnapshotGroup* group) {
  for (const GroupInfo& g : kGroups) {
    if (word == g.name) {
      *group = g.group;
      return true;
    }
  }
  return false;
}

// One fact line (its first word already known to be a group).
bool ParseFact(const std::vector<Token>& tokens, SnapshotFact* fact,
               std::string* why) {
  ParseGroup(tokens[0].text, &fact->group);
  if (tokens.size() < 2 || tokens[1].quoted) {
    *why = "no kind of fact after the group";
    return false;
  }
  const KindInfo* kind = FindKind(fact->group, tokens[1].text);
  if (!kind) {
    *why = "no fact \"" + tokens[1].text + "\" in group " + tokens[0].text;
    return false;
  }
  fact->kind = kind->kind;
  size_t i = 2;
  for (; i < tokens.size() && tokens[i].quoted; ++i)
    fact->names.push_back(tokens[i].text);
  if (fact->names.size() != kind->names) {
    *why = "a " + fact->kind + " has " + std::to_string(kind->names) +
           " quoted name" + (kind->names == 1 ? "" : "s");
    return false;
  }
  if (i == tokens.size()) return true;
  if (tokens[i].quoted || tokens[i].text != "=" || i + 1 == tokens.size()) {
    *why = "the names must be followed by \"=\" and the content, or nothing";
    return false;
  }
  for (++i; i < tokens.size(); ++i) {
    if (!fact->content.empty()) fact->content += ' ';
    fact->content += TokenText(tokens[i]);
  }
  return true;
}

bool ParseNumber(const Token& t, size_t* n) {
  // Nine digits fit a 32-bit size_t (the Windows host's) without wrapping.
  if (t.quoted || t.text.empty() || t.text.size() > 9) return false;
  *n = 0;
  for (char c : t.text) {
    if (c < '0' || c > '9') return false;
    *n = *n * 10 + static_cast<size_t>(c - '0');
  }
  return true;
}

}  // namespace

const char* SnapshotGroupName(SnapshotGroup group) {
  for (const GroupInfo& g : kGroups) {
    if (g.group == group) return g.name;
  }
  return "?";
}

std::string FactIdentity(const SnapshotFact& fact) {
  std::string id = SnapshotGroupName(fact.group);
  id += '\0';
  id += fact.kind;
  for (const std::string& n : fact.names) {
    id += '\0';
    for (char c : n) id += FoldCase(c);
  }
  return id;
}

Snapshot TakeSnapshot(Platform& os, const SnapshotBounds& bounds) {
  Snapshot s;
  Recorder r(os, bounds, &s);
  r.System();
  r.Registry();
  r.Spooler();
  r.WinIni();
  r.Files();
  return s;
}

Snapshot TakeSpoolerSnapshot(Platform& os) {
  Snapshot s;
  const SnapshotBounds bounds;
  Recorder r(os, bounds, &s);
  r.System();
  r.Spooler();
  return s;
}

std::string FactText(const SnapshotFact& f) {
  std::string text = std::string(SnapshotGroupName(f.group)) + ' ' + f.kind;
  for (const std::string& n : f.names) text += ' ' + Quote(n);
  if (!f.content.empty()) text += " = " + f.content;
  return text;
}

std::string SnapshotText(const Snapshot& snapshot) {
  std::ostringstream out;
  out << kMagic << ' ' << kFormatVersion << "\n";
  out << "system " << Quote(snapshot.system) << "\n";
  for (const auto& [id, f] : snapshot.facts) out << FactText(f) << "\n";
  for (const std::string& limit : snapshot.limits)
    out << "limit " << Quote(limit) << "\n";
  out << "end " << snapshot.facts.size() << "\n";
  return out.str();
}

bool WriteSnapshot(const Snapshot& snapshot, const std::string& path,
                   std::string* error) {
  std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
  const std::string text = SnapshotText(snapshot);
  if (file) file.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (file) file.close();
  if (!file) {
    *error = "cannot write the snapshot " + path;
    return false;
  }
  return true;
}

bool ParseSnapshot(const std::string& text, const std::string& fileName,
                   Snapshot* snapshot, std::string* error) {
  *snapshot = Snapshot();
  size_t lineNo = 0;
  auto fail = [&](const std::string& why) {
    *error = fileName + ":" + std::to_string(lineNo) + ": " + why;
    return false;
  };
  if (text.empty()) {
    lineNo = 1;
    return fail("empty file, not a snapshot");
  }
  bool haveSystem = false, ended = false;
  size_t factLines = 0;
  size_t start = 0;
  while (start < text.size()) {
    ++lineNo;
    size_t stop = text.find('\n', start);
    const bool lastLine = stop == std::string::npos;
    if (lastLine) stop = text.size();
    std::string line = text.substr(start, stop - start);
    start = stop + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    for (unsigned char c : line) {
      if (c < 0x20 || c > 0x7E) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", c);
        return fail(std::string("byte ") + hex +
                    " is not text: not a snapshot, or a damaged one");
      }
    }
    if (ended) return fail("text after the end line");
    if (lineNo == 1) {
      const std::string magic = std::string(kMagic) + " ";
      if (line.compare(0, magic.size(), magic) != 0)
        return fail("not a kvsup snapshot (no \"kvsup-snapshot\" first line)");
      const std::string version = line.substr(magic.size());
      if (version != std::to_string(kFormatVersion)) {
        return fail("snapshot version " + version +
                    "; this host reads version " +
                    std::to_string(kFormatVersion));
      }
      continue;
    }
    if (line.empty() && lastLine) break;
    std::vector<Token> tokens;
    std::string why;
    if (!Tokenize(line, &tokens, &why)) return fail(why);
    if (tokens.empty()) return fail("an empty line");
    if (tokens[0].quoted) return fail("a line starts with a quoted string");
    const std::string& word = tokens[0].text;
    SnapshotGroup group;
    if (word == "system") {
      if (haveSystem) return fail("a second system line");
      if (tokens.size() != 2 || !tokens[1].quoted)
        return fail("system wants one quoted text");
      snapshot->system = tokens[1].text;
      haveSystem = true;
    } else if (word == "limit") {
      if (tokens.size() != 2 || !tokens[1].quoted)
        return fail("limit wants one quoted text");
      snapshot->limits.push_back(tokens[1].text);
    } else if (word == "end") {
      size_t count = 0;
      if (tokens.size() != 2 || !ParseNumber(tokens[1], &count))
        return fail("end wants the number of facts");
      if (count != factLines) {
        return fail("the end line counts " + std::to_string(count) +
                    " facts, the file has " + std::to_string(factLines));
      }
      if (!haveSystem) return fail("no system line before the end");
      ended = true;
    } else if (ParseGroup(word, &group)) {
      SnapshotFact fact;
      if (!ParseFact(tokens, &fact, &why)) return fail(why);
      if (!snapshot->facts.emplace(FactIdentity(fact), fact).second)
        return fail("the same " + fact.kind + " a second time");
      ++factLines;
    } else {
      return fail("unknown line \"" + word + "\"");
    }
  }
  if (!ended) return fail("cut short: no end line");
  return true;
}

bool ReadSnapshot(const std::string& path, Snapshot* snapshot,
                  std::string* error) {
  std::string text;
  if (!ReadTextFileBounded(path, kSnapshotFileLimit, &text, error))
    return false;
  return ParseSnapshot(text, path, snapshot, error);
}

}  // namespace kv::host
