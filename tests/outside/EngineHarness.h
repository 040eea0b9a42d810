// Drives the engine library through its C entry points, as the deck component does: the
// library is loaded by name from the program's folder, notifications arrive at a hidden
// window of the test thread and are decoded and recorded while the test pumps messages.
#pragma once

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/Clock.h"
#include "win32/Messages.h"
#include "win32/Modules.h"
#include "xaudio/xaudio.h"

namespace kazout {

// The engine's and the sinks' clock, which the captures' times are read against.
inline int64_t NowNs() { return MonotonicNs(); }

// The output filter library, loaded by name as the engine loads it, with its entry that
// names the window its reports go to. Freed with the object.
struct FilterLibrary {
  FilterLibrary() : module(LoadLibraryA("filter.dll")) {
    if (module) getHdl = reinterpret_cast<int (*)(HWND)>(GetProcAddress(module, "GetHdl"));
  }
  ~FilterLibrary() {
    if (module) FreeLibrary(module);
  }
  FilterLibrary(const FilterLibrary&) = delete;
  FilterLibrary& operator=(const FilterLibrary&) = delete;
  bool Loaded() const { return module != nullptr && getHdl != nullptr; }
  void ReportTo(HWND window) const { getHdl(window); }

  HMODULE module = nullptr;
  int (*getHdl)(HWND) = nullptr;
};

// KAZ_WAV_SPEEDUP for takes whose level reports are counted: the reports of 16 seconds of
// audio a second leave a slow machine's sender room to keep up.
inline constexpr const char* kReportSpeedup = "16";

inline std::string TestData(const std::string& name) {
  return std::string(KAZ_TESTDATA_DIR) + "/" + name;
}

// A notification as the test keeps it: the record's words and copies of its texts.
struct Note {
  int code = 0;
  uint8_t bytes[4] = {};
  uint32_t value1 = 0;
  uint32_t value2 = 0;
  int16_t code16 = 0;
  std::string text1, text2;
  XA_EqualizerInfo equalizer{};
  int64_t atNs = 0;
};

using kaztest::PumpUntil;

class Engine {
 public:
  Engine() {
    lib_ = LoadLibraryA("xaudio.dll");
    if (!lib_) return;
#define KAZ_BIND(name) name##_ = reinterpret_cast<decltype(&::name)>(GetProcAddress(lib_, #name))
    KAZ_BIND(player_new);
    KAZ_BIND(player_delete);
    KAZ_BIND(xaudio_get_version);
    KAZ_BIND(xaudio_error_string);
    KAZ_BIND(control_message_send_N);
    KAZ_BIND(control_message_send_P);
    KAZ_BIND(control_message_send_S);
    KAZ_BIND(control_message_send_SI);
    KAZ_BIND(control_message_send_I);
    KAZ_BIND(control_message_send_II);
    KAZ_BIND(control_message_send_III);
    KAZ_BIND(control_win32_params_to_message);
#undef KAZ_BIND
    hwnd_ = CreateWindowWithProc([this](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
      XA_Message m{};
      if (player_ && control_win32_params_to_message_(player_, &m, msg, w, l) == 0) Record(m);
      if (OnMessage) OnMessage(msg, w, l);
      return 0;
    });
    if (player_new_) player_new_(&player_, &hwnd_);
  }
  ~Engine() {
    if (player_) {
      void* p = player_;
      player_ = nullptr;
      player_delete_(p);
    }
    if (hwnd_) DestroyWindow(hwnd_);
    if (lib_) FreeLibrary(lib_);
  }

  // Makes the player again in a process that has no file descriptor to spare, and gives
  // the process its descriptors back.
  void RenewPlayerWithoutDescriptors() {
    player_delete_(player_);
    player_ = nullptr;
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit none = saved;
    none.rlim_cur = 0;
    setrlimit(RLIMIT_NOFILE, &none);
    player_new_(&player_, &hwnd_);
    setrlimit(RLIMIT_NOFILE, &saved);
  }

  bool Ready() const {
    return lib_ && player_;
  }
  void* Player() const {
    return player_;
  }
  HWND Window() const {
    return hwnd_;
  }
  HMODULE Library() const {
    return lib_;
  }

  int N(int code) {
    return control_message_send_N_(player_, code);
  }
  int P(int code, const void* p) {
    return control_message_send_P_(player_, code, p);
  }
  int S(int code, const std::string& s) {
    return control_message_send_S_(player_, code, s.c_str());
  }
  int SI(int code, const std::string& s, int i) {
    return control_message_send_SI_(player_, code, s.c_str(), i);
  }
  int I(int code, int i) {
    return control_message_send_I_(player_, code, i);
  }
  int II(int code, int a, int b) {
    return control_message_send_II_(player_, code, a, b);
  }
  int III(int code, int a, int b, int c) {
    return control_message_send_III_(player_, code, a, b, c);
  }

  std::vector<Note>& Notes() {
    return notes_;
  }
  std::vector<Note> Of(int code) const {
    std::vector<Note> out;
    for (const Note& n : notes_)
      if (n.code == code) out.push_back(n);
    return out;
  }
  // Notifications of `code` after the first `from` notes.
  size_t Count(int code, size_t from = 0) const {
    size_t n = 0;
    for (size_t i = from; i < notes_.size(); ++i) n += notes_[i].code == code;
    return n;
  }
  // Waits for a notification of `code` after the first `from` notes.
  bool WaitFor(int code, int ms, size_t from = 0) {
    return PumpUntil(
        [&] {
          for (size_t i = from; i < notes_.size(); ++i)
            if (notes_[i].code == code) return true;
          return false;
        },
        ms);
  }
  bool WaitForState(int state, int ms, size_t from = 0) {
    return PumpUntil(
        [&] {
          for (size_t i = from; i < notes_.size(); ++i)
            if (notes_[i].code == XA_MSG_NOTIFY_PLAYER_STATE && notes_[i].bytes[0] == state)
              return true;
          return false;
        },
        ms);
  }
  // Opens a file and waits for its duration (or an error); answers the duration or -1.
  int Open(const std::string& path, int ms = 5000) {
    size_t from = notes_.size();
    S(XA_MSG_COMMAND_INPUT_OPEN, path);
    bool got = PumpUntil(
        [&] {
          for (size_t i = from; i < notes_.size(); ++i)
            if (notes_[i].code == XA_MSG_NOTIFY_STREAM_DURATION ||
                notes_[i].code == XA_MSG_NOTIFY_ERROR)
              return true;
          return false;
        },
        ms);
    if (!got) return -2;
    for (size_t i = from; i < notes_.size(); ++i) {
      if (notes_[i].code == XA_MSG_NOTIFY_STREAM_DURATION) {
        // The rest of the answer (position, state) follows at once.
        WaitForState(XA_PLAYER_STATE_STOPPED, 1000, i);
        return static_cast<int>(notes_[i].value1);
      }
    }
    return -1;
  }
  // Plays from the current position to the end of the stream.
  bool PlayToEnd(int ms) {
    size_t from = notes_.size();
    N(XA_MSG_COMMAND_PLAY);
    return WaitForState(XA_PLAYER_STATE_EOS, ms, from);
  }

  std::function<void(UINT, WPARAM, LPARAM)> OnMessage;

  decltype(&::player_new) player_new_ = nullptr;
  decltype(&::player_delete) player_delete_ = nullptr;
  decltype(&::xaudio_get_version) xaudio_get_version_ = nullptr;
  decltype(&::xaudio_error_string) xaudio_error_string_ = nullptr;
  decltype(&::control_message_send_N) control_message_send_N_ = nullptr;
  decltype(&::control_message_send_P) control_message_send_P_ = nullptr;
  decltype(&::control_message_send_S) control_message_send_S_ = nullptr;
  decltype(&::control_message_send_SI) control_message_send_SI_ = nullptr;
  decltype(&::control_message_send_I) control_message_send_I_ = nullptr;
  decltype(&::control_message_send_II) control_message_send_II_ = nullptr;
  decltype(&::control_message_send_III) control_message_send_III_ = nullptr;
  decltype(&::control_win32_params_to_message) control_win32_params_to_message_ = nullptr;

 private:
  void Record(const XA_Message& m) {
    Note n;
    n.code = m.code;
    std::memcpy(n.bytes, m.w1.bytes, 4);
    n.value1 = m.w1.value;
    n.code16 = m.w1.nack.code;
    n.atNs = NowNs();
    switch (m.code) {
      case XA_MSG_NOTIFY_INPUT_POSITION:
      case XA_MSG_NOTIFY_STREAM_PARAMETERS:
        n.value2 = m.w2.value;
        break;
      case XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_INTEGER:
        n.text1 = m.w2.text ? m.w2.text : "";
        n.value2 = static_cast<uint32_t>(m.w3.value);
        break;
      case XA_MSG_NOTIFY_INPUT_NAME:
      case XA_MSG_NOTIFY_OUTPUT_NAME:
      case XA_MSG_NOTIFY_STREAM_MIME_TYPE:
      case XA_MSG_NOTIFY_ERROR:
        n.text1 = m.w2.text ? m.w2.text : "";
        break;
      case XA_MSG_NOTIFY_OUTPUT_MODULE_INFO:
      case XA_MSG_NOTIFY_OUTPUT_DEVICE_INFO:
        n.text1 = m.w2.text ? m.w2.text : "";
        n.text2 = m.w3.text ? m.w3.text : "";
        break;
      case XA_MSG_NOTIFY_CODEC_EQUALIZER:
        if (m.w2.equalizer) n.equalizer = *m.w2.equalizer;
        break;
      default:
        break;
    }
    notes_.push_back(n);
  }

  HMODULE lib_ = nullptr;
  HWND hwnd_ = 0;
  void* player_ = nullptr;
  std::vector<Note> notes_;
};

// A capture made by the WAV sink: float stereo frames and the time of frame 0.
struct Capture {
  uint32_t rate = 0;
  int64_t firstNs = 0;
  std::vector<float> samples;  // interleaved
  size_t Frames() const { return samples.size() / 2; }
  float L(size_t i) const { return samples[i * 2]; }
  float R(size_t i) const { return samples[i * 2 + 1]; }
};

inline Capture ReadCapture(const std::string& path) {
  Capture c;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return c;
  unsigned char h[44];
  if (std::fread(h, 1, 44, f) == 44) {
    c.rate = h[24] | (h[25] << 8) | (h[26] << 16) | (static_cast<uint32_t>(h[27]) << 24);
    float buf[2048];
    size_t n;
    while ((n = std::fread(buf, sizeof(float), 2048, f)) > 0)
      c.samples.insert(c.samples.end(), buf, buf + n);
    if (c.samples.size() % 2) c.samples.pop_back();
  }
  std::fclose(f);
  if (std::FILE* j = std::fopen((path + ".json").c_str(), "r")) {
    char text[512] = {};
    size_t len = std::fread(text, 1, sizeof(text) - 1, j);
    text[len] = 0;
    if (const char* p = std::strstr(text, "\"first_frame_monotonic_ns\":"))
      c.firstNs = std::atoll(p + 27);
    std::fclose(j);
  }
  return c;
}

// Magnitude of one frequency in a stretch of a channel (Goertzel).
inline double ToneLevel(const Capture& c, int channel, size_t from, size_t count, double hz) {
  double w = 2 * M_PI * hz / c.rate, k = 2 * std::cos(w), s1 = 0, s2 = 0;
  for (size_t i = from; i < from + count && i < c.Frames(); ++i) {
    double s = c.samples[i * 2 + channel] + k * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  return std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - k * s1 * s2)) / (count / 2.0);
}

inline double Rms(const Capture& c, int channel, size_t from, size_t count) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = from; i < from + count && i < c.Frames(); ++i, ++n)
    sum += c.samples[i * 2 + channel] * c.samples[i * 2 + channel];
  return n ? std::sqrt(sum / n) : 0.0;
}

// The first frame whose sample exceeds `threshold` on either channel, or Frames().
inline size_t Onset(const Capture& c, float threshold = 1e-3f) {
  for (size_t i = 0; i < c.Frames(); ++i)
    if (std::fabs(c.L(i)) > threshold || std::fabs(c.R(i)) > threshold) return i;
  return c.Frames();
}

// The capture frame at which each frame of the track from capture frame `start` on was
// heard. The test tracks never hold a stretch of exact digital silence, so one after
// `start` is a dropout (the machine stalled the player for a moment): no frame of the track
// was heard in it, and the track goes on after it, later than its own length says.
inline std::vector<size_t> HeardFrames(const Capture& c, size_t start) {
  constexpr size_t kDropoutFrames = 16;
  const auto silent = [&](size_t i) { return c.L(i) == 0.0f && c.R(i) == 0.0f; };
  std::vector<size_t> heard;
  for (size_t i = start; i < c.Frames();) {
    size_t j = i;
    while (j < c.Frames() && silent(j)) ++j;
    if (j - i >= kDropoutFrames && j < c.Frames()) {
      i = j;
      continue;
    }
    for (; i < j; ++i) heard.push_back(i);
    if (i < c.Frames()) heard.push_back(i++);
  }
  return heard;
}

// The dropouts among the heard frames, as spans [from, to) of capture frames. While one
// lasts the player is stalled: what it timed before it, for audio after it, goes by a
// schedule the dropout broke, until the player runs again.
inline std::vector<std::pair<size_t, size_t>> Dropouts(const std::vector<size_t>& heard) {
  std::vector<std::pair<size_t, size_t>> out;
  for (size_t i = 1; i < heard.size(); ++i)
    if (heard[i] > heard[i - 1] + 1) out.push_back({heard[i - 1] + 1, heard[i]});
  return out;
}

// Whether a dropout lies between two capture frames, in either order.
inline bool DropoutBetween(const std::vector<size_t>& heard, double a, double b) {
  for (const auto& [from, to] : Dropouts(heard))
    if (from < std::max(a, b) && to > std::min(a, b)) return true;
  return false;
}

}  // namespace kazout
