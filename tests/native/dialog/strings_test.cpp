// The installer script's string operations, through the exports (which the
// script calls) and, for the limits, the operations themselves.
#include "dialog/strings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "exports/dialog_exports.h"

namespace {

struct CmpCase {
  const char* a;
  const char* b;
  int expected;
};

TEST(StrCmp, ComparesBytesAsUnsigned) {
  const CmpCase cases[] = {
      {"abc", "abd", -1}, {"abd", "abc", 1},   {"", "", 0},
      {"abc", "abc", 0},  {"ab", "abc", -1},  // the terminator sorts first
      {"abc", "ab", 1},   {"\xE0", "a", 1},   // 0xE0 above a lower-case letter
      {"a", "\xE0", -1},  {"\x80", "\x7F", 1}, {"\xFF\xFF", "\xFF\xFE", 1},
      {"ABC", "abc", -1},  // case counts
  };
  for (const auto& c : cases)
    EXPECT_EQ(WinSub_StrCmp(c.a, c.b), c.expected) << c.a << " vs " << c.b;
}

TEST(StrCmp, NullReadsAsEmpty) {
  EXPECT_EQ(WinSub_StrCmp(nullptr, nullptr), 0);
  EXPECT_EQ(WinSub_StrCmp(nullptr, "a"), -1);
  EXPECT_EQ(WinSub_StrCmp("a", nullptr), 1);
}

struct FindCase {
  std::string needle;
  std::string text;
  int expected;
  const char* why;
};

TEST(StrFind, FindsWithinTheFirst245Positions) {
  const std::string pad244(244, 'x');
  const std::string pad245(245, 'x');
  const FindCase cases[] = {
      {"LPR", "my lpr port", 1, "case ignored"},
      {"lpr", "MY LPR PORT", 1, "case ignored both ways"},
      {"", "anything", 1, "empty needle"},
      {"", "", 1, "empty needle, empty text"},
      {"a", "", 0, "empty text"},
      {"port", "lp", 0, "text shorter than needle"},
      {"lpt1", "lpt", 0, "text ends inside the needle"},
      {"abc", "ababc", 1, "overlapping start"},
      {"\xC4"
       "b",
       "a\xE4"
       "b",
       0, "bytes above 0x7F are not folded"},
      {"\xE4"
       "B",
       "a\xE4"
       "b",
       1, "bytes above 0x7F match themselves"},
      {"q", pad244 + "q", 1, "start at position 244"},
      {"q", pad245 + "q", 0, "start at position 245"},
      {"qr", pad244 + "qr", 1, "a match may run past position 245"},
      {"x", pad245, 1, "first position"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StrFind(c.needle.c_str(), c.text.c_str()), c.expected) << c.why;
}

TEST(StrFind, NeedleLongerThanTheWindowIsNeverFound) {
  const std::string n244(244, 'n');
  const std::string n245(245, 'n');
  EXPECT_EQ(StrFind(n244.c_str(), n244.c_str()), 1);
  EXPECT_EQ(StrFind(n245.c_str(), n245.c_str()), 0);
  EXPECT_EQ(StrFind(n245.c_str(), (n245 + n245).c_str()), 0);
}

TEST(StrFind, TextLongerThanTheWorkingBufferIsReadInPlace) {
  // 247 characters fit the working buffer; a needle starting at 244 of a
  // longer text runs past it and is still compared against the real text.
  const std::string text =
      std::string(244, '.') + "needle" + std::string(400, '.');
  EXPECT_EQ(StrFind("needle", text.c_str()), 1);
  EXPECT_EQ(StrFind("needles", text.c_str()), 0);
  const std::string huge(1 << 16, 'z');
  EXPECT_EQ(StrFind("a", huge.c_str()), 0);
  EXPECT_EQ(StrFind(std::string(244, 'z').c_str(), huge.c_str()), 1);
}

TEST(StrFind, NullReadsAsEmpty) {
  EXPECT_EQ(StrFind(nullptr, "x"), 1);
  EXPECT_EQ(StrFind("x", nullptr), 0);
}

TEST(StrTopDel, CopiesTheRestAfterCount) {
  struct Case {
    const char* source;
    int count;
    const char* expected;
  } cases[] = {
      {"LPT1:", 3, "1:"}, {"abc", 0, "abc"},  {"abc", 3, ""}, {"abc", 4, ""},
      {"abc", 1000, ""},  {"abc", -2, "abc"}, {"", 0, ""},    {"", 1, ""},
  };
  for (const auto& c : cases) {
    char out[16];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(StrTopDel(out, c.source, c.count), out);
    EXPECT_STREQ(out, c.expected) << c.source << " " << c.count;
    // Nothing written past the copied text and its terminator.
    EXPECT_EQ(out[std::strlen(c.expected) + 1], '#');
  }
}

TEST(StrTopDel, InPlaceAndOverlapping) {
  char text[] = "\\\\server\\queue";
  EXPECT_STREQ(StrTopDel(text, text, 2), "server\\queue");
  EXPECT_EQ(StrTopDel(nullptr, "abc", 1), nullptr);
  char out[4] = "zz";
  EXPECT_STREQ(StrTopDel(out, nullptr, 1), "");
}

TEST(DelSpace, StripsBlanksAtBothEnds) {
  struct Case {
    const char* text;
    const char* expected;
    int result;
  } cases[] = {
      {"  ab c  ", "ab c", 1},
      {"   ", "", 0},
      {"", "", 0},
      {" ", "", 0},
      {"a", "a", 1},
      {"a ", "a", 1},
      {" a", "a", 1},
      {"\tab\t", "\tab\t", 1},
      {" \t ", "\t", 1},
      {"x  y", "x  y", 1},
  };
  for (const auto& c : cases) {
    char buffer[32];
    std::strcpy(buffer, c.text);
    EXPECT_EQ(DelSpace(buffer), c.result) << "[" << c.text << "]";
    EXPECT_STREQ(buffer, c.expected) << "[" << c.text << "]";
  }
  EXPECT_EQ(DelSpace(nullptr), 0);
}

TEST(DelSpace, LongText) {
  std::string text = std::string(5000, ' ') + "x" + std::string(5000, ' ');
  EXPECT_EQ(DelSpace(text.data()), 1);
  EXPECT_STREQ(text.c_str(), "x");
}

TEST(TopStringNum, FirstCharacterIsADigit) {
  EXPECT_EQ(TopStringNum("9 lives"), 1);
  EXPECT_EQ(TopStringNum("0"), 1);
  EXPECT_EQ(TopStringNum(""), 0);
  EXPECT_EQ(TopStringNum(" 1"), 0);
  EXPECT_EQ(TopStringNum("a1"), 0);
  EXPECT_EQ(TopStringNum("/"), 0);  // just below '0'
  EXPECT_EQ(TopStringNum(":"), 0);  // just above '9'
  EXPECT_EQ(TopStringNum("\xB9"), 0);
  EXPECT_EQ(TopStringNum(nullptr), 0);
}

}  // namespace
