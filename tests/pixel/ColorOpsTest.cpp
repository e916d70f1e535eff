#include <gtest/gtest.h>

#include "PixelTestUtil.h"
#include "pixel/ColorOps.h"

namespace tintara {
namespace {

using test::Dump;
using test::Grid;
using test::Load;
using test::RecordWeight;
using test::Show;

TMTC Filled(int32_t w, int32_t h, uint32_t v) {
  TMTC b(w, h);
  FillAll(b, v);
  return b;
}

TEST(Fills, RectanglesClipAndWordOperationsMask) {
  TMTC b = Filled(4, 3, 0xAABBCCDD);
  FillRect(b, {-1, 1, 3, 5}, 7);
  MaskedWrite(b, {3, 0, 9, 1}, 0x11223344, 0x00FF00FF);
  XorRect(b, {2, 2, 1, 1}, 0x000000FF);
  SetAlphaRect(b, {0, 0, 1, 1}, 0x01);
  const Grid expected = {
      {0x01BBCCDD, 0xAABBCCDD, 0xAABBCCDD, 0xAA22CC44},
      {7, 7, 0xAABBCCDD, 0xAABBCCDD},
      {7, 7, 0xAABBCC22, 0xAABBCCDD},
  };
  EXPECT_EQ(Dump(b), expected);
  FillColorRef(b, 0x000000FF);
  EXPECT_EQ(*b.Pixel(3, 2), 0x00FF0000u);
  XorAll(b, 0xFFFFFFFF);
  EXPECT_EQ(*b.Pixel(0, 0), 0xFF00FFFFu);
}

TEST(Lines, IntegerDdaCaseTable) {
  struct Case {
    const char* name;
    int32_t x0, y0, x1, y1;
    uint8_t t0, t1;
    Grid expected;  // 999 = untouched
  };
  constexpr uint32_t U = 999;
  const Case kCases[] = {
      {"shallow forward",
       0,
       0,
       4,
       2,
       255,
       255,
       {{255, 255, U, U, U}, {U, U, 255, 255, U}, {U, U, U, U, 255}}},
      // Truncation toward zero makes the reverse line take other pixels.
      {"shallow reverse",
       4,
       2,
       0,
       0,
       255,
       255,
       {{255, U, U, U, U}, {U, 255, 255, U, U}, {U, U, U, 255, 255}}},
      {"weight ramp", 0, 0, 4, 0, 0, 200, {{0, 50, 100, 150, 200}, {U, U, U, U, U}, {U, U, U, U, U}}},
      {"one point at the start weight",
       2,
       1,
       2,
       1,
       77,
       200,
       {{U, U, U, U, U}, {U, U, 77, U, U}, {U, U, U, U, U}}},
      {"clipped at both ends", -2, 1, 6, 1, 9, 9, {{U, U, U, U, U}, {9, 9, 9, 9, 9}, {U, U, U, U, U}}},
      {"steep", 1, 0, 2, 2, 255, 255, {{U, 255, U, U, U}, {U, 255, U, U, U}, {U, U, 255, U, U}}},
  };
  for (const auto& c : kCases) {
    TMTC b = Filled(5, 3, U);
    DrawLine(b, c.x0, c.y0, c.x1, c.y1, 0, c.t0, c.t1, RecordWeight);
    EXPECT_EQ(Dump(b), c.expected) << c.name << "\n" << Show(Dump(b));
  }
}

TEST(Lines, RectangleFrameIsFourLines) {
  TMTC b = Filled(5, 4, 0);
  DrawRectFrame(b, {0, 0, 4, 3}, 0, 255, [](uint32_t* p, uint32_t, uint8_t) { *p += 1; });
  // Each corner lies on two of the lines.
  const Grid expected = {{2, 1, 1, 2, 0}, {1, 0, 0, 1, 0}, {2, 1, 1, 2, 0}, {0, 0, 0, 0, 0}};
  EXPECT_EQ(Dump(b), expected) << Show(Dump(b));
  TMTC one = Filled(3, 3, 0);
  DrawRectFrame(one, {1, 1, 1, 1}, 0, 255, [](uint32_t* p, uint32_t, uint8_t) { *p += 1; });
  EXPECT_EQ(*one.Pixel(1, 1), 4u);
  // The display frame in a Windows colour: a one-pixel border, red from 0x000000FF.
  TMTC f = Filled(4, 3, 0);
  FrameRectColorRef(f, f.Bounds(), 0x000000FF);
  EXPECT_EQ(Dump(f), (Grid{{0xFF0000, 0xFF0000, 0xFF0000, 0xFF0000},
                           {0xFF0000, 0, 0, 0xFF0000},
                           {0xFF0000, 0xFF0000, 0xFF0000, 0xFF0000}}));
}

TEST(Lines, FixedPointLineSplitsWeightAcrossTheMinorAxis) {
  constexpr uint32_t U = 999;
  // Horizontal at y = 1.5: fraction byte 128 -> rows 1 and 2 share the weight.
  TMTC b = Filled(4, 4, U);
  DrawLineFixed(b, 0, 3 << 15, 3 << 16, 3 << 15, 0, 255, true, RecordWeight);
  EXPECT_EQ(Dump(b), (Grid{{U, U, U, U}, {127, 127, 127, 127}, {128, 128, 128, 128}, {U, U, U, U}}));
  // Without antialiasing the row holding the minor coordinate gets the full weight.
  TMTC n = Filled(4, 4, U);
  DrawLineFixed(n, 0, 3 << 15, 3 << 16, 3 << 15, 0, 255, false, RecordWeight);
  EXPECT_EQ(Dump(n), (Grid{{U, U, U, U}, {255, 255, 255, 255}, {U, U, U, U}, {U, U, U, U}}));
  // The minor coordinate follows the true slope: from (0.5, 0) to (3.5, 1.5), half a row per
  // column, so rows 0, 0, 1, 1.
  TMTC s = Filled(5, 3, U);
  DrawLineFixed(s, 1 << 15, 0, 7 << 15, 3 << 15, 0, 9, false, RecordWeight);
  EXPECT_EQ(Dump(s), (Grid{{9, 9, U, U, U}, {U, U, 9, 9, U}, {U, U, U, U, U}})) << Show(Dump(s));
  // Start and end in one point: one pixel at the start weight.
  TMTC one = Filled(3, 3, U);
  DrawLineFixedRamp(one, (1 << 16) + 5, 1 << 16, (1 << 16) + 5, 1 << 16, 0, 77, 200, false, RecordWeight);
  EXPECT_EQ(Dump(one), (Grid{{U, U, U}, {U, 77, U}, {U, U, U}}));
  // Vertical at x = 1.25 with a ramp 255 -> 0 over three rows.
  TMTC v = Filled(4, 3, U);
  DrawLineFixedRamp(v, 5 << 14, 0, 5 << 14, 2 << 16, 0, 255, 0, true, RecordWeight);
  // The ramp gives 255, 128 (255 - trunc(255 / 2)) and 0, times 191 and 64; a zero weight
  // writes nothing.
  EXPECT_EQ(Dump(v), (Grid{{U, 191, 64, U}, {U, 95, 32, U}, {U, U, U, U}})) << Show(Dump(v));
}

TEST(Discs, SmallDiscsAgainstHandDrawnGrids) {
  constexpr uint32_t U = 999;
  // Radius 1 around the point (2, 2), in quarter pixels: the sub-samples of pixel (x, y)
  // are (4x + i, 4y + j). Pixel (2, 2) holds 15 of 16 (all but (3, 3)), pixel (1, 1) 8.
  TMTC aa = Filled(5, 5, U);
  DrawDisc(aa, 2, 2, 1, 0, 255, true, false, RecordWeight);
  EXPECT_EQ(
      Dump(aa),
      (Grid{{U, U, U, U, U}, {U, 127, 191, U, U}, {U, 191, 239, 15, U}, {U, U, 15, U, U}, {U, U, U, U, U}}))
      << Show(Dump(aa));
  TMTC hard = Filled(5, 5, U);
  DrawDisc(hard, 2, 2, 1, 0, 200, false, false, RecordWeight);
  EXPECT_EQ(
      Dump(hard),
      (Grid{
          {U, U, U, U, U}, {U, 200, 200, U, U}, {U, 200, 200, 200, U}, {U, U, 200, U, U}, {U, U, U, U, U}}));
  // A disc at the corner is clipped, never written outside.
  TMTC corner = Filled(2, 2, U);
  DrawDisc(corner, 0, 0, 1, 0, 255, true, false, RecordWeight);
  EXPECT_EQ(Dump(corner), (Grid{{239, 15}, {15, U}}));
}

TEST(Discs, SofteningFadesFromTheCentre) {
  TMTC soft = Filled(7, 7, 999);
  DrawDisc(soft, 3, 3, 3, 0, 255, true, true, RecordWeight);
  EXPECT_EQ(*soft.Pixel(3, 3), 255u);
  EXPECT_EQ(*soft.Pixel(4, 3), 227u);  // 255 - 64 * 255 / 576 = 227
  EXPECT_EQ(*soft.Pixel(0, 3), 0u);    // at the rim the fall-off reaches 0
  // Radius below 3 is never softened.
  TMTC small = Filled(5, 5, 999);
  DrawDisc(small, 2, 2, 2, 0, 255, true, true, RecordWeight);
  EXPECT_EQ(*small.Pixel(3, 2), 255u);
}

TEST(Checker, CellsAndParity) {
  TMTC b = Filled(4, 2, 0);
  FillChecker(b, {0, 0, 4, 2}, 2, 1, 1, 2);
  EXPECT_EQ(Dump(b), (Grid{{2, 2, 1, 1}, {1, 1, 2, 2}}));
  // Cells count from the rectangle's own origin, even when it starts off the buffer.
  FillChecker(b, {-1, 0, 5, 1}, 2, 1, 1, 2);
  EXPECT_EQ(Dump(b)[0], (std::vector<uint32_t>{2, 1, 1, 2}));
  TMTC same = Filled(2, 2, 5);
  FillChecker(same, same.Bounds(), 0, 4, 1, 2);
  EXPECT_EQ(Dump(same), (Grid{{5, 5}, {5, 5}}));
}

TEST(Checker, UnderCheckerBlendsNonOpaquePixelsAndUsesFloorCells) {
  constexpr uint32_t kOdd = 0x00E0E0E0, kEven = 0x00C8C8C8;
  TMTC b(4, 1);
  Load(b, {{0x00000000, 0x80404040, 0xFF123456, 0x00000000}});
  // Origin (3, 0), cells 2 wide: x = 0..3 fall in cells -2, -1, -1, 0.
  UnderChecker(b, b.Bounds(), 3, 0, 2, 2, kOdd, kEven);
  EXPECT_EQ(*b.Pixel(0, 0), 0x00C8C8C8u);  // even cell, alpha 0 -> the checker colour
  EXPECT_EQ(*b.Pixel(1, 0), 0x808F8F8Fu);  // Lerp8(0x40, 0xE0, 128) = 0x8F (143), alpha kept
  EXPECT_EQ(*b.Pixel(2, 0), 0xFF123456u);  // opaque: untouched
  EXPECT_EQ(*b.Pixel(3, 0), 0x00C8C8C8u);
  TMTC f(1, 1);
  Load(f, {{0x80000000}});
  UnderColour(f, f.Bounds(), 0x00E0E0E0);
  EXPECT_EQ(*f.Pixel(0, 0), 0x806F6F6Fu);  // Lerp8(0, 0xE0, 128) = 111
}

TEST(Flips, RectanglesFlipInPlace) {
  const Grid start = {{1, 2, 3}, {4, 5, 6}};
  TMTC v(3, 2);
  Load(v, start);
  FlipVertical(v, v.Bounds());
  EXPECT_EQ(Dump(v), (Grid{{4, 5, 6}, {1, 2, 3}}));
  TMTC h(3, 2);
  Load(h, start);
  FlipHorizontal(h, {1, 0, 2, 2});
  EXPECT_EQ(Dump(h), (Grid{{1, 3, 2}, {4, 6, 5}}));
  TMTC r(3, 2);
  Load(r, start);
  Rotate180(r, r.Bounds());
  EXPECT_EQ(Dump(r), (Grid{{6, 5, 4}, {3, 2, 1}}));
  // The same on a bottom-up buffer.
  TTC t(3, 2);
  Load(t, start);
  FlipVertical(t, t.Bounds());
  EXPECT_EQ(Dump(t), (Grid{{4, 5, 6}, {1, 2, 3}}));
}

TEST(CopyClip, CaseTable) {
  struct Case {
    const char* name;
    TPoint at;
    SPixRect src;
    bool ok;
    TPoint atOut;
    SPixRect srcOut;
  };
  // Source 4 x 4, destination 3 x 3.
  const Case kCases[] = {
      {"inside", {1, 1}, {0, 0, 2, 2}, true, {1, 1}, {0, 0, 2, 2}},
      {"cut by the destination", {1, 1}, {0, 0, 4, 4}, true, {1, 1}, {0, 0, 2, 2}},
      {"negative source origin moves the point", {0, 0}, {-1, -1, 3, 3}, true, {1, 1}, {0, 0, 2, 2}},
      {"negative point moves the source", {-2, 0}, {0, 0, 4, 1}, true, {0, 0}, {2, 0, 2, 1}},
      {"both cut", {-1, 2}, {-1, 0, 5, 5}, true, {0, 2}, {0, 0, 3, 1}},
      {"point past the destination", {3, 0}, {0, 0, 2, 2}, false, {}, {}},
      {"source outside the source", {0, 0}, {4, 0, 2, 2}, false, {}, {}},
      {"empty rectangle", {0, 0}, {0, 0, 0, 3}, false, {}, {}},
      {"negative size", {0, 0}, {2, 2, -1, 2}, false, {}, {}},
      {"wholly left", {-5, 0}, {0, 0, 4, 4}, false, {}, {}},
  };
  for (const auto& c : kCases) {
    TPoint at = c.at;
    SPixRect src = c.src;
    ASSERT_EQ(ClipCopy(4, 4, 3, 3, at, src), c.ok) << c.name;
    if (!c.ok) continue;
    EXPECT_EQ(at, c.atOut) << c.name;
    EXPECT_EQ(src, c.srcOut) << c.name;
  }
}

TEST(Copies, PixelsLandWhereTheClipRuleSays) {
  TMTC src(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) *src.Pixel(x, y) = uint32_t(100 + y * 10 + x);
  TMTC dst = Filled(3, 3, 0);
  CopyRect(dst, {0, 0}, src, {-1, -1, 3, 3});
  EXPECT_EQ(Dump(dst), (Grid{{0, 0, 0}, {0, 100, 101}, {0, 110, 111}}));
  TTC display(3, 3);
  FillAll(display, 0);
  CopyRect(display, {-2, 0}, src, {0, 0, 4, 1});
  EXPECT_EQ(Dump(display), (Grid{{102, 103, 0}, {0, 0, 0}, {0, 0, 0}}));
}

TEST(Copies, WeightedCopyBlendsHalfOntoDisplayBuffers) {
  TMTC src(1, 1);
  *src.Pixel(0, 0) = 0x11FFFFFF;
  TMTC heap = Filled(1, 1, 0x80000000);
  TTC display(1, 1);
  FillAll(display, 0x80000000);
  CopyRectWeighted(heap, {0, 0}, src, {0, 0, 1, 1}, 128);
  CopyRectWeighted(display, {0, 0}, src, {0, 0, 1, 1}, 128);
  EXPECT_EQ(*heap.Pixel(0, 0), 0x80808080u);     // Lerp8(255, 0, 128) = 128
  EXPECT_EQ(*display.Pixel(0, 0), 0x807F7F7Fu);  // 0 + trunc(128 * 127 * 2 / 255) = 127
  CopyRectWeighted(heap, {0, 0}, src, {0, 0, 1, 1}, 0);
  EXPECT_EQ(*heap.Pixel(0, 0), 0x80808080u);
  CopyRectWeighted(heap, {0, 0}, src, {0, 0, 1, 1}, 255);
  EXPECT_EQ(*heap.Pixel(0, 0), 0x11FFFFFFu);  // a plain copy, alpha included
}

TEST(Copies, ColourKeyComparesColourChannelsOnly) {
  TMTC src(3, 1);
  Load(src, {{0xFF112233, 0x00112234, 0x7F112233}});
  TMTC dst = Filled(3, 1, 5);
  CopyRectColorKey(dst, {0, 0}, src, src.Bounds(), 0x00112233);
  EXPECT_EQ(Dump(dst), (Grid{{5, 0x00112234, 5}}));
}

TEST(Copies, PrimitiveCopiesAndAlphaScaling) {
  TMTC src(1, 1);
  *src.Pixel(0, 0) = 0x00F0E0D0;
  TMTC m = Filled(1, 1, 0x80102030);
  CopyRectMultiply(m, {0, 0}, src, src.Bounds(), 128);
  EXPECT_EQ(*m.Pixel(0, 0), 0x800F1E2Bu);
  TMTC a = Filled(1, 1, 0x7F90A0B0);
  CopyRectAdd(a, {0, 0}, src, src.Bounds(), 128);
  EXPECT_EQ(*a.Pixel(0, 0), 0x7FFFFFFFu);
  TMTC s = Filled(1, 1, 0x7F90A0B0);
  CopyRectSubtract(s, {0, 0}, src, src.Bounds(), 128);
  EXPECT_EQ(*s.Pixel(0, 0), 0x7F183048u);
  TMTC p = Filled(1, 1, 0);
  CopyRectProc(p, {0, 0}, src, src.Bounds(), BlendSet, 0);
  EXPECT_EQ(*p.Pixel(0, 0), 0x00F0E0D0u);
  // Destination alpha 200 scaled by 128 is 100, then the colour is blended in.
  TMTC scaled = Filled(1, 1, 0xC8000000);
  CopyRectAlphaScaled(scaled, {0, 0}, src, src.Bounds(), BlendNormal, 255, 128);
  EXPECT_EQ(*scaled.Pixel(0, 0), 0x64F0E0D0u);
}

TEST(Copies, MergeEntryPointGetsClippedPixelsAndItsRecord) {
  TMTC src(3, 2);
  Load(src, {{1, 2, 3}, {4, 5, 6}});
  TMTC dst = Filled(2, 2, 0);
  struct Param {
    uint32_t add;
  } param{10};
  MergeFn merge{[](uint32_t* d, uint32_t s, uint8_t t, const void* prm) {
                  *d = s + static_cast<const Param*>(prm)->add + t;
                },
                &param};
  CopyRectMerge(dst, {-1, 0}, src, src.Bounds(), merge, 100);
  EXPECT_EQ(Dump(dst), (Grid{{112, 113}, {115, 116}}));
}

TEST(Resample, FourByFourReductionAveragesEveryChannel) {
  TMTC src(8, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) *src.Pixel(x, y) = uint32_t(x < 4 ? 0xFF000000 : 0) | uint32_t(x + 8 * y);
  TMTC dst(2, 2);
  Resample4x4(src, dst);
  // Means of x + 8y over each 4 x 4 block, truncated: 13.5, 17.5, 45.5, 49.5.
  EXPECT_EQ(Dump(dst), (Grid{{0xFF00000D, 0x00000011}, {0xFF00002D, 0x00000031}}));
}

TEST(Resample, BoxAverageRepeatsTheEdge) {
  TMTC src(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) *src.Pixel(x, y) = uint32_t(x + 4 * y);
  TMTC dst = Filled(2, 2, 0);
  BoxAverage(src, src.Bounds(), dst, dst.Bounds());
  // Boxes of 3 x 3 at (0,0), (2,0), (0,2), (2,2); columns and rows past 3 repeat 3.
  // (0,0): mean of x + 4y over 0..2 = 1 + 4 = 5; (1,1): (24 + 96) / 9 = 13.
  EXPECT_EQ(*dst.Pixel(0, 0), 5u);
  EXPECT_EQ(*dst.Pixel(1, 0), 6u);   // x in {2,3,3}: 8/3 + 4 = 6.67
  EXPECT_EQ(*dst.Pixel(0, 1), 11u);  // 1 + 4 * 8/3 = 11.67
  EXPECT_EQ(*dst.Pixel(1, 1), 13u);
}

TEST(Resample, NearestStretchRepeatsTheLastRowBelowTheSource) {
  TMTC src(2, 2);
  Load(src, {{1, 2}, {3, 4}});
  TMTC dst = Filled(4, 4, 0);
  StretchNearest(dst, dst.Bounds(), src, src.Bounds());
  EXPECT_EQ(Dump(dst), (Grid{{1, 1, 2, 2}, {1, 1, 2, 2}, {3, 3, 4, 4}, {3, 3, 4, 4}}));
  // A source rectangle taller than the source: rows 2 and 3 repeat row 1.
  TMTC tall = Filled(2, 4, 0);
  StretchNearest(tall, tall.Bounds(), src, {0, 0, 2, 4});
  EXPECT_EQ(Dump(tall), (Grid{{1, 2}, {3, 4}, {3, 4}, {3, 4}}));
}

TEST(Resample, EmptyTargetsAndSourcesDoNothing) {
  TMTC src(4, 4), empty;
  FillAll(src, 7);
  Resample4x4(src, empty);
  BoxAverage(src, src.Bounds(), empty, {0, 0, 2, 2});
  StretchNearest(empty, {0, 0, 2, 2}, src, src.Bounds());
  EXPECT_FALSE(empty.IsValid());
  TMTC dst = Filled(2, 2, 9);
  Resample4x4(empty, dst);
  BoxAverage(empty, {0, 0, 4, 4}, dst, dst.Bounds());
  StretchNearest(dst, dst.Bounds(), empty, {0, 0, 4, 4});
  BoxAverage(src, {0, 0, 0, 4}, dst, dst.Bounds());
  StretchNearest(dst, {0, 0, 0, 2}, src, src.Bounds());
  EXPECT_EQ(Dump(dst), (Grid{{9, 9}, {9, 9}}));
  // An under-checker with no cells leaves the pixels alone.
  UnderChecker(dst, dst.Bounds(), 0, 0, 0, 8, 1, 2);
  UnderChecker(dst, dst.Bounds(), 0, 0, 8, -1, 1, 2);
  EXPECT_EQ(Dump(dst), (Grid{{9, 9}, {9, 9}}));
}

TEST(Rotate, StepsRoundHalfToEven) {
  // step * cos * 65536 = 65536.5 rounds to 65536 (even), 65537.5 to 65538.
  TMTC src(8, 1);
  for (int x = 0; x < 8; ++x) *src.Pixel(x, 0) = uint32_t(x);
  TTC a(8, 1), b(8, 1);
  RotatedCopy(a, a.Bounds(), src, 4, 0, 65536.5 / 65536.0, 1.0, 0.0, 0xEE);
  RotatedCopy(b, b.Bounds(), src, 4, 0, 65537.5 / 65536.0, 1.0, 0.0, 0xEE);
  // u = 4 * 65536 + (x - 4) * step. With 65536 it is a plain copy (rounding half away from
  // zero would give 65537 and u < 0 at x = 0). With 65538, u = -8 at x = 0 (background) and
  // 7 * 65536 + 6 at x = 7.
  EXPECT_EQ(Dump(a), Dump(src));
  EXPECT_EQ(*b.Pixel(0, 0), 0xEEu);
  EXPECT_EQ(*b.Pixel(7, 0), 7u);
}

TEST(Buffers, FromBitmapRowsSetsAlpha) {
  const uint8_t rows[2][8] = {{1, 2, 3, 4, 5, 6, 7, 8}, {9, 10, 11, 12, 13, 14, 15, 16}};
  TMTC img(&rows[0][0], 8, 2, 2);
  ASSERT_TRUE(img.IsValid());
  EXPECT_EQ(*img.Pixel(0, 0), 0xFF030201u);
  EXPECT_EQ(*img.Pixel(1, 1), 0xFF0F0E0Du);
  TMTC none(nullptr, 8, 2, 2);
  EXPECT_FALSE(none.IsValid());
}

TEST(Rotate, AngleZeroStepOneIsAPlainCopy) {
  TMTC src(5, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) *src.Pixel(x, y) = uint32_t(1 + x + 10 * y);
  TTC dst(5, 4);
  // The destination centre (2, 2) shows source point (2, 2).
  RotatedCopy(dst, dst.Bounds(), src, 2, 2, 1.0, 1.0, 0.0, 0xDEAD);
  EXPECT_EQ(Dump(dst), Dump(src));
}

TEST(Rotate, PointsOnTheRightAndBottomEdgeAreBackground) {
  TMTC src(3, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) *src.Pixel(x, y) = uint32_t(1 + x + 3 * y);
  TTC dst(4, 4);
  RotatedCopy(dst, dst.Bounds(), src, 2, 2, 1.0, 1.0, 0.0, 0xBB);
  EXPECT_EQ(Dump(dst), (Grid{{1, 2, 3, 0xBB}, {4, 5, 6, 0xBB}, {7, 8, 9, 0xBB}, {0xBB, 0xBB, 0xBB, 0xBB}}));
}

TEST(Rotate, QuarterTurnMapsColumnsToRows) {
  TMTC src(3, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) *src.Pixel(x, y) = uint32_t(1 + x + 3 * y);
  TTC dst(3, 3);
  // cos 0, sin 1: u = 1.5 - (y - 1), v = 1.5 + (x - 1), so dst(x, y) = src(2 - y, x).
  RotatedCopy(dst, dst.Bounds(), src, 1.5, 1.5, 1.0, 0.0, 1.0, 0);
  EXPECT_EQ(Dump(dst), (Grid{{3, 6, 9}, {2, 5, 8}, {1, 4, 7}}));
}

TEST(Rotate, ZoomedOutStepSkipsSourcePixels) {
  TMTC src(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) *src.Pixel(x, y) = uint32_t(x + 4 * y);
  TTC dst(2, 2);
  RotatedCopy(dst, dst.Bounds(), src, 2, 2, 2.0, 1.0, 0.0, 0xFF);
  EXPECT_EQ(Dump(dst), (Grid{{0, 2}, {8, 10}}));
}

TEST(Bridges, ChannelAndColourConvert) {
  TChannel ch(3, 1);
  ch.Row8(0)[0] = 0;
  ch.Row8(0)[1] = 5;
  ch.Row8(0)[2] = 255;
  TMTC colour = Filled(3, 1, 0x12345678);
  ChannelToColour(colour, {0, 0}, ch, ch.Bounds());
  EXPECT_EQ(Dump(colour), (Grid{{0, 0xFF050505, 0xFFFFFFFF}}));
  Load(colour, {{0x00FF0000, 0xFF0000FF, 0x00FFFFFF}});
  TChannel out(3, 1);
  ColourToChannel(out, {0, 0}, colour, colour.Bounds());
  EXPECT_EQ(out.Row8(0)[0], 76);
  EXPECT_EQ(out.Row8(0)[1], 29);
  EXPECT_EQ(out.Row8(0)[2], 255);
}

}  // namespace
}  // namespace tintara
