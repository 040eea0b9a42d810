// Pictures, shapes, paint boxes, bevels and panels. GUI thread only.
#pragma once

#include <memory>

#include "classlib/Controls.h"
#include "classlib/Forms.h"
#include "classlib/Graphics.h"

// Draws the picture unscaled at the top left, centred (Center) or stretched over the
// control (Stretch); with AutoSize the control takes the picture's size.
class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;
  TPicture* Picture() const { return picture_.get(); }
  void SetPicture(TPicture* v) { picture_->Assign(v); }
  bool Stretch() const { return stretch_; }
  void SetStretch(bool v);
  bool Center() const { return center_; }
  void SetCenter(bool v);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  // The picture's transparent colour is left out when drawn.
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);

 protected:
  void Paint() override;

 private:
  void PictureChanged();
  std::unique_ptr<TPicture> picture_;
  bool stretch_ = false;
  bool center_ = false;
  bool autoSize_ = false;
  bool transparent_ = false;
};

enum TShapeType { stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle };

class TShape : public TGraphicControl {
 public:
  explicit TShape(TComponent* AOwner);
  ~TShape() override;
  TShapeType Shape() const { return shape_; }
  void SetShape(TShapeType v);
  TBrush* Brush() const { return brush_.get(); }
  void SetBrush(TBrush* v) { brush_->Assign(v); }
  TPen* Pen() const { return pen_.get(); }
  void SetPen(TPen* v) { pen_->Assign(v); }

 protected:
  void Paint() override;

 private:
  TShapeType shape_ = stRectangle;
  std::unique_ptr<TBrush> brush_;
  std::unique_ptr<TPen> pen_;
};

// A place to draw on in OnPaint, through Canvas.
class TPaintBox : public TGraphicControl {
 public:
  explicit TPaintBox(TComponent* AOwner);
  TNotifyEvent OnPaint;

 protected:
  void Paint() override;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };

class TBevel : public TGraphicControl {
 public:
  explicit TBevel(TComponent* AOwner);
  TBevelShape Shape() const { return shape_; }
  void SetShape(TBevelShape v);
  TBevelStyle Style() const { return style_; }
  void SetStyle(TBevelStyle v);

 protected:
  void Paint() override;

 private:
  TBevelShape shape_ = bsBox;
  TBevelStyle style_ = bsLowered;
};

// A windowed panel: outer bevel, border, inner bevel, then its colour and caption.
class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* AOwner);
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut v);
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut v);
  Integer BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(Integer v);
  Integer BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(Integer v);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle v);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v);

 protected:
  void Paint() override;

 private:
  TBevelCut bevelInner_ = bvNone;
  TBevelCut bevelOuter_ = bvRaised;
  Integer bevelWidth_ = 1;
  Integer borderWidth_ = 0;
  TBorderStyle borderStyle_ = bsNone;
  TAlignment alignment_ = taCenter;
};

// The platform's 3D frame: TopColor on the top and left edges, BottomColor on the bottom
// and right, Width pixels deep; Rect shrinks by the frame.
void Frame3D(TCanvas* Canvas, TRect& Rect, TColor TopColor, TColor BottomColor, Integer Width);
