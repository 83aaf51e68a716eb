// The simulated spooler's port monitors. They live where Windows keeps them,
// in HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors\<name>, value
// "Driver" = the monitor's DLL, so a registry export shows them and the
// library's own registry reads of monitor keys see the same state.
#include <algorithm>
#include <cstring>

#include "sim/enum_buffer.h"
#include "sim/file_paths.h"
#include "sim/spooler_records.h"

namespace kv::sim {

namespace {

const DWORD kUnknownPrintMonitor = 3000;  // ERROR_UNKNOWN_PRINT_MONITOR
const DWORD kPrintMonitorInUse = 3008;    // ERROR_PRINT_MONITOR_IN_USE

// Whether a printer prints to one of the monitor's ports (the keys under
// its "Ports"; a printer's "Port" may list several, comma-separated).
bool MonitorInUse(SimPlatform& os, const RegNode& monitor) {
  auto ports = monitor.subkeys.find("Ports");
  if (ports == monitor.subkeys.end()) return false;
  for (const auto& name : PrinterNames(os)) {
    const RegNode* printer = PrinterKey(os, name);
    if (!printer) continue;
    const std::string list = StringValue(*printer, "Port");
    size_t start = 0;
    while (start <= list.size()) {
      const size_t end = std::min(list.find(',', start), list.size());
      if (ports->second->subkeys.count(list.substr(start, end - start)))
        return true;
      start = end + 1;
    }
  }
  return false;
}

}  // namespace

BOOL SimPlatform::AddMonitorA(LPCSTR server, DWORD level, LPBYTE info) {
  const auto* mi = reinterpret_cast<const MONITOR_INFO_2A*>(info);
  std::string args = ArgText(server) + ", " + std::to_string(level);
  if (level == 2 && mi)
    args += ", " + ArgText(mi->pName) + ", " + ArgText(mi->pEnvironment) +
            ", " + ArgText(mi->pDLLName);
  if (Enter("AddMonitorA", args)) return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  if (!IsLocalServer(*this, server)) return FALSE;
  if (level != 2) {
    lastError_ = ERROR_INVALID_LEVEL;
    return FALSE;
  }
  if (!mi || Empty(mi->pName)) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  const char* own = OwnEnvironment(*this);
  if (!mi->pEnvironment || !EqualNoCase(mi->pEnvironment, own)) {
    lastError_ = ERROR_INVALID_ENVIRONMENT;
    return FALSE;
  }
  if (Empty(mi->pDLLName)) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  // Installed means registered: a key with "Driver". A key without it (port
  // records written before the monitor, or left by its deletion) is taken
  // over with its contents, as Wine's spooler does.
  const RegNode* existing = FindKey(
      HKEY_LOCAL_MACHINE, std::string(kMonitorsPath) + "\\" + mi->pName);
  if (existing && existing->values.count("Driver")) {
    lastError_ = ERROR_PRINT_MONITOR_ALREADY_INSTALLED;
    return FALSE;
  }
  // The spooler loads the DLL from the system directory at once; a monitor
  // whose DLL is missing is never added.
  const std::string dll = mi->pDLLName;
  ResolvedPath p = ResolveWinPath(machineDir_,
                                  dll.find_first_of("\\/") == std::string::npos
                                      ? systemDir() + "\\" + dll
                                      : dll,
                                  codePage_);
  if (p.error || KindOf(p.host) != HostKind::File) {
    lastError_ = ERROR_MOD_NOT_FOUND;
    return FALSE;
  }
  RegNode* node = CreateKeyPath(HKEY_LOCAL_MACHINE,
                                std::string(kMonitorsPath) + "\\" + mi->pName);
  if (!node) {
    lastError_ = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  SetString(node, "Driver", dll);
  return TRUE;
}

BOOL SimPlatform::DeleteMonitorA(LPCSTR server, LPCSTR environment,
                                 LPCSTR name) {
  if (Enter("DeleteMonitorA", ArgText(server) + ", " + ArgText(environment) +
                                  ", " + ArgText(name)))
    return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  if (!IsLocalServer(*this, server)) return FALSE;
  // No environment means the machine's own.
  const char* own = OwnEnvironment(*this);
  if (environment && !EqualNoCase(environment, own)) {
    lastError_ = ERROR_INVALID_ENVIRONMENT;
    return FALSE;
  }
  if (Empty(name)) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  // Installed means registered (a key with "Driver"); port records left
  // without their monitor are no monitor.
  RegNode* monitors = FindKey(HKEY_LOCAL_MACHINE, kMonitorsPath);
  auto monitor = monitors ? monitors->subkeys.find(name)
                          : decltype(monitors->subkeys.end())();
  if (!monitors || monitor == monitors->subkeys.end() ||
      !monitor->second->values.count("Driver")) {
    lastError_ = kUnknownPrintMonitor;
    return FALSE;
  }
  if (MonitorInUse(*this, *monitor->second)) {
    lastError_ = kPrintMonitorInUse;
    return FALSE;
  }
  // Removed like RegDeleteKey removes a tree: a handle still open into it
  // sees it deleted.
  RemoveTree(monitors, name);
  return TRUE;
}

BOOL SimPlatform::EnumMonitorsA(LPCSTR server, DWORD level, LPBYTE buffer,
                                DWORD size, LPDWORD needed, LPDWORD returned) {
  if (Enter("EnumMonitorsA", EnumCallArgs(server, level, size))) return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  if (!IsLocalServer(*this, server)) return FALSE;
  if (level != 1 && level != 2) {
    lastError_ = ERROR_INVALID_LEVEL;
    return FALSE;
  }
  if (DWORD e = EnumArgsError(buffer, size, needed, returned)) {
    lastError_ = e;
    return FALSE;
  }
  struct Monitor {
    std::string name, dll;
  };
  std::vector<Monitor> list;
  if (RegNode* monitors = FindKey(HKEY_LOCAL_MACHINE, kMonitorsPath)) {
    for (const auto& m : monitors->subkeys)
      list.push_back({m.second->name, StringValue(*m.second, "Driver")});
  }
  const std::string env = OwnEnvironment(*this);
  const size_t record =
      level == 1 ? sizeof(MONITOR_INFO_1A) : sizeof(MONITOR_INFO_2A);
  size_t total = list.size() * record;
  for (const auto& m : list) {
    total += m.name.size() + 1;
    if (level == 2) total += env.size() + 1 + m.dll.size() + 1;
  }
  *needed = static_cast<DWORD>(total);
  if (size < total) {
    lastError_ = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  PackDown pack(buffer, size);
  for (size_t i = 0; i < list.size(); ++i) {
    if (level == 1) {
      MONITOR_INFO_1A r{};
      r.pName = pack.Text(list[i].name);
      std::memcpy(buffer + i * record, &r, sizeof r);
    } else {
      MONITOR_INFO_2A r{};
      r.pName = pack.Text(list[i].name);
      r.pEnvironment = pack.Text(env);
      r.pDLLName = pack.Text(list[i].dll);
      std::memcpy(buffer + i * record, &r, sizeof r);
    }
  }
  *returned = static_cast<DWORD>(list.size());
  return TRUE;
}

}  // namespace kv::sim
