// Thin operations on the spooler's ports and monitors, the port set-up tool,
// and the USB-port check of an installed model. None keeps state.
#pragma once

#include "foundation/context.h"

namespace kv {

// The export's contract: exports/ports_exports.h (SearchPorts).
int SearchPorts(Context& ctx);

// `out` (kPortNameOutSize bytes) must not be null.
// The export's contract: exports/ports_exports.h (ListPorts).
int ListPorts(Context& ctx, char* out, int index);

// 1 or 0.
// The export's contract: exports/ports_exports.h (Add_Port).
int Add_Port(Context& ctx, const char* monitor);

// The box is LastErrorMessageBox's.
// The export's contract: exports/ports_exports.h (WinSub_AddPort,
// WinSub_DeletePort).
int AddPortWithDialog(Context& ctx, HWND parent, const char* monitor);
int DeletePortWithDialog(Context& ctx, HWND parent, const char* port);

// A level-2 MONITOR_INFO_2 record; 1 or 0, also 0 without asking the spooler
// when the record can't be allocated.
// The export's contract: exports/ports_exports.h (Add_Monitor).
int Add_Monitor(Context& ctx, const char* name, const char* dll);

// `out` (kPortNameOutSize bytes) must not be null. The port keys are counted
// with CountPortKeys (a location that can't be opened has none); when the
// count changed, GetLastPortName fills `out` and gives the result.
// The export's contract: exports/ports_exports.h (LaunchTool).
int LaunchTool(Context& ctx, const char* commandLine, char* out);

// `portOut` and `modelOut` (256 bytes each) must not be null; `portOut` is
// left untouched when the result is 0. At most 4096 models are tried.
// The export's contract: exports/ports_exports.h (CheckUSBPort).
int CheckUSBPort(Context& ctx, const char* sii, char* portOut, char* modelOut);

}  // namespace kv
