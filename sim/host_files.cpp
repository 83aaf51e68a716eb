#include "sim/host_files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace kv::sim {

int OpenHostFile(const std::string& path, int flags, mode_t mode) {
  // O_NONBLOCK means nothing to a regular file; it only keeps a FIFO from
  // waiting for its other end. A file made new (O_EXCL, which never
  // follows a link) is a regular file of its own.
  flags |= O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  if ((flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL))
    return ::open(path.c_str(), flags, mode);
  // Checked before opening too: opening a device can do something by
  // itself.
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    errno = S_ISLNK(st.st_mode) ? ELOOP : EINVAL;
    return -1;
  }
  const int fd = ::open(path.c_str(), flags, mode);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

HostRead ReadHostFile(const std::string& path, size_t limit,
                      std::string* content) {
  const int fd = OpenHostFile(path, O_RDONLY);
  if (fd < 0)
    return errno == ENOENT                     ? HostRead::Missing
           : errno == ELOOP || errno == EINVAL ? HostRead::NotRegular
                                               : HostRead::Failed;
  struct stat st;
  HostRead result = HostRead::Ok;
  if (::fstat(fd, &st) != 0) {
    result = HostRead::Failed;
  } else if (static_cast<unsigned long long>(st.st_size) > limit) {
    result = HostRead::TooLarge;
  } else {
    // Never more than the limit, whatever the file grows to meanwhile.
    std::string text(std::min(limit, static_cast<size_t>(st.st_size)) + 1,
                     '\0');
    size_t done = 0;
    for (;;) {
      if (done == text.size()) {
        if (done > limit) break;
        text.resize(std::min(limit + 1, done * 2));
      }
      const ssize_t n = ::read(fd, &text[done], text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        result = HostRead::Failed;
        break;
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    if (result == HostRead::Ok && done > limit) result = HostRead::TooLarge;
    text.resize(done);
    if (result == HostRead::Ok) *content = std::move(text);
  }
  ::close(fd);
  return result;
}

const char* HostReadText(HostRead result) {
  switch (result) {
    case HostRead::Ok:
      return "read";
    case HostRead::Missing:
      return "is missing";
    case HostRead::NotRegular:
      return "is a link, a FIFO or a device, not a file";
    case HostRead::TooLarge:
      return "is larger than any the host writes";
    case HostRead::Failed:
      break;
  }
  return "cannot be read";
}

namespace {
bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}
}  // namespace

bool WriteHostFile(const std::string& path, const std::string& content) {
  const int fd = OpenHostFile(path, O_WRONLY | O_CREAT | O_TRUNC);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, content.data(), content.size());
  return ::close(fd) == 0 && written;
}

bool CopyHostFile(const std::string& from, const std::string& to) {
  const int in = OpenHostFile(from, O_RDONLY);
  if (in < 0) return false;
  const int out = OpenHostFile(to, O_WRONLY | O_CREAT | O_TRUNC);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    if (!WriteAll(out, buffer, static_cast<size_t>(n))) {
      ok = false;
      break;
    }
  }
  struct stat st;
  if (ok && ::fstat(in, &st) == 0) {
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times);
  }
  ::close(in);
  return ::close(out) == 0 && ok;
}

bool IsHostFolder(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace kv::sim
