// Profile (INI) files of the simulated machine, read and written with
// Windows' rules. Checked against Wine by tests/wine/probes/profile_probe.cpp;
// where Wine departs from what Windows documents, Windows is followed and the
// place says so.
//
// The file is kept as its lines: a write changes, adds or removes only the
// lines it must, so comments and the layout of other lines survive as they do
// on Windows (Wine rewrites the whole file from its parse instead).
//
// A parsed file is kept, with an index of its sections and keys, until the
// file changes: a setup file of thousands of models is read key by key, and
// parsing it on every read made one model lookup quadratic in its size.
#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>

#include "sim/file_paths.h"
#include "sim/host_files.h"
#include "sim/sim_internal.h"

namespace kv::sim {

namespace {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

struct IniLine {
  enum Kind { Blank, Comment, Header, Entry } kind = Blank;
  std::string text;       // the line as in the file, without its line end
  std::string name;       // section name or key, trimmed
  std::string value;      // trimmed
  bool hasValue = false;  // "key=..." rather than a bare "key"
};

IniLine ParseLine(const std::string& text) {
  IniLine l;
  l.text = text;
  const std::string t = Trim(text);
  if (t.empty()) return l;
  if (t[0] == ';') {
    l.kind = IniLine::Comment;
    return l;
  }
  if (t[0] == '[') {
    const size_t close = t.rfind(']');
    if (close == std::string::npos) {
      l.kind = IniLine::Comment;  // not a header: ignored like a comment
      return l;
    }
    l.kind = IniLine::Header;
    l.name = Trim(t.substr(1, close - 1));
    return l;
  }
  l.kind = IniLine::Entry;
  const size_t eq = t.find('=');
  if (eq == std::string::npos) {
    l.name = t;
  } else {
    l.name = Trim(t.substr(0, eq));
    l.value = Trim(t.substr(eq + 1));
    l.hasValue = true;
  }
  return l;
}

struct IniFile {
  std::vector<IniLine> lines;
  // First header of each section name, first entry of each key per header:
  // kept only while `lines` is as parsed (a write drops it).
  bool indexed = false;
  std::map<std::string, int, CaseLess> sections;
  std::map<int, std::map<std::string, int, CaseLess>> keys;

  void BuildIndex() {
    int header = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
      const IniLine& l = lines[i];
      if (l.kind == IniLine::Header) {
        header = static_cast<int>(i);
        sections.emplace(l.name, header);
      } else if (l.kind == IniLine::Entry && header >= 0) {
        keys[header].emplace(l.name, static_cast<int>(i));
      }
    }
    indexed = true;
  }

  void DropIndex() {
    indexed = false;
    sections.clear();
    keys.clear();
  }

  void Parse(const std::string& content) {
    size_t start = 0;
    while (start < content.size()) {
      size_t end = content.find('\n', start);
      if (end == std::string::npos) end = content.size();
      std::string line = content.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(ParseLine(line));
      start = end + 1;
    }
  }

  std::string Text() const {
    std::string out;
    for (const auto& l : lines) out += l.text + "\r\n";
    return out;
  }

  // Index of the header of `section`, or -1.
  int FindSection(const std::string& section) const {
    const std::string want = Trim(section);
    if (indexed) {
      auto it = sections.find(want);
      return it == sections.end() ? -1 : it->second;
    }
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].kind == IniLine::Header && EqualNoCase(lines[i].name, want))
        return static_cast<int>(i);
    return -1;
  }

  // One past the last line of the section whose header is at `header`.
  size_t SectionEnd(int header) const {
    size_t i = static_cast<size_t>(header) + 1;
    while (i < lines.size() && lines[i].kind != IniLine::Header) ++i;
    return i;
  }

  // Index of the entry `key` in the section at `header`, or -1.
  int FindKey(int header, const std::string& key) const {
    const std::string want = Trim(key);
    if (indexed) {
      auto section = keys.find(header);
      if (section == keys.end()) return -1;
      auto it = section->second.find(want);
      return it == section->second.end() ? -1 : it->second;
    }
    const size_t end = SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i)
      if (lines[i].kind == IniLine::Entry && EqualNoCase(lines[i].name, want))
        return static_cast<int>(i);
    return -1;
  }
};

// A profile file named by a caller: a bare name is in the Windows directory.
// In code page 932 a 0x5C trail byte is part of a character, not a folder.
std::string ProfilePath(const std::string& windowsDir, LPCSTR file,
                        UINT codePage) {
  if (!file) return windowsDir + "\\win.ini";
  const std::string f = file;
  for (size_t i = 0; i < f.size(); ++i) {
    if (IsLeadByteOf(codePage, static_cast<unsigned char>(f[i])) &&
        i + 1 < f.size())
      ++i;
    else if (f[i] == '\\' || f[i] == '/')
      return f;
  }
  return windowsDir + "\\" + f;
}

// What tells one state of a host file from another without reading it.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  timespec changed{};
};

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool NotBefore(const timespec& a, const timespec& b) {
  return a.tv_sec > b.tv_sec ||
         (a.tv_sec == b.tv_sec && a.tv_nsec >= b.tv_nsec);
}

bool SameStamp(const FileStamp& a, const FileStamp& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size &&
         SameTime(a.modified, b.modified) && SameTime(a.changed, b.changed);
}

struct CachedIni {
  FileStamp stamp;
  // The file system's coarse clock when `content` was last read: a change
  // stamped at or after it may not show in the stamp (a second write in the
  // same clock tick keeps size and times), so such a file is read again and
  // compared.
  timespec readAt{};
  std::string content;
  IniFile ini;
};

struct ProfileCache : SimPlatform::Extension {
  std::map<std::string, CachedIni> files;  // by host path
  size_t parses = 0;
};

ProfileCache& CacheOf(SimPlatform& os) {
  return os.extension<ProfileCache>("profile.cache");
}

// The parsed file, or null when it does not exist (or is not a file).
const IniFile* LoadIni(SimPlatform& os, const ResolvedPath& p) {
  ProfileCache& cache = CacheOf(os);
  struct stat st;
  if (p.error || KindOf(p.host) != HostKind::File ||
      stat(p.host.c_str(), &st) != 0) {
    cache.files.erase(p.host);
    return nullptr;
  }
  FileStamp stamp;
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = st.st_size;
  stamp.modified = st.st_mtim;
  stamp.changed = st.st_ctim;
  auto it = cache.files.find(p.host);
  if (it != cache.files.end() && SameStamp(it->second.stamp, stamp) &&
      !NotBefore(stamp.modified, it->second.readAt) &&
      !NotBefore(stamp.changed, it->second.readAt))
    return &it->second.ini;
  timespec now{};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  std::string content;
  // A profile file past its bound (or a FIFO in its place) is read as none.
  if (ReadHostFile(p.host, kProfileFileLimit, &content) != HostRead::Ok) {
    cache.files.erase(p.host);
    return nullptr;
  }
  CachedIni& entry = cache.files[p.host];
  entry.stamp = stamp;
  entry.readAt = now;
  if (it == cache.files.end() || entry.content != content) {
    entry.content = std::move(content);
    entry.ini = IniFile();
    entry.ini.Parse(entry.content);
    entry.ini.BuildIndex();
    ++cache.parses;
  }
  return &entry.ini;
}

// Whether a profile file is a placeholder, whose lines were never captured:
// it is read as no file at all, and never written.
bool Offline(SimPlatform& os, const ResolvedPath& p) {
  return !p.error && Files(os, os.machineDir()).IsPlaceholder(p.key);
}

// Forgets the parse of a file this machine has just written.
void Forget(SimPlatform& os, const ResolvedPath& p) {
  CacheOf(os).files.erase(p.host);
}

// Copies `text` cut to size - 1 with its terminator; the count stored. A
// double-byte character the cut would halve is left out, as Windows' read
// converts whole characters only.
DWORD CopyCut(const std::string& text, LPSTR out, DWORD size, UINT codePage) {
  if (!out || size == 0) return 0;
  size_t n = 0;
  while (n < text.size() && n < size - 1) {
    const size_t step =
        IsLeadByteOf(codePage, static_cast<unsigned char>(text[n])) &&
                n + 1 < text.size()
            ? 2
            : 1;
    if (n + step > size - 1) break;
    n += step;
  }
  std::memcpy(out, text.data(), n);
  out[n] = 0;
  return static_cast<DWORD>(n);
}

// Copies a list of NUL-terminated strings closed by a further NUL. When it
// does not fit, the list is cut, closed by two NULs in the last two bytes, and
// the result is size - 2 (as Windows documents; Wine leaves the last byte
// unwritten for key and section names). `cut` tells the caller.
DWORD CopyList(const std::vector<std::string>& items, LPSTR out, DWORD size,
               bool* cut) {
  *cut = false;
  std::string all;
  for (const auto& i : items) {
    all += i;
    all += '\0';
  }
  all += '\0';
  if (!out || size == 0) return 0;
  if (all.size() <= size) {
    std::memcpy(out, all.data(), all.size());
    return static_cast<DWORD>(all.size() - 1);
  }
  *cut = true;
  if (size == 1) {
    out[0] = 0;
    return 0;
  }
  std::memcpy(out, all.data(), size - 2);
  out[size - 2] = 0;
  out[size - 1] = 0;
  return size - 2;
}

// The default a caller gave: null reads as "", trailing blanks go.
std::string DefaultText(LPCSTR deflt) {
  std::string d = deflt ? deflt : "";
  while (!d.empty() && d.back() == ' ') d.pop_back();
  return d;
}

std::string StripQuotes(const std::string& v) {
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
    return v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

// The shared read of GetPrivateProfileStringA and GetProfileStringA.
static DWORD ReadProfileString(SimPlatform& os, const std::string& path,
                               LPCSTR section, LPCSTR key, LPCSTR deflt,
                               LPSTR out, DWORD size, DWORD* error) {
  static const IniFile kNoFile;
  const ResolvedPath p = ResolveWinPath(os.machineDir(), path, os.codePage());
  const bool offline = Offline(os, p);
  const IniFile* file = offline ? nullptr : LoadIni(os, p);
  *error = offline ? ERROR_FILE_OFFLINE
           : file  ? ERROR_SUCCESS
                   : ERROR_FILE_NOT_FOUND;
  const IniFile& ini = file ? *file : kNoFile;
  bool cut = false;
  if (!section) {
    std::vector<std::string> names;
    for (const auto& l : ini.lines)
      if (l.kind == IniLine::Header) names.push_back(l.name);
    if (names.empty()) return CopyCut("", out, size, os.codePage());
    return CopyList(names, out, size, &cut);
  }
  const int header = ini.FindSection(section);
  if (!key) {
    std::vector<std::string> keys;
    if (header >= 0) {
      const size_t end = ini.SectionEnd(header);
      for (size_t i = header + 1; i < end; ++i)
        if (ini.lines[i].kind == IniLine::Entry && ini.lines[i].hasValue)
          keys.push_back(ini.lines[i].name);
    }
    if (keys.empty())
      return CopyCut(DefaultText(deflt), out, size, os.codePage());
    return CopyList(keys, out, size, &cut);
  }
  const int line = header >= 0 ? ini.FindKey(header, key) : -1;
  if (line < 0 || !ini.lines[line].hasValue)
    return CopyCut(DefaultText(deflt), out, size, os.codePage());
  return CopyCut(StripQuotes(ini.lines[line].value), out, size, os.codePage());
}

// The shared write of WritePrivateProfileStringA and WriteProfileStringA.
static DWORD WriteProfileEntry(SimPlatform& os, const std::string& path,
                               LPCSTR section, LPCSTR key, LPCSTR value) {
  const std::string& machineDir = os.machineDir();
  ResolvedPath p = ResolveWinPath(machineDir, path, os.codePage());
  if (p.error) return p.error;
  const HostKind kind = KindOf(p.host);
  if (kind == HostKind::Directory) return ERROR_ACCESS_DENIED;
  if (kind == HostKind::Missing && !ParentExists(p))
    return ERROR_PATH_NOT_FOUND;
  if (kind == HostKind::File && Offline(os, p)) return ERROR_FILE_OFFLINE;
  IniFile ini;
  const IniFile* current = LoadIni(os, p);
  const bool exists = current != nullptr;
  if (exists) ini = *current;
  ini.DropIndex();
  const bool deleting = !key || !value;
  if (!exists && deleting) return ERROR_SUCCESS;  // nothing to remove
  if (exists &&
      (Files(os, machineDir).Stored(p.key, false) & FILE_ATTRIBUTE_READONLY))
    return ERROR_ACCESS_DENIED;
  if (exists && os.IsFileInUse(p.win)) return ERROR_SHARING_VIOLATION;

  const int header = ini.FindSection(section);
  if (!key) {
    if (header < 0) return ERROR_SUCCESS;
    ini.lines.erase(ini.lines.begin() + header,
                    ini.lines.begin() + ini.SectionEnd(header));
  } else if (!value) {
    const int line = header >= 0 ? ini.FindKey(header, key) : -1;
    if (line < 0) return ERROR_SUCCESS;
    ini.lines.erase(ini.lines.begin() + line);
  } else {
    const std::string k = Trim(key);
    const std::string v = Trim(value);
    if (header < 0) {
      ini.lines.push_back(ParseLine("[" + Trim(section) + "]"));
      ini.lines.push_back(ParseLine(k + "=" + v));
    } else {
      const int line = ini.FindKey(header, key);
      if (line >= 0) {
        // The key keeps the spelling it has in the file.
        ini.lines[line] = ParseLine(ini.lines[line].name + "=" + v);
      } else {
        // After the section's last non-blank line, so a blank line that
        // separates it from the next section stays where it is.
        size_t at = ini.SectionEnd(header);
        while (at > static_cast<size_t>(header) + 1 &&
               ini.lines[at - 1].kind == IniLine::Blank)
          --at;
        ini.lines.insert(ini.lines.begin() + at, ParseLine(k + "=" + v));
      }
    }
  }
  Forget(os, p);
  return WriteHostFile(p.host, ini.Text()) ? ERROR_SUCCESS
                                           : ERROR_ACCESS_DENIED;
}

// The shared tail of WritePrivateProfileStringA and WriteProfileStringA:
// all three arguments null is a flush of the profile cache, which Windows
// documents as answering FALSE whatever happens (Wine answers the same for
// both); a null section fails as Wine fails it; anything else is written.
// The result, and in `error` the last error to leave when it is FALSE.
static BOOL WriteProfileCall(SimPlatform& os, const std::string& path,
                             LPCSTR section, LPCSTR key, LPCSTR value,
                             DWORD* error) {
  if (!section && !key && !value) {
    Forget(os, ResolveWinPath(os.machineDir(), path, os.codePage()));
    *error = ERROR_SUCCESS;
    return FALSE;
  }
  if (!section) {
    *error = ERROR_FILE_NOT_FOUND;
    return FALSE;
  }
  *error = WriteProfileEntry(os, path, section, key, value);
  return *error ? FALSE : TRUE;
}

size_t SimPlatform::ProfileParses() { return CacheOf(*this).parses; }

DWORD SimPlatform::GetPrivateProfileStringA(LPCSTR section, LPCSTR key,
                                            LPCSTR deflt, LPSTR out, DWORD size,
                                            LPCSTR file) {
  if (Enter("GetPrivateProfileStringA",
            ArgText(section) + ", " + ArgText(key) + ", " + ArgText(deflt) +
                ", " + std::to_string(size) + ", " + ArgText(file)))
    return 0;
  DWORD error = 0;
  const DWORD n =
      ReadProfileString(*this, ProfilePath(windowsDir(), file, codePage_),
                        section, key, deflt, out, size, &error);
  lastError_ = error;
  if (error == ERROR_FILE_OFFLINE) RefuseOffline(std::to_string(n));
  return n;
}

UINT SimPlatform::GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT deflt,
                                        LPCSTR file) {
  if (Enter("GetPrivateProfileIntA", ArgText(section) + ", " + ArgText(key) +
                                         ", " + std::to_string(deflt) + ", " +
                                         ArgText(file)))
    return static_cast<UINT>(deflt);
  char buf[64];
  DWORD error = 0;
  // Read with an empty default: an empty or missing value gives `deflt`.
  const DWORD n =
      (section && key)
          ? ReadProfileString(*this, ProfilePath(windowsDir(), file, codePage_),
                              section, key, "", buf, sizeof buf, &error)
          : 0;
  lastError_ = error;
  if (error == ERROR_FILE_OFFLINE)
    RefuseOffline(std::to_string(static_cast<UINT>(deflt)));
  if (n == 0) return static_cast<UINT>(deflt);
  // Leading sign, then "0x" hexadecimal or decimal digits up to the first
  // other character (Wine, whose table of these cases was checked against
  // Windows); no digits read as 0. Wraps modulo 2^32 like the original.
  const char* s = buf;
  bool negative = false;
  if (*s == '-' || *s == '+') negative = *s++ == '-';
  UINT base = 10;
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s += 2;
  }
  UINT v = 0;
  for (;; ++s) {
    UINT d;
    if (*s >= '0' && *s <= '9')
      d = static_cast<UINT>(*s - '0');
    else if (base == 16 && UpperAscii(*s) >= 'A' && UpperAscii(*s) <= 'F')
      d = static_cast<UINT>(UpperAscii(*s) - 'A' + 10);
    else
      break;
    v = v * base + d;
  }
  return negative ? 0u - v : v;
}

DWORD SimPlatform::GetPrivateProfileSectionA(LPCSTR section, LPSTR out,
                                             DWORD size, LPCSTR file) {
  if (Enter("GetPrivateProfileSectionA", ArgText(section) + ", " +
                                             std::to_string(size) + ", " +
                                             ArgText(file)))
    return 0;
  static const IniFile kNoFile;
  const ResolvedPath p = ResolveWinPath(
      machineDir_, ProfilePath(windowsDir(), file, codePage_), codePage_);
  if (Offline(*this, p)) {
    // Read as a missing file's: an empty list.
    if (out && size > 0 && section) {
      out[0] = 0;
      if (size > 1) out[1] = 0;
    }
    RefuseOffline("0");
    return 0;
  }
  const IniFile* found = LoadIni(*this, p);
  lastError_ = found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  const IniFile& ini = found ? *found : kNoFile;
  if (!out || size == 0 || !section) return 0;
  std::vector<std::string> lines;
  const int header = ini.FindSection(section);
  if (header >= 0) {
    const size_t end = ini.SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i) {
      const IniLine& l = ini.lines[i];
      if (l.kind != IniLine::Entry) continue;
      lines.push_back(l.hasValue ? l.name + "=" + l.value : l.name);
    }
  }
  if (lines.empty()) {
    // An empty section reads as an empty list: two NULs.
    out[0] = 0;
    if (size > 1) out[1] = 0;
    return 0;
  }
  bool cut = false;
  const DWORD n = CopyList(lines, out, size, &cut);
  if (cut) lastError_ = ERROR_INSUFFICIENT_BUFFER;
  return n;
}

BOOL SimPlatform::WritePrivateProfileStringA(LPCSTR section, LPCSTR key,
                                             LPCSTR value, LPCSTR file) {
  if (Enter("WritePrivateProfileStringA",
            ArgText(section) + ", " + ArgText(key) + ", " + ArgText(value) +
                ", " + ArgText(file)))
    return FALSE;
  DWORD error = 0;
  const BOOL ok =
      WriteProfileCall(*this, ProfilePath(windowsDir(), file, codePage_),
                       section, key, value, &error);
  if (!ok) lastError_ = error;
  if (error == ERROR_FILE_OFFLINE) RefuseOffline("FALSE");
  return ok;
}

DWORD SimPlatform::GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR deflt,
                                     LPSTR out, DWORD size) {
  if (Enter("GetProfileStringA", ArgText(section) + ", " + ArgText(key) + ", " +
                                     ArgText(deflt) + ", " +
                                     std::to_string(size)))
    return 0;
  DWORD error = 0;
  const DWORD n = ReadProfileString(*this, windowsDir() + "\\win.ini", section,
                                    key, deflt, out, size, &error);
  lastError_ = error;
  if (error == ERROR_FILE_OFFLINE) RefuseOffline(std::to_string(n));
  return n;
}

BOOL SimPlatform::WriteProfileStringA(LPCSTR section, LPCSTR key,
                                      LPCSTR value) {
  if (Enter("WriteProfileStringA",
            ArgText(section) + ", " + ArgText(key) + ", " + ArgText(value)))
    return FALSE;
  DWORD error = 0;
  const BOOL ok = WriteProfileCall(*this, windowsDir() + "\\win.ini", section,
                                   key, value, &error);
  if (!ok) lastError_ = error;
  if (error == ERROR_FILE_OFFLINE) RefuseOffline("FALSE");
  return ok;
}

}  // namespace kv::sim
