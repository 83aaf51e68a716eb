// A simulated machine in a fresh temporary folder, bound to a Context, for
// tests of operations and exports.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/context.h"
#include "foundation/oskind.h"
#include "sim/sim_platform.h"

namespace kv::test {

// Set as the last error before a call whose error a test checks, so that a
// value left by an earlier call cannot pass the check.
constexpr DWORD kStaleError = 0x5EB0DEAD;

// A temporary folder removed with everything in it when the owner goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A machine of one Windows version with a Context whose debug trace is
// captured in `trace`.
class SimMachine {
 public:
  explicit SimMachine(sim::WindowsVersion v);
  // Unbinds the DLL exports when this machine was the last to bind them, so
  // that a later test that forgets to bind aborts instead of reaching a
  // destroyed platform.
  ~SimMachine();
  sim::SimPlatform& os() { return *os_; }
  Context& ctx() { return *ctx_; }
  // Every trace text so far, joined.
  std::string traceText() const;
  std::vector<std::string> trace;
  // Binds the DLL exports to this machine (fresh process-wide state) until
  // another machine binds them or this one goes.
  void BindExports();

 private:
  TempDir dir_;
  std::unique_ptr<sim::SimPlatform> os_;
  std::unique_ptr<Context> ctx_;
};

// Every version of the simulated machine, and the OS kind it should give.
struct VersionCase {
  sim::WindowsVersion version;
  OsKind osKind;
  const char* name;
};
const std::vector<VersionCase>& AllVersions();

}  // namespace kv::test
