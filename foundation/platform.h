// The one seam between the library and Windows.
//
// Every operation reaches the system only through this interface. Each method
// has the Win32 function's name, arguments, result and last-error value, so a
// Windows developer can read an operation as if it called the API directly.
// Win32Platform forwards to the real functions; SimPlatform (sim/) is a
// simulated machine for the native build. Strings are 8-bit, system code page.
// Where Win32 takes a non-const string it does not modify, LPCSTR is used.
#pragma once

#include "foundation/win32.h"

namespace kv {

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Version and errors -------------------------------------------------
  virtual BOOL GetVersionExA(LPOSVERSIONINFOA info) = 0;
  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD error) = 0;
  // FORMAT_MESSAGE_ALLOCATE_BUFFER: *buffer receives a LocalAlloc'd text that
  // the caller releases with LocalFree. Returns the length, 0 on failure.
  virtual DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId,
                               DWORD languageId, LPSTR buffer, DWORD size) = 0;
  virtual HLOCAL LocalFree(HLOCAL mem) = 0;
  virtual HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) = 0;
  virtual LPVOID GlobalLock(HGLOBAL mem) = 0;
  virtual BOOL GlobalUnlock(HGLOBAL mem) = 0;
  virtual HGLOBAL GlobalFree(HGLOBAL mem) = 0;

  // --- Profile files ------------------------------------------------------
  virtual DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key,
                                         LPCSTR deflt, LPSTR out, DWORD size,
                                         LPCSTR file) = 0;
  virtual UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT deflt,
                                     LPCSTR file) = 0;
  virtual DWORD GetPrivateProfileSectionA(LPCSTR section, LPSTR out, DWORD size,
                                          LPCSTR file) = 0;
  virtual BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key,
                                          LPCSTR value, LPCSTR file) = 0;
  virtual DWORD GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR deflt,
                                  LPSTR out, DWORD size) = 0;
  // win.ini; all three null flushes the profile cache.
  virtual BOOL WriteProfileStringA(LPCSTR section, LPCSTR key,
                                   LPCSTR value) = 0;

  // --- Registry (results are Win32 error codes, 0 on success) --------------
  virtual LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM sam,
                             PHKEY result) = 0;
  virtual LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) = 0;
  virtual LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved,
                               LPSTR cls, DWORD options, REGSAM sam,
                               LPSECURITY_ATTRIBUTES security, PHKEY result,
                               LPDWORD disposition) = 0;
  virtual LONG RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result) = 0;
  virtual LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved,
                                LPDWORD type, LPBYTE data, LPDWORD size) = 0;
  virtual LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                              const BYTE* data, DWORD size) = 0;
  virtual LONG RegDeleteValueA(HKEY key, LPCSTR name) = 0;
  virtual LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD size) = 0;
  virtual LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name,
                             LPDWORD nameSize, LPDWORD reserved, LPSTR cls,
                             LPDWORD clsSize, FILETIME* lastWrite) = 0;
  virtual LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name,
                             LPDWORD nameSize, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize) = 0;
  virtual LONG RegQueryInfoKeyA(HKEY key, LPSTR cls, LPDWORD clsSize,
                                LPDWORD reserved, LPDWORD subKeys,
                                LPDWORD maxSubKeyLen, LPDWORD maxClassLen,
                                LPDWORD values, LPDWORD maxValueNameLen,
                                LPDWORD maxValueLen, LPDWORD securityBytes,
                                FILETIME* lastWrite) = 0;
  // Windows 9x deletes a key together with its sub-keys; the NT family
  // refuses a key that has sub-keys (ERROR_ACCESS_DENIED).
  virtual LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) = 0;
  virtual LONG RegCloseKey(HKEY key) = 0;

  // --- Print spooler --------------------------------------------------------
  virtual BOOL AddMonitorA(LPCSTR server, DWORD level, LPBYTE info) = 0;
  virtual BOOL DeleteMonitorA(LPCSTR server, LPCSTR environment,
                              LPCSTR name) = 0;
  virtual BOOL EnumMonitorsA(LPCSTR server, DWORD level, LPBYTE buffer,
                             DWORD size, LPDWORD needed, LPDWORD returned) = 0;
  virtual BOOL AddPrintProcessorA(LPCSTR server, LPCSTR environment,
                                  LPCSTR file, LPCSTR name) = 0;
  virtual BOOL AddPrinterDriverA(LPCSTR server, DWORD level, LPBYTE info) = 0;
  virtual BOOL DeletePrinterDriverA(LPCSTR server, LPCSTR environment,
                                    LPCSTR name) = 0;
  virtual BOOL GetPrinterDriverA(HANDLE printer, LPCSTR environment,
                                 DWORD level, LPBYTE buffer, DWORD size,
                                 LPDWORD needed) = 0;
  // Levels 1 to 3; no environment lists the machine's own.
  virtual BOOL EnumPrinterDriversA(LPCSTR server, LPCSTR environment,
                                   DWORD level, LPBYTE buffer, DWORD size,
                                   LPDWORD needed, LPDWORD returned) = 0;
  virtual BOOL EnumPrintProcessorsA(LPCSTR server, LPCSTR environment,
                                    DWORD level, LPBYTE buffer, DWORD size,
                                    LPDWORD needed, LPDWORD returned) = 0;
  virtual BOOL GetPrinterDriverDirectoryA(LPCSTR server, LPCSTR environment,
                                          DWORD level, LPBYTE buffer,
                                          DWORD size, LPDWORD needed) = 0;
  virtual BOOL AddPortA(LPCSTR server, HWND window, LPCSTR monitor) = 0;
  virtual BOOL DeletePortA(LPCSTR server, HWND window, LPCSTR port) = 0;
  virtual BOOL EnumPortsA(LPCSTR server, DWORD level, LPBYTE buffer, DWORD size,
                          LPDWORD needed, LPDWORD returned) = 0;
  virtual BOOL EnumPrintersA(DWORD flags, LPCSTR name, DWORD level,
                             LPBYTE buffer, DWORD size, LPDWORD needed,
                             LPDWORD returned) = 0;
  virtual HANDLE AddPrinterA(LPCSTR server, DWORD level, LPBYTE info) = 0;
  virtual BOOL OpenPrinterA(LPCSTR name, LPHANDLE printer,
                            LPPRINTER_DEFAULTSA defaults) = 0;
  virtual BOOL GetPrinterA(HANDLE printer, DWORD level, LPBYTE buffer,
                           DWORD size, LPDWORD needed) = 0;
  virtual BOOL SetPrinterA(HANDLE printer, DWORD level, LPBYTE info,
                           DWORD command) = 0;
  virtual LONG DocumentPropertiesA(HWND window, HANDLE printer, LPCSTR device,
                                   PDEVMODEA out, PDEVMODEA in, DWORD mode) = 0;
  virtual BOOL DeletePrinter(HANDLE printer) = 0;
  virtual BOOL ClosePrinter(HANDLE printer) = 0;

  // --- Services -------------------------------------------------------------
  virtual SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database,
                                   DWORD access) = 0;
  virtual SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name,
                                 DWORD access) = 0;
  virtual SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR name,
                                   LPCSTR display, DWORD access, DWORD type,
                                   DWORD start, DWORD errorControl,
                                   LPCSTR binaryPath, LPCSTR loadOrderGroup,
                                   LPDWORD tag, LPCSTR dependencies,
                                   LPCSTR account, LPCSTR password) = 0;
  virtual BOOL DeleteService(SC_HANDLE service) = 0;
  virtual BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) = 0;
  virtual BOOL ControlService(SC_HANDLE service, DWORD control,
                              LPSERVICE_STATUS status) = 0;
  virtual BOOL QueryServiceStatus(SC_HANDLE service,
                                  LPSERVICE_STATUS status) = 0;
  virtual BOOL QueryServiceConfigA(SC_HANDLE service,
                                   LPQUERY_SERVICE_CONFIGA config, DWORD size,
                                   LPDWORD needed) = 0;
  virtual BOOL CloseServiceHandle(SC_HANDLE handle) = 0;

  // --- Privileges and shutdown ---------------------------------------------
  virtual BOOL OpenProcessToken(HANDLE process, DWORD access,
                                LPHANDLE token) = 0;
  virtual BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name,
                                     PLUID luid) = 0;
  virtual BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                                     PTOKEN_PRIVILEGES state, DWORD size,
                                     PTOKEN_PRIVILEGES previous,
                                     LPDWORD needed) = 0;
  virtual BOOL ExitWindowsEx(UINT flags, DWORD reason) = 0;
  virtual HANDLE GetCurrentProcess() = 0;

  // --- Files and directories ------------------------------------------------
  virtual UINT GetWindowsDirectoryA(LPSTR out, UINT size) = 0;
  virtual UINT GetSystemDirectoryA(LPSTR out, UINT size) = 0;
  virtual BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) = 0;
  virtual BOOL DeleteFileA(LPCSTR path) = 0;
  virtual BOOL MoveFileA(LPCSTR from, LPCSTR to) = 0;
  virtual DWORD GetFileAttributesA(LPCSTR path) = 0;
  virtual BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) = 0;
  virtual BOOL CreateDirectoryA(LPCSTR path,
                                LPSECURITY_ATTRIBUTES security) = 0;
  virtual BOOL RemoveDirectoryA(LPCSTR path) = 0;
  virtual HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share,
                             LPSECURITY_ATTRIBUTES security, DWORD creation,
                             DWORD flags, HANDLE templateFile) = 0;
  virtual BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
                        LPVOID overlapped) = 0;
  virtual BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite,
                         LPDWORD written, LPVOID overlapped) = 0;
  virtual DWORD GetFileSize(HANDLE file, LPDWORD high) = 0;
  // The new position's low part; INVALID_SET_FILE_POINTER with the last
  // error set on failure (ERROR_NEGATIVE_SEEK before the start).
  virtual DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh,
                               DWORD method) = 0;
  // Volume serial number and file index name one file whatever path reached
  // it. Directories open only with FILE_FLAG_BACKUP_SEMANTICS on the NT
  // family; Windows 9x opens no directory.
  virtual BOOL GetFileInformationByHandle(
      HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) = 0;
  // Pure text: ".", "..", "/" and doubled separators resolved against the
  // current folder; the disk is not looked at.
  virtual DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR out,
                                 LPSTR* filePart) = 0;
  // An existing path with every component as its 8.3 alias (a component
  // without one stays as found on disk).
  virtual DWORD GetShortPathNameA(LPCSTR path, LPSTR out, DWORD size) = 0;
  virtual BOOL CloseHandle(HANDLE handle) = 0;
  virtual HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) = 0;
  virtual BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) = 0;
  virtual BOOL FindClose(HANDLE find) = 0;
  virtual BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster,
                                 LPDWORD bytesPerSector, LPDWORD freeClusters,
                                 LPDWORD totalClusters) = 0;
  // Absent on Windows 95 before OSR2: looked up at run time. When the system
  // lacks it, fails with ERROR_CALL_NOT_IMPLEMENTED.
  virtual BOOL GetDiskFreeSpaceExA(LPCSTR dir, PULARGE_INTEGER freeToCaller,
                                   PULARGE_INTEGER total,
                                   PULARGE_INTEGER totalFree) = 0;
  // Whether Windows' file protection guards `path` (sfc.dll: Windows Me,
  // 2000 and later). The path is 8-bit text in the system code page; the
  // system's call takes UTF-16, made from it. Looked up at run time: where
  // the system lacks it, FALSE with ERROR_CALL_NOT_IMPLEMENTED.
  virtual BOOL SfcIsFileProtected(HANDLE rpc, LPCSTR path) = 0;

  // --- LZ expansion ---------------------------------------------------------
  virtual INT LZOpenFileA(LPCSTR path, LPOFSTRUCT of, WORD style) = 0;
  virtual LONG LZCopy(INT from, INT to) = 0;
  virtual void LZClose(INT file) = 0;

  // --- Processes, threads, libraries ----------------------------------------
  virtual BOOL CreateProcessA(LPCSTR application, LPSTR commandLine,
                              LPSECURITY_ATTRIBUTES processSecurity,
                              LPSECURITY_ATTRIBUTES threadSecurity,
                              BOOL inherit, DWORD flags, LPVOID environment,
                              LPCSTR directory, LPSTARTUPINFOA startup,
                              LPPROCESS_INFORMATION info) = 0;
  virtual UINT WinExec(LPCSTR commandLine, UINT show) = 0;
  virtual DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) = 0;
  virtual HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                              LPTHREAD_START_ROUTINE start, LPVOID parameter,
                              DWORD flags, LPDWORD threadId) = 0;
  virtual void Sleep(DWORD milliseconds) = 0;
  virtual HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset,
                              BOOL initialState, LPCSTR name) = 0;
  virtual BOOL SetEvent(HANDLE event) = 0;
  virtual DWORD GetTickCount() = 0;
  virtual HMODULE LoadLibraryA(LPCSTR file) = 0;
  virtual FARPROC GetProcAddress(HMODULE module, LPCSTR name) = 0;
  virtual BOOL FreeLibrary(HMODULE module) = 0;

  // --- Windows and messages -------------------------------------------------
  virtual int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption,
                          UINT type) = 0;
  virtual LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam,
                               LPARAM lParam) = 0;
  virtual BOOL PostMessageA(HWND window, UINT message, WPARAM wParam,
                            LPARAM lParam) = 0;
  virtual BOOL EnableWindow(HWND window, BOOL enable) = 0;
  virtual HWND SetFocus(HWND window) = 0;
  virtual UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse,
                            TIMERPROC proc) = 0;
  virtual BOOL KillTimer(HWND window, UINT_PTR id) = 0;
  // Multibyte stepping in the system code page.
  virtual LPSTR CharPrevA(LPCSTR start, LPCSTR current) = 0;
  virtual BOOL IsDBCSLeadByte(BYTE c) = 0;
  // Case-insensitive comparison by the system's rules; <0, 0, >0.
  virtual int lstrcmpiA(LPCSTR a, LPCSTR b) = 0;

  // --- Fonts ----------------------------------------------------------------
  virtual int AddFontResourceA(LPCSTR file) = 0;
  virtual BOOL RemoveFontResourceA(LPCSTR file) = 0;

  // --- Shell ----------------------------------------------------------------
  virtual LONG OleInitialize(LPVOID reserved) = 0;
  virtual void OleUninitialize() = 0;
  virtual LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info) = 0;
  virtual BOOL SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path) = 0;
  // Frees an item list through the shell's allocator (SHGetMalloc, Free,
  // Release).
  virtual void SHFreeItemList(LPITEMIDLIST list) = 0;
  // The item list of special folder `folder` (a CSIDL_ number); the caller
  // frees it with SHFreeItemList. S_OK (0) or an error result.
  virtual LONG SHGetSpecialFolderLocation(HWND owner, int folder,
                                          LPITEMIDLIST* list) = 0;

  // --- Machine probes -------------------------------------------------------
  // The 16-bit word at `offset` of real-mode segment 0x40 (BIOS data area).
  // Readable only on Windows 9x; elsewhere the answer is 0.
  virtual WORD ReadBiosDataWord(DWORD offset) = 0;
};

}  // namespace kv
