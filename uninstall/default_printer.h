// The default printer ("device" of [windows]) after printers were removed:
// kept while it names a printer that remains, otherwise moved to the first
// printer that remains, deleted when none does. The printers that remain
// are the user's [Devices] list: the user's registry key on the NT family,
// win.ini on Windows 9x.
#pragma once

#include <string>
#include <vector>

#include "foundation/context.h"

namespace kv {

// The printers of the user's [Devices] list with their entries ("driver,
// port"), in the list's order. An entry too long to be read whole is left
// out: a cut entry names another driver or port.
struct DeviceEntry {
  std::string printer, entry;
};
std::vector<DeviceEntry> ListUserDevices(Context& ctx, bool nt);

// Whether the default printer line names printer `name` (any case).
bool IsDefaultPrinter(Context& ctx, const char* name);

// Repairs the default printer as above, `removed` (may be null) counting as
// gone whatever the list says. A machine without a default printer is left
// so, unless `removed` is given: then the default was that printer, which
// the spooler may have cleared as it deleted it. True when the "device"
// line was rewritten or deleted.
bool RepairDefaultPrinter(Context& ctx, bool nt, const char* removed);

}  // namespace kv
