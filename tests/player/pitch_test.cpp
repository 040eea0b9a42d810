// Pitch, Auto Pitch, the pitch bends and the BPM edits' filter, with the pitches the
// engines get read back from the recording engine. The recording engine reports no player
// state, so a test says itself when a deck plays.
#include <gtest/gtest.h>

#include <cctype>

#include "PlayerFixture.h"
#include "RecordingEngine.h"

namespace {

using Lines = std::vector<std::string>;

class PitchTest : public RecordedPlayerTest {
 protected:
  // The pitches sent to the engines, in order ("<deck> <pitch>").
  Lines Pitches() const {
    Lines out;
    const std::string key = " 36 OUTPUT.DIRECTSOUND.PITCH ";
    for (const std::string& l : rec.Lines())
      if (auto at = l.find(key); at != std::string::npos)
        out.push_back(l.substr(0, at) + " " + l.substr(at + key.size()));
    return out;
  }
  void Press(TImageButton* b, UINT msg) {
    SendMouseForTesting(static_cast<TWinControl*>(b->Parent()), msg, b->Left() + 12, b->Top() + 12,
                        msg == WM_LBUTTONDOWN ? TShiftState{ssLeft} : TShiftState{});
  }
  static int ThumbOffset(TXPlayer& d) { return d.PitchThumb->Left() - d.PitchTrack->Left(); }

};

TEST_F(PitchTest, SetPitchShowsPercentAndCurrentTempo) {
  frmMain->SetPitch(Deck1, 5);
  EXPECT_EQ(Deck1.CurPitch, 10);
  EXPECT_EQ(frmMain->lblPitch1->Caption(), "1 %");
  frmMain->txtBPM1->SetText("125");
  frmMain->SetPitch(Deck1, 1024);
  EXPECT_EQ(frmMain->lblPitch1->Caption(), "102.4 %");
  EXPECT_EQ(frmMain->lblCurrBPM1->Caption(), "Current BPM = 128");
  // An unreadable tempo still lets the pitch through.
  frmMain->txtBPM1->SetText("abc");
  frmMain->SetPitch(Deck1, 1005);
  EXPECT_EQ(frmMain->lblCurrBPM1->Caption(), "Current BPM = ");
  EXPECT_EQ(Pitches(), (Lines{"1 10", "1 1024", "1 1005"}));
}

TEST_F(PitchTest, AutoPitchMatchesTheOtherDecksSliderAndTempo) {
  frmMain->txtBPM2->SetText("128");
  frmMain->txtBPM1->SetText("125");
  frmMain->btnAutoPitchClick(frmMain->btnAutoPitch1);
  EXPECT_EQ(Deck1.CurPitch, 1024);
  EXPECT_EQ(ThumbOffset(Deck1), 130);  // 210 x 124 / 200 = 130.2
  EXPECT_EQ(CurrentDeck, &Deck1);

  // Beyond the slider's range the thumb goes beyond its track.
  frmMain->txtBPM2->SetText("150");
  frmMain->btnAutoPitchClick(frmMain->btnAutoPitch1);
  EXPECT_EQ(Deck1.CurPitch, 1200);
  EXPECT_EQ(ThumbOffset(Deck1), 315);

  // The other deck's slider is read where it stands, pulled back to the track's end.
  frmMain->txtBPM2->SetText("125");
  frmMain->txtBPM1->SetText("125");
  const Integer deck1Pitch = Deck1.CurPitch;
  frmMain->btnAutoPitchClick(frmMain->btnAutoPitch2);
  EXPECT_EQ(Deck2.CurPitch, 1100);
  EXPECT_EQ(ThumbOffset(Deck1), 210);
  EXPECT_EQ(Deck1.CurPitch, deck1Pitch);
  EXPECT_TRUE(dialogs.empty());
}

TEST_F(PitchTest, AutoPitchWithoutUsableTempiSaysBadBpmAndChangesNothing) {
  frmMain->SetPitch(Deck1, 1000);
  rec.clear();
  const char* cases[][2] = {{"128", ""},  {"128", "0"},   {"", "125"},
                            {"0", "125"}, {"abc", "125"}, {"99999999999", "0.00001"}};
  for (auto& c : cases) {
    frmMain->txtBPM2->SetText(c[0]);
    frmMain->txtBPM1->SetText(c[1]);
    frmMain->btnAutoPitchClick(frmMain->btnAutoPitch1);
  }
  ASSERT_EQ(dialogs.size(), 6u);
  for (const TDialogRequest& d : dialogs) {
    EXPECT_EQ(d.Text, "Bad BPM");
    EXPECT_EQ(d.Caption, "KAZ v2.0");
    EXPECT_EQ(d.Flags, UINT(MB_ICONERROR | MB_OK));
  }
  EXPECT_EQ(Deck1.CurPitch, 1000);
  EXPECT_EQ(ThumbOffset(Deck1), 105);
  EXPECT_TRUE(Pitches().empty());
}

TEST_F(PitchTest, StaticBendMovesByThePercentWhileHeldAndRestoresExactly) {
  // The dynamic bend is the one chosen when no setting says otherwise.
  EXPECT_TRUE(frmMain->chkDPitchBend->Checked());
  frmMain->chkSPitchBend->SetChecked(true);
  frmMain->SetPitch(Deck1, 1013);
  Deck1.PlayState = 1;
  rec.clear();
  Press(frmMain->btnSyncL1, WM_LBUTTONDOWN);
  EXPECT_EQ(Deck1.CurPitch, 1018);  // 0.5 % is 5 per mille
  Press(frmMain->btnSyncL1, WM_LBUTTONUP);
  frmMain->spnSPitchBend->SetValue(2.5);
  Press(frmMain->btnSyncR1, WM_LBUTTONDOWN);
  Press(frmMain->btnSyncR1, WM_LBUTTONUP);
  EXPECT_EQ(Pitches(), (Lines{"1 1018", "1 1013", "1 988", "1 1013"}));
  EXPECT_EQ(CurrentDeck, &Deck1);

  // A stopped deck is not bent, and its release returns to no stale pitch.
  rec.clear();
  Press(frmMain->btnSyncL2, WM_LBUTTONDOWN);
  Deck2.PlayState = 1;
  Press(frmMain->btnSyncL2, WM_LBUTTONUP);
  EXPECT_TRUE(Pitches().empty());
}

TEST_F(PitchTest, DynamicBendAcceleratesThroughTheMessageLoop) {
  frmMain->chkDPitchBend->SetChecked(true);
  EXPECT_FALSE(frmMain->spnSPitchBend->Enabled());
  frmMain->SetPitch(Deck2, 1000);
  Deck2.PlayState = 1;
  rec.clear();
  Press(frmMain->btnSyncL2, WM_LBUTTONDOWN);
  EXPECT_EQ(frmMain->tmrPitchBend->Tag(), 12);
  ASSERT_TRUE(PumpUntil([&] { return Pitches().size() >= 3; }, 3000));
  Press(frmMain->btnSyncL2, WM_LBUTTONUP);
  EXPECT_FALSE(frmMain->tmrPitchBend->Enabled());
  Lines p = Pitches();
  ASSERT_GE(p.size(), 4u);
  EXPECT_EQ(Lines(p.begin(), p.begin() + 3), (Lines{"2 1010", "2 1021", "2 1033"}));
  EXPECT_EQ(p.back(), "2 1000");

  // Down on deck 1.
  frmMain->SetPitch(Deck1, 1000);
  Deck1.PlayState = 1;
  rec.clear();
  Press(frmMain->btnSyncR1, WM_LBUTTONDOWN);
  EXPECT_EQ(frmMain->tmrPitchBend->Tag(), 21);
  ASSERT_TRUE(PumpUntil([&] { return Pitches().size() >= 2; }, 3000));
  Press(frmMain->btnSyncR1, WM_LBUTTONUP);
  EXPECT_EQ(Pitches()[1], "1 979");

  frmMain->chkSPitchBend->SetChecked(true);
  EXPECT_TRUE(frmMain->spnSPitchBend->Enabled());
}

TEST_F(PitchTest, PitchSliderDragsAndARightClickOnTheTrackResets) {
  TImage* thumb = frmMain->imgSldrPitch1;
  TImage* track = frmMain->imgSldPitch1;
  const int x = thumb->Left() + 5, y = thumb->Top() + 5;
  SendMouseForTesting(frmMain->pnlPlayer1, WM_LBUTTONDOWN, x, y, {ssLeft});
  SendMouseForTesting(frmMain->pnlPlayer1, WM_MOUSEMOVE, x + 21, y, {ssLeft});
  SendMouseForTesting(frmMain->pnlPlayer1, WM_LBUTTONUP, x + 21, y);
  EXPECT_EQ(Deck1.CurPitch, 1020);  // 126 pixels of 210: 1020
  SendMouseForTesting(frmMain->pnlPlayer1, WM_RBUTTONDOWN, track->Left() + 200, y, {ssRight});
  SendMouseForTesting(frmMain->pnlPlayer1, WM_RBUTTONUP, track->Left() + 200, y);
  EXPECT_EQ(Deck1.CurPitch, 1000);
  EXPECT_EQ(ThumbOffset(Deck1), 105);
}

TEST_F(PitchTest, BpmEditTakesDigitsAndTheDecimalSeparatorOnly) {
  TEdit* e = frmMain->txtBPM1;
  e->SetText("");
  e->SetFocus();
  for (char c : std::string("1a2-.5 ")) {
    const bool alnum = std::isalnum(static_cast<unsigned char>(c));
    SendKeyForTesting(e, alnum ? Word(std::toupper(static_cast<unsigned char>(c))) : 0, c);
  }
  SendKeyForTesting(e, VK_BACK, 8);
  EXPECT_EQ(e->Text(), "12.5");
}

TEST_F(PitchTest, EngineEventsIgnoreDeckRecordsThatWereNeverFilled) {
  // As after a start-up that failed once deck 1's engine had started.
  Deck1 = TXPlayer{};
  Deck2 = TXPlayer{};
  AutoMix = -1;
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio1, 1);
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio2, 0);
  frmMain->XaudioNotifyInputPosition(frmMain->Xaudio1, 500, 1000);
  frmMain->XaudioNotifyInputTimecode(frmMain->Xaudio2, 0, 0, 5, 0);
  frmMain->XaudioNotifyStreamDuration(frmMain->Xaudio1, 100);
  EXPECT_EQ(Deck1.PlayState, 0);
}

TEST_F(PitchTest, AHugeMixStartMarksTheMixPointWithoutOverflow) {
  AutoMix = -1;
  frmMain->lblTitle2->SetCaption("next");
  Deck1.Zik.DurSecs = 7;
  MixStart = 2000000000;
  frmMain->XaudioNotifyInputPosition(frmMain->Xaudio1, 0, 1000);
  EXPECT_EQ(frmMain->prgBar1->Max(), 0);
  MixStart = 20;
  Deck1.Zik.DurSecs = 200;
  frmMain->XaudioNotifyInputPosition(frmMain->Xaudio1, 0, 1000);
  EXPECT_EQ(frmMain->prgBar1->Max(), 900);
}

}  // namespace
