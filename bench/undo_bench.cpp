// Undo records of painted rectangles: what pushing and undoing one costs.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "document/Paper.h"
#include "pixel/ColorOps.h"

namespace tintara {
namespace {

constexpr int kSide = 4096;
constexpr int kRect = 1024;

// A 4096² paper whose one layer holds noisy pixels everywhere.
struct Picture {
  TPaper paper;
  TFlowImage flow{paper};
  Picture() {
    paper.NewPaper("bench", flow, false, false, 72, kSide, kSide);
    TMTC noise(kSide, kSide);
    uint32_t x = 7;
    for (int y = 0; y < kSide; ++y) {
      uint32_t* row = noise.Row32(y);
      for (int i = 0; i < kSide; ++i) row[i] = (x = x * 1664525u + 1013904223u) | 0x40000000u;
    }
    paper.Layer(0)->pixels->WriteRect(noise, {0, 0}, 255, noise.Bounds());
  }
};

const TRect kStoreRect{1000, 1000, 1000 + kRect, 1000 + kRect};

// The record alone: capture the rectangle, push it, undo it (the pixels go back and the
// current ones move to the redo list).
void BM_PushAndUndoRecord(benchmark::State& state) {
  Picture pic;
  int64_t bytes = 0;
  for (auto _ : state) {
    pic.paper.PushUndo(MakePixelRecord(*pic.paper.Layer(0), kStoreRect, 1));
    bytes = pic.paper.undo->MemoryUsed();
    benchmark::DoNotOptimize(pic.paper.undo->Undo());
  }
  state.counters["records/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["bytes/record"] = double(bytes);
}
BENCHMARK(BM_PushAndUndoRecord)->Unit(benchmark::kMillisecond);

// The same through the paper, with the recomposite and thumbnails of the restored area.
void BM_PushAndUndoThroughPaper(benchmark::State& state) {
  Picture pic;
  for (auto _ : state) {
    pic.paper.BeginEdit(0, kStoreRect);
    benchmark::DoNotOptimize(pic.paper.Undo(pic.flow));
  }
  state.counters["records/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PushAndUndoThroughPaper)->Unit(benchmark::kMillisecond);

// The floor: copying the rectangle's bytes out and back with memcpy (three copies, as the
// record makes: save, save the current pixels, restore).
void BM_MemcpyPeer(benchmark::State& state) {
  std::vector<uint32_t> store(size_t(kSide) * kSide, 0x12345678u), saved(size_t(kRect) * kRect),
      current(size_t(kRect) * kRect);
  for (auto _ : state) {
    for (int y = 0; y < kRect; ++y)
      std::memcpy(&saved[size_t(y) * kRect], &store[size_t(1000 + y) * kSide + 1000], kRect * 4);
    for (int y = 0; y < kRect; ++y)
      std::memcpy(&current[size_t(y) * kRect], &store[size_t(1000 + y) * kSide + 1000], kRect * 4);
    for (int y = 0; y < kRect; ++y)
      std::memcpy(&store[size_t(1000 + y) * kSide + 1000], &saved[size_t(y) * kRect], kRect * 4);
    benchmark::ClobberMemory();
  }
  state.counters["records/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MemcpyPeer)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tintara
