#include "paint/PenWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "document/Mask.h"
#include "paint/Tone.h"
#include "pixel/Arith.h"
#include "pixel/ColorModels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tintara {
namespace {

#if defined(__SSE2__)
// Four pixels lerped towards a colour at their own coverage, all four bytes: with
// x = s t + d (255 - t), which fits 16 bits, Lerp8 is (x * 32897) >> 23 exactly, i.e. the
// high half of a 16-bit multiply shifted right by 7.
inline __m128i Lerp4(__m128i d, __m128i s16, uint32_t cover4) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i t = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(cover4)), zero);  // t0..t3
  const __m128i tt = _mm_unpacklo_epi16(t, t);                                // t0 t0 t1 t1 ..
  const __m128i tLo = _mm_unpacklo_epi32(tt, tt), tHi = _mm_unpackhi_epi32(tt, tt);
  const __m128i k255 = _mm_set1_epi16(255), k32897 = _mm_set1_epi16(short(32897));
  const __m128i dLo = _mm_unpacklo_epi8(d, zero), dHi = _mm_unpackhi_epi8(d, zero);
  __m128i xLo = _mm_add_epi16(_mm_mullo_epi16(s16, tLo), _mm_mullo_epi16(dLo, _mm_sub_epi16(k255, tLo)));
  __m128i xHi = _mm_add_epi16(_mm_mullo_epi16(s16, tHi), _mm_mullo_epi16(dHi, _mm_sub_epi16(k255, tHi)));
  xLo = _mm_srli_epi16(_mm_mulhi_epu16(xLo, k32897), 7);
  xHi = _mm_srli_epi16(_mm_mulhi_epu16(xHi, k32897), 7);
  return _mm_packus_epi16(xLo, xHi);
}
#endif

}  // namespace

uint32_t BlendCarryPixel(uint32_t p, uint32_t colour, uint32_t c) {
  if (c == 0) return p;
  c = std::min(c, 255u);
  const uint32_t a = Lerp8(colour >> 24, p >> 24, c);
  if (a == 0) return p & 0x00FFFFFFu;
  return a << 24 | LerpRgb(colour, p, c);
}

uint32_t BlendLightnessPixel(uint32_t p, uint32_t c, const uint32_t* curve) {
  if (c == 0) return p;
  const HlsColor h = RgbToHls(p);
  const int64_t i = std::clamp<int64_t>((int64_t(h.lightness) >> 13) * 2047 / 2040, 0, 2047);
  const int32_t lightness = int32_t(int64_t(curve[i]) * 255);
  return BlendKeepAlphaPixel(p, HlsToRgb(h.hue, lightness, h.saturation), c);
}

// --- writer --------------------------------------------------------------------------------

CPenWriter::CPenWriter() {
  Setup(false, false, false);
  BuildLightnessCurve(false, 0);
}

void CPenWriter::SetMask(const CMaskData* mask, int32_t dx, int32_t dy) {
  mask_ = mask && mask->HasChannel() ? mask : nullptr;
  maskDx_ = dx;
  maskDy_ = dy;
}

void CPenWriter::SetTone(const CToneMngr* tone, int32_t dx, int32_t dy) {
  tone_ = tone;
  toneDx_ = dx;
  toneDy_ = dy;
}

void CPenWriter::SetGradation(const IGradationSource* gradation, int32_t dx, int32_t dy) {
  gradation_ = gradation;
  gradDx_ = dx;
  gradDy_ = dy;
}

template <bool M, bool T>
void CPenWriter::ChannelWrite(const CPenWriter& w, uint8_t* p, int32_t x, int32_t y, uint8_t c,
                              uint8_t value) {
  if constexpr (M) c = Mul8(c, w.MaskAt(x, y));
  if constexpr (T) c = w.ToneAt(x, y, c);
  WriteChannelPlain(p, c, value);
}

template <bool M, bool T, bool G>
void CPenWriter::ColourWrite(const CPenWriter& w, uint32_t* p, int32_t x, int32_t y, uint8_t c,
                             uint32_t colour) {
  if constexpr (M) c = Mul8(c, w.MaskAt(x, y));
  if constexpr (T) c = w.ToneAt(x, y, c);
  if constexpr (G) {
    colour = w.GradationAt(x, y);
    // Through a tone the tone decides the coverage; the gradation's alpha is not applied.
    if constexpr (!T) c = Mul8(c, colour >> 24);
  }
  *p = w.BlendPixel(*p, colour, c);
}

void CPenWriter::Setup(bool useTone, bool useGradation, bool protectTransparency) {
  masked_ = mask_ != nullptr;
  toned_ = useTone && tone_ != nullptr;
  graded_ = useGradation && gradation_ != nullptr;
  strokeBlend_ = protectTransparency ? PenBlend::kKeepAlpha : PenBlend::kOver;
  blend_ = strokeBlend_;
  static constexpr ChannelFn kChannel[4] = {ChannelWrite<false, false>, ChannelWrite<true, false>,
                                            ChannelWrite<false, true>, ChannelWrite<true, true>};
  static constexpr ColourFn kColour[8] = {ColourWrite<false, false, false>, ColourWrite<true, false, false>,
                                          ColourWrite<false, true, false>,  ColourWrite<true, true, false>,
                                          ColourWrite<false, false, true>,  ColourWrite<true, false, true>,
                                          ColourWrite<false, true, true>,   ColourWrite<true, true, true>};
  channel_ = kChannel[(masked_ ? 1 : 0) | (toned_ ? 2 : 0)];
  colour_ = kColour[(masked_ ? 1 : 0) | (toned_ ? 2 : 0) | (graded_ ? 4 : 0)];
}

void CPenWriter::BuildLightnessCurve(bool dodge, int32_t exposure) {
  const double e = 1.0 + std::clamp(exposure, 0, 100) * 0.002;
  const double g = dodge ? 1.0 / e : e;
  for (int32_t i = 0; i < kCurveEntries; ++i) curve_[i] = uint32_t(std::pow(i / 2047.0, g) * 65536.0);
}

void CPenWriter::WriteChannelPlain(uint8_t* p, uint8_t c, uint8_t value) {
  const uint8_t v = Mul8(c, value);
  if (v > *p) *p = v;
}

uint8_t CPenWriter::MaskAt(int32_t x, int32_t y) const {
  return mask_ ? mask_->CoverageAt(x + maskDx_ - mask_->offsetX, y + maskDy_ - mask_->offsetY) : 0;
}

uint8_t CPenWriter::ToneAt(int32_t x, int32_t y, uint8_t c) const {
  return tone_ ? tone_->Apply(x + toneDx_, y + toneDy_, c) : c;
}

uint32_t CPenWriter::GradationAt(int32_t x, int32_t y) const {
  return gradation_ ? gradation_->ColourAt(x + gradDx_, y + gradDy_) : 0;
}

void CPenWriter::MaskRow(int32_t x, int32_t y, int32_t n, uint8_t* out) const {
  std::fill(out, out + n, uint8_t(0));
  if (!mask_) return;
  const CBlockVCH& ch = *mask_->channel;
  const int64_t cy = int64_t(y) + maskDy_;
  if (cy < 0 || cy >= ch.Height()) return;
  // Only the part of the row inside the channel; tile by tile.
  int64_t cx = int64_t(x) + maskDx_;
  const int64_t end = std::min<int64_t>(cx + n, ch.Width());
  int32_t i = int32_t(std::max<int64_t>(0, -cx));
  cx += i;
  const int32_t shift = ch.TileShift(), tmask = ch.TileMask();
  while (cx < end) {
    const STileRec* t = ch.TileAtIndex(int32_t(cx >> shift), int32_t(cy >> shift));
    const int32_t run = int32_t(std::min<int64_t>(end - cx, ch.TileWidth() - (cx & tmask)));
    if (!t) break;
    if (!t->allocated) {
      std::fill(out + i, out + i + run, uint8_t(t->fill));
    } else {
      const uint8_t* src = t->view->PixelAddress(int32_t(cx & tmask), int32_t(cy & tmask));
      std::copy(src, src + run, out + i);
    }
    i += run;
    cx += run;
  }
}

void CPenWriter::WriteChannelRow(uint8_t* row, int32_t x, int32_t y, int32_t n, uint8_t* c,
                                 uint8_t value) const {
  if (masked_ || toned_) {
    uint8_t m[512];
    for (int32_t done = 0; done < n; done += 512) {
      const int32_t k = std::min<int32_t>(n - done, 512);
      if (masked_) {
        MaskRow(x + done, y, k, m);
        for (int32_t i = 0; i < k; ++i) c[done + i] = Mul8(c[done + i], m[i]);
      }
      if (toned_) tone_->ApplyRow(x + done + toneDx_, y + toneDy_, k, c + done);
    }
  }
  for (int32_t i = 0; i < n; ++i) WriteChannelPlain(row + i, c[i], value);
}

uint32_t CPenWriter::BlendPixel(uint32_t p, uint32_t colour, uint32_t c) const {
  switch (blend_) {
    case PenBlend::kOver:
      return BlendOverPixel(p, colour, c);
    case PenBlend::kKeepAlpha:
      return BlendKeepAlphaPixel(p, colour, c);
    case PenBlend::kErase:
      return BlendErasePixel(p, c);
    case PenBlend::kCarry:
      return BlendCarryPixel(p, colour, c);
    case PenBlend::kLightness:
      return BlendLightnessPixel(p, c, curve_);
  }
  return p;
}

void CPenWriter::BlendRow(uint32_t* row, int32_t n, const uint8_t* c, uint32_t colour,
                          const uint32_t* colours) const {
  // One loop per blend, so that the choice is made once per row.
  switch (blend_) {
    case PenBlend::kOver:
      if (colours) {
        for (int32_t i = 0; i < n; ++i) row[i] = BlendOverPixel(row[i], colours[i], c[i]);
      } else {
        int32_t i = 0;
#if defined(__SSE2__)
        // Over an opaque pixel the over blend is the plain lerp with alpha staying 255, so
        // runs of opaque pixels go four at a time.
        const __m128i s16 = _mm_unpacklo_epi8(_mm_set1_epi32(int(colour | 0xFF000000u)), _mm_setzero_si128());
        const __m128i amask = _mm_set1_epi32(int(0xFF000000u));
        for (; i + 4 <= n; i += 4) {
          uint32_t cover4;
          std::memcpy(&cover4, c + i, 4);
          if (cover4 == 0) continue;
          const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
          if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(d, amask), amask)) == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), Lerp4(d, s16, cover4));
          } else {
            for (int32_t j = i; j < i + 4; ++j) row[j] = BlendOverPixel(row[j], colour, c[j]);
          }
        }
#endif
        for (; i < n; ++i) row[i] = BlendOverPixel(row[i], colour, c[i]);
      }
      return;
    case PenBlend::kKeepAlpha: {
      int32_t i = 0;
#if defined(__SSE2__)
      if (!colours) {
        const __m128i s16 = _mm_unpacklo_epi8(_mm_set1_epi32(int(colour)), _mm_setzero_si128());
        const __m128i amask = _mm_set1_epi32(int(0xFF000000u));
        for (; i + 4 <= n; i += 4) {
          uint32_t cover4;
          std::memcpy(&cover4, c + i, 4);
          if (cover4 == 0) continue;
          const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
          const __m128i mixed = Lerp4(d, s16, cover4);
          // The alpha bytes stay as they were.
          _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i),
                           _mm_or_si128(_mm_and_si128(d, amask), _mm_andnot_si128(amask, mixed)));
        }
      }
#endif
      for (; i < n; ++i) row[i] = BlendKeepAlphaPixel(row[i], colours ? colours[i] : colour, c[i]);
      return;
    }
    case PenBlend::kErase:
      for (int32_t i = 0; i < n; ++i) row[i] = BlendErasePixel(row[i], c[i]);
      return;
    case PenBlend::kCarry:
      for (int32_t i = 0; i < n; ++i) row[i] = BlendCarryPixel(row[i], colours ? colours[i] : colour, c[i]);
      return;
    case PenBlend::kLightness:
      for (int32_t i = 0; i < n; ++i) row[i] = BlendLightnessPixel(row[i], c[i], curve_);
      return;
  }
}

void CPenWriter::WriteColourRow(uint32_t* row, int32_t x, int32_t y, int32_t n, uint8_t* c, uint32_t colour,
                                const uint32_t* colours) const {
  if (!masked_ && !toned_ && !graded_) {
    BlendRow(row, n, c, colour, colours);
    return;
  }
  uint8_t m[512];
  uint32_t g[512];
  for (int32_t done = 0; done < n; done += 512) {
    const int32_t k = std::min<int32_t>(n - done, 512);
    uint8_t* cv = c + done;
    if (masked_) {
      MaskRow(x + done, y, k, m);
      for (int32_t i = 0; i < k; ++i) cv[i] = Mul8(cv[i], m[i]);
    }
    if (toned_) tone_->ApplyRow(x + done + toneDx_, y + toneDy_, k, cv);
    const uint32_t* src = colours ? colours + done : nullptr;
    if (graded_) {
      for (int32_t i = 0; i < k; ++i) {
        g[i] = GradationAt(x + done + i, y);
        if (!toned_) cv[i] = Mul8(cv[i], g[i] >> 24);
      }
      src = g;
    }
    BlendRow(row + done, k, cv, colour, src);
  }
}

}  // namespace tintara
