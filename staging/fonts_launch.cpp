#include "staging/fonts_launch.h"

#include "foundation/handles.h"
#include "foundation/oskind.h"

namespace kv {
namespace {

// The driver directory of the running family, ending in a backslash:
// <system>\Spool\Drivers\w32x86\2\ on NT 4.0, <system>\ on Windows 9x,
// <system>\Spool\Drivers\w32x86\3\ on 2000 and XP, <system> otherwise.
std::string DriverProgramDir(Context& ctx) {
  char system[MAX_PATH] = {};
  const UINT n = ctx.os.GetSystemDirectoryA(system, sizeof system);
  std::string dir = n > 0 && n < sizeof system ? system : "";
  switch (GetOSKind(ctx)) {
    case OsKind::NT4:
      return dir + "\\Spool\\Drivers\\w32x86\\2\\";
    case OsKind::Win9x:
      return dir + "\\";
    case OsKind::Win2000:
    case OsKind::XP:
      return dir + "\\Spool\\Drivers\\w32x86\\3\\";
    default:
      return dir;
  }
}

}  // namespace

int ToInstallTTF(Context& ctx, const std::string& path) {
  Platform& os = ctx.os;
  // A stale last error must not pass for the open's own.
  os.SetLastError(ERROR_SUCCESS);
  {
    KernelHandle file(
        os, os.CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_READONLY, nullptr));
    const DWORD error = os.GetLastError();
    if (!file || (error != ERROR_SUCCESS && error != ERROR_ALREADY_EXISTS))
      return 0;
  }
  if (os.AddFontResourceA(path.c_str()) <= 0) return 0;
  os.SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
  return 1;
}

UINT VtoeSwmd(Context& ctx, const std::string& command) {
  const std::string line = DriverProgramDir(ctx) + command;
  return ctx.os.WinExec(line.c_str(), 0 /* SW_HIDE */);
}

uint64_t GetDiskFreeSize(Context& ctx) {
  Platform& os = ctx.os;
  char windows[256] = {};
  const UINT n = os.GetWindowsDirectoryA(windows, sizeof windows);
  if (n == 0 || n >= sizeof windows) return 0;
  ULARGE_INTEGER toCaller = {}, total = {}, totalFree = {};
  if (os.GetDiskFreeSpaceExA(windows, &toCaller, &total, &totalFree))
    return totalFree.QuadPart >> 20;
  // The classic query wants the root of the volume ("C:\") on Windows 95.
  std::string root = windows;
  if (root.size() >= 2 && root[1] == ':') root = root.substr(0, 2) + "\\";
  DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
  if (!os.GetDiskFreeSpaceA(root.c_str(), &sectors, &bytes, &freeClusters,
                            &clusters))
    return 0;
  return (uint64_t(sectors) * bytes * freeClusters) >> 20;
}

}  // namespace kv
