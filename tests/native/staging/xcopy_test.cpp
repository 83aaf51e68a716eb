// Xcopy on the simulated machine: a medium tree of several levels per
// installer type and Windows family, compared file by file with the
// selection each should make.
#include "staging/xcopy.h"

#include <gtest/gtest.h>

#include "exports/staging_exports.h"
#include "tests/native/support/sim_fixture.h"
#include "tests/native/support/staging_support.h"

namespace kv::test {
namespace {

// The medium: top-level files and folders, a product folder "Driver" with
// the selected folder E and OS folders below it, and a top-level E.
const char* const kMedium[] = {
    "readme.txt",
    "KV-RelayQV\\relay.txt",
    "Driver\\top.txt",
    "Driver\\E\\e.txt",
    "Driver\\E\\2k\\a.dll",
    "Driver\\E\\2k\\sub\\deep.txt",
    "Driver\\E\\xp\\b.dll",
    "Driver\\E\\9xme\\c.dll",
    "Driver\\E\\NT40\\d.dll",
    "Driver\\E\\2kxp\\f.dll",
    "Driver\\E\\bin\\tool.exe",
    "Driver\\E\\bin\\more\\x.bin",
    "Driver\\E\\other\\o.txt",
    "Driver\\F\\f.txt",
    "E\\e0.txt",
    "E\\2k\\no.txt",
    "E\\xp\\no.txt",
    "E\\scan\\s.txt",
    "E\\scan\\2k\\z.txt",
    "E\\scan\\deeper\\d.txt",
    "E\\scan\\2kxp\\m.txt",
    "E\\scan\\2kxp\\deep\\n.txt",
};

// Destination root with three backslashes: its entries are at level 0.
constexpr const char* kDest = "C:\\DEST\\A\\B";

class XcopyTest : public ::testing::Test {
 protected:
  void Make(sim::WindowsVersion v) {
    m = std::make_unique<SimMachine>(v);
    for (const char* f : kMedium)
      WriteHost(m->os().HostPath(std::string("C:\\MEDIUM\\") + f), f);
    std::filesystem::create_directories(m->os().HostPath(kDest));
  }
  std::set<std::string> Copied() {
    return TreeListing(m->os().HostPath(kDest));
  }
  std::unique_ptr<SimMachine> m;
};

using Listing = std::set<std::string>;

const Listing kOcelotCommon = {"Driver\\",
                               "Driver\\top.txt",
                               "Driver\\E\\",
                               "Driver\\E\\e.txt",
                               "Driver\\E\\bin\\",
                               "Driver\\E\\bin\\tool.exe",
                               "Driver\\E\\bin\\more\\",
                               "Driver\\E\\bin\\more\\x.bin",
                               "E\\",
                               "E\\e0.txt"};

Listing With(Listing base, std::initializer_list<const char*> more) {
  for (const char* m : more) base.insert(m);
  return base;
}

struct SelectionCase {
  sim::WindowsVersion version;
  const char* type;
  Listing expected;
};

TEST_F(XcopyTest, EachTypeAndFamilyTakesItsBranches) {
  using V = sim::WindowsVersion;
  const Listing ocelot2k = With(
      kOcelotCommon, {"Driver\\E\\2k\\", "Driver\\E\\2k\\a.dll",
                      "Driver\\E\\2k\\sub\\", "Driver\\E\\2k\\sub\\deep.txt"});
  const Listing ocelotXp =
      With(kOcelotCommon, {"Driver\\E\\xp\\", "Driver\\E\\xp\\b.dll"});
  const Listing ocelot9x =
      With(kOcelotCommon, {"Driver\\E\\9xme\\", "Driver\\E\\9xme\\c.dll"});
  const Listing ocelotNt =
      With(kOcelotCommon, {"Driver\\E\\NT40\\", "Driver\\E\\NT40\\d.dll"});
  const Listing marlinBase = {"E\\",           "E\\e0.txt",     "E\\2k\\",
                              "E\\2k\\no.txt", "E\\xp\\",       "E\\xp\\no.txt",
                              "E\\scan\\",     "E\\scan\\s.txt"};
  const Listing marlin2kxp =
      With(marlinBase, {"E\\scan\\2kxp\\", "E\\scan\\2kxp\\m.txt"});
  const Listing lnkscan = {"E\\",
                           "E\\e0.txt",
                           "E\\scan\\",
                           "E\\scan\\s.txt",
                           "E\\scan\\deeper\\",
                           "E\\scan\\deeper\\d.txt",
                           "E\\scan\\2kxp\\",
                           "E\\scan\\2kxp\\m.txt",
                           "E\\scan\\2kxp\\deep\\",
                           "E\\scan\\2kxp\\deep\\n.txt"};
  const SelectionCase cases[] = {
      {V::Win2000, "Ocelot2", ocelot2k},
      {V::XP, "Ocelot2", ocelotXp},
      {V::Server2003, "ocelot2", ocelotXp},
      {V::Win98, "Ocelot2", ocelot9x},
      {V::WinMe, "OCELOT2AR", ocelot9x},
      {V::NT4, "Ocelot2AR", ocelotNt},
      {V::Win2000, "Ocelot2AR", ocelot2k},
      {V::XP, "MarlinPDL", marlin2kxp},
      {V::Win2000, "marlinpdl", marlin2kxp},
      {V::Win95, "MarlinPDL", marlinBase},
      {V::NT4, "MarlinPDL", marlinBase},
      {V::XP, "LNKSCAN", lnkscan},
      {V::Win95, "lnkscan", lnkscan},
      {V::NT351, "LNKSCAN", lnkscan},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " on " +
                 sim::WindowsVersionName(c.version));
    Make(c.version);
    EXPECT_NE(Xcopy(m->ctx(), "C:\\MEDIUM", kDest, "E", c.type), 0);
    EXPECT_EQ(Copied(), c.expected);
    EXPECT_TRUE(m->os().messageBoxes().empty());
    // Copies carry the source's bytes and normal attributes.
    for (const auto& f : c.expected) {
      if (f.back() == '\\') continue;
      const std::string dst = std::string(kDest) + "\\" + f;
      EXPECT_EQ(ReadHost(m->os().HostPath(dst)), f);
      EXPECT_EQ(m->os().GetFileAttributesA(dst.c_str()), FILE_ATTRIBUTE_NORMAL);
    }
  }
}

TEST_F(XcopyTest, UnknownTypeShowsItsMessagePerEntryAndCopiesNothing) {
  Make(sim::WindowsVersion::XP);
  EXPECT_NE(Xcopy(m->ctx(), "C:\\MEDIUM", kDest, "E", "Ocelot3"), 0);
  EXPECT_TRUE(Copied().empty());
  const auto& boxes = m->os().messageBoxes();
  ASSERT_EQ(boxes.size(), 4u);  // readme.txt, KV-RelayQV, Driver, E
  for (const auto& b : boxes) {
    EXPECT_EQ(b.text, "Unknown Installer Type!!");
    EXPECT_EQ(b.caption, "ERROR");
    EXPECT_EQ(b.type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(b.owner, nullptr);
  }
}

TEST_F(XcopyTest, UnknownOsShowsItsMessageAndTakesNoOsFolder) {
  Make(sim::WindowsVersion::NT351);
  Xcopy(m->ctx(), "C:\\MEDIUM", kDest, "E", "Ocelot2");
  EXPECT_EQ(Copied(), kOcelotCommon);
  // One message per entry of every directory walked.
  size_t entries = 4 /* top */ + 3 /* Driver */ + 4 /* E */ + 8 /* Driver\E */ +
                   2 /* bin */ + 1 /* more */;
  EXPECT_EQ(m->os().messageBoxes().size(), entries);
  for (const auto& b : m->os().messageBoxes()) EXPECT_EQ(b.text, "Unknown OS");
}

TEST_F(XcopyTest, TrailingBackslashes) {
  Make(sim::WindowsVersion::XP);
  // On the source: still one backslash before "*.*".
  m->os().ClearOperations();
  Xcopy(m->ctx(), "C:\\MEDIUM\\", kDest, "E", "LNKSCAN");
  bool sawPattern = false;
  for (const auto& op : m->os().operations())
    if (op.rfind("FindFirstFileA(\"C:\\MEDIUM\\*.*\")", 0) == 0)
      sawPattern = true;
  EXPECT_TRUE(sawPattern);
  EXPECT_TRUE(Copied().count("E\\scan\\s.txt"));

  // On the destination: the doubled separator counts, so the direct entries
  // are at level 1 and Ocelot2 copies the top-level file.
  Make(sim::WindowsVersion::XP);
  Xcopy(m->ctx(), "C:\\MEDIUM", std::string(kDest) + "\\", "E", "Ocelot2");
  const auto copied = Copied();
  EXPECT_TRUE(copied.count("readme.txt"));
  EXPECT_FALSE(copied.count("Driver\\"));  // level 1, not the selected folder
  EXPECT_TRUE(copied.count("E\\"));
}

TEST_F(XcopyTest, MissingSourceGivesZeroAndWritesNothing) {
  Make(sim::WindowsVersion::XP);
  EXPECT_EQ(Xcopy(m->ctx(), "C:\\NOWHERE", kDest, "E", "Ocelot2"), 0);
  EXPECT_TRUE(Copied().empty());
}

TEST_F(XcopyTest, DirectoriesOfMoreThan256EntriesAreCopiedCompletely) {
  Make(sim::WindowsVersion::Win2000);
  // LNKSCAN: all of E is taken; 300 files and, sorted after them, 40
  // folders whose entry positions lie beyond 256.
  Listing expected = {"E\\"};
  for (int i = 0; i < 300; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "E\\f%03d.txt", i);
    WriteHost(m->os().HostPath(std::string("C:\\BIG\\") + name), name);
    expected.insert(name);
  }
  for (int i = 0; i < 40; ++i) {
    char dir[32];
    std::snprintf(dir, sizeof dir, "E\\z%02d\\", i);
    WriteHost(m->os().HostPath(std::string("C:\\BIG\\") + dir + "in.txt"), "x");
    expected.insert(dir);
    expected.insert(std::string(dir) + "in.txt");
  }
  EXPECT_NE(Xcopy(m->ctx(), "C:\\BIG", kDest, "E", "LNKSCAN"), 0);
  EXPECT_EQ(Copied(), expected);
}

TEST_F(XcopyTest, PathsTooLongToBuildArePassedOverNotCut) {
  Make(sim::WindowsVersion::XP);
  // Destination entries: kDest (11) + "\E\" (3) + name. A name making 259 is
  // copied, one making 260 is passed over (and no shortened name appears).
  const std::string ok = std::string(259 - 14 - 4, 'k') + ".TXT";
  const std::string tooLong = std::string(260 - 14 - 4, 'L') + ".TXT";
  // The sources live in a shorter tree, so only the destination overflows.
  const std::string src = "C:\\S";
  WriteHost(m->os().HostPath(src + "\\E\\" + ok), "fits");
  WriteHost(m->os().HostPath(src + "\\E\\" + tooLong), "too long");
  m->os().SetLastError(kStaleError);
  EXPECT_EQ(Xcopy(m->ctx(), src, kDest, "E", "LNKSCAN"), 0);
  EXPECT_EQ(m->os().GetLastError(), DWORD{ERROR_FILENAME_EXCED_RANGE});
  EXPECT_EQ(Copied(), (Listing{"E\\", "E\\" + ok}));
  // Too long but not selected (a file at level 0): no failure.
  Make(sim::WindowsVersion::XP);
  WriteHost(m->os().HostPath(src + "\\" + tooLong + "X"), "top");
  WriteHost(m->os().HostPath(src + "\\E\\" + ok), "fits");
  EXPECT_EQ(Xcopy(m->ctx(), src, kDest, "E", "LNKSCAN"), 1);
}

// A destination that is the source tree, or lies inside it however it is
// spelled, would be walked while it fills: refused before anything is made.
// The NT family compares folders by identity, Windows 9x by path.
TEST_F(XcopyTest, DestinationInsideTheSourceTreeIsRefused) {
  const char* const destinations[] = {
      "C:\\MEDIUM",
      "c:\\medium",
      "C:\\MEDIUM\\",
      "C:\\.\\MEDIUM",
      "C:\\X\\..\\MEDIUM",
      "C:\\\\MEDIUM\\\\",
      "C:/MEDIUM",
      "\\MEDIUM",
      "C:\\MEDIUM\\Driver",
      "C:\\medium\\driver\\E\\new\\deeper",
      "C:\\MEDIUM\\.\\E\\..",
      "C:\\MEDIUM\\missing",
  };
  for (auto v : {sim::WindowsVersion::Win98, sim::WindowsVersion::XP}) {
    Make(v);
    const Listing medium = TreeListing(m->os().HostPath("C:\\MEDIUM"));
    for (const char* dest : destinations) {
      SCOPED_TRACE(dest);
      m->os().ClearOperations();
      m->os().SetLastError(kStaleError);
      EXPECT_EQ(Xcopy(m->ctx(), "C:\\MEDIUM", dest, "E", "Ocelot2"), 0);
      EXPECT_EQ(m->os().GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
      EXPECT_EQ(m->os().CountOperations("CopyFileA") +
                    m->os().CountOperations("CreateDirectoryA") +
                    m->os().CountOperations("FindFirstFileA"),
                0u);
    }
    // The drive's root holds every folder.
    EXPECT_EQ(Xcopy(m->ctx(), "C:\\", kDest, "AAA", "LNKSCAN"), 0);
    EXPECT_EQ(TreeListing(m->os().HostPath("C:\\MEDIUM")), medium);
    EXPECT_EQ(Copied(), Listing{});
    // A sibling whose name starts like the source is not inside it.
    EXPECT_NE(Xcopy(m->ctx(), "C:\\MEDIUM\\E", "C:\\MEDIUM2", "E", "LNKSCAN"),
              0);
  }
}

// A file Xcopy could not replace keeps its content and its attributes, and
// the answer is 0 with the copy's error; the files it did copy are made
// normal.
TEST_F(XcopyTest, FileNotReplacedKeepsItsAttributes) {
  const struct {
    const char* name;
    DWORD attributes;
    bool inUse;
    bool copyFails;
    DWORD error;
  } cases[] = {
      {"read-only", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, false,
       false, ERROR_ACCESS_DENIED},
      {"in use", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, true, false,
       ERROR_SHARING_VIOLATION},
      {"copy fails", FILE_ATTRIBUTE_SYSTEM, false, true,
       ERROR_HANDLE_DISK_FULL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Make(sim::WindowsVersion::XP);
    sim::SimPlatform& os = m->os();
    const std::string kept = std::string(kDest) + "\\E\\e0.txt";
    WriteHost(os.HostPath(kept), "installed");
    os.SetFileAttributesA(kept.c_str(), c.attributes);
    os.SetFileInUse(kept, c.inUse);
    if (c.copyFails) os.FailOperation("CopyFileA", ERROR_HANDLE_DISK_FULL);
    os.SetLastError(kStaleError);
    EXPECT_EQ(Xcopy(m->ctx(), "C:\\MEDIUM", kDest, "E", "LNKSCAN"), 0);
    EXPECT_EQ(os.GetLastError(), c.error);
    EXPECT_EQ(os.GetFileAttributesA(kept.c_str()), c.attributes);
    EXPECT_EQ(ReadHost(os.HostPath(kept)), "installed");
    const std::string copied = std::string(kDest) + "\\E\\scan\\s.txt";
    EXPECT_EQ(ReadHost(os.HostPath(copied)), "E\\scan\\s.txt");
    EXPECT_EQ(os.GetFileAttributesA(copied.c_str()),
              DWORD{FILE_ATTRIBUTE_NORMAL});
  }
}

// A file or folder that was selected but is not in place makes the answer 0
// with the first failure's error, while the rest of the tree is still copied.
// LNKSCAN on this medium: searches of MEDIUM, E, scan, 2kxp, deeper, deep;
// folders E, scan, 2kxp, deeper, deep and files e0, s, m, d, n in that order.
TEST_F(XcopyTest, AnswersZeroWhenASelectedEntryIsLeftOut) {
  constexpr DWORD kNotReady = 21;
  struct Fault {
    const char* operation;
    int skip;
    DWORD error;
  };
  const struct {
    const char* name;
    std::vector<Fault> faults;
    const char* inTheWay;  // put at the destination first ("X\\": a folder)
    int result;
    DWORD error;
    std::vector<std::string> absent;  // prefixes of the listing left out
  } cases[] = {
      {"a copy",
       {{"CopyFileA", 0, ERROR_HANDLE_DISK_FULL}},
       nullptr,
       0,
       ERROR_HANDLE_DISK_FULL,
       {"E\\e0.txt"}},
      {"attributes of a copy",
       {{"SetFileAttributesA", 1, ERROR_ACCESS_DENIED}},
       nullptr,
       0,
       ERROR_ACCESS_DENIED,
       {}},
      {"a folder",
       {{"CreateDirectoryA", 1, ERROR_ACCESS_DENIED}},
       nullptr,
       0,
       ERROR_ACCESS_DENIED,
       {"E\\scan\\"}},
      {"a file in a folder's place",
       {},
       "E\\scan",
       0,
       ERROR_ALREADY_EXISTS,
       {"E\\scan\\"}},
      {"a folder already there",
       {{"CreateDirectoryA", 1, ERROR_ACCESS_DENIED}},
       "E\\scan\\",
       1,
       0,
       {}},
      {"a sub-folder's search",
       {{"FindFirstFileA", 2, kNotReady}},
       nullptr,
       0,
       kNotReady,
       {"E\\scan\\2kxp\\", "E\\scan\\deeper\\", "E\\scan\\s.txt"}},
      {"an empty sub-folder",
       {{"FindFirstFileA", 2, ERROR_FILE_NOT_FOUND}},
       nullptr,
       1,
       0,
       {"E\\scan\\2kxp\\", "E\\scan\\deeper\\", "E\\scan\\s.txt"}},
      {"the top search",
       {{"FindFirstFileA", 0, kNotReady}},
       nullptr,
       0,
       kNotReady,
       {"E\\"}},
      {"a search broken off",
       {{"FindNextFileA", 8, kNotReady}},
       nullptr,
       0,
       kNotReady,
       {"E\\e0.txt", "E\\scan\\"}},
      {"a search that fails to close",
       {{"FindClose", 0, ERROR_INVALID_HANDLE}},
       nullptr,
       1,
       0,
       {}},
      {"the first of two failures",
       {{"CopyFileA", 0, ERROR_HANDLE_DISK_FULL},
        {"CreateDirectoryA", 1, ERROR_ACCESS_DENIED}},
       nullptr,
       0,
       ERROR_HANDLE_DISK_FULL,
       {"E\\e0.txt", "E\\scan\\"}},
  };
  Make(sim::WindowsVersion::XP);
  ASSERT_EQ(Xcopy(m->ctx(), "C:\\MEDIUM", kDest, "E", "LNKSCAN"), 1);
  const Listing whole = Copied();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Make(sim::WindowsVersion::XP);
    Listing expected;
    for (const auto& entry : whole) {
      bool left = false;
      for (const auto& prefix : c.absent)
        left = left || entry.compare(0, prefix.size(), prefix) == 0;
      if (!left) expected.insert(entry);
    }
    if (c.inTheWay) {
      const std::string at = std::string(kDest) + "\\" + c.inTheWay;
      if (at.back() == '\\')
        std::filesystem::create_directories(m->os().HostPath(at));
      else
        WriteHost(m->os().HostPath(at), "in the way");
      expected.insert(c.inTheWay);
    }
    for (const auto& f : c.faults)
      m->os().FailOperation(f.operation, f.error, f.skip);
    m->os().SetLastError(kStaleError);
    EXPECT_EQ(Xcopy(m->ctx(), "C:\\MEDIUM", kDest, "E", "LNKSCAN"), c.result);
    if (c.result == 0) {
      EXPECT_EQ(m->os().GetLastError(), c.error);
    }
    EXPECT_EQ(Copied(), expected);
  }
}

TEST_F(XcopyTest, ParentIsEnumeratedBeforeItsFoldersAreEntered) {
  Make(sim::WindowsVersion::Win2000);
  m->os().ClearOperations();
  Xcopy(m->ctx(), "C:\\MEDIUM", kDest, "E", "Ocelot2");
  // Both top-level folders are created before either is searched, and at
  // most one search is open at a time.
  std::vector<std::string> order;
  int open = 0, maxOpen = 0;
  for (const auto& op : m->os().operations()) {
    if (op.rfind("CreateDirectoryA(\"C:\\DEST\\A\\B\\Driver\"", 0) == 0)
      order.push_back("create Driver");
    if (op.rfind("CreateDirectoryA(\"C:\\DEST\\A\\B\\E\"", 0) == 0)
      order.push_back("create E");
    if (op.rfind("FindFirstFileA(\"C:\\MEDIUM\\Driver\\*.*\"", 0) == 0)
      order.push_back("search Driver");
    if (op.rfind("FindFirstFileA(", 0) == 0)
      maxOpen = std::max(maxOpen, ++open);
    if (op.rfind("FindClose(", 0) == 0) --open;
  }
  EXPECT_EQ(order, (std::vector<std::string>{"create Driver", "create E",
                                             "search Driver"}));
  EXPECT_EQ(maxOpen, 1);
  EXPECT_EQ(open, 0);
}

TEST_F(XcopyTest, ExportToleratesNullArguments) {
  Make(sim::WindowsVersion::XP);
  m->BindExports();
  EXPECT_EQ(::Xcopy(nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_NE(::Xcopy("C:\\MEDIUM", kDest, "E", "LNKSCAN"), 0);
  EXPECT_TRUE(Copied().count("E\\e0.txt"));
}

}  // namespace
}  // namespace kv::test
