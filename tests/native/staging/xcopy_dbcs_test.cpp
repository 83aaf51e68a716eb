// Xcopy in code page 932: "\x95\x5C" is one double-byte character whose
// trail byte is 0x5C, not a separator, wherever it stands in the source or
// destination path.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "staging/xcopy.h"
#include "tests/native/support/sim_fixture.h"
#include "tests/native/support/staging_support.h"

namespace kv::test {
namespace {

constexpr char kDbcs[] = "\x95\x5C";

// LNKSCAN takes only the selected folder E at level 0 (the destination's
// entries, three separators below it) and copies the files below it.
TEST(XcopyDbcs, TrailByteIsNoSeparator) {
  const std::string dbcs = kDbcs;
  const struct {
    std::string source;
    std::string dest;  // three separators: its entries are at level 0
  } cases[] = {
      {"C:\\MEDIUM", "C:\\D\\" + dbcs + "\\B"},
      {"C:\\M\\" + dbcs, "C:\\DEST\\A\\B"},
      {"C:\\M\\" + dbcs, "C:\\D\\" + dbcs + "\\B"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source + " -> " + c.dest);
    SimMachine m(sim::WindowsVersion::XP);
    auto& os = m.os();
    os.SetCodePage(932);
    for (const char* f : {"top.txt", "E\\e.txt", "F\\f.txt"})
      ASSERT_TRUE(os.WriteTextFile(c.source + "\\" + f, f));
    ASSERT_TRUE(os.WriteTextFile(c.dest + "\\keep.txt", "x"));

    EXPECT_EQ(Xcopy(m.ctx(), c.source, c.dest, "E", "LNKSCAN"), 1);

    EXPECT_EQ(TreeListing(os.HostPath(c.dest)),
              (std::set<std::string>{"keep.txt", "E\\", "E\\e.txt"}));
  }
}

}  // namespace
}  // namespace kv::test
