// Windows' own registry paths, spelled out for the tests: a test that
// borrowed the library's constants would move with a misspelt one.
#pragma once

namespace kv::test {

inline constexpr char kWinPrintersKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
inline constexpr char kWinMonitorsKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
inline constexpr char kWinEnvironmentsKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments";
inline constexpr char kWinNt4DriversKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT "
    "x86\\Drivers\\Version-2";
inline constexpr char kWinNt5DriversKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT "
    "x86\\Drivers\\Version-3";
inline constexpr char kWin9xDriversKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows "
    "4.0\\Drivers";
inline constexpr char kWinLprMonitorKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\LPR Port";
inline constexpr char kWinLprPortsKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\LPR Port\\Ports";
inline constexpr char kWinStdTcpIpPortsKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP "
    "Port\\Ports";
inline constexpr char kWinKvTcpIpPortsKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\KV TCP/IP "
    "Port\\Ports";
inline constexpr char kWinRelayPortsKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\KV-Relay3100 "
    "Port\\Ports";
inline constexpr char kWinEnumKey[] = "Enum";
inline constexpr char kWinClassKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class";
inline constexpr char kWinKorvaKey[] = "Software\\KORVA";
inline constexpr char kWinUserDevicesKey[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices";
inline constexpr char kWinUserPrinterPortsKey[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts";
inline constexpr char kWinRunOnceKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

}  // namespace kv::test
