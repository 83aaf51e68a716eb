// Snapshots and the leftover report at their edges: the registry trees and
// folders a snapshot must reach, and known items that hold for one family
// of Windows only.
//
// Registry paths are spelled here as Windows spells them, not taken from the
// product's constants: a misspelt constant would otherwise move the snapshot
// and this test together.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "foundation/registry.h"
#include "host/leftovers.h"
#include "host/snapshot.h"
#include "tests/native/support/sim_fixture.h"

namespace kv::host {
namespace {

using sim::WindowsVersion;

bool Has(const Snapshot& s, SnapshotGroup group, const char* kind,
         std::vector<std::string> names) {
  return s.facts.count(FactIdentity({group, kind, std::move(names), ""})) == 1;
}

// A key (and a value in it) written below each tree installation writes
// to shows in the snapshot under the tree's Windows path.
TEST(SnapshotEdges, RecordsEveryTreeInstallationWrites) {
  const char* const kPrint = "SYSTEM\\CurrentControlSet\\Control\\Print";
  const struct {
    WindowsVersion version;
    HKEY root;
    const char* rootName;
    std::string path;
    SnapshotGroup group;
  } cases[] = {
      {WindowsVersion::XP, HKEY_LOCAL_MACHINE, "HKLM",
       std::string(kPrint) + "\\Printers\\KV", SnapshotGroup::kRegistry},
      {WindowsVersion::XP, HKEY_LOCAL_MACHINE, "HKLM",
       std::string(kPrint) + "\\Monitors\\KV", SnapshotGroup::kRegistry},
      {WindowsVersion::XP, HKEY_LOCAL_MACHINE, "HKLM",
       "SYSTEM\\CurrentControlSet\\Services\\KvLpt", SnapshotGroup::kServices},
      {WindowsVersion::Win98, HKEY_LOCAL_MACHINE, "HKLM",
       "Enum\\LPTENUM\\KORVAKV", SnapshotGroup::kRegistry},
      {WindowsVersion::XP, HKEY_LOCAL_MACHINE, "HKLM",
       "SYSTEM\\CurrentControlSet\\Control\\Class\\"
       "{4D36E979-E325-11CE-BFC1-08002BE10318}\\0009",
       SnapshotGroup::kRegistry},
      {WindowsVersion::XP, HKEY_LOCAL_MACHINE, "HKLM", "Software\\KORVA\\KV",
       SnapshotGroup::kRegistry},
      {WindowsVersion::XP, HKEY_LOCAL_MACHINE, "HKLM",
       "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\KV",
       SnapshotGroup::kRegistry},
      {WindowsVersion::XP, HKEY_LOCAL_MACHINE, "HKLM",
       "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports\\KV",
       SnapshotGroup::kRegistry},
      {WindowsVersion::Win98, HKEY_CURRENT_CONFIG, "HKCC",
       std::string(kPrint) + "\\Printers\\KV", SnapshotGroup::kRegistry},
      {WindowsVersion::XP, HKEY_CURRENT_USER, "HKCU",
       "Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices\\KV",
       SnapshotGroup::kRegistry},
      {WindowsVersion::XP, HKEY_CURRENT_USER, "HKCU",
       "Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts\\KV",
       SnapshotGroup::kRegistry},
      {WindowsVersion::XP, HKEY_CURRENT_USER, "HKCU",
       "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\KV",
       SnapshotGroup::kRegistry},
      {WindowsVersion::XP, HKEY_CURRENT_USER, "HKCU", "Printers\\KV",
       SnapshotGroup::kRegistry},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.rootName) + "\\" + c.path);
    test::SimMachine m(c.version);
    auto& os = m.os();
    {
      RegKey key(os);
      ASSERT_EQ(CreateKey(os, c.root, c.path, key), ERROR_SUCCESS);
      WriteString(os, key.get(), "KvValue", "kv");
    }
    const Snapshot s = TakeSnapshot(os);
    const std::string name = std::string(c.rootName) + "\\" + c.path;
    EXPECT_TRUE(Has(s, c.group, "key", {name}));
    EXPECT_TRUE(Has(s, c.group, "value", {name, "KvValue"}));
  }
}

// The per-user scanner folder lies outside the Windows directory on 2000
// and XP: the snapshot still lists what is in it, so that a file removal
// leaves there shows.
TEST(SnapshotEdges, PerUserScannerFolderIsRecorded) {
  for (const WindowsVersion v : {WindowsVersion::Win98, WindowsVersion::NT4,
                                 WindowsVersion::Win2000, WindowsVersion::XP}) {
    SCOPED_TRACE(sim::WindowsVersionName(v));
    test::SimMachine m(v);
    auto& os = m.os();
    ASSERT_TRUE(
        os.CreateDirectoryA((os.appDataDir() + "\\Korva").c_str(), nullptr));
    const Snapshot before = TakeSnapshot(os);
    ASSERT_TRUE(os.WriteTextFile(
        os.appDataDir() + "\\Korva\\ScannerDriver\\KVS\\PREF.DAT", "x"));
    const Snapshot after = TakeSnapshot(os);
    EXPECT_TRUE(Has(after, SnapshotGroup::kFiles, "file",
                    {"%APPDATA%\\Korva\\ScannerDriver\\KVS\\PREF.DAT"}));
    EXPECT_FALSE(CompareSnapshots(before, after).clean());
  }
}

// A driver file left in the spooler's version-3 folder is excused on
// Windows 9x (the sample script copies it there, 9x removal looks in the
// system directory) and on NT 4.0 (Wine files its drivers as version 3);
// on every other Windows it is a leftover.
TEST(LeftoversEdges, FamilyItemsExcuseOnlyTheirFamily) {
  for (const test::VersionCase& v : test::AllVersions()) {
    SCOPED_TRACE(v.name);
    test::SimMachine m(v.version);
    auto& os = m.os();
    const std::string folder = os.systemDir() + "\\spool\\drivers\\w32x86\\3";
    ASSERT_TRUE(os.WriteTextFile(folder + "\\old.dll", "x"));
    const Snapshot before = TakeSnapshot(os);
    ASSERT_TRUE(os.WriteTextFile(folder + "\\kvdrv.dll", "x"));
    const LeftoverReport report = CompareSnapshots(before, TakeSnapshot(os));
    ASSERT_EQ(report.differences.size(), 1u);
    EXPECT_EQ(report.clean(),
              v.osKind == OsKind::Win9x || v.osKind == OsKind::NT4);
  }
}

}  // namespace
}  // namespace kv::host
