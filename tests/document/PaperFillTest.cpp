// The layer clear and the two selection fills: what they do to the pixels, within which area,
// and that each is one undo step that reports itself once.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "document/Paper.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

struct Call {
  PaperOp op;
  int32_t layer;
  std::vector<int32_t> values;
  bool operator==(const Call&) const = default;
};

struct Journal : IPaperJournal {
  std::vector<Call> calls;
  void Operation(PaperOp op, int32_t layer, std::span<const int32_t> v) override {
    calls.push_back({op, layer, {v.begin(), v.end()}});
  }
};

std::vector<uint32_t> Pixels(const CLayerData& l) {
  std::vector<uint32_t> v;
  for (int32_t y = 0; y < l.pixels->Height(); ++y)
    for (int32_t x = 0; x < l.pixels->Width(); ++x) v.push_back(l.pixels->GetPixel(x, y));
  return v;
}

std::vector<uint32_t> Composite(const TPaper& p) {
  std::vector<uint32_t> v;
  for (int32_t y = 0; y < p.composite.Height(); ++y)
    for (int32_t x = 0; x < p.composite.Width(); ++x) v.push_back(p.composite.Row32(y)[x]);
  return v;
}

// A 7 x 5 paper: layer 0 opaque white, layer 1 (active) a normal layer whose pixel (x, y) is
// Seed(x, y), so every pixel differs from its neighbours and from any fill colour.
class FillFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(paper.NewPaper("t", flow, false, false, 72, 5, 7));
    ASSERT_EQ(paper.NewLayer(flow, kModeNormal, 0x00FFFFFF, ""), 1);
    CLayerData& l = *paper.Layer(1);
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 7; ++x) ASSERT_TRUE(l.pixels->SetPixel(x, y, Seed(x, y)));
    paper.RecompositeAll(true);
    paper.ClearUndo();
    paper.SetJournal(&journal);
  }
  void TearDown() override { paper.SetJournal(nullptr); }

  static uint32_t Seed(int32_t x, int32_t y) {
    return 0x40102030u + uint32_t(x) * 0x01000401u + uint32_t(y) * 0x10010100u;
  }

  // A selection whose coverage at paper (x0 + k, y0) is values[k].
  void SelectRow(int32_t x0, int32_t y0, const std::vector<uint8_t>& values) {
    CBlockVCH ch(int32_t(values.size()), 1);
    for (size_t k = 0; k < values.size(); ++k) ASSERT_TRUE(ch.SetPixel(int32_t(k), 0, values[k]));
    ASSERT_TRUE(paper.EditSelection(-1, ch, x0, y0, CombineMode::kReplace));
  }

  TPaper paper;
  TFlowImage flow{paper};
  Journal journal;
};

// --- the pixel rule -----------------------------------------------------------------------------

struct PixelCase {
  const char* name;
  bool erase;         // DeleteSelection with white paper, else FillSelection with kColour
  bool protectAlpha;  // the layer keeps its alpha
  uint32_t before;
  uint8_t coverage;
  uint32_t expected;
};
constexpr uint32_t kColour = 0x00C86400;  // 200, 100, 0
// Lerp8(s, d, t) = (32897 (s t + d (255 - t))) >> 23 and Mul8(a, b) = (32897 a b) >> 23.
constexpr PixelCase kPixelCases[] = {
    {"fill, not covered", false, false, 0xFF000000, 0, 0xFF000000},
    {"fill, full coverage is the opaque colour", false, false, 0x80123456, 255, 0xFFC86400},
    {"fill, half over opaque black", false, false, 0xFF000000, 128, 0xFF643200},  // Lerp8(200,0,128) = 100
    // alpha 0 + Mul8(128, 255) = 128, and the colour is all of it: 128 * 255 / 128 = 255.
    {"fill, half over transparent", false, false, 0x00FFFFFF, 128, 0x80C86400},
    // alpha 128 + Mul8(128, 127) = 191; weight 128 * 255 / 191 = 170; Lerp8(200, 0, 170) = 133.
    {"fill, half over half black", false, false, 0x80000000, 128, 0xBF854200},
    {"fill, protected: colour only", false, true, 0x80000000, 128, 0x80643200},
    {"fill, protected, transparent stays so", false, true, 0x00FFFFFF, 255, 0x00C86400},
    // Lerp8(255, 0, 128) = 128; alpha 255 - Mul8(128, 255) = 127.
    {"delete, half of opaque black", true, false, 0xFF000000, 128, 0x7F808080},
    {"delete, full coverage: paper colour, no alpha", true, false, 0xFF123456, 255, 0x00FFFFFF},
    {"delete, not covered", true, false, 0xFF123456, 0, 0xFF123456},
    {"delete, protected: colour only", true, true, 0xFF000000, 128, 0xFF808080},
};

TEST_F(FillFixture, EachPixelFollowsTheCoverageOfTheSelection) {
  // One case per column of row 2, all of one kind and one protection at a time.
  for (bool erase : {false, true})
    for (bool protect : {false, true}) {
      SCOPED_TRACE(std::string(erase ? "delete" : "fill") + (protect ? ", protected" : ""));
      CLayerData& l = *paper.Layer(1);
      l.protectAlpha = protect;
      std::vector<const PixelCase*> cases;
      std::vector<uint8_t> coverage;
      for (const PixelCase& c : kPixelCases)
        if (c.erase == erase && c.protectAlpha == protect) {
          ASSERT_TRUE(l.pixels->SetPixel(int32_t(cases.size()), 2, c.before));
          cases.push_back(&c);
          coverage.push_back(c.coverage);
        }
      ASSERT_LE(cases.size(), 7u);
      flow.Invalidate();
      SelectRow(0, 2, coverage);
      const std::vector<uint32_t> before = Pixels(l);
      ASSERT_TRUE(erase ? paper.DeleteSelection(flow, 1, 0x00FFFFFF) : paper.FillSelection(flow, 1, kColour));
      for (size_t k = 0; k < cases.size(); ++k)
        EXPECT_EQ(l.pixels->GetPixel(int32_t(k), 2), cases[k]->expected) << cases[k]->name;
      // Nothing outside the selection moves.
      const std::vector<uint32_t> after = Pixels(l);
      for (size_t k = 0; k < after.size(); ++k)
        if (k / 7 != 2 || k % 7 >= cases.size()) {
          EXPECT_EQ(after[k], before[k]) << "pixel " << k;
        }
    }
}

// --- the area -----------------------------------------------------------------------------------

struct AreaCase {
  const char* name;
  bool select;           // a rectangle selection at paper {2, 1, 3, 2}
  bool enabled;          // the selection switch
  int32_t viewX, viewY;  // layer 1's view position
  SPixRect filled;       // in store coordinates
};
constexpr AreaCase kAreaCases[] = {
    {"no selection: the whole paper", false, true, 0, 0, {0, 0, 7, 5}},
    {"the selected rectangle", true, true, 0, 0, {2, 1, 3, 2}},
    {"a disabled selection limits nothing", true, false, 0, 0, {0, 0, 7, 5}},
    // store = paper + view position; paper x 5, 6 lie past the store's right edge.
    {"a shifted layer, selected", true, true, 2, 1, {4, 2, 3, 2}},
    {"a shifted layer, whole paper", false, true, 2, 1, {2, 1, 5, 4}},
};

TEST_F(FillFixture, TheFillCoversTheSelectionOrElseThePaper) {
  for (const AreaCase& c : kAreaCases) {
    SCOPED_TRACE(c.name);
    TPaper p;
    TFlowImage f(p);
    ASSERT_TRUE(p.NewPaper("t", f, false, false, 72, 5, 7));
    ASSERT_EQ(p.NewLayer(f, kModeNormal, 0x00FFFFFF, ""), 1);
    CLayerData& l = *p.Layer(1);
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 7; ++x) ASSERT_TRUE(l.pixels->SetPixel(x, y, Seed(x, y)));
    if (c.viewX || c.viewY) {
      ASSERT_TRUE(p.SetLayerPosition(f, 1, c.viewX, c.viewY));
    }
    if (c.select) {
      ASSERT_TRUE(p.SelectRect(-1, {2, 1, 3, 2}, CombineMode::kReplace));
    }
    p.selectionEnabled = c.enabled;
    ASSERT_TRUE(p.FillSelection(f, 1, 0x00336699));
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 7; ++x) {
        const bool in = x >= c.filled.x && x < c.filled.Right() && y >= c.filled.y && y < c.filled.Bottom();
        EXPECT_EQ(l.pixels->GetPixel(x, y), in ? 0xFF336699u : Seed(x, y)) << x << "," << y;
      }
    // The composite shows it: the fill is opaque, so inside it the paper sees the colour.
    const int32_t px = c.filled.x - c.viewX, py = c.filled.y - c.viewY;
    EXPECT_EQ(p.composite.Row32(py)[px] & 0x00FFFFFF, 0x00336699u);
  }
}

TEST_F(FillFixture, ClearLayerLeavesTheModesNeutralColourWithoutAlpha) {
  struct Case {
    int32_t mode;
    uint32_t expected;
  };
  for (Case c : {Case{kModeNormal, 0x00FFFFFF}, Case{kModeAdd, 0x00000000}, Case{kModeOverlay, 0x007F7F7F}}) {
    SCOPED_TRACE(c.mode);
    CLayerData& l = *paper.Layer(1);
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 7; ++x) ASSERT_TRUE(l.pixels->SetPixel(x, y, Seed(x, y)));
    l.mode = uint8_t(c.mode);
    // A selection does not limit the clear.
    ASSERT_TRUE(paper.SelectRect(-1, {1, 1, 2, 2}, CombineMode::kReplace));
    ASSERT_TRUE(paper.ClearLayer(flow, 1));
    EXPECT_EQ(Pixels(l), std::vector<uint32_t>(35, c.expected));
    EXPECT_EQ(l.pixels->AllocatedTiles(), 0);  // one fill value, no tile memory
    // Only the white layer below shows.
    EXPECT_EQ(paper.composite.Row32(3)[4] & 0x00FFFFFF, 0x00FFFFFFu);
  }
}

// --- one undo step, one journal entry -----------------------------------------------------------

struct StepCase {
  const char* name;
  std::function<bool(TPaper&, TFlowImage&)> run;
  Call call;
};

TEST_F(FillFixture, EachOperationIsOneUndoStepThatRestoresThePixelsExactly) {
  const StepCase cases[] = {
      {"clear", [](TPaper& p, TFlowImage& f) { return p.ClearLayer(f, 1); }, {PaperOp::kClearLayer, 1, {}}},
      {"fill",
       [](TPaper& p, TFlowImage& f) { return p.FillSelection(f, 1, 0xAA336699); },
       {PaperOp::kFillSelection, 1, {0x00336699}}},  // the colour word without its top byte
      {"delete",
       [](TPaper& p, TFlowImage& f) { return p.DeleteSelection(f, 1, 0x00F0E0D0); },
       {PaperOp::kDeleteSelection, 1, {0x00F0E0D0}}},
  };
  for (bool selected : {false, true})
    for (const StepCase& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (selected ? ", selected" : ""));
      if (selected) SelectRow(1, 1, {255, 90, 0, 255});
      ASSERT_TRUE(paper.ActivateLayer(flow, 1));
      journal.calls.clear();
      paper.ClearUndo();
      const std::vector<uint32_t> before = Pixels(*paper.Layer(1)), composite = Composite(paper);
      ASSERT_TRUE(c.run(paper, flow));
      EXPECT_EQ(journal.calls, std::vector<Call>{c.call});
      EXPECT_EQ(paper.undo->UndoCount(), 1);
      const std::vector<uint32_t> done = Pixels(*paper.Layer(1)), doneComposite = Composite(paper);
      EXPECT_NE(done, before);
      ASSERT_TRUE(paper.Undo(flow).ok);
      EXPECT_EQ(Pixels(*paper.Layer(1)), before);
      EXPECT_EQ(Composite(paper), composite);
      ASSERT_TRUE(paper.Redo(flow).ok);
      EXPECT_EQ(Pixels(*paper.Layer(1)), done);
      EXPECT_EQ(Composite(paper), doneComposite);
      // The working copy follows: a stroke that starts now sees the redone pixels.
      ASSERT_TRUE(paper.ActivateLayer(flow, 1));
      EXPECT_EQ(flow.work.Row32(1)[1], done[7 + 1]);
      ASSERT_TRUE(paper.Undo(flow).ok);  // back for the next case
    }
}

TEST_F(FillFixture, TheWorkingCopyOfTheActiveLayerFollowsAFill) {
  ASSERT_TRUE(paper.ActivateLayer(flow, 1));
  ASSERT_TRUE(flow.Holds(*paper.Layer(1)));
  ASSERT_TRUE(paper.SelectRect(-1, {2, 1, 3, 2}, CombineMode::kReplace));
  ASSERT_TRUE(paper.FillSelection(flow, 1, 0x00336699));
  // Still held, and equal to the layer: the commit of the next stroke must not undo the fill.
  ASSERT_TRUE(flow.Holds(*paper.Layer(1)));
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(flow.work.Row32(y)[x], paper.Layer(1)->pixels->GetPixel(x, y));
}

TEST_F(FillFixture, FailuresChangeAndRecordNothing) {
  struct Case {
    const char* name;
    bool selectOffTheLayer;
    std::function<bool(TPaper&, TFlowImage&)> run;
  };
  const Case cases[] = {
      {"clear below", false, [](TPaper& p, TFlowImage& f) { return p.ClearLayer(f, -1); }},
      {"clear above", false, [](TPaper& p, TFlowImage& f) { return p.ClearLayer(f, 2); }},
      {"fill below", false, [](TPaper& p, TFlowImage& f) { return p.FillSelection(f, -1, 0); }},
      {"fill above", false, [](TPaper& p, TFlowImage& f) { return p.FillSelection(f, 2, 0); }},
      {"delete above", false, [](TPaper& p, TFlowImage& f) { return p.DeleteSelection(f, 2, 0x00FFFFFF); }},
      {"fill, selection off the layer", true,
       [](TPaper& p, TFlowImage& f) { return p.FillSelection(f, 1, 0); }},
      {"delete, selection off the layer", true,
       [](TPaper& p, TFlowImage& f) { return p.DeleteSelection(f, 1, 0x00FFFFFF); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.selectOffTheLayer) {
      ASSERT_TRUE(paper.SelectRect(-1, {20, 20, 3, 3}, CombineMode::kReplace));
    }
    paper.ClearUndo();
    const std::vector<uint32_t> l0 = Pixels(*paper.Layer(0)), l1 = Pixels(*paper.Layer(1));
    journal.calls.clear();
    EXPECT_FALSE(c.run(paper, flow));
    EXPECT_TRUE(journal.calls.empty());
    EXPECT_EQ(paper.undo->UndoCount(), 0);
    EXPECT_EQ(Pixels(*paper.Layer(0)), l0);
    EXPECT_EQ(Pixels(*paper.Layer(1)), l1);
  }
}

}  // namespace
}  // namespace tintara
