// The simulated spooler's environments, folders and registry records, the
// printing part of a fresh machine, and print processors.
//
// AddPrintProcessorA loads the processor from the processor directory: a
// missing file fails with ERROR_MOD_NOT_FOUND; a name already installed with
// ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED. EnumPrintProcessorsA (level 1
// only) lists the processors of an environment in registry order; an empty
// list is success with nothing needed.
#include "sim/spooler_records.h"

#include <cstring>
#include <filesystem>

#include "sim/enum_buffer.h"
#include "sim/file_paths.h"

namespace kv::sim {

namespace fs = std::filesystem;

namespace {

bool IsNt4(const SimPlatform& os) {
  return os.version() == WindowsVersion::NT4 ||
         os.version() == WindowsVersion::NT351;
}

}  // namespace

const char* OwnEnvironment(const SimPlatform& os) {
  return IsWin9x(os.version()) ? k9xEnv : kNtEnv;
}

const char* ServedEnvironment(SimPlatform& os, LPCSTR env) {
  if (Empty(env)) return OwnEnvironment(os);
  if (EqualNoCase(env, k9xEnv)) return k9xEnv;
  if (!IsWin9x(os.version()) && EqualNoCase(env, kNtEnv)) return kNtEnv;
  os.SetLastError(ERROR_INVALID_ENVIRONMENT);
  return nullptr;
}

bool IsLocalServer(SimPlatform& os, LPCSTR server) {
  if (Empty(server)) return true;
  os.SetLastError(ERROR_INVALID_NAME);
  return false;
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
  std::string path =
      std::string(kPrintKeyPath) + "\\Environments\\" + env + "\\Drivers";
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
  if (name.empty() || HoldsCharOf(os.codePage(), name, "\\")) return nullptr;
  return os.FindKey(HKEY_LOCAL_MACHINE, DriversKeyPath(os, env) + "\\" + name);
}

std::string HostOf(const SimPlatform& os, const std::string& winPath) {
  ResolvedPath p = ResolveWinPath(os.machineDir(), winPath, os.codePage());
  return p.error ? std::string() : p.host;
}

bool FileExists(const SimPlatform& os, const std::string& winPath) {
  const std::string host = HostOf(os, winPath);
  return !host.empty() && KindOf(host) == HostKind::File;
}

bool IsPlainFileName(const std::string& name, UINT codePage) {
  return !name.empty() && !HoldsCharOf(codePage, name, "\\/:");
}

// The names of the installed printers, in registry order.
std::vector<std::string> PrinterNames(const SimPlatform& os) {
  std::vector<std::string> names;
  if (RegNode* printers = os.FindKey(HKEY_LOCAL_MACHINE, kPrintersKeyPath))
    for (const auto& s : printers->subkeys) names.push_back(s.second->name);
  return names;
}

// The driver a printer of this machine can use, in the machine's own
// environment (the NT family accepts its older driver version too).
RegNode* UsableDriver(const SimPlatform& os, const std::string& name) {
  if (RegNode* d = DriverKey(os, OwnEnvironment(os), name)) return d;
  if (!IsWin9x(os.version()) && !IsNt4(os))
    return os.FindKey(
        HKEY_LOCAL_MACHINE,
        std::string(kPrintKeyPath) +
            "\\Environments\\Windows NT x86\\Drivers\\Version-2\\" + name);
  return nullptr;
}

PrinterHandles& Handles(SimPlatform& os) {
  return os.extension<PrinterHandles>("printers.handles");
}

// ---- Layout and test access -------------------------------------------------

std::string DriverDirectory(const SimPlatform& os, const std::string& env) {
  if (IsWin9x(os.version()))
    return EqualNoCase(env, k9xEnv) ? os.systemDir() : std::string();
  if (EqualNoCase(env, kNtEnv))
    return os.systemDir() + "\\spool\\drivers\\w32x86";
  if (EqualNoCase(env, k9xEnv))
    return os.systemDir() + "\\spool\\drivers\\win40";
  return std::string();
}

std::string PrintProcessorDirectory(const SimPlatform& os) {
  return IsWin9x(os.version()) ? os.systemDir()
                               : os.systemDir() + "\\spool\\prtprocs\\w32x86";
}

RegNode* PrinterKey(const SimPlatform& os, const std::string& name) {
  if (name.empty() || HoldsCharOf(os.codePage(), name, "\\")) return nullptr;
  return os.FindKey(HKEY_LOCAL_MACHINE,
                    std::string(kPrintersKeyPath) + "\\" + name);
}

size_t OpenPrinterHandles(SimPlatform& os) {
  return Handles(os).handles.size();
}

namespace {

constexpr const char* kDeviceSections[] = {"Devices", "PrinterPorts"};

std::string UserDeviceKey(const char* section) {
  return std::string("Software\\Microsoft\\Windows NT\\CurrentVersion\\") +
         section;
}

}  // namespace

void LayOutPrinting(SimPlatform& os) {
  const bool nt = !IsWin9x(os.version());
  RegNode* winprint = os.CreateKeyPath(
      HKEY_LOCAL_MACHINE, ProcessorsKeyPath(OwnEnvironment(os)) + "\\WinPrint");
  SetString(winprint, "Driver", nt ? "winprint.dll" : "WINPRINT.DLL");
  os.CreateKeyPath(HKEY_LOCAL_MACHINE, kPrintersKeyPath);
  // Keys every installed Windows has, printers or not: the driver records of
  // its own environment, RunOnce, and on the NT family the user's [Devices]
  // and [PrinterPorts].
  os.CreateKeyPath(HKEY_LOCAL_MACHINE, DriversKeyPath(os, OwnEnvironment(os)));
  os.CreateKeyPath(HKEY_LOCAL_MACHINE,
                   "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
  if (nt) {
    for (const char* section : kDeviceSections)
      os.CreateKeyPath(HKEY_CURRENT_USER, UserDeviceKey(section));
  }
  os.CreateKeyPath(HKEY_CURRENT_CONFIG,
                   "System\\CurrentControlSet\\Control\\Print\\Printers");
  // A saved machine's folders are its own (sim/drive.cpp).
  std::error_code ec;
  if (!fs::exists(os.machineDir() + "/machine.ini", ec)) {
    fs::create_directories(HostOf(os, VersionDirectory(os, OwnEnvironment(os))),
                           ec);
    fs::create_directories(HostOf(os, PrintProcessorDirectory(os)), ec);
  }
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
      SetString(node, "Class", d.cls);
      SetString(node, "DeviceDesc", d.desc);
    }
  } else if (IsNt5OrLater(os.version())) {
    // The device classes Plug and Play files printers and scanners under,
    // with no device installed yet.
    const std::string classes = "SYSTEM\\CurrentControlSet\\Control\\Class\\";
    SetString(
        os.CreateKeyPath(HKEY_LOCAL_MACHINE,
                         classes + "{4D36E979-E325-11CE-BFC1-08002BE10318}"),
        "Class", "Printer");
    SetString(
        os.CreateKeyPath(HKEY_LOCAL_MACHINE,
                         classes + "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}"),
        "Class", "Image");
  }
  LayOutServices(os);
}

// ---- Print processors -------------------------------------------------------

BOOL SimPlatform::AddPrintProcessorA(LPCSTR server, LPCSTR environment,
                                     LPCSTR file, LPCSTR name) {
  if (Enter("AddPrintProcessorA", ArgText(server) + ", " +
                                      ArgText(environment) + ", " +
                                      ArgText(file) + ", " + ArgText(name)))
    return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  if (!IsLocalServer(*this, server)) return FALSE;
  const char* env = ServedEnvironment(*this, environment);
  if (!env || env != OwnEnvironment(*this)) {
    lastError_ = ERROR_INVALID_ENVIRONMENT;
    return FALSE;
  }
  if (Empty(name) || HoldsCharOf(codePage_, name, "\\") ||
      !IsPlainFileName(Str(file), codePage_)) {
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
  SetString(CreateKeyPath(HKEY_LOCAL_MACHINE, keyPath), "Driver", file);
  return TRUE;
}

BOOL SimPlatform::EnumPrintProcessorsA(LPCSTR server, LPCSTR environment,
                                       DWORD level, LPBYTE buffer, DWORD size,
                                       LPDWORD needed, LPDWORD returned) {
  if (Enter("EnumPrintProcessorsA",
            ArgText(server) + ", " + ArgText(environment) + ", " +
                std::to_string(level) + ", " + std::to_string(size)))
    return FALSE;
  if (SpoolerDown(*this)) return FALSE;
  if (!IsLocalServer(*this, server)) return FALSE;
  if (level != 1) {
    lastError_ = ERROR_INVALID_LEVEL;
    return FALSE;
  }
  if (DWORD e = EnumArgsError(buffer, size, needed, returned)) {
    lastError_ = e;
    return FALSE;
  }
  const char* env = ServedEnvironment(*this, environment);
  if (!env) return FALSE;
  std::vector<std::string> names;
  if (RegNode* processors = FindKey(HKEY_LOCAL_MACHINE, ProcessorsKeyPath(env)))
    for (const auto& p : processors->subkeys) names.push_back(p.second->name);
  if (names.empty()) {
    *needed = 0;
    return TRUE;
  }
  if (!PackRecords<PRINTPROCESSOR_INFO_1A>(
          names.size(), buffer, size, needed, &lastError_,
          [&](Packer& k, PRINTPROCESSOR_INFO_1A& r, size_t i) {
            r.pName = k.Text(names[i]);
          }))
    return FALSE;
  *returned = static_cast<DWORD>(names.size());
  return TRUE;
}

}  // namespace kv::sim

namespace kv::sim {

namespace {

// The entry of [Devices] (index 0) and [PrinterPorts] (index 1).
std::string DeviceEntry(const SimPlatform& os, const std::string& driverFile,
                        const std::string& port, size_t section) {
  std::string field = "winspool";
  if (IsWin9x(os.version())) {
    field = driverFile.substr(0, driverFile.find('.'));
  }
  return field + "," + port + (section == 1 ? ",15,45" : "");
}

}  // namespace

void WriteDeviceEntries(SimPlatform& os, const std::string& printer,
                        const std::string& driverFile,
                        const std::string& port) {
  for (size_t i = 0; i < 2; ++i) {
    const std::string entry = DeviceEntry(os, driverFile, port, i);
    if (IsWin9x(os.version())) {
      os.WriteProfileStringA(kDeviceSections[i], printer.c_str(),
                             entry.c_str());
    } else if (RegNode* key = os.CreateKeyPath(
                   HKEY_CURRENT_USER, UserDeviceKey(kDeviceSections[i]))) {
      SetString(key, printer.c_str(), entry);
    }
  }
}

void RemoveDeviceEntries(SimPlatform& os, const std::string& printer) {
  for (const char* section : kDeviceSections) {
    if (IsWin9x(os.version())) {
      os.WriteProfileStringA(section, printer.c_str(), nullptr);
    } else if (RegNode* key =
                   os.FindKey(HKEY_CURRENT_USER, UserDeviceKey(section))) {
      key->values.erase(printer);
    }
  }
}

}  // namespace kv::sim
