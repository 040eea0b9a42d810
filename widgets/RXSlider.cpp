#include "widgets/RXSlider.h"

TRxCustomSlider::TRxCustomSlider(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(0, 0, 150, 40);
  SetTabStop(true);
  ruler_ = std::make_unique<TBitmap>();
  for (auto& i : images_) i = std::make_unique<TBitmap>();
  constructing_ = false;
}

TRxCustomSlider::~TRxCustomSlider() {
  OnChange = nullptr;
  OnChanged = nullptr;
  OnDrawPoints = nullptr;
}

void TRxCustomSlider::SetBevelStyle(TBevelCut Value) { bevelStyle_ = Value; }
void TRxCustomSlider::SetIncrement(Integer Value) { increment_ = Value; }
void TRxCustomSlider::SetMinValue(Integer Value) { minValue_ = Value; }
void TRxCustomSlider::SetMaxValue(Integer Value) { maxValue_ = Value; }
void TRxCustomSlider::SetNumThumbStates(TNumThumbStates Value) { numThumbStates_ = Value; }
void TRxCustomSlider::SetOrientation(TSliderOrientation Value) { orientation_ = Value; }
void TRxCustomSlider::SetEdgeSize(Integer Value) { edgeSize_ = Value; }
void TRxCustomSlider::SetOptions(TSliderOptions Value) { options_ = Value; }
void TRxCustomSlider::SetValue(Integer Value) {
  if (Value > maxValue_) Value = maxValue_;
  if (Value < minValue_) Value = minValue_;
  if (Value == value_) return;
  value_ = Value;
  Change();
}
void TRxCustomSlider::AssignImage(Integer, TBitmap*) {}
TBitmap* TRxCustomSlider::ImageAt(Integer Index) { return images_[Index & 3].get(); }
bool TRxCustomSlider::IsUserImage(Integer Index) const { return (userImages_ >> Index) & 1; }
std::vector<Byte> TRxCustomSlider::WriteImages() const { return {userImages_}; }
void TRxCustomSlider::ReadImages(const Byte*, std::size_t) {}
void TRxCustomSlider::PaintPoints(Integer, Integer, Integer) {}
void TRxCustomSlider::Loaded() { TCustomControl::Loaded(); }
void TRxCustomSlider::Paint() {}
void TRxCustomSlider::Dispatch(TMessage& Message) { TCustomControl::Dispatch(Message); }
void TRxCustomSlider::KeyDown(Word& Key, TShiftState Shift) { TCustomControl::KeyDown(Key, Shift); }
void TRxCustomSlider::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
}
void TRxCustomSlider::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseMove(Shift, X, Y);
}
void TRxCustomSlider::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
}
void TRxCustomSlider::CMEnabledChanged(TMessage& Message) {
  TCustomControl::CMEnabledChanged(Message);
}
void TRxCustomSlider::GetInnerRect(TRect& Rect) { Rect = {0, 0, Width(), Height()}; }
void TRxCustomSlider::UpdateLayout() {}
void TRxCustomSlider::BeginThumbDrag(TMouseButton, TShiftState, Integer, Integer) {}
void TRxCustomSlider::DragThumb(TShiftState, Integer, Integer) {}
void TRxCustomSlider::EndThumbDrag(TMouseButton, TShiftState, Integer, Integer) {}
void TRxCustomSlider::Change() {
  if (OnChange) OnChange(this);
}
void TRxCustomSlider::Changed() {
  if (OnChanged) OnChanged(this);
}
