// libFuzzer target for the profile (INI) reader and writer: any bytes as a settings file
// are read without a crash, and a write afterwards lands and reads back.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "win32/Profile.h"

namespace {

std::string TempIni() {
  static std::string path = [] {
    char dir[] = "/tmp/kaz-ini-fuzz-XXXXXX";
    if (!mkdtemp(dir)) std::abort();
    setenv("KAZ_PREFIX", dir, 1);
    return std::string(dir) + "/fuzz.ini";
  }();
  return path;
}

// The names of a double-NUL-terminated list.
std::vector<std::string> Names(const char* list) {
  std::vector<std::string> out;
  for (const char* p = list; *p; p += std::strlen(p) + 1) out.emplace_back(p);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = TempIni();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  static char buf[1 << 16];
  GetPrivateProfileStringA(nullptr, nullptr, "", buf, sizeof buf, path.c_str());
  auto sections = Names(buf);
  for (std::size_t i = 0; i < sections.size() && i < 8; ++i) {
    GetPrivateProfileStringA(sections[i].c_str(), nullptr, "", buf, sizeof buf, path.c_str());
    auto keys = Names(buf);
    for (std::size_t k = 0; k < keys.size() && k < 8; ++k) {
      GetPrivateProfileStringA(sections[i].c_str(), keys[k].c_str(), "", buf, sizeof buf,
                               path.c_str());
      GetPrivateProfileIntA(sections[i].c_str(), keys[k].c_str(), 7, path.c_str());
    }
  }
  // A small buffer exercises truncation.
  char small[3];
  if (!sections.empty()) {
    GetPrivateProfileStringA(sections[0].c_str(), nullptr, "", small, sizeof small, path.c_str());
  }

  if (!WritePrivateProfileStringA("KazFuzz", "Key", "Value", path.c_str())) return 0;
  GetPrivateProfileStringA("KazFuzz", "Key", "", buf, sizeof buf, path.c_str());
  if (std::strcmp(buf, "Value") != 0) std::abort();
  WritePrivateProfileStringA("KazFuzz", nullptr, nullptr, path.c_str());
  return 0;
}
