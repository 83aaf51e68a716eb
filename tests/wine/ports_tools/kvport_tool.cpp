// kvport_tool <name>: what a port set-up program does to the maker's
// network monitor, reduced to its trace in the registry: one new port key.
#include <windows.h>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const char* base =
      "System\\CurrentControlSet\\Control\\Print\\Monitors\\KV-Relay3100 "
      "Port\\Ports\\";
  char path[512];
  if (lstrlenA(base) + lstrlenA(argv[1]) >= static_cast<int>(sizeof path))
    return 3;
  lstrcpyA(path, base);
  lstrcatA(path, argv[1]);
  HKEY key;
  DWORD disposition;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS,
                      nullptr, &key, &disposition) != ERROR_SUCCESS)
    return 1;
  const char host[] = "10.9.8.7";
  RegSetValueExA(key, "HostName", 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(host), sizeof host);
  RegCloseKey(key);
  return 0;
}
