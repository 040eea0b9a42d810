#include "win32/Shell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "win32/Paths.h"

extern char** environ;

namespace {

constexpr std::intptr_t kFileNotFound = 2;
constexpr std::intptr_t kOutOfMemory = 8;
constexpr std::intptr_t kNoAssociation = 31;
constexpr std::intptr_t kStarted = 42;

HINSTANCE Result(std::intptr_t code) {
  return reinterpret_cast<HINSTANCE>(code);
}

// A URL or mail address goes to the opener as it is; a Windows path becomes the Linux path
// it names.
bool Target(const std::string& file, std::string* target) {
  const bool url = file.find("://") != std::string::npos || file.rfind("mailto:", 0) == 0;
  if (url || file.empty() || file[0] == '/') {
    *target = file;
    return !file.empty();
  }
  DWORD error = 0;
  return win32::WindowsToLinuxPath(file, *target, error);
}

}  // namespace

HINSTANCE ShellExecuteA(HWND /*hwnd*/, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR /*lpParameters*/,
                        LPCSTR /*lpDirectory*/, INT /*nShowCmd*/) {
  if (lpOperation && *lpOperation && std::strcmp(lpOperation, "open") != 0)
    return Result(kNoAssociation);
  std::string target;
  if (!lpFile || !Target(lpFile, &target)) return Result(kFileNotFound);
  const char* custom = std::getenv("KAZ_SHELL_OPEN");
  std::string opener = custom && *custom ? custom : "xdg-open";
  char* argv[] = {opener.data(), target.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, opener.c_str(), nullptr, nullptr, argv, environ) != 0)
    return Result(kOutOfMemory);
  // The opener is not waited for, but it is reaped when it ends.
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return Result(kStarted);
}
