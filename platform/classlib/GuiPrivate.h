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
  // What has been asked of the widget since it last painted, in surface coordinates.
  QRegion pendingUpdate;
  // Called after the pixels in r changed: that part of the screen follows at the next
  // turn of the event loop. Only what was drawn is repainted and handed to the window
  // system (a graph redrawn dozens of times a second must not repaint its whole window,
  // nor take a counter on the far side of the window into one rectangle with it), and
  // drawing again inside the area already asked for costs nothing more.
  void Touched(const QRect& r) {
    if (!widget || r.isEmpty() || QRegion(r).subtracted(pendingUpdate).isEmpty()) return;
    pendingUpdate += r;
    widget->update(r);
  }
  // The widget has painted: later drawing asks for a new update.
  void Painted() { pendingUpdate = QRegion(); }
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
