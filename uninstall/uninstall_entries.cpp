#include "uninstall/uninstall_entries.h"

#include <string>

#include "foundation/diagnostics.h"
#include "foundation/oskind.h"
#include "foundation/services.h"
#include "uninstall/batch.h"
#include "uninstall/default_printer.h"
#include "uninstall/driver_files.h"
#include "uninstall/model_set.h"
#include "uninstall/reboot.h"
#include "uninstall/removal_guard.h"
#include "uninstall/scanner_data.h"

namespace kv {

namespace {

void Broadcast(Context& ctx, UINT message, const char* section) {
  ctx.os.SendMessageA(HWND_BROADCAST, message, 0,
                      reinterpret_cast<LPARAM>(section));
}

}  // namespace

void UninstInitialize(Context& ctx) {
  const RemovalRoots roots(ctx);
  const OsKind kind = GetOSKind(ctx);
  // On a Windows we can't name we don't know what installation made or
  // where: better leave everything than take the wrong things.
  if (kind == OsKind::Other) {
    DebugTrace(ctx, "UninstInitialize: unknown Windows version\n");
    return;
  }
  RemoveFonts(ctx);
  ctx.os.SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
  WriteBatchHead(ctx, kUninstallSetupFiles[0]);
  DeleteFontLists(ctx);
  for (const char* file : kUninstallSetupFiles) RemoveModelSet(ctx, file);
  if (kind != OsKind::NT4) RemoveScannerData(ctx, kUninstallSetupFiles[0]);
  DeleteFilesTWAIN(ctx, kUninstallSetupFiles[0]);
  // The driver store folder goes once all three sets took their files out
  // of it (a file deferred to the next start keeps it).
  const std::string system = SystemDirectory(ctx);
  if (!system.empty())
    RemoveOwnedEmptyFolder(ctx, system + "\\" + kDriverStoreFolder);
  RemoveEmptyScannerFolders(ctx);
  StopPrintServices(ctx, kind);
  StartPrintServices(ctx, kind);
}

void UninstUnInitialize(Context& ctx) {
  const RemovalRoots roots(ctx);
  // The same classification as every other step: an NT 3.x or Win32s
  // record is no family of ours, and removal changes nothing there.
  switch (GetOSKind(ctx)) {
    case OsKind::NT4:
    case OsKind::Win2000:
    case OsKind::XP:
      for (const char* name : {"spooler", "LPDSVC", "MacPrint"})
        StartServiceIfStopped(ctx, name);
      break;
    case OsKind::Win9x:
      RepairDefaultPrinter9x(ctx);
      break;
    case OsKind::Other:
      DebugTrace(ctx, "UninstUnInitialize: unknown Windows version\n");
      return;
  }
  HandOverBatch(ctx);
}

void RepairDefaultPrinter9x(Context& ctx) {
  ctx.os.WriteProfileStringA(nullptr, nullptr, nullptr);
  // An empty name (no registration in this process) names no printer.
  if (ctx.driverName[0])
    ctx.os.WriteProfileStringA("Devices", ctx.driverName, nullptr);
  Broadcast(ctx, WM_WININICHANGE, "Devices");
  // The user's default stays while its printer does; only a default naming
  // a removed printer moves, to a printer that remains.
  RepairDefaultPrinter(ctx, false, nullptr);
  Broadcast(ctx, WM_WININICHANGE, "windows");
}

void HandOverBatch(Context& ctx) {
  if (HandBatchToNextStart(ctx)) AskReboot(ctx);
}

}  // namespace kv
