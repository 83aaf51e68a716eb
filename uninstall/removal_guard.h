// What removal may delete. Every file, registry tree and service that
// removal deletes goes through here, and anything that installation could
// not have made is refused: a name taken from a list (an INF's file list, a
// setup file's key or section) that climbs out of its folder, holds a
// folder, a drive, a device or a share; a folder outside the Windows
// directory and the per-user scanner folder; a registry key outside the
// device, class, spooler and maker trees. Refusals go to the debug trace.
#pragma once

#include <string>

#include "foundation/context.h"
#include "foundation/text.h"

namespace kv {

// Reads the Windows, system and per-user application data folders once,
// for the removal operation it lives through: the guard and the removal
// steps take them from here rather than asking the platform at every
// deletion. A scope inside another uses the outer one's folders.
class RemovalRoots {
 public:
  explicit RemovalRoots(Context& ctx);
  ~RemovalRoots();
  RemovalRoots(const RemovalRoots&) = delete;
  RemovalRoots& operator=(const RemovalRoots&) = delete;

 private:
  Context& ctx_;
  RemovalFolders folders_;
  bool owner_;
};

// Names compare as Windows' file and key lookups do: only single-byte ASCII
// letters fold.
using text::EqualNoCase;

// The system and Windows directories; empty when they can't be had whole
// or end in a separator (a drive root).
std::string SystemDirectory(Context& ctx);
std::string WindowsDirectory(Context& ctx);

// The per-user application data folder ("AppData" of the user's shell
// folders), without a trailing separator; empty when it can't be read.
std::string UserAppDataFolder(Context& ctx);

// The per-user scanner data root: the application data folder +
// "\Korva\ScannerDriver"; empty without an application data folder.
std::string UserScannerRoot(Context& ctx);

// A name that names one file in the folder it is joined to: not empty, not
// "." or "..", no path separator, colon, wildcard, quote, redirection or
// control character, no trailing dot or space, no short-name "~<digit>",
// and not a device name (CON, NUL, COM1, LPT1, ... with or without an
// extension).
bool IsPlainFileName(Platform& os, const std::string& name);

// A file name relative to the system directory as setup files spell the
// parallel-port driver: a sub-folder Windows keeps its drivers in
// ("drivers", any case), one separator, a plain file name.
bool IsSystemRelativeName(Platform& os, const std::string& name);

// Whether removal may delete files in `folder`: the Windows directory or a
// folder below it (system, driver store, spooler, colour, INF, font, kernel
// driver and TWAIN folders), or the per-user scanner root or a folder below
// it, every component below the root a plain file name.
bool IsRemovalFolder(Context& ctx, const std::string& folder);

// Deletes `folder` + "\" + `name` (folder without a trailing separator).
// `name` is a plain file name, or a system-relative name when `folder` is
// the system directory. The DeleteFileA result; FALSE with
// ERROR_ACCESS_DENIED when the folder is no removal folder,
// ERROR_INVALID_NAME when the name is neither or the path would not fit in
// MAX_PATH (a cut path names another file); FALSE with ERROR_ACCESS_DENIED
// as well when the file stays (ClaimFileForRemoval: Windows' own, found
// there, or still counted for another product or installer).
BOOL DeleteOwnedFile(Context& ctx, const std::string& folder,
                     const std::string& name);

// The path DeleteOwnedFile would delete, or empty when it would refuse.
std::string OwnedFilePath(Context& ctx, const std::string& folder,
                          const std::string& name);

// Removes `folder` when it is empty and either a folder below the Windows
// directory removal may delete files in, or the per-user scanner root, a
// folder below it, or the maker's folder holding it (AppData\Korva). The
// RemoveDirectoryA result.
BOOL RemoveOwnedEmptyFolder(Context& ctx, const std::string& folder);

// Whether a port monitor is one of Windows' own, by its name or by its
// library (any case): never the installation's, whatever a setup file says.
bool IsWindowsMonitor(Platform& os, const std::string& name,
                      const std::string& library);

// Whether a service is one of Windows' own port, device or print services
// (any case): never taken over by installation nor deleted by removal,
// whatever a setup file says.
bool IsWindowsService(Platform& os, const std::string& name);

// Whether `path` below `root` is a key removal may delete: in
// HKEY_LOCAL_MACHINE strictly below "Enum", the device classes, the
// spooler's printers, monitors and environments, or "Software\KORVA"; in
// HKEY_CURRENT_CONFIG strictly below the spooler's printers (Windows 9x's
// hardware-profile keys). Each component a key name that is not "." or "..".
bool IsRemovalKey(Platform& os, const std::string& path,
                  HKEY root = HKEY_LOCAL_MACHINE);

// Deletes `root`\`path` with everything below it (the NT family refuses
// to delete a key that has sub-keys). The Win32 result of deleting the key
// itself; ERROR_ACCESS_DENIED without touching anything when the key is no
// removal key.
LONG DeleteOwnedKeyTree(Context& ctx, const std::string& path,
                        HKEY root = HKEY_LOCAL_MACHINE);

}  // namespace kv
