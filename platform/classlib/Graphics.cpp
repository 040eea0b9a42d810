#include "classlib/Graphics.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <vector>

#include "classlib/GuiPrivate.h"

// ---------------------------------------------------------------------------------------
// Colours

namespace {

// The one palette of system colours, by index (the classic grey desktop scheme the skins
// were drawn against).
constexpr TColor kSystemPalette[] = {
    0xC0C0C0,  // scroll bar
    0x808000,  // desktop
    0x800000,  // active caption
    0x808080,  // inactive caption
    0xC0C0C0,  // menu
    0xFFFFFF,  // window
    0x000000,  // window frame
    0x000000,  // menu text
    0x000000,  // window text
    0xFFFFFF,  // caption text
    0xC0C0C0,  // active border
    0xC0C0C0,  // inactive border
    0x808080,  // application workspace
    0x800000,  // highlight
    0xFFFFFF,  // highlight text
    0xC0C0C0,  // button face
    0x808080,  // button shadow
    0x808080,  // grey text
    0x000000,  // button text
    0xC0C0C0,  // inactive caption text
    0xFFFFFF,  // button highlight
    0x000000,  // 3D dark shadow
    0xDFDFDF,  // 3D light
    0x000000,  // tooltip text
    0xE1FFFF,  // tooltip background
};

}  // namespace

TColor ColorToRGB(TColor Color) {
  if (Color & clSystemColor) {
    TColor index = Color & 0xFF;
    if (index < std::size(kSystemPalette)) return kSystemPalette[index];
    return 0;
  }
  return Color & 0xFFFFFF;
}

// ---------------------------------------------------------------------------------------
// Tools

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

void TPen::SetColor(TColor v) {
  if (v == color_) return;
  color_ = v;
  Changed();
}
void TPen::SetWidth(Integer v) {
  if (v < 0) v = 0;
  if (v == width_) return;
  width_ = v;
  Changed();
}
void TPen::SetStyle(TPenStyle v) {
  if (v == style_) return;
  style_ = v;
  Changed();
}
void TPen::SetMode(TPenMode v) {
  if (v == mode_) return;
  mode_ = v;
  Changed();
}
void TPen::Assign(TPersistent* Source) {
  if (auto* p = dynamic_cast<TPen*>(Source)) {
    color_ = p->color_;
    width_ = p->width_;
    style_ = p->style_;
    mode_ = p->mode_;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TBrush::SetColor(TColor v) {
  if (v == color_ && style_ != bsClear) return;
  color_ = v;
  // Choosing a colour makes a clear brush solid again, as the platform's brushes do.
  if (style_ == bsClear) style_ = bsSolid;
  Changed();
}
void TBrush::SetStyle(TBrushStyle v) {
  if (v == style_) return;
  style_ = v;
  Changed();
}
void TBrush::Assign(TPersistent* Source) {
  if (auto* b = dynamic_cast<TBrush*>(Source)) {
    color_ = b->color_;
    style_ = b->style_;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

TFont::TFont() = default;
void TFont::SetName(const String& v) {
  if (v == name_) return;
  name_ = v;
  Changed();
}
Integer TFont::Size() const {
  Integer h = height_ < 0 ? -height_ : height_;
  return (h * 72 + 48) / 96;
}
void TFont::SetSize(Integer v) {
  SetHeight(-((v * 96 + 36) / 72));
}
void TFont::SetHeight(Integer v) {
  if (v == height_) return;
  height_ = v;
  Changed();
}
void TFont::SetStyle(TFontStyles v) {
  if (v == style_) return;
  style_ = v;
  Changed();
}
void TFont::SetColor(TColor v) {
  if (v == color_) return;
  color_ = v;
  Changed();
}
void TFont::SetCharset(Byte v) {
  if (v == charset_) return;
  charset_ = v;
  Changed();
}
void TFont::SetPitch(TFontPitch v) {
  if (v == pitch_) return;
  pitch_ = v;
  Changed();
}
void TFont::Assign(TPersistent* Source) {
  if (auto* f = dynamic_cast<TFont*>(Source)) {
    name_ = f->name_;
    height_ = f->height_;
    style_ = f->style_;
    color_ = f->color_;
    charset_ = f->charset_;
    pitch_ = f->pitch_;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

namespace {

// Faces made to the metrics of the fonts the forms were laid out with, in the folder the
// distribution puts them (the "fonts-wine" package). They are not in the window system's
// font path, so the program adds them to its own.
constexpr const char* kLookAlikeFolder = "/usr/share/wine/fonts/";
constexpr const char* kLookAlikeFiles[] = {"tahoma.ttf", "tahomabd.ttf", "ms_sans_serif.ttf"};

// Each designed font and the faces that stand in for it, closest widths first: a caption
// laid out for the designed font must fit where it was laid out. DejaVu Sans, wider than
// all of them, is the last resort.
struct TLookAlike {
  const char* designed;
  std::initializer_list<const char*> faces;
};
const TLookAlike kLookAlikes[] = {
    {"tahoma", {"Tahoma", "Liberation Sans", "DejaVu Sans"}},
    {"ms sans serif", {"MS Sans Serif", "Tahoma", "Liberation Sans", "DejaVu Sans"}},
    {"microsoft sans serif", {"Tahoma", "MS Sans Serif", "Liberation Sans", "DejaVu Sans"}},
    {"arial", {"Liberation Sans", "Arimo", "DejaVu Sans"}},
    {"verdana", {"DejaVu Sans"}},
    {"courier new", {"Liberation Mono", "Cousine", "DejaVu Sans Mono"}},
    {"courier", {"Liberation Mono", "Cousine", "DejaVu Sans Mono"}},
    {"times new roman", {"Liberation Serif", "Tinos", "DejaVu Serif"}},
};

bool HasBoldFace(const QString& family) {
  for (const QString& style : QFontDatabase::styles(family))
    if (QFontDatabase::bold(family, style)) return true;
  return false;
}

// The installed face that draws a designed font name; a name with no look-alike is
// asked for as it is. Bold text passes over faces that have no bold of their own (the
// look-alike of MS Sans Serif has none, and bold must stand out from regular). Answers
// are kept: the lookup is made once per name and weight.
QString ResolveFamily(const String& name, bool bold) {
  static std::map<std::pair<String, bool>, QString> resolved;
  String lower = LowerCase(name);
  if (auto it = resolved.find({lower, bold}); it != resolved.end()) return it->second;
  static const bool loaded = [] {
    for (const char* file : kLookAlikeFiles)
      QFontDatabase::addApplicationFont(QString(kLookAlikeFolder) + file);
    return true;
  }();
  (void)loaded;
  QString family = AnsiToQt(name);
  for (const TLookAlike& l : kLookAlikes) {
    if (lower != l.designed) continue;
    for (const char* face : l.faces)
      if (QFontDatabase::hasFamily(face) && (!bold || HasBoldFace(face))) {
        family = face;
        break;
      }
    break;
  }
  resolved.emplace(std::make_pair(lower, bold), family);
  return family;
}

}  // namespace

QFont MakeQFont(TFont* font) {
  EnsureQtApplication();
  TFontStyles st = font->Style();
  QFont f(ResolveFamily(font->Name(), st.Contains(fsBold)));
  Integer h = font->Height();
  // A positive height is the cell height, internal leading included: the character
  // height is about four fifths of it.
  int px = h < 0 ? -h : (h > 0 ? std::max(1, (h * 4 + 2) / 5) : 11);
  f.setPixelSize(std::max(1, px));
  f.setBold(st.Contains(fsBold));
  f.setItalic(st.Contains(fsItalic));
  f.setUnderline(st.Contains(fsUnderline));
  f.setStrikeOut(st.Contains(fsStrikeOut));
  // Two-colour text: the pixel tests and the skins rely on it.
  // Each character drawn in its own cell, side by side, without kerning or ligatures: the
  // width of a text is the sum of its characters', which the measuring below relies on.
  f.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoSubpixelAntialias |
                                          QFont::PreferNoShaping));
  f.setKerning(false);
  f.setHintingPreference(QFont::PreferFullHinting);
  return f;
}

namespace {

// A font as text is measured and drawn with it, kept for the fonts in use: the times on
// the decks change their text a hundred times a second, and building a font and laying
// out its text each time cost more than all the rest of their drawing.
struct TFontFace {
  String name;
  Integer height = 0;
  TFontStyles style;
  QFont font;
  int ascent = 0, lineHeight = 0;
  std::array<int, 256> widths;  // of each code-page character, -1 until measured
};

TFontFace& FaceOf(TFont* font) {
  static std::vector<std::unique_ptr<TFontFace>> faces;
  for (auto& f : faces)
    if (f->height == font->Height() && f->style == font->Style() && f->name == font->Name())
      return *f;
  // A program uses a handful of fonts; one that makes many starts the list again.
  if (faces.size() >= 64) faces.clear();
  auto face = std::make_unique<TFontFace>();
  face->name = font->Name();
  face->height = font->Height();
  face->style = font->Style();
  face->font = MakeQFont(font);
  QFontMetrics fm(face->font);
  face->ascent = fm.ascent();
  face->lineHeight = fm.height();
  face->widths.fill(-1);
  faces.push_back(std::move(face));
  return *faces.back();
}

int TextWidthIn(TFontFace& face, const String& text) {
  int width = 0;
  for (char ch : text) {
    int& w = face.widths[static_cast<unsigned char>(ch)];
    if (w < 0) w = QFontMetrics(face.font).horizontalAdvance(AnsiCharToQt(ch));
    width += w;
  }
  return width;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Raster operations

namespace {

inline std::uint32_t Rop2(TPenMode mode, std::uint32_t p, std::uint32_t d) {
  std::uint32_t r;
  switch (mode) {
    case pmBlack:
      r = 0;
      break;
    case pmWhite:
      r = 0xFFFFFF;
      break;
    case pmNop:
      r = d;
      break;
    case pmNot:
      r = ~d;
      break;
    case pmCopy:
      r = p;
      break;
    case pmNotCopy:
      r = ~p;
      break;
    case pmMergePenNot:
      r = p | ~d;
      break;
    case pmMaskPenNot:
      r = p & ~d;
      break;
    case pmMergeNotPen:
      r = ~p | d;
      break;
    case pmMaskNotPen:
      r = ~p & d;
      break;
    case pmMerge:
      r = p | d;
      break;
    case pmNotMerge:
      r = ~(p | d);
      break;
    case pmMask:
      r = p & d;
      break;
    case pmNotMask:
      r = ~(p & d);
      break;
    case pmXor:
      r = p ^ d;
      break;
    case pmNotXor:
      r = ~(p ^ d);
      break;
    default:
      r = p;
      break;
  }
  return 0xFF000000u | (r & 0xFFFFFF);
}

// The ternary raster operation of a copy mode: bit (P * 4 + S * 2 + D) of the code's
// operation byte is the result for that combination of pattern, source and destination.
inline std::uint32_t Rop3(std::uint32_t code, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
  std::uint32_t op = (code >> 16) & 0xFF;
  std::uint32_t r;
  switch (op) {
    case 0xCC:
      r = s;
      break;
    case 0x88:
      r = s & d;
      break;
    case 0xEE:
      r = s | d;
      break;
    case 0x66:
      r = s ^ d;
      break;
    case 0x44:
      r = s & ~d;
      break;
    case 0x33:
      r = ~s;
      break;
    case 0x11:
      r = ~(s | d);
      break;
    case 0xC0:
      r = p & s;
      break;
    case 0xBB:
      r = ~s | d;
      break;
    case 0xF0:
      r = p;
      break;
    case 0x5A:
      r = p ^ d;
      break;
    case 0x55:
      r = ~d;
      break;
    case 0x00:
      r = 0;
      break;
    case 0xFF:
      r = 0xFFFFFF;
      break;
    case 0xAA:
      r = d;
      break;
    default:
      r = 0;
      for (int i = 0; i < 8; ++i) {
        if (!((op >> i) & 1)) continue;
        r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
      }
  }
  return 0xFF000000u | (r & 0xFFFFFF);
}

// On-off runs of the styled pens, in pixels.
const int kDash[] = {18, 6};
const int kDot[] = {1, 1};
const int kDashDot[] = {9, 6, 3, 6};
const int kDashDotDot[] = {9, 3, 3, 3, 3, 3};

struct DashPattern {
  const int* runs = nullptr;
  int count = 0;
};

DashPattern PatternOf(TPenStyle s) {
  switch (s) {
    case psDash:
      return {kDash, 2};
    case psDot:
      return {kDot, 2};
    case psDashDot:
      return {kDashDot, 4};
    case psDashDotDot:
      return {kDashDotDot, 6};
    default:
      return {};
  }
}

TRect Intersect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
  if (r.Right < r.Left) r.Right = r.Left;
  if (r.Bottom < r.Top) r.Bottom = r.Top;
  return r;
}

TRect Normalised(Integer x1, Integer y1, Integer x2, Integer y2) {
  return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

// The smallest rectangle holding both; an empty one adds nothing.
TRect Union(const TRect& a, const TRect& b) {
  if (IsRectEmpty(a)) return b;
  if (IsRectEmpty(b)) return a;
  return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
          std::max(a.Bottom, b.Bottom)};
}

TRect Inflated(const TRect& r, int by) {
  return {r.Left - by, r.Top - by, r.Right + by, r.Bottom + by};
}

// ---------------------------------------------------------------------------------------
// One-pixel lines, as the platform draws them: from the start point towards the end point,
// the end point left out, one pixel per step along the longer axis, the shorter axis
// following the error term below. Styled pens restart their pattern with every line.
// Everything works straight on the surface's bytes: the level graph draws dozens of these
// per message and must neither allocate nor spend more than a few nanoseconds a pixel.

// What a line needs of its canvas, taken once per line or polyline.
struct LineTarget {
  std::uint32_t* bits;
  qsizetype stride;  // in pixels
  TRect clip;        // surface coordinates
  std::uint32_t pix;
  TPenMode mode;
  DashPattern pat;
};

// The rule itself, a pixel at a time: pattern, pen mode and, when Clipped, the clip test.
template <bool Clipped>
void PlotPixels(const LineTarget& t, int x0, int y0, int x1, int y1) {
  int run = 0, left = t.pat.count ? t.pat.runs[0] : 0;
  const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  const int steps = std::max(dx, dy);
  int err = (dx > dy ? dx : -dy) / 2;
  int x = x0, y = y0;
  for (int i = 0; i < steps; ++i) {
    bool on = t.pat.count == 0 || (run % 2) == 0;
    if (on && (!Clipped ||
               (x >= t.clip.Left && x < t.clip.Right && y >= t.clip.Top && y < t.clip.Bottom))) {
      std::uint32_t& d = t.bits[y * t.stride + x];
      d = t.mode == pmCopy ? t.pix : Rop2(t.mode, t.pix, d);
    }
    if (t.pat.count && --left == 0) {
      if (++run == t.pat.count) run = 0;
      left = t.pat.runs[run];
    }
    int e2 = err;
    if (e2 > -dx) {
      err -= dy;
      x += sx;
    }
    if (e2 < dy) {
      err += dx;
      y += sy;
    }
  }
}

// The same pixels for a solid copying pen with the line wholly inside the clip, drawn as
// runs along the longer axis. Each run's length comes straight from the error term: in the
// loop above the longer axis steps every time, and the shorter one steps after the pixel
// where the error first passes its bound (below dy for a flat line, above -dx for a steep
// one), the error moving by dy (or dx) a pixel in between. After the first run the error
// lies within one pixel's change of where it started, so every later run is q or q + 1
// pixels long (q the ratio of the axes) and needs no division.
void PlotSolidRuns(const LineTarget& t, int x0, int y0, int x1, int y1) {
  const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1;
  const qsizetype rowStep = y0 < y1 ? t.stride : -t.stride;
  const std::uint32_t pix = t.pix;
  std::uint32_t* const bits = t.bits;
  qsizetype at = y0 * t.stride + x0;
  if (dx > dy) {
    if (dy == 0) {
      std::fill_n(bits + (sx > 0 ? at : at - (dx - 1)), dx, pix);
      return;
    }
    const int q = dx / dy, qdy = q * dy;
    int err = dx / 2;
    int n = err / dy + 1;
    for (int left = dx; left > 0;) {
      n = std::min(n, left);
      std::fill_n(bits + (sx > 0 ? at : at - (n - 1)), n, pix);
      at += sx * n + rowStep;
      err += dx - n * dy;
      left -= n;
      n = q + (err >= qdy ? 1 : 0);
    }
  } else {
    if (dx == 0) {
      for (int k = 0; k < dy; ++k, at += rowStep) bits[at] = pix;
      return;
    }
    const int q = dy / dx, qdx = q * dx;
    int err = -dy / 2;
    int n = err >= 0 ? 1 : -err / dx + 1;
    for (int left = dy; left > 0;) {
      n = std::min(n, left);
      for (int k = 0; k < n; ++k, at += rowStep) bits[at] = pix;
      at += sx;
      err += n * dx - dy;
      left -= n;
      n = q + (-err >= qdx ? 1 : 0);
    }
  }
}

// Draws one line (surface coordinates) and answers the area it may have changed.
TRect DrawSegment(const LineTarget& t, int x0, int y0, int x1, int y1) {
  if (x0 == x1 && y0 == y1) return {};
  const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
  // The last pixel drawn is one step short of the end point along the axis that steps
  // every time; along the other it may still reach it.
  const int lastX = dx >= dy ? x1 - (x0 < x1 ? 1 : -1) : x1;
  const int lastY = dy >= dx ? y1 - (y0 < y1 ? 1 : -1) : y1;
  const TRect box{std::min(x0, lastX), std::min(y0, lastY), std::max(x0, lastX) + 1,
                  std::max(y0, lastY) + 1};
  const bool inside = box.Left >= t.clip.Left && box.Right <= t.clip.Right &&
                      box.Top >= t.clip.Top && box.Bottom <= t.clip.Bottom;
  if (!inside) {
    PlotPixels<true>(t, x0, y0, x1, y1);
    return Intersect(box, t.clip);
  }
  if (t.pat.count == 0 && t.mode == pmCopy)
    PlotSolidRuns(t, x0, y0, x1, y1);
  else
    PlotPixels<false>(t, x0, y0, x1, y1);
  return box;
}

LineTarget LineTargetOf(QImage& img, const TRect& clip, TPen* pen) {
  // bits() once: it checks whether the image is shared (and copies it if so).
  return {reinterpret_cast<std::uint32_t*>(img.bits()),
          img.bytesPerLine() / 4,
          clip,
          ColorToPixel(pen->Color()),
          pen->Mode(),
          PatternOf(pen->Style())};
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Canvas

TCanvas::TCanvas()
    : pen_(std::make_unique<TPen>()),
      brush_(std::make_unique<TBrush>()),
      font_(std::make_unique<TFont>()) {}

TCanvas::~TCanvas() {
  ForgetCanvasHandles(this);
}

void TCanvas::AttachSurface(TSurface* surface, TPoint origin, const TRect& clip) {
  surface_ = surface;
  origin_ = origin;
  clip_ = clip;
}

TRect TCanvas::EffectiveClip() const {
  if (!surface_ || surface_->image.isNull()) return {};
  return Intersect(clip_, TRect{0, 0, surface_->image.width(), surface_->image.height()});
}

TRect TCanvas::ClipRect() const {
  TRect c = EffectiveClip();
  return OffsetRectBy(c, -origin_.x, -origin_.y);
}

void TCanvas::Touch(const TRect& R) {
  if (surface_ && surface_->widget)
    surface_->Touched(QRect(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top));
}

void TCanvas::MoveTo(Integer X, Integer Y) {
  penPos_ = {X, Y};
}

void TCanvas::LineTo(Integer X, Integer Y) {
  TPoint from = penPos_;
  penPos_ = {X, Y};
  if (!surface_ || pen_->Style() == psClear) return;
  if (pen_->Width() > 1)
    WideLine(from.x, from.y, X, Y);
  else
    PlotLine(from.x, from.y, X, Y);
}

void TCanvas::Polyline(std::span<const TPoint> Points) {
  if (Points.empty() || !surface_ || pen_->Style() == psClear) return;
  if (pen_->Width() > 1) {
    TPoint keep = penPos_;
    penPos_ = Points[0];
    for (std::size_t i = 1; i < Points.size(); ++i) LineTo(Points[i].x, Points[i].y);
    // The pen position is not part of a polyline's effect.
    penPos_ = keep;
    return;
  }
  // The same lines as LineTo from point to point, with the canvas's state taken and the
  // screen told once for the whole polyline.
  TRect clip = EffectiveClip();
  if (IsRectEmpty(clip)) return;
  const LineTarget t = LineTargetOf(surface_->image, clip, pen_.get());
  TRect changed;
  for (std::size_t i = 1; i < Points.size(); ++i)
    changed =
        Union(changed, DrawSegment(t, Points[i - 1].x + origin_.x, Points[i - 1].y + origin_.y,
                                   Points[i].x + origin_.x, Points[i].y + origin_.y));
  Touch(changed);
}

void TCanvas::PlotLine(Integer x0, Integer y0, Integer x1, Integer y1) {
  TRect clip = EffectiveClip();
  if (IsRectEmpty(clip)) return;
  const LineTarget t = LineTargetOf(surface_->image, clip, pen_.get());
  Touch(DrawSegment(t, x0 + origin_.x, y0 + origin_.y, x1 + origin_.x, y1 + origin_.y));
}

void TCanvas::WideLine(Integer x0, Integer y0, Integer x1, Integer y1) {
  QPainter p(&surface_->image);
  TRect c = EffectiveClip();
  p.setClipRect(QRect(c.Left, c.Top, c.Width(), c.Height()));
  p.translate(origin_.x, origin_.y);
  QPen pen(QColor::fromRgb(ColorToPixel(pen_->Color())));
  pen.setWidth(pen_->Width());
  pen.setCapStyle(Qt::RoundCap);
  if (pen_->Mode() == pmXor || pen_->Mode() == pmNot)
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  p.setPen(pen);
  p.drawLine(x0, y0, x1, y1);
  p.end();
  // Round caps reach half the width past the end points.
  Touch(Intersect(
      c, Inflated(OffsetRectBy(Normalised(x0, y0, x1, y1), origin_.x, origin_.y), pen_->Width())));
}

void TCanvas::FillSurfaceRect(Integer l, Integer t, Integer r, Integer b, std::uint32_t pix) {
  TRect clip = EffectiveClip();
  TRect a = Intersect(clip, TRect{l + origin_.x, t + origin_.y, r + origin_.x, b + origin_.y});
  if (IsRectEmpty(a)) return;
  QImage& img = surface_->image;
  for (int y = a.Top; y < a.Bottom; ++y) {
    auto* line = reinterpret_cast<std::uint32_t*>(img.scanLine(y));
    std::fill(line + a.Left, line + a.Right, pix);
  }
  Touch(a);
}

void TCanvas::Rectangle(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  if (!surface_) return;
  TRect r = Normalised(X1, Y1, X2, Y2);
  bool fill = brush_->Style() != bsClear;
  std::uint32_t bpix = ColorToPixel(brush_->Color());
  if (pen_->Style() == psClear) {
    // Without a pen the platform fills one pixel less on the right and at the bottom.
    if (fill) FillSurfaceRect(r.Left, r.Top, r.Right - 1, r.Bottom - 1, bpix);
    return;
  }
  int w = std::max(1, pen_->Width());
  if (fill) FillSurfaceRect(r.Left + w, r.Top + w, r.Right - w, r.Bottom - w, bpix);
  if (r.Width() <= 0 || r.Height() <= 0) return;
  TPoint keep = penPos_;
  if (w == 1) {
    int x2 = r.Right - 1, y2 = r.Bottom - 1;
    if (x2 == r.Left || y2 == r.Top) {
      // A one-pixel-wide or -high rectangle is a single run of pixels.
      PlotLine(r.Left, r.Top, x2 + (x2 == r.Left ? 0 : 1), y2 + (y2 == r.Top ? 0 : 1));
      if (x2 == r.Left && y2 == r.Top) PlotLine(r.Left, r.Top, r.Left + 1, r.Top);
    } else {
      PlotLine(r.Left, r.Top, x2, r.Top);
      PlotLine(x2, r.Top, x2, y2);
      PlotLine(x2, y2, r.Left, y2);
      PlotLine(r.Left, y2, r.Left, r.Top);
    }
  } else {
    std::uint32_t ppix = ColorToPixel(pen_->Color());
    FillSurfaceRect(r.Left, r.Top, r.Right, r.Top + w, ppix);
    FillSurfaceRect(r.Left, r.Bottom - w, r.Right, r.Bottom, ppix);
    FillSurfaceRect(r.Left, r.Top, r.Left + w, r.Bottom, ppix);
    FillSurfaceRect(r.Right - w, r.Top, r.Right, r.Bottom, ppix);
  }
  penPos_ = keep;
}

void TCanvas::FillRect(const TRect& R) {
  if (!surface_ || brush_->Style() == bsClear) return;
  FillSurfaceRect(R.Left, R.Top, R.Right, R.Bottom, ColorToPixel(brush_->Color()));
}

void TCanvas::FrameRect(const TRect& R) {
  if (!surface_ || IsRectEmpty(R)) return;
  std::uint32_t pix = ColorToPixel(brush_->Color());
  FillSurfaceRect(R.Left, R.Top, R.Right, R.Top + 1, pix);
  FillSurfaceRect(R.Left, R.Bottom - 1, R.Right, R.Bottom, pix);
  FillSurfaceRect(R.Left, R.Top, R.Left + 1, R.Bottom, pix);
  FillSurfaceRect(R.Right - 1, R.Top, R.Right, R.Bottom, pix);
}

void TCanvas::Ellipse(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  if (!surface_) return;
  TRect r = Normalised(X1, Y1, X2, Y2);
  if (r.Width() < 1 || r.Height() < 1) return;
  QPainter p(&surface_->image);
  TRect c = EffectiveClip();
  p.setClipRect(QRect(c.Left, c.Top, c.Width(), c.Height()));
  p.translate(origin_.x, origin_.y);
  p.setRenderHint(QPainter::Antialiasing, false);
  if (pen_->Style() == psClear) {
    p.setPen(Qt::NoPen);
  } else {
    QPen pen(QColor::fromRgb(ColorToPixel(pen_->Color())));
    pen.setWidth(std::max(1, pen_->Width()) == 1 ? 0 : pen_->Width());
    p.setPen(pen);
  }
  if (brush_->Style() == bsClear)
    p.setBrush(Qt::NoBrush);
  else
    p.setBrush(QColor::fromRgb(ColorToPixel(brush_->Color())));
  // Qt's outline covers one pixel more than the rectangle; the platform's stays inside.
  p.drawEllipse(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
  p.end();
  // A wide pen is centred on the outline.
  Touch(Intersect(c, Inflated(OffsetRectBy(r, origin_.x, origin_.y), pen_->Width())));
}

TSize TCanvas::TextExtent(const String& Text) {
  TFontFace& face = FaceOf(font_.get());
  return {TextWidthIn(face, Text), face.lineHeight};
}
Integer TCanvas::TextWidth(const String& Text) {
  return TextExtent(Text).cx;
}
Integer TCanvas::TextHeight(const String& Text) {
  return TextExtent(Text).cy;
}

namespace {
std::function<void(const TTextDrawn&)> g_textObserver;
}  // namespace

void SetTextObserverForTesting(std::function<void(const TTextDrawn&)> Observer) {
  g_textObserver = std::move(Observer);
}

void TCanvas::TextOut(Integer X, Integer Y, const String& Text) {
  TFontFace& face = FaceOf(font_.get());
  const TSize ext{TextWidthIn(face, Text), face.lineHeight};
  if (surface_) {
    TRect c = EffectiveClip();
    if (g_textObserver)
      g_textObserver({Text,
                      {X + origin_.x, Y + origin_.y, X + origin_.x + ext.cx, Y + origin_.y + ext.cy},
                      c});
    if (!IsRectEmpty(c)) {
      if (brush_->Style() != bsClear)
        FillSurfaceRect(X, Y, X + ext.cx, Y + ext.cy, ColorToPixel(brush_->Color()));
      QPainter p(&surface_->image);
      p.setClipRect(QRect(c.Left, c.Top, c.Width(), c.Height()));
      p.translate(origin_.x, origin_.y);
      p.setFont(face.font);
      p.setPen(QColor::fromRgb(ColorToPixel(font_->Color())));
      p.drawText(X, Y + face.ascent, AnsiToQt(Text));
      p.end();
      // Glyphs may overhang their cell (italics, accents): a cell height more all round.
      Touch(Intersect(c, Inflated(TRect{X + origin_.x, Y + origin_.y, X + origin_.x + ext.cx,
                                        Y + origin_.y + ext.cy},
                                  ext.cy)));
    }
  }
  penPos_ = {X + ext.cx, Y};
}

void TCanvas::TextRect(const TRect& R, Integer X, Integer Y, const String& Text) {
  if (!surface_) return;
  TRect keep = clip_;
  TRect inner = OffsetRectBy(R, origin_.x, origin_.y);
  clip_ = Intersect(clip_, inner);
  if (brush_->Style() != bsClear) FillRect(R);
  TBrushStyle style = brush_->Style();
  TColor color = brush_->Color();
  brush_->SetStyle(bsClear);
  try {
    TextOut(X, Y, Text);
  } catch (...) {
    clip_ = keep;
    brush_->SetColor(color);
    brush_->SetStyle(style);
    throw;
  }
  brush_->SetColor(color);
  brush_->SetStyle(style);
  clip_ = keep;
}

namespace {

// Copies src area onto dst area of the canvas's surface, nearest pixel when the sizes
// differ. key: skip source pixels of this RGB (transparent drawing); rop applies otherwise.
// Answers the area of dst it may have changed.
TRect Blit(QImage& dst, const TRect& clip, const TRect& d, const QImage& src, const TRect& s,
           std::uint32_t rop, std::uint32_t pattern, bool keyed, std::uint32_t key) {
  if (d.Width() == 0 || d.Height() == 0 || s.Width() == 0 || s.Height() == 0) return {};
  // Negative extents mirror, as the platform's stretching does.
  int dw = d.Width(), dh = d.Height(), sw = s.Width(), sh = s.Height();
  int dl = std::min(d.Left, d.Right), dt = std::min(d.Top, d.Bottom);
  int adw = std::abs(dw), adh = std::abs(dh);
  bool flipX = (dw < 0) != (sw < 0), flipY = (dh < 0) != (sh < 0);
  int sl = std::min(s.Left, s.Right), st = std::min(s.Top, s.Bottom);
  int asw = std::abs(sw), ash = std::abs(sh);
  TRect a = Intersect(clip, TRect{dl, dt, dl + adw, dt + adh});
  for (int y = a.Top; y < a.Bottom; ++y) {
    int ry = y - dt;
    if (flipY) ry = adh - 1 - ry;
    int sy = st + int((long long)ry * ash / adh);
    if (sy < 0 || sy >= src.height()) continue;
    auto* sline = reinterpret_cast<const std::uint32_t*>(src.constScanLine(sy));
    auto* dline = reinterpret_cast<std::uint32_t*>(dst.scanLine(y));
    for (int x = a.Left; x < a.Right; ++x) {
      int rx = x - dl;
      if (flipX) rx = adw - 1 - rx;
      int sx = sl + int((long long)rx * asw / adw);
      if (sx < 0 || sx >= src.width()) continue;
      std::uint32_t sp = sline[sx];
      if (keyed) {
        if ((sp & 0xFFFFFF) == key) continue;
        dline[x] = sp | 0xFF000000u;
      } else if (rop == cmSrcCopy) {
        dline[x] = sp | 0xFF000000u;
      } else {
        dline[x] = Rop3(rop, pattern, sp, dline[x]);
      }
    }
  }
  return a;
}

}  // namespace

void TCanvas::Draw(Integer X, Integer Y, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  StretchDraw(TRect{X, Y, X + Graphic->Width(), Y + Graphic->Height()}, Graphic);
}

void TCanvas::StretchDraw(const TRect& R, TGraphic* Graphic) {
  if (!surface_ || !Graphic || Graphic->Empty()) return;
  const TSurface* s = Graphic->PixelsForDrawing();
  if (!s || s->image.isNull()) return;
  TColor key = Graphic->Transparent() ? Graphic->DrawTransparentColor() : clNone;
  bool keyed = key != clNone;
  std::uint32_t keyPix = keyed ? (ColorToPixel(key) & 0xFFFFFF) : 0;
  Touch(Blit(surface_->image, EffectiveClip(), OffsetRectBy(R, origin_.x, origin_.y), s->image,
             TRect{0, 0, s->image.width(), s->image.height()}, keyed ? cmSrcCopy : copyMode_,
             ColorToPixel(brush_->Color()), keyed, keyPix));
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source) {
  if (!surface_ || !Canvas || !Canvas->surface_ || Canvas->surface_->image.isNull()) return;
  // A shared reference: copying a surface onto itself then reads from the unchanged
  // pixels (the first write detaches), so overlapping areas come out as the platform's do.
  QImage srcImage = Canvas->surface_->image;
  Touch(Blit(surface_->image, EffectiveClip(), OffsetRectBy(Dest, origin_.x, origin_.y), srcImage,
             OffsetRectBy(Source, Canvas->origin_.x, Canvas->origin_.y), copyMode_,
             ColorToPixel(brush_->Color()), false, 0));
}

TColor TCanvas::Pixels(Integer X, Integer Y) const {
  TRect c = EffectiveClip();
  int x = X + origin_.x, y = Y + origin_.y;
  if (x < c.Left || x >= c.Right || y < c.Top || y >= c.Bottom) return 0xFFFFFFFFu;
  return PixelToColor(surface_->image.pixel(x, y));
}

void TCanvas::SetPixels(Integer X, Integer Y, TColor Color) {
  TRect c = EffectiveClip();
  int x = X + origin_.x, y = Y + origin_.y;
  if (x < c.Left || x >= c.Right || y < c.Top || y >= c.Bottom) return;
  reinterpret_cast<std::uint32_t*>(surface_->image.scanLine(y))[x] = ColorToPixel(Color);
  Touch(TRect{x, y, x + 1, y + 1});
}

void TCanvas::DrawFocusRect(const TRect& R) {
  TRect c = EffectiveClip();
  if (IsRectEmpty(c) || IsRectEmpty(R)) return;
  TRect r = OffsetRectBy(R, origin_.x, origin_.y);
  auto invert = [&](int x, int y) {
    if (x < c.Left || x >= c.Right || y < c.Top || y >= c.Bottom) return;
    auto* p = reinterpret_cast<std::uint32_t*>(surface_->image.scanLine(y)) + x;
    *p = 0xFF000000u | (~*p & 0xFFFFFF);
  };
  for (int x = r.Left; x < r.Right; x += 2) {
    invert(x, r.Top);
    if (r.Bottom - 1 != r.Top) invert(x, r.Bottom - 1);
  }
  for (int y = r.Top + 2; y < r.Bottom - 1; y += 2) {
    invert(r.Left, y);
    if (r.Right - 1 != r.Left) invert(r.Right - 1, y);
  }
  Touch(Intersect(c, r));
}

// ---------------------------------------------------------------------------------------
// Pictures

namespace {

std::map<String, std::pair<const void*, std::size_t>>& Resources() {
  static std::map<String, std::pair<const void*, std::size_t>> map;
  return map;
}

std::string ReadWholeFile(const String& FileName) {
  std::ifstream in(LinuxPath(FileName), std::ios::binary);
  if (!in) throw EFOpenError(FileName);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw EFOpenError(FileName);
  return bytes;
}

bool IsBmp(const void* data, std::size_t size) {
  return size >= 2 && std::memcmp(data, "BM", 2) == 0;
}
bool IsJpeg(const void* data, std::size_t size) {
  auto* b = static_cast<const unsigned char*>(data);
  return size >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF;
}
bool IsIcon(const void* data, std::size_t size) {
  auto* b = static_cast<const unsigned char*>(data);
  return size >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] == 0;
}

}  // namespace

// Defined in Jpeg.cpp: decodes with libjpeg, raising EInvalidGraphic naming `where`.
QImage DecodeJpeg(const void* data, std::size_t size, const String& where);

void RegisterResourcePicture(const String& Name, const void* Bytes, std::size_t Size) {
  Resources()[UpperCase(Name)] = {Bytes, Size};
}

bool FindResourcePicture(const String& Name, const void*& Bytes, std::size_t& Size) {
  auto it = Resources().find(UpperCase(Name));
  if (it == Resources().end()) return false;
  Bytes = it->second.first;
  Size = it->second.second;
  return true;
}

void TGraphic::SetTransparent(bool v) {
  if (v == transparent_) return;
  transparent_ = v;
  Changed();
}
void TGraphic::Changed() {
  if (OnChange) OnChange(this);
}

TBitmap::TBitmap() : surface_(std::make_unique<TSurface>()) {}
TBitmap::~TBitmap() = default;

Integer TBitmap::Width() const {
  return surface_->image.width();
}
Integer TBitmap::Height() const {
  return surface_->image.height();
}
void TBitmap::SetWidth(Integer v) {
  SetSize(v, Height());
}
void TBitmap::SetHeight(Integer v) {
  SetSize(Width(), v);
}

void TBitmap::SetSize(Integer W, Integer H) {
  W = std::max(0, W);
  H = std::max(0, H);
  if (W == Width() && H == Height()) return;
  if (W == 0 || H == 0) {
    surface_->image = QImage();
  } else {
    QImage next(W, H, QImage::Format_RGB32);
    if (next.isNull()) throw EOutOfResources("Out of system resources");
    next.fill(0xFFFFFFFFu);
    const QImage& old = surface_->image;
    int cw = std::min(W, old.width()), ch = std::min(H, old.height());
    for (int y = 0; y < ch; ++y)
      std::memcpy(next.scanLine(y), old.constScanLine(y), std::size_t(cw) * 4);
    surface_->image = std::move(next);
  }
  Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat v) {
  if (v == pixelFormat_) return;
  pixelFormat_ = v;
  if (v == pf1bit) {
    SetMonochrome(true);
  } else if (monochrome_) {
    monochrome_ = false;
  }
  Changed();
}

void TBitmap::SetMonochrome(bool v) {
  if (v == monochrome_) return;
  monochrome_ = v;
  if (v) {
    pixelFormat_ = pf1bit;
    QImage& img = surface_->image;
    for (int y = 0; y < img.height(); ++y) {
      auto* line = reinterpret_cast<std::uint32_t*>(img.scanLine(y));
      for (int x = 0; x < img.width(); ++x)
        line[x] = (line[x] & 0xFFFFFF) == 0xFFFFFF ? 0xFFFFFFFFu : 0xFF000000u;
    }
  } else {
    pixelFormat_ = pfDevice;
  }
  Changed();
}

TColor TBitmap::TransparentColor() const {
  if (transparentMode_ == tmFixed) return transparentColor_;
  if (Empty()) return clDefault;
  return PixelToColor(surface_->image.pixel(0, Height() - 1));
}

void TBitmap::SetTransparentColor(TColor v) {
  if (v == transparentColor_ && transparentMode_ == (v == clDefault ? tmAuto : tmFixed)) return;
  transparentColor_ = v;
  transparentMode_ = v == clDefault ? tmAuto : tmFixed;
  Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode v) {
  if (v == transparentMode_) return;
  transparentMode_ = v;
  if (v == tmAuto) transparentColor_ = clDefault;
  Changed();
}

TColor TBitmap::DrawTransparentColor() const {
  if (!Transparent() || Empty()) return clNone;
  return ColorToRGB(TransparentColor());
}

TCanvas* TBitmap::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TCanvas>();
  canvas_->AttachSurface(surface_.get(), {0, 0}, TRect{0, 0, INT_MAX / 2, INT_MAX / 2});
  return canvas_.get();
}

void TBitmap::Assign(TPersistent* Source) {
  if (Source == this) return;
  if (!Source) {
    surface_->image = QImage();
    Changed();
    return;
  }
  if (auto* b = dynamic_cast<TBitmap*>(Source)) {
    surface_->image = b->surface_->image.copy();
    pixelFormat_ = b->pixelFormat_;
    monochrome_ = b->monochrome_;
    transparent_ = b->transparent_;
    transparentColor_ = b->transparentColor_;
    transparentMode_ = b->transparentMode_;
    Changed();
    return;
  }
  if (auto* pic = dynamic_cast<TPicture*>(Source)) {
    Assign(pic->Graphic());
    return;
  }
  if (auto* g = dynamic_cast<TGraphic*>(Source)) {
    const TSurface* s = g->PixelsForDrawing();
    surface_->image = s ? s->image.copy() : QImage();
    pixelFormat_ = pf24bit;
    monochrome_ = false;
    Changed();
    return;
  }
  TGraphic::Assign(Source);
}

void TBitmap::LoadFromFile(const String& FileName) {
  std::string bytes = ReadWholeFile(FileName);
  if (!IsBmp(bytes.data(), bytes.size()))
    throw EInvalidGraphic("Bitmap image is not valid: " + FileName);
  LoadFromBytes(bytes.data(), bytes.size(), FileName);
}

void TBitmap::LoadFromBytes(const void* Data, std::size_t Size, const String& Where) {
  QImage img;
  bool mono = false;
  if (IsJpeg(Data, Size)) {
    img = DecodeJpeg(Data, Size, Where);
  } else {
    if (!IsBmp(Data, Size) ||
        !img.loadFromData(static_cast<const uchar*>(Data), int(Size), "BMP") || img.isNull())
      throw EInvalidGraphic("Bitmap image is not valid: " + Where);
    mono = img.depth() == 1;
    pixelFormat_ = img.depth() == 1    ? pf1bit
                   : img.depth() == 4  ? pf4bit
                   : img.depth() == 8  ? pf8bit
                   : img.depth() == 16 ? pf16bit
                   : img.depth() == 32 ? pf32bit
                                       : pf24bit;
  }
  surface_->image = img.convertToFormat(QImage::Format_RGB32);
  monochrome_ = mono;
  Changed();
}

void TBitmap::LoadFromResourceName(HINSTANCE, const String& ResName) {
  const void* bytes = nullptr;
  std::size_t size = 0;
  if (!FindResourcePicture(ResName, bytes, size))
    throw EResNotFound("Resource " + ResName + " not found");
  LoadFromBytes(bytes, size, ResName);
}

void TBitmap::SaveToFile(const String& FileName) {
  if (!surface_->image.save(QFile::decodeName(LinuxPath(FileName).c_str()), "BMP"))
    throw EFCreateError(FileName);
}

const TSurface* TBitmap::PixelsForDrawing() const {
  return surface_.get();
}
void TBitmap::Changed() {
  TGraphic::Changed();
}

TJPEGImage::TJPEGImage() : surface_(std::make_unique<TSurface>()) {}
TJPEGImage::~TJPEGImage() = default;
Integer TJPEGImage::Width() const {
  return surface_->image.width();
}
Integer TJPEGImage::Height() const {
  return surface_->image.height();
}
void TJPEGImage::LoadFromFile(const String& FileName) {
  std::string bytes = ReadWholeFile(FileName);
  LoadFromBytes(bytes.data(), bytes.size(), FileName);
}
void TJPEGImage::LoadFromBytes(const void* Data, std::size_t Size, const String& Where) {
  surface_->image = DecodeJpeg(Data, Size, Where);
  Changed();
}
void TJPEGImage::SaveToFile(const String& FileName) {
  // The programs only read JPEG pictures (the skins); writing one is not offered.
  throw EInvalidGraphic("Cannot save a JPEG picture: " + FileName);
}
void TJPEGImage::Assign(TPersistent* Source) {
  if (auto* j = dynamic_cast<TJPEGImage*>(Source)) {
    surface_->image = j->surface_->image.copy();
    Changed();
    return;
  }
  TGraphic::Assign(Source);
}
const TSurface* TJPEGImage::PixelsForDrawing() const {
  return surface_.get();
}

TIcon::TIcon() : surface_(std::make_unique<TSurface>()) {
  transparent_ = true;
}
TIcon::~TIcon() = default;
Integer TIcon::Width() const {
  return surface_->image.width();
}
Integer TIcon::Height() const {
  return surface_->image.height();
}
void TIcon::LoadFromFile(const String& FileName) {
  std::string bytes = ReadWholeFile(FileName);
  LoadFromBytes(bytes.data(), bytes.size(), FileName);
}
void TIcon::LoadFromBytes(const void* Data, std::size_t Size, const String& Where) {
  QImage img;
  if (!IsIcon(Data, Size) || !img.loadFromData(static_cast<const uchar*>(Data), int(Size), "ICO"))
    throw EInvalidGraphic("Icon image is not valid: " + Where);
  // Icons keep their transparent pixels: drawn over the destination as keyed pixels.
  surface_->image = img.convertToFormat(QImage::Format_ARGB32);
  file_.assign(static_cast<const char*>(Data), Size);
  monochrome_ = false;
  Changed();
}
void TIcon::SaveToFile(const String& FileName) {
  const std::string bytes = SaveToBytes();
  std::ofstream out(LinuxPath(FileName), std::ios::binary | std::ios::trunc);
  if (!out || !out.write(bytes.data(), std::streamsize(bytes.size())))
    throw EFCreateError(FileName);
}

namespace {

void Put16(std::string& s, unsigned v) {
  s += char(v & 0xFF);
  s += char((v >> 8) & 0xFF);
}
void Put32(std::string& s, std::uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

// A one-bit picture of the image's size: set (white) where Set says so.
std::unique_ptr<TBitmap> OneBitPicture(int w, int h, const std::function<bool(int, int)>& Set) {
  auto b = std::make_unique<TBitmap>();
  b->SetSize(w, h);
  QImage& img = b->MutableSurface()->image;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.setPixel(x, y, Set(x, y) ? 0xFFFFFFFFu : 0xFF000000u);
  b->SetMonochrome(true);
  return b;
}

bool White(const QImage& img, int x, int y) {
  return (img.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF;
}

}  // namespace

std::string TIcon::SaveToBytes() const {
  if (!file_.empty()) return file_;
  const QImage& img = surface_->image;
  std::string s;
  Put16(s, 0);
  if (img.isNull()) {
    Put16(s, 0);  // no picture: no icon file type
    Put16(s, 0);
    return s;
  }
  const int w = img.width(), h = img.height();
  const std::uint32_t maskRow = std::uint32_t((w + 31) / 32 * 4);
  const std::uint32_t size = 40 + std::uint32_t(w * h * 4) + maskRow * std::uint32_t(h);
  Put16(s, 1);
  Put16(s, 1);
  s += char(w & 0xFF);  // 256 is written as 0
  s += char(h & 0xFF);
  s += char(0);  // more than 256 colours
  s += char(0);
  Put16(s, 1);
  Put16(s, 32);
  Put32(s, size);
  Put32(s, 6 + 16);
  // The image: its header (twice the height: colour over mask), colour rows, mask rows,
  // each from the bottom up.
  Put32(s, 40);
  Put32(s, std::uint32_t(w));
  Put32(s, std::uint32_t(2 * h));
  Put16(s, 1);
  Put16(s, 32);
  for (int i = 0; i < 6; ++i) Put32(s, i == 1 ? size - 40 : 0);
  for (int y = h - 1; y >= 0; --y)
    for (int x = 0; x < w; ++x) Put32(s, img.pixel(x, y));
  for (int y = h - 1; y >= 0; --y) {
    std::string row(maskRow, '\0');
    for (int x = 0; x < w; ++x)
      if (qAlpha(img.pixel(x, y)) == 0) row[std::size_t(x / 8)] |= char(0x80 >> (x % 8));
    s += row;
  }
  return s;
}

bool TIcon::GetBitmaps(std::unique_ptr<TBitmap>& Color, std::unique_ptr<TBitmap>& Mask) const {
  Color.reset();
  Mask.reset();
  const QImage& img = surface_->image;
  if (img.isNull()) return false;
  const int w = img.width(), h = img.height();
  auto clear = [&img](int x, int y) { return qAlpha(img.pixel(x, y)) == 0; };
  if (monochrome_) {
    Mask = OneBitPicture(w, 2 * h, [&](int x, int y) {
      return y < h ? clear(x, y) : !clear(x, y - h) && White(img, x, y - h);
    });
    return true;
  }
  Mask = OneBitPicture(w, h, clear);
  Color = std::make_unique<TBitmap>();
  Color->SetSize(w, h);
  QImage& c = Color->MutableSurface()->image;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) c.setPixel(x, y, clear(x, y) ? 0xFF000000u : img.pixel(x, y));
  return true;
}

void TIcon::SetBitmaps(TBitmap* Color, TBitmap* Mask) {
  if (!Mask || Mask->Empty()) throw EOutOfResources("Out of system resources");
  const QImage& m = Mask->PixelsForDrawing()->image;
  const int w = m.width(), h = Color ? m.height() : m.height() / 2;
  if (Color ? Color->Width() != w || Color->Height() != h : h == 0 || m.height() % 2)
    throw EOutOfResources("Out of system resources");
  QImage img(w, h, QImage::Format_ARGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool screen = White(m, x, y);
      QRgb p = 0;
      if (Color) {
        if (!screen) p = 0xFF000000u | Color->PixelsForDrawing()->image.pixel(x, y);
      } else {
        // Where the mask keeps the screen and the picture would invert it, these surfaces
        // can only show black.
        const bool white = White(m, x, y + h);
        if (!screen || white) p = !screen && white ? 0xFFFFFFFFu : 0xFF000000u;
      }
      img.setPixel(x, y, p);
    }
  surface_->image = std::move(img);
  file_.clear();
  monochrome_ = !Color;
  Changed();
}

void TIcon::Assign(TPersistent* Source) {
  if (auto* i = dynamic_cast<TIcon*>(Source)) {
    surface_->image = i->surface_->image.copy();
    file_ = i->file_;
    monochrome_ = i->monochrome_;
    Changed();
    return;
  }
  TGraphic::Assign(Source);
}
const TSurface* TIcon::PixelsForDrawing() const {
  return surface_.get();
}

std::unique_ptr<TIcon> LoadApplicationIcon() {
  // A window: a white client area under a title bar, in a black frame.
  TBitmap color, mask;
  color.SetSize(32, 32);
  mask.SetSize(32, 32);
  mask.Canvas()->Brush()->SetColor(clWhite);
  mask.Canvas()->FillRect(Rect(0, 0, 32, 32));
  mask.Canvas()->Brush()->SetColor(clBlack);
  mask.Canvas()->FillRect(Rect(2, 4, 30, 28));
  TCanvas* c = color.Canvas();
  c->Brush()->SetColor(clWhite);
  c->Pen()->SetColor(clBlack);
  c->Rectangle(2, 4, 30, 28);
  c->Brush()->SetColor(clNavy);
  c->FillRect(Rect(3, 5, 29, 10));
  auto icon = std::make_unique<TIcon>();
  icon->SetBitmaps(&color, &mask);
  return icon;
}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::Changed() {
  if (OnChange) OnChange(this);
}

void TPicture::Adopt(std::unique_ptr<TGraphic> g) {
  graphic_ = std::move(g);
  if (graphic_) graphic_->OnChange = [this](TObject*) { Changed(); };
  Changed();
}

void TPicture::SetGraphic(TGraphic* v) {
  if (!v) {
    Adopt(nullptr);
    return;
  }
  std::unique_ptr<TGraphic> copy;
  if (dynamic_cast<TBitmap*>(v))
    copy = std::make_unique<TBitmap>();
  else if (dynamic_cast<TJPEGImage*>(v))
    copy = std::make_unique<TJPEGImage>();
  else if (dynamic_cast<TIcon*>(v))
    copy = std::make_unique<TIcon>();
  else
    copy = std::make_unique<TBitmap>();
  copy->Assign(v);
  copy->SetTransparent(v->Transparent());
  Adopt(std::move(copy));
}

TBitmap* TPicture::Bitmap() {
  if (!dynamic_cast<TBitmap*>(graphic_.get())) Adopt(std::make_unique<TBitmap>());
  return static_cast<TBitmap*>(graphic_.get());
}

void TPicture::LoadFromFile(const String& FileName) {
  std::string bytes = ReadWholeFile(FileName);
  std::unique_ptr<TGraphic> g;
  if (IsBmp(bytes.data(), bytes.size())) {
    auto b = std::make_unique<TBitmap>();
    b->LoadFromBytes(bytes.data(), bytes.size(), FileName);
    g = std::move(b);
  } else if (IsJpeg(bytes.data(), bytes.size())) {
    auto j = std::make_unique<TJPEGImage>();
    j->LoadFromBytes(bytes.data(), bytes.size(), FileName);
    g = std::move(j);
  } else if (IsIcon(bytes.data(), bytes.size())) {
    auto i = std::make_unique<TIcon>();
    i->LoadFromBytes(bytes.data(), bytes.size(), FileName);
    g = std::move(i);
  } else {
    throw EInvalidGraphic("Unknown picture format: " + FileName);
  }
  Adopt(std::move(g));
}

void TPicture::SaveToFile(const String& FileName) {
  if (graphic_) graphic_->SaveToFile(FileName);
}

void TPicture::Assign(TPersistent* Source) {
  if (!Source) {
    Adopt(nullptr);
  } else if (auto* p = dynamic_cast<TPicture*>(Source)) {
    SetGraphic(p->graphic_.get());
  } else if (auto* g = dynamic_cast<TGraphic*>(Source)) {
    SetGraphic(g);
  } else {
    TPersistent::Assign(Source);
  }
}

// ---------------------------------------------------------------------------------------
// Image list

TImageList::TImageList(TComponent* AOwner) : TComponent(AOwner) {}
TImageList::~TImageList() {
  for (TChangeLink* l : links_) l->sender_ = nullptr;
  links_.clear();
}

TChangeLink::~TChangeLink() {
  if (sender_) sender_->UnRegisterChanges(this);
}

void TImageList::RegisterChanges(TChangeLink* Link) {
  if (!Link || Link->sender_ == this) return;
  if (Link->sender_) Link->sender_->UnRegisterChanges(Link);
  Link->sender_ = this;
  links_.push_back(Link);
}

void TImageList::UnRegisterChanges(TChangeLink* Link) {
  auto it = std::find(links_.begin(), links_.end(), Link);
  if (it == links_.end()) return;
  links_.erase(it);
  Link->sender_ = nullptr;
}

void TImageList::Change() {
  if (OnChange) OnChange(this);
  for (TChangeLink* l : std::vector<TChangeLink*>(links_))
    if (l->OnChange) l->OnChange(this);
}

void TImageList::SetWidth(Integer v) {
  if (v == width_) return;
  width_ = v;
  Clear();
}
void TImageList::SetHeight(Integer v) {
  if (v == height_) return;
  height_ = v;
  Clear();
}

Integer TImageList::Add(TBitmap* Image, TBitmap* Mask) {
  if (!Image || Image->Empty()) return -1;
  Integer first = Count();
  // A strip wider than the list holds several images side by side.
  int n = std::max(1, Image->Width() / std::max(1, width_));
  for (int i = 0; i < n; ++i) {
    auto img = std::make_unique<TBitmap>();
    img->SetSize(width_, height_);
    img->Canvas()->CopyRect(TRect{0, 0, width_, height_}, Image->Canvas(),
                            TRect{i * width_, 0, (i + 1) * width_, height_});
    auto mask = std::make_unique<TBitmap>();
    mask->SetSize(width_, height_);
    mask->Canvas()->Brush()->SetColor(clBlack);
    mask->Canvas()->FillRect(TRect{0, 0, width_, height_});
    if (Mask && !Mask->Empty())
      mask->Canvas()->CopyRect(TRect{0, 0, width_, height_}, Mask->Canvas(),
                               TRect{i * width_, 0, (i + 1) * width_, height_});
    images_.push_back(std::move(img));
    masks_.push_back(std::move(mask));
  }
  Change();
  return first;
}

Integer TImageList::AddMasked(TBitmap* Image, TColor MaskColor) {
  if (!Image || Image->Empty()) return -1;
  TBitmap mask;
  mask.SetSize(Image->Width(), Image->Height());
  TColor key = ColorToRGB(MaskColor == clDefault ? Image->TransparentColor() : MaskColor);
  TCanvas* src = Image->Canvas();
  TCanvas* dst = mask.Canvas();
  for (int y = 0; y < Image->Height(); ++y)
    for (int x = 0; x < Image->Width(); ++x)
      dst->SetPixels(x, y, src->Pixels(x, y) == key ? clWhite : clBlack);
  return Add(Image, &mask);
}

void TImageList::Delete(Integer Index) {
  if (Index < 0 || Index >= Count()) return;
  images_.erase(images_.begin() + Index);
  masks_.erase(masks_.begin() + Index);
  Change();
}

void TImageList::Clear() {
  images_.clear();
  masks_.clear();
  Change();
}

void TImageList::Draw(TCanvas* Canvas, Integer X, Integer Y, Integer Index, bool) {
  if (!Canvas || Index < 0 || Index >= Count()) return;
  TCanvas* img = images_[Index]->Canvas();
  TCanvas* mask = masks_[Index]->Canvas();
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x)
      if (mask->Pixels(x, y) == clBlack) Canvas->SetPixels(X + x, Y + y, img->Pixels(x, y));
}

void TImageList::GetBitmap(Integer Index, TBitmap* Image) {
  if (!Image || Index < 0 || Index >= Count()) return;
  Image->SetSize(width_, height_);
  TCanvas* c = Image->Canvas();
  c->FillRect(TRect{0, 0, width_, height_});
  Draw(c, 0, 0, Index);
}
