// Thread handles of the simulated machine (sim/threads.cpp), for the kernel
// handle calls other areas answer: CloseHandle and WaitForSingleObject.
#pragma once

#include "sim/sim_platform.h"

namespace kv::sim {

// Closes `handle` when it is a handle of a thread started by CreateThread or
// of an event of CreateEventA; false when it is neither (nothing changes).
bool CloseThreadHandle(SimPlatform& os, HANDLE handle);

// When `handle` is a thread handle of CreateThread or an event: waits (on the
// virtual clock, letting the other threads run) until the thread has ended
// or the event is signalled, or `milliseconds` have passed, stores
// WAIT_OBJECT_0 or WAIT_TIMEOUT (WAIT_FAILED for an endless wait on an event
// no other thread could signal) in `result` and answers true. False when it
// is no such handle.
bool WaitForThread(SimPlatform& os, HANDLE handle, DWORD milliseconds,
                   DWORD* result);

}  // namespace kv::sim
