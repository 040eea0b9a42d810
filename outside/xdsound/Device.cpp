#include "xdsound/Device.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <portaudio.h>
#include <xmmintrin.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "common/Clock.h"
#include "win32/Ansi.h"

namespace xdsound {

using kazout::MonotonicNs;
using kazout::SleepUntilNs;

namespace {

constexpr uint32_t kVoiceCapacity = 16384;  // frames; a power of two
constexpr uint32_t kSinkMaxFrames = 4096;
// Capture devices offered: enough for two cards besides the default one.
constexpr int kCaptureDevices = 3;

// Every underrun of every voice and device since the library was loaded.
std::atomic<uint64_t> g_underruns{0};

}  // namespace

uint64_t UnderrunCount() {
  return g_underruns.load(std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------------------
// Voice

Voice::Voice(Device* device, uint32_t capacityFrames)
    : device_(device), ring_(static_cast<size_t>(capacityFrames) * 2) {
  gain_[0] = 1.0f;
  gain_[1] = 0.0f;
  gain_[2] = 0.0f;
  gain_[3] = 1.0f;
}

uint32_t Voice::Available() const {
  return static_cast<uint32_t>((ring_.Written() - ring_.Taken()) / 2);
}

uint32_t Voice::Writable() const {
  return static_cast<uint32_t>(ring_.Writable() / 2);
}

uint32_t Voice::Write(const float* frames, uint32_t count) {
  return static_cast<uint32_t>(ring_.Write(frames, static_cast<size_t>(count) * 2) / 2);
}

void Voice::Flush() {
  flushTo_.store(Written(), std::memory_order_release);
  uint32_t request = flushRequest_.load(std::memory_order_relaxed) + 1;
  flushRequest_.store(request, std::memory_order_release);
  // The device takes the request at its next period (a few ms); a device that stopped
  // running cannot, and then nothing of this voice is played anyway.
  for (int i = 0; i < 500 && flushDone_.load(std::memory_order_acquire) != request; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

uint64_t Voice::Heard() const {
  uint64_t read = ring_.Taken() / 2;
  if (device_->Unpaced()) return read;
  const Timing t = LastTiming();
  int64_t now = MonotonicNs();
  if (now <= t.ns) return std::min(t.frame, read);
  uint64_t est =
      t.frame + static_cast<uint64_t>((now - t.ns) * static_cast<double>(device_->Rate()) / 1e9);
  return std::min(est, read);
}

int64_t Voice::FrameTime(uint64_t frame) const {
  // A sink that is not paced has no listener to wait for: everything is heard at once.
  if (device_->Unpaced()) return MonotonicNs();
  const Timing t = LastTiming();
  const int64_t t0 = t.ns == 0 ? device_->Now() : t.ns;
  double delta =
      (static_cast<double>(frame) - static_cast<double>(t.frame)) * 1e9 / device_->Rate();
  return t0 + static_cast<int64_t>(delta);
}

void Voice::SetGains(float ll, float rl, float lr, float rr) {
  gain_[0].store(ll, std::memory_order_relaxed);
  gain_[1].store(rl, std::memory_order_relaxed);
  gain_[2].store(lr, std::memory_order_relaxed);
  gain_[3].store(rr, std::memory_order_relaxed);
}

void Voice::MixInto(float* out, uint32_t frames, int64_t firstFrameNs) {
  uint32_t request = flushRequest_.load(std::memory_order_acquire);
  bool flush = request != flushDone_.load(std::memory_order_relaxed);
  if (flush) {
    const uint64_t to = flushTo_.load(std::memory_order_acquire) * 2;
    const uint64_t taken = ring_.Taken();
    if (to > taken) ring_.Drop(static_cast<size_t>(to - taken));
  }
  const uint64_t r = ring_.Taken() / 2;
  uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(ring_.Readable() / 2, frames));
  float target[4];
  for (int k = 0; k < 4; ++k) target[k] = gain_[k].load(std::memory_order_relaxed);
  // Before its first frame a voice has no gain to ramp from: it starts at the gains set for
  // it, so a deck routed to one side never begins on both.
  if (!sounded_)
    for (int k = 0; k < 4; ++k) current_[k] = target[k];
  // Gains ramp over the period so that volume changes never click. A starved period plays
  // only part of the ramp; the next one goes on from where it stopped, so the first frames
  // after an underrun do not jump to the new gain either.
  float step[4];
  for (int k = 0; k < 4; ++k) step[k] = (target[k] - current_[k]) / static_cast<float>(frames);
  float g[4] = {current_[0], current_[1], current_[2], current_[3]};
  for (uint32_t j = 0; j < n; ++j) {
    for (int k = 0; k < 4; ++k) g[k] += step[k];
    const float left = ring_.At((r + j) * 2), right = ring_.At((r + j) * 2 + 1);
    out[j * 2] += g[0] * left + g[1] * right;
    out[j * 2 + 1] += g[2] * left + g[3] * right;
  }
  for (int k = 0; k < 4; ++k) current_[k] = n == frames ? target[k] : g[k];
  if (n > 0) sounded_ = true;
  if (n < frames && frames > 0 && active_.load(std::memory_order_relaxed)) {
    underruns_.fetch_add(1, std::memory_order_relaxed);
    g_underruns.fetch_add(1, std::memory_order_relaxed);
  }
  timing_.Store({r, firstFrameNs});
  ring_.Drop(static_cast<size_t>(n) * 2);
  if (flush) flushDone_.store(request, std::memory_order_release);
}

// ---------------------------------------------------------------------------------------
// Device

int64_t Device::Now() const {
  return MonotonicNs();
}

bool Device::Attach(Voice* voice) {
  for (auto& slot : voices_) {
    Voice* expected = nullptr;
    if (slot.compare_exchange_strong(expected, voice)) return true;
  }
  return false;
}

void Device::Detach(Voice* voice) {
  for (auto& slot : voices_) {
    Voice* expected = voice;
    slot.compare_exchange_strong(expected, nullptr);
  }
}

bool Device::WaitForRenders() {
  uint64_t started = rendersStarted_.load();
  for (int i = 0; i < 500; ++i) {
    if (rendersDone_.load() >= started) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

void Device::Render(float* out, uint32_t frames, int64_t firstFrameNs) {
  if (!denormalsOff_) {
    // Flush-to-zero and denormals-are-zero: decaying filters must never slow the mix.
    _mm_setcsr(_mm_getcsr() | 0x8040);
    denormalsOff_ = true;
  }
  rendersStarted_.fetch_add(1);
  std::memset(out, 0, sizeof(float) * 2 * frames);
  for (auto& slot : voices_) {
    Voice* v = slot.load();
    if (v) v->MixInto(out, frames, firstFrameNs);
  }
  rendersDone_.fetch_add(1);
}

uint32_t Device::Queued(uint32_t most) {
  rendersStarted_.fetch_add(1);
  bool active = false;
  for (auto& slot : voices_) {
    Voice* v = slot.load();
    if (v && v->Active()) {
      active = true;
      most = std::min(most, v->Available());
    }
  }
  rendersDone_.fetch_add(1);
  return active ? most : 0;
}

namespace {

// ---------------------------------------------------------------------------------------
// A sound card through PortAudio.

class PortAudioDevice : public Device {
 public:
  explicit PortAudioDevice(PaDeviceIndex index) : index_(index) {}
  ~PortAudioDevice() override { Stop(); }

  bool Start() override {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(index_);
    if (!info) return false;
    PaStreamParameters p{};
    p.device = index_;
    p.channelCount = 2;
    p.sampleFormat = paFloat32;
    // As low as the device allows, aiming at 20 ms.
    p.suggestedLatency = std::max(info->defaultLowOutputLatency, 0.020);
    for (double rate : {44100.0, 48000.0, info->defaultSampleRate}) {
      if (Pa_OpenStream(&stream_, nullptr, &p, rate, paFramesPerBufferUnspecified, paClipOff,
                        &PortAudioDevice::Callback, this) == paNoError) {
        rate_ = static_cast<uint32_t>(rate);
        break;
      }
      stream_ = nullptr;
    }
    if (!stream_) return false;
    targetFill_ = rate_ / 25;  // 40 ms
    if (Pa_StartStream(stream_) != paNoError) {
      Pa_CloseStream(stream_);
      stream_ = nullptr;
      return false;
    }
    return true;
  }

  void Stop() override {
    if (!stream_) return;
    Pa_StopStream(stream_);
    Pa_CloseStream(stream_);
    stream_ = nullptr;
  }

 private:
  static int Callback(const void*, void* output, unsigned long frames,
                      const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags flags,
                      void* user) {
    auto* self = static_cast<PortAudioDevice*>(user);
    if (flags & paOutputUnderflow) {
      self->underflows_.fetch_add(1, std::memory_order_relaxed);
      g_underruns.fetch_add(1, std::memory_order_relaxed);
    }
    double lead = time ? time->outputBufferDacTime - time->currentTime : 0.0;
    if (!(lead >= 0.0 && lead < 1.0)) lead = 0.0;
    self->Render(static_cast<float*>(output), static_cast<uint32_t>(frames),
                 MonotonicNs() + static_cast<int64_t>(lead * 1e9));
    return paContinue;
  }

  PaDeviceIndex index_;
  PaStream* stream_ = nullptr;
};

// ---------------------------------------------------------------------------------------
// A sink of our own: plays into nothing (null) or into a WAV file (capture), in real time
// by its own clock, or as fast as the players give audio (unpaced capture).

class SinkDevice : public Device {
 public:
  // `maxSpeed`: an unpaced sink takes audio at most this many times as fast as real time
  // (0: as fast as it comes).
  SinkDevice(std::string path, bool unpaced, double maxSpeed = 0)
      : path_(std::move(path)), maxSpeed_(maxSpeed) {
    unpaced_ = unpaced;
    rate_ = 44100;
    targetFill_ = unpaced ? kVoiceCapacity - kSinkMaxFrames : rate_ / 25;
  }
  ~SinkDevice() override { Stop(); }

  bool Start() override {
    buffer_.assign(static_cast<size_t>(kSinkMaxFrames) * 2, 0.0f);
    start_ = MonotonicNs();
    if (!path_.empty()) {
      file_ = std::fopen(path_.c_str(), "wb");
      if (!file_) return false;
      WriteHeader();
      if (FILE* json = std::fopen((path_ + ".json").c_str(), "w")) {
        std::fprintf(json,
                     "{\"rate\": %u, \"channels\": 2, \"format\": \"float32\", "
                     "\"first_frame_monotonic_ns\": %lld}\n",
                     rate_, static_cast<long long>(start_));
        std::fclose(json);
      }
    }
    stop_.store(false);
    thread_ = std::thread([this] { unpaced_ ? RunUnpaced() : RunPaced(); });
    return true;
  }

  void Stop() override {
    if (thread_.joinable()) {
      stop_.store(true);
      thread_.join();
    }
    if (file_) {
      WriteHeader();
      std::fclose(file_);
      file_ = nullptr;
    }
  }

 private:
  void RunPaced() {
    // 5 ms periods; the schedule is kept in frames so that it never drifts, and periods
    // missed by a stall are rendered at once to catch up.
    const uint32_t period = rate_ / 200;
    uint64_t frames = 0;
    while (!stop_.load()) {
      int64_t due = start_ + static_cast<int64_t>(frames * 1e9 / rate_);
      SleepUntilNs(due);
      Render(buffer_.data(), period, due);
      Capture(period);
      frames += period;
    }
  }

  void RunUnpaced() {
    uint64_t frames = 0;
    while (!stop_.load()) {
      const uint32_t n = Queued(kSinkMaxFrames);
      int64_t due = start_ + static_cast<int64_t>(frames * 1e9 / rate_);
      if (n == 0) {
        Render(buffer_.data(), 0, due);  // takes flush requests
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        continue;
      }
      Render(buffer_.data(), n, due);
      Capture(n);
      frames += n;
      if (maxSpeed_ > 0) {
        SleepUntilNs(start_ + static_cast<int64_t>(frames * 1e9 / (rate_ * maxSpeed_)));
      }
    }
  }

  void Capture(uint32_t frames) {
    if (!file_) return;
    std::fwrite(buffer_.data(), sizeof(float) * 2, frames, file_);
    dataBytes_ += static_cast<uint64_t>(frames) * 8;
    // Readers may look at the file while it grows: the data is flushed at once, the
    // header's sizes now and then.
    std::fflush(file_);
    if (++sinceHeader_ >= 20) {
      sinceHeader_ = 0;
      WriteHeader();
    }
  }

  // A WAVE header for 32-bit float stereo; sizes as far as written, so the file is always
  // readable.
  void WriteHeader() {
    auto u32 = [](unsigned char* p, uint32_t v) {
      for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
    };
    auto u16 = [](unsigned char* p, uint16_t v) {
      p[0] = static_cast<unsigned char>(v);
      p[1] = static_cast<unsigned char>(v >> 8);
    };
    unsigned char h[44];
    uint32_t data = static_cast<uint32_t>(std::min<uint64_t>(dataBytes_, 0xFFFFFFFFull - 36));
    std::memcpy(h, "RIFF", 4);
    u32(h + 4, 36 + data);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    u32(h + 16, 16);
    u16(h + 20, 3);  // IEEE float
    u16(h + 22, 2);
    u32(h + 24, rate_);
    u32(h + 28, rate_ * 8);
    u16(h + 32, 8);
    u16(h + 34, 32);
    std::memcpy(h + 36, "data", 4);
    u32(h + 40, data);
    long at = std::ftell(file_);
    std::fseek(file_, 0, SEEK_SET);
    std::fwrite(h, 1, sizeof(h), file_);
    if (at > 44) std::fseek(file_, at, SEEK_SET);
    std::fflush(file_);
  }

  std::string path_;
  double maxSpeed_ = 0;
  std::vector<float> buffer_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  int64_t start_ = 0;
  FILE* file_ = nullptr;
  uint64_t dataBytes_ = 0;
  int sinceHeader_ = 0;
};

// ---------------------------------------------------------------------------------------
// The device list.

struct DeviceSlot {
  Device::Kind kind;
  PaDeviceIndex paIndex = paNoDevice;
  std::string name, description, path;
  bool unpaced = false;
  double maxSpeed = 0;  // of an unpaced sink; 0 for no limit
  std::unique_ptr<Device> device;
  int voices = 0;
};

std::mutex g_mutex;
std::vector<DeviceSlot>* g_slots = nullptr;
std::string g_slotsCapture;  // KAZ_WAV_CAPTURE and KAZ_WAV_UNPACED when the list was made

// The list goes with the library: a program that frees the output module and loads it
// again must not leave a list behind each time. A list with a device still open stays (a
// stream's thread may still use it), and so does one that another thread holds now.
struct SlotsRelease {
  ~SlotsRelease() {
    std::unique_lock<std::mutex> lock(g_mutex, std::try_to_lock);
    if (!lock.owns_lock() || !g_slots) return;
    for (const DeviceSlot& s : *g_slots) {
      if (s.device) return;
    }
    delete g_slots;
    g_slots = nullptr;
  }
} g_slotsRelease;

void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
void QuietJack(const char*) {}

// ALSA's and JACK's probing complaints about absent cards and servers are not ours to
// report. JACK comes in with PortAudio; its hooks are found in the copy already loaded.
void QuietProbes() {
  snd_lib_error_set_handler(&QuietAlsa);
  if (void* jack = dlopen("libjack.so.0", RTLD_LAZY | RTLD_NOLOAD)) {
    using SetFn = void (*)(void (*)(const char*));
    for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
      if (auto set = reinterpret_cast<SetFn>(dlsym(jack, name))) set(&QuietJack);
    }
    dlclose(jack);
  }
}

std::string CaptureSetting() {
  const char* capture = std::getenv("KAZ_WAV_CAPTURE");
  const char* unpaced = std::getenv("KAZ_WAV_UNPACED");
  const char* speedup = std::getenv("KAZ_WAV_SPEEDUP");
  return std::string(capture ? capture : "") + '\n' + (unpaced ? unpaced : "") + '\n' +
         (speedup ? speedup : "");
}

std::vector<DeviceSlot>& Slots() {
  if (g_slots) {
    // While no device runs, a changed capture setting takes effect (a tool or test may
    // record one take after another).
    bool running = false;
    for (const DeviceSlot& s : *g_slots) running = running || s.device != nullptr;
    if (running || CaptureSetting() == g_slotsCapture) return *g_slots;
    delete g_slots;
  }
  g_slots = new std::vector<DeviceSlot>();
  g_slotsCapture = CaptureSetting();
  const char* capture = std::getenv("KAZ_WAV_CAPTURE");
  if (capture && *capture) {
    const char* unpaced = std::getenv("KAZ_WAV_UNPACED");
    const char* speedup = std::getenv("KAZ_WAV_SPEEDUP");
    const double maxSpeed = speedup ? std::max(0.0, std::atof(speedup)) : 0;
    for (int i = 0; i < kCaptureDevices; ++i) {
      DeviceSlot s;
      s.kind = Device::Kind::kCapture;
      s.name = "/dev/dsound/" + std::to_string(i);
      s.description = "DirectSound:WAV capture " + std::to_string(i);
      s.path = capture;
      s.unpaced = unpaced && std::strcmp(unpaced, "1") == 0;
      s.maxSpeed = maxSpeed;
      g_slots->push_back(std::move(s));
    }
    return *g_slots;
  }
  QuietProbes();
  static bool initialized = Pa_Initialize() == paNoError;
  if (initialized) {
    PaDeviceIndex def = Pa_GetDefaultOutputDevice();
    if (def != paNoDevice) {
      const PaDeviceInfo* info = Pa_GetDeviceInfo(def);
      DeviceSlot s;
      s.kind = Device::Kind::kPortAudio;
      s.paIndex = def;
      // Device names come in UTF-8; the player shows them in its code page.
      s.description = std::string("DirectSound:Primary Sound Driver (") +
                      win32::AnsiText(info ? info->name : "") + ")";
      g_slots->push_back(std::move(s));
      for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* d = Pa_GetDeviceInfo(i);
        if (!d || d->maxOutputChannels < 2) continue;
        DeviceSlot t;
        t.kind = Device::Kind::kPortAudio;
        t.paIndex = i;
        t.description = std::string("DirectSound:") + win32::AnsiText(d->name);
        g_slots->push_back(std::move(t));
      }
    }
  }
  if (g_slots->empty()) {
    // Two of them, so that everything that routes decks to two cards works without one.
    for (const char* which : {"", " 2"}) {
      DeviceSlot s;
      s.kind = Device::Kind::kNull;
      s.description = std::string("DirectSound:No sound card (null output") + which + ")";
      g_slots->push_back(std::move(s));
    }
  }
  for (size_t i = 0; i < g_slots->size(); ++i)
    (*g_slots)[i].name = "/dev/dsound/" + std::to_string(i);
  return *g_slots;
}

}  // namespace

int DeviceCount() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return static_cast<int>(Slots().size());
}

bool DeviceInfo(int index, std::string* name, std::string* description) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto& slots = Slots();
  if (index < 0 || index >= static_cast<int>(slots.size())) return false;
  *name = slots[index].name;
  *description = slots[index].description;
  return true;
}

Voice* OpenVoice(int index) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto& slots = Slots();
  if (index < 0 || index >= static_cast<int>(slots.size())) return nullptr;
  DeviceSlot& s = slots[index];
  const bool fresh = !s.device;
  if (fresh) {
    if (s.kind == Device::Kind::kPortAudio) {
      s.device = std::make_unique<PortAudioDevice>(s.paIndex);
    } else {
      std::string path = s.path;
      if (!path.empty() && index > 0) path += "." + std::to_string(index) + ".wav";
      s.device = std::make_unique<SinkDevice>(path, s.unpaced, s.maxSpeed);
    }
  }
  // The voice takes its place before a new device starts: a device runs only while it
  // has a voice.
  auto voice = std::make_unique<Voice>(s.device.get(), kVoiceCapacity);
  const bool attached = s.device->Attach(voice.get());
  if (!attached || (fresh && !s.device->Start())) {
    if (fresh) s.device.reset();
    return nullptr;
  }
  ++s.voices;
  return voice.release();
}

void CloseVoice(Voice* voice) {
  if (!voice) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  Device* device = voice->Owner();
  device->Detach(voice);
  // Wait for a mix that may still read the voice; a device that stopped calling back
  // cannot be holding it.
  // (Leaking it is then safer than freeing it under a stuck callback.)
  if (device->WaitForRenders()) delete voice;
  for (DeviceSlot& s : Slots()) {
    if (s.device.get() == device && --s.voices == 0) {
      s.device->Stop();
      s.device.reset();
    }
  }
}

}  // namespace xdsound
