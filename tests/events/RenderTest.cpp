#include <gtest/gtest.h>

#include <filesystem>

#include "document/Paper.h"
#include "events/EventFile.h"
#include "events/Recorder.h"
#include "events/Render.h"
#include "files/NativeFile.h"
#include "pixel/Bmp.h"
#include "platform/FileIO.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

namespace fs = std::filesystem;

class RenderRun : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tintara-render-XXXXXX";
    dir_ = mkdtemp(tmpl);
    out_ = dir_ + "/out";
    fs::create_directory(out_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Records a small picture and saves it as an event file.
  std::string Recorded(const std::string& name, bool guarded, bool withStroke = false) {
    TPaper paper;
    TFlowImage flow(paper);
    CEventMngr events;
    CPaperRecorder recorder(paper, events);
    recorder.StartRecording(8);
    paper.SetJournal(&recorder);
    if (withStroke) paper.SetLevel(2);  // the brush engine
    EXPECT_TRUE(paper.NewPaper("p", flow, true, false, 96, 12, 20));
    EXPECT_GE(paper.NewLayer(flow, kModeNormal, 0xFF2050A0, ""), 0);
    EXPECT_TRUE(paper.SetLayerPosition(flow, 1, 6, 0));
    paper.SetPaperColor(0x00E0F0FF, true);
    if (withStroke) {
      recorder.StrokeBegin(1, false, 1, 2, 2);
      recorder.StrokeEnd();
    }
    const std::string path = dir_ + "/" + name;
    EXPECT_EQ(SaveEventFile(path, paper, recorder, false, guarded), kEvOk);
    paper.SetJournal(nullptr);
    return path;
  }

  std::string dir_, out_;
  RecordingNotifySink notes_;
};

TEST_F(RenderRun, WritesThePictureAndAProtectedCopy) {
  RenderRequest r;
  r.eventFile = Recorded("pic.te4", false);
  r.outputDir = out_;
  const RenderResult result = RenderEventFile(r);
  ASSERT_EQ(result.outcome, RenderOutcome::kSuccess);
  EXPECT_EQ(result.picture, out_ + "/pic.bmp");
  TMTC bmp;
  int32_t dpi = -1;
  ASSERT_TRUE(ReadBmpFile(bmp, result.picture, &dpi));
  EXPECT_EQ(dpi, 0);
  ASSERT_EQ(bmp.Width(), 20);
  ASSERT_EQ(bmp.Height(), 12);
  // The layer moved by 6 covers x 0..13 of the paper; the paper colour shows to the right.
  EXPECT_EQ(*bmp.Pixel(2, 5) & 0x00FFFFFF, 0x002050A0u);
  EXPECT_EQ(*bmp.Pixel(17, 5) & 0x00FFFFFF, 0x00E0F0FFu);
  // Both event files lead with the picture's thumbnail, which the open dialog previews.
  for (const std::string& file : {r.eventFile, result.events}) {
    TMTC thumb;
    int32_t w = 0, h = 0;
    ASSERT_EQ(ReadFileThumbnail(file, thumb, w, h), kFileOk) << file;
    EXPECT_EQ(w, 20);
    EXPECT_EQ(h, 12);
    EXPECT_GT(thumb.Width(), 0);
  }
  // The copy is protected: rendering it again is refused and marked.
  CEventMngr copy;
  ASSERT_EQ(LoadEventFile(result.events, copy), 0);
  std::vector<uint8_t> bytes;
  copy.CopyOut(copy.CommittedLength(), bytes);
  EXPECT_TRUE(MarkStateRecords(bytes, kProtectBit, false, true).found);
  RenderRequest again;
  again.eventFile = result.events;
  again.outputDir = dir_;
  EXPECT_EQ(RenderEventFile(again).outcome, RenderOutcome::kProtected);
  EXPECT_TRUE(fs::exists(dir_ + "/pic.prt"));
}

TEST_F(RenderRun, UnreadableAndIncompleteStreamsLeaveAMarkerAndNoPicture) {
  const std::string junk = dir_ + "/junk.te4";
  ASSERT_TRUE(WriteFileAtomic(junk, "not events", 10));
  RenderRequest r;
  r.eventFile = junk;
  r.outputDir = out_;
  EXPECT_EQ(RenderEventFile(r).outcome, RenderOutcome::kUnreadable);
  EXPECT_TRUE(fs::exists(out_ + "/junk.bad"));
  EXPECT_FALSE(fs::exists(out_ + "/junk.bmp"));
  // A brush-engine stroke, which streams cannot replay yet: the picture would be wrong, so
  // none is written.
  r.eventFile = Recorded("stroke.te4", false, true);
  EXPECT_EQ(RenderEventFile(r).outcome, RenderOutcome::kIncomplete);
  EXPECT_TRUE(fs::exists(out_ + "/stroke.him"));
  EXPECT_FALSE(fs::exists(out_ + "/stroke.bmp"));
}

TEST_F(RenderRun, AFolderThatCannotBeWrittenIsAFailureWithNoMarker) {
  RenderRequest r;
  r.eventFile = Recorded("pic.te4", false);
  r.outputDir = dir_ + "/missing";
  const RenderResult result = RenderEventFile(r);
  EXPECT_EQ(result.outcome, RenderOutcome::kFailure);
  EXPECT_FALSE(fs::exists(dir_ + "/missing"));
  EXPECT_FALSE(fs::exists(dir_ + "/pic.bmp"));
}

// The re-saved copy must be protected; a stream with no switch record cannot carry the
// mark, so the run fails, and leaves no picture that a protected copy does not stand beside.
TEST_F(RenderRun, AStreamThatCannotBeProtectedFailsWithoutAPicture) {
  CEventMngr recorded;
  ASSERT_EQ(LoadEventFile(Recorded("plain.te4", false), recorded), 0);
  std::vector<uint8_t> bytes, kept;
  ASSERT_TRUE(recorded.CopyOut(recorded.CommittedLength(), bytes));
  PacketView p;
  for (size_t at = 0; at < bytes.size() && ReadPacketAt(bytes, at, p) == FrameStatus::Ok; at = p.end())
    if (!(p.code == PacketCode{0, 12}))
      kept.insert(kept.end(), bytes.begin() + std::ptrdiff_t(p.offset),
                  bytes.begin() + std::ptrdiff_t(p.end()));
  uint32_t groups = 0;
  ASSERT_TRUE(CountGroups(kept, groups));
  CEventMngr unmarkable;
  ASSERT_TRUE(unmarkable.Load(kept, groups));
  std::vector<uint8_t> file;
  ASSERT_EQ(WritePackedEvents(unmarkable, 20, 12, false, file), kEvOk);
  const std::string path = dir_ + "/bare.te4";
  ASSERT_TRUE(WriteFileAtomic(path, file.data(), file.size()));
  RenderRequest r;
  r.eventFile = path;
  r.outputDir = out_;
  EXPECT_EQ(RenderEventFile(r).outcome, RenderOutcome::kFailure);
  EXPECT_FALSE(fs::exists(out_ + "/bare.bmp"));
  EXPECT_FALSE(fs::exists(out_ + "/bare.te4"));
}

}  // namespace
}  // namespace tintara
