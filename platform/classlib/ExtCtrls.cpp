#include "classlib/ExtCtrls.h"

#include <algorithm>

void Frame3D(TCanvas* Canvas, TRect& Rect, TColor TopColor, TColor BottomColor, Integer Width) {
  TPen* pen = Canvas->Pen();
  pen->SetWidth(1);
  pen->SetStyle(psSolid);
  pen->SetMode(pmCopy);
  for (int i = 0; i < Width; ++i) {
    if (Rect.Width() <= 0 || Rect.Height() <= 0) break;
    int l = Rect.Left, t = Rect.Top, r = Rect.Right - 1, b = Rect.Bottom - 1;
    // Top and left edges, the bottom-left and top-right corners left to the other colour.
    pen->SetColor(TopColor);
    Canvas->Polyline({Point(l, b), Point(l, t), Point(r, t)});
    pen->SetColor(BottomColor);
    Canvas->Polyline({Point(r, t), Point(r, b), Point(l - 1, b)});
    Rect = TRect{Rect.Left + 1, Rect.Top + 1, Rect.Right - 1, Rect.Bottom - 1};
  }
}

// ---------------------------------------------------------------------------------------
// TImage

TImage::TImage(TComponent* AOwner)
    : TGraphicControl(AOwner), picture_(std::make_unique<TPicture>()) {
  picture_->OnChange = [this](TObject*) { PictureChanged(); };
  SetBounds(0, 0, 105, 105);
}
TImage::~TImage() {
  picture_->OnChange = nullptr;
}

void TImage::PictureChanged() {
  TGraphic* g = picture_->Graphic();
  if (g && transparent_ != g->Transparent()) {
    // Follows the image's own setting for a graphic that arrives with one.
    TNotifyEvent keep = std::move(g->OnChange);
    g->SetTransparent(transparent_);
    g->OnChange = std::move(keep);
  }
  if (autoSize_ && g && !g->Empty()) SetBounds(Left(), Top(), g->Width(), g->Height());
  Invalidate();
}

void TImage::Paint() {
  TGraphic* g = picture_->Graphic();
  if (!g || g->Empty()) return;
  TCanvas* c = Canvas();
  TRect r;
  if (stretch_)
    r = ClientRect();
  else if (center_)
    r = Bounds((Width() - g->Width()) / 2, (Height() - g->Height()) / 2, g->Width(), g->Height());
  else
    r = Bounds(0, 0, g->Width(), g->Height());
  c->StretchDraw(r, g);
}

void TImage::SetStretch(bool v) {
  if (v == stretch_) return;
  stretch_ = v;
  Invalidate();
}
void TImage::SetCenter(bool v) {
  if (v == center_) return;
  center_ = v;
  Invalidate();
}
void TImage::SetAutoSize(bool v) {
  autoSize_ = v;
  if (v) PictureChanged();
}
void TImage::SetTransparent(bool v) {
  if (v == transparent_) return;
  transparent_ = v;
  PictureChanged();
}

// ---------------------------------------------------------------------------------------
// TShape

TShape::TShape(TComponent* AOwner)
    : TGraphicControl(AOwner), brush_(std::make_unique<TBrush>()), pen_(std::make_unique<TPen>()) {
  brush_->OnChange = [this](TObject*) { Invalidate(); };
  pen_->OnChange = [this](TObject*) { Invalidate(); };
  SetBounds(0, 0, 65, 65);
}
TShape::~TShape() {
  brush_->OnChange = nullptr;
  pen_->OnChange = nullptr;
}

void TShape::SetShape(TShapeType v) {
  if (v == shape_) return;
  shape_ = v;
  Invalidate();
}

void TShape::Paint() {
  TCanvas* c = Canvas();
  c->SetPen(pen_.get());
  c->SetBrush(brush_.get());
  int pw = pen_->Width();
  int x = pw / 2, y = pw / 2;
  int w = Width() - pw + 1, h = Height() - pw + 1;
  if (pw == 0) {
    --w;
    --h;
  }
  if (w < h) {
    if (shape_ == stSquare || shape_ == stRoundSquare || shape_ == stCircle) {
      y += (h - w) / 2;
      h = w;
    }
  } else if (shape_ == stSquare || shape_ == stRoundSquare || shape_ == stCircle) {
    x += (w - h) / 2;
    w = h;
  }
  if (shape_ == stEllipse || shape_ == stCircle)
    c->Ellipse(x, y, x + w, y + h);
  else
    c->Rectangle(x, y, x + w, y + h);
}

// ---------------------------------------------------------------------------------------
// TPaintBox

TPaintBox::TPaintBox(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetBounds(0, 0, 105, 105);
  SetParentColor(true);
}

void TPaintBox::Paint() {
  TCanvas* c = Canvas();
  c->SetFont(Font());
  c->Brush()->SetColor(Color());
  if (OnPaint) OnPaint(this);
}

// ---------------------------------------------------------------------------------------
// TBevel

TBevel::TBevel(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetBounds(0, 0, 50, 50);
}

void TBevel::SetShape(TBevelShape v) {
  if (v == shape_) return;
  shape_ = v;
  Invalidate();
}
void TBevel::SetStyle(TBevelStyle v) {
  if (v == style_) return;
  style_ = v;
  Invalidate();
}

void TBevel::Paint() {
  TCanvas* c = Canvas();
  TColor c1 = style_ == bsLowered ? clBtnShadow : clBtnHighlight;
  TColor c2 = style_ == bsLowered ? clBtnHighlight : clBtnShadow;
  int w = Width(), h = Height();
  auto line = [&](TColor col, int x1, int y1, int x2, int y2) {
    c->Pen()->SetColor(col);
    c->MoveTo(x1, y1);
    c->LineTo(x2, y2);
  };
  TRect r = ClientRect();
  switch (shape_) {
    case bsBox:
      Frame3D(c, r, c1, c2, 1);
      break;
    case bsFrame: {
      TRect outer{0, 0, w - 1, h - 1};
      Frame3D(c, outer, c1, c1, 1);
      TRect inner{1, 1, w, h};
      Frame3D(c, inner, c2, c2, 1);
      break;
    }
    case bsTopLine:
      line(c1, 0, 0, w, 0);
      line(c2, 0, 1, w, 1);
      break;
    case bsBottomLine:
      line(c1, 0, h - 2, w, h - 2);
      line(c2, 0, h - 1, w, h - 1);
      break;
    case bsLeftLine:
      line(c1, 0, 0, 0, h);
      line(c2, 1, 0, 1, h);
      break;
    case bsRightLine:
      line(c1, w - 2, 0, w - 2, h);
      line(c2, w - 1, 0, w - 1, h);
      break;
    case bsSpacer:
      break;
  }
}

// ---------------------------------------------------------------------------------------
// TPanel

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(0, 0, 185, 41);
}

void TPanel::SetBevelInner(TBevelCut v) {
  bevelInner_ = v;
  Invalidate();
}
void TPanel::SetBevelOuter(TBevelCut v) {
  bevelOuter_ = v;
  Invalidate();
}
void TPanel::SetBevelWidth(Integer v) {
  bevelWidth_ = std::max(1, v);
  Invalidate();
}
void TPanel::SetBorderWidth(Integer v) {
  borderWidth_ = std::max(0, v);
  Invalidate();
}
void TPanel::SetBorderStyle(TBorderStyle v) {
  borderStyle_ = v;
  Invalidate();
}
void TPanel::SetAlignment(TAlignment v) {
  alignment_ = v;
  Invalidate();
}

void TPanel::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  auto bevel = [&](TBevelCut cut) {
    if (cut == bvNone) return;
    TColor top = cut == bvLowered ? clBtnShadow : clBtnHighlight;
    TColor bottom = cut == bvLowered ? clBtnHighlight : clBtnShadow;
    Frame3D(c, r, top, bottom, bevelWidth_);
  };
  if (borderStyle_ == bsSingle) Frame3D(c, r, cl3DDkShadow, cl3DDkShadow, 1);
  bevel(bevelOuter_);
  Frame3D(c, r, Color(), Color(), borderWidth_);
  bevel(bevelInner_);
  c->Brush()->SetColor(Color());
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(r);
  if (Caption().empty()) return;
  c->SetFont(Font());
  c->Brush()->SetStyle(bsClear);
  TSize e = c->TextExtent(Caption());
  int x = alignment_ == taLeftJustify    ? r.Left
          : alignment_ == taRightJustify ? r.Right - e.cx
                                         : r.Left + (r.Width() - e.cx) / 2;
  int y = r.Top + (r.Height() - e.cy) / 2;
  c->TextRect(r, x, y, Caption());
}
