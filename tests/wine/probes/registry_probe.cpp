// A fixed table of registry calls whose results are printed one line per
// call. Cross-built, it runs on the real registry under Wine (through
// Win32Platform); the native test test_sim runs the same table on the
// simulated machine and compares with tests/fixtures/registry_probe.expected.
//
// Regenerate the expected file (NT behaviour, Wine at winxp):
//   i686-w64-mingw32-g++ -std=c++17 -static -O1 -I. -o registry_probe.exe
//     tests/wine/probes/registry_probe.cpp foundation/win32_platform.cpp
//     -ladvapi32 -lwinspool -llz32 -lshell32 -lole32 -lgdi32   (one line)
//   export WINEPREFIX=$PWD/build/probe-prefix; wineboot -i
//   wine reg add 'HKCU\Software\Wine' /v Version /d winxp /f
//   wine registry_probe.exe | tr -d '\r' >
//   tests/fixtures/registry_probe.expected
//
// Everything happens under HKCU\Software\KvRegProbe, removed before and
// after. Key deletion with sub-keys differs on 9x (the whole tree goes), so
// the table is the NT family's.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/platform.h"

namespace kv::probe {

namespace {

std::string Line(const char* label, LONG rc) {
  return std::string(label) + " rc=" + std::to_string(rc);
}

std::string Num(const char* name, DWORD v) {
  return std::string(" ") + name + "=" + std::to_string(v);
}

// Bytes as hex, so an embedded or missing terminator shows.
std::string Bytes(const BYTE* data, DWORD n) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = " data=";
  for (DWORD i = 0; i < n; ++i) {
    out += kHex[data[i] >> 4];
    out += kHex[data[i] & 15];
  }
  return out;
}

void DeleteTree(Platform& os, HKEY parent, const char* name) {
  HKEY key = nullptr;
  if (os.RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
    return;
  char child[256];
  while (os.RegEnumKeyA(key, 0, child, sizeof child) == ERROR_SUCCESS)
    DeleteTree(os, key, child);
  os.RegCloseKey(key);
  os.RegDeleteKeyA(parent, name);
}

}  // namespace

// Runs the table; returns one line per call.
std::vector<std::string> RunRegistryProbe(Platform& os) {
  std::vector<std::string> out;
  const char* kBase = "Software\\KvRegProbe";
  DeleteTree(os, HKEY_CURRENT_USER, kBase);

  HKEY base = nullptr, key = nullptr;
  DWORD disp = 0, type = 0, size = 0;
  BYTE buf[64];
  char name[64];
  LONG rc;

  // Creation: missing parents made, disposition reported.
  rc = os.RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\KvRegProbe\\Sub\\Deep",
                          0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disp);
  out.push_back(Line("create-deep", rc) + Num("disp", disp));
  os.RegCloseKey(key);
  rc = os.RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\kvregprobe\\sub", 0,
                          nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disp);
  out.push_back(Line("create-existing-othercase", rc) + Num("disp", disp));
  os.RegCloseKey(key);

  rc = os.RegOpenKeyExA(HKEY_CURRENT_USER, kBase, 0, KEY_ALL_ACCESS, &base);
  out.push_back(Line("open-base", rc));

  // Sub-key name forms.
  struct {
    const char* label;
    const char* sub;
  } opens[] = {
      {"open-empty", ""},
      {"open-null", nullptr},
      {"open-leading-bs", "\\Sub"},
      {"open-trailing-bs", "Sub\\"},
      {"open-double-bs", "Sub\\\\Deep"},
      {"open-missing", "Nope"},
      {"open-missing-deep", "Sub\\Nope\\X"},
  };
  for (const auto& o : opens) {
    key = nullptr;
    rc = os.RegOpenKeyExA(base, o.sub, 0, KEY_READ, &key);
    out.push_back(Line(o.label, rc));
    if (rc == ERROR_SUCCESS) os.RegCloseKey(key);
  }

  // Values: REG_SZ with and without terminator, empty, DWORD, binary.
  struct {
    const char* name;
    DWORD type;
    const char* bytes;
    DWORD size;
  } sets[] = {
      {"Str", REG_SZ, "hello", 6},
      {"NoTerm", REG_SZ, "abc", 3},
      {"Empty", REG_SZ, "", 0},
      {"OneNul", REG_SZ, "", 1},
      {"Bin", REG_BINARY, "\x01\x00\xff", 3},
      {"Dw", REG_DWORD, "\x0a\x00\x00\x00", 4},
      {"Multi", REG_MULTI_SZ, "a\0bc\0", 6},
      {"", REG_SZ, "dflt", 5},
  };
  for (const auto& s : sets) {
    rc = os.RegSetValueExA(base, s.name, 0, s.type,
                           reinterpret_cast<const BYTE*>(s.bytes), s.size);
    out.push_back(Line((std::string("set ") + s.name).c_str(), rc));
  }
  for (const auto& s : sets) {
    std::string label = std::string("query ") + s.name;
    type = 99;
    size = 0;
    rc = os.RegQueryValueExA(base, s.name, nullptr, &type, nullptr, &size);
    out.push_back(Line((label + " nodata").c_str(), rc) + Num("type", type) +
                  Num("size", size));
    std::memset(buf, 0xcc, sizeof buf);
    size = sizeof buf;
    rc = os.RegQueryValueExA(base, s.name, nullptr, &type, buf, &size);
    out.push_back(Line((label + " full").c_str(), rc) + Num("size", size) +
                  Bytes(buf, rc == ERROR_SUCCESS ? size : 0));
    size = 2;
    rc = os.RegQueryValueExA(base, s.name, nullptr, &type, buf, &size);
    out.push_back(Line((label + " size2").c_str(), rc) + Num("size", size));
  }
  size = sizeof buf;
  rc = os.RegQueryValueExA(base, "STR", nullptr, &type, buf, &size);
  out.push_back(Line("query STR (case)", rc) + Num("size", size));
  size = sizeof buf;
  rc = os.RegQueryValueExA(base, "Missing", nullptr, &type, buf, &size);
  out.push_back(Line("query Missing", rc));
  size = sizeof buf;
  rc = os.RegQueryValueExA(base, nullptr, nullptr, &type, buf, &size);
  out.push_back(Line("query null-name", rc) + Num("size", size));
  rc = os.RegDeleteValueA(base, "Missing");
  out.push_back(Line("delete-value Missing", rc));
  rc = os.RegDeleteValueA(base, "bin");
  out.push_back(Line("delete-value bin", rc));

  // Sub-keys enumerate in sorted order whatever the creation order.
  const char* subs[] = {"b", "A", "c", "a2", "B1"};
  for (const char* s : subs) {
    rc = os.RegCreateKeyA(base, s, &key);
    if (rc == ERROR_SUCCESS) os.RegCloseKey(key);
  }
  for (DWORD i = 0;; ++i) {
    std::memset(name, 0, sizeof name);
    rc = os.RegEnumKeyA(base, i, name, sizeof name);
    out.push_back(Line("enum-key", rc) + Num("index", i) +
                  (rc == ERROR_SUCCESS ? std::string(" name=") + name : ""));
    if (rc != ERROR_SUCCESS) break;
  }
  rc = os.RegEnumKeyA(base, 0, name, 1);
  out.push_back(Line("enum-key small", rc));
  DWORD nameSize = 1;
  rc = os.RegEnumKeyExA(base, 5, name, &nameSize, nullptr, nullptr, nullptr,
                        nullptr);
  out.push_back(Line("enum-key-ex small", rc) + Num("size", nameSize));
  nameSize = 3;
  rc = os.RegEnumKeyExA(base, 5, name, &nameSize, nullptr, nullptr, nullptr,
                        nullptr);
  out.push_back(Line("enum-key-ex exact", rc) + Num("size", nameSize));
  nameSize = 4;
  rc = os.RegEnumKeyExA(base, 5, name, &nameSize, nullptr, nullptr, nullptr,
                        nullptr);
  out.push_back(Line("enum-key-ex fits", rc) + Num("size", nameSize) +
                " name=" + (rc == ERROR_SUCCESS ? name : ""));
  nameSize = sizeof name;
  rc = os.RegEnumKeyExA(base, 6, name, &nameSize, nullptr, nullptr, nullptr,
                        nullptr);
  out.push_back(Line("enum-key-ex end", rc));

  DWORD subKeys = 0, maxSub = 0, values = 0, maxName = 0, maxValue = 0;
  rc = os.RegQueryInfoKeyA(base, nullptr, nullptr, nullptr, &subKeys, &maxSub,
                           nullptr, &values, &maxName, &maxValue, nullptr,
                           nullptr);
  out.push_back(Line("query-info", rc) + Num("subkeys", subKeys) +
                Num("maxsub", maxSub) + Num("values", values) +
                Num("maxname", maxName) + Num("maxvalue", maxValue));

  // Values in the order the registry gives them.
  for (DWORD i = 0;; ++i) {
    nameSize = sizeof name;
    DWORD dataSize = sizeof buf;
    rc = os.RegEnumValueA(base, i, name, &nameSize, nullptr, &type, buf,
                          &dataSize);
    out.push_back(Line("enum-value", rc) + Num("index", i) +
                  (rc == ERROR_SUCCESS
                       ? std::string(" name=") + name + Num("type", type) +
                             Num("size", dataSize)
                       : ""));
    if (rc != ERROR_SUCCESS) break;
  }
  nameSize = 2;
  DWORD dataSize = sizeof buf;
  rc = os.RegEnumValueA(base, 5, name, &nameSize, nullptr, &type, buf,
                        &dataSize);
  out.push_back(Line("enum-value small-name", rc));

  // Deleting a key that has sub-keys, and deleting under an open handle.
  rc = os.RegDeleteKeyA(base, "Sub");
  out.push_back(Line("delete-key with-subkeys", rc));
  HKEY held = nullptr;
  os.RegCreateKeyA(base, "Held", &held);
  os.RegSetValueExA(held, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"),
                    2);
  rc = os.RegDeleteKeyA(base, "held");
  out.push_back(Line("delete-key held", rc));
  size = sizeof buf;
  rc = os.RegQueryValueExA(held, "v", nullptr, &type, buf, &size);
  out.push_back(Line("deleted query", rc));
  rc = os.RegSetValueExA(held, "w", 0, REG_SZ,
                         reinterpret_cast<const BYTE*>("x"), 2);
  out.push_back(Line("deleted set", rc));
  rc = os.RegEnumKeyA(held, 0, name, sizeof name);
  out.push_back(Line("deleted enum", rc));
  key = nullptr;
  rc = os.RegCreateKeyA(held, "Child", &key);
  out.push_back(Line("deleted create-child", rc));
  if (rc == ERROR_SUCCESS) os.RegCloseKey(key);
  rc = os.RegCloseKey(held);
  out.push_back(Line("deleted close", rc));
  rc = os.RegOpenKeyExA(base, "Held", 0, KEY_READ, &key);
  out.push_back(Line("deleted reopen", rc));
  rc = os.RegDeleteKeyA(base, "Nope");
  out.push_back(Line("delete-key missing", rc));

  // Bad handles.
  rc = os.RegCloseKey(reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x7770)));
  out.push_back(Line("close bogus", rc));
  rc = os.RegCloseKey(held);
  out.push_back(Line("close twice", rc));
  size = sizeof buf;
  rc = os.RegQueryValueExA(
      reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x7770)), "x", nullptr,
      &type, buf, &size);
  out.push_back(Line("query bogus", rc));

  os.RegCloseKey(base);
  DeleteTree(os, HKEY_CURRENT_USER, kBase);
  rc = os.RegOpenKeyExA(HKEY_CURRENT_USER, kBase, 0, KEY_READ, &key);
  out.push_back(Line("cleaned", rc));
  return out;
}

}  // namespace kv::probe

#ifdef _WIN32
#include "foundation/win32_platform.h"

int main() {
  kv::Win32Platform os;
  for (const auto& line : kv::probe::RunRegistryProbe(os))
    std::printf("%s\n", line.c_str());
  return 0;
}
#endif
