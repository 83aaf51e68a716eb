// The Windows 9x network port exchange of the maker's "KV-Relay3100 Port"
// monitor: adding a port goes together with replacing the monitor, so every
// existing port record is saved and written back, and every printer is parked
// on FILE: until the monitor is back.
#pragma once

#include "foundation/context.h"

namespace kv {

// The exchange for a new port `port` with host `host` (parent window
// `window` for the monitor's dialogs; `sii` names the monitor to delete in
// "Lmonn" of [Files.Com]):
//  - a port key named exactly `port` (case-sensitive) exists: only its
//    "HostName" is rewritten; result 0, nothing else changes;
//  - otherwise every port record is saved (ctx.savedPorts), every printer is
//    moved to FILE: (ctx.movedPrinters), the saved ports are deleted through
//    the spooler, the monitor is deleted, the records are written back and
//    the new port's record is written: result 1.
// Each record is written back whole: every value the key held, the
// monitor's own extra values too, with its original type and data; only
// REG_SZ values are rewritten up to their first terminator ("PortName"
// padded to its 24-byte field).
// No location: only the new record is written (result 1). The tables grow
// as needed: no port record or printer is left out for its number or the
// length of its name. Both tables are emptied first on every call, so a
// refused call leaves StdTcpIpPortSet9x_After nothing of an older call to
// move. An empty `port`, or one the registry can't take as a key name (over
// 255 characters in a component), is then refused with 0 (last error
// ERROR_INVALID_NAME) before anything on the machine changes. 0 also when
// the new port's key can't be created.
int StdTcpIpPortSet9x(Context& ctx, HWND window, const char* port,
                      const char* host, const char* sii);

// Puts every printer of ctx.movedPrinters back on its remembered port (a
// printer that can't be opened is skipped). The table is kept. Always 1.
int StdTcpIpPortSet9x_After(Context& ctx);

// Deletes the monitor "Lmonn" of [Files.Com] in `sii` for the environment of
// the OS kind. The spooler's result; 0 for OS kind -1. Traces
// "DeleteMonitor Fail ErrMsg[0x%x]\n" on failure.
int DeletePrinterMonitor(Context& ctx, const char* sii);

}  // namespace kv
