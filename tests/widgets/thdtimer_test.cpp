// The threaded timer: ticks handed to the GUI thread one at a time, enabling and re-timing,
// and teardown in every state of the worker. The test's main thread is the GUI thread and
// pumps its queue itself; the races are repeated so that a wrong ordering shows.
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include <poll.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "widgets/ThdTimer.h"

namespace {

using kaztest::PumpFor;
using kaztest::PumpUntil;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Counts the ticks of one timer, notes when each came, and checks where and how they run.
struct TickLog {
  int ticks = 0;  // GUI thread only, like every handler
  std::vector<Clock::time_point> at;
  bool inside = false;
  bool overlapped = false;
  bool off_main_thread = false;
  bool wrong_sender = false;

  TNotifyEvent Handler(TThreadedTimer* timer, std::function<void()> body = {}) {
    return [this, timer, body](TObject* Sender) {
      if (inside) overlapped = true;
      if (!IsMainThread()) off_main_thread = true;
      if (Sender != timer) wrong_sender = true;
      inside = true;
      ++ticks;
      at.push_back(Clock::now());
      if (body) body();
      inside = false;
    };
  }
  void ExpectClean() const {
    EXPECT_FALSE(overlapped);
    EXPECT_FALSE(off_main_thread);
    EXPECT_FALSE(wrong_sender);
  }
};

class ThreadedTimer : public ::testing::Test {
 protected:
  void SetUp() override { SetMainThreadID(); }
};

TEST_F(ThreadedTimer, NewTimerIsIdleAndEveryPriorityReadsBack) {
  TThreadedTimer timer(nullptr);
  TickLog log;
  timer.OnTimer = log.Handler(&timer);
  EXPECT_FALSE(timer.Enabled());
  EXPECT_EQ(timer.Interval(), 1000);
  EXPECT_EQ(timer.ThreadPriority(), tpNormal);
  timer.SetInterval(5);
  EXPECT_FALSE(timer.Enabled());
  PumpFor(60);
  EXPECT_EQ(log.ticks, 0);
  // A tick handed over by hand runs whatever Enabled says.
  timer.FireTimer();
  EXPECT_EQ(log.ticks, 1);
  log.ExpectClean();

  for (TThreadPriority p :
       {tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical}) {
    timer.SetThreadPriority(p);
    EXPECT_EQ(timer.ThreadPriority(), p);
  }
}

TEST_F(ThreadedTimer, TicksOnTheGuiThreadAtTheInterval) {
  TThreadedTimer timer(nullptr);
  TickLog log;
  timer.OnTimer = log.Handler(&timer);
  timer.SetInterval(50);
  const auto enabled = Clock::now();
  timer.SetEnabled(true);
  ASSERT_TRUE(PumpUntil([&] { return log.ticks >= 4; }));
  // None comes early: the k-th no sooner than k periods after the start.
  for (int k = 0; k < 4; ++k) EXPECT_GE(log.at[k] - enabled, (k + 1) * 50ms) << k;
  log.ExpectClean();

  // Writing the current values changes nothing: still enabled, still ticking.
  timer.SetInterval(50);
  timer.SetEnabled(true);
  EXPECT_TRUE(timer.Enabled());
  int before = log.ticks;
  EXPECT_TRUE(PumpUntil([&] { return log.ticks >= before + 2; }));
}

TEST_F(ThreadedTimer, ZeroIntervalArmsWithoutTicking) {
  TThreadedTimer timer(nullptr);
  TickLog log;
  timer.OnTimer = log.Handler(&timer);
  timer.SetInterval(0);
  timer.SetEnabled(true);
  EXPECT_TRUE(timer.Enabled());
  PumpFor(50);
  EXPECT_EQ(log.ticks, 0);

  // Many toggles at 0 must leave the worker paused exactly once, so one resume starts it.
  for (int i = 0; i < 1000; ++i) {
    timer.SetEnabled(false);
    timer.SetEnabled(true);
  }
  timer.SetInterval(20);
  EXPECT_FALSE(timer.Enabled());
  PumpFor(60);
  EXPECT_EQ(log.ticks, 0);
  timer.SetEnabled(true);
  EXPECT_TRUE(PumpUntil([&] { return log.ticks >= 3; }));
  log.ExpectClean();
}

TEST_F(ThreadedTimer, DestroyAfterZeroIntervalTogglesEndsPromptly) {
  for (int round = 0; round < 50; ++round) {
    TThreadedTimer timer(nullptr);
    timer.SetInterval(0);
    for (int i = 0; i < 20; ++i) timer.SetEnabled(i % 2 == 0);
    // The longest Interval (over a minute): a destructor that waited for the period would
    // hold the test past its time limit. The destructor's signal cuts the wait.
    timer.SetInterval(65535);
    timer.SetEnabled(true);
  }
}

TEST_F(ThreadedTimer, NewIntervalStopsTheTimerUntilEnabledAgain) {
  TThreadedTimer timer(nullptr);
  TickLog log;
  // Re-timed from its own handler, so no other tick can be in flight.
  timer.OnTimer = log.Handler(&timer, [&] {
    if (log.ticks == 2) timer.SetInterval(150);
  });
  timer.SetInterval(5);
  timer.SetEnabled(true);
  ASSERT_TRUE(PumpUntil([&] { return log.ticks == 2; }));
  EXPECT_FALSE(timer.Enabled());
  EXPECT_EQ(timer.Interval(), 150);
  PumpFor(250);
  EXPECT_EQ(log.ticks, 2);

  const auto enabled = Clock::now();
  timer.SetEnabled(true);
  // The first tick comes one new Interval after the enable, not before.
  ASSERT_TRUE(PumpUntil([&] { return log.ticks == 3; }));
  EXPECT_GE(log.at[2] - enabled, 150ms);
  log.ExpectClean();
}

TEST_F(ThreadedTimer, ReenablingWithinAPeriodStartsAFullOne) {
  TThreadedTimer timer(nullptr);
  TickLog log;
  timer.OnTimer = log.Handler(&timer);
  timer.SetInterval(150);
  for (int round = 0; round < 3; ++round) {
    int before = log.ticks;
    const auto first = Clock::now();
    timer.SetEnabled(true);
    PumpFor(90);  // well inside the first period
    const auto again = Clock::now();
    timer.SetEnabled(false);
    timer.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return log.ticks > before; }));
    EXPECT_EQ(log.ticks, before + 1);
    // The old period would have ended 60 ms after the new start; the new one ends 150 ms
    // after it (unless this thread came back from its pumping too late to tell).
    if (again - first < 150ms) {
      EXPECT_GE(log.at[before] - again, 150ms) << "round " << round;
    }
    timer.SetEnabled(false);
  }
}

TEST_F(ThreadedTimer, SlowHandlerTicksBackToBackWithoutOverlap) {
  TThreadedTimer timer(nullptr);
  TickLog log;
  timer.OnTimer = log.Handler(&timer, [] { SleepMs(15); });
  timer.SetInterval(5);
  timer.SetEnabled(true);
  // Each tick costs at least Interval plus the handler (20 ms): lost periods are not made
  // up, which would bring a tick every 15 ms.
  ASSERT_TRUE(PumpUntil([&] { return log.ticks >= 10; }));
  timer.SetEnabled(false);
  for (int k = 1; k < 10; ++k) EXPECT_GE(log.at[k] - log.at[k - 1], 20ms) << k;
  log.ExpectClean();
}

TEST_F(ThreadedTimer, HandlerThatDisablesItsTimerGetsNoFurtherTick) {
  TThreadedTimer timer(nullptr);
  TickLog log;
  int stop_at = 0;
  timer.OnTimer = log.Handler(&timer, [&] {
    if (log.ticks == stop_at) timer.SetEnabled(false);
  });
  timer.SetInterval(1);
  for (int round = 1; round <= 40; ++round) {
    stop_at = round * 3;
    timer.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return log.ticks == stop_at; })) << "round " << round;
    EXPECT_FALSE(timer.Enabled());
    PumpFor(round % 8 == 0 ? 30 : 3);
    ASSERT_EQ(log.ticks, stop_at) << "round " << round;
  }
  log.ExpectClean();
}

TEST_F(ThreadedTimer, TickHandedOverBeforeADisableStillRunsOnce) {
  for (int round = 0; round < 30; ++round) {
    TThreadedTimer timer(nullptr);
    TickLog log;
    timer.OnTimer = log.Handler(&timer);
    timer.SetInterval(1);
    timer.SetEnabled(true);
    SleepMs(10);  // not pumping: the worker blocks handing over its first tick
    timer.SetEnabled(false);
    PumpFor(20);
    // At most the one tick already on its way, and the worker stays paused after it.
    EXPECT_LE(log.ticks, 1) << "round " << round;
    int after = log.ticks;
    PumpFor(10);
    EXPECT_EQ(log.ticks, after);
    log.ExpectClean();
  }
}

TEST_F(ThreadedTimer, DestructionEndsInEveryStateOfTheWorker) {
  TickLog log;
  auto make = [&](TComponent* owner) {
    auto* t = new TThreadedTimer(owner);  // owned: deleted with its owner
    t->OnTimer = log.Handler(t);
    return t;
  };

  // Never ran, owned by a component that deletes it.
  for (int i = 0; i < 200; ++i) {
    TComponent owner(nullptr);
    make(&owner);
  }
  // Running, stopped at random points of its loop.
  for (int i = 0; i < 200; ++i) {
    TComponent owner(nullptr);
    TThreadedTimer* t = make(&owner);
    t->SetInterval(1 + i % 3);
    t->SetEnabled(true);
    if (i % 2) PumpFor(i % 5);
  }
  // Disabled after running.
  for (int i = 0; i < 50; ++i) {
    auto t = std::make_unique<TThreadedTimer>(nullptr);
    t->OnTimer = log.Handler(t.get());
    t->SetInterval(1);
    t->SetEnabled(true);
    PumpFor(3);
    t->SetEnabled(false);
  }
  log.ExpectClean();
}

TEST_F(ThreadedTimer, DestructionServesAPendingHandOver) {
  for (int round = 0; round < 50; ++round) {
    TickLog log;
    auto t = std::make_unique<TThreadedTimer>(nullptr);
    t->OnTimer = log.Handler(t.get());
    t->SetInterval(1);
    t->SetEnabled(true);
    SleepMs(5);  // the worker is now blocked until the GUI thread takes its tick
    if (round % 2) t->SetEnabled(false);  // paused while it waits for the hand-over
    t.reset();  // must not wait for the hand-over it would have to serve itself
    // Only the tick already handed over may run during the destruction.
    EXPECT_LE(log.ticks, 1);
    PumpFor(2);
    EXPECT_LE(log.ticks, 1);
    log.ExpectClean();
  }
}

TEST_F(ThreadedTimer, FormOrderEnabledThenIntervalLeavesItDisabled) {
  TComponent form(nullptr);
  form.BeginLoading();
  auto* timer = new TThreadedTimer(&form);
  TickLog log;
  timer->OnTimer = log.Handler(timer);
  // A form description applies Enabled before Interval.
  timer->SetEnabled(true);
  timer->SetInterval(20);
  timer->SetThreadPriority(tpHigher);
  form.EndLoading();
  EXPECT_FALSE(timer->Enabled());
  EXPECT_EQ(timer->ThreadPriority(), tpHigher);
  PumpFor(80);
  EXPECT_EQ(log.ticks, 0);
}

TEST_F(ThreadedTimer, AnOwnerGoingAwayDropsTheHandlerBeforeItsOtherComponentsGo) {
  struct Probe : TComponent {
    using TComponent::TComponent;
    ~Probe() override { *handler = bool(timer->OnTimer); }
    TThreadedTimer* timer = nullptr;
    bool* handler = nullptr;
  };
  bool handler = true;
  auto owner = std::make_unique<TComponent>(nullptr);
  auto* timer = new TThreadedTimer(owner.get());
  timer->OnTimer = [](TObject*) {};
  timer->SetInterval(1);
  timer->SetEnabled(true);
  auto* probe = new Probe(owner.get());  // deleted before the timer
  probe->timer = timer;
  probe->handler = &handler;
  owner.reset();
  EXPECT_FALSE(handler);
}

}  // namespace
