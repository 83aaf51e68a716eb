// The uninstaller's two entries: the whole removal of what installation
// registered with Windows, and the end of removal (print services back, the
// 9x default printer repaired, files in use handed to the next start of
// Windows with the reboot question).
#pragma once

#include "foundation/context.h"

namespace kv {

// Fonts, the batch head, the three model sets, scanner data (not on NT
// 4.0), TWAIN files, then the print services stopped and started again.
// Nothing at all on an unknown Windows (OS kind -1).
void UninstInitialize(Context& ctx);

// NT family: starts "spooler", "LPDSVC", "MacPrint" when stopped; Windows
// 9x: RepairDefaultPrinter9x. Then hands over the batch, which asks the
// reboot question when files wait for the restart. The family is the OS
// kind's, as everywhere: on an unknown Windows (or an unreadable version
// record) it does nothing at all.
void UninstUnInitialize(Context& ctx);

// Windows 9x: deletes the key named by the process-wide driver name from
// [Devices] of win.ini; then, when the default printer ("device" of
// [windows]) names a printer no longer in [Devices], makes the first printer
// left the default, or deletes "device" when none is left.
void RepairDefaultPrinter9x(Context& ctx);

// Ends a removal: when the batch exists, hands it to the next start of
// Windows (HandBatchToNextStart) and asks the reboot question (AskReboot).
void HandOverBatch(Context& ctx);

}  // namespace kv
