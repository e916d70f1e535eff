// The paper-level layer operations: each changes the layer list or one layer, reports
// itself to the journal (where its event and undo record go) and refreshes the picture.
#include <array>

#include "document/Paper.h"
#include "document/PaperUndo.h"
#include "pixel/Blend.h"
#include "pixel/ChannelOps.h"
#include "pixel/ColorOps.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

constexpr size_t kMaxNameLength = 32766;
constexpr const char* kFlattenMemoryText = "メモリ不足により正常に実行できませんでした！";
constexpr const char* kFlattenExceptionText = "例外の発生により正常に実行できませんでした！";

// Effective opacities of all layers through the group-opacity stack (as compositing sees them).
std::vector<uint8_t> EffectiveOpacities(const CLayerMngr& layers) {
  std::vector<uint8_t> eff(size_t(layers.Count()), 0);
  std::array<uint8_t, kMaxGroupLevel + 1> stack;
  stack.fill(255);
  int32_t top = 0;
  for (int32_t i = 0; i < layers.Count(); ++i) {
    const CLayerData& L = *layers.At(i);
    const int32_t lv = std::clamp(L.groupLevel, 0, kMaxGroupLevel);
    stack[size_t(lv)] = L.opacity;
    for (int32_t k = lv + 1; k <= top; ++k) stack[size_t(k)] = 255;
    top = lv;
    uint8_t e = L.opacity;
    for (int32_t k = lv - 1; k >= 0; --k) e = Mul8(e, stack[size_t(k)]);
    eff[size_t(i)] = e;
  }
  return eff;
}

bool Recording(const TPaper& p) { return p.undo && p.undo->CanUndo(); }

// The merged layer keeps every attribute of the layer it replaces (its group level, visibility,
// protection and dither included), not only its name and opacity.
constexpr int32_t kKeepLowerAttributes = 0x20000;

// What a dithered layer shows: its pixels with the ones the gate drops made transparent, the
// gate drawn row by row over the paper as the composite draws it. Parts outside the paper
// are never gated.
std::unique_ptr<CBlockVMTC> DitheredCopy(const CLayerData& L, int32_t width, int32_t height) {
  auto c = std::make_unique<CBlockVMTC>();
  if (!c->CreateCopy(*L.pixels)) return nullptr;
  SRandomState random = L.random;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t draw = Draw(random);
      const int32_t sx = x + L.viewX, sy = y + L.viewY;
      if (sx < 0 || sy < 0 || sx >= c->Width() || sy >= c->Height()) continue;
      const uint32_t v = c->GetPixel(sx, sy);
      if (draw >= Mul8(L.ditherAmount, v >> 24) && (v >> 24) != 0 && !c->SetPixel(sx, sy, v & 0x00FFFFFF))
        return nullptr;
    }
  c->Compact();
  return c;
}

}  // namespace

void TPaper::LayersChanged(TFlowImage& flow, int32_t activate) {
  flow.Invalidate();
  // The full repaint that follows starts from grey where nothing is drawn yet.
  if (!paperColorOn && plainBuffer.IsValid()) FillRect(plainBuffer, plainBuffer.Bounds(), 0x00808080);
  if (layers.Count() > 0) ActivateLayer(flow, std::clamp(activate, 0, layers.Count() - 1));
  RecompositeAll(true);
  UpdateThumbnails(true, -1, composite.Bounds());
  host_->LayerWindowChanged(-1);
  host_->SetModified();
}

int32_t TPaper::NewLayer(TFlowImage& flow, int32_t modeByte, uint32_t initialColour,
                         const std::string& name) {
  BeginOp();
  if (!CanAddLayer(EffectiveMode(uint32_t(modeByte)))) return -1;
  const int32_t before = ActiveIndex();
  const int32_t index = before + 1;
  const int32_t at = AddLayer(index, width, true, 255, modeByte, height);
  if (at < 0) return -1;
  CLayerData& l = *layers.At(at);
  l.pixels->FillAll(initialColour);
  if (name.empty())
    layers.NameLayer(at, 1);
  else
    l.name = name.substr(0, kMaxNameLength);
  l.RenderThumbnail();
  Journal(PaperOp::kAddLayer, at, {modeByte, int32_t(initialColour), name.empty() ? 0 : 1});
  if (Recording(*this)) PushUndo(std::make_unique<AddLayerRecord>(27, l.id, at, before));
  LayersChanged(flow, at);
  return at;
}

bool TPaper::DeleteLayer(TFlowImage& flow, int32_t i) {
  BeginOp();
  if (!IsValidIndex(i) || layers.Count() < 2) return false;
  Journal(PaperOp::kDeleteLayer, i);
  std::unique_ptr<CLayerData> gone = layers.Detach(i);
  if (Recording(*this)) PushUndo(std::make_unique<DeleteLayerRecord>(std::move(gone), i));
  LayersChanged(flow, std::min(i, layers.Count() - 1));
  return true;
}

int32_t TPaper::DuplicateLayer(TFlowImage& flow, int32_t i) {
  BeginOp();
  const CLayerData* src = layers.At(i);
  if (!src || !layers.CanAdd()) return -1;
  auto copy = std::make_unique<CLayerData>(i + 1, level == 0);
  if (!copy->CreatePixelsLike(*src)) {
    ShowWarning(kOutOfMemoryText);
    return -1;
  }
  const int32_t id = copy->id;
  const int32_t at = layers.Insert(i + 1, std::move(copy));
  if (at < 0) return -1;
  Journal(PaperOp::kDuplicateLayer, i, {at});
  if (Recording(*this)) PushUndo(std::make_unique<AddLayerRecord>(29, id, at, i));
  LayersChanged(flow, at);
  return at;
}

int32_t TPaper::MoveLayer(TFlowImage& flow, int32_t to, int32_t from) {
  BeginOp();
  const int32_t id = layers.IdAt(from);
  // A move that would land where the layer already is changes nothing and is not recorded.
  if (!IsValidIndex(from) || std::clamp(to, 0, layers.Count() - 1) == from) return -1;
  const int32_t at = layers.Move(to, from);
  if (at < 0) return -1;
  Journal(PaperOp::kMoveLayer, from, {at});  // where it went, as a replay must repeat it
  if (Recording(*this)) PushUndo(std::make_unique<MoveLayerRecord>(id, from, at));
  LayersChanged(flow, at);
  return at;
}

bool TPaper::MergeDown(TFlowImage& flow, int32_t i, bool older) {
  BeginOp();
  if (level == 0 ? !(i > 0 && i < layers.Count()) : !layers.CanMergeDown(i)) return false;
  bool ok;
  std::unique_ptr<CLayerData> oldLower;
  if (level == 0) {
    // Level-0 papers merge with the upper mode's per-tile procedure.
    const PixelProc proc = LevelZeroTileProc(layers.At(i)->Mode());
    const MergeFn with{[](uint32_t* p, uint32_t s, uint8_t t, const void* prm) {
                         (*static_cast<const PixelProc*>(prm))(p, s, t);
                       },
                       &proc};
    ok = layers.Merge(i - 1, i, false, kKeepLowerAttributes, nullptr, &with);
  } else {
    ok = layers.Merge(i - 1, i, true, kKeepLowerAttributes, &oldLower);
  }
  if (!ok) return false;
  Journal(older ? PaperOp::kMergeDownOld : PaperOp::kMergeDown, i);
  std::unique_ptr<CLayerData> upper = layers.Detach(i);
  if (Recording(*this) && oldLower)
    PushUndo(std::make_unique<MergeDownRecord>(std::move(upper), i, layers.IdAt(i - 1), std::move(oldLower)));
  LayersChanged(flow, i - 1);
  return true;
}

bool TPaper::FlattenVisible(TFlowImage& flow, bool keepTransparency) {
  BeginOp();
  const CLayerData* base = layers.At(0);
  if (!base || layers.VisibleCount() < 2 || !base->visible) return false;
  if (!keepTransparency && base->Mode() != kModeNormal && base->Mode() != kModeMultiply) return false;
  try {
    // A normal layer over the extents of every visible layer.
    SPixRect ext{0, 0, 0, 0};
    for (int32_t i = 0; i < layers.Count(); ++i)
      if (layers.At(i)->visible) ext = Union(ext, layers.At(i)->Bounds());
    auto flat = std::make_unique<CLayerData>(0, level == 0);
    if (!flat->CreatePixels(ext.width, ext.height, kModeNormal)) {
      ShowWarning(kFlattenMemoryText);
      return false;
    }
    flat->name = base->name;
    flat->viewX = -ext.x;
    flat->viewY = -ext.y;
    flat->viewWidth = width;
    flat->viewHeight = height;
    CBlockVMTC& store = *flat->pixels;
    store.MaskedSet(store.Bounds(), 0x00FFFFFF, NeutralColor(base->Mode()));
    const std::vector<uint8_t> eff = EffectiveOpacities(layers);
    bool ok = true;
    for (int32_t i = 0; i < layers.Count() && ok; ++i) {
      const CLayerData& L = *layers.At(i);
      if (!L.visible || !L.pixels) continue;
      const TPoint at{-L.viewX - ext.x, -L.viewY - ext.y};
      std::unique_ptr<CBlockVMTC> gated;
      if (L.ditherOn && !(gated = DitheredCopy(L, width, height))) {
        ok = false;
        break;
      }
      const CBlockVMTC& from = gated ? *gated : *L.pixels;
      if (keepTransparency) {
        MergeParam storage;
        ok = store.MergeFrom(from, at, ChooseLayerMerge(kModeNormal, L.Mode(), 0x30003, storage).fn,
                             eff[size_t(i)], 255, from.Bounds());
      } else {
        ok = store.BlendFrom(from, at, BlendWithAlpha(L.Mode()), eff[size_t(i)], 255, from.Bounds());
      }
    }
    if (!ok) {
      ShowWarning(kFlattenMemoryText);
      return false;
    }
    if (!keepTransparency) store.MaskedSet(store.Bounds(), 0xFF000000u, 0xFF000000u);
    store.Compact();
    flat->FitThumbnail(kThumbnailSide, kThumbnailSide);
    flat->RenderThumbnail();
    Journal(keepTransparency ? PaperOp::kFlattenVisibleKeepAlpha : PaperOp::kFlattenVisible);
    // The visible layers leave the list (the invisible ones stay where they are) and the new
    // layer takes the place of layer 0.
    const int32_t before = ActiveIndex();
    std::vector<std::pair<std::unique_ptr<CLayerData>, int32_t>> removed;
    for (int32_t i = layers.Count() - 1; i >= 1; --i)
      if (layers.At(i)->visible) removed.emplace_back(layers.Detach(i), i);
    const int32_t flatId = flat->id;
    std::unique_ptr<CLayerData> old0 = layers.Replace(0, std::move(flat));
    if (Recording(*this)) {
      auto r = std::make_unique<RemovedLayersRecord>(33, before, 0);
      r->SetReplaced(std::move(old0), flatId);
      for (size_t k = removed.size(); k-- > 0;) r->AddRemoved(std::move(removed[k].first), removed[k].second);
      PushUndo(std::move(r));
    }
    LayersChanged(flow, 0);
    return true;
  } catch (const std::bad_alloc&) {
    ShowWarning(kFlattenMemoryText);
  } catch (const std::exception&) {
    ShowWarning(kFlattenExceptionText);
  }
  return false;
}

bool TPaper::GroupIn(TFlowImage& flow, int32_t i) {
  BeginOp();
  const int32_t n = layers.ChildCount(i);
  std::vector<LayerValuesRecord::Entry> entries;
  for (int32_t k = 0; k <= n && IsValidIndex(i + k); ++k)
    entries.push_back({layers.IdAt(i + k), layers.At(i + k)->groupLevel, 0});
  if (!layers.GroupIn(i)) return false;
  for (auto& e : entries) e.after = layers.At(layers.IndexOfId(e.id))->groupLevel;
  Journal(PaperOp::kGroupIn, i);
  if (Recording(*this))
    PushUndo(std::make_unique<LayerValuesRecord>(38, LayerValuesRecord::kLevels, std::move(entries)));
  LayersChanged(flow, ActiveIndex());
  return true;
}

bool TPaper::GroupOut(TFlowImage& flow, int32_t i) {
  BeginOp();
  const int32_t n = layers.ChildCount(i);
  std::vector<LayerValuesRecord::Entry> entries;
  for (int32_t k = 0; k <= n && IsValidIndex(i + k); ++k)
    entries.push_back({layers.IdAt(i + k), layers.At(i + k)->groupLevel, 0});
  if (!layers.GroupOut(i)) return false;
  for (auto& e : entries) e.after = layers.At(layers.IndexOfId(e.id))->groupLevel;
  Journal(PaperOp::kGroupOut, i);
  if (Recording(*this))
    PushUndo(std::make_unique<LayerValuesRecord>(38, LayerValuesRecord::kLevels, std::move(entries)));
  LayersChanged(flow, ActiveIndex());
  return true;
}

bool TPaper::MergeGroup(TFlowImage& flow, int32_t i) {
  BeginOp();
  const int32_t n = layers.ChildCount(i);
  if (n <= 0) return false;
  // Every member's opacity within the group (the head's own included), taken before any
  // merge changes them.
  std::vector<uint8_t> eff(size_t(n), 0);
  {
    std::array<uint8_t, kMaxGroupLevel + 1> stack;
    stack.fill(255);
    const int32_t baseLevel = layers.At(i)->groupLevel;
    stack[size_t(std::clamp(baseLevel, 0, kMaxGroupLevel))] = layers.At(i)->opacity;
    int32_t top = baseLevel;
    for (int32_t k = 1; k <= n; ++k) {
      const CLayerData& L = *layers.At(i + k);
      const int32_t lv = std::clamp(L.groupLevel, 0, kMaxGroupLevel);
      stack[size_t(lv)] = L.opacity;
      for (int32_t m = lv + 1; m <= top; ++m) stack[size_t(m)] = 255;
      top = lv;
      uint8_t e = L.opacity;
      for (int32_t m = lv - 1; m >= baseLevel; --m) e = Mul8(e, stack[size_t(m)]);
      eff[size_t(k - 1)] = L.visible ? e : 0;
    }
  }
  // The members are merged into a copy of the head; only when all went in does the copy
  // take the head's place, so a failure leaves the group as it was.
  const int32_t before = ActiveIndex();
  std::vector<LayerAttributes> saved;
  for (int32_t k = 1; k <= n; ++k) saved.push_back(LayerAttributes::Of(*layers.At(i + k)));
  std::vector<int32_t> savedLevels;
  for (int32_t k = 1; k <= n; ++k) savedLevels.push_back(layers.At(i + k)->groupLevel);
  std::unique_ptr<CLayerData> oldHead;
  bool ok = true;
  for (int32_t k = 0; k < n && ok; ++k) {
    CLayerData& child = *layers.At(i + 1 + k);
    if (eff[size_t(k)] == 0) continue;
    // Merged at its opacity within the group, as a layer of the head's own level.
    child.opacity = eff[size_t(k)];
    child.groupLevel = layers.At(i)->groupLevel;
    std::unique_ptr<CLayerData> replaced;
    ok = layers.Merge(i, i + 1 + k, true, kKeepLowerAttributes, &replaced);
    child.opacity = saved[size_t(k)].opacity;
    child.groupLevel = savedLevels[size_t(k)];
    if (ok && !oldHead) oldHead = std::move(replaced);
  }
  if (!ok) {
    if (oldHead) layers.Replace(i, std::move(oldHead));
    ShowWarning(kOutOfMemoryText);
    LayersChanged(flow, i);
    return false;
  }
  Journal(PaperOp::kMergeGroup, i, {n});
  std::vector<std::unique_ptr<CLayerData>> children;
  for (int32_t k = 0; k < n; ++k) children.push_back(layers.Detach(i + 1));
  if (Recording(*this)) {
    auto r = std::make_unique<RemovedLayersRecord>(40, before, i);
    if (oldHead) r->SetReplaced(std::move(oldHead), layers.IdAt(i));
    for (int32_t k = 0; k < n; ++k) r->AddRemoved(std::move(children[size_t(k)]), i + 1 + k);
    PushUndo(std::move(r));
  }
  LayersChanged(flow, i);
  return true;
}

int32_t TPaper::MoveGroup(TFlowImage& flow, int32_t to, int32_t from) {
  BeginOp();
  const int32_t n = layers.ChildCount(from);
  if (n < 0) return -1;
  const std::vector<LayerOrderRecord::Place> before = LayerOrderRecord::Of(layers);
  const int32_t id = layers.IdAt(from);
  const int32_t at = layers.MoveBlock(to, from, n + 1);
  if (at < 0) return -1;
  Journal(PaperOp::kMoveGroup, from, {to});
  if (Recording(*this))
    PushUndo(std::make_unique<LayerOrderRecord>(id, before, LayerOrderRecord::Of(layers)));
  LayersChanged(flow, at);
  return at;
}

bool TPaper::DissolveGroup(TFlowImage& flow, int32_t i) {
  BeginOp();
  const int32_t n = layers.ChildCount(i);
  if (n <= 0) return false;
  std::vector<LayerValuesRecord::Entry> entries;
  for (int32_t k = 1; k <= n; ++k) {
    CLayerData& c = *layers.At(i + k);
    entries.push_back({c.id, c.groupLevel, c.groupLevel - 1});
    c.AddGroupLevel(-1);
  }
  Journal(PaperOp::kDissolveGroup, i);
  if (Recording(*this))
    PushUndo(std::make_unique<LayerValuesRecord>(41, LayerValuesRecord::kLevels, std::move(entries)));
  LayersChanged(flow, i);
  return true;
}

bool TPaper::DeleteGroup(TFlowImage& flow, int32_t i) {
  BeginOp();
  const int32_t n = layers.ChildCount(i);
  if (n < 0 || n + 1 >= layers.Count()) return false;  // at least one layer stays
  Journal(PaperOp::kDeleteGroup, i, {n});
  const int32_t before = ActiveIndex();
  std::vector<std::unique_ptr<CLayerData>> gone;
  for (int32_t k = 0; k <= n; ++k) gone.push_back(layers.Detach(i));
  if (Recording(*this)) {
    auto r = std::make_unique<RemovedLayersRecord>(39, before, std::min(i, layers.Count() - 1));
    for (int32_t k = 0; k <= n; ++k) r->AddRemoved(std::move(gone[size_t(k)]), i + k);
    PushUndo(std::move(r));
  }
  LayersChanged(flow, std::min(i, layers.Count() - 1));
  return true;
}

namespace {
std::vector<LayerValuesRecord::Entry> Visibilities(const CLayerMngr& layers) {
  std::vector<LayerValuesRecord::Entry> v;
  for (int32_t i = 0; i < layers.Count(); ++i) v.push_back({layers.IdAt(i), layers.At(i)->visible, 0});
  return v;
}
void AfterVisibilities(const CLayerMngr& layers, std::vector<LayerValuesRecord::Entry>& v) {
  for (auto& e : v) e.after = layers.At(layers.IndexOfId(e.id))->visible;
}
}  // namespace

void TPaper::ShowAll(bool visible) {
  BeginOp();
  Journal(visible ? PaperOp::kShowAll : PaperOp::kHideAll);
  auto v = Visibilities(layers);
  layers.SetAllVisible(visible);
  AfterVisibilities(layers, v);
  if (Recording(*this))
    PushUndo(std::make_unique<LayerValuesRecord>(46, LayerValuesRecord::kVisibility, std::move(v)));
  RecompositeAll(true);
  host_->LayerWindowChanged(-1);
}

void TPaper::ShowOnly(int32_t i) {
  BeginOp();
  if (!IsValidIndex(i)) return;
  Journal(PaperOp::kShowOnly, i);
  auto v = Visibilities(layers);
  layers.ShowOnly(i);
  AfterVisibilities(layers, v);
  if (Recording(*this))
    PushUndo(std::make_unique<LayerValuesRecord>(45, LayerValuesRecord::kVisibility, std::move(v)));
  RecompositeAll(true);
  host_->LayerWindowChanged(-1);
}

void TPaper::InvertVisibility() {
  BeginOp();
  Journal(PaperOp::kInvertVisibility);
  auto v = Visibilities(layers);
  layers.ToggleAllVisible();
  AfterVisibilities(layers, v);
  if (Recording(*this))
    PushUndo(std::make_unique<LayerValuesRecord>(47, LayerValuesRecord::kVisibility, std::move(v)));
  RecompositeAll(true);
  host_->LayerWindowChanged(-1);
}

bool TPaper::RemoveOutsidePaper(TFlowImage& flow, int32_t i) {
  BeginOp();
  CLayerData* l = layers.At(i);
  if (!l || !l->IsLargerThanPaper()) return false;
  std::unique_ptr<CLayerData> fit = l->ResizedCopy({l->viewWidth, l->viewHeight}, {-l->viewX, -l->viewY});
  if (!fit) {
    ShowWarning(kOutOfMemoryText);
    return false;
  }
  fit->id = l->id;
  fit->CopyAttributes(*l);
  fit->FitThumbnail(kThumbnailSide, kThumbnailSide);
  fit->RenderThumbnail();
  Journal(PaperOp::kRemoveOutside, i);
  std::unique_ptr<CLayerData> old = layers.Replace(i, std::move(fit));
  if (Recording(*this)) PushUndo(std::make_unique<SwapLayerRecord>(34, std::move(old)));
  LayersChanged(flow, i);
  return true;
}

bool TPaper::InvertAlpha(TFlowImage& flow, int32_t i) {
  BeginOp();
  CLayerData* l = layers.At(i);
  if (!l || !l->pixels) return false;
  if (!ApplyLayerTransform(*l->pixels, 11, l->pixels->Bounds())) {
    return false;
  }
  Journal(PaperOp::kInvertAlpha, i);
  if (Recording(*this)) PushUndo(MakeTransformRecord(11, l->id, ToTRect(l->pixels->Bounds())));
  FinishWholeLayerEdit(flow, i);
  return true;
}

bool TPaper::FillAlpha(TFlowImage& flow, int32_t i) {
  BeginOp();
  CLayerData* l = layers.At(i);
  if (!l || !l->pixels) return false;
  Journal(PaperOp::kFillAlpha, i);
  if (Recording(*this)) {
    auto r = MakePlaneRecord(*l, ToTRect(l->pixels->Bounds()));
    if (r)
      PushUndo(std::move(r));
    else
      UndoRecordFailed();
  }
  l->SetOpaque();
  l->pixels->Compact();
  FinishWholeLayerEdit(flow, i);
  return true;
}

bool TPaper::ClearAlpha(TFlowImage& flow, int32_t i) {
  BeginOp();
  CLayerData* l = layers.At(i);
  if (!l || !l->pixels) return false;
  Journal(PaperOp::kClearAlpha, i);
  if (Recording(*this)) {
    auto r = MakePlaneRecord(*l, ToTRect(l->pixels->Bounds()));
    if (r)
      PushUndo(std::move(r));
    else
      UndoRecordFailed();
  }
  l->SetAlpha(0);
  l->pixels->Compact();
  FinishWholeLayerEdit(flow, i);
  return true;
}

bool TPaper::ClearLayer(TFlowImage& flow, int32_t i) {
  BeginOp();
  CLayerData* l = layers.At(i);
  if (!l || !l->pixels) return false;
  Journal(PaperOp::kClearLayer, i);
  BeginEdit(i, ToTRect(l->pixels->Bounds()), 1);
  // Every tile becomes one fill value, so the empty layer costs no tile memory.
  l->pixels->FillAll(NeutralColor(l->Mode()) & 0x00FFFFFFu);
  l->pixels->Compact();
  FinishWholeLayerEdit(flow, i);
  return true;
}

const CMaskData* TPaper::SelectionInUse() const {
  const CMaskData* m = selectionEnabled ? masks.Active() : nullptr;
  return m && m->HasChannel() ? m : nullptr;
}

namespace {
// The selection's coverage over a store rectangle of a layer, one byte per pixel (0 where
// the mask's channel does not reach).
bool CoverageOver(const CMaskData& m, const CLayerData& l, const SPixRect& store, TChannel& out) {
  if (!out.Resize(store.width, store.height)) return false;
  FillAll8(out, 0);
  // channel = paper + mask offset, paper = store - view position.
  const SPixRect inChannel{store.x - l.viewX + m.offsetX, store.y - l.viewY + m.offsetY, store.width,
                           store.height};
  const SPixRect part = Intersect(inChannel, m.channel->Bounds());
  if (!part.IsEmpty())
    m.channel->ReadRect(out, {part.x - inChannel.x, part.y - inChannel.y}, false, 255, part);
  return true;
}
}  // namespace

bool TPaper::PaintSelection(TFlowImage& flow, int32_t i, uint32_t colour, bool erase) {
  BeginOp();
  CLayerData* l = layers.At(i);
  if (!l || !l->pixels) return false;
  colour &= 0x00FFFFFFu;
  const CMaskData* sel = SelectionInUse();
  const SPixRect store =
      Intersect(ToLayer(i, sel ? sel->PaperRect() : SPixRect{0, 0, width, height}), l->pixels->Bounds());
  if (store.IsEmpty()) return false;
  TChannel cover;
  // Every tile the pass writes is taken first: a pass that ran out of memory half-way would
  // leave a change that neither the history nor the stream knows.
  if ((sel && !CoverageOver(*sel, *l, store, cover)) || !l->pixels->Reserve(store, true)) {
    ShowWarning(kOutOfMemoryText);
    return false;
  }
  Journal(erase ? PaperOp::kDeleteSelection : PaperOp::kFillSelection, i, {int32_t(colour)});
  BeginEdit(i, ToTRect(store), 1);
  const bool keepAlpha = l->protectAlpha != 0;
  l->pixels->ModifyRows(store, [&](uint32_t* row, int32_t n, int32_t x, int32_t y) {
    const uint8_t* c = sel ? cover.Row8(y - store.y) + (x - store.x) : nullptr;
    for (int32_t k = 0; k < n; ++k) {
      const uint32_t t = c ? c[k] : 255u;
      if (erase)
        row[k] = keepAlpha ? BlendKeepAlphaPixel(row[k], colour, t)
                           : BlendErasePixel(BlendKeepAlphaPixel(row[k], colour, t), t);
      else
        row[k] = keepAlpha ? BlendKeepAlphaPixel(row[k], colour, t) : BlendOverPixel(row[k], colour, t);
    }
  });
  l->pixels->Compact();
  // The working copy follows the layer where it holds it; the picture is redrawn there only.
  if (flow.Holds(*l) && flow.work.IsValid()) {
    const SPixRect w = flow.work.Clip(store);
    if (!w.IsEmpty()) l->pixels->ReadRect(flow.work, {w.x, w.y}, false, 255, w);
  }
  const SPixRect paperRect = ToPaper(i, store);
  Recomposite(paperRect, true);
  UpdateThumbnails(false, i, paperRect);
  InvalidateView(false);
  host_->LayerWindowChanged(-1);
  host_->SelectionWindowChanged();
  return true;
}

bool TPaper::FillSelection(TFlowImage& flow, int32_t i, uint32_t colour) {
  return PaintSelection(flow, i, colour, false);
}

bool TPaper::DeleteSelection(TFlowImage& flow, int32_t i, uint32_t paperColour) {
  return PaintSelection(flow, i, paperColour, true);
}

namespace {
// Writes one attribute of a layer and records the change.
template <typename Set>
bool SetAttribute(TPaper& p, int32_t i, int32_t kind, int64_t value, Set set) {
  CLayerData* l = p.Layer(i);
  if (!l) return false;
  AttributeValue before, after;
  before.number = set(*l, value);
  after.number = value;
  if (before.number == after.number) return false;
  if (Recording(p)) p.PushUndo(MakeAttributeRecord(kind, l->id, before, after));
  return true;
}
}  // namespace

bool TPaper::SetLayerVisible(int32_t i, bool visible) {
  BeginOp();
  if (!SetAttribute(*this, i, 22, visible ? 1 : 0, [](CLayerData& l, int64_t v) {
        const int64_t old = l.visible;
        l.visible = uint8_t(v);
        return old;
      }))
    return false;
  Journal(PaperOp::kLayerVisible, i, {visible});
  RecompositeAll(true);
  UpdateThumbnails(true, -1, composite.Bounds());
  host_->LayerWindowChanged(i);
  return true;
}

bool TPaper::SetLayerOpacity(int32_t i, uint8_t opacity) {
  BeginOp();
  if (!SetAttribute(*this, i, 18, opacity, [](CLayerData& l, int64_t v) {
        const int64_t old = l.opacity;
        l.opacity = uint8_t(v);
        return old;
      }))
    return false;
  Journal(PaperOp::kLayerOpacity, i, {opacity});
  RecompositeAll(true);
  UpdateThumbnails(true, -1, composite.Bounds());
  host_->LayerWindowChanged(i);
  return true;
}

bool TPaper::SetLayerMode(int32_t i, int32_t mode) {
  BeginOp();
  if (mode < 0 || mode > 21) return false;
  if (!SetAttribute(*this, i, 21, mode, [](CLayerData& l, int64_t v) {
        const int64_t old = l.mode;
        l.mode = uint8_t(v);
        return old;
      }))
    return false;
  Journal(PaperOp::kLayerMode, i, {mode});
  RecompositeAll(true);
  UpdateThumbnails(true, -1, composite.Bounds());
  host_->LayerWindowChanged(i);
  return true;
}

bool TPaper::SetLayerProtectAlpha(int32_t i, bool on) {
  BeginOp();
  if (!SetAttribute(*this, i, 26, on ? 1 : 0, [](CLayerData& l, int64_t v) {
        const int64_t old = l.protectAlpha;
        l.protectAlpha = uint8_t(v);
        return old;
      }))
    return false;
  Journal(PaperOp::kLayerProtectAlpha, i, {on});
  host_->LayerWindowChanged(i);
  return true;
}

bool TPaper::SetLayerName(int32_t i, const std::string& name) {
  BeginOp();
  CLayerData* l = layers.At(i);
  const std::string n = name.substr(0, kMaxNameLength);
  if (!l || l->name == n) return false;
  AttributeValue before, after;
  before.text = l->name;
  after.text = n;
  l->name = n;
  Journal(PaperOp::kLayerName, i);
  if (Recording(*this)) PushUndo(MakeAttributeRecord(25, l->id, before, after));
  host_->LayerWindowChanged(i);
  return true;
}

bool TPaper::SetLayerPosition(TFlowImage& flow, int32_t i, int32_t x, int32_t y) {
  BeginOp();
  CLayerData* l = layers.At(i);
  // Positions come from dialogs and event files: keep them where the store arithmetic cannot
  // overflow.
  x = std::clamp(x, -kMaxBufferSide, kMaxBufferSide);
  y = std::clamp(y, -kMaxBufferSide, kMaxBufferSide);
  if (!l || (l->viewX == x && l->viewY == y)) return false;
  AttributeValue before, after;
  before.x = l->viewX, before.y = l->viewY;
  after.x = x, after.y = y;
  l->viewX = x;
  l->viewY = y;
  Journal(PaperOp::kLayerPosition, i, {x, y});
  if (Recording(*this)) PushUndo(MakeAttributeRecord(23, l->id, before, after));
  flow.Invalidate();
  l->RenderThumbnail();
  RecompositeAll(true);
  UpdateThumbnails(true, -1, composite.Bounds());
  host_->LayerWindowChanged(i);
  return true;
}

bool TPaper::SetLayerDither(int32_t i, bool on, uint8_t amount) {
  BeginOp();
  CLayerData* l = layers.At(i);
  if (!l || (l->ditherOn == uint8_t(on) && l->ditherAmount == amount)) return false;
  AttributeValue before, after;
  before.x = l->ditherOn, before.y = l->ditherAmount;
  after.x = on, after.y = amount;
  l->ditherOn = on;
  l->ditherAmount = amount;
  Journal(PaperOp::kLayerDither, i, {on, amount});
  if (Recording(*this)) PushUndo(MakeAttributeRecord(20, l->id, before, after));
  RecompositeAll(true);
  UpdateThumbnails(true, -1, composite.Bounds());
  host_->LayerWindowChanged(i);
  return true;
}

TPaper::LayerSettings TPaper::SettingsOf(int32_t i) const {
  LayerSettings s;
  const CLayerData* l = layers.At(i);
  if (!l) return s;
  s.name = l->name;
  s.opacityPercent = PercentOfByte(l->opacity);
  s.mode = l->Mode();
  s.viewX = l->viewX;
  s.viewY = l->viewY;
  s.ditherOn = l->ditherOn != 0;
  s.ditherPercent = PercentOfByte(l->ditherAmount);
  return s;
}

bool TPaper::ApplySettings(TFlowImage& flow, int32_t i, const LayerSettings& s) {
  BeginOp();
  CLayerData* l = layers.At(i);
  if (!l || s.mode < 0 || s.mode > 21) return false;
  // One operation, one record and one event per attribute that changed, as the layer window's
  // own controls make them: undo takes the dialog's changes back one by one.
  bool any = false;
  any |= SetLayerName(i, s.name);
  any |= SetLayerOpacity(i, ByteOfPercent(s.opacityPercent));
  any |= SetLayerMode(i, s.mode);
  any |= SetLayerPosition(flow, i, s.viewX, s.viewY);
  any |= SetLayerDither(i, s.ditherOn, ByteOfPercent(s.ditherPercent));
  if (s.removeHidden && layers.At(i)->IsLargerThanPaper()) any |= RemoveOutsidePaper(flow, i);
  if (any) LayersChanged(flow, i);
  return any;
}

}  // namespace tintara
