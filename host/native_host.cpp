// kvsup-host on the simulated machine: the same exports, run against a
// SimPlatform of the chosen Windows version, optionally kept in a machine
// folder from one run to the next.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <streambuf>

#include "exports/dll_context.h"
#include "foundation/printable.h"
#include "host/capture_load.h"
#include "host/host_main.h"
#include "host/leftovers.h"
#include "host/runner.h"
#include "host/snapshot.h"
#include "sim/host_files.h"
#include "sim/next_start.h"
#include "sim/sim_platform.h"

namespace kv::host {
namespace {

namespace fs = std::filesystem;

const char kUsage[] =
    "usage: kvsup-host [options] [script]   (no script, or -: read stdin)\n"
    "Runs export calls of _KVSUP32 on a simulated Windows machine.\n"
    "  --os KIND            nt40 win95 win98 winme win2k winxp win2003 vista\n"
    "                       win7 win81 win10 (8.1 and 10 as a program whose\n"
    "                       manifest declares them sees them), "
    "win81-nomanifest\n"
    "                       win10-nomanifest (6.2 build 9200), nt351 win32s\n"
    "                       (default winxp, or the saved machine's)\n"
    "  --machine DIR        machine folder: loaded when it holds a saved\n"
    "                       machine, saved back at the end\n"
    "  --answer A[,A...]    message box answers in order: numbers or\n"
    "                       ok cancel abort retry ignore yes no\n"
    "  --print-boxes        print each message box with its answer\n"
    "  --trace              print every platform operation as it happens\n"
    "  --copy-in HOST=WIN   copy a host file or folder onto the machine\n"
    "                       before the script (WIN may use %WINDIR% %SYSDIR% "
    "%APPDATA%)\n"
    "  --check              check the script only; call nothing\n"
    "  --stop-on-error      stop at the first bad line\n"
    "  --list               list the exports and their argument kinds\n"
    "  --snapshot FILE      write a snapshot of the machine after the script\n"
    "                       (no script named: of the machine as it is)\n"
    "  --from-capture FILE  make the --machine folder (a new one) a copy of\n"
    "                       the machine kvsup-host.exe --capture recorded,\n"
    "                       then run the script on it, if one is named\n"
    "  --leftovers BEFORE AFTER\n"
    "                       compare two snapshots and report what changed;\n"
    "                       exit 0 when nothing unknown is left, 1 when\n"
    "                       something is, 2 when a file cannot be read\n";

// Indents every line written through it, so the trace stands apart from
// the results.
class IndentBuf : public std::streambuf {
 public:
  IndentBuf(std::ostream& dest, std::string prefix)
      : dest_(dest), prefix_(std::move(prefix)) {}

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    if (atLineStart_) dest_ << prefix_;
    dest_.put(static_cast<char>(c));
    atLineStart_ = c == '\n';
    return c;
  }
  int sync() override {
    dest_.flush();
    return 0;
  }

 private:
  std::ostream& dest_;
  std::string prefix_;
  bool atLineStart_ = true;
};

const char* MessageName(UINT message) {
  switch (message) {
    case WM_COMMAND:
      return "WM_COMMAND";
    case WM_TIMER:
      return "WM_TIMER";
    case WM_WININICHANGE:
      return "WM_WININICHANGE";
    case WM_FONTCHANGE:
      return "WM_FONTCHANGE";
  }
  return nullptr;
}

bool ParseAnswer(const std::string& word, int* answer) {
  static const struct {
    const char* name;
    int id;
  } kNames[] = {{"ok", IDOK},  {"cancel", IDCANCEL}, {"abort", 3}, {"retry", 4},
                {"ignore", 5}, {"yes", IDYES},       {"no", IDNO}};
  for (const auto& n : kNames) {
    if (word == n.name) {
      *answer = n.id;
      return true;
    }
  }
  char* end = nullptr;
  long v = std::strtol(word.c_str(), &end, 10);
  if (word.empty() || *end || v < 1 || v > 0xFFFF) return false;
  *answer = static_cast<int>(v);
  return true;
}

class NativeMachine : public Machine {
 public:
  NativeMachine(sim::SimPlatform& os, bool printBoxes)
      : os_(os), printBoxes_(printBoxes) {}

  void Report(std::ostream& out) override {
    const auto& boxes = os_.messageBoxes();
    for (; boxesShown_ < boxes.size(); ++boxesShown_) {
      if (!printBoxes_) continue;
      const auto& b = boxes[boxesShown_];
      char type[16];
      std::snprintf(type, sizeof type, "0x%X", b.type);
      out << "  box " << QuoteText(b.caption) << ": " << QuoteText(b.text)
          << " [type " << type << "] -> " << b.answer << "\n";
    }
  }

  std::string WindowsDirectory() override { return os_.windowsDir(); }
  std::string SystemDirectory() override { return os_.systemDir(); }
  std::string AppDataDirectory() override { return os_.appDataDir(); }

  bool CopyIn(const std::string& hostPath, const std::string& winPath,
              std::string* error) override {
    return os_.CopyIn(hostPath, winPath, error);
  }

  // Time passes on the machine's clock, so its threads (the timer thread)
  // run meanwhile. The script's windows belong to the simulated desktop;
  // what was sent or posted to any window is in the machine's message record.
  void Wait(unsigned ms, std::ostream& out) override {
    os_.Sleep(ms);
    const auto& messages = os_.messages();
    for (; messagesShown_ < messages.size(); ++messagesShown_) {
      const auto& m = messages[messagesShown_];
      out << "  " << WindowName(m.window) << " <- ";
      if (const char* name = MessageName(m.message)) {
        out << name;
      } else {
        out << "message 0x" << std::hex << m.message << std::dec;
      }
      out << " wParam=" << m.wParam << " lParam=" << m.lParam
          << (m.posted ? " (posted)" : " (sent)") << "\n";
    }
  }

  void SetLastError(DWORD error) override { os_.SetLastError(error); }
  bool StartWindowsAgain(std::ostream& out, std::string* error) override {
    (void)error;
    for (const std::string& line : sim::StartWindowsAgain(os_))
      out << "  " << line << "\n";
    return true;
  }

 protected:
  HWND CreateScriptWindow(long long number) override {
    return os_.CreateWindowHandle("hwnd(" + std::to_string(number) + ")");
  }

 private:
  sim::SimPlatform& os_;
  bool printBoxes_;
  size_t boxesShown_ = 0;
  size_t messagesShown_ = 0;
};

// A folder removed with its contents when the run ends (no --machine).
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern =
        (fs::temp_directory_path() / "kvsup-host-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The version a saved machine folder records, found by trying each value
// of machine.ini as a version name.
bool SavedVersion(const std::string& dir, sim::WindowsVersion* v) {
  std::string text;
  if (sim::ReadHostFile(dir + "/machine.ini", sim::kMachineIniLimit, &text) !=
      sim::HostRead::Ok)
    return false;
  std::istringstream ini(text);
  std::string line;
  while (std::getline(ini, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string value = line.substr(eq + 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' '))
      value.pop_back();
    if (sim::ParseWindowsVersion(value, v)) return true;
  }
  return false;
}

struct NativeOptions {
  std::string os;
  std::string machineDir;
  std::vector<int> answers;
  bool trace = false;
  bool printBoxes = false;
  bool list = false;
  std::vector<std::pair<std::string, std::string>> copyIns;
  RunOptions run;
  std::string script;  // empty or "-": stdin
  std::string snapshot;
  std::string fromCapture;
  std::string leftoversBefore, leftoversAfter;
};

bool ParseOptions(const std::vector<std::string>& args, NativeOptions* o,
                  std::ostream& err) {
  auto need = [&](size_t& i) -> const std::string* {
    if (i + 1 >= args.size()) {
      err << "kvsup-host: " << args[i] << " needs a value\n" << kUsage;
      return nullptr;
    }
    return &args[++i];
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const std::string* v = nullptr;
    if (a == "--os") {
      if (!(v = need(i))) return false;
      sim::WindowsVersion version;
      if (!sim::ParseWindowsVersion(*v, &version)) {
        err << "kvsup-host: unknown --os " << *v << "\n" << kUsage;
        return false;
      }
      o->os = *v;
    } else if (a == "--machine") {
      if (!(v = need(i))) return false;
      o->machineDir = *v;
    } else if (a == "--answer") {
      if (!(v = need(i))) return false;
      std::stringstream list(*v);
      std::string word;
      while (std::getline(list, word, ',')) {
        int answer;
        if (!ParseAnswer(word, &answer)) {
          err << "kvsup-host: bad --answer " << word << "\n";
          return false;
        }
        o->answers.push_back(answer);
      }
    } else if (a == "--copy-in") {
      if (!(v = need(i))) return false;
      std::string from, to;
      if (!SplitCopyIn(*v, &from, &to)) {
        err << "kvsup-host: --copy-in wants HOSTPATH=C:\\path, not " << *v
            << "\n";
        return false;
      }
      o->copyIns.emplace_back(from, to);
    } else if (a == "--trace") {
      o->trace = true;
    } else if (a == "--print-boxes") {
      o->printBoxes = true;
    } else if (a == "--check") {
      o->run.checkOnly = true;
    } else if (a == "--stop-on-error") {
      o->run.stopOnError = true;
    } else if (a == "--list") {
      o->list = true;
    } else if (a == "--snapshot") {
      if (!(v = need(i))) return false;
      o->snapshot = *v;
    } else if (a == "--from-capture") {
      if (!(v = need(i))) return false;
      o->fromCapture = *v;
    } else if (a == "--leftovers") {
      if (i + 2 >= args.size()) {
        err << "kvsup-host: --leftovers needs two snapshot files\n" << kUsage;
        return false;
      }
      o->leftoversBefore = args[++i];
      o->leftoversAfter = args[++i];
    } else if (a == "--help" || a == "-h") {
      err << kUsage;
      return false;
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      err << "kvsup-host: unknown option " << a << "\n" << kUsage;
      return false;
    } else if (o->script.empty()) {
      o->script = a;
    } else {
      err << "kvsup-host: one script only (" << o->script << ", " << a << ")\n";
      return false;
    }
  }
  if (!o->leftoversBefore.empty() &&
      (!o->script.empty() || !o->snapshot.empty() || o->list)) {
    err << "kvsup-host: --leftovers compares two files and runs nothing\n";
    return false;
  }
  if (!o->fromCapture.empty() && o->machineDir.empty()) {
    err << "kvsup-host: --from-capture needs --machine DIR, the folder the "
           "copy is kept in\n";
    return false;
  }
  return true;
}

}  // namespace

int RunNativeHost(const std::vector<std::string>& args, std::istream& in,
                  std::ostream& out, std::ostream& err) {
  NativeOptions o;
  if (!ParseOptions(args, &o, err)) return 2;
  if (!o.leftoversBefore.empty())
    return LeftoversCommand(o.leftoversBefore, o.leftoversAfter, out, err);
  ExportTable table = NativeExports();
  if (o.list) {
    for (const ExportInfo& e : table.all()) out << DescribeExport(e) << "\n";
    return 0;
  }

  std::ifstream file;
  std::istream* script = &in;
  if (!o.script.empty() && o.script != "-") {
    file.open(o.script, std::ios::binary);
    if (!file) {
      err << "kvsup-host: cannot read script " << o.script << "\n";
      return 2;
    }
    script = &file;
    o.run.scriptName = o.script;
    fs::path dir = fs::path(o.script).parent_path();
    o.run.scriptDir = dir.empty() ? "." : dir.string();
  }

  // The machine folder: the one given (kept), or a scratch one.
  ScratchDir scratch;
  std::string dir = o.machineDir;
  if (dir.empty()) {
    dir = scratch.path();
    if (dir.empty()) {
      err << "kvsup-host: cannot make a temporary machine folder\n";
      return 2;
    }
  }
  std::error_code ec;
  // A capture is read whole before anything is made: a bad one leaves no
  // half-made machine.
  Capture capture;
  if (!o.fromCapture.empty()) {
    std::string why;
    if (!ReadCapture(o.fromCapture, &capture, &why)) {
      err << "kvsup-host: " << PrintableText(why) << "\n";
      return 2;
    }
    if (fs::symlink_status(fs::path(dir) / "machine.ini", ec).type() !=
        fs::file_type::not_found) {
      err << "kvsup-host: " << dir
          << " holds a machine already; a capture is loaded into a new "
             "folder\n";
      return 2;
    }
    // Loading lays the copy's drive out afresh: never in a folder that
    // holds anything of someone else's.
    if (fs::exists(dir, ec) && !fs::is_empty(dir, ec)) {
      err << "kvsup-host: " << dir
          << " is not empty; a capture is loaded into a new folder\n";
      return 2;
    }
  }
  fs::create_directories(dir, ec);
  // A link named machine.ini counts as a saved machine, which loading then
  // refuses.
  bool saved = fs::symlink_status(fs::path(dir) / "machine.ini", ec).type() !=
               fs::file_type::not_found;
  // A drive_c that is a link (or anything but a folder) would take the
  // machine's files elsewhere: refused before anything is laid out.
  const fs::file_type drive =
      fs::symlink_status(fs::path(dir) / "drive_c", ec).type();
  if (drive != fs::file_type::not_found && drive != fs::file_type::directory) {
    err << "kvsup-host: " << PrintableText(dir)
        << "/drive_c is not a folder (a link is never followed)\n";
    return 2;
  }
  sim::WindowsVersion version = sim::WindowsVersion::XP;
  sim::WindowsVersion savedVersion = version;
  bool haveSavedVersion = saved && SavedVersion(dir, &savedVersion);
  if (!o.os.empty()) {
    sim::ParseWindowsVersion(o.os, &version);
    if (haveSavedVersion && savedVersion != version) {
      err << "kvsup-host: " << dir << " holds a "
          << sim::WindowsVersionName(savedVersion) << " machine, not " << o.os
          << "\n";
      return 2;
    }
  } else if (haveSavedVersion) {
    version = savedVersion;
  }
  if (!o.fromCapture.empty()) {
    sim::WindowsVersion captured;
    std::string note;
    if (!CaptureVersion(capture, &captured, &note))
      out << PrintableText(note) << "\n";
    if (!o.os.empty() && captured != version) {
      err << "kvsup-host: the capture is of a "
          << sim::WindowsVersionName(captured) << " machine, not " << o.os
          << "\n";
      return 2;
    }
    version = captured;
  }

  auto os = std::make_unique<sim::SimPlatform>(version, dir);
  if (!o.fromCapture.empty()) {
    out << "loaded " << o.fromCapture << " into " << dir << " ("
        << sim::WindowsVersionName(version) << ")\n";
    LoadCapture(capture, *os, out);
  }
  std::string stateWhy;
  if (saved && !os->LoadState(&stateWhy)) {
    err << "kvsup-host: the machine saved in " << dir
        << " cannot be loaded: " << PrintableText(stateWhy) << "\n";
    return 2;
  }
  IndentBuf traceBuf(out, "  | ");
  std::ostream traceStream(&traceBuf);
  if (o.trace) os->SetTraceStream(&traceStream);
  for (int answer : o.answers) os->QueueMessageBoxAnswer(answer);
  SetExportPlatform(*os);

  NativeMachine machine(*os, o.printBoxes);
  for (const auto& [from, to] : o.copyIns) {
    std::string why;
    if (!machine.CopyIn(from, machine.ExpandWinPath(to), &why)) {
      err << "kvsup-host: " << PrintableText(why) << "\n";
      return 2;
    }
  }

  // A snapshot with no script named records the machine as it is.
  RunSummary summary;
  if ((o.snapshot.empty() && o.fromCapture.empty()) || !o.script.empty())
    summary = RunScript(*script, table, machine, out, err, o.run);
  os->SetTraceStream(nullptr);

  int rc = summary.ok() ? 0 : 1;
  if (!o.machineDir.empty() && !o.run.checkOnly && !os->SaveState()) {
    err << "kvsup-host: cannot save the machine to " << dir << "\n";
    rc = 2;
  }
  std::string why;
  if (!o.snapshot.empty() &&
      !WriteSnapshot(TakeSnapshot(*os), o.snapshot, &why)) {
    err << "kvsup-host: " << PrintableText(why) << "\n";
    rc = 2;
  }
  if (!summary.ok()) {
    err << "kvsup-host: " << summary.badLines << " bad line"
        << (summary.badLines == 1 ? "" : "s") << ", " << summary.faults
        << " fault" << (summary.faults == 1 ? "" : "s") << "\n";
  }
  return rc;
}

int HostMain(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunNativeHost(args, std::cin, std::cout, std::cerr);
}

}  // namespace kv::host
