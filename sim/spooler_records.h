// Helpers shared by the files of the simulated spooler: its environments,
// folders and registry records (sim/spooler_records.cpp). The records live
// where Windows keeps them; see sim/sim_printers.h.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "sim/sim_internal.h"
#include "sim/sim_printers.h"

namespace kv::sim {

inline constexpr char kNtEnv[] = "Windows NT x86";
inline constexpr char k9xEnv[] = "Windows 4.0";
inline constexpr char kMonitorsPath[] =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";

inline std::string Str(LPCSTR s) { return s ? s : ""; }

// The environment of the machine's own drivers and processors.
const char* OwnEnvironment(const SimPlatform& os);

// The environment an argument names (null: the machine's own); null, with
// ERROR_INVALID_ENVIRONMENT set, when the machine does not serve it.
const char* ServedEnvironment(SimPlatform& os, LPCSTR env);

// Only the local machine is simulated: false, with ERROR_INVALID_NAME set,
// for a call naming a server.
bool IsLocalServer(SimPlatform& os, LPCSTR server);

// The driver version the machine's spooler files a driver of `env` under.
DWORD DriverVersion(const SimPlatform& os, const std::string& env);

// Where the installed files of a driver of `env` live.
std::string VersionDirectory(const SimPlatform& os, const std::string& env);

// The registry paths of the drivers and the print processors of `env`.
std::string DriversKeyPath(const SimPlatform& os, const std::string& env);
std::string ProcessorsKeyPath(const std::string& env);

// The record of driver `name` of `env`, or null.
RegNode* DriverKey(const SimPlatform& os, const std::string& env,
                   const std::string& name);

// The driver a printer of this machine can use, in the machine's own
// environment (the NT family accepts its older driver version too).
RegNode* UsableDriver(const SimPlatform& os, const std::string& name);

// The names of the installed printers, in registry order.
std::vector<std::string> PrinterNames(const SimPlatform& os);

// The host path of a Windows path (empty when it is not on C:), and whether
// it names a file.
std::string HostOf(const SimPlatform& os, const std::string& winPath);
bool FileExists(const SimPlatform& os, const std::string& winPath);
bool IsPlainFileName(const std::string& name, UINT codePage);

// The machine's open printer handles.
struct PrinterHandles : SimPlatform::Extension {
  struct Handle {
    std::string printer;  // empty: a handle of the print server
    bool deleted = false;
  };
  std::map<uintptr_t, Handle> handles;
};
PrinterHandles& Handles(SimPlatform& os);

}  // namespace kv::sim

namespace kv::sim {

// The entries Windows keeps beside a printer's key: "name=<field>,<port>" in
// [Devices] and "name=<field>,<port>,15,45" in [PrinterPorts], the field
// being "winspool" on the NT family (in the user's registry) and the
// driver's file stem on Windows 9x (in win.ini). `driverFile` is the
// driver's "Driver" value. Written through the registry nodes and the
// profile call directly: the caller's record is the spooler's business.
void WriteDeviceEntries(SimPlatform& os, const std::string& printer,
                        const std::string& driverFile, const std::string& port);
// Removes both entries of `printer`.
void RemoveDeviceEntries(SimPlatform& os, const std::string& printer);

}  // namespace kv::sim
