// The options that route the decks to cards and sides, deck 1's loop controls and
// auto-sync, against the recording engine: the commands each deck's engine gets, in order.
#include <gtest/gtest.h>

#include "PlayerFixture.h"
#include "RecordingEngine.h"

namespace {

using Lines = std::vector<std::string>;

class RoutingTest : public RecordedPlayerTest {
 protected:
  void Report(const String& Name, const String& Description) {
    frmMain->Xaudio1NotifyOutputDeviceInfo(frmMain->Xaudio1, 1, 0, 0, Name, Description);
  }
  // Opens a card button's menu; notes its entries ("*" when checked) and picks `choose`
  // (-1: none).
  std::vector<String> CardMenu(TSpeedButton* button, int choose) {
    std::vector<String> seen;
    SetMenuTrackerForTesting([&](TMenuTracking& m) {
      for (int i = 0; i < m.Count(); ++i)
        seen.push_back(m.Item(i)->Caption() + (m.Item(i)->Checked() ? "*" : ""));
      if (choose >= 0) m.Choose(choose);
    });
    frmMain->btnSC1Click(button);
    Application->ProcessMessages();
    return seen;
  }
  void Timecode(TXaudioPlayer* x, int m, int s, int f) {
    frmMain->XaudioNotifyInputTimecode(x, 0, static_cast<Byte>(m), static_cast<Byte>(s),
                                       static_cast<Byte>(f));
  }
  static int ThumbOffset(const TXPlayer& d) { return d.VolThumb->Top() - d.VolTrack->Top(); }

};

TEST_F(RoutingTest, DeviceReportsFillTheListAndTheLabelsOfTheFirstThree) {
  CardIndex1 = 3;
  CardIndex2 = 1;
  Report("dsound", "DirectSound:Primary Sound Driver");
  Report("wavein", "Wave:Line In");  // not an output of this module
  Report("dsound", "Card without a colon");
  Report("dsound", "DirectSound:USB Audio: Rear");
  Report("dsound", "DirectSound:HDMI");
  EXPECT_EQ(frmMain->CardList->Count(), 4);
  EXPECT_EQ(frmMain->CardList->Strings(1), "Card without a colon");
  EXPECT_EQ(frmMain->CardList->Strings(2), "USB Audio: Rear");
  EXPECT_EQ(frmMain->lblSC2->Caption(), "Card without a colon");
  // The fourth device names no label, even the one chosen for deck 1.
  EXPECT_EQ(frmMain->lblSC1->Caption(), "(Default)");
  EXPECT_TRUE(rec.Lines().empty());
}

TEST_F(RoutingTest, DeviceMenuOffersEveryCardButTheDefault) {
  Report("dsound", "DirectSound:Primary Sound Driver");
  EXPECT_TRUE(CardMenu(frmMain->btnSC1, -1).empty());

  Report("dsound", "DirectSound:Card 1");
  Report("dsound", "DirectSound:Card 2");
  frmMain->chk2SC->SetChecked(true);
  rec.clear();
  EXPECT_EQ(CardMenu(frmMain->btnSC2, 1), (std::vector<String>{"Card 1", "Card 2"}));
  EXPECT_EQ(CardIndex2, 2);
  EXPECT_EQ(frmMain->lblSC2->Caption(), "Card 2");
  EXPECT_EQ(rec.Lines(), (Lines{"1 49 /dev/dsound/0", "2 49 /dev/dsound/2"}));
  // The menu is made anew, with the deck's card checked.
  EXPECT_EQ(CardMenu(frmMain->btnSC2, -1), (std::vector<String>{"Card 1", "Card 2*"}));
  EXPECT_EQ(CardMenu(frmMain->btnSC1, -1), (std::vector<String>{"Card 1", "Card 2"}));
}

TEST_F(RoutingTest, TwoCardModeAndPreListeningModeExcludeEachOther) {
  frmMain->chkPreL->SetChecked(true);
  rec.clear();
  // A card far down the list is still named.
  CardIndex1 = 1;
  CardIndex2 = 3;
  frmMain->chk2SC->SetChecked(true);
  EXPECT_EQ(rec.Lines(), (Lines{"1 57 50 -1 -1", "2 57 50 -1 -1", "1 59 0", "2 59 0",
                                "1 49 /dev/dsound/1", "2 49 /dev/dsound/3"}));
  EXPECT_FALSE(frmMain->chkPreL->Checked());
  EXPECT_FALSE(frmMain->btnPreL1->Visible());
  EXPECT_TRUE(frmMain->btnSC1->Enabled());
  EXPECT_TRUE(frmMain->btnSC2->Enabled());

  rec.clear();
  frmMain->chkPreL->SetChecked(true);
  EXPECT_EQ(rec.Lines(), (Lines{"1 49 /dev/dsound/0", "2 49 /dev/dsound/0", "1 57 100 -1 -1",
                                "2 57 100 -1 -1", "1 59 3", "2 59 3"}));
  EXPECT_FALSE(frmMain->chk2SC->Checked());
  EXPECT_FALSE(frmMain->btnSC1->Enabled());
  EXPECT_TRUE(frmMain->btnPreL1->Visible());
  EXPECT_TRUE(frmMain->btnPreL2->Visible());
}

TEST_F(RoutingTest, PreListeningButtonsAndTheHeadphoneSwitch) {
  frmMain->chkPreL->SetChecked(true);
  rec.clear();
  frmMain->btnPreLClick(frmMain->btnPreL1);
  EXPECT_EQ(rec.Lines(), (Lines{"1 57 0 -1 -1", "1 57 -1 100 -1"}));
  EXPECT_EQ(frmMain->btnPreL1->Font()->Color(), clRed);
  EXPECT_EQ(frmMain->btnPreL1->Tag(), 1);
  EXPECT_EQ(ThumbOffset(Deck1), 0);

  // Only the deck that is not pre-listened moves to both sides.
  rec.clear();
  frmMain->chkASound->SetChecked(true);
  EXPECT_EQ(rec.Lines(), (Lines{"2 57 50 -1 -1"}));

  rec.clear();
  frmMain->btnPreLClick(frmMain->btnPreL1);
  EXPECT_EQ(rec.Lines(), (Lines{"1 57 -1 1 -1", "1 57 50 -1 -1"}));
  EXPECT_EQ(frmMain->btnPreL1->Font()->Color(), frmMain->Font()->Color());
  EXPECT_EQ(frmMain->btnPreL1->Tag(), 0);
  EXPECT_EQ(ThumbOffset(Deck1), 159);

  rec.clear();
  frmMain->chkASound->SetChecked(false);
  EXPECT_EQ(rec.Lines(), (Lines{"1 57 100 -1 -1", "2 57 100 -1 -1"}));
}

TEST_F(RoutingTest, LeavingPreListeningPutsBothSidesBackAndLeavesTheLevels) {
  frmMain->chkPreL->SetChecked(true);
  frmMain->btnPreLClick(frmMain->btnPreL2);
  rec.clear();
  frmMain->chkPreL->SetChecked(false);
  EXPECT_EQ(rec.Lines(), (Lines{"1 57 50 -1 -1", "2 57 50 -1 -1", "1 59 0", "2 59 0"}));
  EXPECT_FALSE(frmMain->btnPreL2->Visible());
  EXPECT_EQ(frmMain->lblVol2->Caption(), "100 %");
  // Outside the mode no deck is pre-listened: playing takes its level from its thumb.
  EXPECT_EQ(frmMain->btnPreL2->Tag(), 0);
  PlaceVSlider(Deck2.VolTrack, Deck2.VolThumb, 60, 100, 0);
  rec.clear();
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio2, 1);
  EXPECT_EQ(rec.Lines(), (Lines{"2 57 -1 40 -1"}));
}

TEST_F(RoutingTest, LoopEditsTakeTwoDigitsAndAnEmptiedOneIsReported) {
  frmMain->pnlLoop1Start->SetVisible(true);
  frmMain->pnlLoop2End->SetVisible(true);
  const char* texts[] = {"01", "30", "50", "02", "10", "20"};
  for (int i = 0; i < 6; ++i) Deck1.LoopEdits[i]->SetText(texts[i]);
  EXPECT_EQ(Deck1.LoopSF, 50);
  EXPECT_EQ(Deck1.LoopEF, 20);

  TEdit* e = frmMain->txtLoopSS1;
  e->SetFocus();
  e->SelectAll();
  SendKeyForTesting(e, 'A', 'a');
  SendKeyForTesting(e, '4', '4');
  SendKeyForTesting(e, VK_BACK, '\b');
  SendKeyForTesting(e, '5', '5');
  SendKeyForTesting(e, '6', '6');
  EXPECT_EQ(e->Text(), "45");
  EXPECT_EQ(Deck1.LoopSS, 45);
  EXPECT_TRUE(dialogs.empty());

  // Deleting what an edit holds leaves no number: reported, and the fields from the
  // emptied one on keep their values.
  e = frmMain->txtLoopSF1;
  e->SetFocus();
  e->SelectAll();
  SendKeyForTesting(e, VK_DELETE, 0);
  EXPECT_EQ(frmMain->txtLoopSF1->Text(), "");
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_NE(dialogs[0].Text.find("is not a valid integer value"), String::npos) << dialogs[0].Text;
  EXPECT_EQ(Deck1.LoopSS, 45);
  EXPECT_EQ(Deck1.LoopSF, 50);
  EXPECT_EQ(Deck1.LoopEM, 2);
  EXPECT_EQ(Deck1.LoopES, 10);
  EXPECT_EQ(Deck1.LoopEF, 20);
}

TEST_F(RoutingTest, LoopMenuFullRepeatAndTheLoopsEnd) {
  frmMain->XaudioNotifyStreamDuration(frmMain->Xaudio1, 205);
  std::vector<String> seen;
  auto choose = [&](int item) {
    seen.clear();
    SetMenuTrackerForTesting([&](TMenuTracking& m) {
      for (int i = 0; i < m.Count(); ++i) seen.push_back(m.Item(i)->Caption());
      m.Choose(item);
    });
    frmMain->btnLoop1Click(frmMain->btnLoop1);
    Application->ProcessMessages();
  };
  choose(0);
  EXPECT_EQ(seen, (std::vector<String>{"Loop", "-", "Full Repeat"}));
  EXPECT_NE(Deck1.LoopOn, 0);
  EXPECT_EQ(frmMain->btnLoop1->Font()->Color(), clRed);
  choose(0);
  EXPECT_EQ(Deck1.LoopOn, 0);
  EXPECT_EQ(frmMain->btnLoop1->Font()->Color(), frmMain->Font()->Color());

  choose(2);
  std::vector<String> texts;
  for (TEdit* e : Deck1.LoopEdits) texts.push_back(e->Text());
  EXPECT_EQ(texts, (std::vector<String>{"00", "00", "00", "03", "25", "00"}));
  EXPECT_NE(Deck1.LoopOn, 0);
  EXPECT_TRUE(frmMain->popLLoop1->Checked());
  // Full Repeat again leaves the loop on.
  choose(2);
  EXPECT_NE(Deck1.LoopOn, 0);

  rec.clear();
  Timecode(frmMain->Xaudio1, 3, 24, 98);
  Timecode(frmMain->Xaudio2, 3, 25, 0);  // deck 2 has no loop
  EXPECT_TRUE(rec.Lines().empty());
  Timecode(frmMain->Xaudio1, 3, 25, 0);
  EXPECT_EQ(rec.Lines(), (Lines{"1 7 0 20500", "1 4"}));

  rec.clear();
  frmMain->txtLoopSM1->SetText("01");
  frmMain->txtLoopSS1->SetText("30");
  frmMain->txtLoopSF1->SetText("50");
  Timecode(frmMain->Xaudio1, 3, 25, 0);
  EXPECT_EQ(rec.Lines(), (Lines{"1 7 9050 20500", "1 4"}));
}

TEST_F(RoutingTest, AutoSyncWaitsForDeckOnesBeatThenDeckTwos) {
  frmMain->btnAutoSyncClick(frmMain->btnAutoSync);
  EXPECT_NE(Deck1.AutoSync, 0);
  EXPECT_EQ(frmMain->btnAutoSync->Font()->Color(), clRed);

  Timecode(frmMain->Xaudio1, 0, 1, 0);
  frmMain->shpBoom2->Brush()->SetColor(clRed);
  Timecode(frmMain->Xaudio2, 0, 1, 0);  // deck 1 has not paused yet
  EXPECT_TRUE(rec.Lines().empty());
  frmMain->shpBoom2->Brush()->SetColor(clBlack);
  frmMain->shpBoom1->Brush()->SetColor(clRed);
  Timecode(frmMain->Xaudio1, 0, 1, 2);
  Timecode(frmMain->Xaudio1, 0, 1, 4);
  EXPECT_EQ(rec.Lines(), (Lines{"1 5"}));
  EXPECT_NE(Deck1.SyncPaused, 0);

  rec.clear();
  Timecode(frmMain->Xaudio2, 0, 7, 0);
  frmMain->shpBoom2->Brush()->SetColor(clRed);
  Timecode(frmMain->Xaudio2, 0, 7, 2);
  Timecode(frmMain->Xaudio2, 0, 7, 4);
  EXPECT_EQ(rec.Lines(), (Lines{"1 4"}));
  EXPECT_EQ(Deck1.AutoSync, 0);
  EXPECT_EQ(Deck1.SyncPaused, 0);
  // The caption stays red after a sync; one click arms it again.
  EXPECT_EQ(frmMain->btnAutoSync->Font()->Color(), clRed);
  frmMain->btnAutoSyncClick(frmMain->btnAutoSync);
  EXPECT_NE(Deck1.AutoSync, 0);
  frmMain->btnAutoSyncClick(frmMain->btnAutoSync);
  EXPECT_EQ(frmMain->btnAutoSync->Font()->Color(), frmMain->Font()->Color());
}

}  // namespace
