// A machine folder received from elsewhere: links, FIFOs and devices
// anywhere in it are refused, never followed or waited on, and nothing
// outside the folder changes; registry.reg past Windows' key limits is
// refused.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "sim/sim_platform.h"
#include "tests/native/support/sim_fixture.h"

namespace kv::sim {
namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

enum class Plant { LinkToFile, LinkToDevice, Fifo };

// Puts a link or FIFO at `at`; a link leads to `outside`.
void PlantAt(Plant p, const std::string& at, const std::string& outside) {
  std::error_code ec;
  fs::remove_all(at, ec);
  if (p == Plant::Fifo) {
    ASSERT_EQ(mkfifo(at.c_str(), 0644), 0);
  } else {
    ASSERT_EQ(symlink(p == Plant::LinkToDevice ? "/dev/zero" : outside.c_str(),
                      at.c_str()),
              0);
  }
}

// Each state file (and drive_c) as each foreign kind: the load is refused
// at once naming the file, and the outside file keeps its content.
TEST(HostileFolder, StateFilesThatAreNoFilesAreRefused) {
  for (const char* file :
       {"machine.ini", "registry.reg", "attributes.ini", "drive_c"}) {
    for (Plant p : {Plant::LinkToFile, Plant::LinkToDevice, Plant::Fifo}) {
      SCOPED_TRACE(std::string(file) + " " + std::to_string(int(p)));
      test::TempDir dir;
      const std::string machine = dir.path() + "/m";
      const std::string outside = dir.path() + "/outside";
      { std::ofstream(outside) << "keep"; }
      {
        SimPlatform os(WindowsVersion::XP, machine);
        os.MarkPlaceholder(os.windowsDir() + "\\win.ini");
        ASSERT_TRUE(os.SaveState());
      }
      PlantAt(p, machine + "/" + file, outside);
      const auto started = std::chrono::steady_clock::now();
      SimPlatform os(WindowsVersion::XP, machine);
      std::string why;
      EXPECT_FALSE(os.LoadState(&why));
      EXPECT_NE(why.find(file), std::string::npos) << why;
      EXPECT_LT(std::chrono::steady_clock::now() - started,
                std::chrono::seconds(1));
      // Saving writes the folder's own files, never through the plant.
      os.SaveState();
      EXPECT_EQ(Read(outside), "keep");
    }
  }
}

// Every operation on a path through a link, or naming a FIFO, inside the
// drive is refused; a code page 932 lead byte before '/' hides nothing.
TEST(HostileFolder, DrivePathsNeverLeadOutside) {
  test::TempDir dir;
  const std::string outsideDir = dir.path() + "/outside";
  fs::create_directories(outsideDir);
  { std::ofstream(outsideDir + "/f") << "keep"; }
  SimPlatform os(WindowsVersion::XP, dir.path() + "/m");
  os.SetCodePage(932);
  const std::string drive = dir.path() + "/m/drive_c";
  ASSERT_EQ(symlink(outsideDir.c_str(), (drive + "/linked").c_str()), 0);
  ASSERT_EQ(symlink(outsideDir.c_str(), (drive + "/\x81").c_str()), 0);
  ASSERT_EQ(symlink((outsideDir + "/f").c_str(), (drive + "/f.ini").c_str()),
            0);
  ASSERT_EQ(mkfifo((drive + "/fifo.ini").c_str(), 0644), 0);
  const char* const paths[] = {"C:\\linked\\f", "C:\\LINKED\\new", "C:\\\x81/f",
                               "C:\\f.ini", "C:\\fifo.ini"};
  for (const char* path : paths) {
    SCOPED_TRACE(path);
    const HANDLE h = os.CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_ALWAYS, 0, nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) os.CloseHandle(h);
    EXPECT_FALSE(os.CopyFileA("C:\\WINDOWS\\win.ini", path, FALSE));
    EXPECT_FALSE(os.WritePrivateProfileStringA("s", "k", "v", path));
    char value[16] = {};
    os.GetPrivateProfileStringA("s", "k", "none", value, sizeof value, path);
    EXPECT_STREQ(value, "none");
    EXPECT_FALSE(os.DeleteFileA(path));
    std::string why;
    EXPECT_FALSE(os.CopyIn(dir.path() + "/outside/f", path, &why));
  }
  EXPECT_EQ(Read(outsideDir + "/f"), "keep");
  EXPECT_EQ(std::distance(fs::directory_iterator(outsideDir),
                          fs::directory_iterator()),
            1);
}

// A copy in goes file by file: a link in the source is refused, and so is
// a destination tree holding one; what is copied is an ordinary file.
TEST(HostileFolder, CopiesInNeverFollowLinks) {
  test::TempDir dir;
  const std::string src = dir.path() + "/medium";
  fs::create_directories(src + "/sub");
  { std::ofstream(src + "/sub/a.txt") << "a"; }
  SimPlatform os(WindowsVersion::XP, dir.path() + "/m");
  std::string why;
  ASSERT_TRUE(os.CopyIn(src, "C:\\kvmedia\\deep", &why)) << why;
  std::string text;
  EXPECT_TRUE(os.ReadTextFile("C:\\KVMEDIA\\deep\\SUB\\a.txt", &text));
  EXPECT_EQ(text, "a");
  ASSERT_EQ(symlink("/etc", (src + "/sub/etc").c_str()), 0);
  EXPECT_FALSE(os.CopyIn(src, "C:\\kvmedia\\again", &why));
  EXPECT_NE(why.find("never copied"), std::string::npos) << why;
}

// registry.reg within Windows' limits reads back; one key level or one
// name byte more is refused, as is a small file whose deep keys would be
// saved back past the file's bound.
TEST(HostileFolder, RegistryFilePastWindowsLimitsIsRefused) {
  const auto reg = [](size_t levels, size_t nameLength) {
    std::string path = "HKEY_LOCAL_MACHINE\\" + std::string(nameLength, 'n');
    for (size_t i = 1; i < levels; ++i) path += "\\k";
    return "REGEDIT4\n\n[" + path + "]\n\"v\"=\"x\"\n";
  };
  const struct {
    size_t levels, nameLength;
    bool loads;
  } cases[] = {{SimPlatform::kMaxKeyDepth, 1, true},
               {SimPlatform::kMaxKeyDepth + 1, 1, false},
               {12000, 1, false},
               {2, SimPlatform::kMaxKeyNameLength, true},
               {2, SimPlatform::kMaxKeyNameLength + 1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.levels) + " " + std::to_string(c.nameLength));
    test::TempDir dir;
    SimPlatform os(WindowsVersion::XP, dir.path());
    EXPECT_EQ(os.ImportRegistry(reg(c.levels, c.nameLength)), c.loads);
  }
  // Keys of 500 levels of 200-byte names: a 100 KB header saved back as
  // 500 headers, each repeating the path.
  std::string text = "REGEDIT4\n\n";
  for (int tree = 0; tree < 20; ++tree) {
    std::string path = "[HKEY_LOCAL_MACHINE\\t" + std::to_string(tree);
    for (int i = 0; i < 500; ++i) path += "\\" + std::string(200, 'k');
    text += path + "]\n";
  }
  test::TempDir dir;
  SimPlatform os(WindowsVersion::XP, dir.path());
  EXPECT_FALSE(os.ImportRegistry(text));
}

}  // namespace
}  // namespace kv::sim
