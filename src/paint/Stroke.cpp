#include "paint/Stroke.h"

#include <algorithm>
#include <cmath>

namespace tintara {
namespace {

constexpr PenKindInfo kKinds[kPenKindCount] = {
    {"pen", "鉛筆", 1.0f / 6.0f},  {"wc", "透明水彩", 1.0f / 12.0f}, {"blur", "ぼかし", 0.25f},
    {"eraser", "消しゴム", 0.25f}, {"blur2", "ぼかし2", 0.25f},      {"airbrush", "エアーブラシ", 0},
    {"rubpen", "指先", 0},         {"darken", "焼き込み", 0},        {"lighten", "覆い焼き", 0},
};

int32_t ClampInt(int64_t v, int32_t lo, int32_t hi) { return int32_t(std::clamp<int64_t>(v, lo, hi)); }

}  // namespace

bool StrokeSample::IsFinite() const {
  return std::isfinite(x) && std::isfinite(y) && std::isfinite(pressure);
}

const PenKindInfo& PenKindOf(int32_t kind) { return kKinds[std::clamp(kind, 0, kPenKindCount - 1)]; }

void SStrokeBox::Grow(float x, float y, float margin) {
  left = std::min(left, x - margin);
  right = std::max(right, x + margin);
  top = std::min(top, y - margin);
  bottom = std::max(bottom, y + margin);
}

void SStrokeBox::Merge(const SStrokeBox& o) {
  if (o.IsEmpty()) return;
  left = std::min(left, o.left);
  right = std::max(right, o.right);
  top = std::min(top, o.top);
  bottom = std::max(bottom, o.bottom);
}

void PushSmoothed(StrokeSample* h, int32_t n, const StrokeSample& s, bool smooth) {
  for (int32_t i = n - 1; i > 0; --i) h[i] = h[i - 1];
  h[0] = s;
  if (smooth && n >= 3) {
    h[1].x = (h[0].x + h[2].x) * 0.5f;
    h[1].y = (h[0].y + h[2].y) * 0.5f;
    h[1].pressure = (h[0].pressure + h[2].pressure) * 0.5f;
  }
}

// --- StrokeParams ---------------------------------------------------------------------------

void StrokeParams::SetOpacity(int32_t v) { opacity = std::clamp(v, 0, kMaxOpacity); }
void StrokeParams::SetGamma(int32_t v) { gamma = std::clamp(v, kMinGamma, kMaxGamma); }
void StrokeParams::SetSpacing(int32_t v) { spacing = std::clamp(v, kMinSpacing, kMaxSpacing); }
void StrokeParams::SetSpacingFraction(double f) {
  if (!std::isfinite(f)) return;
  SetSpacing(ClampInt(int64_t(std::clamp(f, -1.0e6, 1.0e6) * 100.0) * 10, kMinSpacing, kMaxSpacing));
}
void StrokeParams::SetFullDensity(int32_t v) { fullDensity = std::clamp(v, 0, kMaxSizeLimit); }
void StrokeParams::SetSubdivision(int32_t v) { subdivision = std::clamp(v, 0, kMaxSizeLimit); }

StrokeParams StrokeParams::Clamped(const StrokeParams& raw) {
  StrokeParams p;
  p.pressureSize = raw.pressureSize ? 1 : 0;
  p.pressureOpacity = raw.pressureOpacity ? 1 : 0;
  p.SetOpacity(raw.opacity);
  p.SetGamma(raw.gamma);
  p.SetSpacing(raw.spacing);
  p.SetFullDensity(raw.fullDensity);
  p.SetSubdivision(raw.subdivision);
  return p;
}

void StrokeParams::Write(ByteWriter& w) const {
  w.u8(pressureSize);
  w.u8(pressureOpacity);
  w.u8(reserved[0]);
  w.u8(reserved[1]);
  w.i32(opacity);
  w.i32(gamma);
  w.i32(spacing);
  w.i32(fullDensity);
  w.i32(subdivision);
}

bool StrokeParams::Read(ByteReader& r) {
  StrokeParams raw;
  raw.pressureSize = r.u8();
  raw.pressureOpacity = r.u8();
  r.u8();
  r.u8();
  raw.opacity = r.i32();
  raw.gamma = r.i32();
  raw.spacing = r.i32();
  raw.fullDensity = r.i32();
  raw.subdivision = r.i32();
  if (!r.ok()) return false;
  *this = Clamped(raw);
  return true;
}

// --- CInterpolate ---------------------------------------------------------------------------

void CInterpolate::Start(const StrokeSample& first) {
  for (StrokeSample& e : history_) e = {first.x, first.y, 0.0f};
  count_ = 1;
}

void CInterpolate::Add(const StrokeSample& s) {
  PushSmoothed(history_, 3, s, mode_ == 1);
  ++count_;
}

// --- TStroke --------------------------------------------------------------------------------

void TStroke::SetClamped(float& field, float v, float lo, float hi) {
  if (!std::isfinite(v)) return;
  Set(field, std::clamp(v, lo, hi));
}

void TStroke::SetOpacity(float v) { SetClamped(opacity_, v, kMinOpacity, 1.0f); }
void TStroke::SetAirMap(int32_t v) {
  if (v >= 0 && v < CPenRender::kAirMapCount) Set(airMap_, v);
}
void TStroke::SetUseTone(bool on) { Set(pen.useTone, on); }
void TStroke::SetUseGradation(bool on) { Set(pen.useGradation, on); }
void TStroke::SetColour(uint32_t c) { Set(pen.colour, c & 0x00FFFFFFu); }
void TStroke::SetBackground(uint32_t c) { Set(pen.background, c); }
void TStroke::SetKind(int32_t kind) {
  if (kind >= 0 && kind < kPenKindCount) Set(kind_, kind);
}
void TStroke::SetIfSize(bool on) { Set(ifSize_, on); }
void TStroke::SetIfTransparency(bool on) { Set(ifTransparency_, on); }
void TStroke::SetIfEdge(bool on) { Set(ifEdge_, on); }
void TStroke::SetMin(float v) { SetClamped(min_, v, 0.0f, 100.0f); }
void TStroke::SetWidth(float v) { SetClamped(width_, v, kMinWidth, kMaxWidth); }
void TStroke::SetGamma(float v) { SetClamped(gamma_, v, kMinGamma, kMaxGamma); }
void TStroke::SetEffect(float v) { SetClamped(effect_, v, 0.0f, 100.0f); }
void TStroke::SetEnv(float v) { SetClamped(env_, v, 0.0f, 100.0f); }
void TStroke::SetSpeed(float v) { SetClamped(speed_, v, 0.0f, 100.0f); }
void TStroke::SetSpacing(float v) { SetClamped(spacing_, v, kMinSpacing, kMaxSpacing); }

float TStroke::EffectiveSpacing() const {
  const float fixed = PenKindOf(kind_).fixedSpacing;
  return std::max(fixed > 0 ? fixed : spacing_, kMinSpacing);
}

float TStroke::PressureSize(float p) const {
  if (!AllowsPressureSize() || !ifSize_) return width_;
  const float m = width_ * min_ / 100.0f;
  return m + p * (width_ - m);
}

void TStroke::StartHistory(const StrokeSample& first) {
  rectA.Reset();
  rectB.Reset();
  dabCounter = 0;
  dabCount = 0;
  pen.travelled = 0;
  for (StrokeSample& e : history_) e = {first.x, first.y, 0.0f};
}

void TStroke::AddSample(const StrokeSample& s) { PushSmoothed(history_, 8, s, !noSmoothing); }

}  // namespace tintara
