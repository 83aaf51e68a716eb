// The device-finder record through its exports.
#include <gtest/gtest.h>

#include <cstring>

#include "exports/ports_exports.h"
#include "foundation/context.h"
#include "tests/native/support/sim_fixture.h"

namespace kv::test {
namespace {

TEST(DeviceFinder, EmptyRecordThenFilledThroughThePointer) {
  SimMachine m(sim::WindowsVersion::XP);
  m.BindExports();
  char out[256] = "x";
  EXPECT_EQ(DF_GetAddress(out), out);
  EXPECT_STREQ(out, "");
  char mac[18] = {};
  EXPECT_EQ(DF_GetMacAddress(mac), 17);
  EXPECT_STREQ(mac, "00:00:00:00:00:00");

  auto* record = static_cast<BYTE*>(DF_GetPoint());
  ASSERT_NE(record, nullptr);
  std::strcpy(reinterpret_cast<char*>(record), "192.168.0.9");
  std::strcpy(reinterpret_cast<char*>(record + 128), "KV-3100");
  std::strcpy(reinterpret_cast<char*>(record + 384), "Office printer");
  std::strcpy(reinterpret_cast<char*>(record + 640), "Second floor laser");
  std::strcpy(reinterpret_cast<char*>(record + 896), "Room 2.14");
  const BYTE hw[6] = {0x00, 0x0A, 0xFF, 0x01, 0x02, 0x03};
  std::memcpy(record + 1152, hw, 6);
  // The filling component may write past the hardware address.
  std::memset(record + 1158, 0xEE, 1018);

  EXPECT_STREQ(DF_GetAddress(out), "192.168.0.9");
  EXPECT_STREQ(DF_GetModelName(out), "KV-3100");
  EXPECT_STREQ(DF_GetName(out), "Office printer");
  EXPECT_STREQ(DF_GetDescription(out), "Second floor laser");
  EXPECT_STREQ(DF_GetLocation(out), "Room 2.14");
  EXPECT_EQ(DF_GetMacAddress(mac), 17);
  EXPECT_STREQ(mac, "00:0A:FF:01:02:03");

  // Fields filled to the brim without a terminator are cut, not overrun.
  std::memset(record, 'A', 128);
  std::memset(record + 896, 'L', 256);
  char small[128];
  EXPECT_EQ(std::strlen(DF_GetAddress(small)), 127u);
  EXPECT_EQ(std::strlen(DF_GetLocation(out)), 255u);
}

struct SplitCase {
  std::string source;
  std::vector<std::string> expected;
};

TEST(DeviceFinder, ListSplitsIntoFour) {
  const SplitCase cases[] = {
      {"A,B,C,D", {"A", "B", "C", "D"}},
      {"A,B", {"A", "B", "", ""}},
      {"A,B,C,D,E", {"A", "B", "C", "D"}},
      {"A,,B,C", {"A", "", "", ""}},
      {"", {"", "", "", ""}},
      {",A,B", {"", "", "", ""}},
      {"only", {"only", "", "", ""}},
      {"A,B,C,", {"A", "B", "C", ""}},
      {std::string(1500, 'z'), {std::string(1023, 'z'), "", "", ""}},
      {std::string(1020, 'z') + ",abc,d",
       {std::string(1020, 'z'), "ab", "", ""}},
  };
  for (const auto& c : cases) {
    char o[4][1024];
    std::memset(o, 'X', sizeof o);
    DF_ListStrtoStr4(c.source.c_str(), o[0], o[1], o[2], o[3]);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(o[i], c.expected[i]) << c.source.substr(0, 20) << " #" << i;
  }
  char a[8];
  DF_ListStrtoStr4(nullptr, a, nullptr, nullptr, nullptr);
  EXPECT_STREQ(a, "");
}

}  // namespace
}  // namespace kv::test
