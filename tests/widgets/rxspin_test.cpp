// The spin button, the up-down and the spin edit on a form: their images, the halves and
// the held-button repeat driven through the message loop, range checks, value types,
// typing filters and the placement of the buttons.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "classlib/Dialogs.h"
#include "platform/classlib/GuiFixture.h"
#include "widgets/RXSpin.h"

namespace {

class SpinButtonTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    form = MakeForm();
    button = new TRxSpinButton(form);
    button->SetParent(form);
    button->SetBounds(10, 10, 20, 20);
    button->OnTopClick = [this](TObject*) { clicks.push_back('T'); };
    button->OnBottomClick = [this](TObject*) { clicks.push_back('B'); };
  }
  void Mouse(UINT msg, int x, int y) {
    const bool down = msg == WM_LBUTTONDOWN || msg == WM_MOUSEMOVE;
    SendMouseForTesting(form, msg, 10 + x, 10 + y, down ? TShiftState{ssLeft} : TShiftState{});
  }
  static bool Black(TBitmap* b, int x, int y) { return b->Canvas()->Pixels(x, y) == clBlack; }

  TForm* form = nullptr;
  TRxSpinButton* button = nullptr;
  std::string clicks;
};

TEST_F(SpinButtonTest, ImagesPlaceTheArrowsAndMoveOnlyThePressedUpArrow) {
  EXPECT_EQ(button->Width(), 20);
  // Up arrow: its top row is columns 2 and 3; placed at (3, 3), at (4, 4) when pressed.
  EXPECT_TRUE(Black(button->ImageNone(), 3 + 2, 3));
  EXPECT_FALSE(Black(button->ImageNone(), 3 + 1, 3));
  EXPECT_TRUE(Black(button->ImageTop(), 4 + 2, 4));
  EXPECT_FALSE(Black(button->ImageTop(), 3 + 2, 3));
  // Down arrow: its full-width row is row 3; at (11, 11) whatever is pressed.
  for (TBitmap* b : {button->ImageNone(), button->ImageTop(), button->ImageBottom()}) {
    EXPECT_TRUE(Black(b, 11, 11 + 3));
    EXPECT_TRUE(Black(b, 16, 11 + 3));
  }
  // The faces differ: the pressed half's edges swap light and shadow.
  EXPECT_NE(button->ImageTop()->Canvas()->Pixels(1, 5),
            button->ImageNone()->Canvas()->Pixels(1, 5));

  // A glyph of its own is used, none restores the built-in arrow.
  TBitmap plain;
  plain.SetSize(6, 6);
  plain.Canvas()->Brush()->SetColor(clWhite);
  plain.Canvas()->FillRect(TRect{0, 0, 6, 6});
  button->SetUpGlyph(&plain);
  EXPECT_TRUE(PumpUntil([&] { return !Black(button->ImageNone(), 5, 3); }));
  button->SetUpGlyph(nullptr);
  EXPECT_TRUE(PumpUntil([&] { return Black(button->ImageNone(), 5, 3); }));

  // At the player's 18 x 18 the arrows' boxes reach the diagonal edges; their white
  // pixels paint the face over them.
  button->SetBounds(10, 10, 18, 18);
  button->Repaint();
  const TColor face = ColorToRGB(clBtnFace);
  EXPECT_EQ(button->ImageNone()->Canvas()->Pixels(8, 8), face);
  EXPECT_EQ(button->ImageNone()->Canvas()->Pixels(9, 9), face);
  EXPECT_EQ(button->ImageBottom()->Canvas()->Pixels(9, 9), face);
}

TEST_F(SpinButtonTest, TheDiagonalBelongsToTheUpperHalf) {
  Mouse(WM_LBUTTONDOWN, 10, 10);
  Mouse(WM_LBUTTONUP, 10, 10);
  Mouse(WM_LBUTTONDOWN, 11, 10);
  Mouse(WM_LBUTTONUP, 11, 10);
  Mouse(WM_LBUTTONDOWN, 2, 2);
  Mouse(WM_LBUTTONUP, 2, 2);
  EXPECT_EQ(clicks, "TBT");
  EXPECT_EQ(button->PressedHalf(), spNone);
}

TEST_F(SpinButtonTest, AHeldHalfRepeatsAfter400MsThenEvery100WhileThePointerIsOnIt) {
  Mouse(WM_LBUTTONDOWN, 15, 15);
  EXPECT_EQ(clicks, "B");
  EXPECT_EQ(button->PressedHalf(), spBottom);
  ASSERT_NE(button->AutoRepeatTimer(), nullptr);
  EXPECT_EQ(button->AutoRepeatTimer()->Interval(), 400u);
  ASSERT_TRUE(PumpUntil([&] { return clicks.size() == 2; }));
  EXPECT_EQ(button->AutoRepeatTimer()->Interval(), 100u);
  ASSERT_TRUE(PumpUntil([&] { return clicks.size() == 4; }));

  // Onto the other half: nothing shows pressed and nothing fires.
  Mouse(WM_MOUSEMOVE, 3, 3);
  EXPECT_EQ(button->PressedHalf(), spNone);
  const std::string before = clicks;
  PumpFor(350);
  EXPECT_EQ(clicks, before);
  // Back on the half the press began on: the repeat resumes.
  Mouse(WM_MOUSEMOVE, 16, 16);
  EXPECT_EQ(button->PressedHalf(), spBottom);
  ASSERT_TRUE(PumpUntil([&] { return clicks.size() > before.size(); }));
  EXPECT_EQ(clicks.find('T'), std::string::npos);

  Mouse(WM_LBUTTONUP, 16, 16);
  const std::size_t released = clicks.size();
  PumpFor(350);
  EXPECT_EQ(clicks.size(), released);
  // The next press starts with 400 ms again.
  Mouse(WM_LBUTTONDOWN, 3, 3);
  EXPECT_EQ(button->AutoRepeatTimer()->Interval(), 400u);
  Mouse(WM_LBUTTONUP, 3, 3);
}

TEST_F(SpinButtonTest, ReleaseOutsideKeepsLastPressedAndTheNextPressStartsAfresh) {
  Mouse(WM_LBUTTONDOWN, 3, 3);
  Mouse(WM_LBUTTONUP, 40, 40);
  EXPECT_EQ(button->LastPressed(), spTop);
  EXPECT_EQ(button->PressedHalf(), spNone);
  Mouse(WM_LBUTTONDOWN, 15, 15);
  Mouse(WM_LBUTTONUP, 15, 15);
  EXPECT_EQ(clicks, "TB");
}

TEST_F(SpinButtonTest, AnExceptionFromARepeatedClickStopsTheRepeat) {
  int calls = 0;
  button->OnTopClick = [&](TObject*) {
    if (++calls == 2) throw Exception("step failed");
  };
  Mouse(WM_LBUTTONDOWN, 3, 3);
  ASSERT_TRUE(PumpUntil([&] { return calls == 2; }));
  EXPECT_FALSE(button->AutoRepeatTimer()->Enabled());
  PumpFor(250);
  EXPECT_EQ(calls, 2);
  Mouse(WM_LBUTTONUP, 3, 3);
}

TEST_F(SpinButtonTest, UpDownClicksOncePerStepAndReturnsToTheMiddle) {
  auto* ud = new TRxUpDown(form);
  ud->SetParent(form);
  ud->SetBounds(100, 10, 40, 30);
  EXPECT_EQ(ud->Width(), UpDownWidth());
  EXPECT_EQ(UpDownWidth(), 15);
  std::vector<TUDBtnType> steps;
  ud->OnClick = [&](TObject*, TUDBtnType b) { steps.push_back(b); };
  for (int i = 0; i < 3; ++i) {
    SendMouseForTesting(ud, WM_LBUTTONDOWN, 5, 2, {ssLeft});
    SendMouseForTesting(ud, WM_LBUTTONUP, 5, 2);
  }
  SendMouseForTesting(ud, WM_LBUTTONDOWN, 5, 27, {ssLeft});
  SendMouseForTesting(ud, WM_LBUTTONUP, 5, 27);
  EXPECT_EQ(steps, (std::vector<TUDBtnType>{btNext, btNext, btNext, btPrev}));
  EXPECT_EQ(ud->Position(), 0);
  // Another scroll code raises nothing.
  ud->Perform(CN_VSCROLL, MAKEWPARAM(SB_LINEUP, 1), 0);
  EXPECT_EQ(steps.size(), 4u);
}

class SpinEditTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    form = MakeForm(300, 120);
    edit = Make(10, 10);
    edit->OnChange = [this](TObject*) { ++changes; };
    edit->OnTopClick = [this](TObject* s) {
      EXPECT_EQ(s, edit);
      ++tops;
    };
  }
  TRxSpinEdit* Make(int left, int top) {
    auto* e = new TRxSpinEdit(form);
    e->SetBounds(left, top, 54, 21);
    e->SetParent(form);
    return e;
  }
  // As the player's float spin edit is loaded from its form.
  void MakePitchBend() {
    edit->SetIncrement(0.5);
    edit->SetMaxValue(10);
    edit->SetMinValue(0.5);
    edit->SetValueType(vtFloat);
    edit->SetValue(0.5);
  }
  // A typed character; keys without a letter or digit go as the character alone.
  void Type(char c) {
    const bool alnum = std::isalnum(static_cast<unsigned char>(c));
    SendKeyForTesting(edit, alnum ? Word(std::toupper(static_cast<unsigned char>(c))) : 0, c);
  }

  TForm* form = nullptr;
  TRxSpinEdit* edit = nullptr;
  int changes = 0;
  int tops = 0;
};

TEST_F(SpinEditTest, ANewEditShowsZeroAndHasNoRange) {
  EXPECT_EQ(edit->Text(), "0");
  EXPECT_EQ(edit->Value(), 0);
  edit->SetValue(1000);
  EXPECT_EQ(edit->Text(), "1000");
  edit->SetValue(-1000);
  EXPECT_EQ(edit->Text(), "-1000");
  // Numbers beyond what an integer holds are written without harm, and read back as the
  // minimum, as any text that is no 32-bit integer.
  edit->SetValue(1e30L);
  EXPECT_FALSE(edit->Text().empty());
  EXPECT_EQ(edit->GetIntegerValue(), 0);
}

TEST_F(SpinEditTest, FloatStepsStopAtTheEndButStillReportTheClick) {
  MakePitchBend();
  EXPECT_EQ(edit->Text(), "0.50");
  edit->SetFocus();
  changes = 0;
  SendKeyForTesting(edit, VK_UP, 0);
  EXPECT_EQ(edit->Text(), "1.00");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(tops, 1);
  edit->SetValue(10);
  changes = 0;
  edit->StepUp(nullptr);
  EXPECT_EQ(edit->Text(), "10.00");
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(tops, 2);
  // The length limit is for typing only.
  edit->SetMaxLength(2);
  edit->SetValue(9.5);
  EXPECT_EQ(edit->Text(), "9.50");
}

TEST_F(SpinEditTest, LeavingClampsATypedNumberAndKeepsAnUnreadableText) {
  edit->SetMinValue(2);
  edit->SetMaxValue(60);
  TRxSpinEdit* other = Make(10, 50);
  edit->SetFocus();
  edit->SelectAll();
  Type('9');
  Type('9');
  EXPECT_EQ(edit->Text(), "99");
  changes = 0;
  other->SetFocus();
  PumpUntil([&] { return edit->Text() == "60"; });
  EXPECT_EQ(edit->Text(), "60");
  EXPECT_EQ(changes, 1);

  edit->SetText("-");
  edit->Perform(CM_EXIT, 0, 0);
  EXPECT_EQ(edit->Text(), "-");
  EXPECT_EQ(edit->Value(), 2);
  // Garbage reads as the minimum, whatever the type.
  edit->SetText("abc");
  EXPECT_EQ(edit->Value(), 2);
  edit->SetText("$10");
  EXPECT_EQ(edit->Value(), 2);
  edit->StepUp(nullptr);
  EXPECT_EQ(edit->Text(), "3");
}

TEST_F(SpinEditTest, WritingRoundsHalvesToEvenAndReadingIntegersTruncates) {
  edit->SetValue(2.5);
  EXPECT_EQ(edit->Text(), "2");
  edit->SetValue(3.5);
  EXPECT_EQ(edit->Text(), "4");
  edit->SetValueType(vtFloat);
  edit->SetValue(2.9);
  EXPECT_EQ(edit->Text(), "2.90");
  EXPECT_EQ(edit->GetIntegerValue(), 2);
  edit->SetValue(-2.9);
  EXPECT_EQ(edit->GetIntegerValue(), -2);

  // Type changes read the text under the new type.
  edit->SetValueType(vtInteger);
  edit->SetText("10");
  edit->SetValueType(vtHex);
  EXPECT_EQ(edit->Value(), 16);
  EXPECT_EQ(edit->Text(), "10");
  edit->SetValue(255);
  EXPECT_EQ(edit->Text(), "FF");
  edit->SetText("1A");
  edit->SetValueType(vtInteger);
  EXPECT_EQ(edit->Text(), "0");

  edit->SetValueType(vtFloat);
  edit->SetIncrement(0.5);
  edit->SetValueType(vtInteger);
  EXPECT_EQ(edit->Increment(), 1);
  edit->SetValueType(vtFloat);
  edit->SetIncrement(2.5);
  edit->SetValueType(vtInteger);
  EXPECT_EQ(edit->Increment(), 2);
}

TEST_F(SpinEditTest, TypingIsFilteredByTheValueType) {
  MakePitchBend();
  edit->SetText("1.5");
  edit->SetFocus();
  edit->SelectAll();
  const Cardinal beeps = BeepCountForTesting();
  Type('.');
  EXPECT_EQ(edit->Text(), "1.5");
  EXPECT_EQ(BeepCountForTesting(), beeps + 1);
  edit->SetSelStart(3);
  Type('e');
  Type('E');
  Type('x');
  EXPECT_EQ(edit->Text(), "1.5e");
  EXPECT_EQ(BeepCountForTesting(), beeps + 3);

  edit->SetValueType(vtHex);
  edit->SetText("");
  Type('f');
  Type('G');
  EXPECT_EQ(edit->Text(), "f");
}

TEST_F(SpinEditTest, WithTheEditorOffOnlyTheButtonsAndArrowsChangeTheValue) {
  edit->SetEditorEnabled(false);
  edit->SetText("5");
  edit->SetFocus();
  edit->SetSelStart(1);
  const Cardinal beeps = BeepCountForTesting();
  Type('7');
  SendKeyForTesting(edit, VK_BACK, 8);
  EXPECT_EQ(edit->Text(), "5");
  EXPECT_EQ(BeepCountForTesting(), beeps + 2);
  edit->SelectAll();
  edit->CopyToClipboard();
  edit->SetText("6");
  edit->PasteFromClipboard();
  EXPECT_EQ(edit->Text(), "6");
  SendKeyForTesting(edit, VK_UP, 0);
  EXPECT_EQ(edit->Text(), "7");
  // A read-only edit beeps instead of stepping, and reports no click.
  edit->SetReadOnly(true);
  edit->StepUp(nullptr);
  EXPECT_EQ(edit->Text(), "7");
  EXPECT_EQ(tops, 1);
  EXPECT_EQ(BeepCountForTesting(), beeps + 3);
}

TEST_F(SpinEditTest, TheSpinButtonSitsInsideTheBorderAndNarrowsTheText) {
  TWinControl* holder = edit->ButtonWindow();
  ASSERT_NE(holder, nullptr);
  ASSERT_NE(edit->SpinButton(), nullptr);
  EXPECT_EQ(holder->BoundsRect(), (TRect{32, -1, 50, 17}));
  EXPECT_EQ(edit->SpinButton()->BoundsRect(), (TRect{0, 0, 18, 18}));
  EXPECT_EQ(edit->FormattingRect(), (TRect{0, 0, edit->ClientWidth() - 20, edit->ClientHeight() + 1}));
  EXPECT_TRUE(edit->WindowStyle() & ES_MULTILINE);

  // Held down, the upper half steps the value through the message loop.
  SendMouseForTesting(holder, WM_LBUTTONDOWN, 4, 4, {ssLeft});
  EXPECT_EQ(edit->Text(), "1");
  ASSERT_TRUE(PumpUntil([&] { return edit->Text() == "3"; }));
  SendMouseForTesting(holder, WM_LBUTTONUP, 4, 4);
  EXPECT_EQ(tops, 3);

  // The standard kind: an up-down at the right edge instead.
  edit->SetButtonKind(bkStandard);
  EXPECT_EQ(edit->SpinButton(), nullptr);
  ASSERT_NE(edit->UpDown(), nullptr);
  EXPECT_EQ(edit->UpDown()->Width(), 15);
  EXPECT_EQ(edit->UpDown()->Left(), edit->ClientWidth() - 15);
  EXPECT_EQ(edit->FormattingRect().Right, edit->ClientWidth() - 17);
}

TEST_F(SpinEditTest, AnEditLowerThanItsTextIsMadeHighEnough) {
  edit->SetHeight(8);
  EXPECT_GT(edit->Height(), 8);
  const Integer minimum = edit->Height();
  edit->SetHeight(minimum + 5);
  EXPECT_EQ(edit->Height(), minimum + 5);
}

TEST_F(SpinEditTest, TheWheelReachesItsHandlers) {
  int ups = 0, downs = 0;
  edit->OnMouseWheelUp = [&](TObject*, TShiftState, TPoint, bool& handled) {
    ++ups;
    handled = true;
  };
  edit->OnMouseWheelDown = [&](TObject*, TShiftState, TPoint, bool&) { ++downs; };
  edit->Perform(WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(short(120))), 0);
  edit->Perform(WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(short(-120))), 0);
  EXPECT_EQ(ups, 1);
  EXPECT_EQ(downs, 1);
}

}  // namespace
