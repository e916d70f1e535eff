#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "document/Paper.h"
#include "pixel/ChannelOps.h"
#include "pixel/ColorOps.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

struct Journal : IPaperJournal {
  std::vector<PaperOp> ops;
  void Operation(PaperOp op, int32_t, std::span<const int32_t>) override { ops.push_back(op); }
};

class Fixture : public ::testing::Test {
 protected:
  // A 7 x 5 paper at level 1 with one opaque white layer.
  void SetUp() override { ASSERT_TRUE(paper.NewPaper("t", flow, false, false, 72, 5, 7)); }

  int32_t Add(int32_t mode, uint8_t opacity = 255, int32_t level = 0) {
    const int32_t i = paper.AddLayer(paper.LayerCount(), paper.width, true, opacity, mode, paper.height);
    paper.Layer(i)->SetGroupLevel(level);
    return i;
  }

  TPaper paper;
  TFlowImage flow{paper};
};

// The composite as a plain loop over every pixel and every layer would make it.
TTC Reference(const TPaper& p) {
  TTC out(p.width, p.height);
  const int32_t n = p.LayerCount();
  std::vector<uint8_t> eff(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    // Opacity times the opacities of the chain of parents (nearest lower layer of a smaller level).
    uint32_t e = p.Layer(i)->opacity;
    int32_t level = std::clamp(p.Layer(i)->groupLevel, 0, 250), j = i - 1;
    while (j >= 0) {
      if (std::clamp(p.Layer(j)->groupLevel, 0, 250) < level) {
        e = Mul8(e, p.Layer(j)->opacity);
        level = std::clamp(p.Layer(j)->groupLevel, 0, 250);
      }
      --j;
    }
    eff[size_t(i)] = uint8_t(e);
  }
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < p.width; ++x)
      *reinterpret_cast<uint32_t*>(out.PixelAddress(x, y)) =
          p.paperColorOn ? p.paperColor & 0x00FFFFFF : 0x00FFFFFF;
  for (int32_t i = 0; i < n; ++i) {
    const CLayerData& L = *p.Layer(i);
    if (!L.visible) continue;
    SRandomState random = L.random;
    MergeParam storage;
    const MergeFn merge = ChooseLayerMerge(kModeNormal, L.Mode(), 0x30003, storage).fn;
    for (int32_t y = 0; y < p.height; ++y)
      for (int32_t x = 0; x < p.width; ++x) {
        const uint32_t draw = L.ditherOn ? Draw(random) : 0;
        const int32_t sx = x + L.viewX, sy = y + L.viewY;
        if (sx < 0 || sy < 0 || sx >= L.pixels->Width() || sy >= L.pixels->Height()) continue;
        const uint32_t s = L.pixels->GetPixel(sx, sy);
        if (L.ditherOn && draw >= Mul8(L.ditherAmount, s >> 24)) continue;
        uint32_t* d = reinterpret_cast<uint32_t*>(out.PixelAddress(x, y));
        if (!p.paperColorOn)
          merge(d, s, eff[size_t(i)]);
        else if (p.level == 0)
          LevelZeroTileProc(L.Mode())(d, s, eff[size_t(i)]);
        else
          BlendWithAlpha(L.Mode())(d, s, eff[size_t(i)]);
      }
  }
  return out;
}

std::vector<uint32_t> Pixels(const CDibCore& b) {
  std::vector<uint32_t> v;
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) v.push_back(b.Row32(y)[x]);
  return v;
}

void Scribble(CLayerData& l, uint32_t seed) {
  std::mt19937 rng(seed);
  for (int i = 0; i < 20; ++i) l.pixels->SetPixel(int32_t(rng() % 9) - 1, int32_t(rng() % 7) - 1, rng());
}

TEST_F(Fixture, NewPictureAndCompositeOfOneLayer) {
  EXPECT_EQ(paper.initialised, 1);
  EXPECT_EQ(paper.LayerCount(), 1);
  EXPECT_EQ(paper.Layer(0)->name, "レイヤ1");
  EXPECT_EQ(paper.Layer(0)->pixels->GetPixel(3, 3), 0xFFFFFFFFu);
  EXPECT_EQ(paper.Layer(0)->pixels->MemoryUsed(), 0);
  EXPECT_EQ(paper.composite.Width(), 7);
  EXPECT_EQ(*reinterpret_cast<uint32_t*>(paper.composite.PixelAddress(2, 2)), 0x00FFFFFFu);
  EXPECT_EQ(flow.loadedId, paper.Layer(0)->id);
}

TEST(Paper, NewPictureOptionsAndBadNumbers) {
  {
    TPaper p;
    TFlowImage f(p);
    ASSERT_TRUE(p.NewPaper("t", f, true, false, 72, 10, 10));
    EXPECT_EQ(p.Layer(0)->pixels->GetPixel(0, 0), 0x00FFFFFFu);  // white, alpha 0
  }
  {
    TPaper p;
    p.SetLevel(0);
    TFlowImage f(p);
    ASSERT_TRUE(p.NewPaper("t", f, true, false, 72, 10, 10));
    EXPECT_EQ(p.Layer(0)->mode, kModeMultiply);
    EXPECT_EQ(p.Layer(0)->pixels->GetPixel(0, 0), 0xFFFFFFFFu);  // level 0: opaque whatever was asked
  }
  for (auto [w, h, d] : {std::tuple{0, 10, 72}, {10, 10001, 72}, {10, 10, 0}, {-5, 3, 72}}) {
    TPaper p;
    TFlowImage f(p);
    EXPECT_FALSE(p.NewPaper("t", f, false, false, d, h, w));
    EXPECT_EQ(p.initialised, 0);
  }
}

TEST_F(Fixture, CompositeMatchesAPlainLoopInEveryMode) {
  for (int32_t mode = 0; mode < kModeCount; ++mode) {
    const int32_t i = Add(mode, uint8_t(100 + mode * 7));
    Scribble(*paper.Layer(i), uint32_t(mode));
  }
  paper.RecompositeAll(false);
  EXPECT_EQ(Pixels(paper.composite), Pixels(Reference(paper)));
  paper.paperColor = 0x00336699;
  paper.RecompositeAll(false);
  EXPECT_EQ(Pixels(paper.composite), Pixels(Reference(paper)));
}

TEST_F(Fixture, GroupsInvisibleHeadsAndDither) {
  // Levels 0, 1 (invisible head), 2, 3, 3, 1, 2: groups three deep.
  const int32_t levels[] = {0, 1, 2, 3, 3, 1, 2};
  for (int32_t k = 0; k < 7; ++k) {
    const int32_t i = Add(k % 2 ? kModeScreen : kModeNormal, uint8_t(90 + 20 * k), levels[k]);
    Scribble(*paper.Layer(i), uint32_t(100 + k));
  }
  paper.Layer(2)->visible = 0;  // heads a group; its children stay visible
  paper.Layer(5)->ditherOn = 1;
  paper.Layer(5)->ditherAmount = 200;
  paper.RecompositeAll(false);
  const auto first = Pixels(paper.composite);
  EXPECT_EQ(first, Pixels(Reference(paper)));
  // A copy of the stored state each time: the same pixels again.
  paper.RecompositeAll(false);
  EXPECT_EQ(Pixels(paper.composite), first);
  // A layer at a level far from its neighbours reads no stale group entry.
  paper.Layer(6)->SetGroupLevel(250);
  paper.RecompositeAll(false);
  EXPECT_EQ(Pixels(paper.composite), Pixels(Reference(paper)));
}

TEST_F(Fixture, HandComputedPixels) {
  const int32_t i = Add(kModeNormal, 128);
  paper.Layer(i)->pixels->SetPixel(1, 1, 0xFF0000FF);
  const int32_t m = Add(kModeMultiply, 255);
  paper.Layer(m)->pixels->SetPixel(2, 1, 0xFF808080);
  paper.RecompositeAll(false);
  auto at = [&](int32_t x, int32_t y) {
    return *reinterpret_cast<uint32_t*>(paper.composite.PixelAddress(x, y));
  };
  // Blue at half opacity over white: R and G = Lerp8(0, 255, 128) = 127; alpha stays 0.
  EXPECT_EQ(at(1, 1), 0x007F7FFFu);
  // Multiply by grey at full weight: 255 * 128 / 255 = 128.
  EXPECT_EQ(at(2, 1), 0x00808080u);
  EXPECT_EQ(at(5, 4), 0x00FFFFFFu);
  // The paper colour comes through wherever nothing covers it.
  paper.Layer(0)->visible = 0;
  paper.SetPaperColor(0x00102030, false);
  EXPECT_EQ(at(5, 4), 0x00102030u);
}

TEST(Paper, TransparentCompositeAndLevelZero) {
  TPaper p;
  TFlowImage f(p);
  ASSERT_TRUE(p.NewPaper("t", f, true, true, 72, 5, 7));
  EXPECT_EQ(p.paperColorOn, 0);
  for (int32_t mode : {kModeNormal, kModeMultiply, kModeScreen, kModeHue, kModeSubtract}) {
    const int32_t i = p.AddLayer(p.LayerCount(), 7, true, 200, mode, 5);
    Scribble(*p.Layer(i), uint32_t(mode + 50));
  }
  p.RecompositeAll(false);
  EXPECT_EQ(Pixels(p.composite), Pixels(Reference(p)));

  TPaper z;
  z.SetLevel(0);
  TFlowImage fz(z);
  ASSERT_TRUE(z.NewPaper("t", fz, false, false, 72, 5, 7));
  for (int32_t mode : {kModeMultiply, kModeAdd, kModeSubtract, kModeNormal}) {
    const int32_t i = z.AddLayer(z.LayerCount(), 7, true, 180, mode, 5);
    Scribble(*z.Layer(i), uint32_t(mode + 70));
    EXPECT_EQ(z.Layer(i)->pixels->GetPixel(6, 4) >> 24, mode < 3 ? 255u : 0u);  // opaque below code 3
  }
  z.RecompositeAll(false);
  EXPECT_EQ(Pixels(z.composite), Pixels(Reference(z)));
}

TEST_F(Fixture, GridSurvivesLayerChangesAndNeverEntersALayer) {
  paper.SetGrid(true, 3, 2, true);
  EXPECT_EQ(paper.gridX, 3);
  auto at = [&](int32_t x, int32_t y) {
    return *reinterpret_cast<uint32_t*>(paper.composite.PixelAddress(x, y));
  };
  EXPECT_EQ(at(3, 1), 0x00D0D0D0u);  // a vertical line over white
  EXPECT_EQ(at(3, 2), 0x00A9A9A9u);  // a crossing is multiplied twice: 208 * 208 / 255 = 169
  EXPECT_EQ(at(1, 1), 0x00FFFFFFu);
  const int32_t i = Add(kModeNormal);
  paper.Layer(i)->pixels->SetPixel(3, 1, 0xFF000000);
  paper.FinishWholeLayerEdit(flow, i);
  EXPECT_EQ(at(0, 0) & 0xFFFFFF, 0xA9A9A9u);
  EXPECT_EQ(paper.Layer(i)->pixels->GetPixel(0, 0), 0x00FFFFFFu);  // not in the layer
  paper.SetGrid(false, 1, 1, true);
  EXPECT_EQ(paper.gridX, 2);  // at least 2
  EXPECT_EQ(at(0, 0), 0x00FFFFFFu);
}

TEST_F(Fixture, PaperColourSwitchesNeedAWhitePaper) {
  EXPECT_TRUE(paper.SetPaperColorOn(false));
  EXPECT_FALSE(paper.SetPaperColorOn(false));  // no change
  EXPECT_TRUE(paper.SetShowChecker(true));
  paper.SetPaperColorOn(true);
  paper.SetPaperColor(0xFF123456, false);
  EXPECT_FALSE(paper.SetPaperColorOn(false));
  EXPECT_FALSE(paper.SetShowChecker(false));
  paper.SetPaperColor(0xAAFFFFFF, false);  // the low 24 bits decide
  EXPECT_TRUE(paper.SetPaperColorOn(false));
}

TEST_F(Fixture, FlowImageLoadsOnlyWhatIsStale) {
  CLayerData& l = *paper.Layer(0);
  FillRect(flow.work, {0, 0, 1, 1}, 0x12345678);
  EXPECT_FALSE(flow.LoadLayer(0, l, false));  // loaded already: nothing copied
  EXPECT_EQ(*flow.work.Pixel(0, 0), 0x12345678u);
  EXPECT_TRUE(flow.LoadLayer(0, l, true));
  EXPECT_EQ(*flow.work.Pixel(0, 0), 0xFFFFFFFFu);
  const int32_t i = Add(kModeNormal);
  EXPECT_TRUE(flow.LoadLayer(i, *paper.Layer(i), false));  // another layer
  flow.Invalidate();
  EXPECT_TRUE(flow.LoadLayer(i, *paper.Layer(i), false));
  // A larger store grows the working copy; it never shrinks while loading.
  auto big = std::make_unique<CLayerData>(0, false);
  ASSERT_TRUE(big->CreatePixels(20, 9, kModeNormal));
  paper.layers.Insert(paper.LayerCount(), std::move(big));
  EXPECT_TRUE(flow.LoadLayer(2, *paper.Layer(2), false));
  EXPECT_EQ(flow.work.Width(), 20);
  EXPECT_TRUE(flow.LoadLayer(0, *paper.Layer(0), false));
  EXPECT_EQ(flow.work.Width(), 20);
  flow.FitToLayers(false);
  EXPECT_EQ(flow.work.Width(), 20);
  paper.layers.Delete(2);
  flow.FitToLayers(true);
  EXPECT_EQ(flow.work.Width(), 7);
  EXPECT_EQ(flow.loadState, 0);
}

TEST_F(Fixture, CommitRectAndFinishEdit) {
  CLayerData& l = *paper.Layer(0);
  FillAll8(flow.workMask, 9);
  paper.CommitRect(flow, 0, true, {50, 50, 60, 60});  // outside work: nothing written
  EXPECT_EQ(l.pixels->MemoryUsed(), 0);
  EXPECT_EQ(GetPixel8(flow.workMask, 0, 0), 0);  // but the mask is clear
  // Paint into the working copy, then finish: committed, only the rectangle recomposited.
  FillRect(flow.work, {1, 1, 2, 2}, 0xFF000000);
  FillRect(flow.work, {5, 3, 1, 1}, 0xFF000000);  // outside the finished rectangle
  *reinterpret_cast<uint32_t*>(paper.composite.PixelAddress(6, 4)) = 0xDEADBEEF;
  paper.FinishEdit(flow, 0, true, {1, 1, 3, 3});
  EXPECT_EQ(l.pixels->GetPixel(2, 2), 0xFF000000u);
  EXPECT_EQ(l.pixels->GetPixel(5, 3), 0xFFFFFFFFu);
  EXPECT_EQ(*reinterpret_cast<uint32_t*>(paper.composite.PixelAddress(2, 2)), 0x00000000u);
  EXPECT_EQ(*reinterpret_cast<uint32_t*>(paper.composite.PixelAddress(6, 4)), 0xDEADBEEFu);
  // Revert: the working copy takes the layer's pixels back.
  FillRect(flow.work, {0, 0, 7, 5}, 0xFF00FF00);
  paper.CommitRect(flow, 0, false, {0, 0, 3, 3});
  EXPECT_EQ(*flow.work.Pixel(2, 2), 0xFF000000u);
  EXPECT_EQ(*flow.work.Pixel(0, 0), 0xFFFFFFFFu);
  // A commit never writes a working copy that holds another layer.
  const int32_t i = Add(kModeNormal);
  ASSERT_TRUE(flow.LoadLayer(i, *paper.Layer(i), false));
  FillRect(flow.work, {0, 0, 7, 5}, 0xFF0000FF);
  paper.CommitRect(flow, 0, true, {0, 0, 7, 5});
  EXPECT_EQ(l.pixels->GetPixel(4, 4), 0xFFFFFFFFu);
  EXPECT_EQ(flow.loadedId, l.id);  // reloaded instead
}

TEST_F(Fixture, LayerOperationsReportToTheJournal) {
  Journal j;
  paper.SetJournal(&j);
  const int32_t a = paper.NewLayer(flow, kModeScreen, 0x00000000, "");
  EXPECT_EQ(a, 1);
  EXPECT_EQ(paper.Layer(a)->name, "レイヤ2");
  EXPECT_EQ(paper.ActiveIndex(), a);
  EXPECT_EQ(paper.DuplicateLayer(flow, a), 2);
  EXPECT_EQ(paper.MoveLayer(flow, 0, 2), 0);
  EXPECT_TRUE(paper.MergeDown(flow, 1, false));
  EXPECT_EQ(paper.LayerCount(), 2);
  EXPECT_TRUE(paper.DeleteLayer(flow, 1));
  EXPECT_FALSE(paper.DeleteLayer(flow, 0));  // the last layer stays
  paper.ShowAll(false);
  paper.ShowAll(true);
  paper.InvertVisibility();
  paper.ShowOnly(0);
  EXPECT_TRUE(paper.InvertAlpha(flow, 0));
  EXPECT_TRUE(paper.FillAlpha(flow, 0));
  EXPECT_TRUE(paper.ClearAlpha(flow, 0));
  const std::vector<PaperOp> expected = {
      PaperOp::kAddLayer,    PaperOp::kDuplicateLayer, PaperOp::kMoveLayer, PaperOp::kMergeDown,
      PaperOp::kDeleteLayer, PaperOp::kHideAll,        PaperOp::kShowAll,   PaperOp::kInvertVisibility,
      PaperOp::kShowOnly,    PaperOp::kInvertAlpha,    PaperOp::kFillAlpha, PaperOp::kClearAlpha};
  EXPECT_EQ(j.ops, expected);
  paper.SetJournal(nullptr);
}

TEST_F(Fixture, FlattenVisibleWithAndWithoutTransparency) {
  const int32_t a = Add(kModeNormal, 128);
  paper.Layer(a)->pixels->SetPixel(1, 1, 0xFF0000FF);
  const int32_t hidden = Add(kModeNormal);
  paper.Layer(hidden)->visible = 0;
  paper.Layer(hidden)->name = "hidden";
  paper.RecompositeAll(false);
  const auto before = Pixels(paper.composite);
  ASSERT_TRUE(paper.FlattenVisible(flow, false));
  EXPECT_EQ(paper.LayerCount(), 2);
  EXPECT_EQ(paper.Layer(1)->name, "hidden");                       // the invisible layer stays
  EXPECT_EQ(paper.Layer(0)->pixels->GetPixel(1, 1), 0xFF7F7FFFu);  // flattened and opaque
  paper.RecompositeAll(false);
  EXPECT_EQ(Pixels(paper.composite), before);

  // A screen base cannot be flattened plainly; the transparency-keeping flatten can.
  paper.Layer(0)->mode = kModeScreen;
  paper.Layer(1)->visible = 1;
  EXPECT_FALSE(paper.FlattenVisible(flow, false));
  TPaper u;
  TFlowImage fu(u);
  ASSERT_TRUE(u.NewPaper("t", fu, true, false, 72, 5, 7));
  const int32_t c = u.AddLayer(1, 7, true, 255, kModeNormal, 5);
  u.Layer(c)->pixels->SetPixel(2, 2, 0x80FF0000);
  ASSERT_TRUE(u.FlattenVisible(fu, true));
  EXPECT_EQ(u.LayerCount(), 1);
  EXPECT_EQ(u.Layer(0)->pixels->GetPixel(2, 2), 0x80FF0000u);  // transparency kept
  EXPECT_EQ(u.Layer(0)->pixels->GetPixel(0, 0) >> 24, 0u);
}

TEST_F(Fixture, GroupMergeAndDelete) {
  const int32_t head = Add(kModeNormal, 128, 0);
  const int32_t child = Add(kModeNormal, 255, 1);
  paper.Layer(child)->pixels->SetPixel(3, 3, 0xFF00FF00);
  paper.RecompositeAll(false);
  const auto before = Pixels(paper.composite);
  ASSERT_TRUE(paper.MergeGroup(flow, head));
  EXPECT_EQ(paper.LayerCount(), 2);
  paper.RecompositeAll(false);
  EXPECT_EQ(Pixels(paper.composite), before);  // the group looks as it did
  Add(kModeNormal, 255, 0);
  const int32_t h2 = Add(kModeNormal, 255, 0);
  Add(kModeNormal, 255, 1);
  ASSERT_TRUE(paper.DeleteGroup(flow, h2));
  EXPECT_EQ(paper.LayerCount(), 3);
  EXPECT_FALSE(paper.MergeGroup(flow, 0));  // no children
}

TEST_F(Fixture, MergesKeepTheLowerLayersAttributes) {
  // 1 (level 0), 2 (level 1, hidden, protected, dithered), 3 (level 1): merging 3 into 2 keeps
  // 2 inside its group and hidden.
  Add(kModeNormal, 255, 0);
  const int32_t lower = Add(kModeScreen, 255, 1);
  CLayerData& L = *paper.Layer(lower);
  L.visible = 0;
  L.protectAlpha = 1;
  L.ditherOn = 1;
  L.ditherAmount = 77;
  const int32_t upper = Add(kModeNormal, 255, 1);
  paper.Layer(upper)->pixels->SetPixel(2, 2, 0xFF112233);
  ASSERT_TRUE(paper.MergeDown(flow, upper, false));
  const CLayerData& M = *paper.Layer(lower);
  EXPECT_EQ(M.groupLevel, 1);
  EXPECT_EQ(M.visible, 0);
  EXPECT_EQ(M.protectAlpha, 1);
  EXPECT_EQ(M.ditherOn, 1);
  EXPECT_EQ(M.ditherAmount, 77);
  EXPECT_EQ(M.mode, kModeScreen);
  // A nested head keeps its level and mode when its group is merged into it.
  const int32_t head = Add(kModeMultiply, 255, 1);
  Add(kModeNormal, 255, 2);
  ASSERT_TRUE(paper.MergeGroup(flow, head));
  EXPECT_EQ(paper.Layer(head)->groupLevel, 1);
  EXPECT_EQ(paper.Layer(head)->mode, kModeMultiply);
}

TEST_F(Fixture, FlattenShowsWhatTheDitheredCompositeShowed) {
  const int32_t d = Add(kModeNormal);
  CLayerData& l = *paper.Layer(d);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 7; ++x) l.pixels->SetPixel(x, y, 0xFF000000);
  l.ditherOn = 1;
  l.ditherAmount = 128;
  paper.RecompositeAll(false);
  const auto before = Pixels(paper.composite);
  int black = 0;
  for (uint32_t v : before) black += (v & 0x00FFFFFF) == 0;
  ASSERT_GT(black, 0);
  ASSERT_LT(black, 35);
  ASSERT_TRUE(paper.FlattenVisible(flow, false));
  paper.RecompositeAll(false);
  EXPECT_EQ(Pixels(paper.composite), before);
}

TEST_F(Fixture, ViewPositionsAreKeptInRange) {
  TPaper::LayerSettings s = paper.SettingsOf(0);
  s.viewX = std::numeric_limits<int32_t>::max() - 2;
  s.viewY = std::numeric_limits<int32_t>::min();
  ASSERT_TRUE(paper.ApplySettings(flow, 0, s));  // composites without overflowing
  EXPECT_EQ(paper.Layer(0)->viewX, kMaxBufferSide);
  EXPECT_EQ(paper.Layer(0)->viewY, -kMaxBufferSide);
}

TEST_F(Fixture, LayerSettingsInPercent) {
  TPaper::LayerSettings s = paper.SettingsOf(0);
  EXPECT_EQ(s.opacityPercent, 100);
  s.opacityPercent = 50;
  s.mode = kModeOverlay;
  s.ditherOn = true;
  s.ditherPercent = 0;
  s.name = std::string(40000, 'x');
  ASSERT_TRUE(paper.ApplySettings(flow, 0, s));
  EXPECT_EQ(paper.Layer(0)->opacity, 130);  // the largest byte that shows 50 % (130 * 100 / 255 = 50.98)
  EXPECT_EQ(paper.Layer(0)->ditherAmount, 2);
  EXPECT_EQ(paper.Layer(0)->name.size(), 32766u);
  EXPECT_EQ(paper.SettingsOf(0).opacityPercent, 50);
  s.mode = 30;
  EXPECT_FALSE(paper.ApplySettings(flow, 0, s));
}

struct AnchorCase {
  int32_t anchor;
  TPoint offset;
};

TEST(Canvas, AnchorOffsetsTruncateTowardZero) {
  // 10 x 10 to 7 x 13: dx = -3 (half -1), dy = 3 (half 1).
  const AnchorCase kCases[] = {{0, {0, 0}},  {1, {0, 1}},  {2, {0, 3}},  {3, {-1, 0}}, {4, {-1, 1}},
                               {5, {-1, 3}}, {6, {-3, 0}}, {7, {-3, 1}}, {8, {-3, 3}}};
  for (const auto& c : kCases) EXPECT_EQ(TPaper::AnchorOffset(10, 10, 7, 13, c.anchor), c.offset) << c.anchor;
}

TEST_F(Fixture, ShrinkingKeepsPixelsOutsideAndCropRemovesThem) {
  CLayerData& l = *paper.Layer(0);
  l.pixels->SetPixel(6, 4, 0xFF0000FF);
  l.pixels->SetPixel(0, 0, 0xFF00FF00);
  ASSERT_TRUE(paper.ResizeCanvas(flow, 5, 3, false, true, 4));  // offset (-1, -1)
  EXPECT_EQ(paper.width, 5);
  CLayerData& r = *paper.Layer(0);
  EXPECT_EQ(r.viewX, 1);
  EXPECT_EQ(r.pixels->Width(), 7);  // the store still covers the old picture
  EXPECT_EQ(r.pixels->GetPixel(6, 4), 0xFF0000FFu);
  EXPECT_EQ(r.name, "レイヤ1");
  // Growing again brings the kept pixels back into view.
  ASSERT_TRUE(paper.ResizeCanvas(flow, 7, 5, false, true, 4));
  paper.RecompositeAll(false);
  EXPECT_EQ(*reinterpret_cast<uint32_t*>(paper.composite.PixelAddress(6, 4)), 0x000000FFu);
  ASSERT_TRUE(paper.Crop(flow, 0, false, {1, 1, 6, 4}));
  EXPECT_EQ(paper.width, 6);
  EXPECT_EQ(paper.Layer(0)->pixels->Width(), 6);
  EXPECT_EQ(paper.Layer(0)->pixels->GetPixel(5, 3), 0xFF0000FFu);
  EXPECT_EQ(paper.Layer(0)->viewX, 0);
  // Bad numbers change nothing.
  EXPECT_FALSE(paper.ResizeCanvas(flow, 0, 5, false, false, 4));
  EXPECT_FALSE(paper.ResizeCanvas(flow, 5, 5, false, false, 9));
  EXPECT_FALSE(paper.Crop(flow, 0, false, {100, 100, 5, 5}));
  EXPECT_FALSE(paper.ResampleImage(flow, 5, 5, 3));
  EXPECT_EQ(paper.width, 6);
}

TEST(Canvas, ResampleBothMethodsOnBlocks) {
  for (int32_t method : {1, 2}) {
    TPaper p;
    TFlowImage f(p);
    ASSERT_TRUE(p.NewPaper("t", f, false, false, 72, 8, 8));
    CLayerData& l = *p.Layer(0);
    // Four 4 x 4 blocks of one colour each.
    const uint32_t colours[4] = {0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0};
    for (int32_t by = 0; by < 2; ++by)
      for (int32_t bx = 0; bx < 2; ++bx)
        l.pixels->MaskedSet({bx * 4, by * 4, 4, 4}, 0xFFFFFFFF, colours[by * 2 + bx]);
    ASSERT_TRUE(p.ResampleImage(f, 4, 4, method)) << method;
    EXPECT_EQ(p.width, 4);
    CLayerData& r = *p.Layer(0);
    EXPECT_EQ(r.pixels->Width(), 4);
    for (int32_t by = 0; by < 2; ++by)
      for (int32_t bx = 0; bx < 2; ++bx)
        for (int32_t k = 0; k < 4; ++k)
          EXPECT_EQ(r.pixels->GetPixel(bx * 2 + k % 2, by * 2 + k / 2), colours[by * 2 + bx]) << method;
  }
}

TEST_F(Fixture, ViewPathsShowTheComposite) {
  // A picture whose every pixel differs.
  CLayerData& l = *paper.Layer(0);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 7; ++x)
      l.pixels->SetPixel(x, y, 0xFF000000u | uint32_t(x * 30) << 16 | uint32_t(y * 40));
  paper.RecompositeAll(false);
  auto comp = [&](int32_t x, int32_t y) {
    return *reinterpret_cast<uint32_t*>(paper.composite.PixelAddress(x, y));
  };
  // 100 %, angle 0, paper colour on: the window stretches the composite 1:1.
  PaintSource s = paper.PaintRect({0, 0, 7, 5}, 7, 5);
  EXPECT_EQ(s.kind, PaintSource::kCompositeStretched);
  EXPECT_EQ(s.factor, 1.0);
  // A quarter turn: buffer (x, y) shows composite (y, 4 - x); outside the paper, the background.
  ASSERT_TRUE(paper.SetViewAngle(-90));
  EXPECT_EQ(paper.sine, -1.0f);
  EXPECT_EQ(paper.cosine, 0.0f);
  paper.viewShiftX = 3;
  paper.viewShiftY = 2;
  paper.RefreshView(5, 7);
  for (int32_t y = 0; y < 7; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(paper.viewBuffer.Row32(y)[x], comp(y, 4 - x)) << x << "," << y;
  paper.RefreshView(6, 7);  // one more column: it lies off the paper
  EXPECT_EQ(paper.viewBuffer.Row32(0)[0], 0xFF808080u);
  EXPECT_EQ(paper.PaintRect({0, 0, 6, 7}, 6, 7).kind, PaintSource::kViewBuffer);
}

TEST(PaperView, AntialiasedHalfIsTheAreaAverage) {
  PaperSettings settings;
  settings.antialiasedDisplay = true;
  TPaper p(nullptr, settings);
  TFlowImage f(p);
  ASSERT_TRUE(p.NewPaper("t", f, false, false, 72, 8, 8));
  std::mt19937 rng(1);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) p.Layer(0)->pixels->SetPixel(x, y, rng() | 0xFF000000u);
  p.RecompositeAll(false);
  p.SetZoomIndex(-3);  // 50 %
  EXPECT_FALSE(p.FastPathAllowed());
  p.RefreshView(4, 4);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) {
      uint32_t expected = 0;
      for (int shift : {0, 8, 16, 24}) {
        double sum = 0;
        for (int32_t j = 0; j < 2; ++j)
          for (int32_t i = 0; i < 2; ++i)
            sum += (*reinterpret_cast<uint32_t*>(p.composite.PixelAddress(2 * x + i, 2 * y + j)) >> shift) &
                   0xFF;
        expected |= uint32_t(std::nearbyint((sum + 0.01) / 4)) << shift;
      }
      EXPECT_EQ(p.viewBuffer.Row32(y)[x], expected) << x << "," << y;
    }
}

TEST(PaperView, CheckerCellsAlternateFromTheirOrigin) {
  TPaper p;
  TFlowImage f(p);
  ASSERT_TRUE(p.NewPaper("t", f, true, true, 72, 20, 20));  // transparent, no paper colour
  p.SetShowChecker(true);
  p.SetViewAngle(-180);
  p.viewShiftX = 10;
  p.viewShiftY = 10;
  p.RefreshView(20, 20);
  // Cells in buffer coordinates: (x / 8 + y / 8) odd is the light colour. (Row and column 0
  // map onto the paper's far edge, which is outside it.)
  EXPECT_EQ(p.viewBuffer.Row32(0)[0], 0xFF808080u);
  EXPECT_EQ(p.viewBuffer.Row32(1)[1] & 0xFFFFFF, 0xC8C8C8u);
  EXPECT_EQ(p.viewBuffer.Row32(1)[8] & 0xFFFFFF, 0xE0E0E0u);
  EXPECT_EQ(p.viewBuffer.Row32(8)[8] & 0xFFFFFF, 0xC8C8C8u);
  // The plain path counts cells from the top-left corner of the paper in the window.
  p.SetViewAngle(0);
  p.SetViewOrigin(3, 0);
  PaintSource s = p.PaintRect({0, 0, 30, 20}, 30, 20);
  ASSERT_EQ(s.kind, PaintSource::kPlainBuffer);
  EXPECT_EQ(p.plainBuffer.Row32(0)[3] & 0xFFFFFF, 0xC8C8C8u);
  EXPECT_EQ(p.plainBuffer.Row32(0)[10] & 0xFFFFFF, 0xC8C8C8u);
  EXPECT_EQ(p.plainBuffer.Row32(0)[11] & 0xFFFFFF, 0xE0E0E0u);
}

TEST(PaperView, ZoomStepsAndAngles) {
  TPaper p;
  EXPECT_EQ(ZoomFactorOf(-9), 1.0);
  EXPECT_EQ(ZoomFactorOf(10), 1.0);
  EXPECT_EQ(ZoomFactorOf(-8), 0.06001);
  EXPECT_EQ(ZoomFactorOf(9), 8.0);
  p.SetZoomIndex(9);
  EXPECT_FALSE(p.ZoomIn());
  p.SetZoomIndex(-8);
  EXPECT_FALSE(p.ZoomOut());
  p.SetZoomIndex(-7);
  EXPECT_TRUE(p.ZoomOut());
  p.SetZoomIndex(44);
  EXPECT_EQ(p.zoomIndex, 9);
  EXPECT_TRUE(p.SetViewAngle(90));
  EXPECT_EQ(p.normalisedAngle, -270.0f);
  EXPECT_EQ(p.sine, 1.0f);
  EXPECT_TRUE(p.SetViewAngle(720));
  EXPECT_EQ(p.normalisedAngle, 0.0f);
  EXPECT_FALSE(p.IsRotated());
  EXPECT_TRUE(p.SetViewAngle(-30));
  EXPECT_NEAR(p.sine, -0.5, 1e-6);
  EXPECT_FALSE(p.SetViewAngle(std::nan("")));
  EXPECT_NEAR(p.normalisedAngle, -30, 1e-6);
  // Angles just above a whole turn would round to -360 itself: they are no turn at all.
  for (double tiny : {1e-7, 1e-20, 360.0 + 1e-9}) {
    EXPECT_TRUE(p.SetViewAngle(tiny));
    EXPECT_EQ(p.normalisedAngle, 0.0f) << tiny;
    EXPECT_FALSE(p.IsRotated()) << tiny;
  }
  EXPECT_TRUE(p.SetViewAngleRadians(-std::acos(-1.0) / 2));
  EXPECT_EQ(p.normalisedAngle, -90.0f);
}

TEST(PaperView, PlainPathUsesTheExactZoom) {
  // A transparent picture (paper colour off) at 125 %: window column x shows the composite
  // column under its centre, as the stretched path would place it.
  TPaper p;
  TFlowImage f(p);
  ASSERT_TRUE(p.NewPaper("t", f, true, true, 72, 4, 16));
  ASSERT_EQ(p.paperColorOn, 0);
  for (int32_t x = 0; x < 16; ++x)
    for (int32_t y = 0; y < 4; ++y) p.Layer(0)->pixels->SetPixel(x, y, 0xFF000000u | uint32_t(x));
  p.RecompositeAll(false);
  p.SetZoomIndex(1);
  ASSERT_DOUBLE_EQ(p.ZoomFactor(), 1.25);
  const PaintSource s = p.PaintRect({0, 0, 20, 5}, 20, 5);
  ASSERT_EQ(s.kind, PaintSource::kPlainBuffer);
  for (int32_t x = 0; x < 20; ++x)
    EXPECT_EQ(p.plainBuffer.Row32(2)[x] & 0xFF, uint32_t(std::floor((x + 0.5) / 1.25))) << x;
  // A layer change greys the buffer before the full repaint.
  ASSERT_GE(p.NewLayer(f, kModeNormal, 0x00FFFFFF, ""), 0);
  EXPECT_EQ(p.plainBuffer.Row32(0)[0], 0x00808080u);
}

}  // namespace
}  // namespace tintara
