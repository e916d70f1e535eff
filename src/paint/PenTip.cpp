#include "paint/PenTip.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>

#include "pixel/ChannelOps.h"
#include "pixel/ColorOps.h"

namespace tintara {

// --- records ------------------------------------------------------------------------------

void PenTipParams::SetRadius100(int32_t v) { radius100 = std::clamp(v, kMinRadius100, kMaxRadius100); }
void PenTipParams::SetAspect(int32_t v) { aspect = std::clamp(v, kMinAspect, kMaxAspect); }
void PenTipParams::SetAngle(int32_t v) {
  // 64-bit so that INT_MIN folds without overflow.
  const int64_t a = ((int64_t(v) % kFullTurn) + kFullTurn) % kFullTurn;
  angle = int32_t(a);
}
void PenTipParams::SetMinimum(int32_t v) { minimum = std::clamp(v, kMinMinimum, kMaxMinimum); }

PenTipParams PenTipParams::Clamped(const PenTipParams& raw) {
  PenTipParams p;
  p.SetRadius100(raw.radius100);
  p.SetAspect(raw.aspect);
  p.SetAngle(raw.angle);
  p.SetMinimum(raw.minimum);
  return p;
}

double PenTipRadiusStep(double radius) { return radius < 20.0 ? 0.1 : 1.0; }

double PenTipSliderRadius(int32_t position) {
  const int32_t p = std::clamp(position, 0, 80);
  const double r = p <= 40 ? p * 20.0 / 40.0 : 20.0 + (p - 40) * 180.0 / 40.0;
  return std::max(r, PenTipParams::kMinRadius100 / 100.0);
}

double DensityCurveAt(uint8_t curve, double x) {
  x = std::clamp(x, 0.0, 1.0);
  switch (curve) {
    case kCurveCircle:
      return std::sqrt(1.0 - x * x);
    case kCurveParabola:
      return 1.0 - x * x;
    case kCurveSmooth:
      return 2.0 * x * x * x - 3.0 * x * x + 1.0;
    case kCurveAirbrush:
      return std::pow(1.0 - x, std::log(0.3) / std::log(0.5));
    case kCurveHollow:
      return 1.0 - std::sqrt(1.0 - (1.0 - x) * (1.0 - x));
    default:
      return 1.0 - x;
  }
}

void DensityProfile::SetFlattening(int32_t v) { flattening = std::clamp(v, 0, kMaxPermille); }
void DensityProfile::SetFloor(int32_t v) { floor = std::clamp(v, 0, kMaxPermille); }

DensityProfile DensityProfile::Clamped(const DensityProfile& raw) {
  DensityProfile p;
  p.curve = raw.curve;
  p.SetFlattening(raw.flattening);
  p.SetFloor(raw.floor);
  return p;
}

// --- density table --------------------------------------------------------------------------

bool CGradeMapObj::Resize(int32_t n) {
  n = std::max(n, 2);
  try {
    table_.assign(size_t(n), 0);
    sqrtTable_.assign(size_t(n), 0);
  } catch (const std::bad_alloc&) {
    table_.clear();
    sqrtTable_.clear();
    valid_ = false;
    return false;
  }
  last_ = n - 1;
  Build();
  return true;
}

bool CGradeMapObj::SetProfile(const DensityProfile& profile) {
  const DensityProfile p = DensityProfile::Clamped(profile);
  if (valid_ && p == profile_) return false;
  profile_ = p;
  Build();
  return valid_;
}

void CGradeMapObj::Build() {
  if (table_.empty()) return;
  const double flat = profile_.flattening / 1000.0, floor = profile_.floor / 1000.0;
  const double scale = 65536.0 * 255.0;
  for (int32_t i = 0; i <= last_; ++i) {
    double e = double(i) / double(last_) - flat;
    double d = 1.0, d2 = 1.0;
    // e > 0 implies flat < 1, so the division is safe.
    if (e > 0) {
      e /= 1.0 - flat;
      d = DensityCurveAt(profile_.curve, e);
      d2 = DensityCurveAt(profile_.curve, std::sqrt(e));
    }
    table_[size_t(i)] = uint32_t((floor + d * (1.0 - floor)) * scale);
    sqrtTable_[size_t(i)] = uint32_t((floor + d2 * (1.0 - floor)) * scale);
  }
  valid_ = true;
}

// --- tip item -----------------------------------------------------------------------------

int32_t CPenShapeObj::NextSerial() {
  static std::atomic<int32_t> counter{0};
  return ++counter;
}

CPenShapeObj::CPenShapeObj() : serial(NextSerial()) {}

void CPenShapeObj::SetRecord(const DensityProfile* p, const PenTipParams* t, const int32_t* h) {
  if (p) profile = DensityProfile::Clamped(*p);
  if (t) {
    params = PenTipParams::Clamped(*t);
    // A bitmap tip keeps its radius field in step with its size.
    if (HasBitmap()) params.radius100 = sizePercent * 100;
  }
  if (h) hardEdge = *h != 0 ? 1 : 0;
  valid = true;
}

bool CPenShapeObj::CopyFrom(const CPenShapeObj& other) {
  if (&other == this) return true;
  TChannel copy;
  if (other.HasBitmap()) {
    if (!copy.Resize(other.bitmap.Width(), other.bitmap.Height())) return false;
    CopyRect8(copy, {0, 0}, other.bitmap, other.bitmap.Bounds());
  }
  valid = other.valid;
  name = other.name;
  profile = other.profile;
  params = other.params;
  hardEdge = other.hardEdge;
  bitmapState = copy.IsValid() ? 1 : 0;
  bitmap = std::move(copy);
  serial = other.serial;
  sizeMin = other.sizeMin;
  sizeMax = other.sizeMax;
  sizePercent = other.sizePercent;
  longSide = other.longSide;
  return true;
}

void CPenShapeObj::SizeRange(int32_t width, int32_t height, int32_t& minPercent, int32_t& maxPercent) {
  const int32_t shortSide = std::max(1, std::min(width, height));
  const int32_t longer = std::max(1, std::max(width, height));
  minPercent = std::max(400 / shortSide, 1);
  maxPercent = std::min(51200 / longer, 500);
  // A long thin bitmap would otherwise have no valid size at all.
  if (minPercent > maxPercent) minPercent = maxPercent;
}

bool CPenShapeObj::TakeBitmap(TChannel&& grey) {
  if (!grey.IsValid() || grey.Width() <= 0 || grey.Height() <= 0) return false;
  SizeRange(grey.Width(), grey.Height(), sizeMin, sizeMax);
  sizePercent = std::clamp(100, sizeMin, sizeMax);
  longSide = std::max(grey.Width(), grey.Height());
  bitmap = std::move(grey);
  bitmapState = 1;
  params.radius100 = sizePercent * 100;
  serial = NextSerial();
  return true;
}

bool CPenShapeObj::AttachBitmap(const CDibCore& channel) {
  if (!channel.IsValid() || channel.BytesPerPixel() != 1 || channel.Width() <= 0 || channel.Height() <= 0)
    return false;
  TChannel grey;
  if (!grey.Resize(channel.Width(), channel.Height())) return false;
  CopyRect8(grey, {0, 0}, channel, channel.Bounds());
  return TakeBitmap(std::move(grey));
}

bool CPenShapeObj::AttachBitmapFromImage(const CDibCore& colour) {
  if (!colour.IsValid() || colour.BytesPerPixel() != 4 || colour.Width() <= 0 || colour.Height() <= 0)
    return false;
  TChannel grey;
  if (!grey.Resize(colour.Width(), colour.Height())) return false;
  ColourToChannel(grey, {0, 0}, colour, colour.Bounds());
  if (!TakeBitmap(std::move(grey))) return false;
  params = PenTipParams{};
  params.radius100 = sizePercent * 100;
  return true;
}

void CPenShapeObj::DropBitmap() {
  bitmap.Free();
  bitmapState = 0;
  longSide = 0;
  sizeMin = 1;
  sizeMax = 500;
  sizePercent = 100;
  serial = NextSerial();
}

bool CPenShapeObj::SetSizePercent(int32_t percent) {
  if (percent < sizeMin || percent > sizeMax || percent == sizePercent) return false;
  sizePercent = percent;
  params.radius100 = percent * 100;
  return true;
}

// --- tip list -----------------------------------------------------------------------------

int32_t CPenShapeMngr::Add(const CPenShapeObj& item) { return Insert(Count(), item); }

int32_t CPenShapeMngr::Add(const PenTipRecord& record, const std::string& name) {
  try {
    auto item = std::make_unique<CPenShapeObj>();
    item->SetRecord(record);
    item->name = name;
    items_.push_back(std::move(item));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return Count() - 1;
}

int32_t CPenShapeMngr::Insert(int32_t index, const CPenShapeObj& item) {
  if (index < 0 || index > Count()) return -1;
  try {
    auto copy = std::make_unique<CPenShapeObj>();
    if (!copy->CopyFrom(item)) return -1;
    items_.insert(items_.begin() + index, std::move(copy));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  if (current_ >= index) ++current_;
  return index;
}

bool CPenShapeMngr::Delete(int32_t index) {
  if (!IsValidIndex(index)) return false;
  items_.erase(items_.begin() + index);
  current_ = std::min(current_, Count() - 1);
  return true;
}

void CPenShapeMngr::Clear() {
  items_.clear();
  current_ = -1;
}

bool CPenShapeMngr::Select(int32_t index) {
  if (!IsValidIndex(index)) return false;
  current_ = index;
  return true;
}

std::vector<PenTipRecord> BuiltInTipRecords() {
  struct Row {
    uint8_t curve;
    int32_t flattening, radius100, minimum;
  };
  static constexpr Row kRows[] = {
      {kCurveLinear, 1000, 100, 750}, {kCurveLinear, 1000, 1600, 333}, {kCurveLinear, 1000, 1200, 1000},
      {kCurveLinear, 0, 1200, 1000},  {kCurveLinear, 0, 3000, 600},    {kCurveLinear, 0, 1500, 600},
      {kCurveCircle, 0, 2500, 600},
  };
  std::vector<PenTipRecord> out;
  for (const Row& r : kRows) {
    PenTipRecord rec;
    rec.profile.curve = r.curve;
    rec.profile.flattening = r.flattening;
    rec.params.radius100 = r.radius100;
    rec.params.minimum = r.minimum;
    out.push_back(rec);
  }
  return out;
}

void CPenShapeMngr::FillBuiltIn() {
  Clear();
  for (const PenTipRecord& r : BuiltInTipRecords()) Add(r);
  current_ = Count() > 0 ? 0 : -1;
}

}  // namespace tintara
