// Removal of a model's printers, printer driver, driver record and port
// monitor: the counterpart of driver, monitor and printer installation.
//
// Only what installation made is deleted: a driver name that could not be
// a registry key name, or is longer than installation makes one, is passed
// over with a trace (a cut name would name another driver). Printer names
// come from the spooler's own list and are used whole. A driver and its
// files stay while a printer that uses it does. Nothing is shown to the
// user; failures go to the debug trace and never stop the steps after them.
#pragma once

#include <string>

#include "foundation/context.h"

namespace kv {

// Longest driver name removal acts on: as long as installation makes one.
constexpr size_t kRemovalNameLimit = kDriverNameSize - 1;
// Size of the buffer FindMonitorKey fills.
constexpr size_t kMonitorKeyNameSize = 256;
// DeleteMonitorLibraries' bounds: the highest library number tried, and the
// number of deletions in a row that may fail for another reason than a
// missing file before it gives up.
constexpr int kMonitorLibraryLimit = 99;
constexpr int kMonitorLibraryFailures = 3;

// Removes, in this order, the printers using `driverName`, the driver, its
// registry record (and on Windows 9x its hardware-profile key) and the port
// monitor the setup file `setupFile` names ("Lmonn" of [Files.Com]). When a
// printer of the driver stays (or the printers can't be listed) the driver
// and its records stay too, and `driverKept` (may be null) is set.
// Non-zero when the monitor was removed.
int RemovePrinterStack(Context& ctx, const char* driverName,
                       const char* setupFile, bool* driverKept = nullptr);

// Every local printer whose driver is `driverName` (any letter case): on
// Windows 9x deleted through the spooler, on every kind its registry
// records deleted (the NT spooler forgets a printer whose records are gone
// at its next start). 0 when the printers can't be listed, when the driver
// name is passed over, or when on Windows 9x the last printer's open
// failed. `allGone` (may be null): true when the printers were listed and
// none of the driver's is left in the spooler's records.
int RemovePrintersOfDriver(Context& ctx, const char* driverName,
                           bool* allGone = nullptr);

// Deletes the printer's known sub-keys, then its key (the NT family refuses
// to delete a key that still has sub-keys), then the maker's project keys
// named by "Project" and "ProjectPrn" of [Model] in vt3eins.sii. 1 when
// both "UserSettings" and the printer's key were deleted. The name is the
// spooler's, used whole: any single key name.
int RemovePrinterRecords(Context& ctx, const char* printerName);

// DeletePrinterDriverA for the OS kind's environment. The spooler's result,
// or 0 with the last error traced.
int RemovePrinterDriver(Context& ctx, const char* driverName);

// Deletes the driver's record key of the OS kind. 1 when deleted.
int RemoveDriverKey(Context& ctx, const char* driverName);

// Asks the spooler to delete the monitor of [Files.Com] "Lmonn" (on Windows
// 9x then deletes its libraries and key whatever the spooler said). The
// spooler's result, or 0 with the last error traced (on Windows 9x the one
// the deletions after the refusal left, then the spooler's own on a line of
// its own); the spooler's error is the last error either way.
int RemovePortMonitor(Context& ctx, const char* setupFile);

// The installed monitor key named "Lmonn" (any letter case; a longer name
// beginning with it is another monitor), copied into `out`
// (kMonitorKeyNameSize bytes). 1 when found; 0 with `out` empty otherwise.
int FindMonitorKey(Context& ctx, char* out, const char* setupFile);

// Deletes the monitor key `name`. 1 when deleted; 0 for an empty name, a
// name that is no single key name, or a failed deletion.
int DeleteMonitorKey(Context& ctx, const char* name);

// Deletes the monitor library the setup file names for the OS kind
// ([Files.9x] "Lmonm9x", [Files.NT] "LmonmNT", [Files.2K] "Lmonm2K", a plain
// name in the system directory) once its monitor is gone: no monitor key
// named "Lmonn" is left, and no monitor that remains names that library.
// Deferred to the next start when it can't be deleted now.
void DeleteMonitorLibrary(Context& ctx, const char* setupFile);

// Whether a monitor other than `except` names `library` (a file name) as
// its "Driver"; true as well when the monitors can't be listed.
bool MonitorNamesLibrary(Context& ctx, const std::string& library,
                         const std::string& except = std::string());

// Deletes <system>\<stem>01.DLL, <stem>02.DLL, ... up to the first missing
// one, the stem being the OS kind's of [Files.9x] "Lmonm9x", [Files.NT]
// "LmonmNT", [Files.2K] "Lmonm2K". Bounded by kMonitorLibraryLimit and
// kMonitorLibraryFailures; a stem that is not a plain file stem (a
// separator, a colon, "..") deletes nothing.
void DeleteMonitorLibraries(Context& ctx, const char* setupFile);

}  // namespace kv
