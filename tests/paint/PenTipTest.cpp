// Pen-tip records, the density table, the tip item and the tip list.
#include <gtest/gtest.h>

#include <cmath>

#include "paint/PenTip.h"
#include "pixel/ChannelOps.h"
#include "pixel/ColorOps.h"

namespace tintara {
namespace {

TEST(PenTipParams, SettersClampEveryField) {
  struct Case {
    PenTipParams raw, expected;
  };
  const Case cases[] = {
      {{1000, 1000, 0, 1000}, {1000, 1000, 0, 1000}},
      {{5, 5, -10, 5}, {10, 10, 3590, 10}},  // below every range; angle folds
      {{99999, 2000, 3600, 2000}, {20000, 1000, 0, 1000}},
      {{INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN},
       {10, 10, int32_t((int64_t(INT32_MIN) % 3600 + 3600) % 3600), 10}},
      {{250, 500, 7250, 333}, {250, 500, 50, 333}},
  };
  for (const Case& c : cases) {
    const PenTipParams got = PenTipParams::Clamped(c.raw);
    EXPECT_EQ(got, c.expected) << c.raw.radius100 << " " << c.raw.aspect << " " << c.raw.angle;
  }
  PenTipParams p;
  p.SetAspect(250);
  EXPECT_DOUBLE_EQ(p.AspectPercent(), 25.0);
  EXPECT_EQ(p.Flatness(), 75);
}

TEST(PenTipParams, RadiusStepsAndSlider) {
  struct StepCase {
    double radius, step;
  };
  const StepCase steps[] = {{0.1, 0.1}, {19.9, 0.1}, {20.0, 1.0}, {200.0, 1.0}};
  for (const StepCase& c : steps) EXPECT_EQ(PenTipRadiusStep(c.radius), c.step) << c.radius;
  struct SliderCase {
    int32_t position;
    double radius;
  };
  // p x 20 / 40 up to 40, 20 + (p - 40) x 180 / 40 beyond; position 0 is the smallest radius.
  const SliderCase slider[] = {{0, 0.1},    {1, 0.5},    {39, 19.5}, {40, 20.0}, {41, 24.5},
                               {60, 110.0}, {80, 200.0}, {-3, 0.1},  {95, 200.0}};
  for (const SliderCase& c : slider) EXPECT_DOUBLE_EQ(PenTipSliderRadius(c.position), c.radius) << c.position;
}

TEST(DensityProfile, FlatteningAndFloorClampToPermille) {
  const DensityProfile p = DensityProfile::Clamped({7, -5, 1500});
  EXPECT_EQ(p.curve, 7);  // unknown curves are kept and read as linear
  EXPECT_EQ(p.flattening, 0);
  EXPECT_EQ(p.floor, 1000);
}

// The density of curve c at x, straight from the table of curves.
double Curve(int c, double x) {
  switch (c) {
    case 0:
      return std::sqrt(1 - x * x);
    case 1:
      return 1 - x * x;
    case 2:
      return 2 * x * x * x - 3 * x * x + 1;
    case 4:
      return std::pow(1 - x, std::log(0.3) / std::log(0.5));
    case 5:
      return 1 - std::sqrt(1 - (1 - x) * (1 - x));
    default:
      return 1 - x;
  }
}

uint32_t ExpectedEntry(const DensityProfile& p, int32_t i, int32_t n, bool second) {
  const double flat = p.flattening / 1000.0, floor = p.floor / 1000.0;
  double e = double(i) / (n - 1) - flat, d = 1;
  if (e > 0) {
    e /= 1 - flat;
    d = Curve(p.curve, second ? std::sqrt(e) : e);
  }
  return uint32_t((floor + d * (1 - floor)) * (65536.0 * 255.0));
}

TEST(CGradeMapObj, EntriesFollowTheCurveFlatteningAndFloor) {
  const DensityProfile profiles[] = {
      {0, 0, 0}, {1, 0, 0}, {2, 250, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 300}, {9, 500, 100},
  };
  for (const DensityProfile& p : profiles) {
    CGradeMapObj map;
    map.SetProfile(p);
    ASSERT_EQ(map.Count(), 2048);
    for (int32_t i : {0, 1, 511, 1023, 1024, 1500, 2046, 2047}) {
      EXPECT_EQ(map.Table()[i], ExpectedEntry(p, i, 2048, false)) << int(p.curve) << " i=" << i;
      EXPECT_EQ(map.SqrtTable()[i], ExpectedEntry(p, i, 2048, true)) << int(p.curve) << " i=" << i;
    }
  }
}

TEST(CGradeMapObj, KnownValues) {
  CGradeMapObj map(3);  // entries at x = 0, 0.5, 1
  map.SetProfile({4, 0, 0});
  // Curve 4 gives 0.3 at half the radius.
  EXPECT_NEAR(map[1] / (65536.0 * 255.0), 0.3, 1e-6);
  EXPECT_EQ(map[0], 255u * 65536u);
  EXPECT_EQ(map[2], 0u);
  // Full flattening: full density up to the rim.
  map.SetProfile({3, 1000, 0});
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(map[i], 255u * 65536u);
  // A floor of 40 % under a linear curve: 0.4 + 0.6 x (1 - x).
  map.SetProfile({3, 0, 400});
  EXPECT_EQ(map[1], uint32_t((0.4 + 0.5 * (1 - 0.4)) * (65536.0 * 255.0)));
  EXPECT_EQ(map[2], uint32_t(0.4 * (65536.0 * 255.0)));
}

TEST(CGradeMapObj, ResizeKeepsAtLeastTwoEntriesAndSetProfileRebuildsOnlyOnChange) {
  CGradeMapObj map(0);
  EXPECT_EQ(map.Count(), 2);
  EXPECT_EQ(map.Last(), 1);
  EXPECT_TRUE(map.SetProfile({1, 0, 0}));
  EXPECT_FALSE(map.SetProfile({1, 0, 0}));
  EXPECT_TRUE(map.SetProfile({1, 10, 0}));
}

TEST(CPenShapeObj, BitmapSizeRangeFromItsSides) {
  struct Case {
    int32_t w, h, min, max;
  };
  const Case cases[] = {
      {40, 20, 20, 500},   // 400 / 20, capped at 500
      {200, 200, 2, 256},  // 51200 / 200
      {1000, 600, 1, 51},
      {2, 1000, 51, 51},  // 400 / 2 = 200 would exceed the maximum: it becomes the maximum
      {1, 1, 400, 500},
  };
  for (const Case& c : cases) {
    TChannel ch(c.w, c.h);
    CPenShapeObj tip;
    ASSERT_TRUE(tip.AttachBitmap(ch));
    EXPECT_EQ(tip.SizeMin(), c.min) << c.w << "x" << c.h;
    EXPECT_EQ(tip.SizeMax(), c.max) << c.w << "x" << c.h;
    EXPECT_EQ(tip.SizePercent(), std::clamp(100, c.min, c.max));
    EXPECT_EQ(tip.LongSide(), std::max(c.w, c.h));
  }
}

TEST(CPenShapeObj, SizeOutsideTheRangeIsRefusedAndTheOldSizeStays) {
  TChannel ch(40, 20);
  CPenShapeObj tip;
  ASSERT_TRUE(tip.AttachBitmap(ch));
  EXPECT_FALSE(tip.SetSizePercent(19));
  EXPECT_FALSE(tip.SetSizePercent(501));
  EXPECT_FALSE(tip.SetSizePercent(100));  // no change
  EXPECT_EQ(tip.SizePercent(), 100);
  EXPECT_TRUE(tip.SetSizePercent(20));
  EXPECT_EQ(tip.params.radius100, 2000);
  EXPECT_TRUE(tip.SetSizePercent(500));
  EXPECT_EQ(tip.SizePercent(), 500);
}

TEST(CPenShapeObj, EmptyBitmapsAreRefused) {
  CPenShapeObj tip;
  TChannel empty;
  EXPECT_FALSE(tip.AttachBitmap(empty));
  TMTC colourEmpty;
  EXPECT_FALSE(tip.AttachBitmapFromImage(colourEmpty));
  TMTC wrongKind(4, 4);
  EXPECT_FALSE(tip.AttachBitmap(wrongKind));
  EXPECT_FALSE(tip.HasBitmap());
}

TEST(CPenShapeObj, ImageBitmapIsLuminanceAndResetsTheGeometry) {
  TMTC img(2, 1);
  img.Row32(0)[0] = 0xFF000000;
  img.Row32(0)[1] = 0xFF408020;
  CPenShapeObj tip;
  tip.params = {555, 400, 900, 200};
  const int32_t before = tip.Serial();
  ASSERT_TRUE(tip.AttachBitmapFromImage(img));
  EXPECT_NE(tip.Serial(), before);
  EXPECT_EQ(tip.bitmap.Row8(0)[0], 0);
  EXPECT_EQ(tip.bitmap.Row8(0)[1], (0x40 * 19595 + 0x80 * 38469 + 0x20 * 7472) >> 16);
  // 1 x 2 bitmap: range 400..500, size 400.
  const PenTipParams expected{400 * 100, 1000, 0, 1000};
  EXPECT_EQ(tip.params, expected);
}

TEST(CPenShapeObj, CopyTakesBitmapSizeAndSerial) {
  TChannel ch(40, 20);
  FillAll8(ch, 7);
  CPenShapeObj a;
  a.name = "tip";
  ASSERT_TRUE(a.AttachBitmap(ch));
  ASSERT_TRUE(a.SetSizePercent(250));
  CPenShapeObj b;
  ASSERT_TRUE(b.CopyFrom(a));
  EXPECT_EQ(b.Serial(), a.Serial());
  EXPECT_EQ(b.SizePercent(), 250);
  EXPECT_EQ(b.name, "tip");
  ASSERT_TRUE(b.HasBitmap());
  EXPECT_EQ(b.bitmap.Row8(5)[5], 7);
  b.DropBitmap();
  EXPECT_NE(b.Serial(), a.Serial());
  EXPECT_TRUE(a.HasBitmap());
}

TEST(CPenShapeObj, RecordPartsAreOptionalAndClamped) {
  CPenShapeObj tip;
  EXPECT_FALSE(tip.valid);
  const PenTipParams raw{-1, 5000, 3700, 0};
  tip.SetRecord(nullptr, &raw, nullptr);
  EXPECT_TRUE(tip.valid);
  const PenTipParams clamped{10, 1000, 100, 10};
  EXPECT_EQ(tip.params, clamped);
  EXPECT_EQ(tip.profile, DensityProfile{});
  const int32_t hard = 5;
  tip.SetRecord(nullptr, nullptr, &hard);
  EXPECT_EQ(tip.hardEdge, 1);
}

TEST(CPenShapeMngr, BuiltInTips) {
  struct Row {
    uint8_t curve;
    int32_t flattening, radius100, minimum;
  };
  // Item: curve, flattening %, radius, minimum % (aspect 100 %, angle 0, floor 0, anti-aliased).
  const Row rows[] = {{3, 1000, 100, 750}, {3, 1000, 1600, 333}, {3, 1000, 1200, 1000}, {3, 0, 1200, 1000},
                      {3, 0, 3000, 600},   {3, 0, 1500, 600},    {0, 0, 2500, 600}};
  CPenShapeMngr list;
  list.FillBuiltIn();
  ASSERT_EQ(list.Count(), 7);
  EXPECT_EQ(list.CurrentIndex(), 0);
  for (int32_t i = 0; i < 7; ++i) {
    const CPenShapeObj& t = *list.At(i);
    EXPECT_TRUE(t.valid);
    EXPECT_TRUE(t.name.empty());
    EXPECT_EQ(t.profile.curve, rows[i].curve) << i;
    EXPECT_EQ(t.profile.flattening, rows[i].flattening) << i;
    EXPECT_EQ(t.profile.floor, 0);
    EXPECT_EQ(t.params.radius100, rows[i].radius100) << i;
    EXPECT_EQ(t.params.aspect, 1000);
    EXPECT_EQ(t.params.angle, 0);
    EXPECT_EQ(t.params.minimum, rows[i].minimum) << i;
    EXPECT_EQ(t.hardEdge, 0);
  }
}

TEST(CPenShapeMngr, IndicesOutsideTheListAreRefused) {
  CPenShapeMngr list;
  EXPECT_EQ(list.Current(), nullptr);
  EXPECT_FALSE(list.Select(0));
  EXPECT_FALSE(list.Delete(0));
  list.FillBuiltIn();
  CPenShapeObj extra;
  extra.name = "x";
  EXPECT_EQ(list.Insert(8, extra), -1);
  EXPECT_EQ(list.Insert(-1, extra), -1);
  EXPECT_EQ(list.Insert(7, extra), 7);
  EXPECT_EQ(list.At(7)->name, "x");
  EXPECT_FALSE(list.Select(8));
  EXPECT_TRUE(list.Select(7));
  // Deleting the last item while it is current moves the current index onto the new last.
  EXPECT_TRUE(list.Delete(7));
  EXPECT_EQ(list.CurrentIndex(), 6);
  // Inserting before the current item keeps the same item current.
  EXPECT_EQ(list.Insert(0, extra), 0);
  EXPECT_EQ(list.CurrentIndex(), 7);
  list.Clear();
  EXPECT_EQ(list.CurrentIndex(), -1);
}

}  // namespace
}  // namespace tintara
