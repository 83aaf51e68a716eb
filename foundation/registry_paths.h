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
// The driver records by environment and driver version: NT 4.0 files its
// drivers as version 2, Windows 2000 and XP as version 3, Windows 9x keeps
// no version level.
constexpr char kNt4DriversKey[] =
    KV_PRINT_KEY "\\Environments\\Windows NT x86\\Drivers\\Version-2";
constexpr char kNt5DriversKey[] =
    KV_PRINT_KEY "\\Environments\\Windows NT x86\\Drivers\\Version-3";
constexpr char k9xDriversKey[] =
    KV_PRINT_KEY "\\Environments\\Windows 4.0\\Drivers";

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

// The maker's per-project printer settings (a project's key, and its "1.0"
// sub-key).
constexpr char kKorvaKey[] = "Software\\KORVA";

// The NT family keeps win.ini's [Devices] and [PrinterPorts] in the user's
// registry (HKEY_CURRENT_USER), one value per printer.
constexpr char kUserDevicesKey[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices";
constexpr char kUserPrinterPortsKey[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts";

// Commands the next start of Windows runs once.
constexpr char kRunOnceKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

}  // namespace kv

#undef KV_MONITORS_KEY
#undef KV_PRINT_KEY
#undef KV_CONTROL_KEY
