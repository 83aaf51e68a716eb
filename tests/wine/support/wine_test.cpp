#include "tests/wine/support/wine_test.h"

#include <cstdio>
#include <cstring>

namespace kvwine {
namespace {

// Build numbers are what Wine reports and what these Windows shipped with:
// 95 is 950, 98 is 1998, Me is 3000, NT 4.0 is 1381, 2000 is 2195, XP 2600;
// with no manifest these programs see 8.1 and 10 as 6.2 (build 9200).
const VersionFacts kVersions[] = {
    {"win95", VER_PLATFORM_WIN32_WINDOWS, 4, 0, 2, -1, 0},
    {"win98", VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2, -1, 0},
    {"winme", VER_PLATFORM_WIN32_WINDOWS, 4, 90, 2, -1, 1},
    {"nt40", VER_PLATFORM_WIN32_NT, 4, 0, 1, 1, 0},
    {"win2k", VER_PLATFORM_WIN32_NT, 5, 0, 3, 2, 0},
    {"winxp", VER_PLATFORM_WIN32_NT, 5, 1, 4, 2, 0},
    {"vista", VER_PLATFORM_WIN32_NT, 6, 0, 4, 2, 1},
    {"win7", VER_PLATFORM_WIN32_NT, 6, 1, 4, 2, 1},
    {"win81", VER_PLATFORM_WIN32_NT, 6, 2, 4, 2, 1},
    {"win10", VER_PLATFORM_WIN32_NT, 6, 2, 4, 2, 1},
};

const VersionFacts* g_version = nullptr;

}  // namespace

const VersionFacts& Version() { return *g_version; }

bool IsWin9x() { return g_version->platformId == VER_PLATFORM_WIN32_WINDOWS; }

std::string ProgramDir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  if (n == 0 || n >= sizeof path) return std::string();
  std::string dir(path, n);
  // The prefixes map no drive to the host's root: Wine names a program
  // started from a host path "unix\..." here, which is \\?\unix\... .
  if (dir.rfind("unix\\", 0) == 0) dir = "\\\\?\\" + dir;
  return dir.substr(0, dir.find_last_of("\\/") + 1);
}

HMODULE Kvsup() {
  static HMODULE dll = LoadLibraryA((ProgramDir() + "_KVSUP32.dll").c_str());
  if (!dll)
    ADD_FAILURE() << "LoadLibraryA(_KVSUP32.dll) failed, error "
                  << GetLastError();
  return dll;
}

std::string SystemMessage(DWORD error) {
  LPSTR text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER |
                     FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                 nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                 reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string result = text ? text : "";
  if (text) LocalFree(text);
  return result;
}

}  // namespace kvwine

// Usage: <suite>.exe --kv-version=<a name of kVersions>
// [GoogleTest flags]. The version is the one the prefix was made for; the
// suites check the real system against it.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const char* wanted = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--kv-version=", 13) == 0) wanted = argv[i] + 13;
  }
  for (const auto& v : kvwine::kVersions) {
    if (wanted && std::strcmp(wanted, v.name) == 0) kvwine::g_version = &v;
  }
  if (!kvwine::g_version) {
    std::fprintf(stderr,
                 "usage: %s --kv-version=<nt40, win95, ... win81, win10>\n",
                 argv[0]);
    return 2;
  }
  return RUN_ALL_TESTS();
}
