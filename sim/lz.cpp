// The LZ expansion interface of the simulated machine (lz32): LZOpenFileA,
// LZCopy and LZClose over the machine's own file operations, expanding SZDD
// files with sim/szdd.
//
// Handles follow Windows: opening a compressed file for reading gives an LZ
// handle (0x400 and up, at most 16 at once); a plain file, or any file opened
// for writing or creation, gives its ordinary file handle. Like Windows,
// LZOpenFileA tries the compressed name (DRV.DLL -> DRV.DL_) when the given
// one is missing, and opening for reading goes through OpenFile's 128-byte
// path buffer, so a longer path can't be opened for reading.
#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <vector>

#include "sim/file_paths.h"
#include "sim/sim_internal.h"
#include "sim/sim_platform.h"
#include "sim/szdd.h"

namespace kv::sim {
namespace {

constexpr INT kLzFirstHandle = 0x400;
constexpr INT kLzHandles = 16;
constexpr INT kHfileError = -1;
constexpr DWORD kChunk = 64 * 1024;

struct LzStreams : SimPlatform::Extension {
  struct Stream {
    HANDLE file = nullptr;
    uint32_t expandedLength = 0;
    bool consumed = false;
  };
  std::map<INT, Stream> streams;  // LZ handle -> compressed file
  // Header bytes already read from plain files opened for reading (the
  // machine has no seek, so they are handed out again by LZCopy).
  std::map<uintptr_t, std::string> consumed;
};

LzStreams& Streams(SimPlatform& os) { return os.extension<LzStreams>("lz"); }

// The compressed name Windows tries: last character of the extension
// replaced by '_', "_" appended to a shorter extension, "._" appended to a
// name without one.
std::string CompressedName(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.find('.', nameStart);
  if (dot == std::string::npos) return path + "._";
  std::string out = path;
  if (out.size() - dot - 1 < 3)
    out += '_';
  else
    out.back() = '_';
  return out;
}

HANDLE AsHandle(INT file) {
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(file));
}

}  // namespace

INT SimPlatform::LZOpenFileA(LPCSTR path, LPOFSTRUCT of, WORD style) {
  if (Enter("LZOpenFileA", ArgText(path) + ", " + HexText(style)))
    return kHfileError;
  if (of) {
    std::memset(of, 0, sizeof *of);
    of->cBytes = sizeof *of;
  }
  if (!path || !of) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return kHfileError;
  }
  const size_t line = operations_.size() - 1;  // this call's, for a refusal
  const WORD mode = style & ~0x70;  // sharing flags don't change the result
  const bool create = (mode & OF_CREATE) != 0;
  const DWORD rw = mode & 3;
  // OpenFile creates files open for reading and writing.
  const DWORD access = create || rw == OF_READWRITE
                           ? GENERIC_READ | GENERIC_WRITE
                       : rw == OF_WRITE ? GENERIC_WRITE
                                        : GENERIC_READ;
  bool offline = false;
  auto open = [&](const std::string& name) -> HANDLE {
    // OpenFile searches for a file to open through its 128-byte buffer;
    // creation takes the name as given.
    if (!create && name.size() >= OFS_MAXPATHNAME) {
      lastError_ = ERROR_FILENAME_EXCED_RANGE;
      return INVALID_HANDLE_VALUE;
    }
    // Only creation, which replaces it, opens a placeholder.
    if (!create && IsPlaceholder(name)) {
      offline = true;
      lastError_ = ERROR_FILE_OFFLINE;
      return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(name.c_str(), access, create ? 0 : FILE_SHARE_READ,
                       nullptr, create ? CREATE_ALWAYS : OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  std::string opened = path;
  HANDLE file = open(opened);
  // A placeholder is there: no compressed name stands in for it.
  if (file == INVALID_HANDLE_VALUE && !create && !offline) {
    const DWORD firstError = lastError_;
    opened = CompressedName(path);
    file = open(opened);
    if (file == INVALID_HANDLE_VALUE && !offline) lastError_ = firstError;
  }
  if (file == INVALID_HANDLE_VALUE) {
    if (offline) RefuseOffline("HFILE_ERROR", line);
    of->nErrCode = static_cast<WORD>(lastError_);
    return kHfileError;
  }
  std::strncpy(of->szPathName, opened.c_str(), OFS_MAXPATHNAME - 1);
  const uintptr_t raw = reinterpret_cast<uintptr_t>(file);
  if (raw > static_cast<uintptr_t>(INT_MAX)) {  // never with this machine
    CloseHandle(file);
    return LZERROR_GLOBALLOC;
  }
  if (mode != OF_READ) return static_cast<INT>(raw);

  unsigned char header[szdd::kHeaderSize];
  DWORD got = 0;
  if (!ReadFile(file, header, sizeof header, &got, nullptr)) {
    CloseHandle(file);
    return LZERROR_BADINHANDLE;
  }
  const szdd::Header h = szdd::ParseHeader(header, got);
  LzStreams& lz = Streams(*this);
  switch (h.kind) {
    case szdd::HeaderKind::Plain:
      lz.consumed[raw].assign(reinterpret_cast<char*>(header), got);
      return static_cast<INT>(raw);
    case szdd::HeaderKind::UnknownAlg:
      CloseHandle(file);
      return LZERROR_UNKNOWNALG;
    case szdd::HeaderKind::Compressed:
      break;
  }
  for (INT i = 0; i < kLzHandles; ++i) {
    const INT handle = kLzFirstHandle + i;
    if (lz.streams.count(handle)) continue;
    lz.streams[handle] = LzStreams::Stream{file, h.expandedLength, false};
    return handle;
  }
  CloseHandle(file);
  return LZERROR_GLOBALLOC;
}

LONG SimPlatform::LZCopy(INT from, INT to) {
  if (Enter("LZCopy", std::to_string(from) + ", " + std::to_string(to)))
    return LZERROR_READ;
  LzStreams& lz = Streams(*this);
  // A source opened before its file was marked a placeholder: nothing of it
  // is read.
  auto stream = lz.streams.find(from);
  const uintptr_t source =
      stream != lz.streams.end()
          ? reinterpret_cast<uintptr_t>(stream->second.file)
          : static_cast<uintptr_t>(from);
  auto open = files_.find(source);
  if (from > 0 && open != files_.end() &&
      Files(*this, machineDir_).IsPlaceholder(open->second->key)) {
    RefuseOffline("LZERROR_READ");
    return LZERROR_READ;
  }

  // The source: an LZ handle, or a plain file handle (read from the start,
  // expanded when it turns out to be compressed).
  HANDLE src = nullptr;
  bool compressed = false;
  bool consumedStream = false;
  uint32_t expandedLength = 0;
  std::string pending;  // bytes already read from a plain source
  if (from >= kLzFirstHandle && from < kLzFirstHandle + kLzHandles) {
    auto it = lz.streams.find(from);
    if (it == lz.streams.end()) return LZERROR_BADINHANDLE;
    src = it->second.file;
    compressed = true;
    consumedStream = it->second.consumed;
    expandedLength = it->second.expandedLength;
    it->second.consumed = true;
  } else if (from > 0) {
    src = AsHandle(from);
    auto it = lz.consumed.find(static_cast<uintptr_t>(from));
    if (it != lz.consumed.end()) {
      pending = std::move(it->second);
      lz.consumed.erase(it);
    } else {
      unsigned char header[szdd::kHeaderSize];
      DWORD got = 0;
      if (!ReadFile(src, header, sizeof header, &got, nullptr))
        return lastError_ == ERROR_INVALID_HANDLE ? LZERROR_BADINHANDLE
                                                  : LZERROR_READ;
      const szdd::Header h = szdd::ParseHeader(header, got);
      if (h.kind == szdd::HeaderKind::UnknownAlg) return LZERROR_UNKNOWNALG;
      compressed = h.kind == szdd::HeaderKind::Compressed;
      expandedLength = h.expandedLength;
      if (!compressed) pending.assign(reinterpret_cast<char*>(header), got);
    }
  } else {
    return LZERROR_BADINHANDLE;
  }

  // The destination must be a file open for writing before anything is read.
  HANDLE dst = to > 0 ? AsHandle(to) : nullptr;
  DWORD wrote = 0;
  if (!dst || !WriteFile(dst, "", 0, &wrote, nullptr))
    return !dst || lastError_ == ERROR_INVALID_HANDLE ? LZERROR_BADOUTHANDLE
                                                      : LZERROR_WRITE;

  szdd::ReadFn read = [&](unsigned char* buffer, size_t size) -> long {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(size, kChunk));
    if (!ReadFile(src, buffer, want, &got, nullptr)) return -1;
    return static_cast<long>(got);
  };
  szdd::WriteFn write = [&](const unsigned char* data, size_t size) {
    DWORD done = 0;
    return WriteFile(dst, data, static_cast<DWORD>(size), &done, nullptr) &&
           done == size;
  };

  if (compressed) {
    if (consumedStream) return 0;  // already expanded: at its end
    const szdd::Outcome r = szdd::Expand(expandedLength, read, write);
    switch (r.status) {
      case szdd::Status::Ok:
        return static_cast<LONG>(std::min<uint64_t>(r.written, LONG_MAX));
      case szdd::Status::WriteError:
        return LZERROR_WRITE;
      case szdd::Status::ReadError:
      case szdd::Status::Truncated:
        // A compressed file that ends early is an error here, where lz32
        // would hand back the shorter file as if complete.
        return LZERROR_READ;
    }
    return LZERROR_READ;
  }

  uint64_t total = 0;
  if (!pending.empty()) {
    if (!write(reinterpret_cast<const unsigned char*>(pending.data()),
               pending.size()))
      return LZERROR_WRITE;
    total += pending.size();
  }
  std::vector<unsigned char> buffer(kChunk);
  for (;;) {
    const long n = read(buffer.data(), buffer.size());
    if (n < 0) return LZERROR_READ;
    if (n == 0) break;
    if (!write(buffer.data(), static_cast<size_t>(n))) return LZERROR_WRITE;
    total += static_cast<uint64_t>(n);
  }
  return static_cast<LONG>(std::min<uint64_t>(total, LONG_MAX));
}

void SimPlatform::LZClose(INT file) {
  if (Enter("LZClose", std::to_string(file))) return;
  LzStreams& lz = Streams(*this);
  auto it = lz.streams.find(file);
  if (it != lz.streams.end()) {
    HANDLE h = it->second.file;
    lz.streams.erase(it);
    CloseHandle(h);
    return;
  }
  if (file <= 0) return;
  lz.consumed.erase(static_cast<uintptr_t>(file));
  CloseHandle(AsHandle(file));
}

}  // namespace kv::sim
