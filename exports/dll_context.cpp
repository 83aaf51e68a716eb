#include "exports/dll_context.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#ifdef _WIN32
#include "foundation/win32_platform.h"
#endif

namespace kv {
namespace {

// A diagnostic switch: with KVSUP_TRACE_LOG naming a file, the debug trace
// is appended to it. Without it the trace stays silent.
void AttachTraceLog(Context& ctx) {
  const char* path = std::getenv("KVSUP_TRACE_LOG");
  if (!path || !*path) return;
  std::string file = path;
  ctx.traceSink = [file](const std::string& text) {
    if (FILE* f = std::fopen(file.c_str(), "a")) {
      std::fputs(text.c_str(), f);
      std::fclose(f);
    }
  };
}

#ifndef _WIN32
std::unique_ptr<Context>& NativeContext() {
  static std::unique_ptr<Context> ctx;
  return ctx;
}
#endif

}  // namespace

#ifdef _WIN32
Context& DllContext() {
  // Building the context on first use (runtime start-up, getenv) may change
  // the thread's last error, which LastErrorMessageBox must still see as the
  // caller left it.
  const DWORD callersError = ::GetLastError();
  static Win32Platform platform;
  static Context* ctx = [] {
    static Context c(platform);
    AttachTraceLog(c);
    return &c;
  }();
  ::SetLastError(callersError);
  return *ctx;
}
#else
Context& DllContext() {
  auto& ctx = NativeContext();
  if (!ctx) {
    // A test or host that forgot to bind a machine must not see every export
    // quietly answer its failure value: stop the run where it can't be missed.
    std::fputs("no platform bound to the exports\n", stderr);
    std::abort();
  }
  return *ctx;
}

void SetExportPlatform(Platform& platform) {
  auto& ctx = NativeContext();
  ctx.reset();
  ctx = std::make_unique<Context>(platform);
  AttachTraceLog(*ctx);
}

void UnbindExportPlatform() { NativeContext().reset(); }
#endif

}  // namespace kv
