#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <functional>

#include "events/EventTestUtil.h"
#include "files/GfxTestUtil.h"
#include "files/GraphicsLibCompress.h"
#include "files/ImageBlock.h"
#include "files/NativeFile.h"
#include "files/NativeTestUtil.h"
#include "platform/FileIO.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

using test::Get16;
using test::Get32;
using test::Put16;
using test::Put32;
using test::ScratchDir;
using test::WalkBlocks;

std::vector<uint8_t> Written(TPaper& p, uint32_t contents) {
  MemorySink sink;
  const NativeSaveResult r = WriteNativeFile(sink, p, contents);
  EXPECT_TRUE(r.saved);
  EXPECT_EQ(r.status, kFileOk);
  return sink.bytes;
}

struct Loaded {
  TPaper paper;
  TFlowImage flow{paper};
  NativeLoadResult result;
};

void LoadBytes(const std::vector<uint8_t>& bytes, Loaded& out) {
  MemorySource src(bytes);
  out.result = ReadNativeFile(src, out.paper, out.flow, nullptr, "loaded");
}

constexpr uint32_t kAll = kNativeLayers | kNativeMasks | kNativeThumbnail;

// --- round trip ----------------------------------------------------------------------------

TEST(NativeRoundTrip, RichPictureComesBackExactThroughAFile) {
  RecordingNotifySink notes;
  TPaper p;
  TFlowImage f(p);
  test::BuildRichPicture(p, f);
  ScratchDir dir;
  const std::string path = dir.File("rich.tci");
  const NativeSaveResult saved = SaveNativeFile(path, p, kAll);
  ASSERT_TRUE(saved.saved);
  EXPECT_EQ(saved.status, kFileOk);
  EXPECT_EQ(saved.contents, kAll);
  Loaded l;
  l.result = LoadNativeFile(path, l.paper, l.flow);
  EXPECT_EQ(l.result.status, kFileOk);
  EXPECT_TRUE(l.result.opened);
  EXPECT_TRUE(notes.warnings.empty()) << notes.warnings.front();
  test::ExpectSamePicture(p, l.paper);
  EXPECT_EQ(l.paper.title, "rich.tci");
  // Saved again, the loaded picture gives the same bytes.
  std::vector<uint8_t> first;
  ASSERT_TRUE(ReadWholeFile(path, first));
  EXPECT_EQ(Written(l.paper, kAll), first);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"rich.tci"});
}

TEST(NativeRoundTrip, PartsLeftOutAreLeftOutOfTheFile) {
  TPaper p;
  TFlowImage f(p);
  test::BuildRichPicture(p, f);
  struct Case {
    uint32_t contents;
    std::vector<std::string> ids;  // distinct ids in order of first appearance
  } cases[] = {
      {kNativeLayers, {"TPIM", "TLYR", "TBIM"}},
      {kNativeLayers | kNativeThumbnail, {"TPIM", "TTNL", "TLYR", "TBIM"}},
      {kNativeLayers | kNativeMasks, {"TPIM", "TLYR", "TBIM", "TMSK", "TBMK"}},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> bytes = Written(p, c.contents);
    std::vector<std::string> ids;
    for (const auto& b : WalkBlocks(bytes))
      if (std::find(ids.begin(), ids.end(), b.id) == ids.end()) ids.push_back(b.id);
    EXPECT_EQ(ids, c.ids) << c.contents;
    const uint32_t flags = Get32(bytes, 24);
    EXPECT_EQ(flags & 0xF, c.contents);
    EXPECT_EQ((flags & 0x100) != 0, (c.contents & kNativeLayers) != 0);
    EXPECT_EQ((flags & 0x200) != 0, (c.contents & kNativeMasks) != 0);
    EXPECT_EQ(flags & 0x30, (c.contents & kNativeMasks) ? 0x10u : 0u);  // shown, not enabled
    EXPECT_EQ(flags & 0xC0, 0x80u);                                     // checker, opaque paper
    Loaded l;
    LoadBytes(bytes, l);
    EXPECT_EQ(l.result.status, kFileOk);
    EXPECT_EQ(l.paper.LayerCount(), p.LayerCount());
    // Without masks the picture gets the one default mask of a new picture.
    EXPECT_EQ(l.paper.masks.Count(), (c.contents & kNativeMasks) ? 4 : 1);
  }
}

TEST(NativeRoundTrip, LayersMovedFarOutsideTheirStoreKeepTheirPlace) {
  // Positions the paper accepts for a layer, far beyond the picture and its store.
  TPaper p;
  TFlowImage f(p);
  test::BuildSmallPicture(p, f);
  ASSERT_TRUE(p.SetLayerPosition(f, 1, 50000, -45000));
  ASSERT_TRUE(p.MoveSelection(0, -60000, 30));
  MemorySink sink;
  const NativeSaveResult r = WriteNativeFile(sink, p, kAll);
  EXPECT_TRUE(r.saved);
  EXPECT_EQ(r.status, kFileOk);
  Loaded l;
  LoadBytes(sink.bytes, l);
  EXPECT_EQ(l.result.status, kFileOk);
  EXPECT_EQ(l.paper.Layer(1)->viewX, 50000);
  EXPECT_EQ(l.paper.Layer(1)->viewY, -45000);
  EXPECT_EQ(l.paper.masks.At(0)->offsetX, 60000);
  EXPECT_EQ(l.paper.masks.At(0)->offsetY, -30);
}

TEST(NativeRoundTrip, ALayersDefaultFillComesBack) {
  TPaper p;
  TFlowImage f(p);
  test::BuildSmallPicture(p, f);
  p.Layer(1)->pixels->SetDefaultFill(0x80402010u);
  MemorySink sink;
  ASSERT_TRUE(WriteNativeFile(sink, p, kAll).saved);
  Loaded l;
  LoadBytes(sink.bytes, l);
  ASSERT_EQ(l.result.status, kFileOk);
  EXPECT_EQ(l.paper.Layer(1)->pixels->DefaultFill(), 0x80402010u);
  EXPECT_EQ(l.paper.Layer(0)->pixels->DefaultFill(), p.Layer(0)->pixels->DefaultFill());
}

TEST(NativeRoundTrip, TransparentPaperAndNoLayersGetsADefaultLayer) {
  RecordingNotifySink notes;
  TPaper p;
  TFlowImage f(p);
  test::BuildSmallPicture(p, f);
  p.paperColorOn = 0;
  const std::vector<uint8_t> bytes = Written(p, kNativeThumbnail);
  EXPECT_EQ(Get32(bytes, 24), kNativeThumbnail | kNativeTransparentPaper);
  // The thumbnail is the last block: it is skipped (19), reported, and one layer is made.
  Loaded l;
  LoadBytes(bytes, l);
  EXPECT_EQ(l.result.status, kFileThumbnailSkipped);
  EXPECT_TRUE(l.result.opened);
  EXPECT_EQ(notes.warnings, std::vector<std::string>{"読み込み中にエラーが検出されました! (err=19)"});
  ASSERT_EQ(l.paper.LayerCount(), 1);
  EXPECT_EQ(l.paper.paperColorOn, 0);
  EXPECT_EQ(l.paper.Layer(0)->pixels->GetPixel(5, 5) >> 24, 0u);  // transparent
}

// --- exact layout ----------------------------------------------------------------------------

std::vector<uint8_t> Compressed(const std::vector<uint8_t>& raw) {
  std::vector<uint8_t> out;
  EXPECT_EQ(CompressToMemory(raw.data(), raw.size(), out), GfxResult::Ok);
  return out;
}

TEST(NativeLayout, HandBuiltFileLoads) {
  RecordingNotifySink notes;
  // 40 x 30 picture, one layer of store 64 x 40 (2 x 2 tiles) at view (24, 10), one mask.
  test::Bytes b;
  b.text("TPIM").u32(48).i32(40).i32(30).u32(1).u16(4).u16(6).u32(0x1 | 0x2 | 0x100 | 0x200 | 0x20);
  b.u32(0x00102030).u16(0).u16(0).u16(300).u16(0).u16(1).u16(7).u16(1).u16(3).zeros(8);
  // Layer "ab": normal (3), opacity 128, visible + protect + extended + dither.
  b.text("TLYR").u32(72 + 4).i32(0).u16(0x1 | 0x2 | 0x10 | 0x20).u8(3).u8(128);
  b.i32(32).i32(32).i32(2).i32(2).i32(64).i32(40).i32(24).i32(10).i32(40).i32(30);
  b.u32(0x00FFFFFF).u16(3).u16(0).u8(77).u8(2).u16(0).u32(4242).zeros(8).text("ab").zeros(2);
  // Run 1: tile 0 uniform red. Run 2: tile 1 painted (pixel i of the tile = 0xFF000000 | i).
  b.text("TBIM").u32(32 + 4).u32(32).u32(32).u32(2).u32(1).u32(0).u32(4).zeros(8).u32(0xFFFF0000);
  test::Bytes tile;
  for (uint32_t i = 0; i < 1024; ++i) tile.u32(0xFF000000u | i);
  const std::vector<uint8_t> packed = Compressed(tile.b);
  const uint32_t padded = uint32_t((packed.size() + 3) & ~size_t(3));
  b.text("TBIM")
      .u32(32 + padded)
      .u32(32)
      .u32(32)
      .u32(1)
      .u32(1)
      .u32(uint32_t(packed.size()))
      .u32(4096)
      .zeros(8);
  b.append(packed).zeros(padded - packed.size());
  // Run 3: tiles 2 and 3 uniform, two values.
  b.text("TBIM").u32(32 + 8).u32(32).u32(32).u32(2).u32(2).u32(0).u32(8).zeros(8).u32(0x8000FF00).u32(0);
  // Mask "m": channel 64 x 64 (one tile) at offset (-3, 4), uniform 99.
  b.text("TMSK").u32(72 + 4).i32(0).u16(1).u16(0).i32(64).i32(64).i32(1).i32(1).i32(64).i32(64);
  b.i32(-3).i32(4).i32(40).i32(30).u32(0).u16(2).u16(0).zeros(16).text("m").zeros(3);
  b.text("TBMK").u32(32 + 4).u32(64).u32(64).u32(2).u32(1).u32(0).u32(4).zeros(8).u32(99);

  Loaded l;
  LoadBytes(b.b, l);
  ASSERT_EQ(l.result.status, kFileOk) << (notes.warnings.empty() ? "" : notes.warnings.front());
  const TPaper& p = l.paper;
  EXPECT_EQ(p.width, 40);
  EXPECT_EQ(p.height, 30);
  EXPECT_EQ(p.dpi, 300);
  EXPECT_EQ(p.paperColor, 0x00102030u);
  EXPECT_EQ(p.layers.NameCounter(), 7);
  EXPECT_EQ(p.masks.NameCounter(), 3);
  EXPECT_EQ(p.selectionVisible, 0);
  EXPECT_EQ(p.selectionEnabled, 1);
  ASSERT_EQ(p.LayerCount(), 1);
  const CLayerData& L = *p.Layer(0);
  EXPECT_EQ(L.name, "ab");
  EXPECT_EQ(L.mode, 3);
  EXPECT_EQ(L.opacity, 128);
  EXPECT_EQ(L.visible, 1);
  EXPECT_EQ(L.protectAlpha, 1);
  EXPECT_EQ(L.ditherOn, 1);
  EXPECT_EQ(L.ditherAmount, 77);
  EXPECT_EQ(L.random.seed, 4242u);
  EXPECT_EQ(L.groupLevel, 2);
  EXPECT_EQ(L.viewX, 24);
  EXPECT_EQ(L.viewY, 10);
  ASSERT_EQ(L.pixels->Width(), 64);
  ASSERT_EQ(L.pixels->Height(), 40);
  EXPECT_EQ(L.pixels->GetPixel(5, 5), 0xFFFF0000u);
  EXPECT_EQ(L.pixels->GetPixel(32, 0), 0xFF000000u);
  EXPECT_EQ(L.pixels->GetPixel(32 + 7, 3), 0xFF000000u | (3 * 32 + 7));
  EXPECT_EQ(L.pixels->GetPixel(63, 31), 0xFF000000u | 1023);
  EXPECT_EQ(L.pixels->GetPixel(0, 39), 0x8000FF00u);
  EXPECT_EQ(L.pixels->GetPixel(63, 39), 0u);
  ASSERT_EQ(p.masks.Count(), 1);
  const CMaskData& M = *p.masks.At(0);
  EXPECT_EQ(M.displayName, "m");
  ASSERT_TRUE(M.HasChannel());
  EXPECT_EQ(M.offsetX, -3);
  EXPECT_EQ(M.offsetY, 4);
  EXPECT_EQ(M.channel->GetPixel(10, 10), 99);
}

TEST(NativeLayout, WriterFieldsFollowTheTables) {
  TPaper p;
  TFlowImage f(p);
  ASSERT_TRUE(p.NewPaper("fixed", f, false, false, 96, 33, 65));
  p.paperColor = 0x00ABCDEF;
  CLayerData& l = *p.Layer(0);
  l.name = "abc";
  l.opacity = 200;
  l.ditherAmount = 9;
  Seed(l.random, 0x01020304, 0, 255);
  test::PaintNoise(*l.pixels, {0, 0, 64, 1}, 5);  // tiles 0 and 1 painted, tile 2 empty
  const int32_t top = p.AddLayer(1, 65, false, 255, kModeHardLight, 33);
  p.Layer(top)->name = "";
  p.RecompositeAll(true);
  const std::vector<uint8_t> b = Written(p, kNativeLayers | kNativeThumbnail);
  const auto blocks = WalkBlocks(b);
  // Header.
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "TPIM");
  EXPECT_EQ(Get32(b, 4), 48u);
  EXPECT_EQ(Get32(b, 8), 65u);
  EXPECT_EQ(Get32(b, 12), 33u);
  EXPECT_EQ(Get32(b, 16), 1u);
  EXPECT_EQ(Get16(b, 20), 4);
  EXPECT_EQ(Get16(b, 22), 6);
  EXPECT_EQ(Get32(b, 24), 0x1u | 0x4 | 0x100);
  EXPECT_EQ(Get32(b, 28), 0x00ABCDEFu);
  EXPECT_EQ(Get16(b, 32), 0);  // active layer
  EXPECT_EQ(Get16(b, 36), 96);
  EXPECT_EQ(Get16(b, 40), 2);
  EXPECT_EQ(Get16(b, 42), p.layers.NameCounter());
  for (size_t i = 48; i < 56; ++i) EXPECT_EQ(b[i], 0) << i;
  // Thumbnail: 256 x 129 (65 x 33 fitted), scrambled colour pixels of the picture size.
  ASSERT_GE(blocks.size(), 2u);
  ASSERT_EQ(blocks[1].id, "TTNL");
  const size_t t = blocks[1].offset;
  EXPECT_EQ(t, 56u);
  EXPECT_EQ(Get16(b, t + 8), 2);
  EXPECT_EQ(Get16(b, t + 10), 0);
  EXPECT_EQ(b[t + 12], 4);  // group
  EXPECT_EQ(b[t + 14], 3);  // stride
  EXPECT_EQ(b[t + 15], 0);  // extra
  EXPECT_EQ(Get32(b, t + 16), 65u);
  EXPECT_EQ(Get32(b, t + 20), 33u);
  EXPECT_EQ(Get32(b, t + 24), 256u);
  EXPECT_EQ(Get32(b, t + 28), 129u);
  EXPECT_EQ(Get32(b, t + 36), 256u * 129 * 4);
  EXPECT_EQ(blocks[1].size, 40 + ((Get32(b, t + 32) + 3) & ~3u));
  // Layers: "abc" (name length 4, no padding beyond the zero) and "" (1 byte + 3 of padding).
  std::vector<test::TestBlock> layers, runs;
  for (const auto& blk : blocks) {
    if (blk.id == "TLYR") layers.push_back(blk);
    if (blk.id == "TBIM") runs.push_back(blk);
    EXPECT_EQ(blk.offset % 4, 0u) << blk.id;
    EXPECT_EQ((8 + blk.size) % 4, 0u) << blk.id;
  }
  ASSERT_EQ(layers.size(), 2u);
  const size_t a = layers[0].offset;
  EXPECT_EQ(layers[0].size, 72u + 4);
  EXPECT_EQ(Get32(b, a + 8), 0u);
  EXPECT_EQ(Get16(b, a + 12), 0x1 | 0x10);
  EXPECT_EQ(b[a + 14], kModeNormal);
  EXPECT_EQ(b[a + 15], 200);
  EXPECT_EQ(Get32(b, a + 16), 32u);
  EXPECT_EQ(Get32(b, a + 20), 32u);
  EXPECT_EQ(Get32(b, a + 24), 3u);  // ceil(65 / 32)
  EXPECT_EQ(Get32(b, a + 28), 2u);  // ceil(33 / 32)
  EXPECT_EQ(Get32(b, a + 32), 65u);
  EXPECT_EQ(Get32(b, a + 36), 33u);
  EXPECT_EQ(Get32(b, a + 48), 65u);
  EXPECT_EQ(Get32(b, a + 52), 33u);
  EXPECT_EQ(Get32(b, a + 56), 0x00FFFFFFu);
  EXPECT_EQ(Get16(b, a + 60), 4);
  EXPECT_EQ(Get16(b, a + 62), 0);  // normal needs no newer reader
  EXPECT_EQ(b[a + 64], 9);
  EXPECT_EQ(Get32(b, a + 68), 0x01020304u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[a + 80])), "abc");
  for (size_t i : {a + 66, a + 67}) EXPECT_EQ(b[i], 0) << i;
  for (size_t i = a + 72; i < a + 80; ++i) EXPECT_EQ(b[i], 0) << i;
  const size_t e = layers[1].offset;
  EXPECT_EQ(layers[1].size, 72u + 4);
  EXPECT_EQ(Get32(b, e + 8), 1u);     // its place in the list
  EXPECT_EQ(Get16(b, e + 12), 0x10);  // hidden
  EXPECT_EQ(b[e + 14], kModeHardLight);
  EXPECT_EQ(Get16(b, e + 60), 1);
  EXPECT_EQ(Get16(b, e + 62), 1);  // modes above 3 need reader version 1
  for (size_t i = e + 80; i < e + 84; ++i) EXPECT_EQ(b[i], 0);
  // Runs of the first layer: tiles 0-1 compressed, then tiles 2..5 uniform.
  ASSERT_GE(runs.size(), 3u);
  const size_t r0 = runs[0].offset, r1 = runs[1].offset;
  EXPECT_EQ(r0, a + 8 + layers[0].size);
  EXPECT_EQ(Get32(b, r0 + 8), 32u);
  EXPECT_EQ(Get32(b, r0 + 12), 32u);
  EXPECT_EQ(Get32(b, r0 + 16), 1u);
  EXPECT_EQ(Get32(b, r0 + 20), 2u);
  EXPECT_EQ(Get32(b, r0 + 28), 2u * 4096);
  EXPECT_EQ(runs[0].size, 32 + ((Get32(b, r0 + 24) + 3) & ~3u));
  for (size_t i = r0 + 32; i < r0 + 40; ++i) EXPECT_EQ(b[i], 0) << i;
  std::vector<uint8_t> raw(8192);
  ASSERT_EQ(Expand(&b[r0 + 40], Get32(b, r0 + 24), raw.data(), raw.size()), GfxResult::Ok);
  EXPECT_EQ(Get32(raw, 0), l.pixels->GetPixel(0, 0));
  EXPECT_EQ(Get32(raw, 4096 + 4 * 5), l.pixels->GetPixel(32 + 5, 0));
  EXPECT_EQ(Get32(raw, 4 * 32), l.pixels->GetPixel(0, 1));
  EXPECT_EQ(Get32(b, r1 + 16), 2u);
  EXPECT_EQ(Get32(b, r1 + 20), 4u);
  EXPECT_EQ(Get32(b, r1 + 24), 0u);
  EXPECT_EQ(Get32(b, r1 + 28), 16u);
  EXPECT_EQ(runs[1].size, 32u + 16);
  EXPECT_EQ(Get32(b, r1 + 40), l.pixels->GetPixel(64, 0));
}

TEST(NativeLayout, RunsAreCutAtSixteenPaintedTiles) {
  struct Case {
    int32_t paintedTiles;                             // in the first tile row
    std::vector<std::pair<uint32_t, uint32_t>> runs;  // kind, tiles
  } cases[] = {
      {0, {{2, 60}}},                             // never painted: one uniform run
      {40, {{1, 16}, {1, 16}, {1, 8}, {2, 20}}},  // 40 painted tiles in a row
      {16, {{1, 16}, {2, 44}}},
      {17, {{1, 16}, {1, 1}, {2, 43}}},
  };
  for (const Case& c : cases) {
    TPaper p;
    TFlowImage f(p);
    ASSERT_TRUE(p.NewPaper("runs", f, false, false, 72, 32, 60 * 32));
    CLayerData& l = *p.Layer(0);
    test::PaintNoise(*l.pixels, {0, 0, 32 * c.paintedTiles, 1}, 1);
    std::vector<std::pair<uint32_t, uint32_t>> runs;
    const std::vector<uint8_t> b = Written(p, kNativeLayers);
    for (const auto& blk : WalkBlocks(b))
      if (blk.id == "TBIM") runs.emplace_back(Get32(b, blk.offset + 16), Get32(b, blk.offset + 20));
    EXPECT_EQ(runs, c.runs) << c.paintedTiles;
  }
}

TEST(NativeLayout, MaskFieldsFollowTheTables) {
  TPaper p;
  TFlowImage f(p);
  ASSERT_TRUE(p.NewPaper("masks", f, false, false, 72, 33, 65));
  // Mask 0 keeps no channel; mask 1 has 70 x 65 (2 x 2 tiles of 64) at offset (-3, 5).
  const int32_t at = p.masks.InsertNew(1);
  CMaskData& m = *p.masks.At(at);
  m.displayName = "ab";
  ASSERT_TRUE(m.CreateChannel(70, 65));
  m.offsetX = -3;
  m.offsetY = 5;
  for (int32_t x = 0; x < 64; ++x) m.channel->SetPixel(x, 1, uint8_t(x + 1));  // only tile 0 painted
  p.masks.Activate(at);
  p.selectionVisible = 0;
  p.selectionEnabled = 1;
  const std::vector<uint8_t> b = Written(p, kNativeLayers | kNativeMasks);
  EXPECT_EQ(Get32(b, 24), 0x1u | 0x2 | 0x20 | 0x100 | 0x200);
  EXPECT_EQ(Get16(b, 34), 1);  // active mask
  EXPECT_EQ(Get16(b, 44), 2);  // mask count
  EXPECT_EQ(Get16(b, 46), p.masks.NameCounter());
  std::vector<test::TestBlock> heads, runs;
  for (const auto& blk : WalkBlocks(b)) {
    if (blk.id == "TMSK") heads.push_back(blk);
    if (blk.id == "TBMK") runs.push_back(blk);
  }
  ASSERT_EQ(heads.size(), 2u);
  // Without a channel: no runs, and only the picture size among the store fields.
  const size_t e = heads[0].offset;
  EXPECT_EQ(Get32(b, e + 8), 0u);
  EXPECT_EQ(Get16(b, e + 12), 0);
  for (size_t off = 16; off < 48; off += 4) EXPECT_EQ(Get32(b, e + off), 0u) << off;
  EXPECT_EQ(Get32(b, e + 48), 65u);
  EXPECT_EQ(Get32(b, e + 52), 33u);
  EXPECT_EQ(Get32(b, e + 56), 0u);
  EXPECT_EQ(heads[1].offset, e + 8 + heads[0].size);
  const size_t h = heads[1].offset;
  EXPECT_EQ(heads[1].size, 72u + 4);
  EXPECT_EQ(Get32(b, h + 8), 1u);
  EXPECT_EQ(Get16(b, h + 12), 1);  // runs follow
  EXPECT_EQ(Get16(b, h + 14), 0);
  EXPECT_EQ(Get32(b, h + 16), 64u);
  EXPECT_EQ(Get32(b, h + 20), 64u);
  EXPECT_EQ(Get32(b, h + 24), 2u);
  EXPECT_EQ(Get32(b, h + 28), 2u);
  EXPECT_EQ(Get32(b, h + 32), 70u);
  EXPECT_EQ(Get32(b, h + 36), 65u);
  EXPECT_EQ(int32_t(Get32(b, h + 40)), -3);
  EXPECT_EQ(Get32(b, h + 44), 5u);
  EXPECT_EQ(Get32(b, h + 48), 65u);
  EXPECT_EQ(Get32(b, h + 52), 33u);
  EXPECT_EQ(Get32(b, h + 56), 0u);  // a mask's store starts unselected
  EXPECT_EQ(Get16(b, h + 60), 3);
  EXPECT_EQ(Get16(b, h + 62), 0);
  for (size_t i = h + 64; i < h + 80; ++i) EXPECT_EQ(b[i], 0) << i;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[h + 80])), "ab");
  // Runs: tile 0 compressed (64 x 64 one-byte values), tiles 1..3 uniform.
  ASSERT_EQ(runs.size(), 2u);
  const size_t r0 = runs[0].offset, r1 = runs[1].offset;
  EXPECT_EQ(r0, h + 8 + heads[1].size);
  EXPECT_EQ(Get32(b, r0 + 8), 64u);
  EXPECT_EQ(Get32(b, r0 + 12), 64u);
  EXPECT_EQ(Get32(b, r0 + 16), 1u);
  EXPECT_EQ(Get32(b, r0 + 20), 1u);
  EXPECT_EQ(Get32(b, r0 + 28), 4096u);
  std::vector<uint8_t> raw(4096);
  ASSERT_EQ(Expand(&b[r0 + 40], Get32(b, r0 + 24), raw.data(), raw.size()), GfxResult::Ok);
  EXPECT_EQ(raw[64 + 9], 10);  // row 1, column 9
  EXPECT_EQ(raw[9], 0);
  EXPECT_EQ(Get32(b, r1 + 8), 64u);
  EXPECT_EQ(Get32(b, r1 + 16), 2u);
  EXPECT_EQ(Get32(b, r1 + 20), 3u);
  EXPECT_EQ(Get32(b, r1 + 24), 0u);
  EXPECT_EQ(Get32(b, r1 + 28), 12u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(Get32(b, r1 + 40 + 4 * i), 0u) << i;
}

// --- damaged files ---------------------------------------------------------------------------

std::vector<uint8_t> SmallFile() {
  TPaper p;
  TFlowImage f(p);
  test::BuildSmallPicture(p, f);
  return Written(p, kAll);
}

TEST(NativeDamage, TruncationAnywhereIsReportedNeverCrashes) {
  const std::vector<uint8_t> full = SmallFile();
  for (size_t cut = 0; cut < full.size(); ++cut) {
    RecordingNotifySink notes;
    std::vector<uint8_t> part(full.begin(), full.begin() + std::ptrdiff_t(cut));
    Loaded l;
    LoadBytes(part, l);
    SCOPED_TRACE("cut at " + std::to_string(cut));
    EXPECT_NE(l.result.status, kFileOk);
    EXPECT_EQ(l.result.opened, cut >= 56);
    if (cut < 56) {
      EXPECT_EQ(l.result.status, kFileShortRead);
      continue;
    }
    EXPECT_GE(l.paper.LayerCount(), 1);
    ASSERT_FALSE(notes.warnings.empty());
    EXPECT_EQ(notes.warnings.back(),
              "読み込み中にエラーが検出されました! (err=" + std::to_string(l.result.status) + ")");
  }
}

struct DamageCase {
  const char* name;
  std::function<void(std::vector<uint8_t>&)> damage;
  int32_t status;
  bool opened;
  std::vector<std::string> warnings;
};

size_t Nth(const std::vector<uint8_t>& file, const std::string& id, int n = 0) {
  for (const auto& b : WalkBlocks(file))
    if (b.id == id && n-- == 0) return b.offset;
  ADD_FAILURE() << "no block " << id;
  return 0;
}

TEST(NativeDamage, EachFaultHasItsCodeAndMessage) {
  const std::string err = "読み込み中にエラーが検出されました! (err=";
  const DamageCase cases[] = {
      {"missing header", [](auto& b) { b.erase(b.begin(), b.begin() + 56); }, kFileBadId, false, {}},
      {"header size", [](auto& b) { Put32(b, 4, 44); }, kFileBadSize, false, {}},
      {"version above 1", [](auto& b) { Put32(b, 16, 2); }, kFileNewerVersion, false, {}},
      {"10001 wide", [](auto& b) { Put32(b, 8, 10001); }, kFileTooLarge, false, {}},
      {"0 high", [](auto& b) { Put32(b, 12, 0); }, kFileTooLarge, false, {}},
      {"negative wide", [](auto& b) { Put32(b, 8, 0xFFFFFFF0u); }, kFileTooLarge, false, {}},
      {"block size past the end",
       [](auto& b) { Put32(b, Nth(b, "TMSK", 1) + 4, 0xFFFFFFF0u); },
       kFilePastEnd,
       true,
       {"ﾏｽｸの読み込みに失敗しました! (err=11)", err + "11)"}},
      {"layer count disagrees", [](auto& b) { Put16(b, 40, 3); }, kFileBadSize, true, {err + "17)"}},
      {"layer reader version 2",
       [](auto& b) { Put16(b, Nth(b, "TLYR", 1) + 62, 2); },
       kFileNewerVersion,
       true,
       {"ﾚｲﾔの読み込みに失敗しました! (err=12)", err + "12)"}},
      {"run tile count beyond the layer",
       [](auto& b) { Put32(b, Nth(b, "TBIM") + 20, 1000); },
       kFileLayerRunSizes,
       true,
       {"ﾚｲﾔの読み込みに失敗しました! (err=25)", err + "25)"}},
      {"run of zero tiles",
       [](auto& b) { Put32(b, Nth(b, "TBIM") + 20, 0); },
       kFileLayerRunCount,
       true,
       {"ﾚｲﾔの読み込みに失敗しました! (err=23)", err + "23)"}},
      {"run of unknown kind",
       [](auto& b) { Put32(b, Nth(b, "TBIM") + 16, 3); },
       kFileLayerRunKind,
       true,
       {"ﾚｲﾔの読み込みに失敗しました! (err=24)", err + "24)"}},
      {"compressed run that does not expand",
       [](auto& b) {
         const size_t r = Nth(b, "TBIM");
         ASSERT_EQ(Get32(b, r + 16), 1u);
         for (size_t i = r + 40; i < r + 48; ++i) b[i] ^= 0x5A;
       },
       kFileLayerRunSizes,
       true,
       {"ﾚｲﾔの読み込みに失敗しました! (err=25)", err + "25)"}},
      {"run tile geometry",
       [](auto& b) { Put32(b, Nth(b, "TBIM") + 8, 64); },
       kFileLayerGeometry,
       true,
       {"ﾚｲﾔの読み込みに失敗しました! (err=22)", err + "22)"}},
      {"view narrower than the picture",
       [](auto& b) { Put32(b, Nth(b, "TLYR", 1) + 48, 39); },
       kFileLayerGeometry,
       true,
       {"ﾚｲﾔの読み込みに失敗しました! (err=22)", err + "22)"}},
      {"columns disagree with the store",
       [](auto& b) { Put32(b, Nth(b, "TLYR") + 24, 5); },
       kFileLayerGeometry,
       true,
       {"ﾚｲﾔの読み込みに失敗しました! (err=22)", err + "22)"}},
      {"view position far outside the store",
       [](auto& b) { Put32(b, Nth(b, "TLYR", 1) + 40, 0x40000000); },
       kFileLayerGeometry,
       true,
       {"ﾚｲﾔの読み込みに失敗しました! (err=22)", err + "22)"}},
      {"mask version",
       [](auto& b) { Put16(b, Nth(b, "TMSK") + 62, 1); },
       kFileNewerVersion,
       true,
       {"ﾏｽｸの読み込みに失敗しました! (err=12)", err + "12)"}},
      {"mask run count beyond the mask",
       [](auto& b) { Put32(b, Nth(b, "TBMK") + 20, 2); },
       kFileMaskRunSizes,
       true,
       {"ﾏｽｸの読み込みに失敗しました! (err=33)", err + "33)"}},
      {"run block outside a layer",
       [](auto& b) {
         test::Bytes x;
         x.text("TBIM").u32(32 + 4).u32(32).u32(32).u32(2).u32(1).u32(0).u32(4).zeros(8).u32(0);
         b.insert(b.end(), x.b.begin(), x.b.end());
       },
       kFileStrayRun,
       true,
       {err + "2)"}},
      {"event data without a recorder to take it",
       [](auto& b) {
         test::Bytes x;
         x.text("TEVP").u32(48).i32(40).i32(24).zeros(40);
         b.insert(b.end(), x.b.begin(), x.b.end());
       },
       kFileNoRecorder,
       true,
       {kEventBlockFailedText, err + "40)"}},
      {"two unknown blocks",
       [](auto& b) {
         test::Bytes x;
         x.text("ABCD").u32(4).u32(0).text("WXYZ").u32(0);
         b.insert(b.end(), x.b.begin(), x.b.end());
       },
       kFileBadId,
       true,
       {"2個の未知のデータブロックを無視しました!  (id = WXYZ)", err + "16)"}},
  };
  const std::vector<uint8_t> good = SmallFile();
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> b = good;
    c.damage(b);
    RecordingNotifySink notes;
    Loaded l;
    LoadBytes(b, l);
    EXPECT_EQ(l.result.status, c.status);
    EXPECT_EQ(l.result.opened, c.opened);
    EXPECT_EQ(notes.warnings, c.warnings);
    if (c.opened) {
      EXPECT_GE(l.paper.LayerCount(), 1);
      EXPECT_GE(l.paper.masks.Count(), 1);
    }
  }
}

TEST(NativeDamage, ALayerThatFailsLeavesTheOthersAndTheActiveIndexIsClamped) {
  std::vector<uint8_t> b = SmallFile();
  Put16(b, Nth(b, "TLYR", 1) + 62, 2);  // the top layer is refused
  Put16(b, 32, 7);                      // the active layer beyond anything read
  Put16(b, 34, 9);                      // and the active mask
  RecordingNotifySink notes;
  Loaded l;
  LoadBytes(b, l);
  EXPECT_EQ(l.result.status, kFileNewerVersion);
  ASSERT_EQ(l.paper.LayerCount(), 1);
  EXPECT_EQ(l.paper.ActiveIndex(), 0);
  EXPECT_EQ(l.paper.masks.ActiveIndex(), 1);
  TPaper p;
  TFlowImage f(p);
  test::BuildSmallPicture(p, f);
  EXPECT_EQ(test::CountPixelDifferences(*p.Layer(0)->pixels, *l.paper.Layer(0)->pixels), 0);
}

// Faults after which the loop meets the rest of the damaged block as further blocks: the first
// failure is the result and the first message names it.
TEST(NativeDamage, SizesAndCountsOfHeadsAndRunsAreChecked) {
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
    int32_t status;
    std::string firstWarning;
  } cases[] = {
      {"layer head shorter than its record", [](auto& b) { Put32(b, Nth(b, "TLYR", 1) + 4, 40); },
       kFileBadSize, "ﾚｲﾔの読み込みに失敗しました! (err=17)"},
      {"run block shorter than its head", [](auto& b) { Put32(b, Nth(b, "TBIM") + 4, 16); }, kFileBadSize,
       "ﾚｲﾔの読み込みに失敗しました! (err=17)"},
      {"uniform values beyond their block",
       [](auto& b) {
         const size_t r = Nth(b, "TBIM", 2);
         ASSERT_EQ(Get32(b, r + 16), 2u);
         ASSERT_EQ(Get32(b, r + 20), 4u);
         Put32(b, r + 4, 32 + 8);  // room for two of the four values
       },
       kFileLayerRunSizes, "ﾚｲﾔの読み込みに失敗しました! (err=25)"},
      {"compressed count of zero", [](auto& b) { Put32(b, Nth(b, "TBIM") + 24, 0); }, kFileLayerRunSizes,
       "ﾚｲﾔの読み込みに失敗しました! (err=25)"},
      {"compressed count beyond the block",
       [](auto& b) {
         const size_t r = Nth(b, "TBIM");
         Put32(b, r + 24, Get32(b, r + 4) - 32 + 1);
       },
       kFileLayerRunSizes, "ﾚｲﾔの読み込みに失敗しました! (err=25)"},
      {"expanded count that is not 4096 a tile",
       [](auto& b) {
         const size_t r = Nth(b, "TBIM");
         Put32(b, r + 28, Get32(b, r + 28) - 4);
       },
       kFileLayerRunSizes, "ﾚｲﾔの読み込みに失敗しました! (err=25)"},
      {"mask head shorter than its record", [](auto& b) { Put32(b, Nth(b, "TMSK") + 4, 64); }, kFileBadSize,
       "ﾏｽｸの読み込みに失敗しました! (err=17)"},
      {"mask tiles of 32", [](auto& b) { Put32(b, Nth(b, "TMSK") + 16, 32); }, kFileMaskGeometry,
       "ﾏｽｸの読み込みに失敗しました! (err=30)"},
      {"mask run tiles of 32", [](auto& b) { Put32(b, Nth(b, "TBMK") + 8, 32); }, kFileMaskGeometry,
       "ﾏｽｸの読み込みに失敗しました! (err=30)"},
      {"mask run of zero tiles", [](auto& b) { Put32(b, Nth(b, "TBMK") + 20, 0); }, kFileMaskRunCount,
       "ﾏｽｸの読み込みに失敗しました! (err=31)"},
      {"mask run of unknown kind", [](auto& b) { Put32(b, Nth(b, "TBMK") + 16, 7); }, kFileMaskRunKind,
       "ﾏｽｸの読み込みに失敗しました! (err=32)"},
  };
  const std::vector<uint8_t> good = SmallFile();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> b = good;
    c.damage(b);
    RecordingNotifySink notes;
    Loaded l;
    LoadBytes(b, l);
    EXPECT_EQ(l.result.status, c.status);
    EXPECT_TRUE(l.result.opened);
    ASSERT_FALSE(notes.warnings.empty());
    EXPECT_EQ(notes.warnings.front(), c.firstWarning);
    EXPECT_EQ(notes.warnings.back(),
              "読み込み中にエラーが検出されました! (err=" + std::to_string(c.status) + ")");
  }
}

TEST(NativeDamage, MissingOrUnopenableFilesAreNotOpened) {
  ScratchDir dir;
  struct Case {
    std::string path;
    int32_t status;
  } cases[] = {{dir.File("none.tci"), kFileMissing}, {dir.File(""), kFileOpenFailed}};
  for (const auto& c : cases) {
    Loaded l;
    l.result = LoadNativeFile(c.path, l.paper, l.flow);
    EXPECT_EQ(l.result.status, c.status) << c.path;
    EXPECT_FALSE(l.result.opened);
  }
  EXPECT_EQ(OpenFailedMessage("/tmp/a.tci", 4), "/tmp/a.tci\rのオープンに失敗しました!  (err=4)");
}

TEST(NativeDamage, FieldsCannotDriveHugeAllocations) {
  // Sizes that would ask for gigabytes are refused before anything is allocated (the sanitizer
  // build would report an allocation that large).
  const std::vector<uint8_t> good = SmallFile();
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
    int32_t status;
  } cases[] = {
      {"compressed run of a million tiles",
       [](auto& b) {
         const size_t r = Nth(b, "TBIM");
         Put32(b, r + 20, 1000000);
         Put32(b, r + 28, 1000000u * 4096u);
       },
       kFileLayerRunSizes},
      {"store of 2^30 pixels",
       [](auto& b) {
         const size_t r = Nth(b, "TLYR");
         Put32(b, r + 32, 1u << 30);
         Put32(b, r + 24, (1u << 30) / 32);
       },
       kFileLayerGeometry},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> b = good;
    c.damage(b);
    RecordingNotifySink notes;
    Loaded l;
    LoadBytes(b, l);
    EXPECT_EQ(l.result.status, c.status);
    EXPECT_TRUE(l.result.opened);
  }
  // The preview reader checks the same thumbnail fields.
  std::vector<uint8_t> b = good;
  Put32(b, Nth(b, "TTNL") + 36, 0xFFFFFFFFu);
  MemorySource src(b);
  TMTC image;
  int32_t w = 0, h = 0;
  EXPECT_EQ(ReadThumbnailFrom(src, image, w, h), kFileBadSize);
}

// --- saving ------------------------------------------------------------------------------------

TEST(NativeSave, FailedWriteLeavesTheOldFileByteIdentical) {
  RecordingNotifySink notes;
  TPaper p;
  TFlowImage f(p);
  test::BuildRichPicture(p, f);
  ScratchDir dir;
  const std::string path = dir.File("pic.tci");
  const std::vector<uint8_t> old = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
  ASSERT_TRUE(WriteFileAtomic(path, old.data(), old.size()));
  // Writes past 16 KiB fail as on a full disk (the limit stops the temporary file midway).
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 16384;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const NativeSaveResult r = SaveNativeFile(path, p, kAll);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(r.saved);
  EXPECT_EQ(r.status, kFileShortWrite);
  std::vector<uint8_t> now;
  ASSERT_TRUE(ReadWholeFile(path, now));
  EXPECT_EQ(now, old);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"pic.tci"});
  ASSERT_FALSE(notes.warnings.empty());
  EXPECT_EQ(notes.warnings.front().rfind("ﾚｲﾔ (\"", 0), 0u) << notes.warnings.front();
  EXPECT_NE(notes.warnings.front().find("の保存に失敗しました! (err=8)"), std::string::npos);
  // With room again the same save replaces the file.
  EXPECT_TRUE(SaveNativeFile(path, p, kAll).saved);
  ASSERT_TRUE(ReadWholeFile(path, now));
  EXPECT_EQ(now, Written(p, kAll));
}

TEST(NativeSave, ALayerTheFileCannotHoldFailsTheSaveAndIsCutOut) {
  RecordingNotifySink notes;
  TPaper p;
  TFlowImage f(p);
  test::BuildSmallPicture(p, f);
  // A store wider than any picture a reader accepts.
  ASSERT_TRUE(p.Layer(1)->pixels->Create(kNativeMaxSide + 1, 40));
  MemorySink sink;
  const NativeSaveResult r = WriteNativeFile(sink, p, kAll);
  EXPECT_FALSE(r.saved);
  EXPECT_EQ(r.status, kFileLayerGeometry);
  EXPECT_EQ(notes.warnings, std::vector<std::string>{"ﾚｲﾔ (\"top\") の保存に失敗しました! (err=22)"});
  // The failed layer left nothing behind: the masks follow the first layer's runs directly.
  const auto blocks = WalkBlocks(sink.bytes);
  int layers = 0;
  for (const auto& b : blocks) layers += b.id == "TLYR";
  EXPECT_EQ(layers, 1);
  ScratchDir dir;
  const std::string path = dir.File("x.tci");
  EXPECT_FALSE(SaveNativeFile(path, p, kAll).saved);
  EXPECT_TRUE(dir.Entries().empty());
}

// A sink whose n-th write stops halfway, as on a full disk.
class FlakySink : public MemorySink {
 public:
  explicit FlakySink(int failingWrite) : failing_(failingWrite) {}
  bool Write(const void* data, size_t n) override {
    if (++writes_ != failing_) return MemorySink::Write(data, n);
    MemorySink::Write(data, n / 2);
    return false;
  }

 private:
  int failing_, writes_ = 0;
};

TEST(NativeSave, AThumbnailThatCannotBeWrittenIsLeftOutALayerFailsTheSave) {
  TPaper p;
  TFlowImage f(p);
  test::BuildSmallPicture(p, f);
  const std::string layer0 = p.Layer(0)->name;
  {
    // Write 2 is the thumbnail: cut out again, its flag cleared, the rest saved.
    RecordingNotifySink notes;
    FlakySink sink(2);
    const NativeSaveResult r = WriteNativeFile(sink, p, kAll);
    EXPECT_TRUE(r.saved);
    EXPECT_EQ(r.status, kFileShortWrite);
    EXPECT_EQ(r.contents, kNativeLayers | kNativeMasks);
    EXPECT_EQ(sink.bytes, Written(p, kNativeLayers | kNativeMasks));
    EXPECT_TRUE(notes.warnings.empty());
  }
  {
    // Write 3 is the first layer's head: the save fails and says which layer.
    RecordingNotifySink notes;
    FlakySink sink(3);
    const NativeSaveResult r = WriteNativeFile(sink, p, kAll);
    EXPECT_FALSE(r.saved);
    EXPECT_EQ(r.status, kFileShortWrite);
    EXPECT_EQ(notes.warnings,
              std::vector<std::string>{"ﾚｲﾔ (\"" + layer0 + "\") の保存に失敗しました! (err=8)"});
  }
}

// --- image blocks and thumbnails -------------------------------------------------------------

TEST(ImageBlock, AFailedWriteLeavesNoPartOfTheBlock) {
  std::vector<uint8_t> pixels(3 * 2 * 4, 0x42);
  ImageDescriptor d;
  d.width = 3;
  d.height = 2;
  FlakySink sink(2);
  ASSERT_TRUE(sink.Write("TPIM", 4));
  EXPECT_EQ(WriteImageBlock(sink, d, pixels), kFileShortWrite);
  EXPECT_EQ(sink.bytes, (std::vector<uint8_t>{'T', 'P', 'I', 'M'}));
  EXPECT_EQ(WriteImageBlock(sink, d, pixels), kFileOk);
  std::vector<uint8_t> block;
  ASSERT_EQ(EncodeImageBlock(d, pixels, block), kFileOk);
  EXPECT_EQ(std::vector<uint8_t>(sink.bytes.begin() + 4, sink.bytes.end()), block);
}

TEST(ImageBlock, ScrambleIsUndoneAndWorksPerChunk) {
  std::vector<uint8_t> bytes(40000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7);
  // Worked by hand on 9 bytes: groups of 4 reversed (the ninth stays), then bytes 0, 4 and 8
  // XORed with ~0x0F = 0xF0.
  std::vector<uint8_t> nine{1, 2, 3, 4, 5, 6, 7, 8, 9};
  ScrambleBytes(nine, 4, 0x0F, 3);
  EXPECT_EQ(nine, (std::vector<uint8_t>{4 ^ 0xF0, 3, 2, 1, 8 ^ 0xF0, 7, 6, 5, 9 ^ 0xF0}));
  for (auto [g, k, s] : {std::tuple{4, 0x5A, 3}, {3, 0, 0}, {1, 0x00, 7}, {7, 0x11, 255}}) {
    std::vector<uint8_t> x = bytes;
    ScrambleBytes(x, uint8_t(g), uint8_t(k), uint8_t(s));
    EXPECT_NE(x, bytes);
    UnscrambleBytes(x, uint8_t(g), uint8_t(k), uint8_t(s));
    EXPECT_EQ(x, bytes);
  }
  // Each 16384-byte chunk starts its groups afresh: a group of 3 does not straddle chunks.
  std::vector<uint8_t> y(16385, 0);
  y[16383] = 1;
  y[16384] = 2;
  ScrambleBytes(y, 3, 0xFF, 255);  // key 0xFF: the XOR is with 0
  EXPECT_EQ(y[16383], 1);          // 16383 = 3 * 5461: a lone byte after the last group
  EXPECT_EQ(y[16384], 2);
}

TEST(ImageBlock, ThumbnailFitsTheBox) {
  struct Case {
    int32_t w, h, tw, th;
  } cases[] = {{100, 100, 256, 256}, {65, 33, 256, 129}, {33, 65, 129, 256},    {10000, 1, 256, 1},
               {1, 10000, 1, 256},   {3, 2, 256, 170},   {4000, 4000, 256, 256}};
  for (const auto& c : cases) {
    int32_t tw = 0, th = 0;
    ThumbnailSize(c.w, c.h, tw, th);
    EXPECT_EQ(tw, c.tw) << c.w << "x" << c.h;
    EXPECT_EQ(th, c.th) << c.w << "x" << c.h;
  }
}

TEST(ImageBlock, RoundTripAndDamagedDescriptors) {
  std::vector<uint8_t> pixels(7 * 5 * 4);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 13 + 1);
  for (uint16_t version : {uint16_t(1), uint16_t(2)}) {
    ImageDescriptor d;
    d.version = version;
    d.width = 7;
    d.height = 5;
    d.sourceWidth = 70;
    d.sourceHeight = 50;
    std::vector<uint8_t> block;
    ASSERT_EQ(EncodeImageBlock(d, pixels, block), kFileOk);
    MemorySource src(block);
    BlockReader r(src);
    ImageDescriptor got;
    std::vector<uint8_t> out;
    ASSERT_EQ(ReadImageBlock(r, got, out), kFileOk);
    EXPECT_EQ(out, pixels);
    EXPECT_EQ(got.sourceWidth, 70);
    EXPECT_EQ(r.Position(), block.size());
    struct Case {
      size_t at;
      uint32_t value;
      int width;  // bytes
      int32_t status;
    } cases[] = {
        {0, 0x4D4E5454, 4, kFileBadId},  // "TTNM"
        {8, 3, 2, kFileBadDescriptor},     {10, 1, 2, kFileBadFormat},
        {24, 8, 4, kFileBadSize},  // width disagrees with the expanded count
        {24, 0, 4, kFileBadSize},          {36, 0xFFFFFFFF, 4, kFileBadSize},
        {32, 0x7FFFFFFF, 4, kFileBadSize},                              // stored longer than the block
        {4, 0x7FFFFFF0, 4, kFilePastEnd},  {15, 255, 1, kFileBadSize},  // more extra bytes than stored bytes
    };
    for (const auto& c : cases) {
      std::vector<uint8_t> bad = block;
      if (c.width == 4)
        Put32(bad, c.at, c.value);
      else if (c.width == 2)
        Put16(bad, c.at, uint16_t(c.value));
      else
        bad[c.at] = uint8_t(c.value);
      MemorySource s2(bad);
      BlockReader r2(s2);
      EXPECT_EQ(ReadImageBlock(r2, got, out), c.status) << c.at << " version " << version;
      EXPECT_EQ(r2.Position(), 0u);
    }
    // A version-1 payload has no extra bytes.
    if (version == 1) {
      std::vector<uint8_t> bad = block;
      bad[15] = 1;
      MemorySource s2(bad);
      BlockReader r2(s2);
      EXPECT_EQ(ReadImageBlock(r2, got, out), kFileBadSize);
    }
    // The caller's side limit: a 7 x 5 image is refused below 7.
    for (auto [side, status] : {std::pair{7, kFileOk}, {6, kFileBadSize}}) {
      BlockReader r3(src);
      EXPECT_EQ(ReadImageBlock(r3, got, out, side), status) << side;
    }
  }
}

TEST(FileThumbnail, PreviewOfPictureAndEventFiles) {
  TPaper p;
  TFlowImage f(p);
  test::BuildSmallPicture(p, f);
  ScratchDir dir;
  const std::string pic = dir.File("p.tci");
  ASSERT_TRUE(SaveNativeFile(pic, p, kAll).saved);
  TMTC image;
  int32_t w = 0, h = 0;
  ASSERT_EQ(ReadFileThumbnail(pic, image, w, h), kFileOk);
  EXPECT_EQ(w, 40);
  EXPECT_EQ(h, 24);
  EXPECT_EQ(image.Width(), 256);
  EXPECT_EQ(image.Height(), 153);
  TMTC expected;
  ASSERT_TRUE(MakePictureThumbnail(p, expected));
  int64_t diff = 0;
  for (int32_t y = 0; y < 153; ++y)
    for (int32_t x = 0; x < 256; ++x) diff += *image.Pixel(x, y) != *expected.Pixel(x, y);
  EXPECT_EQ(diff, 0);
  EXPECT_EQ(*image.Pixel(0, 0) >> 24, 0xFFu);
  // An event file: the thumbnail block (version 1 for old streams), then a plain event block
  // naming the picture size.
  std::vector<uint8_t> ev;
  ASSERT_EQ(EncodeThumbnailBlock(p, EventThumbnailVersion(15), ev), kFileOk);
  EXPECT_EQ(Get16(ev, 8), 1);
  test::Bytes tevs;
  tevs.text("TEVS").u32(32 + 4).i32(321).i32(123).u16(35).u16(0).u16(4).u16(6).u32(1).u32(2).zeros(8).zeros(
      4);
  ev.insert(ev.end(), tevs.b.begin(), tevs.b.end());
  const std::string tes = dir.File("e.tes");
  ASSERT_TRUE(WriteFileAtomic(tes, ev.data(), ev.size()));
  ASSERT_EQ(ReadFileThumbnail(tes, image, w, h), kFileOk);
  EXPECT_EQ(w, 321);
  EXPECT_EQ(h, 123);
  EXPECT_EQ(image.Width(), 256);
  // An event file whose first block after the thumbnail is not an event block.
  test::Bytes odd;
  odd.text("TLYR").u32(0);
  std::vector<uint8_t> bad(ev.begin(), ev.end() - std::ptrdiff_t(tevs.size()));
  bad.insert(bad.end(), odd.b.begin(), odd.b.end());
  MemorySource src(bad);
  EXPECT_EQ(ReadThumbnailFrom(src, image, w, h), kFileBadId);
  EXPECT_EQ(ReadFileThumbnail(dir.File("none.tci"), image, w, h), kFileMissing);
}

// --- progress --------------------------------------------------------------------------------

class RecordingProgress : public INativeProgress {
 public:
  void Begin(const std::string& title, int32_t steps) override {
    calls.push_back("begin " + title + " " + std::to_string(steps));
  }
  void AddSteps(int32_t steps) override { calls.push_back("add " + std::to_string(steps)); }
  void Text(const std::string& text) override { calls.push_back(text); }
  void Step(int32_t steps) override { calls.push_back("step " + std::to_string(steps)); }
  void End() override { calls.push_back("end"); }
  std::vector<std::string> calls;
};

class EventsOfSegments : public INativeEventData {
 public:
  int32_t SaveEvents(int32_t, int32_t, std::vector<uint8_t>&) override { return kFileNoEvents; }
  int32_t LoadEvents(std::span<const uint8_t>, size_t&) override { return kFileNoRecorder; }
  void DiscardEvents() override {}
  void LoadFinished(bool) override {}
  int32_t SaveSteps() const override { return 3; }
};

TEST(NativeProgress, SaveAndLoadShowTheirStepsAndTexts) {
  RecordingNotifySink notes;
  TPaper p;
  TFlowImage f(p);
  test::BuildSmallPicture(p, f);
  const std::string layer0 = p.Layer(0)->name, mask0 = p.masks.At(0)->displayName,
                    mask1 = p.masks.At(1)->displayName;
  ScratchDir dir;
  const std::string path = dir.File("進捗.tci");
  RecordingProgress saving;
  EventsOfSegments events;
  ASSERT_TRUE(SaveNativeFile(path, p, kAll | kNativeEvents, &events, &saving).saved);
  // One step for the thumbnail, one for each of the 2 layers and 2 masks; the events add
  // one step per segment of their store.
  const std::vector<std::string> saved = {"begin 画像保存中 (進捗.tci) 5",
                                          "サムネイルを保存しています...",
                                          "step 1",
                                          layer0 + "を保存しています...",
                                          "step 1",
                                          "topを保存しています...",
                                          "step 1",
                                          mask0 + "を保存しています...",
                                          "step 1",
                                          mask1 + "を保存しています...",
                                          "step 1",
                                          "add 3",
                                          "イベントデータを保存しています...",
                                          "step 3",
                                          "end"};
  EXPECT_EQ(saving.calls, saved);
  // The header announces 2 layers and 2 masks, one step each.
  RecordingProgress loading;
  Loaded l;
  l.result = LoadNativeFile(path, l.paper, l.flow, nullptr, &loading);
  EXPECT_EQ(l.result.status, kFileOk);
  const std::vector<std::string> loaded = {"begin 画像ロード中 (進捗.tci) 4",
                                           layer0 + "をロードしています...",
                                           "step 1",
                                           "topをロードしています...",
                                           "step 1",
                                           "step 1",
                                           "step 1",
                                           "end"};
  EXPECT_EQ(loading.calls, loaded);
  // A load that stops at the header opens no dialog.
  RecordingProgress none;
  std::vector<uint8_t> bad(56, 0);
  MemorySource src(bad);
  TPaper q;
  TFlowImage g(q);
  EXPECT_EQ(ReadNativeFile(src, q, g, nullptr, "x", &none).status, kFileBadId);
  EXPECT_TRUE(none.calls.empty());
}

// --- what goes into a save -------------------------------------------------------------------

class FailingEvents : public INativeEventData {
 public:
  explicit FailingEvents(int32_t status) : status_(status) {}
  int32_t SaveEvents(int32_t, int32_t, std::vector<uint8_t>& out) override {
    out.insert(out.end(), {'T', 'E', 'V', 'P'});  // a partial block, cut again by the writer
    return status_;
  }
  int32_t LoadEvents(std::span<const uint8_t>, size_t&) override { return kFileNoRecorder; }
  void DiscardEvents() override {}
  void LoadFinished(bool) override {}

 private:
  int32_t status_;
};

TEST(NativeSave, EventsThatCannotBeWrittenAreLeftOutOfAFileThatIsSaved) {
  TPaper p;
  TFlowImage f(p);
  test::BuildSmallPicture(p, f);
  const std::vector<uint8_t> without = Written(p, kAll);
  for (int32_t status : {int32_t(kFileBadPackets), int32_t(kFileNoEvents), int32_t(kFileNoMemory)}) {
    FailingEvents events(status);
    MemorySink sink;
    const NativeSaveResult r = WriteNativeFile(sink, p, kAll | kNativeEvents, &events);
    EXPECT_TRUE(r.saved) << status;
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.contents, kAll);
    // The same bytes as a save that never asked for events: block cut, flag cleared.
    EXPECT_EQ(sink.bytes, without) << status;
  }
}

TEST(NativeSave, MasksAreSavedWhenThereAreSeveralOrTheSelectionIsInUse) {
  struct Case {
    int32_t extraMasks;
    bool channel, enabled;
    bool masksSaved;
  } cases[] = {
      {0, false, true, false},  // one mask, nothing selected
      {0, true, false, false},  // one mask with a selection that is switched off
      {0, true, true, true},    // the selection is in use
      {1, false, false, true},  // two masks
  };
  for (const Case& c : cases) {
    TPaper p;
    TFlowImage f(p);
    ASSERT_TRUE(p.NewPaper("m", f, false, false, 72, 10, 10));
    if (c.channel) {
      ASSERT_TRUE(p.masks.At(0)->CreateChannel(10, 10));
    }
    for (int32_t i = 0; i < c.extraMasks; ++i) p.masks.InsertNew(p.masks.Count());
    p.selectionEnabled = c.enabled ? 1 : 0;
    const uint32_t contents = DefaultNativeContents(p, false);
    EXPECT_EQ((contents & kNativeMasks) != 0, c.masksSaved) << c.extraMasks << c.channel << c.enabled;
    EXPECT_EQ(contents & (kNativeLayers | kNativeThumbnail), kNativeLayers | kNativeThumbnail);
    EXPECT_EQ(DefaultNativeContents(p, true) & kNativeEvents, kNativeEvents);
  }
}

TEST(NativeLayout, NamesAreStoredInTheJapaneseCodePage) {
  TPaper p;
  TFlowImage f(p);
  ASSERT_TRUE(p.NewPaper("n", f, false, false, 72, 10, 10));
  p.Layer(0)->name = "背景";
  std::vector<uint8_t> head;
  EncodeLayerHead(*p.Layer(0), false, head);
  ASSERT_EQ(head.size(), 80u + 8);
  EXPECT_EQ(Get32(head, 4), 72u + 8);
  EXPECT_EQ(Get16(head, 60), 5);
  EXPECT_EQ(std::vector<uint8_t>(head.begin() + 80, head.end()),
            (std::vector<uint8_t>{0x94, 0x77, 0x8C, 0x69, 0, 0, 0, 0}));
  // The clipboard copy of the head carries its mark.
  head.clear();
  EncodeLayerHead(*p.Layer(0), true, head);
  EXPECT_EQ(Get16(head, 12) & kLayerClipboardCopy, kLayerClipboardCopy);
}

}  // namespace
}  // namespace tintara
