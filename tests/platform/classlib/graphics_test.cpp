// The canvas's drawing rules, read back pixel by pixel from a bitmap.
#include <gtest/gtest.h>

#include <set>

#include "GuiFixture.h"
#include "classlib/Graphics.h"

namespace {

class CanvasTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    bmp.SetSize(20, 20);
    c = bmp.Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 20, 20));
  }
  TColor At(int x, int y) { return c->Pixels(x, y); }
  // The pixels of one row from x0 to x1 - 1, as 1 for black and 0 for white.
  std::string Row(int y, int x0, int x1) {
    std::string s;
    for (int x = x0; x < x1; ++x) s += At(x, y) == clBlack ? '1' : At(x, y) == clWhite ? '0' : '?';
    return s;
  }
  TBitmap bmp;
  TCanvas* c = nullptr;
};

TEST_F(CanvasTest, LinesLeaveOutTheirEndPoint) {
  c->MoveTo(2, 3);
  c->LineTo(8, 3);
  EXPECT_EQ(Row(3, 0, 10), "0011111100");
  EXPECT_EQ(c->PenPos(), Point(8, 3));
  // Drawn right to left the end point is again the one left out.
  c->MoveTo(8, 6);
  c->LineTo(2, 6);
  EXPECT_EQ(Row(6, 0, 10), "0001111110");
  // Vertical and diagonal.
  c->MoveTo(15, 0);
  c->LineTo(15, 4);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(At(15, y), clBlack);
  EXPECT_EQ(At(15, 4), clWhite);
  c->MoveTo(10, 10);
  c->LineTo(14, 14);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(At(10 + i, 10 + i), clBlack);
  EXPECT_EQ(At(14, 14), clWhite);
  // A line of no length draws nothing.
  c->MoveTo(18, 18);
  c->LineTo(18, 18);
  EXPECT_EQ(At(18, 18), clWhite);
}

TEST_F(CanvasTest, PolylineLeavesOutOnlyItsLastPoint) {
  c->Pen()->SetColor(clRed);
  c->MoveTo(0, 0);
  c->Polyline({Point(1, 1), Point(5, 1), Point(5, 5)});
  for (int x = 1; x <= 5; ++x) EXPECT_EQ(At(x, 1), clRed) << x;
  for (int y = 1; y < 5; ++y) EXPECT_EQ(At(5, y), clRed) << y;
  EXPECT_EQ(At(5, 5), clWhite);
  // A polyline does not move the pen.
  EXPECT_EQ(c->PenPos(), Point(0, 0));
}

TEST_F(CanvasTest, RectanglesExcludeTheirRightAndBottomEdges) {
  c->Pen()->SetColor(clBlue);
  c->Brush()->SetColor(clYellow);
  c->Rectangle(0, 0, 5, 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(At(i, 0), clBlue);
    EXPECT_EQ(At(i, 4), clBlue);
    EXPECT_EQ(At(0, i), clBlue);
    EXPECT_EQ(At(4, i), clBlue);
    EXPECT_EQ(At(5, i), clWhite);
    EXPECT_EQ(At(i, 5), clWhite);
  }
  EXPECT_EQ(At(2, 2), clYellow);

  c->Brush()->SetColor(clGreen);
  c->FillRect(Rect(10, 10, 13, 12));
  EXPECT_EQ(At(10, 10), clGreen);
  EXPECT_EQ(At(12, 11), clGreen);
  EXPECT_EQ(At(13, 11), clWhite);
  EXPECT_EQ(At(12, 12), clWhite);

  c->Brush()->SetColor(clRed);
  c->FrameRect(Rect(14, 14, 18, 18));
  EXPECT_EQ(At(17, 17), clRed);
  EXPECT_EQ(At(14, 17), clRed);
  EXPECT_EQ(At(15, 15), clWhite);
  EXPECT_EQ(At(18, 17), clWhite);

  // A clear brush leaves the inside alone.
  c->Brush()->SetStyle(bsClear);
  c->FillRect(Rect(0, 10, 5, 15));
  EXPECT_EQ(At(1, 11), clWhite);
}

TEST_F(CanvasTest, DottedPenAlternatesSinglePixels) {
  c->Pen()->SetStyle(psDot);
  c->MoveTo(0, 2);
  c->LineTo(12, 2);
  EXPECT_EQ(Row(2, 0, 14), "10101010101000");
  c->Pen()->SetStyle(psClear);
  c->MoveTo(0, 4);
  c->LineTo(12, 4);
  EXPECT_EQ(Row(4, 0, 12), "000000000000");
}

TEST_F(CanvasTest, PenModesCombineWithWhatIsThere) {
  c->Pen()->SetColor(clWhite);
  c->Pen()->SetMode(pmXor);
  c->MoveTo(0, 0);
  c->LineTo(4, 0);
  EXPECT_EQ(Row(0, 0, 5), "11110");
  c->MoveTo(0, 0);
  c->LineTo(4, 0);
  EXPECT_EQ(Row(0, 0, 5), "00000");
  c->Pen()->SetMode(pmNot);
  c->MoveTo(0, 1);
  c->LineTo(2, 1);
  EXPECT_EQ(Row(1, 0, 3), "110");
}

TEST_F(CanvasTest, SystemColoursComeFromOnePalette) {
  c->Brush()->SetColor(clBtnFace);
  c->FillRect(Rect(0, 0, 2, 2));
  EXPECT_EQ(At(0, 0), ColorToRGB(clBtnFace));
  EXPECT_EQ(ColorToRGB(clBtnFace), 0xC0C0C0u);
  EXPECT_EQ(ColorToRGB(clBtnShadow), 0x808080u);
  EXPECT_EQ(ColorToRGB(clBtnHighlight), 0xFFFFFFu);
  EXPECT_EQ(ColorToRGB(0x00FF8686), 0xFF8686u);
  c->SetPixels(3, 3, 0x123456);
  EXPECT_EQ(At(3, 3), 0x123456u);
  // Outside the bitmap: nothing drawn, an invalid colour read.
  c->SetPixels(30, 3, clRed);
  EXPECT_EQ(At(30, 3), 0xFFFFFFFFu);
  c->MoveTo(-10, -10);
  c->LineTo(40, 40);
  EXPECT_EQ(At(19, 19), clBlack);
}

TEST_F(CanvasTest, TextIsDrawnInExactlyTwoColours) {
  bmp.SetSize(80, 20);
  c = bmp.Canvas();
  c->Brush()->SetColor(clWhite);
  c->FillRect(Rect(0, 0, 80, 20));
  c->Font()->SetName("Tahoma");
  c->Font()->SetSize(8);
  c->Font()->SetColor(clNavy);
  EXPECT_EQ(c->Font()->Height(), -11);
  c->Brush()->SetStyle(bsClear);
  c->TextOut(2, 2, "Loading 50%");
  std::set<TColor> seen;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 80; ++x) seen.insert(At(x, y));
  EXPECT_EQ(seen, (std::set<TColor>{clWhite, clNavy}));
  int w = c->TextWidth("Loading 50%");
  EXPECT_GT(w, 30);
  EXPECT_EQ(c->PenPos(), Point(2 + w, 2));
  EXPECT_GT(c->TextHeight("X"), 8);
  // An opaque brush fills the text's box first.
  c->Brush()->SetColor(clRed);
  c->TextOut(0, 0, "x");
  EXPECT_EQ(At(0, 0), clRed);
}

TEST_F(CanvasTest, TransparentBitmapsLeaveOutTheirKeyColour) {
  TBitmap src;
  src.SetSize(3, 2);
  TCanvas* s = src.Canvas();
  s->SetPixels(0, 0, clRed);
  s->SetPixels(1, 0, clLime);
  s->SetPixels(2, 0, clBlue);
  for (int x = 0; x < 3; ++x) s->SetPixels(x, 1, clFuchsia);
  s->SetPixels(2, 1, clBlue);
  // The key colour is the bottom-left pixel unless one is set.
  EXPECT_EQ(src.TransparentColor(), clFuchsia);
  src.SetTransparent(true);
  c->Draw(5, 5, &src);
  EXPECT_EQ(At(5, 5), clRed);
  EXPECT_EQ(At(6, 5), clLime);
  EXPECT_EQ(At(5, 6), clWhite);
  EXPECT_EQ(At(6, 6), clWhite);
  EXPECT_EQ(At(7, 6), clBlue);

  src.SetTransparentColor(clBlue);
  EXPECT_EQ(src.TransparentMode(), tmFixed);
  c->Draw(10, 10, &src);
  EXPECT_EQ(At(12, 10), clWhite);
  EXPECT_EQ(At(10, 11), clFuchsia);

  src.SetTransparent(false);
  c->StretchDraw(Rect(0, 14, 6, 18), &src);
  EXPECT_EQ(At(0, 14), clRed);
  EXPECT_EQ(At(1, 15), clRed);
  EXPECT_EQ(At(5, 17), clBlue);
  EXPECT_EQ(At(6, 17), clWhite);
}

TEST_F(CanvasTest, CopyRectAppliesTheCopyMode) {
  TBitmap src;
  src.SetSize(2, 1);
  src.Canvas()->SetPixels(0, 0, 0x0000FF);
  src.Canvas()->SetPixels(1, 0, 0x00FF00);
  c->SetPixels(0, 0, 0x000F0F);
  c->SetPixels(1, 0, 0x000F0F);
  c->SetCopyMode(cmSrcAnd);
  c->CopyRect(Rect(0, 0, 2, 1), src.Canvas(), Rect(0, 0, 2, 1));
  EXPECT_EQ(At(0, 0), 0x00000Fu);
  EXPECT_EQ(At(1, 0), 0x000F00u);
  c->SetCopyMode(cmSrcPaint);
  c->CopyRect(Rect(0, 0, 2, 1), src.Canvas(), Rect(0, 0, 2, 1));
  EXPECT_EQ(At(0, 0), 0x0000FFu);
  EXPECT_EQ(At(1, 0), 0x00FF00u);
  c->SetCopyMode(cmSrcInvert);
  c->CopyRect(Rect(0, 0, 2, 1), src.Canvas(), Rect(0, 0, 2, 1));
  EXPECT_EQ(At(0, 0), 0x000000u);
  EXPECT_EQ(At(1, 0), 0x000000u);
  // A mode of the pattern, source and destination together (mask painting).
  c->Brush()->SetColor(0x00AA00);
  c->SetCopyMode(0x00E20746);
  c->SetPixels(0, 0, 0x111111);
  c->SetPixels(1, 0, 0x111111);
  src.Canvas()->SetPixels(0, 0, clWhite);
  src.Canvas()->SetPixels(1, 0, clBlack);
  c->CopyRect(Rect(0, 0, 2, 1), src.Canvas(), Rect(0, 0, 2, 1));
  EXPECT_EQ(At(0, 0), 0x00AA00u);
  EXPECT_EQ(At(1, 0), 0x111111u);
}

}  // namespace
