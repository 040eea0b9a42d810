// Mixing: the cross-fader moved one step per tick of tmrTrans from one end to the other,
// started by "Mix 'it" or, in auto-mix mode, by the timecode of the deck that nears its end.
#include <algorithm>

#include "classlib/ComCtrls.h"
#include "player/uMain.h"
#include "player/uControls.h"

Integer MixLength = 0;
Integer MixSeek = 0;
Integer MixMethod = 0;
TXPlayer* EndingDeck = nullptr;

namespace {

// Direction of a running mix, held in tmrTrans's Tag.
constexpr Integer kTowardDeck1 = 0;  // toward fader position 0
constexpr Integer kTowardDeck2 = 1;  // toward fader position 100
constexpr Integer kNoDirection = -1;

TRxSpinEdit* MakeSpin(TfrmMain* Form, const String& Name, Integer Left, Integer Top,
                      Integer Min, Integer Max) {
  auto* s = CreateControl<TRxSpinEdit>(Form, Form, Name, Left, Top, 54, 21);
  s->SetColor(clBlack);
  s->SetMaxLength(2);
  s->SetMaxValue(Max);
  s->SetMinValue(Min);
  return s;
}

}  // namespace

void TfrmMain::BuildMixControls() {
  // The automatic mix's settings, in the column between the decks.
  chkAutoMix = CreateControl<TCheckBox>(this, this, "chkAutoMix", 302, 222, 150, 17);
  chkAutoMix->SetCaption("Auto Mix Mode");
  chkAutoMix->SetColor(clBlack);
  chkAutoMix->OnClick = [this](TObject* Sender) { chkAutoMixClick(Sender); };
  struct Setting {
    TRxSpinEdit** field;
    const char* name;
    const char* caption;
    Integer min, max, value;
    void (TfrmMain::*change)(TObject*);
  };
  const Setting settings[] = {
      {&spnAMixStart, "spnAMixStart", "Mix Start = ", 1, 99, 25, &TfrmMain::spnAMixStartChange},
      {&spnAMixLength, "spnAMixLength", "Mix Length = ", 2, 60, 20,
       &TfrmMain::spnAMixLengthChange},
      {&spnASeek, "spnASeek", "Seek = ", 0, 60, 30, &TfrmMain::spnASeekChange},
      {&spnAMethod, "spnAMethod", "Method = ", 1, 2, 2, &TfrmMain::spnAMethodChange}};
  Integer top = 244;
  for (const Setting& s : settings) {
    MakeLabel(this, this, String("lbl") + (s.name + 3), 304, top + 3, s.caption);
    TRxSpinEdit* spin = MakeSpin(this, s.name, 392, top, s.min, s.max);
    auto change = s.change;
    spin->OnChange = [this, change](TObject* Sender) { (this->*change)(Sender); };
    *s.field = spin;
    // The settings follow what the form shows until the settings file says otherwise.
    spin->SetValue(s.value);
    top += 25;
  }

  // The manual mix, just above the cross-fader.
  btnMix = MakeButton(this, this, "btnMix", 302, 372, 70, 22, "Mix 'it");
  btnMix->OnClick = [this](TObject* Sender) { btnMixClick(Sender); };
  spnMixLength = MakeSpin(this, "spnMixLength", 378, 373, 2, 60);
  spnMixLength->SetValue(10);
  spnMixLength->OnChange = [this](TObject* Sender) { spnMixLengthChange(Sender); };
  spnMixLength->OnMouseWheelUp = [this](TObject* Sender, TShiftState Shift, TPoint Pos,
                                        bool& Handled) {
    spnMixLengthMouseWheelUp(Sender, Shift, Pos, Handled);
  };
  spnMixLength->OnMouseWheelDown = [this](TObject* Sender, TShiftState Shift, TPoint Pos,
                                          bool& Handled) {
    spnMixLengthMouseWheelDown(Sender, Shift, Pos, Handled);
  };
  lblMixInfo = MakeLabel(this, this, "lblMixInfo", 440, 377, "Mixing ...");
  lblMixInfo->Font()->SetColor(clRed);
  lblMixInfo->SetVisible(false);

  tmrTrans = new TThreadedTimer(this);
  tmrTrans->SetName("tmrTrans");
  tmrTrans->SetThreadPriority(tpHigher);
  tmrTrans->SetInterval(100);
  tmrTrans->SetTag(kNoDirection);
  tmrTrans->OnTimer = [this](TObject* Sender) { tmrTransTimer(Sender); };
  TmrMixInfo = new TTimer(this);
  TmrMixInfo->SetName("TmrMixInfo");
  TmrMixInfo->SetEnabled(false);
  TmrMixInfo->SetInterval(350);
  TmrMixInfo->OnTimer = [this](TObject* Sender) { tmrMixInfoTimer(Sender); };
}

void TfrmMain::StopMix() {
  MixRunning = 0;
  tmrTrans->SetEnabled(false);
  TmrMixInfo->SetEnabled(false);
  lblMixInfo->SetVisible(false);
}

bool TfrmMain::IsIncoming(const TXPlayer& Deck) const {
  return MixRunning && btnMix->Tag() == 0 && EndingDeck && EndingDeck->OtherDeck == &Deck;
}

void TfrmMain::IncomingStops(TXPlayer& Deck) {
  // Fading on would fade the one deck left out too and stop it at the end: dead air.
  if (!IsIncoming(Deck)) return;
  StopMix();
  // The fader goes to the end of the deck that plays on, and its curve sets both levels.
  PlaceHSlider(imgSldVol, imgSldrVol, EndingDeck == &Deck1 ? 0 : 100, 100, 0);
  imgHSldrVolMouseMove(imgSldrVol, {ssLeft}, SliderGrab.x, 0);
}

void TfrmMain::btnMixClick(TObject*) {
  if (MixRunning) {
    // An automatic mix cannot be cancelled; a manual one stops where the fader is.
    if (btnMix->Tag() != 0) StopMix();
    return;
  }
  btnMix->SetTag(1);
  const Integer a = DragHSlider(imgSldVol, imgSldrVol, SliderGrab.x, 0, 100);
  const Integer direction = a == 100 ? kTowardDeck1 : a == 0 ? kTowardDeck2 : kNoDirection;
  tmrTrans->SetTag(direction);
  if (direction == kNoDirection) return;
  MixRunning = -1;
  // 100 steps make the whole sweep: one step every length x 10 ms.
  tmrTrans->SetInterval(static_cast<Word>(std::clamp(spnMixLength->GetIntegerValue(), 2, 60) * 10));
  tmrTrans->SetEnabled(true);
  TmrMixInfo->SetEnabled(true);
}

void TfrmMain::tmrTransTimer(TObject*) {
  // A tick already handed over when the mix was stopped finds nothing to do.
  if (!MixRunning) return;
  const Integer direction = static_cast<Integer>(tmrTrans->Tag());
  Integer a = DragHSlider(imgSldVol, imgSldrVol, SliderGrab.x, 0, 100);
  a += direction == kTowardDeck2 ? 1 : -1;
  // A mix that starts with the fader already at its target end ends at its first step.
  a = std::clamp(a, 0, 100);
  PlaceHSlider(imgSldVol, imgSldrVol, a, 100, 0);
  // A drag that does not move: applies the fader's curve to both decks.
  imgHSldrVolMouseMove(imgSldrVol, {ssLeft}, SliderGrab.x, 0);
  if (a != 0 && a != 100) return;
  StopMix();
  if (btnMix->Tag() == 0 && EndingDeck) FinishMix(*EndingDeck);
}

void TfrmMain::tmrMixInfoTimer(TObject*) {
  lblMixInfo->SetVisible(!lblMixInfo->Visible());
}

void TfrmMain::StartAutoMix(TXPlayer& A) {
  if (!A.Xaudio || !A.OtherDeck) return;
  TXPlayer& b = *A.OtherDeck;
  if (b.TitleLabel->Caption().empty()) return;
  // A file that could not be opened keeps its title but shows no times: bringing it in
  // would fade the playing deck out into silence.
  if (b.DurLabel->Caption().empty()) return;
  btnMix->SetTag(0);
  MixRunning = -1;
  EndingDeck = &A;
  incomingPlayed_ = false;
  b.Xaudio->Stop();
  // An offset past the incoming track's end would leave it silent when this one stops.
  b.Xaudio->InputSeek(MixSeek < b.Zik.DurSecs || b.Zik.DurSecs == 0 ? MixSeek : 0,
                      b.Zik.DurSecs);
  SetDeckVolume(b, 0);
  SetDeckVolume(A, 100);
  b.Xaudio->Play();
  tmrTrans->SetTag(&A == &Deck1 ? kTowardDeck2 : kTowardDeck1);
  tmrTrans->SetInterval(static_cast<Word>(std::clamp(MixLength, 1, 6553) * 10));
  tmrTrans->SetEnabled(true);
  TmrMixInfo->SetEnabled(true);
}

void TfrmMain::FinishMix(TXPlayer& X) {
  if (!X.Xaudio) return;
  X.Xaudio->Stop();
  LampOff(X);
  if (X.PlayList && X.PlayList->Items()->Count() > 0) {
    X.PlayState = 0;
    TListItem* next = X.PlayList->Items()->Item(0);
    TStrings* sub = next->SubItems();
    const String bpm = sub->Count() > 0 ? sub->Strings(0) : String();
    const String path = sub->Count() > 1 ? sub->Strings(1) : String();
    LoadDeck(X, path, bpm);
    X.PlayList->Items()->Delete(0);
  } else {
    EraseGraph(X);
    X.Xaudio->InputSeek(0, std::max(1, X.Zik.DurSecs));
  }
}

void TfrmMain::chkAutoMixClick(TObject*) {
  AutoMix = chkAutoMix->Checked() ? -1 : 0;
  chkAutoMix->Font()->SetColor(AutoMix ? TColor(0x0000FF) : Font()->Color());
}

void TfrmMain::spnAMixStartChange(TObject*) {
  MixStart = spnAMixStart->GetIntegerValue();
}

void TfrmMain::spnAMixLengthChange(TObject*) {
  MixLength = spnAMixLength->GetIntegerValue();
}

void TfrmMain::spnASeekChange(TObject*) {
  MixSeek = spnASeek->GetIntegerValue();
}

void TfrmMain::spnAMethodChange(TObject*) {
  MixMethod = spnAMethod->GetIntegerValue();
}

void TfrmMain::spnMixLengthChange(TObject*) {
  TRxSpinEdit* s = spnMixLength;
  const Extended v = s->Value();
  if (v < s->MinValue())
    s->SetValue(s->MinValue());
  else if (v > s->MaxValue())
    s->SetValue(s->MaxValue());
  else
    s->SetValue(Int(v));
}

void TfrmMain::spnMixLengthMouseWheelUp(TObject*, TShiftState, TPoint, bool&) {
  spnMixLength->SetValue(Int(spnMixLength->Value()) + 1);
}

void TfrmMain::spnMixLengthMouseWheelDown(TObject*, TShiftState, TPoint, bool&) {
  spnMixLength->SetValue(Int(spnMixLength->Value()) - 1);
}
