// Popup menus: items, radio groups and shortcuts, the menu messages the owner window hears,
// and the owner-draw round trip through WM_MEASUREITEM and WM_DRAWITEM.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GuiFixture.h"
#include "classlib/Gdi.h"
#include "classlib/Menus.h"

namespace {

class MenusTest : public GuiTest {
 protected:
  TMenuItem* Add(TMenuItem* parent, const String& caption) {
    auto* i = new TMenuItem(Application);
    i->SetCaption(caption);
    parent->Add(i);
    return i;
  }
};

TEST_F(MenusTest, ItemsRadioGroupsDefaultsAndShortcuts) {
  auto* menu = new TPopupMenu(Application);
  TMenuItem* a = Add(menu->Items(), "&Rotate");
  TMenuItem* b = Add(menu->Items(), "Full fire");
  TMenuItem* c = Add(menu->Items(), "Other group");
  for (TMenuItem* i : {a, b, c}) i->SetRadioItem(true);
  c->SetGroupIndex(1);
  a->SetChecked(true);
  c->SetChecked(true);
  b->SetChecked(true);
  EXPECT_FALSE(a->Checked());
  EXPECT_TRUE(b->Checked());
  EXPECT_TRUE(c->Checked());
  a->SetDefault(true);
  b->SetDefault(true);
  EXPECT_FALSE(a->Default());

  EXPECT_EQ(ShortCutToText(ShortCut('S', {ssCtrl})), "Ctrl+S");
  EXPECT_EQ(ShortCutToText(ShortCut(VK_F1, {ssShift, ssCtrl})), "Shift+Ctrl+F1");
  EXPECT_EQ(ShortCutToText(VK_DELETE), "Del");
  EXPECT_EQ(ShortCutToText(0), "");
  EXPECT_EQ(StripHotkey("&Load && go"), "Load & go");

  EXPECT_EQ(menu->FindItem(b->Command(), fkCommand), b);
  EXPECT_EQ(a->MenuIndex(), 0);
  EXPECT_THROW(menu->Items()->Items(3), EListError);
  EXPECT_THROW(menu->Items()->Add(a), EMenuError);
  // Freeing an item frees its sub-items and takes it out of its parent.
  TMenuItem* sub = Add(c, "sub");
  EXPECT_EQ(sub->Parent(), c);
  delete c;
  EXPECT_EQ(menu->Items()->Count(), 2);
}

TEST_F(MenusTest, PopupShowsTheMenuAndTheChosenItemClicksThroughTheQueue) {
  TForm* f = MakeForm();
  auto* menu = new TPopupMenu(f);
  TMenuItem* loop = Add(menu->Items(), "Loop");
  Add(menu->Items(), "-");
  TMenuItem* hidden = Add(menu->Items(), "Hidden");
  hidden->SetVisible(false);
  TMenuItem* repeat = Add(menu->Items(), "Full Repeat");
  repeat->SetHint("Repeat|Repeats the whole track");
  TMenuItem* off = Add(menu->Items(), "Off");
  off->SetEnabled(false);
  std::vector<String> clicks;
  for (TMenuItem* i : {loop, repeat, off})
    i->OnClick = [&, i](TObject* s) { clicks.push_back(s == i ? i->Caption() : "?"); };
  bool popped = false;
  menu->OnPopup = [&](TObject*) { popped = true; };
  menu->SetAlignment(paRight);
  TRect where;
  SetMenuTrackerForTesting([&](TMenuTracking& m) {
    where = m.ScreenRect();
    EXPECT_EQ(m.Count(), 4);  // hidden items are not shown
    EXPECT_EQ(m.Item(2), repeat);
    EXPECT_THROW(m.Item(4), EListError);
    m.Highlight(2);
    EXPECT_EQ(Application->Hint(), "Repeats the whole track");
    m.Choose(3);  // disabled: nothing
    m.Choose(2);
  });
  menu->Popup(300, 50);
  EXPECT_TRUE(popped);
  EXPECT_EQ(where.Right, 300);  // aligned right of the point
  EXPECT_EQ(where.Top, 50);
  EXPECT_TRUE(clicks.empty());  // the command is posted
  Application->ProcessMessages();
  EXPECT_EQ(clicks, (std::vector<String>{"Full Repeat"}));
  EXPECT_EQ(Application->Hint(), "");  // closing the menu clears the hint

  // Dismissed: nothing runs.
  SetMenuTrackerForTesting([](TMenuTracking& m) { m.Highlight(0); });
  menu->Popup(10, 10);
  Application->ProcessMessages();
  EXPECT_EQ(clicks.size(), 1u);

  // Sub-menus open through their item and hand their choice back.
  TMenuItem* parent = Add(menu->Items(), "Options");
  TMenuItem* child = Add(parent, "Child");
  child->OnClick = [&](TObject*) { clicks.push_back("child"); };
  SetMenuTrackerForTesting([&](TMenuTracking& m) {
    if (m.Menu() == menu->Handle()) {
      EXPECT_EQ(GetSubMenu(m.Menu(), 4), parent->Handle());
      m.Choose(4);
    } else {
      EXPECT_EQ(m.Item(0), child);
      m.Choose(0);
    }
  });
  menu->Popup(10, 10);
  Application->ProcessMessages();
  EXPECT_EQ(clicks.back(), "child");
}

// An owner window that measures and draws the items itself, as an owner-drawn popup
// menu component does.
TEST_F(MenusTest, OwnerDrawnMenusAreMeasuredAndDrawnByTheOwnerWindow) {
  TForm* owner = MakeForm();
  auto* menu = new TPopupMenu(owner);
  menu->SetOwnerDraw(true);
  TMenuItem* a = Add(menu->Items(), "Alpha");
  TMenuItem* sep = Add(menu->Items(), "-");
  TMenuItem* b = Add(menu->Items(), "Beta");
  std::vector<std::string> log;
  owner->SetMessageHandler(WM_MEASUREITEM, [&](TMessage& m) {
    auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
    TMenuItem* item = menu->FindItem(mis->itemID, fkCommand);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(mis->CtlType, ODT_MENU);
    mis->itemData = reinterpret_cast<UINT_PTR>(item);
    mis->itemWidth = 80;
    mis->itemHeight = item->IsLine() ? 9 : 20;
    log.push_back("measure " + item->Caption());
    m.Result = 1;
  });
  TCanvas drawCanvas;
  owner->SetMessageHandler(WM_DRAWITEM, [&](TMessage& m) {
    auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
    TMenuItem* item = menu->FindItem(dis->itemID, fkCommand);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(dis->hwndItem, menu->Handle());
    int saved = SaveDC(dis->hDC);
    drawCanvas.SetHandle(dis->hDC);
    // Drawing is clipped to the item: a fill of a larger area stays inside it.
    IntersectClipRect(dis->hDC, dis->rcItem.left, dis->rcItem.top, dis->rcItem.right,
                      dis->rcItem.bottom);
    drawCanvas.Brush()->SetColor((dis->itemState & ODS_SELECTED) ? clRed : clLime);
    drawCanvas.FillRect({0, 0, 500, 500});
    drawCanvas.SetHandle(nullptr);
    RestoreDC(dis->hDC, saved);
    log.push_back("draw " + item->Caption() + " " + std::to_string(dis->itemAction) + " " +
                  std::to_string(dis->itemState & ODS_SELECTED));
    m.Result = 1;
  });
  std::vector<std::pair<WORD, WORD>> selects;
  owner->SetMessageHandler(WM_MENUSELECT, [&](TMessage& m) {
    selects.push_back({LOWORD(DWORD(m.WParam)), HIWORD(DWORD(m.WParam))});
  });
  UINT chosen = 0;
  owner->SetMessageHandler(WM_COMMAND, [&](TMessage& m) { chosen = LOWORD(DWORD(m.WParam)); });
  SetMenuTrackerForTesting([&](TMenuTracking& m) {
    EXPECT_EQ(log, (std::vector<std::string>{"measure Alpha", "measure -", "measure Beta",
                                             "draw Alpha 1 0", "draw - 1 0", "draw Beta 1 0"}));
    TRect r0 = m.ItemRect(0), r1 = m.ItemRect(1), r2 = m.ItemRect(2);
    EXPECT_EQ(r0.Width(), 80);
    EXPECT_EQ(r0.Height(), 20);
    EXPECT_EQ(r1.Height(), 9);
    EXPECT_EQ(r2.Top, r1.Bottom);
    EXPECT_EQ(m.Pixel(r0.Left + 3, r0.Top + 3), clLime);
    EXPECT_EQ(m.Pixel(1, r0.Top + 3), ColorToRGB(clBtnHighlight));  // the frame
    log.clear();
    m.Highlight(2);
    EXPECT_EQ(log, (std::vector<std::string>{"draw Beta 2 1"}));
    EXPECT_EQ(m.Pixel(r2.Left + 3, r2.Top + 3), clRed);
    EXPECT_EQ(m.Pixel(r0.Left + 3, r0.Top + 3), clLime);
    m.Choose(2);
  });
  EXPECT_EQ(TrackPopupMenu(menu->Handle(), TPM_LEFTALIGN, 20, 20, 0, owner->Handle(), nullptr),
            TRUE);
  Application->ProcessMessages();
  EXPECT_EQ(chosen, b->Command());
  ASSERT_EQ(selects.size(), 2u);
  EXPECT_EQ(selects[0],
            (std::pair<WORD, WORD>(WORD(b->Command()), WORD(MF_HILITE | MF_OWNERDRAW))));
  EXPECT_EQ(selects[1].second, 0xFFFF);
  (void)a;
  (void)sep;

  // With TPM_RETURNCMD the command is the answer and nothing is posted.
  chosen = 0;
  SetMenuTrackerForTesting([](TMenuTracking& m) { m.Choose(0); });
  EXPECT_EQ(UINT(TrackPopupMenu(menu->Handle(), TPM_RETURNCMD, 0, 0, 0, owner->Handle(), nullptr)),
            a->Command());
  Application->ProcessMessages();
  EXPECT_EQ(chosen, 0u);
  // A handle that is no menu shows nothing.
  EXPECT_EQ(TrackPopupMenu(0x7FFF, 0, 0, 0, 0, owner->Handle(), nullptr), FALSE);
}

TEST_F(MenusTest, StandardItemsAreDrawnByTheLibrary) {
  auto* menu = new TPopupMenu(Application);
  TMenuItem* a = Add(menu->Items(), "Plain");
  TMenuItem* b = Add(menu->Items(), "Bold");
  b->SetDefault(true);
  b->SetShortCut(ShortCut('B', {ssCtrl}));
  Add(menu->Items(), "-");
  (void)a;
  SetMenuTrackerForTesting([&](TMenuTracking& m) {
    TRect r0 = m.ItemRect(0), r2 = m.ItemRect(2);
    EXPECT_EQ(r0.Height(), GetSystemMetrics(SM_CYMENU) - 2);
    EXPECT_EQ(r2.Height(), 9);
    EXPECT_EQ(m.Pixel(r0.Right - 2, r0.Top + 2), ColorToRGB(clMenu));
    m.Highlight(0);
    EXPECT_EQ(m.Pixel(r0.Right - 2, r0.Top + 2), ColorToRGB(clHighlight));
    // The separator: a shadow line over a light one.
    int ym = (r2.Top + r2.Bottom) / 2 - 1;
    EXPECT_EQ(m.Pixel(r2.Left + 5, ym), ColorToRGB(clBtnShadow));
    EXPECT_EQ(m.Pixel(r2.Left + 5, ym + 1), ColorToRGB(clBtnHighlight));
  });
  menu->Popup(0, 0);
  EXPECT_EQ(GetMenuCheckMarkDimensions() & 0xFFFF, 13);
}

}  // namespace
