// kvsup-host for Windows: loads _KVSUP32.dll with LoadLibraryA and finds each
// export with GetProcAddress, as an installer script engine does, then runs
// the script against the real system.
#ifdef _WIN32

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "exports/all.h"
#include "foundation/printable.h"
#include "foundation/win32_platform.h"
#include "host/capture.h"
#include "host/host_main.h"
#include "host/leftovers.h"
#include "host/runner.h"
#include "host/snapshot.h"

namespace kv::host {
namespace {

const char kUsage[] =
    "usage: kvsup-host [options] [script]   (no script, or -: read stdin)\n"
    "Runs export calls of _KVSUP32.dll on this Windows.\n"
    "  --dll PATH           the library (default: _KVSUP32.dll beside the "
    "host)\n"
    "  --answer-boxes       press the default button of each message box the\n"
    "                       host's process (or a program !run started) shows\n"
    "                       (No where the box has one), printing caption and\n"
    "                       text\n"
    "  --copy-in HOST=WIN   copy a file or folder before the script\n"
    "                       (WIN may use %WINDIR% %SYSDIR% %APPDATA%)\n"
    "  --check              check the script only; call nothing\n"
    "  --stop-on-error      stop at the first bad line\n"
    "  --list               list the exports and whether the library has "
    "them\n"
    "  --trace              print every call the library makes to Windows\n"
    "                       (it traces into a temporary file through\n"
    "                       KVSUP_TRACE_CALLS), after each script line\n"
    "  --snapshot FILE      write a snapshot of this system after the script\n"
    "                       (no script named: of the system as it is)\n"
    "  --capture FILE       record what the library reads or writes on this\n"
    "                       machine into FILE, for a rehearsal on a copy\n"
    "                       (native kvsup-host --from-capture)\n"
    "  --leftovers BEFORE AFTER\n"
    "                       compare two snapshots and report what changed;\n"
    "                       exit 0 when nothing unknown is left, 1 when\n"
    "                       something is, 2 when a file cannot be read\n";

// A critical section held for a scope.
class Lock {
 public:
  explicit Lock(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
  ~Lock() { LeaveCriticalSection(&cs_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  CRITICAL_SECTION& cs_;
};

std::string ErrorText(DWORD error) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string s = "error " + std::to_string(error);
  if (n && text) {
    std::string t(text, n);
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
    s += " (" + t + ")";
  }
  if (text) LocalFree(text);
  return s;
}

// Presses the default button of every dialog box of this process, so a run
// without a person at the screen goes on. Each box is logged for the next
// Report (the main thread is inside MessageBoxA meanwhile).
class BoxAnswerer {
 public:
  BoxAnswerer() { InitializeCriticalSection(&lock_); }
  ~BoxAnswerer() {
    Stop();
    DeleteCriticalSection(&lock_);
  }
  BoxAnswerer(const BoxAnswerer&) = delete;
  BoxAnswerer& operator=(const BoxAnswerer&) = delete;

  bool Start() {
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!stop_) return false;
    thread_ = CreateThread(nullptr, 0, &BoxAnswerer::Main, this, 0, nullptr);
    return thread_ != nullptr;
  }
  void Stop() {
    if (thread_) {
      SetEvent(stop_);
      WaitForSingleObject(thread_, INFINITE);
      CloseHandle(thread_);
      thread_ = nullptr;
    }
    if (stop_) {
      CloseHandle(stop_);
      stop_ = nullptr;
    }
  }
  // Answers the boxes of process `pid` too, until Unwatch.
  void Watch(DWORD pid) {
    Lock hold(lock_);
    watched_ = pid;
  }
  void Unwatch() {
    Lock hold(lock_);
    watched_ = 0;
  }
  std::vector<std::string> TakeLog() {
    Lock hold(lock_);
    std::vector<std::string> log;
    log.swap(log_);
    return log;
  }

 private:
  static DWORD WINAPI Main(LPVOID self) {
    auto* me = static_cast<BoxAnswerer*>(self);
    while (WaitForSingleObject(me->stop_, 50) == WAIT_TIMEOUT) {
      EnumWindows(&BoxAnswerer::Visit, reinterpret_cast<LPARAM>(me));
    }
    return 0;
  }

  static BOOL CALLBACK Visit(HWND window, LPARAM self) {
    auto* me = reinterpret_cast<BoxAnswerer*>(self);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[16] = {};
    if (!me->Answers(pid) || !IsWindowVisible(window) ||
        !GetClassNameA(window, cls, sizeof cls) ||
        std::strcmp(cls, "#32770") != 0) {
      return TRUE;
    }
    char caption[512] = {};
    char text[4096] = {};
    GetWindowTextA(window, caption, sizeof caption);
    GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
    // The box's own default button (an OK box has IDOK), but No where the
    // box has it: Yes to the reboot question would restart the machine.
    LRESULT def = SendMessageA(window, DM_GETDEFID, 0, 0);
    int id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK;
    if (GetDlgItem(window, IDNO)) id = IDNO;
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
    Lock hold(me->lock_);
    me->log_.push_back("  box " + QuoteText(caption) + ": " + QuoteText(text) +
                       " -> pressed " + std::to_string(id));
    // A box being closed stays visible for a moment: wait for it to go so
    // it is answered once.
    for (int i = 0; i < 100 && IsWindow(window) && IsWindowVisible(window);
         ++i) {
      Sleep(10);
    }
    return TRUE;
  }

  bool Answers(DWORD pid) {
    Lock hold(lock_);
    return pid == GetCurrentProcessId() || (watched_ && pid == watched_);
  }

  CRITICAL_SECTION lock_;
  DWORD watched_ = 0;  // a program !run started
  HANDLE stop_ = nullptr;
  HANDLE thread_ = nullptr;
  std::vector<std::string> log_;
};

const char kWindowClass[] = "KvsupHostWindow";

struct ReceivedMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<ReceivedMessage>* g_received = nullptr;

LRESULT CALLBACK ScriptWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if ((m == WM_COMMAND || m == WM_TIMER) && g_received) {
    g_received->push_back({w, m, wp, lp});
    return 0;
  }
  return DefWindowProcA(w, m, wp, lp);
}

// Whether `command` is a batch file's path (quoted or not).
bool NamesBatch(std::string command) {
  if (command.size() > 1 && command.front() == '"' && command.back() == '"')
    command = command.substr(1, command.size() - 2);
  return command.size() > 4 &&
         _stricmp(command.c_str() + command.size() - 4, ".bat") == 0;
}

// The RunOnce commands of HKEY_LOCAL_MACHINE, as the next start of Windows
// runs them: each value deleted, then its command run and waited for.
// Wine has no command.com; its cmd.exe runs the same lines. A batch is
// handed to the command interpreter explicitly.
bool RunRunOnceCommands(std::ostream& out, std::string* error) {
  static const char kRunOnce[] =
      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnce, 0, KEY_ALL_ACCESS, &key) !=
      ERROR_SUCCESS) {
    out << "  (no RunOnce commands)\n";
    return true;
  }
  std::vector<std::pair<std::string, std::string>> commands;
  for (DWORD i = 0;; ++i) {
    char name[256] = {};
    char data[2048] = {};
    DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
    if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type,
                      reinterpret_cast<BYTE*>(data),
                      &dataSize) != ERROR_SUCCESS)
      break;
    if (type == REG_SZ || type == REG_EXPAND_SZ)
      commands.emplace_back(name, data);
  }
  for (const auto& [name, command] : commands) {
    RegDeleteValueA(key, name.c_str());
    std::string line = command;
    static const std::string kShell = "command.com /c ";
    char found[MAX_PATH];
    if (_strnicmp(line.c_str(), kShell.c_str(), kShell.size()) == 0 &&
        !SearchPathA(nullptr, "command.com", nullptr, MAX_PATH, found, nullptr))
      line = "cmd.exe /c " + line.substr(kShell.size());
    else if (NamesBatch(line))
      line = "cmd.exe /c " + line;
    out << "  RunOnce " << name << ": " << line << "\n";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    if (!CreateProcessA(nullptr, text.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process)) {
      out << "    not started, error " << GetLastError() << "\n";
      continue;
    }
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
      *error = "a RunOnce command did not end within 60 s: " + line;
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
      RegCloseKey(key);
      return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    out << "    exit code " << code << "\n";
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  RegCloseKey(key);
  return true;
}

// The library's call trace (KVSUP_TRACE_CALLS) in a temporary file: the
// lines it grew by since the last look, printed as the native host prints
// the simulated machine's operations. The file goes when the run ends.
class TraceFollower {
 public:
  ~TraceFollower() {
    if (!path_.empty()) DeleteFileA(path_.c_str());
  }
  // Makes the file and names it to the library that is loaded next.
  bool Start(std::string* error) {
    char dir[MAX_PATH] = {};
    char file[MAX_PATH] = {};
    DWORD n = GetTempPathA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir || !GetTempFileNameA(dir, "kvt", 0, file)) {
      *error = "cannot make a trace file: " + ErrorText(::GetLastError());
      return false;
    }
    path_ = file;
    if (!SetEnvironmentVariableA("KVSUP_TRACE_CALLS", file)) {
      *error = "cannot set KVSUP_TRACE_CALLS: " + ErrorText(::GetLastError());
      return false;
    }
    return true;
  }
  // The whole lines added since the last call, each indented.
  void Print(std::ostream& out) {
    std::ifstream in(path_.c_str(), std::ios::binary);
    if (!in || !in.seekg(static_cast<std::streamoff>(read_))) return;
    std::string added((std::istreambuf_iterator<char>(in)),
                      std::istreambuf_iterator<char>());
    size_t end = added.rfind('\n');
    if (end == std::string::npos) return;
    for (size_t at = 0; at <= end;) {
      size_t eol = added.find('\n', at);
      std::string line = added.substr(at, eol - at);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      out << "  | " << PrintableText(line) << "\n";
      at = eol + 1;
    }
    read_ += end + 1;
  }

 private:
  std::string path_;
  size_t read_ = 0;
};

class Win32Machine : public Machine {
 public:
  Win32Machine(BoxAnswerer* answerer, TraceFollower* trace)
      : answerer_(answerer), trace_(trace) {
    g_received = &received_;
    carriedError_ = ::GetLastError();
  }
  ~Win32Machine() override {
    for (HWND w : created_) DestroyWindow(w);
    g_received = nullptr;
  }
  Win32Machine(const Win32Machine&) = delete;
  Win32Machine& operator=(const Win32Machine&) = delete;

  void BeforeCall() override { ::SetLastError(carriedError_); }
  void AfterCall() override { carriedError_ = ::GetLastError(); }

  void Report(std::ostream& out) override {
    if (trace_) trace_->Print(out);
    if (answerer_) {
      for (const std::string& line : answerer_->TakeLog()) out << line << "\n";
    }
    PrintMessages(out);
  }

  std::string WindowsDirectory() override {
    char dir[MAX_PATH] = {};
    GetWindowsDirectoryA(dir, sizeof dir);
    return dir;
  }
  std::string SystemDirectory() override {
    char dir[MAX_PATH] = {};
    GetSystemDirectoryA(dir, sizeof dir);
    return dir;
  }
  std::string AppDataDirectory() override {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER,
                      "Software\\Microsoft\\Windows\\CurrentVersion\\"
                      "Explorer\\Shell Folders",
                      0, KEY_READ, &key) != ERROR_SUCCESS)
      return std::string();
    char dir[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    DWORD type = 0;
    const LONG read = RegQueryValueExA(key, "AppData", nullptr, &type,
                                       reinterpret_cast<BYTE*>(dir), &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS && type == REG_SZ ? std::string(dir)
                                                   : std::string();
  }

  bool CopyIn(const std::string& hostPath, const std::string& winPath,
              std::string* error) override {
    std::string from = Backslashes(hostPath);
    std::string to = Backslashes(winPath);
    DWORD attributes = GetFileAttributesA(from.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      *error = "cannot copy " + hostPath + ": " + ErrorText(::GetLastError());
      return false;
    }
    bool ok = (attributes & FILE_ATTRIBUTE_DIRECTORY)
                  ? CopyTree(from, to, error)
                  : CopyOne(from, to, error);
    return ok;
  }

  void Wait(unsigned ms, std::ostream& out) override {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    if (trace_) trace_->Print(out);  // the timer thread's calls
    PrintMessages(out);
  }

  void SetLastError(DWORD error) override { carriedError_ = error; }
  bool RunProgram(const std::string& commandLine, DWORD* exit,
                  std::ostream& out, std::string* error) override {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process)) {
      *error =
          "cannot start " + commandLine + ": " + ErrorText(::GetLastError());
      return false;
    }
    CloseHandle(process.hThread);
    if (answerer_) answerer_->Watch(process.dwProcessId);
    WaitForSingleObject(process.hProcess, INFINITE);
    if (answerer_) answerer_->Unwatch();
    GetExitCodeProcess(process.hProcess, exit);
    CloseHandle(process.hProcess);
    Report(out);
    return true;
  }
  bool StartWindowsAgain(std::ostream& out, std::string* error) override {
    return RunRunOnceCommands(out, error);
  }

 protected:
  HWND CreateScriptWindow(long long number) override {
    if (!registered_) {
      WNDCLASSA wc = {};
      wc.lpfnWndProc = ScriptWindowProc;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = kWindowClass;
      registered_ = RegisterClassA(&wc) != 0;
    }
    std::string title = "hwnd(" + std::to_string(number) + ")";
    HWND w = CreateWindowExA(0, kWindowClass, title.c_str(), WS_OVERLAPPED, 0,
                             0, 100, 100, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    if (w) {
      created_.push_back(w);
    } else {
      // Wine makes no window without a display: say so rather than pass a
      // null window the script did not ask for.
      const DWORD error = ::GetLastError();
      std::cerr << "kvsup-host: cannot create window " << title << ": "
                << ErrorText(error)
                << "; it is passed as 0 (under Wine run with xvfb-run -a)\n";
    }
    return w;
  }

 private:
  static std::string Backslashes(std::string path) {
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    return path;
  }

  // Creates the folders of `path` up to its last component.
  static void MakeParents(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos;
         at = path.find('\\', at + 1)) {
      CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    }
  }

  static bool CopyOne(const std::string& from, const std::string& to,
                      std::string* error) {
    MakeParents(to);
    SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (CopyFileA(from.c_str(), to.c_str(), FALSE)) return true;
    *error = "cannot copy " + from + " to " + to + ": " +
             ErrorText(::GetLastError());
    return false;
  }

  static bool CopyTree(const std::string& from, const std::string& to,
                       std::string* error) {
    MakeParents(to + "\\");
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((from + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return true;  // empty folder
    bool ok = true;
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      ok = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
               ? CopyTree(from + "\\" + name, to + "\\" + name, error)
               : CopyOne(from + "\\" + name, to + "\\" + name, error);
    } while (ok && FindNextFileA(find, &data));
    FindClose(find);
    return ok;
  }

  void PrintMessages(std::ostream& out) {
    for (const ReceivedMessage& m : received_) {
      out << "  " << WindowName(m.window) << " <- "
          << (m.message == WM_COMMAND ? "WM_COMMAND" : "WM_TIMER")
          << " wParam=" << m.wParam << " lParam=" << m.lParam << "\n";
    }
    received_.clear();
  }

  BoxAnswerer* answerer_;
  TraceFollower* trace_;
  DWORD carriedError_ = 0;
  bool registered_ = false;
  std::vector<HWND> created_;
  std::vector<ReceivedMessage> received_;
};

// The library, freed when the run ends.
class Library {
 public:
  explicit Library(HMODULE module) : module_(module) {}
  ~Library() { Free(); }
  // Unloading closes the library's trace file.
  void Free() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

// Each export found by name in the loaded library and called through a
// pointer of its declared type; a name the library lacks gives an entry
// marked missing.
ExportTable LibraryExports(HMODULE module) {
  ExportTable table;
#define KV_HOST_ADD_EXPORT(name)                                    \
  table.Add(MakeExport(#name, reinterpret_cast<decltype(&::name)>(  \
                                  reinterpret_cast<void (*)(void)>( \
                                      GetProcAddress(module, #name)))));
  KV_ALL_EXPORTS(KV_HOST_ADD_EXPORT)
#undef KV_HOST_ADD_EXPORT
  return table;
}

// Records this system through the same platform layer the library uses.
int SnapshotCommand(const std::string& path) {
  Win32Platform os;
  std::string why;
  if (!WriteSnapshot(TakeSnapshot(os), path, &why)) {
    std::cerr << "kvsup-host: " << why << "\n";
    return 2;
  }
  return 0;
}

// Records this machine for a rehearsal on a copy, and says how large the
// record is.
int CaptureCommand(const std::string& path) {
  const DWORD started = GetTickCount();
  Win32Platform os;
  const Capture capture = TakeCapture(os);
  std::string why;
  if (!WriteCapture(capture, path, &why)) {
    std::cerr << "kvsup-host: " << why << "\n";
    return 2;
  }
  size_t withContent = 0, files = 0;
  for (const CapturedFile& f : capture.files) {
    if (f.directory) continue;
    ++files;
    if (f.hasContent) ++withContent;
  }
  std::ifstream written(path.c_str(), std::ios::binary | std::ios::ate);
  std::cout << "captured " << capture.keys.size() << " registry keys, "
            << capture.values.size() << " values, " << files << " files ("
            << withContent << " with their content), "
            << capture.services.size() << " service states into " << path
            << ": " << static_cast<long long>(written.tellg()) << " bytes in "
            << (GetTickCount() - started) << " ms\n";
  for (const std::string& limit : capture.limits)
    std::cout << "  cut short: " << limit << "\n";
  return 0;
}

std::string HostFolder() {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string p(path, n);
  size_t slash = p.find_last_of("\\/");
  return slash == std::string::npos ? "." : p.substr(0, slash);
}

}  // namespace

int HostMain(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string dllPath = HostFolder() + "\\_KVSUP32.dll";
  bool answerBoxes = false;
  bool list = false;
  bool trace = false;
  std::vector<std::pair<std::string, std::string>> copyIns;
  RunOptions run;
  std::string scriptPath;
  std::string snapshotPath;
  std::string capturePath;
  std::string leftoversBefore, leftoversAfter;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool hasValue = i + 1 < args.size();
    if ((a == "--dll" || a == "--copy-in" || a == "--snapshot" ||
         a == "--capture") &&
        !hasValue) {
      std::cerr << "kvsup-host: " << a << " needs a value\n" << kUsage;
      return 2;
    }
    if (a == "--leftovers" && i + 2 >= args.size()) {
      std::cerr << "kvsup-host: --leftovers needs two snapshot files\n"
                << kUsage;
      return 2;
    }
    if (a == "--dll") {
      dllPath = args[++i];
    } else if (a == "--copy-in") {
      std::string from, to;
      if (!SplitCopyIn(args[++i], &from, &to)) {
        std::cerr << "kvsup-host: --copy-in wants HOSTPATH=C:\\path\n";
        return 2;
      }
      copyIns.emplace_back(from, to);
    } else if (a == "--answer-boxes") {
      answerBoxes = true;
    } else if (a == "--check") {
      run.checkOnly = true;
    } else if (a == "--stop-on-error") {
      run.stopOnError = true;
    } else if (a == "--list") {
      list = true;
    } else if (a == "--trace") {
      trace = true;
    } else if (a == "--snapshot") {
      snapshotPath = args[++i];
    } else if (a == "--capture") {
      capturePath = args[++i];
    } else if (a == "--leftovers") {
      leftoversBefore = args[++i];
      leftoversAfter = args[++i];
    } else if (a == "--help" || a == "-h") {
      std::cerr << kUsage;
      return 2;
    } else if (a.size() > 1 && a[0] == '-') {
      std::cerr << "kvsup-host: unknown option " << a << "\n" << kUsage;
      return 2;
    } else if (scriptPath.empty()) {
      scriptPath = a;
    } else {
      std::cerr << "kvsup-host: one script only\n";
      return 2;
    }
  }
  if (!leftoversBefore.empty()) {
    if (!scriptPath.empty() || !snapshotPath.empty() || list) {
      std::cerr << "kvsup-host: --leftovers compares two files and runs "
                   "nothing\n";
      return 2;
    }
    return LeftoversCommand(leftoversBefore, leftoversAfter, std::cout,
                            std::cerr);
  }
  if (!capturePath.empty()) {
    if (!scriptPath.empty() || !snapshotPath.empty() || list) {
      std::cerr << "kvsup-host: --capture records the machine and runs "
                   "nothing\n";
      return 2;
    }
    return CaptureCommand(capturePath);
  }
  // A snapshot with no script named records the system as it is, and
  // needs no library.
  if (!snapshotPath.empty() && scriptPath.empty() && !list)
    return SnapshotCommand(snapshotPath);

  TraceFollower follower;
  if (trace && !list) {
    std::string why;
    if (!follower.Start(&why)) {
      std::cerr << "kvsup-host: " << why << "\n";
      return 2;
    }
  }
  Library dll(LoadLibraryA(dllPath.c_str()));
  if (!dll.get()) {
    const DWORD error = GetLastError();  // before any output can change it
    std::cerr << "kvsup-host: cannot load " << dllPath << ": "
              << ErrorText(error) << "\n";
    return 2;
  }
  ExportTable table = LibraryExports(dll.get());
  if (list) {
    for (const ExportInfo& e : table.all()) {
      std::cout << DescribeExport(e) << "\n";
    }
    return 0;
  }

  std::ifstream file;
  std::istream* script = &std::cin;
  if (!scriptPath.empty() && scriptPath != "-") {
    file.open(scriptPath.c_str(), std::ios::binary);
    if (!file) {
      std::cerr << "kvsup-host: cannot read script " << scriptPath << "\n";
      return 2;
    }
    script = &file;
    run.scriptName = scriptPath;
    size_t slash = scriptPath.find_last_of("\\/");
    run.scriptDir =
        slash == std::string::npos ? "." : scriptPath.substr(0, slash);
  }

  BoxAnswerer answerer;
  if (answerBoxes && !answerer.Start()) {
    std::cerr << "kvsup-host: cannot start the box answerer\n";
    return 2;
  }
  int rc;
  {
    Win32Machine machine(answerBoxes ? &answerer : nullptr,
                         trace ? &follower : nullptr);
    for (const auto& [from, to] : copyIns) {
      std::string why;
      if (!machine.CopyIn(from, machine.ExpandWinPath(to), &why)) {
        std::cerr << "kvsup-host: " << why << "\n";
        return 2;
      }
    }
    RunSummary summary =
        RunScript(*script, table, machine, std::cout, std::cerr, run);
    if (!summary.ok()) {
      std::cerr << "kvsup-host: " << summary.badLines << " bad line(s), "
                << summary.faults << " fault(s)\n";
    }
    rc = summary.ok() ? 0 : 1;
  }
  answerer.Stop();
  if (trace) {
    dll.Free();
    follower.Print(std::cout);  // what the library wrote last
  }
  if (!snapshotPath.empty() && SnapshotCommand(snapshotPath) != 0) rc = 2;
  return rc;
}

}  // namespace kv::host

#endif  // _WIN32
