// Output devices and the voices mixed on them. The mixing (Device::Render) runs on the
// device's own thread or callback and only reads ring buffers and atomics: no lock, no
// allocation, no waiting.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/SeqLock.h"
#include "common/SpscRing.h"

namespace xdsound {

class Device;

// One player's stream: a single-producer (player thread), single-consumer (device) ring.
class Voice {
 public:
  Voice(Device* device, uint32_t capacityFrames);

  // Producer side: the player thread only.
  uint32_t Writable() const;
  uint32_t Write(const float* frames, uint32_t count);
  // Waits (a device period or so) until the device has dropped everything queued.
  void Flush();
  uint64_t Written() const { return ring_.Written() / 2; }
  void SetGains(float ll, float rl, float lr, float rr);
  void SetActive(bool active) { active_.store(active, std::memory_order_release); }

  // Any thread.
  uint64_t Heard() const;
  int64_t FrameTime(uint64_t frame) const;
  bool Active() const { return active_.load(std::memory_order_acquire); }
  Device* Owner() const { return device_; }
  uint32_t Available() const;
  // Periods in which the voice had audio to come but too little queued to fill them.
  uint64_t Underruns() const { return underruns_.load(std::memory_order_relaxed); }

  // Device side: the device's callback or sink thread only.
  void MixInto(float* out, uint32_t frames, int64_t firstFrameNs);

 private:
  // When the frame `frame` of the voice went out to the device, as of its last period.
  struct Timing {
    uint64_t frame = 0;
    int64_t ns = 0;
  };
  Timing LastTiming() const { return timing_.Load(); }

  Device* device_;
  // Interleaved stereo samples: every count on it is twice a count of frames.
  kazout::SpscRing<float> ring_;
  std::atomic<uint64_t> flushTo_{0};  // in frames
  std::atomic<uint32_t> flushRequest_{0};
  std::atomic<uint32_t> flushDone_{0};
  std::atomic<float> gain_[4];
  float current_[4] = {1, 0, 0, 1};  // device side only
  bool sounded_ = false;             // device side only: a frame of it was played
  std::atomic<bool> active_{false};
  std::atomic<uint64_t> underruns_{0};
  kazout::SeqLock<Timing> timing_;
};

class Device {
 public:
  enum class Kind { kPortAudio, kNull, kCapture };
  static constexpr int kMaxVoices = 16;

  virtual ~Device() = default;
  // Starts playing; buffers are allocated before. False when the device cannot run.
  virtual bool Start() = 0;
  virtual void Stop() = 0;

  bool Attach(Voice* voice);
  void Detach(Voice* voice);
  // Waits until every mix that started before the call has ended; false after 500 ms.
  bool WaitForRenders();

  uint32_t Rate() const { return rate_; }
  bool Unpaced() const { return unpaced_; }
  int64_t Now() const;
  uint32_t TargetFill() const { return targetFill_; }
  // Periods the sound card played without our audio, as its driver reports them.
  uint64_t Underflows() const { return underflows_.load(std::memory_order_relaxed); }

 protected:
  // Mixes every voice into `out` (interleaved stereo). `firstFrameNs` is when out[0] is heard.
  void Render(float* out, uint32_t frames, int64_t firstFrameNs);
  // The frames that every active voice has queued, at most `most`; 0 when no voice is
  // active. Device side only: it reads the voices as a mix does, and closing a voice waits
  // for it likewise.
  uint32_t Queued(uint32_t most);

  uint32_t rate_ = 44100;
  bool unpaced_ = false;
  uint32_t targetFill_ = 2048;
  std::atomic<Voice*> voices_[kMaxVoices] = {};
  std::atomic<uint64_t> rendersStarted_{0};
  std::atomic<uint64_t> rendersDone_{0};
  std::atomic<uint64_t> underflows_{0};
  bool denormalsOff_ = false;  // device side only
};

// The device list: index 0 is the default device. Any thread.
int DeviceCount();
bool DeviceInfo(int index, std::string* name, std::string* description);
// Opens (and starts, for the first voice) a device and attaches a new voice to it.
Voice* OpenVoice(int index);
void CloseVoice(Voice* voice);

// Underruns of all voices and sound cards since the library was loaded. Any thread.
uint64_t UnderrunCount();

}  // namespace xdsound
