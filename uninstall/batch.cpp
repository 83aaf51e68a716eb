#include "uninstall/batch.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "foundation/diagnostics.h"
#include "foundation/handles.h"
#include "foundation/install_record.h"
#include "foundation/registry.h"
#include "foundation/registry_paths.h"
#include "foundation/text.h"
#include "uninstall/removal_guard.h"

namespace kv {

namespace {

const char* CommandWord(OsKind kind) {
  switch (kind) {
    case OsKind::NT4:
    case OsKind::Win2000:
    case OsKind::XP:
      return "del /f ";
    case OsKind::Win9x:
      return "del ";
    case OsKind::Other:
      break;
  }
  return nullptr;
}

// Characters after which the command interpreter no longer sees one file
// name: separators, redirection, command chaining, escapes, blocks.
bool NeedsQuotes(const std::string& path) {
  return path.find_first_of(" &|<>^,;=()") != std::string::npos;
}

// Largest batch read back: far more lines than removal ever writes.
constexpr DWORD kBatchReadLimit = 1u << 20;

// The batch's whole text from its start; false when it can't be read or
// is larger than kBatchReadLimit.
bool ReadWholeBatch(Context& ctx, HANDLE file, std::string* text) {
  text->clear();
  if (ctx.os.SetFilePointer(file, 0, nullptr, FILE_BEGIN) ==
      INVALID_SET_FILE_POINTER)
    return false;
  char chunk[4096];
  DWORD read = 0;
  while (ctx.os.ReadFile(file, chunk, sizeof chunk, &read, nullptr) &&
         read > 0) {
    text->append(chunk, read);
    if (text->size() > kBatchReadLimit) return false;
  }
  return true;
}

// Closes `file`, once more when the close failed: a batch left open could
// be neither replaced nor deleted, and would stay without its end.
void CloseSurely(Context& ctx, KernelHandle& file) {
  const HANDLE handle = file.get();
  if (file.valid() && !file.Close()) ctx.os.CloseHandle(handle);
}

bool WriteAll(Context& ctx, HANDLE file, const std::string& text) {
  DWORD written = 0;
  return text.empty() ||
         (ctx.os.WriteFile(file, text.data(), static_cast<DWORD>(text.size()),
                           &written, nullptr) &&
          written == text.size());
}

// `batchPath` with another extension: the new batch is written there, the
// old one kept there until the new one is in place.
std::string Sibling(const std::string& batchPath, const char* extension) {
  return batchPath.substr(0, batchPath.rfind('.')) + extension;
}

// Writes `text` as the batch's whole content without ever leaving a cut
// batch: the text goes to a new file first, which takes the batch's place
// only when complete; the old batch moves aside meanwhile and comes back
// when the new one can't take its place.
bool RewriteBatch(Context& ctx, const std::string& batchPath,
                  const std::string& text) {
  const std::string fresh = Sibling(batchPath, ".$$$");
  const std::string old = Sibling(batchPath, ".old");
  {
    KernelHandle file(
        ctx.os,
        ctx.os.CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    if (!WriteAll(ctx, file.get(), text)) {
      const DWORD error = ctx.os.GetLastError();
      CloseSurely(ctx, file);
      ctx.os.DeleteFileA(fresh.c_str());
      ctx.os.SetLastError(error);
      return false;
    }
    CloseSurely(ctx, file);
  }
  ctx.os.DeleteFileA(old.c_str());
  const bool hadBatch = ctx.os.MoveFileA(batchPath.c_str(), old.c_str()) != 0;
  const DWORD moveError = ctx.os.GetLastError();
  if (!hadBatch && moveError != ERROR_FILE_NOT_FOUND) {
    ctx.os.DeleteFileA(fresh.c_str());
    ctx.os.SetLastError(moveError);
    return false;
  }
  if (!ctx.os.MoveFileA(fresh.c_str(), batchPath.c_str())) {
    const DWORD error = ctx.os.GetLastError();
    if (hadBatch && !ctx.os.MoveFileA(old.c_str(), batchPath.c_str()))
      DebugTraceLastError(ctx, "VT3E.bat Restore Fail ErrMsg[0x%x]\n");
    ctx.os.DeleteFileA(fresh.c_str());
    ctx.os.SetLastError(error);
    return false;
  }
  if (hadBatch) ctx.os.DeleteFileA(old.c_str());
  return true;
}

// The batch's whole lines (without their ends, CR LF, LF or CR alike); a
// last line that was never ended is left out. False when the batch exists
// but can't be read (tried twice: one refused open is not a missing batch).
bool ReadBatchLines(Context& ctx, const std::string& batchPath,
                    std::vector<std::string>* lines, bool* exists) {
  lines->clear();
  *exists = false;
  std::string text;
  for (int attempt = 0;; ++attempt) {
    KernelHandle file(
        ctx.os, ctx.os.CreateFileA(batchPath.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    const bool read = file && ReadWholeBatch(ctx, file.get(), &text);
    const DWORD error = ctx.os.GetLastError();
    const bool opened = file.valid();
    CloseSurely(ctx, file);
    if (read) break;
    if (!opened &&
        (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND))
      return true;
    if (attempt == 1) {
      DebugTraceLastError(ctx, "VT3E.bat Read Fail ErrMsg[0x%x]\n");
      return false;
    }
  }
  *exists = true;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines->push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty())
    DebugTrace(ctx, "VT3E.bat: unfinished last line dropped\n");
  return true;
}

// The path a batch line deletes ("del [/f] path", the path maybe quoted);
// empty for any other line.
std::string DeletedPath(Platform& os, const std::string& line) {
  std::string path;
  for (const char* word : {"del /f ", "del "}) {
    const size_t n = std::strlen(word);
    if (line.size() > n && EqualNoCase(os, line.substr(0, n), word)) {
      path = line.substr(n);
      break;
    }
  }
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
    path = path.substr(1, path.size() - 2);
  return path;
}

// Whether the file a batch line deletes is no longer there.
bool IsGone(Context& ctx, const std::string& line) {
  const std::string path = DeletedPath(ctx.os, line);
  if (path.empty()) return false;
  return ctx.os.GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
         (ctx.os.GetLastError() == ERROR_FILE_NOT_FOUND ||
          ctx.os.GetLastError() == ERROR_PATH_NOT_FOUND);
}

// Adds `lines` to the batch (made when missing), each ended by CR LF. Every
// self-deletion line the batch holds is taken out first, whatever its line
// end: the command interpreter stops at the line that deletes the batch.
// With `selfLast`, or when the batch had been handed over (it held such a
// line), exactly one self-deletion line ends it. The batch is never left
// cut: it is rewritten whole or not at all. False when it could not be.
bool AppendLines(Context& ctx, const std::string& batchPath,
                 const std::vector<std::string>& lines, bool selfLast) {
  if (batchPath.empty()) return false;
  std::vector<std::string> old;
  bool exists = false;
  if (!ReadBatchLines(ctx, batchPath, &old, &exists)) return false;
  const std::string self = BatchLine(ctx, GetOSKind(ctx), batchPath);
  if (self.empty()) return false;
  std::string text;
  bool handedOver = false;
  for (const std::string& line : old) {
    if (EqualNoCase(ctx.os, line, self)) {
      handedOver = true;
      continue;
    }
    // Handed over, the batch names only files that are still there: a
    // later step may have deleted a file deferred before it.
    if (selfLast && IsGone(ctx, line)) continue;
    text += line + "\r\n";
  }
  for (const std::string& line : lines)
    if (std::find(old.begin(), old.end(), line) == old.end())
      text += line + "\r\n";
  if (selfLast || handedOver) text += self + "\r\n";
  if (RewriteBatch(ctx, batchPath, text)) return true;
  DebugTraceLastError(ctx, "VT3E.bat Write Fail ErrMsg[0x%x]\n");
  return false;
}

// `text` as a RunOnce value of kRunOnceDataSize bytes: the text, its
// terminator and zeros. A text that does not fit is not written at all: a
// cut command would run something else.
void SetRunOnceValue(Context& ctx, HKEY key, const std::string& name,
                     const std::string& text) {
  if (text.size() + 1 > kRunOnceDataSize) {
    DebugTrace(ctx, "RunOnce %s passed over (too long): %s\n", name.c_str(),
               text.c_str());
    return;
  }
  BYTE data[kRunOnceDataSize] = {};
  std::memcpy(data, text.data(), text.size());
  WriteBytes(ctx.os, key, name.c_str(), REG_SZ, data, kRunOnceDataSize);
}

}  // namespace

std::string BatchPath(Context& ctx) {
  const std::string system = SystemDirectory(ctx);
  if (system.empty()) return std::string();
  return system + "\\" + kBatchFileName;
}

std::string BatchLine(Context& ctx, OsKind kind, const std::string& path) {
  const char* word = CommandWord(kind);
  if (!word) {
    DebugTrace(ctx, "VT3E.bat: no delete command on this Windows: %s\n",
               path.c_str());
    return std::string();
  }
  const bool fullPath = path.size() > 3 && path[1] == ':' && path[2] == '\\' &&
                        ((path[0] >= 'A' && path[0] <= 'Z') ||
                         (path[0] >= 'a' && path[0] <= 'z'));
  if (!fullPath) {
    DebugTrace(ctx, "VT3E.bat: not a full path, passed over: %s\n",
               path.c_str());
    return std::string();
  }
  // A wildcard deletes more than one file; a control character ends the
  // line; a quote can't be quoted and a batch file expands percent signs.
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || c == '*' || c == '?' || c == '"' || c == '%') {
      DebugTrace(ctx,
                 "VT3E.bat: path can't be quoted safely, passed over: %s\n",
                 path.c_str());
      return std::string();
    }
  }
  std::string line = word;
  line += NeedsQuotes(path) ? "\"" + path + "\"" : path;
  // On Windows 9x each line runs as a RunOnce value of its own, which holds
  // the command word of the interpreter too.
  const size_t limit =
      kind == OsKind::Win9x
          ? std::min<size_t>(kBatchLineLimit, kRunOnceDataSize - 1 -
                                                  (sizeof kCommandPrefix9x - 1))
          : kBatchLineLimit;
  if (line.size() > limit) {
    DebugTrace(ctx, "VT3E.bat: path too long for a line, passed over: %s\n",
               path.c_str());
    return std::string();
  }
  return line;
}

bool CanOpenForReading(Context& ctx, const std::string& path) {
  KernelHandle file(
      ctx.os, ctx.os.CreateFileA(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
  const bool opened = file.valid();
  CloseSurely(ctx, file);
  return opened;
}

// Whether `path` is a file that exists: a line naming a folder would delete
// every file in it, one naming nothing is of no use.
bool IsExistingFile(Context& ctx, const std::string& path) {
  const DWORD attributes = ctx.os.GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void WriteBatchHead(Context& ctx, const char* setupFile) {
  const OsKind kind = GetOSKind(ctx);
  const std::string batch = BatchPath(ctx);
  const std::string windows = WindowsDirectory(ctx);
  std::vector<std::string> lines;
  if (!windows.empty()) {
    for (const char* name : kUninstallSetupFiles) {
      const std::string path = windows + "\\" + name;
      if (!IsExistingFile(ctx, path) || !ClaimFileForRemoval(ctx, path))
        continue;
      std::string line = BatchLine(ctx, kind, path);
      if (!line.empty()) lines.push_back(std::move(line));
    }
  }
  // Read past the 99 characters the name may have: a cut name would delete
  // another file.
  char dll[MAX_PATH + 1] = {};
  ctx.os.GetPrivateProfileStringA("DllName", "UninstDll", "", dll, sizeof dll,
                                  setupFile ? setupFile : "");
  // An empty name would delete the system directory itself, and one with a
  // separator something outside it.
  if (std::strlen(dll) <= kUninstDllLimit && IsPlainFileName(ctx.os, dll)) {
    const std::string path = OwnedFilePath(ctx, SystemDirectory(ctx), dll);
    std::string line = path.empty() || !IsExistingFile(ctx, path) ||
                               !ClaimFileForRemoval(ctx, path)
                           ? std::string()
                           : BatchLine(ctx, kind, path);
    if (!line.empty()) lines.push_back(std::move(line));
  } else if (dll[0]) {
    DebugTrace(ctx,
               "UninstDll is not a file name of at most 99 characters, "
               "passed over: %s\n",
               dll);
  }
  if (!lines.empty()) AppendLines(ctx, batch, lines, false);
}

void AddDeferredDeletion(Context& ctx, const char* path) {
  if (!path || !*path) return;
  // What stays now must not go at the next start either.
  if (IsKeptFile(ctx, path)) return;
  // Nothing there needs no line; a folder would lose every file in it to
  // the line.
  const DWORD attributes = ctx.os.GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES
          ? ctx.os.GetLastError() == ERROR_FILE_NOT_FOUND ||
                ctx.os.GetLastError() == ERROR_PATH_NOT_FOUND
          : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return;
  // A file that another program holds without sharing is one in use: it
  // stays on the list.
  if (!CanOpenForReading(ctx, path) &&
      ctx.os.GetLastError() != ERROR_SHARING_VIOLATION)
    return;
  const OsKind kind = GetOSKind(ctx);
  // Windows 9x's del leaves a read-only file: made writable it may go now,
  // or else at the next start.
  if (kind == OsKind::Win9x && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_READONLY) &&
      ctx.os.SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY) &&
      ctx.os.DeleteFileA(path))
    return;
  std::string line = BatchLine(ctx, kind, path);
  if (line.empty()) return;
  AppendLines(ctx, BatchPath(ctx), {line}, false);
}

namespace {

// The file name a batch line deletes, without its folder; empty for any
// other line.
std::string DeletedFileName(Platform& os, const std::string& line) {
  return text::NamePart(os, DeletedPath(os, line));
}

bool NamesOneOf(Platform& os, const std::string& line,
                const std::vector<std::string>& names) {
  const std::string name = DeletedFileName(os, line);
  return !name.empty() &&
         std::any_of(names.begin(), names.end(), [&](const std::string& n) {
           return EqualNoCase(os, n, name);
         });
}

}  // namespace

void DropPendingDeletions(Context& ctx, const std::vector<std::string>& names) {
  const std::string batch = BatchPath(ctx);
  if (batch.empty() ||
      ctx.os.GetFileAttributesA(batch.c_str()) == INVALID_FILE_ATTRIBUTES)
    return;
  std::vector<std::string> lines;
  bool exists = false;
  if (!ReadBatchLines(ctx, batch, &lines, &exists) || !exists) return;
  std::string text;
  bool dropped = false;
  for (const std::string& line : lines) {
    if (NamesOneOf(ctx.os, line, names)) {
      dropped = true;
      continue;
    }
    text += line + "\r\n";
  }
  if (dropped && !RewriteBatch(ctx, batch, text))
    DebugTraceLastError(ctx, "VT3E.bat Write Fail ErrMsg[0x%x]\n");
  if (GetOSKind(ctx) != OsKind::Win9x) return;
  // Handed over, each line of 9x's batch is a RunOnce value of its own.
  RegKey key(ctx.os);
  if (OpenKey(ctx.os, HKEY_LOCAL_MACHINE, kRunOnceKey, key) != ERROR_SUCCESS)
    return;
  const std::string prefix = std::string(kRunOnceValueName) + "_";
  std::vector<std::string> values;
  for (DWORD i = 0;; ++i) {
    char name[256] = {};
    char data[kRunOnceDataSize + 1] = {};
    DWORD nameSize = sizeof name, dataSize = kRunOnceDataSize, type = 0;
    if (ctx.os.RegEnumValueA(key.get(), i, name, &nameSize, nullptr, &type,
                             reinterpret_cast<BYTE*>(data),
                             &dataSize) != ERROR_SUCCESS)
      break;
    const std::string command = data;
    const size_t word = sizeof kCommandPrefix9x - 1;
    if (EqualNoCase(ctx.os, std::string(name).substr(0, prefix.size()),
                    prefix) &&
        command.size() > word &&
        NamesOneOf(ctx.os, command.substr(word), names))
      values.push_back(name);
  }
  for (const std::string& value : values)
    ctx.os.RegDeleteValueA(key.get(), value.c_str());
}

bool AppendSelfDeletion(Context& ctx, const std::string& batchPath) {
  return AppendLines(ctx, batchPath, {}, true);
}

bool CompleteBatch(Context& ctx, const std::string& batchPath) {
  // Tried twice: one failure is not the end of the batch.
  if (AppendSelfDeletion(ctx, batchPath) || AppendSelfDeletion(ctx, batchPath))
    return true;
  // A batch without its last line would stay, its lines never run: what it
  // names stays instead, and the batch goes.
  DebugTrace(ctx, "VT3E.bat could not be completed, deleted\n");
  ctx.os.DeleteFileA(batchPath.c_str());
  return false;
}

void HandOverBatchNT(Context& ctx, const std::string& batchPath) {
  if (!CompleteBatch(ctx, batchPath)) return;
  RegKey key(ctx.os);
  if (CreateKey(ctx.os, HKEY_LOCAL_MACHINE, kRunOnceKey, key) != ERROR_SUCCESS)
    return;
  // The value is a command line: a path with a space would start another
  // program.
  SetRunOnceValue(ctx, key.get(), kRunOnceValueName,
                  NeedsQuotes(batchPath) ? "\"" + batchPath + "\"" : batchPath);
}

void HandOverBatch9x(Context& ctx, const std::string& batchPath) {
  if (!CompleteBatch(ctx, batchPath)) return;
  KernelHandle file(ctx.os, ctx.os.CreateFileA(batchPath.c_str(), GENERIC_READ,
                                               FILE_SHARE_READ, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
  if (!file) return;
  RegKey key(ctx.os);
  if (CreateKey(ctx.os, HKEY_LOCAL_MACHINE, kRunOnceKey, key) != ERROR_SUCCESS)
    return;
  std::string line;
  bool pendingCr = false;
  int number = 0;
  char chunk[4096];
  DWORD read = 0;
  // CR LF is one line end; a zero byte ends the text. A last line without
  // its line end was never finished and is left out.
  while (ctx.os.ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) &&
         read > 0) {
    for (DWORD i = 0; i < read; ++i) {
      const char c = chunk[i];
      if (c == '\0') return;
      if (pendingCr && c != '\n') line += '\r';
      pendingCr = c == '\r';
      if (pendingCr) continue;
      if (c != '\n') {
        line += c;
        continue;
      }
      const std::string command = kCommandPrefix9x + line;
      if (command.size() + 1 > kRunOnceDataSize) {
        DebugTrace(ctx, "RunOnce line passed over (too long): %s\n",
                   line.c_str());
      } else {
        SetRunOnceValue(
            ctx, key.get(),
            std::string(kRunOnceValueName) + "_" + std::to_string(number++),
            command);
      }
      line.clear();
    }
  }
}

bool HandBatchToNextStart(Context& ctx) {
  const OsKind kind = GetOSKind(ctx);
  const std::string batch = BatchPath(ctx);
  // Only a missing batch means nothing to hand over.
  if (batch.empty() ||
      (ctx.os.GetFileAttributesA(batch.c_str()) == INVALID_FILE_ATTRIBUTES &&
       (ctx.os.GetLastError() == ERROR_FILE_NOT_FOUND ||
        ctx.os.GetLastError() == ERROR_PATH_NOT_FOUND)))
    return false;
  switch (kind) {
    case OsKind::NT4:
    case OsKind::Win2000:
    case OsKind::XP:
      HandOverBatchNT(ctx, batch);
      break;
    case OsKind::Win9x:
      HandOverBatch9x(ctx, batch);
      break;
    case OsKind::Other:
      break;
  }
  return true;
}

}  // namespace kv
