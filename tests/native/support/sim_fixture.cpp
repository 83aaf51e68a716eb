#include "tests/native/support/sim_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "exports/dll_context.h"

namespace kv::test {
namespace {

// The machine the exports are bound to, if a machine bound them: only that
// one may drop the binding, not an earlier machine that outlives a rebind.
const SimMachine* exportsBoundTo = nullptr;

// The machine folder sits one level below the test's own temporary folder,
// so a path that escaped the machine would land in a folder of this test,
// not in the shared temporary folder where another run's files may be.
std::string MachineFolder(const TempDir& dir) {
  const std::string path = dir.path() + "/machine";
  std::filesystem::create_directory(path);
  return path;
}

}  // namespace

TempDir::TempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "kvsup-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

SimMachine::SimMachine(sim::WindowsVersion v)
    : os_(std::make_unique<sim::SimPlatform>(v, MachineFolder(dir_))),
      ctx_(std::make_unique<Context>(*os_)) {
  ctx_->traceSink = [this](const std::string& t) { trace.push_back(t); };
}

SimMachine::~SimMachine() {
  // Before the platform goes: the exports' context refers to it.
  if (exportsBoundTo != this) return;
  UnbindExportPlatform();
  exportsBoundTo = nullptr;
}

std::string SimMachine::traceText() const {
  std::string all;
  for (const auto& t : trace) all += t;
  return all;
}

void SimMachine::BindExports() {
  SetExportPlatform(*os_);
  exportsBoundTo = this;
}

const std::vector<VersionCase>& AllVersions() {
  using V = sim::WindowsVersion;
  using K = OsKind;
  static const std::vector<VersionCase> cases = {
      {V::NT4, K::NT4, "nt40"},          {V::Win95, K::Win9x, "win95"},
      {V::Win98, K::Win9x, "win98"},     {V::WinMe, K::Win9x, "winme"},
      {V::Win2000, K::Win2000, "win2k"}, {V::XP, K::XP, "winxp"},
      {V::Server2003, K::XP, "win2003"}, {V::NT351, K::Other, "nt351"},
      {V::Win32s, K::Other, "win32s"},   {V::Vista, K::XP, "vista"},
      {V::Win7, K::XP, "win7"},          {V::Win81, K::XP, "win81"},
      {V::Win10, K::XP, "win10"},
  };
  return cases;
}

}  // namespace kv::test
