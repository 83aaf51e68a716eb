#include "staging/expcopy.h"

#include <cstring>

#include "foundation/handles.h"
#include "staging/depfiles.h"
#include "staging/paths.h"

namespace kv {
namespace {

constexpr size_t kLongSourceDir = 100;

// An LZ handle from LZOpenFileA, closed when the owner goes.
class LzFile {
 public:
  LzFile(Platform& os, INT h) : os_(os), h_(h) {}
  LzFile(const LzFile&) = delete;
  LzFile& operator=(const LzFile&) = delete;
  ~LzFile() { reset(); }
  INT get() const { return h_; }
  explicit operator bool() const { return h_ >= 0; }
  void reset() {
    if (h_ >= 0) os_.LZClose(h_);
    h_ = -1;
  }

 private:
  Platform& os_;
  INT h_;
};

bool Fits(const std::string& path) { return path.size() <= kMaxStagedPath; }

// The staging folder under the Windows directory:
// <windir>\TEMP\KorvaInstallTmp.
std::string StagingFolder(Context& ctx) {
  char windows[256] = {};
  const UINT n = ctx.os.GetWindowsDirectoryA(windows, sizeof windows);
  if (n == 0 || n >= sizeof windows) return std::string();
  return std::string(windows) + "\\TEMP\\KorvaInstallTmp";
}

}  // namespace

std::string CompressedStoredName(const std::string& fileName) {
  const size_t n = fileName.size();
  auto dotAt = [&](size_t back) {
    return n >= back && fileName[n - back] == '.';
  };
  if (dotAt(4)) return fileName.substr(0, n - 1) + "_";
  if (dotAt(3)) return fileName + "_";
  // Five- and six-character extensions keep two characters before the "_".
  if (dotAt(7)) return fileName.substr(0, n - 7 + 3) + "_";
  if (dotAt(6)) return fileName.substr(0, n - 6 + 3) + "_";
  return fileName;
}

int ExpCopy(Context& ctx, const std::string& sourceDir,
            const std::string& destDir, const std::string& fileName,
            const std::string& listedName, int /*installerCode*/) {
  Platform& os = ctx.os;
  const std::string stored =
      os.lstrcmpiA(fileName.c_str(), listedName.c_str()) == 0
          ? fileName
          : CompressedStoredName(fileName);
  const std::string destPath = destDir + fileName;
  if (!Fits(destPath)) return 1;

  std::string sourcePath;
  if (sourceDir.size() <= kLongSourceDir) {
    sourcePath = sourceDir + stored;
    if (!Fits(sourcePath)) return 1;
  } else {
    const std::string staging = StagingFolder(ctx);
    const std::string medium =
        sourceDir + (EndsWithBackslash(ctx, sourceDir) ? "" : "\\") + stored;
    const std::string staged = staging + "\\" + stored;
    if (staging.empty() || !Fits(medium) || !Fits(staged)) return 1;
    const std::string temp = staging.substr(0, staging.rfind('\\'));
    os.CreateDirectoryA(temp.c_str(), nullptr);
    os.CreateDirectoryA(staging.c_str(), nullptr);
    os.CopyFileA(medium.c_str(), staged.c_str(), FALSE);
    os.SetFileAttributesA(staged.c_str(), FILE_ATTRIBUTE_NORMAL);
    sourcePath = staged;
  }

  OFSTRUCT sourceOf = {};
  LzFile source(os, os.LZOpenFileA(sourcePath.c_str(), &sourceOf, OF_READ));
  if (!source) return 1;  // keep whatever the destination holds
  OFSTRUCT destOf = {};
  LzFile dest(os, os.LZOpenFileA(destPath.c_str(), &destOf, OF_CREATE));
  if (dest) os.LZCopy(source.get(), dest.get());
  source.reset();  // the source first, then the destination
  return 1;
}

int DefineFileName(char* entry) {
  if (!entry) return 1;
  // Cutting only ever shortens the text, so no buffer limits its length.
  std::string name(entry);
  CutEqualsSuffix(name);
  std::memcpy(entry, name.c_str(), name.size() + 1);
  return 1;
}

}  // namespace kv
