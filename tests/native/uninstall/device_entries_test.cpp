#include "uninstall/device_entries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/registry.h"
#include "foundation/registry_paths.h"
#include "printer/pnp9x.h"
#include "sim/sim_services.h"
#include "tests/native/support/sim_fixture.h"
#include "tests/native/support/windows_keys.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;

constexpr char kSii[] = "C:\\medium\\kv.sii";
constexpr char kModel[] = "QV-7731LN PCL6";
const std::string kPrinterClass = std::string(test::kWinClassKey) +
                                  "\\{4D36E979-E325-11CE-BFC1-08002BE10318}";
const std::string kImageClass = std::string(test::kWinClassKey) +
                                "\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";

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

// The non-empty parts of `text` split at '|'.
std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  for (size_t start = 0; start <= text.size();) {
    const size_t end = std::min(text.find('|', start), text.size());
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Where a wrong deletion would land: every case must leave these.
const char* const kSentinels[] = {
    "SOFTWARE\\Victim\\0000", "Enum\\USB\\VID_FFFF&PID_0001\\0000",
    "Enum\\USBPRINT\\OtherMaker\\0000", "Enum\\LPTENUM\\OtherMaker\\0000",
    "Enum\\MEPRINT\\OtherMaker\\0000"};

// A setup file from "section/key=value" items split at '|'; the key "@"
// is the model.
std::string SetupText(const std::string& items, const std::string& model) {
  std::vector<std::pair<std::string, std::string>> sections;
  for (const std::string& item : Split(items)) {
    const size_t slash = item.find('/');
    std::string line = item.substr(slash + 1);
    if (line[0] == '@') line = model + line.substr(1);
    const std::string name = item.substr(0, slash);
    auto it = std::find_if(sections.begin(), sections.end(),
                           [&](const auto& sec) { return sec.first == name; });
    if (it == sections.end()) it = sections.insert(it, {name, ""});
    it->second += line + "\r\n";
  }
  std::string text;
  for (const auto& [name, lines] : sections)
    text += "[" + name + "]\r\n" + lines;
  return text;
}

// The 9x removal of a model's entries, as the model-set removal makes it:
// the parallel-port entry, then the USB entries. `gone` and `kept` are keys
// below Enum split at '|', each made with an instance below it.
struct EntryCase {
  std::string name;
  bool me;
  int result;
  std::string sii, gone, kept;
  std::string model = kModel;
};

const std::string kBase =
    "Initial/Product=KORVA|USBID/@=USB\\VID_1234&PID_5678|";
const std::string kUsbKeys = "Files.9x/USBKey=NINEPRINT|Files.Me/USBKey=";

std::vector<EntryCase> EntryCases() {
  std::vector<EntryCase> cases = {
      {"device, interfaces, printing device", false, 1,
       kBase + "USBPRINT/@=KORVAQV-7731LN0001|USBID2/@=USB\\VID_1234&PID_5679",
       "USB\\VID_1234&PID_5678|USB\\VID_1234&PID_5678&MI_00|"
       "USB\\VID_1234&PID_5678&MI_01|USBPRINT\\KORVAQV-7731LN",
       // USBID2 counts only with a second printing device.
       "USB\\VID_1234&PID_5678&MI_02|USBPRINT\\KORVAQV-7731LN PCL6|"
       "USB\\VID_1234&PID_5679"},
      {"PCL_PS mark", false, 1, kBase + "USBPRINT/@=KORVAQV77PCL_PS0001",
       "USBPRINT\\KORVAQV-7731LNPCL_PS", "USBPRINT\\KORVAQV-7731LN"},
      {"zodir naming", false, 1,
       "Initial/Product=zodir|USBID/@=USB\\X|"
       "USBPRINT/@=USBPRINT\\ZQV77PCL_PS0001",
       "USBPRINT\\ZQV77PCL_PS",
       "USBPRINT\\zodirQV-7731LNPCL_PS|USBPRINT\\zodirQV-7731LN"},
      {"enumerator on Me", true, 1, kBase + kUsbKeys + "MEPRINT",
       "MEPRINT\\KORVAQV-7731LN",
       "NINEPRINT\\KORVAQV-7731LN|USBPRINT\\KORVAQV-7731LN"},
      {"enumerator on 98", false, 1, kBase + kUsbKeys + "MEPRINT",
       "NINEPRINT\\KORVAQV-7731LN", "MEPRINT\\KORVAQV-7731LN"},
      {"empty enumerator on Me", true, 1, kBase + kUsbKeys,
       "USBPRINT\\KORVAQV-7731LN", "NINEPRINT\\KORVAQV-7731LN"},
      {"no USBID", false, 0, "Initial/Product=KORVA|USBPRINT2/@=FAX", "",
       "USBPRINT\\KORVAQV-7731LN|USBPRINT\\FAX"},
      {"second device", false, 1,
       kBase + "USBPRINT2/@=KORVAFAX\\0001|USBID2/@=USB\\VID_1234&PID_5679",
       "USBPRINT\\KORVAFAX\\0001|USB\\VID_1234&PID_5679|"
       "USB\\VID_1234&PID_5679&MI_00|USB\\VID_1234&PID_5679&MI_01",
       "USBPRINT\\KORVAFAX"},
      {"parallel-port entry", false, 0, "DevID/@=LPTENUM\\KORVAQV-7731LN1A2B",
       "LPTENUM\\KORVAQV-7731LN1A2B",
       "LPTENUM\\KORVAQV-7731LN1A2|BIOS\\*PNP0400"},
      // Values that name Windows' own devices (a hub, a bus enumerator, the
      // BIOS's port) delete nothing.
      {"Windows' own devices", false, 1,
       "Initial/Product=KORVA|USBID/@=USB\\ROOT_HUB|USBID2/@=USB\\CLASS_07|"
       "USBPRINT2/@=*PNP0400|Files.9x/USBKey=BIOS",
       "", "USB\\ROOT_HUB|USB\\CLASS_07|BIOS\\*PNP0400|BIOS\\KORVAQV-7731LN"},
      {"zodir naming below a bus", false, 1,
       "Initial/Product=zodir|USBID/@=USB\\X|USBPRINT/@=ROOT\\*PNP0C010001", "",
       "ROOT\\*PNP0C01"},
      // Values that name no device of the model delete nothing.
      {"bare or climbing values", false, 1,
       "Initial/Product=zodir|USBID/@=USB|USBPRINT/@=USBPRINT0001|"
       "USBPRINT2/@=..|USBID2/@=..\\SOFTWARE\\Victim|DevID/@=LPTENUM",
       "", ""},
      {"empty components, an enumerator that is a path", false, 1,
       "Initial/Product=KORVA|USBID/@=USB\\|USBPRINT2/@=\\OtherMaker|"
       "USBID2/@=\\USB\\VID_FFFF&PID_0001|DevID/@=LPTENUM\\\\OtherMaker|"
       "Files.9x/USBKey=USB\\VID_FFFF&PID_0001",
       "", "USB\\&MI_00|USB\\VID_FFFF&PID_0001\\KORVAQV-7731LN"},
      // Cut to its limit each would name a kept key.
      {"values over their limit", false, 1,
       "USBID/@=USB\\" + std::string(45, 'V') + "|DevID/@=LPTENUM\\" +
           std::string(92, 'D'),
       "",
       "USB\\" + std::string(44, 'V') + "|LPTENUM\\" + std::string(91, 'D')},
  };
  // Each language ending goes (exact case, whole ending); a model that
  // ends in none, or is shorter than one, is used whole.
  for (const std::string ending :
       {" PS", " PCL6", " PCL5e", " PCL5c", " SPDL2", " SPDL", " SPDL-c"})
    cases.push_back({ending, false, 1, "Initial/Product=KORVA|USBID/@=USB\\X",
                     "USBPRINT\\KORVAKV", "USBPRINT\\KORVAKV" + ending,
                     "KV" + ending});
  for (const std::string whole : {"KV pcl6", "KV PCL", "KV SPDL3", "PS"})
    cases.push_back({whole, false, 1, "Initial/Product=KORVA|USBID/@=USB\\X",
                     "USBPRINT\\KORVA" + whole,
                     "USBPRINT\\KORVAKV|USBPRINT\\KORVA", whole});
  return cases;
}

TEST(DeviceEntries, NinexEntriesOfTheModelGoAndNothingElse) {
  for (const EntryCase& c : EntryCases()) {
    SCOPED_TRACE(c.name);
    SimMachine m(c.me ? WindowsVersion::WinMe : WindowsVersion::Win98);
    ASSERT_TRUE(m.os().WriteTextFile(kSii, SetupText(c.sii, c.model)));
    for (const char* path : kSentinels) RegKey(m.os(), MakeKey(m, path));
    // Each instance as registration writes one.
    for (const std::string& key : Split(c.gone + "|" + c.kept))
      MakeKeyWith(m, "Enum\\" + key + "\\0000",
                  {{"Manufacturer", "KORVA"}, {"HardwareID", key}});

    DeleteDevIDEntry(m.ctx(), c.model.c_str(), kSii);
    EXPECT_EQ(DeleteUSBIDEntry(m.ctx(), c.model.c_str(), kSii), c.result);

    for (const std::string& key : Split(c.gone))
      EXPECT_FALSE(HasKey(m, "Enum\\" + key)) << key;
    for (const std::string& key : Split(c.kept))
      EXPECT_TRUE(HasKey(m, "Enum\\" + key + "\\0000")) << key;
    for (const char* path : kSentinels) EXPECT_TRUE(HasKey(m, path)) << path;
  }
}

// The parallel-port entries go as registration wrote them, and only those:
// a DevID that names a device of Windows' own (the BIOS's parallel port)
// keeps that device and its own instance.
TEST(DeviceEntries, DevIdTakesOnlyWhatRegistrationWrote) {
  for (const char* devId : {"LPTENUM\\KORVAKV-1000D1A2", "BIOS\\*PNP0400"}) {
    SCOPED_TRACE(devId);
    SimMachine m(WindowsVersion::Win98);
    ASSERT_TRUE(m.os().WriteTextFile(
        kSii, std::string("[DevID]\r\nKV-1000=") + devId + "\r\n"));
    ASSERT_EQ(WriteLptDeviceEntries9x(m.ctx(), "KORVA KV-1000", devId), 1);
    const std::string device = std::string("Enum\\") + devId;
    const bool windows = std::string(devId).rfind("BIOS", 0) == 0;
    ASSERT_TRUE(HasKey(m, device + "\\BIOS&*PNP0400&0D"));

    DeleteDevIDEntry(m.ctx(), "KV-1000", kSii);

    EXPECT_FALSE(HasKey(m, device + "\\BIOS&*PNP0400&0D"));
    EXPECT_EQ(HasKey(m, device), windows);
    EXPECT_EQ(HasKey(m, "Enum\\BIOS\\*PNP0400\\0D"), true);
  }
  // The USB printer entry likewise: Windows' own instance below the same
  // name stays, with the key.
  SimMachine m(WindowsVersion::Win98);
  ASSERT_TRUE(m.os().WriteTextFile(
      kSii, "[Initial]\r\nProduct=KORVA\r\n[ModelName]\r\nModel1=KV\r\n"));
  const std::string entry = "Enum\\USBPRINT\\KORVAKV";
  MakeKeyWith(m, entry + "\\LPT1:USB&X&0",
              {{"mfg", "KORVA"}, {"DeviceDesc", "KORVAKV"}});
  MakeKeyWith(m, entry + "\\WINDOWS", {{"mfg", "Other"}});
  DeleteUsbPrinterEntry9x(m.ctx(), kSii);
  EXPECT_FALSE(HasKey(m, entry + "\\LPT1:USB&X&0"));
  EXPECT_TRUE(HasKey(m, entry + "\\WINDOWS"));
}

// Image and printer devices of several makers and models on 2000 and XP:
// only the first matching device with a usable INF name loses its INF and
// then its PNF; the class keys stay. Device i of a list is "<source or
// driver>:<InfPath>"; an image device without a source has no DeviceData.
TEST(DeviceEntries, ClassInfFilesOfTheFirstMatchingDevice) {
  const struct {
    const char* name;
    const char* twainDs;
    const char* missing;  // before the call
    const char* gone;     // after it, beside the missing ones
  } cases[] = {
      {"both classes", "KV Scan", "", "oem3.inf|oem3.pnf|oem6.inf|oem6.pnf"},
      {"empty TwainDS", "", "", "oem6.inf|oem6.pnf"},
      {"INF already gone", "KV Scan", "oem3.inf", "oem6.inf|oem6.pnf"},
  };
  const auto image = Split(
      "Other Scanner:oem1.inf|:oem2.inf|KV Scan:oem3.inf|KV Scan:oem4.inf");
  const auto printers = Split(
      "korva kv-1000:oem5.inf|KORVA KV-1000:|KORVA KV-1000:..\\win.ini|"
      "KORVA KV-1000:win.ini|KORVA KV-1000:ntprint.inf|KORVA KV-1000:OEM6.INF|"
      "KORVA KV-1000:oem7.inf");
  for (const auto v : {WindowsVersion::Win2000, WindowsVersion::XP}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(sim::WindowsVersionName(v)) + " " + c.name);
      SimMachine m(v);
      auto& os = m.os();
      const std::string inf = os.windowsDir() + "\\INF\\";
      ASSERT_TRUE(os.WriteTextFile(
          kSii, std::string("[Files.Com]\r\nTwainDS=") + c.twainDs + "\r\n"));
      // A device whose source is empty: an empty TwainDS must not match it.
      MakeKeyWith(m, kImageClass + "\\0009", {{"InfPath", "oem9.inf"}});
      MakeKeyWith(m, kImageClass + "\\0009\\DeviceData", {{"TwainDS", ""}});
      for (const bool isImage : {true, false}) {
        const auto& devices = isImage ? image : printers;
        for (size_t i = 0; i < devices.size(); ++i) {
          const std::string key = (isImage ? kImageClass : kPrinterClass) +
                                  "\\000" + std::to_string(i);
          const size_t colon = devices[i].find(':');
          const std::string match = devices[i].substr(0, colon);
          const std::string infPath = devices[i].substr(colon + 1);
          MakeKeyWith(m, key, {});
          if (!infPath.empty()) MakeKeyWith(m, key, {{"InfPath", infPath}});
          if (!isImage) MakeKeyWith(m, key, {{"DriverDesc", match}});
          if (isImage && !match.empty())
            MakeKeyWith(m, key + "\\DeviceData", {{"TwainDS", match}});
        }
      }
      // Windows' own INF of a driver it ships under the model's name stays.
      std::vector<std::string> files = {"win.ini", "ntprint.inf",
                                        "ntprint.pnf"};
      for (int i = 1; i <= 9; ++i)
        for (const char* ext : {".inf", ".pnf"})
          files.push_back("oem" + std::to_string(i) + ext);
      for (const std::string& f : files)
        ASSERT_TRUE(os.WriteTextFile(inf + f, "x"));
      for (const std::string& f : Split(c.missing))
        ASSERT_TRUE(os.DeleteFileA((inf + f).c_str()));

      DeleteClassInfFiles(m.ctx(), "KORVA KV-1000", kSii);

      const auto absent = Split(std::string(c.missing) + "|" + c.gone);
      for (const std::string& f : files)
        EXPECT_EQ(HasFile(m, inf + f),
                  std::find(absent.begin(), absent.end(), f) == absent.end())
            << f;
      EXPECT_TRUE(HasFile(m, os.windowsDir() + "\\win.ini"));
      EXPECT_TRUE(HasKey(m, kImageClass + "\\0002\\DeviceData"));
      EXPECT_TRUE(HasKey(m, kPrinterClass + "\\0005"));
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
