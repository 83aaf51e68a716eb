// Printer, port, driver and monitor names that can't be what they claim stop
// the registration before anything on the machine changes; the default
// printer is only ever a printer the spooler has.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exports/printer_exports.h"
#include "printer/registration.h"
#include "tests/native/ports/ports_support.h"
#include "tests/native/support/printer_support.h"

namespace kv {
namespace {

using test::ControlCharacterNames;
using test::kSetupDir;
using test::kSii;
using test::kStaleError;
using test::MachineState;
using test::SampleSii;
using test::SimMachine;

struct NameCase {
  const char* what;
  std::vector<std::string> printers;  // each tried on port LPT1:
  std::vector<std::string> ports;     // each tried for printer "KV Printer"
  int usb;
  void (*change)(SampleSii&);  // a setup file naming something bad
  DWORD error;
  bool win9xOnly;
};

const NameCase kNameCases[] = {
    {"printer names",
     ControlCharacterNames(),
     {},
     0,
     nullptr,
     ERROR_INVALID_PRINTER_NAME,
     false},
    {"printer names no printer can have",
     {"KV,Printer", "KV Printer,WINSPOOL,LPT1:\r\nx", "KV\\Printer", "\\", "",
      std::string(256, 'p')},
     {},
     0,
     nullptr,
     ERROR_INVALID_PRINTER_NAME,
     false},
    {"ports",
     {},
     ControlCharacterNames(),
     0,
     nullptr,
     ERROR_INVALID_NAME,
     false},
    {"ports that would shift the device line",
     {},
     {"LPT1:,evil", ",", ""},
     0,
     nullptr,
     ERROR_INVALID_NAME,
     false},
    {"USB ports that would nest the device entry",
     {},
     {"USB\\001"},
     1,
     nullptr,
     ERROR_INVALID_NAME,
     true},
    {"driver field of the 9x device line",
     {},
     {"LPT1:"},
     0,
     [](SampleSii& s) {
       s.w9x.replace(s.w9x.find("Drcf9x=KVDRV"), 12, "Drcf9x=KV,DRV");
     },
     ERROR_INVALID_NAME,
     true},
    {"driver field with a control character",
     {},
     {"LPT1:"},
     0,
     [](SampleSii& s) {
       s.w9x.replace(s.w9x.find("Drcf9x=KVDRV"), 12, "Drcf9x=KV\x01");
     },
     ERROR_INVALID_NAME,
     true},
    {"driver name with a backslash",
     {},
     {"LPT1:"},
     0,
     [](SampleSii& s) { s.models = "nModelNum=1\r\nModel1=KV\\1000\r\n"; },
     ERROR_INVALID_NAME,
     false},
    {"driver name with a control character",
     {},
     {"LPT1:"},
     0,
     [](SampleSii& s) { s.models = "nModelNum=1\r\nModel1=KV\x7f\r\n"; },
     ERROR_INVALID_NAME,
     false},
};

TEST(BadNames, RegistrationRefusesBeforeAnythingChanges) {
  for (const test::VersionCase& v : test::AllVersions()) {
    if (v.osKind == OsKind::Other) continue;
    for (const NameCase& c : kNameCases) {
      if (c.win9xOnly && v.osKind != OsKind::Win9x) continue;
      SimMachine m(v.version);
      SampleSii sii;
      if (c.change) c.change(sii);
      test::PlaceMedium(m, sii);
      const std::string before = MachineState(m.os());
      std::vector<std::pair<std::string, std::string>> tries;
      for (const auto& p : c.printers) tries.push_back({p, "LPT1:"});
      for (const auto& p : c.ports) tries.push_back({"KV Printer", p});
      for (const auto& t : tries) {
        m.os().SetLastError(kStaleError);
        EXPECT_EQ(ToRegPrinter(m.ctx(), t.second.c_str(), "KV-1000", 1,
                               kSetupDir, t.first.c_str(), c.usb, kSii),
                  0)
            << v.name << " " << c.what << " [" << t.first << "|" << t.second
            << "]";
        EXPECT_EQ(m.os().GetLastError(), c.error)
            << v.name << " " << c.what << " [" << t.first << "|" << t.second
            << "]";
      }
      EXPECT_EQ(MachineState(m.os()), before) << v.name << " " << c.what;
      EXPECT_EQ(m.os().messages().size(), 0u) << v.name << " " << c.what;
    }
  }
}

TEST(BadNames, MonitorNamesOfTheSetupFileAreRefused) {
  // (A longer name can't come from the file: the read cuts it to 255.)
  const std::vector<std::string> names = {"KV\x01Mon", "KV\tMon", "KV\x7f",
                                          "KV\\Mon"};
  for (const test::VersionCase& v : test::AllVersions()) {
    if (v.osKind == OsKind::Other) continue;
    SimMachine m(v.version);
    m.BindExports();
    test::PlaceMedium(m);
    for (const std::string& name : names) {
      SampleSii sii;
      sii.com = "Lmonn=" + name + "\r\n";
      test::PlaceMedium(m, sii);
      const std::string before = MachineState(m.os());
      m.os().SetLastError(kStaleError);
      EXPECT_EQ(InstallPrinterMonitor(kSii), 0) << v.name << " " << name;
      EXPECT_EQ(m.os().GetLastError(), DWORD(ERROR_INVALID_NAME)) << v.name;
      EXPECT_EQ(MachineState(m.os()), before) << v.name << " " << name;
    }
    EXPECT_EQ(m.os().CountOperations("AddMonitorA"), 0u) << v.name;
  }
}

std::string DeviceLine(SimMachine& m) {
  char line[1024] = {};
  m.os().GetProfileStringA("windows", "device", "(none)", line, sizeof line);
  return line;
}

// The default-printer line names a printer the spooler has after the call:
// the one just created, or an existing one of that name; never one whose add
// failed.
TEST(DefaultPrinter, OnlyAPrinterTheSpoolerHasBecomesTheDefault) {
  for (const test::VersionCase& v : test::AllVersions()) {
    if (v.osKind == OsKind::Other) continue;
    const bool nt = v.osKind != OsKind::Win9x;
    const std::string driverField = nt ? ",WINSPOOL," : ",KVDRV,";
    SimMachine m(v.version);
    test::PlaceMedium(m);
    m.os().WriteProfileStringA("windows", "device", "Old,WINSPOOL,LPT3:");

    // The spooler refuses the add: no printer, the default stays.
    m.os().FailOperation("AddPrinterA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(ToRegPrinter(m.ctx(), "LPT1:", "KV-1000", 1, kSetupDir,
                           "KV Printer", 0, kSii),
              0)
        << v.name;
    EXPECT_EQ(DeviceLine(m), "Old,WINSPOOL,LPT3:") << v.name;
    EXPECT_EQ(m.os().messages().size(), 0u) << v.name;

    EXPECT_EQ(ToRegPrinter(m.ctx(), "LPT1:", "KV-1000", 1, kSetupDir, "KV Two",
                           0, kSii),
              1)
        << v.name;
    EXPECT_EQ(DeviceLine(m), "KV Two" + driverField + "LPT1:") << v.name;
    // An existing printer of that name is made the default again.
    m.os().WriteProfileStringA("windows", "device", "Old,WINSPOOL,LPT3:");
    EXPECT_EQ(ToRegPrinter(m.ctx(), "LPT2:", "KV-1000", 1, kSetupDir, "KV Two",
                           0, kSii),
              0)
        << v.name;
    EXPECT_EQ(DeviceLine(m), "KV Two" + driverField + "LPT2:") << v.name;
    EXPECT_EQ(sim::OpenPrinterHandles(m.os()), 0u) << v.name;
  }
}

}  // namespace
}  // namespace kv
