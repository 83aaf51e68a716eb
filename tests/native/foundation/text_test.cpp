#include "foundation/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/model_names.h"
#include "foundation/names.h"
#include "printer/queries.h"
#include "tests/native/support/sim_fixture.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;

// Every code page 932 character whose trail byte is the backslash code.
std::vector<std::string> BackslashTrailCharacters(sim::SimPlatform& os) {
  std::vector<std::string> out;
  for (int lead = 0x81; lead <= 0xFC; ++lead)
    if (os.IsDBCSLeadByte(static_cast<BYTE>(lead)))
      out.push_back({static_cast<char>(lead), '\\'});
  return out;
}

// On 932 such a character is one character, never a separator; the same
// bytes on 1252 are two characters, the second a backslash.
TEST(Text, BackslashTrailBytesAreNoSeparators) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  os.SetCodePage(932);
  const auto chars = BackslashTrailCharacters(os);
  ASSERT_GE(chars.size(), 52u);
  for (const std::string& c : chars) {
    const std::string folder = "C:\\WIN" + c;
    const std::string path = folder + "\\" + c + "x.dll";
    os.SetCodePage(932);
    EXPECT_FALSE(text::EndsWith(os, folder, '\\')) << c;
    EXPECT_EQ(text::FolderPart(os, path), folder) << c;
    EXPECT_EQ(text::NamePart(os, path), c + "x.dll") << c;
    EXPECT_EQ(text::Split(os, path, '\\').size(), 3u) << c;
    EXPECT_TRUE(CheckRegistryKeyName(os, ("KV " + c).c_str())) << c;
    EXPECT_TRUE(CheckSpoolerName(os, SpoolerObject::Printer, c.c_str())) << c;
    EXPECT_FALSE(
        text::EqualNoCase(os, c.substr(0, 1) + "A", c.substr(0, 1) + "a"));
    os.SetCodePage(1252);
    EXPECT_TRUE(text::EndsWith(os, folder, '\\')) << c;
    EXPECT_EQ(text::Split(os, path, '\\').size(), 5u) << c;
    EXPECT_FALSE(CheckRegistryKeyName(os, ("KV " + c).c_str())) << c;
  }
}

// Cuts at every limit around a double-byte character leave it whole or
// out; a lone lead byte a buffer left behind is dropped.
TEST(Text, CutsKeepWholeCharacters) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  os.SetCodePage(932);
  for (const std::string& c : BackslashTrailCharacters(os)) {
    for (size_t pad = 0; pad < 4; ++pad) {
      const std::string s = std::string(pad, 'a') + c + c;
      for (size_t limit = 0; limit <= s.size(); ++limit) {
        const std::string cut = text::Cut(os, s, limit);
        EXPECT_LE(cut.size(), limit);
        EXPECT_GE(cut.size() + 1, limit) << "more than half a character lost";
        if (cut.size() >= pad) {
          EXPECT_EQ((cut.size() - pad) % 2, 0u) << limit;
        }
      }
    }
    EXPECT_EQ(text::DropHalfCharacter(os, "ab" + c.substr(0, 1)), "ab");
    EXPECT_EQ(text::DropHalfCharacter(os, "ab" + c), "ab" + c);
  }
}

// The chosen printer name and the product read end on a whole character.
TEST(Text, PrinterNameAndProductReadCutBeforeACharacter) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  os.SetCodePage(932);
  const std::string so = "\x83\x5C";  // a 0x5C trail byte
  for (size_t pad = kPrinterNameSize - 4; pad < kPrinterNameSize; ++pad) {
    const std::string base = std::string(pad, 'P') + so + so;
    char out[kPrinterNameSize] = {};
    const int n = GetPrinterDriverName(m.ctx(), base.c_str(), "LPT1:", out);
    ASSERT_GT(n, 0);
    const std::string got = out;
    EXPECT_LT(got.size(), kPrinterNameSize);
    EXPECT_EQ(got, text::Cut(os, base, kPrinterNameSize - 1));
    EXPECT_EQ((got.size() - pad) % 2, 0u) << got.size();
  }
  for (size_t pad = 16; pad < 20; ++pad) {
    const std::string product = std::string(pad, 'K') + so + so;
    ASSERT_TRUE(os.WriteTextFile("C:\\p.sii",
                                 "[Initial]\r\nProduct=" + product + "\r\n"));
    const std::string read = ReadProductName(m.ctx(), "C:\\p.sii");
    EXPECT_EQ(read, text::Cut(os, product, 19)) << pad;
    // The machine's own read stops before a character it would halve.
    char raw[20] = {};
    const DWORD n = os.GetPrivateProfileStringA("Initial", "Product", "", raw,
                                                sizeof raw, "C:\\p.sii");
    EXPECT_EQ(std::string(raw, n), read) << pad;
    EXPECT_EQ(ComposeDriverName(os, std::string(126, 'D'), so),
              std::string(126, 'D') + " ");
  }
}

}  // namespace
}  // namespace kv::test
