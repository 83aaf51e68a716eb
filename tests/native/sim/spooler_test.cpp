// The simulated spooler: port monitors (Windows' refusals and error codes,
// the registry records, the enumeration layout in the caller's buffer), the
// driver and print processor lists, and the refusals of drivers, processors and
// printers the registration meets.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "foundation/registry_paths.h"
#include "sim/sim_services.h"
#include "tests/native/support/printer_support.h"
#include "tests/native/support/sim_fixture.h"
#include "tests/native/support/windows_keys.h"

namespace kv {
namespace {

using sim::WindowsVersion;
using test::SimMachine;

constexpr DWORD kSentinel = 0xBEEF;
constexpr DWORD kUnknownPrintMonitor = 3000;
const char kMonitors[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";

BOOL Add(sim::SimPlatform& os, const char* name, const char* env,
         const char* dll) {
  MONITOR_INFO_2A mi{const_cast<LPSTR>(name), const_cast<LPSTR>(env),
                     const_cast<LPSTR>(dll)};
  return os.AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&mi));
}

// Names (level 1) or "name|environment|dll" (level 2) of every monitor.
std::vector<std::string> Enum(sim::SimPlatform& os, DWORD level) {
  DWORD needed = 0, returned = 0;
  os.SetLastError(kSentinel);
  EXPECT_FALSE(
      os.EnumMonitorsA(nullptr, level, nullptr, 0, &needed, &returned));
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  // One byte short still fails, and nothing is written past the buffer.
  std::vector<BYTE> buf(needed + 16, 0xCC);
  EXPECT_FALSE(os.EnumMonitorsA(nullptr, level, buf.data(), needed - 1, &needed,
                                &returned));
  EXPECT_EQ(returned, 0u);
  for (size_t i = needed - 1; i < buf.size(); ++i) EXPECT_EQ(buf[i], 0xCC);
  EXPECT_TRUE(
      os.EnumMonitorsA(nullptr, level, buf.data(), needed, &needed, &returned));
  for (size_t i = needed; i < buf.size(); ++i) EXPECT_EQ(buf[i], 0xCC);
  std::vector<std::string> out;
  const BYTE* lo = buf.data();
  const BYTE* hi = buf.data() + needed;
  auto inside = [&](LPSTR s) {
    const BYTE* p = reinterpret_cast<const BYTE*>(s);
    EXPECT_TRUE(p >= lo && p < hi);
    return std::string(s);
  };
  for (DWORD i = 0; i < returned; ++i) {
    if (level == 1) {
      auto* r = reinterpret_cast<MONITOR_INFO_1A*>(buf.data()) + i;
      out.push_back(inside(r->pName));
    } else {
      auto* r = reinterpret_cast<MONITOR_INFO_2A*>(buf.data()) + i;
      out.push_back(inside(r->pName) + "|" + inside(r->pEnvironment) + "|" +
                    inside(r->pDLLName));
    }
  }
  return out;
}

TEST(SimSpooler, MachineStartsWithTheLocalPortMonitor) {
  SimMachine nt(WindowsVersion::XP);
  EXPECT_EQ(Enum(nt.os(), 2),
            std::vector<std::string>{"Local Port|Windows NT x86|localspl.dll"});
  SimMachine w9x(WindowsVersion::Win98);
  EXPECT_EQ(Enum(w9x.os(), 1), std::vector<std::string>{"Local Port"});
}

TEST(SimSpooler, AddMonitorRefusesAsWindows) {
  for (WindowsVersion v : {WindowsVersion::XP, WindowsVersion::Win95}) {
    SimMachine m(v);
    auto& os = m.os();
    const bool nt = !sim::IsWin9x(v);
    const char* env = nt ? "Windows NT x86" : "Windows 4.0";
    const char* other = nt ? "Windows 4.0" : "Windows NT x86";
    ASSERT_TRUE(os.WriteTextFile(os.systemDir() + "\\kvmon.dll", "MZ"));
    struct Case {
      const char* what;
      const char* name;
      const char* env;
      const char* dll;
      DWORD error;
    } cases[] = {
        {"null name", nullptr, env, "kvmon.dll", ERROR_INVALID_PARAMETER},
        {"empty name", "", env, "kvmon.dll", ERROR_INVALID_PARAMETER},
        {"other environment", "KV Port", other, "kvmon.dll",
         ERROR_INVALID_ENVIRONMENT},
        {"no environment", "KV Port", nullptr, "kvmon.dll",
         ERROR_INVALID_ENVIRONMENT},
        {"no DLL", "KV Port", env, "", ERROR_INVALID_PARAMETER},
        {"DLL missing", "KV Port", env, "nomon.dll", ERROR_MOD_NOT_FOUND},
        {"added", "KV Port", env, "kvmon.dll", 0},
        {"twice", "kv port", env, "kvmon.dll",
         ERROR_PRINT_MONITOR_ALREADY_INSTALLED},
    };
    for (const auto& c : cases) {
      os.SetLastError(kSentinel);
      EXPECT_EQ(Add(os, c.name, c.env, c.dll), c.error ? FALSE : TRUE)
          << c.what;
      EXPECT_EQ(os.GetLastError(), c.error ? c.error : kSentinel) << c.what;
    }
    MONITOR_INFO_2A mi{const_cast<LPSTR>("X"), const_cast<LPSTR>(env),
                       const_cast<LPSTR>("kvmon.dll")};
    os.SetLastError(kSentinel);
    EXPECT_FALSE(os.AddMonitorA(nullptr, 1, reinterpret_cast<LPBYTE>(&mi)));
    EXPECT_EQ(os.GetLastError(), DWORD{ERROR_INVALID_LEVEL});

    // Kept where Windows keeps it.
    sim::RegNode* node =
        os.FindKey(HKEY_LOCAL_MACHINE, std::string(kMonitors) + "\\KV Port");
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(node->values.count("Driver"), 1u);
    const auto& data = node->values.at("Driver").data;
    EXPECT_EQ(node->values.at("Driver").type, DWORD{REG_SZ});
    EXPECT_EQ(std::string(data.begin(), data.end()),
              std::string("kvmon.dll", 10));
    EXPECT_EQ(Enum(os, 2)[0], std::string("KV Port|") + env + "|kvmon.dll");
  }
}

TEST(SimSpooler, DeleteMonitor) {
  SimMachine m(WindowsVersion::Win2000);
  auto& os = m.os();
  ASSERT_TRUE(os.WriteTextFile(os.systemDir() + "\\kvmon.dll", "MZ"));
  ASSERT_TRUE(Add(os, "KV Port", "Windows NT x86", "kvmon.dll"));
  // A handle open on the monitor's key sees it deleted, and stays valid.
  HKEY key = nullptr;
  ASSERT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                             (std::string(kMonitors) + "\\KV Port").c_str(), 0,
                             KEY_READ, &key),
            ERROR_SUCCESS);
  os.SetLastError(kSentinel);
  EXPECT_FALSE(os.DeleteMonitorA(nullptr, "Windows 4.0", "KV Port"));
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_INVALID_ENVIRONMENT});
  os.SetLastError(kSentinel);
  EXPECT_FALSE(os.DeleteMonitorA(nullptr, nullptr, "No Such Port"));
  EXPECT_EQ(os.GetLastError(), kUnknownPrintMonitor);
  os.SetLastError(kSentinel);
  EXPECT_TRUE(os.DeleteMonitorA(nullptr, "windows nt x86", "kv PORT"));
  EXPECT_EQ(os.GetLastError(), kSentinel);
  EXPECT_EQ(
      os.FindKey(HKEY_LOCAL_MACHINE, std::string(kMonitors) + "\\KV Port"),
      nullptr);
  EXPECT_EQ(Enum(os, 1), std::vector<std::string>{"Local Port"});
  EXPECT_EQ(os.RegCloseKey(key), ERROR_SUCCESS);
  os.SetLastError(kSentinel);
  EXPECT_FALSE(os.DeleteMonitorA(nullptr, nullptr, "KV Port"));
  EXPECT_EQ(os.GetLastError(), kUnknownPrintMonitor);
  // Added again after removal.
  EXPECT_TRUE(Add(os, "KV Port", "Windows NT x86", "kvmon.dll"));
}

TEST(SimSpooler, EnumMonitorsArguments) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  DWORD needed = 0, returned = 0;
  BYTE buf[512];
  os.SetLastError(kSentinel);
  EXPECT_FALSE(
      os.EnumMonitorsA(nullptr, 3, buf, sizeof buf, &needed, &returned));
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_INVALID_LEVEL});
  // Several monitors: records first, in name order, strings after them.
  ASSERT_TRUE(os.WriteTextFile(os.systemDir() + "\\a.dll", "MZ"));
  ASSERT_TRUE(Add(os, "Alpha Port", "Windows NT x86", "a.dll"));
  ASSERT_TRUE(Add(os, "Zulu Port", "Windows NT x86", "a.dll"));
  EXPECT_EQ(Enum(os, 1), (std::vector<std::string>{"Alpha Port", "Local Port",
                                                   "Zulu Port"}));
  ASSERT_TRUE(
      os.EnumMonitorsA(nullptr, 1, buf, sizeof buf, &needed, &returned));
  EXPECT_EQ(needed, 3 * sizeof(MONITOR_INFO_1A) + 11 + 11 + 10);
}

// What an enumeration answers: its error, or the records it listed.
struct Listed {
  DWORD error = 0;
  std::vector<std::string> items;
  bool operator==(const Listed& o) const {
    return error == o.error && items == o.items;
  }
};

std::ostream& operator<<(std::ostream& out, const Listed& l) {
  out << "error " << l.error << " {";
  for (const auto& i : l.items) out << " \"" << i << "\"";
  return out << " }";
}

using EnumCall = std::function<BOOL(LPBYTE, DWORD, LPDWORD, LPDWORD)>;
// Record `index` of a filled buffer as text; `text` reads a string of it.
using Decode = std::function<std::string(
    const BYTE*, DWORD, const std::function<std::string(LPCSTR)>&)>;

// Runs an enumeration as a caller does, checking Windows' buffer rules on
// the way: no buffer asks for the size (an empty list succeeds needing
// nothing), a buffer one byte short is refused and not written past, the
// strings lie inside the bytes asked for.
Listed List(sim::SimPlatform& os, const EnumCall& call, const Decode& decode) {
  Listed out;
  DWORD needed = 7, returned = 7;
  os.SetLastError(kSentinel);
  if (call(nullptr, 0, &needed, &returned)) {
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(os.GetLastError(), kSentinel);
    return out;
  }
  if (os.GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    out.error = os.GetLastError();
    return out;
  }
  std::vector<BYTE> buf(needed + 16, 0xCC);
  EXPECT_FALSE(call(buf.data(), needed - 1, &needed, &returned));
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(buf[needed - 1], 0xCC);
  EXPECT_TRUE(call(buf.data(), needed, &needed, &returned));
  for (size_t i = needed; i < buf.size(); ++i) EXPECT_EQ(buf[i], 0xCC);
  const BYTE* lo = buf.data();
  const BYTE* hi = buf.data() + needed;
  auto text = [&](LPCSTR s) {
    const BYTE* p = reinterpret_cast<const BYTE*>(s);
    EXPECT_TRUE(p >= lo && p < hi);
    return s && p >= lo && p < hi ? std::string(s) : std::string("?");
  };
  for (DWORD i = 0; i < returned; ++i)
    out.items.push_back(decode(buf.data(), i, text));
  return out;
}

template <typename Record>
Record RecordAt(const BYTE* buf, DWORD index) {
  Record r;
  std::memcpy(&r, buf + index * sizeof r, sizeof r);
  return r;
}

// Level 1: the name; 2: "version|name|environment|driver|data|config";
// 3: level 2's and "|dependents;...|monitor".
std::string DriverText(const BYTE* buf, DWORD index, DWORD level,
                       const std::function<std::string(LPCSTR)>& text) {
  if (level == 1) return text(RecordAt<DRIVER_INFO_1A>(buf, index).pName);
  DRIVER_INFO_3A r{};
  if (level == 2) {
    const auto r2 = RecordAt<DRIVER_INFO_2A>(buf, index);
    std::memcpy(&r, &r2, sizeof r2);
  } else {
    r = RecordAt<DRIVER_INFO_3A>(buf, index);
  }
  std::string s = std::to_string(r.cVersion) + "|" + text(r.pName) + "|" +
                  text(r.pEnvironment) + "|" + text(r.pDriverPath) + "|" +
                  text(r.pDataFile) + "|" + text(r.pConfigFile);
  if (level == 2) return s;
  s += "|";
  for (LPCSTR p = r.pDependentFiles; p && *p; p += std::strlen(p) + 1)
    s += text(p) + ";";
  return s + "|" + text(r.pMonitorName);
}

// Adds driver `name` of `env` from stand-in files in its driver directory.
void AddDriver(sim::SimPlatform& os, std::string name, std::string env) {
  const std::string dir = sim::DriverDirectory(os, env);
  for (const char* f : {"kvd.dll", "kvd.ppd", "kvui.dll", "kvdep.dll"})
    ASSERT_TRUE(os.WriteTextFile(dir + "\\" + f, "MZ")) << f;
  std::string drv = "kvd.dll", data = "kvd.ppd", ui = "kvui.dll",
              mon = "KV Mon";
  char deps[] = "kvdep.dll\0";
  DRIVER_INFO_3A di = {};
  di.pName = &name[0];
  di.pEnvironment = &env[0];
  di.pDriverPath = &drv[0];
  di.pDataFile = &data[0];
  di.pConfigFile = &ui[0];
  di.pDependentFiles = deps;
  di.pMonitorName = &mon[0];
  ASSERT_TRUE(os.AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&di)))
      << name << " " << os.GetLastError();
}

// The drivers of the environment asked for, the machine's own when none is
// named; on 2000 and XP the version-2 drivers after the version-3 ones.
TEST(SimSpooler, EnumPrinterDriversListsOneEnvironment) {
  const std::string xp3 = "C:\\WINDOWS\\SYSTEM32\\spool\\drivers\\w32x86\\3\\";
  const std::string xp0 = "C:\\WINDOWS\\SYSTEM32\\spool\\drivers\\win40\\0\\";
  const std::string w98 = "C:\\WINDOWS\\SYSTEM\\";
  const struct {
    WindowsVersion version;
    const char* server;
    const char* env;
    DWORD level;
    Listed want;
  } cases[] = {
      {WindowsVersion::XP,
       nullptr,
       nullptr,
       1,
       {0, {"KV Alpha", "KV Beta", "KV Old"}}},
      {WindowsVersion::XP,
       nullptr,
       "windows nt x86",
       2,
       {0,
        {"3|KV Alpha|Windows NT x86|" + xp3 + "kvd.dll|" + xp3 + "kvd.ppd|" +
             xp3 + "kvui.dll",
         "3|KV Beta|Windows NT x86|" + xp3 + "kvd.dll|" + xp3 + "kvd.ppd|" +
             xp3 + "kvui.dll",
         "2|KV Old|Windows NT x86|C:\\WINDOWS\\SYSTEM32\\spool\\drivers\\"
         "w32x86\\2\\old.dll||"}}},
      {WindowsVersion::XP,
       nullptr,
       "Windows 4.0",
       3,
       {0,
        {"0|KV Nine|Windows 4.0|" + xp0 + "kvd.dll|" + xp0 + "kvd.ppd|" + xp0 +
         "kvui.dll|" + xp0 + "kvdep.dll;|KV Mon"}}},
      {WindowsVersion::XP,
       nullptr,
       "Windows IA64",
       1,
       {ERROR_INVALID_ENVIRONMENT, {}}},
      {WindowsVersion::XP, nullptr, nullptr, 4, {ERROR_INVALID_LEVEL, {}}},
      {WindowsVersion::XP, "\\\\other", nullptr, 1, {ERROR_INVALID_NAME, {}}},
      {WindowsVersion::NT4, nullptr, "Windows 4.0", 1, {0, {}}},
      {WindowsVersion::Win98,
       nullptr,
       nullptr,
       3,
       {0,
        {"0|KV Alpha|Windows 4.0|" + w98 + "kvd.dll|" + w98 + "kvd.ppd|" + w98 +
             "kvui.dll|" + w98 + "kvdep.dll;|KV Mon",
         "0|KV Beta|Windows 4.0|" + w98 + "kvd.dll|" + w98 + "kvd.ppd|" + w98 +
             "kvui.dll|" + w98 + "kvdep.dll;|KV Mon"}}},
      {WindowsVersion::Win98,
       nullptr,
       "Windows NT x86",
       1,
       {ERROR_INVALID_ENVIRONMENT, {}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(sim::WindowsVersionName(c.version)) + " " +
                 (c.env ? c.env : "(own)") + " level " +
                 std::to_string(c.level));
    SimMachine m(c.version);
    auto& os = m.os();
    if (c.version != WindowsVersion::NT4) {
      const char* own =
          sim::IsWin9x(c.version) ? "Windows 4.0" : "Windows NT x86";
      AddDriver(os, "KV Beta", own);
      AddDriver(os, "KV Alpha", own);
    }
    if (c.version == WindowsVersion::XP) {
      AddDriver(os, "KV Nine", "Windows 4.0");
      // A driver left by an upgrade from NT 4.0.
      HKEY key = nullptr;
      ASSERT_EQ(os.RegCreateKeyA(HKEY_LOCAL_MACHINE,
                                 "SYSTEM\\CurrentControlSet\\Control\\Print\\"
                                 "Environments\\Windows NT x86\\Drivers\\"
                                 "Version-2\\KV Old",
                                 &key),
                ERROR_SUCCESS);
      const DWORD two = 2;
      os.RegSetValueExA(key, "Version", 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&two), sizeof two);
      os.RegSetValueExA(key, "Driver", 0, REG_SZ,
                        reinterpret_cast<const BYTE*>("old.dll"), 8);
      os.RegCloseKey(key);
    }
    const Listed got = List(
        os,
        [&](LPBYTE b, DWORD s, LPDWORD n, LPDWORD r) {
          return os.EnumPrinterDriversA(c.server, c.env, c.level, b, s, n, r);
        },
        [&](const BYTE* b, DWORD i, const auto& text) {
          return DriverText(b, i, c.level, text);
        });
    EXPECT_EQ(got, c.want);
  }
}

// The print processors of an environment, level 1 only.
TEST(SimSpooler, EnumPrintProcessorsListsOneEnvironment) {
  const struct {
    WindowsVersion version;
    const char* env;
    DWORD level;
    Listed want;
  } cases[] = {
      {WindowsVersion::XP, nullptr, 1, {0, {"KV Proc", "WinPrint"}}},
      {WindowsVersion::Win2000,
       "Windows NT x86",
       1,
       {0, {"KV Proc", "WinPrint"}}},
      {WindowsVersion::XP, "Windows 4.0", 1, {0, {}}},
      {WindowsVersion::XP, "Windows IA64", 1, {ERROR_INVALID_ENVIRONMENT, {}}},
      {WindowsVersion::XP, nullptr, 2, {ERROR_INVALID_LEVEL, {}}},
      {WindowsVersion::Win95, nullptr, 1, {0, {"KV Proc", "WinPrint"}}},
      {WindowsVersion::Win95,
       "Windows NT x86",
       1,
       {ERROR_INVALID_ENVIRONMENT, {}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(sim::WindowsVersionName(c.version)) + " " +
                 (c.env ? c.env : "(own)") + " level " +
                 std::to_string(c.level));
    SimMachine m(c.version);
    auto& os = m.os();
    ASSERT_TRUE(
        os.WriteTextFile(sim::PrintProcessorDirectory(os) + "\\kvp.dll", "MZ"));
    ASSERT_TRUE(os.AddPrintProcessorA(nullptr, nullptr, "kvp.dll", "KV Proc"));
    const Listed got = List(
        os,
        [&](LPBYTE b, DWORD s, LPDWORD n, LPDWORD r) {
          return os.EnumPrintProcessorsA(nullptr, c.env, c.level, b, s, n, r);
        },
        [&](const BYTE* b, DWORD i, const auto& text) {
          return text(RecordAt<PRINTPROCESSOR_INFO_1A>(b, i).pName);
        });
    EXPECT_EQ(got, c.want);
  }
}

// The spooler's refusals that the registration steps pass on.
TEST(SimSpooler, RefusalsFollowWindows) {
  SimMachine m(WindowsVersion::Win2000);
  test::PlaceMedium(m);
  auto& os = m.os();
  std::string name = "KV", env = "Windows NT x86", drv = "kvdrv2k.dll",
              data = "kvdata.ppd", ui = "kvui2k.dll";
  DRIVER_INFO_3A di = {};
  di.pName = &name[0];
  di.pEnvironment = &env[0];
  di.pDriverPath = &drv[0];
  di.pDataFile = &data[0];
  di.pConfigFile = &ui[0];

  std::string badEnv = "Windows IA64";
  di.pEnvironment = &badEnv[0];
  os.SetLastError(kSentinel);
  EXPECT_FALSE(os.AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&di)));
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_INVALID_ENVIRONMENT));
  di.pEnvironment = &env[0];
  std::string missing = "missing.dll";
  di.pDriverPath = &missing[0];
  os.SetLastError(kSentinel);
  EXPECT_FALSE(os.AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&di)));
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  di.pDriverPath = &drv[0];
  EXPECT_TRUE(os.AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&di)));

  os.SetLastError(kSentinel);
  EXPECT_FALSE(os.AddPrintProcessorA(nullptr, "Windows NT x86", "kvproc2k.dll",
                                     "WinPrint"));
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED));

  std::string printer = "P", port = "LPT1:", proc = "WinPrint", raw = "RAW",
              unknown = "Other";
  PRINTER_INFO_2A pi = {};
  pi.pPrinterName = &printer[0];
  pi.pPortName = &port[0];
  pi.pDriverName = &unknown[0];
  pi.pPrintProcessor = &proc[0];
  pi.pDatatype = &raw[0];
  os.SetLastError(kSentinel);
  EXPECT_EQ(os.AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&pi)), nullptr);
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER));
  pi.pDriverName = &name[0];
  HANDLE h = os.AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&pi));
  ASSERT_NE(h, nullptr);
  os.SetLastError(kSentinel);
  EXPECT_EQ(os.AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&pi)), nullptr);
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_PRINTER_ALREADY_EXISTS));
  os.SetLastError(kSentinel);
  EXPECT_FALSE(os.DeletePrinterDriverA(nullptr, nullptr, "KV"));
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_PRINTER_DRIVER_IN_USE));

  // Device mode: size first, then the driver's default.
  const LONG size =
      os.DocumentPropertiesA(nullptr, h, "KV", nullptr, nullptr, 0);
  ASSERT_GT(size, LONG(sizeof(DEVMODEA)));
  std::vector<BYTE> dm(size);
  EXPECT_EQ(os.DocumentPropertiesA(nullptr, h, "KV",
                                   reinterpret_cast<PDEVMODEA>(dm.data()),
                                   nullptr, DM_OUT_BUFFER),
            IDOK);
  EXPECT_STREQ(reinterpret_cast<const char*>(dm.data()), "KV");

  // Enumeration at every level, with a too-small buffer first.
  for (DWORD level : {1u, 2u, 4u}) {
    DWORD needed = 0, returned = 7;
    os.SetLastError(kSentinel);
    EXPECT_FALSE(os.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, level, nullptr,
                                  0, &needed, &returned));
    EXPECT_EQ(os.GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> buf(needed);
    EXPECT_TRUE(os.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, level, buf.data(),
                                 needed, &needed, &returned));
    EXPECT_EQ(returned, 1u);
  }
  EXPECT_TRUE(os.DeletePrinter(h));
  os.SetLastError(kSentinel);
  EXPECT_FALSE(os.GetPrinterA(h, 2, nullptr, 0, nullptr));
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(os.ClosePrinter(h));
  EXPECT_FALSE(os.ClosePrinter(h));
  EXPECT_TRUE(os.DeletePrinterDriverA(nullptr, nullptr, "KV"));
  EXPECT_EQ(sim::OpenPrinterHandles(os), 0u);
}

// What a printer brings beside its key ([Devices] and [PrinterPorts], the
// timeouts, a new driver's "Previous Names"), what DeletePrinter takes with
// it, and the removal refusals: an unknown driver or monitor, a driver or a
// monitor's port still used by a printer. On the NT family a printer whose
// records were deleted is gone once the spooler restarts.
TEST(SimSpooler, PrinterEntriesAndRemovalRefusals) {
  const std::string devicesKey =
      "Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices";
  const std::string portsKey =
      "Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts";
  const struct {
    WindowsVersion version;
    const char *env, *driverFile, *uiFile, *field;
    bool previousNames;
  } cases[] = {
      {WindowsVersion::Win98, "Windows 4.0", "KVDRV.DRV", "KVUI.DLL", "KVDRV",
       false},
      {WindowsVersion::NT4, "Windows NT x86", "kvdrvnt.dll", "kvuint.dll",
       "winspool", false},
      {WindowsVersion::XP, "Windows NT x86", "kvdrv2k.dll", "kvui2k.dll",
       "winspool", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(sim::WindowsVersionName(c.version));
    SimMachine m(c.version);
    test::PlaceMedium(m);
    auto& os = m.os();
    const bool is9x = sim::IsWin9x(c.version);
    ASSERT_TRUE(os.WriteTextFile(os.systemDir() + "\\kvmon.dll", "MZ"));
    ASSERT_TRUE(Add(os, "KV Port", c.env, "kvmon.dll"));
    // A port record of the monitor, as its port-adding dialog writes it.
    const auto addPortRecord = [&os] {
      HKEY port = nullptr;
      ASSERT_EQ(os.RegCreateKeyA(
                    HKEY_LOCAL_MACHINE,
                    (std::string(kMonitors) + "\\KV Port\\Ports\\KV1").c_str(),
                    &port),
                ERROR_SUCCESS);
      os.RegCloseKey(port);
    };
    addPortRecord();

    os.SetLastError(kSentinel);
    EXPECT_FALSE(os.DeletePrinterDriverA(nullptr, nullptr, "KV"));
    EXPECT_EQ(os.GetLastError(), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER));
    std::string name = "KV", env = c.env, drv = c.driverFile,
                data = "kvdata.ppd", ui = c.uiFile;
    DRIVER_INFO_3A di = {};
    di.pName = &name[0];
    di.pEnvironment = &env[0];
    di.pDriverPath = &drv[0];
    di.pDataFile = &data[0];
    di.pConfigFile = &ui[0];
    ASSERT_TRUE(
        os.AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&di)));
    const std::string driverKey = std::string(is9x ? test::kWin9xDriversKey
                                              : c.version == WindowsVersion::NT4
                                                  ? test::kWinNt4DriversKey
                                                  : test::kWinNt5DriversKey) +
                                  "\\KV";
    sim::RegNode* driver = os.FindKey(HKEY_LOCAL_MACHINE, driverKey);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->values.count("Previous Names"),
              c.previousNames ? 1u : 0u);

    HANDLE printers[2] = {};
    for (int i = 0; i < 2; ++i) {
      std::string printer = "KV P" + std::to_string(i), portName = "KV1",
                  proc = "WinPrint";
      PRINTER_INFO_2A pi = {};
      pi.pPrinterName = &printer[0];
      pi.pPortName = &portName[0];
      pi.pDriverName = &name[0];
      pi.pPrintProcessor = &proc[0];
      printers[i] = os.AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&pi));
      ASSERT_NE(printers[i], nullptr);
      EXPECT_TRUE(os.ClosePrinter(printers[i]));
    }
    const std::string devices = std::string(c.field) + ",KV1";
    auto entry = [&](const std::string& key, const char* section,
                     const char* printer) {
      if (!is9x) return test::RegString(m, HKEY_CURRENT_USER, key, printer);
      char value[256] = {};
      os.GetProfileStringA(section, printer, "(no value)", value, sizeof value);
      return std::string(value);
    };
    EXPECT_EQ(entry(devicesKey, "Devices", "KV P0"), devices);
    EXPECT_EQ(entry(portsKey, "PrinterPorts", "KV P0"), devices + ",15,45");
    EXPECT_EQ(test::RegDword(m, HKEY_LOCAL_MACHINE, test::PrinterPath("KV P0"),
                             "dnsTimeout"),
              15000u);
    EXPECT_EQ(test::RegDword(m, HKEY_LOCAL_MACHINE, test::PrinterPath("KV P0"),
                             "txTimeout"),
              45000u);

    os.SetLastError(kSentinel);
    EXPECT_FALSE(os.DeleteMonitorA(nullptr, nullptr, "KV Port"));
    EXPECT_EQ(os.GetLastError(), DWORD(ERROR_PRINT_MONITOR_IN_USE));
    os.SetLastError(kSentinel);
    EXPECT_FALSE(os.DeletePrinterDriverA(nullptr, nullptr, "KV"));
    EXPECT_EQ(os.GetLastError(), DWORD(ERROR_PRINTER_DRIVER_IN_USE));

    HANDLE h = nullptr;
    ASSERT_TRUE(os.OpenPrinterA(const_cast<LPSTR>("KV P0"), &h, nullptr));
    EXPECT_TRUE(os.DeletePrinter(h));
    EXPECT_TRUE(os.ClosePrinter(h));
    EXPECT_EQ(entry(devicesKey, "Devices", "KV P0"), "(no value)");
    EXPECT_EQ(entry(portsKey, "PrinterPorts", "KV P0"), "(no value)");
    EXPECT_EQ(entry(devicesKey, "Devices", "KV P1"), devices);

    if (!is9x) {
      // Only the records go; the restarted spooler no longer has the printer.
      ASSERT_EQ(os.RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                                 test::PrinterPath("KV P1").c_str()),
                ERROR_SUCCESS);
      sim::SetServiceState(os, "Spooler", SERVICE_STOPPED);
      sim::SetServiceState(os, "Spooler", SERVICE_RUNNING);
      DWORD needed = 0, returned = 7;
      EXPECT_TRUE(os.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0,
                                   &needed, &returned));
      EXPECT_EQ(returned, 0u);
      h = nullptr;
      EXPECT_FALSE(os.OpenPrinterA(const_cast<LPSTR>("KV P1"), &h, nullptr));
    } else {
      ASSERT_TRUE(os.OpenPrinterA(const_cast<LPSTR>("KV P1"), &h, nullptr));
      EXPECT_TRUE(os.DeletePrinter(h));
      EXPECT_TRUE(os.ClosePrinter(h));
    }
    EXPECT_TRUE(os.DeletePrinterDriverA(nullptr, nullptr, "KV"));
    EXPECT_TRUE(os.DeleteMonitorA(nullptr, nullptr, "KV Port"));
    // Port records without their monitor are no monitor.
    addPortRecord();
    os.SetLastError(kSentinel);
    EXPECT_FALSE(os.DeleteMonitorA(nullptr, nullptr, "KV Port"));
    EXPECT_EQ(os.GetLastError(), kUnknownPrintMonitor);
    EXPECT_EQ(sim::OpenPrinterHandles(os), 0u);
  }
}

// While the spooler service is not running, every spooler call of the NT
// family fails with RPC_S_SERVER_UNAVAILABLE; Windows 9x has no spooler
// service and answers as ever. A printer handle opened before the stop is
// refused too, and ClosePrinter still lets it go.
TEST(SimSpooler, StoppedSpoolerAnswersNothing) {
  constexpr DWORD kServerUnavailable = 1722;
  const struct {
    WindowsVersion version;
    DWORD state;
    DWORD error;  // 0: the call answers as with a running spooler
  } cases[] = {
      {WindowsVersion::NT4, SERVICE_STOPPED, kServerUnavailable},
      {WindowsVersion::Win2000, SERVICE_START_PENDING, kServerUnavailable},
      {WindowsVersion::XP, SERVICE_STOPPED, kServerUnavailable},
      {WindowsVersion::XP, SERVICE_STOP_PENDING, 0},
      {WindowsVersion::Win98, SERVICE_STOPPED, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(sim::WindowsVersionName(c.version)) + " state " +
                 std::to_string(c.state));
    SimMachine m(c.version);
    auto& os = m.os();
    HANDLE printer = nullptr;
    std::string name = "P", port = "LPT1:", drv = "None", proc = "WinPrint";
    PRINTER_INFO_2A pi = {};
    pi.pPrinterName = &name[0];
    pi.pPortName = &port[0];
    pi.pDriverName = &drv[0];
    pi.pPrintProcessor = &proc[0];
    DRIVER_INFO_3A di = {};
    di.pName = &drv[0];
    MONITOR_INFO_2A mi = {&name[0], nullptr, &drv[0]};
    BYTE buf[64];
    DWORD needed = 0, returned = 0;
    // Each call, answering true when it failed with the spooler's error.
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"AddPrinterA",
         [&] { return !os.AddPrinterA(nullptr, 2, (LPBYTE)&pi); }},
        {"OpenPrinterA",
         [&] { return !os.OpenPrinterA(&name[0], &printer, nullptr); }},
        {"EnumPrintersA",
         [&] {
           return !os.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 1, buf,
                                    sizeof buf, &needed, &returned);
         }},
        {"GetPrinterA",
         [&] { return !os.GetPrinterA(printer, 2, buf, sizeof buf, &needed); }},
        {"SetPrinterA",
         [&] { return !os.SetPrinterA(printer, 0, nullptr, 3); }},
        {"DocumentPropertiesA",
         [&] {
           return os.DocumentPropertiesA(nullptr, printer, "P", nullptr,
                                         nullptr, 0) < 0;
         }},
        {"GetPrinterDriverA",
         [&] {
           return !os.GetPrinterDriverA(printer, nullptr, 3, buf, sizeof buf,
                                        &needed);
         }},
        {"DeletePrinter", [&] { return !os.DeletePrinter(printer); }},
        {"ClosePrinter", [&] { return !os.ClosePrinter(printer); }},
        {"AddPrinterDriverA",
         [&] { return !os.AddPrinterDriverA(nullptr, 3, (LPBYTE)&di); }},
        {"DeletePrinterDriverA",
         [&] { return !os.DeletePrinterDriverA(nullptr, nullptr, "None"); }},
        {"GetPrinterDriverDirectoryA",
         [&] {
           return !os.GetPrinterDriverDirectoryA(nullptr, nullptr, 1, buf,
                                                 sizeof buf, &needed);
         }},
        {"AddPrintProcessorA",
         [&] {
           return !os.AddPrintProcessorA(nullptr, nullptr, "x.dll", "X");
         }},
        {"AddMonitorA",
         [&] { return !os.AddMonitorA(nullptr, 2, (LPBYTE)&mi); }},
        {"DeleteMonitorA",
         [&] { return !os.DeleteMonitorA(nullptr, nullptr, "P"); }},
        {"EnumMonitorsA",
         [&] {
           return !os.EnumMonitorsA(nullptr, 1, buf, sizeof buf, &needed,
                                    &returned);
         }},
        {"AddPortA",
         [&] { return !os.AddPortA(nullptr, nullptr, "Local Port"); }},
        {"DeletePortA",
         [&] { return !os.DeletePortA(nullptr, nullptr, "LPT9:"); }},
        {"EnumPortsA",
         [&] {
           return !os.EnumPortsA(nullptr, 1, buf, sizeof buf, &needed,
                                 &returned);
         }},
        {"EnumPrinterDriversA",
         [&] {
           return !os.EnumPrinterDriversA(nullptr, nullptr, 1, buf, sizeof buf,
                                          &needed, &returned);
         }},
        {"EnumPrintProcessorsA",
         [&] {
           return !os.EnumPrintProcessorsA(nullptr, nullptr, 1, buf, sizeof buf,
                                           &needed, &returned);
         }},
    };
    // A handle opened while the spooler ran, for the calls on a printer.
    ASSERT_TRUE(os.OpenPrinterA(nullptr, &printer, nullptr));
    sim::SetServiceState(os, "Spooler", c.state);
    for (const auto& call : calls) {
      SCOPED_TRACE(call.first);
      os.SetLastError(test::kStaleError);
      const bool failed = call.second();
      if (c.error) {
        EXPECT_TRUE(failed);
        EXPECT_EQ(os.GetLastError(), c.error);
      } else {
        EXPECT_NE(os.GetLastError(), kServerUnavailable);
      }
    }
    if (c.error) {
      // The handle went with the failed ClosePrinter.
      sim::SetServiceState(os, "Spooler", SERVICE_RUNNING);
      EXPECT_EQ(sim::OpenPrinterHandles(os), 0u);
      EXPECT_TRUE(os.OpenPrinterA(nullptr, &printer, nullptr));
      EXPECT_TRUE(os.ClosePrinter(printer));
    }
  }
}

}  // namespace
}  // namespace kv

namespace kv::test {
namespace {

// On code page 932 a name holding a character whose trail byte is 0x5C is
// one name, as Windows' spooler takes it; on 1252 the byte is a backslash.
TEST(SimSpooler, BackslashTrailBytesNameNoPath) {
  for (UINT codePage : {932u, 1252u}) {
    SimMachine m(sim::WindowsVersion::XP);
    auto& os = m.os();
    os.SetCodePage(codePage);
    ASSERT_TRUE(
        os.WriteTextFile(sim::PrintProcessorDirectory(os) + "\\kvp.dll", "MZ"));
    // Every Shift-JIS lead byte.
    for (int lead = 0x81; lead <= 0xFC; lead += lead == 0x9F ? 0x41 : 1) {
      const std::string name = std::string("KV ") + static_cast<char>(lead) +
                               "\\" + std::to_string(lead);
      EXPECT_EQ(
          os.AddPrintProcessorA(nullptr, nullptr, "kvp.dll", name.c_str()) != 0,
          codePage == 932)
          << lead << " at " << codePage;
    }
  }
}

}  // namespace
}  // namespace kv::test
