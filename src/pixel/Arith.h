// The 8-bit fixed-point arithmetic that all blending, coverage and opacity use.
#pragma once

#include <cstdint>

namespace tintara {

// a * b / 255 within one unit.
constexpr uint8_t Mul8(uint32_t a, uint32_t b) { return uint8_t((a * b * 32897u) >> 23); }

// s over d with weight t: exact at both ends (t = 0 gives d, t = 255 gives s).
constexpr uint8_t Lerp8(uint32_t s, uint32_t d, uint32_t t) {
  // The sum never exceeds 255 * 8388735, so 32-bit unsigned arithmetic is exact.
  return uint8_t((s * t * 32897u + d * (8388735u - t * 32897u)) >> 23);
}

// The three 64 KiB tables, indexed [i * 256 + j], built once.
struct PixelTables {
  uint8_t mul[65536];  // i * j div 255
  uint8_t scr[65536];  // 255 - i * (255 - j) div 255
  uint8_t
      halfDiff[65536];  // row = weight, column = signed difference c at c & 0xFF: trunc(i*c*2/255) mod 256
};

const PixelTables& Tables();

inline const uint8_t* MulTab() { return Tables().mul; }
inline const uint8_t* ScrTab() { return Tables().scr; }
inline const uint8_t* HalfDiffTab() { return Tables().halfDiff; }

// Percent shown for a byte: trunc(b * 100 / 255).
constexpr int32_t PercentOfByte(uint32_t b) { return int32_t(b * 100 / 255); }
// The largest byte that shows as `percent` (0..100, clamped).
constexpr uint8_t ByteOfPercent(int32_t percent) {
  if (percent <= 0) return 2;  // bytes 0..2 all show 0 %
  if (percent >= 100) return 255;
  // The first byte of the next percent, minus one.
  uint32_t b = uint32_t((percent + 1) * 255 + 99) / 100;
  return uint8_t(b - 1);
}

// Builds the tables now rather than at first use (start-up calls this once).
void InitPixelTables();

}  // namespace tintara
