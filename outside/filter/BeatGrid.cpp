#include "filter/BeatGrid.h"

#include <algorithm>
#include <cmath>

namespace filter {

namespace {

// Tempos from 67 to 200 BPM, leaning toward 120 BPM (this many octaves either side weigh
// e^-1/2) when two periods repeat about as well: dance music sits there.
constexpr double kShortest = 0.3, kLongest = 0.9, kLeanSeconds = 0.5, kLeanOctaves = 0.8;
// The span over which the period is measured, in windows (9 s).
constexpr int64_t kSpan = 384;
// A bar's strong and weak beats make the onset function repeat at two beats about as well
// as at one, and better while the weak beats fade for a passage: the period followed is
// doubled only where twice it repeats more than 1 + kHold times as well (falling off by
// e^-1/2 this many octaves from twice it), so the tempo is not halved and doubled back.
constexpr double kHold = 1.0, kHoldOctaves = 0.06;
// A lag is weighed by how well the onset function repeats at it and at its whole multiples
// up to this many, each multiple weighing this much.
constexpr int kHarmonics = 3;
constexpr double kHarmonicWeight[kHarmonics - 1] = {0.5, 1.0 / 3};
// Below this the onset function does not repeat: no grid.
constexpr double kMinPeriodic = 0.1;
// A tempo at which the onset function has repeated this well within the last
// kConfirmedSeconds is confirmed: a busy passage whose onsets hardly repeat at any period
// (notes between all the beats) neither moves it nor hides its beats.
constexpr double kConfirmed = 0.2, kConfirmedSeconds = 10.0;
// The phase weighs the last 16 periods, each older one a little less.
constexpr int kCombPeriods = 16;
constexpr int64_t kPeriodEvery = 4;
constexpr double kCombFade = 0.93;
// A new phase must beat the old one by this factor, and its recent beats must reach this
// share of the track's strongest: a passage of syncopation or a breakdown's bass line
// between missing kicks does not pull the grid off the beat.
constexpr double kKeep = 1.3, kFlip = 0.6;
constexpr double kStrongestSeconds = 20.0;
// A period this far from the one followed is a change of tempo, taken only once it has
// repeated best for kLasting seconds; the phase is then looked for in the beats since, or
// the last kSinceChange beats where fewer.
constexpr double kChange = 0.08;
constexpr double kLasting = 0.3;
constexpr int64_t kSinceChange = 4;
// Within this many windows of a beat counts as on it.
constexpr double kTolerance = 1.5;
// The beat is read this much of a window after the window the comb finds: notes that lead
// a beat by a few windows (a pick-up, a flam) are common, notes just after it rare, and
// the meter shows the first onset near a beat, so the grid errs late rather than early.
constexpr double kLate = 0.75;

}  // namespace

void BeatGrid::Reset() {
  newest_ = -1;
  period_ = 0;
  periodic_ = 0;
  changed_ = 0;
  confirmed_ = false;
  confirmedAt_ = 0;
  challenger_ = 0;
  challenged_ = 0;
  phase_ = -1;
  known_ = -1;
  strongest_ = 0;
}

void BeatGrid::Add(int64_t k, float onset, double perSecond) {
  std::array<float, kBands> bands{};
  bands[0] = onset;
  Add(k, bands, perSecond);
}

void BeatGrid::Add(int64_t k, const std::array<float, kBands>& bands, double perSecond) {
  float onset = 0;
  for (int b = 0; b < kBands; ++b) onset += bands_[b][static_cast<size_t>(k % kRing)] = bands[b];
  onsets_[static_cast<size_t>(k % kRing)] = onset;
  newest_ = k;
  strongest_ = std::max(static_cast<double>(onset),
                        strongest_ * std::exp(-1.0 / (kStrongestSeconds * perSecond)));
  // The tempo of the last span hardly moves from one window to the next: it is looked for
  // anew every few windows (the hot part of the filter), the phase every window.
  if (k % kPeriodEvery == 0) FindPeriod(k, perSecond);
  FindPhase(k);
}

double BeatGrid::Closeness(int64_t e, bool* known) const {
  *known = period_ > 0 && phase_ >= 0 && (periodic_ >= kMinPeriodic || confirmed_);
  if (!*known) return 1.0;
  const double d = std::fabs(NearestBeat(e) - static_cast<double>(e));
  return std::clamp(1.0 - 0.5 * std::max(0.0, d - kTolerance), 0.0, 1.0);
}

double BeatGrid::NearestBeat(int64_t e) const {
  const double beat = phase_ + kLate;
  return beat + std::round((static_cast<double>(e) - beat) / period_) * period_;
}

namespace {

// Where between whole windows the peak of the autocorrelation `raw` next to `lag` lies: the
// vertex of a parabola through it and its neighbours.
double Vertex(const double* raw, int lag) {
  int m = lag;
  if (raw[lag - 1] > raw[m]) m = lag - 1;
  if (raw[lag + 1] > raw[m]) m = lag + 1;
  const double a = raw[m - 1], b = raw[m], c = raw[m + 1];
  const double bend = a - 2 * b + c;
  return m + (bend < 0 ? std::clamp(0.5 * (a - c) / bend, -0.5, 0.5) : 0.0);
}

// The period about the lag picked, to a small part of a window: a period a tenth of a
// window short puts the phase's comb a window early after ten beats. The autocorrelation's
// own peaks say where it lies, not the lean toward 120 BPM (which would pull it there);
// the peaks at its whole multiples say it as many times as finely, and weigh as much.
double Refine(const double* raw, int best, int top) {
  double sum = Vertex(raw, best), weight = 1;
  const double period = sum;
  for (int k = 2; k <= kHarmonics; ++k) {
    const int at = static_cast<int>(std::lround(k * period));
    if (at + 2 > top + 1 || raw[at] <= 0) continue;
    sum += Vertex(raw, at);
    weight += k;
  }
  return sum / weight;
}

// The correlation of x with itself `lag` windows later.
double Correlate(const double* x, int64_t span, int lag) {
  // Four sums side by side, so that the additions do not wait on each other.
  double sum[4] = {0, 0, 0, 0};
  int64_t i = lag;
  for (; i + 4 <= span; i += 4)
    for (int k = 0; k < 4; ++k) sum[k] += x[i + k] * x[i + k - lag];
  for (; i < span; ++i) sum[0] += x[i] * x[i - lag];
  return (sum[0] + sum[1]) + (sum[2] + sum[3]);
}

}  // namespace

// The last span of `ring` up to `last`, less its mean, laid out in one piece in x.
void BeatGrid::LayOut(const std::array<float, kRing>& ring, int64_t last, int64_t span,
                      double* x) const {
  double mean = 0;
  for (int64_t i = 0; i < span; ++i) mean += x[i] = At(ring, last - span + 1 + i);
  mean /= static_cast<double>(span);
  for (int64_t i = 0; i < span; ++i) x[i] -= mean;
}

// The lag at which the onset function of the last span repeats best (its autocorrelation
// at the lag and its multiples, weighed toward 120 BPM), then the period about it between
// whole windows (Refine).
void BeatGrid::FindPeriod(int64_t last, double perSecond) {
  const int64_t span = std::min<int64_t>(last + 1, kSpan);
  const int lo = static_cast<int>(kShortest * perSecond);
  const int hi = static_cast<int>(kLongest * perSecond);
  if (lo < 2 || kHarmonics * (hi + 1) + 3 > kMaxLag || span < 3 * hi) return;
  // The correlations below are the hot part of the filter, run for every window.
  double x[kSpan];
  LayOut(onsets_, last, span, x);
  const double zero = Correlate(x, span, 0);
  if (zero <= 0) return;
  // Whole multiples of a lag are a window or so off the onset function's own repeat: the
  // best of the three lags about each.
  const int top = kHarmonics * (hi + 1) + 1;
  double raw[kMaxLag] = {};
  for (int lag = lo - 2; lag <= top + 1; ++lag) raw[lag] = Correlate(x, span, lag);
  // A period between whole windows shares its repeat between the two lags about it (94 BPM
  // is 27.5 windows): a lag is weighed with the better of its neighbours, so such a tempo
  // is not outweighed by one that falls on a whole window.
  double rep[kMaxLag] = {};
  for (int lag = lo - 1; lag <= top; ++lag)
    rep[lag] = raw[lag] + std::max(raw[lag - 1], raw[lag + 1]);
  auto near = [&](int lag) { return std::max({rep[lag - 1], rep[lag], rep[lag + 1]}); };
  int best = lo, held = -1;
  double bestPick = -1, heldPick = -1;
  for (int lag = lo - 1; lag <= hi + 1; ++lag) {
    const double octaves = std::log2(lag / (kLeanSeconds * perSecond)) / kLeanOctaves;
    const double lean = std::exp(-0.5 * octaves * octaves);
    // The beat's period repeats at its whole multiples too; a half or a third of it (the
    // notes between the beats) at only some of them.
    double pick = rep[lag];
    for (int k = 2; k <= kHarmonics; ++k) pick += kHarmonicWeight[k - 2] * near(k * lag);
    pick *= lean;
    // The hold on the period followed picks the lag only: where between whole windows the
    // period lies is left to the onset function.
    if (period_ > 0) {
      const double twice = std::log2(lag / (2 * period_)) / kHoldOctaves;
      pick /= 1 + kHold * std::exp(-0.5 * twice * twice);
    }
    if (lag < lo || lag > hi) continue;
    if (pick > bestPick) bestPick = pick, best = lag;
    if (period_ > 0 && std::fabs(lag / period_ - 1) <= kChange && pick > heldPick)
      heldPick = pick, held = lag;
  }
  // A change of tempo must last: a blip of another period (a fill, a few notes between
  // the beats) leaves the period followed as it was, and its phase with it. A confirmed
  // tempo is left only for a period at which the onsets do repeat.
  if (held >= 0 && best != held) {
    if (challenger_ > 0 && std::fabs(best / static_cast<double>(challenger_) - 1.0) <= kChange)
      challenged_ += kPeriodEvery;
    else
      challenger_ = best, challenged_ = kPeriodEvery;
    if (static_cast<double>(challenged_) <= kLasting * perSecond ||
        (confirmed_ && raw[best] < kMinPeriodic * zero))
      best = held;
  } else {
    challenger_ = 0;
  }
  // A band may repeat at the beat far better than the whole: a quiet beat's clicks under
  // louder notes that fall between the beats.
  periodic_ = std::max(0.0, raw[best] / zero);
  for (const auto& band : bands_) {
    double y[kSpan];
    LayOut(band, last, span, y);
    const double energy = Correlate(y, span, 0);
    if (energy > 1e-9 * zero) periodic_ = std::max(periodic_, Correlate(y, span, best) / energy);
  }
  const double period = Refine(raw, best, top);
  if (period_ > 0 && std::fabs(period / period_ - 1) > kChange) changed_ = last, confirmed_ = false;
  if (periodic_ >= kConfirmed) confirmed_ = true, confirmedAt_ = last;
  if (static_cast<double>(last - confirmedAt_) > kConfirmedSeconds * perSecond) confirmed_ = false;
  period_ = period;
}

// The onset function at window x and at whole periods before it (`back`: the periods in
// windows, rounded).
double BeatGrid::Comb(int64_t x, const int64_t* back, int64_t from) const {
  double sum = 0, weight = 1;
  for (int k = 0; k < kCombPeriods; ++k, weight *= kCombFade) {
    const int64_t at = x - back[k];
    if (at < from) break;
    sum += weight * std::max(At(at), 0.5f * std::max(At(at - 1), At(at + 1)));
  }
  return sum;
}

void BeatGrid::FindPhase(int64_t last) {
  if (period_ <= 0) return;
  if (known_ < 0) known_ = last;
  const int p = static_cast<int>(std::lround(period_));
  int64_t back[kCombPeriods];
  for (int k = 0; k < kCombPeriods; ++k) back[k] = std::lround(k * period_);
  // Beats at another tempo say nothing of this one's phase: the comb reaches back to the
  // last change of tempo, or at least a few beats.
  const int64_t from = std::max<int64_t>(1, std::min(changed_, last - kSinceChange * p));
  auto Comb = [&](int64_t x) { return this->Comb(x, back, from); };
  double best = -1;
  int64_t phase = last;
  for (int64_t x = last - p + 1; x <= last; ++x) {
    const double sum = Comb(x);
    if (sum > best) best = sum, phase = x;
  }
  if (phase_ >= 0) {
    // The old phase, carried forward to the same span and set right by up to two windows
    // (the period is only known to a fraction of a window).
    const int64_t ahead =
        std::lround(phase_ + std::floor((static_cast<double>(last) - phase_) / period_) * period_);
    int64_t old = ahead;
    for (int64_t x = ahead - 2; x <= ahead + 2; ++x)
      if (x <= last && Comb(x) > Comb(old)) old = x;
    double recent = 0;
    for (int k = 0; k < 4; ++k) {
      const int64_t at = phase - std::lround(k * period_);
      if (at >= 1) recent += std::max({At(at - 1), At(at), At(at + 1)}) / 4;
    }
    // A phase found on few beats is no surer than its rivals: the hold grows with the
    // beats the comb has seen since the grid was first known or its tempo last changed.
    const double seen = static_cast<double>(last - std::max(known_, changed_)) / period_;
    const double keep = 1 + (kKeep - 1) * std::clamp(seen / kCombPeriods, 0.0, 1.0);
    if (Comb(old) * keep >= best || recent < kFlip * strongest_) phase = old;
  }
  phase_ = static_cast<double>(phase);
}

}  // namespace filter
