// Spooler environment names and setup-file sections per OS kind.
#pragma once

#include "foundation/oskind.h"

namespace kv {

constexpr const char* kEnvNT = "Windows NT x86";
constexpr const char* kEnv9x = "Windows 4.0";

// What the setup file and the spooler call the family of an OS kind: the
// spooler environment, the file section, and the suffix of the per-family
// keys ("LmonmNT", "Lmonm9x", "Lmonm2K"). Null members for OsKind::Other.
struct OsFamily {
  const char* environment;
  const char* filesSection;
  const char* keySuffix;
};

inline OsFamily FamilyOf(OsKind kind) {
  switch (kind) {
    case OsKind::NT4:
      return {kEnvNT, "Files.NT", "NT"};
    case OsKind::Win9x:
      return {kEnv9x, "Files.9x", "9x"};
    case OsKind::Win2000:
    case OsKind::XP:
      return {kEnvNT, "Files.2K", "2K"};
    case OsKind::Other:
      break;
  }
  return {nullptr, nullptr, nullptr};
}

// "Windows NT x86" for NT 4.0, 2000 and XP; "Windows 4.0" for 9x.
inline const char* SpoolerEnvironment(OsKind kind) {
  return FamilyOf(kind).environment;
}

// "Files.NT", "Files.9x" or "Files.2K".
inline const char* FilesSection(OsKind kind) {
  return FamilyOf(kind).filesSection;
}

// "NT", "9x" or "2K".
inline const char* KeySuffix(OsKind kind) { return FamilyOf(kind).keySuffix; }

}  // namespace kv
