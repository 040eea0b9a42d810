#include "widgets/ALProgressBar.h"

#include <cmath>

TColor ColorAt(TColor Color1, TColor Color2, Integer Index, Integer Count) {
  if (Index < 1 || Index > Count) {
    throw ERangeError("ColorIndex can't be less than 1 or greater than " + IntToStr(Count));
  }
  const TColor a = ColorToRGB(Color1);
  const TColor b = ColorToRGB(Color2);
  // A one-step run has no slope; it starts where the run starts.
  if (Count == 1) return a;
  auto channel = [&](int shift) -> TColor {
    const Integer ca = static_cast<Integer>((a >> shift) & 0xFF);
    const Integer cb = static_cast<Integer>((b >> shift) & 0xFF);
    return static_cast<TColor>(ca + MulDiv(Index - 1, cb - ca, Count - 1)) & 0xFF;
  };
  return channel(0) | channel(8) << 8 | channel(16) << 16;
}

TALProgressBar::TALProgressBar(TComponent* AOwner)
    : TGraphicControl(AOwner),
      buffer_(std::make_unique<TBitmap>()),
      barBitmap_(std::make_unique<TBitmap>()),
      cache_(std::make_unique<TBitmap>()) {
  SetBounds(Left(), Top(), 200, 20);
}

TALProgressBar::~TALProgressBar() = default;

void TALProgressBar::PaintNow() {
  // A hidden bar has nothing on screen to update; drawing would paint over its parent.
  if (Parent() && Visible()) Paint();
}

void TALProgressBar::SetBackgroundColor(TColor Value) {
  backgroundColor_ = Value;
  PaintNow();
}

void TALProgressBar::SetBarBitmap(TBitmap* Value) {
  barBitmap_->Assign(Value);
  PaintNow();
}

void TALProgressBar::SetBarColor1(TColor Value) {
  barColor1_ = Value;
  PaintNow();
}

void TALProgressBar::SetBarColor2(TColor Value) {
  barColor2_ = Value;
  PaintNow();
}

void TALProgressBar::SetBarColor3(TColor Value) {
  barColor3_ = Value;
  PaintNow();
}

void TALProgressBar::SetBarColorStyle(TBarColorStyle Value) {
  barColorStyle_ = Value;
  PaintNow();
}

void TALProgressBar::SetBorderColor1(TColor Value) {
  borderColor1_ = Value;
  PaintNow();
}

void TALProgressBar::SetBorderColor2(TColor Value) {
  borderColor2_ = Value;
  PaintNow();
}

void TALProgressBar::SetDirection(TProgressDirection Value) {
  direction_ = Value;
  PaintNow();
}

void TALProgressBar::SetMax(Integer Value) {
  max_ = Value;
  PaintNow();
}

void TALProgressBar::SetMin(Integer Value) {
  min_ = Value;
  PaintNow();
}

void TALProgressBar::SetPosition(Integer Value) {
  if (Value == position_ || Value > max_ || Value < min_) return;
  position_ = Value;
  rebuild_ = false;
  try {
    PaintNow();
  } catch (...) {
    rebuild_ = true;
    throw;
  }
  rebuild_ = true;
}

void TALProgressBar::SetPosTextPrefix(const String& Value) {
  posTextPrefix_ = Value;
  PaintNow();
}

void TALProgressBar::SetPosTextSuffix(const String& Value) {
  posTextSuffix_ = Value;
  PaintNow();
}

void TALProgressBar::SetShowBorder(bool Value) {
  showBorder_ = Value;
  PaintNow();
}

void TALProgressBar::SetShowPosText(bool Value) {
  showPosText_ = Value;
  PaintNow();
}

void TALProgressBar::CMFontChanged(TMessage&) {
  buffer_->Canvas()->SetFont(Font());
  PaintNow();
}

void TALProgressBar::Paint() {
  buffer_->SetSize(Width(), Height());
  // Half-read properties would draw a bar that is about to change again.
  if (!ComponentState().Contains(csReading)) DrawBar(rebuild_);
  if (showBorder_) DrawBorder();
  if (showPosText_) DrawPosText();
  Canvas()->Draw(0, 0, buffer_.get());
}

void TALProgressBar::DrawBar(bool Rebuild) {
  const Integer W = Width();
  const Integer H = Height();
  TCanvas* c = buffer_->Canvas();
  // A cache of another size is stale even when only the position changed: the bar was
  // resized and the repaint that rebuilds it has not come yet.
  const bool rebuild = Rebuild || cache_->Width() != W || cache_->Height() != H;
  if (!barBitmap_->Empty()) {
    if (rebuild) {
      cache_->SetSize(W, H);
      TileBitmap();
    }
    c->Draw(0, 0, cache_.get());
  } else if (barColorStyle_ == cs1Color) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(barColor1_);
    c->FillRect(TRect{0, 0, W, H});
  } else {
    if (rebuild) {
      cache_->SetSize(W, H);
      BuildGradient();
    }
    c->Draw(0, 0, cache_.get());
  }

  const bool horizontal = direction_ == pdLeftToRight || direction_ == pdRightToLeft;
  const Integer i = showBorder_ ? 1 : 0;
  const Int64 L = (horizontal ? W : H) - 2 * i;
  const Integer R = W - i;
  const Integer B = H - i;
  Int64 F = 0;
  if (position_ > min_) {
    const Extended span = std::fabs(static_cast<Extended>(max_) - min_);
    // Equal bounds leave no ratio; a position above them counts as full.
    F = span == 0 ? L : Round((static_cast<Extended>(position_) - min_) / span * L);
  }
  const Int64 E = L - F;
  // A position beyond Max (Max lowered afterwards) leaves no empty part at all.
  if (E <= 0) return;
  const Integer e = static_cast<Integer>(E);
  TRect empty;
  switch (direction_) {
    case pdLeftToRight:
      empty = {R - e, i, R, B};
      break;
    case pdRightToLeft:
      empty = {i, i, i + e, B};
      break;
    case pdBottomToTop:
      empty = {i, i, R, i + e};
      break;
    case pdTopToBottom:
      empty = {i, B - e, R, B};
      break;
  }
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(backgroundColor_);
  c->FillRect(empty);
}

void TALProgressBar::TileBitmap() {
  const Integer W = Width();
  const Integer H = Height();
  const Integer bw = barBitmap_->Width();
  const Integer bh = barBitmap_->Height();
  TCanvas* c = cache_->Canvas();
  for (Integer row = 0; row <= H / bh; ++row) {
    for (Integer col = 0; col <= W / bw; ++col) c->Draw(col * bw, row * bh, barBitmap_.get());
  }
}

void TALProgressBar::BuildGradient() {
  const Integer W = Width();
  const Integer H = Height();
  const bool horizontal = direction_ == pdLeftToRight || direction_ == pdRightToLeft;
  const bool fromStart = direction_ == pdLeftToRight || direction_ == pdTopToBottom;
  const bool three = barColorStyle_ == cs3Colors;
  const Integer length = horizontal ? W : H;
  const Integer S = three ? length / 2 : length;

  // Measured from where the bar starts to grow, the colours run from BarColor1 on; a bar
  // that grows from the far end gets its runs mirrored.
  TColor first1, first2, second1 = 0, second2 = 0;
  if (fromStart) {
    first1 = barColor1_;
    first2 = barColor2_;
    second1 = barColor2_;
    second2 = barColor3_;
  } else if (three) {
    first1 = barColor3_;
    first2 = barColor2_;
    second1 = barColor2_;
    second2 = barColor1_;
  } else {
    first1 = barColor2_;
    first2 = barColor1_;
  }

  TCanvas* c = cache_->Canvas();
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetWidth(1);
  auto line = [&](Integer k, TColor color) {
    c->Pen()->SetColor(color);
    if (horizontal) {
      c->MoveTo(k, 0);
      c->LineTo(k, H);
    } else {
      c->MoveTo(0, k);
      c->LineTo(W, k);
    }
  };
  for (Integer k = 0; k < S; ++k) line(k, ColorAt(first1, first2, k + 1, S));
  if (three) {
    for (Integer k = S; k < length; ++k) line(k, ColorAt(second1, second2, k - S + 1, length - S));
  }
}

void TALProgressBar::DrawBorder() {
  const Integer W = Width();
  const Integer H = Height();
  TCanvas* c = buffer_->Canvas();
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetWidth(1);
  c->Pen()->SetColor(borderColor1_);
  c->MoveTo(W - 1, 0);
  c->LineTo(0, 0);
  c->LineTo(0, H);
  c->Pen()->SetColor(borderColor2_);
  c->MoveTo(1, H - 1);
  c->LineTo(W - 1, H - 1);
  c->LineTo(W - 1, 0);
}

void TALProgressBar::DrawPosText() {
  const String text = posTextPrefix_ + IntToStr(position_) + posTextSuffix_;
  TCanvas* c = buffer_->Canvas();
  const Integer x = Width() / 2 - c->TextWidth(text) / 2;
  const Integer y = Height() / 2 - c->TextHeight(text) / 2;
  c->Brush()->SetStyle(bsClear);
  c->TextOut(x, y, text);
}
