// A fixed table of profile-file calls whose results are printed one line per
// call: result, last error (a sentinel is set before each call, so "err=sent"
// means the call left it alone) and the caller's buffer byte by byte (filled
// with '#' before the call, so truncation and terminators show). After the
// writes the file itself is printed, so the layout Windows writes is compared
// too. Cross-built, it runs on the real profile functions under Wine (through
// Win32Platform); the native test test_sim runs the same table on the
// simulated machine and compares with tests/fixtures/profile_probe.expected.
//
// Regenerate the expected file (Wine at winxp):
//   (one command over three lines)
//   i686-w64-mingw32-g++ -std=c++17 -static -O1 -I. -o profile_probe.exe
//     tests/wine/probes/profile_probe.cpp foundation/win32_platform.cpp
//     -ladvapi32 -lwinspool -llz32 -lshell32 -lole32 -lgdi32
//   export WINEPREFIX=$PWD/build/probe-prefix; wineboot -i
//   wine reg add 'HKCU\Software\Wine' /v Version /d winxp /f
//   wine profile_probe.exe | tr -d '\r' > tests/fixtures/profile_probe.expected
//
// Everything happens in C:\kvprobe and in kvprobe.ini / section [KvProbe] of
// win.ini in the Windows directory; all of it is removed before and after.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/platform.h"

namespace kv::probe {

namespace {

const DWORD kSentinel = 0xBEEF;

const char kTestIni[] =
    "; leading comment\r\n"
    "[Section1]\r\n"
    "key1=value1\r\n"
    "  Key2  =  spaced value  \r\n"
    "quoted=\"quoted value\"\r\n"
    "squoted='single'\r\n"
    "halfquote=\"open\r\n"
    "mixquote=\"mixed'\r\n"
    "empty=\r\n"
    "noequals\r\n"
    "num=42\r\n"
    "neg=-17\r\n"
    "hex=0x10\r\n"
    "lead= 12abc\r\n"
    "plus=+5\r\n"
    "word=abc\r\n"
    "big=4294967295\r\n"
    "dup=first\r\n"
    "dup=second\r\n"
    "\r\n"
    "[ Section2 ]\r\n"
    "a=1\r\n"
    "; inner comment\r\n"
    "b = two\r\n"
    "[Empty]\r\n";

// The same kind of content with bare LF line ends, as an editor may leave it.
const char kLfIni[] = "[Lf]\nk=v\nk2=w x\n";

std::string Escape(const char* data, size_t n) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(data[i]);
    if (c == 0) {
      out += "\\0";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c >= 0x7f) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Err(Platform& os) {
  DWORD e = os.GetLastError();
  return e == kSentinel ? std::string("sent") : std::to_string(e);
}

// What a successful write leaves in the last error is undocumented (Wine
// leaves values of its inner calls), so it is printed only on failure.
std::string WriteResult(Platform& os, BOOL r) {
  return r ? std::string(" ret=1") : " ret=0 err=" + Err(os);
}

bool WriteBytes(Platform& os, const std::string& path, const char* data,
                DWORD n) {
  HANDLE h = os.CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = os.WriteFile(h, data, n, &written, nullptr);
  os.CloseHandle(h);
  return ok && written == n;
}

std::string ReadBytes(Platform& os, const std::string& path) {
  HANDLE h =
      os.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string all;
  char chunk[256];
  DWORD got = 0;
  while (os.ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0)
    all.append(chunk, got);
  os.CloseHandle(h);
  return Escape(all.data(), all.size());
}

class Runner {
 public:
  Runner(Platform& os, std::vector<std::string>& out) : os_(os), out_(out) {}

  // GetPrivateProfileStringA into a '#'-filled buffer of `size` bytes (of
  // which the call is told `size`); the whole buffer is printed.
  void Str(const char* label, const char* section, const char* key,
           const char* deflt, DWORD size, const std::string& file) {
    char buf[512];
    std::memset(buf, '#', sizeof buf);
    os_.SetLastError(kSentinel);
    DWORD r = os_.GetPrivateProfileStringA(section, key, deflt, buf, size,
                                           file.c_str());
    std::string e = Err(os_);
    out_.push_back(std::string(label) + " ret=" + std::to_string(r) +
                   " err=" + e + " buf=" + Escape(buf, size + 1));
  }

  void Section(const char* label, const char* section, DWORD size,
               const std::string& file) {
    char buf[512];
    std::memset(buf, '#', sizeof buf);
    os_.SetLastError(kSentinel);
    DWORD r = os_.GetPrivateProfileSectionA(section, buf, size, file.c_str());
    std::string e = Err(os_);
    out_.push_back(std::string(label) + " ret=" + std::to_string(r) +
                   " err=" + e + " buf=" + Escape(buf, size + 1));
  }

  void Int(const char* label, const char* section, const char* key, INT deflt,
           const std::string& file) {
    os_.SetLastError(kSentinel);
    UINT r = os_.GetPrivateProfileIntA(section, key, deflt, file.c_str());
    std::string e = Err(os_);
    out_.push_back(std::string(label) + " ret=" + std::to_string(r) +
                   " err=" + e);
  }

  void Write(const char* label, const char* section, const char* key,
             const char* value, const char* file) {
    os_.SetLastError(kSentinel);
    BOOL r = os_.WritePrivateProfileStringA(section, key, value, file);
    out_.push_back(std::string(label) + WriteResult(os_, r));
  }

  void Dump(const char* label, const std::string& file) {
    out_.push_back(std::string(label) + " file=" + ReadBytes(os_, file));
  }

 private:
  Platform& os_;
  std::vector<std::string>& out_;
};

void Cleanup(Platform& os, const std::string& winIni) {
  os.DeleteFileA("C:\\kvprobe\\test.ini");
  os.DeleteFileA("C:\\kvprobe\\lf.ini");
  os.DeleteFileA("C:\\kvprobe\\new.ini");
  os.DeleteFileA(winIni.c_str());
  os.RemoveDirectoryA("C:\\kvprobe");
  os.WriteProfileStringA("KvProbe", nullptr, nullptr);
}

}  // namespace

// Runs the table; returns one line per call.
std::vector<std::string> RunProfileProbe(Platform& os) {
  std::vector<std::string> out;
  char windir[MAX_PATH];
  os.GetWindowsDirectoryA(windir, sizeof windir);
  const std::string bareIni = std::string(windir) + "\\kvprobe.ini";
  Cleanup(os, bareIni);

  os.CreateDirectoryA("C:\\kvprobe", nullptr);
  const std::string ini = "C:\\kvprobe\\test.ini";
  const std::string lf = "C:\\kvprobe\\lf.ini";
  const std::string fresh = "C:\\kvprobe\\new.ini";
  if (!WriteBytes(os, ini, kTestIni, sizeof kTestIni - 1) ||
      !WriteBytes(os, lf, kLfIni, sizeof kLfIni - 1)) {
    out.push_back("setup failed");
    return out;
  }
  Runner run(os, out);

  // Plain reads, case, blanks, quotes.
  run.Str("str-plain", "Section1", "key1", "def", 64, ini);
  run.Str("str-case", "SECTION1", "KEY1", "def", 64, ini);
  run.Str("str-blanks", "Section1", "key2", "def", 64, ini);
  run.Str("str-blank-args", " Section1 ", " key1 ", "def", 64, ini);
  run.Str("str-quoted", "Section1", "quoted", "def", 64, ini);
  run.Str("str-squoted", "Section1", "squoted", "def", 64, ini);
  run.Str("str-halfquote", "Section1", "halfquote", "def", 64, ini);
  run.Str("str-mixquote", "Section1", "mixquote", "def", 64, ini);
  run.Str("str-empty-value", "Section1", "empty", "def", 64, ini);
  run.Str("str-noequals", "Section1", "noequals", "def", 64, ini);
  run.Str("str-dup", "Section1", "dup", "def", 64, ini);
  run.Str("str-section-blanks", "Section2", "b", "def", 64, ini);
  run.Str("str-comment-key", "Section1", "; leading comment", "def", 64, ini);
  run.Str("str-lf", "Lf", "k2", "def", 64, lf);

  // Defaults.
  run.Str("def-missing-key", "Section1", "nokey", "dflt   ", 64, ini);
  run.Str("def-missing-section", "NoSection", "key1", "dflt", 64, ini);
  run.Str("def-missing-file", "Section1", "key1", "dflt", 64,
          "C:\\kvprobe\\absent.ini");
  run.Str("def-null", "Section1", "nokey", nullptr, 64, ini);
  run.Str("def-blank-only", "Section1", "nokey", "   ", 64, ini);
  run.Str("def-lead-blank", "Section1", "nokey", "  x ", 64, ini);
  run.Str("def-cut", "Section1", "nokey", "defaultvalue", 5, ini);

  // Truncation of a value.
  run.Str("cut-1", "Section1", "key1", "def", 1, ini);
  run.Str("cut-2", "Section1", "key1", "def", 2, ini);
  run.Str("cut-5", "Section1", "key1", "def", 5, ini);
  run.Str("cut-6", "Section1", "key1", "def", 6, ini);
  run.Str("cut-7", "Section1", "key1", "def", 7, ini);
  run.Str("cut-quoted", "Section1", "quoted", "def", 6, ini);

  // Key-name lists.
  run.Str("keys-all", "Section1", nullptr, "def", 256, ini);
  run.Str("keys-section2", "Section2", nullptr, "def", 64, ini);
  run.Str("keys-cut-10", "Section1", nullptr, "def", 10, ini);
  run.Str("keys-cut-4", "Section1", nullptr, "def", 4, ini);
  run.Str("keys-cut-3", "Section1", nullptr, "def", 3, ini);
  run.Str("keys-cut-2", "Section1", nullptr, "def", 2, ini);
  run.Str("keys-exact", "Section2", nullptr, "def", 6, ini);
  run.Str("keys-exact-1", "Section2", nullptr, "def", 5, ini);
  run.Str("keys-empty-section", "Empty", nullptr, "def", 64, ini);
  run.Str("keys-missing-section", "NoSection", nullptr, "def", 64, ini);

  // Section-name lists.
  run.Str("sections-all", nullptr, nullptr, "def", 128, ini);
  run.Str("sections-cut-12", nullptr, nullptr, "def", 12, ini);
  run.Str("sections-cut-9", nullptr, nullptr, "def", 9, ini);
  run.Str("sections-missing-file", nullptr, nullptr, "def", 64,
          "C:\\kvprobe\\absent.ini");

  // Section reads.
  run.Section("sect-all", "Section2", 64, ini);
  run.Section("sect-case", "section2", 64, ini);
  run.Section("sect-section1", "Section1", 400, ini);
  run.Section("sect-cut-8", "Section2", 8, ini);
  run.Section("sect-cut-5", "Section2", 5, ini);
  run.Section("sect-empty", "Empty", 64, ini);
  run.Section("sect-missing", "NoSection", 64, ini);
  run.Section("sect-lf", "Lf", 64, lf);

  // Integers.
  run.Int("int-num", "Section1", "num", 7, ini);
  run.Int("int-neg", "Section1", "neg", 7, ini);
  run.Int("int-hex", "Section1", "hex", 7, ini);
  run.Int("int-lead", "Section1", "lead", 7, ini);
  run.Int("int-plus", "Section1", "plus", 7, ini);
  run.Int("int-word", "Section1", "word", 7, ini);
  run.Int("int-big", "Section1", "big", 7, ini);
  run.Int("int-empty", "Section1", "empty", 7, ini);
  run.Int("int-noequals", "Section1", "noequals", 7, ini);
  run.Int("int-quoted", "Section1", "quoted", 7, ini);
  run.Int("int-missing", "Section1", "nokey", 7, ini);
  run.Int("int-missing-neg", "Section1", "nokey", -3, ini);
  run.Int("int-missing-file", "Section1", "num", 9, "C:\\kvprobe\\absent.ini");

  // Writes: replace, add, blanks, new section, delete key and section.
  run.Write("w-replace", "section1", "KEY1", "changed", ini.c_str());
  run.Str("w-replace-read", "Section1", "key1", "def", 64, ini);
  run.Write("w-add", "Section2", "c", "three", ini.c_str());
  run.Write("w-blanks", "Section2", " d ", "  padded  ", ini.c_str());
  run.Str("w-blanks-read", "Section2", "d", "def", 64, ini);
  run.Write("w-empty-value", "Section2", "e", "", ini.c_str());
  run.Write("w-new-section", "Added", "k", "v", ini.c_str());
  run.Write("w-delete-key", "Section1", "num", nullptr, ini.c_str());
  run.Write("w-delete-missing-key", "Section1", "nokey", nullptr, ini.c_str());
  run.Write("w-delete-section", "Empty", nullptr, nullptr, ini.c_str());
  run.Write("w-delete-missing-section", "NoSection", nullptr, nullptr,
            ini.c_str());
  run.Dump("w-file", ini);
  run.Write("w-new-file", "Fresh", "k", "v", fresh.c_str());
  run.Dump("w-new-file-content", fresh);
  run.Write("w-second-key", "Fresh", "k2", "v2", fresh.c_str());
  run.Write("w-second-section", "Other", "k", "v", fresh.c_str());
  run.Dump("w-new-file-grown", fresh);
  run.Write("w-missing-dir", "S", "k", "v", "C:\\kvprobe\\nodir\\x.ini");
  run.Write("w-flush", nullptr, nullptr, nullptr, ini.c_str());
  run.Write("w-null-section", nullptr, "k", "v", fresh.c_str());

  // A bare file name lives in the Windows directory.
  run.Write("bare-write", "Bare", "k", "in windir", "kvprobe.ini");
  run.Str("bare-read-full", "Bare", "k", "def", 64, bareIni);
  run.Str("bare-read-bare", "BARE", "K", "def", 64, "KVPROBE.INI");

  // win.ini through the profile calls.
  os.SetLastError(kSentinel);
  BOOL w = os.WriteProfileStringA("KvProbe", "Key", " win ini ");
  out.push_back("winini-write" + WriteResult(os, w));
  {
    char buf[64];
    std::memset(buf, '#', sizeof buf);
    os.SetLastError(kSentinel);
    DWORD r = os.GetProfileStringA("kvprobe", "KEY", "def", buf, 32);
    std::string e = Err(os);
    out.push_back("winini-read ret=" + std::to_string(r) + " err=" + e +
                  " buf=" + Escape(buf, 33));
  }
  os.SetLastError(kSentinel);
  w = os.WriteProfileStringA(nullptr, nullptr, nullptr);
  out.push_back("winini-flush" + WriteResult(os, w));
  os.SetLastError(kSentinel);
  w = os.WriteProfileStringA("KvProbe", nullptr, nullptr);
  out.push_back("winini-delete" + WriteResult(os, w));

  Cleanup(os, bareIni);
  out.push_back(std::string("cleaned attr=") +
                (os.GetFileAttributesA("C:\\kvprobe") == INVALID_FILE_ATTRIBUTES
                     ? "gone"
                     : "left"));
  return out;
}

}  // namespace kv::probe

#ifdef _WIN32
#include "foundation/win32_platform.h"

int main() {
  kv::Win32Platform os;
  for (const auto& line : kv::probe::RunProfileProbe(os))
    std::printf("%s\n", line.c_str());
  return 0;
}
#endif
