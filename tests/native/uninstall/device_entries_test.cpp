#include "uninstall/device_entries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/registry.h"
#include "foundation/registry_paths.h"
#include "sim/sim_services.h"
#include "tests/native/support/sim_fixture.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;

constexpr char kSii[] = "C:\\medium\\kv.sii";
constexpr char kModel[] = "QV-7731LN PCL6";
const std::string kPrinterClass =
    std::string(kClassKey) + "\\{4D36E979-E325-11CE-BFC1-08002BE10318}";
const std::string kImageClass =
    std::string(kClassKey) + "\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";

HKEY MakeKey(SimMachine& m, const std::string& path) {
  RegKey key(m.os());
  EXPECT_EQ(CreateKey(m.os(), HKEY_LOCAL_MACHINE, path, key), ERROR_SUCCESS)
      << path;
  return key.release();
}

void MakeKeyWith(SimMachine& m, const std::string& path,
                 const std::vector<std::pair<const char*, std::string>>& v) {
  RegKey key(m.os(), MakeKey(m, path));
  for (const auto& [name, data] : v) WriteString(m.os(), key.get(), name, data);
}

bool HasKey(SimMachine& m, const std::string& path) {
  return m.os().FindKey(HKEY_LOCAL_MACHINE, path) != nullptr;
}

bool HasFile(SimMachine& m, const std::string& path) {
  return m.os().GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Where a wrong deletion would land: every case must leave these.
const char* const kSentinels[] = {
    "SOFTWARE\\Victim\\0000", "Enum\\USB\\VID_FFFF&PID_0001\\0000",
    "Enum\\USBPRINT\\OtherMaker\\0000", "Enum\\LPTENUM\\OtherMaker\\0000",
    "Enum\\MEPRINT\\OtherMaker\\0000"};

// The 9x removal of a model's entries, as the model-set removal makes it:
// the parallel-port entry, then the USB entries. `gone` and `kept` are
// below Enum, each made with an instance below it.
struct EntryCase {
  const char* name;
  WindowsVersion version;
  std::string sii;
  std::string model;
  int result;
  std::vector<std::string> gone, kept;
};

const std::string kBase =
    "[Initial]\r\nProduct=KORVA\r\n"
    "[USBID]\r\nQV-7731LN PCL6=USB\\VID_1234&PID_5678\r\n";
const std::string kPrint =
    "[USBPRINT]\r\nQV-7731LN PCL6=KORVAQV-7731LN0001\r\n";
const std::string kUsbKeys =
    "[Files.9x]\r\nUSBKey=NINEPRINT\r\n[Files.Me]\r\nUSBKey=MEPRINT\r\n";
const std::vector<std::string> kUsbDevice = {"USB\\VID_1234&PID_5678",
                                             "USB\\VID_1234&PID_5678&MI_00",
                                             "USB\\VID_1234&PID_5678&MI_01"};

std::vector<std::string> Plus(std::vector<std::string> a,
                              const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<EntryCase> EntryCases() {
  const auto W98 = WindowsVersion::Win98, WMe = WindowsVersion::WinMe;
  std::vector<EntryCase> cases = {
      {"device, interfaces, printing device",
       W98,
       kBase + kPrint,
       kModel,
       1,
       Plus(kUsbDevice, {"USBPRINT\\KORVAQV-7731LN"}),
       {"USB\\VID_1234&PID_5678&MI_02", "USBPRINT\\KORVAQV-7731LN PCL6"}},
      {"PCL_PS mark",
       W98,
       kBase + "[USBPRINT]\r\nQV-7731LN PCL6=KORVAQV77PCL_PS0001\r\n",
       kModel,
       1,
       {"USBPRINT\\KORVAQV-7731LNPCL_PS"},
       {"USBPRINT\\KORVAQV-7731LN"}},
      {"mark in another case",
       W98,
       kBase + "[USBPRINT]\r\nQV-7731LN PCL6=KORVAQV77pcl_ps0001\r\n",
       kModel,
       1,
       {"USBPRINT\\KORVAQV-7731LN"},
       {"USBPRINT\\KORVAQV-7731LNPCL_PS"}},
      {"zodir naming",
       W98,
       "[Initial]\r\nProduct=zodir\r\n[USBID]\r\nQV-7731LN PCL6=USB\\X\r\n"
       "[USBPRINT]\r\nQV-7731LN PCL6=USBPRINT\\ZQV77PCL_PS0001\r\n",
       kModel,
       1,
       {"USBPRINT\\ZQV77PCL_PS"},
       {"USBPRINT\\zodirQV-7731LNPCL_PS", "USBPRINT\\zodirQV-7731LN"}},
      {"enumerator on Me",
       WMe,
       kBase + kUsbKeys,
       kModel,
       1,
       {"MEPRINT\\KORVAQV-7731LN"},
       {"NINEPRINT\\KORVAQV-7731LN", "USBPRINT\\KORVAQV-7731LN"}},
      {"enumerator on 98",
       W98,
       kBase + kUsbKeys,
       kModel,
       1,
       {"NINEPRINT\\KORVAQV-7731LN"},
       {"MEPRINT\\KORVAQV-7731LN"}},
      {"empty enumerator on Me",
       WMe,
       kBase + "[Files.9x]\r\nUSBKey=NINEPRINT\r\n[Files.Me]\r\nUSBKey=\r\n",
       kModel,
       1,
       {"USBPRINT\\KORVAQV-7731LN"},
       {"NINEPRINT\\KORVAQV-7731LN"}},
      {"no USBID",
       W98,
       "[Initial]\r\nProduct=KORVA\r\n[USBPRINT2]\r\nQV-7731LN PCL6=FAX\r\n",
       kModel,
       0,
       {},
       {"USBPRINT\\KORVAQV-7731LN", "USBPRINT\\FAX"}},
      {"second device",
       W98,
       kBase + "[USBPRINT2]\r\nQV-7731LN PCL6=KORVAFAX\\0001\r\n"
               "[USBID2]\r\nQV-7731LN PCL6=USB\\VID_1234&PID_5679\r\n",
       kModel,
       1,
       {"USBPRINT\\KORVAFAX\\0001", "USB\\VID_1234&PID_5679",
        "USB\\VID_1234&PID_5679&MI_00", "USB\\VID_1234&PID_5679&MI_01"},
       {"USBPRINT\\KORVAFAX"}},
      {"USBID2 without USBPRINT2",
       W98,
       kBase + "[USBID2]\r\nQV-7731LN PCL6=USB\\VID_1234&PID_5679\r\n",
       kModel,
       1,
       {},
       {"USB\\VID_1234&PID_5679"}},
      {"parallel-port entry",
       W98,
       "[DevID]\r\nQV-7731LN PCL6=LPTENUM\\KORVAQV-7731LN1A2B\r\n",
       kModel,
       0,
       {"LPTENUM\\KORVAQV-7731LN1A2B"},
       {"LPTENUM\\KORVAQV-7731LN1A2", "BIOS\\*PNP0400"}},
      // Values that name no device of the model delete nothing.
      {"bare or climbing values",
       W98,
       "[Initial]\r\nProduct=zodir\r\n[USBID]\r\nQV-7731LN PCL6=USB\r\n"
       "[USBPRINT]\r\nQV-7731LN PCL6=USBPRINT0001\r\n"
       "[USBPRINT2]\r\nQV-7731LN PCL6=..\r\n"
       "[USBID2]\r\nQV-7731LN PCL6=..\\SOFTWARE\\Victim\r\n"
       "[DevID]\r\nQV-7731LN PCL6=LPTENUM\r\n",
       kModel,
       1,
       {},
       {}},
      {"empty components",
       W98,
       "[Initial]\r\nProduct=KORVA\r\n[USBID]\r\nQV-7731LN PCL6=USB\\\r\n"
       "[USBPRINT2]\r\nQV-7731LN PCL6=\\OtherMaker\r\n"
       "[USBID2]\r\nQV-7731LN PCL6=\\USB\\VID_FFFF&PID_0001\r\n"
       "[DevID]\r\nQV-7731LN PCL6=LPTENUM\\\\OtherMaker\r\n",
       kModel,
       1,
       {},
       {"USB\\&MI_00"}},
      {"enumerator that is a path",
       W98,
       kBase + "[Files.9x]\r\nUSBKey=USB\\VID_FFFF&PID_0001\r\n",
       kModel,
       1,
       {},
       {"USB\\VID_FFFF&PID_0001\\KORVAQV-7731LN"}},
      // Cut to its limit it would name the first kept key.
      {"values over their limit",
       W98,
       "[Initial]\r\nProduct=KORVA\r\n[USBID]\r\nQV-7731LN PCL6=USB\\" +
           std::string(45, 'V') + "\r\n[DevID]\r\nQV-7731LN PCL6=LPTENUM\\" +
           std::string(92, 'D') + "\r\n",
       kModel,
       1,
       {},
       {"USB\\" + std::string(44, 'V'), "LPTENUM\\" + std::string(91, 'D')}},
  };
  // Each language ending goes (exact case, whole ending); a model that
  // ends in none, or is shorter than one, is used whole.
  for (const char* ending :
       {" PS", " PCL6", " PCL5e", " PCL5c", " SPDL2", " SPDL", " SPDL-c"})
    cases.push_back({ending,
                     W98,
                     "[Initial]\r\nProduct=KORVA\r\n[USBID]\r\nKV" +
                         std::string(ending) + "=USB\\X\r\n",
                     std::string("KV") + ending,
                     1,
                     {"USBPRINT\\KORVAKV"},
                     {std::string("USBPRINT\\KORVAKV") + ending}});
  for (const char* whole : {"KV pcl6", "KV PCL", "KV SPDL3", "PS"})
    cases.push_back({whole,
                     W98,
                     "[Initial]\r\nProduct=KORVA\r\n[USBID]\r\n" +
                         std::string(whole) + "=USB\\X\r\n",
                     whole,
                     1,
                     {std::string("USBPRINT\\KORVA") + whole},
                     {"USBPRINT\\KORVAKV", "USBPRINT\\KORVA"}});
  return cases;
}

TEST(DeviceEntries, NinexEntriesOfTheModelGoAndNothingElse) {
  for (const EntryCase& c : EntryCases()) {
    SCOPED_TRACE(c.name);
    SimMachine m(c.version);
    ASSERT_TRUE(m.os().WriteTextFile(kSii, c.sii));
    for (const char* path : kSentinels) RegKey(m.os(), MakeKey(m, path));
    for (const auto* list : {&c.gone, &c.kept})
      for (const std::string& key : *list)
        RegKey(m.os(), MakeKey(m, "Enum\\" + key + "\\0000"));

    DeleteDevIDEntry(m.ctx(), c.model.c_str(), kSii);
    EXPECT_EQ(DeleteUSBIDEntry(m.ctx(), c.model.c_str(), kSii), c.result);

    for (const std::string& key : c.gone)
      EXPECT_FALSE(HasKey(m, "Enum\\" + key)) << key;
    for (const std::string& key : c.kept)
      EXPECT_TRUE(HasKey(m, "Enum\\" + key + "\\0000")) << key;
    for (const char* path : kSentinels) EXPECT_TRUE(HasKey(m, path)) << path;
  }
}

// Image and printer devices of several makers and models on 2000 and XP:
// only the first matching device with a usable INF name loses its INF and
// then its PNF; the class keys stay.
TEST(DeviceEntries, ClassInfFilesOfTheFirstMatchingDevice) {
  const struct {
    const char* name;
    const char* twainDs;
    std::vector<std::string> missingBefore, deleted;
  } cases[] = {
      {"both classes",
       "KV Scan",
       {},
       {"oem3.inf", "oem3.pnf", "OEM6.INF", "OEM6.PNF"}},
      {"empty TwainDS", "", {}, {"OEM6.INF", "OEM6.PNF"}},
      {"INF already gone", "KV Scan", {"oem3.inf"}, {"OEM6.INF", "OEM6.PNF"}},
  };
  const std::vector<std::pair<std::string, std::string>> image = {
      {"Other Scanner", "oem1.inf"},
      {"", "oem2.inf"},
      {"KV Scan", "oem3.inf"},
      {"KV Scan", "oem4.inf"}};
  const std::vector<std::pair<std::string, std::string>> printers = {
      {"korva kv-1000", "oem5.inf"},    {"KORVA KV-1000", ""},
      {"KORVA KV-1000", "..\\win.ini"}, {"KORVA KV-1000", "win.ini"},
      {"KORVA KV-1000", "OEM6.INF"},    {"KORVA KV-1000", "oem7.inf"}};
  for (const auto v : {WindowsVersion::Win2000, WindowsVersion::XP}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(sim::WindowsVersionName(v)) + " " + c.name);
      SimMachine m(v);
      auto& os = m.os();
      const std::string inf = os.windowsDir() + "\\INF\\";
      ASSERT_TRUE(os.WriteTextFile(
          kSii, std::string("[Files.Com]\r\nTwainDS=") + c.twainDs + "\r\n"));
      // The image device without DeviceData, and one with an empty source.
      MakeKeyWith(m, kImageClass + "\\0009", {{"InfPath", "oem9.inf"}});
      MakeKeyWith(m, kImageClass + "\\0009\\DeviceData", {{"TwainDS", ""}});
      for (size_t i = 0; i < image.size(); ++i) {
        const std::string key = kImageClass + "\\000" + std::to_string(i);
        MakeKeyWith(m, key, {{"InfPath", image[i].second}});
        if (!image[i].first.empty())
          MakeKeyWith(m, key + "\\DeviceData", {{"TwainDS", image[i].first}});
      }
      for (size_t i = 0; i < printers.size(); ++i) {
        std::vector<std::pair<const char*, std::string>> values = {
            {"DriverDesc", printers[i].first}};
        if (!printers[i].second.empty())
          values.push_back({"InfPath", printers[i].second});
        MakeKeyWith(m, kPrinterClass + "\\000" + std::to_string(i), values);
      }
      std::vector<std::string> files;
      for (int i = 1; i <= 9; ++i)
        for (const char* ext : {".inf", ".pnf"})
          files.push_back("oem" + std::to_string(i) + ext);
      files.push_back("win.ini");
      for (const std::string& f : files)
        ASSERT_TRUE(os.WriteTextFile(inf + f, "x"));
      for (const std::string& f : c.missingBefore)
        ASSERT_TRUE(os.DeleteFileA((inf + f).c_str()));

      DeleteClassInfFiles(m.ctx(), "KORVA KV-1000", kSii);

      for (const std::string& f : files) {
        bool deleted = false;
        for (const std::string& d : c.deleted)
          deleted = deleted || os.lstrcmpiA(d.c_str(), f.c_str()) == 0;
        for (const std::string& d : c.missingBefore)
          deleted = deleted || d == f;
        EXPECT_EQ(HasFile(m, inf + f), !deleted) << f;
      }
      EXPECT_TRUE(HasFile(m, os.windowsDir() + "\\win.ini"));
      EXPECT_TRUE(HasKey(m, kImageClass + "\\0002\\DeviceData"));
      EXPECT_TRUE(HasKey(m, kPrinterClass + "\\0004"));
    }
  }
}

// The port driver installation made is stopped and deleted; a service that
// is not it, or a name that is no key name, is left running.
TEST(DeviceEntries, DriverServiceStoppedAndDeleted) {
  const struct {
    const char* service;
    const char* file;
    bool deleted;
  } cases[] = {
      {"KvLpt", "drivers\\kvlpt.sys", true},
      {"kvlpt", "DRIVERS\\KVLPT.SYS", true},
      {"KvLpt", "drivers\\other.sys", false},
      {"KvLpt", "", false},
      {"KvLpt\\..", "drivers\\kvlpt.sys", false},
      {"Spooler", "spoolsv.exe", false},
      {"Missing", "drivers\\kvlpt.sys", false},
  };
  for (const auto v :
       {WindowsVersion::NT4, WindowsVersion::Win2000, WindowsVersion::XP}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(sim::WindowsVersionName(v)) + " " + c.service +
                   " " + c.file);
      SimMachine m(v);
      auto& os = m.os();
      const std::string image = os.systemDir() + "\\drivers\\kvlpt.sys";
      ASSERT_TRUE(os.WriteTextFile(image, "MZ"));
      sim::DefineService(os, "KvLpt", "KvLpt", SERVICE_KERNEL_DRIVER,
                         SERVICE_AUTO_START, "\\??\\" + image);
      sim::SetServiceState(os, "KvLpt", SERVICE_RUNNING);
      sim::SetServiceState(os, "Spooler", SERVICE_RUNNING);

      EXPECT_EQ(DeleteDriverService(m.ctx(), c.service, c.file), 1);

      EXPECT_EQ(HasKey(m, std::string(sim::kServicesPath) + "\\KvLpt"),
                !c.deleted);
      EXPECT_EQ(sim::ServiceCurrentState(os, "KvLpt"),
                c.deleted ? 0u : DWORD{SERVICE_RUNNING});
      EXPECT_EQ(sim::ServiceCurrentState(os, "Spooler"),
                DWORD{SERVICE_RUNNING});
    }
  }
  SimMachine m98(WindowsVersion::Win98);
  EXPECT_EQ(DeleteDriverService(m98.ctx(), "KvLpt", "kvlpt.sys"), 1);
}

}  // namespace
}  // namespace kv::test
