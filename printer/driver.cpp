#include "printer/driver.h"

#include <string>

#include "foundation/diagnostics.h"
#include "foundation/environment.h"
#include "foundation/handles.h"
#include "foundation/names.h"
#include "foundation/oskind.h"
#include "foundation/setupinfo.h"

namespace kv {

int InstallPrinterDriver(Context& ctx, const char* file) {
  const OsKind kind = GetOSKind(ctx);
  GlobalBuffer record(ctx.os, sizeof(DRIVER_INFO_3A));
  if (!RecordAllocated(ctx, record, "pAddPDrv3 Alloc Fail\n")) return 0;
  const char* environment = SpoolerEnvironment(kind);
  if (!environment) return 0;
  // The name comes from the setup file through the model lookup.
  if (!CheckSpoolerName(ctx.os, SpoolerObject::Driver, ctx.driverName)) {
    DebugTraceLastError(ctx, "AddPrinterDriver Fail ErrMsg[0x%x]\n");
    return 0;
  }

  const char* section = FilesSection(kind);
  const std::string suffix = KeySuffix(kind);
  auto read = [&](const char* sec, const std::string& key, DWORD size = 256) {
    return ReadSetupString(ctx, file, sec, key.c_str(), size);
  };
  std::string name = ctx.driverName;
  std::string env = environment;
  std::string driverPath = read(section, "Drvf" + suffix);
  std::string dataFile = read(section, "Datf" + suffix);
  std::string configFile = read(section, "Conf" + suffix);
  std::string helpFile = read("Files.Com", "Helpf");
  std::string monitor = read("Files.Com", "Lmonn");
  std::string dataType =
      kind == OsKind::Win9x ? read("Install", "DATATYPE", 5) : "RAW";

  auto* info = record.as<DRIVER_INFO_3A>();
  info->cVersion = kind == OsKind::Win9x ? 1 : 0;
  info->pName = &name[0];
  info->pEnvironment = &env[0];
  info->pDriverPath = &driverPath[0];
  info->pDataFile = &dataFile[0];
  info->pConfigFile = &configFile[0];
  info->pHelpFile = &helpFile[0];
  info->pDependentFiles = ctx.dependentFiles;
  info->pMonitorName = &monitor[0];
  info->pDefaultDataType = &dataType[0];

  ctx.os.SetLastError(0);
  return TracedOutcome(ctx,
                       ctx.os.AddPrinterDriverA(nullptr, 3, record.bytes()),
                       "AddPrinterDriver Fail ErrMsg[0x%x]\n");
}

}  // namespace kv
