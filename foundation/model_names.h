// The names installation gives what it makes, composed in one place: removal
// looks for exactly these names, so the two sides can't drift apart.
#pragma once

#include <string>

#include "foundation/context.h"

namespace kv {

// "Product" of [Initial] as the model lookup reads it: 19 bytes at most, cut
// like every profile read, before a double-byte character it would halve.
std::string ReadProductName(Context& ctx, const char* file);

// The printer driver's name: the product, one space, the model; cut to the
// process-wide driver name's capacity (127 bytes, whole characters), as it is
// installed.
std::string ComposeDriverName(Platform& os, const std::string& product,
                              const std::string& model);

// Windows 9x: the device key installation writes a USB printer under
// ("Enum\USBPRINT\" + this): the whole "Product" and "Model1" of the set,
// joined. Empty when either is empty or the result is no single key name.
std::string UsbDeviceName9x(Context& ctx, const char* file);

// The image path of the parallel-port driver service: the system directory
// and `driverFile` (relative to it, "drivers\name" as a setup file spells
// it). False when the system directory can't be had.
bool PortDriverImagePath(Context& ctx, const std::string& driverFile,
                         std::string* path);

}  // namespace kv
