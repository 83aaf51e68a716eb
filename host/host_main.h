// Entry points of kvsup-host. main() only forwards to HostMain, which each
// build defines: native_host.cpp (simulated machine) or win32_host.cpp (the
// real _KVSUP32.dll).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "host/export_table.h"

namespace kv::host {

int HostMain(int argc, char** argv);

// The exports of this build, as the X-macro of exports/all.h lists them
// (native: linked in; Windows: resolved from the loaded library).
#ifndef _WIN32
ExportTable NativeExports();

// The whole native host: options, machine, script, saved state. `args` are
// the command-line arguments without the program name; `in` is read when no
// script file is named. Returns the exit code: 0 every line ran, 1 a line was
// refused or a call wrote past a buffer, 2 bad options or an unusable machine
// or script.
int RunNativeHost(const std::vector<std::string>& args, std::istream& in,
                  std::ostream& out, std::ostream& err);
#endif

}  // namespace kv::host
