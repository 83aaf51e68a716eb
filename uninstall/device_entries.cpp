#include "uninstall/device_entries.h"

#include <cstring>
#include <string>
#include <vector>

#include "foundation/diagnostics.h"
#include "foundation/handles.h"
#include "foundation/model_names.h"
#include "foundation/names.h"
#include "foundation/oskind.h"
#include "foundation/registry.h"
#include "foundation/registry_paths.h"
#include "foundation/services.h"
#include "foundation/setupinfo.h"
#include "foundation/text.h"
#include "uninstall/batch.h"
#include "uninstall/removal_guard.h"

namespace kv {
namespace {

constexpr char kImageClassGuid[] = "{6bdd1fc6-810f-11d0-bec7-08002be2092f}";
constexpr char kPrinterClassGuid[] = "{4D36E979-E325-11CE-BFC1-08002BE10318}";
constexpr char kDefaultEnumerator[] = "USBPRINT";
constexpr char kOtherNamingProduct[] = "ZODIR";
constexpr char kPclPsMark[] = "PCL_PS";
// The maker's name registration writes into its device entries.
constexpr char kMakerName[] = "KORVA";
// The print identifier is [USBPRINT] less these trailing characters.
constexpr size_t kPrintIdTail = 4;
constexpr const char* kLanguageEndings[] = {
    " PS", " PCL6", " PCL5e", " PCL5c", " SPDL2", " SPDL", " SPDL-c"};
// A USB device and the first two interfaces of a composite device.
constexpr const char* kUsbInterfaces[] = {"", "&MI_00", "&MI_01"};
// Windows 9x keeps key paths to 255 characters; installation wrote none
// longer.
constexpr size_t kMaxDevicePath = 255;
constexpr DWORD kClassKeyNameSize = 1024;
constexpr DWORD kClassValueSize = 256;

bool EndsWithNoCase(Platform& os, const std::string& text,
                    const std::string& tail) {
  return text.size() >= tail.size() &&
         EqualNoCase(os, text.substr(text.size() - tail.size()), tail);
}

void PassOver(Context& ctx, const char* what, const std::string& value) {
  DebugTrace(ctx, "Device entry passed over: %s [%s]\n", what, value.c_str());
}

// A setup value of at most `limit` characters. It is read one character
// past the limit, so that a longer one is seen: `usable` is false for it.
struct SetupValue {
  std::string text;
  bool usable = true;
};

SetupValue ReadLimited(Context& ctx, const char* file, const char* section,
                       const char* key, size_t limit) {
  SetupValue value;
  value.text =
      ReadSetupString(ctx, file, section, key, static_cast<DWORD>(limit + 2));
  if (value.text.size() > limit) {
    value.usable = false;
    PassOver(ctx, "value too long", value.text);
  }
  return value;
}

// One key name, not a path (the guard checks the characters).
bool IsOneKeyName(Platform& os, const std::string& name) {
  return !name.empty() && !text::Contains(os, name, '\\');
}

// A path of at least `minParts` key names, none of them empty.
bool IsDevicePath(Platform& os, const std::string& path, size_t minParts) {
  const std::vector<std::string> parts = text::Split(os, path, '\\');
  for (const std::string& part : parts)
    if (part.empty()) return false;
  return parts.size() >= minParts;
}

// Deletes "Enum\" + `path` with everything below it.
void DeleteDeviceKey(Context& ctx, const std::string& path) {
  const std::string full = SubKeyPath(kEnumKey, path);
  if (full.size() > kMaxDevicePath) return PassOver(ctx, "long path", full);
  const LONG result = DeleteOwnedKeyTree(ctx, full);
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
    DebugTrace(ctx, "Device entry not deleted [%s] ErrMsg[0x%lx]\n",
               full.c_str(), static_cast<unsigned long>(result));
}

// A USB device path (enumerator and device at least) and its interfaces.
// Windows' own bus enumerators: what lies below them is the machine's
// hardware (hubs, ports, the system board), never the model's printing
// device.
constexpr const char* kBusEnumerators[] = {
    "USB",    "ROOT",    "BIOS",  "ACPI",    "PCI",     "ISAPNP",
    "PCMCIA", "LPTENUM", "HTREE", "MONITOR", "NETWORK", "SCSI",
    "ESDI",   "FLOP",    "HID",   "DISPLAY"};

bool IsBusEnumerator(Platform& os, const std::string& name) {
  for (const char* bus : kBusEnumerators)
    if (EqualNoCase(os, name, bus)) return true;
  return false;
}

std::string FirstPart(Platform& os, const std::string& path) {
  return path.substr(0, text::Find(os, path, '\\'));
}

// A USB device of a vendor and product ("USB\VID_xxxx&PID_yyyy"): a hub or
// a class below USB is Windows' own.
bool IsUsbProductPath(Platform& os, const std::string& path) {
  const size_t slash = text::Find(os, path, '\\');
  return slash != std::string::npos &&
         EqualNoCase(os, path.substr(0, slash), "USB") &&
         EqualNoCase(os, path.substr(slash + 1, 4), "VID_");
}

void DeleteUsbDevice(Context& ctx, const SetupValue& usbId) {
  if (!usbId.usable) return;
  if (!IsDevicePath(ctx.os, usbId.text, 2) ||
      !IsUsbProductPath(ctx.os, usbId.text))
    return PassOver(ctx, "USBID", usbId.text);
  for (const char* suffix : kUsbInterfaces)
    DeleteDeviceKey(ctx, usbId.text + suffix);
}

std::string ModelKeyName(const std::string& model, const std::string& mark) {
  for (const char* ending : kLanguageEndings) {
    const size_t n = std::strlen(ending);
    if (model.size() >= n && model.compare(model.size() - n, n, ending) == 0)
      return model.substr(0, model.size() - n) + mark;
  }
  return model + mark;
}

// The printing-device entry of the model, named one of the two ways.
void DeletePrintingDevice(Context& ctx, const std::string& model,
                          const SetupValue& printId, const SetupValue& product,
                          const SetupValue& enumerator) {
  if (!printId.usable || !product.usable) return;
  const std::string& value = printId.text;
  if (EqualNoCase(ctx.os, product.text, kOtherNamingProduct)) {
    const std::string id = value.size() >= kPrintIdTail
                               ? value.substr(0, value.size() - kPrintIdTail)
                               : std::string();
    if (!IsDevicePath(ctx.os, id, 2) || !enumerator.usable ||
        !EqualNoCase(ctx.os, FirstPart(ctx.os, id), enumerator.text) ||
        IsBusEnumerator(ctx.os, enumerator.text))
      return PassOver(ctx, "USBPRINT", value);
    return DeleteDeviceKey(ctx, id);
  }
  const size_t markSize = std::strlen(kPclPsMark);
  const bool pclPs = value.size() >= kPrintIdTail + markSize &&
                     value.compare(value.size() - kPrintIdTail - markSize,
                                   markSize, kPclPsMark) == 0;
  const std::string device =
      product.text + ModelKeyName(model, pclPs ? kPclPsMark : "");
  if (!enumerator.usable) return;
  if (!IsOneKeyName(ctx.os, enumerator.text) || !IsOneKeyName(ctx.os, device) ||
      IsBusEnumerator(ctx.os, enumerator.text))
    return PassOver(ctx, "printing device", enumerator.text + "\\" + device);
  DeleteDeviceKey(ctx, SubKeyPath(enumerator.text, device));
}

// A string value of an open key, read up to kClassValueSize bytes; false
// when it is missing, no string or longer.
bool ReadClassString(Context& ctx, HKEY key, const char* name,
                     std::string* out) {
  char data[kClassValueSize + 1] = {};
  DWORD size = kClassValueSize;
  DWORD type = 0;
  if (ctx.os.RegQueryValueExA(key, name, nullptr, &type,
                              reinterpret_cast<BYTE*>(data),
                              &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return false;
  *out = data;
  return true;
}

// Deletes <Windows>\inf\`inf`, then, when it went, the PNF beside it.
void DeleteInfAndPnf(Context& ctx, const std::string& inf) {
  const std::string windows = WindowsDirectory(ctx);
  if (windows.empty()) return PassOver(ctx, "no Windows directory", inf);
  const std::string folder = windows + "\\inf";
  if (!DeleteOwnedFile(ctx, folder, inf)) {
    DebugTraceLastError(ctx, "INF not deleted ErrMsg[0x%x]\n");
    return;
  }
  std::string pnf = inf;
  pnf[pnf.size() - 3] = 'p';
  if (!DeleteOwnedFile(ctx, folder, pnf))
    DebugTraceLastError(ctx, "PNF not deleted ErrMsg[0x%x]\n");
}

// Which device of a class is the model's: given the device's open key.
using DeviceMatch = bool (*)(Context& ctx, HKEY device,
                             const std::string& wanted);

bool TwainSourceIs(Context& ctx, HKEY device, const std::string& wanted) {
  RegKey data(ctx.os);
  std::string source;
  return OpenKey(ctx.os, device, "DeviceData", data) == ERROR_SUCCESS &&
         ReadClassString(ctx, data.get(), "TwainDS", &source) &&
         source == wanted;
}

bool DriverDescIs(Context& ctx, HKEY device, const std::string& wanted) {
  std::string desc;
  return ReadClassString(ctx, device, "DriverDesc", &desc) && desc == wanted;
}

// Walks the devices of class `guid` in index order and deletes the INF and
// PNF of the first one that matches and names a usable INF.
// "oem<digits>.inf", the name Windows gives a maker's INF copy.
bool IsOemInfName(Platform& os, const std::string& name) {
  if (name.size() < 8 || !EqualNoCase(os, name.substr(0, 3), "oem") ||
      !EndsWithNoCase(os, name, ".inf"))
    return false;
  for (size_t i = 3; i + 4 < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

void DeleteFirstMatchInf(Context& ctx, const char* guid, DeviceMatch match,
                         const std::string& wanted) {
  RegKey deviceClass(ctx.os);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, SubKeyPath(kClassKey, guid),
              deviceClass) != ERROR_SUCCESS)
    return;
  for (DWORD index = 0;; ++index) {
    char name[kClassKeyNameSize] = {};
    DWORD size = kClassKeyNameSize;
    if (ctx.os.RegEnumKeyExA(deviceClass.get(), index, name, &size, nullptr,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return;
    RegKey device(ctx.os);
    if (OpenKey(ctx.os, deviceClass.get(), name, device) != ERROR_SUCCESS ||
        !match(ctx, device.get(), wanted))
      continue;
    // A device without a usable INF name is not the one whose files go:
    // the walk looks further rather than end with nothing deleted. Windows
    // copies a maker's INF as oem<number>.inf; any other name is one of
    // Windows' own INF files (a driver it ships under the model's name).
    std::string inf;
    if (!ReadClassString(ctx, device.get(), "InfPath", &inf) ||
        !IsPlainFileName(ctx.os, inf) || !IsOemInfName(ctx.os, inf)) {
      PassOver(ctx, "InfPath", std::string(name) + ": " + inf);
      continue;
    }
    DeleteInfAndPnf(ctx, inf);
    return;
  }
}

// Whether `service` is the kernel driver installation made for
// `driverFile`: its image is the very path installation wrote (the NT
// family may give it back in its native "\??\" form). Windows' own drivers
// name theirs relative to the system root, so they never match.
bool IsInstalledPortDriver(Context& ctx, SC_HANDLE service,
                           const std::string& driverFile) {
  ServiceConfig config;
  std::string installed;
  if (!PortDriverImagePath(ctx, driverFile, &installed) ||
      !ReadServiceConfig(ctx, service, &config) ||
      config.type != SERVICE_KERNEL_DRIVER || config.binaryPath.empty())
    return false;
  const std::string& image = config.binaryPath;
  return EqualNoCase(ctx.os, image, installed) ||
         EqualNoCase(ctx.os, image, "\\??\\" + installed);
}

// The port driver's file, once its service is gone: deferred when it is in
// use (a driver that did not stop).
void DeletePortDriverFile(Context& ctx, const std::string& driverFile) {
  const std::string system = SystemDirectory(ctx);
  const std::string path = OwnedFilePath(ctx, system, driverFile);
  if (path.empty()) return PassOver(ctx, "port driver file", driverFile);
  if (!DeleteOwnedFile(ctx, system, driverFile) &&
      ctx.os.GetLastError() != ERROR_FILE_NOT_FOUND)
    AddDeferredDeletion(ctx, path.c_str());
}

// Which instance of a device key registration wrote, given the instance's
// open key.
using InstanceMatch = bool (*)(Context& ctx, HKEY instance,
                               const std::string& wanted);

// A parallel-port entry: the maker's name and the DevID as hardware id.
bool LptEntryWritten(Context& ctx, HKEY instance, const std::string& devId) {
  std::string maker, hardwareId;
  return ReadClassString(ctx, instance, "Manufacturer", &maker) &&
         ReadClassString(ctx, instance, "HardwareID", &hardwareId) &&
         maker == kMakerName && EqualNoCase(ctx.os, hardwareId, devId);
}

// The USB printer entry: the maker's name and the product and model as
// description.
bool UsbEntryWritten(Context& ctx, HKEY instance, const std::string& name) {
  std::string maker, description;
  return ReadClassString(ctx, instance, "mfg", &maker) &&
         ReadClassString(ctx, instance, "DeviceDesc", &description) &&
         maker == kMakerName && description == name;
}

// Deletes the instances below "Enum\" + `path` that registration wrote,
// then the device key when nothing else is below it: a value naming a
// device of Windows' own (a port, a whole class) leaves its entries alone.
void DeleteWrittenInstances(Context& ctx, const std::string& path,
                            InstanceMatch written, const std::string& wanted) {
  const std::string device = SubKeyPath(kEnumKey, path);
  if (device.size() > kMaxDevicePath) return PassOver(ctx, "long path", device);
  RegKey key(ctx.os);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, device, key) != ERROR_SUCCESS) return;
  std::vector<std::string> ours;
  bool others = false;
  for (DWORD i = 0;; ++i) {
    char name[kClassKeyNameSize] = {};
    DWORD size = sizeof name;
    if (ctx.os.RegEnumKeyExA(key.get(), i, name, &size, nullptr, nullptr,
                             nullptr, nullptr) != ERROR_SUCCESS)
      break;
    RegKey instance(ctx.os);
    if (OpenKey(ctx.os, key.get(), name, instance) == ERROR_SUCCESS &&
        written(ctx, instance.get(), wanted))
      ours.push_back(name);
    else
      others = true;
  }
  key.Close();
  for (const std::string& instance : ours)
    DeleteDeviceKey(ctx, SubKeyPath(path, instance));
  if (others) return PassOver(ctx, "device with other instances", path);
  DeleteDeviceKey(ctx, path);
}

}  // namespace

int DeleteUSBIDEntry(Context& ctx, const char* model, const char* setupFile) {
  const RemovalRoots roots(ctx);
  // An empty model names no entry of the setup file.
  if (!model || !*model || !setupFile) return 0;
  const SetupValue printId =
      ReadLimited(ctx, setupFile, "USBPRINT", model, kUsbValueLimit);
  const SetupValue usbId =
      ReadLimited(ctx, setupFile, "USBID", model, kUsbValueLimit);
  const SetupValue product =
      ReadLimited(ctx, setupFile, "Initial", "Product", kShortValueLimit);
  SetupValue enumerator =
      ReadLimited(ctx, setupFile, IsWinMe(ctx) ? "Files.Me" : "Files.9x",
                  "USBKey", kShortValueLimit);
  if (enumerator.text.empty() && enumerator.usable)
    enumerator.text = kDefaultEnumerator;
  if (usbId.text.empty()) return 0;

  DeleteUsbDevice(ctx, usbId);
  DeletePrintingDevice(ctx, model, printId, product, enumerator);

  const SetupValue printId2 =
      ReadLimited(ctx, setupFile, "USBPRINT2", model, kUsbValueLimit);
  if (printId2.text.empty()) return 1;
  if (printId2.usable && enumerator.usable) {
    if (IsOneKeyName(ctx.os, enumerator.text) &&
        !IsBusEnumerator(ctx.os, enumerator.text) &&
        IsDevicePath(ctx.os, printId2.text, 1))
      DeleteDeviceKey(ctx, SubKeyPath(enumerator.text, printId2.text));
    else
      PassOver(ctx, "USBPRINT2", enumerator.text + "\\" + printId2.text);
  }
  const SetupValue usbId2 =
      ReadLimited(ctx, setupFile, "USBID2", model, kUsbValueLimit);
  if (!usbId2.text.empty()) DeleteUsbDevice(ctx, usbId2);
  return 1;
}

void DeleteUsbPrinterEntry9x(Context& ctx, const char* setupFile) {
  if (!setupFile) return;
  const std::string name = UsbDeviceName9x(ctx, setupFile);
  if (!name.empty())
    DeleteWrittenInstances(ctx, SubKeyPath(kDefaultEnumerator, name),
                           UsbEntryWritten, name);
}

void DeleteDevIDEntry(Context& ctx, const char* model, const char* setupFile) {
  if (!model || !*model || !setupFile) return;
  const SetupValue devId =
      ReadLimited(ctx, setupFile, "DevID", model, kDevIdValueLimit);
  if (devId.text.empty() || !devId.usable) return;
  if (!IsDevicePath(ctx.os, devId.text, 2))
    return PassOver(ctx, "DevID", devId.text);
  DeleteWrittenInstances(ctx, devId.text, LptEntryWritten, devId.text);
}

void DeleteClassInfFiles(Context& ctx, const char* driverName,
                         const char* setupFile) {
  if (setupFile) {
    const SetupValue source =
        ReadLimited(ctx, setupFile, "Files.Com", "TwainDS", kTwainDsValueLimit);
    if (!source.text.empty() && source.usable)
      DeleteFirstMatchInf(ctx, kImageClassGuid, TwainSourceIs, source.text);
  }
  if (driverName && *driverName)
    DeleteFirstMatchInf(ctx, kPrinterClassGuid, DriverDescIs, driverName);
}

int DeleteDriverService(Context& ctx, const char* serviceName,
                        const char* driverFile) {
  if (!serviceName || !*serviceName) return 1;
  const std::string name = serviceName;
  const std::string file = driverFile ? driverFile : "";
  // Installation made no service from a name without a file.
  if (name == "." || name == ".." || IsWindowsService(ctx.os, name) ||
      !CheckRegistryKeyName(ctx.os, serviceName) || file.empty()) {
    PassOver(ctx, "service", name);
    return 1;
  }
  ScHandle manager(ctx.os, ctx.os.OpenSCManagerA(nullptr, nullptr,
                                                 SC_MANAGER_CREATE_SERVICE));
  if (!manager) return 1;
  ScHandle service(ctx.os, ctx.os.OpenServiceA(manager.get(), serviceName,
                                               SERVICE_ALL_ACCESS));
  if (!service) return 1;
  if (!IsInstalledPortDriver(ctx, service.get(), file)) {
    PassOver(ctx, "not the port driver", name);
    return 1;
  }
  // Asked to stop, not waited for: a kernel driver stops at once or not
  // before the restart, and the deletion takes effect when it has stopped.
  SERVICE_STATUS status = {};
  ctx.os.ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  ctx.os.ControlService(service.get(), SERVICE_CONTROL_INTERROGATE, &status);
  if (!ctx.os.DeleteService(service.get()) &&
      ctx.os.GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
    DebugTraceLastError(ctx, "DeleteService Fail ErrMsg[0x%x]\n");
    return 1;
  }
  service.Close();
  DeletePortDriverFile(ctx, file);
  return 1;
}

}  // namespace kv
