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

// A record that can't be written whole answers 0 with the registry's error.
// A port key the call made goes again (the machine is as before); one that
// was there keeps its other values, and those the call did not reach.
struct FailureCase {
  const char* what;
  int (*set)(LPCSTR, LPCSTR);
  const char* monitor;
  const char* operation;  // the call that fails
  int skip;               // occurrences before the failing one
  bool existed;           // the port key was there before
  const char* keptValue;  // a value of the old record left as it was
};

TEST(RecordsFailure, AFailedWriteAnswersZeroAndKeepsNoPartialNewKey) {
  const char* kStdMon = "Standard TCP/IP Port";
  const char* kKvMon = "KV TCP/IP Port";
  const char* kLprMon = "LPR Port";
  const FailureCase cases[] = {
      {"std first value", &StdTcpIpPortSet, kStdMon, "RegSetValueExA", 0, false,
       nullptr},
      {"std last value", &StdTcpIpPortSet, kStdMon, "RegSetValueExA", 10, false,
       nullptr},
      {"std key", &StdTcpIpPortSet, kStdMon, "RegCreateKeyExA", 0, false,
       nullptr},
      {"std old record", &StdTcpIpPortSet, kStdMon, "RegSetValueExA", 1, true,
       "IPAddress"},
      {"kv last value", &KVPortSet, kKvMon, "RegSetValueExA", 6, false,
       nullptr},
      {"kv old record", &KVPortSet, kKvMon, "RegSetValueExA", 0, true,
       "IPAddress"},
      {"lpr port value", &StdTcpIpPortSetNt, kLprMon, "RegSetValueExA", 0,
       false, nullptr},
      {"lpr timeout value", &StdTcpIpPortSetNt, kLprMon, "RegSetValueExA", 6,
       false, nullptr},
      {"lpr timeouts key", &StdTcpIpPortSetNt, kLprMon, "RegCreateKeyExA", 1,
       false, nullptr},
      {"lpr old record", &StdTcpIpPortSetNt, kLprMon, "RegSetValueExA", 4, true,
       "Server Name"},
      {"lpr old record, new timeouts", &StdTcpIpPortSetNt, kLprMon,
       "RegCreateKeyExA", 1, true, "Server Name"},
  };
  constexpr DWORD kError = 1013;  // ERROR_CANTWRITE
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.what);
    SimMachine m(sim::WindowsVersion::XP);
    m.BindExports();
    const std::string ports =
        std::string(kMonitorsPath) + c.monitor + "\\Ports\\";
    AddPortKey(m.os(), c.monitor, "Other");
    if (c.existed) {
      PutValue(m.os(), ports + "P", c.keptValue, REG_SZ, Sz("old"));
      PutValue(m.os(), ports + "P", "UserValue", REG_DWORD, Dword(7));
    }
    const std::string before = MachineState(m.os());
    m.os().FailOperation(c.operation, kError, c.skip);
    m.os().SetLastError(kStaleError);
    EXPECT_EQ(c.set("P", "new"), 0);
    EXPECT_EQ(m.os().GetLastError(), kError);
    if (!c.existed) {
      EXPECT_EQ(MachineState(m.os()), before);
      continue;
    }
    EXPECT_EQ(FindValue(m.os(), ports + "P", c.keptValue)->data, Sz("old"));
    EXPECT_EQ(FindValue(m.os(), ports + "P", "UserValue")->data, Dword(7));
    EXPECT_EQ(m.os().FindKey(HKEY_LOCAL_MACHINE, ports + "P\\Timeouts"),
              nullptr);
  }
}

}  // namespace
}  // namespace kv::test
