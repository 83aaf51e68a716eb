#include "uninstall/uninstall_entries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

size_t CountReads(sim::SimPlatform& os, const std::string& key) {
  size_t n = 0;
  for (const auto& op : os.operations())
    if (op.rfind("GetPrivateProfileStringA(", 0) == 0 &&
        op.find("\"" + key + "\"") != std::string::npos)
      ++n;
  return n;
}

// A removal without any uninstall setup file still runs every step: the
// print services are cycled once per model set and once at the end (the
// 2000 companions too), scanner data is left out on NT 4.0 only, and 9x
// has no service manager to touch.
TEST(UninstInitialize, EveryStepRunsWithoutSetupFiles) {
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
    SCOPED_TRACE(sim::WindowsVersionName(c.v));
    SimMachine m(c.v);
    for (const std::string& name : c.cycle)
      sim::SetServiceState(m.os(), name, SERVICE_RUNNING);
    UninstInitialize(m.ctx());
    EXPECT_EQ(StoppedServices(m.os()), Repeat(c.cycle, 4));
    EXPECT_EQ(sim::StartedServices(m.os()).size(), c.cycle.size() * 4);
    EXPECT_EQ(CountReads(m.os(), "SCNPreData") > 0, c.scannerData);
    EXPECT_GT(CountReads(m.os(), "TempDir"), 0u);           // the TWAIN files
    EXPECT_EQ(m.os().CountOperations("SendMessageA"), 2u);  // WM_FONTCHANGE
    if (c.v == WindowsVersion::Win98) {
      EXPECT_EQ(m.os().CountOperations("OpenSCManagerA"), 0u);
    }
  }
}

// The sibling library is asked once per model, with the model and the
// setup file, on 2000 and XP only; without the library or its procedure
// the removal goes on.
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
                                 "Model1=KV-1000\r\nModel2=KV-2000\r\n"));
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
    EXPECT_EQ(
        os.CountOperations("LoadLibraryA"),
        c.v == WindowsVersion::Win2000 || c.v == WindowsVersion::XP ? 2u : 0u);
    EXPECT_EQ(os.CountOperations("FreeLibrary"), c.called ? 2u : 0u);
  }
}

// A model count no installation wrote is bounded, as installation bounds it.
TEST(RemoveModelSet, BoundsModelCount) {
  SimMachine m(WindowsVersion::Win98);
  auto& os = m.os();
  ASSERT_TRUE(os.WriteTextFile(
      os.windowsDir() + "\\vt3eins.sii",
      "[Initial]\r\nProduct=KORVA\r\n[ModelName]\r\nnModelNum=2000000000\r\n"
      "Model1=KV-1\r\n"));
  RemoveModelSet(m.ctx(), "vt3eins.sii");
  EXPECT_EQ(CountReads(os, "Model4096"), 1u);
  EXPECT_EQ(CountReads(os, "Model4097"), 0u);
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

// The NT family starts the print services and leaves win.ini alone.
TEST(UninstUnInitialize, StartsPrintServicesOnNt) {
  SimMachine m(WindowsVersion::Win2000);
  for (const char* name : {"Spooler", "LPDSVC", "MacPrint"})
    sim::SetServiceState(m.os(), name, SERVICE_STOPPED);
  UninstUnInitialize(m.ctx());
  EXPECT_EQ(sim::StartedServices(m.os()),
            (Names{"Spooler", "LPDSVC", "MacPrint"}));
  EXPECT_EQ(m.os().CountOperations("WriteProfileStringA"), 0u);
}

}  // namespace
}  // namespace kv::test
