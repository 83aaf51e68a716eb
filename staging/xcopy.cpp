#include "staging/xcopy.h"

#include <utility>
#include <vector>

#include "foundation/handles.h"
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

// One directory: enumerate it completely (copying files, creating folders),
// close its search, then walk the folders taken, in the order found. Returns
// the result of the last search closed.
int WalkDirectory(Walk& w, const std::string& sourceDir,
                  const std::string& destDir) {
  Platform& os = w.ctx.os;
  const std::string pattern =
      sourceDir + (EndsWithBackslash(w.ctx, sourceDir) ? "" : "\\") + "*.*";
  if (pattern.size() > kMaxStagedPath) return 0;

  // Every entry lies one separator below the destination directory.
  const int level = CountBackslashes(w.ctx, destDir) + 1 - 4;
  std::vector<std::pair<std::string, std::string>> pending;  // source, dest
  int closed = 0;
  {
    WIN32_FIND_DATAA data = {};
    FindHandle find(os, os.FindFirstFileA(pattern.c_str(), &data));
    if (!find.valid()) return 0;
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      if (w.type == InstallerType::Unknown) {
        os.MessageBoxA(nullptr, "Unknown Installer Type!!", "ERROR", MB_OK);
        continue;
      }
      if (w.unknownOs) os.MessageBoxA(nullptr, "Unknown OS", "ERROR", MB_OK);
      const std::string source = sourceDir + "\\" + name;
      const std::string dest = destDir + "\\" + name;
      if (source.size() > kMaxStagedPath || dest.size() > kMaxStagedPath)
        continue;  // never cut into a different path
      const bool isDir =
          (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      switch (Decide(w, name, isDir, level)) {
        case Action::Copy:
          // Never onto itself (a replace would truncate it); a file that was
          // not replaced keeps its attributes.
          if (!SameFile(w.ctx, source, dest) &&
              os.CopyFileA(source.c_str(), dest.c_str(), FALSE))
            os.SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_NORMAL);
          break;
        case Action::Descend:
          os.CreateDirectoryA(dest.c_str(), nullptr);
          pending.emplace_back(source, dest);
          break;
        case Action::PassOver:
          break;
      }
    } while (os.FindNextFileA(find.get(), &data));
    closed = find.Close() ? 1 : 0;
  }
  for (const auto& [source, dest] : pending)
    closed = WalkDirectory(w, source, dest);
  return closed;
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
  return WalkDirectory(walk, sourceDir, destDir);
}

}  // namespace kv
