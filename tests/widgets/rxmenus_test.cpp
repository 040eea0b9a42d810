// The owner-drawn popup menu, read back pixel by pixel from the shown popup: frames of the
// selected item, check marks and bullets, bold default items, embossed disabled items,
// separators, the left margin column, shortcuts lining up, the pressed look without check
// marks; the shared owner window, the hint and cursor while items are highlighted, typed
// letters and F1, alignment and the tracked button, and captions empty or very long.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "classlib/Gdi.h"
#include "platform/classlib/GuiFixture.h"
#include "widgets/RxMenus.h"

void RegisterSkinPictures();

namespace {

const TColor kMenu = ColorToRGB(clMenu);
const TColor kText = ColorToRGB(clMenuText);
const TColor kLight = ColorToRGB(clBtnHighlight);
const TColor kShadow = ColorToRGB(clBtnShadow);

class RxMenuTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    menu = new TRxPopupMenu(Application);
    menu->SetStyle(msBtnRaised);
  }
  TMenuItem* Add(TMenuItem* parent, const String& caption) {
    auto* i = new TMenuItem(Application);
    i->SetCaption(caption);
    parent->Add(i);
    return i;
  }
  // Pops the menu up and hands the shown popup to `look`.
  void Show(const std::function<void(TMenuTracking&)>& look, int x = 100) {
    bool seen = false;
    SetMenuTrackerForTesting([&](TMenuTracking& m) {
      seen = true;
      look(m);
    });
    menu->Popup(x, 100);
    SetMenuTrackerForTesting([](TMenuTracking&) {});
    ASSERT_TRUE(seen);
  }
  // Pixels of colour `color` inside r.
  static std::set<std::pair<int, int>> PixelsOf(TMenuTracking& m, const TRect& r, TColor color) {
    std::set<std::pair<int, int>> out;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x)
        if (m.Pixel(x, y) == color) out.insert({x, y});
    return out;
  }
  static int LeftmostOf(TMenuTracking& m, const TRect& r, TColor color) {
    for (int x = r.Left; x < r.Right; ++x)
      for (int y = r.Top; y < r.Bottom; ++y)
        if (m.Pixel(x, y) == color) return x;
    return -1;
  }

  TRxPopupMenu* menu = nullptr;
};

TEST_F(RxMenuTest, RaisedAndLoweredFramesOfTheSelectedItem) {
  Add(menu->Items(), "Sound Line");
  Add(menu->Items(), "Beat Line");
  EXPECT_TRUE(menu->OwnerDraw());
  for (TRxMenuStyle style : {msBtnRaised, msBtnLowered}) {
    menu->SetStyle(style);
    const TColor tl = style == msBtnRaised ? kLight : kShadow;
    const TColor br = style == msBtnRaised ? kShadow : kLight;
    Show([&](TMenuTracking& m) {
      const TRect r = m.ItemRect(1);
      const int textBefore = LeftmostOf(m, r, kText);
      // Unselected: no frame, the menu colour to the edges.
      EXPECT_EQ(m.Pixel(r.Left + 1, r.Top), kMenu);
      EXPECT_EQ(m.Pixel(r.Right - 1, r.Bottom - 1), kMenu);
      m.Highlight(1);
      // A top-level item is drawn one pixel in from its left edge; the frame's top and
      // left edges end one short of the far corners, which belong to the other colour.
      const int l = r.Left + 1;
      for (int x = l; x < r.Right - 1; ++x) ASSERT_EQ(m.Pixel(x, r.Top), tl) << x;
      for (int y = r.Top; y < r.Bottom - 1; ++y) ASSERT_EQ(m.Pixel(l, y), tl) << y;
      for (int y = r.Top; y < r.Bottom; ++y) ASSERT_EQ(m.Pixel(r.Right - 1, y), br) << y;
      for (int x = l; x < r.Right; ++x) ASSERT_EQ(m.Pixel(x, r.Bottom - 1), br) << x;
      EXPECT_EQ(m.Pixel(r.Left, r.Top), kMenu);
      // Inside: still the menu colours, the caption one pixel further right.
      EXPECT_EQ(m.Pixel(l + 1, r.Top + 1), kMenu);
      EXPECT_TRUE(PixelsOf(m, r, ColorToRGB(clHighlight)).empty());
      EXPECT_EQ(LeftmostOf(m, r, kText), textBefore + 1);
    });
  }
}

TEST_F(RxMenuTest, OwnerDrawStyleUsesTheHighlightBar) {
  menu->SetStyle(msOwnerDraw);
  Add(menu->Items(), "Sound Line");
  Show([&](TMenuTracking& m) {
    m.Highlight(0);
    const TRect r = m.ItemRect(0);
    EXPECT_EQ(m.Pixel(r.Left + 1, r.Top), ColorToRGB(clHighlight));
    EXPECT_FALSE(PixelsOf(m, r, ColorToRGB(clHighlightText)).empty());
  });
  menu->SetStyle(msStandard);
  EXPECT_FALSE(menu->OwnerDraw());
}

// The platform's check glyph as the menu copies it: black in the text colour, white in
// the menu colour.
std::vector<TColor> Glyph(UINT kind) {
  TBitmap b;
  int w = LOWORD(GetMenuCheckMarkDimensions()), h = HIWORD(GetMenuCheckMarkDimensions());
  b.SetSize(w, h);
  RECT rc{0, 0, w, h};
  DrawFrameControl(b.Canvas()->Handle(), &rc, DFC_MENU, kind);
  std::vector<TColor> out;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      out.push_back((b.Canvas()->Pixels(x, y) & 0xFFFFFF) == 0 ? kText : kMenu);
  return out;
}

TEST_F(RxMenuTest, CheckMarksAndRadioBullets) {
  TMenuItem* check = Add(menu->Items(), "Sound Line");
  TMenuItem* radio = Add(menu->Items(), "Method 1");
  check->SetChecked(true);
  radio->SetRadioItem(true);
  radio->SetChecked(true);
  const int cw = LOWORD(GetMenuCheckMarkDimensions()), ch = HIWORD(GetMenuCheckMarkDimensions());
  ASSERT_EQ(cw, 13);
  // Check gap: 13 x 0.3 rounds to 4; X = 2 x 4 + 13; the glyph at (X - 13) div 2 = 4.
  auto glyphAt = [&](TMenuTracking& m, int i) {
    TRect r = m.ItemRect(i);
    int gx = r.Left + 1 + 4, gy = (r.Top + r.Bottom - ch) / 2;
    std::vector<TColor> out;
    for (int y = 0; y < ch; ++y)
      for (int x = 0; x < cw; ++x) out.push_back(m.Pixel(gx + x, gy + y));
    return out;
  };
  Show([&](TMenuTracking& m) {
    EXPECT_EQ(glyphAt(m, 0), Glyph(DFCS_MENUCHECK));
    EXPECT_EQ(glyphAt(m, 1), Glyph(DFCS_MENUBULLET));
  });
  // Without check marks the column is gone.
  menu->SetShowCheckMarks(false);
  Show([&](TMenuTracking& m) { EXPECT_NE(glyphAt(m, 0), Glyph(DFCS_MENUCHECK)); });
  // Without check marks and without frames, a checked item shows pressed: a sunken box of
  // light and menu pixels in turn, the check mark in it.
  menu->SetStyle(msOwnerDraw);
  menu->SetMinTextOffset(16);
  radio->SetChecked(false);
  Show([&](TMenuTracking& m) {
    TRect r = m.ItemRect(0);
    int bx = r.Left + 1 + 4 - 1, top = r.Top + 1;  // the box: one pixel left of the gap
    EXPECT_EQ(m.Pixel(bx, top + 3), kShadow);
    EXPECT_EQ(m.Pixel(bx + 4, top), kShadow);
    EXPECT_EQ(m.Pixel(bx + 17, top + 3), kLight);
    std::set<TColor> inside = {m.Pixel(bx + 2, top + 1), m.Pixel(bx + 3, top + 1)};
    EXPECT_EQ(inside, (std::set<TColor>{kMenu, kLight}));
    EXPECT_FALSE(PixelsOf(m, Bounds(bx + 1, top + 1, 16, r.Bottom - r.Top - 4), kText).empty());
    // An item that is not checked has no box.
    TRect r2 = m.ItemRect(1);
    EXPECT_EQ(m.Pixel(bx, r2.Top + 4), kMenu);
  });
}

TEST_F(RxMenuTest, DefaultItemsBoldDisabledItemsEmbossedSeparators) {
  Add(menu->Items(), "Beat Line");
  TMenuItem* bold = Add(menu->Items(), "Beat Line");
  bold->SetDefault(true);
  Add(menu->Items(), "-");
  TMenuItem* off = Add(menu->Items(), "Check for update");
  off->SetEnabled(false);
  std::vector<int> widths;
  menu->OnMeasureItem = [&](TMenu*, TMenuItem*, Integer& w, Integer&) { widths.push_back(w); };
  Show([&](TMenuTracking& m) {
    ASSERT_EQ(widths.size(), 4u);
    EXPECT_GT(widths[1], widths[0]);
    EXPECT_GT(PixelsOf(m, m.ItemRect(1), kText).size(), PixelsOf(m, m.ItemRect(0), kText).size());

    // The separator: max(half the text height of "-", 9) high; shadow over highlight.
    TRect s = m.ItemRect(2);
    EXPECT_EQ(s.Height(), 9);
    int ym = (s.Top + s.Bottom) / 2 - 1;
    for (int x = s.Left + 1; x < s.Right; ++x) {
      ASSERT_EQ(m.Pixel(x, ym), kShadow) << x;
      ASSERT_EQ(m.Pixel(x, ym + 1), kLight) << x;
    }
    EXPECT_EQ(m.Pixel(s.Left + 1, ym - 1), kMenu);

    // Disabled: shadow text over a highlight copy one pixel right and down; no text colour.
    TRect d = m.ItemRect(3);
    auto shade = PixelsOf(m, d, kShadow);
    auto light = PixelsOf(m, d, kLight);
    EXPECT_TRUE(PixelsOf(m, d, kText).empty());
    ASSERT_FALSE(shade.empty());
    ASSERT_FALSE(light.empty());
    for (auto [x, y] : shade)
      EXPECT_TRUE(shade.count({x + 1, y + 1}) || light.count({x + 1, y + 1})) << x << "," << y;
  });
}

TEST_F(RxMenuTest, TopLevelItemsAreOnePixelWiderAndMarginIsDrawn) {
  Add(menu->Items(), "Sound Line");
  menu->OnMeasureItem = [](TMenu*, TMenuItem*, Integer& w, Integer&) { w = 100; };
  Show([&](TMenuTracking& m) { EXPECT_EQ(m.ItemRect(0).Width(), 101); });

  menu->SetLeftMargin(20);
  Show([&](TMenuTracking& m) {
    TRect r = m.ItemRect(0);
    EXPECT_EQ(r.Width(), 121);
    // The band's top row in the start colour, the two lines at its right end.
    EXPECT_EQ(m.Pixel(r.Left + 2, r.Top), ColorToRGB(MarginBaseColor));
    EXPECT_EQ(m.Pixel(18, r.Top + 1), kShadow);
    EXPECT_EQ(m.Pixel(19, r.Top + 1), kLight);
    EXPECT_EQ(m.Pixel(21, r.Top), kMenu);
  });
}

TEST_F(RxMenuTest, ShortcutsLineUpAcrossTheLevel) {
  TMenuItem* a = Add(menu->Items(), "A");
  TMenuItem* b = Add(menu->Items(), "Much longer caption");
  a->SetShortCut(ShortCut('L', {ssCtrl}));
  b->SetShortCut(ShortCut('L', {ssCtrl}));
  // The shortcut starts after the widest caption: the first ink after a wide gap.
  auto shortcutX = [](TMenuTracking& m, int i) {
    TRect r = m.ItemRect(i);
    int gap = 0, lastInk = -1;
    for (int x = r.Left; x < r.Right; ++x) {
      bool ink = false;
      for (int y = r.Top; y < r.Bottom; ++y) ink = ink || m.Pixel(x, y) == kText;
      if (ink) {
        if (lastInk >= 0 && gap > 12) return x;
        lastInk = x;
        gap = 0;
      } else {
        ++gap;
      }
    }
    return -1;
  };
  Show([&](TMenuTracking& m) {
    int xa = shortcutX(m, 0), xb = shortcutX(m, 1);
    EXPECT_GT(xa, 0);
    EXPECT_EQ(xa, xb);
  });
}

TEST_F(RxMenuTest, EmptyAndVeryLongCaptions) {
  Add(menu->Items(), "");
  Add(menu->Items(), String(5000, 'W'));
  Add(menu->Items(), "&&");
  Show([&](TMenuTracking& m) {
    EXPECT_EQ(m.Count(), 3);
    EXPECT_TRUE(PixelsOf(m, m.ItemRect(0), kText).empty());
    EXPECT_GT(m.ItemRect(1).Width(), 20000);
    EXPECT_EQ(m.ItemRect(0).Width(), m.ItemRect(1).Width());
    m.Highlight(1);
    m.Highlight(0);
  });
}

TEST_F(RxMenuTest, CommandsHintsCursorAndTheSharedWindow) {
  RegisterSkinPictures();
  TMenuItem* item = Add(menu->Items(), "Method 1");
  item->SetHint("By default");
  int clicks = 0;
  item->OnClick = [&](TObject*) { ++clicks; };
  menu->SetCursor(crHandPoint);
  TBitmap pic;
  pic.SetSize(8, 8);
  Screen->SetCursors(crHandPoint, CreateCursorFromBitmap(&pic, 1, 1));
  Show([&](TMenuTracking& m) {
    m.Highlight(0);
    EXPECT_EQ(Application->Hint(), "By default");
    EXPECT_EQ(GetCursor(), Screen->Cursors(crHandPoint));
    m.Choose(0);
  });
  EXPECT_EQ(menu->LastPopupAt(), Point(100, 100));
  ASSERT_TRUE(PumpUntil([&] { return clicks == 1; }));

  HWND owner = RxPopupOwnerWindow();
  ASSERT_NE(owner, HWND(0));
  // Without MF_HILITE the default cursor comes back; an unknown item clears the hint.
  SendMessageA(owner, WM_MENUSELECT, MAKEWPARAM(WORD(item->Command()), 0), 0);
  EXPECT_EQ(GetCursor(), Screen->Cursors(crDefault));
  SendMessageA(owner, WM_MENUSELECT, MAKEWPARAM(0xFFF0, MF_HILITE), 0);
  EXPECT_EQ(Application->Hint(), "");

  // A draw request for an item that is no menu's own is left alone.
  DRAWITEMSTRUCT dis;
  dis.CtlType = ODT_MENU;
  dis.itemID = 0xFFF0;
  EXPECT_EQ(SendMessageA(owner, WM_DRAWITEM, 0, LPARAM(&dis)), 0);

  delete menu;
  menu = nullptr;
  EXPECT_FALSE(IsWindow(owner));
  EXPECT_EQ(RxPopupOwnerWindow(), HWND(0));
  menu = new TRxPopupMenu(Application);
  EXPECT_NE(RxPopupOwnerWindow(), HWND(0));
  EXPECT_NE(RxPopupOwnerWindow(), owner);
}

TEST_F(RxMenuTest, AlignmentTrackButtonLettersAndHelp) {
  TMenuItem* sound = Add(menu->Items(), "&Sound Line");
  TMenuItem* m1 = Add(menu->Items(), "&Method 1");
  Add(menu->Items(), "&Mute");
  int clicks = 0;
  sound->OnClick = [&](TObject*) { ++clicks; };
  m1->SetHint("By default");
  sound->SetHelpContext(42);
  // The level graph's options: the menu's right edge at the point; the loop menu also
  // tracks the left button only.
  menu->SetAlignment(paRight);
  menu->SetTrackButton(tbLeftButton);
  Show(
      [&](TMenuTracking& m) {
        EXPECT_EQ(m.ScreenRect().Right, 300);
        m.Release(0, mbRight);
        m.Release(0, mbLeft);
      },
      300);
  ASSERT_TRUE(PumpUntil([&] { return clicks == 1; }));
  menu->SetTrackButton(tbRightButton);
  Show([&](TMenuTracking& m) { m.Release(0, mbRight); });
  ASSERT_TRUE(PumpUntil([&] { return clicks == 2; }));

  // The entries are drawn by the menu, so the owner window is asked for the letters: one
  // entry with it is chosen, of two the first is highlighted, none is ignored.
  Show([&](TMenuTracking& m) { m.Press(0, 's'); });
  ASSERT_TRUE(PumpUntil([&] { return clicks == 3; }));
  Show([&](TMenuTracking& m) {
    m.Press(0, 'M');
    EXPECT_EQ(Application->Hint(), "By default");
    m.Press(0, 'x');
  });
  PumpFor(20);
  EXPECT_EQ(clicks, 3);

  // F1 asks for the highlighted item's topic; a form with the help icon shows it beside
  // the pointer.
  TForm* form = MakeForm();
  form->SetBorderIcons({biSystemMenu, biHelp});
  form->SetFocus();
  ASSERT_TRUE(PumpUntil([&] { return form->Active(); }));
  std::vector<std::pair<Word, NativeInt>> asked;
  Application->OnHelp = [&](Word command, NativeInt data, bool&) {
    asked.push_back({command, data});
    return true;
  };
  Show([&](TMenuTracking& m) {
    m.Highlight(0);
    m.Press(VK_F1, 0);
  });
  Application->OnHelp = nullptr;
  EXPECT_EQ(asked, (std::vector<std::pair<Word, NativeInt>>{{HELP_CONTEXTPOPUP, 42}}));
}

TEST_F(RxMenuTest, ImageListDrivesOwnerDrawingAndItsRemovalIsHeard) {
  menu->SetStyle(msStandard);
  EXPECT_FALSE(menu->OwnerDraw());
  auto* list = new TImageList(Application);
  menu->SetImages(list);
  EXPECT_FALSE(menu->OwnerDraw());  // empty list
  TBitmap img;
  img.SetSize(16, 16);
  list->Add(&img, nullptr);
  EXPECT_TRUE(menu->OwnerDraw());
  delete list;
  EXPECT_EQ(menu->Images(), nullptr);
  EXPECT_FALSE(menu->OwnerDraw());
}

TEST_F(RxMenuTest, ErrorsInClickHandlersAreReportedAndTheMenuStaysUsable) {
  TMenuItem* item = Add(menu->Items(), "Boom");
  int clicks = 0;
  item->OnClick = [&](TObject*) {
    ++clicks;
    throw Exception("boom");
  };
  for (int i = 0; i < 2; ++i) {
    Show([&](TMenuTracking& m) { m.Choose(0); });
    ASSERT_TRUE(PumpUntil([&] { return clicks == i + 1; }));
  }
  const auto booms = [&] {
    std::vector<String> boxes = BoxTexts();
    return std::count(boxes.begin(), boxes.end(), String("boom"));
  };
  PumpUntil([&] { return booms() == 2; });
  EXPECT_EQ(booms(), 2);
}

}  // namespace
