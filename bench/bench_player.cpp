// The cost of one level report in the player's window: the handler with its drawing on
// the window's surface, as the output filter's thread waits for it. Also the VU meters:
// one VU report with its ring write (`vu_handler_ns`, `vu_handler_allocs`) and one tick of
// their timer moving all four bars with their drawing (`vu_tick_ns`). The worst case is
// measured: both decks on the graph (the other one paused), both beat lines and the sound
// line shown, a kick every 20 levels so the lamp and the beat line keep changing. Prints
// `level_handler_ns` (mean per call) and `level_handler_allocs` (heap allocations per call).
// Then a 10 s manual mix: `mix_sweep_error_ms` (its measured length minus 10,000 ms) and
// `mix_step_jitter_p99_ms` (99th percentile of how far a step's spacing is from 100 ms).
//
// No engine is needed: the start-up's engine step fails (its message box is answered
// here) and the deck records are filled afterwards, which is all the handler reads.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "classlib/Dialogs.h"
#include "filter/filter.h"
#include "player/uMain.h"

namespace {

std::atomic<long> g_allocs{0};

using Clock = std::chrono::steady_clock;
constexpr int kWarmup = 2000;
constexpr int kCalls = 200000;

}  // namespace

void* operator new(std::size_t size) {
  g_allocs.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

// The VU meters with both decks playing and shown, every bar moving at each tick: the
// reports alternate between loud and quiet, so the bars never settle.
void MeasureVU() {
  Deck1.PlayState = Deck2.PlayState = 1;
  frmMain->chkVuMeters->SetChecked(true);
  frmMain->tmrVU->SetEnabled(false);  // ticks are run here, one by one
  Smallint pair[2] = {0, 0};
  TMessage m{WM_DECK_VU, reinterpret_cast<WPARAM>(pair), 0, 0};
  auto report = [&](int i) {
    pair[0] = static_cast<Smallint>(i % 78 < 39 ? 48 : 2);
    pair[1] = static_cast<Smallint>(50 - pair[0]);
    m.LParam = i & 1;
    frmMain->WMDeckVU(m);
  };
  for (int i = 0; i < kWarmup; ++i) report(i);
  long allocsBefore = g_allocs.load();
  auto t0 = Clock::now();
  for (int i = 0; i < kCalls; ++i) report(i);
  auto t1 = Clock::now();
  std::printf("vu_handler_ns %.1f\n",
              std::chrono::duration<double, std::nano>(t1 - t0).count() / kCalls);
  std::printf("vu_handler_allocs %.3f\n",
              static_cast<double>(g_allocs.load() - allocsBefore) / kCalls);

  // One report per tick, as at the fastest refresh (10 ms against a report every ~23 ms
  // the ticks outnumber the reports; here every tick has something new to show).
  constexpr int kTicks = 20000;
  for (int i = 0; i < 200; ++i) {
    report(i);
    frmMain->tmrVU->FireTimer();
  }
  std::chrono::duration<double, std::nano> ticking{0};
  for (int i = 0; i < kTicks; ++i) {
    report(i);
    t0 = Clock::now();
    frmMain->tmrVU->FireTimer();
    ticking += Clock::now() - t0;
  }
  std::printf("vu_tick_ns %.0f\n", ticking.count() / kTicks);
}

}  // namespace

int main() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Application->Initialize();
  SetDialogAnswererForTesting([](const TDialogRequest&) { return TDialogAnswer{IDOK, true, ""}; });
  Application->CreateForm(frmMain);
  frmMain->Show();
  Application->ProcessMessages();
  frmMain->InitPlayers();
  for (Integer i = 0; i < GraphPointCount; ++i) {
    const TPoint bottom{302 + 3 * i, 199};
    Deck1.GraphPts[i] = Deck1.OldPts[i] = Deck2.GraphPts[i] = Deck2.OldPts[i] = bottom;
    Deck1.BeatMarks[i] = Deck2.BeatMarks[i] = -1;
  }
  Deck1.LineY = Deck1.OldLineY = Deck2.LineY = Deck2.OldLineY = 126;
  Deck1.BoomLine = Deck2.BoomLine = -1;
  Deck2.PlayState = 2;
  SoundLine = -1;

  TMessage m{WM_DECK_LEVEL, 0, 1, 0};
  // Mean time and allocations per call over a kick pattern: three loud levels in twenty.
  auto measure = [&](const char* name) {
    auto call = [&](int i) {
      m.WParam = static_cast<WPARAM>(i % 20 < 3 ? 27000 : 1800);
      frmMain->WMDeckLevel(m);
    };
    for (int i = 0; i < kWarmup; ++i) call(i);
    const long allocsBefore = g_allocs.load();
    const auto t0 = Clock::now();
    for (int i = 0; i < kCalls; ++i) call(i);
    const auto t1 = Clock::now();
    const long allocs = g_allocs.load() - allocsBefore;
    std::printf("%s_ns %.0f\n", name,
                std::chrono::duration<double, std::nano>(t1 - t0).count() / kCalls);
    std::printf("%s_allocs %.3f\n", name, static_cast<double>(allocs) / kCalls);
  };
  measure("level_handler");
  // As the player starts: one deck on the graph, no beat lines, no sound line.
  Deck1.BoomLine = Deck2.BoomLine = 0;
  Deck2.PlayState = 0;
  SoundLine = 0;
  measure("level_handler_one_deck");

  MeasureVU();
  // A 10 s manual mix on the threaded timer, in the program's own event loop: how much
  // longer than 10 s the sweep takes, and how evenly its 100 steps come. The decks have no
  // engine here, so a step only moves the fader.
  Deck1.Xaudio = Deck2.Xaudio = nullptr;
  std::vector<Clock::time_point> ticks;
  ticks.reserve(128);
  auto step = frmMain->tmrTrans->OnTimer;
  frmMain->tmrTrans->OnTimer = [&](TObject* Sender) {
    ticks.push_back(Clock::now());
    step(Sender);
    if (!MixRunning) Application->Terminate();
  };
  PlaceHSlider(frmMain->imgSldVol, frmMain->imgSldrVol, 0, 100, 0);
  frmMain->spnMixLength->SetValue(10);
  const auto start = Clock::now();
  frmMain->btnMixClick(frmMain->btnMix);
  Application->Run();
  auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
  std::vector<double> jitter;
  for (std::size_t i = 0; i < ticks.size(); ++i)
    jitter.push_back(std::fabs(ms(ticks[i] - (i ? ticks[i - 1] : start)) - 100));
  std::sort(jitter.begin(), jitter.end());
  const double sweep = ticks.empty() ? 0 : ms(ticks.back() - start);
  std::printf("mix_steps %zu\n", ticks.size());
  std::printf("mix_sweep_error_ms %.2f\n", sweep - 10000);
  std::printf("mix_step_jitter_p99_ms %.3f\n",
              jitter.empty() ? 0 : jitter[std::min(jitter.size() - 1, jitter.size() * 99 / 100)]);
  return 0;
}
