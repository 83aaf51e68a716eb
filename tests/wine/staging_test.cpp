// File staging on the real Win32 API: ExpCopy through the real LZ
// expansion interface on files made by mscompress, Xcopy on a real folder
// tree, a real TrueType font, a program started by VtoeSwmd, and the free
// space compared with the system's own query and with what `df` says of
// the prefix's drive.
// kv-wine-versions: nt40 win95 win98 winme win2k winxp
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/wine/support/cleanup.h"
#include "tests/wine/support/wine_test.h"

namespace {

using ExpCopyFn = int(WINAPI*)(LPCSTR, LPCSTR, LPCSTR, LPCSTR, int);
using DefineFileNameFn = int(WINAPI*)(LPSTR);
using XcopyFn = int(WINAPI*)(LPCSTR, LPCSTR, LPCSTR, LPCSTR);
using ToInstallTTFFn = int(WINAPI*)(LPCSTR, int);
using VtoeSwmdFn = UINT(WINAPI*)(LPCSTR);
using GetDiskFreeSizeFn = unsigned long long(WINAPI*)();

const char kWork[] = "C:\\kvstage";

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out);
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The committed samples, by Wine's name for a host path (the prefixes map
// no drive to the host's root).
std::string Fixture(const char* name) {
  std::string dir = __FILE__;
  // tests/wine, then tests: a \\?\ name is taken as it is, without "..".
  dir = dir.substr(0, dir.find_last_of("/\\"));
  dir = dir.substr(0, dir.find_last_of("/\\"));
  for (char& c : dir)
    if (c == '/') c = '\\';
  return "\\\\?\\unix" + dir + "\\fixtures\\staging\\" + name;
}

void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFileA((dir + "\\*.*").c_str(), &d);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = d.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = dir + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(h, &d));
    FindClose(h);
  }
  RemoveDirectoryA(dir.c_str());
}

void MakeDirs(const std::string& path) {
  for (size_t i = 3; i <= path.size(); ++i)
    if (i == path.size() || path[i] == '\\')
      CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
}

// Every test works in C:\kvstage and removes it afterwards, with whatever
// else it registered with AtEnd.
class Staging : public kvwine::CleanupTest {
 protected:
  void SetUp() override {
    RemoveTree(kWork);
    MakeDirs(std::string(kWork) + "\\medium");
    MakeDirs(std::string(kWork) + "\\dest");
  }
  void TearDown() override {
    CleanupTest::TearDown();
    RemoveTree(kWork);
  }
  std::string W(const std::string& rel) {
    return std::string(kWork) + "\\" + rel;
  }
};

// ---------------------------------------------------------------- ExpCopy

TEST_F(Staging, ExpCopyExpandsMscompressedFilesExactly) {
  auto expCopy = kvwine::Export<ExpCopyFn>("ExpCopy");
  ASSERT_NE(expCopy, nullptr);
  for (const char* name : {"SAMPLE.INF", "SAMPLE.DLL"}) {
    SCOPED_TRACE(name);
    std::string stored = name;
    stored.back() = '_';
    ASSERT_TRUE(CopyFileA(Fixture(stored.c_str()).c_str(),
                          W("medium\\" + stored).c_str(), FALSE))
        << Fixture(stored.c_str());
    EXPECT_EQ(expCopy(W("medium\\").c_str(), W("dest\\").c_str(), name,
                      stored.c_str(), 0),
              1);
    const std::string original = ReadFileBytes(Fixture(name));
    ASSERT_FALSE(original.empty());
    EXPECT_TRUE(ReadFileBytes(W("dest\\") + name) == original);
  }
}

TEST_F(Staging, ExpCopyStagesALongSourceAndKeepsDestinationsItCannotFill) {
  auto expCopy = kvwine::Export<ExpCopyFn>("ExpCopy");
  ASSERT_NE(expCopy, nullptr);
  // A source folder of 101 characters or more, without a trailing backslash.
  std::string longDir = W("medium\\");
  while (longDir.size() < 101) longDir += std::string(20, 'L') + "\\";
  longDir.pop_back();
  MakeDirs(longDir);
  ASSERT_TRUE(CopyFileA(Fixture("SAMPLE.DL_").c_str(),
                        (longDir + "\\SAMPLE.DL_").c_str(), FALSE));
  SetFileAttributesA((longDir + "\\SAMPLE.DL_").c_str(),
                     FILE_ATTRIBUTE_READONLY);
  char windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryA(windows, sizeof windows), 0u);
  const std::string stagingDir =
      std::string(windows) + "\\TEMP\\KorvaInstallTmp";
  const std::string staged = stagingDir + "\\SAMPLE.DL_";
  const bool stagingExisted = Exists(stagingDir);
  DeleteFileA(staged.c_str());
  AtEnd([=] {
    SetFileAttributesA(staged.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(staged.c_str());
    if (!stagingExisted) RemoveDirectoryA(stagingDir.c_str());
  });

  EXPECT_EQ(expCopy(longDir.c_str(), W("dest\\").c_str(), "SAMPLE.DLL",
                    "SAMPLE.DL_", 0),
            1);
  EXPECT_TRUE(ReadFileBytes(W("dest\\SAMPLE.DLL")) ==
              ReadFileBytes(Fixture("SAMPLE.DLL")));
  // Read-only is cleared. (Windows then reports FILE_ATTRIBUTE_NORMAL; Wine
  // keeps no archive bit and reports FILE_ATTRIBUTE_ARCHIVE.)
  const DWORD attributes = GetFileAttributesA(staged.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, 0u);

  // A source that is missing leaves what the destination holds.
  ASSERT_TRUE(WriteFileBytes(W("dest\\KEEP.DLL"), "before"));
  EXPECT_EQ(expCopy(W("medium\\").c_str(), W("dest\\").c_str(), "KEEP.DLL",
                    "KEEP.DL_", 0),
            0);
  EXPECT_EQ(ReadFileBytes(W("dest\\KEEP.DLL")), "before");
}

TEST_F(Staging, ExpCopySurvivesATruncatedCompressedFile) {
  auto expCopy = kvwine::Export<ExpCopyFn>("ExpCopy");
  ASSERT_NE(expCopy, nullptr);
  const std::string packed = ReadFileBytes(Fixture("SAMPLE.DL_"));
  ASSERT_GT(packed.size(), 100u);
  ASSERT_TRUE(WriteFileBytes(W("medium\\CUT.DL_"),
                             packed.substr(0, packed.size() / 3)));
  ASSERT_TRUE(WriteFileBytes(W("dest\\CUT.DLL"), "before"));
  // lz32 hands back what it could expand as if it were whole: the length
  // the header announces tells, and the old file stays.
  EXPECT_EQ(expCopy(W("medium\\").c_str(), W("dest\\").c_str(), "CUT.DLL",
                    "CUT.DL_", 0),
            0);
  EXPECT_EQ(ReadFileBytes(W("dest\\CUT.DLL")), "before");
}

// A copy whose destination is the file it reads, spelled another way (the
// real LZ interface would truncate it), and a tree copy into its own
// source: both refused, nothing changed.
TEST_F(Staging, CopiesOntoThemselvesAreRefused) {
  auto expCopy = kvwine::Export<ExpCopyFn>("ExpCopy");
  auto xcopy = kvwine::Export<XcopyFn>("Xcopy");
  ASSERT_NE(expCopy, nullptr);
  ASSERT_NE(xcopy, nullptr);
  const std::string dir = W("medium\\long folder name\\");
  MakeDirs(dir + "sub");
  const std::string packed = ReadFileBytes(Fixture("SAMPLE.DL_"));
  ASSERT_FALSE(packed.empty());
  ASSERT_TRUE(WriteFileBytes(dir + "SELF.DLL", packed));
  char shortDir[MAX_PATH] = {};
  const DWORD n = GetShortPathNameA(dir.c_str(), shortDir, sizeof shortDir);
  ASSERT_GT(n, 0u);
  ASSERT_LT(n, sizeof shortDir);
  std::string lower = dir, doubled, forward = dir;
  for (char& c : lower) c = static_cast<char>(std::tolower(c));
  for (char c : dir)
    doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
  for (char& c : forward)
    if (c == '\\') c = '/';
  const std::string spellings[] = {
      dir, lower, dir + ".\\", dir + "sub\\..\\", doubled, forward, shortDir};
  EXPECT_NE(std::string(shortDir), dir) << "no 8.3 alias was made";
  for (const std::string& spelled : spellings) {
    SCOPED_TRACE(spelled);
    SetLastError(0x5EB0DEAD);  // a stale value must not pass
    EXPECT_EQ(expCopy(dir.c_str(), spelled.c_str(), "SELF.DLL", "SELF.DLL", 0),
              0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
    EXPECT_EQ(expCopy(spelled.c_str(), dir.c_str(), "SELF.DLL", "SELF.DLL", 0),
              0);
    EXPECT_TRUE(ReadFileBytes(dir + "SELF.DLL") == packed);
    EXPECT_EQ(xcopy(dir.c_str(), (spelled + "sub").c_str(), "E", "LNKSCAN"), 0);
    EXPECT_EQ(xcopy(dir.c_str(), spelled.c_str(), "E", "LNKSCAN"), 0);
  }
  // Only the file and the empty folder are there.
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFileA((dir + "*.*").c_str(), &d);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::set<std::string> names;
  do {
    names.insert(d.cFileName);
  } while (FindNextFileA(h, &d));
  FindClose(h);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "SELF.DLL", "sub"}));
}

TEST_F(Staging, DefineFileNameCutsTheListSuffix) {
  auto define = kvwine::Export<DefineFileNameFn>("DefineFileName");
  ASSERT_NE(define, nullptr);
  const struct {
    const char* in;
    const char* out;
  } cases[] = {{"VT3EINS.SII=1", "VT3EINS.SII"},
               {"FILE.DLL=123", "FILE.DLL"},
               {"ABCD=1234", "ABCD=1234"},
               {"X=", "X="},
               {"A=1", "A"}};
  for (const auto& c : cases) {
    char buffer[MAX_PATH];
    std::strcpy(buffer, c.in);
    EXPECT_EQ(define(buffer), 1);
    EXPECT_STREQ(buffer, c.out);
  }
}

// ---------------------------------------------------------------- Xcopy

TEST_F(Staging, XcopyTakesTheBranchesOfTheRunningFamily) {
  auto xcopy = kvwine::Export<XcopyFn>("Xcopy");
  ASSERT_NE(xcopy, nullptr);
  const char* files[] = {"readme.txt",
                         "KV-RelayQV\\r.txt",
                         "Driver\\top.txt",
                         "Driver\\E\\e.txt",
                         "Driver\\E\\2k\\a.dll",
                         "Driver\\E\\xp\\b.dll",
                         "Driver\\E\\9xme\\c.dll",
                         "Driver\\E\\NT40\\d.dll",
                         "Driver\\E\\bin\\t.exe",
                         "Driver\\F\\f.txt"};
  for (const char* f : files) {
    const std::string path = W("medium\\") + f;
    MakeDirs(path.substr(0, path.rfind('\\')));
    ASSERT_TRUE(WriteFileBytes(path, f));
  }
  const std::string dest = W("dest\\x");  // three backslashes: level 0
  MakeDirs(dest);
  const char* const osFolder[] = {"NT40", "9xme", "2k", "xp"};
  const int kind = kvwine::Version().osKind;
  ASSERT_GE(kind, 1);
  const std::string mine = std::string("Driver\\E\\") + osFolder[kind - 1];

  EXPECT_NE(xcopy(W("medium").c_str(), dest.c_str(), "E", "Ocelot2"), 0);
  std::set<std::string> expected = {"Driver\\top.txt", "Driver\\E\\e.txt",
                                    "Driver\\E\\bin\\t.exe"};
  for (const char* f : files)
    if (std::string(f).rfind(mine + "\\", 0) == 0) expected.insert(f);
  for (const char* f : files) {
    SCOPED_TRACE(f);
    const std::string copy = dest + "\\" + f;
    EXPECT_EQ(Exists(copy), expected.count(f) == 1);
    if (expected.count(f)) {
      EXPECT_EQ(ReadFileBytes(copy), f);
    }
  }
  EXPECT_EQ(xcopy(W("nowhere").c_str(), dest.c_str(), "E", "Ocelot2"), 0);
}

// ---------------------------------------------------------------- fonts

TEST_F(Staging, ToInstallTTFAddsARealTrueTypeFont) {
  auto install = kvwine::Export<ToInstallTTFFn>("ToInstallTTF");
  ASSERT_NE(install, nullptr);
  const std::string source =
      "\\\\?\\unix\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf";
  if (!Exists(source)) GTEST_SKIP() << "fonts-dejavu-core is not installed";
  const std::string font = W("DejaVuSans.ttf");
  ASSERT_TRUE(CopyFileA(source.c_str(), font.c_str(), FALSE));

  // 1 only when the system's AddFontResourceA took at least one font.
  EXPECT_EQ(install(font.c_str(), 0), 1);
  // Wine 8 does not find a font added by path again for removal; Windows
  // does. Either way the font goes when the process ends.
  RemoveFontResourceA(font.c_str());

  ASSERT_TRUE(WriteFileBytes(W("text.ttf"), "this is no font"));
  EXPECT_EQ(install(W("text.ttf").c_str(), 0), 0);
  EXPECT_EQ(install(W("missing.ttf").c_str(), 0), 0);
  // Held open by someone else: the exclusive open fails.
  HANDLE held = CreateFileA(font.c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(install(font.c_str(), 0), 0);
  CloseHandle(held);
}

// ---------------------------------------------------------------- launches

TEST_F(Staging, VtoeSwmdStartsTheProgramWithItsCommandLine) {
  auto launch = kvwine::Export<VtoeSwmdFn>("VtoeSwmd");
  ASSERT_NE(launch, nullptr);
  char system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(system, sizeof system), 0u);
  const char* const sub[] = {"\\Spool\\Drivers\\w32x86\\2\\", "\\",
                             "\\Spool\\Drivers\\w32x86\\3\\",
                             "\\Spool\\Drivers\\w32x86\\3\\"};
  const int kind = kvwine::Version().osKind;
  ASSERT_GE(kind, 1);
  const std::string dir = std::string(system) + sub[kind - 1];
  MakeDirs(dir.substr(0, dir.size() - 1));
  const std::string program = dir + "KVCMDREC.EXE";
  AtEnd([program] {
    SetEnvironmentVariableA("KV_CMDLINE_OUT", nullptr);
    // The started program may still hold its file for a moment.
    for (int i = 0; i < 40 && !DeleteFileA(program.c_str()) &&
                    GetLastError() != ERROR_FILE_NOT_FOUND;
         ++i)
      Sleep(50);
  });
  ASSERT_TRUE(CopyFileA((kvwine::ProgramDir() + "kvcmdrec.exe").c_str(),
                        program.c_str(), FALSE));
  const std::string out = W("cmdline.txt");
  SetEnvironmentVariableA("KV_CMDLINE_OUT", out.c_str());

  EXPECT_GT(launch("KVCMDREC.EXE /s two"), 31u);
  // Started, not waited for: the line appears when the program has run.
  std::string line;
  for (int i = 0; i < 200 && line.empty(); ++i) {
    Sleep(50);
    line = ReadFileBytes(out);
  }
  EXPECT_EQ(line, program + " /s two");
  EXPECT_LE(launch("NOSUCH.EXE"), 31u);
}

// ---------------------------------------------------------------- disk space

// Free bytes of the prefix's drive as df reports them (df started, and its
// output read back, by Wine's names for host paths);
// 0 when df can't be run. Wine answers GetDiskFreeSpaceExA's total free
// bytes, like the bytes free to the caller, with the space available to
// unprivileged users (statfs f_bavail): df's "Avail" column. Windows would
// count blocks reserved for an administrator too; a Linux host has no such
// notion for a Wine drive.
unsigned long long DfFreeBytes() {
  char prefix[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
  if (n == 0 || n >= sizeof prefix) return 0;
  const std::string out =
      "/tmp/kvstage-df-" + std::to_string(GetCurrentProcessId());
  std::string cmd = "\\\\?\\unix\\bin\\sh -c \"df -B1 --output=avail '" +
                    std::string(prefix) + "/drive_c' > " + out +
                    ".part && mv " + out + ".part " + out + "\"";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &si, &pi))
    return 0;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  const std::string winOut = "\\\\?\\unix" + out;
  std::string text;
  for (int i = 0; i < 200 && text.empty(); ++i) {
    Sleep(25);
    text = ReadFileBytes(winOut);
  }
  DeleteFileA(winOut.c_str());
  unsigned long long avail = 0;
  const size_t eol = text.find('\n');
  if (eol == std::string::npos ||
      std::sscanf(text.c_str() + eol + 1, "%llu", &avail) != 1)
    return 0;
  return avail;
}

// Free MiB of the drive of `dir` through the system's own query; 0 when the
// query fails.
unsigned long long SystemFreeMiB(const char* dir) {
  ULARGE_INTEGER caller, total, totalFree;
  if (!GetDiskFreeSpaceExA(dir, &caller, &total, &totalFree)) return 0;
  return totalFree.QuadPart >> 20;
}

unsigned long long Apart(unsigned long long a, unsigned long long b) {
  return a > b ? a - b : b - a;
}

// Whether `value` lies in the range of two readings taken before and after
// it, give or take the MiB that rounding to MiB can cost.
bool Within(unsigned long long value, unsigned long long a,
            unsigned long long b) {
  const unsigned long long low = a < b ? a : b, high = a < b ? b : a;
  return value + 1 >= low && value <= high + 1;
}

TEST_F(Staging, GetDiskFreeSizeAgreesWithDf) {
  auto freeSize = kvwine::Export<GetDiskFreeSizeFn>("GetDiskFreeSize");
  ASSERT_NE(freeSize, nullptr);
  char windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryA(windows, sizeof windows), 0u);
  // The prefix lives on the host's disk, which other programs write to
  // meanwhile. Each answer of the library is bracketed by readings of the
  // system's query and, outside those, of df; an attempt counts only where
  // the disk moved by at most a MiB across the bracket, and then the answer
  // must lie inside it. A disk that never holds still skips the comparison.
  bool withSystem = false, withDf = false;
  for (int attempt = 0; attempt < 10 && !(withSystem && withDf); ++attempt) {
    if (attempt > 0) Sleep(100);
    const unsigned long long dfBefore = DfFreeBytes() >> 20;
    const unsigned long long sysBefore = SystemFreeMiB(windows);
    const unsigned long long mine = freeSize();
    const unsigned long long sysAfter = SystemFreeMiB(windows);
    const unsigned long long dfAfter = DfFreeBytes() >> 20;
    ASSERT_TRUE(sysBefore != 0 && sysAfter != 0)
        << "GetDiskFreeSpaceExA failed, error " << GetLastError();
    if (dfBefore == 0 || dfAfter == 0) GTEST_SKIP() << "df could not be run";
    if (!withSystem && Apart(sysBefore, sysAfter) <= 1) {
      EXPECT_TRUE(Within(mine, sysBefore, sysAfter))
          << mine << " MiB, the system said " << sysBefore << " then "
          << sysAfter;
      withSystem = true;
    }
    if (!withDf && Apart(dfBefore, dfAfter) <= 1) {
      EXPECT_TRUE(Within(mine, dfBefore, dfAfter))
          << mine << " MiB, df said " << dfBefore << " then " << dfAfter;
      withDf = true;
    }
  }
  if (!withSystem || !withDf)
    GTEST_SKIP() << "the disk kept changing by more than 1 MiB (compared with "
                 << (withSystem ? "the system's query"
                     : withDf   ? "df"
                                : "neither")
                 << ")";
}

}  // namespace
