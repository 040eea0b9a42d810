// Check boxes, radio groups, track bar, up-down, the edit's clipboard messages and
// formatting rectangle, list box, combo and drive boxes, hints.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GuiFixture.h"
#include "classlib/ComCtrls.h"
#include "classlib/FileCtrl.h"
#include "classlib/StdCtrls.h"

namespace {

using StdControlsTest = GuiTest;

TEST_F(StdControlsTest, RadioButtonsAreGroupedByTheirParent) {
  TForm* f = MakeForm(300, 200);
  auto* box1 = new TGroupBox(f);
  box1->SetParent(f);
  auto* box2 = new TGroupBox(f);
  box2->SetParent(f);
  box2->SetLeft(190);
  std::vector<std::string> clicks;
  auto radio = [&](TWinControl* parent, const char* name, int top) {
    auto* r = new TRadioButton(f);
    r->SetParent(parent);
    r->SetBounds(5, top, 100, 17);
    r->SetCaption(name);
    r->OnClick = [&clicks, name](TObject*) { clicks.push_back(name); };
    return r;
  };
  TRadioButton* a = radio(box1, "a", 20);
  TRadioButton* b = radio(box1, "b", 40);
  TRadioButton* c = radio(box2, "c", 20);
  a->SetChecked(true);
  c->SetChecked(true);
  // A click checks for good and unchecks the others of the same parent only.
  SendMouseForTesting(b, WM_LBUTTONDOWN, 5, 8);
  SendMouseForTesting(b, WM_LBUTTONUP, 5, 8);
  EXPECT_TRUE(b->Checked());
  EXPECT_FALSE(a->Checked());
  EXPECT_TRUE(c->Checked());
  // A click on the checked button changes nothing and runs nothing.
  SendMouseForTesting(b, WM_LBUTTONDOWN, 5, 8);
  SendMouseForTesting(b, WM_LBUTTONUP, 5, 8);
  EXPECT_TRUE(b->Checked());
  // Unchecking runs nothing; a right button checks nothing.
  b->SetChecked(false);
  SendMouseForTesting(a, WM_RBUTTONDOWN, 5, 8);
  SendMouseForTesting(a, WM_RBUTTONUP, 5, 8);
  EXPECT_FALSE(a->Checked());
  EXPECT_EQ(clicks, (std::vector<std::string>{"a", "c", "b"}));
}

TEST_F(StdControlsTest, CheckBoxesRunOnClickWhenTheirStateChanges) {
  TForm* f = MakeForm();
  auto* chk = new TCheckBox(f);
  chk->SetParent(f);
  int clicks = 0;
  chk->OnClick = [&](TObject*) { ++clicks; };
  chk->SetChecked(true);
  chk->SetChecked(true);
  EXPECT_EQ(clicks, 1);
  SendMouseForTesting(chk, WM_LBUTTONDOWN, 5, 8);
  SendMouseForTesting(chk, WM_LBUTTONUP, 5, 8);
  EXPECT_FALSE(chk->Checked());
  EXPECT_EQ(clicks, 2);
  chk->SetAllowGrayed(true);
  chk->SetChecked(true);
  SendMouseForTesting(chk, WM_LBUTTONDOWN, 5, 8);
  SendMouseForTesting(chk, WM_LBUTTONUP, 5, 8);
  EXPECT_EQ(chk->State(), cbGrayed);
}

TEST_F(StdControlsTest, TrackBarClampsEveryPositionAndReportsChanges) {
  TForm* f = MakeForm(300, 100);
  auto* tb = new TTrackBar(f);
  tb->SetParent(f);
  tb->SetBounds(0, 0, 200, 40);
  std::vector<Integer> seen;
  tb->OnChange = [&](TObject*) { seen.push_back(tb->Position()); };
  tb->SetMax(600);
  tb->SetMin(40);  // pulls the position in
  tb->SetPosition(120);
  tb->SetPosition(120);
  tb->SetPosition(60000 / 50);  // a tap tempo beyond the range
  tb->SetPosition(-5);
  EXPECT_EQ(seen, (std::vector<Integer>{40, 120, 600, 40}));
  tb->SetMax(30);  // below Min: both meet
  EXPECT_EQ(tb->Min(), 30);
  EXPECT_EQ(tb->Position(), 30);
  // Keys step by LineSize and stop at the ends.
  tb->SetMax(100);
  tb->SetFocus();
  SendKeyForTesting(tb, VK_RIGHT, 0);
  EXPECT_EQ(tb->Position(), 31);
  SendKeyForTesting(tb, VK_END, 0);
  SendKeyForTesting(tb, VK_RIGHT, 0);
  EXPECT_EQ(tb->Position(), 100);
}

TEST_F(StdControlsTest, UpDownReportsTheDirectionThroughItsParent) {
  TForm* f = MakeForm();
  auto* ud = new TUpDown(f);
  ud->SetParent(f);
  ud->SetBounds(10, 10, 15, 24);
  ud->SetMin(40);
  ud->SetMax(42);
  ud->SetPosition(41);
  std::vector<std::pair<TUDBtnType, Integer>> clicks;
  ud->OnClick = [&](TObject*, TUDBtnType b) { clicks.push_back({b, ud->Position()}); };
  auto press = [&](bool up) {
    SendMouseForTesting(ud, WM_LBUTTONDOWN, 7, up ? 3 : 20);
    SendMouseForTesting(ud, WM_LBUTTONUP, 7, up ? 3 : 20);
  };
  press(true);
  press(true);  // at Max: no change, no click
  press(false);
  press(false);
  press(false);
  EXPECT_EQ(clicks, (std::vector<std::pair<TUDBtnType, Integer>>{
                        {btNext, 42}, {btPrev, 41}, {btPrev, 40}}));
  ud->SetWrap(true);
  press(false);
  EXPECT_EQ(ud->Position(), 42);
  EXPECT_EQ(clicks.back().first, btNext);  // wrapped round: the position went up

  // A class can take the scroll notices itself and put the position back to the middle.
  struct Stepper : TUpDown {
    using TUpDown::TUpDown;
    std::vector<std::string> log;
    void Dispatch(TMessage& m) override {
      if (m.Msg == CN_VSCROLL) {
        WORD code = LOWORD(DWORD(m.WParam));
        short pos = short(HIWORD(DWORD(m.WParam)));
        log.push_back(std::to_string(code) + ":" + std::to_string(pos));
        if (code == SB_THUMBPOSITION) Perform(UDM_SETPOS, 0, 0);
        return;
      }
      TUpDown::Dispatch(m);
    }
  };
  auto* s = new Stepper(f);
  s->SetParent(f);
  s->SetBounds(50, 10, 15, 24);
  s->SetMin(-1);
  s->SetMax(1);
  SendMouseForTesting(s, WM_LBUTTONDOWN, 7, 3);
  SendMouseForTesting(s, WM_LBUTTONUP, 7, 3);
  SendMouseForTesting(s, WM_LBUTTONDOWN, 7, 20);
  SendMouseForTesting(s, WM_LBUTTONUP, 7, 20);
  EXPECT_EQ(s->log, (std::vector<std::string>{"4:1", "8:0", "4:-1", "8:0"}));
  EXPECT_EQ(s->Position(), 0);
}

TEST_F(StdControlsTest, EditClipboardMessagesCanBeRefused) {
  TForm* f = MakeForm(300, 100);
  auto* from = new TEdit(f);
  from->SetParent(f);
  from->SetText("128");
  from->SelectAll();
  from->CopyToClipboard();
  auto* to = new TEdit(f);
  to->SetParent(f);
  to->SetTop(30);
  to->SetText("");
  to->SetFocus();
  SendKeyForTesting(to, 'V', 0, {ssCtrl});
  EXPECT_EQ(to->Text(), "128");
  to->SetReadOnly(true);
  to->PasteFromClipboard();
  EXPECT_EQ(to->Text(), "128");

  struct Refusing : TEdit {
    using TEdit::TEdit;
    int refused = 0;
    void Dispatch(TMessage& m) override {
      if (m.Msg == WM_PASTE || m.Msg == WM_CUT) {
        ++refused;
        return;
      }
      TEdit::Dispatch(m);
    }
  };
  auto* g = new Refusing(f);
  g->SetParent(f);
  g->SetTop(60);
  g->SetText("7");
  g->SetFocus();
  g->SelectAll();
  SendKeyForTesting(g, 'V', 0, {ssCtrl});
  SendKeyForTesting(g, 'X', 0, {ssCtrl});
  EXPECT_EQ(g->Text(), "7");
  EXPECT_EQ(g->refused, 2);

  // The length limit holds for typing and pasting, not for the program's text.
  auto* spin = new TEdit(f);
  spin->SetParent(f);
  spin->SetMaxLength(2);
  spin->SetText("0.50");
  EXPECT_EQ(spin->Text(), "0.50");
  spin->SetText("1");
  spin->SetFocus();
  spin->SetSelStart(1);
  SendKeyForTesting(spin, '2', '2');
  SendKeyForTesting(spin, '3', '3');
  EXPECT_EQ(spin->Text(), "12");
  spin->SetText("");
  spin->PasteFromClipboard();
  EXPECT_EQ(spin->Text(), "12");  // "128" cut to the limit
}

TEST_F(StdControlsTest, TheFormattingRectangleNeedsAMultiLineStyle) {
  TForm* f = MakeForm(300, 100);
  struct Spin : TEdit {
    using TEdit::TEdit;
    bool multi = true;
    void CreateParams(TCreateParams& p) override {
      TEdit::CreateParams(p);
      if (multi) p.Style |= ES_MULTILINE | WS_CLIPCHILDREN;
    }
    void SetRect(const TRect& r) {
      RECT rc{r.Left, r.Top, r.Right, r.Bottom};
      Perform(EM_SETRECTNP, 0, LPARAM(&rc));
    }
    void Realign(TAlignment a) { SetEditAlignment(a); }
  };
  auto* e = new Spin(f);
  e->SetBounds(0, 0, 54, 21);
  e->SetParent(f);
  EXPECT_TRUE(e->WindowStyle() & ES_MULTILINE);
  EXPECT_EQ(e->FormattingRect(), e->ClientRect());
  e->SetRect({0, 0, 54 - 20, 22});
  EXPECT_EQ(e->FormattingRect(), Rect(0, 0, 34, 22));
  RECT got{};
  e->Perform(EM_GETRECT, 0, LPARAM(&got));
  EXPECT_EQ(got.right, 34);
  // Alignment is a style: changing it makes the window again.
  e->Realign(taRightJustify);
  EXPECT_EQ(e->WindowStyle() & (ES_RIGHT | ES_CENTER), ES_RIGHT);

  auto* plain = new Spin(f);
  plain->multi = false;
  plain->SetParent(f);
  plain->SetRect({0, 0, 10, 10});
  EXPECT_EQ(plain->FormattingRect(), plain->ClientRect());
}

TEST_F(StdControlsTest, ListBoxDrawsFixedRowsThroughOnDrawItem) {
  TForm* f = MakeForm(200, 100);
  auto* lst = new TListBox(f);
  lst->SetParent(f);
  lst->SetBounds(0, 0, 100, 60);
  lst->SetColor(clBlack);
  lst->SetStyle(lbOwnerDrawFixed);
  lst->SetItemHeight(14);
  for (int i = 1; i <= 6; ++i) lst->Items()->Add("Piste " + std::to_string(i));
  std::vector<Integer> drawn;
  lst->OnDrawItem = [&](TWinControl* c, Integer i, TRect r, TOwnerDrawState s) {
    drawn.push_back(i);
    TCanvas* cv = static_cast<TListBox*>(c)->Canvas();
    EXPECT_EQ(r.Height(), 14);
    EXPECT_EQ(cv->Brush()->Color(), s.Contains(odSelected) ? clHighlight : clBlack);
    cv->FillRect(r);
  };
  lst->SetItemIndex(1);
  lst->Repaint();
  EXPECT_EQ(drawn, (std::vector<Integer>{0, 1, 2, 3, 4}));  // 60 pixels show five rows
  EXPECT_EQ(SurfacePixelForTesting(lst, 50, 20), ColorToRGB(clHighlight));
  int dbl = 0;
  lst->OnDblClick = [&](TObject*) { dbl = lst->ItemIndex(); };
  SendMouseForTesting(lst, WM_LBUTTONDOWN, 10, 30);
  SendMouseForTesting(lst, WM_LBUTTONUP, 10, 30);
  SendMouseForTesting(lst, WM_LBUTTONDBLCLK, 10, 30);
  SendMouseForTesting(lst, WM_LBUTTONUP, 10, 30);
  EXPECT_EQ(dbl, 2);
  EXPECT_THROW(lst->Items()->Strings(6), EListError);
  lst->SetItemIndex(9);
  EXPECT_EQ(lst->ItemIndex(), -1);
  lst->Items()->Clear();
  EXPECT_EQ(lst->ItemIndex(), -1);
}

TEST_F(StdControlsTest, ComboAndDriveBoxes) {
  TForm* f = MakeForm(200, 100);
  auto* combo = new TComboBox(f);
  combo->SetParent(f);
  combo->SetStyle(csDropDownList);
  for (const char* s : {"Upper spot 1", "Medium spot 1", "Lower spot 1"}) combo->Items()->Add(s);
  int changes = 0;
  combo->OnChange = [&](TObject*) { ++changes; };
  EXPECT_EQ(combo->ItemIndex(), -1);
  combo->SetItemIndex(2);
  EXPECT_EQ(combo->Text(), "Lower spot 1");
  combo->SetItemIndex(5);
  EXPECT_EQ(combo->ItemIndex(), -1);
  combo->Chosen(1);  // as the user picks it
  EXPECT_EQ(combo->Text(), "Medium spot 1");
  EXPECT_EQ(changes, 1);

  auto* drives = new TDriveComboBox(f);
  drives->SetParent(f);
  drives->SetTextCase(tcUpperCase);
  std::vector<String> items;
  for (Integer i = 0; i < drives->Items()->Count(); ++i)
    items.push_back(drives->Items()->Strings(i));
  EXPECT_NE(std::find(items.begin(), items.end(), "C:"), items.end());
  EXPECT_NE(std::find(items.begin(), items.end(), "Z:"), items.end());
  std::vector<std::string> log;
  drives->OnChange = [&](TObject*) { log.push_back(std::string("change ") + drives->Drive()); };
  drives->OnClick = [&](TObject*) { log.push_back("click " + drives->Text()); };
  drives->SetDrive('c');
  drives->SetDrive('z');
  drives->SetDrive('q');  // not mapped: nothing
  Integer c = Integer(std::find(items.begin(), items.end(), "C:") - items.begin());
  drives->Chosen(c);
  EXPECT_EQ(drives->Drive(), 'C');
  EXPECT_EQ(log.back(), "click C:");
  EXPECT_EQ(std::count(log.begin(), log.end(), "change Z"), 1);
}

TEST_F(StdControlsTest, MemoLinesFollowTheText) {
  TForm* f = MakeForm(200, 100);
  auto* memo = new TMemo(f);
  memo->SetParent(f);
  memo->SetReadOnly(true);
  memo->SetScrollBars(ssVertical);
  memo->Lines()->Add("Kaz Pro");
  memo->Lines()->Add("Beam FX");
  EXPECT_EQ(memo->Text(), "Kaz Pro\r\nBeam FX\r\n");
  memo->Lines()->Delete(0);
  EXPECT_EQ(memo->Lines()->Count(), 1);
  EXPECT_THROW(memo->Lines()->Strings(1), EListError);
  memo->TextChangedByEdit("a\nb\nc");
  EXPECT_EQ(memo->Lines()->Count(), 3);
  EXPECT_EQ(memo->Lines()->Strings(2), "c");
}

TEST_F(StdControlsTest, HintsShowTheShortPartOfControlsThatShowHints) {
  TForm* f = MakeForm();
  auto* e = new TEdit(f);
  e->SetParent(f);
  e->SetHint("Tap|Click here when you hear a boom");
  EXPECT_EQ(e->TipAt({1, 1}), "");
  e->SetShowHint(true);
  EXPECT_EQ(e->TipAt({1, 1}), "Tap");
  EXPECT_EQ(GetLongHint(e->Hint()), "Click here when you hear a boom");
  // Children that follow their parent show hints when it does.
  auto* g = new TGroupBox(f);
  g->SetParent(f);
  auto* chk = new TCheckBox(f);
  chk->SetParent(g);
  chk->SetHint("Power");
  EXPECT_EQ(chk->TipAt({1, 1}), "");
  g->SetShowHint(true);
  EXPECT_EQ(chk->TipAt({1, 1}), "Power");
}

}  // namespace
