#include "widgets/RXSpin.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "classlib/Dialogs.h"
#include "classlib/Forms.h"
#include "classlib/Gdi.h"
#include "classlib/SysUtils.h"

namespace {

// The arrow glyphs of the unit, rows from the top, bit 5 the leftmost column: a black
// arrow on white, 6 by 6. The down arrow is the up arrow upside down.
constexpr std::uint8_t kUpArrow[6] = {0b001100, 0b011110, 0b111111,
                                      0b001100, 0b001100, 0b001100};

// A 1-bit BMP of a 6 by 6 glyph (black 0, white 1), as a resource of the module.
std::vector<std::uint8_t> GlyphBmp(bool Up) {
  constexpr int kRowBytes = 4, kRows = 6, kOffset = 14 + 40 + 8;
  constexpr int kSize = kOffset + kRowBytes * kRows;
  std::vector<std::uint8_t> b(kSize, 0);
  auto put32 = [&](int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, kSize);
  put32(10, kOffset);
  put32(14, 40);
  put32(18, 6);
  put32(22, 6);
  b[26] = 1;  // planes
  b[28] = 1;  // bits per pixel
  put32(34, kRowBytes * kRows);
  put32(46, 2);
  // Palette: black, then white.
  put32(54, 0x000000);
  put32(58, 0xFFFFFF);
  for (int row = 0; row < kRows; ++row) {
    // Rows are stored bottom first; the down arrow is the up arrow's rows reversed.
    const int top = kRows - 1 - row;
    const std::uint8_t black = kUpArrow[Up ? top : kRows - 1 - top];
    const std::uint8_t white = std::uint8_t(~black & 0x3F);
    b[kOffset + row * kRowBytes] = std::uint8_t(white << 2);
  }
  return b;
}

void EnsureGlyphResources() {
  static const std::vector<std::uint8_t> up = GlyphBmp(true);
  static const std::vector<std::uint8_t> down = GlyphBmp(false);
  static bool done = false;
  if (done) return;
  done = true;
  RegisterResourcePicture("RXSPINUP", up.data(), up.size());
  RegisterResourcePicture("RXSPINDOWN", down.data(), down.size());
}

constexpr UINT kRepeatFirstMs = 400;
constexpr UINT kRepeatNextMs = 100;

// The nearest integer, halves to even, held within 64 bits (a number beyond them or no
// number at all must not make the conversion undefined).
Int64 RoundClamped(Extended X) {
  if (std::isnan(X)) return 0;
  constexpr Extended kLimit = 9.2e18L;
  return Round(std::clamp(X, -kLimit, kLimit));
}

}  // namespace

Integer UpDownWidth() {
  return std::min(GetSystemMetrics(SM_CXVSCROLL), 15);
}

// ---------------------------------------------------------------------------------------
// TRxSpinButton

TRxSpinButton::TRxSpinButton(TComponent* AOwner)
    : TGraphicControl(AOwner),
      upGlyph_(std::make_unique<TBitmap>()),
      downGlyph_(std::make_unique<TBitmap>()),
      imageTop_(std::make_unique<TBitmap>()),
      imageBottom_(std::make_unique<TBitmap>()),
      imageNone_(std::make_unique<TBitmap>()) {
  LoadBuiltInGlyph(upGlyph_.get(), true);
  LoadBuiltInGlyph(downGlyph_.get(), false);
  upGlyph_->OnChange = [this](TObject*) { GlyphsChanged(); };
  downGlyph_->OnChange = [this](TObject*) { GlyphsChanged(); };
  SetBounds(Left(), Top(), 20, 20);
  RenderAllImages();
  imagesStale_ = false;
  lastPressed_ = spNone;
}

TRxSpinButton::~TRxSpinButton() {
  if (focusControl_) focusControl_->RemoveFreeNotification(this);
}

void TRxSpinButton::LoadBuiltInGlyph(TBitmap* Glyph, bool Up) {
  EnsureGlyphResources();
  Glyph->LoadFromResourceName(nullptr, Up ? "RXSPINUP" : "RXSPINDOWN");
}

void TRxSpinButton::SetUpGlyph(TBitmap* Value) {
  if (Value)
    upGlyph_->Assign(Value);
  else
    LoadBuiltInGlyph(upGlyph_.get(), true);
  GlyphsChanged();
}

void TRxSpinButton::SetDownGlyph(TBitmap* Value) {
  if (Value)
    downGlyph_->Assign(Value);
  else
    LoadBuiltInGlyph(downGlyph_.get(), false);
  GlyphsChanged();
}

void TRxSpinButton::GlyphsChanged() {
  imagesStale_ = true;
  Invalidate();
}

void TRxSpinButton::SetFocusControl(TWinControl* Value) {
  if (focusControl_ == Value) return;
  if (focusControl_) focusControl_->RemoveFreeNotification(this);
  focusControl_ = Value;
  if (Value) Value->FreeNotification(this);
}

void TRxSpinButton::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == focusControl_) focusControl_ = nullptr;
}

void TRxSpinButton::CMEnabledChanged(TMessage& Message) {
  TGraphicControl::CMEnabledChanged(Message);
  imagesStale_ = true;
  Invalidate();
}

void TRxSpinButton::RenderImage(TBitmap* Image, TSpinPress Half) {
  const Integer w = Width(), h = Height();
  Image->SetSize(w, h);
  TCanvas* c = Image->Canvas();
  c->Pen()->SetWidth(1);
  c->Brush()->SetColor(clBtnFace);
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(TRect{0, 0, w, h});

  auto line = [c](TColor color, std::initializer_list<TPoint> points) {
    c->Pen()->SetColor(color);
    c->Polyline(points);
  };
  c->Pen()->SetColor(clWindowFrame);
  c->Rectangle(0, 0, w, h);
  line(clWindowFrame, {{-1, h}, {w, -1}});
  line(Half == spTop ? clBtnShadow : clBtnHighlight, {{1, h - 4}, {1, 1}, {w - 3, 1}});
  if (Half != spTop) line(clBtnShadow, {{1, h - 3}, {w - 2, 0}});
  line(Half == spBottom ? clBtnHighlight : clBtnShadow, {{2, h - 2}, {w - 2, h - 2}, {w - 2, 1}});
  line(Half == spBottom ? clBtnShadow : clBtnHighlight, {{2, h - 2}, {w - 1, 1}});

  // A glyph's whole box goes on, its transparent colour in the face colour: on a small
  // button the box covers the ends of the edge lines, and the face tidies them away.
  auto glyph = [c](TBitmap* g, Integer x0, Integer y0) {
    const TColor clear = g->TransparentColor(), face = ColorToRGB(clBtnFace);
    TCanvas* gc = g->Canvas();
    for (Integer y = 0; y < g->Height(); ++y)
      for (Integer x = 0; x < g->Width(); ++x) {
        const TColor p = gc->Pixels(x, y);
        c->SetPixels(x0 + x, y0 + y, p == clear ? face : p);
      }
  };
  const Extended gw = upGlyph_->Width(), gh = upGlyph_->Height();
  const Integer d = Half == spTop ? 2 : 1;
  glyph(upGlyph_.get(), Integer(Round(w / 4.0L - gw / 2)) + d, Integer(Round(h / 4.0L - gh / 2)) + d);
  const Extended dw = downGlyph_->Width(), dh = downGlyph_->Height();
  glyph(downGlyph_.get(), Integer(Round(3.0L * w / 4 - dw / 2)) - 1,
        Integer(Round(3.0L * h / 4 - dh / 2)) - 1);
  if (Half == spBottom) line(clBtnShadow, {{3, h - 2}, {w - 1, 2}});
}

void TRxSpinButton::RenderAllImages() {
  RenderImage(imageTop_.get(), spTop);
  RenderImage(imageBottom_.get(), spBottom);
  RenderImage(imageNone_.get(), spNone);
}

void TRxSpinButton::Paint() {
  if (!Enabled()) pointerHeld_ = false;
  if (imageNone_->Height() != Height() || imageNone_->Width() != Width() || imagesStale_)
    RenderAllImages();
  imagesStale_ = false;
  TBitmap* image = pressedHalf_ == spTop      ? imageTop_.get()
                   : pressedHalf_ == spBottom ? imageBottom_.get()
                                              : imageNone_.get();
  Canvas()->Draw(0, 0, image);
}

TSpinPress TRxSpinButton::HalfAt(Integer X, Integer Y) const {
  const double w = Width(), h = Height();
  // Points on the diagonal belong to the upper half.
  return Y > h - (h / w) * X ? spBottom : spTop;
}

bool TRxSpinButton::Inside(Integer X, Integer Y) const {
  return X >= 0 && X <= Width() && Y >= 0 && Y <= Height();
}

void TRxSpinButton::Fire(TSpinPress Half) {
  const TNotifyEvent& event = Half == spBottom ? OnBottomClick : OnTopClick;
  if (!event) return;
  event(this);
  // The handler may have run a message loop in which the button was released.
  if (!ControlState().Contains(csLButtonDown)) pressedHalf_ = spNone;
}

void TRxSpinButton::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  if (focusControl_ && focusControl_->TabStop() && focusControl_->CanFocus() &&
      !focusControl_->Focused())
    focusControl_->SetFocus();
  if (pressedHalf_ == spNone) {
    lastPressed_ = spNone;
    pressedHalf_ = HalfAt(X, Y);
    Fire(pressedHalf_);
    if (pressedHalf_ != lastPressed_) {
      lastPressed_ = pressedHalf_;
      Repaint();
    }
    if (!autoRepeatTimer_) {
      autoRepeatTimer_ = new TTimer(this);
      autoRepeatTimer_->SetEnabled(false);
      autoRepeatTimer_->OnTimer = [this](TObject*) { RepeatTick(); };
    }
    autoRepeatTimer_->SetInterval(kRepeatFirstMs);
    // Enabling an enabled timer would not restart its count.
    autoRepeatTimer_->SetEnabled(false);
    autoRepeatTimer_->SetEnabled(true);
  }
  pointerHeld_ = true;
}

void TRxSpinButton::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  if (!pointerHeld_) return;
  TSpinPress next = pressedHalf_;
  if (Inside(X, Y)) {
    // Only the half the press began on shows pressed, and only while under the pointer.
    const TSpinPress half = HalfAt(X, Y);
    if (pressedHalf_ != half) next = lastPressed_ == half ? half : spNone;
  } else {
    next = spNone;
  }
  if (next != pressedHalf_) {
    pressedHalf_ = next;
    Repaint();
  }
}

void TRxSpinButton::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (!pointerHeld_) return;
  pointerHeld_ = false;
  if (Inside(X, Y)) {
    pressedHalf_ = spNone;
    lastPressed_ = spNone;
    Repaint();
  } else if (pressedHalf_ != spNone) {
    // Released outside without a move out first: the face must not stay pressed, or the
    // next press would find a half pressed and fire nothing.
    pressedHalf_ = spNone;
    Repaint();
  }
}

void TRxSpinButton::RepeatTick() {
  autoRepeatTimer_->SetInterval(kRepeatNextMs);
  if (pressedHalf_ == spNone || !MouseCapture()) return;
  try {
    Fire(pressedHalf_);
  } catch (...) {
    autoRepeatTimer_->SetEnabled(false);
    throw;
  }
}

// ---------------------------------------------------------------------------------------
// TRxUpDown

TRxUpDown::TRxUpDown(TComponent* AOwner) : TCustomUpDown(AOwner) {
  SetOrientation(udVertical);
  SetMin(-1);
  SetMax(1);
  SetPosition(0);
}

TRxUpDown::~TRxUpDown() {
  OnClick = nullptr;
}

void TRxUpDown::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CN_HSCROLL:
    case CN_VSCROLL: {
      if (LOWORD(static_cast<DWORD>(Message.WParam)) != SB_THUMBPOSITION || stepBusy_) return;
      stepBusy_ = true;
      try {
        const Integer pos = static_cast<short>(HIWORD(static_cast<DWORD>(Message.WParam)));
        if (pos > 0)
          Click(btNext);
        else if (pos < 0)
          Click(btPrev);
        if (HandleAllocated()) Perform(UDM_SETPOS, 0, 0);
      } catch (...) {
        stepBusy_ = false;
        throw;
      }
      stepBusy_ = false;
      return;
    }
    case WM_SIZE:
      TCustomUpDown::Dispatch(Message);
      if (Width() != UpDownWidth()) SetWidth(UpDownWidth());
      return;
    default:
      TCustomUpDown::Dispatch(Message);
  }
}

// ---------------------------------------------------------------------------------------
// TRxSpinEdit

TRxSpinEdit::TRxSpinEdit(TComponent* AOwner) : TCustomEdit(AOwner) {
  // The edit does not show its component name.
  TControlStyle style = ControlStyle();
  style.Exclude(csSetCaption);
  SetControlStyle(style);
  SetText("0");
  RebuildButton();
}

TRxSpinEdit::~TRxSpinEdit() {
  changing_ = true;
  destroying_ = true;
  delete button_;
  delete buttonWindow_;
  delete upDown_;
}

Extended TRxSpinEdit::Value() const {
  const String& text = Text();
  switch (valueType_) {
    case vtFloat: {
      Extended v = 0;
      return TryStrToFloat(text, v) ? v : minValue_;
    }
    case vtHex: {
      Integer v = 0;
      return text.find('$') == String::npos && TryStrToInt("$" + text, v) ? v
                                                                         : Int(minValue_);
    }
    default: {
      Integer v = 0;
      // Decimal only: a "$" pasted in does not make the text hexadecimal.
      return text.find('$') == String::npos && TryStrToInt(text, v) ? v : Int(minValue_);
    }
  }
}

Extended TRxSpinEdit::ClampToRange(Extended X) const {
  if (minValue_ == maxValue_) return X;
  if (X < minValue_) return minValue_;
  if (X > maxValue_) return maxValue_;
  return X;
}

void TRxSpinEdit::SetValue(Extended v) {
  const Extended y = ClampToRange(v);
  switch (valueType_) {
    case vtFloat:
      SetText(FloatToStrF(y, ffFixed, 15, decimal_));
      break;
    case vtHex:
      SetText(IntToHex(RoundClamped(y), 1));
      break;
    default:
      SetText(IntToStr(RoundClamped(y)));
  }
}

Integer TRxSpinEdit::GetIntegerValue() const {
  const Extended v = Value();
  if (std::isnan(v)) return 0;
  constexpr Extended lo = std::numeric_limits<Integer>::min();
  constexpr Extended hi = std::numeric_limits<Integer>::max();
  return static_cast<Integer>(Trunc(std::clamp(v, lo, hi)));
}

void TRxSpinEdit::SetDecimal(Byte v) {
  if (v == decimal_) return;
  decimal_ = v;
  SetValue(Value());
}

void TRxSpinEdit::SetValueType(TValueType v) {
  if (v == valueType_) return;
  valueType_ = v;
  SetValue(Value());
  if (v != vtFloat) {
    increment_ = static_cast<Extended>(RoundClamped(increment_));
    if (increment_ == 0) increment_ = 1;
  }
}

void TRxSpinEdit::SetButtonKind(TSpinButtonKind v) {
  const TSpinButtonKind old = buttonKind_;
  buttonKind_ = v;
  if (old == v) return;
  RebuildButton();
  LayoutButton();
  UpdateEditRect();
}

void TRxSpinEdit::Change() {
  if (!changing_) TCustomEdit::Change();
}

void TRxSpinEdit::Step(Extended Delta, const TNotifyEvent& Event) {
  if (ReadOnly()) {
    MessageBeep(0);
    return;
  }
  const String before = Text();
  changing_ = true;
  try {
    SetValue(Value() + Delta);
  } catch (...) {
    changing_ = false;
    throw;
  }
  changing_ = false;
  if (!SameText(Text(), before)) {
    SetModified(true);
    Change();
  }
  if (Event) Event(this);
}

void TRxSpinEdit::StepUp(TObject*) {
  Step(increment_, OnTopClick);
}

void TRxSpinEdit::StepDown(TObject*) {
  Step(-increment_, OnBottomClick);
}

bool TRxSpinEdit::AcceptsKey(char Key) {
  const auto k = static_cast<unsigned char>(Key);
  const String& text = Text();
  bool accepted = Key == '+' || Key == '-' || (Key >= '0' && Key <= '9') || k < 32;
  if (valueType_ == vtFloat) {
    // One decimal separator and one exponent in the whole text, selected or not.
    if (Key == DecimalSeparator && text.find(DecimalSeparator) == String::npos) accepted = true;
    if ((Key == 'E' || Key == 'e') && UpperCase(text).find('E') == String::npos) accepted = true;
  } else if (valueType_ == vtHex) {
    if ((Key >= 'A' && Key <= 'F') || (Key >= 'a' && Key <= 'f')) accepted = true;
  }
  if (!editorEnabled_ && accepted && (k >= 32 || Key == 8)) accepted = false;
  return accepted;
}

void TRxSpinEdit::KeyDown(Word& Key, TShiftState Shift) {
  TCustomEdit::KeyDown(Key, Shift);
  if (!arrowKeys_ || (Key != VK_UP && Key != VK_DOWN)) return;
  if (Key == VK_UP)
    StepUp(this);
  else
    StepDown(this);
  Key = 0;
}

void TRxSpinEdit::KeyPress(char& Key) {
  if (!AcceptsKey(Key)) {
    Key = 0;
    MessageBeep(0);
  }
  if (Key) TCustomEdit::KeyPress(Key);
  if (Key == 13 || Key == 27) {
    // The form's default or cancel button acts on Enter and Escape.
    if (TForm* form = GetParentForm(this))
      form->Perform(CM_DIALOGKEY, WPARAM(static_cast<unsigned char>(Key)), 0);
    if (Key == 13) Key = 0;
  }
}

void TRxSpinEdit::CreateParams(TCreateParams& Params) {
  TCustomEdit::CreateParams(Params);
  // Only a multi-line edit takes a formatting rectangle, which keeps the text off the
  // buttons.
  Params.Style |= ES_MULTILINE | WS_CLIPCHILDREN;
}

void TRxSpinEdit::CreateWnd() {
  TCustomEdit::CreateWnd();
  UpdateEditRect();
}

void TRxSpinEdit::RebuildButton() {
  if (destroying_) return;
  delete button_;
  button_ = nullptr;
  delete buttonWindow_;
  buttonWindow_ = nullptr;
  delete upDown_;
  upDown_ = nullptr;
  if (buttonKind_ == bkStandard) {
    upDown_ = new TRxUpDown(this);
    upDown_->SetVisible(true);
    upDown_->SetBounds(0, 0, UpDownWidth(), Height());
    upDown_->SetAlign(upDown_->BiDiMode() == bdRightToLeft ? alLeft : alRight);
    upDown_->SetParent(this);
    upDown_->OnClick = [this](TObject* Sender, TUDBtnType Button) { UpDownClick(Sender, Button); };
  } else {
    buttonWindow_ = new TWinControl(this);
    buttonWindow_->SetVisible(true);
    buttonWindow_->SetParent(this);
    buttonWindow_->SetBounds(0, 0, Height(), Height());
    button_ = new TRxSpinButton(this);
    button_->SetVisible(true);
    button_->SetParent(buttonWindow_);
    button_->SetFocusControl(this);
    button_->OnTopClick = [this](TObject* Sender) { StepUp(Sender); };
    button_->OnBottomClick = [this](TObject* Sender) { StepDown(Sender); };
    button_->SetBounds(0, 0, buttonWindow_->Width(), buttonWindow_->Height());
  }
}

void TRxSpinEdit::UpDownClick(TObject* Sender, TUDBtnType Button) {
  if (TabStop() && CanFocus()) SetFocus();
  if (Button == btNext)
    StepUp(Sender);
  else
    StepDown(Sender);
}

void TRxSpinEdit::LayoutButton() {
  const Integer w = Width(), h = Height();
  const bool rtl = BiDiMode() == bdRightToLeft;
  if (upDown_) {
    upDown_->SetWidth(UpDownWidth());
    upDown_->SetAlign(rtl ? alLeft : alRight);
    AlignControls();
  }
  if (button_ && buttonWindow_) {
    TRect r;
    if (Ctl3D() && BorderStyle() == bsSingle) {
      // Inside the sunken border.
      r = rtl ? TRect{-1, -1, h - 4, h - 4} : TRect{w - h - 1, -1, w - 4, h - 4};
    } else {
      r = rtl ? TRect{0, 0, h, h} : TRect{w - h, 0, w, h};
    }
    buttonWindow_->SetBoundsRect(r);
    button_->SetBounds(0, 0, buttonWindow_->Width(), buttonWindow_->Height());
  }
}

Integer TRxSpinEdit::ButtonWidth() const {
  if (upDown_) return upDown_->Width();
  if (button_) return button_->Width();
  return UpDownWidth();
}

void TRxSpinEdit::UpdateEditRect() {
  const Integer bw = ButtonWidth();
  RECT r = BiDiMode() == bdRightToLeft
               ? RECT{bw + 1, 0, ClientWidth() - 1, ClientHeight() + 1}
               : RECT{0, 0, ClientWidth() - bw - 2, ClientHeight() + 1};
  Perform(EM_SETRECTNP, 0, LPARAM(&r));
}

void TRxSpinEdit::WheelMessage(TMessage& Message) {
  const short delta = static_cast<short>(HIWORD(static_cast<DWORD>(Message.WParam)));
  const WORD keys = LOWORD(static_cast<DWORD>(Message.WParam));
  TShiftState shift;
  if (keys & MK_SHIFT) shift.Include(ssShift);
  if (keys & MK_CONTROL) shift.Include(ssCtrl);
  if (keys & MK_LBUTTON) shift.Include(ssLeft);
  if (keys & MK_RBUTTON) shift.Include(ssRight);
  if (keys & MK_MBUTTON) shift.Include(ssMiddle);
  const TPoint screen{static_cast<short>(LOWORD(static_cast<DWORD_PTR>(Message.LParam))),
                      static_cast<short>(HIWORD(static_cast<DWORD_PTR>(Message.LParam)))};
  bool handled = false;
  const TMouseWheelUpDownEvent& event = delta > 0 ? OnMouseWheelUp : OnMouseWheelDown;
  if (delta != 0 && event) event(this, shift, ScreenToClient(screen), handled);
  Message.Result = handled ? 1 : 0;
  if (!handled) TCustomEdit::Dispatch(Message);
}

void TRxSpinEdit::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SIZE: {
      TCustomEdit::Dispatch(Message);
      TCanvas measure;
      measure.SetFont(Font());
      const Integer minimum = measure.TextHeight("Wg") + 4 * GetSystemMetrics(SM_CYBORDER) + 1;
      if (Height() < minimum)
        SetHeight(minimum);  // which comes back here as a new WM_SIZE
      else {
        LayoutButton();
        UpdateEditRect();
      }
      return;
    }
    case WM_PASTE:
    case WM_CUT:
      if (editorEnabled_ && !ReadOnly()) TCustomEdit::Dispatch(Message);
      return;
    case CM_ENTER:
      if (AutoSelect() && !ControlState().Contains(csLButtonDown)) SelectAll();
      TCustomEdit::Dispatch(Message);
      return;
    case CM_EXIT: {
      TCustomEdit::Dispatch(Message);
      const Extended v = Value();
      if (ClampToRange(v) != v) SetValue(v);
      return;
    }
    case CM_ENABLEDCHANGED:
      TCustomEdit::Dispatch(Message);
      if (upDown_) {
        upDown_->SetEnabled(Enabled());
        LayoutButton();
      }
      if (button_) button_->SetEnabled(Enabled());
      return;
    case CM_FONTCHANGED:
    case CM_CTL3DCHANGED:
    case CM_BIDIMODECHANGED:
      TCustomEdit::Dispatch(Message);
      LayoutButton();
      UpdateEditRect();
      return;
    case WM_MOUSEWHEEL:
      WheelMessage(Message);
      return;
    default:
      TCustomEdit::Dispatch(Message);
  }
}
