// Stopping, starting and restarting services on the simulated service
// manager, with the waits measured on the virtual clock.
#include "foundation/services.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exports/printer_exports.h"
#include "sim/sim_services.h"
#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

using sim::WindowsVersion;
using test::SimMachine;

TEST(StopServiceAndWait, RunningServiceIsStoppedAfterItsStopTime) {
  SimMachine m(WindowsVersion::XP);
  sim::SetServiceTiming(m.os(), "Spooler", 1500, 2500);
  StopServiceAndWait(m.ctx(), "spooler");
  EXPECT_EQ(sim::ServiceCurrentState(m.os(), "Spooler"),
            DWORD(SERVICE_STOPPED));
  // Polled at the 1000 ms steps the 3000 ms wait hint asks for.
  EXPECT_EQ(m.os().now(), 3000u);
}

TEST(StopServiceAndWait, StoppedServiceCountsAsStopped) {
  SimMachine m(WindowsVersion::NT4);
  sim::SetServiceState(m.os(), "Spooler", SERVICE_STOPPED);
  StopServiceAndWait(m.ctx(), "Spooler");
  EXPECT_EQ(m.os().now(), 1000u);  // one pause, then the query says stopped
  EXPECT_EQ(m.os().CountOperations("QueryServiceStatus"), 1u);
}

TEST(StopServiceAndWait, MissingServiceIsSkipped) {
  SimMachine m(WindowsVersion::Win2000);
  StopServiceAndWait(m.ctx(), "NoSuchService");
  EXPECT_EQ(m.os().now(), 0u);
  EXPECT_EQ(m.os().CountOperations("ControlService"), 0u);
}

TEST(StopServiceAndWait, ServiceThatNeverStopsEndsAtTheBound) {
  struct Case {
    DWORD hint;
    DWORD pause;
  };
  // Pauses follow the wait hint: 100 ms without one, at most 1000 ms.
  for (const Case& c : {Case{0, 100}, Case{250, 250}, Case{5000, 1000}}) {
    SimMachine m(WindowsVersion::XP);
    sim::SetServiceTiming(m.os(), "Spooler", 1000, 10u * 60 * 1000, c.hint);
    StopServiceAndWait(m.ctx(), "Spooler");
    EXPECT_GE(m.os().now(), kServiceWaitLimitMs) << c.hint;
    EXPECT_LT(m.os().now(), kServiceWaitLimitMs + c.pause) << c.hint;
    EXPECT_EQ(sim::ServiceCurrentState(m.os(), "Spooler"),
              DWORD(SERVICE_STOP_PENDING));
  }
}

TEST(StopServiceAndWait, ServiceAlreadyStoppingRefusesTheStopAndIsNotAwaited) {
  SimMachine m(WindowsVersion::Win2000);
  sim::HoldServicePending(m.os(), "Spooler", SERVICE_STOP_PENDING, 2000);
  m.os().SetLastError(test::kStaleError);
  StopServiceAndWait(m.ctx(), "Spooler");
  EXPECT_EQ(m.os().now(), 0u);
  EXPECT_EQ(m.os().GetLastError(), DWORD(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
}

TEST(StartServiceIfStopped, StartsAndWaitsUntilRunning) {
  SimMachine m(WindowsVersion::Win2000);
  sim::SetServiceTiming(m.os(), "LPDSVC", 1000, 500);
  StartServiceIfStopped(m.ctx(), "lpdsvc");
  EXPECT_EQ(sim::ServiceCurrentState(m.os(), "LPDSVC"), DWORD(SERVICE_RUNNING));
  EXPECT_EQ(sim::StartedServices(m.os()), std::vector<std::string>{"LPDSVC"});
  EXPECT_EQ(m.os().now(), 1200u);  // 300 ms steps until running
}

TEST(StartServiceIfStopped, RunningServiceIsLeftAlone) {
  SimMachine m(WindowsVersion::XP);
  StartServiceIfStopped(m.ctx(), "Spooler");
  EXPECT_TRUE(sim::StartedServices(m.os()).empty());
  EXPECT_EQ(m.os().now(), 0u);
}

TEST(StartServiceIfStopped, FailedStartDoesNotWait) {
  SimMachine m(WindowsVersion::XP);
  sim::SetServiceState(m.os(), "Spooler", SERVICE_STOPPED);
  sim::FailServiceStart(m.os(), "Spooler", ERROR_SERVICE_DISABLED);
  StartServiceIfStopped(m.ctx(), "Spooler");
  EXPECT_EQ(m.os().now(), 0u);
  EXPECT_EQ(sim::ServiceCurrentState(m.os(), "Spooler"),
            DWORD(SERVICE_STOPPED));
}

TEST(StartServiceIfStopped, ServiceThatNeverRunsEndsAtTheBound) {
  SimMachine m(WindowsVersion::NT4);
  sim::SetServiceState(m.os(), "Spooler", SERVICE_STOPPED);
  sim::SetServiceTiming(m.os(), "Spooler", 10u * 60 * 1000, 500);
  StartServiceIfStopped(m.ctx(), "Spooler");
  EXPECT_EQ(m.os().now(), kServiceWaitLimitMs);
  EXPECT_EQ(sim::ServiceCurrentState(m.os(), "Spooler"),
            DWORD(SERVICE_START_PENDING));
}

TEST(ToRestartPrinterService, RestartsTheServicesOfEachFamily) {
  struct Case {
    WindowsVersion v;
    std::vector<std::string> started;
  };
  const Case cases[] = {
      {WindowsVersion::NT4, {"Spooler"}},
      {WindowsVersion::Win2000, {"Spooler", "LPDSVC", "MacPrint"}},
      {WindowsVersion::XP, {"Spooler"}},
      {WindowsVersion::Win98, {}},
      {WindowsVersion::NT351, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(sim::WindowsVersionName(c.v));
    SimMachine m(c.v);
    if (c.v == WindowsVersion::Win2000) {
      sim::SetServiceState(m.os(), "LPDSVC", SERVICE_RUNNING);
      sim::SetServiceState(m.os(), "MacPrint", SERVICE_RUNNING);
    }
    m.BindExports();
    EXPECT_EQ(::ToRestartPrinterService(), 1);
    EXPECT_EQ(sim::StartedServices(m.os()), c.started);
    for (const auto& s : c.started)
      EXPECT_EQ(sim::ServiceCurrentState(m.os(), s), DWORD(SERVICE_RUNNING))
          << s;
  }
}

TEST(ToRestartPrinterService, Windows2000StopsCompanionsBeforeTheSpooler) {
  SimMachine m(WindowsVersion::Win2000);
  sim::SetServiceState(m.os(), "LPDSVC", SERVICE_RUNNING);
  sim::SetServiceState(m.os(), "MacPrint", SERVICE_RUNNING);
  ToRestartPrinterService(m.ctx());
  std::vector<std::string> stops;
  for (const auto& op : m.os().operations())
    if (op.rfind("ControlService(", 0) == 0 &&
        op.find(", 1)") != std::string::npos)
      stops.push_back(op.substr(15, op.find(',') - 15));
  EXPECT_EQ(stops, (std::vector<std::string>{"\"MacPrint\"", "\"LPDSVC\"",
                                             "\"Spooler\""}));
}

TEST(ToRestartPrinterService, Windows9xHasNoServiceManager) {
  SimMachine m(WindowsVersion::WinMe);
  EXPECT_EQ(ToRestartPrinterService(m.ctx()), 1);
  EXPECT_EQ(m.os().CountOperations("OpenSCManagerA"), 0u);
  m.os().SetLastError(test::kStaleError);
  EXPECT_EQ(m.os().OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS),
            nullptr);
  EXPECT_EQ(m.os().GetLastError(), DWORD(ERROR_CALL_NOT_IMPLEMENTED));
}

}  // namespace
}  // namespace kv
