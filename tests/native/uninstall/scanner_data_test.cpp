#include "uninstall/scanner_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/registry.h"
#include "foundation/setupinfo.h"
#include "tests/native/support/sim_fixture.h"
#include "uninstall/removal_guard.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;

constexpr char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

bool Exists(sim::SimPlatform& os, const std::string& path) {
  return os.GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Touch(sim::SimPlatform& os, const std::string& path,
           const std::string& content = "x") {
  ASSERT_TRUE(os.WriteTextFile(path, content)) << path;
}

void WriteSetup(sim::SimPlatform& os, const char* name,
                const std::string& text) {
  Touch(os, os.windowsDir() + "\\" + name, text);
}

void DeleteAppData(sim::SimPlatform& os) {
  RegKey key(os);
  ASSERT_EQ(OpenKey(os, HKEY_CURRENT_USER, kShellFolders, key), ERROR_SUCCESS);
  ASSERT_EQ(os.RegDeleteValueA(key.get(), "AppData"), ERROR_SUCCESS);
}

// Index of the first recorded call that begins with `prefix`, or -1.
long FindOperation(const sim::SimPlatform& os, const std::string& prefix) {
  const auto& ops = os.operations();
  for (size_t i = 0; i < ops.size(); ++i)
    if (ops[i].rfind(prefix, 0) == 0) return static_cast<long>(i);
  return -1;
}

// Each family's application data folder is in the user's shell folders and
// on the drive; without the value there is no per-user folder.
TEST(ScannerData, UserAppDataFolderPerFamily) {
  const std::string profile = "\\Administrator\\Application Data";
  const struct {
    WindowsVersion version;
    std::string folder;
  } cases[] = {
      {WindowsVersion::Win95, "C:\\WINDOWS\\Application Data"},
      {WindowsVersion::WinMe, "C:\\WINDOWS\\Application Data"},
      {WindowsVersion::NT4, "C:\\WINDOWS\\Profiles" + profile},
      {WindowsVersion::Win2000, "C:\\Documents and Settings" + profile},
      {WindowsVersion::XP, "C:\\Documents and Settings" + profile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(sim::WindowsVersionName(c.version));
    SimMachine m(c.version);
    EXPECT_EQ(UserAppDataFolder(m.ctx()), c.folder);
    EXPECT_EQ(UserScannerRoot(m.ctx()), c.folder + "\\Korva\\ScannerDriver");
    const DWORD attributes = m.os().GetFileAttributesA(c.folder.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY));
    DeleteAppData(m.os());
    EXPECT_EQ(UserAppDataFolder(m.ctx()), "");
    EXPECT_EQ(UserScannerRoot(m.ctx()), "");
  }
}

// Keys 1..74 of font1.sii and 1..132 of font2.sii are read, no others; each
// file goes before its resource, a busy file stays while its resource
// still goes, a name leading out of the font folder is passed over, and one
// WM_FONTCHANGE follows them all.
TEST(ScannerData, RemoveFontsFileBeforeResource) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  const std::string fonts = os.windowsDir() + "\\Fonts\\";
  WriteSetup(os, "font1.sii",
             "[FontSections]\r\n1=A1.TTF\r\n2=BUSY.TTF\r\n3=..\\KEEP.TTF\r\n"
             "74=A74.TTF\r\n75=A75.TTF\r\n");
  WriteSetup(os, "font2.sii",
             "[FontSections]\r\n132=B132.TTF\r\n133=B133.TTF\r\n");
  const struct {
    const char* name;
    bool fileGoes, resourceGoes;
  } cases[] = {
      {"A1.TTF", true, true},   {"BUSY.TTF", false, true},
      {"A74.TTF", true, true},  {"A75.TTF", false, false},
      {"B132.TTF", true, true}, {"B133.TTF", false, false},
  };
  // One TrueType font: the header and a table directory of one entry.
  const std::string font("\0\1\0\0\0\1\0\0\0\0\0\0", 12);
  for (const auto& c : cases) {
    Touch(os, fonts + c.name, font + std::string(16, '\0'));
    ASSERT_EQ(os.AddFontResourceA(c.name), 1) << c.name;
  }
  Touch(os, os.windowsDir() + "\\KEEP.TTF");
  os.SetFileInUse(fonts + "BUSY.TTF", true);
  os.ClearOperations();

  RemoveFonts(m.ctx());

  EXPECT_EQ(os.operations().back().rfind("SendMessageA", 0), 0u);
  EXPECT_EQ(FindOperation(os, "RemoveFontResourceA(\"..\\KEEP.TTF\""), -1);
  EXPECT_TRUE(Exists(os, os.windowsDir() + "\\KEEP.TTF"));
  const size_t fontChanges = std::count_if(
      os.messages().begin(), os.messages().end(), [](const auto& r) {
        return r.window == HWND_BROADCAST && r.message == WM_FONTCHANGE;
      });
  EXPECT_EQ(fontChanges, 1u);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const long deleted =
        FindOperation(os, "DeleteFileA(\"" + fonts + c.name + "\"");
    const long removed =
        FindOperation(os, std::string("RemoveFontResourceA(\"") + c.name);
    EXPECT_EQ(removed >= 0, c.resourceGoes);
    // Whatever the deletion did, it came first.
    EXPECT_TRUE(!c.resourceGoes || (deleted >= 0 && deleted < removed));
    EXPECT_EQ(Exists(os, fonts + c.name), !c.fileGoes);
    // A resource still loaded can be removed once more.
    EXPECT_EQ(os.RemoveFontResourceA(c.name) != FALSE, !c.resourceGoes);
  }
}

// The folders the lists reach on each family. Every listed name is put in
// every candidate folder; exactly the expected ones go.
enum Place { kTwain, kUser, kSystem, kTemp, kColor9x, kColorNt, kCopies };
constexpr char kPlaceTags[] = "TUSMcCK";

std::string PlacePath(sim::SimPlatform& os, Place place) {
  const std::string s = os.systemDir();
  switch (place) {
    case kTwain:
      return os.windowsDir() + "\\TWAIN_32\\KVSTWN";
    case kUser:
      return os.appDataDir() + "\\Korva\\ScannerDriver\\KVS";
    case kSystem:
      return s;
    case kTemp:
      return s + "\\TWTEMP";
    case kColor9x:
      return s + "\\Color";
    case kColorNt:
      return s + "\\Spool\\Drivers\\Color";
    case kCopies:
      return s + "\\KVDRV";
  }
  return std::string();
}

const char kScannerSetup[] =
    "[Initial]\r\nNameHeader=KVS\r\n[Model]\r\nSCNPreData=PREF.DAT\r\n"
    "[DestinationDirs]\r\nTempDir=TWTEMP\r\n"
    "[Sections]\r\nTwain=TwainFiles\r\nSystem=SysFiles\r\nUser=UserFiles\r\n"
    "Color=ColorFiles\r\n"
    "[TwainFiles]\r\nA.DS\r\n[SysFiles]\r\nSYS.DLL\r\n[UserFiles]\r\n"
    "USR.INI\r\n[ColorFiles]\r\nKV.ICM\r\n";

TEST(ScannerData, FoldersPerFamily) {
  // Tags: T twain, U per-user, S system, M TempDir, c/C colour 9x/NT,
  // K KVDRV copies.
  const std::string common = "M:A.DS T:A.DS M:SYS.DLL S:SYS.DLL M:USR.INI ";
  const std::string nt = common + "M:KV.ICM C:KV.ICM U:USR.INI ";
  const struct {
    WindowsVersion version;
    bool appData, userDir;
    std::string gone;
  } cases[] = {
      {WindowsVersion::Win98, true, true,
       common + "M:KV.ICM c:KV.ICM T:USR.INI T:PREF.DAT K:U.DAT T:U.DAT"},
      {WindowsVersion::NT4, true, true, nt + "K:U.DAT"},
      {WindowsVersion::Win2000, true, true, nt + "U:PREF.DAT K:U.DAT U:U.DAT"},
      {WindowsVersion::XP, true, true, nt + "U:PREF.DAT K:U.DAT U:U.DAT"},
      {WindowsVersion::XP, false, true, common + "M:KV.ICM C:KV.ICM K:U.DAT"},
      {WindowsVersion::XP, true, false, nt + "U:PREF.DAT"},
      // NT 3.51: no user or colour folder of its own.
      {WindowsVersion::NT351, true, true, common + "M:KV.ICM K:U.DAT"},
  };
  const char* names[] = {"A.DS",   "SYS.DLL",  "USR.INI",
                         "KV.ICM", "PREF.DAT", "U.DAT"};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(sim::WindowsVersionName(c.version)) +
                 (c.appData ? "" : " without AppData") +
                 (c.userDir ? "" : " empty UserDir"));
    SimMachine m(c.version);
    auto& os = m.os();
    WriteSetup(os, "vt3eins.sii",
               kScannerSetup + std::string(c.userDir ? "[UserDir]\r\nU.DAT\r\n"
                                                     : "[UserDir]\r\n"));
    for (int p = kTwain; p <= kCopies; ++p)
      for (const char* name : names)
        Touch(os, PlacePath(os, Place(p)) + "\\" + name);
    if (!c.appData) DeleteAppData(os);

    RemoveScannerData(m.ctx(), "vt3eins.sii");
    EXPECT_EQ(DeleteFilesTWAIN(m.ctx(), nullptr), 0);

    std::istringstream expected(c.gone);
    std::vector<std::string> gone{std::istream_iterator<std::string>(expected),
                                  {}};
    for (int p = kTwain; p <= kCopies; ++p)
      for (const char* name : names) {
        const std::string tag = std::string(1, kPlaceTags[p]) + ":" + name;
        const bool expectGone =
            std::find(gone.begin(), gone.end(), tag) != gone.end();
        EXPECT_EQ(Exists(os, PlacePath(os, Place(p)) + "\\" + name),
                  !expectGone)
            << tag;
      }
  }
}

// A "NameHeader", "TempDir" or "SCNPreData" value, or a list line, that
// would lead elsewhere deletes nothing there; the plain values and lines
// beside it still do their work.
TEST(ScannerData, HostileNamesDeleteNothingOutside) {
  const std::string hostileLines =
      "..\\W2.INI\r\nC:\\keep.txt\r\n*.DLL\r\nNUL\r\nsub\\x.dll\r\n"
      "\\\\server\\share\\x.dll\r\n";
  const struct {
    const char *header, *temp, *preferences;
    const char* stillGone;  // below the system directory
  } cases[] = {
      {"KVS", "..", "..\\..\\..\\keep.txt", "SYS.DLL"},
      {"..\\", "TWTEMP", "PREF.DAT", "TWTEMP\\A.DS"},
      {"KVS\\..\\..", "C:\\", "C:\\keep.txt", "SYS.DLL"},
  };
  for (const WindowsVersion v : {WindowsVersion::Win98, WindowsVersion::XP}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(sim::WindowsVersionName(v)) + " " + c.header +
                   " " + c.temp);
      SimMachine m(v);
      auto& os = m.os();
      const std::string w = os.windowsDir(), s = os.systemDir();
      const std::string appData = os.appDataDir();
      WriteSetup(os, "vt3eins.sii",
                 std::string("[Initial]\r\nNameHeader=") + c.header +
                     "\r\n[Model]\r\nSCNPreData=" + c.preferences +
                     "\r\n[DestinationDirs]\r\nTempDir=" + c.temp +
                     "\r\n[Sections]\r\nTwain=L\r\nSystem=L\r\nUser=L\r\n"
                     "Color=L\r\n[L]\r\nA.DS\r\nSYS.DLL\r\n" +
                     hostileLines + "[UserDir]\r\nU.DAT\r\n" + hostileLines);
      const std::string sentinels[] = {"C:\\keep.txt",
                                       appData + "\\keep.txt",
                                       w + "\\A.DS",
                                       w + "\\SYS.DLL",
                                       w + "\\W2.INI",
                                       s + "\\W2.INI",
                                       w + "\\Twain_32\\W2.INI",
                                       w + "\\twn\\A.DS",
                                       w + "\\twn\\U.DAT",
                                       s + "\\KEEP.DLL",
                                       s + "\\sub\\x.dll",
                                       appData + "\\Korva\\U.DAT",
                                       appData + "\\Korva\\A.DS"};
      for (const std::string& path : sentinels) Touch(os, path);
      Touch(os, s + "\\" + c.stillGone);

      RemoveScannerData(m.ctx(), "vt3eins.sii");
      DeleteFilesTWAIN(m.ctx(), "ignored.sii");

      for (const std::string& path : sentinels)
        EXPECT_TRUE(Exists(os, path)) << path;
      EXPECT_FALSE(Exists(os, s + "\\" + c.stillGone));
    }
  }
}

// More than 32 lines, lines over 31 characters and a section over 1024
// bytes are taken whole, and no file named by a cut part of a line goes; a
// 300-character line is passed over, and a section past the cap loses the
// line the cap cuts rather than read it cut.
TEST(ScannerData, LongListsAreTakenWhole) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  const std::string twain = os.windowsDir() + "\\Twain_32\\KVStwn\\";
  const std::string temp = os.systemDir() + "\\TWTEMP\\";
  std::vector<std::string> names;
  for (int i = 0; i < 40; ++i) {
    char name[64];
    std::snprintf(name, sizeof name,
                  "TWAIN_SUPPORT_FILE_%02d_WITH_LONG_NAME.DS", i);
    names.push_back(name);
  }
  const std::string longLine(300, 'L');
  std::string setup =
      "[Initial]\r\nNameHeader=KVS\r\n[DestinationDirs]\r\nTempDir=TWTEMP\r\n"
      "[Sections]\r\nTwain=TwainFiles\r\n[TwainFiles]\r\n" +
      longLine + "\r\n";
  for (const std::string& name : names) {
    setup += name + "\r\n";
    Touch(os, twain + name);
    Touch(os, temp + name);
  }
  // What a 32-byte table would have kept of the first and the long line.
  const std::string cutNames[] = {names[0].substr(0, 31),
                                  longLine.substr(0, 31)};
  for (const std::string& cut : cutNames) Touch(os, twain + cut);

  // Filler lines up to the cap, then a name the cap cuts and one after it.
  const std::string filler(15, 'F');
  const size_t fillers = (kSectionReadLimit - 2) / (filler.size() + 1);
  setup += "[Huge]\r\n";
  for (size_t i = 0; i < fillers; ++i) setup += filler + "\r\n";
  setup += "KEEPSAKE.DAT.ORIGINAL\r\nAFTER.DAT\r\n";
  WriteSetup(os, "vt3eins.sii", setup);

  DeleteFilesTWAIN(m.ctx(), nullptr);

  for (const std::string& name : names) {
    EXPECT_FALSE(Exists(os, twain + name)) << name;
    EXPECT_FALSE(Exists(os, temp + name)) << name;
  }
  for (const std::string& cut : cutNames)
    EXPECT_TRUE(Exists(os, twain + cut)) << cut;
  const std::vector<std::string> huge =
      ReadSectionLines(m.ctx(), "vt3eins.sii", "Huge");
  EXPECT_EQ(huge.size(), fillers);
  EXPECT_EQ(huge.back(), filler);
}

}  // namespace
}  // namespace kv::test
