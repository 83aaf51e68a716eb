// ToRegPrinter against the real spooler and service manager: a sample setup
// file, Wine's own PostScript driver placed in the spooler's driver directory
// as driver and configuration file with a small PPD as data file, and the
// dependent files named through DepInit/MakeDep. Everything registered is
// taken away again after each test.
// kv-wine-versions: nt40 win98 win2k winxp
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "tests/wine/support/cleanup.h"
#include "tests/wine/support/machine.h"
#include "tests/wine/support/wine_test.h"

using kvwine::DeleteTree;
using kvwine::DriverDirectory;
using kvwine::kWinePs;
using kvwine::RemovePrinter;
using kvwine::RemoveService;
using kvwine::ServiceExists;
using kvwine::WriteFileText;

namespace {

using RegisterFn = int(WINAPI*)(LPCSTR, LPCSTR, int, LPCSTR, LPCSTR, int,
                                LPCSTR);
using IntFn = int(WINAPI*)();
using NameFn = int(WINAPI*)(LPCSTR);

// Named like the driver: Wine's DocumentPropertiesA looks the device up by
// the device name the library passes, which is the driver name.
constexpr const char* kPrinter = "KORVA KV-1000";
constexpr const char* kDriver = "KORVA KV-1000";
constexpr const char* kService = "KvLptTest";
constexpr const char* kDependents[] = {"kvdep1.dat", "kvdep2.dat"};

constexpr const char* kPpd =
    "*PPD-Adobe: \"4.3\"\r\n*FormatVersion: \"4.3\"\r\n*FileVersion: "
    "\"1.0\"\r\n"
    "*LanguageVersion: English\r\n*LanguageEncoding: ISOLatin1\r\n"
    "*PCFileName: \"KVTEST.PPD\"\r\n*Manufacturer: \"KORVA\"\r\n"
    "*Product: \"(KV-1000)\"\r\n*ModelName: \"KORVA KV-1000\"\r\n"
    "*ShortNickName: \"KORVA KV-1000\"\r\n*NickName: \"KORVA KV-1000\"\r\n"
    "*PSVersion: \"(3010.000) 0\"\r\n*LanguageLevel: \"3\"\r\n"
    "*ColorDevice: False\r\n*DefaultColorSpace: Gray\r\n*FileSystem: False\r\n"
    "*Throughput: \"10\"\r\n*LandscapeOrientation: Plus90\r\n"
    "*TTRasterizer: Type42\r\n"
    "*OpenUI *PageSize: PickOne\r\n*OrderDependency: 10 AnySetup *PageSize\r\n"
    "*DefaultPageSize: A4\r\n"
    "*PageSize A4/A4: \"<</PageSize[595 842]/ImagingBBox "
    "null>>setpagedevice\"\r\n"
    "*CloseUI: *PageSize\r\n*DefaultImageableArea: A4\r\n"
    "*ImageableArea A4/A4: \"18 18 577 824\"\r\n*DefaultPaperDimension: A4\r\n"
    "*PaperDimension A4/A4: \"595 842\"\r\n*DefaultResolution: 600dpi\r\n";

// The level-2 records of the local printers.
std::vector<BYTE> LocalPrinters(DWORD* count) {
  DWORD needed = 0;
  *count = 0;
  EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, count);
  std::vector<BYTE> buffer(needed ? needed : 4);
  if (!EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed,
                     &needed, count))
    *count = 0;
  return buffer;
}

class RegisterPrinter : public testing::Test {
 protected:
  void SetUp() override {
    if (GetFileAttributesA(kWinePs) == INVALID_FILE_ATTRIBUTES)
      GTEST_SKIP() << "Wine's PostScript driver is not at " << kWinePs;
    RemovePrinter(kPrinter);
    DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>(kDriver));
    char line[1024] = {};
    GetProfileStringA("windows", "device", "", line, sizeof line);
    savedDevice_ = line;

    driverDir_ = DriverDirectory();
    ASSERT_FALSE(driverDir_.empty()) << "error " << GetLastError();
    Place("kvwineps.drv");
    ASSERT_TRUE(WriteFileText(driverDir_ + "\\kvtest.ppd", kPpd));
    placed_.push_back(driverDir_ + "\\kvtest.ppd");
    for (const char* dep : kDependents) {
      ASSERT_TRUE(WriteFileText(driverDir_ + "\\" + dep, dep));
      placed_.push_back(driverDir_ + "\\" + dep);
    }

    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
    folder_ = std::string(temp) + "kvprntest";
    CreateDirectoryA(folder_.c_str(), nullptr);
    sii_ = folder_ + "\\printer.sii";
    const char* family[] = {"NT", "2K", "9x"};
    Write("Initial", "Product", "KORVA");
    Write("ModelName", "nModelNum", "2");
    Write("ModelName", "Model1", "KV-1000");
    Write("ModelName", "Model2", "KV-2000");
    Write("DevID", "KV-1000", "LPTENUM\\KORVAKV-1000D1A2");
    Write("Install", "DATATYPE", "RAW");
    Write("Files.Com", "Helpf", "");
    for (const char* f : family) {
      const std::string section = std::string("Files.") + f;
      Write(section.c_str(), (std::string("Drvf") + f).c_str(), "kvwineps.drv");
      Write(section.c_str(), (std::string("Conf") + f).c_str(), "kvwineps.drv");
      Write(section.c_str(), (std::string("Datf") + f).c_str(), "kvtest.ppd");
      Write(section.c_str(), (std::string("Procn") + f).c_str(), "NULL");
    }
    Write("Files.NT", "LptNT", "drivers\\kvlpttst.sys");
    Write("Files.NT", "LptNTName", kService);
    Write("Files.2K", "Lpt2K", "drivers\\kvlpttst.sys");
    Write("Files.2K", "Lpt2KName", kService);
    Write("Files.9x", "Drcf9x", "KVWINEPS");
  }

  void TearDown() override {
    RemovePrinter(kPrinter);
    DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>(kDriver));
    RemoveService(kService);
    WriteProfileStringA("windows", "device",
                        savedDevice_.empty() ? nullptr : savedDevice_.c_str());
    for (const auto& f : placed_) DeleteFileA(f.c_str());
    // What the spooler copied into its version folders.
    for (const char* sub : {"\\3\\", "\\2\\", "\\0\\"}) {
      for (const char* f :
           {"kvwineps.drv", "kvtest.ppd", kDependents[0], kDependents[1]})
        DeleteFileA((driverDir_ + sub + f).c_str());
    }
    // The 9x entries of the sequence.
    RegDeleteKeyA(
        HKEY_CURRENT_CONFIG,
        "System\\CurrentControlSet\\Control\\Print\\Printers\\KORVA KV-1000");
    DeleteTree(HKEY_LOCAL_MACHINE, "Enum\\LPTENUM\\KORVAKV-1000D1A2");
    DeleteFileA(sii_.c_str());
    RemoveDirectoryA(folder_.c_str());
    EXPECT_FALSE(Listed(nullptr)) << "the printer outlived the test";
  }

  void Place(const char* name) {
    const std::string to = driverDir_ + "\\" + name;
    ASSERT_TRUE(CopyFileA(kWinePs, to.c_str(), FALSE))
        << "error " << GetLastError();
    placed_.push_back(to);
  }

  void Write(const char* section, const char* key, const char* value) {
    ASSERT_TRUE(WritePrivateProfileStringA(section, key, value, sii_.c_str()));
  }

  int Register(int makeDefault, const char* printer = kPrinter,
               const char* port = "LPT1:") {
    auto depInit = kvwine::Export<IntFn>("DepInit");
    auto makeDep = kvwine::Export<NameFn>("MakeDep");
    auto reg = kvwine::Export<RegisterFn>("ToRegPrinter");
    if (!depInit || !makeDep || !reg) return -1;
    EXPECT_EQ(depInit(), 1);
    EXPECT_EQ(makeDep("kvdep1.dat=1"), 1);
    EXPECT_EQ(makeDep("kvdep2.dat"), 1);
    return reg(port, "KV-1000", makeDefault, folder_.c_str(), printer, 0,
               sii_.c_str());
  }

  // Whether EnumPrintersA lists the printer; its record when `out` is given.
  bool Listed(PRINTER_INFO_2A* out, std::vector<BYTE>* keep = nullptr) {
    DWORD count = 0;
    std::vector<BYTE> buffer = LocalPrinters(&count);
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      if (lstrcmpiA(info[i].pPrinterName, kPrinter) != 0) continue;
      if (out) *out = info[i];
      if (keep) keep->swap(buffer);
      return true;
    }
    return false;
  }

  std::string driverDir_, folder_, sii_, savedDevice_;
  std::vector<std::string> placed_;
};

TEST_F(RegisterPrinter, CreatesThePrinterOnItsPortWithItsDriver) {
  ASSERT_EQ(Register(0), 1);

  PRINTER_INFO_2A printer = {};
  std::vector<BYTE> keep;
  ASSERT_TRUE(Listed(&printer, &keep));
  EXPECT_STREQ(printer.pPortName, "LPT1:");
  EXPECT_STREQ(printer.pDriverName, kDriver);
  // "NULL" names no processor of the model's own: the system's WinPrint
  // (Wine reports it as "WinPrint" too).
  EXPECT_STRCASEEQ(printer.pPrintProcessor, "WinPrint");
  // The driver's default device mode was set: wineps.drv makes a real one,
  // named by the device name the library passes. Wine at a 9x version
  // cannot load the driver for DocumentPropertiesA (it fails with
  // ERROR_DLL_NOT_FOUND), so the library has no device mode to set and the
  // printer keeps the one Wine made at AddPrinter, named after the driver
  // file. Windows 9x asks the driver and gets its default.
  ASSERT_NE(printer.pDevMode, nullptr);
  EXPECT_GE(printer.pDevMode->dmSize, sizeof(DEVMODEA) - 8);
  EXPECT_STREQ(reinterpret_cast<const char*>(printer.pDevMode->dmDeviceName),
               kvwine::IsWin9x() ? "wineps.drv" : kDriver);

  // The driver record names the dependent files DepInit/MakeDep built, with
  // the spooler's directory before each (the medium suffix "=1" is gone).
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>(kPrinter), &h, nullptr));
  DWORD needed = 0;
  GetPrinterDriverA(h, nullptr, 3, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed ? needed : 4);
  const BOOL got =
      GetPrinterDriverA(h, nullptr, 3, buffer.data(), needed, &needed);
  const DWORD error = GetLastError();
  ClosePrinter(h);
  ASSERT_TRUE(got) << "error " << error;
  auto* driver = reinterpret_cast<DRIVER_INFO_3A*>(buffer.data());
  EXPECT_STREQ(driver->pName, kDriver);
  std::vector<std::string> dependents;
  for (const char* p = driver->pDependentFiles; p && *p; p += lstrlenA(p) + 1) {
    std::string name = p;
    dependents.push_back(name.substr(name.find_last_of('\\') + 1));
  }
  EXPECT_EQ(dependents,
            (std::vector<std::string>{kDependents[0], kDependents[1]}));

  // Without make-default the device line is not touched.
  char line[1024] = {};
  GetProfileStringA("windows", "device", "", line, sizeof line);
  EXPECT_EQ(std::string(line), savedDevice_);

  // On 9x the sequence also asks for the hardware-profile key named by the
  // driver. Windows 9x creates it; Wine cannot create keys below
  // HKEY_CURRENT_CONFIG\System\CurrentControlSet\Control (its "reg add"
  // fails there too), so the library traces "Registry: HKEY_CURRENT_CONFIG
  // Entry Error!" and goes on. Wine's registry has no ENUM tree of parallel
  // ports either, so no 9x device entries are written under Wine.
  if (kvwine::IsWin9x()) {
    HKEY key;
    EXPECT_NE(
        RegOpenKeyExA(HKEY_CURRENT_CONFIG,
                      "System\\CurrentControlSet\\Control\\Print\\Printers\\"
                      "KORVA KV-1000",
                      0, KEY_READ, &key),
        ERROR_SUCCESS);
  }

  // The parallel-port driver service is recreated on the NT family only.
  // (Wine has a service manager at every version; Windows 9x has none.)
  EXPECT_EQ(ServiceExists(kService), !kvwine::IsWin9x());
}

TEST_F(RegisterPrinter, MakeDefaultWritesTheDeviceLineOfTheFamily) {
  ASSERT_EQ(Register(1), 1);
  char line[1024] = {};
  GetProfileStringA("windows", "device", "", line, sizeof line);
  EXPECT_STREQ(line, kvwine::IsWin9x() ? "KORVA KV-1000,KVWINEPS,LPT1:"
                                       : "KORVA KV-1000,WINSPOOL,LPT1:");
  // Wine's default printer is the device line's printer.
  char name[256] = {};
  DWORD size = sizeof name;
  ASSERT_TRUE(GetDefaultPrinterA(name, &size));
  EXPECT_STREQ(name, kPrinter);
}

// The device line is "printer,driver,port": a comma or a line break in a
// name would shift its fields or add lines to win.ini. Such names are refused
// before the spooler, the registry or win.ini is touched.
TEST_F(RegisterPrinter, NamesThatWouldBreakTheDeviceLineChangeNothing) {
  struct Case {
    const char* printer;
    const char* port;
    DWORD error;
  };
  const Case cases[] = {
      {"KORVA KV-1000,EVIL", "LPT1:", ERROR_INVALID_PRINTER_NAME},
      {"KORVA\r\nKV-1000", "LPT1:", ERROR_INVALID_PRINTER_NAME},
      {kPrinter, "LPT1:,EVIL", ERROR_INVALID_NAME},
      {kPrinter, "LPT1:\r\n[windows]", ERROR_INVALID_NAME},
  };
  char before[4096] = {};
  GetProfileSectionA("windows", before, sizeof before);
  for (const Case& c : cases) {
    SetLastError(0x5EB0DEAD);
    EXPECT_EQ(Register(1, c.printer, c.port), 0) << c.printer << c.port;
    EXPECT_EQ(GetLastError(), c.error) << c.printer << c.port;
    char after[4096] = {};
    GetProfileSectionA("windows", after, sizeof after);
    EXPECT_EQ(std::string(after, sizeof after),
              std::string(before, sizeof before));
    DWORD count = 0;
    std::vector<BYTE> buffer = LocalPrinters(&count);
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
      EXPECT_NE(std::string(info[i].pPrinterName).rfind("KORVA", 0), 0u)
          << info[i].pPrinterName;
  }
  EXPECT_FALSE(Listed(nullptr));
  EXPECT_FALSE(ServiceExists(kService));
}

TEST_F(RegisterPrinter, ExistingNameIsAddedAgainByWine) {
  ASSERT_EQ(Register(0), 1);
  // Windows refuses the second add with ERROR_PRINTER_ALREADY_EXISTS, so
  // the library gets no handle and answers 0 (the simulated machine's tests
  // hold that). Wine 8's spooler accepts the same name again and hands out
  // a handle: the library answers 1 there. One printer remains listed.
  EXPECT_EQ(Register(0), 1);
  DWORD count = 0;
  std::vector<BYTE> buffer = LocalPrinters(&count);
  auto* info = reinterpret_cast<PRINTER_INFO_2A*>(buffer.data());
  int ours = 0;
  for (DWORD i = 0; i < count; ++i)
    ours += lstrcmpiA(info[i].pPrinterName, kPrinter) == 0;
  EXPECT_EQ(ours, 1);
}

}  // namespace
