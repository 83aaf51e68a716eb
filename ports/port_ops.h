// Thin operations on the spooler's ports and monitors, the port set-up tool,
// and the USB-port check of an installed model. None keeps state.
#pragma once

#include "foundation/context.h"

namespace kv {

// The number of ports of a level-1 enumeration on the local machine; 0 when
// there are none or the enumeration fails.
int SearchPorts(Context& ctx);

// The name of port `index` of a fresh level-1 enumeration into `out`
// (1024 bytes: longer names are cut to 1023 characters); 1 when copied. 0,
// with `out` untouched, when the enumeration yields nothing or `index` is
// negative or not below the count.
int ListPorts(Context& ctx, char* out, int index);

// AddPortA for `monitor` on the local machine, no parent window: the
// spooler's result (last error cleared first).
int Add_Port(Context& ctx, const char* monitor);

// AddPortA / DeletePortA with `parent`, then the last-error box under the
// caption "AddPort" / "DeletePort" whatever the outcome (the last error is
// cleared before the call, so success shows error 0). The box's result.
int AddPortWithDialog(Context& ctx, HWND parent, const char* monitor);
int DeletePortWithDialog(Context& ctx, HWND parent, const char* port);

// Adds monitor `name` with library `dll` (level 2) for the environment of
// the OS kind. The spooler's result; 0 without asking it for OS kind -1 or
// when the description's memory can't be had.
int Add_Monitor(Context& ctx, const char* name, const char* dll);

// Runs `commandLine` and waits for it to end, counting the "KV-Relay3100
// Port" port keys before and after (a location that can't be opened counts
// as none). Equal counts: `out` untouched, result 1. Otherwise
// GetLastPortName fills `out` (1024 bytes) and gives the result. A command
// that can't start leaves the counts equal.
int LaunchTool(Context& ctx, const char* commandLine, char* out);

// 1 when a local printer whose driver is "<Product> <ModelN>" of `sii` uses
// a USB port (on XP and later also an LPT port); the last such printer's port
// goes to `portOut` (256 bytes; cut to 255 characters) and the model tried
// last to `modelOut` (256 bytes). 0 otherwise, `portOut` untouched.
int CheckUSBPort(Context& ctx, const char* sii, char* portOut, char* modelOut);

}  // namespace kv
