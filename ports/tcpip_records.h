// Registry records of network ports written directly under a port monitor's
// key, without the spooler: the "Standard TCP/IP Port" monitor's and the
// maker's "KV TCP/IP Port" monitor's.
#pragma once

#include "foundation/context.h"

namespace kv {

// Each writes its record under HKLM\<monitor's key>\Ports\<port>. The
// name limits (184 / 190 characters) are what the 260-byte key path
// (kPortKeyPathSize) leaves after the monitor's key. `ip` is written as
// given. Each value write is checked: the first that fails ends the record
// (RecordFailed: a key the call made is taken away again).
// The export's contract: exports/ports_exports.h (StdTcpIpPortSet, KVPortSet).
int StdTcpIpPortSet(Context& ctx, const char* port, const char* ip);
int KVPortSet(Context& ctx, const char* port, const char* ip);

}  // namespace kv
