// Every export of _KVSUP32.def called by its exported name through the host's
// export table, as kvsup-host calls it, with arguments that all differ from
// one another: an argument dropped, or swapped with another on the way from
// the export to its operation, shows where it should have arrived (the
// machine, the operation record, an output buffer). Each row also checks the
// result as the export hands it back and the last error it leaves.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "exports/all.h"
#include "exports/dll_context.h"
#include "host/host_main.h"
#include "tests/native/ports/ports_support.h"
#include "tests/native/support/printer_support.h"
#include "tests/native/support/staging_support.h"

namespace kv::test {
namespace {

using host::ParamKind;
using sim::WindowsVersion;

// One argument as an installer passes it: a number, a string, an output
// buffer (its size and first bytes) or a window (by name).
struct In {
  ParamKind kind;
  long long number = 0;
  std::string text;
  size_t size = 0;
};
In N(long long v) { return {ParamKind::Integer, v, "", 0}; }
In S(std::string s) { return {ParamKind::String, 0, std::move(s), 0}; }
In B(size_t size, std::string text = "") {
  return {ParamKind::Buffer, 0, std::move(text), size};
}
In W(std::string name) { return {ParamKind::Window, 0, std::move(name), 0}; }

// The last error a row does not check: the contract calls it not
// meaningful after that call.
constexpr DWORD kNotMeaningful = 0xFFFFFFFF;

std::string Hex(HWND w) {
  char text[32];
  std::snprintf(
      text, sizeof text, "0x%llX",
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(w)));
  return text;
}

// One export call on a fresh machine bound to the exports.
struct Call {
  explicit Call(WindowsVersion v) : m(v) { m.BindExports(); }
  sim::SimPlatform& os() { return m.os(); }
  HWND Win(const std::string& name) {
    auto it = windows.find(name);
    if (it == windows.end())
      it = windows.emplace(name, os().CreateWindowHandle(name)).first;
    return it->second;
  }
  // Output buffer argument `i` up to its terminator.
  std::string Out(size_t i) const {
    const auto& b = args[i].buffer;
    return std::string(b.data(), strnlen(b.data(), args[i].size));
  }
  // Whether an operation recorded during the call begins with `op`.
  bool Did(const std::string& op) {
    for (const auto& line : os().operations())
      if (line.rfind(op, 0) == 0) return true;
    return false;
  }
  std::string Result() const {
    switch (result.kind) {
      case host::ResultKind::Integer:
        return std::to_string(result.integer);
      case host::ResultKind::Text:
        return result.isNull ? "NULL" : result.text;
      case host::ResultKind::Window:
        for (const auto& [name, w] : windows)
          if (w == result.window) return name;
        return Hex(result.window);
      default:
        return "?";
    }
  }

  SimMachine m;
  std::map<std::string, HWND> windows;
  std::vector<host::CallArg> args;
  host::CallResult result;
};

using Step = std::function<void(Call&)>;

// Export `name` called with `args` on a machine of `os` made ready by
// `setup`: it answers `result` (null: `check` looks at it) and leaves
// `lastError` (kStaleError: as the caller had it). `check` looks where each
// argument must have arrived; `note` names the arguments it can't see and
// why, or, for a row without `check`, why the result is enough.
struct Row {
  const char* name;
  WindowsVersion os;
  std::vector<In> args;
  const char* result;
  DWORD lastError;
  Step setup, check;
  const char* note;

  Row Given(Step s) && { return setup = std::move(s), std::move(*this); }
  Row Then(Step s) && { return check = std::move(s), std::move(*this); }
  Row Note(const char* n) && { return note = n, std::move(*this); }
  Row Leaves(DWORD e) && { return lastError = e, std::move(*this); }
};
Row R(const char* name, WindowsVersion os, std::vector<In> args,
      const char* result) {
  return {name, os, std::move(args), result, kNotMeaningful, {}, {}, ""};
}

bool Exists(Call& c, const std::string& path) {
  return c.os().GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
std::string FileText(Call& c, const std::string& path) {
  std::string text;
  return c.os().ReadTextFile(path, &text) ? text : "(missing)";
}
bool HasKey(Call& c, const std::string& path) {
  return c.os().FindKey(HKEY_LOCAL_MACHINE, path) != nullptr;
}
std::string Value(Call& c, const std::string& path, const char* name) {
  return RegString(c.m, HKEY_LOCAL_MACHINE, path, name);
}
std::string DefaultPrinter(Call& c) {
  char line[512] = {};
  c.os().GetProfileStringA("windows", "device", "(none)", line, sizeof line);
  return line;
}

// The registration sample; the setup file also lies under its bare name in
// the Windows directory, without the USB id, so that a 9x USB entry can only
// come from the copy in the setup folder.
void RegistrationMedium(Call& c) {
  PlaceMedium(c.m);
  SampleSii windowsCopy;
  const std::string usbId = "USBID=VID_1234&PID_5678\r\n";
  windowsCopy.w9x.erase(windowsCopy.w9x.find(usbId), usbId.size());
  c.os().WriteTextFile(c.os().windowsDir() + "\\kv.sii", windowsCopy.Text());
  c.os().CreateKeyPath(HKEY_LOCAL_MACHINE,
                       "Enum\\USB\\VID_1234&PID_5678\\5&2A&0&1");
}
// Printer `name` of model KV-2000 on `port`, the default when `isDefault`.
void ExpectRegistered(Call& c, const std::string& name, const std::string& port,
                      bool isDefault) {
  EXPECT_EQ(Value(c, PrinterPath(name), "Port"), port);
  EXPECT_EQ(Value(c, PrinterPath(name), "Printer Driver"), "KORVA KV-2000");
  EXPECT_EQ(DefaultPrinter(c).rfind(name + ",", 0) == 0, isDefault)
      << DefaultPrinter(c);
}
const char kUsbEntry[] = "Enum\\USBPRINT\\KORVAKV-1000\\";
const char kLptEntry[] = "Enum\\LPTENUM\\KORVAKV-2000D1A3";

// A printer installed from the sample medium, with the uninstall setup file
// left in the Windows directory as installation leaves it.
void Installed(Call& c, const char* printer) {
  PlaceMedium(c.m);
  SampleSii sii;
  for (const char* name : {"vt3eins.sii", "kv.sii"})
    c.os().WriteTextFile(c.os().windowsDir() + "\\" + name, sii.Text());
  ASSERT_EQ(
      ::ToRegPrinter("LPT1:", "KV-1000", 1, kSetupDir, printer, 0, "kv.sii"),
      1);
}

constexpr BYTE kMac[6] = {0x00, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
void FillFinder(Call&) {
  DeviceFinderRecord& r = DllContext().deviceFinder;
  std::strcpy(r.address, "192.0.2.17");
  std::strcpy(r.modelName, "KV-DF 500");
  std::strcpy(r.name, "finder-name");
  std::strcpy(r.description, "finder description");
  std::strcpy(r.location, "third floor");
  std::memcpy(r.macAddress, kMac, sizeof kMac);
}

const std::string kMonitors = kMonitorsPath;
const std::string kRelayPorts = kMonitors + "KV-Relay3100 Port\\Ports\\";

// A removal of driver files whose last deletion is `file` (below the
// Windows directory when it is in INF, else below the system directory),
// named by `key` of [Model] in the setup file `sii`.
Row DriverFiles(const char* name, WindowsVersion os, std::string sii,
                std::string key, std::string file) {
  const auto where = [file](Call& c) {
    return (file.rfind("INF", 0) == 0 ? c.os().windowsDir()
                                      : c.os().systemDir()) +
           "\\" + file;
  };
  const std::string listed = file.substr(file.find('\\') + 1);
  return R(name, os, {S(sii)}, "1")
      .Given([=](Call& c) {
        c.os().WriteTextFile(sii, "[Model]\r\n" + key + "=" + listed + "\r\n");
        c.os().WriteTextFile(where(c), "");
      })
      .Then([=](Call& c) { EXPECT_FALSE(Exists(c, where(c))); });
}

// A port record of `monitor` written for `port`, `value` holding `text`.
Row PortRecord(const char* name, std::string port, std::string text,
               std::string monitor, const char* value) {
  return R(name, WindowsVersion::XP, {S(port), S(text)}, "1")
      .Then([=](Call& c) {
        EXPECT_EQ(Value(c, kMonitors + monitor + "\\Ports\\" + port, value),
                  text);
      });
}

// A device-finder field copied into a buffer of `size` bytes.
Row FinderField(const char* name, size_t size, std::string field) {
  return R(name, WindowsVersion::XP, {B(size)}, nullptr)
      .Leaves(kStaleError)
      .Given(FillFinder)
      .Then([field](Call& c) {
        EXPECT_EQ(c.Result(), field);
        EXPECT_EQ(c.Out(0), field);
      });
}

std::vector<Row> Rows() {
  using V = WindowsVersion;
  const Step pc98 = [](Call& c) { c.os().SetPC98(true); };
  const Step timer = [](Call& c) {
    ::CreateTimerThread(c.Win("dialog"), 1, 2, 3);
  };
  return {
      // ---- Windows version probes and diagnostics
      R("IsWinMe", V::WinMe, {}, "1").Note("no arguments"),
      R("GetCode98orAT", V::Win98, {}, "1").Given(pc98).Note("no arguments"),
      R("CheckPC98", V::Win98, {}, "1").Given(pc98).Note("no arguments"),
      // The box shows the last error the caller left; its answer is the
      // result.
      R("LastErrorMessageBox", V::XP, {S("KV Setup Caption")}, "2")
          .Given([](Call& c) { c.os().QueueMessageBoxAnswer(IDCANCEL); })
          .Then([](Call& c) {
            ASSERT_EQ(c.os().messageBoxes().size(), 1u);
            const sim::MessageBoxRecord& box = c.os().messageBoxes()[0];
            EXPECT_EQ(box.caption, "KV Setup Caption");
            EXPECT_EQ(
                box.text.rfind("Err:" + std::to_string(kStaleError) + " [", 0),
                0u)
                << box.text;
          }),

      // ---- Printer installation
      R("InstallPrinterMonitor", V::XP, {S(kSii)}, "1")
          .Given([](Call& c) { PlaceMedium(c.m); })
          .Then([](Call& c) {
            EXPECT_EQ(Value(c, kMonitors + "KV Lang Monitor", "Driver"),
                      "kvmon2k.dll");
          }),
      // Windows 9x with the USB flag: every argument has an effect of its
      // own.
      R("ToRegPrinter", V::Win98,
        {S("USB007"), S("KV-2000"), N(0), S(kSetupDir), S("Back Office KV"),
         N(1), S("kv.sii")},
        "1")
          .Given(RegistrationMedium)
          .Then([](Call& c) {
            ExpectRegistered(c, "Back Office KV", "USB007", false);
            EXPECT_TRUE(HasKey(c, std::string(kUsbEntry) +
                                      "USB007USB&VID_1234&PID_5678&5&2A&0&1"));
            EXPECT_FALSE(HasKey(c, kLptEntry));
          }),
      R("ToRegPrinter95", V::Win95,
        {S("LPT2:"), S("KV-2000"), N(1), S(kSetupDir), S("Front Desk KV"), N(0),
         S("kv.sii")},
        "1")
          .Given(RegistrationMedium)
          .Then([](Call& c) {
            ExpectRegistered(c, "Front Desk KV", "LPT2:", true);
            EXPECT_TRUE(HasKey(c, kLptEntry));
            EXPECT_FALSE(HasKey(c, "Enum\\USBPRINT\\KORVAKV-1000"));
          })
          .Note("the setup folder: read for the USB entry only"),
      R("ToRegPrinterNT", V::XP,
        {S("LPT3:"), S("KV-2000"), N(1), S(kSetupDir), S("Lab KV"), N(0),
         S(kSii)},
        "1")
          .Given([](Call& c) { PlaceMedium(c.m); })
          .Then([](Call& c) { ExpectRegistered(c, "Lab KV", "LPT3:", true); })
          .Note("the setup folder and the USB flag: read on Windows 9x only"),
      R("ToRestartPrinterService", V::XP, {}, "1").Note("no arguments"),

      // ---- Dependent files and file staging
      R("DepInit", V::XP, {}, "1").Leaves(kStaleError).Note("no arguments"),
      R("MakeDep", V::XP, {S("KVDEP.DLL=3")}, "1")
          .Leaves(kStaleError)
          .Then([](Call&) {
            EXPECT_STREQ(DllContext().dependentFiles, "KVDEP.DLL");
          }),
      R("ExpCopy", V::XP,
        {S("C:\\KvMedium\\"), S("C:\\KvDest\\"), S("KVFILE.DLL"),
         S("KVFILE.DL_"), N(9)},
        "1")
          .Given([](Call& c) {
            c.os().WriteTextFile("C:\\KvMedium\\KVFILE.DL_",
                                 SzddLiterals("expanded KV file"));
            c.os().CreateDirectoryA("C:\\KvDest", nullptr);
          })
          .Then([](Call& c) {
            EXPECT_EQ(FileText(c, "C:\\KvDest\\KVFILE.DLL"),
                      "expanded KV file");
          })
          .Note("the kind: unused"),
      R("DefineFileName", V::XP, {B(64, "VT3EINS.SII=1")}, "1")
          .Leaves(kStaleError)
          .Then([](Call& c) { EXPECT_EQ(c.Out(0), "VT3EINS.SII"); }),
      // LNKSCAN takes only the selected folder at the top of the tree.
      R("Xcopy", V::Win98,
        {S("C:\\KvTree"), S("C:\\Kv\\Dst\\Here"), S("Scan"), S("LNKSCAN")}, "1")
          .Given([](Call& c) {
            c.os().WriteTextFile("C:\\KvTree\\Scan\\scan.dat", "selected");
            c.os().WriteTextFile("C:\\KvTree\\Other\\other.dat", "passed over");
            c.os().WriteTextFile("C:\\Kv\\Dst\\Here\\keep.txt", "");
          })
          .Then([](Call& c) {
            EXPECT_EQ(FileText(c, "C:\\Kv\\Dst\\Here\\Scan\\scan.dat"),
                      "selected");
            EXPECT_FALSE(Exists(c, "C:\\Kv\\Dst\\Here\\Other"));
            EXPECT_TRUE(c.os().messageBoxes().empty());
          }),
      R("ToInstallTTF", V::XP, {S("C:\\KvFonts\\kvsans.ttf"), N(5)}, "1")
          .Given([](Call& c) {
            std::string font("\x00\x01\x00\x00\x00\x01", 6);  // one table
            font.resize(12 + 16, '\0');
            c.os().WriteTextFile("C:\\KvFonts\\kvsans.ttf", font);
          })
          .Then([](Call& c) {
            EXPECT_TRUE(c.Did("AddFontResourceA(\"C:\\KvFonts\\kvsans.ttf\")"));
          })
          .Note("the integer: ignored"),
      R("VtoeSwmd", V::XP, {S("kvtool.exe /quiet")}, "33")
          .Given([](Call& c) { c.os().RegisterProgram("kvtool.exe", nullptr); })
          .Then([](Call& c) {
            EXPECT_TRUE(c.Did("WinExec(\"" + c.os().systemDir() +
                              "\\Spool\\Drivers\\w32x86\\3\\kvtool.exe "
                              "/quiet\", 0)"));
          }),
      R("GetDiskFreeSize", V::XP, {}, "777")
          .Given([](Call& c) { c.os().SetDiskSpace(777ull << 20, 4ull << 30); })
          .Note("no arguments"),

      // ---- Removal
      R("UninstInitialize", V::XP, {N(101), N(202), N(303)}, "0")
          .Given([](Call& c) { Installed(c, "Gone KV"); })
          .Then(
              [](Call& c) { EXPECT_FALSE(HasKey(c, PrinterPath("Gone KV"))); })
          .Note("the three values: ignored"),
      // The end of removal does not remove again: a printer installed after
      // UninstInitialize stays.
      R("UninstUnInitialize", V::XP, {N(404), N(505), N(606)}, "0")
          .Given([](Call& c) {
            Installed(c, "Gone KV");
            ::UninstInitialize(0, 0, 0);
            ASSERT_EQ(::ToRegPrinter("LPT1:", "KV-1000", 0, kSetupDir,
                                     "Kept KV", 0, "kv.sii"),
                      1);
            c.os().QueueMessageBoxAnswer(IDNO);
          })
          .Then([](Call& c) {
            for (const auto& op : c.os().operations())
              for (const char* deletion :
                   {"DeletePrinter(", "DeletePrinterDriverA(",
                    "DeleteMonitorA("})
                EXPECT_NE(op.rfind(deletion, 0), 0u) << op;
            EXPECT_TRUE(HasKey(c, PrinterPath("Kept KV")));
          })
          .Note("the three values: ignored"),
      R("DeleteFilesTWAIN", V::XP, {S("C:\\KvTwain\\ignored.sii")}, "0")
          .Note("its argument: ignored (vt3eins.sii is read)"),
      R("DeleteUSBIDEntry", V::Win98,
        {S("KV-7000"), S("C:\\KvUsbId\\usbid.sii")}, "1")
          .Given([](Call& c) {
            c.os().WriteTextFile(
                "C:\\KvUsbId\\usbid.sii",
                "[USBID]\r\nKV-7000=USB\\VID_4321&PID_8765\r\n");
            c.os().CreateKeyPath(HKEY_LOCAL_MACHINE,
                                 "Enum\\USB\\VID_4321&PID_8765\\0000");
          })
          .Then([](Call& c) {
            EXPECT_FALSE(HasKey(c, "Enum\\USB\\VID_4321&PID_8765"));
          }),
      DriverFiles("DeleteFiles9x", V::Win98, "C:\\Kv9x\\kv9x.sii", "USBComINF",
                  "INF\\kvusbcom.inf"),
      DriverFiles("DeleteFilesNT", V::NT4, "C:\\KvNt\\kvnt.sii", "PRNInfFileNT",
                  "KVDRV\\kvprnnt.inf"),
      // The catalogue it names is not in the driver store: its deletion's
      // error is the caller's.
      R("DeleteFiles2k", V::Win2000, {S("C:\\Kv2k\\kv2k.sii")}, "0")
          .Leaves(ERROR_FILE_NOT_FOUND)
          .Given([](Call& c) {
            c.os().WriteTextFile("C:\\Kv2k\\kv2k.sii",
                                 "[Model]\r\nSCNCatFile2K=kvscn2k.cat\r\n");
            c.os().CreateDirectoryA((c.os().systemDir() + "\\KVDRV").c_str(),
                                    nullptr);
          })
          .Then([](Call& c) {
            EXPECT_TRUE(c.Did("DeleteFileA(\"" + c.os().systemDir() +
                              "\\KVDRV\\kvscn2k.cat\")"));
          }),
      DriverFiles("DeleteFilesXP", V::XP, "C:\\KvXp\\kvxp.sii", "SCNCatFileXP",
                  "KVDRV\\kvscnxp.cat"),

      // ---- Ports
      PortRecord("StdTcpIpPortSet", "KvTcpA", "10.1.2.3",
                 "Standard TCP/IP Port", "IPAddress"),
      PortRecord("KVPortSet", "KvRawB", "10.4.5.6", "KV TCP/IP Port",
                 "IPAddress"),
      PortRecord("StdTcpIpPortSetNt", "KvLprC", "lpr-server", "LPR Port",
                 "Server Name"),
      // Without the LPR monitor: a box under the caption.
      R("AddLPD", V::XP,
        {N(31), W("owner"), S("LPD Caption"), B(1024, "untouched")}, "1")
          .Then([](Call& c) {
            ASSERT_EQ(c.os().messageBoxes().size(), 1u);
            EXPECT_EQ(c.os().messageBoxes()[0].caption, "LPD Caption");
            EXPECT_TRUE(c.Did("EnableWindow(" + Hex(c.Win("owner")) + ", 0)"));
            EXPECT_TRUE(c.os().IsWindowEnabled(c.Win("owner")));
            EXPECT_EQ(c.Out(3), "untouched");
          })
          .Note("the integer: ignored"),
      // With it: its dialog under the owner, the new port's name back.
      R("AddLPD", V::XP, {N(32), W("owner"), S("Unused Caption"), B(1024)}, "1")
          .Given([](Call& c) {
            InstallMonitorKey(c.os(), "LPR Port");
            c.os().QueueAddPortDialog(sim::SimPlatform::AddPortAnswer::AddPort,
                                      "LprQueue7");
          })
          .Then([](Call& c) {
            ASSERT_EQ(c.os().portDialogs().size(), 1u);
            EXPECT_EQ(c.os().portDialogs()[0].parent, c.Win("owner"));
            EXPECT_FALSE(c.os().portDialogs()[0].parentEnabled);
            EXPECT_EQ(c.Out(3), "LprQueue7");
          })
          .Note("the integer: ignored; the caption: shown without the monitor "
                "only"),
      R("StdTcpIpPortSet9x", V::Win98,
        {W("installer"), S("RelayNew"), S("relay-host"),
         S("C:\\KvRelay\\relay.sii")},
        "1")
          .Given([](Call& c) {
            c.os().WriteTextFile("C:\\KvRelay\\relay.sii",
                                 "[Files.Com]\r\nLmonn=KV-Relay3100 Port\r\n");
            InstallMonitorKey(c.os(), "KV-Relay3100 Port");
            PutValue(c.os(), kRelayPorts + "RelayOld", "HostName", REG_SZ,
                     Sz("old-host"));
          })
          .Then([](Call& c) {
            EXPECT_EQ(Value(c, kRelayPorts + "RelayNew", "HostName"),
                      "relay-host");
            EXPECT_TRUE(c.Did("DeletePortA(NULL, " + Hex(c.Win("installer")) +
                              ", \"RelayOld\")"));
            // The monitor the setup file names.
            EXPECT_TRUE(
                c.Did("DeleteMonitorA(NULL, \"Windows 4.0\", "
                      "\"KV-Relay3100 Port\")"));
          }),
      R("StdTcpIpPortSet9x_After", V::Win98, {}, "1").Note("no arguments"),
      R("SearchPorts", V::XP, {}, "8").Note("no arguments"),
      R("ListPorts", V::XP, {N(61), B(1024), N(6)}, "1")
          .Then([](Call& c) { EXPECT_EQ(c.Out(1), "LPT2:"); })
          .Note("the first integer: ignored"),
      // The user cancels the dialog: the spooler's error is the caller's.
      R("Add_Port", V::XP, {S("KV Net Monitor")}, "0")
          .Leaves(ERROR_CANCELLED)
          .Given([](Call& c) { InstallMonitorKey(c.os(), "KV Net Monitor"); })
          .Then([](Call& c) {
            ASSERT_EQ(c.os().portDialogs().size(), 1u);
            EXPECT_EQ(c.os().portDialogs()[0].monitor, "KV Net Monitor");
            EXPECT_EQ(c.os().portDialogs()[0].parent, nullptr);
          }),
      R("WinSub_AddPort", V::XP, {W("parent"), S("KV Dialog Monitor")}, "2")
          .Given([](Call& c) {
            InstallMonitorKey(c.os(), "KV Dialog Monitor");
            c.os().QueueAddPortDialog(sim::SimPlatform::AddPortAnswer::AddPort,
                                      "DialogPort");
            c.os().QueueMessageBoxAnswer(IDCANCEL);
          })
          .Then([](Call& c) {
            ASSERT_EQ(c.os().portDialogs().size(), 1u);
            EXPECT_EQ(c.os().portDialogs()[0].monitor, "KV Dialog Monitor");
            EXPECT_EQ(c.os().portDialogs()[0].parent, c.Win("parent"));
            ASSERT_EQ(c.os().messageBoxes().size(), 1u);
            EXPECT_EQ(c.os().messageBoxes()[0].caption, "AddPort");
            EXPECT_EQ(c.os().messageBoxes()[0].text.rfind("Err:0 [", 0), 0u);
          }),
      R("WinSub_DeletePort", V::XP, {W("deleter"), S("GoingPort")}, "1")
          .Given([](Call& c) {
            InstallMonitorKey(c.os(), "KV Net Monitor");
            AddPortKey(c.os(), "KV Net Monitor", "GoingPort");
          })
          .Then([](Call& c) {
            EXPECT_TRUE(c.Did("DeletePortA(NULL, " + Hex(c.Win("deleter")) +
                              ", \"GoingPort\")"));
            EXPECT_FALSE(
                HasKey(c, kMonitors + "KV Net Monitor\\Ports\\GoingPort"));
            ASSERT_EQ(c.os().messageBoxes().size(), 1u);
            EXPECT_EQ(c.os().messageBoxes()[0].caption, "DeletePort");
          }),
      R("Add_Monitor", V::XP, {S("KV Added Monitor"), S("kvaddmon.dll")}, "1")
          .Given([](Call& c) {
            c.os().WriteTextFile(c.os().systemDir() + "\\kvaddmon.dll", "MZ");
          })
          .Then([](Call& c) {
            EXPECT_EQ(Value(c, kMonitors + "KV Added Monitor", "Driver"),
                      "kvaddmon.dll");
          }),
      // The tool adds a relay port: its name comes back in the buffer.
      R("LaunchTool", V::Win98, {N(11), N(12), S("kvrelay.exe -add"), B(1024)},
        "1")
          .Given([](Call& c) {
            c.os().RegisterProgram(
                "kvrelay.exe", [](sim::SimPlatform& os, const std::string&) {
                  AddPortKey(os, "KV-Relay3100 Port", "RelayTool");
                  return DWORD{0};
                });
          })
          .Then([](Call& c) {
            ASSERT_EQ(c.os().processes().size(), 1u);
            EXPECT_EQ(c.os().processes()[0].commandLine, "kvrelay.exe -add");
            EXPECT_EQ(c.Out(3), "RelayTool");
          })
          .Note("the two integers: ignored"),
      R("CheckUSBPort", V::XP, {S("C:\\KvCheck\\check.sii"), B(256), B(256)},
        "1")
          .Given([](Call& c) {
            c.os().WriteTextFile(
                "C:\\KvCheck\\check.sii",
                "[Initial]\r\nProduct=KORVA\r\n[ModelName]\r\nnModelNum=3\r\n"
                "Model1=KV-100\r\nModel2=KV-200\r\nModel3=KV-300\r\n");
            AddPrinterRecord(c.os(), "Desk USB", "USB004", "KORVA KV-200");
          })
          .Then([](Call& c) {
            EXPECT_EQ(c.Out(1), "USB004");
            EXPECT_EQ(c.Out(2), "KV-200");
          }),
      R("DF_GetPoint", V::XP, {}, nullptr)
          .Leaves(kStaleError)
          .Then([](Call& c) {
            EXPECT_EQ(c.result.address,
                      reinterpret_cast<uintptr_t>(&DllContext().deviceFinder));
          })
          .Note("no arguments"),
      FinderField("DF_GetAddress", 128, "192.0.2.17"),
      FinderField("DF_GetModelName", 256, "KV-DF 500"),
      FinderField("DF_GetName", 256, "finder-name"),
      FinderField("DF_GetDescription", 256, "finder description"),
      FinderField("DF_GetLocation", 256, "third floor"),
      R("DF_GetMacAddress", V::XP, {B(18)}, "17")
          .Leaves(kStaleError)
          .Given(FillFinder)
          .Then([](Call& c) { EXPECT_EQ(c.Out(0), "00:1B:2C:3D:4E:5F"); }),
      R("DF_ListStrtoStr4", V::XP,
        {S("north,south,east,west"), B(1024), B(1024), B(1024), B(1024)}, "1")
          .Leaves(kStaleError)
          .Then([](Call& c) {
            EXPECT_EQ(c.Out(1), "north");
            EXPECT_EQ(c.Out(2), "south");
            EXPECT_EQ(c.Out(3), "east");
            EXPECT_EQ(c.Out(4), "west");
          }),

      // ---- Parallel ports and printer queries
      R("ToDetectLPT", V::Win98, {S("lpt3:")}, "1")
          .Given([](Call& c) { c.os().SetBiosDataWord(0x0C, 0x3BC); })
          .Then([](Call& c) { EXPECT_TRUE(c.Did("ReadBiosDataWord(0xC)")); }),
      R("GetPrinterNum", V::XP, {}, "2")
          .Given([](Call& c) {
            AddPrinterRecord(c.os(), "One KV", "LPT1:");
            AddPrinterRecord(c.os(), "Two KV", "LPT2:");
          })
          .Note("no arguments"),
      // The base is another port's printer; base(2) is this port's.
      R("GetPrinterDriverName", V::XP, {S("Office KV"), S("USB002"), B(128)},
        "13")
          .Given([](Call& c) {
            AddPrinterRecord(c.os(), "Office KV", "LPT3:");
            AddPrinterRecord(c.os(), "Office KV(2)", "USB002");
          })
          .Then([](Call& c) { EXPECT_EQ(c.Out(2), "Office KV(2)"); }),
      R("PrinterCheck", V::XP, {S("Nobody's KV")}, "0")
          .Leaves(ERROR_INVALID_PRINTER_NAME)
          .Then([](Call& c) {
            EXPECT_TRUE(c.Did("OpenPrinterA(\"Nobody's KV\")"));
          }),
      R("Chk_MicroTcpIpEntryNT", V::XP, {}, "1")
          .Given([](Call& c) {
            PutValue(c.os(), "SOFTWARE\\Microsoft\\LPDSVC\\CurrentVersion",
                     "Title", REG_SZ, Sz("TCP/IP Print Server"));
          })
          .Note("no arguments"),

      // ---- Timer thread
      // Armed, it posts the command ten ticks of delay x 10 ms later.
      R("CreateTimerThread", V::XP, {W("dialog"), N(301), N(402), N(3)}, "1")
          .Then([](Call& c) {
            ASSERT_EQ(::TimerThread_TmStart(), 1);
            const DWORD armed = c.os().now();
            while (c.os().messages().empty() && c.os().now() < armed + 2000)
              c.os().Sleep(1);
            ASSERT_EQ(c.os().messages().size(), 1u);
            const sim::MessageRecord& m = c.os().messages()[0];
            EXPECT_EQ(m.window, c.Win("dialog"));
            EXPECT_EQ(m.message, UINT{WM_COMMAND});
            EXPECT_EQ(m.wParam, WPARAM{301});
            EXPECT_EQ(m.lParam, LPARAM{402});
            EXPECT_GT(c.os().now() - armed, 9u * 30);
            EXPECT_LE(c.os().now() - armed, 10u * 30);
          }),
      R("DestroyTimerThread", V::XP, {}, "1").Given(timer).Note("no arguments"),
      R("TimerThreadState", V::XP, {}, "2")
          .Leaves(kStaleError)
          .Given(timer)
          .Note("no arguments"),
      R("TimerThread_TmStart", V::XP, {}, "1")
          .Leaves(kStaleError)
          .Given(timer)
          .Note("no arguments"),
      R("TimerThread_TmStop", V::XP, {}, "1")
          .Leaves(kStaleError)
          .Given([timer](Call& c) {
            timer(c);
            ::TimerThread_TmStart();
          })
          .Note("no arguments"),
      R("WinApi_SetTimer", V::XP, {W("timed"), N(77), N(880)}, "77")
          .Then([](Call& c) {
            EXPECT_TRUE(
                c.Did("SetTimer(" + Hex(c.Win("timed")) + ", 77, 880)"));
          }),
      R("WinApi_KillTimer", V::XP, {W("timed"), N(78)}, "1")
          .Given([](Call& c) {
            c.os().SetTimer(c.Win("timed"), 78, 100, nullptr);
          })
          .Then([](Call& c) {
            EXPECT_TRUE(c.Did("KillTimer(" + Hex(c.Win("timed")) + ", 78)"));
          }),

      // ---- Dialog and strings
      R("BrowseFolder", V::XP,
        {W("dialog"), W("owner"), B(260), S("Pick a printer")}, "1")
          .Given(
              [](Call& c) { c.os().QueueBrowseChoice("C:\\Picked\\Folder"); })
          .Then([](Call& c) {
            EXPECT_EQ(c.Out(2), "C:\\Picked\\Folder");
            ASSERT_EQ(c.os().browses().size(), 1u);
            EXPECT_EQ(c.os().browses()[0].owner, c.Win("owner"));
            EXPECT_EQ(c.os().browses()[0].title, "Pick a printer");
            EXPECT_TRUE(c.Did("EnableWindow(" + Hex(c.Win("dialog")) + ", 0)"));
          }),
      R("WinSub_SetForcus", V::XP, {W("second")}, "first")
          .Given([](Call& c) { c.os().SetFocus(c.Win("first")); })
          .Then([](Call& c) { EXPECT_EQ(c.os().focus(), c.Win("second")); }),
      R("WinSub_EnableWindow", V::XP, {W("greyed"), N(1)}, "1")
          .Given([](Call& c) { c.os().EnableWindow(c.Win("greyed"), FALSE); })
          .Then([](Call& c) {
            EXPECT_TRUE(c.os().IsWindowEnabled(c.Win("greyed")));
          }),
      R("BtmClickMessage", V::XP, {W("button"), N(70001), N(80002)}, "1")
          .Then([](Call& c) {
            ASSERT_EQ(c.os().messages().size(), 1u);
            const sim::MessageRecord& m = c.os().messages()[0];
            EXPECT_EQ(m.window, c.Win("button"));
            EXPECT_EQ(m.message, UINT{WM_COMMAND});
            EXPECT_EQ(m.wParam, WPARAM{70001 & 0xFFFF});
            EXPECT_EQ(m.lParam, LPARAM{80002});
          }),
      R("WinSub_CreateDirectory", V::XP, {S("C:\\KvNewDir")}, "1")
          .Then([](Call& c) { EXPECT_TRUE(Exists(c, "C:\\KvNewDir")); }),
      R("WinSub_StrCmp", V::XP, {S("apple"), S("banana")}, "-1")
          .Leaves(kStaleError)
          .Note("swapped texts answer 1"),
      R("StrFind", V::XP, {S("kv"), S("THE KV 100")}, "1")
          .Leaves(kStaleError)
          .Note("swapped texts answer 0"),
      R("StrTopDel", V::XP, {B(64), S("ABCDEFGH"), N(3)}, "DEFGH")
          .Leaves(kStaleError)
          .Then([](Call& c) { EXPECT_EQ(c.Out(0), "DEFGH"); }),
      R("DelSpace", V::XP, {B(64, "  kv text  ")}, "1")
          .Leaves(kStaleError)
          .Then([](Call& c) { EXPECT_EQ(c.Out(0), "kv text"); }),
      R("TopStringNum", V::XP, {S("7 pages")}, "1")
          .Leaves(kStaleError)
          .Note("an empty text answers 0"),
  };
}

// The names _KVSUP32.def exports.
std::set<std::string> DefNames() {
  const auto def = std::filesystem::path(__FILE__).parent_path() /
                   "../../../exports/_KVSUP32.def";
  std::ifstream in(def);
  std::set<std::string> names;
  std::string word;
  bool exports = false;
  while (in >> word) {
    if (exports) names.insert(word);
    if (word == "EXPORTS") exports = true;
  }
  return names;
}

TEST(ExportArguments, ReachTheirPlaceThroughTheExportTable) {
  const host::ExportTable table = host::NativeExports();
  const std::vector<Row> rows = Rows();
  const std::set<std::string> def = DefNames();
  std::set<std::string> rowNames, tableNames;
  for (const Row& row : rows) rowNames.insert(row.name);
  for (const host::ExportInfo& e : table.all()) tableNames.insert(e.name);
  EXPECT_EQ(def.size(), 69u);
  EXPECT_EQ(rowNames, def);
  EXPECT_EQ(tableNames, def);

  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const host::ExportInfo* e = table.Find(row.name);
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->params.size(), row.args.size());
    Call c(row.os);
    c.args.resize(row.args.size());
    for (size_t i = 0; i < row.args.size(); ++i) {
      const In& in = row.args[i];
      host::CallArg& a = c.args[i];
      ASSERT_EQ(in.kind, e->params[i].kind) << "argument " << i + 1;
      a.kind = in.kind;
      a.integer = in.number;
      a.text = in.text;
      if (in.kind == ParamKind::Window) a.window = c.Win(in.text);
      if (in.kind == ParamKind::Buffer) {
        a.size = in.size;
        a.buffer.assign(in.size + host::kGuardSize, '\0');
        std::memset(a.buffer.data() + in.size, host::kGuardByte,
                    host::kGuardSize);
        std::memcpy(a.buffer.data(), in.text.data(), in.text.size());
      }
    }
    if (row.setup) row.setup(c);
    c.os().ClearOperations();
    c.os().SetLastError(kStaleError);
    c.result = e->invoke(c.args);
    const DWORD lastError = c.os().GetLastError();

    if (row.result) {
      EXPECT_EQ(c.Result(), row.result);
    }
    if (row.lastError != kNotMeaningful) {
      EXPECT_EQ(lastError, row.lastError);
    }
    for (const host::CallArg& a : c.args)
      for (size_t i = a.size; i < a.buffer.size(); ++i)
        ASSERT_EQ(static_cast<unsigned char>(a.buffer[i]), host::kGuardByte);
    if (row.check) {
      row.check(c);
    } else {
      EXPECT_STRNE(row.note, "") << "a row without checks says why";
    }
    // No timer thread outlives its machine.
    if (::TimerThreadState() != 0) {
      EXPECT_EQ(::DestroyTimerThread(), 1);
    }
  }
}

}  // namespace
}  // namespace kv::test
