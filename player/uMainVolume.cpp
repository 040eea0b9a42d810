// Volume: each deck's slider, the cross-fader between the decks and the cut buttons. The
// thumbs are the only store of the volumes; everything ends in SetDeckVolume.
#include "player/uMain.h"

void TfrmMain::BindVolume() {
  auto down = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
    imgSldrMouseDown(Sender, Button, Shift, X, Y);
  };
  for (TImage* thumb : {imgSldrVol1, imgSldrVol2}) {
    thumb->OnMouseDown = down;
    thumb->OnMouseMove = [this](TObject* Sender, TShiftState Shift, int X, int Y) {
      imgSldrVolMouseMove(Sender, Shift, X, Y);
    };
  }
  imgSldrVol->OnMouseDown = down;
  imgSldrVol->OnMouseMove = [this](TObject* Sender, TShiftState Shift, int X, int Y) {
    imgHSldrVolMouseMove(Sender, Shift, X, Y);
  };
  for (TSpeedButton* cut : {btnCut1, btnCut2}) {
    cut->OnMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X,
                              int Y) { btnCutMouseDown(Sender, Button, Shift, X, Y); };
    cut->OnMouseUp = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
      btnCutMouseUp(Sender, Button, Shift, X, Y);
    };
  }
}

Integer TfrmMain::DeckVolume(TXPlayer& Deck) {
  return 100 - DragVSlider(Deck.VolTrack, Deck.VolThumb, SliderGrab.y, 0, 100);
}

void TfrmMain::SetDeckVolume(TXPlayer& Deck, Integer Level) {
  // Without an engine the start-up stopped before the decks were filled.
  if (!Deck.Xaudio) return;
  Deck.VolLabel->SetCaption(IntToStr(Level) + " %");
  // Level 0 would leave the engine's volume as it was: the quietest level stands for it.
  Deck.Xaudio->SetOutputVolume(-1, Level == 0 ? 1 : Level, -1);
}

void TfrmMain::imgSldrMouseDown(TObject*, TMouseButton, TShiftState Shift, Integer X, Integer Y) {
  if (LeftAlone(Shift)) SliderGrab = {X, Y};
}

void TfrmMain::imgSldrVolMouseMove(TObject* Sender, TShiftState Shift, Integer, Integer Y) {
  if (!LeftAlone(Shift)) return;
  CurrentDeck = Sender == imgSldrVol1 ? &Deck1 : &Deck2;
  TXPlayer& d = *CurrentDeck;
  if (!d.Xaudio) return;
  const Integer v = DragVSlider(d.VolTrack, d.VolThumb, Y, 0, 100);
  SetDeckVolume(d, 100 - v);
}

void TfrmMain::imgHSldrVolMouseMove(TObject*, TShiftState Shift, Integer X, Integer) {
  if (!LeftAlone(Shift) || !Deck1.Xaudio) return;
  const Integer a = DragHSlider(imgSldVol, imgSldrVol, X, 0, 100);
  // Left half: deck 1 full, deck 2 fading in; right half: deck 2 full, deck 1 fading out.
  if (a <= 50) {
    PlaceVSlider(Deck1.VolTrack, Deck1.VolThumb, 0, 100, 0);
    SetDeckVolume(Deck1, 100);
    PlaceVSlider(Deck2.VolTrack, Deck2.VolThumb, 100 - 2 * a, 100, 0);
    SetDeckVolume(Deck2, 2 * a);
  } else {
    PlaceVSlider(Deck1.VolTrack, Deck1.VolThumb, 2 * a - 100, 100, 0);
    SetDeckVolume(Deck1, 200 - 2 * a);
    PlaceVSlider(Deck2.VolTrack, Deck2.VolThumb, 0, 100, 0);
    SetDeckVolume(Deck2, 100);
  }
}

void TfrmMain::btnCutMouseDown(TObject* Sender, TMouseButton, TShiftState, Integer, Integer) {
  TXPlayer& d = Sender == btnCut1 ? Deck1 : Deck2;
  if (!d.Xaudio) return;
  auto* button = static_cast<TSpeedButton*>(Sender);
  // The level to come back to is the one at the press, whatever moves the thumb meanwhile.
  const Integer level = DeckVolume(d);
  button->SetTag(level);
  // A silent deck needs no mute; the release sets its level all the same.
  if (level != 0) d.Xaudio->OutputMute();
}

void TfrmMain::btnCutMouseUp(TObject* Sender, TMouseButton, TShiftState, Integer, Integer) {
  TXPlayer& d = Sender == btnCut1 ? Deck1 : Deck2;
  // Setting a level ends the engine's mute.
  SetDeckVolume(d, static_cast<TSpeedButton*>(Sender)->Tag());
}
