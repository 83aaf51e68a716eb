#include "uninstall/uninstall_entries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/setupinfo.h"
#include "printer/pnp9x.h"
#include "sim/sim_services.h"
#include "tests/native/support/sim_fixture.h"
#include "uninstall/model_set.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;
using Names = std::vector<std::string>;

// The services stopped (ControlService with SERVICE_CONTROL_STOP), in order.
Names StoppedServices(sim::SimPlatform& os) {
  Names stops;
  for (const auto& op : os.operations())
    if (op.rfind("ControlService(", 0) == 0 &&
        op.find(", 1)") != std::string::npos)
      stops.push_back(op.substr(16, op.find('"', 16) - 16));
  return stops;
}

Names Repeat(const Names& names, int times) {
  Names all;
  for (int i = 0; i < times; ++i)
    all.insert(all.end(), names.begin(), names.end());
  return all;
}

bool Exists(sim::SimPlatform& os, const std::string& path) {
  return os.GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Write(sim::SimPlatform& os, const std::string& path,
           const std::string& text = "x") {
  ASSERT_TRUE(os.WriteTextFile(path, text)) << path;
}

// WM_FONTCHANGE broadcasts, which tell every window the fonts changed.
size_t FontChangeBroadcasts(const sim::SimPlatform& os) {
  size_t n = 0;
  for (const sim::MessageRecord& r : os.messages())
    if (r.window == HWND_BROADCAST && r.message == WM_FONTCHANGE) ++n;
  return n;
}

// A removal runs every step, with or without the uninstall setup files: the
// print services are cycled once per model set and once at the end (the
// 2000 companions too; 9x has no service manager to touch), the listed
// fonts go and every window hears of it. With vt3eins.sii the scanner data
// goes (not on NT 4.0, which keeps none: its preference file and driver
// store copy stay) and so do the TWAIN files and their temporary copies.
TEST(UninstInitialize, EveryStepRuns) {
  const struct {
    WindowsVersion v;
    Names cycle;
    bool scannerData;
  } cases[] = {
      {WindowsVersion::NT4, {"Spooler"}, false},
      {WindowsVersion::Win98, {}, true},
      {WindowsVersion::Win2000, {"MacPrint", "LPDSVC", "Spooler"}, true},
      {WindowsVersion::XP, {"Spooler"}, true},
  };
  for (const auto& c : cases) {
    for (const bool setupFile : {false, true}) {
      SCOPED_TRACE(std::string(sim::WindowsVersionName(c.v)) +
                   (setupFile ? " with vt3eins.sii" : " without"));
      SimMachine m(c.v);
      auto& os = m.os();
      for (const std::string& name : c.cycle)
        sim::SetServiceState(os, name, SERVICE_RUNNING);
      const std::string win = os.windowsDir(), sys = os.systemDir();
      Write(os, win + "\\font1.sii", "[FontSections]\r\n1=KVFONT.TTF\r\n");
      Write(os, win + "\\Fonts\\KVFONT.TTF");
      // The family's scanner data folder; NT 4.0 has none, and the one 2000
      // would use must stay there.
      const std::string data =
          c.v == WindowsVersion::Win98
              ? win + "\\TWAIN_32\\KVSTWN"
              : os.appDataDir() + "\\Korva\\ScannerDriver\\KVS";
      const std::string scanner[] = {data + "\\PREF.DAT",
                                     sys + "\\KVDRV\\U.DAT"};
      const std::string twain[] = {sys + "\\TWTEMP\\SYS.DLL",
                                   sys + "\\SYS.DLL"};
      for (const auto& f : scanner) Write(os, f);
      for (const auto& f : twain) Write(os, f);
      if (setupFile)
        Write(
            os, win + "\\vt3eins.sii",
            "[Initial]\r\nNameHeader=KVS\r\n[Model]\r\nSCNPreData=PREF.DAT\r\n"
            "[UserDir]\r\nU.DAT\r\n[DestinationDirs]\r\nTempDir=TWTEMP\r\n"
            "[Sections]\r\nSystem=SysFiles\r\n[SysFiles]\r\nSYS.DLL\r\n");

      UninstInitialize(m.ctx());

      EXPECT_EQ(StoppedServices(os), Repeat(c.cycle, 4));
      EXPECT_EQ(sim::StartedServices(os).size(), c.cycle.size() * 4);
      if (c.v == WindowsVersion::Win98) {
        EXPECT_EQ(os.CountOperations("OpenSCManagerA"), 0u);
      }
      EXPECT_FALSE(Exists(os, win + "\\Fonts\\KVFONT.TTF"));
      EXPECT_FALSE(Exists(os, win + "\\font1.sii"));
      EXPECT_EQ(FontChangeBroadcasts(os), 2u);
      for (const auto& f : scanner)
        EXPECT_EQ(Exists(os, f), !(setupFile && c.scannerData)) << f;
      for (const auto& f : twain) EXPECT_EQ(Exists(os, f), !setupFile) << f;
    }
  }
}

// The sibling library is asked once per model, with the model and the
// setup file, on 2000 and XP only, and let go again; without the library
// or its procedure the removal goes on to the monitor library.
std::vector<std::pair<std::string, std::string>> siblingCalls;
int WINAPI RecordSiblingCall(LPCSTR model, LPCSTR file) {
  siblingCalls.emplace_back(model, file);
  return 1;
}

TEST(RemoveModelSet, SiblingLibraryCalledPerModel) {
  const struct {
    WindowsVersion v;
    bool library;
    bool called;
  } cases[] = {
      {WindowsVersion::Win2000, true, true}, {WindowsVersion::XP, true, true},
      {WindowsVersion::XP, false, false},    {WindowsVersion::NT4, true, false},
      {WindowsVersion::Win98, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(sim::WindowsVersionName(c.v));
    SimMachine m(c.v);
    auto& os = m.os();
    ASSERT_TRUE(os.WriteTextFile(os.windowsDir() + "\\vt3dins.sii",
                                 "[Initial]\r\nProduct=KORVA\r\n"
                                 "[ModelName]\r\nnModelNum=2\r\n"
                                 "Model1=KV-1000\r\nModel2=KV-2000\r\n"
                                 "[Files.Com]\r\nLmonn=KV Mon\r\n"
                                 "[Files.9x]\r\nLmonm9x=kvmon.dll\r\n"
                                 "[Files.NT]\r\nLmonmNT=kvmon.dll\r\n"
                                 "[Files.2K]\r\nLmonm2K=kvmon.dll\r\n"));
    const std::string monitorLibrary = os.systemDir() + "\\kvmon.dll";
    ASSERT_TRUE(os.WriteTextFile(monitorLibrary, "MZ"));
    if (c.library) {
      ASSERT_TRUE(os.WriteTextFile(os.systemDir() + "\\_kvsup2k.dll", "MZ"));
    }
    os.ProvideProcedure(
        "_KVSUP2K.DLL", kSiblingProcedure,
        reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&RecordSiblingCall)));
    siblingCalls.clear();
    RemoveModelSet(m.ctx(), "vt3dins.sii");
    const decltype(siblingCalls) expected = {{"KV-1000", "vt3dins.sii"},
                                             {"KV-2000", "vt3dins.sii"}};
    EXPECT_EQ(siblingCalls, c.called ? expected : decltype(expected){});
    EXPECT_EQ(os.CountOperations("FreeLibrary"), c.called ? 2u : 0u);
    EXPECT_FALSE(Exists(os, monitorLibrary));
  }
}

// A model count no installation wrote is bounded, as installation bounds it:
// the last model within the bound loses its device entry, the first past it
// keeps its own.
TEST(RemoveModelSet, BoundsModelCount) {
  SimMachine m(WindowsVersion::Win98);
  auto& os = m.os();
  const std::string last = "Model" + std::to_string(kModelLimit);
  const std::string past = "Model" + std::to_string(kModelLimit + 1);
  ASSERT_TRUE(os.WriteTextFile(
      os.windowsDir() + "\\vt3eins.sii",
      "[Initial]\r\nProduct=KORVA\r\n[ModelName]\r\nnModelNum=2000000000\r\n" +
          last + "=KV-A\r\n" + past +
          "=KV-B\r\n[DevID]\r\nKV-A=LPTENUM\\KORVAKVA\r\n"
          "KV-B=LPTENUM\\KORVAKVB\r\n"));
  for (const char* model : {"A", "B"}) {
    ASSERT_EQ(WriteLptDeviceEntries9x(
                  m.ctx(), (std::string("KORVA KV-") + model).c_str(),
                  (std::string("LPTENUM\\KORVAKV") + model).c_str()),
              1);
  }
  RemoveModelSet(m.ctx(), "vt3eins.sii");
  EXPECT_EQ(os.FindKey(HKEY_LOCAL_MACHINE, "Enum\\LPTENUM\\KORVAKVA"), nullptr);
  EXPECT_NE(os.FindKey(HKEY_LOCAL_MACHINE, "Enum\\LPTENUM\\KORVAKVB"), nullptr);
}

std::string Profile(sim::SimPlatform& os, const char* section,
                    const char* key) {
  char value[2048] = {};
  os.GetProfileStringA(section, key, "<none>", value, sizeof value);
  return value;
}

// Windows 9x: the removed driver's printer leaves [Devices]; a default
// naming a printer that is gone moves to the first printer left, a default
// naming one that remains stays; with none left (or only a value the buffer
// would cut) no "device" line names a printer that isn't there.
TEST(UninstUnInitialize, RepairsTheDefaultPrinterOn9x) {
  const std::string wide = "Wide=" + std::string(1100, 'v') + "\r\n";
  const struct {
    std::string devices;  // key=value lines of [Devices]
    const char* before;   // "device" of [windows] before
    const char* after;    // and afterwards
  } cases[] = {
      {"KORVA KV-1000=KVDRV,LPT1:\r\nOther=OTHDRV,LPT2:\r\n",
       "KORVA KV-1000,KVDRV,LPT1:", "Other,OTHDRV,LPT2:"},
      {"Third=THDRV,LPT3:\r\nKORVA "
       "KV-1000=KVDRV,LPT1:\r\nOther=OTHDRV,LPT2:\r\n",
       "Other,OTHDRV,LPT2:", "Other,OTHDRV,LPT2:"},
      {"Third=THDRV,LPT3:\r\n", "Gone,GDRV,LPT1:", "Third,THDRV,LPT3:"},
      {"KORVA KV-1000=KVDRV,LPT1:\r\n", "KORVA KV-1000,KVDRV,LPT1:", "<none>"},
      {"", "KORVA KV-1000,KVDRV,LPT1:", "<none>"},
      {wide, "KORVA KV-1000,KVDRV,LPT1:", "<none>"},
      {"Other=OTHDRV,LPT2:\r\n", nullptr, "<none>"},
  };
  for (const auto& c : cases) {
    SimMachine m(WindowsVersion::Win98);
    auto& os = m.os();
    std::string ini;
    if (c.before)
      ini += std::string("[windows]\r\ndevice=") + c.before + "\r\n";
    if (!c.devices.empty()) ini += "[Devices]\r\n" + c.devices;
    ASSERT_TRUE(os.WriteTextFile(os.windowsDir() + "\\WIN.INI", ini));
    std::snprintf(m.ctx().driverName, sizeof m.ctx().driverName, "%s",
                  "KORVA KV-1000");
    UninstUnInitialize(m.ctx());
    EXPECT_EQ(Profile(os, "windows", "device"), c.after) << ini.substr(0, 200);
    EXPECT_EQ(Profile(os, "Devices", "KORVA KV-1000"), "<none>");
    EXPECT_EQ(os.CountOperations("OpenSCManagerA"), 0u);
  }
}

// The NT family starts the print services and leaves win.ini alone, even
// the lines 9x's repair would take out.
TEST(UninstUnInitialize, StartsPrintServicesOnNt) {
  SimMachine m(WindowsVersion::Win2000);
  for (const char* name : {"Spooler", "LPDSVC", "MacPrint"})
    sim::SetServiceState(m.os(), name, SERVICE_STOPPED);
  const std::string winIni = m.os().windowsDir() + "\\win.ini";
  const std::string before =
      "[windows]\r\ndevice=KORVA KV-1000,KVDRV,LPT1:\r\n"
      "[Devices]\r\nKORVA KV-1000=KVDRV,LPT1:\r\n";
  ASSERT_TRUE(m.os().WriteTextFile(winIni, before));
  std::snprintf(m.ctx().driverName, sizeof m.ctx().driverName, "%s",
                "KORVA KV-1000");
  UninstUnInitialize(m.ctx());
  std::string after;
  EXPECT_EQ(sim::StartedServices(m.os()),
            (Names{"Spooler", "LPDSVC", "MacPrint"}));
  ASSERT_TRUE(m.os().ReadTextFile(winIni, &after));
  EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace kv::test
