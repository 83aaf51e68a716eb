#include "host/capture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>

#include "foundation/handles.h"
#include "foundation/install_record.h"
#include "foundation/registry_paths.h"
#include "foundation/text.h"
#include "host/record_text.h"
#include "host/snapshot.h"

namespace kv::host {
namespace {

constexpr int kFormatVersion = 1;
constexpr char kMagic[] = "kvsup-capture";
constexpr DWORD kReparsePointAttribute = 0x400;
constexpr size_t kMaxFiles = 100000;
constexpr size_t kMaxDepth = 24;
constexpr size_t kMaxKeys = 200000;
constexpr DWORD kMaxValueBytes = 1u << 20;

struct RootInfo {
  HKEY key;
  const char* name;
};
const RootInfo kRoots[] = {{HKEY_LOCAL_MACHINE, "HKLM"},
                           {HKEY_CURRENT_USER, "HKCU"},
                           {HKEY_CURRENT_CONFIG, "HKCC"}};

// The registry trees the library reads or writes.
struct TreeInfo {
  const char* root;
  const char* path;
};
constexpr TreeInfo kTrees[] = {
    {"HKLM", "SYSTEM\\CurrentControlSet\\Control\\Print"},
    {"HKLM", "SYSTEM\\CurrentControlSet\\Services"},
    {"HKLM", kEnumKey},
    {"HKLM", kClassKey},
    {"HKLM", kKorvaKey},
    {"HKLM", kRunOnceKey},
    {"HKLM", kSharedDllsKey},
    {"HKLM", "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports"},
    {"HKLM", "SOFTWARE\\Microsoft\\LPDSVC"},
    {"HKCC", kPrintersKey},
    {"HKCU", kUserDevicesKey},
    {"HKCU", kUserPrinterPortsKey},
    {"HKCU", "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows"},
    {"HKCU", "Printers"},
    {"HKCU",
     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
     "Shell Folders"},
};

// The profile sections the library reads.
struct SectionInfo {
  const char* file;
  const char* section;
};
constexpr SectionInfo kSections[] = {
    {"win.ini", "windows"},
    {"win.ini", "Devices"},
    {"win.ini", "PrinterPorts"},
    {"win.ini", "Ports"},
    {"system.ini", "boot.description"},
    {"system.ini", "boot"},
};

constexpr size_t kTreeCount = sizeof kTrees / sizeof kTrees[0];
// Windows' own limits on a registry key.
constexpr size_t kMaxWindowsKeyDepth = 512;
constexpr size_t kMaxKeyName = 255;

bool KnownTree(const std::string& root, const std::string& path) {
  for (const TreeInfo& t : kTrees)
    if (root == t.root && AsciiLower(path) == AsciiLower(t.path)) return true;
  return false;
}

bool KnownSection(const std::string& file, const std::string& section) {
  for (const SectionInfo& s : kSections)
    if (AsciiLower(file) == s.file &&
        AsciiLower(section) == AsciiLower(s.section))
      return true;
  return false;
}

// The services the library stops, starts or replaces besides the port
// drivers the setup files name.
constexpr const char* kServices[] = {"Spooler", "LPDSVC", "MacPrint"};
// The uninstall setup files, whose port-driver services and message files
// the removal uses.
constexpr const char* kSetupFiles[] = {"vt3eins.sii", "vt3dins.sii",
                                       "vt3hins.sii"};
// At most the three above and two port drivers per setup file.
constexpr size_t kMaxServices = sizeof kServices / sizeof kServices[0] +
                                2 * sizeof kSetupFiles / sizeof kSetupFiles[0];

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() &&
         AsciiLower(s.substr(s.size() - tail.size())) == AsciiLower(tail);
}

class Recorder {
 public:
  Recorder(Platform& os, Capture* out) : os_(os), out_(*out) {}

  void System() {
    OSVERSIONINFOA v = {};
    v.dwOSVersionInfoSize = sizeof v;
    if (!os_.GetVersionExA(&v)) {
      Limit("system: GetVersionExA failed (error " +
            std::to_string(os_.GetLastError()) + ")");
      return;
    }
    v.szCSDVersion[sizeof v.szCSDVersion - 1] = '\0';
    out_.platform = v.dwPlatformId;
    out_.major = v.dwMajorVersion;
    out_.minor = v.dwMinorVersion;
    out_.build = v.dwBuildNumber;
    out_.csd = v.szCSDVersion;
  }

  void Folders() {
    char dir[MAX_PATH + 1] = {};
    UINT n = os_.GetWindowsDirectoryA(dir, sizeof dir);
    if (n > 0 && n < sizeof dir) out_.windowsDir = TrimSlash(dir);
    n = os_.GetSystemDirectoryA(dir, sizeof dir);
    if (n > 0 && n < sizeof dir) out_.systemDir = TrimSlash(dir);
    RegKey key(os_);
    if (os_.RegOpenKeyExA(HKEY_CURRENT_USER,
                          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                          "Explorer\\Shell Folders",
                          0, KEY_READ, key.out()) == ERROR_SUCCESS) {
      char value[MAX_PATH + 1] = {};
      DWORD size = sizeof value - 1, type = 0;
      if (os_.RegQueryValueExA(key.get(), "AppData", nullptr, &type,
                               reinterpret_cast<BYTE*>(value),
                               &size) == ERROR_SUCCESS &&
          type == REG_SZ)
        out_.appDataDir = TrimSlash(value);
    }
  }

  void Disk() {
    ULARGE_INTEGER toCaller = {}, total = {}, totalFree = {};
    if (!out_.windowsDir.empty() &&
        os_.GetDiskFreeSpaceExA(out_.windowsDir.c_str(), &toCaller, &total,
                                &totalFree)) {
      out_.diskFree = toCaller.QuadPart;
      out_.diskTotal = total.QuadPart;
    }
    // Shift-JIS lead bytes are the only code page distinction the library
    // makes.
    out_.codePage =
        os_.IsDBCSLeadByte(0x81) && os_.IsDBCSLeadByte(0x9F) ? 932 : 1252;
  }

  void Registry() {
    for (const TreeInfo& t : kTrees) {
      out_.trees.push_back({t.root, t.path});
      RegKey key(os_);
      if (os_.RegOpenKeyExA(CaptureRootKey(t.root), t.path, 0, KEY_READ,
                            key.out()) != ERROR_SUCCESS)
        continue;
      Key(key.get(), t.root, t.path, 0);
    }
  }

  void Ini() {
    for (const SectionInfo& s : kSections) {
      std::vector<char> buf(64 * 1024);
      const DWORD n = os_.GetPrivateProfileSectionA(
          s.section, buf.data(), static_cast<DWORD>(buf.size()), s.file);
      if (n >= buf.size() - 2) {
        Limit(std::string(s.file) + ": [" + s.section + "] is longer than " +
              std::to_string(buf.size()) + " bytes");
      }
      for (const char* p = buf.data(); p < buf.data() + n && *p;
           p += std::strlen(p) + 1) {
        const std::string line = p;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        out_.ini.push_back(
            {s.file, s.section, line.substr(0, eq), line.substr(eq + 1)});
      }
    }
  }

  void Services() {
    std::vector<std::string> names(std::begin(kServices), std::end(kServices));
    for (const char* file : kSetupFiles) {
      for (const auto& [section, key] :
           {std::pair<const char*, const char*>{"Files.NT", "LptNTName"},
            {"Files.2K", "Lpt2KName"}}) {
        char name[260] = {};
        os_.GetPrivateProfileStringA(section, key, "", name, sizeof name, file);
        if (name[0]) names.push_back(name);
      }
    }
    ScHandle manager(os_,
                     os_.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return;  // Windows 9x has none
    std::set<std::string> done;
    for (const std::string& name : names) {
      if (!done.insert(AsciiLower(name)).second) continue;
      ScHandle service(os_, os_.OpenServiceA(manager.get(), name.c_str(),
                                             SERVICE_QUERY_STATUS));
      SERVICE_STATUS status = {};
      if (service && os_.QueryServiceStatus(service.get(), &status))
        out_.services.push_back({name, status.dwCurrentState});
    }
  }

  void Spooler() {
    const Snapshot s = TakeSpoolerSnapshot(os_);
    for (const auto& [id, fact] : s.facts)
      out_.spooler.push_back(FactText(fact));
  }

  void Files() {
    if (out_.windowsDir.empty()) {
      Limit("files: the Windows directory is unknown");
      return;
    }
    ReadMessageFileNames();
    Folder(out_.windowsDir, 0);
    if (!out_.appDataDir.empty()) {
      const std::string korva = out_.appDataDir + "\\Korva";
      const DWORD a = os_.GetFileAttributesA(korva.c_str());
      if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) &&
          AsciiLower(korva).rfind(AsciiLower(out_.windowsDir) + "\\", 0) != 0) {
        WIN32_FIND_DATAA self = {};
        self.dwFileAttributes = a;
        AddDir(korva, self);
        Folder(korva, 1);
      }
    }
  }

 private:
  std::string TrimSlash(std::string s) {
    if (s.size() > 3 && text::EndsWith(os_, s, '\\')) s.pop_back();
    return s;
  }

  void Limit(const std::string& text) {
    if (std::find(out_.limits.begin(), out_.limits.end(), text) ==
        out_.limits.end())
      out_.limits.push_back(text);
  }

  // --- Registry -----------------------------------------------------------
  void Key(HKEY key, const std::string& root, const std::string& path,
           size_t depth) {
    if (out_.keys.size() >= kMaxKeys) {
      Limit("registry: more than " + std::to_string(kMaxKeys) + " keys");
      return;
    }
    out_.keys.push_back({root, path});
    Values(key, root, path);
    if (depth >= kMaxDepth) {
      Limit("registry: keys deeper than " + std::to_string(kMaxDepth) +
            " below " + path);
      return;
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
      char name[1024];
      DWORD size = sizeof name;
      const LONG rc = os_.RegEnumKeyExA(key, i, name, &size, nullptr, nullptr,
                                        nullptr, nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS || subkeys.size() >= kMaxKeys) {
        Limit("registry: the sub-keys of " + path + " stop at " +
              std::to_string(i) + " (error " + std::to_string(rc) + ")");
        break;
      }
      subkeys.emplace_back(name, std::min<size_t>(size, sizeof name - 1));
    }
    for (const std::string& name : subkeys) {
      RegKey sub(os_);
      if (os_.RegOpenKeyExA(key, name.c_str(), 0, KEY_READ, sub.out()) !=
          ERROR_SUCCESS) {
        Limit("registry: " + path + "\\" + name + " cannot be opened");
        continue;
      }
      Key(sub.get(), root, path + "\\" + name, depth + 1);
    }
  }

  void Values(HKEY key, const std::string& root, const std::string& path) {
    std::vector<char> name(16384);
    std::vector<BYTE> data(4096);
    for (DWORD i = 0;; ++i) {
      DWORD nameSize = static_cast<DWORD>(name.size());
      DWORD dataSize = static_cast<DWORD>(data.size());
      DWORD type = REG_NONE;
      const LONG rc = os_.RegEnumValueA(key, i, name.data(), &nameSize, nullptr,
                                        &type, data.data(), &dataSize);
      if (rc == ERROR_NO_MORE_ITEMS) return;
      if (rc == ERROR_MORE_DATA && dataSize > data.size() &&
          dataSize <= kMaxValueBytes) {
        data.resize(dataSize);
        --i;
        continue;
      }
      if (rc != ERROR_SUCCESS) {
        Limit("registry: the values of " + path + " stop at " +
              std::to_string(i) + " (error " + std::to_string(rc) + ")");
        return;
      }
      CapturedValue v;
      v.root = root;
      v.key = path;
      v.name.assign(name.data(), std::min<size_t>(nameSize, name.size() - 1));
      v.type = type;
      v.data.assign(data.begin(),
                    data.begin() + std::min<size_t>(dataSize, data.size()));
      out_.values.push_back(std::move(v));
    }
  }

  // --- Files --------------------------------------------------------------
  // The message files the setup files name (UNINST_MSG_DAT), whose text the
  // removal shows.
  void ReadMessageFileNames() {
    for (const char* file : kSetupFiles) {
      char name[MAX_PATH + 1] = {};
      os_.GetPrivateProfileStringA("UninstName", "UNINST_MSG_DAT", "", name,
                                   sizeof name, file);
      if (name[0] && !std::strpbrk(name, "\\/:"))
        messageFiles_.insert(AsciiLower(name));
    }
  }

  // Whether the library parses `name` in folder `dir`: setup files in the
  // Windows directory, the INF copies, the batch and the message files.
  bool Parsed(const std::string& dir, const std::string& name) const {
    const std::string folder = AsciiLower(dir);
    const std::string file = AsciiLower(name);
    if (folder == AsciiLower(out_.windowsDir))
      return EndsWith(file, ".sii") && file != "win.ini";
    if (folder == AsciiLower(out_.systemDir) + "\\kvdrv") return true;
    if (folder == AsciiLower(out_.systemDir))
      return file == "vt3e.bat" || messageFiles_.count(file) > 0;
    return false;
  }

  void AddDir(const std::string& path, const WIN32_FIND_DATAA& data) {
    CapturedFile f;
    f.path = path;
    f.directory = true;
    f.attributes = data.dwFileAttributes;
    f.time = Ticks(data.ftLastWriteTime);
    out_.files.push_back(std::move(f));
  }

  static unsigned long long Ticks(const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
           t.dwLowDateTime;
  }

  void Folder(const std::string& dir, size_t depth) {
    WIN32_FIND_DATAA data;
    std::vector<std::string> folders;
    {
      FindHandle find(os_, os_.FindFirstFileA((dir + "\\*").c_str(), &data));
      if (!find) {
        const DWORD error = os_.GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES)
          Limit("files: " + dir + " cannot be listed (error " +
                std::to_string(error) + ")");
        return;
      }
      do {
        data.cFileName[sizeof data.cFileName - 1] = '\0';
        const std::string name = data.cFileName;
        if (name.empty() || name == "." || name == "..") continue;
        if (++entries_ > kMaxFiles) {
          Limit("files: more than " + std::to_string(kMaxFiles) + " entries");
          return;
        }
        const std::string path = dir + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          AddDir(path, data);
          if (!(data.dwFileAttributes & kReparsePointAttribute))
            folders.push_back(name);
          continue;
        }
        CapturedFile f;
        f.path = path;
        f.size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) |
                 data.nFileSizeLow;
        f.attributes = data.dwFileAttributes;
        f.time = Ticks(data.ftLastWriteTime);
        if (f.size <= kCapturedContentLimit && Parsed(dir, name))
          f.hasContent = ReadWhole(path, f.size, &f.content);
        out_.files.push_back(std::move(f));
      } while (os_.FindNextFileA(find.get(), &data));
    }
    for (const std::string& name : folders) {
      if (depth + 1 >= kMaxDepth) {
        Limit("files: folders deeper than " + std::to_string(kMaxDepth) +
              " below " + dir + "\\" + name);
        continue;
      }
      Folder(dir + "\\" + name, depth + 1);
    }
  }

  bool ReadWhole(const std::string& path, unsigned long long size,
                 std::string* content) {
    KernelHandle file(os_, os_.CreateFileA(path.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) {
      Limit("files: " + path + " cannot be read (error " +
            std::to_string(os_.GetLastError()) + ")");
      return false;
    }
    content->assign(static_cast<size_t>(size), '\0');
    DWORD read = 0;
    if (size && (!os_.ReadFile(file.get(), content->data(),
                               static_cast<DWORD>(size), &read, nullptr) ||
                 read != size)) {
      Limit("files: " + path + " changed while it was read");
      content->clear();
      return false;
    }
    return true;
  }

  Platform& os_;
  Capture& out_;
  std::set<std::string> messageFiles_;
  size_t entries_ = 0;
};

// --- Text -------------------------------------------------------------------

std::string Records(const Capture& c, size_t* count) {
  std::ostringstream out;
  size_t n = 0;
  const auto line = [&](const std::string& text) {
    out << text << "\n";
    ++n;
  };
  line("system " + std::to_string(c.platform) + " " + std::to_string(c.major) +
       " " + std::to_string(c.minor) + " " + std::to_string(c.build) + " " +
       Quote(c.csd));
  line("folders " + Quote(c.windowsDir) + " " + Quote(c.systemDir) + " " +
       Quote(c.appDataDir));
  line("disk " + std::to_string(c.diskFree) + " " +
       std::to_string(c.diskTotal) + " " + std::to_string(c.codePage));
  for (const Capture::Tree& t : c.trees)
    line("tree " + t.root + " " + Quote(t.path));
  for (const Capture::Tree& k : c.keys)
    line("key " + k.root + " " + Quote(k.path));
  for (const CapturedValue& v : c.values)
    line("value " + v.root + " " + Quote(v.key) + " " + Quote(v.name) + " " +
         std::to_string(v.type) + " " +
         (v.data.empty() ? std::string("-")
                         : Hex(v.data.data(), v.data.size())));
  for (const Capture::IniEntry& e : c.ini)
    line("ini " + Quote(e.file) + " " + Quote(e.section) + " " + Quote(e.key) +
         " " + Quote(e.value));
  for (const Capture::Service& s : c.services)
    line("service " + Quote(s.name) + " " + std::to_string(s.state));
  for (const std::string& s : c.spooler) line(s);
  for (const CapturedFile& f : c.files) {
    char attributes[16];
    std::snprintf(attributes, sizeof attributes, "0x%lx",
                  static_cast<unsigned long>(f.attributes));
    if (f.directory) {
      line("dir " + Quote(f.path) + " " + attributes + " " +
           std::to_string(f.time));
      continue;
    }
    line("file " + Quote(f.path) + " " + std::to_string(f.size) + " " +
         attributes + " " + std::to_string(f.time) +
         (f.hasContent ? " " + Quote(f.content) : std::string()));
  }
  for (const std::string& l : c.limits) line("limit " + Quote(l));
  *count = n;
  return out.str();
}

bool Number(const Token& t, unsigned long long max, unsigned long long* v) {
  if (t.quoted || t.text.empty() || t.text.size() > 20) return false;
  int base = 10;
  size_t at = 0;
  if (t.text.size() > 2 && t.text[0] == '0' && t.text[1] == 'x') {
    base = 16;
    at = 2;
  }
  unsigned long long n = 0;
  for (; at < t.text.size(); ++at) {
    const char c = t.text[at];
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (d < 0) return false;
    if (n > (max - static_cast<unsigned long long>(d)) / base) return false;
    n = n * base + static_cast<unsigned long long>(d);
  }
  *v = n;
  return true;
}

bool Dword(const Token& t, DWORD* v) {
  unsigned long long n = 0;
  if (!Number(t, 0xFFFFFFFFull, &n)) return false;
  *v = static_cast<DWORD>(n);
  return true;
}

// What the writer never writes twice, and the bounds it keeps, followed
// while a capture is read: a record against them is refused by line.
constexpr const char* kHeadRecords[] = {"system", "folders", "disk"};

bool IsHeadRecord(const std::string& kind) {
  return std::any_of(std::begin(kHeadRecords), std::end(kHeadRecords),
                     [&](const char* k) { return kind == k; });
}

struct CaptureChecks {
  std::set<std::string> head;
  std::set<std::string> trees, keys, values, services, files;
  // Folders a file may lie in: the two roots and every dir record so far,
  // by their spelling in the capture.
  std::set<std::string> folders;
  size_t fileRecords = 0;
};

bool HasControlByte(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

bool LeadByte(unsigned codePage, unsigned char u) {
  return codePage == 932 &&
         ((u >= 0x81 && u <= 0x9F) || (u >= 0xE0 && u <= 0xFC));
}

// `text` with its ASCII capitals made small, a code page 932 trail byte
// left as it is: how Windows tells two names apart.
std::string FoldName(const std::string& text, unsigned codePage) {
  std::string out = text;
  for (size_t i = 0; i < out.size(); ++i) {
    const auto u = static_cast<unsigned char>(out[i]);
    if (LeadByte(codePage, u)) {
      ++i;
      continue;
    }
    if (u >= 'A' && u <= 'Z') out[i] = static_cast<char>(u + 32);
  }
  return out;
}

// The positions of the separators of `path`, whole characters only.
std::vector<size_t> Separators(const std::string& path, unsigned codePage) {
  std::vector<size_t> at;
  for (size_t i = 0; i < path.size(); ++i) {
    if (LeadByte(codePage, static_cast<unsigned char>(path[i])))
      ++i;
    else if (path[i] == '\\')
      at.push_back(i);
  }
  return at;
}

// The levels of a registry or file path.
size_t KeyDepth(const std::string& path, unsigned codePage) {
  return path.empty() ? 0 : Separators(path, codePage).size() + 1;
}

bool BelowTree(const std::string& folded, const std::string& tree) {
  return folded == tree || (folded.size() > tree.size() &&
                            folded.compare(0, tree.size(), tree) == 0 &&
                            folded[tree.size()] == '\\');
}

// A key record: below one of the capture's trees, within the writer's
// depth and Windows' limits, named once.
bool CheckKey(const Capture& c, const CaptureChecks& seen,
              const std::string& root, const std::string& path,
              std::string* folded, std::string* why) {
  *folded = root + "\\" + FoldName(path, c.codePage);
  const std::string* tree = nullptr;
  for (const std::string& t : seen.trees)
    if (BelowTree(*folded, t) && (!tree || t.size() > tree->size())) tree = &t;
  if (!tree) {
    *why = "the key " + root + "\\" + path + " lies in no tree of the capture";
    return false;
  }
  if (KeyDepth(*folded, c.codePage) > KeyDepth(*tree, c.codePage) + kMaxDepth ||
      KeyDepth(path, c.codePage) > kMaxWindowsKeyDepth) {
    *why = "the key " + root + "\\" + path +
           " lies deeper than the capture walks (" + std::to_string(kMaxDepth) +
           " levels)";
    return false;
  }
  std::vector<size_t> ends = Separators(path, c.codePage);
  ends.push_back(path.size());
  size_t start = 0;
  for (const size_t stop : ends) {
    if (stop - start > kMaxKeyName || stop == start) {
      *why = "a key name that is empty or longer than Windows' " +
             std::to_string(kMaxKeyName) + " characters";
      return false;
    }
    start = stop + 1;
  }
  return true;
}

// A file or folder name Windows can hold: no control byte, none of
// \/:*?"<>| (a '/' or NUL not even as a trail byte: the host reads them
// as its own), not ending in a dot or a blank (Windows drops those, so two
// spellings would name one file).
bool WindowsName(const std::string& name, unsigned codePage) {
  if (name.empty() || name == "." || name == ".." || name.back() == '.' ||
      name.back() == ' ' ||
      name.find_first_of(std::string("/\0", 2)) != std::string::npos)
    return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto u = static_cast<unsigned char>(name[i]);
    if (LeadByte(codePage, u)) {
      ++i;
      continue;
    }
    if (u < 0x20 || u == 0x7F || std::strchr("\\:*?\"<>|", u)) return false;
  }
  return true;
}

// A file or dir record: in the Windows directory or the product's user
// folder, in a folder recorded before it, within the writer's depth, under
// a name Windows can hold, and named once whatever its letter case.
bool CheckFile(const Capture& c, CaptureChecks* seen, const CapturedFile& f,
               std::string* why) {
  const size_t slash = LastBackslash(f.path, c.codePage);
  const std::string folder =
      slash == std::string::npos ? std::string() : f.path.substr(0, slash);
  const std::string name =
      slash == std::string::npos ? f.path : f.path.substr(slash + 1);
  const std::string korva =
      c.appDataDir.empty() ? std::string() : c.appDataDir + "\\Korva";
  if (++seen->fileRecords > kMaxFiles + 1) {
    *why = "more than " + std::to_string(kMaxFiles) +
           " files and folders, which the capture never records";
    return false;
  }
  if (!WindowsName(name, c.codePage)) {
    *why = "the name of " + f.path +
           " is none Windows can hold (a control byte, one of \\/:*?\"<>|, "
           "or a trailing dot or blank)";
    return false;
  }
  if (!seen->folders.count(folder) && !(f.directory && f.path == korva)) {
    *why = f.path + " lies in no folder recorded before it";
    return false;
  }
  if (KeyDepth(f.path, c.codePage) >
      kMaxDepth + KeyDepth(c.windowsDir, c.codePage) + 2) {
    *why = f.path + " lies deeper than the capture walks";
    return false;
  }
  if (!seen->files.insert(FoldName(f.path, c.codePage)).second) {
    *why = f.path +
           " is recorded twice (names are the same whatever their "
           "letter case)";
    return false;
  }
  if (!f.directory && c.diskTotal && f.size > c.diskTotal) {
    *why = f.path + " is larger than drive C:";
    return false;
  }
  if (f.directory) seen->folders.insert(f.path);
  return true;
}

// One record into `c`; false with `why` set.
bool ParseRecord(const std::vector<Token>& t, Capture* c, CaptureChecks* seen,
                 std::string* why) {
  const std::string& kind = t[0].text;
  const auto shape = [&](size_t n, const char* form) {
    if (t.size() == n) return true;
    *why = "a " + kind + " record reads " + form;
    return false;
  };
  const auto root = [&](const Token& r) {
    if (!r.quoted && CaptureRootKey(r.text)) return true;
    *why = "unknown registry root " + r.text;
    return false;
  };
  if (kind == "system") {
    if (!shape(6, "system PLATFORM MAJOR MINOR BUILD \"CSD\"")) return false;
    if (!Dword(t[1], &c->platform) || !Dword(t[2], &c->major) ||
        !Dword(t[3], &c->minor) || !Dword(t[4], &c->build) || !t[5].quoted) {
      *why = "a bad version record";
      return false;
    }
    c->csd = t[5].text;
    // The text goes to machine.ini, one line; Windows' record holds 128
    // bytes.
    if (HasControlByte(c->csd) || c->csd.size() >= 128) {
      *why =
          "the service pack text holds a control byte or is longer than "
          "Windows' 127 characters";
      return false;
    }
  } else if (kind == "folders") {
    if (!shape(4, "folders \"WINDOWS\" \"SYSTEM\" \"APPDATA\"")) return false;
    c->windowsDir = t[1].text;
    c->systemDir = t[2].text;
    c->appDataDir = t[3].text;
    for (size_t i = 1; i < 4; ++i) {
      if (HasControlByte(t[i].text) || t[i].text.size() >= MAX_PATH) {
        *why = "a folder holds a control byte or is longer than MAX_PATH";
        return false;
      }
    }
    seen->folders.insert(c->windowsDir);
    if (!c->appDataDir.empty()) seen->folders.insert(c->appDataDir + "\\Korva");
  } else if (kind == "disk") {
    unsigned long long codePage = 0;
    if (!shape(4, "disk FREE TOTAL CODEPAGE")) return false;
    if (!Number(t[1], ~0ull, &c->diskFree) ||
        !Number(t[2], ~0ull, &c->diskTotal) ||
        !Number(t[3], 65535, &codePage)) {
      *why = "a bad disk size or code page";
      return false;
    }
    c->codePage = static_cast<unsigned>(codePage);
  } else if (kind == "tree" || kind == "key") {
    if (!shape(3, "ROOT \"PATH\"") || !root(t[1])) return false;
    std::string folded = t[1].text + "\\" + FoldName(t[2].text, c->codePage);
    if (kind == "tree") {
      if (!KnownTree(t[1].text, t[2].text)) {
        *why = "the tree " + t[1].text + "\\" + t[2].text +
               " is none the capture walks";
        return false;
      }
      if (!seen->trees.insert(folded).second) {
        *why = "the tree " + t[1].text + "\\" + t[2].text + " is listed twice";
        return false;
      }
    } else {
      if (!CheckKey(*c, *seen, t[1].text, t[2].text, &folded, why))
        return false;
      if (seen->keys.size() >= kMaxKeys + kTreeCount) {
        *why = "more than " + std::to_string(kMaxKeys) +
               " keys, which the capture never records";
        return false;
      }
      if (!seen->keys.insert(folded).second) {
        *why = "the key " + t[1].text + "\\" + t[2].text +
               " is recorded twice (names are the same whatever their letter "
               "case)";
        return false;
      }
    }
    (kind == "tree" ? c->trees : c->keys).push_back({t[1].text, t[2].text});
  } else if (kind == "value") {
    if (!shape(6, "value ROOT \"KEY\" \"NAME\" TYPE HEX") || !root(t[1]))
      return false;
    CapturedValue v;
    v.root = t[1].text;
    v.key = t[2].text;
    v.name = t[3].text;
    if (!Dword(t[4], &v.type) ||
        (t[5].text != "-" &&
         (t[5].quoted || t[5].text.size() > 2 * kMaxValueBytes ||
          !ParseHex(t[5].text, &v.data)))) {
      *why = "a bad value type or data (at most " +
             std::to_string(kMaxValueBytes) + " bytes)";
      return false;
    }
    const std::string key = v.root + "\\" + FoldName(v.key, c->codePage);
    if (!seen->keys.count(key)) {
      *why = "a value of the key " + v.root + "\\" + v.key +
             ", which no key record before it names";
      return false;
    }
    if (v.name.size() > 16383 ||
        !seen->values.insert(key + '\0' + FoldName(v.name, c->codePage))
             .second) {
      *why = "the value \"" + v.name + "\" of " + v.root + "\\" + v.key +
             " is recorded twice or its name is longer than Windows' 16383 "
             "characters";
      return false;
    }
    c->values.push_back(std::move(v));
  } else if (kind == "ini") {
    if (!shape(5, "ini \"FILE\" \"SECTION\" \"KEY\" \"VALUE\"")) return false;
    if (!KnownSection(t[1].text, t[2].text)) {
      *why = "[" + t[2].text + "] of " + t[1].text +
             " is no profile section the capture records";
      return false;
    }
    // A line break would make lines of its own in the copy's profile file;
    // '=' ends a key there.
    if (HasControlByte(t[3].text) || t[3].text.find('=') != std::string::npos ||
        t[4].text.find_first_of(std::string("\r\n\0", 3)) !=
            std::string::npos) {
      *why = "a profile entry holds a line break (or its key an '=')";
      return false;
    }
    c->ini.push_back({t[1].text, t[2].text, t[3].text, t[4].text});
  } else if (kind == "service") {
    Capture::Service s;
    if (!shape(3, "service \"NAME\" STATE")) return false;
    s.name = t[1].text;
    if (!Dword(t[2], &s.state) || s.state < SERVICE_STOPPED ||
        s.state > SERVICE_PAUSED) {
      *why = "a bad service state";
      return false;
    }
    // The name goes to machine.ini, one line.
    if (s.name.empty() || HasControlByte(s.name) || s.name.size() > 256 ||
        s.name[0] == '[') {
      *why = "a service name that is empty, too long or holds a control byte";
      return false;
    }
    if (!seen->services.insert(FoldName(s.name, c->codePage)).second ||
        seen->services.size() > kMaxServices) {
      *why = "the service " + s.name + " is recorded twice, or more than " +
             std::to_string(kMaxServices) + " services are";
      return false;
    }
    c->services.push_back(s);
  } else if (kind == "dir" || kind == "file") {
    CapturedFile f;
    f.directory = kind == "dir";
    const size_t fixed = f.directory ? 4 : 5;
    if (t.size() != fixed && (f.directory || t.size() != fixed + 1)) {
      *why = f.directory ? "a dir record reads dir \"PATH\" ATTRIBUTES TIME"
                         : "a file record reads file \"PATH\" SIZE ATTRIBUTES "
                           "TIME [\"CONTENT\"]";
      return false;
    }
    f.path = t[1].text;
    size_t at = 2;
    bool ok = t[1].quoted;
    if (!f.directory) ok = ok && Number(t[at++], ~0ull, &f.size);
    ok = ok && Dword(t[at++], &f.attributes) && Number(t[at++], ~0ull, &f.time);
    if (ok && t.size() == fixed + 1) {
      f.hasContent = true;
      f.content = t[fixed].text;
      ok = t[fixed].quoted && f.content.size() == f.size &&
           f.size <= kCapturedContentLimit;
    }
    if (!ok) {
      *why = "a bad size, attributes, time or content (content of at most " +
             std::to_string(kCapturedContentLimit) + " bytes)";
      return false;
    }
    if (!CheckFile(*c, seen, f, why)) return false;
    c->files.push_back(std::move(f));
  } else if (kind == "spooler") {
    std::string line = "spooler";
    for (size_t i = 1; i < t.size(); ++i)
      line += " " + (t[i].quoted ? Quote(t[i].text) : t[i].text);
    c->spooler.push_back(line);
  } else if (kind == "limit") {
    if (!shape(2, "limit \"TEXT\"")) return false;
    c->limits.push_back(t[1].text);
  } else {
    *why = "unknown record " + kind;
    return false;
  }
  return true;
}

}  // namespace

size_t LastBackslash(const std::string& path, unsigned codePage) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    if (LeadByte(codePage, static_cast<unsigned char>(path[i])))
      ++i;
    else if (path[i] == '\\')
      last = i;
  }
  return last;
}

HKEY CaptureRootKey(const std::string& name) {
  for (const RootInfo& r : kRoots)
    if (name == r.name) return r.key;
  return nullptr;
}

Capture TakeCapture(Platform& os) {
  Capture c;
  Recorder r(os, &c);
  r.System();
  r.Folders();
  r.Disk();
  r.Registry();
  r.Ini();
  r.Services();
  r.Spooler();
  r.Files();
  return c;
}

std::string CaptureText(const Capture& capture) {
  size_t count = 0;
  const std::string head =
      std::string(kMagic) + " " + std::to_string(kFormatVersion) + "\n";
  const std::string body = head + Records(capture, &count);
  const DWORD sum =
      Fnv1a(reinterpret_cast<const BYTE*>(body.data()), body.size());
  return body + "end " + std::to_string(count) + " fnv1a " + Hex32(sum) + "\n";
}

bool WriteCapture(const Capture& capture, const std::string& path,
                  std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::string text = CaptureText(capture);
  if (out) out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) {
    *error = "cannot write the capture " + path;
    return false;
  }
  return true;
}

bool ParseCapture(const std::string& text, const std::string& fileName,
                  Capture* capture, std::string* error) {
  Capture c;
  CaptureChecks checks;
  size_t lineNo = 0, records = 0, start = 0;
  const auto fail = [&](const std::string& why) {
    // A forged name can be a whole line long: the reason stays readable.
    constexpr size_t kLongest = 400;
    *error =
        fileName + ":" + std::to_string(lineNo) + ": " +
        (why.size() > kLongest ? why.substr(0, kLongest) + "... (cut)" : why);
    return false;
  };
  // An edited file is told as edited, whatever its edit broke first (once
  // its first line says it is a capture of this format).
  const auto edited = [&]() {
    if (text.size() > 1 && text.back() == '\n') {
      const size_t last = text.rfind('\n', text.size() - 2);
      const size_t lastStart = last == std::string::npos ? 0 : last + 1;
      std::vector<Token> t;
      std::string ignored;
      DWORD sum = 0;
      if (Tokenize(text.substr(lastStart, text.size() - 1 - lastStart), &t,
                   &ignored) &&
          t.size() == 4 && !t[0].quoted && t[0].text == "end" &&
          t[2].text == "fnv1a" && Dword(t[3], &sum) &&
          Fnv1a(reinterpret_cast<const BYTE*>(text.data()), lastStart) != sum) {
        lineNo =
            static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
        *error = fileName + ":" + std::to_string(lineNo) +
                 ": the checksum does not match: the capture was changed after "
                 "it was taken";
        return true;
      }
    }
    return false;
  };
  bool ended = false;
  while (start < text.size()) {
    ++lineNo;
    size_t stop = text.find('\n', start);
    if (stop == std::string::npos)
      return fail("the line has no end: the capture is cut short");
    const std::string line = text.substr(start, stop - start);
    const size_t lineStart = start;
    start = stop + 1;
    if (ended) return fail("text after the end line");
    for (unsigned char ch : line) {
      if (ch < 0x20 || ch > 0x7E) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", ch);
        return fail(std::string("byte ") + hex +
                    " is not text: not a capture, or a damaged one");
      }
    }
    std::vector<Token> t;
    std::string why;
    if (!Tokenize(line, &t, &why)) return fail(why);
    if (lineNo == 1) {
      unsigned long long version = 0;
      if (t.size() != 2 || t[0].quoted || t[0].text != kMagic ||
          !Number(t[1], 1000000, &version))
        return fail(
            "not a capture (the first line is not \"kvsup-capture "
            "VERSION\")");
      if (version != kFormatVersion)
        return fail("format " + std::to_string(version) +
                    (version > kFormatVersion ? ", newer than" : ", not") +
                    " the format " + std::to_string(kFormatVersion) +
                    " this kvsup-host reads");
      if (edited()) return false;
      continue;
    }
    if (t.empty()) return fail("an empty line");
    if (t[0].quoted) return fail("a line must begin with its record's kind");
    if (t[0].text == "end") {
      unsigned long long count = 0;
      DWORD sum = 0;
      if (t.size() != 4 || !Number(t[1], ~0ull, &count) ||
          t[2].text != "fnv1a" || !Dword(t[3], &sum))
        return fail("the end line reads end COUNT fnv1a CHECKSUM");
      if (count != records)
        return fail("the end line counts " + std::to_string(count) +
                    " records, the file has " + std::to_string(records));
      if (Fnv1a(reinterpret_cast<const BYTE*>(text.data()), lineStart) != sum)
        return fail(
            "the checksum does not match: the capture was changed after it "
            "was taken");
      ended = true;
      continue;
    }
    // The writer begins with these three, once each: the rest is read
    // against them (the code page, the folders).
    const bool head = IsHeadRecord(t[0].text);
    if (head && !checks.head.insert(t[0].text).second)
      return fail("a second " + t[0].text + " record");
    if (head && checks.head.size() != records + 1)
      return fail("the " + t[0].text +
                  " record comes after other records; the writer writes it "
                  "first");
    if (!ParseRecord(t, &c, &checks, &why)) return fail(why);
    ++records;
  }
  if (!ended) {
    lineNo = std::max<size_t>(lineNo, 1);
    return fail("no end line: the capture is cut short");
  }
  for (const char* kind : kHeadRecords) {
    if (!checks.head.count(kind))
      return fail(std::string("the capture has no ") + kind +
                  " record, which the writer always writes");
  }
  if (checks.trees.size() != kTreeCount)
    return fail("the capture lists " + std::to_string(checks.trees.size()) +
                " registry trees; the writer always lists all " +
                std::to_string(kTreeCount));
  if (c.windowsDir.empty() && c.systemDir.empty())
    return fail("the capture names no Windows directory");
  *capture = std::move(c);
  return true;
}

bool ReadCapture(const std::string& path, Capture* capture,
                 std::string* error) {
  std::string text;
  if (!ReadTextFileBounded(path, kCaptureFileLimit, &text, error)) {
    *error = "cannot read the capture " + *error;
    return false;
  }
  return ParseCapture(text, path, capture, error);
}

}  // namespace kv::host
