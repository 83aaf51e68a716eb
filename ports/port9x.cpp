#include "ports/port9x.h"

#include <string>
#include <vector>

#include "foundation/diagnostics.h"
#include "foundation/environment.h"
#include "foundation/oskind.h"
#include "foundation/registry.h"
#include "foundation/registry_paths.h"
#include "foundation/setupinfo.h"
#include "foundation/text.h"

namespace kv {
namespace {

constexpr ACCESS_MASK kPrinterAccess = 0xF0003;
// The monitor whose ports are at kRelayPortsKey.
constexpr char kRelayMonitor[] = "KV-Relay3100 Port";
// "PortName" is written back as its whole 24-byte field.
constexpr size_t kPortNameField = 24;
constexpr DWORD kDefaultTimeout = 900000;
// Once the monitor is gone its records live only in memory: a write that
// fails is tried again before the exchange gives up on it.
constexpr int kWriteAttempts = 3;
// A value that keeps growing between the size query and the read.
constexpr int kReadAttempts = 3;

// The record's values in the order they are read and written.
const char* const kRecordValues[] = {"CmdTmout",    "DatTmout", "HostName",
                                     "NonRFCPorts", "NonSpool", "PortName",
                                     "PortNum",     "PrintMode"};

// The error a failed call left, never 0: a failure must not read as success.
DWORD ErrorOf(Platform& os, DWORD fallback) {
  const DWORD error = os.GetLastError();
  return error ? error : fallback;
}

template <typename F>
LONG Retried(F attempt) {
  LONG rc = ERROR_SUCCESS;
  for (int i = 0; i < kWriteAttempts; ++i)
    if ((rc = attempt()) == ERROR_SUCCESS) break;
  return rc;
}

// Reads the value `v.name` whole, whatever its size. It was just enumerated,
// so any failure, "not found" included, is a failed save.
LONG ReadValue(Platform& os, HKEY key, SavedValue& v) {
  LONG rc = ERROR_MORE_DATA;
  for (int i = 0; i < kReadAttempts && rc == ERROR_MORE_DATA; ++i) {
    DWORD size = 0;
    rc = os.RegQueryValueExA(key, v.name.c_str(), nullptr, &v.type, nullptr,
                             &size);
    if (rc != ERROR_SUCCESS) return rc;
    v.data.resize(size);
    rc = os.RegQueryValueExA(key, v.name.c_str(), nullptr, &v.type,
                             size ? v.data.data() : nullptr, &size);
    if (rc == ERROR_SUCCESS) v.data.resize(size);
  }
  v.present = rc == ERROR_SUCCESS;
  return rc;
}

// The names of the values of `key`, in the registry's order.
LONG ValueNames(Platform& os, HKEY key, std::vector<std::string>& names) {
  DWORD maxName = 0;
  LONG rc = os.RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, &maxName, nullptr,
                                nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<char> name(maxName + 1);
  for (DWORD i = 0;; ++i) {
    DWORD size = static_cast<DWORD>(name.size());
    rc = os.RegEnumValueA(key, i, name.data(), &size, nullptr, nullptr, nullptr,
                          nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    names.emplace_back(name.data(), size);
  }
}

// Every value of the key: the record's eight first, in their order, then any
// others the monitor keeps, so that writing back loses nothing.
LONG ReadRecord(Platform& os, HKEY key, SavedPort& port) {
  std::vector<std::string> names;
  if (LONG rc = ValueNames(os, key, names)) return rc;
  std::vector<std::string> order;
  for (const char* record : kRecordValues)
    for (const std::string& n : names)
      if (text::EqualNoCase(os, n, record)) order.push_back(n);
  for (const std::string& n : names) {
    bool isRecord = false;
    for (const char* record : kRecordValues)
      isRecord = isRecord || text::EqualNoCase(os, n, record);
    if (!isRecord) order.push_back(n);
  }
  for (const std::string& n : order) {
    SavedValue v;
    v.name = n;
    if (LONG rc = ReadValue(os, key, v)) return rc;
    port.values.push_back(std::move(v));
  }
  return ERROR_SUCCESS;
}

// Saves the key `path` (below the port location) and every key below it,
// parents first: the monitor's deletion takes the whole tree.
LONG SaveTree(Context& ctx, const std::string& path) {
  RegKey key(ctx.os);
  if (LONG rc = OpenKey(ctx.os, HKEY_LOCAL_MACHINE,
                        SubKeyPath(kRelayPortsKey, path), key))
    return rc;
  SavedPort saved;
  saved.keyName = path;
  if (LONG rc = ReadRecord(ctx.os, key.get(), saved)) return rc;
  ctx.savedPorts.push_back(std::move(saved));
  char name[kMaxKeyNameLength + 1];
  for (DWORD i = 0;; ++i) {
    LONG rc = ctx.os.RegEnumKeyA(key.get(), i, name, sizeof name);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    if ((rc = SaveTree(ctx, SubKeyPath(path, name)))) return rc;
  }
}

// A saved entry that is a port of the monitor, not a key below one.
bool IsPort(Platform& os, const SavedPort& saved) {
  return !text::Contains(os, saved.keyName, '\\');
}

struct SaveOutcome {
  enum { kNoLocation, kPortExists, kSaved, kFailed } kind;
  LONG error = ERROR_SUCCESS;
};

// Saves every port record at the location. kPortExists when a port of the
// name exists: the registry matches names regardless of case, so writing
// the new port would overwrite that record.
SaveOutcome SavePorts(Context& ctx, const char* port) {
  RegKey location(ctx.os);
  const LONG opened =
      OpenKey(ctx.os, HKEY_LOCAL_MACHINE, kRelayPortsKey, location);
  if (opened == ERROR_FILE_NOT_FOUND) return {SaveOutcome::kNoLocation};
  if (opened != ERROR_SUCCESS) return {SaveOutcome::kFailed, opened};
  char name[kMaxKeyNameLength + 1];
  for (DWORD i = 0;; ++i) {
    LONG rc = ctx.os.RegEnumKeyA(location.get(), i, name, sizeof name);
    if (rc == ERROR_NO_MORE_ITEMS) return {SaveOutcome::kSaved};
    if (rc != ERROR_SUCCESS) return {SaveOutcome::kFailed, rc};
    if (text::EqualNoCase(ctx.os, name, port))
      return {SaveOutcome::kPortExists};
    if ((rc = SaveTree(ctx, name))) return {SaveOutcome::kFailed, rc};
  }
}

// Opens a printer with the exchange's defaults and runs `change` on its
// level-2 information, then sets it. ERROR_SUCCESS, or the error of the
// call that failed.
template <typename F>
DWORD ChangePrinterPort(Context& ctx, const char* printer, F change) {
  PRINTER_DEFAULTSA defaults = {nullptr, nullptr, kPrinterAccess};
  PrinterHandle handle(ctx.os);
  if (!ctx.os.OpenPrinterA(printer, handle.out(), &defaults))
    return ErrorOf(ctx.os, ERROR_INVALID_PRINTER_NAME);
  DWORD needed = 0;
  if (!ctx.os.GetPrinterA(handle.get(), 2, nullptr, 0, &needed) &&
      ctx.os.GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return ErrorOf(ctx.os, ERROR_INVALID_FUNCTION);
  if (needed < sizeof(PRINTER_INFO_2A)) return ERROR_INVALID_FUNCTION;
  GlobalBuffer info(ctx.os, needed);
  if (!info) return ErrorOf(ctx.os, ERROR_NOT_ENOUGH_MEMORY);
  if (!ctx.os.GetPrinterA(handle.get(), 2, info.bytes(), needed, &needed))
    return ErrorOf(ctx.os, ERROR_INVALID_FUNCTION);
  auto* p2 = info.as<PRINTER_INFO_2A>();
  std::string port = change(p2);
  p2->pPortName = &port[0];
  if (!ctx.os.SetPrinterA(handle.get(), 2, info.bytes(), 0))
    return ErrorOf(ctx.os, ERROR_INVALID_FUNCTION);
  return ERROR_SUCCESS;
}

// The printers' names, all read before any printer is changed.
LONG ListPrinters(Context& ctx, std::vector<std::string>& names) {
  RegKey printers(ctx.os);
  const LONG opened =
      OpenKey(ctx.os, HKEY_LOCAL_MACHINE, kPrintersKey, printers);
  if (opened == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;  // no printers
  if (opened != ERROR_SUCCESS) return opened;
  char name[kMaxKeyNameLength + 1];
  for (DWORD i = 0;; ++i) {
    const LONG rc = ctx.os.RegEnumKeyA(printers.get(), i, name, sizeof name);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    names.push_back(name);
  }
}

// Parks every printer on FILE:, recording each in ctx.movedPrinters as it
// is moved. Stops at the first printer that can't be moved: its port would
// be deleted under it.
DWORD ParkPrinters(Context& ctx, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    MovedPrinter moved;
    moved.printerName = name;
    const DWORD error =
        ChangePrinterPort(ctx, name.c_str(), [&](PRINTER_INFO_2A* p2) {
          moved.previousPort = p2->pPortName ? p2->pPortName : "";
          return std::string("FILE:");
        });
    if (error) return error;
    ctx.movedPrinters.push_back(std::move(moved));
  }
  return ERROR_SUCCESS;
}

// Puts a parked printer back on its port, trying again when a call fails. A
// printer deleted since it was parked has nothing to go back to.
DWORD UnparkPrinter(Context& ctx, const MovedPrinter& moved) {
  DWORD error = ERROR_SUCCESS;
  for (int i = 0; i < kWriteAttempts; ++i) {
    error =
        ChangePrinterPort(ctx, moved.printerName.c_str(),
                          [&](PRINTER_INFO_2A*) { return moved.previousPort; });
    if (error == ERROR_SUCCESS) break;
  }
  return error == ERROR_INVALID_PRINTER_NAME ? ERROR_SUCCESS : error;
}

// Puts the parked printers back; a printer that can't be moved stays in the
// table for StdTcpIpPortSet9x_After.
void UnparkPrinters(Context& ctx) {
  std::vector<MovedPrinter> stillParked;
  for (const MovedPrinter& moved : ctx.movedPrinters)
    if (UnparkPrinter(ctx, moved)) stillParked.push_back(moved);
  ctx.movedPrinters = std::move(stillParked);
}

LONG SetValue(Platform& os, HKEY key, const std::string& name, DWORD type,
              const std::vector<BYTE>& data) {
  static const BYTE nothing[1] = {0};
  return Retried([&] {
    return os.RegSetValueExA(key, name.c_str(), 0, type,
                             data.empty() ? nothing : data.data(),
                             static_cast<DWORD>(data.size()));
  });
}

// The bytes a value is written back with. A port's string values end at
// their terminator and its "PortName" fills its 24-byte field (string,
// terminator, zeros) when it fits; anything else goes back as read.
std::vector<BYTE> WriteBackData(Platform& os, const SavedPort& port,
                                const SavedValue& v) {
  if (v.type != REG_SZ || !IsPort(os, port)) return v.data;
  std::string text(v.data.begin(), v.data.end());
  text = text.c_str();  // up to the first terminator
  std::vector<BYTE> bytes(text.begin(), text.end());
  bytes.push_back(0);
  if (text::EqualNoCase(os, v.name, "PortName") &&
      bytes.size() < kPortNameField)
    bytes.resize(kPortNameField, 0);
  return bytes;
}

// Writes one saved key back: `asRead` restores the bytes exactly (an undo),
// otherwise as the write-back of the exchange. Every value is tried; the
// first error is the result.
LONG WriteRecord(Platform& os, const SavedPort& saved, bool asRead) {
  RegKey key(os);
  LONG rc = Retried([&] {
    return CreateKey(os, HKEY_LOCAL_MACHINE,
                     SubKeyPath(kRelayPortsKey, saved.keyName), key);
  });
  if (rc != ERROR_SUCCESS) return rc;
  for (const SavedValue& v : saved.values) {
    const LONG written =
        SetValue(os, key.get(), v.name, v.type,
                 asRead ? v.data : WriteBackData(os, saved, v));
    if (rc == ERROR_SUCCESS) rc = written;
  }
  return rc;
}

// Writes back the first `count` saved keys; the first error, after trying
// every key.
LONG WriteBack(Context& ctx, size_t count, bool asRead) {
  LONG result = ERROR_SUCCESS;
  for (size_t i = 0; i < count && i < ctx.savedPorts.size(); ++i) {
    const LONG rc = WriteRecord(ctx.os, ctx.savedPorts[i], asRead);
    if (result == ERROR_SUCCESS) result = rc;
  }
  return result;
}

// Undoes a stopped exchange: the first `deleted` saved keys are written back
// as they were read, and the parked printers go back to their ports.
// Returns `error` for the caller's result.
DWORD Undo(Context& ctx, size_t deleted, DWORD error) {
  WriteBack(ctx, deleted, true);
  UnparkPrinters(ctx);
  return error;
}

// With the records saved: parks every printer on FILE:, deletes the saved
// ports and the monitor through the spooler, then writes every record back.
// Nothing is deleted before everything is saved, and a step that fails
// undoes what went before it. ERROR_SUCCESS, or the error that stopped it.
DWORD ExchangeMonitor(Context& ctx, HWND window, const char* sii) {
  if (!SpoolerEnvironment(GetOSKind(ctx))) return ERROR_NOT_SUPPORTED;
  // Only the relay monitor's ports are saved: deleting any other monitor
  // would take its ports with it.
  if (!text::EqualNoCase(ctx.os,
                         ReadSetupString(ctx, sii, "Files.Com", "Lmonn"),
                         kRelayMonitor))
    return ERROR_INVALID_PARAMETER;
  std::vector<std::string> printers;
  if (LONG rc = ListPrinters(ctx, printers)) return static_cast<DWORD>(rc);
  if (DWORD error = ParkPrinters(ctx, printers)) return Undo(ctx, 0, error);

  // A port the spooler can't delete (one its monitor does not know) is not
  // lost: the monitor's deletion takes its key with the others, and it is
  // written back with them.
  const size_t count = ctx.savedPorts.size();
  for (const SavedPort& saved : ctx.savedPorts)
    if (IsPort(ctx.os, saved))
      ctx.os.DeletePortA(nullptr, window, saved.keyName.c_str());
  if (!DeletePrinterMonitor(ctx, sii))
    return Undo(ctx, count, ErrorOf(ctx.os, ERROR_INVALID_FUNCTION));

  // The monitor is gone: the records exist only here now. The printers stay
  // parked for StdTcpIpPortSet9x_After, whatever happens.
  return static_cast<DWORD>(WriteBack(ctx, count, false));
}

LONG WriteNewPort(Platform& os, const char* port, const char* host,
                  bool withDefaults) {
  RegKey key(os);
  LONG rc = Retried([&] {
    return CreateKey(os, HKEY_LOCAL_MACHINE, SubKeyPath(kRelayPortsKey, port),
                     key);
  });
  if (rc != ERROR_SUCCESS) return rc;
  auto sz = [](const std::string& s) {
    return std::vector<BYTE>(s.c_str(), s.c_str() + s.size() + 1);
  };
  auto dword = [](DWORD v) {
    return std::vector<BYTE>{BYTE(v), BYTE(v >> 8), BYTE(v >> 16),
                             BYTE(v >> 24)};
  };
  if ((rc = SetValue(os, key.get(), "HostName", REG_SZ, sz(host)))) return rc;
  if (!withDefaults) return ERROR_SUCCESS;
  const struct {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
  } defaults[] = {
      {"CmdTmout", REG_DWORD, dword(kDefaultTimeout)},
      {"DatTmout", REG_DWORD, dword(kDefaultTimeout)},
      {"NonRFCPorts", REG_DWORD, dword(0)},
      {"NonSpool", REG_DWORD, dword(0)},
      {"PortName", REG_SZ, sz("lp")},
      {"PortNum", REG_DWORD, dword(0)},
      {"PrintMode", REG_DWORD, dword(0)},
  };
  for (const auto& d : defaults)
    if ((rc = SetValue(os, key.get(), d.name, d.type, d.data))) return rc;
  return ERROR_SUCCESS;
}

// A key name the registry can take: not empty, no component over 255.
bool UsableKeyName(Platform& os, const char* port) {
  if (!*port) return false;
  for (const std::string& part : text::Split(os, port, '\\'))
    if (part.size() > kMaxKeyNameLength) return false;
  return true;
}

int Failed(Context& ctx, DWORD error) {
  ctx.os.SetLastError(error);
  return 0;
}

}  // namespace

int DeletePrinterMonitor(Context& ctx, const char* sii) {
  const char* environment = SpoolerEnvironment(GetOSKind(ctx));
  if (!environment) return 0;
  GlobalBuffer record(ctx.os, sizeof(MONITOR_INFO_2A));
  if (!RecordAllocated(ctx, record, "pMonitor Alloc Fail\n")) return 0;
  const std::string name = ReadSetupString(ctx, sii, "Files.Com", "Lmonn");
  ctx.os.SetLastError(0);
  return TracedOutcome(
      ctx, ctx.os.DeleteMonitorA(nullptr, environment, name.c_str()),
      "DeleteMonitor Fail ErrMsg[0x%x]\n");
}

int StdTcpIpPortSet9x(Context& ctx, HWND window, const char* port,
                      const char* host, const char* sii) {
  // The tables describe the last exchange only: a refused call must not
  // leave an older call's printers for StdTcpIpPortSet9x_After to move.
  ctx.movedPrinters.clear();
  ctx.savedPorts.clear();
  if (!UsableKeyName(ctx.os, port)) return Failed(ctx, ERROR_INVALID_NAME);
  const SaveOutcome saved = SavePorts(ctx, port);
  switch (saved.kind) {
    case SaveOutcome::kFailed:
      return Failed(ctx, static_cast<DWORD>(saved.error));
    case SaveOutcome::kPortExists:
      // Only the host name of the existing port changes.
      if (LONG rc = WriteNewPort(ctx.os, port, host, false))
        return Failed(ctx, static_cast<DWORD>(rc));
      return Failed(ctx, ERROR_ALREADY_EXISTS);
    case SaveOutcome::kSaved:
      if (DWORD error = ExchangeMonitor(ctx, window, sii))
        return Failed(ctx, error);
      break;
    case SaveOutcome::kNoLocation:
      break;
  }
  if (LONG rc = WriteNewPort(ctx.os, port, host, true))
    return Failed(ctx, static_cast<DWORD>(rc));
  return 1;
}

int StdTcpIpPortSet9x_After(Context& ctx) {
  DWORD firstError = ERROR_SUCCESS;
  for (const MovedPrinter& moved : ctx.movedPrinters) {
    const DWORD error = UnparkPrinter(ctx, moved);
    if (firstError == ERROR_SUCCESS) firstError = error;
  }
  if (firstError != ERROR_SUCCESS) return Failed(ctx, firstError);
  return 1;
}

}  // namespace kv
