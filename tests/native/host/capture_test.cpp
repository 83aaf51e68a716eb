// Captures: a machine's copy loaded from its capture is the machine as far
// as a snapshot sees it, a file whose content was not captured is never
// read, the text form reads back whatever the names and contents hold, and
// a cut, edited or newer capture is refused by line with nothing loaded.
#include "host/capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/capture_load.h"
#include "host/host_main.h"
#include "host/snapshot.h"
#include "printer/registration.h"
#include "tests/native/support/printer_support.h"

namespace kv::host {
namespace {

using sim::WindowsVersion;

// A machine with the sample printer registered, an uninstall setup file
// and an INF copy (captured with their content), a batch, and a user's
// file (a placeholder).
void Install(test::SimMachine& m) {
  test::PlaceMedium(m);
  auto& os = m.os();
  ASSERT_EQ(ToRegPrinter(m.ctx(), "LPT1:", "KV-1000", 1, test::kSetupDir,
                         "KV \"Printer\"", 0, test::kSii),
            1);
  ASSERT_TRUE(os.WriteTextFile(os.windowsDir() + "\\vt3eins.sii",
                               test::SampleSii().Text()));
  ASSERT_TRUE(os.WriteTextFile(os.systemDir() + "\\KVDRV\\kv.inf",
                               "[Files]\r\nkvdrvnt.dll\r\n\x81\x5c\r\n"));
  ASSERT_TRUE(os.WriteTextFile(os.systemDir() + "\\VT3E.bat", "del x\r\n"));
  ASSERT_TRUE(os.WriteTextFile(os.windowsDir() + "\\user.doc", "private"));
}

std::set<std::string> FactLines(const Snapshot& s) {
  std::set<std::string> lines;
  for (const auto& [id, fact] : s.facts) {
    // win.ini and system.ini are carried by their sections: the copy's
    // files are written anew.
    if (fact.group == SnapshotGroup::kFiles &&
        (fact.names[0] == "win.ini" || fact.names[0] == "system.ini"))
      continue;
    lines.insert(FactText(fact));
  }
  return lines;
}

TEST(CaptureTest, TheCopyIsTheMachine) {
  for (WindowsVersion v : {WindowsVersion::NT4, WindowsVersion::Win98,
                           WindowsVersion::Win2000, WindowsVersion::XP}) {
    SCOPED_TRACE(sim::WindowsVersionName(v));
    test::SimMachine machine(v);
    Install(machine);
    const UINT codePage = v == WindowsVersion::Win98 ? 932 : 1252;
    machine.os().SetCodePage(codePage);
    machine.os().SetDiskSpace(123456789ull << 4, 987654321ull << 4);
    const Capture capture = TakeCapture(machine.os());
    Capture read;
    std::string why;
    ASSERT_TRUE(ParseCapture(CaptureText(capture), "m.cap", &read, &why))
        << why;
    EXPECT_EQ(CaptureText(read), CaptureText(capture));

    test::SimMachine copy(v);
    std::ostringstream out;
    LoadCapture(read, copy.os(), out);
    EXPECT_NE(out.str().find("the copy's lists are the machine's"),
              std::string::npos)
        << out.str();
    // Only the differences, each side's.
    const auto a = FactLines(TakeSnapshot(machine.os()));
    const auto b = FactLines(TakeSnapshot(copy.os()));
    std::vector<std::string> onlyMachine, onlyCopy;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(),
                        std::back_inserter(onlyMachine));
    std::set_difference(b.begin(), b.end(), a.begin(), a.end(),
                        std::back_inserter(onlyCopy));
    EXPECT_EQ(onlyMachine, std::vector<std::string>());
    EXPECT_EQ(onlyCopy, std::vector<std::string>());

    // The parsed files come with their content, the others are never read.
    auto& os = copy.os();
    EXPECT_EQ(os.codePage(), codePage);
    ULARGE_INTEGER free = {}, total = {}, totalFree = {};
    ASSERT_TRUE(os.GetDiskFreeSpaceExA("C:\\", &free, &total, &totalFree));
    EXPECT_EQ(free.QuadPart, 123456789ull << 4);
    EXPECT_EQ(total.QuadPart, 987654321ull << 4);
    std::string text;
    EXPECT_TRUE(os.ReadTextFile(os.systemDir() + "\\KVDRV\\kv.inf", &text));
    EXPECT_EQ(text, "[Files]\r\nkvdrvnt.dll\r\n\x81\x5c\r\n");
    char model[64] = {};
    EXPECT_GT(os.GetPrivateProfileStringA("ModelName", "Model1", "", model,
                                          sizeof model, "vt3eins.sii"),
              0u);
    EXPECT_FALSE(os.IsPlaceholder(os.windowsDir() + "\\vt3eins.sii"));
    EXPECT_TRUE(os.IsPlaceholder(os.windowsDir() + "\\user.doc"));
    EXPECT_EQ(
        os.CreateFileA((os.windowsDir() + "\\user.doc").c_str(), GENERIC_READ,
                       0, nullptr, OPEN_EXISTING, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(os.GetLastError(), 4350u);
  }
}

// Every way a capture file can be damaged is refused with its line, and
// the capture given is left as it was.
TEST(CaptureTest, RefusesCutEditedAndNewerFiles) {
  test::SimMachine machine(WindowsVersion::XP);
  Install(machine);
  const std::string good = CaptureText(TakeCapture(machine.os()));
  Capture untouched;
  untouched.csd = "untouched";
  const auto refusal = [&](const std::string& text) {
    Capture c = untouched;
    std::string why;
    const bool ok = ParseCapture(text, "m.cap", &c, &why);
    if (!ok) {
      EXPECT_EQ(c.csd, "untouched") << "half-read: " << why;
    }
    return ok ? std::string() : why;
  };
  ASSERT_EQ(refusal(good), "");

  // Cut at every line end, and inside the last line.
  size_t lines = 0;
  for (size_t at = good.find('\n'); at + 1 < good.size();
       at = good.find('\n', at + 1)) {
    ++lines;
    EXPECT_NE(refusal(good.substr(0, at + 1)).find("cut short"),
              std::string::npos)
        << "cut after line " << lines;
  }
  EXPECT_NE(refusal(good.substr(0, good.size() - 3)).find("cut short"),
            std::string::npos);

  // One character edited in every record kind: the checksum tells.
  for (const char* kind : {"\nvalue ", "\nfile ", "\nservice ", "\nkey "}) {
    std::string edited = good;
    const size_t at = edited.find(kind);
    ASSERT_NE(at, std::string::npos) << kind;
    const size_t quote = edited.find('"', at) + 1;
    edited[quote] = edited[quote] == 'Z' ? 'Y' : 'Z';
    EXPECT_NE(refusal(edited).find("checksum does not match"),
              std::string::npos)
        << kind;
  }

  const struct {
    std::string text;
    std::string why;
  } kCases[] = {
      {"kvsup-capture 2\n" + good.substr(good.find('\n') + 1),
       "m.cap:1: format 2, newer than the format 1"},
      {"kvsup-snapshot 1\n", "m.cap:1: not a capture"},
      {good.substr(0, good.find('\n') + 1) + "system 2 5 1\n",
       "m.cap:2: a system record reads"},
      {good.substr(0, good.find('\n') + 1) + "bogus 1\n",
       "m.cap:2: unknown record bogus"},
      {good.substr(0, good.find('\n') + 1) + "key HKXX \"a\"\n",
       "m.cap:2: unknown registry root HKXX"},
      {good.substr(0, good.find('\n') + 1) + "file \"a\" 3 0x20 1 \"ab\"\n",
       "m.cap:2: a bad size, attributes, time or content"},
      {good.substr(0, good.find('\n') + 1) + "system 2 5 1 2600 \"\x01\"\n",
       "m.cap:2: byte 0x01 is not text"},
      {good + "system 2 5 1 2600 \"\"\n", "text after the end line"},
  };
  for (const auto& c : kCases)
    EXPECT_NE(refusal(c.text).find(c.why), std::string::npos) << c.why;
}

// The host loads a capture only into a new machine folder, and only a
// whole capture of the version asked for; then the script runs on it.
TEST(CaptureTest, TheHostLoadsIntoANewFolderOnly) {
  test::SimMachine machine(WindowsVersion::XP);
  Install(machine);
  test::TempDir dir;
  const std::string good = dir.path() + "/m.cap", cut = dir.path() + "/cut.cap";
  const std::string text = CaptureText(TakeCapture(machine.os()));
  std::ofstream(good, std::ios::binary) << text;
  std::ofstream(cut, std::ios::binary) << text.substr(0, text.size() / 2);
  const std::string script = dir.path() + "/s.kvs";
  std::ofstream(script) << "GetPrinterNum()\n";
  const std::string copy = dir.path() + "/copy";
  const struct {
    std::vector<std::string> args;
    int rc;
    const char* says;
    bool made;
  } kCases[] = {
      {{"--from-capture", good}, 2, "needs --machine DIR", false},
      {{"--from-capture", cut, "--machine", copy}, 2, "cut.cap:", false},
      {{"--from-capture", good, "--machine", copy, "--os", "win98"},
       2,
       "the capture is of a winxp machine, not win98",
       false},
      {{"--from-capture", good, "--machine", dir.path()},
       2,
       "is not empty",
       false},
      {{"--from-capture", good, "--machine", copy, script},
       0,
       "GetPrinterNum() = 1",
       true},
      {{"--from-capture", good, "--machine", copy},
       2,
       "holds a machine already",
       true},
  };
  for (const auto& c : kCases) {
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(RunNativeHost(c.args, in, out, err), c.rc) << err.str();
    EXPECT_NE((out.str() + err.str()).find(c.says), std::string::npos)
        << out.str() << err.str();
    EXPECT_EQ(std::filesystem::exists(copy + "/machine.ini"), c.made) << c.says;
  }
}

TEST(CaptureTest, AnUnknownVersionLoadsAsTheNearestFamily) {
  const struct {
    DWORD platform, major, minor;
    WindowsVersion version;
    bool known;
  } kCases[] = {
      {VER_PLATFORM_WIN32_WINDOWS, 4, 10, WindowsVersion::Win98, true},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 90, WindowsVersion::WinMe, true},
      {VER_PLATFORM_WIN32_NT, 4, 0, WindowsVersion::NT4, true},
      {VER_PLATFORM_WIN32_NT, 5, 1, WindowsVersion::XP, true},
      {VER_PLATFORM_WIN32_NT, 6, 0, WindowsVersion::Vista, true},
      {VER_PLATFORM_WIN32_NT, 6, 2, WindowsVersion::Win10NoManifest, true},
      {VER_PLATFORM_WIN32_NT, 10, 0, WindowsVersion::Win10, true},
      {VER_PLATFORM_WIN32_NT, 11, 0, WindowsVersion::Win10, false},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 50, WindowsVersion::Win98, false},
      {9, 1, 0, WindowsVersion::XP, false},
  };
  for (const auto& k : kCases) {
    Capture c;
    c.platform = k.platform;
    c.major = k.major;
    c.minor = k.minor;
    WindowsVersion v;
    std::string note;
    EXPECT_EQ(CaptureVersion(c, &v, &note), k.known) << note;
    EXPECT_EQ(v, k.version) << k.major << "." << k.minor;
    EXPECT_EQ(note.find("none the library knows") != std::string::npos,
              !k.known);
  }
}

}  // namespace
}  // namespace kv::host
