// Screentones: spot shapes, the generator's repeat search and thresholds, seamless tiling
// at every angle, the pattern classes and the tone list.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "paint/Tone.h"
#include "pixel/ChannelOps.h"
#include "platform/Memory.h"

namespace tintara {
namespace {

TEST(ToneShapes, SpotValuesAndNames) {
  struct Case {
    int32_t shape;
    double u, v, expected;
  };
  const Case cases[] = {
      {kToneRound, 0, 0, 1},
      {kToneRound, 0.9, 0.8, 0.01 + 0.04 - 1},
      {kToneRound, 0.5, -0.4, 0.59},
      {kToneDot, 0.5, 0.5, 0.5},
      {kToneDotCos, 0, 1, 0},
      {kToneDotCos, 0, 0, 1},
      {kToneLine, -0.3, 0.9, -0.3},
      {kToneLineX, 0.7, 0.2, 0.2},
      {kToneLineY, 0.7, 0.2, 0.7},
      {kToneSquare, 0.2, -0.7, -0.7},
      {kToneCross, 0.2, -0.7, -0.2},
      {kToneDiamond, 0.2, 0.3, 0.87},
      {kToneDiamond, 0.6, 0.4, 0.06},
      {kToneDiamond, 0.9, 0.9, 0.01 + 0.01 - 1},
      {kToneRhomboid, 0.4, -0.2, 0.29},
  };
  for (const Case& c : cases) EXPECT_NEAR(ToneSpot(c.shape, c.u, c.v), c.expected, 1e-12) << c.shape;
  EXPECT_STREQ(ToneShapeName(0), "Round");
  EXPECT_STREQ(ToneShapeName(9), "Rhomboid");
  EXPECT_STREQ(ToneShapeName(10), "???");
  EXPECT_STREQ(ToneShapeName(-1), "???");
}

TEST(SToneAttr, ValidationAndCellSize) {
  SToneAttr t;
  EXPECT_TRUE(t.IsValid());
  EXPECT_NEAR(t.CellSize(), 5.4545, 1e-4);  // 300 dpi at 55 lines
  struct Case {
    float dpi, lpi;
    int32_t shape, density, angle, softness;
    bool ok;
  };
  const Case cases[] = {
      {71, 20, 0, 10, 0, 0, false},   {601, 20, 0, 10, 0, 0, false},   {300, 101, 0, 10, 0, 0, false},
      {300, 100, 0, 10, 0, 0, true},  {300, 2.3f, 0, 10, 0, 0, false}, {300, 0, 0, 10, 0, 0, false},
      {NAN, 55, 0, 10, 0, 0, false},  {300, 55, 10, 10, 0, 0, false},  {300, 55, 0, 0, 0, 0, false},
      {300, 55, 0, 99, 91, 0, false}, {300, 55, 0, 99, 90, 41, false}, {300, 55, 9, 99, 90, 40, true},
  };
  for (const Case& c : cases) {
    SToneAttr a;
    a.dpi = c.dpi, a.lpi = c.lpi, a.shape = c.shape, a.density = c.density, a.angle = c.angle;
    a.softness = c.softness;
    EXPECT_EQ(a.IsValid(), c.ok) << c.dpi << " " << c.lpi << " " << c.shape;
  }
  int32_t lo, hi;
  t.ScaleRange(lo, hi);
  EXPECT_EQ(lo, 64);   // 55 x 350 / 300
  EXPECT_EQ(hi, 200);  // 55 x 12750 / 300 = 2337, capped
}

TEST(SToneAttr, ScaleRangeStaysInsideItsLimitsForAnyRuling) {
  struct Case {
    float dpi, lpi;
    int32_t min, max;
  };
  const Case cases[] = {
      {300, 55, 64, 200},      // 55 x 350 / 300, 55 x 12750 / 300 capped
      {600, 5, 2, 106},        // 5 x 350 / 600 = 2.9, 5 x 12750 / 600 = 106.25
      {72, 0.6f, 2, 106},      // one cell of 120 pixels
      {300, 1e30f, 100, 200},  // absurd rulings are clamped before they are converted
      {300, -4, 1, 100},      {300, NAN, 1, 100}, {0, 55, 100, 200},  // no DPI: the smallest one stands in
  };
  for (const Case& c : cases) {
    SToneAttr a;
    a.dpi = c.dpi;
    a.lpi = c.lpi;
    int32_t lo = -1, hi = -1;
    a.ScaleRange(lo, hi);
    EXPECT_EQ(lo, c.min) << c.dpi << " " << c.lpi;
    EXPECT_EQ(hi, c.max) << c.dpi << " " << c.lpi;
  }
}

TEST(CToneMaker, RefusesBadInputAndKeepsTheOldTone) {
  CToneMaker m;
  ASSERT_TRUE(m.Setup(kToneRound, 0, 30, 45, 300.0 / 55));
  const int32_t w = m.BrickWidth();
  EXPECT_FALSE(m.Setup(kToneRound, 0, 30, 0, 2.9));
  EXPECT_FALSE(m.Setup(kToneRound, 0, 30, 0, 128.5));
  EXPECT_FALSE(m.Setup(kToneRound, 0, 30, -1, 10));
  EXPECT_FALSE(m.Setup(kToneRound, 0, 30, 91, 10));
  EXPECT_FALSE(m.Setup(10, 0, 30, 0, 10));
  EXPECT_FALSE(m.Setup(kToneRound, 0, 30, 0, NAN));
  EXPECT_TRUE(m.IsValid());
  EXPECT_EQ(m.BrickWidth(), w);
}

TEST(CToneMaker, At45DegreesTheRepeatIsAnIntegerTile) {
  CToneMaker m;
  ASSERT_TRUE(m.Setup(kToneRound, 0, 50, 45, 300.0 / 55));
  // 7 cells of 5.4545 along the diagonal: 7 x 3.857 = 26.9987, within 0.05 of 27 both ways.
  EXPECT_EQ(m.Repeat(), 7);
  EXPECT_EQ(m.TileA(), 27);
  EXPECT_EQ(m.TileB(), 27);
  EXPECT_NEAR(m.RealAngle(), 45.0, 1e-12);
  EXPECT_NEAR(m.RealCellSize(), std::hypot(27, 27) / 7, 1e-12);
}

TEST(CToneMaker, BrickIsThePlainTileAtRightAnglesAndTheDiagonal) {
  for (int32_t angle : {0, 45, 90}) {
    CToneMaker m;
    ASSERT_TRUE(m.Setup(kToneRound, 0, 50, angle, 300.0 / 55));
    EXPECT_EQ(m.BrickWidth(), m.TileA() + m.TileB()) << angle;
    EXPECT_EQ(m.BrickHeight(), std::max(m.TileA(), m.TileB())) << angle;
  }
}

TEST(CToneMaker, HalfDensityInksHalfTheBrick) {
  for (int32_t shape = 0; shape < kToneShapeCount; ++shape) {
    CToneMaker m;
    ASSERT_TRUE(m.Setup(shape, 0, 50, 0, 300.0 / 55));
    const TChannel& t = m.Tile();
    int64_t ink = 0;
    for (int32_t y = 0; y < t.Height(); ++y)
      for (int32_t x = 0; x < t.Width(); ++x) ink += t.Row8(y)[x] == 0;
    const double share = double(ink) / (double(t.Width()) * t.Height());
    // Ties at the threshold may ink a few more; line shapes tie by whole columns.
    EXPECT_GE(share, 0.49) << shape;
    EXPECT_LE(share, 0.60) << shape;
  }
}

TEST(CToneMaker, SoftnessRampsBetweenTheNeighbouringLevels) {
  CToneMaker m;
  ASSERT_TRUE(m.Setup(kToneDot, 10, 30, 30, 12.5));
  const double lower = m.Threshold(20), upper = m.Threshold(40);
  ASSERT_LT(lower, upper);
  const TChannel& t = m.Tile();
  int32_t ramped = 0;
  for (int32_t y = 0; y < t.Height(); ++y)
    for (int32_t x = 0; x < t.Width(); ++x) {
      const double v = m.SpotAt(x, y);
      const int32_t expected = v <= lower   ? 0
                               : v >= upper ? 255
                                            : int32_t((v - lower) * 255.0 / (upper - lower));
      ASSERT_EQ(t.Row8(y)[x], expected) << x << "," << y;
      ramped += expected > 0 && expected < 255;
    }
  EXPECT_GT(ramped, 0);
  // Thresholds are the sorted spot values at i x N / 100.
  std::vector<double> all;
  for (int32_t y = 0; y < t.Height(); ++y)
    for (int32_t x = 0; x < t.Width(); ++x) all.push_back(m.SpotAt(x, y));
  std::sort(all.begin(), all.end());
  for (int32_t i : {0, 20, 30, 40, 100})
    EXPECT_EQ(m.Threshold(i), all[std::min(size_t(i) * all.size() / 100, all.size() - 1)]) << i;
}

TEST(CToneMaker, SharedThresholdsWidenTheStepsWithoutSoftness) {
  // A line tone: whole columns share each value, so neighbouring levels share thresholds.
  CToneMaker m;
  ASSERT_TRUE(m.Setup(kToneLineY, 0, 50, 0, 4.0));
  // Without softness lower = upper: every pixel is 0 or 255, nothing in between.
  const TChannel& t = m.Tile();
  for (int32_t y = 0; y < t.Height(); ++y)
    for (int32_t x = 0; x < t.Width(); ++x) ASSERT_TRUE(t.Row8(y)[x] == 0 || t.Row8(y)[x] == 255);
  EXPECT_GT(m.SharedBelow(50) + m.SharedAbove(50), 0);
}

// The sampled tone at every pixel of a region three tiles wide and high, against the spot
// function evaluated at that pixel directly and thresholded: a seam would show as a band of
// pixels that disagree.
TEST(CToneMaker, TileRepeatsWithoutASeam) {
  const double cell = 300.0 / 55;
  for (int32_t angle : {0, 30, 45, 75}) {
    for (int32_t shape : {kToneRound, kToneDiamond}) {
      CToneMaker m;
      ASSERT_TRUE(m.Setup(shape, 4, 40, angle, cell));
      const int32_t a = m.TileA(), b = m.TileB();
      const double c = std::hypot(double(a), double(b)), sn = a / c, cs = b / c, rc = m.RealCellSize();
      const int32_t w = 3 * (a + b), h = 3 * std::max(a, b), x0 = -(a + b), y0 = -std::max(a, b);
      auto spot = [&](double X, double Y) {
        const double g = (X * cs - Y * sn) / rc, e = (X * sn + Y * cs) / rc;
        return -ToneSpot(shape, 2 * (e - std::floor(e)) - 1, 2 * (g - std::floor(g)) - 1);
      };
      std::vector<double> raw(size_t(w) * size_t(h));
      std::vector<bool> jump(raw.size());
      double lo = 1e300, hi = -1e300;
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
          const double X = x + x0 + 0.5, Y = y + y0 + 0.5;
          const double v = spot(X, Y);
          const size_t i = size_t(y) * size_t(w) + size_t(x);
          raw[i] = v;
          // The shapes themselves jump where their pieces meet (the round dot at |u| + |v| = 1);
          // a pixel sitting on such an edge can go either way.
          jump[i] = false;
          for (const double d : {-1e-7, 1e-7})
            jump[i] = jump[i] || std::abs(spot(X + d, Y) - v) > 1e-4 || std::abs(spot(X, Y + d) - v) > 1e-4;
          lo = std::min(lo, v), hi = std::max(hi, v);
        }
      const int32_t below = std::min(std::max(m.SharedBelow(40), 4), 40);
      const int32_t above = std::min(std::max(m.SharedAbove(40), 4), 60);
      const double lower = m.Threshold(40 - below), upper = m.Threshold(40 + above);
      int32_t checked = 0;
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
          const size_t i = size_t(y) * size_t(w) + size_t(x);
          const double v = (raw[i] - lo) / (hi - lo);
          if (jump[i] || std::abs(v - lower) < 1e-6 || std::abs(v - upper) < 1e-6) continue;  // on an edge
          const int32_t tile = v <= lower   ? 0
                               : v >= upper ? 255
                                            : int32_t((v - lower) * 255.0 / (upper - lower));
          const int32_t got = 255 - m.Sample(x + x0, y + y0);
          ASSERT_NEAR(got, tile, 1) << "angle " << angle << " shape " << shape << " at " << x + x0 << ","
                                    << y + y0;
          ++checked;
        }
      EXPECT_GT(checked, w * h * 9 / 10);
      // And the lattice itself: one tile vector further along either axis is the same pixel.
      for (int32_t y = y0; y < y0 + h; y += 7)
        for (int32_t x = x0; x < x0 + w; x += 5) {
          ASSERT_EQ(m.Sample(x + b, y - a), m.Sample(x, y));
          ASSERT_EQ(m.Sample(x + a, y + b), m.Sample(x, y));
        }
    }
  }
}

TEST(CToneMaker, RenderPlacesTheOrigin) {
  CToneMaker m;
  ASSERT_TRUE(m.Setup(kToneRound, 0, 30, 30, 7.0));
  TChannel ch(20, 10);
  m.Render(ch, -5, 12);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 20; ++x) ASSERT_EQ(ch.Row8(y)[x], m.Sample(x - 5, y + 12));
}

// --- patterns and the list -------------------------------------------------------------------

TChannel Ramp(int32_t w, int32_t h) {
  TChannel ch(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) ch.Row8(y)[x] = uint8_t(y * w + x);
  return ch;
}

TEST(CPat8, SamplesWrapWithTheOffsetAndInvert) {
  CPat8 p;
  ASSERT_TRUE(p.SetChannel(Ramp(4, 3)));
  p.offsetX = 1;
  p.offsetY = 2;
  struct Case {
    int32_t x, y;
    uint8_t expected;
  };
  // Channel pixel ((x + 1) mod 4, (y + 2) mod 3), value row * 4 + column.
  const Case cases[] = {{0, 0, 9}, {3, 0, 8}, {-1, 0, 8}, {-2, -1, 7}, {5, 4, 2}, {-9, -7, 4}};
  for (const Case& c : cases) EXPECT_EQ(p.Sample(c.x, c.y), c.expected) << c.x << "," << c.y;
  uint8_t row[9];
  p.SampleRow(-3, -1, 9, row);
  for (int32_t i = 0; i < 9; ++i) EXPECT_EQ(row[i], p.Sample(-3 + i, -1));
  p.invert = true;
  EXPECT_EQ(p.Sample(0, 0), 255 - 9);
  p.SampleRow(-3, -1, 9, row);
  for (int32_t i = 0; i < 9; ++i) EXPECT_EQ(row[i], p.Sample(-3 + i, -1));
}

TEST(CPat8Tone, GeneratedToneSubtractsItsOffsetAndInverts) {
  SToneAttr a;
  a.angle = 30;
  a.density = 40;
  CToneMaker maker;
  CPat8Tone t;
  ASSERT_TRUE(t.Generate(a, maker));
  EXPECT_EQ(t.name, a.AutomaticName());
  t.offsetX = 3;
  t.offsetY = -2;
  for (int32_t y = -4; y < 4; ++y)
    for (int32_t x = -4; x < 4; ++x) ASSERT_EQ(t.Sample(x, y), maker.Sample(x - 3, y + 2));
  uint8_t row[40];
  t.SampleRow(-20, 5, 40, row);
  for (int32_t i = 0; i < 40; ++i) ASSERT_EQ(row[i], maker.Sample(-20 + i - 3, 7));
  t.invert = true;
  for (int32_t x = 0; x < 8; ++x) ASSERT_EQ(t.Sample(x, 0), 255 - maker.Sample(x - 3, 2));
  SToneAttr bad = a;
  bad.lpi = 1;
  EXPECT_FALSE(t.Generate(bad, maker));
  EXPECT_EQ(t.attr.lpi, a.lpi);
}

TEST(CToneMngr, BuiltInDotPatterns) {
  CToneMngr list;
  list.FillBuiltIn();
  ASSERT_EQ(list.Count(), 2);
  const CPatObj* fine = list.At(0);
  const CPatObj* coarse = list.At(1);
  EXPECT_EQ(fine->width, 64);
  EXPECT_EQ(coarse->height, 64);
  // Discs of radius 2 every 8 pixels from (4, 4); radius 3 every 16 from (8, 8).
  EXPECT_EQ(fine->Sample(3, 3), 255);
  EXPECT_EQ(fine->Sample(12, 11), 255);
  EXPECT_EQ(fine->Sample(0, 0), 0);
  EXPECT_EQ(fine->Sample(8, 4), 0);
  EXPECT_EQ(coarse->Sample(7, 7), 255);
  EXPECT_EQ(coarse->Sample(23, 24), 255);
  EXPECT_EQ(coarse->Sample(15, 8), 0);
}

TEST(CToneMngr, ApplyMultipliesByTheWorkingToneOrPassesWithoutOne) {
  CToneMngr list;
  EXPECT_EQ(list.Apply(3, 4, 200), 200);
  ASSERT_EQ(list.AddBitmap(Ramp(4, 3), 100, 0, 0), 0);
  list.Select(0);
  list.SetOrigin(1, 1);
  // Tone at (x + 1, y + 1): pixel (3, 1) of the ramp = 7.
  EXPECT_EQ(list.Apply(2, 0, 200), Mul8(200, 7));
  uint8_t cov[6] = {255, 255, 255, 100, 0, 255};
  list.ApplyRow(-1, 1, 6, cov);
  for (int32_t i = 0; i < 6; ++i) {
    const uint8_t original[6] = {255, 255, 255, 100, 0, 255};
    EXPECT_EQ(cov[i], Mul8(original[i], list.Working()->Sample(-1 + i + 1, 2))) << i;
  }
  ASSERT_TRUE(list.SetInvert(true));
  EXPECT_EQ(list.Apply(2, 0, 255), Mul8(255, 255 - 7));
  list.Clear();
  EXPECT_EQ(list.Apply(2, 0, 99), 99);
}

TEST(CToneMngr, SelectionFollowsDeletes) {
  CToneMngr list;
  for (int32_t i = 0; i < 4; ++i) ASSERT_EQ(list.AddBitmap(Ramp(4, 4), 100, 0, 0, std::to_string(i)), i);
  list.Select(9);
  EXPECT_EQ(list.SelectedIndex(), 3);  // clamped
  list.Select(-4);
  EXPECT_EQ(list.SelectedIndex(), 0);
  list.Select(1);
  EXPECT_TRUE(list.Delete(0));  // before the selection: same item stays selected
  EXPECT_EQ(list.Selected()->name, "1");
  EXPECT_TRUE(list.Delete(0));  // the selected one: its successor
  EXPECT_EQ(list.Selected()->name, "2");
  EXPECT_EQ(list.Working()->name, "2");
  list.Select(1);
  EXPECT_TRUE(list.Delete(1));  // the selected last one: the new last
  EXPECT_EQ(list.Selected()->name, "2");
  EXPECT_FALSE(list.Delete(5));
  EXPECT_TRUE(list.Delete(0));
  EXPECT_EQ(list.SelectedIndex(), -1);
  EXPECT_EQ(list.Working(), nullptr);
}

TEST(CToneMngr, WorkingToneFollowsTheScale) {
  CToneMngr list;
  TChannel ch = Ramp(10, 10);
  ASSERT_EQ(list.AddBitmap(ch, 100, 0, 0), 0);
  list.Select(0);
  ASSERT_TRUE(list.SetScale(200));
  ASSERT_EQ(list.Working()->width, 20);
  // Doubling spreads each pixel over 2 x 2.
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) ASSERT_EQ(list.Working()->Sample(x, y), ch.Row8(y / 2)[x / 2]);
  EXPECT_EQ(list.Working()->scale, 100);
  EXPECT_EQ(list.Selected()->scale, 200);

  SToneAttr a;
  ASSERT_EQ(list.AddTone(a), 1);
  list.Select(1);
  const int32_t w100 = list.Working()->width;
  ASSERT_TRUE(list.SetScale(150));
  const auto* working = static_cast<const CPat8Tone*>(list.Working());
  CToneMaker reference;
  ASSERT_TRUE(reference.Setup(a.shape, a.softness, a.density, a.angle, 300.0 * 1.5 / 55));
  EXPECT_EQ(working->width, reference.BrickWidth());
  EXPECT_NE(working->width, w100);
  for (int32_t x = 0; x < 30; ++x) ASSERT_EQ(working->Sample(x, 3), reference.Sample(x, 3));
}

TEST(CToneMngr, RunningOutOfMemoryLeavesTheListAndTheSelectionUnchanged) {
  CToneMngr list;
  SToneAttr a;
  ASSERT_EQ(list.AddTone(a), 0);
  list.Select(0);
  const uint8_t sample = list.Working()->Sample(3, 4);
  SToneAttr b = a;
  b.angle = 30;
  b.lpi = 40;
  const TChannel ramp = Ramp(4, 4);
  {
    ScopedAllocFailure fail(0);
    EXPECT_EQ(list.AddTone(b), -1);
    EXPECT_EQ(list.AddBitmap(ramp, 100, 0, 0), -1);
    EXPECT_FALSE(list.ReplaceTone(0, b));
  }
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(static_cast<const CPat8Tone*>(list.At(0))->attr.angle, 0);
  EXPECT_EQ(list.SelectedIndex(), 0);
  EXPECT_EQ(list.Working()->Sample(3, 4), sample);
  // And the shared generator still makes the tone it was asked for afterwards.
  ASSERT_EQ(list.AddTone(b), 1);
  CToneMaker reference;
  ASSERT_TRUE(reference.Setup(b.shape, b.softness, b.density, b.angle, 300.0 / 40));
  for (int32_t x = 0; x < 20; ++x) ASSERT_EQ(list.At(1)->Sample(x, 2 * x), reference.Sample(x, 2 * x));
}

TEST(CToneMngr, ReplaceRenameAndCopy) {
  CToneMngr list;
  SToneAttr a;
  ASSERT_EQ(list.AddTone(a), 0);
  EXPECT_EQ(list.At(0)->name, a.AutomaticName());
  SToneAttr b = a;
  b.angle = 45;
  b.shape = kToneSquare;
  ASSERT_TRUE(list.ReplaceTone(0, b));
  EXPECT_EQ(static_cast<const CPat8Tone*>(list.At(0))->attr.angle, 45);
  EXPECT_EQ(list.At(0)->name, b.AutomaticName());
  SToneAttr bad = b;
  bad.dpi = 10;
  EXPECT_FALSE(list.ReplaceTone(0, bad));
  EXPECT_EQ(list.AddTone(bad), -1);
  EXPECT_EQ(list.Count(), 1);
  ASSERT_TRUE(list.Rename(0, "mine"));
  ASSERT_EQ(list.CopyItem(0), 1);
  EXPECT_EQ(list.At(1)->name, "mine");
  for (int32_t x = 0; x < 20; ++x) EXPECT_EQ(list.At(1)->Sample(x, x), list.At(0)->Sample(x, x));
  EXPECT_EQ(list.CopyItem(7), -1);
}

}  // namespace
}  // namespace tintara
