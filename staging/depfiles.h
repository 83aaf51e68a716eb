// The driver's dependent-file list, built name by name by the installer.
#pragma once

#include <string>

#include "foundation/context.h"

namespace kv {

// Sets ctx.dependentPos back to the start of ctx.dependentFiles.
// The export's contract: exports/staging_exports.h (DepInit).
int DepInit(Context& ctx);

// `name` may be null (read as ""). ctx.dependentFiles stays ended by an empty
// name.
// The export's contract: exports/staging_exports.h (MakeDep).
int MakeDep(Context& ctx, const char* name);

// Cuts a "=" suffix of one to three characters from a medium file name
// ("A.DLL=1" -> "A.DLL"), in place.
void CutEqualsSuffix(std::string& name);

}  // namespace kv
