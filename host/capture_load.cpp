#include "host/capture_load.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "host/record_text.h"
#include "host/snapshot.h"
#include "sim/sim_services.h"

namespace kv::host {
namespace {

namespace fs = std::filesystem;

// Removes the key at `path` with everything below it.
void DeleteTree(sim::SimPlatform& os, HKEY root, const std::string& path) {
  const size_t slash = path.rfind('\\');
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

// win.ini goes through the profile calls, which the NT family maps to the
// user's registry keys as Windows does; system.ini is a file.
void LoadIni(const Capture& c, sim::SimPlatform& os) {
  std::set<std::pair<std::string, std::string>> cleared;
  for (const Capture::IniEntry& e : c.ini) {
    const bool winIni = AsciiLower(e.file) == "win.ini";
    // The NT family keeps these two in the user's registry keys, loaded
    // with the registry; the simulated machine reads them only there.
    if (winIni && c.platform == VER_PLATFORM_WIN32_NT &&
        (AsciiLower(e.section) == "devices" ||
         AsciiLower(e.section) == "printerports"))
      continue;
    const char* section = e.section.c_str();
    if (cleared.insert({AsciiLower(e.file), AsciiLower(e.section)}).second) {
      if (winIni)
        os.WriteProfileStringA(section, nullptr, nullptr);
      else
        os.WritePrivateProfileStringA(section, nullptr, nullptr,
                                      e.file.c_str());
    }
    if (winIni)
      os.WriteProfileStringA(section, e.key.c_str(), e.value.c_str());
    else
      os.WritePrivateProfileStringA(section, e.key.c_str(), e.value.c_str(),
                                    e.file.c_str());
  }
}

void SetTime(const std::string& host, unsigned long long ticks) {
  constexpr unsigned long long kEpochTicks = 116444736000000000ull;
  if (ticks < kEpochTicks) return;
  const unsigned long long unixTicks = ticks - kEpochTicks;
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec =
      static_cast<time_t>(unixTicks / 10000000ull);
  times[0].tv_nsec = times[1].tv_nsec =
      static_cast<long>(unixTicks % 10000000ull * 100);
  utimensat(AT_FDCWD, host.c_str(), times, 0);
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
  // layout goes first.
  std::error_code ec;
  const fs::path drive = fs::path(os.machineDir()) / "drive_c";
  fs::remove_all(drive, ec);
  fs::create_directories(drive, ec);
  for (const std::string& dir : {c.windowsDir, c.systemDir}) {
    if (!dir.empty()) fs::create_directories(os.HostPath(dir), ec);
  }
  for (const CapturedFile& f : c.files) {
    const std::string host = os.HostPath(f.path);
    if (host.empty()) {
      ++n.failed;
      continue;
    }
    if (f.directory) {
      fs::create_directories(host, ec);
      ++n.dirs;
      continue;
    }
    fs::create_directories(fs::path(host).parent_path(), ec);
    {
      std::ofstream out(host, std::ios::binary | std::ios::trunc);
      if (f.hasContent)
        out.write(f.content.data(),
                  static_cast<std::streamsize>(f.content.size()));
      if (!out) {
        ++n.failed;
        continue;
      }
    }
    if (f.hasContent) {
      ++n.withContent;
    } else if (IsProfileFile(c, f.path)) {
      // Its sections are captured and written below.
    } else {
      // Of its size, without made-up content: a read is refused.
      fs::resize_file(host, f.size, ec);
      os.MarkPlaceholder(f.path);
      ++n.placeholders;
    }
    os.SetFileAttributesA(f.path.c_str(), f.attributes);
    SetTime(host, f.time);
  }
  // Folders last: making their files changed their times.
  for (auto it = c.files.rbegin(); it != c.files.rend(); ++it) {
    if (!it->directory) continue;
    os.SetFileAttributesA(it->path.c_str(), it->attributes);
    SetTime(os.HostPath(it->path), it->time);
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
    out << "  the machine's spooler lists, the copy's does not: " << line
        << "\n";
    ++differences;
  }
  for (const std::string& line : copy) {
    if (captured.count(line)) continue;
    out << "  the copy's spooler lists, the machine's did not: " << line
        << "\n";
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
    out << "  the capture was cut short: " << limit << "\n";
  CompareSpooler(c, os, out);
  os.ClearOperations();
}

}  // namespace kv::host
