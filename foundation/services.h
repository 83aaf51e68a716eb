// Stopping and starting Windows services, and the spooler restart.
//
// Both waits are bounded by kServiceWaitLimitMs of sleeping: a service stuck
// in a pending state ends the wait instead of holding the installer forever.
#pragma once

#include "foundation/context.h"

namespace kv {

constexpr DWORD kServiceWaitLimitMs = 60000;

// Stops service `name` and waits until it reports stopped (or the bound).
// A missing service, or a control refused for another reason than "not
// active", ends the operation silently.
void StopServiceAndWait(Context& ctx, const char* name);

// Starts service `name` when it is stopped and waits until it runs (or the
// bound). A running or missing service is left alone.
void StartServiceIfStopped(Context& ctx, const char* name);

// Stops each service with StopServiceAndWait, then starts them again in
// reverse order with StartServiceIfStopped.
// The export's contract: exports/printer_exports.h (ToRestartPrinterService).
int ToRestartPrinterService(Context& ctx);

}  // namespace kv
