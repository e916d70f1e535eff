// The layer clear and the selection fills in the event stream: the packets they write, byte for
// byte, and the picture a replay of a saved stream draws from them.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "EventTestUtil.h"
#include "common/PictureSnapshot.h"
#include "document/Paper.h"
#include "events/EventFile.h"
#include "events/Player.h"
#include "events/Recorder.h"

namespace tintara {
namespace {

using test::WithUndo;

// A recording picture of 9 x 6: a white paper layer and a normal layer above it.
struct Live {
  Live() : paper(nullptr, WithUndo(50)), recorder(paper, events) {
    EXPECT_TRUE(recorder.StartRecording(50));
    paper.SetJournal(&recorder);
    EXPECT_TRUE(paper.NewPaper("live", flow, false, false, 72, 6, 9));
    EXPECT_EQ(paper.NewLayer(flow, kModeNormal, 0x00FFFFFF, ""), 1);
  }
  ~Live() { paper.SetJournal(nullptr); }
  std::vector<uint8_t> Stream() const {
    std::vector<uint8_t> s;
    events.CopyOut(events.CommittedLength(), s);
    return s;
  }
  TPaper paper;
  TFlowImage flow{paper};
  CEventMngr events;
  CPaperRecorder recorder;
};

// The last packet of the stream other than state records.
std::vector<uint8_t> LastOperation(std::span<const uint8_t> stream, size_t from) {
  std::vector<uint8_t> last;
  PacketView p;
  for (size_t at = from; at < stream.size() && ReadPacketAt(stream, at, p) == FrameStatus::Ok; at = p.end())
    if (p.code.kind != 0 && p.code.kind != 1)
      last.assign(stream.begin() + std::ptrdiff_t(p.offset), stream.begin() + std::ptrdiff_t(p.end()));
  return last;
}

struct PacketCase {
  const char* name;
  std::function<bool(TPaper&, TFlowImage&)> run;
  std::vector<uint8_t> expected;
};

TEST(SelectionFillPackets, EachOperationWritesItsPacketFieldByField) {
  using test::Bytes;
  using test::Packet;
  const PacketCase cases[] = {
      {"clear layer 1", [](TPaper& p, TFlowImage& f) { return p.ClearLayer(f, 1); },
       Packet(4, 2, Bytes().u16(1).u16(0))},
      // uint16 layer, uint32 value, the point and the two floats zero.
      {"fill layer 1", [](TPaper& p, TFlowImage& f) { return p.FillSelection(f, 1, 0xFF123456); },
       Packet(6, 0, Bytes().u16(1).u32(0x00123456).i32(0).i32(0).f32(0).f32(0))},
      {"delete on layer 0", [](TPaper& p, TFlowImage& f) { return p.DeleteSelection(f, 0, 0x00F0E0D0); },
       Packet(6, 5, Bytes().u16(0).u32(0x00F0E0D0).i32(0).i32(0).f32(0).f32(0))},
      // uint16 active layer, uint16 the mask copied.
      {"duplicate mask 0", [](TPaper& p, TFlowImage&) { return p.DuplicateMask(0) == 0; },
       Packet(10, 4, Bytes().u16(1).u16(0))},
  };
  for (const PacketCase& c : cases) {
    SCOPED_TRACE(c.name);
    Live live;
    const uint32_t from = live.events.CommittedLength(), groups = live.events.GroupCount();
    ASSERT_TRUE(c.run(live.paper, live.flow));
    EXPECT_EQ(LastOperation(live.Stream(), from), c.expected);
    EXPECT_EQ(live.events.GroupCount(), groups + 1);
    EXPECT_TRUE(ValidatePackets(live.Stream()));
  }
}

TEST(SelectionFillPackets, AFailedOperationWritesNothing) {
  Live live;
  const uint32_t length = live.events.CommittedLength(), groups = live.events.GroupCount();
  EXPECT_FALSE(live.paper.ClearLayer(live.flow, 2));
  EXPECT_FALSE(live.paper.FillSelection(live.flow, -1, 0));
  EXPECT_FALSE(live.paper.DeleteSelection(live.flow, 7, 0x00FFFFFF));
  EXPECT_EQ(live.events.CommittedLength(), length);
  EXPECT_EQ(live.events.GroupCount(), groups);
  EXPECT_EQ(live.events.State(), EventState::kRecording);
}

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/tintara-fills-XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Saves the stream, loads it into a fresh paper and replays it to the end.
Snapshot Replay(Live& live, const std::string& path) {
  EXPECT_EQ(SaveEventFile(path, live.paper, live.recorder, false, false), kEvOk);
  CEventMngr loaded;
  EXPECT_EQ(LoadEventFile(path, loaded), 0);
  TPaper paper(nullptr, WithUndo(50));
  TFlowImage flow(paper);
  CEventPlayer player(paper, flow, loaded);
  EXPECT_EQ(player.Start("replay", false), 0);
  EXPECT_EQ(player.RunToEnd(100000), StepResult::kEnded);
  EXPECT_FALSE(player.Incomplete());  // nothing stepped over
  return Take(paper, false);
}

TEST(SelectionFillReplay, TheReplayDrawsTheSamePicture) {
  struct Case {
    const char* name;
    std::function<void(Live&)> run;
  };
  const Case cases[] = {
      {"fill without a selection",
       [](Live& l) { EXPECT_TRUE(l.paper.FillSelection(l.flow, 1, 0x00336699)); }},
      {"fill, then delete part of it, on a protected layer too",
       [](Live& l) {
         EXPECT_TRUE(l.paper.SelectRect(-1, {2, 1, 4, 3}, CombineMode::kReplace));
         EXPECT_TRUE(l.paper.FillSelection(l.flow, 1, 0x00336699));
         EXPECT_TRUE(l.paper.SelectRect(-1, {3, 2, 4, 3}, CombineMode::kReplace));
         EXPECT_TRUE(l.paper.DeleteSelection(l.flow, 1, l.paper.paperColor));
         EXPECT_TRUE(l.paper.SetLayerProtectAlpha(0, true));
         EXPECT_TRUE(l.paper.FillSelection(l.flow, 0, 0x00802010));
       }},
      {"a duplicated mask changed, undone and redone",
       [](Live& l) {
         EXPECT_TRUE(l.paper.SelectRect(-1, {1, 1, 3, 3}, CombineMode::kReplace));
         EXPECT_EQ(l.paper.DuplicateMask(0), 0);  // the copy lands before the original, active
         EXPECT_EQ(l.paper.masks.Count(), 2);
         EXPECT_TRUE(l.paper.SelectRect(-1, {4, 2, 3, 3}, CombineMode::kAdd));
         EXPECT_TRUE(l.paper.Undo(l.flow).ok);
         EXPECT_TRUE(l.paper.Undo(l.flow).ok);
         EXPECT_EQ(l.paper.masks.Count(), 1);
         EXPECT_TRUE(l.paper.Redo(l.flow).ok);
         EXPECT_EQ(l.paper.masks.Count(), 2);
         EXPECT_EQ(l.paper.masks.At(0)->CoverageAt(2, 2), 255);
         EXPECT_TRUE(l.paper.FillSelection(l.flow, 1, 0x00445566));
       }},
      {"a disabled selection, a clear and an undone fill",
       [](Live& l) {
         EXPECT_TRUE(l.paper.SelectRect(-1, {0, 0, 2, 2}, CombineMode::kReplace));
         EXPECT_TRUE(l.paper.SetSelectionEnabled(false));
         EXPECT_TRUE(l.paper.FillSelection(l.flow, 1, 0x00102030));  // the whole paper
         EXPECT_TRUE(l.paper.ClearLayer(l.flow, 0));
         EXPECT_TRUE(l.paper.SetSelectionEnabled(true));
         EXPECT_TRUE(l.paper.FillSelection(l.flow, 1, 0x00FF0000));
         EXPECT_TRUE(l.paper.Undo(l.flow).ok);
         EXPECT_TRUE(l.paper.Undo(l.flow).ok);
         EXPECT_TRUE(l.paper.Redo(l.flow).ok);
       }},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Live live;
    c.run(live);
    const Snapshot expected = Take(live.paper, false);
    EXPECT_EQ(Difference(Replay(live, dir.File("a.te4")), expected), "");
  }
}

TEST(SelectionFillReplay, TheReplayedPictureIsNotTheBlankOne) {
  // Guards the comparison above: without the fill, the replay must differ.
  TempDir dir;
  Live live;
  const Snapshot blank = Take(live.paper, false);
  ASSERT_TRUE(live.paper.FillSelection(live.flow, 1, 0x00336699));
  const Snapshot replayed = Replay(live, dir.File("b.te4"));
  EXPECT_NE(Difference(replayed, blank), "");
  EXPECT_EQ(replayed.layers[1].pixels[0], 0xFF336699u);
}

}  // namespace
}  // namespace tintara
