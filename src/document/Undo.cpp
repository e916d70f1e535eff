#include "document/Undo.h"

#include <array>
#include <cstring>

#include "document/Paper.h"
#include "pixel/ColorOps.h"
#include "platform/Debug.h"
#include "platform/Memory.h"
#include "platform/Notify.h"

namespace tintara {

// --- the kind table ---------------------------------------------------------------------

namespace {

struct KindTable {
  std::array<UndoKindRow, 64> rows;
  KindTable() {
    for (int32_t k = 0; k < 64; ++k) {
      UndoClass c;
      if (k <= 6)
        c = UndoClass::kPixels;
      else if (k <= 15)
        c = UndoClass::kTransform;
      else if (k == 16)
        c = UndoClass::kPlane;
      else if (k <= 26)
        c = UndoClass::kAttribute;
      else if (k <= 52)
        c = UndoClass::kStructure;
      else
        c = UndoClass::kSelection;
      const bool heavy = k == 16 || (k >= 27 && k <= 30) || (k >= 32 && k <= 41) || k == 43 || k == 44 ||
                         (k >= 50 && k <= 56) || k == 62;
      rows[size_t(k)] = {uint8_t(k), c, (heavy ? kUndoFlagHeavy : 0u) | (k == 16 ? kUndoFlagRawBuffer : 0u)};
    }
  }
};

const KindTable& Kinds() {
  static const KindTable t;
  return t;
}

}  // namespace

const UndoKindRow& UndoKind(int32_t kind) { return Kinds().rows[size_t(kind >= 0 && kind < 64 ? kind : 0)]; }

// --- lists ---------------------------------------------------------------------------------

void CUndoList::PushFront(std::unique_ptr<CUndoData> r) {
  if (bounded_ && Count() >= capacity_) items_.pop_back();
  items_.push_front(std::move(r));
}

std::unique_ptr<CUndoData> CUndoList::PopFront() {
  if (items_.empty()) return nullptr;
  std::unique_ptr<CUndoData> r = std::move(items_.front());
  items_.pop_front();
  return r;
}

std::unique_ptr<CUndoData> CUndoList::PopBack() {
  if (items_.empty()) return nullptr;
  std::unique_ptr<CUndoData> r = std::move(items_.back());
  items_.pop_back();
  return r;
}

int32_t CUndoList::HeavyCount() const {
  int32_t n = 0;
  for (const auto& r : items_) n += r->Heavy();
  return n;
}

int64_t CUndoList::Memory() const {
  int64_t m = 0;
  for (const auto& r : items_) m += r->Memory();
  return m;
}

// --- managers --------------------------------------------------------------------------------

CUndoMngr::CUndoMngr(int32_t undoLimit, int32_t redoLimit)
    : undoLimit_(std::max(0, undoLimit)),
      redoLimit_(std::clamp(redoLimit, 0, std::max(0, undoLimit))),
      undo_(undoLimit, false),
      redo_(redoLimit, false) {}

void CUndoMngr::Trim() {}

bool CUndoMngr::PushUndo(std::unique_ptr<CUndoData> record) {
  if (!record || undoLimit_ <= 0) return false;
  // Only a heavy record makes room among the heavy ones, so light records never push out
  // heavy ones and undoMax heavy records survive.
  if (record->Heavy())
    while (!undo_.Empty() && undo_.HeavyCount() >= undoLimit_) undo_.PopBack();
  undo_.PushFront(std::move(record));
  Trim();
  redo_.Clear();
  return true;
}

void CUndoMngr::PushUndoKeepRedo(std::unique_ptr<CUndoData> record) {
  if (!record) return;
  if (record->Heavy())
    while (!undo_.Empty() && undo_.HeavyCount() >= undoLimit_) undo_.PopBack();
  undo_.PushFront(std::move(record));
  Trim();
}

void CUndoMngr::PushRedo(std::unique_ptr<CUndoData> record) {
  if (record) redo_.PushFront(std::move(record));
}

void CUndoMngr::ClearAll() {
  undo_.Clear();
  redo_.Clear();
}

void CUndoMngr::SetLimits(int32_t undoLimit, int32_t redoLimit) {
  if (undoLimit <= 0 || redoLimit <= 0) {
    undoLimit_ = redoLimit_ = 0;
    ClearAll();
    return;
  }
  undoLimit_ = undoLimit;
  redoLimit_ = std::min(redoLimit, undoLimit);
  while (undo_.HeavyCount() > undoLimit_) undo_.PopBack();
  while (redo_.HeavyCount() > redoLimit_) redo_.PopBack();
  Trim();
}

CUndoMngrEx::CUndoMngrEx(TPaper& paper, int32_t undoMax)
    : CUndoMngr(std::clamp(undoMax, 0, kMaxUndo), std::clamp(undoMax, 0, kMaxUndo)), paper_(paper) {}

void CUndoMngrEx::Trim() {
  while (undo_.Count() > undoLimit_ + kSlack) undo_.PopBack();
}

UndoResult CUndoMngrEx::StepNewest(bool redo) {
  UndoResult result;
  CUndoList& from = redo ? redo_ : undo_;
  CUndoData* front = from.Front();
  if (!front) return result;
  // A record whose layer is gone is dropped silently; structural records find their layers
  // themselves.
  if (front->NamesLayer() && front->Class() != UndoClass::kStructure &&
      paper_.layers.IndexOfId(front->LayerId()) < 0) {
    from.PopFront();
    result.dropped = true;
    return result;
  }
  std::unique_ptr<CUndoData> record = from.PopFront();
  std::unique_ptr<CUndoData> opposite;
  result.kind = record->Kind();
  result.flags = record->Flags();
  if (!record->Step(paper_, redo, result, opposite)) {
    ShowWarning(kUndoFailedText);
    ClearAll();
    result.ok = false;
    result.cleared = true;
    return result;
  }
  std::unique_ptr<CUndoData> moved = opposite ? std::move(opposite) : std::move(record);
  if (redo)
    PushUndoKeepRedo(std::move(moved));
  else
    PushRedo(std::move(moved));
  result.ok = true;
  return result;
}

UndoResult CUndoMngrEx::Undo() { return StepNewest(false); }
UndoResult CUndoMngrEx::Redo() { return StepNewest(true); }

// --- class 1: pixels -----------------------------------------------------------------------

namespace {

int32_t IndexOf(TPaper& paper, int32_t id) { return paper.layers.IndexOfId(id); }

class PixelRecord : public CUndoData {
 public:
  PixelRecord(int32_t kind, int32_t layerId, const SPixRect& rect) : CUndoData(kind, layerId), rect_(rect) {}
  bool Capture(const CBlockVMTC& store) {
    // An empty rectangle (a click that painted nothing) keeps no pixels and steps as nothing,
    // so that the history still has the step the recording has.
    if (rect_.IsEmpty()) return true;
    pixels_ = std::make_unique<CBlockVMTC>(rect_.width, rect_.height);
    return pixels_->IsValid() && pixels_->CopyFrom(store, {0, 0}, rect_);
  }
  bool HoldsPixels() const override { return true; }
  int64_t Memory() const override { return pixels_ ? pixels_->MemoryUsed() + pixels_->TableBytes() : 0; }
  bool Step(TPaper& paper, bool, UndoResult& result, std::unique_ptr<CUndoData>& opposite) override {
    const int32_t i = IndexOf(paper, layerId_);
    CLayerData* layer = paper.Layer(i);
    if (!layer || !layer->pixels) return false;
    // The current pixels go to the other list; the saved ones come back.
    auto now = std::make_unique<PixelRecord>(kind_, layerId_, rect_);
    if (!now->Capture(*layer->pixels)) return false;
    if (pixels_) {
      if (!layer->pixels->CopyFrom(*pixels_, {rect_.x, rect_.y}, pixels_->Bounds())) return false;
      layer->pixels->Compact();
    }
    opposite = std::move(now);
    result.activate = i;
    result.rect = {rect_.x - layer->viewX, rect_.y - layer->viewY, rect_.width, rect_.height};
    return true;
  }

 private:
  SPixRect rect_;
  std::unique_ptr<CBlockVMTC> pixels_;
};

// --- class 2: the alpha plane ----------------------------------------------------------------

class PlaneRecord : public CUndoData {
 public:
  PlaneRecord(int32_t layerId, const SPixRect& rect) : CUndoData(16, layerId), rect_(rect) {}
  bool Capture(const CBlockVMTC& store) {
    // The record's raw buffer: width * height bytes.
    size_ = size_t(rect_.width) * size_t(rect_.height);
    plane_ = MemAllocArray<uint8_t>(size_);
    if (!plane_) return false;
    uint8_t* p = plane_.get();
    for (int32_t y = 0; y < rect_.height; ++y)
      for (int32_t x = 0; x < rect_.width; ++x)
        *p++ = uint8_t(store.GetPixel(rect_.x + x, rect_.y + y) >> 24);
    return true;
  }
  int64_t Memory() const override { return int64_t(size_); }
  bool Step(TPaper& paper, bool, UndoResult& result, std::unique_ptr<CUndoData>& opposite) override {
    const int32_t i = IndexOf(paper, layerId_);
    CLayerData* layer = paper.Layer(i);
    if (!layer || !layer->pixels) return false;
    auto now = std::make_unique<PlaneRecord>(layerId_, rect_);
    if (!now->Capture(*layer->pixels)) return false;
    const int32_t w = rect_.width;
    if (!layer->pixels->ModifyRows(rect_, [&](uint32_t* row, int32_t n, int32_t x, int32_t y) {
          const uint8_t* src = plane_.get() + size_t(y - rect_.y) * size_t(w) + size_t(x - rect_.x);
          for (int32_t k = 0; k < n; ++k) row[k] = WithAlpha(row[k], src[k]);
        }))
      return false;
    layer->pixels->Compact();
    opposite = std::move(now);
    result.activate = i;
    result.rect = {rect_.x - layer->viewX, rect_.y - layer->viewY, rect_.width, rect_.height};
    return true;
  }

 private:
  SPixRect rect_;
  MemPtr<uint8_t> plane_;
  size_t size_ = 0;
};

// --- class 3: self-inverse transforms -----------------------------------------------------------

class TransformRecord : public CUndoData {
 public:
  TransformRecord(int32_t kind, int32_t layerId, const SPixRect& rect)
      : CUndoData(kind, layerId), rect_(rect) {}
  bool NamesLayer() const override { return kind_ <= 11; }
  bool Step(TPaper& paper, bool, UndoResult& result, std::unique_ptr<CUndoData>&) override {
    if (kind_ <= 11) {
      const int32_t i = IndexOf(paper, layerId_);
      CLayerData* layer = paper.Layer(i);
      if (!layer || !layer->pixels) return false;
      if (!ApplyLayerTransform(*layer->pixels, kind_, rect_)) return false;
      result.activate = i;
      result.rect = {rect_.x - layer->viewX, rect_.y - layer->viewY, rect_.width, rect_.height};
      return true;
    }
    // 12..15: the transforms of 7..10 on every visible layer, over the paper rectangle.
    if (!TransformVisibleLayers(paper, kind_ - 5, rect_)) return false;
    result.rect = rect_;
    return true;
  }

 private:
  SPixRect rect_;
};

}  // namespace

bool TransformVisibleLayers(TPaper& paper, int32_t kind, const SPixRect& paperRect) {
  for (int32_t i = 0; i < paper.LayerCount(); ++i) {
    CLayerData& l = *paper.Layer(i);
    if (!l.visible || !l.pixels) continue;
    const SPixRect r{paperRect.x + l.viewX, paperRect.y + l.viewY, paperRect.width, paperRect.height};
    if (ApplyLayerTransform(*l.pixels, kind, r)) continue;
    // Put the layers already done back as they were.
    for (int32_t k = 0; k < i; ++k) {
      CLayerData& d = *paper.Layer(k);
      if (d.visible && d.pixels)
        ApplyLayerTransform(
            *d.pixels, kind,
            {paperRect.x + d.viewX, paperRect.y + d.viewY, paperRect.width, paperRect.height});
    }
    return false;
  }
  return true;
}

namespace {

// --- class 4: attributes ------------------------------------------------------------------------

class AttributeRecord : public CUndoData {
 public:
  AttributeRecord(int32_t kind, int32_t layerId, AttributeValue before, AttributeValue after)
      : CUndoData(kind, layerId), before_(std::move(before)), after_(std::move(after)) {}
  bool NamesLayer() const override { return kind_ != 17; }
  bool Step(TPaper& paper, bool redo, UndoResult& result, std::unique_ptr<CUndoData>&) override {
    // The toggle alone says which value to write: 0 = done (undo writes the old value).
    const AttributeValue& v = toggle == 0 ? before_ : after_;
    if (kind_ == 17) {
      paper.SetPaperColor(uint32_t(v.number), false);
    } else {
      const int32_t i = IndexOf(paper, layerId_);
      CLayerData* l = paper.Layer(i);
      if (!l) return false;
      switch (kind_) {
        case 18:
        case 19:
          l->opacity = uint8_t(v.number);
          break;
        case 20:
          l->ditherOn = uint8_t(v.x);
          l->ditherAmount = uint8_t(v.y);
          break;
        case 21:
          l->mode = uint8_t(v.number);
          break;
        case 22:
          l->visible = uint8_t(v.number);
          break;
        case 23:
        case 24:
          l->viewX = v.x;
          l->viewY = v.y;
          break;
        case 25:
          l->name = v.text;
          break;
        case 26:
          l->protectAlpha = uint8_t(v.number);
          break;
        default:
          return false;
      }
      result.activate = i;
    }
    (void)redo;
    toggle ^= 1;
    return true;
  }

 private:
  AttributeValue before_, after_;
};

}  // namespace

std::unique_ptr<CUndoData> MakePixelRecord(const CLayerData& layer, const TRect& storeRect, int32_t kind) {
  if (!layer.pixels) return nullptr;
  SPixRect r = Intersect(ToPixRect(storeRect), layer.pixels->Bounds());
  if (r.IsEmpty()) r = {};
  auto rec = std::make_unique<PixelRecord>(kind, layer.id, r);
  if (!rec->Capture(*layer.pixels)) return nullptr;
  return rec;
}

std::unique_ptr<CUndoData> MakePlaneRecord(const CLayerData& layer, const TRect& storeRect) {
  if (!layer.pixels) return nullptr;
  const SPixRect r = Intersect(ToPixRect(storeRect), layer.pixels->Bounds());
  if (r.IsEmpty()) return nullptr;
  auto rec = std::make_unique<PlaneRecord>(layer.id, r);
  if (!rec->Capture(*layer.pixels)) return nullptr;
  return rec;
}

std::unique_ptr<CUndoData> MakeTransformRecord(int32_t kind, int32_t layerId, const TRect& storeRect) {
  return std::make_unique<TransformRecord>(kind, kind <= 11 ? layerId : -1, ToPixRect(storeRect));
}

std::unique_ptr<CUndoData> MakeAttributeRecord(int32_t kind, int32_t layerId, const AttributeValue& before,
                                               const AttributeValue& after) {
  return std::make_unique<AttributeRecord>(kind, kind == 17 ? -1 : layerId, before, after);
}

bool ApplyLayerTransform(CBlockVMTC& store, int32_t kind, const SPixRect& rect) {
  const SPixRect r = Intersect(rect, store.Bounds());
  if (r.IsEmpty()) return true;
  if (kind < 7 || kind > 11) return false;
  // Every tile the transform writes is allocated first and the flips copy the rectangle
  // before they change anything, so a transform either completes or leaves the pixels as
  // they were (each failure has shown its message).
  const bool flips = kind == 7 || kind == 8 || kind == 10;
  if (!store.Reserve(r, flips)) {
    store.Compact();
    return false;
  }
  TMTC tmp;
  if (flips) {
    if (!tmp.Resize(r.width, r.height)) {
      ShowWarning(kOutOfMemoryText);
      store.Compact();
      return false;
    }
    store.ReadRect(tmp, {0, 0}, false, 255, r);
    if (kind != 8) FlipHorizontal(tmp, tmp.Bounds());
    if (kind != 7) FlipVertical(tmp, tmp.Bounds());
  }
  const bool ok = flips ? store.WriteRect(tmp, {r.x, r.y}, 255, tmp.Bounds())
                        : store.Xor(r, kind == 9 ? 0x00FFFFFFu : 0xFF000000u);
  store.Compact();
  return ok;
}

}  // namespace tintara
