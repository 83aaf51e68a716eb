// Open files of drive C: CreateFileA and the calls on its handles, and
// CloseHandle, which answers for every kernel handle of the machine.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/file_paths.h"
#include "sim/host_files.h"
#include "sim/processes.h"
#include "sim/sim_internal.h"
#include "sim/threads.h"

namespace kv::sim {

namespace {

// The open file of `files` behind `handle` when it may be read (or written)
// with `buffer`; null with `*error` set otherwise. A template, so that it
// takes the machine's table of open files without naming its private type.
template <typename OpenFiles>
auto UsableFile(const OpenFiles& files, HANDLE handle, bool write,
                const void* buffer, DWORD bytes, DWORD* error) {
  auto it = files.find(reinterpret_cast<uintptr_t>(handle));
  decltype(it->second.get()) none = nullptr;
  if (it == files.end()) {
    *error = ERROR_INVALID_HANDLE;
    return none;
  }
  if (!(write ? it->second->canWrite : it->second->canRead)) {
    *error = ERROR_ACCESS_DENIED;
    return none;
  }
  if (!buffer && bytes) {
    *error = ERROR_INVALID_PARAMETER;
    return none;
  }
  return it->second.get();
}

}  // namespace

SimPlatform::FileHandle::~FileHandle() {
  if (fd >= 0) ::close(fd);
}
HANDLE SimPlatform::CreateFileA(LPCSTR path, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES, DWORD creation,
                                DWORD flags, HANDLE) {
  if (Enter("CreateFileA",
            ArgText(path) + ", " + HexText(access) + ", " + HexText(share) +
                ", " + std::to_string(creation) + ", " + HexText(flags)))
    return INVALID_HANDLE_VALUE;
  if (!path || creation < CREATE_NEW || creation > TRUNCATE_EXISTING) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return INVALID_HANDLE_VALUE;
  }
  ResolvedPath p = ResolveWinPath(machineDir_, path, codePage_);
  if (p.error) {
    lastError_ = p.error;
    return INVALID_HANDLE_VALUE;
  }
  const HostKind kind = KindOf(p.host);
  if (kind == HostKind::Directory) {
    // The NT family opens a folder for its information with backup
    // semantics; Windows 9x opens none.
    const bool folderOpen =
        versionRecord_.dwPlatformId == VER_PLATFORM_WIN32_NT &&
        (flags & FILE_FLAG_BACKUP_SEMANTICS) &&
        (creation == OPEN_EXISTING || creation == OPEN_ALWAYS) &&
        !(access & GENERIC_WRITE);
    const int fd = folderOpen
                       ? ::open(p.host.c_str(),
                                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                       : -1;
    if (fd < 0) {
      lastError_ = ERROR_ACCESS_DENIED;
      return INVALID_HANDLE_VALUE;
    }
    auto folder = std::make_unique<FileHandle>();
    folder->fd = fd;
    folder->key = p.key;
    const uintptr_t h = NewHandle();
    files_[h] = std::move(folder);
    lastError_ = creation == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    return reinterpret_cast<HANDLE>(h);
  }
  const bool exists = kind == HostKind::File;
  if (!exists) {
    if (!ParentExists(p)) {
      lastError_ = ERROR_PATH_NOT_FOUND;
      return INVALID_HANDLE_VALUE;
    }
    if (creation == OPEN_EXISTING || creation == TRUNCATE_EXISTING) {
      lastError_ = ERROR_FILE_NOT_FOUND;
      return INVALID_HANDLE_VALUE;
    }
  } else if (creation == CREATE_NEW) {
    lastError_ = ERROR_FILE_EXISTS;
    return INVALID_HANDLE_VALUE;
  }
  const bool wantWrite = (access & GENERIC_WRITE) != 0;
  const bool wantRead = (access & GENERIC_READ) != 0;
  const bool truncate =
      exists && (creation == CREATE_ALWAYS || creation == TRUNCATE_EXISTING);
  FileState& state = Files(*this, machineDir_);
  if (exists) {
    if ((wantWrite || truncate) &&
        (state.Stored(p.key, false) & FILE_ATTRIBUTE_READONLY)) {
      lastError_ = ERROR_ACCESS_DENIED;
      return INVALID_HANDLE_VALUE;
    }
    if ((wantWrite || truncate) && filesInUse_.count(p.key)) {
      lastError_ = ERROR_SHARING_VIOLATION;
      return INVALID_HANDLE_VALUE;
    }
    // A placeholder's content is unknown: it can be neither read nor
    // updated, only replaced (or opened for its size and times alone).
    if ((wantRead || wantWrite) && !truncate && state.IsPlaceholder(p.key)) {
      RefuseOffline("INVALID_HANDLE_VALUE");
      return INVALID_HANDLE_VALUE;
    }
  }
  int mode = wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY;
  if (!exists) mode |= O_CREAT;
  if (truncate) mode |= O_TRUNC;
  const int fd = OpenHostFile(p.host, mode);
  if (fd < 0) {
    lastError_ = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  auto file = std::make_unique<FileHandle>();
  file->fd = fd;
  file->key = p.key;
  file->canRead = wantRead;
  file->canWrite = wantWrite;
  if (!exists || truncate) {
    // A new file takes the attributes asked for, and is no placeholder.
    const DWORD bits = flags & kKeptAttributes;
    state.Forget(p.key);
    if (bits) state.attributes[p.key] = bits | FILE_ATTRIBUTE_ARCHIVE;
    state.Save(machineDir_);
  }
  const uintptr_t h = NewHandle();
  files_[h] = std::move(file);
  // Opening or replacing a file that was there says so.
  lastError_ = exists && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS)
                   ? ERROR_ALREADY_EXISTS
                   : ERROR_SUCCESS;
  return reinterpret_cast<HANDLE>(h);
}

BOOL SimPlatform::ReadFile(HANDLE file, LPVOID buffer, DWORD toRead,
                           LPDWORD read, LPVOID) {
  if (Enter("ReadFile", HexText(reinterpret_cast<uintptr_t>(file)) + ", " +
                            std::to_string(toRead)))
    return FALSE;
  if (read) *read = 0;
  auto* open = UsableFile(files_, file, false, buffer, toRead, &lastError_);
  if (!open) return FALSE;
  // Open since before the file was marked: its bytes are still not given.
  if (Files(*this, machineDir_).IsPlaceholder(open->key)) {
    RefuseOffline("FALSE");
    return FALSE;
  }
  DWORD done = 0;
  while (done < toRead) {
    const ssize_t n =
        ::read(open->fd, static_cast<char*>(buffer) + done, toRead - done);
    if (n < 0) {
      lastError_ = ERROR_ACCESS_DENIED;
      return FALSE;
    }
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  if (read) *read = done;
  return TRUE;
}

BOOL SimPlatform::WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite,
                            LPDWORD written, LPVOID) {
  if (Enter("WriteFile", HexText(reinterpret_cast<uintptr_t>(file)) + ", " +
                             std::to_string(toWrite)))
    return FALSE;
  if (written) *written = 0;
  auto* open = UsableFile(files_, file, true, buffer, toWrite, &lastError_);
  if (!open) return FALSE;
  DWORD done = 0;
  while (done < toWrite) {
    const ssize_t n = ::write(open->fd, static_cast<const char*>(buffer) + done,
                              toWrite - done);
    if (n <= 0) {
      lastError_ = ERROR_HANDLE_DISK_FULL;
      if (written) *written = done;
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (written) *written = done;
  return TRUE;
}

DWORD SimPlatform::GetFileSize(HANDLE file, LPDWORD high) {
  if (Enter("GetFileSize", HexText(reinterpret_cast<uintptr_t>(file))))
    return 0xFFFFFFFFu;
  auto it = files_.find(reinterpret_cast<uintptr_t>(file));
  struct stat st;
  if (it == files_.end() || ::fstat(it->second->fd, &st) != 0) {
    lastError_ = ERROR_INVALID_HANDLE;
    return 0xFFFFFFFFu;
  }
  const unsigned long long size = static_cast<unsigned long long>(st.st_size);
  if (high) *high = static_cast<DWORD>(size >> 32);
  lastError_ = ERROR_SUCCESS;  // tells a size of 0xFFFFFFFF from a failure
  return static_cast<DWORD>(size);
}

DWORD SimPlatform::SetFilePointer(HANDLE file, LONG distance,
                                  PLONG distanceHigh, DWORD method) {
  if (Enter("SetFilePointer", HexText(reinterpret_cast<uintptr_t>(file)) +
                                  ", " + std::to_string(distance) + ", " +
                                  std::to_string(method)))
    return INVALID_SET_FILE_POINTER;
  auto it = files_.find(reinterpret_cast<uintptr_t>(file));
  if (it == files_.end()) {
    lastError_ = ERROR_INVALID_HANDLE;
    return INVALID_SET_FILE_POINTER;
  }
  if (method > FILE_END) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return INVALID_SET_FILE_POINTER;
  }
  // Without a high part the distance is a signed 32-bit value.
  long long move = distance;
  if (distanceHigh)
    move = static_cast<long long>(
        (static_cast<unsigned long long>(static_cast<DWORD>(*distanceHigh))
         << 32) |
        static_cast<DWORD>(distance));
  const int whence = method == FILE_BEGIN     ? SEEK_SET
                     : method == FILE_CURRENT ? SEEK_CUR
                                              : SEEK_END;
  const off_t here = ::lseek(it->second->fd, 0, SEEK_CUR);
  const off_t end = ::lseek(it->second->fd, 0, SEEK_END);
  ::lseek(it->second->fd, here, SEEK_SET);
  const long long base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? here
                                              : end;
  if (here < 0 || end < 0 || base + move < 0) {
    lastError_ = ERROR_NEGATIVE_SEEK;
    return INVALID_SET_FILE_POINTER;
  }
  const off_t pos =
      ::lseek(it->second->fd, static_cast<off_t>(base + move), SEEK_SET);
  const auto position = static_cast<unsigned long long>(pos);
  if (distanceHigh) *distanceHigh = static_cast<LONG>(position >> 32);
  // Tells a position whose low part is 0xFFFFFFFF from a failure.
  lastError_ = ERROR_SUCCESS;
  return static_cast<DWORD>(position);
}

BOOL SimPlatform::GetFileInformationByHandle(
    HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
  if (Enter("GetFileInformationByHandle",
            HexText(reinterpret_cast<uintptr_t>(file))))
    return FALSE;
  auto it = files_.find(reinterpret_cast<uintptr_t>(file));
  struct stat st;
  if (it == files_.end() || ::fstat(it->second->fd, &st) != 0) {
    lastError_ = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  if (!info) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  *info = BY_HANDLE_FILE_INFORMATION{};
  const bool folder = S_ISDIR(st.st_mode);
  const DWORD bits = Files(*this, machineDir_).Stored(it->second->key, folder);
  info->dwFileAttributes = folder ? bits | FILE_ATTRIBUTE_DIRECTORY
                           : bits ? bits
                                  : FILE_ATTRIBUTE_NORMAL;
  // 100-ns intervals since 1601.
  const unsigned long long written =
      (static_cast<unsigned long long>(st.st_mtime) + 11644473600ull) *
      10000000ull;
  info->ftLastWriteTime = {static_cast<DWORD>(written),
                           static_cast<DWORD>(written >> 32)};
  info->ftCreationTime = info->ftLastAccessTime = info->ftLastWriteTime;
  // The host's device and inode name the file as volume serial and index.
  const auto dev = static_cast<unsigned long long>(st.st_dev);
  const auto ino = static_cast<unsigned long long>(st.st_ino);
  info->dwVolumeSerialNumber = static_cast<DWORD>(dev ^ (dev >> 32));
  info->nFileIndexHigh = static_cast<DWORD>(ino >> 32);
  info->nFileIndexLow = static_cast<DWORD>(ino);
  const auto size = folder ? 0ull : static_cast<unsigned long long>(st.st_size);
  info->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  info->nFileSizeLow = static_cast<DWORD>(size);
  info->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
  return TRUE;
}

BOOL SimPlatform::CloseHandle(HANDLE handle) {
  if (Enter("CloseHandle", HexText(reinterpret_cast<uintptr_t>(handle))))
    return FALSE;
  if (files_.erase(reinterpret_cast<uintptr_t>(handle))) return TRUE;
  if (CloseProcessHandle(*this, handle)) return TRUE;
  if (CloseTokenHandle(*this, handle)) return TRUE;
  if (CloseThreadHandle(*this, handle)) return TRUE;
  lastError_ = ERROR_INVALID_HANDLE;
  return FALSE;
}

}  // namespace kv::sim
