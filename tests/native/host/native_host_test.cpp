// kvsup-host end to end on the simulated machine, through RunNativeHost: the
// code path of the host's main, options and machine folder included.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/host_main.h"
#include "tests/native/support/sim_fixture.h"

namespace kv::host {
namespace {

namespace fs = std::filesystem;

struct HostRun {
  int rc;
  std::string out, err;
};

HostRun Host(const std::vector<std::string>& args,
             const std::string& stdinText = "") {
  std::istringstream in(stdinText);
  std::ostringstream out, err;
  HostRun r;
  r.rc = RunNativeHost(args, in, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

void WriteFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class NativeHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(media() / "kv.sii",
              "[Initial]\nProduct=KORVA\n"
              "[Files.Com]\nLmonn=KORVA Test Monitor\n"
              "[Files.NT]\nLmonmNT=kvmon.dll\n"
              "[Files.2K]\nLmonm2K=kvmon.dll\n"
              "[Files.9x]\nLmonm9x=kvmon.dll\n");
    WriteFile(media() / "kvmon.dll", "stand-in monitor file");
  }
  fs::path media() const { return fs::path(files_.path()) / "medium"; }
  std::string machineDir() const { return files_.path() + "/machine"; }
  std::string Script(const std::string& name, const std::string& text) {
    fs::path p = media() / name;
    WriteFile(p, text);
    return p.string();
  }
  std::vector<std::string> MachineArgs(const std::string& os) {
    std::vector<std::string> a = {"--machine", machineDir()};
    if (!os.empty()) a.insert(a.end(), {"--os", os});
    return a;
  }

  test::TempDir files_;
};

TEST_F(NativeHostTest, InstallsTheMonitorAndKeepsTheMachine) {
  std::string script =
      Script("install.kvs",
             "!copy \"kv.sii\" \"C:\\\\kvmedia\\\\kv.sii\"\n"
             "IsWinMe()\n"
             "InstallPrinterMonitor(\"C:\\\\kvmedia\\\\kv.sii\")\n"
             "InstallPrinterMonitor(\"C:\\\\kvmedia\\\\kv.sii\")\n"
             "LastErrorMessageBox(\"KORVA Setup\")\n");
  std::vector<std::string> args = MachineArgs("nt40");
  args.insert(
      args.end(),
      {"--print-boxes", "--copy-in",
       (media() / "kvmon.dll").string() + "=%SYSDIR%\\kvmon.dll", script});
  HostRun r = Host(args);
  ASSERT_EQ(r.rc, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(Has(r.out, "IsWinMe() = 0\n")) << r.out;
  EXPECT_TRUE(Has(r.out,
                  "InstallPrinterMonitor(\"C:\\\\kvmedia\\\\kv.sii\") = 1\n"
                  "InstallPrinterMonitor(\"C:\\\\kvmedia\\\\kv.sii\") = 0\n"))
      << r.out;
  EXPECT_TRUE(Has(r.out,
                  "LastErrorMessageBox(\"KORVA Setup\") = 1\n"
                  "  box \"KORVA Setup\": \"Err:3006 ["))
      << r.out;
  // The machine was saved with the monitor registered.
  std::string reg = ReadFile(fs::path(machineDir()) / "registry.reg");
  EXPECT_TRUE(Has(reg, "KORVA Test Monitor")) << reg;

  // A second run on the same folder finds it an NT 4.0 machine with the
  // monitor already there.
  r = Host(MachineArgs(""),
           "InstallPrinterMonitor(\"C:\\\\kvmedia\\\\kv.sii\")\n");
  EXPECT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(r.out, "InstallPrinterMonitor(\"C:\\\\kvmedia\\\\kv.sii\") = 0\n");

  // Asking for another version of a saved machine is refused.
  r = Host(MachineArgs("win98"), "IsWinMe()\n");
  EXPECT_EQ(r.rc, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(Has(r.err, "holds a nt40 machine, not win98")) << r.err;
}

TEST_F(NativeHostTest, AnswersBoxesAsTold) {
  HostRun r =
      Host({"--os", "win98", "--answer", "cancel,7", "--print-boxes"},
           "LastErrorMessageBox(\"one\")\nLastErrorMessageBox(\"two\")\n"
           "LastErrorMessageBox(\"three\")\n");
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "LastErrorMessageBox(\"one\") = 2\n  box \"one\""))
      << r.out;
  EXPECT_TRUE(Has(r.out, "LastErrorMessageBox(\"two\") = 7\n")) << r.out;
  // Without a queued answer the box takes its first button.
  EXPECT_TRUE(Has(r.out, "LastErrorMessageBox(\"three\") = 1\n")) << r.out;
}

// !wait lets time pass on the machine's clock, so an armed timer thread
// posts its command meanwhile; without the wait nothing has arrived yet.
TEST_F(NativeHostTest, WaitLetsTheTimerThreadPost) {
  HostRun r = Host({"--os", "winxp"},
                   "CreateTimerThread(hwnd(1), 1001, 7, 3)\n"
                   "TimerThread_TmStart()\n"
                   "!wait 100\n"
                   "!wait 500\n"
                   "TimerThreadState()\n"
                   "DestroyTimerThread()\n");
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_TRUE(Has(r.out,
                  "!wait 100\n!wait 500\n"
                  "  hwnd(1) <- WM_COMMAND wParam=1001 lParam=7 (posted)\n"
                  "TimerThreadState() = 2\n"))
      << r.out;
}

TEST_F(NativeHostTest, TraceShowsOperationsOfGoodLinesOnly) {
  HostRun bad = Host({"--trace", "--os", "winme"},
                     "InstallPrinterMonitor(\"C:\\\\x.sii\", 1)\n"
                     "IsWinMe(\n"
                     "CheckPC98() junk\n");
  EXPECT_EQ(bad.rc, 1);
  EXPECT_EQ(bad.out, "");  // no operation at all reached the machine
  EXPECT_TRUE(Has(bad.err,
                  "<stdin>:1: error: InstallPrinterMonitor takes 1 "
                  "argument, 2 given"))
      << bad.err;
  EXPECT_TRUE(Has(bad.err, "<stdin>:2: error: expected ',' or ')'") ||
              Has(bad.err, "<stdin>:2: error: expected an argument"))
      << bad.err;
  EXPECT_TRUE(Has(bad.err, "<stdin>:3: error: junk after the statement"))
      << bad.err;
  EXPECT_TRUE(Has(bad.err, "3 bad lines")) << bad.err;

  HostRun good = Host({"--trace", "--os", "winme"}, "IsWinMe()\n");
  EXPECT_EQ(good.rc, 0) << good.err;
  EXPECT_TRUE(Has(good.out, "  | GetVersionExA")) << good.out;
  EXPECT_TRUE(Has(good.out, "IsWinMe() = 1\n")) << good.out;
}

TEST_F(NativeHostTest, ListsEveryExportOfTheLibrary) {
  HostRun r = Host({"--list"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_TRUE(Has(r.out, "IsWinMe() -> integer\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "InstallPrinterMonitor(string) -> integer\n"))
      << r.out;
  EXPECT_FALSE(Has(r.out, "missing"));
}

TEST_F(NativeHostTest, RefusesBadOptions) {
  const std::vector<std::vector<std::string>> cases = {
      {"--os", "win31"},
      {"--os"},
      {"--answer", "maybe"},
      {"--copy-in", "nowhere"},
      {"--frob"},
      {"a.kvs", "b.kvs"},
      {(fs::path(files_.path()) / "no-such.kvs").string()},
      {"--copy-in", (media() / "absent").string() + "=C:\\absent"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args[0]);
    HostRun r = Host(args, "IsWinMe()\n");
    EXPECT_EQ(r.rc, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err, "");
  }
}

}  // namespace
}  // namespace kv::host
