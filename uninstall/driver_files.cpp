#include "uninstall/driver_files.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <set>
#include <vector>

#include "foundation/diagnostics.h"
#include "foundation/handles.h"
#include "foundation/install_record.h"
#include "foundation/oskind.h"
#include "foundation/registry.h"
#include "foundation/registry_paths.h"
#include "foundation/setupinfo.h"
#include "foundation/text.h"
#include "uninstall/batch.h"
#include "uninstall/removal_guard.h"

namespace kv {

namespace {

constexpr char kModel[] = "Model";
constexpr char kFileListSection[] = "SourceDisksFiles";
// A skip name keeps a file: it is read whole, never cut to a shorter name
// that would keep another file instead.
constexpr DWORD kSkipNameSize = MAX_PATH;

// Cut before a '=' that stands `fromEnd` characters before the end.
std::string CutMediumSuffix(const std::string& line, size_t fromEnd) {
  if (line.size() >= fromEnd && line[line.size() - fromEnd] == '=')
    return line.substr(0, line.size() - fromEnd);
  return line;
}

std::string EntryName(const std::string& line, EntryCut cut) {
  switch (cut) {
    case EntryCut::FirstEquals:
      return line.substr(0, line.find('='));
    case EntryCut::PrinterSuffix:
      return CutMediumSuffix(line, 4);
    case EntryCut::ScannerSuffix:
      return CutMediumSuffix(line, 3);
  }
  return line;
}

// The folders of one call, each without a trailing separator. A directory
// that can't be had leaves folders the removal guard refuses.
struct Folders {
  explicit Folders(Context& ctx)
      : sys(SystemDirectory(ctx)), win(WindowsDirectory(ctx)) {}
  std::string Store() const { return sys + "\\" + kDriverStoreFolder; }
  std::string WinInf() const { return win + "\\INF"; }
  std::string Spool() const { return sys + "\\Spool\\Drivers\\w32x86"; }
  std::string Spool2() const { return Spool() + "\\2"; }
  std::string Spool3() const { return Spool() + "\\3"; }
  std::string sys;
  std::string win;
};

// The first of `keys` in [Model] that is not empty. A value passed over as
// too long ends the search: it is not the missing value a later key stands
// in for.
std::string FirstModelName(Context& ctx, const char* setupFile,
                           std::initializer_list<const char*> keys,
                           unsigned size) {
  for (const char* key : keys) {
    bool tooLong = false;
    std::string name =
        ReadRemovalName(ctx, setupFile, kModel, key, size, &tooLong);
    if (!name.empty() || tooLong) return name;
  }
  return std::string();
}

std::string ModelName(Context& ctx, const char* setupFile, const char* key,
                      unsigned size) {
  return ReadRemovalName(ctx, setupFile, kModel, key, size);
}

// The parallel-port driver file of [Files.2K] in the four folders it may
// have been copied to; it stays where it can't be deleted.
void DeleteLptDriverFile(Context& ctx, const Folders& d,
                         const char* setupFile) {
  const std::string name =
      ReadRemovalName(ctx, setupFile, "Files.2K", "Lpt2K", kInfNameSize);
  // "drivers\name" is the image of the port driver's service, which goes
  // with the service once that is known to be the installation's.
  if (IsSystemRelativeName(ctx.os, name)) return;
  for (const std::string& folder : {d.Store(), d.sys, d.Spool(), d.Spool3()})
    RemoveFile(ctx, folder, name, OnFailure::Ignore);
}

// The model folders below w32x86 that [USBFOLDER] names. Only a plain
// folder name is taken: a value with a separator would reach another
// folder of the spooler's tree.
std::vector<RemovalTarget> ModelFolders(Context& ctx, const Folders& d,
                                        const char* setupFile) {
  std::vector<RemovalTarget> targets;
  for (const char* model : {"QV-7721LN", "QV-7731LN"}) {
    const std::string folder =
        ReadRemovalName(ctx, setupFile, "USBFOLDER", model, kModelFolderSize);
    if (folder.empty()) continue;
    if (!IsPlainFileName(ctx.os, folder)) {
      DebugTrace(ctx, "Model folder passed over [%s]\n", folder.c_str());
      continue;
    }
    targets.push_back({d.Spool() + "\\" + folder, OnFailure::Ignore, ""});
  }
  return targets;
}

const char* OrEmpty(const char* s) { return s ? s : ""; }

std::string UpperBaseName(Platform& os, const char* path) {
  std::string name = path ? path : "";
  const size_t slash = text::FindLastOf(os, name, "\\/:");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  return text::UpperAscii(os, name);
}

// Whether the spooler's registry still holds driver `d`: a driver whose
// record removal deleted may linger in the NT spooler's memory until it
// starts again, and its files are no other driver's.
bool DriverRecordRemains(Context& ctx, const DRIVER_INFO_3A& d) {
  if (!d.pName) return false;
  std::vector<std::string> paths;
  if (GetOSKind(ctx) == OsKind::Win9x) {
    // Windows 9x files records directly below Drivers, Wine below Version-0.
    paths = {std::string(k9xDriversKey) + "\\" + d.pName,
             std::string(k9xDriversKey) + "\\Version-0\\" + d.pName};
  } else {
    paths = {std::string(kEnvironmentsKey) +
             "\\Windows NT x86\\Drivers\\Version-" +
             std::to_string(d.cVersion) + "\\" + d.pName};
  }
  for (const std::string& path : paths) {
    RegKey key(ctx.os);
    if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, path, key) != ERROR_FILE_NOT_FOUND)
      return true;
  }
  return false;
}

// The file names (upper case, no folder) every driver the spooler still
// has names: its driver, data, configuration and help files and its
// dependent files. False when the drivers can't be listed.
// Calls `each` for every driver the spooler lists whose record remains.
bool ForEachInstalledDriver(
    Context& ctx, const std::function<void(const DRIVER_INFO_3A&)>& each) {
  DWORD needed = 0, returned = 0;
  BYTE probe[4096] = {};
  if (!ctx.os.EnumPrinterDriversA(nullptr, nullptr, 3, probe, sizeof probe,
                                  &needed, &returned) &&
      ctx.os.GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return false;
  if (needed == 0) return true;
  // Whole DWORDs: the records start with pointers.
  std::vector<DWORD> list((needed + 3) / 4, 0);
  if (!ctx.os.EnumPrinterDriversA(
          nullptr, nullptr, 3, reinterpret_cast<LPBYTE>(list.data()),
          static_cast<DWORD>(list.size() * 4), &needed, &returned))
    return false;
  const auto* drivers = reinterpret_cast<const DRIVER_INFO_3A*>(list.data());
  for (DWORD i = 0; i < returned; ++i)
    if (DriverRecordRemains(ctx, drivers[i])) each(drivers[i]);
  return true;
}

// The file names (upper case, no folder) every driver the spooler still
// has names, and with `monitors` each driver's language monitor.
bool FilesOfInstalledDrivers(Context& ctx, std::set<std::string>* files,
                             std::vector<DriverMonitor>* monitors = nullptr) {
  return ForEachInstalledDriver(ctx, [&](const DRIVER_INFO_3A& d) {
    for (const char* f :
         {d.pDriverPath, d.pDataFile, d.pConfigFile, d.pHelpFile})
      if (f && *f) files->insert(UpperBaseName(ctx.os, f));
    for (const char* f = d.pDependentFiles; f && *f; f += std::strlen(f) + 1)
      files->insert(UpperBaseName(ctx.os, f));
    if (monitors && d.pName && d.pMonitorName && *d.pMonitorName)
      monitors->push_back({d.pName, d.pMonitorName});
  });
}

// The keys that tell DeleteFiles2k from DeleteFilesXP.
struct ExportKeys {
  const char* printerInf;
  const char* scannerInf;
  const char* printerCatalogue;
  const char* scannerCatalogue;
};

int DeleteFilesNT5(Context& ctx, const char* setupFile,
                   const ExportKeys& keys) {
  const Folders d(ctx);
  const std::string printerInf =
      ModelName(ctx, setupFile, keys.printerInf, kExportNameSize);
  WalkInfFiles(ctx, printerInf, EntryCut::PrinterSuffix,
               {{d.Store(), OnFailure::Ignore, ""},
                {d.sys, OnFailure::Ignore, ""},
                {d.Spool(), OnFailure::Ignore, ""},
                {d.Spool3(), OnFailure::Ignore, ""}});
  const std::string scannerInf =
      ModelName(ctx, setupFile, keys.scannerInf, kExportNameSize);
  std::string header;
  const bool twain =
      ReadNameHeader(ctx, setupFile, "Initial", "NameHeader", &header);
  if (!scannerInf.empty()) {
    std::vector<RemovalTarget> targets = {{d.Store(), OnFailure::Ignore, ""},
                                          {d.win, OnFailure::Ignore, ""},
                                          {d.sys, OnFailure::Ignore, ""}};
    if (twain)
      targets.push_back({TwainFolder(d.win, header), OnFailure::Ignore, ""});
    targets.push_back(
        {d.sys + "\\Spool\\Drivers\\Color", OnFailure::Ignore, ""});
    WalkInfFiles(ctx, scannerInf, EntryCut::ScannerSuffix, targets);
  }
  RemoveFile(ctx, d.Store(), printerInf, OnFailure::Ignore);
  RemoveFile(ctx, d.Store(), scannerInf, OnFailure::Ignore);
  RemoveFile(ctx, d.Store(),
             ModelName(ctx, setupFile, keys.printerCatalogue, kExportNameSize),
             OnFailure::Ignore);
  return RemoveFile(
             ctx, d.Store(),
             ModelName(ctx, setupFile, keys.scannerCatalogue, kExportNameSize),
             OnFailure::Ignore)
             ? 1
             : 0;
}

}  // namespace

std::string ReadRemovalName(Context& ctx, const char* setupFile,
                            const char* section, const char* key, unsigned size,
                            bool* tooLong) {
  // One character more than the buffer holds shows a value that would not
  // have fitted.
  std::string value =
      ReadSetupString(ctx, OrEmpty(setupFile), section, key, size + 1);
  const bool over = value.size() >= size;
  if (tooLong) *tooLong = over;
  if (!over) return value;
  DebugTrace(ctx, "%s/%s longer than %u characters, passed over\n", section,
             key, size - 1);
  return std::string();
}

BOOL RemoveFile(Context& ctx, const std::string& folder,
                const std::string& name, OnFailure onFailure) {
  if (DeleteOwnedFile(ctx, folder, name)) return TRUE;
  if (onFailure == OnFailure::Defer) {
    const DWORD error = ctx.os.GetLastError();
    // Empty when the guard refused the folder or name: such a path is never
    // deleted, not even at the next start.
    const std::string path = OwnedFilePath(ctx, folder, name);
    if (!path.empty()) AddDeferredDeletion(ctx, path.c_str());
    ctx.os.SetLastError(error);
  }
  return FALSE;
}

void WalkInfFiles(Context& ctx, const std::string& infName, EntryCut cut,
                  const std::vector<RemovalTarget>& targets, bool passOverUsb) {
  if (!IsPlainFileName(ctx.os, infName)) {
    if (!infName.empty())
      DebugTrace(ctx, "INF name passed over [%s]\n", infName.c_str());
    return;
  }
  const std::string sys = SystemDirectory(ctx);
  if (sys.empty()) return;
  const std::vector<std::string> lines = ReadSectionLines(
      ctx, (sys + "\\KVDRV\\" + infName).c_str(), kFileListSection);
  if (lines.empty()) return;
  // Maker INFs list Windows' shared printing files too: a file another
  // installed driver names stays, and without the list every file does.
  std::set<std::string> inUse;
  if (!FilesOfInstalledDrivers(ctx, &inUse)) {
    DebugTrace(ctx, "Drivers not listed, the files of %s kept\n",
               infName.c_str());
    return;
  }
  for (const std::string& line : lines) {
    const std::string name = EntryName(line, cut);
    if (!IsPlainFileName(ctx.os, name)) {
      DebugTrace(ctx, "File name passed over [%s]\n", name.c_str());
      continue;
    }
    if (inUse.count(UpperBaseName(ctx.os, name.c_str()))) {
      DebugTrace(ctx, "File kept, an installed driver names it [%s]\n",
                 name.c_str());
      continue;
    }
    // The USB drivers are shared with other devices: they stay.
    if (passOverUsb && name.size() >= 3 &&
        EqualNoCase(ctx.os, name.substr(0, 3), "usb"))
      continue;
    for (const RemovalTarget& target : targets) {
      if (!target.skipName.empty() &&
          EqualNoCase(ctx.os, name, target.skipName))
        continue;
      RemoveFile(ctx, target.folder, name, target.onFailure);
    }
  }
}

bool ReadNameHeader(Context& ctx, const char* setupFile, const char* section,
                    const char* key, std::string* header) {
  bool tooLong = false;
  *header =
      ReadRemovalName(ctx, setupFile, section, key, kNameHeaderSize, &tooLong);
  if (tooLong) return false;
  for (const char* suffix : {"twn", "SEL.dll", "SSL.dll"}) {
    if (!IsPlainFileName(ctx.os, *header + suffix)) {
      DebugTrace(ctx, "Name header passed over [%s]\n", header->c_str());
      return false;
    }
  }
  return true;
}

std::string TwainFolder(const std::string& windowsDir,
                        const std::string& header) {
  return windowsDir + "\\Twain_32\\" + header + "twn";
}

void DeletePrnFiles9x(Context& ctx, const char* setupFile) {
  const Folders d(ctx);
  const std::string inf =
      IsWinMe(ctx)
          ? FirstModelName(ctx, setupFile, {"PRNInfFileMe", "PRNInfFile9x"},
                           kInfNameSize)
          : ModelName(ctx, setupFile, "PRNInfFile9x", kInfNameSize);
  // The USB port monitor's file serves other printers too.
  const std::string skip = ReadSetupString(ctx, OrEmpty(setupFile), "Files.9x",
                                           "USBmonm", kSkipNameSize);
  WalkInfFiles(
      ctx, inf, EntryCut::FirstEquals,
      {{d.Store(), OnFailure::Defer, skip}, {d.sys, OnFailure::Defer, skip}});
  RemoveFile(ctx, d.Store(), inf, OnFailure::Ignore);
  RemoveFile(ctx, d.WinInf(), inf, OnFailure::Ignore);
}

void DeleteUsbInfFiles9x(Context& ctx, const char* setupFile) {
  const bool me = IsWinMe(ctx) != 0;
  // On Me the fallback is the common key, never the 95/98 one.
  const std::string names[] = {
      FirstModelName(ctx, setupFile,
                     {me ? "USBInfFileMe" : "USBInfFile9x", "USBINF"},
                     kInfNameSize),
      FirstModelName(ctx, setupFile,
                     {me ? "USBComInfFileMe" : "USBComInfFile9x", "USBComINF"},
                     kInfNameSize)};
  const Folders d(ctx);
  for (const std::string& name : names) {
    RemoveFile(ctx, d.Store(), name, OnFailure::Ignore);
    RemoveFile(ctx, d.WinInf(), name, OnFailure::Ignore);
  }
}

namespace {

// Where the NT family keeps a printer driver's files: the driver store, the
// system directory, the spooler's driver folder and its version folder;
// each deferred when it can't be deleted now.
std::vector<RemovalTarget> NtDriverTargets(const Folders& d,
                                           const std::string& versionFolder) {
  return {{d.Store(), OnFailure::Defer, ""},
          {d.sys, OnFailure::Defer, ""},
          {d.Spool(), OnFailure::Defer, ""},
          {versionFolder, OnFailure::Defer, ""}};
}

}  // namespace

void DeletePrnFilesNT(Context& ctx, const char* setupFile) {
  const Folders d(ctx);
  const std::string inf =
      ModelName(ctx, setupFile, "PRNInfFileNT", kInfNameSize);
  WalkInfFiles(ctx, inf, EntryCut::FirstEquals, NtDriverTargets(d, d.Spool2()));
  RemoveFile(ctx, d.Store(), inf, OnFailure::Defer);
  RemoveFile(ctx, d.WinInf(), inf, OnFailure::Ignore);
}

namespace {

// Windows 2000 and XP keep a driver's files alike; XP also copies a USB
// model's files into the model's own folder (tried once: a copy that can't
// be deleted stays), and defers its INF copy and catalogue where 2000
// passes over them.
struct Nt5Files {
  const char* infKey;
  const char* catKey;
  bool modelFolders;
  OnFailure storeFailure;
};

void DeletePrnFilesNT5(Context& ctx, const char* setupFile, const Nt5Files& f) {
  const Folders d(ctx);
  const std::string inf = ModelName(ctx, setupFile, f.infKey, kInfNameSize);
  std::vector<RemovalTarget> targets = NtDriverTargets(d, d.Spool3());
  if (f.modelFolders) {
    for (RemovalTarget& model : ModelFolders(ctx, d, setupFile))
      targets.push_back(std::move(model));
  }
  WalkInfFiles(ctx, inf, EntryCut::FirstEquals, targets);
  // Windows keeps its own copy of the INF in W\INF under another name: it
  // is not touched.
  RemoveFile(ctx, d.Store(), inf, f.storeFailure);
  RemoveFile(ctx, d.Store(), ModelName(ctx, setupFile, f.catKey, kInfNameSize),
             f.storeFailure);
  DeleteLptDriverFile(ctx, d, setupFile);
}

}  // namespace

void DeletePrnFiles2k(Context& ctx, const char* setupFile) {
  DeletePrnFilesNT5(ctx, setupFile,
                    {"PRNInfFile2K", "PRNCatFile2K", false, OnFailure::Ignore});
}

void DeletePrnFilesXP(Context& ctx, const char* setupFile) {
  DeletePrnFilesNT5(ctx, setupFile,
                    {"PRNInfFileXP", "PRNCatFileXP", true, OnFailure::Defer});
}

int DeleteFiles9x(Context& ctx, const char* setupFile) {
  const RemovalRoots roots(ctx);
  const RecordProductScope product(ctx, RemovalProduct(ctx, setupFile));
  const Folders d(ctx);
  const std::string printerInf =
      ModelName(ctx, setupFile, "PRNInfFile9x", kExportNameSize);
  WalkInfFiles(
      ctx, printerInf, EntryCut::PrinterSuffix,
      {{d.Store(), OnFailure::Ignore, ""}, {d.sys, OnFailure::Ignore, ""}});
  const std::string scannerInf =
      ModelName(ctx, setupFile, "SCNInfFile9x", kExportNameSize);
  std::string header;
  const bool twain = ReadNameHeader(ctx, setupFile, kModel, "SCNHead", &header);
  if (!scannerInf.empty()) {
    std::vector<RemovalTarget> targets = {{d.Store(), OnFailure::Ignore, ""},
                                          {d.win, OnFailure::Ignore, ""},
                                          {d.sys, OnFailure::Ignore, ""}};
    if (twain)
      targets.push_back({TwainFolder(d.win, header), OnFailure::Ignore, ""});
    targets.push_back({d.sys + "\\Color", OnFailure::Ignore, ""});
    targets.push_back({d.win + "\\System32\\Drivers", OnFailure::Ignore, ""});
    WalkInfFiles(ctx, scannerInf, EntryCut::ScannerSuffix, targets);
  }
  for (const std::string* inf : {&printerInf, &scannerInf}) {
    RemoveFile(ctx, d.Store(), *inf, OnFailure::Ignore);
    RemoveFile(ctx, d.WinInf(), *inf, OnFailure::Ignore);
  }
  const std::string usbInf =
      ModelName(ctx, setupFile, "USBINF", kExportNameSize);
  const std::string usbComInf =
      ModelName(ctx, setupFile, "USBComINF", kExportNameSize);
  RemoveFile(ctx, d.Store(), usbInf, OnFailure::Ignore);
  RemoveFile(ctx, d.Store(), usbComInf, OnFailure::Ignore);
  RemoveFile(ctx, d.WinInf(), usbInf, OnFailure::Ignore);
  return RemoveFile(ctx, d.WinInf(), usbComInf, OnFailure::Ignore) ? 1 : 0;
}

int DeleteFilesNT(Context& ctx, const char* setupFile) {
  const RemovalRoots roots(ctx);
  const RecordProductScope product(ctx, RemovalProduct(ctx, setupFile));
  const Folders d(ctx);
  const std::string inf =
      ModelName(ctx, setupFile, "PRNInfFileNT", kExportNameSize);
  WalkInfFiles(ctx, inf, EntryCut::PrinterSuffix,
               {{d.Store(), OnFailure::Ignore, ""},
                {d.sys, OnFailure::Ignore, ""},
                {d.Spool(), OnFailure::Ignore, ""},
                {d.Spool2(), OnFailure::Ignore, ""}});
  return RemoveFile(ctx, d.Store(), inf, OnFailure::Ignore) ? 1 : 0;
}

int DeleteFiles2k(Context& ctx, const char* setupFile) {
  const RemovalRoots roots(ctx);
  const RecordProductScope product(ctx, RemovalProduct(ctx, setupFile));
  return DeleteFilesNT5(
      ctx, setupFile,
      {"PRNInfFile2K", "SCNInfFile2K", "PRNCatFile2K", "SCNCatFile2K"});
}

int DeleteFilesXP(Context& ctx, const char* setupFile) {
  const RemovalRoots roots(ctx);
  const RecordProductScope product(ctx, RemovalProduct(ctx, setupFile));
  return DeleteFilesNT5(
      ctx, setupFile,
      {"PRNInfFileXP", "SCNInfFileXP", "PRNCatFileXP", "SCNCatFileXP"});
}

bool NamesOfInstalledDriverFiles(Context& ctx, std::set<std::string>* names) {
  return FilesOfInstalledDrivers(ctx, names);
}

bool MonitorsOfInstalledDrivers(Context& ctx,
                                std::vector<DriverMonitor>* monitors) {
  std::set<std::string> files;
  return FilesOfInstalledDrivers(ctx, &files, monitors);
}

bool OtherDriverNamesMonitor(Context& ctx, const std::string& monitor,
                             const std::vector<std::string>& except) {
  std::vector<DriverMonitor> named;
  if (!MonitorsOfInstalledDrivers(ctx, &named)) return true;
  for (const DriverMonitor& n : named) {
    if (!EqualNoCase(ctx.os, n.monitor, monitor)) continue;
    if (std::none_of(except.begin(), except.end(), [&](const std::string& e) {
          return EqualNoCase(ctx.os, e, n.driver);
        }))
      return true;
  }
  return false;
}

bool InstalledDriverPaths(Context& ctx, const std::string& driver,
                          std::vector<std::string>* paths) {
  return ForEachInstalledDriver(ctx, [&](const DRIVER_INFO_3A& d) {
    if (!d.pName || !EqualNoCase(ctx.os, d.pName, driver)) return;
    for (const char* f :
         {d.pDriverPath, d.pDataFile, d.pConfigFile, d.pHelpFile})
      if (f && *f) paths->push_back(f);
    for (const char* f = d.pDependentFiles; f && *f; f += std::strlen(f) + 1)
      paths->push_back(f);
  });
}

std::string UpperFileName(Platform& os, const std::string& path) {
  return UpperBaseName(os, path.c_str());
}

}  // namespace kv
