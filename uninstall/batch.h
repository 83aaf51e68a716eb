// The deferred-deletion batch: delete commands for files that removal could
// not delete, run at the next start of Windows through RunOnce.
#pragma once

#include <string>
#include <vector>

#include "foundation/context.h"
#include "foundation/oskind.h"

namespace kv {

// The uninstall setup files, in the order their model sets are removed; the
// batch's head names them, and the first alone is read for the batch head,
// scanner data and TWAIN files.
constexpr const char* kUninstallSetupFiles[] = {"vt3eins.sii", "vt3dins.sii",
                                                "vt3hins.sii"};

// The batch's file name in the system directory, and the RunOnce value name
// (the NT family's value; Windows 9x adds "_" and the line number).
constexpr char kBatchFileName[] = "VT3E.bat";
constexpr char kRunOnceValueName[] = "VT3E";
// Longest line (command word and path, quotes included) the batch takes.
constexpr size_t kBatchLineLimit = 258;
// Every RunOnce value is written with this many bytes of data: the text, its
// terminator and zeros.
constexpr DWORD kRunOnceDataSize = 255;
// Longest "UninstDll" library name the batch deletes.
constexpr size_t kUninstDllLimit = 99;
// What runs each line of the batch on Windows 9x.
constexpr char kCommandPrefix9x[] = "command.com /c ";

// The system directory + "\VT3E.bat"; empty when the system directory can't
// be had.
std::string BatchPath(Context& ctx);

// The batch line (without its line end) that deletes exactly the file `path`
// on OS kind `kind`, or empty when no safe line exists: an OS kind with no
// command word, a path that is not a full drive path, holds a wildcard, a
// control character, a quote or a percent sign, or makes a line longer than
// kBatchLineLimit. A path the command interpreter would split or interpret
// is quoted. Each refusal goes to the debug trace.
std::string BatchLine(Context& ctx, OsKind kind, const std::string& path);

// Starts the batch of a removal: lines for the three uninstall setup files in
// the Windows directory and for the library named by "UninstDll" of
// "DllName" in `setupFile` (a bare file name, in the system directory).
void WriteBatchHead(Context& ctx, const char* setupFile);

// Adds a line for `path` when the file exists (can be opened for reading, or
// is held open without sharing by another program).
void AddDeferredDeletion(Context& ctx, const char* path);

// When the batch exists, adds its self-deletion line and hands it to
// RunOnce (the batch on the NT family, each line on Windows 9x). True when
// there was a batch to hand over.
bool HandBatchToNextStart(Context& ctx);

// An installation made before the restart keeps what it installs: takes
// out of a pending batch every line that deletes a file of one of `names`
// (bare file names, any case, in whatever folder), and on Windows 9x the
// RunOnce values such lines were handed over as. Nothing when no batch is
// pending.
void DropPendingDeletions(Context& ctx, const std::vector<std::string>& names);

// Ends the batch with its one self-deletion line (any earlier one taken
// out). True when the batch now ends so; false when it could not be read or
// written whole (it is then as it was).
bool AppendSelfDeletion(Context& ctx, const std::string& batchPath);
// AppendSelfDeletion, tried twice; a batch that still can't end so is
// deleted (a batch is either complete or absent). True when complete.
bool CompleteBatch(Context& ctx, const std::string& batchPath);
void HandOverBatchNT(Context& ctx, const std::string& batchPath);
void HandOverBatch9x(Context& ctx, const std::string& batchPath);

// Whether `path` names a file that opens for reading.
bool CanOpenForReading(Context& ctx, const std::string& path);

}  // namespace kv
