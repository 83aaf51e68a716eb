// The registry as .reg text and the machine saved to and loaded from its
// folder.
#include <gtest/gtest.h>
#include <pthread.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "sim/sim_services.h"
#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

using sim::WindowsVersion;
using test::SimMachine;

// Sets a value of `size` bytes (all of `bytes` when -1).
void Set(sim::SimPlatform& os, const char* path, const char* name, DWORD type,
         const std::string& bytes, long size = -1) {
  HKEY key = nullptr;
  ASSERT_EQ(os.RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0,
                               KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(os.RegSetValueExA(
                key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                static_cast<DWORD>(size < 0 ? bytes.size() : size_t(size))),
            ERROR_SUCCESS);
  os.RegCloseKey(key);
}

std::vector<BYTE> Stored(sim::SimPlatform& os, const char* path,
                         const char* name) {
  const sim::RegNode* node = os.FindKey(HKEY_LOCAL_MACHINE, path);
  if (!node) return {BYTE(0xEE)};
  auto it = node->values.find(name);
  return it == node->values.end() ? std::vector<BYTE>{BYTE(0xEE)}
                                  : it->second.data;
}

// Values every writer of the format trips over, in one key.
void FillAwkwardValues(sim::SimPlatform& os) {
  const char* k = "SOFTWARE\\Test\\Awkward \"Key\"";
  // A string after which memory holds a non-NUL byte stays unterminated.
  const std::string quoted = std::string("C:\\Path \"q\"\0", 12);
  Set(os, k, "", REG_SZ, quoted);
  Set(os, k, "Back\\slash \"name\"", REG_SZ, std::string("v\0", 2));
  Set(os, k, "Empty", REG_SZ, "");
  Set(os, k, "NoTerm", REG_SZ, "abcX", 3);
  Set(os, k, "Embedded", REG_SZ, std::string("a\0b\0", 4));
  Set(os, k, "Newline", REG_SZ, std::string("l1\r\nl2\0", 7));
  Set(os, k, "Dw", REG_DWORD, std::string("\x0a\0\0\0", 4));
  Set(os, k, "ShortDw", REG_DWORD, std::string("\x01\x02", 2));
  Set(os, k, "Bin", REG_BINARY, std::string("\0\xff\x10", 3));
  Set(os, k, "NoBytes", REG_BINARY, "");
  Set(os, k, "Expand", REG_EXPAND_SZ, std::string("%SystemRoot%\0", 13));
  Set(os, k, "Multi", REG_MULTI_SZ, std::string("a\0bc\0\0", 6));
  Set(os, k, "Long", REG_BINARY, std::string(100, '\x5a'));
  Set(os, k, "High", REG_SZ, std::string("caf\xe9\0", 5));
}

TEST(RegFile, ExportImportRoundTripsByteForByte) {
  for (auto v : {WindowsVersion::XP, WindowsVersion::Win98}) {
    SCOPED_TRACE(sim::WindowsVersionName(v));
    SimMachine a(v);
    FillAwkwardValues(a.os());
    const std::string text = a.os().ExportRegistry();
    SimMachine b(v);
    ASSERT_TRUE(b.os().ImportRegistry(text));
    EXPECT_EQ(b.os().ExportRegistry(), text);
    const char* k = "SOFTWARE\\Test\\Awkward \"Key\"";
    for (const char* name : {"", "Back\\slash \"name\"", "Empty", "NoTerm",
                             "Embedded", "Newline", "Dw", "ShortDw", "Bin",
                             "NoBytes", "Expand", "Multi", "Long", "High"}) {
      EXPECT_EQ(Stored(b.os(), k, name), Stored(a.os(), k, name)) << name;
    }
  }
}

TEST(RegFile, ExportIsRegeditText) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  Set(os, "SOFTWARE\\B", "Path", REG_SZ, std::string("C:\\x \"y\"\0", 9));
  Set(os, "SOFTWARE\\a", "", REG_SZ, std::string("d\0", 2));
  Set(os, "SOFTWARE\\a", "n", REG_DWORD, std::string("\x0a\0\0\0", 4));
  Set(os, "SOFTWARE\\a", "b", REG_BINARY, std::string("\x01\xab", 2));
  Set(os, "SOFTWARE\\a", "e", REG_SZ, "");
  const std::string text = os.ExportRegistry();
  EXPECT_EQ(text.compare(0, 10, "REGEDIT4\n\n"), 0);
  const std::string expected =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\a]\n"
      "@=\"d\"\n"
      "\"b\"=hex:01,ab\n"
      "\"e\"=hex(1):\n"
      "\"n\"=dword:0000000a\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\n"
      "\"Path\"=\"C:\\\\x \\\"y\\\"\"\n"
      "\n";
  EXPECT_NE(text.find(expected), std::string::npos) << text;
  EXPECT_NE(text.find("[HKEY_CURRENT_CONFIG\\System]\n"), std::string::npos);
}

TEST(RegFile, ImportsVersion5TextWithDeletionsAndContinuations) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  Set(os, "SOFTWARE\\Gone\\Child", "x", REG_SZ, std::string("1\0", 2));
  Set(os, "SOFTWARE\\Keep", "drop", REG_SZ, std::string("1\0", 2));
  // As regedit /E writes it (UTF-16 text narrowed to 8 bits): wide hex(2).
  const std::string text =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep]\r\n"
      "\"drop\"=-\r\n"
      "\"exp\"=hex(2):25,00,41,00,25,00,00,00\r\n"
      "\"long\"=hex:01,02,\\\r\n"
      "  03,04\r\n"
      "\"s\"=\"tab\\\\\"\r\n"
      "; a comment\r\n";
  ASSERT_TRUE(os.ImportRegistry(text));
  EXPECT_EQ(os.FindKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Gone"), nullptr);
  EXPECT_EQ(Stored(os, "SOFTWARE\\Keep", "drop"), std::vector<BYTE>{0xEE});
  EXPECT_EQ(Stored(os, "SOFTWARE\\Keep", "exp"),
            (std::vector<BYTE>{'%', 'A', '%', 0}));
  EXPECT_EQ(Stored(os, "SOFTWARE\\Keep", "long"),
            (std::vector<BYTE>{1, 2, 3, 4}));
  EXPECT_EQ(Stored(os, "SOFTWARE\\Keep", "s"),
            (std::vector<BYTE>{'t', 'a', 'b', '\\', 0}));
}

TEST(RegFile, RefusesWhatIsNotRegeditText) {
  SimMachine m(WindowsVersion::XP);
  const char* bad[] = {
      "",
      "[HKEY_LOCAL_MACHINE\\X]\n",           // no header
      "REGEDIT4\n\n\"orphan\"=\"value\"\n",  // value before a key
      "REGEDIT4\n\n[HKEY_NOWHERE\\X]\n",     // unknown root
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\X]\n\"v\"=hex:1,zz\n",
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\X]\n\"v\"=dword:123456789\n",
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\X]\n\"v\"=\"open\n",
      "REGEDIT4\n\n[HKEY_DYN_DATA\\X]\n",  // not on NT
  };
  for (const char* text : bad)
    EXPECT_FALSE(m.os().ImportRegistry(text)) << text;
}

TEST(MachineState, SaveAndLoadKeepSettingsAndRegistry) {
  test::TempDir dir;
  std::string savedRegistry;
  {
    sim::SimPlatform os(WindowsVersion::Win98, dir.path());
    os.SetCodePage(932);
    os.SetBiosDataWord(8, 0x378);
    os.SetBiosDataWord(10, 0x278);
    os.SetDiskSpace(123456789ull, 987654321ull);
    os.SetPC98(true);
    os.SetVersionRecord(1, 4, 10, 0x040A07CE, " ");
    FillAwkwardValues(os);
    ASSERT_TRUE(os.SaveState());
    savedRegistry = os.ExportRegistry();
  }
  std::ifstream reg(dir.path() + "/registry.reg");
  std::stringstream regText;
  regText << reg.rdbuf();
  EXPECT_EQ(regText.str(), savedRegistry);

  // A machine of another version takes the saved one over entirely.
  sim::SimPlatform os(WindowsVersion::XP, dir.path());
  ASSERT_TRUE(os.LoadState());
  EXPECT_EQ(os.version(), WindowsVersion::Win98);
  EXPECT_EQ(os.ExportRegistry(), savedRegistry);
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(os.GetVersionExA(&info));
  EXPECT_EQ(info.dwBuildNumber, 0x040A07CEu);
  EXPECT_STREQ(info.szCSDVersion, " ");
  EXPECT_EQ(os.ReadBiosDataWord(8), 0x378);
  EXPECT_EQ(os.ReadBiosDataWord(10), 0x278);
  EXPECT_TRUE(os.IsDBCSLeadByte(0x82));
  // HKEY_DYN_DATA is back with the 9x version.
  HKEY dyn = nullptr;
  EXPECT_EQ(os.RegOpenKeyExA(HKEY_DYN_DATA, nullptr, 0, KEY_READ, &dyn),
            ERROR_SUCCESS);
  os.RegCloseKey(dyn);
  // Saving again gives the same files.
  ASSERT_TRUE(os.SaveState());
  std::ifstream ini(dir.path() + "/machine.ini");
  std::stringstream iniText;
  iniText << ini.rdbuf();
  EXPECT_NE(iniText.str().find("version=win98\n"), std::string::npos);
  EXPECT_NE(iniText.str().find("pc98=1\n"), std::string::npos);
  EXPECT_NE(iniText.str().find("diskfree=123456789\n"), std::string::npos);
}

TEST(MachineState, MissingOrDamagedStateIsRefused) {
  test::TempDir dir;
  sim::SimPlatform os(WindowsVersion::XP, dir.path());
  EXPECT_FALSE(os.LoadState());  // nothing saved
  ASSERT_TRUE(os.SaveState());
  {
    std::ofstream ini(dir.path() + "/machine.ini", std::ios::trunc);
    ini << "[machine]\nversion=win98\ncodepage=x\n";
  }
  EXPECT_FALSE(os.LoadState());
  EXPECT_EQ(os.version(), WindowsVersion::XP);  // untouched
}

// Names and strings with every byte a .reg line gives meaning to, as key
// names, value names and string data, survive a save and a load, and the
// file stays line-structured text.
TEST(MachineState, AwkwardNamesSurviveSaveAndLoad) {
  const std::string awkward[] = {
      "line\nbreak", "carriage\rreturn", "crlf\r\n", "tab\there",
      std::string("ctl\x01\x1b\x7f", 6), "quote\"d", "back\\", "\\", "trail\\",
      "%41 percent%", "]", "[x]", ";semi", "=hex:01,\\", "\"name\"=hex:00", "@",
      " spaced ", "-dash",
      // Code page 932: a trail byte 0x5C inside one character.
      "\x83\x5C\x83\x74\x83\x67"};
  test::TempDir dir;
  std::string saved;
  {
    sim::SimPlatform os(WindowsVersion::NT4, dir.path());
    os.SetCodePage(932);
    for (const auto& a : awkward) {
      // Backslash is the key path's separator: in a key name it splits.
      const std::string key = "SOFTWARE\\Awkward\\" + a;
      Set(os, key.c_str(), a.c_str(), REG_SZ, a + '\0');
      Set(os, "SOFTWARE\\Values", a.c_str(), REG_SZ, a + '\0');
    }
    ASSERT_TRUE(os.SaveState());
    saved = os.ExportRegistry();
  }
  std::ifstream reg(dir.path() + "/registry.reg", std::ios::binary);
  std::string line;
  std::getline(reg, line);
  EXPECT_EQ(line, "REGEDIT4");
  while (std::getline(reg, line)) {
    SCOPED_TRACE(line);
    EXPECT_TRUE(line.empty() ||
                std::string("[\"@; ").find(line[0]) != std::string::npos);
    EXPECT_EQ(line.find('\r'), std::string::npos);
  }
  sim::SimPlatform os(WindowsVersion::XP, dir.path());
  ASSERT_TRUE(os.LoadState());
  EXPECT_EQ(os.ExportRegistry(), saved);
  for (const auto& a : awkward) {
    SCOPED_TRACE(a);
    const std::string key = "SOFTWARE\\Awkward\\" + a;
    std::vector<BYTE> want(a.begin(), a.end());
    want.push_back(0);
    EXPECT_EQ(Stored(os, key.c_str(), a.c_str()), want);
    EXPECT_EQ(Stored(os, "SOFTWARE\\Values", a.c_str()), want);
  }
}

// Runs `body` on a thread with a small stack, where recursion over a deep
// tree would overflow.
void OnSmallStack(std::function<void()> body) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 128 * 1024);
  pthread_t thread;
  auto run = [](void* p) -> void* {
    (*static_cast<std::function<void()>*>(p))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, &body), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

// A deep key is saved, loaded, deleted and torn down without recursion: the
// save and load run on a small stack, the deletion and teardown at a depth
// no stack holds. (A saved machine reads back only keys within Windows'
// 512 levels: SOFTWARE\Deep and 510 more.)
TEST(MachineState, DeepKeysSaveLoadAndGo) {
  const struct {
    WindowsVersion version;
    int levels;
    bool save;
  } cases[] = {{WindowsVersion::XP, 510, true},
               {WindowsVersion::Win98, 100000, false},
               {WindowsVersion::NT4, 100000, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.levels);
    test::TempDir dir;
    std::string path = "SOFTWARE\\Deep";
    for (int i = 0; i < c.levels; ++i) path += "\\k";
    {
      sim::SimPlatform os(c.version, dir.path());
      Set(os, path.c_str(), "leaf", REG_SZ, std::string("end\0", 4));
      if (c.save) {
        std::string saved;
        OnSmallStack([&] {
          ASSERT_TRUE(os.SaveState());
          saved = os.ExportRegistry();
        });
        sim::SimPlatform loaded(c.version, dir.path());
        OnSmallStack([&] { ASSERT_TRUE(loaded.LoadState()); });
        EXPECT_EQ(Stored(loaded, path.c_str(), "leaf"),
                  (std::vector<BYTE>{'e', 'n', 'd', 0}));
        EXPECT_EQ(loaded.ExportRegistry(), saved);
      }
      // A handle at the bottom keeps the deleted tree alive until closed.
      HKEY leaf = nullptr;
      ASSERT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ,
                                 &leaf),
                ERROR_SUCCESS);
      const bool nt = !sim::IsWin9x(c.version);
      EXPECT_EQ(os.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Deep"),
                nt ? ERROR_ACCESS_DENIED : ERROR_SUCCESS);
      DWORD size = 0;
      EXPECT_EQ(
          os.RegQueryValueExA(leaf, "leaf", nullptr, nullptr, nullptr, &size),
          nt ? ERROR_SUCCESS : ERROR_KEY_DELETED);
      EXPECT_EQ(os.RegCloseKey(leaf), ERROR_SUCCESS);
    }  // the machine goes with whatever tree is left
  }
}

// What a capture loaded into the machine keeps across its later runs: the
// placeholder marks (moved with their files) and the states its services
// were found in, which every run starts from again.
TEST(MachineState, PlaceholdersAndCapturedServiceStatesAreKept) {
  test::TempDir dir;
  const struct {
    const char* name;
    DWORD start;
    DWORD captured;  // 0: none
    DWORD expected;  // at the start of every later run
  } services[] = {
      {"Spooler", SERVICE_AUTO_START, SERVICE_STOPPED, SERVICE_STOPPED},
      {"KvDemand", SERVICE_DEMAND_START, SERVICE_RUNNING, SERVICE_RUNNING},
      {"KvPlain", SERVICE_AUTO_START, 0, SERVICE_RUNNING},
      // Deleted and created anew: the capture was of another service.
      {"KvRenewed", SERVICE_DEMAND_START, SERVICE_RUNNING, SERVICE_STOPPED},
  };
  {
    sim::SimPlatform os(WindowsVersion::XP, dir.path());
    for (const auto& s : services) {
      // The spooler exists and is touched here: it is put there at once.
      if (!sim::ServiceCurrentState(os, s.name))
        sim::DefineService(os, s.name, s.name, SERVICE_WIN32_OWN_PROCESS,
                           s.start, "C:\\svc.exe");
      if (s.captured) sim::SetInitialServiceState(os, s.name, s.captured);
      EXPECT_EQ(sim::ServiceCurrentState(os, s.name),
                s.captured ? s.captured : s.expected)
          << s.name;
    }
    sim::SetServiceState(os, "KvRenewed", SERVICE_STOPPED);  // so it can go
    SC_HANDLE scm = os.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE svc = os.OpenServiceA(scm, "KvRenewed", SERVICE_ALL_ACCESS);
    EXPECT_TRUE(os.DeleteService(svc));
    EXPECT_TRUE(os.CloseServiceHandle(svc));
    svc = os.CreateServiceA(scm, "KvRenewed", "KvRenewed", SERVICE_ALL_ACCESS,
                            SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                            SERVICE_ERROR_NORMAL, "C:\\svc.exe", nullptr,
                            nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(os.CloseServiceHandle(svc));
    EXPECT_TRUE(os.CloseServiceHandle(scm));

    ASSERT_TRUE(os.WriteTextFile("C:\\CAP\\A.DLL", "not captured"));
    os.MarkPlaceholder("C:\\CAP\\A.DLL");
    ASSERT_TRUE(os.MoveFileA("C:\\CAP\\A.DLL", "C:\\CAP\\B.DLL"));
    ASSERT_TRUE(os.WriteTextFile("C:\\CAP\\C.DLL", "ordinary"));
    ASSERT_TRUE(os.SaveState());
  }
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    sim::SimPlatform os(WindowsVersion::XP, dir.path());
    ASSERT_TRUE(os.LoadState());
    EXPECT_TRUE(os.IsPlaceholder("c:\\cap\\b.dll"));
    EXPECT_FALSE(os.IsPlaceholder("C:\\CAP\\A.DLL"));
    EXPECT_FALSE(os.IsPlaceholder("C:\\CAP\\C.DLL"));
    for (const auto& s : services) {
      EXPECT_EQ(sim::ServiceCurrentState(os, s.name), s.expected) << s.name;
      // Where this run leaves them is not where the next one starts.
      sim::SetServiceState(
          os, s.name,
          s.expected == SERVICE_RUNNING ? SERVICE_STOPPED : SERVICE_RUNNING);
    }
    ASSERT_TRUE(os.SaveState());
  }
}

}  // namespace
}  // namespace kv
