// Speed change by resampling, as on a turntable: pitch moves with speed. Converts the
// stream's rate to the device's at the same time. When the two rates match and the speed
// is exactly normal the frames pass through untouched; entering and leaving that bypass is
// click-free (entering lines the resampler's first frame up with the next untouched one,
// leaving cross-fades). Player thread only.
//
// The resampler (libsoxr, variable rate) is started on a stretch of history before the
// switch, whose output is thrown away, so that its filter is full when the first frame that
// counts comes out. Its output lags the input its phase has reached by a small filter delay;
// the positions given out allow for it, so they name the input each frame sounds like.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct soxr;

namespace xaudio {

class Speed {
 public:
  Speed();
  ~Speed();
  Speed(const Speed&) = delete;
  Speed& operator=(const Speed&) = delete;

  // Starts afresh at input frame `inputFrame` (absolute, at the stream's rate).
  void Reset(int64_t inputFrame);
  // Input rate (the stream's), output rate (the device's) and speed in per mille.
  void Configure(uint32_t inRate, uint32_t outRate, int perMille);

  // Appends decoded frames; they follow the last appended (or the Reset position).
  void Push(const float* frames, size_t count);
  // Frames of input available beyond what the next output needs; Pull gives nothing more
  // until this is positive (or the input has ended).
  size_t Buffered() const;
  // Produces up to `maxFrames` output frames. *inStart and *inEnd receive the input
  // positions (fractional frames) that the first frame and the one after the last stand
  // for. With `endOfInput` the resampler's tail is flushed.
  size_t Pull(float* out, size_t maxFrames, double* inStart, double* inEnd, bool endOfInput);

  bool Bypassing() const { return mode_ == Mode::kBypass; }

 private:
  enum class Mode { kBypass, kResample, kToBypass };
  bool Unity() const { return inRate_ == outRate_ && perMille_ == 1000; }
  double TargetStep() const;
  void Start(int64_t at);
  void SetStep(double step, size_t slewFrames);
  double Goal() const { return slewDone_ < slewLen_ ? slewTo_ : step_; }
  double Position() const;
  size_t Allowed(int64_t end) const;
  size_t Resample(float* out, size_t frames);
  void Compact();
  static size_t Input(void* self, const void** data, size_t requested);

  soxr* vr_ = nullptr;
  Mode mode_ = Mode::kBypass;
  uint32_t inRate_ = 44100, outRate_ = 44100;
  int perMille_ = 1000;
  // Input FIFO: absolute frame index of fifo_[0]; read_ is the next frame for the bypass,
  // feed_ the next frame handed to the resampler (both absolute).
  std::vector<float> fifo_;
  int64_t base_ = 0;
  int64_t read_ = 0;
  int64_t feed_ = 0;
  // The resampler's step (input frames per output frame) and the ramp it is on, in output
  // frames, as last asked of it.
  double step_ = 1.0;
  double slewFrom_ = 1.0, slewTo_ = 1.0;
  size_t slewLen_ = 0, slewDone_ = 0;
  double phase_ = 0;  // input position the resampler's phase has reached, before its delay
  bool endOfInput_ = false;
  bool starved_ = false;  // the resampler asked for input that was not there yet
  size_t fade_ = 0;       // frames of the cross-fade back to bypass still to do
  size_t prime_ = 0;      // resampled frames of history still to throw away
  std::vector<float> scratch_;
};

}  // namespace xaudio
