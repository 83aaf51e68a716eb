// The browse dialog and the window and directory wrappers on the simulated
// machine, through the exports the installer script calls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "exports/dialog_exports.h"
#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

using sim::WindowsVersion;

class BrowseTest : public ::testing::Test {
 protected:
  BrowseTest() : m_(WindowsVersion::Win98) {
    m_.BindExports();
    dialog_ = os().CreateWindowHandle("installer dialog");
    owner_ = os().CreateWindowHandle("installer frame");
    std::memset(path_, '#', sizeof path_);
    path_[sizeof path_ - 1] = '\0';
  }
  sim::SimPlatform& os() { return m_.os(); }
  // Index of the first recorded operation starting with `prefix`.
  size_t IndexOf(const std::string& prefix) {
    const auto& ops = os().operations();
    for (size_t i = 0; i < ops.size(); ++i)
      if (ops[i].compare(0, prefix.size(), prefix) == 0) return i;
    return ops.size();
  }

  test::SimMachine m_;
  HWND dialog_;
  HWND owner_;
  char path_[300];
};

TEST_F(BrowseTest, CancelLeavesTheBufferAndEnablesTheDialog) {
  os().QueueBrowseCancel();
  const std::string before = path_;
  EXPECT_EQ(BrowseFolder(dialog_, owner_, path_, "Choose a printer"), 0);
  EXPECT_EQ(std::string(path_), before);
  EXPECT_TRUE(os().IsWindowEnabled(dialog_));
  // The dialog was disabled while the browse dialog was up.
  EXPECT_LT(IndexOf("EnableWindow"), IndexOf("SHBrowseForFolderA"));
  EXPECT_GT(os().operations().size(), IndexOf("SHBrowseForFolderA"));
  ASSERT_EQ(os().browses().size(), 1u);
  const auto& b = os().browses()[0];
  EXPECT_EQ(b.owner, owner_);
  EXPECT_EQ(b.rootFolder, CSIDL_NETWORK);
  EXPECT_EQ(b.title, "Choose a printer");
  EXPECT_EQ(b.flags, static_cast<UINT>(BIF_BROWSEFORPRINTER));
  EXPECT_FALSE(b.displayName);
  EXPECT_FALSE(b.callback);
  EXPECT_EQ(os().CountOperations("OleInitialize"),
            os().CountOperations("OleUninitialize"));
  EXPECT_EQ(os().LiveItemLists(), 0u) << "the root list is freed";
}

TEST_F(BrowseTest, ChoiceCopiesThePath) {
  os().QueueBrowseChoice("\\\\SERVER\\Share");
  EXPECT_EQ(BrowseFolder(dialog_, owner_, path_, "t"), 1);
  EXPECT_STREQ(path_, "\\\\SERVER\\Share");
  EXPECT_TRUE(os().IsWindowEnabled(dialog_));
  EXPECT_EQ(os().LiveItemLists(), 0u) << "the item list is freed";
}

TEST_F(BrowseTest, PrinterChoiceGivesAnEmptyPath) {
  os().QueueBrowseChoice("");  // a printer has no file-system path
  EXPECT_EQ(BrowseFolder(dialog_, owner_, path_, "t"), 1);
  EXPECT_STREQ(path_, "");
  EXPECT_EQ(os().LiveItemLists(), 0u);
}

TEST_F(BrowseTest, LongestPathFitsTheBuffer) {
  const std::string longest = "C:\\" + std::string(MAX_PATH - 4, 'p');
  os().QueueBrowseChoice(longest);
  EXPECT_EQ(BrowseFolder(dialog_, owner_, path_, "t"), 1);
  EXPECT_EQ(std::string(path_), longest);
  EXPECT_EQ(path_[MAX_PATH], '#') << "nothing past the 260-character buffer";
}

TEST_F(BrowseTest, WithoutTheNetworkFolderTheDialogStartsAtTheDesktop) {
  os().FailOperation("SHGetSpecialFolderLocation", ERROR_NOT_ENOUGH_MEMORY);
  os().QueueBrowseCancel();
  EXPECT_EQ(BrowseFolder(dialog_, owner_, path_, "t"), 0);
  ASSERT_EQ(os().browses().size(), 1u);
  EXPECT_EQ(os().browses()[0].root, 0u);
  EXPECT_TRUE(os().IsWindowEnabled(dialog_));
}

TEST_F(BrowseTest, DialogFailureStillEnablesTheDialog) {
  os().FailOperation("SHBrowseForFolderA", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(BrowseFolder(dialog_, owner_, path_, nullptr), 0);
  EXPECT_TRUE(os().IsWindowEnabled(dialog_));
}

TEST(WindowWrappers, FocusEnableClickDirectory) {
  test::SimMachine m(WindowsVersion::XP);
  m.BindExports();
  HWND a = m.os().CreateWindowHandle("a");
  HWND b = m.os().CreateWindowHandle("b");

  EXPECT_EQ(WinSub_SetForcus(a), nullptr);
  EXPECT_EQ(WinSub_SetForcus(b), a);
  EXPECT_EQ(m.os().focus(), b);

  EXPECT_EQ(WinSub_EnableWindow(a, 0), 0) << "was enabled";
  EXPECT_FALSE(m.os().IsWindowEnabled(a));
  EXPECT_NE(WinSub_EnableWindow(a, 5), 0) << "was disabled";
  EXPECT_TRUE(m.os().IsWindowEnabled(a));

  EXPECT_EQ(BtmClickMessage(b, 0x7FFF0001, -1), 1);
  ASSERT_EQ(m.os().messages().size(), 1u);
  const auto& msg = m.os().messages()[0];
  EXPECT_EQ(msg.window, b);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_COMMAND));
  EXPECT_EQ(msg.wParam, 1u);
  EXPECT_EQ(msg.lParam, -1);
  EXPECT_TRUE(msg.posted);

  EXPECT_EQ(WinSub_CreateDirectory("C:\\KVTEMP"), 1);
  EXPECT_NE(m.os().GetFileAttributesA("C:\\KVTEMP") & FILE_ATTRIBUTE_DIRECTORY,
            0u);
  m.os().SetLastError(test::kStaleError);
  EXPECT_EQ(WinSub_CreateDirectory("C:\\KVTEMP"), 0) << "exists already";
  EXPECT_EQ(m.os().GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(WinSub_CreateDirectory("C:\\NO\\SUCH\\PARENT"), 0);
  EXPECT_EQ(WinSub_CreateDirectory(nullptr), 0);
}

}  // namespace
}  // namespace kv
