// Printer queries on the simulated machine. Printers are written as the
// spooler keeps them (HKLM\...\Print\Printers\<name> with a "Port" value),
// which is what both the spooler and the name choice read.
#include "printer/queries.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "exports/query_exports.h"
#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

using sim::WindowsVersion;

constexpr char kPrinters[] =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";

void AddPrinterRecord(sim::SimPlatform& os, const std::string& name,
                      const char* port) {
  sim::RegNode* key = os.CreateKeyPath(HKEY_LOCAL_MACHINE, kPrinters + name);
  if (!port) return;
  for (const char* field : {"Name", "Port"}) {
    const std::string text = std::strcmp(field, "Port") == 0 ? port : name;
    sim::RegValue v;
    v.name = field;
    v.type = REG_SZ;
    v.data.assign(text.begin(), text.end());
    v.data.push_back(0);
    key->values[field] = v;
  }
}

class PrinterNameTest : public ::testing::TestWithParam<test::VersionCase> {
 protected:
  PrinterNameTest() : m_(GetParam().version) {}
  std::string Choose(const std::string& base, const std::string& port,
                     int* length = nullptr) {
    char out[kPrinterNameSize + 16];
    std::memset(out, '#', sizeof out);
    const int n =
        GetPrinterDriverName(m_.ctx(), base.c_str(), port.c_str(), out);
    if (length) *length = n;
    EXPECT_EQ(out[kPrinterNameSize], '#') << "nothing past 128 bytes";
    EXPECT_EQ(n, n ? static_cast<int>(std::strlen(out) + 1) : 0);
    return out;
  }
  test::SimMachine m_;
};

TEST_P(PrinterNameTest, FirstFreeOrSamePortName) {
  auto& os = m_.os();
  int length = 0;
  EXPECT_EQ(Choose("KV 3100", "LPT1:", &length), "KV 3100");
  EXPECT_EQ(length, 8);
  AddPrinterRecord(os, "KV 3100", "LPT1:");
  AddPrinterRecord(os, "KV 3100(2)", "FILE:");
  EXPECT_EQ(Choose("KV 3100", "LPT2:"), "KV 3100(3)");
  EXPECT_EQ(Choose("KV 3100", "LPT1:"), "KV 3100") << "reused for its own port";
  EXPECT_EQ(Choose("KV 3100", "FILE:"), "KV 3100(2)");
  EXPECT_EQ(Choose("KV 3100", "lpt1:"), "KV 3100(3)") << "port case counts";
  // Printer names are matched without regard to case, as the registry does.
  EXPECT_EQ(Choose("kv 3100", "LPT2:"), "kv 3100(3)");
  AddPrinterRecord(os, "Bare", nullptr);  // no "Port" value
  EXPECT_EQ(Choose("Bare", ""), "Bare(2)") << "no Port counts as another port";
}

std::vector<test::VersionCase> KnownVersions() {
  std::vector<test::VersionCase> known;
  for (const auto& v : test::AllVersions())
    if (v.osKind != OsKind::Other) known.push_back(v);
  return known;
}

INSTANTIATE_TEST_SUITE_P(KnownVersions, PrinterNameTest,
                         ::testing::ValuesIn(KnownVersions()),
                         [](const auto& p) {
                           return std::string(p.param.name);
                         });

TEST(PrinterName, UnknownWindowsTakesTheBase) {
  for (auto v : {WindowsVersion::NT351, WindowsVersion::Win32s}) {
    test::SimMachine m(v);
    AddPrinterRecord(m.os(), "KV", "LPT2:");
    m.os().ClearOperations();
    char out[kPrinterNameSize];
    EXPECT_EQ(GetPrinterDriverName(m.ctx(), "KV", "LPT1:", out), 3);
    EXPECT_STREQ(out, "KV");
    EXPECT_EQ(m.os().CountOperations("RegOpenKeyExA"), 0u);
  }
}

TEST(PrinterName, ManyTakenNames) {
  test::SimMachine m(WindowsVersion::XP);
  AddPrinterRecord(m.os(), "P", "A:");
  for (int n = 2; n <= 300; ++n)
    AddPrinterRecord(m.os(), "P(" + std::to_string(n) + ")", "A:");
  char out[kPrinterNameSize];
  EXPECT_EQ(GetPrinterDriverName(m.ctx(), "P", "B:", out), 7);
  EXPECT_STREQ(out, "P(301)");
  EXPECT_EQ(GetPrinterDriverName(m.ctx(), "P", "A:", out), 2);
  EXPECT_STREQ(out, "P");
}

TEST(PrinterName, EndsWhenEverySuffixIsTaken) {
  test::SimMachine m(WindowsVersion::Win98);
  AddPrinterRecord(m.os(), "Q", "A:");
  for (int n = 2; n <= 20; ++n)
    AddPrinterRecord(m.os(), "Q(" + std::to_string(n) + ")", "A:");
  char out[kPrinterNameSize];
  std::strcpy(out, "stale");
  EXPECT_EQ(GetPrinterDriverName(m.ctx(), "Q", "B:", out, 20), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(m.os().CountOperations("RegOpenKeyExA"), 20u);
  EXPECT_EQ(GetPrinterDriverName(m.ctx(), "Q", "B:", out, 21), 6);
  EXPECT_STREQ(out, "Q(21)");
}

TEST(PrinterName, LongBaseKeepsTheSuffixInside128Bytes) {
  char out[kPrinterNameSize + 8];
  for (size_t length : {126u, 127u, 128u, 200u, 4000u}) {
    test::SimMachine m(WindowsVersion::Win2000);
    const std::string base(length, 'L');
    std::memset(out, '#', sizeof out);
    const int n = GetPrinterDriverName(m.ctx(), base.c_str(), "X:", out);
    EXPECT_EQ(std::string(out), base.substr(0, 127)) << length;
    EXPECT_EQ(n, 128 - (length < 127 ? 127 - static_cast<int>(length) : 0));
    EXPECT_EQ(out[kPrinterNameSize], '#');
    // With that name taken, the suffix still fits and differs.
    AddPrinterRecord(m.os(), std::string(out), "Y:");
    GetPrinterDriverName(m.ctx(), base.c_str(), "X:", out);
    const std::string second = out;
    EXPECT_LE(second.size(), 127u);
    EXPECT_EQ(second.substr(second.size() - 3), "(2)") << length;
    AddPrinterRecord(m.os(), second, "Y:");
    GetPrinterDriverName(m.ctx(), base.c_str(), "X:", out);
    EXPECT_EQ(std::string(out).substr(std::strlen(out) - 3), "(3)");
  }
}

TEST(PrinterName, ExportRefusesANullBuffer) {
  test::SimMachine m(WindowsVersion::XP);
  m.BindExports();
  EXPECT_EQ(::GetPrinterDriverName("KV", "LPT1:", nullptr), 0);
  char out[kPrinterNameSize];
  // An empty base names the printers key itself, which has no "Port": the
  // first free name is the suffix alone.
  EXPECT_EQ(::GetPrinterDriverName(nullptr, nullptr, out), 4);
  EXPECT_STREQ(out, "(2)");
}

TEST(GetPrinterNum, CountsLocalPrinters) {
  for (auto v : {WindowsVersion::Win98, WindowsVersion::XP}) {
    test::SimMachine m(v);
    EXPECT_EQ(GetPrinterNum(m.ctx()), 0) << "no printers";
    AddPrinterRecord(m.os(), "One", "LPT1:");
    AddPrinterRecord(m.os(), "Two", "FILE:");
    AddPrinterRecord(m.os(), "Three", "LPT2:");
    EXPECT_EQ(GetPrinterNum(m.ctx()), 3);
    EXPECT_EQ(m.os().LiveGlobalBlocks(), 0u);
    m.os().FailOperation("EnumPrintersA", ERROR_NOT_ENOUGH_MEMORY, 1);
    EXPECT_EQ(GetPrinterNum(m.ctx()), 0) << "second enumeration fails";
    m.os().FailOperation("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(GetPrinterNum(m.ctx()), 0) << "no memory";
    EXPECT_EQ(m.os().LiveGlobalBlocks(), 0u);
  }
}

TEST(PrinterCheck, OpensOnlyExistingPrinters) {
  test::SimMachine m(WindowsVersion::XP);
  AddPrinterRecord(m.os(), "Office", "LPT1:");
  EXPECT_EQ(PrinterCheck(m.ctx(), "Office"), 1);
  EXPECT_EQ(PrinterCheck(m.ctx(), "office"), 1);
  EXPECT_EQ(PrinterCheck(m.ctx(), "Missing"), 0);
  EXPECT_EQ(PrinterCheck(m.ctx(), ""), 0) << "the server is no printer";
  EXPECT_EQ(m.os().CountOperations("OpenPrinterA"),
            m.os().CountOperations("ClosePrinter") + 1)
      << "every opened handle closed";
  m.BindExports();
  EXPECT_EQ(::PrinterCheck(nullptr), 0);
  EXPECT_EQ(::PrinterCheck("Office"), 1);
}

TEST(Chk_MicroTcpIpEntryNT, LpdServiceTitle) {
  test::SimMachine m(WindowsVersion::Win2000);
  EXPECT_EQ(Chk_MicroTcpIpEntryNT(m.ctx()), 0) << "no key";
  auto* key = m.os().CreateKeyPath(
      HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\LPDSVC\\CurrentVersion");
  EXPECT_EQ(Chk_MicroTcpIpEntryNT(m.ctx()), 0) << "no Title";
  sim::RegValue v;
  v.name = "Title";
  v.type = REG_SZ;
  v.data = {0};
  key->values["Title"] = v;
  EXPECT_EQ(Chk_MicroTcpIpEntryNT(m.ctx()), 0) << "empty Title";
  const std::string title = "TCP/IP Print Server";
  v.data.assign(title.begin(), title.end());
  v.data.push_back(0);
  key->values["Title"] = v;
  EXPECT_EQ(Chk_MicroTcpIpEntryNT(m.ctx()), 1);
  v.data.assign(600, 'T');  // longer than the 512-byte buffer: the read fails
  key->values["Title"] = v;
  EXPECT_EQ(Chk_MicroTcpIpEntryNT(m.ctx()), 0);
  v.data.assign(511, 'T');
  v.data.push_back(0);
  key->values["Title"] = v;
  m.BindExports();
  EXPECT_EQ(::Chk_MicroTcpIpEntryNT(), 1);
}

}  // namespace
}  // namespace kv
