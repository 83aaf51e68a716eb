// Every export of _KVSUP32.dll, by family. KV_ALL_EXPORTS(X) expands X(name)
// once per export; it must list exactly the names of _KVSUP32.def.
//
// Each export's contract, at its declaration, ends with the thread's last
// error after the call: a code the library sets, the system's error for a
// call that failed, "as the caller had it" (the export does not touch it), or
// "not meaningful" (whatever the system calls made left there; don't read
// it). A null string argument reads as "" unless the contract says otherwise.
#pragma once

#include "exports/dialog_exports.h"
#include "exports/foundation_exports.h"
#include "exports/ports_exports.h"
#include "exports/printer_exports.h"
#include "exports/query_exports.h"
#include "exports/staging_exports.h"
#include "exports/uninstall_exports.h"

#define KV_ALL_EXPORTS(X)  \
  KV_FOUNDATION_EXPORTS(X) \
  KV_PRINTER_EXPORTS(X)    \
  KV_PORTS_EXPORTS(X)      \
  KV_STAGING_EXPORTS(X)    \
  KV_UNINSTALL_EXPORTS(X)  \
  KV_QUERY_EXPORTS(X)      \
  KV_DIALOG_EXPORTS(X)
