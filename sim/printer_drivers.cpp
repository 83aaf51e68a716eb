// The simulated spooler's printer drivers, kept in the registry as Windows
// keeps them (see sim/sim_printers.h), with Windows' refusals and error
// codes.
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
// - GetPrinterDriverA and EnumPrinterDriversA name every file with its full
//   path, the dependent files included.
// - EnumPrinterDriversA lists the drivers of one environment in registry
//   order; on Windows 2000 and XP the NT environment's version-2 drivers
//   follow the version-3 ones, as both serve printers there. Levels 1 to 3
//   (the later levels of Windows 2000 are not simulated). An empty list is
//   success with nothing needed, as EnumPrintersA answers.
#include <cstddef>
#include <cstring>
#include <filesystem>

#include "sim/enum_buffer.h"
#include "sim/host_files.h"
#include "sim/spooler_records.h"

namespace kv::sim {

namespace fs = std::filesystem;

namespace {

// Fills the fields of `level` (1 to 3) for driver record `d` of `env`. The
// fixed parts of levels 1 and 2 are prefixes of level 3's (level 1's from
// pName on).
void FillDriver(const SimPlatform& os, const RegNode& d, const char* env,
                DWORD level, Packer& k, DRIVER_INFO_3A& r) {
  r.cVersion = DwordValue(d, "Version");
  // The folder of the record's own version: an older driver that 2000 and
  // XP still serve keeps its files in its own version folder.
  const std::string dir =
      (IsWin9x(os.version())
           ? VersionDirectory(os, env)
           : DriverDirectory(os, env) + "\\" + std::to_string(r.cVersion)) +
      "\\";
  auto full = [&](const std::string& f) { return f.empty() ? f : dir + f; };
  r.pName = k.Text(d.name);
  if (level == 1) return;
  r.pEnvironment = k.Text(env);
  r.pDriverPath = k.Text(full(StringValue(d, "Driver")));
  r.pDataFile = k.Text(full(StringValue(d, "Data File")));
  r.pConfigFile = k.Text(full(StringValue(d, "Configuration File")));
  if (level == 2) return;
  r.pHelpFile = k.Text(full(StringValue(d, "Help File")));
  std::vector<std::string> deps = MultiSzValue(d, "Dependent Files");
  for (auto& f : deps) f = full(f);
  r.pDependentFiles = k.List(deps);
  r.pMonitorName = k.Text(StringValue(d, "Monitor"));
  r.pDefaultDataType = k.Text(StringValue(d, "Datatype"));
}

// The records of `env`'s drivers, as EnumPrinterDriversA lists them.
std::vector<const RegNode*> DriverRecords(const SimPlatform& os,
                                          const char* env) {
  std::vector<std::string> paths = {DriversKeyPath(os, env)};
  if (env == kNtEnv && DriverVersion(os, env) == 3)
    paths.push_back(std::string(kPrintKeyPath) +
                    "\\Environments\\Windows NT x86\\Drivers\\Version-2");
  std::vector<const RegNode*> records;
  for (const auto& path : paths)
    if (RegNode* drivers = os.FindKey(HKEY_LOCAL_MACHINE, path))
      for (const auto& d : drivers->subkeys) records.push_back(d.second.get());
  return records;
}

// Packs `records` as an array of `Record` (DRIVER_INFO_1A to _3A).
template <typename Record>
bool PackDrivers(const SimPlatform& os,
                 const std::vector<const RegNode*>& records, const char* env,
                 DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                 DWORD* lastError) {
  return PackRecords<Record>(
      records.size(), buffer, size, needed, lastError,
      [&](Packer& k, Record& r, size_t i) {
        DRIVER_INFO_3A full{};
        FillDriver(os, *records[i], env, level, k, full);
        const void* from = level == 1 ? static_cast<const void*>(&full.pName)
                                      : static_cast<const void*>(&full);
        std::memcpy(&r, from, sizeof r);
      });
}

}  // namespace

// ---- Drivers ----------------------------------------------------------------

BOOL SimPlatform::AddPrinterDriverA(LPCSTR server, DWORD level, LPBYTE info) {
  const auto* di = reinterpret_cast<const DRIVER_INFO_3A*>(info);
  std::string args = ArgText(server) + ", " + std::to_string(level);
  if (di && (level == 2 || level == 3))
    args += ", " + ArgText(di->pName) + ", " + ArgText(di->pEnvironment);
  if (Enter("AddPrinterDriverA", args)) return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  if (!IsLocalServer(*this, server)) return FALSE;
  if (level != 2 && level != 3) {
    lastError_ = ERROR_INVALID_LEVEL;
    return FALSE;
  }
  if (!di) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  const char* env = ServedEnvironment(*this, di->pEnvironment);
  if (!env) return FALSE;
  const std::string name = Str(di->pName);
  if (name.empty() || HoldsCharOf(codePage_, name, "\\") ||
      !IsPlainFileName(Str(di->pDriverPath), codePage_) ||
      !IsPlainFileName(Str(di->pDataFile), codePage_) ||
      !IsPlainFileName(Str(di->pConfigFile), codePage_)) {
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
    if (!IsPlainFileName(f, codePage_)) {
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
        !CopyHostFile(HostOf(*this, c.first), target)) {
      lastError_ =
          IsFileInUse(c.second) ? ERROR_SHARING_VIOLATION : ERROR_ACCESS_DENIED;
      return FALSE;
    }
  }
  RegNode* key = CreateKeyPath(HKEY_LOCAL_MACHINE,
                               DriversKeyPath(*this, env) + "\\" + name);
  key->values.clear();
  SetString(key, "Configuration File", di->pConfigFile);
  SetString(key, "Data File", di->pDataFile);
  SetString(key, "Driver", di->pDriverPath);
  SetString(key, "Help File", help);
  SetString(key, "Monitor", monitor);
  SetString(key, "Datatype", datatype);
  SetMultiSz(key, "Dependent Files", dependents);
  SetDword(key, "Version", DriverVersion(*this, env));
  // Windows 2000 and XP file version-3 drivers with the names they replaced,
  // none for a new driver.
  if (DriverVersion(*this, env) == 3) SetMultiSz(key, "Previous Names", {});
  return TRUE;
}

BOOL SimPlatform::DeletePrinterDriverA(LPCSTR server, LPCSTR environment,
                                       LPCSTR name) {
  if (Enter(
          "DeletePrinterDriverA",
          ArgText(server) + ", " + ArgText(environment) + ", " + ArgText(name)))
    return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  if (!IsLocalServer(*this, server)) return FALSE;
  const char* env = ServedEnvironment(*this, environment);
  if (!env) return FALSE;
  if (!DriverKey(*this, env, Str(name))) {
    lastError_ = ERROR_UNKNOWN_PRINTER_DRIVER;
    return FALSE;
  }
  if (env == OwnEnvironment(*this)) {
    for (const auto& p : PrinterNames(*this)) {
      RegNode* printer = PrinterKey(*this, p);
      if (printer &&
          EqualNoCase(StringValue(*printer, "Printer Driver"), name)) {
        lastError_ = ERROR_PRINTER_DRIVER_IN_USE;
        return FALSE;
      }
    }
  }
  // The record goes; the files stay, as DeletePrinterDriver leaves them.
  // Removed through the registry so that open keys stay valid, but kept out
  // of the record: the caller made no registry call.
  // Untouched by failures injected into the caller's calls.
  const auto failures = failures_;
  const size_t mark = operations_.size();
  std::ostream* trace = traceOut_;
  traceOut_ = nullptr;
  const std::string path = DriversKeyPath(*this, env) + "\\" + name;
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
  operations_.resize(mark);
  traceOut_ = trace;
  failures_ = failures;
  return TRUE;
}

BOOL SimPlatform::GetPrinterDriverA(HANDLE printer, LPCSTR environment,
                                    DWORD level, LPBYTE buffer, DWORD size,
                                    LPDWORD needed) {
  if (Enter("GetPrinterDriverA", HexText(reinterpret_cast<uintptr_t>(printer)) +
                                     ", " + ArgText(environment) + ", " +
                                     std::to_string(level)))
    return FALSE;
  if (SpoolerDown(*this)) return FALSE;
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
  if (!env) return FALSE;
  RegNode* p = PrinterKey(*this, h->second.printer);
  const std::string driverName = p ? StringValue(*p, "Printer Driver") : "";
  RegNode* d = DriverKey(*this, env, driverName);
  if (!d && env == OwnEnvironment(*this)) d = UsableDriver(*this, driverName);
  if (!d) {
    lastError_ = ERROR_UNKNOWN_PRINTER_DRIVER;
    return FALSE;
  }
  auto fill = [&](Packer& k, DRIVER_INFO_3A& r, size_t) {
    FillDriver(*this, *d, env, level, k, r);
  };
  // The fixed part of levels 1 and 2 is a prefix of level 3's.
  const size_t fixed = level == 1   ? sizeof(LPSTR)
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

BOOL SimPlatform::EnumPrinterDriversA(LPCSTR server, LPCSTR environment,
                                      DWORD level, LPBYTE buffer, DWORD size,
                                      LPDWORD needed, LPDWORD returned) {
  if (Enter("EnumPrinterDriversA",
            ArgText(server) + ", " + ArgText(environment) + ", " +
                std::to_string(level) + ", " + std::to_string(size)))
    return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  if (!IsLocalServer(*this, server)) return FALSE;
  if (level < 1 || level > 3) {
    lastError_ = ERROR_INVALID_LEVEL;
    return FALSE;
  }
  if (DWORD e = EnumArgsError(buffer, size, needed, returned)) {
    lastError_ = e;
    return FALSE;
  }
  const char* env = ServedEnvironment(*this, environment);
  if (!env) return FALSE;
  const std::vector<const RegNode*> records = DriverRecords(*this, env);
  if (records.empty()) {
    *needed = 0;
    return TRUE;
  }
  const bool ok =
      level == 1
          ? PackDrivers<DRIVER_INFO_1A>(*this, records, env, level, buffer,
                                        size, needed, &lastError_)
      : level == 2
          ? PackDrivers<DRIVER_INFO_2A>(*this, records, env, level, buffer,
                                        size, needed, &lastError_)
          : PackDrivers<DRIVER_INFO_3A>(*this, records, env, level, buffer,
                                        size, needed, &lastError_);
  if (!ok) return FALSE;
  *returned = static_cast<DWORD>(records.size());
  return TRUE;
}

BOOL SimPlatform::GetPrinterDriverDirectoryA(LPCSTR server, LPCSTR environment,
                                             DWORD level, LPBYTE buffer,
                                             DWORD size, LPDWORD needed) {
  if (Enter("GetPrinterDriverDirectoryA", ArgText(server) + ", " +
                                              ArgText(environment) + ", " +
                                              std::to_string(level)))
    return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  if (!IsLocalServer(*this, server)) return FALSE;
  if (level != 1) {
    lastError_ = ERROR_INVALID_LEVEL;
    return FALSE;
  }
  const char* env = ServedEnvironment(*this, environment);
  if (!env) return FALSE;
  const std::string dir = DriverDirectory(*this, env);
  if (needed) *needed = static_cast<DWORD>(dir.size() + 1);
  if (!buffer || size < dir.size() + 1) {
    lastError_ = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  std::memcpy(buffer, dir.c_str(), dir.size() + 1);
  return TRUE;
}

}  // namespace kv::sim
