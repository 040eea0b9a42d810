#include "filter/filter.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>

#include "common/Clock.h"
#include "common/SeqLock.h"
#include "common/SpscRing.h"
#include "filter/LevelMeter.h"
#include "win32/Messages.h"

namespace {

std::atomic<HWND> g_mainWindow{0};

using kazout::MonotonicNs;

// A command given while a report waits for one (see Deliver) is asked after again this soon:
// the player thread carries commands out within moments.
constexpr int64_t kPendingRetryNs = 1000000;

// One deck's filter. The audio side (Process, Reset, Timing: the engine's player thread)
// only measures, writes readings into a single-producer, single-consumer ring and publishes
// the engine's latest timing; the sender thread takes the readings out and sends each when
// its audio is kReportLead reports short of being heard, so a busy window never holds up
// the audio. The sender sleeps until a reading is due or the audio side wakes it (an
// eventfd: a write never blocks, locks or allocates), so an idle deck costs nothing.
class DeckFilter {
 public:
  DeckFilter(int deck, const XA_FilterHost* host)
      : deck_(deck), host_(host), wake_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    sender_ = std::thread([this] { Send(); });
  }
  ~DeckFilter() {
    stop_.store(true);
    Wake();
    sender_.join();
    if (wake_ >= 0) close(wake_);
  }

  // A block of no frames is the end of the stream: the readings held back go out, and
  // enough silent ones after them for the graph's test point to pass the last beat.
  void Process(const float* frames, uint32_t count, uint32_t rate, int64_t heardNs) {
    // A new rate starts the meter afresh (joined files); its frames count on from here.
    if (rate != 0 && rate != meter_.Rate()) base_ = frames_;
    meter_.SetRate(rate);
    Publish(frames_, heardNs);
    const uint32_t generation = generation_.load(std::memory_order_relaxed);
    const uint32_t window = meter_.WindowFrames();
    const int64_t first = frames_;
    const double nsPerFrame = 1e9 / (std::max<uint32_t>(meter_.Rate(), 1) * (speed_ / 1000.0));
    const uint64_t before = ring_.Written();
    auto push = [&](const filter::Reading& r) {
      Item item;
      item.reading = r;
      item.reading.timedFrame += base_;
      item.generation = generation;
      item.window = window;
      item.blockHeardNs =
          heardNs +
          static_cast<int64_t>(static_cast<double>(item.reading.timedFrame - first) * nsPerFrame);
      ring_.Push(item);  // a full ring (a sender long stuck) drops the reading
    };
    if (count == 0)
      meter_.Finish(kReportLead, push);
    else
      meter_.Process(frames, count, push);
    frames_ += count;
    // A sender with a reading in hand sleeps until it is due; one with none, until woken.
    // Either it sees the new readings before it sleeps, or this sees that it sleeps.
    if (ring_.Written() != before) {
      std::atomic_thread_fence(std::memory_order_seq_cst);
      if (idle_.load(std::memory_order_relaxed)) Wake();
    }
  }

  void Timing(int64_t nextHeardNs, int speedPerMille) {
    bool newSpeed = speedPerMille > 0 && speedPerMille != speed_;
    if (speedPerMille > 0) speed_ = speedPerMille;
    Publish(frames_, nextHeardNs);
    // The reading being waited for may be due sooner now.
    if (newSpeed) Wake();
  }

  void Reset() {
    meter_.Reset();
    frames_ = 0;
    base_ = 0;
    generation_.fetch_add(1, std::memory_order_release);
    Wake();
  }

 private:
  struct Item {
    filter::Reading reading;
    uint32_t generation = 0;
    uint32_t window = 0;
    int64_t blockHeardNs = 0;  // when it is heard by the prediction that came with it
  };

  void Wake() {
    uint64_t one = 1;
    if (wake_ >= 0) {
      [[maybe_unused]] ssize_t n = write(wake_, &one, sizeof one);
    }
  }
  // Sleeps until `untilNs` (CLOCK_MONOTONIC; 0 for as long as it takes) or a wake-up.
  // Without an eventfd (none to be had) it looks again every 2 ms.
  void Sleep(int64_t untilNs) {
    int64_t left = untilNs > 0 ? std::max<int64_t>(0, untilNs - MonotonicNs()) : -1;
    if (wake_ < 0 && (left < 0 || left > 2000000)) left = 2000000;
    timespec ts{static_cast<time_t>(left / 1000000000LL), static_cast<long>(left % 1000000000LL)};
    pollfd p{wake_, POLLIN, 0};
    if (ppoll(&p, 1, left < 0 ? nullptr : &ts, nullptr) > 0) {
      uint64_t n;
      [[maybe_unused]] ssize_t r = read(wake_, &n, sizeof n);
    }
  }

  // Frame `frame` is heard at `ns`, and the audio plays at `speed` per mille of `rate`.
  struct Anchor {
    int64_t frame = 0;
    int64_t ns = 0;
    uint32_t rate = 0;
    int speed = 1000;
  };

  // The sender never waits for the audio side: it reads the anchor again.
  void Publish(int64_t frame, int64_t ns) { anchor_.Store({frame, ns, meter_.Rate(), speed_}); }
  Anchor Latest() const { return anchor_.Load(); }

  void Send() {
    // Named so that tools (and tests) can tell it among the player's threads.
    pthread_setname_np(pthread_self(), deck_ == 1 ? "kaz levels 1" : "kaz levels 2");
    while (!stop_.load()) {
      if (ring_.Readable() == 0) {
        idle_.store(true, std::memory_order_seq_cst);
        // Pairs with the audio side's fence: either it sees idle_, or this sees its reading.
        std::atomic_thread_fence(std::memory_order_seq_cst);
        if (ring_.Readable() == 0 && !stop_.load()) Sleep(0);
        idle_.store(false, std::memory_order_relaxed);
        continue;
      }
      const Item item = ring_.Peek(0);
      if (item.generation != generation_.load(std::memory_order_acquire)) {
        ring_.Drop(1);  // never to be heard
        continue;
      }
      // Timed from the latest prediction, not the one of the item's own block: a speed
      // change since then moves when it is heard.
      Anchor a = Latest();
      double nsPerFrame = 1e9 / (std::max<uint32_t>(a.rate, 1) * (a.speed / 1000.0));
      int64_t heardNs =
          a.ns +
          static_cast<int64_t>(static_cast<double>(item.reading.timedFrame - a.frame) * nsPerFrame);
      int64_t dueNs = heardNs - static_cast<int64_t>(kReportLead * item.window * nsPerFrame);
      int64_t now = MonotonicNs();
      if (dueNs > now) {
        Sleep(dueNs);  // a reset, a speed change or a stop wakes it early
        continue;
      }
      // A report whose audio was heard more than a second ago (a window that did not
      // answer) is history. Judged by its own block's prediction: a sink that is not paced
      // hears each block when it is given, which no later prediction can extrapolate.
      HWND hwnd = g_mainWindow.load();
      if (now - item.blockHeardNs > 1000000000LL || !hwnd) {
        ring_.Drop(1);
        continue;
      }
      if (!Deliver(hwnd, item)) {
        Sleep(MonotonicNs() + kPendingRetryNs);  // a command given may yet drop it
        continue;
      }
      ring_.Drop(1);
    }
  }

  // Hands the report to the main window's thread and checks there, just before the
  // handlers run, that its audio is still to be heard. That thread gives the player its
  // commands (seek, pause, stop, load) and then drops the points it was given of audio not
  // heard. A check anywhere else is not ordered with that: a report checked before the
  // player's reset could still be taken after the command. Checked on that thread, the
  // report is taken either before the command is given, and its point is dropped with the
  // others, or after: then the command counts as given, and until the player has carried
  // it out nothing is sent (answers false: ask again); once it has, its resets are seen
  // here and a report of audio handed over before them is dropped. The window's thread
  // never waits for this one.
  bool Deliver(HWND hwnd, const Item& item) {
    bool pending = false;
    auto deliver = [&] {
      if (host_ && host_->commands_pending(host_->player)) {
        pending = true;
        return;
      }
      if (item.generation != generation_.load(std::memory_order_acquire)) return;
      SendMessageA(hwnd, WM_DECK_LEVEL,
                   static_cast<WPARAM>(static_cast<uint32_t>(item.reading.level)),
                   deck_ == 1 ? 1 : 2);
      int16_t pair[2] = {item.reading.vuLeft, item.reading.vuRight};
      SendMessageA(hwnd, WM_DECK_VU, reinterpret_cast<WPARAM>(pair), deck_ == 1 ? 0 : 1);
    };
    // A window of another program (or one gone) has no thread here to order with.
    const DWORD thread = GetWindowThreadId(hwnd);
    if (thread == 0)
      deliver();
    else
      win32::CallOnThread(thread, deliver);
    return !pending;
  }

  int deck_;
  const XA_FilterHost* host_;  // null when no player hosts this filter
  filter::LevelMeter meter_;
  int64_t frames_ = 0;  // handed over since the last reset; audio side only
  int64_t base_ = 0;    // frames_ when the meter last started afresh; audio side only
  int speed_ = 1000;    // audio side only
  kazout::SpscRing<Item> ring_{1024};
  std::atomic<uint32_t> generation_{0};
  // On a cache line of its own: written with every block, read for every report.
  alignas(64) kazout::SeqLock<Anchor> anchor_;
  alignas(64) std::atomic<bool> stop_{false};
  std::atomic<bool> idle_{false};  // the sender sleeps until woken
  int wake_ = -1;                  // eventfd the audio side writes to wake the sender
  std::thread sender_;
};

DeckFilter* F(void* instance) {
  return static_cast<DeckFilter*>(instance);
}

void* OpenDeck1(const XA_FilterHost* host) {
  return new DeckFilter(1, host);
}
void* OpenDeck2(const XA_FilterHost* host) {
  return new DeckFilter(2, host);
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

int Register(XA_FilterModule* module, void* (*open)(const XA_FilterHost*), const char* name) {
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
