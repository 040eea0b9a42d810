// Controls on a form: painting into the form's surface, mouse routing and capture,
// message handlers, standard controls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GuiFixture.h"
#include "classlib/Buttons.h"
#include "classlib/ExtCtrls.h"
#include "classlib/Menus.h"
#include "classlib/StdCtrls.h"

namespace {

using ControlsTest = GuiTest;

// A graphic control that records its mouse events in order.
class Recorder : public TGraphicControl {
 public:
  explicit Recorder(TComponent* owner) : TGraphicControl(owner) {
    OnClick = [this](TObject*) { log.push_back("click"); };
    OnMouseDown = [this](TObject*, TMouseButton b, TShiftState s, int x, int y) {
      log.push_back("down " + std::to_string(b) + " " + std::to_string(x) + "," +
                    std::to_string(y) + (s.Contains(ssLeft) ? " L" : ""));
    };
    OnMouseUp = [this](TObject*, TMouseButton b, TShiftState, int x, int y) {
      log.push_back("up " + std::to_string(b) + " " + std::to_string(x) + "," + std::to_string(y));
    };
  }
  std::vector<std::string> log;

 protected:
  void Paint() override {
    Canvas()->Brush()->SetColor(clRed);
    Canvas()->FillRect(ClientRect());
  }
  void CMMouseEnter(TMessage&) override { log.push_back("enter"); }
  void CMMouseLeave(TMessage&) override { log.push_back("leave"); }
};

TEST_F(ControlsTest, GraphicControlsPaintIntoTheirParentsSurface) {
  TForm* f = MakeForm();
  f->SetColor(clBlack);
  auto* r = new Recorder(f);
  r->SetParent(f);
  r->SetBounds(20, 10, 5, 4);
  auto* shape = new TShape(f);
  shape->SetParent(f);
  shape->SetBounds(22, 12, 10, 10);
  shape->Brush()->SetColor(clLime);
  shape->Pen()->SetColor(clBlue);
  f->Repaint();
  EXPECT_EQ(SurfacePixelForTesting(f, 0, 0), clBlack);
  EXPECT_EQ(SurfacePixelForTesting(f, 20, 10), clRed);
  EXPECT_EQ(SurfacePixelForTesting(f, 21, 13), clRed);
  // The shape lies above the recorder: z-order is the order of insertion.
  EXPECT_EQ(SurfacePixelForTesting(f, 22, 12), clBlue);
  EXPECT_EQ(SurfacePixelForTesting(f, 24, 13), clLime);
  EXPECT_EQ(SurfacePixelForTesting(f, 32, 12), clBlack);
  r->BringToFront();
  EXPECT_EQ(SurfacePixelForTesting(f, 23, 13), clRed);
  r->Hide();
  EXPECT_EQ(SurfacePixelForTesting(f, 20, 10), clBlack);
  // A windowed child has a surface of its own.
  auto* p = new TPanel(f);
  p->SetParent(f);
  p->SetBounds(100, 50, 40, 30);
  p->SetColor(clNavy);
  p->SetBevelOuter(bvRaised);
  EXPECT_EQ(SurfacePixelForTesting(p, 0, 0), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(SurfacePixelForTesting(p, 39, 29), ColorToRGB(clBtnShadow));
  EXPECT_EQ(SurfacePixelForTesting(p, 10, 10), clNavy);
}

TEST_F(ControlsTest, MouseIsCapturedFromPressToRelease) {
  TForm* f = MakeForm();
  auto* r = new Recorder(f);
  r->SetParent(f);
  r->SetBounds(20, 10, 10, 10);
  SendMouseForTesting(f, WM_MOUSEMOVE, 25, 15);
  SendMouseForTesting(f, WM_LBUTTONDOWN, 25, 15);
  EXPECT_TRUE(r->MouseCapture());
  // Released inside: the click comes before the mouse-up.
  SendMouseForTesting(f, WM_LBUTTONUP, 26, 16);
  EXPECT_FALSE(r->MouseCapture());
  EXPECT_EQ(r->log, (std::vector<std::string>{"enter", "down 0 5,5 L", "click", "up 0 6,6"}));
  r->log.clear();
  // Pressed inside, dragged off, released outside: the control still gets the release,
  // in its own coordinates, and no click.
  SendMouseForTesting(f, WM_LBUTTONDOWN, 25, 15);
  SendMouseForTesting(f, WM_MOUSEMOVE, 80, 60, {ssLeft});
  SendMouseForTesting(f, WM_LBUTTONUP, 80, 60);
  EXPECT_EQ(r->log, (std::vector<std::string>{"down 0 5,5 L", "leave", "up 0 60,50"}));
  r->log.clear();
  // A disabled graphic control lets its parent have the mouse.
  std::vector<std::string> formLog;
  f->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int x, int y) {
    formLog.push_back(std::to_string(x) + "," + std::to_string(y));
  };
  r->SetEnabled(false);
  SendMouseForTesting(f, WM_LBUTTONDOWN, 25, 15);
  SendMouseForTesting(f, WM_LBUTTONUP, 25, 15);
  EXPECT_EQ(formLog, std::vector<std::string>{"25,15"});
  EXPECT_TRUE(r->log.empty() || r->log == std::vector<std::string>{"enter"});
}

TEST_F(ControlsTest, MessagesReachRegisteredHandlersFirst) {
  TForm* f = MakeForm();
  auto* r = new Recorder(f);
  r->SetParent(f);
  r->SetBounds(0, 0, 10, 10);
  int seen = 0;
  r->SetMessageHandler(WM_LBUTTONDOWN, [&](TMessage& m) {
    ++seen;
    if (m.WParam & MK_SHIFT) return;  // swallowed
    r->Dispatch(m);                   // the inherited handling
  });
  r->Perform(WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(1, 2));
  EXPECT_TRUE(r->log.empty());
  r->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 2));
  EXPECT_EQ(seen, 2);
  EXPECT_EQ(r->log, std::vector<std::string>{"down 0 1,2 L"});
  EXPECT_EQ(r->Perform(CM_BASE + 500, 0, 0), 0);
  r->SetMessageHandler(CM_BASE + 500, [](TMessage& m) { m.Result = 42; });
  EXPECT_EQ(r->Perform(CM_BASE + 500, 0, 0), 42);
}

TEST_F(ControlsTest, SpeedButtonsOfAGroupStayDownOneAtATime) {
  TForm* f = MakeForm();
  std::vector<TSpeedButton*> b;
  int clicks = 0;
  for (int i = 0; i < 3; ++i) {
    b.push_back(new TSpeedButton(f));
    b[i]->SetParent(f);
    b[i]->SetBounds(i * 30, 0, 25, 20);
    b[i]->SetGroupIndex(1);
    b[i]->OnClick = [&](TObject*) { ++clicks; };
  }
  auto click = [&](int i) {
    SendMouseForTesting(f, WM_LBUTTONDOWN, i * 30 + 5, 5);
    SendMouseForTesting(f, WM_LBUTTONUP, i * 30 + 5, 5);
  };
  click(0);
  EXPECT_TRUE(b[0]->Down());
  click(2);
  EXPECT_FALSE(b[0]->Down());
  EXPECT_TRUE(b[2]->Down());
  // Without AllowAllUp the last one down stays down.
  click(2);
  EXPECT_TRUE(b[2]->Down());
  b[2]->SetAllowAllUp(true);
  click(2);
  EXPECT_FALSE(b[2]->Down());
  EXPECT_EQ(clicks, 4);
  // A button of no group never stays down.
  auto* solo = new TSpeedButton(f);
  solo->SetParent(f);
  solo->SetBounds(0, 50, 25, 20);
  solo->SetDown(true);
  EXPECT_FALSE(solo->Down());
  // A release whose handler fails (the error report's box shows) still lets the button up.
  solo->OnMouseUp = [](TObject*, TMouseButton, TShiftState, int, int) {
    throw Exception("no answer");
  };
  SendMouseForTesting(f, WM_LBUTTONDOWN, 5, 55);
  SendMouseForTesting(f, WM_LBUTTONUP, 5, 55);
  EXPECT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(SurfacePixelForTesting(f, 0, 50), ColorToRGB(clBtnHighlight));
}

TEST_F(ControlsTest, EditKeyPressCanDiscardOrReplaceCharacters) {
  TForm* f = MakeForm();
  auto* e = new TEdit(f);
  e->SetParent(f);
  e->SetMaxLength(4);
  std::vector<String> changes;
  e->OnChange = [&](TObject*) { changes.push_back(e->Text()); };
  e->OnKeyPress = [](TObject*, char& k) {
    if (k == 'x') k = 0;
    if (k == 'a') k = 'b';
  };
  Word swallowed = 0;
  e->OnKeyDown = [&](TObject*, Word& k, TShiftState) {
    if (k == VK_DELETE) {
      swallowed = k;
      k = 0;
    }
  };
  e->SetFocus();
  for (char ch : std::string("1x2a345")) SendKeyForTesting(e, Word(ch >= 'a' ? ch - 32 : ch), ch);
  EXPECT_EQ(e->Text(), "12b3");
  SendKeyForTesting(e, VK_LEFT, 0);
  SendKeyForTesting(e, VK_DELETE, 0);
  EXPECT_EQ(swallowed, VK_DELETE);
  EXPECT_EQ(e->Text(), "12b3");
  e->SetText("00");
  EXPECT_EQ(changes.back(), "00");
  EXPECT_EQ(changes.front(), "1");
  e->SetReadOnly(true);
  SendKeyForTesting(e, '5', '5');
  EXPECT_EQ(e->Text(), "00");
}

TEST_F(ControlsTest, LabelsSizeThemselvesToTheirText) {
  TForm* f = MakeForm();
  auto* l = new TLabel(f);
  l->SetParent(f);
  l->SetAlignment(taRightJustify);
  l->SetBounds(100, 5, 50, 20);
  l->SetCaption("100 %");
  int w = l->Width();
  EXPECT_GT(w, 10);
  EXPECT_EQ(l->Left() + w, 150);
  l->SetCaption("0 %");
  EXPECT_LT(l->Width(), w);
  EXPECT_EQ(l->Left() + l->Width(), 150);
  // A transparent label leaves the form's colour around its letters.
  f->SetColor(clBlack);
  l->Font()->SetColor(clWhite);
  l->SetTransparent(true);
  f->Repaint();
  bool white = false, other = false;
  for (int y = l->Top(); y < l->Top() + l->Height(); ++y)
    for (int x = l->Left(); x < l->Left() + l->Width(); ++x) {
      TColor c = SurfacePixelForTesting(f, x, y);
      if (c == clWhite)
        white = true;
      else if (c != clBlack)
        other = true;
    }
  EXPECT_TRUE(white);
  EXPECT_FALSE(other);
}

class MenuStub : public TPopupMenu {
 public:
  using TPopupMenu::TPopupMenu;
  void Popup(Integer X, Integer Y) override { at.push_back(Point(X, Y)); }
  std::vector<TPoint> at;
};

TEST_F(ControlsTest, DoubleClicksAndRightClicks) {
  TForm* f = MakeForm(200, 100, 30, 40);
  auto* r = new Recorder(f);
  r->SetParent(f);
  r->SetBounds(10, 10, 20, 20);
  r->OnDblClick = [r](TObject*) { r->log.push_back("dblclick"); };
  SendMouseForTesting(f, WM_LBUTTONDOWN, 15, 15);
  SendMouseForTesting(f, WM_LBUTTONUP, 15, 15);
  SendMouseForTesting(f, WM_LBUTTONDBLCLK, 15, 15);
  SendMouseForTesting(f, WM_LBUTTONUP, 15, 15);
  EXPECT_EQ(r->log, (std::vector<std::string>{"enter", "down 0 5,5 L", "click", "up 0 5,5",
                                              "dblclick", "down 0 5,5 L", "up 0 5,5"}));
  // A right click pops the control's menu up at the screen point, after the mouse-up.
  auto* menu = new MenuStub(f);
  r->SetPopupMenu(menu);
  r->log.clear();
  SendMouseForTesting(f, WM_RBUTTONDOWN, 12, 13);
  SendMouseForTesting(f, WM_RBUTTONUP, 12, 13);
  EXPECT_EQ(r->log, (std::vector<std::string>{"down 1 2,3", "up 1 2,3"}));
  ASSERT_EQ(menu->at.size(), 1u);
  EXPECT_EQ(menu->at[0], Point(42, 53));
  // The control forgets a menu that goes away.
  delete menu;
  EXPECT_EQ(r->PopupMenu(), nullptr);
}

TEST_F(ControlsTest, FormsWithKeyPreviewSeeKeysFirst) {
  TForm* f = MakeForm();
  auto* e = new TEdit(f);
  e->SetParent(f);
  std::vector<std::string> log;
  f->OnKeyDown = [&](TObject*, Word& k, TShiftState s) {
    log.push_back("form " + std::to_string(k) + (s.Contains(ssCtrl) ? " ctrl" : ""));
    if (k == VK_F1) k = 0;
  };
  e->OnKeyDown = [&](TObject*, Word& k, TShiftState) {
    log.push_back("edit " + std::to_string(k));
  };
  bool entered = false;
  e->OnEnter = [&](TObject*) { entered = true; };
  // Every control of the window hears who has the focus.
  auto* other = new TPanel(f);
  other->SetParent(f);
  LPARAM told = 0;
  other->SetMessageHandler(CM_FOCUSCHANGED, [&](TMessage& m) { told = m.LParam; });
  e->SetFocus();
  EXPECT_TRUE(e->Focused());
  EXPECT_TRUE(entered);
  EXPECT_EQ(told, LPARAM(reinterpret_cast<std::intptr_t>(static_cast<TWinControl*>(e))));
  SendKeyForTesting(e, VK_F2, 0);
  EXPECT_EQ(log, std::vector<std::string>{"edit 113"});
  f->SetKeyPreview(true);
  SendKeyForTesting(e, VK_F1, 0);
  SendKeyForTesting(e, VK_UP, 0, {ssCtrl});
  EXPECT_EQ(log, (std::vector<std::string>{"edit 113", "form 112", "form 38 ctrl", "edit 38"}));
}

TEST_F(ControlsTest, AlignedChildrenShareTheClientArea) {
  TForm* f = MakeForm(200, 100);
  auto* top = new TPanel(f);
  top->SetParent(f);
  top->SetHeight(20);
  top->SetAlign(alTop);
  auto* rest = new TPanel(f);
  rest->SetParent(f);
  rest->SetAlign(alClient);
  std::vector<LPARAM> sizes;
  rest->SetMessageHandler(WM_SIZE, [&](TMessage& m) { sizes.push_back(m.LParam); });
  EXPECT_EQ(top->BoundsRect(), Rect(0, 0, 200, 20));
  EXPECT_EQ(rest->BoundsRect(), Rect(0, 20, 200, 100));
  f->SetBounds(f->Left(), f->Top(), 300, 120);
  EXPECT_EQ(rest->BoundsRect(), Rect(0, 20, 300, 120));
  EXPECT_EQ(sizes, std::vector<LPARAM>{MAKELPARAM(300, 100)});
  // Screen coordinates through nested controls.
  auto* inner = new TShape(rest);
  inner->SetParent(rest);
  inner->SetBounds(5, 6, 10, 10);
  EXPECT_EQ(inner->ClientToScreen(Point(1, 1)), Point(f->Left() + 6, f->Top() + 27));
  EXPECT_EQ(FindDragTarget(inner->ClientToScreen(Point(1, 1)), false), inner);
  EXPECT_EQ(FindDragTarget(rest->ClientToScreen(Point(50, 50)), false), rest);
}

TEST_F(ControlsTest, ChildrenFollowTheirParentsFontUntilGivenTheirOwn) {
  TForm* f = MakeForm();
  auto* p = new TPanel(f);
  p->SetParent(f);
  auto* l = new TLabel(f);
  l->SetParent(p);
  f->Font()->SetName("Tahoma");
  f->Font()->SetColor(0x00FF8080);
  EXPECT_EQ(p->Font()->Name(), "Tahoma");
  EXPECT_EQ(l->Font()->Color(), 0x00FF8080u);
  l->Font()->SetStyle({fsBold});
  EXPECT_FALSE(l->ParentFont());
  f->Font()->SetColor(clRed);
  EXPECT_EQ(p->Font()->Color(), clRed);
  EXPECT_EQ(l->Font()->Color(), 0x00FF8080u);
}

TEST_F(ControlsTest, ImagesDrawTheirPicture) {
  TForm* f = MakeForm();
  f->SetColor(clBlack);
  TBitmap pic;
  pic.SetSize(2, 2);
  pic.Canvas()->SetPixels(0, 0, clRed);
  pic.Canvas()->SetPixels(1, 0, clWhite);
  pic.Canvas()->SetPixels(0, 1, clLime);
  pic.Canvas()->SetPixels(1, 1, clLime);
  auto* img = new TImage(f);
  img->SetParent(f);
  img->SetBounds(10, 10, 50, 50);
  img->SetAutoSize(true);
  img->Picture()->SetBitmap(&pic);
  EXPECT_EQ(img->Width(), 2);
  EXPECT_EQ(SurfacePixelForTesting(f, 10, 10), clRed);
  EXPECT_EQ(SurfacePixelForTesting(f, 11, 11), clLime);
  img->SetTransparent(true);
  f->Repaint();
  EXPECT_EQ(SurfacePixelForTesting(f, 10, 10), clRed);
  EXPECT_EQ(SurfacePixelForTesting(f, 11, 11), clBlack);
  img->SetTransparent(false);
  img->SetAutoSize(false);
  img->SetBounds(10, 10, 4, 4);
  img->SetStretch(true);
  EXPECT_EQ(SurfacePixelForTesting(f, 11, 11), clRed);
  EXPECT_EQ(SurfacePixelForTesting(f, 13, 13), clLime);
}

}  // namespace
