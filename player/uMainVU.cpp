// VU meters: each deck's output filter sends a left and a right value per report; they go
// into a ring of 39 frames, and a fast timer moves each playing deck's bars halfway toward
// the frame written 38 messages ago. The filter sends each report 38 reports ahead of its
// audio, so the bars show what is heard.
#include "player/uControls.h"
#include "player/uMain.h"

#include "filter/filter.h"

void TfrmMain::BuildVUMeters() {
  SetMessageHandler(WM_DECK_VU, [this](TMessage& Message) { WMDeckVU(Message); });

  tmrVU = new TThreadedTimer(this);
  tmrVU->SetName("tmrVU");
  tmrVU->SetThreadPriority(tpHigher);
  tmrVU->SetInterval(35);
  tmrVU->OnTimer = [this](TObject* Sender) { tmrVUTimer(Sender); };

  // On the OPTIONS panel, right of the output choices.
  lblVuMeters = MakeLabel(this, pnlSetup, "lblVuMeters", 490, 8, "VU-Meters");
  lblVuMeters->Font()->SetStyle({fsBold});
  chkVuMeters = CreateControl<TCheckBox>(this, pnlSetup, "chkVuMeters", 490, 28, 97, 17);
  chkVuMeters->SetParentColor(true);
  chkVuMeters->SetCaption("Activate");
  chkVuMeters->OnClick = [this](TObject* Sender) { chkVuMetersClick(Sender); };
  lblRefreshVU = MakeLabel(this, pnlSetup, "lblRefreshVU", 490, 54, "Refresh Rate :");
  sldRefreshVU = CreateControl<TRxSlider>(this, pnlSetup, "sldRefreshVU", 490, 70, 159, 29);
  sldRefreshVU->SetParentColor(true);
  sldRefreshVU->SetBevelStyle(bvNone);
  sldRefreshVU->SetMinValue(0);
  sldRefreshVU->SetMaxValue(90);
  sldRefreshVU->SetIncrement(1);
  sldRefreshVU->SetOptions({soSmooth});
  sldRefreshVU->OnChange = [this](TObject* Sender) { sldRefreshVUChange(Sender); };
  sldRefreshVU->OnMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X,
                                     int Y) { sldRefreshVUMouseDown(Sender, Button, Shift, X, Y); };
}

void TfrmMain::WMDeckVU(TMessage& Message) {
  // Only the two decks' filters send these; anything else would write a frame that no
  // deck reads, or read through a pointer that is not there.
  if ((Message.LParam != 0 && Message.LParam != 1) || Message.WParam == 0) return;
  const auto* pair = reinterpret_cast<const Smallint*>(Message.WParam);
  const auto deck = static_cast<size_t>(Message.LParam);
  ++VUWrite;
  VURing[VUWrite].Left[deck] = pair[0];
  VURing[VUWrite].Right[deck] = pair[1];
  // The frame after the one just written is the oldest: the timer reads it.
  if (VUWrite == VUFrameCount - 1) VUWrite = -1;
}

void TfrmMain::tmrVUTimer(TObject*) {
  const TVUFrame& oldest = VURing[VUWrite + 1];
  for (size_t i = 0; i < 2; ++i) {
    TXPlayer& d = i == 0 ? Deck1 : Deck2;
    // A paused or stopped deck keeps its bars; stopping has already dropped them to 0.
    if (d.PlayState != 1 || !d.VULeft) continue;
    // Halfway toward the value, truncated: from 50 in silence 25, 12, 6, 3, 1, 0. A value
    // outside the bar's range leaves it where it is.
    d.VULeft->SetPosition((oldest.Left[i] + d.VULeft->Position()) / 2);
    d.VURight->SetPosition((oldest.Right[i] + d.VURight->Position()) / 2);
  }
}

void TfrmMain::RunVUTimer() {
  const bool playing = Deck1.PlayState == 1 || Deck2.PlayState == 1;
  // Enabling a running timer changes nothing, so a second deck starting does not restart
  // the period.
  tmrVU->SetEnabled(chkVuMeters->Checked() && playing);
}

void TfrmMain::chkVuMetersClick(TObject*) {
  RunVUTimer();
  for (TALProgressBar* bar : {prgVUL1, prgVUR1, prgVUL2, prgVUR2})
    bar->SetVisible(chkVuMeters->Checked());
}

void TfrmMain::sldRefreshVUChange(TObject*) {
  if (tmrVU->Enabled()) tmrVU->SetEnabled(false);
  tmrVU->SetInterval(static_cast<Word>(100 - sldRefreshVU->Value()));
  RunVUTimer();
}

void TfrmMain::sldRefreshVUMouseDown(TObject*, TMouseButton Button, TShiftState, Integer, Integer) {
  if (Button == mbRight) sldRefreshVU->SetValue(70);
}
