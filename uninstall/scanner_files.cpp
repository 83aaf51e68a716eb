#include "uninstall/scanner_files.h"

#include <string>
#include <vector>

#include "foundation/oskind.h"
#include "foundation/setupinfo.h"
#include "uninstall/driver_files.h"
#include "uninstall/removal_guard.h"

namespace kv {

namespace {

constexpr char kModel[] = "Model";

const char* OrEmpty(const char* s) { return s ? s : ""; }

// The scanner INF name of [Model]; on Me the Me key when it is not empty.
std::string ScannerInf(Context& ctx, const char* setupFile, const char* key,
                       const char* meKey) {
  if (meKey) {
    bool tooLong = false;
    std::string name =
        ReadRemovalName(ctx, setupFile, kModel, meKey, kInfNameSize, &tooLong);
    if (!name.empty() || tooLong) return name;
  }
  return ReadRemovalName(ctx, setupFile, kModel, key, kInfNameSize);
}

// The companion libraries, SEL first.
void DeleteCompanions(Context& ctx, const std::string& sys,
                      const std::string& header) {
  for (const char* suffix : {"SEL.dll", "SSL.dll"})
    RemoveFile(ctx, sys, header + suffix, OnFailure::Defer);
}

// Each line of `section` of the setup file is a whole file name, deleted
// in each of `folders`.
void DeleteListed(Context& ctx, const char* setupFile, const char* section,
                  const std::vector<std::string>& folders) {
  for (const std::string& name :
       ReadSectionLines(ctx, OrEmpty(setupFile), section))
    for (const std::string& folder : folders)
      RemoveFile(ctx, folder, name, OnFailure::Defer);
}

struct Nt5Keys {
  const char* inf;
  const char* catalogue;
  OnFailure closing;  // the INF copy's and catalogue's deletions
};

void DeleteScnFilesNT5(Context& ctx, const char* setupFile,
                       const Nt5Keys& keys) {
  const std::string sys = SystemDirectory(ctx);
  const std::string win = WindowsDirectory(ctx);
  const std::string store = sys + "\\KVDRV";
  const std::string inf = ScannerInf(ctx, setupFile, keys.inf, nullptr);
  std::string header;
  const bool named =
      ReadNameHeader(ctx, setupFile, "Initial", "NameHeader", &header);
  std::vector<RemovalTarget> targets = {{store, OnFailure::Defer, ""},
                                        {win, OnFailure::Defer, ""},
                                        {sys, OnFailure::Defer, ""}};
  if (named)
    targets.push_back({TwainFolder(win, header), OnFailure::Defer, ""});
  targets.push_back({sys + "\\Spool\\Drivers\\Color", OnFailure::Defer, ""});
  WalkInfFiles(ctx, inf, EntryCut::FirstEquals, targets);
  if (named) DeleteCompanions(ctx, sys, header);
  DeleteListed(ctx, setupFile, "UserDir", {store});
  DeleteListed(ctx, setupFile, "RenameFiles", {sys});
  RemoveFile(ctx, store, inf, keys.closing);
  RemoveFile(
      ctx, store,
      ReadRemovalName(ctx, setupFile, kModel, keys.catalogue, kInfNameSize),
      keys.closing);
}

}  // namespace

void DeleteScnFiles9x(Context& ctx, const char* setupFile) {
  const std::string sys = SystemDirectory(ctx);
  const std::string win = WindowsDirectory(ctx);
  const std::string store = sys + "\\KVDRV";
  const std::string inf = ScannerInf(ctx, setupFile, "SCNInfFile9x",
                                     IsWinMe(ctx) ? "SCNInfFileMe" : nullptr);
  std::string header;
  const bool named =
      ReadNameHeader(ctx, setupFile, "Initial", "NameHeader", &header);
  // The USB scanner driver's file serves other devices too. Read whole: a
  // cut name would keep another file.
  const std::string skip =
      ReadSetupString(ctx, OrEmpty(setupFile), "Files.9x", "USBscan", MAX_PATH);
  const std::string twain = TwainFolder(win, header);
  std::vector<RemovalTarget> targets = {{store, OnFailure::Defer, skip},
                                        {win, OnFailure::Defer, skip},
                                        {sys, OnFailure::Defer, skip}};
  if (named) targets.push_back({twain, OnFailure::Defer, ""});
  targets.push_back({sys + "\\Color", OnFailure::Defer, ""});
  targets.push_back({win + "\\System32\\Drivers", OnFailure::Defer, skip});
  WalkInfFiles(ctx, inf, EntryCut::FirstEquals, targets, true);
  if (named) DeleteCompanions(ctx, sys, header);
  DeleteListed(ctx, setupFile, "UserDir",
               named ? std::vector<std::string>{store, twain}
                     : std::vector<std::string>{store});
  DeleteListed(ctx, setupFile, "RenameFiles", {sys});
  RemoveFile(ctx, store, inf, OnFailure::Ignore);
  RemoveFile(ctx, win + "\\INF", inf, OnFailure::Ignore);
}

void DeleteScnFiles2k(Context& ctx, const char* setupFile) {
  DeleteScnFilesNT5(ctx, setupFile,
                    {"SCNInfFile2K", "SCNCatFile2K", OnFailure::Ignore});
}

void DeleteScnFilesXP(Context& ctx, const char* setupFile) {
  DeleteScnFilesNT5(ctx, setupFile,
                    {"SCNInfFileXP", "SCNCatFileXP", OnFailure::Defer});
}

}  // namespace kv
