#include "widgets/RXSlider.h"

#include <cmath>
#include <cstring>

#include "classlib/Forms.h"
#include "classlib/SysUtils.h"
#include "widgets/LittleEndian.h"
#include "widgets/MaxMin.h"
#include "widgets/RXConst.h"
#include "widgets/RxGraph.h"

namespace {

constexpr UINT kWmGetDlgCode = 0x0087;
constexpr LRESULT kDlgcWantArrows = 0x0001;
constexpr UINT_PTR kRepeatTimer = 1;
constexpr UINT kRepeatMs = 400;
// The track keeps this much room between the inner rectangle and the ruler.
constexpr Integer kMargin = 6;

const char* const kDefaultImages[4] = {"W95_HTB", "W95_HRL", "W95_VTB", "W95_VRL"};

// The processor's default rounding: halves go to the even neighbour.
Integer Nearest(double V) {
  return static_cast<Integer>(std::nearbyint(V));
}

// A bitmap as the bytes of a 24-bit BMP file, bottom row first.
std::vector<Byte> BmpBytes(TBitmap* B) {
  Integer w = B->Width(), h = B->Height();
  Integer stride = BytesPerScanline(w, 24);
  std::uint32_t data = std::uint32_t(stride) * std::uint32_t(h);
  std::vector<Byte> out(54, 0);  // file and picture headers; what is left out is 0
  out[0] = 'B', out[1] = 'M';
  PutLittleEndian(out, 2, 54 + data, 4);
  PutLittleEndian(out, 10, 54, 4);
  PutLittleEndian(out, 14, 40, 4);
  PutLittleEndian(out, 18, std::uint32_t(w), 4);
  PutLittleEndian(out, 22, std::uint32_t(h), 4);
  PutLittleEndian(out, 26, 1, 2);
  PutLittleEndian(out, 28, 24, 2);
  PutLittleEndian(out, 34, data, 4);
  for (Integer y = h - 1; y >= 0; --y) {
    std::size_t row = out.size();
    for (Integer x = 0; x < w; ++x) {
      TColor c = B->Canvas()->Pixels(x, y);
      out.push_back(Byte(c >> 16)), out.push_back(Byte(c >> 8)), out.push_back(Byte(c));
    }
    out.resize(row + std::size_t(stride), 0);
  }
  return out;
}

}  // namespace

TRxCustomSlider::TRxCustomSlider(TComponent* AOwner) : TCustomControl(AOwner) {
  controlStyle_ = {csAcceptsControls, csCaptureMouse, csClickEvents, csOpaque, csDoubleClicks};
  SetBounds(Left(), Top(), 150, 40);
  SetTabStop(true);
  ruler_ = std::make_unique<TBitmap>();
  for (Integer i = 0; i < 4; ++i) AssignImage(i, nullptr);
  constructing_ = false;
  UpdateLayout();
}

TRxCustomSlider::~TRxCustomSlider() {
  OnChange = nullptr;
  OnChanged = nullptr;
  OnDrawPoints = nullptr;
  if (timerActive_ && HandleAllocated()) KillTimer(Handle(), kRepeatTimer);
  ruler_.reset();
  for (auto& image : images_) {
    if (image) image->OnChange = nullptr;
    image.reset();
  }
}

bool TRxCustomSlider::Reading() const {
  return ComponentState().Contains(csReading);
}

// ---------------------------------------------------------------------------------------
// Properties.

void TRxCustomSlider::SetBevelStyle(TBevelCut Value) {
  if (Value == bevelStyle_) return;
  bevelStyle_ = Value;
  UpdateLayout();
  AlignControls();
  Repaint();
}

void TRxCustomSlider::AlignControls(TRect& Rect) {
  Rect = InsideBevel(Rect);
  TCustomControl::AlignControls(Rect);
}

void TRxCustomSlider::SetIncrement(Integer Value) {
  if (!Reading() && (Value > maxValue_ - minValue_ || Value < 1))
    throw Exception("Value must be between %d and %d", 1, maxValue_ - minValue_);
  if (Value > 0 && Value != increment_) {
    increment_ = Value;
    SetValue(value_);
    Invalidate();
  }
}

void TRxCustomSlider::SetRange(Integer Min, Integer Max) {
  if (!Reading() && Max <= Min) return;
  minValue_ = Min;
  maxValue_ = Max;
  if (!Reading() && maxValue_ < minValue_ + increment_) increment_ = maxValue_ - minValue_;
  if (options_.Contains(soShowPoints)) Invalidate();
  SetValue(value_);
  RangeUpdated();
}

void TRxCustomSlider::SetMinValue(Integer Value) {
  if (Value != minValue_) SetRange(Value, maxValue_);
}

void TRxCustomSlider::SetMaxValue(Integer Value) {
  if (Value != maxValue_) SetRange(minValue_, Value);
}

void TRxCustomSlider::SetNumThumbStates(TNumThumbStates Value) {
  if (Value < 1 || Value > 2 || Value == numThumbStates_) return;
  numThumbStates_ = Value;
  UpdateLayout();
}

void TRxCustomSlider::SetOrientation(TSliderOrientation Value) {
  if (Value == orientation_) return;
  orientation_ = Value;
  UpdateLayout();
  TComponentState st = ComponentState();
  if (!st.Contains(csLoading) && !st.Contains(csUpdating))
    SetBounds(Left(), Top(), Height(), Width());
}

void TRxCustomSlider::SetEdgeSize(Integer Value) {
  TBitmap* source = RulerImage();
  Integer length = orientation_ == soHorizontal ? source->Width() : source->Height();
  // A negative edge would make the ruler read outside its image.
  if (Value < 0 || 2 * Value >= length || Value == edgeSize_) return;
  edgeSize_ = Value;
  UpdateLayout();
}

void TRxCustomSlider::SetOptions(TSliderOptions Value) {
  if (Value == options_) return;
  options_ = Value;
  Invalidate();
}

void TRxCustomSlider::SetValue(Integer Value) {
  if (Value > maxValue_) Value = maxValue_;
  if (Value < minValue_) Value = minValue_;
  Integer old = value_;
  value_ = Value;
  MoveThumbTo(ValueToOffset(Value));
  if (Value != old) Change();
}

void TRxCustomSlider::ImageChanged(TObject*) {
  if (!constructing_) UpdateLayout();
}

void TRxCustomSlider::AssignImage(Integer Index, TBitmap* Bitmap) {
  if (Index < 0 || Index > 3) throw ERangeError("Slider image index %d out of range", Index);
  auto& image = images_[Index];
  if (!image) {
    image = std::make_unique<TBitmap>();
    image->OnChange = [this](TObject* Sender) { ImageChanged(Sender); };
  }
  const Byte bit = Byte(1u << Index);
  if (Bitmap) {
    if (Bitmap != image.get()) image->Assign(Bitmap);
    userImages_ |= bit;
    // Assigning an image to itself (after loading) must still rebuild the layout.
    if (Bitmap == image.get()) ImageChanged(image.get());
  } else {
    image->LoadFromResourceName(0, kDefaultImages[Index]);
    userImages_ &= Byte(~bit);
    if (!Reading()) {
      TSliderOptions o = options_;
      o.Exclude(Index == siHThumb || Index == siVThumb ? soThumbOpaque : soRulerOpaque);
      options_ = o;
      Invalidate();
    }
  }
}

TBitmap* TRxCustomSlider::ImageAt(Integer Index) {
  if (Index < 0 || Index > 3) throw ERangeError("Slider image index %d out of range", Index);
  return images_[Index].get();
}

bool TRxCustomSlider::IsUserImage(Integer Index) const {
  return Index >= 0 && Index < 4 && ((userImages_ >> Index) & 1);
}

// ---------------------------------------------------------------------------------------
// The stored images.

std::vector<Byte> TRxCustomSlider::WriteImages() const {
  std::vector<Byte> out;
  PutLittleEndian(out, out.size(), 1, 4);
  out.push_back(userImages_);
  for (Integer i = 0; i < 4; ++i) {
    if (!IsUserImage(i)) continue;
    std::vector<Byte> bmp = BmpBytes(images_[i].get());
    PutLittleEndian(out, out.size(), std::uint32_t(bmp.size()), 4);
    out.insert(out.end(), bmp.begin(), bmp.end());
  }
  return out;
}

void TRxCustomSlider::ReadImages(const Byte* Data, std::size_t Size) {
  // Everything is checked and decoded before anything changes, so a bad set leaves the
  // slider as it was.
  std::size_t at = 0;
  auto take = [&](std::size_t n, const char* what) {
    if (Size - at < n)
      throw EInvalidGraphic(String("Slider image set is truncated (") + what + ")");
    const Byte* p = Data + at;
    at += n;
    return p;
  };
  if (!Data) Size = 0;
  std::uint32_t setLength = GetLittleEndian(take(4, "UserImages"), 4);
  if (setLength != 1)
    throw EInvalidGraphic(Format("UserImages must be one byte, not %d", Integer(setLength)));
  Byte set = *take(1, "UserImages");
  if (set & 0xF0) throw EInvalidGraphic(Format("UserImages value %d is not valid", Integer(set)));
  std::unique_ptr<TBitmap> read[4];
  for (Integer i = 0; i < 4; ++i) {
    if (!((set >> i) & 1)) continue;
    std::uint32_t n = GetLittleEndian(take(4, kDefaultImages[i]), 4);
    const Byte* bytes = take(n, kDefaultImages[i]);
    read[i] = std::make_unique<TBitmap>();
    read[i]->LoadFromBytes(bytes, n, Format("slider image %d", i));
    if (read[i]->Empty()) throw EInvalidGraphic(Format("Slider image %d is empty", i));
  }
  if (at != Size) throw EInvalidGraphic("Slider image set has bytes past its end");

  SetComponentStateFlag(csReading, true);
  try {
    for (Integer i = 0; i < 4; ++i) AssignImage(i, read[i].get());
  } catch (...) {
    SetComponentStateFlag(csReading, false);
    throw;
  }
  SetComponentStateFlag(csReading, false);
  userImages_ = set;
  Loaded();
}

void TRxCustomSlider::Loaded() {
  TCustomControl::Loaded();
  for (Integer i = 0; i < 4; ++i)
    if (IsUserImage(i)) AssignImage(i, images_[i].get());
}

// ---------------------------------------------------------------------------------------
// Geometry.

TBitmap* TRxCustomSlider::ThumbImage() const {
  return images_[orientation_ == soHorizontal ? siHThumb : siVThumb].get();
}

TBitmap* TRxCustomSlider::RulerImage() const {
  return images_[orientation_ == soHorizontal ? siHRuler : siVRuler].get();
}

void TRxCustomSlider::GetInnerRect(TRect& Rect) {
  Rect = InsideBevel({0, 0, Width(), Height()});
}

TRect TRxCustomSlider::InsideBevel(TRect R) const {
  if (bevelStyle_ == bvNone) return R;
  return {R.Left + bevelWidth_, R.Top + bevelWidth_, R.Right - bevelWidth_, R.Bottom - bevelWidth_};
}

Integer TRxCustomSlider::ThumbWidth() {
  return ThumbImage()->Width() / numThumbStates_;
}

Integer TRxCustomSlider::ThumbHeight() {
  return ThumbImage()->Height();
}

Integer TRxCustomSlider::TrackStart() {
  TRect r;
  GetInnerRect(r);
  return (orientation_ == soHorizontal ? r.Left : r.Top) + kMargin;
}

Integer TRxCustomSlider::TravelLength() {
  // A ruler shorter than the thumb leaves no travel; the thumb stays at the track start.
  Integer l = orientation_ == soHorizontal ? ruler_->Width() - ThumbWidth()
                                           : ruler_->Height() - ThumbHeight();
  return ::Max(l, 0);
}

void TRxCustomSlider::BuildRuler(const TRect& R) {
  const bool horizontal = orientation_ == soHorizontal;
  TBitmap* source = RulerImage();
  // A vertical control too short for the margins gets an empty ruler, as a horizontal
  // one does.
  Integer lr = ::Max((horizontal ? WidthOf(R) : HeightOf(R)) - 2 * kMargin, 0);
  Integer thick = horizontal ? source->Height() : source->Width();
  auto ruler = std::make_unique<TBitmap>();
  if (horizontal)
    ruler->SetSize(lr, thick);
  else
    ruler->SetSize(thick, lr);
  Integer s = horizontal ? source->Width() : source->Height();
  Integer e = edgeSize_;
  Integer m = s - 2 * e;
  if (lr > 0 && thick > 0 && s > 0) {
    TCanvas* dst = ruler->Canvas();
    // Pixels no piece covers take the source's transparent colour, so they do not show.
    dst->Brush()->SetColor(source->Canvas()->Pixels(0, source->Height() - 1));
    dst->FillRect(Rect(0, 0, ruler->Width(), ruler->Height()));
    dst->SetCopyMode(cmSrcCopy);
    auto copy = [&](Integer d0, Integer s0, Integer length) {
      if (length <= 0) return;
      if (horizontal)
        dst->CopyRect(Rect(d0, 0, d0 + length, thick), source->Canvas(),
                      Rect(s0, 0, s0 + length, thick));
      else
        dst->CopyRect(Rect(0, d0, thick, d0 + length), source->Canvas(),
                      Rect(0, s0, thick, s0 + length));
    };
    if (m <= 0) {
      // An image no longer than its two edges has no middle to repeat: its start shows.
      copy(0, 0, s);
    } else {
      Integer a = lr - 2 * e;
      Integer n = a / m;
      Integer rem = a - n * m;
      if (n >= 0) {
        copy(0, 0, s - e);
        for (Integer i = 1; i < n; ++i) copy(e + i * m, e, m);
        if (n > 0) copy(e + n * m, e + m - rem, e + rem);
      }
    }
  }
  ruler_ = std::move(ruler);
}

void TRxCustomSlider::UpdateLayout() {
  Integer v = value_;
  TRect r;
  GetInnerRect(r);
  BuildRuler(r);
  Integer tw = ThumbWidth(), th = ThumbHeight();
  Integer rw = ruler_->Width(), rh = ruler_->Height();
  TPoint thumb;
  if (orientation_ == soHorizontal) {
    if (th > rh) {
      thumb = {r.Left + kMargin, r.Top + kMargin};
      rulerOrigin_ = {r.Left + kMargin, r.Top + kMargin + (th - rh) / 2};
      pointsLine_ = r.Top + th + 7;
    } else {
      thumb = {r.Left + kMargin, r.Top + kMargin + (rh - th) / 2};
      rulerOrigin_ = {r.Left + kMargin, r.Top + kMargin};
      pointsLine_ = r.Top + rh + 7;
    }
  } else {
    if (tw > rw) {
      thumb = {r.Left + kMargin, r.Top + kMargin};
      rulerOrigin_ = {r.Left + kMargin + (tw - rw) / 2, r.Top + kMargin};
      pointsLine_ = r.Left + tw + 7;
    } else {
      thumb = {r.Left + kMargin + (rw - tw) / 2, r.Top + kMargin};
      rulerOrigin_ = {r.Left + kMargin, r.Top + kMargin};
      pointsLine_ = r.Left + rw + 7;
    }
  }
  thumbRect_ = Bounds(thumb.x, thumb.y, tw, th);
  SetValue(v);
  Invalidate();
}

Integer TRxCustomSlider::ValueToOffset(Integer V) {
  Integer s0 = TrackStart(), l = TravelLength();
  Integer d = maxValue_ - minValue_;
  Integer k = d == 0 ? 0 : Nearest(double(l) * double(V - minValue_) / double(d));
  Integer p = s0 + k;
  if (orientation_ == soVertical) {
    TRect r;
    GetInnerRect(r);
    p = r.Top + r.Bottom - p - ThumbHeight();
  }
  return ::Max(p, s0);
}

Integer TRxCustomSlider::OffsetToValue(Integer P) {
  if (orientation_ == soVertical) {
    TRect r;
    GetInnerRect(r);
    P = r.Top + r.Bottom - P - ThumbHeight();
  }
  Integer l = TravelLength();
  Integer d = maxValue_ - minValue_;
  Integer k = l == 0 ? 0 : Nearest(double(P - TrackStart()) * double(d) / double(l));
  if (!options_.Contains(soSmooth) && increment_ > 0)
    k = Nearest(double(k) / double(increment_)) * increment_;
  return ::Min(::Max(k, 0) + minValue_, maxValue_);
}

TPoint TRxCustomSlider::SnapThumbOffset(Integer P) {
  Integer s0 = TrackStart(), l = TravelLength();
  Integer q = ::Min(::Max(P, s0), s0 + l);
  P = ::Min(ValueToOffset(OffsetToValue(q)), s0 + l);
  return orientation_ == soHorizontal ? TPoint{P, thumbRect_.Top} : TPoint{thumbRect_.Left, P};
}

void TRxCustomSlider::InvalidateThumb() {
  InvalidateRect(thumbRect_);
}

void TRxCustomSlider::MoveThumbTo(Integer P) {
  Integer old = value_;
  TPoint at = SnapThumbOffset(P);
  InvalidateThumb();
  thumbRect_ = Bounds(at.x, at.y, WidthOf(thumbRect_), HeightOf(thumbRect_));
  InvalidateThumb();
  if (dragging_) {
    value_ = OffsetToValue(orientation_ == soHorizontal ? at.x : at.y);
    if (value_ != old) Change();
  }
}

// ---------------------------------------------------------------------------------------
// Stepping, keyboard and mouse.

void TRxCustomSlider::StepValue(TThumbStep Step) {
  Integer v;
  switch (Step) {
    case TThumbStep::tsToMin:
      v = minValue_;
      break;
    case TThumbStep::tsToMax:
      v = maxValue_;
      break;
    case TThumbStep::tsForward:
    case TThumbStep::tsBackward: {
      Integer base = Nearest(double(value_) / double(increment_)) * increment_;
      v = Step == TThumbStep::tsForward ? base + increment_ : base - increment_;
      break;
    }
    default:
      return;
  }
  if (v >= maxValue_) v = maxValue_;
  if (v <= minValue_) v = minValue_;
  if (v != value_) SetValue(v);
}

TThumbStep TRxCustomSlider::StepDirectionAt(Integer X, Integer Y) {
  if (orientation_ == soHorizontal) {
    if (X < thumbRect_.Left) return TThumbStep::tsBackward;
    if (X > thumbRect_.Right) return TThumbStep::tsForward;
  } else {
    if (Y < thumbRect_.Top) return TThumbStep::tsForward;
    if (Y > thumbRect_.Bottom) return TThumbStep::tsBackward;
  }
  return TThumbStep::tsNone;
}

void TRxCustomSlider::KeyDown(Word& Key, TShiftState Shift) {
  const bool plain = !Shift.Contains(ssShift) && !Shift.Contains(ssAlt) &&
                     !Shift.Contains(ssCtrl) && !Shift.Contains(ssLeft) &&
                     !Shift.Contains(ssRight) && !Shift.Contains(ssMiddle);
  TThumbStep step = TThumbStep::tsNone;
  if (plain) {
    const bool h = orientation_ == soHorizontal;
    switch (Key) {
      case VK_HOME:
        step = TThumbStep::tsToMin;
        break;
      case VK_END:
        step = TThumbStep::tsToMax;
        break;
      case VK_LEFT:
        if (h) step = TThumbStep::tsBackward;
        break;
      case VK_RIGHT:
        if (h) step = TThumbStep::tsForward;
        break;
      case VK_UP:
        if (!h) step = TThumbStep::tsForward;
        break;
      case VK_DOWN:
        if (!h) step = TThumbStep::tsBackward;
        break;
      default:
        break;
    }
  }
  if (step != TThumbStep::tsNone && CanChangeValue()) {
    Key = 0;
    StepValue(step);
    Changed();
  }
  TCustomControl::KeyDown(Key, Shift);
}

void TRxCustomSlider::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || Shift.Contains(ssDouble)) return;
  if (CanFocus()) SetFocus();
  if (PtInRectInclusive(thumbRect_, {X, Y})) {
    BeginThumbDrag(Button, Shift, X, Y);
    return;
  }
  TRect area = Bounds(rulerOrigin_.x, rulerOrigin_.y, ruler_->Width(), ruler_->Height());
  if (orientation_ == soHorizontal)
    area.Top -= 3, area.Bottom += 3;
  else
    area.Left -= 3, area.Right += 3;
  if (PtInRectInclusive(area, {X, Y}) && CanChangeValue()) {
    SetMouseCapture(true);
    tracking_ = true;
    mousePos_ = {X, Y};
    startDirection_ = StepDirectionAt(X, Y);
    RepeatStep();
  }
}

void TRxCustomSlider::RepeatStep() {
  if (StepDirectionAt(mousePos_.x, mousePos_.y) != startDirection_) return;
  StepValue(startDirection_);
  if (!timerActive_) {
    SetTimer(Handle(), kRepeatTimer, kRepeatMs, nullptr);
    timerActive_ = true;
  }
}

void TRxCustomSlider::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (Shift.Contains(ssLeft) && dragging_)
    DragThumb(Shift, X, Y);
  else if (tracking_)
    mousePos_ = {X, Y};
  TCustomControl::MouseMove(Shift, X, Y);
}

void TRxCustomSlider::EndRulerTracking() {
  if (!tracking_) return;
  if (timerActive_) {
    KillTimer(Handle(), kRepeatTimer);
    timerActive_ = false;
  }
  tracking_ = false;
  SetMouseCapture(false);
  Changed();
}

void TRxCustomSlider::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  EndRulerTracking();
  if (dragging_) EndThumbDrag(Button, Shift, X, Y);
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TRxCustomSlider::BeginThumbDrag(TMouseButton Button, TShiftState, Integer X, Integer Y) {
  if (CanFocus()) SetFocus();
  if (Button != mbLeft || !CanChangeValue()) return;
  dragging_ = thumbPressed_ = true;
  grabOffset_ = orientation_ == soHorizontal ? X - thumbRect_.Left : Y - thumbRect_.Top;
  InvalidateThumb();
  Update();
}

void TRxCustomSlider::DragThumb(TShiftState Shift, Integer X, Integer Y) {
  if (Shift.Contains(ssLeft) && CanChangeValue())
    MoveThumbTo((orientation_ == soHorizontal ? X : Y) - grabOffset_);
}

void TRxCustomSlider::EndThumbDrag(TMouseButton Button, TShiftState, Integer, Integer) {
  if (Button != mbLeft) return;
  dragging_ = thumbPressed_ = false;
  InvalidateThumb();
  Update();
  if (CanChangeValue()) Changed();
}

void TRxCustomSlider::Change() {
  if (OnChange) OnChange(this);
}

void TRxCustomSlider::Changed() {
  if (OnChanged) OnChanged(this);
}

// ---------------------------------------------------------------------------------------
// Messages.

void TRxCustomSlider::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_TIMER:
      if (Message.WParam == kRepeatTimer) RepeatStep();
      return;
    case kWmGetDlgCode:
      Message.Result = kDlgcWantArrows;
      return;
    case WM_SETCURSOR:
      if (!ComponentState().Contains(csDesigning)) {
        TPoint p = ScreenToClient(Mouse->CursorPos());
        if (PtInRect(thumbRect_, p)) {
          ::SetCursor(Screen->Cursors(crHand));
          Message.Result = 1;
          return;
        }
      }
      TCustomControl::Dispatch(Message);
      return;
    case CM_FOCUSCHANGED: {
      bool now = reinterpret_cast<TControl*>(Message.LParam) == this;
      if (now != focused_) {
        focused_ = now;
        if (options_.Contains(soShowFocus)) Invalidate();
      }
      TCustomControl::Dispatch(Message);
      return;
    }
    default:
      TCustomControl::Dispatch(Message);
  }
}

void TRxCustomSlider::Resize() {
  TCustomControl::Resize();
  if (!Reading() && !constructing_) UpdateLayout();
}

void TRxCustomSlider::CMEnabledChanged(TMessage& Message) {
  TCustomControl::CMEnabledChanged(Message);
  InvalidateThumb();
}

// ---------------------------------------------------------------------------------------
// Painting. The class library composes the window in an off-screen surface already, so
// Paint draws there and the screen takes the finished picture.

void TRxCustomSlider::Paint() {
  TCanvas* c = Canvas();
  const bool copy = ControlState().Contains(csPaintCopy);
  TPoint p = copy ? SnapThumbOffset(ValueToOffset(GetDisplayValue())) : thumbRect_.TopLeft();
  TRect r = ClientRect();
  if (bevelStyle_ != bvNone) {
    TColor tl = bevelStyle_ == bvLowered ? clBtnShadow : clBtnHighlight;
    TColor br = bevelStyle_ == bvLowered ? clBtnHighlight : clBtnShadow;
    Frame3D(c, r, tl, br);
    r = InsideBevel(r);
  }
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  c->FillRect(r);
  if (ruler_->Width() > 0)
    DrawBitmapKeyed(c, rulerOrigin_.x, rulerOrigin_.y, ruler_.get(),
                    options_.Contains(soRulerOpaque) ? clNone : clDefault);
  if (options_.Contains(soShowFocus) && focused_ && !ComponentState().Contains(csDesigning)) {
    TRect f;
    GetInnerRect(f);
    c->DrawFocusRect({f.Left + 2, f.Top + 2, f.Right - 2, f.Bottom - 2});
  }
  if (options_.Contains(soShowPoints)) {
    if (OnDrawPoints)
      OnDrawPoints(this);
    else
      PaintPoints(increment_, 3, 5);
  }
  PaintThumb(p, copy ? !Enabled() : thumbPressed_ || !Enabled());
}

void TRxCustomSlider::PaintThumb(const TPoint& P, bool Pressed) {
  TBitmap* image = ThumbImage();
  TRect src = Rect(0, 0, image->Width(), image->Height());
  if (numThumbStates_ == 2) {
    if (Pressed)
      src.Left = image->Width() / 2;
    else
      src.Right = image->Width() / 2;
  }
  DrawBitmapPartKeyed(Canvas(), P.x, P.y, src, image,
                      options_.Contains(soThumbOpaque) ? clNone : clDefault);
}

void TRxCustomSlider::PaintPoints(Integer Step, Integer TickLength, Integer EndTickLength) {
  TCanvas* c = Canvas();
  Integer d = maxValue_ - minValue_, l = TravelLength();
  if (Step < 1) Step = 1;
  Integer n = 1, count = 1;
  for (;; ++n) {
    count = Nearest(double(d) / double(n * Step)) + 1;
    Integer spacing = count > 1 ? l / (count - 1) : l;
    if (spacing >= 4 || spacing >= l) break;
  }
  c->Pen()->SetColor(clWindowText);
  c->Pen()->SetWidth(1);
  c->Pen()->SetStyle(psSolid);
  Integer tw = ThumbWidth(), th = ThumbHeight();
  Integer v = minValue_;
  for (Integer i = 1; i <= count; ++i) {
    if (i == count) v = maxValue_;
    Integer len = v == minValue_ || v == maxValue_ ? EndTickLength : TickLength;
    Integer p = ValueToOffset(v);
    if (orientation_ == soHorizontal) {
      c->MoveTo(p + tw / 2, pointsLine_);
      c->LineTo(p + tw / 2, pointsLine_ + len);
    } else {
      c->MoveTo(pointsLine_, p + th / 2);
      c->LineTo(pointsLine_ + len, p + th / 2);
    }
    v += n * Step;
  }
}
