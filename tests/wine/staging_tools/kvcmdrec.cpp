// Records the command line it was started with into the file named by the
// environment variable KV_CMDLINE_OUT, for the staging suite's VtoeSwmd test.
#include <windows.h>

int main() {
  char path[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("KV_CMDLINE_OUT", path, sizeof path);
  if (n == 0 || n >= sizeof path) return 1;
  const char* line = GetCommandLineA();
  HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(f, line, lstrlenA(line), &written, nullptr);
  CloseHandle(f);
  return 0;
}
