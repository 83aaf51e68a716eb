// Removal of the installed driver files, one Windows family at a time.
//
// The file list comes from the "SourceDisksFiles" section of the INF copy in
// the driver store folder (system directory + "\KVDRV"); a few more files are
// named by keys of the setup file. Every deletion goes through the removal
// guard: a name from a list or a key that is not a plain file name is passed
// over with a trace, never deleted anywhere and never deferred. Sections are
// read whole, however many lines and however long each line, so no listed
// file is left behind.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "foundation/context.h"

namespace kv {

// How a line of an INF's file list becomes a file name.
enum class EntryCut {
  // The text before the first '=' (a line without one is taken whole): the
  // internal removals' rule.
  FirstEquals,
  // Cut only when the 4th-last character is '=' (a three-character medium
  // suffix, "KV.DLL=1,,"): the exported removals' printer pass.
  PrinterSuffix,
  // The same with the 3rd-last character: the exported scanner pass.
  ScannerSuffix,
};

enum class OnFailure {
  Defer,   // a file that can't be deleted goes to the deferred-deletion batch
  Ignore,  // it stays
};

// A folder a walk deletes each name in.
struct RemovalTarget {
  std::string folder;  // without a trailing separator
  OnFailure onFailure;
  // A name left alone in this folder (any letter case); empty: none.
  std::string skipName;
};

// Setup-file read buffers, in characters with the terminator. A longer
// value is passed over (traced, read as empty), not cut: a cut name would
// name another file.
// The driver store folder below the system directory.
constexpr char kDriverStoreFolder[] = "KVDRV";
constexpr unsigned kInfNameSize = 49;       // internal removals' file names
constexpr unsigned kExportNameSize = 256;   // exported removals' file names
constexpr unsigned kNameHeaderSize = 10;    // the scanner name header
constexpr unsigned kModelFolderSize = 100;  // [USBFOLDER] values
// The value of `key`, or empty (with a trace) when it would not fit
// `size` characters with the terminator; `tooLong` tells the two apart.
std::string ReadRemovalName(Context& ctx, const char* setupFile,
                            const char* section, const char* key, unsigned size,
                            bool* tooLong = nullptr);

// Deletes `folder` + "\" + `name` through the removal guard. On failure a
// Defer target hands the path to AddDeferredDeletion, unless the guard
// refused the name or folder. The deletion's result, with its last error.
BOOL RemoveFile(Context& ctx, const std::string& folder,
                const std::string& name, OnFailure onFailure);

// The INF walk: each entry of [SourceDisksFiles] in the INF copy
// system directory + "\KVDRV\" + `infName`, cut by `cut`, is deleted in
// every target in order (skipping a target whose skip name it is). With
// `passOverUsb` an entry whose name begins with "USB" (any case) is left
// everywhere. An INF name that is not a plain file name reads nothing.
void WalkInfFiles(Context& ctx, const std::string& infName, EntryCut cut,
                  const std::vector<RemovalTarget>& targets,
                  bool passOverUsb = false);

// The scanner name header of `key` in `section`: true when it makes plain
// names of its TWAIN folder (header + "twn") and companion libraries
// (header + "SEL.dll", header + "SSL.dll"), an empty header included;
// false, traced, when it is too long or would make another kind of name:
// those folders and files are then passed over.
bool ReadNameHeader(Context& ctx, const char* setupFile, const char* section,
                    const char* key, std::string* header);

// The scanner's TWAIN data source folder: Windows directory +
// "\Twain_32\" + header + "twn".
std::string TwainFolder(const std::string& windowsDir,
                        const std::string& header);

// The internal removals the model-set removal calls last, for the setup
// file `setupFile`. No result: what can't be deleted is deferred or left,
// as each says in driver_files.cpp.
void DeletePrnFiles9x(Context& ctx, const char* setupFile);
void DeleteUsbInfFiles9x(Context& ctx, const char* setupFile);
void DeletePrnFilesNT(Context& ctx, const char* setupFile);
void DeletePrnFiles2k(Context& ctx, const char* setupFile);
void DeletePrnFilesXP(Context& ctx, const char* setupFile);

// The exported removals of printer, scanner and USB driver files: delete
// what they can, defer nothing, whatever the running Windows. The result of
// the last deletion of the sequence (non-zero when that file was deleted),
// with its last error. The exports' contracts:
// exports/uninstall_exports.h.
int DeleteFiles9x(Context& ctx, const char* setupFile);
int DeleteFilesNT(Context& ctx, const char* setupFile);
int DeleteFiles2k(Context& ctx, const char* setupFile);
int DeleteFilesXP(Context& ctx, const char* setupFile);

// The file names (upper case, without folder) every installed driver whose
// record remains names. False when the drivers can't be listed.
bool NamesOfInstalledDriverFiles(Context& ctx, std::set<std::string>* names);

// An installed driver (whose record remains) and the language monitor it
// names.
struct DriverMonitor {
  std::string driver, monitor;
};
// Every installed driver that names a monitor. False when the drivers can't
// be listed.
bool MonitorsOfInstalledDrivers(Context& ctx,
                                std::vector<DriverMonitor>* monitors);

// Whether a driver other than those of `except` (any case) names
// `monitor`; true as well when the drivers can't be listed.
bool OtherDriverNamesMonitor(Context& ctx, const std::string& monitor,
                             const std::vector<std::string>& except = {});

// The files (as the spooler gives them: full paths where it keeps them)
// installed driver `driver` names. False when the drivers can't be listed.
bool InstalledDriverPaths(Context& ctx, const std::string& driver,
                          std::vector<std::string>* paths);

// The file name of `path` without its folder, in upper case.
std::string UpperFileName(Platform& os, const std::string& path);

}  // namespace kv
