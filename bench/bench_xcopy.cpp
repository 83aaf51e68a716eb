// Xcopy on real files through the simulated machine's file layer.
//
//   bench_xcopy medium <machine-dir> <top-folders> <mid-folders> <leaf-folders>
//   <files>
//       lays out C:\MEDIUM: a selected folder E holding
//       top x mid x leaf leaf folders of <files> files each, plus branches
//       LNKSCAN passes over (a 2k folder, a top-level folder other than E).
//   bench_xcopy chains <machine-dir> <chains>
//       lays out C:\MEDIUM\E with <chains> chains of folders 12 levels deep,
//       five files in each folder.
//   bench_xcopy run <machine-dir> [walk-only]
//       runs Xcopy("C:\MEDIUM", "C:\DEST\A\B", "E", "LNKSCAN") and prints
//       "seconds=<wall time> maxrss_kb=<peak resident size>". With
//       "walk-only" the machine forgets the attribute record it keeps in
//       memory for every file given normal attributes (its disk's metadata,
//       which grows with the files written whoever writes them), so that the
//       peak is that of the walk itself.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/context.h"
#include "sim/file_paths.h"
#include "sim/sim_platform.h"
#include "staging/xcopy.h"

namespace {

namespace fs = std::filesystem;

// The machine's operation record is a test aid that grows with every call;
// a long walk keeps only its most recent part, so that what is measured is
// the walk and the file layer.
class BenchMachine : public kv::sim::SimPlatform {
 public:
  using SimPlatform::SimPlatform;
  BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) override {
    if (operations().size() > 4096) ClearOperations();
    return SimPlatform::FindNextFileA(find, data);
  }
  BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) override {
    const BOOL ok = SimPlatform::SetFileAttributesA(path, attributes);
    if (walkOnly) kv::sim::Files(*this, machineDir()).attributes.clear();
    return ok;
  }
  bool walkOnly = false;
};

void WriteFile(const fs::path& p, size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>('a' + (seed * 31 + i * 7) % 26);
  std::ofstream(p, std::ios::binary) << bytes;
}

int Medium(const fs::path& drive, int top, int mid, int leaf, int files) {
  const fs::path e = drive / "MEDIUM" / "E";
  int made = 0, folders = 0;
  for (int a = 0; a < top; ++a)
    for (int b = 0; b < mid; ++b)
      for (int c = 0; c < leaf; ++c) {
        const fs::path dir = e / ("a" + std::to_string(a)) /
                             ("b" + std::to_string(b)) /
                             ("c" + std::to_string(c));
        fs::create_directories(dir);
        for (int f = 0; f < files; ++f)
          WriteFile(dir / ("file" + std::to_string(f) + ".dat"),
                    512 + (made * 977) % 7680, made),
              ++made;
      }
  folders = 1 + top + top * mid + top * mid * leaf;
  // Branches the selection leaves out.
  fs::create_directories(e / "2k");
  WriteFile(e / "2k" / "skipped.dll", 4096, 1);
  fs::create_directories(drive / "MEDIUM" / "Other");
  WriteFile(drive / "MEDIUM" / "Other" / "skipped.txt", 4096, 2);
  std::printf("files=%d folders=%d\n", made, folders);
  return 0;
}

int Chains(const fs::path& drive, int chains) {
  int made = 0;
  for (int c = 0; c < chains; ++c) {
    fs::path dir = drive / "MEDIUM" / "E" / ("chain" + std::to_string(c));
    for (int level = 0; level < 12; ++level) {
      fs::create_directories(dir);
      for (int f = 0; f < 5; ++f)
        WriteFile(dir / ("f" + std::to_string(f) + ".dat"), 256, made++);
      dir /= "L" + std::to_string(level);
    }
  }
  std::printf("files=%d depth=12\n", made);
  return 0;
}

int Run(const std::string& machineDir, bool walkOnly) {
  BenchMachine machine(kv::sim::WindowsVersion::XP, machineDir);
  machine.walkOnly = walkOnly;
  kv::Context ctx(machine);
  machine.CreateDirectoryA("C:\\DEST", nullptr);
  machine.CreateDirectoryA("C:\\DEST\\A", nullptr);
  machine.CreateDirectoryA("C:\\DEST\\A\\B", nullptr);
  const auto start = std::chrono::steady_clock::now();
  const int result =
      kv::Xcopy(ctx, "C:\\MEDIUM", "C:\\DEST\\A\\B", "E", "LNKSCAN");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("result=%d seconds=%.4f maxrss_kb=%ld\n", result, seconds,
              usage.ru_maxrss);
  return result ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "medium" && argc == 7)
    return Medium(fs::path(argv[2]) / "drive_c", std::atoi(argv[3]),
                  std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
  if (mode == "chains" && argc == 4)
    return Chains(fs::path(argv[2]) / "drive_c", std::atoi(argv[3]));
  if (mode == "run" && (argc == 3 || argc == 4))
    return Run(argv[2], argc == 4 && std::string(argv[3]) == "walk-only");
  std::fprintf(stderr,
               "usage: bench_xcopy medium <dir> <top> <mid> <leaf> <files>\n"
               "       bench_xcopy chains <dir> <chains>\n"
               "       bench_xcopy run <dir> [walk-only]\n");
  return 2;
}
