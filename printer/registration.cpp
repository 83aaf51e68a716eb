#include "printer/registration.h"

#include <string>
#include <vector>

#include "foundation/diagnostics.h"
#include "foundation/handles.h"
#include "foundation/names.h"
#include "foundation/oskind.h"
#include "foundation/services.h"
#include "foundation/setupinfo.h"
#include "printer/driver.h"
#include "printer/monitor.h"
#include "printer/pnp9x.h"
#include "printer/printer.h"
#include "printer/processor.h"

namespace kv {
namespace {

std::string DriverBinaryPath(Context& ctx, const char* driverFile) {
  char dir[MAX_PATH] = {};
  const UINT n = ctx.os.GetSystemDirectoryA(dir, sizeof dir);
  std::string path = n < sizeof dir ? std::string(dir, n) : std::string();
  if (path.empty() || path.back() != '\\') path += '\\';
  return path + driverFile;
}

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

// The service's type (SERVICE_KERNEL_DRIVER, SERVICE_WIN32_OWN_PROCESS, ...),
// or 0 when its configuration can't be read.
DWORD ServiceType(Context& ctx, SC_HANDLE service) {
  DWORD needed = 0;
  if (ctx.os.QueryServiceConfigA(service, nullptr, 0, &needed) ||
      ctx.os.GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
      needed < sizeof(QUERY_SERVICE_CONFIGA))
    return 0;
  // Whole DWORDs: the record holds pointers.
  std::vector<DWORD> buffer((needed + 3) / 4, 0);
  auto* config = reinterpret_cast<LPQUERY_SERVICE_CONFIGA>(buffer.data());
  if (!ctx.os.QueryServiceConfigA(
          service, config, static_cast<DWORD>(buffer.size() * 4), &needed))
    return 0;
  return config->dwServiceType;
}

// Recreates kernel-driver service `service` for `driverFile` (relative to the
// system directory), auto-start, and starts it, waiting (bounded) until it
// runs. A service of that name that is not a kernel driver (the spooler, say,
// named by a faulty setup file) is left running and untouched; so is one
// whose type can't be read. Always 1.
int InstallPortDriverService(Context& ctx, const char* service,
                             const char* driverFile) {
  const std::string binaryPath = DriverBinaryPath(ctx, driverFile);
  ScHandle manager(ctx.os, ctx.os.OpenSCManagerA(nullptr, nullptr,
                                                 SC_MANAGER_CREATE_SERVICE));
  if (!manager) return 1;
  {
    ScHandle old(ctx.os, ctx.os.OpenServiceA(manager.get(), service,
                                             SERVICE_ALL_ACCESS));
    if (old) {
      if (ServiceType(ctx, old.get()) != SERVICE_KERNEL_DRIVER) return 1;
      SERVICE_STATUS status = {};
      ctx.os.ControlService(old.get(), SERVICE_CONTROL_STOP, &status);
      ctx.os.ControlService(old.get(), SERVICE_CONTROL_INTERROGATE, &status);
      ctx.os.DeleteService(old.get());
    }
  }
  ScHandle created(
      ctx.os,
      ctx.os.CreateServiceA(manager.get(), service, service, SERVICE_ALL_ACCESS,
                            SERVICE_KERNEL_DRIVER, SERVICE_AUTO_START,
                            SERVICE_ERROR_NORMAL, binaryPath.c_str(), nullptr,
                            nullptr, nullptr, nullptr, nullptr));
  if (created && ctx.os.StartServiceA(created.get(), 0, nullptr))
    WaitUntilRunning(ctx, created.get());
  return 1;
}

void PrepareServices(Context& ctx, OsKind kind, const char* file) {
  if (kind != OsKind::NT4 && kind != OsKind::Win2000 && kind != OsKind::XP)
    return;
  const bool nt4 = kind == OsKind::NT4;
  const char* section = nt4 ? "Files.NT" : "Files.2K";
  const std::string driverFile =
      ReadSetupString(ctx, file, section, nt4 ? "LptNT" : "Lpt2K");
  const std::string service =
      ReadSetupString(ctx, file, section, nt4 ? "LptNTName" : "Lpt2KName");
  InstallPortDriverService(ctx, service.c_str(), driverFile.c_str());
  StartServiceIfStopped(ctx, "spooler");
  if (kind == OsKind::Win2000) {
    StartServiceIfStopped(ctx, "LPDSVC");
    StartServiceIfStopped(ctx, "MacPrint");
  }
}

}  // namespace

int ToRegPrinter(Context& ctx, const char* port, const char* model,
                 int makeDefault, const char* setupDir, const char* printerName,
                 int usb, const char* file) {
  LookupModel(ctx, model, file);
  const OsKind kind = GetOSKind(ctx);
  // Names that can't be what they claim stop the sequence before anything is
  // written: the printer step would refuse them, and the steps before it
  // would install for a printer that can't exist. On Windows 9x a USB port
  // is part of the device entry's key name as well.
  if (kind != OsKind::Other &&
      (!CheckPrinterNames(ctx, kind, port, makeDefault, printerName, file) ||
       (kind == OsKind::Win9x && usb && !CheckRegistryKeyName(ctx.os, port)))) {
    DebugTrace(ctx, "RegistPrinter Fail\n");
    return 0;
  }
  PrepareServices(ctx, kind, file);

  if (!InstallPrintProcessor(ctx, file))
    DebugTrace(ctx, "InstallPrintProcessor Fail\n");
  if (!ReadSetupString(ctx, file, "Files.Com", "Lmonn").empty() &&
      !InstallPrinterMonitor(ctx, file))
    DebugTrace(ctx, "InstallPrinterMonitor Fail\n");
  if (!InstallPrinterDriver(ctx, file))
    DebugTrace(ctx, "InstallPrinterDriver Fail\n");
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
