#include "foundation/diagnostics.h"

#include "foundation/handles.h"

namespace kv {

void DebugTraceLastError(Context& ctx, const char* format) {
  if (!ctx.traceSink) return;
  DebugTrace(ctx, format, static_cast<unsigned>(ctx.os.GetLastError()));
}

int LastErrorMessageBox(Context& ctx, const char* caption) {
  const DWORD error = ctx.os.GetLastError();
  LPSTR systemText = nullptr;
  ctx.os.FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
          FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<LPSTR>(&systemText), 0);
  char text[4096];
  std::snprintf(text, sizeof text, "Err:%d [%s]", static_cast<int>(error),
                systemText ? systemText : "");
  if (systemText) ctx.os.LocalFree(systemText);
  return ctx.os.MessageBoxA(nullptr, text, caption, MB_OK);
}

}  // namespace kv
