// The list view in report view: items, sorting, update brackets, selection by mouse and
// keys, custom drawing, tips and context menus.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GuiFixture.h"
#include "classlib/ComCtrls.h"
#include "classlib/Menus.h"

namespace {

class ListViewTest : public GuiTest {
 protected:
  TListView* MakeList(TForm* f) {
    auto* lv = new TListView(f);
    lv->SetParent(f);
    lv->SetBorderStyle(bsNone);
    lv->SetBounds(0, 0, 200, 150);
    lv->Columns()->Add()->SetWidth(120);
    lv->Columns()->Add()->SetWidth(60);
    return lv;
  }
  static TListItem* AddItem(TListView* lv, const String& caption, const String& bpm = "") {
    TListItem* i = lv->Items()->Add();
    i->SubItems()->Add(bpm);
    i->SetCaption(caption);
    return i;
  }
  static std::vector<String> Captions(TListView* lv) {
    std::vector<String> out;
    for (Integer i = 0; i < lv->Items()->Count(); ++i)
      out.push_back(lv->Items()->Item(i)->Caption());
    return out;
  }
  // The middle of row i (no header unless shown).
  static TPoint RowPoint(TListView* lv, Integer i) {
    TRect r = lv->Items()->Item(i)->DisplayRect(drLabel);
    return {r.Left + 5, (r.Top + r.Bottom) / 2};
  }
};

TEST_F(ListViewTest, SortedListsFollowOnCompareAndSortOncePerBracket) {
  TForm* f = MakeForm(300, 200);
  TListView* lv = MakeList(f);
  int compares = 0;
  // By BPM, the way a playlist orders itself.
  lv->OnCompare = [&](TObject*, TListItem* a, TListItem* b, Integer, Integer& c) {
    ++compares;
    double x = std::stod(a->SubItems()->Strings(0)), y = std::stod(b->SubItems()->Strings(0));
    c = x < y ? -1 : x > y ? 1 : 0;
  };
  lv->SetSortType(stText);
  AddItem(lv, "C", "130");
  AddItem(lv, "A", "120");
  AddItem(lv, "B", "125");
  EXPECT_EQ(Captions(lv), (std::vector<String>{"A", "B", "C"}));
  EXPECT_GT(compares, 0);

  // Inside a bracket nothing sorts and nothing paints; the closing sorts once.
  int draws = 0;
  lv->OnCustomDrawItem = [&](TListView*, TListItem*, TCustomDrawState, bool&) { ++draws; };
  lv->Update();
  draws = 0;
  compares = 0;
  lv->Items()->BeginUpdate();
  AddItem(lv, "Z", "90");
  AddItem(lv, "Y", "200");
  EXPECT_EQ(compares, 0);
  lv->Repaint();
  EXPECT_EQ(draws, 0);
  EXPECT_EQ(Captions(lv), (std::vector<String>{"A", "B", "C", "Z", "Y"}));
  lv->Items()->EndUpdate();
  EXPECT_EQ(Captions(lv), (std::vector<String>{"Z", "A", "B", "C", "Y"}));
  lv->Update();
  EXPECT_EQ(draws, 5);

  // Without OnCompare the captions decide; an unsorted list keeps its order.
  lv->OnCompare = nullptr;
  lv->AlphaSort();
  EXPECT_EQ(Captions(lv), (std::vector<String>{"A", "B", "C", "Y", "Z"}));
  lv->SetSortType(stNone);
  AddItem(lv, "0");
  EXPECT_EQ(Captions(lv).back(), "0");
  lv->CustomSort([](TListItem* a, TListItem* b,
                    Integer) { return lstrcmpA(b->Caption().c_str(), a->Caption().c_str()); },
                 0);
  EXPECT_EQ(Captions(lv).front(), "Z");
}

TEST_F(ListViewTest, BadIndexesRaiseListErrors) {
  TForm* f = MakeForm(300, 200);
  TListView* lv = MakeList(f);
  AddItem(lv, "A");
  EXPECT_THROW(lv->Items()->Item(1), EListError);
  EXPECT_THROW(lv->Items()->Item(-1), EListError);
  EXPECT_THROW(lv->Items()->Delete(5), EListError);
  EXPECT_THROW(lv->Items()->Insert(3), EListError);
  EXPECT_THROW(lv->Columns()->Items(2), EListError);
  try {
    lv->Items()->Item(7);
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (7)");
  }
  EXPECT_THROW(lv->Items()->Item(0)->SubItems()->Strings(3), EListError);
}

TEST_F(ListViewTest, MouseSelectsOneOrManyAndKeepsADraggedSelection) {
  TForm* f = MakeForm(300, 200);
  TListView* lv = MakeList(f);
  lv->SetShowColumnHeaders(false);
  for (const char* c : {"A", "B", "C", "D"}) AddItem(lv, c);
  auto click = [&](Integer row, TShiftState s = {}) {
    TPoint p = RowPoint(lv, row);
    SendMouseForTesting(lv, WM_LBUTTONDOWN, p.x, p.y, s);
    SendMouseForTesting(lv, WM_LBUTTONUP, p.x, p.y, s);
  };
  auto selected = [&] {
    std::vector<String> out;
    for (TListItem* i = lv->GetNextItem(nullptr, {isSelected}); i;
         i = lv->GetNextItem(i, {isSelected}))
      out.push_back(i->Caption());
    return out;
  };
  click(1);
  click(2, {ssCtrl});
  EXPECT_EQ(selected(), (std::vector<String>{"C"}));  // single selection
  EXPECT_TRUE(lv->Items()->Item(2)->Focused());

  lv->SetMultiSelect(true);
  click(0);
  click(2, {ssCtrl});
  EXPECT_EQ(selected(), (std::vector<String>{"A", "C"}));
  click(3, {ssShift});
  EXPECT_EQ(selected(), (std::vector<String>{"C", "D"}));
  EXPECT_EQ(lv->SelCount(), 2);
  EXPECT_EQ(lv->Selected()->Caption(), "C");

  // Pressing on a selected item keeps the selection (it may be dragged); the release
  // without a drag leaves just that item.
  TPoint p = RowPoint(lv, 3);
  SendMouseForTesting(lv, WM_LBUTTONDOWN, p.x, p.y);
  EXPECT_EQ(lv->SelCount(), 2);
  SendMouseForTesting(lv, WM_LBUTTONUP, p.x, p.y);
  EXPECT_EQ(selected(), (std::vector<String>{"D"}));

  // A click below the rows clears the selection; setting Selected selects only that one.
  SendMouseForTesting(lv, WM_LBUTTONDOWN, 10, 140);
  SendMouseForTesting(lv, WM_LBUTTONUP, 10, 140);
  EXPECT_EQ(lv->SelCount(), 0);
  lv->SetSelected(lv->Items()->Item(1));
  EXPECT_EQ(selected(), (std::vector<String>{"B"}));

  // Deleting the selected item leaves no dangling selection.
  lv->Items()->Delete(1);
  EXPECT_EQ(lv->Selected(), nullptr);
}

TEST_F(ListViewTest, RowsThatDoNotFitScroll) {
  TForm* f = MakeForm(300, 200);
  TListView* lv = MakeList(f);
  lv->SetShowColumnHeaders(false);
  lv->SetDragMode(dmAutomatic);
  for (int i = 0; i < 30; ++i) AddItem(lv, "T" + std::to_string(i));
  Integer rh = lv->RowHeight();
  Integer rows = 150 / rh;
  // The lower arrow of the bar steps one row; the bar neither selects nor drags.
  SendMouseForTesting(lv, WM_LBUTTONDOWN, 195, 145);
  SendMouseForTesting(lv, WM_MOUSEMOVE, 195, 100, {ssLeft});
  EXPECT_FALSE(lv->Dragging());
  SendMouseForTesting(lv, WM_LBUTTONUP, 195, 100);
  EXPECT_EQ(lv->TopItem()->Caption(), "T1");
  EXPECT_EQ(lv->SelCount(), 0);
  EXPECT_EQ(lv->GetItemAt(195, 5), nullptr);
  // The thumb dragged to the bottom shows the last rows.
  SendMouseForTesting(lv, WM_LBUTTONDOWN, 195, 20);
  SendMouseForTesting(lv, WM_MOUSEMOVE, 195, 149, {ssLeft});
  SendMouseForTesting(lv, WM_LBUTTONUP, 195, 149);
  EXPECT_EQ(lv->TopItem()->Index(), 30 - rows);
  // Keys bring the focused row into view.
  lv->SetFocus();
  lv->Items()->Item(0)->SetFocused(true);
  SendKeyForTesting(lv, VK_DOWN, 0);
  EXPECT_EQ(lv->TopItem()->Index(), 1);
  EXPECT_EQ(lv->Selected()->Caption(), "T1");
}

TEST_F(ListViewTest, KeysArriveWithThePlatformCodesThenMoveTheSelection) {
  TForm* f = MakeForm(300, 200);
  TListView* lv = MakeList(f);
  for (const char* c : {"A", "B", "C"}) AddItem(lv, c);
  std::vector<Word> keys;
  lv->OnKeyDown = [&](TObject*, Word& k, TShiftState) { keys.push_back(k); };
  lv->SetSelected(lv->Items()->Item(0));
  lv->Items()->Item(0)->SetFocused(true);
  lv->SetFocus();
  SendKeyForTesting(lv, VK_DOWN, 0);
  SendKeyForTesting(lv, VK_DOWN, 0);
  SendKeyForTesting(lv, VK_UP, 0);
  SendKeyForTesting(lv, VK_DELETE, 0);
  EXPECT_EQ(keys, (std::vector<Word>{40, 40, 38, 46}));
  EXPECT_EQ(lv->Selected()->Caption(), "B");
  // Ctrl moves only the focus.
  SendKeyForTesting(lv, VK_DOWN, 0, {ssCtrl});
  EXPECT_EQ(lv->Selected()->Caption(), "B");
  EXPECT_EQ(lv->ItemFocused()->Caption(), "C");
  // A handler that clears the key keeps the list from moving.
  lv->OnKeyDown = [](TObject*, Word& k, TShiftState) { k = 0; };
  SendKeyForTesting(lv, VK_UP, 0);
  EXPECT_EQ(lv->Selected()->Caption(), "B");
}

TEST_F(ListViewTest, CustomDrawingReplacesTheDefaultRow) {
  TForm* f = MakeForm(300, 200);
  TListView* lv = MakeList(f);
  lv->SetColor(clBlack);
  lv->SetShowColumnHeaders(false);
  AddItem(lv, "A", "128");
  AddItem(lv, "B", "130");
  lv->Items()->Item(1)->SetSelected(true);
  std::vector<std::pair<String, bool>> seen;
  lv->OnCustomDrawItem = [&](TListView* Sender, TListItem* Item, TCustomDrawState State,
                             bool& DefaultDraw) {
    DefaultDraw = false;
    seen.push_back({Item->Caption(), State.Contains(cdsSelected)});
    TCanvas* c = Sender->Canvas();
    TRect r = Item->DisplayRect(drLabel);
    c->Brush()->SetColor(Item->Selected() ? TColor(0x400A00) : clBlack);
    c->FillRect({r.Left, r.Top, 180, r.Bottom});
  };
  lv->SetHideSelection(false);
  TRect r0 = lv->Items()->Item(0)->DisplayRect(drLabel);
  TRect r1 = lv->Items()->Item(1)->DisplayRect(drLabel);
  EXPECT_EQ(r0.Top, 0);  // no header
  EXPECT_EQ(r1.Top, r0.Bottom);
  EXPECT_EQ(r0.Right, 120);
  EXPECT_EQ(SurfacePixelForTesting(lv, 150, (r1.Top + r1.Bottom) / 2), TColor(0x400A00));
  EXPECT_EQ(SurfacePixelForTesting(lv, 150, (r0.Top + r0.Bottom) / 2), clBlack);
  EXPECT_EQ(seen, (std::vector<std::pair<String, bool>>{{"A", false}, {"B", true}}));

  // Headers take the top of the list when shown.
  lv->SetShowColumnHeaders(true);
  EXPECT_EQ(lv->Items()->Item(0)->DisplayRect(drBounds).Top, lv->HeaderHeight());
  EXPECT_GT(lv->HeaderHeight(), 0);

  // Small images make room for the icon before the label.
  auto* images = new TImageList(f);
  lv->SetSmallImages(images);
  EXPECT_EQ(lv->Items()->Item(0)->DisplayRect(drLabel).Left, 18);
  EXPECT_GE(lv->RowHeight(), 17);
  delete images;
  EXPECT_EQ(lv->SmallImages(), nullptr);
}

TEST_F(ListViewTest, TipsDoubleClicksAndContextMenus) {
  TForm* f = MakeForm(300, 200);
  TListView* lv = MakeList(f);
  lv->SetShowColumnHeaders(false);
  AddItem(lv, "Track", "128");
  lv->OnInfoTip = [](TObject*, TListItem* item, String& tip) {
    tip = item->Caption() + "\n" + item->SubItems()->Strings(0);
  };
  TPoint p = RowPoint(lv, 0);
  EXPECT_EQ(lv->TipAt(p), "Track\n128");
  EXPECT_EQ(lv->TipAt({5, 140}), "");

  int dbl = 0;
  lv->OnDblClick = [&](TObject*) { ++dbl; };
  SendMouseForTesting(lv, WM_LBUTTONDOWN, p.x, p.y);
  SendMouseForTesting(lv, WM_LBUTTONUP, p.x, p.y);
  SendMouseForTesting(lv, WM_LBUTTONDBLCLK, p.x, p.y);
  SendMouseForTesting(lv, WM_LBUTTONUP, p.x, p.y);
  EXPECT_EQ(dbl, 1);

  // The context handler runs before the menu and can keep it away.
  struct Menu : TPopupMenu {
    using TPopupMenu::TPopupMenu;
    void Popup(Integer, Integer) override { ++shown; }
    int shown = 0;
  };
  auto* menu = new Menu(f);
  menu->SetTag(-1);
  lv->SetPopupMenu(menu);
  lv->SetTag(1);
  bool handled = false;
  lv->OnContextPopup = [&](TObject* s, TPoint, bool& Handled) {
    menu->SetTag(static_cast<TComponent*>(s)->Tag());
    Handled = handled;
  };
  lv->ClearSelection();
  SendMouseForTesting(lv, WM_RBUTTONDOWN, p.x, p.y);
  SendMouseForTesting(lv, WM_RBUTTONUP, p.x, p.y);
  EXPECT_EQ(menu->shown, 1);
  EXPECT_EQ(menu->Tag(), 1);
  EXPECT_EQ(menu->PopupComponent(), lv);
  EXPECT_TRUE(lv->Items()->Item(0)->Selected());  // a right click selects the row
  handled = true;
  SendMouseForTesting(lv, WM_RBUTTONDOWN, p.x, p.y);
  SendMouseForTesting(lv, WM_RBUTTONUP, p.x, p.y);
  EXPECT_EQ(menu->shown, 1);
}

}  // namespace
