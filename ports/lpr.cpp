#include "ports/lpr.h"

#include <string>

#include "foundation/oskind.h"
#include "foundation/registry_paths.h"
#include "ports/port_location.h"

namespace kv {
namespace {

// The flags' stored value is 160 (0xA0), the monitor's own "on".
constexpr DWORD kLprFlag = 160;

}  // namespace

int StdTcpIpPortSetNt(Context& ctx, const char* port, const char* server) {
  if (!CheckPortKeyName(ctx.os, kLprPortsKey, port, "\\Timeouts")) return 0;
  const std::string path = SubKeyPath(kLprPortsKey, port);
  RegKey portKey(ctx.os);
  if (CreateKey(ctx.os, HKEY_LOCAL_MACHINE, path, portKey) != ERROR_SUCCESS)
    return 0;
  RegKey timeouts(ctx.os);
  if (CreateKey(ctx.os, HKEY_LOCAL_MACHINE, SubKeyPath(path, "Timeouts"),
                timeouts) != ERROR_SUCCESS)
    return 0;
  WriteDword(ctx.os, portKey.get(), "EnableBannerPage", kLprFlag);
  WriteDword(ctx.os, portKey.get(), "HpUxCompatibility", kLprFlag);
  WriteDword(ctx.os, portKey.get(), "OldSunCompatibilty", kLprFlag);
  WriteString(ctx.os, portKey.get(), "Printer Name", "lp");
  WriteString(ctx.os, portKey.get(), "Server Name", server);
  WriteDword(ctx.os, timeouts.get(), "CommandTimeout", 120);
  WriteDword(ctx.os, timeouts.get(), "DataTimeout", 300);
  return 1;
}

int AddLPD(Context& ctx, HWND owner, const char* caption, char* out) {
  ctx.os.EnableWindow(owner, FALSE);
  {
    RegKey monitor(ctx.os);
    if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, kLprMonitorKey, monitor) !=
        ERROR_SUCCESS) {
      ctx.os.MessageBoxA(nullptr, kLprMonitorKey, caption, MB_OK);
    } else {
      const DWORD before = CountPortKeys(ctx.os, kLprPortsKey);
      ctx.os.MessageBoxA(nullptr, std::to_string(before).c_str(), "1", MB_OK);
      ctx.os.AddPortA(nullptr, owner, "LPR Port");
      const DWORD after = CountPortKeys(ctx.os, kLprPortsKey);
      ctx.os.MessageBoxA(nullptr, std::to_string(after).c_str(), "2", MB_OK);
      if (before != after && out) GetLastPortName(ctx, out);
    }
  }
  return ctx.os.EnableWindow(owner, TRUE);
}

int GetLastPortName(Context& ctx, char* out) {
  const char* location =
      GetOSKind(ctx) == OsKind::Win9x ? kRelayPortsKey : kLprPortsKey;
  RegKey key(ctx.os);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, location, key) != ERROR_SUCCESS)
    return 0;
  char name[kPortNameOutSize];
  for (DWORD i = 0;
       ctx.os.RegEnumKeyA(key.get(), i, name, sizeof name) == ERROR_SUCCESS;
       ++i)
    CopyCut(out, kPortNameOutSize, name);
  key.reset();
  ctx.os.MessageBoxA(nullptr, out, "TEST", MB_OK);
  return 1;
}

}  // namespace kv
