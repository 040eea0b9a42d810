// A windowless button drawn from bitmaps: a normal face, one while the pointer is over it,
// one while the left button holds it down, one drawn at the release, and one for the
// disabled state. The button always takes the size of the face it shows.
#pragma once

#include <memory>

#include "classlib/Controls.h"
#include "classlib/Graphics.h"

class TImageButton : public TGraphicControl {
 public:
  // 50 x 50 with every face empty, so it paints nothing until Bitmap is set.
  explicit TImageButton(TComponent* AOwner);
  ~TImageButton() override;

  // The face setters copy the picture (the caller keeps its own) and repaint at once.
  TBitmap* BitmapOver() const { return bitmapOver_.get(); }
  void SetBitmapOver(TBitmap* Value);
  TBitmap* BitmapDown() const { return bitmapDown_.get(); }
  void SetBitmapDown(TBitmap* Value);
  TBitmap* BitmapUp() const { return bitmapUp_.get(); }
  void SetBitmapUp(TBitmap* Value);
  TBitmap* BitmapDisabled() const { return bitmapDisabled_.get(); }
  void SetBitmapDisabled(TBitmap* Value);
  // The normal face; setting it also makes it the face shown and sizes the button to it.
  TBitmap* Bitmap() const { return bitmap_.get(); }
  void SetBitmap(TBitmap* Value);

  // The button's own events, fired only for the left button of an enabled button. They
  // hide the control's events of the same names, which stay unassigned.
  TNotifyEvent OnClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  // Fired after the face has changed when the pointer enters or leaves an enabled button.
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  void Paint() override;
  void Click() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void CMMouseEnter(TMessage& Message) override;
  void CMMouseLeave(TMessage& Message) override;

 private:
  // Faces are drawn at once instead of at the next paint, so a face change is in the
  // picture before the handlers that follow it run.
  void PaintNow();
  void MakeCurrent(TBitmap* Face);
  // Sizes the button to Face and draws it, leaving the current face as it is.
  void DrawFace(TBitmap* Face);

  std::unique_ptr<TBitmap> bitmapOver_;
  std::unique_ptr<TBitmap> bitmapDown_;
  std::unique_ptr<TBitmap> bitmapUp_;
  std::unique_ptr<TBitmap> bitmap_;
  std::unique_ptr<TBitmap> current_;  // a copy of the face last made current
  std::unique_ptr<TBitmap> bitmapDisabled_;
};
