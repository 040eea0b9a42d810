// Equalizer: per deck ten band thumbs and a preamp. The controls are the only store of the
// settings; every change rebuilds the deck's 32-band record and hands it to its engine,
// which applies it in the decoder.
#include "player/uMain.h"

#include "player/uSkin.h"

// The engine's bands are equally wide (about 690 Hz at 44.1 kHz), so the low sliders take
// one band each and the high ones ever more.
const std::array<Byte, 32> EQBandSlider = {0, 1, 2, 2, 3, 3, 4, 4, 5, 5, 5, 6, 6, 6, 6, 7,
                                           7, 7, 7, 8, 8, 8, 8, 8, 8, 9, 9, 9, 9, 9, 9, 9};

XA_EqualizerInfo EqualizerRecord(Integer Preamp, const std::array<Integer, 10>& Sliders) {
  XA_EqualizerInfo eq{};
  for (size_t band = 0; band < EQBandSlider.size(); ++band) {
    // The controls' ranges keep this within -90..90; anything wider is held at the ends
    // of a signed byte rather than wrapped to the opposite sign.
    Integer v = Preamp - Sliders[EQBandSlider[band]];
    if (v > 127) v = 127;
    if (v < -128) v = -128;
    eq.left[band] = static_cast<int8_t>(v);
    eq.right[band] = static_cast<int8_t>(v);
  }
  return eq;
}

void TfrmMain::BuildEqualizer() {
  // Each deck: its preamp, then its ten bands from the lowest. Every thumb is placed and
  // read against the first track, so all tracks share its Top and Height.
  for (int i = 0; i < 20; ++i) {
    const String n = IntToStr(i + 1);
    const Integer left = (i < 10 ? 46 : 373) + (i % 10) * 27;
    for (bool thumb : {false, true}) {
      auto* pic = CreateControl<TImage>(this, pnlEQ, (thumb ? "imgSldrEQ" : "imgSldEQ") + n, left,
                                        12, 0, 0);
      pic->SetAutoSize(true);
      LoadSkinPicture(pic, thumb ? "SLD_EQ_THUMB" : "SLD_EQ_TRACK");
      (thumb ? imgSldrEQ : imgSldEQ)[i] = pic;
    }
    TImage* thumb = imgSldrEQ[i];
    thumb->SetTag(i < 10 ? 0 : 1);
    thumb->SetCursor(crHandPoint);
    thumb->OnMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X,
                                int Y) { imgSldrMouseDown(Sender, Button, Shift, X, Y); };
    thumb->OnMouseMove = [this](TObject* Sender, TShiftState Shift, int X, int Y) {
      imgSldrEQMouseMove(Sender, Shift, X, Y);
    };
  }

  for (int i = 0; i < 2; ++i) {
    auto* pre = CreateControl<TRxSlider>(this, pnlEQ, i == 0 ? "sldEQ1" : "sldEQ2",
                                         i == 0 ? 6 : 333, 11, 30, 137);
    // Turning the slider upright swaps its sides; the size is set again afterwards.
    pre->SetOrientation(soVertical);
    pre->SetBounds(pre->Left(), pre->Top(), 30, 137);
    pre->SetParentColor(true);
    pre->SetBevelStyle(bvRaised);
    pre->SetMinValue(-50);
    pre->SetMaxValue(50);
    pre->SetOptions({soSmooth});
    pre->SetValue(0);
    pre->OnMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X,
                              int Y) { sldEQ1MouseDown(Sender, Button, Shift, X, Y); };
    (i == 0 ? sldEQ1 : sldEQ2) = pre;
  }
  sldEQ1->OnChange = [this](TObject* Sender) { sldEQ1Change(Sender); };
  sldEQ2->OnChange = [this](TObject* Sender) { sldEQ2Change(Sender); };
}

void TfrmMain::imgSldrEQMouseMove(TObject* Sender, TShiftState Shift, Integer, Integer Y) {
  if (!LeftAlone(Shift)) return;
  auto* thumb = static_cast<TImage*>(Sender);
  DragVSlider(imgSldEQ[0], thumb, Y, -40, 40);
  ApplyEqualizer(thumb->Tag() == 0 ? Deck1 : Deck2);
}

void TfrmMain::sldEQ1Change(TObject*) {
  ApplyEqualizer(Deck1);
}

void TfrmMain::sldEQ2Change(TObject*) {
  ApplyEqualizer(Deck2);
}

void TfrmMain::sldEQ1MouseDown(TObject* Sender, TMouseButton, TShiftState Shift, Integer, Integer) {
  if (Shift == TShiftState{ssRight}) static_cast<TRxSlider*>(Sender)->SetValue(0);
}

void TfrmMain::ApplyEqualizer(TXPlayer& Deck) {
  // Without an engine the start-up stopped before the decks were filled.
  if (!Deck.Xaudio) return;
  const bool one = &Deck == &Deck1;
  std::array<Integer, 10> values{};
  for (size_t i = 0; i < values.size(); ++i)
    values[i] = DragVSlider(imgSldEQ[0], imgSldrEQ[(one ? 0 : 10) + i], SliderGrab.y, -40, 40);
  XA_EqualizerInfo eq = EqualizerRecord((one ? sldEQ1 : sldEQ2)->Value(), values);
  Deck.Xaudio->SetCodecEqualizer(&eq);
  // The engine's answer is not needed: the controls already show what it holds.
  Deck.Xaudio->GetCodecEqualizer();
}
