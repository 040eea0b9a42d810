// TDLPortIO against the real "DLPortIO.dll" and the prefix's service database: the driver
// service is left as it was found, every failing step leaves its text, and the lamp byte
// reaches the virtual port.
#include <gtest/gtest.h>

#include <time.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "dlportio/dlportio.h"
#include "lights/PortIO.h"
#include "support/TestSupport.h"
#include "win32/Win32.h"

namespace {

namespace fs = std::filesystem;

constexpr DWORD kAbsent = 0;

std::string ServicesDir() {
  return kaztest::Prefix() + "/services";
}
std::string PortDir() {
  return kaztest::Prefix() + "/" + kDlPortFolder;
}
std::string WinPath(const std::string& linux) {
  return win32::LinuxToWindowsPath(linux);
}

std::uint64_t NowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::uint64_t(ts.tv_sec) * 1000000000u + std::uint64_t(ts.tv_nsec);
}

bool Mapped(const std::string& path) {
  return kaztest::ReadFile("/proc/self/maps").find(path) != std::string::npos;
}

class PortIO : public ::testing::Test {
 protected:
  void SetUp() override {
    std::error_code ec;
    fs::remove_all(ServicesDir(), ec);
    fs::remove_all(PortDir(), ec);
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr);
    port_ = std::make_unique<TDLPortIO>(nullptr);
    // The driver file is built beside the programs, where the light controller looks.
    port_->SetDriverPath(WinPath(kaztest::ProgramDir()));
  }
  void TearDown() override {
    port_.reset();
    CloseServiceHandle(manager_);
  }

  // The service's state, or kAbsent.
  DWORD Service() {
    SC_HANDLE s = OpenServiceA(manager_, "DLPortIO", SERVICE_QUERY_STATUS);
    if (!s) return kAbsent;
    SERVICE_STATUS status{};
    QueryServiceStatus(s, &status);
    CloseServiceHandle(s);
    return status.dwCurrentState;
  }

  // Installs the service beforehand, as another program or an earlier run left it.
  void Install(bool running) {
    const std::string file = WinPath(kaztest::ProgramDir()) + "\\DLPortIO.SYS";
    SC_HANDLE s =
        CreateServiceA(manager_, "DLPortIO", "DriverLINX Port I/O Driver", SERVICE_ALL_ACCESS,
                       SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                       file.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(s, nullptr) << GetLastError();
    if (running) {
      ASSERT_TRUE(StartServiceA(s, 0, nullptr)) << GetLastError();
    }
    CloseServiceHandle(s);
  }

  std::string Log() { return kaztest::ReadFile(PortDir() + "/" + kDlPortLogName); }

  SC_HANDLE manager_ = nullptr;
  std::unique_ptr<TDLPortIO> port_;
};

TEST_F(PortIO, LeavesTheServiceAsItFoundIt) {
  // Absent: created and started at open, stopped and deleted at close.
  port_->OpenDriver();
  ASSERT_TRUE(port_->ActiveHW()) << port_->LastError();
  EXPECT_EQ(Service(), SERVICE_RUNNING);
  port_->OpenDriver();  // open already: nothing happens
  EXPECT_TRUE(port_->ActiveHW());
  port_->CloseDriver();
  EXPECT_FALSE(port_->ActiveHW());
  EXPECT_EQ(Service(), kAbsent);
  port_->CloseDriver();  // closed already: nothing happens
  EXPECT_EQ(port_->LastError(), "");

  // Stopped: started at open, stopped again (and kept) at close.
  Install(false);
  port_->OpenDriver();
  ASSERT_TRUE(port_->ActiveHW()) << port_->LastError();
  EXPECT_EQ(Service(), SERVICE_RUNNING);
  port_->CloseDriver();
  EXPECT_EQ(Service(), SERVICE_STOPPED);

  // Running: left running, also when the component goes away open.
  SC_HANDLE s = OpenServiceA(manager_, "DLPortIO", SERVICE_START);
  ASSERT_TRUE(StartServiceA(s, 0, nullptr));
  CloseServiceHandle(s);
  port_->OpenDriver();
  ASSERT_TRUE(port_->ActiveHW());
  port_.reset();
  EXPECT_EQ(Service(), SERVICE_RUNNING);
}

TEST_F(PortIO, DestructorUndoesWhatOpenDid) {
  port_->OpenDriver();
  ASSERT_TRUE(port_->ActiveHW());
  port_.reset();
  EXPECT_EQ(Service(), kAbsent);
}

TEST_F(PortIO, UserWithoutAdministratorRights) {
  kaztest::WriteFile(ServicesDir() + "/policy", "create=deny\n");
  // The manager is opened again with the reduced access, and creating the service is what
  // fails.
  port_->OpenDriver();
  EXPECT_FALSE(port_->ActiveHW());
  EXPECT_EQ(port_->LastError(), "DriverInstall: Error #5");
  EXPECT_EQ(Service(), kAbsent);

  // An administrator installed it earlier: the open goes on with the reduced access.
  std::error_code ec;
  fs::remove(ServicesDir() + "/policy", ec);
  Install(false);
  kaztest::WriteFile(ServicesDir() + "/policy", "create=deny\n");
  port_->OpenDriver();
  ASSERT_TRUE(port_->ActiveHW()) << port_->LastError();
  EXPECT_EQ(Service(), SERVICE_RUNNING);
  port_->CloseDriver();
  EXPECT_FALSE(port_->ActiveHW());
  EXPECT_EQ(Service(), SERVICE_STOPPED);
}

TEST_F(PortIO, PendingServiceCannotBeStarted) {
  Install(false);
  const std::string record = ServicesDir() + "/dlportio.service";
  std::string text = kaztest::ReadFile(record);
  const std::size_t at = text.find("\nstate=1\n");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 9, "\nstate=2\n");
  kaztest::WriteFile(record, text);

  port_->OpenDriver();
  EXPECT_FALSE(port_->ActiveHW());
  EXPECT_EQ(port_->LastError(), "DriverStart: Error #4294967295");
  EXPECT_EQ(Service(), SERVICE_START_PENDING) << "a service it did not install stays";
}

TEST_F(PortIO, MissingDriverFileUndoesTheInstall) {
  // By default the driver file is looked for in the system directory's "DRIVERS" folder,
  // where nothing put it.
  TDLPortIO fresh(nullptr);
  char dir[MAX_PATH];
  const UINT n = GetSystemDirectoryA(dir, MAX_PATH);
  EXPECT_EQ(fresh.DriverPath(), std::string(dir, n) + "\\DRIVERS");
  fresh.OpenDriver();
  EXPECT_FALSE(fresh.ActiveHW());
  EXPECT_EQ(fresh.LastError(), "DriverStart: Error #2");
  EXPECT_EQ(Service(), kAbsent);
}

TEST_F(PortIO, IncompleteOrMissingLibraryUndoesTheService) {
  const std::string incomplete = kaztest::ProgramDir() + "/incomplete";
  ASSERT_TRUE(fs::exists(incomplete + "/DLPortIO.dll"));
  port_->SetDLLPath(WinPath(incomplete));
  port_->OpenDriver();
  EXPECT_FALSE(port_->ActiveHW());
  EXPECT_FALSE(Mapped(incomplete + "/DLPortIO.dll")) << "the library must be unloaded";
  EXPECT_EQ(Service(), kAbsent);
  EXPECT_EQ(port_->LastError(), "");

  Install(true);
  port_->SetDLLPath(WinPath(kaztest::MakeTempDir("nolibrary")));
  port_->OpenDriver();
  EXPECT_FALSE(port_->ActiveHW());
  EXPECT_EQ(Service(), SERVICE_RUNNING);
  port_->WritePort(0x378, 0x55);  // skipped: nothing is bound
  EXPECT_FALSE(fs::exists(PortDir() + "/" + kDlPortLogName));
}

TEST_F(PortIO, LibraryFolderEndingInABackslashGetsOneMore) {
  // The folder is never inspected. A Linux path takes backslashes literally, so the name
  // built from "<dir>/lib\" is the file "lib\\DLPortIO.dll" in <dir>, with both backslashes.
  const std::string dir = kaztest::MakeTempDir("literal");
  fs::copy_file(kaztest::ProgramDir() + "/DLPortIO.dll", dir + "/lib\\\\DLPortIO.dll");
  port_->SetDLLPath(dir + "/lib\\");
  port_->OpenDriver();
  EXPECT_TRUE(port_->ActiveHW()) << win32::LastLoadLibraryError();
  port_->CloseDriver();

  // As the main window sets it: its program folder as a Windows path with a backslash.
  port_->SetDLLPath(WinPath(kaztest::ProgramDir()) + "\\");
  port_->OpenDriver();
  EXPECT_TRUE(port_->ActiveHW()) << win32::LastLoadLibraryError();
}

TEST_F(PortIO, WritesReachTheVirtualPortOnlyWhileOpen) {
  port_->WritePort(0x378, 0x11);
  EXPECT_FALSE(fs::exists(PortDir() + "/" + kDlPortLogName));

  port_->OpenDriver();
  ASSERT_TRUE(port_->ActiveHW());
  const std::uint64_t before = NowNs();
  port_->WritePort(0x378, 0xA5);
  const std::uint64_t after = NowNs();
  std::istringstream line(Log());
  std::uint64_t ns = 0;
  std::string portText, byteText;
  line >> ns >> portText >> byteText;
  EXPECT_EQ(portText, "0378");
  EXPECT_EQ(byteText, "a5");
  EXPECT_GE(ns, before);
  EXPECT_LE(ns, after);
  EXPECT_EQ(kaztest::ReadFile(PortDir() + "/" + kDlPortStateName), "a5\n");

  port_->CloseDriver();
  port_->WritePort(0x378, 0x22);
  EXPECT_EQ(Log().find(" 22\n"), std::string::npos);
}

TEST_F(PortIO, DriverThatWillNotStopKeepsTheLibrary) {
  port_->OpenDriver();
  ASSERT_TRUE(port_->ActiveHW());
  // Someone else stops the driver under the open component.
  SC_HANDLE s = OpenServiceA(manager_, "DLPortIO", SERVICE_STOP);
  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(s, SERVICE_CONTROL_STOP, &status));
  CloseServiceHandle(s);

  port_->CloseDriver();
  EXPECT_EQ(port_->LastError(), "DriverStop: Error #1062");
  EXPECT_TRUE(port_->ActiveHW());
  port_->WritePort(0x378, 0x42);
  EXPECT_NE(Log().find(" 0378 42\n"), std::string::npos);
}

}  // namespace
