#include "ports/lpr.h"

#include <string>

#include "foundation/oskind.h"
#include "foundation/registry_paths.h"
#include "foundation/text.h"
#include "ports/port_location.h"

namespace kv {
namespace {

// The flags' stored value is 160 (0xA0), the monitor's own "on".
constexpr DWORD kLprFlag = 160;

// The box shown without the LPR monitor names the key in the spelling the
// product's texts have always used; the key opened is the shared constant
// (the registry matches either spelling).
constexpr char kLprMonitorKeyShown[] =
    "System\\CurrentControlSet\\Control\\Print\\Monitors\\LPR Port";

}  // namespace

int StdTcpIpPortSetNt(Context& ctx, const char* port, const char* server) {
  if (!CheckPortKeyName(ctx.os, kLprPortsKey, port, "\\Timeouts")) return 0;
  const std::string path = SubKeyPath(kLprPortsKey, port);
  const std::string timeoutsPath = SubKeyPath(path, "Timeouts");
  RegKey portKey(ctx.os);
  bool portCreated = false;
  if (const LONG rc = CreateRecordKey(ctx.os, path, portKey, &portCreated);
      rc != ERROR_SUCCESS)
    return RecordFailed(ctx.os, rc, {});
  RegKey timeouts(ctx.os);
  bool timeoutsCreated = false;
  LONG rc = CreateRecordKey(ctx.os, timeoutsPath, timeouts, &timeoutsCreated);
  if (rc == ERROR_SUCCESS)
    rc = WriteRecordValues(
        ctx.os, portKey.get(),
        {{RecordValue::kDword, "EnableBannerPage", kLprFlag, nullptr},
         {RecordValue::kDword, "HpUxCompatibility", kLprFlag, nullptr},
         {RecordValue::kDword, "OldSunCompatibilty", kLprFlag, nullptr},
         {RecordValue::kString, "Printer Name", 0, "lp"},
         {RecordValue::kString, "Server Name", 0, server}});
  if (rc == ERROR_SUCCESS)
    rc = WriteRecordValues(
        ctx.os, timeouts.get(),
        {{RecordValue::kDword, "CommandTimeout", 120, nullptr},
         {RecordValue::kDword, "DataTimeout", 300, nullptr}});
  if (rc == ERROR_SUCCESS) return 1;
  timeouts.reset();
  portKey.reset();
  return RecordFailed(ctx.os, rc,
                      {{&timeoutsPath, timeoutsCreated}, {&path, portCreated}});
}

int AddLPD(Context& ctx, HWND owner, const char* caption, char* out) {
  ctx.os.EnableWindow(owner, FALSE);
  {
    RegKey monitor(ctx.os);
    if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, kLprMonitorKey, monitor) !=
        ERROR_SUCCESS) {
      ctx.os.MessageBoxA(nullptr, kLprMonitorKeyShown, caption, MB_OK);
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
    text::CopyCut(ctx.os, out, kPortNameOutSize, name);
  key.reset();
  ctx.os.MessageBoxA(nullptr, out, "TEST", MB_OK);
  return 1;
}

}  // namespace kv
