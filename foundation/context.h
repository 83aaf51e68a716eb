// Context: the platform plus the process-wide state every operation shares.
//
// The exports layer owns the DLL's one Context; a test makes its own. The
// state is small and unlocked: the installer makes one call at a time. Only
// the timer state word is shared with another thread, hence atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "foundation/platform.h"

namespace kv {

// Capacities of the process-wide values, in bytes including the terminator.
constexpr size_t kDriverNameSize = 128;
constexpr size_t kDeviceIdSize = 128;
constexpr size_t kDependentListSize = 500;
constexpr size_t kPortTableEntries = 128;

// One saved port record of the Windows 9x network port monitor.
struct SavedPort {
  char keyName[36];
  DWORD cmdTimeout;
  DWORD datTimeout;
  char hostName[48];
  DWORD nonRfc;
  DWORD nonSpool;
  char portName[24];
  DWORD portNum;
  DWORD printMode;
};

// A printer moved to FILE: during the Windows 9x port exchange.
struct MovedPrinter {
  char printerName[64];
  char previousPort[48];
};

// The device-finder record, shared by layout with the component that fills
// it. `reserved` is room for whatever that component writes past the
// hardware address.
struct DeviceFinderRecord {
  char address[128];
  char modelName[256];
  char name[256];
  char description[256];
  char location[256];
  BYTE macAddress[6];
  BYTE reserved[1024 - 6];
};
static_assert(sizeof(char[128]) + 4 * 256 == 1152, "MAC address at 1152");

// The timer thread's record; `state` is the word both threads share.
struct TimerRecord {
  std::atomic<int32_t> state{0};
  HWND window = nullptr;
  DWORD commandId = 0;
  LPARAM commandParam = 0;
  int32_t tickMs = 0;
  DWORD threadId = 0;
  HANDLE thread = nullptr;
};

struct Context {
  explicit Context(Platform& platform) : os(platform) {}
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  Platform& os;

  // Set by the model lookup, read by registration and removal.
  char driverName[kDriverNameSize] = {};
  char deviceId[kDeviceIdSize] = {};

  // Zero-terminated names ending in an empty name.
  char dependentFiles[kDependentListSize] = {};
  size_t dependentPos = 0;  // where the next MakeDep writes

  SavedPort savedPorts[kPortTableEntries] = {};
  MovedPrinter movedPrinters[kPortTableEntries] = {};

  DeviceFinderRecord deviceFinder = {};

  TimerRecord timer;

  // Receives each debug-trace text once formatted. Empty: the trace is silent,
  // as in the shipped configuration.
  std::function<void(const std::string&)> traceSink;
};

}  // namespace kv
