// ToInstallTTF, VtoeSwmd and GetDiskFreeSize on the simulated machine.
#include "staging/fonts_launch.h"

#include <gtest/gtest.h>

#include "exports/staging_exports.h"
#include "tests/native/support/sim_fixture.h"
#include "tests/native/support/staging_support.h"

namespace kv::test {
namespace {

// The smallest file the font table takes: an sfnt header with one table
// record.
std::string TinyTrueType() {
  std::string f("\x00\x01\x00\x00\x00\x01\x00\x10\x00\x00\x00\x00", 12);
  f += std::string("name") + std::string(12, '\0');
  return f;
}

class FontTest : public ::testing::Test {
 protected:
  SimMachine m{sim::WindowsVersion::Win98};
  sim::SimPlatform& os = m.os();
  void Put(const std::string& win, const std::string& bytes) {
    WriteHost(os.HostPath(win), bytes);
  }
  size_t FontChanges() {
    size_t n = 0;
    for (const auto& msg : os.messages())
      if (msg.window == HWND_BROADCAST && msg.message == WM_FONTCHANGE &&
          msg.wParam == 0 && msg.lParam == 0)
        ++n;
    return n;
  }
};

TEST_F(FontTest, AddsAFontAndBroadcastsTheChange) {
  Put("C:\\MEDIA\\FONT.TTF", TinyTrueType());
  os.SetLastError(ERROR_ACCESS_DENIED);  // a stale error must not count
  EXPECT_EQ(ToInstallTTF(m.ctx(), "C:\\MEDIA\\FONT.TTF"), 1);
  EXPECT_EQ(FontChanges(), 1u);
  // It is in the machine's font table now, and only once.
  EXPECT_TRUE(os.RemoveFontResourceA("C:\\MEDIA\\FONT.TTF"));
  EXPECT_FALSE(os.RemoveFontResourceA("C:\\MEDIA\\FONT.TTF"));
  // Nothing was copied anywhere.
  EXPECT_FALSE(
      std::filesystem::exists(os.HostPath("C:\\WINDOWS\\FONTS\\FONT.TTF")));
}

TEST_F(FontTest, RefusesWhatIsNoFontOrCannotBeOpened) {
  Put("C:\\MEDIA\\TEXT.TTF", "not a font at all");
  Put("C:\\MEDIA\\SHORT.TTF", TinyTrueType().substr(0, 20));
  Put("C:\\MEDIA\\HELD.TTF", TinyTrueType());
  EXPECT_EQ(ToInstallTTF(m.ctx(), "C:\\MEDIA\\MISSING.TTF"), 0);
  EXPECT_EQ(ToInstallTTF(m.ctx(), "C:\\MEDIA\\TEXT.TTF"), 0);
  EXPECT_EQ(ToInstallTTF(m.ctx(), "C:\\MEDIA\\SHORT.TTF"), 0);
  EXPECT_EQ(ToInstallTTF(m.ctx(), "C:\\NOFOLDER\\X.TTF"), 0);
  // Another program holds the file: the exclusive open fails.
  os.FailOperation("CreateFileA", ERROR_SHARING_VIOLATION);
  EXPECT_EQ(ToInstallTTF(m.ctx(), "C:\\MEDIA\\HELD.TTF"), 0);
  EXPECT_EQ(os.CountOperations("AddFontResourceA"), 2u);  // TEXT and SHORT
  EXPECT_EQ(FontChanges(), 0u);
  m.BindExports();
  EXPECT_EQ(::ToInstallTTF(nullptr, 0), 0);
  EXPECT_EQ(::ToInstallTTF("C:\\MEDIA\\HELD.TTF", 99), 1);
}

TEST(VtoeSwmd, StartsTheProgramOfTheFamilysDriverDirectory) {
  const struct {
    sim::WindowsVersion version;
    const char* dir;  // after the system directory
  } cases[] = {
      {sim::WindowsVersion::NT4, "\\Spool\\Drivers\\w32x86\\2\\"},
      {sim::WindowsVersion::Win95, "\\"},
      {sim::WindowsVersion::WinMe, "\\"},
      {sim::WindowsVersion::Win2000, "\\Spool\\Drivers\\w32x86\\3\\"},
      {sim::WindowsVersion::XP, "\\Spool\\Drivers\\w32x86\\3\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(sim::WindowsVersionName(c.version));
    SimMachine m(c.version);
    const std::string program = m.os().systemDir() + c.dir + "X.EXE";
    WriteHost(m.os().HostPath(program), "MZ");
    std::vector<std::string> seen;
    m.os().RegisterProgram("x.exe",
                           [&](sim::SimPlatform&, const std::string& cmd) {
                             seen.push_back(cmd);
                             return DWORD{0};
                           });
    EXPECT_GT(VtoeSwmd(m.ctx(), "X.EXE /s"), 31u);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], program + " /s");
    ASSERT_EQ(m.os().processes().size(), 1u);
    EXPECT_TRUE(sim::EqualNoCase(m.os().processes()[0].application, program));
    // A program that is not there: the error value, 31 or below.
    EXPECT_EQ(VtoeSwmd(m.ctx(), "MISSING.EXE"), UINT{ERROR_FILE_NOT_FOUND});
  }
}

TEST(VtoeSwmd, LongCommandLinesAreNotCut) {
  SimMachine m(sim::WindowsVersion::XP);
  std::string seen;
  m.os().RegisterProgram("TOOL.EXE",
                         [&](sim::SimPlatform&, const std::string& cmd) {
                           seen = cmd;
                           return DWORD{0};
                         });
  const std::string args(400, 'a');
  EXPECT_GT(VtoeSwmd(m.ctx(), "TOOL.EXE " + args), 31u);
  EXPECT_EQ(seen.substr(seen.size() - 401), " " + args);
}

TEST(GetDiskFreeSize, ReportsTheSimulatedFreeSpaceInMiB) {
  const struct {
    sim::WindowsVersion version;
    uint64_t expected;
  } cases[] = {
      {sim::WindowsVersion::XP, 5120},
      {sim::WindowsVersion::Win98, 5120},
      {sim::WindowsVersion::NT4, 5120},
      // The first Windows 95 kernel lacks the extended query; the classic one
      // stops at 65535 clusters of 32 KB.
      {sim::WindowsVersion::Win95, 2047},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(sim::WindowsVersionName(c.version));
    SimMachine m(c.version);
    m.os().SetDiskSpace(5ull << 30, 20ull << 30);
    EXPECT_EQ(GetDiskFreeSize(m.ctx()), c.expected);
    m.os().SetDiskSpace((3ull << 20) + 12345, 20ull << 30);
    EXPECT_EQ(GetDiskFreeSize(m.ctx()), 3u);
  }
}

TEST(GetDiskFreeSize, FallsBackToTheClassicQueryAndSurvivesBothFailing) {
  SimMachine m(sim::WindowsVersion::XP);
  m.os().SetDiskSpace(7ull << 30, 20ull << 30);
  m.os().FailOperation("GetDiskFreeSpaceExA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(GetDiskFreeSize(m.ctx()), 7168u);
  m.os().FailOperation("GetDiskFreeSpaceExA", ERROR_ACCESS_DENIED);
  m.os().FailOperation("GetDiskFreeSpaceA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(GetDiskFreeSize(m.ctx()), 0u);
  m.BindExports();
  EXPECT_EQ(::GetDiskFreeSize(), 7168u);
}

}  // namespace
}  // namespace kv::test
