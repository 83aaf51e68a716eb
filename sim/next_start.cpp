#include "sim/next_start.h"

#include <algorithm>

#include "foundation/registry_paths.h"

namespace kv::sim {

namespace {

constexpr int kBatchLineLimit = 10000;

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return Lower(text.substr(0, prefix.size())) == prefix;
}

std::string Trim(const std::string& text) {
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return std::string();
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

// One argument: a quoted text, or up to the next blank. Empty when the
// rest holds more than one argument (the command interpreter would take
// the others as more files, which removal never writes).
std::string SingleArgument(const std::string& rest) {
  const std::string text = Trim(rest);
  if (text.empty()) return text;
  if (text[0] == '"') {
    const size_t close = text.find('"', 1);
    if (close == std::string::npos || close + 1 != text.size())
      return std::string();
    return text.substr(1, close - 1);
  }
  return text.find_first_of(" \t") == std::string::npos ? text : std::string();
}

std::string RunDel(SimPlatform& os, const std::string& line) {
  std::string rest = Trim(line.substr(3));
  bool force = false;
  if (StartsWithNoCase(rest, "/f ")) {
    force = true;
    rest = rest.substr(3);
  }
  const std::string path = SingleArgument(rest);
  if (path.empty() || path.find_first_of("*?") != std::string::npos)
    return "not run: not one file";
  const DWORD attributes = os.GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return "not found";
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "not run: a folder";
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    // Only "del /f" deletes a read-only file.
    if (!force) return "access denied (read-only)";
    os.SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  return os.DeleteFileA(path.c_str()) ? "deleted" : "not deleted";
}

std::string RunLine(SimPlatform& os, const std::string& raw) {
  const std::string line = Trim(raw);
  if (line.empty()) return "empty";
  if (StartsWithNoCase(line, "del ")) return RunDel(os, line);
  return "not run: unknown command";
}

void RunBatch(SimPlatform& os, const std::string& batch,
              std::vector<std::string>& log) {
  std::string text;
  // A captured batch whose lines were not captured runs nothing made up.
  if (os.IsPlaceholder(batch)) {
    log.push_back("  " + batch +
                  ": not run: placeholder, content not captured");
    return;
  }
  if (!os.ReadTextFile(batch, &text)) {
    log.push_back("  " + batch + ": batch not found");
    return;
  }
  size_t start = 0;
  for (int n = 0; start < text.size() && n < kBatchLineLimit; ++n) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start = end + 1;
    log.push_back("  " + line + ": " + RunLine(os, line));
    // The interpreter reads the batch line by line from the file: once the
    // batch is gone, nothing after the line that deleted it runs.
    if (os.GetFileAttributesA(batch.c_str()) == INVALID_FILE_ATTRIBUTES) {
      if (start < text.size()) log.push_back("  (batch gone: rest not run)");
      return;
    }
  }
}

void RunCommand(SimPlatform& os, const std::string& command,
                std::vector<std::string>& log) {
  static const std::string kShell = "command.com /c ";
  if (StartsWithNoCase(command, kShell)) {
    const std::string line = command.substr(kShell.size());
    log.push_back("  " + line + ": " + RunLine(os, line));
    return;
  }
  const std::string program = SingleArgument(command);
  const std::string lower = Lower(program);
  if (lower.size() > 4 && (lower.compare(lower.size() - 4, 4, ".bat") == 0 ||
                           lower.compare(lower.size() - 4, 4, ".cmd") == 0)) {
    RunBatch(os, program, log);
    return;
  }
  log.push_back("  not run: unknown program");
}

}  // namespace

std::vector<std::string> StartWindowsAgain(SimPlatform& os) {
  std::vector<std::string> log;
  HKEY key = nullptr;
  if (os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_ALL_ACCESS,
                       &key) != ERROR_SUCCESS)
    return log;
  std::vector<std::pair<std::string, std::string>> commands;
  for (DWORD i = 0;; ++i) {
    char name[256] = {};
    char data[2048] = {};
    DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
    const LONG read =
        os.RegEnumValueA(key, i, name, &nameSize, nullptr, &type,
                         reinterpret_cast<BYTE*>(data), &dataSize);
    // A value too large for the buffers is no command removal writes; the
    // ones after it still run.
    if (read == ERROR_MORE_DATA) continue;
    if (read != ERROR_SUCCESS) break;
    if (type == REG_SZ || type == REG_EXPAND_SZ)
      commands.emplace_back(
          name,
          std::string(data, std::find(data, data + dataSize, '\0') - data));
  }
  for (const auto& [name, command] : commands) {
    os.RegDeleteValueA(key, name.c_str());
    log.push_back("RunOnce " + name + ": " + command);
    RunCommand(os, command, log);
  }
  os.RegCloseKey(key);
  return log;
}

}  // namespace kv::sim
