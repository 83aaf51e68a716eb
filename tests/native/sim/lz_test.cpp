// The simulated machine's LZ expansion against Debian's mscompress/msexpand
// and against hand-made SZDD images: byte-exact results, Windows' handle
// rules and error codes, and no crash, endless loop or over-read on damaged
// input.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/szdd.h"
#include "tests/native/support/sim_fixture.h"
#include "tests/native/support/staging_support.h"

namespace kv::test {
namespace {

class LzTest : public ::testing::Test {
 protected:
  SimMachine m{sim::WindowsVersion::XP};
  sim::SimPlatform& os = m.os();

  std::string Host(const std::string& win) { return os.HostPath(win); }

  // Expands C:\LZ\<name> into C:\LZ\OUT through the machine's lz32 calls;
  // the LZCopy result.
  LONG Expand(const std::string& name) {
    OFSTRUCT a{}, b{};
    const INT src = os.LZOpenFileA(("C:\\LZ\\" + name).c_str(), &a, OF_READ);
    if (src < 0) return src;
    const INT dst = os.LZOpenFileA("C:\\LZ\\OUT", &b, OF_CREATE);
    const LONG r = os.LZCopy(src, dst);
    os.LZClose(src);
    os.LZClose(dst);
    return r;
  }
};

TEST_F(LzTest, MatchesMscompressAndMsexpandByteForByte) {
  if (!HaveTool("mscompress") || !HaveTool("msexpand"))
    GTEST_SKIP() << "mscompress/msexpand not installed";
  struct Sample {
    const char* name;
    std::string bytes;
  };
  const Sample samples[] = {
      {"EMPTY.TXT", ""},
      // mscompress mangles files under 16 bytes; shorter ones are covered
      // by the literal-only images below.
      {"SIXTEEN.BIN", "0123456789abcdef"},
      {"TEXT.INF", SampleBytes(70000, 1, true)},
      {"BINARY.DLL", SampleBytes(150000, 2, false)},
      {"SPACES.DAT", std::string(9000, ' ')},  // matches the window's fill
      {"RUN.DAT", std::string(5000, 'A') + SampleBytes(3000, 3, false)},
  };
  for (const auto& s : samples) {
    SCOPED_TRACE(s.name);
    const std::string plain = Host(std::string("C:\\LZ\\") + s.name);
    WriteHost(plain, s.bytes);
    ASSERT_TRUE(MsCompress(plain));
    const std::string packed = ReadHost(plain + "_");
    const std::string expanded = Host("C:\\LZ\\MSEXPAND.OUT");
    const std::string cmd =
        "msexpand < '" + plain + "_' > '" + expanded + "' 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    // msexpand writes one zero byte for an empty file; otherwise it must
    // give back the original, or the sample proves nothing.
    if (!s.bytes.empty()) {
      ASSERT_TRUE(ReadHost(expanded) == s.bytes);
    }

    EXPECT_EQ(Expand(std::string(s.name) + "_"),
              static_cast<LONG>(s.bytes.size()));
    EXPECT_TRUE(ReadHost(Host("C:\\LZ\\OUT")) == s.bytes);

    // The in-memory expander gives the same bytes.
    std::string viaImage;
    ASSERT_TRUE(szdd::ExpandImage(
        reinterpret_cast<const unsigned char*>(packed.data()), packed.size(),
        [&](const unsigned char* d, size_t n) {
          viaImage.append(reinterpret_cast<const char*>(d), n);
        }));
    EXPECT_TRUE(viaImage == s.bytes);
  }
}

TEST_F(LzTest, ShortCompressedFilesExpand) {
  for (size_t n = 0; n <= 20; ++n) {
    const std::string data = SampleBytes(n, static_cast<unsigned>(n), false);
    WriteHost(Host("C:\\LZ\\S.DA_"), SzddLiterals(data));
    EXPECT_EQ(Expand("S.DA_"), static_cast<LONG>(n));
    EXPECT_TRUE(ReadHost(Host("C:\\LZ\\OUT")) == data) << n;
  }
}

TEST_F(LzTest, PlainFilesAreCopiedUnchanged) {
  for (const std::string& bytes :
       {std::string(), std::string("SZD"), std::string("SZDD\x88\xF0\x27", 7),
        std::string("not compressed at all"), SampleBytes(200000, 4, false)}) {
    WriteHost(Host("C:\\LZ\\PLAIN.TXT"), bytes);
    EXPECT_EQ(Expand("PLAIN.TXT"), static_cast<LONG>(bytes.size()));
    EXPECT_TRUE(ReadHost(Host("C:\\LZ\\OUT")) == bytes);
  }
}

TEST_F(LzTest, CompressedHandlesAreLzHandlesPlainOnesFileHandles) {
  WriteHost(Host("C:\\LZ\\A.TX_"), SzddLiterals("compressed"));
  WriteHost(Host("C:\\LZ\\B.TXT"), "plain");
  OFSTRUCT of{};
  const INT lz = os.LZOpenFileA("C:\\LZ\\A.TX_", &of, OF_READ);
  const INT plain = os.LZOpenFileA("C:\\LZ\\B.TXT", &of, OF_READ);
  EXPECT_GE(lz, 0x400);
  EXPECT_LT(lz, 0x410);
  EXPECT_GT(plain, 0);
  EXPECT_FALSE(plain >= 0x400 && plain < 0x410);
  os.LZClose(lz);
  os.LZClose(plain);
}

TEST_F(LzTest, MissingNameFallsBackToTheCompressedName) {
  // As lz32 does: DRV.DLL -> DRV.DL_, NOTE.TX -> NOTE.TX_, README -> README._
  const struct {
    const char* asked;
    const char* stored;
  } cases[] = {
      {"DRV.DLL", "DRV.DL_"}, {"NOTE.TX", "NOTE.TX_"}, {"README", "README._"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.asked);
    WriteHost(Host(std::string("C:\\LZ\\") + c.stored), SzddLiterals(c.asked));
    EXPECT_EQ(Expand(c.asked), static_cast<LONG>(std::strlen(c.asked)));
    EXPECT_EQ(ReadHost(Host("C:\\LZ\\OUT")), c.asked);
  }
  OFSTRUCT of{};
  EXPECT_EQ(os.LZOpenFileA("C:\\LZ\\NONE.DLL", &of, OF_READ), -1);
  EXPECT_EQ(of.nErrCode, ERROR_FILE_NOT_FOUND);
}

TEST_F(LzTest, ErrorResultsAreWindows) {
  WriteHost(Host("C:\\LZ\\A.TX_"), SzddLiterals("some text"));
  WriteHost(Host("C:\\LZ\\ALG.TX_"), std::string("SZDD\x88\xF0\x27\x33"
                                                 "B\0\x05\0\0\0abcde",
                                                 19));
  OFSTRUCT of{};
  EXPECT_EQ(os.LZOpenFileA("C:\\LZ\\ALG.TX_", &of, OF_READ),
            LZERROR_UNKNOWNALG);

  const INT src = os.LZOpenFileA("C:\\LZ\\A.TX_", &of, OF_READ);
  ASSERT_GE(src, 0);
  EXPECT_EQ(os.LZCopy(0x40F, 0x1234),
            LZERROR_BADINHANDLE);  // no such LZ handle
  EXPECT_EQ(os.LZCopy(-1, 0x1234), LZERROR_BADINHANDLE);
  EXPECT_EQ(os.LZCopy(src, -1), LZERROR_BADOUTHANDLE);
  EXPECT_EQ(os.LZCopy(src, 0x7FFF0000), LZERROR_BADOUTHANDLE);
  // A destination open only for reading refuses the bytes.
  WriteHost(Host("C:\\LZ\\RO.OUT"), "");
  const INT readOnly = os.LZOpenFileA("C:\\LZ\\RO.OUT", &of, OF_READ);
  ASSERT_GT(readOnly, 0);
  EXPECT_EQ(os.LZCopy(src, readOnly), LZERROR_WRITE);
  os.LZClose(readOnly);
  os.LZClose(src);

  // Reading goes through OpenFile's 128-byte buffer; creating does not.
  const std::string dir = "C:\\" + std::string(120, 'D');
  WriteHost(Host(dir + "\\LONGNAME.TXT"), "x");
  EXPECT_EQ(os.LZOpenFileA((dir + "\\LONGNAME.TXT").c_str(), &of, OF_READ), -1);
  const INT created =
      os.LZOpenFileA((dir + "\\NEW.TXT").c_str(), &of, OF_CREATE);
  EXPECT_GT(created, 0);
  os.LZClose(created);
}

TEST_F(LzTest, TruncatedInputIsAReadErrorAtEveryCut) {
  const std::string data = SampleBytes(3000, 5, true);
  std::string packed = SzddLiterals(data);
  if (HaveTool("mscompress")) {
    const std::string plain = Host("C:\\LZ\\REAL.TXT");
    WriteHost(plain, data);
    ASSERT_TRUE(MsCompress(plain));
    packed = ReadHost(plain + "_");  // with references, not only literals
  }
  for (size_t cut = 14; cut < packed.size(); cut += 7) {
    SCOPED_TRACE(cut);
    WriteHost(Host("C:\\LZ\\CUT.TX_"), packed.substr(0, cut));
    EXPECT_EQ(Expand("CUT.TX_"), LZERROR_READ);
    EXPECT_LT(ReadHost(Host("C:\\LZ\\OUT")).size(), data.size());
  }
  // A header that claims far more than the data holds.
  WriteHost(Host("C:\\LZ\\BIG.TX_"), SzddLiterals("abc", 0xFFFFFFF0u));
  EXPECT_EQ(Expand("BIG.TX_"), LZERROR_READ);
  EXPECT_EQ(ReadHost(Host("C:\\LZ\\OUT")), "abc");
}

TEST_F(LzTest, CorruptDataNeverRunsPastTheDeclaredLength) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    std::string packed = SzddLiterals(SampleBytes(400, round, round % 2));
    for (int flips = 0; flips < 6; ++flips)
      packed[14 + rng() % (packed.size() - 14)] = static_cast<char>(rng());
    const uint32_t declared = 1 + rng() % 1000;
    for (int i = 0; i < 4; ++i)
      packed[10 + i] = static_cast<char>(declared >> (8 * i));
    size_t out = 0;
    const bool ok = szdd::ExpandImage(
        reinterpret_cast<const unsigned char*>(packed.data()), packed.size(),
        [&](const unsigned char*, size_t n) { out += n; });
    EXPECT_LE(out, declared);
    if (ok) {
      EXPECT_EQ(out, declared);
    }
  }
}

TEST_F(LzTest, ASecondCopyOfTheSameHandleFindsItsEnd) {
  WriteHost(Host("C:\\LZ\\A.TX_"), SzddLiterals("once"));
  OFSTRUCT of{};
  const INT src = os.LZOpenFileA("C:\\LZ\\A.TX_", &of, OF_READ);
  const INT d1 = os.LZOpenFileA("C:\\LZ\\O1", &of, OF_CREATE);
  const INT d2 = os.LZOpenFileA("C:\\LZ\\O2", &of, OF_CREATE);
  EXPECT_EQ(os.LZCopy(src, d1), 4);
  EXPECT_EQ(os.LZCopy(src, d2), 0);
  for (INT h : {src, d1, d2}) os.LZClose(h);
}

}  // namespace
}  // namespace kv::test
