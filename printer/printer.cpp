#include "printer/printer.h"

#include <string>
#include <vector>

#include "foundation/diagnostics.h"
#include "foundation/environment.h"
#include "foundation/handles.h"
#include "foundation/names.h"
#include "foundation/oskind.h"
#include "foundation/registry.h"
#include "foundation/registry_paths.h"
#include "foundation/setupinfo.h"

namespace kv {
namespace {

// The printer's name was checked (CheckPrinterNames): it names one key below
// the Printers key.
void WritePortValue(Context& ctx, const std::string& printerName,
                    const char* port) {
  RegKey key(ctx.os);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, SubKeyPath(kPrintersKey, printerName),
              key) != ERROR_SUCCESS)
    return;
  WriteString(ctx.os, key.get(), "Port", port);
}

// The driver's default device mode set on the new printer.
void SetDefaultDevMode(Context& ctx, HANDLE printer) {
  std::vector<BYTE> devMode;
  const LONG size = ctx.os.DocumentPropertiesA(nullptr, printer, ctx.driverName,
                                               nullptr, nullptr, 0);
  if (size > 0) {
    devMode.assign(static_cast<size_t>(size), 0);
    if (ctx.os.DocumentPropertiesA(nullptr, printer, ctx.driverName,
                                   reinterpret_cast<PDEVMODEA>(devMode.data()),
                                   nullptr, DM_OUT_BUFFER) < 0)
      devMode.clear();
  }

  DWORD needed = 0;
  ctx.os.GetPrinterA(printer, 2, nullptr, 0, &needed);
  if (needed == 0) return;
  // Rounded up to whole DWORDs: the record starts with pointers.
  std::vector<DWORD> info((needed + 3) / 4, 0);
  if (!ctx.os.GetPrinterA(printer, 2, reinterpret_cast<LPBYTE>(info.data()),
                          static_cast<DWORD>(info.size() * 4), &needed))
    return;
  auto* record = reinterpret_cast<PRINTER_INFO_2A*>(info.data());
  record->pDevMode =
      devMode.empty() ? nullptr : reinterpret_cast<PDEVMODEA>(devMode.data());
  ctx.os.SetPrinterA(printer, 2, reinterpret_cast<LPBYTE>(info.data()), 0);
}

// The middle field of the default-printer line: the driver file on Windows 9x,
// the spooler elsewhere.
std::string DeviceLineDriver(Context& ctx, OsKind kind, const char* file) {
  return kind == OsKind::Win9x
             ? ReadSetupString(ctx, file, "Files.9x", "Drcf9x")
             : std::string("WINSPOOL");
}

// Whether the spooler has a printer of that name (the one just added, or
// one that was there before).
bool PrinterExists(Context& ctx, const char* name) {
  HANDLE h = nullptr;
  if (!ctx.os.OpenPrinterA(name, &h, nullptr)) return false;
  PrinterHandle printer(ctx.os, h);
  return true;
}

// `lineDriver` is the middle field as CheckPrinterNames read and checked it:
// read once, so a second read that fails can't put another one in the line.
void MakeDefaultPrinter(Context& ctx, OsKind kind,
                        const std::string& printerName, const char* port,
                        const std::string& lineDriver) {
  const std::string line = printerName + "," + lineDriver + "," + port;
  ctx.os.WriteProfileStringA("windows", "device", line.c_str());
  // Windows 9x caches win.ini: flush so other programs read the new line.
  if (kind == OsKind::Win9x)
    ctx.os.WriteProfileStringA(nullptr, nullptr, nullptr);
  ctx.os.SendMessageA(HWND_BROADCAST, WM_WININICHANGE, 0, 0);
}

// The printers' key as the product's trace texts have always spelt it; the
// key opened is the shared constant (the registry matches either spelling).
constexpr char kPrintersKeyShown[] =
    "System\\CurrentControlSet\\Control\\Print\\Printers";

// Opens `root`\`path`\`name`, creating it when missing. 1 on success; 0 with
// a trace naming `shownPath`\`name` otherwise.
int EnsureRegKey(Context& ctx, HKEY root, const char* path,
                 const char* shownPath, const char* name) {
  const std::string full = SubKeyPath(path, name);
  RegKey key(ctx.os);
  if (OpenKey(ctx.os, root, full, key) == ERROR_SUCCESS ||
      CreateKey(ctx.os, root, full, key) == ERROR_SUCCESS)
    return 1;
  DebugTrace(ctx, "Create RegKey Fail.\nKey<%s>",
             SubKeyPath(shownPath, name).c_str());
  return 0;
}

}  // namespace

bool CheckPrinterNames(Context& ctx, OsKind kind, const char* port,
                       int makeDefault, const char* printerName,
                       const char* file, std::string* lineDriver) {
  if (!CheckSpoolerName(ctx.os, SpoolerObject::Printer, printerName) ||
      !CheckSpoolerName(ctx.os, SpoolerObject::Port, port) ||
      !CheckSpoolerName(ctx.os, SpoolerObject::Driver, ctx.driverName))
    return false;
  if (!makeDefault) return true;
  const std::string driver = DeviceLineDriver(ctx, kind, file);
  // Windows 9x loads the default printer's driver by this field: an empty
  // one (a missing key, or a read that failed) would break the line.
  if (driver.empty()) {
    ctx.os.SetLastError(ERROR_INVALID_DATA);
    return false;
  }
  if (!CheckDeviceLineField(ctx.os, port) ||
      !CheckDeviceLineField(ctx.os, driver.c_str()))
    return false;
  if (lineDriver) *lineDriver = driver;
  return true;
}

int RegistPrinter(Context& ctx, const char* port, int makeDefault,
                  const char* printerName, const char* file) {
  const OsKind kind = GetOSKind(ctx);
  GlobalBuffer record(ctx.os, sizeof(PRINTER_INFO_2A));
  if (!RecordAllocated(ctx, record, "pAddPrint2 Alloc Fail\n")) return 0;
  const char* section = FilesSection(kind);
  if (!section) return 0;
  std::string lineDriver;
  if (!CheckPrinterNames(ctx, kind, port, makeDefault, printerName, file,
                         &lineDriver)) {
    DebugTraceLastError(ctx, "AddPrinter Fail ErrMsg[0x%x]\n");
    return 0;
  }

  std::string name = printerName;
  std::string portName = port;
  std::string driver = ctx.driverName;
  std::string processor = ReadSetupString(
      ctx, file, section, (std::string("Procn") + KeySuffix(kind)).c_str());
  if (processor == "NULL") processor = "WinPrint";
  std::string dataType =
      kind == OsKind::Win9x
          ? ReadSetupString(ctx, file, "Install", "DATATYPE", 5)
          : "RAW";
  DWORD attributes = 0;
  if (kind == OsKind::Win9x &&
      !ReadSetupString(ctx, file, "Files.Com", "Lmonn").empty())
    attributes |= PRINTER_ATTRIBUTE_ENABLE_BIDI;
  if (makeDefault) attributes |= PRINTER_ATTRIBUTE_DEFAULT;

  auto* info = record.as<PRINTER_INFO_2A>();
  info->pPrinterName = &name[0];
  info->pPortName = &portName[0];
  info->pDriverName = &driver[0];
  info->pPrintProcessor = &processor[0];
  info->pDatatype = &dataType[0];
  info->Attributes = attributes;
  info->Priority = 0;
  info->DefaultPriority = 1;

  ctx.os.SetLastError(0);
  // The handle the add returns is the one of the printer just created; an
  // existing name is refused and gives none.
  PrinterHandle printer(ctx.os, ctx.os.AddPrinterA(nullptr, 2, record.bytes()));
  const DWORD addError = ctx.os.GetLastError();
  WritePortValue(ctx, name, port);
  if (printer) SetDefaultDevMode(ctx, printer.get());

  if (kind == OsKind::Win9x &&
      !EnsureRegKey(ctx, HKEY_CURRENT_CONFIG, kPrintersKey, kPrintersKeyShown,
                    driver.c_str()))
    DebugTrace(ctx, "Registry: HKEY_CURRENT_CONFIG Entry Error!\n");

  // Only a printer the spooler has can be the default: a refused add of a
  // new name must not replace the default with a printer that isn't there.
  if (makeDefault && (printer || PrinterExists(ctx, name.c_str())))
    MakeDefaultPrinter(ctx, kind, name, port, lineDriver);

  if (!printer) {
    ctx.os.SetLastError(addError);
    DebugTraceLastError(ctx, "AddPrinter Fail ErrMsg[0x%x]\n");
    return 0;
  }
  return 1;
}

}  // namespace kv
