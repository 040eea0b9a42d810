#include "classlib/Timers.h"

namespace {
constexpr UINT_PTR kTimerId = 1;
}

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
  window_ = AllocateHWnd([this](TMessage& m) { WndProc(m); });
  UpdateTimer();
}

TTimer::~TTimer() {
  enabled_ = false;
  if (window_) {
    KillTimer(window_, kTimerId);
    DeallocateHWnd(window_);
  }
}

void TTimer::Destroying() {
  OnTimer = nullptr;
  SetEnabled(false);
  TComponent::Destroying();
}

void TTimer::SetEnabled(bool Value) {
  if (Value == enabled_) return;
  enabled_ = Value;
  UpdateTimer();
}

void TTimer::SetInterval(Cardinal Value) {
  if (Value == interval_) return;
  interval_ = Value;
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  KillTimer(window_, kTimerId);
  if (interval_ != 0 && enabled_) {
    if (SetTimer(window_, kTimerId, interval_, nullptr) == 0) {
      throw EOutOfResources("Not enough timers available");
    }
  }
}

void TTimer::WndProc(TMessage& Message) {
  if (Message.Msg == WM_TIMER) {
    try {
      Timer();
    } catch (...) {
      HandleExceptionNow(this);
    }
    return;
  }
  Message.Result = DefWindowProcA(window_, Message.Msg, Message.WParam, Message.LParam);
}

void TTimer::Timer() {
  if (enabled_ && OnTimer) OnTimer(this);
}
