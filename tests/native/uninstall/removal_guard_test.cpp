#include "uninstall/removal_guard.h"

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

// Names a list may hold that must never reach outside the folder they are
// joined to, beside names that are ordinary files.
TEST(RemovalGuard, PlainFileNames) {
  const struct {
    const char* name;
    bool plain;
  } cases[] = {
      {"KVDRV.DLL", true},   {"a b.ini", true},   {"x=1.dat", true},
      {"CONFIG.SYS", true},  {"COM10.txt", true}, {"", false},
      {".", false},          {"..", false},       {"..\\WIN.INI", false},
      {"sub\\a.dll", false}, {"a/b", false},      {"C:x.dll", false},
      {"*.dll", false},      {"a?.dll", false},   {"NUL", false},
      {"nul.txt", false},    {"LPT1", false},     {"com3.dll", false},
      {"CON ", false},       {"a.", false},       {"a\tb", false},
      {"\"a\"", false},      {"a|b", false},      {"KVDRV~1.DLL", false},
      {"a~b.dll", true},
  };
  SimMachine m(WindowsVersion::XP);
  for (const auto& c : cases)
    EXPECT_EQ(IsPlainFileName(m.os(), c.name), c.plain) << "[" << c.name << "]";
  EXPECT_FALSE(IsPlainFileName(m.os(), std::string(MAX_PATH, 'a')));
}

// A file is deleted only in a removal folder and only by a plain name; a
// sentinel where a hostile name would lead survives.
TEST(RemovalGuard, FilesOutsideRemovalFoldersStay) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  const std::string w = os.windowsDir();
  const std::string s = os.systemDir();
  ASSERT_EQ(WindowsDirectory(m.ctx()), w);
  ASSERT_EQ(SystemDirectory(m.ctx()), s);
  ASSERT_TRUE(os.WriteTextFile("C:\\keep.txt", "x"));
  ASSERT_TRUE(os.WriteTextFile(w + "\\WIN2.INI", "x"));
  ASSERT_TRUE(os.CreateDirectoryA((s + "\\KVDRV").c_str(), nullptr));
  ASSERT_TRUE(os.WriteTextFile(s + "\\KVDRV\\A.DLL", "x"));

  const struct {
    std::string folder, name;
    bool deleted;
    DWORD error;
  } cases[] = {
      {s + "\\KVDRV", "A.DLL", true, 0},
      {s + "\\KVDRV", "..\\..\\WIN2.INI", false, ERROR_INVALID_NAME},
      {s + "\\KVDRV\\..\\..", "WIN2.INI", false, ERROR_ACCESS_DENIED},
      {"C:", "keep.txt", false, ERROR_ACCESS_DENIED},
      {"C:\\WINDOWSX", "keep.txt", false, ERROR_ACCESS_DENIED},
      {w + "\\", "WIN2.INI", false, ERROR_ACCESS_DENIED},
      {s, "C:\\keep.txt", false, ERROR_INVALID_NAME},
      {w + "\\" + std::string(250, 'd'), "x.dll", false, ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    os.SetLastError(0);
    EXPECT_EQ(DeleteOwnedFile(m.ctx(), c.folder, c.name) != FALSE, c.deleted)
        << c.folder << " + " << c.name;
    if (!c.deleted && c.error) {
      EXPECT_EQ(os.GetLastError(), c.error);
    }
    EXPECT_EQ(OwnedFilePath(m.ctx(), c.folder, c.name).empty(), c.error != 0)
        << c.folder << " + " << c.name;
  }
  EXPECT_FALSE(Exists(os, s + "\\KVDRV\\A.DLL"));
  EXPECT_TRUE(Exists(os, "C:\\keep.txt"));
  EXPECT_TRUE(Exists(os, w + "\\WIN2.INI"));
}

// Key trees: deleted whole (with sub-keys, on the NT family too) strictly
// below the roots installation writes to; Windows' own enumerators and
// classes, and paths that climb, are refused untouched.
TEST(RemovalGuard, KeyTreesBelowOwnedRootsOnly) {
  const struct {
    std::string path;
    bool owned;
  } cases[] = {
      {"Enum\\USBPRINT\\KORVAKV_1234", true},
      {"ENUM\\LPTENUM\\KorvaKV\\0", true},
      {"Enum\\USBPRINT", false},
      {"Enum", false},
      {"Enum\\", false},
      {"Enum\\USB\\..", false},
      {"Enum\\USB\\\\x", false},
      {"\\Enum\\USB\\x", false},
      {"EnumX\\USB\\x", false},
      {std::string(test::kWinClassKey) +
           "\\{4D36E979-E325-11CE-BFC1-08002BE10318}",
       false},
      {std::string(test::kWinClassKey) +
           "\\{4D36E979-E325-11CE-BFC1-08002BE10318}\\0001",
       true},
      {std::string(test::kWinPrintersKey) + "\\KV Printer", true},
      {std::string(test::kWinMonitorsKey) + "\\KV Port", true},
      {std::string(test::kWinKorvaKey) + "\\Project", true},
      {test::kWinKorvaKey, false},
      {"SYSTEM\\CurrentControlSet\\Services\\Spooler", false},
  };
  SimMachine xp(WindowsVersion::XP);
  for (const auto& c : cases)
    EXPECT_EQ(IsRemovalKey(xp.os(), c.path), c.owned) << c.path;

  for (WindowsVersion v : {WindowsVersion::Win98, WindowsVersion::XP}) {
    SimMachine m(v);
    auto& os = m.os();
    const std::string device = "Enum\\USBPRINT\\KORVAKV";
    for (const std::string& path :
         {device + "\\0001\\Device Parameters", device + "\\0002",
          std::string("Enum\\USBPRINT\\OTHER")}) {
      RegKey key(os);
      ASSERT_EQ(CreateKey(os, HKEY_LOCAL_MACHINE, path, key), ERROR_SUCCESS);
    }
    EXPECT_EQ(DeleteOwnedKeyTree(m.ctx(), device), ERROR_SUCCESS);
    EXPECT_EQ(DeleteOwnedKeyTree(m.ctx(), "Enum\\USBPRINT"),
              ERROR_ACCESS_DENIED);
    RegKey key(os);
    EXPECT_NE(OpenKey(os, HKEY_LOCAL_MACHINE, device, key), ERROR_SUCCESS);
    EXPECT_EQ(OpenKey(os, HKEY_LOCAL_MACHINE, "Enum\\USBPRINT\\OTHER", key),
              ERROR_SUCCESS);
  }
}

// A tree of any depth goes whole; a key that can't be deleted keeps only
// itself and what is above it, and the walk still ends.
TEST(RemovalGuard, DeepTreesGoWithoutRecursion) {
  for (const int stuckAt : {-1, 0, 5}) {
    SCOPED_TRACE(stuckAt);
    SimMachine m(WindowsVersion::XP);
    auto& os = m.os();
    const std::string device = "Enum\\USBPRINT\\KORVAKV";
    std::string deep = device;
    for (int i = 0; i < 60; ++i) deep += "\\" + std::to_string(i % 10);
    for (const std::string& path : {deep, device + "\\other\\x"}) {
      RegKey key(os);
      ASSERT_EQ(CreateKey(os, HKEY_LOCAL_MACHINE, path, key), ERROR_SUCCESS);
    }
    if (stuckAt >= 0)
      os.FailOperation("RegDeleteKeyA", ERROR_ACCESS_DENIED, stuckAt, 1);
    const LONG result = DeleteOwnedKeyTree(m.ctx(), device);
    EXPECT_EQ(result == ERROR_SUCCESS, stuckAt < 0);
    EXPECT_EQ(os.FindKey(HKEY_LOCAL_MACHINE, device) != nullptr, stuckAt >= 0);
    EXPECT_EQ(os.FindKey(HKEY_LOCAL_MACHINE, "Enum\\USBPRINT") != nullptr,
              true);
    EXPECT_EQ(os.OpenKeyHandles(), 0u);
  }
}

}  // namespace
}  // namespace kv::test
