// Block images against flat copies of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "pixel/BlockImage.h"
#include "pixel/ColorOps.h"

namespace tintara {
namespace {

constexpr int kSide = 4096;
constexpr int64_t kPixels = int64_t(kSide) * kSide;

const TMTC& Picture() {
  static TMTC pic = [] {
    TMTC b(kSide, kSide);
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) *b.Pixel(x, y) = 0x80000000u | uint32_t(x * 2654435761u ^ y * 40503u);
    return b;
  }();
  return pic;
}

void Report(benchmark::State& state) {
  state.counters["Mpixel/s"] =
      benchmark::Counter(double(kPixels) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
  state.SetBytesProcessed(state.iterations() * kPixels * 4);
}

void BM_WriteRect(benchmark::State& state) {
  CBlockVMTC img(kSide, kSide);
  img.WriteRect(Picture(), {0, 0}, 255, Picture().Bounds());  // tiles allocated once
  for (auto _ : state) {
    img.WriteRect(Picture(), {0, 0}, 255, Picture().Bounds());
    benchmark::ClobberMemory();
  }
  Report(state);
}
BENCHMARK(BM_WriteRect)->Unit(benchmark::kMillisecond);

void BM_ReadRect(benchmark::State& state) {
  CBlockVMTC img(kSide, kSide);
  img.WriteRect(Picture(), {0, 0}, 255, Picture().Bounds());
  TMTC out(kSide, kSide);
  FillAll(out, 0);
  for (auto _ : state) {
    img.ReadRect(out, {0, 0}, false, 255, img.Bounds());
    benchmark::DoNotOptimize(out.Bits());
  }
  Report(state);
}
BENCHMARK(BM_ReadRect)->Unit(benchmark::kMillisecond);

void BM_FlatCopy(benchmark::State& state) {
  std::vector<uint8_t> dst(size_t(kPixels) * 4);
  for (auto _ : state) {
    std::memcpy(dst.data(), Picture().Bits(), dst.size());
    benchmark::DoNotOptimize(dst.data());
  }
  Report(state);
}
BENCHMARK(BM_FlatCopy)->Unit(benchmark::kMillisecond);

void BM_Compact(benchmark::State& state) {
  // Half the tiles uniform (freed), half noisy (kept): each run re-allocates the uniform half.
  CBlockVMTC img(kSide, kSide);
  img.WriteRect(Picture(), {0, 0}, 255, Picture().Bounds());
  for (auto _ : state) {
    state.PauseTiming();
    img.MaskedSet({0, 0, kSide, kSide / 2}, 0xFFFFFFFF, 0xFF000000);
    img.SetPixel(0, 0, 0xFF000000);
    for (int y = 0; y < kSide / 2; y += 32)
      for (int x = 0; x < kSide; x += 32) img.SetPixel(x, y, 0xFF000000);
    state.ResumeTiming();
    benchmark::DoNotOptimize(img.Compact());
  }
  Report(state);
}
BENCHMARK(BM_Compact)->Unit(benchmark::kMillisecond);

void BM_BlendFromNormal(benchmark::State& state) {
  CBlockVMTC dst(kSide, kSide), src(kSide, kSide);
  dst.WriteRect(Picture(), {0, 0}, 255, Picture().Bounds());
  src.WriteRect(Picture(), {0, 0}, 255, Picture().Bounds());
  for (auto _ : state) {
    dst.BlendFrom(src, {0, 0}, BlendNormal, 128, 255, src.Bounds());
    benchmark::ClobberMemory();
  }
  Report(state);
}
BENCHMARK(BM_BlendFromNormal)->Unit(benchmark::kMillisecond);

void BM_FlatBlendNormal(benchmark::State& state) {
  TMTC dst(Picture());
  for (auto _ : state) {
    CopyRectWeighted(dst, {0, 0}, Picture(), Picture().Bounds(), 128);
    benchmark::DoNotOptimize(dst.Bits());
  }
  Report(state);
}
BENCHMARK(BM_FlatBlendNormal)->Unit(benchmark::kMillisecond);

void BM_EmptyImageTable(benchmark::State& state) {
  for (auto _ : state) {
    CBlockVMTC img(10000, 10000);
    benchmark::DoNotOptimize(img.IsValid());
    state.counters["table_bytes"] = double(img.TableBytes());
    state.counters["tiles"] = double(img.TileCount());
    state.counters["pixel_bytes"] = double(img.MemoryUsed());
  }
}
BENCHMARK(BM_EmptyImageTable)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tintara
