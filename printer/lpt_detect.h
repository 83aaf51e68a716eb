// Whether a parallel port LPT1, LPT2 or LPT3 exists: from the hardware map
// on the NT family, from the BIOS data area on Windows 9x.
#pragma once

#include "foundation/context.h"

namespace kv {

// The export's contract: exports/query_exports.h (ToDetectLPT).
int ToDetectLPT(Context& ctx, const char* portName);

// Port index n (0 for LPT1). 0 when absent; on NT 4.0 the port's base I/O
// address from the loaded parallel driver's raw resources; on later NT
// versions 1. Reads HKLM\HARDWARE\DEVICEMAP\PARALLEL PORTS, whose values
// \Device\Parallel0..2 name the DOS device (\DosDevices\LPTn) they map to.
WORD DetectNTParallelPort(Context& ctx, int n);

}  // namespace kv
