// The deck records, the image sliders and the engines' set-up.
#include "player/uMain.h"

namespace {

// The slider mapping multiplies in 32 bits (Mul32) and divides in floating point.
Integer PlaceOffset(Integer Room, Integer Value, Integer Max, Integer Min) {
  return static_cast<Integer>(Round(static_cast<Extended>(Mul32(Room, Value - Min)) / (Max - Min)));
}

Integer ReadOffset(Integer Offset, Integer Room, Integer Min, Integer Max) {
  return static_cast<Integer>(Round(static_cast<Extended>(Mul32(Offset, Max - Min)) / Room + Min));
}

}  // namespace

void PlaceHSlider(TImage* Track, TImage* Thumb, Integer Value, Integer Max, Integer Min) {
  Thumb->SetLeft(Track->Left() + PlaceOffset(Track->Width() - Thumb->Width(), Value, Max, Min));
}

void PlaceVSlider(TImage* Track, TImage* Thumb, Integer Value, Integer Max, Integer Min) {
  Thumb->SetTop(Track->Top() + PlaceOffset(Track->Height() - Thumb->Height(), Value, Max, Min));
}

Integer DragHSlider(TImage* Track, TImage* Thumb, Integer X, Integer Min, Integer Max) {
  const Integer room = Track->Width() - Thumb->Width();
  Integer left = Thumb->Left() + X - SliderGrab.x;
  if (left > Track->Left() + room) left = Track->Left() + room;
  if (left < Track->Left()) left = Track->Left();
  Thumb->SetLeft(left);
  return ReadOffset(Thumb->Left() - Track->Left(), room, Min, Max);
}

Integer DragVSlider(TImage* Track, TImage* Thumb, Integer Y, Integer Min, Integer Max) {
  const Integer room = Track->Height() - Thumb->Height();
  Integer top = Thumb->Top() + Y - SliderGrab.y;
  if (top > Track->Top() + room) top = Track->Top() + room;
  if (top < Track->Top()) top = Track->Top();
  Thumb->SetTop(top);
  return ReadOffset(Thumb->Top() - Track->Top(), room, Min, Max);
}

void TfrmMain::InitPlayers() {
  auto fill = [this](TXPlayer& d, Integer no) {
    const bool one = no == 1;
    d.Xaudio = one ? Xaudio1 : Xaudio2;
    d.TitleLabel = one ? lblTitle1 : lblTitle2;
    d.BPMEdit = one ? txtBPM1 : txtBPM2;
    d.CurrBPMLabel = one ? lblCurrBPM1 : lblCurrBPM2;
    d.PosLabel = one ? lblPos1 : lblPos2;
    d.RemLabel = one ? lblRem1 : lblRem2;
    d.DurLabel = one ? lblDur1 : lblDur2;
    d.PitchLabel = one ? lblPitch1 : lblPitch2;
    d.VolLabel = one ? lblVol1 : lblVol2;
    d.PitchThumb = one ? imgSldrPitch1 : imgSldrPitch2;
    d.PitchTrack = one ? imgSldPitch1 : imgSldPitch2;
    d.VolThumb = one ? imgSldrVol1 : imgSldrVol2;
    d.VolTrack = one ? imgSldVol1 : imgSldVol2;
    d.BeatLamp = one ? shpBoom1 : shpBoom2;
    d.LoopButton = one ? btnLoop1 : nullptr;
    d.PreLButton = one ? btnPreL1 : btnPreL2;
    d.PlayList = one ? List1 : List2;
    d.PosBar = one ? prgBar1 : prgBar2;
    if (one)
      d.LoopEdits = {txtLoopSM1, txtLoopSS1, txtLoopSF1, txtLoopEM1, txtLoopES1, txtLoopEF1};
    else
      d.LoopEdits = {};
    d.VULeft = one ? prgVUL1 : prgVUL2;
    d.VURight = one ? prgVUR1 : prgVUR2;
    d.LevelTotal = 0;
    d.LevelCount = 0;
    d.GraphColor = one ? clWhite : Font()->Color();
    d.PlayState = 0;
    d.DeckNo = no;
    d.LoopSM = 0;
    d.LoopSS = 0;
    d.LoopSF = 0;
    d.LoopOn = 0;
    d.OtherDeck = one ? &Deck2 : &Deck1;
  };
  fill(Deck1, 1);
  fill(Deck2, 2);
  CurrentDeck = &Deck1;
}

void TfrmMain::InitSliders() {
  PlaceHSlider(imgSldPitch1, imgSldrPitch1, 1000, 1100, 900);
  PlaceHSlider(imgSldPitch2, imgSldrPitch2, 1000, 1100, 900);
  PlaceVSlider(imgSldVol1, imgSldrVol1, 0, 100, 0);
  PlaceVSlider(imgSldVol2, imgSldrVol2, 100, 100, 0);
  for (TImage* thumb : imgSldrEQ) PlaceVSlider(imgSldEQ[0], thumb, 0, 40, -40);
}

void TfrmMain::SetupEngines() {
  const char* filters[] = {"output_filter_module_register1@filter.dll",
                           "output_filter_module_register2@filter.dll"};
  TXaudioPlayer* engines[] = {Xaudio1, Xaudio2};
  for (int i = 0; i < 2; ++i) {
    TXaudioPlayer* x = engines[i];
    x->OutputModuleRegister("dsound_output_module_register@xdsound.dll");
    x->SetPlayerEnvironmentInteger("OUTPUT.DIRECTSOUND.WINDOW", static_cast<Integer>(Handle()));
    x->SetCodecQuality(0);
    x->SetPriority(4);
    x->OutputAddFilter(filters[i], 0);
    x->SetInputTimecodeGranularity(2);
    x->SetInputPositionRange(1000);
  }
}

void TfrmMain::SetPitch(TXPlayer& Deck, Integer Value) {
  Extended bpm = 0;
  if (!TryStrToFloat(Deck.BPMEdit->Text(), bpm)) bpm = 0;
  const Integer p = Value < 10 ? 10 : Value;
  Deck.CurPitch = p;
  Deck.PitchLabel->SetCaption(FloatToStr(static_cast<Extended>(p) / 10) + " %");
  Deck.Xaudio->SetPlayerEnvironmentInteger("OUTPUT.DIRECTSOUND.PITCH", p);
  Deck.CurrBPMLabel->SetCaption("Current BPM = " +
                                FormatFloat("#.##", static_cast<Extended>(p) / 1000 * bpm));
}
