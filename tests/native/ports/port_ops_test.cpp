// Port listing, add/delete through the spooler, monitors, the port tool and
// the USB-port check.
#include <gtest/gtest.h>

#include <cstring>

#include "exports/ports_exports.h"
#include "tests/native/ports/ports_support.h"
#include "tests/native/support/sim_fixture.h"

namespace kv::test {
namespace {

using Answer = sim::SimPlatform::AddPortAnswer;

const std::string kRelayPorts =
    std::string(kMonitorsPath) + "KV-Relay3100 Port\\Ports\\";

std::vector<std::string> ListAll() {
  std::vector<std::string> names;
  const int n = SearchPorts();
  for (int i = 0; i < n; ++i) {
    char out[1024] = {};
    EXPECT_EQ(ListPorts(0, out, i), 1);
    names.push_back(out);
  }
  return names;
}

TEST(PortList, LocalPortsThenNetworkMonitorsPorts) {
  SimMachine m(sim::WindowsVersion::XP);
  m.BindExports();
  EXPECT_EQ(ListAll(),
            (std::vector<std::string>{"COM1:", "COM2:", "COM3:", "COM4:",
                                      "FILE:", "LPT1:", "LPT2:", "LPT3:"}));
  InstallMonitorKey(m.os(), "LPR Port");
  AddPortKey(m.os(), "LPR Port", "lpr1");
  // Port keys of a monitor that is not installed are no ports.
  AddPortKey(m.os(), "KV-Relay3100 Port", "relay1");
  const auto names = ListAll();
  ASSERT_EQ(names.size(), 9u);
  EXPECT_EQ(names.back(), "lpr1");
}

TEST(PortList, IndexAtOrPastTheCountAndFailuresLeaveTheBuffer) {
  SimMachine m(sim::WindowsVersion::Win98);
  m.BindExports();
  char out[1024] = "untouched";
  for (int index : {8, 9, 1000, -1, -1000000}) {
    EXPECT_EQ(ListPorts(0, out, index), 0) << index;
    EXPECT_STREQ(out, "untouched");
  }
  EXPECT_EQ(ListPorts(0, nullptr, 0), 0);
  m.os().FailOperation("EnumPortsA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(SearchPorts(), 0);
  m.os().FailOperation("EnumPortsA", ERROR_ACCESS_DENIED, 1);
  EXPECT_EQ(ListPorts(0, out, 0), 0);
  EXPECT_STREQ(out, "untouched");
}

TEST(PortList, EnumPortsFollowsWindowsBufferRules) {
  SimMachine m(sim::WindowsVersion::XP);
  auto& os = m.os();
  DWORD needed = 0, returned = 99;
  os.SetLastError(test::kStaleError);
  EXPECT_FALSE(os.EnumPortsA(nullptr, 1, nullptr, 0, &needed, &returned));
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(returned, 0u);
  // Eight records and their names (5 + 1 bytes each).
  EXPECT_EQ(needed, 8 * sizeof(PORT_INFO_1A) + 8 * 6);
  std::vector<BYTE> buffer(needed);
  DWORD again = 0;
  EXPECT_FALSE(
      os.EnumPortsA(nullptr, 1, buffer.data(), needed - 1, &again, &returned));
  EXPECT_EQ(again, needed);
  EXPECT_TRUE(
      os.EnumPortsA(nullptr, 1, buffer.data(), needed, &again, &returned));
  EXPECT_EQ(returned, 8u);
  os.SetLastError(test::kStaleError);
  EXPECT_FALSE(
      os.EnumPortsA(nullptr, 3, buffer.data(), needed, &again, &returned));
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

TEST(PortAdd, AddPortAndTheLastErrorBoxes) {
  SimMachine m(sim::WindowsVersion::Win2000);
  m.BindExports();
  HWND parent = m.os().CreateWindowHandle("installer");
  InstallMonitorKey(m.os(), "LPR Port");

  m.os().QueueAddPortDialog(Answer::AddPort, "added");
  EXPECT_EQ(Add_Port("LPR Port"), 1);
  EXPECT_TRUE(m.os().HasPort("added"));
  EXPECT_EQ(m.os().portDialogs().back().parent, nullptr);
  EXPECT_EQ(Add_Port("LPR Port"), 0);  // unscripted: the user cancels
  EXPECT_EQ(Add_Port("No Such Monitor"), 0);

  m.os().QueueAddPortDialog(Answer::AddPort, "second");
  m.os().SetLastError(1234);  // stale: must not show on success
  EXPECT_EQ(WinSub_AddPort(parent, "LPR Port"), IDOK);
  EXPECT_EQ(m.os().portDialogs().back().parent, parent);
  EXPECT_EQ(WinSub_AddPort(parent, "LPR Port"), IDOK);
  const auto& boxes = m.os().messageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "AddPort");
  EXPECT_EQ(boxes[0].text, "Err:0 [The operation completed successfully.\r\n]");
  EXPECT_EQ(boxes[1].text,
            "Err:1223 [The operation was canceled by the user.\r\n]");
}

TEST(PortDelete, DeletePortBoxAndTheMonitorsKey) {
  SimMachine m(sim::WindowsVersion::XP);
  m.BindExports();
  HWND parent = m.os().CreateWindowHandle("installer");
  InstallMonitorKey(m.os(), "LPR Port");
  AddPortKey(m.os(), "LPR Port", "gone");
  m.os().CreateKeyPath(
      HKEY_LOCAL_MACHINE,
      std::string(kMonitorsPath) + "LPR Port\\Ports\\gone\\Timeouts");
  EXPECT_EQ(WinSub_DeletePort(parent, "GONE"), IDOK);
  EXPECT_EQ(m.os().FindKey(HKEY_LOCAL_MACHINE, std::string(kMonitorsPath) +
                                                   "LPR Port\\Ports\\gone"),
            nullptr);
  EXPECT_EQ(WinSub_DeletePort(parent, "NOSUCHPORT:"), IDOK);
  EXPECT_EQ(WinSub_DeletePort(parent, "LPT1:"), IDOK);
  EXPECT_FALSE(m.os().HasPort("LPT1:"));
  const auto& boxes = m.os().messageBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  for (const auto& b : boxes) EXPECT_EQ(b.caption, "DeletePort");
  EXPECT_EQ(boxes[0].text.rfind("Err:0 [", 0), 0u);
  // Wine 8 answers an unknown port with ERROR_NOT_SUPPORTED.
  EXPECT_EQ(boxes[1].text.rfind("Err:50 [", 0), 0u) << boxes[1].text;
  EXPECT_EQ(boxes[2].text.rfind("Err:0 [", 0), 0u);
}

TEST(Monitor, AddMonitorUsesTheEnvironmentOfTheOsKind) {
  for (const auto& v : AllVersions()) {
    SimMachine m(v.version);
    m.BindExports();
    const int result = Add_Monitor("KV Mon", "kvmon.dll");
    const std::string env =
        v.osKind == OsKind::Win9x ? "Windows 4.0" : "Windows NT x86";
    if (v.osKind == OsKind::Other) {
      EXPECT_EQ(result, 0) << v.name;
      EXPECT_EQ(m.os().CountOperations("AddMonitorA"), 0u) << v.name;
      continue;
    }
    bool asked = false;
    for (const auto& l : m.os().operations())
      if (l.rfind("AddMonitorA(NULL, 2, \"KV Mon\", \"" + env +
                      "\", \"kvmon.dll\")",
                  0) == 0)
        asked = true;
    EXPECT_TRUE(asked) << v.name;
    // The DLL is not on the machine: the spooler refuses it.
    EXPECT_EQ(result, 0) << v.name;
    ASSERT_TRUE(m.os().WriteTextFile(m.os().systemDir() + "\\kvmon.dll", "MZ"));
    EXPECT_EQ(Add_Monitor("KV Mon", "kvmon.dll"), 1) << v.name;
    EXPECT_EQ(Add_Monitor("KV Mon", "kvmon.dll"), 0) << v.name;
  }
}

TEST(Tool, LaunchToolReportsThePortTheToolAdded) {
  SimMachine m(sim::WindowsVersion::Win98);
  m.BindExports();
  m.os().RegisterProgram(
      "portset.exe", [](sim::SimPlatform& os, const std::string& cmd) {
        const std::string name = cmd.substr(cmd.rfind(' ') + 1);
        os.CreateKeyPath(HKEY_LOCAL_MACHINE, kRelayPorts + name);
        return DWORD{0};
      });
  m.os().RegisterProgram("idle.exe", [](sim::SimPlatform&, const std::string&) {
    return DWORD{0};
  });
  char out[1024] = "untouched";
  EXPECT_EQ(LaunchTool(0, 0, "idle.exe /quiet", out), 1);
  EXPECT_STREQ(out, "untouched");
  EXPECT_TRUE(m.os().messageBoxes().empty());
  EXPECT_EQ(LaunchTool(0, 0, "missing.exe", out), 1);
  EXPECT_STREQ(out, "untouched");

  EXPECT_EQ(LaunchTool(0, 0, "portset.exe /add Relay_7", out), 1);
  EXPECT_STREQ(out, "Relay_7");
  ASSERT_EQ(m.os().messageBoxes().size(), 1u);
  EXPECT_EQ(m.os().messageBoxes()[0].caption, "TEST");
  EXPECT_EQ(m.os().messageBoxes()[0].text, "Relay_7");
  EXPECT_EQ(m.os().processes().back().commandLine, "portset.exe /add Relay_7");
  EXPECT_EQ(m.os().CountOperations("WaitForSingleObject"), 2u);
  EXPECT_EQ(m.os().CountOperations("CloseHandle"), 4u);
}

TEST(Tool, OnNtTheLookupReadsTheLprPorts) {
  SimMachine m(sim::WindowsVersion::XP);
  m.BindExports();
  AddPortKey(m.os(), "LPR Port", "lpr-last");
  m.os().RegisterProgram(
      "portset.exe", [](sim::SimPlatform& os, const std::string&) {
        os.CreateKeyPath(HKEY_LOCAL_MACHINE, kRelayPorts + "R1");
        return DWORD{0};
      });
  char out[1024] = "untouched";
  EXPECT_EQ(LaunchTool(0, 0, "portset.exe", out), 1);
  EXPECT_STREQ(out, "lpr-last");
}

// ---- CheckUSBPort
// -------------------------------------------------------------

const char kSii[] = "C:\\media\\kv.sii";

void WriteSii(SimMachine& m, const std::string& models) {
  ASSERT_TRUE(m.os().WriteTextFile(
      kSii, "[Initial]\r\nProduct=KV Laser\r\n[ModelName]\r\n" + models));
}

TEST(UsbPort, LastMatchingPrinterOnAUsbPortGivesThePort) {
  SimMachine m(sim::WindowsVersion::Win2000);
  m.BindExports();
  WriteSii(m, "nModelNum=2\r\nModel1=A100\r\nModel2=B200\r\n");
  AddPrinterRecord(m.os(), "P1", "USB001", "KV Laser B200");
  AddPrinterRecord(m.os(), "P2", "usb002", "kv laser b200");
  AddPrinterRecord(m.os(), "P3", "LPT1:", "KV Laser B200");
  AddPrinterRecord(m.os(), "P4", "USB009", "Other B200");
  char port[256] = "untouched", model[256] = "";
  EXPECT_EQ(CheckUSBPort(kSii, port, model), 1);
  EXPECT_STREQ(port, "usb002");
  EXPECT_STREQ(model, "B200");
}

TEST(UsbPort, ParallelPortCountsOnXpOnly) {
  for (auto v : {sim::WindowsVersion::Win2000, sim::WindowsVersion::XP}) {
    SimMachine m(v);
    m.BindExports();
    WriteSii(m, "Model1=A100\r\nModel2=B200\r\n");  // no count: Model1 only
    AddPrinterRecord(m.os(), "P1", "LPT1:", "KV Laser A100");
    char port[256] = "untouched", model[256] = "";
    const int expected = v == sim::WindowsVersion::XP ? 1 : 0;
    EXPECT_EQ(CheckUSBPort(kSii, port, model), expected);
    EXPECT_STREQ(port, expected ? "LPT1:" : "untouched");
    EXPECT_STREQ(model, "A100");
  }
}

TEST(UsbPort, NoMatchTriesEveryModelAndLeavesThePort) {
  SimMachine m(sim::WindowsVersion::XP);
  m.BindExports();
  WriteSii(m, "nModelNum=3\r\nModel1=A\r\nModel2=B\r\nModel3=C\r\n");
  AddPrinterRecord(m.os(), "P1", "USB001", "KV Laser D");
  char port[256] = "untouched", model[256] = "";
  EXPECT_EQ(CheckUSBPort(kSii, port, model), 0);
  EXPECT_STREQ(port, "untouched");
  EXPECT_STREQ(model, "C");
  // A port name longer than the 256-byte buffer is cut to fit it.
  AddPrinterRecord(m.os(), "P2", "USB" + std::string(400, 'x'), "KV Laser C");
  EXPECT_EQ(CheckUSBPort(kSii, port, model), 1);
  EXPECT_EQ(std::strlen(port), 255u);
}

}  // namespace
}  // namespace kv::test
