// Pointer to screen while drawing: each mouse move of a running pen stroke in a picture
// window's document — the sample through the pointer filter, the segment stepped and its dabs
// painted, the segment's rectangle committed and recomposited, and the view's pixels of that
// rectangle prepared for the screen (the window then only draws them). A 50 px brush (radius
// 25) on a 4096 x 4096 picture at 100 % in a 1600 x 1000 view, 1,000 move events 3 px apart.
// Reported: the median and the 99th percentile of the time per event, in microseconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "app/PictureDocument.h"

namespace tintara {
namespace {

constexpr int32_t kSide = 4096, kClientW = 1600, kClientH = 1000, kEvents = 1000;

void BM_PointerToScreen(benchmark::State& state) {
  PaperSettings settings;
  settings.undoMax = 16;
  CPictureDocument doc(nullptr, settings);
  if (!doc.NewPicture("bench", kSide, kSide, 72, false)) {
    state.SkipWithError("no picture");
    return;
  }
  TPaper& paper = doc.Paper();
  doc.Paper().NewLayer(doc.Flow(), kModeNormal, 0x00FFFFFF, "ink");
  PenTipParams tip;
  tip.radius100 = 2500;
  doc.Pen().render.SetTipParams(tip);
  doc.Pen().params.pressureSize = 1;
  doc.Pen().params.SetSpacing(100);
  doc.Stroke().SetColour(0x00204080);
  // The view shows the middle of the picture at 100 %.
  paper.SetZoomIndex(0);
  paper.SetViewAnchor(0, 0);
  paper.SetViewOrigin(-(kSide - kClientW) / 2, -(kSide - kClientH) / 2);
  paper.RefreshView(kClientW, kClientH);
  std::vector<double> micros;
  micros.reserve(kEvents);
  for (auto _ : state) {
    micros.clear();
    const double x0 = (kSide - kClientW) / 2 + 100.0, y0 = kSide / 2.0;
    doc.StrokeSample({float(x0), float(y0), 1.0f}, 1.0, 0);
    for (int32_t i = 1; i <= kEvents; ++i) {
      const float x = float(x0 + 3.0 * (i % 450)),
                  y = float(y0 + 40.0 * std::sin(i * 0.05) + 60.0 * (i / 450));
      const auto t0 = std::chrono::steady_clock::now();
      doc.StrokeSample({x, y, 1.0f}, 1.0, 0);
      // The view's pixels of the segment, as the window asks for them when it repaints.
      const SPixRect seg = doc.Strokes().SegmentRect();
      if (!seg.IsEmpty()) {
        const SPixRect p = paper.ToPaper(paper.ActiveIndex(), seg);
        const TRect window{p.x + paper.viewOriginX, p.y + paper.viewOriginY,
                           p.x + p.width + paper.viewOriginX, p.y + p.height + paper.viewOriginY};
        benchmark::DoNotOptimize(paper.PaintRect(window, kClientW, kClientH));
      }
      const auto t1 = std::chrono::steady_clock::now();
      micros.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    state.PauseTiming();
    doc.StrokeUp(float(x0), float(y0));
    paper.Undo(doc.Flow());
    state.ResumeTiming();
  }
  std::sort(micros.begin(), micros.end());
  state.counters["median_us"] = micros[micros.size() / 2];
  state.counters["p99_us"] = micros[micros.size() * 99 / 100];
}
BENCHMARK(BM_PointerToScreen)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tintara
