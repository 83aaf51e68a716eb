// Driver and scanner file removal: a driver store laid out as installation
// leaves it, then what is gone, what stays and what waits in VT3E.bat for
// the next start of Windows. S is the system directory, W the Windows
// directory.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "exports/uninstall_exports.h"
#include "tests/native/support/sim_fixture.h"
#include "tests/native/uninstall/uninstall_support.h"
#include "uninstall/driver_files.h"
#include "uninstall/scanner_files.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;

constexpr char kSetup[] = "kv.sii";

struct File {
  std::string path;  // "S\...", "W\..." or a full path
  std::string text = "x";
};

std::string Inf(const std::vector<std::string>& entries) {
  std::string text =
      "[Version]\r\nSignature=\"$CHICAGO$\"\r\n"
      "[SourceDisksFiles]\r\n";
  for (const std::string& e : entries) text += e + "\r\n";
  return text;
}

std::string Expand(SimMachine& m, const std::string& path) {
  if (path.compare(0, 2, "S\\") == 0)
    return m.os().systemDir() + path.substr(1);
  if (path.compare(0, 2, "W\\") == 0)
    return m.os().windowsDir() + path.substr(1);
  return path;
}

bool Exists(SimMachine& m, const std::string& path) {
  return m.os().GetFileAttributesA(Expand(m, path).c_str()) !=
         INVALID_FILE_ATTRIBUTES;
}

// The paths VT3E.bat deletes, without command word and quotes.
std::set<std::string> BatchPaths(SimMachine& m) {
  std::set<std::string> paths;
  const std::string text = Batch(m.os());
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find("\r\n", start);
    std::string line = text.substr(start, end - start);
    for (const char* word : {"del /f ", "del "})
      if (line.compare(0, std::string(word).size(), word) == 0) {
        line = line.substr(std::string(word).size());
        break;
      }
    if (!line.empty() && line.front() == '"')
      line = line.substr(1, line.size() - 2);
    paths.insert(line);
    start = end == std::string::npos ? text.size() : end + 2;
  }
  return paths;
}

struct Layout {
  std::string setup;
  std::vector<File> files;
  std::vector<std::string> inUse = {};
  std::vector<std::string> readOnly = {};
};

void LayOut(SimMachine& m, const Layout& l) {
  m.os().WriteTextFile(m.os().windowsDir() + "\\" + kSetup, l.setup);
  for (const File& f : l.files)
    ASSERT_TRUE(m.os().WriteTextFile(Expand(m, f.path), f.text)) << f.path;
  for (const std::string& p : l.inUse) m.os().SetFileInUse(Expand(m, p), true);
  for (const std::string& p : l.readOnly)
    m.os().SetFileAttributesA(Expand(m, p).c_str(), FILE_ATTRIBUTE_READONLY);
}

// Every file of the layout is gone unless listed in `stay`; the batch holds
// exactly `deferred`.
void ExpectOutcome(SimMachine& m, const Layout& l,
                   const std::vector<std::string>& stay,
                   const std::vector<std::string>& deferred) {
  const std::set<std::string> kept(stay.begin(), stay.end());
  for (const File& f : l.files)
    EXPECT_EQ(Exists(m, f.path), kept.count(f.path) == 1) << f.path;
  std::set<std::string> want;
  for (const std::string& p : deferred) want.insert(Expand(m, p));
  EXPECT_EQ(BatchPaths(m), want);
  EXPECT_EQ(m.os().OpenFileHandles(), 0u);
}

using Internal = void (*)(Context&, const char*);

TEST(FileRemoval, InternalRemovalsByFamily) {
  struct Case {
    const char* name;
    WindowsVersion version;
    std::vector<Internal> run;
    Layout layout;
    std::vector<std::string> stay;
    std::vector<std::string> deferred;
  };
  const std::string prn9x =
      "[Model]\r\nPRNInfFile9x=kvp9x.inf\r\nPRNInfFileMe=kvpme.inf\r\n";
  const std::string usb =
      "[Model]\r\nUSBInfFile9x=usb9x.inf\r\nUSBINF=usbcmn.inf\r\n"
      "USBComInfFileMe=comme.inf\r\nUSBComINF=comcmn.inf\r\n";
  const std::vector<File> usbFiles = {
      {"S\\KVDRV\\usb9x.inf"},  {"W\\INF\\usb9x.inf"},
      {"S\\KVDRV\\usbcmn.inf"}, {"W\\INF\\usbcmn.inf"},
      {"S\\KVDRV\\comme.inf"},  {"W\\INF\\comme.inf"},
      {"S\\KVDRV\\comcmn.inf"}, {"W\\INF\\comcmn.inf"}};
  const std::string scanInf = Inf({"KVS.DS=1", "UsbKvs.sys=1", "kvscan.sys=1"});
  const char* const twain = "W\\Twain_32\\KVStwn\\";
  auto in = [](const std::string& folder, const char* name) {
    return folder + name;
  };
  const Case cases[] = {
      {"9x printer: skip name in any case, INF copy in W\\INF ignored",
       WindowsVersion::Win98,
       {DeletePrnFiles9x},
       {prn9x + "[Files.9x]\r\nUSBmonm=KVUSBMON.DLL\r\n",
        {{"S\\KVDRV\\kvp9x.inf",
          Inf({"KVP.DRV=1", "KVUI.DLL=1,,=x", "kvusbmon.dll=1"})},
         {"S\\KVDRV\\kvpme.inf", Inf({"KVME.DRV=1"})},
         {"S\\KVDRV\\KVP.DRV"},
         {"S\\KVP.DRV"},
         {"S\\KVDRV\\KVUI.DLL"},
         {"S\\KVUI.DLL"},
         {"S\\KVDRV\\kvusbmon.dll"},
         {"S\\kvusbmon.dll"},
         {"S\\KVME.DRV"},
         {"S\\Spool\\Drivers\\w32x86\\KVP.DRV"},
         {"W\\INF\\kvp9x.inf"}},
        {"S\\KVUI.DLL", "W\\INF\\kvp9x.inf"}},
       {"S\\KVUI.DLL", "S\\KVDRV\\kvusbmon.dll", "S\\kvusbmon.dll",
        "S\\KVDRV\\kvpme.inf", "S\\KVME.DRV",
        "S\\Spool\\Drivers\\w32x86\\KVP.DRV", "W\\INF\\kvp9x.inf"},
       {"S\\KVUI.DLL"}},
      {"Me printer: PRNInfFileMe",
       WindowsVersion::WinMe,
       {DeletePrnFiles9x},
       {prn9x,
        {{"S\\KVDRV\\kvp9x.inf", Inf({"KVP.DRV=1"})},
         {"S\\KVDRV\\kvpme.inf", Inf({"KVME.DRV=1"})},
         {"S\\KVP.DRV"},
         {"S\\KVME.DRV"},
         {"W\\INF\\kvpme.inf"}}},
       {"S\\KVDRV\\kvp9x.inf", "S\\KVP.DRV"},
       {}},
      {"Me printer: empty PRNInfFileMe falls back to PRNInfFile9x",
       WindowsVersion::WinMe,
       {DeletePrnFiles9x},
       {"[Model]\r\nPRNInfFile9x=kvp9x.inf\r\nPRNInfFileMe=\r\n",
        {{"S\\KVDRV\\kvp9x.inf", Inf({"KVP.DRV=1"})},
         {"S\\KVDRV\\kvpme.inf", Inf({"KVME.DRV=1"})},
         {"S\\KVP.DRV"},
         {"S\\KVME.DRV"}}},
       {"S\\KVDRV\\kvpme.inf", "S\\KVME.DRV"},
       {}},
      {"98 USB INFs: the 9x keys, USBComINF for a missing one",
       WindowsVersion::Win98,
       {DeleteUsbInfFiles9x},
       {usb, usbFiles, {"W\\INF\\usb9x.inf"}},
       {"W\\INF\\usb9x.inf", "S\\KVDRV\\usbcmn.inf", "W\\INF\\usbcmn.inf",
        "S\\KVDRV\\comme.inf", "W\\INF\\comme.inf"},
       {}},
      {"Me USB INFs: USBINF, never USBInfFile9x",
       WindowsVersion::WinMe,
       {DeleteUsbInfFiles9x},
       {usb, usbFiles},
       {"S\\KVDRV\\usb9x.inf", "W\\INF\\usb9x.inf", "S\\KVDRV\\comcmn.inf",
        "W\\INF\\comcmn.inf"},
       {}},
      {"NT 4.0 printer: w32x86\\2, INF copy deferred",
       WindowsVersion::NT4,
       {DeletePrnFilesNT},
       {"[Model]\r\nPRNInfFileNT=kvpnt.inf\r\n",
        {{"S\\KVDRV\\kvpnt.inf", Inf({"KVNT.DLL=1", "KVNT2.DLL=2"})},
         {"S\\KVDRV\\KVNT.DLL"},
         {"S\\KVNT.DLL"},
         {"S\\Spool\\Drivers\\w32x86\\KVNT2.DLL"},
         {"S\\Spool\\Drivers\\w32x86\\2\\KVNT.DLL"},
         {"S\\Spool\\Drivers\\w32x86\\3\\KVNT.DLL"},
         {"W\\INF\\kvpnt.inf"}},
        {"S\\Spool\\Drivers\\w32x86\\2\\KVNT.DLL"},
        {"S\\KVDRV\\kvpnt.inf", "W\\INF\\kvpnt.inf"}},
       {"S\\KVDRV\\kvpnt.inf", "S\\Spool\\Drivers\\w32x86\\2\\KVNT.DLL",
        "S\\Spool\\Drivers\\w32x86\\3\\KVNT.DLL", "W\\INF\\kvpnt.inf"},
       {"S\\KVDRV\\kvpnt.inf", "S\\Spool\\Drivers\\w32x86\\2\\KVNT.DLL"}},
      {"2000 printer: w32x86\\3, catalogue, Lpt2K; W\\INF untouched",
       WindowsVersion::Win2000,
       {DeletePrnFiles2k},
       {"[Model]\r\nPRNInfFile2K=kvp2k.inf\r\nPRNCatFile2K=kvp2k.cat\r\n"
        "[Files.2K]\r\nLpt2K=kvlpt.sys\r\n",
        {{"S\\KVDRV\\kvp2k.inf", Inf({"KV2K.DLL=1"})},
         {"S\\KVDRV\\kvp2k.cat"},
         {"W\\INF\\kvp2k.inf"},
         {"S\\KV2K.DLL"},
         {"S\\Spool\\Drivers\\w32x86\\3\\KV2K.DLL"},
         {"S\\Spool\\Drivers\\w32x86\\2\\KV2K.DLL"},
         {"S\\KVDRV\\kvlpt.sys"},
         {"S\\kvlpt.sys"},
         {"S\\Spool\\Drivers\\w32x86\\kvlpt.sys"},
         {"S\\Spool\\Drivers\\w32x86\\3\\kvlpt.sys"}},
        {"S\\Spool\\Drivers\\w32x86\\3\\KV2K.DLL",
         "S\\Spool\\Drivers\\w32x86\\kvlpt.sys"},
        {"S\\KVDRV\\kvp2k.inf"}},
       {"S\\KVDRV\\kvp2k.inf", "W\\INF\\kvp2k.inf",
        "S\\Spool\\Drivers\\w32x86\\3\\KV2K.DLL",
        "S\\Spool\\Drivers\\w32x86\\2\\KV2K.DLL",
        "S\\Spool\\Drivers\\w32x86\\kvlpt.sys"},
       {"S\\Spool\\Drivers\\w32x86\\3\\KV2K.DLL"}},
      {"XP printer: model folder not deferred, w32x86 deferred",
       WindowsVersion::XP,
       {DeletePrnFilesXP},
       {"[Model]\r\nPRNInfFileXP=kvpxp.inf\r\nPRNCatFileXP=kvpxp.cat\r\n"
        "[Files.2K]\r\nLpt2K=kvlpt.sys\r\n"
        "[USBFOLDER]\r\nQV-7721LN=QV7721\r\nQV-7731LN=QV7731\r\n",
        {{"S\\KVDRV\\kvpxp.inf", Inf({"KVXP.DLL=1"})},
         {"S\\KVDRV\\kvpxp.cat"},
         {"S\\KVXP.DLL"},
         {"S\\Spool\\Drivers\\w32x86\\KVXP.DLL"},
         {"S\\Spool\\Drivers\\w32x86\\3\\KVXP.DLL"},
         {"S\\Spool\\Drivers\\w32x86\\QV7721\\KVXP.DLL"},
         {"S\\Spool\\Drivers\\w32x86\\QV7731\\KVXP.DLL"},
         {"W\\INF\\kvpxp.inf"},
         {"S\\kvlpt.sys"}},
        {"S\\KVDRV\\kvpxp.cat", "S\\Spool\\Drivers\\w32x86\\KVXP.DLL",
         "S\\Spool\\Drivers\\w32x86\\QV7721\\KVXP.DLL"},
        {"S\\KVDRV\\kvpxp.inf"}},
       {"S\\KVDRV\\kvpxp.inf", "S\\KVDRV\\kvpxp.cat",
        "S\\Spool\\Drivers\\w32x86\\KVXP.DLL",
        "S\\Spool\\Drivers\\w32x86\\QV7721\\KVXP.DLL", "W\\INF\\kvpxp.inf"},
       {"S\\KVDRV\\kvpxp.inf", "S\\KVDRV\\kvpxp.cat",
        "S\\Spool\\Drivers\\w32x86\\KVXP.DLL"}},
      {"98 scanner: USB* passed over, skip name outside TWAIN and Color",
       WindowsVersion::Win98,
       {DeleteScnFiles9x},
       {"[Model]\r\nSCNInfFile9x=kvs9x.inf\r\n[Initial]\r\nNameHeader=KVS\r\n"
        "[Files.9x]\r\nUSBscan=KVSCAN.SYS\r\n"
        "[UserDir]\r\nKVUSER.DAT\r\nA=B\r\n[RenameFiles]\r\nKVREN.DLL\r\n",
        {{"S\\KVDRV\\kvs9x.inf", scanInf},
         {"W\\INF\\kvs9x.inf"},
         {"S\\KVDRV\\KVS.DS"},
         {"W\\KVS.DS"},
         {"S\\KVS.DS"},
         {in(twain, "KVS.DS")},
         {"S\\Color\\KVS.DS"},
         {"W\\System32\\Drivers\\KVS.DS"},
         {"S\\KVDRV\\UsbKvs.sys"},
         {"S\\UsbKvs.sys"},
         {"S\\KVDRV\\kvscan.sys"},
         {"W\\kvscan.sys"},
         {"S\\kvscan.sys"},
         {in(twain, "kvscan.sys")},
         {"S\\Color\\kvscan.sys"},
         {"W\\System32\\Drivers\\kvscan.sys"},
         {"S\\KVSSEL.dll"},
         {"S\\KVSSSL.dll"},
         {"S\\KVDRV\\KVUSER.DAT"},
         {in(twain, "KVUSER.DAT")},
         {"S\\KVDRV\\A"},
         {"S\\KVREN.DLL"}},
        {"S\\KVS.DS", "S\\KVSSEL.dll"}},
       {"S\\KVS.DS", "S\\KVDRV\\UsbKvs.sys", "S\\UsbKvs.sys",
        "S\\KVDRV\\kvscan.sys", "W\\kvscan.sys", "S\\kvscan.sys",
        "W\\System32\\Drivers\\kvscan.sys", "S\\KVSSEL.dll", "S\\KVDRV\\A"},
       {"S\\KVS.DS", "S\\KVSSEL.dll"}},
      {"2000 scanner: no header, UserDir only in the store",
       WindowsVersion::Win2000,
       {DeleteScnFiles2k},
       {"[Model]\r\nSCNInfFile2K=kvs2k.inf\r\nSCNCatFile2K=kvs2k.cat\r\n"
        "[UserDir]\r\nKVUSER.DAT\r\n[RenameFiles]\r\nKVREN.DLL\r\n",
        {{"S\\KVDRV\\kvs2k.inf", scanInf},
         {"S\\KVDRV\\kvs2k.cat"},
         {"W\\INF\\kvs2k.inf"},
         {"S\\KVDRV\\KVS.DS"},
         {"W\\KVS.DS"},
         {"S\\KVS.DS"},
         {"W\\Twain_32\\twn\\KVS.DS"},
         {"S\\Spool\\Drivers\\Color\\KVS.DS"},
         {"S\\Color\\KVS.DS"},
         {"S\\UsbKvs.sys"},
         {"S\\kvscan.sys"},
         {"S\\SEL.dll"},
         {"S\\SSL.dll"},
         {"S\\KVDRV\\KVUSER.DAT"},
         {"W\\Twain_32\\twn\\KVUSER.DAT"},
         {"S\\KVREN.DLL"}},
        {},
        {"S\\KVDRV\\kvs2k.inf"}},
       {"S\\KVDRV\\kvs2k.inf", "W\\INF\\kvs2k.inf", "S\\Color\\KVS.DS",
        "W\\Twain_32\\twn\\KVUSER.DAT"},
       {}},
      {"XP scanner: INF copy and catalogue deferred",
       WindowsVersion::XP,
       {DeleteScnFilesXP},
       {"[Model]\r\nSCNInfFileXP=kvsxp.inf\r\nSCNCatFileXP=kvsxp.cat\r\n"
        "[Initial]\r\nNameHeader=KVS\r\n",
        {{"S\\KVDRV\\kvsxp.inf", Inf({"KVS.DS=1"})},
         {"S\\KVDRV\\kvsxp.cat"},
         {in(twain, "KVS.DS")},
         {"S\\KVSSEL.dll"}},
        {"S\\KVDRV\\kvsxp.cat", in(twain, "KVS.DS")},
        {"S\\KVDRV\\kvsxp.inf"}},
       {"S\\KVDRV\\kvsxp.inf", "S\\KVDRV\\kvsxp.cat", in(twain, "KVS.DS")},
       {"S\\KVDRV\\kvsxp.inf", "S\\KVDRV\\kvsxp.cat", in(twain, "KVS.DS")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimMachine m(c.version);
    LayOut(m, c.layout);
    for (Internal run : c.run) run(m.ctx(), kSetup);
    ExpectOutcome(m, c.layout, c.stay, c.deferred);
  }
}

// The exports never defer, and answer with their last deletion.
TEST(FileRemoval, ExportedRemovals) {
  struct Case {
    const char* name;
    WindowsVersion version;
    int(WINAPI* run)(LPCSTR);
    Layout layout;
    std::vector<std::string> stay;
    int result;
    DWORD lastError;  // checked when the result is 0
  };
  const std::string scn9x =
      "[Model]\r\nPRNInfFile9x=kvp9x.inf\r\nSCNInfFile9x=kvs9x.inf\r\n"
      "SCNHead=KVS\r\nUSBINF=kvusb.inf\r\nUSBComINF=kvusbc.inf\r\n";
  const char* const twain = "W\\Twain_32\\KVStwn\\KVS.DS";
  const Case cases[] = {
      {"9x: medium suffixes cut only at their length; in use stays",
       WindowsVersion::Win98,
       ::DeleteFiles9x,
       {scn9x,
        {{"S\\KVDRV\\kvp9x.inf", Inf({"KVP.DRV=1,,", "KVLONG.DLL=1"})},
         {"S\\KVDRV\\kvs9x.inf", Inf({"KVS.DS=1,", "KVS2.DS=1,,"})},
         {"S\\KVDRV\\KVP.DRV"},
         {"S\\KVP.DRV"},
         {"S\\KVLONG.DLL"},
         {"S\\KVDRV\\KVS.DS"},
         {"W\\KVS.DS"},
         {"S\\KVS.DS"},
         {twain},
         {"S\\Color\\KVS.DS"},
         {"W\\System32\\Drivers\\KVS.DS"},
         {"W\\KVS2.DS"},
         {"W\\INF\\kvp9x.inf"},
         {"W\\INF\\kvs9x.inf"},
         {"S\\KVDRV\\kvusb.inf"},
         {"S\\KVDRV\\kvusbc.inf"},
         {"W\\INF\\kvusb.inf"},
         {"W\\INF\\kvusbc.inf"}},
        {"S\\KVP.DRV"}},
       {"S\\KVP.DRV", "S\\KVLONG.DLL", "W\\KVS2.DS"},
       1,
       0},
      {"9x: no scanner INF name, no USBComINF",
       WindowsVersion::Win98,
       ::DeleteFiles9x,
       {"[Model]\r\nPRNInfFile9x=kvp9x.inf\r\nSCNHead=KVS\r\n",
        {{"S\\KVDRV\\kvp9x.inf", Inf({"KVP.DRV=1,,"})},
         {"S\\KVDRV\\kvs9x.inf", Inf({"KVS.DS=1,"})},
         {"S\\KVP.DRV"},
         {"W\\KVS.DS"}}},
       {"S\\KVDRV\\kvs9x.inf", "W\\KVS.DS"},
       0,
       ERROR_INVALID_NAME},
      {"9x on XP: no look at the running Windows",
       WindowsVersion::XP,
       ::DeleteFiles9x,
       {scn9x,
        {{"S\\KVDRV\\kvp9x.inf", Inf({"KVP.DRV=1,,"})},
         {"S\\KVP.DRV"},
         {"W\\INF\\kvusbc.inf"}}},
       {},
       1,
       0},
      {"NT: the INF copy decides",
       WindowsVersion::NT4,
       ::DeleteFilesNT,
       {"[Model]\r\nPRNInfFileNT=kvpnt.inf\r\n",
        {{"S\\KVDRV\\kvpnt.inf", Inf({"KVNT.DLL=1,,"})},
         {"S\\Spool\\Drivers\\w32x86\\2\\KVNT.DLL"},
         {"S\\Spool\\Drivers\\w32x86\\KVNT.DLL"}}},
       {},
       1,
       0},
      {"NT: INF copy in use",
       WindowsVersion::NT4,
       ::DeleteFilesNT,
       {"[Model]\r\nPRNInfFileNT=kvpnt.inf\r\n",
        {{"S\\KVDRV\\kvpnt.inf", Inf({"KVNT.DLL=1,,"})}, {"S\\KVNT.DLL"}},
        {"S\\KVDRV\\kvpnt.inf"}},
       {"S\\KVDRV\\kvpnt.inf"},
       0,
       ERROR_SHARING_VIOLATION},
      {"2000: scanner INF but no catalogue names",
       WindowsVersion::Win2000,
       ::DeleteFiles2k,
       {"[Model]\r\nPRNInfFile2K=kvp2k.inf\r\nSCNInfFile2K=kvs2k.inf\r\n"
        "[Initial]\r\nNameHeader=KVS\r\n",
        {{"S\\KVDRV\\kvp2k.inf", Inf({"KV2K.DLL=1,,"})},
         {"S\\KVDRV\\kvs2k.inf", Inf({"KVS.DS=1,"})},
         {"S\\Spool\\Drivers\\w32x86\\3\\KV2K.DLL"},
         {twain},
         {"S\\Spool\\Drivers\\Color\\KVS.DS"}}},
       {},
       0,
       ERROR_INVALID_NAME},
      {"XP: catalogues deleted; a read-only file stays",
       WindowsVersion::XP,
       ::DeleteFilesXP,
       {"[Model]\r\nPRNInfFileXP=kvpxp.inf\r\nSCNInfFileXP=kvsxp.inf\r\n"
        "PRNCatFileXP=kvpxp.cat\r\nSCNCatFileXP=kvsxp.cat\r\n",
        {{"S\\KVDRV\\kvpxp.inf", Inf({"KVXP.DLL=1,,"})},
         {"S\\KVDRV\\kvsxp.inf", Inf({"KVS.DS=1,"})},
         {"S\\KVDRV\\kvpxp.cat"},
         {"S\\KVDRV\\kvsxp.cat"},
         {"S\\KVXP.DLL"},
         {"S\\Spool\\Drivers\\Color\\KVS.DS"},
         {"W\\Twain_32\\twn\\KVS.DS"}},
        {},
        {"S\\KVXP.DLL"}},
       {"S\\KVXP.DLL"},
       1,
       0},
      {"XP: read-only scanner catalogue",
       WindowsVersion::XP,
       ::DeleteFilesXP,
       {"[Model]\r\nSCNCatFileXP=kvsxp.cat\r\n",
        {{"S\\KVDRV\\kvsxp.cat"}},
        {},
        {"S\\KVDRV\\kvsxp.cat"}},
       {"S\\KVDRV\\kvsxp.cat"},
       0,
       ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimMachine m(c.version);
    m.BindExports();
    LayOut(m, c.layout);
    m.os().SetLastError(kStaleError);
    EXPECT_EQ(c.run(kSetup), c.result);
    if (c.result == 0) {
      EXPECT_EQ(m.os().GetLastError(), c.lastError);
    }
    ExpectOutcome(m, c.layout, c.stay, {});
  }
}

// Names from an INF, a key or a section that are not plain file names:
// nothing outside the named folders is deleted, and nothing is deferred.
TEST(FileRemoval, HostileNamesDeleteNothingElsewhere) {
  const std::vector<std::string> hostile = {
      "..\\x.dll", "C:\\x.dll", "\\\\server\\share\\x.dll",
      "NUL",       "*.dll",     ".."};
  // A plain name, for the model folder value that is none.
  std::vector<std::string> entries = {"kvok.dll=1"};
  for (const std::string& h : hostile) {
    entries.push_back(h + "=1,,");
    entries.push_back(h + "=1,");
  }
  std::string setup =
      "[Model]\r\nPRNInfFile9x=kv.inf\r\nPRNInfFileNT=kv.inf\r\n"
      "PRNInfFile2K=kv.inf\r\nPRNInfFileXP=kv.inf\r\nSCNInfFile9x=kv.inf\r\n"
      "SCNInfFile2K=kv.inf\r\nSCNInfFileXP=kv.inf\r\n"
      "PRNCatFile2K=..\\x.dll\r\nPRNCatFileXP=C:\\x.dll\r\n"
      "SCNCatFile2K=*.dll\r\nSCNCatFileXP=..\\..\\x.dll\r\n"
      "USBINF=..\\x.dll\r\nUSBComINF=NUL\r\nSCNHead=..\\\r\n"
      "[Initial]\r\nNameHeader=..\\\r\n[Files.2K]\r\nLpt2K=*.dll\r\n"
      "[USBFOLDER]\r\nQV-7721LN=..\r\nQV-7731LN=3\\QV\r\n"
      "[UserDir]\r\n";
  for (const std::string& h : hostile) setup += h + "\r\n";
  setup += "[RenameFiles]\r\n";
  for (const std::string& h : hostile) setup += h + "\r\n";
  const std::vector<std::string> sentinels = {
      "C:\\x.dll",
      "W\\x.dll",
      "S\\x.dll",
      "S\\Spool\\Drivers\\x.dll",
      "S\\Spool\\x.dll",
      "S\\KVDRV\\keep.dll",
      "S\\keep.dll",
      "W\\keep.dll",
      "W\\INF\\keep.dll",
      "S\\Spool\\Drivers\\w32x86\\keep.dll",
      "W\\Twain_32\\x.dll",
      "W\\Twain_32\\keep.dll",
      "S\\Spool\\Drivers\\w32x86\\3\\QV\\kvok.dll"};
  struct Family {
    const char* name;
    WindowsVersion version;
    std::vector<Internal> internal;
    int(WINAPI* exported)(LPCSTR);
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
    Layout layout{setup, {{"S\\KVDRV\\kv.inf", Inf(entries)}}};
    for (const std::string& s : sentinels) layout.files.push_back({s});
    LayOut(m, layout);
    for (Internal run : f.internal) run(m.ctx(), kSetup);
    EXPECT_EQ(f.exported(kSetup), 0);
    for (const std::string& s : sentinels) EXPECT_TRUE(Exists(m, s)) << s;
    EXPECT_TRUE(BatchPaths(m).empty());
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

// No table: every entry of a walk goes, however many there are and however
// long their lines.
TEST(FileRemoval, EveryEntryWhateverTheCountAndLength) {
  // `count` names of `length` characters with a medium suffix of `suffix`.
  auto names = [](const char* stem, int count, size_t length) {
    std::vector<std::string> list;
    for (int i = 0; i < count; ++i) {
      char head[32];
      std::snprintf(head, sizeof head, "%s%03d", stem, i);
      std::string name = head;
      name += std::string(length - name.size() - 4, 'x') + ".DLL";
      list.push_back(name);
    }
    return list;
  };
  auto withSuffix = [](const std::vector<std::string>& list,
                       const std::string& suffix) {
    std::vector<std::string> entries;
    for (const std::string& n : list) entries.push_back(n + suffix);
    return entries;
  };
  // Internal, 101 entries: lines of 31, 32 and 300 characters among them.
  {
    SimMachine m(WindowsVersion::Win98);
    std::vector<std::string> list = names("P", 98, 12);
    std::vector<std::string> entries = withSuffix(list, "=1");
    for (size_t length : {31u, 32u, 300u}) {
      const std::string n = names("L", 1, 12)[0] + std::to_string(length);
      list.push_back(n);
      entries.push_back(n + "=" + std::string(length - n.size() - 1, '1'));
      EXPECT_EQ(entries.back().size(), length);
    }
    ASSERT_EQ(entries.size(), 101u);
    Layout layout{"[Model]\r\nPRNInfFile9x=kv.inf\r\n",
                  {{"S\\KVDRV\\kv.inf", Inf(entries)}}};
    for (const std::string& n : list) {
      layout.files.push_back({"S\\KVDRV\\" + n});
      layout.files.push_back({"S\\" + n});
    }
    LayOut(m, layout);
    DeletePrnFiles9x(m.ctx(), kSetup);
    ExpectOutcome(m, layout, {}, {});
  }
  // Internal scanner: the walk, UserDir and RenameFiles together 101.
  {
    SimMachine m(WindowsVersion::Win2000);
    const std::vector<std::string> walked = names("S", 60, 12),
                                   user = names("U", 30, 12),
                                   renamed = names("R", 11, 12);
    std::string setup =
        "[Model]\r\nSCNInfFile2K=kv.inf\r\n[Initial]\r\nNameHeader=KV\r\n"
        "[UserDir]\r\n";
    for (const std::string& n : user) setup += n + "\r\n";
    setup += "[RenameFiles]\r\n";
    for (const std::string& n : renamed) setup += n + "\r\n";
    Layout layout{setup, {{"S\\KVDRV\\kv.inf", Inf(withSuffix(walked, "=1"))}}};
    for (const std::string& n : walked) layout.files.push_back({"S\\" + n});
    for (const std::string& n : user)
      layout.files.push_back({"S\\KVDRV\\" + n});
    for (const std::string& n : renamed) layout.files.push_back({"S\\" + n});
    LayOut(m, layout);
    DeleteScnFiles2k(m.ctx(), kSetup);
    ExpectOutcome(m, layout, {}, {});
  }
  // Exported: printer and scanner pass together 33, names of 27 and 28
  // characters making lines of 31 and 32.
  {
    SimMachine m(WindowsVersion::XP);
    m.BindExports();
    const std::vector<std::string> printer = names("P", 16, 27),
                                   scanner = names("S", 16, 28);
    std::vector<std::string> printerEntries = withSuffix(printer, "=1,,");
    printerEntries.push_back(names("Q", 1, 28)[0] + "=1,,");
    EXPECT_EQ(printerEntries.front().size(), 31u);
    EXPECT_EQ(printerEntries.back().size(), 32u);
    Layout layout{
        "[Model]\r\nPRNInfFileXP=kvp.inf\r\nSCNInfFileXP=kvs.inf\r\n"
        "SCNCatFileXP=kvs.cat\r\n",
        {{"S\\KVDRV\\kvp.inf", Inf(printerEntries)},
         {"S\\KVDRV\\kvs.inf", Inf(withSuffix(scanner, "=1,"))},
         {"S\\KVDRV\\kvs.cat"},
         {"S\\" + names("Q", 1, 28)[0]}}};
    for (const std::string& n : printer) layout.files.push_back({"S\\" + n});
    for (const std::string& n : scanner) layout.files.push_back({"W\\" + n});
    LayOut(m, layout);
    EXPECT_EQ(::DeleteFilesXP(kSetup), 1);
    ExpectOutcome(m, layout, {}, {});
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
      ReadWholeSection(m.ctx(), "big.ini", "Big");
  // (1 MiB - 2) / 1000 whole lines fit.
  EXPECT_EQ(lines.size(), (kSectionReadLimit - 2) / 1000);
  for (const std::string& l : lines) ASSERT_EQ(l, line);
}

}  // namespace
}  // namespace kv::test
