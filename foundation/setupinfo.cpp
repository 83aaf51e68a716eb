#include "foundation/setupinfo.h"

#include <string>
#include <vector>

#include "foundation/diagnostics.h"
#include "foundation/handles.h"
#include "foundation/model_names.h"
#include "foundation/text.h"

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
  // A read that filled the buffer keeps whole characters only.
  const std::string read(buf.data());
  return read.size() + 1 >= bufferSize ? text::DropHalfCharacter(ctx.os, read)
                                       : read;
}

int ReadSetupInt(Context& ctx, const char* file, const char* section,
                 const char* key, int deflt) {
  return static_cast<int>(
      ctx.os.GetPrivateProfileIntA(section, key, deflt, file));
}

namespace {

int NotFound(Context& ctx) {
  ctx.os.SetLastError(ERROR_INVALID_DATA);
  return 0;
}

int FoundModel(Context& ctx, const std::string& product,
               const std::string& modelName, const char* file) {
  text::CopyCut(ctx.os, ctx.driverName, sizeof ctx.driverName,
                ComposeDriverName(ctx.os, product, modelName).c_str());
  const std::string devId =
      ReadSetupString(ctx, file, "DevID", modelName.c_str());
  text::CopyCut(ctx.os, ctx.deviceId, sizeof ctx.deviceId, devId.c_str());
  return product.empty() || modelName.empty() ? NotFound(ctx) : 1;
}

}  // namespace

int LookupModel(Context& ctx, const char* model, const char* file) {
  const int count = ReadSetupInt(ctx, file, "ModelName", "nModelNum", -1);
  const std::string product = ReadProductName(ctx, file);
  text::CopyCut(ctx.os, ctx.driverName, sizeof ctx.driverName,
                (product + " ").c_str());

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

std::vector<std::string> ReadSectionLines(Context& ctx, const char* file,
                                          const char* section) {
  std::vector<std::string> lines;
  if (!file || !section || !*section) return lines;
  std::vector<char> buffer;
  DWORD size = kSectionFirstRead;
  DWORD n = 0;
  bool cut = false;
  // A section that filled the buffer to size - 2 may have been cut: read it
  // again with more room.
  for (;;) {
    buffer.assign(size, '\0');
    n = ctx.os.GetPrivateProfileSectionA(section, buffer.data(), size, file);
    if (n + 2 < size) break;
    if (size >= kSectionReadLimit) {
      cut = true;
      break;
    }
    size = size * 4 > kSectionReadLimit ? kSectionReadLimit : size * 4;
  }
  if (n > size - 2) n = size - 2;
  for (size_t pos = 0; pos < n;) {
    const char* line = buffer.data() + pos;
    const size_t length =
        static_cast<size_t>(std::find(line, line + (n - pos), '\0') - line);
    if (length == 0) break;
    lines.emplace_back(line, length);
    pos += length + 1;
  }
  if (cut && !lines.empty()) {
    // The last line stops where the buffer did: a cut name names another
    // file.
    DebugTrace(ctx, "Section [%s] of %s too long, last line passed over\n",
               section, file);
    lines.pop_back();
  }
  return lines;
}

}  // namespace kv
