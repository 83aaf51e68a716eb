// A sample medium for the registration tests: the setup file, the driver,
// processor, monitor and port-driver files placed where the spooler and the
// service manager look for them, and readers of the registry records.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "sim/sim_printers.h"
#include "tests/native/support/sim_fixture.h"

namespace kv::test {

constexpr const char* kSii = "C:\\medium\\kv.sii";
constexpr const char* kSetupDir = "C:\\medium";
constexpr const char* kDriverName = "KORVA KV-1000";
constexpr const char* kDevId = "LPTENUM\\KORVAKV-1000D1A2";

// The setup file's sections; a test changes lines before writing it.
struct SampleSii {
  std::string initial = "Product=KORVA\r\n";
  std::string models = "nModelNum=2\r\nModel1=KV-1000\r\nModel2=KV-2000\r\n";
  std::string devIds =
      "KV-1000=LPTENUM\\KORVAKV-1000D1A2\r\nKV-2000=LPTENUM\\KORVAKV-"
      "2000D1A3\r\n";
  std::string install = "DATATYPE=EMF\r\n";
  std::string com = "Lmonn=KV Lang Monitor\r\nHelpf=kvhelp.hlp\r\n";
  std::string nt =
      "LptNT=drivers\\kvlptnt.sys\r\nLptNTName=KvLpt\r\n"
      "DrvfNT=kvdrvnt.dll\r\nDatfNT=kvdata.ppd\r\nConfNT=kvuint.dll\r\n"
      "ProcnNT=KV Processor\r\nProcmNT=kvprocnt.dll\r\nLmonmNT=kvmonnt.dll\r\n";
  std::string w2k =
      "Lpt2K=drivers\\kvlpt2k.sys\r\nLpt2KName=KvLpt\r\n"
      "Drvf2K=kvdrv2k.dll\r\nDatf2K=kvdata.ppd\r\nConf2K=kvui2k.dll\r\n"
      "Procn2K=KV Processor\r\nProcm2K=kvproc2k.dll\r\nLmonm2K=kvmon2k.dll\r\n";
  std::string w9x =
      "Drvf9x=KVDRV.DRV\r\nDatf9x=kvdata.ppd\r\nConf9x=KVUI.DLL\r\n"
      "Procn9x=KV Processor\r\nProcm9x=kvproc9x.dll\r\nLmonm9x=kvmon9x.dll\r\n"
      "Drcf9x=KVDRV\r\nUSBID=VID_1234&PID_5678\r\nDevID=KORVAKV-1000D1A2\r\n";

  std::string Text() const {
    return "[Initial]\r\n" + initial + "[ModelName]\r\n" + models +
           "[DevID]\r\n" + devIds + "[Install]\r\n" + install +
           "[Files.Com]\r\n" + com + "[Files.NT]\r\n" + nt + "[Files.2K]\r\n" +
           w2k + "[Files.9x]\r\n" + w9x;
  }
};

// Writes the setup file and places every file it names.
inline void PlaceMedium(SimMachine& m, const SampleSii& sii = SampleSii()) {
  auto& os = m.os();
  ASSERT_TRUE(os.WriteTextFile(kSii, sii.Text()));
  const bool nt = !sim::IsWin9x(os.version());
  const std::string drivers =
      sim::DriverDirectory(os, nt ? "Windows NT x86" : "Windows 4.0");
  const std::vector<std::string> driverFiles = {
      "kvdrvnt.dll", "kvuint.dll", "kvdrv2k.dll", "kvui2k.dll", "KVDRV.DRV",
      "KVUI.DLL",    "kvdata.ppd", "kvhelp.hlp",  "KVRES.DLL",  "KVFONT.DAT"};
  for (const auto& f : driverFiles)
    ASSERT_TRUE(os.WriteTextFile(drivers + "\\" + f, "driver file " + f));
  for (const char* f : {"kvprocnt.dll", "kvproc2k.dll", "kvproc9x.dll"})
    ASSERT_TRUE(
        os.WriteTextFile(sim::PrintProcessorDirectory(os) + "\\" + f, "MZ"));
  for (const char* f : {"kvmonnt.dll", "kvmon2k.dll", "kvmon9x.dll",
                        "drivers\\kvlptnt.sys", "drivers\\kvlpt2k.sys"})
    ASSERT_TRUE(os.WriteTextFile(os.systemDir() + "\\" + f, "MZ"));
}

inline std::string ValueText(const sim::RegValue& v) {
  std::string s(v.data.begin(), v.data.end());
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

// A string value, or "(no key)" / "(no value)".
inline std::string RegString(SimMachine& m, HKEY root, const std::string& path,
                             const char* name) {
  sim::RegNode* node = m.os().FindKey(root, path);
  if (!node) return "(no key)";
  auto it = node->values.find(name);
  return it == node->values.end() ? "(no value)" : ValueText(it->second);
}

// A DWORD value, or 0xDEADBEEF when missing.
inline DWORD RegDword(SimMachine& m, HKEY root, const std::string& path,
                      const char* name) {
  sim::RegNode* node = m.os().FindKey(root, path);
  if (!node) return 0xDEADBEEF;
  auto it = node->values.find(name);
  if (it == node->values.end() || it->second.data.size() != 4)
    return 0xDEADBEEF;
  DWORD v;
  std::memcpy(&v, it->second.data.data(), 4);
  return v;
}

inline std::string PrinterPath(const std::string& name) {
  return std::string(sim::kPrintersKeyPath) + "\\" + name;
}

}  // namespace kv::test
