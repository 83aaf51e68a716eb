#include "ports/tcpip_records.h"

#include <string>

#include "foundation/registry_paths.h"
#include "ports/port_location.h"

namespace kv {
namespace {

int WriteRecord(Context& ctx, const char* location, const char* port,
                std::initializer_list<RecordValue> values) {
  if (!CheckPortKeyName(ctx.os, location, port)) return 0;
  const std::string path = SubKeyPath(location, port);
  RegKey key(ctx.os);
  bool created = false;
  if (const LONG rc = CreateRecordKey(ctx.os, path, key, &created);
      rc != ERROR_SUCCESS)
    return RecordFailed(ctx.os, rc, {});
  if (const LONG rc = WriteRecordValues(ctx.os, key.get(), values);
      rc != ERROR_SUCCESS) {
    key.reset();
    return RecordFailed(ctx.os, rc, {{&path, created}});
  }
  return 1;
}

}  // namespace

// The Standard TCP/IP monitor's LPR protocol is 2; its raw protocol is 1.
int StdTcpIpPortSet(Context& ctx, const char* port, const char* ip) {
  return WriteRecord(ctx, kStdTcpIpPortsKey, port,
                     {{RecordValue::kDword, "Double Spool", 0, nullptr},
                      {RecordValue::kEmptyString, "HostName", 0, nullptr},
                      {RecordValue::kEmptyString, "HWAddress", 0, nullptr},
                      {RecordValue::kString, "IPAddress", 0, ip},
                      {RecordValue::kDword, "PortNumber", 515, nullptr},
                      {RecordValue::kDword, "Protocol", 2, nullptr},
                      {RecordValue::kString, "Queue", 0, "lp"},
                      {RecordValue::kString, "SNMP Community", 0, "mosaic"},
                      {RecordValue::kDword, "SNMP Enabled", 0, nullptr},
                      {RecordValue::kDword, "SNMP Index", 1, nullptr},
                      {RecordValue::kDword, "Version", 1, nullptr}});
}

int KVPortSet(Context& ctx, const char* port, const char* ip) {
  return WriteRecord(ctx, kKvTcpIpPortsKey, port,
                     {{RecordValue::kDword, "Double Spool", 0, nullptr},
                      {RecordValue::kDword, "Enable Bidi", 0, nullptr},
                      {RecordValue::kDword, "Enable RFC", 0, nullptr},
                      {RecordValue::kString, "IPAddress", 0, ip},
                      {RecordValue::kDword, "PortNumber", 9100, nullptr},
                      {RecordValue::kDword, "Protocol", 1, nullptr},
                      {RecordValue::kString, "Queue", 0, "lp"}});
}

}  // namespace kv
