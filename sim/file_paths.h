// Windows paths of the simulated machine mapped to its sandbox folder, and the
// file state that is not kept by the host (attributes, open handles, finds).
// Shared by the file, profile, font, spooler and service files of sim/.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "foundation/win32.h"
#include "sim/sim_platform.h"

namespace kv::sim {

#define KV_ERROR_DIRECTORY 267L  // ERROR_DIRECTORY: the name is not a folder

// The attribute bits the machine keeps for a file; the others come from the
// host (directory) or are derived (normal).
const DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Path text in the machine's code page. In code page 932 a double-byte
// character is one character of a name even when its trail byte is 0x5C
// ('\\') or 0x7C ('|'); only single-byte letters have a case.
// The components between separators, empty ones included.
std::vector<std::string> SplitAtSeparators(const std::string& path,
                                           UINT codePage);
// The position of the last separator character, or npos.
size_t LastSeparator(const std::string& path, UINT codePage);
// `text` with its single-byte letters upper-cased.
std::string FoldCase(const std::string& text, UINT codePage);

// A Windows path resolved against the sandbox.
struct ResolvedPath {
  DWORD error = 0;   // 0, or why the path cannot name anything on C:
  std::string host;  // host path under <machineDir>/drive_c
  std::string key;   // "C:\DIR\FILE" upper-cased: the identity of the file
  std::string win;   // "C:\Dir\File" with the spelling found on disk
  std::string name;  // last component as found (or as given)
  bool isRoot = false;
};

// Resolves `winPath` (C:\..., \..., or relative to C:\) component by
// component without regard to case. Fails with ERROR_PATH_NOT_FOUND for other
// drives, UNC names and ".." above C:\, ERROR_INVALID_NAME for characters
// Windows refuses (wildcards included), ERROR_FILENAME_EXCED_RANGE for paths
// of MAX_PATH or more. Never yields a host path outside drive_c.
// `codePage` is the machine's (SimPlatform::codePage).
ResolvedPath ResolveWinPath(const std::string& machineDir,
                            const std::string& winPath, UINT codePage);

// What the host file system says about a resolved path.
enum class HostKind { Missing, File, Directory };
HostKind KindOf(const std::string& host);
// Whether the folder that would hold `p` exists.
bool ParentExists(const ResolvedPath& p);

// Attributes Windows keeps and the host does not (read-only, hidden, system,
// archive) and the placeholder files (SimPlatform::MarkPlaceholder), saved in
// <machineDir>/attributes.ini so a saved machine keeps them; plus the
// machine's open files and directory searches.
struct FileState : SimPlatform::Extension {
  bool loaded = false;
  std::map<std::string, DWORD> attributes;  // key -> stored bits
  std::set<std::string> placeholders;       // keys of placeholder files
  mutable std::string savedText;            // what Flush last wrote
  mutable bool dirty = false;  // records changed since the last Flush
  struct Find {
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
  };
  std::map<uintptr_t, Find> finds;

  // False when attributes.ini is there but no file of its bounds.
  bool Load(const std::string& machineDir);
  // Notes a change of the records; they reach attributes.ini at Flush (when
  // the machine is saved or goes). Writing the file at every change would
  // make a tree copy quadratic in the number of files.
  void Save(const std::string& machineDir) const;
  void Flush(const std::string& machineDir) const;
  // Stored bits of a file or folder; files without a record are ARCHIVE.
  DWORD Stored(const std::string& key, bool directory) const;
  // Moves the records of `from` and everything below it to `to`.
  void Rename(const std::string& from, const std::string& to);
  // Drops the records of a file or folder that is gone; false when it had
  // none.
  bool Forget(const std::string& key);
  bool IsPlaceholder(const std::string& key) const {
    return placeholders.count(key) != 0;
  }
};

FileState& Files(SimPlatform& os, const std::string& machineDir);

}  // namespace kv::sim
