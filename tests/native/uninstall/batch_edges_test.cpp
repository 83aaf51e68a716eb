// The batch at its edges: separators that split a path for the command
// interpreter, a system folder with a space, the longest library name the
// head takes, and a removal that never reached its hand-over.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/native/support/sim_fixture.h"
#include "uninstall/batch.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;

// Spelled here rather than taken from the product's constants: a misspelt
// constant would move the code and this test together.
constexpr char kRunOnce[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// Each RunOnce value's text, up to its terminator.
std::map<std::string, std::string> RunOnce(sim::SimPlatform& os) {
  std::map<std::string, std::string> values;
  if (const sim::RegNode* key = os.FindKey(HKEY_LOCAL_MACHINE, kRunOnce))
    for (const auto& [name, value] : key->values)
      values[value.name] =
          std::string(value.data.begin(), value.data.end()).c_str();
  return values;
}

std::string Text(sim::SimPlatform& os, const std::string& path) {
  std::string text;
  os.ReadTextFile(path, &text);
  return text;
}

// Each character the command interpreter takes for a separator, a
// redirection or a command break, alone in an otherwise plain path: the path
// is quoted.
TEST(BatchEdges, EachSeparatorAloneQuotesThePath) {
  for (const WindowsVersion v : {WindowsVersion::XP, WindowsVersion::Win98}) {
    SimMachine m(v);
    const OsKind kind = GetOSKind(m.ctx());
    const std::string word = kind == OsKind::Win9x ? "del " : "del /f ";
    for (const char c : std::string(" &|<>^,;=()")) {
      const std::string path = std::string("C:\\kv") + c + "drv\\x.dll";
      SCOPED_TRACE(path);
      EXPECT_EQ(BatchLine(m.ctx(), kind, path), word + "\"" + path + "\"");
    }
  }
}

// A system folder the interpreter would split: the batch deletes itself by
// its quoted path, and the NT family's RunOnce value quotes it too (unquoted
// it would start "C:\KV" with an argument).
TEST(BatchEdges, SystemFolderThatNeedsQuotes) {
  for (const WindowsVersion v : {WindowsVersion::XP, WindowsVersion::Win2000,
                                 WindowsVersion::NT4, WindowsVersion::Win98}) {
    for (const char* system : {"C:\\KV SYS", "C:\\KV,SYS"}) {
      SCOPED_TRACE(std::string(sim::WindowsVersionName(v)) + " " + system);
      SimMachine m(v);
      auto& os = m.os();
      os.SetDirectories("C:\\WINDOWS", system);
      ASSERT_TRUE(os.CreateDirectoryA(system, nullptr));
      const std::string batch = std::string(system) + "\\VT3E.bat";
      const bool nt = v != WindowsVersion::Win98;
      const std::string word = nt ? "del /f " : "del ";
      ASSERT_TRUE(os.WriteTextFile("C:\\kv.dll", "x"));
      AddDeferredDeletion(m.ctx(), "C:\\kv.dll");
      ASSERT_TRUE(HandBatchToNextStart(m.ctx()));
      const std::string self = word + "\"" + batch + "\"";
      EXPECT_EQ(Text(os, batch), word + "C:\\kv.dll\r\n" + self + "\r\n");
      const std::map<std::string, std::string> want =
          nt ? std::map<std::string, std::string>{{"VT3E", "\"" + batch + "\""}}
             : std::map<std::string, std::string>{
                   {"VT3E_0", "command.com /c del C:\\kv.dll"},
                   {"VT3E_1", "command.com /c " + self}};
      EXPECT_EQ(RunOnce(os), want);
    }
  }
}

// "UninstDll" of [DllName] at its limit of 99 characters gets its line; one
// more character and it is passed over whole.
TEST(BatchEdges, UninstDllAtTheLimit) {
  for (const size_t length : {99, 100}) {
    SCOPED_TRACE(length);
    SimMachine m(WindowsVersion::XP);
    auto& os = m.os();
    const std::string dll = std::string(length - 4, 'u') + ".dll";
    ASSERT_TRUE(os.WriteTextFile(os.systemDir() + "\\" + dll, "MZ"));
    ASSERT_TRUE(os.WriteTextFile(os.windowsDir() + "\\kv.sii",
                                 "[DllName]\r\nUninstDll=" + dll + "\r\n"));
    WriteBatchHead(m.ctx(), "kv.sii");
    EXPECT_EQ(
        Text(os, os.systemDir() + "\\VT3E.bat"),
        length == 99 ? "del /f " + os.systemDir() + "\\" + dll + "\r\n" : "");
  }
}

// A removal handed over, then a second one that stops before its own
// hand-over: what the second adds goes before the self-deletion line, which
// stays last and single (the NT family's RunOnce still runs the batch; a
// line after the self-deletion would never run).
TEST(BatchEdges, SecondRemovalStoppedBeforeItsHandOver) {
  for (const WindowsVersion v : {WindowsVersion::XP, WindowsVersion::Win98}) {
    SCOPED_TRACE(sim::WindowsVersionName(v));
    SimMachine m(v);
    auto& os = m.os();
    const std::string word = v == WindowsVersion::Win98 ? "del " : "del /f ";
    const std::string setup = os.windowsDir() + "\\vt3eins.sii";
    for (const std::string& f :
         {setup, std::string("C:\\a.dll"), std::string("C:\\b.dll")})
      ASSERT_TRUE(os.WriteTextFile(f, "x"));
    WriteBatchHead(m.ctx(), "vt3eins.sii");
    AddDeferredDeletion(m.ctx(), "C:\\a.dll");
    ASSERT_TRUE(HandBatchToNextStart(m.ctx()));
    const auto handedOver = RunOnce(os);

    WriteBatchHead(m.ctx(), "vt3eins.sii");
    AddDeferredDeletion(m.ctx(), "C:\\b.dll");

    const std::string batch = os.systemDir() + "\\VT3E.bat";
    EXPECT_EQ(Text(os, batch), word + setup + "\r\n" + word + "C:\\a.dll\r\n" +
                                   word + "C:\\b.dll\r\n" + word + batch +
                                   "\r\n");
    EXPECT_EQ(RunOnce(os), handedOver);
  }
}

}  // namespace
}  // namespace kv::test
