// The uninstaller's two entries against a real installation: a model set
// registered with ToRegPrinter (Wine's PostScript driver, the fixture
// monitor, the parallel-port driver service on the NT family), its driver
// files and INF copy in the driver store, one of them held open, and the
// sibling library _kvsup2k.dll in the system directory. UninstInitialize
// and UninstUnInitialize remove it, with the reboot question answered No;
// the batch left for the next start then runs in Wine's cmd.exe. A printer
// of another driver stays throughout. Everything made here is taken away
// again, so the suite passes any number of times in one prefix.
// kv-wine-versions: nt40 win98 win2k winxp
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "tests/wine/support/box_watch.h"
#include "tests/wine/support/cleanup.h"
#include "tests/wine/support/machine.h"
#include "tests/wine/support/wine_test.h"

using kvwine::Exists;
using kvwine::Has;
using kvwine::kPpd;
using kvwine::kRunOnce;
using kvwine::kWinePs;
using kvwine::Names;
using kvwine::ReadFileBytes;
using kvwine::RemoveService;
using kvwine::RunCommand;
using kvwine::ServiceExists;
using kvwine::WriteFileText;

namespace {

using EntryFn = int(WINAPI*)(DWORD, DWORD, DWORD);
using RegisterFn = int(WINAPI*)(LPCSTR, LPCSTR, int, LPCSTR, LPCSTR, int,
                                LPCSTR);

constexpr const char* kModels[] = {"KV-1000", "KV-2000"};
constexpr const char* kDrivers[] = {"KORVA KV-1000", "KORVA KV-2000"};
// A printer of another driver, registered from a setup file of its own.
constexpr const char* kOther = "KORVA KV-9000";
constexpr const char* kMonitor = "KV Test Monitor";
constexpr const char* kMonitorDll = "kvtstmon.dll";
constexpr const char* kService = "KvLptEntries";
constexpr const char* kSibling = "_kvsup2k.dll";
constexpr const char* kMessageFile = "kvuemsg.dat";
constexpr const char* kCaption = "KORVA Removal";
// The INF copy's file list; kHeld is held open in the system directory.
constexpr const char* kInf = "kvprn.inf";
constexpr const char* kListed[] = {"kvprnui.dll", "kvprnres.dll", "kvtest.ppd"};
constexpr const char* kHeld = "kvprnres.dll";

// The RunOnce values this library writes, "name=text" each, in name order
// ("VT3E", then "VT3E_0", "VT3E_1", ...).
std::vector<std::string> RunOnceValues() {
  std::vector<std::string> values;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnce, 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return values;
  for (int i = -1; i < 32; ++i) {
    const std::string name =
        i < 0 ? std::string("VT3E") : "VT3E_" + std::to_string(i);
    char data[1024] = {};
    DWORD length = sizeof data;
    if (RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                         reinterpret_cast<LPBYTE>(data),
                         &length) == ERROR_SUCCESS)
      values.push_back(name + "=" + data);
  }
  RegCloseKey(key);
  return values;
}

// What the spooler lists, one name a line: printers, drivers, monitors.
struct Spooler {
  std::vector<std::string> printers, drivers, monitors;
  static Spooler Now() {
    return {Names<PRINTER_INFO_1A>(kvwine::EnumLocalPrinters, 1),
            Names<DRIVER_INFO_1A>(EnumPrinterDriversA, 1),
            Names<MONITOR_INFO_1A>(kvwine::EnumMonitorList, 1)};
  }
  bool operator==(const Spooler& o) const {
    return printers == o.printers && drivers == o.drivers &&
           monitors == o.monitors;
  }
};

std::string DefaultDevice() {
  char line[1024] = {};
  GetProfileStringA("windows", "device", "", line, sizeof line);
  return line;
}

// Runs an uninstaller entry while a watcher waits for the reboot question
// and answers it No; what the watcher saw.
kvwine::BoxSeen CallEntry(EntryFn entry, int* result) {
  kvwine::BoxWatch watch(kCaption, IDNO);
  EXPECT_TRUE(watch.started());
  *result = entry(0x11, 0x22, 0x33);
  // The box is modal: once the call is back, any box was shown and pressed.
  watch.Stop();
  return watch.Wait();
}

class UninstallEntries : public kvwine::RemovalTest {
 protected:
  UninstallEntries() : RemovalTest(kMessageFile) {}

  void Prepare() override {
    // Windows 9x's end of removal sets the default printer.
    const std::string device = DefaultDevice();
    AtEnd([device] {
      WriteProfileStringA("windows", "device",
                          device.empty() ? nullptr : device.c_str());
    });
    init_ = kvwine::Export<EntryFn>("UninstInitialize");
    uninit_ = kvwine::Export<EntryFn>("UninstUnInitialize");
    ASSERT_NE(init_, nullptr);
    ASSERT_NE(uninit_, nullptr);
  }

  // A folder made for the test, removed at the end when it was made here.
  void Folder(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr))
      AtEnd([path] { RemoveDirectoryA(path.c_str()); });
  }

  // `path` deleted at the end, whatever the test did with it.
  void Place(const std::string& path) {
    AtEnd([path] { DeleteFileA(path.c_str()); });
  }

  // The file "in use" is free again, as when its program has ended.
  void Release() {
    if (hold_ != INVALID_HANDLE_VALUE) CloseHandle(hold_);
    hold_ = INVALID_HANDLE_VALUE;
  }

  HANDLE hold_ = INVALID_HANDLE_VALUE;
  EntryFn init_ = nullptr;
  EntryFn uninit_ = nullptr;
};

// Without a removal before it there is no batch: the last entry hands over
// nothing, asks nothing and leaves the spooler and the default printer as
// they were.
TEST_F(UninstallEntries, UnInitializeWithoutARemovalChangesNothing) {
  const Spooler before = Spooler::Now();
  const std::string device = DefaultDevice();
  int result = -1;
  const kvwine::BoxSeen seen = CallEntry(uninit_, &result);
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(seen.found);
  EXPECT_FALSE(Exists(batch_));
  EXPECT_TRUE(RunOnceValues().empty());
  EXPECT_TRUE(Spooler::Now() == before);
  // Windows 9x makes the first printer of [Devices] the default whatever
  // was removed; the NT family leaves win.ini alone.
  if (!kvwine::IsWin9x()) {
    EXPECT_EQ(DefaultDevice(), device);
  }
}

TEST_F(UninstallEntries, RemoveARealInstallationAndLeaveTheRestToTheRestart) {
  if (!Exists(kWinePs))
    GTEST_SKIP() << "Wine's PostScript driver is not at " << kWinePs;
  const bool is9x = kvwine::IsWin9x();
  const int osKind = kvwine::Version().osKind;
  const std::string S = system_, W = windows_;
  const std::string store = S + "\\KVDRV";
  const std::string eins = W + "\\vt3eins.sii";
  const std::string folder = W + "\\kvuent";
  const std::string sibling = S + "\\" + kSibling;
  const std::string siblingLog = sibling + ".log";
  const std::string driverDir = kvwine::DriverDirectory();
  ASSERT_FALSE(driverDir.empty());

  // Folders and files first: their clean-up runs after the registrations'.
  Folder(folder);
  Folder(store);
  for (const char* f : {"kvwineps.drv", "kvtest.ppd", "kvother.ppd"}) {
    Place(driverDir + "\\" + f);
    // What the spooler copied into its version folders.
    for (const char* sub : {"\\3\\", "\\2\\", "\\0\\"})
      Place(driverDir + sub + f);
  }
  for (const std::string& f : {S + "\\" + kMonitorDll, sibling, siblingLog,
                               store + "\\" + kInf, S + "\\" + kMessageFile})
    Place(f);
  // The driver files as an installation leaves them: in the driver store
  // and the system directory, and on the NT family in the spooler's driver
  // folder and its version folder (where the spooler also put the PPD).
  std::vector<std::string> targets = {store, S};
  if (!is9x) {
    targets.push_back(S + "\\Spool\\Drivers\\w32x86");
    targets.push_back(targets.back() + (osKind == 1 ? "\\2" : "\\3"));
  }
  for (const std::string& t : targets) {
    Folder(t);
    for (const char* name : kListed) {
      Place(t + "\\" + name);
      if (std::string(name) != "kvtest.ppd") {
        ASSERT_TRUE(WriteFileText(t + "\\" + name, name)) << t;
      }
    }
  }

  auto undoRegistrations = [] {
    kvwine::UnregisterPrinters({kDrivers[0], kDrivers[1], kOther}, kMonitor);
    RemoveService(kService);
  };
  undoRegistrations();
  ASSERT_FALSE(Has(Spooler::Now().printers, kDrivers[0]))
      << "left over from an earlier run";
  AtEnd(undoRegistrations);

  ASSERT_TRUE(
      CopyFileA(kWinePs, (driverDir + "\\kvwineps.drv").c_str(), FALSE));
  ASSERT_TRUE(WriteFileText(driverDir + "\\kvtest.ppd", kPpd));
  ASSERT_TRUE(WriteFileText(driverDir + "\\kvother.ppd", kPpd));
  ASSERT_TRUE(CopyFileA((kvwine::ProgramDir() + kMonitorDll).c_str(),
                        (S + "\\" + kMonitorDll).c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((kvwine::ProgramDir() + "sibling\\" + kSibling).c_str(),
                        sibling.c_str(), FALSE));

  // The uninstall setup file, as installation leaves it in the Windows
  // directory, and another product's setup file for the printer that stays.
  const std::string otherSii = folder + "\\other.sii";
  Place(otherSii);
  auto write = [](const std::string& file, const char* section,
                  const std::string& key, const char* value) {
    EXPECT_TRUE(
        WritePrivateProfileStringA(section, key.c_str(), value, file.c_str()));
  };
  for (const std::string& sii : {eins, otherSii}) {
    const bool ours = sii == eins;
    write(sii, "Initial", "Product", "KORVA");
    write(sii, "ModelName", "nModelNum", ours ? "2" : "1");
    write(sii, "ModelName", "Model1", ours ? kModels[0] : "KV-9000");
    if (ours) write(sii, "ModelName", "Model2", kModels[1]);
    write(sii, "Install", "DATATYPE", "RAW");
    for (const char* f : {"NT", "2K", "9x"}) {
      const std::string section = std::string("Files.") + f;
      write(sii, section.c_str(), std::string("Drvf") + f, "kvwineps.drv");
      write(sii, section.c_str(), std::string("Conf") + f, "kvwineps.drv");
      write(sii, section.c_str(), std::string("Datf") + f,
            ours ? "kvtest.ppd" : "kvother.ppd");
      write(sii, section.c_str(), std::string("Procn") + f, "NULL");
    }
    write(sii, "Files.9x", "Drcf9x", "KVWINEPS");
  }
  for (const char* f : {"NT", "2K", "9x"})
    write(eins, (std::string("Files.") + f).c_str(), std::string("Lmonm") + f,
          kMonitorDll);
  write(eins, "Files.Com", "Lmonn", kMonitor);
  write(eins, "Files.NT", "LptNT", "drivers\\kvlptent.sys");
  write(eins, "Files.NT", "LptNTName", kService);
  write(eins, "Files.2K", "Lpt2K", "drivers\\kvlptent.sys");
  write(eins, "Files.2K", "Lpt2KName", kService);
  for (const char* f : {"NT", "2K", "XP", "9x"})
    write(eins, "Model", std::string("PRNInfFile") + f, kInf);
  write(eins, "UninstName", "UNINST_MSG_DAT", kMessageFile);
  const std::string message = S + "\\" + kMessageFile;
  write(message, "String", "STR_Reboot_TITLE", kCaption);
  write(message, "String", "STR_Reboot_1", "Restart to finish.");
  write(message, "String", "STR_Reboot_2", "Restart now?");
  // Profile writes reach the files only when Wine's cache is flushed.
  for (const std::string& f : {eins, otherSii, message})
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, f.c_str());
  std::string inf = "[SourceDisksFiles]\r\n";
  for (const char* name : kListed) inf += std::string(name) + "=1,,\r\n";
  ASSERT_TRUE(WriteFileText(store + "\\" + kInf, inf));

  // The other printer first: the uninstaller's process is normally a fresh
  // one, and Windows 9x's default-printer repair deletes the [Devices]
  // entry of the driver this process registered last.
  auto reg = kvwine::Export<RegisterFn>("ToRegPrinter");
  ASSERT_NE(reg, nullptr);
  ASSERT_EQ(
      reg("LPT1:", "KV-9000", 0, folder.c_str(), kOther, 0, otherSii.c_str()),
      1);
  for (int i = 0; i < 2; ++i)
    ASSERT_EQ(reg("LPT1:", kModels[i], i == 0, folder.c_str(), kDrivers[i], 0,
                  eins.c_str()),
              1);
  const Spooler installed = Spooler::Now();
  for (const char* d : kDrivers) ASSERT_TRUE(Has(installed.printers, d));
  ASSERT_TRUE(Has(installed.monitors, kMonitor));
  ASSERT_EQ(ServiceExists(kService), !is9x);
  ASSERT_EQ(DefaultDevice().rfind(std::string(kDrivers[0]) + ",", 0), 0u);
  std::vector<std::string> listed;
  for (const std::string& t : targets)
    for (const char* name : kListed)
      if (Exists(t + "\\" + name)) listed.push_back(t + "\\" + name);

  const std::string held = S + "\\" + kHeld;
  hold_ = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                      nullptr);
  ASSERT_NE(hold_, INVALID_HANDLE_VALUE);
  AtEnd([this] { Release(); });

  EXPECT_EQ(init_(0x11, 0x22, 0x33), 0);
  int result = -1;
  const kvwine::BoxSeen seen = CallEntry(uninit_, &result);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(seen.found);
  EXPECT_TRUE(seen.pressed);
  EXPECT_FALSE(Exists(message));  // used once

  // The model's printers: the NT spooler keeps its printers in memory and
  // forgets one whose records are gone only when it starts again; Wine's
  // lists them from the registry, so they are gone at once.
  const Spooler removed = Spooler::Now();
  for (const char* d : kDrivers) {
    EXPECT_FALSE(Has(removed.printers, d)) << d;
    EXPECT_FALSE(Has(removed.drivers, d)) << d;
  }
  // Wine lists monitors from the registry, whose key removal deleted; the
  // NT spooler, stopped meanwhile, does not load the monitor again.
  EXPECT_FALSE(Has(removed.monitors, kMonitor));
  EXPECT_TRUE(Has(removed.printers, kOther));
  EXPECT_TRUE(Has(removed.drivers, kOther));
  EXPECT_TRUE(Exists(driverDir + "\\kvother.ppd"));
  EXPECT_FALSE(ServiceExists(kService));
  // The default printer named a removed one: it moves to the printer left.
  const std::string device = DefaultDevice();
  EXPECT_EQ(device.substr(0, device.find(',')), kOther) << device;
  for (const std::string& f : listed) EXPECT_EQ(Exists(f), f == held) << f;
  EXPECT_FALSE(Exists(store + "\\" + kInf));
  // Wine files the spooler's copy of an NT 4.0 driver under version 3 and of
  // a 9x one under win40\0, where the lists do not look; the installation
  // record, taken from the spooler's own answer, takes them as well.
  EXPECT_FALSE(Exists(driverDir + "\\3\\kvtest.ppd"));
  EXPECT_FALSE(Exists(driverDir + "\\0\\kvtest.ppd"));

  // The sibling library's log: one call per model on 2000 and XP.
  EXPECT_EQ(ReadFileBytes(siblingLog),
            osKind >= 3 ? std::string(kModels[0]) + "|vt3eins.sii\r\n" +
                              kModels[1] + "|vt3eins.sii\r\n"
                        : std::string("<missing>"));

  // The batch: the uninstall setup file there is (the other two are
  // not), the file in use, itself.
  const std::string del = is9x ? "del " : "del /f ";
  std::vector<std::string> lines;
  lines.push_back(del + W + "\\vt3eins.sii");
  lines.push_back(del + held);
  lines.push_back(del + batch_);
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  EXPECT_EQ(ReadFileBytes(batch_), text);
  // Handed over whole on the NT family, a line a value on Windows 9x.
  std::vector<std::string> runOnce;
  if (is9x) {
    for (size_t i = 0; i < lines.size(); ++i)
      runOnce.push_back("VT3E_" + std::to_string(i) + "=command.com /c " +
                        lines[i]);
  } else {
    runOnce.push_back("VT3E=" + batch_);
  }
  EXPECT_EQ(RunOnceValues(), runOnce);

  // A second end of removal: the message file was used, so nothing is
  // asked, and the batch and its hand-over stay as they are.
  const kvwine::BoxSeen again = CallEntry(uninit_, &result);
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(again.found);
  EXPECT_EQ(ReadFileBytes(batch_), text);
  EXPECT_EQ(RunOnceValues(), runOnce);
  EXPECT_TRUE(Exists(held));
  EXPECT_TRUE(Spooler::Now() == removed);

  // The next start: the program holding the file has ended, and each
  // RunOnce command runs (Wine has no command.com; its cmd.exe runs the
  // same line).
  Release();
  for (const std::string& value : runOnce) {
    std::string command = value.substr(value.find('=') + 1);
    const std::string prefix = "command.com /c ";
    command = command.rfind(prefix, 0) == 0
                  ? "cmd.exe /c " + command.substr(prefix.size())
                  : "cmd.exe /c " + command;
    EXPECT_EQ(RunCommand(command, S), 0) << command;
  }
  EXPECT_FALSE(Exists(batch_));
  EXPECT_FALSE(Exists(held));
  EXPECT_FALSE(Exists(eins));
  EXPECT_TRUE(Has(Spooler::Now().printers, kOther));
}

}  // namespace
