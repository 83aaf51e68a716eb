// Thread handles of the simulated machine (sim/threads.cpp), for the kernel
// handle calls other areas answer: CloseHandle and WaitForSingleObject.
#pragma once

#include "sim/sim_platform.h"

namespace kv::sim {

// Closes `handle` when it is a handle of a thread started by CreateThread;
// false when it is not one (nothing changes then).
bool CloseThreadHandle(SimPlatform& os, HANDLE handle);

// When `handle` is a thread handle of CreateThread: waits (on the virtual
// clock, letting the other threads run) until the thread has ended or
// `milliseconds` have passed, stores WAIT_OBJECT_0 or WAIT_TIMEOUT in
// `result` and answers true. False when it is not such a handle.
bool WaitForThread(SimPlatform& os, HANDLE handle, DWORD milliseconds,
                   DWORD* result);

}  // namespace kv::sim
