#include "uninstall/batch.h"

#include <cstring>
#include <vector>

#include "foundation/diagnostics.h"
#include "foundation/handles.h"
#include "foundation/registry.h"
#include "foundation/registry_paths.h"
#include "uninstall/reboot.h"
#include "uninstall/removal_guard.h"
#include "uninstall/uninstall_entries.h"

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

bool WriteAll(Context& ctx, HANDLE file, const std::string& text) {
  DWORD written = 0;
  return text.empty() ||
         (ctx.os.WriteFile(file, text.data(), static_cast<DWORD>(text.size()),
                           &written, nullptr) &&
          written == text.size());
}

// Writes `text` as the batch's whole content.
bool RewriteBatch(Context& ctx, const std::string& batchPath,
                  const std::string& text) {
  KernelHandle file(ctx.os, ctx.os.CreateFileA(batchPath.c_str(), GENERIC_WRITE,
                                               0, nullptr, CREATE_ALWAYS,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && WriteAll(ctx, file.get(), text);
}

// Appends `lines`, each ended by CR LF, to the batch (created when
// missing), keeping its self-deletion line last: a removal before the
// restart that follows an earlier one writes its lines in place of that
// line and the line after them, since the command interpreter stops at the
// line that deletes the batch. A last line that was never ended (a write
// cut short) is dropped: run, the piece of a path would name another file.
// When a write is cut short, the batch is written back as it was.
void AppendLines(Context& ctx, const std::string& batchPath,
                 const std::vector<std::string>& lines) {
  if (lines.empty() || batchPath.empty()) return;
  std::string old;
  {
    KernelHandle file(
        ctx.os,
        ctx.os.CreateFileA(batchPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      DebugTraceLastError(ctx, "VT3E.bat Open Fail ErrMsg[0x%x]\n");
      return;
    }
    if (!ReadWholeBatch(ctx, file.get(), &old)) {
      DebugTraceLastError(ctx, "VT3E.bat Read Fail ErrMsg[0x%x]\n");
      return;
    }
  }
  // The whole lines the batch holds, and whether it ends with its
  // self-deletion line.
  const size_t whole =
      old.rfind('\n') == std::string::npos ? 0 : old.rfind('\n') + 1;
  std::string kept = old.substr(0, whole);
  const std::string selfLine =
      BatchLine(ctx, GetOSKind(ctx), batchPath) + "\r\n";
  const bool endsWithSelf =
      selfLine.size() > 2 && kept.size() >= selfLine.size() &&
      kept.compare(kept.size() - selfLine.size(), selfLine.size(), selfLine) ==
          0 &&
      (kept.size() == selfLine.size() ||
       kept[kept.size() - selfLine.size() - 1] == '\n');
  const bool adding = lines.size() != 1 || lines[0] + "\r\n" != selfLine;
  if (endsWithSelf && !adding && whole == old.size()) return;  // handed over
  if (endsWithSelf) kept.resize(kept.size() - selfLine.size());
  std::string text = kept;
  for (const std::string& line : lines) text += line + "\r\n";
  if (endsWithSelf && adding) text += selfLine;
  if (whole != old.size())
    DebugTrace(ctx, "VT3E.bat: unfinished last line dropped\n");
  if (!RewriteBatch(ctx, batchPath, text)) {
    DebugTraceLastError(ctx, "VT3E.bat Write Fail ErrMsg[0x%x]\n");
    // Whole lines only: the batch as it was, less an unfinished line.
    if (!RewriteBatch(ctx, batchPath, old.substr(0, whole)))
      DebugTraceLastError(ctx, "VT3E.bat Restore Fail ErrMsg[0x%x]\n");
  }
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
  if (line.size() > kBatchLineLimit) {
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
  return file.valid();
}

void WriteBatchHead(Context& ctx, const char* setupFile) {
  const OsKind kind = GetOSKind(ctx);
  const std::string batch = BatchPath(ctx);
  const std::string windows = WindowsDirectory(ctx);
  std::vector<std::string> lines;
  if (!windows.empty()) {
    for (const char* name : kUninstallSetupFiles) {
      std::string line = BatchLine(ctx, kind, windows + "\\" + name);
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
  if (std::strlen(dll) <= kUninstDllLimit && IsPlainFileName(dll)) {
    const std::string path = OwnedFilePath(ctx, SystemDirectory(ctx), dll);
    std::string line = path.empty() ? path : BatchLine(ctx, kind, path);
    if (!line.empty()) lines.push_back(std::move(line));
  } else if (dll[0]) {
    DebugTrace(ctx,
               "UninstDll is not a file name of at most 99 characters, "
               "passed over: %s\n",
               dll);
  }
  AppendLines(ctx, batch, lines);
}

void AddDeferredDeletion(Context& ctx, const char* path) {
  if (!path || !*path) return;
  // A file that another program holds without sharing is one in use: it
  // stays on the list.
  if (!CanOpenForReading(ctx, path) &&
      ctx.os.GetLastError() != ERROR_SHARING_VIOLATION)
    return;
  std::string line = BatchLine(ctx, GetOSKind(ctx), path);
  if (line.empty()) return;
  AppendLines(ctx, BatchPath(ctx), {line});
}

void AppendSelfDeletion(Context& ctx, const std::string& batchPath) {
  if (!CanOpenForReading(ctx, batchPath)) return;
  std::string line = BatchLine(ctx, GetOSKind(ctx), batchPath);
  if (line.empty()) return;
  AppendLines(ctx, batchPath, {line});
}

void HandOverBatchNT(Context& ctx, const std::string& batchPath) {
  AppendSelfDeletion(ctx, batchPath);
  RegKey key(ctx.os);
  if (CreateKey(ctx.os, HKEY_LOCAL_MACHINE, kRunOnceKey, key) != ERROR_SUCCESS)
    return;
  // The value is a command line: a path with a space would start another
  // program.
  SetRunOnceValue(ctx, key.get(), kRunOnceValueName,
                  NeedsQuotes(batchPath) ? "\"" + batchPath + "\"" : batchPath);
}

void HandOverBatch9x(Context& ctx, const std::string& batchPath) {
  AppendSelfDeletion(ctx, batchPath);
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

void HandOverBatch(Context& ctx) {
  const OsKind kind = GetOSKind(ctx);
  const std::string batch = BatchPath(ctx);
  if (batch.empty() || !CanOpenForReading(ctx, batch)) return;
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
  AskReboot(ctx);
}

}  // namespace kv
