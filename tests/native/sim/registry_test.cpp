// The simulated registry against Windows' rules, and against the answers the
// real registry gave under Wine for a fixed table of calls.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "tests/native/support/sim_fixture.h"

// The probe's table of calls, shared with the cross-built Wine probe.
#include "tests/wine/probes/registry_probe.cpp"

namespace kv {
namespace {

using sim::WindowsVersion;
using test::SimMachine;

constexpr LONG kBadPathname = 161;

const BYTE* Bytes(const char* s) { return reinterpret_cast<const BYTE*>(s); }

HKEY Create(sim::SimPlatform& os, HKEY parent, const char* path) {
  HKEY key = nullptr;
  EXPECT_EQ(os.RegCreateKeyExA(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS,
                               nullptr, &key, nullptr),
            ERROR_SUCCESS)
      << path;
  return key;
}

// The expected file holds what the table answered on the real registry
// (Wine at winxp); see registry_probe.cpp for how to regenerate it.
TEST(RegistryProbe, SimulatedMachineAnswersAsTheRealRegistry) {
  std::string fixture = __FILE__;
  fixture = fixture.substr(0, fixture.rfind("/native/")) +
            "/fixtures/registry_probe.expected";
  std::ifstream in(fixture);
  ASSERT_TRUE(in) << fixture;
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);) expected.push_back(line);

  SimMachine m(WindowsVersion::XP);
  const std::vector<std::string> actual = probe::RunRegistryProbe(m.os());
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i)
    EXPECT_EQ(actual[i], expected[i]) << "line " << i + 1;
}

TEST(Registry, NamesIgnoreCaseAndKeepFirstSpelling) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  HKEY key = Create(os, HKEY_LOCAL_MACHINE, "Software\\Vendor\\MixedCase");
  ASSERT_EQ(os.RegSetValueExA(key, "Value", 0, REG_SZ, Bytes("one"), 4), 0);
  ASSERT_EQ(os.RegSetValueExA(key, "VALUE", 0, REG_SZ, Bytes("two"), 4), 0);
  os.RegCloseKey(key);

  HKEY again = nullptr;
  ASSERT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\VENDOR\\mixedcase",
                             0, KEY_READ, &again),
            ERROR_SUCCESS);
  char name[32];
  DWORD nameSize = sizeof name, type = 0, size = 8;
  BYTE data[8];
  ASSERT_EQ(
      os.RegEnumValueA(again, 0, name, &nameSize, nullptr, &type, data, &size),
      ERROR_SUCCESS);
  EXPECT_STREQ(name, "Value");  // the first spelling stays
  EXPECT_STREQ(reinterpret_cast<char*>(data), "two");
  EXPECT_EQ(
      os.RegEnumValueA(again, 1, name, &nameSize, nullptr, &type, data, &size),
      ERROR_NO_MORE_ITEMS);
  os.RegCloseKey(again);
  EXPECT_NE(os.FindKey(HKEY_LOCAL_MACHINE, "software\\vendor\\MIXEDCASE"),
            nullptr);
  EXPECT_EQ(os.FindKey(HKEY_LOCAL_MACHINE, "software\\vendor")
                ->subkeys.begin()
                ->second->name,
            "MixedCase");
}

TEST(Registry, SubKeysEnumerateInUpcasedOrder) {
  SimMachine m(WindowsVersion::Win98);
  auto& os = m.os();
  HKEY base = Create(os, HKEY_CURRENT_USER, "Order");
  // '_' sorts after the letters once upcased, as on Windows NT and Wine.
  for (const char* s : {"zeta", "_under", "Alpha", "beta", "alpha2", "B"})
    os.RegCloseKey(Create(os, base, s));
  const char* expected[] = {"Alpha", "alpha2", "B", "beta", "zeta", "_under"};
  char name[32];
  for (DWORD i = 0; i < 6; ++i) {
    ASSERT_EQ(os.RegEnumKeyA(base, i, name, sizeof name), ERROR_SUCCESS);
    EXPECT_STREQ(name, expected[i]) << i;
  }
  EXPECT_EQ(os.RegEnumKeyA(base, 6, name, sizeof name), ERROR_NO_MORE_ITEMS);
  os.RegCloseKey(base);
}

struct DeleteCase {
  WindowsVersion version;
  LONG withSubKeys;
  bool treeGone;
};

TEST(Registry, DeletingAKeyWithSubKeysFollowsTheFamily) {
  const DeleteCase cases[] = {
      {WindowsVersion::Win95, ERROR_SUCCESS, true},
      {WindowsVersion::WinMe, ERROR_SUCCESS, true},
      {WindowsVersion::NT4, ERROR_ACCESS_DENIED, false},
      {WindowsVersion::XP, ERROR_ACCESS_DENIED, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(sim::WindowsVersionName(c.version));
    SimMachine m(c.version);
    auto& os = m.os();
    HKEY deep = Create(os, HKEY_LOCAL_MACHINE, "Software\\Tree\\Child\\Leaf");
    EXPECT_EQ(os.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Tree"),
              c.withSubKeys);
    EXPECT_EQ(os.FindKey(HKEY_LOCAL_MACHINE, "Software\\Tree") == nullptr,
              c.treeGone);
    // A handle into a deleted tree answers ERROR_KEY_DELETED.
    DWORD size = 0;
    EXPECT_EQ(os.RegQueryValueExA(deep, "x", nullptr, nullptr, nullptr, &size),
              c.treeGone ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(os.RegCloseKey(deep), ERROR_SUCCESS);
    EXPECT_EQ(os.RegCloseKey(deep), ERROR_INVALID_HANDLE);
  }
}

TEST(Registry, StringSizesFollowTheFamily) {
  struct Case {
    WindowsVersion version;
    const char* bytes;
    DWORD size;
    DWORD stored;
  };
  // 9x ignores the size of a string and stores it with its terminator; NT
  // stores the bytes given, counting a forgotten terminator found in memory.
  const char noTerm[] = {'a', 'b', 'c', 'd'};  // 'd' is never NUL
  const Case cases[] = {
      {WindowsVersion::XP, "", 0, 0},     {WindowsVersion::XP, "abc", 3, 4},
      {WindowsVersion::XP, noTerm, 3, 3}, {WindowsVersion::XP, "abc", 2, 2},
      {WindowsVersion::Win98, "", 0, 1},  {WindowsVersion::Win98, "abc", 2, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << sim::WindowsVersionName(c.version) << " size " << c.size);
    SimMachine m(c.version);
    auto& os = m.os();
    HKEY key = Create(os, HKEY_CURRENT_USER, "S");
    ASSERT_EQ(os.RegSetValueExA(key, "v", 0, REG_SZ, Bytes(c.bytes), c.size),
              ERROR_SUCCESS);
    DWORD size = 0xFFFF;
    EXPECT_EQ(os.RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, c.stored);
    os.RegCloseKey(key);
  }
}

TEST(Registry, HandleAndPathErrors) {
  SimMachine nt(WindowsVersion::Win2000);
  SimMachine nine(WindowsVersion::Win98);
  HKEY key = nullptr;
  // A leading backslash: refused on NT, skipped on 9x.
  EXPECT_EQ(
      nt.os().RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SYSTEM", 0, KEY_READ, &key),
      kBadPathname);
  ASSERT_EQ(nine.os().RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SYSTEM", 0, KEY_READ,
                                    &key),
            ERROR_SUCCESS);
  nine.os().RegCloseKey(key);
  // HKEY_DYN_DATA exists on 9x only; HKEY_CURRENT_CONFIG everywhere.
  EXPECT_EQ(nt.os().RegOpenKeyExA(HKEY_DYN_DATA, nullptr, 0, KEY_READ, &key),
            ERROR_INVALID_HANDLE);
  ASSERT_EQ(nine.os().RegOpenKeyExA(HKEY_DYN_DATA, nullptr, 0, KEY_READ, &key),
            ERROR_SUCCESS);
  nine.os().RegCloseKey(key);
  ASSERT_EQ(nt.os().RegOpenKeyExA(HKEY_CURRENT_CONFIG, "", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  nt.os().RegCloseKey(key);
  // RegOpenKeyA without a sub-key gives back the same handle.
  HKEY same = nullptr;
  EXPECT_EQ(nt.os().RegOpenKeyA(HKEY_LOCAL_MACHINE, "", &same), ERROR_SUCCESS);
  EXPECT_EQ(same, HKEY_LOCAL_MACHINE);
}

TEST(Registry, ReadOnlyHandleRefusesWritesOnNtOnly) {
  for (auto v : {WindowsVersion::XP, WindowsVersion::Win95}) {
    SimMachine m(v);
    auto& os = m.os();
    os.RegCloseKey(Create(os, HKEY_LOCAL_MACHINE, "Software\\RO"));
    HKEY key = nullptr;
    ASSERT_EQ(
        os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\RO", 0, KEY_READ, &key),
        ERROR_SUCCESS);
    const LONG expected =
        sim::IsWin9x(v) ? ERROR_SUCCESS : LONG(ERROR_ACCESS_DENIED);
    EXPECT_EQ(os.RegSetValueExA(key, "v", 0, REG_SZ, Bytes("x"), 2), expected);
    HKEY child = nullptr;
    EXPECT_EQ(os.RegCreateKeyExA(key, "Child", 0, nullptr, 0, KEY_ALL_ACCESS,
                                 nullptr, &child, nullptr),
              expected);
    if (child) os.RegCloseKey(child);
    os.RegCloseKey(key);
  }
}

TEST(Registry, InjectedFailureReturnsTheErrorOnce) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  os.FailOperation("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1, 1);
  HKEY key = nullptr;
  os.SetLastError(0xBAD);
  EXPECT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_READ, &key),
            ERROR_SUCCESS);  // skipped
  os.RegCloseKey(key);
  key = nullptr;
  os.SetLastError(test::kStaleError);
  EXPECT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_READ, &key),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_READ, &key),
            ERROR_SUCCESS);  // count used up
  os.RegCloseKey(key);
  EXPECT_EQ(os.CountOperations("RegOpenKeyExA"), 3u);
}

TEST(Registry, SkeletonOfEachFamily) {
  const char* print = "SYSTEM\\CurrentControlSet\\Control\\Print";
  for (auto v : {WindowsVersion::Win95, WindowsVersion::XP}) {
    SimMachine m(v);
    auto& os = m.os();
    const std::string base = std::string(print) + "\\Environments\\";
    EXPECT_NE(os.FindKey(HKEY_LOCAL_MACHINE,
                         std::string(print) + "\\Monitors\\Local Port"),
              nullptr);
    EXPECT_NE(os.FindKey(HKEY_LOCAL_MACHINE, std::string(print) + "\\Printers"),
              nullptr);
    EXPECT_NE(os.FindKey(HKEY_LOCAL_MACHINE, base + "Windows 4.0\\Drivers"),
              nullptr);
    EXPECT_EQ(os.FindKey(HKEY_LOCAL_MACHINE,
                         base + "Windows NT x86\\Print Processors") != nullptr,
              !sim::IsWin9x(v));
  }
}

// In code page 932 a backslash byte that trails a lead byte belongs to the
// character: the path splits only at real separators, when creating,
// opening, deleting through a handle and enumerating. In code page 1252 the
// same bytes are two names.
TEST(Registry, ShiftJisTrailBackslashIsNoSeparator) {
  // 0x83 0x5C is one character in 932; 0x95 0x5C another.
  const std::string so = "\x83\x5C", hyo = "\x95\x5C";
  const struct {
    UINT codePage;
    std::string path;  // below HKLM\SOFTWARE
    std::vector<std::string> names;
  } cases[] = {
      {932, so, {so}},
      {932, so + "\\" + hyo + "x", {so, hyo + "x"}},
      {932, "a" + hyo + hyo + "\\b", {"a" + hyo + hyo, "b"}},
      {1252, so + "\\b", {"\x83", "b"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    SimMachine m(WindowsVersion::XP);
    auto& os = m.os();
    os.SetCodePage(c.codePage);
    const std::string path = "SOFTWARE\\" + c.path;
    HKEY key = Create(os, HKEY_LOCAL_MACHINE, path.c_str());
    const sim::RegNode* node = os.FindKey(HKEY_LOCAL_MACHINE, "SOFTWARE");
    for (const auto& name : c.names) {
      ASSERT_NE(node, nullptr);
      auto it = node->subkeys.find(name);
      ASSERT_NE(it, node->subkeys.end()) << name;
      node = it->second.get();
    }
    EXPECT_TRUE(node->subkeys.empty());
    HKEY opened = nullptr;
    EXPECT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ,
                               &opened),
              ERROR_SUCCESS);
    EXPECT_EQ(os.RegCloseKey(opened), ERROR_SUCCESS);
    // Deleting the key of the handle itself re-splits its stored path.
    EXPECT_EQ(os.RegDeleteKeyA(key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(os.FindKey(HKEY_LOCAL_MACHINE, path), nullptr);
    EXPECT_EQ(os.RegCloseKey(key), ERROR_SUCCESS);
  }
}

}  // namespace
}  // namespace kv
