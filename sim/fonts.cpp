// The machine's font table: AddFontResourceA and RemoveFontResourceA.
//
// Only real font files are taken: a TrueType or OpenType file (one font) or
// a TrueType collection (as many fonts as it holds), recognised by its
// header and a table directory that fits the file. Each add counts once more
// and each remove once less, as GDI counts them; the machine draws nothing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>

#include "sim/file_paths.h"
#include "sim/host_files.h"
#include "sim/sim_internal.h"

namespace kv::sim {
namespace {

struct FontTable : SimPlatform::Extension {
  struct Entry {
    int fonts = 0;
    int references = 0;
  };
  std::map<std::string, Entry> files;  // upper-cased Windows path
};

uint32_t Be32(const unsigned char* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 |
         uint32_t(p[3]);
}

// The number of fonts in the file, 0 when it is not a font file.
int CountFonts(const std::string& host) {
  const int fd = OpenHostFile(host, O_RDONLY);
  if (fd < 0) return 0;
  struct stat st;
  unsigned char head[12] = {};
  const bool read =
      ::fstat(fd, &st) == 0 &&
      ::read(fd, head, sizeof head) == static_cast<ssize_t>(sizeof head);
  ::close(fd);
  if (!read) return 0;
  const auto size = static_cast<unsigned long long>(st.st_size);
  const uint32_t tag = Be32(head);
  if (tag == 0x74746366u) {  // 'ttcf'
    const uint32_t count = Be32(head + 8);
    return count > 0 && 12ull + 4ull * count <= size && count < 0x10000
               ? static_cast<int>(count)
               : 0;
  }
  if (tag != 0x00010000u && tag != 0x74727565u /* 'true' */ &&
      tag != 0x4F54544Fu /* 'OTTO' */)
    return 0;
  const unsigned tables = unsigned(head[4]) << 8 | head[5];
  return tables > 0 && 12ull + 16ull * tables <= size ? 1 : 0;
}

// A bare file name means the Windows font folder.
std::string FontPath(const SimPlatform& os, const std::string& file) {
  if (file.find_first_of("\\/:") == std::string::npos)
    return os.windowsDir() + "\\FONTS\\" + file;
  return file;
}

}  // namespace

int SimPlatform::AddFontResourceA(LPCSTR file) {
  if (Enter("AddFontResourceA", ArgText(file))) return 0;
  if (!file || !*file) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return 0;
  }
  const ResolvedPath p =
      ResolveWinPath(machineDir_, FontPath(*this, file), codePage_);
  if (p.error || KindOf(p.host) != HostKind::File) {
    lastError_ = p.error ? p.error : ERROR_FILE_NOT_FOUND;
    return 0;
  }
  // Its fonts are in the content, which a placeholder lacks.
  if (Files(*this, machineDir_).IsPlaceholder(p.key)) {
    RefuseOffline("0");
    return 0;
  }
  const int fonts = CountFonts(p.host);
  if (fonts == 0) {
    lastError_ = ERROR_BAD_FORMAT;
    return 0;
  }
  auto& entry = extension<FontTable>("fonts").files[p.key];
  entry.fonts = fonts;
  ++entry.references;
  return fonts;
}

BOOL SimPlatform::RemoveFontResourceA(LPCSTR file) {
  if (Enter("RemoveFontResourceA", ArgText(file))) return FALSE;
  if (!file || !*file) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  const ResolvedPath p =
      ResolveWinPath(machineDir_, FontPath(*this, file), codePage_);
  auto& files = extension<FontTable>("fonts").files;
  auto it = p.error ? files.end() : files.find(p.key);
  if (it == files.end()) {
    lastError_ = ERROR_FILE_NOT_FOUND;
    return FALSE;
  }
  if (--it->second.references == 0) files.erase(it);
  return TRUE;
}

}  // namespace kv::sim
