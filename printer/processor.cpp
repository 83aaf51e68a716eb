#include "printer/processor.h"

#include <cstring>
#include <string>

#include "foundation/diagnostics.h"
#include "foundation/environment.h"
#include "foundation/oskind.h"
#include "foundation/setupinfo.h"

namespace kv {

int InstallPrintProcessor(Context& ctx, const char* file) {
  const OsKind kind = GetOSKind(ctx);
  const char* environment = SpoolerEnvironment(kind);
  if (!environment) return 0;
  const std::string suffix = KeySuffix(kind);
  const std::string name = ReadSetupString(ctx, file, FilesSection(kind),
                                           ("Procn" + suffix).c_str());
  const std::string dll = ReadSetupString(ctx, file, FilesSection(kind),
                                          ("Procm" + suffix).c_str());
  const bool none = std::strcmp(name.c_str(), "NULL") == 0;

  ctx.os.SetLastError(0);
  if (kind == OsKind::Win9x && none) return 1;
  const BOOL added = ctx.os.AddPrintProcessorA(nullptr, environment,
                                               dll.c_str(), name.c_str());
  // On the NT family the add is made even for "NULL"; its outcome is moot.
  if (none) return 1;
  return TracedOutcome(ctx, added, "AddPrintProcessor Fail ErrMsg[0x%x]\n");
}

}  // namespace kv
