// libFuzzer target for the driver service's record, the one file of the prefix that the
// port binding reads and that any program or a crash may have left in any shape: the bytes
// become the record of "DLPortIO", and the steps the light controller takes must answer
// error codes, never crash or loop.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "win32/Services.h"

namespace {
std::string g_prefix;
std::string g_record;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char dir[] = "/tmp/kazfuzz-XXXXXX";
  if (!mkdtemp(dir)) std::abort();
  setenv("KAZ_PREFIX", dir, 1);
  g_prefix = dir;
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(g_prefix, ec);
  });
  g_record = std::string(dir) + "/services/dlportio.service";
  SC_HANDLE m = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);  // makes the folder
  CloseServiceHandle(m);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    std::ofstream out(g_record, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
  SC_HANDLE m = OpenSCManagerA(nullptr, nullptr, 0x17);
  if (SC_HANDLE s = OpenServiceA(m, "DLPortIO", SERVICE_ALL_ACCESS)) {
    SERVICE_STATUS status{};
    QueryServiceStatus(s, &status);
    StartServiceA(s, 0, nullptr);
    ControlService(s, SERVICE_CONTROL_STOP, &status);
    DeleteService(s);
    CloseServiceHandle(s);
  }
  CloseServiceHandle(m);
  return 0;
}
