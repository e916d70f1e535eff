// Pixel formats, rectangles and the colour helpers every buffer shares.
//
// A colour pixel is one 32-bit word 0xAARRGGBB (bytes B, G, R, A in memory); alpha 255
// is opaque. A channel pixel is one byte.
#pragma once

#include <algorithm>
#include <cstdint>

namespace tintara {

// The rectangle of the pixel operations: origin and size.
struct SPixRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;

  constexpr int32_t Right() const { return x + width; }
  constexpr int32_t Bottom() const { return y + height; }
  constexpr bool IsEmpty() const { return width <= 0 || height <= 0; }
  friend constexpr bool operator==(const SPixRect&, const SPixRect&) = default;
};

// The platform's left-top-right-bottom rectangle, used at the boundary.
struct TRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  constexpr int32_t Width() const { return right - left; }
  constexpr int32_t Height() const { return bottom - top; }
  constexpr bool IsEmpty() const { return right <= left || bottom <= top; }
  friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

struct TPoint {
  int32_t x = 0;
  int32_t y = 0;
  friend constexpr bool operator==(const TPoint&, const TPoint&) = default;
};

constexpr TRect ToTRect(const SPixRect& r) { return {r.x, r.y, r.x + r.width, r.y + r.height}; }
constexpr SPixRect ToPixRect(const TRect& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }

// Intersection of two rectangles; empty (width or height <= 0) when they do not meet.
constexpr SPixRect Intersect(const SPixRect& a, const SPixRect& b) {
  // 64-bit edges so that rectangles near the int range never wrap.
  int64_t l = std::max<int64_t>(a.x, b.x), t = std::max<int64_t>(a.y, b.y);
  int64_t r = std::min<int64_t>(int64_t(a.x) + a.width, int64_t(b.x) + b.width);
  int64_t btm = std::min<int64_t>(int64_t(a.y) + a.height, int64_t(b.y) + b.height);
  if (r <= l || btm <= t) return {int32_t(l), int32_t(t), 0, 0};
  return {int32_t(l), int32_t(t), int32_t(r - l), int32_t(btm - t)};
}

// Smallest rectangle holding both; an empty rectangle does not count.
constexpr SPixRect Union(const SPixRect& a, const SPixRect& b) {
  if (a.IsEmpty()) return b;
  if (b.IsEmpty()) return a;
  int32_t l = std::min(a.x, b.x), t = std::min(a.y, b.y);
  int32_t r = std::max(a.Right(), b.Right()), btm = std::max(a.Bottom(), b.Bottom());
  return {l, t, r - l, btm - t};
}

// Channel access of a colour pixel.
constexpr uint8_t ChB(uint32_t p) { return uint8_t(p); }
constexpr uint8_t ChG(uint32_t p) { return uint8_t(p >> 8); }
constexpr uint8_t ChR(uint32_t p) { return uint8_t(p >> 16); }
constexpr uint8_t ChA(uint32_t p) { return uint8_t(p >> 24); }
constexpr uint32_t MakePixel(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}
constexpr uint32_t WithAlpha(uint32_t p, uint8_t a) { return (p & 0x00FFFFFFu) | uint32_t(a) << 24; }

// A Windows colour value 0x00BBGGRR becomes the pixel 0x00RRGGBB: red and blue swap,
// and the top byte (0 for plain colours) becomes the alpha byte.
constexpr uint32_t ColorRefToPixel(uint32_t c) {
  return (c & 0xFF00FF00u) | (c & 0xFFu) << 16 | (c >> 16 & 0xFFu);
}
constexpr uint32_t PixelToColorRef(uint32_t p) { return ColorRefToPixel(p); }

constexpr uint8_t Luminance(uint32_t p) {
  return uint8_t((ChR(p) * 19595u + ChG(p) * 38469u + ChB(p) * 7472u) >> 16);
}

// Floor division for cell indices that may be negative.
constexpr int32_t FloorDiv(int32_t a, int32_t b) {
  int32_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

}  // namespace tintara
