// InstallPrinterMonitor against the real spooler: the sample monitor
// kvtstmon.dll is put in the system directory, a setup information file
// names it, and the export registers it.
// kv-wine-versions: nt40 win95 win98 winme win2k winxp
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "tests/wine/support/wine_test.h"

namespace {

using InstallFn = int(WINAPI*)(LPCSTR);

constexpr const char* kMonitorName = "KV Test Monitor";
constexpr const char* kMonitorDll = "kvtstmon.dll";
constexpr const char* kAbsentDll = "kvabsent.dll";
constexpr DWORD kSentinel = 0xBADC0DE;

// The file key and section this Windows family reads, and the environment
// the library names for it.
struct Family {
  const char* section;
  const char* key;
  const char* environment;
};

Family FamilyOf(const kvwine::VersionFacts& v) {
  switch (v.osKind) {
    case 1:
      return {"Files.NT", "LmonmNT", "Windows NT x86"};
    case 2:
      return {"Files.9x", "Lmonm9x", "Windows 4.0"};
    default:
      return {"Files.2K", "Lmonm2K", "Windows NT x86"};
  }
}

const Family kAllFamilies[] = {{"Files.NT", "LmonmNT", "Windows NT x86"},
                               {"Files.9x", "Lmonm9x", "Windows 4.0"},
                               {"Files.2K", "Lmonm2K", "Windows NT x86"}};

std::vector<BYTE> ListMonitors(DWORD level, DWORD* count) {
  DWORD needed = 0;
  *count = 0;
  EnumMonitorsA(nullptr, level, nullptr, 0, &needed, count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  if (!EnumMonitorsA(nullptr, level, buffer.data(), needed, &needed, count)) {
    ADD_FAILURE() << "EnumMonitorsA level " << level << " failed, error "
                  << GetLastError();
    *count = 0;
  }
  return buffer;
}

bool MonitorListed(const char* name) {
  DWORD count = 0;
  auto buffer = ListMonitors(1, &count);
  auto* info = reinterpret_cast<MONITOR_INFO_1A*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (lstrcmpiA(info[i].pName, name) == 0) return true;
  return false;
}

// The monitor DLL in the system directory and a setup information file in
// a folder of its own; everything, the monitor's registration included, is
// taken away again so the prefix is left as found.
class MonitorInstall : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(MonitorListed(kMonitorName))
        << "left over from an earlier run";
    char dir[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(dir, sizeof dir), 0u);
    systemDll_ = std::string(dir) + "\\" + kMonitorDll;
    ASSERT_TRUE(CopyFileA((kvwine::ProgramDir() + kMonitorDll).c_str(),
                          systemDll_.c_str(), FALSE))
        << "copying the fixture monitor, error " << GetLastError();

    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
    folder_ = std::string(temp) + "kvmontest";
    CreateDirectoryA(folder_.c_str(), nullptr);
    sii_ = folder_ + "\\monitor.sii";
    DeleteFileA(sii_.c_str());
  }

  void TearDown() override {
    // Wine keeps one monitor list whatever the environment; Windows keeps
    // one per environment, so both names are tried.
    for (const char* env : {"Windows NT x86", "Windows 4.0"})
      DeleteMonitorA(nullptr, const_cast<LPSTR>(env),
                     const_cast<LPSTR>(kMonitorName));
    EXPECT_FALSE(MonitorListed(kMonitorName));
    if (!systemDll_.empty()) {
      EXPECT_TRUE(DeleteFileA(systemDll_.c_str()))
          << "error " << GetLastError();
    }
    DeleteFileA(sii_.c_str());
    RemoveDirectoryA(folder_.c_str());
  }

  void Write(const char* section, const char* key, const char* value) {
    ASSERT_TRUE(WritePrivateProfileStringA(section, key, value, sii_.c_str()));
  }

  // Names the monitor, with the fixture as the file of `good` and a DLL
  // that does not exist as the file of the other families: only the key
  // of the running family leads to a monitor that loads.
  void WriteSii(const char* name, const Family& good) {
    Write("Files.Com", "Lmonn", name);
    for (const Family& f : kAllFamilies)
      Write(f.section, f.key, f.key == good.key ? kMonitorDll : kAbsentDll);
  }

  int Install() {
    auto install = kvwine::Export<InstallFn>("InstallPrinterMonitor");
    if (!install) return -1;
    SetLastError(kSentinel);
    return install(sii_.c_str());
  }

  std::string systemDll_, folder_, sii_;
};

TEST_F(MonitorInstall, RegistersTheMonitorOnce) {
  const Family family = FamilyOf(kvwine::Version());
  WriteSii(kMonitorName, family);

  ASSERT_EQ(Install(), 1) << "error " << GetLastError();
  EXPECT_TRUE(MonitorListed(kMonitorName));

  DWORD count = 0;
  auto buffer = ListMonitors(2, &count);
  auto* info = reinterpret_cast<MONITOR_INFO_2A*>(buffer.data());
  const MONITOR_INFO_2A* ours = nullptr;
  for (DWORD i = 0; i < count; ++i)
    if (lstrcmpiA(info[i].pName, kMonitorName) == 0) ours = &info[i];
  ASSERT_NE(ours, nullptr);
  EXPECT_STRCASEEQ(ours->pDLLName, kMonitorDll);
  // Wine keeps one monitor list and reports it as "Windows NT x86" at every
  // version, even after a 9x registration under "Windows 4.0"; Windows 9x
  // lists its monitors under "Windows 4.0".
  EXPECT_STREQ(ours->pEnvironment, "Windows NT x86");

  // The spooler refuses a second registration, and the library leaves the
  // spooler's reason as the last error. Wine says
  // ERROR_PRINT_MONITOR_ALREADY_INSTALLED at every version, as Windows NT
  // does; Windows 9x is said to answer ERROR_ALREADY_EXISTS instead.
  EXPECT_EQ(Install(), 0);
  EXPECT_EQ(GetLastError(),
            static_cast<DWORD>(ERROR_PRINT_MONITOR_ALREADY_INSTALLED));
  EXPECT_TRUE(MonitorListed(kMonitorName));
}

// Each family's key alone names the loadable monitor: only the running
// family's key may lead to a registration, which shows the OS kind the
// library chose through an export.
TEST_F(MonitorInstall, ReadsOnlyTheFileKeyOfTheRunningFamily) {
  const Family family = FamilyOf(kvwine::Version());
  for (const Family& f : kAllFamilies) {
    SCOPED_TRACE(f.key);
    WriteSii(kMonitorName, f);
    const bool ours = f.key == family.key;
    EXPECT_EQ(Install(), ours ? 1 : 0);
    if (!ours) {
      // Wine's spooler loads the monitor before it registers anything and
      // fails with ERROR_MOD_NOT_FOUND when it can't (Windows also loads
      // and initialises the monitor in AddMonitor).
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    }
    EXPECT_EQ(MonitorListed(kMonitorName), ours);
    DeleteMonitorA(nullptr, const_cast<LPSTR>(family.environment),
                   const_cast<LPSTR>(kMonitorName));
  }
}

TEST_F(MonitorInstall, EmptyMonitorNameIsRefused) {
  WriteSii("", FamilyOf(kvwine::Version()));
  EXPECT_EQ(Install(), 0);
  // Wine and Windows both refuse an empty name as an invalid parameter.
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(MonitorListed(""));
}

TEST_F(MonitorInstall, MissingSetupFileIsRefused) {
  // No file written: every key reads as empty.
  EXPECT_EQ(Install(), 0);
  EXPECT_NE(GetLastError(), kSentinel);
  EXPECT_FALSE(MonitorListed(kMonitorName));
}

TEST_F(MonitorInstall, MissingMonitorFileIsRefused) {
  const Family family = FamilyOf(kvwine::Version());
  WriteSii(kMonitorName, family);
  Write(family.section, family.key, nullptr);  // the running family's key gone
  EXPECT_EQ(Install(), 0);
  EXPECT_FALSE(MonitorListed(kMonitorName));
}

// What Wine's spooler does with the environment names themselves, called
// directly: the facts the simulated spooler is held against.
TEST_F(MonitorInstall, SpoolerEnvironmentNames) {
  struct Case {
    const char* environment;
    bool added;
    DWORD error;  // when refused
  };
  // Wine accepts "Windows 4.0" at every version, NT ones included (what
  // Windows NT answers for it in AddMonitor is not known here), and refuses
  // a name it does not know with ERROR_INVALID_ENVIRONMENT, as Windows does.
  const Case cases[] = {{"Windows NT x86", true, 0},
                        {"Windows 4.0", true, 0},
                        {"Windows NT Bogus", false, ERROR_INVALID_ENVIRONMENT},
                        {"Windows 3.1", false, ERROR_INVALID_ENVIRONMENT}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.environment);
    MONITOR_INFO_2A info = {};
    info.pName = const_cast<LPSTR>(kMonitorName);
    info.pEnvironment = const_cast<LPSTR>(c.environment);
    info.pDLLName = const_cast<LPSTR>(kMonitorDll);
    SetLastError(kSentinel);
    const BOOL added = AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    EXPECT_EQ(added != FALSE, c.added);
    if (!c.added) {
      EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(MonitorListed(kMonitorName), c.added);
    DeleteMonitorA(nullptr, const_cast<LPSTR>(c.environment),
                   const_cast<LPSTR>(kMonitorName));
    EXPECT_FALSE(MonitorListed(kMonitorName));
  }
}

}  // namespace
