// Programs of the simulated machine: CreateProcessA and WinExec find the
// program file of a command line as Windows does, run a registered body at
// once (the machine has one thread; the virtual clock makes waiting free),
// and hand out process and thread handles that WaitForSingleObject and
// CloseHandle accept.
#include "sim/processes.h"

#include <filesystem>
#include <map>
#include <set>

#include "sim/sim_internal.h"
#include "sim/threads.h"

namespace kv::sim {
namespace {

struct ProcessState : SimPlatform::Extension {
  std::map<std::string, SimPlatform::ProgramBody, CaseLess> programs;
  std::vector<SimPlatform::ProcessRecord> started;
  std::map<uintptr_t, DWORD> processes;  // open process handle -> exit code
  std::set<uintptr_t> threads;           // open thread handles
  DWORD nextId = 0x100;
};

ProcessState& Programs(SimPlatform& os) {
  return os.extension<ProcessState>("processes");
}

std::string BaseName(const std::string& path) {
  const size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The program token of a command line: quoted, or up to the first blank.
std::string ProgramToken(const std::string& commandLine) {
  size_t i = 0;
  while (i < commandLine.size() &&
         (commandLine[i] == ' ' || commandLine[i] == '\t'))
    ++i;
  if (i < commandLine.size() && commandLine[i] == '"') {
    const size_t end = commandLine.find('"', i + 1);
    return commandLine.substr(
        i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
  }
  size_t end = i;
  while (end < commandLine.size() && commandLine[end] != ' ' &&
         commandLine[end] != '\t')
    ++end;
  return commandLine.substr(i, end - i);
}

bool IsFileOnMachine(const SimPlatform& os, const std::string& winPath) {
  const std::string host = os.HostPath(winPath);
  std::error_code ec;
  return !host.empty() && std::filesystem::is_regular_file(host, ec);
}

}  // namespace

bool CloseProcessHandle(SimPlatform& os, HANDLE handle) {
  ProcessState& state = Programs(os);
  const auto h = reinterpret_cast<uintptr_t>(handle);
  return state.processes.erase(h) > 0 || state.threads.erase(h) > 0;
}

void SimPlatform::RegisterProgram(const std::string& fileName,
                                  ProgramBody body) {
  Programs(*this).programs[BaseName(fileName)] = std::move(body);
}

const std::vector<SimPlatform::ProcessRecord>& SimPlatform::processes() {
  return Programs(*this).started;
}

// The search Windows makes for a program named without a folder: the
// current folder (C:\), the system folder, the Windows folder; ".EXE" is
// added to a name without an extension. A registered program runs whether
// or not a file stands for it; an unregistered one needs its file.
BOOL SimPlatform::CreateProcessA(LPCSTR application, LPSTR commandLine,
                                 LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                                 BOOL, DWORD flags, LPVOID, LPCSTR directory,
                                 LPSTARTUPINFOA, LPPROCESS_INFORMATION info) {
  if (Enter("CreateProcessA", ArgText(application) + ", " +
                                  ArgText(commandLine) + ", " + HexText(flags) +
                                  ", " + ArgText(directory)))
    return FALSE;
  const std::string command = commandLine ? commandLine : "";
  std::string program =
      application && *application ? application : ProgramToken(command);
  if (program.empty()) {
    lastError_ = ERROR_PATH_NOT_FOUND;
    return FALSE;
  }
  if (BaseName(program).find('.') == std::string::npos) program += ".EXE";

  std::vector<std::string> candidates;
  if (program.find_first_of("\\/:") != std::string::npos) {
    candidates.push_back(program);
  } else {
    candidates = {"C:\\" + program, systemDir() + "\\" + program,
                  windowsDir() + "\\" + program};
  }
  ProcessState& state = Programs(*this);
  auto body = state.programs.find(BaseName(program));
  std::string found;
  for (const auto& c : candidates) {
    if (IsFileOnMachine(*this, c)) {
      found = c;
      break;
    }
  }
  if (found.empty() && body == state.programs.end()) {
    // A named folder that is missing says so; a bare name is just not found.
    const std::string host = HostPath(candidates.front());
    const std::string parent = host.substr(0, host.find_last_of('/'));
    std::error_code ec;
    lastError_ = !host.empty() && std::filesystem::is_directory(parent, ec)
                     ? ERROR_FILE_NOT_FOUND
                     : ERROR_PATH_NOT_FOUND;
    return FALSE;
  }
  if (found.empty()) found = candidates.front();

  const std::string recorded = command.empty() ? program : command;
  state.started.push_back(
      ProcessRecord{found, recorded, directory ? directory : ""});
  DWORD exitCode = 0;
  if (body != state.programs.end() && body->second) {
    // The body may register or start programs itself: run a copy.
    const ProgramBody run = body->second;
    exitCode = run(*this, recorded);
  }
  ProcessState& after = state;
  const uintptr_t process = NewHandle();
  const uintptr_t thread = NewHandle();
  after.processes[process] = exitCode;
  after.threads.insert(thread);
  if (info) {
    info->hProcess = reinterpret_cast<HANDLE>(process);
    info->hThread = reinterpret_cast<HANDLE>(thread);
    info->dwProcessId = after.nextId;
    info->dwThreadId = after.nextId + 4;
    after.nextId += 8;
  } else {
    after.processes.erase(process);
    after.threads.erase(thread);
  }
  lastError_ = ERROR_SUCCESS;
  return TRUE;
}

UINT SimPlatform::WinExec(LPCSTR commandLine, UINT show) {
  if (Enter("WinExec", ArgText(commandLine) + ", " + std::to_string(show)))
    return 0;
  if (!commandLine) return ERROR_FILE_NOT_FOUND;
  std::string command = commandLine;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, nullptr, &info)) {
    // WinExec answers with the error code itself (31 or below).
    const DWORD error = lastError_;
    return error <= 31 ? error : 0;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return 33;  // any value above 31 means started
}

DWORD SimPlatform::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  if (Enter("WaitForSingleObject",
            HexText(reinterpret_cast<uintptr_t>(handle)) + ", " +
                std::to_string(milliseconds)))
    return WAIT_FAILED;
  ProcessState& state = Programs(*this);
  const auto h = reinterpret_cast<uintptr_t>(handle);
  DWORD threadWait = WAIT_FAILED;
  if (WaitForThread(*this, handle, milliseconds, &threadWait))
    return threadWait;
  // Started programs have run to their end already.
  if (state.processes.count(h) || state.threads.count(h)) return WAIT_OBJECT_0;
  lastError_ = ERROR_INVALID_HANDLE;
  return WAIT_FAILED;
}

}  // namespace kv::sim
