#include "printer/queries.h"

#include <cstring>
#include <string>

#include "foundation/handles.h"
#include "foundation/oskind.h"
#include "foundation/registry.h"
#include "foundation/registry_paths.h"
#include "foundation/text.h"

namespace kv {
namespace {

constexpr DWORD kPortValueSize = 260;
constexpr DWORD kProbeBufferSize = 128;
constexpr char kLpdKey[] = "SOFTWARE\\Microsoft\\LPDSVC\\CurrentVersion";
constexpr DWORD kTitleSize = 512;

// "B" for n = 1, else "B(n)", the base cut so that the whole name fits a
// kPrinterNameSize buffer: a long base must not push the suffix out, or
// every candidate would read the same. The cut keeps whole characters.
std::string Candidate(Platform& os, const std::string& base, int n) {
  const std::string suffix = n == 1 ? "" : "(" + std::to_string(n) + ")";
  const size_t room = kPrinterNameSize - 1 - suffix.size();
  return text::Cut(os, base, room) + suffix;
}

// Whether the printer named `name` exists and, if so, whether its "Port"
// value is exactly `port`.
enum class NameUse { Free, SamePort, Taken };

NameUse CheckName(Context& ctx, const std::string& name,
                  const std::string& port) {
  RegKey key(ctx.os);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, SubKeyPath(kPrintersKey, name),
              key) != ERROR_SUCCESS)
    return NameUse::Free;
  char value[kPortValueSize + 1] = {};
  DWORD size = kPortValueSize;
  const LONG read =
      ctx.os.RegQueryValueExA(key.get(), "Port", nullptr, nullptr,
                              reinterpret_cast<LPBYTE>(value), &size);
  // A missing or unreadable "Port" counts as another port.
  if (read == ERROR_SUCCESS && port == value) return NameUse::SamePort;
  return NameUse::Taken;
}

}  // namespace

int GetPrinterNum(Context& ctx) {
  BYTE probe[kProbeBufferSize] = {};
  DWORD needed = 0;
  DWORD returned = 0;
  ctx.os.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, probe, sizeof probe,
                       &needed, &returned);
  if (needed == 0) return 0;
  GlobalBuffer buffer(ctx.os, needed);
  if (!buffer) return 0;
  returned = 0;
  if (!ctx.os.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.bytes(),
                            needed, &needed, &returned))
    return 0;
  return static_cast<int>(returned);
}

int GetPrinterDriverName(Context& ctx, const char* base, const char* port,
                         char* out, int maxSuffix) {
  const std::string b = base;
  const std::string p = port;
  std::string chosen;
  bool found = false;
  if (GetOSKind(ctx) == OsKind::Other) {
    chosen = Candidate(ctx.os, b, 1);
  } else {
    for (int n = 1; n <= maxSuffix && !found; ++n) {
      chosen = Candidate(ctx.os, b, n);
      found = CheckName(ctx, chosen, p) != NameUse::Taken;
    }
    if (!found) {
      out[0] = '\0';
      return 0;
    }
  }
  std::memcpy(out, chosen.c_str(), chosen.size() + 1);
  return static_cast<int>(chosen.size() + 1);
}

int PrinterCheck(Context& ctx, const char* name) {
  // An empty name would open the print server itself, which is no printer.
  if (name[0] == '\0') return 0;
  PrinterHandle printer(ctx.os);
  return ctx.os.OpenPrinterA(name, printer.out(), nullptr) ? 1 : 0;
}

int Chk_MicroTcpIpEntryNT(Context& ctx) {
  RegKey key(ctx.os);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, kLpdKey, key, KEY_READ) !=
      ERROR_SUCCESS)
    return 0;
  char title[kTitleSize + 1] = {};
  DWORD size = kTitleSize;
  if (ctx.os.RegQueryValueExA(key.get(), "Title", nullptr, nullptr,
                              reinterpret_cast<LPBYTE>(title),
                              &size) != ERROR_SUCCESS)
    return 0;
  return title[0] != '\0' ? 1 : 0;
}

}  // namespace kv
