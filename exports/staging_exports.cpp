#include "exports/staging_exports.h"

#include "exports/dll_context.h"
#include "exports/guard.h"
#include "exports/string_args.h"
#include "staging/depfiles.h"
#include "staging/expcopy.h"
#include "staging/fonts_launch.h"
#include "staging/xcopy.h"

using kv::DllContext;
using kv::Guarded;
using kv::OrEmpty;

extern "C" {

int WINAPI DepInit(void) {
  return Guarded(1, [] { return kv::DepInit(DllContext()); });
}

int WINAPI MakeDep(LPCSTR name) {
  return Guarded(0, [&] { return kv::MakeDep(DllContext(), OrEmpty(name)); });
}

int WINAPI ExpCopy(LPCSTR sourceDir, LPCSTR destDir, LPCSTR fileName,
                   LPCSTR listedName, int kind) {
  // 1 promises the whole file at the destination: an escaped exception
  // promises nothing.
  return Guarded(0, [&] {
    return kv::ExpCopy(DllContext(), OrEmpty(sourceDir), OrEmpty(destDir),
                       OrEmpty(fileName), OrEmpty(listedName), kind);
  });
}

int WINAPI DefineFileName(LPSTR entry) {
  return Guarded(1, [&] { return kv::DefineFileName(entry); });
}

int WINAPI Xcopy(LPCSTR sourceDir, LPCSTR destDir, LPCSTR selectedFolder,
                 LPCSTR installerType) {
  if (!sourceDir || !destDir) return 0;  // no tree to search or fill
  return Guarded(0, [&] {
    return kv::Xcopy(DllContext(), sourceDir, destDir, OrEmpty(selectedFolder),
                     OrEmpty(installerType));
  });
}

int WINAPI ToInstallTTF(LPCSTR path, int /*unused*/) {
  return Guarded(0,
                 [&] { return kv::ToInstallTTF(DllContext(), OrEmpty(path)); });
}

UINT WINAPI VtoeSwmd(LPCSTR command) {
  return Guarded(0u,
                 [&] { return kv::VtoeSwmd(DllContext(), OrEmpty(command)); });
}

unsigned long long WINAPI GetDiskFreeSize(void) {
  return Guarded(0ull, [] {
    return static_cast<unsigned long long>(kv::GetDiskFreeSize(DllContext()));
  });
}

}  // extern "C"
