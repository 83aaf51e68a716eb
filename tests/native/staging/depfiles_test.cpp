// The dependent-file list the driver registration hands to the spooler.
#include "staging/depfiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exports/staging_exports.h"
#include "foundation/setupinfo.h"
#include "printer/driver.h"
#include "tests/native/support/printer_support.h"

namespace kv {
namespace {

using sim::WindowsVersion;
using test::SimMachine;

std::vector<std::string> List(const Context& ctx) {
  std::vector<std::string> names;
  for (const char* p = ctx.dependentFiles; *p; p += std::strlen(p) + 1)
    names.push_back(p);
  return names;
}

TEST(DependentFiles, MediumSuffixesOfOneToThreeCharactersAreCut) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {{"A.DLL=1", "A.DLL"},   {"C.DLL=12", "C.DLL"},
                        {"E.DLL=123", "E.DLL"}, {"D.DLL=1234", "D.DLL=1234"},
                        {"F.DLL=", "F.DLL="},   {"=1", ""},
                        {"G=1=2", "G"},         {"B.DLL", "B.DLL"}};
  for (const auto& c : cases) {
    SimMachine m(WindowsVersion::XP);
    EXPECT_EQ(MakeDep(m.ctx(), c.in), 1);
    EXPECT_STREQ(m.ctx().dependentFiles, c.out) << c.in;
  }
}

TEST(DependentFiles, DepInitRestartsAndLeavesTheOldTailUntilOverwritten) {
  SimMachine m(WindowsVersion::XP);
  auto& ctx = m.ctx();
  DepInit(ctx);
  MakeDep(ctx, "A.DLL=1");
  MakeDep(ctx, "B.DLL");
  EXPECT_EQ(List(ctx), (std::vector<std::string>{"A.DLL", "B.DLL"}));
  EXPECT_EQ(DepInit(ctx), 1);
  EXPECT_EQ(List(ctx), (std::vector<std::string>{"A.DLL", "B.DLL"}));
  MakeDep(ctx, "LONGER.DLL");
  EXPECT_EQ(List(ctx), (std::vector<std::string>{"LONGER.DLL"}));
}

TEST(DependentFiles, TheListNeverPassesItsCapacity) {
  SimMachine m(WindowsVersion::XP);
  auto& ctx = m.ctx();
  // 49 names of 9 characters take 490 bytes; with the end name, 491.
  for (int i = 0; i < 49; ++i) ASSERT_EQ(MakeDep(ctx, "ABCDE.DLL"), 1);
  // 8 more characters fill the list exactly: 499 + the end name = 500.
  EXPECT_EQ(MakeDep(ctx, "1234.DLL"), 1);
  EXPECT_EQ(ctx.dependentPos, kDependentListSize - 1);
  EXPECT_EQ(ctx.dependentFiles[kDependentListSize - 1], '\0');
  // Nothing more fits, not even an empty name; the list stays as it was.
  const std::vector<std::string> before = List(ctx);
  EXPECT_EQ(MakeDep(ctx, "X"), 0);
  EXPECT_EQ(MakeDep(ctx, ""), 0);
  EXPECT_EQ(List(ctx), before);
  EXPECT_EQ(before.size(), 50u);

  // One past the limit from a fresh start: a 499-character name is refused,
  // a 498-character one fits.
  DepInit(ctx);
  EXPECT_EQ(MakeDep(ctx, std::string(499, 'N').c_str()), 0);
  EXPECT_EQ(MakeDep(ctx, std::string(498, 'N').c_str()), 1);
  EXPECT_EQ(List(ctx), std::vector<std::string>{std::string(498, 'N')});
}

TEST(DependentFiles, ExportsUseTheProcessList) {
  SimMachine m(WindowsVersion::Win98);
  m.BindExports();
  EXPECT_EQ(::DepInit(), 1);
  EXPECT_EQ(::MakeDep("KVRES.DLL=2"), 1);
  EXPECT_EQ(::MakeDep(std::string(600, 'x').c_str()), 0);
}

TEST(DependentFiles, DriverRegisteredBeforeAnyMakeDepHasNone) {
  for (auto v :
       {WindowsVersion::Win98, WindowsVersion::NT4, WindowsVersion::XP}) {
    SimMachine m(v);
    test::PlaceMedium(m);
    LookupModel(m.ctx(), "KV-1000", test::kSii);
    EXPECT_EQ(InstallPrinterDriver(m.ctx(), test::kSii), 1);
    const std::string env = sim::IsWin9x(v) ? "Windows 4.0" : "Windows NT x86";
    const std::string key = std::string(sim::kPrintKeyPath) +
                            "\\Environments\\" + env + "\\Drivers\\" +
                            (sim::IsWin9x(v)            ? ""
                             : v == WindowsVersion::NT4 ? "Version-2\\"
                                                        : "Version-3\\") +
                            test::kDriverName;
    sim::RegNode* d = m.os().FindKey(HKEY_LOCAL_MACHINE, key);
    ASSERT_NE(d, nullptr) << key;
    EXPECT_EQ(d->values["Dependent Files"].data, std::vector<BYTE>(1, 0));
    EXPECT_EQ(test::RegString(m, HKEY_LOCAL_MACHINE, key, "Datatype"),
              sim::IsWin9x(v) ? "EMF" : "RAW");
  }
}

}  // namespace
}  // namespace kv
