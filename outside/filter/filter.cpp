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

// One deck's filter. The audio side (Process, Reset: the engine's player thread) only
// measures and writes readings into a single-producer, single-consumer ring; the sender
// thread takes them out and sends each when its audio is heard, so a busy window never
// holds up the audio.
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
    uint32_t generation = generation_.load(std::memory_order_relaxed);
    double nsPerFrame = 1e9 / meter_.Rate();
    uint32_t window = meter_.WindowFrames();
    meter_.Process(frames, count, [&](const filter::Reading& r) {
      Item item;
      item.reading = r;
      item.generation = generation;
      // The report goes out when its window starts to be heard.
      item.dueNs =
          heardNs + static_cast<int64_t>((static_cast<double>(r.endFrame) - window) * nsPerFrame);
      uint64_t head = head_.load(std::memory_order_relaxed);
      if (head - tail_.load(std::memory_order_acquire) < ring_.size()) {
        ring_[head % ring_.size()] = item;
        head_.store(head + 1, std::memory_order_release);
      }
    });
  }

  void Reset() {
    meter_.Reset();
    generation_.fetch_add(1, std::memory_order_release);
  }

 private:
  struct Item {
    filter::Reading reading;
    uint32_t generation = 0;
    int64_t dueNs = 0;
  };

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
      int64_t now = MonotonicNs();
      if (item.dueNs > now) {
        // Short sleeps, so that a reset or a stop is noticed while waiting.
        int64_t until = std::min(item.dueNs, now + 5000000);
        timespec ts{static_cast<time_t>(until / 1000000000LL),
                    static_cast<long>(until % 1000000000LL)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
        continue;
      }
      tail_.store(tail + 1, std::memory_order_release);
      // Reports more than a second late (a window that did not answer) are history.
      if (now - item.dueNs > 1000000000LL) continue;
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
  std::array<Item, 1024> ring_{};
  std::atomic<uint64_t> head_{0};
  std::atomic<uint64_t> tail_{0};
  std::atomic<uint32_t> generation_{0};
  std::atomic<bool> stop_{false};
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

int Register(XA_FilterModule* module, void* (*open)(), const char* name) {
  if (!module || module->size < sizeof(XA_FilterModule)) return -1;
  module->name = name;
  module->open = open;
  module->close = &Close;
  module->process = &Process;
  module->reset = &Reset;
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
