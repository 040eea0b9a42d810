// The widget kit's small routines: grid cells, banded gradients, keyed bitmap drawing,
// disabled images, the inclusive point test, character removal and the kit's cursors.
#include <gtest/gtest.h>

#include <memory>

#include "classlib/Forms.h"
#include "platform/classlib/GuiFixture.h"
#include "widgets/RXConst.h"
#include "widgets/RXSlider.h"
#include "widgets/RxGraph.h"
#include "widgets/rxStrUtils.h"

void RegisterSkinPictures();

namespace {

class RxGraphTest : public GuiTest {};

std::unique_ptr<TBitmap> Filled(int w, int h, TColor c) {
  auto b = std::make_unique<TBitmap>();
  b->SetSize(w, h);
  b->Canvas()->Brush()->SetColor(c);
  b->Canvas()->FillRect(Rect(0, 0, w, h));
  return b;
}

TEST_F(RxGraphTest, GridCellsByColumnAndRow) {
  // 4 x 2 cells of 3 x 2 pixels, each cell coloured by its index.
  auto src = Filled(12, 4, clBlack);
  for (int i = 0; i < 8; ++i) {
    src->Canvas()->Brush()->SetColor(TColor(0x10 * (i + 1)));
    src->Canvas()->FillRect(Bounds((i % 4) * 3, (i / 4) * 2, 3, 2));
  }
  TBitmap cell;
  ExtractGridCell(src.get(), &cell, 4, 2, 5);
  EXPECT_EQ(cell.Width(), 3);
  EXPECT_EQ(cell.Height(), 2);
  EXPECT_EQ(cell.Canvas()->Pixels(0, 0), TColor(0x60));
  EXPECT_EQ(cell.Canvas()->Pixels(2, 1), TColor(0x60));
  // No columns counts as one: the whole width, half the height.
  ExtractGridCell(src.get(), &cell, 0, 2, 1);
  EXPECT_EQ(cell.Width(), 12);
  EXPECT_EQ(cell.Canvas()->Pixels(0, 0), TColor(0x50));
  ExtractGridCell(nullptr, &cell, 4, 2, 1);
  ExtractGridCell(src.get(), nullptr, 4, 2, 1);
}

TEST_F(RxGraphTest, ColorRampBandsAndRemainder) {
  auto b = Filled(3, 10, clWhite);
  PaintColorRamp(b->Canvas(), Rect(0, 0, 3, 10), clBlack, 0x0000FF, 0, 4);
  const TColor want[10] = {0, 0, 85, 85, 170, 170, 255, 255, 255, 255};
  for (int y = 0; y < 10; ++y) EXPECT_EQ(b->Canvas()->Pixels(1, y), want[y]) << y;

  // Bottom to top starts from the end colour at the top.
  PaintColorRamp(b->Canvas(), Rect(0, 0, 3, 10), clBlack, 0x0000FF, 1, 4);
  EXPECT_EQ(b->Canvas()->Pixels(1, 0), TColor(255));
  EXPECT_EQ(b->Canvas()->Pixels(1, 9), TColor(0));

  PaintColorRamp(b->Canvas(), Rect(0, 0, 3, 10), clLime, clRed, 0, 1);
  EXPECT_EQ(b->Canvas()->Pixels(2, 9), ColorToRGB(clLime));

  auto row = Filled(3, 1, clWhite);
  PaintColorRamp(row->Canvas(), Rect(0, 0, 3, 1), clBlack, clRed, 0, 32);
  EXPECT_EQ(row->Canvas()->Pixels(0, 0), ColorToRGB(clRed));
  PaintColorRamp(row->Canvas(), Rect(0, 0, 0, 1), clBlack, clBlack, 0, 32);  // empty
  EXPECT_EQ(row->Canvas()->Pixels(0, 0), ColorToRGB(clRed));
}

TEST_F(RxGraphTest, KeyedDrawingLeavesOutTheKeyColour) {
  auto src = Filled(4, 3, clRed);
  src->Canvas()->SetPixels(0, 2, clLime);  // bottom-left
  src->Canvas()->SetPixels(3, 0, clLime);
  src->Canvas()->SetPixels(1, 1, clBlue);
  auto dst = Filled(10, 10, clWhite);
  DrawBitmapKeyed(dst->Canvas(), 2, 2, src.get(), clDefault);
  EXPECT_EQ(dst->Canvas()->Pixels(2, 4), ColorToRGB(clWhite));
  EXPECT_EQ(dst->Canvas()->Pixels(5, 2), ColorToRGB(clWhite));
  EXPECT_EQ(dst->Canvas()->Pixels(2, 2), ColorToRGB(clRed));
  EXPECT_EQ(dst->Canvas()->Pixels(3, 3), ColorToRGB(clBlue));

  DrawBitmapKeyed(dst->Canvas(), 2, 2, src.get(), clNone);
  EXPECT_EQ(dst->Canvas()->Pixels(2, 4), ColorToRGB(clLime));

  auto dst2 = Filled(10, 10, clWhite);
  DrawBitmapPartKeyed(dst2->Canvas(), 0, 0, Rect(1, 1, 3, 2), src.get(), clRed);
  EXPECT_EQ(dst2->Canvas()->Pixels(0, 0), ColorToRGB(clBlue));
  EXPECT_EQ(dst2->Canvas()->Pixels(1, 0), ColorToRGB(clWhite));
  EXPECT_EQ(dst2->Canvas()->Pixels(0, 1), ColorToRGB(clWhite));

  // Stretched twice as large: every source pixel covers 2 x 2.
  auto dst3 = Filled(10, 10, clWhite);
  StretchBitmapKeyed(dst3->Canvas(), src.get(), 0, 0, 8, 6, 0, 0, 0, 0, clLime);
  EXPECT_EQ(dst3->Canvas()->Pixels(2, 2), ColorToRGB(clBlue));
  EXPECT_EQ(dst3->Canvas()->Pixels(3, 3), ColorToRGB(clBlue));
  EXPECT_EQ(dst3->Canvas()->Pixels(7, 0), ColorToRGB(clWhite));
  EXPECT_EQ(dst3->Canvas()->Pixels(5, 0), ColorToRGB(clRed));
}

TEST_F(RxGraphTest, DisabledImageIsEmbossed) {
  auto src = Filled(4, 4, clWhite);
  src->Canvas()->SetPixels(1, 1, clBlack);
  std::unique_ptr<TBitmap> d =
      MakeDisabledImage(src.get(), clBlack, clSilver, clWhite, clGray, true);
  EXPECT_EQ(d->Canvas()->Pixels(1, 1), ColorToRGB(clGray));
  EXPECT_EQ(d->Canvas()->Pixels(2, 2), ColorToRGB(clWhite));
  EXPECT_EQ(d->Canvas()->Pixels(0, 0), ColorToRGB(clSilver));
  d = MakeDisabledImage(src.get(), clBlack, clSilver, clWhite, clGray, false);
  EXPECT_EQ(d->Canvas()->Pixels(2, 2), ColorToRGB(clSilver));
}

TEST_F(RxGraphTest, SmallRoutines) {
  EXPECT_TRUE(PtInRectInclusive(Rect(0, 0, 5, 5), Point(5, 5)));
  EXPECT_FALSE(PtInRectInclusive(Rect(0, 0, 5, 5), Point(6, 5)));
  EXPECT_EQ(RemoveChar("&File", '&'), "File");
  EXPECT_EQ(RemoveChar("a&&b", '&'), "ab");
  EXPECT_EQ(RemoveChar("", '&'), "");
  EXPECT_EQ(BytesPerScanline(10, 24), 32);
  EXPECT_EQ(BytesPerScanline(1, 1), 4);
  EXPECT_EQ(PaletteEntries(4), 16);
  EXPECT_EQ(PaletteEntries(24), 0);
  EXPECT_EQ(PaletteColor(clRed), 0x020000FFu);
}

TEST_F(RxGraphTest, CursorsInstalledAndTheSliderShowsTheHandOverItsThumb) {
  RegisterSkinPictures();
  InstallRxCursors();
  ASSERT_NE(Screen->Cursors(crHand), nullptr);
  ASSERT_NE(Screen->Cursors(crDragHand), nullptr);
  TForm* form = MakeForm(200, 60);
  auto* slider = new TRxSlider(form);
  slider->SetParent(form);
  TRect t = slider->ThumbRect();
  SendMouseForTesting(slider, WM_MOUSEMOVE, t.Left + 1, t.Top + 1);
  EXPECT_EQ(GetCursor(), Screen->Cursors(crHand));
  ::SetCursor(nullptr);
  SendMouseForTesting(slider, WM_MOUSEMOVE, t.Right, t.Top + 1);  // right edge is outside
  EXPECT_EQ(GetCursor(), nullptr);
}

}  // namespace
