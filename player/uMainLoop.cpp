// Deck 1's loop and auto-sync, both clocked by the deck's timecodes. The loop seeks back
// to its start when the timecode reaches its end; auto-sync pauses deck 1 on its own beat
// and starts it again on deck 2's, so that the two kicks fall together.
//
// The controls are made hidden: the functions work behind them for whoever shows them.
#include "player/uMain.h"
#include "player/uControls.h"

namespace {

// Engine timecodes are in hundredths: a loop point is minutes, seconds and hundredths.
constexpr Integer Hundredths = 100;

void MarkOn(TSpeedButton* Button, bool On, TColor Off) {
  Button->Font()->SetColor(On ? clRed : Off);
}

}  // namespace

void TfrmMain::BuildLoop() {
  for (TEdit* e : {txtLoopSM1, txtLoopSS1, txtLoopSF1, txtLoopEM1, txtLoopES1, txtLoopEF1}) {
    e->SetMaxLength(2);
    e->OnKeyPress = [this](TObject* Sender, char& Key) { txtLoopKeyPress(Sender, Key); };
    e->OnChange = [this](TObject* Sender) { txtLoopChange(Sender); };
  }
  btnLoop1->OnClick = [this](TObject* Sender) { btnLoop1Click(Sender); };
  btnAutoSync->OnClick = [this](TObject* Sender) { btnAutoSyncClick(Sender); };

  // Opens left of the button, under the cursor, and follows the left button that opened it.
  popLoop1 = MakeMenu(this, "popLoop1");
  popLoop1->SetAlignment(paRight);
  popLoop1->SetTrackButton(tbLeftButton);
  auto item = [this](const String& name, const String& caption) {
    auto* m = new TMenuItem(this);
    if (!name.empty()) m->SetName(name);
    m->SetCaption(caption);
    popLoop1->Items()->Add(m);
    return m;
  };
  popLLoop1 = item("popLLoop1", "Loop");
  popLLoop1->SetDefault(true);
  popLLoop1->OnClick = [this](TObject* Sender) { popLLoopClick(Sender); };
  item("", "-");
  popFullRepeat1 = item("popFullRepeat1", "Full Repeat");
  popFullRepeat1->OnClick = [this](TObject* Sender) { popFullRepeatClick(Sender); };
}

void TfrmMain::txtLoopKeyPress(TObject*, char& Key) {
  if (Key < '0' || Key > '9') Key = 0;
}

void TfrmMain::txtLoopChange(TObject*) {
  // In the loop's order; an edit that holds no number stops the reading there and is
  // reported, so the fields after it keep what they had.
  // Without an engine the start-up stopped before the decks were filled.
  if (!Deck1.LoopEdits[0]) return;
  Integer* fields[] = {&Deck1.LoopSM, &Deck1.LoopSS, &Deck1.LoopSF,
                       &Deck1.LoopEM, &Deck1.LoopES, &Deck1.LoopEF};
  for (size_t i = 0; i < Deck1.LoopEdits.size(); ++i)
    *fields[i] = StrToInt(Deck1.LoopEdits[i]->Text());
}

void TfrmMain::btnLoop1Click(TObject*) {
  const TPoint at = Mouse->CursorPos();
  popLoop1->Popup(at.x, at.y);
}

void TfrmMain::popLLoopClick(TObject*) {
  popLLoop1->SetChecked(!popLLoop1->Checked());
  Deck1.LoopOn = popLLoop1->Checked() ? -1 : 0;
  MarkOn(btnLoop1, Deck1.LoopOn != 0, Font()->Color());
}

void TfrmMain::popFullRepeatClick(TObject*) {
  txtLoopSM1->SetText("00");
  txtLoopSS1->SetText("00");
  txtLoopSF1->SetText("00");
  txtLoopEM1->SetText(Format("%.2d", Deck1.Zik.DurMin));
  txtLoopES1->SetText(Format("%.2d", Deck1.Zik.DurSec));
  txtLoopEF1->SetText(Format("%.2d", 0));
  if (!popLLoop1->Checked()) popLLoopClick(popLLoop1);
}

void TfrmMain::btnAutoSyncClick(TObject*) {
  Deck1.AutoSync = Deck1.AutoSync ? 0 : -1;
  MarkOn(btnAutoSync, Deck1.AutoSync != 0, Font()->Color());
}

void TfrmMain::LoopAndSyncCheck(TXPlayer& Deck, Byte Minutes, Byte Seconds, Byte Fractions) {
  TXPlayer& one = Deck1;
  if (&Deck == &one && one.LoopOn && Minutes == one.LoopEM && Seconds == one.LoopES &&
      Fractions == one.LoopEF) {
    const Integer start = (one.LoopSM * 60 + one.LoopSS) * Hundredths + one.LoopSF;
    SeekPlayingDeck(one, start, one.Zik.DurSecs * Hundredths);
    // A loop that ends where the track ends is met by the stream's last timecode, when the
    // engine has already finished the stream: the seek alone would leave the deck at the
    // start, silent. Playing on is nothing new to a deck that is still playing.
    one.Xaudio->Play();
  }

  if (!one.AutoSync) return;
  const bool lit = Deck.BeatLamp->Brush()->Color() == clRed;
  if (&Deck == &one && lit && !one.SyncPaused) {
    one.Xaudio->Pause();
    one.SyncPaused = -1;
  } else if (&Deck != &one && one.SyncPaused && lit) {
    one.Xaudio->Play();
    one.AutoSync = 0;
    one.SyncPaused = 0;
  }
}
