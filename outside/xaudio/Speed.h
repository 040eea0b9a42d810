// Speed change by resampling, as on a turntable: pitch moves with speed. Converts the
// stream's rate to the device's at the same time. When the two rates match and the speed
// is exactly normal the frames pass through untouched; entering and leaving that bypass is
// click-free (the resampler has no delay of its own, and leaving it cross-fades). Player
// thread only.
//
// The resampler is started on a stretch of history before the switch, whose output is
// thrown away, so that its filter is full when the first frame that counts comes out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct SRC_STATE_tag;

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
  // Frames of input not yet consumed.
  size_t Buffered() const;
  // Produces up to `maxFrames` output frames. *inStart and *inEnd receive the input
  // positions (fractional frames) that the first frame and the one after the last stand
  // for. With `endOfInput` the resampler's tail is flushed.
  size_t Pull(float* out, size_t maxFrames, double* inStart, double* inEnd, bool endOfInput);

  bool Bypassing() const { return mode_ == Mode::kBypass; }

 private:
  enum class Mode { kBypass, kResample, kToBypass };
  double TargetStep() const;
  void Compact();

  SRC_STATE_tag* src_ = nullptr;
  Mode mode_ = Mode::kBypass;
  uint32_t inRate_ = 44100, outRate_ = 44100;
  int perMille_ = 1000;
  double lastRatio_ = 1.0;  // output frames per input frame, as last given to the resampler
  // Input FIFO: absolute frame index of fifo_[0]; read_ is the next frame for the bypass,
  // feed_ the next frame for the resampler (both absolute).
  std::vector<float> fifo_;
  int64_t base_ = 0;
  int64_t read_ = 0;
  int64_t feed_ = 0;
  double outPos_ = 0;  // input position of the next resampled frame
  size_t fade_ = 0;    // frames of the cross-fade back to bypass still to do
  size_t prime_ = 0;   // resampled frames of history still to throw away
  std::vector<float> scratch_;
};

}  // namespace xaudio
