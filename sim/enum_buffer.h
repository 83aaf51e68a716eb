// The buffer layout the spooler's EnumPorts and EnumMonitors fill: fixed
// records from the start of the caller's buffer, their strings packed down
// from its end.
#pragma once

#include <cstring>
#include <string>

#include "foundation/win32.h"

namespace kv::sim {

// The spooler's answers to missing out-parameters and to a size without a
// buffer.
constexpr DWORD kNullReference = 1780;      // RPC_X_NULL_REF_POINTER
constexpr DWORD kInvalidUserBuffer = 1784;  // ERROR_INVALID_USER_BUFFER

// Checks the out-parameters of an enumeration and clears the count; the
// error to fail with, or 0.
inline DWORD EnumArgsError(LPBYTE buffer, DWORD size, LPDWORD needed,
                           LPDWORD returned) {
  if (!needed || !returned) return kNullReference;
  *returned = 0;
  if (!buffer && size) return kInvalidUserBuffer;
  return 0;
}

// Hands out string space from the end of the buffer downwards. The caller
// has checked that records and strings fit.
class PackDown {
 public:
  PackDown(LPBYTE buffer, DWORD size) : end_(buffer + size) {}
  LPSTR Text(const std::string& s) {
    end_ -= s.size() + 1;
    std::memcpy(end_, s.c_str(), s.size() + 1);
    return reinterpret_cast<LPSTR>(end_);
  }

 private:
  LPBYTE end_;
};

}  // namespace kv::sim
