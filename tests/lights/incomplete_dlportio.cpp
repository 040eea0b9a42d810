// A port library with eleven of the twelve entry points: DlPortWritePortBufferUlong is
// missing, so binding it must fail as a whole.
#include <cstdint>

extern "C" {
std::uint8_t DlPortReadPortUchar(std::uint32_t) {
  return 0;
}
std::uint16_t DlPortReadPortUshort(std::uint32_t) {
  return 0;
}
std::uint32_t DlPortReadPortUlong(std::uint32_t) {
  return 0;
}
void DlPortWritePortUchar(std::uint32_t, std::uint8_t) {}
void DlPortWritePortUshort(std::uint32_t, std::uint16_t) {}
void DlPortWritePortUlong(std::uint32_t, std::uint32_t) {}
void DlPortReadPortBufferUchar(std::uint32_t, std::uint8_t*, std::uint32_t) {}
void DlPortReadPortBufferUshort(std::uint32_t, std::uint16_t*, std::uint32_t) {}
void DlPortReadPortBufferUlong(std::uint32_t, std::uint32_t*, std::uint32_t) {}
void DlPortWritePortBufferUchar(std::uint32_t, const std::uint8_t*, std::uint32_t) {}
void DlPortWritePortBufferUshort(std::uint32_t, const std::uint16_t*, std::uint32_t) {}
}
