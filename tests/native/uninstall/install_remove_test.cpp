// A real installation (ToRegPrinter from a setup file) taken away by the
// uninstaller's entries: removal must find every name installation gave,
// whatever the lengths of the setup file's values, and take the files that
// went with them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/registry.h"
#include "foundation/registry_paths.h"
#include "printer/registration.h"
#include "sim/next_start.h"
#include "tests/native/support/printer_support.h"
#include "tests/native/support/windows_keys.h"
#include "tests/native/uninstall/uninstall_support.h"
#include "uninstall/uninstall_entries.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;

const WindowsVersion kAllVersions[] = {
    WindowsVersion::NT4,   WindowsVersion::Win95,   WindowsVersion::Win98,
    WindowsVersion::WinMe, WindowsVersion::Win2000, WindowsVersion::XP};

bool HasKey(SimMachine& m, HKEY root, const std::string& path) {
  return m.os().FindKey(root, path) != nullptr;
}

bool Exists(SimMachine& m, const std::string& path) {
  return m.os().GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Product and model lengths at the names' limits: the product is read to 19
// characters, the driver name ("product model") kept to 127, printer names
// go well past the 99 characters of a removal buffer.
TEST(InstallRemove, RemovalFindsWhatInstallationNamed) {
  const struct {
    size_t product, driver, printer;
    bool usb;
  } cases[] = {
      {19, 98, 99, false},  {20, 99, 100, true},  {24, 100, 180, false},
      {25, 127, 220, true}, {40, 128, 64, false}, {60, 160, 8, true},
  };
  for (const WindowsVersion v : kAllVersions) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(sim::WindowsVersionName(v)) + " product " +
                   std::to_string(c.product) + " driver " +
                   std::to_string(c.driver));
      SimMachine m(v);
      auto& os = m.os();
      const bool is9x = sim::IsWin9x(v);
      const std::string product(c.product, 'P');
      const size_t productRead = std::min<size_t>(c.product, 19);
      const std::string model(c.driver - productRead - 1, 'm');
      const std::string driver =
          (product.substr(0, productRead) + " " + model).substr(0, 127);
      SampleSii sii;
      sii.initial = "Product=" + product + "\r\n";
      sii.models = "nModelNum=1\r\nModel1=" + model + "\r\n";
      sii.devIds = model + "=LPTENUM\\KORVAKV-1000D1A2\r\n";
      PlaceMedium(m, sii);
      // The USB entry reads "<setup dir>\<file>", the other steps "<file>"
      // itself (a bare name is looked up in the Windows directory).
      for (const char* name : {"vt3eins.sii", "kv.sii"})
        ASSERT_TRUE(
            os.WriteTextFile(os.windowsDir() + "\\" + name, sii.Text()));
      if (is9x && c.usb) {
        RegKey usb(os);
        ASSERT_EQ(CreateKey(os, HKEY_LOCAL_MACHINE,
                            "Enum\\USB\\VID_1234&PID_5678\\5&1&2", usb),
                  ERROR_SUCCESS);
      }
      const std::string printer(c.printer, 'Q');
      ASSERT_EQ(ToRegPrinter(m.ctx(), "LPT1:", model.c_str(), 1, kSetupDir,
                             printer.c_str(), c.usb, "kv.sii"),
                1);
      ASSERT_TRUE(HasKey(m, HKEY_LOCAL_MACHINE, PrinterPath(printer)));
      const std::string usbEntry =
          "Enum\\USBPRINT\\" + product + model.substr(0, 255);
      const bool usbWritten =
          is9x && c.usb && HasKey(m, HKEY_LOCAL_MACHINE, usbEntry);

      UninstInitialize(m.ctx());
      UninstUnInitialize(m.ctx());

      EXPECT_FALSE(HasKey(m, HKEY_LOCAL_MACHINE, PrinterPath(printer)));
      const char* drivers = is9x ? test::kWin9xDriversKey
                            : v == WindowsVersion::NT4
                                ? test::kWinNt4DriversKey
                                : test::kWinNt5DriversKey;
      ASSERT_TRUE(HasKey(m, HKEY_LOCAL_MACHINE, drivers));
      EXPECT_FALSE(
          HasKey(m, HKEY_LOCAL_MACHINE, std::string(drivers) + "\\" + driver));
      EXPECT_FALSE(HasKey(m, HKEY_CURRENT_CONFIG,
                          std::string(test::kWinPrintersKey) + "\\" + driver));
      EXPECT_FALSE(
          HasKey(m, HKEY_LOCAL_MACHINE, "Enum\\LPTENUM\\KORVAKV-1000D1A2"));
      EXPECT_EQ(usbWritten,
                is9x && c.usb && product.size() + model.size() <= 255);
      EXPECT_FALSE(HasKey(m, HKEY_LOCAL_MACHINE, usbEntry));
      EXPECT_FALSE(
          HasKey(m, HKEY_LOCAL_MACHINE,
                 std::string(test::kWinMonitorsKey) + "\\KV Lang Monitor"));
      const std::string library = is9x                       ? "kvmon9x.dll"
                                  : v == WindowsVersion::NT4 ? "kvmonnt.dll"
                                                             : "kvmon2k.dll";
      EXPECT_FALSE(Exists(m, os.systemDir() + "\\" + library));
      if (!is9x) {
        const std::string lpt = v == WindowsVersion::NT4
                                    ? "drivers\\kvlptnt.sys"
                                    : "drivers\\kvlpt2k.sys";
        EXPECT_FALSE(Exists(m, os.systemDir() + "\\" + lpt)) << lpt;
        EXPECT_FALSE(HasKey(m, HKEY_LOCAL_MACHINE,
                            "SYSTEM\\CurrentControlSet\\Services\\KvLpt"));
      }
      char device[256] = {};
      os.GetProfileStringA("windows", "device", "", device, sizeof device);
      EXPECT_STREQ(device, "");
    }
  }
}

// The port driver's file and the monitor's library go with their service
// and monitor, deferred when in use; a service of Windows' own named by the
// setup file, and a library another monitor still names, stay.
TEST(InstallRemove, PortDriverAndMonitorLibraryOnlyWhenTheirs) {
  enum class Twist { None, InUse, WindowsService, SharedLibrary };
  for (const WindowsVersion v :
       {WindowsVersion::NT4, WindowsVersion::Win2000, WindowsVersion::XP}) {
    for (const Twist twist : {Twist::None, Twist::InUse, Twist::WindowsService,
                              Twist::SharedLibrary}) {
      SCOPED_TRACE(std::string(sim::WindowsVersionName(v)) + " " +
                   std::to_string(static_cast<int>(twist)));
      SimMachine m(v);
      auto& os = m.os();
      const bool nt4 = v == WindowsVersion::NT4;
      const std::string lpt =
          nt4 ? "drivers\\kvlptnt.sys" : "drivers\\kvlpt2k.sys";
      const std::string library = nt4 ? "kvmonnt.dll" : "kvmon2k.dll";
      SampleSii sii;
      PlaceMedium(m, sii);
      ASSERT_TRUE(
          os.WriteTextFile(os.windowsDir() + "\\vt3eins.sii", sii.Text()));
      ASSERT_EQ(ToRegPrinter(m.ctx(), "LPT1:", "KV-1000", 0, kSetupDir, "KV", 0,
                             kSii),
                1);
      if (twist == Twist::InUse)
        os.SetFileInUse(os.systemDir() + "\\" + lpt, true);
      if (twist == Twist::SharedLibrary) {
        RegKey other(os);
        ASSERT_EQ(
            CreateKey(os, HKEY_LOCAL_MACHINE,
                      std::string(test::kWinMonitorsKey) + "\\Other Monitor",
                      other),
            ERROR_SUCCESS);
        WriteString(os, other.get(), "Driver", library);
      }
      std::string setup = sii.Text();
      if (twist == Twist::WindowsService) {
        // The setup file names Windows' own parallel-port driver.
        SC_HANDLE manager =
            os.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE own = os.CreateServiceA(
            manager, "Parport", "Parport", SERVICE_ALL_ACCESS,
            SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
            "System32\\DRIVERS\\parport.sys", nullptr, nullptr, nullptr,
            nullptr, nullptr);
        ASSERT_NE(own, nullptr);
        os.CloseServiceHandle(own);
        os.CloseServiceHandle(manager);
        ASSERT_TRUE(
            os.WriteTextFile(os.systemDir() + "\\drivers\\parport.sys", "MZ"));
        for (const char* key : {"LptNTName=KvLpt", "Lpt2KName=KvLpt"})
          setup.replace(setup.find(key), std::strlen(key),
                        std::string(key, 10) + "Parport");
        for (const char* key : {"drivers\\kvlptnt.sys", "drivers\\kvlpt2k.sys"})
          setup.replace(setup.find(key), std::strlen(key),
                        "drivers\\parport.sys");
        ASSERT_TRUE(os.WriteTextFile(os.windowsDir() + "\\vt3eins.sii", setup));
      }

      UninstInitialize(m.ctx());

      const std::string lptPath = os.systemDir() + "\\" + lpt;
      const bool deferred = Batch(os).find(lptPath) != std::string::npos;
      EXPECT_EQ(deferred, twist == Twist::InUse) << Batch(os);
      EXPECT_EQ(Exists(m, lptPath),
                twist == Twist::InUse || twist == Twist::WindowsService);
      EXPECT_EQ(Exists(m, os.systemDir() + "\\drivers\\parport.sys"),
                twist == Twist::WindowsService);
      EXPECT_EQ(HasKey(m, HKEY_LOCAL_MACHINE,
                       "SYSTEM\\CurrentControlSet\\Services\\Parport"),
                twist == Twist::WindowsService);
      EXPECT_EQ(Exists(m, os.systemDir() + "\\" + library),
                twist == Twist::SharedLibrary);
    }
  }
}

// A file the maker's INF lists that another installed driver names (the
// shared files of Windows' printing, say) stays where it is, while the
// driver's own files go; drivers that can't be listed keep every file.
TEST(InstallRemove, FilesAnotherDriverNamesStay) {
  for (const WindowsVersion v : kAllVersions) {
    for (const bool listFails : {false, true}) {
      SCOPED_TRACE(std::string(sim::WindowsVersionName(v)) +
                   (listFails ? " list fails" : ""));
      SimMachine m(v);
      auto& os = m.os();
      const bool is9x = sim::IsWin9x(v);
      SampleSii sii;
      sii.models = "nModelNum=1\r\nModel1=KV-1000\r\n";
      const std::string setup =
          sii.Text() +
          "[Model]\r\nPRNInfFile9x=kvprn.inf\r\nPRNInfFileNT=kvprn.inf\r\n"
          "PRNInfFile2K=kvprn.inf\r\nPRNInfFileXP=kvprn.inf\r\n";
      PlaceMedium(m, sii);
      ASSERT_TRUE(os.WriteTextFile(os.windowsDir() + "\\vt3eins.sii", setup));
      const std::string env = is9x ? "Windows 4.0" : "Windows NT x86";
      const std::string drivers = sim::DriverDirectory(os, env);
      ASSERT_TRUE(os.WriteTextFile(drivers + "\\SHARED.DLL", "MZ"));
      // Another maker's driver, installed first, depends on the shared file.
      for (const char* f : {"other.drv", "other.ppd"})
        ASSERT_TRUE(os.WriteTextFile(drivers + "\\" + f, "MZ"));
      DRIVER_INFO_3A other = {};
      other.cVersion = is9x ? 0 : v == WindowsVersion::NT4 ? 2 : 3;
      other.pName = const_cast<LPSTR>("Other Maker Printer");
      other.pEnvironment = const_cast<LPSTR>(env.c_str());
      other.pDriverPath = const_cast<LPSTR>("other.drv");
      other.pDataFile = const_cast<LPSTR>("other.ppd");
      other.pConfigFile = const_cast<LPSTR>("other.drv");
      other.pDependentFiles = const_cast<LPSTR>("SHARED.DLL\0");
      ASSERT_TRUE(
          os.AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&other)));
      ASSERT_TRUE(os.WriteTextFile(
          os.systemDir() + "\\KVDRV\\kvprn.inf",
          "[SourceDisksFiles]\r\nkvdata.ppd=1\r\nshared.dll=1\r\n"));
      ASSERT_EQ(ToRegPrinter(m.ctx(), "LPT1:", "KV-1000", 0, kSetupDir, "KV", 0,
                             kSii),
                1);
      const std::string installed =
          sim::DriverDirectory(os, env) + (is9x                       ? ""
                                           : v == WindowsVersion::NT4 ? "\\2"
                                                                      : "\\3");
      ASSERT_TRUE(Exists(m, installed + "\\SHARED.DLL"));
      ASSERT_TRUE(Exists(m, installed + "\\kvdata.ppd"));
      if (listFails)
        os.FailOperation("EnumPrinterDriversA", ERROR_OUTOFMEMORY, 0, -1);

      UninstInitialize(m.ctx());

      EXPECT_TRUE(Exists(m, installed + "\\SHARED.DLL"));
      EXPECT_TRUE(Exists(m, drivers + "\\SHARED.DLL"));
      EXPECT_EQ(Exists(m, installed + "\\kvdata.ppd"), listFails);
    }
  }
}

// A removal whose files in use wait for the next start, then a new
// installation before that start: the next start takes only what the new
// installation did not put back.
TEST(InstallRemove, AnInstallationBeforeTheRestartKeepsItsFiles) {
  for (const WindowsVersion v : {WindowsVersion::Win98, WindowsVersion::XP}) {
    SCOPED_TRACE(sim::WindowsVersionName(v));
    SimMachine m(v);
    auto& os = m.os();
    SampleSii sii;
    sii.models = "nModelNum=1\r\nModel1=KV-1000\r\n";
    const std::string setup =
        sii.Text() +
        "[Model]\r\nPRNInfFile9x=kvprn.inf\r\n"
        "PRNInfFile2K=kvprn.inf\r\nPRNInfFileXP=kvprn.inf\r\n";
    PlaceMedium(m, sii);
    ASSERT_TRUE(os.WriteTextFile(os.windowsDir() + "\\vt3eins.sii", setup));
    const std::string store = os.systemDir() + "\\KVDRV";
    ASSERT_TRUE(os.WriteTextFile(store + "\\kvprn.inf",
                                 "[SourceDisksFiles]\r\nkvdata.ppd=1\r\n"
                                 "kvold.dll=1\r\n"));
    const std::string installed =
        sim::IsWin9x(v) ? os.systemDir()
                        : sim::DriverDirectory(os, "Windows NT x86") + "\\3";
    ASSERT_TRUE(os.WriteTextFile(installed + "\\kvold.dll", "old"));
    ASSERT_EQ(
        ToRegPrinter(m.ctx(), "LPT1:", "KV-1000", 0, kSetupDir, "KV", 0, kSii),
        1);
    for (const char* f : {"kvdata.ppd", "kvold.dll"})
      os.SetFileInUse(installed + "\\" + f, true);
    UninstInitialize(m.ctx());
    os.QueueMessageBoxAnswer(IDNO);
    UninstUnInitialize(m.ctx());
    ASSERT_NE(Batch(os).find("kvdata.ppd"), std::string::npos);
    for (const char* f : {"kvdata.ppd", "kvold.dll"})
      os.SetFileInUse(installed + "\\" + f, false);

    // The installer copies the setup file again and registers the printer.
    PlaceMedium(m, sii);
    ASSERT_TRUE(os.WriteTextFile(os.windowsDir() + "\\vt3eins.sii", setup));
    ASSERT_EQ(
        ToRegPrinter(m.ctx(), "LPT1:", "KV-1000", 0, kSetupDir, "KV", 0, kSii),
        1);
    sim::StartWindowsAgain(os);

    EXPECT_TRUE(Exists(m, installed + "\\kvdata.ppd"));
    EXPECT_TRUE(Exists(m, os.windowsDir() + "\\vt3eins.sii"));
    EXPECT_FALSE(Exists(m, installed + "\\kvold.dll"));
    EXPECT_FALSE(Exists(m, os.systemDir() + "\\VT3E.bat"));
  }
}

}  // namespace
}  // namespace kv::test
