// A capture: what the library reads or writes on one Windows machine, taken
// through the Platform so that a customer's machine can be loaded into the
// simulated one and an installation or removal rehearsed there first.
//
// The text form (docs/capture.md) has one record a line, in the notation of
// snapshots (host/record_text.h):
//
//   kvsup-capture 1
//   system 2 5 1 2600 "Service Pack 2"
//   folders "C:\\WINDOWS" "C:\\WINDOWS\\system32" "C:\\...\\Application Data"
//   disk 2147483648 4294967296 1252
//   tree HKLM "SYSTEM\\CurrentControlSet\\Control\\Print"
//   key HKLM "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\KV"
//   value HKLM "SYSTEM\\...\\Printers\\KV" "Port" 1 4c5054313a00
//   ini "win.ini" "windows" "device" "KV,WINSPOOL,LPT1:"
//   service "Spooler" 4
//   spooler printer "KV" = driver "KORVA KV-100" port "LPT1:"
//   dir "C:\\WINDOWS\\system32\\KVDRV" 0x10 133786392000000000
//   file "C:\\WINDOWS\\vt3eins.sii" 1234 0x20 133786392000000000 3b20...
//   file "C:\\WINDOWS\\system32\\kvdrv.dll" 40960 0x20 133786392000000000
//   limit "files: more than 100000 entries"
//   end 14 fnv1a 0x1c9d3e07
//
// The end line counts the records before it and carries the checksum of
// every byte before it, so a cut or edited file is refused.
#pragma once

#include <string>
#include <vector>

#include "foundation/platform.h"

namespace kv::host {

struct CapturedValue {
  std::string root;  // "HKLM", "HKCU" or "HKCC"
  std::string key;
  std::string name;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct CapturedFile {
  std::string path;  // full Windows path
  bool directory = false;
  unsigned long long size = 0;
  DWORD attributes = 0;
  unsigned long long time = 0;  // last write, FILETIME ticks (UTC)
  bool hasContent = false;      // the small text files the library parses
  std::string content;
};

struct Capture {
  // The version record as GetVersionExA gave it.
  DWORD platform = 0, major = 0, minor = 0, build = 0;
  std::string csd;
  std::string windowsDir, systemDir, appDataDir;
  // Drive C:'s free and total bytes (0 0 when unknown), and the system code
  // page as far as the library tells them apart (932 or 1252).
  unsigned long long diskFree = 0, diskTotal = 0;
  unsigned codePage = 1252;
  struct Tree {
    std::string root, path;
  };
  std::vector<Tree> trees;  // the registry trees walked (present or not)
  std::vector<Tree> keys;   // every key found in them
  std::vector<CapturedValue> values;
  struct IniEntry {
    std::string file, section, key, value;
  };
  std::vector<IniEntry> ini;
  struct Service {
    std::string name;
    DWORD state = 0;  // SERVICE_STOPPED ... SERVICE_RUNNING
  };
  std::vector<Service> services;
  // The spooler's lists as snapshot lines ("spooler printer ... = ...").
  std::vector<std::string> spooler;
  std::vector<CapturedFile> files;
  // Where a bound cut the capture short.
  std::vector<std::string> limits;
};

// Files whose content is captured are at most this large.
constexpr unsigned long long kCapturedContentLimit = 64 * 1024;
// A capture file is at most this large when read: the writer's bounds
// (100000 files, 200000 keys) come to far less but for values of a MiB.
constexpr size_t kCaptureFileLimit = 256u << 20;

// The position of the last backslash of a path of the captured machine,
// read by characters of its code page (a code page 932 trail byte may be
// 0x5C); npos for none.
size_t LastBackslash(const std::string& path, unsigned codePage);

// The registry root a capture names "HKLM", "HKCU" or "HKCC"; null for
// any other name.
HKEY CaptureRootKey(const std::string& name);

// Records the machine `os` runs on. Only reads.
Capture TakeCapture(Platform& os);

std::string CaptureText(const Capture& capture);
bool WriteCapture(const Capture& capture, const std::string& path,
                  std::string* error);

// Reads what CaptureText wrote. False, with `error` naming the file, the
// line and the reason, for a cut, edited, damaged or newer file, and for
// one the writer could not have written: a record it always writes
// missing (system, folders, disk, every tree), one it writes once there
// twice, a key, value, service or file named twice (in any
// letter case), past the writer's bounds (key depth, counts, content
// sizes, Windows' key limits) or outside what it records, a file name
// Windows cannot hold, control bytes in a text that ends up in
// machine.ini or in a profile line. Nothing is half-read then (`capture`
// is left as it was).
bool ParseCapture(const std::string& text, const std::string& fileName,
                  Capture* capture, std::string* error);
bool ReadCapture(const std::string& path, Capture* capture, std::string* error);

}  // namespace kv::host
