// Numeric edits with step buttons: the diagonal spin button, the up-down that never runs
// into a limit, and the spin edit that places one of them at its right edge. The value
// lives in the edit's text; everything here runs on the GUI thread.
#pragma once

#include <memory>

#include "classlib/ComCtrls.h"
#include "classlib/Controls.h"
#include "classlib/Graphics.h"
#include "classlib/StdCtrls.h"
#include "classlib/Timers.h"

enum TSpinPress : Byte { spNone, spTop, spBottom };

// The standard button width: a vertical scroll bar's, at most 15 pixels.
Integer UpDownWidth();

// A square cut by its diagonal (bottom-left to top-right): the upper-left half steps up,
// the lower-right half down. A held half repeats its click after 400 ms, then every
// 100 ms, while the pointer stays over it. It paints one of three images rendered
// beforehand, so painting and mouse moves never draw lines.
class TRxSpinButton : public TGraphicControl {
 public:
  explicit TRxSpinButton(TComponent* AOwner);
  ~TRxSpinButton() override;

  // The arrows. Setting copies the bitmap given; setting none restores the built-in one.
  TBitmap* UpGlyph() const { return upGlyph_.get(); }
  void SetUpGlyph(TBitmap* Value);
  TBitmap* DownGlyph() const { return downGlyph_.get(); }
  void SetDownGlyph(TBitmap* Value);
  // Focused at a press when it is a tab stop and can take the focus.
  TWinControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(TWinControl* Value);

  TSpinPress PressedHalf() const { return pressedHalf_; }
  TSpinPress LastPressed() const { return lastPressed_; }
  // The repeat timer; none until the first press.
  TTimer* AutoRepeatTimer() const { return autoRepeatTimer_; }
  // The images for nothing, the upper and the lower half pressed.
  TBitmap* ImageNone() const { return imageNone_.get(); }
  TBitmap* ImageTop() const { return imageTop_.get(); }
  TBitmap* ImageBottom() const { return imageBottom_.get(); }

  TNotifyEvent OnTopClick;
  TNotifyEvent OnBottomClick;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void CMEnabledChanged(TMessage& Message) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void GlyphsChanged();
  void RenderImage(TBitmap* Image, TSpinPress Half);
  void RenderAllImages();
  TSpinPress HalfAt(Integer X, Integer Y) const;
  bool Inside(Integer X, Integer Y) const;
  void Fire(TSpinPress Half);
  void RepeatTick();
  void LoadBuiltInGlyph(TBitmap* Glyph, bool Up);

  TSpinPress pressedHalf_ = spNone;
  std::unique_ptr<TBitmap> upGlyph_;
  std::unique_ptr<TBitmap> downGlyph_;
  bool pointerHeld_ = false;
  bool imagesStale_ = false;
  std::unique_ptr<TBitmap> imageTop_;
  std::unique_ptr<TBitmap> imageBottom_;
  TTimer* autoRepeatTimer_ = nullptr;  // owned as a component
  std::unique_ptr<TBitmap> imageNone_;
  TSpinPress lastPressed_ = spNone;
  TWinControl* focusControl_ = nullptr;
};

// An up-down whose every step is one OnClick (btNext up, btPrev down) and whose position
// goes back to the middle at once, so it never stops at a limit. It keeps UpDownWidth.
class TRxUpDown : public TCustomUpDown {
 public:
  explicit TRxUpDown(TComponent* AOwner);
  ~TRxUpDown() override;

 protected:
  void Dispatch(TMessage& Message) override;

 private:
  bool stepBusy_ = false;
};

enum TValueType { vtInteger, vtFloat, vtHex };
enum TSpinButtonKind { bkStandard, bkDiagonal };

// Sender, the keys held, the pointer in client coordinates; Handled stops the default.
using TMouseWheelUpDownEvent =
    std::function<void(TObject* Sender, TShiftState Shift, TPoint MousePos, bool& Handled)>;

// A one-line numeric edit with step buttons. Reading Value parses the text (an unreadable
// text reads as MinValue); writing it clamps to MinValue..MaxValue (no range while they
// are equal) and formats by ValueType. Typed characters are filtered by ValueType; the
// arrow keys, the buttons and the wheel handlers step by Increment.
class TRxSpinEdit : public TCustomEdit {
 public:
  explicit TRxSpinEdit(TComponent* AOwner);
  ~TRxSpinEdit() override;

  TAlignment Alignment() const { return EditAlignment(); }
  void SetAlignment(TAlignment v) { SetEditAlignment(v); }
  bool ArrowKeys() const { return arrowKeys_; }
  void SetArrowKeys(bool v) { arrowKeys_ = v; }
  TSpinButtonKind ButtonKind() const { return buttonKind_; }
  void SetButtonKind(TSpinButtonKind v);
  Byte Decimal() const { return decimal_; }
  void SetDecimal(Byte v);
  bool EditorEnabled() const { return editorEnabled_; }
  void SetEditorEnabled(bool v) { editorEnabled_ = v; }
  Extended Increment() const { return increment_; }
  void SetIncrement(Extended v) { increment_ = v; }
  Extended MaxValue() const { return maxValue_; }
  void SetMaxValue(Extended v) { maxValue_ = v; }
  Extended MinValue() const { return minValue_; }
  void SetMinValue(Extended v) { minValue_ = v; }
  TValueType ValueType() const { return valueType_; }
  void SetValueType(TValueType v);
  Extended Value() const;
  void SetValue(Extended v);
  // Value truncated toward zero (2.9 gives 2, -2.9 gives -2), held within 32 bits.
  Integer GetIntegerValue() const;

  virtual bool AcceptsKey(char Key);
  virtual void StepUp(TObject* Sender);
  virtual void StepDown(TObject* Sender);

  // The buttons, whichever exists (the other is null).
  TRxSpinButton* SpinButton() const { return button_; }
  TWinControl* ButtonWindow() const { return buttonWindow_; }
  TRxUpDown* UpDown() const { return upDown_; }

  TNotifyEvent OnTopClick;
  TNotifyEvent OnBottomClick;
  TMouseWheelUpDownEvent OnMouseWheelUp;
  TMouseWheelUpDownEvent OnMouseWheelDown;

 protected:
  void Change() override;
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void Dispatch(TMessage& Message) override;
  void KeyDown(Word& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;

 private:
  Extended ClampToRange(Extended X) const;
  void Step(Extended Delta, const TNotifyEvent& Event);
  void RebuildButton();
  void LayoutButton();
  void UpdateEditRect();
  Integer ButtonWidth() const;
  void UpDownClick(TObject* Sender, TUDBtnType Button);
  void WheelMessage(TMessage& Message);

  bool arrowKeys_ = true;
  TSpinButtonKind buttonKind_ = bkDiagonal;
  Byte decimal_ = 2;
  bool editorEnabled_ = true;
  Extended increment_ = 1;
  Extended maxValue_ = 0;
  Extended minValue_ = 0;
  TValueType valueType_ = vtInteger;
  bool changing_ = false;
  bool destroying_ = false;
  TRxSpinButton* button_ = nullptr;
  TWinControl* buttonWindow_ = nullptr;
  TRxUpDown* upDown_ = nullptr;
};
