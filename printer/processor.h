// Print processor installation.
#pragma once

#include "foundation/context.h"

namespace kv {

// Adds the model's print processor ("Procn<fam>"/"Procm<fam>" of the family's
// section) for the family's environment. The name "NULL" means the model has
// none: 1 (the NT family still makes the add, whose failure is ignored;
// Windows 9x adds nothing). Otherwise the spooler's result; 0 for kind -1.
int InstallPrintProcessor(Context& ctx, const char* file);

}  // namespace kv
