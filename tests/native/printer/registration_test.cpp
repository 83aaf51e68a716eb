// The printer registration sequence end to end on every Windows family: what
// each step leaves in the spooler, the registry, win.ini and the service
// manager, and how failing steps are traced while the sequence goes on.
#include "printer/registration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "exports/printer_exports.h"
#include "foundation/setupinfo.h"
#include "printer/pnp9x.h"
#include "sim/sim_services.h"
#include "staging/depfiles.h"
#include "tests/native/support/printer_support.h"

namespace kv {
namespace {

using sim::WindowsVersion;
using test::kDevId;
using test::kDriverName;
using test::kSetupDir;
using test::kSii;
using test::PrinterPath;
using test::RegDword;
using test::RegString;
using test::SampleSii;
using test::SimMachine;

constexpr const char* kPrinter = "KV Printer";

int Register(SimMachine& m, const char* printer = kPrinter,
             const char* port = "LPT1:", int makeDefault = 1, int usb = 0,
             const char* model = "KV-1000") {
  return ToRegPrinter(m.ctx(), port, model, makeDefault, kSetupDir, printer,
                      usb, kSii);
}

std::string DeviceLine(SimMachine& m) {
  char line[1024] = {};
  m.os().GetProfileStringA("windows", "device", "(none)", line, sizeof line);
  return line;
}

size_t Broadcasts(SimMachine& m) {
  return std::count_if(m.os().messages().begin(), m.os().messages().end(),
                       [](const sim::MessageRecord& r) {
                         return r.window == HWND_BROADCAST &&
                                r.message == WM_WININICHANGE && r.wParam == 0 &&
                                r.lParam == 0 && !r.posted;
                       });
}

// The driver record the spooler reports for the printer, at level 3.
struct DriverSeen {
  bool ok = false;
  std::string name, env, driver, data, config, help, monitor, datatype;
  std::vector<std::string> dependents;
};

DriverSeen ReadDriver(SimMachine& m, const char* printer) {
  DriverSeen seen;
  HANDLE h = nullptr;
  if (!m.os().OpenPrinterA(printer, &h, nullptr)) return seen;
  DWORD needed = 0;
  m.os().GetPrinterDriverA(h, nullptr, 3, nullptr, 0, &needed);
  std::vector<DWORD> buf((needed + 3) / 4 + 1);
  if (m.os().GetPrinterDriverA(h, nullptr, 3,
                               reinterpret_cast<LPBYTE>(buf.data()),
                               static_cast<DWORD>(buf.size() * 4), &needed)) {
    const auto* d = reinterpret_cast<const DRIVER_INFO_3A*>(buf.data());
    seen.ok = true;
    seen.name = d->pName;
    seen.env = d->pEnvironment;
    seen.driver = d->pDriverPath;
    seen.data = d->pDataFile;
    seen.config = d->pConfigFile;
    seen.help = d->pHelpFile;
    seen.monitor = d->pMonitorName;
    seen.datatype = d->pDefaultDataType;
    for (const char* p = d->pDependentFiles; p && *p; p += strlen(p) + 1)
      seen.dependents.push_back(p);
  }
  m.os().ClosePrinter(h);
  return seen;
}

// ---------------------------------------------------------------------------
// The whole sequence, per family.

struct FamilyCase {
  WindowsVersion version;
  const char* driverDir;  // version folder of the installed files
  const char* driverFile;
  const char* configFile;
  const char* datatype;
  DWORD attributes;  // with make default
  const char* deviceLine;
};

const FamilyCase kFamilies[] = {
    {WindowsVersion::NT4, "C:\\WINDOWS\\SYSTEM32\\spool\\drivers\\w32x86\\2\\",
     "kvdrvnt.dll", "kvuint.dll", "RAW", 0x4, "KV Printer,WINSPOOL,LPT1:"},
    {WindowsVersion::Win95, "C:\\WINDOWS\\SYSTEM\\", "KVDRV.DRV", "KVUI.DLL",
     "EMF", 0x804, "KV Printer,KVDRV,LPT1:"},
    {WindowsVersion::Win98, "C:\\WINDOWS\\SYSTEM\\", "KVDRV.DRV", "KVUI.DLL",
     "EMF", 0x804, "KV Printer,KVDRV,LPT1:"},
    {WindowsVersion::WinMe, "C:\\WINDOWS\\SYSTEM\\", "KVDRV.DRV", "KVUI.DLL",
     "EMF", 0x804, "KV Printer,KVDRV,LPT1:"},
    {WindowsVersion::Win2000,
     "C:\\WINDOWS\\SYSTEM32\\spool\\drivers\\w32x86\\3\\", "kvdrv2k.dll",
     "kvui2k.dll", "RAW", 0x4, "KV Printer,WINSPOOL,LPT1:"},
    {WindowsVersion::XP, "C:\\WINDOWS\\SYSTEM32\\spool\\drivers\\w32x86\\3\\",
     "kvdrv2k.dll", "kvui2k.dll", "RAW", 0x4, "KV Printer,WINSPOOL,LPT1:"},
};

class FullSequence : public testing::TestWithParam<FamilyCase> {};

TEST_P(FullSequence, RegistersEverythingTheSpoolerNeeds) {
  const FamilyCase& c = GetParam();
  SimMachine m(c.version);
  test::PlaceMedium(m);
  const bool win9x = sim::IsWin9x(c.version);
  DepInit(m.ctx());
  ASSERT_EQ(MakeDep(m.ctx(), "KVRES.DLL=1"), 1);
  ASSERT_EQ(MakeDep(m.ctx(), "KVFONT.DAT"), 1);

  EXPECT_EQ(Register(m), 1);
  EXPECT_EQ(m.traceText(), "");

  // Driver, as the spooler reports it.
  const DriverSeen d = ReadDriver(m, kPrinter);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.name, kDriverName);
  EXPECT_EQ(d.env, win9x ? "Windows 4.0" : "Windows NT x86");
  EXPECT_EQ(d.driver, std::string(c.driverDir) + c.driverFile);
  EXPECT_EQ(d.config, std::string(c.driverDir) + c.configFile);
  EXPECT_EQ(d.data, std::string(c.driverDir) + "kvdata.ppd");
  EXPECT_EQ(d.help, std::string(c.driverDir) + "kvhelp.hlp");
  EXPECT_EQ(d.dependents, (std::vector<std::string>{
                              std::string(c.driverDir) + "KVRES.DLL",
                              std::string(c.driverDir) + "KVFONT.DAT"}));
  EXPECT_EQ(d.monitor, "KV Lang Monitor");
  EXPECT_EQ(d.datatype, c.datatype);

  // Processor and monitor records.
  const std::string env = win9x ? "Windows 4.0" : "Windows NT x86";
  EXPECT_NE(
      m.os().FindKey(HKEY_LOCAL_MACHINE,
                     std::string(sim::kPrintKeyPath) + "\\Environments\\" +
                         env + "\\Print Processors\\KV Processor"),
      nullptr);
  EXPECT_NE(
      m.os().FindKey(HKEY_LOCAL_MACHINE, std::string(sim::kPrintKeyPath) +
                                             "\\Monitors\\KV Lang Monitor"),
      nullptr);

  // Printer record.
  const std::string key = PrinterPath(kPrinter);
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, key, "Port"), "LPT1:");
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, key, "Printer Driver"),
            kDriverName);
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, key, "Print Processor"),
            "KV Processor");
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, key, "Datatype"), c.datatype);
  EXPECT_EQ(RegDword(m, HKEY_LOCAL_MACHINE, key, "Attributes"), c.attributes);
  EXPECT_EQ(RegDword(m, HKEY_LOCAL_MACHINE, key, "Priority"), 0u);
  EXPECT_EQ(RegDword(m, HKEY_LOCAL_MACHINE, key, "Default Priority"), 1u);

  // The driver's default device mode is set on the printer.
  sim::RegNode* printer = sim::PrinterKey(m.os(), kPrinter);
  ASSERT_NE(printer, nullptr);
  auto dm = printer->values.find("Default DevMode");
  ASSERT_NE(dm, printer->values.end());
  ASSERT_GE(dm->second.data.size(), sizeof(DEVMODEA));
  const auto* mode = reinterpret_cast<const DEVMODEA*>(dm->second.data.data());
  EXPECT_STREQ(reinterpret_cast<const char*>(mode->dmDeviceName), kDriverName);
  EXPECT_EQ(dm->second.data.size(), size_t(mode->dmSize) + mode->dmDriverExtra);

  // Default printer and its broadcast.
  EXPECT_EQ(DeviceLine(m), c.deviceLine);
  EXPECT_EQ(Broadcasts(m), 1u);

  // Hardware-profile key and device entries: 9x only.
  const std::string hwProfile =
      std::string("System\\CurrentControlSet\\Control\\Print\\Printers\\") +
      kDriverName;
  EXPECT_EQ(m.os().FindKey(HKEY_CURRENT_CONFIG, hwProfile) != nullptr, win9x);
  const std::string lpt = std::string("Enum\\") + kDevId + "\\BIOS&*PNP0400&0D";
  EXPECT_EQ(m.os().FindKey(HKEY_LOCAL_MACHINE, lpt) != nullptr, win9x);

  // Port driver service: NT family only, running, recorded as Windows does.
  const std::string service = std::string(sim::kServicesPath) + "\\KvLpt";
  if (win9x) {
    EXPECT_EQ(m.os().FindKey(HKEY_LOCAL_MACHINE, service), nullptr);
    EXPECT_EQ(m.os().CountOperations("OpenSCManagerA"), 0u);
  } else {
    EXPECT_EQ(RegDword(m, HKEY_LOCAL_MACHINE, service, "Type"), 1u);
    EXPECT_EQ(RegDword(m, HKEY_LOCAL_MACHINE, service, "Start"), 2u);
    EXPECT_EQ(RegDword(m, HKEY_LOCAL_MACHINE, service, "ErrorControl"), 1u);
    EXPECT_EQ(
        RegString(m, HKEY_LOCAL_MACHINE, service, "ImagePath"),
        std::string("\\??\\C:\\WINDOWS\\SYSTEM32\\drivers\\") +
            (c.version == WindowsVersion::NT4 ? "kvlptnt.sys" : "kvlpt2k.sys"));
    EXPECT_EQ(sim::ServiceCurrentState(m.os(), "KvLpt"),
              DWORD(SERVICE_RUNNING));
  }

  // Nothing left allocated or open.
  EXPECT_EQ(m.os().LiveGlobalBlocks(), 0u);
  EXPECT_EQ(sim::OpenPrinterHandles(m.os()), 0u);
}

INSTANTIATE_TEST_SUITE_P(Families, FullSequence, testing::ValuesIn(kFamilies),
                         [](const testing::TestParamInfo<FamilyCase>& i) {
                           return std::string(
                               sim::WindowsVersionName(i.param.version));
                         });

TEST(Registration, Windows2000StartsSpoolerAndCompanionsInOrder) {
  SimMachine m(WindowsVersion::Win2000);
  test::PlaceMedium(m);
  sim::SetServiceState(m.os(), "Spooler", SERVICE_STOPPED);
  // Already running: left alone.
  sim::SetServiceState(m.os(), "LPDSVC", SERVICE_STOPPED);
  sim::SetServiceState(m.os(), "MacPrint", SERVICE_RUNNING);
  EXPECT_EQ(Register(m), 1);
  EXPECT_EQ(sim::StartedServices(m.os()),
            (std::vector<std::string>{"KvLpt", "Spooler", "LPDSVC"}));
  for (const char* s : {"Spooler", "LPDSVC", "MacPrint"})
    EXPECT_EQ(sim::ServiceCurrentState(m.os(), s), DWORD(SERVICE_RUNNING)) << s;
}

TEST(Registration, XpAndNt4StartOnlyTheSpooler) {
  for (auto v : {WindowsVersion::NT4, WindowsVersion::XP}) {
    SimMachine m(v);
    test::PlaceMedium(m);
    sim::SetServiceState(m.os(), "Spooler", SERVICE_STOPPED);
    EXPECT_EQ(Register(m), 1);
    EXPECT_EQ(sim::StartedServices(m.os()),
              (std::vector<std::string>{"KvLpt", "Spooler"}));
  }
}

// The setup file names the port driver's service: only a kernel driver of
// that name is stopped, deleted and made anew; any other service (the
// spooler itself, say) is left as it was, and a missing one is created.
struct ServiceCase {
  const char* what;
  const char* name;  // the setup file's service name
  DWORD type;        // of the service already there; 0: none
  bool replaced;
};

const ServiceCase kServiceCases[] = {
    {"an older port driver", "KvLpt", SERVICE_KERNEL_DRIVER, true},
    {"no service of that name", "KvLpt", 0, true},
    {"the spooler", "spooler", 0, false},
    {"a shared-process service", "KvLpt", SERVICE_WIN32_SHARE_PROCESS, false},
    {"an own-process service", "KvLpt", SERVICE_WIN32_OWN_PROCESS, false},
    {"a file-system driver", "KvLpt", SERVICE_FILE_SYSTEM_DRIVER, false},
};

TEST(Registration, OnlyAKernelDriverServiceIsReplaced) {
  for (auto v :
       {WindowsVersion::NT4, WindowsVersion::Win2000, WindowsVersion::XP}) {
    for (const ServiceCase& c : kServiceCases) {
      SCOPED_TRACE(std::string(sim::WindowsVersionName(v)) + " " + c.what);
      SimMachine m(v);
      SampleSii sii;
      const std::string key =
          v == WindowsVersion::NT4 ? "LptNTName=KvLpt" : "Lpt2KName=KvLpt";
      std::string& section = v == WindowsVersion::NT4 ? sii.nt : sii.w2k;
      section.replace(section.find(key), key.size(),
                      key.substr(0, key.find('=') + 1) + c.name);
      test::PlaceMedium(m, sii);
      if (c.type)
        sim::DefineService(m.os(), c.name, "old", c.type, SERVICE_AUTO_START,
                           "\\??\\C:\\old\\old.sys");
      const std::string path = std::string(sim::kServicesPath) + "\\" + c.name;
      const std::string imageBefore =
          RegString(m, HKEY_LOCAL_MACHINE, path, "ImagePath");
      const DWORD typeBefore = RegDword(m, HKEY_LOCAL_MACHINE, path, "Type");

      EXPECT_EQ(Register(m), 1);
      EXPECT_EQ(sim::ServiceCurrentState(m.os(), c.name),
                DWORD(SERVICE_RUNNING));
      EXPECT_FALSE(sim::IsServiceMarkedForDelete(m.os(), c.name));
      EXPECT_EQ(m.os().CountOperations("DeleteService"),
                c.type && c.replaced ? 1u : 0u);
      if (c.replaced) {
        EXPECT_EQ(
            RegString(m, HKEY_LOCAL_MACHINE, path, "ImagePath"),
            std::string("\\??\\C:\\WINDOWS\\SYSTEM32\\drivers\\") +
                (v == WindowsVersion::NT4 ? "kvlptnt.sys" : "kvlpt2k.sys"));
        EXPECT_EQ(RegDword(m, HKEY_LOCAL_MACHINE, path, "Type"),
                  DWORD(SERVICE_KERNEL_DRIVER));
      } else {
        EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, path, "ImagePath"),
                  imageBefore);
        EXPECT_EQ(RegDword(m, HKEY_LOCAL_MACHINE, path, "Type"), typeBefore);
        EXPECT_EQ(m.os().CountOperations("CreateServiceA"), 0u);
      }
    }
  }
}

TEST(Registration, AServiceThatDoesNotStopIsLeftAsItWas) {
  SimMachine m(WindowsVersion::Win2000);
  test::PlaceMedium(m);
  sim::DefineService(m.os(), "KvLpt", "old", SERVICE_KERNEL_DRIVER,
                     SERVICE_AUTO_START, "C:\\old\\kvlpt.exe");
  // Deleted while stuck stopping, it would stay marked, refuse its
  // replacement and vanish at the next start of Windows.
  sim::HoldServicePending(m.os(), "KvLpt", SERVICE_STOP_PENDING, 2000);
  EXPECT_EQ(Register(m), 1);
  EXPECT_FALSE(sim::IsServiceMarkedForDelete(m.os(), "KvLpt"));
  EXPECT_EQ(m.os().CountOperations("DeleteService"), 0u);
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE,
                      std::string(sim::kServicesPath) + "\\KvLpt", "ImagePath"),
            "C:\\old\\kvlpt.exe");
  EXPECT_EQ(m.traceText(), "");  // the service step reports nothing
}

TEST(Registration, AFailedCreateBringsTheOldServiceBackAsItWas) {
  for (auto v : {WindowsVersion::NT4, WindowsVersion::XP}) {
    SCOPED_TRACE(sim::WindowsVersionName(v));
    SimMachine m(v);
    test::PlaceMedium(m);
    ASSERT_TRUE(m.os().WriteTextFile("C:\\old\\kvlpt.sys", "MZ"));
    sim::DefineService(m.os(), "KvLpt", "Old port driver",
                       SERVICE_KERNEL_DRIVER, SERVICE_SYSTEM_START,
                       "\\??\\C:\\old\\kvlpt.sys");
    sim::SetServiceState(m.os(), "KvLpt", SERVICE_RUNNING);
    const std::string path = std::string(sim::kServicesPath) + "\\KvLpt";
    m.os().FailOperation("CreateServiceA", ERROR_SERVICE_MARKED_FOR_DELETE);
    EXPECT_EQ(Register(m), 1);
    EXPECT_EQ(m.os().CountOperations("CreateServiceA"), 2u);
    EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, path, "ImagePath"),
              "\\??\\C:\\old\\kvlpt.sys");
    EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, path, "DisplayName"),
              "Old port driver");
    EXPECT_EQ(RegDword(m, HKEY_LOCAL_MACHINE, path, "Start"),
              DWORD(SERVICE_SYSTEM_START));
    EXPECT_EQ(sim::ServiceCurrentState(m.os(), "KvLpt"),
              DWORD(SERVICE_RUNNING));
  }
}

// ---------------------------------------------------------------------------
// Bad setups: each failing step is traced and the sequence goes on.

struct BadCase {
  const char* what;
  WindowsVersion version;
  void (*change)(SampleSii&);
  int result;
  const char* trace;
};

const BadCase kBadCases[] = {
    {"no Lmonn: no monitor step, no bidirectional bit", WindowsVersion::Win98,
     [](SampleSii& s) { s.com = "Helpf=kvhelp.hlp\r\n"; }, 1, ""},
    {"no driver keys", WindowsVersion::XP,
     [](SampleSii& s) {
       s.w2k =
           "Lpt2K=drivers\\kvlpt2k.sys\r\nLpt2KName=KvLpt\r\n"
           "Procn2K=KV Processor\r\nProcm2K=kvproc2k.dll\r\n"
           "Lmonm2K=kvmon2k.dll\r\n";
     },
     0,
     "AddPrinterDriver Fail ErrMsg[0x57]\nInstallPrinterDriver Fail\n"
     "AddPrinter Fail ErrMsg[0x705]\nRegistPrinter Fail\n"},
    {"no driver keys on 9x", WindowsVersion::Win95,
     [](SampleSii& s) {
       s.w9x =
           "Procn9x=KV Processor\r\nProcm9x=kvproc9x.dll\r\n"
           "Lmonm9x=kvmon9x.dll\r\nDrcf9x=KVDRV\r\n";
     },
     0,
     "AddPrinterDriver Fail ErrMsg[0x57]\nInstallPrinterDriver Fail\n"
     "AddPrinter Fail ErrMsg[0x705]\nRegistPrinter Fail\n"},
    {"no port service named", WindowsVersion::NT4,
     [](SampleSii& s) {
       s.nt =
           "DrvfNT=kvdrvnt.dll\r\nDatfNT=kvdata.ppd\r\nConfNT=kvuint.dll\r\n"
           "ProcnNT=KV Processor\r\nProcmNT=kvprocnt.dll\r\n"
           "LmonmNT=kvmonnt.dll\r\n";
     },
     1, ""},
    {"port driver file missing", WindowsVersion::Win2000,
     [](SampleSii& s) {
       s.w2k.replace(s.w2k.find("kvlpt2k.sys"), 11, "missing.sys");
     },
     1, ""},
    {"processor NULL on NT: attempted, not reported", WindowsVersion::NT4,
     [](SampleSii& s) {
       s.nt.replace(s.nt.find("ProcnNT=KV Processor"), 20, "ProcnNT=NULL");
     },
     1, ""},
    {"processor NULL on 9x", WindowsVersion::WinMe,
     [](SampleSii& s) {
       s.w9x.replace(s.w9x.find("Procn9x=KV Processor"), 20, "Procn9x=NULL");
     },
     1, ""},
    {"processor name missing", WindowsVersion::XP,
     [](SampleSii& s) {
       s.w2k.replace(s.w2k.find("Procn2K=KV Processor\r\n"), 22, "");
     },
     0,
     "AddPrintProcessor Fail ErrMsg[0x57]\nInstallPrintProcessor Fail\n"
     "AddPrinter Fail ErrMsg[0x706]\nRegistPrinter Fail\n"},
    {"processor file missing", WindowsVersion::Win2000,
     [](SampleSii& s) {
       s.w2k.replace(s.w2k.find("kvproc2k.dll"), 12, "nothere.dll");
     },
     0,
     "AddPrintProcessor Fail ErrMsg[0x7e]\nInstallPrintProcessor Fail\n"
     "AddPrinter Fail ErrMsg[0x706]\nRegistPrinter Fail\n"},
    {"monitor file missing", WindowsVersion::XP,
     [](SampleSii& s) {
       s.w2k.replace(s.w2k.find("kvmon2k.dll"), 11, "nothere.dll");
     },
     1, "AddMonitor Fail ErrMsg[0x7e]\nInstallPrinterMonitor Fail\n"},
    {"9x data type unknown to the processor", WindowsVersion::Win98,
     [](SampleSii& s) { s.install = "DATATYPE=TEXTX\r\n"; }, 0,
     "AddPrinter Fail ErrMsg[0x70c]\nRegistPrinter Fail\n"},
};

class BadSetup : public testing::TestWithParam<BadCase> {};

TEST_P(BadSetup, FailingStepsAreTracedAndTheSequenceGoesOn) {
  const BadCase& c = GetParam();
  SimMachine m(c.version);
  SampleSii sii;
  c.change(sii);
  test::PlaceMedium(m, sii);
  EXPECT_EQ(Register(m), c.result);
  EXPECT_EQ(m.traceText(), c.trace);
  // The default-printer line and its broadcast only for a printer made.
  EXPECT_EQ(DeviceLine(m) != "(none)", c.result == 1);
  EXPECT_EQ(Broadcasts(m), c.result == 1 ? 1u : 0u);
  // On 9x the device entries are written whatever the printer step did.
  if (sim::IsWin9x(c.version)) {
    EXPECT_NE(
        m.os().FindKey(HKEY_LOCAL_MACHINE,
                       std::string("Enum\\") + kDevId + "\\BIOS&*PNP0400&0D"),
        nullptr);
  }
  EXPECT_EQ(m.os().LiveGlobalBlocks(), 0u);
  EXPECT_EQ(sim::OpenPrinterHandles(m.os()), 0u);
}

INSTANTIATE_TEST_SUITE_P(Setups, BadSetup, testing::ValuesIn(kBadCases),
                         [](const testing::TestParamInfo<BadCase>& i) {
                           return "case" + std::to_string(i.index);
                         });

// A value the sequence can't do without that the setup file does not give
// (a missing key and a read that failed look the same) would install under a
// wrong name or write a broken line: refused before anything is written.
struct MissingValueCase {
  const char* what;
  WindowsVersion version;
  void (*change)(SampleSii&);
  const char* model;
  int makeDefault;
  int result;
};

void Drop(std::string& section, const std::string& line) {
  section.erase(section.find(line), line.size());
}

const MissingValueCase kMissingValueCases[] = {
    {"no product", WindowsVersion::XP, [](SampleSii& s) { s.initial = ""; },
     "KV-1000", 1, 0},
    {"no product on 9x", WindowsVersion::Win98,
     [](SampleSii& s) { s.initial = ""; }, "KV-1000", 0, 0},
    {"single model empty", WindowsVersion::NT4,
     [](SampleSii& s) { s.models = "nModelNum=1\r\nModel1=\r\n"; }, "KV-1000",
     1, 0},
    {"model not in the list", WindowsVersion::XP, [](SampleSii&) {}, "KV-9999",
     1, 0},
    {"no Drcf9x with make default", WindowsVersion::Win95,
     [](SampleSii& s) { Drop(s.w9x, "Drcf9x=KVDRV\r\n"); }, "KV-1000", 1, 0},
    {"no Drcf9x with make default on Me", WindowsVersion::WinMe,
     [](SampleSii& s) { Drop(s.w9x, "Drcf9x=KVDRV\r\n"); }, "KV-1000", 1, 0},
    {"no Drcf9x, not made default: not needed", WindowsVersion::Win98,
     [](SampleSii& s) { Drop(s.w9x, "Drcf9x=KVDRV\r\n"); }, "KV-1000", 0, 1},
    {"port driver without service name", WindowsVersion::NT4,
     [](SampleSii& s) { Drop(s.nt, "LptNTName=KvLpt\r\n"); }, "KV-1000", 0, 0},
    {"port driver service without file", WindowsVersion::Win2000,
     [](SampleSii& s) { Drop(s.w2k, "Lpt2K=drivers\\kvlpt2k.sys\r\n"); },
     "KV-1000", 0, 0},
    {"port driver service without file on XP", WindowsVersion::XP,
     [](SampleSii& s) { Drop(s.w2k, "Lpt2K=drivers\\kvlpt2k.sys\r\n"); },
     "KV-1000", 1, 0},
};

TEST(Registration, MissingSetupValuesAreRefusedBeforeAnythingIsWritten) {
  for (const MissingValueCase& c : kMissingValueCases) {
    SCOPED_TRACE(c.what);
    SimMachine m(c.version);
    SampleSii sii;
    c.change(sii);
    test::PlaceMedium(m, sii);
    m.os().ClearOperations();
    m.os().SetLastError(test::kStaleError);
    EXPECT_EQ(Register(m, kPrinter, "LPT1:", c.makeDefault, 0, c.model),
              c.result);
    if (c.result == 1) {
      EXPECT_EQ(DeviceLine(m), "(none)");
      continue;
    }
    EXPECT_EQ(m.os().GetLastError(), DWORD{ERROR_INVALID_DATA});
    EXPECT_EQ(m.traceText(), "RegistPrinter Fail\n");
    for (const char* op :
         {"OpenSCManagerA", "AddPrintProcessorA", "AddMonitorA",
          "AddPrinterDriverA", "AddPrinterA", "RegCreateKeyExA",
          "RegSetValueExA", "WriteProfileStringA"})
      EXPECT_EQ(m.os().CountOperations(op), 0u) << op;
  }
}

TEST(Registration, WithoutLmonnNoMonitorIsAddedAndNoBidiBit) {
  SimMachine m(WindowsVersion::Win98);
  SampleSii sii;
  sii.com = "Helpf=kvhelp.hlp\r\n";
  test::PlaceMedium(m, sii);
  EXPECT_EQ(Register(m), 1);
  EXPECT_EQ(m.os().CountOperations("AddMonitorA"), 0u);
  EXPECT_EQ(
      RegDword(m, HKEY_LOCAL_MACHINE, PrinterPath(kPrinter), "Attributes"),
      0x4u);
}

TEST(Registration, ProcessorNullUsesWinPrint) {
  struct Case {
    WindowsVersion v;
    size_t attempts;
  };
  for (const Case& c :
       {Case{WindowsVersion::NT4, 1}, Case{WindowsVersion::Win98, 0},
        Case{WindowsVersion::XP, 1}}) {
    SimMachine m(c.v);
    SampleSii sii;
    for (std::string* s : {&sii.nt, &sii.w2k, &sii.w9x}) {
      const size_t at = s->find("=KV Processor");
      s->replace(at, 13, "=NULL");
    }
    test::PlaceMedium(m, sii);
    EXPECT_EQ(Register(m), 1);
    EXPECT_EQ(m.os().CountOperations("AddPrintProcessorA"), c.attempts);
    EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, PrinterPath(kPrinter),
                        "Print Processor"),
              "WinPrint");
  }
}

TEST(Registration, OverlongProductAndModelAreCutToTheDriverNameBuffer) {
  SimMachine m(WindowsVersion::Win98);
  SampleSii sii;
  const std::string model(200, 'M');
  sii.initial = "Product=" + std::string(60, 'P') + "\r\n";
  sii.models = "nModelNum=1\r\nModel1=" + model + "\r\n";
  sii.devIds = model + "=" + std::string(250, 'D') + "\r\n";
  test::PlaceMedium(m, sii);
  EXPECT_EQ(Register(m, kPrinter, "LPT1:", 1, 0, model.c_str()), 1);
  const std::string expected =
      (std::string(19, 'P') + " " + model).substr(0, kDriverNameSize - 1);
  EXPECT_EQ(std::string(m.ctx().driverName), expected);
  EXPECT_EQ(std::string(m.ctx().deviceId), std::string(kDeviceIdSize - 1, 'D'));
  EXPECT_EQ(
      RegString(m, HKEY_LOCAL_MACHINE, PrinterPath(kPrinter), "Printer Driver"),
      expected);
  // The device entries carry the cut id.
  EXPECT_NE(m.os().FindKey(HKEY_LOCAL_MACHINE,
                           "Enum\\" + std::string(kDeviceIdSize - 1, 'D') +
                               "\\BIOS&*PNP0400&0D"),
            nullptr);
}

TEST(Registration, AnExistingPrinterNameIsRefusedButItsPortIsOverwritten) {
  for (auto v :
       {WindowsVersion::NT4, WindowsVersion::Win98, WindowsVersion::XP}) {
    SCOPED_TRACE(sim::WindowsVersionName(v));
    SimMachine m(v);
    test::PlaceMedium(m);
    ASSERT_EQ(Register(m), 1);
    sim::RegNode* before = sim::PrinterKey(m.os(), kPrinter);
    const auto devModeBefore = before->values["Default DevMode"].data;
    m.trace.clear();
    EXPECT_EQ(Register(m, kPrinter, "LPT2:"), 0);
    // Processor and monitor exist already; the driver is replaced.
    EXPECT_EQ(
        m.traceText(),
        "AddPrintProcessor Fail ErrMsg[0xbbd]\nInstallPrintProcessor Fail\n"
        "AddMonitor Fail ErrMsg[0xbbe]\nInstallPrinterMonitor Fail\n"
        "AddPrinter Fail ErrMsg[0x70a]\nRegistPrinter Fail\n");
    EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, PrinterPath(kPrinter), "Port"),
              "LPT2:");
    EXPECT_EQ(sim::PrinterKey(m.os(), kPrinter)->values["Default DevMode"].data,
              devModeBefore);
    EXPECT_EQ(DeviceLine(m).find("KV Printer,"), 0u);
    EXPECT_EQ(m.os().LiveGlobalBlocks(), 0u);
  }
}

TEST(Registration, NamesThatAreNoPrinterKeyGetNoPortValue) {
  SimMachine m(WindowsVersion::XP);
  test::PlaceMedium(m);
  ASSERT_EQ(Register(m), 1);
  for (const char* name : {"", "KV Printer\\Sub"}) {
    m.os().SetLastError(test::kStaleError);
    EXPECT_EQ(Register(m, name, "LPT2:"), 0);
    EXPECT_EQ(m.os().GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
  }
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, sim::kPrintersKeyPath, "Port"),
            "(no value)");
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, PrinterPath(kPrinter), "Port"),
            "LPT1:");
}

TEST(Registration, UnknownWindowsRegistersNothing) {
  for (auto v : {WindowsVersion::NT351, WindowsVersion::Win32s}) {
    SimMachine m(v);
    test::PlaceMedium(m);
    EXPECT_EQ(Register(m), 0);
    EXPECT_EQ(m.traceText(),
              "InstallPrintProcessor Fail\nInstallPrinterMonitor Fail\n"
              "InstallPrinterDriver Fail\nRegistPrinter Fail\n");
    for (const char* op :
         {"AddPrintProcessorA", "AddMonitorA", "AddPrinterDriverA",
          "AddPrinterA", "OpenSCManagerA", "WriteProfileStringA"})
      EXPECT_EQ(m.os().CountOperations(op), 0u) << op;
  }
}

TEST(Registration, MakeDefaultZeroLeavesWinIniAlone) {
  for (auto v : {WindowsVersion::Win98, WindowsVersion::Win2000}) {
    SimMachine m(v);
    test::PlaceMedium(m);
    EXPECT_EQ(Register(m, kPrinter, "LPT1:", 0), 1);
    EXPECT_EQ(DeviceLine(m), "(none)");
    EXPECT_EQ(Broadcasts(m), 0u);
    EXPECT_EQ(
        RegDword(m, HKEY_LOCAL_MACHINE, PrinterPath(kPrinter), "Attributes"),
        sim::IsWin9x(v) ? 0x800u : 0u);
  }
}

TEST(Registration, HardwareProfileKeyIsNamedByTheDriver) {
  SimMachine m(WindowsVersion::WinMe);
  test::PlaceMedium(m);
  EXPECT_EQ(Register(m, "Office printer"), 1);
  EXPECT_NE(
      m.os().FindKey(HKEY_CURRENT_CONFIG,
                     std::string("System\\CurrentControlSet\\Control\\Print\\"
                                 "Printers\\") +
                         kDriverName),
      nullptr);
  EXPECT_EQ(
      m.os().FindKey(HKEY_CURRENT_CONFIG,
                     "System\\CurrentControlSet\\Control\\Print\\Printers\\"
                     "Office printer"),
      nullptr);
}

// ---------------------------------------------------------------------------
// Windows 9x device entries.

TEST(DeviceEntries9x, ParallelPortsOfEveryEnumeratorButNotSerialOnes) {
  SimMachine m(WindowsVersion::Win98);
  test::PlaceMedium(m);
  auto& os = m.os();
  for (const char* k :
       {"Enum\\ROOT\\*PNP0400\\0000", "Enum\\ROOT\\*PNP0401\\0000",
        "Enum\\ROOT\\*PNP0500\\0000", "Enum\\ACPI\\*pnp0401\\1"})
    os.CreateKeyPath(HKEY_LOCAL_MACHINE, k);
  EXPECT_EQ(Register(m, kPrinter, "LPT1:", 0, 0), 1);
  sim::RegNode* device =
      os.FindKey(HKEY_LOCAL_MACHINE, std::string("Enum\\") + kDevId);
  ASSERT_NE(device, nullptr);
  std::vector<std::string> instances;
  for (const auto& s : device->subkeys) instances.push_back(s.second->name);
  EXPECT_EQ(instances, (std::vector<std::string>{
                           "ACPI&*pnp0401&1", "BIOS&*PNP0400&0D",
                           "ROOT&*PNP0400&0000", "ROOT&*PNP0401&0000"}));
  const std::string path =
      std::string("Enum\\") + kDevId + "\\ROOT&*PNP0401&0000";
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, path, "Class"), "Printer");
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, path, "DeviceDesc"), kDriverName);
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, path, "Model"), kDriverName);
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, path, "HardwareID"), kDevId);
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, path, "Manufacturer"), "KORVA");
  sim::RegNode* entry = os.FindKey(HKEY_LOCAL_MACHINE, path);
  const auto& flags = entry->values["ConfigFlags"];
  EXPECT_EQ(flags.type, DWORD(REG_BINARY));
  EXPECT_EQ(flags.data, (std::vector<BYTE>{0x40, 0, 0, 0}));
  EXPECT_EQ(entry->values.size(), 6u);
  // No USB entry on the parallel path.
  EXPECT_EQ(os.FindKey(HKEY_LOCAL_MACHINE, "ENUM\\USBPRINT"), nullptr);
}

TEST(DeviceEntries9x, UsbEntryHasItsSevenValues) {
  SimMachine m(WindowsVersion::Win98);
  test::PlaceMedium(m);
  // As an installer calls it: the setup file by name (found in the Windows
  // directory) and the folder the USB step reads it from.
  std::string sii;
  ASSERT_TRUE(m.os().ReadTextFile(kSii, &sii));
  ASSERT_TRUE(m.os().WriteTextFile("C:\\WINDOWS\\kv.sii", sii));
  m.os().CreateKeyPath(HKEY_LOCAL_MACHINE,
                       "Enum\\USB\\VID_1234&PID_5678\\5&2A&0&1");
  EXPECT_EQ(ToRegPrinter(m.ctx(), "USB001", "KV-1000", 0, kSetupDir, kPrinter,
                         1, "kv.sii"),
            1);
  const std::string path =
      "ENUM\\USBPRINT\\KORVAKV-1000\\USB001USB&VID_1234&PID_5678&5&2A&0&1";
  sim::RegNode* entry = m.os().FindKey(HKEY_LOCAL_MACHINE, path);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->values.size(), 7u);
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, path, "Class"), "printer");
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, path, "ClassGUID"),
            "{4D36E979-E325-11CE-BFC1-08002BE10318}");
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, path, "CompatibleIDs"),
            "KORVAKV-1000D1A2");
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, path, "DeviceDesc"),
            "KORVAKV-1000");
  EXPECT_EQ(
      RegString(m, HKEY_LOCAL_MACHINE, path, "HardwareID"),
      "USBPRINT\\KORVAKV-1000D1A2,KORVAKV-1000D1A2,LPTENUM\\KORVAKV-1000D1A2,"
      "USBPRINT\\KORVAKV-1000D1A2");
  EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, path, "mfg"), "KORVA");
  EXPECT_EQ(entry->values["ConfigFlags"].data, std::vector<BYTE>(10, 0));
  // The parallel entries are not written on the USB path.
  EXPECT_EQ(m.os().FindKey(HKEY_LOCAL_MACHINE, std::string("Enum\\") + kDevId),
            nullptr);
}

TEST(DeviceEntries9x, UsbEntryNeedsEveryValueItIsNamedBy) {
  struct Case {
    const char* what;
    void (*change)(SampleSii&);
  };
  const Case cases[] = {
      {"USBID",
       [](SampleSii& s) { Drop(s.w9x, "USBID=VID_1234&PID_5678\r\n"); }},
      {"DevID",
       [](SampleSii& s) { Drop(s.w9x, "DevID=KORVAKV-1000D1A2\r\n"); }},
      {"Product", [](SampleSii& s) { s.initial = ""; }},
      {"Model1",
       [](SampleSii& s) { s.models = "nModelNum=2\r\nModel2=KV-1000\r\n"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimMachine m(WindowsVersion::Win98);
    SampleSii sii;
    c.change(sii);
    test::PlaceMedium(m, sii);
    m.os().CreateKeyPath(HKEY_LOCAL_MACHINE,
                         "Enum\\USB\\VID_1234&PID_5678\\5&2A&0&1");
    EXPECT_EQ(WriteUsbDeviceEntry9x(m.ctx(), "USB001", kSetupDir, "kv.sii"), 1);
    EXPECT_EQ(m.os().FindKey(HKEY_LOCAL_MACHINE, "ENUM\\USBPRINT"), nullptr);
  }
}

TEST(DeviceEntries9x, UnknownUsbIdWritesNothingAndMissingRootGivesZero) {
  SimMachine m(WindowsVersion::Win95);
  test::PlaceMedium(m);
  EXPECT_EQ(Register(m, kPrinter, "USB001", 0, 1), 1);
  EXPECT_EQ(m.os().FindKey(HKEY_LOCAL_MACHINE, "ENUM\\USBPRINT"), nullptr);

  // Without ENUM\ROOT the ROOT pass stops: the BIOS entry is written anyway.
  SimMachine bare(WindowsVersion::Win95);
  sim::RegNode* enumKey = bare.os().FindKey(HKEY_LOCAL_MACHINE, "Enum");
  enumKey->subkeys.erase("ROOT");
  EXPECT_EQ(WriteLptDeviceEntries9x(bare.ctx(), kDriverName, kDevId), 0);
  EXPECT_NE(
      bare.os().FindKey(HKEY_LOCAL_MACHINE,
                        std::string("Enum\\") + kDevId + "\\BIOS&*PNP0400&0D"),
      nullptr);
}

// ---------------------------------------------------------------------------
// The three export names are one operation.

TEST(RegistrationExports, AllThreeNamesRegister) {
  using Fn = int(WINAPI*)(LPCSTR, LPCSTR, int, LPCSTR, LPCSTR, int, LPCSTR);
  const Fn exports[] = {&::ToRegPrinter, &::ToRegPrinter95, &::ToRegPrinterNT};
  for (auto v : {WindowsVersion::Win98, WindowsVersion::XP}) {
    for (Fn fn : exports) {
      SimMachine m(v);
      test::PlaceMedium(m);
      m.BindExports();
      EXPECT_EQ(fn("LPT1:", "kv-1000", 1, kSetupDir, kPrinter, 0, kSii), 1);
      EXPECT_EQ(RegString(m, HKEY_LOCAL_MACHINE, PrinterPath(kPrinter),
                          "Printer Driver"),
                kDriverName);
      // Null strings read as empty: no crash, the printer step fails.
      EXPECT_EQ(fn(nullptr, nullptr, 0, nullptr, nullptr, 0, nullptr), 0);
    }
  }
}

}  // namespace
}  // namespace kv
