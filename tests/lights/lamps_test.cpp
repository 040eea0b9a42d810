// The light controller's lamps in one process: the byte each pattern puts on the port step
// by step, the custom list, the stroboscope, the flash, the pin wizard, and the tempo and
// beat rules that drive the steps. Steps are run by calling the step directly, so the
// sequences do not depend on timing.
#include <gtest/gtest.h>

#include "LightsFixture.h"

namespace {

constexpr int L = 0x22, M = 0x44, U = 0x88, ML = 0x66, UM = 0xCC, ALL = 0xEE;

using Bytes = std::vector<int>;

class Lamps : public LightsTest {
 protected:
  void SetUp() override {
    LightsTest::SetUp();
    StartLights();
  }
  void Add(const String& Caption, const String& Code) {
    TListItem* item = Form1->ListView1->Items()->Add();
    item->SetCaption(Caption);
    item->SubItems()->Add(Code);
  }
};

TEST_F(Lamps, StartLeavesThePortDarkAndEveryPanelLit) {
  EXPECT_EQ(PortBytes(), Bytes{0});
  for (Integer p = 1; p <= 8; ++p) EXPECT_EQ(Form1->PositionPanel(p)->Color(), LitColor);
  EXPECT_EQ(Form1->ClientWidth(), 426);
  EXPECT_EQ(Form1->ClientHeight(), 150);
  EXPECT_FALSE(Form1->Timer1->Enabled());
  // The port library is taken from beside the program, named with its trailing backslash.
  const String dll = Form1->PortIO->DLLPath();
  ASSERT_FALSE(dll.empty());
  EXPECT_EQ(dll.back(), '\\');
  EXPECT_EQ(Form1->PortIO->DriverPath(), dll);
}

TEST_F(Lamps, EachPatternFromCounterZero) {
  struct Case {
    TRadioButton* Radio;
    Bytes Expected;
  };
  const Case cases[] = {
      {Form1->Radio1, {L, M, U, L, M, U, L}}, {Form1->Radio2, {L, ML, ALL, ML, L, 0, L, ML}},
      {Form1->Radio3, {ALL, ALL, ALL}},       {Form1->Radio4, {L, ML, UM, U, UM, ML, L, ML}},
      {Form1->Radio5, {L, M, U, M, L, M}},    {Form1->Radio6, {L, ML, ALL, UM, U, 0, L, ML}},
  };
  for (const Case& c : cases) {
    StepCounter = 0;
    c.Radio->SetChecked(true);
    EXPECT_EQ(Steps(static_cast<int>(c.Expected.size())), c.Expected) << c.Radio->Caption();
  }
}

TEST_F(Lamps, ASwitchedPatternGoesOnFromTheSharedCounter) {
  Form1->Radio2->SetChecked(true);
  Steps(5);
  // Counter 6 reaches Rotate's wrap value 4, so Rotate starts again at its first row.
  Form1->Radio1->SetChecked(true);
  EXPECT_EQ(Steps(2), (Bytes{L, M}));
  // "full fire" leaves the counter alone: Rotate then goes on with its third row.
  Form1->Radio3->SetChecked(true);
  EXPECT_EQ(Steps(2), (Bytes{ALL, ALL}));
  EXPECT_EQ(StepCounter, 2);
  Form1->Radio1->SetChecked(true);
  EXPECT_EQ(Steps(1), Bytes{U});
}

TEST_F(Lamps, PanelsAndMirrorsFollowTheReverseBoxes) {
  Form1->Timer1Timer(Form1);  // Rotate, first row: Lower
  EXPECT_EQ(Form1->spot3->Color(), LitColor);
  EXPECT_EQ(Form1->spot4->Color(), LitColor);  // mirror of position 3 with "Reverse"
  EXPECT_EQ(Form1->spot6->Color(), UnlitColor);
  EXPECT_EQ(Form1->spot1->Color(), UnlitColor);

  Form1->reversechk1->SetChecked(false);
  EXPECT_EQ(Form1->spot4->Caption(), "1");
  EXPECT_EQ(Form1->spot6->Caption(), "3");
  StepCounter = 0;
  Form1->Timer1Timer(Form1);
  EXPECT_EQ(Form1->spot6->Color(), LitColor);
  EXPECT_EQ(Form1->spot4->Color(), UnlitColor);
  // The numbers and the light agree: the lit mirror shows position 3's channel.
  EXPECT_EQ(Form1->spot6->Caption(), Form1->spot3->Caption());
}

TEST_F(Lamps, StroboscopesKeepTheirOutputOnWhileTheirPanelBlinks) {
  Form1->Radio9->SetChecked(true);
  EXPECT_EQ(Steps(3), (Bytes{0x10, 0x10, 0x10}));
  const TColor first = Form1->Strobo->Color();
  Form1->Timer1Timer(Form1);
  EXPECT_NE(Form1->Strobo->Color(), first);

  Form3->Nouts->SetChecked(true);
  EXPECT_TRUE(Form1->Radio8->Visible());
  Form1->Radio8->SetChecked(true);
  EXPECT_EQ(Steps(2), (Bytes{0x01, 0x01}));
  EXPECT_EQ(Form1->Strobo->Color(), UnlitColor);
}

TEST_F(Lamps, AStroboscopeHeldWithTheRightButtonGivesThePatternBack) {
  Form1->Radio4->SetChecked(true);
  Form1->Radio9MouseDown(Form1->Radio9, mbRight, TShiftState{ssRight}, 1, 1);
  EXPECT_TRUE(Form1->Radio9->Checked());
  EXPECT_EQ(HeldPattern, 4);
  EXPECT_EQ(Steps(1), Bytes{0x10});
  Form1->Radio9MouseUp(Form1->Radio9, mbRight, TShiftState{}, 1, 1);
  EXPECT_TRUE(Form1->Radio4->Checked());
  EXPECT_FALSE(Form1->Radio9->Checked());
  EXPECT_EQ(HeldPattern, 0);

  // A left press checks it for good.
  Form1->Radio9MouseDown(Form1->Radio9, mbLeft, TShiftState{ssLeft}, 1, 1);
  Form1->Radio9->SetChecked(true);
  Form1->Radio9MouseUp(Form1->Radio9, mbLeft, TShiftState{}, 1, 1);
  EXPECT_TRUE(Form1->Radio9->Checked());
  // The right button on the checked one holds nothing.
  Form1->Radio9MouseDown(Form1->Radio9, mbRight, TShiftState{ssRight}, 1, 1);
  Form1->Radio9MouseUp(Form1->Radio9, mbRight, TShiftState{}, 1, 1);
  EXPECT_TRUE(Form1->Radio9->Checked());
}

TEST_F(Lamps, HoldingTheStroboscopeOverCustomWithAnEmptyListFallsBackToRotate) {
  Add("[ooo]", "7");
  Form1->Radio7->SetChecked(true);
  Form1->ListView1->Items()->Clear();
  Form1->Radio8MouseDown(Form1->Radio8, mbRight, TShiftState{ssRight}, 1, 1);
  EXPECT_EQ(HeldPattern, 7);
  Form1->Radio8MouseUp(Form1->Radio8, mbRight, TShiftState{}, 1, 1);
  EXPECT_TRUE(Form1->Radio1->Checked());
  EXPECT_EQ(Form1->ClientHeight(), 345);
}

TEST_F(Lamps, TheCustomListPlaysFromTheEntryAfterTheCounter) {
  Add("[o  ]", "4");
  Add("[ o ]", "2");
  Add("[  o]", "1");
  Form1->Radio7->SetChecked(true);
  EXPECT_EQ(Form1->ClientHeight(), 345);
  EXPECT_TRUE(Form1->Customiser1->Checked());
  EXPECT_EQ(Steps(4), (Bytes{M, L, U, M}));
}

TEST_F(Lamps, TempoEntriesSetTheTempoAndLendTheirStepToTheNextEntry) {
  Add("<Set bpm>", "140");
  Add("[ooo]", "7");
  Form1->Radio7->SetChecked(true);
  EXPECT_EQ(Steps(1), Bytes{ALL});
  EXPECT_EQ(Form1->BpmLbl->Caption(), "120 bpm");
  EXPECT_EQ(Steps(2), (Bytes{ALL, ALL}));
  EXPECT_EQ(Form1->intervalTrkbar->Position(), 140);
  EXPECT_EQ(Form1->BpmUpDown->Position(), 140);
  EXPECT_EQ(Form1->Timer1->Interval(), 428u);
  EXPECT_EQ(Form1->BpmLbl->Caption(), "140 bpm");
}

TEST_F(Lamps, CustomEntriesThatAreNoPatternLightNothing) {
  Add("<Set bpm>", "90");
  Add("<Set bpm>", "150");   // used as a pattern code: above 7
  Add("<Set bpm>", "fast");  // the tempo field takes any text
  Form1->Radio7->SetChecked(true);
  EXPECT_EQ(Steps(3), (Bytes{0, 0, 0}));
}

TEST_F(Lamps, AnEmptyCustomListMakesNoOutput) {
  Add("[ooo]", "7");
  Form1->Radio7->SetChecked(true);
  Form1->SpeedButton4Click(Form1);  // "Clear"
  EXPECT_TRUE(Form1->Radio7->Checked());
  const size_t before = PortBytes().size();
  Form1->FlashingchkClick(Form1);
  Form1->CutoffTimer->SetEnabled(false);
  Form1->Timer1Timer(Form1);
  EXPECT_EQ(PortBytes().size(), before);
  EXPECT_FALSE(Form1->CutoffTimer->Enabled());
}

TEST_F(Lamps, TheFlashDarkensTheSpotsButNotAStroboscope) {
  Form1->FlashingchkClick(Form1);
  EXPECT_TRUE(FlashMode);
  EXPECT_TRUE(Form1->Flashingchk->Checked());
  Form1->Radio3->SetChecked(true);
  Form1->CutoffTimer->SetEnabled(false);
  EXPECT_EQ(Steps(1), Bytes{ALL});
  EXPECT_TRUE(Form1->CutoffTimer->Enabled());
  Form1->CutoffTimerTimer(Form1->CutoffTimer);
  EXPECT_EQ(LastByte(), 0);
  EXPECT_FALSE(Form1->CutoffTimer->Enabled());
  EXPECT_EQ(Form1->spot1->Color(), UnlitColor);
  EXPECT_EQ(Form1->spot6->Color(), UnlitColor);
  // Channels are left as the step set them.
  EXPECT_EQ(PortByteOf(Channels), ALL);

  Form1->Radio9->SetChecked(true);
  EXPECT_EQ(Steps(1), Bytes{0x10});
  Form1->CutoffTimerTimer(Form1->CutoffTimer);
  EXPECT_EQ(LastByte(), 0x10);
  EXPECT_TRUE(Form1->CutoffTimer->Enabled());
  Form1->Radio1->SetChecked(true);
  Form1->CutoffTimerTimer(Form1->CutoffTimer);
  EXPECT_EQ(LastByte(), 0);
  EXPECT_FALSE(Form1->CutoffTimer->Enabled());
}

TEST_F(Lamps, TheWizardSwapsTwoChannelsAndTheByteFollows) {
  Form3->UpDown1->SetPosition(8);
  Form3->UpDown1Click(Form3->UpDown1, btNext);
  EXPECT_EQ(Form3->Edit1->Text(), "8");
  EXPECT_EQ(LastByte(), 0x01);  // only the tested pin
  Form3->SpeedButton8Click(Form3);
  EXPECT_TRUE(Form3->Step2Pnl->Visible());
  Form3->Combo1->SetItemIndex(0);  // "Upper spot 1"
  Form3->FinishBtnClick(Form3);
  EXPECT_EQ(Form1->spot1->Caption(), "8");
  EXPECT_EQ(Form1->light->Caption(), "1");
  EXPECT_EQ(Form1->spot6->Caption(), "8");
  EXPECT_TRUE(Form3->Step1Pnl->Visible());
  EXPECT_FALSE(Form3->Step2Pnl->Visible());

  Form1->Radio1->SetChecked(true);
  StepCounter = 2;
  EXPECT_EQ(Steps(1), Bytes{0x09});  // Upper: position 1 on channel 8, position 5 on 5
  Form3->Nouts->SetChecked(true);
  Form1->Radio8->SetChecked(true);
  EXPECT_EQ(Steps(1), Bytes{0x80});

  // A pin that already is the chosen position's changes nothing.
  Form3->Combo1->SetItemIndex(1);
  Form3->UpDown1->SetPosition(2);
  Form3->FinishBtnClick(Form3);
  const char* expected[] = {"", "8", "2", "3", "4", "5", "6", "7", "1"};
  for (Integer p = 1; p <= 8; ++p) EXPECT_EQ(Form1->PositionPanel(p)->Caption(), expected[p]);
}

TEST_F(Lamps, TheWizardRefusesToGoOnWithPowerOn) {
  Form1->CheckBox1->SetChecked(true);
  Form3->SpeedButton8Click(Form3);
  EXPECT_EQ(Boxes(), std::vector<String>{"Spots configuration needs power off"});
  EXPECT_TRUE(Form3->Step1Pnl->Visible());
  EXPECT_FALSE(Form3->Step2Pnl->Visible());
  // Finish with nothing chosen does nothing.
  Form3->FinishBtnClick(Form3);
  EXPECT_EQ(Form1->spot1->Caption(), "1");
}

TEST_F(Lamps, PowerOffStopsTheClockAndLeavesTheIdleLook) {
  Form1->CheckBox1->SetChecked(true);
  EXPECT_TRUE(Form1->Timer1->Enabled());
  Form1->Radio3->SetChecked(true);
  Steps(1);
  Form1->CheckBox1->SetChecked(false);
  EXPECT_FALSE(Form1->Timer1->Enabled());
  EXPECT_FALSE(Form1->CutoffTimer->Enabled());
  EXPECT_EQ(LastByte(), 0);
  for (Integer p = 1; p <= 8; ++p) EXPECT_EQ(Form1->PositionPanel(p)->Color(), LitColor);
}

TEST_F(Lamps, TheStepClockStepsTheLampsOnItsOwn) {
  Form1->intervalTrkbar->SetPosition(600);
  Form1->CheckBox1->SetChecked(true);
  EXPECT_TRUE(PumpUntil([] { return PortBytes().size() >= 4; }, 5000));
}

}  // namespace
