// OS kind, Windows Me and PC-98 probes on every simulated Windows version.
#include "foundation/oskind.h"

#include <gtest/gtest.h>

#include "exports/foundation_exports.h"
#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

using test::AllVersions;
using test::SimMachine;

TEST(OsKind, EveryVersionClassifies) {
  for (const auto& c : AllVersions()) {
    SCOPED_TRACE(c.name);
    SimMachine m(c.version);
    EXPECT_EQ(GetOSKind(m.ctx()), c.osKind);
    // Server 2003 (3790) and every later NT build is above 3000 too: the
    // probe ignores the platform.
    const bool highBuild = c.version == sim::WindowsVersion::WinMe ||
                           c.version >= sim::WindowsVersion::Server2003;
    EXPECT_EQ(IsWinMe(m.ctx()), highBuild ? 1 : 0);
  }
}

struct RecordCase {
  DWORD platform, major, minor, build;
  int kind, ntGeneration, winMe;
};

TEST(OsKind, VersionRecordRules) {
  const RecordCase cases[] = {
      {2, 4, 0, 1381, 1, 1, 0},          // NT 4.0
      {2, 3, 51, 1057, -1, -1, 0},       // NT 3.51
      {2, 5, 0, 2195, 3, 2, 0},          // 2000
      {2, 5, 1, 2600, 4, 2, 0},          // XP
      {2, 5, 2, 3790, 4, 2, 1},          // Server 2003: build above 3000
      {2, 6, 0, 6002, 4, 2, 1},          // Vista: minor 0, yet not 2000
      {2, 10, 0, 18362, 4, 2, 1},        // 10 to a program declaring it
      {2, 6, 2, 9200, 4, 2, 1},          // 8.1 and 10 to any other program
      {2, 99, 0, 0, 4, 2, 0},            // a major version not yet seen
      {1, 4, 0, 0x040003B6, 2, -1, 0},   // 95: high word of the build ignored
      {1, 4, 90, 0x045A0BB8, 2, -1, 1},  // Me
      {1, 5, 0, 0, -1, -1, 0},           // no such Windows
      {0, 3, 10, 0, -1, -1, 0},          // Win32s
      {3, 4, 0, 0, -1, -1, 0},           // unknown platform
  };
  SimMachine m(sim::WindowsVersion::NT4);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.platform << "/" << c.major << "."
                                    << c.minor << " build " << c.build);
    m.os().SetVersionRecord(c.platform, c.major, c.minor, c.build);
    // The numbers themselves: scripts and exports compare them.
    EXPECT_EQ(static_cast<int>(GetOSKind(m.ctx())), c.kind);
    EXPECT_EQ(GetNTGeneration(m.ctx()), c.ntGeneration);
    EXPECT_EQ(IsWinMe(m.ctx()), c.winMe);
  }
}

TEST(OsKind, UnreadableVersionIsOther) {
  SimMachine m(sim::WindowsVersion::XP);
  m.os().FailOperation("GetVersionExA", ERROR_INVALID_PARAMETER, 0, -1);
  EXPECT_EQ(GetOSKind(m.ctx()), OsKind::Other);
  EXPECT_EQ(GetNTGeneration(m.ctx()), -1);
  EXPECT_EQ(IsWinMe(m.ctx()), 0);
}

struct Pc98Case {
  const char* keyboard;  // null: key absent
  const char* system;
  int answer;
};

TEST(Pc98, BootDescriptionRule) {
  const Pc98Case cases[] = {
      {"KEYBOARD.DRV", "SYSTEM.DRV", 0},
      {"NEC PC-9800 Keyboard", "SYSTEM.DRV", 1},
      {"KEYBOARD.DRV", "NECSYS.DRV", 1},
      {"nec keyboard", "system.drv", 0},  // case-sensitive prefix
      {"", "SYSTEM.DRV", 1},              // empty value counts as NEC
      {"KEYBOARD.DRV", "", 1},
      {nullptr, "SYSTEM.DRV", 1},  // missing key reads the default "NEC"
      {"KEYBOARD.DRV", nullptr, 1},
      {"NE", "SYSTEM.DRV", 0},  // shorter than the prefix
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << (c.keyboard ? c.keyboard : "(none)") << " / "
                 << (c.system ? c.system : "(none)"));
    SimMachine m(sim::WindowsVersion::Win98);
    m.os().WritePrivateProfileStringA("boot.description", "keyboard.typ",
                                      c.keyboard, "system.ini");
    m.os().WritePrivateProfileStringA("boot.description", "system.drv",
                                      c.system, "system.ini");
    EXPECT_EQ(IsPC98Machine(m.ctx(), 512), c.answer);
    EXPECT_EQ(IsPC98Machine(m.ctx(), 260), c.answer);
  }
}

TEST(Pc98, ExportsAgreeWithMachineSetting) {
  for (bool nec : {false, true}) {
    SimMachine m(sim::WindowsVersion::Win95);
    m.os().SetPC98(nec);
    m.BindExports();
    EXPECT_EQ(GetCode98orAT(), nec ? 1 : 0);
    EXPECT_EQ(CheckPC98(), nec ? 1 : 0);
  }
}

TEST(Pc98, NoBootDescriptionSectionMeansPc98) {
  SimMachine m(sim::WindowsVersion::NT4);
  m.os().WritePrivateProfileStringA("boot.description", nullptr, nullptr,
                                    "system.ini");
  m.BindExports();
  EXPECT_EQ(GetCode98orAT(), 1);
  EXPECT_EQ(CheckPC98(), 1);
}

TEST(Pc98, LongValuesAreReadWithinTheirBuffers) {
  // A 600-character value is cut by the profile read; the answer still
  // follows its first characters.
  SimMachine m(sim::WindowsVersion::Win98);
  const std::string longValue(600, 'K');
  m.os().WritePrivateProfileStringA("boot.description", "keyboard.typ",
                                    longValue.c_str(), "system.ini");
  m.os().WritePrivateProfileStringA("boot.description", "system.drv",
                                    ("NEC" + longValue).c_str(), "system.ini");
  m.BindExports();
  EXPECT_EQ(CheckPC98(), 1);
  EXPECT_EQ(GetCode98orAT(), 1);
}

}  // namespace
}  // namespace kv
