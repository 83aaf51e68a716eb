// Loads a capture of a real machine (host/capture.h) into the simulated
// machine, so that a script can be rehearsed on a copy of that machine.
#pragma once

#include <ostream>
#include <string>

#include "host/capture.h"
#include "sim/sim_platform.h"

namespace kv::host {

// The simulated Windows version for the capture's version record. False
// when the record is none the library knows; `version` is then the nearest
// family's and `note` says so.
bool CaptureVersion(const Capture& capture, sim::WindowsVersion* version,
                    std::string* note);

// Makes `os` (a fresh machine of CaptureVersion's version) a copy of the
// captured machine: its version record and folders, the captured registry
// trees in place of its own, the profile sections, the service states and
// the files (placeholders of their size where the content was not
// captured). Prints what was loaded and where the copy's spooler lists
// differ from the machine's.
void LoadCapture(const Capture& capture, sim::SimPlatform& os,
                 std::ostream& out);

}  // namespace kv::host
