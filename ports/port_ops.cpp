#include "ports/port_ops.h"

#include <string>
#include <vector>

#include "foundation/diagnostics.h"
#include "foundation/environment.h"
#include "foundation/handles.h"
#include "foundation/names.h"
#include "foundation/oskind.h"
#include "foundation/registry_paths.h"
#include "foundation/setupinfo.h"
#include "foundation/text.h"
#include "ports/lpr.h"
#include "ports/port_location.h"

namespace kv {
namespace {

// Output buffers of CheckUSBPort.
constexpr size_t kCheckBufferSize = 256;
// Model keys examined at most, whatever "nModelNum" claims.
constexpr int kMaxModels = 4096;

// A level-1 port enumeration into `buffer`; false when it yields nothing.
bool EnumeratePorts(Context& ctx, std::vector<BYTE>& buffer, DWORD& count) {
  DWORD needed = 0;
  count = 0;
  if (ctx.os.EnumPortsA(nullptr, 1, nullptr, 0, &needed, &count) ||
      ctx.os.GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
    return false;
  buffer.assign(needed, 0);
  return ctx.os.EnumPortsA(nullptr, 1, buffer.data(), needed, &needed,
                           &count) != FALSE;
}

bool StartsWithNoCase(Context& ctx, const char* text, const char* prefix) {
  const size_t n = std::char_traits<char>::length(prefix);
  if (std::char_traits<char>::length(text) < n) return false;
  return ctx.os.lstrcmpiA(std::string(text, n).c_str(), prefix) == 0;
}

// Examines every local printer: 1 when one has driver `driver` and a port
// of the accepted kind (the last one's port goes to `portOut`).
int CheckPrinters(Context& ctx, const std::string& driver, char* portOut) {
  DWORD needed = 0, count = 0;
  ctx.os.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed,
                       &count);
  if (needed == 0) return 0;
  GlobalBuffer buffer(ctx.os, needed);
  if (!buffer || !ctx.os.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2,
                                       buffer.bytes(), needed, &needed, &count))
    return 0;
  const bool lptToo = GetOSKind(ctx) == OsKind::XP;
  int found = 0;
  const auto* printers = buffer.as<PRINTER_INFO_2A>();
  for (DWORD i = 0; i < count; ++i) {
    const PRINTER_INFO_2A& p = printers[i];
    if (!p.pDriverName || !p.pPortName ||
        ctx.os.lstrcmpiA(p.pDriverName, driver.c_str()) != 0)
      continue;
    if (StartsWithNoCase(ctx, p.pPortName, "USB") ||
        (lptToo && StartsWithNoCase(ctx, p.pPortName, "LPT"))) {
      text::CopyCut(ctx.os, portOut, kCheckBufferSize, p.pPortName);
      found = 1;
    }
  }
  return found;
}

}  // namespace

int SearchPorts(Context& ctx) {
  std::vector<BYTE> buffer;
  DWORD count = 0;
  return EnumeratePorts(ctx, buffer, count) ? static_cast<int>(count) : 0;
}

int ListPorts(Context& ctx, char* out, int index) {
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (!EnumeratePorts(ctx, buffer, count) || index < 0 ||
      static_cast<DWORD>(index) >= count)
    return 0;
  const auto* ports = reinterpret_cast<const PORT_INFO_1A*>(buffer.data());
  text::CopyCut(ctx.os, out, kPortNameOutSize,
                ports[index].pName ? ports[index].pName : "");
  return 1;
}

int Add_Port(Context& ctx, const char* monitor) {
  if (!CheckSpoolerName(ctx.os, SpoolerObject::Monitor, monitor)) return 0;
  ctx.os.SetLastError(0);
  return ctx.os.AddPortA(nullptr, nullptr, monitor) ? 1 : 0;
}

int AddPortWithDialog(Context& ctx, HWND parent, const char* monitor) {
  if (CheckSpoolerName(ctx.os, SpoolerObject::Monitor, monitor)) {
    ctx.os.SetLastError(0);
    ctx.os.AddPortA(nullptr, parent, monitor);
  }
  return LastErrorMessageBox(ctx, "AddPort");
}

int DeletePortWithDialog(Context& ctx, HWND parent, const char* port) {
  if (CheckSpoolerName(ctx.os, SpoolerObject::Port, port)) {
    ctx.os.SetLastError(0);
    ctx.os.DeletePortA(nullptr, parent, port);
  }
  return LastErrorMessageBox(ctx, "DeletePort");
}

int Add_Monitor(Context& ctx, const char* name, const char* dll) {
  const char* environment = SpoolerEnvironment(GetOSKind(ctx));
  if (!environment || !CheckSpoolerName(ctx.os, SpoolerObject::Monitor, name))
    return 0;
  GlobalBuffer record(ctx.os, sizeof(MONITOR_INFO_2A));
  if (!record) return 0;
  std::string n = name, env = environment, file = dll;
  auto* info = record.as<MONITOR_INFO_2A>();
  info->pName = &n[0];
  info->pEnvironment = &env[0];
  info->pDLLName = &file[0];
  ctx.os.SetLastError(0);
  return ctx.os.AddMonitorA(nullptr, 2, record.bytes()) ? 1 : 0;
}

int LaunchTool(Context& ctx, const char* commandLine, char* out) {
  const DWORD before = CountPortKeys(ctx.os, kRelayPortsKey);
  // CreateProcessA may write into the command line: give it a copy.
  std::vector<char> command(
      commandLine,
      commandLine + std::char_traits<char>::length(commandLine) + 1);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (ctx.os.CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                            nullptr, nullptr, &startup, &info)) {
    KernelHandle process(ctx.os, info.hProcess);
    KernelHandle thread(ctx.os, info.hThread);
    thread.reset();
    ctx.os.WaitForSingleObject(process.get(), INFINITE);
  }
  const DWORD after = CountPortKeys(ctx.os, kRelayPortsKey);
  if (before == after) return 1;
  return GetLastPortName(ctx, out);
}

int CheckUSBPort(Context& ctx, const char* sii, char* portOut, char* modelOut) {
  const int count = ReadSetupInt(ctx, sii, "ModelName", "nModelNum", -1);
  const std::string product =
      ReadSetupString(ctx, sii, "Initial", "Product", 20);
  int result = 0;
  for (int i = 1; i <= kMaxModels; ++i) {
    const std::string key = "Model" + std::to_string(i);
    const std::string model =
        ReadSetupString(ctx, sii, "ModelName", key.c_str(), kCheckBufferSize);
    text::CopyCut(ctx.os, modelOut, kCheckBufferSize, model.c_str());
    result = CheckPrinters(ctx, product + " " + model, portOut);
    if (result == 1 || i >= count) break;
  }
  return result;
}

}  // namespace kv
