#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "common/PictureSnapshot.h"
#include "document/Paper.h"
#include "document/PaperUndo.h"
#include "pixel/ColorOps.h"
#include "platform/Memory.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

// Paints a rectangle the way the tools do: the record first, then the flow image, then commit.
void Paint(TPaper& p, TFlowImage& flow, int32_t i, const SPixRect& paperRect, uint32_t colour) {
  const CLayerData& l = *p.Layer(i);
  const TRect store{paperRect.x + l.viewX, paperRect.y + l.viewY, paperRect.Right() + l.viewX,
                    paperRect.Bottom() + l.viewY};
  p.ActivateLayer(flow, i);
  p.BeginEdit(i, store);
  FillRect(flow.work, flow.work.Clip(ToPixRect(store)), colour);
  p.FinishEdit(flow, i, true, store);
}

std::unique_ptr<CBlockVCH> RandomChannel(std::mt19937& rng, int32_t w, int32_t h) {
  auto c = std::make_unique<CBlockVCH>(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t r = rng() % 4;
      c->SetPixel(x, y, uint8_t(r == 0 ? 0 : r == 1 ? 255 : rng() % 256));
    }
  return c;
}

// One random operation; returns its name for the failure messages.
std::string RandomOperation(TPaper& p, TFlowImage& flow, std::mt19937& rng) {
  auto pick = [&rng](int32_t n) { return n > 0 ? int32_t(rng() % uint32_t(n)) : 0; };
  const int32_t n = p.LayerCount(), i = pick(n);
  const int32_t W = p.width, H = p.height;
  // The group operations work on a head: a layer with children, when there is one.
  int32_t head = i;
  for (int32_t k = 0; k < n; ++k)
    if (p.layers.ChildCount((i + k) % n) > 0) {
      head = (i + k) % n;
      break;
    }
  switch (pick(30)) {
    case 0:
    case 1:
    case 2: {
      const int32_t x = pick(W), y = pick(H);
      Paint(p, flow, i, {x, y, 1 + pick(W - x), 1 + pick(H - y)}, rng() | 0x80000000u);
      return "paint";
    }
    case 3:
      p.TransformLayer(flow, i, 7 + pick(5));
      return "transform layer";
    case 4:
      p.TransformVisible(flow, 12 + pick(4));
      return "transform visible";
    case 5:
      p.SetLayerOpacity(i, uint8_t(rng()));
      return "opacity";
    case 6:
      p.SetLayerMode(i, pick(22));
      return "mode";
    case 7:
      p.SetLayerVisible(i, !p.Layer(i)->visible);
      return "visibility";
    case 8:
      p.NewLayer(flow, kModeNormal, 0x00FFFFFF, "");
      return "new layer";
    case 9:
      p.DeleteLayer(flow, i);
      return "delete layer";
    case 10:
      p.DuplicateLayer(flow, i);
      return "duplicate";
    case 11:
      if (pick(2) == 0) {
        // A place outside the block itself (moving into it is refused with a message).
        const int32_t block = p.layers.ChildCount(head) + 1, free = n + 1 - (block + 1);
        if (free <= 0) return "move group (nowhere to go)";
        int32_t to = pick(free);
        if (to >= head) to += block + 1;
        p.MoveGroup(flow, std::min(to, n), head);
        return "move group";
      }
      p.MoveLayer(flow, pick(n + 2) - 1, i);  // now and then a place beyond either end
      return "move layer";
    case 12:
      p.MergeDown(flow, i, pick(2) == 1);
      return "merge down";
    case 13:
      p.FlattenVisible(flow, pick(2) == 1);
      return "flatten";
    case 14:
      p.GroupIn(flow, i);
      return "group in";
    case 15:
      if (pick(2) == 0) {
        p.GroupIn(flow, i);
        return "group in";
      }
      p.GroupOut(flow, i);
      return "group out";
    case 16:
      switch (pick(3)) {
        case 0:
          p.DeleteGroup(flow, head);
          return "delete group";
        case 1:
          p.DissolveGroup(flow, head);
          return "dissolve group";
        default:
          p.MergeGroup(flow, head);
          return "merge group";
      }
    case 17:
      switch (pick(3)) {
        case 0:
          p.SetLayerName(i, "名前" + std::to_string(pick(5)));
          return "name";
        case 1: {
          const CLayerData& l = *p.Layer(i);
          p.SetLayerPosition(flow, i, l.viewX + pick(7) - 3, l.viewY + pick(7) - 3);
          return "position";
        }
        default:
          p.SetLayerDither(i, pick(2) == 1, uint8_t(rng()));
          return "dither";
      }
    case 18:
      switch (pick(4)) {
        case 0:
          p.InvertVisibility();
          return "invert visibility";
        case 1:
          p.ShowAll(pick(2) == 1);
          return "show all";
        case 2:
          p.ShowOnly(i);
          return "show only";
        default:
          p.SetLayerProtectAlpha(i, pick(2) == 1);
          return "protect alpha";
      }
    case 19:
      switch (pick(7)) {
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
        case 5:
          p.DeleteSelection(flow, i, p.paperColor);
          return "delete selection";
        default:
          p.RemoveOutsidePaper(flow, i);
          return "remove outside";
      }
    case 20:
      p.SetPaperColor(rng() & 0x00FFFFFF, true);
      return "paper colour";
    case 21:
      p.NewSelectionMask(pick(p.masks.Count() + 1));
      return "new mask";
    case 22: {
      const int32_t w = 1 + pick(W), h = 1 + pick(H);
      auto c = RandomChannel(rng, w, h);
      p.EditSelection(p.masks.ActiveIndex(), *c, pick(W) - w / 2, pick(H) - h / 2, CombineMode(pick(4)));
      return "edit selection";
    }
    case 23:
      p.InvertSelection(p.masks.ActiveIndex());
      return "invert selection";
    case 24:
      p.MoveSelection(p.masks.ActiveIndex(), pick(7) - 3, pick(7) - 3);
      return "move selection";
    case 25: {
      const int32_t m = p.masks.Count(), a = p.masks.ActiveIndex();
      p.CombineMasks(m > 1 ? (a + 1 + pick(m - 1)) % m : a, a, CombineMode(pick(4)));
      return "combine";
    }
    case 26:
      p.RemoveSelectionMask(pick(p.masks.Count()));
      return "remove mask";
    case 27:
      switch (pick(3)) {
        case 0:
          p.ActivateMask(pick(p.masks.Count()));
          return "activate mask";
        case 1:
          p.ClearSelection(p.masks.ActiveIndex());
          return "clear selection";
        default: {
          const int32_t x = pick(W + 6) - 3, y = pick(H + 6) - 3;
          p.SelectRect(p.masks.ActiveIndex(), {x, y, 1 + pick(W), 1 + pick(H)}, CombineMode(pick(4)));
          return "select rectangle";
        }
      }
    case 28:
      p.SelectionFromLayer(i, pick(2) == 1, pick(2) == 1);
      return "mask from layer";
    default: {
      switch (pick(4)) {
        case 0:
          p.MoveMask(p.masks.ActiveIndex(), pick(p.masks.Count()));
          return "move mask";
        case 1:
          p.RenameMask(p.masks.ActiveIndex(), "m" + std::to_string(pick(9)));
          return "rename mask";
        case 2:
          if (pick(2) == 0)
            p.SetSelectionVisible(pick(2) == 1);
          else
            p.SetSelectionEnabled(pick(2) == 1);
          return "switches";
        default:
          if (pick(3) == 0) {
            p.ResampleImage(flow, W + pick(9) - 4, H + pick(9) - 4, 1 + pick(2));
            return "resample";
          }
          if (pick(2) == 0) {
            const int32_t x = pick(W / 2), y = pick(H / 2);
            p.Crop(flow, i, true, {x, y, 1 + pick(W - x), 1 + pick(H - y)});
            return "crop";
          }
          p.ResizeCanvas(flow, W + pick(9) - 4, H + pick(9) - 4, true, pick(2) == 1, pick(9));
          return "canvas";
      }
    }
  }
}

class UndoModel : public ::testing::TestWithParam<uint32_t> {};

TEST_P(UndoModel, EveryStepMatchesItsPointInHistory) {
  PaperSettings settings;
  settings.undoMax = 50;
  TPaper paper(nullptr, settings);
  TFlowImage flow(paper);
  RecordingNotifySink notes;
  ASSERT_TRUE(paper.NewPaper("t", flow, false, false, 72, 30, 41));
  std::mt19937 rng(GetParam());
  Paint(paper, flow, 0, {3, 3, 20, 10}, 0xFF204080);
  // Four layers, the top two grouped under the second.
  for (int k = 0; k < 3; ++k) paper.NewLayer(flow, kModeNormal, 0x00FFFFFF, "");
  Paint(paper, flow, 2, {10, 5, 12, 12}, 0xC0FF0000);
  ASSERT_TRUE(paper.GroupIn(flow, 2));
  ASSERT_TRUE(paper.GroupIn(flow, 3));
  ASSERT_EQ(paper.layers.ChildCount(1), 2);
  paper.ClearUndo();

  std::vector<Snapshot> history{Take(paper)};
  std::vector<std::string> names{"start"};
  size_t at = 0;
  int32_t operations = 0;
  for (int step = 0; step < 160; ++step) {
    const uint32_t choice = rng() % 10;
    if (choice < 5 && operations < 45) {
      const int32_t before = paper.undo->UndoCount();
      const std::string name = RandomOperation(paper, flow, rng);
      const Snapshot now = Take(paper);
      const int32_t added = paper.undo->UndoCount() - before;
      if (added == 0) {
        // Refused or did nothing: nothing may have changed either.
        ASSERT_EQ(Difference(now, history[at]), "")
            << "step " << step << ": " << name << " changed the picture unrecorded";
        continue;
      }
      ASSERT_EQ(added, 1) << name;
      ++operations;
      history.resize(at + 1);
      names.resize(at + 1);
      history.push_back(now);
      names.push_back(name);
      ++at;
      ASSERT_FALSE(paper.CanRedoNow()) << name;
    } else if (choice < 8) {
      if (at == 0) {
        EXPECT_FALSE(paper.CanUndoNow());
        continue;
      }
      const std::string undone = names[at];
      ASSERT_TRUE(paper.Undo(flow).ok) << "undo of " << undone;
      --at;
      ASSERT_EQ(Difference(Take(paper), history[at]), "") << "step " << step << ": undo of " << undone;
    } else {
      if (at + 1 >= history.size()) {
        EXPECT_FALSE(paper.CanRedoNow());
        continue;
      }
      ASSERT_TRUE(paper.Redo(flow).ok) << "redo of " << names[at + 1];
      ++at;
      ASSERT_EQ(Difference(Take(paper), history[at]), "") << "step " << step << ": redo of " << names[at];
    }
    ASSERT_EQ(paper.undo->UndoCount(), int32_t(at));
  }
  while (paper.CanUndoNow()) ASSERT_TRUE(paper.Undo(flow).ok);
  EXPECT_EQ(Difference(Take(paper), history[0]), "");
  EXPECT_TRUE(Take(paper) == history[0]);
  EXPECT_TRUE(notes.warnings.empty()) << notes.warnings.front();
}

INSTANTIATE_TEST_SUITE_P(Seeds, UndoModel, ::testing::Range(1u, 17u));

// --- depth and the lists -----------------------------------------------------------------

class UndoFixture : public ::testing::Test {
 protected:
  void Make(int32_t undoMax) {
    PaperSettings s;
    s.undoMax = undoMax;
    paper = std::make_unique<TPaper>(nullptr, s);
    flow = std::make_unique<TFlowImage>(*paper);
    ASSERT_TRUE(paper->NewPaper("t", *flow, false, false, 72, 20, 20));
  }
  std::unique_ptr<TPaper> paper;
  std::unique_ptr<TFlowImage> flow;
};

TEST_F(UndoFixture, HeavyDepthAndTheSlackOfLightRecords) {
  Make(8);
  for (int k = 0; k < 8; ++k) Paint(*paper, *flow, 0, {k, k, 3, 3}, 0xFF000000u | uint32_t(k));
  for (int k = 0; k < 20; ++k) ASSERT_TRUE(paper->SetLayerVisible(0, k % 2 == 1));
  EXPECT_EQ(paper->undo->UndoCount(), 28);
  EXPECT_EQ(paper->undo->UndoList().HeavyCount(), 8);
  // A ninth paint drops the oldest paint only.
  Paint(*paper, *flow, 0, {10, 10, 3, 3}, 0xFF0000FF);
  EXPECT_EQ(paper->undo->UndoCount(), 28);
  EXPECT_EQ(paper->undo->UndoList().HeavyCount(), 8);
  // Light records beyond undoMax + 32 fall off the old end.
  for (int k = 0; k < 40; ++k) paper->SetLayerVisible(0, k % 2 == 0);
  EXPECT_EQ(paper->undo->UndoCount(), 8 + CUndoMngrEx::kSlack);
  int32_t undone = 0;
  while (paper->CanUndoNow()) {
    ASSERT_TRUE(paper->Undo(*flow).ok);
    ++undone;
  }
  EXPECT_EQ(undone, 40);
  EXPECT_EQ(paper->undo->RedoCount(), 40);
}

TEST_F(UndoFixture, LimitZeroRecordsNothingAndLoweringTheLimitTrims) {
  Make(0);
  EXPECT_FALSE(paper->undo->CanUndo());
  Paint(*paper, *flow, 0, {1, 1, 3, 3}, 0xFF000000);
  paper->NewLayer(*flow, kModeNormal, 0x00FFFFFF, "");
  paper->NewSelectionMask(1);
  EXPECT_EQ(paper->undo->UndoCount(), 0);
  EXPECT_FALSE(paper->Undo(*flow).ok);
  EXPECT_EQ(paper->Layer(0)->pixels->GetPixel(2, 2), 0xFF000000u);  // the paint happened

  Make(8);
  for (int k = 0; k < 6; ++k) Paint(*paper, *flow, 0, {k, 0, 2, 2}, 0xFF111111);
  ASSERT_TRUE(paper->SetUndoLimit(3));
  EXPECT_EQ(paper->undo->UndoList().HeavyCount(), 3);
  ASSERT_TRUE(paper->SetUndoLimit(0));
  EXPECT_EQ(paper->undo->UndoCount(), 0);
  EXPECT_FALSE(paper->undo->CanUndo());
}

TEST_F(UndoFixture, NewOperationEmptiesRedoAndFlipRecordIsTheSameObject) {
  Make(8);
  Paint(*paper, *flow, 0, {0, 0, 5, 20}, 0xFF0000FF);
  ASSERT_TRUE(paper->TransformLayer(*flow, 0, 7));
  EXPECT_EQ(paper->Layer(0)->pixels->GetPixel(19, 3), 0xFF0000FFu);
  const CUndoData* flip = paper->undo->UndoList().At(0);
  EXPECT_FALSE(flip->HoldsPixels());
  ASSERT_TRUE(paper->Undo(*flow).ok);
  EXPECT_EQ(paper->undo->RedoList().At(0), flip);
  EXPECT_EQ(paper->Layer(0)->pixels->GetPixel(0, 3), 0xFF0000FFu);
  ASSERT_TRUE(paper->Redo(*flow).ok);
  EXPECT_EQ(paper->undo->UndoList().At(0), flip);
  ASSERT_TRUE(paper->Undo(*flow).ok);
  ASSERT_TRUE(paper->Undo(*flow).ok);
  EXPECT_EQ(paper->undo->RedoCount(), 2);
  Paint(*paper, *flow, 0, {3, 3, 1, 1}, 0xFF00FF00);
  EXPECT_EQ(paper->undo->RedoCount(), 0);
  EXPECT_FALSE(paper->Redo(*flow).ok);
}

TEST_F(UndoFixture, RecordsFindTheirLayerByIdAcrossLaterUndoneOperations) {
  Make(8);
  const int32_t top = paper->NewLayer(*flow, kModeNormal, 0x00FFFFFF, "");
  const int32_t id = paper->Layer(top)->id;
  Paint(*paper, *flow, top, {2, 2, 4, 4}, 0xFFABCDEF);
  ASSERT_TRUE(paper->MoveLayer(*flow, 0, top) >= 0);  // now at the bottom
  ASSERT_TRUE(paper->DeleteLayer(*flow, paper->layers.IndexOfId(id)));
  ASSERT_TRUE(paper->Undo(*flow).ok);  // back from the delete, as a new object with the same id
  ASSERT_TRUE(paper->Undo(*flow).ok);  // moved back to the top
  EXPECT_EQ(paper->layers.IdAt(1), id);
  ASSERT_TRUE(paper->Undo(*flow).ok);  // the paint, found by id
  EXPECT_EQ(paper->Layer(1)->pixels->GetPixel(3, 3), 0x00FFFFFFu);
  ASSERT_TRUE(paper->Redo(*flow).ok);
  EXPECT_EQ(paper->Layer(1)->pixels->GetPixel(3, 3), 0xFFABCDEFu);
}

TEST_F(UndoFixture, RecordWhoseLayerIsGoneIsDroppedSilently) {
  Make(8);
  const int32_t top = paper->NewLayer(*flow, kModeNormal, 0x00FFFFFF, "");
  Paint(*paper, *flow, top, {2, 2, 4, 4}, 0xFFABCDEF);
  paper->SetLayerOpacity(top, 9);
  // The layer leaves without a record (as a replay without undo would do it).
  paper->layers.Delete(top);
  RecordingNotifySink notes;
  const int32_t before = paper->undo->UndoCount();
  EXPECT_FALSE(paper->Undo(*flow).ok);
  EXPECT_EQ(paper->undo->UndoCount(), before - 1);
  EXPECT_FALSE(paper->Undo(*flow).ok);
  EXPECT_TRUE(notes.warnings.empty());
}

TEST_F(UndoFixture, FailedStepShowsTheMessageAndClearsBothLists) {
  Make(8);
  const int32_t top = paper->NewLayer(*flow, kModeNormal, 0x00FFFFFF, "");
  paper->MoveLayer(*flow, 0, top);
  Paint(*paper, *flow, 0, {1, 1, 2, 2}, 0xFF000000);
  paper->layers.Delete(0);  // the moved layer vanishes behind undo's back
  RecordingNotifySink notes;
  EXPECT_FALSE(paper->Undo(*flow).ok);  // the paint: dropped silently
  EXPECT_FALSE(paper->Undo(*flow).ok);  // the move: its layer is not found
  ASSERT_EQ(notes.warnings.size(), 1u);
  EXPECT_EQ(notes.warnings[0], kUndoFailedText);
  EXPECT_EQ(paper->undo->UndoCount(), 0);
  EXPECT_EQ(paper->undo->RedoCount(), 0);
}

TEST(UndoLevelZero, LayersKeepTheirOwnEightSteps) {
  TPaper paper;
  paper.SetLevel(0);
  TFlowImage flow(paper);
  ASSERT_TRUE(paper.NewPaper("t", flow, false, false, 72, 10, 10));
  EXPECT_EQ(paper.undo, nullptr);
  ASSERT_NE(paper.Layer(0)->ownUndo, nullptr);
  for (int k = 0; k < 9; ++k) Paint(paper, flow, 0, {k, 0, 1, 10}, 0xFF000000u | uint32_t(k));
  EXPECT_GT(paper.MemoryUsage().undo, 0);
  EXPECT_EQ(paper.MemoryUsage().undo, paper.layers.OwnUndoMemory());
  for (int k = 8; k >= 1; --k) {
    ASSERT_TRUE(paper.UndoLayerStep(flow, 0)) << k;
    EXPECT_EQ(paper.Layer(0)->pixels->GetPixel(k, 5), 0xFFFFFFFFu);
    EXPECT_EQ(*reinterpret_cast<uint32_t*>(paper.composite.PixelAddress(k, 5)) & 0x00FFFFFF, 0x00FFFFFFu);
  }
  EXPECT_FALSE(paper.UndoLayerStep(flow, 0));  // the ninth step fell off the old end
  EXPECT_EQ(paper.Layer(0)->pixels->GetPixel(0, 5), 0xFF000000u);
  EXPECT_FALSE(paper.Undo(flow).ok);  // no paper history at level 0
  paper.ClearUndo();
  EXPECT_EQ(paper.MemoryUsage().undo, 0);
  Paint(paper, flow, 0, {2, 2, 2, 2}, 0xFF00FF00);  // the history goes on after a clear
  ASSERT_TRUE(paper.UndoLayerStep(flow, 0));
  EXPECT_EQ(paper.Layer(0)->pixels->GetPixel(2, 2), 0xFFFFFFFFu);
}

// --- memory -------------------------------------------------------------------------------------

TEST_F(UndoFixture, MemoryFollowsTheRecordsAndAFailedRecordStillPaints) {
  Make(8);
  EXPECT_EQ(paper->MemoryUsage().undo, 0);
  Paint(*paper, *flow, 0, {0, 0, 10, 10}, 0xFF000000);  // the white layer was fill-only
  const int64_t one = paper->MemoryUsage().undo;
  Paint(*paper, *flow, 0, {5, 5, 10, 10}, 0xFF0000FF);  // now pixels of a real tile are kept
  const int64_t two = paper->MemoryUsage().undo;
  EXPECT_GE(two - one, 10 * 10 * 4);
  ASSERT_TRUE(paper->Undo(*flow).ok);
  EXPECT_EQ(paper->MemoryUsage().undo, paper->undo->MemoryUsed());
  paper->ClearUndo();
  EXPECT_EQ(paper->MemoryUsage().undo, 0);

  // A record that cannot be made: the message, no record, the paint goes on.
  RecordingNotifySink notes;
  Paint(*paper, *flow, 0, {2, 2, 2, 2}, 0xFF00FF00);
  {
    ScopedAllocFailure fail;
    const TRect store{5, 5, 9, 9};
    paper->ActivateLayer(*flow, 0);
    EXPECT_FALSE(paper->BeginEdit(0, store));
  }
  FillRect(flow->work, {5, 5, 4, 4}, 0xFFFF0000);
  paper->FinishEdit(*flow, 0, true, {5, 5, 9, 9});
  ASSERT_EQ(notes.warnings.size(), 1u);
  EXPECT_EQ(notes.warnings[0], kUndoMemoryText);
  EXPECT_EQ(paper->Layer(0)->pixels->GetPixel(6, 6), 0xFFFF0000u);
  // The history cannot skip the missing step, so it is gone as a whole.
  EXPECT_EQ(paper->undo->UndoCount(), 0);
}

// --- selection records -------------------------------------------------------------------------

TEST_F(UndoFixture, MaskEditsUndoAndRedo) {
  Make(8);
  CBlockVCH square(4, 4);
  square.FillAll(255);
  const Snapshot start = Take(*paper);
  ASSERT_TRUE(paper->EditSelection(paper->masks.ActiveIndex(), square, 2, 2, CombineMode::kReplace));
  const Snapshot edited = Take(*paper);
  ASSERT_TRUE(paper->InvertSelection(paper->masks.ActiveIndex()));
  const CMaskData& m = *paper->masks.Active();
  EXPECT_EQ(m.CoverageAt(0, 0), 255);
  EXPECT_EQ(m.CoverageAt(3, 3), 0);
  const Snapshot inverted = Take(*paper);
  ASSERT_TRUE(paper->MoveSelection(paper->masks.ActiveIndex(), 2, -1));
  const Snapshot moved = Take(*paper);
  for (const Snapshot* s : {&inverted, &edited, &start}) {
    ASSERT_TRUE(paper->Undo(*flow).ok);
    EXPECT_EQ(Difference(Take(*paper), *s), "");
  }
  for (const Snapshot* s : {&edited, &inverted, &moved}) {
    ASSERT_TRUE(paper->Redo(*flow).ok);
    EXPECT_EQ(Difference(Take(*paper), *s), "");
  }
}

TEST_F(UndoFixture, RemovingMasksAndCombiningThemUndo) {
  Make(8);
  CBlockVCH square(4, 4);
  square.FillAll(200);
  ASSERT_TRUE(paper->EditSelection(paper->masks.ActiveIndex(), square, 0, 0, CombineMode::kReplace));
  const int32_t second = paper->NewSelectionMask(paper->masks.Count());
  ASSERT_GE(second, 0);
  ASSERT_TRUE(paper->EditSelection(second, square, 2, 2, CombineMode::kReplace));
  ASSERT_TRUE(paper->ActivateMask(0));
  const Snapshot two = Take(*paper);
  ASSERT_TRUE(paper->CombineMasks(second, 0, CombineMode::kAdd));  // the active mask into the second
  EXPECT_EQ(paper->masks.ActiveIndex(), second);
  for (auto [x, y, v] : {std::tuple{0, 0, 200}, {3, 3, 200}, {5, 5, 200}, {0, 5, 0}})
    EXPECT_EQ(paper->masks.At(second)->CoverageAt(x, y), v) << x << "," << y;
  const Snapshot combined = Take(*paper);
  ASSERT_TRUE(paper->RemoveSelectionMask(second));
  EXPECT_EQ(paper->masks.Count(), 1);
  EXPECT_EQ(paper->masks.ActiveIndex(), 0);
  EXPECT_FALSE(paper->RemoveSelectionMask(0));  // the only mask stays
  ASSERT_TRUE(paper->Undo(*flow).ok);
  EXPECT_EQ(Difference(Take(*paper), combined), "");
  ASSERT_TRUE(paper->Undo(*flow).ok);
  EXPECT_EQ(Difference(Take(*paper), two), "");
  ASSERT_TRUE(paper->Redo(*flow).ok);
  ASSERT_TRUE(paper->Redo(*flow).ok);
  EXPECT_EQ(paper->masks.Count(), 1);
  // Destroying the paper with records in both directions frees each mask once (the sanitizer
  // build checks).
  ASSERT_TRUE(paper->Undo(*flow).ok);
}

// --- canvas changes ---------------------------------------------------------------------------

TEST_F(UndoFixture, CanvasChangesUndoWholeAndAskWhenUndoCannotBeKept) {
  Make(8);
  Paint(*paper, *flow, 0, {1, 1, 5, 5}, 0xFF102030);
  const Snapshot start = Take(*paper);
  ASSERT_TRUE(paper->ResizeCanvas(*flow, 30, 25, true, false, 4));
  EXPECT_EQ(paper->width, 30);
  ASSERT_TRUE(paper->Crop(*flow, 0, true, {2, 2, 10, 9}));
  EXPECT_EQ(paper->width, 10);
  ASSERT_TRUE(paper->ResampleImage(*flow, 20, 18, 2));
  EXPECT_EQ(paper->height, 18);
  for (int k = 0; k < 3; ++k) ASSERT_TRUE(paper->Undo(*flow).ok);
  EXPECT_EQ(Difference(Take(*paper), start), "");

  // No memory for the undo copy: the question; cancelled, nothing changes.
  RecordingNotifySink notes;
  notes.answers = {ConfirmAnswer::Cancel, ConfirmAnswer::Ok};
  Paint(*paper, *flow, 0, {0, 0, 2, 2}, 0xFF405060);
  const Snapshot painted = Take(*paper);
  {
    ScopedAllocFailure fail;
    EXPECT_FALSE(paper->ResizeCanvas(*flow, 40, 40, true, false, 8));
  }
  ASSERT_EQ(notes.questions.size(), 1u);
  EXPECT_EQ(notes.questions[0].substr(0, notes.questions[0].find('\r')),
            "メモリ不足のためアンドゥは実行できませんがよろしいですか?");
  EXPECT_EQ(Difference(Take(*paper), painted), "");
  EXPECT_EQ(paper->undo->UndoCount(), 2);
  // Accepted: the change happens in place (here only the view can move) and undo is gone.
  {
    ScopedAllocFailure fail;
    EXPECT_TRUE(paper->ResizeCanvas(*flow, 40, 40, true, false, 8));
  }
  EXPECT_EQ(notes.questions.size(), 2u);
  EXPECT_EQ(paper->width, 40);
  EXPECT_EQ(paper->undo->UndoCount(), 0);
  const CLayerData& l = *paper->Layer(0);
  EXPECT_EQ(l.pixels->GetPixel(1, 1), 0xFF405060u);  // nothing lost
  EXPECT_EQ(l.viewX, -20);                           // the old picture sits at the bottom right
  EXPECT_EQ(l.viewY, -20);
}

// --- the stream follows the lists -------------------------------------------------------------

struct StreamJournal : IPaperJournal {
  int operations = 0, clears = 0, redoClears = 0, drops = 0, before = 0, after = 0;
  bool resizeFails = false;
  void Operation(PaperOp, int32_t, std::span<const int32_t>) override { ++operations; }
  void BeforeUndoStep(bool, int32_t, int32_t) override { ++before; }
  void AfterUndoStep(bool) override { ++after; }
  void DroppedUndoStep(bool) override { ++drops; }
  bool ResizeUndoWindow(int32_t) override { return !resizeFails; }
  void ClearUndoWindow() override { ++clears; }
  void ClearRedoWindow() override { ++redoClears; }
};

TEST_F(UndoFixture, TheStreamWindowFollowsEveryLossOfHistory) {
  Make(8);
  StreamJournal j;
  paper->SetJournal(&j);
  RecordingNotifySink notes;
  // A record that cannot be made clears the lists and the stream window together.
  Paint(*paper, *flow, 0, {0, 0, 3, 3}, 0x80000000);
  {
    ScopedAllocFailure fail;
    paper->FillAlpha(*flow, 0);
  }
  EXPECT_EQ(j.clears, 1);
  EXPECT_EQ(paper->undo->UndoCount(), 0);
  EXPECT_EQ(paper->Layer(0)->pixels->GetPixel(1, 1) >> 24, 255u);  // the operation happened
  ASSERT_FALSE(notes.warnings.empty());
  EXPECT_EQ(notes.warnings.back(), kUndoMemoryText);

  // A dropped record lets the stream drop its group; a failed step clears both.
  const int32_t top = paper->NewLayer(*flow, kModeNormal, 0x00FFFFFF, "");
  paper->SetLayerOpacity(top, 50);
  paper->layers.Delete(top);
  EXPECT_FALSE(paper->Undo(*flow).ok);
  EXPECT_EQ(j.drops, 1);
  EXPECT_FALSE(paper->Undo(*flow).ok);  // the add cannot find its layer
  EXPECT_EQ(j.clears, 2);
  EXPECT_EQ(j.after, 0);
  EXPECT_EQ(j.before, 2);

  // Steps that work are mirrored after the fact.
  Paint(*paper, *flow, 0, {0, 0, 2, 2}, 0xFF0000FF);
  ASSERT_TRUE(paper->Undo(*flow).ok);
  EXPECT_EQ(j.after, 1);
  paper->ClearRedo();
  EXPECT_EQ(paper->undo->RedoCount(), 0);
  EXPECT_EQ(j.redoClears, 1);

  // The edit menu's clear asks first.
  Paint(*paper, *flow, 0, {0, 0, 2, 2}, 0xFF00FF00);
  notes.answers = {ConfirmAnswer::No, ConfirmAnswer::Yes};
  EXPECT_FALSE(paper->ClearUndoAsked());
  EXPECT_EQ(paper->undo->UndoCount(), 1);
  EXPECT_TRUE(paper->ClearUndoAsked());
  EXPECT_EQ(paper->undo->UndoCount(), 0);
  EXPECT_EQ(notes.questions.back(), kUndoClearQuestion);
  paper->SetJournal(nullptr);
}

TEST_F(UndoFixture, ALimitTheStreamCannotFollowChangesNothing) {
  Make(8);
  StreamJournal j;
  j.resizeFails = true;
  paper->SetJournal(&j);
  RecordingNotifySink notes;
  for (int k = 0; k < 5; ++k) Paint(*paper, *flow, 0, {k, 0, 1, 1}, 0xFF000000);
  EXPECT_FALSE(paper->SetUndoLimit(2));
  ASSERT_EQ(notes.warnings.size(), 1u);
  EXPECT_EQ(notes.warnings[0], kUndoLimitFailedText);
  EXPECT_EQ(paper->undo->UndoLimit(), 8);
  EXPECT_EQ(paper->undo->UndoCount(), 5);
  paper->SetJournal(nullptr);
}

TEST_F(UndoFixture, NoOpMovesAndSettingsAreNeitherRecordedNorJournaled) {
  Make(8);
  StreamJournal j;
  paper->SetJournal(&j);
  paper->NewLayer(*flow, kModeNormal, 0x00FFFFFF, "");
  const int32_t ops = j.operations, records = paper->undo->UndoCount();
  EXPECT_LT(paper->MoveLayer(*flow, 5, 1), 0);   // clamps onto itself
  EXPECT_LT(paper->MoveLayer(*flow, -3, 0), 0);  // likewise at the bottom
  EXPECT_FALSE(paper->ApplySettings(*flow, 1, paper->SettingsOf(1)));
  EXPECT_EQ(j.operations, ops);
  EXPECT_EQ(paper->undo->UndoCount(), records);
  EXPECT_GE(paper->MoveLayer(*flow, 0, 1), 0);
  ASSERT_TRUE(paper->Undo(*flow).ok);
  paper->SetJournal(nullptr);
}

TEST_F(UndoFixture, AFailedTransformChangesNothingAndRecordsNothing) {
  Make(8);
  Paint(*paper, *flow, 0, {0, 0, 3, 20}, 0xFF0000FF);
  const Snapshot before = Take(*paper);
  const int32_t records = paper->undo->UndoCount();
  RecordingNotifySink notes;
  for (int32_t kind : {7, 8, 10}) {
    ScopedAllocFailure fail;
    EXPECT_FALSE(paper->TransformLayer(*flow, 0, kind)) << kind;
  }
  {
    ScopedAllocFailure fail;
    EXPECT_FALSE(paper->TransformVisible(*flow, 12));
  }
  EXPECT_EQ(Difference(Take(*paper), before), "");
  EXPECT_EQ(paper->undo->UndoCount(), records);
  EXPECT_FALSE(notes.warnings.empty());
}

struct ReplayHost : IPaperHost {
  bool replaying = false, modified = false;
  bool IsReplaying() const override { return replaying; }
  bool IsModified() const override { return modified; }
};

TEST(UndoCanvas, ReplayRunsInPlaceAndTheQuestionMentionsUnsavedWork) {
  ReplayHost host;
  TPaper paper(&host);
  TFlowImage flow(paper);
  ASSERT_TRUE(paper.NewPaper("t", flow, false, false, 72, 12, 12));
  RecordingNotifySink notes;
  host.replaying = true;
  ASSERT_TRUE(paper.ResizeCanvas(flow, 20, 20, true, false, 0));
  ASSERT_TRUE(paper.ResampleImage(flow, 10, 10, 2));
  ASSERT_TRUE(paper.Crop(flow, 0, true, {1, 1, 5, 5}));
  EXPECT_EQ(paper.undo->UndoCount(), 0);
  EXPECT_TRUE(notes.questions.empty());
  {
    ScopedAllocFailure fail;  // even without memory for a copy: no question while replaying
    paper.ResampleImage(flow, 8, 8, 1);
  }
  EXPECT_TRUE(notes.questions.empty());
  EXPECT_EQ(paper.width, 8);

  host.replaying = false;
  host.modified = true;
  notes.answers = {ConfirmAnswer::Cancel};
  {
    ScopedAllocFailure fail;
    EXPECT_FALSE(paper.ResampleImage(flow, 16, 16, 2));
  }
  ASSERT_EQ(notes.questions.size(), 1u);
  EXPECT_EQ(notes.questions[0],
            "メモリ不足のためアンドゥは実行できませんがよろしいですか?\r* "
            "実行前にファイルを保存しておくことをおすすめします *");
  EXPECT_EQ(paper.width, 8);
}

TEST_F(UndoFixture, ACropThatCannotBeMadeSaysSoAndKeepsThePicture) {
  Make(0);  // no undo: the crop is made in place at once
  Paint(*paper, *flow, 0, {2, 2, 4, 4}, 0xFF123456);
  const Snapshot before = Take(*paper);
  RecordingNotifySink notes;
  {
    ScopedAllocFailure fail;
    EXPECT_FALSE(paper->Crop(*flow, 0, true, {1, 1, 6, 6}));
  }
  ASSERT_FALSE(notes.warnings.empty());
  EXPECT_EQ(notes.warnings.back(), "メモリ不足により切り抜きの実行に失敗しました！");
  EXPECT_EQ(Difference(Take(*paper), before), "");
}

TEST_F(UndoFixture, SelectionRecordsThatNoLongerFindTheirMaskFail) {
  Make(8);
  CBlockVCH square(3, 3);
  square.FillAll(255);
  ASSERT_TRUE(paper->EditSelection(0, square, 1, 1, CombineMode::kReplace));
  ASSERT_TRUE(paper->InvertSelection(0));
  // The mask is replaced behind the history's back (a new serial).
  ASSERT_NE(paper->masks.Replace(0, std::make_unique<CMaskData>()), nullptr);
  RecordingNotifySink notes;
  EXPECT_FALSE(paper->Undo(*flow).ok);
  ASSERT_EQ(notes.warnings.size(), 1u);
  EXPECT_EQ(notes.warnings[0], kUndoFailedText);
  EXPECT_EQ(paper->undo->UndoCount() + paper->undo->RedoCount(), 0);
}

TEST_F(UndoFixture, AMaskFromALayerStillUndoesAfterAnUndoneInvertGrewIt) {
  Make(8);
  paper->Layer(0)->pixels->SetPixel(3, 3, 0x80000000);
  const int32_t at = paper->SelectionFromLayer(0, false, false);
  ASSERT_GE(at, 0);
  ASSERT_TRUE(paper->MoveSelection(at, 2, 2));  // now it no longer covers the paper
  ASSERT_TRUE(paper->InvertSelection(at));      // grows it: a new mask object stands in
  ASSERT_TRUE(paper->Undo(*flow).ok);
  ASSERT_TRUE(paper->Undo(*flow).ok);
  ASSERT_TRUE(paper->Undo(*flow).ok);  // the mask from the layer leaves again
  EXPECT_EQ(paper->masks.Count(), 1);
}

TEST_F(UndoFixture, TheSettingsDialogRecordsEachChangeOnItsOwn) {
  Make(20);
  StreamJournal j;
  paper->SetJournal(&j);
  const Snapshot start = Take(*paper);
  TPaper::LayerSettings s = paper->SettingsOf(0);
  s.name = "背景";
  s.opacityPercent = 50;
  s.mode = kModeMultiply;
  s.viewX = 2;
  s.ditherOn = true;
  ASSERT_TRUE(paper->ApplySettings(*flow, 0, s));
  // Name, opacity, mode, position, dither: five records and five events.
  EXPECT_EQ(paper->undo->UndoCount(), 5);
  EXPECT_EQ(j.operations, 5);
  const CLayerData& l = *paper->Layer(0);
  EXPECT_EQ(l.name, "背景");
  EXPECT_EQ(l.opacity, ByteOfPercent(50));
  EXPECT_EQ(l.mode, kModeMultiply);
  EXPECT_EQ(l.viewX, 2);
  EXPECT_EQ(l.ditherOn, 1);
  EXPECT_FALSE(paper->ApplySettings(*flow, 0, s));  // nothing left to change
  while (paper->CanUndoNow()) ASSERT_TRUE(paper->Undo(*flow).ok);
  EXPECT_EQ(Difference(Take(*paper), start), "");
  paper->SetJournal(nullptr);
}

}  // namespace
}  // namespace tintara
