// Pictures for the native-file tests: a rich one with every kind of layer and mask, a small
// one for damaged-file tables, and an exact comparison of two papers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "document/Paper.h"
#include "pixel/ByteIO.h"

namespace tintara::test {

// Deterministic pixel noise.
inline uint32_t Noise(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state;
}

inline void PaintNoise(CBlockVMTC& s, const SPixRect& r, uint32_t seed) {
  for (int32_t y = r.y; y < r.Bottom(); ++y)
    for (int32_t x = r.x; x < r.Right(); ++x) s.SetPixel(x, y, Noise(seed));
}
inline void PaintFlat(CBlockVMTC& s, const SPixRect& r, uint32_t colour) {
  for (int32_t y = r.y; y < r.Bottom(); ++y)
    for (int32_t x = r.x; x < r.Right(); ++x) s.SetPixel(x, y, colour);
}

// 101 x 70 at 144 dpi: the bottom layer and one layer of each of the 22 modes, with opacities,
// groups, dither, protect alpha, names of every padding, stores larger than the paper with view
// offsets, painted, flat and empty tiles; four masks (with and without channel, offsets on
// both sides); a paper colour, the checker switch and the selection switches.
inline void BuildRichPicture(TPaper& p, TFlowImage& f) {
  ASSERT_TRUE(p.NewPaper("rich", f, false, false, 144, 70, 101));
  p.paperColor = 0x00E0D0C0;
  p.showChecker = 1;
  PaintNoise(*p.Layer(0)->pixels, {0, 0, 40, 33}, 7);
  PaintFlat(*p.Layer(0)->pixels, {50, 10, 51, 60}, 0xFF336699);
  p.Layer(0)->pixels->Compact();
  const char* names[] = {"", "abc", "abcd", "背景レイヤ", "layer with a longer name"};
  for (int32_t m = 0; m <= 21; ++m) {
    int32_t w = 101, h = 70, vx = 0, vy = 0;
    if (m % 4 == 1) w = 150, h = 90, vx = 13, vy = 7;
    if (m % 4 == 2) w = 129, h = 97, vx = 28, vy = 27;
    const int32_t at = p.AddLayer(p.LayerCount(), w, m % 3 != 0, uint8_t(255 - 7 * m), m, h);
    ASSERT_GE(at, 0);
    CLayerData& l = *p.Layer(at);
    l.viewX = vx;
    l.viewY = vy;
    l.protectAlpha = uint8_t(m % 2);
    l.ditherOn = m % 5 == 0;
    l.ditherAmount = uint8_t(10 * m);
    Seed(l.random, 1000u + uint32_t(m), 0, 255);
    l.SetGroupLevel(m % 3);
    l.name = names[m % 5];
    if (m % 5 == 4) l.name += std::to_string(m);
    PaintNoise(*l.pixels, {m, 2 * m, 35 + m, 20}, uint32_t(m + 1));
    if (m % 2 == 0) PaintFlat(*l.pixels, {0, 40, w, 30}, 0x80FF0000u | uint32_t(m));
    if (m == 7) PaintNoise(*l.pixels, {0, 0, w, h}, 99);  // every tile painted
    l.pixels->Compact();
    l.RenderThumbnail();
  }
  // Masks: the default one without channel, then three more.
  CMaskMngr& masks = p.masks;
  const int32_t i1 = masks.InsertNew(masks.Count());
  CMaskData& m1 = *masks.At(i1);
  EXPECT_TRUE(m1.CreateChannel(80, 60));
  m1.offsetX = -5, m1.offsetY = 9;
  for (int32_t y = 0; y < 60; ++y)
    for (int32_t x = 0; x < 80; ++x) m1.channel->SetPixel(x, y, uint8_t((x * 3 + y * 5) & 0xFF));
  const int32_t i2 = masks.InsertNew(masks.Count());
  CMaskData& m2 = *masks.At(i2);
  EXPECT_TRUE(m2.CreateChannel(200, 130));
  m2.offsetX = 30, m2.offsetY = -20;
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 128; ++x) m2.channel->SetPixel(x, y, 255);
  m2.channel->SetPixel(150, 100, 17);
  m2.channel->Compact();
  const int32_t i3 = masks.InsertNew(masks.Count());
  masks.At(i3)->displayName = "空のマスク";
  masks.Activate(i1);
  masks.RefreshAllThumbnails();
  p.selectionVisible = 1;
  p.selectionEnabled = 0;
  p.ActivateLayer(f, 5);
  p.RecompositeAll(true);
}

// 40 x 24 with two layers and a mask, small enough to damage at every offset.
inline void BuildSmallPicture(TPaper& p, TFlowImage& f) {
  ASSERT_TRUE(p.NewPaper("small", f, true, false, 72, 24, 40));
  PaintNoise(*p.Layer(0)->pixels, {0, 0, 40, 24}, 3);
  const int32_t at = p.AddLayer(1, 70, true, 200, kModeScreen, 40);
  ASSERT_GE(at, 0);
  p.Layer(at)->name = "top";
  p.Layer(at)->viewX = 4;
  PaintFlat(*p.Layer(at)->pixels, {33, 0, 20, 10}, 0xFF00FF00);
  PaintNoise(*p.Layer(at)->pixels, {0, 20, 20, 3}, 11);
  EXPECT_TRUE(p.masks.At(0)->CreateChannel(40, 24));
  p.masks.At(0)->channel->SetPixel(3, 4, 200);
  p.masks.InsertNew(1);
  p.RecompositeAll(true);
}

inline int64_t CountPixelDifferences(const CBlockVMTC& a, const CBlockVMTC& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return -1;
  int64_t n = 0;
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x) n += a.GetPixel(x, y) != b.GetPixel(x, y);
  return n;
}

inline int64_t CountMaskDifferences(const CBlockVCH& a, const CBlockVCH& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return -1;
  int64_t n = 0;
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x) n += a.GetPixel(x, y) != b.GetPixel(x, y);
  return n;
}

// What a comparison leaves out: a replayed picture has layer seeds of its own and may keep
// uniform tiles allocated.
struct CompareOptions {
  bool seeds = true;
  bool allocation = true;
  bool counters = true;  // the counters that number default layer and mask names
};

inline void ExpectSamePicture(const TPaper& a, const TPaper& b, CompareOptions o = {}) {
  EXPECT_EQ(a.width, b.width);
  EXPECT_EQ(a.height, b.height);
  EXPECT_EQ(a.dpi, b.dpi);
  EXPECT_EQ(a.paperColor & 0xFFFFFF, b.paperColor & 0xFFFFFF);
  EXPECT_EQ(a.paperColorOn, b.paperColorOn);
  EXPECT_EQ(a.showChecker, b.showChecker);
  EXPECT_EQ(a.selectionVisible, b.selectionVisible);
  EXPECT_EQ(a.selectionEnabled, b.selectionEnabled);
  ASSERT_EQ(a.LayerCount(), b.LayerCount());
  EXPECT_EQ(a.ActiveIndex(), b.ActiveIndex());
  if (o.counters) {
    EXPECT_EQ(a.layers.NameCounter(), b.layers.NameCounter());
  }
  for (int32_t i = 0; i < a.LayerCount(); ++i) {
    const CLayerData& x = *a.Layer(i);
    const CLayerData& y = *b.Layer(i);
    SCOPED_TRACE("layer " + std::to_string(i));
    EXPECT_EQ(x.name, y.name);
    EXPECT_EQ(x.mode, y.mode);
    EXPECT_EQ(x.opacity, y.opacity);
    EXPECT_EQ(x.visible, y.visible);
    EXPECT_EQ(x.protectAlpha, y.protectAlpha);
    EXPECT_EQ(x.ditherOn, y.ditherOn);
    EXPECT_EQ(x.ditherAmount, y.ditherAmount);
    if (o.seeds) {
      EXPECT_EQ(x.random.seed, y.random.seed);
    }
    EXPECT_EQ(x.groupLevel, y.groupLevel);
    EXPECT_EQ(x.viewX, y.viewX);
    EXPECT_EQ(x.viewY, y.viewY);
    EXPECT_EQ(x.viewWidth, y.viewWidth);
    EXPECT_EQ(x.viewHeight, y.viewHeight);
    EXPECT_EQ(x.pixels->DefaultFill(), y.pixels->DefaultFill());
    EXPECT_EQ(CountPixelDifferences(*x.pixels, *y.pixels), 0);
    if (o.allocation) {
      EXPECT_EQ(x.pixels->AllocatedTiles(), y.pixels->AllocatedTiles());
    }
  }
  ASSERT_EQ(a.masks.Count(), b.masks.Count());
  EXPECT_EQ(a.masks.ActiveIndex(), b.masks.ActiveIndex());
  if (o.counters) {
    EXPECT_EQ(a.masks.NameCounter(), b.masks.NameCounter());
  }
  for (int32_t i = 0; i < a.masks.Count(); ++i) {
    const CMaskData& x = *a.masks.At(i);
    const CMaskData& y = *b.masks.At(i);
    SCOPED_TRACE("mask " + std::to_string(i));
    EXPECT_EQ(x.displayName, y.displayName);
    ASSERT_EQ(x.HasChannel(), y.HasChannel());
    if (!x.HasChannel()) continue;
    EXPECT_EQ(x.offsetX, y.offsetX);
    EXPECT_EQ(x.offsetY, y.offsetY);
    EXPECT_EQ(CountMaskDifferences(*x.channel, *y.channel), 0);
  }
  ASSERT_EQ(a.composite.Width(), b.composite.Width());
  ASSERT_EQ(a.composite.Height(), b.composite.Height());
  int64_t diff = 0;
  for (int32_t y = 0; y < a.composite.Height(); ++y)
    for (int32_t x = 0; x < a.composite.Width(); ++x)
      diff += *a.composite.Pixel(x, y) != *b.composite.Pixel(x, y);
  EXPECT_EQ(diff, 0) << "composite pixels differ";
}

// The blocks of a file as the tests see them: id, offset and size, walked by their heads.
struct TestBlock {
  std::string id;
  size_t offset = 0;
  uint32_t size = 0;
};
inline std::vector<TestBlock> WalkBlocks(const std::vector<uint8_t>& file) {
  std::vector<TestBlock> blocks;
  size_t at = 0;
  while (at + 8 <= file.size()) {
    ByteReader r(file.data() + at + 4, 4);
    TestBlock b{std::string(reinterpret_cast<const char*>(file.data() + at), 4), at, r.u32()};
    blocks.push_back(b);
    at += 8 + size_t(b.size);
  }
  return blocks;
}

inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  ByteReader r(b.data() + at, 4);
  return r.u32();
}
inline uint16_t Get16(const std::vector<uint8_t>& b, size_t at) {
  ByteReader r(b.data() + at, 2);
  return r.u16();
}
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
inline void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}

}  // namespace tintara::test
