// Drive C: of the simulated machine: the layout of each Windows family, path
// matching, the sandbox, and Windows' error codes for the file operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

using sim::WindowsVersion;
using test::SimMachine;

constexpr DWORD kSentinel = 0xBEEF;

TEST(SimFiles, LayoutFollowsTheWindowsFamily) {
  struct Case {
    WindowsVersion v;
    const char* system;
    const char* driverDir;
  } cases[] = {
      {WindowsVersion::Win95, "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS\\SYSTEM"},
      {WindowsVersion::WinMe, "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS\\SYSTEM"},
      {WindowsVersion::NT4, "C:\\WINDOWS\\SYSTEM32",
       "C:\\WINDOWS\\SYSTEM32\\spool\\drivers\\w32x86\\2"},
      {WindowsVersion::XP, "C:\\WINDOWS\\SYSTEM32",
       "C:\\WINDOWS\\SYSTEM32\\spool\\drivers\\w32x86\\3"},
  };
  for (const auto& c : cases) {
    SimMachine m(c.v);
    auto& os = m.os();
    EXPECT_EQ(os.systemDir(), c.system);
    for (const char* dir : {c.system, c.driverDir, "C:\\WINDOWS\\FONTS"})
      EXPECT_EQ(os.GetFileAttributesA(dir), DWORD{FILE_ATTRIBUTE_DIRECTORY})
          << dir;
    char buf[16];
    EXPECT_EQ(os.GetPrivateProfileStringA("boot.description", "keyboard.typ",
                                          "NEC", buf, sizeof buf, "system.ini"),
              15u);
    EXPECT_NE(std::string(buf).compare(0, 3, "NEC"), 0);
  }
}

TEST(SimFiles, SavedProfileFilesAreKept) {
  test::TempDir dir;
  {
    sim::SimPlatform os(WindowsVersion::XP, dir.path());
    ASSERT_TRUE(os.WritePrivateProfileStringA("windows", "device",
                                              "P,WINSPOOL,LPT1:", "win.ini"));
  }
  sim::SimPlatform again(WindowsVersion::XP, dir.path());
  char buf[64];
  again.GetProfileStringA("windows", "device", "", buf, sizeof buf);
  EXPECT_STREQ(buf, "P,WINSPOOL,LPT1:");
}

// Win32's rule: the length without the terminator when it fits, otherwise
// the size needed with it.
TEST(SimFiles, DirectoryQueriesFollowBufferRule) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  const std::string sys = "C:\\WINDOWS\\SYSTEM32";
  char buf[64];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(os.GetSystemDirectoryA(buf, sys.size() + 1), sys.size());
  EXPECT_EQ(std::string(buf), sys);
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(os.GetSystemDirectoryA(buf, sys.size()), sys.size() + 1);
  EXPECT_EQ(buf[0], '#');
  EXPECT_EQ(os.GetWindowsDirectoryA(nullptr, 0), 11u);
  EXPECT_EQ(os.GetWindowsDirectoryA(buf, 11), 10u);
  EXPECT_STREQ(buf, "C:\\WINDOWS");
}

TEST(SimFiles, PathsMatchWithoutCaseAndStayInTheSandbox) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  ASSERT_TRUE(os.WriteTextFile("C:\\Data\\Sub\\File.TXT", "abc"));
  const std::string host = os.HostPath("C:\\Data\\Sub\\File.TXT");
  for (const char* spelling :
       {"c:\\data\\sub\\file.txt", "C:/DATA/SUB/FILE.TXT",
        "\\data\\sub\\file.txt", "data\\SUB\\file.txt",
        "C:\\data\\.\\x\\..\\sub\\file.txt", "C:\\data\\sub\\file.txt. "}) {
    EXPECT_EQ(os.HostPath(spelling), host) << spelling;
    EXPECT_EQ(os.GetFileAttributesA(spelling), DWORD{FILE_ATTRIBUTE_ARCHIVE})
        << spelling;
  }
  // Components that don't exist keep the spelling given.
  EXPECT_EQ(os.HostPath("C:\\data\\New\\x.txt"),
            host.substr(0, host.rfind("/Sub/")) + "/New/x.txt");

  const std::string drive = os.HostPath("C:\\");
  for (const char* outside :
       {"D:\\file.txt", "C:\\..\\x", "..\\..\\etc\\passwd",
        "C:\\data\\..\\..\\x", "\\\\server\\share\\x"}) {
    EXPECT_EQ(os.HostPath(outside), "") << outside;
    os.SetLastError(kSentinel);
    EXPECT_FALSE(os.CopyFileA("C:\\Data\\Sub\\File.TXT", outside, FALSE))
        << outside;
    EXPECT_EQ(os.GetLastError(), DWORD{ERROR_PATH_NOT_FOUND}) << outside;
  }
  EXPECT_EQ(drive.substr(drive.size() - 8), "/drive_c");
  // Nothing was written next to the machine folder.
  EXPECT_FALSE(std::filesystem::exists(
      std::filesystem::path(m.os().machineDir()).parent_path() / "x"));
  os.SetLastError(kSentinel);
  EXPECT_EQ(os.GetFileAttributesA("C:\\bad|name"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_INVALID_NAME});
}

TEST(SimFiles, CopyRefusalsCarryWindowsErrors) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  ASSERT_TRUE(os.WriteTextFile("C:\\src.txt", "source"));
  ASSERT_TRUE(os.WriteTextFile("C:\\dst.txt", "old"));
  ASSERT_TRUE(os.WriteTextFile("C:\\ro.txt", "old"));
  ASSERT_TRUE(os.WriteTextFile("C:\\busy.txt", "old"));
  ASSERT_TRUE(os.SetFileAttributesA("C:\\ro.txt", FILE_ATTRIBUTE_READONLY));
  os.SetFileInUse("c:\\BUSY.TXT", true);
  struct Case {
    const char* from;
    const char* to;
    BOOL failIfExists;
    DWORD error;
  } cases[] = {
      {"C:\\missing.txt", "C:\\new.txt", FALSE, ERROR_FILE_NOT_FOUND},
      {"C:\\src.txt", "C:\\nodir\\new.txt", FALSE, ERROR_PATH_NOT_FOUND},
      {"C:\\src.txt", "C:\\DST.txt", TRUE, ERROR_FILE_EXISTS},
      {"C:\\src.txt", "C:\\ro.txt", FALSE, ERROR_ACCESS_DENIED},
      {"C:\\src.txt", "C:\\busy.txt", FALSE, ERROR_SHARING_VIOLATION},
      {"C:\\src.txt", "C:\\WINDOWS", FALSE, ERROR_ACCESS_DENIED},
      {"C:\\src.txt", "C:\\dst.txt", FALSE, 0},
  };
  for (const auto& c : cases) {
    os.SetLastError(kSentinel);
    EXPECT_EQ(os.CopyFileA(c.from, c.to, c.failIfExists),
              c.error ? FALSE : TRUE)
        << c.from << " -> " << c.to;
    EXPECT_EQ(os.GetLastError(), c.error ? c.error : kSentinel) << c.to;
  }
  std::string text;
  ASSERT_TRUE(os.ReadTextFile("C:\\dst.txt", &text));
  EXPECT_EQ(text, "source");
  ASSERT_TRUE(os.ReadTextFile("C:\\busy.txt", &text));
  EXPECT_EQ(text, "old");
  // A copy of a read-only file is read-only too.
  ASSERT_TRUE(os.CopyFileA("C:\\ro.txt", "C:\\ro2.txt", TRUE));
  EXPECT_TRUE(os.GetFileAttributesA("C:\\ro2.txt") & FILE_ATTRIBUTE_READONLY);
}

TEST(SimFiles, DeleteMoveAndFoldersRefuseAsWindows) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  ASSERT_TRUE(os.WriteTextFile("C:\\d\\a.txt", "a"));
  ASSERT_TRUE(os.WriteTextFile("C:\\d\\b.txt", "b"));
  ASSERT_TRUE(os.WriteTextFile("C:\\d\\busy.dll", "x"));
  ASSERT_TRUE(os.WriteTextFile("C:\\d\\ro.txt", "x"));
  os.SetFileInUse("C:\\d\\busy.dll", true);
  ASSERT_TRUE(os.SetFileAttributesA(
      "C:\\d\\ro.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(os.GetFileAttributesA("C:\\d\\ro.txt"),
            DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN});

  struct Case {
    const char* what;
    BOOL (*call)(sim::SimPlatform&);
    DWORD error;
  } cases[] = {
      {"delete in use",
       [](sim::SimPlatform& o) { return o.DeleteFileA("C:\\D\\BUSY.DLL"); },
       ERROR_SHARING_VIOLATION},
      {"delete read-only",
       [](sim::SimPlatform& o) { return o.DeleteFileA("C:\\d\\ro.txt"); },
       ERROR_ACCESS_DENIED},
      {"delete missing",
       [](sim::SimPlatform& o) { return o.DeleteFileA("C:\\d\\none"); },
       ERROR_FILE_NOT_FOUND},
      {"delete missing folder",
       [](sim::SimPlatform& o) { return o.DeleteFileA("C:\\none\\x"); },
       ERROR_PATH_NOT_FOUND},
      {"move in use",
       [](sim::SimPlatform& o) {
         return o.MoveFileA("C:\\d\\busy.dll", "C:\\d\\x.dll");
       },
       ERROR_SHARING_VIOLATION},
      {"move onto existing",
       [](sim::SimPlatform& o) {
         return o.MoveFileA("C:\\d\\a.txt", "C:\\d\\B.TXT");
       },
       ERROR_ALREADY_EXISTS},
      {"create existing folder",
       [](sim::SimPlatform& o) { return o.CreateDirectoryA("C:\\D", nullptr); },
       ERROR_ALREADY_EXISTS},
      {"create under missing",
       [](sim::SimPlatform& o) {
         return o.CreateDirectoryA("C:\\x\\y", nullptr);
       },
       ERROR_PATH_NOT_FOUND},
      {"remove non-empty",
       [](sim::SimPlatform& o) { return o.RemoveDirectoryA("C:\\d"); },
       ERROR_DIR_NOT_EMPTY},
      {"remove a file",
       [](sim::SimPlatform& o) { return o.RemoveDirectoryA("C:\\d\\a.txt"); },
       267},
      {"open read-only for writing",
       [](sim::SimPlatform& o) {
         return o.CreateFileA("C:\\d\\ro.txt", GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr) != INVALID_HANDLE_VALUE
                    ? TRUE
                    : FALSE;
       },
       ERROR_ACCESS_DENIED},
  };
  for (const auto& c : cases) {
    os.SetLastError(kSentinel);
    EXPECT_FALSE(c.call(os)) << c.what;
    EXPECT_EQ(os.GetLastError(), c.error) << c.what;
  }
  os.SetFileInUse("C:\\d\\busy.dll", false);
  EXPECT_TRUE(os.DeleteFileA("C:\\d\\busy.dll"));
  EXPECT_TRUE(os.MoveFileA("C:\\d\\a.txt", "C:\\d\\A.TXT"));  // case only
  EXPECT_TRUE(os.MoveFileA("C:\\d\\ro.txt", "C:\\moved.txt"));
  // The attributes went with the file.
  EXPECT_TRUE(os.GetFileAttributesA("C:\\moved.txt") & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(os.SetFileAttributesA("C:\\moved.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(os.GetFileAttributesA("C:\\moved.txt"),
            DWORD{FILE_ATTRIBUTE_NORMAL});
  EXPECT_TRUE(os.DeleteFileA("C:\\moved.txt"));
  // Our own open handle keeps a file in use until it is closed.
  HANDLE h = os.CreateFileA("C:\\d\\b.txt", GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  os.SetLastError(kSentinel);
  EXPECT_FALSE(os.DeleteFileA("C:\\d\\b.txt"));
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  EXPECT_TRUE(os.CloseHandle(h));
  EXPECT_TRUE(os.DeleteFileA("C:\\d\\b.txt"));
  EXPECT_TRUE(os.DeleteFileA("C:\\d\\A.TXT"));
  EXPECT_TRUE(os.RemoveDirectoryA("C:\\D"));
  EXPECT_EQ(os.GetFileAttributesA("C:\\d"), INVALID_FILE_ATTRIBUTES);
}

TEST(SimFiles, HandlesReadAndWriteHostFiles) {
  SimMachine m(WindowsVersion::Win98);
  auto& os = m.os();
  HANDLE h = os.CreateFileA("C:\\f.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  EXPECT_TRUE(os.WriteFile(h, "hello\0world", 11, &n, nullptr));
  EXPECT_EQ(n, 11u);
  char buf[32];
  os.SetLastError(kSentinel);
  EXPECT_FALSE(os.ReadFile(h, buf, sizeof buf, &n, nullptr));  // write-only
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_TRUE(os.CloseHandle(h));
  os.SetLastError(kSentinel);
  EXPECT_FALSE(os.CloseHandle(h));
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_INVALID_HANDLE});

  os.SetLastError(kSentinel);
  EXPECT_EQ(os.CreateFileA("C:\\f.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_FILE_EXISTS});
  h = os.CreateFileA("C:\\F.BIN", GENERIC_READ, FILE_SHARE_READ, nullptr,
                     OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD high = 7;
  EXPECT_EQ(os.GetFileSize(h, &high), 11u);
  EXPECT_EQ(high, 0u);
  EXPECT_TRUE(os.ReadFile(h, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), std::string("hello\0world", 11));
  EXPECT_TRUE(os.ReadFile(h, buf, sizeof buf, &n, nullptr));  // end of file
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(os.CloseHandle(h));

  // Replacing says the file was there; a held file can't be replaced.
  os.SetLastError(kSentinel);
  h = os.CreateFileA("C:\\f.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                     nullptr);
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
  EXPECT_EQ(os.GetFileSize(h, nullptr), 0u);
  EXPECT_TRUE(os.CloseHandle(h));
  os.SetFileInUse("C:\\f.bin", true);
  EXPECT_TRUE(os.IsFileInUse("c:/F.BIN"));
  os.SetLastError(kSentinel);
  EXPECT_EQ(os.CreateFileA("C:\\f.bin", GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  os.SetLastError(kSentinel);
  EXPECT_EQ(os.CreateFileA("C:\\none\\f.bin", GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
}

std::vector<std::string> FindAll(sim::SimPlatform& os, const char* pattern,
                                 DWORD* error) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA d;
  os.SetLastError(kSentinel);
  HANDLE h = os.FindFirstFileA(pattern, &d);
  if (h == INVALID_HANDLE_VALUE) {
    *error = os.GetLastError();
    return names;
  }
  do {
    names.push_back(d.cFileName);
    if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) names.back() += "/";
  } while (os.FindNextFileA(h, &d));
  *error = os.GetLastError();
  EXPECT_TRUE(os.FindClose(h));
  return names;
}

TEST(SimFiles, FindMatchesWildcardsWithoutCase) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  for (const char* f : {"C:\\k\\Driver.DLL", "C:\\k\\driver.inf",
                        "C:\\k\\readme", "C:\\k\\a1.dll", "C:\\k\\sub\\x.txt"})
    ASSERT_TRUE(os.WriteTextFile(f, "x"));
  using V = std::vector<std::string>;
  struct Case {
    const char* pattern;
    V names;
    DWORD error;
  } cases[] = {
      {"C:\\k\\*",
       {"./", "../", "a1.dll", "Driver.DLL", "driver.inf", "readme", "sub/"},
       ERROR_NO_MORE_FILES},
      {"C:\\K\\*.*",
       {"./", "../", "a1.dll", "Driver.DLL", "driver.inf", "readme", "sub/"},
       ERROR_NO_MORE_FILES},
      {"c:\\k\\*.dll", {"a1.dll", "Driver.DLL"}, ERROR_NO_MORE_FILES},
      {"C:\\k\\DRIVER.*", {"Driver.DLL", "driver.inf"}, ERROR_NO_MORE_FILES},
      {"C:\\k\\readme.*", {"readme"}, ERROR_NO_MORE_FILES},
      {"C:\\k\\?1.DLL", {"a1.dll"}, ERROR_NO_MORE_FILES},
      {"C:\\k\\driver.inf", {"driver.inf"}, ERROR_NO_MORE_FILES},
      {"C:\\k\\*.exe", {}, ERROR_FILE_NOT_FOUND},
      {"C:\\nope\\*", {}, ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    DWORD error = 0;
    EXPECT_EQ(FindAll(os, c.pattern, &error), c.names) << c.pattern;
    EXPECT_EQ(error, c.error) << c.pattern;
  }
  // The root of a drive has no "." and "..".
  DWORD error = 0;
  const V root = FindAll(os, "C:\\*", &error);
  EXPECT_EQ(std::count(root.begin(), root.end(), "./"), 0);
  EXPECT_EQ(std::count(root.begin(), root.end(), "WINDOWS/"), 1);
  WIN32_FIND_DATAA d;
  os.SetLastError(kSentinel);
  EXPECT_FALSE(os.FindNextFileA(reinterpret_cast<HANDLE>(0x1234), &d));
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

// Code page 932: a double-byte character whose trail byte is 0x5C ('\') or
// 0x7C ('|') is one character of a name, and its trail byte has no case.
TEST(SimFiles, ShiftJisNamesKeepTheirTrailBytes) {
  struct Case {
    const char* folder;
    const char* file;
    const char* otherCase;  // a different name under ASCII folding, or null
  } cases[] = {
      {"\x95\x5C", "\x83\x5C\x83\x74\x83\x67.TXT", nullptr},  // 表, ソフト
      {"A\x95\x5C", "\x83\x7C.txt", nullptr},                 // trail '|'
      {"\x8B\x40\x8E\xED", "\x82\x61.txt", "\x82\x41.txt"},   // trail 'a'
  };
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  os.SetCodePage(932);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    const std::string dir = std::string("C:\\") + c.folder;
    const std::string file = dir + "\\" + c.file;
    const std::string copy = dir + "\\copy of " + c.file;
    ASSERT_TRUE(os.CreateDirectoryA(dir.c_str(), nullptr));
    // One folder of that name on the host, not one cut at the trail byte.
    EXPECT_TRUE(
        std::filesystem::is_directory(os.HostPath("C:\\") + "/" + c.folder));
    EXPECT_EQ(os.GetFileAttributesA((dir + "\\").c_str()),
              DWORD{FILE_ATTRIBUTE_DIRECTORY});
    HANDLE h = os.CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    EXPECT_TRUE(os.WriteFile(h, "sjis", 4, &n, nullptr));
    EXPECT_TRUE(os.CloseHandle(h));
    DWORD error = 0;
    EXPECT_EQ(FindAll(os, (dir + "\\*.*").c_str(), &error),
              (std::vector<std::string>{"./", "../", c.file}));
    EXPECT_EQ(FindAll(os, file.c_str(), &error),
              std::vector<std::string>{c.file});
    char full[MAX_PATH];
    LPSTR name = nullptr;
    ASSERT_EQ(os.GetFullPathNameA(dir.c_str(), sizeof full, full, &name),
              dir.size());
    EXPECT_STREQ(name, c.folder);
    if (c.otherCase) {
      os.SetLastError(kSentinel);
      EXPECT_EQ(os.GetFileAttributesA((dir + "\\" + c.otherCase).c_str()),
                INVALID_FILE_ATTRIBUTES);
      EXPECT_EQ(os.GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    }
    ASSERT_TRUE(os.CopyFileA(file.c_str(), copy.c_str(), TRUE));
    std::string text;
    EXPECT_TRUE(os.ReadTextFile(copy, &text));
    EXPECT_EQ(text, "sjis");
    EXPECT_TRUE(os.DeleteFileA(file.c_str()));
    EXPECT_TRUE(os.DeleteFileA(copy.c_str()));
    EXPECT_TRUE(os.RemoveDirectoryA(dir.c_str()));
    EXPECT_EQ(os.GetFileAttributesA(dir.c_str()), INVALID_FILE_ATTRIBUTES);
  }
}

TEST(SimFiles, DiskSpaceAsEachFamilyReportsIt) {
  const unsigned long long gb = 1ull << 30;
  struct Case {
    WindowsVersion v;
    unsigned long long freeBytes;
    unsigned long long reported;  // through GetDiskFreeSpaceA
    bool hasEx;
  } cases[] = {
      {WindowsVersion::Win95, 8 * gb, 65535ull * 32768, false},
      {WindowsVersion::Win98, 8 * gb, 65535ull * 32768, true},
      {WindowsVersion::Win98, gb, gb, true},
      {WindowsVersion::XP, 8 * gb, 8 * gb, true},
  };
  for (const auto& c : cases) {
    SimMachine m(c.v);
    auto& os = m.os();
    os.SetDiskSpace(c.freeBytes, 20 * gb);
    DWORD spc = 0, bps = 0, freeClusters = 0, total = 0;
    ASSERT_TRUE(
        os.GetDiskFreeSpaceA("C:\\", &spc, &bps, &freeClusters, &total));
    EXPECT_EQ(1ull * spc * bps * freeClusters, c.reported);
    ULARGE_INTEGER avail{}, all{}, allFree{};
    os.SetLastError(kSentinel);
    EXPECT_EQ(os.GetDiskFreeSpaceExA("C:\\", &avail, &all, &allFree),
              c.hasEx ? TRUE : FALSE);
    if (c.hasEx) {
      EXPECT_EQ(avail.QuadPart, c.freeBytes);
      EXPECT_EQ(all.QuadPart, 20 * gb);
    } else {
      EXPECT_EQ(os.GetLastError(), DWORD{ERROR_CALL_NOT_IMPLEMENTED});
    }
    EXPECT_FALSE(
        os.GetDiskFreeSpaceA("D:\\", &spc, &bps, &freeClusters, &total));
  }
}

TEST(SimFiles, InjectedFailureStopsTheCall) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  ASSERT_TRUE(os.WriteTextFile("C:\\a.txt", "a"));
  os.FailOperation("CopyFileA", ERROR_HANDLE_DISK_FULL);
  os.SetLastError(kSentinel);
  EXPECT_FALSE(os.CopyFileA("C:\\a.txt", "C:\\b.txt", FALSE));
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_HANDLE_DISK_FULL});
  EXPECT_EQ(os.GetFileAttributesA("C:\\b.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(os.CopyFileA("C:\\a.txt", "C:\\b.txt", FALSE));
  EXPECT_EQ(os.CountOperations("CopyFileA"), 2u);
}

}  // namespace
}  // namespace kv
