// The runner against exports made for the test, through the same table
// templates the host uses for the real ones: every argument kind reaches the
// function as typed, and a refused line calls nothing.
#include "host/runner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace kv::host {
namespace {

// What the fake exports saw.
struct Seen {
  int calls = 0;
  int i = 0;
  DWORD d = 0;
  unsigned short w = 0;
  std::string s;
  bool sNull = false;
  HWND window = nullptr;
  void* bytes = nullptr;
} g_seen;

int WINAPI TakeIntDword(int i, DWORD d) {
  ++g_seen.calls;
  g_seen.i = i;
  g_seen.d = d;
  return i + 1;
}
int WINAPI TakeWord(unsigned short w) {
  ++g_seen.calls;
  g_seen.w = w;
  return 0;
}
int WINAPI TakeString(LPCSTR s) {
  ++g_seen.calls;
  g_seen.sNull = s == nullptr;
  g_seen.s = s ? s : "";
  return 7;
}
// Writes "driver:<name>" into the buffer, as a query export does.
int WINAPI FillBuffer(LPCSTR name, LPSTR out) {
  ++g_seen.calls;
  if (!out) return 0;
  std::strcpy(out, ("driver:" + std::string(name)).c_str());
  return 1;
}
// Changes text in place and returns it.
LPSTR WINAPI Upper(LPSTR text) {
  ++g_seen.calls;
  for (char* p = text; *p; ++p) {
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 32);
  }
  return text;
}
HWND WINAPI EchoWindow(HWND w) {
  ++g_seen.calls;
  g_seen.window = w;
  return w;
}
void WINAPI Nothing() { ++g_seen.calls; }
int WINAPI Bytes(LPBYTE b) {
  ++g_seen.calls;
  b[0] = 0x00;
  b[1] = 0x0A;
  b[2] = 0xFF;
  return 3;
}
// Writes 20 bytes whatever the buffer: a fault the host must report.
int WINAPI Overrun(LPSTR out) {
  ++g_seen.calls;
  std::memset(out, 'x', 20);
  return 1;
}
LPCSTR WINAPI NullText() {
  ++g_seen.calls;
  return nullptr;
}
int WINAPI TakeCallback(TIMERPROC) {
  ++g_seen.calls;
  return 0;
}

ExportTable FakeTable() {
  ExportTable t;
  t.Add(MakeExport("TakeIntDword", &TakeIntDword));
  t.Add(MakeExport("TakeWord", &TakeWord));
  t.Add(MakeExport("TakeString", &TakeString));
  t.Add(MakeExport("FillBuffer", &FillBuffer));
  t.Add(MakeExport("Upper", &Upper));
  t.Add(MakeExport("EchoWindow", &EchoWindow));
  t.Add(MakeExport("Nothing", &Nothing));
  t.Add(MakeExport("Bytes", &Bytes));
  t.Add(MakeExport("Overrun", &Overrun));
  t.Add(MakeExport("NullText", &NullText));
  t.Add(MakeExport("TakeCallback", &TakeCallback));
  // Declared but absent from the loaded library.
  t.Add(MakeExport("Absent", static_cast<int(WINAPI*)(int)>(nullptr)));
  return t;
}

class FakeMachine : public Machine {
 public:
  std::string WindowsDirectory() override { return "C:\\WINDOWS"; }
  std::string SystemDirectory() override { return "C:\\WINDOWS\\SYSTEM"; }
  std::string AppDataDirectory() override {
    return "C:\\WINDOWS\\Application Data";
  }
  bool CopyIn(const std::string& from, const std::string& to,
              std::string* error) override {
    copies.push_back(from + " -> " + to);
    if (from.find("missing") != std::string::npos) {
      *error = "no such file " + from;
      return false;
    }
    return true;
  }
  void Wait(unsigned ms, std::ostream& out) override {
    waited += ms;
    out << "  waited\n";
  }
  void SetLastError(DWORD e) override { lastError = e; }
  bool StartWindowsAgain(std::ostream& out, std::string* error) override {
    out << "  restarted\n";
    *error = "no restart here";
    return restartWorks;
  }
  bool restartWorks = true;
  bool RunProgram(const std::string& commandLine, DWORD* exit,
                  std::ostream& out, std::string* error) override {
    if (!runs) return Machine::RunProgram(commandLine, exit, out, error);
    programs.push_back(commandLine);
    *exit = 2;
    return true;
  }
  bool runs = true;
  std::vector<std::string> programs;
  void BeforeCall() override { ++before; }
  void AfterCall() override { ++after; }
  void Report(std::ostream& out) override { out << "  report\n"; }

  std::vector<std::string> copies;
  std::vector<long long> windowsMade;
  unsigned waited = 0;
  DWORD lastError = 0;
  int before = 0, after = 0;

 protected:
  HWND CreateScriptWindow(long long number) override {
    windowsMade.push_back(number);
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000 + number));
  }
};

struct Outcome {
  std::string out, err;
  RunSummary summary;
};

Outcome RunText(const std::string& text, FakeMachine& machine,
                RunOptions options = RunOptions()) {
  static const ExportTable table = FakeTable();
  std::istringstream in(text);
  std::ostringstream out, err;
  options.scriptName = "t.kvs";
  Outcome r;
  r.summary = RunScript(in, table, machine, out, err, options);
  r.out = out.str();
  r.err = err.str();
  return r;
}

class RunnerTest : public ::testing::Test {
 protected:
  void SetUp() override { g_seen = Seen(); }
  FakeMachine machine;
};

TEST_F(RunnerTest, PassesEachKindAsTheDeclarationTypesIt) {
  Outcome r = RunText(
      "TakeIntDword(-5, -1)\n"
      "TakeWord(0xFFFF)\n"
      "TakeString(\"KV 100\")\n"
      "FillBuffer(\"KV\", buf(32))\n"
      "Upper(\"mixed Case\")\n"
      "Upper(buf(16, \"abc\"))\n"
      "EchoWindow(hwnd(3))\n"
      "EchoWindow(0)\n"
      "Nothing()\n"
      "Bytes(buf(4))\n"
      "NullText()\n",
      machine);
  EXPECT_TRUE(r.summary.ok()) << r.err;
  EXPECT_EQ(r.summary.calls, 11);
  EXPECT_EQ(g_seen.calls, 11);
  EXPECT_EQ(g_seen.i, -5);
  EXPECT_EQ(g_seen.d, 0xFFFFFFFFu);  // -1 reaches a DWORD as all ones
  EXPECT_EQ(g_seen.w, 0xFFFF);
  EXPECT_EQ(g_seen.s, "KV 100");
  EXPECT_EQ(g_seen.window, nullptr);  // the last EchoWindow had 0
  EXPECT_EQ(machine.windowsMade, std::vector<long long>{3});
  EXPECT_EQ(machine.before, 11);
  EXPECT_EQ(machine.after, 11);
  EXPECT_EQ(r.out,
            "TakeIntDword(-5, -1) = -4\n  report\n"
            "TakeWord(0xFFFF) = 0\n  report\n"
            "TakeString(\"KV 100\") = 7\n  report\n"
            "FillBuffer(\"KV\", buf(32)) = 1\n"
            "  buf#2 = \"driver:KV\"\n  report\n"
            "Upper(\"mixed Case\") = \"MIXED CASE\"\n"
            "  buf#1 = \"MIXED CASE\"\n  report\n"
            "Upper(buf(16, \"abc\")) = \"ABC\"\n"
            "  buf#1 = \"ABC\"\n  report\n"
            "EchoWindow(hwnd(3)) = hwnd(3)\n  report\n"
            "EchoWindow(0) = hwnd(0)\n  report\n"
            "Nothing() = (no result)\n  report\n"
            "Bytes(buf(4)) = 3\n  buf#1 = hex 00 0A FF 00\n  report\n"
            "NullText() = NULL\n  report\n");
}

TEST_F(RunnerTest, NullReachesPointersAsNull) {
  Outcome r = RunText("TakeString(null)\nFillBuffer(\"a\", null)\n", machine);
  EXPECT_TRUE(r.summary.ok()) << r.err;
  EXPECT_TRUE(g_seen.sNull);
  EXPECT_EQ(g_seen.calls, 2);
  EXPECT_NE(r.out.find("FillBuffer(\"a\", null) = 0\n"), std::string::npos);
}

// Each malformed kind: refused with the line number and text, and nothing
// of the line runs (no call, no window made).
TEST_F(RunnerTest, RefusesBadLinesAndRunsNothingOfThem) {
  const struct {
    const char* line;
    const char* why;
  } cases[] = {
      {"NoSuchExport(1)", "unknown export \"NoSuchExport\""},
      {"takestring(\"a\")", "did you mean TakeString?"},
      {"TakeString()", "TakeString takes 1 argument, 0 given"},
      {"TakeIntDword(1, 2, hwnd(4))", "takes 2 arguments, 3 given"},
      {"TakeString(5)",
       "argument 1 of TakeString must be a string, not integer 5"},
      {"TakeIntDword(\"1\", 2)", "must be a integer, not string"},
      {"FillBuffer(\"a\", hwnd(5))",
       "argument 2 of FillBuffer must be a text buffer"},
      {"EchoWindow(5)", "must be a window, not integer 5"},
      {"Bytes(\"text\")", "must be a byte buffer, not string"},
      {"TakeWord(65536)", "does not fit a 16-bit integer"},
      {"TakeWord(-32769)", "does not fit a 16-bit integer"},
      {"TakeIntDword(0x100000000, 0)", "does not fit a 32-bit integer"},
      {"TakeCallback(0)", "has a type a script cannot pass"},
      {"Absent(1)", "export Absent is missing from the loaded library"},
      {"TakeString(\"open)", "unterminated string"},
      {"EchoWindow(hwnd(6)) extra", "junk after the statement"},
      {"!frobnicate", "unknown host command !frobnicate"},
      {"!wait \"soon\"", "usage: !wait milliseconds"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    g_seen = Seen();
    FakeMachine m;
    Outcome r = RunText(std::string("# comment\n\n") + c.line + "\n", m);
    EXPECT_EQ(r.summary.badLines, 1);
    EXPECT_EQ(r.summary.calls, 0);
    EXPECT_EQ(g_seen.calls, 0);
    EXPECT_TRUE(m.windowsMade.empty());
    EXPECT_EQ(m.before, 0);
    EXPECT_EQ(m.waited, 0u);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(std::string("t.kvs:3: error: ")), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(std::string("\n    ") + c.line + "\n"),
              std::string::npos)
        << r.err;
  }
}

TEST_F(RunnerTest, GoesOnAfterABadLineUnlessToldToStop) {
  const std::string script = "TakeWord(1)\nTakeWord(\nTakeWord(2)\n";
  Outcome r = RunText(script, machine);
  EXPECT_EQ(r.summary.badLines, 1);
  EXPECT_EQ(r.summary.calls, 2);
  EXPECT_EQ(g_seen.w, 2);
  EXPECT_FALSE(r.summary.ok());

  g_seen = Seen();
  RunOptions stop;
  stop.stopOnError = true;
  FakeMachine m2;
  r = RunText(script, m2, stop);
  EXPECT_EQ(r.summary.calls, 1);
  EXPECT_EQ(g_seen.w, 1);
}

TEST_F(RunnerTest, CheckOnlyCallsNothingButFindsBadLines) {
  RunOptions check;
  check.checkOnly = true;
  Outcome r =
      RunText("TakeWord(1)\n!wait 10\nEchoWindow(hwnd(1))\nTakeWord()\n",
              machine, check);
  EXPECT_EQ(g_seen.calls, 0);
  EXPECT_EQ(machine.waited, 0u);
  EXPECT_TRUE(machine.windowsMade.empty());
  EXPECT_EQ(r.summary.badLines, 1);
  EXPECT_NE(r.err.find("t.kvs:4:"), std::string::npos);
}

TEST_F(RunnerTest, ReportsAWritePastTheBuffer) {
  Outcome r = RunText("Overrun(buf(8))\nOverrun(buf(20))\n", machine);
  EXPECT_EQ(r.summary.calls, 2);
  EXPECT_EQ(r.summary.faults, 1);
  EXPECT_NE(
      r.err.find("t.kvs:1: error: Overrun wrote 12 bytes past buf#1 (8 bytes)"),
      std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("t.kvs:2:"), std::string::npos);
  // Exactly full, no terminator: shown as such, not read beyond.
  EXPECT_NE(
      r.out.find(
          "buf#1 = \"xxxxxxxxxxxxxxxxxxxx\" (no terminator within 20 bytes)"),
      std::string::npos)
      << r.out;
}

TEST_F(RunnerTest, HostCommands) {
  RunOptions o;
  o.scriptDir = "/media/disk";
  Outcome r = RunText(
      "!copy \"medium\" \"%SYSDIR%\\\\kv.dll\"\n"
      "!copy \"/abs/f\" \"C:\\\\x\"\n"
      "!copy \"missing\" \"C:\\\\y\"\n"
      "!lasterror 0xBBE\n"
      "!wait 25\n"
      "!echo \"-- done\"\n"
      "!run \"%SYSDIR%\\\\kvsetup.exe /S\"\n"
      "!restart\n",
      machine, o);
  EXPECT_EQ(machine.programs,
            std::vector<std::string>{"C:\\WINDOWS\\SYSTEM\\kvsetup.exe /S"});
  EXPECT_NE(r.out.find("/S\"\n  exit code 2\n"), std::string::npos) << r.out;
  EXPECT_EQ(machine.copies,
            (std::vector<std::string>{
                "/media/disk/medium -> C:\\WINDOWS\\SYSTEM\\kv.dll",
                "/abs/f -> C:\\x", "/media/disk/missing -> C:\\y"}));
  EXPECT_EQ(machine.lastError, 0xBBEu);
  EXPECT_EQ(machine.waited, 25u);
  EXPECT_NE(r.out.find("\n-- done\n"), std::string::npos);
  EXPECT_EQ(r.summary.badLines, 0);
  EXPECT_EQ(r.summary.faults, 1);  // the failed copy
  EXPECT_NE(r.err.find("t.kvs:3: error: no such file /media/disk/missing"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("!restart\n  restarted\n"), std::string::npos) << r.out;

  machine.restartWorks = false;
  r = RunText("!restart\n", machine);
  EXPECT_EQ(r.summary.faults, 1);
  EXPECT_NE(r.err.find("t.kvs:1: error: no restart here"), std::string::npos);

  // The simulated machine runs no programs: the line fails.
  machine.runs = false;
  r = RunText("!run \"setup.exe\"\n", machine);
  EXPECT_EQ(r.summary.faults, 1);
  EXPECT_NE(r.err.find("t.kvs:1: error: this machine runs no programs"),
            std::string::npos)
      << r.err;
}

TEST(SplitCopyIn, FindsTheWindowsSide) {
  std::string from, to;
  ASSERT_TRUE(SplitCopyIn("a=b/kv.dll=C:\\W\\kv.dll", &from, &to));
  EXPECT_EQ(from, "a=b/kv.dll");
  EXPECT_EQ(to, "C:\\W\\kv.dll");
  ASSERT_TRUE(SplitCopyIn("m=%SYSDIR%\\m.dll", &from, &to));
  EXPECT_EQ(to, "%SYSDIR%\\m.dll");
  EXPECT_FALSE(SplitCopyIn("no-windows-side", &from, &to));
  EXPECT_FALSE(SplitCopyIn("=C:\\x", &from, &to));
}

}  // namespace
}  // namespace kv::host
