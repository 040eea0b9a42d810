// What drives the steps: tempo, tap tempo, the player's beats with the beat filter, "Sync",
// "Boost", auto mode and the flash length. The tap clock's ticks are run by hand, so the
// tap tests measure in ticks, not in time.
#include <gtest/gtest.h>

#include "LightsFixture.h"

namespace {

class Tempo : public LightsTest {
 protected:
  void SetUp() override {
    LightsTest::SetUp();
    StartLights();
  }
  // One tap on "Boom", then `ms` of the tap clock.
  static void Tap(int ms = 0) {
    Form1->BoomBtn1MouseDown(Form1->BoomBtn, mbLeft, TShiftState{ssLeft}, 1, 1);
    for (int t = 0; t < ms; t += 10) Form1->BoomtimerTimer(Form1->Boomtimer);
  }
  static void AutoModeOn() {
    Form1->Automode1Click(Form1);
    ASSERT_TRUE(Form1->Automode1->Checked());
    ASSERT_TRUE(Form1->Boomfilter->Enabled());
  }
  static String Counter() { return Form3->ActivityLbl->Caption(); }
};

TEST_F(Tempo, TheTrackBarSetsTheIntervalTheUpDownAndTheLabel) {
  Form1->intervalTrkbar->SetPosition(40);
  EXPECT_EQ(Form1->Timer1->Interval(), 1500u);
  EXPECT_EQ(Form1->BpmUpDown->Position(), 40);
  EXPECT_EQ(Form1->BpmLbl->Caption(), "40 bpm");
  Form1->intervalTrkbar->SetPosition(1000);
  EXPECT_EQ(Form1->intervalTrkbar->Position(), 600);
  EXPECT_EQ(Form1->Timer1->Interval(), 100u);

  Form1->BpmUpDown->SetPosition(133);
  Form1->BpmUpDown1Click(Form1->BpmUpDown, btNext);
  EXPECT_EQ(Form1->intervalTrkbar->Position(), 133);
  EXPECT_EQ(Form1->Timer1->Interval(), 451u);
  EXPECT_EQ(Form1->BpmLbl->Caption(), "133 bpm");
}

TEST_F(Tempo, FastTempoShortensTheFlashForGood) {
  Form1->FlashingchkClick(Form1);
  EXPECT_EQ(Form1->CutoffTimer->Interval(), 100);
  Form1->intervalTrkbar->SetPosition(600);
  EXPECT_EQ(Form1->CutoffTimer->Interval(), 90);
  EXPECT_FALSE(Form1->CutoffTimer->Enabled());
  Form1->intervalTrkbar->SetPosition(120);
  EXPECT_EQ(Form1->CutoffTimer->Interval(), 90);
  Form3->Show();
  EXPECT_EQ(Form3->FlashEdit->Text(), "90");
  EXPECT_EQ(Form3->FlashUpDwn->Position(), 90);
}

TEST_F(Tempo, TapTempo) {
  // Taps 500 ms apart: the second tap gives 120 BPM.
  Form1->intervalTrkbar->SetPosition(90);
  Tap(500);
  Tap(250);
  EXPECT_EQ(Form1->intervalTrkbar->Position(), 120);
  EXPECT_EQ(Form1->Timer1->Interval(), 500u);
  EXPECT_EQ(Form1->BpmLbl->Caption(), "120 bpm");
  // The tempo is the average since the first tap: 750 ms over two intervals.
  Tap();
  EXPECT_EQ(TapCount, 2);
  EXPECT_EQ(Form1->intervalTrkbar->Position(), 160);
  // The series ends 1500 ms after its last tap and the next tap starts a new one.
  for (int t = 0; t < 1500; t += 10) Form1->BoomtimerTimer(Form1->Boomtimer);
  EXPECT_TRUE(Form1->Boomtimer->Enabled());
  Form1->BoomtimerTimer(Form1->Boomtimer);
  EXPECT_FALSE(Form1->Boomtimer->Enabled());
  Tap();
  EXPECT_EQ(TapCount, 0);
  EXPECT_EQ(TapElapsed, 0);
}

TEST_F(Tempo, TapsTooFastClampToTheFastestTempo) {
  Tap(80);
  Tap(80);
  EXPECT_EQ(Form1->intervalTrkbar->Position(), 600);
  EXPECT_EQ(Form1->BpmLbl->Caption(), "600 bpm");
  Form1->Boomtimer->SetEnabled(false);
  // A second tap before the tap clock ticked once: no division by zero.
  Form1->intervalTrkbar->SetPosition(120);
  Tap();
  Tap();
  EXPECT_EQ(Form1->intervalTrkbar->Position(), 600);
}

TEST_F(Tempo, ASingleTapEnds1510MsLaterWithNoTempoChange) {
  Tap(1500);
  EXPECT_TRUE(Form1->Boomtimer->Enabled());
  Form1->BoomtimerTimer(Form1->Boomtimer);
  EXPECT_FALSE(Form1->Boomtimer->Enabled());
  EXPECT_EQ(Form1->intervalTrkbar->Position(), 120);
}

TEST_F(Tempo, TheRealTapClockEndsASeries) {
  Tap();
  EXPECT_TRUE(PumpUntil([] { return !Form1->Boomtimer->Enabled(); }, 8000));
  EXPECT_GE(TapElapsed, 1510);
}

TEST_F(Tempo, BeatsStepOnlyInAutoModeWithPower) {
  Beat();
  Form1->CheckBox1->SetChecked(true);
  Beat();
  EXPECT_EQ(PortBytes().size(), 1u);  // only the start's 0
  AutoModeOn();
  EXPECT_FALSE(Form1->Timer1->Enabled());
  Beat();
  Beat();
  EXPECT_EQ(PortBytes(), (std::vector<int>{0, 0x22, 0x44}));
  EXPECT_EQ(Counter(), "0000");  // the filter is off: nothing is counted
}

TEST_F(Tempo, TheBeatFilterDropsAndCountsBeatsUntilItsWindowEnds) {
  Form1->CheckBox1->SetChecked(true);
  AutoModeOn();
  Form1->BoomfilterClick(Form1);
  ASSERT_TRUE(Form1->Boomfilter->Checked());
  Beat();
  EXPECT_TRUE(BeatFilterBusy);
  EXPECT_TRUE(Form1->FilterTimer->Enabled());
  Beat();
  Beat();
  EXPECT_EQ(Counter(), "2");
  EXPECT_EQ(PortBytes().size(), 2u);
  Form1->FilterTimerTimer(Form1->FilterTimer);
  EXPECT_FALSE(BeatFilterBusy);
  EXPECT_FALSE(Form1->FilterTimer->Enabled());
  Beat();
  EXPECT_EQ(PortBytes().size(), 3u);

  // The real filter window lets the next beat through once it has passed.
  EXPECT_TRUE(PumpUntil([] { return !BeatFilterBusy; }, 3000));
  Beat();
  EXPECT_EQ(PortBytes().size(), 4u);

  Form3->SpeedButton7Click(Form3);
  EXPECT_EQ(Counter(), "0000");
}

TEST_F(Tempo, TheFilterIntervalComesFromTheSetup) {
  Form3->UpDown2->SetPosition(50);
  Form3->UpDown2Click(Form3->UpDown2, btPrev);
  EXPECT_EQ(Form1->FilterTimer->Interval(), 50);
  EXPECT_EQ(Form3->Label11->Caption(), "For Bpms < 1200");
  EXPECT_EQ(Form3->IgnEdit->Text(), "50");
  Form3->UpDown2->SetPosition(500);
  Form3->UpDown2Click(Form3->UpDown2, btNext);
  EXPECT_EQ(Form3->Label11->Caption(), "For Bpms < 120");
}

TEST_F(Tempo, BoostInAutoModeStepsWithPowerOffAndBeatsDoNothing) {
  AutoModeOn();
  Form1->SpeedButton61MouseDown(Form1->SpeedButton6, mbRight, TShiftState{ssRight}, 1, 1);
  Form1->SpeedButton61MouseUp(Form1->SpeedButton6, mbRight, TShiftState{}, 1, 1);
  EXPECT_FALSE(BoostActive);
  EXPECT_EQ(Form1->Timer1->Interval(), 500u);

  Form1->FlashingchkClick(Form1);
  Form1->SpeedButton61MouseDown(Form1->SpeedButton6, mbLeft, TShiftState{ssLeft}, 1, 1);
  EXPECT_TRUE(BoostActive);
  EXPECT_FALSE(FlashMode);
  EXPECT_TRUE(Form1->Timer1->Enabled());
  EXPECT_EQ(Form1->Timer1->Interval(), 100u);
  std::size_t bytes = PortBytes().size();
  Beat();
  EXPECT_EQ(PortBytes().size(), bytes);
  EXPECT_TRUE(PumpUntil([] { return PortBytes().size() >= 4; }, 3000));

  Form1->SpeedButton61MouseUp(Form1->SpeedButton6, mbLeft, TShiftState{}, 1, 1);
  EXPECT_FALSE(BoostActive);
  EXPECT_TRUE(FlashMode);
  EXPECT_FALSE(Form1->Timer1->Enabled());
  EXPECT_EQ(Form1->Timer1->Interval(), 500u);

  // With POWER on, the held button alone keeps beats from stepping.
  Form1->CheckBox1->SetChecked(true);
  Form1->SpeedButton61MouseDown(Form1->SpeedButton6, mbLeft, TShiftState{ssLeft}, 1, 1);
  bytes = PortBytes().size();
  Beat();
  EXPECT_EQ(PortBytes().size(), bytes);
  Form1->SpeedButton61MouseUp(Form1->SpeedButton6, mbLeft, TShiftState{}, 1, 1);
  Beat();
  EXPECT_GT(PortBytes().size(), bytes);
}

TEST_F(Tempo, SyncStepsNowEvenWithPowerOff) {
  Form1->SpeedButton81Click(Form1);
  EXPECT_EQ(PortBytes(), (std::vector<int>{0, 0x22}));
  EXPECT_FALSE(Form1->Timer1->Enabled());
  Form1->CheckBox1->SetChecked(true);
  Form1->SpeedButton81Click(Form1);
  EXPECT_TRUE(Form1->Timer1->Enabled());
}

}  // namespace
