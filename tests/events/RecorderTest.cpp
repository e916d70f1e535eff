#include <gtest/gtest.h>

#include "EventTestUtil.h"

#include <cstdio>
#include <filesystem>
#include <random>

#include "common/PictureSnapshot.h"
#include "document/Paper.h"
#include "events/EventFile.h"
#include "events/Player.h"
#include "events/Recorder.h"
#include "platform/Clock.h"
#include "platform/FileIO.h"
#include "platform/Memory.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

using test::WithUndo;

// A picture that records: paper, flow image, stream and recorder, as a window holds them.
struct Live {
  explicit Live(int32_t undoMax = 50, IToolStateSource* tools = nullptr)
      : paper(nullptr, WithUndo(undoMax)), recorder(paper, events, tools) {
    EXPECT_TRUE(recorder.StartRecording(undoMax));
    paper.SetJournal(&recorder);
    EXPECT_TRUE(paper.NewPaper("live", flow, false, false, 72, 30, 41));
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

// The codes of the packets of stream[from, to).
std::vector<PacketCode> Codes(std::span<const uint8_t> stream, size_t from = 0) {
  std::vector<PacketCode> v;
  PacketView p;
  for (size_t at = from; at < stream.size() && ReadPacketAt(stream, at, p) == FrameStatus::Ok; at = p.end())
    v.push_back(p.code);
  return v;
}

std::vector<PacketCode> Without(std::vector<PacketCode> v, uint8_t kind) {
  std::erase_if(v, [kind](PacketCode c) { return c.kind == kind; });
  return v;
}

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/tintara-events-XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

TEST(Recorder, ANewPictureOpensTheStreamWithItsCreationAndAStartMarker) {
  ManualClock clock;
  IClock* previous = SetClock(&clock);
  Live live;
  SetClock(previous);
  const std::vector<uint8_t> s = live.Stream();
  const std::vector<PacketCode> codes = Codes(s);
  ASSERT_GE(codes.size(), 4u);
  EXPECT_EQ(codes[0], (PacketCode{0, 0}));
  EXPECT_EQ(codes[1], (PacketCode{2, 8}));
  EXPECT_EQ(codes.back(), (PacketCode{2, 254}));
  EXPECT_EQ(live.events.GroupCount(), 2u);
  PaperCreateRecord r;
  ASSERT_EQ(Decode(std::span<const uint8_t>(s).subspan(14), r), DecodeStatus::Ok);  // after (0,0)
  EXPECT_EQ(r.width, 41);
  EXPECT_EQ(r.height, 30);
  EXPECT_EQ(r.a, 72);
  EXPECT_EQ(r.flag1, 0);  // not transparent
  // The base state, then the time recording started, then the marker.
  EXPECT_NE(std::find(codes.begin(), codes.end(), PacketCode{0, 8}), codes.end());
  EXPECT_NE(std::find(codes.begin(), codes.end(), PacketCode{1, 17}), codes.end());
}

TEST(Recorder, StrokesAreBlocksOfSixteenSamples) {
  for (auto [samples, expected] : {std::pair{16, std::vector<PacketCode>{{48, 0}, {18, 16}}},
                                   {17, {{48, 0}, {17, 16}, {18, 1}}},
                                   {1, {{48, 0}, {18, 1}}},
                                   {33, {{48, 0}, {17, 16}, {17, 16}, {18, 1}}}}) {
    Live live;
    live.paper.SetLevel(2);
    const uint32_t start = live.events.CommittedLength();
    ASSERT_TRUE(live.recorder.StrokeBegin(0, false, 0.5f, 1, 1));
    for (int k = 1; k < samples; ++k) ASSERT_TRUE(live.recorder.StrokeSample(0.5f, float(k), 1));
    ASSERT_TRUE(live.recorder.StrokeEnd());
    EXPECT_EQ(Without(Codes(live.Stream(), start), 0), expected) << samples;
    EXPECT_EQ(live.events.GroupCount(), 3u);  // the whole stroke is one group
  }
}

// Writes a pen-colour record as part of the tool state, the way the stroke will.
struct PenColour : IToolStateSource {
  uint32_t colour = 0x000000FF;
  bool WriteToolState(CEventMngr& events) override {
    MainPenRecord r;
    r.colour = colour;
    std::vector<uint8_t> b;
    return Encode(r, b) && events.WriteStateRecord(b);
  }
};

int CountCode(std::span<const uint8_t> s, size_t from, PacketCode c) {
  const auto v = Codes(s, from);
  return int(std::count(v.begin(), v.end(), c));
}

TEST(Recorder, UndoneGroupsAreOverwrittenAndForgetTheStateTheyWrote) {
  PenColour pen;
  Live live(50, &pen);
  auto stroke = [&](float x) {
    ASSERT_TRUE(live.recorder.StrokeBegin(0, false, 1, x, 1));
    ASSERT_TRUE(live.recorder.StrokeEnd());
  };
  const uint32_t before = live.events.CommittedLength();
  stroke(1);
  EXPECT_EQ(CountCode(live.Stream(), before, {0, 16}), 1);
  const uint32_t afterFirst = live.events.CommittedLength();
  stroke(2);
  EXPECT_EQ(CountCode(live.Stream(), afterFirst, {0, 16}), 0);  // unchanged pen: not again
  // Undo of both strokes: the (0,16) of the first is gone from the stream and from the copies.
  ASSERT_TRUE(live.events.UndoGroup());
  ASSERT_TRUE(live.events.UndoGroup());
  EXPECT_EQ(live.events.CommittedLength(), before);
  EXPECT_FALSE(live.events.HasStateCopy(16));
  stroke(3);
  EXPECT_EQ(CountCode(live.Stream(), before, {0, 16}), 1);  // written again, over the undone bytes
  EXPECT_FALSE(live.events.RedoGroup());                    // and the undone groups are gone
}

TEST(Recorder, TheRingRefusesToUndoPastItsCapacity) {
  Live live(0);  // capacity max(8, 0 + 34)
  const int32_t capacity = live.events.RingCapacity();
  ASSERT_EQ(capacity, 34);
  for (int k = 0; k < 60; ++k) live.paper.ShowAll(k % 2 == 0);
  int undone = 0;
  while (live.events.UndoGroup()) ++undone;
  // The ring holds group starts: one slot more than the groups it can step back over.
  EXPECT_EQ(undone, capacity - 1);
  EXPECT_GT(live.events.GroupCount(), 0u);  // older packets are still in the stream
}

TEST(Recorder, UndoAndRedoOfThePaperStepTheStreamWithThem) {
  Live live;
  const uint32_t start = live.events.CommittedLength();
  ASSERT_GE(live.paper.NewLayer(live.flow, kModeNormal, 0x80FF0000, ""), 0);
  const uint32_t afterAdd = live.events.CommittedLength();
  ASSERT_TRUE(live.paper.SetLayerOpacity(1, 100));
  const uint32_t afterOpacity = live.events.CommittedLength();
  ASSERT_TRUE(live.paper.Undo(live.flow).ok);
  EXPECT_EQ(live.events.CommittedLength(), afterAdd);
  ASSERT_TRUE(live.paper.Undo(live.flow).ok);
  EXPECT_EQ(live.events.CommittedLength(), start);
  ASSERT_TRUE(live.paper.Redo(live.flow).ok);
  EXPECT_EQ(live.events.CommittedLength(), afterAdd);
  ASSERT_TRUE(live.paper.Redo(live.flow).ok);
  EXPECT_EQ(live.events.CommittedLength(), afterOpacity);
  EXPECT_EQ(live.events.UndoDepth() >= live.paper.undo->UndoCount(), true);
}

TEST(Recorder, AnOperationWhosePacketCannotBeWrittenEndsRecording) {
  Live live;
  // A large info record fills the first segment almost to its end.
  InfoRecord filler;
  filler.code = {1, 3};
  filler.data.assign(kEventSegmentSize - live.events.CommittedLength() - 10, 0);
  std::vector<uint8_t> b;
  ASSERT_TRUE(Encode(filler, b));
  ASSERT_TRUE(live.events.WritePacket(b, true));
  RecordingNotifySink notes;
  const uint32_t length = live.events.CommittedLength();
  {
    ScopedAllocFailure fail;  // the next segment cannot be had
    live.paper.ShowAll(false);
  }
  EXPECT_EQ(live.paper.Layer(0)->visible, 0);  // the operation happened
  ASSERT_EQ(notes.warnings.size(), 1u);
  EXPECT_EQ(notes.warnings[0], kEventRecordingEndedText);
  EXPECT_EQ(live.events.State(), EventState::kIdle);
  EXPECT_LE(live.events.CommittedLength(), length);
}

// --- event files ------------------------------------------------------------------------------

TEST(EventFiles, EmptyStreamsAndForeignSegmentSizesAreRefused) {
  CEventMngr empty;
  std::vector<uint8_t> out;
  EXPECT_EQ(WritePackedEvents(empty, 10, 10, false, out), kEvEmpty);
  EXPECT_EQ(WritePlainEvents(empty, 10, 10, out), kEvEmpty);

  Live live;
  std::vector<uint8_t> file;
  ASSERT_EQ(WritePackedEvents(live.events, 41, 30, false, file), kEvOk);
  ASSERT_GE(file.size(), 56u);
  std::vector<uint8_t> bad = file;
  bad[44 + 1] = 0x80;  // the segment size field
  CEventMngr into;
  size_t pos = 0;
  EXPECT_EQ(ReadEvents(bad, pos, into), kEvBadSegmentSize);
  EXPECT_EQ(pos, 0u);
  EXPECT_EQ(into.CommittedLength(), 0u);
}

TEST(EventFiles, BothFormsReadBackTheSameStream) {
  Live live;
  live.paper.NewLayer(live.flow, kModeMultiply, 0xFF00FF00, "");
  live.paper.SelectRect(0, {1, 2, 5, 6}, CombineMode::kReplace);
  const std::vector<uint8_t> stream = live.Stream();
  for (bool plain : {false, true}) {
    std::vector<uint8_t> file;
    ASSERT_EQ(plain ? WritePlainEvents(live.events, 41, 30, file)
                    : WritePackedEvents(live.events, 41, 30, false, file),
              kEvOk);
    EXPECT_EQ(file.size() % 4, 0u);
    CEventMngr back;
    size_t pos = 0;
    ASSERT_EQ(ReadEvents(file, pos, back), kEvOk) << plain;
    EXPECT_EQ(pos, file.size());
    std::vector<uint8_t> got;
    ASSERT_TRUE(back.CopyOut(back.CommittedLength(), got));
    EXPECT_EQ(got, stream);
    EXPECT_EQ(back.GroupCount(), live.events.GroupCount());  // counted from the stream
  }
}

TEST(EventFiles, SavingLeavesNoEndMarkerAndProtectedStreamsAreNotSavedGuarded) {
  TempDir dir;
  Live live;
  live.paper.ShowAll(false);
  const uint32_t groups = live.events.GroupCount(), length = live.events.CommittedLength();
  ASSERT_EQ(SaveEventFile(dir.File("a.te4"), live.paper, live.recorder, false, false), kEvOk);
  EXPECT_EQ(live.events.State(), EventState::kRecording);
  EXPECT_EQ(live.events.GroupCount(), groups);
  EXPECT_EQ(live.events.CommittedLength(), length);
  // The file itself ends with the marker.
  CEventMngr loaded;
  ASSERT_EQ(LoadEventFile(dir.File("a.te4"), loaded), 0);
  std::vector<uint8_t> s;
  loaded.CopyOut(loaded.CommittedLength(), s);
  EXPECT_EQ(Codes(s).back(), (PacketCode{2, 255}));
  // Recording goes on after the save.
  live.paper.ShowAll(true);
  EXPECT_EQ(live.events.GroupCount(), groups + 1);

  // A guarded save writes the protect bit into the file only.
  ASSERT_EQ(SaveEventFile(dir.File("g.te4"), live.paper, live.recorder, false, true), kEvOk);
  CEventMngr guarded;
  ASSERT_EQ(LoadEventFile(dir.File("g.te4"), guarded), 0);
  std::vector<uint8_t> g;
  guarded.CopyOut(guarded.CommittedLength(), g);
  EXPECT_TRUE(MarkStateRecords(g, kProtectBit, false, true).found);
  std::vector<uint8_t> liveBytes = live.Stream();
  EXPECT_FALSE(MarkStateRecords(liveBytes, kProtectBit, false, true).found);

  // A stream that is protected already is refused before anything is written.
  ASSERT_TRUE(MarkStateRecords(liveBytes, kProtectBit, true, false).walked);
  ASSERT_TRUE(live.events.Overwrite(0, liveBytes));
  RecordingNotifySink notes;
  EXPECT_EQ(SaveEventFile(dir.File("h.te4"), live.paper, live.recorder, false, true), kEvProtectRefused);
  EXPECT_FALSE(std::filesystem::exists(dir.File("h.te4")));
  ASSERT_EQ(notes.warnings.size(), 1u);
  EXPECT_EQ(notes.warnings[0], kAlreadyProtectedText);
}

TEST(EventFiles, DamagedFilesGiveTheirResultCodes) {
  Live live;
  for (int k = 0; k < 30; ++k)
    live.paper.NewLayer(live.flow, kModeNormal, 0x00FFFFFF, "layer " + std::to_string(k));
  std::vector<uint8_t> file;
  ASSERT_EQ(WritePackedEvents(live.events, 41, 30, false, file), kEvOk);
  std::vector<uint8_t> plain;
  ASSERT_EQ(WritePlainEvents(live.events, 41, 30, plain), kEvOk);
  RecordingNotifySink notes;
  for (const std::vector<uint8_t>* f : {&file, &plain})
    for (size_t cut = 0; cut < f->size(); cut += 997) {
      std::vector<uint8_t> part(f->begin(), f->begin() + std::ptrdiff_t(cut));
      CEventMngr m;
      size_t pos = 0;
      EXPECT_NE(ReadEvents(part, pos, m), kEvOk) << cut;
      EXPECT_EQ(m.CommittedLength(), 0u);
    }
  struct Case {
    size_t at;
    uint8_t value;
    int32_t expected;
  };
  const std::vector<uint8_t> stream = live.Stream();
  // The stream's first packet code in the plain block, the segment's compressed bytes, the head.
  for (const Case& c : {Case{40, 0x07, kEvBadPackets}, Case{16, 99, kEvBadVersion}, Case{0, 'X', kEvBadMagic},
                        Case{18, 1, kEvBadFlags}}) {
    std::vector<uint8_t> bad = plain;
    bad[c.at] = c.value;
    CEventMngr m;
    size_t pos = 0;
    EXPECT_EQ(ReadEvents(bad, pos, m), c.expected) << c.at;
  }
  {
    std::vector<uint8_t> bad = plain;
    bad[4] = 0;  // block size below 32 + the stream length
    bad[5] = 0;
    CEventMngr m;
    size_t pos = 0;
    EXPECT_EQ(ReadEvents(bad, pos, m), kEvBadSize);
  }
  {
    std::vector<uint8_t> bad = file;
    for (size_t k = 56 + 28; k < 56 + 40; ++k) bad[k] ^= 0x5A;  // a segment that does not expand
    CEventMngr m;
    size_t pos = 0;
    EXPECT_EQ(ReadEvents(bad, pos, m), kEvBadSegment);
  }
  {
    std::vector<uint8_t> bad = file;
    bad[56 + 8] = 1;  // the segment's stream offset
    CEventMngr m;
    size_t pos = 0;
    EXPECT_EQ(ReadEvents(bad, pos, m), kEvBadSegment);
  }
}

// --- replay ---------------------------------------------------------------------------------

// Replays `events` into a fresh paper to its end.
struct Replayed {
  explicit Replayed(CEventMngr& source) : events(), player(paper, flow, events) {
    std::vector<uint8_t> bytes;
    source.CopyOut(source.CommittedLength(), bytes);
    uint32_t groups = 0;
    CountGroups(bytes, groups);
    events.Load(bytes, groups);
    start = player.Start("replay", false);
    if (start == 0) result = player.RunToEnd(100000);
  }
  TPaper paper{nullptr, WithUndo(50)};
  TFlowImage flow{paper};
  CEventMngr events;
  CEventPlayer player;
  int32_t start = -1;
  StepResult result = StepResult::kFailed;
};

TEST(Replay, AStreamMustBeginWithThePapersCreation) {
  CEventMngr m;
  std::vector<uint8_t> b;
  LayerArgRecord del;
  del.code = {4, 1};
  ASSERT_TRUE(Encode(del, b));
  ASSERT_TRUE(m.Load(b, 1));
  Replayed r(m);
  EXPECT_EQ(r.start, 1);
}

TEST(Replay, ABadPacketStallsTheReplay) {
  Live live;
  live.paper.NewLayer(live.flow, kModeNormal, 0x00FFFFFF, "");
  std::vector<uint8_t> s = live.Stream();
  // A delete of a layer that does not exist.
  LayerArgRecord del;
  del.code = {4, 1};
  del.layer = 9;
  ASSERT_TRUE(Encode(del, s));
  CEventMngr m;
  ASSERT_TRUE(m.Load(s, 4));
  Replayed r(m);
  ASSERT_EQ(r.start, 0);
  EXPECT_EQ(r.result, StepResult::kFailed);
  EXPECT_EQ(r.player.Step(), StepResult::kFailed);  // and stays stalled
  EXPECT_EQ(r.paper.LayerCount(), 2);
}

// One random recordable operation.
std::string RandomOperation(TPaper& p, TFlowImage& flow, std::mt19937& rng) {
  auto pick = [&rng](int32_t n) { return n > 0 ? int32_t(rng() % uint32_t(n)) : 0; };
  const int32_t n = p.LayerCount(), i = pick(n), W = p.width, H = p.height;
  int32_t head = i;
  for (int32_t k = 0; k < n; ++k)
    if (p.layers.ChildCount((i + k) % n) > 0) {
      head = (i + k) % n;
      break;
    }
  const int32_t m = p.masks.Count(), a = p.masks.ActiveIndex();
  switch (pick(34)) {
    case 0:
    case 1: {
      static constexpr int32_t kModes[] = {kModeNormal, kModeMultiply, kModeScreen, kModeNormal};
      p.NewLayer(flow, kModes[pick(4)], rng(), pick(3) == 0 ? "名前" + std::to_string(pick(9)) : "");
      return "new layer";
    }
    case 2:
      p.DeleteLayer(flow, i);
      return "delete";
    case 3:
      p.DuplicateLayer(flow, i);
      return "duplicate";
    case 4:
      p.MoveLayer(flow, pick(n + 2) - 1, i);
      return "move";
    case 5:
      p.MergeDown(flow, i, pick(2) == 1);
      return "merge down";
    case 6:
      p.FlattenVisible(flow, pick(2) == 1);
      return "flatten";
    case 7:
      p.GroupIn(flow, i);
      return "group in";
    case 8:
      p.GroupOut(flow, head);
      return "group out";
    case 9:
      switch (pick(4)) {
        case 0:
          p.MergeGroup(flow, head);
          return "merge group";
        case 1:
          p.DeleteGroup(flow, head);
          return "delete group";
        case 2:
          p.DissolveGroup(flow, head);
          return "dissolve group";
        default: {
          const int32_t block = p.layers.ChildCount(head) + 1, free = n - block;
          if (free <= 0) return "move group (nowhere)";
          int32_t to = pick(free);
          if (to >= head) to += block + 1;
          p.MoveGroup(flow, std::min(to, n), head);
          return "move group";
        }
      }
    case 10:
      p.ShowAll(pick(2) == 1);
      return "show all";
    case 11:
      p.ShowOnly(i);
      return "show only";
    case 12:
      p.InvertVisibility();
      return "invert visibility";
    case 13:
      switch (pick(6)) {
        case 0:
          p.InvertAlpha(flow, i);
          return "invert alpha";
        case 1:
          p.FillAlpha(flow, i);
          return "fill alpha";
        case 2:
          p.ClearAlpha(flow, i);
          return "clear alpha";
        case 3:
          p.ClearLayer(flow, i);
          return "clear layer";
        case 4:
          p.FillSelection(flow, i, rng());
          return "fill selection";
        default:
          p.DeleteSelection(flow, i, p.paperColor);
          return "delete selection";
      }
    case 14:
      p.RemoveOutsidePaper(flow, i);
      return "remove outside";
    case 15:
      p.TransformLayer(flow, i, 7 + pick(5));
      return "transform layer";
    case 16:
      p.TransformVisible(flow, 12 + pick(4));
      return "transform visible";
    case 17:
      p.SetLayerVisible(i, pick(2) == 1);
      return "visible";
    case 18:
      p.SetLayerOpacity(i, uint8_t(rng()));
      return "opacity";
    case 19:
      p.SetLayerMode(i, pick(22));
      return "mode";
    case 20:
      p.SetLayerProtectAlpha(i, pick(2) == 1);
      return "protect";
    case 21:
      p.SetLayerName(i, "n" + std::to_string(pick(20)));
      return "name";
    case 22:
      p.SetLayerPosition(flow, i, pick(11) - 5, pick(11) - 5);
      return "position";
    case 23:
      p.SetLayerDither(i, pick(2) == 1, uint8_t(rng()));
      return "dither";
    case 24:
      p.SetPaperColor(rng() & 0x00FFFFFF, true);
      return "paper colour";
    case 25:
      switch (pick(3)) {
        case 0:
          p.ResizeCanvas(flow, W + pick(9) - 4, H + pick(9) - 4, true, pick(2) == 1, pick(9));
          return "canvas";
        case 1:
          p.ResampleImage(flow, W + pick(9) - 4, H + pick(9) - 4, 1 + pick(2));
          return "resample";
        default: {
          const int32_t x = pick(W / 2), y = pick(H / 2);
          p.Crop(flow, i, true, {x, y, 1 + pick(W - x), 1 + pick(H - y)});
          return "crop";
        }
      }
    case 26:
      p.NewSelectionMask(pick(m + 1));
      return "new mask";
    case 27:
      p.RemoveSelectionMask(pick(m));
      return "remove mask";
    case 28:
      switch (pick(3)) {
        case 0:
          p.ClearSelection(a);
          return "clear selection";
        case 1:
          p.InvertSelection(a);
          return "invert selection";
        default:
          p.ActivateMask(pick(m));
          return "activate mask";
      }
    case 29:
      p.MoveMask(a, pick(m));
      return "move mask";
    case 30:
      p.MoveSelection(a, pick(7) - 3, pick(7) - 3);
      return "move selection";
    case 31:
      p.CombineMasks(m > 1 ? (a + 1 + pick(m - 1)) % m : a, a, CombineMode(pick(4)));
      return "combine";
    case 32:
      switch (pick(4)) {
        case 0:
          p.SetSelectionVisible(pick(2) == 1);
          return "selection visible";
        case 1:
          p.SetSelectionEnabled(pick(2) == 1);
          return "selection enabled";
        case 2:
          p.SelectionFromLayer(i, pick(2) == 1, pick(2) == 1);
          return "from layer";
        default:
          p.RenameMask(a, "m" + std::to_string(pick(9)));
          return "rename mask";
      }
    default: {
      const int32_t x = pick(W + 6) - 3, y = pick(H + 6) - 3;
      p.SelectRect(a, {x, y, 1 + pick(W), 1 + pick(H)}, CombineMode(pick(4)));
      return "select rectangle";
    }
  }
}

class ReplayModel : public ::testing::TestWithParam<uint32_t> {};

TEST_P(ReplayModel, TheReplayedPictureEqualsTheLiveOneInBothStoredForms) {
  TempDir dir;
  Live live;
  RecordingNotifySink notes;
  notes.defaultAnswer = ConfirmAnswer::Ok;
  std::mt19937 rng(GetParam());
  std::vector<std::string> done;
  for (int step = 0; step < 120; ++step) {
    const uint32_t r = rng() % 10;
    if (r < 6)
      done.push_back(RandomOperation(live.paper, live.flow, rng));
    else if (r < 8)
      live.paper.Undo(live.flow);
    else
      live.paper.Redo(live.flow);
    ASSERT_EQ(live.events.State(), EventState::kRecording) << "step " << step;
    ASSERT_GE(live.events.UndoDepth(), live.paper.undo->UndoCount()) << "step " << step;
  }
  const Snapshot expected = Take(live.paper, false);
  for (bool plain : {false, true}) {
    const std::string path = dir.File(plain ? "plain.te4" : "packed.te4");
    ASSERT_EQ(SaveEventFile(path, live.paper, live.recorder, plain, false), kEvOk);
    CEventMngr loaded;
    ASSERT_EQ(LoadEventFile(path, loaded), 0);
    TPaper paper(nullptr, WithUndo(50));
    TFlowImage flow(paper);
    CEventPlayer player(paper, flow, loaded);
    ASSERT_EQ(player.Start("replay", false), 0);
    ASSERT_EQ(player.RunToEnd(100000), StepResult::kEnded);
    EXPECT_FALSE(player.Incomplete());
    EXPECT_EQ(Difference(Take(paper, false), expected), "") << (plain ? "plain" : "packed");

    // The replayed picture records on where the stream ended, and its undo steps back in
    // step with its stream.
    CPaperRecorder recorder(paper, loaded);
    paper.SetJournal(&recorder);
    ASSERT_TRUE(player.EnterAppendMode(recorder));
    EXPECT_EQ(loaded.State(), EventState::kRecording);
    ASSERT_GE(loaded.UndoDepth(), paper.undo->UndoCount());
    for (int k = 0; k < 3 && paper.CanUndoNow(); ++k) {
      const uint32_t before = loaded.CommittedLength();
      ASSERT_TRUE(paper.Undo(flow).ok);
      EXPECT_LT(loaded.CommittedLength(), before);
    }
    paper.SetJournal(nullptr);
  }
  EXPECT_TRUE(std::none_of(notes.warnings.begin(), notes.warnings.end(),
                           [](const std::string& w) { return w == kEventRecordingEndedText; }));
}

INSTANTIATE_TEST_SUITE_P(Seeds, ReplayModel, ::testing::Range(1u, 13u));

// --- the player's steps ---------------------------------------------------------------------

// Records what the replay asks of the stroke.
struct FakeStroke : IReplayStroke {
  int begun = 0, samples = 0, ended = 0;
  bool Begin(PacketCode, int32_t, int32_t) override { return ++begun > 0; }
  bool Sample(const PacketSample&) override { return ++samples > 0; }
  bool End() override { return ++ended > 0; }
};

// A live picture with one stroke of `n` samples and an operation after it.
struct StrokeStream {
  explicit StrokeStream(int n) {
    live.paper.SetLevel(2);
    EXPECT_TRUE(live.recorder.StrokeBegin(0, false, 1, 0, 0));
    for (int k = 1; k < n; ++k) EXPECT_TRUE(live.recorder.StrokeSample(1, float(k), 0));
    EXPECT_TRUE(live.recorder.StrokeEnd());
    live.paper.ShowAll(false);
  }
  Live live;
};

struct Player {
  explicit Player(CEventMngr& source, IReplayStroke* stroke) : player(paper, flow, events, stroke) {
    std::vector<uint8_t> bytes;
    source.CopyOut(source.CommittedLength(), bytes);
    uint32_t groups = 0;
    CountGroups(bytes, groups);
    events.Load(bytes, groups);
  }
  TPaper paper{nullptr, WithUndo(50)};
  TFlowImage flow{paper};
  CEventMngr events;
  CEventPlayer player;
};

TEST(Replay, AStrokeIsOneStepOrOneStepPerSampleWithTheWait) {
  StrokeStream s(100);
  {
    FakeStroke stroke;
    Player p(s.live.events, &stroke);
    ASSERT_EQ(p.player.Start("r", false), 0);
    EXPECT_EQ(p.player.Step(false), StepResult::kContinued);  // the start marker group
    EXPECT_EQ(p.player.Step(false), StepResult::kContinued);  // the whole stroke
    EXPECT_EQ(stroke.samples, 100);
    EXPECT_EQ(stroke.ended, 1);
  }
  {
    FakeStroke stroke;
    Player p(s.live.events, &stroke);
    ASSERT_EQ(p.player.Start("r", false), 0);
    ASSERT_EQ(p.player.Step(true), StepResult::kContinued);
    int steps = 0;
    while (stroke.ended == 0 && steps < 1000) {
      ASSERT_EQ(p.player.Step(true), StepResult::kContinued);
      ++steps;
    }
    EXPECT_GE(steps, 100);
    EXPECT_EQ(stroke.samples, 100);
    // Pausing stops all progress; resuming goes on with the next operation.
    p.player.Pause();
    EXPECT_EQ(p.player.Step(true), StepResult::kIdle);
    EXPECT_EQ(p.paper.Layer(0)->visible, 1);
    p.player.Resume();
    EXPECT_EQ(p.player.RunToEnd(), StepResult::kEnded);
    EXPECT_EQ(p.paper.Layer(0)->visible, 0);
  }
}

TEST(Replay, StoppingInAStrokeFinishesItAndAppendDropsTheRest) {
  StrokeStream s(40);
  FakeStroke stroke;
  Player p(s.live.events, &stroke);
  ASSERT_EQ(p.player.Start("r", false), 0);
  ASSERT_EQ(p.player.Step(true), StepResult::kContinued);
  for (int k = 0; k < 5; ++k) ASSERT_EQ(p.player.Step(true), StepResult::kContinued);
  ASSERT_TRUE(p.player.InStroke());
  ASSERT_TRUE(p.player.FinishStroke());
  EXPECT_EQ(stroke.samples, 40);
  CPaperRecorder recorder(p.paper, p.events);
  ASSERT_TRUE(p.player.EnterAppendMode(recorder));
  // The hide-all after the stroke was never replayed: it is not in the stream either.
  std::vector<uint8_t> bytes;
  p.events.CopyOut(p.events.CommittedLength(), bytes);
  EXPECT_EQ(CountCode(bytes, 0, {2, 24}), 0);
  EXPECT_EQ(Codes(bytes).back(), (PacketCode{2, 254}));  // recording goes on after a new start marker
}

TEST(Replay, WithoutABrushEngineStrokesAreSteppedOverAndTheReplayIsIncomplete) {
  StrokeStream s(20);
  Player p(s.live.events, nullptr);
  ASSERT_EQ(p.player.Start("r", false), 0);
  EXPECT_EQ(p.player.RunToEnd(), StepResult::kEnded);
  EXPECT_TRUE(p.player.Incomplete());
  EXPECT_EQ(p.paper.Layer(0)->visible, 0);  // what follows the stroke still replays
  RecordingNotifySink notes;
  CPaperRecorder recorder(p.paper, p.events);
  EXPECT_FALSE(p.player.EnterAppendMode(recorder));
  ASSERT_EQ(notes.warnings.size(), 1u);
  EXPECT_EQ(notes.warnings[0], kAppendFailedText);
  EXPECT_EQ(p.events.State(), EventState::kIdle);
}

TEST(Replay, EndMarkersFinishAndProtectedStreamsReplayButNeverAppend) {
  TempDir dir;
  Live live;
  live.paper.NewLayer(live.flow, kModeScreen, 0x00FFFFFF, "");
  // The saved file ends with the end marker: the replay finishes there, and append mode
  // takes the marker out again.
  ASSERT_EQ(SaveEventFile(dir.File("a.te4"), live.paper, live.recorder, false, false), kEvOk);
  {
    CEventMngr loaded;
    ASSERT_EQ(LoadEventFile(dir.File("a.te4"), loaded), 0);
    TPaper paper(nullptr, WithUndo(50));
    TFlowImage flow(paper);
    CEventPlayer player(paper, flow, loaded);
    ASSERT_EQ(player.Start("r", false), 0);
    EXPECT_EQ(player.RunToEnd(), StepResult::kEnded);
    EXPECT_EQ(paper.LayerCount(), 2);
    CPaperRecorder recorder(paper, loaded);
    ASSERT_TRUE(player.EnterAppendMode(recorder));
    std::vector<uint8_t> bytes;
    loaded.CopyOut(loaded.CommittedLength(), bytes);
    EXPECT_EQ(CountCode(bytes, 0, {2, 255}), 0);
  }
  // A protected file replays whole; render runs refuse it; its paper records nothing after.
  ASSERT_EQ(SaveEventFile(dir.File("p.te4"), live.paper, live.recorder, false, true), kEvOk);
  CEventMngr loaded;
  ASSERT_EQ(LoadEventFile(dir.File("p.te4"), loaded), 0);
  {
    TPaper paper(nullptr, WithUndo(50));
    TFlowImage flow(paper);
    CEventPlayer render(paper, flow, loaded);
    EXPECT_EQ(render.Start("r", true), 5);
  }
  TPaper paper(nullptr, WithUndo(50));
  TFlowImage flow(paper);
  CEventPlayer player(paper, flow, loaded);
  ASSERT_EQ(player.Start("r", false), 0);
  EXPECT_EQ(player.RunToEnd(), StepResult::kEnded);
  EXPECT_EQ(paper.LayerCount(), 2);
  RecordingNotifySink notes;
  CPaperRecorder recorder(paper, loaded);
  EXPECT_FALSE(player.EnterAppendMode(recorder));
  EXPECT_TRUE(notes.warnings.empty());  // refused quietly: the caption says so
  EXPECT_EQ(loaded.State(), EventState::kIdle);
}

}  // namespace
}  // namespace tintara
