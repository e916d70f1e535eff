#include "document/Paper.h"

#include <array>
#include <cstring>

#include "pixel/ChannelOps.h"
#include "pixel/ColorOps.h"
#include "platform/Debug.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

IPaperHost& DefaultHost() {
  static IPaperHost host;
  return host;
}

constexpr int32_t kNavThumbSide = 160;

}  // namespace

SPixRect StoreToPaperRect(const CLayerData& layer, const TRect& r) {
  return {r.left - layer.viewX, r.top - layer.viewY, r.right - r.left, r.bottom - r.top};
}

TRect PaperToStoreRect(const CLayerData& layer, const SPixRect& r) {
  return {r.x + layer.viewX, r.y + layer.viewY, r.x + layer.viewX + r.width, r.y + layer.viewY + r.height};
}

// --- flow image -------------------------------------------------------------------------

bool TFlowImage::LoadLayer(int32_t layerIndex, const CLayerData& layer, bool force) {
  if (!layer.pixels) return false;
  CBlockVMTC& store = *layer.pixels;
  const int32_t W = std::max(work.IsValid() ? work.Width() : 0, store.Width());
  const int32_t H = std::max(work.IsValid() ? work.Height() : 0, store.Height());
  bool reloaded = false;
  if (!work.IsValid() || work.Width() < W || work.Height() < H) {
    if (!work.Resize(W, H) || !workMask.Resize(W, H)) {
      loadState = 0;
      return false;
    }
    store.ReadRect(work, {0, 0}, false, 255, store.Bounds());
    FillAll8(workMask, 0);
    reloaded = true;
  } else if (force || loadedId != layer.id || loadState != 1) {
    store.Compact();
    store.ReadRect(work, {0, 0}, false, 255, store.Bounds());
    FillAll8(workMask, 0);
    reloaded = true;
  }
  if (reloaded) {
    loadedLayer = layerIndex;
    loadedId = layer.id;
    loadState = 1;
  }
  viewX = layer.viewX;
  viewY = layer.viewY;
  paperWidth = paper_.width;
  paperHeight = paper_.height;
  paper_.Host().StrokeTarget(layerIndex, layer.protectAlpha != 0);
  return reloaded;
}

void TFlowImage::FitToLayers(bool exact) {
  int32_t w, h;
  if (!paper_.MaxStoreSize(w, h)) return;
  if (!exact && work.IsValid()) {
    w = std::max(w, work.Width());
    h = std::max(h, work.Height());
  }
  if (work.IsValid() && w == work.Width() && h == work.Height()) return;
  loadState = 0;
  if (work.Resize(w, h)) FillAll(work, 0x00FFFFFF);
  if (workMask.Resize(w, h)) FillAll8(workMask, 0);
  viewX = viewY = 0;
  paperWidth = paper_.width;
  paperHeight = paper_.height;
}

// --- creation -----------------------------------------------------------------------------

TPaper::TPaper(IPaperHost* host, const PaperSettings& s) : settings(s), host_(host ? host : &DefaultHost()) {
  composite.contextFlag = viewBuffer.contextFlag = plainBuffer.contextFlag = 1;
  try {
    viewScaler = std::make_unique<CScaleImageTMTC>(&composite, &viewBuffer);
  } catch (const std::bad_alloc&) {
    DebugOut("failed to create viewScaler!");
  }
  try {
    undo = std::make_unique<CUndoMngrEx>(*this, settings.undoMax);
  } catch (const std::bad_alloc&) {
    DebugOut("failed to create undoMngrEx!");
  }
  InstallLayerUndo();
  created_ = viewScaler != nullptr;
}

TPaper::~TPaper() {
  // Undo records hold layers and masks: they go first; the layers last.
  viewScaler.reset();
  undo.reset();
  layers.ClearAll();
}

// --- layers -----------------------------------------------------------------------------------

bool TPaper::MaxStoreSize(int32_t& w, int32_t& h) const {
  if (layers.Count() == 0) return false;
  w = h = 0;
  for (int32_t i = 0; i < layers.Count(); ++i) {
    const CLayerData* l = layers.At(i);
    if (!l->pixels) continue;
    w = std::max(w, l->pixels->Width());
    h = std::max(h, l->pixels->Height());
  }
  return w > 0 && h > 0;
}

TPoint TPaper::LayerOffset(int32_t i) const {
  const CLayerData* l = layers.At(i);
  return l ? TPoint{l->viewX, l->viewY} : TPoint{0, 0};
}

SPixRect TPaper::ToLayer(int32_t i, const SPixRect& r) const {
  const TPoint o = LayerOffset(i);
  return {r.x + o.x, r.y + o.y, r.width, r.height};
}

SPixRect TPaper::ToPaper(int32_t i, const SPixRect& r) const {
  const TPoint o = LayerOffset(i);
  return {r.x - o.x, r.y - o.y, r.width, r.height};
}

void TPaper::ToLayer(int32_t i, float& x, float& y) const {
  const TPoint o = LayerOffset(i);
  x += float(o.x);
  y += float(o.y);
}

bool TPaper::ActivateLayer(TFlowImage& flow, int32_t i) {
  CLayerData* l = layers.At(i);
  if (!l) return false;
  layers.SetActive(i);
  host_->StrokeTarget(i, l->protectAlpha != 0);
  if (!flow.LoadLayer(i, *l, false) && flow.work.IsValid() && l->pixels) {
    // Nothing was reloaded: read the layer back anyway so nothing stale remains.
    l->pixels->ReadRect(flow.work, {0, 0}, false, 255, l->pixels->Bounds());
    FillAll8(flow.workMask, 0);
  }
  return true;
}

int32_t TPaper::AddLayer(int32_t index, int32_t w, bool visible, uint8_t opacity, int32_t modeByte,
                         int32_t h) {
  const CLayerData* below = layers.At(index - 1);
  if (!below) below = layers.At(layers.Count() - 1);
  const int32_t groupLevel = below ? below->groupLevel : 0;
  const int32_t at = layers.Add(index, w, visible, opacity, level == 0, modeByte, h);
  if (at < 0) return -1;
  CLayerData* l = layers.At(at);
  l->SetGroupLevel(groupLevel);
  if (level == 0 && EffectiveMode(uint32_t(modeByte)) < 3) l->SetOpaque();
  return at;
}

bool TPaper::CanAddLayer(int32_t mode) const {
  if (!layers.CanAdd()) return false;
  return mode < 0 || mode <= 21;
}

// --- attributes -----------------------------------------------------------------------------

void TPaper::SetPaperColor(uint32_t colour, bool record) {
  if (record) BeginOp();
  const uint32_t old = paperColor;
  paperColor = colour;
  if (record) {
    Journal(PaperOp::kPaperColor, -1, {int32_t(old), int32_t(colour)});
    if (undo && undo->CanUndo()) {
      AttributeValue before, after;
      before.number = old;
      after.number = colour;
      PushUndo(MakeAttributeRecord(17, -1, before, after));
    }
  }
  RecompositeAll(true);
}

namespace {
bool IsWhite(uint32_t c) { return (c & 0x00FFFFFFu) == 0x00FFFFFFu; }
}  // namespace

bool TPaper::SetPaperColorOn(bool on) {
  if (!IsWhite(paperColor) || (paperColorOn != 0) == on) return false;
  paperColorOn = on ? 1 : 0;
  RecompositeAll(true);
  return true;
}

bool TPaper::SetShowChecker(bool on) {
  if (!IsWhite(paperColor) || (showChecker != 0) == on) return false;
  showChecker = on ? 1 : 0;
  RecompositeAll(true);
  return true;
}

void TPaper::SetGrid(bool on, int32_t sx, int32_t sy, bool redraw) {
  gridOn = on ? 1 : 0;
  gridX = std::max(2, sx);
  gridY = std::max(2, sy);
  if (redraw) RecompositeAll(true);
  InvalidateView(false);
}

void TPaper::FitNavThumb() {
  const int64_t w = std::max(1, width), h = std::max(1, height);
  int64_t tw = kNavThumbSide, th = kNavThumbSide;
  if (w >= h)
    th = std::max<int64_t>(1, kNavThumbSide * h / w);
  else
    tw = std::max<int64_t>(1, kNavThumbSide * w / h);
  if (navThumb.Resize(int32_t(tw), int32_t(th))) FillAll(navThumb, 0xFFFFFFFF);
}

void TPaper::SetPaperSize(TFlowImage& flow, int32_t w, int32_t h) {
  width = w;
  height = h;
  layers.SetPaperSize(w, h);
  masks.SetPaperSize(w, h);
  masks.RefreshAllThumbnails();
  flow.FitToLayers(false);
  composite.Resize(w, h);
  FitNavThumb();
  host_->ScrollRangesChanged();
}

// --- compositing ------------------------------------------------------------------------------

void TPaper::CompositeLayer(CLayerData& L, const SPixRect& rect, uint8_t opacity, SRandomState& random) {
  if (!L.pixels || !L.pixels->IsValid() || opacity == 0) return;
  CBlockVMTC& store = *L.pixels;
  const int32_t code = L.Mode();
  MergeParam storage;
  const MergeFn merge = ChooseLayerMerge(kModeNormal, code, 0x30003, storage).fn;
  const PixelProc proc = level == 0 ? LevelZeroTileProc(code) : BlendWithAlpha(code);
  const BlendRowProc row = BlendWithAlphaRow(code);
  const bool useRow = paperColorOn && level != 0;
  auto apply = [&](uint32_t* dst, const uint32_t* src, int32_t n) {
    if (useRow)
      row(dst, src, n, opacity);
    else if (paperColorOn)
      for (int32_t k = 0; k < n; ++k) proc(dst + k, src[k], opacity);
    else
      for (int32_t k = 0; k < n; ++k) merge(dst + k, src[k], opacity);
  };

  // The layer being stroked shows its working copy, wherever it holds anything.
  const TMTC* work = strokeFlow_ && strokeFlow_->Holds(L) ? &strokeFlow_->work : nullptr;
  if (work && !L.ditherOn) {
    const SPixRect part =
        Intersect(Intersect(ToPixRect(PaperToStoreRect(L, rect)), store.Bounds()), work->Bounds());
    for (int32_t sy = part.y; sy < part.Bottom(); ++sy)
      apply(composite.Row32(sy - L.viewY) + (part.x - L.viewX), work->Row32(sy) + part.x, part.width);
    return;
  }

  if (L.ditherOn) {
    // Dither: one draw per pixel of the rectangle, row by row, from a copy of the layer's
    // state (kept by the caller across bands), so that repeated recomposites give the same
    // pixels whatever the tiles hold.
    for (int32_t y = rect.y; y < rect.Bottom(); ++y) {
      uint32_t* out = composite.Row32(y);
      const int32_t sy = y + L.viewY;
      for (int32_t x = rect.x; x < rect.Right(); ++x) {
        const uint32_t draw = Draw(random);
        const int32_t sx = x + L.viewX;
        if (sx < 0 || sy < 0 || sx >= store.Width() || sy >= store.Height()) continue;
        const uint32_t s =
            work && sx < work->Width() && sy < work->Height() ? work->Row32(sy)[sx] : store.GetPixel(sx, sy);
        if (draw < Mul8(L.ditherAmount, s >> 24)) apply(out + x, &s, 1);
      }
    }
    return;
  }

  // Only where the layer holds anything, in store coordinates.
  const TRect storeRect = PaperToStoreRect(L, rect);
  const SDirtyRegion& region = store.Region();
  uint32_t fillRow[64];
  for (int32_t ri = 0; ri < region.count; ++ri) {
    const SPixRect part = Intersect(ToPixRect(region.rects[ri]), ToPixRect(storeRect));
    store.ForEachPiece(part, [&](STileRec& t, const SPixRect& p) {
      if (!t.allocated && (t.fill >> 24) == 0) return;  // nothing to show
      if (!t.allocated)
        for (int32_t k = 0; k < p.width; ++k) fillRow[k] = t.fill;
      for (int32_t y = p.y; y < p.Bottom(); ++y) {
        uint32_t* dst = composite.Row32(y - L.viewY) + (p.x - L.viewX);
        const uint32_t* src =
            t.allocated ? reinterpret_cast<const uint32_t*>(t.view->Row8(y - t.y0)) + (p.x - t.x0) : fillRow;
        apply(dst, src, p.width);
      }
    });
  }
}

void TPaper::Recomposite(const SPixRect& rect, bool drawGrid) {
  const SPixRect r = composite.Clip(rect);
  if (r.IsEmpty()) return;
  // The group-opacity stack: entry L is the latest layer at level L; entries above it are
  // cleared whenever it is written, so only ancestors are ever multiplied in.
  const int32_t n = layers.Count();
  std::vector<uint8_t> effective(size_t(n), 0);
  std::vector<SRandomState> random(static_cast<size_t>(n));
  std::array<uint8_t, kMaxGroupLevel + 1> stack;
  stack.fill(255);
  int32_t top = 0;
  for (int32_t i = 0; i < n; ++i) {
    const CLayerData& L = *layers.At(i);
    const int32_t lv = std::clamp(L.groupLevel, 0, kMaxGroupLevel);
    stack[size_t(lv)] = L.opacity;
    for (int32_t k = lv + 1; k <= top; ++k) stack[size_t(k)] = 255;
    top = lv;
    random[size_t(i)] = L.random;  // dither draws from a copy of the stored state
    if (!L.visible) continue;
    uint8_t eff = L.opacity;
    for (int32_t k = lv - 1; k >= 0; --k) eff = Mul8(eff, stack[size_t(k)]);
    effective[size_t(i)] = eff;
  }
  // Band by band, every layer in turn, so that the band of the composite stays in the cache.
  constexpr int32_t kBand = 32;
  for (int32_t y = r.y; y < r.Bottom();) {
    const int32_t h = std::min(kBand - (y & (kBand - 1)), r.Bottom() - y);
    const SPixRect band{r.x, y, r.width, h};
    if (paperColorOn)
      MaskedWrite(composite, band, paperColor, 0x00FFFFFF);
    else
      FillRect(composite, band, 0x00FFFFFF);
    for (int32_t i = 0; i < n; ++i)
      if (effective[size_t(i)] > 0)
        CompositeLayer(*layers.At(i), band, effective[size_t(i)], random[size_t(i)]);
    y += h;
  }
  if (drawGrid) DrawGrid(r);
}

void TPaper::RecompositeAll(bool drawGrid) {
  Recomposite(composite.Bounds(), drawGrid);
  InvalidateView(false);
}

bool TPaper::FlatPicture(TTC& out) {
  const bool paperOff = paperColorOn == 0;
  const uint32_t oldColour = paperColor;
  if (paperOff) {
    paperColor = 0x00FFFFFF;
    paperColorOn = 1;
  }
  RecompositeAll(false);
  const bool ok = out.Resize(width, height);
  if (ok) {
    CopyRect(out, {0, 0}, composite, composite.Bounds());
    SetAlphaAll(out, 255);
  }
  if (paperOff) {
    paperColorOn = 0;
    paperColor = oldColour;
  }
  RecompositeAll(gridOn != 0);
  return ok;
}

void TPaper::DrawGrid(const SPixRect& rect) {
  if (!gridOn) return;
  const SPixRect r = composite.Clip(rect);
  if (r.IsEmpty()) return;
  auto line = [this](uint32_t* p) {
    if (!paperColorOn) {
      const uint32_t a = *p >> 24;
      if (a == 0)
        *p = 0xFFFFFFFF;
      else if (a != 255)
        *p = 0xFF000000u | uint32_t(Lerp8(ChR(*p), 255, a)) << 16 | uint32_t(Lerp8(ChG(*p), 255, a)) << 8 |
             Lerp8(ChB(*p), 255, a);
    }
    BlendMultiply(p, 0x00D0D0D0, 255);
  };
  for (int32_t y = r.y; y < r.Bottom(); ++y) {
    uint32_t* row = composite.Row32(y);
    const bool horizontal = y % gridY == 0;
    for (int32_t x = r.x; x < r.Right(); ++x) {
      if (x % gridX == 0) line(row + x);
      if (horizontal) line(row + x);
    }
  }
}

void TPaper::UpdateThumbnails(bool skipLayer, int32_t i, const SPixRect& rect) {
  if (!skipLayer) {
    if (CLayerData* l = layers.At(i)) {
      l->RenderThumbnail(rect);
      if (!IsReplaying()) host_->LayerWindowChanged(i);
    }
  }
  if (!navThumb.IsValid() || !composite.IsValid() || width < 1 || height < 1) return;
  const double sx = double(navThumb.Width()) / width, sy = double(navThumb.Height()) / height;
  const int32_t l = int32_t(rect.x * sx) - 1, t = int32_t(rect.y * sy) - 1;
  const int32_t r = int32_t(rect.Right() * sx) + 2, b = int32_t(rect.Bottom() * sy) + 2;
  const SPixRect part = navThumb.Clip({l, t, r - l, b - t});
  BoxAverage(composite, composite.Bounds(), navThumb, navThumb.Bounds(), &part);
  if (!paperColorOn) {
    if (showChecker)
      UnderChecker(navThumb, part, 0, 0, 8, 8, 0x00E0E0E0, 0x00C8C8C8);
    else
      UnderColour(navThumb, part, 0x00FFFFFF);
  }
}

TPaper::Memory TPaper::MemoryUsage() const {
  Memory m;
  m.layers = layers.LayersMemory();
  m.undo = undo ? undo->MemoryUsed() : layers.OwnUndoMemory();
  m.total = int64_t(composite.Width()) * composite.Height() * 9 + m.layers + viewBuffer.ByteSize() +
            plainBuffer.ByteSize() + masks.Memory() + m.undo;
  return m;
}

// --- edits ---------------------------------------------------------------------------------

void TPaper::CommitRect(TFlowImage& flow, int32_t i, bool commit, const TRect& storeRect) {
  CLayerData* l = layers.At(i);
  if (l && l->pixels && flow.work.IsValid()) {
    const SPixRect r = flow.work.Clip(ToPixRect(storeRect));
    if (!flow.Holds(*l)) {
      // The working copy holds something else: never write it into this layer.
      flow.LoadLayer(i, *l, true);
    } else if (!r.IsEmpty()) {
      if (commit) {
        l->pixels->WriteRect(flow.work, {r.x, r.y}, 255, r);
        l->pixels->Compact();
      } else {
        l->pixels->ReadRect(flow.work, {r.x, r.y}, false, 255, r);
      }
    }
  }
  if (flow.workMask.IsValid()) FillAll8(flow.workMask, 0);
}

void TPaper::FinishEdit(TFlowImage& flow, int32_t i, bool commit, const TRect& storeRect) {
  CommitRect(flow, i, commit, storeRect);
  CLayerData* l = layers.At(i);
  if (!l) return;
  const SPixRect r = StoreToPaperRect(*l, storeRect);
  Recomposite(r, true);
  UpdateThumbnails(false, i, r);
  InvalidateView(false);
  host_->LayerWindowChanged(-1);
  host_->SelectionWindowChanged();
}

void TPaper::FinishWholeLayerEdit(TFlowImage& flow, int32_t i) {
  flow.Invalidate();
  RecompositeAll(true);
  CLayerData* l = layers.At(i);
  if (l) {
    l->RenderThumbnail();
    if (i != ActiveIndex()) host_->LayerWindowChanged(i);
  }
  UpdateThumbnails(true, i, composite.Bounds());
}

// --- levels --------------------------------------------------------------------------------

void TPaper::SetLevel(int32_t n) {
  n = std::clamp(n, 0, 2);
  strokeProc = n == 0 ? StrokeEngine::kDirect : n == 1 ? StrokeEngine::kDabs : StrokeEngine::kManager;
  // Level-0 papers keep undo per layer instead.
  if (n == 0) undo.reset();
  levelMax = uint8_t(std::max<int32_t>(levelMax, n));
  level = uint8_t(n);
}

bool TPaper::SwitchLevel(int32_t n) {
  if (strokeRunning || IsReplaying()) return false;
  if (n > levelMax || (n != 1 && n != 2)) return false;
  SetLevel(n);
  return true;
}

// --- new picture ----------------------------------------------------------------------------

bool TPaper::NewPaper(const std::string& t, TFlowImage& flow, bool transparent, bool noPaperColor, int32_t d,
                      int32_t h, int32_t w) {
  // The numbers may come from a packet: check them whatever their source.
  if (!created_ || w < 1 || h < 1 || w > kMaxPaperSide || h > kMaxPaperSide || d <= 0) return false;
  WaitCursor busy;
  title = t;
  dpi = d;
  paperColorOn = noPaperColor ? 0 : 1;
  SetPaperSize(flow, w, h);
  const int32_t at = AddLayer(0, w, true, 255, level == 0 ? kModeMultiply : kModeNormal, h);
  if (at < 0) return false;
  layers.NameLayer(at, 1);
  CLayerData& l = *layers.At(at);
  l.SetNeutral();
  if (level != 0 && transparent) {
    l.SetAlpha(0);
    l.ClearThumbnail(true);
  } else {
    l.SetAlpha(255);
    l.ClearThumbnail(false);
  }
  ActivateLayer(flow, 0);
  RecompositeAll(true);
  Journal(PaperOp::kNewPicture, 0, {w, h, transparent, noPaperColor, dpi});
  initialised = 1;
  InvalidateView(false);
  return true;
}

}  // namespace tintara
