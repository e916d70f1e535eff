// One brush dab at a time on a 4096 x 4096 opaque picture: the renderer's stamp with a
// round anti-aliased tip (full density to the rim), the over blend at alpha 0.5, at random
// sub-pixel centres, with the mask cache warm (same radius every dab) and cold (the mask
// rebuilt for every dab). Beside it libmypaint's mypaint_surface_draw_dab on a fixed tiled
// surface of the same size at the same radii (hardness 1, opaque 0.5, aspect 1), single
// threaded; its queued dabs are processed every 16 dabs, inside the timing. Variants at
// radius 8 and 32: an elliptical tip, a bitmap tip, a masked and toned write, and the blur
// mode at effect 10, 50 and 100. The table at the end gives dabs per second and our speed
// over libmypaint's (above 1: we are faster).
#include <benchmark/benchmark.h>
#include <mypaint-fixed-tiled-surface.h>
#include <mypaint-surface.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "document/Mask.h"
#include "paint/PenRender.h"
#include "paint/Tone.h"
#include "pixel/ChannelOps.h"
#include "pixel/ColorOps.h"

extern "C" void omp_set_num_threads(int);

namespace tintara {
namespace {

constexpr int32_t kSide = 4096;
constexpr int32_t kCentres = 4096;
constexpr int32_t kRadii[] = {1, 2, 4, 8, 16, 32, 64, 128};

std::vector<float> Centres(int32_t radius) {
  std::mt19937 rng(uint32_t(7919 * radius + 1));
  std::uniform_real_distribution<float> pos(float(radius) + 1, float(kSide - radius - 1));
  std::vector<float> xy(size_t(2 * kCentres));
  for (float& v : xy) v = pos(rng);
  return xy;
}

// The picture, shared by all our benchmarks: a working copy and the layer it came from.
struct Picture {
  TMTC work{kSide, kSide};
  TChannel coverage;
  CBlockVMTC layer{kSide, kSide};
  Picture() {
    uint32_t s = 12345;
    for (int32_t y = 0; y < kSide; ++y) {
      uint32_t* row = work.Row32(y);
      for (int32_t x = 0; x < kSide; ++x) {
        s = s * 1664525u + 1013904223u;
        row[x] = 0xFF000000u | (s >> 8);
      }
    }
    layer.WriteRect(work, {0, 0}, 255, work.Bounds());
  }
  SPenSurface Surface() { return {&work, &coverage, &layer}; }
};

Picture& Shared() {
  static Picture p;
  return p;
}

enum class Variant { kRound, kEllipse, kBitmap, kMaskedToned, kBlur };

struct Setup {
  SPenStrokeState stroke;
  CPenRender render;
  CPenShapeObj bitmapTip;
  CMaskData mask;
  CToneMngr tones;
  float size = 0;

  Setup(Variant v, int32_t radius, int32_t effect) {
    SPenBrushHead head;
    head.mode = v == Variant::kBlur ? kBrushBlur : kBrushAirbrush;
    head.effect1 = uint16_t(effect);
    render.SetBrushHead(head);
    PenTipParams tip;
    tip.radius100 = radius * 100;
    if (v == Variant::kEllipse) tip.aspect = 400, tip.angle = 300;
    render.SetTipParams(tip);
    render.SetDensityProfile({3, 1000, 0});
    stroke.colour = 0x00204080;
    render.SetStroke(&stroke);
    size = float(radius);
    if (v == Variant::kBitmap) {
      // A 64 x 64 disc, sized so that its radius is the dab radius.
      TChannel disc(64, 64);
      FillAll8(disc, 0);
      DrawDisc8(disc, 32, 32, 31.5, 255, true, false);
      for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x) disc.Row8(y)[x] = uint8_t(255 - disc.Row8(y)[x]);
      bitmapTip.AttachBitmap(disc);
      bitmapTip.SetSizePercent(radius * 200 / 64);
      bitmapTip.profile = {3, 1000, 0};
      render.SelectTip(&bitmapTip, true);
      size = float(bitmapTip.SizePercent());
    }
    if (v == Variant::kMaskedToned) {
      mask.CreateChannel(kSide, kSide);
      mask.channel->FillAll(255);
      // Half the tiles hold real pixels, as a drawn selection would.
      for (int32_t y = 0; y < kSide; y += 128)
        for (int32_t x = 0; x < kSide; x += 128) mask.channel->SetPixel(x, y, 254);
      SToneAttr tone;
      tone.angle = 45;
      tone.density = 50;
      tones.AddTone(tone);
      tones.Select(0);
      render.Writer().SetMask(&mask, 0, 0);
      render.Writer().SetTone(&tones, 0, 0);
      stroke.useTone = true;
    }
    render.BeginStroke(Shared().Surface(), kSide / 2.0f, kSide / 2.0f);
  }
};

std::map<std::string, double>& Rates() {
  static std::map<std::string, double> r;
  return r;
}

void RunOurs(benchmark::State& state, Variant v, bool cold) {
  const int32_t radius = int32_t(state.range(0));
  const int32_t effect = v == Variant::kBlur ? int32_t(state.range(1)) : 0;
  Setup s(v, radius, effect);
  const std::vector<float> xy = Centres(radius);
  Picture& pic = Shared();
  const SPenSurface surface = pic.Surface();
  size_t i = 0;
  for (auto _ : state) {
    if (cold) s.render.Shape().Invalidate();
    benchmark::DoNotOptimize(s.render.Dab(surface, xy[i], xy[i + 1], 1.0f, 0.5f, s.size));
    i = (i + 2) % xy.size();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Dab(benchmark::State& state) { RunOurs(state, Variant::kRound, false); }
void BM_DabCold(benchmark::State& state) { RunOurs(state, Variant::kRound, true); }
void BM_DabEllipse(benchmark::State& state) { RunOurs(state, Variant::kEllipse, false); }
void BM_DabBitmap(benchmark::State& state) { RunOurs(state, Variant::kBitmap, false); }
void BM_DabMaskedToned(benchmark::State& state) { RunOurs(state, Variant::kMaskedToned, false); }
void BM_DabBlur(benchmark::State& state) { RunOurs(state, Variant::kBlur, false); }

struct MyPaint {
  MyPaintFixedTiledSurface* fixed = mypaint_fixed_tiled_surface_new(kSide, kSide);
  MyPaintSurface* surface = mypaint_fixed_tiled_surface_interface(fixed);
  ~MyPaint() { mypaint_surface_unref(surface); }
};

void BM_MyPaintDab(benchmark::State& state) {
  static MyPaint mp;
  const int32_t radius = int32_t(state.range(0));
  const std::vector<float> xy = Centres(radius);
  size_t i = 0;
  int32_t queued = 0;
  mypaint_surface_begin_atomic(mp.surface);
  for (auto _ : state) {
    mypaint_surface_draw_dab(mp.surface, xy[i], xy[i + 1], float(radius), 0.125f, 0.25f, 0.5f, 0.5f, 1.0f,
                             1.0f, 1.0f, 0.0f, 0.0f, 0.0f);
    i = (i + 2) % xy.size();
    if (++queued == 16) {
      MyPaintRectangle roi;
      mypaint_surface_end_atomic(mp.surface, &roi);
      mypaint_surface_begin_atomic(mp.surface);
      queued = 0;
    }
  }
  MyPaintRectangle roi;
  mypaint_surface_end_atomic(mp.surface, &roi);
  state.SetItemsProcessed(state.iterations());
}

// Prints the dab table after the usual console output.
class DabReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && r.iterations > 0) {
        // CPU time: the machine may be shared, and both sides run on one thread.
        const double seconds = r.GetAdjustedCPUTime() * 1e-9;  // nanoseconds per dab
        if (seconds > 0) Rates()[r.benchmark_name()] = 1.0 / seconds;
      }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto rate = [](const std::string& name) {
      const auto it = Rates().find(name);
      return it == Rates().end() ? 0.0 : it->second;
    };
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    std::printf("\n%7s %14s %14s %14s %9s %9s\n", "radius", "ours warm/s", "ours cold/s", "libmypaint/s",
                "warm/mp", "cold/mp");
    for (int32_t r : kRadii) {
      const std::string n = std::to_string(r);
      const double warm = rate("BM_Dab/" + n), cold = rate("BM_DabCold/" + n),
                   mp = rate("BM_MyPaintDab/" + n);
      if (warm == 0 && mp == 0) continue;
      std::printf("%7d %14.0f %14.0f %14.0f %9.2f %9.2f\n", r, warm, cold, mp, ratio(warm, mp),
                  ratio(cold, mp));
    }
    std::printf("\n%-22s %7s %14s %9s\n", "variant", "radius", "dabs/s", "ours/mp");
    const char* variants[][2] = {{"round", "BM_Dab/%d"},
                                 {"ellipse 40% 30deg", "BM_DabEllipse/%d"},
                                 {"bitmap 64x64", "BM_DabBitmap/%d"},
                                 {"masked + toned", "BM_DabMaskedToned/%d"},
                                 {"blur 10", "BM_DabBlur/%d/10"},
                                 {"blur 50", "BM_DabBlur/%d/50"},
                                 {"blur 100", "BM_DabBlur/%d/100"}};
    for (int32_t r : {8, 32}) {
      const double mp = rate("BM_MyPaintDab/" + std::to_string(r));
      for (auto& v : variants) {
        char name[64];
        std::snprintf(name, sizeof name, v[1], r);
        const double ours = rate(name);
        if (ours == 0) continue;
        std::printf("%-22s %7d %14.0f %9.2f\n", v[0], r, ours, ratio(ours, mp));
      }
    }
  }
};

}  // namespace
}  // namespace tintara

int main(int argc, char** argv) {
  using namespace tintara;
  omp_set_num_threads(1);  // libmypaint processes tiles with OpenMP; compare one thread with one
  for (int32_t r : kRadii) {
    benchmark::RegisterBenchmark("BM_Dab", BM_Dab)->Arg(r);
    benchmark::RegisterBenchmark("BM_DabCold", BM_DabCold)->Arg(r);
    benchmark::RegisterBenchmark("BM_MyPaintDab", BM_MyPaintDab)->Arg(r);
  }
  for (int32_t r : {8, 32}) {
    benchmark::RegisterBenchmark("BM_DabEllipse", BM_DabEllipse)->Arg(r);
    benchmark::RegisterBenchmark("BM_DabBitmap", BM_DabBitmap)->Arg(r);
    benchmark::RegisterBenchmark("BM_DabMaskedToned", BM_DabMaskedToned)->Arg(r);
    for (int32_t e : {10, 50, 100}) benchmark::RegisterBenchmark("BM_DabBlur", BM_DabBlur)->Args({r, e});
  }
  benchmark::Initialize(&argc, argv);
  DabReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
