// The native build calls the exports linked into the host, through pointers
// of their declared types.
#include "exports/all.h"
#include "host/host_main.h"

namespace kv::host {

ExportTable NativeExports() {
  ExportTable table;
#define KV_HOST_ADD_EXPORT(name) table.Add(MakeExport(#name, &::name));
  KV_ALL_EXPORTS(KV_HOST_ADD_EXPORT)
#undef KV_HOST_ADD_EXPORT
  return table;
}

}  // namespace kv::host
