// Bitmap routines of the widget kit: colour-keyed drawing, embossed disabled images, a
// banded gradient fill, grid-cell extraction and small rectangle helpers. They keep no
// state between calls and release everything they make, also on error. GUI thread only.
#pragma once

#include <memory>

#include "classlib/Gdi.h"
#include "classlib/Graphics.h"

using HPALETTE = void*;

// The width and height of a rectangle.
constexpr Integer WidthOf(const TRect& R) {
  return R.Right - R.Left;
}
constexpr Integer HeightOf(const TRect& R) {
  return R.Bottom - R.Top;
}
// Unlike the platform's test, the right and bottom edges count as inside: mouse handling
// treats the pixel just past a thumb as still on it.
constexpr bool PtInRectInclusive(const TRect& R, const TPoint& P) {
  return P.x >= R.Left && P.x <= R.Right && P.y >= R.Top && P.y <= R.Bottom;
}
// The colour's RGB with the palette-relative flag, the form a key colour is passed in.
TColor PaletteColor(TColor Color);
// The bytes of one bitmap row of Width pixels of BitCount bits, rounded up to 4.
constexpr Integer BytesPerScanline(Integer Width, Integer BitCount) {
  return ((Width * BitCount + 31) / 32) * 4;
}
// The palette size for a bit count: 2, 16 and 256 for 1, 4 and 8 bits, otherwise 0.
constexpr Integer PaletteEntries(Integer BitCount) {
  return BitCount == 1 ? 2 : BitCount == 4 ? 16 : BitCount == 8 ? 256 : 0;
}

// A one-pixel 3D frame on R's border: TopLeft on the top and left edges, BottomRight on
// the right and bottom edges (which take the top-right and bottom-left corners).
void Frame3D(TCanvas* Canvas, const TRect& R, TColor TopLeft, TColor BottomRight);

// Paints Color onto the canvas at (X, Y) wherever Mask is black and leaves the rest: the
// platform's raster operation 0x00E20746 with a monochrome source.
void PaintThroughMask(TCanvas* Canvas, Integer X, Integer Y, TBitmap* Mask, TColor Color);

// Dest becomes cell Index of Source cut into Cols x Rows cells (counts below 1 count as 1,
// an index below 0 as 0). Nothing happens when either is null.
void ExtractGridCell(TGraphic* Source, TBitmap* Dest, Integer Cols, Integer Rows, Integer Index);

// Copies the source area onto the destination area, stretched, leaving the destination
// where the source has the key colour. The palette is accepted and not needed: every
// surface here holds true colour.
void MaskedStretchCopy(HDC DstDC, Integer DstX, Integer DstY, Integer DstW, Integer DstH, HDC SrcDC,
                       Integer SrcX, Integer SrcY, Integer SrcW, Integer SrcH, TColor KeyColor,
                       HPALETTE Palette);
// Draws an area of Bitmap stretched onto the canvas. Sizes below 1 mean the whole bitmap.
// TransparentColor clNone draws every pixel with the canvas's copy mode; clDefault leaves
// out the bitmap's bottom-left colour; a monochrome bitmap leaves out white.
void StretchBitmapKeyed(TCanvas* Dest, TBitmap* Bitmap, Integer DstX, Integer DstY, Integer DstW,
                        Integer DstH, Integer SrcX, Integer SrcY, Integer SrcW, Integer SrcH,
                        TColor TransparentColor);
// The whole bitmap, unscaled, at (X, Y).
void DrawBitmapKeyed(TCanvas* Dest, Integer X, Integer Y, TBitmap* Bitmap, TColor TransparentColor);
// The Source rectangle of the bitmap, unscaled, at (X, Y).
void DrawBitmapPartKeyed(TCanvas* Dest, Integer X, Integer Y, const TRect& Source, TBitmap* Bitmap,
                         TColor TransparentColor);

// A new bitmap of Source's size in BackColor, with the pixels of OutlineColor painted in
// ShadowColor and, with DrawHighlight, first in HighlightColor one pixel right and down.
std::unique_ptr<TBitmap> MakeDisabledImage(TBitmap* Source, TColor OutlineColor, TColor BackColor,
                                           TColor HighlightColor, TColor ShadowColor,
                                           bool DrawHighlight);
// Draws the silhouette of image Index of the list embossed at (X, Y): its opaque pixels
// in ShadowColor, after, with DrawHighlight, a copy in HighlightColor one pixel right and
// down.
void DrawImageEmbossed(TImageList* Images, TCanvas* Canvas, Integer X, Integer Y, Integer Index,
                       TColor ShadowColor, TColor HighlightColor, bool DrawHighlight);

// Fills R with a gradient of Colors bands from BeginColor to EndColor. Direction: 0 top
// to bottom, 1 bottom to top, 2 left to right, 3 right to left.
void PaintColorRamp(TCanvas* Canvas, const TRect& R, TColor BeginColor, TColor EndColor,
                    Integer Direction, Byte Colors);
