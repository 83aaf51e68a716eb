// ExpCopy and DefineFileName on the simulated machine.
#include "staging/expcopy.h"

#include <gtest/gtest.h>

#include <cstring>

#include "exports/staging_exports.h"
#include "tests/native/support/sim_fixture.h"
#include "tests/native/support/staging_support.h"

namespace kv::test {
namespace {

TEST(CompressedStoredName, FollowsTheExtensionLength) {
  const struct {
    const char* name;
    const char* stored;
  } cases[] = {
      {"SETUP.DLL", "SETUP.DL_"},
      {"NOTE.TX", "NOTE.TX_"},
      {"A.ABCDEF", "A.AB_"},
      {"A.ABCDE", "A.AB_"},
      {"PAGE.HTML", "PAGE.HTML"},
      {"README", "README"},
      {"X.C", "X.C"},
      {"A.TOOLONG7", "A.TOOLONG7"},
      {".DLL", ".DL_"},
      {".TX", ".TX_"},
      {"DL", "DL"},
      {"", ""},
      {"V.2.TXT", "V.2.TX_"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CompressedStoredName(c.name), c.stored) << c.name;
}

TEST(DefineFileName, CutsOneToThreeCharactersAfterEquals) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"VT3EINS.SII=1", "VT3EINS.SII"},
      {"FILE.DLL=123", "FILE.DLL"},
      {"A=1", "A"},
      {"AB=12", "AB"},
      {"ABC=123", "ABC"},
      {"ABCD=1234", "ABCD=1234"},
      {"X=", "X="},
      {"=1", ""},
      {"=", "="},
      {"", ""},
      {"AB", "AB"},
      {"A=B=C", "A"},
  };
  for (const auto& c : cases) {
    char buffer[MAX_PATH] = {};
    std::strcpy(buffer, c.in);
    EXPECT_EQ(DefineFileName(buffer), 1);
    EXPECT_STREQ(buffer, c.out) << c.in;
  }
  EXPECT_EQ(::DefineFileName(nullptr), 1);
}

class ExpCopyTest : public ::testing::Test {
 protected:
  SimMachine m{sim::WindowsVersion::XP};
  sim::SimPlatform& os = m.os();
  std::string Host(const std::string& win) { return os.HostPath(win); }
  void Put(const std::string& win, const std::string& bytes) {
    WriteHost(Host(win), bytes);
  }
  std::string Get(const std::string& win) { return ReadHost(Host(win)); }
  bool Exists(const std::string& win) {
    return std::filesystem::exists(Host(win));
  }
  void SetUp() override { os.CreateDirectoryA("C:\\DEST", nullptr); }
};

TEST_F(ExpCopyTest, ListedNameDecidesWhereTheFileIsOnTheMedium) {
  Put("C:\\MEDIA\\DRV.DL_", SzddLiterals("expanded driver"));
  Put("C:\\MEDIA\\DRV.DLL", "the wrong one");
  Put("C:\\MEDIA\\DATA.BIN", "plain data");
  Put("C:\\MEDIA\\NOTE.TX_", SzddLiterals("note"));
  Put("C:\\MEDIA\\PAGE.HTML", SzddLiterals("page"));

  EXPECT_EQ(
      ExpCopy(m.ctx(), "C:\\MEDIA\\", "C:\\DEST\\", "DRV.DLL", "DRV.DL_", 0),
      1);
  EXPECT_EQ(Get("C:\\DEST\\DRV.DLL"), "expanded driver");
  // Equal but for case: the installed name is on the medium.
  ExpCopy(m.ctx(), "C:\\MEDIA\\", "C:\\DEST\\", "data.bin", "DATA.BIN", 7);
  EXPECT_EQ(Get("C:\\DEST\\data.bin"), "plain data");
  ExpCopy(m.ctx(), "C:\\MEDIA\\", "C:\\DEST\\", "NOTE.TX", "x", 0);
  EXPECT_EQ(Get("C:\\DEST\\NOTE.TX"), "note");
  // A four-character extension is looked up unchanged.
  ExpCopy(m.ctx(), "C:\\MEDIA\\", "C:\\DEST\\", "PAGE.HTML", "x", 0);
  EXPECT_EQ(Get("C:\\DEST\\PAGE.HTML"), "page");
}

TEST_F(ExpCopyTest, MscompressedFileIsExpandedExactly) {
  if (!HaveTool("mscompress")) GTEST_SKIP() << "mscompress not installed";
  const std::string data = SampleBytes(50000, 11, true);
  // mscompress names its output DRIVER.DLL_; the medium wants DRIVER.DL_.
  const std::string plain = Host("C:\\WORK\\DRIVER.DLL");
  WriteHost(plain, data);
  ASSERT_TRUE(MsCompress(plain));
  Put("C:\\MEDIA\\DRIVER.DL_", ReadHost(plain + "_"));
  ExpCopy(m.ctx(), "C:\\MEDIA\\", "C:\\DEST\\", "DRIVER.DLL", "DRIVER.DL_", 0);
  EXPECT_TRUE(Get("C:\\DEST\\DRIVER.DLL") == data);
}

// The samples the Wine suite expands with the real LZCopy.
TEST_F(ExpCopyTest, CommittedSamplesExpandToTheirOriginals) {
  const std::filesystem::path fixtures =
      std::filesystem::path(__FILE__).parent_path() / "../../fixtures/staging";
  for (const char* name : {"SAMPLE.INF", "SAMPLE.DLL"}) {
    SCOPED_TRACE(name);
    const std::string original = ReadHost((fixtures / name).string());
    ASSERT_FALSE(original.empty());
    const std::string stored = CompressedStoredName(name);
    Put("C:\\MEDIA\\" + stored, ReadHost((fixtures / stored).string()));
    ExpCopy(m.ctx(), "C:\\MEDIA\\", "C:\\DEST\\", name, stored, 0);
    EXPECT_TRUE(Get(std::string("C:\\DEST\\") + name) == original);
  }
}

TEST_F(ExpCopyTest, LongSourceGoesThroughTheStagingFolder) {
  const std::string base = "C:\\M";
  for (size_t length : {100u, 101u}) {
    SCOPED_TRACE(length);
    std::string dir = base + std::string(length - base.size() - 1, 'x') + "\\";
    ASSERT_EQ(dir.size(), length);
    Put(dir + "A.DL_", SzddLiterals("from " + std::to_string(length)));
    os.SetFileAttributesA((dir + "A.DL_").c_str(), FILE_ATTRIBUTE_READONLY);
    os.ClearOperations();
    ExpCopy(m.ctx(), dir, "C:\\DEST\\", "A.DLL", "A.DL_", 0);
    EXPECT_EQ(Get("C:\\DEST\\A.DLL"), "from " + std::to_string(length));
    const std::string staged = "C:\\WINDOWS\\TEMP\\KorvaInstallTmp\\A.DL_";
    if (length == 100) {
      EXPECT_EQ(os.CountOperations("CopyFileA"), 0u);
    } else {
      ASSERT_TRUE(Exists(staged));
      EXPECT_EQ(Get(staged), SzddLiterals("from 101"));
      EXPECT_EQ(os.GetFileAttributesA(staged.c_str()), FILE_ATTRIBUTE_NORMAL);
    }
  }
  // Without the trailing backslash the medium path still gets one.
  const std::string bare = base + std::string(110, 'y');
  Put(bare + "\\B.DL_", SzddLiterals("bare"));
  ExpCopy(m.ctx(), bare, "C:\\DEST\\", "B.DLL", "B.DL_", 0);
  EXPECT_EQ(Get("C:\\DEST\\B.DLL"), "bare");
}

TEST_F(ExpCopyTest, TrailingBackslashTestSteps_OverDoubleByteCharacters) {
  // In code page 932 "\x95\x5C" is one character whose trail byte is 0x5C:
  // the directory does not end in a backslash, so one is added.
  const std::string dir = "C:\\" + std::string(100, 'J') + "\x95\x5C";
  const auto mediumPathCopied = [&] {
    for (const auto& op : os.operations())
      if (op.rfind("CopyFileA(", 0) == 0) return op;
    return std::string();
  };
  os.SetCodePage(932);
  os.ClearOperations();
  ExpCopy(m.ctx(), dir, "C:\\DEST\\", "K.DLL", "K.DL_", 0);
  EXPECT_NE(mediumPathCopied().find("J\x95\x5C\\K.DL_\""), std::string::npos)
      << mediumPathCopied();
  // In a single-byte code page the same bytes end in a backslash.
  os.SetCodePage(1252);
  os.ClearOperations();
  ExpCopy(m.ctx(), dir, "C:\\DEST\\", "K.DLL", "K.DL_", 0);
  EXPECT_NE(mediumPathCopied().find("J\x95\\K.DL_\""), std::string::npos)
      << mediumPathCopied();
}

TEST_F(ExpCopyTest, PathOfTwoHundredSixtyIsRefusedAndNothingWritten) {
  // A destination folder so that folder + name is 259, then 260 characters.
  std::string dest = "C:\\";
  while (dest.size() < 240) dest += std::string(60, 'd') + "\\";
  std::filesystem::create_directories(Host(dest));
  for (size_t total : {259u, 260u}) {
    SCOPED_TRACE(total);
    const std::string name = std::string(total - dest.size() - 4, 'n') + ".TXT";
    ASSERT_EQ((dest + name).size(), total);
    Put("C:\\MEDIA\\" + name, "content");
    os.ClearOperations();
    os.SetLastError(kStaleError);
    EXPECT_EQ(ExpCopy(m.ctx(), "C:\\MEDIA\\", dest, name, name, 0),
              total == 259 ? 1 : 0);
    EXPECT_EQ(Exists(dest + name), total == 259);
    EXPECT_EQ(os.CountOperations("LZOpenFileA"), total == 259 ? 2u : 0u);
    if (total == 260) {
      EXPECT_EQ(os.GetLastError(), DWORD{ERROR_FILENAME_EXCED_RANGE});
    }
  }
  EXPECT_EQ(TreeListing(Host(dest)).size(), 1u);  // nothing cut short either
}

TEST_F(ExpCopyTest, MissingSourceLeavesTheDestinationAlone) {
  Put("C:\\DEST\\KEEP.DLL", "installed before");
  EXPECT_EQ(
      ExpCopy(m.ctx(), "C:\\MEDIA\\", "C:\\DEST\\", "KEEP.DLL", "KEEP.DL_", 0),
      0);
  EXPECT_EQ(Get("C:\\DEST\\KEEP.DLL"), "installed before");
  EXPECT_EQ(
      ExpCopy(m.ctx(), "C:\\NOWHERE\\", "C:\\DEST\\", "NEW.DLL", "NEW.DLL", 0),
      0);
  EXPECT_FALSE(Exists("C:\\DEST\\NEW.DLL"));
}

TEST_F(ExpCopyTest, ReadOnlyDestinationIsNotReplaced) {
  Put("C:\\MEDIA\\R.DL_", SzddLiterals("new"));
  Put("C:\\DEST\\R.DLL", "old");
  os.SetFileAttributesA("C:\\DEST\\R.DLL", FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ExpCopy(m.ctx(), "C:\\MEDIA\\", "C:\\DEST\\", "R.DLL", "R.DL_", 0),
            0);
  EXPECT_EQ(Get("C:\\DEST\\R.DLL"), "old");
  EXPECT_EQ(os.LiveGlobalBlocks(), 0u);
}

TEST_F(ExpCopyTest, CorruptCompressedFileIsSurvived) {
  std::string packed = SzddLiterals(SampleBytes(5000, 9, true));
  packed.resize(packed.size() / 2);
  Put("C:\\MEDIA\\C.DL_", packed);
  EXPECT_EQ(ExpCopy(m.ctx(), "C:\\MEDIA\\", "C:\\DEST\\", "C.DLL", "C.DL_", 0),
            0);
  EXPECT_FALSE(Exists("C:\\DEST\\C.DLL"));
  // Every handle the copy opened was closed again.
  OFSTRUCT of{};
  const INT h = os.LZOpenFileA("C:\\MEDIA\\C.DL_", &of, OF_READ);
  EXPECT_EQ(h, 0x400);
  os.LZClose(h);
}

TEST_F(ExpCopyTest, ExportToleratesNullArguments) {
  m.BindExports();
  EXPECT_EQ(::ExpCopy(nullptr, nullptr, nullptr, nullptr, 0), 0);
  Put("C:\\MEDIA\\E.TXT", "via export");
  EXPECT_EQ(::ExpCopy("C:\\MEDIA\\", "C:\\DEST\\", "E.TXT", "e.txt", 2), 1);
  EXPECT_EQ(Get("C:\\DEST\\E.TXT"), "via export");
}

}  // namespace
}  // namespace kv::test
