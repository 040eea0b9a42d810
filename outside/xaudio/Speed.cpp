#include "xaudio/Speed.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace xaudio {

namespace {
constexpr size_t kFadeFrames = 256;
constexpr int64_t kPrimeFrames = 512;
}  // namespace

Speed::Speed() {
  int err = 0;
  src_ = src_new(SRC_SINC_FASTEST, 2, &err);
}

Speed::~Speed() {
  if (src_) src_delete(src_);
}

double Speed::TargetStep() const {
  // Input frames consumed per output frame; libsamplerate converts by at most 256 either
  // way, so extreme speeds are held inside that.
  double step = (static_cast<double>(inRate_) * perMille_ / 1000.0) / outRate_;
  return std::clamp(step, 1.0 / 200, 200.0);
}

void Speed::Configure(uint32_t inRate, uint32_t outRate, int perMille) {
  inRate_ = inRate ? inRate : 44100;
  outRate_ = outRate ? outRate : 44100;
  perMille_ = std::max(1, perMille);
  bool unity = inRate_ == outRate_ && perMille_ == 1000;
  if (mode_ == Mode::kBypass && !unity && src_) {
    // The resampler has no delay: at ratio 1 its output k is input k. Fed from some history
    // before the bypass read position, with that much output dropped, its next frame is
    // the very frame the bypass would have given, with its filter already full.
    src_reset(src_);
    lastRatio_ = 1.0;
    src_set_ratio(src_, 1.0);
    int64_t history = std::min(kPrimeFrames, read_ - base_);
    feed_ = read_ - history;
    prime_ = static_cast<size_t>(history);
    outPos_ = static_cast<double>(read_);
    mode_ = Mode::kResample;
  } else if (mode_ == Mode::kToBypass && !unity) {
    mode_ = Mode::kResample;
    fade_ = 0;
  }
}

void Speed::Reset(int64_t inputFrame) {
  fifo_.clear();
  base_ = read_ = feed_ = inputFrame;
  outPos_ = static_cast<double>(inputFrame);
  fade_ = 0;
  prime_ = 0;
  if (src_) src_reset(src_);
  lastRatio_ = 1.0 / TargetStep();
  if (src_) src_set_ratio(src_, lastRatio_);
  bool unity = inRate_ == outRate_ && perMille_ == 1000;
  mode_ = (unity || !src_) ? Mode::kBypass : Mode::kResample;
}

void Speed::Push(const float* frames, size_t count) {
  Compact();
  fifo_.insert(fifo_.end(), frames, frames + count * 2);
}

size_t Speed::Buffered() const {
  int64_t end = base_ + static_cast<int64_t>(fifo_.size() / 2);
  int64_t from = mode_ == Mode::kBypass ? read_ : feed_;
  return static_cast<size_t>(std::max<int64_t>(0, end - from));
}

void Speed::Compact() {
  // Keep what the bypass may still need (the cross-fade reads from read_).
  int64_t keep = mode_ == Mode::kBypass
                     ? read_ - kPrimeFrames
                     : std::min<int64_t>(feed_, static_cast<int64_t>(std::floor(outPos_)) - 4);
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

  double target = 1.0 / TargetStep();
  bool unity = inRate_ == outRate_ && perMille_ == 1000;
  if (mode_ == Mode::kResample && unity && lastRatio_ == 1.0) {
    mode_ = Mode::kToBypass;
    fade_ = kFadeFrames;
  }

  while (prime_ > 0) {
    scratch_.resize(prime_ * 2);
    SRC_DATA p{};
    p.data_in = fifo_.data() + (feed_ - base_) * 2;
    p.input_frames = static_cast<long>(end - feed_);
    p.data_out = scratch_.data();
    p.output_frames = static_cast<long>(prime_);
    p.src_ratio = 1.0;
    if (p.input_frames == 0 || src_process(src_, &p) != 0) break;
    feed_ += p.input_frames_used;
    prime_ -= static_cast<size_t>(p.output_frames_gen);
    if (p.output_frames_gen == 0 && p.input_frames_used == 0) break;
  }
  if (prime_ > 0 && !endOfInput) {
    *inStart = *inEnd = outPos_;
    return 0;
  }

  SRC_DATA d{};
  d.data_in = fifo_.data() + (feed_ - base_) * 2;
  d.input_frames = static_cast<long>(end - feed_);
  d.data_out = out;
  d.output_frames = static_cast<long>(maxFrames);
  d.src_ratio = target;
  d.end_of_input = endOfInput ? 1 : 0;
  if (d.input_frames == 0 && !endOfInput) {
    *inStart = *inEnd = outPos_;
    return 0;
  }
  static const float kSilence[2] = {0, 0};
  if (d.input_frames == 0) d.data_in = kSilence;  // a valid pointer keeps the tail
  if (src_process(src_, &d) != 0) {
    *inStart = *inEnd = outPos_;
    return 0;
  }
  feed_ += d.input_frames_used;
  size_t n = static_cast<size_t>(d.output_frames_gen);
  *inStart = outPos_;
  // The resampler ramps its ratio linearly over the call; the mean step is close enough.
  outPos_ += n * 0.5 * (1.0 / lastRatio_ + 1.0 / target);
  *inEnd = outPos_;
  if (n > 0) lastRatio_ = target;

  if (mode_ == Mode::kToBypass && n > 0) {
    // Cross-fade from the resampled frames to the untouched ones they stand for, then go
    // on with the untouched ones.
    int64_t direct = static_cast<int64_t>(std::llround(*inStart));
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
      outPos_ = *inEnd;
      mode_ = Mode::kBypass;
    }
  }
  return n;
}

}  // namespace xaudio
