// kvsup-medium: writes the generated installation medium of one seed for
// one Windows family (setup files, INF copies, stand-in files, the scripts
// second.kvs, install.kvs and remove.kvs, and a prepared simulated machine),
// so that a round trip of the round-trip test can be replayed with
// kvsup-host, natively or under Wine with the real library.
#include <cstdlib>
#include <iostream>
#include <string>

#include "tests/native/roundtrip/medium.h"

namespace {

const char kUsage[] =
    "usage: kvsup-medium --seed N --os OS --out DIR\n"
    "       kvsup-medium --seed N --os OS --plug-in MACHINE\n"
    "  --out DIR          write the medium, its scripts and a fresh machine\n"
    "                     (DIR/machine), then print the replay commands\n"
    "  --plug-in MACHINE  plug the medium's USB printers into the machine\n"
    "                     saved in MACHINE (Windows 9x; after the snapshot\n"
    "                     before our installation)\n"
    "  OS: nt40 win95 win98 winme win2k winxp vista win7 win81 win10\n"
    "      win10-nomanifest\n";

int Usage(const std::string& why) {
  std::cerr << "kvsup-medium: " << why << "\n" << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string seedText, os, out, plugIn;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    std::string* value = a == "--seed"      ? &seedText
                         : a == "--os"      ? &os
                         : a == "--out"     ? &out
                         : a == "--plug-in" ? &plugIn
                                            : nullptr;
    if (!value) return Usage("unknown argument " + a);
    if (i + 1 >= argc) return Usage(a + " needs a value");
    *value = argv[++i];
  }
  char* end = nullptr;
  const unsigned long long seed = std::strtoull(seedText.c_str(), &end, 10);
  if (seedText.empty() || *end) return Usage("--seed wants a number");
  bool known = false;
  for (const auto& f : kv::roundtrip::Families()) known = known || f == os;
  if (!known) return Usage("unknown --os " + os);
  if (out.empty() == plugIn.empty()) return Usage("one of --out and --plug-in");

  const kv::roundtrip::Medium medium = kv::roundtrip::MakeMedium(seed, os);
  std::string error;
  if (!plugIn.empty()) {
    if (!kv::roundtrip::PlugInPrinters(medium, plugIn, &error)) {
      std::cerr << "kvsup-medium: " << error << "\n";
      return 1;
    }
    return 0;
  }
  if (!kv::roundtrip::WriteMedium(medium, out, &error)) {
    std::cerr << "kvsup-medium: " << error << "\n";
    return 1;
  }
  std::cout << medium.summary << "\nreplay:\n"
            << kv::roundtrip::ReplayCommands(medium, out);
  return 0;
}
