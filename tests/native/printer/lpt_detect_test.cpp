// Parallel-port detection on the simulated machine: the NT device map and
// NT 4.0 raw resources in the registry, the BIOS data area on Windows 9x.
#include "printer/lpt_detect.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exports/query_exports.h"
#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

using sim::WindowsVersion;

void SetString(sim::RegNode* key, const std::string& name,
               const std::string& text) {
  sim::RegValue v;
  v.name = name;
  v.type = REG_SZ;
  v.data.assign(text.begin(), text.end());
  v.data.push_back(0);
  key->values[name] = v;
}

void SetBinary(sim::RegNode* key, const std::string& name,
               std::vector<BYTE> data) {
  sim::RegValue v;
  v.name = name;
  v.type = 8;  // REG_RESOURCE_LIST
  v.data = std::move(data);
  key->values[name] = v;
}

// \Device\Parallel<i> mapped to \DosDevices\LPT<digit>.
void MapParallel(sim::SimPlatform& os, int i, char digit) {
  auto* map = os.CreateKeyPath(HKEY_LOCAL_MACHINE,
                               "HARDWARE\\DEVICEMAP\\PARALLEL PORTS");
  SetString(map, "\\Device\\Parallel" + std::to_string(i),
            std::string("\\DosDevices\\LPT") + digit);
}

// A raw resource list whose first descriptor starts at `base`.
std::vector<BYTE> RawResources(WORD base) {
  std::vector<BYTE> data(36, 0);
  data[0] = 1;   // one list
  data[20] = 1;  // one descriptor
  data[24] = static_cast<BYTE>(base & 0xFF);
  data[25] = static_cast<BYTE>(base >> 8);
  data[32] = 3;  // length
  return data;
}

struct NameCase {
  const char* name;
  int expected;
};

// Names are judged before any machine state counts: LPT1 to LPT3 are
// mapped and present, so only the name decides.
TEST(ToDetectLPT, PortNames) {
  const NameCase cases[] = {
      {"LPT1:", 1},  {"lpt2:", 1}, {"Lpt3:", 1}, {"LPT1:xyz", 1}, {"LPT4:", 0},
      {"LPT0:", 0},  {"LPT1", 0},  {"LPT", 0},   {"", 0},         {"LPT1;", 0},
      {" LPT1:", 0}, {"COM1:", 0}, {"LPTA:", 0}, {"\xCCPT1:", 0},
  };
  test::SimMachine m(WindowsVersion::Win2000);
  for (int i = 0; i < 3; ++i)
    MapParallel(m.os(), i, static_cast<char>('1' + i));
  for (const auto& c : cases)
    EXPECT_EQ(ToDetectLPT(m.ctx(), c.name), c.expected) << "[" << c.name << "]";
}

TEST(ToDetectLPT, DeviceMapOnWindows2000AndXP) {
  for (auto v : {WindowsVersion::Win2000, WindowsVersion::XP}) {
    test::SimMachine m(v);
    EXPECT_EQ(ToDetectLPT(m.ctx(), "LPT1:"), 0) << "no device map key";
    MapParallel(m.os(), 0, '1');
    EXPECT_EQ(ToDetectLPT(m.ctx(), "LPT1:"), 1);
    EXPECT_EQ(ToDetectLPT(m.ctx(), "LPT2:"), 0);
    // The mapping, not the device number, names the port.
    MapParallel(m.os(), 2, '2');
    EXPECT_EQ(ToDetectLPT(m.ctx(), "LPT2:"), 1);
    EXPECT_EQ(DetectNTParallelPort(m.ctx(), 1), 1);
  }
}

TEST(ToDetectLPT, RawResourcesOnNT4) {
  test::SimMachine m(WindowsVersion::NT4);
  MapParallel(m.os(), 0, '1');
  MapParallel(m.os(), 1, '2');
  EXPECT_EQ(ToDetectLPT(m.ctx(), "LPT1:"), 0) << "mapped, but no resources key";
  auto* parport = m.os().CreateKeyPath(
      HKEY_LOCAL_MACHINE,
      "HARDWARE\\RESOURCEMAP\\LOADED PARALLEL DRIVER RESOURCES\\Parport");
  SetBinary(parport, "\\Device\\ParallelPort0.Raw", RawResources(0x378));
  SetBinary(parport, "\\Device\\ParallelPort1.Raw", RawResources(0));
  EXPECT_EQ(DetectNTParallelPort(m.ctx(), 0), 0x378);
  EXPECT_EQ(ToDetectLPT(m.ctx(), "LPT1:"), 1);
  EXPECT_EQ(ToDetectLPT(m.ctx(), "LPT2:"), 0) << "base address 0";
  // Only the high byte set still counts.
  SetBinary(parport, "\\Device\\ParallelPort1.Raw", RawResources(0x0100));
  EXPECT_EQ(ToDetectLPT(m.ctx(), "LPT2:"), 1);
  // A value too short to hold an address reads as absent, never past it.
  SetBinary(parport, "\\Device\\ParallelPort1.Raw", {1, 0, 0});
  EXPECT_EQ(ToDetectLPT(m.ctx(), "LPT2:"), 0);
}

TEST(ToDetectLPT, OddDeviceMapValues) {
  test::SimMachine m(WindowsVersion::XP);
  auto* map = m.os().CreateKeyPath(HKEY_LOCAL_MACHINE,
                                   "HARDWARE\\DEVICEMAP\\PARALLEL PORTS");
  SetString(map, "\\Device\\Parallel0", "");
  EXPECT_EQ(ToDetectLPT(m.ctx(), "LPT1:"), 0) << "empty mapping";
  // A value without terminator that fills the whole read buffer.
  sim::RegValue v;
  v.name = "\\Device\\Parallel1";
  v.type = REG_BINARY;
  v.data.assign(1023, 'x');
  v.data.push_back('1');
  map->values[v.name] = v;
  EXPECT_EQ(ToDetectLPT(m.ctx(), "LPT1:"), 0);
  // Longer than the buffer: the read fails.
  v.data.assign(5000, '1');
  map->values[v.name] = v;
  EXPECT_EQ(ToDetectLPT(m.ctx(), "LPT1:"), 0);
}

struct BiosCase {
  WORD word;
  int expected;
};

TEST(ToDetectLPT, BiosDataAreaOnWindows9x) {
  const BiosCase cases[] = {{0x378, 1}, {0x278, 1}, {0x3BC, 1}, {0, 0},
                            {2, 0},     {1, 1},     {0xFFFF, 1}};
  for (auto v :
       {WindowsVersion::Win95, WindowsVersion::Win98, WindowsVersion::WinMe}) {
    for (const auto& c : cases) {
      for (int n = 0; n < 3; ++n) {
        test::SimMachine m(v);
        m.os().SetBiosDataWord(0x08 + 2 * n, c.word);
        const std::string name = "LPT" + std::to_string(n + 1) + ":";
        EXPECT_EQ(ToDetectLPT(m.ctx(), name.c_str()), c.expected)
            << name << " word " << c.word;
        // The other ports stay absent.
        const std::string other = "LPT" + std::to_string((n + 1) % 3 + 1) + ":";
        EXPECT_EQ(ToDetectLPT(m.ctx(), other.c_str()), 0);
      }
    }
  }
}

TEST(ToDetectLPT, OtherWindowsAnswerZero) {
  for (auto v : {WindowsVersion::NT351, WindowsVersion::Win32s}) {
    test::SimMachine m(v);
    MapParallel(m.os(), 0, '1');
    m.os().SetBiosDataWord(0x08, 0x378);
    EXPECT_EQ(ToDetectLPT(m.ctx(), "LPT1:"), 0);
  }
  // The NT family ignores the BIOS words and 9x the device map.
  test::SimMachine nt(WindowsVersion::XP);
  nt.os().SetBiosDataWord(0x08, 0x378);
  EXPECT_EQ(ToDetectLPT(nt.ctx(), "LPT1:"), 0);
  test::SimMachine w9x(WindowsVersion::Win98);
  MapParallel(w9x.os(), 0, '1');
  EXPECT_EQ(ToDetectLPT(w9x.ctx(), "LPT1:"), 0);
}

TEST(ToDetectLPT, Export) {
  test::SimMachine m(WindowsVersion::Win95);
  m.BindExports();
  m.os().SetBiosDataWord(0x0A, 0x278);
  EXPECT_EQ(::ToDetectLPT("lpt2:"), 1);
  EXPECT_EQ(::ToDetectLPT("LPT1:"), 0);
  EXPECT_EQ(::ToDetectLPT(nullptr), 0);
}

}  // namespace
}  // namespace kv
