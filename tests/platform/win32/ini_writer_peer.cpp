// A second program for the profile tests: writes keys "<prefix>0", "<prefix>1", ... with
// values "v0", "v1", ... into one section of an INI file, in order, one write each.
//
//   ini_writer_peer <file> <section> <keyPrefix> <count> [<goFile>]
//
// count -1 writes until the process is killed. With goFile, waits until that file exists
// before the first write, so that two peers can be started and then let go together.
// Exit status: 0 done, 1 a write failed, 2 bad arguments, 3 the go file never came.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "win32/Profile.h"
#include "win32/Sync.h"

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: %s file section keyPrefix count [goFile]\n", argv[0]);
    return 2;
  }
  const std::string file = argv[1], section = argv[2], prefix = argv[3];
  const long count = std::strtol(argv[4], nullptr, 10);
  if (argc == 6) {
    struct stat st {};
    DWORD start = GetTickCount();
    while (stat(argv[5], &st) != 0) {
      if (GetTickCount() - start > 20000) return 3;
      Sleep(1);
    }
  }
  for (long i = 0; count < 0 || i < count; ++i) {
    const std::string key = prefix + std::to_string(i);
    const std::string value = "v" + std::to_string(i);
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str())) {
      std::fprintf(stderr, "ini_writer_peer: writing %s failed, error %u\n", key.c_str(),
                   unsigned(GetLastError()));
      return 1;
    }
  }
  return 0;
}
