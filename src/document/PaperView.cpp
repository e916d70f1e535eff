// The paper's view: zoom steps, rotation and shift, and the window-sized display buffers
// filled from the composite.
#include <cmath>
#include <vector>

#include "document/Paper.h"
#include "pixel/ColorOps.h"

namespace tintara {
namespace {

constexpr double kZoomSteps[18] = {0.06001, 0.1, 0.15, 0.25, 0.333, 0.5, 0.666, 0.75, 1.0,
                                   1.25,    1.5, 1.75, 2.0,  2.5,   3.0, 4.0,   6.0,  8.0};
constexpr double kPi = 3.14159265358979323846;

// The display's checker: 8 x 8 cells, odd cells light.
void CheckerStep(CDibCore& buf, const SPixRect& rect, int32_t originX, int32_t originY, bool checker) {
  if (checker)
    UnderChecker(buf, rect, originX, originY, 8, 8, 0x00E0E0E0, 0x00C8C8C8);
  else
    UnderColour(buf, rect, 0x00FFFFFF);
}

}  // namespace

double ZoomFactorOf(int32_t index) {
  if (index < -8 || index > 9) return 1.0;
  return kZoomSteps[index + 8];
}

bool IsWholeZoom(int32_t index) {
  return index == 0 || index == 4 || index == 6 || index == 7 || index == 8 || index == 9;
}

bool TPaper::ZoomIn() {
  if (!CanZoomIn()) return false;
  ++zoomIndex;
  return true;
}

bool TPaper::ZoomOut() {
  if (!CanZoomOut()) return false;
  --zoomIndex;
  return true;
}

void TPaper::SetZoomIndex(int32_t k) { zoomIndex = std::clamp(k, -8, 9); }

bool TPaper::SetViewAngle(double degrees) {
  if (!std::isfinite(degrees)) return false;
  // Fold into (-360, 0].
  double folded = std::fmod(degrees, 360.0);
  if (folded > 0) folded -= 360.0;
  // A tiny positive angle would round to -360 itself (in double or in the stored float).
  if (folded <= -360.0 || float(folded) <= -360.0f) folded = 0;
  if (folded == 0) folded = 0;  // no negative zero
  normalisedAngle = float(folded);
  viewAngle = float(folded * kPi / 180.0);
  if (folded == 0) {
    sine = 0, cosine = 1;
  } else if (folded == -90) {
    sine = -1, cosine = 0;
  } else if (folded == -180) {
    sine = 0, cosine = -1;
  } else if (folded == -270) {
    sine = 1, cosine = 0;
  } else {
    sine = float(std::sin(folded * kPi / 180.0));
    cosine = float(std::cos(folded * kPi / 180.0));
  }
  return true;
}

bool TPaper::SetViewAngleRadians(double radians) {
  if (!std::isfinite(radians)) return false;
  return SetViewAngle(radians * 180.0 / kPi);
}

void TPaper::ShiftView(double dx, double dy) {
  viewShiftX += float(dx * cosine - dy * sine);
  viewShiftY += float(dx * sine + dy * cosine);
}

TPoint TPaper::ViewCenter(int32_t clientWidth, int32_t clientHeight) const {
  if (IsRotated()) return {int32_t(std::nearbyint(viewShiftX)), int32_t(std::nearbyint(viewShiftY))};
  const double z = ZoomFactor();
  return {int32_t((clientWidth / 2.0 - viewOriginX) / z) + viewAnchorX,
          int32_t((clientHeight / 2.0 - viewOriginY) / z) + viewAnchorY};
}

bool TPaper::FastPathAllowed() const {
  return zoomIndex >= 0 && (!settings.antialiasedDisplay || IsWholeZoom(zoomIndex));
}

void TPaper::RefreshView(int32_t clientWidth, int32_t clientHeight) {
  if (FastPathAllowed() && !IsRotated()) return;
  if (!viewBuffer.Resize(clientWidth, clientHeight) || !composite.IsValid()) return;
  // Outside the paper the window's own background shows (opaque, so the checker leaves it).
  const uint32_t background = host_->WindowBackground() | 0xFF000000u;
  const double z = ZoomFactor();
  const TPoint centre = ViewCenter(clientWidth, clientHeight);
  const double c = cosine, s = sine;
  if (!settings.antialiasedDisplay) {
    RotatedCopy(viewBuffer, viewBuffer.Bounds(), composite, centre.x, centre.y, 1.0 / z, c, s, background);
  } else {
    // Each buffer pixel averages its footprint of 1/zoom by 1/zoom, rotated about the centre.
    const int64_t g = int64_t(std::nearbyint(65536.0 / z));
    const int64_t cs = int64_t(std::nearbyint(c * 65536.0)), sn = int64_t(std::nearbyint(s * 65536.0));
    const int64_t w = viewBuffer.Width(), h = viewBuffer.Height();
    const int64_t cx = int64_t(centre.x) << 16, cy = int64_t(centre.y) << 16;
    viewScaler->SetImages(&composite, &viewBuffer);
    for (int64_t y = 0; y < h; ++y) {
      uint32_t* out = viewBuffer.Row32(int32_t(y));
      const int64_t dy = ((y * 65536 + 32768 - h * 32768) * g) >> 16;
      for (int64_t x = 0; x < w; ++x) {
        const int64_t dx = ((x * 65536 + 32768 - w * 32768) * g) >> 16;
        const int64_t u = ((dx * cs - dy * sn) >> 16) + cx - g / 2;
        const int64_t v = ((dx * sn + dy * cs) >> 16) + cy - g / 2;
        if (!viewScaler->SampleFootprint(int32_t(x), int32_t(y), u, v, u + g, v + g)) out[x] = background;
      }
    }
  }
  if (!paperColorOn) CheckerStep(viewBuffer, viewBuffer.Bounds(), 0, 0, showChecker != 0);
}

PaintSource TPaper::PaintRect(const TRect& windowRect, int32_t clientWidth, int32_t clientHeight) {
  PaintSource src;
  const double z = ZoomFactor();
  // Where the paper lies in the window when unrotated.
  const double ox = viewOriginX - z * viewAnchorX, oy = viewOriginY - z * viewAnchorY;
  src.factor = z;
  src.originX = ox;
  src.originY = oy;
  if (!FastPathAllowed() || IsRotated()) {
    src.kind = PaintSource::kViewBuffer;
    src.windowRect = windowRect;
    return src;
  }
  const SPixRect paperInWindow{int32_t(std::floor(ox)), int32_t(std::floor(oy)),
                               int32_t(std::ceil(width * z)), int32_t(std::ceil(height * z))};
  const SPixRect r = Intersect(ToPixRect(windowRect), paperInWindow);
  if (r.IsEmpty()) return src;
  src.windowRect = ToTRect(r);
  if (paperColorOn) {
    src.kind = PaintSource::kCompositeStretched;
    return src;
  }
  if ((plainBuffer.Width() != clientWidth || plainBuffer.Height() != clientHeight) &&
      !plainBuffer.Resize(clientWidth, clientHeight))
    return src;
  // Nearest pixel at the exact zoom factor, sampled at pixel centres, as the stretched path
  // places it.
  std::vector<int32_t> column(size_t(r.width));
  for (int32_t x = r.x; x < r.Right(); ++x)
    column[size_t(x - r.x)] = std::clamp(int32_t(std::floor((x + 0.5 - ox) / z)), 0, width - 1);
  for (int32_t y = r.y; y < r.Bottom(); ++y) {
    const uint32_t* from =
        composite.Row32(std::clamp(int32_t(std::floor((y + 0.5 - oy) / z)), 0, height - 1));
    uint32_t* to = plainBuffer.Row32(y) + r.x;
    for (int32_t k = 0; k < r.width; ++k) to[k] = from[column[size_t(k)]];
  }
  CheckerStep(plainBuffer, r, paperInWindow.x, paperInWindow.y, showChecker != 0);
  src.kind = PaintSource::kPlainBuffer;
  return src;
}

}  // namespace tintara
