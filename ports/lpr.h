// Ports of the Windows "LPR Port" monitor: a record written directly, and a
// port added through the monitor's own dialog whose name is found afterwards.
#pragma once

#include "foundation/context.h"

namespace kv {

// Size of the caller's port-name output buffers.
constexpr size_t kPortNameOutSize = 1024;

// Opens or creates HKLM\...\LPR Port\Ports\<port> and its "Timeouts" sub-key
// and writes the LPR record (flags 160, printer "lp", `server`, time-outs 120
// and 300). 1 when both keys were opened or created; 0 otherwise, also for an
// empty port name or one longer than the path leaves room for (187
// characters), in which case nothing is created. Value writes are not checked.
int StdTcpIpPortSetNt(Context& ctx, const char* port, const char* server);

// Lets the user add an LPR port through the monitor's dialog (parent
// `owner`), with the owner disabled throughout and enabled again on every
// path. Shows the port-key count before (caption "1") and after (caption
// "2"); when they differ, GetLastPortName fills `out` (1024 bytes). Without
// the monitor: a box with the monitor key path under `caption`, `out`
// untouched. A missing Ports location counts as no ports. Returns
// EnableWindow's result when re-enabling the owner.
int AddLPD(Context& ctx, HWND owner, const char* caption, char* out);

// The name of the last port key in enumeration order (on Windows 9x of the
// "KV-Relay3100 Port" monitor, elsewhere of "LPR Port") into `out` (1024
// bytes; untouched when there are no port keys), then a "TEST" box showing
// `out`. 1 when the location opened; 0 (nothing shown) otherwise.
int GetLastPortName(Context& ctx, char* out);

}  // namespace kv
