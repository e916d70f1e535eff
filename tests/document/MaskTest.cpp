#include <gtest/gtest.h>

#include "document/Layer.h"
#include "document/Mask.h"
#include "platform/Debug.h"
#include "platform/Memory.h"

namespace tintara {
namespace {

// A channel of w x h filled with v (kept alive for the statement that uses it).
const CBlockVCH& Channel(int32_t w, int32_t h, uint8_t v) {
  static std::vector<std::unique_ptr<CBlockVCH>> keep;
  keep.push_back(std::make_unique<CBlockVCH>(w, h));
  keep.back()->FillAll(v);
  return *keep.back();
}

std::vector<uint8_t> Row(const CMaskMngr& m, int32_t y, int32_t x0, int32_t x1) {
  std::vector<uint8_t> v;
  for (int32_t x = x0; x < x1; ++x) v.push_back(m.CoverageAt(x, y));
  return v;
}

class Masks : public ::testing::Test {
 protected:
  void SetUp() override { m.SetPaperSize(10, 4); }
  CMaskMngr m;
};

TEST_F(Masks, NewManagerHasOneEmptyNumberedMask) {
  EXPECT_EQ(m.Count(), 1);
  EXPECT_EQ(m.ActiveIndex(), 0);
  EXPECT_FALSE(m.HasChannel(0));
  EXPECT_EQ(m.At(0)->displayName, "マスク1");
  EXPECT_EQ(m.InsertNew(1), 1);
  EXPECT_EQ(m.At(1)->displayName, "マスク2");
  EXPECT_NE(m.At(0)->internalName, m.At(1)->internalName);
  EXPECT_EQ(m.LastWithChannel(), -1);
  EXPECT_FALSE(m.AnyChannel());
}

TEST_F(Masks, CombineModesOnChannels) {
  // E: columns 2..5 at 200. N: columns 4..7 at 100.
  ASSERT_TRUE(m.CombineInto(0, Channel(4, 4, 200), 2, 0, CombineMode::kReplace));
  EXPECT_EQ(m.At(0)->displayName, "マスク1");  // a combine keeps the name
  const int32_t serial = m.At(0)->internalName;
  EXPECT_EQ(Row(m, 0, 0, 10), (std::vector<uint8_t>{0, 0, 200, 200, 200, 200, 0, 0, 0, 0}));
  struct Case {
    CombineMode mode;
    std::vector<uint8_t> expected;
  };
  const Case kCases[] = {
      {CombineMode::kReplace, {0, 0, 0, 0, 100, 100, 100, 100, 0, 0}},
      {CombineMode::kAdd, {0, 0, 200, 200, 200, 200, 100, 100, 0, 0}},
      // min(E, 255 - N): 155 where both, E elsewhere inside E.
      {CombineMode::kSubtract, {0, 0, 200, 200, 155, 155, 0, 0, 0, 0}},
      // N * E / 255 over E's rectangle: 200 * 100 / 255 = 78; 0 outside E.
      {CombineMode::kIntersect, {0, 0, 0, 0, 78, 78, 0, 0, 0, 0}},
  };
  for (const auto& c : kCases) {
    CMaskMngr mm;
    mm.SetPaperSize(10, 4);
    ASSERT_TRUE(mm.CombineInto(0, Channel(4, 4, 200), 2, 0, CombineMode::kReplace));
    std::unique_ptr<CMaskData> old;
    ASSERT_TRUE(mm.CombineInto(0, Channel(4, 4, 100), 4, 0, c.mode, &old)) << int(c.mode);
    EXPECT_EQ(Row(mm, 1, 0, 10), c.expected) << int(c.mode);
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(old->CoverageAt(2, 0), 200);  // the old mask comes back intact
    EXPECT_EQ(mm.At(0)->internalName, old->internalName);
  }
  EXPECT_EQ(m.At(0)->internalName, serial);
}

TEST_F(Masks, SubtractingEverythingLeavesZerosAndEmptyMasksRefuse) {
  ASSERT_TRUE(m.CombineInto(0, Channel(10, 4, 255), 0, 0, CombineMode::kReplace));
  ASSERT_TRUE(m.CombineInto(0, Channel(10, 4, 255), 0, 0, CombineMode::kSubtract));
  EXPECT_TRUE(m.HasChannel(0));
  EXPECT_EQ(Row(m, 2, 0, 10), std::vector<uint8_t>(10, 0));
  CMaskMngr e;
  e.SetPaperSize(10, 4);
  EXPECT_FALSE(e.CombineInto(0, Channel(3, 3, 9), 0, 0, CombineMode::kSubtract));
  EXPECT_FALSE(e.CombineInto(0, Channel(3, 3, 9), 0, 0, CombineMode::kIntersect));
  EXPECT_FALSE(e.HasChannel(0));
  ASSERT_TRUE(e.CombineInto(0, Channel(3, 3, 9), 1, 1, CombineMode::kAdd));  // as replace
  EXPECT_EQ(e.CoverageAt(1, 1), 9);
  EXPECT_EQ(e.CoverageAt(0, 0), 0);
  // An add is cut to the paper.
  ASSERT_TRUE(e.CombineInto(0, Channel(4, 4, 50), 8, 2, CombineMode::kAdd));
  EXPECT_EQ(e.PaperRect(0), (SPixRect{1, 1, 9, 3}));
}

TEST_F(Masks, InvertGrowsToThePaperFirst) {
  EXPECT_FALSE(m.InvertMask(0));  // no channel: nothing
  ASSERT_TRUE(m.CombineInto(0, Channel(2, 2, 40), 3, 1, CombineMode::kReplace));
  const int32_t serial = m.At(0)->internalName;
  ASSERT_TRUE(m.InvertMask(0));
  EXPECT_EQ(m.PaperRect(0), (SPixRect{0, 0, 10, 4}));
  EXPECT_EQ(m.CoverageAt(3, 1), 215);
  EXPECT_EQ(m.CoverageAt(0, 0), 255);
  EXPECT_EQ(m.At(0)->internalName, serial);  // still the same mask for its records
  EXPECT_EQ(m.CoverageAt(0, 0, 128), 128);   // coverage times the level
  // A mask beyond the paper is cut to it.
  ASSERT_TRUE(m.CombineInto(0, Channel(5, 5, 7), -2, -2, CombineMode::kReplace));
  EXPECT_TRUE(m.ExtendsBeyondPaper(0));
  ASSERT_TRUE(m.CropToPaper(0));
  EXPECT_EQ(m.PaperRect(0), (SPixRect{0, 0, 3, 3}));
  EXPECT_FALSE(m.CropToPaper(0));
}

TEST_F(Masks, FailedCombineKeepsTheOldMask) {
  ASSERT_TRUE(m.CombineInto(0, Channel(4, 4, 200), 0, 0, CombineMode::kReplace));
  const CMaskData* before = m.At(0);
  const CBlockVCH& one = Channel(4, 4, 1);
  {
    DebugCapture debug;
    ScopedAllocFailure fail(0);
    EXPECT_FALSE(m.CombineInto(0, one, 0, 0, CombineMode::kAdd));
    EXPECT_TRUE(debug.Contains("CMaskData::createMask: exception!"));
  }
  EXPECT_EQ(m.At(0), before);
  EXPECT_EQ(m.CoverageAt(1, 1), 200);
}

TEST_F(Masks, FailedInvertAndCropKeepTheOldMaskAndBadModesAreRefused) {
  ASSERT_TRUE(m.CombineInto(0, Channel(2, 2, 40), 3, 1, CombineMode::kReplace));
  const CMaskData* before = m.At(0);
  {
    DebugCapture debug;
    ScopedAllocFailure fail(0);
    EXPECT_FALSE(m.InvertMask(0));
    EXPECT_TRUE(debug.Contains("makeExtendMask: exception!"));
  }
  EXPECT_EQ(m.At(0), before);
  EXPECT_EQ(m.CoverageAt(3, 1), 40);
  ASSERT_TRUE(m.CombineInto(0, Channel(5, 5, 7), -2, -2, CombineMode::kReplace));
  before = m.At(0);
  {
    ScopedAllocFailure fail(0);
    EXPECT_FALSE(m.CropToPaper(0));
  }
  EXPECT_EQ(m.At(0), before);
  EXPECT_TRUE(m.ExtendsBeyondPaper(0));
  // A mode outside the four is refused, the mask untouched.
  EXPECT_FALSE(m.CombineInto(0, Channel(2, 2, 9), 0, 0, CombineMode(7)));
  EXPECT_EQ(m.At(0), before);
}

TEST_F(Masks, AddIntoAnEmptyMaskIsCutToThePaper) {
  // Partly off the paper: only the part on it stays.
  ASSERT_TRUE(m.CombineInto(0, Channel(6, 6, 90), 7, 1, CombineMode::kAdd));
  EXPECT_EQ(m.PaperRect(0), (SPixRect{7, 1, 3, 3}));
  EXPECT_EQ(m.CoverageAt(8, 2), 90);
  // Wholly off the paper: nothing is selected on it, and no channel is kept.
  m.InsertNew(1);
  ASSERT_TRUE(m.CombineInto(1, Channel(3, 3, 90), 20, 20, CombineMode::kAdd));
  EXPECT_FALSE(m.HasChannel(1));
}

TEST_F(Masks, TheActiveMaskFollowsMovesOfOthers) {
  m.InsertNew(1);
  m.InsertNew(2);  // A B C
  const CMaskData* b = m.At(1);
  ASSERT_TRUE(m.Activate(1));
  ASSERT_EQ(m.Move(0, 2), 2);  // B C A
  EXPECT_EQ(m.Active(), b);
  EXPECT_EQ(m.ActiveIndex(), 0);
  ASSERT_EQ(m.Move(2, 0), 0);  // A B C
  EXPECT_EQ(m.Active(), b);
  EXPECT_EQ(m.ActiveIndex(), 1);
  // Taking out a mask below the active one keeps the same mask active.
  ASSERT_NE(m.TakeOut(0), nullptr);
  EXPECT_EQ(m.Active(), b);
}

TEST_F(Masks, ListEdits) {
  m.InsertNew(1);
  m.InsertNew(2);
  EXPECT_EQ(m.Move(1, 1), -1);  // to its own index
  EXPECT_EQ(m.Move(0, 5), -1);
  ASSERT_TRUE(m.Activate(2));
  ASSERT_TRUE(m.Delete(2));  // the active last mask: the previous one becomes active
  EXPECT_EQ(m.ActiveIndex(), 1);
  EXPECT_EQ(m.Count(), 2);
  ASSERT_TRUE(m.CombineInto(0, Channel(2, 2, 10), 0, 0, CombineMode::kReplace));
  EXPECT_EQ(m.Duplicate(0), 0);  // the copy goes before the original
  EXPECT_EQ(m.Count(), 3);
  EXPECT_EQ(m.At(0)->displayName, m.At(1)->displayName);
  EXPECT_NE(m.At(0)->internalName, m.At(1)->internalName);
  EXPECT_EQ(m.At(0)->CoverageAt(0, 0), 10);
  for (int32_t i = 0; i < m.Count(); ++i) EXPECT_EQ(m.At(i)->id, i);
  auto out = m.TakeOut(1);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(m.Count(), 2);
  EXPECT_TRUE(m.Delete(0));
  EXPECT_FALSE(m.Delete(0));                   // the only mask stays
  EXPECT_EQ(m.Insert(99, std::move(out)), 1);  // beyond the end: appended
}

TEST_F(Masks, LayerConversions) {
  CLayerData layer(0, false);
  ASSERT_TRUE(layer.CreatePixels(6, 4, kModeNormal));
  layer.name = "L";
  layer.viewX = 1;  // paper x = store x - 1
  layer.pixels->SetPixel(2, 1, 0x80FFFFFF);
  layer.pixels->SetPixel(3, 1, 0xFF000000);
  auto lum = m.MaskFromLayerLuminance(layer, false);
  ASSERT_NE(lum, nullptr);
  EXPECT_EQ(lum->displayName, "明度(L)");
  EXPECT_EQ(lum->CoverageAt(1, 1), 128);  // store (2, 1): alpha 128 times luminance 255
  EXPECT_EQ(lum->CoverageAt(2, 1), 0);    // black
  auto alpha = m.MaskFromLayerAlpha(layer);
  ASSERT_NE(alpha, nullptr);
  EXPECT_EQ(alpha->displayName, "ﾏｽｸ(L)");
  EXPECT_EQ(alpha->CoverageAt(2, 1), 255);
  m.Replace(0, std::move(alpha));
  // Mask into the layer's alpha: everything 0, then the mask's values.
  ASSERT_TRUE(m.CombineInto(0, Channel(2, 1, 77), 0, 0, CombineMode::kReplace));
  ASSERT_TRUE(m.MaskToLayerAlpha(0, layer));
  EXPECT_EQ(layer.pixels->GetPixel(1, 0) >> 24, 77u);  // paper (0, 0)
  EXPECT_EQ(layer.pixels->GetPixel(3, 1) >> 24, 0u);
  // Apply: alpha * mask / 255.
  layer.SetOpaque();
  ASSERT_TRUE(m.ApplyMaskToAlpha(0, *layer.pixels, layer.viewX, layer.viewY));
  EXPECT_EQ(layer.pixels->GetPixel(1, 0) >> 24, 77u);
  EXPECT_EQ(layer.pixels->GetPixel(2, 0) >> 24, 77u);
  EXPECT_EQ(layer.pixels->GetPixel(4, 0) >> 24, 255u);  // outside the mask: unchanged
}

TEST_F(Masks, ThumbnailsScaleAndShift) {
  ASSERT_TRUE(m.CombineInto(0, Channel(10, 4, 255), 0, 0, CombineMode::kReplace));
  m.RefreshThumbnail(0);
  ASSERT_NE(m.At(0)->thumbnail, nullptr);
  EXPECT_EQ(m.At(0)->thumbnail->Width(), 33);
  EXPECT_EQ(m.At(0)->thumbnail->Height(), 13);  // 4 * 33 / 10
  EXPECT_EQ(m.At(0)->thumbnail->Row32(5)[5], 0xFFFFFFFFu);
  ASSERT_TRUE(m.ScaleAll(10, 4, 20, 8));
  EXPECT_EQ(m.PaperRect(0), (SPixRect{0, 0, 20, 8}));
  EXPECT_EQ(m.CoverageAt(19, 7), 255);
  m.ShiftAll(3, 1);
  EXPECT_EQ(m.PaperRect(0), (SPixRect{3, 1, 20, 8}));
  EXPECT_GT(m.Memory(), 0);
}

}  // namespace
}  // namespace tintara
