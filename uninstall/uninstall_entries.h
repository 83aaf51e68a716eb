// The uninstaller's two entries: the whole removal of what installation
// registered with Windows, and the end of removal (print services back, the
// 9x default printer repaired, files in use handed to the next start of
// Windows with the reboot question).
#pragma once

#include "foundation/context.h"

namespace kv {

// The uninstall setup files, in the order their model sets are removed; the
// first alone is read for the batch head, scanner data and TWAIN files.
constexpr const char* kUninstallSetupFiles[] = {"vt3eins.sii", "vt3dins.sii",
                                                "vt3hins.sii"};

// Fonts, the batch head, the three model sets, scanner data (not on NT
// 4.0), TWAIN files, then the print services stopped and started again.
void UninstInitialize(Context& ctx);

// NT family: starts "spooler", "LPDSVC", "MacPrint" when stopped; Windows
// 9x: RepairDefaultPrinter9x. Then hands over the batch, which asks the
// reboot question when files wait for the restart.
void UninstUnInitialize(Context& ctx);

// Windows 9x: deletes the key named by the process-wide driver name from
// [Devices] of win.ini; then, when the default printer ("device" of
// [windows]) names a printer no longer in [Devices], makes the first printer
// left the default, or deletes "device" when none is left.
void RepairDefaultPrinter9x(Context& ctx);

}  // namespace kv
