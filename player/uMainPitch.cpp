// Pitch: the decks' pitch sliders, Auto Pitch against the other deck's tempo, the pitch
// bend buttons (static, or dynamic with its accelerating timer) and the BPM edits' filter.
#include <algorithm>
#include <cmath>
#include <limits>

#include "classlib/Dialogs.h"
#include "player/uControls.h"
#include "player/uMain.h"

Integer BendStep = 0;

namespace {

// A tempo that a pitch can be matched to: a number above zero.
bool ReadTempo(TEdit* Edit, Extended& Bpm) {
  return TryStrToFloat(Edit->Text(), Bpm) && std::isfinite(Bpm) && Bpm > 0;
}

}  // namespace

void TfrmMain::BuildPitchControls() {
  for (TXPlayer* deck : {&Deck1, &Deck2}) {
    const bool one = deck == &Deck1;
    TImage* track = one ? imgSldPitch1 : imgSldPitch2;
    TImage* thumb = one ? imgSldrPitch1 : imgSldrPitch2;
    track->OnMouseDown = [this, deck, thumb](TObject* Sender, TMouseButton, TShiftState Shift,
                                             int X, int Y) {
      PitchSliderDown(*deck, thumb, Sender, Shift, X, Y);
    };
    thumb->OnMouseDown = track->OnMouseDown;
    thumb->OnMouseMove = [this, deck](TObject*, TShiftState Shift, int X, int) {
      PitchSliderMove(*deck, Shift, X);
    };
  }
  for (TSpeedButton* b : {btnAutoPitch1, btnAutoPitch2})
    b->OnClick = [this](TObject* Sender) { btnAutoPitchClick(Sender); };
  for (TImageButton* b : {btnSyncL1, btnSyncL2}) {
    b->SetHint("Pitch bend +");
    b->OnMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
      btnSyncLMouseDown(Sender, Button, Shift, X, Y);
    };
    b->OnMouseUp = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
      btnSyncLMouseUp(Sender, Button, Shift, X, Y);
    };
  }
  for (TImageButton* b : {btnSyncR1, btnSyncR2}) {
    b->SetHint("Pitch bend -");
    b->OnMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
      btnSyncRMouseDown(Sender, Button, Shift, X, Y);
    };
    b->OnMouseUp = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
      btnSyncRMouseUp(Sender, Button, Shift, X, Y);
    };
  }
  for (TEdit* e : {txtBPM1, txtBPM2})
    e->OnKeyPress = [this](TObject* Sender, char& Key) { txtBPMKeyPress(Sender, Key); };

  // The bend options, in a group of their own on the options panel, under the meters'.
  pnlPitchBend = MakePanel(this, pnlSetup, "pnlPitchBend", 445, 104, 212, 52, pnlSetup->Color());
  chkDPitchBend =
      CreateControl<TRadioButton>(this, pnlPitchBend, "chkDPitchBend", 6, 2, 140, 17);
  chkDPitchBend->SetCaption("Dynamic Pitch Bend");
  chkSPitchBend =
      CreateControl<TRadioButton>(this, pnlPitchBend, "chkSPitchBend", 6, 28, 140, 17);
  chkSPitchBend->SetCaption("Static Pitch Bend");
  chkSPitchBend->SetChecked(true);
  for (TRadioButton* r : {chkDPitchBend, chkSPitchBend}) r->SetColor(pnlSetup->Color());
  spnSPitchBend = CreateControl<TRxSpinEdit>(this, pnlPitchBend, "spnSPitchBend", 150, 26, 54, 21);
  spnSPitchBend->SetColor(clBlack);
  spnSPitchBend->SetMaxLength(2);
  spnSPitchBend->SetIncrement(0.5);
  spnSPitchBend->SetMaxValue(10);
  spnSPitchBend->SetMinValue(0.5);
  spnSPitchBend->SetValueType(vtFloat);
  spnSPitchBend->SetValue(0.5);
  chkDPitchBend->OnClick = [this](TObject* Sender) { chkDPitchBendClick(Sender); };
  chkSPitchBend->OnClick = [this](TObject* Sender) { chkSPitchBendClick(Sender); };

  tmrPitchBend = new TTimer(this);
  tmrPitchBend->SetName("tmrPitchBend");
  tmrPitchBend->SetEnabled(false);
  tmrPitchBend->SetInterval(250);
  tmrPitchBend->OnTimer = [this](TObject* Sender) { tmrPitchBendTimer(Sender); };
}

void TfrmMain::PitchSliderDown(TXPlayer& Deck, TImage* Thumb, TObject* Sender, TShiftState Shift,
                               Integer X, Integer Y) {
  // The thumb is known by name: its deck record is not filled before the engines are.
  if (Sender == Thumb) {
    SliderGrab = {X, Y};
  } else if (Sender == Deck.PitchTrack && Shift == TShiftState{ssRight} && Deck.Xaudio) {
    // A right click on the track puts the deck back to normal speed.
    PlaceHSlider(Deck.PitchTrack, Deck.PitchThumb, 1000, 1100, 900);
    SetPitch(Deck, 1000);
  }
}

void TfrmMain::PitchSliderMove(TXPlayer& Deck, TShiftState Shift, Integer X) {
  if (!LeftAlone(Shift) || !Deck.Xaudio) return;
  SetPitch(Deck, DragHSlider(Deck.PitchTrack, Deck.PitchThumb, X, 900, 1100));
}

void TfrmMain::btnAutoPitchClick(TObject* Sender) {
  CurrentDeck = Sender == btnAutoPitch1 ? &Deck1 : &Deck2;
  TXPlayer& d = *CurrentDeck;
  if (!d.Xaudio) return;
  TXPlayer& other = *d.OtherDeck;
  // The other deck's slider as it stands, not its pitch: a thumb beyond an end reads as
  // that end.
  const Integer r = DragHSlider(other.PitchTrack, other.PitchThumb, SliderGrab.x, 900, 1100);
  Extended otherBpm = 0, ownBpm = 0;
  double ratio = 0;
  bool ok = ReadTempo(other.BPMEdit, otherBpm) && ReadTempo(d.BPMEdit, ownBpm);
  if (ok) {
    ratio = static_cast<double>(otherBpm * r / 1000 / ownBpm);
    // A pitch must be a number the deck can take, however wild the tempi typed.
    ok = std::isfinite(ratio) &&
         ratio * 1000 <= static_cast<double>(std::numeric_limits<Integer>::max());
  }
  if (!ok) {
    MessageBox(Handle(), "Bad BPM", "KAZ v2.0", MB_ICONERROR | MB_OK);
    return;
  }
  const Integer p = static_cast<Integer>(Round(ratio * 1000));
  PlaceHSlider(d.PitchTrack, d.PitchThumb, p, 1100, 900);
  SetPitch(d, p);
}

void TfrmMain::BendPress(TObject* Sender, TXPlayer& Deck, bool Up) {
  CurrentDeck = &Deck;
  if (!Deck.Xaudio || Deck.PlayState != 1) return;
  auto* button = static_cast<TComponent*>(Sender);
  button->SetTag(Deck.CurPitch);
  if (chkDPitchBend->Checked()) {
    BendStep = 10;
    tmrPitchBend->SetTag(Deck.DeckNo + (Up ? 10 : 20));
    tmrPitchBend->SetEnabled(true);
  } else {
    // A value typed beyond the edit's range is not clamped until the edit is left.
    const Extended percent = std::clamp(spnSPitchBend->Value(), spnSPitchBend->MinValue(),
                                        spnSPitchBend->MaxValue());
    BendStep = static_cast<Integer>(Round(percent * 10));
  }
  SetPitch(Deck, Deck.CurPitch + (Up ? BendStep : -BendStep));
}

void TfrmMain::BendRelease(TObject* Sender, TXPlayer& Deck) {
  CurrentDeck = &Deck;
  if (chkDPitchBend->Checked()) tmrPitchBend->SetEnabled(false);
  auto* button = static_cast<TComponent*>(Sender);
  // Tag 0: no bend was started by this button (the deck was not playing at the press), so
  // there is no pitch to return to.
  if (Deck.PlayState == 1 && button->Tag() != 0) SetPitch(Deck, button->Tag());
  button->SetTag(0);
}

void TfrmMain::btnSyncLMouseDown(TObject* Sender, TMouseButton, TShiftState, Integer, Integer) {
  BendPress(Sender, Sender == btnSyncL1 ? Deck1 : Deck2, true);
}

void TfrmMain::btnSyncLMouseUp(TObject* Sender, TMouseButton, TShiftState, Integer, Integer) {
  BendRelease(Sender, Sender == btnSyncL1 ? Deck1 : Deck2);
}

void TfrmMain::btnSyncRMouseDown(TObject* Sender, TMouseButton, TShiftState, Integer, Integer) {
  BendPress(Sender, Sender == btnSyncR1 ? Deck1 : Deck2, false);
}

void TfrmMain::btnSyncRMouseUp(TObject* Sender, TMouseButton, TShiftState, Integer, Integer) {
  BendRelease(Sender, Sender == btnSyncR1 ? Deck1 : Deck2);
}

void TfrmMain::tmrPitchBendTimer(TObject*) {
  // The dynamic bend speeds up: one per mille more at every tick.
  ++BendStep;
  const Integer tag = tmrPitchBend->Tag();
  TXPlayer* deck = tag == 11 || tag == 21 ? &Deck1 : tag == 12 || tag == 22 ? &Deck2 : nullptr;
  if (!deck || !deck->Xaudio) return;
  SetPitch(*deck, deck->CurPitch + (tag < 20 ? BendStep : -BendStep));
}

void TfrmMain::chkDPitchBendClick(TObject*) {
  spnSPitchBend->SetEnabled(false);
}

void TfrmMain::chkSPitchBendClick(TObject*) {
  spnSPitchBend->SetEnabled(true);
}

void TfrmMain::txtBPMKeyPress(TObject*, char& Key) {
  if ((Key < '0' || Key > '9') && Key != DecimalSeparator) Key = 0;
}
