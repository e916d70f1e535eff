#include <gtest/gtest.h>

#include <cstdlib>

#include "pixel/ColorModels.h"
#include "pixel/PixelTypes.h"

namespace tintara {
namespace {

constexpr int32_t k1 = 65536;

TEST(FixedPoint, DivRoundsHalfToEvenAndMulShifts) {
  EXPECT_EQ(FixDiv(1, 2), 32768);
  EXPECT_EQ(FixDiv(1, 3), 21845);   // 21845.33
  EXPECT_EQ(FixDiv(2, 3), 43691);   // 43690.67
  EXPECT_EQ(FixDiv(1, 131072), 0);  // 0.5 ties to even 0
  EXPECT_EQ(FixDiv(3, 131072), 2);  // 1.5 ties to even 2
  EXPECT_EQ(FixDiv(-1, 3), -21845);
  EXPECT_EQ(FixMul(3 * k1, k1 / 2), 3 * k1 / 2);
  EXPECT_EQ(FixMul(-3, 1), -1);  // arithmetic shift rounds down
}

struct HsvCase {
  uint32_t rgb;
  int32_t hue;
  uint32_t sat, val;
};

// Hues, saturations and values as the fixed-point rules give them.
const HsvCase kHsv[] = {
    {0x00FF0000, 0, 255u * k1, 255u * k1},         // pure red
    {0x000000FF, 240 * k1, 255u * k1, 255u * k1},  // pure blue
    {0x00FFFFFF, 0, 0, 255u * k1},                 // white
    {0x00000000, 0, 0, 0},                         // black
    {0x00336699, 13762560, 11140950, 10027008},    // 210 degrees
    {0x000AC81E, 8278260, 15876045, 13107200},
    {0x00C8C80A, 3932160, 15876045, 13107200},  // R and G tie: R counts as largest
    {0x00804040, 0, 8355840, 8388608},
};

TEST(Hsv, FromRgbCaseTable) {
  for (const auto& c : kHsv) {
    HsvColor h = RgbToHsv(c.rgb);
    EXPECT_EQ(h.hue, c.hue) << std::hex << c.rgb;
    EXPECT_EQ(h.saturation, c.sat) << std::hex << c.rgb;
    EXPECT_EQ(h.value, c.val) << std::hex << c.rgb;
  }
}

TEST(Hsv, ToRgbRules) {
  // Saturation 0 is a grey of the value's integer part, whatever the hue.
  EXPECT_EQ(HsvToRgb(123 * k1, 0, 77 * k1 + 50000), 0x004D4D4Du);
  // A hue of -60 degrees is read as 300.
  EXPECT_EQ(HsvToRgb(-60 * k1, 255u * k1, 255u * k1), HsvToRgb(300 * k1, 255u * k1, 255u * k1));
  EXPECT_EQ(HsvToRgb(300 * k1, 255u * k1, 255u * k1), 0x00FF00FFu);
  EXPECT_EQ(HsvToRgb(420 * k1, 255u * k1, 255u * k1), 0x00FFFF00u);  // 60 degrees
  for (const auto& c : kHsv) EXPECT_EQ(HsvToRgb(c.hue, c.sat, c.val), c.rgb) << std::hex << c.rgb;
}

struct HlsCase {
  uint32_t rgb;
  int32_t hue, light, sat;
  uint32_t back;  // HlsToRgb of the result
};

const HlsCase kHls[] = {
    {0x00FF0000, 0, 8355840, 16711680, 0x00FF0000},
    {0x000000FF, 240 * k1, 8355840, 16711680, 0x000000FF},
    {0x00336699, 13762560, 6684570, 8355840, 0x00326598},
    {0x000AC81E, 8278260, 6881175, 15119970, 0x000AC71E},
    {0x00804040, 0, 6291360, 5570475, 0x007F4040},
    {0x00010203, 13762560, 131070, 8355840, 0x00000102},
};

TEST(Hls, CaseTable) {
  for (const auto& c : kHls) {
    HlsColor h = RgbToHls(c.rgb);
    EXPECT_EQ(h.hue, c.hue) << std::hex << c.rgb;
    EXPECT_EQ(h.lightness, c.light) << std::hex << c.rgb;
    EXPECT_EQ(h.saturation, c.sat) << std::hex << c.rgb;
    EXPECT_EQ(HlsToRgb(h), c.back) << std::hex << c.rgb;
  }
}

TEST(Hls, GreysKeepTheirLevelExactly) {
  for (uint32_t v = 0; v < 256; ++v) {
    const uint32_t grey = v << 16 | v << 8 | v;
    HlsColor h = RgbToHls(grey);
    EXPECT_EQ(h.lightness, int32_t(v) * k1);
    EXPECT_EQ(h.saturation, 0);
    EXPECT_EQ(HlsToRgb(h), grey);
  }
}

TEST(ColourModels, RoundTripsLoseAtMostOneLevel) {
  int worstHsv = 0, worstHls = 0;
  auto err = [](uint32_t a, uint32_t b) {
    return std::max({std::abs(ChR(a) - ChR(b)), std::abs(ChG(a) - ChG(b)), std::abs(ChB(a) - ChB(b))});
  };
  for (uint32_t r = 0; r < 256; r += 3)
    for (uint32_t g = 0; g < 256; g += 5)
      for (uint32_t b = 0; b < 256; b += 2) {
        const uint32_t c = r << 16 | g << 8 | b;
        worstHsv = std::max(worstHsv, err(c, HsvToRgb(RgbToHsv(c))));
        worstHls = std::max(worstHls, err(c, HlsToRgb(RgbToHls(c))));
      }
  EXPECT_LE(worstHsv, 1);
  EXPECT_LE(worstHls, 1);
  EXPECT_EQ(worstHls, 1);  // the HLS fractions do lose a level somewhere
}

}  // namespace
}  // namespace tintara
