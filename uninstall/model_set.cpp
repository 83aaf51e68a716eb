#include "uninstall/model_set.h"

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/diagnostics.h"
#include "foundation/handles.h"
#include "foundation/install_record.h"
#include "foundation/model_names.h"
#include "foundation/oskind.h"
#include "foundation/services.h"
#include "foundation/setupinfo.h"
#include "uninstall/device_entries.h"
#include "uninstall/driver_files.h"
#include "uninstall/printer_stack.h"
#include "uninstall/scanner_files.h"

namespace kv {

namespace {

struct ModelSet {
  const char* file;
  OsKind kind;
  int count;
  std::string product;
};

std::string ModelName(Context& ctx, const ModelSet& set, int i) {
  const std::string key = "Model" + std::to_string(i);
  return ReadSetupString(ctx, set.file, "ModelName", key.c_str());
}

// The model's driver name as installation made it; empty (traced) when
// installation would have refused the model: no product or no model name.
std::string DriverNameOf(Context& ctx, const ModelSet& set,
                         const std::string& model) {
  if (set.product.empty() || model.empty()) {
    if (!model.empty() || !set.product.empty())
      DebugTrace(ctx, "Model passed over [%s] [%s]\n", set.product.c_str(),
                 model.c_str());
    return std::string();
  }
  return ComposeDriverName(ctx.os, set.product, model);
}

// The parallel-port driver service and monitor key go while the print
// services are stopped: the spooler holds the monitor's key open.
void RemoveServiceAndMonitorKey(Context& ctx, const ModelSet& set,
                                const char* monitorKey) {
  const bool nt4 = set.kind == OsKind::NT4;
  const char* section = nt4 ? "Files.NT" : "Files.2K";
  const std::string driverFile =
      ReadSetupString(ctx, set.file, section, nt4 ? "LptNT" : "Lpt2K");
  const std::string service =
      ReadSetupString(ctx, set.file, section, nt4 ? "LptNTName" : "Lpt2KName");
  ReadSetupString(ctx, set.file, "Files.Com", "Lmonn");
  DeleteMonitorKey(ctx, monitorKey);
  DeleteDriverService(ctx, service.c_str(), driverFile.c_str());
}

void CycleServicesAround(Context& ctx, const ModelSet& set,
                         const char* monitorKey) {
  if (set.kind == OsKind::Win9x || set.kind == OsKind::Other) return;
  // The set's own drivers go next; another product's driver that names the
  // monitor keeps it.
  std::vector<std::string> own;
  for (int i = 1; i <= set.count; ++i) {
    const std::string driver = DriverNameOf(ctx, set, ModelName(ctx, set, i));
    if (!driver.empty()) own.push_back(driver);
  }
  for (const std::string& driver : RecordedDrivers(ctx, set.product, set.file))
    own.push_back(driver);
  if (*monitorKey && OtherDriverNamesMonitor(ctx, monitorKey, own)) {
    DebugTrace(ctx, "Monitor kept, a driver still names it [%s]\n", monitorKey);
    monitorKey = "";
  }
  StopPrintServices(ctx, set.kind);
  RemoveServiceAndMonitorKey(ctx, set, monitorKey);
  StartPrintServices(ctx, set.kind);
}

// Lets the sibling library take away what it set up for the model. A
// missing library or procedure only skips the call.
void CallSibling(Context& ctx, const std::string& model, const char* file) {
  ModuleHandle library(ctx.os, ctx.os.LoadLibraryA(kSiblingLibrary));
  if (!library) return;
  const auto procedure =
      reinterpret_cast<SiblingProcedure>(reinterpret_cast<void*>(
          ctx.os.GetProcAddress(library.get(), kSiblingProcedure)));
  if (procedure) procedure(model.c_str(), file);
}

// Removes model `i`; false when its driver stays (a printer still uses it).
bool RemoveModel(Context& ctx, const ModelSet& set, int i) {
  const std::string model = ModelName(ctx, set, i);
  const std::string driver = DriverNameOf(ctx, set, model);
  if (driver.empty()) return true;
  bool kept = false;
  RemovePrinterStack(ctx, driver.c_str(), set.file, &kept);
  switch (set.kind) {
    case OsKind::Win9x:
      DeleteDevIDEntry(ctx, model.c_str(), set.file);
      DeleteUSBIDEntry(ctx, model.c_str(), set.file);
      break;
    case OsKind::Win2000:
    case OsKind::XP:
      CallSibling(ctx, model, set.file);
      break;
    case OsKind::NT4:
    case OsKind::Other:
      break;
  }
  return !kept;
}

void RemoveDriverFiles(Context& ctx, OsKind kind, const char* file) {
  switch (kind) {
    case OsKind::NT4:
      DeletePrnFilesNT(ctx, file);
      return;
    case OsKind::Win9x:
      DeletePrnFiles9x(ctx, file);
      DeleteScnFiles9x(ctx, file);
      DeleteUsbInfFiles9x(ctx, file);
      return;
    case OsKind::Win2000:
      DeletePrnFiles2k(ctx, file);
      DeleteScnFiles2k(ctx, file);
      return;
    case OsKind::XP:
      DeletePrnFilesXP(ctx, file);
      DeleteScnFilesXP(ctx, file);
      return;
    case OsKind::Other:
      return;
  }
}

}  // namespace

bool RemoveModelSet(Context& ctx, const char* setupFile) {
  ModelSet set;
  set.file = setupFile ? setupFile : "";
  set.kind = GetOSKind(ctx);
  set.count = std::min(
      ReadSetupInt(ctx, set.file, "ModelName", "nModelNum", -1), kModelLimit);
  set.product = ReadProductName(ctx, set.file);
  const RecordProductScope product(ctx, set.product);

  if (set.kind == OsKind::Win2000 || set.kind == OsKind::XP) {
    for (int i = 1; i <= set.count; ++i) {
      const std::string driver = DriverNameOf(ctx, set, ModelName(ctx, set, i));
      if (!driver.empty()) DeleteClassInfFiles(ctx, driver.c_str(), set.file);
    }
  }
  char monitorKey[kMonitorKeyNameSize] = {};
  FindMonitorKey(ctx, monitorKey, set.file);
  CycleServicesAround(ctx, set, monitorKey);
  bool driversGone = true;
  std::vector<std::string> listed;
  for (int i = 1; i <= set.count; ++i) {
    driversGone = RemoveModel(ctx, set, i) && driversGone;
    listed.push_back(DriverNameOf(ctx, set, ModelName(ctx, set, i)));
  }
  // A driver the record names that the list no longer does (a model an
  // upgrade dropped) goes with its printers as well.
  for (const std::string& driver :
       RecordedDrivers(ctx, set.product, set.file)) {
    if (std::any_of(listed.begin(), listed.end(), [&](const std::string& l) {
          return ctx.os.lstrcmpiA(l.c_str(), driver.c_str()) == 0;
        }))
      continue;
    bool kept = false;
    RemovePrinterStack(ctx, driver.c_str(), set.file, &kept);
    driversGone = driversGone && !kept;
  }
  if (set.kind == OsKind::Win9x) DeleteUsbPrinterEntry9x(ctx, set.file);
  DeleteMonitorLibrary(ctx, set.file);
  // The set's models share their files: a driver that stays keeps them.
  if (driversGone) {
    RemoveDriverFiles(ctx, set.kind, set.file);
  } else {
    DebugTrace(ctx, "Driver files kept, a driver of %s stays\n", set.file);
  }
  return driversGone;
}

}  // namespace kv
