// The simulated spooler's ports. A port belongs to an installed monitor:
// "Local Port" keeps its ports in the machine (the built-in COM, FILE and LPT
// ports and any added to it); Windows' network monitors ("LPR Port",
// "Standard TCP/IP Port", the maker's) keep one key per port under their
// Monitors\<name>\Ports key, so records written straight into the registry
// show as ports, as they do once the spooler has loaded them.
#include <algorithm>
#include <cstring>
#include <deque>

#include "sim/enum_buffer.h"
#include "sim/spooler_records.h"

namespace kv::sim {

namespace {

const char kLocalMonitor[] = "Local Port";

struct PortState : SimPlatform::Extension {
  bool localSeeded = false;
  std::vector<std::string> localPorts;
  std::deque<std::pair<SimPlatform::AddPortAnswer, std::string>> answers;
  std::vector<SimPlatform::PortDialogRecord> dialogs;
};

bool IsMonitor(const RegNode& node) { return node.values.count("Driver") > 0; }

// The record text of AddPortA's and DeletePortA's arguments.
std::string DialogCallArgs(LPCSTR server, HWND window, LPCSTR name) {
  return ArgText(server) + ", " + HexText(reinterpret_cast<uintptr_t>(window)) +
         ", " + ArgText(name);
}

}  // namespace

// The ports of every installed monitor, "Local Port" first (in sorted order,
// as Wine's spooler lists them), then the others in registry order.
static std::vector<std::pair<std::string, std::string>> PortList(
    SimPlatform& os, RegNode* monitors, PortState& state) {
  std::vector<std::pair<std::string, std::string>> list;  // monitor, port
  if (!monitors) return list;
  auto local = monitors->subkeys.find(kLocalMonitor);
  if (local != monitors->subkeys.end() && IsMonitor(*local->second)) {
    std::vector<std::string> names = state.localPorts;
    std::sort(names.begin(), names.end(), CaseLess());
    for (const auto& n : names) list.push_back({kLocalMonitor, n});
  }
  for (const auto& m : monitors->subkeys) {
    if (EqualNoCase(m.first, kLocalMonitor) || !IsMonitor(*m.second)) continue;
    auto ports = m.second->subkeys.find("Ports");
    if (ports == m.second->subkeys.end()) continue;
    for (const auto& p : ports->second->subkeys)
      list.push_back({m.second->name, p.second->name});
  }
  (void)os;
  return list;
}

static PortState& Ports(SimPlatform& os) {
  auto& state = os.extension<PortState>("ports");
  if (!state.localSeeded) {
    state.localSeeded = true;
    state.localPorts = {
        "COM1:", "COM2:", "COM3:", "COM4:", "FILE:", "LPT1:", "LPT2:", "LPT3:"};
  }
  return state;
}

void SimPlatform::QueueAddPortDialog(AddPortAnswer answer,
                                     const std::string& portName) {
  Ports(*this).answers.push_back({answer, portName});
}

const std::vector<SimPlatform::PortDialogRecord>& SimPlatform::portDialogs() {
  return Ports(*this).dialogs;
}

bool SimPlatform::HasPort(const std::string& name) {
  for (const auto& p : PortList(
           *this, FindKey(HKEY_LOCAL_MACHINE, kMonitorsPath), Ports(*this)))
    if (EqualNoCase(p.second, name)) return true;
  return false;
}

BOOL SimPlatform::AddPortA(LPCSTR server, HWND window, LPCSTR monitor) {
  if (Enter("AddPortA", DialogCallArgs(server, window, monitor))) return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  if (!IsLocalServer(*this, server)) return FALSE;
  RegNode* monitors = FindKey(HKEY_LOCAL_MACHINE, kMonitorsPath);
  RegNode* node = nullptr;
  if (monitors && !Empty(monitor)) {
    auto it = monitors->subkeys.find(monitor);
    if (it != monitors->subkeys.end() && IsMonitor(*it->second))
      node = it->second.get();
  }
  // Wine 8 answers an unknown or empty monitor name with ERROR_NOT_SUPPORTED.
  if (!node) {
    lastError_ = ERROR_NOT_SUPPORTED;
    return FALSE;
  }
  PortState& state = Ports(*this);
  state.dialogs.push_back({node->name, window, IsWindowEnabled(window)});
  auto answer = std::make_pair(AddPortAnswer::Cancel, std::string());
  if (!state.answers.empty()) {
    answer = state.answers.front();
    state.answers.pop_front();
  }
  switch (answer.first) {
    case AddPortAnswer::Cancel:
      lastError_ = ERROR_CANCELLED;
      RecordResult("cancelled");
      return FALSE;
    case AddPortAnswer::AddNothing:
      RecordResult("nothing added");
      return TRUE;
    case AddPortAnswer::AddPort:
      break;
  }
  const std::string& name = answer.second;
  if (name.empty() || HoldsCharOf(codePage_, name, "\\")) {
    lastError_ = ERROR_INVALID_NAME;
    return FALSE;
  }
  if (HasPort(name)) {
    lastError_ = ERROR_ALREADY_EXISTS;
    RecordResult("exists");
    return FALSE;
  }
  if (EqualNoCase(node->name, kLocalMonitor)) {
    state.localPorts.push_back(name);
  } else {
    CreateKeyPath(HKEY_LOCAL_MACHINE, std::string(kMonitorsPath) + "\\" +
                                          node->name + "\\Ports\\" + name);
  }
  RecordResult("added " + name);
  return TRUE;
}

BOOL SimPlatform::DeletePortA(LPCSTR server, HWND window, LPCSTR port) {
  if (Enter("DeletePortA", DialogCallArgs(server, window, port))) return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  if (!IsLocalServer(*this, server)) return FALSE;
  RegNode* monitors = FindKey(HKEY_LOCAL_MACHINE, kMonitorsPath);
  PortState& state = Ports(*this);
  std::string owner;
  if (!Empty(port)) {
    for (const auto& p : PortList(*this, monitors, state))
      if (EqualNoCase(p.second, port)) owner = p.first;
  }
  // Wine 8 answers a port no monitor has with ERROR_NOT_SUPPORTED.
  if (owner.empty()) {
    lastError_ = ERROR_NOT_SUPPORTED;
    return FALSE;
  }
  if (EqualNoCase(owner, kLocalMonitor)) {
    auto& l = state.localPorts;
    l.erase(std::remove_if(
                l.begin(), l.end(),
                [&](const std::string& n) { return EqualNoCase(n, port); }),
            l.end());
    return TRUE;
  }
  // The monitor removes the port's key with everything below it.
  RegNode* ports = FindKey(HKEY_LOCAL_MACHINE, std::string(kMonitorsPath) +
                                                   "\\" + owner + "\\Ports");
  RemoveTree(ports, port);
  return TRUE;
}

BOOL SimPlatform::EnumPortsA(LPCSTR server, DWORD level, LPBYTE buffer,
                             DWORD size, LPDWORD needed, LPDWORD returned) {
  if (Enter("EnumPortsA", EnumCallArgs(server, level, size))) return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  if (!IsLocalServer(*this, server)) return FALSE;
  if (level == 2) {  // PORT_INFO_2 is not simulated
    lastError_ = ERROR_CALL_NOT_IMPLEMENTED;
    return FALSE;
  }
  if (level != 1) {
    lastError_ = ERROR_INVALID_LEVEL;
    return FALSE;
  }
  if (DWORD e = EnumArgsError(buffer, size, needed, returned)) {
    lastError_ = e;
    return FALSE;
  }
  const auto list =
      PortList(*this, FindKey(HKEY_LOCAL_MACHINE, kMonitorsPath), Ports(*this));
  size_t total = list.size() * sizeof(PORT_INFO_1A);
  for (const auto& p : list) total += p.second.size() + 1;
  *needed = static_cast<DWORD>(total);
  if (size < total) {
    lastError_ = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  PackDown pack(buffer, size);
  for (size_t i = 0; i < list.size(); ++i) {
    PORT_INFO_1A r{};
    r.pName = pack.Text(list[i].second);
    std::memcpy(buffer + i * sizeof r, &r, sizeof r);
  }
  *returned = static_cast<DWORD>(list.size());
  RecordResult(std::to_string(list.size()) + " ports");
  return TRUE;
}

}  // namespace kv::sim
