// The registry as regedit text, and the machine's saved state.
//
// Export writes REGEDIT4 (8-bit). Every value round-trips byte for byte: a
// string is written quoted only when its bytes are exactly one terminated
// string without control characters; anything else (no terminator, zero
// length, embedded NULs) is written as hex(1) with its raw bytes. Import also
// reads "Windows Registry Editor Version 5.00" text, whose hex(1)/hex(2)/
// hex(7) data are UTF-16 (as regedit /E writes them), narrowed to 8 bits.
// Names keep to one line whatever bytes they hold: value names take
// regedit 5's \n \r \0 escapes, key paths with control characters the %XX
// escapes of KeyHeader. Trees of any depth are written and read without
// recursion.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim/file_paths.h"
#include "sim/host_files.h"
#include "sim/sim_internal.h"
#include "sim/sim_platform.h"
#include "sim/sim_services.h"

namespace kv::sim {

namespace {

const uintptr_t kExportRoots[] = {0x80000000u, 0x80000001u, 0x80000002u,
                                  0x80000003u, 0x80000005u, 0x80000006u};

// A quoted name or string: backslash and quote escaped, and the line breaks
// and NUL written as regedit 5 writes them (\n \r \0), so that a name
// keeps to its line. Other control characters stay as they are.
std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\0') {
      out += "\\0";
    } else {
      if (c == '\\' || c == '"') out += '\\';
      out += c;
    }
  }
  return out + "\"";
}

// A key path has no escapes in regedit's format. A path with a control
// character (a line break would end the line) is written after this comment
// line with each such byte, and every '%', as %XX; regedit skips the
// comment and still reads a key, and the machine's own load restores the
// name byte for byte.
constexpr const char* kEscapedKeyMark = "; key name escaped as %XX";

bool NeedsKeyEscape(const std::string& path) {
  for (char c : path)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

std::string KeyHeader(const std::string& path) {
  if (!NeedsKeyEscape(path)) return "[" + path + "]\n";
  std::string out = std::string(kEscapedKeyMark) + "\n[";
  char byte[4];
  for (char c : path) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '%') {
      std::snprintf(byte, sizeof byte, "%%%02X", u);
      out += byte;
    } else {
      out += c;
    }
  }
  return out + "]\n";
}

// Reverses KeyHeader's escapes; false on a '%' without two hex digits.
bool UnescapeKeyPath(const std::string& text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      *out += text[i];
      continue;
    }
    if (i + 2 >= text.size() ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 2])))
      return false;
    *out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
    i += 2;
  }
  return true;
}

bool HasControlByte(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

bool PlainString(const std::vector<BYTE>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (size_t i = 0; i + 1 < data.size(); ++i)
    if (data[i] < 0x20) return false;
  return true;
}

// "hex:" / "hex(N):" followed by comma-separated bytes, wrapped as regedit
// wraps them.
std::string HexData(const std::string& prefix, const std::vector<BYTE>& data,
                    size_t lineStart) {
  std::string out = prefix;
  size_t column = lineStart + prefix.size();
  char byte[4];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(byte, sizeof byte, "%02x", data[i]);
    out += byte;
    column += 2;
    if (i + 1 < data.size()) {
      out += ',';
      ++column;
      if (column > 76) {
        out += "\\\n  ";
        column = 2;
      }
    }
  }
  return out;
}

std::string ValueLine(const RegValue& v) {
  std::string line = v.name.empty() ? "@=" : Quote(v.name) + "=";
  if (v.type == REG_SZ && PlainString(v.data)) {
    std::string text(v.data.begin(), v.data.end() - 1);
    return line + Quote(text);
  }
  if (v.type == REG_DWORD && v.data.size() == 4) {
    const DWORD d = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) |
                    (static_cast<DWORD>(v.data[3]) << 24);
    char buf[32];
    std::snprintf(buf, sizeof buf, "dword:%08x", d);
    return line + buf;
  }
  std::string prefix = "hex:";
  if (v.type != REG_BINARY) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
    prefix = buf;
  }
  return line + HexData(prefix, v.data, line.size());
}

void ExportKey(const RegNode& node, const std::string& path, std::string* out) {
  *out += KeyHeader(path);
  for (const auto& v : node.values) *out += ValueLine(v.second) + "\n";
  *out += "\n";
}

// The tree below `root` in sorted order, depth first, without recursion (a
// tree can be deeper than the stack): one path string grows and shrinks.
void ExportTree(const RegNode& root, std::string path, bool header,
                std::string* out) {
  if (header) ExportKey(root, path, out);
  struct Frame {
    const RegNode* node;
    std::map<std::string, std::unique_ptr<RegNode>, CaseLess>::const_iterator
        next;
    size_t pathLength;
  };
  std::vector<Frame> stack{{&root, root.subkeys.begin(), path.size()}};
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next == f.node->subkeys.end()) {
      stack.pop_back();
      continue;
    }
    const RegNode& child = *(f.next++)->second;
    path.resize(f.pathLength);
    path += "\\" + child.name;
    ExportKey(child, path, out);
    stack.push_back({&child, child.subkeys.begin(), path.size()});
  }
}

// ---- Import -----------------------------------------------------------------

// Reads a quoted string starting at text[*pos] == '"'; handles \\ \" and the
// \n \r \0 escapes regedit 5 writes.
bool ReadQuoted(const std::string& text, size_t* pos, std::string* out) {
  out->clear();
  if (*pos >= text.size() || text[*pos] != '"') return false;
  for (size_t i = *pos + 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\' && i + 1 < text.size()) {
      const char e = text[++i];
      c = e == 'n' ? '\n' : e == 'r' ? '\r' : e == '0' ? '\0' : e;
    }
    *out += c;
  }
  return false;
}

bool ReadHexBytes(const std::string& text, std::vector<BYTE>* out) {
  out->clear();
  std::string digits;
  auto flush = [&]() {
    if (digits.empty()) return true;
    if (digits.size() > 2) return false;
    out->push_back(static_cast<BYTE>(std::stoul(digits, nullptr, 16)));
    digits.clear();
    return true;
  };
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      digits += c;
    } else if (c == ',') {
      if (digits.empty() || !flush()) return false;
    } else if (c != ' ' && c != '\t') {
      return false;
    }
  }
  return flush();
}

// UTF-16LE bytes narrowed to 8 bits (characters above 0xFF become '?').
std::vector<BYTE> Narrow(const std::vector<BYTE>& wide) {
  std::vector<BYTE> out;
  for (size_t i = 0; i + 1 < wide.size(); i += 2) {
    const unsigned ch = wide[i] | (wide[i + 1] << 8);
    out.push_back(ch > 0xFF ? '?' : static_cast<BYTE>(ch));
  }
  return out;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
    --e;
  return s.substr(b, e - b);
}

// Where the data of a value line ("name"=data or @=data) starts; npos for
// any other line.
size_t DataStart(const std::string& line) {
  size_t pos = 0;
  std::string name;
  if (!line.empty() && line[0] == '@') {
    pos = 1;
  } else if (!ReadQuoted(line, &pos, &name)) {
    return std::string::npos;
  }
  while (pos < line.size() && line[pos] == ' ') ++pos;
  if (pos >= line.size() || line[pos] != '=') return std::string::npos;
  ++pos;
  while (pos < line.size() && line[pos] == ' ') ++pos;
  return pos;
}

// A value line whose data is hex bytes, the only data continued on the next
// line (a quoted string ending in a backslash, or a name holding "=hex", is
// not).
bool IsHexValueLine(const std::string& line) {
  const size_t data = DataStart(line);
  return data != std::string::npos && line.compare(data, 3, "hex") == 0;
}

// Splits "HKEY_...\rest" into the root and the path below it.
bool SplitRootPath(const std::string& full, HKEY* root, std::string* rest) {
  const size_t slash = full.find('\\');
  if (!ParseRoot(full.substr(0, slash), root)) return false;
  *rest = slash == std::string::npos ? "" : full.substr(slash + 1);
  return true;
}

}  // namespace

RegNode* SimPlatform::CreateImportedKey(HKEY root, const std::string& path,
                                        size_t* savedBytes) {
  RegNode* node = ResolveHandle(root);
  const std::vector<std::string> parts = SplitKeyPath(path, codePage_);
  if (!node || parts.size() > kMaxKeyDepth) return nullptr;
  size_t pathBytes = std::strlen(RootName(root));
  for (const auto& part : parts) {
    if (part.size() > kMaxKeyNameLength) return nullptr;
    pathBytes += part.size() + 1;
    auto& slot = node->subkeys[part];
    if (!slot) {
      slot = std::make_unique<RegNode>();
      slot->name = part;
      *savedBytes += pathBytes + 4;
    }
    node = slot.get();
  }
  return node;
}

std::string SimPlatform::ExportRegistry() const {
  std::string out = "REGEDIT4\n\n";
  for (uintptr_t r : kExportRoots) {
    auto it = roots_.find(r);
    if (it == roots_.end()) continue;
    const RegNode& root = *it->second;
    ExportTree(root, RootName(reinterpret_cast<HKEY>(r)), !root.values.empty(),
               &out);
  }
  return out;
}

bool SimPlatform::ImportRegistry(const std::string& input) {
  // Logical lines: CR dropped, continuations joined.
  std::vector<std::string> lines;
  {
    std::string text = input;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    std::istringstream in(text);
    std::string raw, pending;
    bool continuing = false;
    while (std::getline(in, raw)) {
      std::string line = continuing ? Trim(raw) : Trim(raw);
      if (continuing) {
        pending += line;
      } else {
        pending = line;
      }
      continuing =
          !pending.empty() && pending.back() == '\\' && IsHexValueLine(pending);
      if (continuing) {
        pending.pop_back();
        continue;
      }
      lines.push_back(pending);
    }
    if (continuing) lines.push_back(pending);
  }
  size_t first = 0;
  while (first < lines.size() && lines[first].empty()) ++first;
  if (first == lines.size()) return false;
  bool unicodeFile;
  if (lines[first] == "REGEDIT4") {
    unicodeFile = false;
  } else if (lines[first] == "Windows Registry Editor Version 5.00") {
    unicodeFile = true;
  } else {
    return false;
  }

  RegNode* current = nullptr;
  bool escapedKey = false;
  // What the keys made so far take when saved back: one header line each,
  // which repeats the whole path, so a deep key of a small file can weigh
  // far more than the file.
  size_t savedBytes = 0;
  for (size_t i = first + 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line == kEscapedKeyMark) {
      escapedKey = true;
      continue;
    }
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']') return false;
      std::string path = line.substr(1, line.size() - 2);
      if (escapedKey && !UnescapeKeyPath(std::string(path), &path))
        return false;
      escapedKey = false;
      const bool remove = !path.empty() && path[0] == '-';
      if (remove) path.erase(0, 1);
      HKEY root;
      std::string rest;
      if (!SplitRootPath(path, &root, &rest) || !RootNode(root)) return false;
      if (remove) {
        current = nullptr;
        std::vector<std::string> parts = SplitKeyPath(rest, codePage_);
        if (parts.empty()) return false;
        std::string parentPath;
        for (size_t p = 0; p + 1 < parts.size(); ++p)
          parentPath += (p ? "\\" : "") + parts[p];
        if (RegNode* parent = FindKey(root, parentPath)) {
          // Open handles into the tree see it deleted, as after regedit.
          if (parent->subkeys.count(parts.back()))
            RemoveTree(parent, parts.back());
        }
        continue;
      }
      current = CreateImportedKey(root, rest, &savedBytes);
      if (!current || savedBytes > kRegistryFileLimit) return false;
      continue;
    }
    if (!current) return false;
    std::string name;
    size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (!ReadQuoted(line, &pos, &name)) {
      return false;
    }
    while (pos < line.size() && line[pos] == ' ') ++pos;
    if (pos >= line.size() || line[pos] != '=') return false;
    ++pos;
    while (pos < line.size() && line[pos] == ' ') ++pos;
    const std::string data = line.substr(pos);
    if (data == "-") {
      current->values.erase(name);
      continue;
    }
    RegValue v;
    v.name = name;
    if (!data.empty() && data[0] == '"') {
      std::string text;
      size_t q = 0;
      if (!ReadQuoted(data, &q, &text) || Trim(data.substr(q)) != "")
        return false;
      v.type = REG_SZ;
      v.data.assign(text.begin(), text.end());
      v.data.push_back(0);
    } else if (data.compare(0, 6, "dword:") == 0) {
      const std::string digits = data.substr(6);
      if (digits.empty() || digits.size() > 8 ||
          digits.find_first_not_of("0123456789abcdefABCDEF") !=
              std::string::npos)
        return false;
      const DWORD d = static_cast<DWORD>(std::stoul(digits, nullptr, 16));
      v.type = REG_DWORD;
      v.data = {BYTE(d), BYTE(d >> 8), BYTE(d >> 16), BYTE(d >> 24)};
    } else if (data.compare(0, 4, "hex:") == 0) {
      v.type = REG_BINARY;
      if (!ReadHexBytes(data.substr(4), &v.data)) return false;
    } else if (data.compare(0, 4, "hex(") == 0) {
      const size_t close = data.find("):");
      if (close == std::string::npos || close <= 4) return false;
      const std::string typeText = data.substr(4, close - 4);
      if (typeText.find_first_not_of("0123456789abcdefABCDEF") !=
              std::string::npos ||
          typeText.size() > 8)
        return false;
      v.type = static_cast<DWORD>(std::stoul(typeText, nullptr, 16));
      if (!ReadHexBytes(data.substr(close + 2), &v.data)) return false;
      if (unicodeFile && (v.type == REG_SZ || v.type == REG_EXPAND_SZ ||
                          v.type == REG_MULTI_SZ))
        v.data = Narrow(v.data);
    } else {
      return false;
    }
    auto it = current->values.find(name);
    if (it != current->values.end()) {
      it->second.type = v.type;
      it->second.data = std::move(v.data);
    } else {
      current->values.emplace(name, std::move(v));
    }
  }
  return true;
}

// ---- Machine state ----------------------------------------------------------

bool SimPlatform::SaveState() const {
  const_cast<SimPlatform*>(this)->FlushFileState();
  std::ostringstream ini;
  ini << "[machine]\n"
      << "version=" << WindowsVersionName(version_) << "\n"
      << "platform=" << versionRecord_.dwPlatformId << "\n"
      << "major=" << versionRecord_.dwMajorVersion << "\n"
      << "minor=" << versionRecord_.dwMinorVersion << "\n"
      << "build=" << versionRecord_.dwBuildNumber << "\n"
      << "csd="
      << std::string(versionRecord_.szCSDVersion,
                     strnlen(versionRecord_.szCSDVersion,
                             sizeof versionRecord_.szCSDVersion))
      << "\n"
      << "codepage=" << codePage_ << "\n"
      << "diskfree=" << diskFree_ << "\n"
      << "disktotal=" << diskTotal_ << "\n"
      << "pc98=" << (pc98_ ? 1 : 0) << "\n";
  if (!windowsDir_.empty() || !systemDir_.empty())
    ini << "windowsdir=" << windowsDir_ << "\n"
        << "systemdir=" << systemDir_ << "\n";
  ini << "\n[bios]\n";
  for (const auto& b : bios_) ini << b.first << "=" << b.second << "\n";
  // Only a machine loaded from a capture has them; the others keep the file
  // they always had.
  const auto services = InitialServiceStates(const_cast<SimPlatform&>(*this));
  if (!services.empty()) ini << "\n[services]\n";
  for (const auto& [name, state] : services) {
    // A name that would not read back as this line is left out.
    if (name.empty() || name[0] == '[' ||
        name.find_first_of("\r\n") != std::string::npos)
      continue;
    ini << name << "=" << state << "\n";
  }
  // A line break in a text of the record would make another entry of it
  // (or another machine) when read back: such a machine is not saved.
  if (HasControlByte(windowsDir_) || HasControlByte(systemDir_) ||
      HasControlByte(versionRecord_.szCSDVersion))
    return false;
  const std::string registry = ExportRegistry();
  if (registry.size() > kRegistryFileLimit) return false;
  return WriteHostFile(machineDir_ + "/machine.ini", ini.str()) &&
         WriteHostFile(machineDir_ + "/registry.reg", registry);
}

bool SimPlatform::LoadState(std::string* why) {
  std::string unused;
  std::string& reason = why ? *why : unused;
  std::string iniText, regText;
  const auto read = [&](const char* name, size_t limit, std::string* text) {
    const HostRead r = ReadHostFile(machineDir_ + "/" + name, limit, text);
    if (r != HostRead::Ok)
      reason =
          std::string(name) + " " + HostReadText(r) +
          (r == HostRead::TooLarge ? " (" + std::to_string(limit) + " bytes)"
                                   : std::string());
    return r == HostRead::Ok;
  };
  if (!read("machine.ini", kMachineIniLimit, &iniText) ||
      !read("registry.reg", kRegistryFileLimit, &regText))
    return false;
  if (!IsHostFolder(machineDir_ + "/drive_c")) {
    reason = "drive_c is not a folder (a link is never followed)";
    return false;
  }
  FileState& files = extension<FileState>("files");
  if (!files.loaded && !files.Load(machineDir_)) {
    reason = std::string(
                 "attributes.ini is a link, a FIFO, a device or "
                 "larger than ") +
             std::to_string(kAttributesFileLimit) + " bytes";
    return false;
  }
  // Every refusal of the parse below is of machine.ini's text.
  reason = "machine.ini lacks an entry or holds one that does not parse";
  std::istringstream iniFile(iniText);
  std::map<std::string, std::string> machine;
  std::map<DWORD, WORD> bios;
  std::vector<std::pair<std::string, DWORD>> services;
  std::string line, section;
  try {
    while (std::getline(iniFile, line)) {
      // Values keep their spaces (a CSD text can be " ").
      if (!line.empty() && line.back() == '\r') line.pop_back();
      // The machine never writes one (SaveState refuses): such a text
      // would not be saved back as it was read.
      if (HasControlByte(line)) {
        reason = "machine.ini holds a control byte";
        return false;
      }
      if (Trim(line).empty()) continue;
      if (line[0] == '[') {
        section = line;
        continue;
      }
      // A service name may hold '='; its state never does.
      const size_t eq =
          section == "[services]" ? line.rfind('=') : line.find('=');
      if (eq == std::string::npos) return false;
      const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
      if (section == "[machine]") {
        machine[key] = value;
      } else if (section == "[bios]") {
        const unsigned long w = std::stoul(value);
        if (w > 0xFFFF) return false;
        bios[static_cast<DWORD>(std::stoul(key))] = static_cast<WORD>(w);
      } else if (section == "[services]") {
        const unsigned long state = std::stoul(value);
        if (state < SERVICE_STOPPED || state > SERVICE_PAUSED) return false;
        services.emplace_back(key, static_cast<DWORD>(state));
      }
    }
    WindowsVersion v;
    if (!ParseWindowsVersion(machine["version"], &v)) return false;
    const auto num = [&](const char* k) { return std::stoull(machine.at(k)); };

    // Everything parsed before anything changes.
    const DWORD platform = static_cast<DWORD>(num("platform"));
    const DWORD major = static_cast<DWORD>(num("major"));
    const DWORD minor = static_cast<DWORD>(num("minor"));
    const DWORD build = static_cast<DWORD>(num("build"));
    const UINT codePage = static_cast<UINT>(num("codepage"));
    const unsigned long long diskFree = num("diskfree");
    const unsigned long long diskTotal = num("disktotal");
    const bool pc98 = num("pc98") != 0;
    version_ = v;
    SetVersionRecord(platform, major, minor, build, machine["csd"]);
    codePage_ = codePage;
    diskFree_ = diskFree;
    diskTotal_ = diskTotal;
    bios_ = bios;
    pc98_ = pc98;
    windowsDir_ = machine["windowsdir"];
    systemDir_ = machine["systemdir"];
    ResetRegistry();
    const bool imported = ImportRegistry(regText);
    if (!imported)
      reason =
          "registry.reg is no registry the machine saves (keys deeper "
          "than " +
          std::to_string(kMaxKeyDepth) + " or names longer than " +
          std::to_string(kMaxKeyNameLength) +
          " bytes are refused, as Windows refuses them)";
    ClearInitialServiceStates(*this);
    for (const auto& [name, state] : services)
      SetInitialServiceState(*this, name, state);
    return imported;
  } catch (const std::exception&) {
    // A number that doesn't parse or a missing entry: not a saved machine.
    reason = "machine.ini lacks an entry or holds one that does not parse";
    return false;
  }
}

}  // namespace kv::sim
