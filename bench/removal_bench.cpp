// The sample installation and its removal on one simulated machine, timed
// twice: on the wall clock, and on the machine's virtual clock, which moves
// only when the library sleeps (the service waits).
//
//   bench_removal <os> <examples-dir> <monitor-file> <work-dir> [runs]
//
// Runs examples/install-monitor.kvs, stage-files.kvs and register-printer.kvs
// (the installation), then remove-printer.kvs (the removal, the reboot
// question answered No), as kvsup-host does on one machine folder: each
// script starts with freshly loaded exports, the machine and its clock go on.
// The whole round is made `runs` times (default 5) on a fresh machine each
// time; wall times are the best run's, virtual times must agree across runs.
// Prints, for the last run, every export call with the time it took, then one
// line per phase:
//   result os=<os> phase=<install|removal> wall_s=<s> virtual_s=<s>
//     sleeps=<ms>x<count>,...
// Exit 1 when a script failed or did not do its work.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "exports/dll_context.h"
#include "host/host_main.h"
#include "host/runner.h"
#include "sim/next_start.h"
#include "sim/sim_platform.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Counts every sleep by its length: that is where the virtual time goes.
class CountingMachine : public kv::sim::SimPlatform {
 public:
  using SimPlatform::SimPlatform;
  void Sleep(DWORD milliseconds) override {
    ++sleeps[milliseconds];
    SimPlatform::Sleep(milliseconds);
  }
  std::map<DWORD, int> sleeps;
};

// The host's side of the machine, as the native kvsup-host has it, printing
// under each call what it cost.
class BenchHost : public kv::host::Machine {
 public:
  explicit BenchHost(CountingMachine& os) : os_(os) {}

  void BeforeCall() override {
    wallStart_ = Clock::now();
    virtualStart_ = os_.now();
  }
  void AfterCall() override { wallEnd_ = Clock::now(); }
  void Report(std::ostream& out) override {
    char line[96];
    std::snprintf(line, sizeof line, "  [virtual %.3f s, wall %.6f s]\n",
                  (os_.now() - virtualStart_) / 1000.0,
                  std::chrono::duration<double>(wallEnd_ - wallStart_).count());
    out << line;
  }

  std::string WindowsDirectory() override { return os_.windowsDir(); }
  std::string SystemDirectory() override { return os_.systemDir(); }
  std::string AppDataDirectory() override { return os_.appDataDir(); }
  bool CopyIn(const std::string& hostPath, const std::string& winPath,
              std::string* error) override {
    const std::string target = os_.HostPath(winPath);
    std::error_code ec;
    if (target.empty()) {
      *error = "not a path on drive C: " + winPath;
      return false;
    }
    if (fs::is_directory(hostPath, ec)) {
      fs::create_directories(target, ec);
      fs::copy(
          hostPath, target,
          fs::copy_options::recursive | fs::copy_options::overwrite_existing,
          ec);
    } else {
      fs::create_directories(fs::path(target).parent_path(), ec);
      fs::copy_file(hostPath, target, fs::copy_options::overwrite_existing, ec);
    }
    if (ec) *error = "cannot copy " + hostPath + ": " + ec.message();
    return !ec;
  }
  void Wait(unsigned ms, std::ostream&) override { os_.Sleep(ms); }
  void SetLastError(DWORD error) override { os_.SetLastError(error); }
  bool StartWindowsAgain(std::ostream& out, std::string*) override {
    for (const std::string& line : kv::sim::StartWindowsAgain(os_))
      out << "  " << line << "\n";
    return true;
  }

 protected:
  HWND CreateScriptWindow(long long number) override {
    return os_.CreateWindowHandle("hwnd(" + std::to_string(number) + ")");
  }

 private:
  CountingMachine& os_;
  Clock::time_point wallStart_, wallEnd_;
  DWORD virtualStart_ = 0;
};

struct Phase {
  double wall = 0;
  DWORD virtualMs = 0;
  std::map<DWORD, int> sleeps;
};

struct Round {
  Phase install, removal;
  std::string log;
  bool ok = true;
};

// A line "Name(...) = <result>" must be in the log: the call that shows the
// script did its work.
bool Did(const std::string& log, const std::string& call,
         const std::string& result) {
  std::istringstream in(log);
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(call + "(", 0) == 0 && line.size() >= result.size() + 3 &&
        line.compare(line.size() - result.size() - 3, std::string::npos,
                     " = " + result) == 0)
      return true;
  return false;
}

Round RunRound(kv::sim::WindowsVersion version, const fs::path& examples,
               const std::string& monitor, const fs::path& machineDir) {
  std::error_code ec;
  fs::remove_all(machineDir, ec);
  fs::create_directories(machineDir, ec);
  CountingMachine os(version, machineDir.string());
  BenchHost host(os);
  const kv::host::ExportTable table = kv::host::NativeExports();
  std::string why;
  Round round;
  if (!host.CopyIn(monitor, host.ExpandWinPath("%SYSDIR%\\kvtstmon.dll"),
                   &why)) {
    round.log = why + "\n";
    round.ok = false;
    return round;
  }

  std::ostringstream out;
  auto run = [&](const char* name, Phase& phase) {
    const fs::path file = examples / name;
    std::ifstream script(file, std::ios::binary);
    if (!script) round.ok = false;
    kv::host::RunOptions options;
    options.scriptName = file.string();
    options.scriptDir = examples.string();
    // A fresh process: the exports start with fresh process-wide state.
    kv::SetExportPlatform(os);
    os.sleeps.clear();
    out << "== " << name << "\n";
    const DWORD virtualStart = os.now();
    const auto wallStart = Clock::now();
    const kv::host::RunSummary summary =
        RunScript(script, table, host, out, out, options);
    phase.wall +=
        std::chrono::duration<double>(Clock::now() - wallStart).count();
    phase.virtualMs += os.now() - virtualStart;
    for (const auto& [ms, count] : os.sleeps) phase.sleeps[ms] += count;
    if (!summary.ok()) round.ok = false;
  };
  run("install-monitor.kvs", round.install);
  run("stage-files.kvs", round.install);
  run("register-printer.kvs", round.install);
  os.QueueMessageBoxAnswer(IDNO);  // the reboot question
  run("remove-printer.kvs", round.removal);
  kv::UnbindExportPlatform();

  round.log = out.str();
  round.ok = round.ok && Did(round.log, "InstallPrinterMonitor", "1") &&
             Did(round.log, "ToRegPrinter", "1") &&
             Did(round.log, "UninstInitialize", "0");
  return round;
}

std::string SleepText(const std::map<DWORD, int>& sleeps) {
  std::string text;
  for (auto it = sleeps.rbegin(); it != sleeps.rend(); ++it)
    text += (text.empty() ? "" : ",") + std::to_string(it->first) + "x" +
            std::to_string(it->second);
  return text.empty() ? "none" : text;
}

}  // namespace

int main(int argc, char** argv) {
  kv::sim::WindowsVersion version;
  if ((argc != 5 && argc != 6) ||
      !kv::sim::ParseWindowsVersion(argv[1], &version)) {
    std::fprintf(stderr,
                 "usage: bench_removal <os> <examples-dir> <monitor-file> "
                 "<work-dir> [runs]\n");
    return 2;
  }
  const int runs = argc == 6 ? std::max(1, std::atoi(argv[5])) : 5;
  const fs::path work = argv[4];

  Round best;
  for (int i = 0; i < runs; ++i) {
    Round round = RunRound(version, argv[2], argv[3], work / "machine");
    if (!round.ok) {
      std::cout << round.log;
      std::fprintf(stderr, "bench_removal: %s: a script failed\n", argv[1]);
      return 1;
    }
    if (i > 0 && (round.install.virtualMs != best.install.virtualMs ||
                  round.removal.virtualMs != best.removal.virtualMs)) {
      std::fprintf(stderr, "bench_removal: %s: virtual time differs by run\n",
                   argv[1]);
      return 1;
    }
    if (i > 0) {
      round.install.wall = std::min(round.install.wall, best.install.wall);
      round.removal.wall = std::min(round.removal.wall, best.removal.wall);
    }
    best = std::move(round);
  }
  std::cout << best.log;
  for (const auto& [name, phase] :
       {std::pair<const char*, const Phase&>{"install", best.install},
        {"removal", best.removal}})
    std::printf("result os=%s phase=%s wall_s=%.6f virtual_s=%.3f sleeps=%s\n",
                argv[1], name, phase.wall, phase.virtualMs / 1000.0,
                SleepText(phase.sleeps).c_str());
  return 0;
}
