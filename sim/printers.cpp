// The simulated spooler's drivers, print processors and printers, kept in the
// registry as Windows keeps them (see sim/sim_printers.h), with Windows'
// refusals and error codes.
//
// Behaviour followed (documented Windows behaviour; Wine's spooler differs in
// places, noted where it matters):
// - AddPrinterDriverA copies the driver's files from the driver directory
//   into its version folder (w32x86\2 on NT 4.0, w32x86\3 on 2000/XP, the
//   system folder itself on 9x); a file found in neither fails with
//   ERROR_FILE_NOT_FOUND. Adding a driver that exists replaces it (the
//   APD_COPY_NEW_FILES upgrade of AddPrinterDriver); Wine refuses it with
//   ERROR_PRINTER_DRIVER_ALREADY_INSTALLED.
// - The environments served are "Windows NT x86" and "Windows 4.0" on the
//   NT family and only "Windows 4.0" on 9x; any other fails with
//   ERROR_INVALID_ENVIRONMENT.
// - AddPrintProcessorA loads the processor from the processor directory: a
//   missing file fails with ERROR_MOD_NOT_FOUND; a name already installed
//   with ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED.
// - AddPrinterA refuses, in this order: a bad name
//   (ERROR_INVALID_PRINTER_NAME), a name that exists
//   (ERROR_PRINTER_ALREADY_EXISTS; Wine adds it again), no port
//   (ERROR_UNKNOWN_PORT), an unknown driver (ERROR_UNKNOWN_PRINTER_DRIVER),
//   an empty or unknown processor (ERROR_UNKNOWN_PRINTPROCESSOR) and a data
//   type the processor does not know (ERROR_INVALID_DATATYPE; empty means
//   "RAW"). Ports are not checked against the monitors' port lists.
// - GetPrinterDriverA names every file with its full path, the dependent
//   files included.
// - Level 4 of EnumPrintersA and GetPrinterA exists on the NT family only.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>

#include "sim/file_paths.h"
#include "sim/sim_internal.h"
#include "sim/sim_printers.h"
#include "sim/sim_services.h"

namespace kv::sim {

namespace {

namespace fs = std::filesystem;

constexpr const char* kNtEnv = "Windows NT x86";
constexpr const char* k9xEnv = "Windows 4.0";
constexpr DWORD kPrinterEnumIcon8 = 0x00800000;
constexpr DWORD kDmOrientation = 0x1, kDmPaperSize = 0x2, kDmCopies = 0x100,
                kDmPrintQuality = 0x400, kDmColor = 0x800,
                kDmYResolution = 0x2000, kDmFormName = 0x10000;
constexpr DWORD kDmPrompt = 4;
constexpr WORD kDriverExtraBytes = 64;

bool Empty(LPCSTR s) { return !s || !*s; }
std::string Str(LPCSTR s) { return s ? s : ""; }

// ---- Registry records -------------------------------------------------------

std::string GetString(const RegNode& node, const char* name) {
  auto it = node.values.find(name);
  if (it == node.values.end()) return "";
  const auto& d = it->second.data;
  return std::string(reinterpret_cast<const char*>(d.data()),
                     strnlen(reinterpret_cast<const char*>(d.data()), d.size()));
}

DWORD GetDword(const RegNode& node, const char* name) {
  auto it = node.values.find(name);
  if (it == node.values.end() || it->second.data.size() < 4) return 0;
  DWORD v;
  std::memcpy(&v, it->second.data.data(), 4);
  return v;
}

std::vector<std::string> GetMultiSz(const RegNode& node, const char* name) {
  std::vector<std::string> out;
  auto it = node.values.find(name);
  if (it == node.values.end()) return out;
  const auto& d = it->second.data;
  size_t i = 0;
  while (i < d.size() && d[i]) {
    const char* s = reinterpret_cast<const char*>(d.data() + i);
    const size_t n = strnlen(s, d.size() - i);
    out.emplace_back(s, n);
    i += n + 1;
  }
  return out;
}

void PutValue(RegNode* node, const char* name, DWORD type,
              std::vector<BYTE> data) {
  RegValue v;
  v.name = name;
  v.type = type;
  v.data = std::move(data);
  node->values[name] = std::move(v);
}

void PutString(RegNode* node, const char* name, const std::string& s) {
  std::vector<BYTE> d(s.begin(), s.end());
  d.push_back(0);
  PutValue(node, name, REG_SZ, std::move(d));
}

void PutDword(RegNode* node, const char* name, DWORD value) {
  std::vector<BYTE> d(4);
  std::memcpy(d.data(), &value, 4);
  PutValue(node, name, REG_DWORD, std::move(d));
}

void PutMultiSz(RegNode* node, const char* name,
                const std::vector<std::string>& list) {
  std::vector<BYTE> d;
  for (const auto& s : list) {
    d.insert(d.end(), s.begin(), s.end());
    d.push_back(0);
  }
  d.push_back(0);
  PutValue(node, name, REG_MULTI_SZ, std::move(d));
}

// ---- Environments, folders, drivers ------------------------------------------

const char* OwnEnvironment(const SimPlatform& os) {
  return IsWin9x(os.version()) ? k9xEnv : kNtEnv;
}

// The environment an argument names (null: the machine's own), or null when
// the machine does not serve it.
const char* ServedEnvironment(const SimPlatform& os, LPCSTR env) {
  if (Empty(env)) return OwnEnvironment(os);
  if (EqualNoCase(env, k9xEnv)) return k9xEnv;
  if (!IsWin9x(os.version()) && EqualNoCase(env, kNtEnv)) return kNtEnv;
  return nullptr;
}

bool IsNt4(const SimPlatform& os) {
  return os.version() == WindowsVersion::NT4 ||
         os.version() == WindowsVersion::NT351;
}

// The driver version the machine's spooler files a driver of `env` under.
DWORD DriverVersion(const SimPlatform& os, const std::string& env) {
  if (env == k9xEnv) return 0;
  return IsNt4(os) ? 2 : 3;
}

// Where the installed files of a driver of `env` live.
std::string VersionDirectory(const SimPlatform& os, const std::string& env) {
  const std::string base = DriverDirectory(os, env);
  if (IsWin9x(os.version())) return base;
  return base + "\\" + std::to_string(DriverVersion(os, env));
}

std::string DriversKeyPath(const SimPlatform& os, const std::string& env) {
  std::string path = std::string(kPrintKeyPath) + "\\Environments\\" + env +
                     "\\Drivers";
  if (!IsWin9x(os.version()))
    path += "\\Version-" + std::to_string(DriverVersion(os, env));
  return path;
}

std::string ProcessorsKeyPath(const std::string& env) {
  return std::string(kPrintKeyPath) + "\\Environments\\" + env +
         "\\Print Processors";
}

RegNode* DriverKey(const SimPlatform& os, const std::string& env,
                   const std::string& name) {
  if (name.empty() || name.find('\\') != std::string::npos) return nullptr;
  return os.FindKey(HKEY_LOCAL_MACHINE, DriversKeyPath(os, env) + "\\" + name);
}

std::string HostOf(const SimPlatform& os, const std::string& winPath) {
  ResolvedPath p = ResolveWinPath(os.machineDir(), winPath);
  return p.error ? std::string() : p.host;
}

bool FileExists(const SimPlatform& os, const std::string& winPath) {
  const std::string host = HostOf(os, winPath);
  return !host.empty() && KindOf(host) == HostKind::File;
}

bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name.find_first_of("\\/:") == std::string::npos;
}

// The data types each environment's "WinPrint" knows. A processor the
// installer added is taken to know RAW and the EMF of its family.
bool KnownDatatype(const std::string& env, const std::string& type) {
  static const char* const kNt[] = {"RAW",          "RAW [FF appended]",
                                    "RAW [FF auto]", "NT EMF 1.003",
                                    "NT EMF 1.006", "NT EMF 1.007",
                                    "NT EMF 1.008", "TEXT"};
  static const char* const k9x[] = {"RAW", "EMF"};
  if (env == k9xEnv)
    return std::any_of(std::begin(k9x), std::end(k9x),
                       [&](const char* t) { return EqualNoCase(t, type); });
  return std::any_of(std::begin(kNt), std::end(kNt),
                     [&](const char* t) { return EqualNoCase(t, type); });
}

// ---- Device modes ------------------------------------------------------------

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
  if (!dm || dm->dmSize < offsetof(DEVMODEA, dmFormName) ||
      dm->dmSize > 4096 || dm->dmDriverExtra > 65535 - 4096)
    return {};
  const auto* p = reinterpret_cast<const BYTE*>(dm);
  return std::vector<BYTE>(p, p + dm->dmSize + dm->dmDriverExtra);
}

// ---- Printer handles ------------------------------------------------------------

struct PrinterHandles : SimPlatform::Extension {
  struct Handle {
    std::string printer;  // empty: a handle of the print server
    bool deleted = false;
  };
  std::map<uintptr_t, Handle> handles;
};

PrinterHandles& Handles(SimPlatform& os) {
  return os.extension<PrinterHandles>("printers.handles");
}

// ---- Records packed into a caller's buffer ---------------------------------------

// Packs records followed by their strings and blobs. Run once without a
// buffer to measure, then again to write.
class Packer {
 public:
  Packer(LPBYTE base, size_t fixed) : base_(base), pos_(fixed) {}
  char* Text(const std::string& s) {
    const size_t at = pos_;
    pos_ += s.size() + 1;
    if (!base_) return nullptr;
    std::memcpy(base_ + at, s.c_str(), s.size() + 1);
    return reinterpret_cast<char*>(base_ + at);
  }
  // A list of zero-terminated texts ending in an empty one.
  char* List(const std::vector<std::string>& items) {
    const size_t at = pos_;
    for (const auto& s : items) Text(s);
    Text("");
    return base_ ? reinterpret_cast<char*>(base_ + at) : nullptr;
  }
  BYTE* Blob(const std::vector<BYTE>& b) {
    if (b.empty()) return nullptr;
    pos_ = (pos_ + 7) & ~size_t(7);
    const size_t at = pos_;
    pos_ += b.size();
    if (!base_) return nullptr;
    std::memcpy(base_ + at, b.data(), b.size());
    return base_ + at;
  }
  size_t size() const { return pos_; }

 private:
  LPBYTE base_;
  size_t pos_;
};

// Measures with `fill(nullptr packer...)`, then writes when the buffer is
// large enough. `fill(packer, index, write)` fills record `index`.
template <typename Record, typename Fill>
bool PackRecords(size_t count, LPBYTE buffer, DWORD size, LPDWORD needed,
                 DWORD* lastError, Fill fill) {
  const size_t fixed = count * sizeof(Record);
  Packer measure(nullptr, fixed);
  Record scratch;
  for (size_t i = 0; i < count; ++i) fill(measure, scratch, i);
  const size_t total = (measure.size() + 3) & ~size_t(3);
  if (needed) *needed = static_cast<DWORD>(total);
  if (!buffer || size < total) {
    *lastError = ERROR_INSUFFICIENT_BUFFER;
    return false;
  }
  std::memset(buffer, 0, total);
  Packer write(buffer, fixed);
  for (size_t i = 0; i < count; ++i) {
    Record r{};
    fill(write, r, i);
    std::memcpy(buffer + i * sizeof(Record), &r, sizeof(Record));
  }
  return true;
}

// ---- Printers ------------------------------------------------------------------

bool ValidPrinterName(const std::string& name) {
  return !name.empty() && name.size() < 221 &&
         name.find_first_of("\\,!") == std::string::npos;
}

// The names of the installed printers, in registry order.
std::vector<std::string> PrinterNames(const SimPlatform& os) {
  std::vector<std::string> names;
  if (RegNode* printers = os.FindKey(HKEY_LOCAL_MACHINE, kPrintersKeyPath))
    for (const auto& s : printers->subkeys) names.push_back(s.second->name);
  return names;
}

std::vector<BYTE> DevModeValue(const RegNode& printer) {
  auto it = printer.values.find("Default DevMode");
  return it == printer.values.end() ? std::vector<BYTE>() : it->second.data;
}

void FillPrinter2(const SimPlatform&, const RegNode& p, Packer& k,
                  PRINTER_INFO_2A& r) {
  r.pServerName = nullptr;
  r.pPrinterName = k.Text(GetString(p, "Name"));
  r.pShareName = k.Text(GetString(p, "Share Name"));
  r.pPortName = k.Text(GetString(p, "Port"));
  r.pDriverName = k.Text(GetString(p, "Printer Driver"));
  r.pComment = k.Text(GetString(p, "Description"));
  r.pLocation = k.Text(GetString(p, "Location"));
  r.pDevMode = reinterpret_cast<LPDEVMODEA>(k.Blob(DevModeValue(p)));
  r.pSepFile = k.Text(GetString(p, "Separator File"));
  r.pPrintProcessor = k.Text(GetString(p, "Print Processor"));
  r.pDatatype = k.Text(GetString(p, "Datatype"));
  r.pParameters = k.Text(GetString(p, "Parameters"));
  r.pSecurityDescriptor = nullptr;
  r.Attributes = GetDword(p, "Attributes");
  r.Priority = GetDword(p, "Priority");
  r.DefaultPriority = GetDword(p, "Default Priority");
  r.StartTime = GetDword(p, "StartTime");
  r.UntilTime = GetDword(p, "UntilTime");
  r.Status = GetDword(p, "Status");
  r.cJobs = 0;
  r.AveragePPM = 0;
}

void FillPrinter1(const RegNode& p, Packer& k, PRINTER_INFO_1A& r) {
  r.Flags = kPrinterEnumIcon8;
  const std::string name = GetString(p, "Name");
  r.pDescription = k.Text(name + "," + GetString(p, "Printer Driver") + "," +
                          GetString(p, "Location"));
  r.pName = k.Text(name);
  r.pComment = k.Text(GetString(p, "Description"));
}

void FillPrinter4(const RegNode& p, Packer& k, PRINTER_INFO_4A& r) {
  r.pPrinterName = k.Text(GetString(p, "Name"));
  r.pServerName = nullptr;
  r.Attributes = GetDword(p, "Attributes");
}

// The driver a printer of this machine can use, in the machine's own
// environment (the NT family accepts its older driver version too).
RegNode* UsableDriver(const SimPlatform& os, const std::string& name) {
  if (RegNode* d = DriverKey(os, OwnEnvironment(os), name)) return d;
  if (!IsWin9x(os.version()) && !IsNt4(os))
    return os.FindKey(HKEY_LOCAL_MACHINE,
                      std::string(kPrintKeyPath) +
                          "\\Environments\\Windows NT x86\\Drivers\\Version-2\\" +
                          name);
  return nullptr;
}

}  // namespace

// ---- Layout and test access ---------------------------------------------------

std::string DriverDirectory(const SimPlatform& os, const std::string& env) {
  if (IsWin9x(os.version()))
    return EqualNoCase(env, k9xEnv) ? os.systemDir() : std::string();
  if (EqualNoCase(env, kNtEnv)) return os.systemDir() + "\\spool\\drivers\\w32x86";
  if (EqualNoCase(env, k9xEnv)) return os.systemDir() + "\\spool\\drivers\\win40";
  return std::string();
}

std::string PrintProcessorDirectory(const SimPlatform& os) {
  return IsWin9x(os.version()) ? os.systemDir()
                               : os.systemDir() + "\\spool\\prtprocs\\w32x86";
}

RegNode* PrinterKey(const SimPlatform& os, const std::string& name) {
  if (name.empty() || name.find('\\') != std::string::npos) return nullptr;
  return os.FindKey(HKEY_LOCAL_MACHINE, std::string(kPrintersKeyPath) + "\\" + name);
}

size_t OpenPrinterHandles(SimPlatform& os) { return Handles(os).handles.size(); }

void LayOutPrinting(SimPlatform& os) {
  const bool nt = !IsWin9x(os.version());
  RegNode* winprint = os.CreateKeyPath(
      HKEY_LOCAL_MACHINE, ProcessorsKeyPath(OwnEnvironment(os)) + "\\WinPrint");
  PutString(winprint, "Driver", nt ? "winprint.dll" : "WINPRINT.DLL");
  os.CreateKeyPath(HKEY_LOCAL_MACHINE, kPrintersKeyPath);
  os.CreateKeyPath(HKEY_CURRENT_CONFIG,
                   "System\\CurrentControlSet\\Control\\Print\\Printers");
  std::error_code ec;
  fs::create_directories(HostOf(os, VersionDirectory(os, OwnEnvironment(os))), ec);
  fs::create_directories(HostOf(os, PrintProcessorDirectory(os)), ec);
  if (!nt) {
    // A PC of the 9x era: the BIOS reports LPT1 and COM1, the system board
    // sits under ROOT.
    struct Device {
      const char* path;
      const char* cls;
      const char* desc;
    };
    const Device devices[] = {
        {"Enum\\BIOS\\*PNP0400\\0D", "Ports", "Printer Port (LPT1)"},
        {"Enum\\BIOS\\*PNP0500\\0A", "Ports", "Communications Port (COM1)"},
        {"Enum\\ROOT\\*PNP0C01\\0000", "System", "System board"},
    };
    for (const auto& d : devices) {
      RegNode* node = os.CreateKeyPath(HKEY_LOCAL_MACHINE, d.path);
      PutString(node, "Class", d.cls);
      PutString(node, "DeviceDesc", d.desc);
    }
  }
  LayOutServices(os);
}

// ---- Print processors -----------------------------------------------------------

BOOL SimPlatform::AddPrintProcessorA(LPCSTR server, LPCSTR environment,
                                     LPCSTR file, LPCSTR name) {
  if (Enter("AddPrintProcessorA", ArgText(server) + ", " + ArgText(environment) +
                                      ", " + ArgText(file) + ", " + ArgText(name)))
    return FALSE;
  if (!Empty(server)) {
    lastError_ = ERROR_INVALID_NAME;
    return FALSE;
  }
  const char* env = ServedEnvironment(*this, environment);
  if (!env || env != OwnEnvironment(*this)) {
    lastError_ = ERROR_INVALID_ENVIRONMENT;
    return FALSE;
  }
  if (Empty(name) || std::strchr(name, '\\') || !IsPlainFileName(Str(file))) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  const std::string keyPath = ProcessorsKeyPath(env) + "\\" + name;
  if (FindKey(HKEY_LOCAL_MACHINE, keyPath)) {
    lastError_ = ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED;
    return FALSE;
  }
  if (!FileExists(*this, PrintProcessorDirectory(*this) + "\\" + file)) {
    lastError_ = ERROR_MOD_NOT_FOUND;
    return FALSE;
  }
  PutString(CreateKeyPath(HKEY_LOCAL_MACHINE, keyPath), "Driver", file);
  return TRUE;
}

// ---- Drivers --------------------------------------------------------------------

BOOL SimPlatform::AddPrinterDriverA(LPCSTR server, DWORD level, LPBYTE info) {
  const auto* di = reinterpret_cast<const DRIVER_INFO_3A*>(info);
  std::string args = ArgText(server) + ", " + std::to_string(level);
  if (di && (level == 2 || level == 3))
    args += ", " + ArgText(di->pName) + ", " + ArgText(di->pEnvironment);
  if (Enter("AddPrinterDriverA", args)) return FALSE;
  if (!Empty(server)) {
    lastError_ = ERROR_INVALID_NAME;
    return FALSE;
  }
  if (level != 2 && level != 3) {
    lastError_ = ERROR_INVALID_LEVEL;
    return FALSE;
  }
  if (!di) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  const char* env = ServedEnvironment(*this, di->pEnvironment);
  if (!env) {
    lastError_ = ERROR_INVALID_ENVIRONMENT;
    return FALSE;
  }
  const std::string name = Str(di->pName);
  if (name.empty() || name.find('\\') != std::string::npos ||
      !IsPlainFileName(Str(di->pDriverPath)) ||
      !IsPlainFileName(Str(di->pDataFile)) ||
      !IsPlainFileName(Str(di->pConfigFile))) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  std::vector<std::string> files = {di->pDriverPath, di->pDataFile,
                                    di->pConfigFile};
  std::string help, monitor, datatype;
  std::vector<std::string> dependents;
  if (level == 3) {
    help = Str(di->pHelpFile);
    monitor = Str(di->pMonitorName);
    datatype = Str(di->pDefaultDataType);
    if (!help.empty()) files.push_back(help);
    for (const char* p = di->pDependentFiles; p && *p; p += std::strlen(p) + 1)
      dependents.push_back(p);
    files.insert(files.end(), dependents.begin(), dependents.end());
  }
  // Every file must be in the driver directory (to be copied into the
  // version folder) or already in the version folder.
  const std::string from = DriverDirectory(*this, env);
  const std::string to = VersionDirectory(*this, env);
  std::vector<std::pair<std::string, std::string>> copies;
  for (const auto& f : files) {
    if (!IsPlainFileName(f)) {
      lastError_ = ERROR_INVALID_PARAMETER;
      return FALSE;
    }
    if (FileExists(*this, from + "\\" + f)) {
      if (from != to) copies.emplace_back(from + "\\" + f, to + "\\" + f);
    } else if (!FileExists(*this, to + "\\" + f)) {
      lastError_ = ERROR_FILE_NOT_FOUND;
      return FALSE;
    }
  }
  std::error_code ec;
  fs::create_directories(HostOf(*this, to), ec);
  for (const auto& c : copies) {
    const std::string target = HostOf(*this, c.second);
    if (IsFileInUse(c.second) ||
        !fs::copy_file(HostOf(*this, c.first), target,
                       fs::copy_options::overwrite_existing, ec)) {
      lastError_ = IsFileInUse(c.second) ? ERROR_SHARING_VIOLATION
                                         : ERROR_ACCESS_DENIED;
      return FALSE;
    }
  }
  RegNode* key =
      CreateKeyPath(HKEY_LOCAL_MACHINE, DriversKeyPath(*this, env) + "\\" + name);
  key->values.clear();
  PutString(key, "Configuration File", di->pConfigFile);
  PutString(key, "Data File", di->pDataFile);
  PutString(key, "Driver", di->pDriverPath);
  PutString(key, "Help File", help);
  PutString(key, "Monitor", monitor);
  PutString(key, "Datatype", datatype);
  PutMultiSz(key, "Dependent Files", dependents);
  PutDword(key, "Version", DriverVersion(*this, env));
  return TRUE;
}

BOOL SimPlatform::DeletePrinterDriverA(LPCSTR server, LPCSTR environment,
                                       LPCSTR name) {
  if (Enter("DeletePrinterDriverA",
            ArgText(server) + ", " + ArgText(environment) + ", " + ArgText(name)))
    return FALSE;
  if (!Empty(server)) {
    lastError_ = ERROR_INVALID_NAME;
    return FALSE;
  }
  const char* env = ServedEnvironment(*this, environment);
  if (!env) {
    lastError_ = ERROR_INVALID_ENVIRONMENT;
    return FALSE;
  }
  if (!DriverKey(*this, env, Str(name))) {
    lastError_ = ERROR_UNKNOWN_PRINTER_DRIVER;
    return FALSE;
  }
  if (env == OwnEnvironment(*this)) {
    for (const auto& p : PrinterNames(*this)) {
      RegNode* printer = PrinterKey(*this, p);
      if (printer && EqualNoCase(GetString(*printer, "Printer Driver"), name)) {
        lastError_ = ERROR_PRINTER_DRIVER_IN_USE;
        return FALSE;
      }
    }
  }
  // The record goes; the files stay, as DeletePrinterDriver leaves them.
  // Removed through the registry so that open keys stay valid, but kept out
  // of the record: the caller made no registry call.
  const size_t mark = operations_.size();
  std::ostream* trace = traceOut_;
  traceOut_ = nullptr;
  const std::string path = DriversKeyPath(*this, env) + "\\" + name;
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
  operations_.resize(mark);
  traceOut_ = trace;
  return TRUE;
}

BOOL SimPlatform::GetPrinterDriverA(HANDLE printer, LPCSTR environment,
                                    DWORD level, LPBYTE buffer, DWORD size,
                                    LPDWORD needed) {
  if (Enter("GetPrinterDriverA", HexText(reinterpret_cast<uintptr_t>(printer)) +
                                     ", " + ArgText(environment) + ", " +
                                     std::to_string(level)))
    return FALSE;
  auto& handles = Handles(*this).handles;
  auto h = handles.find(reinterpret_cast<uintptr_t>(printer));
  if (h == handles.end() || h->second.deleted || h->second.printer.empty()) {
    lastError_ = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  if (level < 1 || level > 3) {
    lastError_ = ERROR_INVALID_LEVEL;
    return FALSE;
  }
  const char* env = ServedEnvironment(*this, environment);
  if (!env) {
    lastError_ = ERROR_INVALID_ENVIRONMENT;
    return FALSE;
  }
  RegNode* p = PrinterKey(*this, h->second.printer);
  const std::string driverName = p ? GetString(*p, "Printer Driver") : "";
  RegNode* d = DriverKey(*this, env, driverName);
  if (!d && env == OwnEnvironment(*this)) d = UsableDriver(*this, driverName);
  if (!d) {
    lastError_ = ERROR_UNKNOWN_PRINTER_DRIVER;
    return FALSE;
  }
  const std::string dir = VersionDirectory(*this, env) + "\\";
  auto full = [&](const std::string& f) { return f.empty() ? f : dir + f; };
  const DWORD version = GetDword(*d, "Version");
  auto fill = [&](Packer& k, DRIVER_INFO_3A& r, size_t) {
    r.cVersion = version;
    r.pName = k.Text(d->name);
    if (level == 1) return;
    r.pEnvironment = k.Text(env);
    r.pDriverPath = k.Text(full(GetString(*d, "Driver")));
    r.pDataFile = k.Text(full(GetString(*d, "Data File")));
    r.pConfigFile = k.Text(full(GetString(*d, "Configuration File")));
    if (level == 2) return;
    r.pHelpFile = k.Text(full(GetString(*d, "Help File")));
    std::vector<std::string> deps = GetMultiSz(*d, "Dependent Files");
    for (auto& f : deps) f = full(f);
    r.pDependentFiles = k.List(deps);
    r.pMonitorName = k.Text(GetString(*d, "Monitor"));
    r.pDefaultDataType = k.Text(GetString(*d, "Datatype"));
  };
  // The fixed part of levels 1 and 2 is a prefix of level 3's.
  const size_t fixed = level == 1 ? sizeof(LPSTR)
                       : level == 2 ? offsetof(DRIVER_INFO_3A, pHelpFile)
                                    : sizeof(DRIVER_INFO_3A);
  Packer measure(nullptr, fixed);
  DRIVER_INFO_3A scratch{};
  fill(measure, scratch, 0);
  const DWORD total = static_cast<DWORD>((measure.size() + 3) & ~size_t(3));
  if (needed) *needed = total;
  if (!buffer || size < total) {
    lastError_ = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  std::memset(buffer, 0, total);
  Packer write(buffer, fixed);
  DRIVER_INFO_3A r{};
  fill(write, r, 0);
  if (level == 1)
    std::memcpy(buffer, &r.pName, sizeof(LPSTR));
  else
    std::memcpy(buffer, &r, fixed);
  return TRUE;
}

BOOL SimPlatform::GetPrinterDriverDirectoryA(LPCSTR server, LPCSTR environment,
                                             DWORD level, LPBYTE buffer,
                                             DWORD size, LPDWORD needed) {
  if (Enter("GetPrinterDriverDirectoryA",
            ArgText(server) + ", " + ArgText(environment) + ", " +
                std::to_string(level)))
    return FALSE;
  if (!Empty(server)) {
    lastError_ = ERROR_INVALID_NAME;
    return FALSE;
  }
  if (level != 1) {
    lastError_ = ERROR_INVALID_LEVEL;
    return FALSE;
  }
  const char* env = ServedEnvironment(*this, environment);
  if (!env) {
    lastError_ = ERROR_INVALID_ENVIRONMENT;
    return FALSE;
  }
  const std::string dir = DriverDirectory(*this, env);
  if (needed) *needed = static_cast<DWORD>(dir.size() + 1);
  if (!buffer || size < dir.size() + 1) {
    lastError_ = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  std::memcpy(buffer, dir.c_str(), dir.size() + 1);
  return TRUE;
}

// ---- Printers ---------------------------------------------------------------------

HANDLE SimPlatform::AddPrinterA(LPCSTR server, DWORD level, LPBYTE info) {
  const auto* pi = reinterpret_cast<const PRINTER_INFO_2A*>(info);
  std::string args = ArgText(server) + ", " + std::to_string(level);
  if (pi && level == 2)
    args += ", " + ArgText(pi->pPrinterName) + ", " + ArgText(pi->pPortName) +
            ", " + ArgText(pi->pDriverName);
  if (Enter("AddPrinterA", args)) return nullptr;
  if (!Empty(server)) {
    lastError_ = ERROR_INVALID_NAME;
    return nullptr;
  }
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
  if (!processor || std::strchr(pi->pPrintProcessor, '\\')) {
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
  PutString(p, "Name", name);
  PutString(p, "Share Name", Str(pi->pShareName));
  PutString(p, "Port", pi->pPortName);
  PutString(p, "Printer Driver", driver->name);
  PutString(p, "Description", Str(pi->pComment));
  PutString(p, "Location", Str(pi->pLocation));
  PutString(p, "Print Processor", processor->name);
  PutString(p, "Datatype", datatype);
  PutString(p, "Parameters", Str(pi->pParameters));
  PutString(p, "Separator File", Str(pi->pSepFile));
  PutDword(p, "Attributes", pi->Attributes);
  PutDword(p, "Priority", pi->Priority);
  PutDword(p, "Default Priority", pi->DefaultPriority);
  PutDword(p, "StartTime", pi->StartTime);
  PutDword(p, "UntilTime", pi->UntilTime);
  PutDword(p, "Status", 0);
  const std::vector<BYTE> devMode = CopyDevMode(pi->pDevMode);
  if (!devMode.empty()) PutValue(p, "Default DevMode", REG_BINARY, devMode);

  const uintptr_t h = NewHandle();
  Handles(*this).handles[h].printer = name;
  RecordResult(HexText(h));
  return reinterpret_cast<HANDLE>(h);
}

BOOL SimPlatform::OpenPrinterA(LPCSTR name, LPHANDLE printer,
                               LPPRINTER_DEFAULTSA) {
  if (Enter("OpenPrinterA", ArgText(name))) return FALSE;
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
  if (Enter("GetPrinterA", HexText(reinterpret_cast<uintptr_t>(printer)) +
                               ", " + std::to_string(level) + ", " +
                               std::to_string(size)))
    return FALSE;
  RegNode* p = PrinterOfHandle(*this, printer);
  if (!p) return FALSE;
  bool ok = false;
  switch (level) {
    case 1:
      ok = PackRecords<PRINTER_INFO_1A>(
          1, buffer, size, needed, &lastError_,
          [&](Packer& k, PRINTER_INFO_1A& r, size_t) { FillPrinter1(*p, k, r); });
      break;
    case 2:
      ok = PackRecords<PRINTER_INFO_2A>(
          1, buffer, size, needed, &lastError_,
          [&](Packer& k, PRINTER_INFO_2A& r, size_t) {
            FillPrinter2(*this, *p, k, r);
          });
      break;
    case 4:
      if (IsWin9x(version_)) break;
      ok = PackRecords<PRINTER_INFO_4A>(
          1, buffer, size, needed, &lastError_,
          [&](Packer& k, PRINTER_INFO_4A& r, size_t) { FillPrinter4(*p, k, r); });
      break;
    default:
      break;
  }
  if (!ok && (level == 3 || level > 4 || level == 0 ||
              (level == 4 && IsWin9x(version_))))
    lastError_ = ERROR_INVALID_LEVEL;
  return ok ? TRUE : FALSE;
}

BOOL SimPlatform::SetPrinterA(HANDLE printer, DWORD level, LPBYTE info,
                              DWORD command) {
  if (Enter("SetPrinterA", HexText(reinterpret_cast<uintptr_t>(printer)) +
                               ", " + std::to_string(level) + ", " +
                               std::to_string(command)))
    return FALSE;
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
  if (!Empty(pi->pPortName)) PutString(p, "Port", pi->pPortName);
  if (driver) PutString(p, "Printer Driver", driver->name);
  if (processor) PutString(p, "Print Processor", processor->name);
  if (!Empty(pi->pDatatype)) PutString(p, "Datatype", pi->pDatatype);
  if (pi->pShareName) PutString(p, "Share Name", pi->pShareName);
  if (pi->pComment) PutString(p, "Description", pi->pComment);
  if (pi->pLocation) PutString(p, "Location", pi->pLocation);
  if (pi->pSepFile) PutString(p, "Separator File", pi->pSepFile);
  if (pi->pParameters) PutString(p, "Parameters", pi->pParameters);
  PutDword(p, "Attributes", pi->Attributes);
  PutDword(p, "Priority", pi->Priority);
  PutDword(p, "Default Priority", pi->DefaultPriority);
  PutDword(p, "StartTime", pi->StartTime);
  PutDword(p, "UntilTime", pi->UntilTime);
  const std::vector<BYTE> devMode = CopyDevMode(pi->pDevMode);
  if (!devMode.empty()) PutValue(p, "Default DevMode", REG_BINARY, devMode);
  return TRUE;
}

LONG SimPlatform::DocumentPropertiesA(HWND, HANDLE printer, LPCSTR device,
                                      PDEVMODEA out, PDEVMODEA in,
                                      DWORD mode) {
  if (Enter("DocumentPropertiesA",
            HexText(reinterpret_cast<uintptr_t>(printer)) + ", " +
                ArgText(device) + ", " + std::to_string(mode)))
    return -1;
  RegNode* p = PrinterOfHandle(*this, printer);
  if (!p) return -1;
  RegNode* driver = UsableDriver(*this, GetString(*p, "Printer Driver"));
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
      if (in->dmFields & kDmOrientation) result->dmOrientation = in->dmOrientation;
      if (in->dmFields & kDmPaperSize) result->dmPaperSize = in->dmPaperSize;
      if (in->dmFields & kDmCopies) result->dmCopies = in->dmCopies;
      if (in->dmFields & kDmPrintQuality) result->dmPrintQuality = in->dmPrintQuality;
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
  if (!needed || !returned) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  *returned = 0;
  if (level != 1 && level != 2 && !(level == 4 && !IsWin9x(version_))) {
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
  bool ok = false;
  switch (level) {
    case 1:
      ok = PackRecords<PRINTER_INFO_1A>(
          printers.size(), buffer, size, needed, &lastError_,
          [&](Packer& k, PRINTER_INFO_1A& r, size_t i) {
            FillPrinter1(*printers[i], k, r);
          });
      break;
    case 2:
      ok = PackRecords<PRINTER_INFO_2A>(
          printers.size(), buffer, size, needed, &lastError_,
          [&](Packer& k, PRINTER_INFO_2A& r, size_t i) {
            FillPrinter2(*this, *printers[i], k, r);
          });
      break;
    default:
      ok = PackRecords<PRINTER_INFO_4A>(
          printers.size(), buffer, size, needed, &lastError_,
          [&](Packer& k, PRINTER_INFO_4A& r, size_t i) {
            FillPrinter4(*printers[i], k, r);
          });
      break;
  }
  if (ok) *returned = static_cast<DWORD>(printers.size());
  return ok ? TRUE : FALSE;
}

BOOL SimPlatform::DeletePrinter(HANDLE printer) {
  if (Enter("DeletePrinter", HexText(reinterpret_cast<uintptr_t>(printer))))
    return FALSE;
  RegNode* p = PrinterOfHandle(*this, printer);
  if (!p) return FALSE;
  const std::string name = p->name;
  // The spooler removes the record itself; not a registry call of the
  // caller's, so kept out of the record.
  const size_t mark = operations_.size();
  std::ostream* trace = traceOut_;
  traceOut_ = nullptr;
  const std::string path = std::string(kPrintersKeyPath) + "\\" + name;
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
  operations_.resize(mark);
  traceOut_ = trace;
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
  return TRUE;
}

}  // namespace kv::sim
