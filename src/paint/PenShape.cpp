#include "paint/PenShape.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>

#include "pixel/PixelTypes.h"
#include "pixel/ScaleImage.h"

namespace tintara {
namespace {

constexpr int64_t kOne = 65536;
constexpr double kDegree = std::numbers::pi / 180.0;

int64_t FloorDiv64(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t CeilDiv64(int64_t a, int64_t b) { return -FloorDiv64(-a, b); }

uint32_t ToFixed(double v) { return uint32_t(std::clamp(v * 65536.0, 0.0, 4.0e9)); }
uint32_t CoverageToFixed(double share) {
  return uint32_t(std::nearbyint(std::clamp(share, 0.0, 1.0) * 65536.0));
}

double Cross(const double* a, const double* b) { return a[0] * b[1] - a[1] * b[0]; }

// Signed area of the triangle (origin, a, b) inside the disc of radius r.
double TriangleDiscArea(const double* a, const double* b, double r) {
  const double r2 = r * r;
  const double aa = a[0] * a[0] + a[1] * a[1], bb = b[0] * b[0] + b[1] * b[1];
  auto sector = [r2](const double* u, const double* v) {
    return 0.5 * r2 * std::atan2(Cross(u, v), u[0] * v[0] + u[1] * v[1]);
  };
  if (aa <= r2 && bb <= r2) return 0.5 * Cross(a, b);
  const double d[2] = {b[0] - a[0], b[1] - a[1]};
  const double A = d[0] * d[0] + d[1] * d[1];
  if (A <= 0) return 0;
  const double B = a[0] * d[0] + a[1] * d[1], C = aa - r2;
  const double disc = B * B - A * C;
  if (disc <= 0) return sector(a, b);
  const double s = std::sqrt(disc);
  const double t1 = (-B - s) / A, t2 = (-B + s) / A;
  if (t2 <= 0 || t1 >= 1) return sector(a, b);
  const double u = std::max(t1, 0.0), w = std::min(t2, 1.0);
  const double p1[2] = {a[0] + u * d[0], a[1] + u * d[1]};
  const double p2[2] = {a[0] + w * d[0], a[1] + w * d[1]};
  return sector(a, p1) + 0.5 * Cross(p1, p2) + sector(p2, b);
}

// Length of [a0, a1] inside [b0, b1].
double Overlap(double a0, double a1, double b0, double b1) {
  return std::max(0.0, std::min(a1, b1) - std::max(a0, b0));
}

}  // namespace

double PolygonDiscArea(const double (*pts)[2], int n, double r) {
  double sum = 0;
  for (int i = 0; i < n; ++i) sum += TriangleDiscArea(pts[i], pts[(i + 1) % n], r);
  return std::abs(sum);
}

void CPenShape::SetSwitches(bool rim, bool density, bool table) {
  const bool gridChanged = rim != rimOn_;
  const bool maskChanged = density != densityOn_ || table != tableOn_;
  rimOn_ = rim;
  densityOn_ = density;
  tableOn_ = table;
  // The coverage grid depends on the rim switch; the rest only on the mask values.
  if (gridChanged)
    key_.valid = false;
  else if (maskChanged && key_.valid)
    RebuildMask();
}

int64_t CPenShape::QuantiseRadius(int64_t r) {
  if (r > 10 * kOne) return r & ~int64_t(kOne / 2 - 1);
  if (r < 3 * kOne) return std::max(r & ~int64_t(kOne / 8 - 1), kOne / 16);
  return r & ~int64_t(kOne / 4 - 1);
}

int32_t CPenShape::FactorFor(int32_t a) {
  if (a <= 3) return std::max(a, 2);
  if (a <= 7) return std::min(30 / a, 5);
  if (a <= 49) return std::min(50 / a, 2);
  return 1;
}

void CPenShape::Fail() {
  key_.valid = false;
  gridW_ = gridH_ = 0;
}

bool CPenShape::Allocate() {
  const size_t n = size_t(gridW_) * size_t(gridH_);
  try {
    distance_.assign(n, 0);
    rim_.assign(n, 0);
    mask_.assign(n, 0);
  } catch (const std::bad_alloc&) {
    // No grid is left behind that Sample could read past.
    distance_ = Grid();
    rim_ = Grid();
    mask_ = Grid();
    Fail();
    return false;
  }
  return true;
}

bool CPenShape::SetupGrid(int64_t hw16, int64_t hh16) {
  hw16_ = hw16;
  hh16_ = hh16;
  const int64_t left = kOne / 2 - hw16, right = kOne / 2 + hw16;
  const int64_t top = kOne / 2 - hh16, bottom = kOne / 2 + hh16;
  const int64_t fl = FloorDiv64(left, kOne), ft = FloorDiv64(top, kOne);
  pixW_ = int32_t(CeilDiv64(right, kOne) - fl);
  pixH_ = int32_t(CeilDiv64(bottom, kOne) - ft);
  // A rectangle that starts left of or above 0 moves by whole pixels so that it starts at 0.
  cx16_ = kOne / 2 - fl * kOne;
  cy16_ = kOne / 2 - ft * kOne;
  factor_ = FactorFor(std::max(pixW_, pixH_));
  gridW_ = pixW_ * factor_;
  gridH_ = pixH_ * factor_;
  return Allocate();
}

void CPenShape::FillConic(double r, double aspect, double angleDeg) {
  const bool round = aspect >= 100.0;
  const double k = round ? 1.0 : 100.0 / aspect;
  const double c = round ? 1.0 : std::cos(angleDeg * kDegree), s = round ? 0.0 : std::sin(angleDeg * kDegree);
  // Corner offsets of the pixel square in the outline's own frame, where it is a circle.
  double corner[4][2];
  const double offs[4][2] = {{-0.5, -0.5}, {0.5, -0.5}, {0.5, 0.5}, {-0.5, 0.5}};
  double reach = 0;
  for (int i = 0; i < 4; ++i) {
    corner[i][0] = offs[i][0] * c - offs[i][1] * s;
    corner[i][1] = (offs[i][0] * s + offs[i][1] * c) * k;
    reach = std::max(reach, std::hypot(corner[i][0], corner[i][1]));
  }
  const double areaScale = 1.0 / k;  // frame area -> pixel area
  const double cx = double(cx16_) / kOne, cy = double(cy16_) / kOne, f = factor_;
  for (int32_t gy = 0; gy < gridH_; ++gy) {
    const double dy = (gy + 0.5) / f - cy;
    for (int32_t gx = 0; gx < gridW_; ++gx) {
      const double dx = (gx + 0.5) / f - cx;
      const double ex = round ? dx : dx * c - dy * s;
      const double ey = round ? dy : (dx * s + dy * c) * k;
      const double centre = std::hypot(ex, ey);
      const size_t i = size_t(gy) * size_t(gridW_) + size_t(gx);
      distance_[i] = ToFixed(centre / r);
      double share;
      if (!rimOn_) {
        share = centre <= r ? 1.0 : 0.0;
      } else if (centre - reach >= r) {
        share = 0.0;
      } else {
        double pts[4][2];
        bool inside = true;
        for (int j = 0; j < 4; ++j) {
          pts[j][0] = ex + corner[j][0];
          pts[j][1] = ey + corner[j][1];
          inside = inside && pts[j][0] * pts[j][0] + pts[j][1] * pts[j][1] <= r * r;
        }
        share = inside ? 1.0 : PolygonDiscArea(pts, 4, r) * areaScale;
      }
      rim_[i] = CoverageToFixed(share);
    }
  }
}

void CPenShape::RebuildMask() {
  if (mask_.size() != rim_.size()) return;
  const bool useDensity = densityOn_ && density_ && density_->IsValid();
  const int64_t last = useDensity ? density_->Last() : 0;
  const uint32_t* table = useDensity ? (tableOn_ ? density_->Table() : density_->SqrtTable()) : nullptr;
  for (size_t i = 0; i < mask_.size(); ++i) {
    int64_t dens = 255 * kOne;
    if (table) {
      int64_t d = std::min<int64_t>(distance_[i], kOne);
      if (!tableOn_) d = (d * d) >> 16;
      dens = table[size_t((d * last) >> 16)];
    }
    mask_[i] = rimOn_ ? uint32_t((dens * int64_t(rim_[i])) >> 16) : uint32_t(int64_t(rim_[i]) * 255);
  }
}

bool CPenShape::BuildRound(int64_t radius16) {
  const int64_t r16 = QuantiseRadius(radius16);
  if (r16 > int64_t(kMaxRadius) * kOne) {
    Fail();
    return false;
  }
  Key key;
  key.valid = true;
  key.kind = Kind::kRound;
  key.radius16 = r16;
  if (key_ == key) return true;
  key_.valid = false;
  if (!SetupGrid(r16, r16)) return false;
  FillConic(double(r16) / kOne, 100.0, 0.0);
  RebuildMask();
  ++builds_;
  key_ = key;
  return true;
}

bool CPenShape::BuildEllipse(int64_t radius16, double aspect, double angleDeg) {
  if (!(aspect < 100.0)) return BuildRound(radius16);
  aspect = std::max(aspect, 1.0);
  const int64_t r16 = std::max<int64_t>(radius16, kOne / 16);
  if (r16 > int64_t(kMaxRadius) * kOne) {
    Fail();
    return false;
  }
  Key key;
  key.valid = true;
  key.kind = Kind::kEllipse;
  key.radius16 = r16;
  key.aspect = aspect;
  key.angle = angleDeg;
  if (key_ == key) return true;
  key_.valid = false;
  const double r = double(r16) / kOne, a = r, b = r * aspect / 100.0;
  const double c = std::cos(angleDeg * kDegree), s = std::sin(angleDeg * kDegree);
  const double hw = std::sqrt(a * a * c * c + b * b * s * s) + 2.0;
  const double hh = std::sqrt(a * a * s * s + b * b * c * c) + 2.0;
  if (!SetupGrid(int64_t(hw * kOne), int64_t(hh * kOne))) return false;
  FillConic(r, aspect, angleDeg);
  RebuildMask();
  ++builds_;
  key_ = key;
  return true;
}

bool CPenShape::BuildBitmap(const CPenShapeObj& tip) {
  if (!tip.HasBitmap()) {
    Fail();
    return false;
  }
  const double aspect = std::clamp(tip.params.AspectPercent(), 1.0, 100.0);
  const double angleDeg = tip.params.AngleDegrees();
  Key key;
  key.valid = true;
  key.kind = Kind::kBitmap;
  key.serial = tip.Serial();
  key.size = tip.SizePercent();
  key.aspect = aspect;
  key.angle = angleDeg;
  if (key_ == key) return true;
  key_.valid = false;
  const double sc = tip.SizePercent() / 100.0;
  const double hx = tip.bitmap.Width() * sc / 2.0, hy = tip.bitmap.Height() * sc / 2.0 * aspect / 100.0;
  const double c = std::cos(angleDeg * kDegree), s = std::sin(angleDeg * kDegree);
  const double hw = std::abs(hx * c) + std::abs(hy * s), hh = std::abs(hx * s) + std::abs(hy * c);
  if (hw > kMaxRadius || hh > kMaxRadius) {
    Fail();
    return false;
  }
  if (!SetupGrid(int64_t(hw * kOne), int64_t(hh * kOne))) return false;
  FillBitmap(tip);
  RebuildMask();
  ++builds_;
  key_ = key;
  return true;
}

void CPenShape::FillBitmap(const CPenShapeObj& tip) {
  const TChannel& bmp = tip.bitmap;
  const double W = bmp.Width(), H = bmp.Height();
  const double sc = tip.SizePercent() / 100.0;
  const double k = 100.0 / std::clamp(tip.params.AspectPercent(), 1.0, 100.0);
  const double ang = tip.params.AngleDegrees() * kDegree;
  const double c = std::cos(ang), s = std::sin(ang);
  const double halfDiag = std::hypot(sc * W / 2.0, sc * H / 2.0);
  // One dab pixel seen in the bitmap: 1 / scale wide, stretched like the minor axis.
  const double fx = 0.5 / sc, fy = 0.5 / sc * k;
  const double fullArea = (2 * fx) * (2 * fy);
  std::vector<uint32_t> one(1, 0);
  CScaleImageCH_fixp view(&bmp, one.data(), 1, 1);
  const double cx = double(cx16_) / kOne, cy = double(cy16_) / kOne, f = factor_;
  for (int32_t gy = 0; gy < gridH_; ++gy) {
    const double dy = (gy + 0.5) / f - cy;
    for (int32_t gx = 0; gx < gridW_; ++gx) {
      const double dx = (gx + 0.5) / f - cx;
      const double ex = dx * c - dy * s, ey = (dx * s + dy * c) * k;
      const size_t i = size_t(gy) * size_t(gridW_) + size_t(gx);
      distance_[i] = ToFixed(halfDiag > 0 ? std::hypot(ex, ey) / halfDiag : 0.0);
      const double bx = ex / sc + W / 2.0, by = ey / sc + H / 2.0;
      const double x0 = bx - fx, x1 = bx + fx, y0 = by - fy, y1 = by + fy;
      // Outside the bitmap counts as no ink, so a footprint half off the edge gets half.
      const double inside = Overlap(x0, x1, 0, W) * Overlap(y0, y1, 0, H) / fullArea;
      double share = 0;
      if (inside > 0) {
        one[0] = kOne;
        if (view.SampleFootprint(0, 0, int64_t(x0 * kOne), int64_t(y0 * kOne), int64_t(x1 * kOne),
                                 int64_t(y1 * kOne)))
          share = (1.0 - double(one[0]) / kOne) * inside;
      }
      if (!rimOn_) share = share >= 0.5 ? 1.0 : 0.0;
      rim_[i] = CoverageToFixed(share);
    }
  }
}

bool CPenShape::BuildAligned(int64_t x16, int64_t y16, bool minorAxis, int64_t radius16, double aspect,
                             double angleDeg) {
  aspect = std::clamp(aspect, 1.0, 100.0);
  const int64_t r16 = std::max<int64_t>(radius16, 1);
  if (r16 > int64_t(kMaxRadius) * kOne) {
    Fail();
    return false;
  }
  Key key;
  key.valid = true;
  key.kind = Kind::kAligned;
  key.radius16 = r16;
  key.aspect = aspect;
  key.angle = aspect < 100.0 ? angleDeg : 0.0;
  key.x16 = x16;
  key.y16 = y16;
  key.minorAxis = minorAxis;
  if (key_ == key) return true;
  key_.valid = false;
  const double r = double(r16) / kOne, a = r, b = r * aspect / 100.0;
  const double c = std::cos(key.angle * kDegree), s = std::sin(key.angle * kDegree);
  double hw = std::sqrt(a * a * c * c + b * b * s * s), hh = std::sqrt(a * a * s * s + b * b * c * c);
  if (r < 0.5) hw = hh = std::max(r, 0.5);  // the single span still needs its pixel row
  const double x = double(x16) / kOne, y = double(y16) / kOne;
  // The grid sits on the image's own pixels: cell (0, 0) is pixel (x0, y0).
  const int64_t x0 = int64_t(std::floor(x - hw)), y0 = int64_t(std::floor(y - hh));
  const int64_t x1 = int64_t(std::ceil(x + hw)), y1 = int64_t(std::ceil(y + hh));
  hw16_ = int64_t(hw * kOne);
  hh16_ = int64_t(hh * kOne);
  pixW_ = int32_t(std::max<int64_t>(x1 - x0, 1));
  pixH_ = int32_t(std::max<int64_t>(y1 - y0, 1));
  cx16_ = x16 - x0 * kOne;
  cy16_ = y16 - y0 * kOne;
  factor_ = 1;
  gridW_ = pixW_;
  gridH_ = pixH_;
  if (!Allocate()) return false;
  FillAligned(x - double(x0), y - double(y0), minorAxis, r, key.aspect, key.angle);
  RebuildMask();
  ++builds_;
  key_ = key;
  return true;
}

void CPenShape::FillAligned(double x, double y, bool minorAxis, double r, double aspect, double angleDeg) {
  const double k = 100.0 / aspect;
  const double c = std::cos(angleDeg * kDegree), s = std::sin(angleDeg * kDegree);
  for (int32_t gy = 0; gy < gridH_; ++gy) {
    const double dy = gy + 0.5 - y;
    for (int32_t gx = 0; gx < gridW_; ++gx) {
      const double dx = gx + 0.5 - x;
      const double ex = dx * c - dy * s, ey = (dx * s + dy * c) * k;
      const double d = std::hypot(ex, ey) / r;
      const size_t i = size_t(gy) * size_t(gridW_) + size_t(gx);
      distance_[i] = ToFixed(d);
      // Without the rim the pixel is in or out by its centre; no spans are needed.
      if (!rimOn_) rim_[i] = d <= 1.0 ? uint32_t(kOne) : 0u;
    }
  }
  if (!rimOn_) return;
  auto put = [&](int32_t gx, int32_t gy, double share) {
    if (gx < 0 || gy < 0 || gx >= gridW_ || gy >= gridH_) return;
    uint32_t& cell = rim_[size_t(gy) * size_t(gridW_) + size_t(gx)];
    cell = std::max(cell, CoverageToFixed(share));
  };
  // One span [from, to] along the major coordinate in line `line` of the minor one.
  auto span = [&](int32_t line, double from, double to, double weight) {
    for (int32_t p = int32_t(std::floor(from)); p < int32_t(std::ceil(to)); ++p) {
      const double share = Overlap(p, p + 1.0, from, to) * weight;
      if (minorAxis)
        put(line, p, share);
      else
        put(p, line, share);
    }
  };
  const double along = minorAxis ? y : x, across = minorAxis ? x : y;
  if (r < 0.5) {
    span(int32_t(std::floor(across)), along - r, along + r, 0.5);
    return;
  }
  // The outline as a quadratic along the span direction at an offset t across it:
  // A q^2 + 2 B t q + C t^2 <= r^2 (q the offset along the span).
  const double A = minorAxis ? s * s + k * k * c * c : c * c + k * k * s * s;
  const double B = s * c * (k * k - 1.0);
  const double C = minorAxis ? c * c + k * k * s * s : s * s + k * k * c * c;
  // Half extent across the spans: the largest |t| for which the chord exists.
  const double reach = r * std::sqrt(A / (A * C - B * B));
  const int32_t lines = minorAxis ? gridW_ : gridH_;
  for (int32_t line = 0; line < lines; ++line) {
    const double lo = std::max(double(line), across - reach), hi = std::min(line + 1.0, across + reach);
    if (hi <= lo) continue;
    const double weight = hi - lo;
    // The chord at the line's centre; where that centre lies on or beyond the outline's extent
    // (an end line) there is no chord there, so the middle of the line's part inside is used.
    const double centre = line + 0.5 - across;
    const double t = std::abs(centre) < reach ? centre : (lo + hi) / 2.0 - across;
    const double disc = B * B * t * t - A * (C * t * t - r * r);
    if (disc <= 0) continue;
    const double root = std::sqrt(disc);
    const double q0 = (-B * t - root) / A, q1 = (-B * t + root) / A;
    span(line, along + q0, along + q1, weight);
  }
}

}  // namespace tintara
