// The dab-mask builder: turns a pen tip and a dab size into a grid of 16.16 mask values
// (0..255.0) that the renderer samples at every pixel centre of a dab.
//
// The grid is supersampled for small dabs: each cell holds the share of a pixel-sized
// square centred on the cell that lies inside the outline, times the density at the
// cell's distance from the centre. A pixel whose centre falls in a cell takes that cell's
// value, so a dab at any sub-pixel position needs no per-pixel geometry.
//
// The builder keeps one mask and rebuilds it only when its key (shape, radius, aspect,
// angle, bitmap tip and size) changes; a new density table only recomputes the mask
// values from the distance and coverage grids it already holds.
#pragma once

#include <cstdint>
#include <new>
#include <vector>

#include "paint/PenTip.h"
#include "platform/Memory.h"

namespace tintara {

// The mask grids are taken from the program's block allocator, like every other large block, so
// that running out of memory is a refused build (and can be walked in tests).
template <class T>
struct GridAllocator {
  using value_type = T;
  GridAllocator() = default;
  template <class U>
  GridAllocator(const GridAllocator<U>&) {}
  T* allocate(size_t n) {
    size_t bytes;
    void* p = CheckedBytes(n, sizeof(T), kMaxBlockBytes, &bytes) ? MemAlloc(bytes) : nullptr;
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t) { MemFree(p); }
  friend bool operator==(const GridAllocator&, const GridAllocator&) { return true; }
};

class CPenShape {
 public:
  using Grid = std::vector<uint32_t, GridAllocator<uint32_t>>;

  // Largest radius (or half extent) a mask may have, in pixels.
  static constexpr double kMaxRadius = 512.0;

  enum class Kind : uint8_t { kNone, kRound, kEllipse, kAligned, kBitmap };

  explicit CPenShape(const CGradeMapObj* density) : density_(density) {}

  // Switches, all on for pen rendering. With the rim switch off a cell is fully inside or
  // outside the outline (its centre decides); with the density switch off the density is
  // 255 everywhere; with the table switch off the density comes from the second table,
  // indexed by the squared distance.
  void SetSwitches(bool rim, bool density, bool table);
  bool RimOn() const { return rimOn_; }

  // Radius in 16.16. Round radii are quantised (see QuantiseRadius); false when the radius
  // is above the limit or the grids cannot be had (the builder is then invalid).
  bool BuildRound(int64_t radius16);
  // Aspect in percent (the minor semi-axis is radius x aspect / 100), angle in degrees,
  // turning the major axis counter-clockwise on screen. 100 % builds a round mask. The radius
  // is used as given (at least 1/16 pixel): only round masks are quantised.
  bool BuildEllipse(int64_t radius16, double aspectPercent, double angleDegrees);
  // On the real pixel grid around the dab centre (16.16 image coordinates): one span per row
  // (minorAxis false) or per column (true) crossing the outline.
  bool BuildAligned(int64_t x16, int64_t y16, bool minorAxis, int64_t radius16, double aspectPercent,
                    double angleDegrees);
  // A bitmap tip at its current size percent, with its own aspect and angle.
  bool BuildBitmap(const CPenShapeObj& tip);
  // Recomputes the mask values after the density table changed.
  void RebuildMask();
  // Forgets the held mask, so that the next build starts afresh.
  void Invalidate() { key_.valid = false; }

  // The mask value for the 16.16 offset (u, v) of a pixel centre from the dab centre; 0
  // outside the grid.
  uint32_t Sample(int64_t u, int64_t v) const {
    const int64_t gx = ((u + cx16_) * factor_) >> 16, gy = ((v + cy16_) * factor_) >> 16;
    if (gx < 0 || gy < 0 || gx >= gridW_ || gy >= gridH_) return 0;
    return mask_[size_t(gy) * size_t(gridW_) + size_t(gx)];
  }

  // Round radii: above 10 down to a multiple of 0.5, below 3 down to a multiple of 0.125 but
  // at least 0.0625, otherwise down to a multiple of 0.25 (all 16.16).
  static int64_t QuantiseRadius(int64_t radius16);
  // Supersampling factor for the mask's larger pixel extent.
  static int32_t FactorFor(int32_t extent);

  bool IsValid() const { return key_.valid; }
  Kind CurrentKind() const { return key_.kind; }
  int64_t HalfWidth16() const { return hw16_; }
  int64_t HalfHeight16() const { return hh16_; }
  int64_t CentreX16() const { return cx16_; }
  int64_t CentreY16() const { return cy16_; }
  int64_t Radius16() const { return key_.radius16; }
  int32_t PixelWidth() const { return pixW_; }
  int32_t PixelHeight() const { return pixH_; }
  int32_t Factor() const { return factor_; }
  int32_t GridWidth() const { return gridW_; }
  int32_t GridHeight() const { return gridH_; }
  // The three grids, row-major, GridWidth() x GridHeight().
  const Grid& Distance() const { return distance_; }
  const Grid& Coverage() const { return rim_; }
  const Grid& Mask() const { return mask_; }
  // How many grids were built since creation (the cache's misses).
  int64_t Builds() const { return builds_; }

 private:
  struct Key {
    bool valid = false;
    Kind kind = Kind::kNone;
    int64_t radius16 = 0;
    double aspect = 100;
    double angle = 0;
    int64_t x16 = 0, y16 = 0;
    bool minorAxis = false;
    int32_t serial = 0;
    int32_t size = 0;
    friend bool operator==(const Key&, const Key&) = default;
  };

  // Sizes the grids for half extents (16.16) around a centre at 0.5; false on failure.
  bool SetupGrid(int64_t hw16, int64_t hh16);
  bool Allocate();
  // Distance and coverage for every cell of a round or elliptical outline.
  void FillConic(double r, double aspect, double angleDeg);
  void FillBitmap(const CPenShapeObj& tip);
  void FillAligned(double x, double y, bool minorAxis, double r, double aspect, double angleDeg);
  void Fail();

  const CGradeMapObj* density_;
  bool rimOn_ = true, densityOn_ = true, tableOn_ = true;
  Key key_;
  int64_t hw16_ = 0, hh16_ = 0;
  int64_t cx16_ = 0, cy16_ = 0;
  int32_t pixW_ = 0, pixH_ = 0;
  int32_t factor_ = 1;
  int32_t gridW_ = 0, gridH_ = 0;
  Grid distance_;
  Grid rim_;
  Grid mask_;
  int64_t builds_ = 0;
};

// Area of the convex polygon pts[0..n-1] inside the disc of radius r at the origin.
double PolygonDiscArea(const double (*pts)[2], int n, double r);

}  // namespace tintara
