// Draws the player's skin (background, splash, button faces, slider pictures, position
// bar) and writes it as a C++ source that compiles the pictures into the program.
//
//   kaz_skingen <output.cpp> [folder for the pictures as files]
//
// Everything is drawn here from shapes and a small dot-matrix alphabet, so the skin is the
// project's own. Photographic pictures (the brushed-metal background and the splash) are
// JPEG; pictures that must keep exact pixels (button faces, sliders, the bar) are BMP.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

struct Rgb {
  float r = 0, g = 0, b = 0;
};

Rgb Mix(Rgb a, Rgb b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Rgb Scale(Rgb a, float k) {
  return {a.r * k, a.g * k, a.b * k};
}

class Image {
 public:
  Image(int w, int h, Rgb c = {}) : w_(w), h_(h), px_(static_cast<size_t>(w) * h, c) {}
  int W() const { return w_; }
  int H() const { return h_; }
  Rgb& At(int x, int y) { return px_[static_cast<size_t>(y) * w_ + x]; }
  Rgb At(int x, int y) const { return px_[static_cast<size_t>(y) * w_ + x]; }

  void Blend(int x, int y, Rgb c, float a) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_ || a <= 0) return;
    At(x, y) = Mix(At(x, y), c, std::min(a, 1.0f));
  }
  void Fill(int x0, int y0, int x1, int y1, Rgb c) {
    for (int y = std::max(0, y0); y < std::min(h_, y1); ++y)
      for (int x = std::max(0, x0); x < std::min(w_, x1); ++x) At(x, y) = c;
  }
  void VGradient(int x0, int y0, int x1, int y1, Rgb top, Rgb bottom) {
    for (int y = std::max(0, y0); y < std::min(h_, y1); ++y) {
      Rgb c = Mix(top, bottom, y1 - y0 > 1 ? float(y - y0) / float(y1 - y0 - 1) : 0);
      for (int x = std::max(0, x0); x < std::min(w_, x1); ++x) At(x, y) = c;
    }
  }
  void HGradient(int x0, int y0, int x1, int y1, Rgb left, Rgb right) {
    for (int x = std::max(0, x0); x < std::min(w_, x1); ++x) {
      Rgb c = Mix(left, right, x1 - x0 > 1 ? float(x - x0) / float(x1 - x0 - 1) : 0);
      for (int y = std::max(0, y0); y < std::min(h_, y1); ++y) At(x, y) = c;
    }
  }
  // A shape given by an inside test, antialiased by 4 x 4 supersampling.
  template <typename Inside>
  void Shape(int x0, int y0, int x1, int y1, Rgb c, float alpha, Inside inside) {
    for (int y = std::max(0, y0); y < std::min(h_, y1); ++y)
      for (int x = std::max(0, x0); x < std::min(w_, x1); ++x) {
        int n = 0;
        for (int sy = 0; sy < 4; ++sy)
          for (int sx = 0; sx < 4; ++sx)
            if (inside(x + (sx + 0.5f) / 4, y + (sy + 0.5f) / 4)) ++n;
        Blend(x, y, c, alpha * n / 16.0f);
      }
  }
  void RoundRect(float x0, float y0, float x1, float y1, float r, Rgb c, float alpha = 1) {
    Shape(int(x0) - 1, int(y0) - 1, int(x1) + 2, int(y1) + 2, c, alpha, [=](float x, float y) {
      if (x < x0 || x > x1 || y < y0 || y > y1) return false;
      float cx = std::clamp(x, x0 + r, x1 - r), cy = std::clamp(y, y0 + r, y1 - r);
      return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
    });
  }
  void Circle(float cx, float cy, float r, Rgb c, float alpha = 1) {
    Shape(int(cx - r) - 1, int(cy - r) - 1, int(cx + r) + 2, int(cy + r) + 2, c, alpha,
          [=](float x, float y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; });
  }
  void Polygon(const std::vector<std::pair<float, float>>& p, Rgb c, float alpha = 1) {
    float minx = 1e9, miny = 1e9, maxx = -1e9, maxy = -1e9;
    for (auto [x, y] : p) {
      minx = std::min(minx, x), maxx = std::max(maxx, x);
      miny = std::min(miny, y), maxy = std::max(maxy, y);
    }
    Shape(int(minx) - 1, int(miny) - 1, int(maxx) + 2, int(maxy) + 2, c, alpha,
          [&](float x, float y) {
            bool in = false;
            for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
              auto [xi, yi] = p[i];
              auto [xj, yj] = p[j];
              if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) in = !in;
            }
            return in;
          });
  }
  // A raised or sunken one-pixel frame around the rectangle's inside.
  void Bevel(int x0, int y0, int x1, int y1, Rgb light, Rgb dark) {
    for (int x = x0; x < x1; ++x) Blend(x, y0, light, 1), Blend(x, y1 - 1, dark, 1);
    for (int y = y0; y < y1; ++y) Blend(x0, y, light, 1), Blend(x1 - 1, y, dark, 1);
  }
  void Blit(const Image& src, int dx, int dy) {
    for (int y = 0; y < src.H(); ++y)
      for (int x = 0; x < src.W(); ++x)
        if (dx + x >= 0 && dy + y >= 0 && dx + x < w_ && dy + y < h_)
          At(dx + x, dy + y) = src.At(x, y);
  }
  Image Crop(int x0, int y0, int w, int h) const {
    Image out(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) out.At(x, y) = At(x0 + x, y0 + y);
    return out;
  }

 private:
  int w_, h_;
  std::vector<Rgb> px_;
};

// A repeatable noise, so every build draws the same skin.
struct Noise {
  uint32_t s = 0x2545F491;
  float Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return (s & 0xFFFF) / 65535.0f - 0.5f;
  }
};

// Brushed metal: fine horizontal streaks over a base colour.
void Brushed(Image& im, int x0, int y0, int x1, int y1, Rgb base, float depth, uint32_t seed) {
  Noise n{seed};
  std::vector<float> streak(static_cast<size_t>(std::max(1, y1 - y0)));
  for (auto& s : streak) s = n.Next();
  for (int y = y0; y < y1; ++y) {
    float run = streak[y - y0];
    for (int x = x0; x < x1; ++x) {
      if ((x & 31) == 0) run = run * 0.7f + streak[(y - y0 + x / 31) % streak.size()] * 0.3f;
      float k = 1 + depth * (run * 0.8f + n.Next() * 0.4f);
      im.Blend(x, y, Scale(base, k), 1);
    }
  }
}

// A 5 x 7 dot-matrix alphabet: each glyph is seven rows of five bits.
const std::map<char, std::array<uint8_t, 7>>& Font() {
  static const std::map<char, std::array<uint8_t, 7>> f = {
      {'A', {14, 17, 17, 31, 17, 17, 17}}, {'B', {30, 17, 17, 30, 17, 17, 30}},
      {'C', {14, 17, 16, 16, 16, 17, 14}}, {'D', {30, 17, 17, 17, 17, 17, 30}},
      {'E', {31, 16, 16, 30, 16, 16, 31}}, {'G', {14, 17, 16, 23, 17, 17, 15}},
      {'I', {14, 4, 4, 4, 4, 4, 14}},      {'J', {7, 2, 2, 2, 2, 18, 12}},
      {'K', {17, 18, 20, 24, 20, 18, 17}}, {'L', {16, 16, 16, 16, 16, 16, 31}},
      {'M', {17, 27, 21, 21, 17, 17, 17}}, {'N', {17, 25, 21, 19, 17, 17, 17}},
      {'O', {14, 17, 17, 17, 17, 17, 14}}, {'P', {30, 17, 17, 30, 16, 16, 16}},
      {'R', {30, 17, 17, 30, 20, 18, 17}}, {'S', {15, 16, 16, 14, 1, 1, 30}},
      {'T', {31, 4, 4, 4, 4, 4, 4}},       {'U', {17, 17, 17, 17, 17, 17, 14}},
      {'V', {17, 17, 17, 17, 17, 10, 4}},  {'X', {17, 17, 10, 4, 10, 17, 17}},
      {'Y', {17, 17, 10, 4, 4, 4, 4}},     {'Z', {31, 1, 2, 4, 8, 16, 31}},
      {'0', {14, 17, 19, 21, 25, 17, 14}}, {'1', {4, 12, 4, 4, 4, 4, 14}},
      {'2', {14, 17, 1, 2, 4, 8, 31}},     {'.', {0, 0, 0, 0, 0, 12, 12}},
      {'-', {0, 0, 0, 31, 0, 0, 0}},       {' ', {0, 0, 0, 0, 0, 0, 0}},
  };
  return f;
}

int TextWidth(const std::string& s, float pitch) {
  return int(s.size() * 6 * pitch - pitch);
}

// Round dots, like the display of a hardware unit; unlit dots faintly shown when asked.
void DotText(Image& im, float x, float y, const std::string& s, float pitch, Rgb on, Rgb glow,
             float unlit = 0) {
  for (char ch : s) {
    auto it = Font().find(ch);
    if (it != Font().end())
      for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col) {
          float cx = x + col * pitch + pitch / 2, cy = y + row * pitch + pitch / 2;
          if (it->second[row] & (16 >> col)) {
            im.Circle(cx, cy, pitch * 0.95f, glow, 0.25f);
            im.Circle(cx, cy, pitch * 0.42f, on);
          } else if (unlit > 0) {
            im.Circle(cx, cy, pitch * 0.38f, on, unlit);
          }
        }
    x += 6 * pitch;
  }
}

// ---------------------------------------------------------------------------------------
// Colours of the skin.

const Rgb kMetal{0.075f, 0.082f, 0.105f};
const Rgb kFace{0.105f, 0.115f, 0.150f};
const Rgb kFaceDark{0.055f, 0.060f, 0.080f};
const Rgb kLight{0.30f, 0.33f, 0.42f};
const Rgb kShadow{0.01f, 0.01f, 0.015f};
const Rgb kBlue{0.50f, 0.50f, 1.0f};  // the window's text colour
const Rgb kDeckAccent[2] = {{1.0f, 0.60f, 0.16f}, {0.24f, 0.78f, 1.0f}};
const Rgb kWhite{1, 1, 1};

// A deck's face: a raised plate with its accent along the top and its number.
void DeckFace(Image& im, int x0, int y0, int w, int h, int deck) {
  Rgb accent = kDeckAccent[deck];
  im.RoundRect(x0 - 2, y0 - 2, x0 + w + 1, y0 + h + 1, 6, kShadow, 0.8f);
  for (int y = y0; y < y0 + h; ++y) {
    float t = float(y - y0) / h;
    Rgb c = Mix(Mix(kFace, accent, 0.06f * (1 - t)), kFaceDark, t * 0.6f);
    for (int x = x0; x < x0 + w; ++x) im.At(x, y) = c;
  }
  Noise n{99u + deck};
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) im.At(x, y) = Scale(im.At(x, y), 1 + 0.05f * n.Next());
  im.Bevel(x0, y0, x0 + w, y0 + h, kLight, kShadow);
  im.HGradient(x0 + 1, y0 + 1, x0 + w - 1, y0 + 4, Scale(accent, 0.9f), Scale(accent, 0.35f));
  // Recessed strips behind the position bar and the pitch track.
  auto groove = [&](int gx, int gy, int gw, int gh) {
    im.Fill(x0 + gx, y0 + gy, x0 + gx + gw, y0 + gy + gh, Rgb{0.02f, 0.02f, 0.03f});
    im.Bevel(x0 + gx, y0 + gy, x0 + gx + gw, y0 + gy + gh, kShadow, kLight);
  };
  groove(13, 33, 226, 20);
  groove(13, 155, 226, 21);
  // The playlist area.
  groove(10, 270, 226, 96);
  // The deck's number in large dots, and its name.
  DotText(im, x0 + 190, y0 + 236, deck == 0 ? "1" : "2", 4.2f, accent, accent, 0.06f);
  DotText(im, x0 + 14, y0 + 372, deck == 0 ? "DECK 1" : "DECK 2", 1.3f, Scale(accent, 0.85f),
          accent);
  // Tick marks under the pitch track: centre, then every 2 %.
  for (int i = 0; i <= 10; ++i) {
    int tx = x0 + 16 + 5 + i * 21;
    int len = i == 5 ? 6 : 3;
    im.Fill(tx, y0 + 177, tx + 1, y0 + 177 + len, i == 5 ? accent : kLight);
  }
}

Image Background() {
  Image im(800, 600);
  Brushed(im, 0, 0, 800, 600, kMetal, 0.35f, 1);
  // A soft light from above.
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) {
      float dx = (x - 400) / 500.0f, dy = (y + 100) / 700.0f;
      float k = 1.25f - 0.55f * std::sqrt(dx * dx + dy * dy);
      im.At(x, y) = Scale(im.At(x, y), std::max(0.55f, k));
    }
  // Title strip.
  im.VGradient(0, 0, 800, 32, Rgb{0.13f, 0.14f, 0.19f}, Rgb{0.06f, 0.065f, 0.085f});
  im.HGradient(0, 32, 400, 34, kDeckAccent[0], kBlue);
  im.HGradient(400, 32, 800, 34, kBlue, kDeckAccent[1]);
  DotText(im, 12, 11, "KAZ V2.0 PRO", 1.2f, Scale(kBlue, 0.9f), kBlue);
  DotText(im, 560, 11, "DJ MIXING SET", 1.2f, Scale(kBlue, 0.7f), kBlue);

  DeckFace(im, 8, 40, 260, 385, 0);
  DeckFace(im, 532, 40, 260, 385, 1);

  // The graph's window: both decks' curves are drawn and wiped in black in it, so it must
  // decode to exact black. It covers whole 8 x 8 blocks of the JPEG (with full-resolution
  // colour) around the graph, which leaves no compression ringing inside.
  im.RoundRect(290, 42, 510, 206, 5, kShadow, 0.9f);
  im.Fill(292, 44, 508, 204, Rgb{0.16f, 0.17f, 0.22f});
  im.Fill(296, 48, 504, 200, Rgb{0, 0, 0});
  im.Bevel(295, 47, 505, 201, kShadow, kLight);
  DotText(im, 302, 208, "LEVEL", 1.0f, Scale(kBlue, 0.6f), kBlue);
  im.Fill(302, 217, 497, 218, Scale(kBlue, 0.25f));

  // Cross-fader bed with its ends marked for the decks.
  im.RoundRect(282, 392, 518, 426, 5, Rgb{0.03f, 0.03f, 0.045f}, 0.95f);
  im.Bevel(284, 394, 516, 424, kShadow, kLight);
  DotText(im, 290, 382, "1", 1.2f, kDeckAccent[0], kDeckAccent[0]);
  DotText(im, 505, 382, "2", 1.2f, kDeckAccent[1], kDeckAccent[1]);
  im.HGradient(290, 420, 510, 422, kDeckAccent[0], kDeckAccent[1]);

  // Lower area: the panel buttons' column and the panels' frame.
  im.RoundRect(6, 430, 121, 596, 5, Rgb{0.03f, 0.035f, 0.05f}, 0.9f);
  im.Bevel(8, 432, 120, 594, kShadow, kLight);
  im.Fill(124, 431, 793, 594, Rgb{0.02f, 0.02f, 0.03f});
  im.Bevel(124, 431, 793, 594, kShadow, kLight);
  return im;
}

Image Title() {
  Image im(195, 40, Rgb{0.06f, 0.065f, 0.085f});
  im.VGradient(0, 0, 195, 40, Rgb{0.10f, 0.11f, 0.15f}, Rgb{0.04f, 0.045f, 0.06f});
  im.Bevel(0, 0, 195, 40, kLight, kShadow);
  std::string s = "KAZ PRO";
  float pitch = 3.6f;
  float x = (195 - TextWidth(s, pitch)) / 2.0f;
  DotText(im, x, 7, s, pitch, Rgb{0.85f, 0.87f, 1.0f}, kBlue, 0.05f);
  return im;
}

Image Splash() {
  Image im(280, 150);
  Brushed(im, 0, 0, 280, 150, Rgb{0.09f, 0.10f, 0.14f}, 0.4f, 3);
  im.HGradient(0, 0, 280, 3, kDeckAccent[0], kDeckAccent[1]);
  std::string s = "KAZ PRO";
  float pitch = 4.4f;
  DotText(im, (280 - TextWidth(s, pitch)) / 2.0f, 14, s, pitch, Rgb{0.88f, 0.9f, 1.0f}, kBlue,
          0.05f);
  DotText(im, (280 - TextWidth("V2.0", 1.4f)) / 2.0f, 50, "V2.0", 1.4f, Scale(kBlue, 0.9f), kBlue);
  // Bed of the progress bar, behind (40, 95) 200 x 20.
  im.Fill(36, 91, 244, 119, Rgb{0.02f, 0.02f, 0.03f});
  im.Bevel(36, 91, 244, 119, kShadow, kLight);
  im.HGradient(0, 147, 280, 150, kDeckAccent[0], kDeckAccent[1]);
  im.Bevel(0, 0, 280, 150, kLight, kShadow);
  return im;
}

// The about box: brushed metal with the title at the top, and the two small pictures that
// open a mail to the authors and their web page.
Image AboutBack() {
  Image im(300, 250);
  Brushed(im, 0, 0, 300, 250, Rgb{0.09f, 0.10f, 0.14f}, 0.4f, 5);
  im.HGradient(0, 0, 300, 3, kDeckAccent[0], kDeckAccent[1]);
  DotText(im, 12, 10, "KAZ PRO", 2.4f, Rgb{0.88f, 0.9f, 1.0f}, kBlue, 0.05f);
  im.Bevel(0, 0, 300, 250, kLight, kShadow);
  return im;
}

Image AboutMail() {
  Image im(24, 16, Rgb{0.09f, 0.10f, 0.14f});
  im.Fill(1, 2, 23, 15, Rgb{0.85f, 0.87f, 1.0f});
  im.Polygon({{1, 2}, {23, 2}, {12, 10}}, kBlue);
  im.Bevel(1, 2, 23, 15, kLight, kShadow);
  return im;
}

Image AboutWeb() {
  Image im(16, 16, Rgb{0.09f, 0.10f, 0.14f});
  im.Circle(8, 8, 7, kBlue);
  im.Circle(8, 8, 3.5f, Rgb{0.85f, 0.87f, 1.0f}, 0.6f);
  im.Fill(1, 7, 15, 9, Rgb{0.85f, 0.87f, 1.0f});
  return im;
}

enum Icon { kPlay, kPause, kStop, kSync, kBendUp, kBendDown };
enum Face { kNormal, kOver, kDown, kUp };

Image Button(Icon icon, Face face, int h) {
  Image im(25, h, Rgb{0.06f, 0.065f, 0.085f});
  bool lit = face == kOver || face == kUp;
  bool down = face == kDown;
  Rgb top = down  ? Rgb{0.05f, 0.055f, 0.07f}
            : lit ? Rgb{0.26f, 0.28f, 0.36f}
                  : Rgb{0.19f, 0.2f, 0.26f};
  Rgb bottom = down ? Rgb{0.12f, 0.13f, 0.17f} : Rgb{0.07f, 0.075f, 0.10f};
  im.Fill(0, 0, 25, h, Rgb{0.03f, 0.03f, 0.04f});
  im.RoundRect(0.5f, 0.5f, 24.5f, h - 0.5f, 3.5f, down ? kShadow : kLight);
  const float r = 3, x0 = 1.5f, y0 = 1.5f, x1 = 23.5f, y1 = h - 1.5f;
  auto inner = [=](float x, float y) {
    if (x < x0 || x > x1 || y < y0 || y > y1) return false;
    float cx = std::clamp(x, x0 + r, x1 - r), cy = std::clamp(y, y0 + r, y1 - r);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
  };
  for (int y = 1; y < h - 1; ++y)
    im.Shape(0, y, 25, y + 1, Mix(top, bottom, float(y) / (h - 1)), 1, inner);
  Rgb colour;
  switch (icon) {
    case kPlay:
      colour = {0.35f, 1.0f, 0.45f};
      break;
    case kPause:
      colour = {1.0f, 0.75f, 0.25f};
      break;
    case kStop:
      colour = {1.0f, 0.32f, 0.28f};
      break;
    default:
      colour = {0.75f, 0.8f, 1.0f};
      break;
  }
  if (!lit && !down) colour = Scale(colour, 0.78f);
  float o = down ? 1.0f : 0.0f;
  float cy = h / 2.0f + o;
  float cx = 12.5f + o;
  if (lit || down) im.Circle(cx, cy, 8, colour, 0.12f);
  switch (icon) {
    case kPlay:
      im.Polygon({{cx - 4, cy - 6}, {cx + 6, cy}, {cx - 4, cy + 6}}, colour);
      break;
    case kPause:
      im.RoundRect(cx - 5, cy - 6, cx - 1.5f, cy + 6, 0.6f, colour);
      im.RoundRect(cx + 1.5f, cy - 6, cx + 5, cy + 6, 0.6f, colour);
      break;
    case kStop:
      im.RoundRect(cx - 5.5f, cy - 5.5f, cx + 5.5f, cy + 5.5f, 1, colour);
      break;
    case kSync:
      // Hold: two beats meeting at a line.
      im.Polygon({{cx - 7, cy - 5}, {cx - 1.5f, cy}, {cx - 7, cy + 5}}, colour);
      im.Polygon({{cx + 7, cy - 5}, {cx + 1.5f, cy}, {cx + 7, cy + 5}}, colour);
      im.Fill(int(cx), int(cy - 6), int(cx) + 1, int(cy + 7), colour);
      break;
    case kBendUp:
      im.Polygon({{cx - 6, cy + 3}, {cx, cy - 5}, {cx + 6, cy + 3}}, colour);
      break;
    case kBendDown:
      im.Polygon({{cx - 6, cy - 3}, {cx + 6, cy - 3}, {cx, cy + 5}}, colour);
      break;
  }
  return im;
}

// A slider's groove; ticks every `tick` pixels along it.
Image Track(int w, int h, bool horizontal, int tick) {
  Image im(w, h, Rgb{0.03f, 0.03f, 0.045f});
  im.Bevel(0, 0, w, h, kShadow, kLight);
  if (horizontal) {
    im.Fill(4, h / 2 - 1, w - 4, h / 2 + 1, Rgb{0, 0, 0});
    im.Fill(4, h / 2 + 1, w - 4, h / 2 + 2, Scale(kLight, 0.6f));
    for (int x = 5; x < w - 4; x += tick) im.Fill(x, 2, x + 1, 4, Scale(kBlue, 0.45f));
    im.Fill(w / 2, 1, w / 2 + 1, h - 1, Scale(kBlue, 0.6f));
  } else {
    im.Fill(w / 2 - 1, 4, w / 2 + 1, h - 4, Rgb{0, 0, 0});
    im.Fill(w / 2 + 1, 4, w / 2 + 2, h - 4, Scale(kLight, 0.6f));
    for (int y = 5; y < h - 4; y += tick) im.Fill(2, y, 4, y + 1, Scale(kBlue, 0.45f));
  }
  return im;
}

Image Thumb(int w, int h, bool horizontal) {
  Image im(w, h);
  im.VGradient(0, 0, w, h, Rgb{0.82f, 0.84f, 0.90f}, Rgb{0.36f, 0.38f, 0.45f});
  im.Bevel(0, 0, w, h, kWhite, Rgb{0.12f, 0.12f, 0.16f});
  if (horizontal)
    im.Fill(w / 2, 2, w / 2 + 1, h - 2, Rgb{0.05f, 0.05f, 0.08f});
  else
    im.Fill(2, h / 2, w - 2, h / 2 + 1, Rgb{0.05f, 0.05f, 0.08f});
  return im;
}

Image PositionBar() {
  Image im(220, 15);
  im.HGradient(0, 0, 220, 15, Rgb{0.05f, 0.10f, 0.42f}, Rgb{0.55f, 0.60f, 1.0f});
  for (int y = 0; y < 15; ++y) {
    float k = 1.25f - std::abs(y - 4.0f) / 12.0f;
    for (int x = 0; x < 220; ++x) im.At(x, y) = Scale(im.At(x, y), std::max(0.6f, k));
  }
  for (int x = 0; x < 220; x += 22) im.Fill(x, 0, x + 1, 15, Rgb{0.03f, 0.05f, 0.2f});
  return im;
}

// ---------------------------------------------------------------------------------------
// The widget kit's default slider pictures and its two cursors. Each keeps exact colours:
// the slider leaves out the colour of a picture's bottom-left pixel, so that corner holds
// a key colour found nowhere else in it.

const Rgb kKey{1, 0, 1};
Rgb Grey(int v) {
  return {v / 255.0f, v / 255.0f, v / 255.0f};
}

// Pixel art: 'X' black, 'o' white, ' ' the key colour.
Image Art(int w, int h, int dx, int dy, const std::vector<std::string>& rows) {
  Image im(w, h, kKey);
  for (size_t y = 0; y < rows.size(); ++y)
    for (size_t x = 0; x < rows[y].size(); ++x) {
      char c = rows[y][x];
      if (c == 'X') im.At(dx + int(x), dy + int(y)) = Grey(0);
      if (c == 'o') im.At(dx + int(x), dy + int(y)) = Grey(255);
    }
  return im;
}

// A slider thumb in the classic raised look, two frames side by side: normal, and
// pressed or disabled (a darker face). Horizontal thumbs point down at the ticks below
// the ruler; vertical ones are a block with the left corners cut.
Image KitThumb(bool horizontal) {
  const int fw = horizontal ? 9 : 19, fh = horizontal ? 17 : 9;
  Image im(2 * fw, fh, kKey);
  for (int f = 0; f < 2; ++f) {
    Rgb face = f == 0 ? Grey(192) : Grey(160);
    for (int y = 0; y < fh; ++y) {
      int x0 = 0, x1 = fw - 1;  // the row's extent, inclusive
      if (horizontal && y > 12) x0 = y - 12, x1 = fw - 1 - (y - 12);
      if (!horizontal && (y == 0 || y == fh - 1)) x0 = 1;
      for (int x = x0; x <= x1; ++x) {
        Rgb c = face;
        bool tipRow = horizontal && y > 12;
        if (x == x0 || y == 0) c = Grey(255);
        if (x == x1 - 1 && !tipRow) c = Grey(128);
        if (x == x1 || y == fh - 1 || (tipRow && x > (fw - 1) / 2)) c = Grey(0);
        if (!horizontal && y == fh - 2 && x > x0 && x < x1) c = Grey(128);
        im.At(f * fw + x, y) = c;
      }
    }
  }
  return im;
}

// The ruler's source: a sunken channel whose two-pixel ends are kept and whose middle is
// repeated along the slider.
Image KitRuler(bool horizontal) {
  const int w = horizontal ? 10 : 8, h = horizontal ? 8 : 10;
  Image im(w, h, Grey(255));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int fromTop = y, fromLeft = x, fromBottom = h - 1 - y, fromRight = w - 1 - x;
      Rgb c = Grey(255);
      if (fromTop == 1 || fromLeft == 1) c = Grey(0);
      if (fromBottom == 1 || fromRight == 1) c = Grey(224);
      if (fromTop == 0 || fromLeft == 0) c = Grey(128);
      if ((fromBottom == 0 || fromRight == 0) && fromTop > 0 && fromLeft > 0) c = Grey(255);
      im.At(x, y) = c;
    }
  im.At(0, h - 1) = kKey;
  im.At(w - 1, 0) = kKey;
  return im;
}

Image HandCursor() {
  return Art(32, 32, 4, 16,
             {"  XX          ", " XooX         ", " XooX         ", " XooX         ",
              " XooXXX       ", " XooXooXXX    ", " XooXooXooXX  ", "XXooXooXooXoX ",
              "XoXoooooooXooX", "XooXoooooooooX", " XoooooooooooX", "  XooooooooooX",
              "  XoooooooooX ", "   XooooooooX ", "    XooooooX  ", "    XXXXXXXX  "});
}

Image DragCursor() {
  return Art(32, 32, 7, 9,
             {"    XX XX XX     ", "   XooXooXooX    ", "   XooXooXooX XX ", "   XooXooXooXXooX",
              "   XooXooXooXooX ", " XXXooXooXooXooX ", "XooXooooooooXooX ", "XooXoooooooooooX ",
              " XooooooooooooX  ", " XooooooooooooX  ", "  XoooooooooooX  ", "  XooooooooooX   ",
              "   XoooooooooX   ", "   XoooooooooX   ", "    XXXXXXXXX    "});
}

// ---------------------------------------------------------------------------------------
// Files.

uint8_t Byte(float v) {
  return uint8_t(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f);
}

std::vector<uint8_t> Bmp(const Image& im) {
  int stride = (im.W() * 3 + 3) & ~3;
  uint32_t data = uint32_t(stride * im.H());
  std::vector<uint8_t> out(54 + data, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
  };
  out[0] = 'B', out[1] = 'M';
  put32(2, 54 + data);
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(im.W()));
  put32(22, uint32_t(im.H()));
  out[26] = 1, out[28] = 24;
  put32(34, data);
  for (int y = 0; y < im.H(); ++y) {
    uint8_t* row = out.data() + 54 + size_t(im.H() - 1 - y) * stride;
    for (int x = 0; x < im.W(); ++x) {
      Rgb c = im.At(x, y);
      row[3 * x] = Byte(c.b), row[3 * x + 1] = Byte(c.g), row[3 * x + 2] = Byte(c.r);
    }
  }
  return out;
}

std::vector<uint8_t> Jpeg(const Image& im) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buf, &size);
  c.image_width = JDIMENSION(im.W());
  c.image_height = JDIMENSION(im.H());
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 92, TRUE);
  for (int i = 0; i < c.num_components; ++i)
    c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(size_t(im.W()) * 3);
  while (c.next_scanline < c.image_height) {
    int y = int(c.next_scanline);
    for (int x = 0; x < im.W(); ++x) {
      Rgb p = im.At(x, y);
      row[3 * x] = Byte(p.r), row[3 * x + 1] = Byte(p.g), row[3 * x + 2] = Byte(p.b);
    }
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> out(buf, buf + size);
  jpeg_destroy_compress(&c);
  free(buf);
  return out;
}

struct Picture {
  std::string name;
  std::vector<uint8_t> bytes;
  bool jpeg;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s output.cpp [picture folder]\n", argv[0]);
    return 2;
  }
  std::vector<Picture> pics;
  auto bmp = [&](const std::string& n, const Image& im) { pics.push_back({n, Bmp(im), false}); };
  auto jpg = [&](const std::string& n, const Image& im) { pics.push_back({n, Jpeg(im), true}); };

  Image back = Background();
  jpg("KAZ_BACK", back);
  // The deck panels show their part of the background, so the window reads as one piece.
  jpg("KAZ_DECK1", back.Crop(8, 40, 260, 385));
  jpg("KAZ_DECK2", back.Crop(532, 40, 260, 385));
  jpg("KAZ_SPLASH", Splash());
  bmp("KAZ_TITLE", Title());

  const struct {
    const char* name;
    Icon icon;
  } buttons[] = {{"BTN_PLAY", kPlay}, {"BTN_PAUSE", kPause},   {"BTN_STOP", kStop},
                 {"BTN_SYNC", kSync}, {"BTN_BENDUP", kBendUp}, {"BTN_BENDDOWN", kBendDown}};
  const struct {
    const char* suffix;
    Face face;
  } faces[] = {{"_N", kNormal}, {"_O", kOver}, {"_D", kDown}, {"_U", kUp}};
  for (const auto& b : buttons)
    for (const auto& f : faces) {
      // The bend-down button's pressed and hovered faces are two pixels shorter.
      int h = (b.icon == kBendDown && f.face != kNormal) ? 23 : 25;
      bmp(std::string(b.name) + f.suffix, Button(b.icon, f.face, h));
    }

  bmp("SLD_PITCH_TRACK", Track(220, 15, true, 21));
  bmp("SLD_PITCH_THUMB", Thumb(10, 15, true));
  bmp("SLD_XFADE_TRACK", Track(220, 15, true, 21));
  bmp("SLD_XFADE_THUMB", Thumb(10, 15, true));
  bmp("SLD_VOL_TRACK", Track(15, 169, false, 16));
  bmp("SLD_VOL_THUMB", Thumb(15, 10, false));
  bmp("SLD_EQ_TRACK", Track(15, 135, false, 15));
  bmp("SLD_EQ_THUMB", Thumb(15, 10, false));
  bmp("POSBAR", PositionBar());
  jpg("ABOUT_BACK", AboutBack());
  bmp("ABOUT_MAIL", AboutMail());
  bmp("ABOUT_WEB", AboutWeb());

  bmp("W95_HTB", KitThumb(true));
  bmp("W95_HRL", KitRuler(true));
  bmp("W95_VTB", KitThumb(false));
  bmp("W95_VRL", KitRuler(false));
  bmp("RX_HANDCUR", HandCursor());
  bmp("RX_DRAGCUR", DragCursor());

  if (argc > 2) {
    for (const auto& p : pics) {
      std::ofstream f(std::string(argv[2]) + "/" + p.name + (p.jpeg ? ".jpg" : ".bmp"),
                      std::ios::binary);
      f.write(reinterpret_cast<const char*>(p.bytes.data()), std::streamsize(p.bytes.size()));
    }
  }

  std::string out =
      "// Made by the skin tool at build time; not to be edited.\n"
      "#include \"classlib/Graphics.h\"\n\nnamespace {\n";
  for (const auto& p : pics) {
    out += "const unsigned char k" + p.name + "[] = {";
    for (size_t i = 0; i < p.bytes.size(); ++i) {
      if (i % 24 == 0) out += "\n";
      out += std::to_string(p.bytes[i]) + ",";
    }
    out += "};\n";
  }
  out += "}  // namespace\n\nvoid RegisterSkinPictures() {\n";
  for (const auto& p : pics)
    out +=
        "  RegisterResourcePicture(\"" + p.name + "\", k" + p.name + ", sizeof k" + p.name + ");\n";
  out += "}\n";
  std::ofstream f(argv[1], std::ios::binary);
  f << out;
  return f ? 0 : 1;
}
