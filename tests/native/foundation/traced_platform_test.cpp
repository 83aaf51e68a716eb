// The call trace decorator over the simulated machine: results and last
// errors pass through unchanged, arguments are shown safely, the file's
// failures and size limit only end the trace, and threads write whole lines.
#include "foundation/traced_platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include "exports/dll_context.h"
#include "exports/foundation_exports.h"
#include "exports/printer_exports.h"
#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

using test::SimMachine;
using test::TempDir;

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A machine whose DeleteFileA reads nothing of its argument (so the trace
// alone is held to the 64 KiB bound), and whose last error is per thread.
class QuietMachine : public sim::SimPlatform {
 public:
  explicit QuietMachine(const TempDir& dir)
      : SimPlatform(sim::WindowsVersion::XP, dir.path()) {}
  BOOL DeleteFileA(LPCSTR) override {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  BOOL IsDBCSLeadByte(BYTE) override { return FALSE; }
  DWORD GetLastError() override { return error_; }
  void SetLastError(DWORD error) override { error_ = error; }

 private:
  static thread_local DWORD error_;
};
thread_local DWORD QuietMachine::error_ = 0;

TEST(TracedPlatform, PassesResultsAndLastErrorsThrough) {
  struct Case {
    const char* name;
    std::function<long(Platform&)> call;
    const char* traced;  // the line's start
    bool fails;
  };
  const Case cases[] = {
      {"failing file call",
       [](Platform& os) { return long(os.DeleteFileA("C:\\no such file")); },
       "DeleteFileA(\"C:\\\\no such file\") = 0  error 2", true},
      {"failing registry call (the error is the result; the last error "
       "stays)",
       [](Platform& os) {
         return long(os.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\NoSuch"));
       },
       "RegDeleteKeyA(HKEY_LOCAL_MACHINE, \"SOFTWARE\\\\NoSuch\") = 2  error 2",
       true},
      {"succeeding call",
       [](Platform& os) {
         char dir[260];
         return long(os.GetWindowsDirectoryA(dir, sizeof dir));
       },
       "GetWindowsDirectoryA(0x", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimMachine plain(sim::WindowsVersion::XP), under(sim::WindowsVersion::XP);
    TempDir dir;
    const std::string file = dir.path() + "/trace.txt";
    TracedPlatform traced(under.os(), file);
    ASSERT_TRUE(traced.tracing());
    plain.os().SetLastError(test::kStaleError);
    traced.SetLastError(test::kStaleError);
    const long expected = c.call(plain.os());
    EXPECT_EQ(c.call(traced), expected);
    EXPECT_EQ(traced.GetLastError(), plain.os().GetLastError());
    std::vector<std::string> lines = ReadLines(file);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(c.traced, 0), 0u) << lines[0];
    // A success carries no error, and shows the plain machine's result.
    if (!c.fails) {
      const std::string end = " = " + std::to_string(expected);
      ASSERT_GE(lines[0].size(), end.size());
      EXPECT_EQ(lines[0].substr(lines[0].size() - end.size()), end);
    }
  }
}

TEST(TracedPlatform, ShowsArgumentsSafely) {
  TempDir dir, machine;
  QuietMachine os(machine);
  const std::string file = dir.path() + "/trace.txt";
  TracedPlatform traced(os, file);
  // Exactly 64 KiB without a terminator: AddressSanitizer stops any read
  // past it.
  std::vector<char> unterminated(64 * 1024, 'a');
  const std::string cut =
      "\"" + std::string(64 * 1024, 'a') + "\"...(cut at 65536 bytes)";
  struct Case {
    std::function<void()> call;
    std::string line;
  };
  const Case cases[] = {
      {[&] { traced.DeleteFileA(nullptr); }, "DeleteFileA(NULL) = 0  error 5"},
      {[&] { traced.DeleteFileA("q\"\\\n\t\x01\xE9 z"); },
       "DeleteFileA(\"q\\\"\\\\\\n\\t\\x01\\xE9 z\") = 0  error 5"},
      {[&] { traced.DeleteFileA(unterminated.data()); },
       "DeleteFileA(" + cut + ") = 0  error 5"},
      {[&] { traced.IsDBCSLeadByte(0x81); }, "IsDBCSLeadByte(0x81) = 0"},
      {[&] { traced.Sleep(7); }, "Sleep(7)"},
      {[&] { traced.LocalFree(nullptr); }, "LocalFree(NULL) = NULL"},
      {[&] { traced.SendMessageA(reinterpret_cast<HWND>(0xFFFF), 0x1A, 0, 0); },
       "SendMessageA(0xFFFF, 0x1A, 0x0, 0x0) = 1"},
      {[&] {
         traced.RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, nullptr);
       },
       "RegOpenKeyExA(HKEY_CURRENT_USER, \"\", 0, 0x20019, NULL) = 87  error "
       "87"},
  };
  for (const Case& c : cases) c.call();
  // A key opened is shown by its handle, so the calls on it can be found.
  HKEY key = nullptr;
  ASSERT_EQ(
      traced.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key),
      ERROR_SUCCESS);
  char hex[32];
  std::snprintf(
      hex, sizeof hex, "0x%llX",
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(key)));
  traced.RegCloseKey(key);
  std::vector<std::string> lines = ReadLines(file);
  ASSERT_EQ(lines.size(), std::size(cases) + 2);
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(lines[i], cases[i].line);
  EXPECT_EQ(lines[std::size(cases)],
            std::string("RegOpenKeyExA(HKEY_LOCAL_MACHINE, \"SOFTWARE\", 0, "
                        "0x20019, &") +
                hex + ") = 0");
  EXPECT_EQ(lines.back(), std::string("RegCloseKey(") + hex + ") = 0");
}

TEST(TracedPlatform, FileThatFailsOrFillsEndsOnlyTheTrace) {
  TempDir dir;
  struct Case {
    const char* name;
    std::string file;
    uint64_t limit;
    bool opens;
    const char* lastLine;  // null: no file to read
  };
  const Case cases[] = {
      {"folder missing", dir.path() + "/no/such/folder/t.txt",
       TracedPlatform::kDefaultLimit, false, nullptr},
      {"writes fail", "/dev/full", TracedPlatform::kDefaultLimit, true,
       nullptr},
      {"limit reached", dir.path() + "/small.txt", 100, true,
       "trace stopped at 100 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimMachine m(sim::WindowsVersion::XP);
    TracedPlatform traced(m.os(), c.file, c.limit);
    EXPECT_EQ(traced.tracing(), c.opens);
    for (int i = 0; i < 10; ++i) {
      traced.SetLastError(test::kStaleError);
      EXPECT_EQ(traced.DeleteFileA("C:\\nothing"), FALSE);
      EXPECT_EQ(traced.GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    }
    EXPECT_FALSE(traced.tracing());
    if (!c.lastLine) continue;
    std::vector<std::string> lines = ReadLines(c.file);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back(), c.lastLine);
    for (size_t i = 0; i + 1 < lines.size(); ++i)
      EXPECT_EQ(lines[i], "DeleteFileA(\"C:\\\\nothing\") = 0  error 2");
    std::ifstream in(c.file, std::ios::binary | std::ios::ate);
    EXPECT_LE(static_cast<uint64_t>(in.tellg()),
              c.limit + std::string(c.lastLine).size() + 1);
  }
}

TEST(TracedPlatform, TwoThreadsWriteWholeLines) {
  TempDir dir, machine;
  QuietMachine os(machine);
  const std::string file = dir.path() + "/trace.txt";
  TracedPlatform traced(os, file);
  constexpr int kCalls = 3000;
  auto run = [&](BYTE c) {
    for (int i = 0; i < kCalls; ++i) traced.IsDBCSLeadByte(c);
  };
  std::thread a(run, BYTE{0x11}), b(run, BYTE{0x22});
  a.join();
  b.join();
  int ones = 0, twos = 0;
  for (const std::string& line : ReadLines(file)) {
    if (line == "IsDBCSLeadByte(0x11) = 0")
      ++ones;
    else if (line == "IsDBCSLeadByte(0x22) = 0")
      ++twos;
    else
      ADD_FAILURE() << "torn line: " << line;
  }
  EXPECT_EQ(ones, kCalls);
  EXPECT_EQ(twos, kCalls);
}

TEST(TracedPlatform, ExportCallsAreHeadedByTheirName) {
  // ToRegPrinter95 shares its body with two other exports: its heading must
  // still name it.
  struct Case {
    std::function<void()> call;
    const char* heading;
    const char* firstCall;
  };
  const Case cases[] = {
      {[] { ::IsWinMe(); }, "== IsWinMe", "GetVersionExA(0x"},
      {[] {
         ::ToRegPrinter95("LPT1:", "KV-1", 0, "C:\\", "P", 0, "C:\\x.sii");
       },
       "== ToRegPrinter95", "GetPrivateProfileIntA(\"ModelName\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.heading);
    SimMachine m(sim::WindowsVersion::WinMe);
    TempDir dir;
    const std::string file = dir.path() + "/trace.txt";
    TracedPlatform traced(m.os(), file);
    SetExportPlatform(traced);
    c.call();
    UnbindExportPlatform();
    std::vector<std::string> lines = ReadLines(file);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], c.heading);
    EXPECT_EQ(lines[1].rfind(c.firstCall, 0), 0u) << lines[1];
  }
}

}  // namespace
}  // namespace kv
