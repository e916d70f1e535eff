#include <gtest/gtest.h>

#include <cstdlib>

#include "pixel/Blend.h"

namespace tintara {
namespace {

struct ColourCase {
  PixelProc proc;
  const char* name;
  uint32_t d, s;
  uint8_t t;
  uint32_t expected;
};

// Worked out channel by channel from each primitive's rule.
const ColourCase kColourCases[] = {
    {BlendNormal, "normal t0", 0x80102030, 0x00F0E0D0, 0, 0x80102030},
    {BlendNormal, "normal t128", 0x80102030, 0x00F0E0D0, 128, 0x80808080},
    {BlendNormal, "normal t254", 0x80102030, 0x00F0E0D0, 254, 0x80EFDFCF},
    {BlendNormal, "normal t255 keeps alpha", 0x80102030, 0x00F0E0D0, 255, 0x80F0E0D0},
    {BlendNormalHalf, "half t0", 0x80102030, 0x00F0E0D0, 0, 0x80102030},
    {BlendNormalHalf, "half t128", 0x80102030, 0x00F0E0D0, 128, 0x80808080},
    {BlendNormalHalf, "half t255", 0x80102030, 0x00F0E0D0, 255, 0x80F0E0D0},
    {BlendMultiply, "multiply t0 is identity", 0x80102030, 0x00F0E0D0, 0, 0x80102030},
    {BlendMultiply, "multiply t128", 0x80102030, 0x00F0E0D0, 128, 0x800F1E2B},
    {BlendMultiply, "multiply t255", 0x80102030, 0x00F0E0D0, 255, 0x800F1C27},
    {BlendMultiply, "multiply by white", 0x11223344, 0x00FFFFFF, 255, 0x11223344},
    {BlendAdd, "add t0", 0x7F90A0B0, 0x00F0E0D0, 0, 0x7F90A0B0},
    {BlendAdd, "add clamps", 0x7F90A0B0, 0x00F0E0D0, 128, 0x7FFFFFFF},
    {BlendAdd, "add small", 0x00101010, 0x00102030, 255, 0x00203040},
    {BlendSubtract, "subtract t0", 0x7F90A0B0, 0x00F0E0D0, 0, 0x7F90A0B0},
    {BlendSubtract, "subtract t128", 0x7F90A0B0, 0x00F0E0D0, 128, 0x7F183048},
    {BlendSubtract, "subtract clamps at 0", 0x7F90A0B0, 0x00F0E0D0, 255, 0x7F000000},
    {BlendSet, "set copies the whole word", 0x7F90A0B0, 0x00F0E0D0, 0, 0x00F0E0D0},
};

TEST(ColourPrimitives, CaseTable) {
  for (const auto& c : kColourCases) {
    uint32_t p = c.d;
    c.proc(&p, c.s, c.t);
    EXPECT_EQ(p, c.expected) << c.name << std::hex << " got 0x" << p;
  }
}

TEST(ColourPrimitives, KeepDestinationAlpha) {
  const PixelProc procs[] = {BlendNormal, BlendNormalHalf, BlendMultiply, BlendAdd, BlendSubtract};
  for (PixelProc proc : procs)
    for (uint32_t a : {0u, 1u, 128u, 255u})
      for (int t : {0, 1, 77, 254, 255}) {
        uint32_t p = a << 24 | 0x406080;
        proc(&p, 0xFF102030, uint8_t(t));
        EXPECT_EQ(p >> 24, a);
      }
}

TEST(BlendNormalHalf, StaysWithinTwoLevelsOfLerpForEveryInput) {
  int worst = 0;
  for (int t = 1; t < 255; ++t)
    for (int s = 0; s < 256; ++s)
      for (int d = 0; d < 256; ++d) {
        uint32_t p = uint32_t(d);
        BlendNormalHalf(&p, uint32_t(s), uint8_t(t));
        worst = std::max(worst, std::abs(int(p & 0xFF) - int(Lerp8(s, d, t))));
      }
  EXPECT_LE(worst, 2);
  EXPECT_GE(worst, 1);  // it is an approximation, not the same formula
}

struct ChannelCase {
  ChannelProc proc;
  const char* name;
  uint8_t d, s, t, expected;
};

const ChannelCase kChannelCases[] = {
    {ChannelSet, "set", 10, 200, 0, 200},
    {ChannelMax, "max keeps larger", 210, 200, 0, 210},
    {ChannelMax, "max takes larger", 10, 200, 0, 200},
    {ChannelMultiply, "multiply", 128, 128, 0, 64},
    {ChannelMultiply, "multiply zero source", 200, 0, 0, 0},
    {ChannelMultiply, "multiply zero byte", 0, 200, 0, 0},
    {ChannelMultiply, "multiply full", 255, 255, 0, 255},
    {ChannelCover, "cover t0", 40, 200, 0, 40},
    {ChannelCover, "cover t128", 100, 200, 128, 150},
    {ChannelCover, "cover t255", 40, 200, 255, 200},
    {ChannelCoverHalf, "cover-half t0", 40, 200, 0, 40},
    {ChannelCoverHalf, "cover-half t255", 40, 200, 255, 200},
    // 100 + trunc(128 * (100 - 50) * 2 / 255) = 100 + 50
    {ChannelCoverHalf, "cover-half t128", 100, 200, 128, 150},
    // 200 + trunc(128 * (50 - 100) * 2 / 255) = 200 - 50
    {ChannelCoverHalf, "cover-half downwards", 200, 100, 128, 150},
};

TEST(ChannelPrimitives, CaseTable) {
  for (const auto& c : kChannelCases) {
    uint8_t p = c.d;
    c.proc(&p, c.s, c.t);
    EXPECT_EQ(p, c.expected) << c.name;
  }
}

}  // namespace
}  // namespace tintara
