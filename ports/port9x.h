// The Windows 9x network port exchange of the maker's "KV-Relay3100 Port"
// monitor: adding a port goes together with replacing the monitor, so every
// existing port record is saved and written back, and every printer is parked
// on FILE: until the monitor is back.
#pragma once

#include "foundation/context.h"

namespace kv {

// Works in ctx.savedPorts (each port key read whole: the eight values of
// the record, then any others the monitor keeps, each with its type; keys
// below a port follow it, named "port\\sub") and ctx.movedPrinters (each
// printer parked on FILE: with the port it had). Both are emptied first on
// every call, refused or not, so that StdTcpIpPortSet9x_After never moves an
// older call's printers. After a failed exchange ctx.movedPrinters holds the
// printers that could not be put back. Strings written back as REG_SZ end at
// their first terminator.
// The export's contract: exports/ports_exports.h (StdTcpIpPortSet9x).
int StdTcpIpPortSet9x(Context& ctx, HWND window, const char* port,
                      const char* host, const char* sii);

// Moves the printers of ctx.movedPrinters back, each tried again when a call
// fails; the table is kept.
// The export's contract: exports/ports_exports.h (StdTcpIpPortSet9x_After).
int StdTcpIpPortSet9x_After(Context& ctx);

// Deletes the monitor "Lmonn" of [Files.Com] in `sii` for the environment of
// the OS kind. The spooler's result; 0 for OS kind -1. Traces
// "DeleteMonitor Fail ErrMsg[0x%x]\n" on failure.
int DeletePrinterMonitor(Context& ctx, const char* sii);

}  // namespace kv
