// The registry operations the library makes, each made one way: keys opened
// with full access (unless asked otherwise) and created non-volatile with
// default security, and the typed value writes whose results the records do
// not check (a record is judged by whether its key could be had).
#pragma once

#include <string>

#include "foundation/handles.h"

namespace kv {

// Longest registry key name component.
constexpr size_t kMaxKeyNameLength = 255;

// `parent`\`name`.
inline std::string SubKeyPath(const std::string& parent,
                              const std::string& name) {
  return parent + "\\" + name;
}

// RegOpenKeyExA of `root`\`path`. The Win32 result; `key` owns the key on
// success.
inline LONG OpenKey(Platform& os, HKEY root, const std::string& path,
                    RegKey& key, REGSAM access = KEY_ALL_ACCESS) {
  return os.RegOpenKeyExA(root, path.c_str(), 0, access, key.out());
}

// RegCreateKeyExA of `root`\`path` (opened when it exists): non-volatile,
// full access, default security. The Win32 result; `key` owns the key on
// success.
inline LONG CreateKey(Platform& os, HKEY root, const std::string& path,
                      RegKey& key) {
  DWORD disposition = 0;
  return os.RegCreateKeyExA(root, path.c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            key.out(), &disposition);
}

// A REG_DWORD, stored little-endian as Windows stores it.
inline void WriteDword(Platform& os, HKEY key, const char* name, DWORD value) {
  const BYTE data[4] = {BYTE(value), BYTE(value >> 8), BYTE(value >> 16),
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

// A value of any type written as given (`size` bytes of `data`; `data` may
// be null only when `size` is 0).
inline void WriteBytes(Platform& os, HKEY key, const char* name, DWORD type,
                       const BYTE* data, DWORD size) {
  static const BYTE nothing[1] = {0};
  os.RegSetValueExA(key, name, 0, type, data ? data : nothing, size);
}

// A REG_BINARY.
inline void WriteBinary(Platform& os, HKEY key, const char* name,
                        const BYTE* data, DWORD size) {
  WriteBytes(os, key, name, REG_BINARY, data, size);
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
