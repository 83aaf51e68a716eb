// Exports of file staging.
#pragma once

#include "foundation/win32.h"

#define KV_STAGING_EXPORTS(X) \
  X(DepInit)                  \
  X(MakeDep)

extern "C" {

// Starts a new dependent-file list for the next printer driver (the old names
// stay until overwritten). Always 1.
int WINAPI DepInit(void);

// Appends file `name` to the dependent-file list, dropping a "=x".."=xxx"
// medium suffix. 1; 0 when the name would not fit the 500-byte list (the list
// is left as it was).
int WINAPI MakeDep(LPCSTR name);

}  // extern "C"
