// The buffer layouts the simulated spooler fills: fixed records from the
// start of the caller's buffer, their strings packed down from its end
// (EnumPortsA, EnumMonitorsA) or up after the records (the printer and
// driver queries).
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "foundation/win32.h"
#include "sim/sim_internal.h"

namespace kv::sim {

// The spooler's answers to missing out-parameters and to a size without a
// buffer.
constexpr DWORD kNullReference = 1780;      // RPC_X_NULL_REF_POINTER
constexpr DWORD kInvalidUserBuffer = 1784;  // ERROR_INVALID_USER_BUFFER

// The record text of an enumeration call's arguments.
inline std::string EnumCallArgs(LPCSTR server, DWORD level, DWORD size) {
  return ArgText(server) + ", " + std::to_string(level) + ", " +
         std::to_string(size);
}

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

// Packs records followed by their strings and blobs. Run once without a
// buffer to measure, then again to write.
class Packer {
 public:
  Packer(LPBYTE base, size_t fixed) : base_(base), pos_(fixed) {}
  char* Text(const std::string& s) {
    const size_t at = pos_;
    pos_ += s.size() + 1;
    if (!base_) return nullptr;
    std::memcpy(base_ + at, s.c_str(), s.size() + 1);
    return reinterpret_cast<char*>(base_ + at);
  }
  // A list of zero-terminated texts ending in an empty one.
  char* List(const std::vector<std::string>& items) {
    const size_t at = pos_;
    for (const auto& s : items) Text(s);
    Text("");
    return base_ ? reinterpret_cast<char*>(base_ + at) : nullptr;
  }
  BYTE* Blob(const std::vector<BYTE>& b) {
    if (b.empty()) return nullptr;
    pos_ = (pos_ + 7) & ~size_t(7);
    const size_t at = pos_;
    pos_ += b.size();
    if (!base_) return nullptr;
    std::memcpy(base_ + at, b.data(), b.size());
    return base_ + at;
  }
  size_t size() const { return pos_; }

 private:
  LPBYTE base_;
  size_t pos_;
};

// Measures with `fill(nullptr packer...)`, then writes when the buffer is
// large enough. `fill(packer, index, write)` fills record `index`.
template <typename Record, typename Fill>
bool PackRecords(size_t count, LPBYTE buffer, DWORD size, LPDWORD needed,
                 DWORD* lastError, Fill fill) {
  const size_t fixed = count * sizeof(Record);
  Packer measure(nullptr, fixed);
  Record scratch;
  for (size_t i = 0; i < count; ++i) fill(measure, scratch, i);
  const size_t total = (measure.size() + 3) & ~size_t(3);
  if (needed) *needed = static_cast<DWORD>(total);
  if (!buffer || size < total) {
    *lastError = ERROR_INSUFFICIENT_BUFFER;
    return false;
  }
  std::memset(buffer, 0, total);
  Packer write(buffer, fixed);
  for (size_t i = 0; i < count; ++i) {
    Record r{};
    fill(write, r, i);
    std::memcpy(buffer + i * sizeof(Record), &r, sizeof(Record));
  }
  return true;
}

}  // namespace kv::sim
