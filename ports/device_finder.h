// The device-finder record: filled by a component outside the library through
// the address DF_GetPoint hands out, read by the installer script through the
// getters. The library itself never writes it.
#pragma once

#include "foundation/context.h"

namespace kv {

// The getters read ctx.deviceFinder into `out`, of the size noted at each;
// a null `out` gets nothing (the MAC address getter then answers 0).
// The export's contract: exports/ports_exports.h (DF_GetAddress and the other
// DF_ getters).
char* DeviceFinderAddress(Context& ctx, char* out);      // 128 bytes
char* DeviceFinderModelName(Context& ctx, char* out);    // 256 bytes
char* DeviceFinderName(Context& ctx, char* out);         // 256 bytes
char* DeviceFinderDescription(Context& ctx, char* out);  // 256 bytes
char* DeviceFinderLocation(Context& ctx, char* out);     // 256 bytes
int DeviceFinderMacAddress(Context& ctx, char* out);     // 18 bytes

// Needs no context. `source` may be null (read as ""); each output needs room
// for the longest field (1024 bytes covers any source).
// The export's contract: exports/ports_exports.h (DF_ListStrtoStr4).
int SplitFourFields(const char* source, char* out1, char* out2, char* out3,
                    char* out4);

}  // namespace kv
