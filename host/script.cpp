#include "host/script.h"

#include <cctype>
#include <climits>
#include <cstdio>

#include "foundation/printable.h"

namespace kv::host {
namespace {

bool IsIdentStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool IsIdentChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A cursor over one line; every failure leaves a message naming the column.
class Lexer {
 public:
  explicit Lexer(const std::string& text) : s_(text) {}

  size_t pos() const { return p_; }
  bool AtEnd() const { return p_ >= s_.size(); }
  char Peek() const { return AtEnd() ? '\0' : s_[p_]; }
  void SkipBlanks() {
    while (!AtEnd() && (s_[p_] == ' ' || s_[p_] == '\t' || s_[p_] == '\r'))
      ++p_;
  }
  // Blanks, then a comment or the end of the line.
  bool AtStatementEnd() {
    SkipBlanks();
    return AtEnd() || Peek() == '#';
  }
  bool Accept(char c) {
    SkipBlanks();
    if (Peek() != c) return false;
    ++p_;
    return true;
  }
  bool Expect(char c, const char* what) {
    if (Accept(c)) return true;
    return Fail(std::string("expected ") + what);
  }
  std::string Identifier() {
    SkipBlanks();
    size_t start = p_;
    if (!IsIdentStart(Peek())) return std::string();
    while (!AtEnd() && IsIdentChar(s_[p_])) ++p_;
    return s_.substr(start, p_ - start);
  }

  bool Integer(long long* out) {
    SkipBlanks();
    size_t start = p_;
    bool negative = Accept('-');
    bool hex = false;
    if (Peek() == '0' && p_ + 1 < s_.size() &&
        (s_[p_ + 1] == 'x' || s_[p_ + 1] == 'X')) {
      hex = true;
      p_ += 2;
    }
    unsigned long long value = 0;
    int digits = 0;
    const unsigned long long limit =
        negative ? static_cast<unsigned long long>(LLONG_MAX) + 1 : ULLONG_MAX;
    for (;; ++digits, ++p_) {
      int d =
          hex ? HexDigit(Peek())
              : (std::isdigit(static_cast<unsigned char>(Peek())) ? Peek() - '0'
                                                                  : -1);
      if (d < 0) break;
      unsigned base = hex ? 16 : 10;
      if (value > (limit - d) / base) {
        p_ = start;
        return Fail("integer out of range");
      }
      value = value * base + d;
    }
    if (digits == 0) {
      p_ = start;
      return Fail("expected an integer");
    }
    if (IsIdentChar(Peek())) return Fail("junk after integer");
    if (negative) {
      *out = value == static_cast<unsigned long long>(LLONG_MAX) + 1
                 ? LLONG_MIN
                 : -static_cast<long long>(value);
    } else if (value > static_cast<unsigned long long>(LLONG_MAX)) {
      // 0xFFFFFFFFFFFFFFFF and the like: kept as the same 64-bit pattern.
      *out = static_cast<long long>(value - LLONG_MAX - 1) + LLONG_MIN;
    } else {
      *out = static_cast<long long>(value);
    }
    return true;
  }

  bool String(std::string* out) {
    SkipBlanks();
    size_t start = p_;
    if (!Accept('"')) return Fail("expected a string");
    out->clear();
    while (true) {
      if (AtEnd()) {
        p_ = start;
        return Fail("unterminated string");
      }
      char c = s_[p_++];
      if (c == '"') break;
      if (c != '\\') {
        out->push_back(c);
        continue;
      }
      char e = Peek();
      ++p_;
      switch (e) {
        case '\\':
          out->push_back('\\');
          break;
        case '"':
          out->push_back('"');
          break;
        case 'n':
          out->push_back('\n');
          break;
        case 'r':
          out->push_back('\r');
          break;
        case 't':
          out->push_back('\t');
          break;
        case 'x': {
          int hi = HexDigit(Peek());
          int lo = hi < 0 ? -1 : HexDigit(p_ + 1 < s_.size() ? s_[p_ + 1] : 0);
          if (lo < 0) {
            p_ -= 2;
            return Fail("\\x needs two hexadecimal digits");
          }
          if (hi == 0 && lo == 0) {
            p_ -= 2;
            return Fail("\\x00 would end the string early");
          }
          out->push_back(static_cast<char>(hi * 16 + lo));
          p_ += 2;
          break;
        }
        default:
          p_ -= 2;
          if (e == '\0') return Fail("unterminated string");
          return Fail(std::string("unknown escape \\") + e +
                      " (write \\\\ for a backslash)");
      }
    }
    return true;
  }

  bool Fail(const std::string& what) {
    if (error_.empty()) {
      error_ = what + " at column " + std::to_string(p_ + 1);
    }
    return false;
  }
  const std::string& error() const { return error_; }
  std::string Slice(size_t from, size_t to) const {
    return s_.substr(from, to - from);
  }

 private:
  const std::string& s_;
  size_t p_ = 0;
  std::string error_;
};

bool ParseArg(Lexer& lx, Arg* arg) {
  lx.SkipBlanks();
  size_t start = lx.pos();
  char c = lx.Peek();
  if (c == '"') {
    arg->kind = Arg::Kind::String;
    if (!lx.String(&arg->text)) return false;
  } else if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
    arg->kind = Arg::Kind::Integer;
    if (!lx.Integer(&arg->integer)) return false;
  } else if (IsIdentStart(c)) {
    std::string word = lx.Identifier();
    if (word == "null") {
      arg->kind = Arg::Kind::Null;
    } else if (word == "buf") {
      arg->kind = Arg::Kind::Buffer;
      if (!lx.Expect('(', "'(' after buf")) return false;
      if (!lx.Integer(&arg->integer)) return false;
      if (arg->integer < 1 || arg->integer > kMaxBufferSize) {
        return lx.Fail("buffer size must be 1 to " +
                       std::to_string(kMaxBufferSize));
      }
      if (lx.Accept(',')) {
        if (!lx.String(&arg->text)) return false;
        arg->hasText = true;
        if (static_cast<long long>(arg->text.size()) >= arg->integer) {
          return lx.Fail("initial text of " + std::to_string(arg->text.size()) +
                         " characters does not fit buf(" +
                         std::to_string(arg->integer) + ")");
        }
      }
      if (!lx.Expect(')', "')' to close buf(")) return false;
    } else if (word == "hwnd") {
      arg->kind = Arg::Kind::Window;
      if (!lx.Expect('(', "'(' after hwnd")) return false;
      if (!lx.Integer(&arg->integer)) return false;
      if (arg->integer < 0 || arg->integer > 0xFFFF) {
        return lx.Fail("window number must be 0 to 65535");
      }
      if (!lx.Expect(')', "')' to close hwnd(")) return false;
    } else {
      return lx.Fail("unknown argument word \"" + word +
                     "\" (use a number, a \"string\", null, buf(N) or "
                     "hwnd(N))");
    }
  } else {
    return lx.Fail("expected an argument");
  }
  arg->source = lx.Slice(start, lx.pos());
  return true;
}

bool ParseCall(Lexer& lx, Line* line) {
  line->kind = Line::Kind::Call;
  line->name = lx.Identifier();
  if (line->name.empty()) return lx.Fail("expected an export name");
  if (!lx.Expect('(', "'(' after the export name")) return false;
  if (lx.Accept(')')) return true;
  while (true) {
    Arg arg;
    if (!ParseArg(lx, &arg)) return false;
    line->args.push_back(std::move(arg));
    if (lx.Accept(')')) return true;
    if (!lx.Expect(',', "',' or ')'")) return false;
  }
}

// !name arg arg ...: the same argument syntax, separated by blanks.
bool ParseCommand(Lexer& lx, Line* line) {
  line->kind = Line::Kind::Command;
  line->name = lx.Identifier();
  if (line->name.empty()) return lx.Fail("expected a host command after '!'");
  while (!lx.AtStatementEnd()) {
    Arg arg;
    if (!ParseArg(lx, &arg)) return false;
    line->args.push_back(std::move(arg));
  }
  return true;
}

}  // namespace

bool ParseLine(const std::string& text, Line* line, std::string* error) {
  *line = Line();
  Lexer lx(text);
  if (lx.AtStatementEnd()) return true;
  size_t start = lx.pos();
  bool ok = lx.Accept('!') ? ParseCommand(lx, line) : ParseCall(lx, line);
  if (ok && !lx.AtStatementEnd()) ok = lx.Fail("junk after the statement");
  if (!ok) {
    *error = lx.error();
    *line = Line();
    return false;
  }
  line->source = lx.Slice(start, lx.pos());
  while (!line->source.empty() &&
         (line->source.back() == ' ' || line->source.back() == '\t' ||
          line->source.back() == '\r')) {
    line->source.pop_back();
  }
  return true;
}

const char* ArgKindName(Arg::Kind kind) {
  switch (kind) {
    case Arg::Kind::Integer:
      return "integer";
    case Arg::Kind::String:
      return "string";
    case Arg::Kind::Null:
      return "null";
    case Arg::Kind::Buffer:
      return "buffer";
    case Arg::Kind::Window:
      return "window";
  }
  return "?";
}

std::string QuoteText(const std::string& text) {
  return PrintableText(text, true);
}

}  // namespace kv::host
