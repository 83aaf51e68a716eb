// A machine folder's state files as a bug report might bring them: the
// input is machine.ini, registry.reg and attributes.ini, split at NUL
// bytes. A machine that loads saves and loads again to the same registry;
// one that does not is refused with a reason, and never hangs.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/format_fuzz.h"
#include "fuzz/fuzz_input.h"
#include "sim/sim_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto files = kv::fuzz::Texts(data, size, 3);
  kv::fuzz::ScratchFolder folder;
  const char* const names[] = {"machine.ini", "registry.reg", "attributes.ini"};
  for (size_t i = 0; i < 3; ++i)
    std::ofstream(folder.path() + "/" + names[i], std::ios::binary) << files[i];
  std::filesystem::create_directory(folder.path() + "/drive_c");
  std::string registry;
  {
    kv::sim::SimPlatform os(kv::sim::WindowsVersion::XP, folder.path());
    std::string why;
    if (!os.LoadState(&why)) {
      if (why.empty()) std::abort();
      return 0;
    }
    if (!os.SaveState()) std::abort();
    registry = os.ExportRegistry();
  }
  kv::sim::SimPlatform again(kv::sim::WindowsVersion::XP, folder.path());
  if (!again.LoadState() || again.ExportRegistry() != registry) std::abort();
  return 0;
}
