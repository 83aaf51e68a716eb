// AddLPD and GetLastPortName: the monitor's dialog, the count boxes and the
// owner window disabled throughout.
#include <gtest/gtest.h>

#include <cstring>

#include "exports/ports_exports.h"
#include "tests/native/ports/ports_support.h"
#include "tests/native/support/sim_fixture.h"

namespace kv::test {
namespace {

using Answer = sim::SimPlatform::AddPortAnswer;

const char kMonitorPath[] =
    "System\\CurrentControlSet\\Control\\Print\\Monitors\\LPR Port";

struct Box {
  std::string caption, text;
  bool operator==(const Box& o) const {
    return caption == o.caption && text == o.text;
  }
};
std::ostream& operator<<(std::ostream& os, const Box& b) {
  return os << "[" << b.caption << ": " << b.text << "]";
}

std::vector<Box> Boxes(sim::SimPlatform& os) {
  std::vector<Box> boxes;
  for (const auto& b : os.messageBoxes()) {
    EXPECT_EQ(b.owner, nullptr);
    EXPECT_EQ(b.type, static_cast<UINT>(MB_OK));
    boxes.push_back({b.caption, b.text});
  }
  return boxes;
}

// The owner is disabled before the first box or dialog and enabled again
// after the last one, and is enabled when AddLPD returns.
void ExpectOwnerDisabledThroughout(sim::SimPlatform& os, HWND owner) {
  const auto& ops = os.operations();
  size_t firstUi = ops.size(), lastUi = 0, disable = ops.size(), enable = 0;
  for (size_t i = 0; i < ops.size(); ++i) {
    const std::string& l = ops[i];
    if (l.rfind("MessageBoxA(", 0) == 0 || l.rfind("AddPortA(", 0) == 0) {
      firstUi = std::min(firstUi, i);
      lastUi = i;
    }
    if (l.rfind("EnableWindow(", 0) == 0) {
      if (l.find(", 0)") != std::string::npos)
        disable = std::min(disable, i);
      else
        enable = i;
    }
  }
  EXPECT_LT(disable, firstUi);
  EXPECT_GT(enable, lastUi);
  EXPECT_TRUE(os.IsWindowEnabled(owner));
  for (const auto& d : os.portDialogs()) EXPECT_FALSE(d.parentEnabled);
}

class AddLpd : public testing::Test {
 protected:
  AddLpd() : m(sim::WindowsVersion::XP) {
    m.BindExports();
    owner = m.os().CreateWindowHandle("installer");
    std::strcpy(out, "untouched");
  }
  void Install() { InstallMonitorKey(m.os(), "LPR Port"); }
  SimMachine m;
  HWND owner;
  char out[1024];
};

TEST_F(AddLpd, WithoutTheMonitorShowsTheKeyPathUnderTheCaption) {
  EXPECT_NE(AddLPD(0, owner, "Setup", out), 0);
  EXPECT_EQ(Boxes(m.os()), (std::vector<Box>{{"Setup", kMonitorPath}}));
  EXPECT_STREQ(out, "untouched");
  EXPECT_TRUE(m.os().portDialogs().empty());
  ExpectOwnerDisabledThroughout(m.os(), owner);
}

TEST_F(AddLpd, AddedPortIsReportedAfterTheCountBoxes) {
  Install();
  AddPortKey(m.os(), "LPR Port", "existing");
  m.os().QueueAddPortDialog(Answer::AddPort, "new-lpr");
  EXPECT_NE(AddLPD(0, owner, "Setup", out), 0);
  EXPECT_EQ(Boxes(m.os()),
            (std::vector<Box>{{"1", "1"}, {"2", "2"}, {"TEST", "new-lpr"}}));
  EXPECT_STREQ(out, "new-lpr");
  ASSERT_EQ(m.os().portDialogs().size(), 1u);
  EXPECT_EQ(m.os().portDialogs()[0].monitor, "LPR Port");
  EXPECT_EQ(m.os().portDialogs()[0].parent, owner);
  ExpectOwnerDisabledThroughout(m.os(), owner);
}

TEST_F(AddLpd, TheLastKeyInEnumerationOrderIsReportedNotTheNewOne) {
  Install();
  AddPortKey(m.os(), "LPR Port", "zeta");
  m.os().QueueAddPortDialog(Answer::AddPort, "alpha");
  AddLPD(0, owner, "Setup", out);
  EXPECT_STREQ(out, "zeta");
}

TEST_F(AddLpd, NoNewKeyLeavesTheBufferAlone) {
  struct Case {
    const char* what;
    Answer answer;
    const char* name;
  };
  const Case cases[] = {{"cancel", Answer::Cancel, ""},
                        {"nothing added", Answer::AddNothing, ""},
                        {"existing name", Answer::AddPort, "EXISTING"}};
  Install();
  AddPortKey(m.os(), "LPR Port", "existing");
  for (const auto& c : cases) {
    const size_t before = m.os().messageBoxes().size();
    m.os().QueueAddPortDialog(c.answer, c.name);
    EXPECT_NE(AddLPD(0, owner, "Setup", out), 0) << c.what;
    EXPECT_STREQ(out, "untouched") << c.what;
    const auto boxes = Boxes(m.os());
    EXPECT_EQ(std::vector<Box>(boxes.begin() + before, boxes.end()),
              (std::vector<Box>{{"1", "1"}, {"2", "1"}}))
        << c.what;
  }
  ExpectOwnerDisabledThroughout(m.os(), owner);
}

TEST_F(AddLpd, MonitorWithoutPortsKeyCountsNone) {
  Install();
  m.os().QueueAddPortDialog(Answer::AddPort, "first");
  AddLPD(0, owner, "Setup", out);
  EXPECT_EQ(Boxes(m.os()),
            (std::vector<Box>{{"1", "0"}, {"2", "1"}, {"TEST", "first"}}));
  EXPECT_STREQ(out, "first");
}

TEST(GetLastPortNameOs, Windows9xReadsTheRelayMonitorsPorts) {
  SimMachine m(sim::WindowsVersion::Win98);
  m.BindExports();
  HWND owner = m.os().CreateWindowHandle("installer");
  InstallMonitorKey(m.os(), "LPR Port");
  AddPortKey(m.os(), "KV-Relay3100 Port", "relay-b");
  AddPortKey(m.os(), "KV-Relay3100 Port", "relay-a");
  m.os().QueueAddPortDialog(Answer::AddPort, "lpr-new");
  char out[1024] = "untouched";
  AddLPD(0, owner, "Setup", out);
  EXPECT_STREQ(out, "relay-b");
  EXPECT_EQ(m.os().messageBoxes().back().caption, "TEST");
}

TEST(GetLastPortNameOs, Windows9xWithoutRelayLocationShowsNoTestBox) {
  SimMachine m(sim::WindowsVersion::WinMe);
  m.BindExports();
  HWND owner = m.os().CreateWindowHandle("installer");
  InstallMonitorKey(m.os(), "LPR Port");
  m.os().QueueAddPortDialog(Answer::AddPort, "lpr-new");
  char out[1024] = "untouched";
  AddLPD(0, owner, "Setup", out);
  EXPECT_STREQ(out, "untouched");
  EXPECT_EQ(m.os().messageBoxes().back().caption, "2");
  EXPECT_TRUE(m.os().IsWindowEnabled(owner));
}

}  // namespace
}  // namespace kv::test
