#include "uninstall/printer_stack.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/diagnostics.h"
#include "foundation/handles.h"
#include "foundation/names.h"
#include "foundation/oskind.h"
#include "foundation/registry.h"
#include "foundation/registry_paths.h"
#include "foundation/setupinfo.h"
#include "foundation/text.h"
#include "uninstall/batch.h"
#include "uninstall/default_printer.h"
#include "uninstall/driver_files.h"
#include "uninstall/removal_guard.h"

namespace kv {

namespace {

constexpr char kNtEnvironment[] = "Windows NT x86";
constexpr char k9xEnvironment[] = "Windows 4.0";
constexpr DWORD kPrinterListProbeSize = 4096;
constexpr DWORD kProjectValueSize = 1024;
// The printer's sub-keys installation and the spooler make, deleted before
// the printer's key; "UserSettings" last, its deletion is part of the
// result.
constexpr const char* kPrinterSubKeys[] = {
    "PrinterDriverData", "PnPData", "DsDriver", "DsSpooler", "UserSettings"};

// One key name that stays where it is put: not "." or "..", no separator.
bool SingleKeyName(Context& ctx, const std::string& name) {
  return name != "." && name != ".." &&
         CheckRegistryKeyName(ctx.os, name.c_str());
}

// A driver name installation could have made: a single key name of at
// most kRemovalNameLimit characters. Anything else is passed over, never
// cut.
bool IsRemovableName(Context& ctx, const char* name) {
  return name && std::strlen(name) <= kRemovalNameLimit &&
         SingleKeyName(ctx, name);
}

void TraceNamePassedOver(Context& ctx, const char* name) {
  DebugTrace(ctx, "Name passed over [%s]\n", name ? name : "");
}

bool RemovableName(Context& ctx, const char* name) {
  if (IsRemovableName(ctx, name)) return true;
  TraceNamePassedOver(ctx, name);
  return false;
}

const char* Environment(OsKind kind) {
  switch (kind) {
    case OsKind::NT4:
    case OsKind::Win2000:
    case OsKind::XP:
      return kNtEnvironment;
    case OsKind::Win9x:
      return k9xEnvironment;
    case OsKind::Other:
      break;
  }
  return nullptr;
}

// A printer name from the spooler's list: used whole, when it names one key.
bool RemovablePrinterName(Context& ctx, const char* name) {
  if (name && SingleKeyName(ctx, name)) return true;
  DebugTrace(ctx, "Printer passed over [%s]\n", name ? name : "");
  return false;
}

// Whether the spooler's records still hold printer `name` (an open that
// fails for another reason than a missing key counts as held).
bool PrinterRecordsRemain(Context& ctx, const char* name) {
  RegKey key(ctx.os);
  return OpenKey(ctx.os, HKEY_LOCAL_MACHINE, SubKeyPath(kPrintersKey, name),
                 key) != ERROR_FILE_NOT_FOUND;
}

const char* DriversKey(OsKind kind) {
  switch (kind) {
    case OsKind::NT4:
      return kNt4DriversKey;
    case OsKind::Win9x:
      return k9xDriversKey;
    case OsKind::Win2000:
    case OsKind::XP:
      return kNt5DriversKey;
    case OsKind::Other:
      break;
  }
  return nullptr;
}

// One key, without its sub-keys: the callers name each sub-key they own.
bool DeleteKey(Context& ctx, const std::string& path) {
  if (!IsRemovalKey(ctx.os, path)) {
    DebugTrace(ctx, "Removal refused key [%s]\n", path.c_str());
    return false;
  }
  return ctx.os.RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str()) ==
         ERROR_SUCCESS;
}

// Deletes Software\KORVA\<project>\1.0 and Software\KORVA\<project> for the
// project named by `key` of [Model] in vt3eins.sii, when it names one.
void RemoveProjectKeys(Context& ctx, const char* key) {
  const std::string project =
      ReadSetupString(ctx, "vt3eins.sii", "Model", key, kProjectValueSize);
  if (project.empty()) return;
  // The installation records live beside the projects: never a project.
  if (!SingleKeyName(ctx, project) ||
      EqualNoCase(ctx.os, project, "Installed")) {
    DebugTrace(ctx, "Project passed over [%s]\n", project.c_str());
    return;
  }
  const std::string base = SubKeyPath(kKorvaKey, project);
  DeleteKey(ctx, SubKeyPath(base, "1.0"));
  DeleteKey(ctx, base);
}

// Deletes what the NT spooler keeps of a printer beside its records and
// forgets only when the printer is deleted through it: the user's
// [Devices] and [PrinterPorts] values. Left, they would name a printer that
// is gone.
void RemoveUserDeviceEntries(Context& ctx, const char* printerName) {
  for (const char* path : {kUserDevicesKey, kUserPrinterPortsKey}) {
    RegKey key(ctx.os);
    if (OpenKey(ctx.os, HKEY_CURRENT_USER, path, key) == ERROR_SUCCESS)
      ctx.os.RegDeleteValueA(key.get(), printerName);
  }
}

// Deletes one printer through the spooler (Windows 9x). False when the open
// failed.
bool DeleteThroughSpooler(Context& ctx, const char* printerName) {
  PRINTER_DEFAULTSA defaults = {};
  defaults.DesiredAccess = PRINTER_ALL_ACCESS;
  PrinterHandle printer(ctx.os);
  const BOOL opened = ctx.os.OpenPrinterA(const_cast<LPSTR>(printerName),
                                          printer.out(), &defaults);
  if (!printer) return false;
  if (!opened) {
    printer.Close();
    DebugTrace(ctx, "Printer Open Error.\n");
    return false;
  }
  if (!ctx.os.DeletePrinter(printer.get()))
    DebugTraceLastError(ctx, "Printer Delete Error. ErrMsg[0x%x]\n");
  printer.Close();
  return true;
}

// The monitor library stem of the OS kind, or empty.
std::string LibraryStem(Context& ctx, OsKind kind, const char* setupFile) {
  switch (kind) {
    case OsKind::Win9x:
      return ReadSetupString(ctx, setupFile, "Files.9x", "Lmonm9x");
    case OsKind::NT4:
      return ReadSetupString(ctx, setupFile, "Files.NT", "LmonmNT");
    case OsKind::Win2000:
    case OsKind::XP:
      return ReadSetupString(ctx, setupFile, "Files.2K", "Lmonm2K");
    case OsKind::Other:
      break;
  }
  return std::string();
}

// Windows 9x: the hardware-profile key registration made for the driver.
void RemoveConfigPrinterKey(Context& ctx, const char* driverName) {
  const LONG result = DeleteOwnedKeyTree(
      ctx, SubKeyPath(kPrintersKey, driverName), HKEY_CURRENT_CONFIG);
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
    DebugTrace(ctx, "Hardware-profile key not deleted [%s] ErrMsg[0x%lx]\n",
               driverName, static_cast<unsigned long>(result));
}

// The file name of monitor `name`'s library (its "Driver" value, below the
// open Monitors key); empty when it can't be read.
std::string MonitorLibrary(Context& ctx, HKEY monitors, const char* name) {
  RegKey key(ctx.os);
  if (OpenKey(ctx.os, monitors, name, key) != ERROR_SUCCESS) return "";
  char value[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH;
  DWORD type = 0;
  if (ctx.os.RegQueryValueExA(key.get(), "Driver", nullptr, &type,
                              reinterpret_cast<BYTE*>(value),
                              &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return "";
  const std::string path = value;
  const size_t slash = text::FindLastOf(ctx.os, path, "\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether a monitor key is named `monitor`, or any monitor but `except`
// names `library` as its "Driver". True as well when the monitors can't be
// listed: the library might be in use.
bool MonitorOrLibraryRemains(Context& ctx, const std::string& monitor,
                             const std::string& library,
                             const std::string& except = std::string()) {
  RegKey monitors(ctx.os);
  const LONG opened =
      OpenKey(ctx.os, HKEY_LOCAL_MACHINE, kMonitorsKey, monitors);
  if (opened == ERROR_FILE_NOT_FOUND) return false;
  if (opened != ERROR_SUCCESS) return true;
  for (DWORD i = 0;; ++i) {
    char name[kMonitorKeyNameSize] = {};
    const LONG r = ctx.os.RegEnumKeyA(monitors.get(), i, name, sizeof name);
    if (r == ERROR_NO_MORE_ITEMS) return false;
    if (r != ERROR_SUCCESS) return true;
    if (EqualNoCase(ctx.os, name, monitor) ||
        (!EqualNoCase(ctx.os, name, except) &&
         EqualNoCase(ctx.os, MonitorLibrary(ctx, monitors.get(), name),
                     library)))
      return true;
  }
}

// Whether monitor key `name` (below the open Monitors key) is the one
// installation registered: not one of Windows' own, and its library the one
// the setup file names for the OS kind.
bool IsInstalledMonitor(Context& ctx, HKEY monitors, const char* name,
                        const char* setupFile) {
  const std::string library = LibraryStem(ctx, GetOSKind(ctx), setupFile);
  return !library.empty() && !IsWindowsMonitor(ctx.os, name, library) &&
         EqualNoCase(ctx.os, MonitorLibrary(ctx, monitors, name), library);
}

// Windows 9x: the spooler deletes monitor key `found`; its libraries and key
// go whatever it answered, since the 9x spooler may refuse yet leave the
// monitor's files behind. Leaves the spooler's last error.
BOOL DeleteMonitor9x(Context& ctx, const char* found, const char* setupFile) {
  const BOOL result = ctx.os.DeleteMonitorA(
      nullptr, const_cast<LPSTR>(k9xEnvironment), const_cast<LPSTR>(found));
  const DWORD refusal = ctx.os.GetLastError();
  DeleteMonitorLibraries(ctx, setupFile);
  DeleteMonitorKey(ctx, found);
  if (!result) {
    // The failure text carries the last error as the deletions after the
    // refusal left it; the spooler's own code follows on a line of its own.
    DebugTraceLastError(ctx, "DeleteMonitor Fail ErrMsg[0x%x]\n");
    DebugTrace(ctx, "Monitor refused by the spooler [%s] ErrMsg[0x%x]\n", found,
               static_cast<unsigned>(refusal));
  }
  ctx.os.SetLastError(refusal);
  return result;
}

}  // namespace

int RemovePrinterStack(Context& ctx, const char* driverName,
                       const char* setupFile, bool* driverKept) {
  bool allGone = false;
  if (!RemovePrintersOfDriver(ctx, driverName, &allGone))
    DebugTrace(ctx, "UnregistPrinter Fail\n");
  if (allGone) {
    if (!RemovePrinterDriver(ctx, driverName))
      DebugTrace(ctx, "UninstallPrinterDriver Fail\n");
    RemoveDriverKey(ctx, driverName);
    if (GetOSKind(ctx) == OsKind::Win9x)
      RemoveConfigPrinterKey(ctx, driverName);
  } else {
    // A printer left without its driver can't print, nor be removed by the
    // user through the spooler. The log reads as for a driver the spooler
    // refused, with the reason after it.
    DebugTraceLastError(ctx, "DeletePrinterDriver Fail ErrMsg[0x%x]\n");
    DebugTrace(ctx, "Driver kept, a printer may still use it [%s]\n",
               driverName ? driverName : "");
    DebugTrace(ctx, "UninstallPrinterDriver Fail\n");
  }
  if (driverKept) *driverKept = !allGone;
  const int removed = RemovePortMonitor(ctx, setupFile);
  if (!removed) DebugTrace(ctx, "UninstallPrinterMonitor Fail\n");
  return removed;
}

int RemovePrintersOfDriver(Context& ctx, const char* driverName,
                           bool* allGone) {
  if (allGone) *allGone = false;
  if (!RemovableName(ctx, driverName)) return 0;
  const bool is9x = GetOSKind(ctx) == OsKind::Win9x;

  BYTE probe[kPrinterListProbeSize] = {};
  DWORD needed = 0;
  DWORD returned = 0;
  if (!ctx.os.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, probe, sizeof probe,
                            &needed, &returned) &&
      ctx.os.GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return 0;
  if (needed == 0) {  // no printers at all
    if (allGone) *allGone = true;
    return 1;
  }
  GlobalBuffer list(ctx.os, needed);
  returned = 0;
  if (!list || !ctx.os.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2,
                                     list.bytes(), needed, &needed, &returned))
    return 0;

  bool lastOpenFailed = false;
  bool remain = false;
  const auto* printers = list.as<PRINTER_INFO_2A>();
  for (DWORD i = 0; i < returned; ++i) {
    const PRINTER_INFO_2A& p = printers[i];
    if (!p.pDriverName || !p.pPrinterName ||
        ctx.os.lstrcmpiA(p.pDriverName, driverName) != 0)
      continue;
    if (!RemovablePrinterName(ctx, p.pPrinterName)) {
      remain = true;
      continue;
    }
    const bool wasDefault = IsDefaultPrinter(ctx, p.pPrinterName);
    if (is9x) lastOpenFailed = !DeleteThroughSpooler(ctx, p.pPrinterName);
    RemovePrinterRecords(ctx, p.pPrinterName);
    // The spooler wrote the printer's [Devices] and [PrinterPorts] entries
    // (the user's registry on the NT family) and deletes them only with the
    // printer: left, they would name a printer that is gone.
    if (!is9x) RemoveUserDeviceEntries(ctx, p.pPrinterName);
    // The machine keeps a default printer while it has printers.
    if (wasDefault) RepairDefaultPrinter(ctx, !is9x, p.pPrinterName);
    remain = remain || PrinterRecordsRemain(ctx, p.pPrinterName);
  }
  if (allGone) *allGone = !remain;
  return lastOpenFailed ? 0 : 1;
}

int RemovePrinterRecords(Context& ctx, const char* printerName) {
  if (!RemovablePrinterName(ctx, printerName)) return 0;
  const std::string base = SubKeyPath(kPrintersKey, printerName);
  bool userSettings = false;
  for (const char* sub : kPrinterSubKeys)
    userSettings = DeleteKey(ctx, SubKeyPath(base, sub));
  // Whatever else the spooler or a driver filed below the printer (forms,
  // a sub-key of the driver's data) would keep the key on the NT family.
  const bool printer =
      DeleteOwnedKeyTree(ctx, base) == ERROR_SUCCESS || DeleteKey(ctx, base);
  RemoveProjectKeys(ctx, "Project");
  RemoveProjectKeys(ctx, "ProjectPrn");
  return userSettings && printer ? 1 : 0;
}

int RemovePrinterDriver(Context& ctx, const char* driverName) {
  const bool removable = IsRemovableName(ctx, driverName);
  const char* environment = removable ? Environment(GetOSKind(ctx)) : nullptr;
  if (environment) {
    std::string name = driverName;
    const BOOL deleted = ctx.os.DeletePrinterDriverA(
        nullptr, const_cast<LPSTR>(environment), &name[0]);
    if (deleted) return deleted;
  }
  DebugTraceLastError(ctx, "DeletePrinterDriver Fail ErrMsg[0x%x]\n");
  if (!removable) TraceNamePassedOver(ctx, driverName);
  return 0;
}

int RemoveDriverKey(Context& ctx, const char* driverName) {
  if (!RemovableName(ctx, driverName)) return 0;
  const char* drivers = DriversKey(GetOSKind(ctx));
  if (!drivers) return 0;
  return DeleteKey(ctx, SubKeyPath(drivers, driverName)) ? 1 : 0;
}

int RemovePortMonitor(Context& ctx, const char* setupFile) {
  const std::string monitor =
      ReadSetupString(ctx, setupFile, "Files.Com", "Lmonn");
  const OsKind kind = GetOSKind(ctx);
  const char* environment = Environment(kind);
  BOOL result = FALSE;
  char found[kMonitorKeyNameSize] = {};
  if (environment && FindMonitorKey(ctx, found, setupFile)) {
    // Another product's driver of the maker may name the same monitor.
    if (OtherDriverNamesMonitor(ctx, found)) {
      DebugTrace(ctx, "Monitor kept, a driver still names it [%s]\n", found);
      ctx.os.SetLastError(ERROR_PRINT_MONITOR_IN_USE);
      return 0;
    }
    if (kind == OsKind::Win9x) return DeleteMonitor9x(ctx, found, setupFile);
    result = ctx.os.DeleteMonitorA(nullptr, const_cast<LPSTR>(environment),
                                   const_cast<LPSTR>(monitor.c_str()));
  }
  if (result) return result;
  DebugTraceLastError(ctx, "DeleteMonitor Fail ErrMsg[0x%x]\n");
  return 0;
}

int FindMonitorKey(Context& ctx, char* out, const char* setupFile) {
  out[0] = '\0';
  const std::string monitor =
      ReadSetupString(ctx, setupFile, "Files.Com", "Lmonn");
  if (monitor.empty()) return 0;
  RegKey monitors(ctx.os);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, kMonitorsKey, monitors) !=
      ERROR_SUCCESS)
    return 0;
  char name[kMonitorKeyNameSize] = {};
  for (DWORD i = 0;; ++i) {
    if (ctx.os.RegEnumKeyA(monitors.get(), i, name, sizeof name) !=
        ERROR_SUCCESS)
      return 0;
    // The whole name: installation registers the monitor under "Lmonn"
    // itself, and a longer name beginning with it is another monitor.
    if (ctx.os.lstrcmpiA(name, monitor.c_str()) == 0) break;
  }
  if (!IsInstalledMonitor(ctx, monitors.get(), name, setupFile)) {
    DebugTrace(ctx, "Monitor passed over, not the installation's [%s]\n", name);
    return 0;
  }
  text::CopyCut(ctx.os, out, kMonitorKeyNameSize, name);
  return 1;
}

int DeleteMonitorKey(Context& ctx, const char* name) {
  if (!name || !*name || !SingleKeyName(ctx, name)) return 0;
  return DeleteKey(ctx, SubKeyPath(kMonitorsKey, name)) ? 1 : 0;
}

void DeleteMonitorLibrary(Context& ctx, const char* setupFile) {
  const std::string monitor =
      ReadSetupString(ctx, setupFile, "Files.Com", "Lmonn");
  const std::string library = LibraryStem(ctx, GetOSKind(ctx), setupFile);
  // Without a monitor name installation registered no monitor, and the
  // library is not known to be its.
  if (monitor.empty() || library.empty()) return;
  const std::string system = SystemDirectory(ctx);
  const std::string path = OwnedFilePath(ctx, system, library);
  if (path.empty() || !IsPlainFileName(ctx.os, library)) {
    DebugTrace(ctx, "Monitor library passed over [%s]\n", library.c_str());
    return;
  }
  if (MonitorOrLibraryRemains(ctx, monitor, library)) return;
  if (!DeleteOwnedFile(ctx, system, library) &&
      ctx.os.GetLastError() != ERROR_FILE_NOT_FOUND)
    AddDeferredDeletion(ctx, path.c_str());
}

void DeleteMonitorLibraries(Context& ctx, const char* setupFile) {
  const std::string stem = LibraryStem(ctx, GetOSKind(ctx), setupFile);
  if (!IsPlainFileName(ctx.os, stem)) {
    if (!stem.empty()) DebugTrace(ctx, "Stem passed over [%s]\n", stem.c_str());
    return;
  }
  const std::string system = SystemDirectory(ctx);
  if (system.empty()) return;
  int failures = 0;
  for (int i = 1; i <= kMonitorLibraryLimit; ++i) {
    char number[8];
    std::snprintf(number, sizeof number, "%02d", i);
    if (OwnedFilePath(ctx, system, stem + number + ".DLL").empty()) return;
    if (DeleteOwnedFile(ctx, system, stem + number + ".DLL")) {
      failures = 0;
      continue;
    }
    if (ctx.os.GetLastError() == ERROR_FILE_NOT_FOUND) return;
    if (++failures >= kMonitorLibraryFailures) return;
  }
}

bool MonitorNamesLibrary(Context& ctx, const std::string& library,
                         const std::string& except) {
  return MonitorOrLibraryRemains(ctx, std::string(), library, except);
}

}  // namespace kv
