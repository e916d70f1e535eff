// A picture as plain values, for tests that compare two pictures (undo against history,
// a replay against the live picture): every layer's pixels and attributes in order, every
// mask by what it selects, the paper's own values and the composite.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "document/Paper.h"

namespace tintara {

// Everything undo must bring back: the layers (pixels, attributes, order, ids), the masks,
// the paper's own values and the composite that the window shows.
struct LayerSnap {
  int32_t id, groupLevel, viewX, viewY, width, height;
  std::string name;
  uint8_t opacity, mode, visible, ditherOn, ditherAmount, protectAlpha;
  std::vector<uint32_t> pixels;
  bool operator==(const LayerSnap&) const = default;
};

// Masks compare by what they select, not by how their channel is laid out: inverting a small
// mask grows it to the paper, and inverting back keeps the grown channel.
struct MaskSnap {
  std::string name;
  bool hasChannel;
  std::vector<uint8_t> coverage;  // over the paper and a margin around it
  int64_t total;                  // the sum over the whole channel, wherever it lies
  bool operator==(const MaskSnap&) const = default;
};

struct Snapshot {
  int32_t width = 0, height = 0;
  uint32_t paperColor = 0;
  std::vector<LayerSnap> layers;
  int32_t maskActive = -1;
  uint8_t selectionVisible = 0, selectionEnabled = 0;
  std::vector<MaskSnap> masks;
  std::vector<uint32_t> composite;
  bool operator==(const Snapshot&) const = default;
};

// `withIds`: layer ids are compared too (they are the program run's own, so a replay
// gives new ones).
inline Snapshot Take(const TPaper& p, bool withIds = true) {
  Snapshot s;
  s.width = p.width;
  s.height = p.height;
  s.paperColor = p.paperColor;
  for (int32_t i = 0; i < p.LayerCount(); ++i) {
    const CLayerData& l = *p.Layer(i);
    LayerSnap ls{withIds ? l.id : 0, l.groupLevel,   l.viewX,        l.viewY, l.pixels->Width(),
                 l.pixels->Height(), l.name,         l.opacity,      l.mode,  l.visible,
                 l.ditherOn,         l.ditherAmount, l.protectAlpha, {}};
    for (int32_t y = 0; y < l.pixels->Height(); ++y)
      for (int32_t x = 0; x < l.pixels->Width(); ++x) ls.pixels.push_back(l.pixels->GetPixel(x, y));
    s.layers.push_back(std::move(ls));
  }
  s.maskActive = p.masks.ActiveIndex();
  s.selectionVisible = p.selectionVisible;
  s.selectionEnabled = p.selectionEnabled;
  for (int32_t i = 0; i < p.masks.Count(); ++i) {
    const CMaskData& m = *p.masks.At(i);
    MaskSnap ms{m.displayName, m.HasChannel(), {}, 0};
    for (int32_t y = -8; y < p.height + 8; ++y)
      for (int32_t x = -8; x < p.width + 8; ++x) ms.coverage.push_back(m.CoverageAt(x, y));
    if (m.HasChannel())
      for (int32_t y = 0; y < m.channel->Height(); ++y)
        for (int32_t x = 0; x < m.channel->Width(); ++x) ms.total += m.channel->GetPixel(x, y);
    s.masks.push_back(std::move(ms));
  }
  // A dithered layer draws from a running random state, so its pattern depends on which
  // rectangles were composited in which order: compare the composite only without dither.
  bool dither = false;
  for (int32_t i = 0; i < p.LayerCount(); ++i) dither |= p.Layer(i)->ditherOn && p.Layer(i)->visible;
  if (!dither)
    for (int32_t y = 0; y < p.composite.Height(); ++y)
      for (int32_t x = 0; x < p.composite.Width(); ++x) s.composite.push_back(p.composite.Row32(y)[x]);
  return s;
}

// Names the first difference, so a failing step says what went wrong.
inline std::string Difference(const Snapshot& a, const Snapshot& b) {
  std::ostringstream o;
  if (a.width != b.width || a.height != b.height)
    o << "size " << a.width << "x" << a.height << " vs " << b.width << "x" << b.height;
  else if (a.paperColor != b.paperColor)
    o << "paper colour";
  else if (a.layers.size() != b.layers.size())
    o << "layer count " << a.layers.size() << " vs " << b.layers.size();
  else if (a.masks.size() != b.masks.size())
    o << "mask count " << a.masks.size() << " vs " << b.masks.size();
  else if (a.maskActive != b.maskActive)
    o << "active mask";
  else if (a.selectionVisible != b.selectionVisible || a.selectionEnabled != b.selectionEnabled)
    o << "switches";
  else {
    for (size_t i = 0; i < a.layers.size(); ++i) {
      const LayerSnap &x = a.layers[i], &y = b.layers[i];
      if (x.id != y.id)
        o << "layer " << i << " id " << x.id << " vs " << y.id;
      else if (x.pixels != y.pixels)
        o << "layer " << i << " pixels";
      else if (!(x == y))
        o << "layer " << i << " attributes";
      if (o.tellp() > 0) return o.str();
    }
    for (size_t i = 0; i < a.masks.size(); ++i)
      if (!(a.masks[i] == b.masks[i])) {
        o << "mask " << i;
        return o.str();
      }
    if (a.composite != b.composite) o << "composite";
  }
  return o.str();
}

}  // namespace tintara
