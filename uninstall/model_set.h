// Removal of one model set: everything the installation of the models of
// one setup file registered (device setup files, the port monitor's key,
// the parallel-port driver service, each model's printers, driver, monitor
// and device entries) and, last, its driver and scanner files.
#pragma once

#include "foundation/context.h"

namespace kv {

// The sibling library the product installs beside this one, and the
// procedure it offers removal on Windows 2000 and XP:
// int WINAPI fnSetupDiService(LPCSTR model, LPCSTR setupFile).
constexpr char kSiblingLibrary[] = "_kvsup2k.dll";
constexpr char kSiblingProcedure[] = "fnSetupDiService";
using SiblingProcedure = int(WINAPI*)(LPCSTR model, LPCSTR setupFile);

// Removes the model set of `setupFile` (a bare name is found in the Windows
// directory). Runs whether the file exists or not: without it the model
// list is empty, and the service, monitor-key and file steps still run.
// At most kModelLimit models are removed. Each model's driver name is made
// as installation made it (ComposeDriverName); when a printer keeps one of
// the set's drivers, the set's driver files stay as well. True when every
// driver of the set went.
bool RemoveModelSet(Context& ctx, const char* setupFile);

}  // namespace kv
