#include <gtest/gtest.h>

#include <cstdlib>

#include "pixel/Arith.h"
#include "pixel/Blend.h"
#include "pixel/PixelTypes.h"
#include "pixel/Random.h"

namespace tintara {
namespace {

TEST(Mul8, WithinOneUnitOfTheQuotientForEveryPair) {
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) {
      const int exact = a * b / 255;
      const int got = Mul8(a, b);
      ASSERT_LE(std::abs(got - exact), 1) << a << "*" << b;
      ASSERT_LE(got, 255);
    }
  EXPECT_EQ(Mul8(255, 255), 255);
  EXPECT_EQ(Mul8(255, 0), 0);
  EXPECT_EQ(Mul8(255, 127), 127);
  EXPECT_EQ(Mul8(200, 128), 100);
}

TEST(Lerp8, EndpointsAreExactForEveryColourPair) {
  for (int s = 0; s < 256; ++s)
    for (int d = 0; d < 256; ++d) {
      ASSERT_EQ(Lerp8(s, d, 255), s) << s << "," << d;
      ASSERT_EQ(Lerp8(s, d, 0), d) << s << "," << d;
    }
}

TEST(Lerp8, MidValuesFollowTheFormula) {
  struct Case {
    uint8_t s, d, t, expected;
  };
  // (s*t*32897 + d*(8388735 - t*32897)) >> 23
  constexpr Case kCases[] = {{200, 100, 128, 150}, {0, 255, 1, 254}, {255, 0, 254, 254}, {10, 20, 100, 16}};
  for (auto c : kCases)
    EXPECT_EQ(Lerp8(c.s, c.d, c.t), c.expected) << int(c.s) << "," << int(c.d) << "," << int(c.t);
}

TEST(PixelTables, HoldTheQuotientsTheyName) {
  const uint8_t* mul = MulTab();
  const uint8_t* scr = ScrTab();
  EXPECT_EQ(mul[255 * 256 + 255], 255);
  EXPECT_EQ(mul[128 * 256 + 128], 64);                        // 16384 / 255 = 64.25
  EXPECT_EQ(mul[254 * 256 + 1], 0);                           // div, not rounding
  EXPECT_EQ(scr[128 * 256 + 0], 127);                         // 255 - 128*255/255
  EXPECT_EQ(scr[100 * 256 + 200], 234);                       // 255 - 100*55/255 = 255 - 21
  for (int s = 0; s < 256; ++s) EXPECT_EQ(scr[s], 255) << s;  // weight 0: multiply is identity
  const uint8_t* hd = HalfDiffTab();
  EXPECT_EQ(hd[255 * 256 + 127], 254);                      // 255*127*2/255
  EXPECT_EQ(hd[255 * 256 + (-127 & 0xFF)], 2);              // -254 mod 256
  EXPECT_EQ(hd[100 * 256 + (-1 & 0xFF)], 0);                // -200/255 truncates to 0
  EXPECT_EQ(hd[200 * 256 + (-100 & 0xFF)], uint8_t(-156));  // -40000/255 = -156.86 -> -156
}

TEST(Luminance, UsesTheWeightedSum) {
  EXPECT_EQ(Luminance(0x00FFFFFF), 255);
  EXPECT_EQ(Luminance(0x00FF0000), 76);   // 255*19595 >> 16
  EXPECT_EQ(Luminance(0x0000FF00), 149);  // 255*38469 >> 16
  EXPECT_EQ(Luminance(0x000000FF), 29);   // 255*7472 >> 16
  EXPECT_EQ(Luminance(0xFF000000), 0);    // alpha does not count
}

TEST(ColorRef, SwapsRedAndBlue) {
  EXPECT_EQ(ColorRefToPixel(0x000000FF), 0x00FF0000u);  // Windows red
  EXPECT_EQ(ColorRefToPixel(0x00FF0000), 0x000000FFu);
  EXPECT_EQ(ColorRefToPixel(0x00123456), 0x00563412u);
  EXPECT_EQ(PixelToColorRef(ColorRefToPixel(0x00ABCDEF)), 0x00ABCDEFu);
}

TEST(Random, SequenceForAGivenSeed) {
  SRandomState r;
  Seed(r, 12345, 0, 255);
  // current = current * 134775813 + 1; value = (255 * current) >> 32
  const uint32_t expected[] = {98, 73, 20, 141, 161, 87};
  for (uint32_t e : expected) EXPECT_EQ(Draw(r), e);
  EXPECT_EQ(r.current, 1467157059u);
  EXPECT_EQ(r.drawCount, 6u);

  Seed(r, 0, 10, 100);
  EXPECT_EQ(Draw(r), 10u);
  EXPECT_EQ(Draw(r), 12u);
  EXPECT_EQ(Draw(r), 87u);
}

TEST(Random, ByteRangeNeverReachesTheMaximum) {
  SRandomState r;
  Seed(r, 777, 0, 255);
  uint32_t hi = 0;
  for (int i = 0; i < 200000; ++i) hi = std::max(hi, Draw(r));
  EXPECT_EQ(hi, 254u);
}

TEST(ThresholdGate, BlendsOnlyWhenTheDrawIsBelowTheLevelTimesAlpha) {
  SRandomState r;
  Seed(r, 12345, 0, 255);  // draws 98, 73, 20, 141, ...
  ThresholdGate gate;
  gate.Setup(BlendSet, r, 160);
  // Mul8(160, 255) = 160: 98 and 73 and 20 pass, 141 passes, 161 does not.
  const uint32_t src = 0xFF123456;
  const bool expected[] = {true, true, true, true, false, true};
  for (bool e : expected) {
    uint32_t p = 0;
    gate(&p, src, 255);
    EXPECT_EQ(p == src, e);
  }
  // Transparent source: Mul8(level, 0) = 0, nothing ever passes.
  gate.Setup(BlendSet, r, 255);
  for (int i = 0; i < 50; ++i) {
    uint32_t p = 0;
    gate(&p, 0x00FFFFFF, 255);
    EXPECT_EQ(p, 0u);
  }
}

}  // namespace
}  // namespace tintara
