// Points and rectangles of the class library. A rectangle's right and bottom edges lie
// outside it: Rect(0, 0, 5, 5) covers 5 x 5 pixels.
#pragma once

#include <cstdint>

struct TPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  constexpr bool operator==(const TPoint&) const = default;
};

struct TSize {
  std::int32_t cx = 0;
  std::int32_t cy = 0;
  constexpr bool operator==(const TSize&) const = default;
};

struct TRect {
  std::int32_t Left = 0;
  std::int32_t Top = 0;
  std::int32_t Right = 0;
  std::int32_t Bottom = 0;
  constexpr std::int32_t Width() const { return Right - Left; }
  constexpr std::int32_t Height() const { return Bottom - Top; }
  constexpr TPoint TopLeft() const { return {Left, Top}; }
  constexpr TPoint BottomRight() const { return {Right, Bottom}; }
  constexpr bool operator==(const TRect&) const = default;
};

constexpr TPoint Point(std::int32_t x, std::int32_t y) {
  return {x, y};
}
constexpr TRect Rect(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
  return {l, t, r, b};
}
constexpr TRect Bounds(std::int32_t l, std::int32_t t, std::int32_t w, std::int32_t h) {
  return {l, t, l + w, t + h};
}
// The platform's test: right and bottom edges are outside.
constexpr bool PtInRect(const TRect& r, const TPoint& p) {
  return p.x >= r.Left && p.x < r.Right && p.y >= r.Top && p.y < r.Bottom;
}
constexpr bool IsRectEmpty(const TRect& r) {
  return r.Right <= r.Left || r.Bottom <= r.Top;
}
// The common part of two rectangles; false (and an empty result) when they do not meet.
constexpr bool IntersectRect(TRect& dst, const TRect& a, const TRect& b) {
  dst = {a.Left > b.Left ? a.Left : b.Left, a.Top > b.Top ? a.Top : b.Top,
         a.Right < b.Right ? a.Right : b.Right, a.Bottom < b.Bottom ? a.Bottom : b.Bottom};
  if (IsRectEmpty(dst)) {
    dst = {};
    return false;
  }
  return true;
}
constexpr TRect OffsetRectBy(const TRect& r, std::int32_t dx, std::int32_t dy) {
  return {r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
}
