// The texts a user or a log reader sees: every message box the library
// shows and every failure text of its debug trace, each made to appear on
// the simulated machine and held to its exact wording. The expected texts
// are written out here, not taken from the library's constants, so that a
// misspelt constant can't move the code and the test together.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "foundation/diagnostics.h"
#include "foundation/registry.h"
#include "foundation/setupinfo.h"
#include "foundation/traced_platform.h"
#include "ports/lpr.h"
#include "ports/port9x.h"
#include "ports/port_ops.h"
#include "printer/driver.h"
#include "printer/monitor.h"
#include "printer/printer.h"
#include "printer/processor.h"
#include "printer/registration.h"
#include "staging/xcopy.h"
#include "tests/native/ports/ports_support.h"
#include "tests/native/support/printer_support.h"
#include "tests/native/support/sim_fixture.h"
#include "uninstall/printer_stack.h"
#include "uninstall/reboot.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;

// A platform that passes every call on to another one.
class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}
#define KV_FORWARD(Ret, Name, Result, Params, Args, Shown) \
  Ret Name Params override { return inner_.Name Args; }
  KV_PLATFORM_METHODS(KV_FORWARD)
#undef KV_FORWARD

 protected:
  Platform& inner_;
};

// A spooler whose printer open hands out a handle yet reports failure.
class OpenReportsFailure : public ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  BOOL OpenPrinterA(LPCSTR name, LPHANDLE printer,
                    LPPRINTER_DEFAULTSA defaults) override {
    inner_.OpenPrinterA(name, printer, defaults);
    return FALSE;
  }
};

void Setup(SimMachine& m, const std::string& text) {
  ASSERT_TRUE(m.os().WriteTextFile(kSii, text));
}

// The sample medium with one change, registered with model KV-1000 on LPT1:.
void Register(SimMachine& m, void (*change)(SampleSii&)) {
  SampleSii sii;
  change(sii);
  PlaceMedium(m, sii);
  ToRegPrinter(m.ctx(), "LPT1:", "KV-1000", 0, kSetupDir, kDriverName, 0, kSii);
}

// The sample medium placed and its model looked up, as registration does.
void Medium(SimMachine& m) {
  PlaceMedium(m);
  LookupModel(m.ctx(), "KV-1000", kSii);
}

// A printer record of the sample's driver, as the spooler keeps it.
void AddSamplePrinter(SimMachine& m) {
  RegKey key(m.os());
  ASSERT_EQ(CreateKey(m.os(), HKEY_LOCAL_MACHINE, PrinterPath("KV One"), key),
            ERROR_SUCCESS);
  WriteString(m.os(), key.get(), "Name", "KV One");
  WriteString(m.os(), key.get(), "Printer Driver", kDriverName);
  WriteString(m.os(), key.get(), "Port", "LPT1:");
}

constexpr const char* kNoMonitorSetup = "[Files.Com]\r\n";
// Names the monitor InstallMonitorKey registers.
constexpr const char* kMonitorSetup =
    "[Files.Com]\r\nLmonn=KV Lang Monitor\r\n"
    "[Files.9x]\r\nLmonm9x=kvmon.dll\r\n[Files.2K]\r\nLmonm2K=kvmon.dll\r\n";

// Triggers that make more than one text appear.
void ProcessorFileMissing(SimMachine& m) {
  Register(m, [](SampleSii& s) {
    s.w2k.replace(s.w2k.find("kvproc2k.dll"), 12, "nothere.dll");
  });
}
void MonitorFileMissing(SimMachine& m) {
  Register(m, [](SampleSii& s) {
    s.w2k.replace(s.w2k.find("kvmon2k.dll"), 11, "nothere.dll");
  });
}
void NoDriverFileKeys(SimMachine& m) {
  Register(m, [](SampleSii& s) { s.w2k = "Lmonm2K=kvmon2k.dll\r\n"; });
}
void HardwareProfileKeyRefused(SimMachine& m) {
  Medium(m);
  m.os().FailOperation("RegOpenKeyExA", ERROR_ACCESS_DENIED, 0, -1);
  m.os().FailOperation("RegCreateKeyExA", ERROR_ACCESS_DENIED, 0, -1);
  RegistPrinter(m.ctx(), "LPT1:", 0, kDriverName, kSii);
}
void PrintersUnlisted(SimMachine& m) {
  Setup(m, kNoMonitorSetup);
  m.os().FailOperation("EnumPrintersA", ERROR_ACCESS_DENIED, 0, -1);
  RemovePrinterStack(m.ctx(), kDriverName, kSii);
}
void RemoveUninstalled(SimMachine& m) {
  Setup(m, kNoMonitorSetup);
  RemovePrinterStack(m.ctx(), kDriverName, kSii);
}
void AddLpdWithNewPort(SimMachine& m) {
  InstallMonitorKey(m.os(), "LPR Port");
  m.os().QueueAddPortDialog(sim::SimPlatform::AddPortAnswer::AddPort,
                            "new-lpr");
  char out[1024] = "";
  AddLPD(m.ctx(), nullptr, "Setup", out);
}

struct Row {
  const char* how;  // what makes the text appear
  WindowsVersion version;
  void (*trigger)(SimMachine&);
  const char* caption;  // a message box's caption; null for a trace text
  const char* text;
};

const Row kRows[] = {
    // Registration sequence and its steps.
    {"registration: processor file missing", WindowsVersion::Win2000,
     ProcessorFileMissing, nullptr, "InstallPrintProcessor Fail\n"},
    {"registration: processor file missing", WindowsVersion::Win2000,
     ProcessorFileMissing, nullptr, "AddPrintProcessor Fail ErrMsg[0x7e]\n"},
    {"registration: monitor file missing", WindowsVersion::XP,
     MonitorFileMissing, nullptr, "InstallPrinterMonitor Fail\n"},
    {"registration: monitor file missing", WindowsVersion::XP,
     MonitorFileMissing, nullptr, "AddMonitor Fail ErrMsg[0x7e]\n"},
    {"registration: no driver file keys", WindowsVersion::XP, NoDriverFileKeys,
     nullptr, "InstallPrinterDriver Fail\n"},
    {"registration: no driver file keys", WindowsVersion::XP, NoDriverFileKeys,
     nullptr, "AddPrinterDriver Fail ErrMsg[0x57]\n"},
    {"registration: no driver file keys, the printer's driver unknown",
     WindowsVersion::XP, NoDriverFileKeys, nullptr,
     "AddPrinter Fail ErrMsg[0x705]\n"},
    {"registration: a model the setup file does not list", WindowsVersion::XP,
     [](SimMachine& m) {
       PlaceMedium(m);
       ToRegPrinter(m.ctx(), "LPT1:", "KV-9999", 0, kSetupDir, kDriverName, 0,
                    kSii);
     },
     nullptr, "RegistPrinter Fail\n"},
    {"driver step: its record can't be allocated", WindowsVersion::XP,
     [](SimMachine& m) {
       Medium(m);
       m.os().FailOperation("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
       InstallPrinterDriver(m.ctx(), kSii);
     },
     nullptr, "pAddPDrv3 Alloc Fail\n"},
    {"monitor step: its record can't be allocated", WindowsVersion::XP,
     [](SimMachine& m) {
       PlaceMedium(m);
       m.os().FailOperation("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
       InstallPrinterMonitor(m.ctx(), kSii);
     },
     nullptr, "pMonitor Alloc Fail\n"},
    {"printer step: its record can't be allocated", WindowsVersion::XP,
     [](SimMachine& m) {
       Medium(m);
       m.os().FailOperation("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
       RegistPrinter(m.ctx(), "LPT1:", 0, kDriverName, kSii);
     },
     nullptr, "pAddPrint2 Alloc Fail\n"},
    {"printer step: a printer name the spooler refuses", WindowsVersion::XP,
     [](SimMachine& m) {
       Medium(m);
       RegistPrinter(m.ctx(), "LPT1:", 0, "", kSii);
     },
     nullptr, "AddPrinter Fail ErrMsg[0x709]\n"},
    {"printer step on 9x: the hardware-profile key can't be made",
     WindowsVersion::Win98, HardwareProfileKeyRefused, nullptr,
     "Create RegKey Fail.\nKey<System\\CurrentControlSet\\Control\\Print\\"
     "Printers\\KORVA KV-1000>"},
    {"printer step on 9x: the hardware-profile key can't be made",
     WindowsVersion::Win98, HardwareProfileKeyRefused, nullptr,
     "Registry: HKEY_CURRENT_CONFIG Entry Error!\n"},

    // The Windows 9x port exchange's monitor removal.
    {"port exchange: a monitor the spooler does not have",
     WindowsVersion::Win98,
     [](SimMachine& m) {
       Setup(m, "[Files.Com]\r\nLmonn=Not Installed\r\n");
       DeletePrinterMonitor(m.ctx(), kSii);
     },
     nullptr, "DeleteMonitor Fail ErrMsg[0xbb8]\n"},
    {"port exchange: the monitor record can't be allocated",
     WindowsVersion::Win98,
     [](SimMachine& m) {
       Setup(m, "[Files.Com]\r\nLmonn=Not Installed\r\n");
       m.os().FailOperation("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
       DeletePrinterMonitor(m.ctx(), kSii);
     },
     nullptr, "pMonitor Alloc Fail\n"},

    // Removal of printers, driver and monitor.
    {"removal: the printers can't be listed", WindowsVersion::XP,
     PrintersUnlisted, nullptr, "UnregistPrinter Fail\n"},
    {"removal: the printers can't be listed, so the driver stays",
     WindowsVersion::XP, PrintersUnlisted, nullptr,
     "DeletePrinterDriver Fail ErrMsg[0x5]\n"},
    {"removal: the printers can't be listed, so the driver stays",
     WindowsVersion::XP, PrintersUnlisted, nullptr,
     "UninstallPrinterDriver Fail\n"},
    {"removal: a driver the spooler does not have", WindowsVersion::XP,
     RemoveUninstalled, nullptr, "DeletePrinterDriver Fail ErrMsg[0x705]\n"},
    {"removal: a driver the spooler does not have", WindowsVersion::XP,
     RemoveUninstalled, nullptr, "UninstallPrinterDriver Fail\n"},
    {"removal: no monitor named", WindowsVersion::XP, RemoveUninstalled,
     nullptr, "UninstallPrinterMonitor Fail\n"},
    {"removal: a driver name no installation makes (the last error as found)",
     WindowsVersion::XP,
     [](SimMachine& m) {
       m.os().SetLastError(ERROR_INVALID_NAME);
       RemovePrinterDriver(m.ctx(), std::string(200, 'D').c_str());
     },
     nullptr, "DeletePrinterDriver Fail ErrMsg[0x7b]\n"},
    {"removal: the spooler refuses the monitor", WindowsVersion::XP,
     [](SimMachine& m) {
       Setup(m, kMonitorSetup);
       InstallMonitorKey(m.os(), "KV Lang Monitor");
       m.os().FailOperation("DeleteMonitorA", ERROR_ACCESS_DENIED);
       RemovePortMonitor(m.ctx(), kSii);
     },
     nullptr, "DeleteMonitor Fail ErrMsg[0x5]\n"},
    {"removal on 9x: the spooler refuses the monitor; the last error is then "
     "the missing first library's",
     WindowsVersion::Win98,
     [](SimMachine& m) {
       Setup(m, kMonitorSetup);
       InstallMonitorKey(m.os(), "KV Lang Monitor");
       m.os().FailOperation("DeleteMonitorA", ERROR_ACCESS_DENIED);
       RemovePortMonitor(m.ctx(), kSii);
     },
     nullptr, "DeleteMonitor Fail ErrMsg[0x2]\n"},
    {"removal on 9x: the spooler refuses to delete a printer",
     WindowsVersion::Win98,
     [](SimMachine& m) {
       AddSamplePrinter(m);
       m.os().FailOperation("DeletePrinter", ERROR_ACCESS_DENIED);
       RemovePrintersOfDriver(m.ctx(), kDriverName);
     },
     nullptr, "Printer Delete Error. ErrMsg[0x5]\n"},
    {"removal on 9x: a printer open gives a handle but reports failure",
     WindowsVersion::Win98,
     [](SimMachine& m) {
       AddSamplePrinter(m);
       OpenReportsFailure spooler(m.os());
       Context ctx(spooler);
       ctx.traceSink = m.ctx().traceSink;
       RemovePrintersOfDriver(ctx, kDriverName);
     },
     nullptr, "Printer Open Error.\n"},

    // Message boxes.
    {"LastErrorMessageBox after a missing file", WindowsVersion::NT4,
     [](SimMachine& m) {
       m.os().SetLastError(ERROR_FILE_NOT_FOUND);
       LastErrorMessageBox(m.ctx(), "Setup");
     },
     "Setup", "Err:2 [The system cannot find the file specified.\r\n]"},
    {"AddLPD without the LPR monitor", WindowsVersion::XP,
     [](SimMachine& m) {
       char out[1024] = "";
       AddLPD(m.ctx(), nullptr, "Setup", out);
     },
     "Setup", "System\\CurrentControlSet\\Control\\Print\\Monitors\\LPR Port"},
    {"AddLPD: the count before the dialog", WindowsVersion::XP,
     AddLpdWithNewPort, "1", "0"},
    {"AddLPD: the count after the dialog", WindowsVersion::XP,
     AddLpdWithNewPort, "2", "1"},
    {"AddLPD: the port found after the dialog", WindowsVersion::XP,
     AddLpdWithNewPort, "TEST", "new-lpr"},
    {"WinSub_AddPort for a monitor that isn't there", WindowsVersion::XP,
     [](SimMachine& m) { AddPortWithDialog(m.ctx(), nullptr, "No Monitor"); },
     "AddPort", "Err:50 [The request is not supported.\r\n]"},
    {"WinSub_DeletePort for a port that isn't there", WindowsVersion::XP,
     [](SimMachine& m) { DeletePortWithDialog(m.ctx(), nullptr, "NOPORT:"); },
     "DeletePort", "Err:50 [The request is not supported.\r\n]"},
    {"Xcopy with an installer type it doesn't know", WindowsVersion::XP,
     [](SimMachine& m) {
       m.os().WriteTextFile("C:\\MEDIUM\\a.txt", "a");
       Xcopy(m.ctx(), "C:\\MEDIUM", "C:\\DEST\\A", "E", "NoSuchType");
     },
     "ERROR", "Unknown Installer Type!!"},
    {"Xcopy of an OS-specific type on a Windows it doesn't know",
     WindowsVersion::NT351,
     [](SimMachine& m) {
       m.os().WriteTextFile("C:\\MEDIUM\\a.txt", "a");
       Xcopy(m.ctx(), "C:\\MEDIUM", "C:\\DEST\\A", "E", "Ocelot2");
     },
     "ERROR", "Unknown OS"},
    {"reboot question without a message file", WindowsVersion::XP,
     [](SimMachine& m) {
       m.os().WriteTextFile(m.os().windowsDir() + "\\vt3eins.sii",
                            "[UninstName]\r\nUNINST_MSG_DAT=1\r\n");
       m.os().QueueMessageBoxAnswer(IDNO);
       AskReboot(m.ctx());
     },
     "Confirm",
     "To complete uninstallation, restart of Windows is needed.\r\n"
     "Do you restart now?"},
};

TEST(Texts, AreExactlyTheSystemsOwn) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.how);
    SimMachine m(row.version);
    row.trigger(m);
    if (!row.caption) {
      EXPECT_NE(std::find(m.trace.begin(), m.trace.end(), row.text),
                m.trace.end())
          << "trace:\n"
          << m.traceText();
      continue;
    }
    std::string shown;
    bool found = false;
    for (const auto& box : m.os().messageBoxes()) {
      shown += "[" + box.caption + "] " + box.text + "\n";
      found = found || (box.caption == row.caption && box.text == row.text);
    }
    EXPECT_TRUE(found) << "boxes:\n" << shown;
  }
}

}  // namespace
}  // namespace kv::test
