// The stroke in progress: pointer samples with their pressure, the pen state of the old pen
// kinds, the sample histories and their smoothing, and the brush engine's stroke settings.
//
// Every value that arrives from a file, a packet or the settings passes the clamping setters
// here; non-finite values are refused and leave the setting as it was.
#pragma once

#include <cstdint>
#include <vector>

#include "paint/PenRender.h"
#include "pixel/ByteIO.h"

namespace tintara {

// x, y in paper pixels (fractional), pressure 0..1. A mouse gives pressure 1.
struct StrokeSample {
  float x = 0, y = 0, pressure = 0;
  bool IsFinite() const;
  friend bool operator==(const StrokeSample&, const StrokeSample&) = default;
};

// The nine classic pen kinds of the old-pen engine.
enum PenKind : uint8_t {
  kPenPencil = 0,
  kPenWatercolour = 1,
  kPenBlur = 2,
  kPenEraser = 3,
  kPenBlur2 = 4,
  kPenAirbrush = 5,
  kPenRub = 6,
  kPenDarken = 7,
  kPenLighten = 8,
};
inline constexpr int32_t kPenKindCount = 9;

struct PenKindInfo {
  const char* stem;     // settings key stem
  const char* caption;  // shown in the pen window
  float fixedSpacing;   // 0: the stroke's own spacing
};
const PenKindInfo& PenKindOf(int32_t kind);

// The smallest and largest stroke the pointer side keeps: the stroke ends at the next sample.
inline constexpr int32_t kMaxStrokeSamples = 60000;

// A left/right/top/bottom float box; empty while left > right.
struct SStrokeBox {
  float left = 65535.0f, right = -65535.0f, top = 65535.0f, bottom = -65535.0f;
  void Reset() { *this = {}; }
  bool IsEmpty() const { return left > right || top > bottom; }
  void Grow(float x, float y, float margin);
  void Merge(const SStrokeBox& other);
};

// Pushes a sample into a history (entry 0 newest) and, unless smoothing is off, replaces
// entry 1 by the mean of entries 0 and 2: the drawn path is the running midpoint of the new
// sample and the previous drawn point.
void PushSmoothed(StrokeSample* history, int32_t n, const StrokeSample& s, bool smooth);

// The brush engine's stroke settings (24 bytes in brush records and packets).
struct StrokeParams {
  static constexpr int32_t kMinGamma = 1, kMaxGamma = 600;        // hundredths
  static constexpr int32_t kMinSpacing = 10, kMaxSpacing = 2000;  // thousandths of the size
  static constexpr int32_t kMaxOpacity = 1000;
  static constexpr int32_t kMaxSizeLimit = 1000;  // full-density and subdivision sizes
  static constexpr size_t kBytes = 24;

  uint8_t pressureSize = 0;
  uint8_t pressureOpacity = 0;
  uint8_t reserved[2] = {0, 0};
  int32_t opacity = 1000;  // thousandths
  int32_t gamma = 100;     // hundredths: pressure ^ (gamma / 100)
  int32_t spacing = 100;   // thousandths of the dab size, a multiple of 10
  int32_t fullDensity = 0;
  int32_t subdivision = 0;

  void SetOpacity(int32_t v);
  void SetGamma(int32_t v);
  void SetSpacing(int32_t v);
  // From a fraction f: trunc(f x 100) x 10; from a whole percentage q: q x 10.
  void SetSpacingFraction(double f);
  void SetSpacingPercent(int32_t q) { SetSpacing(q * 10); }
  void SetFullDensity(int32_t v);
  void SetSubdivision(int32_t v);
  static StrokeParams Clamped(const StrokeParams& raw);

  void Write(ByteWriter& w) const;
  // Reads 24 bytes; every field passes its setter.
  bool Read(ByteReader& r);
  friend bool operator==(const StrokeParams&, const StrokeParams&) = default;
};

// The brush engine's sample history.
class CInterpolate {
 public:
  // 0 straight, 1 smoothed.
  uint8_t Mode() const { return mode_; }
  void SetMode(uint8_t mode) { mode_ = mode ? 1 : 0; }
  // Every entry becomes (x, y, 0): each stroke swells from zero pressure.
  void Start(const StrokeSample& first);
  void Add(const StrokeSample& s);
  const StrokeSample& At(int32_t i) const { return history_[size_t(i)]; }
  int64_t Count() const { return count_; }

 private:
  uint8_t mode_ = 1;
  StrokeSample history_[3];
  int64_t count_ = 0;
};

// One stroke object: the pen state of the old pen kinds and the sample history of the stroke
// in progress. The part the renderers read and update lives in `pen`.
class TStroke {
 public:
  static constexpr float kMinOpacity = 0.01f;
  static constexpr float kMinWidth = 0.1f, kMaxWidth = 200.0f;
  static constexpr float kMinGamma = 0.01f, kMaxGamma = 6.0f;
  static constexpr float kMinSpacing = 0.02f, kMaxSpacing = 2.0f;

  TStroke() = default;
  TStroke(const TStroke&) = delete;
  TStroke& operator=(const TStroke&) = delete;

  // --- the clamping setters; each sets `changed` when the value really changes ------------
  void SetOpacity(float v);
  void SetAirMap(int32_t v);  // 0..4
  void SetUseTone(bool on);
  void SetUseGradation(bool on);
  void SetColour(uint32_t c);
  void SetBackground(uint32_t c);
  void SetKind(int32_t kind);  // 0..8
  void SetIfSize(bool on);
  void SetIfTransparency(bool on);
  void SetIfEdge(bool on);
  void SetMin(float v);    // percent of the width, 0..100
  void SetWidth(float v);  // 0.1..200 px
  void SetGamma(float v);  // 0.01..6
  void SetEffect(float v);
  void SetEnv(float v);
  void SetSpeed(float v);
  void SetSpacing(float v);  // 0.02..2 of the diameter

  float Opacity() const { return opacity_; }
  int32_t AirMap() const { return airMap_; }
  bool UseTone() const { return pen.useTone; }
  bool UseGradation() const { return pen.useGradation; }
  uint32_t Colour() const { return pen.colour; }
  uint32_t Background() const { return pen.background; }
  int32_t Kind() const { return kind_; }
  bool IfSize() const { return ifSize_; }
  bool IfTransparency() const { return ifTransparency_; }
  bool IfEdge() const { return ifEdge_; }
  float Min() const { return min_; }
  float Width() const { return width_; }
  float Gamma() const { return gamma_; }
  float Effect() const { return effect_; }
  float Env() const { return env_; }
  float Speed() const { return speed_; }
  float StoredSpacing() const { return spacing_; }

  // The stored opacity, or 1 under the legacy engine.
  float EffectiveOpacity(bool legacy) const { return legacy ? 1.0f : opacity_; }
  uint8_t EffectiveOpacityByte(bool legacy) const { return legacy ? 255 : uint8_t(opacity_ * 255.0f); }
  // The kind's fixed spacing when it has one, else the stored one; never below 0.02.
  float EffectiveSpacing() const;
  // Every kind but "blur2" honours pressure size.
  bool AllowsPressureSize() const { return kind_ != kPenBlur2; }
  // The old engines' size at pressure p: m + p (WIDTH - m), m = WIDTH x MIN / 100, with
  // pressure size on; else WIDTH.
  float PressureSize(float p) const;

  // --- the stroke in progress -------------------------------------------------------------
  // Rectangle A and B back to empty, counters and travelled length to 0, every history
  // entry (x, y, 0).
  void StartHistory(const StrokeSample& first);
  void AddSample(const StrokeSample& s);
  const StrokeSample& History(int32_t i) const { return history_[size_t(i)]; }

  SStrokeBox rectA, rectB;
  SPenStrokeState pen;
  bool noSmoothing = false;
  bool shapeStroke = false;
  bool changed = false;
  int32_t layer = -1;
  int64_t dabCounter = 0;  // unit steps taken
  int64_t dabCount = 0;    // dabs drawn
  int32_t version = 2;     // of the recording that drives the stroke (2: live)

 private:
  template <class T>
  void Set(T& field, T value) {
    if (field != value) {
      field = value;
      changed = true;
    }
  }
  void SetClamped(float& field, float v, float lo, float hi);

  StrokeSample history_[8];
  float opacity_ = 1.0f;
  int32_t airMap_ = 3;
  int32_t kind_ = kPenPencil;
  bool ifSize_ = false, ifTransparency_ = false, ifEdge_ = false;
  float min_ = 0, width_ = 1.0f, gamma_ = 1.0f;
  float effect_ = 0, env_ = 0, speed_ = 0;
  float spacing_ = 0.5f;
};

}  // namespace tintara
