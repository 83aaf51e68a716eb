#include "foundation/win32_platform.h"

namespace kv {
namespace {

// The Win32 headers take non-const strings where the function only reads.
inline LPSTR W(LPCSTR s) { return const_cast<LPSTR>(s); }
template <typename T>
inline T W(T v) {
  return v;
}

}  // namespace

BOOL Win32Platform::GetVersionExA(LPOSVERSIONINFOA info) {
  return ::GetVersionExA(W(info));
}

DWORD Win32Platform::GetLastError() { return ::GetLastError(); }

void Win32Platform::SetLastError(DWORD error) { ::SetLastError(W(error)); }

HLOCAL Win32Platform::LocalFree(HLOCAL mem) { return ::LocalFree(W(mem)); }

HGLOBAL Win32Platform::GlobalAlloc(UINT flags, SIZE_T bytes) {
  return ::GlobalAlloc(W(flags), W(bytes));
}

LPVOID Win32Platform::GlobalLock(HGLOBAL mem) { return ::GlobalLock(W(mem)); }

BOOL Win32Platform::GlobalUnlock(HGLOBAL mem) { return ::GlobalUnlock(W(mem)); }

HGLOBAL Win32Platform::GlobalFree(HGLOBAL mem) { return ::GlobalFree(W(mem)); }

DWORD Win32Platform::GetPrivateProfileStringA(LPCSTR section, LPCSTR key,
                                              LPCSTR deflt, LPSTR out,
                                              DWORD size, LPCSTR file) {
  return ::GetPrivateProfileStringA(W(section), W(key), W(deflt), W(out),
                                    W(size), W(file));
}

UINT Win32Platform::GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT deflt,
                                          LPCSTR file) {
  return ::GetPrivateProfileIntA(W(section), W(key), W(deflt), W(file));
}

DWORD Win32Platform::GetPrivateProfileSectionA(LPCSTR section, LPSTR out,
                                               DWORD size, LPCSTR file) {
  return ::GetPrivateProfileSectionA(W(section), W(out), W(size), W(file));
}

BOOL Win32Platform::WritePrivateProfileStringA(LPCSTR section, LPCSTR key,
                                               LPCSTR value, LPCSTR file) {
  return ::WritePrivateProfileStringA(W(section), W(key), W(value), W(file));
}

DWORD Win32Platform::GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR deflt,
                                       LPSTR out, DWORD size) {
  return ::GetProfileStringA(W(section), W(key), W(deflt), W(out), W(size));
}

BOOL Win32Platform::WriteProfileStringA(LPCSTR section, LPCSTR key,
                                        LPCSTR value) {
  return ::WriteProfileStringA(W(section), W(key), W(value));
}

LONG Win32Platform::RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options,
                                  REGSAM sam, PHKEY result) {
  return ::RegOpenKeyExA(W(key), W(subKey), W(options), W(sam), W(result));
}

LONG Win32Platform::RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
  return ::RegOpenKeyA(W(key), W(subKey), W(result));
}

LONG Win32Platform::RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved,
                                    LPSTR cls, DWORD options, REGSAM sam,
                                    LPSECURITY_ATTRIBUTES security,
                                    PHKEY result, LPDWORD disposition) {
  return ::RegCreateKeyExA(W(key), W(subKey), W(reserved), W(cls), W(options),
                           W(sam), W(security), W(result), W(disposition));
}

LONG Win32Platform::RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
  return ::RegCreateKeyA(W(key), W(subKey), W(result));
}

LONG Win32Platform::RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved,
                                     LPDWORD type, LPBYTE data, LPDWORD size) {
  return ::RegQueryValueExA(W(key), W(name), W(reserved), W(type), W(data),
                            W(size));
}

LONG Win32Platform::RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved,
                                   DWORD type, const BYTE* data, DWORD size) {
  return ::RegSetValueExA(W(key), W(name), W(reserved), W(type), W(data),
                          W(size));
}

LONG Win32Platform::RegDeleteValueA(HKEY key, LPCSTR name) {
  return ::RegDeleteValueA(W(key), W(name));
}

LONG Win32Platform::RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD size) {
  return ::RegEnumKeyA(W(key), W(index), W(name), W(size));
}

LONG Win32Platform::RegEnumKeyExA(HKEY key, DWORD index, LPSTR name,
                                  LPDWORD nameSize, LPDWORD reserved, LPSTR cls,
                                  LPDWORD clsSize, FILETIME* lastWrite) {
  return ::RegEnumKeyExA(W(key), W(index), W(name), W(nameSize), W(reserved),
                         W(cls), W(clsSize), W(lastWrite));
}

LONG Win32Platform::RegEnumValueA(HKEY key, DWORD index, LPSTR name,
                                  LPDWORD nameSize, LPDWORD reserved,
                                  LPDWORD type, LPBYTE data, LPDWORD dataSize) {
  return ::RegEnumValueA(W(key), W(index), W(name), W(nameSize), W(reserved),
                         W(type), W(data), W(dataSize));
}

LONG Win32Platform::RegQueryInfoKeyA(HKEY key, LPSTR cls, LPDWORD clsSize,
                                     LPDWORD reserved, LPDWORD subKeys,
                                     LPDWORD maxSubKeyLen, LPDWORD maxClassLen,
                                     LPDWORD values, LPDWORD maxValueNameLen,
                                     LPDWORD maxValueLen, LPDWORD securityBytes,
                                     FILETIME* lastWrite) {
  return ::RegQueryInfoKeyA(W(key), W(cls), W(clsSize), W(reserved), W(subKeys),
                            W(maxSubKeyLen), W(maxClassLen), W(values),
                            W(maxValueNameLen), W(maxValueLen),
                            W(securityBytes), W(lastWrite));
}

LONG Win32Platform::RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  return ::RegDeleteKeyA(W(key), W(subKey));
}

LONG Win32Platform::RegCloseKey(HKEY key) { return ::RegCloseKey(W(key)); }

BOOL Win32Platform::AddMonitorA(LPCSTR server, DWORD level, LPBYTE info) {
  return ::AddMonitorA(W(server), W(level), W(info));
}

BOOL Win32Platform::DeleteMonitorA(LPCSTR server, LPCSTR environment,
                                   LPCSTR name) {
  return ::DeleteMonitorA(W(server), W(environment), W(name));
}

BOOL Win32Platform::EnumMonitorsA(LPCSTR server, DWORD level, LPBYTE buffer,
                                  DWORD size, LPDWORD needed,
                                  LPDWORD returned) {
  return ::EnumMonitorsA(W(server), W(level), W(buffer), W(size), W(needed),
                         W(returned));
}

BOOL Win32Platform::AddPrintProcessorA(LPCSTR server, LPCSTR environment,
                                       LPCSTR file, LPCSTR name) {
  return ::AddPrintProcessorA(W(server), W(environment), W(file), W(name));
}

BOOL Win32Platform::AddPrinterDriverA(LPCSTR server, DWORD level, LPBYTE info) {
  return ::AddPrinterDriverA(W(server), W(level), W(info));
}

BOOL Win32Platform::DeletePrinterDriverA(LPCSTR server, LPCSTR environment,
                                         LPCSTR name) {
  return ::DeletePrinterDriverA(W(server), W(environment), W(name));
}

BOOL Win32Platform::GetPrinterDriverA(HANDLE printer, LPCSTR environment,
                                      DWORD level, LPBYTE buffer, DWORD size,
                                      LPDWORD needed) {
  return ::GetPrinterDriverA(W(printer), W(environment), W(level), W(buffer),
                             W(size), W(needed));
}

BOOL Win32Platform::EnumPrinterDriversA(LPCSTR server, LPCSTR environment,
                                        DWORD level, LPBYTE buffer, DWORD size,
                                        LPDWORD needed, LPDWORD returned) {
  return ::EnumPrinterDriversA(W(server), W(environment), W(level), W(buffer),
                               W(size), W(needed), W(returned));
}

BOOL Win32Platform::EnumPrintProcessorsA(LPCSTR server, LPCSTR environment,
                                         DWORD level, LPBYTE buffer, DWORD size,
                                         LPDWORD needed, LPDWORD returned) {
  return ::EnumPrintProcessorsA(W(server), W(environment), W(level), W(buffer),
                                W(size), W(needed), W(returned));
}

BOOL Win32Platform::GetPrinterDriverDirectoryA(LPCSTR server,
                                               LPCSTR environment, DWORD level,
                                               LPBYTE buffer, DWORD size,
                                               LPDWORD needed) {
  return ::GetPrinterDriverDirectoryA(W(server), W(environment), W(level),
                                      W(buffer), W(size), W(needed));
}

BOOL Win32Platform::AddPortA(LPCSTR server, HWND window, LPCSTR monitor) {
  return ::AddPortA(W(server), W(window), W(monitor));
}

BOOL Win32Platform::DeletePortA(LPCSTR server, HWND window, LPCSTR port) {
  return ::DeletePortA(W(server), W(window), W(port));
}

BOOL Win32Platform::EnumPortsA(LPCSTR server, DWORD level, LPBYTE buffer,
                               DWORD size, LPDWORD needed, LPDWORD returned) {
  return ::EnumPortsA(W(server), W(level), W(buffer), W(size), W(needed),
                      W(returned));
}

BOOL Win32Platform::EnumPrintersA(DWORD flags, LPCSTR name, DWORD level,
                                  LPBYTE buffer, DWORD size, LPDWORD needed,
                                  LPDWORD returned) {
  return ::EnumPrintersA(W(flags), W(name), W(level), W(buffer), W(size),
                         W(needed), W(returned));
}

HANDLE Win32Platform::AddPrinterA(LPCSTR server, DWORD level, LPBYTE info) {
  return ::AddPrinterA(W(server), W(level), W(info));
}

BOOL Win32Platform::OpenPrinterA(LPCSTR name, LPHANDLE printer,
                                 LPPRINTER_DEFAULTSA defaults) {
  return ::OpenPrinterA(W(name), W(printer), W(defaults));
}

BOOL Win32Platform::GetPrinterA(HANDLE printer, DWORD level, LPBYTE buffer,
                                DWORD size, LPDWORD needed) {
  return ::GetPrinterA(W(printer), W(level), W(buffer), W(size), W(needed));
}

BOOL Win32Platform::SetPrinterA(HANDLE printer, DWORD level, LPBYTE info,
                                DWORD command) {
  return ::SetPrinterA(W(printer), W(level), W(info), W(command));
}

LONG Win32Platform::DocumentPropertiesA(HWND window, HANDLE printer,
                                        LPCSTR device, PDEVMODEA out,
                                        PDEVMODEA in, DWORD mode) {
  return ::DocumentPropertiesA(W(window), W(printer), W(device), W(out), W(in),
                               W(mode));
}

BOOL Win32Platform::DeletePrinter(HANDLE printer) {
  return ::DeletePrinter(W(printer));
}

BOOL Win32Platform::ClosePrinter(HANDLE printer) {
  return ::ClosePrinter(W(printer));
}

SC_HANDLE Win32Platform::OpenSCManagerA(LPCSTR machine, LPCSTR database,
                                        DWORD access) {
  return ::OpenSCManagerA(W(machine), W(database), W(access));
}

SC_HANDLE Win32Platform::OpenServiceA(SC_HANDLE manager, LPCSTR name,
                                      DWORD access) {
  return ::OpenServiceA(W(manager), W(name), W(access));
}

SC_HANDLE Win32Platform::CreateServiceA(
    SC_HANDLE manager, LPCSTR name, LPCSTR display, DWORD access, DWORD type,
    DWORD start, DWORD errorControl, LPCSTR binaryPath, LPCSTR loadOrderGroup,
    LPDWORD tag, LPCSTR dependencies, LPCSTR account, LPCSTR password) {
  return ::CreateServiceA(W(manager), W(name), W(display), W(access), W(type),
                          W(start), W(errorControl), W(binaryPath),
                          W(loadOrderGroup), W(tag), W(dependencies),
                          W(account), W(password));
}

BOOL Win32Platform::DeleteService(SC_HANDLE service) {
  return ::DeleteService(W(service));
}

BOOL Win32Platform::StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) {
  return ::StartServiceA(W(service), W(argc), W(argv));
}

BOOL Win32Platform::ControlService(SC_HANDLE service, DWORD control,
                                   LPSERVICE_STATUS status) {
  return ::ControlService(W(service), W(control), W(status));
}

BOOL Win32Platform::QueryServiceStatus(SC_HANDLE service,
                                       LPSERVICE_STATUS status) {
  return ::QueryServiceStatus(W(service), W(status));
}

BOOL Win32Platform::QueryServiceConfigA(SC_HANDLE service,
                                        LPQUERY_SERVICE_CONFIGA config,
                                        DWORD size, LPDWORD needed) {
  return ::QueryServiceConfigA(W(service), W(config), W(size), W(needed));
}

BOOL Win32Platform::CloseServiceHandle(SC_HANDLE handle) {
  return ::CloseServiceHandle(W(handle));
}

BOOL Win32Platform::OpenProcessToken(HANDLE process, DWORD access,
                                     LPHANDLE token) {
  return ::OpenProcessToken(W(process), W(access), W(token));
}

BOOL Win32Platform::LookupPrivilegeValueA(LPCSTR system, LPCSTR name,
                                          PLUID luid) {
  return ::LookupPrivilegeValueA(W(system), W(name), W(luid));
}

BOOL Win32Platform::AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                                          PTOKEN_PRIVILEGES state, DWORD size,
                                          PTOKEN_PRIVILEGES previous,
                                          LPDWORD needed) {
  return ::AdjustTokenPrivileges(W(token), W(disableAll), W(state), W(size),
                                 W(previous), W(needed));
}

BOOL Win32Platform::ExitWindowsEx(UINT flags, DWORD reason) {
  return ::ExitWindowsEx(W(flags), W(reason));
}

HANDLE Win32Platform::GetCurrentProcess() { return ::GetCurrentProcess(); }

UINT Win32Platform::GetWindowsDirectoryA(LPSTR out, UINT size) {
  return ::GetWindowsDirectoryA(W(out), W(size));
}

UINT Win32Platform::GetSystemDirectoryA(LPSTR out, UINT size) {
  return ::GetSystemDirectoryA(W(out), W(size));
}

BOOL Win32Platform::CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) {
  return ::CopyFileA(W(from), W(to), W(failIfExists));
}

BOOL Win32Platform::DeleteFileA(LPCSTR path) { return ::DeleteFileA(W(path)); }

BOOL Win32Platform::MoveFileA(LPCSTR from, LPCSTR to) {
  return ::MoveFileA(W(from), W(to));
}

DWORD Win32Platform::GetFileAttributesA(LPCSTR path) {
  return ::GetFileAttributesA(W(path));
}

BOOL Win32Platform::SetFileAttributesA(LPCSTR path, DWORD attributes) {
  return ::SetFileAttributesA(W(path), W(attributes));
}

BOOL Win32Platform::CreateDirectoryA(LPCSTR path,
                                     LPSECURITY_ATTRIBUTES security) {
  return ::CreateDirectoryA(W(path), W(security));
}

BOOL Win32Platform::RemoveDirectoryA(LPCSTR path) {
  return ::RemoveDirectoryA(W(path));
}

HANDLE Win32Platform::CreateFileA(LPCSTR path, DWORD access, DWORD share,
                                  LPSECURITY_ATTRIBUTES security,
                                  DWORD creation, DWORD flags,
                                  HANDLE templateFile) {
  return ::CreateFileA(W(path), W(access), W(share), W(security), W(creation),
                       W(flags), W(templateFile));
}

BOOL Win32Platform::ReadFile(HANDLE file, LPVOID buffer, DWORD toRead,
                             LPDWORD read, LPVOID overlapped) {
  return ::ReadFile(W(file), W(buffer), W(toRead), W(read),
                    static_cast<LPOVERLAPPED>(overlapped));
}

BOOL Win32Platform::WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite,
                              LPDWORD written, LPVOID overlapped) {
  return ::WriteFile(W(file), W(buffer), W(toWrite), W(written),
                     static_cast<LPOVERLAPPED>(overlapped));
}

DWORD Win32Platform::GetFileSize(HANDLE file, LPDWORD high) {
  return ::GetFileSize(W(file), W(high));
}

DWORD Win32Platform::SetFilePointer(HANDLE file, LONG distance,
                                    PLONG distanceHigh, DWORD method) {
  return ::SetFilePointer(W(file), W(distance), W(distanceHigh), W(method));
}

BOOL Win32Platform::GetFileInformationByHandle(
    HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
  return ::GetFileInformationByHandle(W(file), W(info));
}

DWORD Win32Platform::GetFullPathNameA(LPCSTR path, DWORD size, LPSTR out,
                                      LPSTR* filePart) {
  return ::GetFullPathNameA(W(path), W(size), W(out), W(filePart));
}

DWORD Win32Platform::GetShortPathNameA(LPCSTR path, LPSTR out, DWORD size) {
  return ::GetShortPathNameA(W(path), W(out), W(size));
}

BOOL Win32Platform::CloseHandle(HANDLE handle) {
  return ::CloseHandle(W(handle));
}

HANDLE Win32Platform::FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
  return ::FindFirstFileA(W(pattern), W(data));
}

BOOL Win32Platform::FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) {
  return ::FindNextFileA(W(find), W(data));
}

BOOL Win32Platform::FindClose(HANDLE find) { return ::FindClose(W(find)); }

BOOL Win32Platform::GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster,
                                      LPDWORD bytesPerSector,
                                      LPDWORD freeClusters,
                                      LPDWORD totalClusters) {
  return ::GetDiskFreeSpaceA(W(root), W(sectorsPerCluster), W(bytesPerSector),
                             W(freeClusters), W(totalClusters));
}

INT Win32Platform::LZOpenFileA(LPCSTR path, LPOFSTRUCT of, WORD style) {
  return ::LZOpenFileA(W(path), W(of), W(style));
}

LONG Win32Platform::LZCopy(INT from, INT to) {
  return ::LZCopy(W(from), W(to));
}

void Win32Platform::LZClose(INT file) { ::LZClose(W(file)); }

BOOL Win32Platform::CreateProcessA(LPCSTR application, LPSTR commandLine,
                                   LPSECURITY_ATTRIBUTES processSecurity,
                                   LPSECURITY_ATTRIBUTES threadSecurity,
                                   BOOL inherit, DWORD flags,
                                   LPVOID environment, LPCSTR directory,
                                   LPSTARTUPINFOA startup,
                                   LPPROCESS_INFORMATION info) {
  return ::CreateProcessA(W(application), W(commandLine), W(processSecurity),
                          W(threadSecurity), W(inherit), W(flags),
                          W(environment), W(directory), W(startup), W(info));
}

UINT Win32Platform::WinExec(LPCSTR commandLine, UINT show) {
  return ::WinExec(W(commandLine), W(show));
}

DWORD Win32Platform::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return ::WaitForSingleObject(W(handle), W(milliseconds));
}

HANDLE Win32Platform::CreateEventA(LPSECURITY_ATTRIBUTES security,
                                   BOOL manualReset, BOOL initialState,
                                   LPCSTR name) {
  return ::CreateEventA(W(security), W(manualReset), W(initialState), W(name));
}

BOOL Win32Platform::SetEvent(HANDLE event) { return ::SetEvent(W(event)); }

HANDLE Win32Platform::CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                                   LPTHREAD_START_ROUTINE start,
                                   LPVOID parameter, DWORD flags,
                                   LPDWORD threadId) {
  return ::CreateThread(W(security), W(stack), W(start), W(parameter), W(flags),
                        W(threadId));
}

void Win32Platform::Sleep(DWORD milliseconds) { ::Sleep(W(milliseconds)); }

DWORD Win32Platform::GetTickCount() { return ::GetTickCount(); }

HMODULE Win32Platform::LoadLibraryA(LPCSTR file) {
  return ::LoadLibraryA(W(file));
}

FARPROC Win32Platform::GetProcAddress(HMODULE module, LPCSTR name) {
  return ::GetProcAddress(W(module), W(name));
}

BOOL Win32Platform::FreeLibrary(HMODULE module) {
  return ::FreeLibrary(W(module));
}

int Win32Platform::MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption,
                               UINT type) {
  return ::MessageBoxA(W(owner), W(text), W(caption), W(type));
}

LRESULT Win32Platform::SendMessageA(HWND window, UINT message, WPARAM wParam,
                                    LPARAM lParam) {
  return ::SendMessageA(W(window), W(message), W(wParam), W(lParam));
}

BOOL Win32Platform::PostMessageA(HWND window, UINT message, WPARAM wParam,
                                 LPARAM lParam) {
  return ::PostMessageA(W(window), W(message), W(wParam), W(lParam));
}

BOOL Win32Platform::EnableWindow(HWND window, BOOL enable) {
  return ::EnableWindow(W(window), W(enable));
}

HWND Win32Platform::SetFocus(HWND window) { return ::SetFocus(W(window)); }

UINT_PTR Win32Platform::SetTimer(HWND window, UINT_PTR id, UINT elapse,
                                 TIMERPROC proc) {
  return ::SetTimer(W(window), W(id), W(elapse), W(proc));
}

BOOL Win32Platform::KillTimer(HWND window, UINT_PTR id) {
  return ::KillTimer(W(window), W(id));
}

LPSTR Win32Platform::CharPrevA(LPCSTR start, LPCSTR current) {
  return ::CharPrevA(W(start), W(current));
}

BOOL Win32Platform::IsDBCSLeadByte(BYTE c) { return ::IsDBCSLeadByte(W(c)); }

int Win32Platform::lstrcmpiA(LPCSTR a, LPCSTR b) {
  return ::lstrcmpiA(W(a), W(b));
}

int Win32Platform::AddFontResourceA(LPCSTR file) {
  return ::AddFontResourceA(W(file));
}

BOOL Win32Platform::RemoveFontResourceA(LPCSTR file) {
  return ::RemoveFontResourceA(W(file));
}

void Win32Platform::OleUninitialize() { ::OleUninitialize(); }

LPITEMIDLIST Win32Platform::SHBrowseForFolderA(LPBROWSEINFOA info) {
  return ::SHBrowseForFolderA(W(info));
}

BOOL Win32Platform::SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path) {
  return ::SHGetPathFromIDListA(W(list), W(path));
}

DWORD Win32Platform::FormatMessageA(DWORD flags, LPCVOID source,
                                    DWORD messageId, DWORD languageId,
                                    LPSTR buffer, DWORD size) {
  return ::FormatMessageA(flags, source, messageId, languageId, buffer, size,
                          nullptr);
}

LONG Win32Platform::OleInitialize(LPVOID reserved) {
  return static_cast<LONG>(::OleInitialize(reserved));
}

BOOL Win32Platform::GetDiskFreeSpaceExA(LPCSTR dir,
                                        PULARGE_INTEGER freeToCaller,
                                        PULARGE_INTEGER total,
                                        PULARGE_INTEGER totalFree) {
  // Windows 95 before OSR2 lacks it; importing it would stop the DLL loading.
  typedef BOOL(WINAPI * Fn)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER,
                            PULARGE_INTEGER);
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  Fn fn = kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(
                       ::GetProcAddress(kernel, "GetDiskFreeSpaceExA")))
                 : nullptr;
  if (!fn) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  return fn(dir, freeToCaller, total, totalFree);
}

BOOL Win32Platform::SfcIsFileProtected(HANDLE rpc, LPCSTR path) {
  // Windows 95, 98 and NT 4.0 have no sfc.dll; importing it would stop the
  // DLL loading there.
  typedef BOOL(WINAPI * Fn)(HANDLE, LPCWSTR);
  HMODULE sfc = ::LoadLibraryA("sfc.dll");
  Fn fn = sfc ? reinterpret_cast<Fn>(reinterpret_cast<void*>(
                    ::GetProcAddress(sfc, "SfcIsFileProtected")))
              : nullptr;
  BOOL result = FALSE;
  DWORD error = ERROR_CALL_NOT_IMPLEMENTED;
  WCHAR wide[MAX_PATH] = {};
  if (fn && !path) {
    error = ERROR_INVALID_PARAMETER;
  } else if (fn &&
             ::MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) == 0) {
    error = ::GetLastError();
  } else if (fn) {
    result = fn(rpc, wide);
    error = ::GetLastError();
  }
  if (sfc) ::FreeLibrary(sfc);
  ::SetLastError(error);
  return result;
}

LONG Win32Platform::SHGetSpecialFolderLocation(HWND owner, int folder,
                                               LPITEMIDLIST* list) {
  return static_cast<LONG>(::SHGetSpecialFolderLocation(owner, folder, list));
}

void Win32Platform::SHFreeItemList(LPITEMIDLIST list) {
  IMalloc* malloc = nullptr;
  if (SUCCEEDED(::SHGetMalloc(&malloc)) && malloc) {
    malloc->Free(list);
    malloc->Release();
  }
}

// Reading the BIOS data area: Windows 9x gives 32-bit code the real-mode
// segment 0x40 as selector 0x40. The read loads the selector into ES and
// reads one word; both steps fault where the selector means something else
// (the NT family, or a Windows that reports itself as 9x but is not). The
// read therefore runs under its own structured-exception frame, whose
// handler resumes after the read with 0. Wine emulates the selector for
// 32-bit programs (its answer at win98 is a BIOS data area of its own,
// LPT1 at 0x378); the frame makes no difference there.
#if defined(__i386__)
extern "C" {
WORD kvReadSelectorWord(DWORD selector, DWORD offset);
extern char kvSelectorReadStart[];
extern char kvSelectorReadEnd[];

EXCEPTION_DISPOSITION __cdecl kvSelectorReadHandler(EXCEPTION_RECORD* record,
                                                    void*, CONTEXT* context,
                                                    void*) {
  constexpr DWORD kUnwinding = 0x2 | 0x4;  // unwinding, exit unwind
  if (record->ExceptionFlags & kUnwinding) return ExceptionContinueSearch;
  const auto ip = static_cast<uintptr_t>(context->Eip);
  if (ip < reinterpret_cast<uintptr_t>(kvSelectorReadStart) ||
      ip >= reinterpret_cast<uintptr_t>(kvSelectorReadEnd))
    return ExceptionContinueSearch;
  context->Eip =
      static_cast<DWORD>(reinterpret_cast<uintptr_t>(kvSelectorReadEnd));
  context->Eax = 0;
  return ExceptionContinueExecution;
}
}

// cdecl WORD kvReadSelectorWord(selector, offset): registers the frame
// (handler, previous) on the stack, reads, and unlinks the frame again.
__asm__(
    ".text\n"
    ".globl _kvReadSelectorWord\n"
    "_kvReadSelectorWord:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %es\n"
    "  pushl $_kvSelectorReadHandler\n"
    "  pushl %fs:0\n"
    "  movl %esp, %fs:0\n"
    "  movl 8(%ebp), %edx\n"
    "  movl 12(%ebp), %ecx\n"
    "  xorl %eax, %eax\n"
    ".globl _kvSelectorReadStart\n"
    "_kvSelectorReadStart:\n"
    "  movw %dx, %es\n"
    "  movzwl %es:(%ecx), %eax\n"
    ".globl _kvSelectorReadEnd\n"
    "_kvSelectorReadEnd:\n"
    "  popl %ecx\n"
    "  movl %ecx, %fs:0\n"
    "  addl $4, %esp\n"
    "  popl %es\n"
    "  popl %ebp\n"
    "  ret\n");
#endif

WORD Win32Platform::ReadBiosDataWord(DWORD offset) {
  // Only Windows 9x maps the BIOS data area at selector 0x40 for 32-bit code.
  OSVERSIONINFOA v = {};
  v.dwOSVersionInfoSize = sizeof v;
  if (!::GetVersionExA(&v) || v.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS)
    return 0;
  // The data area is 256 bytes; a word must lie inside it.
  if (offset > 0xFE) return 0;
#if defined(__i386__)
  constexpr DWORD kBiosDataSelector = 0x40;
  return kvReadSelectorWord(kBiosDataSelector, offset);
#else
  return 0;
#endif
}

}  // namespace kv
