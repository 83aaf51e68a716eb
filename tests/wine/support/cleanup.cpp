#include "tests/wine/support/cleanup.h"

#include <winspool.h>

#include <vector>

namespace kvwine {

void DeleteTree(HKEY root, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) !=
      ERROR_SUCCESS)
    return;
  // Names first, deletions after: deleting a sub-key while enumerating by
  // index would skip the one after it.
  char name[256];
  std::vector<std::string> subs;
  for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS;
       ++i)
    subs.push_back(name);
  RegCloseKey(key);
  for (const auto& s : subs) DeleteTree(root, path + "\\" + s);
  RegDeleteKeyA(root, path.c_str());
}

void RemovePrinter(const char* name) {
  HANDLE h = nullptr;
  PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (OpenPrinterA(const_cast<LPSTR>(name), &h, &defaults)) {
    DeletePrinter(h);
    ClosePrinter(h);
  }
}

}  // namespace kvwine
