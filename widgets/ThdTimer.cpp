#include "widgets/ThdTimer.h"

#include "win32/Sync.h"

TTimerThread::TTimerThread(bool CreateSuspended) : TThread(CreateSuspended) {
  event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (event_ == nullptr) throw EThread("Cannot create the timer's wake event");
  if (!CreateSuspended) AfterConstruction();
}

TTimerThread::~TTimerThread() {
  Terminate();
  SetEvent(event_);
  if (Suspended()) Resume();
  WaitFor();
  // Only a worker whose loop ran has closed the event.
  if (!Finished()) CloseHandle(event_);
}

void TTimerThread::Execute() {
  // The event goes with the loop, however the loop ends (a lost GUI thread throws out of
  // Synchronize).
  struct CloseOnExit {
    HANDLE event;
    ~CloseOnExit() { CloseHandle(event); }
  } close_on_exit{event_};

  for (;;) {
    // Interval is read afresh for every wait: it may have changed while the worker was
    // paused. A pause during the wait ends it with WAIT_SUSPENDED, which delivers nothing.
    DWORD result = SuspendableWait(event_, interval_.load());
    if (result == WAIT_TIMEOUT) {
      Synchronize([this] {
        if (owner_) owner_->FireTimer();
      });
    } else if (result == WAIT_FAILED) {
      // Nothing left to wait on; going round again would only spin.
      return;
    }
    // Looked at only after a wait, so a signal from the destructor always gets through.
    if (Terminated()) return;
  }
}

TThreadedTimer::TThreadedTimer(TComponent* AOwner) : TComponent(AOwner) {
  worker_ = std::make_unique<TTimerThread>(true);
  worker_->owner_ = this;
  worker_->SetFreeOnTerminate(false);
  worker_->SetPriority(tpNormal);
  SetInterval(1000);
}

TThreadedTimer::~TThreadedTimer() {
  worker_->Terminate();
  SetEvent(worker_->event_);
  // A worker that never ran starts here, finds the event signalled and ends at once.
  if (worker_->Suspended()) worker_->Resume();
  // Serves the tick hand-over while it waits, so a worker blocked handing over a tick
  // can finish and end.
  worker_->WaitFor();
  worker_.reset();
}

void TThreadedTimer::Destroying() {
  OnTimer = nullptr;
  SetEnabled(false);
  TComponent::Destroying();
}

void TThreadedTimer::SetEnabled(bool Value) {
  if (Value == enabled_) return;
  enabled_ = Value;
  if (!Value) {
    // A worker left paused (never started, or armed at Interval 0) is not paused again:
    // pauses must not nest, so that one resume always restarts it.
    if (!worker_->Suspended()) worker_->Suspend();
  } else if (worker_->interval_.load() > 0) {
    // The signal makes the resumed worker's next wait end at once without a tick, so the
    // part of a period that ran before the disable is dropped and the first tick comes one
    // full Interval from now.
    SetEvent(worker_->event_);
    worker_->Resume();
  }
}

void TThreadedTimer::SetInterval(Word Value) {
  if (Value == worker_->interval_.load()) return;
  // The worker must not wait on a value that is being changed under it.
  SetEnabled(false);
  worker_->interval_.store(Value);
}

void TThreadedTimer::FireTimer() {
  if (OnTimer) OnTimer(this);
}
