// The widget kit's small routines: grid cells, banded gradients, keyed bitmap drawing,
// disabled images, icon sizes and copies, the inclusive point test, character removal
// and the kit's cursors.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "classlib/Forms.h"
#include "platform/classlib/GuiFixture.h"
#include "widgets/RXConst.h"
#include "widgets/ClipIcon.h"
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

TEST_F(RxGraphTest, EmbossedImageListSilhouette) {
  TImageList list(nullptr);
  list.SetWidth(4);
  list.SetHeight(4);
  auto img = Filled(4, 4, clRed);
  auto mask = Filled(4, 4, clWhite);
  mask->Canvas()->SetPixels(1, 1, clBlack);  // the one opaque pixel
  list.Add(img.get(), mask.get());
  auto dst = Filled(8, 8, clSilver);
  DrawImageEmbossed(&list, dst->Canvas(), 2, 2, 0, clGray, clWhite, true);
  EXPECT_EQ(dst->Canvas()->Pixels(3, 3), ColorToRGB(clGray));
  EXPECT_EQ(dst->Canvas()->Pixels(4, 4), ColorToRGB(clWhite));
  EXPECT_EQ(dst->Canvas()->Pixels(2, 2), ColorToRGB(clSilver));
  EXPECT_EQ(dst->Canvas()->Pixels(5, 5), ColorToRGB(clSilver));
}

// One image of an icon file: header (twice the height), palette, colour rows and mask
// rows, bottom row first.
std::string IconImage(int w, int h, int bits, const std::vector<std::uint32_t>& palette,
                      const std::function<std::uint32_t(int, int)>& pixel,
                      const std::function<bool(int, int)>& clear) {
  std::string s;
  auto put = [&s](std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) s += char((v >> (8 * i)) & 0xFF);
  };
  put(40, 4), put(w, 4), put(2 * h, 4), put(1, 2), put(bits, 2);
  for (int i = 0; i < 6; ++i) put(0, 4);
  for (std::uint32_t p : palette) put(p, 4);
  for (int y = h - 1; y >= 0; --y) {
    std::string row(std::size_t((w * bits + 31) / 32 * 4), '\0');
    for (int x = 0; x < w; ++x) {
      if (bits == 32)
        for (int i = 0; i < 4; ++i) row[std::size_t(4 * x + i)] = char(pixel(x, y) >> (8 * i));
      else
        row[std::size_t(x / 2)] |= char(pixel(x, y) << (x % 2 ? 0 : 4));
    }
    s += row;
  }
  for (int y = h - 1; y >= 0; --y) {
    std::string row(std::size_t((w + 31) / 32 * 4), '\0');
    for (int x = 0; x < w; ++x)
      if (clear(x, y)) row[std::size_t(x / 8)] |= char(0x80 >> (x % 8));
    s += row;
  }
  return s;
}

// An icon file of a 16 x 16, 16-colour image, all red, and a 32 x 32 true-colour one, blue
// with its top-left corner clear; the second image's data cut to `cut` bytes when given.
std::string TwoImageIcon(std::size_t cut = 0) {
  std::string small = IconImage(
      16, 16, 4, std::vector<std::uint32_t>(16, 0x00FF0000), [](int, int) { return 1u; },
      [](int, int) { return false; });
  std::string big = IconImage(
      32, 32, 32, {}, [](int, int) { return 0xFF0000FFu; },
      [](int x, int y) { return x < 4 && y < 4; });
  if (cut) big.resize(cut);
  std::string s;
  auto put = [&s](std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) s += char((v >> (8 * i)) & 0xFF);
  };
  put(0, 2), put(1, 2), put(2, 2);
  put(16, 1), put(16, 1), put(16, 1), put(0, 1), put(1, 2), put(4, 2);
  put(std::uint32_t(small.size()), 4), put(6 + 32, 4);
  put(32, 1), put(32, 1), put(0, 1), put(0, 1), put(1, 2), put(32, 2);
  put(std::uint32_t(big.size()), 4), put(std::uint32_t(6 + 32 + small.size()), 4);
  return s + small + big;
}

TEST_F(RxGraphTest, IconsAreMeasuredAndCopiedAtTheDisplaysImage) {
  TIcon icon;
  const std::string file = TwoImageIcon();
  icon.LoadFromBytes(file.data(), file.size(), "two.ico");
  Integer w = 0, h = 0;
  MeasureIcon(&icon, w, h);
  EXPECT_EQ(w, 16);  // the picture shown is the file's first
  EXPECT_EQ(h, 16);
  // The copy is the true-colour image at its own size, its mask kept.
  std::unique_ptr<TIcon> copy = CopyIconNativeSize(&icon);
  MeasureIcon(copy.get(), w, h);
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 32);
  std::unique_ptr<TBitmap> color, mask;
  ASSERT_TRUE(copy->GetBitmaps(color, mask));
  ASSERT_TRUE(color);
  EXPECT_EQ(color->Canvas()->Pixels(10, 10), ColorToRGB(clBlue));
  EXPECT_EQ(mask->Canvas()->Pixels(10, 10), ColorToRGB(clBlack));
  EXPECT_EQ(mask->Canvas()->Pixels(0, 0), ColorToRGB(clWhite));

  // A monochrome icon has only a mask, twice as high as the icon.
  auto both = Filled(16, 32, clBlack);
  TIcon mono;
  mono.SetBitmaps(nullptr, both.get());
  MeasureIcon(&mono, w, h);
  EXPECT_EQ(w, 16);
  EXPECT_EQ(h, 16);
  MeasureIcon(CopyIconNativeSize(&mono).get(), w, h);  // saved as a file of one image
  EXPECT_EQ(w, 16);
  // No picture: the standard size, and the copy is the default application icon.
  TIcon none;
  MeasureIcon(&none, w, h);
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 32);
  EXPECT_FALSE(CopyIconNativeSize(&none)->Empty());

  // A damaged image gives no pictures.
  const std::string cut = TwoImageIcon(200);
  icon.LoadFromBytes(cut.data(), cut.size(), "cut.ico");
  try {
    CopyIconNativeSize(&icon);
    ADD_FAILURE() << "no error";
  } catch (const EOutOfResources& e) {
    EXPECT_EQ(e.Message(), "Out of system resources");
  }
}

TEST_F(RxGraphTest, SmallRoutines) {
  EXPECT_EQ(ResStr("Out of system resources"), "Out of system resources");
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
