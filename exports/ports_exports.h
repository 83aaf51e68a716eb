// Exports of port configuration: TCP/IP and LPR port records, the Windows 9x
// port exchange, port/monitor/tool operations and the device-finder record.
#pragma once

#include "foundation/win32.h"

#define KV_PORTS_EXPORTS(X)   \
  X(StdTcpIpPortSet)          \
  X(KVPortSet)                \
  X(StdTcpIpPortSetNt)        \
  X(AddLPD)                   \
  X(StdTcpIpPortSet9x)        \
  X(StdTcpIpPortSet9x_After)  \
  X(SearchPorts)              \
  X(ListPorts)                \
  X(Add_Port)                 \
  X(WinSub_AddPort)           \
  X(WinSub_DeletePort)        \
  X(Add_Monitor)              \
  X(LaunchTool)               \
  X(CheckUSBPort)             \
  X(DF_GetPoint)              \
  X(DF_GetAddress)            \
  X(DF_GetModelName)          \
  X(DF_GetName)               \
  X(DF_GetDescription)        \
  X(DF_GetLocation)           \
  X(DF_GetMacAddress)         \
  X(DF_ListStrtoStr4)

extern "C" {

// Standard TCP/IP (LPR protocol, port 515) and "KV TCP/IP Port" (raw, port
// 9100) records for `port` with `ip`, written into the registry directly.
// 1 when the key was opened or created; 0 for an empty or too long port name
// (over 184 / 190 characters) or a key that can't be created.
int WINAPI StdTcpIpPortSet(LPCSTR port, LPCSTR ip);
int WINAPI KVPortSet(LPCSTR port, LPCSTR ip);

// The "LPR Port" record of `port` for `server`, with its Timeouts sub-key. 1
// when both keys were opened or created; 0 otherwise (also for an empty name
// or one over 187 characters).
int WINAPI StdTcpIpPortSetNt(LPCSTR port, LPCSTR server);

// The "LPR Port" monitor's add-port dialog, owner `owner` disabled
// throughout; the new port's name into `portOut` (1024 bytes) when the
// number of LPR port keys changed. `ignored` is not used. EnableWindow's
// result when the owner is enabled again.
int WINAPI AddLPD(int ignored, HWND owner, LPCSTR caption, LPSTR portOut);

// The Windows 9x "KV-Relay3100 Port" exchange for a new port; 1 when a new
// port record was written, 0 when the port existed (host name updated) or
// couldn't be written.
int WINAPI StdTcpIpPortSet9x(HWND window, LPCSTR port, LPCSTR host,
                             LPCSTR sii);
// Puts the printers the exchange moved to FILE: back on their ports. 1.
int WINAPI StdTcpIpPortSet9x_After(void);

int WINAPI SearchPorts(void);
int WINAPI ListPorts(int ignored, LPSTR out, int index);
int WINAPI Add_Port(LPCSTR monitor);
int WINAPI WinSub_AddPort(HWND parent, LPCSTR monitor);
int WINAPI WinSub_DeletePort(HWND parent, LPCSTR port);
int WINAPI Add_Monitor(LPCSTR name, LPCSTR dll);
int WINAPI LaunchTool(int ignored1, int ignored2, LPCSTR commandLine,
                      LPSTR portOut);
int WINAPI CheckUSBPort(LPCSTR sii, LPSTR portOut, LPSTR modelOut);

// The device-finder record's address, for the component that fills it.
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
