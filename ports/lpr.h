// Ports of the Windows "LPR Port" monitor: a record written directly, and a
// port added through the monitor's own dialog whose name is found afterwards.
#pragma once

#include "foundation/context.h"

namespace kv {

// Size of the caller's port-name output buffers.
constexpr size_t kPortNameOutSize = 1024;

// The name limit (187 characters) is what the 260-byte key path leaves for
// the port's key and its "Timeouts" sub-key. Each value write is checked: the
// first that fails ends the record, and so does a "Timeouts" key that can't
// be had (RecordFailed: the keys the call made are taken away again).
// The export's contract: exports/ports_exports.h (StdTcpIpPortSetNt).
int StdTcpIpPortSetNt(Context& ctx, const char* port, const char* server);

// `caption` may be null (the system's default title). `out` (kPortNameOutSize
// bytes) may be null: no name is looked up then. A Ports location that can't
// be opened counts as no ports; the new name is GetLastPortName's.
// The export's contract: exports/ports_exports.h (AddLPD).
int AddLPD(Context& ctx, HWND owner, const char* caption, char* out);

// The name of the last port key in enumeration order (on Windows 9x of the
// "KV-Relay3100 Port" monitor, elsewhere of "LPR Port") into `out` (1024
// bytes; untouched when there are no port keys), then a "TEST" box showing
// `out`. 1 when the location opened; 0 (nothing shown) otherwise.
int GetLastPortName(Context& ctx, char* out);

}  // namespace kv
