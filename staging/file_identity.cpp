#include "staging/file_identity.h"

#include "foundation/handles.h"
#include "staging/paths.h"

namespace kv {
namespace {

struct FileId {
  DWORD serial = 0, high = 0, low = 0;
  bool operator==(const FileId& o) const {
    return serial == o.serial && high == o.high && low == o.low;
  }
};

enum class Identity { Known, Missing, Unknown };

// The identity of the file or folder at `path`. Sharing read and write, so
// that a file the caller or the installer holds open still answers.
Identity IdentityOf(Context& ctx, const std::string& path, DWORD flags,
                    FileId* id) {
  Platform& os = ctx.os;
  KernelHandle file(os, os.CreateFileA(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, flags, nullptr));
  if (!file) {
    const DWORD error = os.GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
               ? Identity::Missing
               : Identity::Unknown;
  }
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!os.GetFileInformationByHandle(file.get(), &info))
    return Identity::Unknown;
  // A file system without file indexes answers 0 for every file.
  if (info.nFileIndexHigh == 0 && info.nFileIndexLow == 0)
    return Identity::Unknown;
  *id = FileId{info.dwVolumeSerialNumber, info.nFileIndexHigh,
               info.nFileIndexLow};
  return Identity::Known;
}

// The full path of an existing file or folder with every component as its
// 8.3 alias and no trailing separator except at a root: one spelling per
// file of a volume. Empty when the path names nothing.
std::string ShortFullPath(Context& ctx, const std::string& path) {
  Platform& os = ctx.os;
  char full[MAX_PATH] = {};
  LPSTR filePart = nullptr;
  DWORD n = os.GetFullPathNameA(path.c_str(), sizeof full, full, &filePart);
  if (n == 0 || n >= sizeof full) return std::string();
  char shortPath[MAX_PATH] = {};
  n = os.GetShortPathNameA(full, shortPath, sizeof shortPath);
  if (n == 0 || n >= sizeof shortPath) return std::string();
  std::string result = shortPath;
  while (result.size() > 3 && EndsWithBackslash(ctx, result)) result.pop_back();
  return result;
}

bool SamePath(Context& ctx, const std::string& a, const std::string& b) {
  return !a.empty() && ctx.os.lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

}  // namespace

bool SameFile(Context& ctx, const std::string& a, const std::string& b) {
  FileId idA, idB;
  // A destination that does not exist yet is the usual case: asked first.
  const Identity knownB = IdentityOf(ctx, b, 0, &idB);
  if (knownB == Identity::Missing) return false;
  const Identity knownA = IdentityOf(ctx, a, 0, &idA);
  if (knownA == Identity::Missing) return false;
  if (knownA == Identity::Known && knownB == Identity::Known) return idA == idB;
  return SamePath(ctx, ShortFullPath(ctx, a), ShortFullPath(ctx, b));
}

bool FolderWithin(Context& ctx, const std::string& inner,
                  const std::string& outer) {
  const std::string outerPath = ShortFullPath(ctx, outer);
  if (outerPath.empty()) return false;
  FileId outerId;
  const bool outerKnown = IdentityOf(ctx, outer, FILE_FLAG_BACKUP_SEMANTICS,
                                     &outerId) == Identity::Known;
  char full[MAX_PATH] = {};
  LPSTR filePart = nullptr;
  const DWORD n =
      ctx.os.GetFullPathNameA(inner.c_str(), sizeof full, full, &filePart);
  if (n == 0 || n >= sizeof full) return false;
  // From `inner` up to its root: is any of them `outer`?
  std::string at = full;
  for (;;) {
    if (SamePath(ctx, ShortFullPath(ctx, at), outerPath)) return true;
    FileId id;
    if (outerKnown &&
        IdentityOf(ctx, at, FILE_FLAG_BACKUP_SEMANTICS, &id) ==
            Identity::Known &&
        id == outerId)
      return true;
    while (at.size() > 1 && EndsWithBackslash(ctx, at)) at.pop_back();
    const size_t cut = LastBackslash(ctx, at);
    if (cut == std::string::npos || cut < 2) return false;
    // The parent keeps its separator only at a drive's root ("C:\").
    at.resize(at[cut - 1] == ':' ? cut + 1 : cut);
  }
}

}  // namespace kv
