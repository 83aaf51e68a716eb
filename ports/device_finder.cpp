#include "ports/device_finder.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/handles.h"

namespace kv {

// The layout is shared with the component that fills the record.
static_assert(offsetof(DeviceFinderRecord, address) == 0, "address");
static_assert(offsetof(DeviceFinderRecord, modelName) == 128, "model name");
static_assert(offsetof(DeviceFinderRecord, name) == 384, "name");
static_assert(offsetof(DeviceFinderRecord, description) == 640, "description");
static_assert(offsetof(DeviceFinderRecord, location) == 896, "location");
static_assert(offsetof(DeviceFinderRecord, macAddress) == 1152, "MAC");
static_assert(sizeof(DeviceFinderRecord) == 2176, "record size");

namespace {

constexpr size_t kSplitSize = 1024;

template <size_t N>
char* CopyField(const char (&field)[N], char* out) {
  if (!out) return out;
  const void* end = std::memchr(field, '\0', N);
  const size_t n = end ? static_cast<const char*>(end) - field : N - 1;
  std::memcpy(out, field, n);
  out[n] = '\0';
  return out;
}

}  // namespace

char* DeviceFinderAddress(Context& ctx, char* out) {
  return CopyField(ctx.deviceFinder.address, out);
}
char* DeviceFinderModelName(Context& ctx, char* out) {
  return CopyField(ctx.deviceFinder.modelName, out);
}
char* DeviceFinderName(Context& ctx, char* out) {
  return CopyField(ctx.deviceFinder.name, out);
}
char* DeviceFinderDescription(Context& ctx, char* out) {
  return CopyField(ctx.deviceFinder.description, out);
}
char* DeviceFinderLocation(Context& ctx, char* out) {
  return CopyField(ctx.deviceFinder.location, out);
}

int DeviceFinderMacAddress(Context& ctx, char* out) {
  if (!out) return 0;
  const BYTE* m = ctx.deviceFinder.macAddress;
  return std::snprintf(out, 18, "%02X:%02X:%02X:%02X:%02X:%02X", m[0], m[1],
                       m[2], m[3], m[4], m[5]);
}

int SplitFourFields(const char* source, char* out1, char* out2, char* out3,
                    char* out4) {
  char work[kSplitSize];
  CopyCut(work, sizeof work, source ? source : "");
  char* outs[] = {out1, out2, out3, out4};
  const char* pos = work;
  bool ended = false;
  for (char* out : outs) {
    std::string field;
    if (!ended && *pos != '\0' && *pos != ',') {
      const char* stop = std::strchr(pos, ',');
      if (!stop) {
        field.assign(pos);
        ended = true;
      } else {
        field.assign(pos, stop);
        pos = stop + 1;
      }
    }
    if (out) std::memcpy(out, field.c_str(), field.size() + 1);
  }
  return 1;
}

}  // namespace kv
