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

// Restarts the spooler (and on Windows 2000 its companions LPDSVC and
// MacPrint) on the NT family; does nothing on Windows 9x. Always 1.
int ToRestartPrinterService(Context& ctx);

}  // namespace kv
