// Driver and scanner file removal: a driver store laid out as installation
// leaves it, then what is gone, what stays and what waits in VT3E.bat.
//
// Layouts are written compactly: paths begin with S\ (system directory) or
// W\ (Windows directory); a path may end in "|" and flags: u in use, r
// read-only, s stays, d stays and is deferred. Files and INF entries are
// separated by spaces.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "exports/uninstall_exports.h"
#include "foundation/setupinfo.h"
#include "tests/native/support/sim_fixture.h"
#include "tests/native/uninstall/uninstall_support.h"
#include "uninstall/driver_files.h"
#include "uninstall/scanner_files.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;
using Internal = void (*)(Context&, const char*);
using Exported = int(WINAPI*)(LPCSTR);

constexpr char kSetup[] = "kv.sii";

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

struct Layout {
  std::string setup;
  // INF copy ("path|flags") and its [SourceDisksFiles] entries.
  std::vector<std::pair<std::string, std::string>> infs;
  std::string files;
};

struct Placed {
  std::string path;  // expanded
  std::string flags;
};

std::string Expand(SimMachine& m, const std::string& path) {
  if (path.compare(0, 2, "S\\") == 0)
    return m.os().systemDir() + path.substr(1);
  if (path.compare(0, 2, "W\\") == 0)
    return m.os().windowsDir() + path.substr(1);
  return path;
}

bool Exists(SimMachine& m, const std::string& path) {
  return m.os().GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<Placed> LayOut(SimMachine& m, const Layout& l) {
  m.os().WriteTextFile(m.os().windowsDir() + "\\" + kSetup, l.setup);
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& [file, entries] : l.infs) {
    std::string text = "[SourceDisksFiles]\r\n";
    for (const std::string& e : Words(entries)) text += e + "\r\n";
    files.push_back({file, text});
  }
  for (const std::string& file : Words(l.files)) files.push_back({file, "x"});
  std::vector<Placed> placed;
  for (const auto& [token, text] : files) {
    const size_t bar = token.find('|');
    const Placed p{Expand(m, token.substr(0, bar)),
                   bar == std::string::npos ? "" : token.substr(bar + 1)};
    EXPECT_TRUE(m.os().WriteTextFile(p.path, text)) << p.path;
    if (p.flags.find('u') != std::string::npos)
      m.os().SetFileInUse(p.path, true);
    if (p.flags.find('r') != std::string::npos)
      m.os().SetFileAttributesA(p.path.c_str(), FILE_ATTRIBUTE_READONLY);
    placed.push_back(p);
  }
  return placed;
}

// The paths VT3E.bat deletes (none of this test's paths needs quotes).
std::set<std::string> BatchPaths(SimMachine& m) {
  std::set<std::string> paths;
  std::istringstream in(Batch(m.os()));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    paths.insert(line.substr(line.compare(0, 7, "del /f ") == 0 ? 7 : 4));
  }
  return paths;
}

// Every file is gone unless flagged to stay; the batch holds exactly the
// deferred ones.
void ExpectOutcome(SimMachine& m, const std::vector<Placed>& placed) {
  std::set<std::string> deferred;
  for (const Placed& p : placed) {
    const bool stays = p.flags.find_first_of("sd") != std::string::npos;
    EXPECT_EQ(Exists(m, p.path), stays) << p.path;
    if (p.flags.find('d') != std::string::npos) deferred.insert(p.path);
  }
  EXPECT_EQ(BatchPaths(m), deferred);
  EXPECT_EQ(m.os().OpenFileHandles(), 0u);
}

TEST(FileRemoval, InternalRemovalsByFamily) {
  struct Case {
    const char* name;
    WindowsVersion version;
    Internal run;
    Layout layout;
  };
  const std::string prn9x =
      "[Model]\nPRNInfFile9x=kvp9x.inf\nPRNInfFileMe=kvpme.inf\n";
  const std::string usb =
      "[Model]\nUSBInfFile9x=usb9x.inf\nUSBINF=usbcmn.inf\n"
      "USBComInfFileMe=comme.inf\nUSBComINF=comcmn.inf\n";
  const std::string scan = "KVS.DS=1 UsbKvs.sys=1 kvscan.sys=1";
  const Case cases[] = {
      {"9x printer: skip name in any case; W\\INF failure ignored",
       WindowsVersion::Win98,
       DeletePrnFiles9x,
       {prn9x + "[Files.9x]\nUSBmonm=KVUSBMON.DLL\n",
        {{"S\\KVDRV\\kvp9x.inf", "KVP.DRV=1 KVUI.DLL=1,,=x kvusbmon.dll=1"},
         {"S\\KVDRV\\kvpme.inf|s", "KVME.DRV=1"}},
        "S\\KVDRV\\KVP.DRV S\\KVP.DRV S\\KVDRV\\KVUI.DLL S\\KVUI.DLL|ud "
        "S\\KVDRV\\kvusbmon.dll|s S\\kvusbmon.dll|s S\\KVME.DRV|s "
        "S\\Spool\\Drivers\\w32x86\\KVP.DRV|s W\\INF\\kvp9x.inf|us"}},
      {"Me printer: PRNInfFileMe",
       WindowsVersion::WinMe,
       DeletePrnFiles9x,
       {prn9x,
        {{"S\\KVDRV\\kvp9x.inf|s", "KVP.DRV=1"},
         {"S\\KVDRV\\kvpme.inf", "KVME.DRV=1"}},
        "S\\KVP.DRV|s S\\KVME.DRV W\\INF\\kvpme.inf"}},
      {"Me printer: empty PRNInfFileMe falls back",
       WindowsVersion::WinMe,
       DeletePrnFiles9x,
       {"[Model]\nPRNInfFile9x=kvp9x.inf\nPRNInfFileMe=\n",
        {{"S\\KVDRV\\kvp9x.inf", "KVP.DRV=1"},
         {"S\\KVDRV\\kvpme.inf|s", "KVME.DRV=1"}},
        "S\\KVP.DRV S\\KVME.DRV|s"}},
      {"98 USB INFs: USBComINF stands in for the missing 9x key",
       WindowsVersion::Win98,
       DeleteUsbInfFiles9x,
       {usb,
        {},
        "S\\KVDRV\\usb9x.inf W\\INF\\usb9x.inf|us S\\KVDRV\\usbcmn.inf|s "
        "W\\INF\\usbcmn.inf|s S\\KVDRV\\comme.inf|s W\\INF\\comme.inf|s "
        "S\\KVDRV\\comcmn.inf W\\INF\\comcmn.inf"}},
      {"Me USB INFs: USBINF, never USBInfFile9x",
       WindowsVersion::WinMe,
       DeleteUsbInfFiles9x,
       {usb,
        {},
        "S\\KVDRV\\usb9x.inf|s W\\INF\\usb9x.inf|s S\\KVDRV\\usbcmn.inf "
        "W\\INF\\usbcmn.inf S\\KVDRV\\comme.inf W\\INF\\comme.inf "
        "S\\KVDRV\\comcmn.inf|s W\\INF\\comcmn.inf|s"}},
      {"NT 4.0 printer: w32x86\\2; INF copy deferred",
       WindowsVersion::NT4,
       DeletePrnFilesNT,
       {"[Model]\nPRNInfFileNT=kvpnt.inf\n",
        {{"S\\KVDRV\\kvpnt.inf|rd", "KVNT.DLL=1 KVNT2.DLL=2"}},
        "S\\KVDRV\\KVNT.DLL S\\KVNT.DLL S\\Spool\\Drivers\\w32x86\\KVNT2.DLL "
        "S\\Spool\\Drivers\\w32x86\\2\\KVNT.DLL|ud "
        "S\\Spool\\Drivers\\w32x86\\3\\KVNT.DLL|s W\\INF\\kvpnt.inf|rs"}},
      {"2000 printer: catalogue, Lpt2K ignored, W\\INF untouched",
       WindowsVersion::Win2000,
       DeletePrnFiles2k,
       {"[Model]\nPRNInfFile2K=kvp2k.inf\nPRNCatFile2K=kvp2k.cat\n"
        "[Files.2K]\nLpt2K=kvlpt.sys\n",
        {{"S\\KVDRV\\kvp2k.inf|rs", "KV2K.DLL=1"}},
        "S\\KVDRV\\kvp2k.cat W\\INF\\kvp2k.inf|s S\\KV2K.DLL "
        "S\\Spool\\Drivers\\w32x86\\3\\KV2K.DLL|ud "
        "S\\Spool\\Drivers\\w32x86\\2\\KV2K.DLL|s S\\KVDRV\\kvlpt.sys "
        "S\\kvlpt.sys S\\Spool\\Drivers\\w32x86\\kvlpt.sys|us "
        "S\\Spool\\Drivers\\w32x86\\3\\kvlpt.sys"}},
      {"XP printer: model folder ignored, w32x86 deferred",
       WindowsVersion::XP,
       DeletePrnFilesXP,
       {"[Model]\nPRNInfFileXP=kvpxp.inf\nPRNCatFileXP=kvpxp.cat\n"
        "[Files.2K]\nLpt2K=kvlpt.sys\n"
        "[USBFOLDER]\nQV-7721LN=QV7721\nQV-7731LN=QV7731\n",
        {{"S\\KVDRV\\kvpxp.inf|rd", "KVXP.DLL=1"}},
        "S\\KVDRV\\kvpxp.cat|ud S\\KVXP.DLL "
        "S\\Spool\\Drivers\\w32x86\\KVXP.DLL|ud "
        "S\\Spool\\Drivers\\w32x86\\3\\KVXP.DLL "
        "S\\Spool\\Drivers\\w32x86\\QV7721\\KVXP.DLL|us "
        "S\\Spool\\Drivers\\w32x86\\QV7731\\KVXP.DLL W\\INF\\kvpxp.inf|s "
        "S\\kvlpt.sys"}},
      {"98 scanner: USB* passed over, skip name kept but in TWAIN and Color",
       WindowsVersion::Win98,
       DeleteScnFiles9x,
       {"[Model]\nSCNInfFile9x=kvs9x.inf\n[Initial]\nNameHeader=KVS\n"
        "[Files.9x]\nUSBscan=KVSCAN.SYS\n[UserDir]\nKVUSER.DAT\nA=B\n"
        "[RenameFiles]\nKVREN.DLL\n",
        {{"S\\KVDRV\\kvs9x.inf", scan}},
        "W\\INF\\kvs9x.inf S\\KVDRV\\KVS.DS W\\KVS.DS S\\KVS.DS|ud "
        "W\\Twain_32\\KVStwn\\KVS.DS S\\Color\\KVS.DS "
        "W\\System32\\Drivers\\KVS.DS S\\KVDRV\\UsbKvs.sys|s S\\UsbKvs.sys|s "
        "S\\KVDRV\\kvscan.sys|s W\\kvscan.sys|s S\\kvscan.sys|s "
        "W\\Twain_32\\KVStwn\\kvscan.sys S\\Color\\kvscan.sys "
        "W\\System32\\Drivers\\kvscan.sys|s S\\KVSSEL.dll|ud S\\KVSSSL.dll "
        "S\\KVDRV\\KVUSER.DAT W\\Twain_32\\KVStwn\\KVUSER.DAT S\\KVDRV\\A|s "
        "S\\KVREN.DLL"}},
      {"2000 scanner: empty header, UserDir only in the store",
       WindowsVersion::Win2000,
       DeleteScnFiles2k,
       {"[Model]\nSCNInfFile2K=kvs2k.inf\nSCNCatFile2K=kvs2k.cat\n"
        "[UserDir]\nKVUSER.DAT\n[RenameFiles]\nKVREN.DLL\n",
        {{"S\\KVDRV\\kvs2k.inf|rs", scan}},
        "S\\KVDRV\\kvs2k.cat W\\INF\\kvs2k.inf|s S\\KVDRV\\KVS.DS W\\KVS.DS "
        "S\\KVS.DS W\\Twain_32\\twn\\KVS.DS S\\Spool\\Drivers\\Color\\KVS.DS "
        "S\\Color\\KVS.DS|s S\\UsbKvs.sys S\\kvscan.sys S\\SEL.dll S\\SSL.dll "
        "S\\KVDRV\\KVUSER.DAT W\\Twain_32\\twn\\KVUSER.DAT|s S\\KVREN.DLL"}},
      {"XP scanner: INF copy and catalogue deferred",
       WindowsVersion::XP,
       DeleteScnFilesXP,
       {"[Model]\nSCNInfFileXP=kvsxp.inf\nSCNCatFileXP=kvsxp.cat\n"
        "[Initial]\nNameHeader=KVS\n",
        {{"S\\KVDRV\\kvsxp.inf|rd", "KVS.DS=1"}},
        "S\\KVDRV\\kvsxp.cat|ud W\\Twain_32\\KVStwn\\KVS.DS|ud "
        "S\\KVSSEL.dll"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimMachine m(c.version);
    const std::vector<Placed> placed = LayOut(m, c.layout);
    c.run(m.ctx(), kSetup);
    ExpectOutcome(m, placed);
  }
}

// The exports defer nothing and answer with their last deletion.
TEST(FileRemoval, ExportedRemovals) {
  struct Case {
    const char* name;
    WindowsVersion version;
    Exported run;
    Layout layout;
    int result;
    DWORD lastError;  // when the result is 0
  };
  const std::string all9x =
      "[Model]\nPRNInfFile9x=kvp9x.inf\nSCNInfFile9x=kvs9x.inf\nSCNHead=KVS\n"
      "USBINF=kvusb.inf\nUSBComINF=kvusbc.inf\n";
  const Case cases[] = {
      {"9x: medium suffix cut only at its length; in use stays",
       WindowsVersion::Win98,
       ::DeleteFiles9x,
       {all9x,
        {{"S\\KVDRV\\kvp9x.inf", "KVP.DRV=1,, KVLONG.DLL=1"},
         {"S\\KVDRV\\kvs9x.inf", "KVS.DS=1, KVS2.DS=1,,"}},
        "S\\KVDRV\\KVP.DRV S\\KVP.DRV|us S\\KVLONG.DLL|s S\\KVDRV\\KVS.DS "
        "W\\KVS.DS S\\KVS.DS W\\Twain_32\\KVStwn\\KVS.DS S\\Color\\KVS.DS "
        "W\\System32\\Drivers\\KVS.DS W\\KVS2.DS|s W\\INF\\kvp9x.inf "
        "W\\INF\\kvs9x.inf S\\KVDRV\\kvusb.inf S\\KVDRV\\kvusbc.inf "
        "W\\INF\\kvusb.inf W\\INF\\kvusbc.inf"},
       1,
       0},
      {"9x: no scanner INF name, no USBComINF",
       WindowsVersion::XP,
       ::DeleteFiles9x,
       {"[Model]\nPRNInfFile9x=kvp9x.inf\nSCNHead=KVS\n",
        {{"S\\KVDRV\\kvp9x.inf", "KVP.DRV=1,,"},
         {"S\\KVDRV\\kvs9x.inf|s", "KVS.DS=1,"}},
        "S\\KVP.DRV W\\KVS.DS|s"},
       0,
       ERROR_INVALID_NAME},
      {"NT: the INF copy decides",
       WindowsVersion::NT4,
       ::DeleteFilesNT,
       {"[Model]\nPRNInfFileNT=kvpnt.inf\n",
        {{"S\\KVDRV\\kvpnt.inf", "KVNT.DLL=1,,"}},
        "S\\Spool\\Drivers\\w32x86\\2\\KVNT.DLL "
        "S\\Spool\\Drivers\\w32x86\\KVNT.DLL"},
       1,
       0},
      {"NT: INF copy in use",
       WindowsVersion::NT4,
       ::DeleteFilesNT,
       {"[Model]\nPRNInfFileNT=kvpnt.inf\n",
        {{"S\\KVDRV\\kvpnt.inf|us", "KVNT.DLL=1,,"}},
        "S\\KVNT.DLL"},
       0,
       ERROR_SHARING_VIOLATION},
      {"2000: scanner INF but no catalogue names",
       WindowsVersion::Win2000,
       ::DeleteFiles2k,
       {"[Model]\nPRNInfFile2K=kvp2k.inf\nSCNInfFile2K=kvs2k.inf\n"
        "[Initial]\nNameHeader=KVS\n",
        {{"S\\KVDRV\\kvp2k.inf", "KV2K.DLL=1,,"},
         {"S\\KVDRV\\kvs2k.inf", "KVS.DS=1,"}},
        "S\\Spool\\Drivers\\w32x86\\3\\KV2K.DLL W\\Twain_32\\KVStwn\\KVS.DS "
        "S\\Spool\\Drivers\\Color\\KVS.DS"},
       0,
       ERROR_INVALID_NAME},
      {"XP: catalogues deleted; a read-only file stays",
       WindowsVersion::XP,
       ::DeleteFilesXP,
       {"[Model]\nPRNInfFileXP=kvpxp.inf\nSCNInfFileXP=kvsxp.inf\n"
        "PRNCatFileXP=kvpxp.cat\nSCNCatFileXP=kvsxp.cat\n",
        {{"S\\KVDRV\\kvpxp.inf", "KVXP.DLL=1,,"},
         {"S\\KVDRV\\kvsxp.inf", "KVS.DS=1,"}},
        "S\\KVDRV\\kvpxp.cat S\\KVDRV\\kvsxp.cat S\\KVXP.DLL|rs "
        "S\\Spool\\Drivers\\Color\\KVS.DS W\\Twain_32\\twn\\KVS.DS"},
       1,
       0},
      {"XP: read-only scanner catalogue",
       WindowsVersion::XP,
       ::DeleteFilesXP,
       {"[Model]\nSCNCatFileXP=kvsxp.cat\n", {}, "S\\KVDRV\\kvsxp.cat|rs"},
       0,
       ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimMachine m(c.version);
    m.BindExports();
    const std::vector<Placed> placed = LayOut(m, c.layout);
    m.os().SetLastError(kStaleError);
    EXPECT_EQ(c.run(kSetup), c.result);
    if (c.result == 0) {
      EXPECT_EQ(m.os().GetLastError(), c.lastError);
    }
    ExpectOutcome(m, placed);
  }
}

// Names from an INF, a key or a section that are not plain file names
// delete nothing anywhere and defer nothing; sentinels stand where they
// would point.
TEST(FileRemoval, HostileNamesDeleteNothingElsewhere) {
  const std::string hostile =
      "..\\x.dll C:\\x.dll \\\\server\\share\\x.dll NUL *.dll ..";
  std::string entries = "kvok.dll=1", listed;
  for (const std::string& h : Words(hostile)) {
    entries += " " + h + "=1,, " + h + "=1,";
    listed += h + "\n";
  }
  const std::string setup =
      "[Model]\nPRNInfFile9x=kv.inf\nPRNInfFileNT=kv.inf\nPRNInfFile2K=kv.inf\n"
      "PRNInfFileXP=kv.inf\nSCNInfFile9x=kv.inf\nSCNInfFile2K=kv.inf\n"
      "SCNInfFileXP=kv.inf\nPRNCatFile2K=..\\x.dll\nPRNCatFileXP=C:\\x.dll\n"
      "SCNCatFile2K=*.dll\nSCNCatFileXP=..\\..\\x.dll\nUSBINF=..\\x.dll\n"
      "USBComINF=NUL\nSCNHead=..\\\n[Initial]\nNameHeader=..\\\n"
      "[Files.2K]\nLpt2K=*.dll\n[USBFOLDER]\nQV-7721LN=..\nQV-7731LN=3\\QV\n"
      "[UserDir]\n" +
      listed + "[RenameFiles]\n" + listed;
  // kvok.dll is plain, but "3\QV" is no plain model folder.
  const std::string sentinels =
      "C:\\x.dll|s W\\x.dll|s S\\x.dll|s S\\Spool\\Drivers\\x.dll|s "
      "S\\Spool\\x.dll|s S\\KVDRV\\keep.dll|s S\\keep.dll|s W\\keep.dll|s "
      "W\\INF\\keep.dll|s S\\Spool\\Drivers\\w32x86\\keep.dll|s "
      "W\\Twain_32\\x.dll|s W\\Twain_32\\keep.dll|s "
      "S\\Spool\\Drivers\\w32x86\\3\\QV\\kvok.dll|s";
  struct Family {
    const char* name;
    WindowsVersion version;
    std::vector<Internal> internal;
    Exported exported;
  };
  const Family families[] = {
      {"9x",
       WindowsVersion::Win98,
       {DeletePrnFiles9x, DeleteScnFiles9x, DeleteUsbInfFiles9x},
       ::DeleteFiles9x},
      {"NT", WindowsVersion::NT4, {DeletePrnFilesNT}, ::DeleteFilesNT},
      {"2k",
       WindowsVersion::Win2000,
       {DeletePrnFiles2k, DeleteScnFiles2k},
       ::DeleteFiles2k},
      {"XP",
       WindowsVersion::XP,
       {DeletePrnFilesXP, DeleteScnFilesXP},
       ::DeleteFilesXP},
  };
  for (const Family& f : families) {
    SCOPED_TRACE(f.name);
    SimMachine m(f.version);
    m.BindExports();
    std::vector<Placed> placed =
        LayOut(m, {setup, {{"S\\KVDRV\\kv.inf", entries}}, sentinels});
    // The INF copy itself may go.
    placed.erase(placed.begin());
    for (Internal run : f.internal) run(m.ctx(), kSetup);
    EXPECT_EQ(f.exported(kSetup), 0);
    ExpectOutcome(m, placed);
    // Only full paths of plain names reach the system.
    for (const std::string& op : m.os().operations()) {
      if (op.compare(0, 12, "DeleteFileA(") != 0) continue;
      for (const char* part : {"..\\", "\\..\"", "*", "\\\\"})
        EXPECT_EQ(op.find(part), std::string::npos) << op;
      EXPECT_EQ(op.find(':', 15), std::string::npos) << op;
    }
    EXPECT_NE(m.traceText().find("passed over"), std::string::npos);
  }
}

// No name table: every entry goes however many there are (past 100 for the
// internal removals, 32 for the exported ones) and however long the lines
// (31, 32 and 300 characters).
TEST(FileRemoval, EveryEntryWhateverTheCountAndLength) {
  // `count` names "<stem>NNNxxx.DLL" of `length` characters.
  auto names = [](char stem, int count, size_t length) {
    std::vector<std::string> list;
    for (int i = 0; i < count; ++i) {
      std::string name = stem + std::to_string(1000 + i);
      list.push_back(name + std::string(length - name.size() - 4, 'x') +
                     ".DLL");
    }
    return list;
  };
  auto join = [](const std::vector<std::string>& list, const char* suffix,
                 const char* prefix = "") {
    std::string text;
    for (const std::string& n : list) text += prefix + n + suffix + " ";
    return text;
  };
  {
    SimMachine m(WindowsVersion::Win98);
    const std::vector<std::string> list = names('P', 101, 12);
    // Lines of 31, 32 and 300 characters among the 101.
    std::string entries = join({list.begin() + 3, list.end()}, "=1");
    const size_t lengths[] = {31, 32, 300};
    for (size_t i = 0; i < 3; ++i)
      entries += list[i] + "=" +
                 std::string(lengths[i] - list[i].size() - 1, '1') + " ";
    const std::vector<Placed> placed =
        LayOut(m, {"[Model]\nPRNInfFile9x=kv.inf\n",
                   {{"S\\KVDRV\\kv.inf", entries}},
                   join(list, "", "S\\KVDRV\\") + join(list, "", "S\\")});
    DeletePrnFiles9x(m.ctx(), kSetup);
    ExpectOutcome(m, placed);
  }
  {
    SimMachine m(WindowsVersion::Win2000);
    const auto walked = names('S', 60, 12), user = names('U', 30, 12),
               renamed = names('R', 11, 12);
    std::string setup = "[Model]\nSCNInfFile2K=kv.inf\n[UserDir]\n";
    for (const std::string& n : user) setup += n + "\n";
    setup += "[RenameFiles]\n";
    for (const std::string& n : renamed) setup += n + "\n";
    const std::vector<Placed> placed =
        LayOut(m, {setup,
                   {{"S\\KVDRV\\kv.inf", join(walked, "=1")}},
                   join(walked, "", "S\\") + join(user, "", "S\\KVDRV\\") +
                       join(renamed, "", "S\\")});
    DeleteScnFiles2k(m.ctx(), kSetup);
    ExpectOutcome(m, placed);
  }
  {
    SimMachine m(WindowsVersion::XP);
    m.BindExports();
    // 27 + "=1,," and 29 + "=1,": lines of 31 and 32 characters.
    const auto printer = names('P', 17, 27), scanner = names('S', 16, 29);
    const std::vector<Placed> placed =
        LayOut(m, {"[Model]\nPRNInfFileXP=kvp.inf\nSCNInfFileXP=kvs.inf\n"
                   "SCNCatFileXP=kvs.cat\n",
                   {{"S\\KVDRV\\kvp.inf", join(printer, "=1,,")},
                    {"S\\KVDRV\\kvs.inf", join(scanner, "=1,")}},
                   "S\\KVDRV\\kvs.cat " + join(printer, "", "S\\") +
                       join(scanner, "", "W\\")});
    EXPECT_EQ(::DeleteFilesXP(kSetup), 1);
    ExpectOutcome(m, placed);
  }
}

// A section past the read limit: the cut last line is left out, not taken
// as a shorter name.
TEST(FileRemoval, SectionPastTheReadLimitDropsTheCutLine) {
  SimMachine m(WindowsVersion::XP);
  const std::string line(999, 'n');
  std::string text = "[Big]\r\n";
  for (int i = 0; i < 1100; ++i) text += line + "\r\n";
  m.os().WriteTextFile(m.os().windowsDir() + "\\big.ini", text);
  const std::vector<std::string> lines =
      ReadSectionLines(m.ctx(), "big.ini", "Big");
  EXPECT_EQ(lines.size(), (kSectionReadLimit - 2) / 1000);
  for (const std::string& l : lines) ASSERT_EQ(l, line);
}

}  // namespace
}  // namespace kv::test
