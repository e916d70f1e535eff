#include <gtest/gtest.h>

#include <filesystem>

#include "common/PictureSnapshot.h"
#include "events/EventFile.h"
#include "events/StrokeReplay.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

PaperSettings Undo50() {
  PaperSettings s;
  s.undoMax = 50;
  return s;
}

// A picture drawn with a live pen: the stroke manager records through the paper's recorder,
// and the recorder writes the pen values the strokes depend on.
struct LivePen {
  explicit LivePen(int32_t level)
      : paper(nullptr, Undo50()),
        tools(stroke),
        recorder(paper, events, &tools),
        link(recorder),
        renderer(render),
        mngr(paper, flow, stroke, renderer) {
    EXPECT_TRUE(recorder.StartRecording(50));
    paper.SetJournal(&recorder);
    paper.SetLevel(level);
    EXPECT_TRUE(paper.NewPaper("live", flow, false, false, 72, 40, 56));
    mngr.SetRecorder(&link);
  }
  ~LivePen() { paper.SetJournal(nullptr); }
  void Stroke(std::initializer_list<StrokeSample> s) {
    ASSERT_TRUE(mngr.Begin(*s.begin(), true));
    for (auto it = s.begin() + 1; it != s.end(); ++it) mngr.Continue(*it, true);
    ASSERT_TRUE(mngr.PenUp((s.end() - 1)->x, (s.end() - 1)->y, true));
  }
  TPaper paper;
  TFlowImage flow{paper};
  CEventMngr events;
  TStroke stroke;
  CStrokeToolState tools;
  CPaperRecorder recorder;
  CStrokeRecorderLink link;
  CPenRender render;
  CStrokeRenderer renderer;
  CStrokeMngr mngr;
};

struct Replayed {
  TPaper paper{nullptr, Undo50()};
  TFlowImage flow{paper};
  CReplayStrokeEngine strokes{paper, flow};
  int32_t skipped = -1;
  StepResult end = StepResult::kFailed;

  explicit Replayed(const std::string& path) {
    CEventMngr loaded;
    EXPECT_EQ(LoadEventFile(path, loaded), 0);
    CEventPlayer player(paper, flow, loaded, &strokes);
    EXPECT_EQ(player.Start("replay", false), 0);
    end = player.RunToEnd(100000);
    skipped = player.SkippedOperations();
  }
};

class StrokeStream : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tintara-strokes-XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Save(LivePen& live) {
    const std::string path = dir_ + "/s.te4";
    EXPECT_EQ(SaveEventFile(path, live.paper, live.recorder, false, false), kEvOk);
    return path;
  }
  std::string dir_;
  RecordingNotifySink notes_;
};

TEST_F(StrokeStream, OldPenStrokesReplayWithTheirRecordedPenValues) {
  LivePen live(1);
  ASSERT_GE(live.paper.NewLayer(live.flow, kModeNormal, 0x00FFFFFF, ""), 0);
  live.stroke.SetKind(kPenPencil);
  live.stroke.SetColour(0x00C02040);
  live.stroke.SetWidth(4);
  live.Stroke({{4, 4, 1}, {20, 10, 0.8f}, {40, 30, 0.6f}});
  // A new pen for the second stroke: the replay must take it from the stream.
  live.stroke.SetColour(0x002080F0);
  live.stroke.SetWidth(9);
  live.stroke.SetIfSize(true);
  live.Stroke({{50, 4, 0.3f}, {30, 20, 1}, {8, 36, 0.5f}});
  // An undone stroke is not replayed; the one after it overwrites its place in the stream.
  live.Stroke({{2, 30, 1}, {54, 30, 1}});
  ASSERT_TRUE(live.paper.Undo(live.flow).ok);
  live.stroke.SetKind(kPenEraser);
  live.Stroke({{28, 2, 1}, {28, 38, 1}});
  const Snapshot expected = Take(live.paper, false);
  ASSERT_NE(expected.layers[1].pixels, std::vector<uint32_t>(expected.layers[1].pixels.size(), 0x00FFFFFF));

  Replayed replay(Save(live));
  EXPECT_EQ(replay.end, StepResult::kEnded);
  EXPECT_EQ(replay.skipped, 0);
  EXPECT_EQ(Difference(Take(replay.paper, false), expected), "");
  EXPECT_EQ(replay.strokes.Stroke().Kind(), kPenEraser);
  EXPECT_EQ(replay.strokes.Stroke().Width(), 9.0f);
}

TEST_F(StrokeStream, BrushEngineStrokesAreSteppedOverAndMakeTheReplayIncomplete) {
  LivePen live(2);
  live.Stroke({{4, 4, 1}, {40, 30, 1}});
  Replayed replay(Save(live));
  EXPECT_EQ(replay.end, StepResult::kEnded);
  EXPECT_EQ(replay.skipped, 1);
}

}  // namespace
}  // namespace tintara
