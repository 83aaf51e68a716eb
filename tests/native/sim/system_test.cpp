// Version records, error texts, memory blocks, the record, the clock and the
// string helpers of the simulated machine.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

using sim::WindowsVersion;
using test::SimMachine;

struct VersionCase {
  WindowsVersion version;
  DWORD platform, major, minor, build;
};

TEST(System, VersionRecordsAsTheRealSystemsReport) {
  // 9x builds carry major/minor in the high word (as Wine reports them).
  const VersionCase cases[] = {
      {WindowsVersion::Win32s, 0, 3, 10, 0},
      {WindowsVersion::NT351, 2, 3, 51, 1057},
      {WindowsVersion::NT4, 2, 4, 0, 1381},
      {WindowsVersion::Win95, 1, 4, 0, 0x040003B6},
      {WindowsVersion::Win98, 1, 4, 10, 0x040A08AE},
      {WindowsVersion::WinMe, 1, 4, 90, 0x045A0BB8},
      {WindowsVersion::Win2000, 2, 5, 0, 2195},
      {WindowsVersion::XP, 2, 5, 1, 2600},
      {WindowsVersion::Server2003, 2, 5, 2, 3790},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(sim::WindowsVersionName(c.version));
    SimMachine m(c.version);
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(m.os().GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, c.platform);
    EXPECT_EQ(info.dwMajorVersion, c.major);
    EXPECT_EQ(info.dwMinorVersion, c.minor);
    EXPECT_EQ(info.dwBuildNumber, c.build);
    sim::WindowsVersion parsed;
    ASSERT_TRUE(
        sim::ParseWindowsVersion(sim::WindowsVersionName(c.version), &parsed));
    EXPECT_EQ(parsed, c.version);
  }
  SimMachine nt4(WindowsVersion::NT4);
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(nt4.os().GetVersionExA(&info));
  EXPECT_STREQ(info.szCSDVersion, "Service Pack 6");
}

TEST(System, VersionRecordSizeMustBeExact) {
  SimMachine m(WindowsVersion::XP);
  // Wine answers 122 for every size but the two records, and leaves the
  // record untouched.
  for (DWORD size : {0u, 20u, DWORD(sizeof(OSVERSIONINFOA) - 1),
                     DWORD(sizeof(OSVERSIONINFOA) + 1)}) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = size;
    m.os().SetLastError(0xBAD);
    EXPECT_FALSE(m.os().GetVersionExA(&info)) << size;
    EXPECT_EQ(m.os().GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(info.dwMajorVersion, 0u);
  }
  BYTE extended[sizeof(OSVERSIONINFOA) + 8];
  std::memset(extended, 0xCC, sizeof extended);
  reinterpret_cast<OSVERSIONINFOA*>(extended)->dwOSVersionInfoSize =
      sizeof extended;
  ASSERT_TRUE(
      m.os().GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(extended)));
  EXPECT_EQ(reinterpret_cast<OSVERSIONINFOA*>(extended)->dwBuildNumber, 2600u);
}

TEST(System, SystemTextsAndUnknownCodes) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM |
                      FORMAT_MESSAGE_ALLOCATE_BUFFER |
                      FORMAT_MESSAGE_IGNORE_INSERTS;
  struct {
    DWORD code;
    const char* text;
  } cases[] = {
      {0, "The operation completed successfully.\r\n"},
      {5, "Access is denied.\r\n"},
      {1802, "The printer already exists.\r\n"},
      {3006, "The specified print monitor has already been installed.\r\n"},
  };
  for (const auto& c : cases) {
    char* text = nullptr;
    const DWORD n = os.FormatMessageA(flags, nullptr, c.code, 0x400,
                                      reinterpret_cast<LPSTR>(&text), 0);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(n, std::strlen(c.text));
    EXPECT_STREQ(text, c.text);
    EXPECT_EQ(os.LocalFree(text), nullptr);
  }
  char* text = reinterpret_cast<char*>(1);
  os.SetLastError(test::kStaleError);
  EXPECT_EQ(os.FormatMessageA(flags, nullptr, 0x7FFF0000, 0x400,
                              reinterpret_cast<LPSTR>(&text), 0),
            0u);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(os.GetLastError(), 317u);  // ERROR_MR_MID_NOT_FOUND
  EXPECT_EQ(os.LiveLocalBlocks(), 0u);
  // Freeing twice is a caller fault Windows reports.
  os.SetLastError(test::kStaleError);
  EXPECT_NE(os.LocalFree(reinterpret_cast<HLOCAL>(0x1234)), nullptr);
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST(System, GlobalBlocksAreTrackedAndZeroedOnRequest) {
  SimMachine m(WindowsVersion::Win98);
  auto& os = m.os();
  for (UINT flags : {UINT(GHND), UINT(GPTR), UINT(GMEM_MOVEABLE)}) {
    SCOPED_TRACE(flags);
    HGLOBAL h = os.GlobalAlloc(flags, 64);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(os.LiveGlobalBlocks(), 1u);
    auto* p = static_cast<BYTE*>(os.GlobalLock(h));
    ASSERT_NE(p, nullptr);
    bool zero = true;
    for (int i = 0; i < 64; ++i) zero = zero && p[i] == 0;
    EXPECT_EQ(zero, (flags & GMEM_ZEROINIT) != 0);
    p[63] = 1;  // the whole block is writable
    os.SetLastError(test::kStaleError);
    EXPECT_FALSE(os.GlobalUnlock(h));
    EXPECT_EQ(os.GetLastError(), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(os.GlobalFree(h), nullptr);
    EXPECT_EQ(os.LiveGlobalBlocks(), 0u);
    os.SetLastError(test::kStaleError);
    EXPECT_EQ(os.GlobalFree(h), h);  // already gone
    EXPECT_EQ(os.GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  }
}

TEST(System, OperationRecordAndTrace) {
  // Windows 98: a restart needs no privilege there.
  SimMachine m(WindowsVersion::Win98);
  auto& os = m.os();
  std::ostringstream trace;
  os.SetTraceStream(&trace);
  os.ClearOperations();
  HKEY key = nullptr;
  os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_READ, &key);
  os.RegCloseKey(key);
  os.FailOperation("ExitWindowsEx", 1314, 0, 1);
  os.SetLastError(test::kStaleError);
  EXPECT_FALSE(os.ExitWindowsEx(2, 0));
  EXPECT_TRUE(os.ExitWindowsEx(2, 0));
  const std::vector<std::string> expected = {
      "RegOpenKeyExA(HKEY_LOCAL_MACHINE, \"SYSTEM\")",
      "RegCloseKey(HKEY_LOCAL_MACHINE\\SYSTEM)",
      "ExitWindowsEx(0x2, 0x0) = injected 1314",
      "ExitWindowsEx(0x2, 0x0)",
  };
  EXPECT_EQ(os.operations(), expected);
  EXPECT_EQ(os.exitRequests(), std::vector<UINT>{2});
  EXPECT_EQ(os.GetLastError(), 1314u);
  EXPECT_EQ(trace.str(), expected[0] + "\n" + expected[1] + "\n" + expected[2] +
                             "\n" + expected[3] + "\n");
  os.SetTraceStream(nullptr);
}

TEST(System, AlwaysFailingOperation) {
  SimMachine m(WindowsVersion::XP);
  m.os().FailOperation("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, 0, -1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(m.os().GlobalAlloc(GHND, 8), nullptr);
  m.os().ClearFailures();
  HGLOBAL h = m.os().GlobalAlloc(GHND, 8);
  EXPECT_NE(h, nullptr);
  m.os().GlobalFree(h);
}

TEST(System, SleepMovesTheVirtualClockAtOnce) {
  SimMachine m(WindowsVersion::XP);
  std::vector<DWORD> seen;
  m.os().OnSleep([&](DWORD t) { seen.push_back(t); });
  const DWORD start = m.os().GetTickCount();
  m.os().Sleep(1500);
  m.os().Sleep(0);
  m.os().Sleep(250);
  EXPECT_EQ(m.os().GetTickCount() - start, 1750u);
  EXPECT_EQ(seen,
            (std::vector<DWORD>{start + 1500, start + 1500, start + 1750}));
}

TEST(System, DoubleByteCodePage) {
  SimMachine m(WindowsVersion::Win98);
  auto& os = m.os();
  EXPECT_FALSE(os.IsDBCSLeadByte(0x82));  // 1252 has no lead bytes
  os.SetCodePage(932);
  for (int b : {0x81, 0x9F, 0xE0, 0xFC})
    EXPECT_TRUE(os.IsDBCSLeadByte(BYTE(b)));
  for (int b : {0x80, 0xA0, 0xDF, 0xFD, 0x5C})
    EXPECT_FALSE(os.IsDBCSLeadByte(BYTE(b)));
  // "\x83\x5C" is one character whose trail byte is a backslash.
  const char text[] =
      "a\x83\x5C"
      "b";
  EXPECT_EQ(os.CharPrevA(text, text + 4), text + 3);
  EXPECT_EQ(os.CharPrevA(text, text + 3), text + 1);
  EXPECT_EQ(os.CharPrevA(text, text + 1), text);
  EXPECT_EQ(os.CharPrevA(text, text), text);
  os.SetCodePage(1252);
  EXPECT_EQ(os.CharPrevA(text, text + 3), text + 2);
}

TEST(System, CaseInsensitiveCompareFoldsAsciiOnly) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  EXPECT_EQ(os.lstrcmpiA("Printer", "PRINTER"), 0);
  EXPECT_LT(os.lstrcmpiA("abc", "ABD"), 0);
  EXPECT_GT(os.lstrcmpiA("abcd", "ABC"), 0);
  EXPECT_LT(os.lstrcmpiA("", "a"), 0);
  EXPECT_GT(os.lstrcmpiA("\xE9", "a"), 0);  // unsigned bytes
  EXPECT_NE(os.lstrcmpiA("\xE9", "\xC9"), 0);
}

TEST(System, BiosWordsOn9xOnly) {
  for (auto v : {WindowsVersion::Win95, WindowsVersion::XP}) {
    SimMachine m(v);
    EXPECT_EQ(m.os().ReadBiosDataWord(8), 0);  // unset
    m.os().SetBiosDataWord(8, 0x378);
    EXPECT_EQ(m.os().ReadBiosDataWord(8), sim::IsWin9x(v) ? 0x378 : 0);
  }
}

TEST(System, LibrariesLoadButRunNothing) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  os.SetLastError(test::kStaleError);
  EXPECT_EQ(os.LoadLibraryA("nosuch.dll"), nullptr);
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
  ASSERT_TRUE(os.WriteTextFile(os.systemDir() + "\\helper.dll", "MZ"));
  HMODULE mod = os.LoadLibraryA("HELPER.DLL");
  ASSERT_NE(mod, nullptr);
  os.SetLastError(test::kStaleError);
  EXPECT_EQ(os.GetProcAddress(mod, "Entry"), nullptr);
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
  EXPECT_TRUE(os.FreeLibrary(mod));
  EXPECT_FALSE(os.FreeLibrary(mod));
}

TEST(System, ShutdownPrivilegeOnNtOnly) {
  for (auto v : {WindowsVersion::Win98, WindowsVersion::Win2000}) {
    SimMachine m(v);
    auto& os = m.os();
    HANDLE token = nullptr;
    const BOOL opened =
        os.OpenProcessToken(os.GetCurrentProcess(), 0x28, &token);
    EXPECT_EQ(opened != FALSE, !sim::IsWin9x(v));
    LUID luid{};
    EXPECT_EQ(os.LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid) !=
                  FALSE,
              !sim::IsWin9x(v));
    if (opened) {
      EXPECT_TRUE(
          os.AdjustTokenPrivileges(token, FALSE, nullptr, 0, nullptr, nullptr));
    }
    // Without the privilege enabled the NT family refuses the restart.
    os.SetLastError(test::kStaleError);
    EXPECT_EQ(os.ExitWindowsEx(6, 0) != FALSE, sim::IsWin9x(v));
    if (!sim::IsWin9x(v)) {
      EXPECT_EQ(os.GetLastError(), 1314u);
      EXPECT_TRUE(os.restartRequests().empty());
    }
  }
}

}  // namespace
}  // namespace kv
