// The simulated service manager: services kept in the registry as Windows
// keeps them, states that move through their pending phases with the virtual
// clock, and the service manager's refusals.
//
// Behaviour followed (Windows NT family):
// - Windows 9x has no service manager: OpenSCManagerA is a stub failing with
//   ERROR_CALL_NOT_IMPLEMENTED.
// - A control sent to a stopped service fails with ERROR_SERVICE_NOT_ACTIVE;
//   a stop sent to a service in a pending state fails with
//   ERROR_SERVICE_CANNOT_ACCEPT_CTRL; an interrogate of a pending service
//   answers its current status.
// - DeleteService only marks the service ("DeleteFlag" = 1); the record goes
//   when the service is stopped and its last handle is closed. Until then
//   CreateServiceA of the same name fails with
//   ERROR_SERVICE_MARKED_FOR_DELETE, and a second DeleteService too.
// - A kernel driver's ImagePath is stored as an NT path ("\??\C:\...") and
//   the driver file must exist for the start to succeed
//   (ERROR_FILE_NOT_FOUND otherwise). Wine stores the path as given.
#include <algorithm>
#include <cstring>
#include <utility>

#include "sim/file_paths.h"
#include "sim/sim_internal.h"
#include "sim/sim_services.h"

namespace kv::sim {

namespace {

constexpr DWORD kErrorInvalidServiceName = ERROR_INVALID_NAME;
constexpr DWORD kErrorDatabaseDoesNotExist = 1065;
constexpr DWORD kErrorServerUnavailable = 1722;  // RPC_S_SERVER_UNAVAILABLE
constexpr DWORD kServiceAcceptStop = 1;
constexpr DWORD kCheckPointStepMs = 500;
constexpr DWORD kDefaultStartMs = 1500;
constexpr DWORD kDefaultStopMs = 800;
constexpr DWORD kDefaultWaitHint = 3000;

struct Runtime {
  bool initialised = false;
  DWORD state = SERVICE_STOPPED;
  DWORD pendingSince = 0;
  DWORD waitHint = 0;
  bool held = false;
  DWORD failNextStart = 0;
  DWORD startMs = kDefaultStartMs;
  DWORD stopMs = kDefaultStopMs;
  DWORD pendingHint = kDefaultWaitHint;
  bool markedForDelete = false;
};

struct ServiceManager : SimPlatform::Extension {
  struct Handle {
    bool manager = false;
    std::string service;  // the name as stored, for service handles
    DWORD access = 0;
  };
  std::map<std::string, Runtime, CaseLess> runtime;
  std::map<std::string, DWORD, CaseLess> initial;  // captured states
  std::map<uintptr_t, Handle> handles;
  std::vector<std::string> started;
};

ServiceManager& Manager(SimPlatform& os) {
  return os.extension<ServiceManager>("services");
}

// Files a handle of the service manager (or of one of its services) under
// the fresh value `h`.
SC_HANDLE AddHandle(SimPlatform& os, uintptr_t h, bool manager,
                    const std::string& service, DWORD access) {
  ServiceManager::Handle handle;
  handle.manager = manager;
  handle.service = service;
  handle.access = access;
  Manager(os).handles[h] = handle;
  return reinterpret_cast<SC_HANDLE>(h);
}

// The service manager handle behind `h`, or null with the error set.
const ServiceManager::Handle* ManagerOfHandle(SimPlatform& os, SC_HANDLE h) {
  auto& handles = Manager(os).handles;
  auto it = handles.find(reinterpret_cast<uintptr_t>(h));
  if (it == handles.end() || !it->second.manager) {
    os.SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return &it->second;
}

// The registry record of a service, or null. A key without "Type" is not a
// service (Windows keeps other keys under Services too).
RegNode* ServiceKey(SimPlatform& os, const std::string& name) {
  if (name.empty() || name.find('\\') != std::string::npos) return nullptr;
  RegNode* node =
      os.FindKey(HKEY_LOCAL_MACHINE, std::string(kServicesPath) + "\\" + name);
  if (!node || !node->values.count("Type")) return nullptr;
  return node;
}

bool IsDriver(const RegNode& key) {
  return (DwordValue(key, "Type", 0) & 0x0F) != 0;  // kernel or file system
}

// The service's runtime record, initialised from its captured state or its
// start type, with a pending phase completed when the clock has passed its
// end.
Runtime& Refresh(SimPlatform& os, const RegNode& key) {
  ServiceManager& sm = Manager(os);
  Runtime& rt = sm.runtime[key.name];
  if (!rt.initialised) {
    rt.initialised = true;
    auto captured = sm.initial.find(key.name);
    rt.state =
        captured != sm.initial.end() ? captured->second
        : DwordValue(key, "Start", SERVICE_DEMAND_START) <= SERVICE_AUTO_START
            ? SERVICE_RUNNING
            : SERVICE_STOPPED;
  }
  if (rt.held) return rt;
  const DWORD elapsed = os.now() - rt.pendingSince;
  if (rt.state == SERVICE_START_PENDING && elapsed >= rt.startMs)
    rt.state = SERVICE_RUNNING;
  else if (rt.state == SERVICE_STOP_PENDING && elapsed >= rt.stopMs)
    rt.state = SERVICE_STOPPED;
  return rt;
}

void FillStatus(SimPlatform& os, const RegNode& key, const Runtime& rt,
                LPSERVICE_STATUS status) {
  if (!status) return;
  *status = SERVICE_STATUS{};
  status->dwServiceType = DwordValue(key, "Type", SERVICE_WIN32_OWN_PROCESS);
  status->dwCurrentState = rt.state;
  const bool pending =
      rt.state == SERVICE_START_PENDING || rt.state == SERVICE_STOP_PENDING;
  status->dwControlsAccepted =
      rt.state == SERVICE_RUNNING ? kServiceAcceptStop : 0;
  if (pending) {
    status->dwCheckPoint = 1 + (os.now() - rt.pendingSince) / kCheckPointStepMs;
    status->dwWaitHint = rt.waitHint;
  }
}

void BeginPending(SimPlatform& os, Runtime& rt, DWORD state) {
  rt.state = state;
  rt.pendingSince = os.now();
  rt.waitHint = rt.pendingHint;
}

std::string HostFileOfImage(SimPlatform& os, std::string image) {
  if (image.rfind("\\??\\", 0) == 0) image = image.substr(4);
  ResolvedPath p = ResolveWinPath(os.machineDir(), image, os.codePage());
  if (p.error || KindOf(p.host) != HostKind::File) return "";
  return p.host;
}

}  // namespace

// ---- Test controls and machine setup ---------------------------------------

void DefineService(SimPlatform& os, const std::string& name,
                   const std::string& display, DWORD type, DWORD start,
                   const std::string& imagePath) {
  RegNode* key = os.CreateKeyPath(HKEY_LOCAL_MACHINE,
                                  std::string(kServicesPath) + "\\" + name);
  if (!key) return;
  SetDword(key, "Type", type);
  SetDword(key, "Start", start);
  SetDword(key, "ErrorControl", SERVICE_ERROR_NORMAL);
  SetString(key, "ImagePath", imagePath, REG_EXPAND_SZ);
  SetString(key, "DisplayName", display);
}

DWORD ServiceCurrentState(SimPlatform& os, const std::string& name) {
  RegNode* key = ServiceKey(os, name);
  return key ? Refresh(os, *key).state : 0;
}

namespace {

// Puts service `name` into `state` from now on, held there or not; its
// runtime record, or null when there is no such service.
Runtime* PutInState(SimPlatform& os, const std::string& name, DWORD state,
                    bool held) {
  RegNode* key = ServiceKey(os, name);
  if (!key) return nullptr;
  Runtime& rt = Refresh(os, *key);
  rt.state = state;
  rt.held = held;
  rt.pendingSince = os.now();
  return &rt;
}

}  // namespace

void SetServiceState(SimPlatform& os, const std::string& name, DWORD state) {
  PutInState(os, name, state, false);
}

void SetInitialServiceState(SimPlatform& os, const std::string& name,
                            DWORD state) {
  if (state < SERVICE_STOPPED || state > SERVICE_PAUSED || name.empty()) return;
  ServiceManager& sm = Manager(os);
  sm.initial[name] = state;
  auto it = sm.runtime.find(name);
  if (it != sm.runtime.end() && it->second.initialised)
    PutInState(os, name, state, false);
}

std::vector<std::pair<std::string, DWORD>> InitialServiceStates(
    SimPlatform& os) {
  const auto& initial = Manager(os).initial;
  return {initial.begin(), initial.end()};
}

void ClearInitialServiceStates(SimPlatform& os) { Manager(os).initial.clear(); }

void HoldServicePending(SimPlatform& os, const std::string& name, DWORD state,
                        DWORD waitHint) {
  if (Runtime* rt = PutInState(os, name, state, true)) rt->waitHint = waitHint;
}

void ReleaseService(SimPlatform& os, const std::string& name) {
  RegNode* key = ServiceKey(os, name);
  if (!key) return;
  Runtime& rt = Refresh(os, *key);
  rt.held = false;
  rt.pendingSince = os.now();
}

void FailServiceStart(SimPlatform& os, const std::string& name, DWORD error) {
  RegNode* key = ServiceKey(os, name);
  if (key) Refresh(os, *key).failNextStart = error;
}

void SetServiceTiming(SimPlatform& os, const std::string& name, DWORD startMs,
                      DWORD stopMs, DWORD waitHint) {
  RegNode* key = ServiceKey(os, name);
  if (!key) return;
  Runtime& rt = Refresh(os, *key);
  rt.startMs = startMs;
  rt.stopMs = stopMs;
  rt.pendingHint = waitHint;
}

std::vector<std::string> StartedServices(SimPlatform& os) {
  return Manager(os).started;
}

bool IsServiceMarkedForDelete(SimPlatform& os, const std::string& name) {
  RegNode* key = ServiceKey(os, name);
  return key && Refresh(os, *key).markedForDelete;
}

bool SpoolerDown(SimPlatform& os) {
  if (IsWin9x(os.version())) return false;
  const DWORD state = ServiceCurrentState(os, "Spooler");
  if (state != SERVICE_STOPPED && state != SERVICE_START_PENDING && state != 0)
    return false;
  os.SetLastError(kErrorServerUnavailable);
  return true;
}

void LayOutServices(SimPlatform& os) {
  if (IsWin9x(os.version())) return;
  const bool nt4 = os.version() == WindowsVersion::NT4 ||
                   os.version() == WindowsVersion::NT351;
  // NT 4.0 runs the spooler in spoolss.exe, later versions in spoolsv.exe.
  DefineService(os, "Spooler", "Print Spooler", 0x110, SERVICE_AUTO_START,
                nt4 ? "%SystemRoot%\\system32\\spoolss.exe"
                    : "%SystemRoot%\\system32\\spoolsv.exe");
  if (os.version() == WindowsVersion::Win2000) {
    DefineService(os, "LPDSVC", "TCP/IP Print Server",
                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                  "%SystemRoot%\\System32\\tcpsvcs.exe");
    DefineService(os, "MacPrint", "Print Server for Macintosh",
                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                  "%SystemRoot%\\System32\\macprint.exe");
  }
}

// ---- Platform ---------------------------------------------------------------

namespace {

// The name a handle stands for in the operation record.
std::string HandleText(SimPlatform& os, SC_HANDLE h) {
  auto& handles = Manager(os).handles;
  auto it = handles.find(reinterpret_cast<uintptr_t>(h));
  if (it == handles.end()) return HexText(reinterpret_cast<uintptr_t>(h));
  return it->second.manager ? "SCManager" : "\"" + it->second.service + "\"";
}

}  // namespace

SC_HANDLE SimPlatform::OpenSCManagerA(LPCSTR machine, LPCSTR database,
                                      DWORD access) {
  if (Enter("OpenSCManagerA", ArgText(machine) + ", " + ArgText(database) +
                                  ", " + HexText(access)))
    return nullptr;
  if (IsWin9x(version_)) {
    lastError_ = ERROR_CALL_NOT_IMPLEMENTED;
    return nullptr;
  }
  if (machine && *machine) {
    lastError_ = kErrorServerUnavailable;
    return nullptr;
  }
  if (database && !EqualNoCase(database, SERVICES_ACTIVE_DATABASEA)) {
    lastError_ = kErrorDatabaseDoesNotExist;
    return nullptr;
  }
  const uintptr_t h = NewHandle();
  RecordResult(HexText(h));
  // Connecting is granted implicitly.
  return AddHandle(*this, h, true, "", access | SC_MANAGER_CONNECT);
}

SC_HANDLE SimPlatform::OpenServiceA(SC_HANDLE manager, LPCSTR name,
                                    DWORD access) {
  if (Enter("OpenServiceA", HandleText(*this, manager) + ", " + ArgText(name) +
                                ", " + HexText(access)))
    return nullptr;
  if (!ManagerOfHandle(*this, manager)) return nullptr;
  if (!name || !*name || std::strchr(name, '\\')) {
    lastError_ = kErrorInvalidServiceName;
    return nullptr;
  }
  RegNode* key = ServiceKey(*this, name);
  if (!key) {
    lastError_ = ERROR_SERVICE_DOES_NOT_EXIST;
    return nullptr;
  }
  Refresh(*this, *key);
  const uintptr_t h = NewHandle();
  RecordResult(HexText(h));
  return AddHandle(*this, h, false, key->name, access);
}

SC_HANDLE SimPlatform::CreateServiceA(SC_HANDLE manager, LPCSTR name,
                                      LPCSTR display, DWORD access, DWORD type,
                                      DWORD start, DWORD errorControl,
                                      LPCSTR binaryPath, LPCSTR loadOrderGroup,
                                      LPDWORD tag, LPCSTR, LPCSTR, LPCSTR) {
  if (Enter("CreateServiceA",
            HandleText(*this, manager) + ", " + ArgText(name) + ", " +
                ArgText(display) + ", " + HexText(type) + ", " +
                std::to_string(start) + ", " + std::to_string(errorControl) +
                ", " + ArgText(binaryPath)))
    return nullptr;
  const ServiceManager::Handle* managerHandle = ManagerOfHandle(*this, manager);
  if (!managerHandle) return nullptr;
  if (!(managerHandle->access & SC_MANAGER_CREATE_SERVICE)) {
    lastError_ = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  if (!name || !*name || std::strchr(name, '\\') || std::strchr(name, '/')) {
    lastError_ = kErrorInvalidServiceName;
    return nullptr;
  }
  if (!binaryPath || !*binaryPath || start > SERVICE_DISABLED ||
      (tag && !loadOrderGroup)) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  if (RegNode* old = ServiceKey(*this, name)) {
    lastError_ = Refresh(*this, *old).markedForDelete
                     ? ERROR_SERVICE_MARKED_FOR_DELETE
                     : ERROR_SERVICE_EXISTS;
    return nullptr;
  }
  std::string image = binaryPath;
  if ((type & 0x0F) && image.rfind("\\??\\", 0) != 0 && image.size() > 2 &&
      image[1] == ':')
    image = "\\??\\" + image;
  DefineService(*this, name, display && *display ? display : name, type, start,
                image);
  RegNode* key = ServiceKey(*this, name);
  if (!key) {
    lastError_ = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  SetDword(key, "ErrorControl", errorControl);
  // A new service does not run until it is started (or the machine boots),
  // whatever a service of the name was captured in.
  Manager(*this).initial.erase(key->name);
  Runtime& rt = Manager(*this).runtime[key->name];
  rt = Runtime{};
  rt.initialised = true;
  const uintptr_t h = NewHandle();
  RecordResult(HexText(h));
  return AddHandle(*this, h, false, key->name, access);
}

namespace {

// The service behind a service handle, or null with the error set.
RegNode* ServiceOfHandle(SimPlatform& os, SC_HANDLE h) {
  auto& sm = Manager(os);
  auto it = sm.handles.find(reinterpret_cast<uintptr_t>(h));
  RegNode* key = it == sm.handles.end() || it->second.manager
                     ? nullptr
                     : ServiceKey(os, it->second.service);
  if (!key) os.SetLastError(ERROR_INVALID_HANDLE);
  return key;
}

// The runtime record of the service behind a service handle, the service in
// `*key`, when it is not marked for deletion; null with the error set
// otherwise.
Runtime* UnmarkedService(SimPlatform& os, SC_HANDLE h, RegNode** key) {
  *key = ServiceOfHandle(os, h);
  if (!*key) return nullptr;
  Runtime& rt = Refresh(os, **key);
  if (rt.markedForDelete) {
    os.SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
    return nullptr;
  }
  return &rt;
}

}  // namespace

BOOL SimPlatform::DeleteService(SC_HANDLE service) {
  if (Enter("DeleteService", HandleText(*this, service))) return FALSE;
  RegNode* key = nullptr;
  Runtime* rt = UnmarkedService(*this, service, &key);
  if (!rt) return FALSE;
  rt->markedForDelete = true;
  SetDword(key, "DeleteFlag", 1);
  return TRUE;
}

BOOL SimPlatform::StartServiceA(SC_HANDLE service, DWORD, LPCSTR*) {
  if (Enter("StartServiceA", HandleText(*this, service))) return FALSE;
  RegNode* key = nullptr;
  Runtime* live = UnmarkedService(*this, service, &key);
  if (!live) return FALSE;
  Runtime& rt = *live;
  if (DwordValue(*key, "Start", SERVICE_DEMAND_START) == SERVICE_DISABLED) {
    lastError_ = ERROR_SERVICE_DISABLED;
    return FALSE;
  }
  if (rt.state != SERVICE_STOPPED) {
    lastError_ = ERROR_SERVICE_ALREADY_RUNNING;
    return FALSE;
  }
  if (rt.failNextStart) {
    lastError_ = std::exchange(rt.failNextStart, 0);
    return FALSE;
  }
  if (IsDriver(*key)) {
    // The driver is loaded inside the call: it runs, or the start fails.
    if (HostFileOfImage(*this, StringValue(*key, "ImagePath")).empty()) {
      lastError_ = ERROR_FILE_NOT_FOUND;
      return FALSE;
    }
    rt.state = SERVICE_RUNNING;
  } else {
    BeginPending(*this, rt, SERVICE_START_PENDING);
  }
  Manager(*this).started.push_back(key->name);
  return TRUE;
}

BOOL SimPlatform::ControlService(SC_HANDLE service, DWORD control,
                                 LPSERVICE_STATUS status) {
  if (Enter("ControlService",
            HandleText(*this, service) + ", " + std::to_string(control)))
    return FALSE;
  RegNode* key = ServiceOfHandle(*this, service);
  if (!key) return FALSE;
  if (!status) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  Runtime& rt = Refresh(*this, *key);
  FillStatus(*this, *key, rt, status);
  if (rt.state == SERVICE_STOPPED) {
    lastError_ = ERROR_SERVICE_NOT_ACTIVE;
    return FALSE;
  }
  switch (control) {
    case SERVICE_CONTROL_INTERROGATE:
      return TRUE;
    case SERVICE_CONTROL_STOP:
      if (rt.state != SERVICE_RUNNING) {
        lastError_ = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        return FALSE;
      }
      if (IsDriver(*key)) {
        rt.state = SERVICE_STOPPED;  // unloaded inside the call
      } else {
        BeginPending(*this, rt, SERVICE_STOP_PENDING);
      }
      FillStatus(*this, *key, rt, status);
      return TRUE;
    default:
      lastError_ = ERROR_INVALID_SERVICE_CONTROL;
      return FALSE;
  }
}

BOOL SimPlatform::QueryServiceStatus(SC_HANDLE service,
                                     LPSERVICE_STATUS status) {
  if (Enter("QueryServiceStatus", HandleText(*this, service))) return FALSE;
  RegNode* key = ServiceOfHandle(*this, service);
  if (!key) return FALSE;
  if (!status) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  FillStatus(*this, *key, Refresh(*this, *key), status);
  RecordResult("state " + std::to_string(status->dwCurrentState));
  return TRUE;
}

BOOL SimPlatform::QueryServiceConfigA(SC_HANDLE service,
                                      LPQUERY_SERVICE_CONFIGA config,
                                      DWORD size, LPDWORD needed) {
  if (Enter("QueryServiceConfigA",
            HandleText(*this, service) + ", " + std::to_string(size)))
    return FALSE;
  RegNode* key = ServiceOfHandle(*this, service);
  if (!key) return FALSE;
  const auto& handle =
      Manager(*this).handles.at(reinterpret_cast<uintptr_t>(service));
  if (!(handle.access & SERVICE_QUERY_CONFIG)) {
    lastError_ = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (!needed) {
    lastError_ = 1780;  // RPC_X_NULL_REF_POINTER
    return FALSE;
  }
  // The record, then its strings; the dependencies are a list of names, each
  // with its terminator, ended by an empty name (groups marked with '+').
  std::string dependencies;
  for (const std::string& name : MultiSzValue(*key, "DependOnService"))
    dependencies += name + '\0';
  for (const std::string& group : MultiSzValue(*key, "DependOnGroup"))
    dependencies += "+" + group + '\0';
  dependencies += '\0';
  if (dependencies.size() == 1) dependencies += '\0';
  const std::string texts[] = {
      StringValue(*key, "ImagePath"), StringValue(*key, "Group"), dependencies,
      StringValue(*key, "ObjectName"), StringValue(*key, "DisplayName")};
  const size_t lengths[] = {texts[0].size() + 1, texts[1].size() + 1,
                            texts[2].size(), texts[3].size() + 1,
                            texts[4].size() + 1};
  size_t total = sizeof(QUERY_SERVICE_CONFIGA);
  for (size_t n : lengths) total += n;
  *needed = static_cast<DWORD>(total);
  if (!config || size < total) {
    lastError_ = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  char* strings = reinterpret_cast<char*>(config + 1);
  LPSTR placed[5] = {};
  for (int i = 0; i < 5; ++i) {
    std::memcpy(strings, texts[i].c_str(), lengths[i]);
    placed[i] = strings;
    strings += lengths[i];
  }
  config->dwServiceType = DwordValue(*key, "Type", SERVICE_WIN32_OWN_PROCESS);
  config->dwStartType = DwordValue(*key, "Start", SERVICE_DEMAND_START);
  config->dwErrorControl = DwordValue(*key, "ErrorControl", 0);
  config->lpBinaryPathName = placed[0];
  config->lpLoadOrderGroup = placed[1];
  config->dwTagId = DwordValue(*key, "Tag", 0);
  config->lpDependencies = placed[2];
  config->lpServiceStartName = placed[3];
  config->lpDisplayName = placed[4];
  RecordResult("type " + HexText(config->dwServiceType));
  return TRUE;
}

BOOL SimPlatform::CloseServiceHandle(SC_HANDLE handle) {
  if (Enter("CloseServiceHandle", HandleText(*this, handle))) return FALSE;
  auto& sm = Manager(*this);
  auto it = sm.handles.find(reinterpret_cast<uintptr_t>(handle));
  if (it == sm.handles.end()) {
    lastError_ = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  const ServiceManager::Handle closed = it->second;
  sm.handles.erase(it);
  if (closed.manager) return TRUE;
  RegNode* key = ServiceKey(*this, closed.service);
  if (!key) return TRUE;
  Runtime& rt = Refresh(*this, *key);
  const bool stillOpen =
      std::any_of(sm.handles.begin(), sm.handles.end(), [&](const auto& h) {
        return !h.second.manager &&
               EqualNoCase(h.second.service, closed.service);
      });
  if (!rt.markedForDelete || stillOpen || rt.state != SERVICE_STOPPED)
    return TRUE;
  // The last handle of a stopped service marked for deletion: the service
  // manager removes its record. Done through the registry itself so that
  // open keys stay valid, but kept out of the record: the caller made no
  // registry call.
  // Untouched by failures injected into the caller's calls.
  const auto failures = failures_;
  const size_t mark = operations_.size();
  std::ostream* trace = traceOut_;
  traceOut_ = nullptr;
  const std::string path = std::string(kServicesPath) + "\\" + closed.service;
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
  operations_.resize(mark);
  traceOut_ = trace;
  failures_ = failures;
  sm.runtime.erase(closed.service);
  sm.initial.erase(closed.service);
  return TRUE;
}

}  // namespace kv::sim
