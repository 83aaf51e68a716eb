// The simulated machine's core: version records, errors and their texts,
// memory blocks, the operation record and failure injection, the virtual
// clock, code-page helpers, privileges and libraries.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "foundation/printable.h"
#include "sim/processes.h"
#include "sim/sim_internal.h"
#include "sim/sim_platform.h"

namespace kv::sim {

// ---- Shared helpers ---------------------------------------------------------

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

std::string UpperAscii(std::string text) {
  for (char& c : text) c = UpperAscii(c);
  return text;
}

std::string ArgText(LPCSTR text) {
  return text ? "\"" + std::string(text) + "\"" : std::string("NULL");
}

std::string HexText(uintptr_t value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llX",
                static_cast<unsigned long long>(value));
  return buf;
}

namespace {

struct RootNameEntry {
  uintptr_t root;
  const char* name;
  const char* shortName;
};
const RootNameEntry kRoots[] = {
    {0x80000000u, "HKEY_CLASSES_ROOT", "HKCR"},
    {0x80000001u, "HKEY_CURRENT_USER", "HKCU"},
    {0x80000002u, "HKEY_LOCAL_MACHINE", "HKLM"},
    {0x80000003u, "HKEY_USERS", "HKU"},
    {0x80000005u, "HKEY_CURRENT_CONFIG", "HKCC"},
    {0x80000006u, "HKEY_DYN_DATA", "HKDD"},
};

}  // namespace

bool ParseRoot(const std::string& name, HKEY* root) {
  for (const auto& r : kRoots) {
    if (EqualNoCase(name, r.name) || EqualNoCase(name, r.shortName)) {
      *root = reinterpret_cast<HKEY>(r.root);
      return true;
    }
  }
  return false;
}

const char* RootName(HKEY root) {
  for (const auto& r : kRoots)
    if (reinterpret_cast<uintptr_t>(root) == r.root) return r.name;
  return "";
}

bool IsPredefinedRoot(HKEY key) { return RootName(key)[0] != '\0'; }

bool IsLeadByteOf(UINT codePage, unsigned char c) {
  return codePage == 932 &&
         ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
}

bool HoldsCharOf(UINT codePage, const std::string& text, const char* set) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsLeadByteOf(codePage, static_cast<unsigned char>(text[i])) &&
        i + 1 < text.size())
      ++i;
    else if (text[i] && std::strchr(set, text[i]))
      return true;
  }
  return false;
}

std::vector<std::string> SplitKeyPath(const std::string& path, UINT codePage) {
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (IsLeadByteOf(codePage, static_cast<unsigned char>(c)) &&
        i + 1 < path.size()) {
      part += c;
      part += path[++i];
    } else if (c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

// Windows NT compares registry names after upcasing, so '_' sorts after the
// letters; the file system's order is the same for the names we meet.
bool CaseLess::operator()(const std::string& a, const std::string& b) const {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(UpperAscii(a[i]));
    const auto y = static_cast<unsigned char>(UpperAscii(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

// ---- Versions ---------------------------------------------------------------

namespace {

struct VersionInfo {
  WindowsVersion version;
  const char* name;
  DWORD platform, major, minor, build;
  const char* csd;
};

// The records the real systems report (9x builds carry major/minor in the
// high word, as Windows 9x and Wine at win95/win98/winme report them).
const VersionInfo kVersions[] = {
    {WindowsVersion::Win32s, "win32s", VER_PLATFORM_WIN32s, 3, 10, 0, ""},
    {WindowsVersion::NT351, "nt351", VER_PLATFORM_WIN32_NT, 3, 51, 1057,
     "Service Pack 5"},
    {WindowsVersion::NT4, "nt40", VER_PLATFORM_WIN32_NT, 4, 0, 1381,
     "Service Pack 6"},
    {WindowsVersion::Win95, "win95", VER_PLATFORM_WIN32_WINDOWS, 4, 0,
     0x040003B6, ""},
    {WindowsVersion::Win98, "win98", VER_PLATFORM_WIN32_WINDOWS, 4, 10,
     0x040A08AE, " A "},
    {WindowsVersion::WinMe, "winme", VER_PLATFORM_WIN32_WINDOWS, 4, 90,
     0x045A0BB8, " "},
    {WindowsVersion::Win2000, "win2k", VER_PLATFORM_WIN32_NT, 5, 0, 2195,
     "Service Pack 4"},
    {WindowsVersion::XP, "winxp", VER_PLATFORM_WIN32_NT, 5, 1, 2600,
     "Service Pack 3"},
    {WindowsVersion::Server2003, "win2003", VER_PLATFORM_WIN32_NT, 5, 2, 3790,
     "Service Pack 2"},
    {WindowsVersion::Vista, "vista", VER_PLATFORM_WIN32_NT, 6, 0, 6002,
     "Service Pack 2"},
    {WindowsVersion::Win7, "win7", VER_PLATFORM_WIN32_NT, 6, 1, 7601,
     "Service Pack 1"},
    {WindowsVersion::Win81, "win81", VER_PLATFORM_WIN32_NT, 6, 3, 9600, ""},
    // Windows 10 version 1903, as Wine 8 reports it too.
    {WindowsVersion::Win10, "win10", VER_PLATFORM_WIN32_NT, 10, 0, 18362, ""},
    {WindowsVersion::Win81NoManifest, "win81-nomanifest", VER_PLATFORM_WIN32_NT,
     6, 2, 9200, ""},
    {WindowsVersion::Win10NoManifest, "win10-nomanifest", VER_PLATFORM_WIN32_NT,
     6, 2, 9200, ""},
};

const VersionInfo& InfoOf(WindowsVersion v) {
  for (const auto& i : kVersions)
    if (i.version == v) return i;
  return kVersions[0];
}

// System texts of the errors the library meets (Windows' English texts).
// Wine 8 has shorter texts of its own ("Success.") and none for the print
// monitor codes; the machine follows Windows.
struct ErrorText {
  DWORD code;
  const char* text;
};
const ErrorText kErrorTexts[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough storage is available to process this command.\r\n"},
    {32,
     "The process cannot access the file because it is being used by another "
     "process.\r\n"},
    {50, "The request is not supported.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123,
     "The filename, directory name, or volume label syntax is "
     "incorrect.\r\n"},
    {126, "The specified module could not be found.\r\n"},
    {127, "The specified procedure could not be found.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {234, "More data is available.\r\n"},
    {259, "No more data is available.\r\n"},
    {1018,
     "Illegal operation attempted on a registry key that has been marked for "
     "deletion.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n"},
    {1072, "The specified service has been marked for deletion.\r\n"},
    {1073, "The specified service already exists.\r\n"},
    {1062, "The service has not been started.\r\n"},
    {1223, "The operation was canceled by the user.\r\n"},
    {1795, "The specified printer driver is already installed.\r\n"},
    {1796, "The specified port is unknown.\r\n"},
    {1797, "The printer driver is unknown.\r\n"},
    {1798, "The print processor is unknown.\r\n"},
    {1801, "The printer name is invalid.\r\n"},
    {1802, "The printer already exists.\r\n"},
    {1804, "The specified datatype is invalid.\r\n"},
    {1805, "The environment specified is invalid.\r\n"},
    {3000, "The specified print monitor is unknown.\r\n"},
    {3001, "The specified printer driver is currently in use.\r\n"},
    {3005, "The specified print processor has already been installed.\r\n"},
    {3006, "The specified print monitor has already been installed.\r\n"},
    {3007,
     "The specified print monitor does not have the required functions.\r\n"},
    {3008, "The specified print monitor is currently in use.\r\n"},
    {4350,
     "This file is currently not available for use on this computer.\r\n"},
};

constexpr DWORD kErrorMrMidNotFound = 317;

}  // namespace

bool ParseWindowsVersion(const std::string& text, WindowsVersion* out) {
  for (const auto& i : kVersions) {
    if (EqualNoCase(text, i.name)) {
      *out = i.version;
      return true;
    }
  }
  return false;
}

const char* WindowsVersionName(WindowsVersion v) { return InfoOf(v).name; }

bool IsWin9x(WindowsVersion v) {
  return v == WindowsVersion::Win95 || v == WindowsVersion::Win98 ||
         v == WindowsVersion::WinMe;
}

bool IsVistaOrLater(WindowsVersion v) { return v >= WindowsVersion::Vista; }

bool IsNt5OrLater(WindowsVersion v) { return v >= WindowsVersion::Win2000; }

SimPlatform::SimPlatform(WindowsVersion v, const std::string& machineDir)
    : version_(v), machineDir_(machineDir) {
  const VersionInfo& i = InfoOf(v);
  SetVersionRecord(i.platform, i.major, i.minor, i.build, i.csd);
  LayOutMachine();
}

SimPlatform::~SimPlatform() {
  try {
    FlushFileState();
  } catch (...) {
    // A machine that can't write its records on the way out loses only them.
  }
}

void SimPlatform::SetVersionRecord(DWORD platform, DWORD major, DWORD minor,
                                   DWORD build, const std::string& csd) {
  versionRecord_ = OSVERSIONINFOA{};
  versionRecord_.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  versionRecord_.dwPlatformId = platform;
  versionRecord_.dwMajorVersion = major;
  versionRecord_.dwMinorVersion = minor;
  versionRecord_.dwBuildNumber = build;
  std::memcpy(versionRecord_.szCSDVersion, csd.data(),
              std::min(csd.size(), sizeof versionRecord_.szCSDVersion));
}

void SimPlatform::LayOutMachine() {
  ResetRegistry();
  LayOutFiles();
  const bool nt = !IsWin9x(version_);
  const std::string print = "SYSTEM\\CurrentControlSet\\Control\\Print";
  RegNode* local =
      CreateKeyPath(HKEY_LOCAL_MACHINE, print + "\\Monitors\\Local Port");
  SetString(local, "Driver", nt ? "localspl.dll" : "localmon.dll");
  CreateKeyPath(HKEY_LOCAL_MACHINE, print + "\\Printers");
  // NT keeps drivers of both environments (x86 and the 9x one for point and
  // print); 9x knows only its own.
  std::vector<std::string> envs = {"Windows 4.0"};
  if (nt) envs.insert(envs.begin(), "Windows NT x86");
  for (const auto& env : envs) {
    const std::string base = print + "\\Environments\\" + env;
    CreateKeyPath(HKEY_LOCAL_MACHINE, base + "\\Drivers");
    CreateKeyPath(HKEY_LOCAL_MACHINE, base + "\\Print Processors");
  }
  CreateKeyPath(HKEY_LOCAL_MACHINE,
                "SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
  CreateKeyPath(HKEY_CURRENT_USER, "Software");
  // The user's shell folders: removal finds the per-user scanner data
  // through "AppData".
  if (!appDataDir().empty())
    SetString(CreateKeyPath(HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\"
                            "Explorer\\Shell Folders"),
              "AppData", appDataDir());
  CreateKeyPath(HKEY_CURRENT_CONFIG, "System");
  // Print processors, hardware-profile printers, 9x ENUM trees, services.
  LayOutPrinting(*this);
}

void SimPlatform::SetDiskSpace(unsigned long long freeBytes,
                               unsigned long long totalBytes) {
  diskFree_ = freeBytes;
  diskTotal_ = totalBytes;
}

void SimPlatform::SetPC98(bool nec) {
  // A machine setting, not a call the library made: keep it out of the record.
  pc98_ = nec;
  const size_t before = operations_.size();
  std::ostream* trace = traceOut_;
  traceOut_ = nullptr;
  const char* keyboard =
      nec ? "NEC PC-9800 Series Keyboard"
          : "Standard 101/102-Key or Microsoft Natural Keyboard";
  const char* system = nec ? "NEC PC-9800 Series" : "Standard PC";
  WritePrivateProfileStringA("boot.description", "keyboard.typ", keyboard,
                             "system.ini");
  WritePrivateProfileStringA("boot.description", "system.drv", system,
                             "system.ini");
  operations_.resize(before);
  traceOut_ = trace;
}

// ---- Record and failure injection -------------------------------------------

DWORD SimPlatform::Enter(const char* name, const std::string& args) {
  ++callCounts_[name];
  DWORD injected = 0;
  for (auto& f : failures_) {
    if (f.operation != name || f.count == 0) continue;
    if (f.skip > 0) {
      --f.skip;
      continue;
    }
    if (f.count > 0) --f.count;
    injected = f.error;
    break;
  }
  std::string line = std::string(name) + "(" + args + ")";
  if (injected) {
    line += " = injected " + std::to_string(injected);
    lastError_ = injected;
  }
  Record(line);
  return injected;
}

void SimPlatform::Record(const std::string& line) {
  operations_.push_back(line);
  if (traceOut_) *traceOut_ << PrintableText(line) << '\n';
}

void SimPlatform::RecordResult(const std::string& result) {
  if (operations_.empty()) return;
  operations_.back() += " = " + result;
  if (traceOut_) *traceOut_ << "  = " << PrintableText(result) << '\n';
}

void SimPlatform::RefuseOffline(const std::string& result, size_t line) {
  lastError_ = ERROR_FILE_OFFLINE;
  if (operations_.empty()) return;
  if (line >= operations_.size()) line = operations_.size() - 1;
  const std::string noted = result + "  error " +
                            std::to_string(ERROR_FILE_OFFLINE) +
                            " (placeholder: content not captured)";
  operations_[line] += " = " + noted;
  if (!traceOut_) return;
  // The trace has the call's line already; after lines of calls made inside
  // it, the whole line again says whose result this is.
  if (line + 1 == operations_.size())
    *traceOut_ << "  = " << noted << '\n';
  else
    *traceOut_ << PrintableText(operations_[line]) << '\n';
}

size_t SimPlatform::CountOperations(const std::string& name) const {
  size_t n = 0;
  const std::string prefix = name + "(";
  for (const auto& op : operations_)
    if (op.compare(0, prefix.size(), prefix) == 0) ++n;
  return n;
}

void SimPlatform::FailOperation(const std::string& name, DWORD error, int skip,
                                int count) {
  failures_.push_back(InjectedFailure{name, error, skip, count});
}

// ---- Version and errors -----------------------------------------------------

BOOL SimPlatform::GetVersionExA(LPOSVERSIONINFOA info) {
  if (Enter("GetVersionExA")) return FALSE;
  if (!info) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  // Only the two record sizes are accepted (plain and extended); Windows and
  // Wine refuse any other with ERROR_INSUFFICIENT_BUFFER and leave the
  // record alone.
  const DWORD size = info->dwOSVersionInfoSize;
  constexpr DWORD kExtendedSize = sizeof(OSVERSIONINFOA) + 8;
  if (size != sizeof(OSVERSIONINFOA) && size != kExtendedSize) {
    lastError_ = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  OSVERSIONINFOA record = versionRecord_;
  record.dwOSVersionInfoSize = size;
  std::memcpy(info, &record, sizeof record);
  if (size == kExtendedSize) {
    // Service pack numbers, suite mask and product type stay zero.
    std::memset(reinterpret_cast<BYTE*>(info) + sizeof record, 0, 8);
  }
  return TRUE;
}

DWORD SimPlatform::GetLastError() { return lastError_; }

void SimPlatform::SetLastError(DWORD error) { lastError_ = error; }

DWORD SimPlatform::FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD,
                                  LPSTR buffer, DWORD size) {
  if (Enter("FormatMessageA",
            HexText(flags) + ", " + std::to_string(messageId)))
    return 0;
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !buffer) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return 0;
  }
  const char* text = nullptr;
  for (const auto& e : kErrorTexts)
    if (e.code == messageId) text = e.text;
  if (!text) {
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER)
      *reinterpret_cast<LPSTR*>(buffer) = nullptr;
    lastError_ = kErrorMrMidNotFound;
    return 0;
  }
  const DWORD length = static_cast<DWORD>(std::strlen(text));
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    auto block =
        std::make_unique<std::vector<BYTE>>(std::max<DWORD>(length + 1, size));
    std::memcpy(block->data(), text, length + 1);
    auto* data = reinterpret_cast<LPSTR>(block->data());
    locals_[reinterpret_cast<uintptr_t>(data)] = std::move(block);
    *reinterpret_cast<LPSTR*>(buffer) = data;
    return length;
  }
  if (size < length + 1) {
    lastError_ = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  std::memcpy(buffer, text, length + 1);
  return length;
}

namespace {

// The block behind the handle `mem` in `blocks`, or null with
// ERROR_INVALID_HANDLE set. A template, so that it takes the machine's block
// tables without naming their private types.
template <typename Blocks>
auto* FindBlock(const Blocks& blocks, const void* mem, DWORD* lastError) {
  auto it = blocks.find(reinterpret_cast<uintptr_t>(mem));
  decltype(it->second.get()) none = nullptr;
  if (it != blocks.end()) return it->second.get();
  *lastError = ERROR_INVALID_HANDLE;
  return none;
}

}  // namespace

HLOCAL SimPlatform::LocalFree(HLOCAL mem) {
  if (Enter("LocalFree", HexText(reinterpret_cast<uintptr_t>(mem)))) return mem;
  if (!mem) return nullptr;
  if (!FindBlock(locals_, mem, &lastError_)) return mem;
  locals_.erase(reinterpret_cast<uintptr_t>(mem));
  return nullptr;
}

// ---- Global memory ----------------------------------------------------------
// A fixed block's handle is its address; a moveable one gets a handle of its
// own that only GlobalLock turns into the address.

HGLOBAL SimPlatform::GlobalAlloc(UINT flags, SIZE_T bytes) {
  if (Enter("GlobalAlloc", HexText(flags) + ", " + std::to_string(bytes)))
    return nullptr;
  auto block = std::make_unique<GlobalBlock>();
  // Without GMEM_ZEROINIT the contents are garbage: a visible pattern catches
  // code that assumes zeros.
  block->bytes.assign(std::max<SIZE_T>(bytes, 1),
                      (flags & GMEM_ZEROINIT) ? 0 : 0xCD);
  uintptr_t handle = (flags & GMEM_MOVEABLE)
                         ? NewHandle()
                         : reinterpret_cast<uintptr_t>(block->bytes.data());
  globals_[handle] = std::move(block);
  return reinterpret_cast<HGLOBAL>(handle);
}

LPVOID SimPlatform::GlobalLock(HGLOBAL mem) {
  if (Enter("GlobalLock", HexText(reinterpret_cast<uintptr_t>(mem))))
    return nullptr;
  auto* block = FindBlock(globals_, mem, &lastError_);
  if (!block) return nullptr;
  ++block->locks;
  return block->bytes.data();
}

BOOL SimPlatform::GlobalUnlock(HGLOBAL mem) {
  if (Enter("GlobalUnlock", HexText(reinterpret_cast<uintptr_t>(mem))))
    return FALSE;
  auto* block = FindBlock(globals_, mem, &lastError_);
  if (!block) return FALSE;
  if (block->locks > 0) --block->locks;
  // FALSE with NO_ERROR once the last lock is gone, as Windows does.
  if (block->locks == 0) {
    lastError_ = ERROR_SUCCESS;
    return FALSE;
  }
  return TRUE;
}

HGLOBAL SimPlatform::GlobalFree(HGLOBAL mem) {
  if (Enter("GlobalFree", HexText(reinterpret_cast<uintptr_t>(mem))))
    return mem;
  if (!FindBlock(globals_, mem, &lastError_)) return mem;
  globals_.erase(reinterpret_cast<uintptr_t>(mem));
  return nullptr;
}

// ---- Clock ------------------------------------------------------------------

void SimPlatform::Sleep(DWORD milliseconds) {
  if (Enter("Sleep", std::to_string(milliseconds))) return;
  SleepOnClock(milliseconds);  // sim/threads.cpp
  if (sleepHook_) sleepHook_(clockMs_);
}

DWORD SimPlatform::GetTickCount() {
  Enter("GetTickCount");
  return clockMs_;
}

// ---- Code page and strings --------------------------------------------------

BOOL SimPlatform::IsDBCSLeadByte(BYTE c) {
  if (Enter("IsDBCSLeadByte", HexText(c))) return FALSE;
  return IsLeadByteOf(codePage_, c);
}

LPSTR SimPlatform::CharPrevA(LPCSTR start, LPCSTR current) {
  Enter("CharPrevA");
  if (!start || !current || current <= start) return const_cast<LPSTR>(start);
  if (codePage_ != 932) return const_cast<LPSTR>(current - 1);
  // Walk forward from the start so a trail byte that looks like a lead byte
  // is not mistaken for one.
  const auto lead = [this](unsigned char c) {
    return IsLeadByteOf(codePage_, c);
  };
  LPCSTR p = start;
  LPCSTR prev = start;
  while (p < current) {
    prev = p;
    const bool dbcs =
        lead(static_cast<unsigned char>(*p)) && p + 1 < current && p[1] != '\0';
    p += dbcs ? 2 : 1;
  }
  return const_cast<LPSTR>(prev);
}

namespace {
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
}  // namespace

int SimPlatform::lstrcmpiA(LPCSTR a, LPCSTR b) {
  Enter("lstrcmpiA", ArgText(a) + ", " + ArgText(b));
  if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
  for (;; ++a, ++b) {
    const auto x = static_cast<unsigned char>(LowerAscii(*a));
    const auto y = static_cast<unsigned char>(LowerAscii(*b));
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
}

WORD SimPlatform::ReadBiosDataWord(DWORD offset) {
  Enter("ReadBiosDataWord", HexText(offset));
  // Only 9x lets a program read the BIOS data area.
  if (!IsWin9x(version_)) return 0;
  auto it = bios_.find(offset);
  return it == bios_.end() ? 0 : it->second;
}

// ---- Processes, privileges, shutdown ---------------------------------------

HANDLE SimPlatform::GetCurrentProcess() {
  Enter("GetCurrentProcess");
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

namespace {
// The process token: its open handles with the access each was opened
// with, and whether the shutdown privilege is enabled in it.
struct TokenState : SimPlatform::Extension {
  std::map<uintptr_t, DWORD> tokens;
  bool shutdownEnabled = false;
};
constexpr DWORD kShutdownPrivilegeLuid = 19;  // SE_SHUTDOWN_PRIVILEGE
struct ModuleState : SimPlatform::Extension {
  std::map<uintptr_t, std::string> modules;
  // (lower-case file name, procedure) -> the test's function.
  std::map<std::pair<std::string, std::string>, FARPROC> procedures;
};

std::string LowerFileName(const std::string& path) {
  std::string name = path.substr(path.find_last_of("\\/") + 1);
  for (char& c : name)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return name;
}
}  // namespace

BOOL SimPlatform::OpenProcessToken(HANDLE process, DWORD access,
                                   LPHANDLE token) {
  if (Enter("OpenProcessToken", HexText(access))) return FALSE;
  if (!token ||
      process != reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1))) {
    lastError_ = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  if (IsWin9x(version_)) {
    // 9x has no security: the call is a stub.
    lastError_ = ERROR_CALL_NOT_IMPLEMENTED;
    return FALSE;
  }
  const uintptr_t h = NewHandle();
  extension<TokenState>("tokens").tokens[h] = access;
  *token = reinterpret_cast<HANDLE>(h);
  return TRUE;
}

BOOL SimPlatform::LookupPrivilegeValueA(LPCSTR system, LPCSTR name,
                                        PLUID luid) {
  if (Enter("LookupPrivilegeValueA", ArgText(system) + ", " + ArgText(name)))
    return FALSE;
  if (IsWin9x(version_)) {
    lastError_ = ERROR_CALL_NOT_IMPLEMENTED;
    return FALSE;
  }
  if (!name || !luid || !EqualNoCase(name, "SeShutdownPrivilege")) {
    lastError_ = 1313;  // ERROR_NO_SUCH_PRIVILEGE
    return FALSE;
  }
  luid->LowPart = kShutdownPrivilegeLuid;
  luid->HighPart = 0;
  return TRUE;
}

BOOL SimPlatform::AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                                        PTOKEN_PRIVILEGES state, DWORD,
                                        PTOKEN_PRIVILEGES, LPDWORD) {
  if (Enter("AdjustTokenPrivileges",
            HexText(reinterpret_cast<uintptr_t>(token)) + ", " +
                std::to_string(disableAll)))
    return FALSE;
  if (IsWin9x(version_)) {
    lastError_ = ERROR_CALL_NOT_IMPLEMENTED;
    return FALSE;
  }
  auto& record = extension<TokenState>("tokens");
  auto it = record.tokens.find(reinterpret_cast<uintptr_t>(token));
  if (it == record.tokens.end()) {
    lastError_ = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  if (!(it->second & TOKEN_ADJUST_PRIVILEGES)) {
    lastError_ = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (disableAll) {
    record.shutdownEnabled = false;
  } else if (state) {
    // The record's array is declared with one entry; a caller passes as many
    // as PrivilegeCount says.
    const LUID_AND_ATTRIBUTES* entries = state->Privileges;
    for (DWORD i = 0; i < state->PrivilegeCount; ++i)
      if (entries[i].Luid.LowPart == kShutdownPrivilegeLuid &&
          entries[i].Luid.HighPart == 0)
        record.shutdownEnabled =
            (entries[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
  }
  lastError_ = ERROR_SUCCESS;  // all privileges assigned
  return TRUE;
}

bool CloseTokenHandle(SimPlatform& os, HANDLE handle) {
  return os.extension<TokenState>("tokens").tokens.erase(
             reinterpret_cast<uintptr_t>(handle)) > 0;
}

BOOL SimPlatform::ExitWindowsEx(UINT flags, DWORD reason) {
  if (Enter("ExitWindowsEx", HexText(flags) + ", " + HexText(reason)))
    return FALSE;
  const bool enabled = extension<TokenState>("tokens").shutdownEnabled;
  // The NT family refuses a restart to a process that has not enabled the
  // shutdown privilege in its token; 9x has no privileges.
  if (!IsWin9x(version_) && !enabled) {
    lastError_ = 1314;  // ERROR_PRIVILEGE_NOT_HELD
    return FALSE;
  }
  exitRequests_.push_back(flags);
  // Recorded only: the machine never restarts anything.
  restartRequests_.push_back({flags, reason, enabled});
  return TRUE;
}

// ---- Libraries --------------------------------------------------------------
// A library that exists in the system folder loads, but the machine runs no
// native code, so none of its procedures can be found.

HMODULE SimPlatform::LoadLibraryA(LPCSTR file) {
  if (Enter("LoadLibraryA", ArgText(file))) return nullptr;
  if (!file || !*file) {
    lastError_ = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  std::string name = file;
  const bool hasPath = name.find('\\') != std::string::npos ||
                       name.find(':') != std::string::npos;
  if (!hasPath) name = systemDir() + "\\" + name;
  const std::string host = HostPath(name);
  std::error_code ec;
  if (host.empty() || !std::filesystem::is_regular_file(host, ec)) {
    lastError_ = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  const uintptr_t h = NewHandle();
  extension<ModuleState>("modules").modules[h] = name;
  return reinterpret_cast<HMODULE>(h);
}

FARPROC SimPlatform::GetProcAddress(HMODULE module, LPCSTR name) {
  // Ordinals are small integers passed as the name pointer.
  const bool ordinal = reinterpret_cast<uintptr_t>(name) < 0x10000;
  if (Enter("GetProcAddress",
            HexText(reinterpret_cast<uintptr_t>(module)) + ", " +
                (ordinal ? HexText(reinterpret_cast<uintptr_t>(name))
                         : ArgText(name))))
    return nullptr;
  auto& state = extension<ModuleState>("modules");
  const auto loaded = state.modules.find(reinterpret_cast<uintptr_t>(module));
  if (loaded == state.modules.end()) {
    lastError_ = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  if (!ordinal) {
    const auto proc =
        state.procedures.find({LowerFileName(loaded->second), name});
    if (proc != state.procedures.end()) return proc->second;
  }
  lastError_ = ERROR_PROC_NOT_FOUND;
  return nullptr;
}

void SimPlatform::ProvideProcedure(const std::string& fileName,
                                   const std::string& proc, FARPROC fn) {
  extension<ModuleState>("modules")
      .procedures[{LowerFileName(fileName), proc}] = fn;
}

BOOL SimPlatform::FreeLibrary(HMODULE module) {
  if (Enter("FreeLibrary", HexText(reinterpret_cast<uintptr_t>(module))))
    return FALSE;
  auto& modules = extension<ModuleState>("modules").modules;
  if (!modules.erase(reinterpret_cast<uintptr_t>(module))) {
    lastError_ = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  return TRUE;
}

}  // namespace kv::sim
