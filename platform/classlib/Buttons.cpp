#include "classlib/Buttons.h"

#include "classlib/ExtCtrls.h"

TSpeedButton::TSpeedButton(TComponent* AOwner)
    : TGraphicControl(AOwner), glyph_(std::make_unique<TBitmap>()) {
  // The button clicks from its own MouseUp, after its state has changed.
  controlStyle_ = {csCaptureMouse, csDoubleClicks};
  glyph_->OnChange = [this](TObject*) { Invalidate(); };
  SetBounds(0, 0, 23, 22);
}

TSpeedButton::~TSpeedButton() {
  glyph_->OnChange = nullptr;
}

void TSpeedButton::SetFlat(bool v) {
  if (v == flat_) return;
  flat_ = v;
  Invalidate();
}
void TSpeedButton::SetGroupIndex(Integer v) {
  if (v == groupIndex_) return;
  groupIndex_ = v;
  UpdateExclusive();
}
void TSpeedButton::SetAllowAllUp(bool v) {
  if (v == allowAllUp_) return;
  allowAllUp_ = v;
  UpdateExclusive();
}
void TSpeedButton::SetGlyph(TBitmap* v) {
  glyph_->Assign(v);
}
void TSpeedButton::SetNumGlyphs(Integer v) {
  numGlyphs_ = std::clamp(v, 1, 4);
  Invalidate();
}
void TSpeedButton::SetLayout(TButtonLayout v) {
  layout_ = v;
  Invalidate();
}
void TSpeedButton::SetSpacing(Integer v) {
  spacing_ = v;
  Invalidate();
}

void TSpeedButton::SetDown(bool v) {
  if (groupIndex_ == 0) v = false;
  if (v == down_) return;
  // The last button down in a group stays down unless the group allows all up.
  if (down_ && !allowAllUp_) return;
  down_ = v;
  if (v) {
    if (state_ == bsUp) Invalidate();
    state_ = bsExclusive;
  } else {
    state_ = bsUp;
    Repaint();
  }
  if (v) UpdateExclusive();
}

void TSpeedButton::UpdateExclusive() {
  if (groupIndex_ == 0 || !Parent()) return;
  for (int i = 0; i < Parent()->ControlCount(); ++i) {
    auto* b = dynamic_cast<TSpeedButton*>(Parent()->Controls(i));
    if (!b || b == this || b->groupIndex_ != groupIndex_) continue;
    if (down_ && b->down_) {
      b->down_ = false;
      b->state_ = bsUp;
      b->Invalidate();
    }
    b->allowAllUp_ = allowAllUp_;
  }
}

void TSpeedButton::Click() {
  TGraphicControl::Click();
}

void TSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft && Enabled()) {
    if (!down_) {
      state_ = bsDown;
      Repaint();
    }
    dragging_ = true;
  }
}

void TSpeedButton::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  if (!dragging_) return;
  TButtonState s = down_ ? bsExclusive : bsUp;
  if (PtInRect(ClientRect(), {X, Y})) s = down_ ? bsExclusive : bsDown;
  if (s != state_) {
    state_ = s;
    Invalidate();
  }
}

void TSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (!dragging_ || Button != mbLeft) return;
  dragging_ = false;
  bool doClick = PtInRect(ClientRect(), {X, Y});
  if (groupIndex_ == 0) {
    state_ = bsUp;
    Invalidate();
  } else {
    if (doClick) SetDown(!down_);
    ShowLatched();
  }
  if (doClick) Click();
}

void TSpeedButton::ShowLatched() {
  state_ = down_ ? bsExclusive : bsUp;
  Invalidate();
}

void TSpeedButton::CMMouseEnter(TMessage& Message) {
  TGraphicControl::CMMouseEnter(Message);
  mouseInControl_ = true;
  if (flat_ && Enabled()) Invalidate();
}
void TSpeedButton::CMMouseLeave(TMessage& Message) {
  TGraphicControl::CMMouseLeave(Message);
  mouseInControl_ = false;
  if (flat_ && Enabled()) Invalidate();
}
void TSpeedButton::CMEnabledChanged(TMessage& Message) {
  state_ = Enabled() ? (down_ ? bsExclusive : bsUp) : bsDisabled;
  TGraphicControl::CMEnabledChanged(Message);
}

void TSpeedButton::CMCancelMode(TMessage& Message) {
  TGraphicControl::CMCancelMode(Message);
  if (!dragging_) return;
  dragging_ = false;
  ShowLatched();
}

void TSpeedButton::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  TButtonState state = Enabled() ? state_ : bsDisabled;
  bool pressed = state == bsDown || state == bsExclusive;
  if (!flat_) {
    c->Brush()->SetColor(clBtnFace);
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(r);
    if (pressed) {
      Frame3D(c, r, clBtnShadow, clBtnHighlight, 1);
      Frame3D(c, r, cl3DDkShadow, cl3DLight, 1);
    } else {
      Frame3D(c, r, clBtnHighlight, cl3DDkShadow, 1);
      Frame3D(c, r, cl3DLight, clBtnShadow, 1);
    }
  } else if (pressed || (mouseInControl_ && state != bsDisabled)) {
    if (pressed)
      Frame3D(c, r, clBtnShadow, clBtnHighlight, 1);
    else
      Frame3D(c, r, clBtnHighlight, clBtnShadow, 1);
  }
  int off = pressed ? 1 : 0;
  // The glyph strip: up, disabled, down, exclusive.
  int gw = 0, gh = 0, index = 0;
  if (!glyph_->Empty()) {
    gw = glyph_->Width() / numGlyphs_;
    gh = glyph_->Height();
    int want = state == bsDisabled ? 1 : state == bsDown ? 2 : state == bsExclusive ? 3 : 0;
    index = want < numGlyphs_ ? want : 0;
  }
  c->SetFont(Font());
  TSize te = Caption().empty() ? TSize{} : c->TextExtent(Caption());
  int space = (gw && te.cx) ? spacing_ : 0;
  bool horizontal = layout_ == blGlyphLeft || layout_ == blGlyphRight;
  int totalW = horizontal ? gw + space + te.cx : std::max(gw, te.cx);
  int totalH = horizontal ? std::max(gh, te.cy) : gh + space + te.cy;
  int x0 = (Width() - totalW) / 2 + off, y0 = (Height() - totalH) / 2 + off;
  int gx = x0, gy = y0, tx = x0, ty = y0;
  switch (layout_) {
    case blGlyphLeft:
      gy = (Height() - gh) / 2 + off;
      tx = x0 + gw + space;
      ty = (Height() - te.cy) / 2 + off;
      break;
    case blGlyphRight:
      tx = x0;
      ty = (Height() - te.cy) / 2 + off;
      gx = x0 + te.cx + space;
      gy = (Height() - gh) / 2 + off;
      break;
    case blGlyphTop:
      gx = (Width() - gw) / 2 + off;
      tx = (Width() - te.cx) / 2 + off;
      ty = y0 + gh + space;
      break;
    case blGlyphBottom:
      tx = (Width() - te.cx) / 2 + off;
      gx = (Width() - gw) / 2 + off;
      gy = y0 + te.cy + space;
      break;
  }
  if (gw) {
    TBitmap cell;
    cell.SetSize(gw, gh);
    cell.Canvas()->CopyRect(TRect{0, 0, gw, gh}, glyph_->Canvas(),
                            TRect{index * gw, 0, (index + 1) * gw, gh});
    cell.SetTransparentColor(glyph_->TransparentColor());
    cell.SetTransparent(true);
    c->Draw(gx, gy, &cell);
  }
  if (te.cx) {
    c->Brush()->SetStyle(bsClear);
    if (state == bsDisabled) {
      c->Font()->SetColor(clBtnHighlight);
      c->TextOut(tx + 1, ty + 1, Caption());
      c->Font()->SetColor(clBtnShadow);
    }
    c->TextOut(tx, ty, Caption());
  }
}
