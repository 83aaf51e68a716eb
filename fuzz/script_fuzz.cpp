// A script as a field engineer might be handed it: every line is checked
// against the exports' declarations (nothing is called), and nothing the
// host prints about it holds a raw control byte.
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz/format_fuzz.h"
#include "host/host_main.h"
#include "host/runner.h"

namespace {

class NoMachine : public kv::host::Machine {
 public:
  std::string WindowsDirectory() override { return "C:\\WINDOWS"; }
  std::string SystemDirectory() override { return "C:\\WINDOWS\\SYSTEM32"; }
  std::string AppDataDirectory() override { return "C:\\Data"; }
  bool CopyIn(const std::string&, const std::string&, std::string*) override {
    return true;
  }
  void Wait(unsigned, std::ostream&) override {}
  void SetLastError(DWORD) override {}
  bool StartWindowsAgain(std::ostream&, std::string*) override { return true; }

 protected:
  HWND CreateScriptWindow(long long) override { return nullptr; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const kv::host::ExportTable table = kv::host::NativeExports();
  std::istringstream script(
      std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream out, err;
  NoMachine machine;
  kv::host::RunOptions options;
  options.checkOnly = true;
  kv::host::RunScript(script, table, machine, out, err, options);
  kv::fuzz::RequirePrintable(out.str());
  kv::fuzz::RequirePrintable(err.str());
  return 0;
}
