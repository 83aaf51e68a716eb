#include "foundation/services.h"

#include <cstring>
#include <vector>

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

namespace {

// The print services of each kind, in the order they are stopped.
std::vector<const char*> PrintServices(OsKind kind) {
  switch (kind) {
    case OsKind::NT4:
    case OsKind::XP:
      return {"spooler"};
    case OsKind::Win2000:
      return {"MacPrint", "LPDSVC", "spooler"};
    case OsKind::Win9x:
    case OsKind::Other:
      break;
  }
  return {};
}

}  // namespace

bool ReadServiceConfig(Context& ctx, SC_HANDLE service, ServiceConfig* out) {
  DWORD needed = 0;
  if (ctx.os.QueryServiceConfigA(service, nullptr, 0, &needed) ||
      ctx.os.GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
      needed < sizeof(QUERY_SERVICE_CONFIGA))
    return false;
  // Whole DWORDs: the record holds pointers.
  std::vector<DWORD> buffer((needed + 3) / 4, 0);
  auto* config = reinterpret_cast<LPQUERY_SERVICE_CONFIGA>(buffer.data());
  if (!ctx.os.QueryServiceConfigA(
          service, config, static_cast<DWORD>(buffer.size() * 4), &needed))
    return false;
  out->type = config->dwServiceType;
  out->start = config->dwStartType;
  out->errorControl = config->dwErrorControl;
  out->tag = config->dwTagId;
  const auto text = [](const char* p) { return std::string(p ? p : ""); };
  out->binaryPath = text(config->lpBinaryPathName);
  out->group = text(config->lpLoadOrderGroup);
  out->account = text(config->lpServiceStartName);
  out->display = text(config->lpDisplayName);
  out->dependencies.clear();
  for (const char* p = config->lpDependencies; p && *p; p += std::strlen(p) + 1)
    out->dependencies.append(p, std::strlen(p) + 1);
  return true;
}

void StopPrintServices(Context& ctx, OsKind kind) {
  for (const char* name : PrintServices(kind)) StopServiceAndWait(ctx, name);
}

void StartPrintServices(Context& ctx, OsKind kind) {
  const std::vector<const char*> names = PrintServices(kind);
  for (auto name = names.rbegin(); name != names.rend(); ++name)
    StartServiceIfStopped(ctx, *name);
}

int ToRestartPrinterService(Context& ctx) {
  const OsKind kind = GetOSKind(ctx);
  StopPrintServices(ctx, kind);
  StartPrintServices(ctx, kind);
  return 1;
}

}  // namespace kv
