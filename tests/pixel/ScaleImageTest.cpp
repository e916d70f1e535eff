#include <gtest/gtest.h>

#include <random>

#include "PixelTestUtil.h"
#include "pixel/ChannelOps.h"
#include "pixel/ColorOps.h"
#include "pixel/ScaleImage.h"

namespace tintara {
namespace {

using test::Dump;
using test::Dump8;
using test::Grid;
using test::Load;

TChannel Channel(const Grid& g) {
  TChannel c(int32_t(g[0].size()), int32_t(g.size()));
  for (size_t y = 0; y < g.size(); ++y)
    for (size_t x = 0; x < g[y].size(); ++x) c.Row8(int32_t(y))[x] = uint8_t(g[y][x]);
  return c;
}

TEST(ScaleImage, IdentityReproducesEveryChannel) {
  std::mt19937 rng(5);
  TMTC src(7, 5), dst(7, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) *src.Pixel(x, y) = rng();
  CScaleImageTMTC s(&src, &dst);
  ASSERT_TRUE(s.Scale(src.Bounds(), dst.Bounds()));
  EXPECT_EQ(s.StepX(), 0x10000);
  EXPECT_EQ(Dump(dst), Dump(src));
  TChannel c = Channel({{0, 1, 254, 255}, {7, 8, 9, 10}}), cd(4, 2);
  CScaleImageCH sc(&c, &cd);
  ASSERT_TRUE(sc.Scale(c.Bounds(), cd.Bounds()));
  EXPECT_EQ(Dump8(cd), Dump8(c));
}

TEST(ScaleImage, TwoByTwoColumnsOfBlackAndWhiteGiveMidGrey) {
  TMTC src(2, 2), dst(1, 1);
  Load(src, {{0xFF000000, 0xFFFFFFFF}, {0xFF000000, 0xFFFFFFFF}});
  CScaleImageTMTC s(&src, &dst);
  ASSERT_TRUE(s.Scale(src.Bounds(), dst.Bounds()));
  EXPECT_EQ(*dst.Pixel(0, 0), 0xFF808080u);  // 127.5 + 0.01 rounds to 128
  EXPECT_EQ(s.StepX(), 0x20000);
}

TEST(ScaleImage, ReductionAndMagnificationAgainstHandGrids) {
  struct Case {
    const char* name;
    Grid src;
    int32_t w, h;
    Grid expected;
  };
  const Case kCases[] = {
      // [0, 1.5) takes 0 and half of 90; [1.5, 3) half of 90 and 180.
      {"three to two", {{0, 90, 180}}, 2, 1, {{30, 150}}},
      // The middle column covers a third of each source column: (255 / 3) / (2 / 3).
      {"two to three", {{0, 255}, {255, 0}}, 3, 3, {{0, 127, 255}, {127, 127, 128}, {255, 128, 0}}},
      {"five by three to two by two",
       {{10, 20, 30, 40, 50}, {60, 70, 80, 90, 100}, {110, 120, 130, 140, 150}},
       2,
       2,
       {{35, 59}, {101, 125}}},
      {"magnification is a box", {{0, 100}}, 4, 1, {{0, 0, 100, 100}}},
  };
  for (const auto& c : kCases) {
    TChannel src = Channel(c.src), dst(c.w, c.h);
    CScaleImageCH s(&src, &dst);
    ASSERT_TRUE(s.Scale(src.Bounds(), dst.Bounds())) << c.name;
    EXPECT_EQ(Dump8(dst), c.expected) << c.name;
  }
  // The colour form adds 0.01 before rounding: 127.497 becomes 127.512.
  TMTC src(2, 2), dst(3, 3);
  Load(src, {{0, 0xFF}, {0xFF, 0}});
  CScaleImageTMTC s(&src, &dst);
  ASSERT_TRUE(s.Scale(src.Bounds(), dst.Bounds()));
  EXPECT_EQ(*dst.Pixel(1, 0), 0x80u);
}

TEST(ScaleImage, StepsAndExtremeRatios) {
  TChannel two = Channel({{10, 250}}), three(3, 1);
  CScaleImageCH s(&two, &three);
  ASSERT_TRUE(s.Scale(two.Bounds(), three.Bounds()));
  EXPECT_EQ(s.StepX(), 43691);  // 2/3 * 65536 = 43690.67
  // One pixel spread over 70000: every destination pixel is that pixel.
  TChannel one = Channel({{77}}), wide(70000, 1);
  CScaleImageCH magnify(&one, &wide);
  ASSERT_TRUE(magnify.Scale(one.Bounds(), wide.Bounds()));
  EXPECT_EQ(GetPixel8(wide, 0, 0), 77);
  EXPECT_EQ(GetPixel8(wide, 69999, 0), 77);
  EXPECT_EQ(GetPixel8(wide, 35000, 0), 77);
  // And back: the step is kept in range.
  TChannel back(1, 1);
  CScaleImageCH reduce(&wide, &back);
  ASSERT_TRUE(reduce.Scale(wide.Bounds(), back.Bounds()));
  EXPECT_EQ(GetPixel8(back, 0, 0), 77);
  EXPECT_GT(reduce.StepX(), 0);
  // Enlargement never reads past the source: the last column is the last source pixel.
  TMTC src(3, 1), dst(7, 1);
  Load(src, {{0xFF000000, 0xFF000000, 0xFFFFFFFF}});
  CScaleImageTMTC up(&src, &dst);
  ASSERT_TRUE(up.Scale(src.Bounds(), dst.Bounds()));
  EXPECT_EQ(*dst.Pixel(6, 0), 0xFFFFFFFFu);
  // New images for the same scaler.
  TMTC other(2, 2), out(1, 1);
  Load(other, {{0xFF0000FF, 0xFF0000FF}, {0xFF0000FF, 0xFF0000FF}});
  up.SetImages(&other, &out);
  ASSERT_TRUE(up.Scale(other.Bounds(), out.Bounds()));
  EXPECT_EQ(*out.Pixel(0, 0), 0xFF0000FFu);
  up.SetImages(nullptr, &out);
  EXPECT_FALSE(up.Scale({0, 0, 1, 1}, out.Bounds()));
}

TEST(ScaleImage, FootprintsAreClippedToTheSource) {
  TChannel src = Channel({{100, 200}, {50, 150}}), dst(1, 1);
  FillAll8(dst, 7);
  CScaleImageCH s(&src, &dst);
  // Starts at (-1, -1): only pixel (0, 0) remains.
  ASSERT_TRUE(s.SampleFootprint(0, 0, -65536, -65536, 65536, 65536));
  EXPECT_EQ(GetPixel8(dst, 0, 0), 100);
  // Half of each top pixel.
  ASSERT_TRUE(s.SampleFootprint(0, 0, 32768, 0, 98304, 65536));
  EXPECT_EQ(GetPixel8(dst, 0, 0), 150);
  FillAll8(dst, 7);
  EXPECT_FALSE(s.SampleFootprint(0, 0, 3 << 16, 0, 4 << 16, 1 << 16));  // wholly right of the source
  EXPECT_FALSE(s.SampleFootprint(0, 0, 0, -5 << 16, 1 << 16, -1 << 16));
  EXPECT_FALSE(s.SampleFootprint(5, 0, 0, 0, 1 << 16, 1 << 16));  // no such destination pixel
  EXPECT_EQ(GetPixel8(dst, 0, 0), 7);
  EXPECT_FALSE(s.Scale({5, 5, 2, 2}, dst.Bounds()));
  EXPECT_FALSE(s.Scale(src.Bounds(), {0, 0, 0, 1}));
}

TEST(ScaleImage, FixedPointChannelForm) {
  TChannel src = Channel({{255, 255}, {255, 0}});
  uint32_t values[4] = {};
  CScaleImageCH_fixp s(&src, values, 2, 2);
  ASSERT_TRUE(s.Scale(src.Bounds(), {0, 0, 2, 2}));
  EXPECT_EQ(values[0], 0x10000u);
  EXPECT_EQ(values[3], 0u);
  uint32_t one = 0;
  CScaleImageCH_fixp whole(&src, &one, 1, 1);
  ASSERT_TRUE(whole.Scale(src.Bounds(), {0, 0, 1, 1}));
  EXPECT_EQ(one, 49152u);  // three quarters of 0x10000
}

TEST(ScaleImage, BlockImagesReadFillsAndAllocateOnWrite) {
  CBlockVMTC src(64, 64), dst(32, 32);
  src.MaskedSet(src.Bounds(), 0xFFFFFFFF, 0xFF204060);  // every tile a fill
  src.SetPixel(0, 0, 0xFF204060);                       // one allocated tile, same colour
  CScaleLayerImage s(&src, &dst);
  ASSERT_TRUE(s.Scale(src.Bounds(), dst.Bounds()));
  EXPECT_EQ(dst.GetPixel(31, 31), 0xFF204060u);
  EXPECT_EQ(dst.GetPixel(0, 0), 0xFF204060u);
  EXPECT_GT(dst.MemoryUsed(), 0);
  dst.Compact();
  EXPECT_EQ(dst.MemoryUsed(), 0);
  EXPECT_EQ(src.MemoryUsed(), 4096);  // reading allocated nothing

  CBlockVCH ms(2, 2), md(1, 1);
  ms.SetPixel(0, 0, 255);
  ms.SetPixel(1, 0, 255);
  CScaleMaskImage m(&ms, &md);
  ASSERT_TRUE(m.Scale(ms.Bounds(), md.Bounds()));
  EXPECT_EQ(md.GetPixel(0, 0), 128);  // 127.5 rounds to even 128
  ASSERT_TRUE(m.SampleFootprint(0, 0, 0, 65536, 131072, 131072));
  EXPECT_EQ(md.GetPixel(0, 0), 0);
}

}  // namespace
}  // namespace tintara
