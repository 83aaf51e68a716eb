// Windows 9x Plug-and-Play device entries of the printer.
#pragma once

#include "foundation/context.h"

namespace kv {

// For every parallel port ("*PNP04..."/"*NEC14..." devices) under
// HKLM\ENUM\ACPI, \BIOS and \ROOT, writes the printer instance
// "Enum\<hardwareId>\<enum>&<device>&<instance>" with its six values. 1 when
// the ROOT pass completed, 0 when it stopped early or `hardwareId` is not a
// path of key names (an empty part, a control character: nothing written).
int WriteLptDeviceEntries9x(Context& ctx, const char* description,
                            const char* hardwareId);

// Writes the USB printer instance under ENUM\USBPRINT for the USB id of the
// setup file `setupDir`\`file`, when Enum\USB\<id> exists; nothing when
// "USBID", "Product", "Model1" or "DevID" of [Files.9x] is empty, or its
// description (Product and Model1) or its instance key name (port, USB id,
// instance) is not a single key name. Always 1.
int WriteUsbDeviceEntry9x(Context& ctx, const char* port, const char* setupDir,
                          const char* file);

}  // namespace kv
