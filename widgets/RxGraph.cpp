#include "widgets/RxGraph.h"

#include <algorithm>

#include "classlib/SysUtils.h"
#include "widgets/MaxMin.h"

namespace {

// A canvas that draws where a device context draws, for as long as it lives.
class TDcCanvas {
 public:
  explicit TDcCanvas(HDC DC) { canvas_.SetHandle(DC); }
  ~TDcCanvas() { canvas_.SetHandle(nullptr); }
  TCanvas* operator->() { return &canvas_; }
  TCanvas* get() { return &canvas_; }

 private:
  TCanvas canvas_;
};

std::unique_ptr<TBitmap> NewBitmap(Integer W, Integer H) {
  auto b = std::make_unique<TBitmap>();
  b->SetSize(std::max(W, 1), std::max(H, 1));
  return b;
}

}  // namespace

void PaintThroughMask(TCanvas* Canvas, Integer X, Integer Y, TBitmap* Mask, TColor Color) {
  TColor rgb = ColorToRGB(Color);
  TCanvas* m = Mask->Canvas();
  for (Integer y = 0; y < Mask->Height(); ++y)
    for (Integer x = 0; x < Mask->Width(); ++x)
      if ((m->Pixels(x, y) & 0xFFFFFF) == 0) Canvas->SetPixels(X + x, Y + y, rgb);
}

TColor PaletteColor(TColor Color) {
  return ColorToRGB(Color) | 0x02000000u;
}

void Frame3D(TCanvas* Canvas, const TRect& R, TColor TopLeft, TColor BottomRight) {
  if (IsRectEmpty(R)) return;
  TPen* pen = Canvas->Pen();
  TColor color = pen->Color();
  Integer width = pen->Width();
  TPenStyle style = pen->Style();
  pen->SetWidth(1);
  pen->SetStyle(psSolid);
  pen->SetColor(TopLeft);
  Canvas->MoveTo(R.Left, R.Bottom - 1);
  Canvas->LineTo(R.Left, R.Top);
  Canvas->LineTo(R.Right - 1, R.Top);
  pen->SetColor(BottomRight);
  Canvas->LineTo(R.Right - 1, R.Bottom - 1);
  Canvas->LineTo(R.Left - 1, R.Bottom - 1);
  pen->SetColor(color);
  pen->SetWidth(width);
  pen->SetStyle(style);
}

void ExtractGridCell(TGraphic* Source, TBitmap* Dest, Integer Cols, Integer Rows, Integer Index) {
  if (!Source || !Dest) return;
  if (Cols <= 0) Cols = 1;
  if (Rows <= 0) Rows = 1;
  if (Index < 0) Index = 0;
  Integer cw = Source->Width() / Cols, ch = Source->Height() / Rows;
  Dest->SetSize(cw, ch);
  Integer col = Index % Cols, row = Index / Cols;
  if (auto* bmp = dynamic_cast<TBitmap*>(Source)) {
    TRect cell = Bounds(col * cw, row * ch, cw, ch);
    TCopyMode mode = Dest->Canvas()->CopyMode();
    Dest->Canvas()->SetCopyMode(cmSrcCopy);
    Dest->Canvas()->CopyRect(Rect(0, 0, cw, ch), bmp->Canvas(), cell);
    Dest->Canvas()->SetCopyMode(mode);
    Dest->SetTransparentColor(bmp->TransparentColor());
  } else {
    Dest->Canvas()->Brush()->SetColor(clSilver);
    Dest->Canvas()->FillRect(Rect(0, 0, cw, ch));
    Dest->Canvas()->Draw(-col * cw, -row * ch, Source);
  }
  Dest->SetTransparent(Source->Transparent());
}

void MaskedStretchCopy(HDC DstDC, Integer DstX, Integer DstY, Integer DstW, Integer DstH, HDC SrcDC,
                       Integer SrcX, Integer SrcY, Integer SrcW, Integer SrcH, TColor KeyColor,
                       HPALETTE) {
  if (DstW == 0 || DstH == 0 || SrcW <= 0 || SrcH <= 0) return;
  TDcCanvas dst(DstDC), src(SrcDC);
  Integer aw = std::abs(DstW), ah = std::abs(DstH);
  auto srcCopy = NewBitmap(SrcW, SrcH);
  auto mask = NewBitmap(SrcW, SrcH);
  auto invMask = NewBitmap(SrcW, SrcH);
  auto dstCopy = NewBitmap(aw, ah);
  const TRect srcArea = Rect(0, 0, SrcW, SrcH);
  const TRect dstArea = Rect(0, 0, aw, ah);

  srcCopy->Canvas()->CopyRect(srcArea, src.get(), Bounds(SrcX, SrcY, SrcW, SrcH));
  // The mask is set (white) where the source has the key colour; the inverse mask is set
  // everywhere else.
  std::uint32_t key = ColorToRGB(KeyColor & 0xFFFFFFu);
  for (Integer y = 0; y < SrcH; ++y)
    for (Integer x = 0; x < SrcW; ++x) {
      bool keyed = (srcCopy->Canvas()->Pixels(x, y) & 0xFFFFFF) == key;
      mask->Canvas()->SetPixels(x, y, keyed ? clWhite : clBlack);
      invMask->Canvas()->SetPixels(x, y, keyed ? clBlack : clWhite);
    }
  dstCopy->Canvas()->CopyRect(dstArea, dst.get(), Bounds(DstX, DstY, aw, ah));
  // Clear what the source will cover, clear the source's key pixels, then merge.
  TRect stretched = DstW < 0 || DstH < 0 ? Rect(DstW < 0 ? aw : 0, DstH < 0 ? ah : 0,
                                                DstW < 0 ? 0 : aw, DstH < 0 ? 0 : ah)
                                         : dstArea;
  dstCopy->Canvas()->SetCopyMode(cmSrcAnd);
  dstCopy->Canvas()->CopyRect(stretched, mask->Canvas(), srcArea);
  srcCopy->Canvas()->SetCopyMode(cmSrcAnd);
  srcCopy->Canvas()->CopyRect(srcArea, invMask->Canvas(), srcArea);
  dstCopy->Canvas()->SetCopyMode(cmSrcPaint);
  dstCopy->Canvas()->CopyRect(stretched, srcCopy->Canvas(), srcArea);
  TCopyMode mode = dst->CopyMode();
  dst->SetCopyMode(cmSrcCopy);
  dst->CopyRect(Bounds(DstX, DstY, aw, ah), dstCopy->Canvas(), dstArea);
  dst->SetCopyMode(mode);
}

void StretchBitmapKeyed(TCanvas* Dest, TBitmap* Bitmap, Integer DstX, Integer DstY, Integer DstW,
                        Integer DstH, Integer SrcX, Integer SrcY, Integer SrcW, Integer SrcH,
                        TColor TransparentColor) {
  if (!Dest || !Bitmap || Bitmap->Empty()) return;
  if (DstW < 1) DstW = Bitmap->Width();
  if (DstH < 1) DstH = Bitmap->Height();
  if (SrcW < 1 || SrcH < 1) {
    SrcX = SrcY = 0;
    SrcW = Bitmap->Width();
    SrcH = Bitmap->Height();
  }
  TCanvas* bc = Bitmap->Canvas();
  // Drawing reads the bitmap; a change handler must not see it as changed.
  TNotifyEvent saved = std::move(Bitmap->OnChange);
  Bitmap->OnChange = nullptr;
  bc->Lock();
  try {
    if (TransparentColor == clNone) {
      Dest->CopyRect(Bounds(DstX, DstY, DstW, DstH), bc, Bounds(SrcX, SrcY, SrcW, SrcH));
    } else {
      TColor key;
      if (TransparentColor == clDefault)
        key = bc->Pixels(0, Bitmap->Height() - 1);
      else if (Bitmap->Monochrome())
        key = clWhite;
      else
        key = ColorToRGB(TransparentColor);
      MaskedStretchCopy(Dest->Handle(), DstX, DstY, DstW, DstH, bc->Handle(), SrcX, SrcY, SrcW,
                        SrcH, PaletteColor(key), nullptr);
    }
  } catch (...) {
    bc->Unlock();
    Bitmap->OnChange = std::move(saved);
    throw;
  }
  bc->Unlock();
  Bitmap->OnChange = std::move(saved);
}

void DrawBitmapKeyed(TCanvas* Dest, Integer X, Integer Y, TBitmap* Bitmap,
                     TColor TransparentColor) {
  if (!Bitmap) return;
  StretchBitmapKeyed(Dest, Bitmap, X, Y, Bitmap->Width(), Bitmap->Height(), 0, 0, Bitmap->Width(),
                     Bitmap->Height(), TransparentColor);
}

void DrawBitmapPartKeyed(TCanvas* Dest, Integer X, Integer Y, const TRect& Source, TBitmap* Bitmap,
                         TColor TransparentColor) {
  Integer w = WidthOf(Source), h = HeightOf(Source);
  // An empty part draws nothing (sizes below 1 would mean the whole bitmap).
  if (w < 1 || h < 1) return;
  StretchBitmapKeyed(Dest, Bitmap, X, Y, w, h, Source.Left, Source.Top, w, h, TransparentColor);
}

std::unique_ptr<TBitmap> MakeDisabledImage(TBitmap* Source, TColor OutlineColor, TColor BackColor,
                                           TColor HighlightColor, TColor ShadowColor,
                                           bool DrawHighlight) {
  if (!Source) return nullptr;
  Integer w = Source->Width(), h = Source->Height();
  auto result = std::make_unique<TBitmap>();
  result->SetSize(w, h);
  result->Canvas()->Brush()->SetColor(BackColor);
  result->Canvas()->FillRect(Rect(0, 0, w, h));
  // The mask is black where the source shows the outline colour. A monochrome source
  // holds only black and white, so its outline is black whatever was asked.
  auto mask = std::make_unique<TBitmap>();
  mask->SetSize(w, h);
  std::uint32_t outline = Source->Monochrome() ? 0 : ColorToRGB(OutlineColor);
  for (Integer y = 0; y < h; ++y)
    for (Integer x = 0; x < w; ++x) {
      bool set = (Source->Canvas()->Pixels(x, y) & 0xFFFFFF) == outline;
      mask->Canvas()->SetPixels(x, y, set ? clBlack : clWhite);
    }
  if (DrawHighlight) PaintThroughMask(result->Canvas(), 1, 1, mask.get(), HighlightColor);
  PaintThroughMask(result->Canvas(), 0, 0, mask.get(), ShadowColor);
  return result;
}

void DrawImageEmbossed(TImageList* Images, TCanvas* Canvas, Integer X, Integer Y, Integer Index,
                       TColor ShadowColor, TColor HighlightColor, bool DrawHighlight) {
  if (!Images || !Canvas || Index < 0 || Index >= Images->Count()) return;
  // The image's transparent pixels come out in the brush colour; taking it twice with
  // two brush colours tells them from opaque pixels of either colour.
  TBitmap onBlack, onWhite;
  onBlack.Canvas()->Brush()->SetColor(clBlack);
  onWhite.Canvas()->Brush()->SetColor(clWhite);
  Images->GetBitmap(Index, &onBlack);
  Images->GetBitmap(Index, &onWhite);
  TBitmap mask;
  mask.SetSize(Images->Width(), Images->Height());
  for (Integer y = 0; y < mask.Height(); ++y)
    for (Integer x = 0; x < mask.Width(); ++x) {
      bool opaque = onBlack.Canvas()->Pixels(x, y) == onWhite.Canvas()->Pixels(x, y);
      mask.Canvas()->SetPixels(x, y, opaque ? clBlack : clWhite);
    }
  mask.SetMonochrome(true);
  TColor brush = Canvas->Brush()->Color();
  if (DrawHighlight) PaintThroughMask(Canvas, X + 1, Y + 1, &mask, HighlightColor);
  PaintThroughMask(Canvas, X, Y, &mask, ShadowColor);
  Canvas->Brush()->SetColor(brush);
}

void PaintColorRamp(TCanvas* Canvas, const TRect& R, TColor BeginColor, TColor EndColor,
                    Integer Direction, Byte Colors) {
  if (!Canvas || IsRectEmpty(R)) return;
  TColor brush = Canvas->Brush()->Color();
  TBrushStyle style = Canvas->Brush()->Style();
  Canvas->Brush()->SetStyle(bsSolid);
  if (Colors < 2) {
    Canvas->Brush()->SetColor(BeginColor);
    Canvas->FillRect(R);
  } else {
    bool rows = Direction == 0 || Direction == 1;
    bool forward = Direction == 0 || Direction == 2;
    Integer extent = rows ? HeightOf(R) : WidthOf(R);
    TColor b = ColorToRGB(BeginColor), e = ColorToRGB(EndColor);
    TColor base = forward ? b : e, other = forward ? e : b;
    Integer delta[3];
    for (int c = 0; c < 3; ++c)
      delta[c] = Integer((other >> (8 * c)) & 0xFF) - Integer((base >> (8 * c)) & 0xFF);
    Integer steps = ::Max(2, ::Min(Colors, extent));
    Integer band = extent / steps;
    auto bandRect = [&](Integer start, Integer depth) {
      return rows ? Rect(R.Left, start, R.Right, start + depth)
                  : Rect(start, R.Top, start + depth, R.Bottom);
    };
    Integer origin = rows ? R.Top : R.Left;
    if (band > 0) {
      for (Integer i = 0; i < steps; ++i) {
        TColor c = 0;
        for (int ch = 0; ch < 3; ++ch) {
          Integer v = Integer((base >> (8 * ch)) & 0xFF) + MulDiv(i, delta[ch], steps - 1);
          c |= TColor(v & 0xFF) << (8 * ch);
        }
        Canvas->Brush()->SetColor(c);
        Canvas->FillRect(bandRect(origin + i * band, band));
      }
    }
    Integer rest = extent % steps;
    if (rest > 0) {
      Canvas->Brush()->SetColor(forward ? EndColor : BeginColor);
      Canvas->FillRect(bandRect(origin + extent - rest, rest));
    }
  }
  Canvas->Brush()->SetColor(brush);
  Canvas->Brush()->SetStyle(style);
  Canvas->Pen()->SetStyle(psSolid);
  Canvas->Pen()->SetMode(pmCopy);
}
