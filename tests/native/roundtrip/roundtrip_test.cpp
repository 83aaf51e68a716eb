// Installation and removal of generated media, on a fresh machine of each
// family: a second maker's product is installed first, then ours; after our
// removal and the next start of Windows the machine must be as it was
// before our installation, apart from the known items of the leftover
// report, with the second maker's printer still the default.
//
// KVSUP_ROUNDTRIP_SEEDS=N runs N random media (default 8) after the limit
// media.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "exports/dll_context.h"
#include "host/host_main.h"
#include "host/leftovers.h"
#include "host/snapshot.h"
#include "tests/native/roundtrip/medium.h"

namespace kv::roundtrip {
namespace {

namespace fs = std::filesystem;

struct Case {
  uint64_t seed;
  std::string os;
};

void PrintTo(const Case& c, std::ostream* out) {
  *out << "seed " << c.seed << " on " << c.os;
}

std::vector<Case> Cases() {
  size_t random = 8;
  if (const char* n = getenv("KVSUP_ROUNDTRIP_SEEDS"))
    random = static_cast<size_t>(std::max(0, atoi(n)));
  std::vector<uint64_t> seeds;
  for (uint64_t s = 0; s < LimitSeedCount(); ++s) seeds.push_back(s);
  for (uint64_t s = 0; s < random; ++s) seeds.push_back(kFirstRandomSeed + s);
  // Vista, 8.1 and 10 without manifest take 7's and 10's steps: random only.
  const std::set<std::string> randomOnly{"vista", "win81", "win10-nomanifest"};
  std::vector<Case> cases;
  for (uint64_t seed : seeds)
    for (const std::string& os : Families())
      if (seed >= kFirstRandomSeed || !randomOnly.count(os))
        cases.push_back({seed, os});
  return cases;
}

// The case's folder: medium, scripts, machine and snapshots; in memory
// where the computer has /dev/shm.
class CaseDir {
 public:
  CaseDir() {
    std::error_code ec;
    const fs::path base = fs::is_directory("/dev/shm", ec)
                              ? "/dev/shm"
                              : fs::temp_directory_path();
    std::string pattern = (base / "kvsup-roundtrip-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~CaseDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// One kvsup-host run, in this process; its output on failure.
bool Host(const std::vector<std::string>& args, std::string* log) {
  std::istringstream in;
  std::ostringstream out;
  const int rc = host::RunNativeHost(args, in, out, out);
  UnbindExportPlatform();
  *log = "kvsup-host exit code " + std::to_string(rc) + "\n" + out.str();
  return rc == 0;
}

host::Snapshot Read(const std::string& path) {
  host::Snapshot s;
  std::string error;
  EXPECT_TRUE(host::ReadSnapshot(path, &s, &error)) << error;
  return s;
}

bool HasPrinter(const host::Snapshot& s, const std::string& name) {
  host::SnapshotFact f{host::SnapshotGroup::kSpooler, "printer", {name}, ""};
  return s.facts.count(host::FactIdentity(f)) > 0;
}

// The default printer's name, from [windows] device.
std::string DefaultPrinter(const host::Snapshot& s) {
  host::SnapshotFact f{
      host::SnapshotGroup::kWinIni, "entry", {"windows", "device"}, ""};
  auto it = s.facts.find(host::FactIdentity(f));
  if (it == s.facts.end()) return "(none)";
  const std::string& quoted = it->second.content;  // "\"name,...\""
  return quoted.substr(1, quoted.find(',') - 1);
}

class RoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(RoundTrip, RemovalLeavesTheMachineAsBefore) {
  const Case& c = GetParam();
  const Medium medium = MakeMedium(c.seed, c.os);
  CaseDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::string d = dir.path();
  const std::string about =
      medium.summary + "\nreplay:\n" +
      ReplayCommands(medium, "build/roundtrip/seed" + std::to_string(c.seed) +
                                 "_" + c.os) +
      "\n";
  std::string error, log;
  ASSERT_TRUE(WriteMedium(medium, d, &error)) << error;
  const std::vector<std::string> machine = {"--machine", d + "/machine",
                                            "--print-boxes"};
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), machine.begin(), machine.end());
    return Host(args, &log);
  };

  ASSERT_TRUE(run({"--snapshot", d + "/before.snap", d + "/second.kvs"}))
      << about << log;
  const host::Snapshot before = Read(d + "/before.snap");
  ASSERT_TRUE(HasPrinter(before, medium.secondPrinter)) << about << log;
  ASSERT_EQ(DefaultPrinter(before), medium.secondPrinter) << about << log;

  if (!medium.usbDevices.empty()) {
    ASSERT_TRUE(PlugInPrinters(medium, d + "/machine", &error)) << error;
  }
  // Every printer made, or the removal below proves nothing.
  ASSERT_TRUE(run({"--snapshot", d + "/installed.snap", d + "/install.kvs"}))
      << about << log;
  const host::Snapshot installed = Read(d + "/installed.snap");
  for (const std::string& printer : medium.printers) {
    ASSERT_TRUE(HasPrinter(installed, printer))
        << "not installed: " << printer << "\n"
        << about << log;
  }

  ASSERT_TRUE(run(
      {"--answer", "no", "--snapshot", d + "/after.snap", d + "/remove.kvs"}))
      << about << log;
  const host::Snapshot after = Read(d + "/after.snap");
  const host::LeftoverReport report = host::CompareSnapshots(before, after);
  std::ostringstream text;
  host::PrintLeftoverReport(report, text);
  EXPECT_TRUE(report.clean()) << "seed " << c.seed << " on " << c.os << "\n"
                              << text.str() << about;
  EXPECT_EQ(DefaultPrinter(after), medium.secondPrinter)
      << "seed " << c.seed << " on " << c.os << "\n"
      << about;
}

INSTANTIATE_TEST_SUITE_P(Media, RoundTrip, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& param) {
                           std::string os = param.param.os;
                           std::replace(os.begin(), os.end(), '-', '_');
                           return "seed" + std::to_string(param.param.seed) +
                                  "_" + os;
                         });

}  // namespace
}  // namespace kv::roundtrip
