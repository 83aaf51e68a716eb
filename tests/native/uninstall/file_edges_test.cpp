// File removal at its edges: the 9x monitor libraries when some deletions
// fail, setup-file names one character past their buffer, and the scanner
// INF of Windows 98 beside the one of Me.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/native/support/sim_fixture.h"
#include "uninstall/driver_files.h"
#include "uninstall/printer_stack.h"
#include "uninstall/scanner_files.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;
using Removal = void (*)(Context&, const char*);

constexpr char kSetup[] = "kv.sii";

bool Exists(sim::SimPlatform& os, const std::string& path) {
  return os.GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string InfListing(const std::string& file) {
  return "[SourceDisksFiles]\r\n" + file + "=1\r\n";
}

// Only failures in a row end the walk over KVMON01.DLL, KVMON02.DLL, ...: a
// deletion that works starts the count again.
TEST(FileEdges, MonitorLibrariesGoOnPastScatteredFailures) {
  const struct {
    std::set<int> failing;  // DeleteFileA calls that fail, from 1
    std::set<int> kept;     // libraries left
  } cases[] = {
      {{1, 3, 5}, {1, 3, 5}},
      {{2, 3, 5, 6}, {2, 3, 5, 6}},
      {{2, 3, 4}, {2, 3, 4, 5, 6, 7}},  // three in a row: the walk ends
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.failing));
    SimMachine m(WindowsVersion::Win98);
    auto& os = m.os();
    ASSERT_TRUE(os.WriteTextFile(os.windowsDir() + "\\" + kSetup,
                                 "[Files.9x]\r\nLmonm9x=KVMON\r\n"));
    auto library = [&](int i) {
      return os.systemDir() + "\\KVMON0" + std::to_string(i) + ".DLL";
    };
    for (int i = 1; i <= 7; ++i)
      ASSERT_TRUE(os.WriteTextFile(library(i), "MZ"));
    // Added last call first: each failure then counts every call before it.
    for (auto call = c.failing.rbegin(); call != c.failing.rend(); ++call)
      os.FailOperation("DeleteFileA", ERROR_ACCESS_DENIED, *call - 1, 1);

    DeleteMonitorLibraries(m.ctx(), kSetup);

    for (int i = 1; i <= 7; ++i)
      EXPECT_EQ(Exists(os, library(i)), c.kept.count(i) == 1) << library(i);
  }
}

// A name one character longer than its buffer is passed over, never taken
// cut: the INF copy (or file) its first 48 characters name, and the files
// that INF lists, stay; on Me the 9x or common key does not stand in for a
// Me name passed over. At 48 characters the name is used.
TEST(FileEdges, OverLongNamesAreNotCut) {
  const struct {
    WindowsVersion version;
    Removal run;
    const char* section;
    const char* key;
    bool inf;  // the name is an INF copy whose list is walked
    const char* fallback = nullptr;  // naming the 48 characters
  } cases[] = {
      {WindowsVersion::Win98, DeletePrnFiles9x, "Model", "PRNInfFile9x", true},
      {WindowsVersion::WinMe, DeletePrnFiles9x, "Model", "PRNInfFileMe", true,
       "PRNInfFile9x"},
      {WindowsVersion::Win98, DeleteScnFiles9x, "Model", "SCNInfFile9x", true},
      {WindowsVersion::WinMe, DeleteScnFiles9x, "Model", "SCNInfFileMe", true,
       "SCNInfFile9x"},
      {WindowsVersion::Win98, DeleteUsbInfFiles9x, "Model", "USBInfFile9x",
       false, "USBINF"},
      {WindowsVersion::Win98, DeleteUsbInfFiles9x, "Model", "USBComINF", false},
      {WindowsVersion::WinMe, DeleteUsbInfFiles9x, "Model", "USBInfFileMe",
       false, "USBINF"},
      {WindowsVersion::NT4, DeletePrnFilesNT, "Model", "PRNInfFileNT", true},
      {WindowsVersion::Win2000, DeletePrnFiles2k, "Model", "PRNInfFile2K",
       true},
      {WindowsVersion::Win2000, DeletePrnFiles2k, "Model", "PRNCatFile2K",
       false},
      {WindowsVersion::Win2000, DeletePrnFiles2k, "Files.2K", "Lpt2K", false},
      {WindowsVersion::Win2000, DeleteScnFiles2k, "Model", "SCNInfFile2K",
       true},
      {WindowsVersion::Win2000, DeleteScnFiles2k, "Model", "SCNCatFile2K",
       false},
      {WindowsVersion::XP, DeletePrnFilesXP, "Model", "PRNInfFileXP", true},
      {WindowsVersion::XP, DeletePrnFilesXP, "Model", "PRNCatFileXP", false},
      {WindowsVersion::XP, DeleteScnFilesXP, "Model", "SCNInfFileXP", true},
      {WindowsVersion::XP, DeleteScnFilesXP, "Model", "SCNCatFileXP", false},
  };
  // One character more than a name may have, and its first 48.
  const std::string overLong = std::string(kInfNameSize - 4, 'n') + ".inf";
  const std::string fits = overLong.substr(0, kInfNameSize - 1);
  for (const auto& c : cases) {
    for (const std::string& name : {fits, overLong}) {
      SCOPED_TRACE(std::string(c.key) + " of " + std::to_string(name.size()));
      SimMachine m(c.version);
      auto& os = m.os();
      const std::string store = os.systemDir() + "\\KVDRV\\";
      std::string setup =
          std::string("[") + c.section + "]\r\n" + c.key + "=" + name + "\r\n";
      if (c.fallback) setup += c.fallback + ("=" + fits + "\r\n");
      ASSERT_TRUE(os.WriteTextFile(os.windowsDir() + "\\" + kSetup, setup));
      ASSERT_TRUE(os.WriteTextFile(store + fits, InfListing("fits.dll")));
      ASSERT_TRUE(os.WriteTextFile(store + overLong, InfListing("long.dll")));
      for (const char* f : {"fits.dll", "long.dll"})
        ASSERT_TRUE(os.WriteTextFile(os.systemDir() + "\\" + f, "x"));

      c.run(m.ctx(), kSetup);

      const bool used = name == fits;
      EXPECT_EQ(Exists(os, store + fits), !used);
      EXPECT_EQ(Exists(os, os.systemDir() + "\\fits.dll"), !(used && c.inf));
      EXPECT_TRUE(Exists(os, store + overLong));
      EXPECT_TRUE(Exists(os, os.systemDir() + "\\long.dll"));
    }
  }
}

// With both scanner INF names in the setup file, Windows 95 and 98 walk the
// 9x INF's list and Me its own; the other INF and its files stay.
TEST(FileEdges, ScannerInfOf98AndOfMe) {
  for (const WindowsVersion v :
       {WindowsVersion::Win95, WindowsVersion::Win98, WindowsVersion::WinMe}) {
    SCOPED_TRACE(sim::WindowsVersionName(v));
    SimMachine m(v);
    auto& os = m.os();
    const std::string sys = os.systemDir() + "\\";
    const std::string inf = os.windowsDir() + "\\INF\\";
    ASSERT_TRUE(os.WriteTextFile(
        os.windowsDir() + "\\" + kSetup,
        "[Model]\r\nSCNInfFile9x=s9x.inf\r\nSCNInfFileMe=sme.inf\r\n"));
    for (const std::string stem : {"s9x", "sme"}) {
      ASSERT_TRUE(os.WriteTextFile(sys + "KVDRV\\" + stem + ".inf",
                                   InfListing(stem + ".ds")));
      ASSERT_TRUE(os.WriteTextFile(inf + stem + ".inf", "x"));
      ASSERT_TRUE(os.WriteTextFile(sys + stem + ".ds", "x"));
    }

    DeleteScnFiles9x(m.ctx(), kSetup);

    const std::string own = v == WindowsVersion::WinMe ? "sme" : "s9x";
    for (const std::string stem : {"s9x", "sme"}) {
      for (const std::string& path : {sys + "KVDRV\\" + stem + ".inf",
                                      inf + stem + ".inf", sys + stem + ".ds"})
        EXPECT_EQ(Exists(os, path), stem != own) << path;
    }
  }
}

}  // namespace
}  // namespace kv::test
