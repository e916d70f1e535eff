#include "document/Layer.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "pixel/ColorOps.h"
#include "platform/Clock.h"
#include "platform/Notify.h"
#include "platform/Strings.h"

namespace tintara {
namespace {
LayerUndoFactory g_undoFactory = nullptr;
}

LayerUndoFactory SetLayerUndoFactory(LayerUndoFactory factory) {
  LayerUndoFactory old = g_undoFactory;
  g_undoFactory = factory;
  return old;
}

// --- CLayerData -----------------------------------------------------------------------

int32_t CLayerData::nextId_ = 1;

CLayerData::CLayerData(int32_t idx, bool withOwnUndo) : index(idx), id(nextId_++) {
  Seed(random, TimeGetTime(), 0, 255);
  if (withOwnUndo && g_undoFactory) ownUndo = g_undoFactory();
}

CLayerData::~CLayerData() = default;

bool CLayerData::CreatePixels(int32_t width, int32_t height, int32_t modeByte) {
  try {
    auto store = std::make_unique<CBlockVMTC>(width, height);
    if (!store->IsValid()) return false;
    const uint8_t m = uint8_t(modeByte);
    store->FillAll(NeutralColor(EffectiveMode(m)));  // fills only: no memory
    // The thumbnail is made before anything of the old layer is given up.
    auto thumb = std::make_unique<TMTC>();
    const int64_t vw = width, vh = height;
    const int64_t tw = vh < vw ? kThumbnailSide : std::max<int64_t>(kThumbnailSide * vw / vh, 1);
    const int64_t th = vh < vw ? std::max<int64_t>(kThumbnailSide * vh / vw, 1) : kThumbnailSide;
    if (!thumb->Resize(int32_t(tw), int32_t(th))) return false;
    FillAll(*thumb, 0x00FFFFFF);
    pixels = std::move(store);
    thumbnail = std::move(thumb);
    viewX = viewY = 0;
    viewWidth = width;
    viewHeight = height;
    visible = 1;
    protectAlpha = 0;
    opacity = 255;
    mode = m;
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool CLayerData::CreatePixelsLike(const CLayerData& other) {
  if (!other.pixels || !CreatePixels(other.pixels->Width(), other.pixels->Height(), other.mode)) return false;
  return CopyAll(other);
}

void CLayerData::FitThumbnail(int32_t maxWidth, int32_t maxHeight) {
  if (!thumbnail) thumbnail = std::make_unique<TMTC>();
  const int64_t vw = std::max(1, viewWidth), vh = std::max(1, viewHeight);
  int64_t w, h;
  if (vh < vw) {
    h = std::max<int64_t>(maxWidth * vh / vw, 1);
    w = maxWidth;
  } else {
    w = std::max<int64_t>(maxHeight * vw / vh, 1);
    h = maxHeight;
  }
  if (thumbnail->Resize(int32_t(w), int32_t(h))) FillAll(*thumbnail, 0x00FFFFFF);
}

void CLayerData::RenderThumbnail() {
  if (!pixels || !thumbnail || !thumbnail->IsValid()) return;
  pixels->BoxAverageTo(*thumbnail, ViewRect(), thumbnail->Bounds());
}

void CLayerData::RenderThumbnail(const SPixRect& paperRect) {
  if (!pixels || !thumbnail || !thumbnail->IsValid() || viewWidth < 1 || viewHeight < 1) return;
  const double sx = double(thumbnail->Width()) / viewWidth, sy = double(thumbnail->Height()) / viewHeight;
  // The scaled rectangle, rounded and widened by one pixel.
  const int32_t l = int32_t(std::nearbyint(paperRect.x * sx)) - 1;
  const int32_t t = int32_t(std::nearbyint(paperRect.y * sy)) - 1;
  const int32_t r = int32_t(std::nearbyint(paperRect.Right() * sx)) + 1;
  const int32_t b = int32_t(std::nearbyint(paperRect.Bottom() * sy)) + 1;
  const SPixRect part{l, t, r - l, b - t};
  pixels->BoxAverageTo(*thumbnail, ViewRect(), thumbnail->Bounds(), &part);
}

void CLayerData::ClearThumbnail(bool transparent) {
  if (thumbnail && thumbnail->IsValid())
    FillAll(*thumbnail, WithAlpha(NeutralColor(Mode()), transparent ? 0 : 255));
}

void CLayerData::CopyAttributes(const CLayerData& other) {
  name = other.name;
  visible = other.visible;
  opacity = other.opacity;
  protectAlpha = other.protectAlpha;
  mode = other.mode;
  groupLevel = other.groupLevel;
  ditherAmount = other.ditherAmount;
  ditherOn = other.ditherOn;
  random = other.random;
}

bool CLayerData::CopyAll(const CLayerData& other) {
  if (!pixels || !other.pixels) return false;
  bool ok = pixels->CopyAllTiles(*other.pixels);
  if (other.thumbnail && other.thumbnail->IsValid()) {
    if (!thumbnail) thumbnail = std::make_unique<TMTC>();
    if (thumbnail->Resize(other.thumbnail->Width(), other.thumbnail->Height()))
      CopyRect(*thumbnail, {0, 0}, *other.thumbnail, other.thumbnail->Bounds());
    else
      ok = false;
  }
  CopyAttributes(other);
  viewX = other.viewX;
  viewY = other.viewY;
  viewWidth = other.viewWidth;
  viewHeight = other.viewHeight;
  if (other.ownUndo) ownUndo = other.ownUndo->Clone();
  return ok;
}

bool CLayerData::ViewInStore(bool clamp) {
  if (!pixels) return false;
  const int32_t maxX = pixels->Width() - viewWidth, maxY = pixels->Height() - viewHeight;
  const bool inside = viewX >= 0 && viewX <= maxX && viewY >= 0 && viewY <= maxY;
  if (clamp) {
    viewX = std::clamp(viewX, 0, std::max(0, maxX));
    viewY = std::clamp(viewY, 0, std::max(0, maxY));
  }
  return inside;
}

bool CLayerData::ShiftView(int32_t dx, int32_t dy) {
  viewX -= dx;
  viewY -= dy;
  RenderThumbnail();
  return ViewInStore(false);
}

SPixRect CLayerData::Bounds() const {
  if (!pixels) return {-viewX, -viewY, 0, 0};
  return {-viewX, -viewY, pixels->Width(), pixels->Height()};
}

bool CLayerData::IsLargerThanPaper() const {
  return pixels && (viewWidth < pixels->Width() || viewHeight < pixels->Height());
}

std::unique_ptr<CLayerData> CLayerData::ResizedCopy(TPoint size, TPoint offset) const {
  if (!pixels) return nullptr;
  try {
    auto copy = std::make_unique<CLayerData>(index, ownUndo != nullptr);
    if (!copy->CreatePixels(size.x, size.y, mode)) return nullptr;
    if (!copy->pixels->CopyFrom(*pixels, offset, pixels->Bounds())) return nullptr;
    copy->pixels->Compact();
    copy->viewX = offset.x + viewX;
    copy->viewY = offset.y + viewY;
    copy->viewWidth = viewWidth;
    copy->viewHeight = viewHeight;
    copy->FitThumbnail(kThumbnailSide, kThumbnailSide);
    return copy;
  } catch (const std::exception&) {
    return nullptr;
  }
}

void CLayerData::SetGroupLevel(int32_t level) { groupLevel = std::clamp(level, 0, kMaxGroupLevel); }

void CLayerData::SetAlpha(uint8_t alpha) {
  if (pixels) pixels->MaskedSet(pixels->Bounds(), 0xFF000000u, uint32_t(alpha) << 24);
}

void CLayerData::SetNeutral() {
  if (pixels) pixels->MaskedSet(pixels->Bounds(), 0x00FFFFFFu, NeutralColor(Mode()));
}

int64_t CLayerData::MemoryUsed() const {
  int64_t bytes = pixels ? pixels->MemoryUsed() : 0;
  if (thumbnail && thumbnail->IsValid()) bytes += thumbnail->ByteSize();
  return bytes;
}

// --- CLayerMngr -----------------------------------------------------------------------

CLayerMngr::CLayerMngr(int32_t capacity) {
  if (capacity > 0) layers_.reserve(size_t(capacity));
}

CLayerMngr::~CLayerMngr() = default;

void CLayerMngr::SetPaperSize(int32_t width, int32_t height) {
  paperWidth_ = width;
  paperHeight_ = height;
}

void CLayerMngr::Renumber() {
  for (size_t i = 0; i < layers_.size(); ++i) layers_[i]->index = int32_t(i);
}

void CLayerMngr::ClampActive() {
  if (active_ > Count() - 1) active_ = Count() - 1;
}

std::string CLayerMngr::DefaultName(int32_t step) const {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d", nameCounter_ + step);
  return std::string(ResString(res::kLayerName)) + buf;
}

void CLayerMngr::NameLayer(int32_t i, int32_t step) {
  nameCounter_ += step;
  if (CLayerData* l = At(i)) l->name = DefaultName(0);
}

void CLayerMngr::CopyName(int32_t i, int32_t j) {
  if (IsValidIndex(i) && IsValidIndex(j)) layers_[size_t(i)]->name = layers_[size_t(j)]->name;
}

int32_t CLayerMngr::Add(int32_t index, int32_t width, bool visible, uint8_t opacity, bool withOwnUndo,
                        int32_t modeByte, int32_t height) {
  if (index < 0) {
    ShowWarning(kBadLayerIndexText);
    return -1;
  }
  try {
    auto layer = std::make_unique<CLayerData>(index, withOwnUndo);
    if (!layer->CreatePixels(width, height, modeByte)) {
      ShowWarning(kLayerInitFailedText);
      return -1;
    }
    layer->opacity = opacity;
    layer->visible = visible ? 1 : 0;
    layer->viewWidth = paperWidth_;
    layer->viewHeight = paperHeight_;
    int32_t at;
    if (IsValidIndex(index)) {
      layers_.insert(layers_.begin() + index, std::move(layer));
      at = index;
    } else {
      layers_.push_back(std::move(layer));
      at = Count() - 1;
    }
    if (active_ < 0) active_ = 0;
    Renumber();
    return at;
  } catch (const std::exception&) {
    ShowWarning(kLayerAddFailedText);
    return -1;
  }
}

int32_t CLayerMngr::Insert(int32_t index, std::unique_ptr<CLayerData> layer) {
  if (index < 0) {
    ShowWarning(kBadLayerIndexText);
    return -1;
  }
  if (!layer) return -1;
  int32_t at;
  if (IsValidIndex(index)) {
    layers_.insert(layers_.begin() + index, std::move(layer));
    at = index;
  } else {
    layers_.push_back(std::move(layer));
    at = Count() - 1;
  }
  // The loaders rely on the first layer becoming active.
  if (active_ < 0) active_ = 0;
  ClampActive();
  Renumber();
  return at;
}

void CLayerMngr::Delete(int32_t i) { Detach(i).reset(); }

std::unique_ptr<CLayerData> CLayerMngr::Detach(int32_t i) {
  if (!IsValidIndex(i)) return nullptr;
  std::unique_ptr<CLayerData> l = std::move(layers_[size_t(i)]);
  layers_.erase(layers_.begin() + i);
  ClampActive();
  Renumber();
  return l;
}

std::unique_ptr<CLayerData> CLayerMngr::Replace(int32_t i, std::unique_ptr<CLayerData> layer) {
  if (!IsValidIndex(i) || !layer) return nullptr;
  std::swap(layers_[size_t(i)], layer);
  Renumber();
  return layer;
}

bool CLayerMngr::Exchange(int32_t i, CLayerMngr& other, int32_t j) {
  if (!IsValidIndex(i) || !other.IsValidIndex(j)) return false;
  std::swap(layers_[size_t(i)], other.layers_[size_t(j)]);
  Renumber();
  other.Renumber();
  return true;
}

int32_t CLayerMngr::Move(int32_t to, int32_t from) {
  if (!IsValidIndex(from) || from == to) return -1;
  to = std::clamp(to, 0, Count() - 1);
  std::unique_ptr<CLayerData> l = std::move(layers_[size_t(from)]);
  layers_.erase(layers_.begin() + from);
  layers_.insert(layers_.begin() + to, std::move(l));
  Renumber();
  return to;
}

int32_t CLayerMngr::MoveBlock(int32_t to, int32_t from, int32_t n) {
  if (!IsValidIndex(from) || to < 0 || to > Count() || n != ChildCount(from) + 1 ||
      (to >= from && to <= from + n)) {
    ShowWarning(kLayerMoveFailedText);
    return -1;
  }
  int32_t base = 0;
  if (to > 0) base = Level(to - 1) + (ChildCount(to - 1) > 0 ? 1 : 0);
  const int32_t shift = base - Level(from);
  for (int32_t k = 0; k < n; ++k) layers_[size_t(from + k)]->SetGroupLevel(Level(from + k) + shift);
  int32_t result;
  if (from < to) {
    for (int32_t k = 0; k < n; ++k) {
      std::unique_ptr<CLayerData> l = std::move(layers_[size_t(from)]);
      layers_.erase(layers_.begin() + from);
      layers_.insert(layers_.begin() + (to - 1), std::move(l));
    }
    result = to - n;
  } else {
    for (int32_t k = 0; k < n; ++k) {
      std::unique_ptr<CLayerData> l = std::move(layers_[size_t(from + k)]);
      layers_.erase(layers_.begin() + (from + k));
      layers_.insert(layers_.begin() + (to + k), std::move(l));
    }
    result = to;
  }
  Renumber();
  return result;
}

int32_t CLayerMngr::SetActive(int32_t i) {
  if (IsValidIndex(i)) active_ = i;
  return active_;
}

int32_t CLayerMngr::VisibleCount() const {
  int32_t n = 0;
  for (const auto& l : layers_) n += l->visible != 0;
  return n;
}

int32_t CLayerMngr::FirstVisible() const {
  for (int32_t i = 0; i < Count(); ++i)
    if (layers_[size_t(i)]->visible) return i;
  return -1;
}

std::vector<uint8_t> CLayerMngr::VisibilitySnapshot() const {
  std::vector<uint8_t> v;
  v.reserve(layers_.size());
  for (const auto& l : layers_) v.push_back(l->visible);
  return v;
}

void CLayerMngr::ToggleAllVisible() {
  for (auto& l : layers_) l->visible = l->visible ? 0 : 1;
}

void CLayerMngr::SetAllVisible(bool v) {
  for (auto& l : layers_) l->visible = v ? 1 : 0;
}

void CLayerMngr::ShowOnly(int32_t i) {
  for (auto& l : layers_) l->visible = l->index == i ? 1 : 0;
}

void CLayerMngr::SetRangeVisible(int32_t i, int32_t n, bool v) {
  if (!IsValidIndex(i)) return;
  n = std::min(n, Count() - i);
  for (int32_t k = 0; k < n; ++k) layers_[size_t(i + k)]->visible = v ? 1 : 0;
}

int32_t CLayerMngr::IdAt(int32_t i) const { return IsValidIndex(i) ? layers_[size_t(i)]->id : -1; }

int32_t CLayerMngr::IndexOfId(int32_t id) const {
  for (int32_t i = 0; i < Count(); ++i)
    if (layers_[size_t(i)]->id == id) return i;
  return -1;
}

int64_t CLayerMngr::LayersMemory() const {
  int64_t sum = 0;
  for (const auto& l : layers_) sum += l->MemoryUsed();
  return sum;
}

int64_t CLayerMngr::OwnUndoMemory() const {
  int64_t sum = 0;
  for (const auto& l : layers_) sum += l->UndoMemory();
  return sum;
}

const CDynArray& CLayerMngr::Levels() {
  if (levels_.Allocate(1, Count()) && Count() > 0)
    for (int32_t i = 0; i < Count(); ++i) levels_.Data()[i] = uint8_t(Level(i));
  return levels_;
}

int32_t CLayerMngr::MaxLevel() const {
  int32_t mx = 0;
  for (const auto& l : layers_) mx = std::max(mx, l->groupLevel);
  return mx;
}

int32_t CLayerMngr::ChildCount(int32_t i) const {
  if (!IsValidIndex(i)) return -1;
  int32_t n = 0;
  while (i + 1 + n < Count() && Level(i + 1 + n) > Level(i)) ++n;
  return n;
}

bool CLayerMngr::CanGroupIn(int32_t i) const {
  if (!IsValidIndex(i) || i == 0) return false;
  int32_t maxBelow = 0;
  for (int32_t k = 0; k < i; ++k) maxBelow = std::max(maxBelow, Level(k));
  if (maxBelow >= 249) return false;
  int32_t j = i - 1;
  while (j >= 0 && Level(j) >= Level(i)) --j;
  if (j < 0) return true;  // no lower layer has a smaller level
  if (Level(i - 1) < Level(i)) return false;
  int32_t maxBetween = 0;
  for (int32_t k = j + 1; k < i; ++k) maxBetween = std::max(maxBetween, Level(k));
  return Level(j) < maxBetween;
}

bool CLayerMngr::CanGroupOut(int32_t i) const { return IsValidIndex(i) && i > 0 && Level(i) > 0; }

bool CLayerMngr::GroupIn(int32_t i) {
  if (!CanGroupIn(i)) return false;
  const int32_t n = ChildCount(i);
  for (int32_t k = 0; k <= n; ++k) layers_[size_t(i + k)]->AddGroupLevel(1);
  return true;
}

bool CLayerMngr::GroupOut(int32_t i) {
  if (!CanGroupOut(i)) return false;
  const int32_t n = ChildCount(i);
  for (int32_t k = 0; k <= n; ++k) layers_[size_t(i + k)]->AddGroupLevel(-1);
  return true;
}

bool CLayerMngr::CanMergeDown(int32_t i) const {
  if (i < 1 || i > Count() - 1 || ChildCount(i) != 0) return false;
  return Level(i - 1) == Level(i) - 1 || Level(i - 1) == Level(i);
}

bool CLayerMngr::Merge(int32_t dstIndex, int32_t srcIndex, bool keepOld, uint32_t option,
                       std::unique_ptr<CLayerData>* oldDst, const MergeFn* with) {
  CLayerData* L = At(dstIndex);
  CLayerData* U = At(srcIndex);
  if (!L || !U || L == U || !L->pixels || !U->pixels) return false;
  MergeParam storage;
  MergeChoice choice = ChooseLayerMerge(L->Mode(), U->Mode(), option, storage);
  if (!choice.ok) return false;  // an unknown option changes nothing
  if (with) {
    choice.fn = *with;
    choice.throughParam = choice.invertAfter = false;
  }

  // 1. A lower layer covering both extents.
  const SPixRect lb = L->Bounds(), ub = U->Bounds();
  const int32_t ux0 = std::min(lb.x, ub.x), uy0 = std::min(lb.y, ub.y);
  const int32_t ux1 = std::max(lb.Right(), ub.Right()), uy1 = std::max(lb.Bottom(), ub.Bottom());
  std::unique_ptr<CLayerData> merged = L->ResizedCopy({ux1 - ux0, uy1 - uy0}, {lb.x - ux0, lb.y - uy0});
  if (!merged) {
    ShowWarning(kLayerMergeResizeFailedText);
    return false;
  }
  merged->id = L->id;
  if (option & 0x20000) {
    merged->CopyAttributes(*L);
  } else {
    merged->name = L->name;
    merged->opacity = L->opacity;
  }
  merged->FitThumbnail(thumbWidth_, thumbHeight_);

  // 2. A grouped layer merged into its parent carries the parent's opacity for the while.
  const uint8_t srcOpacity = U->opacity;
  if (U->groupLevel > L->groupLevel) U->opacity = Mul8(U->opacity, merged->opacity);

  // 3. The lower layer's alpha takes its opacity everywhere (fills too); then the upper
  //    layer's pixels go in with its merge at its opacity.
  CBlockVMTC& store = *merged->pixels;
  bool ok = true;
  if (merged->opacity != 255) {
    const uint8_t* mul = MulTab() + merged->opacity;
    ok = store.MapValues(store.Bounds(), [mul](uint32_t v) { return WithAlpha(v, mul[(v >> 24) * 256]); });
  }
  ok = ok &&
       store.MergeFrom(*U->pixels, {ub.x - ux0, ub.y - uy0}, choice.fn, U->opacity, 255, U->pixels->Bounds());
  if (ok && choice.throughParam && choice.invertAfter) ok = store.Xor(store.Bounds(), 0x00FFFFFF);
  U->opacity = srcOpacity;
  if (!ok) return false;  // tile memory ran out (already reported): the list stays as it was

  // 4.
  merged->opacity = 255;
  store.Compact();
  merged->RenderThumbnail();
  std::unique_ptr<CLayerData> old = Replace(dstIndex, std::move(merged));
  if (keepOld && oldDst) *oldDst = std::move(old);
  Renumber();
  return true;
}

void CLayerMngr::SwapLayers(std::vector<std::unique_ptr<CLayerData>>& other, int32_t& otherActive) {
  std::swap(layers_, other);
  std::swap(active_, otherActive);
  ClampActive();
  if (active_ < 0 && Count() > 0) active_ = 0;
  Renumber();
}

void CLayerMngr::ClearAll() {
  layers_.clear();
  active_ = -1;
}

}  // namespace tintara
