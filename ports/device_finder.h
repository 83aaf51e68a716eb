// The device-finder record: filled by a component outside the library through
// the address DF_GetPoint hands out, read by the installer script through the
// getters. The library itself never writes it.
#pragma once

#include "foundation/context.h"

namespace kv {

// Each getter copies its field into `out` (at least the field's size) and
// returns `out`. A field the filling component left without a terminator is
// cut to its size less one, so nothing past the field is read.
char* DeviceFinderAddress(Context& ctx, char* out);      // 128 bytes
char* DeviceFinderModelName(Context& ctx, char* out);    // 256 bytes
char* DeviceFinderName(Context& ctx, char* out);         // 256 bytes
char* DeviceFinderDescription(Context& ctx, char* out);  // 256 bytes
char* DeviceFinderLocation(Context& ctx, char* out);     // 256 bytes

// "XX:XX:XX:XX:XX:XX" (upper-case hex, record order) into `out` (18 bytes);
// returns 17.
int DeviceFinderMacAddress(Context& ctx, char* out);

// Splits `source` (cut to 1023 characters) at commas into the four outputs
// in order: a field stops at the next comma or the end; an empty field (the
// position on a comma or at the end) leaves this and every later output
// empty, and the text after the fourth field is ignored. Null outputs are
// skipped. Each output needs room for the longest field (1024 bytes covers
// any source). Returns 1.
int SplitFourFields(const char* source, char* out1, char* out2, char* out3,
                    char* out4);

}  // namespace kv
