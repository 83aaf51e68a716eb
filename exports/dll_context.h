// The DLL's one Context, owned by the exports layer.
#pragma once

#include "foundation/context.h"

namespace kv {

// The process-wide context every export works on. In the Windows build it is
// bound to the real system on first use (through a TracedPlatform writing to
// the file that KVSUP_TRACE_CALLS named when the library was loaded, when it
// names one that can be opened); in the native build to the platform
// given to SetExportPlatform (the host's or a test's simulated machine);
// there, with no platform bound, it reports "no platform bound to the
// exports" on stderr and aborts the process.
Context& DllContext();

#ifndef _WIN32
// Native build only: binds the exports to `platform` with fresh process-wide
// state, as a newly loaded library would have.
void SetExportPlatform(Platform& platform);
// Native build only: drops the binding, so that the next export aborts
// until a platform is bound again. Whoever destroys the bound platform
// calls it first.
void UnbindExportPlatform();
#endif

}  // namespace kv
