// Internal to the class library (never included by the system's folders): how the
// graphics and control classes meet Qt.
#pragma once

#include <QFont>
#include <QImage>
#include <QRegion>
#include <QWidget>

#include "classlib/Graphics.h"

// The system's text is single-byte ANSI (the Western code page 1252); Qt's is Unicode.
// Every text that crosses between the two goes through these.
QString AnsiToQt(const String& s);
QChar AnsiCharToQt(char c);
// Characters the code page has no byte for become '?'.
String QtToAnsi(const QString& s);
char QtCharToAnsi(QChar c);

// Pixels of a bitmap or of a window. Always QImage::Format_RGB32 (0xFFRRGGBB).
struct TSurface {
  QImage image;
  // For a window's surface: the widget that shows it, updated after drawing.
  QWidget* widget = nullptr;
  // What has been asked of the widget since it last painted, in surface coordinates: a
  // few rectangles, each around drawing that touched, so that a graph and a counter on the
  // far side of the window are not handed to the window system as one rectangle around
  // both. Kept in place (no allocation): it changes with every line drawn.
  static constexpr int kPendingParts = 4;
  QRect pendingParts[kPendingParts];
  int pendingCount = 0;
  // Called after the pixels in r changed: that part of the screen follows at the next
  // turn of the event loop. Only what was drawn is repainted (a graph redrawn dozens of
  // times a second must not repaint its whole window), and drawing again inside the area
  // already asked for costs nothing more.
  void Touched(const QRect& r) {
    if (!widget || r.isEmpty()) return;
    for (int i = 0; i < pendingCount; ++i)
      if (pendingParts[i].contains(r)) return;
    widget->update(Pend(r));
  }
  // The widget has painted: later drawing asks for a new update.
  void Painted() { pendingCount = 0; }
  // The widget paints `region` now: drawing inside it shows with this paint.
  void Painting(const QRegion& region) {
    pendingCount = 0;
    if (region.rectCount() > kPendingParts) {
      Pend(region.boundingRect());
    } else {
      for (const QRect& r : region) Pend(r);
    }
  }
  QRegion PendingRegion() const {
    QRegion all;
    for (int i = 0; i < pendingCount; ++i) all += pendingParts[i];
    return all;
  }

 private:
  // Adds r to the part it touches, or as a part of its own, or (all in use) to the part
  // that grows least by it; answers that part.
  const QRect& Pend(const QRect& r) {
    for (int i = 0; i < pendingCount; ++i)
      if (pendingParts[i].intersects(r.adjusted(-1, -1, 1, 1)))
        return pendingParts[i] = pendingParts[i].united(r);
    if (pendingCount < kPendingParts) return pendingParts[pendingCount++] = r;
    auto area = [](const QRect& q) { return qint64(q.width()) * q.height(); };
    int best = 0;
    qint64 bestGrowth = -1;
    for (int i = 0; i < pendingCount; ++i) {
      const qint64 growth = area(pendingParts[i].united(r)) - area(pendingParts[i]);
      if (bestGrowth < 0 || growth < bestGrowth) {
        best = i;
        bestGrowth = growth;
      }
    }
    return pendingParts[best] = pendingParts[best].united(r);
  }
};

inline std::uint32_t ColorToPixel(TColor c) {
  TColor rgb = ColorToRGB(c);
  return 0xFF000000u | ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}
inline TColor PixelToColor(std::uint32_t p) {
  return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16);
}

// The Qt font that draws a TFont: look-alike family, pixel size, no antialiasing.
QFont MakeQFont(TFont* font);

// Makes sure the Qt application object exists (fonts and widgets need it).
void EnsureQtApplication();

// A canvas goes away: its device context is closed and it leaves any it was bound to.
void ForgetCanvasHandles(TCanvas* canvas);

// The menu's small pictures (DFCS_MENUCHECK, DFCS_MENUBULLET, DFCS_MENUARROW) in one colour,
// centred in the rectangle; nothing else is touched.
void DrawMenuGlyph(TCanvas* canvas, const TRect& r, UINT kind, TColor color);
