// The recorder, the event files and the player where they go wrong: packets that cannot be
// written, saves that must refuse, files cut short, streams that must not be continued.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/PictureSnapshot.h"
#include "document/Paper.h"
#include "events/EventFile.h"
#include "events/Player.h"
#include "events/Recorder.h"
#include "platform/FileIO.h"
#include "platform/Memory.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

namespace fs = std::filesystem;

PaperSettings Undo(int32_t undoMax) {
  PaperSettings s;
  s.undoMax = undoMax;
  return s;
}

// A recording picture, as a drawing window holds it.
struct Recording {
  explicit Recording(int32_t undoMax = 50) : paper(nullptr, Undo(undoMax)), recorder(paper, events) {
    EXPECT_TRUE(recorder.StartRecording(undoMax));
    paper.SetJournal(&recorder);
    EXPECT_TRUE(paper.NewPaper("live", flow, false, false, 72, 16, 24));
  }
  ~Recording() { paper.SetJournal(nullptr); }
  std::vector<uint8_t> Stream() const {
    std::vector<uint8_t> s;
    events.CopyOut(events.CommittedLength(), s);
    return s;
  }
  // Fills the current segment with an info record so that exactly `left` bytes remain in it.
  void LeaveInSegment(uint32_t left) {
    InfoRecord filler;
    filler.code = {1, 3};
    const uint32_t used = events.WritePosition() % kEventSegmentSize;
    ASSERT_GE(kEventSegmentSize - used, left + 6);
    filler.data.assign(kEventSegmentSize - used - left - 6, 0);  // code 2 + length 4
    std::vector<uint8_t> b;
    ASSERT_TRUE(Encode(filler, b));
    ASSERT_TRUE(events.WritePacket(b, true));
    ASSERT_EQ(kEventSegmentSize - events.WritePosition() % kEventSegmentSize, left);
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

// The stream of `source` in a manager of its own, groups counted from the bytes.
void LoadCopy(const CEventMngr& source, CEventMngr& into) {
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(source.CopyOut(source.CommittedLength(), bytes));
  uint32_t groups = 0;
  ASSERT_TRUE(CountGroups(bytes, groups));
  ASSERT_TRUE(into.Load(bytes, groups));
}

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/tintara-evfail-XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path_); }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// --- recording ----------------------------------------------------------------------------------

// A stroke is drawn whatever the stream holds: a stroke packet that cannot be written ends
// the recording, whichever packet of the stroke it was.
TEST(RecorderFailures, AStrokeWhosePacketsCannotBeWrittenEndsRecording) {
  struct Case {
    const char* what;
    uint32_t left;  // bytes left in the segment when the stroke begins
    int samples;
    int failingCall;  // 0 begin, k the k-th sample, -1 the end
  };
  // The start packet takes 6 bytes, a full block 2 + 16 * 12, a last block of one 2 + 12.
  for (const Case c :
       {Case{"start", 4, 1, 0}, Case{"full block", 100, 17, 16}, Case{"last block", 10, 1, -1}}) {
    Recording live;
    live.paper.SetLevel(2);
    live.LeaveInSegment(c.left);
    RecordingNotifySink notes;
    ScopedAllocFailure noSegments;
    bool ok = live.recorder.StrokeBegin(0, false, 1, 0, 0);
    EXPECT_EQ(ok, c.failingCall != 0) << c.what;
    for (int k = 1; k < c.samples; ++k) {
      ok = live.recorder.StrokeSample(1, float(k), 0);
      EXPECT_EQ(ok, c.failingCall != 0 && k < c.failingCall) << c.what << " sample " << k;
    }
    EXPECT_FALSE(live.recorder.StrokeEnd()) << c.what;
    EXPECT_EQ(live.events.State(), EventState::kIdle) << c.what;
    EXPECT_EQ(notes.warnings, std::vector<std::string>{kEventRecordingEndedText}) << c.what;
  }
}

// The end marker of a save would close a stroke's pending group half-written (and its
// removal would take the stroke's start with it).
TEST(RecorderFailures, AStrokeInProgressKeepsItsGroupThroughASaveAttempt) {
  TempDir dir;
  Recording live;
  live.paper.SetLevel(2);
  const uint32_t start = live.events.CommittedLength();
  ASSERT_TRUE(live.recorder.StrokeBegin(0, false, 1, 0, 0));
  for (int k = 1; k < 20; ++k) ASSERT_TRUE(live.recorder.StrokeSample(1, float(k), 0));
  EXPECT_FALSE(live.recorder.RecordStop());
  EXPECT_NE(SaveEventFile(dir.File("mid.te4"), live.paper, live.recorder, false, false), kEvOk);
  EXPECT_FALSE(fs::exists(dir.File("mid.te4")));
  ASSERT_TRUE(live.recorder.StrokeEnd());
  std::vector<PacketCode> codes = Codes(live.Stream(), start);
  std::erase_if(codes, [](PacketCode c) { return c.kind == 0; });
  EXPECT_EQ(codes, (std::vector<PacketCode>{{48, 0}, {17, 16}, {18, 4}}));
  EXPECT_TRUE(ValidatePackets(live.Stream()));
}

// --- saving -------------------------------------------------------------------------------------

TEST(EventFileChecks, AGuardedSaveProtectsTheFileInEitherForm) {
  TempDir dir;
  Recording live;
  live.paper.ShowAll(false);
  for (bool plain : {false, true}) {
    const std::string path = dir.File(plain ? "plain.te4" : "packed.te4");
    ASSERT_EQ(SaveEventFile(path, live.paper, live.recorder, plain, true), kEvOk) << plain;
    CEventMngr loaded;
    ASSERT_EQ(LoadEventFile(path, loaded), 0);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(loaded.CopyOut(loaded.CommittedLength(), bytes));
    EXPECT_TRUE(MarkStateRecords(bytes, kProtectBit, false, true).found) << plain;
    // The live stream is not marked, so recording and saving go on.
    std::vector<uint8_t> stream = live.Stream();
    EXPECT_FALSE(MarkStateRecords(stream, kProtectBit, false, true).found) << plain;
    EXPECT_EQ(live.events.State(), EventState::kRecording);
  }
}

// A stream with no switch record has nothing to carry the protection: the guarded save is
// a protection failure, said once, and nothing (the file, the redo history) is touched.
TEST(EventFileChecks, AGuardedSaveOfAStreamWithNothingToMarkIsRefusedUntouched) {
  TempDir dir;
  Recording live;
  ASSERT_GE(live.paper.NewLayer(live.flow, kModeNormal, 0x00FFFFFF, ""), 0);
  ASSERT_TRUE(live.paper.Undo(live.flow).ok);
  ASSERT_EQ(live.paper.undo->RedoCount(), 1);
  // The same stream without its (0,12) records, still recording.
  std::vector<uint8_t> bytes = live.Stream(), kept;
  PacketView p;
  for (size_t at = 0; at < bytes.size() && ReadPacketAt(bytes, at, p) == FrameStatus::Ok; at = p.end())
    if (!(p.code == PacketCode{0, 12}))
      kept.insert(kept.end(), bytes.begin() + std::ptrdiff_t(p.offset),
                  bytes.begin() + std::ptrdiff_t(p.end()));
  uint32_t groups = 0;
  ASSERT_TRUE(CountGroups(kept, groups));
  ASSERT_TRUE(live.events.Load(kept, groups));
  ASSERT_TRUE(live.events.SetupRing(CEventMngr::RingCapacityFor(50)));
  live.events.SetState(EventState::kRecording);
  const uint32_t length = live.events.CommittedLength();

  RecordingNotifySink notes;
  EXPECT_NE(SaveEventFile(dir.File("g.te4"), live.paper, live.recorder, false, true), kEvOk);
  EXPECT_EQ(notes.warnings, std::vector<std::string>{kProtectFailedText});
  EXPECT_FALSE(fs::exists(dir.File("g.te4")));
  EXPECT_EQ(live.paper.undo->RedoCount(), 1);
  EXPECT_EQ(live.events.CommittedLength(), length);
  EXPECT_EQ(live.events.State(), EventState::kRecording);
}

// --- reading ------------------------------------------------------------------------------------

// A file cut short gives "short read" (9) wherever the cut falls in the packed form, and in
// the plain form 9 inside the head and "stream short" (41) inside the stream (only its zero
// fill may be missing); nothing is kept.
TEST(EventFileChecks, TruncatedFilesGiveTheShortReadCodes) {
  Recording live;
  for (int k = 0; k < 40; ++k)
    live.paper.NewLayer(live.flow, kModeNormal, 0x00FFFFFF, "layer " + std::to_string(k));
  std::vector<uint8_t> packed, plain;
  ASSERT_EQ(WritePackedEvents(live.events, 24, 16, false, packed), kEvOk);
  ASSERT_EQ(WritePlainEvents(live.events, 24, 16, plain), kEvOk);
  const size_t packedHead = 56, segmentHead = 28, plainHead = 40;
  ASSERT_GT(packed.size(), packedHead + segmentHead + 2);
  const size_t plainEnd = plainHead + live.events.CommittedLength();
  struct Form {
    const std::vector<uint8_t>* file;
    std::vector<size_t> cuts;  // the boundaries of the head parts, then every 997th byte
  };
  for (Form f : {Form{&packed,
                      {0, 39, 40, 55, 56, packedHead + segmentHead - 1, packedHead + segmentHead,
                       packedHead + segmentHead + 1, packed.size() - 1}},
                 Form{&plain, {0, 39, 40, 41, plainEnd - 1}}}) {
    const size_t end = f.file == &plain ? plainEnd : f.file->size();
    for (size_t cut = 0; cut < end; cut += 997) f.cuts.push_back(cut);
    for (size_t cut : f.cuts) {
      const bool isPlain = f.file == &plain;
      const int32_t expected = isPlain && cut >= plainHead ? kEvShortStream : kEvShortRead;
      std::vector<uint8_t> part(f.file->begin(), f.file->begin() + std::ptrdiff_t(cut));
      CEventMngr m;
      size_t pos = 0;
      EXPECT_EQ(ReadEvents(part, pos, m), expected) << (isPlain ? "plain " : "packed ") << cut;
      EXPECT_EQ(pos, 0u);
      EXPECT_EQ(m.CommittedLength(), 0u);
    }
  }
}

// A manager that could not get its first segment cannot take a stream: 40, in either form.
TEST(EventFileChecks, AManagerWithoutItsSegmentIsNoUsableManager) {
  Recording live;
  std::vector<uint8_t> packed, plain;
  ASSERT_EQ(WritePackedEvents(live.events, 24, 16, false, packed), kEvOk);
  ASSERT_EQ(WritePlainEvents(live.events, 24, 16, plain), kEvOk);
  for (const std::vector<uint8_t>* f : {&packed, &plain}) {
    ScopedAllocFailure noMemory;
    CEventMngr m;
    ASSERT_FALSE(m.Valid());
    size_t pos = 0;
    EXPECT_EQ(ReadEvents(*f, pos, m), kEvNoManager);
  }
}

// The loader's answer is the replay's start failure code, so that the player names the
// right cause: the file (2), the packets (3) or the version (4).
TEST(EventFileChecks, LoadingGivesTheStartFailureCodeOfTheCause) {
  TempDir dir;
  Recording live;
  std::vector<uint8_t> plain;
  ASSERT_EQ(WritePlainEvents(live.events, 24, 16, plain), kEvOk);
  struct Case {
    const char* what;
    size_t at;  // the byte changed (0: none); the file is cut after `keep` bytes
    uint8_t value;
    size_t keep;
    int32_t expected;
    std::vector<std::string> warnings;
  };
  const size_t all = plain.size();
  for (const Case& c : {
           Case{"intact", 0, 0, all, 0, {}},
           Case{"cut", 0, 0, 60, 2, {}},
           // The first packet's kind becomes 7, a kind no packet has.
           Case{"unknown packet",
                40,
                7,
                all,
                3,
                {"unknown packet at 0x2(0x7,0x0)\rlast code at 0x0(0x0,0x0)"}},
           Case{"newer version", 16, 36, all, 4, {}},
       }) {
    std::vector<uint8_t> bytes(plain.begin(), plain.begin() + std::ptrdiff_t(c.keep));
    if (c.at) bytes[c.at] = c.value;
    const std::string path = dir.File(std::string(c.what) + ".te4");
    ASSERT_TRUE(WriteFileAtomic(path, bytes.data(), bytes.size()));
    RecordingNotifySink notes;
    CEventMngr m;
    EXPECT_EQ(LoadEventFile(path, m), c.expected) << c.what;
    EXPECT_EQ(notes.warnings, c.warnings) << c.what;
  }
  CEventMngr m;
  EXPECT_EQ(LoadEventFile(dir.File("missing.te4"), m), 2);
}

// --- replay -------------------------------------------------------------------------------------

// Packets that are no operation of this build are stepped over only when they would
// replay elsewhere: one that does not decode, or a sample block outside a stroke, fails.
TEST(ReplayChecks, SteppedOverPacketsAreStillChecked) {
  struct Case {
    const char* what;
    std::vector<uint8_t> packet;
    StepResult expected;
    bool incomplete;
  };
  std::vector<uint8_t> fill(2 + 22, 0);  // (6,1): a rectangle shape fill, the tools' own
  fill[0] = 6;
  fill[1] = 1;
  std::vector<uint8_t> lostFill(2 + 22, 0);  // (6,0) replays: a layer that is not there fails it
  lostFill[0] = 6;
  lostFill[2] = 9;
  std::vector<uint8_t> badDrawing(2 + 54, 0);  // (13,0) over an empty rectangle
  badDrawing[0] = 13;
  std::vector<uint8_t> straySamples(2 + 12, 0);  // (18,1) with no stroke begun
  straySamples[0] = 18;
  straySamples[1] = 1;
  for (const Case& c : {Case{"shape fill", fill, StepResult::kEnded, true},
                        Case{"selection fill of layer 9", lostFill, StepResult::kFailed, false},
                        Case{"empty mask drawing", badDrawing, StepResult::kFailed, false},
                        Case{"stray samples", straySamples, StepResult::kFailed, false}}) {
    Recording live;
    std::vector<uint8_t> s = live.Stream();
    s.insert(s.end(), c.packet.begin(), c.packet.end());
    ASSERT_TRUE(ValidatePackets(s)) << c.what;  // the walk frames every one of them
    CEventMngr events;
    ASSERT_TRUE(events.Load(s, 3));
    TPaper paper(nullptr, Undo(50));
    TFlowImage flow(paper);
    CEventPlayer player(paper, flow, events);
    ASSERT_EQ(player.Start("r", false), 0) << c.what;
    EXPECT_EQ(player.RunToEnd(100), c.expected) << c.what;
    EXPECT_EQ(player.Incomplete(), c.incomplete) << c.what;
  }
}

// Older recordings flatten with (2,7), the flatten that does not keep transparency: it
// replays as the (2,10) of a current recording does.
TEST(ReplayChecks, TheOlderFlattenReplaysAsTheCurrentOne) {
  Recording live;
  ASSERT_GE(live.paper.NewLayer(live.flow, kModeMultiply, 0x80FF4000, ""), 0);
  ASSERT_GE(live.paper.NewLayer(live.flow, kModeScreen, 0x400040FF, ""), 0);
  ASSERT_TRUE(live.paper.FlattenVisible(live.flow, false));
  const std::vector<uint8_t> current = live.Stream();
  std::vector<uint8_t> older;
  PacketView p;
  for (size_t at = 0; at < current.size() && ReadPacketAt(current, at, p) == FrameStatus::Ok; at = p.end()) {
    if (p.code == PacketCode{2, 10}) {
      older.insert(older.end(), {2, 7});
      continue;
    }
    older.insert(older.end(), current.begin() + std::ptrdiff_t(p.offset),
                 current.begin() + std::ptrdiff_t(p.end()));
  }
  ASSERT_LT(older.size(), current.size());  // the (2,10) was there
  CEventMngr events;
  ASSERT_TRUE(events.Load(older, live.events.GroupCount()));
  TPaper paper(nullptr, Undo(50));
  TFlowImage flow(paper);
  CEventPlayer player(paper, flow, events);
  ASSERT_EQ(player.Start("r", false), 0);
  EXPECT_EQ(player.RunToEnd(100), StepResult::kEnded);
  EXPECT_FALSE(player.Incomplete());
  EXPECT_EQ(Difference(Take(paper, false), Take(live.paper, false)), "");
}

// Hiding the paper colour changes how the layers are composited: the (0,3) switches in
// front of the next operation carry it, and the replay composes the same picture.
TEST(ReplayChecks, ThePaperColourDisplayReplaysWithTheOperationsAfterIt) {
  for (bool colourOn : {false, true}) {
    Recording live;
    ASSERT_EQ(live.paper.SetPaperColorOn(colourOn), !colourOn);  // shown from the start
    ASSERT_GE(live.paper.NewLayer(live.flow, kModeMultiply, 0x80FF4000, ""), 0);
    CEventMngr events;
    LoadCopy(live.events, events);
    TPaper paper(nullptr, Undo(50));
    TFlowImage flow(paper);
    CEventPlayer player(paper, flow, events);
    ASSERT_EQ(player.Start("r", false), 0);
    EXPECT_EQ(player.RunToEnd(100), StepResult::kEnded);
    EXPECT_EQ(paper.paperColorOn, colourOn ? 1 : 0);
    EXPECT_EQ(Difference(Take(paper, false), Take(live.paper, false)), "") << colourOn;
  }
}

// A recording stopped inside a stroke: the replay ends there, drawing the stroke, but the
// stroke's group has no last block, so the stream is not continued after it.
TEST(ReplayChecks, AnEndMarkerInsideAStrokeEndsTheReplayWithoutAppend) {
  struct CountingStroke : IReplayStroke {
    int samples = 0, ended = 0;
    bool Begin(PacketCode, int32_t, int32_t) override { return true; }
    bool Sample(const PacketSample&) override { return ++samples > 0; }
    bool End() override { return ++ended > 0; }
  } stroke;
  Recording live;
  live.paper.SetLevel(2);
  ASSERT_TRUE(live.recorder.StrokeBegin(0, false, 1, 0, 0));
  for (int k = 1; k < 20; ++k) ASSERT_TRUE(live.recorder.StrokeSample(1, float(k), 0));
  const uint8_t end[] = {2, 255};
  ASSERT_TRUE(live.events.WritePacket(end, true));
  CEventMngr events;
  LoadCopy(live.events, events);
  TPaper paper(nullptr, Undo(50));
  TFlowImage flow(paper);
  CEventPlayer player(paper, flow, events, &stroke);
  ASSERT_EQ(player.Start("r", false), 0);
  EXPECT_EQ(player.RunToEnd(100), StepResult::kEnded);
  EXPECT_EQ(stroke.samples, 16);  // the one full block the stream holds
  EXPECT_EQ(stroke.ended, 1);
  RecordingNotifySink notes;
  CPaperRecorder recorder(paper, events);
  EXPECT_FALSE(player.EnterAppendMode(recorder));
  EXPECT_EQ(notes.warnings, std::vector<std::string>{kAppendFailedText});
  EXPECT_EQ(events.State(), EventState::kIdle);
}

// After append mode, undo and redo of the replayed paper step its stream with them, as far
// back as the paper's undo depth reaches: each step leaves a stream that replays to the
// picture the paper then shows.
TEST(ReplayChecks, AfterAppendTheStreamFollowsTheReplayedUndoHistory) {
  Recording live;
  for (int k = 0; k < 60; ++k) ASSERT_TRUE(live.paper.SetLayerOpacity(0, uint8_t(100 + k)));
  CEventMngr events;
  LoadCopy(live.events, events);
  TPaper paper(nullptr, Undo(50));
  TFlowImage flow(paper);
  CEventPlayer player(paper, flow, events);
  ASSERT_EQ(player.Start("r", false), 0);
  ASSERT_EQ(player.RunToEnd(1000), StepResult::kEnded);
  // More undo steps than a ring sized for a smaller undo depth could step back over.
  const int32_t depth = paper.undo->UndoCount();
  ASSERT_GT(depth, CEventMngr::RingCapacityFor(8));
  CPaperRecorder recorder(paper, events);
  paper.SetJournal(&recorder);
  ASSERT_TRUE(player.EnterAppendMode(recorder));
  RecordingNotifySink notes;
  auto replaysToThePaper = [&](const char* when) {
    CEventMngr copy;
    LoadCopy(events, copy);
    TPaper again(nullptr, Undo(50));
    TFlowImage againFlow(again);
    CEventPlayer replay(again, againFlow, copy);
    ASSERT_EQ(replay.Start("again", false), 0) << when;
    ASSERT_EQ(replay.RunToEnd(1000), StepResult::kEnded) << when;
    EXPECT_EQ(Difference(Take(again, false), Take(paper, false)), "") << when;
  };
  for (int k = 0; k < depth; ++k) {
    ASSERT_TRUE(paper.Undo(flow).ok) << k;
    EXPECT_EQ(paper.Layer(0)->opacity, k == 59 ? 255 : 100 + 59 - k - 1) << k;
    if (k == 0 || k == depth - 1) replaysToThePaper(k == 0 ? "first undo" : "last undo");
  }
  ASSERT_TRUE(paper.Redo(flow).ok);
  replaysToThePaper("redo");
  // A new operation after the undos goes on from there.
  ASSERT_TRUE(paper.SetLayerOpacity(0, 7));
  replaysToThePaper("new operation");
  EXPECT_TRUE(notes.warnings.empty()) << notes.warnings.front();
  paper.SetJournal(nullptr);
}

}  // namespace
}  // namespace tintara
