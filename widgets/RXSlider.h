// A skinned slider: a thumb bitmap moves along a ruler bitmap, horizontally or
// vertically, over an integer range. The ruler is built to the control's length from a
// small ruler image (two fixed end pieces and a repeated middle); optional ticks sit
// beside it. The user drags the thumb, clicks the ruler to step toward the click (with
// auto-repeat while the button is held) or uses the keyboard. GUI thread only.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "classlib/Controls.h"
#include "classlib/Graphics.h"

enum TSliderOrientation { soHorizontal, soVertical };
enum TSliderOption { soShowFocus, soShowPoints, soSmooth, soRulerOpaque, soThumbOpaque };
using TSliderOptions = TSet<TSliderOption>;
// The number of frames side by side in a thumb image: 1 or 2.
using TNumThumbStates = Integer;
// One step of keyboard or ruler-click movement; forward is toward MaxValue.
// Scoped: the class library's track bar has a tsNone of its own.
enum class TThumbStep { tsNone, tsToMin, tsToMax, tsForward, tsBackward };

// The index of each image (part of the stored format).
constexpr Integer siHThumb = 0;
constexpr Integer siHRuler = 1;
constexpr Integer siVThumb = 2;
constexpr Integer siVRuler = 3;

class TRxCustomSlider : public TCustomControl {
 public:
  // 150 x 40, horizontal, 0 to 100 in steps of 10, the default images.
  explicit TRxCustomSlider(TComponent* AOwner);
  ~TRxCustomSlider() override;

  TBevelCut BevelStyle() const { return bevelStyle_; }
  void SetBevelStyle(TBevelCut Value);
  TBitmap* ImageHThumb() { return ImageAt(siHThumb); }
  void SetImageHThumb(TBitmap* Value) { AssignImage(siHThumb, Value); }
  TBitmap* ImageHRuler() { return ImageAt(siHRuler); }
  void SetImageHRuler(TBitmap* Value) { AssignImage(siHRuler, Value); }
  TBitmap* ImageVThumb() { return ImageAt(siVThumb); }
  void SetImageVThumb(TBitmap* Value) { AssignImage(siVThumb, Value); }
  TBitmap* ImageVRuler() { return ImageAt(siVRuler); }
  void SetImageVRuler(TBitmap* Value) { AssignImage(siVRuler, Value); }
  // Raises Exception "Value must be between 1 and <MaxValue - MinValue>" outside that
  // range (relaxed while the form is being read).
  Integer Increment() const { return increment_; }
  void SetIncrement(Integer Value);
  // A range whose maximum is not above its minimum is ignored (outside form reading).
  Integer MinValue() const { return minValue_; }
  void SetMinValue(Integer Value);
  Integer MaxValue() const { return maxValue_; }
  void SetMaxValue(Integer Value);
  TNumThumbStates NumThumbStates() const { return numThumbStates_; }
  void SetNumThumbStates(TNumThumbStates Value);
  // At run time a change of orientation also exchanges width and height.
  TSliderOrientation Orientation() const { return orientation_; }
  void SetOrientation(TSliderOrientation Value);
  // The fixed end pieces of the ruler image; ignored unless twice it is shorter than the
  // ruler image.
  Integer EdgeSize() const { return edgeSize_; }
  void SetEdgeSize(Integer Value);
  TSliderOptions Options() const { return options_; }
  void SetOptions(TSliderOptions Value);
  // Clamped into the range; not snapped to Increment.
  Integer Value() const { return value_; }
  void SetValue(Integer Value);

  // Image Index (0 to 3, see siHThumb ...): a copy of Bitmap becomes a user image; null
  // reloads the default picture.
  void AssignImage(Integer Index, TBitmap* Bitmap);
  TBitmap* ImageAt(Integer Index);
  bool IsUserImage(Integer Index) const;
  // The user-image set, one bit per index (the "UserImages" value of the stored form).
  Byte UserImages() const { return userImages_; }

  // The stored form of the images: the "UserImages" value (its length, 4 bytes little
  // endian, always 1, then the byte), then for each user image in index order its length
  // and its BMP file. Reading raises EInvalidGraphic for a truncated or malformed set and
  // then leaves the slider as it was.
  std::vector<Byte> WriteImages() const;
  void ReadImages(const Byte* Data, std::size_t Size);

  // Draws the ticks on the control's canvas; public for OnDrawPoints handlers.
  virtual void PaintPoints(Integer Step, Integer TickLength, Integer EndTickLength);

  // Where the thumb frame is drawn and where the built ruler goes (client coordinates).
  TRect ThumbRect() const { return thumbRect_; }
  TPoint RulerOrigin() const { return rulerOrigin_; }
  TBitmap* Ruler() const { return ruler_.get(); }
  Integer PointsLine() const { return pointsLine_; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanged;
  TNotifyEvent OnDrawPoints;

 protected:
  void Loaded() override;
  void Paint() override;
  void Dispatch(TMessage& Message) override;
  void KeyDown(Word& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void CMEnabledChanged(TMessage& Message) override;
  void Resize() override;
  using TCustomControl::AlignControls;
  // The children sit inside the bevel.
  void AlignControls(TRect& Rect) override;

  virtual bool CanChangeValue() { return true; }
  virtual void GetInnerRect(TRect& Rect);
  virtual Integer GetDisplayValue() { return value_; }
  virtual void UpdateLayout();
  virtual void RangeUpdated() {}
  virtual void BeginThumbDrag(TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  virtual void DragThumb(TShiftState Shift, Integer X, Integer Y);
  virtual void EndThumbDrag(TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  virtual void Change();
  virtual void Changed();

 private:
  // The thumb and ruler images of the current orientation.
  TBitmap* ThumbImage() const;
  TBitmap* RulerImage() const;
  // R less the bevel's width all round, when there is a bevel.
  TRect InsideBevel(TRect R) const;
  void BuildRuler(const TRect& R);
  void SetRange(Integer Min, Integer Max);
  Integer ThumbWidth();
  Integer ThumbHeight();
  Integer TrackStart();
  Integer TravelLength();
  Integer ValueToOffset(Integer V);
  Integer OffsetToValue(Integer P);
  TPoint SnapThumbOffset(Integer P);
  void MoveThumbTo(Integer P);
  void InvalidateThumb();
  void StepValue(TThumbStep Step);
  TThumbStep StepDirectionAt(Integer X, Integer Y);
  void RepeatStep();
  void EndRulerTracking();
  void PaintThumb(const TPoint& P, bool Pressed);
  void ImageChanged(TObject* Sender);
  bool Reading() const;

  TBevelCut bevelStyle_ = bvNone;
  std::unique_ptr<TBitmap> images_[4];
  std::unique_ptr<TBitmap> ruler_;
  Byte userImages_ = 0;
  Integer increment_ = 10;
  Integer minValue_ = 0;
  Integer maxValue_ = 100;
  TNumThumbStates numThumbStates_ = 2;
  TSliderOrientation orientation_ = soHorizontal;
  Integer edgeSize_ = 2;
  TSliderOptions options_{soShowFocus, soShowPoints, soSmooth};
  Integer value_ = 0;
  TPoint rulerOrigin_;
  TRect thumbRect_;
  Integer pointsLine_ = 0;
  Integer bevelWidth_ = 1;
  bool constructing_ = true;
  bool thumbPressed_ = false;
  bool dragging_ = false;
  Integer grabOffset_ = 0;
  bool focused_ = false;
  bool tracking_ = false;
  bool timerActive_ = false;
  TPoint mousePos_;
  TThumbStep startDirection_ = TThumbStep::tsNone;
};

// The slider the forms place: the same control with its properties published.
class TRxSlider : public TRxCustomSlider {
 public:
  explicit TRxSlider(TComponent* AOwner) : TRxCustomSlider(AOwner) {}
};
