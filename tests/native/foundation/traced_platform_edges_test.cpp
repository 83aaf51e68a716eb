// The call trace at its edges: handles of calls that failed, and a trace
// file that was there before.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "foundation/traced_platform.h"
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

// An open that fails returns no handle: the trace shows where the handle
// would have gone, never "&" and a value the caller must not use (here a
// stale one left in the variable).
TEST(TracedPlatformEdges, FailedOpenShowsNoHandle) {
  SimMachine m(sim::WindowsVersion::XP);
  TempDir dir;
  const std::string file = dir.path() + "/trace.txt";
  TracedPlatform traced(m.os(), file);
  const auto stale = [] { return reinterpret_cast<HKEY>(uintptr_t{0x4321}); };
  HKEY a = stale(), b = stale(), c = stale();
  HANDLE printer = reinterpret_cast<HANDLE>(uintptr_t{0x4321});
  traced.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\NoSuchKey", 0, KEY_READ,
                       &a);
  traced.RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\NoSuchKey", &b);
  m.os().FailOperation("RegCreateKeyA", ERROR_ACCESS_DENIED);
  traced.RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Refused", &c);
  traced.OpenPrinterA("No Such Printer", &printer, nullptr);
  const std::vector<std::string> lines = ReadLines(file);
  ASSERT_EQ(lines.size(), 4u);
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find('&'), std::string::npos) << line;
    EXPECT_EQ(line.find("0x4321"), std::string::npos) << line;
    EXPECT_NE(line.find("  error "), std::string::npos) << line;
  }
}

// A trace file that is there already keeps its lines, and its size counts
// toward the limit: the trace stops where the file reaches it, not that
// many bytes later.
TEST(TracedPlatformEdges, ExistingFileCountsTowardTheLimit) {
  const std::string call = "DeleteFileA(\"C:\\\\nothing\") = 0  error 2";
  const struct {
    size_t before;    // bytes in the file before tracing starts
    size_t appended;  // call lines the 200-byte limit still takes
  } cases[] = {{0, 200 / (call.size() + 1)},
               {120, (200 - 120) / (call.size() + 1)},
               {199, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    SimMachine m(sim::WindowsVersion::XP);
    TempDir dir;
    const std::string file = dir.path() + "/trace.txt";
    const std::string earlier = std::string(c.before, '#');
    std::ofstream(file, std::ios::binary) << earlier;
    {
      TracedPlatform traced(m.os(), file, 200);
      for (int i = 0; i < 10; ++i) traced.DeleteFileA("C:\\nothing");
      EXPECT_FALSE(traced.tracing());
    }
    std::vector<std::string> want;
    for (size_t i = 0; i < c.appended; ++i) want.push_back(call);
    if (!want.empty()) want.front() = earlier + want.front();
    want.push_back((want.empty() ? earlier : "") +
                   "trace stopped at 200 bytes");
    EXPECT_EQ(ReadLines(file), want);
  }
}

}  // namespace
}  // namespace kv
