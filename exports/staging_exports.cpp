#include "exports/staging_exports.h"

#include "exports/dll_context.h"
#include "exports/guard.h"
#include "staging/depfiles.h"

using kv::DllContext;
using kv::Guarded;

extern "C" {

int WINAPI DepInit(void) {
  return Guarded(1, [] { return kv::DepInit(DllContext()); });
}

int WINAPI MakeDep(LPCSTR name) {
  return Guarded(0, [&] { return kv::MakeDep(DllContext(), name); });
}

}  // extern "C"
