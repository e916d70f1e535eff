// The with-source-alpha blend of every mode over a 4096 x 4096 opaque destination at
// weight 200, beside pixman's nearest operator on the same pixels. The table at the end
// gives our speed over pixman's (above 1: we are faster).
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "document/BlendModes.h"

namespace tintara {
namespace {

constexpr int kSide = 4096;
constexpr int64_t kPixels = int64_t(kSide) * kSide;
constexpr uint8_t kWeight = 200;

struct Images {
  std::vector<uint32_t> dst, src;
  Images() : dst(size_t(kPixels)), src(size_t(kPixels)) {
    uint32_t x = 12345;
    for (int64_t i = 0; i < kPixels; ++i) {
      x = x * 1664525u + 1013904223u;
      dst[size_t(i)] = 0xFF000000u | (x >> 8);
      x = x * 1664525u + 1013904223u;
      src[size_t(i)] = x;  // alpha varies from pixel to pixel
    }
  }
};

Images& Data() {
  static Images images;
  return images;
}

void Report(benchmark::State& state) {
  state.counters["Mpixel/s"] =
      benchmark::Counter(double(kPixels) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

void BM_Blend(benchmark::State& state) {
  const int32_t code = int32_t(state.range(0));
  std::vector<uint32_t> dst = Data().dst;
  const BlendRowProc row = BlendWithAlphaRow(code);
  for (auto _ : state) {
    for (int y = 0; y < kSide; ++y)
      row(dst.data() + size_t(y) * kSide, Data().src.data() + size_t(y) * kSide, kSide, kWeight);
    benchmark::DoNotOptimize(dst.data());
  }
  Report(state);
}

struct PixmanOp {
  int32_t code;
  pixman_op_t op;
  const char* name;
};
const PixmanOp kOps[] = {
    {3, PIXMAN_OP_OVER, "OVER"},
    {1, PIXMAN_OP_ADD, "ADD"},
    {0, PIXMAN_OP_MULTIPLY, "MULTIPLY"},
    {4, PIXMAN_OP_SCREEN, "SCREEN"},
    {5, PIXMAN_OP_OVERLAY, "OVERLAY"},
    {10, PIXMAN_OP_DARKEN, "DARKEN"},
    {11, PIXMAN_OP_LIGHTEN, "LIGHTEN"},
    {13, PIXMAN_OP_COLOR_DODGE, "COLOR_DODGE"},
    {12, PIXMAN_OP_COLOR_BURN, "COLOR_BURN"},
    {6, PIXMAN_OP_HARD_LIGHT, "HARD_LIGHT"},
    {7, PIXMAN_OP_SOFT_LIGHT, "SOFT_LIGHT"},
    {8, PIXMAN_OP_DIFFERENCE, "DIFFERENCE"},
    {9, PIXMAN_OP_EXCLUSION, "EXCLUSION"},
    {14, PIXMAN_OP_HSL_HUE, "HSL_HUE"},
    {15, PIXMAN_OP_HSL_SATURATION, "HSL_SATURATION"},
    {16, PIXMAN_OP_HSL_COLOR, "HSL_COLOR"},
    {17, PIXMAN_OP_HSL_LUMINOSITY, "HSL_LUMINOSITY"},
};

void BM_Pixman(benchmark::State& state, pixman_op_t op) {
  std::vector<uint32_t> dst = Data().dst;
  pixman_image_t* d = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, dst.data(), kSide * 4);
  pixman_image_t* s = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, Data().src.data(), kSide * 4);
  // The weight as a solid mask, as our blends take it.
  const pixman_color_t weight{0, 0, 0, uint16_t(kWeight * 257)};
  pixman_image_t* m = pixman_image_create_solid_fill(&weight);
  for (auto _ : state) {
    pixman_image_composite32(op, s, m, d, 0, 0, 0, 0, 0, 0, kSide, kSide);
    benchmark::DoNotOptimize(dst.data());
  }
  pixman_image_unref(m);
  pixman_image_unref(s);
  pixman_image_unref(d);
  Report(state);
}

// Prints the ratio table after the usual console output.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && r.iterations > 0)
        seconds_[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-6s %-22s %10s %10s %8s\n", "code", "mode", "ours Mp/s", "pixman", "ratio");
    for (int32_t code = 0; code < kModeCount; ++code) {
      const auto ours = seconds_.find("BM_Blend/" + std::to_string(code));
      if (ours == seconds_.end()) continue;
      const double mine = double(kPixels) / (ours->second * 1e-3) / 1e6;  // times are in ms
      const PixmanOp* peer = nullptr;
      for (const auto& o : kOps)
        if (o.code == code) peer = &o;
      const std::string mode = ModeName(code);
      if (peer) {
        const auto theirs = seconds_.find(std::string("BM_Pixman/") + peer->name);
        if (theirs != seconds_.end()) {
          const double pm = double(kPixels) / (theirs->second * 1e-3) / 1e6;
          std::printf("%-6d %-22s %10.1f %10.1f %8.2f  (%s)\n", code, peer->name, mine, pm, mine / pm,
                      mode.c_str());
          continue;
        }
      }
      std::printf("%-6d %-22s %10.1f %10s %8s  (%s)\n", code, "-", mine, "-", "-", mode.c_str());
    }
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace
}  // namespace tintara

int main(int argc, char** argv) {
  using namespace tintara;
  for (int32_t code = 0; code < kModeCount; ++code)
    benchmark::RegisterBenchmark("BM_Blend", BM_Blend)->Arg(code)->Unit(benchmark::kMillisecond);
  for (const auto& o : kOps)
    benchmark::RegisterBenchmark((std::string("BM_Pixman/") + o.name).c_str(), BM_Pixman, o.op)
        ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
