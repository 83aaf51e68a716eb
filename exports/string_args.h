// String and buffer arguments at the export boundary, adapted in one place.
// The operations behind the exports take strings that are never null; an
// installer script may pass null for any of them, and it reads as "".
#pragma once

#include <cstddef>

#include "foundation/win32.h"

namespace kv {

inline const char* OrEmpty(LPCSTR s) noexcept { return s ? s : ""; }

// A message-box caption is the exception: null goes through to the system,
// which titles the box with its default ("Error"), as MessageBoxA does.
inline LPCSTR Caption(LPCSTR caption) noexcept { return caption; }

// An output buffer the caller left out: the operation still runs, into a
// buffer of the size it expects that nobody reads.
template <size_t N>
class OutOrScratch {
 public:
  explicit OutOrScratch(LPSTR out) noexcept : out_(out) {}
  char* get() noexcept { return out_ ? out_ : scratch_; }

 private:
  LPSTR out_;
  char scratch_[N] = {};
};

}  // namespace kv
