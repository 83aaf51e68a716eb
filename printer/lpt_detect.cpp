#include "printer/lpt_detect.h"

#include <cstdio>
#include <cstring>

#include "foundation/oskind.h"
#include "foundation/registry.h"

namespace kv {
namespace {

constexpr char kDeviceMapKey[] = "HARDWARE\\DEVICEMAP\\PARALLEL PORTS";
constexpr char kRawResourceKey[] =
    "HARDWARE\\RESOURCEMAP\\LOADED PARALLEL DRIVER RESOURCES\\Parport";
constexpr DWORD kValueBufferSize = 1024;
constexpr int kMappedDevices = 3;
// In the raw resource list, the low 16 bits of the first descriptor's start
// address: list count 4, interface 4, bus 4, version 2, revision 2,
// descriptor count 4, type 1, share 1, flags 2, then the address.
constexpr size_t kRawBaseOffset = 24;
constexpr DWORD kBiosLptTable = 0x08;

// Reads value `name` into `buffer` (zero-filled first, so whatever the value
// does not cover reads as zero). False when the read fails.
bool ReadValue(Context& ctx, HKEY key, const char* name,
               BYTE (&buffer)[kValueBufferSize]) {
  std::memset(buffer, 0, sizeof buffer);
  DWORD size = sizeof buffer;
  return ctx.os.RegQueryValueExA(key, name, nullptr, nullptr, buffer, &size) ==
         ERROR_SUCCESS;
}

// Port index n. The base address from the BIOS data area (the word at
// 0x08 + 2n of segment 0x40); 0 when absent (a word of 0 or 2).
WORD ReadBiosLptBase(Context& ctx, int n) {
  const WORD base = ctx.os.ReadBiosDataWord(kBiosLptTable + 2 * n);
  return (base == 0 || base == 2) ? 0 : base;
}

}  // namespace

WORD DetectNTParallelPort(Context& ctx, int n) {
  RegKey map(ctx.os);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, kDeviceMapKey, map, KEY_READ) !=
      ERROR_SUCCESS)
    return 0;
  const char digit = static_cast<char>('1' + n);
  int device = -1;
  BYTE data[kValueBufferSize];
  for (int i = 0; i < kMappedDevices && device < 0; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "\\Device\\Parallel%d", i);
    if (!ReadValue(ctx, map.get(), name, data)) continue;
    // The last character before the terminator names the DOS port; the
    // buffer's last byte stays zero, so the text always ends inside it.
    data[kValueBufferSize - 1] = 0;
    const size_t length = std::strlen(reinterpret_cast<const char*>(data));
    if (length > 0 && static_cast<char>(data[length - 1]) == digit) device = i;
  }
  map.reset();
  if (device < 0) return 0;
  if (GetNTGeneration(ctx) != 1) return 1;

  RegKey raw(ctx.os);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, kRawResourceKey, raw, KEY_READ) !=
      ERROR_SUCCESS)
    return 0;
  char name[48];
  std::snprintf(name, sizeof name, "\\Device\\ParallelPort%d.Raw", device);
  if (!ReadValue(ctx, raw.get(), name, data)) return 0;
  return static_cast<WORD>(data[kRawBaseOffset] |
                           (data[kRawBaseOffset + 1] << 8));
}

int ToDetectLPT(Context& ctx, const char* portName) {
  // Only the first five characters count, upper-cased.
  char name[6] = {};
  for (int i = 0; i < 5; ++i) {
    if (portName[i] == '\0') return 0;
    const char c = portName[i];
    name[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  }
  if (std::strncmp(name, "LPT", 3) != 0) return 0;
  if (name[3] < '1' || name[3] > '3' || name[4] != ':') return 0;
  const int n = name[3] - '1';
  switch (GetOSKind(ctx)) {
    case OsKind::NT4:
    case OsKind::Win2000:
    case OsKind::XP:
      return DetectNTParallelPort(ctx, n) != 0 ? 1 : 0;
    case OsKind::Win9x:
      return ReadBiosLptBase(ctx, n) != 0 ? 1 : 0;
    default:
      return 0;
  }
}

}  // namespace kv
