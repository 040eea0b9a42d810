// Threads with cooperative suspension, calls handed to the GUI thread, and the window
// timer. The test's main thread is the GUI thread and pumps its queue itself.
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include <poll.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "classlib/Classes.h"
#include "classlib/Timers.h"
#include "win32/Sync.h"

namespace {

using Clock = std::chrono::steady_clock;

using kaztest::PumpFor;
using kaztest::PumpUntil;

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A thread whose Execute is a test's lambda.
class TWorker : public TThread {
 public:
  TWorker(bool suspended, std::function<void(TWorker&)> body, std::atomic<bool>* deleted = nullptr)
      : TThread(suspended), body_(std::move(body)), deleted_(deleted) {
    if (!suspended) AfterConstruction();
  }
  ~TWorker() override {
    if (deleted_) *deleted_ = true;
  }
  using TThread::CheckSuspended;
  using TThread::SetReturnValue;
  using TThread::SuspendableWait;
  using TThread::Synchronize;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(TWorker&)> body_;
  std::atomic<bool>* deleted_;
};

class Threads : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMainThreadID();
    event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
  }
  void TearDown() override { CloseHandle(event); }
  HANDLE event = nullptr;
};

TEST_F(Threads, CreatedSuspendedRunsNothingUntilResumed) {
  std::atomic<int> runs{0};
  {
    TWorker never(true, [&](TWorker&) { ++runs; });
    SleepMs(30);
  }  // destroyed without ever running
  TWorker w(true, [&](TWorker& self) {
    ++runs;
    self.SetReturnValue(42);
  });
  EXPECT_TRUE(w.Suspended());
  EXPECT_NE(w.ThreadID(), 0u);
  SleepMs(30);
  EXPECT_EQ(runs, 0);
  w.Resume();
  EXPECT_EQ(w.WaitFor(), 42);
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(w.Finished());
}

TEST_F(Threads, SuspendAndResumeNeverNest) {
  std::atomic<int> ticks{0};
  TWorker w(true, [&](TWorker& self) {
    while (!self.Terminated()) {
      if (self.SuspendableWait(event, 2) == WAIT_TIMEOUT) ++ticks;
    }
  });
  w.Resume();
  w.Resume();  // running already: nothing
  ASSERT_TRUE(PumpUntil([&] { return ticks > 3; }));
  w.Suspend();
  w.Suspend();
  EXPECT_TRUE(w.Suspended());
  const int paused_at = ticks;
  SleepMs(90);
  // At most the tick that was on its way when the pause came.
  EXPECT_LE(ticks, paused_at + 1);
  w.Resume();  // one resume restarts it, however often it was paused
  EXPECT_FALSE(w.Suspended());
  EXPECT_TRUE(PumpUntil([&] { return ticks > paused_at + 3; }));
  w.Terminate();
  w.WaitFor();
}

TEST_F(Threads, WaitReportsEventTimeoutAndPause) {
  std::atomic<DWORD> results[3] = {{0}, {0}, {0}};
  std::atomic<int> done{0};
  TWorker w(true, [&](TWorker& self) {
    results[0] = self.SuspendableWait(event, 10);
    done = 1;
    results[1] = self.SuspendableWait(event, INFINITE);
    done = 2;
    results[2] = self.SuspendableWait(event, INFINITE);
    done = 3;
  });
  w.Resume();
  ASSERT_TRUE(PumpUntil([&] { return done == 1; }));
  EXPECT_EQ(results[0], WAIT_TIMEOUT);
  SetEvent(event);
  ASSERT_TRUE(PumpUntil([&] { return done == 2; }));
  EXPECT_EQ(results[1], WAIT_OBJECT_0);

  SleepMs(20);
  w.Suspend();
  SetEvent(event);  // arrives while paused
  SleepMs(40);
  EXPECT_EQ(done, 2);  // still paused
  w.Resume();
  w.WaitFor();
  // The pause cut the wait short; the event is left for the next wait.
  EXPECT_EQ(results[2], WAIT_SUSPENDED);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
}

TEST_F(Threads, APauseAndResumeBetweenChecksStillCountsAsAPause) {
  std::atomic<DWORD> result{0};
  std::atomic<bool> waiting{false};
  TWorker w(true, [&](TWorker& self) {
    waiting = true;
    result = self.SuspendableWait(event, 300);
  });
  w.Resume();
  ASSERT_TRUE(PumpUntil([&] { return waiting.load(); }));
  SleepMs(20);
  w.Suspend();
  w.Resume();
  w.WaitFor();
  EXPECT_EQ(result, WAIT_SUSPENDED);
}

TEST_F(Threads, SynchronizeRunsOnTheGuiThreadAndReportsErrors) {
  std::vector<String> reports;
  SetApplicationHandleException([&](TObject*) { reports.push_back(CurrentExceptionMessage()); });
  DWORD ran_on = 0;
  std::atomic<bool> went_on{false};
  TWorker w(true, [&](TWorker& self) {
    self.Synchronize([&] { ran_on = GetCurrentThreadId(); });
    self.Synchronize([] { throw EConvertError("handler failed"); });
    went_on = true;
  });
  w.Resume();
  w.WaitFor();  // serves both calls
  EXPECT_EQ(ran_on, GetCurrentThreadId());
  EXPECT_NE(ran_on, w.ThreadID());
  EXPECT_TRUE(went_on);
  EXPECT_EQ(reports, (std::vector<String>{"handler failed"}));
  SetApplicationHandleException(nullptr);
}

TEST_F(Threads, WaitForOnTheGuiThreadServesAPendingSynchronize) {
  int calls = 0;
  for (int i = 0; i < 200; ++i) {
    TWorker w(false, [&](TWorker& self) { self.Synchronize([&] { ++calls; }); });
    w.WaitFor();
  }
  EXPECT_EQ(calls, 200);
}

TEST_F(Threads, PausedDuringSynchronizeStaysPausedAfterTheCall) {
  std::atomic<bool> called{false};
  std::atomic<bool> after{false};
  TWorker* worker = nullptr;
  TWorker w(true, [&](TWorker& self) {
    self.Synchronize([&] {
      worker->Suspend();  // on the GUI thread, while the worker waits for this call
      called = true;
    });
    after = true;
  });
  worker = &w;
  w.Resume();
  ASSERT_TRUE(PumpUntil([&] { return called.load(); }));
  PumpFor(50);
  EXPECT_FALSE(after);
  EXPECT_TRUE(w.Suspended());
  w.Resume();
  w.WaitFor();
  EXPECT_TRUE(after);
}

TEST_F(Threads, TerminateAndResumeOfAPausedThreadRunsItToItsEnd) {
  std::atomic<bool> ended{false};
  // It waits first, and its wait ends only with a pause: wherever the pause finds it, it
  // stays in that wait.
  TWorker w(true, [&](TWorker& self) {
    do {
      self.SuspendableWait(event, INFINITE);
    } while (!self.Terminated());
    ended = true;
  });
  w.Resume();
  w.Suspend();
  w.Terminate();
  SleepMs(20);
  EXPECT_FALSE(ended);
  w.Resume();
  w.WaitFor();
  EXPECT_TRUE(ended);
}

TEST_F(Threads, PriorityReadsBackWhatWasWritten) {
  TWorker w(true, [](TWorker&) {});
  EXPECT_EQ(w.Priority(), tpNormal);
  for (TThreadPriority p :
       {tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical, tpHigher}) {
    w.SetPriority(p);
    EXPECT_EQ(w.Priority(), p);
  }
  w.Resume();
  w.WaitFor();
  EXPECT_EQ(w.Priority(), tpHigher);
}

TEST_F(Threads, FreeOnTerminateThreadEndsOnTheGuiThreadAndFreesItself) {
  std::atomic<bool> deleted{false};
  DWORD terminate_on = 0;
  // Raw new: a thread that frees itself has no other owner.
  auto* w = new TWorker(
      true, [](TWorker&) {}, &deleted);
  w->SetFreeOnTerminate(true);
  w->OnTerminate = [&](TObject* sender) {
    EXPECT_EQ(sender, w);
    terminate_on = GetCurrentThreadId();
  };
  w->Resume();
  ASSERT_TRUE(PumpUntil([&] { return deleted.load(); }));
  EXPECT_EQ(terminate_on, GetCurrentThreadId());
}

TEST_F(Threads, WindowTimerTicksThroughTheMessageLoop) {
  std::vector<String> reports;
  SetApplicationHandleException([&](TObject*) { reports.push_back(CurrentExceptionMessage()); });
  TComponent owner(nullptr);
  auto* timer = new TTimer(&owner);
  EXPECT_TRUE(timer->Enabled());
  EXPECT_EQ(timer->Interval(), 1000u);
  int ticks = 0;
  timer->OnTimer = [&](TObject* sender) {
    EXPECT_EQ(sender, timer);
    if (++ticks == 2) throw EConvertError("tick failed");
  };
  timer->SetInterval(20);
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 4; }));  // goes on after a failing tick
  EXPECT_EQ(reports, (std::vector<String>{"tick failed"}));

  timer->SetEnabled(false);
  int stopped_at = ticks;
  PumpFor(80);
  EXPECT_EQ(ticks, stopped_at);
  timer->SetInterval(0);
  timer->SetEnabled(true);
  PumpFor(80);
  EXPECT_EQ(ticks, stopped_at);
  timer->SetInterval(10);
  EXPECT_TRUE(PumpUntil([&] { return ticks > stopped_at; }));
  SetApplicationHandleException(nullptr);
}

}  // namespace
