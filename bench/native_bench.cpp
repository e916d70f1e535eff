// Saving and loading a 4000 × 4000 picture of 8 layers as a native file, beside libpng saving
// the same picture's composite in the same binary. The layers hold what drawings hold: soft
// brush strokes, flat colour fills, a grainy texture, and large regions never painted.
// MB/s counts the pixel bytes of the painted tiles (what the file compresses).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "document/Paper.h"
#include "files/GraphicsLib.h"
#include "files/NativeFile.h"
#include "pixel/Bmp.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

constexpr int32_t kSide = 4000;
constexpr int32_t kLayers = 8;

uint32_t Next(uint32_t& seed) { return seed = seed * 134775813u + 1; }

// One soft round dab of straight-alpha colour, painted with "over" into a buffer.
void Dab(TMTC& img, int32_t cx, int32_t cy, int32_t r, uint32_t colour, uint32_t strength) {
  for (int32_t y = std::max(0, cy - r); y < std::min(img.Height(), cy + r); ++y)
    for (int32_t x = std::max(0, cx - r); x < std::min(img.Width(), cx + r); ++x) {
      const double d = std::hypot(x - cx, y - cy);
      if (d >= r) continue;
      const uint32_t a = uint32_t(strength * std::min(1.0, (r - d) / 4.0));
      uint32_t* p = img.Pixel(x, y);
      const uint32_t da = *p >> 24, oa = a + da * (255 - a) / 255;
      if (oa == 0) continue;
      uint32_t out = oa << 24;
      for (int s = 0; s < 24; s += 8) {
        const uint32_t sc = (colour >> s) & 255, dc = (*p >> s) & 255;
        out |= ((sc * a + dc * da * (255 - a) / 255) / oa) << s;
      }
      *p = out;
    }
}

// Layer k: strokes (chains of dabs) over a part of the picture, a flat fill on some layers,
// a grainy patch on others; the rest stays transparent and costs no pixel memory.
void PaintLayer(TMTC& buf, int32_t k) {
  std::fill_n(buf.Row32(0), size_t(kSide) * kSide, 0x00FFFFFFu);  // rows are packed top-down
  uint32_t seed = 1234u + uint32_t(k);
  const int32_t y0 = (k * kSide) / kLayers / 2, band = kSide / 2;
  if (k % 3 == 0)
    for (int32_t y = y0; y < y0 + band / 2; ++y)
      std::fill_n(buf.Row32(y) + 200, kSide / 3, 0xFF000000u | uint32_t(0x304050 + k * 0x101010));
  if (k % 3 == 1)
    for (int32_t y = y0; y < y0 + 500; ++y)
      for (int32_t x = 2000; x < 3000; ++x) *buf.Pixel(x, y) = 0x80000000u | (0x806040 + (Next(seed) >> 28));
  for (int stroke = 0; stroke < 40; ++stroke) {
    double x = Next(seed) % kSide, y = y0 + Next(seed) % band;
    const double angle = (Next(seed) % 628) / 100.0;
    const int32_t r = 3 + int32_t(Next(seed) % 14);
    const uint32_t colour = Next(seed) & 0xFFFFFF;
    for (int step = 0; step < 400; ++step) {
      x += std::cos(angle + step * 0.01) * r * 0.5;
      y += std::sin(angle + step * 0.01) * r * 0.5;
      Dab(buf, int32_t(x), int32_t(y), r, colour, 200);
    }
  }
}

struct Picture {
  Picture() {
    paper = std::make_unique<TPaper>();
    flow = std::make_unique<TFlowImage>(*paper);
    paper->NewPaper("bench", *flow, false, false, 350, kSide, kSide);
    TMTC buf(kSide, kSide);
    for (int32_t k = 0; k < kLayers; ++k) {
      const int32_t at = k == 0 ? 0 : paper->AddLayer(k, kSide, true, 255, kModeNormal, kSide);
      PaintLayer(buf, k);
      CLayerData& l = *paper->Layer(at);
      l.pixels->WriteRect(buf, {0, 0}, 255, buf.Bounds());
      l.pixels->Compact();
      paintedBytes += int64_t(l.pixels->AllocatedTiles()) * 4096;
    }
    paper->RecompositeAll(false);
  }
  std::unique_ptr<TPaper> paper;
  std::unique_ptr<TFlowImage> flow;
  int64_t paintedBytes = 0;
};

Picture& ThePicture() {
  static Picture p;
  return p;
}

std::string TempPath(const char* ext) {
  return (std::filesystem::temp_directory_path() / ("tintara_native_bench_" + std::to_string(getpid()) + ext))
      .string();
}

void BM_NativeSave4000x8(benchmark::State& state) {
  Picture& p = ThePicture();  // painted before the clock starts
  const std::string path = TempPath(".tci");
  for (auto _ : state) {
    const NativeSaveResult r = SaveNativeFile(path, *p.paper, kNativeLayers | kNativeThumbnail);
    if (!r.saved) state.SkipWithError("save failed");
  }
  std::error_code ec;
  state.counters["fileMB"] = double(std::filesystem::file_size(path, ec)) / 1e6;
  state.counters["paintedMB"] = double(p.paintedBytes) / 1e6;
  state.SetBytesProcessed(int64_t(state.iterations()) * p.paintedBytes);
  std::filesystem::remove(path, ec);
}
BENCHMARK(BM_NativeSave4000x8)->Unit(benchmark::kMillisecond);

void BM_NativeLoad4000x8(benchmark::State& state) {
  Picture& p = ThePicture();
  const std::string path = TempPath(".load.tci");
  if (!SaveNativeFile(path, *p.paper, kNativeLayers | kNativeThumbnail).saved)
    state.SkipWithError("save failed");
  for (auto _ : state) {
    TPaper paper;
    TFlowImage flow(paper);
    const NativeLoadResult r = LoadNativeFile(path, paper, flow);
    if (r.status != 0 || paper.LayerCount() != kLayers) state.SkipWithError("load failed");
  }
  std::error_code ec;
  state.counters["fileMB"] = double(std::filesystem::file_size(path, ec)) / 1e6;
  state.SetBytesProcessed(int64_t(state.iterations()) * p.paintedBytes);
  std::filesystem::remove(path, ec);
}
BENCHMARK(BM_NativeLoad4000x8)->Unit(benchmark::kMillisecond);

// The peer: libpng saving the picture's composite (one flat RGBA image of the same size).
void BM_PngSaveComposite4000(benchmark::State& state) {
  Picture& p = ThePicture();
  const DibHeader header = MakeDibHeader(kSide, kSide, 350);
  const std::string path = TempPath(".png");
  for (auto _ : state)
    if (pngSaveImage(path, header, p.paper->composite) != GfxResult::Ok) state.SkipWithError("save failed");
  std::error_code ec;
  state.counters["fileMB"] = double(std::filesystem::file_size(path, ec)) / 1e6;
  state.SetBytesProcessed(int64_t(state.iterations()) * kSide * kSide * 4);
  std::filesystem::remove(path, ec);
}
BENCHMARK(BM_PngSaveComposite4000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tintara
