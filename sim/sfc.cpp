// Windows' file protection: which files the system guards against being
// replaced or deleted. Windows Me, 2000 and later guard their own files; the
// earlier versions have no sfc.dll at all.
#include <algorithm>

#include "sim/sim_internal.h"

namespace kv::sim {

namespace {

bool HasFileProtection(WindowsVersion v) {
  switch (v) {
    case WindowsVersion::Win32s:
    case WindowsVersion::NT351:
    case WindowsVersion::NT4:
    case WindowsVersion::Win95:
    case WindowsVersion::Win98:
      return false;
    default:
      return true;
  }
}

// Windows' own files that printer and scanner installers commonly name,
// each relative to the Windows directory ("W") or the system one ("S").
struct GuardedFile {
  char folder;
  const char* name;
};
constexpr GuardedFile kGuardedFiles[] = {
    {'W', "TWAIN_32.DLL"},
    {'W', "TWAIN.DLL"},
    {'S', "MFC42.DLL"},
    {'S', "MSVCRT.DLL"},
    {'S', "STI.DLL"},
    {'S', "DRIVERS\\PARPORT.SYS"},
    {'S', "SPOOL\\DRIVERS\\COLOR\\SRGB COLOR SPACE PROFILE.ICM"},
};

}  // namespace

void SimPlatform::ProtectFile(const std::string& path) {
  protectedFiles_.push_back(UpperAscii(path));
}

BOOL SimPlatform::SfcIsFileProtected(HANDLE, LPCSTR path) {
  if (Enter("SfcIsFileProtected", ArgText(path))) return FALSE;
  if (!HasFileProtection(version_)) {
    lastError_ = ERROR_CALL_NOT_IMPLEMENTED;
    return FALSE;
  }
  if (!path) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  const std::string wanted = UpperAscii(std::string(path));
  bool guarded = std::find(protectedFiles_.begin(), protectedFiles_.end(),
                           wanted) != protectedFiles_.end();
  for (const GuardedFile& f : kGuardedFiles) {
    const std::string folder = f.folder == 'W' ? windowsDir() : systemDir();
    guarded = guarded || wanted == UpperAscii(folder + "\\" + f.name);
  }
  // Windows answers a file it does not guard with FALSE and this error.
  lastError_ = guarded ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  return guarded ? TRUE : FALSE;
}

}  // namespace kv::sim
