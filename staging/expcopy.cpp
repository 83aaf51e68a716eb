#include "staging/expcopy.h"

#include <cstdio>
#include <cstring>

#include "foundation/handles.h"
#include "foundation/install_record.h"
#include "staging/depfiles.h"
#include "staging/file_identity.h"
#include "staging/paths.h"

namespace kv {
namespace {

constexpr size_t kLongSourceDir = 100;
#ifndef ERROR_HANDLE_EOF
#define ERROR_HANDLE_EOF 38L  // reached the end of the file
#endif

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

// 0 with `error` as the thread's last error.
int Fail(Platform& os, DWORD error) {
  os.SetLastError(error);
  return 0;
}

// Keeps the last error of a failed step across the clean-up after it.
template <typename F>
bool FailAfter(Platform& os, F cleanUp) {
  const DWORD error = os.GetLastError();
  cleanUp();
  os.SetLastError(error);
  return false;
}

// The medium's file copied over the staged one. A staged copy left by an
// earlier medium must never stand in for a file this medium lacks: when the
// copy fails the staged file is removed and the expansion does not run.
bool StageCopy(Context& ctx, const std::string& medium,
               const std::string& staged) {
  Platform& os = ctx.os;
  if (SameFile(ctx, medium, staged)) {
    os.SetLastError(ERROR_SHARING_VIOLATION);
    return false;
  }
  // A read-only staged copy would refuse to be replaced.
  os.SetFileAttributesA(staged.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!os.CopyFileA(medium.c_str(), staged.c_str(), FALSE))
    return FailAfter(os, [&] { os.DeleteFileA(staged.c_str()); });
  os.SetFileAttributesA(staged.c_str(), FILE_ATTRIBUTE_NORMAL);
  return true;
}

// The expanded length an SZDD header at the start of `path` announces;
// false for a plain file or one that can't be read.
bool AnnouncedLength(Context& ctx, const std::string& path, LONG* length) {
  Platform& os = ctx.os;
  KernelHandle file(
      os, os.CreateFileA(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  unsigned char header[14] = {};
  DWORD got = 0;
  if (!file || !os.ReadFile(file.get(), header, sizeof header, &got, nullptr) ||
      got != sizeof header ||
      std::memcmp(header, "SZDD\x88\xF0\x27\x33", 8) != 0)
    return false;
  const DWORD n = DWORD{header[10]} | DWORD{header[11]} << 8 |
                  DWORD{header[12]} << 16 | DWORD{header[13]} << 24;
  *length = static_cast<LONG>(n);
  return true;
}

// A name in the folder of `path` that nothing uses yet ("~KV00000.TMP"): a
// move from it to `path` stays on one volume. Empty when none is free.
std::string FreeNameBeside(Context& ctx, const std::string& path) {
  const size_t cut = LastBackslash(ctx, path);
  const std::string folder =
      cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  for (int n = 0; n < 100; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "~KV%05d.TMP", n);
    const std::string candidate = folder + name;
    if (!Fits(candidate)) break;
    if (ctx.os.GetFileAttributesA(candidate.c_str()) == INVALID_FILE_ATTRIBUTES)
      return candidate;
  }
  return std::string();
}

// Expands `source` into a new file beside `dest` and puts it in the place of
// `dest` only when the expansion succeeded, so a failed read or write leaves
// `dest` as it was. Windows 95's MoveFileA replaces nothing (and MoveFileExA
// is not there): the old file is moved aside first and back on failure.
bool ExpandReplacing(Context& ctx, const std::string& source,
                     const std::string& dest, bool* existed) {
  Platform& os = ctx.os;
  const DWORD oldAttributes = os.GetFileAttributesA(dest.c_str());
  const bool replacing = oldAttributes != INVALID_FILE_ATTRIBUTES;
  *existed = replacing;
  // A read-only destination stays, as creating over it would refuse.
  if (replacing &&
      (oldAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    os.SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  OFSTRUCT sourceOf = {};
  LzFile from(os, os.LZOpenFileA(source.c_str(), &sourceOf, OF_READ));
  if (!from) return false;  // the destination stays as it is
  const std::string expanded = FreeNameBeside(ctx, dest);
  if (expanded.empty()) {
    os.SetLastError(ERROR_FILE_EXISTS);
    return false;
  }
  LONG copied = LZERROR_BADOUTHANDLE;
  {
    OFSTRUCT destOf = {};
    LzFile to(os, os.LZOpenFileA(expanded.c_str(), &destOf, OF_CREATE));
    if (!to) return false;
    copied = os.LZCopy(from.get(), to.get());
    from.reset();  // the source first, then the destination
  }
  auto removeExpanded = [&] { os.DeleteFileA(expanded.c_str()); };
  if (copied < 0) return FailAfter(os, removeExpanded);
  // lz32 hands back a compressed file that ends early as if it were whole.
  const std::string opened =
      sourceOf.szPathName[0] ? sourceOf.szPathName : source;
  LONG announced = 0;
  if (AnnouncedLength(ctx, opened, &announced) && announced != copied) {
    removeExpanded();
    os.SetLastError(ERROR_HANDLE_EOF);
    return false;
  }
  if (!replacing) {
    if (os.MoveFileA(expanded.c_str(), dest.c_str())) return true;
    return FailAfter(os, removeExpanded);
  }
  const std::string aside = FreeNameBeside(ctx, dest);
  if (aside.empty()) {
    removeExpanded();
    os.SetLastError(ERROR_FILE_EXISTS);
    return false;
  }
  if (!os.MoveFileA(dest.c_str(), aside.c_str()))
    return FailAfter(os, removeExpanded);
  if (!os.MoveFileA(expanded.c_str(), dest.c_str())) {
    return FailAfter(os, [&] {
      os.MoveFileA(aside.c_str(), dest.c_str());
      removeExpanded();
    });
  }
  os.DeleteFileA(aside.c_str());
  return true;
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
  if (!Fits(destPath)) return Fail(os, ERROR_FILENAME_EXCED_RANGE);

  std::string sourcePath;
  if (sourceDir.size() <= kLongSourceDir) {
    sourcePath = sourceDir + stored;
    if (!Fits(sourcePath)) return Fail(os, ERROR_FILENAME_EXCED_RANGE);
  } else {
    const std::string staging = StagingFolder(ctx);
    const std::string medium =
        sourceDir + (EndsWithBackslash(ctx, sourceDir) ? "" : "\\") + stored;
    const std::string staged = staging + "\\" + stored;
    if (staging.empty() || !Fits(medium) || !Fits(staged))
      return Fail(os, ERROR_FILENAME_EXCED_RANGE);
    const std::string temp = staging.substr(0, LastBackslash(ctx, staging));
    os.CreateDirectoryA(temp.c_str(), nullptr);
    os.CreateDirectoryA(staging.c_str(), nullptr);
    if (!StageCopy(ctx, medium, staged)) return 0;
    sourcePath = staged;
  }
  // Opening the destination for creation would truncate the source itself.
  if (SameFile(ctx, sourcePath, destPath))
    return Fail(os, ERROR_SHARING_VIOLATION);
  bool existed = false;
  if (!ExpandReplacing(ctx, sourcePath, destPath, &existed)) return 0;
  NotePlacedFile(ctx, destPath, existed);
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
