// Whole removals per Windows family, through the model-set removal and the
// uninstaller's first entry: each family takes its own driver files, the 9x
// parallel-port device entries, the scanner data vt3eins.sii names, and the
// monitor key and port-driver service only while the spooler is stopped.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "printer/pnp9x.h"
#include "printer/registration.h"
#include "sim/sim_services.h"
#include "tests/native/support/printer_support.h"
#include "uninstall/model_set.h"
#include "uninstall/uninstall_entries.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;

// The uninstall setup files, in the order removal takes their sets.
constexpr const char* kSetupFiles[] = {"vt3eins.sii", "vt3dins.sii",
                                       "vt3hins.sii"};

bool Exists(sim::SimPlatform& os, const std::string& path) {
  return os.GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool HasKey(sim::SimPlatform& os, const std::string& path) {
  return os.FindKey(HKEY_LOCAL_MACHINE, path) != nullptr;
}

// The two ways a model set goes: on its own, and as one of the three sets
// of the whole removal (`file` is then where the set's setup text is).
struct Entry {
  const char* name;
  void (*run)(Context&, const char* file);
};
const Entry kEntries[] = {
    {"RemoveModelSet",
     [](Context& ctx, const char* f) { RemoveModelSet(ctx, f); }},
    {"UninstInitialize",
     [](Context& ctx, const char*) { UninstInitialize(ctx); }},
};

void WriteSetup(sim::SimPlatform& os, const char* name,
                const std::string& text) {
  ASSERT_TRUE(os.WriteTextFile(os.windowsDir() + "\\" + name, text));
}

// Every family's INF key names an INF copy in the driver store that lists
// one file of its own: only the running family's copies and files go.
TEST(FamilySequence, EachFamilyTakesItsOwnDriverFiles) {
  const std::map<std::string, std::string> keys = {
      {"PRNInfFile9x", "prn9x"}, {"SCNInfFile9x", "scn9x"},
      {"PRNInfFileNT", "prnnt"}, {"PRNInfFile2K", "prn2k"},
      {"SCNInfFile2K", "scn2k"}, {"PRNInfFileXP", "prnxp"},
      {"SCNInfFileXP", "scnxp"}};
  const struct {
    WindowsVersion version;
    std::vector<std::string> own;
  } cases[] = {
      {WindowsVersion::Win95, {"prn9x", "scn9x"}},
      {WindowsVersion::Win98, {"prn9x", "scn9x"}},
      {WindowsVersion::WinMe, {"prn9x", "scn9x"}},
      {WindowsVersion::NT4, {"prnnt"}},
      {WindowsVersion::Win2000, {"prn2k", "scn2k"}},
      {WindowsVersion::XP, {"prnxp", "scnxp"}},
  };
  std::string setup = "[Model]\r\n";
  for (const auto& [key, stem] : keys) setup += key + "=" + stem + ".inf\r\n";
  for (const auto& c : cases) {
    for (const Entry& entry : kEntries) {
      for (const char* file : kSetupFiles) {
        SCOPED_TRACE(std::string(sim::WindowsVersionName(c.version)) + " " +
                     entry.name + " " + file);
        SimMachine m(c.version);
        auto& os = m.os();
        const std::string sys = os.systemDir() + "\\";
        WriteSetup(os, file, setup);
        for (const auto& [key, stem] : keys) {
          ASSERT_TRUE(
              os.WriteTextFile(sys + "KVDRV\\" + stem + ".inf",
                               "[SourceDisksFiles]\r\n" + stem + ".dll=1\r\n"));
          ASSERT_TRUE(os.WriteTextFile(sys + stem + ".dll", "x"));
        }

        entry.run(m.ctx(), file);

        for (const auto& [key, stem] : keys) {
          const bool own =
              std::find(c.own.begin(), c.own.end(), stem) != c.own.end();
          EXPECT_EQ(Exists(os, sys + "KVDRV\\" + stem + ".inf"), !own) << stem;
          EXPECT_EQ(Exists(os, sys + stem + ".dll"), !own) << stem;
        }
      }
    }
  }
}

// Windows 9x: every model's parallel-port device entry goes, as
// registration wrote it.
TEST(FamilySequence, NinexParallelPortEntriesGo) {
  const SampleSii sii;  // KV-1000 and KV-2000, each with an LPTENUM DevID
  const char* const devIds[] = {"LPTENUM\\KORVAKV-1000D1A2",
                                "LPTENUM\\KORVAKV-2000D1A3"};
  for (const WindowsVersion v :
       {WindowsVersion::Win95, WindowsVersion::Win98, WindowsVersion::WinMe}) {
    for (const Entry& entry : kEntries) {
      SCOPED_TRACE(std::string(sim::WindowsVersionName(v)) + " " + entry.name);
      SimMachine m(v);
      auto& os = m.os();
      WriteSetup(os, "vt3eins.sii", sii.Text());
      for (const char* devId : devIds) {
        const std::string model = std::string(devId).substr(13, 7);
        ASSERT_EQ(
            WriteLptDeviceEntries9x(m.ctx(), ("KORVA " + model).c_str(), devId),
            1);
        ASSERT_TRUE(HasKey(os, std::string("Enum\\") + devId));
      }

      entry.run(m.ctx(), "vt3eins.sii");

      for (const char* devId : devIds)
        EXPECT_FALSE(HasKey(os, std::string("Enum\\") + devId)) << devId;
    }
  }
}

// The scanner's preference file is the one vt3eins.sii names, in the
// family's scanner data folder; the other setup files' stay. NT 4.0 has no
// scanner data folder: there nothing goes.
TEST(FamilySequence, ScannerDataOfTheFirstSetupFile) {
  for (const WindowsVersion v :
       {WindowsVersion::Win98, WindowsVersion::WinMe, WindowsVersion::NT4,
        WindowsVersion::Win2000, WindowsVersion::XP}) {
    SCOPED_TRACE(sim::WindowsVersionName(v));
    SimMachine m(v);
    auto& os = m.os();
    const std::string folder =
        sim::IsWin9x(v) ? os.windowsDir() + "\\TWAIN_32\\KVSTWN"
                        : os.appDataDir() + "\\Korva\\ScannerDriver\\KVS";
    for (const char* file : kSetupFiles) {
      const std::string data = std::string(file, 5) + ".DAT";
      WriteSetup(os, file,
                 "[Initial]\r\nNameHeader=KVS\r\n[Model]\r\nSCNPreData=" +
                     data + "\r\n");
      ASSERT_TRUE(os.WriteTextFile(folder + "\\" + data, "x"));
    }

    UninstInitialize(m.ctx());

    for (size_t i = 0; i < std::size(kSetupFiles); ++i) {
      const std::string data = std::string(kSetupFiles[i], 5) + ".DAT";
      EXPECT_EQ(Exists(os, folder + "\\" + data),
                i > 0 || v == WindowsVersion::NT4)
          << data;
    }
  }
}

bool StartsNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() &&
         sim::EqualNoCase(text.substr(0, prefix.size()), prefix);
}

// The deletions of the monitor's key and of the port driver's service in
// the operation record, each with whether the spooler was stopped then:
// asked to stop, and not started again since.
std::vector<std::pair<std::string, bool>> DeletionsAndSpooler(
    const sim::SimPlatform& os) {
  std::vector<std::pair<std::string, bool>> deletions;
  bool stopped = false;
  for (const std::string& op : os.operations()) {
    if (StartsNoCase(op, "ControlService(\"spooler\", 1)"))
      stopped = true;
    else if (StartsNoCase(op, "StartServiceA(\"spooler\")"))
      stopped = false;
    else if ((StartsNoCase(op, "RegDeleteKeyA(") &&
              op.find("Monitors\\KV Lang Monitor\"") != std::string::npos) ||
             StartsNoCase(op, "DeleteService(\"KvLpt\")"))
      deletions.emplace_back(op, stopped);
  }
  return deletions;
}

// The NT family deletes the monitor's key and the port driver's service
// between stopping the spooler and starting it again (the running spooler
// holds the monitor's key), and leaves it running.
TEST(FamilySequence, MonitorKeyAndServiceGoWhileTheSpoolerIsStopped) {
  for (const WindowsVersion v :
       {WindowsVersion::NT4, WindowsVersion::Win2000, WindowsVersion::XP}) {
    for (const Entry& entry : kEntries) {
      SCOPED_TRACE(std::string(sim::WindowsVersionName(v)) + " " + entry.name);
      SimMachine m(v);
      auto& os = m.os();
      PlaceMedium(m);
      WriteSetup(os, "vt3eins.sii", SampleSii().Text());
      ASSERT_EQ(ToRegPrinter(m.ctx(), "LPT1:", "KV-1000", 1, kSetupDir,
                             "KV Printer", 0, kSii),
                1);
      const std::string monitor =
          "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\KV Lang "
          "Monitor";
      ASSERT_TRUE(HasKey(os, monitor));
      ASSERT_NE(sim::ServiceCurrentState(os, "KvLpt"), 0u);
      os.ClearOperations();

      entry.run(m.ctx(), "vt3eins.sii");

      const auto deletions = DeletionsAndSpooler(os);
      ASSERT_EQ(deletions.size(), 2u);
      for (const auto& [op, stopped] : deletions) EXPECT_TRUE(stopped) << op;
      EXPECT_FALSE(HasKey(os, monitor));
      EXPECT_TRUE(sim::IsServiceMarkedForDelete(os, "KvLpt") ||
                  sim::ServiceCurrentState(os, "KvLpt") == 0);
      EXPECT_EQ(sim::ServiceCurrentState(os, "Spooler"),
                DWORD{SERVICE_RUNNING});
    }
  }
}

}  // namespace
}  // namespace kv::test
