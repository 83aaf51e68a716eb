// Exports of port configuration: TCP/IP and LPR port records, the Windows 9x
// port exchange, port/monitor/tool operations and the device-finder record.
#pragma once

#include "foundation/win32.h"

#define KV_PORTS_EXPORTS(X)  \
  X(StdTcpIpPortSet)         \
  X(KVPortSet)               \
  X(StdTcpIpPortSetNt)       \
  X(AddLPD)                  \
  X(StdTcpIpPortSet9x)       \
  X(StdTcpIpPortSet9x_After) \
  X(SearchPorts)             \
  X(ListPorts)               \
  X(Add_Port)                \
  X(WinSub_AddPort)          \
  X(WinSub_DeletePort)       \
  X(Add_Monitor)             \
  X(LaunchTool)              \
  X(CheckUSBPort)            \
  X(DF_GetPoint)             \
  X(DF_GetAddress)           \
  X(DF_GetModelName)         \
  X(DF_GetName)              \
  X(DF_GetDescription)       \
  X(DF_GetLocation)          \
  X(DF_GetMacAddress)        \
  X(DF_ListStrtoStr4)

extern "C" {

// Standard TCP/IP (LPR protocol, port 515) and "KV TCP/IP Port" (raw, port
// 9100) records for `port` with `ip`, written into the registry directly;
// other values of the key stay. 1 when the key was opened or created and
// every value written; 0 for a port name that is no key name (empty, a
// backslash or a control character) or too long (over 184 / 190 characters),
// nothing written, for a key that can't be created, or for a value write that
// failed (the values after it are not written; a key the call created is
// removed, one that was there keeps its other values). Last error: set by
// the library, ERROR_INVALID_NAME (no key name) or ERROR_FILENAME_EXCED_RANGE
// (too long) for a refused name, the registry's error for a key that can't
// be created or a failed write; after 1 not meaningful.
int WINAPI StdTcpIpPortSet(LPCSTR port, LPCSTR ip);
int WINAPI KVPortSet(LPCSTR port, LPCSTR ip);

// The "LPR Port" record of `port` for `server`, with its Timeouts sub-key. 1
// when both keys were opened or created and every value written; 0 otherwise
// (the keys the call created are removed again; also for a name refused as
// by StdTcpIpPortSet, or over 187 characters: nothing written). Last error:
// as StdTcpIpPortSet's.
int WINAPI StdTcpIpPortSetNt(LPCSTR port, LPCSTR server);

// The "LPR Port" monitor's add-port dialog, owner `owner` disabled
// throughout; the new port's name into `portOut` (1024 bytes) when the
// number of LPR port keys changed. The count is shown before the dialog
// (caption "1") and after it (caption "2"), a new name too (caption "TEST").
// Without the monitor, a box showing its key path titled `caption` (null: the
// system's default title, "Error").
// `ignored` is not used. EnableWindow's result when the owner is enabled
// again. Last error: not meaningful.
int WINAPI AddLPD(int ignored, HWND owner, LPCSTR caption, LPSTR portOut);

// The Windows 9x "KV-Relay3100 Port" exchange for a new port `port` with
// host `host` (`window` parents the monitor's dialogs; `sii` names the
// monitor in "Lmonn" of [Files.Com]). Every port key is saved with all its
// values and the keys below it, every printer parked on FILE:, the saved
// ports and the monitor deleted, the records written back (extra values
// kept, each value with its original type; "PortName" as its 24-byte field)
// and the new port written. Nothing changes before everything is saved.
// Without the monitor's Ports key only the new record is written.
// 1 when a new port record was written. 0, with the last error:
// - ERROR_ALREADY_EXISTS when a port key of that name existed, matched
//   regardless of case as the registry matches it (only its "HostName"
//   rewritten);
// - the failing call's error when a registry read, the parking of a printer
//   or the monitor's deletion failed: the printers are put back and deleted
//   records written back as they were read (a printer that can't be put back
//   is left for StdTcpIpPortSet9x_After); before anything changes,
//   ERROR_NOT_SUPPORTED on an unknown Windows and ERROR_INVALID_PARAMETER
//   when "Lmonn" does not name "KV-Relay3100 Port" (another monitor would
//   be deleted with its ports);
// - the registry's error when a record or the new port can't be written, even
//   when tried again, after the monitor's deletion: the printers stay parked
//   for StdTcpIpPortSet9x_After.
// An empty name, or one the registry can't take (a component over 255
// characters), is refused with 0 and ERROR_INVALID_NAME: the moved-printer
// and saved-port tables are emptied and nothing else changes, so a later
// StdTcpIpPortSet9x_After moves nothing back.
int WINAPI StdTcpIpPortSet9x(HWND window, LPCSTR port, LPCSTR host, LPCSTR sii);
// Puts every printer the last exchange moved to FILE: back on its port
// (again on a second call; each tried again when a call fails; a printer
// that no longer exists is passed over). 1 when every one is back; 0 when
// one stays on FILE: (the others are moved; a later call tries again). Last
// error: when 0, the error of the call that failed; otherwise not
// meaningful.
int WINAPI StdTcpIpPortSet9x_After(void);

// The number of ports (level-1 enumeration), 0 on failure. Last error: not
// meaningful.
int WINAPI SearchPorts(void);
// Port `index` of a fresh enumeration into `out` (1024 bytes; cut to 1023
// characters): 1; 0 with `out` untouched when the enumeration fails, `index`
// is out of range or `out` is null. `ignored` is not used. Last error: not
// meaningful.
int WINAPI ListPorts(int ignored, LPSTR out, int index);
// The monitor's add-port dialog without parent: non-zero when the spooler
// added a port. A monitor name that can't be one (a backslash, a control
// character, over 255 characters) is refused without asking the spooler: 0
// with ERROR_INVALID_NAME. Last error: when 0, the spooler's error (the
// library clears it before the call); after success not meaningful.
int WINAPI Add_Port(LPCSTR monitor);
// AddPortA / DeletePortA with `parent`, then the last-error box titled
// "AddPort" / "DeletePort" showing the spooler's error (0 on success: the
// library clears it before the call). A name refused as by Add_Port (for
// "DeletePort" a port name: empty or with a control character) never reaches
// the spooler: the box shows ERROR_INVALID_NAME. The box's button (IDOK).
// Last error: not meaningful afterwards.
int WINAPI WinSub_AddPort(HWND parent, LPCSTR monitor);
int WINAPI WinSub_DeletePort(HWND parent, LPCSTR port);
// Adds monitor `name` with library `dll` for "Windows 4.0" (9x) or "Windows
// NT x86": non-zero when the spooler added it; 0 when refused or on an
// unknown Windows. A name refused as by Add_Port gives 0 with
// ERROR_INVALID_NAME, the spooler unasked. Last error: when the spooler
// refused, its error (the library clears it before the call); otherwise not
// meaningful.
int WINAPI Add_Monitor(LPCSTR name, LPCSTR dll);
// Runs `commandLine` and waits for it. 1 when the number of "KV-Relay3100
// Port" port keys did not change (also when the command can't start);
// otherwise the last port key's name into `portOut` (1024 bytes), shown in a
// box titled "TEST", and 1 (0 when the port keys can't be opened). The two
// ignored arguments are not used. Last error: not meaningful.
int WINAPI LaunchTool(int ignored1, int ignored2, LPCSTR commandLine,
                      LPSTR portOut);
// 1 when a local printer whose driver is "<Product> <ModelN>" of `sii` is on
// a USB port (XP and later: also LPT); the last one's port into `portOut`
// (256 bytes), the last model tried into `modelOut` (256 bytes). 0
// otherwise. Null buffers are allowed. Last error: not meaningful.
int WINAPI CheckUSBPort(LPCSTR sii, LPSTR portOut, LPSTR modelOut);

// The device-finder record's address (2176 bytes), for the component that
// fills it. The getters copy one field into `out` (128 bytes for the
// address, 256 for the others; a field left unterminated is cut to its size
// less one) and return `out`. DF_GetMacAddress writes "XX:XX:XX:XX:XX:XX"
// into `out` (18 bytes) and returns 17 (0 for a null `out`). DF_ListStrtoStr4
// splits `source` (cut to 1023 characters) at commas into the four buffers; an
// empty field empties it and all after it; text after the fourth field is
// ignored. Returns 1. Null buffers are passed over. Last error, for all of
// them: as the caller had it.
LPVOID WINAPI DF_GetPoint(void);
LPSTR WINAPI DF_GetAddress(LPSTR out);
LPSTR WINAPI DF_GetModelName(LPSTR out);
LPSTR WINAPI DF_GetName(LPSTR out);
LPSTR WINAPI DF_GetDescription(LPSTR out);
LPSTR WINAPI DF_GetLocation(LPSTR out);
int WINAPI DF_GetMacAddress(LPSTR out);
int WINAPI DF_ListStrtoStr4(LPCSTR source, LPSTR out1, LPSTR out2, LPSTR out3,
                            LPSTR out4);

}  // extern "C"
