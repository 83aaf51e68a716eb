// The only way the simulated machine opens a file of its machine folder on
// this computer. A machine folder may come from elsewhere (a bug report, a
// capture's copy): a link in it could lead anywhere on this computer, a
// FIFO would block forever and a device or a huge sparse file would never
// end. So every open refuses a link as its last component (O_NOFOLLOW),
// never waits on a FIFO (O_NONBLOCK) and keeps only regular files; every
// whole-file read is bounded. Folders on the way are checked by
// ResolveWinPath (drive C:) or are the machine folder itself.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace kv::sim {

// A regular file opened with `flags` (O_RDONLY, O_WRONLY | O_CREAT, ...),
// never through a link and never a FIFO, device or socket. -1 otherwise,
// with errno set (ELOOP for a link, EINVAL for a file of another kind).
int OpenHostFile(const std::string& path, int flags, mode_t mode = 0644);

enum class HostRead { Ok, Missing, NotRegular, TooLarge, Failed };
// Reads the regular file `path` whole when it holds at most `limit` bytes.
HostRead ReadHostFile(const std::string& path, size_t limit,
                      std::string* content);
// Why a read failed, as a reader is told ("is a link, a FIFO or a device").
const char* HostReadText(HostRead result);
// Replaces the content of the regular file `path` (made when missing).
bool WriteHostFile(const std::string& path, const std::string& content);
// Copies the regular file `from` over `to` (made when missing), with its
// last-write time; neither may be a link or a file of another kind.
bool CopyHostFile(const std::string& from, const std::string& to);
// Whether `path` is a folder itself, not a link to one.
bool IsHostFolder(const std::string& path);

// Bounds of the files a machine folder holds.
constexpr size_t kMachineIniLimit = 64 * 1024;
constexpr size_t kRegistryFileLimit = 64u << 20;
constexpr size_t kAttributesFileLimit = 64u << 20;
// A profile file: Windows 9x refuses win.ini past 64 KiB; the NT family
// reads far larger ones, but none the library meets comes near this.
constexpr size_t kProfileFileLimit = 16u << 20;

}  // namespace kv::sim
