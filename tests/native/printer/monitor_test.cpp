// Port monitor registration on every Windows family.
#include "printer/monitor.h"

#include <gtest/gtest.h>

#include <string>

#include "exports/printer_exports.h"
#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

using test::SimMachine;

constexpr const char* kSii = "C:\\medium\\kv.sii";
constexpr const char* kMonitorKey =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\KV Test Port";

void WriteSii(SimMachine& m, const std::string& lmonn) {
  ASSERT_TRUE(
      m.os().WriteTextFile(kSii, "[Files.Com]\r\nLmonn=" + lmonn +
                                     "\r\n[Files.NT]\r\nLmonmNT=kvmonnt.dll\r\n"
                                     "[Files.2K]\r\nLmonm2K=kvmon2k.dll\r\n"
                                     "[Files.9x]\r\nLmonm9x=kvmon9x.dll\r\n"));
  for (const char* dll : {"kvmonnt.dll", "kvmon2k.dll", "kvmon9x.dll"})
    ASSERT_TRUE(m.os().WriteTextFile(m.os().systemDir() + "\\" + dll, "MZ"));
}

std::string RegString(SimMachine& m, const char* path, const char* name) {
  sim::RegNode* node = m.os().FindKey(HKEY_LOCAL_MACHINE, path);
  if (!node) return "(no key)";
  auto it = node->values.find(name);
  if (it == node->values.end()) return "(no value)";
  std::string s(it->second.data.begin(), it->second.data.end());
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

TEST(InstallPrinterMonitor, EachFamilyUsesItsFileAndEnvironment) {
  struct Case {
    sim::WindowsVersion v;
    const char* dll;
  };
  const Case cases[] = {{sim::WindowsVersion::NT4, "kvmonnt.dll"},
                        {sim::WindowsVersion::Win95, "kvmon9x.dll"},
                        {sim::WindowsVersion::Win98, "kvmon9x.dll"},
                        {sim::WindowsVersion::WinMe, "kvmon9x.dll"},
                        {sim::WindowsVersion::Win2000, "kvmon2k.dll"},
                        {sim::WindowsVersion::XP, "kvmon2k.dll"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(sim::WindowsVersionName(c.v));
    SimMachine m(c.v);
    WriteSii(m, "KV Test Port");
    EXPECT_NE(InstallPrinterMonitor(m.ctx(), kSii), 0);
    EXPECT_EQ(RegString(m, kMonitorKey, "Driver"), c.dll);
    EXPECT_TRUE(m.trace.empty());

    // The same monitor again is refused by the spooler and traced.
    m.os().SetLastError(test::kStaleError);
    EXPECT_EQ(InstallPrinterMonitor(m.ctx(), kSii), 0);
    EXPECT_EQ(m.os().GetLastError(),
              static_cast<DWORD>(ERROR_PRINT_MONITOR_ALREADY_INSTALLED));
    EXPECT_EQ(m.traceText(), "AddMonitor Fail ErrMsg[0xbbe]\n");
  }
}

TEST(InstallPrinterMonitor, UnknownWindowsAddsNothing) {
  for (auto v : {sim::WindowsVersion::NT351, sim::WindowsVersion::Win32s}) {
    SimMachine m(v);
    WriteSii(m, "KV Test Port");
    EXPECT_EQ(InstallPrinterMonitor(m.ctx(), kSii), 0);
    EXPECT_EQ(m.os().CountOperations("AddMonitorA"), 0u);
    EXPECT_TRUE(m.trace.empty());
  }
}

TEST(InstallPrinterMonitor, EmptyNameIsAttemptedAndFails) {
  SimMachine m(sim::WindowsVersion::XP);
  WriteSii(m, "");
  EXPECT_EQ(InstallPrinterMonitor(m.ctx(), kSii), 0);
  EXPECT_EQ(m.os().CountOperations("AddMonitorA"), 1u);
  EXPECT_NE(m.traceText().find("AddMonitor Fail ErrMsg[0x"), std::string::npos);
}

TEST(InstallPrinterMonitor, MissingMonitorFileIsRefused) {
  SimMachine m(sim::WindowsVersion::Win2000);
  ASSERT_TRUE(
      m.os().WriteTextFile(kSii,
                           "[Files.Com]\r\nLmonn=KV Test Port\r\n[Files.2K]\r\n"
                           "Lmonm2K=absent.dll\r\n"));
  EXPECT_EQ(InstallPrinterMonitor(m.ctx(), kSii), 0);
  EXPECT_EQ(RegString(m, kMonitorKey, "Driver"), "(no key)");
}

TEST(InstallPrinterMonitor, AllocationFailureIsTraced) {
  SimMachine m(sim::WindowsVersion::XP);
  WriteSii(m, "KV Test Port");
  m.os().FailOperation("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(InstallPrinterMonitor(m.ctx(), kSii), 0);
  EXPECT_EQ(m.traceText(), "pMonitor Alloc Fail\n");
  EXPECT_EQ(m.os().CountOperations("AddMonitorA"), 0u);
}

TEST(InstallPrinterMonitor, ExportMatchesOperation) {
  SimMachine m(sim::WindowsVersion::NT4);
  WriteSii(m, "KV Test Port");
  m.BindExports();
  EXPECT_EQ(::InstallPrinterMonitor(kSii), 1);
  EXPECT_EQ(::InstallPrinterMonitor(kSii), 0);
  EXPECT_EQ(::InstallPrinterMonitor(nullptr), 0);
}

}  // namespace
}  // namespace kv
