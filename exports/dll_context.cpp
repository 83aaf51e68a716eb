#include "exports/dll_context.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "exports/guard.h"
#include "foundation/traced_platform.h"

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

#ifdef _WIN32
// The call trace's file: KVSUP_TRACE_CALLS as it was when the library was
// loaded, read from the process environment itself (the runtime's copy may
// predate a host's SetEnvironmentVariableA).
std::string TraceFileAtLoad() {
  const DWORD callersError = ::GetLastError();
  std::string path;
  DWORD need = ::GetEnvironmentVariableA("KVSUP_TRACE_CALLS", nullptr, 0);
  if (need > 1) {
    path.resize(need);
    DWORD n = ::GetEnvironmentVariableA("KVSUP_TRACE_CALLS", &path[0], need);
    path.resize(n < need ? n : 0);
  }
  ::SetLastError(callersError);
  return path;
}

const std::string g_traceFile = TraceFileAtLoad();
TracedPlatform* g_tracer = nullptr;  // set once, with the context
#else
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
    Platform* os = &platform;
    if (!g_traceFile.empty()) {
      // A file that cannot be opened leaves the plain platform in place.
      static TracedPlatform traced(platform, g_traceFile);
      if (traced.tracing()) {
        g_tracer = &traced;
        os = &traced;
      }
    }
    static Context c(*os);
    AttachTraceLog(c);
    return &c;
  }();
  ::SetLastError(callersError);
  return *ctx;
}

void NoteExportCall(const char* exportName) noexcept {
  if (g_traceFile.empty()) return;
  DllContext();  // the first export opens the trace
  if (g_tracer) g_tracer->Heading(exportName);
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

void NoteExportCall(const char* exportName) noexcept {
  // A test may bind a traced platform; an unbound one aborts in the body.
  if (auto& ctx = NativeContext()) {
    if (auto* traced = dynamic_cast<TracedPlatform*>(&ctx->os))
      traced->Heading(exportName);
  }
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
