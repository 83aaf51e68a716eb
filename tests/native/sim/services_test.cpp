// The simulated service manager's own answers that the service operations
// rely on.
#include <gtest/gtest.h>

#include <string>

#include "sim/sim_services.h"
#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

using sim::WindowsVersion;
using test::SimMachine;

TEST(SimServiceManager, RefusalsFollowWindows) {
  SimMachine m(WindowsVersion::XP);
  auto& os = m.os();
  SC_HANDLE scm = os.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(scm, nullptr);
  os.SetLastError(0xBAD);
  EXPECT_EQ(os.OpenServiceA(scm, "Nope", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
  os.SetLastError(test::kStaleError);
  EXPECT_EQ(os.CreateServiceA(scm, "Spooler", "x", SERVICE_ALL_ACCESS, 1, 2, 1,
                              "C:\\x.sys", nullptr, nullptr, nullptr, nullptr,
                              nullptr),
            nullptr);
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_SERVICE_EXISTS));

  SC_HANDLE svc = os.CreateServiceA(scm, "KvTest", "KvTest", SERVICE_ALL_ACCESS,
                                    1, 2, 1, "C:\\WINDOWS\\x.sys", nullptr,
                                    nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(svc, nullptr);
  SERVICE_STATUS st = {};
  os.SetLastError(test::kStaleError);
  EXPECT_FALSE(os.ControlService(svc, SERVICE_CONTROL_STOP, &st));
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_SERVICE_NOT_ACTIVE));
  os.SetLastError(test::kStaleError);
  EXPECT_FALSE(os.StartServiceA(svc, 0, nullptr));  // driver file missing
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(os.DeleteService(svc));
  os.SetLastError(test::kStaleError);
  EXPECT_FALSE(os.DeleteService(svc));
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_SERVICE_MARKED_FOR_DELETE));
  os.SetLastError(test::kStaleError);
  EXPECT_EQ(os.CreateServiceA(scm, "KvTest", "KvTest", SERVICE_ALL_ACCESS, 1, 2,
                              1, "C:\\x.sys", nullptr, nullptr, nullptr,
                              nullptr, nullptr),
            nullptr);
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_SERVICE_MARKED_FOR_DELETE));
  EXPECT_TRUE(os.CloseServiceHandle(svc));  // last handle: the record goes
  EXPECT_EQ(os.FindKey(HKEY_LOCAL_MACHINE,
                       std::string(sim::kServicesPath) + "\\KvTest"),
            nullptr);
  os.SetLastError(test::kStaleError);
  EXPECT_FALSE(os.CloseServiceHandle(svc));
  EXPECT_EQ(os.GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(os.CloseServiceHandle(scm));
}

}  // namespace
}  // namespace kv
