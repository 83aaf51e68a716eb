// Installer dialog support, parallel-port detection and printer queries on
// the real Win32 API, through the DLL's exports: the timer thread posting to
// a real window, the shell's browse dialog cancelled by a watcher thread,
// the BIOS data area read, and the queries against printers made with the
// spooler and Wine's own PostScript driver.
// kv-wine-versions: win98 nt40 win2k winxp
#include <windows.h>

#include <cstring>
#include <string>

#include "foundation/context.h"
#include "foundation/win32_platform.h"
#include "tests/wine/support/cleanup.h"
#include "tests/wine/support/wine_test.h"

using kvwine::kWinePs;
using kvwine::RemovePrinter;

namespace {

using IntFn = int(WINAPI*)();
using CreateTimerFn = int(WINAPI*)(HWND, int, LONG, int);
using BrowseFn = int(WINAPI*)(HWND, HWND, LPSTR, LPCSTR);
using NameFn = int(WINAPI*)(LPCSTR, LPCSTR, LPSTR);
using StrFn = int(WINAPI*)(LPCSTR);
using Str2Fn = int(WINAPI*)(LPCSTR, LPCSTR);

// ---------------------------------------------------------------- windows

// A top-level window of the test program that counts the WM_COMMAND
// messages it receives and remembers the last one and when it came.
struct Receiver {
  HWND window = nullptr;
  int commands = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD at = 0;
};
Receiver* g_receiver = nullptr;

LRESULT CALLBACK ReceiverProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND && g_receiver) {
    ++g_receiver->commands;
    g_receiver->wParam = wp;
    g_receiver->lParam = lp;
    g_receiver->at = GetTickCount();
    return 0;
  }
  return DefWindowProcA(w, msg, wp, lp);
}

HWND MakeWindow(const char* title) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ReceiverProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "KvDialogTest";
    registered = RegisterClassA(&wc) != 0;
  }
  return CreateWindowA("KvDialogTest", title, WS_OVERLAPPEDWINDOW, 0, 0, 200,
                       100, nullptr, nullptr, GetModuleHandleA(nullptr),
                       nullptr);
}

// Runs the message loop until `done` holds or `ms` have passed.
template <typename Done>
bool Pump(DWORD ms, Done done) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    if (done()) return true;
    Sleep(5);
  }
  return done();
}

class TimerThread : public kvwine::CleanupTest {
 protected:
  void SetUp() override {
    create_ = kvwine::Export<CreateTimerFn>("CreateTimerThread");
    destroy_ = kvwine::Export<IntFn>("DestroyTimerThread");
    state_ = kvwine::Export<IntFn>("TimerThreadState");
    start_ = kvwine::Export<IntFn>("TimerThread_TmStart");
    stop_ = kvwine::Export<IntFn>("TimerThread_TmStop");
    ASSERT_TRUE(create_ && destroy_ && state_ && start_ && stop_);
    r_.window = MakeWindow("KV timer receiver");
    ASSERT_NE(r_.window, nullptr);
    g_receiver = &r_;
  }
  void TearDown() override {
    if (destroy_) destroy_();
    g_receiver = nullptr;
    if (r_.window) DestroyWindow(r_.window);
    CleanupTest::TearDown();
  }
  CreateTimerFn create_ = nullptr;
  IntFn destroy_ = nullptr, state_ = nullptr, start_ = nullptr, stop_ = nullptr;
  Receiver r_;
};

TEST_F(TimerThread, PostsAfterTheDelayAndRearms) {
  EXPECT_EQ(state_(), 0);
  EXPECT_EQ(start_(), 0) << "no thread yet";
  ASSERT_EQ(create_(r_.window, 0x10042, 77, 3), 1);  // 300 ms
  EXPECT_EQ(state_(), 2);
  // A second create keeps the first window and delay.
  HWND other = MakeWindow("other");
  AtEnd([other] { DestroyWindow(other); });
  EXPECT_EQ(create_(other, 5, 5, 50), 1);

  for (int round = 0; round < 2; ++round) {
    const int before = r_.commands;
    const DWORD armed = GetTickCount();
    ASSERT_EQ(start_(), 1);
    ASSERT_TRUE(Pump(5000, [&] { return r_.commands > before; }))
        << "round " << round;
    const DWORD took = r_.at - armed;
    EXPECT_GE(took, 200u) << "round " << round;
    EXPECT_LE(took, 2000u) << "round " << round;
    EXPECT_EQ(r_.wParam, 0x42u);
    EXPECT_EQ(r_.lParam, 77);
    // Disarmed after the message: no second one comes by itself.
    EXPECT_EQ(state_(), 2);
    Pump(700, [] { return false; });
    EXPECT_EQ(r_.commands, before + 1);
  }

  EXPECT_EQ(destroy_(), 1);
  EXPECT_EQ(state_(), 0);
  EXPECT_EQ(stop_(), 0);
  EXPECT_EQ(destroy_(), 1) << "no thread: one wait, then 1";
}

TEST_F(TimerThread, DestroyEndsTheThread) {
  ASSERT_EQ(create_(r_.window, 1, 0, 1), 1);
  // The thread's handle is not handed out; count the process's threads.
  kv::Win32Platform platform;
  (void)platform;
  ASSERT_EQ(start_(), 1);
  ASSERT_EQ(stop_(), 1);
  EXPECT_EQ(destroy_(), 1);
  EXPECT_EQ(state_(), 0);
  // A fresh thread starts with the new settings after a destroy.
  ASSERT_EQ(create_(r_.window, 9, 0, 0), 1);
  ASSERT_EQ(start_(), 1);
  ASSERT_TRUE(Pump(2000, [&] { return r_.commands > 0; }));
  EXPECT_EQ(r_.wParam, 9u);
}

// However long the delay, armed or not, a destroy ends the thread at once
// (the DLL may be unloaded right after it).
TEST_F(TimerThread, LongDelayIsDestroyedPromptly) {
  for (int delay : {6000, 100000, 0x7FFFFFFF}) {
    for (bool armed : {false, true}) {
      SCOPED_TRACE(delay);
      SCOPED_TRACE(armed);
      ASSERT_EQ(create_(r_.window, 1, 0, delay), 1);
      if (armed) {
        ASSERT_EQ(start_(), 1);
      }
      Sleep(50);  // inside the first tick
      const DWORD before = GetTickCount();
      EXPECT_EQ(destroy_(), 1);
      EXPECT_LT(GetTickCount() - before, 500u);
      EXPECT_EQ(state_(), 0);
    }
  }
  EXPECT_EQ(r_.commands, 0);
}

// Suites without state of their own that still make windows or keys: what
// they make is taken away in TearDown, whichever way the test ends.
using WindowTimers = kvwine::CleanupTest;
using Browse = kvwine::CleanupTest;
using LpdService = kvwine::CleanupTest;

TEST_F(WindowTimers, WmTimerArrives) {
  auto set = kvwine::Export<UINT(WINAPI*)(HWND, UINT, UINT)>("WinApi_SetTimer");
  auto kill = kvwine::Export<int(WINAPI*)(HWND, UINT)>("WinApi_KillTimer");
  ASSERT_TRUE(set && kill);
  HWND w = MakeWindow("timer");
  AtEnd([w] { DestroyWindow(w); });
  ASSERT_EQ(set(w, 7, 50), 7u);
  bool got = false;
  Pump(2000, [&] {
    MSG m;
    if (PeekMessageA(&m, w, WM_TIMER, WM_TIMER, PM_REMOVE) && m.wParam == 7)
      got = true;
    return got;
  });
  EXPECT_TRUE(got);
  EXPECT_EQ(kill(w, 7), 1);
  EXPECT_EQ(kill(w, 7), 0);
}

// ---------------------------------------------------------------- browse

struct BrowseWatch {
  DWORD pid;
  HWND dialog;  // the installer's dialog, disabled while browsing
  bool found = false;
  bool dialogWasDisabled = false;
};

BOOL CALLBACK FindBrowse(HWND w, LPARAM lp) {
  auto* watch = reinterpret_cast<BrowseWatch*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  char cls[64] = {};
  GetClassNameA(w, cls, sizeof cls);
  if (pid == watch->pid && std::strcmp(cls, "#32770") == 0 &&
      IsWindowVisible(w)) {
    watch->found = true;
    watch->dialogWasDisabled = !IsWindowEnabled(watch->dialog);
    PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI CancelBrowse(LPVOID p) {
  auto* watch = static_cast<BrowseWatch*>(p);
  for (int i = 0; i < 200 && !watch->found; ++i) {
    Sleep(50);
    EnumWindows(FindBrowse, reinterpret_cast<LPARAM>(watch));
  }
  return 0;
}

TEST_F(Browse, CancelledDialogLeavesTheBufferAndEnablesTheDialog) {
  auto browse = kvwine::Export<BrowseFn>("BrowseFolder");
  ASSERT_NE(browse, nullptr);
  HWND dialog = MakeWindow("installer dialog");
  ASSERT_NE(dialog, nullptr);
  AtEnd([dialog] { DestroyWindow(dialog); });
  BrowseWatch watch{GetCurrentProcessId(), dialog};
  HANDLE t = CreateThread(nullptr, 0, CancelBrowse, &watch, 0, nullptr);
  ASSERT_NE(t, nullptr);
  char path[300];
  std::memset(path, '#', sizeof path);
  path[sizeof path - 1] = 0;
  const int result = browse(dialog, dialog, path, "KV browse test");
  WaitForSingleObject(t, 15000);
  CloseHandle(t);
  ASSERT_TRUE(watch.found) << "no browse dialog appeared (is there a display?)";
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(watch.dialogWasDisabled);
  EXPECT_TRUE(IsWindowEnabled(dialog));
  EXPECT_EQ(path[0], '#');
  EXPECT_EQ(std::strlen(path), sizeof path - 1);
}

// ---------------------------------------------------------------- strings

TEST(Strings, ExportsOnTheRealDll) {
  auto cmp = kvwine::Export<Str2Fn>("WinSub_StrCmp");
  auto find = kvwine::Export<Str2Fn>("StrFind");
  auto top = kvwine::Export<StrFn>("TopStringNum");
  auto del = kvwine::Export<int(WINAPI*)(LPSTR)>("DelSpace");
  auto cut = kvwine::Export<LPSTR(WINAPI*)(LPSTR, LPCSTR, int)>("StrTopDel");
  ASSERT_TRUE(cmp && find && top && del && cut);
  EXPECT_EQ(cmp("abc", "abd"), -1);
  EXPECT_EQ(cmp("\xE0", "a"), 1);
  EXPECT_EQ(find("LPR", "my lpr port"), 1);
  EXPECT_EQ(find((std::string(245, 'x') + "q").c_str(), "q"), 0);
  EXPECT_EQ(top("9"), 1);
  char text[] = "  ab c  ";
  EXPECT_EQ(del(text), 1);
  EXPECT_STREQ(text, "ab c");
  char buf[] = "LPT1:";
  EXPECT_STREQ(cut(buf, buf, 3), "1:");
}

// ---------------------------------------------------------------- LPT

TEST(ParallelPorts, BiosReadAndDetection) {
  kv::Win32Platform platform;
  const WORD lpt1 = platform.ReadBiosDataWord(0x08);
  auto detect = kvwine::Export<StrFn>("ToDetectLPT");
  ASSERT_NE(detect, nullptr);
  if (kvwine::IsWin9x()) {
    // Wine emulates selector 0x40 with a BIOS data area of its own that
    // has parallel ports at 0x378 and 0x278 and no third one.
    EXPECT_EQ(lpt1, 0x378);
    EXPECT_EQ(platform.ReadBiosDataWord(0x0A), 0x278);
    EXPECT_EQ(platform.ReadBiosDataWord(0x0C), 0);
    EXPECT_EQ(detect("lpt1:"), 1);
    EXPECT_EQ(detect("LPT2:"), 1);
    EXPECT_EQ(detect("LPT3:"), 0);
  } else {
    EXPECT_EQ(lpt1, 0) << "never read outside Windows 9x";
  }
  EXPECT_EQ(platform.ReadBiosDataWord(0x1000), 0) << "outside the data area";
  EXPECT_EQ(detect("LPT4:"), 0);
  EXPECT_EQ(detect("LPT"), 0);
}

// ---------------------------------------------------------------- printers

constexpr const char* kDriver = "KV Query Test Driver";
constexpr const char* kBase = "KV Query Test";

class Queries : public testing::Test {
 protected:
  void SetUp() override {
    if (GetFileAttributesA(kWinePs) == INVALID_FILE_ATTRIBUTES)
      GTEST_SKIP() << "Wine's PostScript driver is not at " << kWinePs;
    Clean();
    char dir[MAX_PATH] = {};
    DWORD needed = 0;
    ASSERT_TRUE(GetPrinterDriverDirectoryA(nullptr, nullptr, 1,
                                           reinterpret_cast<LPBYTE>(dir),
                                           sizeof dir, &needed));
    driverFile_ = std::string(dir) + "\\kvqueryps.drv";
    ASSERT_TRUE(CopyFileA(kWinePs, driverFile_.c_str(), FALSE));
    DRIVER_INFO_3A d = {};
    d.cVersion = kvwine::IsWin9x() ? 0 : 3;
    d.pName = const_cast<LPSTR>(kDriver);
    d.pDriverPath = const_cast<LPSTR>("kvqueryps.drv");
    d.pDataFile = const_cast<LPSTR>("kvqueryps.drv");
    d.pConfigFile = const_cast<LPSTR>("kvqueryps.drv");
    ASSERT_TRUE(AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&d)))
        << "error " << GetLastError();
  }
  void TearDown() override { Clean(); }
  void Clean() {
    for (const char* n : {kBase, "KV Query Test(2)", "KV Query Test(3)"})
      RemovePrinter(n);
    DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>(kDriver));
    if (!driverFile_.empty()) DeleteFileA(driverFile_.c_str());
  }
  bool Add(const char* name, const char* port) {
    PRINTER_INFO_2A p = {};
    p.pPrinterName = const_cast<LPSTR>(name);
    p.pPortName = const_cast<LPSTR>(port);
    p.pDriverName = const_cast<LPSTR>(kDriver);
    p.pPrintProcessor = const_cast<LPSTR>("winprint");
    p.pDatatype = const_cast<LPSTR>("RAW");
    HANDLE h = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&p));
    if (h) ClosePrinter(h);
    return h != nullptr;
  }
  std::string driverFile_;
};

TEST_F(Queries, NamesCountAndCheck) {
  auto num = kvwine::Export<IntFn>("GetPrinterNum");
  auto name = kvwine::Export<NameFn>("GetPrinterDriverName");
  auto check = kvwine::Export<StrFn>("PrinterCheck");
  ASSERT_TRUE(num && name && check);
  const int before = num();
  char out[128];
  EXPECT_EQ(name(kBase, "LPT1:", out),
            static_cast<int>(std::strlen(kBase) + 1));
  EXPECT_STREQ(out, kBase);
  EXPECT_EQ(check(kBase), 0);

  ASSERT_TRUE(Add(kBase, "LPT1:")) << "error " << GetLastError();
  ASSERT_TRUE(Add("KV Query Test(2)", "FILE:")) << "error " << GetLastError();
  EXPECT_EQ(num(), before + 2);
  EXPECT_EQ(check(kBase), 1);
  EXPECT_EQ(check("kv query test"), 1) << "printer names ignore case";
  EXPECT_EQ(check(""), 0);
  EXPECT_EQ(name(kBase, "LPT1:", out),
            static_cast<int>(std::strlen(kBase) + 1));
  EXPECT_STREQ(out, kBase) << "the printer on the same port is reused";
  name(kBase, "LPT2:", out);
  EXPECT_STREQ(out, "KV Query Test(3)");
  name(kBase, "FILE:", out);
  EXPECT_STREQ(out, "KV Query Test(2)");
}

TEST_F(LpdService, AnswersFromTheRegistry) {
  auto chk = kvwine::Export<IntFn>("Chk_MicroTcpIpEntryNT");
  ASSERT_NE(chk, nullptr);
  HKEY k = nullptr;
  const bool existed =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                    "SOFTWARE\\Microsoft\\LPDSVC\\CurrentVersion", 0, KEY_READ,
                    &k) == ERROR_SUCCESS;
  if (k) RegCloseKey(k);
  if (existed) GTEST_SKIP() << "this prefix has LPDSVC registered";
  EXPECT_EQ(chk(), 0);
  AtEnd([] {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                  "SOFTWARE\\Microsoft\\LPDSVC\\CurrentVersion");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\LPDSVC");
  });
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE,
                          "SOFTWARE\\Microsoft\\LPDSVC\\CurrentVersion", &k),
            ERROR_SUCCESS);
  const char title[] = "TCP/IP Print Server";
  RegSetValueExA(k, "Title", 0, REG_SZ, reinterpret_cast<const BYTE*>(title),
                 sizeof title);
  RegCloseKey(k);
  EXPECT_EQ(chk(), 1);
}

}  // namespace
