#include "printer/pnp9x.h"

#include <cstring>
#include <string>

#include "foundation/model_names.h"
#include "foundation/names.h"
#include "foundation/registry.h"
#include "foundation/registry_paths.h"
#include "foundation/setupinfo.h"
#include "foundation/text.h"

namespace kv {
namespace {

constexpr size_t kMaxComposed = 255;  // key paths and values on Windows 9x
constexpr DWORD kNameBuffer = 256;

// Creates the device entry at `path`, which Windows 9x limits to 255
// characters: a longer path is never cut into a wrong one, only refused.
bool CreateDeviceKey(Context& ctx, const std::string& path, RegKey& key) {
  if (path.size() > kMaxComposed) return false;
  return CreateKey(ctx.os, HKEY_LOCAL_MACHINE, path, key) == ERROR_SUCCESS;
}

bool IsParallelPortDevice(Context& ctx, const char* name) {
  // The first six characters name the kind of device.
  const std::string prefix = std::string(name).substr(0, 6);
  return ctx.os.lstrcmpiA(prefix.c_str(), "*NEC14") == 0 ||
         ctx.os.lstrcmpiA(prefix.c_str(), "*PNP04") == 0;
}

// A device id is a path below Enum ("LPTENUM\\<id>"): each of its parts must
// be a key name of its own.
bool IsDeviceIdPath(Context& ctx, const std::string& id) {
  for (const std::string& part : text::Split(ctx.os, id, '\\'))
    if (!CheckRegistryKeyName(ctx.os, part.c_str())) return false;
  return true;
}

enum class Pass { Next, Stop };

// One enumerator's pass. ACPI and BIOS failures move on to the next pass;
// ROOT failures stop with result 0.
Pass WriteEnumeratorPass(Context& ctx, const char* enumerator, bool isRoot,
                         const std::string& description,
                         const std::string& hardwareId) {
  static const BYTE kConfigFlags[4] = {0x40, 0, 0, 0};
  const Pass onFailure = isRoot ? Pass::Stop : Pass::Next;
  RegKey enumKey(ctx.os);
  const std::string enumPath = SubKeyPath(kEnumKey, enumerator);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, enumPath, enumKey) != ERROR_SUCCESS)
    return onFailure;

  char device[kNameBuffer];
  for (DWORD i = 0; ctx.os.RegEnumKeyA(enumKey.get(), i, device,
                                       sizeof device) == ERROR_SUCCESS;
       ++i) {
    if (!IsParallelPortDevice(ctx, device)) continue;
    RegKey deviceKey(ctx.os);
    if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, SubKeyPath(enumPath, device),
                deviceKey) != ERROR_SUCCESS)
      return onFailure;
    char instance[kNameBuffer];
    for (DWORD j = 0; ctx.os.RegEnumKeyA(deviceKey.get(), j, instance,
                                         sizeof instance) == ERROR_SUCCESS;
         ++j) {
      RegKey entry(ctx.os);
      const std::string path =
          SubKeyPath(SubKeyPath(kEnumKey, hardwareId),
                     std::string(enumerator) + "&" + device + "&" + instance);
      if (!CreateDeviceKey(ctx, path, entry)) {
        if (isRoot) return Pass::Stop;
        break;
      }
      WriteString(ctx.os, entry.get(), "Class", "Printer");
      WriteBinary(ctx.os, entry.get(), "ConfigFlags", kConfigFlags,
                  sizeof kConfigFlags);
      WriteString(ctx.os, entry.get(), "DeviceDesc", description);
      WriteString(ctx.os, entry.get(), "HardwareID", hardwareId);
      WriteString(ctx.os, entry.get(), "Manufacturer", "KORVA");
      WriteString(ctx.os, entry.get(), "Model", description);
    }
  }
  return Pass::Next;
}

}  // namespace

int WriteLptDeviceEntries9x(Context& ctx, const char* description,
                            const char* hardwareId) {
  const std::string desc = description, id = hardwareId;
  if (!IsDeviceIdPath(ctx, id)) return 0;
  WriteEnumeratorPass(ctx, "ACPI", false, desc, id);
  WriteEnumeratorPass(ctx, "BIOS", false, desc, id);
  return WriteEnumeratorPass(ctx, "ROOT", true, desc, id) == Pass::Next ? 1 : 0;
}

int WriteUsbDeviceEntry9x(Context& ctx, const char* port, const char* setupDir,
                          const char* file) {
  static const BYTE kConfigFlags[10] = {};
  const std::string sii = std::string(setupDir) + "\\" + file;
  const std::string usbId =
      ReadSetupString(ctx, sii.c_str(), "Files.9x", "USBID", 49);
  // Without it Enum\USB itself would be searched: another device's key.
  if (usbId.empty()) return 1;

  std::string instanceName;
  {
    RegKey usbKey(ctx.os);
    if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE,
                SubKeyPath(kEnumKey, "USB\\" + usbId), usbKey,
                KEY_ENUMERATE_SUB_KEYS) != ERROR_SUCCESS)
      return 1;
    char name[kNameBuffer] = {};
    if (ctx.os.RegEnumKeyA(usbKey.get(), 0, name, sizeof name) == ERROR_SUCCESS)
      instanceName = name;
  }

  // Removal finds the entry by the same name (UsbDeviceName9x).
  const std::string description = UsbDeviceName9x(ctx, sii.c_str());
  const std::string printerId =
      ReadSetupString(ctx, sii.c_str(), "Files.9x", "DevID");
  // A value the setup file does not give (or a read that failed) would name
  // the entry or its ids wrongly: no entry rather than a wrong one.
  if (description.empty() || printerId.empty()) return 1;
  const std::string instanceKey =
      std::string(port) + "USB&" + usbId + "&" + instanceName;
  // The port and the USB id are part of one key name: a backslash in
  // either would nest the entry somewhere else.
  if (!CheckRegistryKeyName(ctx.os, instanceKey.c_str())) return 1;
  const std::string path =
      SubKeyPath(kEnumKey, "USBPRINT\\" + description + "\\" + instanceKey);
  RegKey entry(ctx.os);
  if (!CreateDeviceKey(ctx, path, entry)) return 1;

  const std::string hardwareIds = "USBPRINT\\" + printerId + "," + printerId +
                                  "," + "LPTENUM\\" + printerId + "," +
                                  "USBPRINT\\" + printerId;
  WriteString(ctx.os, entry.get(), "Class", "printer");
  WriteString(ctx.os, entry.get(), "ClassGUID",
              "{4D36E979-E325-11CE-BFC1-08002BE10318}");
  WriteString(ctx.os, entry.get(), "CompatibleIDs", printerId);
  WriteBinary(ctx.os, entry.get(), "ConfigFlags", kConfigFlags,
              sizeof kConfigFlags);
  WriteString(ctx.os, entry.get(), "DeviceDesc", description);
  // A composed value beyond 255 characters is not written cut short.
  if (hardwareIds.size() <= kMaxComposed)
    WriteString(ctx.os, entry.get(), "HardwareID", hardwareIds);
  WriteString(ctx.os, entry.get(), "mfg", "KORVA");
  return 1;
}

}  // namespace kv
