#include "classlib/System.h"

#include <cxxabi.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <typeinfo>

String TObject::ClassName() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  String name = (status == 0 && demangled) ? demangled : mangled;
  std::free(demangled);
  auto colon = name.rfind("::");
  if (colon != String::npos) name = name.substr(colon + 2);
  return name;
}

// The default floating-point environment rounds to nearest with ties to even, which is the
// rule the system's conversions follow.
Int64 Round(Extended X) {
  return static_cast<Int64>(std::nearbyintl(X));
}
Int64 Trunc(Extended X) {
  return static_cast<Int64>(std::truncl(X));
}
Extended Frac(Extended X) {
  return X - std::truncl(X);
}
Extended Int(Extended X) {
  return std::truncl(X);
}

// A linear congruential generator with the classic constants: a known seed gives a known
// sequence, which is all the system and its tests ask of it.
Cardinal RandSeed = 0;

void Randomize() {
  std::timespec ts{};
  std::timespec_get(&ts, TIME_UTC);
  std::tm local{};
  std::time_t secs = ts.tv_sec;
  localtime_r(&secs, &local);
  RandSeed = static_cast<Cardinal>(
      ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + ts.tv_nsec / 1000000);
}

static Cardinal NextRandom() {
  RandSeed = RandSeed * 134775813u + 1u;
  return RandSeed;
}

Integer Random(Integer Range) {
  Cardinal r = NextRandom();
  if (Range <= 0) return 0;
  return static_cast<Integer>((static_cast<std::uint64_t>(r) * static_cast<std::uint64_t>(Range)) >>
                              32);
}

Extended Random() {
  return static_cast<Extended>(NextRandom()) / 4294967296.0L;
}
