// Test access to the simulated spooler's drivers, print processors and
// printers (sim/spooler_records.cpp, sim/printer_drivers.cpp,
// sim/printers.cpp).
//
// All spooler state lives in the registry where Windows keeps it, so a
// registry export shows it and the library's own registry access sees the
// same records:
// under HKLM\SYSTEM\CurrentControlSet\Control\Print:
//   Printers\<name>                                     printers
//   Environments\<env>\Drivers\Version-<n>\<name>       drivers (NT family)
//   Environments\Windows 4.0\Drivers\<name>             drivers (Windows 9x)
//   Environments\<env>\Print Processors\<name>          print processors
// Open printer handles are the machine's own state.
#pragma once

#include <string>

#include "sim/sim_platform.h"

namespace kv::sim {

constexpr const char* kPrintKeyPath =
    "SYSTEM\\CurrentControlSet\\Control\\Print";
constexpr const char* kPrintersKeyPath =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";

// The spooler's driver directory of `environment` ("Windows NT x86",
// "Windows 4.0"), as GetPrinterDriverDirectoryA names it; empty for an
// environment the machine does not serve.
std::string DriverDirectory(const SimPlatform& os,
                            const std::string& environment);

// The print processor directory of the machine's own environment.
std::string PrintProcessorDirectory(const SimPlatform& os);

// The registry record of printer `name`, or null.
RegNode* PrinterKey(const SimPlatform& os, const std::string& name);

// Number of printer handles still open (a leak shows as non-zero).
size_t OpenPrinterHandles(SimPlatform& os);

}  // namespace kv::sim
