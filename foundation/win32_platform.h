// The platform layer on real Windows: each method calls the Win32 function of
// the same name. Built only for Windows.
#pragma once

#include "foundation/platform.h"

namespace kv {

class Win32Platform final : public Platform {
 public:
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
};

}  // namespace kv
