// Placeholder files, as a capture of a customer's machine leaves them: the
// size is there, the content is not, and nothing hands out made-up content.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

using sim::SimPlatform;
using sim::WindowsVersion;
using test::SimMachine;

constexpr INT kHfileError = -1;
constexpr char kNote[] = "  error 4350 (placeholder: content not captured)";
// Real bytes behind the placeholder, which no refused call may give out.
const std::string kContent = "[s]\r\nk=v\r\n";

void MakePlaceholder(SimPlatform& os, const std::string& path) {
  ASSERT_TRUE(os.WriteTextFile(path, kContent));
  os.MarkPlaceholder(path);
  ASSERT_TRUE(os.IsPlaceholder(path));
}

TEST(SimPlaceholders, ContentIsNeitherReadNorUpdated) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  const std::string ph = "C:\\CAP\\SETUP.INI";
  MakePlaceholder(os, ph);
  MakePlaceholder(os, "C:\\CAP\\DRV.DL_");  // found for DRV.DLL
  // A handle opened before its file was marked: what it reads is refused.
  auto openThenMark = [&os](const char* path, bool lz) -> uintptr_t {
    os.WriteTextFile(path, kContent);
    OFSTRUCT of{};
    const uintptr_t h =
        lz ? static_cast<uintptr_t>(os.LZOpenFileA(path, &of, OF_READ))
           : reinterpret_cast<uintptr_t>(
                 os.CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    os.MarkPlaceholder(path);
    return h;
  };
  const char* p = ph.c_str();
  char buf[64];
  struct Case {
    const char* op;      // the refused call
    const char* result;  // what its line says it returned
    std::function<bool()> refused;
  } cases[] = {
      {"CreateFileA", "INVALID_HANDLE_VALUE",
       [&] {
         return os.CreateFileA(p, GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0,
                               nullptr) == INVALID_HANDLE_VALUE;
       }},
      {"CreateFileA", "INVALID_HANDLE_VALUE",
       [&] {
         return os.CreateFileA(p, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0,
                               nullptr) == INVALID_HANDLE_VALUE;
       }},
      {"LZOpenFileA", "HFILE_ERROR",
       [&] {
         OFSTRUCT of{};
         return os.LZOpenFileA(p, &of, OF_READ) == kHfileError &&
                of.nErrCode == ERROR_FILE_OFFLINE;
       }},
      {"LZOpenFileA", "HFILE_ERROR",
       [&] {
         OFSTRUCT of{};
         return os.LZOpenFileA("C:\\CAP\\DRV.DLL", &of, OF_READWRITE) ==
                kHfileError;
       }},
      {"GetPrivateProfileStringA", "3",
       [&] {
         return os.GetPrivateProfileStringA("s", "k", "def", buf, sizeof buf,
                                            p) == 3 &&
                std::string(buf) == "def";
       }},
      {"GetPrivateProfileIntA", "7",
       [&] { return os.GetPrivateProfileIntA("s", "k", 7, p) == 7; }},
      {"GetPrivateProfileSectionA", "0",
       [&] {
         buf[0] = 'x';
         return os.GetPrivateProfileSectionA("s", buf, sizeof buf, p) == 0 &&
                buf[0] == 0;
       }},
      {"WritePrivateProfileStringA", "FALSE",
       [&] { return !os.WritePrivateProfileStringA("s", "k", "new", p); }},
      {"AddFontResourceA", "0", [&] { return os.AddFontResourceA(p) == 0; }},
      {"ReadFile", "FALSE",
       [&] {
         const auto h =
             reinterpret_cast<HANDLE>(openThenMark("C:\\CAP\\OPEN.TXT", false));
         DWORD got = 1;
         const bool refused =
             !os.ReadFile(h, buf, sizeof buf, &got, nullptr) && got == 0;
         os.CloseHandle(h);
         return refused;
       }},
      {"LZCopy", "LZERROR_READ",
       [&] {
         const INT src =
             static_cast<INT>(openThenMark("C:\\CAP\\OPEN.DLL", true));
         OFSTRUCT of{};
         const INT dst = os.LZOpenFileA("C:\\CAP\\OUT.DLL", &of, OF_CREATE);
         const bool refused = os.LZCopy(src, dst) == LZERROR_READ;
         os.LZClose(src);
         os.LZClose(dst);
         return refused;
       }},
  };
  std::ostringstream trace;
  os.SetTraceStream(&trace);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " = " + c.result);
    os.ClearOperations();
    trace.str("");
    EXPECT_TRUE(c.refused());
    EXPECT_EQ(os.GetLastError(), DWORD(ERROR_FILE_OFFLINE));
    const std::string noted = std::string(" = ") + c.result + kNote;
    const std::string prefix = std::string(c.op) + "(";
    auto line = std::find_if(
        os.operations().begin(), os.operations().end(),
        [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    ASSERT_NE(line, os.operations().end());
    ASSERT_GT(line->size(), noted.size()) << *line;
    EXPECT_EQ(line->substr(line->size() - noted.size()), noted) << *line;
    EXPECT_NE(trace.str().find(noted.substr(1)), std::string::npos)
        << trace.str();
  }
  os.SetTraceStream(nullptr);
  EXPECT_EQ(os.OpenFileHandles(), 0u);
  std::string content;
  ASSERT_TRUE(os.ReadTextFile(ph, &content));
  EXPECT_EQ(content, kContent);  // nothing rewritten
  EXPECT_TRUE(os.IsPlaceholder(ph));
}

TEST(SimPlaceholders, MarkFollowsTheFile) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  using Marks = std::vector<std::pair<const char*, bool>>;
  struct Case {
    const char* name;
    // Runs in a folder holding SUB\A.DLL (a placeholder) and B.DLL.
    std::function<bool(const std::string& dir)> run;
    Marks marks;  // below the folder: whether a placeholder
  };
  auto closes = [&os](HANDLE h) {
    return h != INVALID_HANDLE_VALUE && os.CloseHandle(h);
  };
  auto create = [&](const std::string& path, DWORD access, DWORD how) {
    return closes(
        os.CreateFileA(path.c_str(), access, 0, nullptr, how, 0, nullptr));
  };
  const DWORD size = static_cast<DWORD>(kContent.size());
  const Case cases[] = {
      {"copy is a placeholder too",
       [&](const std::string& d) {
         return os.CopyFileA((d + "SUB\\A.DLL").c_str(), (d + "C.DLL").c_str(),
                             TRUE);
       },
       {{"SUB\\A.DLL", true}, {"c.dll", true}}},
      {"ordinary copy over it",
       [&](const std::string& d) {
         return os.CopyFileA((d + "B.DLL").c_str(), (d + "SUB\\A.DLL").c_str(),
                             FALSE);
       },
       {{"SUB\\A.DLL", false}}},
      {"move",
       [&](const std::string& d) {
         return os.MoveFileA((d + "SUB\\A.DLL").c_str(), (d + "M.DLL").c_str());
       },
       {{"SUB\\A.DLL", false}, {"M.DLL", true}}},
      {"move of its folder",
       [&](const std::string& d) {
         return os.MoveFileA((d + "sub").c_str(), (d + "MOVED").c_str());
       },
       {{"SUB\\A.DLL", false}, {"moved\\a.dll", true}}},
      {"delete, then a new file of the name",
       [&](const std::string& d) {
         return os.DeleteFileA((d + "SUB\\A.DLL").c_str()) &&
                create(d + "SUB\\A.DLL", GENERIC_READ, CREATE_NEW);
       },
       {{"SUB\\A.DLL", false}}},
      {"CREATE_ALWAYS",
       [&](const std::string& d) {
         return create(d + "SUB\\A.DLL", GENERIC_READ | GENERIC_WRITE,
                       CREATE_ALWAYS);
       },
       {{"SUB\\A.DLL", false}}},
      {"TRUNCATE_EXISTING",
       [&](const std::string& d) {
         return create(d + "SUB\\A.DLL", GENERIC_WRITE, TRUNCATE_EXISTING);
       },
       {{"SUB\\A.DLL", false}}},
      {"LZ creation",
       [&](const std::string& d) {
         OFSTRUCT of{};
         const INT h = os.LZOpenFileA((d + "SUB\\A.DLL").c_str(), &of,
                                      OF_CREATE | OF_WRITE);
         os.LZClose(h);
         return h > 0;
       },
       {{"SUB\\A.DLL", false}}},
      {"written by the host",
       [&](const std::string& d) {
         return os.WriteTextFile(d + "sub\\a.dll", "known");
       },
       {{"SUB\\A.DLL", false}}},
      {"size, attributes and find as any file",
       [&](const std::string& d) {
         const std::string a = d + "SUB\\A.DLL";
         HANDLE h = os.CreateFileA(a.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0,
                                   nullptr);
         const bool sized = os.GetFileSize(h, nullptr) == size;
         WIN32_FIND_DATAA fd{};
         HANDLE f = os.FindFirstFileA(a.c_str(), &fd);
         const bool found = f != INVALID_HANDLE_VALUE &&
                            fd.nFileSizeLow == size && os.FindClose(f);
         return closes(h) && sized && found &&
                os.GetFileAttributesA(a.c_str()) == FILE_ATTRIBUTE_ARCHIVE;
       },
       {{"SUB\\A.DLL", true}}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = "C:\\T" + std::to_string(n++) + "\\";
    MakePlaceholder(os, dir + "SUB\\A.DLL");
    ASSERT_TRUE(os.WriteTextFile(dir + "B.DLL", "ordinary"));
    EXPECT_TRUE(c.run(dir));
    for (const auto& [path, placeholder] : c.marks) {
      EXPECT_EQ(os.IsPlaceholder(dir + path), placeholder) << path;
      // A placeholder keeps the captured size.
      if (placeholder) {
        EXPECT_EQ(std::filesystem::file_size(os.HostPath(dir + path)), size)
            << path;
      }
    }
  }
  EXPECT_EQ(os.OpenFileHandles(), 0u);
}

}  // namespace
}  // namespace kv
