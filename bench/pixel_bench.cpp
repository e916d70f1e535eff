// Flat-buffer operations against the memory-bandwidth ceiling (memcpy / memset of the
// same bytes in the same binary).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "pixel/Blend.h"
#include "pixel/ColorOps.h"

namespace tintara {
namespace {

constexpr int kSide = 4096;
constexpr int64_t kPixels = int64_t(kSide) * kSide;

TMTC& Source() {
  static TMTC src = [] {
    TMTC b(kSide, kSide);
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) *b.Pixel(x, y) = 0xFF000000u | uint32_t(x * 2654435761u ^ y * 40503u);
    return b;
  }();
  return src;
}

void Report(benchmark::State& state) {
  state.counters["Mpixel/s"] =
      benchmark::Counter(double(kPixels) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
  state.SetBytesProcessed(state.iterations() * kPixels * 4);
}

void BM_BlendNormal(benchmark::State& state) {
  TMTC dst(Source());
  const uint32_t colour = 0x00336699;
  for (auto _ : state) {
    ApplyProc(dst, dst.Bounds(), BlendNormal, colour, 128);
    benchmark::DoNotOptimize(dst.Bits());
  }
  Report(state);
}
BENCHMARK(BM_BlendNormal)->Unit(benchmark::kMillisecond);

void BM_BlendNormalCopy(benchmark::State& state) {
  TMTC dst(Source());
  for (auto _ : state) {
    CopyRectWeighted(dst, {0, 0}, Source(), Source().Bounds(), 128);
    benchmark::DoNotOptimize(dst.Bits());
  }
  Report(state);
}
BENCHMARK(BM_BlendNormalCopy)->Unit(benchmark::kMillisecond);

void BM_CopyRect(benchmark::State& state) {
  TMTC dst(kSide, kSide);
  FillAll(dst, 0);  // fault the pages in before timing
  for (auto _ : state) {
    CopyRect(dst, {0, 0}, Source(), Source().Bounds());
    benchmark::DoNotOptimize(dst.Bits());
  }
  Report(state);
}
BENCHMARK(BM_CopyRect)->Unit(benchmark::kMillisecond);

void BM_FillRect(benchmark::State& state) {
  TMTC dst(kSide, kSide);
  FillAll(dst, 0);
  for (auto _ : state) {
    FillRect(dst, dst.Bounds(), 0xFF123456);
    benchmark::DoNotOptimize(dst.Bits());
  }
  Report(state);
}
BENCHMARK(BM_FillRect)->Unit(benchmark::kMillisecond);

void BM_Memcpy(benchmark::State& state) {
  std::vector<uint8_t> dst(size_t(kPixels) * 4);
  const uint8_t* src = Source().Bits();
  for (auto _ : state) {
    std::memcpy(dst.data(), src, dst.size());
    benchmark::DoNotOptimize(dst.data());
  }
  Report(state);
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

void BM_Memset(benchmark::State& state) {
  std::vector<uint8_t> dst(size_t(kPixels) * 4);
  for (auto _ : state) {
    std::memset(dst.data(), 0x5A, dst.size());
    benchmark::DoNotOptimize(dst.data());
  }
  Report(state);
}
BENCHMARK(BM_Memset)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tintara
