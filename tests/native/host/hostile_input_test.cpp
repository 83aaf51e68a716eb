// Captures, snapshots and scripts from elsewhere: a capture the writer
// could not have written is refused by line and reason, a large genuine one
// loads in linear time, variables expand once, and no control byte of
// theirs reaches the reader raw.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "host/capture.h"
#include "host/capture_load.h"
#include "host/host_main.h"
#include "host/record_text.h"
#include "host/runner.h"
#include "host/snapshot.h"
#include "tests/native/support/sim_fixture.h"

namespace kv::host {
namespace {

using sim::WindowsVersion;

// `body` (the lines after the first) with a fresh end line: only the
// checks behind the checksum can refuse it.
std::string Sealed(const std::string& body) {
  const std::string text = "kvsup-capture 1\n" + body;
  const size_t records =
      static_cast<size_t>(std::count(body.begin(), body.end(), '\n'));
  return text + "end " + std::to_string(records) + " fnv1a " +
         Hex32(Fnv1a(reinterpret_cast<const BYTE*>(text.data()), text.size())) +
         "\n";
}

// The body of a genuine capture of a fresh machine, end line dropped.
std::string GenuineBody() {
  test::TempDir dir;
  sim::SimPlatform os(WindowsVersion::XP, dir.path());
  const std::string text = CaptureText(TakeCapture(os));
  const size_t first = text.find('\n') + 1;
  const size_t end = text.rfind("end ");
  return text.substr(first, end - first);
}

std::string Refusal(const std::string& text) {
  Capture c;
  std::string why;
  return ParseCapture(text, "m.cap", &c, &why) ? std::string() : why;
}

TEST(HostileCapture, WhatTheWriterCannotWriteIsRefusedByLine) {
  const std::string body = GenuineBody();
  ASSERT_EQ(Refusal(Sealed(body)), "");
  const auto without = [&](const std::string& line) {
    std::string b = body;
    const size_t at = b.find(line);
    return b.erase(at, b.find('\n', at) + 1 - at);
  };
  const std::string firstLine = body.substr(0, body.find('\n') + 1);
  const std::string dir = "file \"C:\\\\WINDOWS\\\\";
  const std::string tree =
      "HKLM \"SYSTEM\\\\CurrentControlSet\\\\Control\\\\Print";
  std::string deep = "key " + tree;
  for (int i = 0; i < 25; ++i) deep += "\\\\k";
  const struct {
    std::string body, why;
  } cases[] = {
      {without("system "), "no system record, which the writer always writes"},
      {without("disk "), "no disk record, which the writer always writes"},
      {body + firstLine, "a second system record"},
      {without("tree HKLM \"SOFTWARE\\\\Microsoft\\\\LPDSVC\""),
       "registry trees; the writer always lists all"},
      {body + dir + "a.txt\" 1 0x20 1\n" + dir + "A.TXT\" 1 0x20 1\n",
       "C:\\WINDOWS\\A.TXT is recorded twice"},
      {body + dir + "win.ini.\" 1099511627776 0x20 1\n",
       "none Windows can hold"},
      {body + dir + "x\\\\y\" 1 0x20 1\n", "lies in no folder recorded"},
      {body + "file \"D:\\\\x\" 1 0x20 1\n", "lies in no folder recorded"},
      {body + dir + "big\" 99999999999999999 0x20 1\n", "larger than drive"},
      {"system 2 5 1 2600 \"SP2\\x0aversion=win98\"\n" +
           body.substr(body.find('\n') + 1),
       "m.cap:2: the service pack text holds a control byte"},
      {body + "key HKLM \"SOFTWARE\\\\Other\"\n", "lies in no tree"},
      {body + deep + "\"\n", "deeper than the capture walks"},
      {body + "value HKLM \"SOFTWARE\\\\None\" \"v\" 1 00\n",
       "which no key record before it names"},
      {body + "tree HKLM \"SOFTWARE\\\\Other\"\n", "none the capture walks"},
      {body + "ini \"win.ini\" \"windows\" \"a\" \"1\\x0d\\x0a[x]\"\n",
       "holds a line break"},
      {body + "ini \"other.ini\" \"s\" \"a\" \"1\"\n", "no profile section"},
      {body + "service \"Spooler\" 4\nservice \"SPOOLER\" 1\n",
       "recorded twice"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const std::string why = Refusal(Sealed(c.body));
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
    EXPECT_EQ(why.rfind("m.cap:", 0), 0u) << why;
  }
}

// 16,000 profile entries and 9,980 file records: each profile file built
// once and each folder made once, and every entry reads back. The time of
// a load near the writer's bounds is bench/capture_bench.sh's to measure.
TEST(HostileCapture, LargeCapturesLoadWhole) {
  std::string body = GenuineBody();
  for (int i = 0; i < 16000; ++i)
    body += "ini \"win.ini\" \"Ports\" \"P" + std::to_string(i) + "\" \"v" +
            std::to_string(i) + "\"\n";
  for (int d = 90; d < 100; ++d) {
    const std::string folder = "C:\\\\WINDOWS\\\\d" + std::to_string(d);
    body += "dir \"" + folder + "\" 0x10 1\n";
    for (int f = 0; f < 998; ++f)
      body += "file \"" + folder + "\\\\F" + std::to_string(f) +
              ".dll\" 10 0x20 1\n";
  }
  Capture c;
  std::string why;
  ASSERT_TRUE(ParseCapture(Sealed(body), "big.cap", &c, &why)) << why;
  test::TempDir dir;
  sim::SimPlatform os(WindowsVersion::XP, dir.path());
  std::ostringstream report;
  LoadCapture(c, os, report);
  char value[16] = {};
  os.GetProfileStringA("Ports", "P15999", "", value, sizeof value);
  EXPECT_STREQ(value, "v15999");
  EXPECT_TRUE(os.IsPlaceholder("C:\\WINDOWS\\D99\\f997.DLL"));
}

class NamedFolders : public Machine {
 public:
  std::string WindowsDirectory() override { return "C:\\%WINDIR%"; }
  std::string SystemDirectory() override { return "C:\\%SYSDIR%\\%WINDIR%"; }
  std::string AppDataDirectory() override { return "%APPDATA%"; }
  bool CopyIn(const std::string&, const std::string&, std::string*) override {
    return false;
  }
  void Wait(unsigned, std::ostream&) override {}
  void SetLastError(DWORD) override {}
  bool StartWindowsAgain(std::ostream&, std::string*) override { return false; }

 protected:
  HWND CreateScriptWindow(long long) override { return nullptr; }
};

TEST(HostileCapture, VariablesExpandOnce) {
  NamedFolders m;
  EXPECT_EQ(m.ExpandWinPath("%WINDIR%\\a;%SYSDIR%;%APPDATA%%WINDIR"),
            "C:\\%WINDIR%\\a;C:\\%SYSDIR%\\%WINDIR%;%APPDATA%%WINDIR");
}

// A capture whose texts hold escape sequences, loaded by the host, and a
// script line holding them: neither the load report, the refusal nor the
// trace passes a control byte on.
TEST(HostileCapture, ControlBytesNeverReachTheReaderRaw) {
  std::string body = GenuineBody();
  body += "limit \"\\x1b]0;owned\\x07\\x0aforged line\"\n";
  body += "spooler printer \"\\x1b[2J\" = driver \"d\" port \"p\"\n";
  test::TempDir dir;
  const std::string cap = dir.path() + "/m.cap";
  { std::ofstream(cap) << Sealed(body); }
  const std::string script = "!echo \"\\x1b[31m\"\nIsWinMe(\"\x1b\")\n";
  std::istringstream in(script);
  std::ostringstream out, err;
  RunNativeHost({"--from-capture", cap, "--machine", dir.path() + "/copy",
                 "--trace", "-"},
                in, out, err);
  const std::string all = out.str() + err.str();
  EXPECT_NE(all.find("\\x1B]0;owned\\x07\\nforged line"), std::string::npos)
      << all;
  for (char c : all)
    EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << all;
}

// A script of one endless line is refused at its bound, not held whole.
TEST(HostileCapture, AnEndlessScriptLineIsRefusedAtItsBound) {
  std::istringstream in("IsWinMe()\n!echo \"" + std::string(5u << 20, 'x') +
                        "\"\nIsWinMe()\n");
  std::ostringstream out, err;
  EXPECT_EQ(RunNativeHost({"-"}, in, out, err), 1);
  EXPECT_NE(err.str().find("the rest of the script is not read"),
            std::string::npos);
  EXPECT_EQ(out.str(), "IsWinMe() = 0\n");
}

}  // namespace
}  // namespace kv::host
