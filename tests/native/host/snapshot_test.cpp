// Machine snapshots and the leftover report: what a registration adds shows
// as left behind, the text form reads back as written and refuses damaged
// files by name and line, known items are filtered with their reasons, and
// both host options work end to end.
#include "host/snapshot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/handles.h"
#include "foundation/registry.h"
#include "host/host_main.h"
#include "host/leftovers.h"
#include "printer/registration.h"
#include "sim/sim_services.h"
#include "tests/native/support/printer_support.h"
#include "uninstall/uninstall_entries.h"

namespace kv::host {
namespace {

namespace fs = std::filesystem;
using sim::WindowsVersion;

constexpr const char* kPrinter = "KV Printer";

// A literal with its embedded nulls.
template <size_t N>
std::string Bytes(const char (&s)[N]) {
  return std::string(s, N - 1);
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The report as printed.
std::string Report(const LeftoverReport& r) {
  std::ostringstream out;
  PrintLeftoverReport(r, out);
  return out.str();
}

// A machine with the sample medium in place, snapshotted before and after
// ToRegPrinter.
struct Registered {
  explicit Registered(WindowsVersion v) : m(v) {
    test::PlaceMedium(m);
    before = TakeSnapshot(m.os());
    rc = ToRegPrinter(m.ctx(), "LPT1:", "KV-1000", 1, test::kSetupDir, kPrinter,
                      0, test::kSii);
    after = TakeSnapshot(m.os());
  }
  test::SimMachine m;
  Snapshot before, after;
  int rc;
};

// Registered on XP, then a version record never seen, or none: removal
// leaves the machine as it is.
TEST(SnapshotTest, RemovalOnAnUnknownWindowsChangesNothing) {
  const std::string noEnd(128, 'S');  // service-pack text without its end
  const struct {
    DWORD platform, major, minor;
    std::string csd;
  } cases[] = {{VER_PLATFORM_WIN32_NT, 3, 51, "Service Pack 5"},
               {VER_PLATFORM_WIN32_NT, 3, 10, noEnd},
               {VER_PLATFORM_WIN32s, 3, 10, ""},
               {3, 10, 0, noEnd},                       // a later platform
               {VER_PLATFORM_WIN32_NT, 5, 1, "lost"}};  // record unreadable
  for (const auto& c : cases) {
    Registered r(WindowsVersion::XP);
    auto& os = r.m.os();
    ASSERT_EQ(r.rc, 1);
    ASSERT_TRUE(os.WriteTextFile(os.windowsDir() + "\\vt3eins.sii",
                                 test::SampleSii().Text()));
    ASSERT_TRUE(os.WriteTextFile(os.windowsDir() + "\\font1.sii",
                                 "[FontSections]\r\n1=kv.ttf\r\n"));
    ASSERT_TRUE(os.WriteTextFile(os.windowsDir() + "\\Fonts\\kv.ttf", "F"));
    os.SetVersionRecord(c.platform, c.major, c.minor, 0, c.csd);
    if (c.csd == "lost")
      os.FailOperation("GetVersionExA", ERROR_INVALID_PARAMETER, 0, -1);
    const Snapshot before = TakeSnapshot(os);
    UninstInitialize(r.m.ctx());
    UninstUnInitialize(r.m.ctx());
    const LeftoverReport report =
        CompareSnapshots(before, TakeSnapshot(os), {});
    EXPECT_TRUE(report.clean())
        << c.platform << "/" << c.major << "." << c.minor << "\n"
        << Report(report);
  }
}

TEST(SnapshotTest, RegistrationShowsAsLeftBehindAndItsUndoingAsRemoved) {
  const struct {
    WindowsVersion version;
    std::vector<std::string> leftBehind;
  } kCases[] = {
      {WindowsVersion::XP,
       {"spooler:\n"
        "  left behind: driver \"KORVA KV-1000\"\n"
        "  left behind: monitor \"KV Lang Monitor\" = dll \"kvmon2k.dll\"\n"
        "  left behind: printer \"KV Printer\" = driver \"KORVA KV-1000\" "
        "port \"LPT1:\"\n",
        "left behind: key \"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\"
        "Printers\\KV Printer\"",
        "left behind: key \"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\"
        "Environments\\Windows NT x86\\Drivers\\Version-3\\KORVA KV-1000\"",
        "left behind: value \"HKCU\\Software\\Microsoft\\Windows "
        "NT\\CurrentVersion\\Devices\" \"KV Printer\" = sz \"winspool,LPT1:\"",
        "services:\n  left behind: key "
        "\"HKLM\\SYSTEM\\CurrentControlSet\\Services\\KvLpt\"",
        "left behind: file "
        "\"SYSTEM32\\spool\\drivers\\w32x86\\3\\kvdrv2k.dll\""}},
      {WindowsVersion::Win98,
       {"left behind: driver \"KORVA KV-1000\"\n",
        "left behind: printer \"KV Printer\" = driver \"KORVA KV-1000\"",
        "win.ini:\n  left behind: entry \"Devices\" \"KV Printer\" = "
        "\"KVDRV,LPT1:\"",
        "left behind: key \"HKLM\\Enum\\LPTENUM\\KORVAKV-1000D1A2\""}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(sim::WindowsVersionName(c.version));
    Registered r(c.version);
    ASSERT_EQ(r.rc, 1);
    EXPECT_TRUE(r.before.limits.empty());
    EXPECT_TRUE(CompareSnapshots(r.before, r.before, {}).clean());

    const LeftoverReport forward = CompareSnapshots(r.before, r.after, {});
    const std::string text = Report(forward);
    EXPECT_FALSE(forward.clean());
    for (const std::string& line : c.leftBehind)
      EXPECT_TRUE(Has(text, line)) << line << "\n--- in:\n" << text;
    EXPECT_FALSE(Has(text, "removed:")) << text;
    EXPECT_TRUE(Has(text, "something unknown is left\n")) << text;

    // The same two snapshots the other way round: what a removal that took
    // too much looks like.
    const std::string back = Report(CompareSnapshots(r.after, r.before, {}));
    EXPECT_TRUE(Has(back, "removed: printer \"KV Printer\"")) << back;
    EXPECT_FALSE(Has(back, "left behind:")) << back;
  }
}

// Each spooler list as the spooler gives it; a list that cannot be had is
// recorded as its call's error while the others are still listed.
TEST(SnapshotTest, SpoolerListsAndTheirFailures) {
  const struct {
    const char* call;
    const char* fact;  // what the list gives on the registered machine
  } kLists[] = {
      {"EnumPrintersA", "spooler printer \"KV Printer\" = "},
      {"EnumMonitorsA", "spooler monitor \"Local Port\" = "},
      {"EnumPortsA", "spooler port \"LPT1:\"\n"},
      {"EnumPrinterDriversA", "spooler driver \"KORVA KV-1000\"\n"},
      {"EnumPrintProcessorsA", "spooler processor \"WinPrint\"\n"},
  };
  Registered r(WindowsVersion::XP);
  ASSERT_EQ(r.rc, 1);
  sim::SimPlatform& os = r.m.os();
  auto error = [](const char* call, DWORD e) {
    return std::string("spooler error \"") + call + "\" = error " +
           std::to_string(e) + "\n";
  };
  // None failing, then each in turn.
  for (int failing = -1; failing < int(std::size(kLists)); ++failing) {
    SCOPED_TRACE(failing < 0 ? "none" : kLists[failing].call);
    if (failing >= 0)
      os.FailOperation(kLists[failing].call, ERROR_ACCESS_DENIED);
    const std::string text = SnapshotText(TakeSnapshot(os));
    for (int i = 0; i < int(std::size(kLists)); ++i) {
      EXPECT_EQ(Has(text, kLists[i].fact), i != failing) << text;
      EXPECT_EQ(Has(text, error(kLists[i].call, ERROR_ACCESS_DENIED)),
                i == failing)
          << text;
    }
  }
  // A stopped spooler answers none of them (RPC_S_SERVER_UNAVAILABLE).
  constexpr DWORD kServerUnavailable = 1722;
  sim::SetServiceState(os, "Spooler", SERVICE_STOPPED);
  const std::string text = SnapshotText(TakeSnapshot(os));
  for (const auto& l : kLists) {
    EXPECT_FALSE(Has(text, l.fact)) << text;
    EXPECT_TRUE(Has(text, error(l.call, kServerUnavailable))) << text;
  }
}

TEST(SnapshotTest, ReadsBackWhatItWroteWhateverTheNames) {
  Registered r(WindowsVersion::XP);
  // Names no Windows tool forbids, and data that is not text.
  sim::SimPlatform& os = r.m.os();
  RegKey key(os);
  ASSERT_EQ(
      CreateKey(os, HKEY_LOCAL_MACHINE, "Software\\KORVA\\Odd \"Key\"", key),
      ERROR_SUCCESS);
  const BYTE binary[] = {0, 1, 0xFF, '"', '\\'};
  ASSERT_EQ(os.RegSetValueExA(key.get(), "tab\there \\ \"q\" \xE9", 0,
                              REG_BINARY, binary, sizeof binary),
            ERROR_SUCCESS);
  const char multi[] = "one\0two \\ \"\0";
  ASSERT_EQ(
      os.RegSetValueExA(key.get(), "", 0, REG_MULTI_SZ,
                        reinterpret_cast<const BYTE*>(multi), sizeof multi),
      ERROR_SUCCESS);
  ASSERT_TRUE(os.WriteTextFile(os.windowsDir() + "\\odd = name \xE9.txt", "x"));
  Snapshot s = TakeSnapshot(os);
  s.limits.push_back("files: a bound \"reached\"");

  test::TempDir dir;
  const std::string path = dir.path() + "/snap.txt";
  std::string error;
  ASSERT_TRUE(WriteSnapshot(s, path, &error)) << error;
  Snapshot back;
  ASSERT_TRUE(ReadSnapshot(path, &back, &error)) << error;
  EXPECT_TRUE(back == s);
  EXPECT_EQ(SnapshotText(back), SnapshotText(s));
  const std::string text = SnapshotText(s);
  EXPECT_TRUE(Has(text,
                  "\"tab\\x09here \\\\ \\\"q\\\" \\xe9\" = type "
                  "0x00000003 5 bytes 0001ff225c"))
      << text;
  EXPECT_TRUE(Has(text, "= multi_sz \"one\" \"two \\\\ \\\"\"")) << text;
}

TEST(SnapshotTest, RefusesDamagedFilesNamingFileAndLine) {
  const std::string good =
      "kvsup-snapshot 1\n"
      "system \"5.1.2600 platform 2\"\n"
      "spooler port \"LPT1:\"\n"
      "registry value \"HKLM\\\\Software\" \"v\" = dword 0x00000001\n"
      "end 2\n";
  {
    Snapshot s;
    std::string error;
    ASSERT_TRUE(ParseSnapshot(good, "good.txt", &s, &error)) << error;
    EXPECT_EQ(s.facts.size(), 2u);
  }
  const struct {
    const char* what;
    std::string text;
    const char* error;
  } kCases[] = {
      {"empty", "", "f.txt:1: empty file"},
      {"cut after a line", good.substr(0, good.find("end")),
       "f.txt:4: cut short: no end line"},
      {"cut inside a line", good.substr(0, good.find("dword") - 5),
       "f.txt:4: a quoted string is not closed"},
      {"other version", "kvsup-snapshot 2\nend 0\n",
       "f.txt:1: snapshot version 2; this host reads version 1"},
      {"not a snapshot", "REGEDIT4\n", "f.txt:1: not a kvsup snapshot"},
      {"binary",
       Bytes("\x7F"
             "ELF\x01\x01\0\0"),
       "f.txt:1: byte 0x7F"},
      {"binary after the header", Bytes("kvsup-snapshot 1\nsystem \"x\0\"\n"),
       "f.txt:2: byte 0x00"},
      {"unknown kind", "kvsup-snapshot 1\nsystem \"x\"\nspooler queue \"a\"\n",
       "f.txt:3: no fact \"queue\" in group spooler"},
      {"names missing", "kvsup-snapshot 1\nsystem \"x\"\nwin.ini entry \"a\"\n",
       "f.txt:3: a entry has 2 quoted names"},
      {"bad escape", "kvsup-snapshot 1\nsystem \"x\\q\"\n",
       "f.txt:2: a bad escape"},
      {"content without =",
       "kvsup-snapshot 1\nsystem \"x\"\nfiles dir \"a\" b\n",
       "f.txt:3: the names must be followed by \"=\""},
      {"count wrong", "kvsup-snapshot 1\nsystem \"x\"\nend 3\n",
       "f.txt:3: the end line counts 3 facts, the file has 0"},
      {"twice",
       "kvsup-snapshot 1\nsystem \"x\"\nfiles dir \"A\"\nfiles dir \"a\"\n",
       "f.txt:4: the same dir a second time"},
      {"after the end", good + "spooler port \"COM1:\"\n",
       "f.txt:6: text after the end line"},
  };
  for (const auto& c : kCases) {
    Snapshot s;
    std::string error;
    EXPECT_FALSE(ParseSnapshot(c.text, "f.txt", &s, &error)) << c.what;
    EXPECT_EQ(error.rfind(c.error, 0), 0u)
        << c.what << ": " << error << "\n  wanted: " << c.error;
  }
  // Through the file reader the error names the path.
  std::string error;
  Snapshot s;
  EXPECT_FALSE(ReadSnapshot("/nonexistent/before.txt", &s, &error));
  EXPECT_EQ(error, "/nonexistent/before.txt: cannot be read");
}

TEST(SnapshotTest, KnownItemsAreMarkedWithTheirReason) {
  Registered r(WindowsVersion::XP);
  const struct {
    const char* what;
    std::vector<KnownItem> known;
    bool clean;
    const char* line;  // in the report
    const char* absent;
  } kCases[] = {
      {"the printer only",
       {{SnapshotGroup::kSpooler, "printer", Change::kLeftBehind, "kv print*",
         "kept for the next model"}},
       false,
       "left behind: printer \"KV Printer\" = driver \"KORVA KV-1000\" port "
       "\"LPT1:\"\n      known: kept for the next model\n",
       nullptr},
      {"the wrong change",
       {{SnapshotGroup::kSpooler, "printer", Change::kRemoved, "*", "no"}},
       false,
       nullptr,
       "known: no"},
      {"the wrong group",
       {{SnapshotGroup::kRegistry, nullptr, Change::kAny, "KV Printer", "no"}},
       false,
       nullptr,
       "known: no"},
      {"everything",
       {{SnapshotGroup::kRegistry, nullptr, Change::kAny, "*", "all"},
        {SnapshotGroup::kSpooler, nullptr, Change::kAny, "*", "all"},
        {SnapshotGroup::kWinIni, nullptr, Change::kAny, "*", "all"},
        {SnapshotGroup::kServices, nullptr, Change::kAny, "*", "all"},
        {SnapshotGroup::kFiles, nullptr, Change::kAny, "*", "all"}},
       true,
       ": nothing unknown is left\n",
       nullptr},
  };
  for (const auto& c : kCases) {
    const LeftoverReport report = CompareSnapshots(r.before, r.after, c.known);
    const std::string text = Report(report);
    EXPECT_EQ(report.clean(), c.clean) << c.what << "\n" << text;
    EXPECT_FALSE(report.differences.empty()) << c.what;
    if (c.line) {
      EXPECT_TRUE(Has(text, c.line)) << c.what << "\n" << text;
    }
    if (c.absent) {
      EXPECT_FALSE(Has(text, c.absent)) << c.what << "\n" << text;
    }
  }
  // A snapshot cut short proves nothing about what it missed.
  Snapshot cut = r.after;
  cut.limits.push_back("files: more than 1 entries");
  const LeftoverReport report = CompareSnapshots(r.after, cut, {});
  EXPECT_FALSE(report.clean());
  EXPECT_TRUE(Has(Report(report), "warning: the later snapshot was cut short"));
}

TEST(SnapshotTest, HostOptionsWriteAndCompareSnapshots) {
  test::TempDir dir;
  const fs::path d = dir.path();
  std::ofstream(d / "kv.sii") << "[Files.Com]\nLmonn=KORVA Test Monitor\n"
                                 "[Files.2K]\nLmonm2K=kvmon.dll\n";
  std::ofstream(d / "kvmon.dll") << "stand-in monitor";
  std::ofstream(d / "install.kvs")
      << "InstallPrinterMonitor(\"C:\\\\kv.sii\")\n";
  auto host = [](std::vector<std::string> args, std::string* out) {
    std::istringstream in("IsWinMe()\n");  // never read with --snapshot alone
    std::ostringstream o, e;
    const int rc = RunNativeHost(args, in, o, e);
    *out = o.str() + e.str();
    return rc;
  };
  const std::string machine = (d / "machine").string();
  const std::string before = (d / "before.txt").string();
  const std::string after = (d / "after.txt").string();
  std::string out;
  ASSERT_EQ(
      host({"--machine", machine, "--os", "winxp", "--snapshot", before}, &out),
      0)
      << out;
  EXPECT_EQ(out, "");
  ASSERT_EQ(host({"--machine", machine, "--copy-in",
                  (d / "kv.sii").string() + "=C:\\kv.sii", "--copy-in",
                  (d / "kvmon.dll").string() + "=%SYSDIR%\\kvmon.dll",
                  "--snapshot", after, (d / "install.kvs").string()},
                 &out),
            0)
      << out;

  const struct {
    std::vector<std::string> args;
    int rc;
    const char* says;
  } kCases[] = {
      {{"--leftovers", before, before}, 0, "0 differences, 0 known"},
      {{"--leftovers", before, after},
       1,
       "left behind: monitor \"KORVA Test Monitor\" = dll \"kvmon.dll\""},
      {{"--leftovers", before, (d / "none.txt").string()}, 2, "cannot be read"},
      {{"--leftovers", before, (d / "install.kvs").string()},
       2,
       "install.kvs:1: not a kvsup snapshot"},
      {{"--leftovers", before}, 2, "--leftovers needs two snapshot files"},
      {{"--leftovers", before, after, "--snapshot", after},
       2,
       "--leftovers compares two files and runs nothing"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(host(c.args, &out), c.rc) << c.args.back() << "\n" << out;
    EXPECT_TRUE(Has(out, c.says)) << out;
  }
}

}  // namespace
}  // namespace kv::host
