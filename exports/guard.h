// Every export runs its body through Guarded, so that no C++ exception ever
// reaches the installer script engine: an escaped exception (memory exhausted
// while composing a string) becomes the export's failure result.
#pragma once

#include <utility>

namespace kv {

template <typename R, typename F>
R Guarded(R failure, F&& body) noexcept {
  try {
    return std::forward<F>(body)();
  } catch (...) {
    return failure;
  }
}

}  // namespace kv
