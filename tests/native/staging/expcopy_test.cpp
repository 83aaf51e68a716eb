// ExpCopy and DefineFileName on the simulated machine.
#include "staging/expcopy.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <map>

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

// The folder a copy reads from, spelled another way: a copy onto itself
// must leave the file alone and answer 0. Both the expansion and the staging
// copy of a long source, on a 9x and an NT machine.
TEST(ExpCopySelf, SameFileSpelledOtherwiseIsLeftAlone) {
  using Spell = std::string (*)(const std::string&);
  const struct {
    const char* name;
    Spell spell;  // of a folder "C:\...\" ending in a backslash
  } spellings[] = {
      {"as given", [](const std::string& d) { return d; }},
      {"other case",
       [](const std::string& d) {
         std::string out = d;
         for (char& c : out) c = static_cast<char>(std::tolower(c));
         return out;
       }},
      {"dot", [](const std::string& d) { return d + ".\\"; }},
      {"dot-dot", [](const std::string& d) { return d + "SUB\\..\\"; }},
      {"doubled",
       [](const std::string& d) {
         std::string out;
         for (char c : d) out += c == '\\' ? "\\\\" : std::string(1, c);
         return out;
       }},
      {"forward",
       [](const std::string& d) {
         std::string out = d;
         for (char& c : out)
           if (c == '\\') c = '/';
         return out;
       }},
      {"root-relative", [](const std::string& d) { return d.substr(2); }},
  };
  const std::string staging = "C:\\WINDOWS\\TEMP\\KorvaInstallTmp\\";
  for (auto v : {sim::WindowsVersion::Win98, sim::WindowsVersion::XP}) {
    SimMachine m(v);
    sim::SimPlatform& os = m.os();
    const std::string packed = SzddLiterals("driver");
    WriteHost(os.HostPath("C:\\MEDIA\\DRV.DLL"), packed);
    WriteHost(os.HostPath(staging + "STG.DLL"), packed);
    for (const auto& s : spellings) {
      SCOPED_TRACE(s.name);
      // Destination spelled otherwise, then source spelled otherwise.
      for (bool destSpelled : {true, false}) {
        const std::string src =
            destSpelled ? "C:\\MEDIA\\" : s.spell("C:\\MEDIA\\");
        const std::string dst =
            destSpelled ? s.spell("C:\\MEDIA\\") : "C:\\MEDIA\\";
        os.SetLastError(kStaleError);
        EXPECT_EQ(ExpCopy(m.ctx(), src, dst, "DRV.DLL", "DRV.DLL", 0), 0);
        EXPECT_EQ(os.GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
      }
      // A long spelling of the staging folder: the staging copy would be
      // made onto the medium's file.
      std::string longDir = s.spell(staging);
      while (longDir.size() <= 100) longDir += ".\\";
      os.SetLastError(kStaleError);
      EXPECT_EQ(ExpCopy(m.ctx(), longDir, "C:\\", "STG.DLL", "STG.DLL", 0), 0);
      EXPECT_EQ(os.GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
      EXPECT_FALSE(std::filesystem::exists(os.HostPath("C:\\STG.DLL")));
    }
    EXPECT_EQ(ReadHost(os.HostPath("C:\\MEDIA\\DRV.DLL")), packed);
    EXPECT_EQ(ReadHost(os.HostPath(staging + "STG.DLL")), packed);
    EXPECT_EQ(TreeListing(os.HostPath("C:\\MEDIA")),
              std::set<std::string>{"DRV.DLL"});
  }
}

// A staged copy left by an earlier medium is never expanded in place of a
// file the current medium cannot give: the call answers 0, the destination
// stays, and the stale copy is gone.
TEST_F(ExpCopyTest, StaleStagedCopyIsNeverInstalled) {
  const std::string staged = "C:\\WINDOWS\\TEMP\\KorvaInstallTmp\\S.DL_";
  const std::string dir = "C:\\" + std::string(100, 'm') + "\\";
  const struct {
    const char* name;
    bool onMedium;
    const char* failing;  // operation made to fail, or null
    bool stagedReadOnly;
    int result;
  } cases[] = {
      {"missing on the medium", false, nullptr, false, 0},
      {"staging copy fails", true, "CopyFileA", false, 0},
      {"stale copy read-only", true, nullptr, true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Put(staged, SzddLiterals("earlier medium"));
    os.SetFileAttributesA(staged.c_str(), c.stagedReadOnly
                                              ? FILE_ATTRIBUTE_READONLY
                                              : FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove(Host(dir + "S.DL_"));
    if (c.onMedium) Put(dir + "S.DL_", SzddLiterals("this medium"));
    Put("C:\\DEST\\S.DLL", "installed before");
    if (c.failing) os.FailOperation(c.failing, ERROR_HANDLE_DISK_FULL);
    EXPECT_EQ(ExpCopy(m.ctx(), dir, "C:\\DEST\\", "S.DLL", "S.DL_", 0),
              c.result);
    EXPECT_EQ(Get("C:\\DEST\\S.DLL"),
              c.result ? "this medium" : "installed before");
    EXPECT_EQ(Exists(staged), c.result == 1);
    os.ClearFailures();
  }
}

// A read or write that fails anywhere in the expansion, or a step of putting
// the new file in place, leaves the destination exactly as it was (or
// absent) and answers 0; nothing half-written stays beside it. Every
// occurrence of each operation is failed in turn, over a plain and a
// compressed file of several chunks, with and without an old destination.
TEST_F(ExpCopyTest, FailureMidExpansionLeavesTheDestinationAsItWas) {
  const std::string data = SampleBytes(150000, 5, false);
  const std::string longDir = "C:\\" + std::string(100, 'l') + "\\";
  Put("C:\\MEDIA\\BIG.DL_", SzddLiterals(data));
  Put("C:\\MEDIA\\BIG.BIN", data);
  Put(longDir + "BIG.DL_", SzddLiterals(data));
  const struct {
    const char* name;
    std::string dir, file, listed;
  } sources[] = {
      {"compressed", "C:\\MEDIA\\", "BIG.DLL", "BIG.DL_"},
      {"plain", "C:\\MEDIA\\", "BIG.BIN", "BIG.BIN"},
      {"staged", longDir, "BIG.DLL", "BIG.DL_"},
  };
  const char* const operations[] = {"LZOpenFileA", "LZCopy",    "ReadFile",
                                    "WriteFile",   "MoveFileA", "CopyFileA"};
  for (const auto& src : sources) {
    for (bool oldDest : {true, false}) {
      const std::string dest = "C:\\DEST\\" + src.file;
      auto reset = [&] {
        std::filesystem::remove_all(Host("C:\\DEST"));
        os.CreateDirectoryA("C:\\DEST", nullptr);
        if (oldDest) Put(dest, "old");
      };
      reset();
      os.ClearOperations();
      ASSERT_EQ(
          ExpCopy(m.ctx(), src.dir, "C:\\DEST\\", src.file, src.listed, 0), 1);
      std::map<std::string, size_t> calls;
      for (const char* op : operations) calls[op] = os.CountOperations(op);
      for (const char* op : operations) {
        int failed = 0;
        for (size_t k = 0; k < calls[op]; ++k) {
          SCOPED_TRACE(std::string(src.name) +
                       (oldDest ? ", old dest, " : ", new dest, ") + op + " #" +
                       std::to_string(k));
          reset();
          os.FailOperation(op, ERROR_HANDLE_DISK_FULL, static_cast<int>(k));
          const int result =
              ExpCopy(m.ctx(), src.dir, "C:\\DEST\\", src.file, src.listed, 0);
          os.ClearFailures();
          failed += result == 0;
          if (result == 1) {
            EXPECT_TRUE(Get(dest) == data);
          } else if (oldDest) {
            EXPECT_EQ(Get(dest), "old");
          } else {
            EXPECT_FALSE(Exists(dest));
          }
          // Nothing but the destination is left in its folder.
          EXPECT_EQ(TreeListing(Host("C:\\DEST")).size(),
                    result == 1 || oldDest ? 1u : 0u);
        }
        // Each operation the expansion or the replacement needs fails it.
        if (std::string(op) != "CopyFileA" || src.dir == longDir) {
          EXPECT_GT(failed, 0) << src.name << " " << op;
        }
      }
    }
  }
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
