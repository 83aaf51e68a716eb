// Port and monitor names that can't be what they claim are refused by every
// writer of ports/ before anything on the machine changes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exports/ports_exports.h"
#include "tests/native/ports/ports_support.h"
#include "tests/native/support/sim_fixture.h"

namespace kv::test {
namespace {

// What a writer answered: its result and last error, or for the writers that
// show the last-error box, the box's error code.
using Writer = std::string (*)(sim::SimPlatform&, HWND, const char*);

std::string Answer(sim::SimPlatform& os, int result) {
  return std::to_string(result) + "/" + std::to_string(os.GetLastError());
}

std::string BoxCode(sim::SimPlatform& os) {
  const std::string& text = os.messageBoxes().back().text;
  return text.substr(0, text.find(' '));
}

struct WriterCase {
  const char* what;
  Writer write;
  const char* refused;                  // the answer to a refused name
  std::vector<std::string> extraNames;  // refused besides control characters
};

const std::string kNested = "outer\\inner";
const std::string kOverlong(256, 'm');

const WriterCase kWriters[] = {
    {"StdTcpIpPortSet",
     [](sim::SimPlatform& os, HWND, const char* n) {
       return Answer(os, StdTcpIpPortSet(n, "10.0.0.1"));
     },
     "0/123",
     {kNested, "\\lead", "trail\\"}},
    {"KVPortSet",
     [](sim::SimPlatform& os, HWND, const char* n) {
       return Answer(os, KVPortSet(n, "10.0.0.1"));
     },
     "0/123",
     {kNested, "\\lead", "trail\\"}},
    {"StdTcpIpPortSetNt",
     [](sim::SimPlatform& os, HWND, const char* n) {
       return Answer(os, StdTcpIpPortSetNt(n, "server"));
     },
     "0/123",
     {kNested, "\\lead", "trail\\"}},
    {"Add_Port",
     [](sim::SimPlatform& os, HWND, const char* n) {
       return Answer(os, Add_Port(n));
     },
     "0/123",
     {"LPR Port\\Ports", kOverlong}},
    {"Add_Monitor",
     [](sim::SimPlatform& os, HWND, const char* n) {
       return Answer(os, Add_Monitor(n, "kvmon.dll"));
     },
     "0/123",
     {"KV\\Mon", kOverlong}},
    {"WinSub_AddPort",
     [](sim::SimPlatform& os, HWND parent, const char* n) {
       WinSub_AddPort(parent, n);
       return BoxCode(os);
     },
     "Err:123",
     {"LPR Port\\Ports", kOverlong}},
    // A port name may hold backslashes (a network share): only control
    // characters are refused.
    {"WinSub_DeletePort",
     [](sim::SimPlatform& os, HWND parent, const char* n) {
       WinSub_DeletePort(parent, n);
       return BoxCode(os);
     },
     "Err:123",
     {}},
};

TEST(BadNames, EveryPortAndMonitorWriterRefusesAndChangesNothing) {
  for (const VersionCase& v : AllVersions()) {
    if (v.osKind == OsKind::Other) continue;
    for (const WriterCase& w : kWriters) {
      SimMachine m(v.version);
      m.BindExports();
      HWND parent = m.os().CreateWindowHandle("installer");
      InstallMonitorKey(m.os(), "LPR Port");
      ASSERT_TRUE(
          m.os().WriteTextFile(m.os().systemDir() + "\\kvmon.dll", "MZ"));
      const std::string before = MachineState(m.os());
      std::vector<std::string> names = ControlCharacterNames();
      names.insert(names.end(), w.extraNames.begin(), w.extraNames.end());
      for (const std::string& name : names) {
        m.os().SetLastError(kStaleError);
        EXPECT_EQ(w.write(m.os(), parent, name.c_str()), w.refused)
            << v.name << " " << w.what << " [" << name << "]";
      }
      EXPECT_EQ(MachineState(m.os()), before) << v.name << " " << w.what;
      for (const char* op : {"AddPortA", "DeletePortA", "AddMonitorA"})
        EXPECT_EQ(m.os().CountOperations(op), 0u) << v.name << " " << op;
    }
  }
}

TEST(BadNames, AMonitorNameOfTheLongestKeyNameReachesTheSpooler) {
  SimMachine m(sim::WindowsVersion::XP);
  m.BindExports();
  ASSERT_TRUE(m.os().WriteTextFile(m.os().systemDir() + "\\kvmon.dll", "MZ"));
  const std::string longest(255, 'm');
  m.os().SetLastError(kStaleError);
  Add_Monitor(longest.c_str(), "kvmon.dll");
  EXPECT_EQ(m.os().CountOperations("AddMonitorA"), 1u);
  EXPECT_NE(m.os().GetLastError(), DWORD(ERROR_INVALID_NAME));
}

}  // namespace
}  // namespace kv::test
