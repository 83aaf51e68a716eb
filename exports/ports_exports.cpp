#include "exports/ports_exports.h"

#include "exports/dll_context.h"
#include "exports/guard.h"
#include "exports/string_args.h"
#include "ports/device_finder.h"
#include "ports/lpr.h"
#include "ports/port9x.h"
#include "ports/port_ops.h"
#include "ports/tcpip_records.h"

using kv::DllContext;
using kv::Guarded;
using kv::OrEmpty;

namespace {

using PortOut = kv::OutOrScratch<kv::kPortNameOutSize>;
// CheckUSBPort's port and model buffers.
using CheckOut = kv::OutOrScratch<256>;

}  // namespace

extern "C" {

int WINAPI StdTcpIpPortSet(LPCSTR port, LPCSTR ip) {
  return Guarded(0, [&] {
    return kv::StdTcpIpPortSet(DllContext(), OrEmpty(port), OrEmpty(ip));
  });
}

int WINAPI KVPortSet(LPCSTR port, LPCSTR ip) {
  return Guarded(0, [&] {
    return kv::KVPortSet(DllContext(), OrEmpty(port), OrEmpty(ip));
  });
}

int WINAPI StdTcpIpPortSetNt(LPCSTR port, LPCSTR server) {
  return Guarded(0, [&] {
    return kv::StdTcpIpPortSetNt(DllContext(), OrEmpty(port), OrEmpty(server));
  });
}

int WINAPI AddLPD(int, HWND owner, LPCSTR caption, LPSTR portOut) {
  return Guarded(0, [&] {
    PortOut out(portOut);
    return kv::AddLPD(DllContext(), owner, kv::Caption(caption), out.get());
  });
}

int WINAPI StdTcpIpPortSet9x(HWND window, LPCSTR port, LPCSTR host,
                             LPCSTR sii) {
  return Guarded(0, [&] {
    return kv::StdTcpIpPortSet9x(DllContext(), window, OrEmpty(port),
                                 OrEmpty(host), OrEmpty(sii));
  });
}

int WINAPI StdTcpIpPortSet9x_After(void) {
  return Guarded(1, [] { return kv::StdTcpIpPortSet9x_After(DllContext()); });
}

int WINAPI SearchPorts(void) {
  return Guarded(0, [] { return kv::SearchPorts(DllContext()); });
}

int WINAPI ListPorts(int, LPSTR out, int index) {
  if (!out) return 0;
  return Guarded(0, [&] { return kv::ListPorts(DllContext(), out, index); });
}

int WINAPI Add_Port(LPCSTR monitor) {
  return Guarded(0,
                 [&] { return kv::Add_Port(DllContext(), OrEmpty(monitor)); });
}

int WINAPI WinSub_AddPort(HWND parent, LPCSTR monitor) {
  return Guarded(0, [&] {
    return kv::AddPortWithDialog(DllContext(), parent, OrEmpty(monitor));
  });
}

int WINAPI WinSub_DeletePort(HWND parent, LPCSTR port) {
  return Guarded(0, [&] {
    return kv::DeletePortWithDialog(DllContext(), parent, OrEmpty(port));
  });
}

int WINAPI Add_Monitor(LPCSTR name, LPCSTR dll) {
  return Guarded(0, [&] {
    return kv::Add_Monitor(DllContext(), OrEmpty(name), OrEmpty(dll));
  });
}

int WINAPI LaunchTool(int, int, LPCSTR commandLine, LPSTR portOut) {
  return Guarded(0, [&] {
    PortOut out(portOut);
    return kv::LaunchTool(DllContext(), OrEmpty(commandLine), out.get());
  });
}

int WINAPI CheckUSBPort(LPCSTR sii, LPSTR portOut, LPSTR modelOut) {
  return Guarded(0, [&] {
    CheckOut port(portOut), model(modelOut);
    return kv::CheckUSBPort(DllContext(), OrEmpty(sii), port.get(),
                            model.get());
  });
}

LPVOID WINAPI DF_GetPoint(void) {
  return Guarded<LPVOID>(
      nullptr, [] { return static_cast<LPVOID>(&DllContext().deviceFinder); });
}

LPSTR WINAPI DF_GetAddress(LPSTR out) {
  return Guarded(out,
                 [&] { return kv::DeviceFinderAddress(DllContext(), out); });
}
LPSTR WINAPI DF_GetModelName(LPSTR out) {
  return Guarded(out,
                 [&] { return kv::DeviceFinderModelName(DllContext(), out); });
}
LPSTR WINAPI DF_GetName(LPSTR out) {
  return Guarded(out, [&] { return kv::DeviceFinderName(DllContext(), out); });
}
LPSTR WINAPI DF_GetDescription(LPSTR out) {
  return Guarded(
      out, [&] { return kv::DeviceFinderDescription(DllContext(), out); });
}
LPSTR WINAPI DF_GetLocation(LPSTR out) {
  return Guarded(out,
                 [&] { return kv::DeviceFinderLocation(DllContext(), out); });
}

int WINAPI DF_GetMacAddress(LPSTR out) {
  return Guarded(0,
                 [&] { return kv::DeviceFinderMacAddress(DllContext(), out); });
}

int WINAPI DF_ListStrtoStr4(LPCSTR source, LPSTR out1, LPSTR out2, LPSTR out3,
                            LPSTR out4) {
  return Guarded(
      0, [&] { return kv::SplitFourFields(source, out1, out2, out3, out4); });
}

}  // extern "C"
