// The Windows 9x network port exchange: saved, moved, deleted, restored and
// moved back.
#include "ports/port9x.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "exports/ports_exports.h"
#include "foundation/context.h"
#include "sim/sim_printers.h"
#include "tests/native/ports/ports_support.h"
#include "tests/native/support/sim_fixture.h"

namespace kv::test {
namespace {

const char kMonitor[] = "KV-Relay3100 Port";
const std::string kPorts = std::string(kMonitorsPath) + kMonitor + "\\Ports\\";
const char kSii[] = "C:\\media\\kv.sii";

void AddRelayPort(sim::SimPlatform& os, const std::string& name,
                  const std::string& host, const std::string& portName,
                  DWORD timeout) {
  const std::string key = kPorts + name;
  PutValue(os, key, "CmdTmout", REG_DWORD, Dword(timeout));
  PutValue(os, key, "DatTmout", REG_DWORD, Dword(timeout + 1));
  PutValue(os, key, "HostName", REG_SZ, Sz(host));
  PutValue(os, key, "NonRFCPorts", REG_DWORD, Dword(1));
  PutValue(os, key, "NonSpool", REG_DWORD, Dword(0));
  PutValue(os, key, "PortName", REG_SZ, Sz(portName));
  PutValue(os, key, "PortNum", REG_DWORD, Dword(515));
  PutValue(os, key, "PrintMode", REG_DWORD, Dword(2));
}

std::string Text(const sim::RegValue* v) {
  return v ? std::string(reinterpret_cast<const char*>(v->data.data()))
           : "<none>";
}

class Exchange : public testing::TestWithParam<sim::WindowsVersion> {
 protected:
  Exchange() : m(GetParam()) {
    m.BindExports();
    window = m.os().CreateWindowHandle("installer");
    m.os().WriteTextFile(kSii, "[Files.Com]\r\nLmonn=KV-Relay3100 Port\r\n");
    InstallMonitorKey(m.os(), kMonitor);
  }
  SimMachine m;
  HWND window;
};

TEST_P(Exchange, SavesMovesDeletesRestoresAndMovesBack) {
  const std::string longHost(120, 'h');  // past the 47 of a fixed field
  const std::string longName(60, 'n');   // past the 35 of a fixed field
  AddRelayPort(m.os(), "RelayA", "host-a", "lp", 1000);
  AddRelayPort(m.os(), longName, longHost, "queue-longer-than-five", 2000);
  PutValue(m.os(), kPorts + "RelayA", "Extra", REG_SZ, Sz("kept"));
  AddPrinterRecord(m.os(), "Office", "RelayA");
  AddPrinterRecord(m.os(), std::string(50, 'P'), longName);
  AddPrinterRecord(m.os(), "Local", "LPT1:");

  EXPECT_EQ(::StdTcpIpPortSet9x(window, "RelayNew", "10.1.1.1", kSii), 1);

  // Every printer waits on FILE:, the monitor is gone, every port is back.
  EXPECT_EQ(PrinterPort(m.os(), "Office"), "FILE:");
  EXPECT_EQ(PrinterPort(m.os(), std::string(50, 'P')), "FILE:");
  EXPECT_EQ(PrinterPort(m.os(), "Local"), "FILE:");
  EXPECT_EQ(FindValue(m.os(), std::string(kMonitorsPath) + kMonitor, "Driver"),
            nullptr);
  EXPECT_EQ(m.os().CountOperations("DeletePortA"), 2u);
  EXPECT_EQ(m.os().CountOperations("DeleteMonitorA"), 1u);

  const bool nt = !sim::IsWin9x(GetParam());
  EXPECT_EQ(FindValue(m.os(), kPorts + "RelayA", "CmdTmout")->data,
            Dword(1000));
  EXPECT_EQ(FindValue(m.os(), kPorts + "RelayA", "PrintMode")->data, Dword(2));
  EXPECT_EQ(Text(FindValue(m.os(), kPorts + "RelayA", "HostName")), "host-a");
  // "PortName" goes back as its 24-byte field (9x keeps strings to the NUL).
  EXPECT_EQ(FindValue(m.os(), kPorts + "RelayA", "PortName")->data,
            Sz("lp", nt ? 24 : 0));
  EXPECT_EQ(Text(FindValue(m.os(), kPorts + "RelayA", "Extra")), "kept");
  EXPECT_EQ(Text(FindValue(m.os(), kPorts + longName, "HostName")), longHost);
  EXPECT_EQ(Text(FindValue(m.os(), kPorts + longName, "PortName")),
            "queue-longer-than-five");
  EXPECT_EQ(FindValue(m.os(), kPorts + longName, "DatTmout")->data,
            Dword(2001));

  // The new port: host name first, then the defaults in order.
  EXPECT_EQ(ValuesWritten(m.os(), "\\RelayNew"),
            (std::vector<std::string>{"HostName", "CmdTmout", "DatTmout",
                                      "NonRFCPorts", "NonSpool", "PortName",
                                      "PortNum", "PrintMode"}));
  EXPECT_EQ(FindValue(m.os(), kPorts + "RelayNew", "CmdTmout")->data,
            Dword(900000));
  EXPECT_EQ(FindValue(m.os(), kPorts + "RelayNew", "PortName")->data, Sz("lp"));
  EXPECT_EQ(Text(FindValue(m.os(), kPorts + "RelayNew", "HostName")),
            "10.1.1.1");

  // The monitor can be added again over the records written back, which it
  // keeps; the printers return to their ports, twice over.
  ASSERT_TRUE(m.os().WriteTextFile(m.os().systemDir() + "\\kvmon.dll", "MZ"));
  EXPECT_EQ(::Add_Monitor(kMonitor, "kvmon.dll"), 1);
  EXPECT_EQ(Text(FindValue(m.os(), kPorts + "RelayA", "HostName")), "host-a");
  EXPECT_EQ(Text(FindValue(m.os(), kPorts + "RelayNew", "HostName")),
            "10.1.1.1");
  // A printer that can't be moved back is reported and stays in the table.
  m.os().FailOperation("SetPrinterA", ERROR_ACCESS_DENIED, 0, -1);
  m.os().SetLastError(kStaleError);
  EXPECT_EQ(::StdTcpIpPortSet9x_After(), 0);
  EXPECT_EQ(m.os().GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(PrinterPort(m.os(), "Office"), "FILE:");
  m.os().ClearFailures();
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(::StdTcpIpPortSet9x_After(), 1);
    EXPECT_EQ(PrinterPort(m.os(), "Office"), "RelayA");
    EXPECT_EQ(PrinterPort(m.os(), std::string(50, 'P')), longName);
    EXPECT_EQ(PrinterPort(m.os(), "Local"), "LPT1:");
  }
  EXPECT_EQ(sim::OpenPrinterHandles(m.os()), 0u);
  EXPECT_EQ(m.os().LiveGlobalBlocks(), 0u);
}

// The registry matches key names regardless of case, so a name differing
// only in case is the existing port too: its record must not be overwritten.
TEST_P(Exchange, ExistingPortOnlyGetsItsHostName) {
  AddRelayPort(m.os(), "RelayA", "old-host", "lp", 1000);
  AddPrinterRecord(m.os(), "Office", "RelayA");
  for (const char* name : {"RelayA", "RELAYA"}) {
    SCOPED_TRACE(name);
    m.os().ClearOperations();
    m.os().SetLastError(kStaleError);
    EXPECT_EQ(::StdTcpIpPortSet9x(window, name, name, kSii), 0);
    EXPECT_EQ(m.os().GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(Text(FindValue(m.os(), kPorts + "RelayA", "HostName")), name);
    EXPECT_EQ(FindValue(m.os(), kPorts + "RelayA", "CmdTmout")->data,
              Dword(1000));
    EXPECT_EQ(ValuesWritten(m.os(), "\\" + std::string(name)),
              std::vector<std::string>{"HostName"});
    EXPECT_EQ(PrinterPort(m.os(), "Office"), "RelayA");
    EXPECT_EQ(m.os().CountOperations("DeleteMonitorA"), 0u);
    EXPECT_EQ(m.os().CountOperations("DeletePortA"), 0u);
  }
}

TEST_P(Exchange, ManyPortsAndPrintersAreAllKept) {
  for (int i = 0; i < 140; ++i)
    AddRelayPort(m.os(), "R" + std::to_string(1000 + i), "h", "lp", i);
  for (int i = 0; i < 135; ++i)
    AddPrinterRecord(m.os(), "Printer " + std::to_string(i),
                     "R" + std::to_string(1000 + i));
  EXPECT_EQ(::StdTcpIpPortSet9x(window, "Z", "h", kSii), 1);
  for (int i = 0; i < 140; ++i)
    ASSERT_NE(
        FindValue(m.os(), kPorts + "R" + std::to_string(1000 + i), "CmdTmout"),
        nullptr)
        << i;
  InstallMonitorKey(m.os(), kMonitor);
  ::StdTcpIpPortSet9x_After();
  for (int i = 0; i < 135; ++i)
    ASSERT_EQ(PrinterPort(m.os(), "Printer " + std::to_string(i)),
              "R" + std::to_string(1000 + i));
}

TEST_P(Exchange, NoPrintersStillDeletesAndRestores) {
  AddRelayPort(m.os(), "RelayA", "host-a", "lp", 1000);
  EXPECT_EQ(::StdTcpIpPortSet9x(window, "RelayB", "host-b", kSii), 1);
  EXPECT_EQ(m.os().CountOperations("DeletePortA"), 1u);
  EXPECT_EQ(m.os().CountOperations("DeleteMonitorA"), 1u);
  EXPECT_NE(FindValue(m.os(), kPorts + "RelayA", "HostName"), nullptr);
  m.os().ClearOperations();
  EXPECT_EQ(::StdTcpIpPortSet9x_After(), 1);
  EXPECT_EQ(m.os().CountOperations("SetPrinterA"), 0u);
}

// The monitor's deletion takes every record with it: what comes back is
// what was read, value by value, each with its own type.
TEST_P(Exchange, RecordsComeBackWithTheirTypesAndExtraValues) {
  AddRelayPort(m.os(), "RelayA", "host-a", "lp", 1000);
  const struct {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
  } values[] = {
      {"CmdTmout", REG_BINARY, {7, 0, 0, 0}},  // a record value, other type
      {"HostName", REG_EXPAND_SZ, Sz("%HOST%")},
      {"Options", REG_BINARY, {1, 2, 0, 4}},
      {"Queues", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}},
      {"Mark", REG_DWORD, Dword(42)},
      {"Nothing", REG_BINARY, {}},
  };
  for (const auto& v : values)
    PutValue(m.os(), kPorts + "RelayA", v.name, v.type, v.data);
  ASSERT_EQ(StdTcpIpPortSet9x(m.ctx(), window, "RelayNew", "h", kSii), 1);
  ASSERT_EQ(m.os().CountOperations("DeleteMonitorA"), 1u);
  for (const auto& v : values) {
    SCOPED_TRACE(v.name);
    const sim::RegValue* got = FindValue(m.os(), kPorts + "RelayA", v.name);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->type, v.type);
    EXPECT_EQ(got->data, v.data);
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, Exchange,
                         testing::Values(sim::WindowsVersion::Win98,
                                         sim::WindowsVersion::XP),
                         [](const auto& p) {
                           return std::string(sim::WindowsVersionName(p.param));
                         });

TEST(ExchangeEdges, NoLocationWritesOnlyTheNewRecord) {
  SimMachine m(sim::WindowsVersion::Win95);
  m.BindExports();
  AddPrinterRecord(m.os(), "Office", "LPT1:");
  EXPECT_EQ(::StdTcpIpPortSet9x(nullptr, "First", "host", kSii), 1);
  EXPECT_EQ(PrinterPort(m.os(), "Office"), "LPT1:");
  EXPECT_EQ(m.os().CountOperations("DeleteMonitorA"), 0u);
  EXPECT_EQ(FindValue(m.os(), kPorts + "First", "NonSpool")->data, Dword(0));
}

TEST(ExchangeEdges, UnusableNewNameIsRefusedBeforeAnythingChanges) {
  SimMachine m(sim::WindowsVersion::Win98);
  m.BindExports();
  m.os().WriteTextFile(kSii, "[Files.Com]\r\nLmonn=KV-Relay3100 Port\r\n");
  InstallMonitorKey(m.os(), kMonitor);
  AddRelayPort(m.os(), "RelayA", "host-a", "lp", 1000);
  AddPrinterRecord(m.os(), "Office", "RelayA");
  for (const std::string& name : {std::string(), std::string(256, 'x')}) {
    m.os().ClearOperations();
    EXPECT_EQ(::StdTcpIpPortSet9x(nullptr, name.c_str(), "h", kSii), 0);
    EXPECT_EQ(m.os().operations().size(), 0u) << name.size();
  }
  EXPECT_EQ(
      ::StdTcpIpPortSet9x(nullptr, std::string(255, 'x').c_str(), "h", kSii),
      1);
}

// The exchange saves the relay monitor's ports only: a setup file naming
// another monitor (or none) must not have that monitor deleted with its
// ports, nor anything else changed.
TEST(ExchangeEdges, SetupFileNamingAnotherMonitorChangesNothing) {
  for (const char* named : {"KV TCP/IP Port", ""}) {
    SCOPED_TRACE(named);
    SimMachine m(sim::WindowsVersion::Win98);
    m.os().WriteTextFile(kSii,
                         std::string("[Files.Com]\r\nLmonn=") + named + "\r\n");
    InstallMonitorKey(m.os(), kMonitor);
    InstallMonitorKey(m.os(), "KV TCP/IP Port");
    PutValue(m.os(), std::string(kMonitorsPath) + "KV TCP/IP Port\\Ports\\IP_1",
             "IPAddress", REG_SZ, Sz("10.0.0.1"));
    AddRelayPort(m.os(), "RelayA", "host-a", "lp", 1000);
    AddPrinterRecord(m.os(), "Office", "RelayA");
    m.os().ClearOperations();
    m.os().SetLastError(kStaleError);
    EXPECT_EQ(StdTcpIpPortSet9x(m.ctx(), nullptr, "RelayNew", "h", kSii), 0);
    EXPECT_EQ(m.os().GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_NE(
        FindValue(m.os(),
                  std::string(kMonitorsPath) + "KV TCP/IP Port\\Ports\\IP_1",
                  "IPAddress"),
        nullptr);
    EXPECT_EQ(PrinterPort(m.os(), "Office"), "RelayA");
    EXPECT_EQ(m.os().CountOperations("DeletePortA") +
                  m.os().CountOperations("DeleteMonitorA") +
                  m.os().CountOperations("SetPrinterA") +
                  m.os().CountOperations("RegSetValueExA"),
              0u);
  }
}

TEST(ExchangeEdges, DeleteMonitorFailureIsTraced) {
  SimMachine m(sim::WindowsVersion::Win98);
  m.os().WriteTextFile(kSii, "[Files.Com]\r\nLmonn=Not Installed\r\n");
  EXPECT_EQ(DeletePrinterMonitor(m.ctx(), kSii), 0);
  EXPECT_EQ(m.traceText(), "DeleteMonitor Fail ErrMsg[0xbb8]\n");
  SimMachine other(sim::WindowsVersion::NT351);
  EXPECT_EQ(DeletePrinterMonitor(other.ctx(), kSii), 0);
  EXPECT_EQ(other.os().CountOperations("DeleteMonitorA"), 0u);
}

// A refused call forgets the last exchange first: the printers an older call
// parked must not be moved back by a later StdTcpIpPortSet9x_After.
TEST(ExchangeEdges, RefusedCallLeavesNothingOfAnOlderCallToMoveBack) {
  for (const std::string& refused : {std::string(), std::string(256, 'x')}) {
    SCOPED_TRACE(refused.size());
    SimMachine m(sim::WindowsVersion::Win98);
    m.os().WriteTextFile(kSii, "[Files.Com]\r\nLmonn=KV-Relay3100 Port\r\n");
    InstallMonitorKey(m.os(), kMonitor);
    AddRelayPort(m.os(), "RelayA", "host-a", "lp", 1000);
    AddPrinterRecord(m.os(), "Office", "RelayA");
    ASSERT_EQ(StdTcpIpPortSet9x(m.ctx(), nullptr, "RelayB", "h", kSii), 1);
    InstallMonitorKey(m.os(), kMonitor);
    ASSERT_EQ(StdTcpIpPortSet9x_After(m.ctx()), 1);
    ASSERT_EQ(PrinterPort(m.os(), "Office"), "RelayA");
    // The printer is moved on since; then a call is refused.
    PutValue(m.os(),
             "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Office",
             "Port", REG_SZ, Sz("LPT1:"));
    EXPECT_EQ(StdTcpIpPortSet9x(m.ctx(), nullptr, refused.c_str(), "h", kSii),
              0);
    EXPECT_TRUE(m.ctx().movedPrinters.empty());
    EXPECT_TRUE(m.ctx().savedPorts.empty());
    EXPECT_EQ(StdTcpIpPortSet9x_After(m.ctx()), 1);
    EXPECT_EQ(PrinterPort(m.os(), "Office"), "LPT1:");
  }
}

// Every key below the monitor's Ports key with every value (type and bytes),
// the monitor's registration and each printer's port.
std::string MachineState(sim::SimPlatform& os) {
  std::ostringstream out;
  std::function<void(const sim::RegNode&, const std::string&)> dump =
      [&](const sim::RegNode& node, const std::string& path) {
        for (const auto& v : node.values) {
          out << path << " " << v.second.name << " " << v.second.type << ":";
          for (BYTE b : v.second.data) out << " " << int(b);
          out << "\n";
        }
        for (const auto& sub : node.subkeys)
          dump(*sub.second, path + "\\" + sub.second->name);
      };
  if (const sim::RegNode* ports =
          os.FindKey(HKEY_LOCAL_MACHINE, kPorts.substr(0, kPorts.size() - 1)))
    dump(*ports, "Ports");
  out << "registered "
      << (FindValue(os, std::string(kMonitorsPath) + kMonitor, "Driver") !=
          nullptr)
      << "\nOffice on " << PrinterPort(os, "Office") << "\nHome on "
      << PrinterPort(os, "Home") << "\n";
  return out.str();
}

// Two ports (one with a value beyond the record and a key below it, one
// lacking values) and two printers, one on a port of the monitor.
void PrepareExchange(sim::SimPlatform& os) {
  os.WriteTextFile(kSii, "[Files.Com]\r\nLmonn=KV-Relay3100 Port\r\n");
  InstallMonitorKey(os, kMonitor);
  AddRelayPort(os, "RelayA", "host-a", "lp", 1000);
  PutValue(os, kPorts + "RelayA", "Extra", REG_BINARY, {1, 2, 3});
  PutValue(os, kPorts + "RelayA\\Options", "Mode", REG_DWORD, Dword(7));
  PutValue(os, kPorts + "RelayB", "HostName", REG_SZ, Sz("host-b"));
  PutValue(os, kPorts + "RelayB", "PortName", REG_SZ, Sz("queue"));
  AddPrinterRecord(os, "Office", "RelayA");
  AddPrinterRecord(os, "Home", "LPT1:");
}

// Every call the exchange makes fails once, at each of its occurrences in
// turn. Nothing is lost whatever fails: the answer is 1 with the state of a
// complete exchange, or 0 with a meaningful error and the machine as it was.
// Writes are tried again, releases do not matter, and a port the spooler
// keeps goes with the monitor and comes back like the others: those complete.
TEST(ExchangeFailures, NothingIsLostWhicheverCallFails) {
  constexpr DWORD kInjected = ERROR_ACCESS_DENIED;
  const std::set<std::string> completes = {
      "RegCreateKeyExA", "RegSetValueExA", "RegCloseKey", "ClosePrinter",
      "GlobalFree",      "GlobalUnlock",   "DeletePortA"};
  const std::set<std::string> reportedAsIs = {"OpenPrinterA", "GetPrinterA",
                                              "SetPrinterA", "DeleteMonitorA",
                                              "GlobalAlloc"};
  for (auto version : {sim::WindowsVersion::Win95, sim::WindowsVersion::Win98,
                       sim::WindowsVersion::WinMe}) {
    std::string before, after;
    std::map<std::string, int> calls;
    {
      SimMachine m(version);
      PrepareExchange(m.os());
      before = MachineState(m.os());
      m.os().ClearOperations();
      ASSERT_EQ(StdTcpIpPortSet9x(m.ctx(), nullptr, "RelayNew", "h", kSii), 1);
      for (const std::string& line : m.os().operations())
        ++calls[line.substr(0, line.find('('))];
      after = MachineState(m.os());
    }
    ASSERT_NE(before, after);
    for (const char* needed : {"RegEnumKeyA", "RegEnumValueA", "SetPrinterA",
                               "DeletePortA", "DeleteMonitorA"})
      ASSERT_GT(calls[needed], 0) << needed;
    for (const auto& call : calls) {
      for (int k = 0; k < call.second; ++k) {
        SCOPED_TRACE(std::string(sim::WindowsVersionName(version)) + " " +
                     call.first + " #" + std::to_string(k));
        SimMachine m(version);
        PrepareExchange(m.os());
        m.os().FailOperation(call.first, kInjected, k);
        m.os().SetLastError(kStaleError);
        const int result =
            StdTcpIpPortSet9x(m.ctx(), nullptr, "RelayNew", "h", kSii);
        const DWORD error = m.os().GetLastError();
        EXPECT_EQ(result, completes.count(call.first) ? 1 : 0);
        if (result == 1) {
          EXPECT_EQ(MachineState(m.os()), after);
          InstallMonitorKey(m.os(), kMonitor);
          EXPECT_EQ(StdTcpIpPortSet9x_After(m.ctx()), 1);
          EXPECT_EQ(PrinterPort(m.os(), "Office"), "RelayA");
          EXPECT_EQ(PrinterPort(m.os(), "Home"), "LPT1:");
          continue;
        }
        EXPECT_EQ(MachineState(m.os()), before);
        EXPECT_TRUE(m.ctx().movedPrinters.empty());
        EXPECT_NE(error, kStaleError);
        EXPECT_NE(error, DWORD(ERROR_SUCCESS));
        if (call.first.rfind("Reg", 0) == 0 || reportedAsIs.count(call.first)) {
          EXPECT_EQ(error, kInjected);
        }
      }
    }
  }
}

}  // namespace
}  // namespace kv::test
