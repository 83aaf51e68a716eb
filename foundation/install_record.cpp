#include "foundation/install_record.h"

#include <algorithm>
#include <cstring>

#include "foundation/diagnostics.h"
#include "foundation/model_names.h"
#include "foundation/names.h"
#include "foundation/registry.h"
#include "foundation/text.h"

namespace kv {

namespace {

// Windows' redistributed files that maker INFs and scanner lists name.
constexpr const char* kWindowsFiles[] = {
    // printing core and its help and data
    "unidrv.dll", "unidrvui.dll", "unires.dll", "unidrv.hlp", "stdnames.gpd",
    "ttfsub.gpd", "stddtype.gdl", "stdschem.gdl", "stdschmx.gdl", "pscript.dll",
    "pscript5.dll", "ps5ui.dll", "pscript.hlp", "pscript.ntf", "pscrptui.dll",
    "rasdd.dll", "rasddui.dll", "rasddui.hlp", "localspl.dll", "localmon.dll",
    "spoolss.dll", "winspool.drv", "tcpmon.dll", "lprmon.dll", "usbmon.dll",
    "pjlmon.dll", "spool32.exe", "spoolsv.exe", "iconlib.dll",
    // TWAIN, still image, imaging
    "twain.dll", "twain_32.dll", "twunk_16.exe", "twunk_32.exe", "sti.dll",
    "sti_ci.dll", "stimon.exe", "wiaservc.dll", "wiadss.dll", "gdiplus.dll",
    // C and MFC runtimes
    "msvcrt.dll", "msvcrt20.dll", "msvcrt40.dll", "msvcirt.dll", "msvcp50.dll",
    "msvcp60.dll", "mfc40.dll", "mfc42.dll", "mfc42u.dll", "mfc40u.dll",
    // colour
    "srgb color space profile.icm", "icm32.dll", "mscms.dll",
    // ports
    "parport.sys", "parallel.sys", "parvdm.sys", "serial.sys"};

std::string BaseName(Platform& os, const std::string& path) {
  const size_t slash = text::FindLastOf(os, path, "\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool StartsWithFolder(Platform& os, const std::string& path,
                      const std::string& folder) {
  return !folder.empty() && path.size() > folder.size() &&
         text::StartsWithNoCase(os, path, folder) &&
         path[folder.size()] == '\\';
}

std::string Directory(Context& ctx, bool system) {
  char buffer[MAX_PATH] = {};
  const UINT n = system ? ctx.os.GetSystemDirectoryA(buffer, MAX_PATH)
                        : ctx.os.GetWindowsDirectoryA(buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  const std::string folder(buffer, n);
  return text::EndsWith(ctx.os, folder, '\\') ? std::string() : folder;
}

std::string WindowsFolder(Context& ctx) {
  if (ctx.removalFolders && !ctx.removalFolders->windows.empty())
    return ctx.removalFolders->windows;
  return Directory(ctx, false);
}

// Files below the Windows directory are shared by every program there:
// Windows' count decides when they go.
bool IsSharedPath(Context& ctx, const std::string& path) {
  return StartsWithFolder(ctx.os, path, WindowsFolder(ctx));
}

// A record value's path: a full path that fits a registry value name.
bool IsRecordablePath(Platform&, const std::string& path) {
  return path.size() >= 4 && path.size() < MAX_PATH && path[1] == ':' &&
         path[2] == '\\';
}

bool ReadDword(Context& ctx, HKEY key, const std::string& name, DWORD* out) {
  BYTE data[4] = {};
  DWORD size = sizeof data;
  DWORD type = 0;
  if (ctx.os.RegQueryValueExA(key, name.c_str(), nullptr, &type, data, &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != 4)
    return false;
  *out = DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 |
         DWORD(data[3]) << 24;
  return true;
}

std::string FilesKeyOf(const std::string& product) {
  return SubKeyPath(SubKeyPath(kInstalledKey, product), kRecordFilesKey);
}

bool IsProductName(Context& ctx, const std::string& product) {
  return !product.empty() && product.size() <= kMaxKeyNameLength &&
         product != "." && product != ".." &&
         CheckRegistryKeyName(ctx.os, product.c_str());
}

// The state `product` records for `path`; false when it records none.
bool RecordedState(Context& ctx, const std::string& product,
                   const std::string& path, DWORD* state) {
  if (!IsProductName(ctx, product)) return false;
  RegKey files(ctx.os);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, FilesKeyOf(product), files,
              KEY_READ) != ERROR_SUCCESS)
    return false;
  return ReadDword(ctx, files.get(), path, state) && *state >= kCounted &&
         *state <= kFound;
}

// Whether a product other than `product` records `path`.
bool OtherProductRecords(Context& ctx, const std::string& product,
                         const std::string& path) {
  RegKey installed(ctx.os);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, kInstalledKey, installed, KEY_READ) !=
      ERROR_SUCCESS)
    return false;
  for (DWORD i = 0; i < 4096; ++i) {
    char name[2 * kMaxKeyNameLength + 2] = {};
    if (ctx.os.RegEnumKeyA(installed.get(), i, name, sizeof name) !=
        ERROR_SUCCESS)
      return false;
    DWORD state = 0;
    if (!text::EqualNoCase(ctx.os, name, product) &&
        RecordedState(ctx, name, path, &state))
      return true;
  }
  return false;
}

bool SharedCount(Context& ctx, const std::string& path, DWORD* count) {
  RegKey shared(ctx.os);
  return OpenKey(ctx.os, HKEY_LOCAL_MACHINE, kSharedDllsKey, shared,
                 KEY_READ) == ERROR_SUCCESS &&
         ReadDword(ctx, shared.get(), path, count);
}

// Adds the product's one to Windows' count; a file that was there without
// a count is counted for whoever put it there as well.
void CountUp(Context& ctx, const std::string& path, bool existedBefore) {
  RegKey shared(ctx.os);
  if (CreateKey(ctx.os, HKEY_LOCAL_MACHINE, kSharedDllsKey, shared) !=
      ERROR_SUCCESS)
    return;
  DWORD count = 0;
  if (!ReadDword(ctx, shared.get(), path, &count))
    count = existedBefore ? 1 : 0;
  if (count < 0x7FFFFFFF) ++count;
  WriteDword(ctx.os, shared.get(), path.c_str(), count);
}

// Whether HKLM\`path` exists with neither sub-keys nor values; false
// whenever that can't be told.
bool IsEmptyKey(Context& ctx, const char* path) {
  RegKey key(ctx.os);
  DWORD subKeys = 1, values = 1;
  return OpenKey(ctx.os, HKEY_LOCAL_MACHINE, path, key, KEY_READ) ==
             ERROR_SUCCESS &&
         ctx.os.RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subKeys,
                                 nullptr, nullptr, &values, nullptr, nullptr,
                                 nullptr, nullptr) == ERROR_SUCCESS &&
         subKeys == 0 && values == 0;
}

// Takes the product's one off Windows' count; the count left (the value
// goes at zero). A count that can't be read counts as one still held.
DWORD CountDown(Context& ctx, const std::string& path) {
  RegKey shared(ctx.os);
  DWORD count = 0;
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, kSharedDllsKey, shared) !=
          ERROR_SUCCESS ||
      !ReadDword(ctx, shared.get(), path, &count))
    return 1;
  if (count > 1) {
    WriteDword(ctx.os, shared.get(), path.c_str(), count - 1);
    return count - 1;
  }
  ctx.os.RegDeleteValueA(shared.get(), path.c_str());
  shared.Close();
  // A count key the installation made goes with its last count.
  if (IsEmptyKey(ctx, kSharedDllsKey))
    ctx.os.RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSharedDllsKey);
  return 0;
}

void WriteRecord(Context& ctx, const std::string& path, bool existedBefore) {
  const std::string& product = ctx.recordProduct;
  if (!IsProductName(ctx, product) || !IsRecordablePath(ctx.os, path)) return;
  DWORD state = 0;
  if (RecordedState(ctx, product, path, &state)) return;  // counted once
  const bool shared = IsSharedPath(ctx, path);
  if (shared) CountUp(ctx, path, existedBefore);
  RegKey files(ctx.os);
  if (CreateKey(ctx.os, HKEY_LOCAL_MACHINE, FilesKeyOf(product), files) !=
      ERROR_SUCCESS)
    return;
  WriteDword(ctx.os, files.get(), path.c_str(),
             shared          ? kCounted
             : existedBefore ? kFound
                             : kMade);
}

void ForgetRecord(Context& ctx, const std::string& product,
                  const std::string& path) {
  RegKey files(ctx.os);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, FilesKeyOf(product), files) ==
      ERROR_SUCCESS)
    ctx.os.RegDeleteValueA(files.get(), path.c_str());
}

}  // namespace

bool IsWindowsOwnFile(Context& ctx, const std::string& path) {
  const DWORD error = ctx.os.GetLastError();
  const bool guarded = ctx.os.SfcIsFileProtected(nullptr, path.c_str()) != 0;
  ctx.os.SetLastError(error);
  if (guarded) return true;
  const std::string name = BaseName(ctx.os, path);
  if (std::none_of(
          std::begin(kWindowsFiles), std::end(kWindowsFiles),
          [&](const char* f) { return text::EqualNoCase(ctx.os, name, f); }))
    return false;
  // The product's own driver store may hold a copy of its own.
  const std::string system = Directory(ctx, true);
  return !StartsWithFolder(ctx.os, path, system + "\\KVDRV");
}

void NotePlacedFile(Context& ctx, const std::string& path, bool existedBefore) {
  if (!IsRecordablePath(ctx.os, path)) return;
  if (!ctx.recordProduct.empty()) {
    WriteRecord(ctx, path, existedBefore);
    return;
  }
  for (const auto& held : ctx.heldFiles)
    if (text::EqualNoCase(ctx.os, held.first, path)) return;
  ctx.heldFiles.emplace_back(path, existedBefore);
}

void NoteNamedFile(Context& ctx, const std::string& path, bool existedBefore) {
  if (IsRecordablePath(ctx.os, path) && !IsWindowsOwnFile(ctx, path))
    NotePlacedFile(ctx, path, existedBefore);
}

void BeginProductRecord(Context& ctx, const std::string& product) {
  if (!IsProductName(ctx, product)) {
    DebugTrace(ctx, "Installation not recorded, product [%s]\n",
               product.c_str());
    return;
  }
  ctx.recordProduct = product;
  for (const auto& held : ctx.heldFiles)
    WriteRecord(ctx, held.first, held.second);
  ctx.heldFiles.clear();
}

namespace {

// The value names of the record's `list` key, each accepted by `keep`.
std::vector<std::string> RecordedNames(Context& ctx, const std::string& product,
                                       const char* list,
                                       bool (*keep)(Platform&,
                                                    const std::string&)) {
  std::vector<std::string> names;
  if (!IsProductName(ctx, product)) return names;
  RegKey key(ctx.os);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE,
              SubKeyPath(SubKeyPath(kInstalledKey, product), list), key,
              KEY_READ) != ERROR_SUCCESS)
    return names;
  for (DWORD i = 0; i < 4096; ++i) {
    char name[MAX_PATH + 1] = {};
    DWORD size = sizeof name;
    const LONG r = ctx.os.RegEnumValueA(key.get(), i, name, &size, nullptr,
                                        nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r == ERROR_SUCCESS && keep(ctx.os, name)) names.push_back(name);
  }
  return names;
}

bool IsDriverName(Platform& os, const std::string& name) {
  return !name.empty() && name.size() < kDriverNameSize &&
         !text::Contains(os, name, '\\');
}

}  // namespace

std::vector<std::string> RecordedFiles(Context& ctx,
                                       const std::string& product) {
  // A name too long for a path is no file of the record's.
  return RecordedNames(ctx, product, kRecordFilesKey, IsRecordablePath);
}

void NoteMadeDriver(Context& ctx, const std::string& driver,
                    const std::string& set) {
  if (!IsProductName(ctx, ctx.recordProduct) || !IsDriverName(ctx.os, driver))
    return;
  RegKey drivers(ctx.os);
  if (CreateKey(ctx.os, HKEY_LOCAL_MACHINE,
                SubKeyPath(SubKeyPath(kInstalledKey, ctx.recordProduct),
                           kRecordDriversKey),
                drivers) == ERROR_SUCCESS)
    WriteString(ctx.os, drivers.get(), driver.c_str(), set);
}

std::vector<std::string> RecordedDrivers(Context& ctx,
                                         const std::string& product,
                                         const std::string& set) {
  std::vector<std::string> ofSet;
  if (set.empty()) return ofSet;
  const std::vector<std::string> all =
      RecordedNames(ctx, product, kRecordDriversKey, IsDriverName);
  RegKey drivers(ctx.os);
  if (all.empty() ||
      OpenKey(ctx.os, HKEY_LOCAL_MACHINE,
              SubKeyPath(SubKeyPath(kInstalledKey, product), kRecordDriversKey),
              drivers, KEY_READ) != ERROR_SUCCESS)
    return ofSet;
  for (const std::string& driver : all) {
    char value[MAX_PATH] = {};
    DWORD size = sizeof value - 1, type = 0;
    if (ctx.os.RegQueryValueExA(drivers.get(), driver.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(value),
                                &size) == ERROR_SUCCESS &&
        type == REG_SZ && text::EqualNoCase(ctx.os, value, set))
      ofSet.push_back(driver);
  }
  return ofSet;
}

void DeleteProductRecord(Context& ctx, const std::string& product) {
  if (!IsProductName(ctx, product)) return;
  ctx.os.RegDeleteKeyA(HKEY_LOCAL_MACHINE, FilesKeyOf(product).c_str());
  ctx.os.RegDeleteKeyA(
      HKEY_LOCAL_MACHINE,
      SubKeyPath(SubKeyPath(kInstalledKey, product), kRecordDriversKey)
          .c_str());
  ctx.os.RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                       SubKeyPath(kInstalledKey, product).c_str());
  // Then the "Installed" key and the maker's key, each only when it is
  // known to be empty: Windows 9x deletes a key with all below it.
  if (IsEmptyKey(ctx, kInstalledKey))
    ctx.os.RegDeleteKeyA(HKEY_LOCAL_MACHINE, kInstalledKey);
  if (IsEmptyKey(ctx, kMakerKey))
    ctx.os.RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMakerKey);
}

bool HasProductRecord(Context& ctx, const std::string& product) {
  if (!IsProductName(ctx, product)) return false;
  RegKey files(ctx.os);
  return OpenKey(ctx.os, HKEY_LOCAL_MACHINE, FilesKeyOf(product), files,
                 KEY_READ) == ERROR_SUCCESS;
}

bool ClaimFileForRemoval(Context& ctx, const std::string& path) {
  const std::string& product = ctx.recordProduct;
  DWORD state = 0;
  if (!RecordedState(ctx, product, path, &state)) return !IsKeptFile(ctx, path);
  // The product's share goes back whatever becomes of the file.
  bool mayGo = state == kMade;
  if (state == kCounted) {
    DWORD count = 0;
    if (!SharedCount(ctx, path, &count)) {
      // The count is gone or unreadable: nothing proves the file is no
      // longer used by another.
      DebugTrace(ctx, "File kept, no shared count [%s]\n", path.c_str());
      return false;
    }
    const DWORD left = CountDown(ctx, path);
    mayGo = left == 0;
    if (!mayGo)
      DebugTrace(ctx, "File kept, shared count %lu [%s]\n",
                 static_cast<unsigned long>(left), path.c_str());
  }
  // A file found there stays recorded as such, so that no deferral takes
  // it either; the record goes with the product's.
  if (state == kFound) {
    DebugTrace(ctx, "File kept, there before installation [%s]\n",
               path.c_str());
    return false;
  }
  ForgetRecord(ctx, product, path);
  if (mayGo && IsWindowsOwnFile(ctx, path)) {
    DebugTrace(ctx, "File kept, Windows' own [%s]\n", path.c_str());
    return false;
  }
  if (mayGo && OtherProductRecords(ctx, product, path)) {
    DebugTrace(ctx, "File kept, another product's [%s]\n", path.c_str());
    return false;
  }
  return mayGo;
}

bool IsKeptFile(Context& ctx, const std::string& path) {
  if (IsWindowsOwnFile(ctx, path)) {
    DebugTrace(ctx, "File kept, Windows' own [%s]\n", path.c_str());
    return true;
  }
  DWORD state = 0;
  // A counted file not yet counted down is still counted.
  if (RecordedState(ctx, ctx.recordProduct, path, &state))
    return state != kMade;
  DWORD count = 0;
  if (SharedCount(ctx, path, &count) && count > 0) {
    DebugTrace(ctx, "File kept, shared count %lu [%s]\n",
               static_cast<unsigned long>(count), path.c_str());
    return true;
  }
  if (OtherProductRecords(ctx, ctx.recordProduct, path)) {
    DebugTrace(ctx, "File kept, another product's [%s]\n", path.c_str());
    return true;
  }
  return false;
}

std::string RemovalProduct(Context& ctx, const char* setupFile) {
  return ctx.recordProduct.empty() ? ReadProductName(ctx, setupFile)
                                   : ctx.recordProduct;
}

RecordProductScope::RecordProductScope(Context& ctx, const std::string& product)
    : ctx_(ctx), saved_(ctx.recordProduct) {
  ctx.recordProduct = product;
}

RecordProductScope::~RecordProductScope() { ctx_.recordProduct = saved_; }

}  // namespace kv
