#include "uninstall/printer_stack.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/registry.h"
#include "foundation/registry_paths.h"
#include "tests/native/support/printer_support.h"
#include "tests/native/support/windows_keys.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;

const WindowsVersion kRemovalVersions[] = {
    WindowsVersion::NT4, WindowsVersion::Win98, WindowsVersion::Win2000,
    WindowsVersion::XP};

std::string DriversKeyOf(WindowsVersion v) {
  switch (v) {
    case WindowsVersion::NT4:
      return test::kWinNt4DriversKey;
    case WindowsVersion::Win98:
      return test::kWin9xDriversKey;
    default:
      return test::kWinNt5DriversKey;
  }
}

void MakeKey(SimMachine& m, const std::string& path) {
  RegKey key(m.os());
  ASSERT_EQ(CreateKey(m.os(), HKEY_LOCAL_MACHINE, path, key), ERROR_SUCCESS)
      << path;
}

// A printer record as the spooler keeps it, with the sub-keys installation
// and the spooler make.
void AddPrinter(SimMachine& m, const std::string& name,
                const std::string& driver) {
  const std::string path = SubKeyPath(test::kWinPrintersKey, name);
  RegKey key(m.os());
  ASSERT_EQ(CreateKey(m.os(), HKEY_LOCAL_MACHINE, path, key), ERROR_SUCCESS);
  WriteString(m.os(), key.get(), "Name", name);
  WriteString(m.os(), key.get(), "Printer Driver", driver);
  WriteString(m.os(), key.get(), "Port", "LPT1:");
  WriteString(m.os(), key.get(), "Print Processor", "WinPrint");
  for (const char* sub : {"PrinterDriverData", "UserSettings", "DsSpooler"})
    MakeKey(m, SubKeyPath(path, sub));
}

void WriteSetup(SimMachine& m, const std::string& files) {
  ASSERT_TRUE(m.os().WriteTextFile(kSii, files));
}

bool Exists(sim::SimPlatform& os, const std::string& path) {
  return os.GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool HasKey(SimMachine& m, const std::string& path) {
  return m.os().FindKey(HKEY_LOCAL_MACHINE, path) != nullptr;
}

// The printers of the driver go in any letter case, whatever the length of
// the name the spooler lists (past 99 characters too), the others stay; the
// spooler deletes printers on Windows 9x only; the driver and its record go.
// A printer that can't be removed keeps its driver and the driver's record:
// left without them it could neither print nor be removed.
TEST(PrinterStack, RemovesPrintersDriverAndRecord) {
  const std::string atLimit(99, 'P'), longer(200, 'Q');
  for (const WindowsVersion v : kRemovalVersions) {
    for (const bool stuck : {false, true}) {
      SCOPED_TRACE(std::string(sim::WindowsVersionName(v)) +
                   (stuck ? " stuck" : ""));
      SimMachine m(v);
      const bool is9x = sim::IsWin9x(v);
      const std::string driverKey = SubKeyPath(DriversKeyOf(v), kDriverName);
      MakeKey(m, driverKey);
      MakeKey(m, SubKeyPath(DriversKeyOf(v), "Other Driver"));
      AddPrinter(m, "KV One", kDriverName);
      AddPrinter(m, "kv two", "korva kv-1000");
      AddPrinter(m, atLimit, kDriverName);
      AddPrinter(m, longer, kDriverName);
      AddPrinter(m, "KORVA KV-1000", "Other Driver");
      WriteSetup(m, "[Files.Com]\r\nLmonn=KV Lang Monitor\r\n");
      // The NT spooler's per-user [Devices] and [PrinterPorts] entries.
      for (const char* path :
           {test::kWinUserDevicesKey, test::kWinUserPrinterPortsKey}) {
        RegKey key(m.os());
        ASSERT_EQ(CreateKey(m.os(), HKEY_CURRENT_USER, path, key),
                  ERROR_SUCCESS);
        for (const char* printer : {"KV One", "KORVA KV-1000"})
          WriteString(m.os(), key.get(), printer, "winspool,LPT1:");
      }
      if (stuck) {
        m.os().FailOperation("RegDeleteKeyA", ERROR_ACCESS_DENIED, 0, -1);
        m.os().FailOperation("DeletePrinter", ERROR_ACCESS_DENIED, 0, -1);
      }

      bool kept = false;
      RemovePrinterStack(m.ctx(), kDriverName, kSii, &kept);

      for (const char* path :
           {test::kWinUserDevicesKey, test::kWinUserPrinterPortsKey}) {
        RegKey key(m.os());
        ASSERT_EQ(OpenKey(m.os(), HKEY_CURRENT_USER, path, key), ERROR_SUCCESS);
        const auto has = [&](const char* printer) {
          return m.os().RegQueryValueExA(key.get(), printer, nullptr, nullptr,
                                         nullptr, nullptr) == ERROR_SUCCESS;
        };
        EXPECT_EQ(has("KV One"), is9x) << path;  // 9x keeps them in win.ini
        EXPECT_TRUE(has("KORVA KV-1000")) << path;
      }

      for (const std::string& name :
           {std::string("KV One"), std::string("kv two"), atLimit, longer})
        EXPECT_EQ(HasKey(m, SubKeyPath(test::kWinPrintersKey, name)), stuck)
            << name.substr(0, 10);
      EXPECT_TRUE(
          HasKey(m, SubKeyPath(test::kWinPrintersKey, "KORVA KV-1000")));
      EXPECT_EQ(m.os().CountOperations("DeletePrinter"), is9x ? 4u : 0u);
      EXPECT_EQ(kept, stuck);
      EXPECT_EQ(HasKey(m, driverKey), stuck);
      EXPECT_EQ(m.os().CountOperations("DeletePrinterDriverA"),
                stuck ? 0u : 1u);
      EXPECT_TRUE(HasKey(m, SubKeyPath(DriversKeyOf(v), "Other Driver")));
      const std::string trace = m.traceText();
      EXPECT_EQ(trace.find("Driver kept, a printer may still use it") !=
                    std::string::npos,
                stuck);
      // No monitor is installed.
      EXPECT_NE(trace.find("UninstallPrinterMonitor Fail\n"),
                std::string::npos);
      EXPECT_EQ(sim::OpenPrinterHandles(m.os()), 0u);
      EXPECT_EQ(m.os().OpenKeyHandles(), 0u);
    }
  }
}

// A printer's known sub-keys go before its key, and any other key below it
// with it (the NT family would keep a key that has sub-keys); the project
// keys named in vt3eins.sii go only when the name is a single key name.
TEST(PrinterStack, PrinterRecordsAndProjectKeys) {
  const std::string korva = test::kWinKorvaKey;
  struct Case {
    const char* name;
    const char* model;  // [Model] of vt3eins.sii; null: no file
    const char* extraSubKey;
    int result;
    std::vector<std::string> gone, kept;
  } cases[] = {
      {"no settings file", nullptr, nullptr, 1, {}, {korva + "\\Prj"}},
      {"both projects",
       "Project=Prj\r\nProjectPrn=PrjPrn\r\n",
       nullptr,
       1,
       {korva + "\\Prj", korva + "\\PrjPrn"},
       {korva + "\\Keep"}},
      {"not single key names",
       "Project=..\r\nProjectPrn=Prj\\1.0\r\n",
       nullptr,
       1,
       {},
       {korva + "\\Prj\\1.0", korva + "\\Prj", korva}},
      {"unknown sub-keys go with the printer's key",
       "Project=Prj\r\n",
       "PrinterDriverData\\Forms",
       1,
       {korva + "\\Prj"},
       {korva + "\\Keep"}},
  };
  for (const Case& c : cases) {
    for (const WindowsVersion v : {WindowsVersion::Win98, WindowsVersion::XP}) {
      SCOPED_TRACE(std::string(c.name) + " " + sim::WindowsVersionName(v));
      SimMachine m(v);
      for (const char* p : {"Prj", "PrjPrn", "Keep"})
        MakeKey(m, korva + "\\" + p + "\\1.0");
      AddPrinter(m, "KV One", kDriverName);
      const std::string base = SubKeyPath(test::kWinPrintersKey, "KV One");
      if (c.extraSubKey) MakeKey(m, SubKeyPath(base, c.extraSubKey));
      if (c.model) {
        ASSERT_TRUE(m.os().WriteTextFile(m.os().windowsDir() + "\\vt3eins.sii",
                                         std::string("[Model]\r\n") + c.model));
      }

      EXPECT_EQ(RemovePrinterRecords(m.ctx(), "KV One"), c.result);

      EXPECT_FALSE(HasKey(m, SubKeyPath(base, "UserSettings")));
      EXPECT_FALSE(HasKey(m, base));
      for (const auto& k : c.gone) EXPECT_FALSE(HasKey(m, k)) << k;
      for (const auto& k : c.kept) EXPECT_TRUE(HasKey(m, k)) << k;
    }
  }
}

// A default printer naming a removed printer moves to the first printer
// left in the user's [Devices] (the registry on the NT family, win.ini on
// 9x, where the spooler clears the line as it deletes the printer); one
// naming another printer stays; with none left the line goes.
TEST(PrinterStack, DefaultPrinterMovesOnlyWhenItsPrinterGoes) {
  const struct {
    std::vector<const char*> others;  // printers of other drivers
    const char* before;
    const char* after;
  } cases[] = {
      {{"Other"}, "KV One,WINSPOOL,LPT1:", "Other,WINSPOOL,LPT1:"},
      {{"Other", "Third"}, "Third,WINSPOOL,LPT1:", "Third,WINSPOOL,LPT1:"},
      {{}, "KV One,WINSPOOL,LPT1:", ""},
      {{"Other"}, "", ""},
  };
  for (const WindowsVersion v : kRemovalVersions) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(sim::WindowsVersionName(v)) + " " + c.before);
      SimMachine m(v);
      RegKey devices(m.os());
      ASSERT_EQ(CreateKey(m.os(), HKEY_CURRENT_USER, test::kWinUserDevicesKey,
                          devices),
                ERROR_SUCCESS);
      // [Devices] as each family's spooler writes it; the default line as
      // registration does ("WINSPOOL" on the NT family, the driver on 9x).
      const auto addPrinter = [&](const char* name, const char* driver) {
        AddPrinter(m, name, driver);
        if (sim::IsWin9x(v))
          m.os().WriteProfileStringA("Devices", name, "WINSPOOL,LPT1:");
        else
          WriteString(m.os(), devices.get(), name, "winspool,LPT1:");
      };
      addPrinter("KV One", kDriverName);
      for (const char* other : c.others) addPrinter(other, "Other Driver");
      devices.Close();
      if (*c.before) m.os().WriteProfileStringA("windows", "device", c.before);
      RemovePrintersOfDriver(m.ctx(), kDriverName);
      char line[256] = {};
      m.os().GetProfileStringA("windows", "device", "", line, sizeof line);
      EXPECT_STREQ(line, c.after);
    }
  }
}

// Names no installation makes delete nothing, whatever they would name.
TEST(PrinterStack, BadNamesPassedOver) {
  const std::string longName(kRemovalNameLimit + 1, 'D');
  for (const char* name :
       {"", "Printers\\KV One", "KV\x01One", "..", longName.c_str()}) {
    SCOPED_TRACE(name);
    for (const WindowsVersion v : {WindowsVersion::Win98, WindowsVersion::XP}) {
      SimMachine m(v);
      AddPrinter(m, "KV One", name);
      MakeKey(m, SubKeyPath(DriversKeyOf(v), "KV One"));
      EXPECT_EQ(RemovePrinterRecords(m.ctx(), name), 0);
      EXPECT_EQ(RemovePrinterDriver(m.ctx(), name), 0);
      EXPECT_EQ(RemoveDriverKey(m.ctx(), name), 0);
      EXPECT_EQ(RemovePrintersOfDriver(m.ctx(), name), 0);
      EXPECT_TRUE(HasKey(m, SubKeyPath(test::kWinPrintersKey, "KV One")));
      EXPECT_TRUE(HasKey(m, SubKeyPath(DriversKeyOf(v), "KV One")));
      EXPECT_TRUE(HasKey(m, test::kWinPrintersKey));
      EXPECT_EQ(m.os().CountOperations("DeletePrinterDriverA"), 0u);
    }
  }
}

// Only the monitor named "Lmonn" (any case) is the installation's: a longer
// name beginning with it is another product's monitor, and so is one whose
// library is not the setup file's, or any of Windows' own monitors. The
// spooler is asked with the key's name on Windows 9x and with "Lmonn" itself
// on the NT family.
TEST(PrinterStack, MonitorKeyName) {
  struct Case {
    const char* lmonn;
    std::vector<std::string> keys;      // listed in name order, case ignored
    const char* found;                  // "": none
    const char* library = "kvmon.dll";  // the setup file's and the keys'
    const char* keyLibrary = "KVMON.DLL";
  } cases[] = {
      {"ABC", {"ABC", "ABCD"}, "ABC"},
      {"ABC", {"ABC 2", "ABCD"}, ""},
      {"ABC", {"ABCD", "XYZ"}, ""},
      {"ABC", {"abc", "ABCD"}, "abc"},
      {"ABC", {"AB", "abc"}, "abc"},
      {"", {"ABC"}, ""},
      {"ABC", {"ABC"}, "", "kvmon.dll", "other.dll"},
      {"ABC", {"ABC"}, "", "", ""},
      {"Local Port", {"Local Port"}, "", "localspl.dll", "localspl.dll"},
      {"My Port", {"My Port"}, "", "tcpmon.dll", "tcpmon.dll"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.lmonn) + " -> " + c.found);
    for (const WindowsVersion v : {WindowsVersion::Win98, WindowsVersion::XP}) {
      SimMachine m(v);
      for (const auto& k : c.keys) {
        RegKey key(m.os());
        ASSERT_EQ(CreateKey(m.os(), HKEY_LOCAL_MACHINE,
                            SubKeyPath(test::kWinMonitorsKey, k), key),
                  ERROR_SUCCESS);
        WriteString(m.os(), key.get(), "Driver", c.keyLibrary);
      }
      WriteSetup(m, std::string("[Files.Com]\r\nLmonn=") + c.lmonn +
                        "\r\n[Files.9x]\r\nLmonm9x=" + c.library +
                        "\r\n[Files.2K]\r\nLmonm2K=" + c.library + "\r\n");
      char out[kMonitorKeyNameSize] = "stale";
      EXPECT_EQ(FindMonitorKey(m.ctx(), out, kSii), *c.found ? 1 : 0);
      EXPECT_STREQ(out, c.found);
      EXPECT_EQ(m.os().OpenKeyHandles(), 0u);

      m.os().ClearOperations();
      // A key with a library is a monitor to the spooler, which deletes it.
      EXPECT_EQ(RemovePortMonitor(m.ctx(), kSii), *c.found ? 1 : 0);
      const std::string asked = sim::IsWin9x(v) ? c.found : c.lmonn;
      EXPECT_EQ(m.os().CountOperations("DeleteMonitorA"), *c.found ? 1u : 0u);
      for (const auto& op : m.os().operations()) {
        if (op.rfind("DeleteMonitorA(", 0) == 0) {
          EXPECT_NE(op.find(", \"" + asked + "\")"), std::string::npos) << op;
        }
      }
      // Only the one found goes.
      for (const auto& k : c.keys)
        EXPECT_EQ(HasKey(m, SubKeyPath(test::kWinMonitorsKey, k)), k != c.found)
            << k;
      EXPECT_EQ(m.traceText().find("DeleteMonitor Fail ErrMsg[0x") !=
                    std::string::npos,
                !*c.found);
    }
  }
}

TEST(PrinterStack, DeleteMonitorKeyNames) {
  SimMachine m(WindowsVersion::XP);
  MakeKey(m, SubKeyPath(test::kWinMonitorsKey, "KV Mon"));
  for (const char* bad : {"", "..", "KV Mon\\x", "."})
    EXPECT_EQ(DeleteMonitorKey(m.ctx(), bad), 0) << bad;
  EXPECT_TRUE(HasKey(m, test::kWinMonitorsKey));
  EXPECT_EQ(DeleteMonitorKey(m.ctx(), "kv mon"), 1);
  EXPECT_FALSE(HasKey(m, SubKeyPath(test::kWinMonitorsKey, "KV Mon")));
  EXPECT_EQ(DeleteMonitorKey(m.ctx(), "KV Mon"), 0);
}

// Windows 9x deletes the monitor's numbered libraries even when the spooler
// refuses the monitor; the NT family never does here.
TEST(PrinterStack, MonitorLibraries) {
  const char* setup =
      "[Files.Com]\r\nLmonn=KV Lang Monitor\r\n[Files.9x]\r\nLmonm9x=KVMON\r\n"
      "[Files.NT]\r\nLmonmNT=KVMON\r\n[Files.2K]\r\nLmonm2K=KVMON\r\n";
  for (const WindowsVersion v : kRemovalVersions) {
    for (const bool refused : {false, true}) {
      SCOPED_TRACE(std::string(sim::WindowsVersionName(v)) +
                   (refused ? " refused" : ""));
      SimMachine m(v);
      auto& os = m.os();
      const std::string sys = os.systemDir() + "\\";
      for (const char* f : {"KVMON01.DLL", "KVMON02.DLL", "KVMON04.DLL"})
        ASSERT_TRUE(os.WriteTextFile(sys + f, "MZ"));
      {
        RegKey monitor(os);
        ASSERT_EQ(
            CreateKey(os, HKEY_LOCAL_MACHINE,
                      SubKeyPath(test::kWinMonitorsKey, "KV Lang Monitor"),
                      monitor),
            ERROR_SUCCESS);
        // Installation registers the monitor with the setup file's library.
        WriteString(os, monitor.get(), "Driver", "KVMON");
      }
      WriteSetup(m, setup);
      if (refused) os.FailOperation("DeleteMonitorA", ERROR_ACCESS_DENIED);

      const int result = RemovePortMonitor(m.ctx(), kSii);

      const bool is9x = sim::IsWin9x(v);
      EXPECT_EQ(result, refused ? 0 : 1);
      EXPECT_EQ(Exists(os, sys + "KVMON01.DLL"), !is9x);
      EXPECT_EQ(Exists(os, sys + "KVMON02.DLL"), !is9x);
      EXPECT_TRUE(Exists(os, sys + "KVMON04.DLL"));  // after a gap
      EXPECT_EQ(HasKey(m, SubKeyPath(test::kWinMonitorsKey, "KV Lang Monitor")),
                refused && !is9x);
    }
  }
}

// The library loop's bounds, and stems that would leave the system
// directory.
TEST(PrinterStack, MonitorLibraryBounds) {
  struct Case {
    const char* stem;
    DWORD failWith;  // every deletion fails with it; 0: none
    size_t deletes;  // DeleteFileA calls
  } cases[] = {
      {"KVMON", 0, kMonitorLibraryLimit},  // 100 present: stops at the limit
      {"KVMON", ERROR_ACCESS_DENIED, kMonitorLibraryFailures},
      {"..\\KVMON", 0, 0},
      {"C:KVMON", 0, 0},
      {"sub/KVMON", 0, 0},
      {"..", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stem);
    SimMachine m(WindowsVersion::Win98);
    auto& os = m.os();
    const std::string sys = os.systemDir() + "\\";
    for (int i = 1; i <= 100; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "KVMON%02d.DLL", i);
      ASSERT_TRUE(os.WriteTextFile(sys + name, "MZ"));
    }
    WriteSetup(m, std::string("[Files.9x]\r\nLmonm9x=") + c.stem + "\r\n");
    if (c.failWith) os.FailOperation("DeleteFileA", c.failWith, 0, 1000);
    DeleteMonitorLibraries(m.ctx(), kSii);
    EXPECT_EQ(os.CountOperations("DeleteFileA"), c.deletes);
    EXPECT_TRUE(Exists(os, sys + "KVMON100.DLL"));
    EXPECT_EQ(Exists(os, sys + "KVMON01.DLL"),
              c.deletes == 0 || c.failWith != 0);
  }
}

}  // namespace
}  // namespace kv::test
