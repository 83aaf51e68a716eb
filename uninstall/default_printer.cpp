#include "uninstall/default_printer.h"

#include <string>
#include <vector>

#include "foundation/diagnostics.h"
#include "foundation/handles.h"
#include "foundation/registry.h"
#include "foundation/registry_paths.h"
#include "uninstall/removal_guard.h"

namespace kv {

namespace {

constexpr DWORD kDeviceListSize = 5000;
constexpr DWORD kDeviceLineSize = 1024;
constexpr char kWinIni[] = "win.ini";

std::vector<DeviceEntry> ListDevicesNT(Context& ctx) {
  std::vector<DeviceEntry> list;
  RegKey key(ctx.os);
  if (OpenKey(ctx.os, HKEY_CURRENT_USER, kUserDevicesKey, key) != ERROR_SUCCESS)
    return list;
  for (DWORD i = 0;; ++i) {
    char name[2 * kMaxKeyNameLength + 2] = {};
    char data[kDeviceLineSize] = {};
    DWORD nameSize = sizeof name;
    DWORD dataSize = sizeof data - 1;
    DWORD type = 0;
    const LONG r =
        ctx.os.RegEnumValueA(key.get(), i, name, &nameSize, nullptr, &type,
                             reinterpret_cast<BYTE*>(data), &dataSize);
    if (r == ERROR_MORE_DATA) continue;
    if (r != ERROR_SUCCESS) break;
    if (type == REG_SZ && name[0]) list.push_back({name, data});
  }
  return list;
}

std::vector<DeviceEntry> ListDevices9x(Context& ctx) {
  std::vector<DeviceEntry> list;
  std::vector<char> names(kDeviceListSize, '\0');
  const DWORD n = ctx.os.GetPrivateProfileStringA(
      "Devices", nullptr, "", names.data(), kDeviceListSize, kWinIni);
  for (DWORD pos = 0; pos < n && names[pos];) {
    const std::string printer(names.data() + pos);
    pos += static_cast<DWORD>(printer.size()) + 1;
    char value[kDeviceLineSize] = {};
    const DWORD length = ctx.os.GetPrivateProfileStringA(
        "Devices", printer.c_str(), "", value, kDeviceLineSize, kWinIni);
    if (length + 1 < kDeviceLineSize) list.push_back({printer, value});
  }
  return list;
}

bool IsGone(Platform& os, const std::string& printer, const char* removed) {
  return removed && EqualNoCase(os, printer, removed);
}

std::string DefaultPrinterLine(Context& ctx) {
  char line[kDeviceLineSize] = {};
  ctx.os.GetProfileStringA("windows", "device", "", line, sizeof line);
  return line;
}

// The default printer line for a printer of [Devices], as registration
// writes one: on the NT family "<printer>,WINSPOOL,<port>" (every local
// printer's line names the spooler, whatever driver field the entry
// holds), on 9x "<printer>,<entry>".
std::string DefaultLine(bool nt, const DeviceEntry& d) {
  const size_t comma = d.entry.find(',');
  if (nt && comma != std::string::npos)
    return d.printer + ",WINSPOOL" + d.entry.substr(comma);
  return d.printer + "," + d.entry;
}

}  // namespace

bool IsDefaultPrinter(Context& ctx, const char* name) {
  const std::string current = DefaultPrinterLine(ctx);
  return name && !current.empty() &&
         EqualNoCase(ctx.os, current.substr(0, current.find(',')), name);
}

std::vector<DeviceEntry> ListUserDevices(Context& ctx, bool nt) {
  return nt ? ListDevicesNT(ctx) : ListDevices9x(ctx);
}

bool RepairDefaultPrinter(Context& ctx, bool nt, const char* removed) {
  const std::string current = DefaultPrinterLine(ctx);
  if (current.empty() && !removed) return false;
  const std::string printer = current.substr(0, current.find(','));
  const std::vector<DeviceEntry> devices = ListUserDevices(ctx, nt);
  if (!current.empty() && !IsGone(ctx.os, printer, removed))
    for (const DeviceEntry& d : devices)
      if (EqualNoCase(ctx.os, d.printer, printer)) return false;

  for (const DeviceEntry& d : devices) {
    if (IsGone(ctx.os, d.printer, removed) || d.entry.empty()) continue;
    const std::string entry = DefaultLine(nt, d);
    if (entry.size() >= kDeviceLineSize) continue;
    ctx.os.WriteProfileStringA("windows", "device", entry.c_str());
    return true;
  }
  DebugTrace(ctx, "No default printer to set [%s]\n", printer.c_str());
  if (current.empty()) return false;
  ctx.os.WriteProfileStringA("windows", "device", nullptr);
  return true;
}

}  // namespace kv
