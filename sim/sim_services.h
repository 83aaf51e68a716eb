// Test controls of the simulated service manager (sim/services.cpp).
//
// The service database is the registry, as on Windows: every key under
// HKLM\SYSTEM\CurrentControlSet\Services with a "Type" value is a service.
// What the registry does not hold (the current state, a pending deletion in
// progress, hooks) lives in the machine's "services" extension. A service
// the manager has not touched yet is in the state captured with its machine
// (SetInitialServiceState); without one it runs when its start type is boot,
// system or automatic, and is stopped otherwise.
//
// Pending states advance with the virtual clock: a started Win32 service is
// start-pending for its start time, then running; a stopped one is
// stop-pending for its stop time, then stopped. Kernel drivers start and stop
// at once, as their DriverEntry and unload run inside the call.
#pragma once

#include <string>
#include <vector>

#include "sim/sim_platform.h"

#ifndef SERVICE_PAUSED
#define SERVICE_PAUSED 7  // the last of the service states
#endif

namespace kv::sim {

constexpr const char* kServicesPath = "SYSTEM\\CurrentControlSet\\Services";

// Writes the registry record of a service ("Type", "Start", "ErrorControl",
// "ImagePath", "DisplayName") as the NT family's service manager does.
void DefineService(SimPlatform& os, const std::string& name,
                   const std::string& display, DWORD type, DWORD start,
                   const std::string& imagePath);

// The current state of `name` (SERVICE_STOPPED ... SERVICE_RUNNING), or 0
// when there is no such service.
DWORD ServiceCurrentState(SimPlatform& os, const std::string& name);

// Puts `name` into `state` at once (a test's starting point).
void SetServiceState(SimPlatform& os, const std::string& name, DWORD state);

// The state (SERVICE_STOPPED ... SERVICE_PAUSED; others are ignored) `name`
// was found in when its machine was captured: every run of the machine
// starts the service there rather than where its start type would, and a
// service already touched in this run is put there at once. Saved with the
// machine (machine.ini, [services]). Gone with the service, and a service
// created anew under the name starts as new services do.
void SetInitialServiceState(SimPlatform& os, const std::string& name,
                            DWORD state);

// Makes `name` stick in pending `state` (start- or stop-pending) with wait
// hint `waitHint` until released with ReleaseService; its check point keeps
// counting.
void HoldServicePending(SimPlatform& os, const std::string& name, DWORD state,
                        DWORD waitHint);
void ReleaseService(SimPlatform& os, const std::string& name);

// Makes the next StartServiceA of `name` fail with `error`.
void FailServiceStart(SimPlatform& os, const std::string& name, DWORD error);

// How long a Win32 service of this machine takes to start and to stop (the
// virtual milliseconds it spends in each pending state), and the wait hint
// it reports meanwhile.
void SetServiceTiming(SimPlatform& os, const std::string& name, DWORD startMs,
                      DWORD stopMs, DWORD waitHint = 3000);

// The services started through StartServiceA, in order (names as stored).
std::vector<std::string> StartedServices(SimPlatform& os);

// Whether `name` is marked for deletion and still waits for its last handle.
bool IsServiceMarkedForDelete(SimPlatform& os, const std::string& name);

}  // namespace kv::sim
