#include "uninstall/uninstall_entries.h"

#include <string>
#include <vector>

#include "foundation/diagnostics.h"
#include "foundation/oskind.h"
#include "foundation/services.h"
#include "uninstall/batch.h"
#include "uninstall/model_set.h"
#include "uninstall/scanner_data.h"

namespace kv {

namespace {

constexpr DWORD kDeviceListSize = 5000;
constexpr DWORD kDeviceValueSize = 1024;
constexpr char kWinIni[] = "win.ini";

void Broadcast(Context& ctx, UINT message, const char* section) {
  ctx.os.SendMessageA(HWND_BROADCAST, message, 0,
                      reinterpret_cast<LPARAM>(section));
}

}  // namespace

void UninstInitialize(Context& ctx) {
  const OsKind kind = GetOSKind(ctx);
  RemoveFonts(ctx);
  ctx.os.SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
  WriteBatchHead(ctx, kUninstallSetupFiles[0]);
  for (const char* file : kUninstallSetupFiles) RemoveModelSet(ctx, file);
  if (kind != OsKind::NT4) RemoveScannerData(ctx, kUninstallSetupFiles[0]);
  DeleteFilesTWAIN(ctx, kUninstallSetupFiles[0]);
  StopPrintServices(ctx, kind);
  StartPrintServices(ctx, kind);
}

void UninstUnInitialize(Context& ctx) {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  // Without the version record the family is unknown: neither the
  // services nor win.ini are touched, but the batch is still handed over.
  if (ctx.os.GetVersionExA(&version)) {
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
      for (const char* name : {"spooler", "LPDSVC", "MacPrint"})
        StartServiceIfStopped(ctx, name);
    } else {
      RepairDefaultPrinter9x(ctx);
    }
  } else {
    DebugTraceLastError(ctx, "GetVersionEx Fail ErrMsg[0x%x]\n");
  }
  HandOverBatch(ctx);
}

void RepairDefaultPrinter9x(Context& ctx) {
  ctx.os.WriteProfileStringA(nullptr, nullptr, nullptr);
  // An empty name (no registration in this process) names no printer.
  if (ctx.driverName[0])
    ctx.os.WriteProfileStringA("Devices", ctx.driverName, nullptr);
  Broadcast(ctx, WM_WININICHANGE, "Devices");

  std::vector<char> names(kDeviceListSize, '\0');
  ctx.os.GetPrivateProfileStringA("Devices", nullptr, " ", names.data(),
                                  kDeviceListSize, kWinIni);
  const std::string first(names.data());
  char value[kDeviceValueSize] = {};
  const DWORD length = ctx.os.GetPrivateProfileStringA(
      "Devices", first.c_str(), "", value, kDeviceValueSize, kWinIni);

  ctx.os.WriteProfileStringA("windows", "device", nullptr);
  // No printer left (the default " "), or a value cut by the buffer: a
  // "device" line naming no printer, or the wrong driver or port, would be
  // a default printer Windows can't use.
  if (first.empty() || first == " " || length + 1 >= kDeviceValueSize) {
    DebugTrace(ctx, "No default printer to set [%s]\n", first.c_str());
  } else {
    const std::string entry = first + "," + value;
    ctx.os.WriteProfileStringA("windows", "device", entry.c_str());
  }
  Broadcast(ctx, WM_WININICHANGE, "windows");
}

}  // namespace kv
