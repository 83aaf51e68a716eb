#include "exports/query_exports.h"

#include "exports/dll_context.h"
#include "exports/guard.h"
#include "exports/string_args.h"
#include "printer/lpt_detect.h"
#include "printer/queries.h"

using kv::DllContext;
using kv::Guarded;
using kv::OrEmpty;

extern "C" {

int WINAPI ToDetectLPT(LPCSTR port) {
  return Guarded(0,
                 [&] { return kv::ToDetectLPT(DllContext(), OrEmpty(port)); });
}

int WINAPI GetPrinterNum(void) {
  return Guarded(0, [] { return kv::GetPrinterNum(DllContext()); });
}

int WINAPI GetPrinterDriverName(LPCSTR base, LPCSTR port, LPSTR name) {
  if (!name) return 0;
  return Guarded(0, [&] {
    return kv::GetPrinterDriverName(DllContext(), OrEmpty(base), OrEmpty(port),
                                    name);
  });
}

int WINAPI PrinterCheck(LPCSTR name) {
  return Guarded(0,
                 [&] { return kv::PrinterCheck(DllContext(), OrEmpty(name)); });
}

int WINAPI Chk_MicroTcpIpEntryNT(void) {
  return Guarded(0, [] { return kv::Chk_MicroTcpIpEntryNT(DllContext()); });
}

}  // extern "C"
