// Registry helpers shared by the port-record operations: the monitors' key
// locations, opening or creating a key the way every record is written, and
// the typed value writes whose results the records do not check.
#pragma once

#include <string>

#include "foundation/handles.h"

namespace kv {

// The path buffer every record's key path was built in (with terminator).
constexpr size_t kPortKeyPathSize = 260;
// Longest registry key name component.
constexpr size_t kMaxKeyNameLength = 255;

constexpr const char* kMonitorsKey =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";

// True when `prefix` + `name` (+ `suffix`) fits the 260-byte path buffer and
// `name` is not empty (an empty name would address the monitor's Ports key
// itself).
inline bool PortKeyFits(const char* prefix, const char* name,
                        const char* suffix = "") {
  const size_t n = std::char_traits<char>::length(name);
  return n > 0 && std::char_traits<char>::length(prefix) + n +
                          std::char_traits<char>::length(suffix) <
                      kPortKeyPathSize;
}

// RegCreateKeyExA under HKEY_LOCAL_MACHINE: non-volatile, full access,
// default security. Returns the Win32 result; `key` owns the key on success.
inline LONG CreatePortKey(Platform& os, const std::string& path, RegKey& key) {
  DWORD disposition = 0;
  return os.RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            key.out(), &disposition);
}

inline LONG OpenPortKey(Platform& os, const std::string& path, RegKey& key) {
  return os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS,
                          key.out());
}

inline void WriteDword(Platform& os, HKEY key, const char* name, DWORD value) {
  BYTE data[4] = {BYTE(value), BYTE(value >> 8), BYTE(value >> 16),
                  BYTE(value >> 24)};
  os.RegSetValueExA(key, name, 0, REG_DWORD, data, 4);
}

// A REG_SZ with its terminator.
inline void WriteString(Platform& os, HKEY key, const char* name,
                        const std::string& value) {
  os.RegSetValueExA(key, name, 0, REG_SZ,
                    reinterpret_cast<const BYTE*>(value.c_str()),
                    static_cast<DWORD>(value.size() + 1));
}

// A REG_SZ created with no data at all (length 0).
inline void WriteEmptyString(Platform& os, HKEY key, const char* name) {
  static const BYTE nothing[1] = {0};
  os.RegSetValueExA(key, name, 0, REG_SZ, nothing, 0);
}

// The number of sub-keys of an open key; 0 when it can't be read.
inline DWORD SubKeyCount(Platform& os, HKEY key) {
  DWORD subKeys = 0;
  if (os.RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr,
                          nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
    return 0;
  return subKeys;
}

}  // namespace kv
