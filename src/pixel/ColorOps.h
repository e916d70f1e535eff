// Operations on whole colour buffers and rectangles of them (TMTC, TTC, TVMTC).
//
// Every rectangle operation clips its rectangle to the buffer first and does nothing
// when the result is empty; an invalid buffer clips everything away. Copies clip the
// source rectangle and the destination point against both buffers together.
#pragma once

#include <cstdint>

#include "pixel/Blend.h"
#include "pixel/DibCore.h"
#include "pixel/PixelTypes.h"

namespace tintara {

// --- fills and word-wise writes ---------------------------------------------------
void FillAll(CDibCore& buf, uint32_t value);
void FillRect(CDibCore& buf, const SPixRect& rect, uint32_t value);
// A Windows colour value 0x00BBGGRR, converted to a pixel first.
void FillColorRef(CDibCore& buf, uint32_t colorRef);
void SetAlphaRect(CDibCore& buf, const SPixRect& rect, uint8_t alpha);
void SetAlphaAll(CDibCore& buf, uint8_t alpha);
// Each pixel := (value & mask) | (pixel & ~mask).
void MaskedWrite(CDibCore& buf, const SPixRect& rect, uint32_t value, uint32_t mask);
void XorRect(CDibCore& buf, const SPixRect& rect, uint32_t value);
void XorAll(CDibCore& buf, uint32_t value);

// Calls a primitive for every pixel of a rectangle with one colour and weight.
void ApplyProc(CDibCore& buf, const SPixRect& rect, PixelProc proc, uint32_t colour, uint8_t t);

// Visits every pixel of the clipped rectangle with f(uint32_t* p, x, y).
template <class F>
void ForEachPixel(CDibCore& buf, const SPixRect& rect, F&& f) {
  const SPixRect r = buf.Clip(rect);
  for (int32_t y = r.y; y < r.Bottom(); ++y) {
    uint32_t* row = buf.Row32(y);
    for (int32_t x = r.x; x < r.Right(); ++x) f(row + x, x, y);
  }
}

// --- lines and discs --------------------------------------------------------------
// Integer DDA from (x0, y0) to (x1, y1), both ends included, weight stepping from t0
// to t1. A line whose ends coincide plots its start at t0. Pixels off the buffer are
// skipped.
void DrawLine(CDibCore& buf, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour, uint8_t t0,
              uint8_t t1, PixelProc proc);
// The rectangle's outline as four lines (top, bottom, left, right; corners are met twice).
void DrawRectFrame(CDibCore& buf, const SPixRect& rect, uint32_t colour, uint8_t t, PixelProc proc);
// Line with 16.16 end points stepping one pixel at a time along its major axis, the minor
// coordinate following the true slope in 16.16. With antialiasing every step writes the two
// pixels across the line with weights scaled by 255 - f and f (f the fraction byte of the
// minor coordinate); without it the pixel holding the minor coordinate at the full weight.
void DrawLineFixed(CDibCore& buf, int32_t fx0, int32_t fy0, int32_t fx1, int32_t fy1, uint32_t colour,
                   uint8_t t, bool antialias, PixelProc proc);
// The same with the weight ramping from t0 at the start to t1 at the end.
void DrawLineFixedRamp(CDibCore& buf, int32_t fx0, int32_t fy0, int32_t fx1, int32_t fy1, uint32_t colour,
                       uint8_t t0, uint8_t t1, bool antialias, PixelProc proc);

// Filled disc of the given radius around the point (cx, cy). In quarter-pixel coordinates
// pixel (x, y) has the 4 x 4 sub-samples (4x + i, 4y + j), i, j = 0..3; those within
// (4 * radius)^2 of (4cx, 4cy) count. A pixel whose four corners are inside gets weight t, one
// partly inside t * count / 16 with antialiasing (t without); outside is untouched.
// Softened discs of radius >= 3 fade as 255 - d^2 * 255 / (4 * radius)^2.
void DrawDisc(CDibCore& buf, int32_t cx, int32_t cy, int32_t radius, uint32_t colour, uint8_t t,
              bool antialias, bool soften, PixelProc proc);

// The disc raster itself, shared by colour and channel buffers: centre and radius in
// quarter pixels; calls f(x, y, weight) for every touched pixel inside `clip`.
template <class F>
void RasterDisc(int64_t cx4, int64_t cy4, int64_t r4, uint8_t t, bool antialias, bool soften,
                const SPixRect& clip, F&& f) {
  if (r4 <= 0 || clip.IsEmpty()) return;
  const int64_t r2 = r4 * r4;
  auto floorDiv4 = [](int64_t v) { return v >= 0 ? v / 4 : -((-v + 3) / 4); };
  const int64_t x0 = std::max<int64_t>(clip.x, floorDiv4(cx4 - r4) - 1);
  const int64_t x1 = std::min<int64_t>(clip.Right() - 1, floorDiv4(cx4 + r4));
  const int64_t y0 = std::max<int64_t>(clip.y, floorDiv4(cy4 - r4) - 1);
  const int64_t y1 = std::min<int64_t>(clip.Bottom() - 1, floorDiv4(cy4 + r4));
  const bool softened = soften && r4 >= 3 * 4;
  for (int64_t y = y0; y <= y1; ++y) {
    for (int64_t x = x0; x <= x1; ++x) {
      auto inside = [&](int64_t px, int64_t py) {
        const int64_t dx = px - cx4, dy = py - cy4;
        return dx * dx + dy * dy <= r2;
      };
      int count = 16;
      if (!(inside(4 * x, 4 * y) && inside(4 * x + 4, 4 * y) && inside(4 * x, 4 * y + 4) &&
            inside(4 * x + 4, 4 * y + 4))) {
        count = 0;
        for (int j = 0; j < 4; ++j)
          for (int i = 0; i < 4; ++i) count += inside(4 * x + i, 4 * y + j);
        if (count == 0) continue;
      }
      uint32_t w = t;
      if (softened) {
        const int64_t dx = 4 * x - cx4, dy = 4 * y - cy4;
        const int64_t fall = 255 - (dx * dx + dy * dy) * 255 / r2;
        w = Mul8(w, uint32_t(fall < 0 ? 0 : fall));
      }
      if (count < 16 && antialias) w = w * uint32_t(count) / 16;
      f(int32_t(x), int32_t(y), uint8_t(w));
    }
  }
}

// --- checkerboards ----------------------------------------------------------------
// Cells of cellW x cellH counted from the rectangle's origin: `first` where column + row
// is odd, `second` where it is even. A cell size below 1 does nothing.
void FillChecker(CDibCore& buf, const SPixRect& rect, int32_t cellW, int32_t cellH, uint32_t first,
                 uint32_t second);
// Every pixel whose alpha is not 255 becomes its blend (at its alpha) over the checker
// colour of its cell, cells counted from (originX, originY); alpha is kept.
void UnderChecker(CDibCore& buf, const SPixRect& rect, int32_t originX, int32_t originY, int32_t cellW,
                  int32_t cellH, uint32_t oddColour, uint32_t evenColour);
void UnderColour(CDibCore& buf, const SPixRect& rect, uint32_t colour);

// A one-pixel frame in a Windows colour value (0x00BBGGRR), as a display buffer draws it.
void FrameRectColorRef(CDibCore& buf, const SPixRect& rect, uint32_t colorRef);

// --- flips ------------------------------------------------------------------------
void FlipVertical(CDibCore& buf, const SPixRect& rect);
void FlipHorizontal(CDibCore& buf, const SPixRect& rect);
void Rotate180(CDibCore& buf, const SPixRect& rect);

// --- copies -----------------------------------------------------------------------
// The clip rule of all copies: clips `src` to the source size (moving `at` with a cut
// left or top edge), then the destination area to the destination size (moving `src`).
// False when nothing remains.
bool ClipCopy(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight, TPoint& at,
              SPixRect& src);

void CopyRect(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect);
// 255 copies, 0 does nothing; else blends with BlendNormal (BlendNormalHalf onto a TTC).
void CopyRectWeighted(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect, uint8_t t);
// Skips source pixels whose colour channels equal the key's (alpha is not compared).
void CopyRectColorKey(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect, uint32_t key);
void CopyRectProc(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect, PixelProc proc,
                  uint8_t t);
void CopyRectMultiply(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect, uint8_t t);
void CopyRectAdd(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect, uint8_t t);
void CopyRectSubtract(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect, uint8_t t);
// Scales each destination alpha by `alphaFactor` (MulTab[alpha][factor]), then applies the
// primitive with the source pixel.
void CopyRectAlphaScaled(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect,
                         PixelProc proc, uint8_t t, uint8_t alphaFactor);
// The alpha-keeping merge of the blend modes at weight t.
void CopyRectMerge(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect, MergeFn merge,
                   uint8_t t);

// Visits the clipped rows of a copy: f(dstRow, srcRow, count).
template <class F>
void ForEachCopyRow(CDibCore& dst, TPoint at, const CDibCore& src, SPixRect srcRect, F&& f) {
  if (!dst.IsValid() || !src.IsValid() || dst.BytesPerPixel() != 4 || src.BytesPerPixel() != 4) return;
  if (!ClipCopy(src.Width(), src.Height(), dst.Width(), dst.Height(), at, srcRect)) return;
  for (int32_t i = 0; i < srcRect.height; ++i)
    f(dst.Row32(at.y + i) + at.x, src.Row32(srcRect.y + i) + srcRect.x, srcRect.width);
}

// --- resampling -------------------------------------------------------------------
// Every target pixel is the truncated mean of 16 source samples on a 4 x 4 grid
// (10-bit fixed-point steps), all four channels.
void Resample4x4(const CDibCore& src, CDibCore& dst);
// Each destination pixel of dstRect averages a box of (sw / dw + 1) x (sh / dh + 1) source
// pixels (edges repeat) starting at its 10-bit fixed-point position in srcRect.
// `only` (optional) limits the work to part of dstRect.
void BoxAverage(const CDibCore& src, const SPixRect& srcRect, CDibCore& dst, const SPixRect& dstRect,
                const SPixRect* only = nullptr);
// Nearest-neighbour stretch of srcRect onto dstRect in 16.16 steps; destination rows whose
// source row lies below the source repeat the last row written.
void StretchNearest(CDibCore& dst, const SPixRect& dstRect, const CDibCore& src, const SPixRect& srcRect,
                    const SPixRect* only = nullptr);

// Rotated and scaled copy: destination pixel (x, y) of dstRect reads the source at
// origin + R * step * ((x, y) - centre), centre = half the destination size, with the
// rotation given by its cosine and sine and `step` source pixels per destination pixel.
// Points that fall outside the source get `background`.
void RotatedCopy(CDibCore& dst, const SPixRect& dstRect, const CDibCore& src, double originX, double originY,
                 double step, double cosA, double sinA, uint32_t background);

// --- channel bridges --------------------------------------------------------------
// Channel -> colour: v != 0 becomes (v, v, v, 255), 0 becomes 0.
void ChannelToColour(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect);
// Colour -> channel: the luminance.
void ColourToChannel(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect);

}  // namespace tintara
