#include "filter/filter.h"

#include <time.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "filter/LevelMeter.h"
#include "win32/Messages.h"

namespace {

std::atomic<HWND> g_mainWindow{0};

int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// One deck's filter. The audio side (Process, Reset, Timing: the engine's player thread)
// only measures, writes readings into a single-producer, single-consumer ring and publishes
// the engine's latest timing; the sender thread takes the readings out and sends each when
// its audio is kReportLead reports short of being heard, so a busy window never holds up
// the audio.
class DeckFilter {
 public:
  explicit DeckFilter(int deck) : deck_(deck) {
    sender_ = std::thread([this] { Send(); });
  }
  ~DeckFilter() {
    stop_.store(true);
    sender_.join();
  }

  void Process(const float* frames, uint32_t count, uint32_t rate, int64_t heardNs) {
    meter_.SetRate(rate);
    Publish(frames_, heardNs);
    uint32_t generation = generation_.load(std::memory_order_relaxed);
    uint32_t window = meter_.WindowFrames();
    int64_t first = frames_;
    double nsPerFrame = 1e9 / (std::max<uint32_t>(meter_.Rate(), 1) * (speed_ / 1000.0));
    meter_.Process(frames, count, [&](const filter::Reading& r) {
      Item item;
      item.reading = r;
      item.generation = generation;
      item.startFrame = first + r.endFrame - window;
      item.window = window;
      item.blockHeardNs =
          heardNs + static_cast<int64_t>(static_cast<double>(item.startFrame - first) * nsPerFrame);
      uint64_t head = head_.load(std::memory_order_relaxed);
      if (head - tail_.load(std::memory_order_acquire) < ring_.size()) {
        ring_[head % ring_.size()] = item;
        head_.store(head + 1, std::memory_order_release);
      }
    });
    frames_ += count;
  }

  void Timing(int64_t nextHeardNs, int speedPerMille) {
    if (speedPerMille > 0) speed_ = speedPerMille;
    Publish(frames_, nextHeardNs);
  }

  void Reset() {
    meter_.Reset();
    frames_ = 0;
    generation_.fetch_add(1, std::memory_order_release);
  }

 private:
  struct Item {
    filter::Reading reading;
    uint32_t generation = 0;
    int64_t startFrame = 0;  // the window's first frame, counted from the last reset
    uint32_t window = 0;
    int64_t blockHeardNs = 0;  // when it is heard by the prediction that came with it
  };
  // Frame `frame` is heard at `ns`, and the audio plays at `speed` per mille of `rate`.
  struct Anchor {
    int64_t frame = 0;
    int64_t ns = 0;
    uint32_t rate = 0;
    int speed = 1000;
  };

  // A sequence lock: the sender never waits for the audio side, it reads again.
  void Publish(int64_t frame, int64_t ns) {
    uint32_t seq = anchorSeq_.load(std::memory_order_relaxed);
    anchorSeq_.store(seq + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    anchorFrame_.store(frame, std::memory_order_relaxed);
    anchorNs_.store(ns, std::memory_order_relaxed);
    anchorRate_.store(meter_.Rate(), std::memory_order_relaxed);
    anchorSpeed_.store(speed_, std::memory_order_relaxed);
    anchorSeq_.store(seq + 2, std::memory_order_release);
  }
  Anchor Latest() const {
    Anchor a;
    for (;;) {
      uint32_t s1 = anchorSeq_.load(std::memory_order_acquire);
      a.frame = anchorFrame_.load(std::memory_order_relaxed);
      a.ns = anchorNs_.load(std::memory_order_relaxed);
      a.rate = anchorRate_.load(std::memory_order_relaxed);
      a.speed = anchorSpeed_.load(std::memory_order_relaxed);
      std::atomic_thread_fence(std::memory_order_acquire);
      if (!(s1 & 1) && anchorSeq_.load(std::memory_order_relaxed) == s1) return a;
    }
  }

  void Send() {
    while (!stop_.load()) {
      uint64_t tail = tail_.load(std::memory_order_relaxed);
      if (tail == head_.load(std::memory_order_acquire)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      Item item = ring_[tail % ring_.size()];
      if (item.generation != generation_.load(std::memory_order_acquire)) {
        tail_.store(tail + 1, std::memory_order_release);  // never to be heard
        continue;
      }
      // Timed from the latest prediction, not the one of the item's own block: a speed
      // change since then moves when it is heard.
      Anchor a = Latest();
      double nsPerFrame = 1e9 / (std::max<uint32_t>(a.rate, 1) * (a.speed / 1000.0));
      int64_t heardNs =
          a.ns + static_cast<int64_t>(static_cast<double>(item.startFrame - a.frame) * nsPerFrame);
      int64_t dueNs = heardNs - static_cast<int64_t>(kReportLead * item.window * nsPerFrame);
      int64_t now = MonotonicNs();
      if (dueNs > now) {
        // Short sleeps, so that a reset, a speed change or a stop is noticed while waiting.
        int64_t until = std::min(dueNs, now + 5000000);
        timespec ts{static_cast<time_t>(until / 1000000000LL),
                    static_cast<long>(until % 1000000000LL)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
        continue;
      }
      tail_.store(tail + 1, std::memory_order_release);
      // A reset may have come while it was timed.
      if (item.generation != generation_.load(std::memory_order_acquire)) continue;
      // A report whose audio was heard more than a second ago (a window that did not
      // answer) is history. Judged by its own block's prediction: a sink that is not paced
      // hears each block when it is given, which no later prediction can extrapolate.
      if (now - item.blockHeardNs > 1000000000LL) continue;
      HWND hwnd = g_mainWindow.load();
      if (!hwnd) continue;
      SendMessageA(hwnd, WM_DECK_LEVEL,
                   static_cast<WPARAM>(static_cast<uint32_t>(item.reading.level)),
                   deck_ == 1 ? 1 : 2);
      int16_t pair[2] = {item.reading.vuLeft, item.reading.vuRight};
      SendMessageA(hwnd, WM_DECK_VU, reinterpret_cast<WPARAM>(pair), deck_ == 1 ? 0 : 1);
    }
  }

  int deck_;
  filter::LevelMeter meter_;
  int64_t frames_ = 0;  // handed over since the last reset; audio side only
  int speed_ = 1000;    // audio side only
  std::array<Item, 1024> ring_{};
  std::atomic<uint64_t> head_{0};
  std::atomic<uint64_t> tail_{0};
  std::atomic<uint32_t> generation_{0};
  // On a cache line of their own: written with every block, read for every report.
  alignas(64) std::atomic<uint32_t> anchorSeq_{0};
  std::atomic<int64_t> anchorFrame_{0};
  std::atomic<int64_t> anchorNs_{0};
  std::atomic<uint32_t> anchorRate_{0};
  std::atomic<int> anchorSpeed_{1000};
  alignas(64) std::atomic<bool> stop_{false};
  std::thread sender_;
};

DeckFilter* F(void* instance) {
  return static_cast<DeckFilter*>(instance);
}

void* OpenDeck1() {
  return new DeckFilter(1);
}
void* OpenDeck2() {
  return new DeckFilter(2);
}
void Close(void* instance) {
  delete F(instance);
}
void Process(void* instance, float* frames, uint32_t count, uint32_t rate, int64_t heardNs) {
  F(instance)->Process(frames, count, rate, heardNs);
}
void Reset(void* instance) {
  F(instance)->Reset();
}
void Timing(void* instance, int64_t nextHeardNs, int speedPerMille) {
  F(instance)->Timing(nextHeardNs, speedPerMille);
}

int Register(XA_FilterModule* module, void* (*open)(), const char* name) {
  if (!module || module->size < sizeof(XA_FilterModule)) return -1;
  module->name = name;
  module->open = open;
  module->close = &Close;
  module->process = &Process;
  module->reset = &Reset;
  module->timing = &Timing;
  return 0;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int GetHdl(HWND mainWindow) {
  g_mainWindow.store(mainWindow);
  return 0;
}

__attribute__((visibility("default"))) int output_filter_module_register1(XA_FilterModule* module) {
  return Register(module, &OpenDeck1, "deck 1 levels");
}

__attribute__((visibility("default"))) int output_filter_module_register2(XA_FilterModule* module) {
  return Register(module, &OpenDeck2, "deck 2 levels");
}

}  // extern "C"
