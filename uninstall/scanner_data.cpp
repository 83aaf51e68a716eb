#include "uninstall/scanner_data.h"

#include <cstring>

#include "foundation/diagnostics.h"
#include "foundation/install_record.h"
#include "foundation/oskind.h"
#include "foundation/setupinfo.h"
#include "uninstall/batch.h"
#include "uninstall/removal_guard.h"

namespace kv {

namespace {

constexpr char kScannerSetupFile[] = "vt3eins.sii";
// Values are read with room for any name a path can hold, so that none is
// cut: a cut file or folder name names another one.
constexpr DWORD kWholeValueSize = MAX_PATH + 1;

// The value of `key`, or empty when it fills the buffer (it may have been
// cut).
std::string ReadWhole(Context& ctx, const char* file, const char* section,
                      const char* key) {
  std::string value = ReadSetupString(ctx, file, section, key, kWholeValueSize);
  if (value.size() + 1 >= kWholeValueSize) value.clear();
  return value;
}

// A value that names one folder below its parent ("NameHeader",
// "TempDir"), or empty with a trace when it would name another place.
std::string FolderName(Context& ctx, const std::string& value,
                       const char* key) {
  if (IsPlainFileName(ctx.os, value)) return value;
  if (!value.empty())
    DebugTrace(ctx, "%s passed over [%s]\n", key, value.c_str());
  return std::string();
}

// `base` + `tail`, or empty when either part is missing.
std::string Join(const std::string& base, const std::string& tail) {
  return base.empty() || tail.empty() ? std::string() : base + tail;
}

// Deletes `folder`\`name`; an empty folder is one that is not there.
// True when the file was deleted.
bool DeleteListed(Context& ctx, const std::string& folder,
                  const std::string& name) {
  return !folder.empty() && DeleteOwnedFile(ctx, folder, name);
}

void RemoveFontList(Context& ctx, const char* list, int keys,
                    const std::string& fontFolder) {
  for (int n = 1; n <= keys; ++n) {
    const std::string font =
        ReadWhole(ctx, list, "FontSections", std::to_string(n).c_str());
    if (font.empty()) continue;
    if (!IsPlainFileName(ctx.os, font)) {
      DebugTrace(ctx, "Font passed over [%s]\n", font.c_str());
      continue;
    }
    // The file first: a font loaded at this moment keeps its file.
    DeleteListed(ctx, fontFolder, font);
    ctx.os.RemoveFontResourceA(font.c_str());
  }
}

// The scanner's folders by OS kind; empty where the kind has none or a part
// can't be had.
struct ScannerFolders {
  std::string twain;    // <Windows>\Twain_32\<NameHeader>twn
  std::string perUser;  // <AppData>\Korva\ScannerDriver\<NameHeader>
  std::string system;   // the system directory
  std::string temp;     // <system>\<TempDir>
  std::string colour;   // the colour profile folder of the family
};

ScannerFolders FoldersOf(Context& ctx, OsKind kind,
                         const std::string& nameHeader,
                         const std::string& tempDir) {
  ScannerFolders f;
  const std::string header = FolderName(ctx, nameHeader, "NameHeader");
  if (!header.empty()) {
    // Windows paths ignore case: the 9x scanner data folder
    // "\TWAIN_32\<header>TWN" is this same folder.
    f.twain = Join(WindowsDirectory(ctx), "\\Twain_32\\" + header + "twn");
    f.perUser = Join(UserScannerRoot(ctx), "\\" + header);
  }
  f.system = SystemDirectory(ctx);
  const std::string temp = FolderName(ctx, tempDir, "TempDir");
  if (!temp.empty()) f.temp = Join(f.system, "\\" + temp);
  switch (kind) {
    case OsKind::Win9x:
      f.colour = Join(f.system, "\\Color");
      break;
    case OsKind::NT4:
    case OsKind::Win2000:
    case OsKind::XP:
      f.colour = Join(f.system, "\\Spool\\Drivers\\Color");
      break;
    case OsKind::Other:
      break;
  }
  return f;
}

// Deletes each plain file name of the list from `temp`, then from `home`.
// The number of files deleted from `temp`.
int DeleteListTwice(Context& ctx, const char* file, const std::string& section,
                    const std::string& temp, const std::string& home) {
  int fromTemp = 0;
  for (const std::string& name : ReadSectionLines(ctx, file, section.c_str())) {
    if (!IsPlainFileName(ctx.os, name)) {
      DebugTrace(ctx, "List line passed over [%s]\n", name.c_str());
      continue;
    }
    fromTemp += DeleteListed(ctx, temp, name) ? 1 : 0;
    DeleteListed(ctx, home, name);
  }
  return fromTemp;
}

}  // namespace

void RemoveFonts(Context& ctx) {
  const std::string fontFolder = Join(WindowsDirectory(ctx), "\\Fonts");
  RemoveFontList(ctx, "font1.sii", kFontList1Keys, fontFolder);
  RemoveFontList(ctx, "font2.sii", kFontList2Keys, fontFolder);
  ctx.os.SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
}

void DeleteFontLists(Context& ctx) {
  const std::string windows = WindowsDirectory(ctx);
  for (const char* list : {"font1.sii", "font2.sii"}) {
    const std::string path = OwnedFilePath(ctx, windows, list);
    if (!path.empty() && !DeleteOwnedFile(ctx, windows, list) &&
        ctx.os.GetLastError() != ERROR_FILE_NOT_FOUND)
      AddDeferredDeletion(ctx, path.c_str());
  }
}

void RemoveEmptyScannerFolders(Context& ctx) {
  const ScannerFolders folders =
      FoldersOf(ctx, GetOSKind(ctx),
                ReadWhole(ctx, kScannerSetupFile, "Initial", "NameHeader"),
                std::string());
  const std::string root = UserScannerRoot(ctx);
  // Deepest first: each goes only when what was below it went.
  for (const std::string& folder :
       {folders.twain, folders.perUser, root, text::FolderPart(ctx.os, root)})
    if (!folder.empty()) RemoveOwnedEmptyFolder(ctx, folder);
}

void RemoveScannerData(Context& ctx, const char* setupFile) {
  if (!setupFile || !*setupFile) return;
  const OsKind kind = GetOSKind(ctx);
  const std::string preferences =
      ReadWhole(ctx, setupFile, "Model", "SCNPreData");
  const ScannerFolders folders =
      FoldersOf(ctx, kind, ReadWhole(ctx, setupFile, "Initial", "NameHeader"),
                std::string());
  std::string dataFolder;
  if (kind == OsKind::Win9x) dataFolder = folders.twain;
  if (kind == OsKind::Win2000 || kind == OsKind::XP)
    dataFolder = folders.perUser;
  if (!preferences.empty()) DeleteListed(ctx, dataFolder, preferences);

  const std::string driverCopies = Join(folders.system, "\\KVDRV");
  DeleteListTwice(ctx, setupFile, "UserDir", driverCopies, dataFolder);
}

int DeleteFilesTWAIN(Context& ctx, const char* /*ignored*/) {
  const RemovalRoots roots(ctx);
  const RecordProductScope product(ctx, RemovalProduct(ctx, "vt3eins.sii"));
  const OsKind kind = GetOSKind(ctx);
  const ScannerFolders folders = FoldersOf(
      ctx, kind, ReadWhole(ctx, kScannerSetupFile, "Initial", "NameHeader"),
      ReadWhole(ctx, kScannerSetupFile, "DestinationDirs", "TempDir"));
  std::string userFolder;
  if (kind == OsKind::Win9x) userFolder = folders.twain;
  if (kind == OsKind::NT4 || kind == OsKind::Win2000 || kind == OsKind::XP)
    userFolder = folders.perUser;
  const struct {
    const char* key;
    const std::string& home;
  } lists[] = {
      {"Twain", folders.twain},
      {"System", folders.system},
      {"User", userFolder},
      {"Color", folders.colour},
  };
  int fromTemp = 0;
  for (const auto& list : lists)
    fromTemp +=
        DeleteListTwice(ctx, kScannerSetupFile,
                        ReadWhole(ctx, kScannerSetupFile, "Sections", list.key),
                        folders.temp, list.home);
  // The copy folder is the installation's when it held the listed copies;
  // it goes once they are all gone.
  if (fromTemp > 0) RemoveOwnedEmptyFolder(ctx, folders.temp);
  return 0;
}

}  // namespace kv
