// Writes the bundled examples: a small picture of coloured panes built with layer operations
// and three pen strokes, once as an event file (a machine without a display replays it) and
// once as a picture file carrying the same events (the window opens it).
//   make_example OUT.te4 OUT.tci
#include <cmath>
#include <cstdio>

#include "document/Paper.h"
#include "events/EventFile.h"
#include "events/PictureFile.h"
#include "events/Recorder.h"
#include "events/StrokeReplay.h"
#include "pixel/Arith.h"

using namespace tintara;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_example OUT.te4 OUT.tci\n");
    return 2;
  }
  InitPixelTables();
  TPaper paper;
  TFlowImage flow(paper);
  CEventMngr events;
  TStroke pen;
  CStrokeToolState tools(pen);
  CPaperRecorder recorder(paper, events, &tools);
  CStrokeRecorderLink link(recorder);
  CPenRender render;
  CStrokeRenderer renderer(render);
  recorder.StartRecording(16);
  paper.SetJournal(&recorder);
  paper.SetLevel(1);  // the old pen kinds, which streams replay with their pen values
  bool ok = paper.NewPaper("example", flow, true, false, 96, 240, 320);
  paper.SetPaperColor(0x00F4ECE0, true);  // warm paper
  struct Pane {
    int32_t mode;
    uint32_t colour;
    int32_t x, y;
    uint8_t opacity;
    const char* name;
  };
  // Each new layer is as large as the paper; its view offset (the layer pixel shown at the
  // paper's origin) slides it, so negative offsets leave panes towards the lower right.
  const Pane panes[] = {
      {kModeNormal, 0xFF3060B0, -40, -30, 255, "sky"},
      {kModeMultiply, 0xFFF0C040, -120, -90, 255, "sun"},
      {kModeScreen, 0xFF802040, -200, -150, 200, "dusk"},
      {kModeDifference, 0xFFFFFFFF, -280, 20, 255, "edge"},
  };
  for (const Pane& p : panes) {
    const int32_t i = paper.NewLayer(flow, p.mode, p.colour, p.name);
    ok = ok && i >= 0 && paper.SetLayerPosition(flow, i, p.x, p.y);
    if (ok && p.opacity != 255) ok = paper.SetLayerOpacity(i, p.opacity);
  }
  // Three pressure strokes across the lower half on a clear layer of their own, each with a
  // pen of its own.
  ok = ok && paper.NewLayer(flow, kModeNormal, 0x00FFFFFF, "ink") >= 0;
  CStrokeMngr strokes(paper, flow, pen, renderer);
  strokes.SetRecorder(&link);
  const struct {
    uint32_t colour;
    float width, y;
  } waves[] = {{0x00F8F0D0, 3, 170}, {0x00202830, 6, 195}, {0x00E05030, 10, 220}};
  for (const auto& w : waves) {
    pen.SetColour(w.colour);
    pen.SetWidth(w.width);
    pen.SetIfSize(true);
    for (int i = 0; i <= 60 && ok; ++i) {
      const StrokeSample s{20.0f + float(i) * 4.5f, w.y + 12.0f * std::sin(float(i) * 0.2f),
                           0.3f + 0.7f * std::sin(float(i) * 0.05f)};
      ok = i == 0 ? strokes.Begin(s, true) : (strokes.Continue(s, true), true);
    }
    ok = ok && strokes.End(true);
  }
  ok = ok && SaveEventFile(argv[1], paper, recorder, false, false) == kEvOk;
  ok = ok && SavePicture(argv[2], paper, &recorder).saved;
  paper.SetJournal(nullptr);
  if (!ok) {
    std::fprintf(stderr, "make_example: could not write %s and %s\n", argv[1], argv[2]);
    return 1;
  }
  return 0;
}
