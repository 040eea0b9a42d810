#include "widgets/ButtonComps.h"

namespace {

// A face without width is no face: the button then keeps what it shows.
bool IsEmpty(const TBitmap* Face) {
  return Face->Width() == 0;
}

}  // namespace

TImageButton::TImageButton(TComponent* AOwner)
    : TGraphicControl(AOwner),
      bitmapOver_(std::make_unique<TBitmap>()),
      bitmapDown_(std::make_unique<TBitmap>()),
      bitmapUp_(std::make_unique<TBitmap>()),
      bitmap_(std::make_unique<TBitmap>()),
      current_(std::make_unique<TBitmap>()),
      bitmapDisabled_(std::make_unique<TBitmap>()) {
  SetBounds(Left(), Top(), 50, 50);
  Canvas()->Brush()->SetColor(clBtnFace);
  // Shows hints of its own until it is placed; a parent then decides, as for any control
  // that follows its parent's hint setting.
  SetShowHint(true);
  SetParentShowHint(true);
}

TImageButton::~TImageButton() = default;

void TImageButton::SetBitmapOver(TBitmap* Value) {
  bitmapOver_->Assign(Value);
  PaintNow();
}

void TImageButton::SetBitmapDown(TBitmap* Value) {
  bitmapDown_->Assign(Value);
  PaintNow();
}

void TImageButton::SetBitmapUp(TBitmap* Value) {
  bitmapUp_->Assign(Value);
  PaintNow();
}

void TImageButton::SetBitmapDisabled(TBitmap* Value) {
  bitmapDisabled_->Assign(Value);
  PaintNow();
}

void TImageButton::SetBitmap(TBitmap* Value) {
  bitmap_->Assign(Value);
  current_->Assign(bitmap_.get());
  SetBounds(Left(), Top(), bitmap_->Width(), bitmap_->Height());
  PaintNow();
}

void TImageButton::PaintNow() {
  // A hidden button has nothing on screen to update; drawing would paint over its parent.
  if (Parent() && Visible()) Paint();
}

void TImageButton::MakeCurrent(TBitmap* Face) {
  current_->Assign(Face);
  SetBounds(Left(), Top(), Face->Width(), Face->Height());
  PaintNow();
}

void TImageButton::DrawFace(TBitmap* Face) {
  SetBounds(Left(), Top(), Face->Width(), Face->Height());
  if (Parent() && Visible()) Canvas()->Draw(0, 0, Face);
}

void TImageButton::Paint() {
  if (IsEmpty(current_.get())) current_->Assign(bitmap_.get());
  if (!Enabled() && !IsEmpty(bitmapDisabled_.get())) {
    // Disabling shows its own face without touching the current one, so enabling again
    // brings back whatever was shown before.
    SetBounds(Left(), Top(), bitmapDisabled_->Width(), bitmapDisabled_->Height());
    Canvas()->Draw(0, 0, bitmapDisabled_.get());
    return;
  }
  Canvas()->Draw(0, 0, current_.get());
}

void TImageButton::CMMouseEnter(TMessage& Message) {
  TGraphicControl::CMMouseEnter(Message);
  if (!Enabled()) return;
  if (!IsEmpty(bitmapOver_.get())) MakeCurrent(bitmapOver_.get());
  if (OnMouseEnter) OnMouseEnter(this);
}

void TImageButton::CMMouseLeave(TMessage& Message) {
  TGraphicControl::CMMouseLeave(Message);
  if (!Enabled()) return;
  if (!IsEmpty(bitmap_.get())) MakeCurrent(bitmap_.get());
  if (OnMouseLeave) OnMouseLeave(this);
}

void TImageButton::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
  if (!IsEmpty(bitmapDown_.get())) MakeCurrent(bitmapDown_.get());
}

void TImageButton::Click() {
  TGraphicControl::Click();
  // Shows the down face while the click's work runs.
  PaintNow();
  if (Enabled() && OnClick) OnClick(this);
}

void TImageButton::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  // Only the left button pressed the button, so only its release shows a face.
  if (Button != mbLeft || !Enabled()) return;
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
  // The mouse stays captured from the press, so the release may come from anywhere: what
  // counts is whether the pointer is still over this button. The release face is only
  // drawn; the current face stays the down face until the pointer next leaves or enters.
  const bool over = FindDragTarget(Mouse->CursorPos(), true) == this;
  if (!IsEmpty(bitmapUp_.get())) {
    DrawFace(over ? bitmapUp_.get() : bitmap_.get());
  } else if (over && !IsEmpty(bitmapOver_.get())) {
    DrawFace(bitmapOver_.get());
  } else if (!IsEmpty(bitmap_.get())) {
    DrawFace(bitmap_.get());
  }
}
