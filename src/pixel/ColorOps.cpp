#include "pixel/ColorOps.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace tintara {
namespace {

// Visits the rows of a clipped rectangle: f(row pointer at x, count, y).
template <class F>
void ForEachRow(CDibCore& buf, const SPixRect& rect, F&& f) {
  const SPixRect r = buf.Clip(rect);
  if (r.IsEmpty()) return;
  for (int32_t y = r.y; y < r.Bottom(); ++y) f(buf.Row32(y) + r.x, r.width, y);
}

inline void Plot(CDibCore& buf, int32_t x, int32_t y, PixelProc proc, uint32_t colour, uint8_t t) {
  if (x < 0 || y < 0 || x >= buf.Width() || y >= buf.Height()) return;
  proc(buf.Row32(y) + x, colour, t);
}

inline void FillWords(uint32_t* p, int32_t n, uint32_t v) {
  for (int32_t i = 0; i < n; ++i) p[i] = v;
}

}  // namespace

// --- fills --------------------------------------------------------------------------

void FillAll(CDibCore& buf, uint32_t value) { FillRect(buf, buf.Bounds(), value); }

void FillRect(CDibCore& buf, const SPixRect& rect, uint32_t value) {
  ForEachRow(buf, rect, [value](uint32_t* p, int32_t n, int32_t) { FillWords(p, n, value); });
}

void FillColorRef(CDibCore& buf, uint32_t colorRef) { FillAll(buf, ColorRefToPixel(colorRef)); }

void MaskedWrite(CDibCore& buf, const SPixRect& rect, uint32_t value, uint32_t mask) {
  const uint32_t set = value & mask, keep = ~mask;
  ForEachRow(buf, rect, [set, keep](uint32_t* p, int32_t n, int32_t) {
    for (int32_t i = 0; i < n; ++i) p[i] = set | (p[i] & keep);
  });
}

void SetAlphaRect(CDibCore& buf, const SPixRect& rect, uint8_t alpha) {
  MaskedWrite(buf, rect, uint32_t(alpha) << 24, 0xFF000000u);
}

void SetAlphaAll(CDibCore& buf, uint8_t alpha) { SetAlphaRect(buf, buf.Bounds(), alpha); }

void XorRect(CDibCore& buf, const SPixRect& rect, uint32_t value) {
  ForEachRow(buf, rect, [value](uint32_t* p, int32_t n, int32_t) {
    for (int32_t i = 0; i < n; ++i) p[i] ^= value;
  });
}

void XorAll(CDibCore& buf, uint32_t value) { XorRect(buf, buf.Bounds(), value); }

namespace {
template <auto Proc>
void ApplyProcT(CDibCore& buf, const SPixRect& rect, uint32_t colour, uint8_t t) {
  ForEachRow(buf, rect, [=](uint32_t* p, int32_t n, int32_t) {
    for (int32_t i = 0; i < n; ++i) Proc(p + i, colour, t);
  });
}
}  // namespace

void ApplyProc(CDibCore& buf, const SPixRect& rect, PixelProc proc, uint32_t colour, uint8_t t) {
  // The common primitives get loops the compiler can inline and vectorise.
  if (proc == BlendNormal) {
    ForEachRow(buf, rect, [=](uint32_t* p, int32_t n, int32_t) { BlendNormalRowConst(p, n, colour, t); });
    return;
  }
  if (proc == BlendMultiply) return ApplyProcT<BlendMultiply>(buf, rect, colour, t);
  if (proc == BlendAdd) return ApplyProcT<BlendAdd>(buf, rect, colour, t);
  if (proc == BlendSubtract) return ApplyProcT<BlendSubtract>(buf, rect, colour, t);
  ForEachRow(buf, rect, [=](uint32_t* p, int32_t n, int32_t) {
    for (int32_t i = 0; i < n; ++i) proc(p + i, colour, t);
  });
}

// --- lines --------------------------------------------------------------------------

void DrawLine(CDibCore& buf, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour, uint8_t t0,
              uint8_t t1, PixelProc proc) {
  if (!buf.IsValid()) return;
  const int64_t dx = int64_t(x1) - x0, dy = int64_t(y1) - y0;
  const int64_t n = std::max(std::llabs(dx), std::llabs(dy));
  if (n == 0) {
    Plot(buf, x0, y0, proc, colour, t0);
    return;
  }
  const int64_t dt = int64_t(t1) - t0;
  for (int64_t i = 0; i <= n; ++i) {
    const int64_t x = x0 + dx * i / n, y = y0 + dy * i / n;
    if (x < 0 || y < 0 || x >= buf.Width() || y >= buf.Height()) continue;
    proc(buf.Row32(int32_t(y)) + x, colour, uint8_t(t0 + dt * i / n));
  }
}

void DrawRectFrame(CDibCore& buf, const SPixRect& rect, uint32_t colour, uint8_t t, PixelProc proc) {
  if (rect.IsEmpty()) return;
  const int32_t l = rect.x, tp = rect.y, r = rect.Right() - 1, b = rect.Bottom() - 1;
  DrawLine(buf, l, tp, r, tp, colour, t, t, proc);
  DrawLine(buf, l, b, r, b, colour, t, t, proc);
  DrawLine(buf, l, tp, l, b, colour, t, t, proc);
  DrawLine(buf, r, tp, r, b, colour, t, t, proc);
}

void FrameRectColorRef(CDibCore& buf, const SPixRect& rect, uint32_t colorRef) {
  if (rect.IsEmpty()) return;
  const uint32_t v = ColorRefToPixel(colorRef);
  FillRect(buf, {rect.x, rect.y, rect.width, 1}, v);
  FillRect(buf, {rect.x, rect.Bottom() - 1, rect.width, 1}, v);
  FillRect(buf, {rect.x, rect.y, 1, rect.height}, v);
  FillRect(buf, {rect.Right() - 1, rect.y, 1, rect.height}, v);
}

namespace {

void LineFixedImpl(CDibCore& buf, int32_t fx0, int32_t fy0, int32_t fx1, int32_t fy1, uint32_t colour,
                   uint8_t t0, uint8_t t1, bool antialias, PixelProc proc) {
  if (!buf.IsValid()) return;
  const int64_t dx = int64_t(fx1) - fx0, dy = int64_t(fy1) - fy0;
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const int64_t major0 = xMajor ? fx0 : fy0, major1 = xMajor ? fx1 : fy1;
  const int64_t minor0 = xMajor ? fy0 : fx0;
  const int64_t dMajor = xMajor ? dx : dy, dMinor = xMajor ? dy : dx;
  // The major coordinate runs over whole pixels; the minor one follows the slope.
  const int64_t m0 = major0 >> 16, m1 = major1 >> 16;
  const int64_t n = std::llabs(m1 - m0);
  const int64_t dir = m1 >= m0 ? 1 : -1;
  const int64_t dt = int64_t(t1) - t0;
  for (int64_t i = 0; i <= n; ++i) {
    const int64_t major = m0 + dir * i;
    // One pixel along the major axis moves the minor coordinate by the slope.
    const int64_t minor = dMajor ? minor0 + i * 65536 * dMinor / std::llabs(dMajor) : minor0;
    const uint8_t t = uint8_t(n ? t0 + dt * i / n : t0);
    auto put = [&](int64_t a, int64_t b, uint8_t w) {
      const int64_t x = xMajor ? a : b, y = xMajor ? b : a;
      if (w == 0 || x < 0 || y < 0 || x >= buf.Width() || y >= buf.Height()) return;
      proc(buf.Row32(int32_t(y)) + x, colour, w);
    };
    if (antialias) {
      const uint32_t f = uint32_t(minor >> 8) & 0xFF;
      put(major, minor >> 16, Mul8(t, 255 - f));
      put(major, (minor >> 16) + 1, Mul8(t, f));
    } else {
      put(major, minor >> 16, t);
    }
  }
}

}  // namespace

void DrawLineFixed(CDibCore& buf, int32_t fx0, int32_t fy0, int32_t fx1, int32_t fy1, uint32_t colour,
                   uint8_t t, bool antialias, PixelProc proc) {
  LineFixedImpl(buf, fx0, fy0, fx1, fy1, colour, t, t, antialias, proc);
}

void DrawLineFixedRamp(CDibCore& buf, int32_t fx0, int32_t fy0, int32_t fx1, int32_t fy1, uint32_t colour,
                       uint8_t t0, uint8_t t1, bool antialias, PixelProc proc) {
  LineFixedImpl(buf, fx0, fy0, fx1, fy1, colour, t0, t1, antialias, proc);
}

void DrawDisc(CDibCore& buf, int32_t cx, int32_t cy, int32_t radius, uint32_t colour, uint8_t t,
              bool antialias, bool soften, PixelProc proc) {
  if (!buf.IsValid()) return;
  RasterDisc(int64_t(cx) * 4, int64_t(cy) * 4, int64_t(radius) * 4, t, antialias, soften, buf.Bounds(),
             [&](int32_t x, int32_t y, uint8_t w) { proc(buf.Row32(y) + x, colour, w); });
}

// --- checkerboards ------------------------------------------------------------------

void FillChecker(CDibCore& buf, const SPixRect& rect, int32_t cellW, int32_t cellH, uint32_t first,
                 uint32_t second) {
  if (cellW < 1 || cellH < 1) return;
  ForEachRow(buf, rect, [&](uint32_t* p, int32_t n, int32_t y) {
    const int32_t row = FloorDiv(y - rect.y, cellH);
    const int32_t x0 = buf.Clip(rect).x;
    for (int32_t i = 0; i < n; ++i) {
      const int32_t col = FloorDiv(x0 + i - rect.x, cellW);
      p[i] = ((col + row) & 1) ? first : second;
    }
  });
}

namespace {
inline uint32_t OverColour(uint32_t p, uint32_t c) {
  const uint32_t a = p >> 24;
  return (p & 0xFF000000u) | uint32_t(Lerp8(ChR(p), ChR(c), a)) << 16 |
         uint32_t(Lerp8(ChG(p), ChG(c), a)) << 8 | Lerp8(ChB(p), ChB(c), a);
}
}  // namespace

void UnderChecker(CDibCore& buf, const SPixRect& rect, int32_t originX, int32_t originY, int32_t cellW,
                  int32_t cellH, uint32_t oddColour, uint32_t evenColour) {
  if (cellW < 1 || cellH < 1) return;
  const int32_t x0 = buf.Clip(rect).x;
  ForEachRow(buf, rect, [&](uint32_t* p, int32_t n, int32_t y) {
    const int32_t row = FloorDiv(y - originY, cellH);
    for (int32_t i = 0; i < n; ++i) {
      if ((p[i] >> 24) == 255) continue;
      const int32_t col = FloorDiv(x0 + i - originX, cellW);
      p[i] = OverColour(p[i], ((col + row) & 1) ? oddColour : evenColour);
    }
  });
}

void UnderColour(CDibCore& buf, const SPixRect& rect, uint32_t colour) {
  ForEachRow(buf, rect, [colour](uint32_t* p, int32_t n, int32_t) {
    for (int32_t i = 0; i < n; ++i)
      if ((p[i] >> 24) != 255) p[i] = OverColour(p[i], colour);
  });
}

// --- flips --------------------------------------------------------------------------

void FlipVertical(CDibCore& buf, const SPixRect& rect) {
  const SPixRect r = buf.Clip(rect);
  if (r.IsEmpty()) return;
  std::vector<uint32_t> tmp(size_t(r.width));
  for (int32_t a = r.y, b = r.Bottom() - 1; a < b; ++a, --b) {
    uint32_t* ra = buf.Row32(a) + r.x;
    uint32_t* rb = buf.Row32(b) + r.x;
    std::memcpy(tmp.data(), ra, size_t(r.width) * 4);
    std::memcpy(ra, rb, size_t(r.width) * 4);
    std::memcpy(rb, tmp.data(), size_t(r.width) * 4);
  }
}

void FlipHorizontal(CDibCore& buf, const SPixRect& rect) {
  ForEachRow(buf, rect, [](uint32_t* p, int32_t n, int32_t) {
    for (int32_t a = 0, b = n - 1; a < b; ++a, --b) std::swap(p[a], p[b]);
  });
}

void Rotate180(CDibCore& buf, const SPixRect& rect) {
  FlipVertical(buf, rect);
  FlipHorizontal(buf, rect);
}

// --- copies -------------------------------------------------------------------------

bool ClipCopy(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight, TPoint& at,
              SPixRect& src) {
  int64_t sx = src.x, sy = src.y, w = src.width, h = src.height, dx = at.x, dy = at.y;
  // Against the source.
  if (sx < 0) {
    dx -= sx;
    w += sx;
    sx = 0;
  }
  if (sy < 0) {
    dy -= sy;
    h += sy;
    sy = 0;
  }
  if (sx + w > srcWidth) w = srcWidth - sx;
  if (sy + h > srcHeight) h = srcHeight - sy;
  // Against the destination.
  if (dx < 0) {
    sx -= dx;
    w += dx;
    dx = 0;
  }
  if (dy < 0) {
    sy -= dy;
    h += dy;
    dy = 0;
  }
  if (dx + w > dstWidth) w = dstWidth - dx;
  if (dy + h > dstHeight) h = dstHeight - dy;
  if (w <= 0 || h <= 0) return false;
  src = {int32_t(sx), int32_t(sy), int32_t(w), int32_t(h)};
  at = {int32_t(dx), int32_t(dy)};
  return true;
}

void CopyRect(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect) {
  ForEachCopyRow(dst, at, src, srcRect,
                 [](uint32_t* d, const uint32_t* s, int32_t n) { std::memmove(d, s, size_t(n) * 4); });
}

namespace {
template <auto Proc>
void CopyWith(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect, uint8_t t) {
  ForEachCopyRow(dst, at, src, srcRect, [t](uint32_t* d, const uint32_t* s, int32_t n) {
    for (int32_t i = 0; i < n; ++i) Proc(d + i, s[i], t);
  });
}
}  // namespace

void CopyRectWeighted(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect, uint8_t t) {
  if (t == 0) return;
  if (t == 255) {
    CopyRect(dst, at, src, srcRect);
    return;
  }
  if (dynamic_cast<const TTC*>(&dst))
    CopyWith<BlendNormalHalf>(dst, at, src, srcRect, t);
  else
    ForEachCopyRow(dst, at, src, srcRect,
                   [t](uint32_t* d, const uint32_t* s, int32_t n) { BlendNormalRow(d, s, n, t); });
}

void CopyRectColorKey(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect, uint32_t key) {
  const uint32_t k = key & 0x00FFFFFFu;
  ForEachCopyRow(dst, at, src, srcRect, [k](uint32_t* d, const uint32_t* s, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
      if ((s[i] & 0x00FFFFFFu) != k) d[i] = s[i];
  });
}

void CopyRectProc(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect, PixelProc proc,
                  uint8_t t) {
  ForEachCopyRow(dst, at, src, srcRect, [proc, t](uint32_t* d, const uint32_t* s, int32_t n) {
    for (int32_t i = 0; i < n; ++i) proc(d + i, s[i], t);
  });
}

void CopyRectMultiply(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect, uint8_t t) {
  CopyWith<BlendMultiply>(dst, at, src, srcRect, t);
}
void CopyRectAdd(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect, uint8_t t) {
  CopyWith<BlendAdd>(dst, at, src, srcRect, t);
}
void CopyRectSubtract(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect, uint8_t t) {
  CopyWith<BlendSubtract>(dst, at, src, srcRect, t);
}

void CopyRectAlphaScaled(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect,
                         PixelProc proc, uint8_t t, uint8_t alphaFactor) {
  const uint8_t* mul = MulTab();
  ForEachCopyRow(dst, at, src, srcRect, [=](uint32_t* d, const uint32_t* s, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
      d[i] = WithAlpha(d[i], mul[(d[i] >> 24) * 256 + alphaFactor]);
      proc(d + i, s[i], t);
    }
  });
}

void CopyRectMerge(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect, MergeFn merge,
                   uint8_t t) {
  ForEachCopyRow(dst, at, src, srcRect, [merge, t](uint32_t* d, const uint32_t* s, int32_t n) {
    for (int32_t i = 0; i < n; ++i) merge(d + i, s[i], t);
  });
}

// --- resampling ---------------------------------------------------------------------

namespace {
inline uint32_t ClampedPixel(const CDibCore& b, int64_t x, int64_t y) {
  x = std::clamp<int64_t>(x, 0, b.Width() - 1);
  y = std::clamp<int64_t>(y, 0, b.Height() - 1);
  return b.Row32(int32_t(y))[x];
}

struct Sum4 {
  uint64_t c[4] = {0, 0, 0, 0};
  void Add(uint32_t p) {
    c[0] += p & 0xFF;
    c[1] += p >> 8 & 0xFF;
    c[2] += p >> 16 & 0xFF;
    c[3] += p >> 24;
  }
  uint32_t Mean(uint64_t n) const {
    return uint32_t(c[3] / n) << 24 | uint32_t(c[2] / n) << 16 | uint32_t(c[1] / n) << 8 | uint32_t(c[0] / n);
  }
};
}  // namespace

void Resample4x4(const CDibCore& src, CDibCore& dst) {
  if (!src.IsValid() || !dst.IsValid()) return;
  const int64_t sx = int64_t(src.Width()) * 1024 / dst.Width();
  const int64_t sy = int64_t(src.Height()) * 1024 / dst.Height();
  for (int32_t y = 0; y < dst.Height(); ++y) {
    uint32_t* out = dst.Row32(y);
    for (int32_t x = 0; x < dst.Width(); ++x) {
      Sum4 sum;
      for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
          sum.Add(ClampedPixel(src, (sx * x + sx / 4 * j) >> 10, (sy * y + sy / 4 * i) >> 10));
      out[x] = sum.Mean(16);
    }
  }
}

void BoxAverage(const CDibCore& src, const SPixRect& srcRect, CDibCore& dst, const SPixRect& dstRect,
                const SPixRect* only) {
  if (!src.IsValid() || dstRect.IsEmpty() || srcRect.IsEmpty()) return;
  const SPixRect d = dst.Clip(only ? Intersect(dstRect, *only) : dstRect);
  if (d.IsEmpty()) return;
  const int64_t stepX = int64_t(srcRect.width) * 1024 / dstRect.width;
  const int64_t stepY = int64_t(srcRect.height) * 1024 / dstRect.height;
  const int64_t boxW = srcRect.width / dstRect.width + 1, boxH = srcRect.height / dstRect.height + 1;
  for (int32_t y = d.y; y < d.Bottom(); ++y) {
    uint32_t* out = dst.Row32(y);
    const int64_t by = srcRect.y + (((y - dstRect.y) * stepY) >> 10);
    for (int32_t x = d.x; x < d.Right(); ++x) {
      const int64_t bx = srcRect.x + (((x - dstRect.x) * stepX) >> 10);
      Sum4 sum;
      for (int64_t j = 0; j < boxH; ++j)
        for (int64_t i = 0; i < boxW; ++i) sum.Add(ClampedPixel(src, bx + i, by + j));
      out[x] = sum.Mean(uint64_t(boxW * boxH));
    }
  }
}

void StretchNearest(CDibCore& dst, const SPixRect& dstRect, const CDibCore& src, const SPixRect& srcRect,
                    const SPixRect* only) {
  if (!src.IsValid() || dstRect.IsEmpty() || srcRect.IsEmpty()) return;
  const SPixRect d = dst.Clip(only ? Intersect(dstRect, *only) : dstRect);
  if (d.IsEmpty()) return;
  const int64_t stepX = (int64_t(srcRect.width) << 16) / dstRect.width;
  const int64_t stepY = (int64_t(srcRect.height) << 16) / dstRect.height;
  const uint32_t* lastRow = nullptr;
  for (int32_t y = d.y; y < d.Bottom(); ++y) {
    uint32_t* out = dst.Row32(y) + d.x;
    const int64_t sy = srcRect.y + (((y - dstRect.y) * stepY) >> 16);
    if (sy < 0 || sy >= src.Height()) {
      if (lastRow) std::memcpy(out, lastRow, size_t(d.width) * 4);
      continue;
    }
    const uint32_t* in = src.Row32(int32_t(sy));
    for (int32_t x = d.x; x < d.Right(); ++x) {
      const int64_t sx = srcRect.x + (((x - dstRect.x) * stepX) >> 16);
      if (sx >= 0 && sx < src.Width()) out[x - d.x] = in[sx];
    }
    lastRow = out;
  }
}

void RotatedCopy(CDibCore& dst, const SPixRect& dstRect, const CDibCore& src, double originX, double originY,
                 double step, double cosA, double sinA, uint32_t background) {
  const SPixRect d = dst.Clip(dstRect);
  if (d.IsEmpty()) return;
  // std::nearbyint rounds half to even in the default rounding mode.
  const int64_t ux = int64_t(std::nearbyint(step * cosA * 65536.0));
  const int64_t vx = int64_t(std::nearbyint(step * sinA * 65536.0));
  const int64_t uy = int64_t(std::nearbyint(-step * sinA * 65536.0));
  const int64_t vy = int64_t(std::nearbyint(step * cosA * 65536.0));
  const int64_t ou = int64_t(std::nearbyint(originX * 65536.0));
  const int64_t ov = int64_t(std::nearbyint(originY * 65536.0));
  const int64_t cx = dst.Width() / 2, cy = dst.Height() / 2;
  const bool haveSource = src.IsValid();
  const int64_t limU = int64_t(src.Width()) << 16, limV = int64_t(src.Height()) << 16;
  for (int32_t y = d.y; y < d.Bottom(); ++y) {
    uint32_t* out = dst.Row32(y);
    int64_t u = ou + (d.x - cx) * ux + (y - cy) * uy;
    int64_t v = ov + (d.x - cx) * vx + (y - cy) * vy;
    for (int32_t x = d.x; x < d.Right(); ++x, u += ux, v += vx) {
      if (haveSource && u >= 0 && v >= 0 && u < limU && v < limV)
        out[x] = src.Row32(int32_t(v >> 16))[u >> 16];
      else
        out[x] = background;
    }
  }
}

// --- channel bridges ----------------------------------------------------------------

void ChannelToColour(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect) {
  if (!dst.IsValid() || !src.IsValid() || dst.BytesPerPixel() != 4 || src.BytesPerPixel() != 1) return;
  SPixRect r = srcRect;
  if (!ClipCopy(src.Width(), src.Height(), dst.Width(), dst.Height(), at, r)) return;
  for (int32_t i = 0; i < r.height; ++i) {
    uint32_t* d = dst.Row32(at.y + i) + at.x;
    const uint8_t* s = src.Row8(r.y + i) + r.x;
    for (int32_t k = 0; k < r.width; ++k) {
      const uint32_t v = s[k];
      d[k] = v ? 0xFF000000u | v << 16 | v << 8 | v : 0u;
    }
  }
}

void ColourToChannel(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect) {
  if (!dst.IsValid() || !src.IsValid() || dst.BytesPerPixel() != 1 || src.BytesPerPixel() != 4) return;
  SPixRect r = srcRect;
  if (!ClipCopy(src.Width(), src.Height(), dst.Width(), dst.Height(), at, r)) return;
  for (int32_t i = 0; i < r.height; ++i) {
    uint8_t* d = dst.Row8(at.y + i) + at.x;
    const uint32_t* s = src.Row32(r.y + i) + r.x;
    for (int32_t k = 0; k < r.width; ++k) d[k] = Luminance(s[k]);
  }
}

}  // namespace tintara
