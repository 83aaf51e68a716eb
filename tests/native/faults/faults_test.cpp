// Every platform operation of the installation sequences failing in turn.
//
// Each sequence runs once on a prepared machine and its operation record
// gives the list of (operation, occurrence) pairs. Then, for each pair, the
// sequence runs again on a freshly prepared machine with exactly that call
// failing, and the run is held to three rules: nothing that was on the
// machine before is lost or garbled (the registry, every file, each profile
// line; a record may only be replaced by what the clean run put there, or go
// where the clean run removed it too), no handle or memory block is left
// open, and a result of success means the work was really done.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ports/lpr.h"
#include "ports/port9x.h"
#include "ports/tcpip_records.h"
#include "printer/registration.h"
#include "sim/file_paths.h"
#include "sim/sim_printers.h"
#include "sim/sim_services.h"
#include "staging/depfiles.h"
#include "staging/expcopy.h"
#include "staging/xcopy.h"
#include "tests/native/ports/ports_support.h"
#include "tests/native/support/printer_support.h"
#include "tests/native/support/staging_support.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;

// ---------------------------------------------------------------------------
// What is on the machine: one item per registry key, registry value, file,
// folder and profile-file line, each with its content.

using Items = std::map<std::string, std::string>;

std::string Hex(const std::vector<BYTE>& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (BYTE b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

void AddKey(const sim::RegNode& node, const std::string& path, Items* out) {
  (*out)[path + "\\"] = "";
  for (const auto& [name, value] : node.values)
    (*out)[path + "|" + value.name] =
        std::to_string(value.type) + ":" + Hex(value.data);
  for (const auto& [name, sub] : node.subkeys)
    if (sub && !sub->deleted) AddKey(*sub, path + "\\" + sub->name, out);
}

// Profile files by line, so that one rewritten key does not hide another
// key that went missing.
void AddProfile(const std::string& id, const std::string& text, Items* out) {
  std::istringstream in(text);
  std::string line, section;
  int loose = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line[0] == '[') {
      section = line;
      (*out)[id + "|" + section] = "";
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos)
      (*out)[id + "|" + section + "|#" + std::to_string(++loose)] = line;
    else
      (*out)[id + "|" + section + "|" + line.substr(0, eq)] =
          line.substr(eq + 1);
  }
}

Items Take(sim::SimPlatform& os) {
  Items items;
  const std::pair<HKEY, const char*> roots[] = {
      {HKEY_CLASSES_ROOT, "HKCR"},   {HKEY_CURRENT_USER, "HKCU"},
      {HKEY_LOCAL_MACHINE, "HKLM"},  {HKEY_USERS, "HKU"},
      {HKEY_CURRENT_CONFIG, "HKCC"}, {HKEY_DYN_DATA, "HKDD"}};
  for (const auto& [root, name] : roots)
    if (const sim::RegNode* node = os.FindKey(root, ""))
      AddKey(*node, name, &items);
  const std::string drive = os.HostPath("C:\\");
  for (const auto& rel : TreeListing(drive)) {
    const std::string id = "C:\\" + rel;
    if (rel.back() == '\\') {
      items[id] = "";
      continue;
    }
    const std::string bytes = ReadHost(drive + "/" + [&] {
      std::string p = rel;
      for (char& c : p)
        if (c == '\\') c = '/';
      return p;
    }());
    const std::string ext = rel.size() > 4 ? rel.substr(rel.size() - 4) : "";
    if (sim::EqualNoCase(ext, ".ini"))
      AddProfile(id, bytes, &items);
    else
      items[id] = bytes;
  }
  // Attributes the host does not keep (read-only, hidden, system).
  for (const auto& [key, bits] : sim::Files(os, os.machineDir()).attributes)
    items["attributes of " + key] = std::to_string(bits);
  return items;
}

// Items of `before` that `after` lost or changed, where the clean run did not
// end the same way.
std::vector<std::string> Lost(const Items& before, const Items& clean,
                              const Items& after) {
  std::vector<std::string> lost;
  for (const auto& [id, content] : before) {
    auto now = after.find(id);
    if (now != after.end() && now->second == content) continue;
    auto intended = clean.find(id);
    if (now == after.end() && intended == clean.end()) continue;
    if (now != after.end() && intended != clean.end() &&
        intended->second == now->second)
      continue;
    lost.push_back((now == after.end() ? "lost " : "changed ") + id);
  }
  return lost;
}

// The items of `clean` below `prefix` that `after` lacks or holds otherwise.
std::string Missing(const Items& clean, const Items& after,
                    const std::string& prefix) {
  std::string missing;
  for (auto it = clean.lower_bound(prefix);
       it != clean.end() && it->first.compare(0, prefix.size(), prefix) == 0;
       ++it) {
    auto now = after.find(it->first);
    if (now == after.end() || now->second != it->second)
      missing += " " + it->first;
  }
  return missing;
}

// ---------------------------------------------------------------------------
// The sequences.

struct Sequence {
  std::string name;
  WindowsVersion version;
  // Puts what the machine holds before the sequence (not recorded).
  std::function<void(SimMachine&)> prepare;
  // Runs the sequence; one result per export call.
  std::function<std::vector<int>(SimMachine&)> run;
  // What the results claim but the machine does not show ("" when every
  // claim holds); `clean` is the clean run's machine.
  std::function<std::string(SimMachine&, const std::vector<int>&,
                            const Items& clean, const Items& after)>
      unfinished;
};

constexpr const char* kPrinter = "KV Printer";
constexpr const char* kOldPrinter = "Old Printer";

void PrepareRegistration(SimMachine& m) {
  PlaceMedium(m);
  // Another printer, the default one, whose records must survive.
  AddPrinterRecord(m.os(), kOldPrinter, "LPT2:", "Other Driver");
  m.os().WriteProfileStringA("windows", "device", "Old Printer,WINSPOOL,LPT2:");
  m.os().WriteProfileStringA("devices", kOldPrinter, "WINSPOOL,LPT2:");
  // An older port driver service that the sequence replaces.
  if (!sim::IsWin9x(m.os().version()))
    sim::DefineService(m.os(), "KvLpt", "KvLpt", SERVICE_KERNEL_DRIVER,
                       SERVICE_DEMAND_START,
                       "\\??\\C:\\WINDOWS\\old\\kvlpt.sys");
  DepInit(m.ctx());
  MakeDep(m.ctx(), "KVRES.DLL=1");
}

std::string RegistrationUnfinished(SimMachine& m, const std::vector<int>& r,
                                   const Items&, const Items&) {
  if (r[0] != 1) return "";
  auto& os = m.os();
  HANDLE h = nullptr;
  if (!os.OpenPrinterA(const_cast<char*>(kPrinter), &h, nullptr))
    return "no printer";
  std::string problem;
  DWORD needed = 0;
  os.GetPrinterA(h, 2, nullptr, 0, &needed);
  std::vector<DWORD> buf(needed / 4 + 1);
  if (!os.GetPrinterA(h, 2, reinterpret_cast<LPBYTE>(buf.data()),
                      static_cast<DWORD>(buf.size() * 4), &needed)) {
    problem = "printer unreadable";
  } else {
    const auto* p = reinterpret_cast<const PRINTER_INFO_2A*>(buf.data());
    if (!p->pPortName || std::string(p->pPortName) != "LPT1:")
      problem += " port not LPT1:";
    if (!p->pDriverName || std::string(p->pDriverName) != kDriverName)
      problem += " driver name wrong";
  }
  needed = 0;
  os.GetPrinterDriverA(h, nullptr, 3, nullptr, 0, &needed);
  std::vector<DWORD> drv(needed / 4 + 1);
  if (!os.GetPrinterDriverA(h, nullptr, 3, reinterpret_cast<LPBYTE>(drv.data()),
                            static_cast<DWORD>(drv.size() * 4), &needed))
    problem += " no driver";
  os.ClosePrinter(h);
  if (!os.HasPort("LPT1:")) problem += " no port";
  return problem;
}

Sequence Registration(WindowsVersion v) {
  return {"ToRegPrinter", v, PrepareRegistration,
          [](SimMachine& m) {
            return std::vector<int>{ToRegPrinter(m.ctx(), "LPT1:", "KV-1000", 1,
                                                 kSetupDir, kPrinter, 0, kSii)};
          },
          RegistrationUnfinished};
}

constexpr const char* kXcopyDest = "C:\\DEST\\A\\B";

Sequence TreeCopy() {
  return {
      "Xcopy", WindowsVersion::XP,
      [](SimMachine& m) {
        for (const char* f : {"readme.txt", "E\\e0.txt", "E\\scan\\s.txt",
                              "E\\scan\\deeper\\d.txt", "E\\scan\\2kxp\\m.txt"})
          WriteHost(m.os().HostPath(std::string("C:\\MEDIUM\\") + f), f);
        // An older copy the tree replaces, and a file of the user's.
        WriteHost(m.os().HostPath(std::string(kXcopyDest) + "\\E\\scan\\s.txt"),
                  "older s");
        WriteHost(m.os().HostPath(std::string(kXcopyDest) + "\\mine.txt"),
                  "the user's");
      },
      [](SimMachine& m) {
        return std::vector<int>{
            Xcopy(m.ctx(), "C:\\MEDIUM", kXcopyDest, "E", "LNKSCAN")};
      },
      [](SimMachine&, const std::vector<int>& r, const Items& clean,
         const Items& after) -> std::string {
        if (r[0] == 0) return "";
        return Missing(clean, after, std::string(kXcopyDest) + "\\");
      }};
}

// Over 100 characters: the file is staged through the Windows TEMP folder.
const std::string kLongSource = "C:\\MEDIUM\\" + std::string(95, 'L') + "\\";

Sequence ExpandingCopy() {
  return {
      "ExpCopy", WindowsVersion::XP,
      [](SimMachine& m) {
        WriteHost(m.os().HostPath(kLongSource + "A.DL_"),
                  SzddLiterals(SampleBytes(3000, 7, false)));
        WriteHost(m.os().HostPath(kLongSource + "B.DAT"),
                  SampleBytes(2000, 8, true));
        WriteHost(m.os().HostPath("C:\\DEST\\A.DLL"), "older A");
        WriteHost(m.os().HostPath("C:\\DEST\\B.DAT"), "older B");
        WriteHost(m.os().HostPath("C:\\DEST\\KEEP.TXT"), "the user's");
      },
      [](SimMachine& m) {
        return std::vector<int>{
            ExpCopy(m.ctx(), kLongSource, "C:\\DEST\\", "A.DLL", "A.DL_", 0),
            ExpCopy(m.ctx(), kLongSource, "C:\\DEST\\", "B.DAT", "B.DAT", 0)};
      },
      [](SimMachine&, const std::vector<int>& r, const Items& clean,
         const Items& after) {
        std::string problem;
        if (r[0] == 1) problem += Missing(clean, after, "C:\\DEST\\A.DLL");
        if (r[1] == 1) problem += Missing(clean, after, "C:\\DEST\\B.DAT");
        return problem;
      }};
}

constexpr const char* kPort = "KV_10.1.2.3";

Sequence RecordWriter(const char* name, const char* monitor,
                      int (*write)(Context&, const char*, const char*)) {
  const std::string ports = std::string(kMonitorsPath) + monitor + "\\Ports\\";
  return {
      name, WindowsVersion::XP,
      [=](SimMachine& m) {
        InstallMonitorKey(m.os(), monitor);
        // The same port written before, with a value of the user's, and
        // another port.
        PutValue(m.os(), ports + kPort, "HostName", REG_SZ, Sz("10.9.9.9"));
        PutValue(m.os(), ports + kPort, "IPAddress", REG_SZ, Sz("10.9.9.9"));
        PutValue(m.os(), ports + kPort, "UserValue", REG_DWORD, Dword(7));
        PutValue(m.os(), ports + "Other", "HostName", REG_SZ, Sz("other-host"));
      },
      [=](SimMachine& m) {
        return std::vector<int>{write(m.ctx(), kPort, "10.1.2.3")};
      },
      [=](SimMachine&, const std::vector<int>& r, const Items& clean,
          const Items& after) -> std::string {
        if (r[0] != 1) return "";
        return Missing(clean, after, "HKLM\\" + ports + kPort);
      }};
}

int LprWriter(Context& ctx, const char* port, const char* server) {
  return StdTcpIpPortSetNt(ctx, port, server);
}

constexpr const char* kRelay = "KV-Relay3100 Port";
constexpr const char* kRelaySii = "C:\\WINDOWS\\kvnet.sii";

Sequence Exchange(WindowsVersion v) {
  const std::string ports = std::string(kMonitorsPath) + kRelay + "\\Ports\\";
  return {"StdTcpIpPortSet9x", v,
          [=](SimMachine& m) {
            auto& os = m.os();
            InstallMonitorKey(os, kRelay);
            os.WriteTextFile(kRelaySii,
                             "[Files.Com]\r\nLmonn=KV-Relay3100 Port\r\n");
            const std::pair<const char*, const char*> saved[] = {
                {"KVP1", "host-one"},
                {"KVP2", "a-much-longer-host-name.example.test"}};
            for (const auto& [port, host] : saved) {
              const std::string key = ports + port;
              PutValue(os, key, "CmdTmout", REG_DWORD, Dword(1000));
              PutValue(os, key, "DatTmout", REG_DWORD, Dword(2000));
              PutValue(os, key, "HostName", REG_SZ, Sz(host));
              PutValue(os, key, "NonRFCPorts", REG_DWORD, Dword(1));
              PutValue(os, key, "NonSpool", REG_DWORD, Dword(0));
              PutValue(os, key, "PortName", REG_SZ, Sz("lp", 24));
              PutValue(os, key, "PortNum", REG_DWORD, Dword(515));
              PutValue(os, key, "PrintMode", REG_DWORD, Dword(2));
            }
            AddPrinterRecord(os, "Office", "KVP1");
            AddPrinterRecord(os, "Lab", "KVP2");
            AddPrinterRecord(os, "Desk", "LPT1:");
          },
          [](SimMachine& m) {
            std::vector<int> r;
            r.push_back(StdTcpIpPortSet9x(m.ctx(), nullptr, "KVNEW", "10.0.0.9",
                                          kRelaySii));
            // The installer installs the monitor again in between.
            InstallMonitorKey(m.os(), kRelay);
            r.push_back(StdTcpIpPortSet9x_After(m.ctx()));
            return r;
          },
          [=](SimMachine& m, const std::vector<int>& r, const Items& clean,
              const Items& after) {
            std::string problem;
            // A new port and every saved one back, each with all its values.
            if (r[0] == 1) problem += Missing(clean, after, "HKLM\\" + ports);
            if (r[0] == 1 && r[1] == 1) {
              for (const auto& [printer, port] :
                   {std::pair<const char*, const char*>{"Office", "KVP1"},
                    {"Lab", "KVP2"},
                    {"Desk", "LPT1:"}})
                if (PrinterPort(m.os(), printer) != port)
                  problem += std::string(" ") + printer + " on \"" +
                             PrinterPort(m.os(), printer) + "\"";
            }
            return problem;
          }};
}

std::vector<Sequence> AllSequences() {
  std::vector<Sequence> all;
  for (auto v :
       {WindowsVersion::NT4, WindowsVersion::Win95, WindowsVersion::Win98,
        WindowsVersion::WinMe, WindowsVersion::Win2000, WindowsVersion::XP})
    all.push_back(Registration(v));
  all.push_back(TreeCopy());
  all.push_back(ExpandingCopy());
  all.push_back(RecordWriter("StdTcpIpPortSet", "Standard TCP/IP Port",
                             &StdTcpIpPortSet));
  all.push_back(RecordWriter("KVPortSet", "KV TCP/IP Port", &KVPortSet));
  all.push_back(RecordWriter("StdTcpIpPortSetNt", "LPR Port", &LprWriter));
  for (auto v :
       {WindowsVersion::Win95, WindowsVersion::Win98, WindowsVersion::WinMe})
    all.push_back(Exchange(v));
  return all;
}

// ---------------------------------------------------------------------------
// Failures.

// Calls that cannot fail on Windows (no failure result, or none the caller
// can tell from a normal answer): not injected.
const std::set<std::string> kCannotFail = {
    "GetTickCount", "CharPrevA",         "lstrcmpiA", "ReadBiosDataWord",
    "Sleep",        "GetCurrentProcess", "LZClose",   "IsDBCSLeadByte"};

// Win32 error codes the native headers leave out.
constexpr DWORD kReadFault = 30;
constexpr DWORD kNotReady = 21;
constexpr DWORD kDiskFull = 112;
constexpr DWORD kNotLocked = 158;
constexpr DWORD kTimeout = 1460;
constexpr DWORD kServerUnavailable = 1722;  // the spooler is not running

// A failed close or free leaves its handle or block behind by design.
bool Releases(const std::string& op) {
  return op == "RegCloseKey" || op == "CloseHandle" || op == "FindClose" ||
         op == "ClosePrinter" || op == "CloseServiceHandle" ||
         op == "GlobalFree" || op == "LocalFree";
}

// The error a failing call plausibly reports.
DWORD ErrorFor(const std::string& op) {
  static const std::map<std::string, DWORD> errors = {
      {"GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY},
      {"GlobalLock", ERROR_NOT_ENOUGH_MEMORY},
      {"GlobalUnlock", kNotLocked},
      {"GetVersionExA", ERROR_INSUFFICIENT_BUFFER},
      {"GetWindowsDirectoryA", ERROR_NOT_ENOUGH_MEMORY},
      {"GetSystemDirectoryA", ERROR_NOT_ENOUGH_MEMORY},
      {"CreateFileA", ERROR_SHARING_VIOLATION},
      {"LZOpenFileA", ERROR_SHARING_VIOLATION},
      {"ReadFile", kReadFault},
      {"WriteFile", kDiskFull},
      {"CopyFileA", kDiskFull},
      {"LZCopy", kDiskFull},
      {"MoveFileA", ERROR_SHARING_VIOLATION},
      {"DeleteFileA", ERROR_SHARING_VIOLATION},
      {"FindFirstFileA", kNotReady},
      {"FindNextFileA", kNotReady},
      {"RegEnumKeyA", ERROR_MORE_DATA},
      {"RegEnumKeyExA", ERROR_MORE_DATA},
      {"RegEnumValueA", ERROR_MORE_DATA},
      {"GetPrinterA", ERROR_NOT_ENOUGH_MEMORY},
      {"GetPrinterDriverA", ERROR_UNKNOWN_PRINTER_DRIVER},
      {"DocumentPropertiesA", ERROR_NOT_ENOUGH_MEMORY},
      {"AddPrinterA", kServerUnavailable},
      {"AddPrinterDriverA", kServerUnavailable},
      {"AddPrintProcessorA", kServerUnavailable},
      {"AddMonitorA", kServerUnavailable},
      {"DeleteMonitorA", kServerUnavailable},
      {"DeletePortA", kServerUnavailable},
      {"EnumPrintersA", kServerUnavailable},
      {"EnumPortsA", kServerUnavailable},
      {"EnumMonitorsA", kServerUnavailable},
      {"GetPrinterDriverDirectoryA", kServerUnavailable},
      {"CreateServiceA", ERROR_SERVICE_MARKED_FOR_DELETE},
      {"DeleteService", ERROR_SERVICE_MARKED_FOR_DELETE},
      {"StartServiceA", ERROR_SERVICE_REQUEST_TIMEOUT},
      {"ControlService", ERROR_SERVICE_CANNOT_ACCEPT_CTRL},
      {"SendMessageA", kTimeout},
      {"GetPrivateProfileStringA", ERROR_SHARING_VIOLATION},
      {"GetPrivateProfileIntA", ERROR_SHARING_VIOLATION},
      {"GetPrivateProfileSectionA", ERROR_SHARING_VIOLATION},
      {"GetProfileStringA", ERROR_SHARING_VIOLATION},
      {"WritePrivateProfileStringA", ERROR_SHARING_VIOLATION},
      {"WriteProfileStringA", ERROR_SHARING_VIOLATION},
  };
  if (auto it = errors.find(op); it != errors.end()) return it->second;
  if (Releases(op)) return ERROR_INVALID_HANDLE;
  return ERROR_ACCESS_DENIED;
}

// Faults found and reported, not yet fixed: the sequence, the failing
// operations (space-separated), a part of the problem text, and why. A run
// whose every problem is listed here skips instead of failing; any other
// problem fails. Empty while every fault found is fixed.
struct KnownFault {
  const char* sequence;
  const char* operations;
  const char* problem;
  const char* reason;
};
const std::vector<KnownFault> kKnownFaults;

const KnownFault* Known(const std::string& sequence, const std::string& op,
                        const std::string& problem) {
  for (const auto& k : kKnownFaults)
    if (sequence == k.sequence &&
        (std::string(" ") + k.operations + " ").find(" " + op + " ") !=
            std::string::npos &&
        problem.find(k.problem) != std::string::npos)
      return &k;
  return nullptr;
}

// The handles and blocks a run may leave open.
struct Open {
  size_t keys, files, searches, globals, locals, printers;
  bool operator==(const Open& o) const {
    return keys == o.keys && files == o.files && searches == o.searches &&
           globals == o.globals && locals == o.locals && printers == o.printers;
  }
};
Open Count(sim::SimPlatform& os) {
  return {os.OpenKeyHandles(),
          os.OpenFileHandles(),
          sim::Files(os, os.machineDir()).finds.size(),
          os.LiveGlobalBlocks(),
          os.LiveLocalBlocks(),
          sim::OpenPrinterHandles(os)};
}

std::string OperationName(const std::string& line) {
  return line.substr(0, line.find('('));
}

size_t totalRuns = 0;
std::set<std::string> injected;  // operations failed at least once

void PrintTo(const Sequence& s, std::ostream* out) {
  *out << s.name << " on " << sim::WindowsVersionName(s.version);
}

// The machines live in memory-backed storage where there is one: thousands
// of them are laid out and removed.
const bool kInMemory = [] {
  std::error_code ec;
  if (!getenv("TMPDIR") && std::filesystem::is_directory("/dev/shm", ec) &&
      access("/dev/shm", W_OK) == 0)
    setenv("TMPDIR", "/dev/shm", 0);
  return true;
}();

class Faults : public testing::TestWithParam<Sequence> {};

TEST_P(Faults, NoFailingCallLosesDataOrReportsFalseSuccess) {
  const Sequence& s = GetParam();

  // The clean run and its list of calls.
  std::vector<std::pair<std::string, int>> calls;
  Items before, clean;
  {
    SimMachine m(s.version);
    s.prepare(m);
    before = Take(m.os());
    const Open open = Count(m.os());
    m.os().ClearOperations();
    const std::vector<int> r = s.run(m);
    std::map<std::string, int> seen;
    for (const auto& line : m.os().operations()) {
      const std::string op = OperationName(line);
      calls.emplace_back(op, ++seen[op]);
    }
    clean = Take(m.os());
    for (int result : r) ASSERT_EQ(result, 1) << "the clean run failed";
    ASSERT_EQ(s.unfinished(m, r, clean, clean), "");
    ASSERT_TRUE(Count(m.os()) == open) << "the clean run leaves handles open";
  }

  size_t runs = 0;
  std::vector<std::string> known, unknown;
  for (const auto& [op, occurrence] : calls) {
    if (kCannotFail.count(op)) continue;
    ++runs;
    injected.insert(op);
    SimMachine m(s.version);
    s.prepare(m);
    const Open open = Count(m.os());
    m.os().ClearOperations();
    m.os().FailOperation(op, ErrorFor(op), occurrence - 1, 1);
    const std::vector<int> r = s.run(m);
    m.os().ClearFailures();

    std::vector<std::string> problems;
    bool hit = false;
    for (const auto& line : m.os().operations())
      if (OperationName(line) == op &&
          line.find(" = injected ") != std::string::npos)
        hit = true;
    if (!hit) problems.push_back("the failure was never reached");
    const Items after = Take(m.os());
    for (const auto& l : Lost(before, clean, after)) problems.push_back(l);
    const std::string unfinished = s.unfinished(m, r, clean, after);
    if (!unfinished.empty())
      problems.push_back("success reported, but:" + unfinished);
    if (!Releases(op) && !(Count(m.os()) == open))
      problems.push_back("handles left open");

    if (problems.empty()) continue;
    std::string result, text;
    for (int v : r) result += (result.empty() ? "" : ",") + std::to_string(v);
    bool allKnown = true;
    std::string reasons;
    for (const auto& p : problems) {
      text += "\n    " + p;
      const KnownFault* k = Known(s.name, op, p);
      if (!k)
        allKnown = false;
      else if (reasons.find(k->reason) == std::string::npos)
        reasons += std::string(" [known: ") + k->reason + "]";
    }
    text = op + " #" + std::to_string(occurrence) + " failing (results " +
           result + "):" + text;
    (allKnown ? known : unknown).push_back(allKnown ? text + reasons : text);
  }
  totalRuns += runs;
  RecordProperty("fault_runs", static_cast<int>(runs));
  std::cout << "[ faults   ] " << s.name << " on "
            << sim::WindowsVersionName(s.version) << ": " << runs
            << " (operation, occurrence) runs of " << calls.size()
            << " calls\n";
  for (const auto& u : unknown) ADD_FAILURE() << u;
  if (unknown.empty() && !known.empty()) {
    std::string all;
    for (const auto& k : known) all += "\n  " + k;
    GTEST_SKIP() << known.size() << " known faults still failing:" << all;
  }
}

INSTANTIATE_TEST_SUITE_P(Sequences, Faults, testing::ValuesIn(AllSequences()),
                         [](const testing::TestParamInfo<Sequence>& i) {
                           return i.param.name + "_" +
                                  sim::WindowsVersionName(i.param.version);
                         });

// The number of fault runs of the whole program, once at its end.
class RunCount : public testing::Environment {
 public:
  void TearDown() override {
    std::cout << "[ faults   ] " << totalRuns
              << " (operation, occurrence) runs in all, of " << injected.size()
              << " operations\n";
  }
};
const testing::Environment* const kRunCount =
    testing::AddGlobalTestEnvironment(new RunCount);

}  // namespace
}  // namespace kv::test
