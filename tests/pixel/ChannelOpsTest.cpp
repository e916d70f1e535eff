#include <gtest/gtest.h>

#include <cmath>

#include "PixelTestUtil.h"
#include "pixel/ChannelOps.h"

namespace tintara {
namespace {

using test::Dump8;
using test::Grid;

TChannel Make(int32_t w, int32_t h, uint8_t v) {
  TChannel c(w, h);
  FillAll8(c, v);
  return c;
}

TEST(ChannelOps, FillXorCopyAndPrimitivesClip) {
  TChannel c = Make(4, 2, 1);
  FillRect8(c, {2, -1, 5, 2}, 9);
  XorRect8(c, {0, 1, 1, 1}, 0xFF);
  EXPECT_EQ(Dump8(c), (Grid{{1, 1, 9, 9}, {254, 1, 1, 1}}));
  TChannel src = Make(2, 2, 0);
  src.Row8(0)[0] = 10;
  src.Row8(0)[1] = 20;
  src.Row8(1)[0] = 30;
  src.Row8(1)[1] = 40;
  TChannel dst = Make(3, 2, 0);
  CopyRect8(dst, {2, 1}, src, src.Bounds());
  EXPECT_EQ(Dump8(dst), (Grid{{0, 0, 0}, {0, 0, 10}}));
  TChannel maxed = Make(2, 2, 25);
  ApplyChannelProc(maxed, {0, 0}, src, src.Bounds(), ChannelMax, 0);
  EXPECT_EQ(Dump8(maxed), (Grid{{25, 25}, {30, 40}}));
  ApplyChannelProcConst(maxed, {0, 0, 1, 2}, ChannelMultiply, 128, 0);
  EXPECT_EQ(Dump8(maxed), (Grid{{12, 25}, {15, 40}}));  // Mul8(25,128) = 12, Mul8(30,128) = 15
}

TEST(ChannelOps, CoverPixelsAndClampedReads) {
  TChannel c = Make(2, 2, 100);
  PutCover(c, 0, 0, 200, 128);
  PutCoverHalf(c, 1, 0, 200, 128);
  PutCover(c, 5, 0, 200, 255);  // off the buffer: ignored
  PutCoverHalf(c, -1, 0, 200, 255);
  EXPECT_EQ(GetPixel8(c, 0, 0), 150);
  EXPECT_EQ(GetPixel8(c, 1, 0), 150);
  c.Row8(1)[1] = 77;
  EXPECT_EQ(GetPixel8Clamped(c, 9, 9), 77);
  EXPECT_EQ(GetPixel8Clamped(c, -3, 0), 150);
  TChannel empty;
  EXPECT_EQ(GetPixel8Clamped(empty, 0, 0), 0);
}

TEST(ChannelOps, NonZeroBounds) {
  TChannel c = Make(4, 3, 0);
  TRect r;
  EXPECT_FALSE(NonZeroBounds(c, r));
  c.Row8(0)[1] = 1;
  c.Row8(2)[2] = 5;
  ASSERT_TRUE(NonZeroBounds(c, r));
  EXPECT_EQ(r, (TRect{1, 0, 3, 3}));
  TChannel one = Make(1, 1, 3);
  ASSERT_TRUE(NonZeroBounds(one, r));
  EXPECT_EQ(r, (TRect{0, 0, 1, 1}));
}

TEST(ChannelOps, DiscTakesTheMaximum) {
  TChannel c = Make(5, 5, 20);
  // Centre (2.5, 2.5) is (10, 10) in quarter pixels; the sub-samples start at each
  // pixel's corner, so the coverage leans right and down.
  DrawDisc8(c, 2.5, 2.5, 1.0, 255, true, false);
  EXPECT_EQ(Dump8(c), (Grid{{20, 20, 20, 20, 20},
                            {20, 20, 79, 20, 20},
                            {20, 79, 255, 143, 20},
                            {20, 20, 143, 47, 20},
                            {20, 20, 20, 20, 20}}));
}

TEST(ChannelOps, DotGridRepeatsWithItsSpacing) {
  // The built-in tone: discs of radius 2 every 8 pixels, the first at 8 * sqrt(2) / 2.
  TChannel c = Make(64, 64, 0);
  const double first = 8 * std::sqrt(2.0) / 2;
  DotGrid8(c, first, first, 8, 2, 255);
  EXPECT_EQ(GetPixel8(c, 5, 5), 255);  // pixel centre (5.5, 5.5) is 0.2 from the dot centre
  EXPECT_EQ(GetPixel8(c, 1, 1), 0);    // between dots
  int lit = 0;
  for (int y = 0; y < 56; ++y)
    for (int x = 0; x < 56; ++x) {
      ASSERT_EQ(GetPixel8(c, x, y), GetPixel8(c, x + 8, y)) << x << "," << y;
      ASSERT_EQ(GetPixel8(c, x, y), GetPixel8(c, x, y + 8)) << x << "," << y;
      lit += GetPixel8(c, x, y) != 0;
    }
  EXPECT_GT(lit, 0);
}

}  // namespace
}  // namespace tintara
