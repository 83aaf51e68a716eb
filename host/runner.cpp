#include "host/runner.h"

#include <cstdio>
#include <cstring>
#include <istream>
#include <ostream>

#include "foundation/printable.h"

namespace kv::host {
namespace {

std::string Hex(uintptr_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llX",
                static_cast<unsigned long long>(v));
  return text;
}

bool IsAbsolute(const std::string& path) {
  return (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
         (path.size() > 1 && path[1] == ':');
}

// One refused line: where, why, and the line itself.
void Refuse(std::ostream& err, const RunOptions& options, int number,
            const std::string& text, const std::string& why) {
  err << options.scriptName << ":" << number
      << ": error: " << PrintableText(why) << "; line skipped\n    "
      << PrintableText(text) << "\n";
}

void PrintBuffer(std::ostream& out, size_t index, const ParamInfo& p,
                 const CallArg& a) {
  out << "  buf#" << index + 1 << " = ";
  const char* data = a.buffer.data();
  if (p.text) {
    size_t len = strnlen(data, a.size);
    out << QuoteText(std::string(data, len));
    if (len == a.size) out << " (no terminator within " << a.size << " bytes)";
  } else {
    const size_t shown = a.size < 64 ? a.size : 64;
    out << "hex";
    for (size_t i = 0; i < shown; ++i) {
      char byte[4];
      std::snprintf(byte, sizeof byte, " %02X",
                    static_cast<unsigned char>(data[i]));
      out << byte;
    }
    if (shown < a.size) out << " ... (" << a.size << " bytes)";
  }
  out << "\n";
}

// How many guard bytes after the buffer the call changed (0: none).
size_t OverrunBytes(const CallArg& a) {
  size_t last = 0;
  for (size_t i = 0; i < kGuardSize; ++i) {
    if (static_cast<unsigned char>(a.buffer[a.size + i]) != kGuardByte) {
      last = i + 1;
    }
  }
  return last;
}

struct Command {
  const char* name;
  std::vector<Arg::Kind> args;
  const char* usage;
};

const Command kCommands[] = {
    {"copy",
     {Arg::Kind::String, Arg::Kind::String},
     "!copy \"host path\" \"C:\\\\windows path\""},
    {"wait", {Arg::Kind::Integer}, "!wait milliseconds"},
    {"echo", {Arg::Kind::String}, "!echo \"text\""},
    {"lasterror", {Arg::Kind::Integer}, "!lasterror code"},
    {"restart", {}, "!restart"},
    {"run", {Arg::Kind::String}, "!run \"command line\""},
};

const Command* FindCommand(const std::string& name) {
  for (const Command& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

bool CheckCommand(const Line& line, const Command** found, std::string* why) {
  const Command* c = FindCommand(line.name);
  if (!c) {
    *why = "unknown host command !" + line.name +
           " (known: !copy, !wait, !echo, !lasterror, !restart, "
           "!run)";
    return false;
  }
  bool ok = line.args.size() == c->args.size();
  for (size_t i = 0; ok && i < line.args.size(); ++i) {
    ok = line.args[i].kind == c->args[i];
  }
  if (ok && line.name == "wait") {
    ok = line.args[0].integer >= 0 && line.args[0].integer <= 600000;
  }
  if (ok && line.name == "lasterror") {
    ok = line.args[0].integer >= 0 && line.args[0].integer <= 0xFFFFFFFFLL;
  }
  if (!ok) *why = std::string("usage: ") + c->usage;
  *found = c;
  return ok;
}

// Runs a checked host command; false when it failed.
bool RunCommand(const Line& line, Machine& machine, std::ostream& out,
                std::ostream& err, const RunOptions& options, int number) {
  if (line.name == "echo") {
    out << PrintableText(line.args[0].text) << "\n";
  } else if (line.name == "wait") {
    out << PrintableText(line.source) << "\n";
    machine.Wait(static_cast<unsigned>(line.args[0].integer), out);
  } else if (line.name == "lasterror") {
    out << PrintableText(line.source) << "\n";
    machine.SetLastError(static_cast<DWORD>(line.args[0].integer));
  } else if (line.name == "copy") {
    std::string from = line.args[0].text;
    if (!IsAbsolute(from)) from = options.scriptDir + "/" + from;
    std::string to = machine.ExpandWinPath(line.args[1].text);
    std::string why;
    if (!machine.CopyIn(from, to, &why)) {
      err << options.scriptName << ":" << number
          << ": error: " << PrintableText(why) << "\n    "
          << PrintableText(line.source) << "\n";
      return false;
    }
    out << "!copy " << QuoteText(from) << " -> " << QuoteText(to) << "\n";
  } else if (line.name == "run") {
    out << PrintableText(line.source) << "\n";
    std::string why;
    DWORD exit = 0;
    if (!machine.RunProgram(machine.ExpandWinPath(line.args[0].text), &exit,
                            out, &why)) {
      err << options.scriptName << ":" << number
          << ": error: " << PrintableText(why) << "\n    "
          << PrintableText(line.source) << "\n";
      return false;
    }
    out << "  exit code " << exit << "\n";
  } else if (line.name == "restart") {
    out << PrintableText(line.source) << "\n";
    std::string why;
    if (!machine.StartWindowsAgain(out, &why)) {
      err << options.scriptName << ":" << number
          << ": error: " << PrintableText(why) << "\n    "
          << PrintableText(line.source) << "\n";
      return false;
    }
  }
  return true;
}

// Buffers, strings and windows for the call, in argument order.
std::vector<CallArg> PrepareArgs(const ExportInfo& info,
                                 const std::vector<Arg>& args,
                                 Machine& machine) {
  std::vector<CallArg> call(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    const Arg& a = args[i];
    CallArg& c = call[i];
    c.kind = info.params[i].kind;
    c.isNull = a.kind == Arg::Kind::Null;
    switch (c.kind) {
      case ParamKind::Integer:
        c.integer = a.integer;
        break;
      case ParamKind::String:
        c.text = a.text;
        break;
      case ParamKind::Buffer:
        if (c.isNull) break;
        // A string given for a text buffer becomes a buffer of its own
        // length (for exports that change text in place).
        c.size = a.kind == Arg::Kind::String ? a.text.size() + 1
                                             : static_cast<size_t>(a.integer);
        c.buffer.assign(c.size + kGuardSize, '\0');
        std::memset(c.buffer.data() + c.size, kGuardByte, kGuardSize);
        std::memcpy(c.buffer.data(), a.text.data(), a.text.size());
        break;
      case ParamKind::Window:
        c.window =
            a.kind == Arg::Kind::Window ? machine.Window(a.integer) : nullptr;
        break;
      case ParamKind::Unsupported:
        break;
    }
  }
  return call;
}

}  // namespace

HWND Machine::Window(long long number) {
  if (number == 0) return nullptr;
  auto it = windows_.find(number);
  if (it != windows_.end()) return it->second;
  HWND w = CreateScriptWindow(number);
  windows_[number] = w;
  return w;
}

std::string Machine::WindowName(HWND window) const {
  if (!window) return "hwnd(0)";
  for (const auto& [number, w] : windows_) {
    if (w == window) return "hwnd(" + std::to_string(number) + ")";
  }
  return Hex(reinterpret_cast<uintptr_t>(window));
}

std::string Machine::ExpandWinPath(const std::string& path) {
  const struct {
    const char* name;
    std::string (Machine::*dir)();
  } vars[] = {{"%WINDIR%", &Machine::WindowsDirectory},
              {"%SYSDIR%", &Machine::SystemDirectory},
              {"%APPDATA%", &Machine::AppDataDirectory}};
  // One pass from left to right: a folder whose name holds a variable's
  // name (C:\%WINDIR%) is put in once, never expanded again.
  std::string out;
  for (size_t at = 0; at < path.size();) {
    bool expanded = false;
    for (const auto& v : vars) {
      const size_t n = std::strlen(v.name);
      if (path.compare(at, n, v.name) == 0) {
        out += (this->*v.dir)();
        at += n;
        expanded = true;
        break;
      }
    }
    if (!expanded) out += path[at++];
  }
  return out;
}

std::string FormatResult(const CallResult& r, const Machine& machine) {
  switch (r.kind) {
    case ResultKind::Void:
      return "(no result)";
    case ResultKind::Integer:
      return std::to_string(r.integer);
    case ResultKind::Text:
      return r.isNull ? "NULL" : QuoteText(r.text);
    case ResultKind::Pointer:
      return r.isNull ? "NULL" : Hex(r.address);
    case ResultKind::Window:
      return machine.WindowName(r.window);
    case ResultKind::Unsupported:
      return "(result of an unsupported type)";
  }
  return "?";
}

bool SplitCopyIn(const std::string& mapping, std::string* hostPath,
                 std::string* winPath) {
  // The Windows side starts at "=X:" or "=%"; a host path may hold '='.
  for (size_t at = mapping.find('='); at != std::string::npos;
       at = mapping.find('=', at + 1)) {
    std::string win = mapping.substr(at + 1);
    if ((win.size() > 1 && win[1] == ':') || (!win.empty() && win[0] == '%')) {
      *hostPath = mapping.substr(0, at);
      *winPath = win;
      return !hostPath->empty();
    }
  }
  return false;
}

namespace {

// The longest line a script may hold: a buffer's text of 1 MiB, every
// byte escaped.
constexpr size_t kMaxScriptLine = 4u * kMaxBufferSize + 4096;

// std::getline that stops one byte past kMaxScriptLine, so a file of one
// endless line is never held whole.
bool ReadScriptLine(std::istream& in, std::string* line) {
  line->clear();
  std::streambuf* buffer = in.rdbuf();
  for (;;) {
    const int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      return !line->empty();
    }
    if (c == '\n') return true;
    line->push_back(static_cast<char>(c));
    if (line->size() > kMaxScriptLine) return true;
  }
}

}  // namespace

RunSummary RunScript(std::istream& script, const ExportTable& table,
                     Machine& machine, std::ostream& out, std::ostream& err,
                     const RunOptions& options) {
  RunSummary summary;
  std::string text;
  int number = 0;
  while (ReadScriptLine(script, &text)) {
    ++number;
    if (text.size() > kMaxScriptLine) {
      // A line longer than any buffer's text could be is no script's: the
      // rest of the file is not read.
      Refuse(err, options, number, text.substr(0, 80),
             "a line longer than " + std::to_string(kMaxScriptLine) +
                 " bytes; the rest of the script is not read");
      ++summary.badLines;
      break;
    }
    if (!text.empty() && text.back() == '\r') text.pop_back();
    Line line;
    std::string why;
    bool good = ParseLine(text, &line, &why);
    const ExportInfo* info = nullptr;
    const Command* command = nullptr;
    if (good && line.kind == Line::Kind::Call) {
      info = table.Find(line.name);
      if (!info) {
        why = "unknown export \"" + line.name + "\"";
        if (const ExportInfo* similar = table.FindIgnoringCase(line.name)) {
          why += " (did you mean " + similar->name + "?)";
        }
        good = false;
      } else if (!CheckArgs(*info, line.args, &why)) {
        good = false;
      } else if (!info->available) {
        why = "export " + info->name + " is missing from the loaded library";
        good = false;
      }
    } else if (good && line.kind == Line::Kind::Command) {
      good = CheckCommand(line, &command, &why);
    }
    if (!good) {
      Refuse(err, options, number, text, why);
      ++summary.badLines;
      if (options.stopOnError) break;
      continue;
    }
    if (line.kind == Line::Kind::Empty || options.checkOnly) continue;

    if (line.kind == Line::Kind::Command) {
      out.flush();
      if (!RunCommand(line, machine, out, err, options, number)) {
        ++summary.faults;
      }
      continue;
    }

    std::vector<CallArg> args = PrepareArgs(*info, line.args, machine);
    out.flush();
    machine.BeforeCall();
    CallResult result = info->invoke(args);
    machine.AfterCall();
    ++summary.calls;

    out << PrintableText(line.source) << " = " << FormatResult(result, machine)
        << "\n";
    for (size_t i = 0; i < args.size(); ++i) {
      const CallArg& a = args[i];
      if (a.kind != ParamKind::Buffer || a.isNull) continue;
      PrintBuffer(out, i, info->params[i], a);
      if (size_t over = OverrunBytes(a)) {
        err << options.scriptName << ":" << number << ": error: " << info->name
            << " wrote " << over << " byte" << (over == 1 ? "" : "s")
            << " past buf#" << i + 1 << " (" << a.size << " bytes)\n    "
            << PrintableText(text) << "\n";
        ++summary.faults;
      }
    }
    machine.Report(out);
  }
  out.flush();
  return summary;
}

}  // namespace kv::host
