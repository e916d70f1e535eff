// Pixel blend primitives: what one colour (or byte) does to one destination pixel.
// p is the destination, s the source, t the weight 0..255. The colour primitives keep
// the destination's alpha byte unless their name says otherwise.
#pragma once

#include <cstdint>

#include "pixel/Arith.h"
#include "pixel/Random.h"

namespace tintara {

using PixelProc = void (*)(uint32_t* p, uint32_t s, uint8_t t);
using ChannelProc = void (*)(uint8_t* p, uint8_t s, uint8_t t);

namespace detail {
// Applies a per-channel function to bytes 0..2 and keeps byte 3.
template <class F>
inline uint32_t MapColour(uint32_t d, uint32_t s, F f) {
  uint32_t b = f(d & 0xFF, s & 0xFF);
  uint32_t g = f(d >> 8 & 0xFF, s >> 8 & 0xFF);
  uint32_t r = f(d >> 16 & 0xFF, s >> 16 & 0xFF);
  return (d & 0xFF000000u) | r << 16 | g << 8 | b;
}
}  // namespace detail

inline void BlendNormal(uint32_t* p, uint32_t s, uint8_t t) {
  if (t == 0) return;
  if (t == 255) {
    *p = (*p & 0xFF000000u) | (s & 0x00FFFFFFu);
    return;
  }
  *p = detail::MapColour(*p, s, [t](uint32_t d, uint32_t sc) { return uint32_t(Lerp8(sc, d, t)); });
}

// Row forms of BlendNormal. Lerp8(s, d, t) = (32897 * (s * t + d * (255 - t))) >> 23, and
// the bracket fits 16 bits, so the loops keep every lane 16 bits wide and the compiler
// vectorises them.
namespace detail {
inline uint16_t LerpBracket(uint16_t x) {
  // (x * 32897) >> 23 as a 16-bit high multiply and a shift.
  return uint16_t(uint16_t((uint32_t(x) * uint32_t(uint16_t(32897))) >> 16) >> 7);
}
}  // namespace detail

inline void BlendNormalRowConst(uint32_t* p, int32_t n, uint32_t s, uint8_t t) {
  if (t == 0) return;
  if (t == 255) {
    for (int32_t i = 0; i < n; ++i) p[i] = (p[i] & 0xFF000000u) | (s & 0x00FFFFFFu);
    return;
  }
  const uint16_t w = uint16_t(255 - t);
  const uint16_t sb = uint16_t((s & 0xFF) * t), sg = uint16_t((s >> 8 & 0xFF) * t),
                 sr = uint16_t((s >> 16 & 0xFF) * t);
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t d = p[i];
    const uint32_t b = detail::LerpBracket(uint16_t(sb + uint16_t(d & 0xFF) * w));
    const uint32_t g = detail::LerpBracket(uint16_t(sg + uint16_t(d >> 8 & 0xFF) * w));
    const uint32_t r = detail::LerpBracket(uint16_t(sr + uint16_t(d >> 16 & 0xFF) * w));
    p[i] = (d & 0xFF000000u) | r << 16 | g << 8 | b;
  }
}

inline void BlendNormalRow(uint32_t* p, const uint32_t* src, int32_t n, uint8_t t) {
  if (t == 0) return;
  if (t == 255) {
    for (int32_t i = 0; i < n; ++i) p[i] = (p[i] & 0xFF000000u) | (src[i] & 0x00FFFFFFu);
    return;
  }
  const uint16_t w = uint16_t(255 - t), tt = t;
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t d = p[i], s = src[i];
    const uint32_t b = detail::LerpBracket(uint16_t(uint16_t(s & 0xFF) * tt + uint16_t(d & 0xFF) * w));
    const uint32_t g =
        detail::LerpBracket(uint16_t(uint16_t(s >> 8 & 0xFF) * tt + uint16_t(d >> 8 & 0xFF) * w));
    const uint32_t r =
        detail::LerpBracket(uint16_t(uint16_t(s >> 16 & 0xFF) * tt + uint16_t(d >> 16 & 0xFF) * w));
    p[i] = (d & 0xFF000000u) | r << 16 | g << 8 | b;
  }
}

// The half-difference step: d += table[t][(s >> 1) - (d >> 1)], adding mod 256. The
// true result always lies in 0..255, so the wrap is exact.
inline uint8_t HalfDiffStep(const uint8_t* row, uint32_t d, uint32_t s) {
  return uint8_t(d + row[((s >> 1) - (d >> 1)) & 0xFF]);
}

inline void BlendNormalHalf(uint32_t* p, uint32_t s, uint8_t t) {
  if (t == 0) return;
  if (t == 255) {
    *p = (*p & 0xFF000000u) | (s & 0x00FFFFFFu);
    return;
  }
  const uint8_t* row = HalfDiffTab() + t * 256;
  *p =
      detail::MapColour(*p, s, [row](uint32_t d, uint32_t sc) { return uint32_t(HalfDiffStep(row, d, sc)); });
}

inline void BlendMultiply(uint32_t* p, uint32_t s, uint8_t t) {
  const uint8_t* mul = MulTab();
  const uint8_t* scr = ScrTab() + t * 256;
  *p = detail::MapColour(*p, s,
                         [mul, scr](uint32_t d, uint32_t sc) { return uint32_t(mul[d * 256 + scr[sc]]); });
}

inline void BlendAdd(uint32_t* p, uint32_t s, uint8_t t) {
  const uint8_t* mul = MulTab() + t * 256;
  *p = detail::MapColour(*p, s, [mul](uint32_t d, uint32_t sc) {
    uint32_t v = d + mul[sc];
    return v > 255 ? 255u : v;
  });
}

inline void BlendSubtract(uint32_t* p, uint32_t s, uint8_t t) {
  const uint8_t* mul = MulTab() + t * 256;
  *p = detail::MapColour(*p, s, [mul](uint32_t d, uint32_t sc) {
    uint32_t m = mul[sc];
    return d > m ? d - m : 0u;
  });
}

// The colour bytes of s and d mixed at weight t (alpha not produced).
inline uint32_t LerpRgb(uint32_t s, uint32_t d, uint32_t t) {
  return uint32_t(Lerp8(s >> 16 & 0xFF, d >> 16 & 0xFF, t)) << 16 |
         uint32_t(Lerp8(s >> 8 & 0xFF, d >> 8 & 0xFF, t)) << 8 | Lerp8(s & 0xFF, d & 0xFF, t);
}

// What painting a colour at coverage c (0..255, larger counts as 255) does to one pixel: the
// pens, brushes and fills all paint through these.
// Over: the coverage goes into alpha too, and the colour is mixed by its share of the result.
inline uint32_t BlendOverPixel(uint32_t p, uint32_t colour, uint32_t c) {
  if (c == 0) return p;
  if (c >= 255) return (colour & 0x00FFFFFFu) | 0xFF000000u;
  const uint32_t a = p >> 24;
  if (a == 255) return 0xFF000000u | LerpRgb(colour, p, c);
  const uint32_t a2 = a + Mul8(c, 255 - a);
  // a2 >= c >= 1 here: Mul8(c, 255) is c.
  const uint32_t t = c * 255 / a2;
  return a2 << 24 | LerpRgb(colour, p, t);
}

// Keep alpha: the colour only (a layer whose transparency is protected).
inline uint32_t BlendKeepAlphaPixel(uint32_t p, uint32_t colour, uint32_t c) {
  if (c == 0) return p;
  return (p & 0xFF000000u) | LerpRgb(colour, p, c < 255 ? c : 255u);
}

// Erase: the coverage takes alpha away, the colour stays.
inline uint32_t BlendErasePixel(uint32_t p, uint32_t c) {
  const uint32_t a = p >> 24;
  return (p & 0x00FFFFFFu) | uint32_t(a - Mul8(c < 255 ? c : 255u, a)) << 24;
}

// The whole word, alpha included; t is ignored.
inline void BlendSet(uint32_t* p, uint32_t s, uint8_t) { *p = s; }

// Channel primitives.
inline void ChannelSet(uint8_t* p, uint8_t s, uint8_t) { *p = s; }
inline void ChannelMax(uint8_t* p, uint8_t s, uint8_t) {
  if (s > *p) *p = s;
}
inline void ChannelMultiply(uint8_t* p, uint8_t s, uint8_t) { *p = (s && *p) ? Mul8(s, *p) : 0; }
inline void ChannelCover(uint8_t* p, uint8_t s, uint8_t t) { *p = Lerp8(s, *p, t); }
inline void ChannelCoverHalf(uint8_t* p, uint8_t s, uint8_t t) {
  if (t == 0) return;
  if (t == 255) {
    *p = s;
    return;
  }
  *p = HalfDiffStep(HalfDiffTab() + t * 256, *p, s);
}

// An alpha-keeping merge: like a primitive, but it also works out the destination's new
// alpha. `param` is the merge record the blend modes build.
using MergeProc = void (*)(uint32_t* p, uint32_t s, uint8_t t, const void* param);
struct MergeFn {
  MergeProc proc = nullptr;
  const void* param = nullptr;
  void operator()(uint32_t* p, uint32_t s, uint8_t t) const { proc(p, s, t, param); }
};

// Runs the wrapped primitive only when the next pseudo-random draw is below
// Mul8(level, source alpha): layers use it to dither their blend.
struct ThresholdGate {
  PixelProc inner = nullptr;
  SRandomState random;
  uint8_t level = 0;

  void Setup(PixelProc wrapped, const SRandomState& state, uint8_t lvl) {
    inner = wrapped;
    random = state;
    level = lvl;
  }
  // True when this pixel passes the gate (one draw per call).
  bool Pass(uint32_t s) { return Draw(random) < Mul8(level, s >> 24); }
  void operator()(uint32_t* p, uint32_t s, uint8_t t) {
    if (Pass(s)) inner(p, s, t);
  }
};

}  // namespace tintara
