#include "foundation/setupinfo.h"

#include <string>
#include <vector>

#include "foundation/handles.h"

namespace kv {

std::string ReadSetupString(Context& ctx, const char* file, const char* section,
                            const char* key, DWORD bufferSize,
                            const char* deflt) {
  if (bufferSize == 0) return std::string();
  std::vector<char> buf(bufferSize, '\0');
  DWORD n = ctx.os.GetPrivateProfileStringA(section, key, deflt, buf.data(),
                                            bufferSize, file);
  if (n >= bufferSize) n = bufferSize - 1;
  buf[n] = '\0';
  return std::string(buf.data());
}

int ReadSetupInt(Context& ctx, const char* file, const char* section,
                 const char* key, int deflt) {
  return static_cast<int>(
      ctx.os.GetPrivateProfileIntA(section, key, deflt, file));
}

namespace {

constexpr DWORD kProductBufferSize = 20;  // 19 characters

int NotFound(Context& ctx) {
  ctx.os.SetLastError(ERROR_INVALID_DATA);
  return 0;
}

int FoundModel(Context& ctx, const std::string& product,
               const std::string& modelName, const char* file) {
  CopyCut(ctx.driverName, sizeof ctx.driverName,
          (product + " " + modelName).c_str());
  const std::string devId =
      ReadSetupString(ctx, file, "DevID", modelName.c_str());
  CopyCut(ctx.deviceId, sizeof ctx.deviceId, devId.c_str());
  return product.empty() || modelName.empty() ? NotFound(ctx) : 1;
}

}  // namespace

int LookupModel(Context& ctx, const char* model, const char* file) {
  const int count = ReadSetupInt(ctx, file, "ModelName", "nModelNum", -1);
  const std::string product =
      ReadSetupString(ctx, file, "Initial", "Product", kProductBufferSize);
  CopyCut(ctx.driverName, sizeof ctx.driverName, (product + " ").c_str());

  if (count == 1)
    return FoundModel(ctx, product,
                      ReadSetupString(ctx, file, "ModelName", "Model1"), file);
  // Model1 is always examined, also when the count is missing, 0 or negative.
  // A count far beyond any real list would otherwise keep the installer
  // reading the file for hours: the search stops at kModelLimit.
  for (int i = 1; i <= kModelLimit; ++i) {
    const std::string key = "Model" + std::to_string(i);
    const std::string name =
        ReadSetupString(ctx, file, "ModelName", key.c_str());
    if (ctx.os.lstrcmpiA(name.c_str(), model) == 0)
      return FoundModel(ctx, product, name, file);
    if (i >= count) break;
  }
  return NotFound(ctx);
}

}  // namespace kv
