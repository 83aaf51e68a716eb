// Text that came from a file, the registry or a machine, made fit for a
// reader's terminal: every control byte (C0 and DEL) is written as \n, \r,
// \t or \xHH, so no escape sequence or line break of someone else's reaches
// the screen or starts a line of its own in a report. Bytes of 0x80 and up
// pass as they are: they are the code page's text. Every report, trace and
// load message of the hosts prints such text through this one function.
#pragma once

#include <cstdio>
#include <string>

namespace kv {

// `text` with its control bytes escaped. With `quoted`, a backslash and a
// quote are escaped too and the whole is put in quotes, so the text reads
// back unambiguously.
inline std::string PrintableText(const std::string& text, bool quoted = false) {
  std::string out = quoted ? "\"" : "";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (quoted && (c == '\\' || c == '"')) {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20 || u == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", u);
      out += hex;
    } else {
      out += c;
    }
  }
  if (quoted) out += '"';
  return out;
}

}  // namespace kv
