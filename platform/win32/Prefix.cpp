#include "win32/Prefix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace win32 {
namespace {

std::mutex g_mutex;
bool g_resolved = false;
std::string g_prefix;

std::string DefaultPrefix() {
  if (const char* p = std::getenv("KAZ_PREFIX"); p && *p) return p;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) return std::string(x) + "/kazpro";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.local/share/kazpro";
}

// mkdir -p; answers the errno of the first failure, 0 on success.
int MakeDirs(const std::string& path) {
  std::string partial;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    partial = path.substr(0, pos);
    if (partial.empty()) continue;
    if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return errno;
  }
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  return 0;
}

}  // namespace

const std::string& PrefixDir() {
  std::lock_guard lock(g_mutex);
  if (!g_resolved) {
    g_resolved = true;
    std::string path = DefaultPrefix();
    int err = MakeDirs(path);
    if (err == 0 && access(path.c_str(), W_OK | X_OK) != 0) err = errno;
    if (err != 0) {
      std::fprintf(stderr, "kazpro: cannot use the prefix folder %s: %s\n", path.c_str(),
                   std::strerror(err));
      g_prefix.clear();
    } else {
      g_prefix = path;
    }
  }
  return g_prefix;
}

std::string PrefixSubdir(const std::string& relative) {
  const std::string& prefix = PrefixDir();
  if (prefix.empty()) return {};
  std::string path = prefix + "/" + relative;
  if (MakeDirs(path) != 0) return {};
  return path;
}

void ResetPrefixForTesting() {
  std::lock_guard lock(g_mutex);
  g_resolved = false;
  g_prefix.clear();
}

}  // namespace win32
