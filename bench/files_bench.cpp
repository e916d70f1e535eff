// The block compressor on the runs of tiles a 4096 × 4096 layer is saved as, beside zlib at
// level 6 on the same bytes, and saving a picture of that size as PNG.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "files/GraphicsLib.h"
#include "files/GraphicsLibCompress.h"

namespace tintara {
namespace {

constexpr int32_t kSide = 4096;
constexpr int32_t kTile = 32;
constexpr size_t kTileBytes = kTile * kTile * 4;
constexpr size_t kTilesPerRun = 16;  // the native file closes a run of stored tiles at 16

uint32_t Next(uint32_t& seed) { return seed = seed * 134775813u + 1; }

// Straight-alpha "over" of one colour with coverage a (0..255).
void Over(uint32_t* p, uint32_t colour, uint32_t a) {
  const uint32_t d = *p, da = d >> 24;
  const uint32_t oa = a + da * (255 - a) / 255;
  if (oa == 0) return;
  uint32_t out = oa << 24;
  for (int s = 0; s < 24; s += 8) {
    const uint32_t sc = (colour >> s) & 255, dc = (d >> s) & 255;
    out |= ((sc * a + dc * da * (255 - a) / 255) / oa) << s;
  }
  *p = out;
}

// A painted layer: a dithered gradient in the upper half, soft brush dabs over it, a grainy
// patch, and the lowest quarter left empty (its tiles hold no pixels and are not compressed).
const TMTC& Layer() {
  static const TMTC layer = [] {
    TMTC img(kSide, kSide);
    uint32_t seed = 99;
    for (int32_t y = 0; y < kSide / 2; ++y)
      for (int32_t x = 0; x < kSide; ++x) {
        const uint32_t jitter = (Next(seed) >> 31);
        const uint32_t b = 255 - uint32_t(y) * 120 / (kSide / 2) + jitter, g = 150 + uint32_t(x) * 60 / kSide;
        *img.Pixel(x, y) = 0xFF000000u | 70u << 16 | g << 8 | std::min(b, 255u);
      }
    for (int i = 0; i < 600; ++i) {
      const int32_t cx = int32_t(Next(seed) % kSide), cy = int32_t(Next(seed) % (kSide * 3 / 4));
      const int32_t r = 8 + int32_t(Next(seed) % 90);
      const uint32_t colour = Next(seed) & 0xFFFFFF;
      for (int32_t y = std::max(0, cy - r); y < std::min(kSide, cy + r); ++y)
        for (int32_t x = std::max(0, cx - r); x < std::min(kSide, cx + r); ++x) {
          const double d = std::hypot(x - cx, y - cy);
          if (d >= r) continue;
          Over(img.Pixel(x, y), colour, uint32_t(180.0 * std::min(1.0, (r - d) / 6.0)));
        }
    }
    for (int32_t y = 2200; y < 2900; ++y)
      for (int32_t x = 600; x < 1800; ++x)
        Over(img.Pixel(x, y), 0x806040 + (Next(seed) >> 28), 60 + (Next(seed) >> 27));
    return img;
  }();
  return layer;
}

bool Uniform(const TMTC& img, int32_t tx, int32_t ty) {
  const uint32_t first = *img.Pixel(tx * kTile, ty * kTile);
  for (int32_t y = 0; y < kTile; ++y)
    for (int32_t x = 0; x < kTile; ++x)
      if (*img.Pixel(tx * kTile + x, ty * kTile + y) != first) return false;
  return true;
}

// The layer's tiles with pixels, in row-major order, cut into runs of at most 16 as the
// native file writes them; each run is its tiles one after the other, rows top to bottom.
const std::vector<std::vector<uint8_t>>& Runs() {
  static const std::vector<std::vector<uint8_t>> runs = [] {
    const TMTC& img = Layer();
    std::vector<std::vector<uint8_t>> out;
    std::vector<uint8_t> run;
    auto close = [&] {
      if (!run.empty()) out.push_back(std::move(run));
      run.clear();
    };
    for (int32_t ty = 0; ty < kSide / kTile; ++ty)
      for (int32_t tx = 0; tx < kSide / kTile; ++tx) {
        if (Uniform(img, tx, ty)) {
          close();
          continue;
        }
        for (int32_t y = 0; y < kTile; ++y) {
          const auto* row = reinterpret_cast<const uint8_t*>(img.Pixel(tx * kTile, ty * kTile + y));
          run.insert(run.end(), row, row + kTile * 4);
        }
        if (run.size() == kTilesPerRun * kTileBytes) close();
      }
    close();
    return out;
  }();
  return runs;
}

size_t RawBytes() {
  size_t n = 0;
  for (const auto& r : Runs()) n += r.size();
  return n;
}

void Report(benchmark::State& state, size_t packed) {
  const size_t raw = RawBytes();
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(raw));
  state.counters["ratio"] = double(packed) / double(raw);
  state.counters["runs"] = double(Runs().size());
  state.counters["rawMB"] = double(raw) / 1e6;
}

void BM_BlockCompressRuns(benchmark::State& state) {
  Runs();  // painted and cut before the clock starts
  size_t packed = 0;
  for (auto _ : state) {
    packed = 0;
    for (const auto& run : Runs()) {
      uint64_t n = 0;
      // The file form, as the native file calls it; the writer stands in for the file.
      CompressToWriter(
          run.data(), run.size(),
          [&](const uint8_t* p, size_t size, size_t count) {
            benchmark::DoNotOptimize(p);
            return count;
          },
          &n);
      packed += size_t(n);
    }
  }
  Report(state, packed);
}
BENCHMARK(BM_BlockCompressRuns)->Unit(benchmark::kMillisecond);

void BM_Zlib6CompressRuns(benchmark::State& state) {
  Runs();
  std::vector<uint8_t> out(compressBound(kTilesPerRun * kTileBytes));
  size_t packed = 0;
  for (auto _ : state) {
    packed = 0;
    for (const auto& run : Runs()) {
      uLongf n = uLongf(out.size());
      compress2(out.data(), &n, run.data(), uLong(run.size()), 6);
      packed += n;
      benchmark::DoNotOptimize(out.data());
    }
  }
  Report(state, packed);
}
BENCHMARK(BM_Zlib6CompressRuns)->Unit(benchmark::kMillisecond);

void BM_BlockExpandRuns(benchmark::State& state) {
  std::vector<std::vector<uint8_t>> packed;
  size_t total = 0;
  for (const auto& run : Runs()) {
    packed.emplace_back();
    CompressToMemory(run.data(), run.size(), packed.back());
    total += packed.back().size();
  }
  std::vector<uint8_t> out(kTilesPerRun * kTileBytes);
  for (auto _ : state)
    for (size_t i = 0; i < packed.size(); ++i) {
      if (Expand(packed[i].data(), packed[i].size(), out.data(), Runs()[i].size()) != GfxResult::Ok)
        state.SkipWithError("expand failed");
      benchmark::DoNotOptimize(out.data());
    }
  Report(state, total);
}
BENCHMARK(BM_BlockExpandRuns)->Unit(benchmark::kMillisecond);

void BM_Zlib6ExpandRuns(benchmark::State& state) {
  std::vector<std::vector<uint8_t>> packed;
  size_t total = 0;
  for (const auto& run : Runs()) {
    std::vector<uint8_t> p(compressBound(uLong(run.size())));
    uLongf n = uLongf(p.size());
    compress2(p.data(), &n, run.data(), uLong(run.size()), 6);
    p.resize(n);
    total += n;
    packed.push_back(std::move(p));
  }
  std::vector<uint8_t> out(kTilesPerRun * kTileBytes);
  for (auto _ : state)
    for (size_t i = 0; i < packed.size(); ++i) {
      uLongf n = uLongf(out.size());
      if (uncompress(out.data(), &n, packed[i].data(), uLong(packed[i].size())) != Z_OK)
        state.SkipWithError("inflate failed");
      benchmark::DoNotOptimize(out.data());
    }
  Report(state, total);
}
BENCHMARK(BM_Zlib6ExpandRuns)->Unit(benchmark::kMillisecond);

void BM_PngSave4096(benchmark::State& state) {
  const TMTC& img = Layer();  // painted before the clock starts
  const DibHeader header = MakeDibHeader(kSide, kSide, 350);
  const std::string path =
      (std::filesystem::temp_directory_path() / ("tintara_bench_" + std::to_string(getpid()) + ".png"))
          .string();
  for (auto _ : state)
    if (pngSaveImage(path, header, img) != GfxResult::Ok) state.SkipWithError("save failed");
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  std::filesystem::remove(path, ec);
  state.SetBytesProcessed(int64_t(state.iterations()) * kSide * kSide * 4);
  state.counters["fileMB"] = double(size) / 1e6;
}
BENCHMARK(BM_PngSave4096)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tintara
