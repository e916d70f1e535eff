// Strokes: where the dabs of each engine fall for fixed sample sequences (recorded through a
// fake renderer, the expected values worked out from the stepping rules here), and a stroke
// on a real paper from begin to undo.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "document/Mask.h"
#include "paint/PenMethod.h"
#include "paint/StrokeMngr.h"
#include "pixel/ChannelOps.h"
#include "pixel/ColorOps.h"

namespace tintara {
namespace {

struct Dab {
  double x, y, size, pressure;
};

// Records the dabs the stepping asks for; sizes as a procedural tip of radius B would give.
struct FakeRenderer : IStrokeRenderer {
  double B = 20, minimumShare = 0.2;
  std::vector<Dab> dabs;
  std::vector<float> opacities;
  std::vector<bool> minorAxis;
  bool minor = false;
  int32_t begins = 0, finishes = 0;

  void BeginStroke(StrokeEngine, TStroke&, const SPenSurface&, float, float) override { ++begins; }
  double MaximumSize() const override { return B; }
  double MinimumSize(double maximum) const override { return maximum * minimumShare; }
  double SpacingTerm(double spacing) const override { return spacing * B; }
  void DabExtent(double size, int32_t& w, int32_t& h) const override { w = h = int32_t(std::ceil(size)); }
  void SetMinorAxis(bool on) override { minor = on; }
  bool BrushDab(const SPenSurface&, float x, float y, float pressure, float opacity, float size) override {
    dabs.push_back({x, y, size, pressure});
    opacities.push_back(opacity);
    minorAxis.push_back(minor);
    return true;
  }
  bool OldPenDab(const SPenSurface&, TStroke&, float x, float y, float size, float pressure) override {
    dabs.push_back({x, y, size, pressure});
    return true;
  }
  bool LegacyDab(const SPenSurface&, TStroke&, float x, float y, float pressure) override {
    dabs.push_back({x, y, 0, pressure});
    return true;
  }
  bool UsesChannel(StrokeEngine, const TStroke&) const override { return false; }
  void Composite(StrokeEngine, const SPenSurface&, TStroke&, const SPixRect&) override {}
  void SetMask(const CMaskData*, int32_t, int32_t) override {}
  void Finish() override { ++finishes; }
};

// A white opaque 64 x 48 paper at the given level with its stroke manager.
struct Bench {
  TPaper paper;
  TFlowImage flow{paper};
  TStroke stroke;
  FakeRenderer fake;
  CStrokeMngr mngr{paper, flow, stroke, fake};

  explicit Bench(int32_t level = 2, int32_t w = 64, int32_t h = 48) {
    paper.SetLevel(level);
    EXPECT_TRUE(paper.NewPaper("t", flow, false, false, 72, h, w));
  }
  // Begin with the first sample, continue with the rest, pen-up at the last position.
  void Draw(const std::vector<StrokeSample>& s, StrokeEngine engine = StrokeEngine::kManager) {
    ASSERT_TRUE(mngr.Begin(engine, s[0], false));
    for (size_t i = 1; i < s.size(); ++i) mngr.Continue(s[i], false);
    mngr.PenUp(s.back().x, s.back().y, false);
  }
};

void ExpectDabs(const std::vector<Dab>& got, const std::vector<Dab>& want, const char* what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_NEAR(got[i].x, want[i].x, 1e-3) << what << " dab " << i;
    EXPECT_NEAR(got[i].y, want[i].y, 1e-3) << what << " dab " << i;
    EXPECT_NEAR(got[i].size, want[i].size, 1e-3) << what << " dab " << i;
    EXPECT_NEAR(got[i].pressure, want[i].pressure, 1e-3) << what << " dab " << i;
  }
}

// The brush engine's stepping as the rules state it, step by step with the position and
// pressure advanced by repeated addition.
std::vector<Dab> ReferenceBrush(const std::vector<StrokeSample>& in, bool smooth, const StrokeParams& p,
                                double B, double share) {
  std::vector<StrokeSample> s = in;
  s.push_back({in.back().x, in.back().y, 0.0f});  // pen-up
  double hx[3], hy[3], hp[3];
  for (int i = 0; i < 3; ++i) hx[i] = s[0].x, hy[i] = s[0].y, hp[i] = 0;
  std::vector<Dab> out;
  int64_t counter = 0;
  const double D = p.pressureSize ? B * share : B;
  for (size_t i = 1; i < s.size(); ++i) {
    for (int k = 2; k > 0; --k) hx[k] = hx[k - 1], hy[k] = hy[k - 1], hp[k] = hp[k - 1];
    hx[0] = s[i].x, hy[0] = s[i].y, hp[0] = s[i].pressure;
    if (smooth) hx[1] = (hx[0] + hx[2]) / 2, hy[1] = (hy[0] + hy[2]) / 2, hp[1] = (hp[0] + hp[2]) / 2;
    const double v2 = std::pow(hp[2], p.gamma / 100.0), v1 = std::pow(hp[1], p.gamma / 100.0);
    double dx = hx[1] - hx[2], dy = hy[1] - hy[2], dv = v1 - v2;
    const double h = std::max(std::abs(dx), std::abs(dy));
    if (h == 0) continue;
    if (h >= 1) dx /= h, dy /= h, dv /= h;
    double n = std::ceil(h);
    const double E = D + (B - D) * v2, F = D + (B - D) * v1;
    int64_t H = std::max<int64_t>(1, int64_t(std::ceil(p.spacing / 1000.0 * B)));
    if (E < p.fullDensity || F < p.fullDensity) H = 1;
    if (E < p.subdivision || F < p.subdivision) {
      const double parts = std::min(E, F) <= 0.7 ? 3 : 2;
      n *= parts, dx /= parts, dy /= parts, dv /= parts;
    }
    double x = hx[2] + 0.25, y = hy[2] + 0.25, v = v2;
    for (int64_t k = 0; k < int64_t(n); ++k) {
      if (counter % H == 0) out.push_back({x, y, D + (B - D) * v, p.pressureOpacity ? v : 1.0});
      x += dx, y += dy, v = std::clamp(v + dv, 0.0, 1.0);
      ++counter;
    }
  }
  return out;
}

StrokeParams PressureParams() {
  StrokeParams p;
  p.pressureSize = p.pressureOpacity = 1;
  return p;
}

// --- brush engine ----------------------------------------------------------------------------

// Three samples along a row at full pressure, B = 20, minimum 4 (pressure size), spacing 10 %:
// the dab interval is ceiling(0.1 x 20) = 2 unit steps.
TEST(BrushStepping, StraightLineWithoutSmoothingLagsOneSampleAndSwellsFromZero) {
  Bench b;
  b.mngr.SetParams(PressureParams());
  b.mngr.SetInterpolationMode(0);
  b.Draw({{10, 10, 1}, {20, 10, 1}, {30, 10, 1}});
  // Segment 1 is (10,10,0) -> (10,10,0): nothing. Segment 2 (10,10,0) -> (20,10,1): steps of
  // (1, 0, 0.1), dabs at the even steps, size 4 + 16 v. Segment 3 (20,10,1) -> (30,10,1) runs
  // on from step 10, every size 20. The pen-up segment itself is never drawn.
  std::vector<Dab> want;
  for (int k = 0; k < 10; k += 2) want.push_back({10.25 + k, 10.25, 4 + 16 * 0.1 * k, 0.1 * k});
  for (int k = 0; k < 10; k += 2) want.push_back({20.25 + k, 10.25, 20, 1});
  ExpectDabs(b.fake.dabs, want, "straight");
  EXPECT_EQ(b.mngr.UnitSteps(), 20);
  EXPECT_EQ(b.mngr.DabCount(), 10);
}

TEST(BrushStepping, SmoothingDrawsTheRunningMidpointAndTheCounterRunsAcrossJoins) {
  Bench b;
  b.mngr.SetParams(PressureParams());
  b.Draw({{10, 10, 1}, {20, 10, 1}, {30, 10, 1}});
  // Segments: (10,10,0) -> (15,10,0.5), 5 steps; (15,10,0.5) -> (22.5,10,0.75), 8 steps of
  // 1/30 pressure from counter 5; pen-up: (22.5,10,0.75) -> (26.25,10,0.375), 4 steps from
  // counter 13. Dabs where the counter is even.
  const std::vector<Dab> want = {
      {10.25, 10.25, 4, 0},
      {12.25, 10.25, 4 + 16 * 0.2, 0.2},
      {14.25, 10.25, 4 + 16 * 0.4, 0.4},
      {16.25, 10.25, 4 + 16 * (0.5 + 1 / 30.0), 0.5 + 1 / 30.0},  // counter 6
      {18.25, 10.25, 4 + 16 * (0.5 + 3 / 30.0), 0.5 + 3 / 30.0},
      {20.25, 10.25, 4 + 16 * (0.5 + 5 / 30.0), 0.5 + 5 / 30.0},
      {22.25, 10.25, 4 + 16 * (0.5 + 7 / 30.0), 0.5 + 7 / 30.0},
      {23.75, 10.25, 4 + 16 * 0.65, 0.65},  // counter 14
      {25.75, 10.25, 4 + 16 * 0.45, 0.45},
  };
  ExpectDabs(b.fake.dabs, want, "smoothed");
  EXPECT_EQ(b.mngr.UnitSteps(), 17);
}

TEST(BrushStepping, SampleSequencesMatchTheRules) {
  struct Case {
    const char* name;
    std::vector<StrokeSample> samples;
    bool smooth;
    StrokeParams params;
    double B;
  };
  std::vector<StrokeSample> curve, seventeen, ramp;
  for (int i = 0; i <= 12; ++i) {
    const double a = i * 0.25;
    curve.push_back({float(32 + 14 * std::cos(a)), float(24 + 14 * std::sin(a)), 1.0f});
  }
  for (int i = 0; i < 17; ++i)
    seventeen.push_back({float(5 + i * 3.5), float(40 - i * 1.25), float(0.3 + 0.04 * i)});
  for (int i = 0; i <= 10; ++i) ramp.push_back({float(4 + 5 * i), 20.0f, float(i / 10.0)});
  StrokeParams plain;  // no pressure size or opacity
  StrokeParams gamma = PressureParams();
  gamma.gamma = 250;
  StrokeParams sparse = PressureParams();
  sparse.SetSpacing(500);
  StrokeParams dense = PressureParams();
  dense.fullDensity = 8;  // below size 8 at either end every unit step has a dab
  const Case cases[] = {
      {"curve smoothed", curve, true, PressureParams(), 6},
      {"curve straight", curve, false, PressureParams(), 6},
      {"17 samples", seventeen, true, PressureParams(), 12},
      {"17 samples plain", seventeen, true, plain, 12},
      {"pressure ramp gamma 2.5", ramp, true, gamma, 10},
      {"pressure ramp spacing 50 %", ramp, false, sparse, 10},
      {"pressure ramp full density", ramp, true, dense, 20},
  };
  for (const Case& c : cases) {
    Bench b;
    b.fake.B = c.B;
    b.mngr.SetParams(c.params);
    b.mngr.SetInterpolationMode(c.smooth ? 1 : 0);
    b.Draw(c.samples);
    ExpectDabs(b.fake.dabs, ReferenceBrush(c.samples, c.smooth, c.params, c.B, 0.2), c.name);
  }
}

TEST(BrushStepping, SubdivisionTriplesTinyDabsAndDoublesSmallOnes) {
  for (const double B : {0.6, 1.5}) {
    Bench b;
    b.fake.B = B;
    StrokeParams p;
    p.subdivision = 2;
    b.mngr.SetParams(p);
    b.mngr.SetInterpolationMode(0);
    b.Draw({{10, 10, 1}, {14, 10, 1}, {14, 10, 1}});
    // One drawn segment, (10,10) -> (14,10), size B at both ends; spacing 10 % of B gives an
    // interval of 1, so every sub-step has a dab.
    const int parts = B <= 0.7 ? 3 : 2;
    std::vector<Dab> want;
    for (int k = 0; k < 4 * parts; ++k) want.push_back({10.25 + double(k) / parts, 10.25, B, 1});
    ExpectDabs(b.fake.dabs, want, B <= 0.7 ? "thirds" : "halves");
  }
}

TEST(BrushStepping, OpacityIsTheStrokeOpacityAndTheMinorAxisFollowsTheSegment) {
  Bench b;
  b.stroke.SetOpacity(0.4f);
  b.mngr.SetInterpolationMode(0);
  b.Draw({{10, 10, 1}, {12, 30, 1}, {12, 30, 1}});
  ASSERT_FALSE(b.fake.dabs.empty());
  EXPECT_EQ(b.mngr.Params().opacity, 400);
  for (float o : b.fake.opacities) EXPECT_FLOAT_EQ(o, 0.4f);
  for (bool m : b.fake.minorAxis) EXPECT_TRUE(m);  // the segment runs along y
}

TEST(BrushStepping, AClickDrawsNothingAndEndsWithAnEmptyRectangleAndAnUndoStep) {
  Bench b;
  const int32_t before = b.paper.undo->UndoCount();
  ASSERT_TRUE(b.mngr.Begin({20, 20, 1}, false));
  SPixRect r{1, 2, 3, 4};
  ASSERT_TRUE(b.mngr.PenUp(20, 20, false, &r));
  EXPECT_TRUE(b.fake.dabs.empty());
  EXPECT_EQ(r, SPixRect{});
  EXPECT_FALSE(b.mngr.Running());
  EXPECT_EQ(b.paper.undo->UndoCount(), before + 1);
  EXPECT_TRUE(b.paper.Undo(b.flow).ok);
}

TEST(BrushStepping, TheLayerIsTheActiveOneWhenNegativeAndNothingDrawsOnAMissingOne) {
  Bench b;
  const int32_t top = b.paper.AddLayer(1, 64, true, 255, kModeNormal, 48);
  b.paper.ActivateLayer(b.flow, top);
  b.stroke.layer = -1;
  ASSERT_TRUE(b.mngr.Begin({5, 5, 1}, false));
  EXPECT_EQ(b.mngr.LayerIndex(), top);
  b.mngr.End(false);
  b.stroke.layer = 7;
  EXPECT_FALSE(b.mngr.Begin({5, 5, 1}, false));
  EXPECT_FALSE(b.mngr.Continue({9, 9, 1}, false));
  EXPECT_FALSE(b.mngr.End(false));
  EXPECT_TRUE(b.fake.dabs.empty());
}

TEST(BrushStepping, BadSamplesAndSettingsNeitherHangNorDrawOutside) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  Bench b;
  EXPECT_FALSE(b.mngr.Begin({nan, 3, 1}, false));
  EXPECT_FALSE(b.mngr.Begin({3, inf, 1}, false));
  StrokeParams p = PressureParams();
  p.spacing = 0;  // from a damaged record
  p.gamma = 0;
  b.mngr.SetParams(p);
  EXPECT_EQ(b.mngr.Params().spacing, StrokeParams::kMinSpacing);
  EXPECT_EQ(b.mngr.Params().gamma, StrokeParams::kMinGamma);
  ASSERT_TRUE(b.mngr.Begin({10, 10, 1}, false));
  EXPECT_FALSE(b.mngr.Continue({nan, 10, 1}, false));
  EXPECT_FALSE(b.mngr.Continue({10, 10, inf}, false));
  // Far outside: only the steps near the layer are walked, the counter still advances.
  b.mngr.Continue({1.0e9f, 10, 1}, false);
  b.mngr.Continue({-1.0e9f, 3.0e8f, 1}, false);
  b.mngr.Continue({30, 40, 1}, false);
  b.mngr.PenUp(20, 20, false);
  EXPECT_GT(b.mngr.UnitSteps(), int64_t(1.0e9));
  const double reach = b.fake.B + 2 + 1;  // a dab half extent, the margin, one step
  for (const Dab& d : b.fake.dabs) {
    EXPECT_GE(d.x, -reach);
    EXPECT_LE(d.x, 64 + reach);
    EXPECT_GE(d.y, -reach);
    EXPECT_LE(d.y, 48 + reach);
  }
  EXPECT_LT(b.fake.dabs.size(), 20000u);
}

TEST(BrushStepping, SkippedStepsAddTheirShareOfTheTravelledLength) {
  // The same stroke on a small and on a large paper: on the small one most steps lie outside
  // and are skipped, but the counter and the travelled length come out the same.
  const std::vector<StrokeSample> s = {{2, 2, 0.2f}, {400, 300, 0.9f}, {10, 500, 0.4f}, {600, 5, 1}};
  Bench small(2, 32, 32), large(2, 700, 600);
  for (Bench* b : {&small, &large}) {
    b->mngr.SetParams(PressureParams());
    b->Draw(s);
  }
  EXPECT_EQ(small.mngr.UnitSteps(), large.mngr.UnitSteps());
  EXPECT_NEAR(small.stroke.pen.travelled, large.stroke.pen.travelled, 1e-3 * large.stroke.pen.travelled);
  EXPECT_GT(large.stroke.pen.travelled, 0);
  EXPECT_LT(small.fake.dabs.size(), large.fake.dabs.size());
}

}  // namespace
}  // namespace tintara

// --- on a real paper -------------------------------------------------------------------------

namespace tintara {
namespace {

// A 48 x 40 paper whose layer holds a pattern, drawn on by the real renderers.
struct PaperBench {
  TPaper paper;
  TFlowImage flow{paper};
  TStroke stroke;
  CPenRender render;
  CStrokeRenderer renderer{render};
  CStrokeMngr mngr{paper, flow, stroke, renderer};

  explicit PaperBench(int32_t level = 2) {
    paper.SetLevel(level);
    EXPECT_TRUE(paper.NewPaper("t", flow, false, false, 72, 40, 48));
    CBlockVMTC& px = *paper.Layer(0)->pixels;
    for (int32_t y = 0; y < 40; ++y)
      for (int32_t x = 0; x < 48; ++x)
        px.SetPixel(x, y, 0xFF000000u | uint32_t(x * 5) << 16 | uint32_t(y * 6) << 8 | 0x40);
    paper.ActivateLayer(flow, 0);
    PenTipParams tip;
    tip.radius100 = 300;
    render.SetTipParams(tip);
    stroke.SetColour(0x00FF0000);
  }
  std::vector<uint32_t> Pixels() const {
    std::vector<uint32_t> out;
    const CBlockVMTC& px = *paper.Layer(0)->pixels;
    for (int32_t y = 0; y < px.Height(); ++y)
      for (int32_t x = 0; x < px.Width(); ++x) out.push_back(px.GetPixel(x, y));
    return out;
  }
  SPixRect Stroke(const std::vector<StrokeSample>& s) {
    SPixRect r;
    EXPECT_TRUE(mngr.Begin(s[0], true));
    for (size_t i = 1; i < s.size(); ++i) mngr.Continue(s[i], true);
    EXPECT_TRUE(mngr.PenUp(s.back().x, s.back().y, true, &r));
    return r;
  }
};

const std::vector<StrokeSample> kZigzag = {
    {6, 6, 1}, {20, 14, 0.8f}, {12, 30, 0.6f}, {40, 22, 1}, {44, 8, 1}};

TEST(StrokeOnPaper, ChangesOnlyTheCommittedRectangleAndUndoRestoresTheLayer) {
  for (const int32_t level : {2, 1}) {
    PaperBench b(level);
    if (level == 1) {
      b.stroke.SetKind(kPenAirbrush);
      b.stroke.SetWidth(3);
    }
    const std::vector<uint32_t> before = b.Pixels();
    const SPixRect r = b.Stroke(kZigzag);
    const std::vector<uint32_t> after = b.Pixels();
    int32_t changed = 0;
    for (int32_t y = 0; y < 40; ++y)
      for (int32_t x = 0; x < 48; ++x)
        if (after[size_t(y * 48 + x)] != before[size_t(y * 48 + x)]) {
          ++changed;
          EXPECT_TRUE(x >= r.x && x < r.Right() && y >= r.y && y < r.Bottom()) << x << "," << y;
        }
    EXPECT_GT(changed, 50) << "level " << level;
    // Even-aligned, inside the layer.
    EXPECT_EQ(r.x % 2, 0);
    EXPECT_EQ(r.y % 2, 0);
    EXPECT_LE(r.Right(), 48);
    ASSERT_TRUE(b.paper.Undo(b.flow).ok);
    EXPECT_EQ(b.Pixels(), before) << "level " << level;
    ASSERT_TRUE(b.paper.Redo(b.flow).ok);
    EXPECT_EQ(b.Pixels(), after) << "level " << level;
  }
}

TEST(StrokeOnPaper, LegacyStrokesKeepAlphaAndUndoFromTheLayersOwnHistory) {
  PaperBench b(0);
  b.stroke.SetKind(kPenPencil);
  b.stroke.SetWidth(4);
  b.stroke.SetIfTransparency(true);
  CLayerData& l = *b.paper.Layer(0);
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 48; ++x) l.pixels->SetPixel(x, y, uint32_t(80 + x) << 24 | 0xE0E0E0);
  b.paper.ActivateLayer(b.flow, 0);
  const std::vector<uint32_t> before = b.Pixels();
  const SPixRect r = b.Stroke(kZigzag);
  const std::vector<uint32_t> after = b.Pixels();
  int32_t changed = 0;
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 48; ++x) {
      const size_t i = size_t(y * 48 + x);
      EXPECT_EQ(after[i] >> 24, before[i] >> 24);  // the legacy engine never changes alpha
      if (after[i] != before[i]) {
        ++changed;
        EXPECT_TRUE(x >= r.x && x < r.Right() && y >= r.y && y < r.Bottom()) << x << "," << y;
      }
    }
  EXPECT_GT(changed, 30);
  ASSERT_TRUE(b.paper.UndoLayerStep(b.flow, 0));
  EXPECT_EQ(b.Pixels(), before);
}

TEST(StrokeOnPaper, TheCompositeShowsTheWorkingCopyWhileTheStrokeRuns) {
  PaperBench b;
  ASSERT_TRUE(b.mngr.Begin({10, 20, 1}, false));
  b.mngr.Continue({30, 20, 1}, false);
  b.mngr.Continue({40, 20, 1}, false);
  // The layer itself is untouched until the end; the composite already shows the paint.
  const uint32_t layerPixel = b.paper.Layer(0)->pixels->GetPixel(20, 20);
  EXPECT_EQ(layerPixel, 0xFF000000u | uint32_t(20 * 5) << 16 | uint32_t(20 * 6) << 8 | 0x40);
  const uint32_t shown = *reinterpret_cast<const uint32_t*>(b.paper.composite.PixelAddress(20, 20));
  EXPECT_EQ(shown & 0x00FFFFFF, b.flow.work.Row32(20)[20] & 0x00FFFFFF);
  EXPECT_NE(shown & 0x00FFFFFF, layerPixel & 0x00FFFFFF);
  EXPECT_FALSE(b.paper.SwitchLevel(1));  // not while a stroke runs
  b.mngr.End(false);
  EXPECT_TRUE(b.paper.SwitchLevel(1));
}

TEST(StrokeOnPaper, TheSelectionLimitsTheStroke) {
  PaperBench b;
  const int32_t m = b.paper.NewSelectionMask(0);
  ASSERT_GE(m, 0);
  ASSERT_TRUE(b.paper.SelectRect(m, {0, 0, 24, 40}, CombineMode::kReplace));
  const std::vector<uint32_t> before = b.Pixels();
  b.Stroke({{4, 20, 1}, {20, 20, 1}, {44, 20, 1}, {44, 21, 1}});
  const std::vector<uint32_t> after = b.Pixels();
  int32_t left = 0;
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 48; ++x) {
      const bool changed = after[size_t(y * 48 + x)] != before[size_t(y * 48 + x)];
      if (x >= 24) EXPECT_FALSE(changed) << x << "," << y;
      left += changed;
    }
  EXPECT_GT(left, 20);
}

TEST(StrokeOnPaper, ProtectedTransparencyKeepsEveryAlpha) {
  PaperBench b;
  CLayerData& l = *b.paper.Layer(0);
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 48; ++x) l.pixels->SetPixel(x, y, uint32_t((x * 7 + y) & 0xFF) << 24 | 0x102030);
  l.protectAlpha = 1;
  b.paper.ActivateLayer(b.flow, 0);
  const std::vector<uint32_t> before = b.Pixels();
  b.Stroke(kZigzag);
  const std::vector<uint32_t> after = b.Pixels();
  int32_t changed = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i] >> 24, before[i] >> 24) << i;
    changed += after[i] != before[i];
  }
  EXPECT_GT(changed, 50);
}

}  // namespace
}  // namespace tintara

// --- old-pen and legacy engines ----------------------------------------------------------------

namespace tintara {
namespace {

// The old-pen engine's stepping as the rules state it.
std::vector<Dab> ReferenceOldPen(const std::vector<StrokeSample>& in, const TStroke& st) {
  std::vector<StrokeSample> s = in;
  s.push_back({in.back().x, in.back().y, 0.0f});
  double hx[8], hy[8], hp[8];
  for (int i = 0; i < 8; ++i) hx[i] = s[0].x, hy[i] = s[0].y, hp[i] = 0;
  const int kind = st.Kind();
  const double W = st.Width();
  const bool pressureSize = st.IfSize() && kind != kPenBlur2;
  const double D = pressureSize ? W * st.Min() / 100.0 : W;
  const double fixed[9] = {1 / 6.0, 1 / 12.0, 0.25, 0.25, 0.25, 0, 0, 0, 0};
  const double spacing = std::max(fixed[kind] > 0 ? fixed[kind] : double(st.StoredSpacing()), 0.02);
  const double full = kind == 0 ? 8 : kind == 3 ? 4 : 0, sub = kind == 0 ? 2 : kind == 3 ? 3 : 0;
  std::vector<Dab> out;
  int64_t counter = 0;
  for (size_t i = 1; i < s.size(); ++i) {
    for (int k = 7; k > 0; --k) hx[k] = hx[k - 1], hy[k] = hy[k - 1], hp[k] = hp[k - 1];
    hx[0] = s[i].x, hy[0] = s[i].y, hp[0] = s[i].pressure;
    if (!st.noSmoothing)
      hx[1] = (hx[0] + hx[2]) / 2, hy[1] = (hy[0] + hy[2]) / 2, hp[1] = (hp[0] + hp[2]) / 2;
    const double v2 = std::pow(hp[2], double(st.Gamma())), v1 = std::pow(hp[1], double(st.Gamma()));
    double dx = hx[1] - hx[2], dy = hy[1] - hy[2], dv = v1 - v2;
    const double h = std::max(std::abs(dx), std::abs(dy));
    if (h == 0) continue;
    if (h >= 1) dx /= h, dy /= h, dv /= h;
    double n = std::ceil(h);
    const double E = D + (W - D) * v2, F = D + (W - D) * v1;
    int64_t H = std::max<int64_t>(1, int64_t(std::ceil(W * spacing)));
    if (E < full || F < full) H = 1;
    if (E < sub || F < sub) n *= 2, dx /= 2, dy /= 2, dv /= 2;
    double x = hx[2] + 0.5, y = hy[2] + 0.5, v = v2;
    for (int64_t k = 0; k < int64_t(n); ++k) {
      if (counter % H == 0) out.push_back({x, y, D + (W - D) * v, st.IfTransparency() ? v : 1.0});
      x += dx, y += dy, v = std::clamp(v + dv, 0.0, 1.0);
      ++counter;
    }
  }
  return out;
}

TEST(OldPenStepping, ThinPencilSubdividesAndDrawsEveryHalfStep) {
  Bench b(1);
  SetPenKindDefaults(b.stroke, kPenPencil);  // WIDTH 1, MIN 75, pressure size and transparency
  b.stroke.noSmoothing = true;
  b.Draw({{10, 10, 1}, {14, 10, 1}, {14, 10, 1}}, StrokeEngine::kDabs);
  // (10,10,0) -> (14,10,1): sizes 0.75 and 1 are below the full-density size 8 (a dab on every
  // step) and the subdivision size 2 (half steps): 8 steps of (0.5, 0, 0.125) from 10.5.
  std::vector<Dab> want;
  for (int k = 0; k < 8; ++k) want.push_back({10.5 + 0.5 * k, 10.5, 0.75 + 0.25 * 0.125 * k, 0.125 * k});
  ExpectDabs(b.fake.dabs, want, "pencil");
}

TEST(OldPenStepping, EveryKindWithItsDefaultsMatchesTheRules) {
  const std::vector<StrokeSample> path = {{8, 8, 0.5f},   {20, 12, 0.7f}, {30, 24, 1},
                                          {26, 36, 0.6f}, {12, 40, 0.9f}, {6, 30, 1}};
  for (int kind = 0; kind < kPenKindCount; ++kind) {
    for (const float gamma : {1.0f, 2.0f}) {
      Bench b(1);
      SetPenKindDefaults(b.stroke, kind);
      b.stroke.SetKind(kind);
      b.stroke.SetGamma(gamma);
      if (kind == kPenBlur2) b.stroke.SetWidth(5);
      b.Draw(path, StrokeEngine::kDabs);
      ExpectDabs(b.fake.dabs, ReferenceOldPen(path, b.stroke), PenKindOf(kind).stem);
      EXPECT_EQ(b.stroke.dabCount, int64_t(b.fake.dabs.size()));
    }
  }
}

TEST(OldPenStepping, VersionZeroStrokesUseTheFixedMinimumShares) {
  for (const int kind : {kPenWatercolour, kPenBlur, kPenEraser}) {
    Bench b(1);
    SetPenKindDefaults(b.stroke, kind);
    b.stroke.SetKind(kind);
    b.stroke.SetIfSize(true);
    b.stroke.SetMin(10);
    b.stroke.version = 0;
    b.stroke.noSmoothing = true;
    b.Draw({{10, 10, 1}, {30, 10, 1}, {30, 10, 1}}, StrokeEngine::kDabs);
    ASSERT_FALSE(b.fake.dabs.empty());
    // The first dab is at pressure 0: the minimum size.
    const double share = kind == kPenWatercolour ? 0.333 : 1.0;
    EXPECT_NEAR(b.fake.dabs[0].size, b.stroke.Width() * share, 1e-4) << kind;
  }
}

TEST(LegacyStepping, StepsOnePixelAlongTheMajorAxisAndHalvesForThinErasers) {
  Bench b(0);
  b.stroke.SetKind(kPenEraser);
  b.stroke.SetWidth(2);
  b.stroke.SetIfTransparency(true);
  b.stroke.noSmoothing = true;
  b.Draw({{10, 10, 1}, {13, 11, 1}, {13, 11, 1}}, StrokeEngine::kDirect);
  // (10,10,0) -> (13,11,1): 3 + 1 = 4 steps of (1, 1/3, 1/3), doubled for an eraser under
  // 3 pixels: 8 of (0.5, 1/6, 1/6) from (10.5, 10.5); interval trunc(2 / 4) + 1 = 1. The
  // doubled steps run half a step past the end, where the pressure stays clamped at 1.
  std::vector<Dab> want;
  for (int k = 0; k < 8; ++k) want.push_back({10.5 + 0.5 * k, 10.5 + k / 6.0, 0, std::min(k / 6.0, 1.0)});
  ExpectDabs(b.fake.dabs, want, "legacy eraser");
}

TEST(LegacyStepping, IntervalsPerKindAndZeroLengthSegments) {
  struct Case {
    int kind;
    float width;
    int64_t interval;  // worked from the kind's rule at full pressure
  };
  const Case cases[] = {
      {kPenPencil, 20, 3},       // min(trunc(20 / 8)) + 1
      {kPenWatercolour, 30, 3},  // trunc(30 / 12) + 1
      {kPenBlur, 9, 3},          // trunc(9 / 4) + 1
      {kPenEraser, 13, 4},       // trunc(13 / 4) + 1
      {kPenBlur2, 4, 2},         // trunc(4 / 4) + 1
  };
  for (const Case& c : cases) {
    Bench b(0);
    b.stroke.SetKind(c.kind);
    b.stroke.SetWidth(c.width);
    b.stroke.noSmoothing = true;
    // Two samples at full pressure first so that the measured segment has pressure 1 at both ends.
    ASSERT_TRUE(b.mngr.Begin(StrokeEngine::kDirect, {5, 20, 1}, false));
    b.mngr.Continue({5, 20, 1}, false);
    b.mngr.Continue({5, 20, 1}, false);  // (5,20,1) -> (5,20,1): zero length, nothing
    EXPECT_TRUE(b.fake.dabs.empty());
    b.mngr.Continue({35, 20, 1}, false);
    b.mngr.Continue({35, 20, 1}, false);  // draws (5,20,1) -> (35,20,1): 31 steps
    b.mngr.End(false);
    ASSERT_FALSE(b.fake.dabs.empty()) << c.kind;
    EXPECT_EQ(int64_t(b.fake.dabs.size()), (31 + c.interval - 1) / c.interval) << c.kind;
    EXPECT_NEAR(b.fake.dabs[1].x - b.fake.dabs[0].x, double(c.interval), 1e-4) << c.kind;
  }
}

// --- the pointer side ---------------------------------------------------------------------------

TEST(PointerSamples, FilterThresholdsAndTheSampleCap) {
  Bench b;
  PointerState st;
  st.modifierHeld = true;
  EXPECT_EQ(b.mngr.PointerSample({5, 5, 1}, st, false), PointerResult::kIgnored);
  EXPECT_FALSE(b.mngr.Running());
  st.modifierHeld = false;
  EXPECT_EQ(b.mngr.PointerSample({5, 5, 1}, st, false), PointerResult::kBegan);
  EXPECT_EQ(b.mngr.PointerSample({5.5f, 5, 1}, st, false), PointerResult::kContinued);  // one sample held
  EXPECT_EQ(b.mngr.PointerSample({6.4f, 5, 1}, st, false), PointerResult::kDropped);    // 0.9 <= 1
  EXPECT_EQ(b.mngr.PointerSample({6.6f, 5, 1}, st, false), PointerResult::kContinued);
  st.zoomFactor = 8;  // threshold 4 / 8
  EXPECT_EQ(b.mngr.DistanceThreshold(st), 0.5);
  EXPECT_EQ(b.mngr.PointerSample({7.2f, 5, 1}, st, false), PointerResult::kContinued);
  st.replaying = true;
  EXPECT_FALSE(b.mngr.PointerUp(7.2f, 5, st, false));
  st.replaying = false;
  EXPECT_TRUE(b.mngr.PointerUp(7.2f, 5, st, false));
  // The old-pen engine's thresholds by zoom step.
  b.paper.SwitchLevel(1);
  for (const auto& [step, want] : {std::pair{-2, 4.0}, {-1, 3.0}, {0, 2.0}, {3, 2.0}}) {
    st.zoomStep = step;
    EXPECT_EQ(b.mngr.DistanceThreshold(st), want) << step;
  }
}

TEST(PointerSamples, TheStrokeEndsOnThe60001stSampleAndTheNextBeginsAnother) {
  Bench b;
  b.fake.B = 1;
  PointerState st;
  const int32_t undoBefore = b.paper.undo->UndoCount();
  ASSERT_EQ(b.mngr.PointerSample({0, 0, 1}, st, false), PointerResult::kBegan);
  for (int i = 1; i < kMaxStrokeSamples; ++i)
    ASSERT_EQ(b.mngr.PointerSample({float(i % 2 ? 40 : 2), float(i % 40), 1}, st, false),
              PointerResult::kContinued);
  EXPECT_EQ(b.mngr.SampleCount(), kMaxStrokeSamples);
  EXPECT_EQ(b.mngr.PointerSample({20, 20, 1}, st, false), PointerResult::kEnded);
  EXPECT_FALSE(b.mngr.Running());
  EXPECT_EQ(b.paper.undo->UndoCount(), undoBefore + 1);  // its own undo step
  EXPECT_EQ(b.mngr.PointerSample({21, 21, 1}, st, false), PointerResult::kBegan);
  EXPECT_EQ(b.mngr.SampleCount(), 1);
  b.mngr.PointerUp(21, 21, st, false);
}

TEST(ShapeStrokes, NoSmoothingNoPressureAndTheSettingsComeBack) {
  Bench b;
  StrokeParams p = PressureParams();
  b.mngr.SetParams(p);
  b.stroke.SetOpacity(0.5f);
  b.stroke.SetIfSize(true);
  ASSERT_TRUE(b.mngr.StrokeShape({{10, 10}, {20, 10}, {20, 20}}, true, false));
  // Straight segments at pressure 0.5 (the opacity), the first from pressure 0: sizes are B
  // throughout, pressures 1; the closed shape returns to its first vertex.
  ASSERT_FALSE(b.fake.dabs.empty());
  for (const Dab& d : b.fake.dabs) {
    EXPECT_EQ(d.size, b.fake.B);
    EXPECT_EQ(d.pressure, 1.0);
  }
  // Unsmoothed, every dab lies on an edge of the triangle (each shifted by the quarter pixel):
  // y = 10.25, x = 20.25, or the diagonal back to the start.
  for (const Dab& d : b.fake.dabs)
    EXPECT_TRUE(std::abs(d.y - 10.25) < 1e-3 || std::abs(d.x - 20.25) < 1e-3 || std::abs(d.x - d.y) < 1e-3)
        << d.x << "," << d.y;
  bool reachedStart = false;
  // The closing diagonal (20,20) -> (10,10) comes near the start off the first row.
  for (const Dab& d : b.fake.dabs) reachedStart |= d.x < 13 && d.y > 10.6 && d.y < 13;
  EXPECT_TRUE(reachedStart);
  EXPECT_EQ(b.mngr.Params(), p);
  EXPECT_EQ(b.mngr.InterpolationMode(), 1);
  EXPECT_TRUE(b.stroke.IfSize());
  EXPECT_FALSE(b.stroke.shapeStroke);
  EXPECT_FALSE(b.stroke.noSmoothing);
}

TEST(ShapeStrokes, DrawOnTheActiveLayerAndGiveTheSettingsBackWhenTheyCannotBegin) {
  Bench b;
  const int32_t top = b.paper.AddLayer(1, 64, true, 255, kModeNormal, 48);
  b.paper.ActivateLayer(b.flow, 0);
  b.stroke.layer = top;  // left over from an earlier stroke
  ASSERT_TRUE(b.mngr.StrokeShape({{10, 10}, {30, 10}}, false, false));
  EXPECT_EQ(b.mngr.LayerIndex(), 0);
  EXPECT_FALSE(b.fake.dabs.empty());
  const StrokeParams p = PressureParams();
  b.mngr.SetParams(p);
  b.stroke.SetIfSize(true);
  b.stroke.SetIfTransparency(true);
  EXPECT_FALSE(b.mngr.StrokeShape({{std::numeric_limits<float>::quiet_NaN(), 10}, {30, 10}}, false, false));
  EXPECT_FALSE(b.mngr.Running());
  EXPECT_EQ(b.mngr.Params(), p);
  EXPECT_EQ(b.mngr.InterpolationMode(), 1);
  EXPECT_TRUE(b.stroke.IfSize());
  EXPECT_TRUE(b.stroke.IfTransparency());
  EXPECT_FALSE(b.stroke.shapeStroke);
  EXPECT_FALSE(b.stroke.noSmoothing);
}

}  // namespace
}  // namespace tintara

// --- the old pen kinds' dabs ---------------------------------------------------------------------

namespace tintara {
namespace {

uint32_t Grey(uint32_t p) { return p & 0xFF; }

// A white paper drawn on by the old-pen engine with one kind's defaults.
struct OldPaper : PaperBench {
  explicit OldPaper(int32_t kind, int32_t level = 1) : PaperBench(level) {
    CBlockVMTC& px = *paper.Layer(0)->pixels;
    for (int32_t y = 0; y < 40; ++y)
      for (int32_t x = 0; x < 48; ++x) px.SetPixel(x, y, 0xFFFFFFFFu);
    paper.ActivateLayer(flow, 0);
    SetPenKindDefaults(stroke, kind, &render);
    stroke.SetKind(kind);
    stroke.SetColour(0);
  }
  uint32_t At(int32_t x, int32_t y) const { return paper.Layer(0)->pixels->GetPixel(x, y); }
};

TEST(OldPenDabs, PencilCoverageDoesNotBuildUpWithinAStroke) {
  OldPaper b(kPenPencil);
  b.stroke.SetWidth(5);
  b.stroke.SetIfSize(false);
  b.stroke.SetIfTransparency(false);
  b.stroke.SetOpacity(0.5f);
  b.Stroke({{4, 20, 1}, {40, 20, 1}, {4, 20, 1}, {40, 20, 1}, {40, 21, 1}});
  // Inside the discs the coverage is 255: the pen colour (black) at the opacity byte 127.
  const uint32_t once = Lerp8(0, 255, Mul8(255, 127));
  EXPECT_EQ(Grey(b.At(20, 20)), once);
  EXPECT_EQ(b.At(20, 20) >> 24, 255u);
  b.Stroke({{4, 20, 1}, {40, 20, 1}, {40, 21, 1}});
  EXPECT_EQ(Grey(b.At(20, 20)), Lerp8(0, once, Mul8(255, 127)));
}

// A thin pencil draws a line without gaps: past its first dabs its spans lie along the
// segment's major axis, so neighbouring dabs join whatever the spacing between them.
TEST(OldPenDabs, AThinPencilLineHasNoGapsAlongEitherAxis) {
  for (const bool horizontal : {true, false}) {
    OldPaper b(kPenPencil);
    b.stroke.SetWidth(1.5f);
    b.stroke.SetIfSize(false);
    b.stroke.SetIfTransparency(false);
    b.stroke.SetSpacing(2.0f);  // dabs a diameter and more apart
    if (horizontal)
      b.Stroke({{2, 20.5f, 1}, {14, 20.5f, 1}, {26, 20.5f, 1}, {38, 20.5f, 1}, {46, 20.5f, 1}});
    else
      b.Stroke({{20.5f, 2, 1}, {20.5f, 12, 1}, {20.5f, 22, 1}, {20.5f, 32, 1}, {20.5f, 38, 1}});
    const int32_t last = horizontal ? 36 : 30;
    for (int32_t t = 14; t <= last; ++t) {
      uint32_t darkest = 255;
      for (int32_t d = 18; d <= 23; ++d)
        darkest = std::min(darkest, Grey(horizontal ? b.At(t, d) : b.At(d, t)));
      EXPECT_LT(darkest, 200u) << (horizontal ? "x " : "y ") << t;
    }
  }
}

TEST(OldPenDabs, EraserClearsAlphaOrPaintsTheNeutralColourUnderProtection) {
  for (const bool protect : {false, true}) {
    OldPaper b(kPenEraser);
    CLayerData& l = *b.paper.Layer(0);
    for (int32_t y = 0; y < 40; ++y)
      for (int32_t x = 0; x < 48; ++x) l.pixels->SetPixel(x, y, 0xFF204060u);
    l.protectAlpha = protect ? 1 : 0;
    b.paper.ActivateLayer(b.flow, 0);
    b.stroke.SetIfTransparency(false);
    b.stroke.SetIfEdge(false);  // a hard disc: full coverage inside
    b.Stroke({{6, 20, 1}, {40, 20, 1}, {40, 21, 1}});
    const uint32_t p = b.At(20, 20);
    if (protect) {
      EXPECT_EQ(p, 0xFFFFFFFFu);  // white, the neutral colour of a normal layer
    } else {
      EXPECT_EQ(p >> 24, 0u);
      EXPECT_EQ(p & 0xFFFFFF, 0x204060u);
    }
  }
}

TEST(OldPenDabs, AirbrushCoverageIsTheAirMapOfTheCentreDistance) {
  CPenRender render;
  CStrokeRenderer renderer(render);
  TStroke st;
  SetPenKindDefaults(st, kPenAirbrush, &render);
  st.SetKind(kPenAirbrush);
  st.SetOpacity(0.8f);
  st.pen.opacity = 0.8f;
  TMTC work(32, 32);
  TChannel coverage(32, 32);
  FillAll(work, 0xFFFFFFFF);
  FillAll8(coverage, 0);
  const SPenSurface s{&work, &coverage, nullptr};
  renderer.BeginStroke(StrokeEngine::kDabs, st, s, 16, 16);
  const float x = 15.3f, y = 16.6f, r = 6.5f, pressure = 0.5f;
  ASSERT_TRUE(renderer.OldPenDab(s, st, x, y, r, pressure));
  const double alpha = 0.8 * 0.5;
  for (int32_t py = 0; py < 32; ++py)
    for (int32_t px = 0; px < 32; ++px) {
      const double d = std::hypot(px + 0.5 - x, py + 0.5 - y);
      uint32_t want = 255;
      if (d < r) {
        // Air map 3: 255 (1 - i / 2047) in 16.16.
        const int32_t i = int32_t(d * 2047.0 / r);
        const uint64_t m = uint64_t(std::clamp(255.0 * (1.0 - i / 2047.0), 0.0, 255.0) * 65536.0);
        const uint32_t cov = uint32_t((m * uint64_t(alpha * 65536.0)) >> 32);
        want = cov == 0 ? 255 : cov == 255 ? 0 : Lerp8(0, 255, cov);
      }
      ASSERT_EQ(Grey(work.Row32(py)[px]), want) << px << "," << py;
    }
}

TEST(OldPenDabs, WatercolourWithoutChangeLengthOrSurroundPaintsThePenColour) {
  CPenRender render;
  CStrokeRenderer renderer(render);
  TStroke st;
  SetPenKindDefaults(st, kPenWatercolour, &render);
  st.SetKind(kPenWatercolour);
  st.SetSpeed(0);  // no change length: the pen colour at once
  st.SetEnv(0);    // no pull towards the surrounding colour
  st.SetIfEdge(false);
  st.SetColour(0x00C01020);
  st.pen.opacity = 1.0f;
  TMTC work(32, 32);
  TChannel coverage(32, 32);
  FillAll(work, 0xFF808080u);
  FillAll8(coverage, 0);
  const SPenSurface s{&work, &coverage, nullptr};
  renderer.BeginStroke(StrokeEngine::kDabs, st, s, 16, 16);
  ASSERT_TRUE(renderer.OldPenDab(s, st, 16.5f, 16.5f, 6, 1.0f));
  // Inside the disc: the pen colour at trunc(0.35 x 255) = 89 over the opaque grey.
  const uint32_t t = 89;
  const uint32_t want = 0xFF000000u | uint32_t(Lerp8(0xC0, 0x80, t)) << 16 |
                        uint32_t(Lerp8(0x10, 0x80, t)) << 8 | Lerp8(0x20, 0x80, t);
  EXPECT_EQ(work.Row32(16)[16], want);
  EXPECT_EQ(work.Row32(16)[13], want);
  EXPECT_EQ(work.Row32(16)[28], 0xFF808080u);  // outside the disc
}

TEST(LegacyDabs, SecondBlurRecomputesFromTheLayerWhereTheCoverageIsTwoOrMore) {
  OldPaper b(kPenBlur2, 0);
  CLayerData& l = *b.paper.Layer(0);
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 48; ++x) l.pixels->SetPixel(x, y, (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u);
  b.paper.ActivateLayer(b.flow, 0);
  b.stroke.SetWidth(4);
  b.stroke.noSmoothing = true;
  // Pressure 1 from (10,20) to (30,20): dabs every trunc(4 / 4) + 1 = 2 steps at
  // (10.5 + 2j, 20.5), channel value trunc(1 x 32) = 32 at a dab centre, softened around it.
  b.Stroke({{10, 20, 1}, {10, 20, 1}, {30, 20, 1}, {30, 20, 1}});
  auto mean = [](int32_t c, bool whiteCentre) {
    // Centre weight 32 - min(c, 31), the eight neighbours 1 each; on a checker the four edge
    // neighbours have the other colour, the four corners the centre's.
    const int32_t w = 32 - std::min(c, 31);
    const int32_t sum = (whiteCentre ? w * 255 + 4 * 255 : 4 * 255);
    return uint32_t(sum / (w + 8));
  };
  EXPECT_EQ(Grey(b.At(20, 20)), mean(32, false));  // on a dab centre, (20 + 20) even: black
  // One pixel from the dabs at 20.5 and 22.5: 255 - 1 x 255 / 16 softened, times 32.
  EXPECT_EQ(Grey(b.At(21, 20)), mean(Mul8(int32_t(255 - 255.0 / 16), 32), true));
  EXPECT_EQ(b.At(20, 5), 0xFF000000u | ((20 + 5) % 2 ? 0xFFFFFFu : 0));  // untouched
}

}  // namespace
}  // namespace tintara

// --- recording and replay -------------------------------------------------------------------------

namespace tintara {
namespace {

struct RecordedStroke : IStrokeRecorder {
  int32_t layer = -2;
  bool shape = false;
  StrokeEngine engine = StrokeEngine::kDirect;
  std::vector<StrokeSample> samples;
  int32_t ends = 0;
  bool Begin(int32_t l, bool s, StrokeEngine e, float p, float x, float y) override {
    layer = l, shape = s, engine = e;
    samples = {{x, y, p}};
    return true;
  }
  bool Sample(float p, float x, float y) override {
    samples.push_back({x, y, p});
    return true;
  }
  bool End() override {
    ++ends;
    return true;
  }
};

TEST(StrokeReplay, ARecordedStrokeReplaysToTheSamePixels) {
  for (const bool shape : {false, true}) {
    PaperBench live, replayed;
    RecordedStroke rec;
    live.mngr.SetRecorder(&rec);
    live.stroke.SetOpacity(0.7f);
    replayed.stroke.SetOpacity(0.7f);
    StrokeParams p = PressureParams();
    p.opacity = 700;  // what every stroke begin sets from the stroke's opacity
    live.mngr.SetParams(p);
    replayed.mngr.SetParams(p);
    if (shape) {
      ASSERT_TRUE(live.mngr.StrokeShape({{6, 6}, {40, 8}, {30, 34}}, true, true));
    } else {
      live.Stroke(kZigzag);
    }
    ASSERT_EQ(rec.ends, 1);
    EXPECT_EQ(rec.layer, 0);
    EXPECT_EQ(rec.shape, shape);
    EXPECT_EQ(rec.engine, StrokeEngine::kManager);
    // The pen-up's pressure-0 sample is part of the recording.
    EXPECT_EQ(rec.samples.back().pressure, 0.0f);
    CStrokeReplay replay(replayed.mngr);
    ASSERT_TRUE(replay.Start(rec.engine, rec.layer, rec.shape));
    for (const StrokeSample& s : rec.samples) ASSERT_TRUE(replay.Sample(s));
    ASSERT_TRUE(replay.Finish());
    EXPECT_EQ(replayed.Pixels(), live.Pixels()) << (shape ? "shape" : "stroke");
    EXPECT_NE(replayed.Pixels(), PaperBench().Pixels());
    EXPECT_EQ(replayed.mngr.Params(), p);  // a shape's settings come back
    EXPECT_EQ(replayed.paper.undo->UndoCount(), live.paper.undo->UndoCount());
  }
}

TEST(StrokeReplay, NothingIsRecordedWithoutTheRecordFlag) {
  PaperBench b;
  RecordedStroke rec;
  b.mngr.SetRecorder(&rec);
  ASSERT_TRUE(b.mngr.Begin({4, 4, 1}, false));
  b.mngr.Continue({20, 20, 1}, true);  // a stroke begun without recording stays unrecorded
  b.mngr.End(true);
  EXPECT_EQ(rec.ends, 0);
  EXPECT_TRUE(rec.samples.empty());
}

}  // namespace
}  // namespace tintara

// --- layer offsets and extremes ----------------------------------------------------------------------

namespace tintara {
namespace {

TEST(StrokeOnPaper, DabsLandInStoreCoordinatesOfAnOffsetLayer) {
  Bench b;
  ASSERT_TRUE(b.paper.SetLayerPosition(b.flow, 0, 5, -3));
  b.mngr.SetInterpolationMode(0);
  b.fake.B = 2;
  b.Draw({{10, 20, 1}, {14, 20, 1}, {14, 20, 1}});
  // Store = paper + view position; the first dab at (10 + 5, 20 - 3) + 0.25.
  ASSERT_FALSE(b.fake.dabs.empty());
  EXPECT_NEAR(b.fake.dabs[0].x, 15.25, 1e-4);
  EXPECT_NEAR(b.fake.dabs[0].y, 17.25, 1e-4);
  // The stroke rectangle, even-aligned in the store, comes back in paper coordinates.
  Bench c;
  ASSERT_TRUE(c.paper.SetLayerPosition(c.flow, 0, 5, -3));
  c.mngr.SetInterpolationMode(0);
  c.fake.B = 2;
  SPixRect r;
  ASSERT_TRUE(c.mngr.Begin({10, 20, 1}, false));
  c.mngr.Continue({14, 20, 1}, false);
  c.mngr.Continue({14, 20, 1}, false);
  const SPixRect store = c.mngr.StrokeRect();
  c.mngr.End(false, &r);
  EXPECT_EQ(r, (SPixRect{store.x - 5, store.y + 3, store.width, store.height}));
  // Dabs from 15.25 to 18.25 at size 2 (half extent 2, margin 2): left 15 - 4 = 11, top
  // 17 - 4 = 13, right 18 + 4 = 22, bottom 17 + 4 = 21; even-aligned 10, 12, 22, 22.
  EXPECT_EQ(store, (SPixRect{10, 12, 12, 10}));
}

TEST(StrokeOnPaper, SamplesAtTheEndOfTheFloatRangeNeitherHangNorPaintOutside) {
  constexpr float kMax = std::numeric_limits<float>::max();
  for (const int32_t level : {0, 1, 2}) {
    PaperBench b(level);
    const std::vector<uint32_t> before = b.Pixels();
    // The last two jump from one end of the float range to the other: their difference is
    // past it.
    const SPixRect r = b.Stroke({{10, 10, 1},
                                 {3.0e38f, -3.0e38f, 1},
                                 {-3.0e38f, 20, 1},
                                 {20, 20, 1},
                                 {30, 30, 1},
                                 {0, kMax, 1},
                                 {0, -kMax, 1}});
    const std::vector<uint32_t> after = b.Pixels();
    for (int32_t y = 0; y < 40; ++y)
      for (int32_t x = 0; x < 48; ++x)
        if (after[size_t(y * 48 + x)] != before[size_t(y * 48 + x)])
          ASSERT_TRUE(x >= r.x && x < r.Right() && y >= r.y && y < r.Bottom())
              << level << ": " << x << "," << y;
    EXPECT_GE(b.mngr.UnitSteps(), 0);
    EXPECT_FALSE(b.mngr.Running());
  }
}

TEST(StrokeOnPaper, AStrokeThatBeginsFarOutsideStartsEveryPenWithoutOverflow) {
  // The start routines (colour pick-up, pen buffer capture) see the first position; one far
  // beyond the float range of pixel indices must neither overflow nor paint outside.
  struct Case {
    int32_t level, kind;
    uint8_t mode;
  };
  const Case cases[] = {{1, kPenWatercolour, 0},   {1, kPenRub, 0},      {0, kPenWatercolour, 0},
                        {2, 0, kBrushWatercolour}, {2, 0, kBrushSmudge}, {2, 0, kBrushFinger}};
  for (const Case& c : cases)
    for (const float far : {3.0e19f, -3.0e38f}) {
      PaperBench b(c.level);
      if (c.level < 2) {
        SetPenKindDefaults(b.stroke, c.kind, &b.render);
        b.stroke.SetKind(c.kind);
        b.stroke.SetWidth(4);
      } else {
        SPenBrushHead head;
        head.mode = c.mode;
        b.render.SetBrushHead(head);
      }
      const std::vector<uint32_t> before = b.Pixels();
      const SPixRect r = b.Stroke({{far, -far, 1}, {20, 20, 1}, {30, 24, 1}, {36, 30, 1}});
      const std::vector<uint32_t> after = b.Pixels();
      for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 48; ++x)
          if (after[size_t(y * 48 + x)] != before[size_t(y * 48 + x)])
            ASSERT_TRUE(x >= r.x && x < r.Right() && y >= r.y && y < r.Bottom())
                << c.level << "/" << c.kind << "/" << int(c.mode) << ": " << x << "," << y;
      EXPECT_FALSE(b.mngr.Running());
    }
}

TEST(StrokeOnPaper, HugeWidthsOfEveryKindStayInsideTheRectangle) {
  for (int32_t kind = -1; kind < kPenKindCount; ++kind) {
    PaperBench b(kind < 0 ? 2 : 1);
    if (kind < 0) {
      PenTipParams tip;
      tip.radius100 = PenTipParams::kMaxRadius100;
      b.render.SetTipParams(tip);
    } else {
      SetPenKindDefaults(b.stroke, kind, &b.render);
      b.stroke.SetKind(kind);
      b.stroke.SetWidth(1.0e6f);  // clamped to 200
      b.stroke.SetEffect(100);
    }
    const std::vector<uint32_t> before = b.Pixels();
    const SPixRect r = b.Stroke({{10, 10, 1}, {30, 25, 1}, {12, 30, 1}});
    const std::vector<uint32_t> after = b.Pixels();
    for (int32_t y = 0; y < 40; ++y)
      for (int32_t x = 0; x < 48; ++x)
        if (after[size_t(y * 48 + x)] != before[size_t(y * 48 + x)])
          ASSERT_TRUE(x >= r.x && x < r.Right() && y >= r.y && y < r.Bottom())
              << kind << ": " << x << "," << y;
    EXPECT_LE(r.Right(), 48);
    EXPECT_LE(r.Bottom(), 40);
  }
}

TEST(StrokeOnPaper, AClickInTheOldEnginesTouchesNothingAndStillMakesAnUndoStep) {
  for (const int32_t level : {1, 0}) {
    PaperBench b(level);
    b.stroke.SetKind(kPenPencil);
    b.stroke.SetWidth(6);
    const int32_t undo = b.paper.undo ? b.paper.undo->UndoCount() : 0;
    const std::vector<uint32_t> before = b.Pixels();
    ASSERT_TRUE(b.mngr.Begin({20, 20, 1}, true));
    SPixRect r{1, 2, 3, 4};
    ASSERT_TRUE(b.mngr.PenUp(20, 20, true, &r));
    EXPECT_EQ(r, SPixRect{}) << "level " << level;
    EXPECT_EQ(b.mngr.StrokeRect(), SPixRect{}) << "level " << level;
    EXPECT_TRUE(b.stroke.rectB.IsEmpty()) << "level " << level;
    EXPECT_EQ(b.Pixels(), before) << "level " << level;
    if (b.paper.undo) {
      EXPECT_EQ(b.paper.undo->UndoCount(), undo + 1) << "level " << level;
    }
  }
}

TEST(OldPenDabs, ABlurWhoseKernelRadiusTruncatesToZeroChangesNothing) {
  // The kernel radius is trunc(radius x EFFECT / 100): 0 for radius 5 at 10 %, 1 at 20 %.
  for (const int32_t level : {1, 0})
    for (const float effect : {10.0f, 20.0f}) {
      PaperBench b(level);
      CBlockVMTC& px = *b.paper.Layer(0)->pixels;
      for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 48; ++x) px.SetPixel(x, y, (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u);
      b.paper.ActivateLayer(b.flow, 0);
      SetPenKindDefaults(b.stroke, kPenBlur, &b.render);
      b.stroke.SetKind(kPenBlur);
      b.stroke.SetWidth(5);
      b.stroke.SetEffect(effect);
      const std::vector<uint32_t> before = b.Pixels();
      b.Stroke(kZigzag);
      if (effect < 20)
        EXPECT_EQ(b.Pixels(), before) << "level " << level;
      else
        EXPECT_NE(b.Pixels(), before) << "level " << level;
    }
}

TEST(StrokeOnPaper, ClearChannelEmptiesTheCoverageInTheRectangleOnly) {
  PaperBench b;
  ASSERT_TRUE(b.mngr.Begin({10, 10, 1}, false));
  TChannel& ch = b.flow.workMask;
  ASSERT_TRUE(ch.IsValid());
  ASSERT_EQ(ch.Width(), 48);
  ASSERT_EQ(ch.Height(), 40);
  FillAll8(ch, 200);
  const SPixRect cleared{4, 6, 10, 8};
  b.mngr.ClearChannel(cleared);
  b.mngr.ClearChannel({40, 30, 20, 20});  // reaches past the corner: clipped
  for (int32_t y = 0; y < ch.Height(); ++y)
    for (int32_t x = 0; x < ch.Width(); ++x) {
      const bool inside = (x >= 4 && x < 14 && y >= 6 && y < 14) || (x >= 40 && y >= 30);
      EXPECT_EQ(ch.Row8(y)[x], inside ? 0 : 200) << x << "," << y;
    }
  b.mngr.End(false);
}

}  // namespace
}  // namespace tintara
