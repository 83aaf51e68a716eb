// Helpers of the removal tests: the batch and the RunOnce values as the
// next start of Windows finds them.
#pragma once

#include <map>
#include <string>

#include "foundation/registry_paths.h"
#include "sim/sim_platform.h"
#include "tests/native/support/windows_keys.h"

namespace kv::test {

struct RunOnceValue {
  DWORD type;
  std::string data;  // every byte written
};

inline std::map<std::string, RunOnceValue> RunOnceValues(sim::SimPlatform& os) {
  std::map<std::string, RunOnceValue> values;
  HKEY key = nullptr;
  if (os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, test::kWinRunOnceKey, 0, KEY_READ,
                       &key))
    return values;
  for (DWORD i = 0;; ++i) {
    char name[256];
    BYTE data[1024];
    DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
    if (os.RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data,
                         &dataSize))
      break;
    values[name] = {type, std::string(reinterpret_cast<char*>(data), dataSize)};
  }
  os.RegCloseKey(key);
  return values;
}

// `text` as a RunOnce value holds it: 255 bytes, zeros after the text.
inline std::string Padded(const std::string& text) {
  return text + std::string(255 - text.size(), '\0');
}

inline std::string Batch(sim::SimPlatform& os) {
  std::string text;
  os.ReadTextFile(os.systemDir() + "\\VT3E.bat", &text);
  return text;
}

}  // namespace kv::test
