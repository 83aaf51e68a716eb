// The simulated Windows machine: a Platform whose registry, files, profile
// files, spooler, services and windows live in memory and in a sandbox folder.
//
// It follows Windows (not Wine) where the two differ, and records every
// operation made on it. Any operation can be made to fail on demand. Its state
// is saved as files a person can read and diff: the registry as a REGEDIT4
// .reg file, the files as a folder.
//
// Machine folder layout:
//   <dir>/machine.ini    version and machine settings
//   <dir>/registry.reg   the registry
//   <dir>/attributes.ini file attributes and placeholder files
//   <dir>/drive_c/...    C:\ (C:\WINDOWS, C:\WINDOWS\SYSTEM32 or SYSTEM, ...)
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "foundation/platform.h"

// The file is there but its content is not (Windows: an offline file).
#ifndef ERROR_FILE_OFFLINE
#define ERROR_FILE_OFFLINE 4350L
#endif

namespace kv::sim {

enum class WindowsVersion {
  Win32s,
  NT351,
  NT4,
  Win95,
  Win98,
  WinMe,
  Win2000,
  XP,
  Server2003,
  // Windows 8.1 and 10 give their own numbers only to a program whose
  // manifest declares them (as an NSIS 3 installer's does); to any other
  // they say 6.2 build 9200. Vista and 7 say the same to both.
  Vista,
  Win7,
  Win81,
  Win10,
  Win81NoManifest,
  Win10NoManifest,
};

// "win32s", "nt351", "nt40", "win95", "win98", "winme", "win2k", "winxp",
// "win2003", "vista", "win7", "win81", "win10" (Wine's spellings where Wine
// has one), "win81-nomanifest", "win10-nomanifest".
bool ParseWindowsVersion(const std::string& text, WindowsVersion* out);
const char* WindowsVersionName(WindowsVersion v);
bool IsWin9x(WindowsVersion v);
// Vista and later: profiles below C:\Users.
bool IsVistaOrLater(WindowsVersion v);
// 2000, XP, 2003 and everything later of the NT family.
bool IsNt5OrLater(WindowsVersion v);

// Less-than without regard to ASCII case: the registry's and the file
// system's name order.
struct CaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};
bool EqualNoCase(const std::string& a, const std::string& b);

// A registry value: type and raw bytes, as RegSetValueExA stored them.
struct RegValue {
  std::string name;  // original spelling
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// A registry key with its values and sub-keys.
struct RegNode {
  std::string name;  // original spelling
  std::map<std::string, RegValue, CaseLess> values;
  std::map<std::string, std::unique_ptr<RegNode>, CaseLess> subkeys;
  bool deleted = false;  // an open handle keeps a deleted node alive

  RegNode() = default;
  RegNode(const RegNode&) = delete;
  RegNode& operator=(const RegNode&) = delete;
  // Takes the sub-keys apart without recursion: a tree can be deeper than
  // the stack (sim/registry.cpp).
  ~RegNode();
};

// One recorded message box.
struct MessageBoxRecord {
  HWND owner;
  std::string text;
  std::string caption;
  UINT type;
  int answer;
};

// One recorded sent or posted window message.
struct MessageRecord {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool posted;
};

// A failure to inject: the named operation fails with `error` after `skip`
// successful calls, `count` times (-1: always).
struct InjectedFailure {
  std::string operation;
  DWORD error;
  int skip;
  int count;
};

class SimPlatform : public Platform {
 public:
  // A fresh machine of version `v` whose C:\ lives in `machineDir`/drive_c
  // (created when missing). Windows, system directory, win.ini, system.ini
  // and the registry skeleton of the version are laid out.
  SimPlatform(WindowsVersion v, const std::string& machineDir);
  ~SimPlatform() override;

  // ---- Machine settings ----------------------------------------------------
  WindowsVersion version() const { return version_; }
  // Overrides the version record (platform, major, minor, build, CSD text).
  // A CSD text of 128 characters or more fills the field with no end, as a
  // damaged record would.
  void SetVersionRecord(DWORD platform, DWORD major, DWORD minor, DWORD build,
                        const std::string& csd = "");
  // Writes the NEC PC-98 lines into [boot.description] of system.ini
  // (keyboard.typ and system.drv beginning with "NEC"), or PC/AT lines.
  void SetPC98(bool nec);
  // The system code page: 1252 (single byte) or 932 (Shift-JIS lead bytes).
  void SetCodePage(UINT codePage) { codePage_ = codePage; }
  UINT codePage() const { return codePage_; }
  // The BIOS data area words (offset within segment 0x40).
  void SetBiosDataWord(DWORD offset, WORD value) { bios_[offset] = value; }
  // Free and total bytes of drive C:.
  void SetDiskSpace(unsigned long long freeBytes,
                    unsigned long long totalBytes);
  // Adds `path` to the files Windows' file protection guards (versions that
  // have it: Me, 2000 and later). Their own system files are guarded from
  // the start (sim/sfc.cpp).
  void ProtectFile(const std::string& path);

  // ---- Files ----------------------------------------------------------------
  const std::string& machineDir() const { return machineDir_; }
  // The host path of a Windows path (C:\... or a bare name relative to the
  // current directory C:\), matched component by component without regard to
  // case; components that don't exist yet keep the given spelling. Empty when
  // the path is not on drive C:.
  std::string HostPath(const std::string& winPath) const;
  // A file held open by another process: deleting, replacing or moving it
  // fails with ERROR_SHARING_VIOLATION.
  void SetFileInUse(const std::string& winPath, bool inUse);
  bool IsFileInUse(const std::string& winPath) const;
  // A placeholder: an existing file whose size (and times) are real but whose
  // content was never captured, as a capture of a customer's machine lists
  // most files. Nothing reads or updates it: opening it for reading, or for
  // writing without truncating it, and every profile or LZ read of it fail
  // with ERROR_FILE_OFFLINE. Replacing it (CREATE_ALWAYS, TRUNCATE_EXISTING,
  // a copy of an ordinary file over it) makes it ordinary; a copy of it is a
  // placeholder too; a move takes the mark along; a delete drops it. Kept in
  // attributes.ini. A path that names no file is not marked.
  void MarkPlaceholder(const std::string& winPath);
  bool IsPlaceholder(const std::string& winPath) const;
  // Convenience for tests: writes a file (creating parent folders).
  bool WriteTextFile(const std::string& winPath, const std::string& content);
  bool ReadTextFile(const std::string& winPath, std::string* content) const;
  // Keeps the attributes (and the placeholder mark) of a file or folder the
  // caller has just made on the drive, named by its key (ResolvedPath::key),
  // without resolving it again: a capture's load makes 100,000 of them.
  void RecordMadeFile(const std::string& key, DWORD attributes,
                      bool placeholder);
  // Copies a file or folder of this computer to `winPath` file by file,
  // each name resolved as the machine resolves it (so never through a link
  // of the drive), making missing folders; a link, FIFO or device below
  // `hostPath` is refused. False with `why` set; what was copied stays.
  bool CopyIn(const std::string& hostPath, const std::string& winPath,
              std::string* why);
  // The folder `winPath` and the missing ones above it.
  bool PlaceFolder(const std::string& winPath, std::string* why);
  // The host file `hostPath` copied over (or to) the machine's `winPath`.
  bool PlaceHostFile(const std::string& hostPath, const std::string& winPath,
                     std::string* why);
  std::string windowsDir() const;  // "C:\WINDOWS"
  // Other Windows and system directories than the version's (a captured
  // machine's, "C:\WINNT" say); empty keeps the version's. Kept with the
  // machine.
  void SetDirectories(const std::string& windows, const std::string& system);
  // Times a profile file was parsed: a read of a file unchanged since the
  // last one reuses its parse (sim/profile.cpp).
  size_t ProfileParses();
  std::string systemDir() const;  // "C:\WINDOWS\SYSTEM32" or "...\SYSTEM"
  // The installing user's application data folder, the "AppData" value of
  // the user's shell folders: "C:\WINDOWS\Application Data" on Windows 9x,
  // "C:\WINDOWS\Profiles\Administrator\Application Data" on NT 3.51 and
  // 4.0, "C:\Documents and Settings\Administrator\Application Data" on 2000,
  // XP and 2003, "C:\Users\Administrator\AppData\Roaming" on Vista and
  // later; empty on Win32s, which has no shell folders.
  std::string appDataDir() const;

  // ---- Windows and message boxes ------------------------------------------
  // Answers for the next message boxes, in order. Without a queued answer a
  // box answers its first button (IDOK, IDYES, ...).
  void QueueMessageBoxAnswer(int answer);
  const std::vector<MessageBoxRecord>& messageBoxes() const {
    return messageBoxes_;
  }
  const std::vector<MessageRecord>& messages() const { return messages_; }
  // A window of the simulated desktop (for owner and dialog arguments).
  HWND CreateWindowHandle(const std::string& name);
  bool IsWindowEnabled(HWND window) const;
  HWND focus() const { return focus_; }

  // ---- Programs -------------------------------------------------------------
  // A program the machine can start. CreateProcessA or WinExec of a command
  // line whose program file (matched by file name, without regard to case)
  // was registered runs `body` with the machine and the command line at once;
  // its result is the exit code. A program file that exists but has no body
  // starts and does nothing; a missing one fails with ERROR_FILE_NOT_FOUND.
  using ProgramBody =
      std::function<DWORD(SimPlatform&, const std::string& commandLine)>;
  void RegisterProgram(const std::string& fileName, ProgramBody body);
  struct ProcessRecord {
    std::string application;
    std::string commandLine;
    std::string directory;
  };
  // Every process started, in order.
  const std::vector<ProcessRecord>& processes();

  // ---- Ports (sim/ports.cpp) ------------------------------------------------
  // Ports belong to installed monitors (a Monitors\<name> key with a
  // "Driver" value): "Local Port" has COM1:..COM4:, FILE: and LPT1:..LPT3:
  // built in plus those added to it; every other monitor has the sub-keys of
  // its Monitors\<name>\Ports key, as Windows' network monitors keep them.
  // What a monitor's add-port dialog does when AddPortA next opens one, in
  // order. Without a scripted answer the user cancels.
  enum class AddPortAnswer {
    AddPort,     // adds `portName` (the Ports key of a network monitor)
    AddNothing,  // closes with OK, nothing added: TRUE
    Cancel,      // FALSE, ERROR_CANCELLED
  };
  void QueueAddPortDialog(AddPortAnswer answer,
                          const std::string& portName = std::string());
  struct PortDialogRecord {
    std::string monitor;
    HWND parent;
    bool parentEnabled;  // the parent's state while the dialog was up
  };
  // Every add-port dialog opened, in order.
  const std::vector<PortDialogRecord>& portDialogs();
  // Whether an installed monitor has a port of this name (case ignored).
  bool HasPort(const std::string& name);

  // ---- Operation record and failure injection ------------------------------
  // Every platform call appends one line: Name(arguments) = result.
  const std::vector<std::string>& operations() const { return operations_; }
  void ClearOperations() { operations_.clear(); }
  // Also writes each line to `out` as it happens (the host's --trace).
  void SetTraceStream(std::ostream* out) { traceOut_ = out; }
  // Count of recorded calls of `name`.
  size_t CountOperations(const std::string& name) const;
  void FailOperation(const std::string& name, DWORD error, int skip = 0,
                     int count = 1);
  // Global and Local blocks not yet freed (a leak shows as non-zero).
  size_t LiveGlobalBlocks() const { return globals_.size(); }
  size_t LiveLocalBlocks() const { return locals_.size(); }
  // Registry key and CreateFileA handles not yet closed.
  size_t OpenKeyHandles() const { return openKeys_.size(); }
  size_t OpenFileHandles() const { return files_.size(); }
  // The ExitWindowsEx flags asked for so far, in order.
  const std::vector<UINT>& exitRequests() const { return exitRequests_; }
  struct RestartRequest {
    UINT flags;
    DWORD reason;
    // Whether the shutdown privilege was enabled in the process token (by
    // AdjustTokenPrivileges) when the request was made.
    bool shutdownPrivilegeEnabled;
  };
  // Every ExitWindowsEx request, in order; nothing is ever shut down.
  const std::vector<RestartRequest>& restartRequests() const {
    return restartRequests_;
  }
  void ClearFailures() { failures_.clear(); }
  // Makes procedure `proc` of a library file named `fileName` (no folder;
  // any letter case) a native function of the test: the machine runs no
  // other code, so without this every GetProcAddress fails. The library
  // must still exist as a file to load.
  void ProvideProcedure(const std::string& fileName, const std::string& proc,
                        FARPROC fn);

  // ---- Virtual clock -------------------------------------------------------
  // Milliseconds since the machine started; Sleep advances it at once.
  DWORD now() const { return clockMs_; }
  // Called with the new time after every Sleep (tests use it to move
  // services through their states).
  void OnSleep(std::function<void(DWORD)> hook) {
    sleepHook_ = std::move(hook);
  }

  // ---- Threads (sim/threads.cpp) -------------------------------------------
  // CreateThread starts real threads, but the machine runs them one at a
  // time, like a single processor that switches only at waits: a thread runs
  // until it sleeps (Sleep, or WaitForSingleObject on a thread) or ends, and
  // then the thread due first on the virtual clock runs. The clock moves only
  // when every thread of the machine waits, so a test of a background thread
  // is deterministic: ties go to the thread that began waiting first, and a
  // Sleep(0) with no other thread due costs 0.1 ms (a spinning thread lets
  // time pass). Threads the machine did not start count as its first
  // thread. The last error is kept per thread. Threads still alive when the
  // machine goes are ended at their wait (their stacks unwound).
  // Threads started and not yet ended.
  size_t LiveThreads();
  // Thread handles not yet closed.
  size_t OpenThreadHandles();
  // Event handles (CreateEventA, unnamed only) not yet closed. A wait on an
  // event is a wait like Sleep: SetEvent makes its waiters due at once.
  size_t OpenEventHandles();

  // ---- Shell browsing (sim/shell.cpp) --------------------------------------
  // The user's answers to the next browse dialogs, in order: an item whose
  // path is `path` (empty: an item without a file-system path, such as a
  // printer; a path is cut to MAX_PATH - 1 characters), or Cancel. Without a
  // queued answer the user cancels.
  void QueueBrowseChoice(const std::string& path);
  void QueueBrowseCancel();
  struct BrowseRecord {
    HWND owner;
    uintptr_t root;  // pidlRoot as given
    int rootFolder;  // its special folder (SHGetSpecialFolderLocation), or -1
    std::string title;
    UINT flags;
    bool displayName;  // a display-name buffer was given
    bool callback;     // a callback was given
  };
  // Every browse dialog shown, in order.
  const std::vector<BrowseRecord>& browses();
  // Item lists handed out and not yet freed (a leak shows as non-zero).
  size_t LiveItemLists();

  // ---- State ---------------------------------------------------------------
  // The registry as REGEDIT4 text, keys in sorted order.
  std::string ExportRegistry() const;
  // Merges REGEDIT4 (or version 5.00) text into the registry. False for
  // text the machine would not have saved: a key deeper than Windows'
  // 512 levels, a key name past 255 bytes, or keys whose saved form would
  // pass registry.reg's bound.
  bool ImportRegistry(const std::string& text);
  // Writes machine.ini and registry.reg into the machine folder, never
  // through a link; false (nothing written) when a text of the version
  // record or the folders holds a control byte, which would not read back.
  bool SaveState() const;
  // Reads them back (a machine saved earlier). False when missing or bad,
  // with `why` naming the file and the reason: a state file or drive_c
  // that is a link, a FIFO or a device, or one past its bound.
  bool LoadState(std::string* why = nullptr);
  // Windows' own limits on a key: its depth and the length of its name.
  static constexpr size_t kMaxKeyDepth = 512;
  static constexpr size_t kMaxKeyNameLength = 255;

  // Direct registry access for tests and for the simulated spooler: the node
  // at `path` under `root` ("HKEY_LOCAL_MACHINE" style root names accepted by
  // ParseRoot), or null.
  RegNode* FindKey(HKEY root, const std::string& path) const;
  RegNode* CreateKeyPath(HKEY root, const std::string& path);
  // CreateKeyPath within Windows' limits, adding what each new key takes
  // when saved to `savedBytes`; null past a limit.
  RegNode* CreateImportedKey(HKEY root, const std::string& path,
                             size_t* savedBytes);

  // ---- Platform
  // --------------------------------------------------------------
  BOOL GetVersionExA(LPOSVERSIONINFOA info) override;
  DWORD GetLastError() override;
  void SetLastError(DWORD error) override;
  DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId,
                       DWORD languageId, LPSTR buffer, DWORD size) override;
  HLOCAL LocalFree(HLOCAL mem) override;
  HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) override;
  LPVOID GlobalLock(HGLOBAL mem) override;
  BOOL GlobalUnlock(HGLOBAL mem) override;
  HGLOBAL GlobalFree(HGLOBAL mem) override;
  DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR deflt,
                                 LPSTR out, DWORD size, LPCSTR file) override;
  UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT deflt,
                             LPCSTR file) override;
  DWORD GetPrivateProfileSectionA(LPCSTR section, LPSTR out, DWORD size,
                                  LPCSTR file) override;
  BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value,
                                  LPCSTR file) override;
  DWORD GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR deflt, LPSTR out,
                          DWORD size) override;
  BOOL WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value) override;
  LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM sam,
                     PHKEY result) override;
  LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) override;
  LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR cls,
                       DWORD options, REGSAM sam,
                       LPSECURITY_ATTRIBUTES security, PHKEY result,
                       LPDWORD disposition) override;
  LONG RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result) override;
  LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type,
                        LPBYTE data, LPDWORD size) override;
  LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                      const BYTE* data, DWORD size) override;
  LONG RegDeleteValueA(HKEY key, LPCSTR name) override;
  LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD size) override;
  LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize,
                     LPDWORD reserved, LPSTR cls, LPDWORD clsSize,
                     FILETIME* lastWrite) override;
  LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize,
                     LPDWORD reserved, LPDWORD type, LPBYTE data,
                     LPDWORD dataSize) override;
  LONG RegQueryInfoKeyA(HKEY key, LPSTR cls, LPDWORD clsSize, LPDWORD reserved,
                        LPDWORD subKeys, LPDWORD maxSubKeyLen,
                        LPDWORD maxClassLen, LPDWORD values,
                        LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                        LPDWORD securityBytes, FILETIME* lastWrite) override;
  LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) override;
  LONG RegCloseKey(HKEY key) override;
  BOOL AddMonitorA(LPCSTR server, DWORD level, LPBYTE info) override;
  BOOL DeleteMonitorA(LPCSTR server, LPCSTR environment, LPCSTR name) override;
  BOOL EnumMonitorsA(LPCSTR server, DWORD level, LPBYTE buffer, DWORD size,
                     LPDWORD needed, LPDWORD returned) override;
  BOOL AddPrintProcessorA(LPCSTR server, LPCSTR environment, LPCSTR file,
                          LPCSTR name) override;
  BOOL AddPrinterDriverA(LPCSTR server, DWORD level, LPBYTE info) override;
  BOOL DeletePrinterDriverA(LPCSTR server, LPCSTR environment,
                            LPCSTR name) override;
  BOOL GetPrinterDriverA(HANDLE printer, LPCSTR environment, DWORD level,
                         LPBYTE buffer, DWORD size, LPDWORD needed) override;
  BOOL EnumPrinterDriversA(LPCSTR server, LPCSTR environment, DWORD level,
                           LPBYTE buffer, DWORD size, LPDWORD needed,
                           LPDWORD returned) override;
  BOOL EnumPrintProcessorsA(LPCSTR server, LPCSTR environment, DWORD level,
                            LPBYTE buffer, DWORD size, LPDWORD needed,
                            LPDWORD returned) override;
  BOOL GetPrinterDriverDirectoryA(LPCSTR server, LPCSTR environment,
                                  DWORD level, LPBYTE buffer, DWORD size,
                                  LPDWORD needed) override;
  BOOL AddPortA(LPCSTR server, HWND window, LPCSTR monitor) override;
  BOOL DeletePortA(LPCSTR server, HWND window, LPCSTR port) override;
  BOOL EnumPortsA(LPCSTR server, DWORD level, LPBYTE buffer, DWORD size,
                  LPDWORD needed, LPDWORD returned) override;
  BOOL EnumPrintersA(DWORD flags, LPCSTR name, DWORD level, LPBYTE buffer,
                     DWORD size, LPDWORD needed, LPDWORD returned) override;
  HANDLE AddPrinterA(LPCSTR server, DWORD level, LPBYTE info) override;
  BOOL OpenPrinterA(LPCSTR name, LPHANDLE printer,
                    LPPRINTER_DEFAULTSA defaults) override;
  BOOL GetPrinterA(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size,
                   LPDWORD needed) override;
  BOOL SetPrinterA(HANDLE printer, DWORD level, LPBYTE info,
                   DWORD command) override;
  LONG DocumentPropertiesA(HWND window, HANDLE printer, LPCSTR device,
                           PDEVMODEA out, PDEVMODEA in, DWORD mode) override;
  BOOL DeletePrinter(HANDLE printer) override;
  BOOL ClosePrinter(HANDLE printer) override;
  SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database,
                           DWORD access) override;
  SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) override;
  SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR display,
                           DWORD access, DWORD type, DWORD start,
                           DWORD errorControl, LPCSTR binaryPath,
                           LPCSTR loadOrderGroup, LPDWORD tag,
                           LPCSTR dependencies, LPCSTR account,
                           LPCSTR password) override;
  BOOL DeleteService(SC_HANDLE service) override;
  BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) override;
  BOOL ControlService(SC_HANDLE service, DWORD control,
                      LPSERVICE_STATUS status) override;
  BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) override;
  BOOL QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config,
                           DWORD size, LPDWORD needed) override;
  BOOL CloseServiceHandle(SC_HANDLE handle) override;
  BOOL OpenProcessToken(HANDLE process, DWORD access, LPHANDLE token) override;
  BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) override;
  BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                             PTOKEN_PRIVILEGES state, DWORD size,
                             PTOKEN_PRIVILEGES previous,
                             LPDWORD needed) override;
  BOOL ExitWindowsEx(UINT flags, DWORD reason) override;
  HANDLE GetCurrentProcess() override;
  UINT GetWindowsDirectoryA(LPSTR out, UINT size) override;
  UINT GetSystemDirectoryA(LPSTR out, UINT size) override;
  BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) override;
  BOOL DeleteFileA(LPCSTR path) override;
  BOOL MoveFileA(LPCSTR from, LPCSTR to) override;
  DWORD GetFileAttributesA(LPCSTR path) override;
  BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) override;
  BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security) override;
  BOOL RemoveDirectoryA(LPCSTR path) override;
  HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share,
                     LPSECURITY_ATTRIBUTES security, DWORD creation,
                     DWORD flags, HANDLE templateFile) override;
  BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
                LPVOID overlapped) override;
  BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                 LPVOID overlapped) override;
  DWORD GetFileSize(HANDLE file, LPDWORD high) override;
  DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh,
                       DWORD method) override;
  BOOL GetFileInformationByHandle(HANDLE file,
                                  LPBY_HANDLE_FILE_INFORMATION info) override;
  DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR out,
                         LPSTR* filePart) override;
  DWORD GetShortPathNameA(LPCSTR path, LPSTR out, DWORD size) override;
  BOOL CloseHandle(HANDLE handle) override;
  HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) override;
  BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) override;
  BOOL FindClose(HANDLE find) override;
  BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster,
                         LPDWORD bytesPerSector, LPDWORD freeClusters,
                         LPDWORD totalClusters) override;
  BOOL GetDiskFreeSpaceExA(LPCSTR dir, PULARGE_INTEGER freeToCaller,
                           PULARGE_INTEGER total,
                           PULARGE_INTEGER totalFree) override;
  BOOL SfcIsFileProtected(HANDLE rpc, LPCSTR path) override;
  INT LZOpenFileA(LPCSTR path, LPOFSTRUCT of, WORD style) override;
  LONG LZCopy(INT from, INT to) override;
  void LZClose(INT file) override;
  BOOL CreateProcessA(LPCSTR application, LPSTR commandLine,
                      LPSECURITY_ATTRIBUTES processSecurity,
                      LPSECURITY_ATTRIBUTES threadSecurity, BOOL inherit,
                      DWORD flags, LPVOID environment, LPCSTR directory,
                      LPSTARTUPINFOA startup,
                      LPPROCESS_INFORMATION info) override;
  UINT WinExec(LPCSTR commandLine, UINT show) override;
  DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override;
  HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                      LPTHREAD_START_ROUTINE start, LPVOID parameter,
                      DWORD flags, LPDWORD threadId) override;
  void Sleep(DWORD milliseconds) override;
  HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset,
                      BOOL initialState, LPCSTR name) override;
  BOOL SetEvent(HANDLE event) override;
  DWORD GetTickCount() override;
  HMODULE LoadLibraryA(LPCSTR file) override;
  FARPROC GetProcAddress(HMODULE module, LPCSTR name) override;
  BOOL FreeLibrary(HMODULE module) override;
  int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) override;
  LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam,
                       LPARAM lParam) override;
  BOOL PostMessageA(HWND window, UINT message, WPARAM wParam,
                    LPARAM lParam) override;
  BOOL EnableWindow(HWND window, BOOL enable) override;
  HWND SetFocus(HWND window) override;
  UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse,
                    TIMERPROC proc) override;
  BOOL KillTimer(HWND window, UINT_PTR id) override;
  LPSTR CharPrevA(LPCSTR start, LPCSTR current) override;
  BOOL IsDBCSLeadByte(BYTE c) override;
  int lstrcmpiA(LPCSTR a, LPCSTR b) override;
  int AddFontResourceA(LPCSTR file) override;
  BOOL RemoveFontResourceA(LPCSTR file) override;
  LONG OleInitialize(LPVOID reserved) override;
  void OleUninitialize() override;
  LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info) override;
  BOOL SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path) override;
  void SHFreeItemList(LPITEMIDLIST list) override;
  LONG SHGetSpecialFolderLocation(HWND owner, int folder,
                                  LPITEMIDLIST* list) override;
  WORD ReadBiosDataWord(DWORD offset) override;

 protected:
  // Records one operation line "Name(args)" and returns the injected error
  // for `name`, or 0 when the call should run. Implementation files call it at
  // the top of each method; on a non-zero result the method returns its
  // Windows failure value (FALSE / NULL / INVALID_HANDLE_VALUE / the error code
  // for Reg*). Enter has already set the last error to the injected error and
  // marked the line " = injected <error>". `args` is free text, by convention
  // the key arguments separated by ", " with strings quoted (see ArgText in
  // sim/sim_internal.h).
  DWORD Enter(const char* name, const std::string& args = std::string());
  // Appends a line to the record (and the trace stream) as it stands.
  void Record(const std::string& line);
  // Appends " = <result>" to the last recorded line (optional detail).
  void RecordResult(const std::string& result);
  // Fails the running call because its file is a placeholder (see
  // MarkPlaceholder): the last error becomes ERROR_FILE_OFFLINE and the
  // call's line, record index `line` (the last line when npos), ends
  // " = <result>  error 4350 (placeholder: content not captured)", so that a
  // reader of the record or the trace sees why the call failed.
  void RefuseOffline(const std::string& result,
                     size_t line = std::string::npos);
  // A fresh handle value, distinct from every other handle of the machine.
  uintptr_t NewHandle() { return nextHandle_ += 4; }
  // Takes the existing sub-key `name` of `parent` out of the registry with
  // everything below it, as RegDeleteKey does: the tree is marked deleted and
  // kept alive while an open handle still reaches into it (sim/registry.cpp).
  void RemoveTree(RegNode* parent, const std::string& name);

 private:
  friend struct SimAccess;
  struct OpenKey {
    RegNode* node;
    std::string path;                // full path from the root, for tracing
    REGSAM access = KEY_ALL_ACCESS;  // checked on the NT family only
  };
  // An open host file (sim/file_handles.cpp; complete here so that the
  // destructor, defined elsewhere, can delete one).
  struct FileHandle {
    int fd = -1;
    std::string key;  // upper-cased Windows path
    bool canRead = false;
    bool canWrite = false;
    ~FileHandle();  // closes fd
  };
  struct GlobalBlock {
    std::vector<BYTE> bytes;
    int locks = 0;
  };

  void LayOutMachine();
  // Writes the file attribute records kept in memory (sim/drive.cpp).
  void FlushFileState();
  // C:\ folders, win.ini and system.ini of the version (sim/drive.cpp).
  void LayOutFiles();
  RegNode* RootNode(HKEY root) const;
  RegNode* ResolveHandle(HKEY key) const;
  // Empty roots of the version (HKEY_DYN_DATA on 9x only); closes all keys.
  void ResetRegistry();
  // The virtual clock's part of Sleep (sim/threads.cpp): advances the clock,
  // or, while other threads live, waits for this thread's turn.
  void SleepOnClock(DWORD milliseconds);

  WindowsVersion version_;
  OSVERSIONINFOA versionRecord_{};
  std::string windowsDir_, systemDir_;       // SetDirectories
  std::vector<std::string> protectedFiles_;  // upper case, ProtectFile
  std::string machineDir_;
  UINT codePage_ = 1252;
  bool pc98_ = false;  // as SetPC98 last set it
  std::map<DWORD, WORD> bios_;
  unsigned long long diskFree_ = 2ull << 30;
  unsigned long long diskTotal_ = 4ull << 30;

  DWORD lastError_ = 0;  // one simulated thread: the caller's
  DWORD clockMs_ = 0;
  std::function<void(DWORD)> sleepHook_;

  // Registry: one tree per predefined root.
  std::map<uintptr_t, std::unique_ptr<RegNode>> roots_;
  std::map<uintptr_t, OpenKey> openKeys_;
  uintptr_t nextHandle_ = 0x1000;

  std::map<uintptr_t, std::unique_ptr<GlobalBlock>> globals_;
  std::map<uintptr_t, std::unique_ptr<std::vector<BYTE>>> locals_;
  std::vector<UINT> exitRequests_;
  std::vector<RestartRequest> restartRequests_;
  std::set<std::string> filesInUse_;  // upper-cased Windows paths
  std::map<uintptr_t, std::unique_ptr<FileHandle>> files_;

  std::deque<int> messageBoxAnswers_;
  std::vector<MessageBoxRecord> messageBoxes_;
  std::vector<MessageRecord> messages_;
  std::map<uintptr_t, bool> windows_;  // handle -> enabled
  HWND focus_ = nullptr;

  std::vector<std::string> operations_;
  std::ostream* traceOut_ = nullptr;
  std::vector<InjectedFailure> failures_;
  std::map<std::string, int> callCounts_;

  // Spooler, services and processes keep their state in extension records
  // owned by their implementation files (sim/ports.cpp, sim/services.cpp,
  // ...), so each area can grow without touching this header.
 public:
  struct Extension {
    virtual ~Extension() = default;
  };
  // The extension record stored under `key`, created by `make` on first use.
  template <typename T>
  T& extension(const char* key) {
    auto& slot = extensions_[key];
    if (!slot) slot = std::make_unique<T>();
    return static_cast<T&>(*slot);
  }

 private:
  std::map<std::string, std::unique_ptr<Extension>> extensions_;
};

}  // namespace kv::sim
