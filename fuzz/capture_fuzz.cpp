// A capture as a customer's machine might send it. The input is sealed
// with a fresh end line, so the records themselves are fuzzed rather than
// the checksum. Whatever the parser accepts must write back to the same
// text, load into a machine folder, save and load again (a text that would
// break machine.ini is refused before), and its load report must hold no
// raw control byte.
#include <cstdint>
#include <sstream>
#include <string>

#include "foundation/printable.h"
#include "fuzz/format_fuzz.h"
#include "host/capture.h"
#include "host/capture_load.h"
#include "host/record_text.h"
#include "sim/sim_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string body(reinterpret_cast<const char*>(data), size);
  const std::string magic = "kvsup-capture 1\n";
  if (body.compare(0, magic.size(), magic) == 0) body.erase(0, magic.size());
  const size_t end = body.rfind("end ");
  if (end != std::string::npos && (end == 0 || body[end - 1] == '\n'))
    body.erase(end);
  if (!body.empty() && body.back() != '\n') body += '\n';
  size_t records = 0;
  for (char c : body) records += c == '\n';
  std::string text = magic + body;
  text += "end " + std::to_string(records) + " fnv1a " +
          kv::host::Hex32(kv::host::Fnv1a(
              reinterpret_cast<const uint8_t*>(text.data()), text.size())) +
          "\n";
  kv::host::Capture capture;
  std::string why;
  if (!kv::host::ParseCapture(text, "fuzz.cap", &capture, &why)) {
    kv::fuzz::RequirePrintable(kv::PrintableText(why));
    return 0;
  }
  kv::host::Capture again;
  if (!kv::host::ParseCapture(kv::host::CaptureText(capture), "again.cap",
                              &again, &why) ||
      kv::host::CaptureText(again) != kv::host::CaptureText(capture))
    std::abort();
  kv::sim::WindowsVersion version;
  std::string note;
  kv::host::CaptureVersion(capture, &version, &note);
  kv::fuzz::ScratchFolder folder;
  std::ostringstream report;
  {
    kv::sim::SimPlatform os(version, folder.path());
    kv::host::LoadCapture(capture, os, report);
    if (!os.SaveState()) std::abort();
  }
  kv::sim::SimPlatform reloaded(version, folder.path());
  if (!reloaded.LoadState()) std::abort();
  kv::fuzz::RequirePrintable(report.str());
  return 0;
}
