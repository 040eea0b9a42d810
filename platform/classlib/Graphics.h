// Colours, pens, brushes, fonts, the canvas and the pictures of the class library.
//
// The canvas draws with the platform's rules, which the forms and widgets were laid out
// for: a line leaves out its end point, a polyline its last point, a rectangle's right and
// bottom edges lie outside it, the dotted pen alternates single pixels, text is drawn
// without antialiasing in exactly two colours. Everything here is GUI thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/SysUtils.h"
#include "classlib/System.h"
#include "classlib/Types.h"
#include "win32/Types.h"

// ---------------------------------------------------------------------------------------
// Colours: 0x00BBGGRR, or 0x80000000 plus a system colour index resolved when drawing.

using TColor = std::uint32_t;

constexpr TColor clSystemColor = 0x80000000u;
constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clActiveCaption = clSystemColor | 2;
constexpr TColor clInactiveCaption = clSystemColor | 3;
constexpr TColor clMenu = clSystemColor | 4;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowFrame = clSystemColor | 6;
constexpr TColor clMenuText = clSystemColor | 7;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clCaptionText = clSystemColor | 9;
constexpr TColor clActiveBorder = clSystemColor | 10;
constexpr TColor clInactiveBorder = clSystemColor | 11;
constexpr TColor clAppWorkSpace = clSystemColor | 12;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clInactiveCaptionText = clSystemColor | 19;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;
constexpr TColor clInfoText = clSystemColor | 23;
constexpr TColor clInfoBk = clSystemColor | 24;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// The RGB value (0x00BBGGRR) of a colour: system colours come from the one fixed palette
// that every window of the program shares.
TColor ColorToRGB(TColor Color);

// ---------------------------------------------------------------------------------------
// Drawing tools.

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode {
  pmBlack,
  pmWhite,
  pmNop,
  pmNot,
  pmCopy,
  pmNotCopy,
  pmMergePenNot,
  pmMaskPenNot,
  pmMergeNotPen,
  pmMaskNotPen,
  pmMerge,
  pmNotMerge,
  pmMask,
  pmNotMask,
  pmXor,
  pmNotXor
};
enum TBrushStyle {
  bsSolid,
  bsClear,
  bsHorizontal,
  bsVertical,
  bsFDiagonal,
  bsBDiagonal,
  bsCross,
  bsDiagCross
};
enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
enum TFontPitch { fpDefault, fpVariable, fpFixed };

// Base of the tools: OnChange tells the canvas or control that uses it.
class TGraphicsObject : public TPersistent {
 public:
  TNotifyEvent OnChange;

 protected:
  void Changed();
};

class TPen : public TGraphicsObject {
 public:
  TColor Color() const { return color_; }
  void SetColor(TColor v);
  Integer Width() const { return width_; }
  void SetWidth(Integer v);
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle v);
  TPenMode Mode() const { return mode_; }
  void SetMode(TPenMode v);
  void Assign(TPersistent* Source) override;

 private:
  TColor color_ = clBlack;
  Integer width_ = 1;
  TPenStyle style_ = psSolid;
  TPenMode mode_ = pmCopy;
};

class TBrush : public TGraphicsObject {
 public:
  TColor Color() const { return color_; }
  void SetColor(TColor v);
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle v);
  void Assign(TPersistent* Source) override;

 private:
  TColor color_ = clWhite;
  TBrushStyle style_ = bsSolid;
};

// A font by the names the forms use; "Tahoma" and "MS Sans Serif" are drawn with
// installed look-alikes of the same size. Height below 0 is the character height in
// pixels, above 0 the cell height; Size is in points at 96 pixels per inch.
class TFont : public TGraphicsObject {
 public:
  TFont();
  String Name() const { return name_; }
  void SetName(const String& v);
  Integer Size() const;
  void SetSize(Integer v);
  Integer Height() const { return height_; }
  void SetHeight(Integer v);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles v);
  TColor Color() const { return color_; }
  void SetColor(TColor v);
  Byte Charset() const { return charset_; }
  void SetCharset(Byte v);
  TFontPitch Pitch() const { return pitch_; }
  void SetPitch(TFontPitch v);
  void Assign(TPersistent* Source) override;

 private:
  String name_ = "MS Sans Serif";
  Integer height_ = -11;
  TFontStyles style_;
  TColor color_ = clWindowText;
  Byte charset_ = 1;
  TFontPitch pitch_ = fpDefault;
};

// Copy modes of CopyRect: the platform's ternary raster operation codes.
using TCopyMode = std::uint32_t;
constexpr TCopyMode cmBlackness = 0x00000042;
constexpr TCopyMode cmDstInvert = 0x00550009;
constexpr TCopyMode cmMergeCopy = 0x00C000CA;
constexpr TCopyMode cmMergePaint = 0x00BB0226;
constexpr TCopyMode cmNotSrcCopy = 0x00330008;
constexpr TCopyMode cmNotSrcErase = 0x001100A6;
constexpr TCopyMode cmPatCopy = 0x00F00021;
constexpr TCopyMode cmPatInvert = 0x005A0049;
constexpr TCopyMode cmPatPaint = 0x00FB0A09;
constexpr TCopyMode cmSrcAnd = 0x008800C6;
constexpr TCopyMode cmSrcCopy = 0x00CC0020;
constexpr TCopyMode cmSrcErase = 0x00440328;
constexpr TCopyMode cmSrcInvert = 0x00660046;
constexpr TCopyMode cmSrcPaint = 0x00EE0086;
constexpr TCopyMode cmWhiteness = 0x00FF0062;

// A device context: the handle under which a canvas is known to the platform's drawing
// calls (see Gdi.h). Pointer-sized, as on the platform; 0 is none.
struct HDC__;
using HDC = HDC__*;

// The pixels a canvas draws on (a bitmap's picture or a window's surface). Private to the
// class library.
struct TSurface;
class TGraphic;

class TCanvas : public TPersistent {
 public:
  TCanvas();
  ~TCanvas() override;

  TPen* Pen() { return pen_.get(); }
  TBrush* Brush() { return brush_.get(); }
  TFont* Font() { return font_.get(); }
  void SetPen(TPen* v) { pen_->Assign(v); }
  void SetBrush(TBrush* v) { brush_->Assign(v); }
  void SetFont(TFont* v) { font_->Assign(v); }
  TPoint PenPos() const { return penPos_; }
  void SetPenPos(TPoint p) { penPos_ = p; }
  TCopyMode CopyMode() const { return copyMode_; }
  void SetCopyMode(TCopyMode v) { copyMode_ = v; }
  // The area drawing reaches, in this canvas's coordinates.
  TRect ClipRect() const;

  void MoveTo(Integer X, Integer Y);
  // From the pen position to (X, Y), end point not drawn; the pen position moves there.
  void LineTo(Integer X, Integer Y);
  // Joined lines through the points; the last point is not drawn.
  void Polyline(std::span<const TPoint> Points);
  void Polyline(std::initializer_list<TPoint> Points) {
    Polyline(std::span<const TPoint>(Points.begin(), Points.size()));
  }
  // Pen outline and brush inside; covers X1 .. X2 - 1 by Y1 .. Y2 - 1.
  void Rectangle(Integer X1, Integer Y1, Integer X2, Integer Y2);
  void Rectangle(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
  void FillRect(const TRect& R);
  // A one-pixel frame in the brush colour.
  void FrameRect(const TRect& R);
  void Ellipse(Integer X1, Integer Y1, Integer X2, Integer Y2);
  void Ellipse(const TRect& R) { Ellipse(R.Left, R.Top, R.Right, R.Bottom); }
  // Text with its top left at (X, Y); the background is filled with the brush unless the
  // brush is clear. The pen position moves to the end of the text.
  void TextOut(Integer X, Integer Y, const String& Text);
  // As TextOut, clipped to R, whose inside is filled first unless the brush is clear.
  void TextRect(const TRect& R, Integer X, Integer Y, const String& Text);
  Integer TextWidth(const String& Text);
  Integer TextHeight(const String& Text);
  TSize TextExtent(const String& Text);
  // Unscaled at (X, Y); a transparent graphic leaves its transparent colour out.
  void Draw(Integer X, Integer Y, TGraphic* Graphic);
  void StretchDraw(const TRect& R, TGraphic* Graphic);
  // Source area onto Dest (stretched when the sizes differ) with CopyMode; the brush is
  // the pattern of the modes that use one.
  void CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source);
  TColor Pixels(Integer X, Integer Y) const;
  void SetPixels(Integer X, Integer Y, TColor Color);
  // The platform's focus rectangle: a dotted frame drawn by inversion.
  void DrawFocusRect(const TRect& R);

  // Drawing from several places at once is serialised by the caller; these are kept for
  // the code that brackets its drawing with them.
  void Lock() { ++lockCount_; }
  void Unlock() { --lockCount_; }
  bool HandleAllocated() const { return surface_ != nullptr || bound_ != nullptr; }
  void Refresh() {}
  // The canvas's device context, made on first use. After SetHandle the canvas draws where
  // that context draws (same pixels, origin and clipping) and answers it as its handle;
  // SetHandle(0) detaches it again.
  HDC Handle();
  void SetHandle(HDC Value);

  // Library-internal: where this canvas draws. Origin is where (0, 0) of the canvas lies
  // on the surface; Clip is in surface coordinates.
  void AttachSurface(TSurface* surface, TPoint origin, const TRect& clip);
  void DetachSurface() { surface_ = nullptr; }
  TSurface* Surface() const { return surface_; }
  TPoint Origin() const { return origin_; }
  // In surface coordinates.
  TRect SurfaceClip() const { return clip_; }

 private:
  // The pixels in R (surface coordinates, clipped here) changed: the screen follows.
  void Touch(const TRect& R);
  void PlotLine(Integer x0, Integer y0, Integer x1, Integer y1);
  void WideLine(Integer x0, Integer y0, Integer x1, Integer y1);
  void FillSurfaceRect(Integer l, Integer t, Integer r, Integer b, std::uint32_t rgb);
  TRect EffectiveClip() const;

  std::unique_ptr<TPen> pen_;
  std::unique_ptr<TBrush> brush_;
  std::unique_ptr<TFont> font_;
  TPoint penPos_;
  TCopyMode copyMode_ = cmSrcCopy;
  TSurface* surface_ = nullptr;
  TPoint origin_;
  TRect clip_;
  int lockCount_ = 0;
  HDC own_ = nullptr;
  HDC bound_ = nullptr;
};

// ---------------------------------------------------------------------------------------
// Pictures.

// Raised for a picture file or resource that cannot be read as what it claims to be.
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};
// A picture resource that the program does not carry.
class EResNotFound : public Exception {
 public:
  using Exception::Exception;
};

class TGraphic : public TPersistent {
 public:
  virtual Integer Width() const = 0;
  virtual Integer Height() const = 0;
  virtual void SetWidth(Integer) {}
  virtual void SetHeight(Integer) {}
  virtual bool Empty() const { return Width() == 0 || Height() == 0; }
  virtual bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool v);
  // The colour left out when drawn transparent; clNone for none.
  virtual TColor DrawTransparentColor() const { return clNone; }
  virtual void LoadFromFile(const String& FileName) = 0;
  virtual void SaveToFile(const String& FileName) = 0;
  TNotifyEvent OnChange;

  // Library-internal: the decoded pixels, or null when there are none.
  virtual const TSurface* PixelsForDrawing() const = 0;

 protected:
  virtual void Changed();
  bool transparent_ = false;
};

enum TPixelFormat {
  pfDevice,
  pf1bit,
  pf4bit,
  pf8bit,
  pf15bit,
  pf16bit,
  pf24bit,
  pf32bit,
  pfCustom
};
enum TTransparentMode { tmAuto, tmFixed };

class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;

  Integer Width() const override;
  Integer Height() const override;
  void SetWidth(Integer v) override;
  void SetHeight(Integer v) override;
  // Resizes keeping what fits; new pixels are white.
  void SetSize(Integer W, Integer H);
  TPixelFormat PixelFormat() const { return pixelFormat_; }
  void SetPixelFormat(TPixelFormat v);
  // A monochrome bitmap holds only black and white: making one turns every pixel that is
  // not white black.
  bool Monochrome() const { return monochrome_; }
  void SetMonochrome(bool v);
  // tmAuto: the bottom-left pixel; tmFixed: the colour set here.
  TColor TransparentColor() const;
  void SetTransparentColor(TColor v);
  TTransparentMode TransparentMode() const { return transparentMode_; }
  void SetTransparentMode(TTransparentMode v);
  TColor DrawTransparentColor() const override;
  TCanvas* Canvas();
  void Assign(TPersistent* Source) override;
  void Dormant() {}
  void FreeImage() {}

  // BMP files; file names may be Windows paths.
  void LoadFromFile(const String& FileName) override;
  void SaveToFile(const String& FileName) override;
  // A picture compiled into the program (see RegisterResourcePicture); the instance is
  // accepted for the callers' sake and not used.
  void LoadFromResourceName(HINSTANCE Instance, const String& ResName);
  // From bytes in memory (BMP or JPEG), Where names them in error messages.
  void LoadFromBytes(const void* Data, std::size_t Size, const String& Where);

  const TSurface* PixelsForDrawing() const override;
  TSurface* MutableSurface() { return surface_.get(); }

 protected:
  void Changed() override;

 private:
  std::unique_ptr<TSurface> surface_;
  std::unique_ptr<TCanvas> canvas_;
  TPixelFormat pixelFormat_ = pfDevice;
  bool monochrome_ = false;
  TColor transparentColor_ = clDefault;
  TTransparentMode transparentMode_ = tmAuto;
};

// A JPEG picture, decoded with libjpeg. Read-only apart from loading.
class TJPEGImage : public TGraphic {
 public:
  TJPEGImage();
  ~TJPEGImage() override;
  Integer Width() const override;
  Integer Height() const override;
  void LoadFromFile(const String& FileName) override;
  void SaveToFile(const String& FileName) override;
  void LoadFromBytes(const void* Data, std::size_t Size, const String& Where);
  void Assign(TPersistent* Source) override;
  const TSurface* PixelsForDrawing() const override;

 private:
  std::unique_ptr<TSurface> surface_;
};

// An icon picture (.ico files); drawn with its own transparency. An icon read from a file
// shows the file's first image and keeps the file whole, every image of it.
class TIcon : public TGraphic {
 public:
  TIcon();
  ~TIcon() override;
  Integer Width() const override;
  Integer Height() const override;
  void LoadFromFile(const String& FileName) override;
  void SaveToFile(const String& FileName) override;
  // From an icon file's bytes in memory, Where names them in error messages.
  void LoadFromBytes(const void* Data, std::size_t Size, const String& Where);
  // The icon file: the one it was read from; for an icon made from pictures, one 32-bit
  // image with its mask; for an icon without a picture, a header of type 0 and no images.
  std::string SaveToBytes() const;
  void Assign(TPersistent* Source) override;
  const TSurface* PixelsForDrawing() const override;

  // The platform's two pictures of the icon: the colour picture, and the mask, white where
  // the screen shows through. A monochrome icon has no colour picture: its mask is twice
  // as high, the mask over the black and white picture. False for an icon without a
  // picture, which has neither.
  bool GetBitmaps(std::unique_ptr<TBitmap>& Color, std::unique_ptr<TBitmap>& Mask) const;
  // The icon made of the two pictures, as GetBitmaps gives them (Color null: monochrome).
  // Raises EOutOfResources when they do not fit each other.
  void SetBitmaps(TBitmap* Color, TBitmap* Mask);

 private:
  std::unique_ptr<TSurface> surface_;
  std::string file_;  // the icon file read, empty for a picture made here
  bool monochrome_ = false;
};

// The platform's default application icon, 32 x 32 (IDI_APPLICATION).
std::unique_ptr<TIcon> LoadApplicationIcon();

// Holds one graphic of any kind; LoadFromFile picks BMP, JPEG or icon by the content.
class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;
  TGraphic* Graphic() const { return graphic_.get(); }
  // Takes a copy of the graphic (null empties the picture).
  void SetGraphic(TGraphic* v);
  // The picture as a bitmap: a graphic of another kind is replaced by an empty bitmap.
  TBitmap* Bitmap();
  void SetBitmap(TBitmap* v) { SetGraphic(v); }
  Integer Width() const { return graphic_ ? graphic_->Width() : 0; }
  Integer Height() const { return graphic_ ? graphic_->Height() : 0; }
  void LoadFromFile(const String& FileName);
  void SaveToFile(const String& FileName);
  void Assign(TPersistent* Source) override;
  TNotifyEvent OnChange;

 private:
  void Adopt(std::unique_ptr<TGraphic> g);
  void Changed();
  std::unique_ptr<TGraphic> graphic_;
};

class TImageList;

// A listener of an image list's changes, besides the list's own OnChange: each component
// that draws a shared list's images registers one.
class TChangeLink {
 public:
  ~TChangeLink();
  TImageList* Sender() const { return sender_; }
  TNotifyEvent OnChange;

 private:
  friend class TImageList;
  TImageList* sender_ = nullptr;
};

// Same-sized images, drawn by index (with their mask when one was given).
class TImageList : public TComponent {
 public:
  explicit TImageList(TComponent* AOwner);
  ~TImageList() override;
  Integer Width() const { return width_; }
  void SetWidth(Integer v);
  Integer Height() const { return height_; }
  void SetHeight(Integer v);
  Integer Count() const { return static_cast<Integer>(images_.size()); }
  // Adds the image (cut to the list's size) with an optional mask in which black marks
  // the pixels drawn; answers its index.
  Integer Add(TBitmap* Image, TBitmap* Mask);
  // Adds with every pixel of MaskColor transparent.
  Integer AddMasked(TBitmap* Image, TColor MaskColor);
  void Delete(Integer Index);
  void Clear();
  void Draw(TCanvas* Canvas, Integer X, Integer Y, Integer Index, bool Enabled = true);
  // Copies image Index into the bitmap (its transparent pixels in the bitmap's canvas
  // brush colour).
  void GetBitmap(Integer Index, TBitmap* Image);
  TNotifyEvent OnChange;
  void RegisterChanges(TChangeLink* Link);
  void UnRegisterChanges(TChangeLink* Link);

 private:
  void Change();
  std::vector<TChangeLink*> links_;
  Integer width_ = 16;
  Integer height_ = 16;
  std::vector<std::unique_ptr<TBitmap>> images_;
  std::vector<std::unique_ptr<TBitmap>> masks_;
};

// Pictures compiled into the program (skins, cursors, glyphs), by resource name; names
// match without regard to case. The bytes are a BMP or JPEG file's and must stay alive.
void RegisterResourcePicture(const String& Name, const void* Bytes, std::size_t Size);
bool FindResourcePicture(const String& Name, const void*& Bytes, std::size_t& Size);

// Tests: told of every text a canvas draws on a surface: the text, the cell it takes and
// the clipping it was drawn under, both in the surface's coordinates. Null stops it.
struct TTextDrawn {
  String Text;
  TRect Cell;
  TRect Clip;
};
void SetTextObserverForTesting(std::function<void(const TTextDrawn&)> Observer);
