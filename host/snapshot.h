// A machine's state as far as installation and removal can change it: the
// registry trees the library writes, the spooler's lists, the win.ini
// sections it touches and the files under the Windows directory. Taken
// through the Platform only, so the same code records the simulated machine
// and, in the Windows host, the real system.
//
// The text form has one fact per line, so two snapshots diff by eye:
//
//   kvsup-snapshot 1
//   registry key "HKLM\\Software\\KORVA\\KV"
//   registry value "HKLM\\Software\\KORVA\\KV" "Mode" = dword 0x00000001
//   spooler printer "KV Printer" = driver "KORVA KV-100" port "LPT1:"
//   files file "SYSTEM32\\kvres.dll" = size 12 time 2026-12-07 13:01:23.0000000
//   limit "files: more than 100000 entries"
//   end 4
//
// Strings are quoted; a backslash, a quote and every byte outside printable
// ASCII are escaped (\\, \", \xHH), so any name survives the round trip.
// The last line counts the facts, so a cut file is refused.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "foundation/platform.h"

namespace kv::host {

// The report's sections; a fact belongs to one.
enum class SnapshotGroup { kRegistry, kSpooler, kWinIni, kServices, kFiles };

const char* SnapshotGroupName(SnapshotGroup group);

// One fact: what kind of thing ("key", "value", "printer", "file", ...),
// the names that identify it, and its content in the file's notation (empty
// when the fact is only that the thing exists).
struct SnapshotFact {
  SnapshotGroup group = SnapshotGroup::kRegistry;
  std::string kind;
  std::vector<std::string> names;
  std::string content;

  bool operator==(const SnapshotFact& o) const {
    return group == o.group && kind == o.kind && names == o.names &&
           content == o.content;
  }
};

struct Snapshot {
  // The system it was taken on ("5.1.2600 platform 2 \"Service Pack 2\"").
  std::string system;
  // Facts by identity: group, kind and names, the names folded to lower
  // case since Windows compares registry, profile and file names so.
  std::map<std::string, SnapshotFact> facts;
  // Where a bound cut the record short: such a snapshot proves nothing
  // about what it did not reach.
  std::vector<std::string> limits;

  bool operator==(const Snapshot& o) const {
    return system == o.system && facts == o.facts && limits == o.limits;
  }
};

// The identity under which `fact` is filed in Snapshot::facts.
std::string FactIdentity(const SnapshotFact& fact);

// A snapshot file is at most this large when read: the bounds below
// (100000 files, 700000 registry facts of at most 4 KiB shown) come to
// less for any machine the host meets.
constexpr size_t kSnapshotFileLimit = 256u << 20;

// How much one snapshot records at most; a bound reached adds a limit line
// instead of more facts.
struct SnapshotBounds {
  size_t maxRegistryDepth = 24;
  size_t maxKeys = 200000;
  size_t maxValues = 500000;
  // Value data longer than this is recorded by size and checksum.
  size_t maxValueBytes = 4096;
  size_t maxFileDepth = 24;
  size_t maxFiles = 100000;
  // The largest spooler list or profile section read.
  size_t maxListBytes = 16u << 20;
};

// Records the machine `os` runs on. Only reads; every handle it opens is
// closed again. Never fails as a whole: what cannot be read is recorded as
// such (a spooler call's error, a folder that cannot be listed).
Snapshot TakeSnapshot(Platform& os,
                      const SnapshotBounds& bounds = SnapshotBounds());

// Only the system line and the spooler's lists (printers, monitors, ports,
// drivers, processors).
Snapshot TakeSpoolerSnapshot(Platform& os);

// One fact as a line of the text form.
std::string FactText(const SnapshotFact& fact);

// The snapshot as text, first line "kvsup-snapshot 1", last line "end N".
std::string SnapshotText(const Snapshot& snapshot);
// Writes SnapshotText to `path`; false with `error` set when it cannot.
bool WriteSnapshot(const Snapshot& snapshot, const std::string& path,
                   std::string* error);

// Reads what SnapshotText wrote. False, with `error` naming the file and
// the line ("before.txt:12: ..."), for an empty, cut, binary or hand-broken
// file or another version; `snapshot` then holds only what came before.
bool ParseSnapshot(const std::string& text, const std::string& fileName,
                   Snapshot* snapshot, std::string* error);
bool ReadSnapshot(const std::string& path, Snapshot* snapshot,
                  std::string* error);

}  // namespace kv::host
