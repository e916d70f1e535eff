#include "paint/PenRender.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "document/Layer.h"
#include "document/Paper.h"
#include "pixel/Arith.h"
#include "pixel/ColorOps.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

constexpr int64_t kOne = 65536;

int64_t FloorDiv64(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t CeilDiv64(int64_t a, int64_t b) { return -FloorDiv64(-a, b); }
int64_t ToFixed(double v) { return int64_t(v * 65536.0); }

uint32_t LerpColour(uint32_t s, uint32_t d, uint32_t t) {
  return uint32_t(Lerp8(s >> 16 & 0xFF, d >> 16 & 0xFF, t)) << 16 |
         uint32_t(Lerp8(s >> 8 & 0xFF, d >> 8 & 0xFF, t)) << 8 | Lerp8(s & 0xFF, d & 0xFF, t);
}

uint32_t PixelClamped(const CDibCore& img, int64_t x, int64_t y) {
  const int32_t cx = int32_t(std::clamp<int64_t>(x, 0, img.Width() - 1));
  const int32_t cy = int32_t(std::clamp<int64_t>(y, 0, img.Height() - 1));
  return img.Row32(cy)[cx];
}

// Asks for the dab's rows before they are touched: rows of a whole picture lie pages apart,
// so without this each row of a dab would wait for memory in turn.
void PrefetchRect(const TMTC& img, const SPixRect& r) {
  if (int64_t(r.width) * r.height > 65536) return;  // big dabs stream well enough
  for (int32_t y = r.y; y < r.Bottom(); ++y) {
    const char* p = reinterpret_cast<const char*>(img.Row32(y) + r.x);
    const char* end = reinterpret_cast<const char*>(img.Row32(y) + r.Right() - 1);
    for (; p <= end; p += 64) __builtin_prefetch(p, 1);
    __builtin_prefetch(end, 1);
  }
}

}  // namespace

int32_t BlurRadiusFor(int32_t effect1, double size) {
  const double k = std::floor(effect1 * size / 100.0 + 0.5);
  return std::isfinite(k) ? int32_t(std::clamp(k, 0.0, 1024.0)) : 0;
}

SPenBrushHead SPenBrushHead::Clamped(const SPenBrushHead& raw) {
  SPenBrushHead h;
  h.mode = uint8_t(std::min<int32_t>(raw.mode, kBrushModeCount - 1));
  h.variant = uint8_t(std::min<int32_t>(raw.variant, 1));
  h.pixelAligned = raw.pixelAligned ? 1 : 0;
  h.channel = raw.channel ? 1 : 0;
  h.effect1 = uint16_t(std::min<int32_t>(raw.effect1, 100));
  h.effect2 = uint16_t(std::min<int32_t>(raw.effect2, 100));
  h.effect3 = uint16_t(std::min<int32_t>(raw.effect3, 100));
  return h;
}

// --- pen buffer ---------------------------------------------------------------------------------

bool CPenTC::Capture(const CDibCore& work, double x, double y, double radius) {
  captured = false;
  if (!work.IsValid() || work.BytesPerPixel() != 4 || !std::isfinite(x) || !std::isfinite(y)) return false;
  const int32_t half = int32_t(std::ceil(std::clamp(radius, 0.0, 1024.0))) + 3;
  const int32_t n = 2 * half + 1;
  if ((Width() != n || Height() != n) && !Resize(n, n)) return false;
  const int64_t tx = int64_t(x), ty = int64_t(y);
  captureRadius = radius;
  captureX = x;
  captureY = y;
  side = n;
  originX = int32_t(tx - half);
  originY = int32_t(ty - half);
  fracX = x - double(tx);
  fracY = y - double(ty);
  for (int32_t j = 0; j < n; ++j) {
    uint32_t* row = Row32(j);
    for (int32_t i = 0; i < n; ++i) row[i] = PixelClamped(work, int64_t(originX) + i, int64_t(originY) + j);
  }
  captured = true;
  return true;
}

bool CPenTC::At(int32_t dx, int32_t dy, uint32_t& out) const {
  if (!captured) return false;
  const int32_t half = side / 2, i = dx + half, j = dy + half;
  if (i < 0 || j < 0 || i >= side || j >= side) return false;
  out = Row32(j)[i];
  return true;
}

SPenSurface SPenSurface::Of(TFlowImage& flow, const CLayerData* layer) {
  return {&flow.work, &flow.workMask, layer ? layer->pixels.get() : nullptr};
}

// --- renderer -------------------------------------------------------------------------------------

CPenRender::CPenRender() : density_(CGradeMapObj::kPenEntries), shape_(&density_) {
  airMap_.assign(kAirMapEntries, 0);
  airMapIndex_ = -1;
  SelectAirMap(3);
}

bool CPenRender::SelectAirMap(int32_t index) {
  if (index < 0 || index >= kAirMapCount) return false;
  if (index == airMapIndex_) return true;
  for (int32_t i = 0; i < kAirMapEntries; ++i) {
    const double x = i / 2047.0;
    double v;
    switch (index) {
      case 0:
        v = i <= 1843 ? 255.0 : 255.0 - 255.0 * (i - 1844) / 203.0;
        break;
      case 1:
        v = 255.0 * std::sqrt(1.0 - x * x);
        break;
      case 2:
        v = 255.0 * (2 * x * x * x - 3 * x * x + 1);
        break;
      case 3:
        v = 255.0 * (1.0 - x);
        break;
      default:
        v = 255.0 * (1.0 - std::sqrt(1.0 - (1.0 - x) * (1.0 - x)));
        break;
    }
    airMap_[size_t(i)] = uint32_t(std::clamp(v, 0.0, 255.0) * 65536.0);
  }
  airMapIndex_ = index;
  return true;
}

void CPenRender::SelectTip(const CPenShapeObj* tip, bool takeParams) {
  if (!tip) {
    bitmapTip_ = false;
    return;
  }
  if (tip->Serial() == tip_.Serial() && tip->HasBitmap() == tip_.HasBitmap()) {
    // The same bitmap: only the settings may have moved on.
    tip_.profile = tip->profile;
    tip_.params = tip->params;
    tip_.hardEdge = tip->hardEdge;
    if (tip_.HasBitmap()) tip_.SetSizePercent(tip->SizePercent());
  } else if (!tip_.CopyFrom(*tip)) {
    bitmapTip_ = false;
    return;
  }
  bitmapTip_ = tip_.HasBitmap();
  strokeSize_ = tip_.SizePercent();
  if (takeParams) {
    SetTipParams(tip->params);
    SetDensityProfile(tip->profile);
    SetHardEdge(tip->hardEdge != 0);
  }
}

bool CPenRender::SetBrushHead(const SPenBrushHead& raw) {
  const SPenBrushHead h = SPenBrushHead::Clamped(raw);
  if (h == head_) return false;
  head_ = h;
  return true;
}

bool CPenRender::SetEffects(int32_t e1, int32_t e2, int32_t e3) {
  SPenBrushHead h = head_;
  h.effect1 = uint16_t(std::clamp(e1, 0, 100));
  h.effect2 = uint16_t(std::clamp(e2, 0, 100));
  h.effect3 = uint16_t(std::clamp(e3, 0, 100));
  return SetBrushHead(h);
}

bool CPenRender::SetTipParams(const PenTipParams& raw) {
  const PenTipParams p = PenTipParams::Clamped(raw);
  if (p == params_) return false;
  params_ = p;
  return true;
}

bool CPenRender::SetDensityProfile(const DensityProfile& profile) {
  if (!density_.SetProfile(profile)) return false;
  shape_.RebuildMask();
  return true;
}

bool CPenRender::SetHardEdge(bool on) {
  if (on == hardEdge_) return false;
  hardEdge_ = on;
  return true;
}

double CPenRender::MaximumSize() const { return bitmapTip_ ? double(strokeSize_) : params_.Radius(); }

double CPenRender::MinimumSize(double maximum) const {
  if (bitmapTip_) {
    // The minimum field is in tenths of a percent.
    const double lo = tip_.SizeMin();
    return lo + tip_.params.minimum / 1000.0 * (strokeSize_ - lo);
  }
  return maximum * params_.minimum / 1000.0;
}

double CPenRender::SpacingTerm(double spacing) const {
  if (bitmapTip_) return spacing * tip_.LongSide() * strokeSize_ * 0.01;
  return spacing * params_.Radius();
}

void CPenRender::DabExtent(double size, int32_t& width, int32_t& height) const {
  if (bitmapTip_) {
    width = int32_t(std::ceil(tip_.bitmap.Width() * size * 0.005));
    height = int32_t(std::ceil(tip_.bitmap.Height() * size * 0.005));
    return;
  }
  width = height = int32_t(std::ceil(size));
}

double CPenRender::CaptureRadius() const {
  if (bitmapTip_) return tip_.LongSide() * strokeSize_ / 200.0;
  return params_.Radius();
}

bool CPenRender::EnsureScratch(size_t n) {
  try {
    if (cov_.size() < n) cov_.resize(n);
    if (colours_.size() < n) colours_.resize(n);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void CPenRender::BeginStroke(const SPenSurface& s, float x, float y) {
  lastDab_ = segmentRect_ = strokeRect_ = {};
  if (!stroke_) return;
  penColour_ = stroke_->colour;
  background_ = stroke_->background;
  strokeSize_ = tip_.SizePercent();
  writer_.Setup(stroke_->useTone, stroke_->useGradation, stroke_->protectTransparency);
  if (head_.channel) return;
  switch (head_.mode) {
    case kBrushWatercolour:
      if (s.work && s.work->IsValid()) StartWatercolour(*s.work, x, y);
      break;
    case kBrushBlur: {
      // Room for the largest dab of the stroke; a dab that needs more grows it.
      const double b = MaximumSize();
      const int32_t k = std::max(1, BlurRadiusFor(head_.effect1, b));
      const int32_t side = 2 * (int32_t(std::ceil(std::min(b, 512.0))) + 1 + k) + 1;
      if (blurSource_.Width() < side || blurSource_.Height() < side) blurSource_.Resize(side, side);
      break;
    }
    case kBrushSmudge:
    case kBrushFinger:
      stroke_->penBuffers[0].Reset();
      stroke_->penBuffers[1].Reset();
      if (s.work) stroke_->penBuffers[0].Capture(*s.work, x, y, CaptureRadius());
      stroke_->fingerCount = 0;
      stroke_->lastX = int32_t(x);
      stroke_->lastY = int32_t(y);
      break;
    case kBrushBurnDodge:
      writer_.BuildLightnessCurve(head_.variant == 1, head_.effect1);
      break;
    default:
      break;
  }
}

void CPenRender::StartWatercolour(const TMTC& work, float x, float y) {
  const int64_t tx = int64_t(x), ty = int64_t(y);
  uint32_t r = 0, g = 0, b = 0;
  for (int64_t j = -5; j <= 5; ++j)
    for (int64_t i = -5; i <= 5; ++i) {
      const uint32_t p = PixelClamped(work, tx + i, ty + j);
      r += p >> 16 & 0xFF;
      g += p >> 8 & 0xFF;
      b += p & 0xFF;
    }
  const uint32_t picked = (r / 121) << 16 | (g / 121) << 8 | (b / 121);
  stroke_->pickedColour = picked;
  stroke_->runningR16 = int32_t(r / 121) << 16;
  stroke_->runningG16 = int32_t(g / 121) << 16;
  stroke_->runningB16 = int32_t(b / 121) << 16;
  const uint32_t h = uint32_t(head_.effect1) * 255 / 100;
  stroke_->startColour = LerpColour(picked, penColour_, h);
  stroke_->currentColour = stroke_->startColour;
}

void CPenRender::Finish() {
  if (bitmapTip_) tip_.SetSizePercent(strokeSize_);
}

SPixRect CPenRender::TakeSegmentRect() {
  const SPixRect r = segmentRect_;
  segmentRect_ = {};
  return r;
}

void CPenRender::NoteRow(int32_t x0, int32_t x1, int32_t y) {
  if (!dirty_) {
    dirtyL_ = x0, dirtyR_ = x1, dirtyT_ = dirtyB_ = y;
    dirty_ = true;
    return;
  }
  dirtyL_ = std::min(dirtyL_, x0);
  dirtyR_ = std::max(dirtyR_, x1);
  dirtyT_ = std::min(dirtyT_, y);
  dirtyB_ = std::max(dirtyB_, y);
}

void CPenRender::Note(const SPixRect& r) {
  lastDab_ = r;
  segmentRect_ = Union(segmentRect_, r);
  strokeRect_ = Union(strokeRect_, r);
}

bool CPenRender::PrepareDab(const SPenSurface& s, float x, float y, float alpha, uint32_t colour, float size,
                            bool aligned, bool minorAxis) {
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(size) || !std::isfinite(alpha)) return false;
  const int64_t x16 = ToFixed(x), y16 = ToFixed(y);
  int64_t hw16, hh16;
  if (bitmapTip_) {
    const int32_t percent = int32_t(size + 0.5f);
    if (percent != tip_.SizePercent() && !tip_.SetSizePercent(percent)) return false;
    if (!shape_.BuildBitmap(tip_)) return false;
    hw16 = shape_.HalfWidth16();
    hh16 = shape_.HalfHeight16();
  } else {
    const int64_t r16 = ToFixed(std::clamp<double>(size, 0.0, 1.0e6));
    hw16 = hh16 = r16;
    const bool ok = aligned ? shape_.BuildAligned(x16, y16, minorAxis, r16, params_.AspectPercent(),
                                                  params_.AngleDegrees())
                            : shape_.BuildEllipse(r16, params_.AspectPercent(), params_.AngleDegrees());
    if (!ok) return false;
  }
  if (!(alpha > 0)) return false;
  dab_.x16 = x16;
  dab_.y16 = y16;
  dab_.hw16 = std::max<int64_t>(hw16, kOne / 10);
  dab_.hh16 = std::max<int64_t>(hh16, kOne / 10);
  dab_.alpha16 = ToFixed(std::min(alpha, 1.0f));
  dab_.colour = colour;
  const int64_t l = FloorDiv64(x16 - dab_.hw16, kOne), t = FloorDiv64(y16 - dab_.hh16, kOne);
  const int64_t r = CeilDiv64(x16 + dab_.hw16, kOne), b = CeilDiv64(y16 + dab_.hh16, kOne);
  const TMTC* image = s.work;
  const int64_t w = image ? image->Width() : (s.coverage ? s.coverage->Width() : 0);
  const int64_t h = image ? image->Height() : (s.coverage ? s.coverage->Height() : 0);
  const int64_t cl = std::max<int64_t>(l, 0), ct = std::max<int64_t>(t, 0);
  const int64_t cr = std::min<int64_t>(r, w), cb = std::min<int64_t>(b, h);
  if (cr <= cl || cb <= ct) return false;
  dab_.rect = {int32_t(cl), int32_t(ct), int32_t(cr - cl), int32_t(cb - ct)};
  dirty_ = false;
  return EnsureScratch(size_t(dab_.rect.width));
}

bool CPenRender::CoverageRow(int32_t py, int32_t& first, int32_t& last) {
  const SPixRect& r = dab_.rect;
  const int64_t f = shape_.Factor();
  const int64_t v = int64_t(py) * kOne - dab_.y16 + kOne / 2;
  const int64_t gy = ((v + shape_.CentreY16()) * f) >> 16;
  if (gy < 0 || gy >= shape_.GridHeight()) return false;
  const uint32_t* grid = shape_.Mask().data() + size_t(gy) * size_t(shape_.GridWidth());
  const int64_t u0 = int64_t(r.x) * kOne - dab_.x16 + kOne / 2;
  // One pixel to the right is exactly f cells further along the grid row.
  const int64_t gx0 = ((u0 + shape_.CentreX16()) * f) >> 16;
  const int64_t gw = shape_.GridWidth();
  const int32_t lo = int32_t(std::clamp<int64_t>(gx0 >= 0 ? 0 : (-gx0 + f - 1) / f, 0, r.width));
  const int32_t hi = int32_t(std::clamp<int64_t>(gx0 >= gw ? 0 : (gw - gx0 + f - 1) / f, 0, r.width));
  uint8_t* cov = cov_.data();
  std::fill(cov, cov + r.width, uint8_t(0));
  const uint64_t alpha = uint64_t(dab_.alpha16);
  // Coverage = weight >> 16 with weight = m x alpha >> 16: written only from weight 1.0 on.
  if (hi > lo) {
    const uint32_t* g = grid + (gx0 + int64_t(lo) * f);
    const int32_t count = hi - lo;
    uint8_t* out = cov + lo;
    if (hardEdge_) {
      const uint8_t full = uint8_t((uint64_t(255) * kOne * alpha) >> 32);
      for (int32_t i = 0; i < count; ++i) out[i] = g[i * f] ? full : 0;
    } else if (f == 1) {
      for (int32_t i = 0; i < count; ++i) out[i] = uint8_t((g[i] * alpha) >> 32);
    } else {
      for (int32_t i = 0; i < count; ++i) out[i] = uint8_t((g[i * f] * alpha) >> 32);
    }
  }
  first = lo;
  while (first < hi && cov[first] == 0) ++first;
  if (first >= hi) return false;
  last = hi - 1;
  while (cov[last] == 0) --last;
  return true;
}

void CPenRender::Stamp(TMTC& work, uint32_t colour) {
  const SPixRect& r = dab_.rect;
  PrefetchRect(work, r);
  for (int32_t py = r.y; py < r.Bottom(); ++py) {
    int32_t first, last;
    if (!CoverageRow(py, first, last)) continue;
    writer_.WriteColourRow(work.Row32(py) + r.x + first, r.x + first, py, last - first + 1,
                           cov_.data() + first, colour);
    NoteRow(r.x + first, r.x + last, py);
  }
}

void CPenRender::StampBuffer(TMTC& work, const CPenTC& buffer) {
  const SPixRect& r = dab_.rect;
  PrefetchRect(work, r);
  // Truncated like the capture position, also left of or above the image.
  const int32_t tx = int32_t(dab_.x16 / kOne), ty = int32_t(dab_.y16 / kOne);
  // A transparent buffer pixel carries transparency; its colour bytes mean nothing, so the
  // pen colour (alpha 0) stands in for them.
  const uint32_t pen = penColour_ & 0x00FFFFFFu;
  for (int32_t py = r.y; py < r.Bottom(); ++py) {
    int32_t first, last;
    if (!CoverageRow(py, first, last)) continue;
    for (int32_t i = first; i <= last; ++i) {
      uint32_t p;
      if (!buffer.At(r.x + i - tx, py - ty, p) || (p >> 24) == 0) p = pen;
      colours_[size_t(i)] = p;
    }
    writer_.WriteColourRow(work.Row32(py) + r.x + first, r.x + first, py, last - first + 1,
                           cov_.data() + first, pen, colours_.data() + first);
    NoteRow(r.x + first, r.x + last, py);
  }
}

void CPenRender::Watercolour(TMTC& work, float size) {
  SPenStrokeState& st = *stroke_;
  const double length = head_.effect3 * params_.Radius() * 2.0;
  const double f = length > 0 ? std::min(double(st.travelled) / length, 1.0) : 1.0;
  uint32_t current = LerpColour(penColour_, st.startColour, uint32_t(std::floor(f * 255.0)));
  // The canvas around the dab, at its whole-pixel extent (as the stepping measures it) from the
  // centre, moved one pixel on.
  const double x = dab_.x16 / 65536.0, y = dab_.y16 / 65536.0;
  int32_t extentX, extentY;
  DabExtent(size, extentX, extentY);
  const double rx = extentX, ry = extentY;
  const double pts[4][2] = {{x, y - ry + 1}, {x, y + ry + 1}, {x - rx + 1, y}, {x + rx + 1, y}};
  uint32_t sr = 0, sg = 0, sb = 0;
  for (const auto& p : pts) {
    const uint32_t c = PixelClamped(work, int64_t(std::floor(p[0])), int64_t(std::floor(p[1])));
    sr += c >> 16 & 0xFF;
    sg += c >> 8 & 0xFF;
    sb += c & 0xFF;
  }
  // At most effect 2 / 10 per dab, in 16.16.
  const int64_t step = int64_t(head_.effect2) * kOne / 10;
  auto follow = [step](int32_t& running, uint32_t sample) {
    const int64_t target = int64_t(sample) << 16, d = target - running;
    running = int32_t(std::abs(d) < step ? target : running + (d > 0 ? step : -step));
  };
  follow(st.runningR16, sr >> 2);
  follow(st.runningG16, sg >> 2);
  follow(st.runningB16, sb >> 2);
  auto byte = [](int32_t v) { return uint32_t(std::clamp(v >> 16, 0, 255)); };
  const uint32_t running = byte(st.runningR16) << 16 | byte(st.runningG16) << 8 | byte(st.runningB16);
  current = LerpColour(running, current, uint32_t(head_.effect2) * 255 / 100);
  st.currentColour = current;
  const int64_t base = pressureOpacity_ ? dab_.alpha16 : ToFixed(std::clamp(st.opacity, 0.0f, 1.0f));
  dab_.alpha16 = base * 22937 / kOne;
  Stamp(work, current);
}

bool CPenRender::Blur(const SPenSurface& s) {
  const SPixRect& r = dab_.rect;
  const int32_t k = std::max(1, blurRadius_);
  const int64_t n = int64_t(2 * k + 1) * (2 * k + 1);
  // The layer's own pixels, so that a stroke never blurs what it has just painted.
  const CDibCore* image = s.work;
  int32_t iw = s.work->Width(), ih = s.work->Height();
  if (s.layer && s.layer->IsValid()) iw = s.layer->Width(), ih = s.layer->Height();
  const SPixRect need = Intersect({r.x - k, r.y - k, r.width + 2 * k, r.height + 2 * k}, {0, 0, iw, ih});
  if (need.IsEmpty()) return false;
  auto outOfMemory = [] {
    char text[160];
    std::snprintf(text, sizeof text, kBlurOutOfMemoryFormat, kBlurCaption);
    ShowWarning(text);
    return false;
  };
  if (blurSource_.Width() < need.width || blurSource_.Height() < need.height) {
    if (!blurSource_.Resize(std::max(blurSource_.Width(), need.width),
                            std::max(blurSource_.Height(), need.height)))
      return outOfMemory();
  }
  // Column sums for the pixels of one row, each over the 2k + 1 rows around it.
  try {
    if (blurColumns_.size() < size_t(r.width + 2 * k)) blurColumns_.resize(size_t(r.width + 2 * k));
  } catch (const std::bad_alloc&) {
    return outOfMemory();
  }
  if (s.layer && s.layer->IsValid())
    s.layer->ReadRect(blurSource_, {0, 0}, false, 255, need);
  else
    CopyRect(blurSource_, {0, 0}, *image, need);
  const bool protect = stroke_->protectTransparency;
  BlendSwap swap(writer_, protect ? PenBlend::kKeepAlpha : PenBlend::kCarry);
  std::vector<BlurSum>& cols = blurColumns_;
  auto src = [&](int32_t x, int32_t y) {
    const int32_t cx = std::clamp(x, 0, iw - 1) - need.x, cy = std::clamp(y, 0, ih - 1) - need.y;
    return blurSource_.Row32(cy)[cx];
  };
  for (int32_t py = r.y; py < r.Bottom(); ++py) {
    int32_t first, last;
    if (!CoverageRow(py, first, last)) continue;
    const int32_t x0 = r.x + first - k, x1 = r.x + last + k;
    for (int32_t cx = x0; cx <= x1; ++cx) {
      BlurSum sum{0, 0, 0, 0};
      for (int32_t dy = -k; dy <= k; ++dy) {
        const uint32_t p = src(cx, py + dy);
        const uint32_t a = p >> 24;
        sum.a += a;
        if (protect) {
          sum.r += p >> 16 & 0xFF, sum.g += p >> 8 & 0xFF, sum.b += p & 0xFF;
        } else {
          // Exact products, not 8-bit ones: a uniform picture must blur to itself.
          sum.r += a * (p >> 16 & 0xFF), sum.g += a * (p >> 8 & 0xFF), sum.b += a * (p & 0xFF);
        }
      }
      cols[size_t(cx - x0)] = sum;
    }
    BlurSum win{0, 0, 0, 0};
    for (int32_t i = 0; i < 2 * k + 1; ++i) {
      const BlurSum& c = cols[size_t(i)];
      win.a += c.a, win.r += c.r, win.g += c.g, win.b += c.b;
    }
    for (int32_t i = first; i <= last; ++i) {
      if (i > first) {
        const BlurSum& in = cols[size_t(i - first + 2 * k)];
        const BlurSum& out = cols[size_t(i - first - 1)];
        win.a += in.a - out.a, win.r += in.r - out.r, win.g += in.g - out.g, win.b += in.b - out.b;
      }
      uint32_t colour;
      if (win.a == 0) {
        // Nothing but transparency around: no colour to carry or mix, the pixel stays as it is.
        cov_[size_t(i)] = 0;
        colour = 0;
      } else if (protect) {
        colour = uint32_t(win.r / n) << 16 | uint32_t(win.g / n) << 8 | uint32_t(win.b / n);
      } else {
        auto ch = [&](int64_t v) { return uint32_t(std::min<int64_t>(v / win.a, 255)); };
        colour = uint32_t(win.a / n) << 24 | ch(win.r) << 16 | ch(win.g) << 8 | ch(win.b);
      }
      colours_[size_t(i)] = colour;
    }
    writer_.WriteColourRow(s.work->Row32(py) + r.x + first, r.x + first, py, last - first + 1,
                           cov_.data() + first, 0, colours_.data() + first);
    NoteRow(r.x + first, r.x + last, py);
  }
  return true;
}

bool CPenRender::ColourDab(const SPenSurface& s, float x, float y, float alpha, uint32_t colour, float size) {
  if (!stroke_ || !s.work || !s.work->IsValid()) return false;
  blurRadius_ = head_.mode == kBrushBlur ? BlurRadiusFor(head_.effect1, size) : 0;
  if (!PrepareDab(s, x, y, alpha, colour, size, head_.pixelAligned != 0, minorAxis_)) return false;
  TMTC& work = *s.work;
  SPenStrokeState& st = *stroke_;
  switch (head_.mode) {
    case kBrushWatercolour:
      Watercolour(work, size);
      break;
    case kBrushBlur:
      if (!Blur(s)) return false;
      break;
    case kBrushEraser: {
      BlendSwap swap(writer_, st.protectTransparency ? PenBlend::kKeepAlpha : PenBlend::kErase);
      Stamp(work, st.neutralColour);
      break;
    }
    case kBrushSmudge: {
      BlendSwap swap(writer_, st.protectTransparency ? PenBlend::kKeepAlpha : PenBlend::kCarry);
      StampBuffer(work, st.penBuffers[0]);
      const int32_t tx = int32_t(x), ty = int32_t(y);
      if (tx != st.lastX || ty != st.lastY) {
        st.penBuffers[0].Capture(work, x, y, CaptureRadius());
        st.lastX = tx;
        st.lastY = ty;
      }
      break;
    }
    case kBrushFinger: {
      const int32_t tx = int32_t(x), ty = int32_t(y);
      if (tx != st.lastX || ty != st.lastY) {
        st.penBuffers[st.fingerCount % 2 == 0 ? 1 : 0].Capture(work, x, y, CaptureRadius());
        ++st.fingerCount;
        st.lastX = tx;
        st.lastY = ty;
      }
      if (st.fingerCount <= 0) return false;
      BlendSwap swap(writer_, st.protectTransparency ? PenBlend::kKeepAlpha : PenBlend::kCarry);
      StampBuffer(work, st.penBuffers[st.fingerCount % 2 == 1 ? 0 : 1]);
      break;
    }
    case kBrushBurnDodge: {
      BlendSwap swap(writer_, PenBlend::kLightness);
      Stamp(work, colour);
      break;
    }
    default:
      Stamp(work, colour);
      break;
  }
  if (!dirty_) return false;
  Note({dirtyL_, dirtyT_, dirtyR_ - dirtyL_ + 1, dirtyB_ - dirtyT_ + 1});
  return true;
}

bool CPenRender::ChannelDab(const SPenSurface& s, float x, float y, float pressure, float size) {
  if (!s.coverage || !s.coverage->IsValid()) return false;
  // Thin pencil dabs are drawn across both axes, so that a line of them has no gaps.
  const bool twice = size >= 0.5f && size < 3.0f;
  bool any = false;
  SPixRect written;
  for (int32_t pass = twice ? 0 : 1; pass < 2; ++pass) {
    const bool minor = pass == 0 ? true : minorAxis_;
    if (!PrepareDab(s, x, y, pressure, 0, size, true, minor)) continue;
    const SPixRect& r = dab_.rect;
    const int32_t cw = s.coverage->Width(), ch = s.coverage->Height();
    for (int32_t py = r.y; py < std::min(r.Bottom(), ch); ++py) {
      int32_t first, last;
      if (!CoverageRow(py, first, last)) continue;
      last = std::min(last, cw - 1 - r.x);
      if (last < first) continue;
      uint8_t* row = s.coverage->Row8(py) + r.x;
      for (int32_t i = first; i <= last; ++i) CPenWriter::WriteChannelPlain(row + i, cov_[size_t(i)], 255);
      NoteRow(r.x + first, r.x + last, py);
    }
    if (dirty_) {
      written = Union(written, {dirtyL_, dirtyT_, dirtyR_ - dirtyL_ + 1, dirtyB_ - dirtyT_ + 1});
      any = true;
    }
  }
  if (any) Note(written);
  return any;
}

bool CPenRender::Dab(const SPenSurface& s, float x, float y, float pressure, float opacity, float size) {
  if (head_.channel) return ChannelDab(s, x, y, pressure, size);
  return ColourDab(s, x, y, opacity * pressure, penColour_, size);
}

void CPenRender::CompositeChannel(const SPenSurface& s, const SPixRect& rect, uint8_t opacityByte) {
  if (!s.work || !s.coverage || !s.layer || !s.work->IsValid() || !s.coverage->IsValid()) return;
  SPixRect r = Intersect(rect, s.work->Bounds());
  r = Intersect(r, s.coverage->Bounds());
  r = Intersect(r, s.layer->Bounds());
  if (r.IsEmpty() || !EnsureScratch(size_t(r.width))) return;
  // From the untouched layer every time, so that coverage never builds up within a stroke.
  s.layer->ReadRect(*s.work, {r.x, r.y}, false, 255, r);
  for (int32_t y = r.y; y < r.Bottom(); ++y) {
    const uint8_t* c = s.coverage->Row8(y) + r.x;
    for (int32_t i = 0; i < r.width; ++i) cov_[size_t(i)] = Mul8(c[i], opacityByte);
    writer_.WriteColourRow(s.work->Row32(y) + r.x, r.x, y, r.width, cov_.data(), penColour_);
  }
  Note(r);
}

}  // namespace tintara
