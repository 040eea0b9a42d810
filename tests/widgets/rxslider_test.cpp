// The skinned slider on a shown form: geometry of ruler, thumb and ticks in both
// orientations, values to thumb places and back by dragging, ruler clicks repeating
// through the message loop, keys, range rules, and the stored image set.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "platform/classlib/GuiFixture.h"
#include "classlib/ExtCtrls.h"
#include "widgets/RXSlider.h"

void RegisterSkinPictures();

namespace {

class SliderTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    RegisterSkinPictures();
    form = MakeForm(300, 200);
    slider = new TRxSlider(form);
    slider->SetParent(form);
    slider->OnChange = [this](TObject*) { ++changes; };
    slider->OnChanged = [this](TObject*) { ++changed; };
  }
  // The main window's refresh slider: 159 x 29, 0 to 90, step 1.
  void MakeRefreshSlider() {
    slider->SetBounds(0, 0, 159, 29);
    slider->SetMaxValue(90);
    slider->SetIncrement(1);
    slider->SetOptions({soSmooth});
  }
  // The main window's equalizer preamp: vertical, 30 x 137, raised, -50 to 50.
  void MakePreampSlider() {
    slider->SetOrientation(soVertical);
    slider->SetBounds(0, 0, 30, 137);
    slider->SetBevelStyle(bvRaised);
    slider->SetMinValue(-50);
    slider->SetMaxValue(50);
    slider->SetOptions({soSmooth});
  }
  TColor At(int x, int y) { return SurfacePixelForTesting(slider, x, y); }
  void Mouse(UINT msg, int x, int y, TShiftState shift = {}) {
    SendMouseForTesting(slider, msg, x, y, shift);
  }
  // Drags the thumb by its middle so that its leading edge lands on `to`.
  void DragThumbTo(int to) {
    TRect t = slider->ThumbRect();
    bool h = slider->Orientation() == soHorizontal;
    int gx = t.Left + 2, gy = t.Top + 2;
    Mouse(WM_LBUTTONDOWN, gx, gy);
    if (h)
      Mouse(WM_MOUSEMOVE, to + 2, gy, {ssLeft});
    else
      Mouse(WM_MOUSEMOVE, gx, to + 2, {ssLeft});
    Mouse(WM_LBUTTONUP, h ? to + 2 : gx, h ? gy : to + 2);
  }

  TForm* form = nullptr;
  TRxSlider* slider = nullptr;
  int changes = 0;
  int changed = 0;
};

TEST_F(SliderTest, NewSliderGeometryRulerAndTicks) {
  EXPECT_EQ(slider->Width(), 150);
  EXPECT_EQ(slider->Height(), 40);
  EXPECT_TRUE(slider->TabStop());
  EXPECT_EQ(slider->Options(), TSliderOptions({soShowFocus, soShowPoints, soSmooth}));
  TBitmap* ruler = slider->Ruler();
  EXPECT_EQ(ruler->Width(), 138);
  EXPECT_EQ(ruler->Height(), 8);
  EXPECT_EQ(slider->RulerOrigin(), Point(6, 10));
  EXPECT_EQ(slider->ThumbRect(), Bounds(6, 6, 9, 17));
  EXPECT_EQ(slider->PointsLine(), 24);

  // One start piece with a middle, 21 middles, and the last 4 pixels of the image.
  TBitmap* src = slider->ImageHRuler();
  for (int x = 0; x < 138; ++x) {
    int sx = x < 8 ? x : x < 134 ? 2 + (x - 2) % 6 : 6 + (x - 134);
    for (int y = 0; y < 8; ++y)
      ASSERT_EQ(ruler->Canvas()->Pixels(x, y), src->Canvas()->Pixels(sx, y)) << x << "," << y;
  }

  // Ticks under the thumb's middle for 0, 10, ..., 100: 5 long at the ends, else 3.
  const TColor ink = ColorToRGB(clWindowText);
  for (int v = 0; v <= 100; v += 10) {
    int x = 6 + int(std::nearbyint(129.0 * v / 100)) + 4;
    int len = (v == 0 || v == 100) ? 5 : 3;
    for (int y = 24; y < 24 + len; ++y) EXPECT_EQ(At(x, y), ink) << v << " " << y;
    EXPECT_NE(At(x, 24 + len), ink) << v;
  }
}

TEST_F(SliderTest, ThumbFramesFocusAndOpacity) {
  // The default thumb's faces: the left frame for normal, the right for pressed or
  // disabled (a darker grey).
  const TColor normal = 0xC0C0C0, pressed = 0xA0A0A0;
  TRect t = slider->ThumbRect();
  const int fx = t.Left + 3, fy = t.Top + 5;
  const TColor back = ColorToRGB(slider->Color());
  EXPECT_EQ(At(fx, fy), normal);
  EXPECT_EQ(At(2, 2), back);
  Mouse(WM_LBUTTONDOWN, fx, fy);
  // The press took the focus: a dotted rectangle two pixels inside, drawn by inversion.
  EXPECT_TRUE(PumpUntil([&] { return At(2, 2) == (back ^ 0xFFFFFF); }, 1000));
  EXPECT_EQ(At(3, 2), back);
  EXPECT_EQ(At(fx, fy), pressed);
  Mouse(WM_LBUTTONUP, fx, fy);
  EXPECT_EQ(At(fx, fy), normal);
  slider->SetEnabled(false);
  EXPECT_EQ(At(fx, fy), pressed);
  slider->SetEnabled(true);
  slider->SetNumThumbStates(1);  // one frame twice as wide: both halves show
  EXPECT_EQ(slider->ThumbRect().Width(), 18);
  slider->SetNumThumbStates(2);

  // The thumb's bottom-left corner is its key colour: left out unless the thumb is
  // opaque. The background is the control's colour.
  t = slider->ThumbRect();
  EXPECT_EQ(At(t.Left, t.Bottom - 1), back);
  slider->SetOptions(slider->Options() + TSliderOptions{soThumbOpaque});
  EXPECT_NE(At(t.Left, t.Bottom - 1), back);
}

TEST_F(SliderTest, HorizontalValuesToThumbAndBack) {
  MakeRefreshSlider();
  EXPECT_EQ(slider->Ruler()->Width(), 147);
  EXPECT_EQ(slider->RulerOrigin(), Point(6, 10));
  for (int v = 0; v <= 90; ++v) {
    slider->SetValue(v);
    int x = 6 + int(std::nearbyint(138.0 * v / 90));
    ASSERT_EQ(slider->ThumbRect().Left, x) << v;
  }
  slider->SetValue(45);
  EXPECT_EQ(slider->ThumbRect().Left, 75);
  // Dragging the thumb to each value's place reads the value back.
  for (int v : {0, 1, 2, 17, 44, 45, 46, 89, 90, 3, 0}) {
    DragThumbTo(6 + int(std::nearbyint(138.0 * v / 90)));
    ASSERT_EQ(slider->Value(), v);
  }
  // Past the ends the thumb stops at the ends.
  DragThumbTo(-40);
  EXPECT_EQ(slider->Value(), 0);
  DragThumbTo(400);
  EXPECT_EQ(slider->Value(), 90);
  EXPECT_EQ(slider->ThumbRect().Left, 144);
}

TEST_F(SliderTest, VerticalValuesToThumbAndBack) {
  MakePreampSlider();
  EXPECT_EQ(slider->Ruler()->Width(), 8);
  EXPECT_EQ(slider->Ruler()->Height(), 123);
  EXPECT_EQ(slider->RulerOrigin(), Point(12, 7));
  slider->SetValue(-50);
  EXPECT_EQ(slider->ThumbRect(), Bounds(7, 121, 19, 9));
  slider->SetValue(0);
  EXPECT_EQ(slider->ThumbRect().Top, 64);
  slider->SetValue(50);
  EXPECT_EQ(slider->ThumbRect().Top, 7);
  for (int v = -50; v <= 50; ++v) {
    slider->SetValue(v);
    ASSERT_EQ(slider->ThumbRect().Top, 121 - int(std::nearbyint(114.0 * (v + 50) / 100))) << v;
  }
  for (int v : {-50, -49, 0, 13, 49, 50, -1}) {
    DragThumbTo(121 - int(std::nearbyint(114.0 * (v + 50) / 100)));
    ASSERT_EQ(slider->Value(), v);
  }
  // The raised frame: highlight on top and left, shadow on right and bottom.
  EXPECT_EQ(At(0, 5), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(At(10, 0), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(At(29, 5), ColorToRGB(clBtnShadow));
  EXPECT_EQ(At(10, 136), ColorToRGB(clBtnShadow));

  // Aligned children sit inside the frame, and follow it when it goes.
  auto* child = new TPanel(form);
  child->SetParent(slider);
  child->SetAlign(alClient);
  EXPECT_EQ(child->BoundsRect(), Rect(1, 1, 29, 136));
  slider->SetBevelStyle(bvNone);
  EXPECT_EQ(child->BoundsRect(), Rect(0, 0, 30, 137));
}

TEST_F(SliderTest, DragEventsAndSnapping) {
  slider->SetOptions({});
  slider->SetValue(37);
  EXPECT_EQ(slider->Value(), 37);
  EXPECT_EQ(slider->ThumbRect().Left, 6 + 52);  // where 40 is
  changes = changed = 0;
  std::vector<int> seen;
  slider->OnChange = [&](TObject*) { seen.push_back(slider->Value()); };
  TRect t = slider->ThumbRect();
  Mouse(WM_LBUTTONDOWN, t.Left + 2, t.Top + 2);
  for (int x = t.Left + 2; x >= 0; --x) Mouse(WM_MOUSEMOVE, x, t.Top + 2, {ssLeft});
  for (int x = 0; x < 150; ++x) Mouse(WM_MOUSEMOVE, x, t.Top + 2, {ssLeft});
  EXPECT_EQ(changed, 0);
  Mouse(WM_LBUTTONUP, 149, t.Top + 2);
  EXPECT_EQ(changed, 1);
  ASSERT_FALSE(seen.empty());
  for (int v : seen) EXPECT_EQ(v % 10, 0) << v;
  EXPECT_EQ(seen.back(), 100);
}

TEST_F(SliderTest, RulerClickRepeatsUntilThumbReachesMouse) {
  slider->SetValue(0);
  changes = changed = 0;
  // Right of the thumb on the ruler: one step at once.
  Mouse(WM_LBUTTONDOWN, 100, 14);
  EXPECT_EQ(slider->Value(), 10);
  EXPECT_EQ(changes, 1);
  // Then one step per tick while the mouse is beyond the thumb: the thumb at 70 covers
  // x 96 to 105, so stepping stops there.
  ASSERT_TRUE(PumpUntil([&] { return slider->Value() == 70; }, 8000));
  PumpFor(1000);
  EXPECT_EQ(slider->Value(), 70);
  EXPECT_EQ(changes, 7);
  EXPECT_EQ(changed, 0);
  Mouse(WM_LBUTTONUP, 100, 14);
  EXPECT_EQ(changed, 1);
  PumpFor(500);
  EXPECT_EQ(slider->Value(), 70);

  // The 3-pixel margin above the ruler counts; the ticks below do not.
  Mouse(WM_LBUTTONDOWN, 20, 7);
  Mouse(WM_LBUTTONUP, 20, 7);
  EXPECT_EQ(slider->Value(), 60);
  Mouse(WM_LBUTTONDOWN, 20, 27);
  Mouse(WM_LBUTTONUP, 20, 27);
  EXPECT_EQ(slider->Value(), 60);
}

TEST_F(SliderTest, RightClickAndDoubleClickChangeNothing) {
  int downs = 0, dbl = 0;
  slider->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++downs; };
  slider->OnDblClick = [&](TObject*) { ++dbl; };
  Mouse(WM_RBUTTONDOWN, 100, 14);
  Mouse(WM_RBUTTONUP, 100, 14);
  Mouse(WM_LBUTTONDBLCLK, 100, 14);
  Mouse(WM_LBUTTONUP, 100, 14);
  EXPECT_EQ(slider->Value(), 0);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(downs, 2);
  EXPECT_EQ(dbl, 1);
}

TEST_F(SliderTest, KeysStepOnMultiplesOfIncrement) {
  slider->SetFocus();
  auto key = [&](Word k, int from) {
    slider->SetValue(from);
    SendKeyForTesting(slider, k, 0);
    return slider->Value();
  };
  EXPECT_EQ(key(VK_RIGHT, 15), 30);
  EXPECT_EQ(key(VK_RIGHT, 25), 30);
  EXPECT_EQ(key(VK_LEFT, 5), 0);
  EXPECT_EQ(key(VK_END, 5), 100);
  EXPECT_EQ(key(VK_HOME, 55), 0);
  changed = 0;
  EXPECT_EQ(key(VK_HOME, 0), 0);  // at an end: still a finished action
  EXPECT_EQ(changed, 1);
  // Up and down belong to vertical sliders; modifiers stop the slider's keys.
  EXPECT_EQ(key(VK_UP, 50), 50);
  EXPECT_EQ(key(VK_DOWN, 50), 50);
  slider->SetValue(50);
  SendKeyForTesting(slider, VK_RIGHT, 0, {ssShift});
  EXPECT_EQ(slider->Value(), 50);
  slider->SetOrientation(soVertical);
  EXPECT_EQ(key(VK_UP, 50), 60);
  EXPECT_EQ(key(VK_DOWN, 50), 40);
  EXPECT_EQ(key(VK_RIGHT, 50), 50);
}

TEST_F(SliderTest, RangeIncrementOrientationAndEdgeRules) {
  try {
    slider->SetIncrement(0);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Value must be between 1 and 100");
  }
  EXPECT_THROW(slider->SetIncrement(101), Exception);
  EXPECT_EQ(slider->Increment(), 10);

  slider->SetValue(80);
  slider->SetMaxValue(5);
  EXPECT_EQ(slider->Increment(), 5);
  EXPECT_EQ(slider->Value(), 5);
  slider->SetMaxValue(100);
  slider->SetMinValue(100);  // not above the minimum: ignored
  EXPECT_EQ(slider->MinValue(), 0);

  slider->SetEdgeSize(5);
  EXPECT_EQ(slider->EdgeSize(), 2);
  slider->SetEdgeSize(4);
  EXPECT_EQ(slider->EdgeSize(), 4);
  slider->SetEdgeSize(-1);
  EXPECT_EQ(slider->EdgeSize(), 4);

  slider->SetBounds(5, 6, 150, 40);
  slider->SetOrientation(soVertical);
  EXPECT_EQ(slider->BoundsRect(), Bounds(5, 6, 40, 150));

  // Ticks every 30 end with one at the maximum.
  slider->SetOrientation(soHorizontal);
  slider->SetEdgeSize(2);
  slider->SetIncrement(30);
  slider->SetValue(0);
  slider->SetValue(100);  // the thumb away from the first tick
  const TColor ink = ColorToRGB(clWindowText);
  std::vector<int> ticks;
  for (int x = 0; x < 150; ++x)
    if (At(x, 25) == ink) ticks.push_back(x);
  std::vector<int> want;
  for (int v : {0, 30, 60, 100}) want.push_back(6 + int(std::nearbyint(1.29 * v)) + 4);
  EXPECT_EQ(ticks, want);
}

TEST_F(SliderTest, TinySlidersStayDrawable) {
  slider->SetOrientation(soVertical);
  slider->SetBounds(0, 0, 30, 8);  // shorter than the margins
  EXPECT_EQ(slider->Ruler()->Height(), 0);
  slider->SetValue(50);
  slider->Repaint();
  slider->SetOrientation(soHorizontal);
  slider->SetBounds(0, 0, 5, 5);
  slider->SetValue(100);
  slider->Repaint();
  EXPECT_EQ(slider->Value(), 100);
}

TBitmap* MakeImage(int w, int h, TColor c) {
  auto* b = new TBitmap;
  b->SetSize(w, h);
  b->Canvas()->Brush()->SetColor(c);
  b->Canvas()->FillRect(Rect(0, 0, w, h));
  b->Canvas()->SetPixels(1, 0, clBlue);
  return b;
}

TEST_F(SliderTest, UserImagesAndTheirStoredForm) {
  std::unique_ptr<TBitmap> thumb(MakeImage(20, 12, clRed));
  std::unique_ptr<TBitmap> ruler(MakeImage(16, 6, clLime));
  slider->SetOptions({soThumbOpaque, soRulerOpaque});
  slider->SetImageHThumb(thumb.get());
  slider->SetImageHRuler(ruler.get());
  EXPECT_EQ(slider->UserImages(), 3);
  EXPECT_EQ(slider->ThumbRect().Width(), 10);
  std::vector<Byte> stored = slider->WriteImages();

  auto* other = new TRxSlider(form);
  other->SetParent(form);
  other->ReadImages(stored.data(), stored.size());
  EXPECT_EQ(other->UserImages(), 3);
  EXPECT_TRUE(other->IsUserImage(siHThumb));
  EXPECT_FALSE(other->IsUserImage(siVThumb));
  EXPECT_EQ(other->ThumbRect(), slider->ThumbRect());
  EXPECT_EQ(other->Ruler()->Height(), 6);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 20; ++x)
      ASSERT_EQ(other->ImageHThumb()->Canvas()->Pixels(x, y), thumb->Canvas()->Pixels(x, y));

  // Back to the default picture: the bit goes and so does the opaque option.
  slider->SetImageHThumb(nullptr);
  EXPECT_EQ(slider->UserImages(), 2);
  EXPECT_FALSE(slider->Options().Contains(soThumbOpaque));
  EXPECT_TRUE(slider->Options().Contains(soRulerOpaque));
  EXPECT_EQ(slider->ThumbRect().Width(), 9);
}

TEST_F(SliderTest, DamagedImageSetsAreRefusedWithoutChange) {
  std::unique_ptr<TBitmap> thumb(MakeImage(20, 12, clRed));
  slider->SetImageHThumb(thumb.get());
  std::vector<Byte> good = slider->WriteImages();
  auto* other = new TRxSlider(form);
  other->SetParent(form);
  const TRect before = other->ThumbRect();
  // Every truncation.
  for (std::size_t n = 0; n < good.size(); ++n) {
    EXPECT_THROW(other->ReadImages(good.data(), n), EInvalidGraphic) << n;
    ASSERT_EQ(other->UserImages(), 0);
    ASSERT_EQ(other->ThumbRect(), before);
  }
  // A set value of the wrong size, bits past the four images, trailing bytes, a picture
  // that is no picture.
  std::vector<Byte> wrongSize = {2, 0, 0, 0, 1, 0};
  EXPECT_THROW(other->ReadImages(wrongSize.data(), wrongSize.size()), EInvalidGraphic);
  std::vector<Byte> highBits = {1, 0, 0, 0, 0x10};
  EXPECT_THROW(other->ReadImages(highBits.data(), highBits.size()), EInvalidGraphic);
  std::vector<Byte> trailing = good;
  trailing.push_back(0);
  EXPECT_THROW(other->ReadImages(trailing.data(), trailing.size()), EInvalidGraphic);
  std::vector<Byte> garbage = {1, 0, 0, 0, 1, 4, 0, 0, 0, 'B', 'M', 0, 0};
  EXPECT_THROW(other->ReadImages(garbage.data(), garbage.size()), EInvalidGraphic);
  EXPECT_THROW(other->ReadImages(nullptr, 5), EInvalidGraphic);
  EXPECT_EQ(other->UserImages(), 0);
  // An empty set is fine.
  std::vector<Byte> none = {1, 0, 0, 0, 0};
  other->ReadImages(none.data(), none.size());
  EXPECT_EQ(other->UserImages(), 0);
}

}  // namespace
