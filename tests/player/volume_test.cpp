// The deck volumes, the cross-fader and the cut buttons, driven by real mouse events, with
// the levels the engines get read back from the recording engine.
#include <gtest/gtest.h>

#include "PlayerFixture.h"
#include "RecordingEngine.h"

namespace {

using Lines = std::vector<std::string>;

class VolumeTest : public RecordedPlayerTest {
 protected:

  // Press on the cross-fader's thumb, then move the pointer so that the thumb's left edge
  // lies `offset` pixels right of the track's.
  void FaderTo(int offset) {
    TImage* thumb = frmMain->imgSldrVol;
    SendMouseForTesting(frmMain, WM_LBUTTONDOWN, thumb->Left() + 5, thumb->Top() + 5, {ssLeft});
    SendMouseForTesting(frmMain, WM_MOUSEMOVE, frmMain->imgSldVol->Left() + offset + 5,
                        thumb->Top() + 5, {ssLeft});
    SendMouseForTesting(frmMain, WM_LBUTTONUP, frmMain->imgSldVol->Left() + offset + 5,
                        thumb->Top() + 5);
  }
  // Drags a deck's volume thumb by dy pixels.
  void DragVolume(TPanel* deck, TImage* thumb, int dy) {
    const int x = thumb->Left() + 7, y = thumb->Top() + 5;
    SendMouseForTesting(deck, WM_LBUTTONDOWN, x, y, {ssLeft});
    SendMouseForTesting(deck, WM_MOUSEMOVE, x, y + dy, {ssLeft});
    SendMouseForTesting(deck, WM_LBUTTONUP, x, y + dy);
  }
  void Cut(TSpeedButton* b, UINT msg) {
    SendMouseForTesting(static_cast<TWinControl*>(b->Parent()), msg, b->Left() + 10, b->Top() + 5,
                        msg == WM_LBUTTONDOWN ? TShiftState{ssLeft} : TShiftState{});
  }
  static int ThumbOffset(TImage* track, TImage* thumb) { return thumb->Top() - track->Top(); }

};

TEST_F(VolumeTest, CrossFaderCentreAndJustRightOfIt) {
  FaderTo(105);  // 105 of 210 pixels: position 50
  EXPECT_EQ(rec.Lines(), (Lines{"1 57 -1 100 -1", "2 57 -1 100 -1"}));
  EXPECT_EQ(ThumbOffset(frmMain->imgSldVol1, frmMain->imgSldrVol1), 0);
  EXPECT_EQ(ThumbOffset(frmMain->imgSldVol2, frmMain->imgSldrVol2), 0);
  EXPECT_EQ(frmMain->lblVol2->Caption(), "100 %");

  rec.clear();
  FaderTo(107);  // 50.95 rounds to 51
  EXPECT_EQ(rec.Lines(), (Lines{"1 57 -1 98 -1", "2 57 -1 100 -1"}));
  EXPECT_EQ(ThumbOffset(frmMain->imgSldVol1, frmMain->imgSldrVol1), 3);  // 159 * 2 / 100
  EXPECT_EQ(frmMain->lblVol1->Caption(), "98 %");
}

TEST_F(VolumeTest, CrossFaderEndsPlayOneDeckAlone) {
  FaderTo(400);  // beyond the right end
  EXPECT_EQ(frmMain->imgSldrVol->Left(), frmMain->imgSldVol->Left() + 210);
  EXPECT_EQ(rec.Lines(), (Lines{"1 57 -1 1 -1", "2 57 -1 100 -1"}));
  EXPECT_EQ(frmMain->lblVol1->Caption(), "0 %");
  EXPECT_EQ(ThumbOffset(frmMain->imgSldVol1, frmMain->imgSldrVol1), 159);
  rec.clear();
  FaderTo(-50);  // beyond the left end
  EXPECT_EQ(frmMain->imgSldrVol->Left(), frmMain->imgSldVol->Left());
  EXPECT_EQ(rec.Lines(), (Lines{"1 57 -1 100 -1", "2 57 -1 1 -1"}));
  EXPECT_EQ(ThumbOffset(frmMain->imgSldVol2, frmMain->imgSldrVol2), 159);
}

TEST_F(VolumeTest, VolumeThumbAtTheBottomShowsZeroAndSendsOne) {
  DragVolume(frmMain->pnlPlayer1, frmMain->imgSldrVol1, 500);
  EXPECT_EQ(ThumbOffset(frmMain->imgSldVol1, frmMain->imgSldrVol1), 159);
  EXPECT_EQ(frmMain->lblVol1->Caption(), "0 %");
  EXPECT_EQ(rec.Lines(), (Lines{"1 57 -1 1 -1"}));
  rec.clear();
  DragVolume(frmMain->pnlPlayer1, frmMain->imgSldrVol1, -80);
  EXPECT_EQ(rec.Lines(), (Lines{"1 57 -1 50 -1"}));  // 79 of 159 pixels from the top
  EXPECT_EQ(frmMain->lblVol1->Caption(), "50 %");
  // A right-button move is no drag.
  rec.clear();
  frmMain->imgSldrVolMouseMove(frmMain->imgSldrVol1, {ssRight}, 0, 40);
  frmMain->imgSldrVolMouseMove(frmMain->imgSldrVol1, {ssLeft, ssShift}, 0, 40);
  EXPECT_TRUE(rec.Lines().empty());
}

TEST_F(VolumeTest, CutRestoresTheLevelOfThePressWhateverMovedMeanwhile) {
  Cut(frmMain->btnCut1, WM_LBUTTONDOWN);
  EXPECT_EQ(rec.Lines(), (Lines{"1 20"}));  // muted
  EXPECT_EQ(frmMain->btnCut1->Tag(), 100);
  FaderTo(158);  // position 75: deck 1 down to 50 while the cut is held
  rec.clear();
  Cut(frmMain->btnCut1, WM_LBUTTONUP);
  EXPECT_EQ(rec.Lines(), (Lines{"1 57 -1 100 -1"}));
  EXPECT_EQ(frmMain->lblVol1->Caption(), "100 %");
}

TEST_F(VolumeTest, CutOnASilentDeckMutesNothingAndReleasesToZero) {
  // Deck 2 starts at the bottom.
  Cut(frmMain->btnCut2, WM_LBUTTONDOWN);
  EXPECT_TRUE(rec.Lines().empty());
  Cut(frmMain->btnCut2, WM_LBUTTONUP);
  EXPECT_EQ(rec.Lines(), (Lines{"2 57 -1 1 -1"}));
  EXPECT_EQ(frmMain->lblVol2->Caption(), "0 %");
  // Any button cuts.
  rec.clear();
  frmMain->btnCutMouseDown(frmMain->btnCut1, mbRight, {ssRight}, 1, 1);
  EXPECT_EQ(rec.Lines(), (Lines{"1 20"}));
}

}  // namespace
