// A monitor's port location: the key under which each port has a key of its
// own name, written directly by the record operations and counted around
// the monitors' own dialogs and tools.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>

#include "foundation/names.h"
#include "foundation/registry.h"

namespace kv {

// The path buffer every record's key path was built in (with terminator).
constexpr size_t kPortKeyPathSize = 260;

// True when `location`\`name`(`suffix`) fits the 260-byte path buffer and
// `name` is not empty (an empty name would address the location itself).
inline bool PortKeyFits(const char* location, const char* name,
                        const char* suffix = "") {
  const size_t n = std::char_traits<char>::length(name);
  return n > 0 && std::char_traits<char>::length(location) + 1 + n +
                          std::char_traits<char>::length(suffix) <
                      kPortKeyPathSize;
}

// Whether port `name` can have its own key at `location`, with `suffix` (a
// sub-key below it) appended: a single key name (no backslash, which would
// nest keys another port's exchange then loses, no control character), within
// the path buffer. False with ERROR_INVALID_NAME for a name that can't be a
// key's, ERROR_FILENAME_EXCED_RANGE for one too long for the path.
inline bool CheckPortKeyName(Platform& os, const char* location,
                             const char* name, const char* suffix = "") {
  if (!CheckRegistryKeyName(os, name)) return false;
  if (PortKeyFits(location, name, suffix)) return true;
  os.SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return false;
}

// RegCreateKeyExA of a record's key under HKEY_LOCAL_MACHINE, as CreateKey
// does it; `*created` tells whether the call made the key (and so a failed
// record must take it away again).
inline LONG CreateRecordKey(Platform& os, const std::string& path, RegKey& key,
                            bool* created) {
  DWORD disposition = 0;
  const LONG rc = os.RegCreateKeyExA(
      HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
      KEY_ALL_ACCESS, nullptr, key.out(), &disposition);
  *created = rc == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
  return rc;
}

// One value of a port record, written as WriteDword / WriteString /
// WriteEmptyString write it; the registry's result.
struct RecordValue {
  enum Kind { kDword, kString, kEmptyString } kind;
  const char* name;
  DWORD number;
  const char* text;
};

inline LONG WriteRecordValue(Platform& os, HKEY key, const RecordValue& v) {
  static const BYTE nothing[1] = {0};
  switch (v.kind) {
    case RecordValue::kDword: {
      const BYTE data[4] = {BYTE(v.number), BYTE(v.number >> 8),
                            BYTE(v.number >> 16), BYTE(v.number >> 24)};
      return os.RegSetValueExA(key, v.name, 0, REG_DWORD, data, 4);
    }
    case RecordValue::kString:
      return os.RegSetValueExA(
          key, v.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.text),
          static_cast<DWORD>(std::char_traits<char>::length(v.text) + 1));
    case RecordValue::kEmptyString:
      break;
  }
  return os.RegSetValueExA(key, v.name, 0, REG_SZ, nothing, 0);
}

// Writes `values` in order into `key`, stopping at the first that fails:
// ERROR_SUCCESS or that write's error.
inline LONG WriteRecordValues(Platform& os, HKEY key,
                              std::initializer_list<RecordValue> values) {
  for (const RecordValue& v : values)
    if (const LONG rc = WriteRecordValue(os, key, v); rc != ERROR_SUCCESS)
      return rc;
  return ERROR_SUCCESS;
}

// A record that could not be written whole: the keys the call made are
// taken away again (`paths` deepest first, each with whether it was made),
// and 0 is answered with `error`, the failing call's, as the last error. A
// key that was there before keeps what it had; the values written before
// the failure stay written.
inline int RecordFailed(
    Platform& os, LONG error,
    std::initializer_list<std::pair<const std::string*, bool>> paths) {
  for (const auto& [path, created] : paths)
    if (created) os.RegDeleteKeyA(HKEY_LOCAL_MACHINE, path->c_str());
  os.SetLastError(static_cast<DWORD>(error));
  return 0;
}

// The number of port keys at `location` (under HKEY_LOCAL_MACHINE); a
// location that can't be opened has none.
inline DWORD CountPortKeys(Platform& os, const char* location) {
  RegKey key(os);
  if (OpenKey(os, HKEY_LOCAL_MACHINE, location, key) != ERROR_SUCCESS) return 0;
  return SubKeyCount(os, key.get());
}

}  // namespace kv
