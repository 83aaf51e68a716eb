// The call trace's cost per platform call, natively: a cheap call made
// through the platform directly, through a TracedPlatform whose tracing is
// off (its one branch), and through one writing each call to a file.
//
//   bench_trace [calls]      (default 20000000; a tenth of them traced)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "foundation/traced_platform.h"
#include "sim/sim_platform.h"

namespace {

// A call that does nothing on the machine, so the layer around it is what
// is measured.
class IdleMachine : public kv::sim::SimPlatform {
 public:
  using SimPlatform::SimPlatform;
  BOOL IsDBCSLeadByte(BYTE) override { return FALSE; }
};

double NanosPerCall(kv::Platform& os, long calls) {
  const auto start = std::chrono::steady_clock::now();
  BOOL sum = 0;
  for (long i = 0; i < calls; ++i)
    sum += os.IsDBCSLeadByte(static_cast<BYTE>(i));
  const auto end = std::chrono::steady_clock::now();
  if (sum != 0) std::puts("unexpected answer");
  return std::chrono::duration<double, std::nano>(end - start).count() /
         static_cast<double>(calls);
}

}  // namespace

int main(int argc, char** argv) {
  const long calls = argc > 1 ? std::atol(argv[1]) : 20000000;
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "kvsup-bench-trace";
  fs::create_directories(dir / "machine");
  {
    IdleMachine machine(kv::sim::WindowsVersion::XP,
                        (dir / "machine").string());
    kv::TracedPlatform off(machine, "");
    kv::TracedPlatform on(machine, (dir / "trace.txt").string());
    const double direct = NanosPerCall(machine, calls);
    const double untraced = NanosPerCall(off, calls);
    const double traced = NanosPerCall(on, calls / 10);
    std::printf("direct            %8.2f ns/call\n", direct);
    std::printf("decorator, off    %8.2f ns/call (+%.2f)\n", untraced,
                untraced - direct);
    std::printf(
        "decorator, traced %8.2f ns/call (+%.2f), %llu bytes\n", traced,
        traced - direct,
        static_cast<unsigned long long>(fs::file_size(dir / "trace.txt")));
  }
  fs::remove_all(dir);
  return 0;
}
