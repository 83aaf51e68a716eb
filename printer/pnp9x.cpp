#include "printer/pnp9x.h"

#include <cstring>
#include <string>

#include "foundation/handles.h"
#include "foundation/setupinfo.h"

namespace kv {
namespace {

constexpr size_t kMaxComposed = 255;  // key paths and values on Windows 9x
constexpr DWORD kNameBuffer = 256;

void SetString(Context& ctx, HKEY key, const char* name,
               const std::string& value) {
  ctx.os.RegSetValueExA(key, name, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1));
}

void SetBinary(Context& ctx, HKEY key, const char* name, const BYTE* data,
               DWORD size) {
  ctx.os.RegSetValueExA(key, name, 0, REG_BINARY, data, size);
}

bool CreateKey(Context& ctx, const std::string& path, RegKey& key) {
  if (path.size() > kMaxComposed) return false;  // never a cut, wrong path
  DWORD disposition = 0;
  return ctx.os.RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr,
                                REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                nullptr, key.out(),
                                &disposition) == ERROR_SUCCESS;
}

bool IsParallelPortDevice(Context& ctx, const char* name) {
  // The first six characters name the kind of device.
  const std::string prefix = std::string(name).substr(0, 6);
  return ctx.os.lstrcmpiA(prefix.c_str(), "*NEC14") == 0 ||
         ctx.os.lstrcmpiA(prefix.c_str(), "*PNP04") == 0;
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
  const std::string enumPath = std::string("ENUM\\") + enumerator;
  if (ctx.os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, enumPath.c_str(), 0,
                           KEY_ALL_ACCESS, enumKey.out()) != ERROR_SUCCESS)
    return onFailure;

  char device[kNameBuffer];
  for (DWORD i = 0; ctx.os.RegEnumKeyA(enumKey.get(), i, device,
                                       sizeof device) == ERROR_SUCCESS;
       ++i) {
    if (!IsParallelPortDevice(ctx, device)) continue;
    RegKey deviceKey(ctx.os);
    const std::string devicePath = enumPath + "\\" + device;
    if (ctx.os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, devicePath.c_str(), 0,
                             KEY_ALL_ACCESS, deviceKey.out()) != ERROR_SUCCESS)
      return onFailure;
    char instance[kNameBuffer];
    for (DWORD j = 0; ctx.os.RegEnumKeyA(deviceKey.get(), j, instance,
                                         sizeof instance) == ERROR_SUCCESS;
         ++j) {
      RegKey entry(ctx.os);
      const std::string path = "Enum\\" + hardwareId + "\\" + enumerator +
                               "&" + device + "&" + instance;
      if (!CreateKey(ctx, path, entry)) {
        if (isRoot) return Pass::Stop;
        break;
      }
      SetString(ctx, entry.get(), "Class", "Printer");
      SetBinary(ctx, entry.get(), "ConfigFlags", kConfigFlags,
                sizeof kConfigFlags);
      SetString(ctx, entry.get(), "DeviceDesc", description);
      SetString(ctx, entry.get(), "HardwareID", hardwareId);
      SetString(ctx, entry.get(), "Manufacturer", "KORVA");
      SetString(ctx, entry.get(), "Model", description);
    }
  }
  return Pass::Next;
}

}  // namespace

int WriteLptDeviceEntries9x(Context& ctx, const char* description,
                            const char* hardwareId) {
  const std::string desc = description, id = hardwareId;
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

  std::string instanceName;
  {
    RegKey usbKey(ctx.os);
    const std::string usbPath = "Enum\\USB\\" + usbId;
    if (ctx.os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, usbPath.c_str(), 0,
                             KEY_ENUMERATE_SUB_KEYS,
                             usbKey.out()) != ERROR_SUCCESS)
      return 1;
    char name[kNameBuffer] = {};
    if (ctx.os.RegEnumKeyA(usbKey.get(), 0, name, sizeof name) == ERROR_SUCCESS)
      instanceName = name;
  }

  const std::string description =
      ReadSetupString(ctx, sii.c_str(), "Initial", "Product") +
      ReadSetupString(ctx, sii.c_str(), "ModelName", "Model1");
  const std::string printerId =
      ReadSetupString(ctx, sii.c_str(), "Files.9x", "DevID");
  const std::string path = "ENUM\\USBPRINT\\" + description + "\\" + port +
                           "USB&" + usbId + "&" + instanceName;
  RegKey entry(ctx.os);
  if (!CreateKey(ctx, path, entry)) return 1;

  const std::string hardwareIds = "USBPRINT\\" + printerId + "," + printerId +
                                  "," + "LPTENUM\\" + printerId + "," +
                                  "USBPRINT\\" + printerId;
  SetString(ctx, entry.get(), "Class", "printer");
  SetString(ctx, entry.get(), "ClassGUID",
            "{4D36E979-E325-11CE-BFC1-08002BE10318}");
  SetString(ctx, entry.get(), "CompatibleIDs", printerId);
  SetBinary(ctx, entry.get(), "ConfigFlags", kConfigFlags,
            sizeof kConfigFlags);
  SetString(ctx, entry.get(), "DeviceDesc", description);
  // A composed value beyond 255 characters is not written cut short.
  if (hardwareIds.size() <= kMaxComposed)
    SetString(ctx, entry.get(), "HardwareID", hardwareIds);
  SetString(ctx, entry.get(), "mfg", "KORVA");
  return 1;
}

}  // namespace kv
