// Deck transport: play, pause, stop, seek, hold, loading a track, and what the engines
// report back.
#include <algorithm>

#include "player/uMain.h"

String TitleOfPath(const String& Path) {
  const String name = ExtractFileName(Path);
  return Copy(name, 1, Length(name) - Length(ExtractFileExt(name)));
}

TXPlayer& TfrmMain::DeckOfEngine(TObject* Sender) {
  return Sender == Xaudio1 ? Deck1 : Deck2;
}

void TfrmMain::EraseGraph(TXPlayer& Deck) {
  TCanvas* c = Canvas();
  c->Pen()->SetColor(clBlack);
  c->Polyline(std::span<const TPoint>(Deck.GraphPts.data(), Deck.GraphPts.size()));
  EraseBeatLine(Deck);
}

void TfrmMain::btnPlayClick(TObject* Sender) {
  (Sender == btnPlay1 ? Xaudio1 : Xaudio2)->Play();
}

void TfrmMain::btnPauseClick(TObject* Sender) {
  (Sender == btnPause1 ? Xaudio1 : Xaudio2)->Pause();
}

void TfrmMain::btnStopClick(TObject* Sender) {
  CurrentDeck = Sender == btnStop1 ? &Deck1 : &Deck2;
  // Without an engine the start-up stopped before the decks were filled.
  if (!CurrentDeck->Xaudio) return;
  CurrentDeck->Xaudio->Stop();
  CurrentDeck->Xaudio->InputSeek(0, 1);
  CurrentDeck->Xaudio->OutputReset();
  boxGraph->Repaint();
  LampOff(*CurrentDeck);
  IncomingStops(*CurrentDeck);
}

void TfrmMain::LampOff(TXPlayer& Deck) {
  Deck.BeatLamp->Brush()->SetColor(clBlack);
}

void TfrmMain::prgBarMouseDown(TObject* Sender, TMouseButton, TShiftState, Integer X, Integer) {
  auto* bar = static_cast<TALProgressBar*>(Sender);
  const Integer offset = static_cast<Integer>(static_cast<Int64>(X) * bar->Max() / bar->Width());
  SeekPlayingDeck(Sender == prgBar1 ? Deck1 : Deck2, offset, 1000);
}

void TfrmMain::SeekPlayingDeck(TXPlayer& Deck, Integer Offset, Integer Range) {
  Deck.Xaudio->InputSeek(Offset, Range);
  DropUnheard(Deck);
}

void TfrmMain::btnSyncMouseDown(TObject* Sender, TMouseButton, TShiftState, Integer, Integer) {
  CurrentDeck = static_cast<TComponent*>(Sender)->Tag() == 0 ? &Deck1 : &Deck2;
  if (CurrentDeck->PlayState == 1) CurrentDeck->Xaudio->Pause();
}

void TfrmMain::btnSyncMouseUp(TObject* Sender, TMouseButton, TShiftState, Integer, Integer) {
  CurrentDeck = static_cast<TComponent*>(Sender)->Tag() == 0 ? &Deck1 : &Deck2;
  if (CurrentDeck->PlayState == 2) CurrentDeck->Xaudio->Play();
}

void TfrmMain::LoadDeck(TXPlayer& Deck, const String& Path, const String& BPM) {
  if (!Deck.Xaudio) return;
  IncomingStops(Deck);
  Deck.Xaudio->Stop();
  Deck.Xaudio->OutputReset();
  Deck.Xaudio->InputOpen(Path);
  boxGraph->Repaint();
  LampOff(Deck);
  Deck.VULeft->SetPosition(0);
  Deck.VURight->SetPosition(0);
  Deck.PosBar->SetPosition(1000);
  Deck.LevelTotal = 0;
  Deck.LevelCount = 0;
  Deck.LineY = boxGraph->Top() + boxGraph->Height() / 2;
  Deck.OldLineY = Deck.LineY;
  const Integer bottom = boxGraph->Top() + boxGraph->Height();
  for (Integer i = 0; i < GraphPointCount; ++i) {
    Deck.BeatMarks[i] = -1;
    Deck.GraphPts[i].y = bottom;
    Deck.OldPts[i].y = bottom;
  }
  Deck.TitleLabel->SetCaption(TitleOfPath(Path));
  Deck.BPMEdit->SetText(BPM);
  PlaceHSlider(Deck.PitchTrack, Deck.PitchThumb, 1000, 1100, 900);
  SetPitch(Deck, 1000);
}

void TfrmMain::XaudioNotifyPlayerState(TObject* Sender, Integer State) {
  // Without an engine the start-up stopped before the decks were filled.
  if (Closing || !DeckOfEngine(Sender).Xaudio) return;
  CurrentDeck = &DeckOfEngine(Sender);
  TXPlayer& d = *CurrentDeck;
  if (State == XA_PLAYER_STATE_STOPPED || State == XA_PLAYER_STATE_EOS) {
    EraseGraph(d);
    d.VULeft->SetPosition(0);
    d.VURight->SetPosition(0);
    for (Integer i = 0; i < GraphPointCount; ++i)
      d.GraphPts[i] = {boxGraph->Left() + 3 * i, boxGraph->Top() + boxGraph->Height()};
    LampOff(d);
    // An incoming track that ends during the fade, or is stopped, gives the mix up.
    if (incomingPlayed_) IncomingStops(d);
  } else if (State == XA_PLAYER_STATE_PAUSED) {
    // The filter checks each level on this thread against the commands given here: none
    // of the audio the pause drops arrives once the pause was given, so the points of it
    // that did arrive are all here to drop.
    DropUnheard(d);
  } else if (State == XA_PLAYER_STATE_PLAYING) {
    const Integer level = d.PreLButton->Tag() != 0
                              ? 100
                              : 100 - DragVSlider(d.VolTrack, d.VolThumb, SliderGrab.y, 0, 100);
    SetDeckVolume(d, level);
    if (IsIncoming(d)) incomingPlayed_ = true;
  }
  d.PlayState = State;
  RunVUTimer();
}

void TfrmMain::XaudioNotifyInputPosition(TObject* Sender, Cardinal Offset, Cardinal) {
  if (Closing || !DeckOfEngine(Sender).Xaudio) return;
  CurrentDeck = &DeckOfEngine(Sender);
  TXPlayer& d = *CurrentDeck;
  // Until the track's own duration is known there is no mix point to mark. The product
  // takes 64 bits, and a start beyond the track's length marks its beginning.
  if (AutoMix && !d.OtherDeck->TitleLabel->Caption().empty() && d.Zik.DurSecs != 0)
    d.PosBar->SetMax(static_cast<Integer>(
        std::clamp<Int64>(1000 - static_cast<Int64>(MixStart) * 1000 / d.Zik.DurSecs, 0, 1000)));
  else
    d.PosBar->SetMax(1000);
  d.PosBar->SetPosition(static_cast<Integer>(Offset));
}

void TfrmMain::XaudioNotifyInputTimecode(TObject* Sender, Byte, Byte Minutes, Byte Seconds,
                                         Byte Fractions) {
  if (Closing || !DeckOfEngine(Sender).Xaudio) return;
  CurrentDeck = &DeckOfEngine(Sender);
  TXPlayer& d = *CurrentDeck;
  d.PosLabel->SetCaption(Format("%.2d:%.2d:%.2d", Minutes, Seconds, Fractions));
  const Integer r = d.Zik.DurSecs - (Minutes * 60 + Seconds);
  d.RemLabel->SetCaption(Format("%.2d:%.2d", r / 60, r % 60));
  LoopAndSyncCheck(d, Minutes, Seconds, Fractions);
  // The timecode comes several times a second: the running mix keeps a second start
  // from happening within the same second. It also comes after an open, a stop or a seek:
  // only a deck that plays has an end to mix out of.
  if (AutoMix && Minutes * 60 + Seconds == d.Zik.DurSecs - MixStart && !MixRunning &&
      d.PlayState == XA_PLAYER_STATE_PLAYING)
    StartAutoMix(d);
}

void TfrmMain::XaudioNotifyStreamDuration(TObject* Sender, Cardinal Duration) {
  if (Closing || !DeckOfEngine(Sender).Xaudio) return;
  CurrentDeck = &DeckOfEngine(Sender);
  CurrentDeck->DurLabel->SetCaption(Format("%.2d:%.2d", Duration / 60, Duration % 60));
  SetDeckDuration(*CurrentDeck, Duration);
}

void TfrmMain::SetDeckDuration(TXPlayer& Deck, Cardinal Duration) {
  Deck.Zik.DurSecs = static_cast<Integer>(Duration);
  Deck.Zik.DurMin = static_cast<Integer>(Duration / 60);
  Deck.Zik.DurSec = static_cast<Integer>(Duration % 60);
}

void TfrmMain::XaudioNotifyInputState(TObject* Sender, Integer State) {
  if (Closing || !DeckOfEngine(Sender).Xaudio) return;
  // Closed: nothing is loaded (the open of a new file closes the old one first, and the
  // new one's duration and time follow). A file that could not be opened must not be
  // shown with the times of the track before it.
  if (State != XA_IO_STATE_CLOSED) return;
  TXPlayer& d = DeckOfEngine(Sender);
  for (TLabel* label : {d.DurLabel, d.PosLabel, d.RemLabel}) label->SetCaption("");
  SetDeckDuration(d, 0);
}

void TfrmMain::XaudioNotifyError(TObject* Sender, Byte Source, Smallint, const String& Msg) {
  if (Closing || !DeckOfEngine(Sender).Xaudio) return;
  // A file that will not play says why, once, when it is loaded; the other errors (a
  // missing sound card, a damaged frame) are the engine's to ride out.
  if (Source == XA_SOURCE_INPUT) throw Exception(Msg);
}
