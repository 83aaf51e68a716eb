#include "ports/port9x.h"

#include <string>
#include <vector>

#include "foundation/diagnostics.h"
#include "foundation/environment.h"
#include "foundation/oskind.h"
#include "foundation/registry.h"
#include "foundation/registry_paths.h"
#include "foundation/setupinfo.h"

namespace kv {
namespace {

constexpr ACCESS_MASK kPrinterAccess = 0xF0003;
// "PortName" is written back as its whole 24-byte field.
constexpr size_t kPortNameField = 24;
constexpr DWORD kDefaultTimeout = 900000;

// The record's values in the order they are read and written.
const char* const kRecordValues[] = {"CmdTmout",    "DatTmout", "HostName",
                                     "NonRFCPorts", "NonSpool", "PortName",
                                     "PortNum",     "PrintMode"};

bool IsRecordValue(const char* name) {
  for (const char* v : kRecordValues)
    if (std::string(v) == name) return true;
  return false;
}

// Reads one value whole, whatever its size.
SavedValue ReadValue(Platform& os, HKEY key, const char* name) {
  SavedValue v;
  v.name = name;
  DWORD size = 0;
  if (os.RegQueryValueExA(key, name, nullptr, &v.type, nullptr, &size) !=
      ERROR_SUCCESS)
    return v;
  v.data.resize(size);
  if (os.RegQueryValueExA(key, name, nullptr, &v.type,
                          size ? v.data.data() : nullptr,
                          &size) != ERROR_SUCCESS)
    return v;
  v.data.resize(size);
  v.present = true;
  return v;
}

// The eight values of the record, then any others the monitor keeps there,
// so that writing back loses nothing.
void ReadRecord(Platform& os, HKEY key, SavedPort& port) {
  for (const char* name : kRecordValues)
    port.values.push_back(ReadValue(os, key, name));
  DWORD maxName = 0;
  if (os.RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr, &maxName, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
    return;
  std::vector<char> name(maxName + 1);
  for (DWORD i = 0;; ++i) {
    DWORD size = static_cast<DWORD>(name.size());
    if (os.RegEnumValueA(key, i, name.data(), &size, nullptr, nullptr, nullptr,
                         nullptr) != ERROR_SUCCESS)
      break;
    if (!IsRecordValue(name.data()))
      port.values.push_back(ReadValue(os, key, name.data()));
  }
}

// A string value is written with its terminator; "PortName" fills its
// 24-byte field (string, terminator, zeros) when it fits. Anything else is
// written back as found.
void WriteValue(Platform& os, HKEY key, const SavedValue& v) {
  if (!v.present) return;
  if (v.type == REG_SZ) {
    std::string text(v.data.begin(), v.data.end());
    text = text.c_str();  // up to the first terminator
    std::vector<BYTE> bytes(text.begin(), text.end());
    bytes.push_back(0);
    if (v.name == "PortName" && bytes.size() < kPortNameField)
      bytes.resize(kPortNameField, 0);
    WriteBytes(os, key, v.name.c_str(), REG_SZ, bytes.data(),
               static_cast<DWORD>(bytes.size()));
    return;
  }
  WriteBytes(os, key, v.name.c_str(), v.type,
             v.data.empty() ? nullptr : v.data.data(),
             static_cast<DWORD>(v.data.size()));
}

enum class SaveOutcome { kNoLocation, kPortExists, kSaved };

// Saves every port record at the location. kPortExists when a key named
// exactly `port` exists (the table then ends before it).
SaveOutcome SavePorts(Context& ctx, const char* port) {
  RegKey location(ctx.os);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, kRelayPortsKey, location) !=
      ERROR_SUCCESS)
    return SaveOutcome::kNoLocation;
  char name[kMaxKeyNameLength + 1];
  for (DWORD i = 0; ctx.os.RegEnumKeyA(location.get(), i, name, sizeof name) ==
                    ERROR_SUCCESS;
       ++i) {
    if (std::string(name) == port) return SaveOutcome::kPortExists;
    RegKey key(ctx.os);
    if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, SubKeyPath(kRelayPortsKey, name),
                key) != ERROR_SUCCESS)
      continue;
    SavedPort saved;
    saved.keyName = name;
    ReadRecord(ctx.os, key.get(), saved);
    ctx.savedPorts.push_back(std::move(saved));
  }
  return SaveOutcome::kSaved;
}

// Opens a printer with the exchange's defaults and runs `change` on its
// level-2 information, then sets it. The result of SetPrinterA, or false
// when the printer or its information could not be had.
template <typename F>
bool ChangePrinterPort(Context& ctx, const char* printer, F change) {
  PRINTER_DEFAULTSA defaults = {nullptr, nullptr, kPrinterAccess};
  PrinterHandle handle(ctx.os);
  if (!ctx.os.OpenPrinterA(printer, handle.out(), &defaults)) return false;
  DWORD needed = 0;
  ctx.os.GetPrinterA(handle.get(), 2, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_2A)) return false;
  GlobalBuffer info(ctx.os, needed);
  if (!info) return false;
  if (!ctx.os.GetPrinterA(handle.get(), 2, info.bytes(), needed, &needed))
    return false;
  auto* p2 = info.as<PRINTER_INFO_2A>();
  std::string port = change(p2);
  p2->pPortName = &port[0];
  return ctx.os.SetPrinterA(handle.get(), 2, info.bytes(), 0) != FALSE;
}

void MovePrintersToFile(Context& ctx) {
  RegKey printers(ctx.os);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, kPrintersKey, printers) !=
      ERROR_SUCCESS)
    return;
  char name[kMaxKeyNameLength + 1];
  for (DWORD i = 0; ctx.os.RegEnumKeyA(printers.get(), i, name, sizeof name) ==
                    ERROR_SUCCESS;
       ++i) {
    MovedPrinter moved;
    moved.printerName = name;
    const bool set = ChangePrinterPort(ctx, name, [&](PRINTER_INFO_2A* p2) {
      moved.previousPort = p2->pPortName ? p2->pPortName : "";
      return std::string("FILE:");
    });
    if (set) ctx.movedPrinters.push_back(std::move(moved));
  }
}

// A key name the registry can take: not empty, no component over 255.
bool UsableKeyName(const char* port) {
  if (!*port) return false;
  size_t run = 0;
  for (const char* c = port; *c; ++c) {
    run = (*c == '\\') ? 0 : run + 1;
    if (run > kMaxKeyNameLength) return false;
  }
  return true;
}

// With the records saved: parks every printer on FILE:, deletes the saved
// ports and the monitor through the spooler, then writes every record back
// as it was read (extra values and value types included).
void ExchangeMonitor(Context& ctx, HWND window, const char* sii) {
  MovePrintersToFile(ctx);
  for (const SavedPort& saved : ctx.savedPorts)
    ctx.os.DeletePortA(nullptr, window, saved.keyName.c_str());
  DeletePrinterMonitor(ctx, sii);
  for (const SavedPort& saved : ctx.savedPorts) {
    RegKey key(ctx.os);
    if (CreateKey(ctx.os, HKEY_LOCAL_MACHINE,
                  SubKeyPath(kRelayPortsKey, saved.keyName),
                  key) != ERROR_SUCCESS)
      continue;
    for (const SavedValue& v : saved.values) WriteValue(ctx.os, key.get(), v);
  }
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
  if (!UsableKeyName(port)) {
    ctx.os.SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  const SaveOutcome outcome = SavePorts(ctx, port);
  const int result = outcome == SaveOutcome::kPortExists ? 0 : 1;
  if (outcome == SaveOutcome::kSaved) ExchangeMonitor(ctx, window, sii);

  RegKey key(ctx.os);
  if (CreateKey(ctx.os, HKEY_LOCAL_MACHINE, SubKeyPath(kRelayPortsKey, port),
                key) != ERROR_SUCCESS)
    return 0;
  WriteString(ctx.os, key.get(), "HostName", host);
  if (result == 1) {
    WriteDword(ctx.os, key.get(), "CmdTmout", kDefaultTimeout);
    WriteDword(ctx.os, key.get(), "DatTmout", kDefaultTimeout);
    WriteDword(ctx.os, key.get(), "NonRFCPorts", 0);
    WriteDword(ctx.os, key.get(), "NonSpool", 0);
    WriteString(ctx.os, key.get(), "PortName", "lp");
    WriteDword(ctx.os, key.get(), "PortNum", 0);
    WriteDword(ctx.os, key.get(), "PrintMode", 0);
  }
  return result;
}

int StdTcpIpPortSet9x_After(Context& ctx) {
  for (const MovedPrinter& moved : ctx.movedPrinters) {
    ChangePrinterPort(ctx, moved.printerName.c_str(),
                      [&](PRINTER_INFO_2A*) { return moved.previousPort; });
  }
  return 1;
}

}  // namespace kv
