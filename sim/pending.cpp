// Operations the simulated machine does not model yet. Each is recorded and
// can be made to fail like any other, then fails plainly: the last error is
// ERROR_CALL_NOT_IMPLEMENTED and the result is the call's failure value, so
// a test that reaches one sees at once what is missing. The file of the area
// that models an operation takes its definition out of this list.
#include "sim/sim_internal.h"
#include "sim/sim_platform.h"

namespace kv::sim {

#define KV_NOT_SIMULATED(name, failure) \
  do {                                  \
    if (Enter(name)) return failure;    \
    lastError_ = ERROR_CALL_NOT_IMPLEMENTED; \
    return failure;                     \
  } while (0)

// ---- Spooler: processors, drivers, ports, printers ---------------------------

BOOL SimPlatform::AddPrintProcessorA(LPCSTR, LPCSTR, LPCSTR, LPCSTR) {
  KV_NOT_SIMULATED("AddPrintProcessorA", FALSE);
}
BOOL SimPlatform::AddPrinterDriverA(LPCSTR, DWORD, LPBYTE) {
  KV_NOT_SIMULATED("AddPrinterDriverA", FALSE);
}
BOOL SimPlatform::DeletePrinterDriverA(LPCSTR, LPCSTR, LPCSTR) {
  KV_NOT_SIMULATED("DeletePrinterDriverA", FALSE);
}
BOOL SimPlatform::GetPrinterDriverA(HANDLE, LPCSTR, DWORD, LPBYTE, DWORD,
                                    LPDWORD) {
  KV_NOT_SIMULATED("GetPrinterDriverA", FALSE);
}
BOOL SimPlatform::GetPrinterDriverDirectoryA(LPCSTR, LPCSTR, DWORD, LPBYTE,
                                             DWORD, LPDWORD) {
  KV_NOT_SIMULATED("GetPrinterDriverDirectoryA", FALSE);
}
BOOL SimPlatform::EnumPrintersA(DWORD, LPCSTR, DWORD, LPBYTE, DWORD, LPDWORD,
                                LPDWORD) {
  KV_NOT_SIMULATED("EnumPrintersA", FALSE);
}
HANDLE SimPlatform::AddPrinterA(LPCSTR, DWORD, LPBYTE) {
  KV_NOT_SIMULATED("AddPrinterA", nullptr);
}
BOOL SimPlatform::OpenPrinterA(LPCSTR, LPHANDLE, LPPRINTER_DEFAULTSA) {
  KV_NOT_SIMULATED("OpenPrinterA", FALSE);
}
BOOL SimPlatform::GetPrinterA(HANDLE, DWORD, LPBYTE, DWORD, LPDWORD) {
  KV_NOT_SIMULATED("GetPrinterA", FALSE);
}
BOOL SimPlatform::SetPrinterA(HANDLE, DWORD, LPBYTE, DWORD) {
  KV_NOT_SIMULATED("SetPrinterA", FALSE);
}
LONG SimPlatform::DocumentPropertiesA(HWND, HANDLE, LPCSTR, PDEVMODEA,
                                      PDEVMODEA, DWORD) {
  KV_NOT_SIMULATED("DocumentPropertiesA", -1);
}
BOOL SimPlatform::DeletePrinter(HANDLE) {
  KV_NOT_SIMULATED("DeletePrinter", FALSE);
}
BOOL SimPlatform::ClosePrinter(HANDLE) {
  KV_NOT_SIMULATED("ClosePrinter", FALSE);
}

// ---- Services ----------------------------------------------------------------

SC_HANDLE SimPlatform::OpenSCManagerA(LPCSTR, LPCSTR, DWORD) {
  KV_NOT_SIMULATED("OpenSCManagerA", nullptr);
}
SC_HANDLE SimPlatform::OpenServiceA(SC_HANDLE, LPCSTR, DWORD) {
  KV_NOT_SIMULATED("OpenServiceA", nullptr);
}
SC_HANDLE SimPlatform::CreateServiceA(SC_HANDLE, LPCSTR, LPCSTR, DWORD, DWORD,
                                      DWORD, DWORD, LPCSTR, LPCSTR, LPDWORD,
                                      LPCSTR, LPCSTR, LPCSTR) {
  KV_NOT_SIMULATED("CreateServiceA", nullptr);
}
BOOL SimPlatform::DeleteService(SC_HANDLE) {
  KV_NOT_SIMULATED("DeleteService", FALSE);
}
BOOL SimPlatform::StartServiceA(SC_HANDLE, DWORD, LPCSTR*) {
  KV_NOT_SIMULATED("StartServiceA", FALSE);
}
BOOL SimPlatform::ControlService(SC_HANDLE, DWORD, LPSERVICE_STATUS) {
  KV_NOT_SIMULATED("ControlService", FALSE);
}
BOOL SimPlatform::QueryServiceStatus(SC_HANDLE, LPSERVICE_STATUS) {
  KV_NOT_SIMULATED("QueryServiceStatus", FALSE);
}
BOOL SimPlatform::CloseServiceHandle(SC_HANDLE) {
  KV_NOT_SIMULATED("CloseServiceHandle", FALSE);
}

// ---- Processes and threads ---------------------------------------------------

HANDLE SimPlatform::CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T,
                                 LPTHREAD_START_ROUTINE, LPVOID, DWORD,
                                 LPDWORD) {
  KV_NOT_SIMULATED("CreateThread", nullptr);
}

// ---- Shell browsing ----------------------------------------------------------

LPITEMIDLIST SimPlatform::SHBrowseForFolderA(LPBROWSEINFOA) {
  KV_NOT_SIMULATED("SHBrowseForFolderA", nullptr);
}
BOOL SimPlatform::SHGetPathFromIDListA(LPCITEMIDLIST, LPSTR) {
  KV_NOT_SIMULATED("SHGetPathFromIDListA", FALSE);
}
void SimPlatform::SHFreeItemList(LPITEMIDLIST) {
  if (Enter("SHFreeItemList")) return;
  lastError_ = ERROR_CALL_NOT_IMPLEMENTED;
}

}  // namespace kv::sim
