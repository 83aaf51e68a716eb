#include "host/leftovers.h"

#include <ostream>

#include "foundation/printable.h"

namespace kv::host {

// What removal leaves, takes or changes on purpose, each with its reason.
// One line per item; keep the reasons short and true.
const std::vector<KnownItem>& KnownLeftovers() {
  static const std::vector<KnownItem> kTable = {
      // The file's own stamp moves with every profile write; the sections
      // the library touches are compared entry by entry in win.ini.
      {SnapshotGroup::kFiles, "file", Change::kChanged, "win.ini",
       "rewritten by profile writes; its entries are compared on their own"},
      // Seen under Wine between two runs that did nothing: the display
      // adapter's class entry is stamped again at every start.
      {SnapshotGroup::kRegistry, "value", Change::kChanged,
       "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
       "{4D36E968-E325-11CE-BFC1-08002BE10318}\\*\\DriverDateData",
       "the display driver's date, rewritten by every start of Wine"},
      // Seen once under Wine at 8.1: an input device's class entry that
      // Wine's plug-and-play service completed during the run.
      {SnapshotGroup::kRegistry, "value", Change::kLeftBehind,
       "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
       "{745a17a0-74d3-11d0-b6fe-00a0c90f57da}\\*",
       "an input device Wine files in its own time, not ours"},
      // The sample script copies the driver files to the NT family's driver
      // folder on every family; Windows 9x keeps drivers in the system
      // directory, where removal looks on 9x.
      {SnapshotGroup::kFiles, nullptr, Change::kLeftBehind, "SYSTEM*\\spool*",
       "copied by the sample script on Windows 9x too; 9x removal looks in "
       "the system directory",
       "* platform 1*"},
      // Wine's spooler files drivers as version 3 at NT 4.0 too; NT 4.0
      // files them as version 2, where its removal looks.
      {SnapshotGroup::kFiles, nullptr, Change::kLeftBehind,
       "SYSTEM32\\spool\\drivers\\w32x86\\3\\*",
       "Wine's spooler files NT 4.0 drivers as version 3; NT 4.0 removal "
       "looks in version 2, where Windows files them",
       "4.0.* platform 2*"},
      // Containers Windows has for every user and environment, which a
      // fresh Wine prefix makes only when its spooler first writes them.
      {SnapshotGroup::kRegistry, "key", Change::kLeftBehind,
       "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\*",
       "a container key Windows always has; Wine makes it at the first "
       "printer"},
      {SnapshotGroup::kRegistry, "key", Change::kLeftBehind,
       "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\*"
       "\\Drivers",
       "a container key Windows always has; Wine makes it at the first "
       "driver"},
      {SnapshotGroup::kRegistry, "key", Change::kLeftBehind,
       "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\*"
       "\\Drivers\\Version-?",
       "a container key Windows always has; Wine makes it at the first "
       "driver"},
      // Registration adds the setup file's print processor; removal takes
      // no print processor away (another printer may use it).
      {SnapshotGroup::kRegistry, nullptr, Change::kLeftBehind,
       "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\*"
       "\\Print Processors\\*",
       "print processors are not removed: another printer may use one"},
      {SnapshotGroup::kSpooler, "processor", Change::kLeftBehind, "*",
       "print processors are not removed: another printer may use one"},
      // A port outlives its printer: Windows keeps it, with the record its
      // monitor holds, for the next printer on that port.
      {SnapshotGroup::kSpooler, "port", Change::kLeftBehind, "*",
       "ports stay when their printers go, as Windows keeps them"},
      {SnapshotGroup::kRegistry, nullptr, Change::kLeftBehind,
       "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\*\\Ports\\*",
       "a port's record, kept with the port"},
      // Windows 9x: the parallel-port enumerator's key, which the device
      // entry of the model was written below; removal deletes the device.
      {SnapshotGroup::kRegistry, "key", Change::kLeftBehind,
       "HKLM\\Enum\\LPTENUM",
       "Windows' parallel-port enumerator key; removal deletes the model's "
       "device below it"},
      // The same for the USB printing enumerator, made when the first USB
      // printer was plugged in.
      {SnapshotGroup::kRegistry, "key", Change::kLeftBehind,
       "HKLM\\Enum\\USBPRINT",
       "Windows' USB printing enumerator key; removal deletes the model's "
       "device below it"},
  };
  return kTable;
}

namespace {

constexpr SnapshotGroup kGroupOrder[] = {
    SnapshotGroup::kRegistry, SnapshotGroup::kSpooler, SnapshotGroup::kWinIni,
    SnapshotGroup::kServices, SnapshotGroup::kFiles};

char Fold(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// '*' and '?' wildcards, ASCII case folded; iterative with one backtrack
// point, so no input makes it slow.
bool Matches(const char* pattern, const std::string& text) {
  size_t p = 0, t = 0, star = std::string::npos, resume = 0;
  const std::string pat = pattern;
  while (t < text.size()) {
    if (p < pat.size() &&
        (pat[p] == '?' || (pat[p] != '*' && Fold(pat[p]) == Fold(text[t])))) {
      ++p;
      ++t;
    } else if (p < pat.size() && pat[p] == '*') {
      star = p++;
      resume = t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p] == '*') ++p;
  return p == pat.size();
}

std::string Subject(const SnapshotFact& f) {
  std::string s;
  for (const std::string& n : f.names) s += (s.empty() ? "" : "\\") + n;
  return s;
}

const KnownItem* FindKnown(const std::vector<KnownItem>& known,
                           const Difference& d, const std::string& system) {
  const SnapshotFact& f = d.fact();
  const std::string subject = Subject(f);
  for (const KnownItem& k : known) {
    if (k.group != f.group) continue;
    if (k.kind && f.kind != k.kind) continue;
    if (k.change != Change::kAny && k.change != d.change) continue;
    if (k.system && !Matches(k.system, system)) continue;
    if (Matches(k.pattern, subject)) return &k;
  }
  return nullptr;
}

// The fact as the snapshot file writes it, less the group.
std::string Describe(const SnapshotFact& f, bool withContent) {
  std::string s = f.kind;
  for (const std::string& n : f.names) {
    s += " \"";
    for (char c : n) {
      const unsigned char u = static_cast<unsigned char>(c);
      if (u < 0x20 || u == 0x7F) {
        static const char kDigits[] = "0123456789abcdef";
        s += "\\x";
        s += kDigits[u >> 4];
        s += kDigits[u & 15];
      } else {
        s += c;
      }
    }
    s += "\"";
  }
  if (withContent && !f.content.empty()) s += " = " + f.content;
  return s;
}

void Warn(LeftoverReport* r, const std::string& text) {
  r->warnings.push_back(text);
  ++r->unknown;
}

}  // namespace

const char* ChangeName(Change change) {
  switch (change) {
    case Change::kLeftBehind:
      return "left behind";
    case Change::kRemoved:
      return "removed";
    case Change::kChanged:
      return "changed";
    case Change::kAny:
      break;
  }
  return "any change";
}

LeftoverReport CompareSnapshots(const Snapshot& before, const Snapshot& after,
                                const std::vector<KnownItem>& known) {
  LeftoverReport r;
  if (before.system != after.system) {
    Warn(&r, "the snapshots are of different systems (\"" + before.system +
                 "\", then \"" + after.system + "\")");
  }
  for (const std::string& limit : before.limits)
    Warn(&r, "the earlier snapshot was cut short: " + limit);
  for (const std::string& limit : after.limits)
    Warn(&r, "the later snapshot was cut short: " + limit);

  // Both maps are sorted by identity: one merge pass.
  std::vector<Difference> found;
  auto b = before.facts.begin();
  auto a = after.facts.begin();
  while (b != before.facts.end() || a != after.facts.end()) {
    Difference d;
    if (a == after.facts.end() ||
        (b != before.facts.end() && b->first < a->first)) {
      d.change = Change::kRemoved;
      d.before = (b++)->second;
    } else if (b == before.facts.end() || a->first < b->first) {
      d.change = Change::kLeftBehind;
      d.after = (a++)->second;
    } else {
      const bool same = b->second.content == a->second.content;
      d.change = Change::kChanged;
      d.before = (b++)->second;
      d.after = (a++)->second;
      if (same) continue;
    }
    d.known = FindKnown(known, d, after.system);
    if (!d.known) ++r.unknown;
    found.push_back(std::move(d));
  }
  for (SnapshotGroup g : kGroupOrder) {
    for (Difference& d : found) {
      if (d.fact().group == g) r.differences.push_back(std::move(d));
    }
  }
  return r;
}

void PrintLeftoverReport(const LeftoverReport& report, std::ostream& out) {
  for (const std::string& w : report.warnings)
    out << "warning: " << PrintableText(w) << "\n";
  size_t known = 0;
  for (SnapshotGroup g : kGroupOrder) {
    bool heading = false;
    for (const Difference& d : report.differences) {
      if (d.fact().group != g) continue;
      if (!heading) {
        out << SnapshotGroupName(g) << ":\n";
        heading = true;
      }
      out << "  " << ChangeName(d.change) << ": ";
      if (d.change == Change::kChanged) {
        out << PrintableText(Describe(d.after, false)) << ": "
            << PrintableText(d.before.content) << " -> "
            << PrintableText(d.after.content);
      } else {
        out << PrintableText(Describe(d.fact(), true));
      }
      if (d.known) {
        ++known;
        out << "\n      known: " << d.known->reason;
      }
      out << "\n";
    }
  }
  const size_t differences = report.differences.size();
  out << differences << " difference" << (differences == 1 ? "" : "s") << ", "
      << known << " known";
  if (!report.warnings.empty()) {
    out << ", " << report.warnings.size() << " warning"
        << (report.warnings.size() == 1 ? "" : "s");
  }
  out << (report.clean() ? ": nothing unknown is left\n"
                         : ": something unknown is left\n");
}

int LeftoversCommand(const std::string& beforePath,
                     const std::string& afterPath, std::ostream& out,
                     std::ostream& err) {
  Snapshot before, after;
  std::string error;
  if (!ReadSnapshot(beforePath, &before, &error) ||
      !ReadSnapshot(afterPath, &after, &error)) {
    err << "kvsup-host: " << PrintableText(error) << "\n";
    return 2;
  }
  const LeftoverReport report = CompareSnapshots(before, after);
  PrintLeftoverReport(report, out);
  return report.clean() ? 0 : 1;
}

}  // namespace kv::host
