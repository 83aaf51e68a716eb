#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "host/script.h"

namespace kv::host {
namespace {

using K = Arg::Kind;

struct Expected {
  K kind;
  long long integer;
  std::string text;
};

struct ValidCase {
  const char* line;
  Line::Kind kind;
  const char* name;
  std::vector<Expected> args;
};

TEST(ParseLine, AcceptsEveryArgumentKind) {
  const std::vector<ValidCase> cases = {
      {"", Line::Kind::Empty, "", {}},
      {"   # only a comment", Line::Kind::Empty, "", {}},
      {"IsWinMe()", Line::Kind::Call, "IsWinMe", {}},
      {"  IsWinMe ( )  # probe", Line::Kind::Call, "IsWinMe", {}},
      {"F(0, -1, 42, 0x7fffFFFF, 0XFF)",
       Line::Kind::Call,
       "F",
       {{K::Integer, 0, ""},
        {K::Integer, -1, ""},
        {K::Integer, 42, ""},
        {K::Integer, 0x7FFFFFFF, ""},
        {K::Integer, 255, ""}}},
      {"F(-9223372036854775808, 0xFFFFFFFFFFFFFFFF)",
       Line::Kind::Call,
       "F",
       {{K::Integer, LLONG_MIN, ""}, {K::Integer, -1, ""}}},
      {R"(F("C:\\kvmedia\\kv.sii", "say \"hi\"", "#not a comment", ""))",
       Line::Kind::Call,
       "F",
       {{K::String, 0, "C:\\kvmedia\\kv.sii"},
        {K::String, 0, "say \"hi\""},
        {K::String, 0, "#not a comment"},
        {K::String, 0, ""}}},
      {R"(F("a\tb\nc\r", "\x82\xA0"))",
       Line::Kind::Call,
       "F",
       {{K::String, 0, "a\tb\nc\r"}, {K::String, 0, "\x82\xA0"}}},
      {R"(GetPrinterDriverName("KV 100", "LPT1:", buf(128)))",
       Line::Kind::Call,
       "GetPrinterDriverName",
       {{K::String, 0, "KV 100"},
        {K::String, 0, "LPT1:"},
        {K::Buffer, 128, ""}}},
      {R"(F(buf( 4 , "abc" ), buf(1), null))",
       Line::Kind::Call,
       "F",
       {{K::Buffer, 4, "abc"}, {K::Buffer, 1, ""}, {K::Null, 0, ""}}},
      {"CreateTimerThread(hwnd(1), 1001, 0, 5)",
       Line::Kind::Call,
       "CreateTimerThread",
       {{K::Window, 1, ""},
        {K::Integer, 1001, ""},
        {K::Integer, 0, ""},
        {K::Integer, 5, ""}}},
      {R"(!copy "medium" "C:\\kvmedia")",
       Line::Kind::Command,
       "copy",
       {{K::String, 0, "medium"}, {K::String, 0, "C:\\kvmedia"}}},
      {"!wait 250 # let the timer fire",
       Line::Kind::Command,
       "wait",
       {{K::Integer, 250, ""}}},
  };
  for (const ValidCase& c : cases) {
    SCOPED_TRACE(c.line);
    Line line;
    std::string error;
    ASSERT_TRUE(ParseLine(c.line, &line, &error)) << error;
    EXPECT_EQ(line.kind, c.kind);
    EXPECT_EQ(line.name, c.name);
    ASSERT_EQ(line.args.size(), c.args.size());
    for (size_t i = 0; i < c.args.size(); ++i) {
      EXPECT_EQ(line.args[i].kind, c.args[i].kind) << "argument " << i + 1;
      EXPECT_EQ(line.args[i].integer, c.args[i].integer)
          << "argument " << i + 1;
      EXPECT_EQ(line.args[i].text, c.args[i].text) << "argument " << i + 1;
    }
  }
}

TEST(ParseLine, KeepsTheStatementWithoutCommentForEcho) {
  Line line;
  std::string error;
  ASSERT_TRUE(ParseLine(R"(  MakeDep("a#b")   # the driver)", &line, &error));
  EXPECT_EQ(line.source, R"(MakeDep("a#b"))");
  EXPECT_TRUE(line.args[0].hasText == false);
  ASSERT_TRUE(ParseLine(R"(F(buf(8, "x")))", &line, &error));
  EXPECT_TRUE(line.args[0].hasText);
  EXPECT_EQ(line.args[0].source, R"(buf(8, "x"))");
}

TEST(ParseLine, RefusesMalformedLinesWithAReason) {
  const struct {
    const char* line;
    const char* error;
  } cases[] = {
      {R"(F("open)", "unterminated string"},
      {"F(\"ends in backslash\\", "unterminated string"},
      {"F(\"a\\)\")", "unknown escape \\)"},
      {R"(F("C:\kv"))", "unknown escape \\k"},
      {R"(F("\x4"))", "\\x needs two hexadecimal digits"},
      {R"(F("a\x00b"))", "\\x00"},
      {"F(1) junk", "junk after the statement"},
      {"F(1);", "junk after the statement"},
      {"F(1", "expected ',' or ')'"},
      {"F(1,)", "expected an argument"},
      {"F(1 2)", "expected ',' or ')'"},
      {"F", "expected '(' after the export name"},
      {"3F()", "expected an export name"},
      {"F(12abc)", "junk after integer"},
      {"F(0x)", "expected an integer"},
      {"F(-)", "expected an integer"},
      {"F(18446744073709551616)", "integer out of range"},
      {"F(-9223372036854775809)", "integer out of range"},
      {"F(buf(0))", "buffer size must be 1 to"},
      {"F(buf(1048577))", "buffer size must be 1 to"},
      {"F(buf(-1))", "buffer size must be 1 to"},
      {R"(F(buf(3, "abc")))", "does not fit buf(3)"},
      {"F(buf 8)", "expected '(' after buf"},
      {"F(buf(8)", "expected ',' or ')'"},
      {"F(hwnd(65536))", "window number must be 0 to 65535"},
      {"F(hwnd(-1))", "window number must be 0 to 65535"},
      {"F(NULL)", "unknown argument word \"NULL\""},
      {"F(window)", "unknown argument word"},
      {"!", "expected a host command"},
      {"!copy \"a\" \"b", "unterminated string"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    Line line;
    std::string error;
    EXPECT_FALSE(ParseLine(c.line, &line, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_NE(error.find("at column"), std::string::npos) << error;
    EXPECT_EQ(line.kind, Line::Kind::Empty);  // nothing half-parsed remains
    EXPECT_TRUE(line.args.empty());
  }
}

TEST(QuoteText, ReadsBackThroughTheParser) {
  const std::string samples[] = {"",        "plain",         "C:\\dir\\f.sii",
                                 "q\"q",    "tab\tnl\ncr\r", "\x01\x7F",
                                 "\x82\xA0"};
  for (const std::string& s : samples) {
    Line line;
    std::string error;
    ASSERT_TRUE(ParseLine("F(" + QuoteText(s) + ")", &line, &error)) << error;
    EXPECT_EQ(line.args.at(0).text, s);
  }
}

}  // namespace
}  // namespace kv::host
