#include <gtest/gtest.h>

#include <random>

#include "PixelTestUtil.h"
#include "pixel/BlockImage.h"
#include "pixel/ChannelOps.h"
#include "pixel/ColorOps.h"
#include "platform/Memory.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

using test::Dump;
using test::Dump8;
using test::Grid;

int32_t CountAllocated(const CBlockImage& img) {
  int32_t n = 0;
  for (int32_t r = 0; r < img.TilesDown(); ++r)
    for (int32_t c = 0; c < img.TilesAcross(); ++c) n += img.TileAtIndex(c, r)->allocated;
  return n;
}

TMTC ReadAll(const CBlockVMTC& img) {
  TMTC out(img.Width(), img.Height());
  img.ReadRect(out, {0, 0}, false, 255, img.Bounds());
  return out;
}

TChannel ReadAll8(const CBlockVCH& img) {
  TChannel out(img.Width(), img.Height());
  img.ReadRect(out, {0, 0}, false, 255, img.Bounds());
  return out;
}

// Every tile that holds anything lies inside the region.
void ExpectRegionCovers(const CBlockVMTC& img) {
  for (int32_t r = 0; r < img.TilesDown(); ++r)
    for (int32_t c = 0; c < img.TilesAcross(); ++c) {
      const STileRec* t = img.TileAtIndex(c, r);
      if (t->allocated || (t->fill >> 24)) {
        ASSERT_TRUE(img.Region().Contains(t->x0, t->y0)) << c << "," << r;
      }
    }
  ASSERT_LE(img.Region().count, 4);
}

SPixRect RandomRect(std::mt19937& rng, int32_t w, int32_t h) {
  std::uniform_int_distribution<int32_t> xs(-8, w + 8), ys(-8, h + 8), sz(0, 70);
  return {xs(rng), ys(rng), sz(rng), sz(rng)};
}

uint32_t RandomPixel(std::mt19937& rng) {
  // Few distinct values so that whole tiles often become uniform.
  static const uint32_t kValues[] = {0x00FFFFFF, 0xFF000000, 0x80FF8040, 0x00000000, 0xFFFFFFFF};
  if (rng() % 4) return kValues[rng() % 5];
  return rng();
}

class ColourModel : public ::testing::TestWithParam<std::pair<int32_t, int32_t>> {};

TEST_P(ColourModel, RandomOperationsMatchAFlatReference) {
  const auto [w, h] = GetParam();
  std::mt19937 rng(w * 7919 + h);
  CBlockVMTC img(w, h), other(w + 5, h + 3);
  ASSERT_TRUE(img.IsValid());
  TMTC ref(w, h), otherRef(w + 5, h + 3);
  FillAll(ref, CBlockVMTC::kDefaultFill);
  FillAll(otherRef, CBlockVMTC::kDefaultFill);
  // Give the second image some content of its own.
  for (int i = 0; i < 20; ++i) {
    const SPixRect r = RandomRect(rng, w, h);
    const uint32_t v = RandomPixel(rng);
    other.MaskedSet(r, 0xFFFFFFFF, v);
    MaskedWrite(otherRef, r, v, 0xFFFFFFFF);
  }
  TMTC buf(40, 40);
  for (int step = 0; step < 3000; ++step) {
    const int op = int(rng() % 10);
    const SPixRect r = RandomRect(rng, w, h);
    const TPoint at{int32_t(rng() % uint32_t(w + 10)) - 5, int32_t(rng() % uint32_t(h + 10)) - 5};
    switch (op) {
      case 0: {  // WriteRect from a flat buffer, sometimes with opacity
        for (int32_t y = 0; y < 40; ++y)
          for (int32_t x = 0; x < 40; ++x) *buf.Pixel(x, y) = (x + y) % 7 ? RandomPixel(rng) : 0xFF123456;
        const uint8_t opacity = rng() % 2 ? 255 : uint8_t(rng());
        const SPixRect src{int32_t(rng() % 20) - 5, int32_t(rng() % 20) - 5, int32_t(rng() % 45),
                           int32_t(rng() % 45)};
        img.WriteRect(buf, at, opacity, src);
        CopyRectWeighted(ref, at, buf, src, opacity);
        break;
      }
      case 1: {
        const uint32_t mask = rng() % 2 ? 0x00FFFFFF : (rng() % 2 ? 0xFF000000 : 0xFFFFFFFF);
        const uint32_t v = RandomPixel(rng);
        img.MaskedSet(r, mask, v);
        MaskedWrite(ref, r, v, mask);
        break;
      }
      case 2: {
        const uint32_t v = rng() % 2 ? 0xFF000000 : rng();
        img.Xor(r, v);
        XorRect(ref, r, v);
        break;
      }
      case 3:
        if (rng() % 8 == 0) {
          const uint32_t v = RandomPixel(rng);
          img.FillAll(v);
          FillAll(ref, v);
        }
        break;
      case 4: {
        const int32_t x = int32_t(rng() % uint32_t(w + 4)) - 2, y = int32_t(rng() % uint32_t(h + 4)) - 2;
        const uint32_t v = RandomPixel(rng);
        img.SetPixel(x, y, v);
        if (x >= 0 && y >= 0 && x < w && y < h) *ref.Pixel(x, y) = v;
        break;
      }
      case 5:
        img.CopyFrom(other, at, r);
        CopyRect(ref, at, otherRef, r);
        break;
      case 6: {
        const uint8_t opacity = uint8_t(rng()), factor = rng() % 2 ? 255 : uint8_t(rng());
        img.BlendFrom(other, at, BlendNormal, opacity, factor, r);
        CopyRectAlphaScaled(ref, at, otherRef, r, BlendNormal, opacity, factor);
        break;
      }
      case 7:
        img.Compact();
        break;
      case 8: {  // another primitive, through the general path
        const uint8_t opacity = uint8_t(rng()), factor = uint8_t(rng());
        img.BlendFrom(other, at, BlendMultiply, opacity, factor, r);
        CopyRectAlphaScaled(ref, at, otherRef, r, BlendMultiply, opacity, factor);
        break;
      }
      case 9: {  // a merge that is plain addition, with the alpha factor
        const uint8_t opacity = uint8_t(rng()), factor = uint8_t(rng());
        const MergeFn add{[](uint32_t* p, uint32_t s, uint8_t t, const void*) { BlendAdd(p, s, t); },
                          nullptr};
        img.MergeFrom(other, at, add, opacity, factor, r);
        CopyRectAlphaScaled(ref, at, otherRef, r, BlendAdd, opacity, factor);
        break;
      }
    }
    ASSERT_EQ(Dump(ReadAll(img)), Dump(ref)) << "step " << step << " op " << op;
    ASSERT_EQ(img.MemoryUsed(), int64_t(CountAllocated(img)) * 4096) << "step " << step;
    ExpectRegionCovers(img);
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ColourModel,
                         ::testing::Values(std::pair{1, 1}, std::pair{33, 65}, std::pair{1000, 1},
                                           std::pair{70, 40}));

class ChannelModel : public ::testing::TestWithParam<std::pair<int32_t, int32_t>> {};

TEST_P(ChannelModel, RandomOperationsMatchAFlatReference) {
  const auto [w, h] = GetParam();
  std::mt19937 rng(w * 31 + h);
  CBlockVCH img(w, h), other(w + 7, h + 1);
  ASSERT_TRUE(img.IsValid());
  TChannel ref(w, h), otherRef(w + 7, h + 1);
  for (int i = 0; i < 20; ++i) {
    const SPixRect r = RandomRect(rng, w, h);
    const uint8_t v = uint8_t(rng() % 3 ? (rng() % 2) * 255 : rng());
    other.MaskedSet(r, 0xFF, v);
    FillRect8(otherRef, r, v);
  }
  TChannel buf(40, 40);
  for (int step = 0; step < 3000; ++step) {
    const int op = int(rng() % 8);
    const SPixRect r = RandomRect(rng, w, h);
    const TPoint at{int32_t(rng() % uint32_t(w + 10)) - 5, int32_t(rng() % uint32_t(h + 10)) - 5};
    const uint8_t v = uint8_t(rng() % 3 ? (rng() % 2) * 255 : rng());
    switch (op) {
      case 0: {
        for (int32_t y = 0; y < 40; ++y)
          for (int32_t x = 0; x < 40; ++x) buf.Row8(y)[x] = uint8_t(rng() % 3 ? 0 : rng());
        const uint8_t opacity = rng() % 2 ? 255 : uint8_t(rng());
        const SPixRect src{0, 0, int32_t(rng() % 45), int32_t(rng() % 45)};
        img.WriteRect(buf, at, opacity, src);
        if (opacity == 255)
          CopyRect8(ref, at, buf, src);
        else
          ApplyChannelProc(ref, at, buf, src, ChannelCover, opacity);
        break;
      }
      case 1: {
        const uint8_t mask = rng() % 2 ? 0xFF : 0x0F;
        img.MaskedSet(r, mask, v);
        ApplyChannelProcConst(
            ref, r, [](uint8_t* p, uint8_t s, uint8_t m) { *p = uint8_t((s & m) | (*p & ~m)); }, v, mask);
        break;
      }
      case 2:
        img.Xor(r, v);
        XorRect8(ref, r, v);
        break;
      case 3:
        if (rng() % 8 == 0) {
          img.FillAll(v);
          FillAll8(ref, v);
        }
        break;
      case 4: {
        const int32_t x = int32_t(rng() % uint32_t(w + 4)) - 2, y = int32_t(rng() % uint32_t(h + 4)) - 2;
        img.SetPixel(x, y, v);
        if (x >= 0 && y >= 0 && x < w && y < h) ref.Row8(y)[x] = v;
        break;
      }
      case 5:
        img.CopyFrom(other, at, r);
        CopyRect8(ref, at, otherRef, r);
        break;
      case 6:
        img.BlendFrom(other, at, ChannelMax, 255, 255, r);
        ApplyChannelProc(ref, at, otherRef, r, ChannelMax, 255);
        break;
      case 7:
        img.Compact();
        break;
    }
    ASSERT_EQ(Dump8(ReadAll8(img)), Dump8(ref)) << "step " << step << " op " << op;
    ASSERT_EQ(img.MemoryUsed(), int64_t(CountAllocated(img)) * 4096) << "step " << step;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ChannelModel,
                         ::testing::Values(std::pair{1, 1}, std::pair{33, 65}, std::pair{1000, 1},
                                           std::pair{130, 70}));

TEST(BlockImage, GeometryOfBothKinds) {
  CBlockVMTC c(33, 65);
  EXPECT_EQ(c.TilesAcross(), 2);
  EXPECT_EQ(c.TilesDown(), 3);
  EXPECT_EQ(c.TileBytes(), 4096);
  const STileRec* edge = c.TileAtIndex(1, 2);
  EXPECT_EQ(edge->x0, 32);
  EXPECT_EQ(edge->y0, 64);
  EXPECT_EQ(edge->clippedWidth, 1);
  EXPECT_EQ(edge->clippedHeight, 1);
  EXPECT_EQ(edge->fill, 0x00FFFFFFu);  // every tile starts with the default fill
  EXPECT_EQ(c.MemoryUsed(), 0);
  CBlockVCH m(65, 64);
  EXPECT_EQ(m.TileWidth(), 64);
  EXPECT_EQ(m.TileShift(), 6);
  EXPECT_EQ(m.TilesAcross(), 2);
  EXPECT_EQ(m.TilesDown(), 1);
  EXPECT_EQ(m.TileAtIndex(0, 0)->fill, 0u);
  EXPECT_EQ(m.TileBytes(), 4096);
}

TEST(BlockImage, TileStateTransitions) {
  struct Case {
    const char* name;
    void (*run)(CBlockVMTC&);
    int32_t allocated;  // tiles allocated afterwards
    uint32_t fill00;    // fill of tile (0, 0)
  };
  const Case kCases[] = {
      {"new image", [](CBlockVMTC&) {}, 0, 0x00FFFFFF},
      {"one value over a whole tile keeps it empty",
       [](CBlockVMTC& i) {
         i.MaskedSet({0, 0, 32, 32}, 0xFFFFFFFF, 0xFF102030);
       },
       0, 0xFF102030},
      {"the same value over 31 x 32 allocates",
       [](CBlockVMTC& i) {
         i.MaskedSet({0, 0, 31, 32}, 0xFFFFFFFF, 0xFF102030);
       },
       1, 0x00FFFFFF},
      {"alpha only over a whole tile",
       [](CBlockVMTC& i) {
         i.MaskedSet({0, 0, 32, 32}, 0xFF000000, 0x7F000000);
       },
       0, 0x7FFFFFFF},
      {"xor over a whole tile",
       [](CBlockVMTC& i) {
         i.Xor({0, 0, 32, 32}, 0x00FF0000);
       },
       0, 0x0000FFFF},
      {"a pixel allocates", [](CBlockVMTC& i) { i.SetPixel(3, 4, 0); }, 1, 0x00FFFFFF},
      {"FillAll keeps allocations",
       [](CBlockVMTC& i) {
         i.SetPixel(3, 4, 0);
         i.FillAll(0xFF000000);
       },
       1, 0x00FFFFFF},
      {"until Compact frees them",
       [](CBlockVMTC& i) {
         i.SetPixel(3, 4, 0);
         i.FillAll(0xFF000000);
         EXPECT_EQ(i.Compact(), 1);
       },
       0, 0xFF000000},
      {"an edge tile is uniform by its visible part",
       [](CBlockVMTC& i) {
         // Tile (1, 0) shows x 32..39 only; its memory beyond keeps the old fill.
         i.SetPixel(33, 0, 0x11);
         i.MaskedSet({32, 0, 8, 32}, 0xFFFFFFFF, 0x22);
         EXPECT_EQ(i.Compact(), 1);
         EXPECT_EQ(i.TileAtIndex(1, 0)->fill, 0x22u);
       },
       0, 0x00FFFFFF},
      {"copy of an empty tile over an allocated one frees it",
       [](CBlockVMTC& i) {
         i.SetPixel(0, 0, 5);
         CBlockVMTC blank(40, 40);
         i.CopyAllTiles(blank);
       },
       0, 0x00FFFFFF},
  };
  for (const auto& c : kCases) {
    CBlockVMTC img(40, 40);
    c.run(img);
    EXPECT_EQ(CountAllocated(img), c.allocated) << c.name;
    EXPECT_EQ(img.MemoryUsed(), c.allocated * 4096) << c.name;
    EXPECT_EQ(img.TileAtIndex(0, 0)->fill, c.fill00) << c.name;
  }
}

TEST(BlockImage, OnePixelImageUsesOneFullTile) {
  CBlockVMTC img(1, 1);
  ASSERT_EQ(img.TileCount(), 1);
  EXPECT_EQ(img.TileAtIndex(0, 0)->clippedWidth, 1);
  ASSERT_TRUE(img.SetPixel(0, 0, 0xFF00FF00));
  EXPECT_EQ(img.MemoryUsed(), 4096);
  EXPECT_EQ(img.GetPixel(0, 0), 0xFF00FF00u);
  EXPECT_EQ(img.GetPixel(-5, 7), 0xFF00FF00u);  // clamped
  EXPECT_EQ(img.Compact(), 1);
  EXPECT_EQ(img.GetPixel(0, 0), 0xFF00FF00u);
  EXPECT_EQ(img.MemoryUsed(), 0);
}

TEST(BlockImage, ReadRectSkipsEmptyTransparentTilesAndBlendsFillsWithOpacity) {
  CBlockVMTC img(64, 32);
  img.MaskedSet({0, 0, 32, 32}, 0xFFFFFFFF, 0x00123456);   // tile 0: empty, alpha 0
  img.MaskedSet({32, 0, 32, 32}, 0xFFFFFFFF, 0xFF000000);  // tile 1: empty, opaque black
  TMTC buf(64, 32);
  FillAll(buf, 0xFF808080);
  img.ReadRect(buf, {0, 0}, true, 255, img.Bounds());
  EXPECT_EQ(*buf.Pixel(5, 5), 0xFF808080u);  // untouched
  EXPECT_EQ(*buf.Pixel(40, 5), 0xFF000000u);
  img.ReadRect(buf, {0, 0}, false, 255, img.Bounds());
  EXPECT_EQ(*buf.Pixel(5, 5), 0x00123456u);
  // With opacity a fill blends like allocated pixels would.
  FillAll(buf, 0xFF808080);
  img.ReadRect(buf, {0, 0}, false, 128, {32, 0, 32, 32});
  img.SetPixel(33, 0, 0xFF000000);  // allocate tile 1 with the same colour
  TMTC buf2(64, 32);
  FillAll(buf2, 0xFF808080);
  img.ReadRect(buf2, {0, 0}, false, 128, {32, 0, 32, 32});
  EXPECT_EQ(*buf.Pixel(0, 0), *buf2.Pixel(0, 0));
  EXPECT_EQ(*buf.Pixel(0, 0), 0xFF3F3F3Fu);  // Lerp8(0, 0x80, 128) = 63
}

TEST(BlockImage, CopyTileRectSnapsOutwardToTheGrid) {
  CBlockVMTC src(128, 64), dst(128, 64);
  src.MaskedSet(src.Bounds(), 0xFFFFFFFF, 0xFF0000FF);
  src.SetPixel(33, 1, 0xFF00FF00);
  // A rectangle from x = 40 to 70 copies the tiles from 32 to 96.
  dst.CopyTileRect(src, {40, 10}, {40, 10, 30, 5});
  EXPECT_EQ(dst.GetPixel(32, 0), 0xFF0000FFu);
  EXPECT_EQ(dst.GetPixel(33, 1), 0xFF00FF00u);
  EXPECT_EQ(dst.GetPixel(95, 31), 0xFF0000FFu);
  EXPECT_EQ(dst.GetPixel(31, 0), 0x00FFFFFFu);
  EXPECT_EQ(dst.GetPixel(96, 0), 0x00FFFFFFu);
  EXPECT_EQ(dst.GetPixel(40, 32), 0x00FFFFFFu);
  EXPECT_EQ(CountAllocated(dst), 1);  // the copied allocated tile; the others are fills
  // An offset off the grid copies the snapped rectangle pixel by pixel.
  CBlockVMTC moved(128, 64);
  moved.CopyTileRect(src, {45, 10}, {40, 10, 30, 5});
  EXPECT_EQ(moved.GetPixel(38, 1), 0xFF00FF00u);
}

TEST(BlockImage, RegionOfFiveFarCornersStaysWithinFourRectangles) {
  CBlockVMTC img(1000, 1000);
  const TPoint points[] = {{0, 0}, {999, 0}, {0, 999}, {999, 999}, {500, 500}};
  for (auto p : points) img.SetPixel(p.x, p.y, 0xFF000000);
  EXPECT_EQ(img.Region().count, 4);
  for (auto p : points) EXPECT_TRUE(img.Region().Contains(p.x, p.y)) << p.x << "," << p.y;
  img.FillAll(0x00FFFFFF);
  img.Compact();
  EXPECT_EQ(img.Region().count, 0);
}

TEST(DirtyRegion, AddRules) {
  struct Case {
    const char* name;
    std::vector<TRect> adds;
    std::vector<TRect> expected;
  };
  const Case kCases[] = {
      {"clipped to the image", {{-10, -10, 20, 20}}, {{0, 0, 20, 20}}},
      {"touching rectangles merge", {{0, 0, 32, 32}, {32, 0, 64, 32}}, {{0, 0, 64, 32}}},
      {"overlap merges into the first", {{0, 0, 10, 10}, {50, 50, 60, 60}, {5, 5, 55, 55}}, {{0, 0, 60, 60}}},
      {"four apart are kept",
       {{0, 0, 10, 10}, {90, 0, 100, 10}, {0, 90, 10, 100}, {90, 90, 100, 100}},
       {{0, 0, 10, 10}, {90, 0, 100, 10}, {0, 90, 10, 100}, {90, 90, 100, 100}}},
      {"a fifth merges into the nearest",
       {{0, 0, 10, 10}, {90, 0, 100, 10}, {0, 90, 10, 100}, {90, 90, 100, 100}, {20, 20, 30, 30}},
       {{0, 0, 30, 30}, {90, 0, 100, 10}, {0, 90, 10, 100}, {90, 90, 100, 100}}},
      // {20,0,30,10} is 10 from both {40,0,60,20} (stored first) and {0,0,10,10}.
      {"ties go to the smaller rectangle",
       {{40, 0, 60, 20}, {0, 0, 10, 10}, {0, 90, 10, 100}, {90, 90, 100, 100}, {20, 0, 30, 10}},
       {{40, 0, 60, 20}, {0, 0, 30, 10}, {0, 90, 10, 100}, {90, 90, 100, 100}}},
      {"a merge that bridges two merges them too",
       {{0, 0, 10, 10}, {20, 0, 30, 10}, {0, 90, 10, 100}, {90, 90, 100, 100}, {9, 0, 21, 5}},
       {{0, 0, 30, 10}, {0, 90, 10, 100}, {90, 90, 100, 100}}},
  };
  for (const auto& c : kCases) {
    SDirtyRegion reg;
    reg.Reset(100, 100);
    for (auto r : c.adds) reg.Add(r);
    ASSERT_EQ(reg.count, int32_t(c.expected.size())) << c.name;
    for (size_t i = 0; i < c.expected.size(); ++i)
      EXPECT_EQ(reg.rects[i], c.expected[i]) << c.name << " " << i;
  }
}

TEST(BlockImage, ResizeStartsOverWithTheDefaultFill) {
  CBlockVMTC img(64, 64);
  img.SetPixel(5, 5, 0xFF000000);
  img.MaskedSet({32, 32, 32, 32}, 0xFFFFFFFF, 0xFF00FF00);
  ASSERT_TRUE(img.Resize(200, 100));
  EXPECT_EQ(img.Width(), 200);
  EXPECT_EQ(img.TilesAcross(), 7);
  EXPECT_EQ(img.MemoryUsed(), 0);
  EXPECT_EQ(img.GetPixel(5, 5), 0x00FFFFFFu);
  EXPECT_EQ(img.GetPixel(40, 40), 0x00FFFFFFu);
  EXPECT_EQ(img.Region().count, 0);
  EXPECT_EQ(img.Region().width, 200);
  img.SetPixel(150, 90, 0xFF000000);
  EXPECT_TRUE(img.Region().Contains(150, 90));
  // An image made empty and sized later works like one made with a size.
  CBlockVMTC later;
  EXPECT_FALSE(later.IsValid());
  ASSERT_TRUE(later.Resize(40, 40));
  EXPECT_EQ(later.TileBytes(), 4096);
  EXPECT_EQ(later.GetPixel(0, 0), 0x00FFFFFFu);
  EXPECT_TRUE(later.SetPixel(1, 1, 7));
  CBlockVCH mask;
  ASSERT_TRUE(mask.Resize(100, 10));
  EXPECT_EQ(mask.TileWidth(), 64);
  EXPECT_TRUE(mask.SetPixel(99, 9, 3));
  EXPECT_EQ(mask.GetPixel(99, 9), 3);
}

TEST(BlockImage, RegionAfterABulkOperationIsTheRebuild) {
  CBlockVMTC img(300, 300);
  std::mt19937 rng(9);
  for (int i = 0; i < 40; ++i) img.SetPixel(int32_t(rng() % 300), int32_t(rng() % 300), 0xFF000000);
  img.MaskedSet({0, 0, 96, 64}, 0xFFFFFFFF, 0x00FFFFFF);  // frees nothing but changes fills
  img.Compact();
  const SDirtyRegion after = img.Region();
  img.RebuildRegion();
  ASSERT_EQ(after.count, img.Region().count);
  for (int i = 0; i < after.count; ++i) EXPECT_EQ(after.rects[i], img.Region().rects[i]) << i;
}

TEST(BlockImage, AllocationFailuresOfOtherOperations) {
  RecordingNotifySink sink;
  CBlockVMTC img(64, 64), src(64, 64);
  CBlockVCH mask(100, 100);
  src.SetPixel(1, 1, 0xFF112233);
  src.SetPixel(40, 40, 0xFF112233);
  {
    ScopedAllocFailure fail(0);
    EXPECT_FALSE(img.SetPixel(3, 3, 1));  // outside an operation the box comes at once
    EXPECT_EQ(sink.warnings.size(), 1u);
    EXPECT_FALSE(img.BlendFrom(src, {0, 0}, BlendNormal, 255, 255, src.Bounds()));
    EXPECT_FALSE(img.MaskedSet({0, 0, 10, 10}, 0xFFFFFFFF, 5));
    EXPECT_FALSE(img.CopyFrom(src, {0, 0}, src.Bounds()));
    uint8_t row[64] = {};
    EXPECT_EQ(img.WriteRowChannel(3, 0, row, 64), 0);  // nothing could be written
    EXPECT_FALSE(mask.SetPixel(0, 0, 1));
    // Fill-only work still succeeds without memory.
    EXPECT_TRUE(img.MaskedSet({0, 0, 32, 32}, 0xFFFFFFFF, 9));
    EXPECT_TRUE(mask.FromAlpha(img));
  }
  EXPECT_EQ(sink.warnings.size(), 6u);  // one per failed operation
  EXPECT_EQ(img.MemoryUsed(), 0);
  EXPECT_EQ(img.GetPixel(0, 0), 9u);
}

TEST(BlockImage, MisalignedCopiesOfEmptyTilesStayFills) {
  CBlockVMTC src(96, 96), dst(96, 96);
  src.MaskedSet(src.Bounds(), 0xFFFFFFFF, 0x80102030);
  ASSERT_TRUE(dst.CopyFrom(src, {16, 16}, src.Bounds()));
  // Tile (1, 1) of the destination lies over four empty source tiles with one fill.
  EXPECT_FALSE(dst.TileAtIndex(1, 1)->allocated);
  EXPECT_EQ(dst.TileAtIndex(1, 1)->fill, 0x80102030u);
  EXPECT_EQ(dst.GetPixel(16, 16), 0x80102030u);
  EXPECT_EQ(dst.GetPixel(15, 15), 0x00FFFFFFu);
  CBlockVMTC blended(96, 96);
  ASSERT_TRUE(blended.BlendFrom(src, {16, 16}, BlendNormal, 255, 128, src.Bounds()));
  EXPECT_FALSE(blended.TileAtIndex(2, 2)->allocated);
}

TEST(BlockImage, BadRequestsAreRefusedQuietly) {
  CBlockVMTC img(40, 40);
  EXPECT_EQ(img.TileAtIndex(2, 0, true), nullptr);
  EXPECT_EQ(img.TileAtIndex(-1, 0, false), nullptr);
  EXPECT_EQ(img.TileAt(40, 0, true), nullptr);
  EXPECT_EQ(img.PixelAddress(-1, 3, true), nullptr);
  EXPECT_EQ(img.PixelAddress(3, 3, false), nullptr);  // empty tile, not allocating
  EXPECT_NE(img.PixelAddress(3, 3, true), nullptr);
  EXPECT_FALSE(img.SetPixel(40, 0, 1));
  EXPECT_FALSE(img.SetPixel(0, -1, 1));
  const uint8_t row[64] = {1, 2, 3};
  uint8_t out[64] = {};
  EXPECT_EQ(img.WriteRowChannel(0, 4, row, 40), 0);
  EXPECT_EQ(img.WriteRowChannel(-1, 0, row, 40), 0);
  EXPECT_EQ(img.WriteRowChannel(40, 0, row, 40), 0);
  EXPECT_EQ(img.ReadRowChannel(0, -1, out, 40), 0);
  EXPECT_EQ(img.ReadRowChannel(0, 4, out, 40), 0);
  EXPECT_EQ(img.ReadRowChannel(40, 0, out, 40), 0);
  EXPECT_EQ(img.ReadRowChannel(-1, 0, out, 40), 0);
  // A buffer of the wrong pixel size is not read or written.
  TChannel bytes(40, 40);
  img.ReadRect(bytes, {0, 0}, false, 255, img.Bounds());
  EXPECT_FALSE(img.WriteRect(bytes, {0, 0}, 255, bytes.Bounds()));
  EXPECT_EQ(img.WriteRowBits(40, row, 8), 0);
  EXPECT_EQ(img.WriteRowChannel(5, 2, row, 64), 40);  // cut to the width
  EXPECT_EQ(img.ReadRowChannel(5, 2, out, 64), 40);
  EXPECT_EQ(out[2], 3);
  EXPECT_EQ(img.GetPixel(1, 5), 0x0002FFFFu);
}

TEST(BlockImage, ImpossiblyLargeImagesFailCleanly) {
  CBlockVMTC huge(1 << 20, 1 << 20);  // a billion tile records
  EXPECT_FALSE(huge.IsValid());
  EXPECT_EQ(huge.Width(), 0);
  CBlockVMTC zero(0, 5);
  EXPECT_FALSE(zero.IsValid());
  CBlockVCH neg(-3, 5);
  EXPECT_FALSE(neg.IsValid());
  // Operations on an invalid image do nothing.
  EXPECT_FALSE(huge.SetPixel(0, 0, 1));
  EXPECT_EQ(huge.GetPixel(0, 0), 0u);
  huge.FillAll(1);
  EXPECT_EQ(huge.Compact(), 0);
  {
    ScopedAllocFailure fail(0);
    CBlockVMTC refused(100, 100);
    EXPECT_FALSE(refused.IsValid());
  }
}

TEST(BlockImage, FailedTileAllocationsShowOneMessageAndSkipTheirPieces) {
  RecordingNotifySink sink;
  CBlockVMTC img(96, 32);
  TMTC buf(96, 32);
  FillAll(buf, 0xFF010203);
  {
    ScopedAllocFailure fail(1);  // the first tile gets memory, the other two do not
    EXPECT_FALSE(img.WriteRect(buf, {0, 0}, 255, buf.Bounds()));
    EXPECT_EQ(fail.FailedCount(), 2);
  }
  ASSERT_EQ(sink.warnings.size(), 1u);
  EXPECT_EQ(sink.warnings[0],
            "メモリ不足により障害が発生しました！\r以降動作が不安定になるかもしれません...");
  EXPECT_EQ(CountAllocated(img), 1);
  EXPECT_EQ(img.GetPixel(0, 0), 0xFF010203u);
  EXPECT_EQ(img.GetPixel(40, 0), 0x00FFFFFFu);  // skipped, unchanged
  EXPECT_TRUE(img.WriteRect(buf, {0, 0}, 255, buf.Bounds()));
  EXPECT_EQ(sink.warnings.size(), 1u);
}

TEST(BlockImage, QuarterTurns) {
  CBlockVMTC img(3, 2);
  uint32_t v = 1;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) img.SetPixel(x, y, v++);  // 1 2 3 / 4 5 6
  TMTC cw(2, 3), ccw(2, 3);
  img.Rotate90(cw, true);
  img.Rotate90(ccw, false);
  EXPECT_EQ(Dump(cw), (Grid{{4, 1}, {5, 2}, {6, 3}}));
  EXPECT_EQ(Dump(ccw), (Grid{{3, 6}, {2, 5}, {1, 4}}));  // a rotation, not a transpose
  CBlockVMTC target(4, 4);
  ASSERT_TRUE(img.Rotate90(target, true, 1, 1));
  EXPECT_EQ(target.GetPixel(1, 1), 4u);
  EXPECT_EQ(target.GetPixel(2, 3), 3u);
  EXPECT_EQ(target.GetPixel(0, 0), 0x00FFFFFFu);
}

TEST(BlockImage, FlipHorizontalAndAlphaTransfers) {
  CBlockVMTC img(40, 2);
  for (int x = 0; x < 40; ++x) img.SetPixel(x, 0, uint32_t(x) << 24 | uint32_t(x));
  ASSERT_TRUE(img.FlipHorizontal({0, 0, 40, 1}));
  EXPECT_EQ(img.GetPixel(0, 0), 39u << 24 | 39u);
  EXPECT_EQ(img.GetPixel(39, 0), 0u);
  EXPECT_EQ(img.GetPixel(0, 1), 0x00FFFFFFu);

  TChannel alpha(40, 2);
  img.AlphaTo(alpha, img.Bounds());
  EXPECT_EQ(GetPixel8(alpha, 1, 0), 38);
  EXPECT_EQ(GetPixel8(alpha, 1, 1), 0);
  FillAll8(alpha, 200);
  ASSERT_TRUE(img.AlphaFrom(alpha, {0, 0, 40, 1}));
  EXPECT_EQ(img.GetPixel(0, 0), 200u << 24 | 39u);
  EXPECT_EQ(img.GetPixel(0, 1), 0x00FFFFFFu);
  FillAll8(alpha, 9);
  ASSERT_TRUE(img.SwapAlpha(alpha));
  EXPECT_EQ(GetPixel8(alpha, 0, 0), 200);
  EXPECT_EQ(GetPixel8(alpha, 0, 1), 0);
  EXPECT_EQ(img.GetPixel(5, 1), 0x09FFFFFFu);
  TChannel wrong(10, 2);
  EXPECT_FALSE(img.SwapAlpha(wrong));
}

TEST(BlockImage, OpaqueBoundsIsTileGranular) {
  CBlockVMTC img(100, 100);
  SPixRect r;
  EXPECT_FALSE(img.OpaqueBounds(r));
  img.SetPixel(40, 70, 0x01000000);
  ASSERT_TRUE(img.OpaqueBounds(r));
  EXPECT_EQ(r, (SPixRect{32, 64, 32, 32}));
  img.MaskedSet({96, 0, 4, 32}, 0xFF000000, 0xFF000000);  // an edge tile, fill-only
  ASSERT_TRUE(img.OpaqueBounds(r));
  EXPECT_EQ(r, (SPixRect{32, 0, 68, 96}));
  img.SetPixel(0, 99, 0x00000000);  // allocated but transparent: does not count
  ASSERT_TRUE(img.OpaqueBounds(r));
  EXPECT_EQ(r.x, 32);
}

TEST(BlockImage, LoaderRowTransfers) {
  CBlockVMTC img(70, 2);
  uint8_t ramp[70];
  for (int i = 0; i < 70; ++i) ramp[i] = uint8_t(i * 3);
  EXPECT_EQ(img.WriteRowChannel(1, 3, ramp, 70), 70);  // alpha, across three tiles
  EXPECT_EQ(img.GetPixel(69, 1), uint32_t(207) << 24 | 0x00FFFFFF);
  const uint8_t bits[9] = {0xA0, 0, 0, 0, 0, 0, 0, 0, 0x01};  // 1010 0000 ... bit 71 is beyond
  EXPECT_EQ(img.WriteRowBits(0, bits, 70), 70);
  EXPECT_EQ(img.GetPixel(0, 0), 0x00000000u);  // set -> black, alpha kept (0)
  EXPECT_EQ(img.GetPixel(1, 0), 0x00FFFFFFu);
  EXPECT_EQ(img.GetPixel(2, 0), 0x00000000u);
  EXPECT_EQ(img.GetPixel(69, 0), 0x00FFFFFFu);
  uint8_t back[70];
  EXPECT_EQ(img.ReadRowChannel(1, 3, back, 70), 70);
  EXPECT_EQ(std::vector<uint8_t>(back, back + 70), std::vector<uint8_t>(ramp, ramp + 70));
}

TEST(BlockImage, ResampleAndBoxAverage) {
  CBlockVMTC src(8, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) src.SetPixel(x, y, uint32_t(x < 4 ? 0xFF000000 : 0) | uint32_t(x + 8 * y));
  CBlockVMTC small(2, 2);
  ASSERT_TRUE(src.Resample4x4(small));
  EXPECT_EQ(small.GetPixel(0, 0), 0xFF00000Du);
  EXPECT_EQ(small.GetPixel(1, 0), 0x00000011u);
  EXPECT_EQ(small.GetPixel(0, 1), 0xFF00002Du);
  EXPECT_EQ(small.GetPixel(1, 1), 0x00000031u);
  // A uniform source compacts the target to a fill.
  CBlockVMTC flat(64, 64), half(32, 32);
  flat.FillAll(0xFF336699);
  ASSERT_TRUE(flat.Resample4x4(half));
  EXPECT_EQ(half.MemoryUsed(), 0);
  EXPECT_EQ(half.GetPixel(3, 3), 0xFF336699u);

  CBlockVMTC box(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) box.SetPixel(x, y, uint32_t(x + 4 * y));
  TMTC thumb(2, 2);
  box.BoxAverageTo(thumb, box.Bounds(), thumb.Bounds());
  EXPECT_EQ(Dump(thumb), (Grid{{5, 6}, {11, 13}}));
}

TEST(ChannelImage, FromColourAlphaAndFillOutside) {
  CBlockVMTC colour(100, 70);
  colour.MaskedSet(colour.Bounds(), 0xFFFFFFFF, 0x80FFFFFF);  // all fills: alpha 128, white
  colour.SetPixel(70, 5, 0xFF000000);
  CBlockVCH mask(100, 70);
  ASSERT_TRUE(mask.FromColor(colour, false));
  EXPECT_EQ(mask.GetPixel(0, 0), 128);  // MulTab[128][255]
  EXPECT_EQ(mask.GetPixel(70, 5), 0);   // black: luminance 0
  ASSERT_TRUE(mask.FromColor(colour, true));
  EXPECT_EQ(mask.GetPixel(0, 0), 0);
  EXPECT_EQ(mask.GetPixel(70, 5), 255);
  ASSERT_TRUE(mask.FromAlpha(colour));
  EXPECT_EQ(mask.GetPixel(10, 10), 128);
  EXPECT_EQ(mask.GetPixel(70, 5), 255);
  // Uniform areas stay fill values: only the 64 x 64 tile holding (70, 5) has memory, and
  // the others never had any, even for a moment.
  EXPECT_EQ(mask.MemoryUsed(), 4096);
  {
    CBlockVMTC blank(200, 200);
    blank.MaskedSet(blank.Bounds(), 0xFFFFFFFF, 0x40FFFFFF);
    CBlockVCH m2(200, 200);
    ScopedAllocFailure none(0);
    ASSERT_TRUE(m2.FromColor(blank, false));
    EXPECT_EQ(m2.GetPixel(199, 199), 64);
    EXPECT_EQ(none.FailedCount(), 0);
  }

  CBlockVCH m(10, 10);
  EXPECT_TRUE(m.FillOutside({2, 3, 4, 5}, 9));
  EXPECT_EQ(Dump8(ReadAll8(m)), (Grid{
                                    {9, 9, 9, 9, 9, 9, 9, 9, 9, 9},
                                    {9, 9, 9, 9, 9, 9, 9, 9, 9, 9},
                                    {9, 9, 9, 9, 9, 9, 9, 9, 9, 9},
                                    {9, 9, 0, 0, 0, 0, 9, 9, 9, 9},
                                    {9, 9, 0, 0, 0, 0, 9, 9, 9, 9},
                                    {9, 9, 0, 0, 0, 0, 9, 9, 9, 9},
                                    {9, 9, 0, 0, 0, 0, 9, 9, 9, 9},
                                    {9, 9, 0, 0, 0, 0, 9, 9, 9, 9},
                                    {9, 9, 9, 9, 9, 9, 9, 9, 9, 9},
                                    {9, 9, 9, 9, 9, 9, 9, 9, 9, 9},
                                }));
  EXPECT_FALSE(m.FillOutside({0, 0, 10, 10}, 1));
  EXPECT_FALSE(m.FillOutside({-5, -5, 30, 30}, 1));
}

TEST(BlockImage, CreateCopyAndMergeFrom) {
  CBlockVMTC a(50, 50);
  a.SetPixel(10, 10, 0xFF112233);
  a.MaskedSet({32, 32, 18, 18}, 0xFFFFFFFF, 0x40000000);
  CBlockVMTC b;
  ASSERT_TRUE(b.CreateCopy(a));
  EXPECT_EQ(Dump(ReadAll(b)), Dump(ReadAll(a)));
  EXPECT_EQ(b.MemoryUsed(), a.MemoryUsed());
  // A merge that writes its weight into the pixel shows where it ran: every pixel of the
  // rectangle, fills included.
  MergeFn merge{[](uint32_t* p, uint32_t, uint8_t t, const void*) { *p = t; }, nullptr};
  ASSERT_TRUE(b.MergeFrom(a, {0, 0}, merge, 77, 255, {0, 0, 40, 40}));
  EXPECT_EQ(b.GetPixel(39, 39), 77u);
  EXPECT_EQ(b.GetPixel(10, 10), 77u);
  EXPECT_EQ(b.GetPixel(40, 40), 0x40000000u);
  EXPECT_FALSE(b.MergeFrom(a, {0, 0}, MergeFn{}, 1, 255, a.Bounds()));
}

}  // namespace
}  // namespace tintara
