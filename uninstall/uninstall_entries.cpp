#include "uninstall/uninstall_entries.h"

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "foundation/diagnostics.h"
#include "foundation/install_record.h"
#include "foundation/model_names.h"
#include "foundation/oskind.h"
#include "foundation/services.h"
#include "uninstall/batch.h"
#include "uninstall/default_printer.h"
#include "uninstall/driver_files.h"
#include "uninstall/model_set.h"
#include "uninstall/printer_stack.h"
#include "uninstall/reboot.h"
#include "uninstall/removal_guard.h"
#include "uninstall/scanner_data.h"

namespace kv {

namespace {

void Broadcast(Context& ctx, UINT message, const char* section) {
  ctx.os.SendMessageA(HWND_BROADCAST, message, 0,
                      reinterpret_cast<LPARAM>(section));
}

// Every file the product's record still holds, through the guard (a file
// in use waits for the next start), then the record itself: what it still
// named is outside what removal may delete, or stays for another product.
void RemoveRecordedFiles(Context& ctx, const std::string& product) {
  // What a remaining driver or monitor names stays (its count goes down).
  std::set<std::string> inUse;
  if (!NamesOfInstalledDriverFiles(ctx, &inUse)) {
    DebugTrace(ctx, "Drivers not listed, the record of %s kept\n",
               product.c_str());
    return;
  }
  for (const std::string& path : RecordedFiles(ctx, product)) {
    const std::string folder = text::FolderPart(ctx.os, path);
    const std::string name = text::NamePart(ctx.os, path);
    if (inUse.count(UpperFileName(ctx.os, name)) ||
        MonitorNamesLibrary(ctx, name)) {
      ClaimFileForRemoval(ctx, path);
      continue;
    }
    if (DeleteOwnedFile(ctx, folder, name)) continue;
    const DWORD error = ctx.os.GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_ACCESS_DENIED ||
        error == ERROR_INVALID_NAME)
      continue;
    const std::string owned = OwnedFilePath(ctx, folder, name);
    if (!owned.empty()) AddDeferredDeletion(ctx, owned.c_str());
  }
  DeleteProductRecord(ctx, product);
}

}  // namespace

void UninstInitialize(Context& ctx) {
  const RemovalRoots roots(ctx);
  // Fonts, the batch head, scanner data and TWAIN files are the first set's
  // product's.
  const RecordProductScope product(
      ctx, ReadProductName(ctx, kUninstallSetupFiles[0]));
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
  // A product's recorded files go once all of its sets are removed, and
  // only when none of its drivers stays.
  std::vector<std::pair<std::string, bool>> products;
  for (const char* file : kUninstallSetupFiles) {
    const bool gone = RemoveModelSet(ctx, file);
    const std::string name = ReadProductName(ctx, file);
    auto it = std::find_if(
        products.begin(), products.end(),
        [&](const auto& p) { return EqualNoCase(ctx.os, p.first, name); });
    if (it == products.end())
      products.emplace_back(name, gone);
    else
      it->second = it->second && gone;
  }
  if (kind != OsKind::NT4) RemoveScannerData(ctx, kUninstallSetupFiles[0]);
  DeleteFilesTWAIN(ctx, kUninstallSetupFiles[0]);
  for (const auto& p : products) {
    if (!p.second || p.first.empty()) continue;
    const RecordProductScope scope(ctx, p.first);
    RemoveRecordedFiles(ctx, p.first);
  }
  // The driver store folder goes once all three sets and the records took
  // their files out of it (a file deferred to the next start keeps it).
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
