#include "staging/xcopy.h"

#include <utility>
#include <vector>

#include "foundation/handles.h"
#include "foundation/install_record.h"
#include "foundation/oskind.h"
#include "staging/file_identity.h"
#include "staging/paths.h"

namespace kv {
namespace {

enum class InstallerType { LnkScan, Ocelot2, MarlinPdl, Unknown };
enum class Action { Copy, Descend, PassOver };

struct TypeName {
  const char* name;
  InstallerType type;
};
const TypeName kTypes[] = {
    {"LNKSCAN", InstallerType::LnkScan},
    {"Ocelot2", InstallerType::Ocelot2},
    {"Ocelot2AR", InstallerType::Ocelot2},
    {"MarlinPDL", InstallerType::MarlinPdl},
};

// The OS folder of a driver tree: Ocelot2/Ocelot2AR trees have one per
// kind, MarlinPDL trees one for 2000 and XP together. Null for an unknown
// OS kind.
const char* OsFolder(InstallerType type, OsKind kind) {
  const bool marlin = type == InstallerType::MarlinPdl;
  switch (kind) {
    case OsKind::NT4:
      return "NT40";
    case OsKind::Win9x:
      return "9xme";
    case OsKind::Win2000:
      return marlin ? "2kxp" : "2k";
    case OsKind::XP:
      return marlin ? "2kxp" : "xp";
    case OsKind::Other:
      break;
  }
  return nullptr;
}

struct Walk {
  Context& ctx;
  const std::string& selected;
  InstallerType type;
  const char* osFolder;  // null: none taken (unknown OS kind or type)
  bool unknownOs;
  // The first entry the walk selected but could not copy or create, or the
  // first directory search that broke off: its error is the caller's.
  bool failed = false;
  DWORD firstError = 0;

  void Fail(DWORD error) {
    if (failed) return;
    failed = true;
    firstError = error;
  }
  void FailWithLastError() { Fail(ctx.os.GetLastError()); }
};

bool Named(Walk& w, const std::string& name, const char* want) {
  return want && w.ctx.os.lstrcmpiA(name.c_str(), want) == 0;
}

Action Decide(Walk& w, const std::string& name, bool isDir, int level) {
  switch (w.type) {
    case InstallerType::LnkScan: {
      const bool considered =
          level >= 1 || (level == 0 && Named(w, name, w.selected.c_str()));
      if (!considered) return Action::PassOver;
      if (isDir)
        return Named(w, name, "2k") || Named(w, name, "xp") ? Action::PassOver
                                                            : Action::Descend;
      return level == 0 ? Action::PassOver : Action::Copy;
    }
    case InstallerType::Ocelot2:
      if (!isDir) return level == 0 ? Action::PassOver : Action::Copy;
      if (level < 0) return Action::PassOver;
      if (level == 0)
        return Named(w, name, "KV-RelayQV") ? Action::PassOver
                                            : Action::Descend;
      if (level == 1)
        return Named(w, name, w.selected.c_str()) ? Action::Descend
                                                  : Action::PassOver;
      if (level == 2)
        return Named(w, name, w.osFolder) || Named(w, name, "bin")
                   ? Action::Descend
                   : Action::PassOver;
      return Action::Descend;
    case InstallerType::MarlinPdl:
      if (!isDir) return level == 0 ? Action::PassOver : Action::Copy;
      if (level == 0)
        return Named(w, name, w.selected.c_str()) ? Action::Descend
                                                  : Action::PassOver;
      if (level == 1) return Action::Descend;
      if (level == 2)
        return Named(w, name, w.osFolder) ? Action::Descend : Action::PassOver;
      return Action::PassOver;
    case InstallerType::Unknown:
      break;
  }
  return Action::PassOver;
}

// Whether `path` names an existing folder.
bool IsFolder(Platform& os, const std::string& path) {
  const DWORD attributes = os.GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The destination folder of a taken directory. A folder already there is
// fine (some systems answer ERROR_ACCESS_DENIED rather than
// ERROR_ALREADY_EXISTS for one); a file of that name is not a folder.
bool MakeFolder(Walk& w, const std::string& dest) {
  Platform& os = w.ctx.os;
  if (os.CreateDirectoryA(dest.c_str(), nullptr)) return true;
  const DWORD error = os.GetLastError();
  if (IsFolder(os, dest)) return true;
  w.Fail(error);
  return false;
}

void CopyEntry(Walk& w, const std::string& source, const std::string& dest) {
  Platform& os = w.ctx.os;
  // Never onto itself (a replace would truncate it): the file is in place.
  if (SameFile(w.ctx, source, dest)) return;
  const bool existed =
      os.GetFileAttributesA(dest.c_str()) != INVALID_FILE_ATTRIBUTES;
  // A file that was not replaced keeps its attributes.
  if (!os.CopyFileA(source.c_str(), dest.c_str(), FALSE)) {
    w.FailWithLastError();
    return;
  }
  NotePlacedFile(w.ctx, dest, existed);
  // A copy left read-only could not be replaced by the next installation.
  if (!os.SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_NORMAL))
    w.FailWithLastError();
}

// One directory: enumerate it completely (copying files, creating folders),
// close its search, then walk the folders taken, in the order found. A
// failure is noted and the walk goes on with whatever else it can copy.
void WalkDirectory(Walk& w, const std::string& sourceDir,
                   const std::string& destDir) {
  Platform& os = w.ctx.os;
  const std::string pattern =
      sourceDir + (EndsWithBackslash(w.ctx, sourceDir) ? "" : "\\") + "*.*";
  if (pattern.size() > kMaxStagedPath) {
    w.Fail(ERROR_FILENAME_EXCED_RANGE);
    return;
  }

  // Every entry lies one separator below the destination directory.
  const int level = CountBackslashes(w.ctx, destDir) + 1 - 4;
  std::vector<std::pair<std::string, std::string>> pending;  // source, dest
  {
    WIN32_FIND_DATAA data = {};
    FindHandle find(os, os.FindFirstFileA(pattern.c_str(), &data));
    if (!find.valid()) {
      const DWORD error = os.GetLastError();
      // A folder with no entries at all (a drive's empty root) has nothing
      // to copy; the same error for a folder that is not there is a failure.
      if (error != ERROR_FILE_NOT_FOUND || !IsFolder(os, sourceDir))
        w.Fail(error);
      return;
    }
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      if (w.type == InstallerType::Unknown) {
        os.MessageBoxA(nullptr, "Unknown Installer Type!!", "ERROR", MB_OK);
        continue;
      }
      if (w.unknownOs) os.MessageBoxA(nullptr, "Unknown OS", "ERROR", MB_OK);
      const bool isDir =
          (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      const Action action = Decide(w, name, isDir, level);
      if (action == Action::PassOver) continue;
      const std::string source = sourceDir + "\\" + name;
      const std::string dest = destDir + "\\" + name;
      if (source.size() > kMaxStagedPath || dest.size() > kMaxStagedPath) {
        w.Fail(ERROR_FILENAME_EXCED_RANGE);  // never cut into another path
        continue;
      }
      if (action == Action::Copy)
        CopyEntry(w, source, dest);
      else if (MakeFolder(w, dest))
        pending.emplace_back(source, dest);
    } while (os.FindNextFileA(find.get(), &data));
    // Anything but the end of the list broke the search off: the entries
    // after it are missing.
    if (os.GetLastError() != ERROR_NO_MORE_FILES) w.FailWithLastError();
    // A search that fails to close has still listed every entry: nothing is
    // missing, so it is no failure of the copy.
    find.Close();
  }
  for (const auto& [source, dest] : pending) WalkDirectory(w, source, dest);
}

}  // namespace

int Xcopy(Context& ctx, const std::string& sourceDir,
          const std::string& destDir, const std::string& selectedFolder,
          const std::string& installerType) {
  InstallerType type = InstallerType::Unknown;
  for (const auto& t : kTypes) {
    if (ctx.os.lstrcmpiA(installerType.c_str(), t.name) == 0) {
      type = t.type;
      break;
    }
  }
  const char* osFolder = nullptr;
  bool unknownOs = false;
  if (type == InstallerType::Ocelot2 || type == InstallerType::MarlinPdl) {
    osFolder = OsFolder(type, GetOSKind(ctx));
    unknownOs = osFolder == nullptr;
  }
  // A destination inside the source tree would be walked while it fills.
  if (FolderWithin(ctx, destDir, sourceDir)) {
    ctx.os.SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Walk walk{ctx, selectedFolder, type, osFolder, unknownOs};
  WalkDirectory(walk, sourceDir, destDir);
  if (!walk.failed) return 1;
  ctx.os.SetLastError(walk.firstError);
  return 0;
}

}  // namespace kv
