// Stopping and starting Windows services, and the spooler restart.
//
// Both waits are bounded by kServiceWaitLimitMs of sleeping: a service stuck
// in a pending state ends the wait instead of holding the installer forever.
#pragma once

#include <string>

#include "foundation/context.h"
#include "foundation/oskind.h"

namespace kv {

constexpr DWORD kServiceWaitLimitMs = 60000;

// What QueryServiceConfigA tells of a service, as owned strings.
struct ServiceConfig {
  DWORD type = 0, start = 0, errorControl = 0, tag = 0;
  std::string binaryPath, group, account, display;
  std::string dependencies;  // names, each with its terminator; "" for none
};

// The configuration of the open `service`; false when it can't be read.
bool ReadServiceConfig(Context& ctx, SC_HANDLE service, ServiceConfig* out);

// Stops service `name` and waits until it reports stopped (or the bound).
// A missing service, or a control refused for another reason than "not
// active", ends the operation silently.
void StopServiceAndWait(Context& ctx, const char* name);

// Starts service `name` when it is stopped and waits until it runs (or the
// bound). A running or missing service is left alone.
void StartServiceIfStopped(Context& ctx, const char* name);

// The print services of OS kind `kind` stopped, in this order, with
// StopServiceAndWait: "MacPrint", "LPDSVC", "spooler" on Windows 2000,
// "spooler" on NT 4.0 and XP, none on Windows 9x and other kinds.
void StopPrintServices(Context& ctx, OsKind kind);
// The same services started again in the reverse order, with
// StartServiceIfStopped.
void StartPrintServices(Context& ctx, OsKind kind);

// Stops each service with StopServiceAndWait, then starts them again in
// reverse order with StartServiceIfStopped.
// The export's contract: exports/printer_exports.h (ToRestartPrinterService).
int ToRestartPrinterService(Context& ctx);

}  // namespace kv
