// A monitor's port location: the key under which each port has a key of its
// own name, written directly by the record operations and counted around
// the monitors' own dialogs and tools.
#pragma once

#include <string>

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

// The number of port keys at `location` (under HKEY_LOCAL_MACHINE); a
// location that can't be opened has none.
inline DWORD CountPortKeys(Platform& os, const char* location) {
  RegKey key(os);
  if (OpenKey(os, HKEY_LOCAL_MACHINE, location, key) != ERROR_SUCCESS) return 0;
  return SubKeyCount(os, key.get());
}

}  // namespace kv
