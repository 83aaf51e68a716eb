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
#include <utility>
#include <vector>

#include "foundation/platform.h"

namespace kv {

// Capacities of the process-wide values, in bytes including the terminator.
constexpr size_t kDriverNameSize = 128;
constexpr size_t kDeviceIdSize = 128;
constexpr size_t kDependentListSize = 500;
constexpr size_t kPortTableEntries = 128;

// One value of a saved port record, as it was found; an absent value stays
// absent when the record is written back.
struct SavedValue {
  std::string name;
  bool present = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// One saved port record of the Windows 9x network port monitor. Growable, so
// that no record or name is cut whatever its length or the number of ports.
struct SavedPort {
  std::string keyName;
  std::vector<SavedValue> values;  // the record's eight values first
};

// A printer moved to FILE: during the Windows 9x port exchange.
struct MovedPrinter {
  std::string printerName;
  std::string previousPort;
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
  // Wakes the thread from its tick when it is asked to stop. Set before the
  // thread starts and cleared after it has gone, or been given up on: atomic
  // because a thread given up on may still be reading it.
  std::atomic<HANDLE> stopEvent{nullptr};
};

// The folders a removal works in, read once as it starts (RemovalRoots in
// uninstall/removal_guard.h holds them for the removal's lifetime).
struct RemovalFolders {
  std::string windows, system, appData;
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

  // The Windows 9x port exchange's tables; they grow past kPortTableEntries
  // rather than lose a port or a printer.
  std::vector<SavedPort> savedPorts;
  std::vector<MovedPrinter> movedPrinters;

  DeviceFinderRecord deviceFinder = {};

  TimerRecord timer;

  // The product whose installation record this process writes or whose
  // removal runs (foundation/install_record.h); empty: none known yet.
  std::string recordProduct;
  // Files placed before registration named the product: path, and whether
  // a file was there before the copy.
  std::vector<std::pair<std::string, bool>> heldFiles;
  // Set while a removal operation runs; null otherwise.
  const RemovalFolders* removalFolders = nullptr;

  // Receives each debug-trace text once formatted. Empty: the trace is silent,
  // as in the shipped configuration.
  std::function<void(const std::string&)> traceSink;
};

}  // namespace kv
