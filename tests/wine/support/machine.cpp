#include "tests/wine/support/machine.h"

namespace kvwine {

std::string Dir(bool system) {
  char buffer[MAX_PATH] = {};
  const UINT n = system ? GetSystemDirectoryA(buffer, MAX_PATH)
                        : GetWindowsDirectoryA(buffer, MAX_PATH);
  return std::string(buffer, n < MAX_PATH ? n : 0);
}

std::string DriverDirectory() {
  char dir[MAX_PATH] = {};
  DWORD needed = 0;
  if (!GetPrinterDriverDirectoryA(nullptr, nullptr, 1,
                                  reinterpret_cast<LPBYTE>(dir), sizeof dir,
                                  &needed))
    return std::string();
  return dir;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteFileText(const std::string& path, const std::string& text) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()),
                            &written, nullptr);
  CloseHandle(f);
  return ok && written == text.size();
}

std::string ReadFileBytes(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "<missing>";
  std::string text;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(f, chunk, sizeof chunk, &read, nullptr) && read > 0)
    text.append(chunk, read);
  CloseHandle(f);
  return text;
}

void DeleteRunOnceValues() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnce, 0, KEY_ALL_ACCESS, &key) !=
      ERROR_SUCCESS)
    return;
  RegDeleteValueA(key, "VT3E");
  for (int i = 0; i < 32; ++i)
    RegDeleteValueA(key, ("VT3E_" + std::to_string(i)).c_str());
  RegCloseKey(key);
}

int RunCommand(const std::string& command, const std::string& folder) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &si, &pi))
    return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0)
    GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

BOOL WINAPI EnumLocalPrinters(LPSTR, LPSTR, DWORD level, LPBYTE buffer,
                              DWORD size, LPDWORD needed, LPDWORD count) {
  return EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, level, buffer, size, needed,
                       count);
}

BOOL WINAPI EnumMonitorList(LPSTR server, LPSTR, DWORD level, LPBYTE buffer,
                            DWORD size, LPDWORD needed, LPDWORD count) {
  return EnumMonitorsA(server, level, buffer, size, needed, count);
}

bool Has(const std::vector<std::string>& names, const char* name) {
  for (const auto& n : names)
    if (lstrcmpiA(n.c_str(), name) == 0) return true;
  return false;
}

bool ServiceExists(const char* name) {
  SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!scm) return false;
  SC_HANDLE svc = OpenServiceA(scm, name, SERVICE_QUERY_STATUS);
  if (svc) CloseServiceHandle(svc);
  CloseServiceHandle(scm);
  return svc != nullptr;
}

void RemoveService(const char* name) {
  SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!scm) return;
  if (SC_HANDLE svc = OpenServiceA(scm, name, SERVICE_ALL_ACCESS)) {
    SERVICE_STATUS st;
    ControlService(svc, SERVICE_CONTROL_STOP, &st);
    DeleteService(svc);
    CloseServiceHandle(svc);
  }
  CloseServiceHandle(scm);
}

void UnregisterPrinters(std::initializer_list<const char*> printers,
                        const char* monitor) {
  for (const char* p : printers) {
    RemovePrinter(p);
    for (LPSTR env :
         {static_cast<LPSTR>(nullptr), const_cast<LPSTR>("Windows 4.0"),
          const_cast<LPSTR>("Windows NT x86")})
      DeletePrinterDriverA(nullptr, env, const_cast<LPSTR>(p));
  }
  // Wine's spooler unloads a monitor at DeleteMonitor even when its key is
  // gone already, as removal leaves it; the library file is then free.
  for (const char* env : {"Windows NT x86", "Windows 4.0"})
    DeleteMonitorA(nullptr, const_cast<LPSTR>(env), const_cast<LPSTR>(monitor));
  // The NT family's per-user [Devices] and [PrinterPorts].
  const std::string userDevices =
      "Software\\Microsoft\\Windows NT\\CurrentVersion\\";
  for (const char* section : {"Devices", "PrinterPorts"}) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, (userDevices + section).c_str(), 0,
                      KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
      continue;
    for (const char* p : printers) RegDeleteValueA(key, p);
    RegCloseKey(key);
  }
  // Wine's spooler runs in this process and keeps a printer's driver loaded
  // until DeletePrinter; a printer removed by its registry records (as on
  // the NT family) never unloads it, and a loaded file can't be deleted. No
  // printer uses the driver any more. (The Windows spooler runs in a process
  // of its own and lets it go when it starts again.)
  for (int i = 0; i < 16; ++i) {
    HMODULE loaded = GetModuleHandleA("kvwineps.drv");
    if (!loaded || !FreeLibrary(loaded)) break;
  }
}

void RemovalTest::SetUp() {
  system_ = Dir(true);
  windows_ = Dir(false);
  ASSERT_FALSE(system_.empty());
  ASSERT_FALSE(windows_.empty());
  batch_ = system_ + "\\VT3E.bat";
  ClearMachine();
  AtEnd([this] { ClearMachine(); });
  Prepare();
}

void RemovalTest::ClearMachine() {
  DeleteFileA(batch_.c_str());
  DeleteRunOnceValues();
  for (const char* f : {"vt3eins.sii", "vt3dins.sii", "vt3hins.sii"})
    DeleteFileA((windows_ + "\\" + f).c_str());
  DeleteFileA((system_ + "\\" + messageFile_).c_str());
}

}  // namespace kvwine
