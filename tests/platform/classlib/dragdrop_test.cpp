// Drag and drop between the controls of one program: automatic start after a small move,
// acceptance asked of the control under the pointer, the drop with the right source, and
// targets that go away during the drag.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GuiFixture.h"
#include "classlib/ComCtrls.h"
#include "classlib/ExtCtrls.h"
#include "classlib/StdCtrls.h"

namespace {

class DragDropTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    form = MakeForm(300, 200);
    source = new TListView(form);
    source->SetParent(form);
    source->SetBorderStyle(bsNone);
    source->SetShowColumnHeaders(false);
    source->SetBounds(0, 0, 100, 100);
    source->Columns()->Add()->SetWidth(100);
    source->SetDragMode(dmAutomatic);
    source->Items()->Add()->SetCaption("A");
    target = new TPanel(form);
    target->SetParent(form);
    target->SetBounds(150, 0, 100, 100);
    label = new TLabel(form);
    label->SetParent(target);
    label->SetBounds(10, 10, 40, 20);
    source->OnEndDrag = [this](TObject*, TObject* t, int, int) {
      log.push_back(std::string("end ") + (!t ? "none" : t == target ? "target" : "other"));
    };
  }
  // Press on the source's first row, then move to form point (x, y).
  void PressAndMove(int x, int y) {
    SendMouseForTesting(source, WM_LBUTTONDOWN, 10, 5);
    SendMouseForTesting(source, WM_MOUSEMOVE, x, y, {ssLeft});
  }
  TForm* form = nullptr;
  TListView* source = nullptr;
  TPanel* target = nullptr;
  TLabel* label = nullptr;
  std::vector<std::string> log;
};

TEST_F(DragDropTest, ADragStartsAfterASmallMoveAndDropsWithItsSource) {
  TObject* seenSource = nullptr;
  target->OnDragOver = [&](TObject*, TObject* Source, int X, int Y, TDragState State,
                           bool& Accept) {
    seenSource = Source;
    log.push_back("over " + std::to_string(X) + "," + std::to_string(Y) + " " +
                  std::to_string(int(State)));
    Accept = Source == source;
  };
  target->OnDragDrop = [&](TObject* Sender, TObject* Source, int X, int Y) {
    log.push_back("drop " + std::to_string(X) + "," + std::to_string(Y) +
                  (Source == source && Sender == target ? " ok" : " wrong"));
  };
  // Within the threshold nothing drags and the click goes on as usual.
  SendMouseForTesting(source, WM_LBUTTONDOWN, 10, 5);
  SendMouseForTesting(source, WM_MOUSEMOVE, 13, 8, {ssLeft});
  EXPECT_FALSE(source->Dragging());
  SendMouseForTesting(source, WM_LBUTTONUP, 13, 8);
  EXPECT_TRUE(source->Items()->Item(0)->Selected());
  EXPECT_TRUE(log.empty());

  PressAndMove(170, 50);
  EXPECT_TRUE(source->Dragging());
  EXPECT_EQ(seenSource, source);
  EXPECT_EQ(DragCursorForTesting(), crDrag);
  SendMouseForTesting(source, WM_MOUSEMOVE, 172, 60, {ssLeft});
  SendMouseForTesting(source, WM_LBUTTONUP, 172, 60);
  EXPECT_FALSE(source->Dragging());
  EXPECT_EQ(DragCursorForTesting(), crDefault);
  EXPECT_EQ(log, (std::vector<std::string>{"over 20,50 0", "over 22,60 2", "drop 22,60 ok",
                                           "end target"}));
}

TEST_F(DragDropTest, RefusedTargetsShowTheNoDropCursorAndGetNoDrop) {
  bool dropped = false;
  target->OnDragOver = [](TObject*, TObject*, int, int, TDragState, bool& Accept) {
    Accept = false;
  };
  target->OnDragDrop = [&](TObject*, TObject*, int, int) { dropped = true; };
  PressAndMove(170, 50);
  EXPECT_EQ(DragCursorForTesting(), crNoDrop);
  // The label on the panel has no OnDragOver: it refuses too.
  SendMouseForTesting(source, WM_MOUSEMOVE, 165, 15, {ssLeft});
  EXPECT_EQ(DragCursorForTesting(), crNoDrop);
  label->OnDragOver = [](TObject*, TObject*, int, int, TDragState, bool&) {};
  SendMouseForTesting(source, WM_MOUSEMOVE, 166, 15, {ssLeft});
  EXPECT_EQ(DragCursorForTesting(), crDrag);
  SendMouseForTesting(source, WM_MOUSEMOVE, 170, 50, {ssLeft});
  SendMouseForTesting(source, WM_LBUTTONUP, 170, 50);
  EXPECT_FALSE(dropped);
  EXPECT_EQ(log, (std::vector<std::string>{"end none"}));
}

TEST_F(DragDropTest, ATargetDestroyedDuringTheDragIsNoTarget) {
  bool dropped = false;
  TPanel* doomed = target;
  target->OnDragOver = [](TObject*, TObject*, int, int, TDragState, bool& Accept) {
    Accept = true;
  };
  target->OnDragDrop = [&](TObject*, TObject*, int, int) { dropped = true; };
  PressAndMove(170, 50);
  EXPECT_EQ(DragCursorForTesting(), crDrag);
  delete doomed;
  target = nullptr;
  SendMouseForTesting(source, WM_LBUTTONUP, 170, 50);
  EXPECT_FALSE(dropped);
  EXPECT_EQ(log, (std::vector<std::string>{"end none"}));

  // A target that destroys itself while asked, and a drop handler that destroys the source.
  auto* other = new TPanel(form);
  other->SetParent(form);
  other->SetBounds(150, 100, 100, 100);
  other->OnDragOver = [&](TObject*, TObject*, int, int, TDragState, bool& Accept) {
    Accept = true;
    other->OnDragDrop = [&](TObject*, TObject*, int, int) {
      delete source;
      source = nullptr;
    };
  };
  PressAndMove(170, 150);
  SendMouseForTesting(source, WM_LBUTTONUP, 170, 150);
  EXPECT_EQ(source, nullptr);
  EXPECT_EQ(DragCursorForTesting(), crDefault);
}

}  // namespace
