// The registry locations the library reads, writes and removes, each named
// once and spelled as Windows spells it. The registry matches key names
// without regard to case, but one spelling keeps traces, boxes and searches
// of the source consistent.
#pragma once

// Literal pieces, joined at compile time; not used outside this header.
#define KV_CONTROL_KEY "SYSTEM\\CurrentControlSet\\Control"
#define KV_PRINT_KEY KV_CONTROL_KEY "\\Print"
#define KV_MONITORS_KEY KV_PRINT_KEY "\\Monitors"

namespace kv {

// The spooler's trees (HKEY_LOCAL_MACHINE; Windows 9x keeps the printers'
// hardware-profile keys under the same path in HKEY_CURRENT_CONFIG).
constexpr char kPrintersKey[] = KV_PRINT_KEY "\\Printers";
constexpr char kMonitorsKey[] = KV_MONITORS_KEY;
constexpr char kEnvironmentsKey[] = KV_PRINT_KEY "\\Environments";

// The port monitors whose records the library writes: the monitor's key and
// the location of its port keys (a port key's name is the port's name).
constexpr char kLprMonitorKey[] = KV_MONITORS_KEY "\\LPR Port";
constexpr char kLprPortsKey[] = KV_MONITORS_KEY "\\LPR Port\\Ports";
constexpr char kStdTcpIpPortsKey[] =
    KV_MONITORS_KEY "\\Standard TCP/IP Port\\Ports";
constexpr char kKvTcpIpPortsKey[] = KV_MONITORS_KEY "\\KV TCP/IP Port\\Ports";
constexpr char kRelayPortsKey[] = KV_MONITORS_KEY "\\KV-Relay3100 Port\\Ports";

// Plug-and-Play: the device tree (Windows 9x) and the device classes.
constexpr char kEnumKey[] = "Enum";
constexpr char kClassKey[] = KV_CONTROL_KEY "\\Class";

// Commands the next start of Windows runs once.
constexpr char kRunOnceKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

}  // namespace kv

#undef KV_MONITORS_KEY
#undef KV_PRINT_KEY
#undef KV_CONTROL_KEY
