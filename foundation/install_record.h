// What installation made and what it found, per product, and Windows'
// shared-file counts: the proof removal asks before it deletes a file.
//
// Record: HKLM\Software\KORVA\Installed\<product>\Files, one REG_DWORD per
// full path (kCounted: the product added one to Windows' count of a file
// below the Windows directory; kMade / kFound: a file elsewhere the
// installation made, or found already there). Windows' count: one REG_DWORD
// per full path below "SharedDLLs", as every Windows installer keeps it.
// A file is counted once per product, however often it is placed again.
#pragma once

#include <string>
#include <vector>

#include "foundation/context.h"

namespace kv {

constexpr char kSharedDllsKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr char kMakerKey[] = "Software\\KORVA";
constexpr char kInstalledKey[] = "Software\\KORVA\\Installed";
constexpr char kRecordFilesKey[] = "Files";
// One value per printer driver registration added: its name, and as its
// data the uninstall setup file whose set lists it (empty: none did).
constexpr char kRecordDriversKey[] = "Drivers";

enum RecordState : DWORD { kCounted = 1, kMade = 2, kFound = 3 };

// Windows' own file: one Windows' file protection guards, or one of the
// redistributed system files installers commonly name (printing core,
// TWAIN, MFC and C runtime, still-image, colour profile, port drivers)
// outside the product's own driver store. Never deleted, never deferred.
bool IsWindowsOwnFile(Context& ctx, const std::string& path);

// Installation placed `path` (ExpCopy, Xcopy, fonts); `existedBefore`: a
// file was there before the copy. Recorded under the product registration
// named in this process, or held until registration names the product.
void NotePlacedFile(Context& ctx, const std::string& path, bool existedBefore);

// Registration names `path` as one of the product's files (copied by the
// installer's own commands): recorded like a placed file (`existedBefore`:
// another driver or monitor already named it), unless Windows' own.
void NoteNamedFile(Context& ctx, const std::string& path, bool existedBefore);

// Registration: from now on the process records under `product` (a single
// key name; anything else records nothing) and the files held so far are
// written there.
void BeginProductRecord(Context& ctx, const std::string& product);

// The full paths `product`'s record holds (at most 4096).
std::vector<std::string> RecordedFiles(Context& ctx,
                                       const std::string& product);

// Registration added printer driver `driver` for ctx.recordProduct, a
// model of the set of uninstall setup file `set` (may be empty).
void NoteMadeDriver(Context& ctx, const std::string& driver,
                    const std::string& set);

// The printer drivers `product`'s record names for the set of `set` (at
// most 4096); a driver recorded for no set is never among them.
std::vector<std::string> RecordedDrivers(Context& ctx,
                                         const std::string& product,
                                         const std::string& set);

// Deletes `product`'s record (its files' entries and its key), and the
// maker's "Installed" key when no product is left in it.
void DeleteProductRecord(Context& ctx, const std::string& product);

// Whether `product` has a record on this machine.
bool HasProductRecord(Context& ctx, const std::string& product);

// Removal of one file by the product ctx.recordProduct names: true when it
// may be deleted. Windows' own files, files the record says were found, and
// files another product records or Windows counts for another installer
// stay. A counted file is counted down (once per product) and may go only
// at zero. A path no record or count knows is left to the caller's rules.
bool ClaimFileForRemoval(Context& ctx, const std::string& path);

// The same decision without changing anything: true when the file stays
// (deferral and batch lines ask it after the claim).
bool IsKeptFile(Context& ctx, const std::string& path);

// The product a removal step acts for: the one a surrounding removal set,
// or else the product `setupFile` names.
std::string RemovalProduct(Context& ctx, const char* setupFile);

// Sets ctx.recordProduct for a removal's steps and puts it back after.
class RecordProductScope {
 public:
  RecordProductScope(Context& ctx, const std::string& product);
  ~RecordProductScope();
  RecordProductScope(const RecordProductScope&) = delete;
  RecordProductScope& operator=(const RecordProductScope&) = delete;

 private:
  Context& ctx_;
  std::string saved_;
};

}  // namespace kv
