// The window timer component: ticks come as WM_TIMER through the GUI thread's message loop
// to a utility window of its own.
#pragma once

#include "classlib/Classes.h"

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  // Changing Enabled or Interval restarts the count: the next tick comes one full Interval
  // later. No platform timer runs while Interval is 0.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  Cardinal Interval() const { return interval_; }
  void SetInterval(Cardinal Value);

  // Called with the timer as sender on every tick. Being a plain member, its assignment
  // cannot start or stop anything: the timer runs without it, and a tick without a
  // handler does nothing, which looks the same as a timer that does not run.
  TNotifyEvent OnTimer;

 protected:
  virtual void Timer();
  // The owner is going away: no tick is run any more.
  void Destroying() override;

 private:
  void UpdateTimer();
  void WndProc(TMessage& Message);

  HWND window_ = 0;
  bool enabled_ = true;
  Cardinal interval_ = 1000;
};
