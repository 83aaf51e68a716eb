// Process and thread handles of the simulated machine (sim/processes.cpp),
// for CloseHandle, which the file layer answers for every kernel handle.
#pragma once

#include "sim/sim_platform.h"

namespace kv::sim {

// Closes `handle` when it is a process or thread handle of a started
// program; false when it is not one (nothing changes then).
bool CloseProcessHandle(SimPlatform& os, HANDLE handle);
// Likewise for a process token handle (sim/system.cpp).
bool CloseTokenHandle(SimPlatform& os, HANDLE handle);

}  // namespace kv::sim
