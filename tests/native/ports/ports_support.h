// Helpers of the port-configuration tests: registry reads of records, the
// order values were written in, monitors and printers put on the machine.
#pragma once

#include <string>
#include <vector>

#include "sim/sim_platform.h"

namespace kv::test {

constexpr const char* kMonitorsPath =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";

// The value `name` of HKLM\`path`, or null.
inline const sim::RegValue* FindValue(sim::SimPlatform& os,
                                      const std::string& path,
                                      const std::string& name) {
  sim::RegNode* key = os.FindKey(HKEY_LOCAL_MACHINE, path);
  if (!key) return nullptr;
  auto it = key->values.find(name);
  return it == key->values.end() ? nullptr : &it->second;
}

inline std::vector<BYTE> Dword(DWORD v) {
  return {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
}
// A string's bytes with the terminator, padded with zeros to `size`.
inline std::vector<BYTE> Sz(const std::string& s, size_t size = 0) {
  std::vector<BYTE> b(s.begin(), s.end());
  b.push_back(0);
  if (b.size() < size) b.resize(size, 0);
  return b;
}

// The value names of the RegSetValueExA calls recorded so far whose key
// path ends with `keySuffix`, in order.
inline std::vector<std::string> ValuesWritten(sim::SimPlatform& os,
                                              const std::string& keySuffix) {
  std::vector<std::string> names;
  for (const auto& line : os.operations()) {
    if (line.rfind("RegSetValueExA(", 0) != 0) continue;
    const size_t quote = line.find(", \"");
    if (quote == std::string::npos) continue;
    const std::string key = line.substr(15, quote - 15);
    if (key.size() < keySuffix.size() ||
        !sim::EqualNoCase(key.substr(key.size() - keySuffix.size()), keySuffix))
      continue;
    const size_t end = line.find('"', quote + 3);
    names.push_back(line.substr(quote + 3, end - quote - 3));
  }
  return names;
}

// A monitor as the spooler registers it (key with "Driver"), without
// needing its DLL on the machine.
inline void InstallMonitorKey(sim::SimPlatform& os, const std::string& name) {
  sim::RegNode* node =
      os.CreateKeyPath(HKEY_LOCAL_MACHINE, std::string(kMonitorsPath) + name);
  sim::RegValue driver;
  driver.name = "Driver";
  driver.type = REG_SZ;
  driver.data = Sz("kvmon.dll");
  node->values["Driver"] = driver;
}

// A port key of a network monitor, with string values.
inline void AddPortKey(sim::SimPlatform& os, const std::string& monitor,
                       const std::string& port) {
  os.CreateKeyPath(HKEY_LOCAL_MACHINE,
                   std::string(kMonitorsPath) + monitor + "\\Ports\\" + port);
}

inline void PutValue(sim::SimPlatform& os, const std::string& path,
                     const std::string& name, DWORD type,
                     std::vector<BYTE> data) {
  sim::RegNode* key = os.CreateKeyPath(HKEY_LOCAL_MACHINE, path);
  sim::RegValue v;
  v.name = name;
  v.type = type;
  v.data = std::move(data);
  key->values[name] = v;
}

// A printer record as the spooler keeps it (no driver, so that moving it
// between ports needs nothing else).
inline void AddPrinterRecord(sim::SimPlatform& os, const std::string& name,
                             const std::string& port,
                             const std::string& driver = "") {
  const std::string path =
      "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" + name;
  PutValue(os, path, "Name", REG_SZ, Sz(name));
  PutValue(os, path, "Port", REG_SZ, Sz(port));
  PutValue(os, path, "Printer Driver", REG_SZ, Sz(driver));
}

inline std::string PrinterPort(sim::SimPlatform& os, const std::string& name) {
  const sim::RegValue* v = FindValue(
      os, "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" + name,
      "Port");
  return v ? std::string(reinterpret_cast<const char*>(v->data.data())) : "";
}

// What a caller could see of the machine: the registry (the spooler's
// records with it), win.ini and the spooler's port list.
inline std::string MachineState(sim::SimPlatform& os) {
  char dir[MAX_PATH] = {};
  os.GetWindowsDirectoryA(dir, sizeof dir);
  std::string winIni;
  os.ReadTextFile(std::string(dir) + "\\win.ini", &winIni);
  std::string ports;
  DWORD needed = 0, count = 0;
  os.EnumPortsA(nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<DWORD> buffer(needed / 4 + 1);
  if (os.EnumPortsA(nullptr, 1, reinterpret_cast<LPBYTE>(buffer.data()), needed,
                    &needed, &count))
    for (DWORD i = 0; i < count; ++i)
      ports += reinterpret_cast<PORT_INFO_1A*>(buffer.data())[i].pName +
               std::string("\n");
  return os.ExportRegistry() + "\n[win.ini]\n" + winIni + "\n[ports]\n" + ports;
}

// The names no writer may take: every kind of control character, as a
// name's first, middle or last character.
inline std::vector<std::string> ControlCharacterNames() {
  return {std::string("\x01Port"),
          "Po\trt",
          "Port\n[windows]",
          "Port\r",
          "P\x1f",
          "Port\x7f"};
}

}  // namespace kv::test
