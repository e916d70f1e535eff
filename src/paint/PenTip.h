// Pen tips: the footprint of one brush dab. A tip is an outline (round, elliptical at an
// angle, or a grey-level bitmap), a density fall-off from the centre to the rim, and a
// hard-edge switch. This file holds the tip records, the density table built from a
// fall-off profile, the tip item and the tip list with its built-in tips.
//
// Every value that arrives from a file, a packet or the settings passes the clamping
// setters here before anything divides by it or sizes a buffer with it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pixel/DibCore.h"

namespace tintara {

// Procedural tip geometry; four signed 32-bit fields, in this order on disk.
struct PenTipParams {
  static constexpr int32_t kMinRadius100 = 10, kMaxRadius100 = 20000;  // 0.1 .. 200 px
  static constexpr int32_t kMinAspect = 10, kMaxAspect = 1000;         // tenths of a percent
  static constexpr int32_t kFullTurn = 3600;                           // tenths of a degree
  static constexpr int32_t kMinMinimum = 10, kMaxMinimum = 1000;       // tenths of a percent

  int32_t radius100 = 1000;  // radius x 100, or for a bitmap tip its size percent x 100
  int32_t aspect = 1000;     // 1000 is round
  int32_t angle = 0;         // 0 .. 3599
  int32_t minimum = 1000;    // smallest pressure size as a share of the largest

  void SetRadius100(int32_t v);
  void SetAspect(int32_t v);
  // Any angle is folded into one turn.
  void SetAngle(int32_t v);
  void SetMinimum(int32_t v);
  // All four fields through their setters.
  static PenTipParams Clamped(const PenTipParams& raw);

  double Radius() const { return radius100 / 100.0; }
  double AspectPercent() const { return aspect / 10.0; }
  double AngleDegrees() const { return angle / 10.0; }
  // Shown to the user as flatness: 100 - aspect / 10, 0..99.
  int32_t Flatness() const { return 100 - aspect / 10; }
  friend bool operator==(const PenTipParams&, const PenTipParams&) = default;
};

// The pen-tip window's radius controls. One step of the radius field is 0.1 pixel below a
// radius of 20 and 1 pixel from there on; the 80-position slider runs in half pixels up to 20
// at position 40 and in 4.5-pixel steps beyond, to 200 at position 80 (never below 0.1).
double PenTipRadiusStep(double radius);
double PenTipSliderRadius(int32_t position);

// The fall-off from the centre (x = 0) to the rim (x = 1).
enum DensityCurve : uint8_t {
  kCurveCircle = 0,    // sqrt(1 - x^2)
  kCurveParabola = 1,  // 1 - x^2
  kCurveSmooth = 2,    // 2x^3 - 3x^2 + 1
  kCurveLinear = 3,    // 1 - x; also every unknown value
  kCurveAirbrush = 4,  // (1 - x)^(ln 0.3 / ln 0.5): 0.3 at half the radius
  kCurveHollow = 5,    // 1 - sqrt(1 - (1 - x)^2)
};
double DensityCurveAt(uint8_t curve, double x);

struct DensityProfile {
  static constexpr int32_t kMaxPermille = 1000;
  uint8_t curve = kCurveLinear;
  int32_t flattening = 0;  // tenths of a percent: full density out to this share of the radius
  int32_t floor = 0;       // tenths of a percent added under the curve

  void SetFlattening(int32_t v);
  void SetFloor(int32_t v);
  static DensityProfile Clamped(const DensityProfile& raw);
  friend bool operator==(const DensityProfile&, const DensityProfile&) = default;
};

// The density table: n entries of 16.16 values in 0..255 from the centre (entry 0) to the
// rim (entry n - 1, also used beyond it). The second table takes the curve at sqrt(x).
class CGradeMapObj {
 public:
  static constexpr int32_t kPenEntries = 2048;

  explicit CGradeMapObj(int32_t n = kPenEntries) { Resize(n); }
  // n is raised to at least 2; rebuilds the tables for the current profile.
  bool Resize(int32_t n);
  // Rebuilds only when the profile differs; returns whether it did.
  bool SetProfile(const DensityProfile& profile);

  bool IsValid() const { return valid_; }
  int32_t Count() const { return int32_t(table_.size()); }
  int32_t Last() const { return last_; }
  const DensityProfile& Profile() const { return profile_; }
  const uint32_t* Table() const { return table_.data(); }
  const uint32_t* SqrtTable() const { return sqrtTable_.data(); }
  uint32_t operator[](int32_t i) const { return table_[size_t(i)]; }

 private:
  void Build();

  bool valid_ = false;
  std::vector<uint32_t> table_;
  std::vector<uint32_t> sqrtTable_;
  DensityProfile profile_;
  int32_t last_ = 0;
};

// What a tip record carries besides its bitmap: each part optional when set from a record.
struct PenTipRecord {
  DensityProfile profile;
  PenTipParams params;
  int32_t hardEdge = 0;  // 1: no anti-aliasing
  friend bool operator==(const PenTipRecord&, const PenTipRecord&) = default;
};

// One pen tip of the list.
class CPenShapeObj {
 public:
  CPenShapeObj();
  CPenShapeObj(const CPenShapeObj&) = delete;
  CPenShapeObj& operator=(const CPenShapeObj&) = delete;

  // Takes the given parts of a record through the clamping setters; the item becomes valid.
  void SetRecord(const DensityProfile* profile, const PenTipParams* params, const int32_t* hardEdge);
  void SetRecord(const PenTipRecord& r) { SetRecord(&r.profile, &r.params, &r.hardEdge); }
  PenTipRecord Record() const { return {profile, params, hardEdge}; }
  // Everything, the bitmap, its size and the serial number included: a copy stands for the
  // same tip.
  bool CopyFrom(const CPenShapeObj& other);

  // An 8-bit bitmap, 0 full ink, 255 none. An empty one is refused.
  bool AttachBitmap(const CDibCore& channel);
  // A colour image turned grey by luminance; the geometry resets to the defaults with the
  // radius field holding the current size percent.
  bool AttachBitmapFromImage(const CDibCore& colour);
  void DropBitmap();
  bool HasBitmap() const { return bitmapState == 1 && bitmap.IsValid(); }

  // Accepted only inside the size range and when it changes; also stored in the radius field.
  bool SetSizePercent(int32_t percent);
  int32_t SizePercent() const { return sizePercent; }
  int32_t SizeMin() const { return sizeMin; }
  int32_t SizeMax() const { return sizeMax; }
  int32_t LongSide() const { return longSide; }
  int32_t Serial() const { return serial; }
  // The size range a bitmap of that size allows: min 400 / short side (at least 1), max
  // 51200 / long side (at most 500); a minimum above the maximum becomes the maximum.
  static void SizeRange(int32_t width, int32_t height, int32_t& minPercent, int32_t& maxPercent);

  bool valid = false;
  std::string name;
  int32_t bitmapState = 0;  // 0 none, 1 present
  DensityProfile profile;
  PenTipParams params;
  int32_t hardEdge = 0;
  TChannel bitmap;

 private:
  bool TakeBitmap(TChannel&& grey);
  static int32_t NextSerial();

  int32_t serial = 0;
  int32_t sizeMin = 1;
  int32_t sizeMax = 500;
  int32_t sizePercent = 100;
  int32_t longSide = 0;
};

// The tip list: owning, with the index of the current tip (-1 when none).
class CPenShapeMngr {
 public:
  int32_t Count() const { return int32_t(items_.size()); }
  bool IsValidIndex(int32_t i) const { return i >= 0 && i < Count(); }
  CPenShapeObj* At(int32_t i) const { return IsValidIndex(i) ? items_[size_t(i)].get() : nullptr; }
  CPenShapeObj* Current() const { return At(current_); }
  int32_t CurrentIndex() const { return current_; }

  // Appends a copy, or a new item from a record; returns the index or -1.
  int32_t Add(const CPenShapeObj& item);
  int32_t Add(const PenTipRecord& record, const std::string& name = {});
  // Index 0..count; returns the index or -1.
  int32_t Insert(int32_t index, const CPenShapeObj& item);
  bool Delete(int32_t index);
  void Clear();
  bool Select(int32_t index);
  // No current tip (the pen's tip is not one of the list's).
  void Deselect() { current_ = -1; }
  // The seven built-in tips, item 0 selected.
  void FillBuiltIn();

 private:
  std::vector<std::unique_ptr<CPenShapeObj>> items_;
  int32_t current_ = -1;
};

// The records of the built-in tips, in list order.
std::vector<PenTipRecord> BuiltInTipRecords();

}  // namespace tintara
