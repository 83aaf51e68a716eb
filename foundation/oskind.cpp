#include "foundation/oskind.h"

#include <cstring>
#include <vector>

namespace kv {
namespace {

bool ReadVersion(Context& ctx, OSVERSIONINFOA& info) {
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;  // 148 bytes
  return ctx.os.GetVersionExA(&info) != FALSE;
}

}  // namespace

OsKind GetOSKind(Context& ctx) {
  OSVERSIONINFOA v;
  if (!ReadVersion(ctx, v)) return OsKind::Other;
  if (v.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    if (v.dwMajorVersion == 4) return OsKind::NT4;
    if (v.dwMajorVersion < 5) return OsKind::Other;
    // Windows 2000 is 5.0 alone. Vista (6.0) and Windows 10 as a manifested
    // program sees it (10.0) also have minor 0, and they take XP's services,
    // keys and driver folders.
    if (v.dwMajorVersion == 5 && v.dwMinorVersion == 0) return OsKind::Win2000;
    return OsKind::XP;
  }
  if (v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && v.dwMajorVersion == 4)
    return OsKind::Win9x;
  return OsKind::Other;
}

int GetNTGeneration(Context& ctx) {
  OSVERSIONINFOA v;
  if (!ReadVersion(ctx, v) || v.dwPlatformId != VER_PLATFORM_WIN32_NT)
    return -1;
  if (v.dwMajorVersion == 4) return 1;
  return v.dwMajorVersion >= 5 ? 2 : -1;
}

int IsWinMe(Context& ctx) {
  OSVERSIONINFOA v;
  if (!ReadVersion(ctx, v)) return 0;
  return static_cast<uint16_t>(v.dwBuildNumber & 0xFFFF) >= 3000 ? 1 : 0;
}

int IsPC98Machine(Context& ctx, DWORD valueSize) {
  std::vector<char> keyboard(valueSize), system(valueSize);
  ctx.os.GetPrivateProfileStringA("boot.description", "keyboard.typ", "NEC",
                                  keyboard.data(), valueSize, "system.ini");
  ctx.os.GetPrivateProfileStringA("boot.description", "system.drv", "NEC",
                                  system.data(), valueSize, "system.ini");
  auto isNec = [](const char* v) { return std::strncmp(v, "NEC", 3) == 0; };
  const bool atMachine = !isNec(keyboard.data()) && !isNec(system.data()) &&
                         keyboard[0] != '\0' && system[0] != '\0';
  return atMachine ? 0 : 1;
}

}  // namespace kv
