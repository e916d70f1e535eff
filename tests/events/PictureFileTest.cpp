#include "events/PictureFile.h"

#include <gtest/gtest.h>

#include "EventTestUtil.h"

#include <filesystem>

#include "document/Paper.h"
#include "events/EventFile.h"
#include "events/Player.h"
#include "events/Recorder.h"
#include "files/BlockFile.h"
#include "files/NativeTestUtil.h"
#include "platform/FileIO.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

using test::WithUndo;

// A paper that records, as a drawing window holds it; `create` makes the picture.
struct Window {
  explicit Window(bool create) : paper(nullptr, WithUndo(50)), recorder(paper, events) {
    EXPECT_TRUE(recorder.StartRecording(50));
    paper.SetJournal(&recorder);
    if (create) {
      EXPECT_TRUE(paper.NewPaper("live", flow, false, false, 72, 30, 41));
    }
  }
  ~Window() { paper.SetJournal(nullptr); }
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

std::vector<PacketCode> Codes(std::span<const uint8_t> stream, size_t from = 0) {
  std::vector<PacketCode> v;
  PacketView p;
  for (size_t at = from; at < stream.size() && ReadPacketAt(stream, at, p) == FrameStatus::Ok; at = p.end())
    v.push_back(p.code);
  return v;
}

// Some recorded work: layers, positions, opacity, modes, a name, a selection.
void Draw(TPaper& p, TFlowImage& f, int variant) {
  ASSERT_GE(p.NewLayer(f, kModeNormal, 0xFF2050A0u + uint32_t(variant), ""), 0);
  const int32_t top = p.TopIndex();
  EXPECT_TRUE(p.SetLayerPosition(f, top, 6 + variant, 2));
  EXPECT_TRUE(p.SetLayerOpacity(top, uint8_t(180 - 20 * variant)));
  EXPECT_TRUE(p.SetLayerMode(top, kModeScreen + variant));
  EXPECT_TRUE(p.SetLayerName(top, "描いた" + std::to_string(variant)));
  p.SetPaperColor(0x00E0F0FFu - uint32_t(variant), true);
  EXPECT_GE(p.NewSelectionMask(-1), 0);
  EXPECT_TRUE(p.SelectRect(-1, {3 + variant, 4, 10, 7}, CombineMode::kAdd));
}

// The progress texts and steps, one entry each.
struct Progress : INativeProgress {
  void Begin(const std::string& title, int32_t steps) override {
    calls.push_back(title + " " + std::to_string(steps));
  }
  void AddSteps(int32_t steps) override { calls.push_back("add " + std::to_string(steps)); }
  void Text(const std::string& text) override { calls.push_back(text); }
  void Step(int32_t steps) override { calls.push_back("step " + std::to_string(steps)); }
  void End() override { calls.push_back("end"); }
  std::vector<std::string> calls;
};

class PictureFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tintara-picture-XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
  RecordingNotifySink notes_;
};

TEST_F(PictureFiles, ALoadedPictureRecordsOnAndItsStreamReplaysToIt) {
  Window live(true);
  Draw(live.paper, live.flow, 0);
  const std::vector<uint8_t> recorded = live.Stream();
  const std::string path = Path("pic.tci");
  Progress saving;
  const NativeSaveResult saved = SavePicture(path, live.paper, &live.recorder, &saving);
  ASSERT_TRUE(saved.saved);
  // The events take one more step per 64 KiB segment of the live store.
  const uint32_t segments = (live.events.CommittedLength() + kEventSegmentSize - 1) / kEventSegmentSize;
  ASSERT_GE(saving.calls.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(saving.calls.end() - 4, saving.calls.end()),
            (std::vector<std::string>{"add " + std::to_string(segments), "イベントデータを保存しています...",
                                      "step " + std::to_string(segments), "end"}));
  EXPECT_EQ(saved.status, 0);
  EXPECT_EQ(saved.contents, kNativeLayers | kNativeMasks | kNativeThumbnail | kNativeEvents);
  EXPECT_EQ(live.Stream(), recorded);  // saving changes nothing in the live stream

  Window opened(false);
  bool appending = false;
  Progress loading;
  const NativeLoadResult r =
      LoadPicture(path, opened.paper, opened.flow, opened.recorder, true, &appending, &loading);
  EXPECT_EQ(r.status, 0);
  ASSERT_TRUE(r.opened);
  ASSERT_GE(loading.calls.size(), 2u);
  EXPECT_EQ(loading.calls[loading.calls.size() - 2], "イベントデータをロードしています...");
  EXPECT_TRUE(appending);
  EXPECT_TRUE(notes_.warnings.empty()) << notes_.warnings.front();
  test::ExpectSamePicture(live.paper, opened.paper);
  // The loaded stream is the recorded one, then a start marker group for what follows.
  ASSERT_EQ(opened.events.State(), EventState::kRecording);
  const std::vector<uint8_t> stream = opened.Stream();
  ASSERT_GT(stream.size(), recorded.size());
  EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), stream.begin()));
  EXPECT_EQ(Codes(stream, recorded.size()).back(), (PacketCode{2, 254}));
  EXPECT_EQ(opened.events.GroupCount(), live.events.GroupCount() + 1);

  // Drawing goes on and is recorded; undo steps the stream back with it.
  Draw(opened.paper, opened.flow, 1);
  const uint32_t before = opened.events.CommittedLength();
  ASSERT_TRUE(opened.paper.Undo(opened.flow).ok);
  EXPECT_LT(opened.events.CommittedLength(), before);
  ASSERT_TRUE(opened.paper.Redo(opened.flow).ok);
  EXPECT_EQ(opened.events.CommittedLength(), before);

  // A replay of the whole stream draws the picture as it now is.
  CEventMngr copy;
  ASSERT_TRUE(copy.Load(opened.Stream(), opened.events.GroupCount()));
  TPaper replayed(nullptr, WithUndo(50));
  TFlowImage flow(replayed);
  CEventPlayer player(replayed, flow, copy);
  ASSERT_EQ(player.Start("replay", false), 0);
  ASSERT_EQ(player.RunToEnd(100000), StepResult::kEnded);
  EXPECT_FALSE(player.Incomplete());
  replayed.RecompositeAll(true);
  opened.paper.RecompositeAll(true);
  // (A replay names its layers from the packets and leaves the name counter where it was.)
  test::ExpectSamePicture(opened.paper, replayed, {.seeds = false, .allocation = false, .counters = false});

  // Saved and loaded once more, the appended work comes back as well.
  const std::string again = Path("again.tci");
  ASSERT_TRUE(SavePicture(again, opened.paper, &opened.recorder).saved);
  Window third(false);
  ASSERT_TRUE(LoadPicture(again, third.paper, third.flow, third.recorder).opened);
  test::ExpectSamePicture(opened.paper, third.paper);
  const std::vector<uint8_t> s2 = opened.Stream(), s3 = third.Stream();
  EXPECT_TRUE(s3.size() > s2.size() && std::equal(s2.begin(), s2.end(), s3.begin()));
}

TEST_F(PictureFiles, ADamagedEventBlockDropsTheEventsButKeepsThePicture) {
  Window live(true);
  Draw(live.paper, live.flow, 2);
  const std::string path = Path("pic.tci");
  ASSERT_TRUE(SavePicture(path, live.paper, &live.recorder).saved);
  std::vector<uint8_t> file;
  ASSERT_TRUE(ReadWholeFile(path, file));
  size_t segment = 0;
  for (const auto& b : test::WalkBlocks(file))
    if (b.id == "TBEV") segment = b.offset;
  ASSERT_GT(segment, 0u);
  for (size_t i = segment + 28; i < segment + 36; ++i) file[i] ^= 0xA5;  // the compressed bytes
  ASSERT_TRUE(WriteFileAtomic(path, file.data(), file.size()));

  Window opened(false);
  bool appending = true;
  const NativeLoadResult r = LoadPicture(path, opened.paper, opened.flow, opened.recorder, true, &appending);
  EXPECT_TRUE(r.opened);
  EXPECT_EQ(r.status, kEvBadSegment);
  EXPECT_FALSE(appending);
  EXPECT_EQ(notes_.warnings, (std::vector<std::string>{kEventBlockFailedText,
                                                       "読み込み中にエラーが検出されました! (err=45)"}));
  test::ExpectSamePicture(live.paper, opened.paper);
  EXPECT_EQ(opened.events.State(), EventState::kIdle);
  EXPECT_EQ(opened.events.CommittedLength(), 0u);
  // Nothing more is recorded into it.
  ASSERT_GE(opened.paper.NewLayer(opened.flow, kModeNormal, 0, ""), 0);
  EXPECT_EQ(opened.events.CommittedLength(), 0u);
}

TEST_F(PictureFiles, WithoutEventsOrWithRecordingOffThePictureOpensUnrecorded) {
  Window live(true);
  Draw(live.paper, live.flow, 3);
  const std::string plain = Path("plain.tci"), full = Path("full.tci");
  // A recorder that does not record saves no events.
  ASSERT_TRUE(SavePicture(full, live.paper, &live.recorder).saved);
  live.events.SetState(EventState::kStopped);
  const NativeSaveResult s = SavePicture(plain, live.paper, &live.recorder);
  ASSERT_TRUE(s.saved);
  EXPECT_EQ(s.contents & kNativeEvents, 0u);
  struct Case {
    std::string path;
    bool record;
  } cases[] = {{plain, true}, {full, false}};
  for (const Case& c : cases) {
    Window opened(false);
    bool appending = true;
    const NativeLoadResult r =
        LoadPicture(c.path, opened.paper, opened.flow, opened.recorder, c.record, &appending);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.opened);
    EXPECT_FALSE(appending);
    EXPECT_EQ(opened.events.State(), EventState::kIdle);
    EXPECT_EQ(opened.events.CommittedLength(), 0u);
    test::ExpectSamePicture(live.paper, opened.paper);
  }
  EXPECT_TRUE(notes_.warnings.empty());
}

// Writes the picture with a stream the live recorder would not write itself.
class StreamOf : public INativeEventData {
 public:
  StreamOf(const CEventMngr& events, bool protect) : events_(events), protect_(protect) {}
  int32_t SaveEvents(int32_t w, int32_t h, std::vector<uint8_t>& out) override {
    return WritePackedEvents(events_, w, h, protect_, out);
  }
  int32_t LoadEvents(std::span<const uint8_t>, size_t&) override { return kFileNoRecorder; }
  void DiscardEvents() override {}
  void LoadFinished(bool) override {}

 private:
  const CEventMngr& events_;
  bool protect_;
};

TEST_F(PictureFiles, AProtectedStreamIsNotContinuedAndAnEndMarkerIsDropped) {
  Window live(true);
  Draw(live.paper, live.flow, 4);
  const std::vector<uint8_t> recorded = live.Stream();
  struct Case {
    bool protect, marker;
    bool appending;
  } cases[] = {{true, false, false}, {false, true, true}};
  for (const Case& c : cases) {
    if (c.marker) {
      ASSERT_TRUE(live.recorder.RecordStop());
    }
    StreamOf source(live.events, c.protect);
    const std::string path = Path(c.protect ? "protected.tci" : "marker.tci");
    MemorySink sink;
    ASSERT_TRUE(WriteNativeFile(sink, live.paper, kNativeLayers | kNativeEvents, &source).saved);
    ASSERT_TRUE(WriteFileAtomic(path, sink.bytes.data(), sink.bytes.size()));
    Window opened(false);
    bool appending = !c.appending;
    const NativeLoadResult r =
        LoadPicture(path, opened.paper, opened.flow, opened.recorder, true, &appending);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(appending, c.appending);
    const std::vector<uint8_t> stream = opened.Stream();
    if (c.appending) {
      // The marker is gone: the recorded stream, then the start of the appended part.
      ASSERT_GT(stream.size(), recorded.size());
      EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), stream.begin()));
      const std::vector<PacketCode> after = Codes(stream, recorded.size());
      EXPECT_EQ(std::count(after.begin(), after.end(), PacketCode{2, 255}), 0);
      EXPECT_EQ(after.back(), (PacketCode{2, 254}));
    } else {
      EXPECT_EQ(opened.events.State(), EventState::kIdle);
      EXPECT_TRUE(stream.empty());
    }
  }
  EXPECT_TRUE(notes_.warnings.empty());
}

}  // namespace
}  // namespace tintara
