#include "paint/Tone.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <new>
#include <numbers>
#include <numeric>

#include "pixel/Arith.h"
#include "pixel/ChannelOps.h"
#include "pixel/ScaleImage.h"

namespace tintara {
namespace {

constexpr double kPi = std::numbers::pi;

int64_t FloorDiv64(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t Mod64(int64_t a, int64_t b) { return a - FloorDiv64(a, b) * b; }
double Frac(double x) { return x - std::floor(x); }
double DistanceToInteger(double x) { return std::abs(x - std::nearbyint(x)); }

// x * p + y * q = gcd(p, q), for p, q >= 0 not both 0.
int64_t ExtendedGcd(int64_t p, int64_t q, int64_t& x, int64_t& y) {
  if (q == 0) {
    x = 1;
    y = 0;
    return p;
  }
  int64_t x1, y1;
  const int64_t g = ExtendedGcd(q, p % q, x1, y1);
  x = y1;
  y = x1 - (p / q) * y1;
  return g;
}

int32_t NextPatternSerial() {
  static std::atomic<int32_t> counter{0};
  return ++counter;
}

}  // namespace

const char* ToneShapeName(int32_t shape) {
  static constexpr const char* kNames[kToneShapeCount] = {
      "Round", "Dot", "Dot(Cos)", "Line", "Line(X)", "Line(Y)", "Square", "Cross", "Diamond", "Rhomboid"};
  return shape >= 0 && shape < kToneShapeCount ? kNames[shape] : "???";
}

double ToneSpot(int32_t shape, double u, double v) {
  const double au = std::abs(u), av = std::abs(v);
  switch (shape) {
    case kToneRound:
      return au + av > 1 ? (au - 1) * (au - 1) + (av - 1) * (av - 1) - 1 : 1 - u * u - v * v;
    case kToneDot:
      return 1 - u * u - v * v;
    case kToneDotCos:
      return (std::cos(kPi * u) + std::cos(kPi * v)) / 2;
    case kToneLine:
      return -au;
    case kToneLineX:
      return v;
    case kToneLineY:
      return u;
    case kToneSquare:
      return -std::max(au, av);
    case kToneCross:
      return -std::min(au, av);
    case kToneDiamond:
      if (au + av <= 0.75) return 1 - u * u - v * v;
      if (au + av <= 1.23) return 1 - (au + 0.85 * av);
      return (au - 1) * (au - 1) + (av - 1) * (av - 1) - 1;
    case kToneRhomboid:
      return (au + 0.9 * av) / 2;
    default:
      return 0;
  }
}

// --- description ------------------------------------------------------------------------------

double SToneAttr::CellSize() const { return lpi > 0 && std::isfinite(lpi) ? double(dpi) / double(lpi) : 0.0; }

bool SToneAttr::IsValid() const {
  if (!std::isfinite(dpi) || dpi < kMinDpi || dpi > kMaxDpi) return false;
  const double cell = CellSize();
  if (!(cell >= kMinCell && cell <= kMaxCell)) return false;
  return shape >= 0 && shape < kToneShapeCount && density >= 1 && density <= 99 && angle >= 0 &&
         angle <= 90 && softness >= 0 && softness <= 40;
}

std::string SToneAttr::AutomaticName() const {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s %.1fL %d%% %ddeg", ToneShapeName(shape), double(lpi), int(density),
                int(angle));
  std::string s = buf;
  if (softness > 0) s += " S" + std::to_string(softness);
  return s;
}

void SToneAttr::ScaleRange(int32_t& minPercent, int32_t& maxPercent) const {
  const double d = dpi > 0 && std::isfinite(dpi) ? double(dpi) : kMinDpi;
  const double q = std::isfinite(lpi) ? double(lpi) / d : 0.0;
  // Clamped before the conversion, so that no ruling can overflow it; a scale is never below 1.
  minPercent = int32_t(std::clamp(q * 350.0, 1.0, 100.0));
  maxPercent = int32_t(std::clamp(q * 12750.0, 100.0, 200.0));
}

// --- generator ----------------------------------------------------------------------------------

int32_t CToneMaker::RepeatFor(double cell, double angleDeg) {
  const double s = std::sin(angleDeg * kPi / 180), c = std::cos(angleDeg * kPi / 180);
  const double longer = std::max(cell * c, cell * s);
  const int32_t kmax = longer > 0 ? int32_t(512.0 / longer) - 1 : 0;
  if (kmax < 1) return 1;
  int32_t best = 1;
  double bestErr = 1e9;
  for (int32_t k = 1; k <= kmax; ++k) {
    const double e = DistanceToInteger(k * cell * s) + DistanceToInteger(k * cell * c);
    if (e < 0.05) return k;
    if (e < bestErr) {
      bestErr = e;
      best = k;
    }
  }
  return best;
}

bool CToneMaker::Setup(int32_t shape, int32_t softness, int32_t density, double angleDeg, double cell) {
  // Everything is checked before anything is divided by or sized with it.
  if (!std::isfinite(cell) || cell < SToneAttr::kMinCell || cell > SToneAttr::kMaxCell) return false;
  if (!std::isfinite(angleDeg) || angleDeg < 0 || angleDeg > 90) return false;
  if (shape < 0 || shape >= kToneShapeCount) return false;
  density = std::clamp(density, 0, 100);
  softness = std::clamp(softness, 0, 40);
  if (!valid_ || shape != shape_ || cell != cell_ || angleDeg != angle_) {
    const int32_t n = RepeatFor(cell, angleDeg);
    const double s = std::sin(angleDeg * kPi / 180), c = std::cos(angleDeg * kPi / 180);
    const int32_t a = int32_t(n * cell * s + 0.15), b = int32_t(n * cell * c + 0.15);
    if (n <= 0 || a < 0 || b < 0 || a + b <= 0) return false;
    // Keep the old tone until the new one is complete.
    CToneMaker next;
    next.shape_ = shape;
    next.cell_ = cell;
    next.angle_ = angleDeg;
    next.n_ = n;
    next.a_ = a;
    next.b_ = b;
    if (!next.BuildSpots()) return false;
    next.density_ = density;
    next.softness_ = softness;
    next.Threshold();
    if (!next.tile_.IsValid()) return false;
    *this = std::move(next);
    valid_ = true;
    return true;
  }
  if (density != density_ || softness != softness_) {
    density_ = density;
    softness_ = softness;
    Threshold();
  }
  return tile_.IsValid();
}

bool CToneMaker::BuildSpots() {
  const int64_t a = a_, b = b_;
  length_ = std::sqrt(double(a * a + b * b));
  sin_ = double(a) / length_;
  cos_ = double(b) / length_;
  realCell_ = length_ / n_;
  realAngle_ = std::atan2(double(a), double(b)) * 180 / kPi;
  rowOffset_ = int32_t((b - a) / 2);
  // The brick of the lattice (b, -a), (a, b): the horizontal period (a^2 + b^2) / g, the
  // vertical period g, and the lattice vector (shift, g) that steps one brick row down.
  int64_t x, y;
  const int64_t g = ExtendedGcd(b, a, x, y);  // x b + y a = g
  const int64_t w = (a * a + b * b) / g;
  if (g <= 0 || w <= 0 || w > kMaxBufferSide || g > kMaxBufferSide) return false;
  brickW_ = int32_t(w);
  brickH_ = int32_t(g);
  // i (b, -a) + j (a, b) with -i a + j b = g: j = x, i = -y.
  brickShift_ = int32_t(Mod64(-y * b + x * a, w));
  try {
    spot_.assign(size_t(w) * size_t(g), 0.0f);
  } catch (const std::bad_alloc&) {
    return false;
  }
  double lo = 1e300, hi = -1e300;
  for (int32_t ty = 0; ty < brickH_; ++ty) {
    const double Y = ty + rowOffset_ + 0.5;
    for (int32_t tx = 0; tx < brickW_; ++tx) {
      const double X = tx + 0.5;
      const double gg = (X * cos_ - Y * sin_) / realCell_, e = (X * sin_ + Y * cos_) / realCell_;
      const double u = 2 * Frac(e) - 1, v = 2 * Frac(gg) - 1;
      const double value = -ToneSpot(shape_, u, v);
      spot_[size_t(ty) * size_t(brickW_) + size_t(tx)] = float(value);
      lo = std::min(lo, value);
      hi = std::max(hi, value);
    }
  }
  // Scaled to 0..1; a flat spot function (max = min) leaves every value 0.
  const double span = hi - lo;
  for (float& v : spot_) v = span > 0 ? float((v - lo) / span) : 0.0f;
  std::vector<float> sorted;
  try {
    sorted = spot_;
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::sort(sorted.begin(), sorted.end());
  const int64_t N = int64_t(sorted.size());
  for (int32_t i = 0; i <= 100; ++i) thresholds_[i] = sorted[size_t(std::min(i * N / 100, N - 1))];
  for (int32_t i = 0; i <= 100; ++i) {
    int32_t below = 0, above = 0;
    while (i - below - 1 >= 0 && thresholds_[i - below - 1] == thresholds_[i]) ++below;
    while (i + above + 1 <= 100 && thresholds_[i + above + 1] == thresholds_[i]) ++above;
    sharedBelow_[i] = below;
    sharedAbove_[i] = above;
  }
  return tile_.Resize(brickW_, brickH_);
}

void CToneMaker::Threshold() {
  const int32_t d = density_;
  const int32_t below = std::min(std::max(sharedBelow_[d], softness_), d);
  const int32_t above = std::min(std::max(sharedAbove_[d], softness_), 100 - d);
  const double lower = thresholds_[d - below], upper = thresholds_[d + above];
  for (int32_t ty = 0; ty < brickH_; ++ty) {
    uint8_t* row = tile_.Row8(ty);
    const float* src = spot_.data() + size_t(ty) * size_t(brickW_);
    for (int32_t tx = 0; tx < brickW_; ++tx) {
      const double v = src[tx];
      // The ramp is only reached with lower < v < upper, so it never divides by zero.
      row[tx] = v <= lower ? 0 : v >= upper ? 255 : uint8_t((v - lower) * 255.0 / (upper - lower));
    }
  }
}

void CToneMaker::Fold(int32_t x, int32_t y, int32_t& bx, int32_t& by) const {
  const int64_t y1 = int64_t(y) - rowOffset_;
  const int64_t k = FloorDiv64(y1, brickH_);
  by = int32_t(y1 - k * brickH_);
  bx = int32_t(Mod64(int64_t(x) - k * brickShift_, brickW_));
}

uint8_t CToneMaker::Sample(int32_t x, int32_t y) const {
  if (!valid_) return 0;
  int32_t bx, by;
  Fold(x, y, bx, by);
  return uint8_t(255 - tile_.Row8(by)[bx]);
}

void CToneMaker::Render(CDibCore& channel, int32_t originX, int32_t originY) const {
  if (!channel.IsValid() || channel.BytesPerPixel() != 1) return;
  for (int32_t y = 0; y < channel.Height(); ++y) {
    uint8_t* row = channel.Row8(y);
    for (int32_t x = 0; x < channel.Width(); ++x) row[x] = Sample(x + originX, y + originY);
  }
}

// --- patterns -------------------------------------------------------------------------------------

CPatObj::CPatObj() : serial(NextPatternSerial()) {}

void CPatObj::SampleRow(int32_t x, int32_t y, int32_t n, uint8_t* out) const {
  for (int32_t i = 0; i < n; ++i) out[i] = Sample(x + i, y);
}

void CPatObj::DrawPreview(CDibCore& colour) const {
  if (!colour.IsValid() || colour.BytesPerPixel() != 4) return;
  for (int32_t y = 0; y < colour.Height(); ++y)
    for (int32_t x = 0; x < colour.Width(); ++x) {
      const uint32_t g = 255u - Sample(x, y);
      colour.Row32(y)[x] = 0xFF000000u | g << 16 | g << 8 | g;
    }
}

void CPatObj::CopyBase(const CPatObj& o) {
  valid = o.valid;
  serial = o.serial;
  kind = o.kind;
  offsetX = o.offsetX;
  offsetY = o.offsetY;
  width = o.width;
  height = o.height;
  scale = o.scale;
  name = o.name;
}

bool CPat8::SetChannel(const CDibCore& source) {
  if (!source.IsValid() || source.BytesPerPixel() != 1 || source.Width() <= 0 || source.Height() <= 0)
    return false;
  TChannel copy;
  if (!copy.Resize(source.Width(), source.Height())) return false;
  CopyRect8(copy, {0, 0}, source, source.Bounds());
  channel = std::move(copy);
  width = channel.Width();
  height = channel.Height();
  valid = true;
  return true;
}

uint8_t CPat8::Sample(int32_t x, int32_t y) const {
  if (width <= 0 || height <= 0) return 0;
  const int32_t px = int32_t(Mod64(int64_t(x) + offsetX, width)),
                py = int32_t(Mod64(int64_t(y) + offsetY, height));
  const uint8_t v = channel.Row8(py)[px];
  return invert ? uint8_t(255 - v) : v;
}

void CPat8::SampleRow(int32_t x, int32_t y, int32_t n, uint8_t* out) const {
  if (width <= 0 || height <= 0) {
    std::fill(out, out + n, uint8_t(0));
    return;
  }
  const uint8_t* row = channel.Row8(int32_t(Mod64(int64_t(y) + offsetY, height)));
  int32_t px = int32_t(Mod64(int64_t(x) + offsetX, width));
  const uint8_t flip = invert ? 255 : 0;
  for (int32_t i = 0; i < n; ++i) {
    out[i] = row[px] ^ flip;
    if (++px == width) px = 0;
  }
}

bool CPat8::CopyPat8(const CPat8& o) {
  if (o.channel.IsValid() && !SetChannel(o.channel)) return false;
  CopyBase(o);
  invert = o.invert;
  return true;
}

std::unique_ptr<CPatObj> CPat8::Clone() const {
  auto p = std::make_unique<CPat8>();
  if (!p->CopyPat8(*this)) return nullptr;
  return p;
}

void CPat8::ScaleRange(int32_t& minPercent, int32_t& maxPercent) const {
  const int32_t shorter = std::max(1, std::min(width, height));
  minPercent = std::min(1000 / shorter, 100);
  maxPercent = 200;
}

bool CPat8Tone::Generate(const SToneAttr& description, CToneMaker& maker, int32_t dpiPercent) {
  if (!description.IsValid() || dpiPercent <= 0) return false;
  const double dpi = double(description.dpi) * dpiPercent / 100.0;
  const double cell = dpi / double(description.lpi);
  if (!maker.Setup(description.shape, description.softness, description.density, description.angle, cell))
    return false;
  if (!SetChannel(maker.Tile())) return false;
  attr = description;
  brickShift = maker.BrickShift();
  rowOffset = maker.RowOffset();
  kind = kGenerated;
  if (attr.autoName)
    name = attr.AutomaticName();
  else
    name = attr.name;
  return true;
}

void CPat8Tone::Fold(int32_t x, int32_t y, int32_t& bx, int32_t& by) const {
  const int64_t y1 = int64_t(y) - rowOffset;
  const int64_t k = FloorDiv64(y1, height);
  by = int32_t(y1 - k * height);
  bx = int32_t(Mod64(int64_t(x) - k * brickShift, width));
}

uint8_t CPat8Tone::Sample(int32_t x, int32_t y) const {
  if (width <= 0 || height <= 0) return 0;
  int32_t bx, by;
  Fold(int32_t(int64_t(x) - offsetX), int32_t(int64_t(y) - offsetY), bx, by);
  const uint8_t v = uint8_t(255 - channel.Row8(by)[bx]);
  return invert ? uint8_t(255 - v) : v;
}

void CPat8Tone::SampleRow(int32_t x, int32_t y, int32_t n, uint8_t* out) const {
  if (width <= 0 || height <= 0) {
    std::fill(out, out + n, uint8_t(0));
    return;
  }
  int32_t bx, by;
  Fold(int32_t(int64_t(x) - offsetX), int32_t(int64_t(y) - offsetY), bx, by);
  const uint8_t* row = channel.Row8(by);
  const uint8_t flip = invert ? 0 : 255;
  for (int32_t i = 0; i < n; ++i) {
    out[i] = row[bx] ^ flip;
    if (++bx == width) bx = 0;
  }
}

std::unique_ptr<CPatObj> CPat8Tone::Clone() const {
  auto p = std::make_unique<CPat8Tone>();
  if (!p->CopyPat8(*this)) return nullptr;
  p->attr = attr;
  p->brickShift = brickShift;
  p->rowOffset = rowOffset;
  return p;
}

// --- lists -------------------------------------------------------------------------------------------

int32_t CPatMngrBase::Append(std::unique_ptr<CPatObj> item) {
  if (!item) return -1;
  try {
    items_.push_back(std::move(item));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return Count() - 1;
}

CToneMngr::CToneMngr() { scratch_.Resize(256, 256); }

int32_t CToneMngr::AddTone(const SToneAttr& description) {
  try {
    auto tone = std::make_unique<CPat8Tone>();
    if (!tone->Generate(description, maker_)) return -1;
    return Append(std::move(tone));
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int32_t CToneMngr::AddBitmap(const CDibCore& channel, int32_t scalePercent, int32_t offsetX, int32_t offsetY,
                             const std::string& name) {
  try {
    auto pat = std::make_unique<CPat8>();
    if (!pat->SetChannel(channel)) return -1;
    int32_t lo, hi;
    pat->ScaleRange(lo, hi);
    pat->scale = std::clamp(scalePercent, lo, hi);
    pat->offsetX = std::clamp(offsetX, 0, pat->width - 1);
    pat->offsetY = std::clamp(offsetY, 0, pat->height - 1);
    pat->name = name;
    return Append(std::move(pat));
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int32_t CToneMngr::AddDotGrid(int32_t size, double spacing, double radius, const std::string& name) {
  if (size <= 0 || size > 4096 || !(spacing > 0) || !(radius > 0)) return -1;
  TChannel ch;
  if (!ch.Resize(size, size)) return -1;
  FillAll8(ch, 0);
  DotGrid8(ch, spacing / 2, spacing / 2, spacing, radius, 255);
  return AddBitmap(ch, 100, 0, 0, name);
}

int32_t CToneMngr::CopyItem(int32_t index) {
  if (!IsValidIndex(index)) return -1;
  try {
    auto copy = At(index)->Clone();
    if (!copy) return -1;
    return Append(std::move(copy));
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

bool CToneMngr::ReplaceTone(int32_t index, const SToneAttr& description) {
  CPatObj* item = At(index);
  if (!item || item->kind != CPatObj::kGenerated) return false;
  auto* tone = static_cast<CPat8Tone*>(item);
  CPat8Tone next;
  if (!next.Generate(description, maker_)) return false;
  next.offsetX = tone->offsetX;
  next.offsetY = tone->offsetY;
  next.invert = tone->invert;
  next.scale = tone->scale;
  if (!tone->CopyPat8(next)) return false;
  tone->attr = next.attr;
  tone->brickShift = next.brickShift;
  tone->rowOffset = next.rowOffset;
  if (index == selected_) RebuildWorking();
  return true;
}

bool CToneMngr::Rename(int32_t index, const std::string& name) {
  CPatObj* item = At(index);
  if (!item) return false;
  item->SetName(name);
  if (item->kind == CPatObj::kGenerated) {
    auto* tone = static_cast<CPat8Tone*>(item);
    tone->attr.name = name;
    tone->attr.autoName = false;
  }
  if (index == selected_ && working_) working_->name = name;
  return true;
}

bool CToneMngr::Delete(int32_t index) {
  if (!IsValidIndex(index)) return false;
  items_.erase(items_.begin() + index);
  if (index < selected_) {
    --selected_;
  } else if (index == selected_) {
    selected_ = std::min(selected_, Count() - 1);
    RebuildWorking();
  }
  return true;
}

void CToneMngr::Select(int32_t index) {
  selected_ = Count() == 0 ? -1 : std::clamp(index, 0, Count() - 1);
  RebuildWorking();
}

void CToneMngr::Clear() {
  items_.clear();
  selected_ = -1;
  working_.reset();
}

void CToneMngr::FillBuiltIn() {
  Clear();
  AddDotGrid(64, 8, 2);
  AddDotGrid(64, 16, 3);
}

bool CToneMngr::SetScale(int32_t scalePercent) {
  CPatObj* item = At(selected_);
  if (!item) return false;
  int32_t lo, hi;
  item->ScaleRange(lo, hi);
  const int32_t s = std::clamp(scalePercent, lo, hi);
  if (s == item->scale) return false;
  item->scale = s;
  return RebuildWorking();
}

bool CToneMngr::SetOffset(int32_t x, int32_t y) {
  CPatObj* item = At(selected_);
  if (!item) return false;
  const bool generated = item->kind == CPatObj::kGenerated;
  item->offsetX = std::clamp(x, 0, generated ? 99 : std::max(item->width - 1, 0));
  item->offsetY = std::clamp(y, 0, generated ? 99 : std::max(item->height - 1, 0));
  if (working_) {
    working_->offsetX = item->offsetX;
    working_->offsetY = item->offsetY;
  }
  return true;
}

bool CToneMngr::SetInvert(bool on) {
  auto* item = static_cast<CPat8*>(At(selected_));
  if (!item) return false;
  item->invert = on;
  if (working_) static_cast<CPat8*>(working_.get())->invert = on;
  return true;
}

bool CToneMngr::RebuildWorking() {
  working_.reset();
  const CPatObj* item = At(selected_);
  if (!item) return false;
  try {
    std::unique_ptr<CPat8> w;
    if (item->kind == CPatObj::kGenerated) {
      const auto* tone = static_cast<const CPat8Tone*>(item);
      auto t = std::make_unique<CPat8Tone>();
      if (!t->Generate(tone->attr, maker_, tone->scale)) return false;
      w = std::move(t);
    } else {
      const auto* pat = static_cast<const CPat8*>(item);
      w = std::make_unique<CPat8>();
      if (pat->scale == 100) {
        if (!w->SetChannel(pat->channel)) return false;
      } else {
        TChannel scaled;
        const int32_t sw = std::max(1, pat->width * pat->scale / 100),
                      sh = std::max(1, pat->height * pat->scale / 100);
        if (!scaled.Resize(sw, sh)) return false;
        CScaleImageCH view(&pat->channel, &scaled);
        if (!view.Scale(pat->channel.Bounds(), scaled.Bounds())) return false;
        if (!w->SetChannel(scaled)) return false;
      }
    }
    w->name = item->name;
    w->offsetX = item->offsetX;
    w->offsetY = item->offsetY;
    w->invert = static_cast<const CPat8*>(item)->invert;
    w->scale = 100;
    working_ = std::move(w);
  } catch (const std::bad_alloc&) {
    working_.reset();
    return false;
  }
  return true;
}

uint8_t CToneMngr::Apply(int32_t x, int32_t y, uint8_t coverage) const {
  if (!working_) return coverage;
  return Mul8(coverage, working_->Sample(x + originX_, y + originY_));
}

void CToneMngr::ApplyRow(int32_t x, int32_t y, int32_t n, uint8_t* coverage) const {
  if (!working_) return;
  uint8_t tone[256];
  for (int32_t done = 0; done < n;) {
    const int32_t m = std::min<int32_t>(n - done, 256);
    working_->SampleRow(x + originX_ + done, y + originY_, m, tone);
    for (int32_t i = 0; i < m; ++i) coverage[done + i] = Mul8(coverage[done + i], tone[i]);
    done += m;
  }
}

}  // namespace tintara
