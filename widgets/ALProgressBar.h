// A windowless progress bar composed off-screen: a solid colour, a two- or three-colour
// gradient or a tiled bitmap fills it, the part not yet reached is painted in the
// background colour, and an optional sunken frame and a centred position text go on top.
#pragma once

#include <memory>

#include "classlib/Controls.h"
#include "classlib/Graphics.h"

enum TBarColorStyle { cs1Color, cs2Colors, cs3Colors };
// The direction in which the filled part grows.
enum TProgressDirection { pdLeftToRight, pdRightToLeft, pdBottomToTop, pdTopToBottom };

class TALProgressBar : public TGraphicControl {
 public:
  // 200 x 20, green through yellow to red, with a frame and a percentage text.
  explicit TALProgressBar(TComponent* AOwner);
  ~TALProgressBar() override;

  // Every setter stores its value and repaints at once, building the bar picture afresh.
  TColor BackgroundColor() const { return backgroundColor_; }
  void SetBackgroundColor(TColor Value);
  // Copied; a null bitmap empties it. A non-empty one is tiled over the bar instead of
  // the colours.
  TBitmap* BarBitmap() const { return barBitmap_.get(); }
  void SetBarBitmap(TBitmap* Value);
  TColor BarColor1() const { return barColor1_; }
  void SetBarColor1(TColor Value);
  TColor BarColor2() const { return barColor2_; }
  void SetBarColor2(TColor Value);
  TColor BarColor3() const { return barColor3_; }
  void SetBarColor3(TColor Value);
  TBarColorStyle BarColorStyle() const { return barColorStyle_; }
  void SetBarColorStyle(TBarColorStyle Value);
  TColor BorderColor1() const { return borderColor1_; }
  void SetBorderColor1(TColor Value);
  TColor BorderColor2() const { return borderColor2_; }
  void SetBorderColor2(TColor Value);
  TProgressDirection Direction() const { return direction_; }
  void SetDirection(TProgressDirection Value);
  // Min and Max are not checked against each other or against Position.
  Integer Max() const { return max_; }
  void SetMax(Integer Value);
  Integer Min() const { return min_; }
  void SetMin(Integer Value);
  // A value outside Min .. Max is ignored, not clamped. A new position reuses the bar
  // picture, so it costs only copies and fills (the VU bars move at the VU timer's rate).
  Integer Position() const { return position_; }
  void SetPosition(Integer Value);
  const String& PosTextPrefix() const { return posTextPrefix_; }
  void SetPosTextPrefix(const String& Value);
  const String& PosTextSuffix() const { return posTextSuffix_; }
  void SetPosTextSuffix(const String& Value);
  bool ShowBorder() const { return showBorder_; }
  void SetShowBorder(bool Value);
  bool ShowPosText() const { return showPosText_; }
  void SetShowPosText(bool Value);

 protected:
  void Paint() override;
  void CMFontChanged(TMessage& Message) override;

 private:
  void PaintNow();
  void DrawBar(bool Rebuild);
  void DrawBorder();
  void DrawPosText();
  void TileBitmap();
  void BuildGradient();

  std::unique_ptr<TBitmap> buffer_;  // the picture, composed before it goes on screen
  TColor borderColor1_ = clBtnShadow;
  TColor borderColor2_ = clBtnHighlight;
  TColor backgroundColor_ = clBtnFace;
  Integer position_ = 0;
  std::unique_ptr<TBitmap> barBitmap_;
  Integer min_ = 0;
  Integer max_ = 100;
  bool showBorder_ = true;
  TProgressDirection direction_ = pdLeftToRight;
  bool showPosText_ = true;
  String posTextSuffix_ = "%";
  String posTextPrefix_;
  TBarColorStyle barColorStyle_ = cs3Colors;
  TColor barColor1_ = clGreen;
  TColor barColor2_ = clYellow;
  TColor barColor3_ = clRed;
  bool rebuild_ = true;             // cleared only while a new position repaints
  std::unique_ptr<TBitmap> cache_;  // the gradient or tiled bitmap at the bar's full size
};

// The colour of step Index (1 to Count) of a gradient from Color1 to Color2: step 1 gives
// Color1, step Count gives Color2. Raises ERangeError for a step outside 1 to Count.
TColor ColorAt(TColor Color1, TColor Color2, Integer Index, Integer Count);
