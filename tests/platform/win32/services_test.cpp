// The service control manager over the prefix's service database: the life of a driver
// service, rights, bad handles, and several programs sharing one database.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/TestSupport.h"
#include "win32/Win32.h"

namespace {

namespace fs = std::filesystem;

std::string ServicesDir() {
  return kaztest::Prefix() + "/services";
}

// A driver file on disk and its Windows path.
std::string MakeDriverFile(const std::string& name) {
  const std::string dir = kaztest::MakeTempDir("drivers");
  kaztest::WriteFile(dir + "/" + name, "driver\n");
  return win32::LinuxToWindowsPath(dir) + "\\" + name;
}

class Services : public ::testing::Test {
 protected:
  void SetUp() override {
    std::error_code ec;
    fs::remove_all(ServicesDir(), ec);
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr) << GetLastError();
  }
  void TearDown() override { CloseServiceHandle(manager_); }

  SC_HANDLE Create(const char* name, const std::string& binary, DWORD access = SERVICE_ALL_ACCESS) {
    return CreateServiceA(manager_, name, nullptr, access, SERVICE_KERNEL_DRIVER,
                          SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary.c_str(), nullptr,
                          nullptr, nullptr, nullptr, nullptr);
  }

  DWORD State(SC_HANDLE service) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) return 0;
    return status.dwCurrentState;
  }

  // Rewrites one "key=value" line of a service's record, as a tool would.
  void EditRecord(const std::string& key, const std::string& field, const std::string& value) {
    const std::string path = ServicesDir() + "/" + key + ".service";
    std::string text = kaztest::ReadFile(path);
    const std::size_t at = text.find("\n" + field + "=");
    ASSERT_NE(at, std::string::npos);
    const std::size_t end = text.find('\n', at + 1);
    text.replace(at + 1, end - at - 1, field + "=" + value);
    kaztest::WriteFile(path, text);
  }

  SC_HANDLE manager_ = nullptr;
};

TEST_F(Services, DriverGoesThroughItsWholeLife) {
  const std::string binary = MakeDriverFile("Life.sys");
  SC_HANDLE s = Create("Life", binary);
  ASSERT_NE(s, nullptr) << GetLastError();

  SERVICE_STATUS status{};
  ASSERT_TRUE(QueryServiceStatus(s, &status));
  EXPECT_EQ(status.dwServiceType, SERVICE_KERNEL_DRIVER);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(status.dwControlsAccepted, 0u);
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_SERVICE_NEVER_STARTED);

  ASSERT_TRUE(StartServiceA(s, 0, nullptr)) << GetLastError();
  ASSERT_TRUE(QueryServiceStatus(s, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
  EXPECT_EQ(status.dwControlsAccepted, SERVICE_ACCEPT_STOP);
  EXPECT_EQ(status.dwWin32ExitCode, 0u);
  EXPECT_FALSE(StartServiceA(s, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);

  // A second handle, found without regard to letter case, sees the same service.
  SC_HANDLE other = OpenServiceA(manager_, "lIFE", SERVICE_QUERY_STATUS);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(State(other), SERVICE_RUNNING);

  ASSERT_TRUE(ControlService(s, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, 0u);  // it did run once
  EXPECT_FALSE(ControlService(s, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_FALSE(ControlService(s, SERVICE_CONTROL_PAUSE, &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SERVICE_CONTROL);

  // Marked for deletion, it stays while any handle is open.
  ASSERT_TRUE(DeleteService(s));
  EXPECT_FALSE(DeleteService(s));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_FALSE(StartServiceA(s, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_EQ(Create("Life", binary), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_TRUE(CloseServiceHandle(s));
  SC_HANDLE again = OpenServiceA(manager_, "Life", SERVICE_QUERY_STATUS);
  EXPECT_NE(again, nullptr);
  EXPECT_TRUE(CloseServiceHandle(again));
  EXPECT_TRUE(CloseServiceHandle(other));

  // The last handle is gone: so is the service, and the name is free again.
  EXPECT_EQ(OpenServiceA(manager_, "Life", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  SC_HANDLE reborn = Create("Life", binary);
  ASSERT_NE(reborn, nullptr);
  EXPECT_EQ(State(reborn), SERVICE_STOPPED);
  EXPECT_TRUE(CloseServiceHandle(reborn));
}

TEST_F(Services, RunningServiceMarkedForDeletionStaysUntilStopped) {
  SC_HANDLE s = Create("Busy", MakeDriverFile("busy.sys"));
  ASSERT_NE(s, nullptr);
  ASSERT_TRUE(StartServiceA(s, 0, nullptr));
  ASSERT_TRUE(DeleteService(s));
  ASSERT_TRUE(CloseServiceHandle(s));

  s = OpenServiceA(manager_, "Busy", SERVICE_STOP | SERVICE_QUERY_STATUS);
  ASSERT_NE(s, nullptr) << "a running service must outlive its handles";
  EXPECT_EQ(State(s), SERVICE_RUNNING);
  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(s, SERVICE_CONTROL_STOP, &status));
  ASSERT_TRUE(CloseServiceHandle(s));
  EXPECT_EQ(OpenServiceA(manager_, "Busy", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST_F(Services, CreateRefusesClashesAndBadParameters) {
  const std::string binary = MakeDriverFile("a.sys");
  SC_HANDLE s = CreateServiceA(manager_, "Alpha", "Alpha Driver", SERVICE_ALL_ACCESS,
                               SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                               binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Create("ALPHA", binary), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_EXISTS);
  EXPECT_EQ(Create("alpha driver", binary), nullptr);  // another's display name
  EXPECT_EQ(GetLastError(), ERROR_DUPLICATE_SERVICE_NAME);

  EXPECT_EQ(Create("", binary), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  EXPECT_EQ(Create("a\\b", binary), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  EXPECT_EQ(Create("../up", binary), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  EXPECT_EQ(Create("NoBinary", ""), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(
      CreateServiceA(manager_, "Bad", nullptr, 0, SERVICE_KERNEL_DRIVER, 7, SERVICE_ERROR_NORMAL,
                     binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr),
      nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CreateServiceA(manager_, "Proc", nullptr, 0, SERVICE_WIN32_OWN_PROCESS,
                           SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary.c_str(), nullptr,
                           nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);

  // Tags count up within a load order group; texts of any bytes survive the record.
  DWORD tag1 = 0, tag2 = 0;
  SC_HANDLE g1 = CreateServiceA(manager_, "G1", "odd,%name\nline", 0, SERVICE_KERNEL_DRIVER,
                                SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary.c_str(), "Group",
                                &tag1, "Alpha\0Beta\0", nullptr, "secret");
  SC_HANDLE g2 = CreateServiceA(manager_, "G2", nullptr, 0, SERVICE_KERNEL_DRIVER,
                                SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary.c_str(), "group",
                                &tag2, nullptr, nullptr, nullptr);
  ASSERT_NE(g1, nullptr);
  ASSERT_NE(g2, nullptr);
  EXPECT_EQ(tag1, 1u);
  EXPECT_EQ(tag2, 2u);
  EXPECT_EQ(Create("odd,%name\nline", binary), nullptr);  // G1's display name, read back
  EXPECT_EQ(GetLastError(), ERROR_DUPLICATE_SERVICE_NAME);
  const std::string record = kaztest::ReadFile(ServicesDir() + "/g1.service");
  EXPECT_EQ(record.find("secret"), std::string::npos) << "a password is never stored";
  for (SC_HANDLE h : {s, g1, g2}) CloseServiceHandle(h);
}

TEST_F(Services, RightsAreCheckedOnEveryHandle) {
  // A user without administrator rights: the full manager access is denied, the reduced
  // one granted, and that handle cannot create services.
  kaztest::WriteFile(ServicesDir() + "/policy", "create = deny\n");
  EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, 0x17), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  SC_HANDLE reduced = OpenSCManagerA(nullptr, nullptr, 0x15);
  ASSERT_NE(reduced, nullptr);
  const std::string binary = MakeDriverFile("r.sys");
  EXPECT_EQ(CreateServiceA(reduced, "R", nullptr, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                           SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary.c_str(), nullptr,
                           nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  std::error_code ec;
  fs::remove(ServicesDir() + "/policy", ec);
  SC_HANDLE full = OpenSCManagerA(nullptr, nullptr, 0x17);
  EXPECT_NE(full, nullptr);
  CloseServiceHandle(full);

  // A service handle can do only what it was opened for.
  SC_HANDLE created = Create("R", binary, 0);
  ASSERT_NE(created, nullptr);
  SERVICE_STATUS status{};
  EXPECT_FALSE(QueryServiceStatus(created, &status));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  SC_HANDLE query = OpenServiceA(reduced, "R", SERVICE_QUERY_STATUS);
  ASSERT_NE(query, nullptr);
  EXPECT_FALSE(StartServiceA(query, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(ControlService(query, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteService(query));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(State(query), SERVICE_STOPPED);
  for (SC_HANDLE h : {created, query, reduced}) CloseServiceHandle(h);

  EXPECT_EQ(OpenSCManagerA("\\\\elsewhere", nullptr, SC_MANAGER_CONNECT), nullptr);
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(OpenSCManagerA(nullptr, "ServicesFailed", SC_MANAGER_CONNECT), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_DATABASE_DOES_NOT_EXIST);
}

TEST_F(Services, StartNeedsTheDriverFile) {
  const std::string binary = MakeDriverFile("here.sys");
  SC_HANDLE s = Create("Missing", binary.substr(0, binary.size() - 8) + "gone.sys");
  ASSERT_NE(s, nullptr);
  EXPECT_FALSE(StartServiceA(s, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(State(s), SERVICE_STOPPED);
  CloseServiceHandle(s);

  // Image paths read relative to the Windows directory.
  fs::create_directories(win32::SystemDirectory() + "/drivers");
  kaztest::WriteFile(win32::SystemDirectory() + "/drivers/rel.sys", "driver\n");
  for (const char* path :
       {"System32\\DRIVERS\\rel.sys", "\\SystemRoot\\system32\\drivers\\REL.SYS"}) {
    SC_HANDLE r = Create("Rel", path);
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(StartServiceA(r, 0, nullptr)) << path << ": " << GetLastError();
    SERVICE_STATUS status{};
    ControlService(r, SERVICE_CONTROL_STOP, &status);
    DeleteService(r);
    CloseServiceHandle(r);
  }

  SC_HANDLE d = CreateServiceA(manager_, "Off", nullptr, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                               SERVICE_DISABLED, SERVICE_ERROR_NORMAL, binary.c_str(), nullptr,
                               nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(d, nullptr);
  EXPECT_FALSE(StartServiceA(d, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DISABLED);
  CloseServiceHandle(d);
}

TEST_F(Services, PendingStatesRefuseStartAndStop) {
  SC_HANDLE s = Create("Hang", MakeDriverFile("hang.sys"));
  ASSERT_NE(s, nullptr);
  for (DWORD pending : {SERVICE_START_PENDING, SERVICE_STOP_PENDING}) {
    EditRecord("hang", "state", std::to_string(pending));
    EXPECT_EQ(State(s), pending);
    EXPECT_FALSE(StartServiceA(s, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);
    SERVICE_STATUS status{};
    EXPECT_FALSE(ControlService(s, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    EXPECT_EQ(status.dwCurrentState, pending);
  }
  CloseServiceHandle(s);
}

TEST_F(Services, BadHandlesAndBadRecordsAreErrorsNotCrashes) {
  SC_HANDLE s = Create("Real", MakeDriverFile("real.sys"));
  ASSERT_NE(s, nullptr);
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  SC_HANDLE closed = OpenServiceA(manager_, "Real", SERVICE_ALL_ACCESS);
  ASSERT_TRUE(CloseServiceHandle(closed));
  SERVICE_STATUS status{};
  for (SC_HANDLE bad : {SC_HANDLE(nullptr), SC_HANDLE(INVALID_HANDLE_VALUE),
                        reinterpret_cast<SC_HANDLE>(0x1234567), closed, event, manager_}) {
    SetLastError(0);
    EXPECT_FALSE(QueryServiceStatus(bad, &status));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(StartServiceA(bad, 0, nullptr));
    EXPECT_FALSE(ControlService(bad, SERVICE_CONTROL_STOP, &status));
    EXPECT_FALSE(DeleteService(bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
  EXPECT_EQ(OpenServiceA(s, "Real", SERVICE_ALL_ACCESS), nullptr);  // not a manager
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseServiceHandle(closed));
  EXPECT_FALSE(CloseServiceHandle(event));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(s));  // service handles have their own closing function
  EXPECT_FALSE(QueryServiceStatus(s, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(CloseHandle(event));

  // A record that is not one is no service, and creating over it works.
  kaztest::WriteFile(ServicesDir() + "/junk.service", std::string("\x01=\xff\nstate=99\n", 13));
  EXPECT_EQ(OpenServiceA(manager_, "junk", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  SC_HANDLE junk = Create("Junk", MakeDriverFile("junk.sys"));
  EXPECT_NE(junk, nullptr);
  CloseServiceHandle(junk);

  // A service whose record vanished behind the manager's back.
  std::error_code ec;
  fs::remove(ServicesDir() + "/real.service", ec);
  EXPECT_FALSE(QueryServiceStatus(s, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_TRUE(CloseServiceHandle(s));
}

// Runs `body` in a child process; answers its exit status.
template <class F>
int InChild(F body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST_F(Services, ProgramsShareOneDatabase) {
  const std::string binary = MakeDriverFile("shared.sys");
  // Another program installs and starts the driver and ends without closing its handles.
  const int rc = InChild([&] {
    SC_HANDLE m = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE h = CreateServiceA(m, "Shared", nullptr, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                 SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary.c_str(),
                                 nullptr, nullptr, nullptr, nullptr, nullptr);
    return h && StartServiceA(h, 0, nullptr) ? 0 : 1;
  });
  ASSERT_EQ(rc, 0);
  SC_HANDLE s = OpenServiceA(manager_, "Shared", SERVICE_ALL_ACCESS);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(State(s), SERVICE_RUNNING) << "a driver runs on after its installer ended";
  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(s, SERVICE_CONTROL_STOP, &status));
  ASSERT_TRUE(DeleteService(s));
  ASSERT_TRUE(CloseServiceHandle(s));
  EXPECT_EQ(OpenServiceA(manager_, "Shared", SERVICE_QUERY_STATUS), nullptr)
      << "handles of a program that ended must not keep a deleted service";

  // Programs racing to install the same service: exactly one of them creates it.
  constexpr int kRacers = 6;
  pid_t pids[kRacers];
  for (pid_t& pid : pids) {
    pid = fork();
    if (pid == 0) {
      SC_HANDLE m = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
      SC_HANDLE h = CreateServiceA(m, "Race", nullptr, 0, SERVICE_KERNEL_DRIVER,
                                   SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary.c_str(),
                                   nullptr, nullptr, nullptr, nullptr, nullptr);
      _exit(h ? 0 : GetLastError() == ERROR_SERVICE_EXISTS ? 1 : 2);
    }
  }
  int created = 0, refused = 0;
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 100;
    created += code == 0;
    refused += code == 1;
  }
  EXPECT_EQ(created, 1);
  EXPECT_EQ(refused, kRacers - 1);
}

}  // namespace
