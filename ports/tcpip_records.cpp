#include "ports/tcpip_records.h"

#include <string>

#include "foundation/registry_paths.h"
#include "ports/port_location.h"

namespace kv {
namespace {

// One value of a record: a DWORD, a string, or a string with no data.
struct RecordValue {
  enum Kind { kDword, kString, kEmptyString, kIpAddress } kind;
  const char* name;
  DWORD number;
  const char* text;
};

// The Standard TCP/IP monitor's LPR protocol is 2; its raw protocol is 1.
const RecordValue kStdTcpIpRecord[] = {
    {RecordValue::kDword, "Double Spool", 0, nullptr},
    {RecordValue::kEmptyString, "HostName", 0, nullptr},
    {RecordValue::kEmptyString, "HWAddress", 0, nullptr},
    {RecordValue::kIpAddress, "IPAddress", 0, nullptr},
    {RecordValue::kDword, "PortNumber", 515, nullptr},
    {RecordValue::kDword, "Protocol", 2, nullptr},
    {RecordValue::kString, "Queue", 0, "lp"},
    {RecordValue::kString, "SNMP Community", 0, "mosaic"},
    {RecordValue::kDword, "SNMP Enabled", 0, nullptr},
    {RecordValue::kDword, "SNMP Index", 1, nullptr},
    {RecordValue::kDword, "Version", 1, nullptr},
};

const RecordValue kKvTcpIpRecord[] = {
    {RecordValue::kDword, "Double Spool", 0, nullptr},
    {RecordValue::kDword, "Enable Bidi", 0, nullptr},
    {RecordValue::kDword, "Enable RFC", 0, nullptr},
    {RecordValue::kIpAddress, "IPAddress", 0, nullptr},
    {RecordValue::kDword, "PortNumber", 9100, nullptr},
    {RecordValue::kDword, "Protocol", 1, nullptr},
    {RecordValue::kString, "Queue", 0, "lp"},
};

template <size_t N>
int WriteRecord(Context& ctx, const char* location, const char* port,
                const char* ip, const RecordValue (&record)[N]) {
  if (!CheckPortKeyName(ctx.os, location, port)) return 0;
  RegKey key(ctx.os);
  if (CreateKey(ctx.os, HKEY_LOCAL_MACHINE, SubKeyPath(location, port), key) !=
      ERROR_SUCCESS)
    return 0;
  for (const RecordValue& v : record) {
    switch (v.kind) {
      case RecordValue::kDword:
        WriteDword(ctx.os, key.get(), v.name, v.number);
        break;
      case RecordValue::kString:
        WriteString(ctx.os, key.get(), v.name, v.text);
        break;
      case RecordValue::kEmptyString:
        WriteEmptyString(ctx.os, key.get(), v.name);
        break;
      case RecordValue::kIpAddress:
        WriteString(ctx.os, key.get(), v.name, ip);
        break;
    }
  }
  return 1;
}

}  // namespace

int StdTcpIpPortSet(Context& ctx, const char* port, const char* ip) {
  return WriteRecord(ctx, kStdTcpIpPortsKey, port, ip, kStdTcpIpRecord);
}

int KVPortSet(Context& ctx, const char* port, const char* ip) {
  return WriteRecord(ctx, kKvTcpIpPortsKey, port, ip, kKvTcpIpRecord);
}

}  // namespace kv
