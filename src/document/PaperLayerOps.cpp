// The paper-level layer operations: each changes the layer list or one layer, reports
// itself to the journal (where its event and undo record go) and refreshes the picture.
#include <array>

#include "document/Paper.h"
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

}  // namespace

void TPaper::LayersChanged(TFlowImage& flow, int32_t activate) {
  flow.Invalidate();
  if (layers.Count() > 0) ActivateLayer(flow, std::clamp(activate, 0, layers.Count() - 1));
  RecompositeAll(true);
  UpdateThumbnails(true, -1, composite.Bounds());
  host_->LayerWindowChanged(-1);
  host_->SetModified();
}

int32_t TPaper::NewLayer(TFlowImage& flow, int32_t modeByte, uint32_t initialColour,
                         const std::string& name) {
  if (!CanAddLayer(EffectiveMode(uint32_t(modeByte)))) return -1;
  const int32_t index = ActiveIndex() + 1;
  const int32_t at = AddLayer(index, width, true, 255, modeByte, height);
  if (at < 0) return -1;
  CLayerData& l = *layers.At(at);
  l.pixels->FillAll(initialColour);
  if (name.empty())
    layers.NameLayer(at, 1);
  else
    l.name = name.substr(0, kMaxNameLength);
  l.RenderThumbnail();
  Journal(PaperOp::kAddLayer, at, modeByte, int32_t(initialColour));
  LayersChanged(flow, at);
  return at;
}

bool TPaper::DeleteLayer(TFlowImage& flow, int32_t i) {
  if (!IsValidIndex(i) || layers.Count() < 2) return false;
  Journal(PaperOp::kDeleteLayer, i);
  layers.Delete(i);
  LayersChanged(flow, std::min(i, layers.Count() - 1));
  return true;
}

int32_t TPaper::DuplicateLayer(TFlowImage& flow, int32_t i) {
  const CLayerData* src = layers.At(i);
  if (!src || !layers.CanAdd()) return -1;
  auto copy = std::make_unique<CLayerData>(i + 1, level == 0);
  if (!copy->CreatePixelsLike(*src)) {
    ShowWarning(kOutOfMemoryText);
    return -1;
  }
  const int32_t at = layers.Insert(i + 1, std::move(copy));
  if (at < 0) return -1;
  Journal(PaperOp::kDuplicateLayer, i, at);
  LayersChanged(flow, at);
  return at;
}

int32_t TPaper::MoveLayer(TFlowImage& flow, int32_t to, int32_t from) {
  const int32_t at = layers.Move(to, from);
  if (at < 0) return -1;
  Journal(PaperOp::kMoveLayer, from, to);
  LayersChanged(flow, at);
  return at;
}

bool TPaper::MergeDown(TFlowImage& flow, int32_t i, bool older) {
  if (level == 0 ? !(i > 0 && i < layers.Count()) : !layers.CanMergeDown(i)) return false;
  Journal(older ? PaperOp::kMergeDownOld : PaperOp::kMergeDown, i);
  bool ok;
  if (level == 0) {
    // Level-0 papers merge with the upper mode's per-tile procedure.
    const PixelProc proc = LevelZeroTileProc(layers.At(i)->Mode());
    const MergeFn with{[](uint32_t* p, uint32_t s, uint8_t t, const void* prm) {
                         (*static_cast<const PixelProc*>(prm))(p, s, t);
                       },
                       &proc};
    ok = layers.Merge(i - 1, i, false, 0, nullptr, &with);
  } else {
    ok = layers.Merge(i - 1, i, false, 0);
  }
  if (!ok) return false;
  layers.Delete(i);
  LayersChanged(flow, i - 1);
  return true;
}

bool TPaper::FlattenVisible(TFlowImage& flow, bool keepTransparency) {
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
      if (keepTransparency) {
        MergeParam storage;
        ok = store.MergeFrom(*L.pixels, at, ChooseLayerMerge(kModeNormal, L.Mode(), 0x30003, storage).fn,
                             eff[size_t(i)], 255, L.pixels->Bounds());
      } else {
        ok =
            store.BlendFrom(*L.pixels, at, BlendWithAlpha(L.Mode()), eff[size_t(i)], 255, L.pixels->Bounds());
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
    // The visible layers leave the list; the invisible ones stay where they are.
    for (int32_t i = layers.Count() - 1; i >= 0; --i)
      if (layers.At(i)->visible) layers.Delete(i);
    layers.Insert(0, std::move(flat));
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
  if (!layers.GroupIn(i)) return false;
  Journal(PaperOp::kGroupIn, i);
  LayersChanged(flow, ActiveIndex());
  return true;
}

bool TPaper::GroupOut(TFlowImage& flow, int32_t i) {
  if (!layers.GroupOut(i)) return false;
  Journal(PaperOp::kGroupOut, i);
  LayersChanged(flow, ActiveIndex());
  return true;
}

bool TPaper::MergeGroup(TFlowImage& flow, int32_t i) {
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
  Journal(PaperOp::kMergeGroup, i, n);
  for (int32_t k = 0; k < n; ++k) {
    CLayerData& child = *layers.At(i + 1);
    if (eff[size_t(k)] > 0) {
      // Merged at its opacity within the group, as a layer of the head's own level.
      child.opacity = eff[size_t(k)];
      child.groupLevel = layers.At(i)->groupLevel;
      if (!layers.Merge(i, i + 1, false, 0)) {
        ShowWarning(kOutOfMemoryText);
        LayersChanged(flow, i);
        return false;
      }
    }
    layers.Delete(i + 1);
  }
  LayersChanged(flow, i);
  return true;
}

bool TPaper::DeleteGroup(TFlowImage& flow, int32_t i) {
  const int32_t n = layers.ChildCount(i);
  if (n < 0 || n + 1 >= layers.Count()) return false;  // at least one layer stays
  Journal(PaperOp::kDeleteGroup, i, n);
  for (int32_t k = 0; k <= n; ++k) layers.Delete(i);
  LayersChanged(flow, std::min(i, layers.Count() - 1));
  return true;
}

void TPaper::ShowAll(bool visible) {
  Journal(visible ? PaperOp::kShowAll : PaperOp::kHideAll);
  layers.SetAllVisible(visible);
  RecompositeAll(true);
  host_->LayerWindowChanged(-1);
}

void TPaper::ShowOnly(int32_t i) {
  if (!IsValidIndex(i)) return;
  Journal(PaperOp::kShowOnly, i);
  layers.ShowOnly(i);
  RecompositeAll(true);
  host_->LayerWindowChanged(-1);
}

void TPaper::InvertVisibility() {
  Journal(PaperOp::kInvertVisibility);
  layers.ToggleAllVisible();
  RecompositeAll(true);
  host_->LayerWindowChanged(-1);
}

bool TPaper::RemoveOutsidePaper(TFlowImage& flow, int32_t i) {
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
  layers.Replace(i, std::move(fit));
  LayersChanged(flow, i);
  return true;
}

bool TPaper::InvertAlpha(TFlowImage& flow, int32_t i) {
  CLayerData* l = layers.At(i);
  if (!l || !l->pixels) return false;
  Journal(PaperOp::kInvertAlpha, i);
  l->pixels->Xor(l->pixels->Bounds(), 0xFF000000u);
  l->pixels->Compact();
  FinishWholeLayerEdit(flow, i);
  return true;
}

bool TPaper::FillAlpha(TFlowImage& flow, int32_t i) {
  CLayerData* l = layers.At(i);
  if (!l || !l->pixels) return false;
  Journal(PaperOp::kFillAlpha, i);
  l->SetOpaque();
  l->pixels->Compact();
  FinishWholeLayerEdit(flow, i);
  return true;
}

bool TPaper::ClearAlpha(TFlowImage& flow, int32_t i) {
  CLayerData* l = layers.At(i);
  if (!l || !l->pixels) return false;
  Journal(PaperOp::kClearAlpha, i);
  l->SetAlpha(0);
  l->pixels->Compact();
  FinishWholeLayerEdit(flow, i);
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
  CLayerData* l = layers.At(i);
  if (!l || s.mode < 0 || s.mode > 21) return false;
  Journal(PaperOp::kLayerSettings, i);
  l->name = s.name.substr(0, kMaxNameLength);
  l->opacity = ByteOfPercent(s.opacityPercent);
  l->mode = uint8_t(s.mode);
  l->viewX = s.viewX;
  l->viewY = s.viewY;
  l->ditherOn = s.ditherOn ? 1 : 0;
  l->ditherAmount = ByteOfPercent(s.ditherPercent);
  l->RenderThumbnail();
  if (s.removeHidden && l->IsLargerThanPaper()) RemoveOutsidePaper(flow, i);
  LayersChanged(flow, i);
  return true;
}

}  // namespace tintara
