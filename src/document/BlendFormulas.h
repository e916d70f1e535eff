// The per-channel formulas of the separable blend modes, written once for any lane type:
// a plain 32-bit channel value, or eight 16-bit lanes that the row loops run at once. The
// helpers below give both the same arithmetic (exact division by 255, select, min, max).
//
// In the vector form every intermediate a formula keeps fits 16 bits; branches that a
// select throws away may wrap, which unsigned lanes do without harm.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tintara::blendf {

typedef uint16_t u16x8 __attribute__((vector_size(16)));
typedef int16_t i16x8 __attribute__((vector_size(16)));

// x div 255, exact for x <= 65025: (x * 32897) >> 23, in lanes a high multiply and a shift.
constexpr uint32_t D255(uint32_t x) { return (x * 32897u) >> 23; }
inline u16x8 D255(u16x8 x) {
#if defined(__SSE2__)
  return (u16x8)_mm_srli_epi16(_mm_mulhi_epu16((__m128i)x, _mm_set1_epi16(int16_t(32897))), 7);
#else
  return (x + 1 + (x >> 8)) >> 8;
#endif
}

constexpr uint32_t Sel(bool c, uint32_t a, uint32_t b) { return c ? a : b; }
inline u16x8 Sel(i16x8 c, u16x8 a, u16x8 b) {
  const u16x8 m = (u16x8)c;
  return (a & m) | (b & ~m);
}
template <class T>
constexpr T Min(T a, T b) {
  return Sel(a < b, a, b);
}
template <class T>
constexpr T Max(T a, T b) {
  return Sel(a > b, a, b);
}

// Lerp8(f, d, w): exact at both ends, so no branch on the weight is needed.
template <class T>
constexpr T Mix(T f, T d, T w) {
  return D255(f * w + d * (255 - w));
}

template <class T>
constexpr T Normal(T, T s) {
  return s;
}
template <class T>
constexpr T Screen(T d, T s) {
  return d + s - D255(d * s);
}
template <class T>
constexpr T Overlay(T d, T s) {
  return Sel(d >= 128, D255(65025 - 2 * (255 - s) * (255 - d)), D255(2 * d * s));
}
template <class T>
constexpr T HardLight(T d, T s) {
  return Sel(s >= 128, D255(65025 - 2 * (255 - d) * (255 - s)), D255(2 * d * s));
}
template <class T>
constexpr T Difference(T d, T s) {
  return Sel(d > s, d - s, s - d);
}
template <class T>
constexpr T Exclusion(T d, T s) {
  return s + d - 2 * D255(d * s);
}
template <class T>
constexpr T Darken(T d, T s) {
  return Min(d, s);
}
template <class T>
constexpr T Lighten(T d, T s) {
  return Max(d, s);
}
// clamp(d + 2s - 256, 0, 255): 256, not 255.
template <class T>
constexpr T LinearLight(T d, T s) {
  const T v = d + 2 * s;
  return Sel(v < 256, v - v, Min(v - 256, v - v + 255));
}
// min(max(d, 2s - 255), 2s).
template <class T>
constexpr T PinLight(T d, T s) {
  return Min(Sel(d + 255 > 2 * s, d, 2 * s - 255), 2 * s);
}

// The opaque multiply, add, subtract and subtract-negative at weight w (already scaled).
template <class T>
constexpr T MultiplyW(T d, T s, T w) {
  return D255(d * (255 - D255(w * (255 - s))));
}
template <class T>
constexpr T AddW(T d, T s, T w) {
  return Min(d + D255(w * s), d - d + 255);
}
template <class T>
constexpr T SubtractW(T d, T s, T w) {
  const T m = D255(w * s);
  return Sel(d > m, d - m, d - d);
}
template <class T>
constexpr T SubtractNegativeW(T d, T s, T w) {
  const T m = D255((255 - s) * w);
  return Sel(d > m, d - m, d - d);
}

}  // namespace tintara::blendf
