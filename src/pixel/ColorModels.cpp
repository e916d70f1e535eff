#include "pixel/ColorModels.h"

#include <cmath>

#include "pixel/PixelTypes.h"

namespace tintara {
namespace {
constexpr int64_t kOne = 65536;
constexpr int64_t kFull = 360 * kOne;

uint32_t Pack(int64_t r, int64_t g, int64_t b) {
  auto c = [](int64_t v) { return uint32_t(std::clamp<int64_t>(v, 0, 255)); };
  return c(r) << 16 | c(g) << 8 | c(b);
}

// A channel 0..255 as a 16.16 fraction of one.
constexpr int64_t Frac(int64_t c) { return c * kOne / 255; }
}  // namespace

int32_t FixDiv(int64_t a, int64_t b) {
  if (b == 0) return 0;
  return int32_t(std::nearbyint(double(a) / double(b) * 65536.0));
}

HsvColor RgbToHsv(uint32_t colour) {
  const int64_t r = ChR(colour), g = ChG(colour), b = ChB(colour);
  // On a tie the earlier channel (R, then G) counts as the largest.
  int largest = 0;
  int64_t mx = r;
  if (g > mx) {
    mx = g;
    largest = 1;
  }
  if (b > mx) {
    mx = b;
    largest = 2;
  }
  const int64_t mn = std::min({r, g, b});
  HsvColor out;
  out.value = uint32_t(mx * kOne);
  if (mx == 0) return out;
  out.saturation = uint32_t((mx - mn) * kOne / mx * 255);
  if (out.saturation == 0) return out;
  const int64_t d = (mx - mn) * kOne;
  const int64_t tr = FixDiv((mx - r) * kOne, d), tg = FixDiv((mx - g) * kOne, d),
                tb = FixDiv((mx - b) * kOne, d);
  int64_t w;
  if (largest == 0)
    w = tb - tg;
  else if (largest == 1)
    w = 2 * kOne + tr - tb;
  else
    w = 4 * kOne + tg - tr;
  int64_t hue = 60 * w;
  if (hue < 0) hue += kFull;
  out.hue = int32_t(hue);
  return out;
}

uint32_t HsvToRgb(int32_t hueIn, uint32_t saturation, uint32_t value) {
  if (saturation == 0) {
    const int64_t v = value >> 16;
    return Pack(v, v, v);
  }
  int64_t hue = hueIn;
  while (hue < 0) hue += kFull;
  while (hue >= kFull) hue -= kFull;
  const int64_t sixty = 60 * kOne;
  const int64_t i = hue / sixty;
  const uint64_t f = uint64_t((hue % sixty) * kOne / sixty);
  const uint64_t K = 255 * uint64_t(kOne), S = saturation, V = value;
  auto mul = [](uint64_t a, uint64_t b) { return (a * b) >> 16; };
  const uint64_t p = mul(K - S, V) / 255;
  const uint64_t q = mul(K - mul(f, S), V) / 255;
  const uint64_t t = mul(K - S + mul(f, S), V) / 255;
  const int64_t P = int64_t(p >> 16), Q = int64_t(q >> 16), T = int64_t(t >> 16), Vv = int64_t(V >> 16);
  switch (i) {
    case 0:
      return Pack(Vv, T, P);
    case 1:
      return Pack(Q, Vv, P);
    case 2:
      return Pack(P, Vv, T);
    case 3:
      return Pack(P, Q, Vv);
    case 4:
      return Pack(T, P, Vv);
    default:
      return Pack(Vv, P, Q);
  }
}

HlsColor RgbToHls(uint32_t colour) {
  const int64_t r = ChR(colour), g = ChG(colour), b = ChB(colour);
  const int64_t mx = std::max({r, g, b}), mn = std::min({r, g, b});
  HlsColor out;
  if (mx == mn) {
    out.lightness = int32_t(r * kOne);
    return out;
  }
  const int64_t rf = Frac(r), gf = Frac(g), bf = Frac(b), mxf = Frac(mx), mnf = Frac(mn);
  const int64_t L = (mxf + mnf) / 2;
  const int64_t S = L > 32768 ? FixDiv(mxf - mnf, 2 * kOne - mxf - mnf) : FixDiv(mxf - mnf, mxf + mnf);
  const int64_t d = mxf - mnf;
  int64_t w;
  if (mx == r)
    w = FixDiv(gf - bf, d);
  else if (mx == g)
    w = 2 * kOne + FixDiv(bf - rf, d);
  else
    w = 4 * kOne + FixDiv(rf - gf, d);
  int64_t hue = 60 * w;
  if (hue < 0) hue += kFull;
  out.hue = int32_t(hue);
  out.lightness = int32_t(L * 255);
  out.saturation = int32_t(S * 255);
  return out;
}

uint32_t HlsToRgb(int32_t hue, int32_t lightness, int32_t saturation) {
  if (saturation == 0) {
    const int64_t v = lightness >> 16;
    return Pack(v, v, v);
  }
  const int64_t L = lightness / 255, S = saturation / 255;
  const int64_t m2 = L <= 32768 ? FixMul(L, kOne + S) : L + S - FixMul(L, S);
  const int64_t m1 = 2 * L - m2;
  auto channel = [&](int64_t h) {
    while (h > kFull) h -= kFull;
    while (h < 0) h += kFull;
    int64_t v;
    if (h < 60 * kOne)
      v = m1 + FixMul(m2 - m1, h) / 60;
    else if (h < 180 * kOne)
      v = m2;
    else if (h < 240 * kOne)
      v = m1 + FixMul(m2 - m1, 240 * kOne - h) / 60;
    else
      v = m1;
    return (v * 255) >> 16;
  };
  return Pack(channel(int64_t(hue) + 120 * kOne), channel(hue), channel(int64_t(hue) - 120 * kOne));
}

}  // namespace tintara
