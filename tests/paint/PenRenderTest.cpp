// The brush renderer driven dab by dab, as the stroke stepping will drive it: exact pixels
// for the stamp, eraser, channel pen and burn/dodge, invariants for blur, smudge and finger,
// and the rules every mode keeps (protected transparency, selection, tone, written rectangle).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "document/Mask.h"
#include "paint/PenRender.h"
#include "paint/Tone.h"
#include "pixel/Arith.h"
#include "pixel/ChannelOps.h"
#include "pixel/ColorModels.h"
#include "pixel/ColorOps.h"
#include "platform/Memory.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

// --- the rules, written out here ------------------------------------------------------------

uint32_t Ch(uint32_t p, int s) { return p >> s & 0xFF; }
uint32_t Mix(uint32_t s, uint32_t d, uint32_t t) {  // lerp8 per colour channel
  return uint32_t(Lerp8(Ch(s, 16), Ch(d, 16), t)) << 16 | uint32_t(Lerp8(Ch(s, 8), Ch(d, 8), t)) << 8 |
         Lerp8(Ch(s, 0), Ch(d, 0), t);
}
uint32_t Over(uint32_t p, uint32_t colour, uint32_t c) {
  if (c == 0) return p;
  if (c == 255) return 0xFF000000u | (colour & 0xFFFFFF);
  const uint32_t a = p >> 24;
  if (a == 255) return 0xFF000000u | Mix(colour, p, c);
  const uint32_t a2 = a + Mul8(c, 255 - a);
  return a2 << 24 | Mix(colour, p, c * 255 / a2);
}
uint32_t KeepAlpha(uint32_t p, uint32_t colour, uint32_t c) { return (p & 0xFF000000u) | Mix(colour, p, c); }
uint32_t Erase(uint32_t p, uint32_t c) { return (p & 0xFFFFFF) | (Ch(p, 24) - Mul8(c, Ch(p, 24))) << 24; }

// The dab a renderer with this tip should draw: coverage per pixel from an independently
// built mask of the same tip.
struct Reference {
  CGradeMapObj map;
  CPenShape shape{&map};
  Reference(const DensityProfile& p) { map.SetProfile(p); }
  uint8_t Coverage(float x, float y, float alpha, int32_t px, int32_t py, bool hard = false) const {
    const int64_t x16 = int64_t(double(x) * 65536.0), y16 = int64_t(double(y) * 65536.0);
    uint64_t m = shape.Sample(int64_t(px) * 65536 - x16 + 0x8000, int64_t(py) * 65536 - y16 + 0x8000);
    if (hard && m) m = 255u * 65536u;
    const uint64_t a16 = uint64_t(int64_t(double(std::min(alpha, 1.0f)) * 65536.0));
    return uint8_t((m * a16) >> 32);
  }
};

struct Canvas {
  TMTC work;
  TChannel coverage;
  CBlockVMTC layer;
  Canvas(int32_t w, int32_t h, uint32_t fill) : work(w, h), coverage(w, h), layer(w, h) {
    FillAll(work, fill);
    FillAll8(coverage, 0);
    SyncLayer();
  }
  // The layer takes the working copy (a committed stroke).
  void SyncLayer() { layer.WriteRect(work, {0, 0}, 255, work.Bounds()); }
  SPenSurface Surface() { return {&work, &coverage, &layer}; }
  uint32_t At(int32_t x, int32_t y) const { return work.Row32(y)[x]; }
};

// A stroke of its own for the renderer, with the dabs it sent and what each reported.
struct FakeStroke {
  SPenStrokeState state;
  CPenRender render;
  struct Sent {
    float x, y, pressure, size;
    bool drawn;
    SPixRect rect;
  };
  std::vector<Sent> sent;

  FakeStroke(uint8_t mode, const PenTipParams& tip, const DensityProfile& profile, uint32_t colour) {
    SPenBrushHead h;
    h.mode = mode;
    render.SetBrushHead(h);
    render.SetTipParams(tip);
    render.SetDensityProfile(profile);
    state.colour = colour;
    render.SetStroke(&state);
  }
  void Begin(Canvas& c, float x, float y) { render.BeginStroke(c.Surface(), x, y); }
  bool Dab(Canvas& c, float x, float y, float pressure, float opacity, float size) {
    const bool drawn = render.Dab(c.Surface(), x, y, pressure, opacity, size);
    sent.push_back({x, y, pressure, size, drawn, render.LastDabRect()});
    return drawn;
  }
};

PenTipParams Tip(double radius, int32_t aspect = 1000, int32_t angle = 0) {
  PenTipParams p;
  p.radius100 = int32_t(radius * 100);
  p.aspect = aspect;
  p.angle = angle;
  return p;
}

// Every pixel that differs between two buffers lies inside `rect`.
void ExpectChangesInside(const TMTC& before, const TMTC& after, const SPixRect& rect) {
  for (int32_t y = 0; y < after.Height(); ++y)
    for (int32_t x = 0; x < after.Width(); ++x)
      if (before.Row32(y)[x] != after.Row32(y)[x]) {
        ASSERT_TRUE(x >= rect.x && x < rect.Right() && y >= rect.y && y < rect.Bottom())
            << "changed pixel " << x << "," << y << " outside the written rectangle";
      }
}

struct StampCase {
  const char* name;
  uint32_t background;
  PenTipParams tip;
  DensityProfile profile;
  bool hardEdge;
};

const StampCase kStampCases[] = {
    {"opaque round", 0xFFFFFFFF, Tip(3), {3, 0, 0}, false},
    {"transparent round", 0x00FFFFFF, Tip(3), {3, 0, 0}, false},
    {"half alpha ellipse", 0x80408020, Tip(4.5, 400, 300), {2, 200, 0}, false},
    {"small flat", 0xFF000000, Tip(1.2), {3, 1000, 0}, false},
    {"hard edge", 0xC0FFFFFF, Tip(2.5), {0, 0, 0}, true},
};

TEST(CPenRender, StampPaintsTheMaskWeightThroughTheOverBlend) {
  const float dabs[][3] = {{5.3f, 6.7f, 1.0f}, {9.1f, 8.2f, 0.6f}, {7.5f, 7.5f, 0.25f}, {0.4f, 15.6f, 1.0f}};
  for (const StampCase& sc : kStampCases) {
    Canvas canvas(16, 16, sc.background);
    FakeStroke stroke(kBrushAirbrush, sc.tip, sc.profile, 0x00102030);
    stroke.render.SetHardEdge(sc.hardEdge);
    stroke.Begin(canvas, 5.3f, 6.7f);
    Reference ref(sc.profile);
    TMTC expected(canvas.work);
    for (auto& d : dabs) {
      const TMTC before(canvas.work);
      const float radius = float(sc.tip.Radius()), opacity = 0.5f;
      ASSERT_TRUE(stroke.Dab(canvas, d[0], d[1], d[2], opacity, radius)) << sc.name;
      ASSERT_TRUE(sc.tip.aspect == 1000
                      ? ref.shape.BuildRound(int64_t(double(radius) * 65536.0))
                      : ref.shape.BuildEllipse(int64_t(double(radius) * 65536.0), sc.tip.AspectPercent(),
                                               sc.tip.AngleDegrees()));
      for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) {
          uint32_t* p = expected.Row32(y) + x;
          *p = Over(*p, 0x00102030, ref.Coverage(d[0], d[1], opacity * d[2], x, y, sc.hardEdge));
        }
      for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x)
          ASSERT_EQ(canvas.At(x, y), expected.Row32(y)[x])
              << sc.name << " dab " << d[0] << " at " << x << "," << y;
      ExpectChangesInside(before, canvas.work, stroke.render.LastDabRect());
    }
    // The dab at the edge is clipped to the buffer.
    const SPixRect last = stroke.sent.back().rect;
    EXPECT_GE(last.x, 0);
    EXPECT_LE(last.Bottom(), 16);
  }
}

TEST(CPenRender, NothingIsDrawnAtAlphaZeroOrOffTheImage) {
  Canvas canvas(16, 16, 0xFFFFFFFF);
  FakeStroke stroke(kBrushAirbrush, Tip(3), {3, 0, 0}, 0);
  stroke.Begin(canvas, 8, 8);
  const TMTC before(canvas.work);
  EXPECT_FALSE(stroke.Dab(canvas, 8, 8, 0.0f, 1.0f, 3));
  EXPECT_FALSE(stroke.Dab(canvas, -10, 8, 1.0f, 1.0f, 3));
  EXPECT_FALSE(stroke.Dab(canvas, 8, 30, 1.0f, 1.0f, 3));
  EXPECT_FALSE(stroke.Dab(canvas, 8, 8, 1.0f, 1.0f, 600));  // no mask beyond radius 512
  EXPECT_FALSE(stroke.Dab(canvas, NAN, 8, 1.0f, 1.0f, 3));
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) ASSERT_EQ(canvas.At(x, y), before.Row32(y)[x]);
  EXPECT_TRUE(stroke.render.StrokeRect().IsEmpty());
}

TEST(CPenRender, StrokeRectangleCoversEveryChangedPixelOfARotatedBitmapTip) {
  TChannel bmp(24, 6);
  FillAll8(bmp, 0);
  CPenShapeObj tip;
  ASSERT_TRUE(tip.AttachBitmap(bmp));
  tip.params.SetAngle(450);  // 45 degrees: the bar reaches far beyond its unrotated box
  Canvas canvas(40, 40, 0xFFFFFFFF);
  FakeStroke stroke(kBrushAirbrush, Tip(3), {3, 1000, 0}, 0);
  stroke.render.SelectTip(&tip, true);
  stroke.Begin(canvas, 20, 20);
  const TMTC before(canvas.work);
  ASSERT_TRUE(stroke.Dab(canvas, 20.2f, 19.6f, 1.0f, 1.0f, 100));
  ASSERT_TRUE(stroke.Dab(canvas, 3.0f, 37.0f, 1.0f, 1.0f, 150));
  ExpectChangesInside(before, canvas.work, stroke.render.StrokeRect());
  // Near the upper end of the rotated bar, 7 rows above its unrotated box (16.6 .. 22.6).
  EXPECT_NE(canvas.At(28, 12), 0xFFFFFFFFu);
  EXPECT_LE(stroke.render.StrokeRect().y, 12);
  const SPixRect seg = stroke.render.TakeSegmentRect();
  EXPECT_EQ(seg, stroke.render.StrokeRect());
  EXPECT_TRUE(stroke.render.TakeSegmentRect().IsEmpty());
}

TEST(CPenRender, EraserTakesAlphaOrPaintsTheNeutralColourUnderProtection) {
  for (bool protect : {false, true}) {
    Canvas canvas(12, 12, 0xC0336699);
    FakeStroke stroke(kBrushEraser, Tip(2.5), {1, 0, 0}, 0x00FF0000);
    stroke.state.protectTransparency = protect;
    stroke.state.neutralColour = 0x00FFFFFF;
    stroke.Begin(canvas, 6, 6);
    TMTC expected(canvas.work);
    Reference ref({1, 0, 0});
    ASSERT_TRUE(ref.shape.BuildRound(int64_t(2.5 * 65536)));
    const float dabs[][2] = {{5.5f, 5.5f}, {6.8f, 6.1f}};
    for (auto& d : dabs) {
      ASSERT_TRUE(stroke.Dab(canvas, d[0], d[1], 1.0f, 0.8f, 2.5f));
      for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 12; ++x) {
          uint32_t* p = expected.Row32(y) + x;
          const uint8_t c = ref.Coverage(d[0], d[1], 0.8f, x, y);
          *p = protect ? KeepAlpha(*p, 0x00FFFFFF, c) : Erase(*p, c);
        }
    }
    for (int32_t y = 0; y < 12; ++y)
      for (int32_t x = 0; x < 12; ++x)
        ASSERT_EQ(canvas.At(x, y), expected.Row32(y)[x]) << protect << " " << x << "," << y;
    // The stroke's own blend is back after the dab.
    EXPECT_EQ(stroke.render.Writer().Blend(), protect ? PenBlend::kKeepAlpha : PenBlend::kOver);
  }
}

TEST(CPenRender, BurnAndDodgeFollowTheLightnessCurve) {
  for (uint8_t variant : {0, 1}) {
    Canvas canvas(10, 10, 0xFF808080);
    for (int32_t x = 0; x < 10; ++x) canvas.work.Row32(x)[x] = 0xFF20A0C0 + uint32_t(x) * 0x00050301;
    canvas.SyncLayer();
    FakeStroke stroke(kBrushBurnDodge, Tip(3), {3, 500, 0}, 0);
    SPenBrushHead h = stroke.render.BrushHead();
    h.variant = variant;
    h.effect1 = 100;
    stroke.render.SetBrushHead(h);
    stroke.Begin(canvas, 5, 5);
    // Exposure 100: lightness to the power 1.2 (burn) or 1 / 1.2 (dodge).
    const double g = variant == 0 ? 1.2 : 1.0 / 1.2;
    const uint32_t* curve = stroke.render.Writer().LightnessCurve();
    for (int32_t i : {0, 1, 1000, 2046, 2047})
      EXPECT_EQ(curve[i], uint32_t(std::pow(i / 2047.0, g) * 65536.0)) << i;
    TMTC expected(canvas.work);
    Reference ref({3, 500, 0});
    ASSERT_TRUE(ref.shape.BuildRound(3 * 65536));
    ASSERT_TRUE(stroke.Dab(canvas, 4.6f, 5.2f, 1.0f, 0.9f, 3));
    for (int32_t y = 0; y < 10; ++y)
      for (int32_t x = 0; x < 10; ++x) {
        uint32_t* p = expected.Row32(y) + x;
        const uint8_t c = ref.Coverage(4.6f, 5.2f, 0.9f, x, y);
        if (c == 0) continue;
        const HlsColor hls = RgbToHls(*p);
        const int64_t idx = (int64_t(hls.lightness) >> 13) * 2047 / 2040;
        const int32_t l = int32_t(int64_t(std::pow(idx / 2047.0, g) * 65536.0) * 255);
        *p = KeepAlpha(*p, HlsToRgb(hls.hue, l, hls.saturation), c);
      }
    for (int32_t y = 0; y < 10; ++y)
      for (int32_t x = 0; x < 10; ++x)
        ASSERT_EQ(canvas.At(x, y), expected.Row32(y)[x]) << int(variant) << " " << x << "," << y;
    // Burn darkens and dodge lightens the grey at the centre.
    EXPECT_TRUE(variant == 0 ? Ch(canvas.At(4, 5), 0) < 0x80 : Ch(canvas.At(4, 5), 0) > 0x80);
  }
}

// --- the channel pen ------------------------------------------------------------------------------

TEST(CPenRender, ChannelPenCoverageIsThePixelAlignedMaskDrawnTwiceWhenThin) {
  for (float size : {0.3f, 1.5f, 4.0f}) {
    Canvas canvas(16, 16, 0xFFFFFFFF);
    FakeStroke stroke(kBrushAirbrush, Tip(4), {3, 1000, 0}, 0);
    SPenBrushHead h;
    h.channel = 1;
    stroke.render.SetBrushHead(h);
    stroke.Begin(canvas, 8, 8);
    const float x = 7.3f, y = 8.6f, pressure = 0.7f;
    ASSERT_TRUE(stroke.Dab(canvas, x, y, pressure, 0.5f, size)) << size;
    // Coverage only: the working copy is untouched until the composite.
    EXPECT_EQ(canvas.At(7, 8), 0xFFFFFFFFu);
    Reference across({3, 1000, 0}), along({3, 1000, 0});
    const int64_t x16 = int64_t(double(x) * 65536), y16 = int64_t(double(y) * 65536),
                  r16 = int64_t(double(size) * 65536);
    ASSERT_TRUE(across.shape.BuildAligned(x16, y16, true, r16, 100, 0));
    ASSERT_TRUE(along.shape.BuildAligned(x16, y16, false, r16, 100, 0));
    const bool twice = size >= 0.5f && size < 3.0f;
    for (int32_t py = 0; py < 16; ++py)
      for (int32_t px = 0; px < 16; ++px) {
        uint8_t e = along.Coverage(x, y, pressure, px, py);
        if (twice) e = std::max(e, across.Coverage(x, y, pressure, px, py));
        ASSERT_EQ(canvas.coverage.Row8(py)[px], e) << size << " at " << px << "," << py;
      }
  }
}

TEST(CPenRender, ChannelPenAppliesOpacityOnceSoCrossingItselfStaysAtHalf) {
  Canvas canvas(20, 12, 0xFFFFFFFF);
  FakeStroke stroke(kBrushAirbrush, Tip(3), {3, 1000, 0}, 0x00000000);
  SPenBrushHead h;
  h.channel = 1;
  stroke.render.SetBrushHead(h);
  const uint8_t opacityByte = uint8_t(0.5f * 255);  // 127
  auto strokeAcross = [&] {
    stroke.Begin(canvas, 3, 6);
    for (float x = 3; x <= 16; x += 1.0f) stroke.Dab(canvas, x, 6.0f, 1.0f, 0.5f, 3);
    for (float x = 16; x >= 3; x -= 1.0f) stroke.Dab(canvas, x, 6.2f, 1.0f, 0.5f, 3);  // and back over it
    stroke.render.CompositeChannel(canvas.Surface(), stroke.render.StrokeRect(), opacityByte);
  };
  strokeAcross();
  // Full coverage at 50 %: black over white at 127.
  EXPECT_EQ(canvas.coverage.Row8(6)[10], 255);
  EXPECT_EQ(canvas.At(10, 6), Over(0xFFFFFFFF, 0, 127));
  EXPECT_EQ(Ch(canvas.At(10, 6), 0), 128);
  // Each composited pixel is the layer under the pen colour at coverage x opacity.
  for (int32_t y = 0; y < 12; ++y)
    for (int32_t x = 0; x < 20; ++x)
      ASSERT_EQ(canvas.At(x, y), Over(0xFFFFFFFF, 0, Mul8(canvas.coverage.Row8(y)[x], opacityByte)))
          << x << "," << y;
  // The end of the stroke: written back, coverage cleared. A second stroke over it reaches 75 %.
  canvas.SyncLayer();
  FillAll8(canvas.coverage, 0);
  strokeAcross();
  EXPECT_EQ(Ch(canvas.At(10, 6), 0), Lerp8(0, 128, 127));
  EXPECT_NEAR(Ch(canvas.At(10, 6), 0) / 255.0, 0.25, 0.01);
}

// --- blur, smudge, finger ---------------------------------------------------------------------

struct ModeCase {
  const char* name;
  uint8_t mode;
  uint16_t effect1;
};
const ModeCase kSmearModes[] = {
    {"blur 10", kBrushBlur, 10}, {"blur 50", kBrushBlur, 50}, {"blur 100", kBrushBlur, 100},
    {"smudge", kBrushSmudge, 0}, {"finger", kBrushFinger, 0},
};

void SmearStroke(FakeStroke& stroke, Canvas& canvas, float size) {
  stroke.Begin(canvas, 4.2f, 5.1f);
  const float path[][2] = {{4.2f, 5.1f}, {5.7f, 5.9f},  {7.1f, 6.4f},
                           {8.9f, 7.7f}, {10.3f, 9.2f}, {2.0f, 14.5f}};
  for (auto& p : path) stroke.Dab(canvas, p[0], p[1], 1.0f, 0.8f, size);
}

TEST(CPenRender, SmearingAUniformImageLeavesItUniform) {
  for (const ModeCase& mc : kSmearModes)
    for (uint32_t fill : {0xFF4080C0u, 0x80FF2010u}) {
      for (bool protect : {false, true}) {
        Canvas canvas(16, 16, fill);
        FakeStroke stroke(mc.mode, Tip(3.5), {2, 0, 0}, 0x00123456);
        stroke.render.SetEffects(mc.effect1, 0, 0);
        stroke.state.protectTransparency = protect;
        SmearStroke(stroke, canvas, 3.5f);
        for (int32_t y = 0; y < 16; ++y)
          for (int32_t x = 0; x < 16; ++x)
            ASSERT_EQ(canvas.At(x, y), fill) << mc.name << " " << x << "," << y;
      }
    }
}

TEST(CPenRender, SmearingTransparencyLeavesItUntouched) {
  for (const ModeCase& mc : kSmearModes)
    for (bool protect : {false, true}) {
      // Protected smudge and finger paint the pen colour into transparent pixels (keeping them
      // invisible), as every protected pen does; blur has no colour to offer there.
      if (protect && mc.mode != kBrushBlur) continue;
      Canvas canvas(16, 16, 0x00FFFFFF);
      // Some colour bytes under alpha 0 that must not move either.
      for (int32_t x = 0; x < 16; ++x) canvas.work.Row32(3)[x] = 0x00000000u | uint32_t(x) << 4;
      canvas.SyncLayer();
      const TMTC before(canvas.work);
      FakeStroke stroke(mc.mode, Tip(3.5), {3, 0, 0}, 0x00FF0000);
      stroke.render.SetEffects(mc.effect1, 0, 0);
      stroke.state.protectTransparency = protect;
      SmearStroke(stroke, canvas, 3.5f);
      for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x)
          ASSERT_EQ(canvas.At(x, y), before.Row32(y)[x]) << mc.name << " " << protect << " " << x << "," << y;
    }
}

TEST(CPenRender, BlurReadsTheLayerSoASecondPassOverTheSameSpotChangesNothing) {
  Canvas canvas(20, 20, 0xFFFFFFFF);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x)
      if ((x / 2 + y / 3) % 2) canvas.work.Row32(y)[x] = 0xFF000000u | uint32_t(x * 12) << 8;
  canvas.SyncLayer();
  FakeStroke stroke(kBrushBlur, Tip(4), {3, 1000, 0}, 0);
  stroke.render.SetEffects(50, 0, 0);
  stroke.Begin(canvas, 10, 10);
  ASSERT_TRUE(stroke.Dab(canvas, 10.2f, 9.8f, 1.0f, 1.0f, 4));
  EXPECT_EQ(stroke.render.BlurRadius(), 2);  // 50 % of size 4
  const TMTC once(canvas.work);
  ASSERT_TRUE(stroke.Dab(canvas, 10.2f, 9.8f, 1.0f, 1.0f, 4));
  // Where the dab is at full strength the mean of the layer is written again, unchanged.
  Reference ref({3, 1000, 0});
  ASSERT_TRUE(ref.shape.BuildRound(4 * 65536));
  int32_t full = 0;
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x)
      if (ref.Coverage(10.2f, 9.8f, 1.0f, x, y) == 255) {
        ASSERT_EQ(canvas.At(x, y), once.Row32(y)[x]) << x << "," << y;
        ++full;
      }
  EXPECT_GT(full, 20);
  // And that mean is the 5 x 5 alpha-weighted average of the layer.
  int64_t r = 0, g = 0, b = 0, a = 0;
  for (int32_t dy = -2; dy <= 2; ++dy)
    for (int32_t dx = -2; dx <= 2; ++dx) {
      const uint32_t p = canvas.layer.GetPixel(10 + dx, 10 + dy);
      a += Ch(p, 24), r += Ch(p, 24) * Ch(p, 16), g += Ch(p, 24) * Ch(p, 8), b += Ch(p, 24) * Ch(p, 0);
    }
  const uint32_t mean =
      uint32_t(a / 25) << 24 | uint32_t(r / a) << 16 | uint32_t(g / a) << 8 | uint32_t(b / a);
  EXPECT_EQ(canvas.At(10, 10), mean);
}

TEST(CPenRender, BlurWindowsClampToTheImageEdge) {
  // A one-pixel-wide bright column on the left edge: the window reaching past the edge repeats
  // it, so the corner pixel's mean weighs it more than a plain zero padding would.
  Canvas canvas(8, 8, 0xFF000000);
  for (int32_t y = 0; y < 8; ++y) canvas.work.Row32(y)[0] = 0xFFFFFFFF;
  canvas.SyncLayer();
  FakeStroke stroke(kBrushBlur, Tip(2), {3, 1000, 0}, 0);
  stroke.render.SetEffects(50, 0, 0);
  stroke.Begin(canvas, 0.5f, 4.5f);
  ASSERT_TRUE(stroke.Dab(canvas, 0.5f, 4.5f, 1.0f, 1.0f, 2));
  // k = 1: columns -1, 0, 1 -> 255, 255, 0: mean 170 at pixel (0, 4).
  EXPECT_EQ(canvas.At(0, 4), 0xFFAAAAAAu);
}

TEST(CPenRender, BlurRadiusIsTheNearestIntegerWithHalvesUp) {
  struct Case {
    int32_t effect;
    double size;
    int32_t expected;
  };
  const Case cases[] = {
      {50, 5, 3},                  // 2.5
      {10, 15, 2},                 // 1.5
      {10, 25, 3},                 // 2.5
      {50, 4, 2},     {30, 4, 1},  // 1.2
      {100, 3.49, 3}, {0, 8, 0},  {100, NAN, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BlurRadiusFor(c.effect, c.size), c.expected) << c.effect << " " << c.size;
  // The dab takes the same radius.
  Canvas canvas(16, 16, 0xFF808080);
  FakeStroke stroke(kBrushBlur, Tip(5), {3, 1000, 0}, 0);
  stroke.render.SetEffects(50, 0, 0);
  stroke.Begin(canvas, 8, 8);
  stroke.Dab(canvas, 8, 8, 1.0f, 1.0f, 5);
  EXPECT_EQ(stroke.render.BlurRadius(), 3);
}

TEST(CPenRender, BlurThatCannotHaveItsScratchBufferSaysSoAndSkipsTheDab) {
  RecordingNotifySink sink;
  Canvas canvas(40, 40, 0xFFFFFFFF);
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 40; ++x)
      if ((x / 3 + y / 2) % 2) canvas.work.Row32(y)[x] = 0xFF204080;
  canvas.SyncLayer();
  FakeStroke stroke(kBrushBlur, Tip(10), {3, 1000, 0}, 0);
  stroke.Begin(canvas, 20, 20);  // room for kernel radius 1 around radius 10
  ASSERT_TRUE(stroke.Dab(canvas, 20, 20, 1.0f, 1.0f, 10));
  stroke.render.SetEffects(100, 0, 0);  // kernel radius 10 needs a bigger buffer
  const TMTC before(canvas.work);
  {
    ScopedAllocFailure fail(0);
    EXPECT_FALSE(stroke.Dab(canvas, 20, 20, 1.0f, 1.0f, 10));
  }
  ASSERT_EQ(sink.warnings.size(), 1u);
  EXPECT_EQ(sink.warnings[0], "メモリ不足によりぼかしの実行に失敗しました！");
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 40; ++x) ASSERT_EQ(canvas.At(x, y), before.Row32(y)[x]) << x << "," << y;
  EXPECT_EQ(stroke.render.Writer().Blend(), stroke.render.Writer().StrokeBlend());
  // The next dab tries again.
  EXPECT_TRUE(stroke.Dab(canvas, 20, 20, 1.0f, 1.0f, 10));
  EXPECT_EQ(sink.warnings.size(), 1u);
}

TEST(CPenTC, CaptureRepeatsTheEdgePixelsOutsideTheImage) {
  TMTC work(6, 5);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 6; ++x) work.Row32(y)[x] = 0xFF000000u | uint32_t(x) << 16 | uint32_t(y) << 8;
  CPenTC buffer;
  ASSERT_TRUE(buffer.Capture(work, 1.5, 4.25, 2.2));
  // Side 2 x (ceiling(2.2) + 3) + 1 = 13, centred on the truncated position (1, 4).
  EXPECT_EQ(buffer.side, 13);
  EXPECT_EQ(buffer.originX, 1 - 6);
  EXPECT_EQ(buffer.originY, 4 - 6);
  EXPECT_DOUBLE_EQ(buffer.fracX, 0.5);
  EXPECT_DOUBLE_EQ(buffer.fracY, 0.25);
  for (int32_t dy = -6; dy <= 6; ++dy)
    for (int32_t dx = -6; dx <= 6; ++dx) {
      uint32_t p = 0;
      ASSERT_TRUE(buffer.At(dx, dy, p));
      const int32_t ex = std::clamp(1 + dx, 0, 5), ey = std::clamp(4 + dy, 0, 4);
      ASSERT_EQ(p, work.Row32(ey)[ex]) << dx << "," << dy;
    }
  uint32_t p;
  EXPECT_FALSE(buffer.At(7, 0, p));
  EXPECT_FALSE(buffer.At(0, -7, p));
}

TEST(CPenRender, FingerStampsNothingUntilThePositionFirstChanges) {
  Canvas canvas(16, 16, 0xFFFFFFFF);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 8; ++x) canvas.work.Row32(y)[x] = 0xFF000000;
  canvas.SyncLayer();
  FakeStroke stroke(kBrushFinger, Tip(3), {3, 1000, 0}, 0);
  stroke.Begin(canvas, 6.2f, 8.5f);
  EXPECT_FALSE(stroke.Dab(canvas, 6.7f, 8.9f, 1.0f, 1.0f, 3));  // same truncated position
  EXPECT_EQ(stroke.state.fingerCount, 0);
  // Moving right drags the black captured at (6, 8) over the white at (9, 8).
  EXPECT_TRUE(stroke.Dab(canvas, 9.2f, 8.5f, 1.0f, 1.0f, 3));
  EXPECT_EQ(stroke.state.fingerCount, 1);
  EXPECT_EQ(canvas.At(9, 8), 0xFF000000u);
  // The smudge pen starts stamping at once (its start buffer).
  Canvas c2(16, 16, 0xFFFFFFFF);
  FakeStroke smudge(kBrushSmudge, Tip(3), {3, 1000, 0}, 0);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 8; ++x) c2.work.Row32(y)[x] = 0xFF000000;
  c2.SyncLayer();
  smudge.Begin(c2, 6.2f, 8.5f);
  EXPECT_TRUE(smudge.Dab(c2, 9.2f, 8.5f, 1.0f, 1.0f, 3));
  EXPECT_EQ(c2.At(9, 8), 0xFF000000u);
}

TEST(CPenRender, SmudgeOffsetsAreTakenFromTheTruncatedPositionsAlsoLeftOfTheImage) {
  // Columns of distinct opaque colours; the buffer is captured at (5, 5) and carried to a dab
  // whose centre lies left of the image, at x = -0.4 (truncated: 0).
  Canvas canvas(16, 12, 0);
  for (int32_t y = 0; y < 12; ++y)
    for (int32_t x = 0; x < 16; ++x) canvas.work.Row32(y)[x] = 0xFF000000u | uint32_t(x * 15) << 16 | 0x40u;
  canvas.SyncLayer();
  const TMTC before(canvas.work);
  FakeStroke stroke(kBrushSmudge, Tip(3), {3, 1000, 0}, 0);
  stroke.Begin(canvas, 5.3f, 5.5f);
  ASSERT_TRUE(stroke.Dab(canvas, -0.4f, 5.5f, 1.0f, 1.0f, 3));
  Reference ref({3, 1000, 0});
  ASSERT_TRUE(ref.shape.BuildRound(3 * 65536));
  for (int32_t y = 2; y < 9; ++y)
    for (int32_t x = 0; x < 3; ++x) {
      const uint8_t c = ref.Coverage(-0.4f, 5.5f, 1.0f, x, y);
      // Offset (x - 0, y - 5) from the dab is the same offset from the capture at (5, 5).
      const uint32_t src = before.Row32(y)[5 + x];
      const uint32_t a = Lerp8(Ch(src, 24), Ch(before.Row32(y)[x], 24), c);
      const uint32_t expected = c == 0 ? before.Row32(y)[x] : a << 24 | Mix(src, before.Row32(y)[x], c);
      ASSERT_EQ(canvas.At(x, y), expected) << x << "," << y;
    }
}

// --- watercolour ---------------------------------------------------------------------------------

TEST(CPenRender, WatercolourWithoutChangeLengthOrSurroundUsesThePenColour) {
  Canvas canvas(16, 16, 0xFF80C0FF);
  FakeStroke stroke(kBrushWatercolour, Tip(3), {3, 0, 0}, 0x00204060);
  stroke.render.SetEffects(100, 0, 0);
  stroke.Begin(canvas, 8, 8);
  // Effect 1 = 100: the stroke starts with the canvas colour, averaged over 11 x 11.
  EXPECT_EQ(stroke.state.startColour, 0x0080C0FFu);
  EXPECT_EQ(stroke.state.pickedColour, 0x0080C0FFu);
  ASSERT_TRUE(stroke.Dab(canvas, 8.3f, 7.6f, 1.0f, 1.0f, 3));
  EXPECT_EQ(stroke.state.currentColour, 0x00204060u);
  // The stamp is the pen colour at 0.35 of the alpha (x 22937 / 65536).
  Reference ref({3, 0, 0});
  ASSERT_TRUE(ref.shape.BuildRound(3 * 65536));
  const int64_t a16 = 65536 * 22937 / 65536;
  const int64_t x16 = int64_t(8.3 * 65536.0f), y16 = int64_t(double(7.6f) * 65536);
  for (int32_t y = 4; y < 12; ++y)
    for (int32_t x = 4; x < 12; ++x) {
      const uint64_t m =
          ref.shape.Sample(int64_t(x) * 65536 - x16 + 0x8000, int64_t(y) * 65536 - y16 + 0x8000);
      ASSERT_EQ(canvas.At(x, y), Over(0xFF80C0FF, 0x00204060, uint32_t((m * uint64_t(a16)) >> 32)))
          << x << "," << y;
    }
}

TEST(CPenRender, WatercolourPickUpAtTheEdgeRepeatsTheEdgePixels) {
  Canvas canvas(20, 20, 0);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x)
      canvas.work.Row32(y)[x] = 0xFF000000u | uint32_t(x * 10) << 16 | uint32_t(y * 10) << 8 | 50u;
  canvas.SyncLayer();
  FakeStroke stroke(kBrushWatercolour, Tip(3), {3, 0, 0}, 0x00FFFFFF);
  stroke.render.SetEffects(100, 0, 0);
  stroke.Begin(canvas, 0.7f, 19.4f);
  // The 11 x 11 pixels around (0, 19), each coordinate clamped into the image.
  uint32_t r = 0, g = 0, b = 0;
  for (int32_t j = -5; j <= 5; ++j)
    for (int32_t i = -5; i <= 5; ++i) {
      const uint32_t p = canvas.At(std::clamp(i, 0, 19), std::clamp(19 + j, 0, 19));
      r += Ch(p, 16), g += Ch(p, 8), b += Ch(p, 0);
    }
  const uint32_t picked = (r / 121) << 16 | (g / 121) << 8 | (b / 121);
  EXPECT_EQ(stroke.state.pickedColour, picked);
  EXPECT_EQ(stroke.state.startColour, picked);  // effect 1 = 100: the canvas colour
  EXPECT_EQ(stroke.state.runningR16, int32_t(r / 121) << 16);
  EXPECT_EQ(stroke.state.runningB16, int32_t(50) << 16);
}

TEST(CPenRender, WatercolourRunningColourMovesInFixedSteps) {
  // Grey 100 where the stroke starts, grey 200 where it paints.
  Canvas canvas(48, 16, 0xFFC8C8C8);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) canvas.work.Row32(y)[x] = 0xFF646464;
  canvas.SyncLayer();
  const uint32_t pen = 0x00000000;
  FakeStroke stroke(kBrushWatercolour, Tip(3), {3, 0, 0}, pen);
  stroke.render.SetEffects(0, 7, 0);  // step 0.7 per dab, mixed in at trunc(7 x 2.55) = 17
  stroke.state.opacity = 0.01f;       // 0.35 x 0.01 of the mask: nothing is painted
  stroke.Begin(canvas, 5, 8);
  ASSERT_EQ(stroke.state.runningG16, 100 << 16);
  const TMTC before(canvas.work);
  const int64_t step = 7 * 65536 / 10, target = int64_t(200) << 16;
  for (int32_t k = 1; k <= 150; ++k) {
    stroke.Dab(canvas, 32, 8, 1.0f, 0.01f, 3);
    // 16.16 steps, the last one landing exactly on the sample.
    const int64_t expected = std::min<int64_t>((int64_t(100) << 16) + k * step, target);
    ASSERT_EQ(stroke.state.runningG16, expected) << k;
    const uint32_t byte = uint32_t(expected >> 16);
    ASSERT_EQ(stroke.state.currentColour, Mix(byte << 16 | byte << 8 | byte, pen, 17)) << k;
  }
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 48; ++x) ASSERT_EQ(canvas.At(x, y), before.Row32(y)[x]);
}

TEST(CPenRender, WatercolourSamplesOnePixelBeyondTheDabExtent) {
  // Size 3.5 gives an extent of ceiling(3.5) = 4: a dab at (30.2, 8.3) samples (30.2, 5.3),
  // (30.2, 13.3), (27.2, 8.3) and (35.2, 8.3), i.e. pixels (30, 5), (30, 13), (27, 8), (35, 8).
  // Two of them are 200, so the mean of the four is 150; the rest of the canvas is 100.
  Canvas canvas(48, 20, 0xFF646464);
  canvas.work.Row32(13)[30] = 0xFFC8C8C8;
  canvas.work.Row32(8)[35] = 0xFFC8C8C8;
  canvas.SyncLayer();
  FakeStroke stroke(kBrushWatercolour, Tip(3.5), {3, 0, 0}, 0);
  stroke.render.SetEffects(0, 100, 0);  // the running colour moves by up to 10 per dab
  stroke.state.opacity = 0.01f;
  stroke.Begin(canvas, 6, 8);
  ASSERT_EQ(stroke.state.runningR16, 100 << 16);
  int32_t w, h;
  stroke.render.DabExtent(3.5, w, h);
  ASSERT_EQ(w, 4);
  stroke.Dab(canvas, 30.2f, 8.3f, 1.0f, 0.01f, 3.5f);
  EXPECT_EQ(stroke.state.runningR16, 110 << 16);  // towards 150, one step of 10
  EXPECT_EQ(stroke.state.runningB16, 110 << 16);
}

TEST(CPenRender, WatercolourMixesTowardsTheSurroundingColour) {
  Canvas canvas(24, 24, 0xFF0000FF);
  FakeStroke stroke(kBrushWatercolour, Tip(3), {3, 0, 0}, 0x00FF0000);
  stroke.render.SetEffects(0, 100, 0);  // start with the pen colour; surround moves 10 per dab
  stroke.Begin(canvas, 12, 12);
  EXPECT_EQ(stroke.state.startColour, 0x00FF0000u);
  ASSERT_TRUE(stroke.Dab(canvas, 12, 12, 1.0f, 1.0f, 3));
  // Running colour started at the canvas blue: the samples are blue, so it stays blue, and
  // effect 2 = 100 takes the current colour all the way to it.
  EXPECT_EQ(stroke.state.currentColour, 0x000000FFu);
}

// --- rules every mode keeps ------------------------------------------------------------------------

struct AnyMode {
  const char* name;
  uint8_t mode, channel;
  uint16_t effect1;
};
const AnyMode kAllModes[] = {
    {"stamp", kBrushAirbrush, 0, 0},  {"watercolour", kBrushWatercolour, 0, 50},
    {"blur", kBrushBlur, 0, 60},      {"eraser", kBrushEraser, 0, 0},
    {"smudge", kBrushSmudge, 0, 0},   {"finger", kBrushFinger, 0, 0},
    {"burn", kBrushBurnDodge, 0, 80}, {"pencil", kBrushAirbrush, 1, 0},
};

// A varied picture: colours and alphas from a pattern, some fully transparent.
void Paint(Canvas& c) {
  for (int32_t y = 0; y < c.work.Height(); ++y)
    for (int32_t x = 0; x < c.work.Width(); ++x) {
      const uint32_t a = (x * 37 + y * 11) % 5 == 0 ? 0 : uint32_t(60 + (x * 13 + y * 29) % 196);
      c.work.Row32(y)[x] = a << 24 | uint32_t(x * 15) << 16 | uint32_t(y * 15) << 8 | uint32_t((x + y) * 7);
    }
  c.SyncLayer();
}

void RunMode(const AnyMode& m, Canvas& canvas, FakeStroke& stroke) {
  stroke.Begin(canvas, 5.5f, 5.5f);
  const float path[][2] = {{5.5f, 5.5f}, {6.4f, 6.1f}, {7.8f, 7.3f}, {9.6f, 8.2f}, {11.1f, 9.9f}};
  for (auto& p : path) stroke.Dab(canvas, p[0], p[1], 1.0f, 0.9f, 3.5f);
  if (m.channel) stroke.render.CompositeChannel(canvas.Surface(), stroke.render.StrokeRect(), 230);
}

FakeStroke& Configure(FakeStroke& s, const AnyMode& m) {
  SPenBrushHead h;
  h.mode = m.mode;
  h.channel = m.channel;
  h.effect1 = m.effect1;
  s.render.SetBrushHead(h);
  return s;
}

TEST(CPenRender, ProtectedTransparencyNeverChangesAlpha) {
  for (const AnyMode& m : kAllModes) {
    Canvas canvas(16, 16, 0);
    Paint(canvas);
    const TMTC before(canvas.work);
    FakeStroke stroke(m.mode, Tip(3.5), {3, 300, 0}, 0x00FF8000);
    Configure(stroke, m);
    stroke.state.protectTransparency = true;
    RunMode(m, canvas, stroke);
    int32_t changed = 0;
    for (int32_t y = 0; y < 16; ++y)
      for (int32_t x = 0; x < 16; ++x) {
        ASSERT_EQ(Ch(canvas.At(x, y), 24), Ch(before.Row32(y)[x], 24)) << m.name << " " << x << "," << y;
        changed += canvas.At(x, y) != before.Row32(y)[x];
      }
    EXPECT_GT(changed, 0) << m.name;  // colour did change
  }
}

TEST(CPenRender, AZeroSelectionMaskBlocksEveryWrite) {
  for (const AnyMode& m : kAllModes) {
    Canvas canvas(16, 16, 0);
    Paint(canvas);
    const TMTC before(canvas.work);
    CMaskData mask;
    ASSERT_TRUE(mask.CreateChannel(16, 16));
    mask.channel->FillAll(0);
    FakeStroke stroke(m.mode, Tip(3.5), {3, 300, 0}, 0x00FF8000);
    Configure(stroke, m);
    stroke.render.Writer().SetMask(&mask, 0, 0);
    RunMode(m, canvas, stroke);
    for (int32_t y = 0; y < 16; ++y)
      for (int32_t x = 0; x < 16; ++x)
        ASSERT_EQ(canvas.At(x, y), before.Row32(y)[x]) << m.name << " " << x << "," << y;
  }
}

TEST(CPenRender, SelectionMaskLimitsThePaintWithItsOffset) {
  Canvas canvas(16, 16, 0xFFFFFFFF);
  CMaskData mask;
  ASSERT_TRUE(mask.CreateChannel(16, 16));
  mask.channel->FillAll(0);
  // Channel columns 10..15 selected, at 128; the layer sits 3 pixels right of the mask.
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 10; x < 16; ++x) mask.channel->SetPixel(x, y, 128);
  FakeStroke stroke(kBrushAirbrush, Tip(6), {3, 1000, 0}, 0);
  stroke.render.Writer().SetMask(&mask, 3, 0);
  stroke.Begin(canvas, 8, 8);
  ASSERT_TRUE(stroke.Dab(canvas, 8, 8, 1.0f, 1.0f, 6));
  EXPECT_EQ(canvas.At(6, 8), 0xFFFFFFFFu);               // channel column 9
  EXPECT_EQ(canvas.At(7, 8), Over(0xFFFFFFFF, 0, 128));  // channel column 10, full dab
  EXPECT_EQ(canvas.At(12, 8), Over(0xFFFFFFFF, 0, 128));
}

TEST(CPenRender, AZeroToneBlocksInkAndAToneLetsItThroughItsPattern) {
  for (const AnyMode& m : kAllModes) {
    if (m.mode == kBrushBlur || m.mode == kBrushSmudge || m.mode == kBrushFinger) continue;  // not ink
    Canvas canvas(16, 16, 0);
    Paint(canvas);
    const TMTC before(canvas.work);
    CToneMngr tones;
    TChannel zero(4, 4);
    FillAll8(zero, 0);
    ASSERT_EQ(tones.AddBitmap(zero, 100, 0, 0), 0);
    tones.Select(0);
    FakeStroke stroke(m.mode, Tip(3.5), {3, 300, 0}, 0x00FF8000);
    Configure(stroke, m);
    stroke.state.useTone = true;
    stroke.render.Writer().SetTone(&tones, 0, 0);
    RunMode(m, canvas, stroke);
    for (int32_t y = 0; y < 16; ++y)
      for (int32_t x = 0; x < 16; ++x)
        ASSERT_EQ(canvas.At(x, y), before.Row32(y)[x]) << m.name << " " << x << "," << y;
  }
  // Stripes: ink lands on the even columns only.
  Canvas canvas(16, 16, 0xFFFFFFFF);
  CToneMngr tones;
  TChannel stripes(2, 1);
  stripes.Row8(0)[0] = 255;
  stripes.Row8(0)[1] = 0;
  ASSERT_EQ(tones.AddBitmap(stripes, 100, 0, 0), 0);
  tones.Select(0);
  FakeStroke stroke(kBrushAirbrush, Tip(5), {3, 1000, 0}, 0);
  stroke.state.useTone = true;
  stroke.render.Writer().SetTone(&tones, 0, 0);
  stroke.Begin(canvas, 8, 8);
  ASSERT_TRUE(stroke.Dab(canvas, 8, 8, 1.0f, 1.0f, 5));
  EXPECT_EQ(canvas.At(8, 8), 0xFF000000u);
  EXPECT_EQ(canvas.At(9, 8), 0xFFFFFFFFu);
  EXPECT_EQ(canvas.At(6, 7), 0xFF000000u);
}

struct Stripes : IGradationSource {
  uint32_t ColourAt(int32_t x, int32_t) const override { return x < 8 ? 0xFF0000FFu : 0x80FF0000u; }
};

TEST(CPenRender, GradationGivesTheColourAndItsAlphaUnlessToned) {
  Stripes grad;
  for (bool toned : {false, true}) {
    Canvas canvas(16, 16, 0xFFFFFFFF);
    CToneMngr tones;
    TChannel full(1, 1);
    full.Row8(0)[0] = 255;
    tones.AddBitmap(full, 100, 0, 0);
    tones.Select(0);
    FakeStroke stroke(kBrushAirbrush, Tip(6), {3, 1000, 0}, 0x0000FF00);
    stroke.state.useGradation = true;
    stroke.state.useTone = toned;
    stroke.render.Writer().SetGradation(&grad, 0, 0);
    stroke.render.Writer().SetTone(&tones, 0, 0);
    stroke.Begin(canvas, 8, 8);
    ASSERT_TRUE(stroke.Dab(canvas, 8, 8, 1.0f, 1.0f, 6));
    EXPECT_EQ(canvas.At(6, 8), 0xFF0000FFu);
    EXPECT_EQ(canvas.At(10, 8), toned ? 0xFFFF0000u : Over(0xFFFFFFFF, 0x00FF0000, 0x80));
  }
}

// --- tables, settings and sizes ---------------------------------------------------------------------

TEST(CPenRender, AirMapProfiles) {
  CPenRender r;
  EXPECT_EQ(r.AirMapIndex(), 3);
  auto fixed = [](double v) { return uint32_t(v * 65536.0); };
  struct Case {
    int32_t index, i;
    double value;
  };
  const Case cases[] = {
      {0, 0, 255},
      {0, 1843, 255},
      {0, 1844, 255},
      {0, 2047, 0},
      {0, 1945, 255 - 255.0 * 101 / 203},
      {1, 0, 255},
      {1, 2047, 0},
      {1, 1024, 255 * std::sqrt(1 - (1024 / 2047.0) * (1024 / 2047.0))},
      {2, 1024, 255 * (2 * std::pow(1024 / 2047.0, 3) - 3 * std::pow(1024 / 2047.0, 2) + 1)},
      {3, 1024, 255 * (1 - 1024 / 2047.0)},
      {4, 0, 255},
      {4, 2047, 0},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(r.SelectAirMap(c.index));
    EXPECT_NEAR(double(r.AirMap()[c.i]), double(fixed(c.value)), 1.0) << c.index << " " << c.i;
  }
  EXPECT_FALSE(r.SelectAirMap(5));
  EXPECT_FALSE(r.SelectAirMap(-1));
  EXPECT_EQ(r.AirMapIndex(), 4);
}

TEST(CPenRender, BrushHeadAndTipSettersClampAndReportChanges) {
  CPenRender r;
  SPenBrushHead raw;
  raw.mode = 200;
  raw.variant = 9;
  raw.pixelAligned = 7;
  raw.effect1 = 500;
  EXPECT_TRUE(r.SetBrushHead(raw));
  EXPECT_EQ(r.BrushHead().mode, kBrushBurnDodge);
  EXPECT_EQ(r.BrushHead().variant, 1);
  EXPECT_EQ(r.BrushHead().pixelAligned, 1);
  EXPECT_EQ(r.BrushHead().effect1, 100);
  EXPECT_FALSE(r.SetBrushHead(raw));
  EXPECT_TRUE(r.SetEffects(-5, 30, 101));
  EXPECT_EQ(r.BrushHead().effect1, 0);
  EXPECT_EQ(r.BrushHead().effect3, 100);
  EXPECT_FALSE(r.SetEffects(0, 30, 100));
  EXPECT_TRUE(r.SetTipParams({1, 5, 7200, 0}));
  const PenTipParams clamped{10, 10, 0, 10};
  EXPECT_EQ(r.TipParams(), clamped);
  EXPECT_FALSE(r.SetTipParams({1, 5, 7200, 0}));
}

TEST(CPenRender, SizeQueriesForProceduralAndBitmapTips) {
  CPenRender r;
  r.SetTipParams({2000, 1000, 0, 250});  // radius 20, minimum 25 %
  EXPECT_DOUBLE_EQ(r.MaximumSize(), 20.0);
  EXPECT_DOUBLE_EQ(r.MinimumSize(20.0), 5.0);
  EXPECT_DOUBLE_EQ(r.SpacingTerm(0.1), 2.0);
  int32_t w, h;
  r.DabExtent(3.2, w, h);
  EXPECT_EQ(w, 4);
  EXPECT_EQ(h, 4);

  TChannel bmp(40, 20);
  CPenShapeObj tip;
  ASSERT_TRUE(tip.AttachBitmap(bmp));  // range 20..500
  ASSERT_TRUE(tip.SetSizePercent(300));
  tip.params.SetMinimum(500);  // half way, in tenths of a percent
  r.SelectTip(&tip, true);
  ASSERT_TRUE(r.HasBitmapTip());
  SPenStrokeState st;
  r.SetStroke(&st);
  TMTC work(64, 64);
  SPenSurface s{&work, nullptr, nullptr};
  r.BeginStroke(s, 32, 32);
  EXPECT_DOUBLE_EQ(r.MaximumSize(), 300.0);
  EXPECT_DOUBLE_EQ(r.MinimumSize(300.0), 20 + 0.5 * (300 - 20));
  EXPECT_DOUBLE_EQ(r.SpacingTerm(0.1), 0.1 * 40 * 300 * 0.01);
  r.DabExtent(150, w, h);
  EXPECT_EQ(w, 30);  // ceiling(40 x 150 x 0.005)
  EXPECT_EQ(h, 15);
  // A dab at another size re-sizes the tip copy, but the stroke keeps measuring from its start.
  EXPECT_TRUE(r.ColourDab(s, 32, 32, 1.0f, 0, 120));
  EXPECT_EQ(r.Tip().SizePercent(), 120);
  EXPECT_DOUBLE_EQ(r.MaximumSize(), 300.0);
  EXPECT_DOUBLE_EQ(r.MinimumSize(300.0), 160.0);
  // A size outside the tip's range draws nothing.
  EXPECT_FALSE(r.ColourDab(s, 32, 32, 1.0f, 0, 600));
  r.Finish();
  EXPECT_EQ(r.Tip().SizePercent(), 300);
  EXPECT_EQ(tip.SizePercent(), 300);  // the list's tip was never touched
}

TEST(CPenRender, RenderersShareNoState) {
  CPenRender live, replay;
  SPenStrokeState a, b;
  live.SetStroke(&a);
  replay.SetStroke(&b);
  SPenBrushHead burn;
  burn.mode = kBrushBurnDodge;
  burn.effect1 = 100;
  live.SetBrushHead(burn);
  SPenBrushHead dodge = burn;
  dodge.variant = 1;
  dodge.effect1 = 30;
  replay.SetBrushHead(dodge);
  TMTC work(8, 8);
  SPenSurface s{&work, nullptr, nullptr};
  live.BeginStroke(s, 4, 4);
  const uint32_t liveCurve = live.Writer().LightnessCurve()[1000];
  a.protectTransparency = false;
  b.protectTransparency = true;
  replay.BeginStroke(s, 4, 4);
  EXPECT_EQ(live.Writer().LightnessCurve()[1000], liveCurve);
  EXPECT_NE(replay.Writer().LightnessCurve()[1000], liveCurve);
  EXPECT_EQ(live.Writer().StrokeBlend(), PenBlend::kOver);
  EXPECT_EQ(replay.Writer().StrokeBlend(), PenBlend::kKeepAlpha);
  live.SelectAirMap(0);
  EXPECT_EQ(replay.AirMapIndex(), 3);
  live.SetDensityProfile({0, 0, 0});
  EXPECT_NE(live.DensityMap()[1000], replay.DensityMap()[1000]);
}

// --- writer pieces -------------------------------------------------------------------------------------

TEST(CPenWriter, ChannelWriteKeepsTheStrongestAndAppliesMaskAndTone) {
  CPenWriter w;
  uint8_t p = 100;
  w.WriteChannel(&p, 0, 0, 80, 255);
  EXPECT_EQ(p, 100);
  w.WriteChannel(&p, 0, 0, 200, 255);
  EXPECT_EQ(p, 200);
  w.WriteChannel(&p, 0, 0, 255, 128);
  EXPECT_EQ(p, 200);
  CMaskData mask;
  ASSERT_TRUE(mask.CreateChannel(4, 4));
  mask.channel->FillAll(100);
  mask.offsetX = 1;  // channel = paper + 1
  CToneMngr tones;
  TChannel t(1, 1);
  t.Row8(0)[0] = 200;
  tones.AddBitmap(t, 100, 0, 0);
  tones.Select(0);
  w.SetMask(&mask, 1, 0);
  w.SetTone(&tones, 0, 0);
  w.Setup(true, false, false);
  EXPECT_TRUE(w.Masked());
  EXPECT_TRUE(w.Toned());
  uint8_t q = 0;
  w.WriteChannel(&q, 2, 1, 255, 255);
  EXPECT_EQ(q, Mul8(Mul8(255, 100), 200));
  uint8_t row[6] = {};
  uint8_t cov[6] = {255, 255, 255, 255, 255, 255};
  w.WriteChannelRow(row, -2, 1, 6, cov, 255);
  // Channel columns -1..4: only 0..3 exist.
  const uint8_t inside = Mul8(Mul8(255, 100), 200);
  const uint8_t expected[6] = {0, inside, inside, inside, inside, 0};
  for (int32_t i = 0; i < 6; ++i) EXPECT_EQ(row[i], expected[i]) << i;
}

TEST(CPenWriter, BlendFormulas) {
  struct Case {
    PenBlend blend;
    uint32_t p, colour, c, expected;
  };
  const Case cases[] = {
      {PenBlend::kOver, 0xFF808080, 0x00000000, 0, 0xFF808080},
      {PenBlend::kOver, 0x10808080, 0x00204060, 255, 0xFF204060},
      {PenBlend::kOver, 0x00FFFFFF, 0x00204060, 100, 100u << 24 | 0x204060},  // a' = c, t = 255
      {PenBlend::kOver, 0x80FFFFFF, 0x00000000, 128,
       uint32_t(128 + Mul8(128, 127)) << 24 | Mix(0, 0xFFFFFF, 128 * 255 / (128 + Mul8(128, 127)))},
      {PenBlend::kKeepAlpha, 0x40FFFFFF, 0x00000000, 255, 0x40000000},
      {PenBlend::kErase, 0xC0123456, 0, 128, uint32_t(0xC0 - Mul8(128, 0xC0)) << 24 | 0x123456},
      {PenBlend::kCarry, 0x00FFFFFF, 0x00000000, 200, 0x00FFFFFF},  // both transparent: nothing moves
      {PenBlend::kCarry, 0xFF000000, 0x80FFFFFF, 255, 0x80FFFFFF},
      {PenBlend::kCarry, 0xFF000000, 0x00FFFFFF, 51,
       uint32_t(Lerp8(0, 255, 51)) << 24 | Mix(0xFFFFFF, 0, 51)},
  };
  for (const Case& c : cases) {
    CPenWriter w;
    w.SetBlend(c.blend);
    uint32_t p = c.p;
    w.WriteColour(&p, 0, 0, uint8_t(c.c), c.colour);
    EXPECT_EQ(p, c.expected) << int(c.blend) << " " << std::hex << c.p;
    uint32_t row[1] = {c.p};
    uint8_t cov[1] = {uint8_t(c.c)};
    w.WriteColourRow(row, 0, 0, 1, cov, c.colour);
    EXPECT_EQ(row[0], c.expected) << "row form " << int(c.blend);
  }
}

TEST(CPenWriter, RowFormsMatchThePixelFormsOnMixedRows) {
  // Runs of opaque and translucent pixels with coverages of every kind, rows of odd lengths,
  // so that both the four-at-a-time path and the tails are taken.
  uint32_t seed = 99;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (PenBlend blend : {PenBlend::kOver, PenBlend::kKeepAlpha}) {
    CPenWriter w;
    w.SetBlend(blend);
    for (int32_t n : {1, 3, 4, 7, 16, 37}) {
      std::vector<uint32_t> row(static_cast<size_t>(n)), expected(static_cast<size_t>(n));
      std::vector<uint8_t> cov(static_cast<size_t>(n));
      for (int32_t i = 0; i < n; ++i) {
        const uint32_t r = next();
        row[size_t(i)] = (i / 5) % 2 ? (r | 0xFF000000u) : r;
        cov[size_t(i)] = uint8_t(i % 7 == 0 ? 0 : i % 7 == 1 ? 255 : next() >> 24);
      }
      const uint32_t colour = next() & 0x00FFFFFFu;
      for (int32_t i = 0; i < n; ++i) {
        expected[size_t(i)] = row[size_t(i)];
        w.WriteColour(&expected[size_t(i)], i, 0, cov[size_t(i)], colour);
      }
      w.WriteColourRow(row.data(), 0, 0, n, cov.data(), colour);
      for (int32_t i = 0; i < n; ++i)
        ASSERT_EQ(row[size_t(i)], expected[size_t(i)]) << int(blend) << " n=" << n << " " << i;
    }
  }
}

}  // namespace
}  // namespace tintara
