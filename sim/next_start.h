// The next start of Windows on the simulated machine, as far as removal
// needs it: the commands of HKLM RunOnce run once and are deleted. The
// machine runs no programs, so the commands are interpreted: a batch file
// (run line by line, stopping when the batch deletes itself, as the command
// interpreter does), "command.com /c <line>", and of lines only "del" (with
// "/f" on the NT family), one file, quoted or not. Anything else is logged
// as not run.
#pragma once

#include <string>
#include <vector>

#include "sim/sim_platform.h"

namespace kv::sim {

// Runs the RunOnce commands in the order the registry lists them, deleting
// each value first as Windows does. One log line per command and per batch
// line: what ran and its outcome ("deleted", "not found", "not run: ...").
std::vector<std::string> StartWindowsAgain(SimPlatform& os);

}  // namespace kv::sim
