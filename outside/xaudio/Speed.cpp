#include "xaudio/Speed.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace xaudio {

namespace {
constexpr size_t kFadeFrames = 256;
constexpr int64_t kPrimeFrames = 512;
// Less history than this is not worth priming with: the step that lines the output up would
// be far from 1.
constexpr int64_t kMinPrimeFrames = 16;
// The largest step the resampler is built for; steps are held inside 1/200 .. 200.
constexpr double kMaxStep = 256;
// Input handed to the resampler per request. Small requests keep its read-ahead short.
constexpr size_t kChunkFrames = 64;
// The variable-rate filter's output stands for the input its phase reached this many
// output frames earlier (measured with libsoxr 0.1.3: 1.61 frames at any step from 1 to 4,
// a little less below 1).
constexpr double kDelay = 1.614;
// The resampler reads ahead of its phase by up to about 330 frames for steps below 2 and
// twice that for each further octave of step (measured); allow more.
constexpr double kReachPerStage = 400;

// Input the resampler may have read beyond its phase, at steps up to `step`.
double Reach(double step) {
  double stages = 1;
  while (stages <= step) stages *= 2;
  return static_cast<double>(kChunkFrames) + kReachPerStage * stages;
}
}  // namespace

Speed::Speed() {
  soxr_error_t err = nullptr;
  soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, SOXR_VR);
  // For a variable-rate resampler the two rates only give the largest step it will take.
  vr_ = soxr_create(kMaxStep, 1, 2, &err, nullptr, &quality, nullptr);
  if (err && vr_) {
    soxr_delete(vr_);
    vr_ = nullptr;
  }
}

Speed::~Speed() {
  if (vr_) soxr_delete(vr_);
}

double Speed::TargetStep() const {
  double step = (static_cast<double>(inRate_) * perMille_ / 1000.0) / outRate_;
  return std::clamp(step, 1.0 / 200, 200.0);
}

void Speed::Configure(uint32_t inRate, uint32_t outRate, int perMille) {
  inRate_ = inRate ? inRate : 44100;
  outRate_ = outRate ? outRate : 44100;
  perMille_ = std::max(1, perMille);
  if (mode_ == Mode::kBypass && !Unity() && vr_) {
    Start(read_);
  } else if (mode_ == Mode::kToBypass && !Unity()) {
    mode_ = Mode::kResample;
    fade_ = 0;
  }
}

void Speed::Reset(int64_t inputFrame) {
  fifo_.clear();
  base_ = read_ = feed_ = inputFrame;
  endOfInput_ = false;
  fade_ = 0;
  prime_ = 0;
  if (Unity() || !vr_) {
    mode_ = Mode::kBypass;
  } else {
    Start(inputFrame);
  }
}

void Speed::Start(int64_t at) {
  // The resampler forgets its input function when cleared.
  soxr_clear(vr_);
  soxr_set_input_fn(vr_, &Speed::Input, this, kChunkFrames);
  starved_ = false;
  fade_ = 0;
  at = std::max(at, base_);  // nothing before the FIFO can be fed
  int64_t history = std::min(kPrimeFrames, at - base_);
  if (history < kMinPrimeFrames) history = 0;
  feed_ = at - history;
  phase_ = static_cast<double>(feed_);
  if (history > 0) {
    // Frame k of the output stands for input feed_ + step * (k - kDelay). With one frame
    // more than the history thrown away and the step chosen to match, the first frame kept
    // stands for `at` exactly: it follows the bypass's last frame without a jump.
    prime_ = static_cast<size_t>(history) + 1;
    SetStep(static_cast<double>(history) / (static_cast<double>(history) + 1 - kDelay), 0);
  } else {
    prime_ = 0;
    SetStep(TargetStep(), 0);
  }
  mode_ = Mode::kResample;
}

void Speed::SetStep(double step, size_t slewFrames) {
  soxr_set_io_ratio(vr_, step, slewFrames);
  if (slewFrames == 0) {
    step_ = slewTo_ = step;
    slewLen_ = slewDone_ = 0;
  } else {
    slewFrom_ = step_;
    slewTo_ = step;
    slewLen_ = slewFrames;
    slewDone_ = 0;
  }
}

double Speed::Position() const {
  return phase_ - kDelay * step_;
}

size_t Speed::Allowed(int64_t end) const {
  double step = std::max(step_, Goal());
  double room = static_cast<double>(end) - phase_ - Reach(step);
  return room > 0 ? static_cast<size_t>(room / step) : 0;
}

size_t Speed::Resample(float* out, size_t frames) {
  size_t n = soxr_output(vr_, out, frames);
  // The phase moves by the steps the resampler took: a ramp's k-th frame (from 0) takes
  // from + k * (goal - from) / length, then the goal holds (measured: the last step of the
  // ramp falls one frame short of the goal).
  size_t ramp = std::min(n, slewLen_ - slewDone_);
  if (ramp > 0) {
    double a = static_cast<double>(slewDone_), b = a + static_cast<double>(ramp);
    double rise = (slewTo_ - slewFrom_) / static_cast<double>(slewLen_);
    phase_ += static_cast<double>(ramp) * slewFrom_ + rise * (b * (b - 1) - a * (a - 1)) / 2;
    slewDone_ += ramp;
    step_ = slewDone_ == slewLen_ ? slewTo_ : slewFrom_ + rise * static_cast<double>(slewDone_);
  }
  phase_ += static_cast<double>(n - ramp) * step_;
  if (starved_ || soxr_error(vr_)) {
    // It ran dry or failed: start it again where its output got to rather than stall.
    Start(std::llround(Position()));
  }
  return n;
}

size_t Speed::Input(void* self, const void** data, size_t requested) {
  auto* s = static_cast<Speed*>(self);
  int64_t end = s->base_ + static_cast<int64_t>(s->fifo_.size() / 2);
  size_t n = static_cast<size_t>(std::clamp<int64_t>(end - s->feed_, 0, requested));
  if (n == 0) {
    static const float kSilence[2] = {0, 0};
    // A valid pointer with no data ends the input (and flushes the tail); a null one
    // reports a failure.
    *data = s->endOfInput_ ? kSilence : nullptr;
    if (!s->endOfInput_) s->starved_ = true;
    return 0;
  }
  *data = s->fifo_.data() + (s->feed_ - s->base_) * 2;
  s->feed_ += static_cast<int64_t>(n);
  return n;
}

void Speed::Push(const float* frames, size_t count) {
  Compact();
  fifo_.insert(fifo_.end(), frames, frames + count * 2);
}

size_t Speed::Buffered() const {
  int64_t end = base_ + static_cast<int64_t>(fifo_.size() / 2);
  if (mode_ == Mode::kBypass) return static_cast<size_t>(std::max<int64_t>(0, end - read_));
  double step = std::max({step_, Goal(), TargetStep()});
  // Priming output that is thrown away needs its input first.
  double room =
      static_cast<double>(end) - phase_ - static_cast<double>(prime_) * step_ - Reach(step);
  return room > 0 ? static_cast<size_t>(room) : 0;
}

void Speed::Compact() {
  // Keep what the bypass may still need: history to prime with, and the frames the
  // cross-fade reads from the output's position on.
  int64_t keep = mode_ == Mode::kBypass
                     ? read_ - kPrimeFrames
                     : std::min<int64_t>(feed_, static_cast<int64_t>(std::floor(Position())) - 4);
  keep = std::max(keep, base_);
  size_t drop = static_cast<size_t>(keep - base_);
  if (drop > 16384) {
    fifo_.erase(fifo_.begin(), fifo_.begin() + static_cast<std::ptrdiff_t>(drop * 2));
    base_ = keep;
  }
}

size_t Speed::Pull(float* out, size_t maxFrames, double* inStart, double* inEnd, bool endOfInput) {
  int64_t end = base_ + static_cast<int64_t>(fifo_.size() / 2);
  if (mode_ == Mode::kBypass) {
    size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(maxFrames), end - read_));
    std::memcpy(out, fifo_.data() + (read_ - base_) * 2, n * 2 * sizeof(float));
    *inStart = static_cast<double>(read_);
    read_ += static_cast<int64_t>(n);
    *inEnd = static_cast<double>(read_);
    return n;
  }

  endOfInput_ = endOfInput;
  *inStart = *inEnd = Position();
  while (prime_ > 0) {
    size_t want = endOfInput ? prime_ : std::min(prime_, Allowed(end));
    if (want == 0) break;
    scratch_.resize(want * 2);
    size_t got = Resample(scratch_.data(), want);
    if (got == 0) {
      if (endOfInput) prime_ = 0;  // nothing will come
      break;
    }
    prime_ -= std::min(got, prime_);
  }
  *inStart = *inEnd = Position();
  if (prime_ > 0) return 0;

  double target = TargetStep();
  if (mode_ == Mode::kResample && Unity() && step_ == 1.0 && slewDone_ >= slewLen_) {
    mode_ = Mode::kToBypass;
    fade_ = kFadeFrames;
  }
  if (target != Goal()) SetStep(target, maxFrames);

  size_t want = endOfInput ? maxFrames : std::min(maxFrames, Allowed(end));
  if (want == 0) return 0;
  size_t n = Resample(out, want);
  *inEnd = Position();

  if (mode_ == Mode::kToBypass && n > 0) {
    // Cross-fade from the resampled frames to the untouched ones they stand for, then go
    // on with the untouched ones.
    int64_t direct = std::max<int64_t>(std::llround(*inStart), base_);
    size_t m = static_cast<size_t>(std::clamp<int64_t>(end - direct, 0, static_cast<int64_t>(n)));
    size_t i = 0;
    for (; i < m && fade_ > 0; ++i, --fade_) {
      float a = static_cast<float>(fade_) / kFadeFrames;
      const float* src = fifo_.data() + (direct + static_cast<int64_t>(i) - base_) * 2;
      out[i * 2] = a * out[i * 2] + (1 - a) * src[0];
      out[i * 2 + 1] = a * out[i * 2 + 1] + (1 - a) * src[1];
    }
    if (fade_ == 0) {
      for (; i < m; ++i) {
        const float* src = fifo_.data() + (direct + static_cast<int64_t>(i) - base_) * 2;
        out[i * 2] = src[0];
        out[i * 2 + 1] = src[1];
      }
      n = m;
      read_ = direct + static_cast<int64_t>(m);
      *inEnd = static_cast<double>(read_);
      mode_ = Mode::kBypass;
    }
  }
  return n;
}

}  // namespace xaudio
