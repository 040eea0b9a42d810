// What makes the lamps step: the tempo clock, the player's beats with the beat filter, tap
// tempo, "Sync", "Boost", POWER, auto mode and the flash mode.
#include "lights/Unit1.h"

#include "lights/Unit3.h"

void TForm1::intervalTrkbarChange(TObject* Sender) {
  (void)Sender;
  const Integer bpm = intervalTrkbar->Position();
  BpmUpDown->SetPosition(bpm);
  Timer1->SetInterval(static_cast<Cardinal>(60000 / bpm));
  // A flash must end before the next step; it is only ever shortened here.
  const Integer limit = static_cast<Integer>(Timer1->Interval()) - 10;
  if (FlashMode && static_cast<Integer>(CutoffTimer->Interval()) >= limit)
    CutoffTimer->SetInterval(static_cast<Word>(limit));
  BpmLbl->SetCaption(IntToStr(bpm) + " bpm");
}

void TForm1::BpmUpDown1Click(TObject* Sender, TUDBtnType Button) {
  (void)Button;
  const Integer before = intervalTrkbar->Position();
  intervalTrkbar->SetPosition(BpmUpDown->Position());
  // A moved track bar has run the change rule already.
  if (intervalTrkbar->Position() == before) intervalTrkbarChange(Sender);
}

void TForm1::WMLightsBeat(TMessage& Message) {
  (void)Message;
  if (!Automode1->Checked() || !CheckBox1->Checked() || BoostActive) return;
  if (!BeatFilterBusy) {
    Timer1Timer(this);
    if (Boomfilter->Checked()) {
      FilterTimer->SetEnabled(true);
      BeatFilterBusy = true;
    }
  } else if (Boomfilter->Checked() && Form3) {
    TLabel* counter = Form3->ActivityLbl;
    counter->SetCaption(IntToStr(StrToIntDef(counter->Caption(), 0) + 1));
  }
}

void TForm1::FilterTimerTimer(TObject* Sender) {
  (void)Sender;
  BeatFilterBusy = false;
  FilterTimer->SetEnabled(false);
}

void TForm1::BoomBtn1MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                               Integer Y) {
  (void)Sender;
  (void)Button;
  (void)Shift;
  (void)X;
  (void)Y;
  if (!Boomtimer->Enabled()) {
    TapCount = 0;
    TapElapsed = 0;
    LastTap = 0;
    Boomtimer->SetEnabled(true);
    return;
  }
  TapCount = TapCount + 1;
  const Integer average = TapElapsed / TapCount;
  // Taps closer than the tap clock can tell apart are as fast as the track bar goes.
  intervalTrkbar->SetPosition(average > 0 ? 60000 / average : intervalTrkbar->Max());
  LastTap = TapElapsed;
}

void TForm1::BoomtimerTimer(TObject* Sender) {
  (void)Sender;
  TapElapsed = TapElapsed + 10;
  if (TapElapsed > LastTap + 1500) Boomtimer->SetEnabled(false);
}

void TForm1::SpeedButton81Click(TObject* Sender) {
  (void)Sender;
  Timer1Timer(this);
  if (Timer1->Enabled()) {
    // The next tick comes one full interval after the click.
    Timer1->SetEnabled(false);
    Timer1->SetEnabled(true);
  }
}

void TForm1::SpeedButton61MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift,
                                    Integer X, Integer Y) {
  (void)Sender;
  (void)Button;
  (void)X;
  (void)Y;
  if (Shift.Contains(ssRight) || Shift.Contains(ssMiddle) || BoostHeld) return;
  BoostHeld = true;
  SavedFlashMode = FlashMode;
  FlashMode = false;
  SavedInterval = Timer1->Interval();
  Timer1->SetInterval(100);
  if (Automode1->Checked()) {
    BoostActive = true;
    Timer1->SetEnabled(true);
  }
}

void TForm1::SpeedButton61MouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift,
                                  Integer X, Integer Y) {
  (void)Sender;
  (void)Button;
  (void)X;
  (void)Y;
  // Only the release of a press that boosted gives back what that press saved.
  if (Shift.Contains(ssLeft) || !BoostHeld) return;
  BoostHeld = false;
  Timer1->SetInterval(SavedInterval);
  if (Automode1->Checked()) {
    BoostActive = false;
    Timer1->SetEnabled(false);
  }
  FlashMode = SavedFlashMode;
}

void TForm1::CheckBox1Click(TObject* Sender) {
  (void)Sender;
  if (CheckBox1->Checked()) {
    Timer1->SetEnabled(!Automode1->Checked());
    return;
  }
  Timer1->SetEnabled(false);
  CutoffTimer->SetEnabled(false);
  PaintAllLamps(LitColor);
  WriteLamps(0);
}

void TForm1::Automode1Click(TObject* Sender) {
  (void)Sender;
  Automode1->SetChecked(!Automode1->Checked());
  Boomfilter->SetEnabled(!Boomfilter->Enabled());
  if (CheckBox1->Checked()) Timer1->SetEnabled(!Timer1->Enabled());
}

void TForm1::BoomfilterClick(TObject* Sender) {
  (void)Sender;
  Boomfilter->SetChecked(!Boomfilter->Checked());
}

void TForm1::FlashingchkClick(TObject* Sender) {
  (void)Sender;
  FlashMode = !FlashMode;
  Flashingchk->SetChecked(!Flashingchk->Checked());
  CutoffTimer->SetEnabled(true);
}
