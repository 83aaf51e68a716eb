#include "exports/uninstall_exports.h"

#include "exports/dll_context.h"
#include "exports/guard.h"
#include "exports/string_args.h"
#include "uninstall/driver_files.h"

using kv::DllContext;
using kv::Guarded;
using kv::OrEmpty;

extern "C" {

int WINAPI DeleteFiles9x(LPCSTR setupFile) {
  return Guarded(
      0, [&] { return kv::DeleteFiles9x(DllContext(), OrEmpty(setupFile)); });
}

int WINAPI DeleteFilesNT(LPCSTR setupFile) {
  return Guarded(
      0, [&] { return kv::DeleteFilesNT(DllContext(), OrEmpty(setupFile)); });
}

int WINAPI DeleteFiles2k(LPCSTR setupFile) {
  return Guarded(
      0, [&] { return kv::DeleteFiles2k(DllContext(), OrEmpty(setupFile)); });
}

int WINAPI DeleteFilesXP(LPCSTR setupFile) {
  return Guarded(
      0, [&] { return kv::DeleteFilesXP(DllContext(), OrEmpty(setupFile)); });
}

}  // extern "C"
