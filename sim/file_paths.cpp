// Windows paths of drive C: resolved against the machine's sandbox folder,
// component by component without regard to case.
#include "sim/file_paths.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <mutex>
#include <unordered_map>

#include "sim/sim_internal.h"

namespace kv::sim {

namespace fs = std::filesystem;

namespace {

// Calls `each(position, length)` for every character of `text`: two bytes
// for a double-byte character, one otherwise.
template <typename F>
void ForEachChar(const std::string& text, UINT codePage, F&& each) {
  for (size_t i = 0; i < text.size();) {
    const size_t n =
        IsLeadByteOf(codePage, static_cast<unsigned char>(text[i])) &&
                i + 1 < text.size()
            ? 2
            : 1;
    each(i, n);
    i += n;
  }
}

// Characters Windows refuses in a file name (wildcards are names only to
// FindFirstFile, which resolves its folder and matches the last part itself).
bool ValidComponent(const std::string& c, UINT codePage) {
  bool valid = true;
  ForEachChar(c, codePage, [&](size_t i, size_t n) {
    const auto ch = static_cast<unsigned char>(c[i]);
    if (n == 1 && (ch < 0x20 || std::strchr("<>:\"|*?", ch))) valid = false;
  });
  return valid;
}

std::string DriveRoot(const std::string& machineDir) {
  return machineDir + "/drive_c";
}

// What a name of a folder is on disk.
enum class EntryKind { Missing, Usable, Foreign };

EntryKind KindOfEntry(const struct stat& st) {
  // Nothing on a simulated drive is a link, a FIFO or a device: a link could
  // lead out of the machine folder, and the others never end a read.
  return S_ISREG(st.st_mode) || S_ISDIR(st.st_mode) ? EntryKind::Usable
                                                    : EntryKind::Foreign;
}

// The entry of `dir` whose name equals `name` without regard to case.
EntryKind FindEntry(const std::string& dir, const std::string& name,
                    UINT codePage, std::string* found) {
  // Most names come spelled as they are on disk: one lstat instead of
  // reading the whole folder.
  struct stat st;
  if (lstat((dir + "/" + name).c_str(), &st) == 0) {
    *found = name;
    return KindOfEntry(st);
  }
  std::error_code ec;
  fs::directory_iterator it(dir, ec), end;
  if (ec) return EntryKind::Missing;
  const std::string folded = FoldCase(name, codePage);
  for (; it != end; it.increment(ec)) {
    if (ec) return EntryKind::Missing;
    const std::string entry = it->path().filename().string();
    if (FoldCase(entry, codePage) == folded) {
      *found = entry;
      if (lstat((dir + "/" + entry).c_str(), &st) != 0)
        return EntryKind::Missing;
      return KindOfEntry(st);
    }
  }
  return EntryKind::Missing;
}

// Windows folder paths already resolved to their spelling on disk, keyed by
// machine folder and upper-cased path. An entry is used only while its host
// path is still a folder (one lstat instead of one per component); a folder
// removed or re-created in another case is resolved again.
class FolderCache {
 public:
  static FolderCache& Get() {
    static FolderCache cache;
    return cache;
  }
  bool Find(const std::string& key, std::string* host, std::string* win) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(key);
    if (it == entries_.end()) return false;
    struct stat st;
    if (lstat(it->second.host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      entries_.erase(it);
      return false;
    }
    *host = it->second.host;
    *win = it->second.win;
    return true;
  }
  void Store(const std::string& key, const std::string& host,
             const std::string& win) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Bounded: a long-running process walking many trees keeps the recent.
    if (entries_.size() >= kMaxEntries) entries_.clear();
    entries_[key] = Entry{host, win};
  }

 private:
  static constexpr size_t kMaxEntries = 64;
  struct Entry {
    std::string host, win;
  };
  std::mutex mutex_;
  std::unordered_map<std::string, Entry> entries_;
};

}  // namespace

// ---- Paths ------------------------------------------------------------------

std::vector<std::string> SplitAtSeparators(const std::string& path,
                                           UINT codePage) {
  std::vector<std::string> parts(1);
  ForEachChar(path, codePage, [&](size_t i, size_t n) {
    if (n == 1 && IsSeparator(path[i]))
      parts.emplace_back();
    else
      parts.back().append(path, i, n);
  });
  return parts;
}

size_t LastSeparator(const std::string& path, UINT codePage) {
  size_t last = std::string::npos;
  ForEachChar(path, codePage, [&](size_t i, size_t n) {
    if (n == 1 && IsSeparator(path[i])) last = i;
  });
  return last;
}

std::string FoldCase(const std::string& text, UINT codePage) {
  std::string out = text;
  ForEachChar(text, codePage, [&](size_t i, size_t n) {
    if (n == 1) out[i] = UpperAscii(text[i]);
  });
  return out;
}

ResolvedPath ResolveWinPath(const std::string& machineDir,
                            const std::string& winPath, UINT codePage) {
  ResolvedPath r;
  if (winPath.empty()) {
    r.error = ERROR_PATH_NOT_FOUND;
    return r;
  }
  if (winPath.size() >= MAX_PATH) {
    r.error = ERROR_FILENAME_EXCED_RANGE;
    return r;
  }
  std::string rest = winPath;
  if (rest.size() >= 2 && rest[1] == ':') {
    if (UpperAscii(rest[0]) != 'C') {
      r.error = ERROR_PATH_NOT_FOUND;
      return r;
    }
    rest = rest.substr(2);  // "C:x" is relative to C:'s current folder, C:\ .
  } else if (rest.size() >= 2 && IsSeparator(rest[0]) && IsSeparator(rest[1])) {
    r.error = ERROR_PATH_NOT_FOUND;  // a network name
    return r;
  }
  std::vector<std::string> parts;
  for (std::string& c : SplitAtSeparators(rest, codePage)) {
    if (c.empty() || c == ".") continue;
    if (c == "..") {
      if (parts.empty()) {
        r.error = ERROR_PATH_NOT_FOUND;  // would leave C:\ (and the sandbox)
        return r;
      }
      parts.pop_back();
      continue;
    }
    // Windows drops trailing dots and blanks of a name.
    while (!c.empty() && (c.back() == '.' || c.back() == ' ')) c.pop_back();
    if (c.empty()) continue;
    // A host separator or NUL inside a name (a code page 932 lead byte
    // before '/' reads as one character here) would name another file on
    // the host than the one checked.
    if (!ValidComponent(c, codePage) ||
        c.find_first_of(std::string("/\0", 2)) != std::string::npos) {
      r.error = ERROR_INVALID_NAME;
      return r;
    }
    parts.push_back(std::move(c));
  }
  r.host = DriveRoot(machineDir);
  r.win = "C:";
  // A drive_c that is a link would take every path of the machine with it.
  struct stat root;
  if (lstat(r.host.c_str(), &root) == 0 && !S_ISDIR(root.st_mode)) {
    r.error = ERROR_ACCESS_DENIED;
    return r;
  }
  bool onDisk = true;
  // The folder holding the last component is usually one resolved a moment
  // ago (a tree copy resolves every file of a folder against it): take its
  // spelling from the cache when it is still a folder on disk.
  const size_t folderParts = parts.empty() ? 0 : parts.size() - 1;
  std::string folderKey;
  size_t next = 0;
  if (folderParts > 0) {
    folderKey = machineDir + '|' + std::to_string(codePage) + '|';
    for (size_t i = 0; i < folderParts; ++i)
      folderKey += "\\" + FoldCase(parts[i], codePage);
    if (FolderCache::Get().Find(folderKey, &r.host, &r.win)) next = folderParts;
  }
  for (size_t i = next; i < parts.size(); ++i) {
    if (i == folderParts && folderParts > 0 && next == 0 && onDisk)
      FolderCache::Get().Store(folderKey, r.host, r.win);
    std::string& c = parts[i];
    if (onDisk) {
      std::string found;
      const EntryKind kind = FindEntry(r.host, c, codePage, &found);
      if (kind == EntryKind::Foreign) {
        r.error = ERROR_ACCESS_DENIED;
        return r;
      }
      if (kind == EntryKind::Usable)
        c = found;
      else
        onDisk = false;
    }
    r.host += "/" + c;
    r.win += "\\" + c;
  }
  r.isRoot = parts.empty();
  if (r.isRoot) r.win += "\\";
  r.name = parts.empty() ? std::string() : parts.back();
  r.key = FoldCase(r.win, codePage);
  return r;
}

HostKind KindOf(const std::string& host) {
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return HostKind::Missing;
  if (S_ISDIR(st.st_mode)) return HostKind::Directory;
  return HostKind::File;
}

bool ParentExists(const ResolvedPath& p) {
  if (p.isRoot) return true;
  const size_t slash = p.host.rfind('/');
  return KindOf(p.host.substr(0, slash)) == HostKind::Directory;
}

}  // namespace kv::sim
