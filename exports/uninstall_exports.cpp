#include "exports/uninstall_exports.h"

#include "exports/dll_context.h"
#include "exports/guard.h"
#include "exports/string_args.h"
#include "uninstall/device_entries.h"
#include "uninstall/driver_files.h"
#include "uninstall/scanner_data.h"
#include "uninstall/uninstall_entries.h"

using kv::DllContext;
using kv::Guarded;
using kv::OrEmpty;

extern "C" {

int WINAPI UninstInitialize(DWORD, DWORD, DWORD) {
  return Guarded(0, [] {
    kv::UninstInitialize(DllContext());
    return 0;
  });
}

int WINAPI UninstUnInitialize(DWORD, DWORD, DWORD) {
  return Guarded(0, [] {
    kv::UninstUnInitialize(DllContext());
    return 0;
  });
}

int WINAPI DeleteFilesTWAIN(LPCSTR ignored) {
  return Guarded(
      0, [&] { return kv::DeleteFilesTWAIN(DllContext(), OrEmpty(ignored)); });
}

int WINAPI DeleteUSBIDEntry(LPCSTR model, LPCSTR setupFile) {
  return Guarded(0, [&] {
    return kv::DeleteUSBIDEntry(DllContext(), OrEmpty(model),
                                OrEmpty(setupFile));
  });
}

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
