// A snapshot sent along with a report. Whatever the parser accepts writes
// back to text that reads back as the same snapshot, and the leftover
// report of it against itself and against an empty machine holds no raw
// control byte.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "foundation/printable.h"
#include "fuzz/format_fuzz.h"
#include "host/leftovers.h"
#include "host/snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  kv::host::Snapshot snapshot;
  std::string why;
  if (!kv::host::ParseSnapshot(text, "fuzz.snap", &snapshot, &why)) {
    kv::fuzz::RequirePrintable(kv::PrintableText(why));
    return 0;
  }
  kv::host::Snapshot again;
  if (!kv::host::ParseSnapshot(kv::host::SnapshotText(snapshot), "again.snap",
                               &again, &why) ||
      !(again == snapshot))
    std::abort();
  kv::host::Snapshot empty;
  empty.system = snapshot.system;
  std::ostringstream report;
  kv::host::PrintLeftoverReport(kv::host::CompareSnapshots(empty, snapshot),
                                report);
  kv::host::PrintLeftoverReport(kv::host::CompareSnapshots(snapshot, snapshot),
                                report);
  kv::fuzz::RequirePrintable(report.str());
  return 0;
}
