// Registry records of network ports written directly under a port monitor's
// key, without the spooler: the "Standard TCP/IP Port" monitor's and the
// maker's "KV TCP/IP Port" monitor's.
#pragma once

#include "foundation/context.h"

namespace kv {

// Opens or creates HKLM\<monitor>\Ports\<port> and writes the Standard TCP/IP
// record (LPR protocol, queue "lp", port 515) with `ip` as "IPAddress"; values
// already there and not in the record are left alone. A backslash in `port`
// makes nested keys. 1 when the key was opened or created; 0 (nothing
// written) when it wasn't, when `port` is empty, or when it is longer than
// the 260-byte key path leaves room for (184 characters). Value writes are
// not checked. The IP address is not checked.
int StdTcpIpPortSet(Context& ctx, const char* port, const char* ip);

// The same for the "KV TCP/IP Port" record (raw port 9100); room for 190
// characters of port name.
int KVPortSet(Context& ctx, const char* port, const char* ip);

}  // namespace kv
