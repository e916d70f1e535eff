// Undo and redo on the paper: the structural and selection records (which work on the layer
// and mask lists), the paper's undo entry points, the per-layer history of level-0 papers,
// and the editing, transform and mask operations with their records.
#include "document/PaperUndo.h"

#include <cstdio>

#include "pixel/ColorOps.h"
#include "platform/Debug.h"
#include "platform/Notify.h"

namespace tintara {

namespace {
// The own history of a layer of a level-0 paper (defined at the end).
std::unique_ptr<ILayerUndo> MakeOwnLayerUndo();
}  // namespace

// --- class 5: layer objects and lists ---------------------------------------------------------

bool AddLayerRecord::Step(TPaper& paper, bool, UndoResult& result, std::unique_ptr<CUndoData>&) {
  CLayerMngr& L = paper.layers;
  if (toggle == 0) {  // undo: the new layer leaves the list
    const int32_t i = L.IndexOfId(layerId_);
    if (i < 0) return false;
    held_ = L.Detach(i);
    L.SetActive(activeBefore_);
    result.activate = L.ActiveIndex();
  } else {
    if (!held_) return false;
    index_ = L.Insert(std::min(index_, L.Count()), std::move(held_));
    result.activate = index_;
  }
  toggle ^= 1;
  return true;
}

bool DeleteLayerRecord::Step(TPaper& paper, bool, UndoResult& result, std::unique_ptr<CUndoData>&) {
  CLayerMngr& L = paper.layers;
  if (toggle == 0) {  // undo: the deleted layer comes back
    if (!held_) return false;
    index_ = L.Insert(std::min(index_, L.Count()), std::move(held_));
    result.activate = index_;
  } else {
    const int32_t i = L.IndexOfId(layerId_);
    if (i < 0) return false;
    held_ = L.Detach(i);
    result.activate = L.ActiveIndex();
  }
  toggle ^= 1;
  return true;
}

bool MoveLayerRecord::Step(TPaper& paper, bool, UndoResult& result, std::unique_ptr<CUndoData>&) {
  CLayerMngr& L = paper.layers;
  if (L.IndexOfId(layerId_) != after_) return false;
  const int32_t at = L.Move(before_, after_);
  if (at < 0) return false;
  std::swap(before_, after_);
  result.activate = at;
  toggle ^= 1;
  return true;
}

bool MergeDownRecord::Step(TPaper& paper, bool, UndoResult& result, std::unique_ptr<CUndoData>&) {
  CLayerMngr& L = paper.layers;
  if (toggle == 0) {
    // Undo: the upper layer returns above, the old lower layer replaces the merged one.
    const int32_t lower = L.IndexOfId(lowerId_);
    if (lower < 0 || !upper_ || !held_) return false;
    upperIndex_ = L.Insert(std::min(upperIndex_, L.Count()), std::move(upper_));
    const int32_t lowerNow = L.IndexOfId(lowerId_);
    held_ = L.Replace(lowerNow, std::move(held_));
    result.activate = upperIndex_;
  } else {
    const int32_t upper = L.IndexOfId(layerId_);
    if (upper < 0 || !held_) return false;
    upper_ = L.Detach(upper);
    const int32_t lower = L.IndexOfId(lowerId_);
    if (lower < 0) return false;
    held_ = L.Replace(lower, std::move(held_));
    result.activate = L.IndexOfId(lowerId_);
  }
  toggle ^= 1;
  return true;
}

bool RemovedLayersRecord::Step(TPaper& paper, bool, UndoResult& result, std::unique_ptr<CUndoData>&) {
  CLayerMngr& L = paper.layers;
  if (toggle == 0) {
    // Undo: the replacement (if any) gives way to the old layer, the removed layers return
    // bottom to top at their old indices.
    if (replaced_) {
      const int32_t i = L.IndexOfId(doneId_);
      if (i < 0) return false;
      replaced_ = L.Replace(i, std::move(replaced_));
    }
    for (size_t k = 0; k < removed_.size(); ++k) {
      if (!removed_[k]) return false;
      L.Insert(std::min(indices_[k], L.Count()), std::move(removed_[k]));
    }
    result.activate = activeBefore_;
  } else {
    for (size_t k = removed_.size(); k-- > 0;) {
      const int32_t i = L.IndexOfId(ids_[k]);
      if (i < 0) return false;
      removed_[k] = L.Detach(i);
    }
    if (replaced_) {
      const int32_t i = L.IndexOfId(undoneId_);
      if (i < 0) return false;
      replaced_ = L.Replace(i, std::move(replaced_));
    }
    result.activate = activeAfter_;
  }
  toggle ^= 1;
  return true;
}

int64_t RemovedLayersRecord::Memory() const {
  int64_t m = replaced_ ? replaced_->MemoryUsed() : 0;
  for (const auto& l : removed_)
    if (l) m += l->MemoryUsed();
  return m;
}

void RemovedLayersRecord::AddRemoved(std::unique_ptr<CLayerData> layer, int32_t index) {
  ids_.push_back(layer->id);
  indices_.push_back(index);
  removed_.push_back(std::move(layer));
}

bool LayerValuesRecord::Step(TPaper& paper, bool, UndoResult& result, std::unique_ptr<CUndoData>&) {
  const std::vector<Entry>& v = entries_;
  for (const Entry& e : v) {
    CLayerData* l = paper.Layer(paper.layers.IndexOfId(e.id));
    if (!l) return false;
    const int32_t value = toggle == 0 ? e.before : e.after;
    if (what_ == kLevels)
      l->SetGroupLevel(value);
    else
      l->visible = uint8_t(value);
  }
  toggle ^= 1;
  result.activate = paper.ActiveIndex();
  return true;
}

std::vector<LayerOrderRecord::Place> LayerOrderRecord::Of(const CLayerMngr& layers) {
  std::vector<Place> v;
  for (int32_t i = 0; i < layers.Count(); ++i) v.push_back({layers.IdAt(i), layers.At(i)->groupLevel});
  return v;
}

bool LayerOrderRecord::Step(TPaper& paper, bool, UndoResult& result, std::unique_ptr<CUndoData>&) {
  CLayerMngr& L = paper.layers;
  const std::vector<Place>& want = toggle == 0 ? before_ : after_;
  if (int32_t(want.size()) != L.Count()) return false;
  for (const Place& p : want)
    if (L.IndexOfId(p.id) < 0) return false;
  for (int32_t k = 0; k < int32_t(want.size()); ++k) {
    const int32_t at = L.IndexOfId(want[size_t(k)].id);
    if (at != k) L.Move(k, at);
    L.At(k)->SetGroupLevel(want[size_t(k)].level);
  }
  result.activate = L.IndexOfId(layerId_);
  toggle ^= 1;
  return true;
}

bool SwapLayerRecord::Step(TPaper& paper, bool, UndoResult& result, std::unique_ptr<CUndoData>&) {
  const int32_t i = paper.layers.IndexOfId(layerId_);
  if (i < 0 || !held_) return false;
  held_ = paper.layers.Replace(i, std::move(held_));
  result.activate = i;
  toggle ^= 1;
  return true;
}

LayerAttributes LayerAttributes::Of(const CLayerData& l) {
  return {l.name, l.opacity, l.mode, l.visible, l.ditherOn, l.ditherAmount, l.viewX, l.viewY, l.protectAlpha};
}

void LayerAttributes::ApplyTo(CLayerData& l) const {
  l.name = name;
  l.opacity = opacity;
  l.mode = mode;
  l.visible = visible;
  l.ditherOn = ditherOn;
  l.ditherAmount = ditherAmount;
  l.viewX = viewX;
  l.viewY = viewY;
  l.protectAlpha = protectAlpha;
}

bool CanvasRecord::Step(TPaper& paper, bool, UndoResult& result, std::unique_ptr<CUndoData>&) {
  TFlowImage* flow = paper.StepFlow();
  if (!flow) return false;
  paper.layers.SwapLayers(layers_, active_);
  paper.masks.SwapMasks(masks_, maskActive_);
  const int32_t w = paper.width, h = paper.height;
  paper.SetPaperSize(*flow, width_, height_);
  width_ = w;
  height_ = h;
  result.activate = paper.ActiveIndex();
  toggle ^= 1;
  return true;
}

int64_t CanvasRecord::Memory() const {
  int64_t m = 0;
  for (const auto& l : layers_) m += l->MemoryUsed();
  for (const auto& k : masks_) m += k->Memory();
  return m;
}

// --- class 6: selection masks --------------------------------------------------------------------

bool MaskListRecord::Step(TPaper& paper, bool, UndoResult& result, std::unique_ptr<CUndoData>&) {
  CMaskMngr& M = paper.masks;
  // 53 and 54 undo by taking the new mask out; 55 undoes by putting the removed one back.
  const bool takeOut = (kind_ == 55) == (toggle == 1);
  if (takeOut) {
    const CMaskData* m = M.At(index_);
    if (!m || m->internalName != serial_) return false;
    held_ = M.TakeOut(index_);
    M.Activate(toggle == 0 ? activeBefore_ : activeAfter_);
    if (kind_ == 53 && counterBefore_ >= 0) M.SetNameCounter(counterBefore_);
  } else {
    if (!held_) return false;
    index_ = M.Insert(index_, std::move(held_));
    M.Activate(toggle == 0 ? activeBefore_ : activeAfter_);
    if (kind_ == 53 && counterAfter_ >= 0) M.SetNameCounter(counterAfter_);
  }
  toggle ^= 1;
  (void)result;
  return true;
}

bool MaskReplaceRecord::Step(TPaper& paper, bool, UndoResult&, std::unique_ptr<CUndoData>&) {
  CMaskMngr& M = paper.masks;
  const CMaskData* m = M.At(index_);
  if (!m || !held_) return false;
  if (kind_ == 56 && serial_ >= 0 && m->internalName != serial_) return false;
  held_ = M.Replace(index_, std::move(held_));
  serial_ = M.At(index_)->internalName;
  if (kind_ == 62) M.Activate(toggle == 0 ? other_ : index_);
  M.RefreshThumbnail(index_);
  toggle ^= 1;
  return true;
}

bool MaskStateRecord::Step(TPaper& paper, bool, UndoResult&, std::unique_ptr<CUndoData>&) {
  CMaskMngr& M = paper.masks;
  const bool undoing = toggle == 0;
  switch (kind_) {
    case 57:
      if (!M.Activate(undoing ? a_ : b_)) return false;
      break;
    case 58: {
      // Move back from the new index to the old one, or on again.
      const int32_t at = undoing ? M.Move(b_, a_) : M.Move(a_, b_);
      if (at < 0) return false;
      M.Activate(at);
      break;
    }
    case 59: {
      const CMaskData* m = M.At(a_);
      if (!m || m->internalName != serial_) return false;
      if (!M.InvertMask(a_)) return false;
      break;
    }
    case 60: {
      CMaskData* m = M.At(a_);
      if (!m || m->internalName != serial_) return false;
      const int32_t s = undoing ? 1 : -1;
      m->offsetX += s * dx_;
      m->offsetY += s * dy_;
      M.RefreshThumbnail(a_);
      break;
    }
    case 61: {
      // Both switches take the stored values; then the stored pairs change places.
      paper.selectionVisible = uint8_t(a_);
      paper.selectionEnabled = uint8_t(b_);
      std::swap(a_, dx_);
      std::swap(b_, dy_);
      break;
    }
    case 63: {
      CMaskData* m = M.At(a_);
      if (!m) return false;
      m->displayName = undoing ? oldName_ : newName_;
      break;
    }
    default:
      return false;
  }
  toggle ^= 1;
  return true;
}

// --- the paper's undo entry points ------------------------------------------------------------------

bool TPaper::PushUndo(std::unique_ptr<CUndoData> record) {
  if (!undo || !record) return false;
  return undo->PushUndo(std::move(record));
}

void TPaper::UndoRecordFailed() {
  ShowWarning(kUndoMemoryText);
  // The operation goes on, but its step is missing from the history: clear it together with
  // the stream's undo window so the two stay in step.
  if (undo) undo->ClearAll();
  if (journal_) journal_->ClearUndoWindow();
  DebugOut("undo record not made: undo history and stream window cleared");
}

void TPaper::ClearUndo() {
  // Layers that keep their own history start a fresh one (they go on recording).
  for (int32_t i = 0; i < layers.Count(); ++i) {
    CLayerData& l = *layers.At(i);
    if (l.ownUndo) l.ownUndo = MakeOwnLayerUndo();
  }
  if (undo) undo->ClearAll();
  if (journal_) journal_->ClearUndoWindow();
}

bool TPaper::ClearUndoAsked() {
  if (AskConfirm(kUndoClearQuestion, ConfirmButtons::YesNo) != ConfirmAnswer::Yes) return false;
  ClearUndo();
  return true;
}

void TPaper::ClearRedo() {
  if (undo) undo->ClearRedo();
  if (journal_) journal_->ClearRedoWindow();
}

UndoResult TPaper::StepUndo(TFlowImage& flow, bool redo) {
  UndoResult r;
  if (!undo) return r;
  if (journal_) journal_->BeforeUndoStep(redo, undo->UndoCount(), undo->RedoCount());
  stepFlow_ = &flow;
  r = redo ? undo->Redo() : undo->Undo();
  stepFlow_ = nullptr;
  if (!r.ok) {
    // Keep the stream in step with what the lists lost.
    if (r.dropped && redo) undo->ClearRedo();  // the redo side cannot skip a step either
    if (journal_ && r.dropped) journal_->DroppedUndoStep(redo);
    if (r.cleared) ClearUndo();
    return r;
  }
  if (journal_) journal_->AfterUndoStep(redo);
  if (layers.Count() > 0) {
    const int32_t a = std::max(0, r.activate >= 0 ? std::min(r.activate, layers.Count() - 1) : ActiveIndex());
    CLayerData* target = layers.At(a);
    // A step that changed a rectangle of the layer being worked on refreshes only that part
    // of the working copy; anything else reloads it.
    const UndoClass cls = UndoKind(r.kind).cls;
    const bool local = !r.rect.IsEmpty() && a == ActiveIndex() && flow.Holds(*target) &&
                       flow.work.IsValid() &&
                       (cls == UndoClass::kPixels || cls == UndoClass::kPlane ||
                        (cls == UndoClass::kTransform && r.kind <= 11));
    if (local) {
      const SPixRect store = flow.work.Clip(ToLayer(a, r.rect));
      if (!store.IsEmpty()) target->pixels->ReadRect(flow.work, {store.x, store.y}, false, 255, store);
    } else {
      flow.Invalidate();
      ActivateLayer(flow, a);
    }
  }
  if (r.rect.IsEmpty()) {
    RecompositeAll(true);
    for (int32_t i = 0; i < layers.Count(); ++i) layers.At(i)->RenderThumbnail();
    UpdateThumbnails(true, -1, composite.Bounds());
  } else {
    Recomposite(r.rect, true);
    UpdateThumbnails(false, ActiveIndex(), r.rect);
    InvalidateView(false);
  }
  host_->LayerWindowChanged(-1);
  host_->SelectionWindowChanged();
  host_->SetModified();
  return r;
}

UndoResult TPaper::Undo(TFlowImage& flow) { return StepUndo(flow, false); }
UndoResult TPaper::Redo(TFlowImage& flow) { return StepUndo(flow, true); }

bool TPaper::UndoLayerStep(TFlowImage& flow, int32_t i) {
  CLayerData* l = layers.At(i);
  SPixRect changed{0, 0, 0, 0};
  if (!l || !l->Undo(nullptr, &changed)) return false;
  flow.Invalidate();
  ActivateLayer(flow, ActiveIndex());
  const SPixRect r{changed.x - l->viewX, changed.y - l->viewY, changed.width, changed.height};
  Recomposite(r, true);
  UpdateThumbnails(false, i, r);
  InvalidateView(false);
  return true;
}

bool TPaper::ClearLayerUndo(int32_t i) {
  CLayerData* l = layers.At(i);
  if (!l) return false;
  if (l->ownUndo) l->ownUndo = MakeOwnLayerUndo();
  return true;
}

bool TPaper::SetUndoLimit(int32_t undoMax) {
  undoMax = std::clamp(undoMax, 0, 50);
  // The stream's window is resized first; when it cannot be, nothing changes.
  if (journal_ && !journal_->ResizeUndoWindow(std::max(8, undoMax + 34))) {
    ShowWarning(kUndoLimitFailedText);
    return false;
  }
  settings.undoMax = undoMax;
  if (undo) undo->SetLimits(undoMax, undoMax);
  return true;
}

bool TPaper::ConfirmWithoutUndo(const char* operation) {
  char text[512];
  std::snprintf(text, sizeof text, "メモリ不足のため%sは実行できませんがよろしいですか?", operation);
  std::string question = text;
  if (host_->IsModified())
    question += std::string("\r") + "* 実行前にファイルを保存しておくことをおすすめします *";
  return AskConfirm(question, ConfirmButtons::OkCancel) == ConfirmAnswer::Ok;
}

// --- editing and transforms ---------------------------------------------------------------------

bool TPaper::BeginEdit(int32_t i, const TRect& storeRect, int32_t kind) {
  CLayerData* l = layers.At(i);
  if (!l || !l->pixels) return false;
  if (level == 0) return l->PushUndo(ToPixRect(storeRect));
  if (!undo || !undo->CanUndo()) return false;
  std::unique_ptr<CUndoData> r = MakePixelRecord(*l, storeRect, kind);
  if (!r) {
    if (!Intersect(ToPixRect(storeRect), l->pixels->Bounds()).IsEmpty()) UndoRecordFailed();
    return false;
  }
  return PushUndo(std::move(r));
}

bool TPaper::TransformLayer(TFlowImage& flow, int32_t i, int32_t kind) {
  BeginOp();
  CLayerData* l = layers.At(i);
  if (!l || !l->pixels || kind < 7 || kind > 11) return false;
  const SPixRect all = l->pixels->Bounds();
  if (!ApplyLayerTransform(*l->pixels, kind, all)) {
    return false;
  }
  Journal(PaperOp::kTransformLayer, i, {kind});
  if (undo && undo->CanUndo()) PushUndo(MakeTransformRecord(kind, l->id, ToTRect(all)));
  FinishWholeLayerEdit(flow, i);
  return true;
}

bool TPaper::TransformVisible(TFlowImage& flow, int32_t kind) {
  BeginOp();
  if (kind < 12 || kind > 15) return false;
  const SPixRect paperRect{0, 0, width, height};
  if (!TransformVisibleLayers(*this, kind - 5, paperRect)) {
    return false;
  }
  Journal(PaperOp::kTransformVisible, -1, {kind});
  if (undo && undo->CanUndo()) PushUndo(MakeTransformRecord(kind, -1, ToTRect(paperRect)));
  flow.Invalidate();
  RecompositeAll(true);
  for (int32_t i = 0; i < layers.Count(); ++i) layers.At(i)->RenderThumbnail();
  host_->LayerWindowChanged(-1);
  return true;
}

// --- selection masks ---------------------------------------------------------------------------

int32_t TPaper::NewSelectionMask(int32_t index) {
  BeginOp();
  const int32_t before = masks.ActiveIndex();
  const int32_t counter = masks.NameCounter();
  const int32_t at = masks.InsertNew(index);
  if (at < 0) return -1;
  masks.Activate(at);
  Journal(PaperOp::kNewMask, -1, {at});
  if (undo && undo->CanUndo()) {
    auto r = std::make_unique<MaskListRecord>(53, at, masks.At(at)->internalName, before, at);
    r->SetCounters(counter, masks.NameCounter());
    PushUndo(std::move(r));
  }
  host_->SelectionWindowChanged();
  return at;
}

int32_t TPaper::SelectionFromLayer(int32_t layer, bool luminance, bool invert) {
  BeginOp();
  const CLayerData* l = layers.At(layer);
  if (!l) return -1;
  std::unique_ptr<CMaskData> m =
      luminance ? masks.MaskFromLayerLuminance(*l, invert) : masks.MaskFromLayerAlpha(*l);
  if (!m) {
    ShowWarning(kOutOfMemoryText);
    return -1;
  }
  const int32_t serial = m->internalName;
  const int32_t before = masks.ActiveIndex();
  const int32_t at = masks.Insert(masks.Count(), std::move(m));
  masks.Activate(at);
  masks.RefreshThumbnail(at);
  Journal(PaperOp::kMaskFromLayer, layer, {at, luminance, invert});
  if (undo && undo->CanUndo()) PushUndo(std::make_unique<MaskListRecord>(54, at, serial, before, at));
  host_->SelectionWindowChanged();
  return at;
}

int32_t TPaper::DuplicateMask(int32_t index) {
  BeginOp();
  if (!masks.At(index)) return -1;
  const int32_t before = masks.ActiveIndex();
  const int32_t at = masks.Duplicate(index);
  if (at < 0) {
    ShowWarning(kOutOfMemoryText);
    return -1;
  }
  masks.Activate(at);
  Journal(PaperOp::kDuplicateMask, -1, {index});
  // Undone like any mask that was inserted with its contents: the copy goes, and comes back.
  if (undo && undo->CanUndo())
    PushUndo(std::make_unique<MaskListRecord>(54, at, masks.At(at)->internalName, before, at));
  host_->SelectionWindowChanged();
  return at;
}

bool TPaper::RemoveSelectionMask(int32_t index) {
  BeginOp();
  if (index < 0) index = masks.ActiveIndex();
  const int32_t before = masks.ActiveIndex();
  const CMaskData* m = masks.At(index);
  if (!m || masks.Count() < 2) return false;
  const int32_t serial = m->internalName;
  std::unique_ptr<CMaskData> removed = masks.TakeOut(index);
  Journal(PaperOp::kRemoveMask, -1, {index});
  if (undo && undo->CanUndo()) {
    auto r = std::make_unique<MaskListRecord>(55, index, serial, before, masks.ActiveIndex());
    r->Hold(std::move(removed));
    PushUndo(std::move(r));
  }
  host_->SelectionWindowChanged();
  return true;
}

bool TPaper::EditSelection(int32_t index, const CBlockVCH& channel, int32_t x, int32_t y, CombineMode mode) {
  BeginOp();
  if (index < 0) index = masks.ActiveIndex();
  std::unique_ptr<CMaskData> old;
  if (!masks.CombineInto(index, channel, x, y, mode, &old)) return false;
  Journal(PaperOp::kEditMask, -1, {index, int32_t(mode)});
  if (undo && undo->CanUndo())
    PushUndo(
        std::make_unique<MaskReplaceRecord>(56, index, masks.At(index)->internalName, -1, std::move(old)));
  host_->SelectionWindowChanged();
  return true;
}

bool TPaper::ActivateMask(int32_t index) {
  BeginOp();
  const int32_t before = masks.ActiveIndex();
  if (index == before || !masks.Activate(index)) return false;
  Journal(PaperOp::kActivateMask, -1, {index});
  if (undo && undo->CanUndo()) PushUndo(std::make_unique<MaskStateRecord>(57, before, index));
  host_->SelectionWindowChanged();
  return true;
}

bool TPaper::MoveMask(int32_t from, int32_t to) {
  BeginOp();
  const int32_t at = masks.Move(from, to);
  if (at < 0) return false;
  masks.Activate(at);
  Journal(PaperOp::kMoveMask, -1, {from, to});
  if (undo && undo->CanUndo()) PushUndo(std::make_unique<MaskStateRecord>(58, from, to));
  host_->SelectionWindowChanged();
  return true;
}

bool TPaper::InvertSelection(int32_t index) {
  BeginOp();
  if (index < 0) index = masks.ActiveIndex();
  if (!masks.InvertMask(index)) return false;
  Journal(PaperOp::kInvertMask, -1, {index});
  if (undo && undo->CanUndo()) {
    auto r = std::make_unique<MaskStateRecord>(59, index, 0);
    r->SetSerial(masks.At(index)->internalName);
    PushUndo(std::move(r));
  }
  host_->SelectionWindowChanged();
  return true;
}

bool TPaper::MoveSelection(int32_t index, int32_t dx, int32_t dy) {
  BeginOp();
  if (index < 0) index = masks.ActiveIndex();
  CMaskData* m = masks.At(index);
  if (!m || (dx == 0 && dy == 0)) return false;
  m->offsetX -= dx;
  m->offsetY -= dy;
  masks.RefreshThumbnail(index);
  Journal(PaperOp::kMoveSelection, -1, {index, dx, dy});
  if (undo && undo->CanUndo()) {
    auto r = std::make_unique<MaskStateRecord>(60, index, 0);
    r->SetSerial(m->internalName);
    r->SetOffset(dx, dy);
    PushUndo(std::move(r));
  }
  host_->SelectionWindowChanged();
  return true;
}

bool TPaper::SetSwitch(bool visible, bool enabled, PaperOp op, int32_t value) {
  const int32_t v0 = selectionVisible, e0 = selectionEnabled;
  if (v0 == int32_t(visible) && e0 == int32_t(enabled)) return false;
  selectionVisible = visible;
  selectionEnabled = enabled;
  Journal(op, -1, {value});
  if (undo && undo->CanUndo()) {
    // Holds the pair to set on undo (before) and, after the exchange, the one for redo.
    auto r = std::make_unique<MaskStateRecord>(61, v0, e0);
    r->SetOffset(visible, enabled);
    PushUndo(std::move(r));
  }
  host_->SelectionWindowChanged();
  return true;
}

bool TPaper::SetSelectionVisible(bool on) {
  BeginOp();
  return SetSwitch(on, selectionEnabled != 0, PaperOp::kSelectionVisible, on);
}

bool TPaper::SetSelectionEnabled(bool on) {
  BeginOp();
  return SetSwitch(selectionVisible != 0, on, PaperOp::kSelectionEnabled, on);
}

bool TPaper::CombineMasks(int32_t index, int32_t other, CombineMode mode) {
  BeginOp();
  const CMaskData* src = masks.At(other);
  if (!src || index == other || !masks.At(index)) return false;
  std::unique_ptr<CMaskData> old;
  bool ok;
  if (!src->HasChannel()) {
    ok = false;
  } else {
    ok = masks.CombineInto(index, *src->channel, -src->offsetX, -src->offsetY, mode, &old);
  }
  if (!ok) return false;
  masks.Activate(index);
  Journal(PaperOp::kCombineMasks, -1, {index, other, int32_t(mode)});
  if (undo && undo->CanUndo())
    PushUndo(std::make_unique<MaskReplaceRecord>(62, index, -1, other, std::move(old)));
  host_->SelectionWindowChanged();
  return true;
}

bool TPaper::RenameMask(int32_t index, const std::string& name) {
  BeginOp();
  CMaskData* m = masks.At(index);
  if (!m || m->displayName == name) return false;
  auto r = std::make_unique<MaskStateRecord>(63, index, 0);
  r->SetNames(m->displayName, name);
  m->displayName = name;
  Journal(PaperOp::kRenameMask, -1, {index});
  if (undo && undo->CanUndo()) PushUndo(std::move(r));
  host_->SelectionWindowChanged();
  return true;
}

bool TPaper::ClearSelection(int32_t index) {
  BeginOp();
  if (index < 0) index = masks.ActiveIndex();
  CMaskData* m = masks.At(index);
  if (!m || !m->HasChannel()) return false;
  auto empty = std::make_unique<CMaskData>();
  empty->internalName = m->internalName;  // the same mask, now selecting nothing
  empty->displayName = m->displayName;
  std::unique_ptr<CMaskData> old = masks.Replace(index, std::move(empty));
  if (!old) return false;
  masks.RefreshThumbnail(index);
  Journal(PaperOp::kClearSelection, -1, {index});
  if (undo && undo->CanUndo())
    PushUndo(
        std::make_unique<MaskReplaceRecord>(56, index, masks.At(index)->internalName, -1, std::move(old)));
  host_->SelectionWindowChanged();
  return true;
}

bool TPaper::SelectRect(int32_t index, const SPixRect& rect, CombineMode mode) {
  BeginOp();
  if (index < 0) index = masks.ActiveIndex();
  const SPixRect r = Intersect(rect, {-kMaxPaperSide, -kMaxPaperSide, 3 * kMaxPaperSide, 3 * kMaxPaperSide});
  if (r.IsEmpty() || !masks.At(index)) return false;
  CBlockVCH shape(r.width, r.height);
  if (!shape.IsValid()) {
    ShowWarning(kOutOfMemoryText);
    return false;
  }
  shape.FillAll(255);
  std::unique_ptr<CMaskData> old;
  if (!masks.CombineInto(index, shape, r.x, r.y, mode, &old)) return false;
  Journal(PaperOp::kSelectRect, -1, {index, int32_t(mode), r.x, r.y, r.Right(), r.Bottom()});
  if (undo && undo->CanUndo())
    PushUndo(
        std::make_unique<MaskReplaceRecord>(56, index, masks.At(index)->internalName, -1, std::move(old)));
  host_->SelectionWindowChanged();
  return true;
}

// --- the per-layer history of level-0 papers ------------------------------------------------------

namespace {

class OwnLayerUndo : public ILayerUndo {
 public:
  static constexpr size_t kDepth = 8;
  bool CanUndo() const override { return !undo_.empty(); }
  bool CanRedo() const override { return !redo_.empty(); }
  int64_t Memory() const override {
    int64_t m = 0;
    for (const auto& s : undo_) m += s.pixels->MemoryUsed();
    for (const auto& s : redo_) m += s.pixels->MemoryUsed();
    return m;
  }
  bool Push(const CLayerData& layer, const SPixRect& rect) override {
    Snapshot s;
    if (!Capture(layer, rect, s)) return false;
    undo_.push_back(std::move(s));
    if (undo_.size() > kDepth) undo_.erase(undo_.begin());
    redo_.clear();
    return true;
  }
  bool Undo(CLayerData& layer, CDibCore* buffer, SPixRect* changed) override {
    if (undo_.empty() || !layer.pixels) return false;
    Snapshot s = std::move(undo_.back());
    undo_.pop_back();
    Snapshot now;
    if (Capture(layer, s.rect, now)) {
      redo_.push_back(std::move(now));
      if (redo_.size() > kDepth) redo_.erase(redo_.begin());
    }
    layer.pixels->CopyFrom(*s.pixels, {s.rect.x, s.rect.y}, s.pixels->Bounds());
    layer.pixels->Compact();
    if (buffer) layer.pixels->ReadRect(*buffer, {s.rect.x, s.rect.y}, false, 255, s.rect);
    if (changed) *changed = s.rect;
    return true;
  }
  std::unique_ptr<ILayerUndo> Clone() const override {
    auto c = std::make_unique<OwnLayerUndo>();
    auto copy = [](const std::vector<Snapshot>& from, std::vector<Snapshot>& to) {
      for (const auto& s : from) {
        Snapshot d;
        d.rect = s.rect;
        d.pixels = std::make_unique<CBlockVMTC>();
        if (!d.pixels->CreateCopy(*s.pixels)) return false;
        to.push_back(std::move(d));
      }
      return true;
    };
    if (!copy(undo_, c->undo_) || !copy(redo_, c->redo_)) return nullptr;
    return c;
  }

 private:
  struct Snapshot {
    SPixRect rect;
    std::unique_ptr<CBlockVMTC> pixels;
  };
  static bool Capture(const CLayerData& layer, const SPixRect& rect, Snapshot& s) {
    if (!layer.pixels) return false;
    s.rect = Intersect(rect, layer.pixels->Bounds());
    if (s.rect.IsEmpty()) return false;
    s.pixels = std::make_unique<CBlockVMTC>(s.rect.width, s.rect.height);
    return s.pixels->IsValid() && s.pixels->CopyFrom(*layer.pixels, {0, 0}, s.rect);
  }
  std::vector<Snapshot> undo_, redo_;
};

std::unique_ptr<ILayerUndo> MakeOwnLayerUndo() { return std::make_unique<OwnLayerUndo>(); }

}  // namespace

void InstallLayerUndo() { SetLayerUndoFactory(MakeOwnLayerUndo); }

}  // namespace tintara
