#include "pixel/ScaleImage.h"

#include <cmath>
#include <exception>

namespace tintara {
namespace {

constexpr int64_t kOne = 65536;

// Walks the source pixels under a 16.16 footprint and reports each with its weight:
// add(x, y, w). Returns the footprint's area in source pixels. The footprint must be
// clipped to the source already (0 <= x0 < x1 <= width << 16, the same for y).
template <class Add>
double AverageWalk(int64_t x0, int64_t y0, int64_t x1, int64_t y1, Add&& add) {
  const int64_t cx0 = (x0 + kOne - 1) >> 16, fx1 = x1 >> 16;
  const int64_t cy0 = (y0 + kOne - 1) >> 16, fy1 = y1 >> 16;
  const double wl = double(cx0 * kOne - x0) / kOne, wr = double(x1 & 0xFFFF) / kOne;
  const double wt = double(cy0 * kOne - y0) / kOne, wb = double(y1 & 0xFFFF) / kOne;
  const bool oneColumn = (x0 >> 16) == ((x1 - 1) >> 16);
  const bool oneRow = (y0 >> 16) == ((y1 - 1) >> 16);
  // Partial columns and rows of weight zero are skipped, so nothing is read at -1 or at
  // the width.
  auto row = [&](int64_t y, double scale) {
    if (wl > 0) add(cx0 - 1, y, wl * scale);
    for (int64_t x = cx0; x < fx1; ++x) add(x, y, scale);
    if (wr > 0) add(fx1, y, wr * scale);
  };
  if (oneColumn && oneRow) {
    add(x0 >> 16, y0 >> 16, 1.0);
    return 1.0;
  }
  if (oneRow) {
    row(y0 >> 16, 1.0);
    return double(x1 - x0) / kOne;
  }
  if (oneColumn) {
    const int64_t x = x0 >> 16;
    if (wt > 0) add(x, cy0 - 1, wt);
    for (int64_t y = cy0; y < fy1; ++y) add(x, y, 1.0);
    if (wb > 0) add(x, fy1, wb);
    return double(y1 - y0) / kOne;
  }
  if (wt > 0) row(cy0 - 1, wt);
  for (int64_t y = cy0; y < fy1; ++y) row(y, 1.0);
  if (wb > 0) row(fy1, wb);
  return (double(x1 - x0) / kOne) * (double(y1 - y0) / kOne);
}

// Clips a footprint to the source; false when nothing is left.
bool ClipFootprint(int32_t sw, int32_t sh, int64_t& x0, int64_t& y0, int64_t& x1, int64_t& y1) {
  x0 = std::max<int64_t>(x0, 0);
  y0 = std::max<int64_t>(y0, 0);
  x1 = std::min<int64_t>(x1, int64_t(sw) << 16);
  y1 = std::min<int64_t>(y1, int64_t(sh) << 16);
  return x0 < x1 && y0 < y1;
}

// The source span of destination column (or row) c of n over a source extent of `size`
// (16.16) from `origin`: from the exact ratio, and never empty, even when one source pixel
// is spread over more than 65536 destination pixels.
inline void Span(int64_t origin, int64_t size, int32_t n, int64_t c, int64_t& a, int64_t& b) {
  a = origin + c * size / n;
  b = origin + (c + 1) * size / n;
  if (b <= a) b = a + 1;
}

// Visits every destination pixel of the clipped destination rectangle with its footprint,
// positions taken from the exact ratio of the two rectangles.
template <class F>
void ForEachFootprint(const SPixRect& src, const SPixRect& dst, F&& f) {
  const int64_t sw = int64_t(src.width) << 16, sh = int64_t(src.height) << 16;
  const int64_t ox = int64_t(src.x) << 16, oy = int64_t(src.y) << 16;
  for (int32_t r = 0; r < dst.height; ++r) {
    int64_t y0, y1;
    Span(oy, sh, dst.height, r, y0, y1);
    for (int32_t c = 0; c < dst.width; ++c) {
      int64_t x0, x1;
      Span(ox, sw, dst.width, c, x0, x1);
      f(dst.x + c, dst.y + r, x0, y0, x1, y1);
    }
  }
}

struct Acc4 {
  double c[4] = {0, 0, 0, 0};
};

}  // namespace

// --- CScaleImage ------------------------------------------------------------------------

bool CScaleImage::Scale(const SPixRect& sourceRect, const SPixRect& destinationRect) {
  if (!Ready()) return false;
  sourceRect_ = Intersect(sourceRect, {0, 0, sourceWidth_, sourceHeight_});
  destinationRect_ = Intersect(destinationRect, {0, 0, destinationWidth_, destinationHeight_});
  if (sourceRect_.IsEmpty() || destinationRect_.IsEmpty()) return false;
  // The walk takes its positions from the exact ratio; the steps are for callers, kept in range.
  auto step = [](int32_t src, int32_t dst) {
    return int32_t(std::clamp(std::nearbyint(double(src) / dst * 65536.0), 1.0, double(INT32_MAX)));
  };
  stepX_ = step(sourceRect_.width, destinationRect_.width);
  stepY_ = step(sourceRect_.height, destinationRect_.height);
  try {
    return FillDestination();
  } catch (const std::exception&) {
    return false;
  }
}

bool CScaleImage::SampleFootprint(int32_t dx, int32_t dy, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  if (!Ready() || dx < 0 || dy < 0 || dx >= destinationWidth_ || dy >= destinationHeight_) return false;
  if (!ClipFootprint(sourceWidth_, sourceHeight_, x0, y0, x1, y1)) return false;
  return AverageInto(dx, dy, x0, y0, x1, y1);
}

// --- colour buffers ---------------------------------------------------------------------

void CScaleImageTMTC::Accumulate(double* acc, uint32_t p) { AccumulateWeighted(acc, p, 1.0); }

void CScaleImageTMTC::AccumulateWeighted(double* acc, uint32_t p, double w) {
  acc[0] += ChR(p) * w;
  acc[1] += ChG(p) * w;
  acc[2] += ChB(p) * w;
  acc[3] += ChA(p) * w;
}

uint32_t CScaleImageTMTC::Store(const double* acc, double area) {
  auto ch = [area](double a) {
    const double v = std::nearbyint((a + 0.01) / area);
    return uint32_t(std::clamp(v, 0.0, 255.0));
  };
  return ch(acc[3]) << 24 | ch(acc[0]) << 16 | ch(acc[1]) << 8 | ch(acc[2]);
}

void CScaleImageTMTC::SetImages(const CDibCore* source, CDibCore* destination) {
  source_ = source;
  destination_ = destination;
  sourceWidth_ = source ? source->Width() : 0;
  sourceHeight_ = source ? source->Height() : 0;
  destinationWidth_ = destination ? destination->Width() : 0;
  destinationHeight_ = destination ? destination->Height() : 0;
}

bool CScaleImageTMTC::Ready() const {
  return source_ && destination_ && source_->IsValid() && destination_->IsValid() &&
         source_->BytesPerPixel() == 4 && destination_->BytesPerPixel() == 4;
}

namespace {
template <class Read>
uint32_t AverageColour(int64_t x0, int64_t y0, int64_t x1, int64_t y1, Read&& read) {
  Acc4 acc;
  const double area = AverageWalk(x0, y0, x1, y1, [&](int64_t x, int64_t y, double w) {
    CScaleImageTMTC::AccumulateWeighted(acc.c, read(int32_t(x), int32_t(y)), w);
  });
  return CScaleImageTMTC::Store(acc.c, area);
}

template <class Read>
double AverageByte(int64_t x0, int64_t y0, int64_t x1, int64_t y1, Read&& read, double& area) {
  double acc = 0;
  area = AverageWalk(x0, y0, x1, y1,
                     [&](int64_t x, int64_t y, double w) { acc += read(int32_t(x), int32_t(y)) * w; });
  return acc;
}
}  // namespace

bool CScaleImageTMTC::FillDestination() {
  const CDibCore& src = *source_;
  CDibCore& dst = *destination_;
  auto read = [&src](int32_t x, int32_t y) { return src.Row32(y)[x]; };
  ForEachFootprint(sourceRect_, destinationRect_,
                   [&](int32_t dx, int32_t dy, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
                     dst.Row32(dy)[dx] = AverageColour(x0, y0, x1, y1, read);
                   });
  return true;
}

bool CScaleImageTMTC::AverageInto(int32_t dx, int32_t dy, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  const CDibCore& src = *source_;
  destination_->Row32(dy)[dx] =
      AverageColour(x0, y0, x1, y1, [&src](int32_t x, int32_t y) { return src.Row32(y)[x]; });
  return true;
}

// --- 8-bit ----------------------------------------------------------------------------

uint8_t CScaleImage8::Store(double acc, double area) {
  return uint8_t(std::clamp(std::nearbyint(acc / area), 0.0, 255.0));
}

CScaleImageCH::CScaleImageCH(const CDibCore* source, CDibCore* destination)
    : source_(source), destination_(destination) {
  sourceWidth_ = source ? source->Width() : 0;
  sourceHeight_ = source ? source->Height() : 0;
  destinationWidth_ = destination ? destination->Width() : 0;
  destinationHeight_ = destination ? destination->Height() : 0;
}

bool CScaleImageCH::Ready() const {
  return source_ && destination_ && source_->IsValid() && destination_->IsValid() &&
         source_->BytesPerPixel() == 1 && destination_->BytesPerPixel() == 1;
}

bool CScaleImageCH::FillDestination() {
  const CDibCore& src = *source_;
  auto read = [&src](int32_t x, int32_t y) { return double(src.Row8(y)[x]); };
  ForEachFootprint(sourceRect_, destinationRect_,
                   [&](int32_t dx, int32_t dy, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
                     double area;
                     const double acc = AverageByte(x0, y0, x1, y1, read, area);
                     destination_->Row8(dy)[dx] = Store(acc, area);
                   });
  return true;
}

bool CScaleImageCH::AverageInto(int32_t dx, int32_t dy, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  const CDibCore& src = *source_;
  double area;
  const double acc = AverageByte(
      x0, y0, x1, y1, [&src](int32_t x, int32_t y) { return double(src.Row8(y)[x]); }, area);
  destination_->Row8(dy)[dx] = Store(acc, area);
  return true;
}

CScaleImageCH_fixp::CScaleImageCH_fixp(const CDibCore* source, uint32_t* values, int32_t width,
                                       int32_t height)
    : CScaleImageCH(source, nullptr), values_(values) {
  destinationWidth_ = values ? width : 0;
  destinationHeight_ = values ? height : 0;
}

uint32_t CScaleImageCH_fixp::StoreFixed(double acc, double area) {
  return uint32_t(std::clamp(std::nearbyint(acc / (area * 255.0) * 65536.0), 0.0, 65536.0));
}

bool CScaleImageCH_fixp::Ready() const {
  return source_ && values_ && source_->IsValid() && source_->BytesPerPixel() == 1 && destinationWidth_ > 0 &&
         destinationHeight_ > 0;
}

bool CScaleImageCH_fixp::FillDestination() {
  const CDibCore& src = *source_;
  auto read = [&src](int32_t x, int32_t y) { return double(src.Row8(y)[x]); };
  ForEachFootprint(sourceRect_, destinationRect_,
                   [&](int32_t dx, int32_t dy, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
                     double area;
                     const double acc = AverageByte(x0, y0, x1, y1, read, area);
                     values_[size_t(dy) * size_t(destinationWidth_) + size_t(dx)] = StoreFixed(acc, area);
                   });
  return true;
}

bool CScaleImageCH_fixp::AverageInto(int32_t dx, int32_t dy, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  const CDibCore& src = *source_;
  double area;
  const double acc = AverageByte(
      x0, y0, x1, y1, [&src](int32_t x, int32_t y) { return double(src.Row8(y)[x]); }, area);
  values_[size_t(dy) * size_t(destinationWidth_) + size_t(dx)] = StoreFixed(acc, area);
  return true;
}

// --- block images -----------------------------------------------------------------------

CScaleLayerImage::CScaleLayerImage(const CBlockVMTC* source, CBlockVMTC* destination)
    : source_(source), destination_(destination) {
  sourceWidth_ = source ? source->Width() : 0;
  sourceHeight_ = source ? source->Height() : 0;
  destinationWidth_ = destination ? destination->Width() : 0;
  destinationHeight_ = destination ? destination->Height() : 0;
}

bool CScaleLayerImage::Ready() const {
  return source_ && destination_ && source_->IsValid() && destination_->IsValid();
}

bool CScaleLayerImage::FillDestination() {
  const CBlockVMTC& src = *source_;
  auto read = [&src](int32_t x, int32_t y) { return src.GetPixel(x, y); };
  const SPixRect s = sourceRect_, d = destinationRect_;
  const int64_t sw = int64_t(s.width) << 16, sh = int64_t(s.height) << 16;
  const int64_t ox = int64_t(s.x) << 16, oy = int64_t(s.y) << 16;
  // Row by row through the destination's tiles, so that writes use row pointers.
  return destination_->ModifyRows(d, [&](uint32_t* row, int32_t n, int32_t x, int32_t y) {
    int64_t y0, y1, x0, x1;
    Span(oy, sh, d.height, y - d.y, y0, y1);
    for (int32_t k = 0; k < n; ++k) {
      Span(ox, sw, d.width, x + k - d.x, x0, x1);
      row[k] = AverageColour(x0, y0, x1, y1, read);
    }
  });
}

bool CScaleLayerImage::AverageInto(int32_t dx, int32_t dy, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  const CBlockVMTC& src = *source_;
  return destination_->SetPixel(
      dx, dy, AverageColour(x0, y0, x1, y1, [&src](int32_t x, int32_t y) { return src.GetPixel(x, y); }));
}

CScaleMaskImage::CScaleMaskImage(const CBlockVCH* source, CBlockVCH* destination)
    : source_(source), destination_(destination) {
  sourceWidth_ = source ? source->Width() : 0;
  sourceHeight_ = source ? source->Height() : 0;
  destinationWidth_ = destination ? destination->Width() : 0;
  destinationHeight_ = destination ? destination->Height() : 0;
}

bool CScaleMaskImage::Ready() const {
  return source_ && destination_ && source_->IsValid() && destination_->IsValid();
}

bool CScaleMaskImage::FillDestination() {
  const CBlockVCH& src = *source_;
  auto read = [&src](int32_t x, int32_t y) { return double(src.GetPixel(x, y)); };
  const SPixRect s = sourceRect_, d = destinationRect_;
  const int64_t sw = int64_t(s.width) << 16, sh = int64_t(s.height) << 16;
  const int64_t ox = int64_t(s.x) << 16, oy = int64_t(s.y) << 16;
  return destination_->ModifyRows(d, [&](uint8_t* row, int32_t n, int32_t x, int32_t y) {
    int64_t y0, y1, x0, x1;
    Span(oy, sh, d.height, y - d.y, y0, y1);
    for (int32_t k = 0; k < n; ++k) {
      Span(ox, sw, d.width, x + k - d.x, x0, x1);
      double area;
      const double acc = AverageByte(x0, y0, x1, y1, read, area);
      row[k] = Store(acc, area);
    }
  });
}

bool CScaleMaskImage::AverageInto(int32_t dx, int32_t dy, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  const CBlockVCH& src = *source_;
  double area;
  const double acc = AverageByte(
      x0, y0, x1, y1, [&src](int32_t x, int32_t y) { return double(src.GetPixel(x, y)); }, area);
  return destination_->SetPixel(dx, dy, Store(acc, area));
}

}  // namespace tintara
