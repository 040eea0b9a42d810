// Writes to a port through "DLPortIO.dll" as another program would:
//   dlportio_peer <port> <count> [value]
// writes `count` bytes, one call each, `value` or else 0, 1, 2, ... (mod 256).
#include <cstdio>
#include <cstdlib>

#include "dlportio/dlportio.h"
#include "win32/Modules.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const ULONG port = ULONG(std::strtoul(argv[1], nullptr, 0));
  const long count = std::strtol(argv[2], nullptr, 0);
  HMODULE lib = LoadLibraryA("DLPortIO.dll");
  if (!lib) return 3;
  auto write = reinterpret_cast<decltype(&DlPortWritePortUchar)>(
      GetProcAddress(lib, "DlPortWritePortUchar"));
  if (!write) return 4;
  for (long i = 0; i < count; ++i)
    write(port, BYTE(argc > 3 ? std::strtol(argv[3], nullptr, 0) : i));
  return 0;
}
