// What the player's window shows of a deck's sound: a level for the scrolling level graph
// and beat detection, and a left/right pair for the VU meters, one of each per window of
// about 23 ms.
//
// The level is the energy of the low end (below about 150 Hz) of the mono mix, so the kick
// drum of a dance track stands clearly above hats, voices and pads. A full-scale bass tone
// reads 65536, four times the graph's reference of 16384, and a full-scale kick (its
// energy spread over a falling sweep) about 27000, so a kick reaches the top of the graph
// while the bass line between kicks stays low, and the running average of a loud track
// stays low enough for the graph's beat threshold. Energy (not amplitude) makes the kick's
// contrast with the rest twice as large in decibels.
// The VU values are the RMS of each channel in dB relative to a full-scale sine, plus 50,
// kept within 0..50 (one step per dB).
#pragma once

#include <cstdint>

namespace filter {

struct Reading {
  int32_t level = 0;
  int16_t vuLeft = 0;
  int16_t vuRight = 0;
  uint32_t endFrame = 0;  // offset, within the block given to Process, just past the window
};

class LevelMeter {
 public:
  static constexpr double kLevelScale = 131072.0;  // level of a mean square of 1

  void SetRate(uint32_t rate);
  uint32_t Rate() const { return rate_; }
  uint32_t WindowFrames() const { return window_; }
  void Reset();
  // Measures interleaved stereo frames; calls `emit` with each completed window, in order.
  template <typename Emit>
  void Process(const float* frames, uint32_t count, Emit&& emit);

 private:
  void Finish(Reading* r) const;

  uint32_t rate_ = 0;
  uint32_t window_ = 1024;
  // Low-pass biquad: 12 dB per octave leaves hats 60 dB down, enough.
  double b0_ = 0, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
  double z1_ = 0, z2_ = 0;
  uint32_t filled_ = 0;
  double sumLow_ = 0, sumLeft_ = 0, sumRight_ = 0;
};

template <typename Emit>
void LevelMeter::Process(const float* frames, uint32_t count, Emit&& emit) {
  for (uint32_t i = 0; i < count; ++i) {
    double l = frames[i * 2], r = frames[i * 2 + 1];
    double x = 0.5 * (l + r);
    double y = b0_ * x + z1_;
    z1_ = b1_ * x - a1_ * y + z2_;
    z2_ = b2_ * x - a2_ * y;
    x = y;
    sumLow_ += x * x;
    sumLeft_ += l * l;
    sumRight_ += r * r;
    if (++filled_ == window_) {
      Reading reading;
      reading.endFrame = i + 1;
      Finish(&reading);
      emit(reading);
      filled_ = 0;
      sumLow_ = sumLeft_ = sumRight_ = 0;
    }
  }
}

}  // namespace filter
