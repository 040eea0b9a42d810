// The splash window: shows the start-up steps while the main window is being made, and
// leaves one second after the main window first shows.
#pragma once

#include <functional>

#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"
#include "classlib/Timers.h"
#include "widgets/ALProgressBar.h"

class TfrmSplash : public TForm {
 public:
  explicit TfrmSplash(TComponent* AOwner);
  ~TfrmSplash() override;

  TImage* imgBack = nullptr;
  TLabel* lblLoad1 = nullptr;
  TLabel* lblLoad = nullptr;
  TALProgressBar* prgBar = nullptr;
  TTimer* Timer = nullptr;

  void TimerTimer(TObject* Sender);
};

extern TfrmSplash* frmSplash;

// Shows a start-up step; painted at once, since the message loop is not running yet.
void SplashProgress(const String& Text, Integer Percent);

// Tests: told of every step that SplashProgress shows.
extern std::function<void(const String& Text, Integer Percent)> SplashProgressObserverForTesting;
