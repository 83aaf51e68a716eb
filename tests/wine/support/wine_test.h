// Shared support of the Wine suites: the Windows version a run is for, the
// facts Windows reports at that version, and the DLL under test loaded the
// way an installer loads it.
#pragma once

#include <windows.h>

#include <string>

#include "gtest/gtest.h"

namespace kvwine {

// What a Windows version reports through GetVersionExA, and the library's
// classification of it.
struct VersionFacts {
  const char* name;  // as given to --kv-version and to Wine
  DWORD platformId;
  DWORD major;
  DWORD minor;
  int osKind;        // kv::GetOSKind
  int ntGeneration;  // kv::GetNTGeneration
  int isWinMe;       // IsWinMe
};

// The version this run is for (--kv-version=<name>), checked in main.
const VersionFacts& Version();
bool IsWin9x();

// The folder of the running program, with a trailing backslash.
std::string ProgramDir();

// _KVSUP32.dll, loaded with LoadLibraryA from the program's folder; null
// (and a failure recorded) when it can't be.
HMODULE Kvsup();

// An export of _KVSUP32.dll by name; null (and a failure recorded) when
// the DLL has no such export.
template <typename Fn>
Fn Export(const char* name) {
  HMODULE dll = Kvsup();
  if (!dll) return nullptr;
  FARPROC proc = GetProcAddress(dll, name);
  if (!proc) ADD_FAILURE() << "_KVSUP32.dll does not export " << name;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

// The system's text for `error` (FormatMessageA from the system, neutral
// language), empty when the system has none.
std::string SystemMessage(DWORD error);

}  // namespace kvwine
