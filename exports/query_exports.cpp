#include "exports/query_exports.h"

#include "exports/dll_context.h"
#include "exports/guard.h"
#include "printer/lpt_detect.h"
#include "printer/queries.h"

using kv::DllContext;
using kv::Guarded;

namespace {
const char* Text(LPCSTR s) { return s ? s : ""; }
}  // namespace

extern "C" {

int WINAPI ToDetectLPT(LPCSTR port) {
  return Guarded(0, [&] { return kv::ToDetectLPT(DllContext(), Text(port)); });
}

int WINAPI GetPrinterNum(void) {
  return Guarded(0, [] { return kv::GetPrinterNum(DllContext()); });
}

int WINAPI GetPrinterDriverName(LPCSTR base, LPCSTR port, LPSTR name) {
  if (!name) return 0;
  return Guarded(0, [&] {
    return kv::GetPrinterDriverName(DllContext(), Text(base), Text(port), name);
  });
}

int WINAPI PrinterCheck(LPCSTR name) {
  return Guarded(0, [&] { return kv::PrinterCheck(DllContext(), Text(name)); });
}

int WINAPI Chk_MicroTcpIpEntryNT(void) {
  return Guarded(0, [] { return kv::Chk_MicroTcpIpEntryNT(DllContext()); });
}

}  // extern "C"
