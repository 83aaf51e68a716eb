#include "exports/foundation_exports.h"

#include "exports/dll_context.h"
#include "exports/guard.h"
#include "exports/string_args.h"
#include "foundation/diagnostics.h"
#include "foundation/oskind.h"

using kv::DllContext;
using kv::Guarded;

extern "C" {

int WINAPI IsWinMe(void) {
  return Guarded(0, [] { return kv::IsWinMe(DllContext()); });
}

int WINAPI GetCode98orAT(void) {
  return Guarded(1, [] { return kv::IsPC98Machine(DllContext(), 512); });
}

int WINAPI CheckPC98(void) {
  return Guarded(1, [] { return kv::IsPC98Machine(DllContext(), 260); });
}

int WINAPI LastErrorMessageBox(LPCSTR caption) {
  return Guarded(0, [&] {
    return kv::LastErrorMessageBox(DllContext(), kv::Caption(caption));
  });
}

}  // extern "C"
