// Every export runs its body through Guarded, so that no C++ exception ever
// reaches the installer script engine: an escaped exception (memory exhausted
// while composing a string) becomes the export's failure result.
//
// Guarded also names the export in the call trace (KVSUP_TRACE_CALLS): the
// default argument is evaluated in the export itself, so its name comes with
// every call and no export body repeats it.
#pragma once

#include <utility>

namespace kv {

// Writes "== <exportName>" to the call trace when it is on; otherwise one
// branch.
void NoteExportCall(const char* exportName) noexcept;

template <typename R, typename F>
R Guarded(R failure, F&& body,
          const char* exportName = __builtin_FUNCTION()) noexcept {
  try {
    NoteExportCall(exportName);
    return std::forward<F>(body)();
  } catch (...) {
    return failure;
  }
}

}  // namespace kv
