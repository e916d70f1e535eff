// The main window's 30 ms tick with every palette open over a picture of many layers: what
// each tick costs while nothing changes (the palettes only look), and when a layer changed
// since the last tick (a 512 x 512 patch painted: the layer window rebuilds its rows and
// thumbnails, the navigator copies its thumbnail). A 2048 x 2048 picture with 32 layers in a
// 1600 x 1000 main window.
// Reported: the median time per tick, in microseconds.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <vector>

#include "app/AppProfile.h"
#include "app/ui/DrawWindow.h"
#include "app/ui/MainForm.h"
#include "pixel/Arith.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

constexpr int32_t kSide = 2048, kLayers = 32;
// The part of the active layer painted between two ticks.
constexpr SPixRect kPatch = {256, 256, 512, 512};

double MedianUs(std::vector<double>& us) {
  std::sort(us.begin(), us.end());
  return us[us.size() / 2];
}

void TickWith(benchmark::State& state, bool changeLayer) {
  RecordingNotifySink notes;
  CAppProfile profile;
  TMainForm form(profile, nullptr);
  form.resize(1600, 1000);
  form.show();
  TDrawWindow* w = form.NewPicture(kSide, kSide, 72, false);
  if (!w) {
    state.SkipWithError("no picture");
    return;
  }
  for (int32_t i = 1; i < kLayers; ++i)
    w->Paper().NewLayer(w->Doc().Flow(), kModeNormal, 0xFF000000u | uint32_t(i * 0x070503), "");
  QCoreApplication::processEvents();
  form.Tick();
  std::vector<double> us;
  uint32_t colour = 0;
  for (auto _ : state) {
    if (changeLayer) {
      // A patch painted on the active layer between two ticks, its thumbnail brought up to date.
      state.PauseTiming();
      TPaper& p = w->Paper();
      p.ActiveLayer()->pixels->MaskedSet(kPatch, 0xFFFFFFFF, 0xFF000000u | (++colour * 0x010203));
      p.Recomposite(kPatch, false);
      p.UpdateThumbnails(false, p.ActiveIndex(), kPatch);
      state.ResumeTiming();
    }
    const auto t0 = std::chrono::steady_clock::now();
    form.Tick();
    us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
  }
  state.counters["median_us"] = MedianUs(us);
  for (TDrawWindow* d : form.DrawWindows()) d->Doc().modified = false;
}

void BM_PaletteTickIdle(benchmark::State& state) { TickWith(state, false); }
void BM_PaletteTickAfterALayerChange(benchmark::State& state) { TickWith(state, true); }
BENCHMARK(BM_PaletteTickIdle)->Iterations(200);
BENCHMARK(BM_PaletteTickAfterALayerChange)->Iterations(200);

}  // namespace
}  // namespace tintara

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  tintara::InitPixelTables();
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
