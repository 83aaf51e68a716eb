// The simulated spooler's printers, kept in the registry as Windows keeps
// them (see sim/sim_printers.h), with Windows' refusals and error codes.
//
// Behaviour followed (documented Windows behaviour; Wine's spooler differs in
// places, noted where it matters):
// - AddPrinterA refuses, in this order: a bad name
//   (ERROR_INVALID_PRINTER_NAME), a name that exists
//   (ERROR_PRINTER_ALREADY_EXISTS; Wine adds it again), no port
//   (ERROR_UNKNOWN_PORT), an unknown driver (ERROR_UNKNOWN_PRINTER_DRIVER),
//   an empty or unknown processor (ERROR_UNKNOWN_PRINTPROCESSOR) and a data
//   type the processor does not know (ERROR_INVALID_DATATYPE; empty means
//   "RAW"). Ports are not checked against the monitors' port lists.
// - Level 4 of EnumPrintersA and GetPrinterA exists on the NT family only.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

#include "sim/enum_buffer.h"
#include "sim/spooler_records.h"

namespace kv::sim {

namespace {

constexpr DWORD kPrinterEnumIcon8 = 0x00800000;
constexpr DWORD kDmOrientation = 0x1, kDmPaperSize = 0x2, kDmCopies = 0x100,
                kDmPrintQuality = 0x400, kDmColor = 0x800,
                kDmYResolution = 0x2000, kDmFormName = 0x10000;
constexpr DWORD kDmPrompt = 4;
constexpr WORD kDriverExtraBytes = 64;

// The data types each environment's "WinPrint" knows. A processor the
// installer added is taken to know RAW and the EMF of its family.
bool KnownDatatype(const std::string& env, const std::string& type) {
  static const char* const kNt[] = {
      "RAW",          "RAW [FF appended]", "RAW [FF auto]", "NT EMF 1.003",
      "NT EMF 1.006", "NT EMF 1.007",      "NT EMF 1.008",  "TEXT"};
  static const char* const k9x[] = {"RAW", "EMF"};
  if (env == k9xEnv)
    return std::any_of(std::begin(k9x), std::end(k9x),
                       [&](const char* t) { return EqualNoCase(t, type); });
  return std::any_of(std::begin(kNt), std::end(kNt),
                     [&](const char* t) { return EqualNoCase(t, type); });
}

// ---- Device modes -----------------------------------------------------------

std::vector<BYTE> DefaultDevMode(const SimPlatform& os,
                                 const std::string& driver) {
  std::vector<BYTE> bytes(sizeof(DEVMODEA) + kDriverExtraBytes, 0);
  auto* dm = reinterpret_cast<DEVMODEA*>(bytes.data());
  std::memcpy(dm->dmDeviceName, driver.c_str(),
              std::min<size_t>(driver.size(), sizeof dm->dmDeviceName - 1));
  dm->dmSpecVersion = IsWin9x(os.version()) ? 0x0400 : 0x0401;
  dm->dmDriverVersion = 0x0100;
  dm->dmSize = sizeof(DEVMODEA);
  dm->dmDriverExtra = kDriverExtraBytes;
  dm->dmFields = kDmOrientation | kDmPaperSize | kDmCopies | kDmPrintQuality |
                 kDmColor | kDmYResolution | kDmFormName;
  dm->dmOrientation = 1;  // portrait
  dm->dmPaperSize = 9;    // A4
  dm->dmCopies = 1;
  dm->dmPrintQuality = 600;
  dm->dmColor = 1;  // monochrome
  dm->dmYResolution = 600;
  std::memcpy(dm->dmFormName, "A4", 3);
  // The driver's private part: its signature and the name it was made for.
  BYTE* extra = bytes.data() + sizeof(DEVMODEA);
  std::memcpy(extra, "KVDM", 4);
  std::memcpy(extra + 4, driver.c_str(),
              std::min<size_t>(driver.size(), kDriverExtraBytes - 5));
  return bytes;
}

// A device mode as the caller's record holds it: its public and private
// parts, or nothing when the sizes are not sane.
std::vector<BYTE> CopyDevMode(const DEVMODEA* dm) {
  if (!dm || dm->dmSize < offsetof(DEVMODEA, dmFormName) || dm->dmSize > 4096 ||
      dm->dmDriverExtra > 65535 - 4096)
    return {};
  const auto* p = reinterpret_cast<const BYTE*>(dm);
  return std::vector<BYTE>(p, p + dm->dmSize + dm->dmDriverExtra);
}

// ---- Printers ---------------------------------------------------------------

bool ValidPrinterName(const std::string& name) {
  return !name.empty() && name.size() < 221 &&
         name.find_first_of("\\,!") == std::string::npos;
}

std::vector<BYTE> DevModeValue(const RegNode& printer) {
  auto it = printer.values.find("Default DevMode");
  return it == printer.values.end() ? std::vector<BYTE>() : it->second.data;
}

void FillPrinter2(const SimPlatform&, const RegNode& p, Packer& k,
                  PRINTER_INFO_2A& r) {
  r.pServerName = nullptr;
  r.pPrinterName = k.Text(StringValue(p, "Name"));
  r.pShareName = k.Text(StringValue(p, "Share Name"));
  r.pPortName = k.Text(StringValue(p, "Port"));
  r.pDriverName = k.Text(StringValue(p, "Printer Driver"));
  r.pComment = k.Text(StringValue(p, "Description"));
  r.pLocation = k.Text(StringValue(p, "Location"));
  r.pDevMode = reinterpret_cast<LPDEVMODEA>(k.Blob(DevModeValue(p)));
  r.pSepFile = k.Text(StringValue(p, "Separator File"));
  r.pPrintProcessor = k.Text(StringValue(p, "Print Processor"));
  r.pDatatype = k.Text(StringValue(p, "Datatype"));
  r.pParameters = k.Text(StringValue(p, "Parameters"));
  r.pSecurityDescriptor = nullptr;
  r.Attributes = DwordValue(p, "Attributes");
  r.Priority = DwordValue(p, "Priority");
  r.DefaultPriority = DwordValue(p, "Default Priority");
  r.StartTime = DwordValue(p, "StartTime");
  r.UntilTime = DwordValue(p, "UntilTime");
  r.Status = DwordValue(p, "Status");
  r.cJobs = 0;
  r.AveragePPM = 0;
}

void FillPrinter1(const RegNode& p, Packer& k, PRINTER_INFO_1A& r) {
  r.Flags = kPrinterEnumIcon8;
  const std::string name = StringValue(p, "Name");
  r.pDescription = k.Text(name + "," + StringValue(p, "Printer Driver") + "," +
                          StringValue(p, "Location"));
  r.pName = k.Text(name);
  r.pComment = k.Text(StringValue(p, "Description"));
}

void FillPrinter4(const RegNode& p, Packer& k, PRINTER_INFO_4A& r) {
  r.pPrinterName = k.Text(StringValue(p, "Name"));
  r.pServerName = nullptr;
  r.Attributes = DwordValue(p, "Attributes");
}

// The record text of a call on a printer handle at `level`.
std::string PrinterCallArgs(HANDLE printer, DWORD level, DWORD value) {
  return HexText(reinterpret_cast<uintptr_t>(printer)) + ", " +
         std::to_string(level) + ", " + std::to_string(value);
}

// Level 4 of the printer queries exists on the NT family only.
bool PrinterLevelKnown(const SimPlatform& os, DWORD level) {
  return level == 1 || level == 2 || (level == 4 && !IsWin9x(os.version()));
}

// Packs `printers` as records of `level` (1, 2 or 4); false with the error
// set when the buffer is too small.
bool PackPrinters(const SimPlatform& os, const std::vector<RegNode*>& printers,
                  DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                  DWORD* lastError) {
  switch (level) {
    case 1:
      return PackRecords<PRINTER_INFO_1A>(
          printers.size(), buffer, size, needed, lastError,
          [&](Packer& k, PRINTER_INFO_1A& r, size_t i) {
            FillPrinter1(*printers[i], k, r);
          });
    case 2:
      return PackRecords<PRINTER_INFO_2A>(
          printers.size(), buffer, size, needed, lastError,
          [&](Packer& k, PRINTER_INFO_2A& r, size_t i) {
            FillPrinter2(os, *printers[i], k, r);
          });
    default:
      return PackRecords<PRINTER_INFO_4A>(
          printers.size(), buffer, size, needed, lastError,
          [&](Packer& k, PRINTER_INFO_4A& r, size_t i) {
            FillPrinter4(*printers[i], k, r);
          });
  }
}

}  // namespace

// ---- Printers ---------------------------------------------------------------

HANDLE SimPlatform::AddPrinterA(LPCSTR server, DWORD level, LPBYTE info) {
  const auto* pi = reinterpret_cast<const PRINTER_INFO_2A*>(info);
  std::string args = ArgText(server) + ", " + std::to_string(level);
  if (pi && level == 2)
    args += ", " + ArgText(pi->pPrinterName) + ", " + ArgText(pi->pPortName) +
            ", " + ArgText(pi->pDriverName);
  if (Enter("AddPrinterA", args)) return nullptr;
  if (SpoolerDown(*this)) return nullptr;
  if (!IsLocalServer(*this, server)) return nullptr;
  if (level != 2) {
    lastError_ = ERROR_INVALID_LEVEL;
    return nullptr;
  }
  if (!pi) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  const std::string name = Str(pi->pPrinterName);
  if (!ValidPrinterName(name)) {
    lastError_ = ERROR_INVALID_PRINTER_NAME;
    return nullptr;
  }
  if (PrinterKey(*this, name)) {
    lastError_ = ERROR_PRINTER_ALREADY_EXISTS;
    return nullptr;
  }
  if (Empty(pi->pPortName)) {
    lastError_ = ERROR_UNKNOWN_PORT;
    return nullptr;
  }
  RegNode* driver = UsableDriver(*this, Str(pi->pDriverName));
  if (!driver) {
    lastError_ = ERROR_UNKNOWN_PRINTER_DRIVER;
    return nullptr;
  }
  const std::string env = OwnEnvironment(*this);
  RegNode* processor =
      Empty(pi->pPrintProcessor)
          ? nullptr
          : FindKey(HKEY_LOCAL_MACHINE,
                    ProcessorsKeyPath(env) + "\\" + pi->pPrintProcessor);
  if (!processor || HoldsCharOf(codePage_, pi->pPrintProcessor, "\\")) {
    lastError_ = ERROR_UNKNOWN_PRINTPROCESSOR;
    return nullptr;
  }
  std::string datatype = Str(pi->pDatatype);
  if (datatype.empty()) datatype = "RAW";
  if (!KnownDatatype(env, datatype)) {
    lastError_ = ERROR_INVALID_DATATYPE;
    return nullptr;
  }

  RegNode* p = CreateKeyPath(HKEY_LOCAL_MACHINE,
                             std::string(kPrintersKeyPath) + "\\" + name);
  SetString(p, "Name", name);
  SetString(p, "Share Name", Str(pi->pShareName));
  SetString(p, "Port", pi->pPortName);
  SetString(p, "Printer Driver", driver->name);
  SetString(p, "Description", Str(pi->pComment));
  SetString(p, "Location", Str(pi->pLocation));
  SetString(p, "Print Processor", processor->name);
  SetString(p, "Datatype", datatype);
  SetString(p, "Parameters", Str(pi->pParameters));
  SetString(p, "Separator File", Str(pi->pSepFile));
  SetDword(p, "Attributes", pi->Attributes);
  SetDword(p, "Priority", pi->Priority);
  SetDword(p, "Default Priority", pi->DefaultPriority);
  SetDword(p, "StartTime", pi->StartTime);
  SetDword(p, "UntilTime", pi->UntilTime);
  SetDword(p, "Status", 0);
  SetDword(p, "dnsTimeout", 15000);
  SetDword(p, "txTimeout", 45000);
  const std::vector<BYTE> devMode = CopyDevMode(pi->pDevMode);
  if (!devMode.empty()) SetValue(p, "Default DevMode", REG_BINARY, devMode);
  {
    // The spooler's own writes: out of the caller's record and untouched by
    // failures injected into the caller's calls.
    const auto failures = failures_;
    const size_t mark = operations_.size();
    std::ostream* trace = std::exchange(traceOut_, nullptr);
    const DWORD error = lastError_;
    WriteDeviceEntries(*this, name, StringValue(*driver, "Driver"),
                       pi->pPortName);
    operations_.resize(mark);
    traceOut_ = trace;
    failures_ = failures;
    lastError_ = error;
  }

  const uintptr_t h = NewHandle();
  Handles(*this).handles[h].printer = name;
  RecordResult(HexText(h));
  return reinterpret_cast<HANDLE>(h);
}

BOOL SimPlatform::OpenPrinterA(LPCSTR name, LPHANDLE printer,
                               LPPRINTER_DEFAULTSA) {
  if (Enter("OpenPrinterA", ArgText(name))) return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  if (!printer) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  *printer = nullptr;
  std::string stored;
  if (!Empty(name)) {
    RegNode* p = PrinterKey(*this, name);
    if (!p) {
      lastError_ = ERROR_INVALID_PRINTER_NAME;
      return FALSE;
    }
    stored = p->name;
  }
  const uintptr_t h = NewHandle();
  Handles(*this).handles[h].printer = stored;
  *printer = reinterpret_cast<HANDLE>(h);
  RecordResult(HexText(h));
  return TRUE;
}

namespace {

// The printer record behind an open printer handle, or null with the last
// error set.
RegNode* PrinterOfHandle(SimPlatform& os, HANDLE printer) {
  auto& handles = Handles(os).handles;
  auto h = handles.find(reinterpret_cast<uintptr_t>(printer));
  RegNode* p =
      h == handles.end() || h->second.deleted || h->second.printer.empty()
          ? nullptr
          : PrinterKey(os, h->second.printer);
  if (!p) os.SetLastError(ERROR_INVALID_HANDLE);
  return p;
}

}  // namespace

BOOL SimPlatform::GetPrinterA(HANDLE printer, DWORD level, LPBYTE buffer,
                              DWORD size, LPDWORD needed) {
  if (Enter("GetPrinterA", PrinterCallArgs(printer, level, size))) return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  RegNode* p = PrinterOfHandle(*this, printer);
  if (!p) return FALSE;
  if (!PrinterLevelKnown(*this, level)) {
    lastError_ = ERROR_INVALID_LEVEL;
    return FALSE;
  }
  return PackPrinters(*this, {p}, level, buffer, size, needed, &lastError_)
             ? TRUE
             : FALSE;
}

BOOL SimPlatform::SetPrinterA(HANDLE printer, DWORD level, LPBYTE info,
                              DWORD command) {
  if (Enter("SetPrinterA", PrinterCallArgs(printer, level, command)))
    return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  RegNode* p = PrinterOfHandle(*this, printer);
  if (!p) return FALSE;
  if (level == 0) {
    // Pause, resume and purge: the queue holds no jobs here.
    if (command > 3) {
      lastError_ = ERROR_INVALID_PARAMETER;
      return FALSE;
    }
    return TRUE;
  }
  if (level != 2) {
    lastError_ = ERROR_INVALID_LEVEL;
    return FALSE;
  }
  const auto* pi = reinterpret_cast<const PRINTER_INFO_2A*>(info);
  if (!pi) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  RegNode* driver = nullptr;
  if (!Empty(pi->pDriverName)) {
    driver = UsableDriver(*this, pi->pDriverName);
    if (!driver) {
      lastError_ = ERROR_UNKNOWN_PRINTER_DRIVER;
      return FALSE;
    }
  }
  const std::string env = OwnEnvironment(*this);
  RegNode* processor = nullptr;
  if (!Empty(pi->pPrintProcessor)) {
    processor = FindKey(HKEY_LOCAL_MACHINE,
                        ProcessorsKeyPath(env) + "\\" + pi->pPrintProcessor);
    if (!processor) {
      lastError_ = ERROR_UNKNOWN_PRINTPROCESSOR;
      return FALSE;
    }
  }
  if (!Empty(pi->pDatatype) && !KnownDatatype(env, pi->pDatatype)) {
    lastError_ = ERROR_INVALID_DATATYPE;
    return FALSE;
  }
  // Strings not given keep their value; the numbers are always taken.
  if (!Empty(pi->pPortName)) SetString(p, "Port", pi->pPortName);
  if (driver) SetString(p, "Printer Driver", driver->name);
  if (processor) SetString(p, "Print Processor", processor->name);
  if (!Empty(pi->pDatatype)) SetString(p, "Datatype", pi->pDatatype);
  if (pi->pShareName) SetString(p, "Share Name", pi->pShareName);
  if (pi->pComment) SetString(p, "Description", pi->pComment);
  if (pi->pLocation) SetString(p, "Location", pi->pLocation);
  if (pi->pSepFile) SetString(p, "Separator File", pi->pSepFile);
  if (pi->pParameters) SetString(p, "Parameters", pi->pParameters);
  SetDword(p, "Attributes", pi->Attributes);
  SetDword(p, "Priority", pi->Priority);
  SetDword(p, "Default Priority", pi->DefaultPriority);
  SetDword(p, "StartTime", pi->StartTime);
  SetDword(p, "UntilTime", pi->UntilTime);
  const std::vector<BYTE> devMode = CopyDevMode(pi->pDevMode);
  if (!devMode.empty()) SetValue(p, "Default DevMode", REG_BINARY, devMode);
  {
    // A new port or driver shows in the printer's entries too (the spooler's
    // own writes, kept out of the caller's record).
    const auto failures = failures_;
    const size_t mark = operations_.size();
    std::ostream* trace = std::exchange(traceOut_, nullptr);
    const DWORD error = lastError_;
    const RegNode* used =
        UsableDriver(*this, StringValue(*p, "Printer Driver"));
    WriteDeviceEntries(*this, p->name,
                       used ? StringValue(*used, "Driver") : std::string(),
                       StringValue(*p, "Port"));
    operations_.resize(mark);
    traceOut_ = trace;
    failures_ = failures;
    lastError_ = error;
  }
  return TRUE;
}

LONG SimPlatform::DocumentPropertiesA(HWND, HANDLE printer, LPCSTR device,
                                      PDEVMODEA out, PDEVMODEA in, DWORD mode) {
  if (Enter("DocumentPropertiesA",
            HexText(reinterpret_cast<uintptr_t>(printer)) + ", " +
                ArgText(device) + ", " + std::to_string(mode)))
    return -1;
  if (SpoolerDown(*this)) return -1;
  RegNode* p = PrinterOfHandle(*this, printer);
  if (!p) return -1;
  RegNode* driver = UsableDriver(*this, StringValue(*p, "Printer Driver"));
  if (!driver) {
    lastError_ = ERROR_UNKNOWN_PRINTER_DRIVER;
    return -1;
  }
  std::vector<BYTE> dm = DefaultDevMode(*this, driver->name);
  const LONG size = static_cast<LONG>(dm.size());
  if (mode == 0) return size;
  if (mode & DM_OUT_BUFFER) {
    if (!out) {
      lastError_ = ERROR_INVALID_PARAMETER;
      return -1;
    }
    // The printer's own settings, when it has them, else the driver's.
    const std::vector<BYTE> stored = DevModeValue(*p);
    if (stored.size() == dm.size()) dm = stored;
    auto* result = reinterpret_cast<DEVMODEA*>(dm.data());
    if ((mode & DM_IN_BUFFER) && in) {
      if (in->dmFields & kDmOrientation)
        result->dmOrientation = in->dmOrientation;
      if (in->dmFields & kDmPaperSize) result->dmPaperSize = in->dmPaperSize;
      if (in->dmFields & kDmCopies) result->dmCopies = in->dmCopies;
      if (in->dmFields & kDmPrintQuality)
        result->dmPrintQuality = in->dmPrintQuality;
      if (in->dmFields & kDmColor) result->dmColor = in->dmColor;
    }
    std::memcpy(out, dm.data(), dm.size());
  }
  (void)kDmPrompt;  // no dialog is shown: the answer is OK
  return IDOK;
}

BOOL SimPlatform::EnumPrintersA(DWORD flags, LPCSTR name, DWORD level,
                                LPBYTE buffer, DWORD size, LPDWORD needed,
                                LPDWORD returned) {
  if (Enter("EnumPrintersA", HexText(flags) + ", " + ArgText(name) + ", " +
                                 std::to_string(level) + ", " +
                                 std::to_string(size)))
    return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  if (!needed || !returned) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  *returned = 0;
  if (!PrinterLevelKnown(*this, level)) {
    lastError_ = ERROR_INVALID_LEVEL;
    return FALSE;
  }
  std::vector<RegNode*> printers;
  if (flags & PRINTER_ENUM_LOCAL)
    for (const auto& n : PrinterNames(*this))
      if (RegNode* p = PrinterKey(*this, n)) printers.push_back(p);
  // Nothing to list is success with nothing needed.
  if (printers.empty()) {
    *needed = 0;
    return TRUE;
  }
  const bool ok =
      PackPrinters(*this, printers, level, buffer, size, needed, &lastError_);
  if (ok) *returned = static_cast<DWORD>(printers.size());
  return ok ? TRUE : FALSE;
}

BOOL SimPlatform::DeletePrinter(HANDLE printer) {
  if (Enter("DeletePrinter", HexText(reinterpret_cast<uintptr_t>(printer))))
    return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  RegNode* p = PrinterOfHandle(*this, printer);
  if (!p) return FALSE;
  const std::string name = p->name;
  // The spooler removes the record and the printer's [Devices] and
  // [PrinterPorts] entries itself; not calls of the caller's, so kept out of
  // the record and of the failures injected into the caller's calls.
  const auto failures = failures_;
  const size_t mark = operations_.size();
  std::ostream* trace = std::exchange(traceOut_, nullptr);
  const DWORD error = lastError_;
  const std::string path = std::string(kPrintersKeyPath) + "\\" + name;
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
  RemoveDeviceEntries(*this, name);
  // As Wine's spooler does, a default printer line naming the printer goes
  // with it.
  char device[1024] = {};
  GetProfileStringA("windows", "device", "", device, sizeof device);
  const std::string line = device;
  if (EqualNoCase(line.substr(0, line.find(',')), name))
    WriteProfileStringA("windows", "device", nullptr);
  operations_.resize(mark);
  traceOut_ = trace;
  failures_ = failures;
  lastError_ = error;
  // Every handle of the printer is now stale.
  for (auto& h : Handles(*this).handles)
    if (EqualNoCase(h.second.printer, name)) h.second.deleted = true;
  return TRUE;
}

BOOL SimPlatform::ClosePrinter(HANDLE printer) {
  if (Enter("ClosePrinter", HexText(reinterpret_cast<uintptr_t>(printer))))
    return FALSE;
  if (!Handles(*this).handles.erase(reinterpret_cast<uintptr_t>(printer))) {
    lastError_ = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  // The client's side of the handle goes even when the spooler cannot be
  // told.
  return SpoolerDown(*this) ? FALSE : TRUE;
}

}  // namespace kv::sim
