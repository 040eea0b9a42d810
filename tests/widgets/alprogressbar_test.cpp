// The gradient progress bar, read back pixel by pixel from the form it sits on: gradient
// steps, filled lengths and their rounding, directions, frame, tiling and position text.
#include <gtest/gtest.h>

#include <string>

#include "platform/classlib/GuiFixture.h"
#include "widgets/ALProgressBar.h"

namespace {

constexpr TColor kBack = clNavy;

class ProgressBarTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    form = MakeForm(300, 100);
    form->SetColor(clBlack);
    bar = new TALProgressBar(form);
    bar->SetParent(form);
  }
  // A plain bar at the form's top left: one colour, no frame, no text.
  void Plain(int w, int h, TColor color = clLime) {
    bar->SetBounds(0, 0, w, h);
    bar->SetShowBorder(false);
    bar->SetShowPosText(false);
    bar->SetBarColorStyle(cs1Color);
    bar->SetBarColor1(color);
    bar->SetBackgroundColor(kBack);
  }
  TColor At(int x, int y) { return SurfacePixelForTesting(form, x, y); }
  // Filled pixels of row y, counted from the left.
  int FilledFromLeft(int y, int from, int to) {
    int n = 0;
    for (int x = from; x < to && At(x, y) != kBack; ++x) ++n;
    return n;
  }

  TForm* form = nullptr;
  TALProgressBar* bar = nullptr;
};

TEST_F(ProgressBarTest, NewBarDefaults) {
  EXPECT_EQ(bar->Width(), 200);
  EXPECT_EQ(bar->Height(), 20);
  EXPECT_EQ(bar->Min(), 0);
  EXPECT_EQ(bar->Max(), 100);
  EXPECT_EQ(bar->Position(), 0);
  EXPECT_EQ(bar->BarColorStyle(), cs3Colors);
  EXPECT_EQ(bar->PosTextSuffix(), "%");
  EXPECT_TRUE(bar->ShowBorder());
  EXPECT_TRUE(bar->ShowPosText());
}

TEST_F(ProgressBarTest, TwoColourGradientStepsRoundHalfAwayFromZero) {
  Plain(5, 3);
  bar->SetBarColorStyle(cs2Colors);
  bar->SetBarColor1(clBlack);
  bar->SetBarColor2(clRed);
  bar->SetPosition(100);
  const int red[5] = {0, 64, 128, 191, 255};
  for (int x = 0; x < 5; ++x) {
    EXPECT_EQ(At(x, 0), static_cast<TColor>(red[x])) << "column " << x;
    EXPECT_EQ(At(x, 2), static_cast<TColor>(red[x])) << "column " << x;
  }
}

TEST_F(ProgressBarTest, ThreeColourGradientSplitsAtTheMiddle) {
  Plain(5, 3);
  bar->SetBarColorStyle(cs3Colors);
  bar->SetBarColor1(clBlack);
  bar->SetBarColor2(clRed);
  bar->SetBarColor3(clLime);
  bar->SetPosition(100);
  // Columns 0-1 run black to red, columns 2-4 red to green; the odd column goes to the
  // second run.
  const TColor expected[5] = {clBlack, clRed, clRed, 0x00807F, clLime};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(At(x, 1), expected[x]) << "column " << x;
}

TEST_F(ProgressBarTest, RightToLeftMirrorsTheBarAndItsEmptyPart) {
  Plain(5, 3);
  bar->SetBarColorStyle(cs2Colors);
  bar->SetBarColor1(clBlack);
  bar->SetBarColor2(clRed);
  bar->SetDirection(pdRightToLeft);
  bar->SetMax(4);
  bar->SetPosition(2);  // 2.5 pixels round to 2
  const TColor expected[5] = {kBack, kBack, kBack, 0x000040, clBlack};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(At(x, 1), expected[x]) << "column " << x;
  bar->SetPosition(4);
  EXPECT_EQ(At(0, 1), clRed);
  EXPECT_EQ(At(4, 1), clBlack);
  // Three colours run from the right too, the longer run on the right.
  bar->SetBarColor3(clLime);
  bar->SetBarColorStyle(cs3Colors);
  const TColor three[5] = {clLime, clRed, clRed, 0x00007F, clBlack};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(At(x, 1), three[x]) << "column " << x;
}

TEST_F(ProgressBarTest, VerticalBarsGrowFromTheirStartEdge) {
  Plain(3, 10);
  bar->SetMax(10);
  bar->SetPosition(3);
  bar->SetDirection(pdBottomToTop);
  EXPECT_EQ(At(1, 6), kBack);
  EXPECT_EQ(At(1, 7), clLime);
  EXPECT_EQ(At(1, 9), clLime);
  bar->SetDirection(pdTopToBottom);
  EXPECT_EQ(At(1, 2), clLime);
  EXPECT_EQ(At(1, 3), kBack);
  EXPECT_EQ(At(2, 9), kBack);
}

TEST_F(ProgressBarTest, FilledLengthRoundsHalvesToEven) {
  Plain(110, 9);
  bar->SetMax(4);
  bar->SetPosition(1);  // 27.5
  EXPECT_EQ(FilledFromLeft(4, 0, 110), 28);
  bar->SetPosition(3);  // 82.5
  EXPECT_EQ(FilledFromLeft(4, 0, 110), 82);
  bar->SetPosition(0);
  EXPECT_EQ(FilledFromLeft(4, 0, 110), 0);
  bar->SetPosition(4);
  EXPECT_EQ(FilledFromLeft(4, 0, 110), 110);
  // Lowering Max below the position afterwards leaves the bar full.
  bar->SetMax(2);
  EXPECT_EQ(bar->Position(), 4);
  EXPECT_EQ(FilledFromLeft(4, 0, 110), 110);
}

TEST_F(ProgressBarTest, OutOfRangeAndRepeatedPositionsAreIgnoredWithoutRepaint) {
  Plain(20, 5);
  bar->SetPosition(50);
  At(0, 0);  // everything pending is painted now
  // A mark the bar would paint over if it repainted.
  bar->Canvas()->SetPixels(0, 0, clFuchsia);
  bar->SetPosition(101);
  bar->SetPosition(-1);
  bar->SetPosition(50);
  EXPECT_EQ(bar->Position(), 50);
  EXPECT_EQ(At(0, 0), clFuchsia);
  bar->SetPosition(100);
  EXPECT_EQ(At(0, 0), clLime);
  EXPECT_EQ(At(19, 4), clLime);
}

TEST_F(ProgressBarTest, BorderFramesTheBarAndShortensIt) {
  bar->SetBounds(0, 0, 112, 9);
  bar->SetShowPosText(false);
  bar->SetBarColorStyle(cs1Color);
  bar->SetBarColor1(clLime);
  bar->SetBackgroundColor(kBack);
  bar->SetBorderColor1(clRed);
  bar->SetBorderColor2(clYellow);
  bar->SetMax(4);
  bar->SetPosition(1);
  // Top row and left column in the first colour, bottom row and right column (from
  // the second pixel) in the second.
  EXPECT_EQ(At(0, 0), clRed);
  EXPECT_EQ(At(111, 0), clRed);
  EXPECT_EQ(At(0, 8), clRed);
  EXPECT_EQ(At(1, 8), clYellow);
  EXPECT_EQ(At(111, 8), clYellow);
  EXPECT_EQ(At(111, 1), clYellow);
  // Inside the frame: 110 pixels, 28 of them filled.
  EXPECT_EQ(FilledFromLeft(4, 1, 111), 28);
  EXPECT_EQ(At(110, 4), kBack);
  bar->SetPosition(0);
  EXPECT_EQ(At(1, 1), kBack);
  EXPECT_EQ(At(110, 7), kBack);
  bar->SetPosition(4);
  EXPECT_EQ(At(1, 1), clLime);
  EXPECT_EQ(At(110, 7), clLime);
}

TEST_F(ProgressBarTest, BarBitmapIsTiledFromTheTopLeftOverTheColours) {
  Plain(7, 5);
  bar->SetBarColorStyle(cs3Colors);
  TBitmap tile;
  tile.SetSize(3, 2);
  const TColor pattern[2][3] = {{clRed, clLime, clBlue}, {clYellow, clAqua, clWhite}};
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) tile.Canvas()->SetPixels(x, y, pattern[y][x]);
  }
  bar->SetBarBitmap(&tile);
  bar->SetPosition(100);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) EXPECT_EQ(At(x, y), pattern[y % 2][x % 3]) << x << "," << y;
  }
  bar->SetBarBitmap(nullptr);
  EXPECT_TRUE(bar->BarBitmap()->Empty());
  EXPECT_EQ(At(0, 0), clLime);
}

TEST_F(ProgressBarTest, PositionTextIsCentred) {
  bar->SetBounds(0, 0, 200, 20);
  bar->SetShowBorder(false);
  bar->SetBarColorStyle(cs1Color);
  bar->SetBarColor1(clWhite);
  bar->SetBackgroundColor(clWhite);
  bar->Font()->SetColor(clBlack);
  bar->SetPosition(50);
  TBitmap measure;
  measure.Canvas()->SetFont(bar->Font());
  const int tw = measure.Canvas()->TextWidth("50%");
  const int th = measure.Canvas()->TextHeight("50%");
  ASSERT_GT(tw, 0);
  const int x0 = 100 - tw / 2;
  const int y0 = 10 - th / 2;
  int inside = 0;
  int outside = 0;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 200; ++x) {
      if (At(x, y) == clWhite) continue;
      bool in = x >= x0 && x < x0 + tw && y >= y0 && y < y0 + th;
      (in ? inside : outside)++;
    }
  }
  EXPECT_GT(inside, 0);
  EXPECT_EQ(outside, 0);
}

TEST_F(ProgressBarTest, GradientStepOutsideItsRunIsARangeError) {
  EXPECT_EQ(ColorAt(clBlack, clRed, 1, 5), clBlack);
  EXPECT_EQ(ColorAt(clBlack, clRed, 5, 5), clRed);
  try {
    ColorAt(clBlack, clRed, 6, 5);
    ADD_FAILURE() << "no error";
  } catch (const ERangeError& e) {
    EXPECT_EQ(e.Message(), "ColorIndex can't be less than 1 or greater than 5");
  }
  EXPECT_THROW(ColorAt(clBlack, clRed, 0, 5), ERangeError);
}

}  // namespace
