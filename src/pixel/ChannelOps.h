// Operations on 8-bit buffers (TChannel, TVChannel), with the same clipping rules as the
// colour operations.
#pragma once

#include <cstdint>

#include "pixel/Blend.h"
#include "pixel/DibCore.h"
#include "pixel/PixelTypes.h"

namespace tintara {

void FillAll8(CDibCore& ch, uint8_t value);
void FillRect8(CDibCore& ch, const SPixRect& rect, uint8_t value);
void XorRect8(CDibCore& ch, const SPixRect& rect, uint8_t value);
void CopyRect8(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect);
// dst := proc(dst, src, t) over a copy rectangle.
void ApplyChannelProc(CDibCore& dst, TPoint at, const CDibCore& src, const SPixRect& srcRect,
                      ChannelProc proc, uint8_t t);
// dst := proc(dst, value, t) over a rectangle.
void ApplyChannelProcConst(CDibCore& dst, const SPixRect& rect, ChannelProc proc, uint8_t value, uint8_t t);
// One pixel with cover weight (off-buffer points are ignored).
void PutCover(CDibCore& ch, int32_t x, int32_t y, uint8_t value, uint8_t t);
void PutCoverHalf(CDibCore& ch, int32_t x, int32_t y, uint8_t value, uint8_t t);
// No range check.
inline uint8_t GetPixel8(const CDibCore& ch, int32_t x, int32_t y) { return ch.Row8(y)[x]; }
// Coordinates clamped into the buffer; 0 for an empty buffer.
uint8_t GetPixel8Clamped(const CDibCore& ch, int32_t x, int32_t y);
// Bounding rectangle of all non-zero pixels; false when every pixel is zero.
bool NonZeroBounds(const CDibCore& ch, TRect& out);
// A disc of `value` combined with max at the given weight, as DrawDisc does for colours.
void DrawDisc8(CDibCore& ch, double cx, double cy, double radius, uint8_t value, bool antialias, bool soften);
// A square grid of anti-aliased discs (tone patterns): centres at
// (firstX + i * spacing, firstY + j * spacing) for every i, j that touches the buffer.
void DotGrid8(CDibCore& ch, double firstX, double firstY, double spacing, double radius, uint8_t value);

}  // namespace tintara
