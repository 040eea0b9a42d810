// One-pixel lines held against the step rule they follow, whichever way the canvas takes
// to draw them (runs for solid pens inside the clip, a pixel at a time otherwise); and a
// window repainting only what was drawn on it.
#include <gtest/gtest.h>

#include <QEvent>
#include <QPaintEvent>
#include <QRegion>
#include <QWidget>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "GuiFixture.h"
#include "classlib/ControlsPrivate.h"
#include "classlib/ExtCtrls.h"
#include "classlib/Gdi.h"
#include "classlib/Graphics.h"

namespace {

struct Step {
  int x, y;
  bool on;
};

// The rule: one pixel per step along the longer axis from the start point, the end point
// left out, the error term deciding when the shorter axis follows; a styled pen's on-off
// runs start afresh with every line.
std::vector<Step> RuleLine(int x0, int y0, int x1, int y1, const std::vector<int>& runs = {}) {
  std::vector<Step> out;
  const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int err = (dx > dy ? dx : -dy) / 2;
  std::size_t run = 0;
  int left = runs.empty() ? 0 : runs[0];
  int x = x0, y = y0;
  for (int i = 0; i < std::max(dx, dy); ++i) {
    out.push_back({x, y, runs.empty() || run % 2 == 0});
    if (!runs.empty() && --left == 0) {
      run = (run + 1) % runs.size();
      left = runs[run];
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
  return out;
}

class LineTest : public GuiTest {
 protected:
  void Make(int w, int h, TColor background = clWhite) {
    bmp.SetSize(w, h);
    c = bmp.Canvas();
    c->Brush()->SetColor(background);
    c->FillRect(Rect(0, 0, w, h));
    c->Pen()->SetColor(clBlack);
    want.assign(std::size_t(w * h), background);
    clip = Rect(0, 0, w, h);
  }
  void Clip(const TRect& r) {
    IntersectClipRect(c->Handle(), r.Left, r.Top, r.Right, r.Bottom);
    IntersectRect(clip, clip, r);
  }
  // What the rule gives, painted into the expected picture with a pen-mode function.
  template <typename F>
  void Expect(const std::vector<Step>& steps, F mode) {
    for (const Step& s : steps) {
      if (!s.on || !PtInRect(clip, Point(s.x, s.y))) continue;
      TColor& d = want[std::size_t(s.y * bmp.Width() + s.x)];
      d = mode(d);
    }
  }
  void ExpectSolid(const std::vector<Step>& steps, TColor color) {
    Expect(steps, [color](TColor) { return color; });
  }
  // The first pixel of r that differs from the expected picture, or "" when none does.
  // Read from a copy: the canvas itself reads only inside its clip.
  std::string Differs(const TRect& r) {
    TRect area;
    if (!IntersectRect(area, r, Rect(0, 0, bmp.Width(), bmp.Height()))) return "";
    TCanvas* from = c;
    TBitmap copy;
    if (clip != Rect(0, 0, bmp.Width(), bmp.Height())) {
      copy.SetSize(bmp.Width(), bmp.Height());
      copy.Canvas()->Draw(0, 0, &bmp);
      from = copy.Canvas();
    }
    for (int y = area.Top; y < area.Bottom; ++y)
      for (int x = area.Left; x < area.Right; ++x) {
        TColor w = want[std::size_t(y * bmp.Width() + x)];
        TColor got = from->Pixels(x, y);
        if (got != w)
          return "(" + std::to_string(x) + ", " + std::to_string(y) + ") is " +
                 std::to_string(got) + ", want " + std::to_string(w);
      }
    return "";
  }
  std::string Differs() { return Differs(Rect(0, 0, bmp.Width(), bmp.Height())); }

  // One solid line on a fresh picture, checked around its whole extent.
  std::string CheckLine(int x0, int y0, int x1, int y1) {
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, bmp.Width(), bmp.Height()));
    std::fill(want.begin(), want.end(), clWhite);
    c->MoveTo(x0, y0);
    c->LineTo(x1, y1);
    ExpectSolid(RuleLine(x0, y0, x1, y1), clBlack);
    std::string d = Differs(Rect(std::min(x0, x1) - 2, std::min(y0, y1) - 2, std::max(x0, x1) + 3,
                                 std::max(y0, y1) + 3));
    return d.empty() ? d
                     : "line (" + std::to_string(x0) + ", " + std::to_string(y0) + ") to (" +
                           std::to_string(x1) + ", " + std::to_string(y1) + "): " + d;
  }

  TBitmap bmp;
  TCanvas* c = nullptr;
  std::vector<TColor> want;
  TRect clip;
};

// The level graph's shape: a zigzag of steep segments a few pixels wide.
std::vector<TPoint> Zigzag(int x, int top, int bottom, int count, int step) {
  std::vector<TPoint> pts;
  for (int i = 0; i < count; ++i)
    pts.push_back(Point(x + i * step, (i * 37) % 3 == 0 ? top + (i * 13) % (bottom - top)
                                                        : bottom - (i * 29) % (bottom - top)));
  return pts;
}

TEST_F(LineTest, SolidLinesFollowTheRuleInEveryOctant) {
  // Every short line around a point: all octants, all slopes, both parities of the ends.
  Make(64, 64);
  for (int x0 : {31, 32})
    for (int dy = -24; dy <= 24; ++dy)
      for (int dx = -24; dx <= 24; ++dx) {
        std::string d = CheckLine(x0, 32, x0 + dx, 32 + dy);
        ASSERT_EQ(d, "");
      }
  // Long ones, where runs get long and their lengths alternate.
  Make(256, 256);
  for (int i = 0; i < 72; ++i) {
    double a = i * 2 * 3.14159265358979 / 72 + 0.01;
    int x1 = 128 + int(std::lround(120 * std::cos(a)));
    int y1 = 128 + int(std::lround(120 * std::sin(a)));
    ASSERT_EQ(CheckLine(128, 128, x1, y1), "");
    ASSERT_EQ(CheckLine(x1, y1, 255 - x1, 255 - y1 + (i % 5)), "");
  }
}

TEST_F(LineTest, PolylineIsItsSegmentsCutAtTheClip) {
  Make(100, 100);
  Clip(Rect(10, 20, 90, 80));
  c->Pen()->SetColor(clRed);
  // Crossing the clip's edges and the picture's, then one wholly inside.
  std::vector<TPoint> across = {Point(-5, 50),  Point(30, 10), Point(33, 95), Point(36, 5),
                                Point(120, 60), Point(50, 79), Point(50, 85), Point(89, 19)};
  std::vector<TPoint> inside = Zigzag(12, 22, 77, 25, 3);
  // Lines whose last pixel lies just past one edge of the clip.
  std::vector<TPoint> grazing = {Point(70, 50), Point(91, 52), Point(62, 60), Point(64, 81),
                                 Point(30, 50), Point(8, 51),  Point(40, 40), Point(41, 18)};
  c->Polyline(across);
  c->Polyline(inside);
  c->Polyline(grazing);
  for (auto* pts : {&across, &inside, &grazing})
    for (std::size_t i = 1; i < pts->size(); ++i)
      ExpectSolid(RuleLine((*pts)[i - 1].x, (*pts)[i - 1].y, (*pts)[i].x, (*pts)[i].y), clRed);
  EXPECT_EQ(Differs(), "");
}

TEST_F(LineTest, StyledPensAndPenModesKeepTheRule) {
  Make(120, 120);
  // A background of varied colours, so that a pen mode's result shows in every pixel.
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 120; ++x) {
      TColor v = TColor((x * 7) | ((y * 5) << 8) | (((x + y) * 3) << 16)) & 0xFFFFFF;
      c->SetPixels(x, y, v);
      want[std::size_t(y * 120 + x)] = v;
    }
  Clip(Rect(5, 5, 115, 115));
  std::vector<TPoint> zig = Zigzag(10, 8, 110, 30, 3);
  std::vector<TPoint> star;
  for (int i = 0; i < 16; ++i) {
    star.push_back(Point(60, 60));
    star.push_back(Point(60 + (i % 2 ? 70 : 40) * (i % 4 < 2 ? 1 : -1) * ((i / 4) % 2 ? 1 : 2) / 2,
                         60 + (i % 3 ? 65 : 20) * (i < 8 ? 1 : -1)));
  }
  auto expect = [&](const std::vector<TPoint>& pts, const std::vector<int>& runs, auto mode) {
    for (std::size_t i = 1; i < pts.size(); ++i)
      Expect(RuleLine(pts[i - 1].x, pts[i - 1].y, pts[i].x, pts[i].y, runs), mode);
  };

  // Dotted: the dots restart with every segment.
  c->Pen()->SetColor(clBlue);
  c->Pen()->SetStyle(psDot);
  c->Polyline(zig);
  expect(zig, {1, 1}, [](TColor) { return clBlue; });
  EXPECT_EQ(Differs(), "");

  c->Pen()->SetColor(clYellow);
  c->Pen()->SetStyle(psDashDot);
  c->Polyline(star);
  expect(star, {9, 6, 3, 6}, [](TColor) { return clYellow; });
  EXPECT_EQ(Differs(), "");

  // Xor, solid and dotted, line by line and as polylines, over what is there.
  const TColor pen = 0x5A3CC3;
  c->Pen()->SetColor(pen);
  c->Pen()->SetMode(pmXor);
  c->Pen()->SetStyle(psSolid);
  c->Polyline(star);
  expect(star, {}, [pen](TColor d) { return d ^ pen; });
  for (std::size_t i = 1; i < zig.size(); ++i) {
    c->MoveTo(zig[i - 1].x, zig[i - 1].y);
    c->LineTo(zig[i].x, zig[i].y);
  }
  expect(zig, {}, [pen](TColor d) { return d ^ pen; });
  EXPECT_EQ(Differs(), "");
  c->Pen()->SetStyle(psDot);
  c->Polyline(zig);
  expect(zig, {1, 1}, [pen](TColor d) { return d ^ pen; });
  EXPECT_EQ(Differs(), "");

  c->Pen()->SetMode(pmNot);
  c->Pen()->SetStyle(psSolid);
  c->Polyline(star);
  expect(star, {}, [](TColor d) { return ~d & 0xFFFFFF; });
  EXPECT_EQ(Differs(), "");
}

TEST_F(LineTest, AGraphicControlsLinesAreAtItsPlaceAndWithinIt) {
  TForm* f = MakeForm(200, 150);
  f->SetColor(clBlack);
  auto* box = new TPaintBox(f);
  box->SetParent(f);
  box->SetBounds(40, 30, 50, 60);
  box->OnPaint = [box](TObject*) {
    box->Canvas()->Pen()->SetColor(clAqua);
    box->Canvas()->Polyline({Point(5, 5), Point(25, 10), Point(27, 80), Point(-10, 20)});
  };
  f->Repaint();
  std::set<std::pair<int, int>> drawn;
  const std::vector<std::pair<TPoint, TPoint>> lines = {{Point(5, 5), Point(25, 10)},
                                                        {Point(25, 10), Point(27, 80)},
                                                        {Point(27, 80), Point(-10, 20)}};
  for (auto& [a, b] : lines)
    for (const Step& s : RuleLine(a.x, a.y, b.x, b.y))
      if (s.x >= 0 && s.x < 50 && s.y >= 0 && s.y < 60) drawn.insert({s.x + 40, s.y + 30});
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x)
      ASSERT_EQ(SurfacePixelForTesting(f, x, y), drawn.count({x, y}) ? clAqua : clBlack)
          << x << ", " << y;
}

// Records the areas Qt asks a widget to paint.
class PaintSpy : public QObject {
 public:
  QRegion painted;
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) {
      painted += static_cast<QPaintEvent*>(e)->region();
      ++paints;
    }
    return false;
  }
};

TEST_F(LineTest, AWindowRepaintsOnlyWhatWasDrawn) {
  TForm* f = MakeForm(300, 200);
  f->SetColor(clBlack);
  PaintSpy spy;
  f->Host()->widget->installEventFilter(&spy);
  f->Invalidate();
  ASSERT_TRUE(PumpUntil([&] { return spy.paints > 0; }));
  EXPECT_EQ(spy.painted.boundingRect(), QRect(0, 0, 300, 200));
  Application->ProcessMessages();

  // The level graph's way: lines straight on the window, outside of any painting.
  spy.painted = QRegion();
  spy.paints = 0;
  TCanvas* wc = f->Canvas();
  wc->Pen()->SetColor(clLime);
  std::vector<TPoint> graph = Zigzag(100, 50, 150, 20, 3);  // x 100 .. 157
  wc->Polyline(graph);
  wc->MoveTo(40, 20);
  wc->LineTo(60, 20);
  ASSERT_TRUE(PumpUntil([&] { return spy.paints > 0; }));
  Application->ProcessMessages();
  EXPECT_TRUE(spy.painted.contains(QRect(100, 50, 58, 100)));
  EXPECT_TRUE(spy.painted.contains(QRect(40, 20, 20, 1)));
  EXPECT_TRUE(QRect(40, 20, 118, 131).contains(spy.painted.boundingRect()))
      << spy.painted.boundingRect().x() << ", " << spy.painted.boundingRect().y() << " "
      << spy.painted.boundingRect().width() << " x " << spy.painted.boundingRect().height();
  EXPECT_EQ(SurfacePixelForTesting(f, graph[0].x, graph[0].y), clLime);

  // Drawing again after the repaint asks for one again.
  spy.painted = QRegion();
  spy.paints = 0;
  wc->MoveTo(200, 180);
  wc->LineTo(200, 190);
  ASSERT_TRUE(PumpUntil([&] { return spy.paints > 0; }));
  EXPECT_TRUE(spy.painted.contains(QRect(200, 180, 1, 10)));
  EXPECT_TRUE(QRect(200, 180, 1, 10).contains(spy.painted.boundingRect()));

  // A part invalidated is a part repainted.
  spy.painted = QRegion();
  spy.paints = 0;
  f->InvalidateRect(Rect(10, 10, 30, 40));
  ASSERT_TRUE(PumpUntil([&] { return spy.paints > 0; }));
  EXPECT_EQ(spy.painted.boundingRect(), QRect(10, 10, 20, 30));
  f->Host()->widget->removeEventFilter(&spy);
}

}  // namespace
