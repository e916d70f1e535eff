#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/Layer.h"
#include "platform/Memory.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

// A manager with one layer per level, named A, B, C, ... from the bottom.
std::unique_ptr<CLayerMngr> WithLevels(const std::vector<int32_t>& levels) {
  auto m = std::make_unique<CLayerMngr>();
  m->SetPaperSize(8, 8);
  for (size_t i = 0; i < levels.size(); ++i) {
    const int32_t at = m->Add(int32_t(i), 8, true, 255, false, kModeNormal, 8);
    EXPECT_EQ(at, int32_t(i));
    m->At(at)->name = std::string(1, char('A' + i));
    m->At(at)->SetGroupLevel(levels[i]);
  }
  return m;
}

std::string Order(const CLayerMngr& m) {
  std::string s;
  for (int32_t i = 0; i < m.Count(); ++i) s += m.At(i)->name + std::to_string(m.At(i)->groupLevel) + " ";
  return s;
}

TEST(LayerList, AddInsertDeleteAndActive) {
  RecordingNotifySink sink;
  CLayerMngr m;
  m.SetPaperSize(100, 50);
  EXPECT_EQ(m.ActiveIndex(), -1);
  EXPECT_EQ(m.Add(-1, 100, true, 255, false, kModeNormal, 50), -1);
  ASSERT_EQ(sink.warnings.size(), 1u);
  EXPECT_EQ(sink.warnings[0], "不正なレイヤインデックスです!");
  EXPECT_EQ(m.Add(0, 100, true, 255, false, kModeNormal, 50), 0);
  EXPECT_EQ(m.ActiveIndex(), 0);
  EXPECT_EQ(m.Add(1, 100, false, 128, false, kModeMultiply, 50), 1);  // index = count appends
  EXPECT_EQ(m.Add(7, 100, true, 255, false, kModeNormal, 50), 2);     // beyond the end appends
  EXPECT_EQ(m.Add(0, 100, true, 255, false, kModeNormal, 50), 0);     // a valid index inserts
  EXPECT_EQ(m.Count(), 4);
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(m.At(i)->index, i);
  EXPECT_EQ(m.At(2)->opacity, 128);
  EXPECT_EQ(m.At(2)->visible, 0);
  EXPECT_EQ(m.At(2)->mode, kModeMultiply);
  EXPECT_EQ(m.At(2)->viewWidth, 100);
  // Ids are unique and found again after moves.
  const int32_t id = m.IdAt(3);
  EXPECT_EQ(m.Move(0, 3), 0);
  EXPECT_EQ(m.IndexOfId(id), 0);
  EXPECT_EQ(m.IndexOfId(-5), -1);
  EXPECT_EQ(m.IdAt(9), -1);
  EXPECT_EQ(m.Move(2, 2), -1);
  EXPECT_EQ(m.Move(99, 0), 3);  // clamped into the list
  m.SetActive(3);
  m.Delete(3);
  EXPECT_EQ(m.ActiveIndex(), 2);  // the active top layer moves to the new top
  m.Delete(0);
  m.Delete(0);
  m.Delete(0);
  EXPECT_EQ(m.Count(), 0);
  EXPECT_EQ(m.ActiveIndex(), -1);
  // Inserting into an empty list makes it active (the loaders rely on it).
  auto layer = std::make_unique<CLayerData>(0, false);
  ASSERT_TRUE(layer->CreatePixels(10, 10, kModeNormal));
  EXPECT_EQ(m.Insert(5, std::move(layer)), 0);
  EXPECT_EQ(m.ActiveIndex(), 0);
  EXPECT_EQ(m.Insert(-2, std::make_unique<CLayerData>(0, false)), -1);
  EXPECT_EQ(sink.warnings.size(), 2u);
}

TEST(LayerList, FailedPixelCreationReportsAndAddsNothing) {
  RecordingNotifySink sink;
  CLayerMngr m;
  EXPECT_EQ(m.Add(0, 0, true, 255, false, kModeNormal, 10), -1);
  ASSERT_EQ(sink.warnings.size(), 1u);
  EXPECT_EQ(sink.warnings[0], "レイヤの初期化に失敗しました!");
  EXPECT_EQ(m.Count(), 0);
}

TEST(LayerList, DefaultNamesAndVisibilityHelpers) {
  auto m = WithLevels({0, 0, 0, 0});
  EXPECT_EQ(m->DefaultName(1), "レイヤ1");
  m->NameLayer(2, 3);
  EXPECT_EQ(m->At(2)->name, "レイヤ3");
  EXPECT_EQ(m->NameCounter(), 3);
  m->CopyName(0, 2);
  EXPECT_EQ(m->At(0)->name, "レイヤ3");
  EXPECT_EQ(m->VisibleCount(), 4);
  m->ShowOnly(1);
  EXPECT_EQ(m->VisibilitySnapshot(), (std::vector<uint8_t>{0, 1, 0, 0}));
  EXPECT_EQ(m->FirstVisible(), 1);
  m->ToggleAllVisible();
  EXPECT_EQ(m->VisibilitySnapshot(), (std::vector<uint8_t>{1, 0, 1, 1}));
  m->SetRangeVisible(2, 10, false);
  EXPECT_EQ(m->VisibilitySnapshot(), (std::vector<uint8_t>{1, 0, 0, 0}));
  m->SetAllVisible(false);
  EXPECT_EQ(m->FirstVisible(), -1);
  EXPECT_EQ(m->VisibleCount(), 0);
}

TEST(Layer, CreationThumbnailsAndLevels) {
  CLayerData wide(0, false);
  ASSERT_TRUE(wide.CreatePixels(100, 50, kModeOverlay));
  EXPECT_EQ(wide.thumbnail->Width(), 33);
  EXPECT_EQ(wide.thumbnail->Height(), 16);
  EXPECT_EQ(wide.MemoryUsed(), 33 * 16 * 4);  // neutral fills cost nothing
  EXPECT_EQ(wide.pixels->GetPixel(50, 20), 0x007F7F7Fu);
  EXPECT_EQ(wide.visible, 1);
  CLayerData tall(0, false);
  ASSERT_TRUE(tall.CreatePixels(1, 1000, kModeNormal));
  EXPECT_EQ(tall.thumbnail->Width(), 1);
  EXPECT_EQ(tall.thumbnail->Height(), 33);
  tall.viewWidth = tall.viewHeight = 0;  // a zero view never divides
  tall.FitThumbnail(33, 33);
  EXPECT_EQ(tall.thumbnail->Width(), 33);
  tall.SetGroupLevel(300);
  EXPECT_EQ(tall.groupLevel, 250);
  tall.SetGroupLevel(-4);
  EXPECT_EQ(tall.groupLevel, 0);
  CLayerData other(0, false);
  EXPECT_NE(other.id, tall.id);
}

TEST(Layer, FailedCreatePixelsKeepsTheOldStore) {
  // Whichever allocation fails (tile table, thumbnail pixels, thumbnail rows), the old
  // layer is left exactly as it was.
  for (long allowed = 0; allowed < 3; ++allowed) {
    CLayerData l(0, false);
    ASSERT_TRUE(l.CreatePixels(40, 40, kModeNormal));
    l.pixels->SetPixel(3, 3, 0xFF123456);
    const CBlockVMTC* before = l.pixels.get();
    {
      ScopedAllocFailure fail(allowed);
      EXPECT_FALSE(l.CreatePixels(100, 100, kModeMultiply)) << allowed;
    }
    EXPECT_EQ(l.pixels.get(), before) << allowed;
    EXPECT_EQ(l.pixels->GetPixel(3, 3), 0xFF123456u);
    EXPECT_EQ(l.mode, kModeNormal);
    EXPECT_EQ(l.viewWidth, 40);
  }
}

TEST(Layer, ViewThumbnailAndAlphaOperations) {
  CLayerData l(0, false);
  ASSERT_TRUE(l.CreatePixels(64, 64, kModeNormal));
  l.viewWidth = l.viewHeight = 32;
  EXPECT_TRUE(l.IsLargerThanPaper());
  EXPECT_TRUE(l.ShiftView(-32, -32));  // view moves to (32, 32)
  EXPECT_EQ(l.Bounds(), (SPixRect{-32, -32, 64, 64}));
  EXPECT_FALSE(l.ShiftView(-1, 0));
  EXPECT_FALSE(l.ViewInStore(true));
  EXPECT_EQ(l.viewX, 32);
  l.SetOpaque();
  EXPECT_EQ(l.pixels->GetPixel(0, 0), 0xFFFFFFFFu);
  l.SetAlpha(0x40);
  l.mode = kModeAdd;
  l.SetNeutral();
  EXPECT_EQ(l.pixels->GetPixel(10, 10), 0x40000000u);
  EXPECT_EQ(l.pixels->MemoryUsed(), 0);
  l.pixels->MaskedSet({32, 32, 32, 32}, 0xFFFFFFFF, 0xFF0000FF);
  l.FitThumbnail(33, 33);
  l.RenderThumbnail();
  EXPECT_EQ(*l.thumbnail->Pixel(20, 20), 0xFF0000FFu);
  l.ClearThumbnail(true);
  EXPECT_EQ(*l.thumbnail->Pixel(20, 20), 0x00000000u);
  l.RenderThumbnail({0, 0, 4, 4});  // only the corner is re-rendered
  EXPECT_EQ(*l.thumbnail->Pixel(0, 0), 0xFF0000FFu);
  EXPECT_EQ(*l.thumbnail->Pixel(20, 20), 0x00000000u);
}

TEST(Layer, CopiesAndResizedCopy) {
  CLayerData a(0, false);
  ASSERT_TRUE(a.CreatePixels(20, 20, kModeScreen));
  a.name = "a";
  a.opacity = 77;
  a.groupLevel = 2;
  a.ditherOn = 1;
  a.pixels->SetPixel(1, 1, 0xFF00FF00);
  CLayerData b(0, false);
  ASSERT_TRUE(b.CreatePixelsLike(a));
  EXPECT_EQ(b.pixels->GetPixel(1, 1), 0xFF00FF00u);
  EXPECT_EQ(b.name, "a");
  EXPECT_EQ(b.opacity, 77);
  EXPECT_EQ(b.groupLevel, 2);
  EXPECT_EQ(b.mode, kModeScreen);
  EXPECT_EQ(b.ditherOn, 1);
  a.viewX = 3;
  auto big = a.ResizedCopy({30, 25}, {5, 2});
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->pixels->Width(), 30);
  EXPECT_EQ(big->pixels->GetPixel(6, 3), 0xFF00FF00u);
  EXPECT_EQ(big->pixels->GetPixel(0, 0), NeutralColor(kModeScreen));
  EXPECT_EQ(big->viewX, 8);
  EXPECT_EQ(big->viewY, 2);
  EXPECT_EQ(big->viewWidth, 20);
  EXPECT_EQ(big->mode, kModeScreen);
}

struct GroupCase {
  std::vector<int32_t> levels;
  std::vector<int32_t> children;
  std::vector<bool> groupIn, groupOut, mergeDown;
};

// Worked out from the rules: children are the run directly above with a higher level;
// grouping in needs the layer below at the same or a deeper level and, when a shallower
// layer lies below, a deeper one between them.
const GroupCase kGroupCases[] = {
    {{0, 1, 1, 2, 0}, {3, 0, 1, 0, 0}, {0, 0, 1, 0, 1}, {0, 1, 1, 1, 0}, {0, 1, 0, 1, 0}},
    {{0, 0, 0}, {0, 0, 0}, {0, 1, 1}, {0, 0, 0}, {0, 1, 1}},
    {{0, 1, 2, 3}, {3, 2, 1, 0}, {0, 0, 0, 0}, {0, 1, 1, 1}, {0, 0, 0, 1}},
    {{249, 249}, {0, 0}, {0, 0}, {0, 1}, {0, 1}},
    {{1, 0, 2}, {0, 1, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}},
};

TEST(LayerGroups, LevelsDecideChildrenGroupingAndMergeDown) {
  for (const auto& c : kGroupCases) {
    auto m = WithLevels(c.levels);
    for (int32_t i = 0; i < m->Count(); ++i) {
      EXPECT_EQ(m->ChildCount(i), c.children[size_t(i)]) << Order(*m) << " i=" << i;
      EXPECT_EQ(m->CanGroupIn(i), c.groupIn[size_t(i)]) << Order(*m) << " i=" << i;
      EXPECT_EQ(m->CanGroupOut(i), c.groupOut[size_t(i)]) << Order(*m) << " i=" << i;
      EXPECT_EQ(m->CanMergeDown(i), c.mergeDown[size_t(i)]) << Order(*m) << " i=" << i;
    }
    EXPECT_EQ(m->ChildCount(-1), -1);
    EXPECT_EQ(m->ChildCount(m->Count()), -1);
  }
}

TEST(LayerGroups, GroupInAndOutMoveChildrenAlong) {
  auto m = WithLevels({0, 0, 1, 0});
  ASSERT_TRUE(m->GroupIn(1));  // B and its child C go one level deeper
  EXPECT_EQ(Order(*m), "A0 B1 C2 D0 ");
  ASSERT_TRUE(m->GroupOut(1));
  EXPECT_EQ(Order(*m), "A0 B0 C1 D0 ");
  EXPECT_FALSE(m->GroupOut(0));
  EXPECT_EQ(m->MaxLevel(), 1);
  const CDynArray& levels = m->Levels();
  ASSERT_EQ(levels.Count(), 4);
  EXPECT_EQ(levels.Data()[2], 1);
}

TEST(LayerGroups, MoveBlockCarriesChildrenAndAdjustsLevels) {
  struct Case {
    std::vector<int32_t> levels;
    int32_t to, from;
    int32_t result;
    const char* order;
  };
  const Case kCases[] = {
      {{0, 1, 1, 0, 0}, 5, 0, 2, "D0 E0 A0 B1 C1 "},  // up to the top with two children
      {{0, 0, 0, 1, 1}, 0, 2, 0, "C0 D1 E1 A0 B0 "},  // down to the bottom
      {{0, 1, 0}, 1, 2, 1, "A0 C1 B1 "},              // into A's group: one level deeper
      {{0, 0, 1, 0}, 0, 3, 0, "D0 A0 B0 C1 "},
      {{0, 0, 1, 0}, 3, 0, 2, "B0 C1 A1 D0 "},  // up under B's group: below C, one level deeper
  };
  for (const auto& c : kCases) {
    auto m = WithLevels(c.levels);
    const int32_t n = m->ChildCount(c.from) + 1;
    EXPECT_EQ(m->MoveBlock(c.to, c.from, n), c.result) << c.order;
    EXPECT_EQ(Order(*m), c.order);
    for (int32_t i = 0; i < m->Count(); ++i) EXPECT_EQ(m->At(i)->index, i);
  }
  RecordingNotifySink sink;
  auto m = WithLevels({0, 1, 1, 0});
  EXPECT_EQ(m->MoveBlock(2, 0, 3), -1);  // into its own block
  EXPECT_EQ(m->MoveBlock(3, 0, 3), -1);  // right after itself
  EXPECT_EQ(m->MoveBlock(4, 0, 1), -1);  // without its children
  EXPECT_EQ(m->MoveBlock(9, 3, 1), -1);
  EXPECT_EQ(Order(*m), "A0 B1 C1 D0 ");
  ASSERT_EQ(sink.warnings.size(), 4u);
  EXPECT_EQ(sink.warnings[0], "レイヤ移動に失敗しました！");
}

// Paper 10 x 10; the lower layer covers the paper, the upper one reaches 5 to the left.
std::unique_ptr<CLayerMngr> MergePair(int32_t lowerMode, int32_t upperMode) {
  auto m = std::make_unique<CLayerMngr>();
  m->SetPaperSize(10, 10);
  m->Add(0, 10, true, 255, false, lowerMode, 10);
  m->Add(1, 20, true, 255, false, upperMode, 10);
  m->At(1)->viewX = 5;
  return m;
}

TEST(LayerMerge, ExtendedUpperLayerEnlargesTheLowerStore) {
  auto m = MergePair(kModeNormal, kModeNormal);
  CLayerData& L = *m->At(0);
  L.name = "lower";
  L.pixels->SetPixel(9, 9, 0xFF0000FF);
  m->At(1)->pixels->SetPixel(0, 0, 0xFFFF0000);   // paper (-5, 0)
  m->At(1)->pixels->SetPixel(19, 0, 0x80FF0000);  // paper (14, 0)
  const int32_t id = L.id;
  std::unique_ptr<CLayerData> old;
  ASSERT_TRUE(m->Merge(0, 1, true, 0, &old));
  ASSERT_NE(old, nullptr);  // handed back for undo
  const CLayerData& M = *m->At(0);
  EXPECT_EQ(M.id, id);
  EXPECT_EQ(M.name, "lower");
  EXPECT_EQ(M.pixels->Width(), 20);
  EXPECT_EQ(M.pixels->Height(), 10);
  EXPECT_EQ(M.viewX, 5);
  EXPECT_EQ(M.viewWidth, 10);
  EXPECT_EQ(M.pixels->GetPixel(0, 0), 0xFFFF0000u);   // nothing cropped
  EXPECT_EQ(M.pixels->GetPixel(14, 9), 0xFF0000FFu);  // the lower pixel moved with the store
  EXPECT_EQ(M.pixels->GetPixel(19, 0), 0x80FF0000u);  // over transparent: the source as it is
  EXPECT_EQ(M.opacity, 255);
  EXPECT_EQ(m->Count(), 2);  // the upper layer stays; the caller removes it
}

TEST(LayerMerge, OpacitiesAndFillOnlyMerges) {
  auto m = std::make_unique<CLayerMngr>();  // two layers of the paper's size
  m->SetPaperSize(10, 10);
  m->Add(0, 10, true, 255, false, kModeNormal, 10);
  m->Add(1, 10, true, 255, false, kModeNormal, 10);
  CLayerData& L = *m->At(0);
  L.pixels->MaskedSet(L.pixels->Bounds(), 0xFFFFFFFF, 0xFF000000);
  L.opacity = 128;
  m->At(1)->pixels->FillAll(0x00FFFFFF);  // transparent
  ASSERT_TRUE(m->Merge(0, 1, false, 0));
  // The lower alpha took its opacity everywhere, fills included, without memory.
  EXPECT_EQ(m->At(0)->pixels->GetPixel(3, 3), 0x80000000u);
  EXPECT_EQ(m->At(0)->pixels->MemoryUsed(), 0);
  EXPECT_EQ(m->At(0)->opacity, 255);

  // Transparent onto transparent keeps alpha 0 and the colours.
  auto t = MergePair(kModeScreen, kModeHue);
  t->At(1)->viewX = 0;
  ASSERT_TRUE(t->Merge(0, 1, false, 1));
  EXPECT_EQ(t->At(0)->pixels->GetPixel(1, 1), NeutralColor(kModeScreen));
}

TEST(LayerMerge, ScreenIntoSubtractInvertsAndSubtractIntoSubtractDoesNot) {
  const uint32_t kLower = 0xC0204080, kUpper = 0x9010E0F0;
  for (uint32_t option : {1u, 2u, 3u}) {
    auto m = MergePair(kModeSubtract, kModeScreen);
    m->At(1)->viewX = 0;
    m->At(0)->pixels->SetPixel(2, 2, kLower);
    m->At(1)->pixels->SetPixel(2, 2, kUpper);
    ASSERT_TRUE(m->Merge(0, 1, false, option));
    MergeParam p;
    ChooseLayerMerge(kModeSubtract, kModeScreen, option, p);
    uint32_t expected = kLower;
    GenericMerge(&expected, kUpper, 255, &p);
    EXPECT_EQ(m->At(0)->pixels->GetPixel(2, 2), expected ^ 0x00FFFFFFu) << option;
    // Untouched neutral areas are inverted too.
    EXPECT_EQ(m->At(0)->pixels->GetPixel(7, 7) & 0x00FFFFFFu, 0x00FFFFFFu) << option;
  }
  auto s = MergePair(kModeSubtract, kModeSubtract);
  s->At(1)->viewX = 0;
  s->At(0)->pixels->SetPixel(2, 2, kLower);
  s->At(1)->pixels->SetPixel(2, 2, kUpper);
  ASSERT_TRUE(s->Merge(0, 1, false, 1));
  uint32_t expected = kLower;
  MergeAddSubtract(&expected, kUpper, 255, nullptr);
  EXPECT_EQ(s->At(0)->pixels->GetPixel(2, 2), expected);
}

TEST(LayerMerge, OptionsAttributesAndFailures) {
  auto m = MergePair(kModeNormal, kModeMultiply);
  CLayerData* L = m->At(0);
  L->groupLevel = 1;
  L->ditherOn = 1;
  L->opacity = 200;
  const CLayerData* before = L;
  EXPECT_FALSE(m->Merge(0, 1, false, 4));  // unknown option: nothing happens
  EXPECT_EQ(m->At(0), before);
  EXPECT_FALSE(m->Merge(0, 0, false, 0));
  ASSERT_TRUE(m->Merge(0, 1, false, 0x20000));  // keeps every attribute
  EXPECT_EQ(m->At(0)->groupLevel, 1);
  EXPECT_EQ(m->At(0)->ditherOn, 1);
  auto n = MergePair(kModeNormal, kModeMultiply);
  n->At(0)->groupLevel = 1;
  n->At(0)->ditherOn = 1;
  ASSERT_TRUE(n->Merge(0, 1, false, 0));  // only name and opacity
  EXPECT_EQ(n->At(0)->groupLevel, 0);
  EXPECT_EQ(n->At(0)->ditherOn, 0);

  // A grouped upper layer carries its parent's opacity while merging, then gets its own back.
  auto g = MergePair(kModeNormal, kModeNormal);
  g->At(1)->viewX = 0;
  g->At(1)->groupLevel = 1;
  g->At(0)->opacity = 128;
  g->At(1)->opacity = 255;
  g->At(1)->pixels->SetPixel(0, 0, 0xFFFFFFFF);
  g->At(0)->pixels->SetPixel(0, 0, 0xFF000000);
  ASSERT_TRUE(g->Merge(0, 1, false, 0));
  EXPECT_EQ(g->At(1)->opacity, 255);
  uint32_t expected = 0x80000000;  // lower alpha 255 scaled by 128
  MergeNormal(&expected, 0xFFFFFFFF, Mul8(255, 128), nullptr);
  EXPECT_EQ(g->At(0)->pixels->GetPixel(0, 0), expected);

  // Tile memory that runs out in the middle of a merge leaves the list as it was.
  {
    RecordingNotifySink quiet;
    auto t = MergePair(kModeNormal, kModeNormal);
    t->At(1)->viewX = 0;
    t->At(1)->pixels->SetPixel(15, 5, 0xFF00FF00);
    const CLayerData* lower = t->At(0);
    ScopedAllocFailure fail(4);  // the copy of the lower layer, not the merged tiles
    EXPECT_FALSE(t->Merge(0, 1, false, 0));
    EXPECT_EQ(t->At(0), lower);
    EXPECT_EQ(t->At(0)->pixels->Width(), 10);
  }
  // A stored mode byte above 21 blends as 21 but is kept as it was.
  {
    auto b = MergePair(kModeNormal, kModeNormal);
    b->At(1)->viewX = 0;
    b->At(1)->mode = 40;
    EXPECT_EQ(b->At(1)->Mode(), kModePinLight);
    b->At(0)->pixels->SetPixel(1, 1, 0xFF808080);
    b->At(1)->pixels->SetPixel(1, 1, 0xFF102030);
    ASSERT_TRUE(b->Merge(0, 1, false, 0));
    uint32_t expected = 0xFF808080;
    MergeKeepAlpha(kModePinLight)(&expected, 0xFF102030, 255);
    EXPECT_EQ(b->At(0)->pixels->GetPixel(1, 1), expected);
    EXPECT_EQ(b->At(1)->mode, 40);
  }

  RecordingNotifySink sink;
  auto f = MergePair(kModeNormal, kModeNormal);
  {
    ScopedAllocFailure fail(0);
    EXPECT_FALSE(f->Merge(0, 1, false, 0));
  }
  ASSERT_EQ(sink.warnings.size(), 1u);
  EXPECT_EQ(sink.warnings[0], "レイヤのサイズ変更失敗により、レイヤ結合ができませんでした！");
  EXPECT_EQ(f->At(0)->pixels->Width(), 10);
}

TEST(LayerList, ReplaceExchangeDetachAndClear) {
  auto a = WithLevels({0, 0});
  auto b = WithLevels({0});
  b->At(0)->name = "X";
  ASSERT_TRUE(a->Exchange(1, *b, 0));
  EXPECT_EQ(a->At(1)->name, "X");
  EXPECT_EQ(b->At(0)->name, "B");
  EXPECT_EQ(b->At(0)->index, 0);
  auto fresh = std::make_unique<CLayerData>(5, false);
  fresh->name = "N";
  auto old = a->Replace(0, std::move(fresh));
  EXPECT_EQ(old->name, "A");
  EXPECT_EQ(a->At(0)->index, 0);
  auto d = a->Detach(1);
  EXPECT_EQ(d->name, "X");
  EXPECT_EQ(a->Count(), 1);
  EXPECT_EQ(a->Detach(3), nullptr);
  a->ClearAll();
  EXPECT_EQ(a->Count(), 0);
  EXPECT_EQ(a->ActiveIndex(), -1);
}

}  // namespace
}  // namespace tintara
