#include "foundation/services.h"

#include "foundation/handles.h"
#include "foundation/oskind.h"

namespace kv {
namespace {

// A control that reaches a stopped service fails with "not active"; for a
// stop or interrogate that is the outcome wanted.
bool ControlOk(Context& ctx, SC_HANDLE service, DWORD control,
               SERVICE_STATUS& status) {
  if (ctx.os.ControlService(service, control, &status)) return true;
  return ctx.os.GetLastError() == ERROR_SERVICE_NOT_ACTIVE;
}

DWORD StopPollDelay(DWORD waitHint) {
  if (waitHint == 0) return 100;
  return waitHint >= 1000 ? 1000 : waitHint;
}

}  // namespace

void StopServiceAndWait(Context& ctx, const char* name) {
  ScHandle manager(ctx.os,
                   ctx.os.OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA,
                                         SC_MANAGER_ALL_ACCESS));
  if (!manager) return;
  ScHandle service(
      ctx.os, ctx.os.OpenServiceA(manager.get(), name, SERVICE_ALL_ACCESS));
  if (!service) return;

  SERVICE_STATUS status = {};
  if (!ControlOk(ctx, service.get(), SERVICE_CONTROL_STOP, status)) return;
  ctx.os.Sleep(1000);
  DWORD waited = 1000;
  for (;;) {
    if (!ControlOk(ctx, service.get(), SERVICE_CONTROL_INTERROGATE, status))
      return;
    if (!ctx.os.QueryServiceStatus(service.get(), &status) ||
        status.dwCurrentState == SERVICE_STOPPED)
      return;
    if (waited >= kServiceWaitLimitMs) return;
    const DWORD delay = StopPollDelay(status.dwWaitHint);
    ctx.os.Sleep(delay);
    waited += delay;
  }
}

void StartServiceIfStopped(Context& ctx, const char* name) {
  ScHandle manager(
      ctx.os, ctx.os.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return;
  ScHandle service(
      ctx.os, ctx.os.OpenServiceA(manager.get(), name, SERVICE_ALL_ACCESS));
  if (!service) return;

  SERVICE_STATUS status = {};
  if (!ControlOk(ctx, service.get(), SERVICE_CONTROL_INTERROGATE, status))
    return;
  if (!ctx.os.QueryServiceStatus(service.get(), &status) ||
      status.dwCurrentState != SERVICE_STOPPED ||
      !ctx.os.StartServiceA(service.get(), 0, nullptr))
    return;
  for (DWORD waited = 0; waited < kServiceWaitLimitMs; waited += 300) {
    ctx.os.Sleep(300);
    if (!ctx.os.ControlService(service.get(), SERVICE_CONTROL_INTERROGATE,
                               &status))
      return;
    if (!ctx.os.QueryServiceStatus(service.get(), &status) ||
        status.dwCurrentState == SERVICE_RUNNING)
      return;
  }
}

int ToRestartPrinterService(Context& ctx) {
  switch (GetOSKind(ctx)) {
    case OsKind::NT4:
    case OsKind::XP:
      StopServiceAndWait(ctx, "spooler");
      StartServiceIfStopped(ctx, "spooler");
      break;
    case OsKind::Win2000:
      StopServiceAndWait(ctx, "MacPrint");
      StopServiceAndWait(ctx, "LPDSVC");
      StopServiceAndWait(ctx, "spooler");
      StartServiceIfStopped(ctx, "spooler");
      StartServiceIfStopped(ctx, "LPDSVC");
      StartServiceIfStopped(ctx, "MacPrint");
      break;
    default:
      break;
  }
  return 1;
}

}  // namespace kv
