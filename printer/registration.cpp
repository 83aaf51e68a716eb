#include "printer/registration.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "foundation/diagnostics.h"
#include "foundation/environment.h"
#include "foundation/handles.h"
#include "foundation/install_record.h"
#include "foundation/model_names.h"
#include "foundation/names.h"
#include "foundation/oskind.h"
#include "foundation/services.h"
#include "foundation/setupinfo.h"
#include "foundation/text.h"
#include "printer/driver.h"
#include "printer/monitor.h"
#include "printer/pnp9x.h"
#include "printer/printer.h"
#include "printer/processor.h"
#include "uninstall/batch.h"
#include "uninstall/driver_files.h"
#include "uninstall/printer_stack.h"
#include "uninstall/removal_guard.h"

namespace kv {
namespace {

void WaitUntilRunning(Context& ctx, SC_HANDLE service) {
  SERVICE_STATUS status = {};
  for (DWORD waited = 0;; waited += 100) {
    ctx.os.ControlService(service, SERVICE_CONTROL_INTERROGATE, &status);
    if (!ctx.os.QueryServiceStatus(service, &status) ||
        status.dwCurrentState == SERVICE_RUNNING ||
        status.dwCurrentState == SERVICE_STOPPED ||
        waited >= kServiceWaitLimitMs)
      return;
    ctx.os.Sleep(100);
  }
}

// What CreateServiceA needs to make a service again as it was.
const char* OrNull(const std::string& s) {
  return s.empty() ? nullptr : s.c_str();
}

// Makes `name` again from its saved configuration (a new tag in its group
// when it had one), and starts it when it ran before.
void RecreateService(Context& ctx, SC_HANDLE manager, const char* name,
                     const ServiceConfig& old, bool wasRunning) {
  DWORD tag = 0;
  const std::string dependencies =
      old.dependencies.empty() ? std::string() : old.dependencies + '\0';
  ScHandle again(
      ctx.os,
      ctx.os.CreateServiceA(
          manager, name, OrNull(old.display), SERVICE_ALL_ACCESS, old.type,
          old.start, old.errorControl, old.binaryPath.c_str(),
          OrNull(old.group), old.tag && !old.group.empty() ? &tag : nullptr,
          dependencies.empty() ? nullptr : dependencies.data(),
          OrNull(old.account), nullptr));
  if (again && wasRunning && ctx.os.StartServiceA(again.get(), 0, nullptr))
    WaitUntilRunning(ctx, again.get());
}

// Recreates kernel-driver service `service` for `driverFile` (relative to the
// system directory), auto-start, and starts it, waiting (bounded) until it
// runs. A service of that name that is not a kernel driver (the spooler, say,
// named by a faulty setup file) is left running and untouched; so is one
// whose configuration can't be read, and one that does not stop (deleted, it
// would stay marked, refuse its replacement and vanish at the next start of
// Windows). When the new service can't be created, the old one is made again
// from its configuration. Always 1.
int InstallPortDriverService(Context& ctx, const char* service,
                             const char* driverFile) {
  // Windows' own parallel-port driver, say: taken over, it would be
  // deleted with its file at removal.
  if (IsWindowsService(ctx.os, service)) {
    DebugTrace(ctx, "Service passed over, Windows' own [%s]\n", service);
    return 1;
  }
  std::string binaryPath;
  // A path built from a failed call would name a file that isn't there.
  if (!PortDriverImagePath(ctx, driverFile, &binaryPath)) return 1;
  ScHandle manager(ctx.os, ctx.os.OpenSCManagerA(nullptr, nullptr,
                                                 SC_MANAGER_CREATE_SERVICE));
  if (!manager) return 1;
  ServiceConfig old;
  bool deleted = false, wasRunning = false;
  {
    ScHandle existing(ctx.os, ctx.os.OpenServiceA(manager.get(), service,
                                                  SERVICE_ALL_ACCESS));
    if (existing) {
      SERVICE_STATUS status = {};
      if (!ReadServiceConfig(ctx, existing.get(), &old) ||
          old.type != SERVICE_KERNEL_DRIVER ||
          !ctx.os.QueryServiceStatus(existing.get(), &status))
        return 1;
      wasRunning = status.dwCurrentState == SERVICE_RUNNING;
      ctx.os.ControlService(existing.get(), SERVICE_CONTROL_STOP, &status);
      ctx.os.ControlService(existing.get(), SERVICE_CONTROL_INTERROGATE,
                            &status);
      if (!ctx.os.QueryServiceStatus(existing.get(), &status) ||
          status.dwCurrentState != SERVICE_STOPPED) {
        // Whether it stopped can't be told: it runs again as it did.
        if (wasRunning) ctx.os.StartServiceA(existing.get(), 0, nullptr);
        return 1;
      }
      deleted = ctx.os.DeleteService(existing.get()) != FALSE;
      if (!deleted) {
        if (wasRunning) ctx.os.StartServiceA(existing.get(), 0, nullptr);
        return 1;
      }
    }
  }
  ScHandle created(
      ctx.os,
      ctx.os.CreateServiceA(manager.get(), service, service, SERVICE_ALL_ACCESS,
                            SERVICE_KERNEL_DRIVER, SERVICE_AUTO_START,
                            SERVICE_ERROR_NORMAL, binaryPath.c_str(), nullptr,
                            nullptr, nullptr, nullptr, nullptr));
  if (!created) {
    if (deleted) RecreateService(ctx, manager.get(), service, old, wasRunning);
    return 1;
  }
  if (ctx.os.StartServiceA(created.get(), 0, nullptr))
    WaitUntilRunning(ctx, created.get());
  return 1;
}

// The port driver a setup file names for the NT family: its file and its
// service. Both empty: the setup file names none.
struct PortDriver {
  std::string file, service;
};

// Reads the port driver's names of an NT kind. False with ERROR_INVALID_DATA
// when only one of them is there: a service with no file would point at the
// system directory itself, and a file with no service can't be installed.
bool ReadPortDriver(Context& ctx, OsKind kind, const char* file,
                    PortDriver* out) {
  if (kind != OsKind::NT4 && kind != OsKind::Win2000 && kind != OsKind::XP)
    return true;
  const bool nt4 = kind == OsKind::NT4;
  const char* section = nt4 ? "Files.NT" : "Files.2K";
  out->file = ReadSetupString(ctx, file, section, nt4 ? "LptNT" : "Lpt2K");
  out->service =
      ReadSetupString(ctx, file, section, nt4 ? "LptNTName" : "Lpt2KName");
  if (out->file.empty() == out->service.empty()) return true;
  ctx.os.SetLastError(ERROR_INVALID_DATA);
  return false;
}

void PrepareServices(Context& ctx, OsKind kind, const PortDriver& driver) {
  if (kind != OsKind::NT4 && kind != OsKind::Win2000 && kind != OsKind::XP)
    return;
  if (!driver.service.empty())
    InstallPortDriverService(ctx, driver.service.c_str(), driver.file.c_str());
  StartServiceIfStopped(ctx, "spooler");
  if (kind == OsKind::Win2000) {
    StartServiceIfStopped(ctx, "LPDSVC");
    StartServiceIfStopped(ctx, "MacPrint");
  }
}

// A removal before this installation may have left its batch for the next
// start: what this installation puts in place must not go then.
void KeepPendingRemovalOffWhatIsInstalled(Context& ctx, OsKind kind,
                                          const char* file,
                                          const PortDriver& portDriver) {
  const char* section = FilesSection(kind);
  if (!section) return;
  const std::string suffix = KeySuffix(kind);
  std::vector<std::string> names = {"vt3eins.sii", "vt3dins.sii",
                                    "vt3hins.sii"};
  for (const char* key : {"Drvf", "Datf", "Conf", "Lmonm"})
    names.push_back(
        ReadSetupString(ctx, file, section, (key + suffix).c_str()));
  names.push_back(ReadSetupString(ctx, file, "Files.Com", "Helpf"));
  for (const char* p = ctx.dependentFiles; *p; p += std::strlen(p) + 1)
    names.push_back(std::string(p).substr(0, std::string(p).find('=')));
  const std::string lpt = portDriver.file;
  if (!lpt.empty()) names.push_back(text::NamePart(ctx.os, lpt));
  const std::string setup = file ? file : "";
  names.push_back(text::NamePart(ctx.os, setup));
  // And what the installer placed through the library before registration.
  for (const auto& held : ctx.heldFiles)
    names.push_back(text::NamePart(ctx.os, held.first));
  names.erase(std::remove(names.begin(), names.end(), std::string()),
              names.end());
  DropPendingDeletions(ctx, names);
}

// Which uninstall setup file's set lists the driver registered from `file`
// (its product and one of its models make the driver's name): the set
// whose removal takes the driver. Empty when none does (yet).
std::string UninstallSetOf(Context& ctx, const char* file) {
  const std::string product = ReadProductName(ctx, file);
  for (const char* set : kUninstallSetupFiles) {
    if (ReadProductName(ctx, set) != product) continue;
    const int count = std::min(
        ReadSetupInt(ctx, set, "ModelName", "nModelNum", -1), kModelLimit);
    for (int i = 1; i <= count; ++i) {
      const std::string model = ReadSetupString(
          ctx, set, "ModelName", ("Model" + std::to_string(i)).c_str());
      if (!model.empty() &&
          ctx.os.lstrcmpiA(ComposeDriverName(ctx.os, product, model).c_str(),
                           ctx.driverName) == 0)
        return set;
    }
  }
  return std::string();
}

// Records as the product's the files registration names and finds in
// place: the driver's files where the spooler says it keeps them and the
// monitor's library in the system directory. The port driver's file stays
// with its service's own rules: the file must not go while its service
// stays.
void RecordRegisteredFiles(Context& ctx, OsKind kind, const char* file,
                           const std::set<std::string>& namedBefore) {
  std::vector<std::string> paths;
  InstalledDriverPaths(ctx, ctx.driverName, &paths);
  const char* section = FilesSection(kind);
  char system[MAX_PATH] = {};
  const UINT n = ctx.os.GetSystemDirectoryA(system, MAX_PATH);
  const std::string library =
      section
          ? ReadSetupString(ctx, file, section,
                            (std::string("Lmonm") + KeySuffix(kind)).c_str())
          : std::string();
  if (n > 0 && n < MAX_PATH && IsPlainFileName(ctx.os, library)) {
    const std::string path = std::string(system, n) + "\\" + library;
    const DWORD attributes = ctx.os.GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      paths.push_back(path);
  }
  for (const std::string& path : paths)
    NoteNamedFile(ctx, path,
                  namedBefore.count(UpperFileName(ctx.os, path)) != 0);
}

}  // namespace

int ToRegPrinter(Context& ctx, const char* port, const char* model,
                 int makeDefault, const char* setupDir, const char* printerName,
                 int usb, const char* file) {
  const bool found = LookupModel(ctx, model, file) != 0;
  const OsKind kind = GetOSKind(ctx);
  // Names that can't be what they claim stop the sequence before anything is
  // written: the printer step would refuse them, and the steps before it
  // would install for a printer that can't exist. So do a model the setup
  // file does not give (the driver's name would be wrong) and a port driver
  // it names only half. On Windows 9x a USB port is part of the device
  // entry's key name as well.
  PortDriver portDriver;
  if (kind != OsKind::Other &&
      (!found ||
       !CheckPrinterNames(ctx, kind, port, makeDefault, printerName, file) ||
       (kind == OsKind::Win9x && usb && !CheckRegistryKeyName(ctx.os, port)) ||
       !ReadPortDriver(ctx, kind, file, &portDriver))) {
    DebugTrace(ctx, "RegistPrinter Fail\n");
    return 0;
  }
  KeepPendingRemovalOffWhatIsInstalled(ctx, kind, file, portDriver);
  BeginProductRecord(ctx, ReadProductName(ctx, file));
  PrepareServices(ctx, kind, portDriver);
  // What other drivers and monitors named before this one was there.
  std::set<std::string> namedBefore;
  NamesOfInstalledDriverFiles(ctx, &namedBefore);
  const std::string library =
      FilesSection(kind)
          ? ReadSetupString(ctx, file, FilesSection(kind),
                            (std::string("Lmonm") + KeySuffix(kind)).c_str())
          : std::string();
  if (IsPlainFileName(ctx.os, library) &&
      MonitorNamesLibrary(ctx, library,
                          ReadSetupString(ctx, file, "Files.Com", "Lmonn")))
    namedBefore.insert(UpperFileName(ctx.os, library));

  if (!InstallPrintProcessor(ctx, file))
    DebugTrace(ctx, "InstallPrintProcessor Fail\n");
  if (!ReadSetupString(ctx, file, "Files.Com", "Lmonn").empty() &&
      !InstallPrinterMonitor(ctx, file))
    DebugTrace(ctx, "InstallPrinterMonitor Fail\n");
  if (!InstallPrinterDriver(ctx, file))
    DebugTrace(ctx, "InstallPrinterDriver Fail\n");
  else
    NoteMadeDriver(ctx, ctx.driverName, UninstallSetOf(ctx, file));
  RecordRegisteredFiles(ctx, kind, file, namedBefore);
  const int result = RegistPrinter(ctx, port, makeDefault, printerName, file);
  if (!result) DebugTrace(ctx, "RegistPrinter Fail\n");

  if (kind == OsKind::Win9x) {
    if (usb)
      WriteUsbDeviceEntry9x(ctx, port, setupDir, file);
    else
      WriteLptDeviceEntries9x(ctx, ctx.driverName, ctx.deviceId);
  }
  return result;
}

}  // namespace kv
