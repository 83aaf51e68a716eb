// The script language of kvsup-host: one export call or host command per line.
//
//   # a comment; blank lines are skipped
//   InstallPrinterMonitor("C:\\kvmedia\\kv.sii")
//   GetPrinterDriverName("KV 100", "LPT1:", buf(128))
//   CreateTimerThread(hwnd(1), 1001, 0, 5)
//   !copy "medium/kv.sii" "C:\\kvmedia\\kv.sii"
//
// Arguments: integers (decimal, negative, 0x hex), "strings" (escapes \\ \"
// \n \r \t \xNN), null, buf(N) (an output buffer of N zero bytes), buf(N,
// "text") (a buffer holding text), hwnd(N) (window N of the host; hwnd(0) is
// none). Lines beginning with '!' are commands of the host itself, never
// exports.
//
// Parsing only checks the syntax; whether the arguments suit the export is
// decided against the export table (export_table.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kv::host {

struct Arg {
  enum class Kind { Integer, String, Null, Buffer, Window };
  Kind kind = Kind::Integer;
  long long integer = 0;  // Integer; Buffer: size; Window: number
  std::string text;       // String; Buffer: initial text
  bool hasText = false;   // Buffer written as buf(N, "text")
  std::string source;     // as written, for messages
};

struct Line {
  enum class Kind { Empty, Call, Command };
  Kind kind = Kind::Empty;
  std::string name;  // export or host command (without '!')
  std::vector<Arg> args;
  std::string source;  // the statement as written, comment and blanks cut
};

// Largest buf(N) the host hands out.
constexpr long long kMaxBufferSize = 1 << 20;

// Parses one line. False with `error` set (a sentence naming what is wrong
// and where) when the line is malformed.
bool ParseLine(const std::string& text, Line* line, std::string* error);

// A short name of an argument kind: "integer", "string", ...
const char* ArgKindName(Arg::Kind kind);

// `text` as a double-quoted script string, escaped so that it reads back.
std::string QuoteText(const std::string& text);

}  // namespace kv::host
