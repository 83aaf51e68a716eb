// Removal against the real spooler, registry, file system and command
// interpreter: the printer stack a real ToRegPrinter made, the deferred-
// deletion batch and its RunOnce hand-over (the batch then run by Wine's
// cmd.exe), the reboot question answered No, and the driver-file exports
// against the folders an installation fills. Everything made here is taken
// away again, so the suite passes any number of times in one prefix.
// kv-wine-versions: nt40 win98 win2k winxp
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "foundation/context.h"
#include "foundation/win32_platform.h"
#include "tests/wine/support/box_watch.h"
#include "tests/wine/support/cleanup.h"
#include "tests/wine/support/machine.h"
#include "tests/wine/support/wine_test.h"
#include "uninstall/batch.h"
#include "uninstall/printer_stack.h"
#include "uninstall/uninstall_entries.h"

using kvwine::Exists;
using kvwine::Has;
using kvwine::WriteFileText;

namespace {

using RegisterFn = int(WINAPI*)(LPCSTR, LPCSTR, int, LPCSTR, LPCSTR, int,
                                LPCSTR);

// A RunOnce value: its text and its data length; "<none>" when missing.
std::string RunOnceValue(const std::string& name, DWORD* size = nullptr) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kvwine::kRunOnce, 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return "<none>";
  char data[1024] = {};
  DWORD length = sizeof data;
  DWORD type = 0;
  const LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                   reinterpret_cast<LPBYTE>(data), &length);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return "<none>";
  if (size) *size = length;
  return data;
}

// A folder of its own for the files each test makes.
class Removal : public kvwine::RemovalTest {
 protected:
  Removal() : RemovalTest(kMessageFile) {}

  void Prepare() override {
    folder_ = windows_ + "\\kvremove";
    CreateDirectoryA(folder_.c_str(), nullptr);
    AtEnd([this] { RemoveDirectoryA(folder_.c_str()); });
  }

  // A file in the test folder, deleted at the end.
  std::string Make(const std::string& name) {
    const std::string path = folder_ + "\\" + name;
    EXPECT_TRUE(WriteFileText(path, name)) << path;
    AtEnd([path] { DeleteFileA(path.c_str()); });
    return path;
  }

  // `path` opened without sharing until the returned handle is closed, as a
  // program still using it would hold it.
  HANDLE Hold(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << path;
    return h;
  }

  static constexpr const char* kMessageFile = "kvrbmsg.dat";
  kv::Win32Platform platform_;
  kv::Context ctx_{platform_};
  std::string folder_;
};

// ------------------------------------------------- batch and hand-over

TEST_F(Removal, BatchListsFilesInUseAndRunsAtTheNextStart) {
  const bool is9x = kvwine::IsWin9x();
  const std::string word = is9x ? "del " : "del /f ";
  // Names cmd.exe would split or read as a second command are quoted.
  struct Case {
    const char* name;
    bool make;
    bool hold;
    const char* quote;  // around the path in the batch line
  };
  const Case cases[] = {
      {"held.dat", true, true, ""},
      {"two words.dat", true, false, "\""},
      {"a&b.dat", true, true, "\""},
      {"missing.dat", false, false, ""},
  };
  const std::string sentinel = Make("sentinel.dat");
  std::string expected;
  std::vector<HANDLE> held;
  for (const Case& c : cases) {
    const std::string path = folder_ + "\\" + c.name;
    if (c.make) Make(c.name);
    if (c.hold) held.push_back(Hold(path));
    kv::AddDeferredDeletion(ctx_, path.c_str());
    if (c.make) expected += word + c.quote + path + c.quote + "\r\n";
  }
  // No uninstall setup file: no question is asked.
  kv::HandOverBatch(ctx_);
  for (HANDLE h : held) CloseHandle(h);
  expected += word + batch_ + "\r\n";
  EXPECT_EQ(kvwine::ReadFileBytes(batch_), expected);

  // The commands to run at the next start, as Windows would run them.
  std::vector<std::string> commands;
  if (is9x) {
    // One value per line, each run by itself. Wine has no command.com at
    // any version; its cmd.exe runs the same line.
    size_t start = 0;
    for (int i = 0; start < expected.size(); ++i) {
      const size_t end = expected.find("\r\n", start);
      const std::string line = expected.substr(start, end - start);
      const std::string name = "VT3E_" + std::to_string(i);
      DWORD size = 0;
      EXPECT_EQ(RunOnceValue(name, &size), "command.com /c " + line);
      // The library writes 255 bytes; Wine at a 9x version keeps a REG_SZ
      // value's text and terminator only, whatever length it is given, as
      // Windows 9x is said to do. The NT family keeps all 255 bytes.
      EXPECT_EQ(size, 15 + line.size() + 1) << name;
      commands.push_back("cmd.exe /c " + line);
      start = end + 2;
    }
    EXPECT_EQ(RunOnceValue("VT3E_" + std::to_string(commands.size())),
              "<none>");
    EXPECT_EQ(RunOnceValue("VT3E"), "<none>");
  } else {
    DWORD size = 0;
    EXPECT_EQ(RunOnceValue("VT3E", &size), batch_);
    EXPECT_EQ(size, 255u);
    EXPECT_EQ(RunOnceValue("VT3E_0"), "<none>");
    commands.push_back("cmd.exe /c " + RunOnceValue("VT3E"));
  }
  for (const std::string& command : commands)
    EXPECT_EQ(kvwine::RunCommand(command, system_), 0) << command;

  for (const Case& c : cases)
    EXPECT_FALSE(Exists(folder_ + "\\" + c.name)) << c.name;
  EXPECT_FALSE(Exists(batch_));
  EXPECT_TRUE(Exists(sentinel));
}

// ------------------------------------------------- the reboot question

bool ShutdownPrivilegeEnabled() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  LUID luid = {};
  LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &luid);
  BYTE buffer[4096] = {};
  DWORD needed = 0;
  bool enabled = false;
  if (GetTokenInformation(token, TokenPrivileges, buffer, sizeof buffer,
                          &needed)) {
    auto* list = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer);
    for (DWORD i = 0; i < list->PrivilegeCount; ++i) {
      const LUID& l = list->Privileges[i].Luid;
      if (l.LowPart == luid.LowPart && l.HighPart == luid.HighPart)
        enabled = (list->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
  }
  CloseHandle(token);
  return enabled;
}

TEST_F(Removal, RebootQuestionAnsweredNoLeavesTheBatchForTheNextStart) {
  struct Case {
    const char* what;
    const char* eins;  // UNINST_MSG_DAT of vt3eins.sii
    const char* dins;  // of vt3dins.sii, or none
    bool messageFile;
    const char* caption;
    const char* text;
  };
  const Case cases[] = {
      {"built-in", "1", nullptr, false, "Confirm",
       "To complete uninstallation, restart of Windows is needed.\r\n"
       "Do you restart now?"},
      {"message file", "1", kMessageFile, true, "KORVA Removal",
       "Restart to finish removing the driver.\r\nRestart now?\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClearMachine();
    const std::string eins = windows_ + "\\vt3eins.sii";
    const std::string dins = windows_ + "\\vt3dins.sii";
    const std::string message = system_ + "\\" + kMessageFile;
    ASSERT_TRUE(WritePrivateProfileStringA("UninstName", "UNINST_MSG_DAT",
                                           c.eins, eins.c_str()));
    if (c.dins) {
      ASSERT_TRUE(WritePrivateProfileStringA("UninstName", "UNINST_MSG_DAT",
                                             c.dins, dins.c_str()));
    }
    if (c.messageFile) {
      ASSERT_TRUE(WritePrivateProfileStringA("String", "STR_Reboot_TITLE",
                                             "KORVA Removal", message.c_str()));
      ASSERT_TRUE(WritePrivateProfileStringA(
          "String", "STR_Reboot_1", "Restart to finish removing the driver.",
          message.c_str()));
      ASSERT_TRUE(WritePrivateProfileStringA("String", "STR_Reboot_2",
                                             "Restart now?", message.c_str()));
    }
    // Profile writes reach the files only when Wine's cache is flushed.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, eins.c_str());
    const std::string file = Make("inuse.dat");
    HANDLE h = Hold(file);
    kv::AddDeferredDeletion(ctx_, file.c_str());
    const bool privilegeBefore = ShutdownPrivilegeEnabled();
    {
      kvwine::BoxWatch watch(c.caption, IDNO);
      ASSERT_TRUE(watch.started());
      kv::HandOverBatch(ctx_);
      const kvwine::BoxSeen& seen = watch.Wait();
      EXPECT_TRUE(seen.found);
      EXPECT_TRUE(seen.pressed);
      EXPECT_EQ(seen.caption, c.caption);
      EXPECT_EQ(seen.text, c.text);
    }
    CloseHandle(h);
    // Used once: gone before the box was shown.
    EXPECT_FALSE(Exists(message));
    // No restart: on the NT family the library enables the shutdown
    // privilege only on its way to ExitWindowsEx.
    EXPECT_EQ(ShutdownPrivilegeEnabled(), privilegeBefore);
    // The batch and its hand-over wait for whatever restart comes next.
    const std::string batch = kvwine::ReadFileBytes(batch_);
    EXPECT_NE(batch.find(file), std::string::npos) << batch;
    EXPECT_NE(batch.find(batch_ + "\r\n"), std::string::npos) << batch;
    if (kvwine::IsWin9x()) {
      EXPECT_EQ(RunOnceValue("VT3E_1"), "command.com /c del " + batch_);
    } else {
      EXPECT_EQ(RunOnceValue("VT3E"), batch_);
    }
  }
}

// ------------------------------------------------- the printer stack

constexpr const char* kDriver = "KORVA KV-1000";
constexpr const char* kOtherDriver = "KORVA KV-2000";
constexpr const char* kMonitor = "KV Test Monitor";
constexpr const char* kMonitorDll = "kvtstmon.dll";

std::vector<std::string> Printers() {
  return kvwine::Names<PRINTER_INFO_1A>(kvwine::EnumLocalPrinters, 1);
}
std::vector<std::string> Drivers() {
  return kvwine::Names<DRIVER_INFO_1A>(EnumPrinterDriversA, 1);
}
std::vector<std::string> Monitors() {
  return kvwine::Names<MONITOR_INFO_1A>(kvwine::EnumMonitorList, 1);
}

bool DeviceEntry(const char* printer) {
  char value[256] = {};
  return GetProfileStringA("Devices", printer, "", value, sizeof value) > 0;
}

TEST_F(Removal, PrinterStackOfARealRegistrationGoesOthersStay) {
  if (GetFileAttributesA(kvwine::kWinePs) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "Wine's PostScript driver is not at " << kvwine::kWinePs;
  auto undoStack = [] {
    kvwine::UnregisterPrinters({kDriver, kOtherDriver}, kMonitor);
  };
  undoStack();
  ASSERT_FALSE(Has(Printers(), kDriver)) << "left over from an earlier run";

  const std::string driverDir = kvwine::DriverDirectory();
  ASSERT_FALSE(driverDir.empty());
  auto place = [this](const std::string& path) {
    AtEnd([path] { DeleteFileA(path.c_str()); });
  };
  const std::string monitorDll = system_ + "\\" + kMonitorDll;
  place(monitorDll);
  place(driverDir + "\\kvwineps.drv");
  place(driverDir + "\\kvtest.ppd");
  // What the spooler copied into its version folders.
  for (const char* sub : {"\\3\\", "\\2\\", "\\0\\"})
    for (const char* f : {"kvwineps.drv", "kvtest.ppd"})
      place(driverDir + sub + f);
  // Before the files go: a driver or monitor still registered holds them.
  AtEnd(undoStack);
  ASSERT_TRUE(CopyFileA(kvwine::kWinePs, (driverDir + "\\kvwineps.drv").c_str(),
                        FALSE));
  ASSERT_TRUE(WriteFileText(driverDir + "\\kvtest.ppd", kvwine::kPpd));
  ASSERT_TRUE(CopyFileA((kvwine::ProgramDir() + kMonitorDll).c_str(),
                        monitorDll.c_str(), FALSE));

  const std::string sii = folder_ + "\\printer.sii";
  place(sii);
  auto write = [&sii](const char* section, const char* key, const char* value) {
    EXPECT_TRUE(WritePrivateProfileStringA(section, key, value, sii.c_str()));
  };
  write("Initial", "Product", "KORVA");
  write("ModelName", "nModelNum", "2");
  write("ModelName", "Model1", "KV-1000");
  write("ModelName", "Model2", "KV-2000");
  write("Install", "DATATYPE", "RAW");
  write("Files.Com", "Lmonn", kMonitor);
  for (const char* f : {"NT", "2K", "9x"}) {
    const std::string section = std::string("Files.") + f;
    write(section.c_str(), (std::string("Drvf") + f).c_str(), "kvwineps.drv");
    write(section.c_str(), (std::string("Conf") + f).c_str(), "kvwineps.drv");
    write(section.c_str(), (std::string("Datf") + f).c_str(), "kvtest.ppd");
    write(section.c_str(), (std::string("Procn") + f).c_str(), "NULL");
    write(section.c_str(), (std::string("Lmonm") + f).c_str(), kMonitorDll);
  }
  write("Files.9x", "Drcf9x", "KVWINEPS");

  auto reg = kvwine::Export<RegisterFn>("ToRegPrinter");
  ASSERT_NE(reg, nullptr);
  ASSERT_EQ(
      reg("LPT1:", "KV-1000", 0, folder_.c_str(), kDriver, 0, sii.c_str()), 1);
  ASSERT_EQ(
      reg("LPT1:", "KV-2000", 0, folder_.c_str(), kOtherDriver, 0, sii.c_str()),
      1);
  ASSERT_TRUE(Has(Printers(), kDriver));
  ASSERT_TRUE(Has(Drivers(), kDriver));
  ASSERT_TRUE(Has(Monitors(), kMonitor));

  // The 9x monitor libraries, numbered after the monitor's library (the
  // value installation registered the monitor with: removal takes only a
  // monitor whose library is the setup file's).
  std::vector<std::string> libraries;
  for (const char* n : {"01", "02"}) {
    libraries.push_back(system_ + "\\" + kMonitorDll + n + ".DLL");
    ASSERT_TRUE(WriteFileText(libraries.back(), "library"));
    place(libraries.back());
  }

  // The other model's driver still names the monitor: it stays with it.
  EXPECT_EQ(kv::RemovePrinterStack(ctx_, kDriver, sii.c_str()), 0);

  // The NT spooler keeps its printers in memory and forgets one whose
  // records are gone only when it starts again; Wine's lists the printers
  // from the registry, so the printer is gone at once, without a restart.
  EXPECT_FALSE(Has(Printers(), kDriver));
  EXPECT_FALSE(Has(Drivers(), kDriver));
  EXPECT_TRUE(Has(Monitors(), kMonitor));
  EXPECT_TRUE(Has(Printers(), kOtherDriver));
  EXPECT_TRUE(Has(Drivers(), kOtherDriver));
  EXPECT_TRUE(DeviceEntry(kOtherDriver));
  // The spooler takes a printer's [Devices] and [PrinterPorts] entries away
  // only with DeletePrinter; on the NT family removal deletes the records,
  // so it deletes those entries (and a default naming the printer) itself.
  // On Windows 9x the spooler deletes the printer.
  EXPECT_FALSE(DeviceEntry(kDriver));
  char ports[256] = {};
  EXPECT_EQ(GetProfileStringA("PrinterPorts", kDriver, "", ports, sizeof ports),
            0u);
  for (const auto& library : libraries) EXPECT_TRUE(Exists(library));
  // With the last driver naming it gone, the monitor goes; its libraries
  // on Windows 9x only, the NT family never deletes them here.
  EXPECT_NE(kv::RemovePrinterStack(ctx_, kOtherDriver, sii.c_str()), 0);
  EXPECT_FALSE(Has(Monitors(), kMonitor));
  for (const auto& library : libraries)
    EXPECT_EQ(Exists(library), !kvwine::IsWin9x()) << library;
}

// ------------------------------------------------- driver-file exports

using DeleteFilesFn = int(WINAPI*)(LPCSTR);

// The driver store, INF copies and the folders installation copied the
// printer and scanner files into, as a family's installation leaves them.
struct FileFamily {
  int osKind;
  const char* exportName;
  const char* suffix;  // of the setup file's keys
  bool scanner;
};

const FileFamily kFileFamilies[] = {
    {1, "DeleteFilesNT", "NT", false},
    {2, "DeleteFiles9x", "9x", true},
    {3, "DeleteFiles2k", "2K", true},
    {4, "DeleteFilesXP", "XP", true},
};

TEST_F(Removal, DriverFileExportDeletesTheListedFilesOfItsFamily) {
  const FileFamily* family = nullptr;
  for (const FileFamily& f : kFileFamilies)
    if (f.osKind == kvwine::Version().osKind) family = &f;
  ASSERT_NE(family, nullptr);
  const std::string suffix = family->suffix;
  const bool is9x = family->osKind == 2;
  const std::string S = system_, W = windows_;
  const std::string store = S + "\\KVDRV";
  const std::string spool = S + "\\Spool\\Drivers";
  const std::string w32 = spool + "\\w32x86";

  // Folders made here go again at the end, the deepest first.
  auto folder = [this](const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr))
      AtEnd([path] { RemoveDirectoryA(path.c_str()); });
  };
  // Files placed here are deleted at the end whatever the export did.
  auto file = [this](const std::string& path) {
    EXPECT_TRUE(WriteFileText(path, "kv")) << path;
    AtEnd([path] { DeleteFileA(path.c_str()); });
    return path;
  };

  std::vector<std::string> printerFolders = {store, S};
  if (!is9x) {
    printerFolders.push_back(w32);
    printerFolders.push_back(w32 + (family->osKind == 1 ? "\\2" : "\\3"));
  }
  const std::string twain = W + "\\Twain_32\\KVtwn";
  std::vector<std::string> scannerFolders;
  if (family->scanner) {
    scannerFolders = {store, W, S, twain};
    if (is9x) {
      scannerFolders.push_back(S + "\\Color");
      scannerFolders.push_back(W + "\\System32\\Drivers");
    } else {
      scannerFolders.push_back(spool + "\\Color");
    }
  }
  for (const std::string& f :
       {store, W + "\\INF", spool, w32, w32 + "\\2", w32 + "\\3",
        W + "\\Twain_32", twain, S + "\\Color", spool + "\\Color",
        W + "\\System32", W + "\\System32\\Drivers"})
    folder(f);

  // The INF copies: three-character medium suffixes for the printer list,
  // two for the scanner list; one printer entry climbs out of its folder.
  const std::string printerInf = file(store + "\\kvprn.inf");
  ASSERT_TRUE(WriteFileText(printerInf,
                            "[SourceDisksFiles]\r\nkvprn.dll=1,,\r\n"
                            "kvui.dll=1,,\r\n..\\kvout.dat=1,,\r\n"));
  std::vector<std::string> listed = {printerInf};
  for (const std::string& f : printerFolders)
    for (const char* name : {"\\kvprn.dll", "\\kvui.dll"})
      listed.push_back(file(f + name));
  const std::string sii = file(folder_ + "\\files.sii");
  auto write = [&sii](const char* section, const std::string& key,
                      const char* value) {
    EXPECT_TRUE(
        WritePrivateProfileStringA(section, key.c_str(), value, sii.c_str()));
  };
  write("Model", "PRNInfFile" + suffix, "kvprn.inf");
  if (family->scanner) {
    const std::string scannerInf = file(store + "\\kvscn.inf");
    ASSERT_TRUE(WriteFileText(
        scannerInf, "[SourceDisksFiles]\r\nkvscn.ds=1,\r\nkvscn.icm=1,\r\n"));
    listed.push_back(scannerInf);
    for (const std::string& f : scannerFolders)
      for (const char* name : {"\\kvscn.ds", "\\kvscn.icm"})
        listed.push_back(file(f + name));
    write("Model", "SCNInfFile" + suffix, "kvscn.inf");
  }
  if (is9x) {
    write("Model", "SCNHead", "KV");
    write("Model", "USBINF", "kvusb.inf");
    write("Model", "USBComINF", "kvusbc.inf");
    for (const char* name : {"\\kvprn.inf", "\\kvscn.inf"})
      listed.push_back(file(W + "\\INF" + name));
    for (const std::string& f : {store, W + "\\INF"})
      for (const char* name : {"\\kvusb.inf", "\\kvusbc.inf"})
        listed.push_back(file(f + name));
  } else if (family->scanner) {
    write("Initial", "NameHeader", "KV");
    write("Model", "PRNCatFile" + suffix, "kvprn.cat");
    write("Model", "SCNCatFile" + suffix, "kvscn.cat");
    listed.push_back(file(store + "\\kvprn.cat"));
    listed.push_back(file(store + "\\kvscn.cat"));
  }
  // What must stay: a file no list names, the INF copy outside the driver
  // store on the NT family, and whatever "..\kvout.dat" reaches from each
  // printer folder.
  std::vector<std::string> kept = {file(store + "\\kvkeep.dll"),
                                   file(S + "\\kvkeep.dll")};
  if (!is9x) kept.push_back(file(W + "\\INF\\kvprn.inf"));
  for (const std::string& f : printerFolders) {
    const std::string parent = f.substr(0, f.find_last_of('\\'));
    kept.push_back(file(parent + "\\kvout.dat"));
  }

  auto remove = kvwine::Export<DeleteFilesFn>(family->exportName);
  ASSERT_NE(remove, nullptr);
  // The last deletion of each sequence is of a file that was there.
  EXPECT_NE(remove(sii.c_str()), 0);
  for (const std::string& f : listed) EXPECT_FALSE(Exists(f)) << f;
  for (const std::string& f : kept) EXPECT_TRUE(Exists(f)) << f;
}

}  // namespace
