// Replay of a recorded drawing in a batch run: 200 strokes of 200 samples each, drawn with the
// old pen kinds (level 1) or the brush engine (level 2), recorded live once, saved as an event
// file, then loaded and replayed to the end per iteration. The counter
// "realtime_ratio" compares with the time the drawing took at 60 samples per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>

#include "events/EventFile.h"
#include "events/StrokeReplay.h"
#include "pixel/Arith.h"

namespace tintara {
namespace {

constexpr int kStrokes = 200, kSamples = 200;

PaperSettings Undo8() {
  PaperSettings s;
  s.undoMax = 8;
  return s;
}

// Writes the drawing once per process and level.
std::string WriteDrawing(int32_t level) {
  {
    InitPixelTables();
    const std::string p =
        (std::filesystem::temp_directory_path() / ("tintara-replay-bench" + std::to_string(level) + ".te4"))
            .string();
    TPaper paper(nullptr, Undo8());
    TFlowImage flow(paper);
    CEventMngr events;
    TStroke stroke;
    CPenRender render;
    CStrokeRenderer renderer(render);
    CStrokeMngr mngr(paper, flow, stroke, renderer);
    CStrokeToolState tools(stroke, &render, &mngr);
    CPaperRecorder recorder(paper, events, &tools);
    CStrokeRecorderLink link(recorder);
    recorder.StartRecording(8);
    paper.SetJournal(&recorder);
    paper.SetLevel(level);
    paper.NewPaper("bench", flow, false, false, 72, 768, 1024);
    PenTipParams tip;
    tip.radius100 = 800;
    render.SetTipParams(tip);
    mngr.SetRecorder(&link);
    stroke.SetWidth(8);
    for (int s = 0; s < kStrokes; ++s) {
      stroke.SetColour(0x00102030u + uint32_t(s) * 0x00010305u);
      const float y0 = float(40 + (s * 7) % 680);
      for (int i = 0; i < kSamples; ++i) {
        const StrokeSample smp{float(20 + i * 4.8), y0 + 30.0f * std::sin(float(i) * 0.05f),
                               0.5f + 0.5f * std::sin(float(i) * 0.1f)};
        if (i == 0)
          mngr.Begin(smp, true);
        else
          mngr.Continue(smp, true);
      }
      mngr.End(true);
    }
    SaveEventFile(p, paper, recorder, false, false);
    paper.SetJournal(nullptr);
    return p;
  }
}

const std::string& Drawing(int32_t level) {
  static const std::string paths[3] = {"", WriteDrawing(1), WriteDrawing(2)};
  return paths[level];
}

void BM_ReplayDrawing(benchmark::State& state) {
  const std::string& path = Drawing(int32_t(state.range(0)));
  int64_t skipped = 0;
  for (auto _ : state) {
    CEventMngr loaded;
    if (LoadEventFile(path, loaded) != 0) state.SkipWithError("the drawing could not be loaded");
    TPaper paper(nullptr, Undo8());
    TFlowImage flow(paper);
    CReplayStrokeEngine strokes(paper, flow);
    CEventPlayer player(paper, flow, loaded, &strokes);
    player.Start("bench", true);
    benchmark::DoNotOptimize(player.RunToEnd());
    skipped += player.SkippedOperations();
  }
  if (skipped) state.SkipWithError("strokes were skipped: the replay is not the drawing");
  const double samples = double(kStrokes) * kSamples;
  state.counters["samples_per_s"] =
      benchmark::Counter(samples, benchmark::Counter::kIsIterationInvariantRate);
  // Seconds of drawing at 60 samples/s per second of replay.
  state.counters["realtime_ratio"] =
      benchmark::Counter(samples / 60.0, benchmark::Counter::kIsIterationInvariantRate);
}
// Argument: the paper level the drawing was made at (1 old pens, 2 the brush engine).
BENCHMARK(BM_ReplayDrawing)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tintara
