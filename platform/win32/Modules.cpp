#include "win32/Modules.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "win32/Paths.h"
#include "win32/Sync.h"

namespace {

// Under the address sanitizer the libraries that a freed library brought in stay mapped;
// the library itself is unloaded as always. The leak checker runs at exit and can neither
// name nor look into a library that is gone: the caches that such libraries keep for the
// life of the process (ALSA's configuration tree, for one) would be reported as leaks of
// no known origin, which no suppression can single out. Kept mapped, their memory stays
// reachable, and a leak anywhere else is reported with its own frames. See tests/lsan.supp.
#if defined(__SANITIZE_ADDRESS__)
std::vector<std::string> LoadedObjects() {
  std::vector<std::string> names;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        if (info->dlpi_name && info->dlpi_name[0])
          static_cast<std::vector<std::string>*>(data)->push_back(info->dlpi_name);
        return 0;
      },
      &names);
  return names;
}

void KeepDependenciesMapped(const std::vector<std::string>& before, const link_map* module) {
  for (const std::string& name : LoadedObjects()) {
    if (module && module->l_name && name == module->l_name) continue;
    if (std::find(before.begin(), before.end(), name) != before.end()) continue;
    dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
  }
}
#endif

}  // namespace

namespace win32 {
namespace {

class Module final : public KernelObject {
 public:
  void* dl = nullptr;
  link_map* map = nullptr;
  std::string path;  // resolved, without links
  int references = 1;
  HMODULE handle = nullptr;
};

// Loading and freeing hold this lock, so two threads loading one file get one handle. It
// is recursive because a library's constructors and destructors may load and free others.
std::recursive_mutex g_mutex;
std::map<std::string, std::shared_ptr<Module>> g_byPath;

thread_local std::string t_lastError;

std::string ProgramDir() {
  std::vector<char> buf(PATH_MAX + 1);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  std::string path(buf.data(), std::size_t(n));
  return path.substr(0, path.rfind('/'));
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Finds the file a name stands for; "" when there is none.
std::string Resolve(std::string name) {
  const std::size_t sep = name.find_last_of("\\/");
  const std::string file = sep == std::string::npos ? name : name.substr(sep + 1);
  if (!file.empty() && file.back() == '.') {
    while (!name.empty() && name.back() == '.') name.pop_back();
  } else if (file.find('.') == std::string::npos) {
    name += ".dll";
  }
  const bool hasFolder = sep != std::string::npos || (name.size() >= 2 && name[1] == ':');
  if (hasFolder) {
    std::string linux;
    DWORD error = 0;
    if (!WindowsToLinuxPath(name, linux, error)) return {};
    return IsRegularFile(linux) ? linux : std::string();
  }
  const std::string programDir = ProgramDir();
  if (programDir.empty()) return {};
  for (const std::string& dir : {programDir, programDir + "/lib"}) {
    std::string found;
    if (FindNameNoCase(dir, name, found) && IsRegularFile(dir + "/" + found))
      return dir + "/" + found;
  }
  return {};
}

DWORD ErrorOfDlopen(const std::string& message) {
  if (message.find("cannot open shared object file") != std::string::npos)
    return ERROR_MOD_NOT_FOUND;
  if (message.find("undefined symbol") != std::string::npos) return ERROR_PROC_NOT_FOUND;
  return ERROR_BAD_FORMAT;
}

}  // namespace

bool ModuleFilePath(HMODULE module, std::string& path) {
  auto m = LookupHandleAs<Module>(module);
  if (!m) return false;
  path = m->path;
  return true;
}

std::string LastLoadLibraryError() {
  return t_lastError;
}

}  // namespace win32

using win32::Module;

HMODULE LoadLibraryA(LPCSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  win32::t_lastError.clear();
  std::string file = win32::Resolve(name);
  if (file.empty()) {
    win32::t_lastError = std::string(name) + ": no such module";
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (char* real = realpath(file.c_str(), nullptr)) {
    file = real;
    std::free(real);
  }

  std::lock_guard lock(win32::g_mutex);
  if (auto it = win32::g_byPath.find(file); it != win32::g_byPath.end()) {
    ++it->second->references;
    SetLastError(ERROR_SUCCESS);
    return it->second->handle;
  }
#if defined(__SANITIZE_ADDRESS__)
  const std::vector<std::string> before = LoadedObjects();
#endif
  dlerror();
  void* dl = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!dl) {
    const char* message = dlerror();
    win32::t_lastError = message ? message : "dlopen failed";
    SetLastError(win32::ErrorOfDlopen(win32::t_lastError));
    return nullptr;
  }
  auto module = std::make_shared<Module>();
  module->dl = dl;
  module->path = file;
  if (dlinfo(dl, RTLD_DI_LINKMAP, &module->map) != 0) module->map = nullptr;
#if defined(__SANITIZE_ADDRESS__)
  KeepDependenciesMapped(before, module->map);
#endif
  HMODULE h = win32::RegisterHandle(module);
  if (!h) {
    dlclose(dl);
    return nullptr;
  }
  module->handle = h;
  win32::g_byPath[file] = module;
  SetLastError(ERROR_SUCCESS);
  return h;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  auto m = win32::LookupHandleAs<Module>(module);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (reinterpret_cast<std::uintptr_t>(name) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(m->dl, name);
  if (!symbol) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  // dlsym also searches the libraries the module uses; GetProcAddress answers only what
  // the module itself exports.
  Dl_info info{};
  link_map* owner = nullptr;
  if (m->map && (!dladdr1(symbol, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) ||
                 owner != m->map)) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
  std::lock_guard lock(win32::g_mutex);
  auto m = win32::LookupHandleAs<Module>(module);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (--m->references > 0) return TRUE;
  win32::UnregisterHandleAs<Module>(module);
  win32::g_byPath.erase(m->path);
  dlclose(m->dl);
  return TRUE;
}
