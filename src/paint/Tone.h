// Screentones: repeating grey-level patterns that pens and fills paint through. A tone is
// either a small bitmap repeated, or a generated halftone described by its dot shape,
// ruling, resolution, density, angle and softness. `CToneMaker` renders generated tones,
// the pattern classes sample them at any pixel, and `CToneMngr` is the tone list with the
// working copy of the selected tone that the write functions read.
//
// A generated halftone is periodic on the lattice spanned by its integer tile vectors
// (b, -a) and (a, b). It is stored as one brick of that lattice: W = (a^2 + b^2) / g pixels
// wide and g high (g = gcd(a, b)), each row of bricks shifted by a fixed amount. Any pixel
// folds into the brick with two integer divisions, and the pattern repeats without a seam
// at every angle.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pixel/DibCore.h"

namespace tintara {

enum ToneShape : int32_t {
  kToneRound = 0,
  kToneDot,
  kToneDotCos,
  kToneLine,
  kToneLineX,
  kToneLineY,
  kToneSquare,
  kToneCross,
  kToneDiamond,
  kToneRhomboid,
};
inline constexpr int32_t kToneShapeCount = 10;
// The English name used in automatic names; "???" outside the table.
const char* ToneShapeName(int32_t shape);
// The spot value s(u, v) of a shape for u, v in -1..1: higher values are inked first.
double ToneSpot(int32_t shape, double u, double v);

// A generated tone's description, as the tone dialog and the tone-set file hold it.
struct SToneAttr {
  static constexpr double kMinDpi = 72, kMaxDpi = 600;
  static constexpr double kMinCell = 3, kMaxCell = 128;

  int32_t shape = kToneRound;
  float dpi = 300;
  float lpi = 55;  // lines per inch
  int32_t density = 10;
  int32_t angle = 0;
  int32_t softness = 0;
  bool autoName = true;
  std::string name;

  // Pixels per cell (DPI / lines per inch); 0 when the ruling is not positive.
  double CellSize() const;
  // DPI, ruling (one cell 3..128 pixels), shape, density 1..99, angle 0..90, softness 0..40.
  bool IsValid() const;
  // Shape name and parameters, e.g. "Round 55.0L 10% 45deg".
  std::string AutomaticName() const;
  // The scale range the tone window offers, in percent.
  void ScaleRange(int32_t& minPercent, int32_t& maxPercent) const;
};

// The halftone generator: the repeat search, the spot grid of one brick, the 101 density
// thresholds and the thresholded brick. The spot grid and thresholds are kept while shape,
// cell size and angle stay; a new density or softness only re-thresholds.
class CToneMaker {
 public:
  // False (and nothing changes) for a cell outside 3..128, an angle outside 0..90 or a shape
  // outside the table; density and softness are clamped to 0..100 and 0..40.
  bool Setup(int32_t shape, int32_t softness, int32_t density, double angleDegrees, double cellSize);
  bool IsValid() const { return valid_; }

  // 0..255, 255 full ink, for pixel (x, y) of the plane.
  uint8_t Sample(int32_t x, int32_t y) const;
  // The tone over a channel, whose pixel (0, 0) is plane pixel (originX, originY).
  void Render(CDibCore& channel, int32_t originX, int32_t originY) const;

  int32_t Repeat() const { return n_; }
  int32_t TileA() const { return a_; }
  int32_t TileB() const { return b_; }
  double RealCellSize() const { return realCell_; }
  double RealAngle() const { return realAngle_; }
  int32_t BrickWidth() const { return brickW_; }
  int32_t BrickHeight() const { return brickH_; }
  int32_t BrickShift() const { return brickShift_; }
  int32_t RowOffset() const { return rowOffset_; }
  // The thresholded brick: 0 full ink, 255 none.
  const TChannel& Tile() const { return tile_; }
  // The normalised spot value (0..1) of brick pixel (x, y).
  double SpotAt(int32_t x, int32_t y) const { return spot_[size_t(y) * size_t(brickW_) + size_t(x)]; }
  double Threshold(int32_t level) const { return thresholds_[size_t(level)]; }
  // Levels below and above `level` sharing its threshold.
  int32_t SharedBelow(int32_t level) const { return sharedBelow_[size_t(level)]; }
  int32_t SharedAbove(int32_t level) const { return sharedAbove_[size_t(level)]; }
  // The brick coordinates of plane pixel (x, y).
  void Fold(int32_t x, int32_t y, int32_t& bx, int32_t& by) const;
  // The repeat count the search gives for a cell size and angle (no allocation).
  static int32_t RepeatFor(double cellSize, double angleDegrees);

 private:
  bool BuildSpots();
  void Threshold();

  bool valid_ = false;
  int32_t shape_ = -1;
  double cell_ = 0, angle_ = -1;
  int32_t density_ = 0, softness_ = 0;
  int32_t n_ = 0, a_ = 0, b_ = 0;
  double length_ = 0, sin_ = 0, cos_ = 1, realCell_ = 0, realAngle_ = 0;
  int32_t rowOffset_ = 0;
  int32_t brickW_ = 0, brickH_ = 0, brickShift_ = 0;
  std::vector<float> spot_;
  double thresholds_[101] = {};
  int32_t sharedBelow_[101] = {};
  int32_t sharedAbove_[101] = {};
  TChannel tile_;
};

// --- patterns -------------------------------------------------------------------------------

class CPatObj {
 public:
  enum Kind : int32_t { kBitmap = 0, kGenerated = 1 };
  CPatObj();
  virtual ~CPatObj() = default;
  CPatObj(const CPatObj&) = delete;
  CPatObj& operator=(const CPatObj&) = delete;

  // 0..255, 255 full ink.
  virtual uint8_t Sample(int32_t x, int32_t y) const = 0;
  // n samples from (x, y) to the right.
  virtual void SampleRow(int32_t x, int32_t y, int32_t n, uint8_t* out) const;
  virtual std::unique_ptr<CPatObj> Clone() const = 0;
  virtual void ScaleRange(int32_t& minPercent, int32_t& maxPercent) const = 0;
  void SetName(const std::string& text) { name = text; }
  // A grey picture of the pattern, ink dark, alpha 255.
  void DrawPreview(CDibCore& colour) const;

  bool valid = false;
  int32_t serial;
  int32_t kind = kBitmap;
  int32_t offsetX = 0, offsetY = 0;
  int32_t width = 0, height = 0;
  int32_t scale = 100;
  std::string name;

 protected:
  void CopyBase(const CPatObj& other);
};

// A bitmap repeated: the channel pixel at ((x + offset x) mod width, (y + offset y) mod height).
class CPat8 : public CPatObj {
 public:
  // The pattern takes a copy of an 8-bit channel; false for an empty one.
  bool SetChannel(const CDibCore& source);
  uint8_t Sample(int32_t x, int32_t y) const override;
  void SampleRow(int32_t x, int32_t y, int32_t n, uint8_t* out) const override;
  std::unique_ptr<CPatObj> Clone() const override;
  void ScaleRange(int32_t& minPercent, int32_t& maxPercent) const override;

  // Channel, base fields and invert flag of another pattern.
  bool CopyPat8(const CPat8& other);

  TChannel channel;
  bool invert = false;
};

// A generated halftone: its description and the brick its maker rendered.
class CPat8Tone : public CPat8 {
 public:
  CPat8Tone() { kind = kGenerated; }
  // Renders the description at DPI x dpiPercent / 100 with the given maker; false (the
  // pattern unchanged) when the description is refused or memory runs out.
  bool Generate(const SToneAttr& description, CToneMaker& maker, int32_t dpiPercent = 100);
  uint8_t Sample(int32_t x, int32_t y) const override;
  void SampleRow(int32_t x, int32_t y, int32_t n, uint8_t* out) const override;
  std::unique_ptr<CPatObj> Clone() const override;
  void ScaleRange(int32_t& minPercent, int32_t& maxPercent) const override {
    attr.ScaleRange(minPercent, maxPercent);
  }

  SToneAttr attr;
  int32_t brickShift = 0;
  int32_t rowOffset = 0;

 private:
  // Brick coordinates of plane pixel (x, y), offset already taken off.
  void Fold(int32_t x, int32_t y, int32_t& bx, int32_t& by) const;
};

// An owning list of patterns.
class CPatMngrBase {
 public:
  virtual ~CPatMngrBase() = default;
  int32_t Count() const { return int32_t(items_.size()); }
  bool IsValidIndex(int32_t i) const { return i >= 0 && i < Count(); }
  CPatObj* At(int32_t i) const { return IsValidIndex(i) ? items_[size_t(i)].get() : nullptr; }

 protected:
  // Appends; -1 when memory runs out (the list is unchanged).
  int32_t Append(std::unique_ptr<CPatObj> item);
  std::vector<std::unique_ptr<CPatObj>> items_;
};

// The tone list with the selected tone and its working copy at its scale. One list serves
// live drawing; every event player has its own.
class CToneMngr : public CPatMngrBase {
 public:
  CToneMngr();

  int32_t AddTone(const SToneAttr& description);
  // A bitmap pattern from an 8-bit channel.
  int32_t AddBitmap(const CDibCore& channel, int32_t scalePercent, int32_t offsetX, int32_t offsetY,
                    const std::string& name = {});
  // A size x size pattern of anti-aliased discs on a square grid, the first centred at
  // (spacing / 2, spacing / 2).
  int32_t AddDotGrid(int32_t size, double spacing, double radius, const std::string& name = {});
  int32_t CopyItem(int32_t index);
  bool ReplaceTone(int32_t index, const SToneAttr& description);
  bool Rename(int32_t index, const std::string& name);
  // The selection follows: the successor of a deleted selected item, or the new last item.
  bool Delete(int32_t index);
  // Clamped into the list (-1 when empty); rebuilds the working tone.
  void Select(int32_t index);
  void Clear();
  // The two built-in dot patterns.
  void FillBuiltIn();

  // Changes of the selected tone that rebuild its working copy.
  bool SetScale(int32_t scalePercent);
  bool SetOffset(int32_t x, int32_t y);
  bool SetInvert(bool on);

  int32_t SelectedIndex() const { return selected_; }
  const CPatObj* Selected() const { return At(selected_); }
  const CPatObj* Working() const { return working_.get(); }
  void SetOrigin(int32_t x, int32_t y) { originX_ = x, originY_ = y; }

  // mul8(coverage, tone at (x + origin x, y + origin y)); the coverage itself when no tone is
  // selected.
  uint8_t Apply(int32_t x, int32_t y, uint8_t coverage) const;
  void ApplyRow(int32_t x, int32_t y, int32_t n, uint8_t* coverage) const;

 private:
  bool RebuildWorking();

  int32_t selected_ = -1;
  std::unique_ptr<CPatObj> working_;
  int32_t originX_ = 0, originY_ = 0;
  CToneMaker maker_;
  TChannel scratch_;
};

}  // namespace tintara
