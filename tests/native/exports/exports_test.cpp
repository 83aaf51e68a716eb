// The exports layer itself: null captions, the last error each export's
// contract promises, and a test that forgot to bind a machine.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "exports/all.h"
#include "exports/dll_context.h"
#include "tests/native/support/sim_fixture.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;

// Set before every call: a stale value can't pass for the export's own.
constexpr DWORD kSentinel = 0xDEADBEEF;

// Both exports that show a box under the caller's caption. On a fresh
// machine AddLPD finds no LPR Port monitor and shows its key path.
TEST(ExportCaptions, NullGivesTheSystemDefaultTitle) {
  struct Case {
    const char* exportName;
    LPCSTR caption;
    const char* shown;
  };
  const Case cases[] = {
      {"LastErrorMessageBox", nullptr, "Error"},
      {"LastErrorMessageBox", "KORVA Setup", "KORVA Setup"},
      {"LastErrorMessageBox", "", ""},
      {"AddLPD", nullptr, "Error"},
      {"AddLPD", "KORVA Setup", "KORVA Setup"},
      {"AddLPD", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.exportName) + " caption " +
                 (c.caption ? "\"" + std::string(c.caption) + "\"" : "null"));
    SimMachine m(WindowsVersion::XP);
    m.BindExports();
    if (std::string(c.exportName) == "AddLPD") {
      char out[1024] = "untouched";
      ::AddLPD(0, m.os().CreateWindowHandle("owner"), c.caption, out);
      EXPECT_STREQ(out, "untouched");
    } else {
      ::LastErrorMessageBox(c.caption);
    }
    ASSERT_EQ(m.os().messageBoxes().size(), 1u);
    EXPECT_EQ(m.os().messageBoxes()[0].caption, c.shown);
    UnbindExportPlatform();
  }
}

// What the contracts at the declarations say of the last error: a code set
// by the library, the system's error, or the caller's value untouched
// (kSentinel).
TEST(ExportLastError, IsWhatTheContractSays) {
  SimMachine m(WindowsVersion::XP);
  m.BindExports();
  char mac[18] = {};
  char spaced[] = "  text  ";
  const std::string longName(200, 'p');
  struct Case {
    const char* call;
    std::function<long long()> run;
    long long result;
    DWORD lastError;
  };
  const Case cases[] = {
      {"StdTcpIpPortSet empty",
       [] { return ::StdTcpIpPortSet("", "10.0.0.1"); }, 0, ERROR_INVALID_NAME},
      {"KVPortSet null", [] { return ::KVPortSet(nullptr, "10.0.0.1"); }, 0,
       ERROR_INVALID_NAME},
      {"StdTcpIpPortSetNt long",
       [&] { return ::StdTcpIpPortSetNt(longName.c_str(), "server"); }, 0,
       ERROR_FILENAME_EXCED_RANGE},
      {"StdTcpIpPortSet9x empty",
       [] { return ::StdTcpIpPortSet9x(nullptr, "", "host", "kv.sii"); }, 0,
       ERROR_INVALID_NAME},
      {"PrinterCheck unknown", [] { return ::PrinterCheck("No Such Printer"); },
       0, ERROR_INVALID_PRINTER_NAME},
      {"PrinterCheck null", [] { return ::PrinterCheck(nullptr); }, 0,
       kSentinel},
      {"WinSub_CreateDirectory existing",
       [] { return ::WinSub_CreateDirectory("C:\\WINDOWS"); }, 0,
       ERROR_ALREADY_EXISTS},
      {"Xcopy missing source",
       [] { return ::Xcopy("C:\\NoMedium", "C:\\WINDOWS", "", "LNKSCAN"); }, 0,
       ERROR_PATH_NOT_FOUND},
      {"Xcopy null source",
       [] { return ::Xcopy(nullptr, "C:\\WINDOWS", "", "LNKSCAN"); }, 0,
       kSentinel},
      {"ToInstallTTF missing",
       [] { return ::ToInstallTTF("C:\\WINDOWS\\NoSuch.ttf", 0); }, 0,
       ERROR_FILE_NOT_FOUND},
      {"DepInit", [] { return ::DepInit(); }, 1, kSentinel},
      {"MakeDep", [] { return ::MakeDep("KV.DLL=1"); }, 1, kSentinel},
      {"TimerThreadState", [] { return ::TimerThreadState(); }, 0, kSentinel},
      {"TimerThread_TmStart", [] { return ::TimerThread_TmStart(); }, 0,
       kSentinel},
      {"DF_GetMacAddress", [&] { return ::DF_GetMacAddress(mac); }, 17,
       kSentinel},
      {"DelSpace", [&] { return ::DelSpace(spaced); }, 1, kSentinel},
      {"StrFind", [] { return ::StrFind("kv", "THE KV 100"); }, 1, kSentinel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    m.os().SetLastError(kSentinel);
    EXPECT_EQ(c.run(), c.result);
    EXPECT_EQ(m.os().GetLastError(), c.lastError);
  }
  UnbindExportPlatform();
}

TEST(ExportBindingDeathTest, UnboundExportsAbortLoudly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  UnbindExportPlatform();
  EXPECT_DEATH(::IsWinMe(), "no platform bound to the exports");
  // The string operations need no machine and keep working.
  EXPECT_EQ(::TopStringNum("7"), 1);
}

}  // namespace
}  // namespace kv::test
