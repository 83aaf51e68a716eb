#include "printer/monitor.h"

#include <string>

#include "foundation/diagnostics.h"
#include "foundation/environment.h"
#include "foundation/handles.h"
#include "foundation/names.h"
#include "foundation/oskind.h"
#include "foundation/setupinfo.h"

namespace kv {

int InstallPrinterMonitor(Context& ctx, const char* file) {
  const OsKind kind = GetOSKind(ctx);
  GlobalBuffer record(ctx.os, sizeof(MONITOR_INFO_2A));
  if (!RecordAllocated(ctx, record, "pMonitor Alloc Fail\n")) return 0;
  const char* environment = SpoolerEnvironment(kind);
  if (!environment) return 0;

  std::string name = ReadSetupString(ctx, file, "Files.Com", "Lmonn");
  if (!CheckSpoolerName(ctx.os, SpoolerObject::Monitor, name.c_str())) {
    DebugTraceLastError(ctx, "AddMonitor Fail ErrMsg[0x%x]\n");
    return 0;
  }
  std::string fileKey = std::string("Lmonm") + KeySuffix(kind);
  std::string dll =
      ReadSetupString(ctx, file, FilesSection(kind), fileKey.c_str());
  std::string env = environment;

  auto* info = record.as<MONITOR_INFO_2A>();
  info->pName = &name[0];
  info->pEnvironment = &env[0];
  info->pDLLName = &dll[0];

  ctx.os.SetLastError(0);
  return TracedOutcome(ctx, ctx.os.AddMonitorA(nullptr, 2, record.bytes()),
                       "AddMonitor Fail ErrMsg[0x%x]\n");
}

}  // namespace kv
