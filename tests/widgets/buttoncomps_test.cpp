// The image button on a form: which face it shows and at what size, and the order of its
// events, driven by real mouse events and read back from the form's surface.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/classlib/GuiFixture.h"
#include "widgets/ButtonComps.h"

namespace {

constexpr TColor kNormal = clRed;
constexpr TColor kOver = clLime;
constexpr TColor kDown = clBlue;
constexpr TColor kUp = clYellow;
constexpr TColor kDisabled = clFuchsia;

void Fill(TBitmap& b, int w, int h, TColor color) {
  b.SetSize(w, h);
  b.Canvas()->Brush()->SetColor(color);
  b.Canvas()->FillRect(TRect{0, 0, w, h});
}

class ImageButtonTest : public GuiTest {
 protected:
  // A black form with a button at (20, 10) that logs its events.
  void SetUp() override {
    GuiTest::SetUp();
    form = MakeForm();
    form->SetColor(clBlack);
    button = new TImageButton(form);
    button->SetParent(form);
    button->SetLeft(20);
    button->SetTop(10);
    button->OnClick = [this](TObject* s) { Log(s, "click"); };
    button->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState, int x, int y) {
      Log(s, "down " + std::to_string(b) + " " + std::to_string(x) + "," + std::to_string(y));
    };
    button->OnMouseUp = [this](TObject* s, TMouseButton b, TShiftState, int, int) {
      Log(s, "up " + std::to_string(b));
    };
  }
  void Log(TObject* sender, const std::string& what) {
    EXPECT_EQ(sender, button);
    log.push_back(what);
  }
  // The standard faces: 25 x 25, the over face 25 x 23 like the sync buttons'.
  void SetFaces(bool withUp = true) {
    TBitmap b;
    Fill(b, 25, 25, kNormal);
    button->SetBitmap(&b);
    Fill(b, 25, 23, kOver);
    button->SetBitmapOver(&b);
    Fill(b, 25, 25, kDown);
    button->SetBitmapDown(&b);
    if (withUp) {
      Fill(b, 25, 25, kUp);
      button->SetBitmapUp(&b);
    }
  }
  TColor Shown() { return SurfacePixelForTesting(form, 30, 15); }
  void Mouse(UINT msg, int x, int y, TShiftState shift = {}) {
    SendMouseForTesting(form, msg, x, y, shift);
  }

  TForm* form = nullptr;
  TImageButton* button = nullptr;
  std::vector<std::string> log;
};

TEST_F(ImageButtonTest, NewButtonIsBlankUntilItsFaceIsSetAndTakesItsSize) {
  EXPECT_EQ(button->Width(), 50);
  EXPECT_EQ(button->Height(), 50);
  // A new button shows hints and follows its parent's setting once placed.
  auto* fresh = new TImageButton(form);
  EXPECT_TRUE(fresh->ShowHint());
  EXPECT_TRUE(fresh->ParentShowHint());
  form->SetShowHint(true);
  fresh->SetParent(form);
  EXPECT_TRUE(fresh->ShowHint());
  EXPECT_TRUE(button->ParentShowHint());
  form->Repaint();
  EXPECT_EQ(Shown(), clBlack);
  EXPECT_EQ(SurfacePixelForTesting(form, 69, 59), clBlack);

  TBitmap b;
  Fill(b, 25, 25, kNormal);
  button->SetBitmap(&b);
  EXPECT_EQ(button->Width(), 25);
  EXPECT_EQ(button->Height(), 25);
  EXPECT_EQ(Shown(), kNormal);
  // The button keeps its own copy.
  Fill(b, 10, 10, kDown);
  form->Repaint();
  EXPECT_EQ(Shown(), kNormal);
  EXPECT_EQ(button->Bitmap()->Width(), 25);
}

TEST_F(ImageButtonTest, FacesFollowThePointerAndResizeTheButton) {
  SetFaces();
  Mouse(WM_MOUSEMOVE, 30, 15);
  EXPECT_EQ(Shown(), kOver);
  EXPECT_EQ(button->Height(), 23);
  Mouse(WM_MOUSEMOVE, 100, 80);
  EXPECT_EQ(Shown(), kNormal);
  EXPECT_EQ(button->Height(), 25);
  Mouse(WM_MOUSEMOVE, 30, 15);
  EXPECT_EQ(button->Height(), 23);
  EXPECT_TRUE(log.empty());
}

TEST_F(ImageButtonTest, ClickShowsDownThenUpFaceInEventOrder) {
  SetFaces();
  TColor atClick = 0;
  button->OnClick = [&](TObject*) {
    log.push_back("click");
    atClick = Shown();
  };
  Mouse(WM_MOUSEMOVE, 30, 15);
  Mouse(WM_LBUTTONDOWN, 30, 15);
  EXPECT_EQ(Shown(), kDown);
  Mouse(WM_LBUTTONUP, 31, 16);
  EXPECT_EQ(log, (std::vector<std::string>{"down 0 10,5", "click", "up 0"}));
  EXPECT_EQ(atClick, kDown);
  EXPECT_EQ(Shown(), kUp);
  // The up face was only drawn: a repaint before the pointer moves on shows the down face.
  form->Repaint();
  EXPECT_EQ(Shown(), kDown);
  Mouse(WM_MOUSEMOVE, 100, 80);
  EXPECT_EQ(Shown(), kNormal);
}

TEST_F(ImageButtonTest, ReleaseOffTheButtonFiresOnlyMouseUpAndShowsTheNormalFace) {
  SetFaces();
  Mouse(WM_MOUSEMOVE, 30, 15);
  Mouse(WM_LBUTTONDOWN, 30, 15);
  Mouse(WM_MOUSEMOVE, 100, 80, {ssLeft});
  Mouse(WM_LBUTTONUP, 100, 80);
  EXPECT_EQ(log, (std::vector<std::string>{"down 0 10,5", "up 0"}));
  EXPECT_EQ(Shown(), kNormal);
  EXPECT_EQ(button->Height(), 25);
}

TEST_F(ImageButtonTest, OnlyTheLeftButtonCounts) {
  SetFaces();
  // An over face of the up face's size: a face drawn at a release would not resize the
  // button, so nothing repaints it away before it is seen.
  TBitmap b;
  Fill(b, 25, 25, kOver);
  button->SetBitmapOver(&b);
  Mouse(WM_MOUSEMOVE, 30, 15);
  Mouse(WM_RBUTTONDOWN, 30, 15);
  Mouse(WM_RBUTTONUP, 30, 15);
  EXPECT_EQ(Shown(), kOver);
  button->Perform(WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(5, 5));
  button->Perform(WM_MBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(Shown(), kOver);
}

TEST_F(ImageButtonTest, MissingFacesLeaveTheShownFace) {
  TBitmap b;
  Fill(b, 25, 25, kNormal);
  button->SetBitmap(&b);
  Mouse(WM_MOUSEMOVE, 30, 15);  // no over face
  EXPECT_EQ(Shown(), kNormal);
  Mouse(WM_LBUTTONDOWN, 30, 15);  // no down face: the event still fires
  EXPECT_EQ(log, std::vector<std::string>{"down 0 10,5"});
  EXPECT_EQ(Shown(), kNormal);
  Mouse(WM_LBUTTONUP, 30, 15);
  EXPECT_EQ(Shown(), kNormal);
  EXPECT_EQ(button->Width(), 25);
}

TEST_F(ImageButtonTest, DisabledButtonShowsItsDisabledFaceAndIgnoresThePointer) {
  SetFaces();
  button->SetEnabled(false);
  form->Repaint();
  EXPECT_EQ(Shown(), kNormal);  // no disabled face: the current one

  TBitmap b;
  Fill(b, 20, 18, kDisabled);
  button->SetBitmapDisabled(&b);
  EXPECT_EQ(button->Width(), 20);
  EXPECT_EQ(button->Height(), 18);
  EXPECT_EQ(Shown(), kDisabled);

  button->Perform(CM_MOUSEENTER, 0, 0);
  button->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  button->Perform(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  button->Perform(CM_MOUSELEAVE, 0, 0);
  EXPECT_TRUE(log.empty());
  form->Repaint();
  EXPECT_EQ(Shown(), kDisabled);

  // Disabling did not touch the current face.
  button->SetEnabled(true);
  form->Repaint();
  EXPECT_EQ(Shown(), kNormal);
}

TEST_F(ImageButtonTest, EnterAndLeaveEventsComeAfterTheFaceChange) {
  SetFaces();
  TColor atEnter = 0;
  button->OnMouseEnter = [&](TObject*) { atEnter = Shown(); };
  button->OnMouseLeave = [&](TObject*) { log.push_back("leave"); };
  Mouse(WM_MOUSEMOVE, 30, 15);
  Mouse(WM_MOUSEMOVE, 100, 80);
  EXPECT_EQ(atEnter, kOver);
  EXPECT_EQ(log, std::vector<std::string>{"leave"});
}

}  // namespace
