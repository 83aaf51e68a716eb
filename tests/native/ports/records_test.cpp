// TCP/IP and LPR port records written straight into the registry.
#include <gtest/gtest.h>

#include "exports/ports_exports.h"
#include "tests/native/ports/ports_support.h"
#include "tests/native/support/sim_fixture.h"

namespace kv::test {
namespace {

const std::string kStd =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP "
    "Port\\Ports\\";
const std::string kKv =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\KV TCP/IP "
    "Port\\Ports\\";
const std::string kLpr =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\LPR Port\\Ports\\";

struct Expected {
  const char* name;
  DWORD type;
  std::vector<BYTE> data;
};

void ExpectRecord(sim::SimPlatform& os, const std::string& key,
                  const std::vector<Expected>& record) {
  std::vector<std::string> order;
  for (const auto& e : record) {
    order.push_back(e.name);
    const sim::RegValue* v = FindValue(os, key, e.name);
    ASSERT_NE(v, nullptr) << key << " " << e.name;
    EXPECT_EQ(v->type, e.type) << e.name;
    EXPECT_EQ(v->data, e.data) << e.name;
  }
  const std::string leaf = key.substr(key.rfind('\\'));
  EXPECT_EQ(ValuesWritten(os, leaf), order);
}

// A string written with no data: length 0 on the NT family; Windows 9x
// stores any REG_SZ up to its terminator whatever length it is given.
std::vector<BYTE> NoData(sim::WindowsVersion v) {
  return sim::IsWin9x(v) ? std::vector<BYTE>{0} : std::vector<BYTE>{};
}

std::vector<Expected> StdRecord(
    const std::string& ip, sim::WindowsVersion v = sim::WindowsVersion::XP) {
  return {{"Double Spool", REG_DWORD, Dword(0)},
          {"HostName", REG_SZ, NoData(v)},
          {"HWAddress", REG_SZ, NoData(v)},
          {"IPAddress", REG_SZ, Sz(ip)},
          {"PortNumber", REG_DWORD, Dword(515)},
          {"Protocol", REG_DWORD, Dword(2)},
          {"Queue", REG_SZ, Sz("lp")},
          {"SNMP Community", REG_SZ, Sz("mosaic")},
          {"SNMP Enabled", REG_DWORD, Dword(0)},
          {"SNMP Index", REG_DWORD, Dword(1)},
          {"Version", REG_DWORD, Dword(1)}};
}

std::vector<Expected> KvRecord(const std::string& ip) {
  return {{"Double Spool", REG_DWORD, Dword(0)},
          {"Enable Bidi", REG_DWORD, Dword(0)},
          {"Enable RFC", REG_DWORD, Dword(0)},
          {"IPAddress", REG_SZ, Sz(ip)},
          {"PortNumber", REG_DWORD, Dword(9100)},
          {"Protocol", REG_DWORD, Dword(1)},
          {"Queue", REG_SZ, Sz("lp")}};
}

class Records : public testing::TestWithParam<VersionCase> {};

TEST_P(Records, StandardAndKvRecordsHaveEveryValueInOrder) {
  SimMachine m(GetParam().version);
  m.BindExports();
  ASSERT_EQ(StdTcpIpPortSet("IP_10.0.0.5", "10.0.0.5"), 1);
  ExpectRecord(m.os(), kStd + "IP_10.0.0.5",
               StdRecord("10.0.0.5", GetParam().version));
  ASSERT_EQ(KVPortSet("KV_1", "192.168.1.20"), 1);
  ExpectRecord(m.os(), kKv + "KV_1", KvRecord("192.168.1.20"));
}

TEST_P(Records, LprRecordAndTimeouts) {
  SimMachine m(GetParam().version);
  m.BindExports();
  ASSERT_EQ(StdTcpIpPortSetNt("lpr-port", "printsrv"), 1);
  ExpectRecord(m.os(), kLpr + "lpr-port",
               {{"EnableBannerPage", REG_DWORD, Dword(160)},
                {"HpUxCompatibility", REG_DWORD, Dword(160)},
                {"OldSunCompatibilty", REG_DWORD, Dword(160)},
                {"Printer Name", REG_SZ, Sz("lp")},
                {"Server Name", REG_SZ, Sz("printsrv")}});
  ExpectRecord(m.os(), kLpr + "lpr-port\\Timeouts",
               {{"CommandTimeout", REG_DWORD, Dword(120)},
                {"DataTimeout", REG_DWORD, Dword(300)}});
}

INSTANTIATE_TEST_SUITE_P(Versions, Records, testing::ValuesIn(AllVersions()),
                         [](const auto& p) {
                           return std::string(p.param.name);
                         });

TEST(RecordsRewrite, SecondCallReplacesOnlyTheAddress) {
  SimMachine m(sim::WindowsVersion::XP);
  m.BindExports();
  ASSERT_EQ(StdTcpIpPortSet("P", "1.1.1.1"), 1);
  PutValue(m.os(), kStd + "P", "Extra", REG_DWORD, Dword(7));
  m.os().ClearOperations();
  ASSERT_EQ(StdTcpIpPortSet("P", "2.2.2.2"), 1);
  ExpectRecord(m.os(), kStd + "P", StdRecord("2.2.2.2"));
  EXPECT_EQ(FindValue(m.os(), kStd + "P", "Extra")->data, Dword(7));

  ASSERT_EQ(StdTcpIpPortSetNt("L", "first"), 1);
  ASSERT_EQ(StdTcpIpPortSetNt("L", "second"), 1);
  EXPECT_EQ(FindValue(m.os(), kLpr + "L", "Server Name")->data, Sz("second"));
  EXPECT_EQ(FindValue(m.os(), kLpr + "L", "EnableBannerPage")->data,
            Dword(160));
}

TEST(RecordsInput, EmptyAddressIsOneByteAndAnyFormIsTaken) {
  SimMachine m(sim::WindowsVersion::Win2000);
  m.BindExports();
  ASSERT_EQ(StdTcpIpPortSet("E", ""), 1);
  EXPECT_EQ(FindValue(m.os(), kStd + "E", "IPAddress")->data, Sz(""));
  ASSERT_EQ(KVPortSet("N", nullptr), 1);
  EXPECT_EQ(FindValue(m.os(), kKv + "N", "IPAddress")->data, Sz(""));
  ASSERT_EQ(KVPortSet("W", "not an address at all, 999.1"), 1);
  EXPECT_EQ(FindValue(m.os(), kKv + "W", "IPAddress")->data,
            Sz("not an address at all, 999.1"));
}

// Each record's port name is bounded by the 260-byte key path.
struct LengthCase {
  const char* what;
  int (*set)(LPCSTR, LPCSTR);
  std::string prefix;
  size_t longest;
};

TEST(RecordsInput, PortNameAtAndPastTheKeyPathLimit) {
  const LengthCase cases[] = {
      {"standard", &StdTcpIpPortSet, kStd, 184},
      {"kv", &KVPortSet, kKv, 190},
      {"lpr", &StdTcpIpPortSetNt, kLpr, 187},
  };
  for (const auto& c : cases) {
    SimMachine m(sim::WindowsVersion::XP);
    m.BindExports();
    const std::string fits(c.longest, 'p');
    const std::string over(c.longest + 1, 'q');
    EXPECT_EQ(c.set(fits.c_str(), "1.2.3.4"), 1) << c.what;
    EXPECT_NE(m.os().FindKey(HKEY_LOCAL_MACHINE, c.prefix + fits), nullptr)
        << c.what;
    EXPECT_EQ(c.set(over.c_str(), "1.2.3.4"), 0) << c.what;
    EXPECT_EQ(m.os().FindKey(HKEY_LOCAL_MACHINE, c.prefix + over), nullptr)
        << c.what;
    // An empty name would put the record on the monitor's Ports key.
    EXPECT_EQ(c.set("", "1.2.3.4"), 0) << c.what;
    EXPECT_EQ(c.set(nullptr, "1.2.3.4"), 0) << c.what;
    sim::RegNode* ports = m.os().FindKey(
        HKEY_LOCAL_MACHINE, c.prefix.substr(0, c.prefix.size() - 1));
    ASSERT_NE(ports, nullptr);
    EXPECT_TRUE(ports->values.empty()) << c.what;
  }
}

TEST(RecordsFailure, KeyThatCannotBeCreatedWritesNothing) {
  SimMachine m(sim::WindowsVersion::XP);
  m.BindExports();
  m.os().FailOperation("RegCreateKeyExA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(StdTcpIpPortSet("X", "1.2.3.4"), 0);
  EXPECT_EQ(m.os().CountOperations("RegSetValueExA"), 0u);

  // The LPR port key is made, its Timeouts key is refused: 0, no values.
  m.os().FailOperation("RegCreateKeyExA", ERROR_ACCESS_DENIED, 1);
  EXPECT_EQ(StdTcpIpPortSetNt("Y", "srv"), 0);
  sim::RegNode* port = m.os().FindKey(HKEY_LOCAL_MACHINE, kLpr + "Y");
  ASSERT_NE(port, nullptr);
  EXPECT_TRUE(port->values.empty());
  EXPECT_EQ(m.os().CountOperations("RegSetValueExA"), 0u);
}

TEST(RecordsFailure, FailingValueWritesStillAnswerOne) {
  SimMachine m(sim::WindowsVersion::NT4);
  m.BindExports();
  m.os().FailOperation("RegSetValueExA", ERROR_ACCESS_DENIED, 0, -1);
  EXPECT_EQ(KVPortSet("Z", "1.2.3.4"), 1);
  EXPECT_EQ(m.os().CountOperations("RegSetValueExA"), 7u);
}

}  // namespace
}  // namespace kv::test
