#include <gtest/gtest.h>

#include <filesystem>

#include "document/BlendModes.h"
#include "document/Paper.h"
#include "events/OldPlayer.h"
#include "events/Render.h"
#include "pixel/Bmp.h"
#include "platform/FileIO.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

namespace fs = std::filesystem;

// Builds an old stream packet by packet.
struct OldStream {
  std::vector<uint8_t> bytes;
  template <class R>
  OldStream& Add(const R& r) {
    EXPECT_TRUE(EncodeOld(r, bytes));
    return *this;
  }
  OldStream& Code(uint16_t code) { return Add(OldEmptyRecord{code}); }
  std::vector<uint8_t> Ended() {
    std::vector<uint8_t> out = bytes;
    EXPECT_TRUE(EncodeOld(OldEmptyRecord{kOldEndCode}, out));
    return out;
  }
};

OldStream APicture() {
  OldStream s;
  s.Add(OldPaperSizeRecord{512, 8, 6})
      .Add(OldPaperColourRecord{513, 0x00102030})
      .Add(OldRectRecord{296, 0, 1, 1, 4, 3, 0x00112233})
      .Code(800)  // a marker without a meaning: passed over
      .Add(OldLayerRecord{256, 3})
      .Add(OldRectRecord{296, 1, 5, 0, 8, 6, 0x00445566})
      .Add(OldLayerRecord{289, 1});  // left to right: the band moves to x 0..2
  return s;
}

uint32_t At(const TPaper& p, int32_t layer, int32_t x, int32_t y) {
  return p.Layer(layer)->pixels->GetPixel(x + p.Layer(layer)->viewX, y + p.Layer(layer)->viewY);
}

class RecordingOldStroke : public IOldReplayStroke {
 public:
  bool Begin(const OldStrokeHead& head, int32_t kind, const OldSample& first) override {
    calls.push_back("begin " + std::to_string(kind) + " " + std::to_string(first.x));
    return true;
  }
  bool Sample(const OldSample& s) override {
    calls.push_back("sample " + std::to_string(s.x));
    return true;
  }
  bool End() override {
    calls.push_back("end");
    return true;
  }
  bool Line(const OldStrokeHead&, int32_t kind, OldPoint from, OldPoint to) override {
    calls.push_back("line " + std::to_string(kind) + " " + std::to_string(from.x) + "-" +
                    std::to_string(to.x));
    return true;
  }
  std::vector<std::string> calls;
};

TEST(OldPlayer, ReplaysLayersFillsAndTransformsOnALevelZeroPaper) {
  TEventPacket packets;
  ASSERT_TRUE(packets.Check(APicture().Ended()));
  TPaper paper;
  TFlowImage flow(paper);
  CEventOldPlayer player(paper, flow, packets);
  ASSERT_EQ(player.Start("old", false), 0);
  EXPECT_EQ(paper.width, 8);
  EXPECT_EQ(paper.height, 6);
  EXPECT_EQ(player.RunToEnd(), StepResult::kEnded);
  EXPECT_FALSE(player.Incomplete());
  EXPECT_EQ(paper.level, 0);
  EXPECT_EQ(paper.paperColor & 0x00FFFFFF, 0x00102030u);
  ASSERT_EQ(paper.LayerCount(), 2);
  EXPECT_EQ(paper.ActiveIndex(), 1);
  EXPECT_EQ(paper.Layer(1)->Mode(), kModeNormal);
  EXPECT_EQ(At(paper, 0, 1, 1), 0xFF112233u);
  EXPECT_EQ(At(paper, 0, 3, 2), 0xFF112233u);
  EXPECT_EQ(At(paper, 0, 4, 2),
            0xFF000000u | (NeutralColor(kModeMultiply) & 0xFFFFFF));  // right edge exclusive
  EXPECT_EQ(At(paper, 1, 0, 4), 0xFF445566u);
  EXPECT_EQ(At(paper, 1, 2, 0), 0xFF445566u);
  EXPECT_EQ(At(paper, 1, 5, 0), NeutralColor(kModeNormal));  // what the new layer was filled with
  EXPECT_EQ(paper.composite.Pixel(1, 3)[0] & 0x00FFFFFF, 0x00445566u);
}

TEST(OldPlayer, StrokesAdvanceOneSamplePerStepAndWithoutAnEngineAreSkipped) {
  OldStrokeRecord stroke{2, {}, {{10, 1, 1024}, {11, 1, 900}, {12, 1, 800}}};
  OldStream s;
  s.Add(OldPaperSizeRecord{512, 16, 16}).Add(stroke).Add(OldLineRecord{305, {}, 4, {1, 1}, {9, 1}});
  const std::vector<uint8_t> bytes = s.Ended();
  {
    TEventPacket packets;
    ASSERT_TRUE(packets.Check(bytes));
    TPaper paper;
    TFlowImage flow(paper);
    RecordingOldStroke engine;
    CEventOldPlayer player(paper, flow, packets, &engine);
    ASSERT_EQ(player.Start("s", false), 0);
    EXPECT_EQ(player.Step(), StepResult::kContinued);
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"begin 2 10"}));
    EXPECT_EQ(player.Step(), StepResult::kContinued);
    EXPECT_EQ(player.Step(), StepResult::kContinued);
    EXPECT_EQ(engine.calls.back(), "sample 12");
    EXPECT_EQ(player.Step(), StepResult::kContinued);  // ends the stroke, then draws the line
    EXPECT_EQ(engine.calls,
              (std::vector<std::string>{"begin 2 10", "sample 11", "sample 12", "end", "line 4 1-9"}));
    EXPECT_EQ(player.Step(), StepResult::kEnded);
    EXPECT_FALSE(player.Incomplete());
  }
  TEventPacket packets;
  ASSERT_TRUE(packets.Check(bytes));
  TPaper paper;
  TFlowImage flow(paper);
  CEventOldPlayer player(paper, flow, packets);
  ASSERT_EQ(player.Start("s", false), 0);
  EXPECT_EQ(player.RunToEnd(), StepResult::kEnded);
  EXPECT_EQ(player.SkippedOperations(), 2);
}

TEST(OldPlayer, StopCutsTheStreamAtTheReadPosition) {
  TEventPacket packets;
  ASSERT_TRUE(packets.Check(APicture().Ended()));
  TPaper paper;
  TFlowImage flow(paper);
  CEventOldPlayer player(paper, flow, packets);
  ASSERT_EQ(player.Start("old", false), 0);
  player.Step();  // paper colour
  player.Stop();
  EXPECT_TRUE(player.Ended());
  OldStream expected;
  expected.Add(OldPaperSizeRecord{512, 8, 6}).Add(OldPaperColourRecord{513, 0x00102030});
  const std::vector<uint8_t> want = expected.Ended();
  EXPECT_EQ(std::vector<uint8_t>(packets.Bytes().begin(), packets.Bytes().end()), want);
}

class OldRender : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tintara-oldrender-XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_ + "/" + name;
    EXPECT_TRUE(WriteFileAtomic(path, bytes.data(), bytes.size()));
    return path;
  }
  RenderResult Render(const std::string& path, const std::string& outputDir = "") {
    RenderRequest r;
    r.eventFile = path;
    r.outputDir = outputDir;
    return RenderEventFile(r);
  }
  std::string dir_;
  RecordingNotifySink notes_;
};

TEST_F(OldRender, WritesThePictureAndAProtectedZovThatIsThenRefused) {
  OldStream s = APicture();
  // Enough packets to carry the sixteen protection markers.
  for (int i = 0; i < 50; ++i) s.Add(OldLayerValueRecord{275, 1, uint8_t(i % 2 ? 255 : 254)});
  const std::string input = Write("pic.zov", s.Ended());
  // Beside its input the copy would replace it: nothing is written.
  EXPECT_EQ(Render(input).outcome, RenderOutcome::kFailure);
  EXPECT_FALSE(fs::exists(dir_ + "/pic.bmp"));
  fs::create_directories(dir_ + "/out");
  const RenderResult result = Render(input, dir_ + "/out");
  ASSERT_EQ(result.outcome, RenderOutcome::kSuccess);
  EXPECT_EQ(result.events, dir_ + "/out/pic.zov");
  TMTC bmp;
  ASSERT_TRUE(ReadBmpFile(bmp, result.picture));
  EXPECT_EQ(*bmp.Pixel(1, 3) & 0xFFFFFF, 0x445566u);
  TEventPacket again;
  OldStreamInfo info;
  ASSERT_TRUE(again.Load(result.events, &info));
  EXPECT_TRUE(info.isProtected);
  EXPECT_EQ(Render(result.events).outcome, RenderOutcome::kProtected);
  EXPECT_TRUE(fs::exists(dir_ + "/out/pic.prt"));
}

TEST_F(OldRender, UnreplayableAndUnreadableStreamsAreMarked) {
  OldStream s = APicture();
  s.Add(OldLayerOffsetRecord{294, 1, {2, 2}});  // moving a layer's contents: not replayed here
  EXPECT_EQ(Render(Write("move.zov", s.Ended())).outcome, RenderOutcome::kIncomplete);
  EXPECT_TRUE(fs::exists(dir_ + "/move.him"));
  EXPECT_FALSE(fs::exists(dir_ + "/move.bmp"));
  // A stream that does not begin with a paper fails the check.
  OldStream headless;
  headless.Add(OldLayerRecord{256, 3});
  EXPECT_EQ(Render(Write("headless.zov", headless.Ended())).outcome, RenderOutcome::kUnreadable);
  EXPECT_TRUE(fs::exists(dir_ + "/headless.bad"));
  // A stream too short for its protection markers cannot be written back protected.
  EXPECT_EQ(Render(Write("short.zov", APicture().Ended())).outcome, RenderOutcome::kFailure);
}

}  // namespace
}  // namespace tintara
