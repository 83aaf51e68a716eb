// Debug trace and the last-error message box.
#include "foundation/diagnostics.h"

#include <gtest/gtest.h>

#include "exports/foundation_exports.h"
#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

using test::SimMachine;

TEST(DebugTrace, SilentWithoutSinkAndFormatsWithOne) {
  SimMachine m(sim::WindowsVersion::XP);
  m.os().SetLastError(0x6BA);
  DebugTraceLastError(m.ctx(), "AddPrinter Fail ErrMsg[0x%x]\n");
  DebugTrace(m.ctx(), "Create RegKey Fail.\nKey<%s>", "A\\B");
  DebugTrace(m.ctx(), "plain %x text\n");  // no arguments: printed as is
  ASSERT_EQ(m.trace.size(), 3u);
  EXPECT_EQ(m.trace[0], "AddPrinter Fail ErrMsg[0x6ba]\n");
  EXPECT_EQ(m.trace[1], "Create RegKey Fail.\nKey<A\\B>");
  EXPECT_EQ(m.trace[2], "plain %x text\n");

  Context silent(m.os());
  DebugTraceLastError(silent, "AddPrinter Fail ErrMsg[0x%x]\n");
  EXPECT_EQ(m.trace.size(), 3u);
}

TEST(LastErrorBox, ShowsCodeAndSystemText) {
  SimMachine m(sim::WindowsVersion::NT4);
  m.BindExports();
  m.os().SetLastError(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(::LastErrorMessageBox("Setup"), IDOK);
  m.os().SetLastError(0);
  EXPECT_EQ(::LastErrorMessageBox("Zero"), IDOK);

  const auto& boxes = m.os().messageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "Setup");
  EXPECT_EQ(boxes[0].text,
            "Err:2 [The system cannot find the file specified.\r\n]");
  EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK));
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[1].text, "Err:0 [The operation completed successfully.\r\n]");
}

TEST(LastErrorBox, UnknownCodeHasEmptyText) {
  SimMachine m(sim::WindowsVersion::Win98);
  m.os().SetLastError(0x7FFF1234);
  LastErrorMessageBox(m.ctx(), "X");
  ASSERT_EQ(m.os().messageBoxes().size(), 1u);
  EXPECT_EQ(m.os().messageBoxes()[0].text, "Err:2147422772 []");
}

TEST(LastErrorBox, ReleasesTheSystemText) {
  SimMachine m(sim::WindowsVersion::XP);
  m.os().SetLastError(ERROR_ACCESS_DENIED);
  LastErrorMessageBox(m.ctx(), "X");
  EXPECT_EQ(m.os().CountOperations("FormatMessageA"),
            m.os().CountOperations("LocalFree"));
}

}  // namespace
}  // namespace kv
