// Scaled views: resampling one image into another by exact area averaging. Every
// destination pixel is the average of the source area it covers, partial source pixels
// weighted by the covered fraction. Positions are 16.16 fixed point; only the weighted
// accumulation and the final division are floating point.
//
// The subclasses say where pixels live and how many channels they have; the averaging
// walk is compiled once per subclass, so no virtual call happens per source pixel.
#pragma once

#include <cstdint>

#include "pixel/BlockImage.h"
#include "pixel/DibCore.h"
#include "pixel/PixelTypes.h"

namespace tintara {

class CScaleImage {
 public:
  CScaleImage() = default;
  virtual ~CScaleImage() = default;
  CScaleImage(const CScaleImage&) = delete;
  CScaleImage& operator=(const CScaleImage&) = delete;

  // Clips both rectangles to their images (false when either is empty), sets the steps and
  // fills the destination rectangle.
  bool Scale(const SPixRect& sourceRect, const SPixRect& destinationRect);
  // Writes the area average of a 16.16 source footprint (x0, y0) - (x1, y1) into destination
  // pixel (dx, dy); false (pixel untouched) when the footprint misses the source.
  bool SampleFootprint(int32_t dx, int32_t dy, int64_t x0, int64_t y0, int64_t x1, int64_t y1);

  int32_t SourceWidth() const { return sourceWidth_; }
  int32_t SourceHeight() const { return sourceHeight_; }
  int32_t DestinationWidth() const { return destinationWidth_; }
  int32_t DestinationHeight() const { return destinationHeight_; }
  const SPixRect& SourceRect() const { return sourceRect_; }
  const SPixRect& DestinationRect() const { return destinationRect_; }
  int32_t StepX() const { return stepX_; }
  int32_t StepY() const { return stepY_; }

 protected:
  // Fill the clipped destination rectangle / one footprint, with the subclass's pixels.
  virtual bool FillDestination() = 0;
  virtual bool AverageInto(int32_t dx, int32_t dy, int64_t x0, int64_t y0, int64_t x1, int64_t y1) = 0;
  virtual bool Ready() const = 0;

  int32_t sourceWidth_ = 0;
  int32_t sourceHeight_ = 0;
  int32_t destinationWidth_ = 0;
  int32_t destinationHeight_ = 0;
  SPixRect sourceRect_;
  SPixRect destinationRect_;
  int32_t stepX_ = 0x10000;
  int32_t stepY_ = 0x10000;
};

// Colour buffers (TMTC or TTC): channels R, G, B, A; stored as (acc + 0.01) / area, rounded.
class CScaleImageTMTC : public CScaleImage {
 public:
  CScaleImageTMTC(const CDibCore* source, CDibCore* destination) { SetImages(source, destination); }
  void SetImages(const CDibCore* source, CDibCore* destination);

  // The per-pixel steps, named as the scalers share them.
  static void Accumulate(double* acc, uint32_t p);
  static void AccumulateWeighted(double* acc, uint32_t p, double w);
  static uint32_t Store(const double* acc, double area);

 protected:
  bool FillDestination() override;
  bool AverageInto(int32_t dx, int32_t dy, int64_t x0, int64_t y0, int64_t x1, int64_t y1) override;
  bool Ready() const override;

 private:
  const CDibCore* source_ = nullptr;
  CDibCore* destination_ = nullptr;
};

// 8-bit scalers: acc / area rounded to nearest, clamped to 0..255.
class CScaleImage8 : public CScaleImage {
 public:
  static uint8_t Store(double acc, double area);
};

class CScaleImageCH : public CScaleImage8 {
 public:
  CScaleImageCH(const CDibCore* source, CDibCore* destination);

 protected:
  bool FillDestination() override;
  bool AverageInto(int32_t dx, int32_t dy, int64_t x0, int64_t y0, int64_t x1, int64_t y1) override;
  bool Ready() const override;

  const CDibCore* source_ = nullptr;
  CDibCore* destination_ = nullptr;
};

// Channel source, destination a row-major grid of 32-bit 16.16 values: acc / (area * 255),
// rounded, clamped to 0..0x10000.
class CScaleImageCH_fixp : public CScaleImageCH {
 public:
  CScaleImageCH_fixp(const CDibCore* source, uint32_t* values, int32_t width, int32_t height);
  static uint32_t StoreFixed(double acc, double area);

 protected:
  bool FillDestination() override;
  bool AverageInto(int32_t dx, int32_t dy, int64_t x0, int64_t y0, int64_t x1, int64_t y1) override;
  bool Ready() const override;

 private:
  uint32_t* values_ = nullptr;
};

// Colour block images: source read without allocating (empty tiles read as their fill),
// destination tiles allocated on write.
class CScaleLayerImage : public CScaleImage {
 public:
  CScaleLayerImage(const CBlockVMTC* source, CBlockVMTC* destination);

 protected:
  bool FillDestination() override;
  bool AverageInto(int32_t dx, int32_t dy, int64_t x0, int64_t y0, int64_t x1, int64_t y1) override;
  bool Ready() const override;

 private:
  const CBlockVMTC* source_ = nullptr;
  CBlockVMTC* destination_ = nullptr;
};

// Mask block images.
class CScaleMaskImage : public CScaleImage8 {
 public:
  CScaleMaskImage(const CBlockVCH* source, CBlockVCH* destination);

 protected:
  bool FillDestination() override;
  bool AverageInto(int32_t dx, int32_t dy, int64_t x0, int64_t y0, int64_t x1, int64_t y1) override;
  bool Ready() const override;

 private:
  const CBlockVCH* source_ = nullptr;
  CBlockVCH* destination_ = nullptr;
};

}  // namespace tintara
