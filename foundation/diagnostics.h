// Debug trace and the last-error message box.
#pragma once

#include <cstdio>
#include <string>

#include "foundation/context.h"
#include "foundation/handles.h"

namespace kv {

// Formats `format` (printf rules) and hands the text to the context's trace
// sink. Silent when no sink is set, as in the shipped configuration. Texts that
// carry "%x" get the last error as argument from the caller.
template <typename... Args>
void DebugTrace(Context& ctx, const char* format, Args... args) {
  if (!ctx.traceSink) return;
  char text[2048];
  int n;
  if constexpr (sizeof...(Args) == 0) {
    n = std::snprintf(text, sizeof text, "%s", format);
  } else {
    n = std::snprintf(text, sizeof text, format, args...);
  }
  if (n < 0) return;
  ctx.traceSink(text);
}

// True when the spooler record `record` was had; otherwise traces `failure`
// (the record's "... Alloc Fail" text) and is false.
inline bool RecordAllocated(Context& ctx, const GlobalBuffer& record,
                            const char* failure) {
  if (record) return true;
  DebugTrace(ctx, failure);
  return false;
}

// A trace text whose only placeholder is "%x", given the thread's last error.
void DebugTraceLastError(Context& ctx, const char* format);

// A spooler call's outcome as the operations report it: 1 when `succeeded`,
// else 0 with `failure` traced with the last error the call left.
inline int TracedOutcome(Context& ctx, BOOL succeeded, const char* failure) {
  if (!succeeded) DebugTraceLastError(ctx, failure);
  return succeeded ? 1 : 0;
}

// Reads the thread's last error before anything else: the box shows what the
// caller's last call left. `caption` may be null (the system's default title).
// The export's contract: exports/foundation_exports.h (LastErrorMessageBox).
int LastErrorMessageBox(Context& ctx, const char* caption);

}  // namespace kv
