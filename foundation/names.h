// Checks of names before they are written somewhere their characters mean
// something: a registry key name, a field of win.ini's "device" line, a name
// the spooler keeps. A name that fails is refused before anything is
// written, with the last error Windows gives for such a name.
#pragma once

#include "foundation/context.h"

namespace kv {

// What the spooler keeps under a name.
enum class SpoolerObject { Printer, Port, Monitor, Driver, Processor };

// 1 to 255 bytes, no backslash character (it would name a nested key; the
// trail byte 0x5C of a double-byte character is none), no control character
// (0x01-0x1F, 0x7F). Otherwise false with ERROR_INVALID_NAME.
bool CheckRegistryKeyName(Platform& os, const char* name);

// A field of "name,driver,port" in win.ini: no comma (it would shift the
// fields) and no control character (a line break would start a new line).
// May be empty. Otherwise false with ERROR_INVALID_NAME.
bool CheckDeviceLineField(Platform& os, const char* field);

// A name the spooler can hold for `object`: not empty and without control
// characters; printers, monitors, drivers and processors are registry key
// names of the spooler as well, and a printer name has no comma either (it
// is the first field of win.ini's lines). A port may hold backslashes (a
// network share). An empty monitor name is left to the spooler, which
// refuses it with its own error. Otherwise false with
// ERROR_INVALID_PRINTER_NAME for a printer, ERROR_INVALID_NAME for the others.
bool CheckSpoolerName(Platform& os, SpoolerObject object, const char* name);

}  // namespace kv
