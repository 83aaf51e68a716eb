// kvdf_filler: the device-finder component's side of the record. Loads
// _KVSUP32.dll from its own folder as the installer does, writes a device
// into the record DF_GetPoint hands out, and reads it back through the
// getters. Exit 0 when every getter gave what was written; the first
// mismatch is printed.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using PointFn = void*(WINAPI*)();
using GetFn = char*(WINAPI*)(char*);
using MacFn = int(WINAPI*)(char*);

std::string Dir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string dir(path, n);
  // Started from a host path no drive maps: Wine names it "unix\...", which
  // is \\?\unix\... .
  if (dir.rfind("unix\\", 0) == 0) dir = "\\\\?\\" + dir;
  return dir.substr(0, dir.find_last_of("\\/") + 1);
}

int Check(const char* what, const std::string& got, const std::string& want) {
  if (got == want) return 0;
  std::printf("%s: got \"%s\", want \"%s\"\n", what, got.c_str(), want.c_str());
  return 1;
}

}  // namespace

int main() {
  HMODULE dll = LoadLibraryA((Dir() + "_KVSUP32.dll").c_str());
  if (!dll) {
    std::printf("LoadLibraryA failed, error %lu\n", GetLastError());
    return 10;
  }
  auto point = reinterpret_cast<PointFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DF_GetPoint")));
  auto mac = reinterpret_cast<MacFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DF_GetMacAddress")));
  if (!point || !mac) return 11;
  auto* record = static_cast<unsigned char*>(point());
  if (!record) return 12;

  char out[256];
  int bad = 0;
  // Untouched, the record is empty.
  bad += Check("mac before", (mac(out), out), "00:00:00:00:00:00");

  const struct {
    const char* getter;
    size_t offset;
    const char* text;
  } fields[] = {{"DF_GetAddress", 0, "192.168.10.20"},
                {"DF_GetModelName", 128, "KV-Relay 3100"},
                {"DF_GetName", 384, "Sales laser"},
                {"DF_GetDescription", 640, "Colour laser, duplex"},
                {"DF_GetLocation", 896, "Building 4, room 12"}};
  for (const auto& f : fields)
    std::strcpy(reinterpret_cast<char*>(record + f.offset), f.text);
  const unsigned char hw[6] = {0x00, 0x80, 0x9F, 0x0A, 0xBC, 0x01};
  std::memcpy(record + 1152, hw, sizeof hw);
  // Room past the hardware address for whatever else the component keeps.
  std::memset(record + 1158, 0x5A, 1024 - 6);

  for (const auto& f : fields) {
    auto get = reinterpret_cast<GetFn>(
        reinterpret_cast<void*>(GetProcAddress(dll, f.getter)));
    if (!get) return 13;
    std::memset(out, 'X', sizeof out);
    char* r = get(out);
    bad += Check(f.getter, out, f.text);
    if (r != out) bad += Check(f.getter, "other pointer", "the buffer");
  }
  bad += Check("DF_GetMacAddress count", std::to_string(mac(out)), "17");
  bad += Check("DF_GetMacAddress", out, "00:80:9F:0A:BC:01");
  return bad;
}
