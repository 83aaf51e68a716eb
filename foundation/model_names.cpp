#include "foundation/model_names.h"

#include "foundation/handles.h"
#include "foundation/names.h"
#include "foundation/setupinfo.h"
#include "foundation/text.h"

namespace kv {

namespace {
constexpr DWORD kProductBufferSize = 20;  // 19 characters
}  // namespace

std::string ReadProductName(Context& ctx, const char* file) {
  return ReadSetupString(ctx, file, "Initial", "Product", kProductBufferSize);
}

std::string ComposeDriverName(Platform& os, const std::string& product,
                              const std::string& model) {
  return text::Cut(os, product + " " + model, kDriverNameSize - 1);
}

std::string UsbDeviceName9x(Context& ctx, const char* file) {
  const std::string product = ReadSetupString(ctx, file, "Initial", "Product");
  const std::string model = ReadSetupString(ctx, file, "ModelName", "Model1");
  if (product.empty() || model.empty()) return std::string();
  const std::string name = product + model;
  if (!CheckRegistryKeyName(ctx.os, name.c_str())) return std::string();
  return name;
}

bool PortDriverImagePath(Context& ctx, const std::string& driverFile,
                         std::string* path) {
  char dir[MAX_PATH] = {};
  const UINT n = ctx.os.GetSystemDirectoryA(dir, sizeof dir);
  if (n == 0 || n >= sizeof dir) return false;
  *path = std::string(dir, n);
  if (!text::EndsWith(ctx.os, *path, '\\')) *path += '\\';
  *path += driverFile;
  return true;
}

}  // namespace kv
