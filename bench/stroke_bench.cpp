// Whole strokes through the brush engine on a paper: samples 2 px apart along a winding
// path with a sine pressure, spacing 10 %, pressure size and opacity on, smoothing on, a
// round anti-aliased tip of radius 8 or 32; each iteration begins, continues and ends one
// stroke of 1,000, 10,000 or 60,000 samples (stepping, dabs, display refresh, undo record and
// commit). Reported: samples and dabs per second.
//
// Pointer to pixels: one move event of a running stroke at radius 50 on a 4096 x 4096 layer
// — the segment stepped, its dabs painted, the composite of the segment rebuilt — timed per
// event.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "paint/StrokeMngr.h"

namespace tintara {
namespace {

// A winding path of n samples 2 px apart inside a side x side paper.
std::vector<StrokeSample> Path(int32_t n, int32_t side) {
  std::vector<StrokeSample> s;
  s.reserve(size_t(n));
  const double margin = 80, span = side - 2 * margin;
  double x = margin, y = margin, dir = 1;
  for (int32_t i = 0; i < n; ++i) {
    const float p = float(0.5 + 0.45 * std::sin(i * 0.05));
    s.push_back({float(x), float(y + 12 * std::sin(i * 0.13)), p});
    x += 2 * dir;
    if (x > margin + span || x < margin) {
      dir = -dir;
      x += 4 * dir;
      y += 37;
      if (y > margin + span) y = margin;
    }
  }
  return s;
}

struct Setup {
  TPaper paper;
  TFlowImage flow{paper};
  TStroke stroke;
  CPenRender render;
  CStrokeRenderer renderer{render};
  CStrokeMngr mngr{paper, flow, stroke, renderer};

  Setup(int32_t side, double radius) {
    paper.SetLevel(2);
    paper.NewPaper("bench", flow, false, false, 72, side, side);
    PenTipParams tip;
    tip.radius100 = int32_t(radius * 100);
    render.SetTipParams(tip);
    StrokeParams p;
    p.pressureSize = p.pressureOpacity = 1;
    p.SetSpacing(100);
    mngr.SetParams(p);
    mngr.SetInterpolationMode(1);
    stroke.SetColour(0x00204080);
  }
};

void BM_Stroke(benchmark::State& state) {
  const int32_t n = int32_t(state.range(0));
  const double radius = double(state.range(1));
  Setup s(2048, radius);
  const std::vector<StrokeSample> path = Path(n, 2048);
  int64_t samples = 0, dabs = 0;
  for (auto _ : state) {
    s.mngr.Begin(path[0], false);
    for (int32_t i = 1; i < n; ++i) s.mngr.Continue(path[size_t(i)], false);
    s.mngr.PenUp(path.back().x, path.back().y, false);
    samples += n;
    dabs += s.mngr.DabCount();
  }
  state.counters["samples/s"] = benchmark::Counter(double(samples), benchmark::Counter::kIsRate);
  state.counters["dabs/s"] = benchmark::Counter(double(dabs), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Stroke)
    ->ArgsProduct({{1000, 10000, 60000}, {8, 32}})
    ->ArgNames({"samples", "r"})
    ->Unit(benchmark::kMillisecond);

void BM_PointerToPixels(benchmark::State& state) {
  constexpr int32_t kSide = 4096;
  Setup s(kSide, 50);
  const std::vector<StrokeSample> path = Path(20000, kSide);
  size_t i = 0;
  s.mngr.Begin(path[0], false);
  int64_t events = 0;
  for (auto _ : state) {
    if (++i >= path.size() || s.mngr.SampleCount() >= 4000) {
      state.PauseTiming();
      s.mngr.PenUp(path[i - 1].x, path[i - 1].y, false);
      if (i >= path.size()) i = 1;
      s.mngr.Begin(path[i - 1], false);
      state.ResumeTiming();
    }
    s.mngr.Continue(path[i], false);
    ++events;
  }
  s.mngr.End(false);
  state.counters["events/s"] = benchmark::Counter(double(events), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PointerToPixels)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tintara
