#include "document/Mask.h"

#include <cmath>
#include <cstdio>

#include "document/Layer.h"
#include "pixel/Arith.h"
#include "pixel/ColorOps.h"
#include "pixel/ScaleImage.h"
#include "platform/Debug.h"

namespace tintara {
namespace {

std::string Named(const char* word, const std::string& what) { return std::string(word) + "(" + what + ")"; }

// A channel of rect's size holding `source` (placed at paper point (sx, sy)) where they
// overlap, zero elsewhere, for a mask whose paper rectangle is `rect`.
bool FillFrom(CBlockVCH& dst, const SPixRect& rect, const CBlockVCH& source, int32_t sx, int32_t sy) {
  return dst.CopyFrom(source, {sx - rect.x, sy - rect.y}, source.Bounds());
}

}  // namespace

// --- CMaskData ----------------------------------------------------------------------------

int32_t CMaskData::nextSerial_ = 0;

CMaskData::CMaskData() : internalName(nextSerial_++) {}

bool CMaskData::CreateChannel(int32_t width, int32_t height) {
  auto c = std::make_unique<CBlockVCH>(width, height);
  if (!c->IsValid()) {
    DebugOut("CMaskData::createMask: exception!");
    channel.reset();
    return false;
  }
  channel = std::move(c);
  return true;
}

std::unique_ptr<CMaskData> CMaskData::Copy(bool keepSerial) const {
  auto m = std::make_unique<CMaskData>();
  if (keepSerial) m->internalName = internalName;
  m->id = id;
  m->displayName = displayName;
  m->offsetX = offsetX;
  m->offsetY = offsetY;
  if (HasChannel()) {
    if (!m->CreateChannel(channel->Width(), channel->Height()) || !m->channel->CopyAllTiles(*channel))
      return nullptr;
  }
  if (thumbnail && thumbnail->IsValid()) {
    m->thumbnail = std::make_unique<TTC>(thumbnail->Width(), thumbnail->Height());
    CopyRect(*m->thumbnail, {0, 0}, *thumbnail, thumbnail->Bounds());
  }
  return m;
}

SPixRect CMaskData::PaperRect() const {
  if (!HasChannel()) return {0, 0, 0, 0};
  return {-offsetX, -offsetY, channel->Width(), channel->Height()};
}

uint8_t CMaskData::CoverageAt(int32_t x, int32_t y, uint8_t level) const {
  if (!HasChannel()) return 0;
  const int32_t cx = x + offsetX, cy = y + offsetY;
  if (cx < 0 || cy < 0 || cx >= channel->Width() || cy >= channel->Height()) return 0;
  return MulTab()[channel->GetPixel(cx, cy) * 256 + level];
}

int64_t CMaskData::Memory() const {
  int64_t m = HasChannel() ? channel->MemoryUsed() : 0;
  if (thumbnail && thumbnail->IsValid()) m += thumbnail->ByteSize();
  return m;
}

// --- CMaskMngr --------------------------------------------------------------------------------

CMaskMngr::CMaskMngr() {
  masks_.push_back(NewEmpty());
  active_ = 0;
  Renumber();
}

CMaskMngr::~CMaskMngr() = default;

std::unique_ptr<CMaskData> CMaskMngr::NewEmpty() {
  auto m = std::make_unique<CMaskData>();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d", ++nameCounter_);
  m->displayName = std::string(kMaskWord) + buf;
  return m;
}

void CMaskMngr::Renumber() {
  for (size_t i = 0; i < masks_.size(); ++i) masks_[i]->id = int32_t(i);
}

void CMaskMngr::SetPaperSize(int32_t width, int32_t height) {
  paperWidth_ = width;
  paperHeight_ = height;
}

bool CMaskMngr::HasChannel(int32_t i) const {
  const CMaskData* m = At(Resolve(i));
  return m && m->HasChannel();
}

bool CMaskMngr::AnyChannel() const { return LastWithChannel() >= 0; }

int32_t CMaskMngr::LastWithChannel() const {
  for (int32_t i = Count() - 1; i >= 0; --i)
    if (masks_[size_t(i)]->HasChannel()) return i;
  return -1;
}

bool CMaskMngr::ExtendsBeyondPaper(int32_t i) const {
  const CMaskData* m = At(Resolve(i));
  if (!m || !m->HasChannel()) return false;
  const SPixRect r = m->PaperRect();
  return r.x < 0 || r.y < 0 || r.Right() > paperWidth_ || r.Bottom() > paperHeight_;
}

SPixRect CMaskMngr::PaperRect(int32_t i) const {
  const CMaskData* m = At(Resolve(i));
  return m ? m->PaperRect() : SPixRect{0, 0, 0, 0};
}

uint8_t CMaskMngr::CoverageAt(int32_t x, int32_t y, uint8_t level) const {
  const CMaskData* m = Active();
  return m ? m->CoverageAt(x, y, level) : 0;
}

int64_t CMaskMngr::Memory() const {
  int64_t sum = 0;
  for (const auto& m : masks_) sum += m->Memory();
  return sum;
}

int32_t CMaskMngr::InsertNew(int32_t index) { return Insert(index, NewEmpty()); }

int32_t CMaskMngr::Insert(int32_t index, std::unique_ptr<CMaskData> mask) {
  if (!mask) return -1;
  index = Resolve(index);
  if (index < 0 || index > Count()) index = Count();
  const Marks marks = Mark();
  masks_.insert(masks_.begin() + index, std::move(mask));
  Follow(marks);
  if (active_ < 0) active_ = 0;
  Renumber();
  return index;
}

int32_t CMaskMngr::Duplicate(int32_t index) {
  index = Resolve(index);
  const CMaskData* m = At(index);
  if (!m) return -1;
  std::unique_ptr<CMaskData> copy = m->Copy(false);
  if (!copy) return -1;
  const Marks marks = Mark();
  masks_.insert(masks_.begin() + index, std::move(copy));
  Follow(marks);
  Renumber();
  return index;
}

CMaskMngr::Marks CMaskMngr::Mark() const { return {Active(), At(outlineIndex_)}; }

void CMaskMngr::Follow(const Marks& marks) {
  auto indexOf = [this](const CMaskData* m) {
    for (int32_t i = 0; i < Count(); ++i)
      if (masks_[size_t(i)].get() == m) return i;
    return -1;
  };
  if (marks.active) active_ = indexOf(marks.active);
  outlineIndex_ = marks.outline ? indexOf(marks.outline) : -1;
}

bool CMaskMngr::Delete(int32_t index) {
  index = Resolve(index);
  if (!At(index) || Count() < 2) return false;  // the last mask stays
  return TakeOut(index) != nullptr;
}

std::unique_ptr<CMaskData> CMaskMngr::TakeOut(int32_t index) {
  index = Resolve(index);
  if (!At(index)) return nullptr;
  if (outlineIndex_ == index) ClearOutline();
  const bool wasActive = active_ == index;
  const Marks marks = Mark();
  std::unique_ptr<CMaskData> m = std::move(masks_[size_t(index)]);
  masks_.erase(masks_.begin() + index);
  Follow({wasActive ? nullptr : marks.active, marks.outline});
  // When the active mask leaves, the one now at its place takes over (the previous one when it
  // was the last).
  if (wasActive) active_ = std::min(index, Count() - 1);
  Renumber();
  return m;
}

std::unique_ptr<CMaskData> CMaskMngr::Replace(int32_t index, std::unique_ptr<CMaskData> mask) {
  index = Resolve(index);
  if (!At(index) || !mask) return nullptr;
  std::swap(masks_[size_t(index)], mask);
  Renumber();
  if (outlineIndex_ == index) BuildOutline(index);
  return mask;
}

int32_t CMaskMngr::Move(int32_t from, int32_t to) {
  if (!At(from) || !At(to) || from == to) return -1;
  const Marks marks = Mark();
  std::unique_ptr<CMaskData> m = std::move(masks_[size_t(from)]);
  masks_.erase(masks_.begin() + from);
  masks_.insert(masks_.begin() + to, std::move(m));
  Follow(marks);
  Renumber();
  return to;
}

bool CMaskMngr::Activate(int32_t index) {
  if (!At(index)) return false;
  active_ = index;
  return true;
}

bool CMaskMngr::CombineInto(int32_t index, const CBlockVCH& source, int32_t x, int32_t y, CombineMode mode,
                            std::unique_ptr<CMaskData>* old) {
  index = Resolve(index);
  CMaskData* e = At(index);
  if (!e || !source.IsValid() || int32_t(mode) < 0 || int32_t(mode) > 3) return false;
  const bool hasE = e->HasChannel();
  const bool adding = mode == CombineMode::kAdd;
  if ((mode == CombineMode::kIntersect || mode == CombineMode::kSubtract) && !hasE) return false;
  if (mode == CombineMode::kAdd && !hasE) mode = CombineMode::kReplace;
  const SPixRect nRect{x, y, source.Width(), source.Height()};
  const SPixRect eRect = e->PaperRect();
  SPixRect rect = mode == CombineMode::kSubtract  ? eRect
                  : mode == CombineMode::kReplace ? nRect
                                                  : Union(eRect, nRect);

  auto result = std::make_unique<CMaskData>();
  result->internalName = e->internalName;  // stands in for the old mask
  result->displayName = e->displayName;
  if (!result->CreateChannel(rect.width, rect.height)) return false;
  CBlockVCH& c = *result->channel;
  bool ok = true;
  switch (mode) {
    case CombineMode::kReplace:
      ok = FillFrom(c, rect, source, x, y);
      break;
    case CombineMode::kAdd:
      ok = FillFrom(c, rect, source, x, y) && c.BlendFrom(*e->channel, {eRect.x - rect.x, eRect.y - rect.y},
                                                          ChannelMax, 255, 255, e->channel->Bounds());
      break;
    case CombineMode::kIntersect:
      // (existing * E * 32897) >> 23 over E's rectangle, 0 everywhere else.
      ok = FillFrom(c, rect, source, x, y) && c.BlendFrom(*e->channel, {eRect.x - rect.x, eRect.y - rect.y},
                                                          ChannelMultiply, 255, 255, e->channel->Bounds());
      if (ok) c.FillOutside({eRect.x - rect.x, eRect.y - rect.y, eRect.width, eRect.height}, 0);
      break;
    case CombineMode::kSubtract:
      // min(E, 255 - N), computed directly: the caller's mask is never touched.
      ok = c.CopyAllTiles(*e->channel) && c.BlendFrom(
                                              source, {x - rect.x, y - rect.y},
                                              [](uint8_t* p, uint8_t s, uint8_t) {
                                                const uint8_t inv = uint8_t(255 - s);
                                                if (inv < *p) *p = inv;
                                              },
                                              255, 255, source.Bounds());
      break;
  }
  if (!ok) return false;  // the old mask stays
  result->offsetX = -rect.x;
  result->offsetY = -rect.y;
  if (adding) {
    // An added mask is cut to the paper (also when it went into an empty mask); one that lies
    // wholly off the paper selects nothing there and keeps no channel.
    const SPixRect p = Intersect(rect, {0, 0, paperWidth_, paperHeight_});
    if (p.IsEmpty() && paperWidth_ > 0 && paperHeight_ > 0) {
      result->channel.reset();
      result->offsetX = result->offsetY = 0;
    } else if (!p.IsEmpty() && !(p == rect)) {
      auto cut = std::make_unique<CMaskData>();
      cut->internalName = result->internalName;
      cut->displayName = result->displayName;
      if (!cut->CreateChannel(p.width, p.height) ||
          !cut->channel->CopyFrom(c, {0, 0}, {p.x - rect.x, p.y - rect.y, p.width, p.height}))
        return false;
      cut->offsetX = -p.x;
      cut->offsetY = -p.y;
      result = std::move(cut);
    }
  }
  if (result->channel) result->channel->Compact();
  std::unique_ptr<CMaskData> previous = Replace(index, std::move(result));
  RefreshThumbnail(index);
  if (old) *old = std::move(previous);
  return true;
}

bool CMaskMngr::InvertMask(int32_t index, std::unique_ptr<CMaskData>* old) {
  index = Resolve(index);
  CMaskData* m = At(index);
  if (!m || !m->HasChannel()) return false;
  const SPixRect r = m->PaperRect();
  const SPixRect paper{0, 0, paperWidth_, paperHeight_};
  const SPixRect u = Union(r, paper);
  // The inversion is built on a copy (grown to the paper first when it does not cover it), so
  // a failure leaves the mask as it was.
  auto inv = std::make_unique<CMaskData>();
  inv->internalName = m->internalName;
  inv->displayName = m->displayName;
  if (!inv->CreateChannel(u.width, u.height) ||
      !inv->channel->CopyFrom(*m->channel, {r.x - u.x, r.y - u.y}, m->channel->Bounds())) {
    if (!(u == r)) DebugOut("makeExtendMask: exception!");
    return false;
  }
  inv->offsetX = -u.x;
  inv->offsetY = -u.y;
  if (!inv->channel->Xor(inv->channel->Bounds(), 0xFF)) return false;
  inv->channel->Compact();
  std::unique_ptr<CMaskData> previous = Replace(index, std::move(inv));
  RefreshThumbnail(index);
  if (old) *old = std::move(previous);
  return true;
}

bool CMaskMngr::CropToPaper(int32_t index, std::unique_ptr<CMaskData>* old) {
  index = Resolve(index);
  CMaskData* m = At(index);
  if (!m || !ExtendsBeyondPaper(index)) return false;
  const SPixRect r = m->PaperRect();
  const SPixRect p = Intersect(r, {0, 0, paperWidth_, paperHeight_});
  auto cut = std::make_unique<CMaskData>();
  cut->internalName = m->internalName;
  cut->displayName = m->displayName;
  if (!p.IsEmpty()) {
    if (!cut->CreateChannel(p.width, p.height) ||
        !cut->channel->CopyFrom(*m->channel, {0, 0}, {p.x - r.x, p.y - r.y, p.width, p.height}))
      return false;
    cut->offsetX = -p.x;
    cut->offsetY = -p.y;
  }
  std::unique_ptr<CMaskData> previous = Replace(index, std::move(cut));
  RefreshThumbnail(index);
  if (old) *old = std::move(previous);
  return true;
}

std::unique_ptr<CMaskData> CMaskMngr::MaskFromLayerLuminance(const CLayerData& layer, bool invert) const {
  if (!layer.pixels) return nullptr;
  auto m = std::make_unique<CMaskData>();
  if (!m->CreateChannel(layer.pixels->Width(), layer.pixels->Height()) ||
      !m->channel->FromColor(*layer.pixels, invert))
    return nullptr;
  m->offsetX = layer.viewX;
  m->offsetY = layer.viewY;
  m->displayName = Named(kLuminanceWord, layer.name);
  return m;
}

std::unique_ptr<CMaskData> CMaskMngr::MaskFromLayerAlpha(const CLayerData& layer) const {
  if (!layer.pixels) return nullptr;
  auto m = std::make_unique<CMaskData>();
  if (!m->CreateChannel(layer.pixels->Width(), layer.pixels->Height()) ||
      !m->channel->FromAlpha(*layer.pixels))
    return nullptr;
  m->offsetX = layer.viewX;
  m->offsetY = layer.viewY;
  m->displayName = Named(kAlphaWord, layer.name);
  return m;
}

bool CMaskMngr::MaskToLayerAlpha(int32_t index, CLayerData& layer) const {
  const CMaskData* m = At(Resolve(index));
  if (!m || !layer.pixels) return false;
  layer.SetAlpha(0);
  if (!m->HasChannel()) return true;
  // The overlap in store coordinates.
  const SPixRect mr = m->PaperRect();
  const SPixRect overlap =
      Intersect({mr.x + layer.viewX, mr.y + layer.viewY, mr.width, mr.height}, layer.pixels->Bounds());
  const int32_t dx = m->offsetX - layer.viewX, dy = m->offsetY - layer.viewY;  // store -> channel
  const CBlockVCH& ch = *m->channel;
  return layer.pixels->ModifyRows(overlap, [&](uint32_t* row, int32_t n, int32_t x, int32_t y) {
    for (int32_t k = 0; k < n; ++k) row[k] = WithAlpha(row[k], ch.GetPixel(x + k + dx, y + dy));
  });
}

bool CMaskMngr::ApplyMaskToAlpha(int32_t index, CBlockVMTC& image, int32_t viewX, int32_t viewY) const {
  const CMaskData* m = At(Resolve(index));
  if (!m || !m->HasChannel() || !image.IsValid()) return false;
  const SPixRect mr = m->PaperRect();
  const SPixRect overlap = Intersect({mr.x + viewX, mr.y + viewY, mr.width, mr.height}, image.Bounds());
  const int32_t dx = m->offsetX - viewX, dy = m->offsetY - viewY;
  const CBlockVCH& ch = *m->channel;
  const uint8_t* mul = MulTab();
  return image.ModifyRows(overlap, [&](uint32_t* row, int32_t n, int32_t x, int32_t y) {
    for (int32_t k = 0; k < n; ++k)
      row[k] = WithAlpha(row[k], mul[(row[k] >> 24) * 256 + ch.GetPixel(x + k + dx, y + dy)]);
  });
}

void CMaskMngr::RefreshThumbnail(int32_t index, int32_t cw, int32_t ch) {
  CMaskData* m = At(Resolve(index));
  if (!m) return;
  const int64_t w = std::max(1, paperWidth_), h = std::max(1, paperHeight_);
  int64_t tw, th;
  if (h < w) {
    tw = cw;
    th = std::max<int64_t>(h * cw / w, 1);
  } else {
    th = ch;
    tw = std::max<int64_t>(w * ch / h, 1);
  }
  if (!m->thumbnail) m->thumbnail = std::make_unique<TTC>();
  if ((m->thumbnail->Width() != tw || m->thumbnail->Height() != th) &&
      !m->thumbnail->Resize(int32_t(tw), int32_t(th)))
    return;
  // Each thumbnail pixel shows the coverage at the paper point under it.
  for (int32_t y = 0; y < th; ++y) {
    uint32_t* row = m->thumbnail->Row32(y);
    const int32_t py = int32_t(y * h / th);
    for (int32_t x = 0; x < tw; ++x) {
      const uint32_t v = m->CoverageAt(int32_t(x * w / tw), py);
      row[x] = 0xFF000000u | v << 16 | v << 8 | v;
    }
  }
}

void CMaskMngr::RefreshAllThumbnails() {
  for (int32_t i = 0; i < Count(); ++i) RefreshThumbnail(i);
}

bool CMaskMngr::ScaleAll(int32_t oldW, int32_t oldH, int32_t newW, int32_t newH) {
  if (oldW < 1 || oldH < 1 || newW < 1 || newH < 1) return false;
  bool ok = true;
  for (auto& m : masks_) {
    if (!m->HasChannel()) continue;
    const double sx = double(newW) / oldW, sy = double(newH) / oldH;
    const int32_t w = std::max(1, int32_t(std::floor(m->channel->Width() * sx + 0.5)));
    const int32_t h = std::max(1, int32_t(std::floor(m->channel->Height() * sy + 0.5)));
    auto c = std::make_unique<CBlockVCH>(w, h);
    CScaleMaskImage scaler(m->channel.get(), c.get());
    if (!c->IsValid() || !scaler.Scale(m->channel->Bounds(), c->Bounds())) {
      ok = false;
      continue;
    }
    c->Compact();
    m->channel = std::move(c);
    m->offsetX = int32_t(std::floor(m->offsetX * sx + 0.5));
    m->offsetY = int32_t(std::floor(m->offsetY * sy + 0.5));
  }
  SetPaperSize(newW, newH);
  RefreshAllThumbnails();
  return ok;
}

void CMaskMngr::ShiftAll(int32_t dx, int32_t dy) {
  for (auto& m : masks_) {
    m->offsetX -= dx;
    m->offsetY -= dy;
  }
}

void CMaskMngr::SwapMasks(std::vector<std::unique_ptr<CMaskData>>& other, int32_t& otherActive) {
  std::swap(masks_, other);
  std::swap(active_, otherActive);
  if (active_ >= Count()) active_ = Count() - 1;
  if (active_ < 0 && Count() > 0) active_ = 0;
  ClearOutline();
  Renumber();
}

bool CMaskMngr::CopyAll(std::vector<std::unique_ptr<CMaskData>>& out) const {
  out.clear();
  for (const auto& m : masks_) {
    std::unique_ptr<CMaskData> c = m->Copy(true);
    if (!c) return false;
    out.push_back(std::move(c));
  }
  return true;
}

void CMaskMngr::BuildOutline(int32_t index) {
  const CMaskData* m = At(Resolve(index));
  if (!m) return;
  outlineIndex_ = Resolve(index);
  if (outline_) outline_->Build(*m, paperWidth_, paperHeight_);
}

void CMaskMngr::ClearOutline() {
  outlineIndex_ = -1;
  if (outline_) outline_->Clear();
}

}  // namespace tintara
