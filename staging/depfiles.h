// The driver's dependent-file list, built name by name by the installer.
#pragma once

#include <string>

#include "foundation/context.h"

namespace kv {

// Moves the write position to the start of the list; the old names stay until
// overwritten. Always 1.
int DepInit(Context& ctx);

// Appends `name` (a "=x", "=xx" or "=xxx" suffix removed) to the list, which
// stays ended by an empty name. A name that would not fit the 500-byte list
// with its terminators is refused (0) and the list is left as it was; 1
// otherwise.
int MakeDep(Context& ctx, const char* name);

// Cuts a "=" suffix of one to three characters from a medium file name
// ("A.DLL=1" -> "A.DLL"), in place.
void CutEqualsSuffix(std::string& name);

}  // namespace kv
