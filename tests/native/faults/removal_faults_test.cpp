// Every platform operation of the removal failing in turn.
//
// A generated medium (ours with two model sets, a scanner and TWAIN lists,
// and a second maker's printer made the default first) is installed once
// per family through the script host, with a user's documents on the
// machine; that machine is the starting point of every run. Each sequence
// runs once cleanly for its list of (operation, occurrence) pairs, then
// once per chosen pair on a fresh copy with that call failing, once or from
// there on. After the removal's calls the batch must be absent or
// whole (one self-deletion line, last; every other line naming a file that
// is there), RunOnce may name the batch only when it is whole, no printer
// may be left without its driver and no handle or block open; after the
// next start of Windows (run without failures) nothing that was on the
// machine before our installation, and that installation left alone, may
// be gone or changed.
//
// Not every pair is run (all of them take many minutes under the address
// sanitizer): each operation fails twice per sequence, once and from a call
// on, at calls chosen by a fixed rotation (see Failures).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "exports/dll_context.h"
#include "foundation/registry_paths.h"
#include "host/host_main.h"
#include "sim/file_paths.h"
#include "sim/next_start.h"
#include "sim/sim_printers.h"
#include "tests/native/roundtrip/medium.h"
#include "tests/native/support/sim_fixture.h"
#include "tests/native/support/staging_support.h"
#include "tests/native/support/windows_keys.h"
#include "uninstall/device_entries.h"
#include "uninstall/driver_files.h"
#include "uninstall/scanner_data.h"
#include "uninstall/uninstall_entries.h"

namespace kv::test {
namespace {

namespace fs = std::filesystem;
using sim::WindowsVersion;

// Two model sets (one with a Windows 9x USB printer, made the default), a
// scanner and TWAIN lists, and the second maker's printer.
constexpr uint64_t kSeed = 1046;

const bool kInMemory = [] {
  std::error_code ec;
  if (!getenv("TMPDIR") && fs::is_directory("/dev/shm", ec) &&
      access("/dev/shm", W_OK) == 0)
    setenv("TMPDIR", "/dev/shm", 0);
  return true;
}();

// ---------------------------------------------------------------------------
// What is on the machine: registry keys and values, files and folders,
// profile-file lines and file attributes, each with its content.

using Items = std::map<std::string, std::string>;

void AddKey(const sim::RegNode& node, const std::string& path, Items* out) {
  (*out)[path + "\\"] = "";
  for (const auto& [name, value] : node.values)
    (*out)[path + "|" + value.name] =
        std::to_string(value.type) + ":" +
        std::string(value.data.begin(), value.data.end());
  for (const auto& [name, sub] : node.subkeys)
    if (sub && !sub->deleted) AddKey(*sub, path + "\\" + sub->name, out);
}

// Profile files by line, so that one rewritten key does not hide another
// that went missing.
void AddProfile(const std::string& id, const std::string& text, Items* out) {
  std::istringstream in(text);
  std::string line, section;
  int loose = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const size_t eq = line.find('=');
    if (line[0] == '[')
      (*out)[id + "|" + (section = line)] = "";
    else if (eq == std::string::npos)
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
    std::string host = rel;
    for (char& c : host)
      if (c == '\\') c = '/';
    const std::string bytes = ReadHost(drive + "/" + host);
    if (sim::EqualNoCase(fs::path(host).extension().string(), ".ini"))
      AddProfile(id, bytes, &items);
    else
      items[id] = bytes;
  }
  for (const auto& [key, bits] : sim::Files(os, os.machineDir()).attributes)
    items["attributes of " + key] = std::to_string(bits);
  return items;
}

// ---------------------------------------------------------------------------
// The machine every run starts from.

struct Installed {
  TempDir dir;  // the medium, its scripts and machine/
  WindowsVersion version = WindowsVersion::XP;
  Items theirs;          // before our installation, and left alone by it
  std::string inUse;     // our monitor library, which the spooler holds
  std::string usbModel;  // a model of vt3eins.sii with a USB entry
  std::string error;
};

bool Host(const std::string& machine, const std::string& script,
          std::string* error) {
  std::istringstream in;
  std::ostringstream out;
  const int rc =
      host::RunNativeHost({"--machine", machine, script}, in, out, out);
  UnbindExportPlatform();
  if (rc != 0)
    *error = script + ": exit code " + std::to_string(rc) + "\n" + out.str();
  return rc == 0;
}

// The user's documents: in the Windows directory, the user's own folder,
// and beside the maker's per-user folder (which removal takes when empty).
void PlaceUserFiles(sim::SimPlatform& os) {
  const std::string appData = os.appDataDir();
  const std::string home = appData.substr(0, appData.rfind('\\'));
  os.WriteTextFile(os.windowsDir() + "\\Letter to Anna.txt", "Dear Anna,");
  os.WriteTextFile(home + "\\My Documents\\Budget 2003.xls", "budget");
  os.WriteTextFile(appData + "\\Korva\\my scan notes.txt", "notes");
  os.WriteTextFile(os.windowsDir() + "\\Twain_32\\readme.txt", "the user's");
}

std::string Profile(sim::SimPlatform& os, const char* section,
                    const char* key) {
  char value[512] = {};
  os.GetPrivateProfileStringA(section, key, "", value, sizeof value,
                              "vt3eins.sii");
  return value;
}

std::unique_ptr<Installed> Install(const std::string& family) {
  auto in = std::make_unique<Installed>();
  sim::ParseWindowsVersion(family, &in->version);
  const roundtrip::Medium medium = roundtrip::MakeMedium(kSeed, family);
  const std::string d = in->dir.path(), machine = d + "/machine";
  if (!roundtrip::WriteMedium(medium, d, &in->error) ||
      !Host(machine, d + "/second.kvs", &in->error))
    return in;
  Items base;
  {
    sim::SimPlatform os(in->version, machine);
    os.LoadState();
    PlaceUserFiles(os);
    os.SaveState();
    base = Take(os);
  }
  if (!roundtrip::PlugInPrinters(medium, machine, &in->error) ||
      !Host(machine, d + "/install.kvs", &in->error))
    return in;
  sim::SimPlatform os(in->version, machine);
  os.LoadState();
  const bool is9x = sim::IsWin9x(in->version);
  const char* const files = is9x                                 ? "Files.9x"
                            : in->version == WindowsVersion::NT4 ? "Files.NT"
                                                                 : "Files.2K";
  in->inUse = os.systemDir() + "\\" +
              Profile(os, files,
                      is9x                                 ? "Lmonm9x"
                      : in->version == WindowsVersion::NT4 ? "LmonmNT"
                                                           : "Lmonm2K");
  char keys[512] = {};
  os.GetPrivateProfileStringA("USBID", nullptr, "", keys, sizeof keys,
                              "vt3eins.sii");
  in->usbModel = keys;
  os.SaveState();
  const Items installed = Take(os);
  for (const auto& [id, content] : base) {
    auto now = installed.find(id);
    if (now != installed.end() && now->second == content)
      in->theirs[id] = content;
  }
  if (in->usbModel.empty()) in->error = "the medium has no USB model";
  return in;
}

const Installed& InstalledMachine(const std::string& family) {
  static std::map<std::string, std::unique_ptr<Installed>> machines;
  auto& slot = machines[family];
  if (!slot) slot = Install(family);
  return *slot;
}

// ---------------------------------------------------------------------------
// The checks.

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The one file a batch line deletes ("del", "/f", one path, quoted or
// not), or empty.
std::string LineTarget(const std::string& line) {
  std::string rest;
  if (Lower(line.substr(0, 7)) == "del /f ")
    rest = line.substr(7);
  else if (Lower(line.substr(0, 4)) == "del ")
    rest = line.substr(4);
  else
    return "";
  if (rest.size() > 2 && rest.front() == '"' && rest.back() == '"' &&
      rest.find('"', 1) == rest.size() - 1)
    return rest.substr(1, rest.size() - 2);
  return rest.find_first_of(" \t\"") == std::string::npos ? rest : "";
}

std::vector<std::string> BatchProblems(sim::SimPlatform& os, bool* named) {
  const std::string batch = os.systemDir() + "\\VT3E.bat";
  if (const sim::RegNode* run =
          os.FindKey(HKEY_LOCAL_MACHINE, test::kWinRunOnceKey))
    for (const auto& [name, value] : run->values)
      *named =
          *named || Lower(std::string(value.data.begin(), value.data.end()))
                            .find(Lower(batch)) != std::string::npos;
  std::string text;
  if (!os.ReadTextFile(batch, &text))
    return *named ? std::vector<std::string>{"RunOnce names a missing batch"}
                  : std::vector<std::string>{};
  std::vector<std::string> problems;
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)
    problems.push_back("batch ends in an unfinished line");
  int selfLines = 0;
  bool lastIsSelf = false;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 2;
    const std::string target = LineTarget(line);
    lastIsSelf = !target.empty() && sim::EqualNoCase(target, batch);
    if (lastIsSelf)
      ++selfLines;
    else if (target.empty())
      problems.push_back("batch line names no one file: " + line);
    else if (!fs::is_regular_file(os.HostPath(target)))
      problems.push_back("batch line names a missing file: " + line);
  }
  if (selfLines != 1 || !lastIsSelf) {
    std::string shown = text;
    for (size_t at; (at = shown.find("\r\n")) != std::string::npos;)
      shown.replace(at, 2, " | ");
    problems.push_back("batch has " + std::to_string(selfLines) +
                       " self-deletion line(s), " +
                       (lastIsSelf ? "one last" : "none last") +
                       (*named ? "; RunOnce names it" : "") + ": " + shown);
  }
  return problems;
}

std::vector<std::string> PrintersWithoutDriver(sim::SimPlatform& os) {
  std::vector<std::string> problems;
  const sim::RegNode* printers =
      os.FindKey(HKEY_LOCAL_MACHINE, sim::kPrintersKeyPath);
  if (!printers) return problems;
  const std::string envs = std::string(sim::kPrintKeyPath) + "\\Environments";
  for (const auto& [name, printer] : printers->subkeys) {
    if (!printer || printer->deleted) continue;
    auto value = printer->values.find("Printer Driver");
    std::string driver =
        value == printer->values.end()
            ? ""
            : std::string(value->second.data.begin(), value->second.data.end());
    driver = driver.substr(0, driver.find('\0'));
    bool found = false;
    for (const char* drivers :
         {"\\Windows 4.0\\Drivers\\", "\\Windows NT x86\\Drivers\\Version-2\\",
          "\\Windows NT x86\\Drivers\\Version-3\\"})
      found = found || (!driver.empty() && os.FindKey(HKEY_LOCAL_MACHINE,
                                                      envs + drivers + driver));
    if (!found)
      problems.push_back("printer \"" + printer->name +
                         "\" left without driver \"" + driver + "\"");
  }
  return problems;
}

std::string OperationName(const std::string& line) {
  return line.substr(0, line.find('('));
}

// A failed close or free leaves its handle or block behind by design.
bool Releases(const std::string& op) {
  return op == "RegCloseKey" || op == "CloseHandle" || op == "FindClose" ||
         op == "ClosePrinter" || op == "CloseServiceHandle" ||
         op == "GlobalFree" || op == "LocalFree";
}

// Service handles the record shows opened and not closed (the machine
// keeps no count): a close names a known handle by its service or
// "SCManager", an unknown one by its number.
int OpenServiceHandles(const std::vector<std::string>& ops) {
  int open = 0;
  for (const auto& line : ops) {
    const std::string op = OperationName(line);
    const bool injected = line.find(" = injected ") != std::string::npos;
    if ((op == "OpenSCManagerA" || op == "OpenServiceA" ||
         op == "CreateServiceA") &&
        line.find(") = 0x") != std::string::npos)
      ++open;
    else if (op == "CloseServiceHandle" && !injected &&
             line.compare(op.size() + 1, 2, "0x") != 0)
      --open;
  }
  return open;
}

std::string OpenHandles(sim::SimPlatform& os) {
  std::string open;
  const std::pair<const char*, size_t> counts[] = {
      {"registry keys", os.OpenKeyHandles()},
      {"files", os.OpenFileHandles()},
      {"searches", sim::Files(os, os.machineDir()).finds.size()},
      {"global blocks", os.LiveGlobalBlocks()},
      {"local blocks", os.LiveLocalBlocks()},
      {"printers", sim::OpenPrinterHandles(os)},
      {"services",
       static_cast<size_t>(std::max(0, OpenServiceHandles(os.operations())))}};
  for (const auto& [what, n] : counts)
    if (n) open += " " + std::to_string(n) + " " + what;
  return open;
}

// ---------------------------------------------------------------------------
// Failures.

const std::set<std::string> kCannotFail = {
    "GetTickCount", "CharPrevA",         "lstrcmpiA", "ReadBiosDataWord",
    "Sleep",        "GetCurrentProcess", "LZClose",   "IsDBCSLeadByte"};

// The error a failing call plausibly reports (access denied where nothing
// more telling fits); `always` when it fails from there on, where an
// enumeration's "more data" would be no answer Windows gives past the last
// entry.
DWORD ErrorFor(const std::string& op, bool always) {
  static const std::map<std::string, DWORD> errors = {
      {"GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY},
      {"GetVersionExA", ERROR_INSUFFICIENT_BUFFER},
      {"GetWindowsDirectoryA", ERROR_NOT_ENOUGH_MEMORY},
      {"GetSystemDirectoryA", ERROR_NOT_ENOUGH_MEMORY},
      {"ReadFile", 30},    // read fault
      {"WriteFile", 112},  // disk full
      // In use: a file that is there. An open of a missing one never
      // answers that, so CreateFileA is refused instead.
      {"DeleteFileA", ERROR_SHARING_VIOLATION},
      {"MoveFileA", ERROR_SHARING_VIOLATION},
      {"RegEnumKeyExA", ERROR_MORE_DATA},
      {"RegEnumValueA", ERROR_MORE_DATA},
      {"EnumPrintersA", 1722},  // the spooler is not running
      {"DeleteService", ERROR_SERVICE_MARKED_FOR_DELETE},
      {"StartServiceA", ERROR_SERVICE_REQUEST_TIMEOUT},
      {"SendMessageA", 1460},  // timeout
  };
  if (auto it = errors.find(op); it != errors.end())
    return always && it->second == ERROR_MORE_DATA ? ERROR_NOT_ENOUGH_MEMORY
                                                   : it->second;
  return Releases(op) ? ERROR_INVALID_HANDLE : ERROR_ACCESS_DENIED;
}

// ---------------------------------------------------------------------------
// The sequences and their runs.

struct Sequence {
  std::string name;
  std::string family;
  std::function<void(Context&, const Installed&)> run;
  bool nextStart;  // the removal: Windows starts again after it
  int shift = 0;   // see Failures
};

void PrintTo(const Sequence& s, std::ostream* out) {
  *out << s.name << " on " << s.family;
}

struct Outcome {
  std::vector<std::string> operations;
  std::vector<std::string> problems;
  bool handedOver = false;  // a batch that RunOnce names
};

// One run on a fresh copy of the installed machine, with `op` failing at
// `occurrence` `count` times (-1: from there on); no `op`: the clean run.
Outcome RunOn(const Sequence& s, const Installed& in, const std::string& op,
              int occurrence, int count) {
  TempDir dir;
  const std::string machine = dir.path() + "/machine";
  fs::copy(in.dir.path() + "/machine", machine, fs::copy_options::recursive);
  sim::SimPlatform os(in.version, machine);
  Outcome r;
  if (!os.LoadState()) {
    r.problems.push_back("the installed machine does not load");
    return r;
  }
  Context ctx(os);
  os.QueueMessageBoxAnswer(IDNO);
  os.SetFileInUse(in.inUse, true);
  os.ClearOperations();
  if (!op.empty())
    os.FailOperation(op, ErrorFor(op, count < 0), occurrence - 1, count);
  s.run(ctx, in);
  os.ClearFailures();
  r.operations = os.operations();

  if (!op.empty()) {
    bool hit = false;
    for (const auto& line : r.operations)
      hit = hit || (OperationName(line) == op &&
                    line.find(" = injected ") != std::string::npos);
    if (!hit) r.problems.push_back("the failure was never reached");
  }
  const std::string open = OpenHandles(os);
  if (!open.empty() && !Releases(op)) r.problems.push_back("left open:" + open);
  // A platform that keeps failing may leave the batch neither completed nor
  // deleted: such a batch is never handed over, so it never runs. Handed
  // over, or after a single failure, it must be whole.
  for (const auto& p : BatchProblems(os, &r.handedOver))
    if (count >= 0 || r.handedOver || p.rfind("batch has ", 0) != 0)
      r.problems.push_back(p);
  for (const auto& p : PrintersWithoutDriver(os)) r.problems.push_back(p);
  if (s.nextStart) {
    os.SetFileInUse(in.inUse, false);
    sim::StartWindowsAgain(os);
  }
  const Items after = Take(os);
  for (const auto& [id, content] : in.theirs) {
    auto now = after.find(id);
    if (now == after.end())
      r.problems.push_back("lost " + id);
    else if (now->second != content)
      r.problems.push_back("changed " + id);
  }
  return r;
}

// The failures of the `k`th operation of a sequence's list, called `calls`
// times: once at its first, last or middle call, and from a call on to the
// end. Which calls moves with `k` and the sequence's `shift`, so that the
// sequences of one code path fail each operation at several places.
std::vector<std::pair<int, int>> Failures(int calls, int k, int shift) {
  const int turn = k + shift;
  const int once[] = {1, calls, 1 + (calls - 1) / 2};
  return {{once[turn % 3], 1}, {1 + turn % 5 * (calls - 1) / 4, -1}};
}

std::vector<Sequence> AllSequences() {
  std::vector<Sequence> all;
  // 10 stands for the later Windows, which all take XP's steps.
  for (const std::string family :
       {"nt40", "win95", "win98", "winme", "win2k", "winxp", "win10"})
    all.push_back({"Removal", family,
                   [](Context& ctx, const Installed&) {
                     UninstInitialize(ctx);
                     UninstUnInitialize(ctx);
                   },
                   true, static_cast<int>(all.size())});
  const std::pair<const char*, int (*)(Context&, const char*)> exports[] = {
      {"DeleteFiles9x", DeleteFiles9x},
      {"DeleteFilesNT", DeleteFilesNT},
      {"DeleteFiles2k", DeleteFiles2k},
      {"DeleteFilesXP", DeleteFilesXP},
      {"DeleteFilesTWAIN", DeleteFilesTWAIN}};
  const char* const families[] = {"win98", "nt40", "win2k", "winxp", "winxp"};
  for (size_t i = 0; i < std::size(exports); ++i) {
    auto remove = exports[i].second;
    all.push_back({exports[i].first, families[i],
                   [remove](Context& ctx, const Installed&) {
                     remove(ctx, "vt3eins.sii");
                   },
                   false, static_cast<int>(all.size())});
  }
  all.push_back({"DeleteUSBIDEntry", "win98",
                 [](Context& ctx, const Installed& in) {
                   DeleteUSBIDEntry(ctx, in.usbModel.c_str(), "vt3eins.sii");
                 },
                 false, static_cast<int>(all.size())});
  return all;
}

class RemovalFaults : public testing::TestWithParam<Sequence> {};

TEST_P(RemovalFaults, NoFailingCallLosesDataOrStrandsTheBatch) {
  const Sequence& s = GetParam();
  const Installed& in = InstalledMachine(s.family);
  ASSERT_EQ(in.error, "");

  const Outcome clean = RunOn(s, in, "", 0, 0);
  std::string problems;
  for (const auto& p : clean.problems) problems += "\n  " + p;
  ASSERT_EQ(problems, "") << "the clean run";
  // The monitor library in use leaves the clean removal a batch to hand
  // over, so that the batch rules have something to hold.
  ASSERT_EQ(clean.handedOver, s.nextStart);
  std::map<std::string, int> calls;
  for (const auto& line : clean.operations) ++calls[OperationName(line)];

  size_t runs = 0;
  int k = 0;
  for (const auto& [op, n] : calls) {
    if (kCannotFail.count(op)) continue;
    for (const auto& [occurrence, count] : Failures(n, k++, s.shift)) {
      ++runs;
      const Outcome r = RunOn(s, in, op, occurrence, count);
      if (r.problems.empty()) continue;
      std::string text;
      for (const auto& p : r.problems) text += "\n    " + p;
      ADD_FAILURE() << op << " #" << occurrence << " of " << n
                    << (count == 1 ? " failing once:"
                                   : " failing from there on:")
                    << text;
    }
  }
  std::cout << "[ faults   ] " << s.name << " on " << s.family << ": " << runs
            << " runs of " << clean.operations.size() << " calls\n";
}

INSTANTIATE_TEST_SUITE_P(Sequences, RemovalFaults,
                         testing::ValuesIn(AllSequences()),
                         [](const testing::TestParamInfo<Sequence>& i) {
                           return i.param.name + "_" + i.param.family;
                         });

}  // namespace
}  // namespace kv::test
