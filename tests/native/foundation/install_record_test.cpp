// The installation record and Windows' shared-file counts: which files a
// removal may take, over a table of how each file came to be where it is.
#include "foundation/install_record.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "foundation/handles.h"
#include "foundation/registry.h"
#include "tests/native/support/sim_fixture.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;

// -1: no count.
long SharedCountOf(SimMachine& m, const std::string& path) {
  RegKey key(m.os());
  BYTE data[4] = {};
  DWORD size = 4, type = 0;
  if (OpenKey(m.os(), HKEY_LOCAL_MACHINE, kSharedDllsKey, key) !=
          ERROR_SUCCESS ||
      m.os().RegQueryValueExA(key.get(), path.c_str(), nullptr, &type, data,
                              &size) != ERROR_SUCCESS)
    return -1;
  return data[0] | data[1] << 8;
}

void SetSharedCount(SimMachine& m, const std::string& path, DWORD count) {
  RegKey key(m.os());
  ASSERT_EQ(CreateKey(m.os(), HKEY_LOCAL_MACHINE, kSharedDllsKey, key),
            ERROR_SUCCESS);
  WriteDword(m.os(), key.get(), path.c_str(), count);
}

// Installs `path` for `product` as a placement of the library would.
void Place(SimMachine& m, const std::string& product, const std::string& path,
           bool existedBefore) {
  m.ctx().recordProduct.clear();
  BeginProductRecord(m.ctx(), product);
  NotePlacedFile(m.ctx(), path, existedBefore);
}

struct Row {
  const char* what;
  const char* name;  // in the system directory, or a full path outside
  std::function<void(SimMachine&, const std::string&)> install;
  bool mayGo;       // ClaimFileForRemoval by product "A"
  long countAfter;  // Windows' count after the claim
};

TEST(InstallRecord, RemovalTakesOnlyWhatTheRecordAndCountsGive) {
  const Row rows[] = {
      {"made by A", "kvcore.dll",
       [](SimMachine& m, const std::string& p) { Place(m, "A", p, false); },
       true, -1},
      {"placed twice by A, counted once", "kvcore.dll",
       [](SimMachine& m, const std::string& p) {
         Place(m, "A", p, false);
         Place(m, "A", p, false);
       },
       true, -1},
      {"there before without a count", "kvcore.dll",
       [](SimMachine& m, const std::string& p) { Place(m, "A", p, true); },
       false, 1},
      {"counted by another installer", "kvcore.dll",
       [](SimMachine& m, const std::string& p) {
         SetSharedCount(m, p, 3);
         Place(m, "A", p, true);
       },
       false, 3},
      {"shared with product B", "kvcore.dll",
       [](SimMachine& m, const std::string& p) {
         Place(m, "A", p, false);
         Place(m, "B", p, true);
       },
       false, 1},
      {"B's alone", "kvcore.dll",
       [](SimMachine& m, const std::string& p) { Place(m, "B", p, false); },
       false, 1},
      {"counted by someone, never by A", "kvcore.dll",
       [](SimMachine& m, const std::string& p) { SetSharedCount(m, p, 1); },
       false, 1},
      {"known to nothing: the caller's rules", "kvcore.dll",
       [](SimMachine&, const std::string&) {}, true, -1},
      {"A's record, count gone", "kvcore.dll",
       [](SimMachine& m, const std::string& p) {
         Place(m, "A", p, false);
         RegKey key(m.os());
         OpenKey(m.os(), HKEY_LOCAL_MACHINE, kSharedDllsKey, key);
         m.os().RegDeleteValueA(key.get(), p.c_str());
       },
       false, -1},
      {"Windows' redistributed file: A's share back, the file kept",
       "MFC42.DLL",
       [](SimMachine& m, const std::string& p) { Place(m, "A", p, false); },
       false, -1},
      {"made by A outside the Windows folder", "C:\\kvstage\\kv.dll",
       [](SimMachine& m, const std::string& p) { Place(m, "A", p, false); },
       true, -1},
      {"found by A outside the Windows folder", "C:\\kvstage\\kv.dll",
       [](SimMachine& m, const std::string& p) { Place(m, "A", p, true); },
       false, -1},
  };
  for (const WindowsVersion v :
       {WindowsVersion::Win98, WindowsVersion::NT4, WindowsVersion::XP}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(sim::WindowsVersionName(v)) + ": " + row.what);
      SimMachine m(v);
      const std::string name = row.name;
      const std::string path =
          name[1] == ':' ? name : m.os().systemDir() + "\\" + name;
      row.install(m, path);
      m.ctx().recordProduct = "A";
      EXPECT_EQ(ClaimFileForRemoval(m.ctx(), path), row.mayGo);
      EXPECT_EQ(SharedCountOf(m, path), row.countAfter);
      // What stays now must not be deferred to the next start either.
      if (!row.mayGo) {
        EXPECT_TRUE(IsKeptFile(m.ctx(), path));
      }
    }
  }
}

// Windows' file protection decides where the system has it (Me, 2000 and
// later); the earlier systems lack it and the file is the caller's to judge.
TEST(InstallRecord, ProtectedFilesStayWhereWindowsProtectsThem) {
  for (const WindowsVersion v :
       {WindowsVersion::Win95, WindowsVersion::Win98, WindowsVersion::WinMe,
        WindowsVersion::NT4, WindowsVersion::Win2000, WindowsVersion::XP}) {
    SCOPED_TRACE(sim::WindowsVersionName(v));
    SimMachine m(v);
    const std::string path = m.os().systemDir() + "\\kvguard.dll";
    m.os().ProtectFile(path);
    const bool hasProtection = v != WindowsVersion::Win95 &&
                               v != WindowsVersion::Win98 &&
                               v != WindowsVersion::NT4;
    EXPECT_EQ(IsWindowsOwnFile(m.ctx(), path), hasProtection);
    EXPECT_EQ(ClaimFileForRemoval(m.ctx(), path), !hasProtection);
  }
}

// The record goes with its product, and the maker's keys with the last.
TEST(InstallRecord, DeletingTheLastRecordLeavesNoMakerKey) {
  SimMachine m(WindowsVersion::Win98);
  const std::string path = m.os().systemDir() + "\\kvcore.dll";
  Place(m, "A", path, false);
  Place(m, "B", path, false);
  DeleteProductRecord(m.ctx(), "A");
  EXPECT_EQ(RecordedFiles(m.ctx(), "B").size(), 1u);
  DeleteProductRecord(m.ctx(), "B");
  RegKey key(m.os());
  EXPECT_EQ(OpenKey(m.os(), HKEY_LOCAL_MACHINE, kMakerKey, key),
            ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace kv::test
