// Helpers shared by the implementation files of the simulated machine.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/win32.h"
#include "sim/sim_platform.h"

namespace kv::sim {

// ASCII-only upper-casing: the registry and the FAT file system fold only
// A-Z/a-z in the code pages the machine simulates.
char UpperAscii(char c);
std::string UpperAscii(std::string text);

// Argument text for the operation record: "text" quoted, or NULL.
std::string ArgText(LPCSTR text);
// A number as 0x%X.
std::string HexText(uintptr_t value);

// The predefined root named "HKEY_LOCAL_MACHINE" (or "HKLM"), case
// insensitive. False for any other name.
bool ParseRoot(const std::string& name, HKEY* root);
// "HKEY_LOCAL_MACHINE" etc. for a predefined root, empty otherwise.
const char* RootName(HKEY root);
bool IsPredefinedRoot(HKEY key);

// The components of a registry path split on backslashes. In code page 932
// a backslash byte that is the trail byte of a double-byte character is
// part of the name, as Windows reads the path after converting it.
std::vector<std::string> SplitKeyPath(const std::string& path,
                                      UINT codePage = 1252);
// Whether `c` leads a double-byte character in `codePage` (932 only).
bool IsLeadByteOf(UINT codePage, unsigned char c);
// Whether `text` holds one of the single-byte characters of `set`, a
// double-byte character's trail byte never counting as one.
bool HoldsCharOf(UINT codePage, const std::string& text, const char* set);

// Values of a registry record read and written in place
// (sim/registry_values.cpp). A missing value reads as empty; a missing or
// short REG_DWORD as `deflt`. A write replaces the value with its type.
std::string StringValue(const RegNode& node, const char* name);
DWORD DwordValue(const RegNode& node, const char* name, DWORD deflt = 0);
std::vector<std::string> MultiSzValue(const RegNode& node, const char* name);
void SetValue(RegNode* node, const char* name, DWORD type,
              std::vector<BYTE> data);
void SetString(RegNode* node, const char* name, const std::string& text,
               DWORD type = REG_SZ);
void SetDword(RegNode* node, const char* name, DWORD value);
void SetMultiSz(RegNode* node, const char* name,
                const std::vector<std::string>& list);

// The captured service states (SetInitialServiceState) by name, as
// machine.ini keeps them, and their removal before a saved machine's are
// put back (sim/services.cpp).
std::vector<std::pair<std::string, DWORD>> InitialServiceStates(
    SimPlatform& os);
void ClearInitialServiceStates(SimPlatform& os);

// Whether the spooler is down: on the NT family while its "Spooler" service
// is not running (stopped or still starting), when every spooler call fails
// with RPC_S_SERVER_UNAVAILABLE, which this sets as the last error. Windows
// 9x has no spooler service: never down (sim/services.cpp).
bool SpoolerDown(SimPlatform& os);

// A string argument that is null or empty.
inline bool Empty(LPCSTR s) { return !s || !*s; }

// The printing part of a fresh machine (sim/spooler_records.cpp): the
// "WinPrint" processor, the hardware-profile printers key, on Windows 9x the
// ENUM trees of a PC with one parallel port (BIOS\*PNP0400) and one serial
// port (BIOS\*PNP0500), on Windows 2000 and later the printer and image
// device classes, and the services of the version.
void LayOutPrinting(SimPlatform& os);

// The machine's services of the version (sim/services.cpp): "Spooler" on the
// NT family, and on Windows 2000 the printing companions "LPDSVC" and
// "MacPrint" (installed, demand start, so stopped).
void LayOutServices(SimPlatform& os);

}  // namespace kv::sim
