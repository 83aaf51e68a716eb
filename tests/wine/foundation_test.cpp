// The foundation on the real Win32 API: OS kind, the PC-98 probes and the
// last-error message box, through the DLL's exports and, where the value is
// internal, through the library's operations on Win32Platform.
// kv-wine-versions: nt40 win95 win98 winme win2k winxp win7 win10
#include <windows.h>

#include <string>
#include <vector>

#include "foundation/context.h"
#include "foundation/oskind.h"
#include "foundation/win32_platform.h"
#include "tests/wine/support/box_watch.h"
#include "tests/wine/support/wine_test.h"

namespace {

using IntFn = int(WINAPI*)();
using CaptionFn = int(WINAPI*)(LPCSTR);

// ---------------------------------------------------------------- message box
// First in the file, so that the first call into the freshly loaded DLL is
// LastErrorMessageBox: setting the library up on first use must not disturb
// the last error it reports.

struct BoxCase {
  DWORD error;
  bool systemHasText;
};

const BoxCase kBoxCases[] = {
    {ERROR_FILE_NOT_FOUND, true},
    {ERROR_SUCCESS, true},
    {ERROR_ACCESS_DENIED, true},
    {0x2000ABCDu, false},  // customer bit set: no system text, empty brackets
};

// A plain TEST (GoogleTest runs those before parameterised ones) and a
// table, so the first case is the program's first call into the DLL.
TEST(LastErrorMessageBox, ShowsTheErrorAndItsSystemText) {
  auto box = kvwine::Export<CaptionFn>("LastErrorMessageBox");
  ASSERT_NE(box, nullptr);

  for (const BoxCase& c : kBoxCases) {
    SCOPED_TRACE("last error " + std::to_string(c.error));
    const std::string systemText = kvwine::SystemMessage(c.error);
    ASSERT_EQ(!systemText.empty(), c.systemHasText)
        << "system text \"" << systemText << "\"";

    const char* caption = "KV last error test";
    kvwine::BoxWatch watch(caption);
    ASSERT_TRUE(watch.started());

    SetLastError(c.error);
    const int result = box(caption);

    const kvwine::BoxSeen& seen = watch.Wait();
    ASSERT_TRUE(seen.found) << "no box appeared (is there a display?)";
    EXPECT_TRUE(seen.pressed);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(seen.caption, caption);
    EXPECT_EQ(seen.text, "Err:" + std::to_string(static_cast<int>(c.error)) +
                             " [" + systemText + "]");
  }
}

// ---------------------------------------------------------------- OS kind

TEST(OsKind, VersionRecordIsTheRequestedWindows) {
  const auto& want = kvwine::Version();
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, want.platformId);
  EXPECT_EQ(info.dwMajorVersion, want.major);
  EXPECT_EQ(info.dwMinorVersion, want.minor);
}

TEST(OsKind, OperationsClassifyTheRealVersion) {
  const auto& want = kvwine::Version();
  kv::Win32Platform platform;
  kv::Context ctx(platform);
  EXPECT_EQ(static_cast<int>(kv::GetOSKind(ctx)), want.osKind);
  EXPECT_EQ(kv::GetNTGeneration(ctx), want.ntGeneration);
  EXPECT_EQ(kv::IsWinMe(ctx), want.isWinMe);
}

TEST(OsKind, IsWinMeExport) {
  auto isWinMe = kvwine::Export<IntFn>("IsWinMe");
  ASSERT_NE(isWinMe, nullptr);
  EXPECT_EQ(isWinMe(), kvwine::Version().isWinMe);
}

// ---------------------------------------------------------------- PC-98

// Sets keys of [boot.description] in system.ini for one test and puts the
// section back as it was (every key, or no section at all) when it goes.
class BootDescription {
 public:
  static constexpr const char* kSection = "boot.description";
  static constexpr const char* kFile = "system.ini";

  BootDescription() {
    char section[8192];
    const DWORD n =
        GetPrivateProfileSectionA(kSection, section, sizeof section, kFile);
    saved_.assign(section, n);
    if (n > 0) saved_.push_back('\0');  // the list's closing terminator
  }
  ~BootDescription() {
    RemoveSection();
    if (!saved_.empty())
      WritePrivateProfileSectionA(kSection, saved_.data(), kFile);
  }
  // nullptr removes the key.
  void Set(const char* key, const char* value) {
    ASSERT_TRUE(WritePrivateProfileStringA(kSection, key, value, kFile));
  }
  void RemoveSection() {
    WritePrivateProfileStringA(kSection, nullptr, nullptr, kFile);
  }

 private:
  std::string saved_;  // "key=value\0...\0\0", empty when there was none
};

struct Pc98Case {
  const char* what;
  bool section;
  const char* keyboard;  // nullptr: no such key
  const char* system;
  int expected;
};

const Pc98Case kPc98Cases[] = {
    {"no section", false, nullptr, nullptr, 1},
    {"PC/AT drivers", true,
     "Standard 101/102-Key or Microsoft Natural Keyboard", "Standard PC", 0},
    {"NEC keyboard", true, "NEC PC-9800 Keyboard", "Standard PC", 1},
    {"NEC system driver", true, "Standard 101/102-Key", "NEC PC-9800 Series",
     1},
    {"both NEC", true, "NEC PC-9800 Keyboard", "NEC PC-9800 Series", 1},
    {"lower-case nec is not NEC", true, "nec keyboard", "Standard PC", 0},
    {"empty keyboard counts as NEC", true, "", "Standard PC", 1},
    {"empty system driver counts as NEC", true, "Standard 101/102-Key", "", 1},
    {"missing keyboard counts as NEC", true, nullptr, "Standard PC", 1},
    {"missing system driver counts as NEC", true, "Standard 101/102-Key",
     nullptr, 1},
    {"NEC only after the start", true, "Keyboard NEC", "PC NEC", 0},
};

class Pc98 : public testing::TestWithParam<Pc98Case> {};

TEST_P(Pc98, BothProbesReadSystemIni) {
  const Pc98Case& c = GetParam();
  auto getCode = kvwine::Export<IntFn>("GetCode98orAT");
  auto check = kvwine::Export<IntFn>("CheckPC98");
  ASSERT_NE(getCode, nullptr);
  ASSERT_NE(check, nullptr);

  BootDescription boot;
  boot.RemoveSection();
  if (c.section) {
    boot.Set("keyboard.typ", c.keyboard);
    boot.Set("system.drv", c.system);
    // A neighbour key keeps the section present when both keys are absent.
    boot.Set("display.drv", "VGA");
  }
  EXPECT_EQ(getCode(), c.expected) << c.what;
  EXPECT_EQ(check(), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(SystemIni, Pc98, testing::ValuesIn(kPc98Cases));

TEST(Pc98Restore, SystemIniIsLeftAsFound) {
  BootDescription outer;  // puts the prefix's own section back at the end
  // A key none of the cases sets, so that a restore of only the probed keys
  // would lose it.
  outer.Set("display.drv", "KV display");
  char before[8192], after[8192];
  DWORD n1 = GetPrivateProfileSectionA("boot.description", before,
                                       sizeof before, "system.ini");
  ASSERT_GT(n1, 0u);
  {
    BootDescription boot;
    boot.RemoveSection();
    boot.Set("keyboard.typ", "NEC PC-9800 Keyboard");
    boot.Set("display.drv", "VGA");
  }
  DWORD n2 = GetPrivateProfileSectionA("boot.description", after, sizeof after,
                                       "system.ini");
  ASSERT_EQ(n1, n2);
  EXPECT_EQ(std::string(before, n1), std::string(after, n2));
}

}  // namespace
