// Port configuration on the real Win32 API: the port records read back
// through the registry, the port list against EnumPortsA, a monitor added
// with the sample monitor, the DeletePort box, LaunchTool with a real
// program, and the device-finder record filled from another process.
// kv-wine-versions: nt40 win95 win98 winme win2k winxp
#include <windows.h>
#include <winspool.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/wine/support/box_watch.h"
#include "tests/wine/support/cleanup.h"
#include "tests/wine/support/wine_test.h"

namespace {

using SetFn = int(WINAPI*)(LPCSTR, LPCSTR);
using CountFn = int(WINAPI*)();
using ListFn = int(WINAPI*)(int, LPSTR, int);
using DeletePortFn = int(WINAPI*)(HWND, LPCSTR);
using AddMonitorFn = int(WINAPI*)(LPCSTR, LPCSTR);
using LaunchFn = int(WINAPI*)(int, int, LPCSTR, LPSTR);

const std::string kMonitors =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";

// Deletes a key under HKEY_LOCAL_MACHINE and everything below it.
void DeleteTree(const std::string& path) {
  kvwine::DeleteTree(HKEY_LOCAL_MACHINE, path);
}

struct Value {
  std::string name;
  DWORD type;
  std::vector<BYTE> data;
};

// Every value of HKLM\path in the registry's enumeration order (the order
// they were created in, on Windows and Wine alike).
std::vector<Value> ReadValues(const std::string& path) {
  std::vector<Value> values;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    ADD_FAILURE() << "no key " << path;
    return values;
  }
  for (DWORD i = 0;; ++i) {
    char name[256];
    BYTE data[512];
    DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
    if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data,
                      &dataSize) != ERROR_SUCCESS)
      break;
    values.push_back({name, type, std::vector<BYTE>(data, data + dataSize)});
  }
  RegCloseKey(key);
  return values;
}

std::vector<BYTE> Dword(DWORD v) {
  return {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
}
std::vector<BYTE> Sz(const std::string& s) {
  std::vector<BYTE> b(s.begin(), s.end());
  b.push_back(0);
  return b;
}
// A REG_SZ written with no data: Windows 9x takes any string to its
// terminator, so there it is one byte.
std::vector<BYTE> NoData() {
  return kvwine::IsWin9x() ? std::vector<BYTE>{0} : std::vector<BYTE>{};
}

void ExpectValues(const std::string& path, const std::vector<Value>& want) {
  const auto got = ReadValues(path);
  ASSERT_EQ(got.size(), want.size()) << path;
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].name, want[i].name) << path << " #" << i;
    EXPECT_EQ(got[i].type, want[i].type) << want[i].name;
    EXPECT_EQ(got[i].data, want[i].data) << want[i].name;
  }
}

// Every suite takes away what it registered in TearDown, whichever way the
// test ends.
using PortRecords = kvwine::CleanupTest;
using PortList = kvwine::CleanupTest;
using Monitor = kvwine::CleanupTest;
using DeletePortBox = kvwine::CleanupTest;
using Tool = kvwine::CleanupTest;
using DeviceFinder = kvwine::CleanupTest;

// ---------------------------------------------------------------- records

TEST_F(PortRecords, StandardTcpIpRecordReadsBack) {
  auto set = kvwine::Export<SetFn>("StdTcpIpPortSet");
  ASSERT_NE(set, nullptr);
  const std::string key =
      kMonitors + "Standard TCP/IP Port\\Ports\\KVWINE_10.1.2.3";
  const std::string over(185, 'o');
  AtEnd([key, over] {
    DeleteTree(key);
    DeleteTree(kMonitors + "Standard TCP/IP Port\\Ports\\" + over);
  });
  ASSERT_EQ(set("KVWINE_10.1.2.3", "10.1.2.3"), 1);
  ExpectValues(key, {{"Double Spool", REG_DWORD, Dword(0)},
                     {"HostName", REG_SZ, NoData()},
                     {"HWAddress", REG_SZ, NoData()},
                     {"IPAddress", REG_SZ, Sz("10.1.2.3")},
                     {"PortNumber", REG_DWORD, Dword(515)},
                     {"Protocol", REG_DWORD, Dword(2)},
                     {"Queue", REG_SZ, Sz("lp")},
                     {"SNMP Community", REG_SZ, Sz("mosaic")},
                     {"SNMP Enabled", REG_DWORD, Dword(0)},
                     {"SNMP Index", REG_DWORD, Dword(1)},
                     {"Version", REG_DWORD, Dword(1)}});
  // A name past the 260-byte key path is refused and nothing is created.
  EXPECT_EQ(set(over.c_str(), "1.1.1.1"), 0);
  HKEY k;
  EXPECT_NE(RegOpenKeyExA(
                HKEY_LOCAL_MACHINE,
                (kMonitors + "Standard TCP/IP Port\\Ports\\" + over).c_str(), 0,
                KEY_READ, &k),
            ERROR_SUCCESS);
}

TEST_F(PortRecords, KvTcpIpRecordReadsBack) {
  auto set = kvwine::Export<SetFn>("KVPortSet");
  ASSERT_NE(set, nullptr);
  const std::string key = kMonitors + "KV TCP/IP Port\\Ports\\KVWINE_KV";
  AtEnd([] { DeleteTree(kMonitors + "KV TCP/IP Port"); });
  ASSERT_EQ(set("KVWINE_KV", ""), 1);
  ASSERT_EQ(set("KVWINE_KV", "192.168.7.7"), 1);
  ExpectValues(key, {{"Double Spool", REG_DWORD, Dword(0)},
                     {"Enable Bidi", REG_DWORD, Dword(0)},
                     {"Enable RFC", REG_DWORD, Dword(0)},
                     {"IPAddress", REG_SZ, Sz("192.168.7.7")},
                     {"PortNumber", REG_DWORD, Dword(9100)},
                     {"Protocol", REG_DWORD, Dword(1)},
                     {"Queue", REG_SZ, Sz("lp")}});
}

TEST_F(PortRecords, LprRecordAndTimeoutsReadBack) {
  auto set = kvwine::Export<SetFn>("StdTcpIpPortSetNt");
  ASSERT_NE(set, nullptr);
  const std::string key = kMonitors + "LPR Port\\Ports\\kvwine-lpr";
  AtEnd([key] { DeleteTree(key); });
  ASSERT_EQ(set("kvwine-lpr", "printhost"), 1);
  ExpectValues(key, {{"EnableBannerPage", REG_DWORD, Dword(160)},
                     {"HpUxCompatibility", REG_DWORD, Dword(160)},
                     {"OldSunCompatibilty", REG_DWORD, Dword(160)},
                     {"Printer Name", REG_SZ, Sz("lp")},
                     {"Server Name", REG_SZ, Sz("printhost")}});
  ExpectValues(key + "\\Timeouts", {{"CommandTimeout", REG_DWORD, Dword(120)},
                                    {"DataTimeout", REG_DWORD, Dword(300)}});
}

// A port's record is a key of the port's name: a backslash would make a key
// below another port's and a control character a name no port has. Every
// record writer refuses such a name and creates no key at all.
TEST_F(PortRecords, NamesThatAreNoKeyNameCreateNothing) {
  const std::pair<const char*, std::string> writers[] = {
      {"StdTcpIpPortSet", kMonitors + "Standard TCP/IP Port\\Ports\\"},
      {"KVPortSet", kMonitors + "KV TCP/IP Port\\Ports\\"},
      {"StdTcpIpPortSetNt", kMonitors + "LPR Port\\Ports\\"},
  };
  const char* names[] = {"kvwine-outer\\inner", "kvwine-line\r\n", "kvwine\x01",
                         "kvwine\x7f"};
  AtEnd([writers] {
    for (const auto& w : writers) DeleteTree(w.second + "kvwine-outer");
  });
  for (const auto& w : writers) {
    auto set = kvwine::Export<SetFn>(w.first);
    ASSERT_NE(set, nullptr);
    for (const char* name : names) {
      SetLastError(0x5EB0DEAD);
      EXPECT_EQ(set(name, "10.9.8.7"), 0) << w.first << " " << name;
      EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME)) << w.first;
      HKEY k;
      EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (w.second + name).c_str(), 0,
                              KEY_READ, &k),
                ERROR_SUCCESS)
          << w.first << " " << name;
    }
    HKEY k;
    EXPECT_NE(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, (w.second + "kvwine-outer").c_str(),
                      0, KEY_READ, &k),
        ERROR_SUCCESS)
        << w.first;
  }
}

// ---------------------------------------------------------------- port list

TEST_F(PortList, SearchAndListMatchEnumPorts) {
  auto search = kvwine::Export<CountFn>("SearchPorts");
  auto list = kvwine::Export<ListFn>("ListPorts");
  ASSERT_TRUE(search && list);
  DWORD needed = 0, count = 0;
  EnumPortsA(nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(EnumPortsA(nullptr, 1, buffer.data(), needed, &needed, &count));
  ASSERT_GT(count, 0u);
  EXPECT_EQ(search(), static_cast<int>(count));
  auto* ports = reinterpret_cast<PORT_INFO_1A*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    char out[1024] = {};
    EXPECT_EQ(list(0, out, static_cast<int>(i)), 1);
    EXPECT_STREQ(out, ports[i].pName);
  }
  char out[1024] = "untouched";
  EXPECT_EQ(list(0, out, static_cast<int>(count)), 0);
  EXPECT_EQ(list(0, out, -1), 0);
  EXPECT_STREQ(out, "untouched");
}

// ---------------------------------------------------------------- monitor

bool MonitorListed(const char* name) {
  DWORD needed = 0, count = 0;
  EnumMonitorsA(nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  if (!EnumMonitorsA(nullptr, 1, buffer.data(), needed, &needed, &count))
    return false;
  auto* info = reinterpret_cast<MONITOR_INFO_1A*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (lstrcmpiA(info[i].pName, name) == 0) return true;
  return false;
}

TEST_F(Monitor, AddMonitorRegistersTheSampleMonitor) {
  auto add = kvwine::Export<AddMonitorFn>("Add_Monitor");
  ASSERT_NE(add, nullptr);
  static const char* const name = "KV Ports Test Monitor";
  ASSERT_FALSE(MonitorListed(name)) << "left over from an earlier run";
  char dir[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(dir, sizeof dir), 0u);
  const std::string dll = std::string(dir) + "\\kvtstmon.dll";
  AtEnd([dll] { DeleteFileA(dll.c_str()); });
  AtEnd([] {
    const char* env = kvwine::IsWin9x() ? "Windows 4.0" : "Windows NT x86";
    // Wine keeps one list for both environments: remove with either.
    if (!DeleteMonitorA(nullptr, const_cast<LPSTR>(env),
                        const_cast<LPSTR>(name)))
      DeleteMonitorA(nullptr, nullptr, const_cast<LPSTR>(name));
    EXPECT_FALSE(MonitorListed(name));
  });
  ASSERT_TRUE(CopyFileA((kvwine::ProgramDir() + "kvtstmon.dll").c_str(),
                        dll.c_str(), FALSE));

  EXPECT_EQ(add(name, "kvtstmon.dll"), 1);
  EXPECT_TRUE(MonitorListed(name));
  // Wine's spooler, like Windows', refuses a second monitor of that name.
  EXPECT_EQ(add(name, "kvtstmon.dll"), 0);
}

// ---------------------------------------------------------------- boxes

TEST_F(DeletePortBox, UnknownPortShowsTheSpoolersError) {
  auto del = kvwine::Export<DeletePortFn>("WinSub_DeletePort");
  ASSERT_NE(del, nullptr);
  SetLastError(0xDEADBEEF);
  ASSERT_FALSE(
      DeletePortA(nullptr, nullptr, const_cast<LPSTR>("KVNOSUCHPORT:")));
  const DWORD error = GetLastError();
  ASSERT_NE(error, 0xDEADBEEFu);

  kvwine::BoxWatch watch("DeletePort");
  EXPECT_EQ(del(nullptr, "KVNOSUCHPORT:"), IDOK);
  const kvwine::BoxSeen& seen = watch.Wait();
  ASSERT_TRUE(seen.found) << "no box appeared (is there a display?)";
  EXPECT_EQ(seen.text, "Err:" + std::to_string(static_cast<int>(error)) + " [" +
                           kvwine::SystemMessage(error) + "]");
}

// ---------------------------------------------------------------- LaunchTool

const std::string kRelayPorts = kMonitors + "KV-Relay3100 Port\\Ports";
const std::string kLprPorts = kMonitors + "LPR Port\\Ports";

std::string LastSubKey(const std::string& path) {
  HKEY key;
  std::string last;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return last;
  char name[256];
  for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS;
       ++i)
    last = name;
  RegCloseKey(key);
  return last;
}

TEST_F(Tool, LaunchToolReportsThePortItsProgramAdded) {
  auto launch = kvwine::Export<LaunchFn>("LaunchTool");
  ASSERT_NE(launch, nullptr);
  AtEnd([] {
    DeleteTree(kRelayPorts + "\\zz-kvwine-relay");
    DeleteTree(kLprPorts + "\\zz-kvwine-lpr");
  });
  // On the NT family the lookup reads the LPR ports: give it one.
  HKEY k;
  if (!kvwine::IsWin9x() &&
      RegCreateKeyA(HKEY_LOCAL_MACHINE, (kLprPorts + "\\zz-kvwine-lpr").c_str(),
                    &k) == ERROR_SUCCESS)
    RegCloseKey(k);

  const std::string command =
      "\"" + kvwine::ProgramDir() + "kvport_tool.exe\" zz-kvwine-relay";
  char out[1024] = "untouched";
  int result;
  {
    kvwine::BoxWatch watch("TEST");
    result = launch(0, 0, command.c_str(), out);
    const kvwine::BoxSeen& seen = watch.Wait();
    EXPECT_TRUE(seen.found) << "no TEST box";
    EXPECT_EQ(seen.text, out);
  }
  EXPECT_EQ(result, 1);
  HKEY added;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                          (kRelayPorts + "\\zz-kvwine-relay").c_str(), 0,
                          KEY_READ, &added),
            ERROR_SUCCESS);
  RegCloseKey(added);
  EXPECT_EQ(std::string(out),
            LastSubKey(kvwine::IsWin9x() ? kRelayPorts : kLprPorts));

  // A tool that cannot start: nothing changes, nothing is shown.
  char same[1024] = "untouched";
  EXPECT_EQ(launch(0, 0, "kv-no-such-program-anywhere.exe", same), 1);
  EXPECT_STREQ(same, "untouched");
}

// ---------------------------------------------------------------- device
// finder

TEST_F(DeviceFinder, RecordFilledByAnotherProgramReadsBack) {
  std::string command = "\"" + kvwine::ProgramDir() + "kvdf_filler.exe\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                             nullptr, nullptr, &startup, &info))
      << GetLastError();
  CloseHandle(info.hThread);
  AtEnd([process = info.hProcess] {
    if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0)
      TerminateProcess(process, 1);
    CloseHandle(process);
  });
  ASSERT_EQ(WaitForSingleObject(info.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(info.hProcess, &code);
  EXPECT_EQ(code, 0u) << "the filler's getters disagreed (see its output)";
}

// ---------------------------------------------------------------- 9x exchange

using PortExchange = kvwine::CleanupTest;
using ExchangeFn = int(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR);

// The exchange deletes the monitor and writes its port records back, so its
// key is there again without the registration ("Driver"). The spooler takes
// such a key over: the monitor can be added again and keeps the records.
// The sample monitor stands in for the maker's.
TEST_F(PortExchange, MonitorCanBeAddedAgainAfterTheExchange) {
  auto exchange = kvwine::Export<ExchangeFn>("StdTcpIpPortSet9x");
  auto add = kvwine::Export<AddMonitorFn>("Add_Monitor");
  ASSERT_TRUE(exchange && add);
  static const char* const monitor = "KV-Relay3100 Port";
  ASSERT_FALSE(MonitorListed(monitor)) << "left over from an earlier run";
  HKEY key;
  const bool hadPortsKey =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRelayPorts.c_str(), 0, KEY_READ,
                    &key) == ERROR_SUCCESS;
  if (hadPortsKey) RegCloseKey(key);
  char dir[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(dir, sizeof dir), 0u);
  const std::string dll = std::string(dir) + "\\kvtstmon.dll";
  char temp[MAX_PATH];
  ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
  const std::string sii = std::string(temp) + "kvexchange.sii";
  AtEnd([dll, sii, hadPortsKey] {
    HKEY ports;
    DeleteMonitorA(nullptr, nullptr, const_cast<LPSTR>(monitor));
    DeleteTree(kMonitors + monitor);
    if (hadPortsKey && RegCreateKeyA(HKEY_LOCAL_MACHINE, kRelayPorts.c_str(),
                                     &ports) == ERROR_SUCCESS)
      RegCloseKey(ports);
    DeleteFileA(dll.c_str());
    DeleteFileA(sii.c_str());
  });
  ASSERT_TRUE(CopyFileA((kvwine::ProgramDir() + "kvtstmon.dll").c_str(),
                        dll.c_str(), FALSE));
  ASSERT_TRUE(
      WritePrivateProfileStringA("Files.Com", "Lmonn", monitor, sii.c_str()));
  MONITOR_INFO_2A info = {};
  info.pName = const_cast<LPSTR>(monitor);
  info.pEnvironment =
      const_cast<LPSTR>(kvwine::IsWin9x() ? "Windows 4.0" : "Windows NT x86");
  info.pDLLName = const_cast<LPSTR>("kvtstmon.dll");
  ASSERT_TRUE(AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&info)))
      << GetLastError();
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE,
                          (kRelayPorts + "\\KVWINE_OLD").c_str(), &key),
            ERROR_SUCCESS);
  RegSetValueExA(key, "HostName", 0, REG_SZ,
                 reinterpret_cast<const BYTE*>("old-host"), 9);
  RegCloseKey(key);

  ASSERT_EQ(exchange(nullptr, "KVWINE_NEW", "new-host", sii.c_str()), 1)
      << GetLastError();
  EXPECT_FALSE(MonitorListed(monitor));
  SetLastError(0xBADC0DE);
  EXPECT_EQ(add(monitor, "kvtstmon.dll"), 1) << GetLastError();
  EXPECT_TRUE(MonitorListed(monitor));
  ExpectValues(kRelayPorts + "\\KVWINE_OLD",
               {{"HostName", REG_SZ, Sz("old-host")}});
  bool hostWritten = false;
  for (const Value& v : ReadValues(kRelayPorts + "\\KVWINE_NEW"))
    hostWritten = hostWritten || (v.name == "HostName" && v.type == REG_SZ &&
                                  v.data == Sz("new-host"));
  EXPECT_TRUE(hostWritten);
}

}  // namespace
