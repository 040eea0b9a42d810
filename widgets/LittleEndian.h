#pragma once

#include <cstddef>
#include <cstdint>

// The picture files these widgets read and write keep their numbers little-endian.

inline std::uint32_t GetLittleEndian(const void* At, int Bytes) {
  const auto* p = static_cast<const unsigned char*>(At);
  std::uint32_t v = 0;
  for (int i = Bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

// Out grows when the number reaches past its end, so a file can also be built by appending.
template <class Container>
void PutLittleEndian(Container& Out, std::size_t At, std::uint32_t V, int Bytes) {
  if (Out.size() < At + std::size_t(Bytes)) Out.resize(At + std::size_t(Bytes));
  for (int i = 0; i < Bytes; ++i)
    Out[At + std::size_t(i)] = typename Container::value_type((V >> (8 * i)) & 0xFF);
}
