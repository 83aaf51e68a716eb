#include "exports/printer_exports.h"

#include "exports/dll_context.h"
#include "exports/guard.h"
#include "printer/monitor.h"

using kv::DllContext;
using kv::Guarded;

extern "C" {

int WINAPI InstallPrinterMonitor(LPCSTR sii) {
  return Guarded(0, [&] {
    return kv::InstallPrinterMonitor(DllContext(), sii ? sii : "");
  });
}

}  // extern "C"
