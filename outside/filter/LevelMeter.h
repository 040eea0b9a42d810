// What the player's window shows of a deck's sound: a level for the scrolling level graph
// and beat detection, and a left/right pair for the VU meters, one of each per window of
// about 23 ms.
//
// The level is an onset envelope: each window reads the strength of the beat that starts
// in it, and the level falls by half each window after it, so one beat makes one tall,
// isolated point, which is what the graph's beat test looks for. A beat is a rise of the
// sound's peak envelope over the last 9 to 17 ms, in three bands (the kick's low end below
// 150 Hz, the middle up to 2.5 kHz, the top); a rise of a few decibels only (noise, a
// swelling pad, a bass note's ripple) is none. Its strength is how much the envelopes
// rose, scaled down the farther it lies from the track's beat grid (BeatGrid), then
// measured against an automatic gain that follows the track's own recent beats: a beat of
// quiet or bass-light music stands as tall as a loud kick, while syncopated notes and
// off-beat hits stay low, and so does all of a sound whose onsets do not repeat (noise,
// music without a beat). An onset on a beat of the grid is measured against the onsets
// on the grid's recent beats instead, so a soft kick between loud off-beat hits shows, and
// there a rise of only a decibel or two counts (a kick under a held bass note). Each beat
// of the grid shows one onset (the strongest near it among those held back), and no two
// shown beats come closer than a good part of a beat: one beat is never given twice.
// Beneath the beats the level shows the track's loudness at a low height, so loud
// passages still look loud.
//
// The graph tests a point 37 windows after it arrives, and a beat's own window is the one
// whose point crosses the graph's beat line. Each reading therefore carries the frame by
// which it is to be timed: the start of the window after its own, shifted by where, within
// the window 37 readings earlier, that window's beat starts. The lamp then lights when the
// beat is heard, not at the start of its window. The shift lies within one window, so the
// readings keep their order and their rate.
//
// The VU values are the RMS of each channel in dB relative to a full-scale sine, plus 50,
// kept within 0..50 (one step per dB); each reading carries those of the window after its
// own, which is the one heard when the player shows them.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "filter/BeatGrid.h"

namespace filter {

struct Reading {
  int32_t level = 0;
  int16_t vuLeft = 0;
  int16_t vuRight = 0;
  // The reading is due kReportLead windows (as heard) before this frame of the stream,
  // counted from the last reset, is heard.
  int64_t timedFrame = 0;
};

class LevelMeter {
 public:
  static constexpr int kSubBlocks = 16;  // per window: the resolution of a beat's start
  // The windows held back until every beat that starts in them is known.
  static constexpr int kHeldWindows = 2;
  // The graph's test point trails its newest point by this many readings.
  static constexpr int kRevealLag = 37;
  // A beat as tall as the track's recent beats reads this: the top of the graph's box with
  // room to spare, so the graph's own scaling cannot push one beat under the next.
  static constexpr int32_t kBeatLevel = 13000;

  void SetRate(uint32_t rate);
  uint32_t Rate() const { return rate_; }
  uint32_t WindowFrames() const { return window_; }
  void Reset();
  // Measures interleaved stereo frames; calls `emit` with each completed reading, in order.
  template <typename Emit>
  void Process(const float* frames, uint32_t count, Emit&& emit);
  // The stream has ended: emits the readings held back and `trailing` readings of silence
  // after them, timed as if silence followed, so the graph's test point passes the end.
  template <typename Emit>
  void Finish(uint32_t trailing, Emit&& emit);

 private:
  static constexpr int kBands = BeatGrid::kBands;
  static constexpr int kHistory = 64;  // sub-blocks of envelope kept
  static constexpr int kWindowRing = 8;
  static constexpr int kOffsetRing = 64;
  struct Window {
    float onset = 0;      // strength of the beat starting in it (0 none)
    int32_t offset = -1;  // its start, frames into the window
    bool soft = false;    // a soft rise: a beat only on the grid's beat
    int16_t vuLeft = 0, vuRight = 0;
    float loudness = 0;  // mean square of the mono mix
  };
  struct LowPass {  // Butterworth biquad, 12 dB per octave
    double b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double z1 = 0, z2 = 0;
    void Design(double hz, uint32_t rate);
    double Run(double x) {
      double y = b0 * x + z1;
      z1 = b1 * x - a1 * y + z2;
      z2 = b2 * x - a2 * y;
      return y;
    }
  };

  void EndSubBlock();
  void EndOnset();
  bool EndWindow(Reading* out);
  double BeatLevel(int64_t e, float onset);
  bool OnBeat(int64_t e, double* beat) const;
  Window& W(int64_t index) { return windows_[static_cast<size_t>(index % kWindowRing)]; }
  const Window& W(int64_t index) const {
    return windows_[static_cast<size_t>(index % kWindowRing)];
  }
  // Before the first sub-block the stream was silent.
  float Env(int b, int64_t sub) const {
    return sub < 0 ? 0.0f : env_[b][static_cast<size_t>(sub % kHistory)];
  }
  float Rise(int64_t sub) const {
    return sub < 0 ? 0.0f : rise_[static_cast<size_t>(sub % kHistory)];
  }
  float BandRise(int b, int64_t sub) const {
    return sub < 0 ? 0.0f : bandRise_[b][static_cast<size_t>(sub % kHistory)];
  }

  uint32_t rate_ = 0;
  uint32_t window_ = 1024;
  uint32_t sub_ = 64;  // frames per sub-block
  LowPass bass_, treble_;
  double release_ = 0;  // per frame, of the peak envelopes
  double peak_[kBands] = {};

  // Sums of the sub-block and window in progress.
  uint32_t inSub_ = 0;
  double sumLeft_ = 0, sumRight_ = 0, sumMono_ = 0;
  int64_t subs_ = 0;     // sub-blocks completed since the reset
  int64_t emitted_ = 0;  // readings emitted

  std::array<float, kHistory> env_[kBands]{};
  std::array<float, kHistory> rise_{};              // how much the envelopes rose, per sub-block
  std::array<float, kHistory> bandRise_[kBands]{};  // the same, band by band
  std::array<Window, kWindowRing> windows_{};
  std::array<int32_t, kOffsetRing> offsets_{};

  // The rise being measured.
  bool rising_ = false;
  int64_t riseFrom_ = 0;  // first sub-block it may have started in
  int riseLength_ = 0;
  float riseStrength_ = 0;
  float riseDb_ = 0;        // its steepest weighed rise in dB
  int64_t quietUntil_ = 0;  // no new beat before this sub-block
  bool rivals_ = false;     // the rise began before then
  int64_t lastOnset_ = -1;  // the window of the last beat, and its strength
  float lastStrength_ = 0;

  BeatGrid grid_;
  double gainRef_ = 0;      // the recent beats' strength
  double beatRef_ = 0;      // the recent strength of onsets on the grid's beats
  double lastBeat_ = -1;    // the grid's beat that last had its onset shown
  // The window of the last beat shown; long ago while none was.
  static constexpr int64_t kNeverShown = INT64_MIN / 4;
  int64_t lastShown_ = kNeverShown;
  float resetOnset_ = 0;  // the rise of the first window after the last reset
  double level_ = 0;        // the envelope as last emitted
};

template <typename Emit>
void LevelMeter::Process(const float* frames, uint32_t count, Emit&& emit) {
  for (uint32_t i = 0; i < count;) {
    // Up to the end of the sub-block, on copies of the state that stay in registers.
    const uint32_t run = std::min(count - i, sub_ - inSub_);
    LowPass bass = bass_, treble = treble_;
    double peak[kBands] = {peak_[0], peak_[1], peak_[2]};
    double sumLeft = sumLeft_, sumRight = sumRight_, sumMono = sumMono_;
    const double release = release_;
    for (const uint32_t end = i + run; i < end; ++i) {
      double l = frames[i * 2], r = frames[i * 2 + 1];
      double x = 0.5 * (l + r);
      double low = bass.Run(x), below = treble.Run(x);
      const double band[kBands] = {std::fabs(low), std::fabs(below - low), std::fabs(x - below)};
      for (int b = 0; b < kBands; ++b) peak[b] = band[b] > peak[b] ? band[b] : peak[b] * release;
      sumLeft += l * l;
      sumRight += r * r;
      sumMono += x * x;
    }
    bass_ = bass;
    treble_ = treble;
    for (int b = 0; b < kBands; ++b) peak_[b] = peak[b];
    sumLeft_ = sumLeft, sumRight_ = sumRight, sumMono_ = sumMono;
    inSub_ += run;
    if (inSub_ == sub_) {
      inSub_ = 0;
      EndSubBlock();
      if (subs_ % kSubBlocks == 0) {
        Reading reading;
        if (EndWindow(&reading)) emit(reading);
      }
    }
  }
}

template <typename Emit>
void LevelMeter::Finish(uint32_t trailing, Emit&& emit) {
  // Silence through the whole pipeline: the partial window, the windows held back, then
  // the trailing ones. A chunk of one sub-block completes at most one window.
  static const float kSilence[2 * 256] = {};
  if (rate_ == 0) return;  // nothing was measured
  const uint32_t chunk = sub_ < 256 ? sub_ : 256;
  const int64_t partial = inSub_ || subs_ % kSubBlocks ? 1 : 0;
  const int64_t until = emitted_ + kHeldWindows + partial + trailing;
  while (emitted_ < until) Process(kSilence, chunk, emit);
}

}  // namespace filter
