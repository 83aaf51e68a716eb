#include "host/capture_load.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <unordered_map>

#include "foundation/printable.h"
#include "foundation/text.h"
#include "host/record_text.h"
#include "host/snapshot.h"
#include "sim/file_paths.h"
#include "sim/host_files.h"
#include "sim/sim_services.h"

namespace kv::host {
namespace {

namespace fs = std::filesystem;

// Removes the key at `path` with everything below it.
void DeleteTree(sim::SimPlatform& os, HKEY root, const std::string& path) {
  const size_t slash = text::FindLast(os, path, '\\');
  sim::RegNode* parent =
      os.FindKey(root, slash == std::string::npos ? "" : path.substr(0, slash));
  if (parent)
    parent->subkeys.erase(slash == std::string::npos ? path
                                                     : path.substr(slash + 1));
}

void LoadRegistry(const Capture& c, sim::SimPlatform& os) {
  for (const Capture::Tree& t : c.trees)
    DeleteTree(os, CaptureRootKey(t.root), t.path);
  for (const Capture::Tree& k : c.keys)
    os.CreateKeyPath(CaptureRootKey(k.root), k.path);
  for (const CapturedValue& v : c.values) {
    sim::RegNode* key = os.CreateKeyPath(CaptureRootKey(v.root), v.key);
    if (!key) continue;
    sim::RegValue value;
    value.name = v.name;
    value.type = v.type;
    value.data = v.data;
    key->values[v.name] = std::move(value);
  }
}

// Each profile file is written once, whole: an entry at a time through the
// profile calls reads and writes the file again for every entry, which a
// capture of 16,000 entries makes minutes. Each entry lands in its section
// as the capture lists it: a key a section holds twice (a hand-edited
// win.ini) is kept twice, and read as Windows reads it, the first.
void LoadIni(const Capture& c, sim::SimPlatform& os) {
  struct Section {
    std::string name, lines;
  };
  struct File {
    std::string name;
    std::vector<Section> sections;
  };
  std::vector<File> files;
  for (const Capture::IniEntry& e : c.ini) {
    // The NT family keeps these two in the user's registry keys, loaded
    // with the registry; the simulated machine reads them only there.
    if (AsciiLower(e.file) == "win.ini" &&
        c.platform == VER_PLATFORM_WIN32_NT &&
        (AsciiLower(e.section) == "devices" ||
         AsciiLower(e.section) == "printerports"))
      continue;
    auto file = std::find_if(files.begin(), files.end(), [&](const File& f) {
      return AsciiLower(f.name) == AsciiLower(e.file);
    });
    if (file == files.end()) file = files.insert(files.end(), {e.file, {}});
    auto section = std::find_if(
        file->sections.begin(), file->sections.end(), [&](const Section& s) {
          return AsciiLower(s.name) == AsciiLower(e.section);
        });
    if (section == file->sections.end())
      section = file->sections.insert(file->sections.end(), {e.section, ""});
    section->lines += e.key + "=" + e.value + "\r\n";
  }
  for (const File& f : files) {
    std::string text;
    for (const Section& s : f.sections)
      text += (text.empty() ? "" : "\r\n") + ("[" + s.name + "]\r\n") + s.lines;
    os.WriteTextFile(c.windowsDir + "\\" + f.name, text);
  }
}

// The last-write (and access) time of the open file `fd`; a time before
// 1970 is left as it is.
bool SetTime(int fd, unsigned long long ticks) {
  constexpr unsigned long long kEpochTicks = 116444736000000000ull;
  if (ticks < kEpochTicks) return true;
  const unsigned long long unixTicks = ticks - kEpochTicks;
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec =
      static_cast<time_t>(unixTicks / 10000000ull);
  times[0].tv_nsec = times[1].tv_nsec =
      static_cast<long>(unixTicks % 10000000ull * 100);
  ::futimens(fd, times);
  return true;
}

// win.ini and system.ini, whose sections the capture holds instead.
bool IsProfileFile(const Capture& c, const std::string& path) {
  const std::string p = AsciiLower(path), dir = AsciiLower(c.windowsDir);
  return p == dir + "\\win.ini" || p == dir + "\\system.ini";
}

struct FileCounts {
  size_t dirs = 0, withContent = 0, placeholders = 0, failed = 0;
};

FileCounts LoadFiles(const Capture& c, sim::SimPlatform& os) {
  FileCounts n;
  // The capture is the truth about drive C:; the fresh machine's own
  // layout goes first. The folder is a new one (the host has checked), so
  // nothing of anyone else's goes with it.
  std::error_code ec;
  const fs::path drive = fs::path(os.machineDir()) / "drive_c";
  fs::remove_all(drive, ec);
  fs::create_directory(drive, ec);
  std::string why;
  // The user's application data folder too: the scanner's files below it
  // are recorded, the folders above them are not.
  for (const std::string& dir : {c.windowsDir, c.systemDir, c.appDataDir}) {
    if (!dir.empty()) os.PlaceFolder(dir, &why);
  }
  // The parser has made sure that every record lies in a folder recorded
  // before it, under a name Windows can hold, and that no name comes twice
  // in any spelling. So each file is made below its folder's host path
  // with a handful of calls, and its records kept without resolving it
  // again: a name not on disk yet would make the drive read its whole
  // folder to look for it in another letter case, once per file. The
  // load is linear in the capture's size.
  struct Folder {
    std::string host, key;
  };
  std::unordered_map<std::string, Folder> folders;  // by capture spelling
  const auto place = [&](const std::string& path, Folder* out) {
    const size_t slash = LastBackslash(path, c.codePage);
    if (slash == std::string::npos) return false;
    const std::string folder = path.substr(0, slash);
    auto it = folders.find(folder);
    if (it == folders.end()) {
      const sim::ResolvedPath p =
          sim::ResolveWinPath(os.machineDir(), folder, os.codePage());
      it = folders.emplace(folder, Folder{p.error ? "" : p.host, p.key}).first;
    }
    if (it->second.host.empty()) return false;
    const std::string name = path.substr(slash + 1);
    out->host = it->second.host + "/" + name;
    out->key = it->second.key + "\\" + sim::FoldCase(name, os.codePage());
    return true;
  };
  std::vector<std::pair<const CapturedFile*, Folder>> madeFolders;
  for (const CapturedFile& f : c.files) {
    Folder made;
    if (!place(f.path, &made)) {
      ++n.failed;
      continue;
    }
    if (f.directory) {
      if (::mkdir(made.host.c_str(), 0755) != 0 && errno != EEXIST) {
        ++n.failed;
        continue;
      }
      folders[f.path] = made;
      madeFolders.emplace_back(&f, made);
      ++n.dirs;
      continue;
    }
    const bool profile = IsProfileFile(c, f.path);
    const int fd = sim::OpenHostFile(made.host, O_WRONLY | O_CREAT | O_EXCL);
    bool written = fd >= 0;
    if (written && f.hasContent) {
      written = ::write(fd, f.content.data(), f.content.size()) ==
                static_cast<ssize_t>(f.content.size());
    } else if (written && !profile) {
      // Of its size, without made-up content (a sparse file): a read is
      // refused.
      written = ::ftruncate(fd, static_cast<off_t>(f.size)) == 0;
    }
    if (written) written = SetTime(fd, f.time);
    if (fd >= 0 && ::close(fd) != 0) written = false;
    if (!written) {
      ++n.failed;
      continue;
    }
    // A profile file's sections are captured and written below.
    const bool placeholder = !f.hasContent && !profile;
    if (f.hasContent) ++n.withContent;
    if (placeholder) ++n.placeholders;
    os.RecordMadeFile(made.key, f.attributes, placeholder);
  }
  // Folders last: making their files changed their times.
  for (auto it = madeFolders.rbegin(); it != madeFolders.rend(); ++it) {
    os.RecordMadeFile(it->second.key, it->first->attributes, false);
    const int fd = ::open(it->second.host.c_str(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
      SetTime(fd, it->first->time);
      ::close(fd);
    }
  }
  return n;
}

// Where the copy's spooler lists differ from the machine's.
void CompareSpooler(const Capture& c, sim::SimPlatform& os, std::ostream& out) {
  std::set<std::string> captured(c.spooler.begin(), c.spooler.end());
  std::set<std::string> copy;
  for (const auto& [id, fact] : TakeSpoolerSnapshot(os).facts)
    copy.insert(FactText(fact));
  size_t differences = 0;
  for (const std::string& line : captured) {
    if (copy.count(line)) continue;
    out << "  the machine's spooler lists, the copy's does not: "
        << PrintableText(line) << "\n";
    ++differences;
  }
  for (const std::string& line : copy) {
    if (captured.count(line)) continue;
    out << "  the copy's spooler lists, the machine's did not: "
        << PrintableText(line) << "\n";
    ++differences;
  }
  out << "  spooler: " << captured.size() << " entries, "
      << (differences ? std::to_string(differences) + " differences"
                      : std::string("the copy's lists are the machine's"))
      << "\n";
}

}  // namespace

bool CaptureVersion(const Capture& c, sim::WindowsVersion* v,
                    std::string* note) {
  using sim::WindowsVersion;
  const std::string record = std::to_string(c.major) + "." +
                             std::to_string(c.minor) + "." +
                             std::to_string(c.build & 0xFFFF) + " platform " +
                             std::to_string(c.platform);
  bool known = true;
  if (c.platform == VER_PLATFORM_WIN32_WINDOWS) {
    known = c.major == 4 && (c.minor == 0 || c.minor == 10 || c.minor == 90);
    *v = c.minor >= 90   ? WindowsVersion::WinMe
         : c.minor >= 10 ? WindowsVersion::Win98
                         : WindowsVersion::Win95;
  } else if (c.platform == VER_PLATFORM_WIN32_NT) {
    // 6.2 is Windows 8, or 8.1 and 10 to a program without their manifest.
    struct NtRecord {
      DWORD major, minor;
      WindowsVersion version;
    };
    static const NtRecord kNt[] = {
        {3, 51, WindowsVersion::NT351},
        {4, 0, WindowsVersion::NT4},
        {5, 0, WindowsVersion::Win2000},
        {5, 1, WindowsVersion::XP},
        {5, 2, WindowsVersion::Server2003},
        {6, 0, WindowsVersion::Vista},
        {6, 1, WindowsVersion::Win7},
        {6, 2, WindowsVersion::Win10NoManifest},
        {6, 3, WindowsVersion::Win81},
        {10, 0, WindowsVersion::Win10},
    };
    known = false;
    // An unknown record loads as the nearest known one below it (NT 3.51
    // for anything older): the same family of keys and folders.
    *v = WindowsVersion::NT351;
    for (const auto& r : kNt) {
      if (c.major > r.major || (c.major == r.major && c.minor >= r.minor))
        *v = r.version;
      if (c.major == r.major && c.minor == r.minor) known = true;
    }
  } else if (c.platform == VER_PLATFORM_WIN32s) {
    *v = WindowsVersion::Win32s;
  } else {
    known = false;
    *v = WindowsVersion::XP;
  }
  if (!known)
    *note = "Windows " + record + " is none the library knows: loaded as " +
            sim::WindowsVersionName(*v) + " with the captured version record";
  return known;
}

void LoadCapture(const Capture& c, sim::SimPlatform& os, std::ostream& out) {
  os.SetVersionRecord(c.platform, c.major, c.minor, c.build, c.csd);
  os.SetDirectories(c.windowsDir, c.systemDir);
  if (c.diskTotal) os.SetDiskSpace(c.diskFree, c.diskTotal);
  os.SetCodePage(c.codePage == 932 ? 932 : 1252);
  LoadRegistry(c, os);
  const FileCounts files = LoadFiles(c, os);
  LoadIni(c, os);
  // A spooler that answered its lists was running, whatever its service
  // said: Wine's spooler works without its service, which reads stopped.
  const bool spoolerAnswered =
      !c.spooler.empty() &&
      std::none_of(c.spooler.begin(), c.spooler.end(),
                   [](const std::string& l) {
                     return l.rfind("spooler error ", 0) == 0;
                   });
  for (const Capture::Service& s : c.services) {
    DWORD state = s.state;
    if (AsciiLower(s.name) == "spooler" && state != SERVICE_RUNNING &&
        spoolerAnswered) {
      out << "  the spooler answered its lists while its service read state "
          << state << ": loaded running\n";
      state = SERVICE_RUNNING;
    }
    sim::SetInitialServiceState(os, s.name, state);
  }
  out << "  registry: " << c.trees.size() << " trees, " << c.keys.size()
      << " keys, " << c.values.size() << " values\n"
      << "  files: " << files.dirs << " folders, " << files.withContent
      << " files with their content, " << files.placeholders
      << " placeholders of their size (a read of one is refused: its "
         "content was not captured)"
      << (files.failed ? ", " + std::to_string(files.failed) +
                             " not on drive C: (left out)"
                       : std::string())
      << "\n"
      << "  profile entries: " << c.ini.size()
      << ", service states: " << c.services.size() << "\n";
  for (const std::string& limit : c.limits)
    out << "  the capture was cut short: " << PrintableText(limit) << "\n";
  CompareSpooler(c, os, out);
  os.ClearOperations();
}

}  // namespace kv::host
