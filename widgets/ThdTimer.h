// A timer whose periods are measured by a worker thread of its own instead of by window
// timer messages, so a busy message queue does not stretch them. Every tick is still handed
// to the GUI thread and OnTimer runs there, like any other handler.
#pragma once

#include <atomic>
#include <memory>

#include "classlib/Classes.h"

class TThreadedTimer;

// The worker of one TThreadedTimer: waits one Interval on its wake event; a wait that runs
// out hands a tick to the GUI thread and blocks until it has run there. A signalled wait
// delivers nothing, which is how enabling drops the rest of a period and how destruction
// gets the worker out of a long wait.
class TTimerThread : public TThread {
 public:
  // Creates the wake event (auto-reset, not signalled). Raises EThread when the thread or
  // the event cannot be made.
  explicit TTimerThread(bool CreateSuspended);
  // Ends the loop first: it uses the wake event and the owner, which are gone once the
  // thread class's own destructor runs.
  ~TTimerThread() override;

 protected:
  // On the worker thread.
  void Execute() override;

 private:
  friend class TThreadedTimer;

  TThreadedTimer* owner_ = nullptr;  // set before the worker first runs; not owned
  // The timer's Interval. Written by the GUI thread only while the worker is paused (or
  // about to pause); read by the worker before each wait.
  std::atomic<Word> interval_{0};
  HANDLE event_ = nullptr;  // closed by the worker when its loop ends
};

class TThreadedTimer : public TComponent {
 public:
  // The worker is created paused with normal priority; Interval 1000, not enabled.
  explicit TThreadedTimer(TComponent* AOwner);
  // Ends the worker. A tick the worker had already handed over runs during the wait, so
  // OnTimer may be called once more from here. Not to be called from this timer's own
  // OnTimer: the worker waits for that handler to return.
  ~TThreadedTimer() override;

  // Enabling starts the count afresh: the first tick comes one full Interval later. With
  // Interval 0 the flag reads True but nothing ticks. Disabling pauses the worker; a tick
  // it had already handed over still runs afterwards.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  // Milliseconds. Writing a new value disables the timer; it stays off until enabled again.
  // Writing the current value changes nothing.
  Word Interval() const { return worker_->interval_.load(); }
  void SetInterval(Word Value);
  TThreadPriority ThreadPriority() const { return worker_->Priority(); }
  void SetThreadPriority(TThreadPriority Value) { worker_->SetPriority(Value); }

  // Called with the timer as sender for every tick, on the GUI thread. Ticks never overlap
  // and never queue up: the next period starts only after the handler has returned. The
  // handler may enable, disable or re-time its own timer.
  TNotifyEvent OnTimer;

  // Runs one tick on the GUI thread. Does not look at Enabled: a tick handed over just
  // before a disable still runs.
  void FireTimer();

 protected:
  // The owner is going away: the handler is dropped at once, so a tick already handed over
  // and served later, while the owner is being taken apart, runs nothing.
  void Destroying() override;

 private:
  bool enabled_ = false;
  std::unique_ptr<TTimerThread> worker_;
};
