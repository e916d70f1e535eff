// Compositing and display of a paper.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "document/Paper.h"
#include "pixel/ColorOps.h"

namespace tintara {
namespace {

constexpr int kSide = 4096;

// A paper with `layers` normal layers; `full` of them hold noisy pixels everywhere (layer 0
// only when all are full).
struct Picture {
  TPaper paper;
  TFlowImage flow{paper};
  Picture(int layers, int full) {
    paper.NewPaper("bench", flow, false, false, 72, kSide, kSide);
    TMTC noise(kSide, kSide);
    uint32_t x = 7;
    for (int y = 0; y < kSide; ++y) {
      uint32_t* row = noise.Row32(y);
      for (int i = 0; i < kSide; ++i) row[i] = (x = x * 1664525u + 1013904223u) | 0x40000000u;
    }
    if (full >= layers) paper.Layer(0)->pixels->WriteRect(noise, {0, 0}, 255, noise.Bounds());
    for (int k = 1; k < layers; ++k) {
      const int32_t i = paper.AddLayer(k, kSide, true, 200, kModeNormal, kSide);
      if (k <= full) paper.Layer(i)->pixels->WriteRect(noise, {0, 0}, 255, noise.Bounds());
    }
  }
};

void BM_Recomposite8Full(benchmark::State& state) {
  Picture pic(8, 8);  // all eight layers hold pixels everywhere
  for (auto _ : state) pic.paper.Recomposite(pic.paper.composite.Bounds(), false);
  state.counters["Mpixel*layer/s"] = benchmark::Counter(
      double(kSide) * kSide * 8 * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Recomposite8Full)->Unit(benchmark::kMillisecond);

void BM_Recomposite24Sparse(benchmark::State& state) {
  Picture pic(24, 0);  // every layer empty but the white base
  for (auto _ : state) pic.paper.Recomposite(pic.paper.composite.Bounds(), false);
  state.counters["Mpixel/s"] = benchmark::Counter(double(kSide) * kSide * double(state.iterations()) / 1e6,
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Recomposite24Sparse)->Unit(benchmark::kMillisecond);

void BM_MemcpyEightLayers(benchmark::State& state) {
  std::vector<uint8_t> a(size_t(kSide) * kSide * 4), b(a.size());
  for (auto _ : state) {
    for (int k = 0; k < 8; ++k) std::memcpy(b.data(), a.data(), a.size());
    benchmark::DoNotOptimize(b.data());
  }
  state.counters["Mpixel*layer/s"] = benchmark::Counter(
      double(kSide) * kSide * 8 * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MemcpyEightLayers)->Unit(benchmark::kMillisecond);

// Display frames of 1920 x 1080.
void Frames(benchmark::State& state) {
  state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_View100(benchmark::State& state) {
  Picture pic(2, 1);
  pic.paper.SetPaperColorOn(false);  // the plain path does the pixel work at 100 %
  pic.paper.RecompositeAll(false);
  for (auto _ : state) {
    PaintSource s = pic.paper.PaintRect({0, 0, 1920, 1080}, 1920, 1080);
    benchmark::DoNotOptimize(s.kind);
  }
  Frames(state);
}
BENCHMARK(BM_View100)->Unit(benchmark::kMillisecond);

void BM_View33Antialiased(benchmark::State& state) {
  Picture pic(2, 1);
  pic.paper.settings.antialiasedDisplay = true;
  pic.paper.SetZoomIndex(-4);  // 33 %
  pic.paper.SetViewAnchor(2048, 2048);
  pic.paper.SetViewOrigin(960, 540);
  for (auto _ : state) pic.paper.RefreshView(1920, 1080);
  Frames(state);
}
BENCHMARK(BM_View33Antialiased)->Unit(benchmark::kMillisecond);

void BM_View30Rotated(benchmark::State& state) {
  Picture pic(2, 1);
  pic.paper.SetViewAngle(30);
  pic.paper.viewShiftX = 2048;
  pic.paper.viewShiftY = 2048;
  for (auto _ : state) pic.paper.RefreshView(1920, 1080);
  Frames(state);
}
BENCHMARK(BM_View30Rotated)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tintara
