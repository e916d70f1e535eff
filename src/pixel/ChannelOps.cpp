#include "pixel/ChannelOps.h"

#include <cmath>
#include <cstring>

#include "pixel/ColorOps.h"

namespace tintara {
namespace {
template <class F>
void ForEachRow8(CDibCore& ch, const SPixRect& rect, F&& f) {
  const SPixRect r = ch.Clip(rect);
  if (r.IsEmpty()) return;
  for (int32_t y = r.y; y < r.Bottom(); ++y) f(ch.Row8(y) + r.x, r.width);
}

template <class F>
void ForEachCopyRow8(CDibCore& dst, TPoint at, const CDibCore& src, SPixRect r, F&& f) {
  if (!dst.IsValid() || !src.IsValid() || dst.BytesPerPixel() != 1 || src.BytesPerPixel() != 1) return;
  if (!ClipCopy(src.Width(), src.Height(), dst.Width(), dst.Height(), at, r)) return;
  for (int32_t i = 0; i < r.height; ++i) f(dst.Row8(at.y + i) + at.x, src.Row8(r.y + i) + r.x, r.width);
}
}  // namespace

void FillAll8(CDibCore& ch, uint8_t value) { FillRect8(ch, ch.Bounds(), value); }

void FillRect8(CDibCore& ch, const SPixRect& rect, uint8_t value) {
  ForEachRow8(ch, rect, [value](uint8_t* p, int32_t n) { std::memset(p, value, size_t(n)); });
}

void XorRect8(CDibCore& ch, const SPixRect& rect, uint8_t value) {
  ForEachRow8(ch, rect, [value](uint8_t* p, int32_t n) {
    for (int32_t i = 0; i < n; ++i) p[i] ^= value;
  });
}

void CopyRect8(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect) {
  ForEachCopyRow8(dst, at, src, srcRect,
                  [](uint8_t* d, const uint8_t* s, int32_t n) { std::memmove(d, s, size_t(n)); });
}

void ApplyChannelProc(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect,
                      ChannelProc proc, uint8_t t) {
  ForEachCopyRow8(dst, at, src, srcRect, [proc, t](uint8_t* d, const uint8_t* s, int32_t n) {
    for (int32_t i = 0; i < n; ++i) proc(d + i, s[i], t);
  });
}

void ApplyChannelProcConst(CDibCore& dst, const SPixRect& rect, ChannelProc proc, uint8_t value, uint8_t t) {
  ForEachRow8(dst, rect, [=](uint8_t* p, int32_t n) {
    for (int32_t i = 0; i < n; ++i) proc(p + i, value, t);
  });
}

void PutCover(CDibCore& ch, int32_t x, int32_t y, uint8_t value, uint8_t t) {
  if (!ch.IsValid() || x < 0 || y < 0 || x >= ch.Width() || y >= ch.Height()) return;
  ChannelCover(ch.Row8(y) + x, value, t);
}

void PutCoverHalf(CDibCore& ch, int32_t x, int32_t y, uint8_t value, uint8_t t) {
  if (!ch.IsValid() || x < 0 || y < 0 || x >= ch.Width() || y >= ch.Height()) return;
  ChannelCoverHalf(ch.Row8(y) + x, value, t);
}

uint8_t GetPixel8Clamped(const CDibCore& ch, int32_t x, int32_t y) {
  if (!ch.IsValid()) return 0;
  x = std::clamp(x, 0, ch.Width() - 1);
  y = std::clamp(y, 0, ch.Height() - 1);
  return ch.Row8(y)[x];
}

bool NonZeroBounds(const CDibCore& ch, TRect& out) {
  if (!ch.IsValid()) return false;
  int32_t l = ch.Width(), t = ch.Height(), r = -1, b = -1;
  for (int32_t y = 0; y < ch.Height(); ++y) {
    const uint8_t* row = ch.Row8(y);
    int32_t first = -1, last = -1;
    for (int32_t x = 0; x < ch.Width(); ++x)
      if (row[x]) {
        if (first < 0) first = x;
        last = x;
      }
    if (first < 0) continue;
    l = std::min(l, first);
    r = std::max(r, last);
    if (t > y) t = y;
    b = y;
  }
  if (r < 0) return false;
  out = {l, t, r + 1, b + 1};
  return true;
}

void DrawDisc8(CDibCore& ch, double cx, double cy, double radius, uint8_t value, bool antialias,
               bool soften) {
  if (!ch.IsValid()) return;
  // Quarter-pixel coordinates, rounded half to even.
  const int64_t cx4 = int64_t(std::nearbyint(cx * 4)), cy4 = int64_t(std::nearbyint(cy * 4));
  const int64_t r4 = int64_t(std::nearbyint(radius * 4));
  RasterDisc(cx4, cy4, r4, value, antialias, soften, ch.Bounds(),
             [&](int32_t x, int32_t y, uint8_t w) { ChannelMax(ch.Row8(y) + x, w, 255); });
}

void DotGrid8(CDibCore& ch, double firstX, double firstY, double spacing, double radius, uint8_t value) {
  if (!ch.IsValid() || !(spacing > 0) || !(radius > 0)) return;
  const double x0 = firstX - std::ceil((firstX + radius) / spacing) * spacing;
  const double y0 = firstY - std::ceil((firstY + radius) / spacing) * spacing;
  for (double y = y0; y - radius < ch.Height(); y += spacing)
    for (double x = x0; x - radius < ch.Width(); x += spacing)
      DrawDisc8(ch, x, y, radius, value, true, false);
}

}  // namespace tintara
