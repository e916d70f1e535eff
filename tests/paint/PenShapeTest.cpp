// The dab-mask builder: grid geometry, golden grids worked out here from the outline,
// coverage and density rules, the cache, pixel-aligned spans and bitmap tips.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

#include "paint/PenShape.h"
#include "pixel/ChannelOps.h"
#include "platform/Memory.h"

namespace tintara {
namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

TEST(CPenShape, RadiusQuantisation) {
  struct Case {
    double r, expected;
  };
  const Case cases[] = {
      {0.06, 0.0625}, {0.0, 0.0625}, {0.2, 0.125}, {2.99, 2.875}, {3.0, 3.0},
      {3.3, 3.25},    {9.99, 9.75},  {10.0, 10.0}, {10.2, 10.0},  {10.7, 10.5},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CPenShape::QuantiseRadius(int64_t(c.r * 65536)), int64_t(c.expected * 65536)) << c.r;
}

TEST(CPenShape, SupersamplingFactor) {
  const int32_t expected[][2] = {{1, 2}, {2, 2},  {3, 3},  {4, 5},  {5, 5},  {6, 5},  {7, 4},
                                 {8, 2}, {25, 2}, {26, 1}, {49, 1}, {50, 1}, {300, 1}};
  for (auto& e : expected) EXPECT_EQ(CPenShape::FactorFor(e[0]), e[1]) << e[0];
}

TEST(CPenShape, RadiiAboveTheLimitAreRefusedForEveryShape) {
  CGradeMapObj map;
  CPenShape shape(&map);
  EXPECT_TRUE(shape.BuildRound(int64_t(0.06 * 65536)));
  EXPECT_EQ(shape.Radius16(), 4096);
  EXPECT_FALSE(shape.BuildRound(600 * 65536));
  EXPECT_FALSE(shape.IsValid());
  EXPECT_EQ(shape.Sample(0, 0), 0u);
  EXPECT_FALSE(shape.BuildEllipse(600 * 65536, 50, 30));
  EXPECT_FALSE(shape.BuildAligned(0, 0, false, 600 * 65536, 100, 0));
  EXPECT_TRUE(shape.BuildRound(512 * 65536));
}

TEST(CPenShape, OnlyRoundRadiiAreQuantised) {
  CGradeMapObj map;
  CPenShape shape(&map);
  struct Case {
    double r;
    double aspect, angle;
  };
  const Case cases[] = {{10.4, 60, 30}, {2.93, 50, 0}, {0.3, 40, 75}, {5.6, 100, 0}};
  for (const Case& c : cases) {
    const int64_t r16 = int64_t(c.r * 65536);
    ASSERT_TRUE(shape.BuildEllipse(r16, c.aspect, c.angle)) << c.r;
    if (c.aspect >= 100) {
      EXPECT_EQ(shape.Radius16(), CPenShape::QuantiseRadius(r16)) << c.r;
      continue;
    }
    EXPECT_EQ(shape.Radius16(), r16) << c.r;
    // The box of the ellipse of semi-axes r and r x aspect, plus 2 pixels.
    const double a = double(r16) / 65536, b = a * c.aspect / 100;
    const double cs = std::cos(c.angle * kDeg), sn = std::sin(c.angle * kDeg);
    EXPECT_EQ(shape.HalfWidth16(), int64_t((std::sqrt(a * a * cs * cs + b * b * sn * sn) + 2.0) * 65536))
        << c.r;
  }
  // A tiny or negative radius still gives a mask to divide by.
  ASSERT_TRUE(shape.BuildEllipse(-5, 50, 0));
  EXPECT_EQ(shape.Radius16(), 4096);
}

TEST(CPenShape, MaskThatCannotBeAllocatedLeavesTheBuilderEmptyAndTheNextBuildTriesAgain) {
  TChannel bmp(30, 30);
  CPenShapeObj tip;
  ASSERT_TRUE(tip.AttachBitmap(bmp));
  struct Case {
    const char* name;
    std::function<bool(CPenShape&)> build;
  };
  const Case cases[] = {
      {"round", [](CPenShape& s) { return s.BuildRound(9 * 65536); }},
      {"ellipse", [](CPenShape& s) { return s.BuildEllipse(9 * 65536, 50, 20); }},
      {"aligned",
       [](CPenShape& s) { return s.BuildAligned(5 * 65536, 5 * 65536, false, 20 * 65536, 100, 0); }},
      {"bitmap", [&](CPenShape& s) { return s.BuildBitmap(tip); }},
  };
  for (const Case& c : cases) {
    CGradeMapObj map;
    CPenShape shape(&map);
    // A small mask held, whose grids are too small for the one asked for next.
    ASSERT_TRUE(shape.BuildRound(2 * 65536));
    {
      ScopedAllocFailure fail(0);
      EXPECT_FALSE(c.build(shape)) << c.name;
    }
    EXPECT_FALSE(shape.IsValid()) << c.name;
    // Nothing is left to sample: no cell, and no read beyond the grids.
    EXPECT_EQ(shape.GridWidth() * shape.GridHeight(), 0) << c.name;
    EXPECT_EQ(shape.Sample(0, 0), 0u) << c.name;
    EXPECT_EQ(shape.Sample(3 * 65536, 3 * 65536), 0u) << c.name;
    EXPECT_EQ(shape.Builds(), 1) << c.name;
    // The density table may change meanwhile without touching the missing grids.
    map.SetProfile({1, 0, 0});
    shape.RebuildMask();
    ASSERT_TRUE(c.build(shape)) << c.name;
    EXPECT_TRUE(shape.IsValid()) << c.name;
    EXPECT_GT(shape.Sample(0, 0), 0u) << c.name;
    EXPECT_EQ(shape.Builds(), 2) << c.name;
  }
}

// --- golden grids -------------------------------------------------------------------------

struct Outline {
  double r, aspect, angle;
  double k() const { return 100.0 / aspect; }
  double c() const { return aspect >= 100 ? 1.0 : std::cos(angle * kDeg); }
  double s() const { return aspect >= 100 ? 0.0 : std::sin(angle * kDeg); }
  // Offset in the outline's own frame, where it is a circle of radius r.
  void Frame(double dx, double dy, double& ex, double& ey) const {
    if (aspect >= 100) {
      ex = dx, ey = dy;
      return;
    }
    ex = dx * c() - dy * s();
    ey = (dx * s() + dy * c()) * k();
  }
  // Share of the unit square centred on (dx, dy) inside the outline, by integrating the
  // outline's vertical chord over 4000 columns.
  double Share(double dx, double dy) const {
    const double C = c(), S = s(), K = k();
    const double P = C * C + K * K * S * S, Q = S * S + K * K * C * C, B = C * S * (K * K - 1);
    const int n = 4000;
    double sum = 0;
    for (int i = 0; i < n; ++i) {
      const double px = dx - 0.5 + (i + 0.5) / n;
      const double D = B * B * px * px - Q * (P * px * px - r * r);
      if (D <= 0) continue;
      const double lo = (-B * px - std::sqrt(D)) / Q, hi = (-B * px + std::sqrt(D)) / Q;
      sum += std::max(0.0, std::min(hi, dy + 0.5) - std::max(lo, dy - 0.5));
    }
    return sum / n;
  }
};

struct GridCase {
  Outline o;
  int32_t pixW, pixH, factor;  // worked out by hand from the half extents
};

// Round: half extents (r, r). Elliptical, aspect 50 % at 30 degrees: the rotated ellipse's box
// plus 2 pixels, e.g. r = 4: sqrt(16 cos^2 + 4 sin^2) + 2 = 5.61 -> pixels -6..7, 13 wide.
const GridCase kGridCases[] = {
    {{0.5, 100, 0}, 1, 1, 2}, {{1, 100, 0}, 3, 3, 3}, {{2.5, 100, 0}, 5, 5, 5}, {{4, 100, 0}, 9, 9, 2},
    {{0.5, 50, 30}, 5, 5, 5}, {{1, 50, 30}, 7, 7, 4}, {{2.5, 50, 30}, 9, 9, 2}, {{4, 50, 30}, 13, 11, 2},
};

struct Profile {
  bool rim, density;
  DensityProfile curve;
};
const Profile kProfiles[] = {
    {true, true, {2, 0, 100}},   // smooth fall-off over a 10 % floor
    {true, true, {3, 1000, 0}},  // linear fully flattened: full density to the rim
    {true, false, {3, 0, 0}},    // density off
    {false, true, {3, 0, 0}},    // no anti-aliasing: inside or out by the cell centre
};

uint32_t Density(const DensityProfile& p, int64_t distance16) {
  const double flat = p.flattening / 1000.0, floor = p.floor / 1000.0;
  const int64_t i = (std::min<int64_t>(distance16, 65536) * 2047) >> 16;
  double e = double(i) / 2047 - flat, d = 1;
  if (e > 0) {
    e /= 1 - flat;
    const double x = e;
    d = p.curve == 2 ? 2 * x * x * x - 3 * x * x + 1 : 1 - x;
  }
  return uint32_t((floor + d * (1 - floor)) * (65536.0 * 255.0));
}

TEST(CPenShape, GoldenGridsMatchTheOutlineCoverageAndDensityRules) {
  for (const GridCase& gc : kGridCases) {
    const Outline& o = gc.o;
    const bool round = o.aspect >= 100;
    const double a = o.r, b = o.r * o.aspect / 100.0, c = o.c(), s = o.s();
    const double hw = round ? o.r : std::sqrt(a * a * c * c + b * b * s * s) + 2.0;
    const double hh = round ? o.r : std::sqrt(a * a * s * s + b * b * c * c) + 2.0;
    const double cx = 0.5 - std::floor(0.5 - hw), cy = 0.5 - std::floor(0.5 - hh);
    const int32_t gw = gc.pixW * gc.factor, gh = gc.pixH * gc.factor;
    // Expected distance and coverage per cell, shared by every profile.
    std::vector<uint32_t> dist(size_t(gw * gh)), share(size_t(gw * gh));
    std::vector<bool> inside(size_t(gw * gh));
    for (int32_t gy = 0; gy < gh; ++gy)
      for (int32_t gx = 0; gx < gw; ++gx) {
        const double dx = (gx + 0.5) / gc.factor - cx, dy = (gy + 0.5) / gc.factor - cy;
        double ex, ey;
        o.Frame(dx, dy, ex, ey);
        const size_t i = size_t(gy * gw + gx);
        dist[i] = uint32_t(std::hypot(ex, ey) / o.r * 65536.0);
        inside[i] = std::hypot(ex, ey) <= o.r;
        share[i] = uint32_t(std::nearbyint(o.Share(dx, dy) * 65536.0));
      }
    for (const Profile& p : kProfiles) {
      CGradeMapObj map;
      map.SetProfile(p.curve);
      CPenShape shape(&map);
      shape.SetSwitches(p.rim, p.density, true);
      const int64_t r16 = int64_t(o.r * 65536);
      ASSERT_TRUE(round ? shape.BuildRound(r16) : shape.BuildEllipse(r16, o.aspect, o.angle));
      const std::string what = "r=" + std::to_string(o.r) + " aspect=" + std::to_string(o.aspect) +
                               " rim=" + std::to_string(p.rim) + " density=" + std::to_string(p.density);
      ASSERT_EQ(shape.PixelWidth(), gc.pixW) << what;
      ASSERT_EQ(shape.PixelHeight(), gc.pixH) << what;
      ASSERT_EQ(shape.Factor(), gc.factor) << what;
      EXPECT_EQ(shape.CentreX16(), int64_t(cx * 65536)) << what;
      EXPECT_EQ(shape.CentreY16(), int64_t(cy * 65536)) << what;
      EXPECT_EQ(shape.HalfWidth16(), int64_t(hw * 65536)) << what;
      for (int32_t gy = 0; gy < gh; ++gy)
        for (int32_t gx = 0; gx < gw; ++gx) {
          const size_t i = size_t(gy * gw + gx);
          const std::string cell = what + " cell " + std::to_string(gx) + "," + std::to_string(gy);
          ASSERT_EQ(shape.Distance()[i], dist[i]) << cell;
          const uint32_t dens = p.density ? Density(p.curve, dist[i]) : 255u * 65536u;
          if (!p.rim) {
            ASSERT_EQ(shape.Coverage()[i], inside[i] ? 65536u : 0u) << cell;
            ASSERT_EQ(shape.Mask()[i], inside[i] ? 255u * 65536u : 0u) << cell;
            continue;
          }
          // The integration is good to well under 3 units of 1/65536.
          ASSERT_NEAR(double(shape.Coverage()[i]), double(share[i]), 3.0) << cell;
          const double mask = double((uint64_t(dens) * share[i]) >> 16);
          ASSERT_NEAR(double(shape.Mask()[i]), mask, dens * 3.0 / 65536 + 1) << cell;
        }
    }
  }
}

TEST(CPenShape, SampleReadsTheCellUnderThePixelCentre) {
  CGradeMapObj map;
  map.SetProfile({3, 1000, 0});
  CPenShape shape(&map);
  ASSERT_TRUE(shape.BuildRound(int64_t(2.5 * 65536)));  // 25 x 25 cells, centre 2.5
  // The centre of the dab lies in cell 12 of both axes: full ink.
  EXPECT_EQ(shape.Sample(0, 0), 255u * 65536u);
  // 0.3 pixels right lands 1.5 cells further: cell 14.
  const int64_t u = int64_t(0.3 * 65536);
  EXPECT_EQ(shape.Sample(u, 0), shape.Mask()[12 * 25 + 14]);
  // Past the grid on either side: nothing.
  EXPECT_EQ(shape.Sample(-int64_t(2.6 * 65536), 0), 0u);
  EXPECT_EQ(shape.Sample(0, int64_t(2.5 * 65536)), 0u);
  EXPECT_EQ(shape.Sample(int64_t(2.49 * 65536), 0), shape.Mask()[12 * 25 + 24]);
}

TEST(CPenShape, HeldMaskIsReusedUntilItsKeyChanges) {
  CGradeMapObj map;
  CPenShape shape(&map);
  ASSERT_TRUE(shape.BuildRound(int64_t(10.2 * 65536)));
  ASSERT_TRUE(shape.BuildRound(int64_t(10.4 * 65536)));  // same quantised radius 10.0
  EXPECT_EQ(shape.Builds(), 1);
  ASSERT_TRUE(shape.BuildEllipse(int64_t(10.0 * 65536), 100, 45));  // round after all
  EXPECT_EQ(shape.Builds(), 1);
  ASSERT_TRUE(shape.BuildEllipse(int64_t(10.0 * 65536), 60, 45));
  ASSERT_TRUE(shape.BuildEllipse(int64_t(10.0 * 65536), 60, 45));
  EXPECT_EQ(shape.Builds(), 2);
  ASSERT_TRUE(shape.BuildEllipse(int64_t(10.0 * 65536), 60, 46));
  EXPECT_EQ(shape.Builds(), 3);
  shape.Invalidate();
  ASSERT_TRUE(shape.BuildEllipse(int64_t(10.0 * 65536), 60, 46));
  EXPECT_EQ(shape.Builds(), 4);
}

TEST(CPenShape, NewDensityRecomputesTheMaskWithoutRebuildingTheGrids) {
  CGradeMapObj map;
  map.SetProfile({3, 0, 0});
  CPenShape shape(&map);
  ASSERT_TRUE(shape.BuildRound(4 * 65536));
  const CPenShape::Grid rim = shape.Coverage();
  // 1.9 pixels right of the centre (4.5) is 6.4: cell 12 of the half-pixel cells, whose
  // centre is 1.75 out; the centre row is cell 9, 0.25 below.
  const int64_t u = int64_t(1.9 * 65536);
  const uint32_t before = shape.Sample(u, 0);
  map.SetProfile({3, 1000, 0});
  shape.RebuildMask();
  EXPECT_EQ(shape.Builds(), 1);
  EXPECT_EQ(shape.Coverage(), rim);
  // Linear density 1 - d / 4 before (to the table's 2048 steps), full density after.
  EXPECT_NEAR(before / 65536.0, 255 * (1 - std::hypot(1.75, 0.25) / 4), 0.2);
  EXPECT_EQ(shape.Sample(u, 0), 255u * 65536u);
}

TEST(CPenShape, FullFlatteningIsAHardRoundTipWithAnAntiAliasedRim) {
  CGradeMapObj map;
  map.SetProfile({3, 1000, 0});
  CPenShape shape(&map);
  ASSERT_TRUE(shape.BuildRound(6 * 65536));
  for (size_t i = 0; i < shape.Mask().size(); ++i)
    ASSERT_EQ(shape.Mask()[i], uint32_t((uint64_t(255u * 65536u) * shape.Coverage()[i]) >> 16));
  // The centre is fully covered, and there is a partly covered rim.
  EXPECT_EQ(shape.Sample(0, 0), 255u * 65536u);
  int32_t partial = 0;
  for (uint32_t m : shape.Mask()) partial += m > 0 && m < 255u * 65536u;
  EXPECT_GT(partial, 50);
}

// --- pixel-aligned spans ----------------------------------------------------------------------

TEST(CPenShape, AlignedRowsGetOneSpanEachWeightedAtTheEnds) {
  CGradeMapObj map;
  CPenShape shape(&map);
  shape.SetSwitches(true, false, true);  // coverage only, 255 x share
  // Radius 2 at (10.5, 10.5): rows 8..12 of the image, the outer two half inside.
  ASSERT_TRUE(shape.BuildAligned(int64_t(10.5 * 65536), int64_t(10.5 * 65536), false, 2 * 65536, 100, 0));
  EXPECT_EQ(shape.Factor(), 1);
  ASSERT_EQ(shape.PixelWidth(), 5);
  ASSERT_EQ(shape.PixelHeight(), 5);
  auto at = [&](int32_t px, int32_t py) {  // image pixel
    const int64_t x16 = int64_t(10.5 * 65536), y16 = x16;
    return shape.Sample(int64_t(px) * 65536 - x16 + 0x8000, int64_t(py) * 65536 - y16 + 0x8000) /
           (255.0 * 65536);
  };
  // Row 8 covers [8.5, 9]: weight 0.5, chord at 8.75: w = sqrt(4 - 1.75^2) = 0.968.
  const double w8 = std::sqrt(4 - 1.75 * 1.75);
  EXPECT_NEAR(at(10, 8), 0.5, 1e-4);
  EXPECT_NEAR(at(9, 8), 0.5 * (10 - (10.5 - w8)), 1e-4);
  EXPECT_EQ(at(8, 8), 0.0);
  // Row 9: chord at 9.5, w = sqrt(3) = 1.732: pixels 9..11 full, 8 and 12 get 0.232.
  EXPECT_NEAR(at(9, 9), 1.0, 1e-4);
  EXPECT_NEAR(at(8, 9), 9 - (10.5 - std::sqrt(3.0)), 1e-4);
  EXPECT_NEAR(at(12, 9), (10.5 + std::sqrt(3.0)) - 12, 1e-4);
  // Row 10: the full chord 8.5 .. 12.5.
  EXPECT_NEAR(at(8, 10), 0.5, 1e-4);
  EXPECT_NEAR(at(12, 10), 0.5, 1e-4);
  EXPECT_EQ(at(13, 10), 0.0);
  EXPECT_NEAR(at(10, 12), 0.5, 1e-4);
}

TEST(CPenShape, AlignedEndRowsTakeTheChordAtTheirCentreWhenItIsInside) {
  CGradeMapObj map;
  CPenShape shape(&map);
  shape.SetSwitches(true, false, true);
  // Radius 2.2 at (10.5, 10.5): the outline spans rows 8.3 .. 12.7. Row 8 lies 0.7 inside and
  // its centre 8.5 is inside too: the chord there is w = sqrt(2.2^2 - 2^2).
  const int64_t c16 = int64_t(10.5 * 65536);
  ASSERT_TRUE(shape.BuildAligned(c16, c16, false, int64_t(2.2 * 65536), 100, 0));
  auto at = [&](int32_t px, int32_t py) {
    return shape.Sample(int64_t(px) * 65536 - c16 + 0x8000, int64_t(py) * 65536 - c16 + 0x8000) /
           (255.0 * 65536);
  };
  const double r = double(int64_t(2.2 * 65536)) / 65536;
  const double weight = 8.0 + 1.0 - (10.5 - r);
  const double w = std::sqrt(r * r - 2.0 * 2.0);
  struct Case {
    int32_t px, py;
    double expected;
  };
  const Case cases[] = {
      {10, 8, weight},                      // inside the chord
      {9, 8, weight * (10 - (10.5 - w))},   // the chord's left end
      {11, 8, weight * ((10.5 + w) - 11)},  // and its right end
      {8, 8, 0.0},                          // beyond the chord
      {10, 12, weight},                     // the last row, mirrored
      {9, 12, weight * (10 - (10.5 - w))},
  };
  for (const Case& c : cases) EXPECT_NEAR(at(c.px, c.py), c.expected, 1e-4) << c.px << "," << c.py;
}

TEST(CPenShape, AlignedColumnsAreTheTransposedRows) {
  CGradeMapObj map;
  map.SetProfile({1, 0, 0});
  for (double r : {0.8, 1.7, 3.2}) {
    CPenShape rows(&map), cols(&map);
    const int64_t x16 = int64_t(20.3 * 65536), y16 = int64_t(7.8 * 65536);
    ASSERT_TRUE(rows.BuildAligned(x16, y16, false, int64_t(r * 65536), 100, 0));
    ASSERT_TRUE(cols.BuildAligned(y16, x16, true, int64_t(r * 65536), 100, 0));
    for (int32_t dy = -5; dy <= 5; ++dy)
      for (int32_t dx = -5; dx <= 5; ++dx) {
        const int64_t u = int64_t(20 + dx) * 65536 - x16 + 0x8000, v = int64_t(7 + dy) * 65536 - y16 + 0x8000;
        const int64_t u2 = int64_t(7 + dy) * 65536 - y16 + 0x8000,
                      v2 = int64_t(20 + dx) * 65536 - x16 + 0x8000;
        ASSERT_EQ(rows.Sample(u, v), cols.Sample(u2, v2)) << r << " " << dx << "," << dy;
      }
  }
}

TEST(CPenShape, AlignedTinyRadiusIsOneHalfWeightSpan) {
  CGradeMapObj map;
  CPenShape shape(&map);
  shape.SetSwitches(true, false, true);
  const int64_t c16 = int64_t(5.5 * 65536);
  ASSERT_TRUE(shape.BuildAligned(c16, c16, false, int64_t(0.25 * 65536), 100, 0));
  // Span 5.25 .. 5.75 in row 5 at weight 0.5: a quarter of full ink, nothing else.
  for (int32_t py = 3; py <= 7; ++py)
    for (int32_t px = 3; px <= 7; ++px) {
      const uint32_t m = shape.Sample(int64_t(px) * 65536 - c16 + 0x8000, int64_t(py) * 65536 - c16 + 0x8000);
      EXPECT_EQ(m, (px == 5 && py == 5) ? 255u * 16384u : 0u) << px << "," << py;
    }
}

TEST(CPenShape, AlignedEllipseCoversItsArea) {
  CGradeMapObj map;
  CPenShape shape(&map);
  shape.SetSwitches(true, false, true);
  for (bool minor : {false, true}) {
    ASSERT_TRUE(shape.BuildAligned(int64_t(30.25 * 65536), int64_t(30.6 * 65536), minor, 8 * 65536, 40, 30));
    double sum = 0;
    for (uint32_t v : shape.Coverage()) sum += v / 65536.0;
    // pi a b with a = 8, b = 3.2; spans approximate it to a fraction of a pixel per line.
    EXPECT_NEAR(sum, std::numbers::pi * 8 * 3.2, 1.0) << minor;
  }
}

// --- bitmap tips ------------------------------------------------------------------------------

TEST(CPenShape, BitmapTipsScaleFrom20To500Percent) {
  // 40 x 20, black on the left half (columns 0..19), white on the right.
  TChannel bmp(40, 20);
  FillAll8(bmp, 255);
  FillRect8(bmp, {0, 0, 20, 20}, 0);
  CPenShapeObj tip;
  ASSERT_TRUE(tip.AttachBitmap(bmp));
  CGradeMapObj map;
  CPenShape shape(&map);
  shape.SetSwitches(true, false, true);
  for (int32_t size : {20, 37, 100, 250, 500}) {
    if (size != tip.SizePercent()) {
      ASSERT_TRUE(tip.SetSizePercent(size));
    }
    ASSERT_TRUE(shape.BuildBitmap(tip)) << size;
    const double sc = size / 100.0;
    EXPECT_EQ(shape.HalfWidth16(), int64_t(20 * sc * 65536)) << size;
    EXPECT_EQ(shape.HalfHeight16(), int64_t(10 * sc * 65536)) << size;
    const int32_t f = shape.Factor();
    const double cx = shape.CentreX16() / 65536.0, cy = shape.CentreY16() / 65536.0;
    for (int32_t gy = 0; gy < shape.GridHeight(); ++gy)
      for (int32_t gx = 0; gx < shape.GridWidth(); ++gx) {
        const double dx = (gx + 0.5) / f - cx, dy = (gy + 0.5) / f - cy;
        // The dab pixel centred here covers [dx - 0.5, dx + 0.5] of the scaled bitmap, whose
        // black half spans [-20 sc, 0] by [-10 sc, 10 sc].
        const double ink = std::max(0.0, std::min(dx + 0.5, 0.0) - std::max(dx - 0.5, -20 * sc)) *
                           std::max(0.0, std::min(dy + 0.5, 10 * sc) - std::max(dy - 0.5, -10 * sc));
        const size_t i = size_t(gy * shape.GridWidth() + gx);
        ASSERT_NEAR(shape.Coverage()[i] / 65536.0, ink, 1.5e-4) << size << " cell " << gx << "," << gy;
        const double diag = std::hypot(20 * sc, 10 * sc);
        ASSERT_NEAR(shape.Distance()[i] / 65536.0, std::hypot(dx, dy) / diag, 2e-5);
      }
  }
}

// With the rim switch off every shape is its inside test: a cell is full or empty, never a
// square of full coverage around the outline.
TEST(CPenShape, WithoutTheRimEveryShapeIsItsInsideTest) {
  CGradeMapObj map;
  CPenShape shape(&map);
  shape.SetSwitches(false, false, true);
  // Aligned: inside when the pixel centre is within the outline.
  const double x = 12.3, y = 9.8, r = 3.4;
  ASSERT_TRUE(shape.BuildAligned(int64_t(x * 65536), int64_t(y * 65536), false, int64_t(r * 65536), 100, 0));
  int32_t inside = 0;
  for (int32_t py = 4; py < 16; ++py)
    for (int32_t px = 6; px < 19; ++px) {
      const int64_t u = int64_t(px) * 65536 - int64_t(x * 65536) + 0x8000,
                    v = int64_t(py) * 65536 - int64_t(y * 65536) + 0x8000;
      const bool in = std::hypot(px + 0.5 - x, py + 0.5 - y) <= r;
      ASSERT_EQ(shape.Sample(u, v), in ? 255u * 65536u : 0u) << px << "," << py;
      inside += in;
    }
  EXPECT_GT(inside, 30);
  // Bitmap: a cell is ink when at least half of its footprint is.
  TChannel bmp(40, 20);
  FillAll8(bmp, 255);
  FillRect8(bmp, {0, 0, 20, 20}, 0);
  CPenShapeObj tip;
  ASSERT_TRUE(tip.AttachBitmap(bmp));
  for (int32_t size : {20, 100, 250}) {
    if (size != tip.SizePercent()) {
      ASSERT_TRUE(tip.SetSizePercent(size));
    }
    ASSERT_TRUE(shape.BuildBitmap(tip));
    const double sc = size / 100.0, cx = shape.CentreX16() / 65536.0, cy = shape.CentreY16() / 65536.0;
    const int32_t f = shape.Factor();
    for (int32_t gy = 0; gy < shape.GridHeight(); ++gy)
      for (int32_t gx = 0; gx < shape.GridWidth(); ++gx) {
        const double dx = (gx + 0.5) / f - cx, dy = (gy + 0.5) / f - cy;
        const double ink = std::max(0.0, std::min(dx + 0.5, 0.0) - std::max(dx - 0.5, -20 * sc)) *
                           std::max(0.0, std::min(dy + 0.5, 10 * sc) - std::max(dy - 0.5, -10 * sc));
        if (std::abs(ink - 0.5) < 1e-3) continue;  // on the threshold
        const size_t i = size_t(gy * shape.GridWidth() + gx);
        ASSERT_EQ(shape.Mask()[i], ink > 0.5 ? 255u * 65536u : 0u) << size << " cell " << gx << "," << gy;
      }
  }
}

TEST(CPenShape, RotatedBitmapTipExtentsAreTheRotatedBox) {
  TChannel bmp(40, 20);
  CPenShapeObj tip;
  ASSERT_TRUE(tip.AttachBitmap(bmp));
  tip.params.SetAngle(300);   // 30 degrees
  tip.params.SetAspect(500);  // 50 %: half height 10 -> 5
  CGradeMapObj map;
  CPenShape shape(&map);
  ASSERT_TRUE(shape.BuildBitmap(tip));
  const double c = std::cos(30 * kDeg), s = std::sin(30 * kDeg);
  EXPECT_EQ(shape.HalfWidth16(), int64_t((20 * c + 5 * s) * 65536));
  EXPECT_EQ(shape.HalfHeight16(), int64_t((20 * s + 5 * c) * 65536));
  // All black: the ink adds up to the scaled bitmap's area, 40 x 10.
  double sum = 0;
  for (uint32_t v : shape.Coverage()) sum += v / 65536.0;
  EXPECT_NEAR(sum / (shape.Factor() * shape.Factor()), 400.0, 4.0);
  // Same tip, same key: no rebuild; a new size is a new mask.
  const int64_t builds = shape.Builds();
  ASSERT_TRUE(shape.BuildBitmap(tip));
  EXPECT_EQ(shape.Builds(), builds);
  ASSERT_TRUE(tip.SetSizePercent(150));
  ASSERT_TRUE(shape.BuildBitmap(tip));
  EXPECT_EQ(shape.Builds(), builds + 1);
}

TEST(CPenShape, TipWithoutBitmapBuildsNoBitmapMask) {
  CGradeMapObj map;
  CPenShape shape(&map);
  CPenShapeObj tip;
  EXPECT_FALSE(shape.BuildBitmap(tip));
  EXPECT_FALSE(shape.IsValid());
}

}  // namespace
}  // namespace tintara
