#include "uninstall/batch.h"

#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "tests/native/support/sim_fixture.h"
#include "tests/native/uninstall/uninstall_support.h"
#include "uninstall/uninstall_entries.h"

namespace kv::test {
namespace {

using sim::WindowsVersion;

std::string Word(OsKind kind) {
  return kind == OsKind::Win9x ? "del " : "del /f ";
}

// Two removals before a restart, on every version: the batch grows with its
// self-deletion line kept last (the command interpreter stops at it), the
// NT family hands over the batch, 9x its lines, numbered from 0 each time.
TEST(Batch, TwoRemovalsBeforeARestart) {
  for (const VersionCase& v : AllVersions()) {
    SCOPED_TRACE(v.name);
    SimMachine m(v.version);
    auto& os = m.os();
    const std::string win = os.windowsDir(), sys = os.systemDir();
    os.WriteTextFile(win + "\\vt3eins.sii",
                     "[DllName]\r\nUninstDll=kvun.dll\r\n"
                     "[UninstName]\r\nUNINST_MSG_DAT=1\r\n");
    os.WriteTextFile("C:\\Program Files\\KV\\kv drv.dll", "x");
    for (const std::string& f :
         {win + "\\vt3dins.sii", win + "\\vt3hins.sii", sys + "\\kvun.dll"})
      os.WriteTextFile(f, "x");
    std::string lines;
    const std::string w = Word(v.osKind);
    for (int removal = 0; removal < 2; ++removal) {
      WriteBatchHead(m.ctx(), "vt3eins.sii");
      AddDeferredDeletion(m.ctx(), "C:\\Program Files\\KV\\missing.dll");
      if (removal == 1)
        AddDeferredDeletion(m.ctx(), "C:\\Program Files\\KV\\kv drv.dll");
      os.QueueMessageBoxAnswer(IDNO);
      HandOverBatch(m.ctx());
      if (v.osKind == OsKind::Other) continue;
      // The second removal's lines that are there already are not
      // written twice.
      if (removal == 0)
        lines += w + win + "\\vt3eins.sii\r\n" + w + win + "\\vt3dins.sii\r\n" +
                 w + win + "\\vt3hins.sii\r\n" + w + sys + "\\kvun.dll\r\n";
      if (removal == 1)
        lines += w + "\"C:\\Program Files\\KV\\kv drv.dll\"\r\n";
      const std::string expected = lines + w + sys + "\\VT3E.bat\r\n";
      EXPECT_EQ(Batch(os), expected);

      std::map<std::string, RunOnceValue> want;
      if (v.osKind == OsKind::Win9x) {
        size_t start = 0;
        for (int i = 0; start < expected.size(); ++i) {
          const size_t end = expected.find("\r\n", start);
          // 9x keeps a string up to its terminator.
          want["VT3E_" + std::to_string(i)] = {
              REG_SZ,
              "command.com /c " + expected.substr(start, end - start) + '\0'};
          start = end + 2;
        }
      } else {
        want["VT3E"] = {REG_SZ, Padded(sys + "\\VT3E.bat")};
      }
      const auto got = RunOnceValues(os);
      ASSERT_EQ(got.size(), want.size());
      for (const auto& [name, value] : want) {
        ASSERT_TRUE(got.count(name)) << name;
        EXPECT_EQ(got.at(name).type, value.type) << name;
        EXPECT_EQ(got.at(name).data, value.data) << name;
      }
    }
    // Answering No leaves everything for the next restart.
    EXPECT_TRUE(os.restartRequests().empty());
    EXPECT_EQ(os.messageBoxes().size(), v.osKind == OsKind::Other ? 0u : 2u);
    if (v.osKind == OsKind::Other) {
      EXPECT_EQ(os.GetFileAttributesA((sys + "\\VT3E.bat").c_str()),
                INVALID_FILE_ATTRIBUTES);
      EXPECT_TRUE(RunOnceValues(os).empty());
    }
    EXPECT_EQ(os.OpenFileHandles(), 0u);
    EXPECT_EQ(os.OpenKeyHandles(), 0u);
  }
}

// The line that deletes exactly the named file, or none.
TEST(Batch, LineNamesExactlyOneFile) {
  struct Case {
    std::string path;
    std::string nt;  // the NT family's line; 9x has "del " for "del /f "
    const char* trace;
  } cases[] = {
      {"C:\\x@y.dll", "del /f C:\\x@y.dll", nullptr},
      {"C:\\a b\\x.dll", "del /f \"C:\\a b\\x.dll\"", nullptr},
      {"C:\\a&b|c<d>e^f,g;h=i(j)\\x.dll",
       "del /f \"C:\\a&b|c<d>e^f,g;h=i(j)\\x.dll\"", nullptr},
      {"C:\\a\"b.dll", "", "can't be quoted"},
      {"C:\\100%\\x.dll", "", "can't be quoted"},
      {"C:\\WINDOWS\\*.dll", "", "can't be quoted"},
      {"C:\\WINDOWS\\x?.dll", "", "can't be quoted"},
      {"C:\\a\r\nformat c:", "", "can't be quoted"},
      {"x.dll", "", "not a full path"},
      {"\\\\server\\share\\x.dll", "", "not a full path"},
  };
  for (WindowsVersion version :
       {WindowsVersion::XP, WindowsVersion::Win98, WindowsVersion::NT351}) {
    const size_t word = version == WindowsVersion::Win98 ? 4 : 7;
    // Paths that make the longest line, and one more: 258 characters, on
    // 9x what a RunOnce value holds after "command.com /c ".
    const size_t limit = version == WindowsVersion::Win98 ? 239 : 258;
    const std::string plain = "C:\\" + std::string(limit - word - 3, 'a');
    const std::string quoted =
        "C:\\" + std::string(limit - word - 7, 'a') + " b";
    std::vector<Case> all(std::begin(cases), std::end(cases));
    all.push_back({plain, "del /f " + plain, nullptr});
    all.push_back({plain + "a", "", "too long"});
    all.push_back({quoted, "del /f \"" + quoted + "\"", nullptr});
    all.push_back({quoted + "c", "", "too long"});
    for (const Case& c : all) {
      SCOPED_TRACE(c.path);
      SimMachine m(version);
      const OsKind kind = GetOSKind(m.ctx());
      std::string want = c.nt;
      if (kind == OsKind::Win9x && !want.empty()) want.erase(4, 3);
      if (!want.empty()) {
        EXPECT_LE(want.size(), kBatchLineLimit);
      }
      if (kind == OsKind::Other) want.clear();
      EXPECT_EQ(BatchLine(m.ctx(), kind, c.path), want);
      if (kind == OsKind::Other)
        EXPECT_NE(m.traceText().find("no delete command"), std::string::npos);
      else if (c.trace)
        EXPECT_NE(m.traceText().find(c.trace), std::string::npos);
      else
        EXPECT_TRUE(m.trace.empty()) << m.traceText();
    }
  }
}

// Only a file that is there gets a line; one held without sharing is in use
// and keeps its line; a folder, a missing file, an empty "UninstDll" or one
// that leaves the system directory gets none.
TEST(Batch, WhatGetsALine) {
  SimMachine m(WindowsVersion::Win2000);
  auto& os = m.os();
  const std::string sys = os.systemDir();
  os.WriteTextFile("C:\\kv\\locked.dll", "x");
  os.CreateDirectoryA("C:\\kv\\folder", nullptr);
  AddDeferredDeletion(m.ctx(), "C:\\kv\\folder");
  AddDeferredDeletion(m.ctx(), "C:\\kv\\missing.dll");
  os.FailOperation("CreateFileA", ERROR_SHARING_VIOLATION);
  AddDeferredDeletion(m.ctx(), "C:\\kv\\locked.dll");
  // A name past 99 characters is not cut to another file's name.
  const std::string longName = std::string(96, 'd') + ".dll";
  os.WriteTextFile(sys + "\\kv ok.dll", "x");
  os.CreateDirectoryA((sys + "\\kvfolder").c_str(), nullptr);
  const char* names[] = {"",         "..\\win.ini", "C:\\boot.ini",
                         "*.dll",    ".",           "kvfolder",
                         "gone.dll", "kv ok.dll",   longName.c_str()};
  for (const char* name : names) {
    os.WriteTextFile(os.windowsDir() + "\\vt3eins.sii",
                     std::string("[DllName]\r\nUninstDll=") + name + "\r\n");
    WriteBatchHead(m.ctx(), "vt3eins.sii");
  }
  // Only the setup file that is there gets a line.
  const std::string head = "del /f " + os.windowsDir() + "\\vt3eins.sii\r\n";
  // A line that is there already is not written twice.
  const std::string want = "del /f C:\\kv\\locked.dll\r\n" + head +
                           "del /f \"" + sys + "\\kv ok.dll\"\r\n";
  EXPECT_EQ(Batch(os), want);
  EXPECT_NE(m.traceText().find("..\\win.ini"), std::string::npos);
}

// On 9x every line becomes a value whatever its bytes (0xFF is a letter in
// code page 1252); a line too long for a value is passed over whole; a last
// line whose write was cut short is dropped (run, the piece of a path would
// name another file).
TEST(Batch, NineXHandsOverEachWholeLine) {
  SimMachine m(WindowsVersion::Win98);
  auto& os = m.os();
  const std::string sys = os.systemDir();
  const std::string fits = "del C:\\" + std::string(232, 'a');  // 239
  const std::string over = "del C:\\" + std::string(233, 'b');  // 240
  const std::string whole =
      "del C:\\\xFF.dll\r\n" + fits + "\r\n" + over + "\r\n";
  for (const std::string& line : {std::string("del C:\\\xFF.dll"), fits, over})
    os.WriteTextFile(line.substr(4), "x");
  os.WriteTextFile(sys + "\\VT3E.bat", whole + "del C:\\kvdrv");
  HandOverBatch(m.ctx());
  const std::string self = "del " + sys + "\\VT3E.bat";
  EXPECT_EQ(Batch(os), whole + self + "\r\n");
  const std::string lines[] = {"del C:\\\xFF.dll", fits, self};
  const auto values = RunOnceValues(os);
  ASSERT_EQ(values.size(), 3u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(values.at("VT3E_" + std::to_string(i)).data,
              "command.com /c " + lines[i] + '\0');
  EXPECT_NE(m.traceText().find("passed over"), std::string::npos);
}

// A machine whose system directory is a folder of `length` characters.
class LongSystemDir : public sim::SimPlatform {
 public:
  LongSystemDir(WindowsVersion v, const std::string& machine, size_t length)
      : SimPlatform(v, machine), dir_("C:\\" + std::string(length - 3, 's')) {
    CreateDirectoryA(dir_.c_str(), nullptr);
  }
  UINT GetSystemDirectoryA(LPSTR out, UINT size) override {
    if (size <= dir_.size()) return static_cast<UINT>(dir_.size() + 1);
    dir_.copy(out, dir_.size());
    out[dir_.size()] = '\0';
    return static_cast<UINT>(dir_.size());
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

// The self-deletion line is whole for any system directory that fits a
// line (on 9x, a RunOnce value); a batch that can't end with it is deleted,
// not handed over: it would stay, its lines never to run again.
TEST(Batch, SelfDeletionWithALongSystemDirectory) {
  struct Case {
    WindowsVersion version;
    size_t length;
    bool line;  // the self-deletion line is in the batch, which is handed over
  } cases[] = {
      {WindowsVersion::XP, 34, true},     {WindowsVersion::XP, 35, true},
      {WindowsVersion::XP, 242, true},    {WindowsVersion::XP, 243, false},
      {WindowsVersion::Win95, 37, true},  {WindowsVersion::Win95, 38, true},
      {WindowsVersion::Win95, 226, true}, {WindowsVersion::Win95, 227, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    TempDir dir;
    LongSystemDir os(c.version, dir.path(), c.length);
    Context ctx(os);
    std::string trace;
    ctx.traceSink = [&](const std::string& t) { trace += t; };
    const bool nt = c.version == WindowsVersion::XP;
    const std::string batch = os.dir() + "\\VT3E.bat";
    const std::string head = std::string(nt ? "del /f " : "del ") +
                             os.windowsDir() + "\\vt3eins.sii\r\n";
    os.WriteTextFile(batch, head);
    os.WriteTextFile(os.windowsDir() + "\\vt3eins.sii", "x");
    HandOverBatch(ctx);
    std::string text;
    os.ReadTextFile(batch, &text);
    const std::string self = std::string(nt ? "del /f " : "del ") + batch;
    EXPECT_EQ(text, c.line ? head + self + "\r\n" : std::string());
    const auto values = RunOnceValues(os);
    if (nt) {
      ASSERT_EQ(values.count("VT3E"), c.line ? 1u : 0u);
      if (c.line) {
        EXPECT_EQ(values.at("VT3E").data, Padded(batch));
      }
    } else {
      EXPECT_EQ(values.size(), c.line ? 2u : 0u);
      if (c.line) {
        EXPECT_EQ(values.at("VT3E_1").data, "command.com /c " + self + '\0');
      }
    }
    if (!c.line)
      EXPECT_NE(trace.find("too long"), std::string::npos) << trace;
    else
      EXPECT_EQ(trace, "");
  }
}

// The batch survives failure and repetition: self-deletion lines of any
// line end are taken out before the one that ends it; a write or a move
// that fails once is tried again, one that keeps failing leaves no batch
// at all (never one cut, emptied or without its last line), and nothing is
// handed over; one refused open is not a missing batch.
TEST(Batch, SurvivesFailureAndRepetition) {
  const struct {
    const char* name;
    const char* before;  // the batch's text; %s: its own path
    const char* fail;    // operation failing; null: none
    int skip, count;     // successful calls of it first, failures
    bool handedOver;     // else: no batch left
  } cases[] = {
      {"self lines of every ending",
       "del /f C:\\a.txt\r\ndel /f %s\ndel /f C:\\b.txt\rdel /f %s\r\n",
       nullptr, 0, 0, true},
      {"an unfinished last line", "del /f C:\\a.txt\r\ndel /f C:\\WIN", nullptr,
       0, 0, true},
      {"the new batch not written once", "del /f C:\\a.txt\r\n", "WriteFile", 0,
       1, true},
      {"the new batch never written", "del /f C:\\a.txt\r\n", "WriteFile", 0, 2,
       false},
      {"the old batch not moved aside", "del /f C:\\a.txt\r\n", "MoveFileA", 0,
       2, false},
      {"the new batch not moved in", "del /f C:\\a.txt\r\n", "MoveFileA", 1, 1,
       true},
      {"one refused open", "del /f C:\\a.txt\r\n", "CreateFileA", 0, 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimMachine m(WindowsVersion::XP);
    auto& os = m.os();
    const std::string batch = os.systemDir() + "\\VT3E.bat";
    std::string before = c.before;
    for (size_t at; (at = before.find("%s")) != std::string::npos;)
      before.replace(at, 2, batch);
    ASSERT_TRUE(os.WriteTextFile(batch, before));
    for (const char* f : {"C:\\a.txt", "C:\\b.txt"})
      ASSERT_TRUE(os.WriteTextFile(f, "x"));
    if (c.fail)
      os.FailOperation(c.fail, ERROR_HANDLE_DISK_FULL, c.skip, c.count);
    os.QueueMessageBoxAnswer(IDNO);

    HandOverBatch(m.ctx());

    std::string after;
    const bool exists = os.ReadTextFile(batch, &after);
    EXPECT_EQ(exists, c.handedOver);
    const std::string self = "del /f " + batch + "\r\n";
    if (c.handedOver) {
      EXPECT_EQ(after.substr(0, 16), "del /f C:\\a.txt\r");
      ASSERT_GE(after.size(), self.size());
      EXPECT_EQ(after.substr(after.size() - self.size()), self);
      EXPECT_EQ(after.find("del /f " + batch), after.size() - self.size());
      EXPECT_EQ(after.find("C:\\WIN\r"), std::string::npos);
    }
    EXPECT_EQ(RunOnceValues(os).count("VT3E"), c.handedOver ? 1u : 0u);
    for (const char* ext : {".$$$", ".old"})
      EXPECT_EQ(
          os.GetFileAttributesA((os.systemDir() + "\\VT3E" + ext).c_str()),
          INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(os.OpenFileHandles(), 0u);
  }
}

}  // namespace
}  // namespace kv::test
