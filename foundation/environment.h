// Spooler environment names and setup-file sections per OS kind.
#pragma once

namespace kv {

constexpr const char* kEnvNT = "Windows NT x86";
constexpr const char* kEnv9x = "Windows 4.0";

// "Windows NT x86" for kinds 1, 3, 4; "Windows 4.0" for kind 2; null otherwise.
inline const char* SpoolerEnvironment(int osKind) {
  switch (osKind) {
    case 1:
    case 3:
    case 4:
      return kEnvNT;
    case 2:
      return kEnv9x;
    default:
      return nullptr;
  }
}

// The file section of an OS kind: "Files.NT", "Files.9x", "Files.2K"; null
// for kind -1.
inline const char* FilesSection(int osKind) {
  switch (osKind) {
    case 1:
      return "Files.NT";
    case 2:
      return "Files.9x";
    case 3:
    case 4:
      return "Files.2K";
    default:
      return nullptr;
  }
}

// The suffix of the per-family keys ("LmonmNT", "Lmonm9x", "Lmonm2K").
inline const char* KeySuffix(int osKind) {
  switch (osKind) {
    case 1:
      return "NT";
    case 2:
      return "9x";
    case 3:
    case 4:
      return "2K";
    default:
      return nullptr;
  }
}

}  // namespace kv
