// HSV and HLS colour models in 16.16 fixed point.
//
// Both take and give pixel colours 0x00RRGGBB (the alpha byte of the input is ignored,
// the output's is 0).
#pragma once

#include <cstdint>

namespace tintara {

// a / b * 65536, computed in floating point and rounded to nearest (ties to even).
int32_t FixDiv(int64_t a, int64_t b);
// (a * b) >> 16 on the signed 64-bit product.
constexpr int64_t FixMul(int64_t a, int64_t b) { return (a * b) >> 16; }

struct HsvColor {
  int32_t hue = 0;          // degrees * 65536, 0 <= hue < 360 * 65536
  uint32_t saturation = 0;  // 0 .. 255 * 65536
  uint32_t value = 0;       // 0 .. 255 * 65536
};

struct HlsColor {
  int32_t hue = 0;  // degrees * 65536
  int32_t lightness = 0;
  int32_t saturation = 0;
};

HsvColor RgbToHsv(uint32_t colour);
uint32_t HsvToRgb(int32_t hue, uint32_t saturation, uint32_t value);
inline uint32_t HsvToRgb(const HsvColor& c) { return HsvToRgb(c.hue, c.saturation, c.value); }

HlsColor RgbToHls(uint32_t colour);
uint32_t HlsToRgb(int32_t hue, int32_t lightness, int32_t saturation);
inline uint32_t HlsToRgb(const HlsColor& c) { return HlsToRgb(c.hue, c.lightness, c.saturation); }

}  // namespace tintara
