// Runs a script line by line against an export table on a machine: the
// simulated one (native build) or the real system (Windows build).
#pragma once

#include <iosfwd>
#include <map>
#include <string>

#include "foundation/win32.h"
#include "host/export_table.h"

namespace kv::host {

// What the runner needs from the machine the exports act on.
class Machine {
 public:
  virtual ~Machine() = default;

  // The window the script calls hwnd(number); hwnd(0) is no window. Made on
  // first use and kept for the whole run.
  HWND Window(long long number);
  // "hwnd(N)" for a window of the script, else the handle's value.
  std::string WindowName(HWND window) const;

  // Called right before and right after each export call, with nothing of
  // the host's own in between (the thread's last error passes from one
  // export call to the next as it does in an installer).
  virtual void BeforeCall() {}
  virtual void AfterCall() {}
  // Prints what the call caused beyond its result (message boxes, ...).
  virtual void Report(std::ostream& out) { (void)out; }

  // Host commands.
  virtual std::string WindowsDirectory() = 0;
  virtual std::string SystemDirectory() = 0;
  // The user's application data folder ("AppData" of the shell folders);
  // empty when the machine has none.
  virtual std::string AppDataDirectory() = 0;
  // Copies a host file or folder to a Windows path of the machine.
  virtual bool CopyIn(const std::string& hostPath, const std::string& winPath,
                      std::string* error) = 0;
  // Lets `ms` milliseconds pass and prints the window messages the script's
  // windows received meanwhile.
  virtual void Wait(unsigned ms, std::ostream& out) = 0;
  // The last error the next export call starts with.
  virtual void SetLastError(DWORD error) = 0;
  // The next start of Windows as far as removal needs it: runs the RunOnce
  // commands once (deleting each value first) and prints each. False, with
  // `error`, when they can't be run at all.
  virtual bool StartWindowsAgain(std::ostream& out, std::string* error) = 0;

  // Runs a program of the machine (a command line) and waits for it to
  // end, answering its message boxes as the host answers its own; `exit`
  // gets its exit code. False, with `error`, when it can't be started (the
  // simulated machine runs no programs).
  virtual bool RunProgram(const std::string& commandLine, DWORD* exit,
                          std::ostream& out, std::string* error) {
    (void)commandLine, (void)exit, (void)out;
    *error = "this machine runs no programs";
    return false;
  }
  // %WINDIR% and %SYSDIR% in `path` replaced by the machine's directories.
  std::string ExpandWinPath(const std::string& path);

 protected:
  virtual HWND CreateScriptWindow(long long number) = 0;

 private:
  std::map<long long, HWND> windows_;
};

struct RunOptions {
  std::string scriptName = "<stdin>";  // for messages
  std::string scriptDir = ".";         // relative !copy sources start here
  bool checkOnly = false;              // parse and check, call nothing
  bool stopOnError = false;            // stop at the first bad line
};

struct RunSummary {
  int calls = 0;     // export calls made
  int badLines = 0;  // lines refused (nothing of them ran)
  int faults = 0;    // calls that wrote past a buffer, failed host commands
  bool ok() const { return badLines == 0 && faults == 0; }
};

// Runs every line of `script`. Results go to `out`, errors to `err`.
RunSummary RunScript(std::istream& script, const ExportTable& table,
                     Machine& machine, std::ostream& out, std::ostream& err,
                     const RunOptions& options);

// "<source> = <result>" text of a result, as printed.
std::string FormatResult(const CallResult& r, const Machine& machine);

// Parses "--copy-in HOST=WIN" into its two paths.
bool SplitCopyIn(const std::string& mapping, std::string* hostPath,
                 std::string* winPath);

}  // namespace kv::host
