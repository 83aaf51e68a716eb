// Profile files of the simulated machine: Windows' reading and writing rules,
// and the answers the real profile functions gave under Wine for a fixed
// table of calls.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <map>

#include "tests/native/support/sim_fixture.h"

// The probe's table of calls, shared with the cross-built Wine probe.
#include "tests/wine/probes/profile_probe.cpp"

namespace kv {
namespace {

using sim::WindowsVersion;
using test::SimMachine;

// Where Wine departs from what Windows documents, the simulated machine
// follows Windows; these lines of the probe differ from the Wine fixture.
// - Key and section name lists that do not fit: Windows cuts the list and
//   ends it with two NULs in the buffer's last two bytes, answering size - 2;
//   Wine leaves the last byte unwritten (and at size 2 stores a stray byte).
//   A list that fits exactly is not cut.
// - A default of blanks only: Windows removes the default's trailing blanks;
//   Wine keeps the first one.
// - Writes: Windows changes only the lines it must; Wine rewrites the whole
//   file from its parse (dropping blank lines, re-spacing "k = v" lines and
//   section headers).
const std::map<std::string, std::string>& WindowsLines() {
  static const std::map<std::string, std::string> lines = {
      {"def-blank-only",
       "def-blank-only ret=0 err=0 buf=\\0" + std::string(64, '#')},
      {"keys-cut-10", "keys-cut-10 ret=8 err=0 buf=key1\\0Key\\0\\0#"},
      {"keys-cut-4", "keys-cut-4 ret=2 err=0 buf=ke\\0\\0#"},
      {"keys-cut-3", "keys-cut-3 ret=1 err=0 buf=k\\0\\0#"},
      {"keys-cut-2", "keys-cut-2 ret=0 err=0 buf=\\0\\0#"},
      {"keys-exact-1", "keys-exact-1 ret=4 err=0 buf=a\\0b\\0\\0#"},
      {"sections-cut-12",
       "sections-cut-12 ret=10 err=0 buf=Section1\\0S\\0\\0#"},
      {"sections-cut-9", "sections-cut-9 ret=7 err=0 buf=Section\\0\\0#"},
      {"w-file",
       "w-file file=; leading comment\\r\\n[Section1]\\r\\nkey1=changed\\r\\n"
       "  Key2  =  spaced value  \\r\\nquoted=\"quoted value\"\\r\\n"
       "squoted='single'\\r\\nhalfquote=\"open\\r\\nmixquote=\"mixed'\\r\\n"
       "empty=\\r\\nnoequals\\r\\nneg=-17\\r\\nhex=0x10\\r\\nlead= 12abc\\r\\n"
       "plus=+5\\r\\nword=abc\\r\\nbig=4294967295\\r\\ndup=first\\r\\n"
       "dup=second\\r\\n\\r\\n[ Section2 ]\\r\\na=1\\r\\n; inner comment\\r\\n"
       "b = "
       "two\\r\\nc=three\\r\\nd=padded\\r\\ne=\\r\\n[Added]\\r\\nk=v\\r\\n"},
  };
  return lines;
}

std::string Label(const std::string& line) {
  return line.substr(0, line.find(' '));
}

// The expected file holds what the table answered under Wine (winxp; win98
// answers the same); see profile_probe.cpp for how to regenerate it.
TEST(ProfileProbe, SimulatedMachineAnswersAsTheRealProfileFunctions) {
  std::string fixture = __FILE__;
  fixture = fixture.substr(0, fixture.rfind("/native/")) +
            "/fixtures/profile_probe.expected";
  std::ifstream in(fixture);
  ASSERT_TRUE(in) << fixture;
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);) expected.push_back(line);

  for (WindowsVersion v : {WindowsVersion::XP, WindowsVersion::Win98}) {
    SimMachine m(v);
    const std::vector<std::string> actual = probe::RunProfileProbe(m.os());
    ASSERT_EQ(actual.size(), expected.size());
    size_t divergences = 0;
    for (size_t i = 0; i < actual.size(); ++i) {
      auto windows = WindowsLines().find(Label(expected[i]));
      if (windows != WindowsLines().end()) {
        ++divergences;
        EXPECT_NE(expected[i], windows->second)
            << "Wine now answers as Windows: drop the exception";
        EXPECT_EQ(actual[i], windows->second) << "line " << i + 1;
      } else {
        EXPECT_EQ(actual[i], expected[i]) << "line " << i + 1;
      }
    }
    EXPECT_EQ(divergences, WindowsLines().size());
  }
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// Rules the Wine table does not reach: files the machine refuses to change,
// and what a write does to the rest of the file.
TEST(SimProfile, WritesKeepTheFileAndRespectItsState) {
  test::SimMachine m(sim::WindowsVersion::Win98);
  auto& os = m.os();
  ASSERT_TRUE(os.WriteTextFile("C:\\p\\a.ini", "[S]\nk=1\n\n[T]\r\nx = 2\r\n"));
  ASSERT_TRUE(os.WritePrivateProfileStringA("s", "NEW", "v", "C:\\P\\A.INI"));
  std::string text;
  ASSERT_TRUE(os.ReadTextFile("C:\\p\\a.ini", &text));
  EXPECT_EQ(text, "[S]\r\nk=1\r\nNEW=v\r\n\r\n[T]\r\nx = 2\r\n");

  ASSERT_TRUE(os.SetFileAttributesA("C:\\p\\a.ini", FILE_ATTRIBUTE_READONLY));
  os.SetLastError(0xBEEF);
  EXPECT_FALSE(os.WritePrivateProfileStringA("S", "k", "2", "C:\\p\\a.ini"));
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  ASSERT_TRUE(os.SetFileAttributesA("C:\\p\\a.ini", FILE_ATTRIBUTE_NORMAL));
  os.SetFileInUse("C:\\p\\a.ini", true);
  os.SetLastError(test::kStaleError);
  EXPECT_FALSE(os.WritePrivateProfileStringA("S", "k", "2", "C:\\p\\a.ini"));
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  os.SetFileInUse("C:\\p\\a.ini", false);

  // Removing from a file that does not exist creates nothing.
  EXPECT_TRUE(
      os.WritePrivateProfileStringA("S", nullptr, nullptr, "C:\\p\\b.ini"));
  EXPECT_EQ(os.GetFileAttributesA("C:\\p\\b.ini"), INVALID_FILE_ATTRIBUTES);
  // The flush answers FALSE, as Windows documents.
  EXPECT_FALSE(os.WriteProfileStringA(nullptr, nullptr, nullptr));
  // An injected failure leaves the file as it was.
  os.FailOperation("WritePrivateProfileStringA", ERROR_HANDLE_DISK_FULL);
  os.SetLastError(test::kStaleError);
  EXPECT_FALSE(os.WritePrivateProfileStringA("S", "k", "9", "C:\\p\\a.ini"));
  EXPECT_EQ(os.GetLastError(), DWORD{ERROR_HANDLE_DISK_FULL});
  EXPECT_EQ(os.GetPrivateProfileIntA("S", "k", 0, "C:\\p\\a.ini"), 1u);
}

TEST(SimProfile, WinIniIsTheWindowsDirectorysOne) {
  test::SimMachine m(sim::WindowsVersion::NT4);
  auto& os = m.os();
  ASSERT_TRUE(os.WriteProfileStringA("windows", "device", "P,WINSPOOL,LPT1:"));
  char buf[32];
  EXPECT_EQ(os.GetPrivateProfileStringA("Windows", "Device", "", buf,
                                        sizeof buf, "C:\\WINDOWS\\WIN.INI"),
            16u);
  EXPECT_STREQ(buf, "P,WINSPOOL,LPT1:");
  // Other keys of the section stay.
  EXPECT_EQ(os.GetProfileStringA("windows", "NullPort", "", buf, sizeof buf),
            4u);
}

// A setup file of thousands of models is parsed once for all its reads, and
// a change made any way (even one that keeps the size, at once) is seen by
// the next read.
TEST(SimProfile, LargeFileIsParsedOncePerChange) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  constexpr int kModels = 5000;
  const char* file = "C:\\medium\\big.sii";
  std::string text = "[ModelName]\r\nnModelNum=5000\r\n";
  for (int i = 1; i <= kModels; ++i)
    text += "Model" + std::to_string(i) + "=KV-" + std::to_string(i) + "\r\n";
  text += "[DevID]\r\n";
  for (int i = 1; i <= kModels; ++i)
    text += "KV-" + std::to_string(i) + "=ID" + std::to_string(i) + "\r\n";
  ASSERT_TRUE(os.WriteTextFile(file, text));
  const size_t before = os.ProfileParses();
  char buf[256];
  for (int i = 1; i <= kModels; ++i) {
    const std::string model = "KV-" + std::to_string(i);
    os.GetPrivateProfileStringA("ModelName",
                                ("Model" + std::to_string(i)).c_str(), "", buf,
                                sizeof buf, file);
    ASSERT_EQ(model, buf);
    os.GetPrivateProfileStringA("DevID", model.c_str(), "", buf, sizeof buf,
                                file);
    ASSERT_EQ("ID" + std::to_string(i), std::string(buf));
  }
  EXPECT_EQ(os.ProfileParses() - before, 1u);

  const struct {
    const char* change;
    std::function<void()> apply;
    const char* key;
    const char* value;  // null: the file is gone
  } changes[] = {
      {"rewritten, same size",
       [&] {
         std::string same = text;
         same.replace(same.find("Model1=KV-1\r"), 11, "Model1=KV-X");
         ASSERT_TRUE(os.WriteTextFile(file, same));
       },
       "Model1", "KV-X"},
      {"written by the profile call",
       [&] {
         ASSERT_TRUE(
             os.WritePrivateProfileStringA("ModelName", "Model2", "new", file));
       },
       "Model2", "new"},
      {"deleted", [&] { ASSERT_TRUE(os.DeleteFileA(file)); }, "Model3",
       nullptr},
  };
  for (const auto& c : changes) {
    SCOPED_TRACE(c.change);
    c.apply();
    const size_t parses = os.ProfileParses();
    os.SetLastError(test::kStaleError);
    os.GetPrivateProfileStringA("ModelName", c.key, "none", buf, sizeof buf,
                                file);
    EXPECT_STREQ(buf, c.value ? c.value : "none");
    EXPECT_EQ(os.GetLastError(),
              DWORD(c.value ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(os.ProfileParses() - parses, c.value ? 1u : 0u);
  }
}

}  // namespace
}  // namespace kv
