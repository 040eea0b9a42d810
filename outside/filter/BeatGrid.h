// Where the beats of a track fall: from an onset function (how much the sound rises in each
// window), the period at which it and its whole multiples repeat best (leaning toward
// 120 BPM, doubling the period followed only where twice it repeats far better: a bar's
// strong and weak beats do not halve the tempo; and changing it only for a change that
// lasts) and the phase at which it is strongest since the tempo last changed.
// The level meter scales down the onsets that fall between the grid's beats, so the
// graph lights on the beat and not on every syncopated bass note or off-beat hit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace filter {

class BeatGrid {
 public:
  void Reset();
  static constexpr int kBands = 3;
  // The onset function of window k (windows in order, from 0); `perSecond` windows a second.
  void Add(int64_t k, float onset, double perSecond);
  // The same in bands of the sound, whose sum is the whole onset function.
  void Add(int64_t k, const std::array<float, kBands>& bands, double perSecond);
  // How near window e lies to a beat of the grid: 1 within a window and a half, falling to
  // 0 two windows farther; 1 while the grid is not known yet. `known` says whether it is.
  double Closeness(int64_t e, bool* known) const;
  // The grid's beat nearest window e, in windows (meaningful only while the grid is known).
  double NearestBeat(int64_t e) const;
  double Period() const { return period_; }
  // How well the onset function, or the best of its bands, repeats at the grid's period,
  // 0..1 (0 before it is known).
  double Periodicity() const { return periodic_; }
  // Whether the onset function repeated well at the grid's tempo a moment ago.
  bool Confirmed() const { return confirmed_; }

 private:
  // Windows of onset function kept: 24 s, more than the phase's comb reaches back at the
  // slowest tempo.
  static constexpr int kRing = 1024;
  static constexpr int kMaxLag = 128;  // past three times the longest period
  // Windows not added yet, and those gone from the ring, read as silence.
  float At(const std::array<float, kRing>& ring, int64_t k) const {
    return k < 0 || k > newest_ || newest_ - k >= kRing ? 0.0f
                                                        : ring[static_cast<size_t>(k % kRing)];
  }
  float At(int64_t k) const { return At(onsets_, k); }
  void LayOut(const std::array<float, kRing>& ring, int64_t last, int64_t span, double* x) const;
  void FindPeriod(int64_t last, double perSecond);
  void FindPhase(int64_t last);
  double Comb(int64_t x, const int64_t* back, int64_t from) const;

  std::array<float, kRing> onsets_{};
  std::array<float, kRing> bands_[kBands]{};
  int64_t newest_ = -1;      // the last window added
  double period_ = 0;        // windows between beats (0 unknown)
  double periodic_ = 0;      // how well the onset function repeats at that period, 0..1
  bool confirmed_ = false;   // the period has repeated well lately, since it was taken
  int64_t confirmedAt_ = 0;  // when it last repeated that well
  int64_t changed_ = 0;      // the window at which the period last changed much
  int challenger_ = 0;       // a lag far from the period that repeats best (0 none)
  int64_t challenged_ = 0;   // for how many windows it has
  double phase_ = -1;        // a window on the grid (-1 unknown)
  int64_t known_ = -1;       // the window at which the grid was first known (-1 not yet)
  double strongest_ = 0;     // the onset function's recent peak, falling slowly
};

}  // namespace filter
