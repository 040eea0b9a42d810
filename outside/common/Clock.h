// The one clock of the outside libraries: CLOCK_MONOTONIC in nanoseconds, the time base of
// the engine's timing, the audio sinks' captures and the port trace alike.
#pragma once

#include <time.h>

#include <cstdint>

namespace kazout {

inline int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// Sleeps until MonotonicNs() reaches `ns` (at once if it has).
inline void SleepUntilNs(int64_t ns) {
  timespec ts{static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
}

}  // namespace kazout
