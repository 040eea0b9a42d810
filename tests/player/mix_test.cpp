// Manual and automatic mixes against the recording engine: the steps of tmrTrans through
// the message loop, the levels both decks get, cancelling, and what starts an automatic
// mix and what ends it.
#include <gtest/gtest.h>

#include <functional>

#include "PlayerFixture.h"
#include "RecordingEngine.h"
#include "classlib/ComCtrls.h"

namespace {

using Lines = std::vector<std::string>;

class MixTest : public RecordedPlayerTest {
 protected:
  void SetUp() override {
    RecordedPlayerTest::SetUp();
    // Count the steps as the timer delivers them.
    auto step = frmMain->tmrTrans->OnTimer;
    frmMain->tmrTrans->OnTimer = [this, step](TObject* s) {
      ++steps;
      step(s);
    };
  }
  Integer Fader() const { return frmMain->imgSldrVol->Left() - frmMain->imgSldVol->Left(); }
  bool Lists(const std::string& line) const {
    for (const std::string& l : rec.Lines())
      if (l == line) return true;
    return false;
  }
  int Count(const std::string& line) const {
    int n = 0;
    for (const std::string& l : rec.Lines()) n += l == line;
    return n;
  }

  int steps = 0;
};

TEST_F(MixTest, AManualMixSweepsInAHundredStepsAndEndsOnTheCurvesEnd) {
  frmMain->spnMixLength->SetValue(10);
  frmMain->btnMixClick(frmMain->btnMix);
  EXPECT_EQ(frmMain->tmrTrans->Interval(), 100);
  EXPECT_TRUE(frmMain->tmrTrans->Enabled());
  frmMain->btnMixClick(frmMain->btnMix);  // cancels
  EXPECT_EQ(MixRunning, 0);

  // The same sweep, shortened to 2 s so the test stays short.
  PlaceHSlider(frmMain->imgSldVol, frmMain->imgSldrVol, 0, 100, 0);
  steps = 0;
  frmMain->spnMixLength->SetValue(2);
  frmMain->btnMixClick(frmMain->btnMix);
  EXPECT_EQ(frmMain->tmrTrans->Interval(), 20);
  EXPECT_EQ(frmMain->btnMix->Tag(), 1);
  bool blinked = false;
  ASSERT_TRUE(PumpUntil([&] {
    blinked = blinked || frmMain->lblMixInfo->Visible();
    return MixRunning == 0;
  }, 20000));
  EXPECT_EQ(steps, 100);
  EXPECT_TRUE(blinked);
  EXPECT_FALSE(frmMain->lblMixInfo->Visible());
  EXPECT_FALSE(frmMain->TmrMixInfo->Enabled());
  EXPECT_EQ(Fader(), 210);
  // The last step leaves deck 2 alone, as the fader's curve gives at its right end.
  Lines l = rec.Lines();
  ASSERT_GE(l.size(), 2u);
  EXPECT_EQ(Lines(l.end() - 2, l.end()), (Lines{"1 57 -1 1 -1", "2 57 -1 100 -1"}));
  EXPECT_EQ(frmMain->lblVol1->Caption(), "0 %");
  EXPECT_EQ(frmMain->lblVol2->Caption(), "100 %");

  // From the right end the next mix goes back to deck 1.
  frmMain->btnMixClick(frmMain->btnMix);
  EXPECT_EQ(frmMain->tmrTrans->Tag(), 0);
  ASSERT_TRUE(PumpUntil([&] { return MixRunning == 0; }, 20000));
  EXPECT_EQ(Fader(), 0);
}

TEST_F(MixTest, ACancelledMixLeavesTheFaderBetweenAndNothingStartsFromThere) {
  frmMain->spnMixLength->SetValue(2);
  frmMain->btnMixClick(frmMain->btnMix);
  ASSERT_TRUE(PumpUntil([&] { return steps >= 10; }));
  frmMain->btnMixClick(frmMain->btnMix);
  EXPECT_EQ(MixRunning, 0);
  EXPECT_FALSE(frmMain->tmrTrans->Enabled());
  const Integer at = Fader();
  EXPECT_GT(at, 0);
  EXPECT_LT(at, 210);
  PumpFor(100);
  EXPECT_EQ(Fader(), at);
  // Between the ends "Mix 'it" starts nothing, yet marks the mix as the user's.
  frmMain->btnMix->SetTag(0);
  frmMain->btnMixClick(frmMain->btnMix);
  EXPECT_EQ(frmMain->btnMix->Tag(), 1);
  EXPECT_EQ(MixRunning, 0);
  EXPECT_EQ(frmMain->tmrTrans->Tag(), -1);
}

TEST_F(MixTest, ClosingTheWindowStopsARunningMixAndBend) {
  frmMain->btnMixClick(frmMain->btnMix);
  frmMain->chkDPitchBend->SetChecked(true);
  Deck1.PlayState = 1;
  frmMain->btnSyncL1->OnMouseDown(frmMain->btnSyncL1, mbLeft, {ssLeft}, 1, 1);
  ASSERT_TRUE(frmMain->tmrTrans->Enabled());
  ASSERT_TRUE(frmMain->tmrPitchBend->Enabled());
  bool canClose = true;
  frmMain->FormCloseQuery(frmMain, canClose);
  EXPECT_FALSE(frmMain->tmrTrans->Enabled());
  EXPECT_FALSE(frmMain->tmrPitchBend->Enabled());
  EXPECT_EQ(MixRunning, 0);
}

TEST_F(MixTest, MixLengthKeepsItsRangeAndTheWheelSteps) {
  TRxSpinEdit* s = frmMain->spnMixLength;
  EXPECT_EQ(s->Text(), "10");
  s->SetText("99");
  EXPECT_EQ(s->Text(), "60");
  bool handled = false;
  frmMain->spnMixLengthMouseWheelUp(s, {}, {}, handled);
  EXPECT_EQ(s->Text(), "60");
  frmMain->spnMixLengthMouseWheelDown(s, {}, {}, handled);
  EXPECT_EQ(s->Text(), "59");
  s->SetText("x");
  EXPECT_EQ(s->Text(), "2");
  // The auto-mix edits copy their values into the settings.
  frmMain->spnAMixStart->SetValue(150);
  frmMain->spnAMixLength->SetValue(3);
  frmMain->spnASeek->SetValue(7.9);
  EXPECT_EQ(MixStart, 99);
  EXPECT_EQ(MixLength, 3);
  EXPECT_EQ(MixSeek, 8);
  frmMain->chkAutoMix->SetChecked(true);
  EXPECT_EQ(AutoMix, -1);
  EXPECT_EQ(frmMain->chkAutoMix->Font()->Color(), TColor(0x0000FF));
  frmMain->chkAutoMix->SetChecked(false);
  EXPECT_EQ(AutoMix, 0);
}

TEST_F(MixTest, TheTimecodeStartsOneAutomaticMixWhichTheButtonCannotCancel) {
  frmMain->chkAutoMix->SetChecked(true);
  frmMain->spnAMixStart->SetValue(25);
  frmMain->spnAMixLength->SetValue(2);
  frmMain->spnASeek->SetValue(5);
  Deck1.Zik.DurSecs = 100;
  Deck2.Zik.DurSecs = 60;
  Deck1.PlayState = 1;

  // An empty other deck: nothing, the deck plays on to its end.
  frmMain->XaudioNotifyInputTimecode(frmMain->Xaudio1, 0, 1, 15, 0);
  EXPECT_EQ(MixRunning, 0);

  frmMain->lblTitle2->SetCaption("next");
  // Nor a deck that does not play: its time comes after a load, a stop or a seek too.
  for (Integer state : {0, 2, 3}) {
    Deck1.PlayState = state;
    frmMain->XaudioNotifyInputTimecode(frmMain->Xaudio1, 0, 1, 15, 0);
  }
  EXPECT_EQ(MixRunning, 0);
  Deck1.PlayState = 1;
  // Nor into a deck whose file could not be opened: it has a title but no times.
  frmMain->XaudioNotifyInputState(frmMain->Xaudio2, XA_IO_STATE_CLOSED);
  frmMain->XaudioNotifyInputTimecode(frmMain->Xaudio1, 0, 1, 15, 0);
  EXPECT_EQ(MixRunning, 0);
  frmMain->XaudioNotifyStreamDuration(frmMain->Xaudio2, 60);
  rec.clear();
  for (Byte fraction : {0, 30, 60}) frmMain->XaudioNotifyInputTimecode(frmMain->Xaudio1, 0, 1, 15, fraction);
  EXPECT_EQ(MixRunning, -1);
  EXPECT_EQ(Count("2 4"), 1);  // one play, for one start
  EXPECT_TRUE(Lists("2 7 5 60"));
  EXPECT_TRUE(Lists("2 57 -1 1 -1"));
  EXPECT_TRUE(Lists("1 57 -1 100 -1"));
  EXPECT_EQ(EndingDeck, &Deck1);
  EXPECT_EQ(frmMain->tmrTrans->Interval(), 20);
  frmMain->btnMixClick(frmMain->btnMix);
  EXPECT_EQ(MixRunning, -1);

  ASSERT_TRUE(PumpUntil([&] { return MixRunning == 0; }, 20000));
  EXPECT_EQ(Fader(), 210);
  // With no playlist the finished deck is stopped and rewound.
  EXPECT_TRUE(Lists("1 6"));
  EXPECT_TRUE(Lists("1 7 0 100"));
}

TEST_F(MixTest, TheIncomingDeckStoppedOrLoadedEndsAnAutomaticMixOnTheOutgoingDeck) {
  frmMain->spnAMixLength->SetValue(10);
  frmMain->lblTitle1->SetCaption("one");
  frmMain->lblTitle2->SetCaption("two");
  const std::vector<std::function<void()>> ways = {
      [] { frmMain->btnStopClick(frmMain->btnStop2); },
      [] { frmMain->LoadDeck(Deck2, "/music/other.mp3", ""); },
      [] { frmMain->XaudioNotifyPlayerState(frmMain->Xaudio2, XA_PLAYER_STATE_EOS); }};
  for (std::size_t way = 0; way < ways.size(); ++way) {
    SCOPED_TRACE(way);
    // Deck 2 was being pre-listened: the mix's own stop of it is reported, and passes.
    Deck2.PlayState = 1;
    frmMain->StartAutoMix(Deck1);
    frmMain->XaudioNotifyPlayerState(frmMain->Xaudio2, XA_PLAYER_STATE_STOPPED);
    frmMain->XaudioNotifyPlayerState(frmMain->Xaudio2, XA_PLAYER_STATE_PLAYING);
    steps = 0;
    ASSERT_TRUE(PumpUntil([&] { return steps >= 3; }));
    ASSERT_EQ(MixRunning, -1);
    ASSERT_GT(Fader(), 0);
    rec.clear();
    ways[way]();
    EXPECT_EQ(MixRunning, 0);
    EXPECT_FALSE(frmMain->tmrTrans->Enabled());
    EXPECT_FALSE(frmMain->TmrMixInfo->Enabled());
    EXPECT_FALSE(frmMain->lblMixInfo->Visible());
    // Deck 1 at full level with the fader at its end, neither stopped nor loaded.
    EXPECT_EQ(Fader(), 0);
    EXPECT_EQ(frmMain->lblVol1->Caption(), "100 %");
    EXPECT_EQ(frmMain->lblVol2->Caption(), "0 %");
    Lines one;
    for (const std::string& l : rec.Lines())
      if (l[0] == '1') one.push_back(l);
    EXPECT_EQ(one, Lines{"1 57 -1 100 -1"});
    EXPECT_EQ(frmMain->lblTitle1->Caption(), "one");
  }
  // The outgoing deck stopped: the mix goes on onto the incoming one.
  frmMain->StartAutoMix(Deck1);
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio2, XA_PLAYER_STATE_PLAYING);
  frmMain->btnStopClick(frmMain->btnStop1);
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio1, XA_PLAYER_STATE_STOPPED);
  EXPECT_EQ(MixRunning, -1);
  EXPECT_TRUE(frmMain->tmrTrans->Enabled());
}

TEST_F(MixTest, AnAutomaticMixFromTheFadersTargetEndEndsAtItsFirstStep) {
  // Deck 2 ends while the fader already stands at deck 1.
  frmMain->spnAMixLength->SetValue(2);
  frmMain->lblTitle1->SetCaption("next");
  frmMain->StartAutoMix(Deck2);
  ASSERT_TRUE(PumpUntil([&] { return MixRunning == 0; }, 2000));
  EXPECT_EQ(steps, 1);
  EXPECT_EQ(Fader(), 0);
  EXPECT_TRUE(Lists("2 6"));
}

TEST_F(MixTest, FinishMixLoadsTheNextPlaylistEntry) {
  auto* list = new TListView(frmMain);
  list->SetParent(frmMain->pnlBrowse);
  Deck1.PlayList = list;
  TListItem* item = list->Items()->Add();
  item->SetCaption("Next Track");
  item->SubItems()->Add("126");
  item->SubItems()->Add("C:\\Music\\Next Track.mp3");
  Deck1.PlayState = 1;
  rec.clear();
  frmMain->FinishMix(Deck1);
  EXPECT_EQ(list->Items()->Count(), 0);
  EXPECT_EQ(frmMain->lblTitle1->Caption(), "Next Track");
  EXPECT_EQ(frmMain->txtBPM1->Text(), "126");
  EXPECT_EQ(Deck1.PlayState, 0);
  EXPECT_EQ(rec.Lines().front(), "1 6");
  // An item without its path loads nothing usable but breaks nothing.
  list->Items()->Add()->SetCaption("broken");
  frmMain->FinishMix(Deck1);
  EXPECT_EQ(list->Items()->Count(), 0);
}

}  // namespace
