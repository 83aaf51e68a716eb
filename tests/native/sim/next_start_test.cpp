#include "sim/next_start.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/registry.h"
#include "foundation/registry_paths.h"
#include "tests/native/support/sim_fixture.h"
#include "tests/native/support/windows_keys.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;

bool Exists(sim::SimPlatform& os, const std::string& path) {
  return os.GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void SetRunOnce(sim::SimPlatform& os, const std::string& name,
                const std::string& command) {
  RegKey key(os);
  ASSERT_EQ(CreateKey(os, HKEY_LOCAL_MACHINE, test::kWinRunOnceKey, key),
            ERROR_SUCCESS);
  WriteString(os, key.get(), name.c_str(), command);
}

// The NT family runs the batch line by line: quoted and plain paths, "/f"
// for read-only files, and nothing after the line that deletes the batch.
// Lines removal never writes (wildcards, two files, other commands) run
// nothing. The RunOnce value is gone afterwards.
TEST(NextStart, RunsTheBatchUntilItDeletesItself) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  const std::string s = os.systemDir();
  for (const char* f : {"C:\\a b\\x.dll", "C:\\ro.dll", "C:\\keep1.dll",
                        "C:\\keep2.dll", "C:\\after.dll", "C:\\k.dll"})
    ASSERT_TRUE(os.WriteTextFile(f, "x"));
  os.SetFileAttributesA("C:\\ro.dll", FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(os.WriteTextFile(
      s + "\\VT3E.bat",
      "del /f \"C:\\a b\\x.dll\"\r\ndel /f C:\\ro.dll\r\ndel /f C:\\*.dll\r\n"
      "del /f C:\\keep1.dll C:\\keep2.dll\r\nformat C:\r\n"
      "del /f C:\\missing.dll\r\ndel /f " +
          s +
          "\\VT3E.bat\r\n"
          "del /f C:\\after.dll\r\n"));
  SetRunOnce(os, "VT3E", s + "\\VT3E.bat");
  const auto log = sim::StartWindowsAgain(os);
  EXPECT_FALSE(Exists(os, "C:\\a b\\x.dll"));
  EXPECT_FALSE(Exists(os, "C:\\ro.dll"));
  EXPECT_FALSE(Exists(os, s + "\\VT3E.bat"));
  for (const char* f :
       {"C:\\keep1.dll", "C:\\keep2.dll", "C:\\after.dll", "C:\\k.dll"})
    EXPECT_TRUE(Exists(os, f)) << f;
  EXPECT_TRUE(sim::StartWindowsAgain(os).empty());  // run once only
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "  (batch gone: rest not run)");
}

// Windows 9x runs each line as its own RunOnce command; "del" without "/f"
// leaves a read-only file.
TEST(NextStart, Windows9xRunsEachLine) {
  SimMachine m(WindowsVersion::Win98);
  auto& os = m.os();
  for (const char* f : {"C:\\a.dll", "C:\\ro.dll"})
    ASSERT_TRUE(os.WriteTextFile(f, "x"));
  os.SetFileAttributesA("C:\\ro.dll", FILE_ATTRIBUTE_READONLY);
  SetRunOnce(os, "VT3E_0", "command.com /c del C:\\a.dll");
  SetRunOnce(os, "VT3E_1", "command.com /c del C:\\ro.dll");
  SetRunOnce(os, "Other", "regedit /s x.reg");
  const auto log = sim::StartWindowsAgain(os);
  EXPECT_FALSE(Exists(os, "C:\\a.dll"));
  EXPECT_TRUE(Exists(os, "C:\\ro.dll"));
  EXPECT_EQ(log.size(), 6u);
}

}  // namespace
}  // namespace kv::test
