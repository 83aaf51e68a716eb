// Every export of _KVSUP32.dll, by family. KV_ALL_EXPORTS(X) expands X(name)
// once per export; it must list exactly the names of _KVSUP32.def.
#pragma once

#include "exports/dialog_exports.h"
#include "exports/foundation_exports.h"
#include "exports/ports_exports.h"
#include "exports/printer_exports.h"
#include "exports/query_exports.h"
#include "exports/staging_exports.h"

#define KV_ALL_EXPORTS(X)   \
  KV_FOUNDATION_EXPORTS(X) \
  KV_PRINTER_EXPORTS(X)    \
  KV_PORTS_EXPORTS(X)      \
  KV_STAGING_EXPORTS(X)    \
  KV_QUERY_EXPORTS(X)      \
  KV_DIALOG_EXPORTS(X)
