// The speed button. GUI thread only.
#pragma once

#include <memory>

#include "classlib/Controls.h"
#include "classlib/Graphics.h"

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };

// A windowless button. Buttons of one parent with the same GroupIndex (not 0) act as a
// group: pressing one makes it Down and the others up; AllowAllUp lets a click release
// the one that is down. With GroupIndex 0 the button never stays down. A flat button shows
// its frame only while the pointer is over it.
class TSpeedButton : public TGraphicControl {
 public:
  explicit TSpeedButton(TComponent* AOwner);
  ~TSpeedButton() override;
  bool Flat() const { return flat_; }
  void SetFlat(bool v);
  Integer GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(Integer v);
  bool Down() const { return down_; }
  void SetDown(bool v);
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool v);
  TBitmap* Glyph() const { return glyph_.get(); }
  void SetGlyph(TBitmap* v);
  Integer NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(Integer v);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout v);
  Integer Spacing() const { return spacing_; }
  void SetSpacing(Integer v);
  void Click() override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void CMMouseEnter(TMessage& Message) override;
  void CMMouseLeave(TMessage& Message) override;
  void CMEnabledChanged(TMessage& Message) override;
  void CMCancelMode(TMessage& Message) override;

 private:
  void UpdateExclusive();
  // The press is over: the button shows whether it stays down.
  void ShowLatched();
  bool flat_ = false;
  Integer groupIndex_ = 0;
  bool down_ = false;
  bool allowAllUp_ = false;
  std::unique_ptr<TBitmap> glyph_;
  Integer numGlyphs_ = 1;
  TButtonLayout layout_ = blGlyphLeft;
  Integer spacing_ = 4;
  TButtonState state_ = bsUp;
  bool dragging_ = false;
  bool mouseInControl_ = false;
};
