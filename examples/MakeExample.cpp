// Writes the bundled example event file: a small picture of coloured panes built with layer
// operations, so that a machine without a display can replay something real.
//   make_example OUT.te4
#include <cstdio>

#include "document/Paper.h"
#include "events/EventFile.h"
#include "events/Recorder.h"
#include "pixel/Arith.h"

using namespace tintara;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_example OUT.te4\n");
    return 2;
  }
  InitPixelTables();
  TPaper paper;
  TFlowImage flow(paper);
  CEventMngr events;
  CPaperRecorder recorder(paper, events);
  recorder.StartRecording(16);
  paper.SetJournal(&recorder);
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
  ok = ok && SaveEventFile(argv[1], paper, recorder, false, false) == kEvOk;
  paper.SetJournal(nullptr);
  if (!ok) {
    std::fprintf(stderr, "make_example: could not write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
