// TracedPlatform: a Platform that forwards every call to another one and,
// while tracing, appends one line per call to a file as it happens:
//
//   RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KORVA", 0, 0x20019, &0xA8) = 0
//   RegQueryValueExA(0xA8, "Path", NULL, 0x22FD0C, NULL, 0x22FD08) = 2  error 2
//
// Strings are quoted with C escapes, null pointers are NULL, handles and
// pointers hex, a handle returned through a pointer "&<handle>"; a call
// that failed ends with the error it left (for the registry, the returned
// code). The trace changes no result and no last error a caller sees, two
// threads write whole lines, and a file that cannot be written, or that
// reached its size limit, only ends the trace.
//
// The forwarding methods are generated from KV_PLATFORM_METHODS, one entry
// per Platform method: result type, name, how the result tells failure,
// parameter declarations, the arguments passed on, the arguments shown (a
// wrapper picks hex or text where the type alone doesn't say). The class is
// final and instantiated, so a Platform method missing from the list (or one
// whose signature differs) fails the build.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/platform.h"

// clang-format off
#define KV_PLATFORM_METHODS(X)                                                 \
  X(BOOL, GetVersionExA, Bool, (LPOSVERSIONINFOA info), (info), (info))        \
  X(DWORD, GetLastError, Quiet, (), (), ())                                    \
  X(void, SetLastError, Quiet, (DWORD error), (error), (error))                \
  X(DWORD, FormatMessageA, NonZero,                                            \
    (DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,           \
     LPSTR buffer, DWORD size),                                                \
    (flags, source, messageId, languageId, buffer, size),                      \
    (Hex(flags), source, messageId, languageId, buffer, size))                 \
  X(HLOCAL, LocalFree, Freed, (HLOCAL mem), (mem), (mem))                      \
  X(HGLOBAL, GlobalAlloc, NonZero, (UINT flags, SIZE_T bytes), (flags, bytes), \
    (Hex(flags), bytes))                                                       \
  X(LPVOID, GlobalLock, NonZero, (HGLOBAL mem), (mem), (mem))                  \
  X(BOOL, GlobalUnlock, Never, (HGLOBAL mem), (mem), (mem))                    \
  X(HGLOBAL, GlobalFree, Freed, (HGLOBAL mem), (mem), (mem))                   \
  X(DWORD, GetPrivateProfileStringA, Never,                                    \
    (LPCSTR section, LPCSTR key, LPCSTR deflt, LPSTR out, DWORD size,          \
     LPCSTR file),                                                             \
    (section, key, deflt, out, size, file),                                    \
    (section, key, deflt, out, size, file))                                    \
  X(UINT, GetPrivateProfileIntA, Never,                                        \
    (LPCSTR section, LPCSTR key, INT deflt, LPCSTR file),                      \
    (section, key, deflt, file), (section, key, deflt, file))                  \
  X(DWORD, GetPrivateProfileSectionA, Never,                                   \
    (LPCSTR section, LPSTR out, DWORD size, LPCSTR file),                      \
    (section, out, size, file), (section, out, size, file))                    \
  X(BOOL, WritePrivateProfileStringA, Bool,                                    \
    (LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file),                   \
    (section, key, value, file), (section, key, value, file))                  \
  X(DWORD, GetProfileStringA, Never,                                           \
    (LPCSTR section, LPCSTR key, LPCSTR deflt, LPSTR out, DWORD size),         \
    (section, key, deflt, out, size), (section, key, deflt, out, size))        \
  X(BOOL, WriteProfileStringA, Bool,                                           \
    (LPCSTR section, LPCSTR key, LPCSTR value), (section, key, value),         \
    (section, key, value))                                                     \
  X(LONG, RegOpenKeyExA, Status,                                               \
    (HKEY key, LPCSTR subKey, DWORD options, REGSAM sam, PHKEY result),        \
    (key, subKey, options, sam, result),                                       \
    (key, subKey, options, Hex(sam), Out(result)))                             \
  X(LONG, RegOpenKeyA, Status, (HKEY key, LPCSTR subKey, PHKEY result),        \
    (key, subKey, result), (key, subKey, Out(result)))                         \
  X(LONG, RegCreateKeyExA, Status,                                             \
    (HKEY key, LPCSTR subKey, DWORD reserved, LPSTR cls, DWORD options,        \
     REGSAM sam, LPSECURITY_ATTRIBUTES security, PHKEY result,                 \
     LPDWORD disposition),                                                     \
    (key, subKey, reserved, cls, options, sam, security, result, disposition), \
    (key, subKey, reserved, Text(cls), Hex(options), Hex(sam), security,       \
     Out(result), disposition))                                                \
  X(LONG, RegCreateKeyA, Status, (HKEY key, LPCSTR subKey, PHKEY result),      \
    (key, subKey, result), (key, subKey, Out(result)))                         \
  X(LONG, RegQueryValueExA, Status,                                            \
    (HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,       \
     LPDWORD size),                                                            \
    (key, name, reserved, type, data, size),                                   \
    (key, name, reserved, type, data, size))                                   \
  X(LONG, RegSetValueExA, Status,                                              \
    (HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,      \
     DWORD size),                                                              \
    (key, name, reserved, type, data, size),                                   \
    (key, name, reserved, type, data, size))                                   \
  X(LONG, RegDeleteValueA, Status, (HKEY key, LPCSTR name), (key, name),       \
    (key, name))                                                               \
  X(LONG, RegEnumKeyA, Status,                                                 \
    (HKEY key, DWORD index, LPSTR name, DWORD size), (key, index, name, size), \
    (key, index, name, size))                                                  \
  X(LONG, RegEnumKeyExA, Status,                                               \
    (HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,    \
     LPSTR cls, LPDWORD clsSize, FILETIME* lastWrite),                         \
    (key, index, name, nameSize, reserved, cls, clsSize, lastWrite),           \
    (key, index, name, nameSize, reserved, cls, clsSize, lastWrite))           \
  X(LONG, RegEnumValueA, Status,                                               \
    (HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,    \
     LPDWORD type, LPBYTE data, LPDWORD dataSize),                             \
    (key, index, name, nameSize, reserved, type, data, dataSize),              \
    (key, index, name, nameSize, reserved, type, data, dataSize))              \
  X(LONG, RegQueryInfoKeyA, Status,                                            \
    (HKEY key, LPSTR cls, LPDWORD clsSize, LPDWORD reserved, LPDWORD subKeys,  \
     LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values,                \
     LPDWORD maxValueNameLen, LPDWORD maxValueLen, LPDWORD securityBytes,      \
     FILETIME* lastWrite),                                                     \
    (key, cls, clsSize, reserved, subKeys, maxSubKeyLen, maxClassLen, values,  \
     maxValueNameLen, maxValueLen, securityBytes, lastWrite),                  \
    (key, cls, clsSize, reserved, subKeys, maxSubKeyLen, maxClassLen, values,  \
     maxValueNameLen, maxValueLen, securityBytes, lastWrite))                  \
  X(LONG, RegDeleteKeyA, Status, (HKEY key, LPCSTR subKey), (key, subKey),     \
    (key, subKey))                                                             \
  X(LONG, RegCloseKey, Status, (HKEY key), (key), (key))                       \
  X(BOOL, AddMonitorA, Bool, (LPCSTR server, DWORD level, LPBYTE info),        \
    (server, level, info), (server, level, info))                              \
  X(BOOL, DeleteMonitorA, Bool,                                                \
    (LPCSTR server, LPCSTR environment, LPCSTR name),                          \
    (server, environment, name), (server, environment, name))                  \
  X(BOOL, EnumMonitorsA, Bool,                                                 \
    (LPCSTR server, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,    \
     LPDWORD returned),                                                        \
    (server, level, buffer, size, needed, returned),                           \
    (server, level, buffer, size, needed, returned))                           \
  X(BOOL, AddPrintProcessorA, Bool,                                            \
    (LPCSTR server, LPCSTR environment, LPCSTR file, LPCSTR name),             \
    (server, environment, file, name), (server, environment, file, name))      \
  X(BOOL, AddPrinterDriverA, Bool, (LPCSTR server, DWORD level, LPBYTE info),  \
    (server, level, info), (server, level, info))                              \
  X(BOOL, DeletePrinterDriverA, Bool,                                          \
    (LPCSTR server, LPCSTR environment, LPCSTR name),                          \
    (server, environment, name), (server, environment, name))                  \
  X(BOOL, GetPrinterDriverA, Bool,                                             \
    (HANDLE printer, LPCSTR environment, DWORD level, LPBYTE buffer,           \
     DWORD size, LPDWORD needed),                                              \
    (printer, environment, level, buffer, size, needed),                       \
    (printer, environment, level, buffer, size, needed))                       \
  X(BOOL, EnumPrinterDriversA, Bool,                                           \
    (LPCSTR server, LPCSTR environment, DWORD level, LPBYTE buffer,            \
     DWORD size, LPDWORD needed, LPDWORD returned),                            \
    (server, environment, level, buffer, size, needed, returned),              \
    (server, environment, level, buffer, size, needed, returned))              \
  X(BOOL, EnumPrintProcessorsA, Bool,                                          \
    (LPCSTR server, LPCSTR environment, DWORD level, LPBYTE buffer,            \
     DWORD size, LPDWORD needed, LPDWORD returned),                            \
    (server, environment, level, buffer, size, needed, returned),              \
    (server, environment, level, buffer, size, needed, returned))              \
  X(BOOL, GetPrinterDriverDirectoryA, Bool,                                    \
    (LPCSTR server, LPCSTR environment, DWORD level, LPBYTE buffer,            \
     DWORD size, LPDWORD needed),                                              \
    (server, environment, level, buffer, size, needed),                        \
    (server, environment, level, buffer, size, needed))                        \
  X(BOOL, AddPortA, Bool, (LPCSTR server, HWND window, LPCSTR monitor),        \
    (server, window, monitor), (server, window, monitor))                      \
  X(BOOL, DeletePortA, Bool, (LPCSTR server, HWND window, LPCSTR port),        \
    (server, window, port), (server, window, port))                            \
  X(BOOL, EnumPortsA, Bool,                                                    \
    (LPCSTR server, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,    \
     LPDWORD returned),                                                        \
    (server, level, buffer, size, needed, returned),                           \
    (server, level, buffer, size, needed, returned))                           \
  X(BOOL, EnumPrintersA, Bool,                                                 \
    (DWORD flags, LPCSTR name, DWORD level, LPBYTE buffer, DWORD size,         \
     LPDWORD needed, LPDWORD returned),                                        \
    (flags, name, level, buffer, size, needed, returned),                      \
    (Hex(flags), name, level, buffer, size, needed, returned))                 \
  X(HANDLE, AddPrinterA, NonZero, (LPCSTR server, DWORD level, LPBYTE info),   \
    (server, level, info), (server, level, info))                              \
  X(BOOL, OpenPrinterA, Bool,                                                  \
    (LPCSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults),             \
    (name, printer, defaults), (name, Out(printer), defaults))                 \
  X(BOOL, GetPrinterA, Bool,                                                   \
    (HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed),  \
    (printer, level, buffer, size, needed),                                    \
    (printer, level, buffer, size, needed))                                    \
  X(BOOL, SetPrinterA, Bool,                                                   \
    (HANDLE printer, DWORD level, LPBYTE info, DWORD command),                 \
    (printer, level, info, command), (printer, level, info, command))          \
  X(LONG, DocumentPropertiesA, Negative,                                       \
    (HWND window, HANDLE printer, LPCSTR device, PDEVMODEA out, PDEVMODEA in,  \
     DWORD mode),                                                              \
    (window, printer, device, out, in, mode),                                  \
    (window, printer, device, out, in, Hex(mode)))                             \
  X(BOOL, DeletePrinter, Bool, (HANDLE printer), (printer), (printer))         \
  X(BOOL, ClosePrinter, Bool, (HANDLE printer), (printer), (printer))          \
  X(SC_HANDLE, OpenSCManagerA, NonZero,                                        \
    (LPCSTR machine, LPCSTR database, DWORD access),                           \
    (machine, database, access), (machine, database, Hex(access)))             \
  X(SC_HANDLE, OpenServiceA, NonZero,                                          \
    (SC_HANDLE manager, LPCSTR name, DWORD access), (manager, name, access),   \
    (manager, name, Hex(access)))                                              \
  X(SC_HANDLE, CreateServiceA, NonZero,                                        \
    (SC_HANDLE manager, LPCSTR name, LPCSTR display, DWORD access, DWORD type, \
     DWORD start, DWORD errorControl, LPCSTR binaryPath,                       \
     LPCSTR loadOrderGroup, LPDWORD tag, LPCSTR dependencies, LPCSTR account,  \
     LPCSTR password),                                                         \
    (manager, name, display, access, type, start, errorControl, binaryPath,    \
     loadOrderGroup, tag, dependencies, account, password),                    \
    (manager, name, display, Hex(access), Hex(type), start, errorControl,      \
     binaryPath, loadOrderGroup, tag, dependencies, account, password))        \
  X(BOOL, DeleteService, Bool, (SC_HANDLE service), (service), (service))      \
  X(BOOL, StartServiceA, Bool,                                                 \
    (SC_HANDLE service, DWORD argc, LPCSTR* argv), (service, argc, argv),      \
    (service, argc, argv))                                                     \
  X(BOOL, ControlService, Bool,                                                \
    (SC_HANDLE service, DWORD control, LPSERVICE_STATUS status),               \
    (service, control, status), (service, control, status))                    \
  X(BOOL, QueryServiceStatus, Bool,                                            \
    (SC_HANDLE service, LPSERVICE_STATUS status), (service, status),           \
    (service, status))                                                         \
  X(BOOL, QueryServiceConfigA, Bool,                                           \
    (SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD size,            \
     LPDWORD needed),                                                          \
    (service, config, size, needed), (service, config, size, needed))          \
  X(BOOL, CloseServiceHandle, Bool, (SC_HANDLE handle), (handle), (handle))    \
  X(BOOL, OpenProcessToken, Bool,                                              \
    (HANDLE process, DWORD access, LPHANDLE token), (process, access, token),  \
    (process, Hex(access), Out(token)))                                        \
  X(BOOL, LookupPrivilegeValueA, Bool,                                         \
    (LPCSTR system, LPCSTR name, PLUID luid), (system, name, luid),            \
    (system, name, luid))                                                      \
  X(BOOL, AdjustTokenPrivileges, Bool,                                         \
    (HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD size,       \
     PTOKEN_PRIVILEGES previous, LPDWORD needed),                              \
    (token, disableAll, state, size, previous, needed),                        \
    (token, disableAll, state, size, previous, needed))                        \
  X(BOOL, ExitWindowsEx, Bool, (UINT flags, DWORD reason), (flags, reason),    \
    (Hex(flags), Hex(reason)))                                                 \
  X(HANDLE, GetCurrentProcess, Never, (), (), ())                              \
  X(UINT, GetWindowsDirectoryA, NonZero, (LPSTR out, UINT size), (out, size),  \
    (out, size))                                                               \
  X(UINT, GetSystemDirectoryA, NonZero, (LPSTR out, UINT size), (out, size),   \
    (out, size))                                                               \
  X(BOOL, CopyFileA, Bool, (LPCSTR from, LPCSTR to, BOOL failIfExists),        \
    (from, to, failIfExists), (from, to, failIfExists))                        \
  X(BOOL, DeleteFileA, Bool, (LPCSTR path), (path), (path))                    \
  X(BOOL, MoveFileA, Bool, (LPCSTR from, LPCSTR to), (from, to), (from, to))   \
  X(DWORD, GetFileAttributesA, AllOnes, (LPCSTR path), (path), (path))         \
  X(BOOL, SetFileAttributesA, Bool, (LPCSTR path, DWORD attributes),           \
    (path, attributes), (path, Hex(attributes)))                               \
  X(BOOL, CreateDirectoryA, Bool,                                              \
    (LPCSTR path, LPSECURITY_ATTRIBUTES security), (path, security),           \
    (path, security))                                                          \
  X(BOOL, RemoveDirectoryA, Bool, (LPCSTR path), (path), (path))               \
  X(HANDLE, CreateFileA, Invalid,                                              \
    (LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,   \
     DWORD creation, DWORD flags, HANDLE templateFile),                        \
    (path, access, share, security, creation, flags, templateFile),            \
    (path, Hex(access), Hex(share), security, creation, Hex(flags),            \
     templateFile))                                                            \
  X(BOOL, ReadFile, Bool,                                                      \
    (HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,                   \
     LPVOID overlapped),                                                       \
    (file, buffer, toRead, read, overlapped),                                  \
    (file, buffer, toRead, read, overlapped))                                  \
  X(BOOL, WriteFile, Bool,                                                     \
    (HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,              \
     LPVOID overlapped),                                                       \
    (file, buffer, toWrite, written, overlapped),                              \
    (file, buffer, toWrite, written, overlapped))                              \
  X(DWORD, GetFileSize, AllOnes, (HANDLE file, LPDWORD high), (file, high),    \
    (file, high))                                                              \
  X(DWORD, SetFilePointer, AllOnes,                                            \
    (HANDLE file, LONG distance, PLONG distanceHigh, DWORD method),            \
    (file, distance, distanceHigh, method),                                    \
    (file, distance, distanceHigh, method))                                    \
  X(BOOL, GetFileInformationByHandle, Bool,                                    \
    (HANDLE file, LPBY_HANDLE_FILE_INFORMATION info), (file, info),            \
    (file, info))                                                              \
  X(DWORD, GetFullPathNameA, NonZero,                                          \
    (LPCSTR path, DWORD size, LPSTR out, LPSTR* filePart),                     \
    (path, size, out, filePart), (path, size, out, filePart))                  \
  X(DWORD, GetShortPathNameA, NonZero, (LPCSTR path, LPSTR out, DWORD size),   \
    (path, out, size), (path, out, size))                                      \
  X(BOOL, CloseHandle, Bool, (HANDLE handle), (handle), (handle))              \
  X(HANDLE, FindFirstFileA, Invalid,                                           \
    (LPCSTR pattern, LPWIN32_FIND_DATAA data), (pattern, data),                \
    (pattern, data))                                                           \
  X(BOOL, FindNextFileA, Bool, (HANDLE find, LPWIN32_FIND_DATAA data),         \
    (find, data), (find, data))                                                \
  X(BOOL, FindClose, Bool, (HANDLE find), (find), (find))                      \
  X(BOOL, GetDiskFreeSpaceA, Bool,                                             \
    (LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,           \
     LPDWORD freeClusters, LPDWORD totalClusters),                             \
    (root, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters),    \
    (root, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters))    \
  X(BOOL, GetDiskFreeSpaceExA, Bool,                                           \
    (LPCSTR dir, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,          \
     PULARGE_INTEGER totalFree),                                               \
    (dir, freeToCaller, total, totalFree),                                     \
    (dir, freeToCaller, total, totalFree))                                     \
  X(BOOL, SfcIsFileProtected, Bool, (HANDLE rpc, LPCSTR path), (rpc, path), \
    (rpc, path))                                                               \
  X(INT, LZOpenFileA, Negative, (LPCSTR path, LPOFSTRUCT of, WORD style),      \
    (path, of, style), (path, of, Hex(style)))                                 \
  X(LONG, LZCopy, Negative, (INT from, INT to), (from, to), (from, to))        \
  X(void, LZClose, Void, (INT file), (file), (file))                           \
  X(BOOL, CreateProcessA, Bool,                                                \
    (LPCSTR application, LPSTR commandLine,                                    \
     LPSECURITY_ATTRIBUTES processSecurity,                                    \
     LPSECURITY_ATTRIBUTES threadSecurity, BOOL inherit, DWORD flags,          \
     LPVOID environment, LPCSTR directory, LPSTARTUPINFOA startup,             \
     LPPROCESS_INFORMATION info),                                              \
    (application, commandLine, processSecurity, threadSecurity, inherit,       \
     flags, environment, directory, startup, info),                            \
    (application, Text(commandLine), processSecurity, threadSecurity,          \
     inherit, Hex(flags), environment, directory, startup, info))              \
  X(UINT, WinExec, Exec, (LPCSTR commandLine, UINT show),                      \
    (commandLine, show), (commandLine, show))                                  \
  X(DWORD, WaitForSingleObject, AllOnes, (HANDLE handle, DWORD milliseconds),  \
    (handle, milliseconds), (handle, milliseconds))                            \
  X(HANDLE, CreateThread, NonZero,                                             \
    (LPSECURITY_ATTRIBUTES security, SIZE_T stack,                             \
     LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,              \
     LPDWORD threadId),                                                        \
    (security, stack, start, parameter, flags, threadId),                      \
    (security, stack, start, parameter, Hex(flags), threadId))                 \
  X(void, Sleep, Void, (DWORD milliseconds), (milliseconds), (milliseconds))   \
  X(HANDLE, CreateEventA, NonZero,                                             \
    (LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,      \
     LPCSTR name),                                                             \
    (security, manualReset, initialState, name),                               \
    (security, manualReset, initialState, name))                               \
  X(BOOL, SetEvent, Bool, (HANDLE event), (event), (event))                    \
  X(DWORD, GetTickCount, Never, (), (), ())                                    \
  X(HMODULE, LoadLibraryA, NonZero, (LPCSTR file), (file), (file))             \
  X(FARPROC, GetProcAddress, NonZero, (HMODULE module, LPCSTR name),           \
    (module, name), (module, name))                                            \
  X(BOOL, FreeLibrary, Bool, (HMODULE module), (module), (module))             \
  X(int, MessageBoxA, NonZero,                                                 \
    (HWND owner, LPCSTR text, LPCSTR caption, UINT type),                      \
    (owner, text, caption, type), (owner, text, caption, Hex(type)))           \
  X(LRESULT, SendMessageA, Never,                                              \
    (HWND window, UINT message, WPARAM wParam, LPARAM lParam),                 \
    (window, message, wParam, lParam),                                         \
    (window, Hex(message), Hex(wParam), Hex(lParam)))                          \
  X(BOOL, PostMessageA, Bool,                                                  \
    (HWND window, UINT message, WPARAM wParam, LPARAM lParam),                 \
    (window, message, wParam, lParam),                                         \
    (window, Hex(message), Hex(wParam), Hex(lParam)))                          \
  X(BOOL, EnableWindow, Never, (HWND window, BOOL enable), (window, enable),   \
    (window, enable))                                                          \
  X(HWND, SetFocus, Never, (HWND window), (window), (window))                  \
  X(UINT_PTR, SetTimer, NonZero,                                               \
    (HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc),                   \
    (window, id, elapse, proc), (window, id, elapse, proc))                    \
  X(BOOL, KillTimer, Bool, (HWND window, UINT_PTR id), (window, id),           \
    (window, id))                                                              \
  X(LPSTR, CharPrevA, Never, (LPCSTR start, LPCSTR current),                   \
    (start, current), (Hex(start), Hex(current)))                              \
  X(BOOL, IsDBCSLeadByte, Never, (BYTE c), (c), (Hex(c)))                      \
  X(int, lstrcmpiA, Never, (LPCSTR a, LPCSTR b), (a, b), (a, b))               \
  X(int, AddFontResourceA, NonZero, (LPCSTR file), (file), (file))             \
  X(BOOL, RemoveFontResourceA, Bool, (LPCSTR file), (file), (file))            \
  X(LONG, OleInitialize, Negative, (LPVOID reserved), (reserved), (reserved))  \
  X(void, OleUninitialize, Void, (), (), ())                                   \
  X(LPITEMIDLIST, SHBrowseForFolderA, Never, (LPBROWSEINFOA info), (info),     \
    (info))                                                                    \
  X(BOOL, SHGetPathFromIDListA, Bool, (LPCITEMIDLIST list, LPSTR path),        \
    (list, path), (list, path))                                                \
  X(void, SHFreeItemList, Void, (LPITEMIDLIST list), (list), (list))           \
  X(LONG, SHGetSpecialFolderLocation, Negative,                                \
    (HWND owner, int folder, LPITEMIDLIST* list), (owner, folder, list),       \
    (owner, folder, list))                                                     \
  X(WORD, ReadBiosDataWord, Never, (DWORD offset), (offset), (Hex(offset)))
// clang-format on

namespace kv {

class TracedPlatform final : public Platform {
 public:
  static constexpr uint64_t kDefaultLimit = 100ull * 1024 * 1024;

  // Traces the calls made on `inner` into `file` (appended to; its present
  // size counts towards `limitBytes`). An empty name, or a file that cannot
  // be opened, leaves tracing off: the calls are only forwarded.
  TracedPlatform(Platform& inner, const std::string& file,
                 uint64_t limitBytes = kDefaultLimit);
  ~TracedPlatform() override;
  TracedPlatform(const TracedPlatform&) = delete;
  TracedPlatform& operator=(const TracedPlatform&) = delete;

  bool tracing() const { return on_.load(std::memory_order_relaxed); }

  // A heading line "== <name>" before the calls of one export.
  void Heading(const char* name);

#define KV_TRACED_DECLARE(Ret, Name, Result, Params, Args, Shown) \
  Ret Name Params override;
  KV_PLATFORM_METHODS(KV_TRACED_DECLARE)
#undef KV_TRACED_DECLARE

 private:
  class Sink;

  template <class Result, class Call, class Show>
  auto Traced(const char* name, Call&& call, Show&& show) -> decltype(call());
  void WriteLine(const std::string& line);

  Platform& inner_;
  std::atomic<bool> on_{false};
  std::unique_ptr<Sink> sink_;
};

}  // namespace kv
