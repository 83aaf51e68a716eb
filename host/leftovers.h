// The comparison of two machine snapshots: what a round of installation and
// removal left behind, took away or changed. Differences that removal makes
// on purpose are listed once, with their reasons, in the known-items table
// (leftovers.cpp); anything else is a fault.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "host/snapshot.h"

namespace kv::host {

enum class Change {
  kLeftBehind,  // in the later snapshot only
  kRemoved,     // in the earlier one only: removal took what was not its own
  kChanged,     // in both, with other content
  kAny,         // (known items only) any of the three
};

const char* ChangeName(Change change);

// A difference that is expected, and why. `pattern` is matched, without
// regard to case, against the fact's names joined by '\' (a registry value
// "HKLM\Software\KORVA\KV" "Mode" reads "HKLM\Software\KORVA\KV\Mode"); '*'
// stands for any text, '?' for one character.
struct KnownItem {
  SnapshotGroup group;
  const char* kind;  // "key", "value", "file", ...; nullptr: any
  Change change;
  const char* pattern;
  const char* reason;
  // Pattern of the system the "after" snapshot was taken on ("* platform 1
  // *" is Windows 9x); nullptr: any.
  const char* system = nullptr;
};

// The table removal is held to.
const std::vector<KnownItem>& KnownLeftovers();

struct Difference {
  Change change = Change::kChanged;
  SnapshotFact before;  // empty names when left behind
  SnapshotFact after;   // empty names when removed
  const KnownItem* known = nullptr;

  const SnapshotFact& fact() const {
    return change == Change::kRemoved ? before : after;
  }
};

struct LeftoverReport {
  std::vector<Difference> differences;  // grouped, in the snapshots' order
  // Why the comparison proves less than it seems: different systems, a
  // snapshot cut short by a bound.
  std::vector<std::string> warnings;
  size_t unknown = 0;  // differences not in the table, plus warnings

  bool clean() const { return unknown == 0; }
};

LeftoverReport CompareSnapshots(
    const Snapshot& before, const Snapshot& after,
    const std::vector<KnownItem>& known = KnownLeftovers());

// The report in plain words, grouped: registry, spooler, win.ini, services,
// files; known differences with their reasons; a last line saying whether
// anything unknown remains.
void PrintLeftoverReport(const LeftoverReport& report, std::ostream& out);

// The hosts' --leftovers: reads both files, prints the report. 0 when
// nothing unknown is left, 1 when something is, 2 when a file cannot be
// read (the reason on `err`).
int LeftoversCommand(const std::string& beforePath,
                     const std::string& afterPath, std::ostream& out,
                     std::ostream& err);

}  // namespace kv::host
