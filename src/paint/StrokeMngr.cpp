#include "paint/StrokeMngr.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "document/BlendModes.h"
#include "pixel/ChannelOps.h"

namespace tintara {
namespace {

// Step counts up to this are counted exactly; beyond it (segments to samples absurdly far
// away) only approximately, and the counter is folded back before it could overflow.
constexpr double kMaxSteps = 1.0e15;
constexpr int64_t kCounterFold = int64_t(1) << 61;
// Far outside any layer, yet small enough for 32-bit pixel indices.
constexpr float kFarStart = 1.0e7f;

// Sum over j = j0..j1 of clamp(v0 + j * dv, 0, 1), in closed form: the skipped parts of a
// segment far outside the layer still add their share of the travelled length.
double ClampedSum(double v0, double dv, double j0, double j1) {
  if (j1 < j0) return 0;
  if (dv == 0) return (j1 - j0 + 1) * std::clamp(v0, 0.0, 1.0);
  // The ramp lies inside (0, 1) strictly between the indices a and b; beyond them it is 0 on
  // one side and 1 on the other.
  const double zero = -v0 / dv, one = (1.0 - v0) / dv;
  const double a = std::min(zero, one), b = std::max(zero, one);
  double sum = 0;
  const double lo = std::max(j0, std::floor(a) + 1), hi = std::min(j1, std::ceil(b) - 1);
  if (hi >= lo) {
    const double count = hi - lo + 1;
    sum += count * v0 + dv * (lo + hi) * count / 2.0;
  }
  if (dv > 0) {
    const double from = std::max(j0, std::ceil(b));
    if (j1 >= from) sum += j1 - from + 1;
  } else {
    const double to = std::min(j1, std::floor(a));
    if (to >= j0) sum += to - j0 + 1;
  }
  return sum;
}

// The index range of steps whose position lies within [lo, hi] on one axis.
void AxisRange(double p0, double step, double lo, double hi, double& kLo, double& kHi) {
  if (step == 0) {
    if (p0 < lo || p0 > hi) kLo = 1, kHi = 0;
    return;
  }
  double a = (lo - p0) / step, b = (hi - p0) / step;
  if (a > b) std::swap(a, b);
  kLo = std::max(kLo, std::ceil(a) - 1);
  kHi = std::min(kHi, std::floor(b) + 1);
}

int32_t FloorEven(int32_t v) { return v & ~1; }
int32_t CeilEven(int32_t v) { return (v & 1) ? v + 1 : v; }

// A sample in layer coordinates. The offset can carry a position near the float range past
// it; such a point is as far away as any other for the stepping, which clips to the layer.
void ToLayerHeld(const TPaper& paper, int32_t layer, StrokeSample& s) {
  paper.ToLayer(layer, s.x, s.y);
  constexpr float kFar = 1.0e30f;
  s.x = std::isnan(s.x) ? 0.0f : std::clamp(s.x, -kFar, kFar);
  s.y = std::isnan(s.y) ? 0.0f : std::clamp(s.y, -kFar, kFar);
}

// Positions far outside any picture are held to +-2^29, so that a rectangle around them (a
// half-extent added, edges rounded to even) still has a width that fits in 32 bits.
constexpr double kCoordLimit = double(1 << 29);

int32_t ToInt(double v) { return int32_t(std::clamp(v, -kCoordLimit, kCoordLimit)); }

}  // namespace

struct CStrokeMngr::Plan {
  double x0 = 0, y0 = 0, v0 = 0;  // position and pressure at step 0
  double sx = 0, sy = 0, sv = 0;  // one step
  double n = 0;                   // steps
  int64_t interval = 1;           // a dab on every interval-th unit step
  double length = 0;              // added to the travelled length per step, times pressure
  bool lengthAfterStep = true;    // the pressure after the step (else the one at it)
  double margin = 0;              // the largest dab half extent + 2
  int64_t* counter = nullptr;
  int64_t* dabs = nullptr;
};

CStrokeMngr::CStrokeMngr(TPaper& paper, TFlowImage& flow, TStroke& stroke, IStrokeRenderer& renderer)
    : paper_(&paper), flow_(&flow), stroke_(&stroke), renderer_(&renderer) {}

void CStrokeMngr::SetPaper(TPaper& paper, TFlowImage& flow) {
  if (running_) return;
  paper_ = &paper;
  flow_ = &flow;
}

SPenSurface CStrokeMngr::Surface() const { return SPenSurface::Of(*flow_, paper_->Layer(layer_)); }

// --- rectangles -------------------------------------------------------------------------------

void CStrokeMngr::NoteSegment(const TRect& r, bool replace) {
  if (replace || !segmentDab_) {
    segment_ = r;
  } else {
    segment_.left = std::min(segment_.left, r.left);
    segment_.top = std::min(segment_.top, r.top);
    segment_.right = std::max(segment_.right, r.right);
    segment_.bottom = std::max(segment_.bottom, r.bottom);
  }
  segmentDab_ = true;
  if (!wholeDab_) {
    whole_ = r;
    wholeDab_ = true;
  } else {
    whole_.left = std::min(whole_.left, r.left);
    whole_.top = std::min(whole_.top, r.top);
    whole_.right = std::max(whole_.right, r.right);
    whole_.bottom = std::max(whole_.bottom, r.bottom);
  }
}

void CStrokeMngr::NoteDab(int32_t x, int32_t y, int32_t hw, int32_t hh) {
  NoteSegment({x - hw - 2, y - hh - 2, x + hw + 2, y + hh + 2}, false);
}

void CStrokeMngr::NoteOldSegment(const StrokeSample& p1, const StrokeSample& p2, float width) {
  TStroke& st = *stroke_;
  st.rectA.Reset();
  st.rectA.Grow(p1.x, p1.y, width + 2);
  st.rectA.Grow(p2.x, p2.y, width + 2);
  st.rectB.Merge(st.rectA);
  NoteSegment({ToInt(std::floor(st.rectA.left)), ToInt(std::floor(st.rectA.top)),
               ToInt(std::ceil(st.rectA.right)), ToInt(std::ceil(st.rectA.bottom))},
              true);
}

SPixRect CStrokeMngr::Aligned(const TRect& r, bool any) const {
  if (!any) return {};
  TRect a{FloorEven(r.left), FloorEven(r.top), CeilEven(r.right), CeilEven(r.bottom)};
  const SPixRect clipped = Intersect(ToPixRect(a), flow_->work.Bounds());
  return clipped.IsEmpty() ? SPixRect{} : clipped;
}

void CStrokeMngr::ClearChannel(const SPixRect& storeRect) {
  if (!flow_->workMask.IsValid()) return;
  const SPixRect r = Intersect(storeRect, flow_->workMask.Bounds());
  if (!r.IsEmpty()) FillRect8(flow_->workMask, r, 0);
}

SPixRect CStrokeMngr::SegmentRect() const { return Aligned(segment_, true); }
SPixRect CStrokeMngr::StrokeRect() const { return Aligned(whole_, wholeDab_); }

// --- stepping --------------------------------------------------------------------------------

template <class DabFn>
int64_t CStrokeMngr::Run(const Plan& p, DabFn&& dab) {
  TStroke& st = *stroke_;
  const double n = p.n;
  // Only the steps whose dabs can touch the work buffer are walked; the others advance the
  // counter, the pressure and the travelled length in one go. Step indices stay doubles: a
  // segment to a sample far away has more steps than any integer counter could walk.
  const SPixRect bounds = flow_->work.Bounds();
  double kLo = 0, kHi = n - 1;
  AxisRange(p.x0, p.sx, bounds.x - p.margin, bounds.Right() + p.margin, kLo, kHi);
  AxisRange(p.y0, p.sy, bounds.y - p.margin, bounds.Bottom() + p.margin, kLo, kHi);
  kLo = std::max(kLo, 0.0);
  kHi = std::min(kHi, n - 1);
  const double shift = p.lengthAfterStep ? 1.0 : 0.0;
  double travelled = st.pen.travelled;
  int64_t drawn = 0;
  int64_t& counter = *p.counter;
  auto advance = [&counter](double steps) {
    if (!(steps > 0)) return;
    counter += steps < kMaxSteps ? int64_t(steps) : int64_t(std::fmod(steps, kMaxSteps));
    if (counter > kCounterFold) counter %= kCounterFold;
  };
  if (kHi < kLo) {
    advance(n);
    travelled += p.length * ClampedSum(p.v0, p.sv, shift, n - 1 + shift);
  } else {
    advance(kLo);
    travelled += p.length * ClampedSum(p.v0, p.sv, shift, kLo - 1 + shift);
    // The walked range lies within the box: with steps of at least a third of a pixel along
    // the major axis (or a segment of at most three steps) it cannot be longer than this,
    // even where the indices of a segment to an absurdly distant sample have lost precision.
    const double most = 3.0 * (double(bounds.width) + bounds.height + 4.0 * p.margin) + 8.0;
    const int64_t count = int64_t(std::min(kHi - kLo, most)) + 1;
    for (int64_t j = 0; j < count; ++j) {
      const double k = kLo + double(j);
      const double v = std::clamp(p.v0 + k * p.sv, 0.0, 1.0);
      if (counter % p.interval == 0) {
        dab(p.x0 + k * p.sx, p.y0 + k * p.sy, v);
        ++drawn;
        ++*p.dabs;
      }
      const double after = std::clamp(p.v0 + (k + 1) * p.sv, 0.0, 1.0);
      travelled += p.length * (p.lengthAfterStep ? after : v);
      advance(1);
    }
    advance(n - 1 - kHi);
    travelled += p.length * ClampedSum(p.v0, p.sv, kHi + 1 + shift, n - 1 + shift);
  }
  st.pen.travelled = float(travelled);
  return drawn;
}

int64_t CStrokeMngr::StepBrush() {
  TStroke& st = *stroke_;
  StrokeSample p2 = interpolate_.At(2), p1 = interpolate_.At(1);
  ToLayerHeld(*paper_, layer_, p2);
  ToLayerHeld(*paper_, layer_, p1);
  {
    const int32_t ix = ToInt(p2.x), iy = ToInt(p2.y);
    segment_ = {ix - 10, iy - 10, ix + 10, iy + 10};
    segmentDab_ = false;
  }
  const double gamma = params_.gamma / 100.0;
  const double v2 = std::pow(std::clamp(double(p2.pressure), 0.0, 1.0), gamma);
  const double v1 = std::pow(std::clamp(double(p1.pressure), 0.0, 1.0), gamma);
  double dx = double(p1.x) - p2.x, dy = double(p1.y) - p2.y, dp = v1 - v2;
  const double h = std::max(std::abs(dx), std::abs(dy));
  if (!(h > 0)) return 0;
  const double length = 4.0 * std::hypot(dx, dy) / h;
  const bool majorX = std::abs(dx) >= std::abs(dy);
  if (h >= 1) dx /= h, dy /= h, dp /= h;
  Plan plan;
  plan.x0 = double(p2.x) + 0.25;
  plan.y0 = double(p2.y) + 0.25;
  plan.v0 = v2;
  plan.sx = dx, plan.sy = dy, plan.sv = dp;
  plan.n = std::ceil(h);
  plan.length = length;
  const double B = renderer_->MaximumSize();
  const double D = params_.pressureSize ? renderer_->MinimumSize(B) : B;
  auto size = [&](double v) { return D + (B - D) * v; };
  const double E = size(v2), F = size(v1);
  const double term = renderer_->SpacingTerm(params_.spacing / 1000.0);
  plan.interval = int64_t(std::clamp(std::ceil(term), 1.0, 1.0e9));
  if (E < params_.fullDensity || F < params_.fullDensity) plan.interval = 1;
  if (E < params_.subdivision || F < params_.subdivision) {
    const double parts = std::min(E, F) <= 0.7 ? 3.0 : 2.0;
    plan.n *= parts;
    plan.sx /= parts, plan.sy /= parts, plan.sv /= parts;
  }
  int32_t hw = 0, hh = 0;
  renderer_->DabExtent(std::max(B, D), hw, hh);
  plan.margin = std::max(hw, hh) + 2.0;
  plan.counter = &unitSteps_;
  plan.dabs = &dabs_;
  previousMajorX_ = majorX_;
  majorX_ = majorX ? 1 : 0;
  renderer_->SetMinorAxis(!majorX);
  const SPenSurface surface = Surface();
  const float opacity = float(params_.opacity / 1000.0);
  const bool pressureOpacity = params_.pressureOpacity != 0;
  const int64_t drawn = Run(plan, [&](double x, double y, double v) {
    const double s = size(v);
    renderer_->BrushDab(surface, float(x), float(y), pressureOpacity ? float(v) : 1.0f, opacity, float(s));
    int32_t w = 0, hgt = 0;
    renderer_->DabExtent(s, w, hgt);
    NoteDab(int32_t(x), int32_t(y), w, hgt);
    lastX_ = float(x);
    lastY_ = float(y);
  });
  st.dabCount = dabs_;
  return drawn;
}

int64_t CStrokeMngr::StepOldPen() {
  TStroke& st = *stroke_;
  StrokeSample p2 = st.History(2), p1 = st.History(1);
  ToLayerHeld(*paper_, layer_, p2);
  ToLayerHeld(*paper_, layer_, p1);
  segment_ = {};
  const float W = st.Width();
  const double gamma = st.Gamma();
  const double v2 = std::pow(std::clamp(double(p2.pressure), 0.0, 1.0), gamma);
  const double v1 = std::pow(std::clamp(double(p1.pressure), 0.0, 1.0), gamma);
  double dx = double(p1.x) - p2.x, dy = double(p1.y) - p2.y, dp = v1 - v2;
  const double h = std::max(std::abs(dx), std::abs(dy));
  // A segment without length touches nothing: a click keeps an empty rectangle.
  if (!(h > 0)) return 0;
  NoteOldSegment(p1, p2, W);
  const double length = 4.0 * std::hypot(dx, dy) / h;
  const bool majorX = std::abs(dx) >= std::abs(dy);
  if (h >= 1) dx /= h, dy /= h, dp /= h;
  Plan plan;
  plan.x0 = double(p2.x) + 0.5;
  plan.y0 = double(p2.y) + 0.5;
  plan.v0 = v2;
  plan.sx = dx, plan.sy = dy, plan.sv = dp;
  plan.n = std::ceil(h);
  plan.length = length;
  const int32_t kind = st.Kind();
  const double B = W;
  double D = B;
  if (st.IfSize() && st.AllowsPressureSize()) {
    D = W * st.Min() / 100.0;
    if (st.version == 0) {
      if (kind == kPenWatercolour) D = W * 0.333;
      if (kind == kPenBlur || kind == kPenEraser || kind == kPenBlur2) D = W;
    }
  }
  auto size = [&](double v) { return D + (B - D) * v; };
  const double E = size(v2), F = size(v1);
  plan.interval = int64_t(std::clamp(std::ceil(double(W) * st.EffectiveSpacing()), 1.0, 1.0e9));
  const double full = kind == kPenPencil ? 8 : kind == kPenEraser ? 4 : 0;
  const double subdivide = kind == kPenPencil ? 2 : kind == kPenEraser ? 3 : 0;
  if (E < full || F < full) plan.interval = 1;
  if (E < subdivide || F < subdivide) {
    plan.n *= 2;
    plan.sx /= 2, plan.sy /= 2, plan.sv /= 2;
  }
  plan.margin = std::ceil(W) + 2.0;
  plan.counter = &st.dabCounter;
  plan.dabs = &st.dabCount;
  previousMajorX_ = majorX_;
  majorX_ = majorX ? 1 : 0;
  renderer_->SetMinorAxis(!majorX);
  const SPenSurface surface = Surface();
  const bool pressureAlpha = st.IfTransparency();
  const int64_t drawn = Run(plan, [&](double x, double y, double v) {
    renderer_->OldPenDab(surface, st, float(x), float(y), float(size(v)), pressureAlpha ? float(v) : 1.0f);
    lastX_ = float(x);
    lastY_ = float(y);
  });
  dabs_ = st.dabCount;
  return drawn;
}

int64_t CStrokeMngr::StepLegacy() {
  TStroke& st = *stroke_;
  StrokeSample p2 = st.History(2), p1 = st.History(1);
  ToLayerHeld(*paper_, layer_, p2);
  ToLayerHeld(*paper_, layer_, p1);
  segment_ = {};
  const float W = st.Width();
  const int32_t kind = st.Kind();
  if (kind > kPenBlur2) return 0;
  double v2 = std::clamp(double(p2.pressure), 0.0, 1.0), v1 = std::clamp(double(p1.pressure), 0.0, 1.0);
  if (st.Gamma() != 0) {
    v2 = std::clamp(std::pow(v2, double(st.Gamma())), 0.0, 1.0);
    v1 = std::clamp(std::pow(v1, double(st.Gamma())), 0.0, 1.0);
  }
  const double dx = double(p1.x) - p2.x, dy = double(p1.y) - p2.y, dp = v1 - v2;
  const bool majorX = std::abs(dx) >= std::abs(dy);
  const double major = majorX ? std::abs(dx) : std::abs(dy);
  // A segment without length along its major axis draws nothing and touches nothing.
  if (!(major > 0)) return 0;
  NoteOldSegment(p1, p2, W);
  auto interval = [&](double div, bool pressure) {
    if (!pressure) return int64_t(std::floor(W / div)) + 1;
    return int64_t(std::min(std::floor(st.PressureSize(float(v1)) / div),
                            std::floor(st.PressureSize(float(v2)) / div))) +
           1;
  };
  Plan plan;
  switch (kind) {
    case kPenPencil:
      plan.interval = interval(8, true);
      break;
    case kPenWatercolour:
      plan.interval = interval(12, false);
      break;
    case kPenEraser:
      plan.interval = interval(4, true);
      break;
    default:
      plan.interval = interval(4, false);
      break;
  }
  plan.interval = std::max<int64_t>(plan.interval, 1);
  plan.x0 = p2.x + 0.5;
  plan.y0 = p2.y + 0.5;
  plan.v0 = v2;
  plan.sx = majorX ? (dx > 0 ? 1.0 : -1.0) : dx / major;
  plan.sy = majorX ? dy / major : (dy > 0 ? 1.0 : -1.0);
  plan.sv = dp / major;
  plan.n = std::floor(major) + 1;
  plan.length = 4.0 * std::hypot(dx, dy) / (std::floor(major) + 1);
  plan.lengthAfterStep = false;
  bool twice = false;
  if (kind == kPenPencil)
    twice = st.PressureSize(float(v1)) < 2 || st.PressureSize(float(v2)) < 2 || (W < 2 && !st.IfSize());
  if (kind == kPenEraser) twice = W < 3;
  if (twice) {
    plan.n *= 2;
    plan.sx /= 2, plan.sy /= 2, plan.sv /= 2;
  }
  plan.margin = std::ceil(W) + 2.0;
  plan.counter = &st.dabCounter;
  plan.dabs = &st.dabCount;
  previousMajorX_ = majorX_;
  majorX_ = majorX ? 1 : 0;
  renderer_->SetMinorAxis(!majorX);
  const SPenSurface surface = Surface();
  const int64_t drawn = Run(plan, [&](double x, double y, double v) {
    renderer_->LegacyDab(surface, st, float(x), float(y), float(v));
    lastX_ = float(x);
    lastY_ = float(y);
  });
  dabs_ = st.dabCount;
  return drawn;
}

// --- the protocol ---------------------------------------------------------------------------

bool CStrokeMngr::PrepareLayer() {
  TStroke& st = *stroke_;
  int32_t i = st.layer;
  if (i < 0) i = paper_->ActiveIndex();
  CLayerData* l = paper_->Layer(i);
  if (!paper_->IsValidIndex(i) || !l || !l->pixels) return false;
  flow_->LoadLayer(i, *l, false);
  if (!flow_->Holds(*l) || !flow_->work.IsValid()) return false;
  layer_ = i;
  st.pen.protectTransparency = l->protectAlpha != 0;
  st.pen.neutralColour = NeutralColor(l->Mode()) & 0x00FFFFFFu;
  return true;
}

void CStrokeMngr::SetupWriter() {
  // Writes are limited by the selection while it is enabled and selects anything.
  const CMaskData* mask = paper_->selectionEnabled ? paper_->masks.Active() : nullptr;
  if (mask && !mask->HasChannel()) mask = nullptr;
  const CLayerData* l = paper_->Layer(layer_);
  const int32_t dx = mask ? mask->offsetX - l->viewX : 0, dy = mask ? mask->offsetY - l->viewY : 0;
  renderer_->SetMask(mask, dx, dy);
}

bool CStrokeMngr::Begin(const StrokeSample& first, bool record) {
  return Begin(paper_->Engine(), first, record);
}

bool CStrokeMngr::Begin(StrokeEngine engine, const StrokeSample& first, bool record) {
  if (running_ || !first.IsFinite()) return false;
  if (!PrepareLayer()) return false;
  TStroke& st = *stroke_;
  engine_ = engine;
  const bool legacy = engine == StrokeEngine::kDirect;
  StrokeSample s = first;
  s.pressure = std::clamp(s.pressure, 0.0f, 1.0f);
  segment_ = whole_ = {};
  segmentDab_ = wholeDab_ = false;
  unitSteps_ = dabs_ = 0;
  majorX_ = previousMajorX_ = -1;
  samples_ = 1;
  st.pen.opacity = st.EffectiveOpacity(legacy);
  // The legacy engine never changes alpha.
  if (legacy) st.pen.protectTransparency = true;
  if (engine == StrokeEngine::kManager) {
    interpolate_.Start(s);
    st.pen.travelled = 0;
    st.dabCounter = st.dabCount = 0;
    params_.SetOpacity(int32_t(st.pen.opacity * 1000.0f));
  } else {
    st.StartHistory(s);
  }
  float x = s.x, y = s.y;
  paper_->ToLayer(layer_, x, y);
  // The start routines pick up colour or pixels around the first position and take its
  // integer part; far beyond the layer every position sees the same clamped edge, so a start
  // at 1e30 is held where integers still hold it.
  x = std::clamp(x, -kFarStart, kFarStart);
  y = std::clamp(y, -kFarStart, kFarStart);
  lastX_ = x, lastY_ = y;
  SetupWriter();
  renderer_->BeginStroke(engine, st, Surface(), x, y);
  recording_ = record && recorder_;
  if (recording_) recorder_->Begin(layer_, st.shapeStroke, engine, s.pressure, s.x, s.y);
  running_ = true;
  paper_->strokeRunning = true;
  paper_->ShowStrokeWork(flow_);
  return true;
}

void CStrokeMngr::RefreshSegment() {
  const SPixRect r = SegmentRect();
  if (r.IsEmpty()) return;
  if (renderer_->UsesChannel(engine_, *stroke_)) renderer_->Composite(engine_, Surface(), *stroke_, r);
  paper_->Recomposite(paper_->ToPaper(layer_, r), true);
  paper_->InvalidateView(false);
}

bool CStrokeMngr::Continue(const StrokeSample& sample, bool record) {
  if (!running_ || !sample.IsFinite()) return false;
  StrokeSample s = sample;
  s.pressure = std::clamp(s.pressure, 0.0f, 1.0f);
  if (record && recording_) recorder_->Sample(s.pressure, s.x, s.y);
  ++samples_;
  int64_t drawn = 0;
  switch (engine_) {
    case StrokeEngine::kManager:
      interpolate_.Add(s);
      drawn = StepBrush();
      break;
    case StrokeEngine::kDabs:
      stroke_->AddSample(s);
      drawn = StepOldPen();
      break;
    case StrokeEngine::kDirect:
      stroke_->AddSample(s);
      drawn = StepLegacy();
      break;
  }
  RefreshSegment();
  return drawn > 0;
}

bool CStrokeMngr::End(bool record, SPixRect* paperRect) {
  if (!running_) return false;
  struct Done {
    CStrokeMngr& m;
    ~Done() {
      m.running_ = false;
      m.recording_ = false;
      m.paper_->strokeRunning = false;
      m.paper_->ShowStrokeWork(nullptr);
      m.renderer_->Finish();
    }
  } done{*this};
  const SPixRect store = StrokeRect();
  const TRect storeRect = store.IsEmpty() ? TRect{} : ToTRect(store);
  if (record && recording_) recorder_->End();
  // The record is made while the layer still holds its old pixels; a click makes an empty
  // one, so that the history and the recording stay step for step.
  if (paper_->undo || !store.IsEmpty()) paper_->BeginEdit(layer_, storeRect, 1);
  paper_->ShowStrokeWork(nullptr);
  paper_->FinishEdit(*flow_, layer_, true, storeRect);
  if (paperRect) *paperRect = store.IsEmpty() ? SPixRect{} : paper_->ToPaper(layer_, store);
  return true;
}

bool CStrokeMngr::PenUp(float x, float y, bool record, SPixRect* paperRect) {
  if (!running_) return false;
  Continue({x, y, 0.0f}, record);
  return End(record, paperRect);
}

// --- the pointer side ------------------------------------------------------------------------

double CStrokeMngr::DistanceThreshold(const PointerState& state) const {
  const StrokeEngine engine = running_ ? engine_ : paper_->Engine();
  if (engine == StrokeEngine::kManager) return state.zoomFactor > 2 ? 4.0 / state.zoomFactor : 1.0;
  return state.zoomStep == -2 ? 4.0 : state.zoomStep == -1 ? 3.0 : 2.0;
}

PointerResult CStrokeMngr::PointerSample(const StrokeSample& s, const PointerState& state, bool record) {
  if (!stroke_->shapeStroke && (state.replaying || state.modifierHeld)) return PointerResult::kIgnored;
  if (!s.IsFinite()) return PointerResult::kDropped;
  if (!running_) {
    stroke_->layer = paper_->ActiveIndex();
    if (!Begin(s, record)) return PointerResult::kIgnored;
    lastRaw_ = s;
    return PointerResult::kBegan;
  }
  if (samples_ >= kMaxStrokeSamples) {
    // The cap: the stroke ends as a pen-up at the newest sample would end it.
    PenUp(lastRaw_.x, lastRaw_.y, record);
    return PointerResult::kEnded;
  }
  if (samples_ >= 2 &&
      std::hypot(double(s.x) - lastRaw_.x, double(s.y) - lastRaw_.y) <= DistanceThreshold(state))
    return PointerResult::kDropped;
  lastRaw_ = s;
  Continue(s, record);
  return PointerResult::kContinued;
}

bool CStrokeMngr::PointerUp(float x, float y, const PointerState& state, bool record) {
  if (!stroke_->shapeStroke && state.replaying) return false;
  return PenUp(x, y, record);
}

void CStrokeMngr::EnterShapeMode() {
  if (saved_.active) return;
  TStroke& st = *stroke_;
  saved_ = {true,           st.IfSize(), st.IfTransparency(), st.noSmoothing,
            st.shapeStroke, params_,     interpolate_.Mode()};
  st.noSmoothing = true;
  st.shapeStroke = true;
  st.SetIfSize(false);
  st.SetIfTransparency(false);
  params_.pressureSize = params_.pressureOpacity = 0;
  interpolate_.SetMode(0);
}

void CStrokeMngr::LeaveShapeMode() {
  if (!saved_.active) return;
  TStroke& st = *stroke_;
  st.SetIfSize(saved_.ifSize);
  st.SetIfTransparency(saved_.ifTransparency);
  st.noSmoothing = saved_.noSmoothing;
  st.shapeStroke = saved_.shape;
  params_ = saved_.params;
  interpolate_.SetMode(saved_.mode);
  saved_.active = false;
}

bool CStrokeMngr::StrokeShape(const std::vector<ShapeVertex>& vertices, bool closed, bool record) {
  if (running_ || vertices.empty()) return false;
  EnterShapeMode();
  // The saved settings come back however the drawing ends.
  struct Leave {
    CStrokeMngr& m;
    ~Leave() {
      if (m.running_) m.End(false);
      m.LeaveShapeMode();
    }
  } leave{*this};
  const float p = stroke_->EffectiveOpacity(paper_->Engine() == StrokeEngine::kDirect);
  std::vector<ShapeVertex> path = vertices;
  if (closed && path.size() > 1 && (path.back().x != path.front().x || path.back().y != path.front().y))
    path.push_back(path.front());
  // Like every stroke the pointer begins, a shape is drawn on the active layer.
  stroke_->layer = paper_->ActiveIndex();
  if (!Begin({path[0].x, path[0].y, p}, record)) return false;
  for (size_t i = 1; i < path.size(); ++i) Continue({path[i].x, path[i].y, p}, record);
  return PenUp(path.back().x, path.back().y, record);
}

// --- replay ----------------------------------------------------------------------------------

bool CStrokeReplay::Start(StrokeEngine engine, int32_t layer, bool shape) {
  if (mngr_.Running() || started_) return false;
  engine_ = engine;
  mngr_.Stroke().layer = layer;
  shape_ = shape;
  started_ = true;
  begun_ = false;
  if (shape_) mngr_.EnterShapeMode();
  return true;
}

bool CStrokeReplay::Sample(const StrokeSample& s) {
  if (!started_) return false;
  if (!begun_) return begun_ = mngr_.Begin(engine_, s, false);
  mngr_.Continue(s, false);
  return true;
}

bool CStrokeReplay::Finish(SPixRect* paperRect) {
  if (!started_) return false;
  started_ = false;
  const bool ok = begun_ ? mngr_.End(false, paperRect) : true;
  if (shape_) mngr_.LeaveShapeMode();
  begun_ = false;
  return ok;
}

}  // namespace tintara
