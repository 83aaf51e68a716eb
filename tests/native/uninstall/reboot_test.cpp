#include "uninstall/reboot.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/native/support/sim_fixture.h"
#include "tests/native/uninstall/uninstall_support.h"
#include "uninstall/batch.h"
#include "uninstall/uninstall_entries.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;

void WriteSetting(sim::SimPlatform& os, const char* file, const char* value) {
  if (value)
    os.WriteTextFile(
        os.windowsDir() + "\\" + file,
        std::string("[UninstName]\r\nUNINST_MSG_DAT=") + value + "\r\n");
}

// Where the question comes from, and when none is asked.
TEST(Reboot, WhereTheQuestionComesFrom) {
  const std::string builtIn = kRebootText;
  const std::string line1(200, 'a'), line2(52, 'b');
  struct Case {
    const char* name;
    const char *eins, *dins, *hins;  // UNINST_MSG_DAT, null: no key
    std::string messageFile;         // contents of SYSTEM\kvmsg.dat, or ""
    bool batch;
    UINT codePage;
    const char* caption;  // null: no question
    std::string text;
    bool kept = false;  // the message file is not the product's and stays
  } cases[] = {
      {"built-in", "1", nullptr, nullptr, "", true, 1252, "Confirm", builtIn},
      {"no key", nullptr, nullptr, nullptr, "", true, 1252, nullptr, ""},
      {"second file names it", "1", "kvmsg.dat", nullptr,
       "[String]\r\nSTR_Reboot_TITLE=KV Removal\r\nSTR_Reboot_1=Done."
       "\r\nSTR_Reboot_2=Restart?\r\n",
       true, 1252, "KV Removal", "Done.\r\nRestart?\n"},
      {"third file names it", "1", "2", "kvmsg.dat",
       "[String]\r\nSTR_Reboot_1=Done.\r\n", true, 1252, "", "Done.\r\n\n"},
      {"named file missing", "kvmsg.dat", nullptr, nullptr, "", true, 1252,
       nullptr, ""},
      {"no batch", "kvmsg.dat", nullptr, nullptr, "[String]\r\n", false, 1252,
       nullptr, ""},
      {"climbs out", "..\\win.ini", nullptr, nullptr, "", true, 1252, nullptr,
       ""},
      {"caption at its limit", "kvmsg.dat", nullptr, nullptr,
       "[String]\r\nSTR_Reboot_TITLE=123456789012345678901234567890123456789"
       "012345678901\r\n",
       true, 1252, "123456789012345678901234567890123456789012345678901",
       "\r\n\n"},
      {"caption one past", "kvmsg.dat", nullptr, nullptr,
       "[String]\r\nSTR_Reboot_TITLE=123456789012345678901234567890123456789"
       "0123456789012\r\n",
       true, 1252, "123456789012345678901234567890123456789012345678901",
       "\r\n\n"},
      {"double-byte character across the limit", "kvmsg.dat", nullptr, nullptr,
       "[String]\r\nSTR_Reboot_TITLE=12345678901234567890123456789012345678"
       "901234567890\x83\x5C\r\n",
       true, 932, "12345678901234567890123456789012345678901234567890",
       "\r\n\n"},
      {"lines at their limit", "kvmsg.dat", nullptr, nullptr,
       "[String]\r\nSTR_Reboot_1=" + line1 + "\r\nSTR_Reboot_2=" + line2 +
           "\r\n",
       true, 1252, "", line1 + "\r\n" + line2 + "\n"},
      {"a file that holds no question", "kvmsg.dat", nullptr, nullptr,
       "MZ not a message file\r\n", true, 1252, "Confirm", builtIn, true},
      {"the batch itself", "VT3E.bat", nullptr, nullptr, "", true, 1252,
       "Confirm", builtIn, true},
      {"lines one past", "kvmsg.dat", nullptr, nullptr,
       "[String]\r\nSTR_Reboot_TITLE=KV\r\nSTR_Reboot_1=" + line1 +
           "\r\nSTR_Reboot_2=" + line2 + "b\r\n",
       true, 1252, "Confirm", builtIn},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimMachine m(WindowsVersion::XP);
    auto& os = m.os();
    os.SetCodePage(c.codePage);
    WriteSetting(os, "vt3eins.sii", c.eins);
    WriteSetting(os, "vt3dins.sii", c.dins);
    WriteSetting(os, "vt3hins.sii", c.hins);
    const std::string message = os.systemDir() + "\\kvmsg.dat";
    const std::string& contents = c.messageFile;
    if (!contents.empty()) os.WriteTextFile(message, contents);
    if (c.batch) os.WriteTextFile(os.systemDir() + "\\VT3E.bat", "\r\n");
    os.ClearOperations();
    os.QueueMessageBoxAnswer(IDNO);
    AskReboot(m.ctx());

    ASSERT_EQ(os.messageBoxes().size(), c.caption ? 1u : 0u);
    EXPECT_TRUE(os.restartRequests().empty());
    EXPECT_NE(os.GetFileAttributesA((os.windowsDir() + "\\win.ini").c_str()),
              INVALID_FILE_ATTRIBUTES);
    const bool messageLeft =
        os.GetFileAttributesA(message.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!c.caption) {
      EXPECT_EQ(messageLeft, !contents.empty());
      continue;
    }
    const sim::MessageBoxRecord& box = os.messageBoxes()[0];
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.caption, c.caption);
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.type, static_cast<UINT>(MB_YESNO));
    // A message file is used once, and gone before the box is up; a file
    // that is none stays, the batch too.
    EXPECT_EQ(messageLeft, c.kept && !contents.empty());
    EXPECT_NE(os.GetFileAttributesA((os.systemDir() + "\\VT3E.bat").c_str()),
              INVALID_FILE_ATTRIBUTES);
    if (!contents.empty() && !c.kept) {
      const auto& ops = os.operations();
      auto at = [&](const std::string& prefix) {
        return std::find_if(ops.begin(), ops.end(),
                            [&](const std::string& s) {
                              return s.rfind(prefix, 0) == 0;
                            }) -
               ops.begin();
      };
      EXPECT_LT(at("DeleteFileA"), at("MessageBoxA"));
    }
  }
}

// Yes restarts with force; the NT family enables the shutdown privilege
// first, 9x has none to enable; other Windows are not restarted.
TEST(Reboot, YesRestarts) {
  for (const VersionCase& v : AllVersions()) {
    SCOPED_TRACE(v.name);
    SimMachine m(v.version);
    auto& os = m.os();
    WriteSetting(os, "vt3eins.sii", "1");
    os.WriteTextFile(os.systemDir() + "\\VT3E.bat", "del x\r\n");
    os.QueueMessageBoxAnswer(IDYES);
    HandOverBatch(m.ctx());
    ASSERT_EQ(os.messageBoxes().size(), 1u);
    const auto& restarts = os.restartRequests();
    if (v.osKind == OsKind::Other) {
      EXPECT_TRUE(restarts.empty());
      continue;
    }
    ASSERT_EQ(restarts.size(), 1u);
    EXPECT_EQ(restarts[0].flags, static_cast<UINT>(EWX_REBOOT | EWX_FORCE));
    EXPECT_EQ(restarts[0].reason, 0u);
    EXPECT_EQ(restarts[0].shutdownPrivilegeEnabled, v.osKind != OsKind::Win9x);
    EXPECT_EQ(os.OpenFileHandles(), 0u);
  }
}

// A message file name past 48 characters is refused whole: cut, it would
// name (and delete) another file.
TEST(Reboot, LongMessageFileNameIsNotCut) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  const std::string cut(48, 'm');
  const std::string other = os.systemDir() + "\\" + cut;
  os.WriteTextFile(other, "[String]\r\nSTR_Reboot_1=Other\r\n");
  os.WriteTextFile(os.systemDir() + "\\VT3E.bat", "\r\n");
  WriteSetting(os, "vt3eins.sii", (cut + "x").c_str());
  AskReboot(m.ctx());
  EXPECT_TRUE(os.messageBoxes().empty());
  EXPECT_NE(os.GetFileAttributesA(other.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace kv::test
