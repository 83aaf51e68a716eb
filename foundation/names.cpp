#include "foundation/names.h"

#include <cstring>

#include "foundation/registry.h"
#include "foundation/text.h"

namespace kv {
namespace {

bool HasControlCharacter(const char* text) {
  for (const char* p = text; *p; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

bool Refuse(Platform& os, DWORD error) {
  os.SetLastError(error);
  return false;
}

}  // namespace

bool CheckRegistryKeyName(Platform& os, const char* name) {
  if (!name || !*name || std::strlen(name) > kMaxKeyNameLength ||
      text::Contains(os, name, '\\') || HasControlCharacter(name))
    return Refuse(os, ERROR_INVALID_NAME);
  return true;
}

bool CheckDeviceLineField(Platform& os, const char* field) {
  if (!field) return true;
  if (text::Contains(os, field, ',') || HasControlCharacter(field))
    return Refuse(os, ERROR_INVALID_NAME);
  return true;
}

bool CheckSpoolerName(Platform& os, SpoolerObject object, const char* name) {
  switch (object) {
    case SpoolerObject::Port:
      if (!name || !*name || HasControlCharacter(name))
        return Refuse(os, ERROR_INVALID_NAME);
      return true;
    case SpoolerObject::Monitor:
      // The spooler refuses an empty monitor name itself, writing nothing.
      if (name && !*name) return true;
      return CheckRegistryKeyName(os, name);
    case SpoolerObject::Printer:
      if (!CheckRegistryKeyName(os, name) || text::Contains(os, name, ','))
        return Refuse(os, ERROR_INVALID_PRINTER_NAME);
      return true;
    default:
      return CheckRegistryKeyName(os, name);
  }
}

}  // namespace kv
