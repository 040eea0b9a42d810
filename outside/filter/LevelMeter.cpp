#include "filter/LevelMeter.h"

#include <algorithm>
#include <cmath>

namespace filter {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Band edges: the kick's low end, and the top of the middle.
constexpr double kBassHz = 150.0, kTrebleHz = 2500.0;
// Below this an envelope counts as silence: rises out of it are measured from here, so
// dither and the last bits of a fade are no beats.
constexpr double kEnvFloor = 1e-3;
// The rise of each band in dB, less a ripple that a low note's peaks make, weighed by
// band: a beat is a weighed rise of at least kMinRiseDb.
constexpr double kBandWeight[3] = {1.0, 0.5, 0.25};
constexpr double kRippleDb = 1.5;
constexpr double kMinRiseDb = 3.5;
// A softer rise, down to this, is a beat only where the grid expects one.
constexpr double kSoftRiseDb = 1.0;
// The envelope before a rise: its lowest value this many sub-blocks back (9 to 17 ms),
// before the rise of even a soft kick.
constexpr int kBaseFrom = 12, kBaseTo = 6;
// A rise ends when it flattens out or after this many sub-blocks.
constexpr int kMaxRise = 12;
// Two beats closer than this are one (a kick's click and its body); the later stands for
// both when it is this many times stronger (the first was a lead-in: a pick, a grace note),
// and this many times once the first has gone out.
constexpr double kRefractorySeconds = 0.07;
constexpr double kLeadIn = 2.0, kLeadInGone = 4.0;
// The onset function fed to the beat grid trails what rises by this many sub-blocks.
constexpr int kOnsetLag = 8;
// How much of its strength a beat keeps off the grid, and before the grid is known.
constexpr double kOffGrid = 0.1, kNoGrid = 0.7;
// The automatic gain: the strength it scales to the top follows the track's strongest
// recent beats at once and falls with this time constant between them, never below the
// floor (so silence and near-silence are not blown up). A beat of kFull of that strength
// or more reads kBeatLevel, one of kLow or less nothing.
constexpr double kGainSeconds = 6.0;
constexpr double kGainFloor = 0.02;
constexpr double kLow = 0.2, kFull = 0.6;
// A beat counts fully where the onset function repeats at least this well, and keeps at
// least kUnsteady of its level where it does not repeat at all.
constexpr double kPeriodic = 0.2, kUnsteady = 0.3;
// A soft rise counts on a beat of the grid where the onset function repeats at least this
// well: busy music (notes between all the beats) repeats less well than a plain beat, and
// its soft beats are still beats.
constexpr double kSoftPeriodic = 0.15;
// An onset on a beat of the grid is measured against the recent onsets on the beats: one of
// kBeatFull of theirs reads kBeatLevel, one of kBeatLow nothing. Within kOnBeat of closeness
// it counts as on the beat.
constexpr double kBeatLow = 0.1, kBeatFull = 0.2, kOnBeat = 0.25;
// Two beats shown closer than this are one beat given twice: the later is dropped. A beat
// is shown when it reads kShown of kBeatLevel or more.
constexpr double kMinGapSeconds = 0.28, kMinGapPeriods = 0.6, kShown = 0.5;
// After its beat the level falls by this factor per window: one tall point per beat.
constexpr double kFall = 0.5;
// The loudness shown between beats: full-scale sound reads this, -40 dB nothing.
constexpr double kLoudLevel = 1500.0;

}  // namespace

void LevelMeter::LowPass::Design(double hz, uint32_t rate) {
  // Bilinear transform.
  double w = std::tan(kPi * std::min(hz, 0.45 * rate) / rate);
  double q = 1.0 / std::sqrt(2.0);
  double norm = 1.0 / (1.0 + w / q + w * w);
  b0 = w * w * norm;
  b1 = 2.0 * b0;
  b2 = b0;
  a1 = 2.0 * (w * w - 1.0) * norm;
  a2 = (1.0 - w / q + w * w) * norm;
}

void LevelMeter::SetRate(uint32_t rate) {
  if (rate == rate_ || rate == 0) return;
  rate_ = rate;
  sub_ = std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(rate * 0.02322 / kSubBlocks)));
  window_ = sub_ * kSubBlocks;
  bass_.Design(kBassHz, rate);
  treble_.Design(kTrebleHz, rate);
  // The peak envelopes fall with a 50 ms time constant: slow enough that the gaps between
  // a 40 Hz wave's peaks do not read as rises, fast enough to fall between two beats.
  release_ = std::exp(-1.0 / (0.05 * rate));
  Reset();
}

void LevelMeter::Reset() {
  bass_.z1 = bass_.z2 = treble_.z1 = treble_.z2 = 0;
  for (double& p : peak_) p = 0;
  inSub_ = 0;
  sumLeft_ = sumRight_ = sumMono_ = 0;
  subs_ = 0;
  emitted_ = 0;
  for (auto& e : env_) e.fill(0);
  rise_.fill(0);
  for (auto& r : bandRise_) r.fill(0);
  windows_.fill(Window{});
  offsets_.fill(0);
  rising_ = false;
  quietUntil_ = 0;
  lastOnset_ = -1;
  lastStrength_ = 0;
  grid_.Reset();
  gainRef_ = 0;
  beatRef_ = 0;
  lastBeat_ = -1;
  lastShown_ = kNeverShown;
  level_ = 0;
}

void LevelMeter::EndSubBlock() {
  const int64_t j = subs_++;
  const size_t at = static_cast<size_t>(j % kHistory);
  double riseDb = 0, strength = 0;
  for (int b = 0; b < kBands; ++b) {
    const float cur = static_cast<float>(peak_[b]);
    env_[b][at] = cur;
    bandRise_[b][at] = 0;
    float base = Env(b, j - kBaseFrom);
    for (int64_t t = j - kBaseFrom + 1; t <= j - kBaseTo; ++t) base = std::min(base, Env(b, t));
    const double db = 20.0 * std::log10((cur + kEnvFloor) / (base + kEnvFloor)) - kRippleDb;
    if (db <= 0) continue;
    riseDb += kBandWeight[b] * db;
    strength += cur - base;
    bandRise_[b][at] = cur - base;
  }
  rise_[at] = static_cast<float>(strength);
  if (rising_) {
    ++riseLength_;
    riseStrength_ = std::max(riseStrength_, static_cast<float>(strength));
    riseDb_ = std::max(riseDb_, static_cast<float>(riseDb));
    if (riseDb < kSoftRiseDb || riseLength_ >= kMaxRise) EndOnset();
  } else if (riseDb >= kSoftRiseDb) {
    // Within the quiet time of the last beat, a rise may still be the beat's main one, if
    // the last was only a weak lead-in.
    rising_ = true;
    rivals_ = j < quietUntil_;
    riseFrom_ = j - kBaseTo;
    riseLength_ = 0;
    riseStrength_ = static_cast<float>(strength);
    riseDb_ = static_cast<float>(riseDb);
  }
}

void LevelMeter::EndOnset() {
  rising_ = false;
  // The beat starts where the rise first reaches half its height.
  const float mid = 0.5f * riseStrength_;
  const int64_t last = subs_ - 1;
  int64_t t = riseFrom_;
  while (t < last && Rise(t) < mid) ++t;
  int64_t frame = std::max<int64_t>(0, t * sub_ + sub_ / 2);
  // Into the oldest window still held if it starts before it (a rise slower than the
  // windows held back).
  int64_t index = frame / window_;
  if (index < emitted_) {
    index = emitted_;
    frame = index * window_;
  }
  if (rivals_) {
    // The lead-in is no beat of its own if it is still held; if it is gone already, a far
    // stronger rise stands for itself (one step a beat holds back a second step).
    const bool held = lastOnset_ >= emitted_;
    if (riseStrength_ < (held ? kLeadIn : kLeadInGone) * lastStrength_) return;
    Window& lead = W(lastOnset_);
    if (held && lead.onset == lastStrength_) lead.onset = 0, lead.offset = -1;
  }
  Window& w = W(index);
  if (riseStrength_ > w.onset) {
    w.onset = riseStrength_;
    w.offset = static_cast<int32_t>(frame - index * window_);
    w.soft = riseDb_ < kMinRiseDb;
  }
  lastOnset_ = index;
  lastStrength_ = riseStrength_;
  quietUntil_ = t + static_cast<int64_t>(std::lround(kRefractorySeconds * rate_ / sub_));
}

// Whether the onset of window e is the one shown for a beat of the grid: near that beat,
// that beat not shown yet, and no stronger onset near it in the windows held back.
bool LevelMeter::OnBeat(int64_t e, double* beat) const {
  bool known = false;
  if (grid_.Closeness(e, &known) < kOnBeat || !known) return false;
  // Within half a period of each other: the same beat of the grid.
  auto sameBeat = [this](double a, double b) { return std::fabs(a - b) < 0.5 * grid_.Period(); };
  *beat = grid_.NearestBeat(e);
  if (lastBeat_ >= 0 && sameBeat(*beat, lastBeat_)) return false;
  for (int64_t n = e + 1; n <= e + kHeldWindows; ++n) {
    bool k = false;
    if (W(n).onset > W(e).onset && grid_.Closeness(n, &k) >= kOnBeat &&
        sameBeat(grid_.NearestBeat(n), *beat))
      return false;
  }
  return true;
}

double LevelMeter::BeatLevel(int64_t e, float onset) {
  const double perWindow = static_cast<double>(window_) / rate_;
  const double fade = std::exp(-perWindow / kGainSeconds);
  gainRef_ = std::max(gainRef_ * fade, kGainFloor);
  beatRef_ = std::max(beatRef_ * fade, kGainFloor);
  double beat = 0;
  const bool onBeat = onset > 0 && OnBeat(e, &beat);
  // A soft rise counts only on a beat of a grid that is sure of itself: one whose onsets
  // repeat, or whose tempo they confirmed a moment ago.
  if (onset <= 0 ||
      (W(e).soft && !(onBeat && (grid_.Periodicity() >= kSoftPeriodic || grid_.Confirmed()))))
    return 0;
  bool known = false;
  const double closeness = grid_.Closeness(e, &known);
  const double strength = onset * (known ? std::max(kOffGrid, closeness) : kNoGrid);
  double level = kBeatLevel * std::clamp((strength / gainRef_ - kLow) / (kFull - kLow), 0.0, 1.0);
  gainRef_ = std::max(gainRef_, strength);
  if (onBeat) {
    // Measured against the beats alone: a soft kick between loud off-beat hits still shows.
    beatRef_ = std::max(beatRef_, static_cast<double>(onset));
    const double share = (onset / beatRef_ - kBeatLow) / (kBeatFull - kBeatLow);
    const double shown = kBeatLevel * std::clamp(share, 0.0, 1.0);
    if (shown > kShown * kBeatLevel) lastBeat_ = beat;
    level = std::max(level, shown);
  }
  // Sound whose onsets do not repeat (noise, music without a beat) stays low; a busy passage
  // of music whose beat was confirmed a moment ago does not.
  const double periodic =
      grid_.Confirmed() ? std::max(grid_.Periodicity(), kPeriodic) : grid_.Periodicity();
  if (periodic > 0) level *= std::clamp(periodic / kPeriodic, kUnsteady, 1.0);
  // One step a beat: a second beat too soon after one shown is none.
  const double gap = known ? kMinGapPeriods * grid_.Period() : kMinGapSeconds / perWindow;
  if (level >= kShown * kBeatLevel) {
    // A beat held off by the first window after a reset comes through when it rises
    // more than that window did (see below).
    const bool held = static_cast<double>(e - lastShown_) < gap;
    if (held && !(lastShown_ == 0 && e > 0 && onset > resetOnset_)) return 0;
    lastShown_ = e;
  }
  // The first window after a reset rises out of nothing: after a seek or a resume that is
  // the jump into sounding music, which is no beat (and may be the rest of one heard
  // before). It still sets the gains and holds off what rises less, as a kick that starts
  // a track does; after a seek the next kick may come soon, and rises more.
  if (e == 0) {
    resetOnset_ = onset;
    return 0;
  }
  return level;
}

bool LevelMeter::EndWindow(Reading* out) {
  const int64_t k = subs_ / kSubBlocks - 1;  // the window just completed
  Window& done = W(k);
  const double n = static_cast<double>(window_);
  auto vu = [n](double sum) {
    double rms = std::sqrt(sum / n);
    if (rms <= 1e-9) return int16_t{0};
    double db = 20.0 * std::log10(rms * std::sqrt(2.0));
    return static_cast<int16_t>(std::clamp<long>(std::lround(50.0 + db), 0, 50));
  };
  done.vuLeft = vu(sumLeft_);
  done.vuRight = vu(sumRight_);
  done.loudness = static_cast<float>(sumMono_ / n);
  sumLeft_ = sumRight_ = sumMono_ = 0;
  W(k + 1) = Window{};
  // The grid gets the rises of the window before, which are all in by now.
  if (k >= 1) {
    std::array<float, BeatGrid::kBands> onset{};
    for (int64_t t = (k - 1) * kSubBlocks + kOnsetLag; t < k * kSubBlocks + kOnsetLag; ++t)
      for (int b = 0; b < kBands; ++b) onset[b] += BandRise(b, t);
    grid_.Add(k - 1, onset, rate_ / n);
  }
  if (k < kHeldWindows) return false;

  const int64_t e = emitted_++;
  const Window& w = W(e);
  const double beat = BeatLevel(e, w.onset);
  const double db = w.loudness > 1e-12 ? 10.0 * std::log10(w.loudness * 2.0) : -120.0;
  const double loud = kLoudLevel * std::clamp((db + 40.0) / 40.0, 0.0, 1.0);
  level_ = std::max({beat, level_ * kFall, loud});
  out->level = static_cast<int32_t>(std::lround(level_));
  const Window& next = W(e + 1);
  out->vuLeft = next.vuLeft;
  out->vuRight = next.vuRight;
  offsets_[static_cast<size_t>(e % kOffsetRing)] = std::max(w.offset, 0);
  const int32_t shift =
      e >= kRevealLag ? offsets_[static_cast<size_t>((e - kRevealLag) % kOffsetRing)] : 0;
  out->timedFrame = (e + 1) * static_cast<int64_t>(window_) + shift;
  return true;
}

}  // namespace filter
