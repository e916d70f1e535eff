#include "document/BlendModes.h"

#include <cmath>
#include <cstring>

#include "pixel/PixelTypes.h"
#include "platform/Strings.h"

namespace tintara {
namespace {

using ChannelFn = uint8_t (*)(uint32_t d, uint32_t s);

inline uint32_t Channels(uint32_t d, uint32_t s, ChannelFn f) {
  return uint32_t(f(d >> 16 & 0xFF, s >> 16 & 0xFF)) << 16 | uint32_t(f(d >> 8 & 0xFF, s >> 8 & 0xFF)) << 8 |
         f(d & 0xFF, s & 0xFF);
}

// Separable modes: a per-channel result f, then the normal blend from d to f by t.
template <ChannelFn F>
void SeparableOpaque(uint32_t* p, uint32_t s, uint8_t t) {
  if (t == 0) return;
  BlendNormal(p, Channels(*p, s, F), t);
}

void HueOpaque(uint32_t* p, uint32_t s, uint8_t t) {
  if (t == 0) return;
  BlendNormal(p, SetSatLum(s, Chroma(*p), Luminance(*p)), t);
}
void SaturationOpaque(uint32_t* p, uint32_t s, uint8_t t) {
  if (t == 0) return;
  BlendNormal(p, SetSatLum(*p, Chroma(s), Luminance(*p)), t);
}
void ColorOpaque(uint32_t* p, uint32_t s, uint8_t t) {
  if (t == 0) return;
  BlendNormal(p, SetSatLum(s, Chroma(s), Luminance(*p)), t);
}
void LuminosityOpaque(uint32_t* p, uint32_t s, uint8_t t) {
  if (t == 0) return;
  BlendNormal(p, SetSatLum(*p, Chroma(*p), Luminance(s)), t);
}

// d := max(0, d - (((255 - s) * t * 32897) >> 23)), no interpolation.
void SubtractNegativeOpaque(uint32_t* p, uint32_t s, uint8_t t) {
  const uint32_t d = *p;
  auto ch = [t](uint32_t dc, uint32_t sc) {
    const uint32_t m = ((255 - sc) * t * 32897u) >> 23;
    return dc > m ? dc - m : 0u;
  };
  *p = (d & 0xFF000000u) | ch(d >> 16 & 0xFF, s >> 16 & 0xFF) << 16 | ch(d >> 8 & 0xFF, s >> 8 & 0xFF) << 8 |
       ch(d & 0xFF, s & 0xFF);
}

template <PixelProc Opaque>
void WithSourceAlpha(uint32_t* p, uint32_t s, uint8_t t) {
  Opaque(p, s, Mul8(t, s >> 24));
}

constexpr PixelProc kOpaque[kModeCount] = {
    BlendMultiply,
    BlendAdd,
    BlendSubtract,
    BlendNormal,
    SeparableOpaque<ScreenChannel>,
    SeparableOpaque<OverlayChannel>,
    SeparableOpaque<HardLightChannel>,
    SeparableOpaque<SoftLightChannel>,
    SeparableOpaque<DifferenceChannel>,
    SeparableOpaque<ExclusionChannel>,
    SeparableOpaque<DarkenChannel>,
    SeparableOpaque<LightenChannel>,
    SeparableOpaque<BurnChannel>,
    SeparableOpaque<DodgeChannel>,
    HueOpaque,
    SaturationOpaque,
    ColorOpaque,
    LuminosityOpaque,
    SubtractNegativeOpaque,
    SeparableOpaque<LinearLightChannel>,
    SeparableOpaque<VividLightChannel>,
    SeparableOpaque<PinLightChannel>,
};

constexpr PixelProc kWithAlpha[kModeCount] = {
    WithSourceAlpha<kOpaque[0]>,  WithSourceAlpha<kOpaque[1]>,  WithSourceAlpha<kOpaque[2]>,
    WithSourceAlpha<kOpaque[3]>,  WithSourceAlpha<kOpaque[4]>,  WithSourceAlpha<kOpaque[5]>,
    WithSourceAlpha<kOpaque[6]>,  WithSourceAlpha<kOpaque[7]>,  WithSourceAlpha<kOpaque[8]>,
    WithSourceAlpha<kOpaque[9]>,  WithSourceAlpha<kOpaque[10]>, WithSourceAlpha<kOpaque[11]>,
    WithSourceAlpha<kOpaque[12]>, WithSourceAlpha<kOpaque[13]>, WithSourceAlpha<kOpaque[14]>,
    WithSourceAlpha<kOpaque[15]>, WithSourceAlpha<kOpaque[16]>, WithSourceAlpha<kOpaque[17]>,
    WithSourceAlpha<kOpaque[18]>, WithSourceAlpha<kOpaque[19]>, WithSourceAlpha<kOpaque[20]>,
    WithSourceAlpha<kOpaque[21]>,
};

// code, name id, neutral, merge start, flags.
struct ModeSpec {
  int32_t nameId;
  uint32_t neutral, mergeStart, flags;
};
constexpr ModeSpec kSpecs[kModeCount] = {
    {65178, 0x00FFFFFF, 0x00FFFFFF, 0x20},  // 0 乗算
    {65179, 0x00000000, 0x00000000, 0x20},  // 1 加算
    {65180, 0x00000000, 0x00FFFFFF, 0x21},  // 2 減算
    {65177, 0x00FFFFFF, 0x00000000, 0x00},  // 3 標準
    {65181, 0x00000000, 0x00000000, 0x22},  // 4 スクリーン
    {65182, 0x007F7F7F, 0x007F7F7F, 0x26},  // 5 オーバーレイ
    {65183, 0x007F7F7F, 0x007F7F7F, 0x26},  // 6 ハードライト
    {65152, 0x007F7F7F, 0x007F7F7F, 0x26},  // 7 ソフトライト
    {65153, 0x00000000, 0x00000000, 0x22},  // 8 差の絶対値
    {65154, 0x00000000, 0x00000000, 0x22},  // 9 除外
    {65155, 0x00FFFFFF, 0x00FFFFFF, 0x22},  // 10 比較(暗)
    {65156, 0x00000000, 0x00000000, 0x22},  // 11 比較(明)
    {65157, 0x00FFFFFF, 0x00FFFFFF, 0x22},  // 12 焼き込み
    {65158, 0x00000000, 0x00000000, 0x22},  // 13 覆い焼き
    {65159, 0x00000000, 0x00FFFFFF, 0x1A},  // 14 色相
    {65160, 0x00000000, 0x00FFFFFF, 0x1A},  // 15 彩度
    {65161, 0x00000000, 0x00FFFFFF, 0x1A},  // 16 カラー
    {65162, 0x00000000, 0x00FFFFFF, 0x1A},  // 17 輝度
    {65163, 0x00FFFFFF, 0x00FFFFFF, 0x20},  // 18 減算(ネガ)
    {65164, 0x007F7F7F, 0x007F7F7F, 0x26},  // 19 リニアライト
    {65165, 0x00FFFFFF, 0x00FFFFFF, 0x02},  // 20 ビビッドライト
    {65166, 0x007F7F7F, 0x007F7F7F, 0x26},  // 21 ピンライト
};

struct ModeTable {
  SLayerParam rows[kModeCount];
  MergeParam plainMerge[kModeCount];
  ModeTable() {
    for (int32_t c = 0; c < kModeCount; ++c) {
      rows[c] = {c,          kSpecs[c].nameId,     kSpecs[c].neutral, kWithAlpha[c],
                 kOpaque[c], kSpecs[c].mergeStart, kSpecs[c].flags};
      plainMerge[c] = {kSpecs[c].mergeStart, 0, BlendNormal, kOpaque[c]};
    }
  }
};

const ModeTable& Table() {
  static const ModeTable table;
  return table;
}

constexpr int32_t kPresentation[kModeCount] = {3,  0, 1, 2,  18, 4,  5,  6,  7,  19, 20,
                                               21, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};

inline int32_t ClampChannel(int64_t v) { return v < 0 ? 0 : v > 255 ? 255 : int32_t(v); }

}  // namespace

// --- table ----------------------------------------------------------------------------

const SLayerParam* ModeRow(int32_t code) {
  if (code < 0 || code >= kModeCount) return nullptr;
  return &Table().rows[code];
}

std::string ModeName(int32_t code) {
  const SLayerParam* row = ModeRow(code);
  return row ? ResString(row->nameId) : std::string();
}

uint32_t NeutralColor(int32_t code) { return Table().rows[EffectiveMode(uint32_t(code))].neutral; }

int32_t ModeAtPosition(int32_t position) {
  if (position < 0 || position >= kModeCount) return kModeNormal;
  return kPresentation[position];
}

int32_t PositionOfMode(int32_t code) {
  for (int32_t i = 0; i < kModeCount; ++i)
    if (kPresentation[i] == code) return i;
  return 0;
}

// --- formulas that need more than one line ----------------------------------------------

namespace {
struct SoftLightTable {
  uint8_t d[256];
  SoftLightTable() {
    for (int32_t v = 0; v < 256; ++v) {
      const int64_t x = int64_t(v) * 65536 / 255;
      int64_t D;
      if (x > 16384) {
        D = int64_t(std::nearbyint(std::sqrt(double(x) / 65536.0) * 65536.0));
      } else {
        auto fixmul = [](int64_t a, int64_t b) { return (a * b) >> 16; };
        D = fixmul(fixmul(16 * x - 12 * 65536, x) + 4 * 65536, x);
      }
      d[v] = uint8_t((D * 255) >> 16);
    }
  }
};
const SoftLightTable& SoftTable() {
  static const SoftLightTable t;
  return t;
}
}  // namespace

uint8_t SoftLightD(uint32_t d) { return SoftTable().d[d & 0xFF]; }

uint8_t SoftLightChannel(uint32_t d, uint32_t s) {
  const int32_t F = 2 * int32_t(s), dd = int32_t(d);
  if (s >= 128) return uint8_t((255 * dd + (int32_t(SoftLightD(d)) - dd) * (F - 255)) / 255);
  return uint8_t((255 * dd - (255 - F) * int32_t(Mul8(d, 255 - d))) / 255);
}

namespace {
// x / d for x <= 65025 and 1 <= d <= 255 by a multiply with ceil(2^32 / d): exact there
// (the error x * (M * d - 2^32) stays below 2^32), and much cheaper than a division.
struct Reciprocals {
  uint64_t m[256];
  Reciprocals() {
    m[0] = 0;
    for (uint64_t d = 1; d < 256; ++d) m[d] = ((uint64_t(1) << 32) + d - 1) / d;
  }
};
const Reciprocals& Recip() {
  static const Reciprocals r;
  return r;
}
inline int32_t DivSmall(uint32_t x, uint32_t d) { return int32_t((x * Recip().m[d]) >> 32); }
}  // namespace

uint32_t DivideSmall(uint32_t x, uint32_t d) { return uint32_t(DivSmall(x, d)); }

uint32_t SetSatLum(uint32_t c, uint32_t k, uint32_t L) {
  const int32_t ch[3] = {int32_t(c >> 16 & 0xFF), int32_t(c >> 8 & 0xFF), int32_t(c & 0xFF)};
  const int32_t mx = std::max({ch[0], ch[1], ch[2]}), mn = std::min({ch[0], ch[1], ch[2]});
  const uint32_t alpha = c & 0xFF000000u;
  if (k == 0 || mx == mn) return alpha | L << 16 | L << 8 | L;
  // Every quotient below has a numerator of at most 255 * 255 and a divisor of 1..255.
  int32_t a[3];
  for (int i = 0; i < 3; ++i) a[i] = DivSmall(k * uint32_t(ch[i] - mn), uint32_t(mx - mn));
  const int32_t m = Luminance(uint32_t(a[0]) << 16 | uint32_t(a[1]) << 8 | uint32_t(a[2]));
  const int32_t diff = int32_t(L) - m;
  // The adjusted channels' own maximum: with it the result meets the luminance within a level.
  const int32_t amx = std::max({a[0], a[1], a[2]});
  int32_t out[3];
  if (amx + diff > 255) {
    const int32_t r = std::max<int32_t>(
        1, Luminance(uint32_t(amx - a[0]) << 16 | uint32_t(amx - a[1]) << 8 | uint32_t(amx - a[2])));
    for (int i = 0; i < 3; ++i) out[i] = 255 - DivSmall((255 - L) * uint32_t(amx - a[i]), uint32_t(r));
  } else if (diff < 0) {
    for (int i = 0; i < 3; ++i) out[i] = DivSmall(L * uint32_t(a[i]), uint32_t(m));
  } else {
    for (int i = 0; i < 3; ++i) out[i] = a[i] + diff;
  }
  return alpha | uint32_t(ClampChannel(out[0])) << 16 | uint32_t(ClampChannel(out[1])) << 8 |
         uint32_t(ClampChannel(out[2]));
}

// --- the three forms ----------------------------------------------------------------------

PixelProc BlendOpaque(int32_t code) { return kOpaque[EffectiveMode(uint32_t(code))]; }
PixelProc BlendWithAlpha(int32_t code) { return kWithAlpha[EffectiveMode(uint32_t(code))]; }

void MergeOver(uint32_t* p, uint32_t s, uint8_t w) {
  if (w == 0) return;
  if (w == 255) {
    *p = 0xFF000000u | (s & 0x00FFFFFFu);
    return;
  }
  const uint32_t d = *p >> 24;
  if (d == 255) {
    BlendNormal(p, s, w);
    return;
  }
  const uint32_t d2 = d + MulTab()[w * 256 + (255 - d)];
  *p = WithAlpha(*p, uint8_t(d2));
  BlendNormal(p, s, uint8_t(w * 255 / d2));
}

void MergeNormal(uint32_t* p, uint32_t s, uint8_t t, const void*) {
  MergeOver(p, s, MulTab()[t * 256 + (s >> 24)]);
}

namespace {
// s, e and the result alpha ar shared by most merges.
struct MergeAlphas {
  int32_t d, s, e, ar;
};
inline MergeAlphas Alphas(uint32_t D, uint32_t S, uint8_t t) {
  MergeAlphas m;
  m.d = int32_t(D >> 24);
  m.s = Mul8(S >> 24, t);
  m.e = Mul8(uint32_t(m.d), uint32_t(m.s));
  m.ar = m.d + m.s - m.e;
  return m;
}

// Writes channel results f(Cd, Cs) and alpha ar; with ar = 0 only the alpha (0) is written.
template <class F>
inline void WriteMerged(uint32_t* p, uint32_t S, int32_t ar, F&& f) {
  const uint32_t D = *p;
  if (ar == 0) {
    *p = D & 0x00FFFFFFu;
    return;
  }
  uint32_t out = uint32_t(ar) << 24;
  for (int shift = 0; shift <= 16; shift += 8)
    out |= uint32_t(ClampChannel(f(int32_t(D >> shift & 0xFF), int32_t(S >> shift & 0xFF)))) << shift;
  *p = out;
}
}  // namespace

void MergeMultiply(uint32_t* p, uint32_t S, uint8_t t, const void*) {
  const MergeAlphas m = Alphas(*p, S, t);
  WriteMerged(p, S, m.ar, [&](int32_t cd, int32_t cs) {
    return (int64_t(cd) * m.d + int64_t(cs) * m.s - int64_t(m.e) * (cs + cd - Mul8(cd, cs))) / m.ar;
  });
}

void MergeAddSubtract(uint32_t* p, uint32_t S, uint8_t t, const void*) {
  const int32_t d = int32_t(*p >> 24);
  const int32_t c = MulTab()[(S >> 24) * 256 + t];
  const int32_t e = MulTab()[d * 256 + c];
  if (d + c == e) return;
  int32_t ar = d + c - e;
  if (d > 0 && c > 0) ar = 255;
  WriteMerged(p, S, ar, [&](int32_t cd, int32_t cs) { return (int64_t(cd) * d + int64_t(cs) * c) / ar; });
}

void MergeScreen(uint32_t* p, uint32_t S, uint8_t t, const void*) {
  const MergeAlphas m = Alphas(*p, S, t);
  WriteMerged(p, S, m.ar, [&](int32_t cd, int32_t cs) {
    return (int64_t(cd) * m.d + int64_t(cs) * m.s - int64_t(m.e) * Mul8(cd, cs)) / m.ar;
  });
}

void MergeDifference(uint32_t* p, uint32_t S, uint8_t t, const void*) {
  const MergeAlphas m = Alphas(*p, S, t);
  WriteMerged(p, S, m.ar, [&](int32_t cd, int32_t cs) {
    const int64_t a = std::llabs(255 * int64_t(cs) - int64_t(m.d) * cd);
    return (m.s * a + int64_t(m.d) * cd * (255 - m.s)) / (255 * int64_t(m.ar));
  });
}

void MergeDarken(uint32_t* p, uint32_t S, uint8_t t, const void*) {
  const MergeAlphas m = Alphas(*p, S, t);
  WriteMerged(p, S, m.ar, [&](int32_t cd, int32_t cs) {
    const int64_t g = int64_t(cd) * m.d + 255 * int64_t(255 - m.d);
    // The white under a faint destination is taken out again, so that it cannot show.
    return (m.s * std::min<int64_t>(g, 255 * cs) + g * (255 - m.s) - 65025 * int64_t(255 - m.ar)) /
           (255 * int64_t(m.ar));
  });
}

void MergeLighten(uint32_t* p, uint32_t S, uint8_t t, const void*) {
  const MergeAlphas m = Alphas(*p, S, t);
  WriteMerged(p, S, m.ar, [&](int32_t cd, int32_t cs) {
    const int64_t g = int64_t(cd) * m.d;
    return (m.s * std::max<int64_t>(g, 255 * cs) + (255 - m.s) * g) / (255 * int64_t(m.ar));
  });
}

void GenericMerge(uint32_t* p, uint32_t S, uint8_t t, const void* param) {
  const MergeParam& mp = *static_cast<const MergeParam*>(param);
  const uint32_t D = *p;
  const uint32_t d = D >> 24;
  const uint32_t s = Mul8(S >> 24, t);
  if ((mp.flags & kModeFlagSkipTransparent) && s == 0) return;
  const uint32_t e = Mul8(d, s);
  const int32_t ar = int32_t(d + s - e);
  if (ar == 0) {
    *p = D & 0x00FFFFFFu;
    return;
  }
  const uint32_t start = (mp.flags & kModeFlagStartFromSource) ? S : mp.startColour;
  uint32_t acc = start;
  mp.destinationProc(&acc, D, uint8_t(d));
  mp.sourceProc(&acc, S, uint8_t(s));
  // The start colour's share of what is not covered is taken out again: a faint
  // destination under a faint source keeps its own colour instead of turning to the start
  // colour. With d = 255 or a start of 0 this is the plain acc * 255 / ar.
  uint32_t out = uint32_t(ar) << 24;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int64_t a = acc >> shift & 0xFF, A = start >> shift & 0xFF;
    out |= uint32_t(ClampChannel((a * 255 - A * (255 - ar)) / ar)) << shift;
  }
  *p = out;
}

MergeFn MergeKeepAlpha(int32_t code) {
  switch (EffectiveMode(uint32_t(code))) {
    case kModeMultiply:
      return {MergeMultiply, nullptr};
    case kModeAdd:
    case kModeSubtract:
      return {MergeAddSubtract, nullptr};
    case kModeNormal:
      return {MergeNormal, nullptr};
    case kModeScreen:
      return {MergeScreen, nullptr};
    case kModeDifference:
      return {MergeDifference, nullptr};
    case kModeDarken:
      return {MergeDarken, nullptr};
    case kModeLighten:
      return {MergeLighten, nullptr};
    default:
      return {GenericMerge, &Table().plainMerge[EffectiveMode(uint32_t(code))]};
  }
}

MergeChoice ChooseLayerMerge(int32_t lowerCode, int32_t upperCode, uint32_t option, MergeParam& storage) {
  MergeChoice choice;
  const int32_t lower = EffectiveMode(uint32_t(lowerCode)), upper = EffectiveMode(uint32_t(upperCode));
  const uint32_t low = option & 0xFFFF;
  if (low == 0) {
    choice.ok = true;
    choice.fn = MergeKeepAlpha(upper);
    return choice;
  }
  if (low > 3) return choice;
  choice.ok = true;
  struct Pair {
    int32_t lower, upper;
    MergeProc proc;
  };
  static constexpr Pair kPairs[6] = {{0, 0, MergeMultiply}, {2, 2, MergeAddSubtract},
                                     {3, 0, MergeMultiply}, {0, 3, MergeNormal},
                                     {3, 3, MergeNormal},   {1, 1, MergeAddSubtract}};
  const int32_t n = low == 1 ? 2 : low == 2 ? 4 : 6;
  for (int32_t i = 0; i < n; ++i)
    if (kPairs[i].lower == lower && kPairs[i].upper == upper) {
      choice.fn = {kPairs[i].proc, nullptr};
      return choice;
    }
  const SLayerParam& L = Table().rows[lower];
  const SLayerParam& U = Table().rows[upper];
  storage.startColour = U.mergeStart == L.mergeStart ? U.mergeStart : std::max(U.mergeStart, L.mergeStart);
  storage.flags = U.flags | ((option & 0x10000) ? kModeFlagSkipTransparent : 0);
  storage.destinationProc = L.blendOpaque;
  storage.sourceProc = U.blendOpaque;
  choice.fn = {GenericMerge, &storage};
  choice.throughParam = true;
  choice.invertAfter = (L.flags & kModeFlagInvertAfterMerge) != 0;
  return choice;
}

PixelProc LevelZeroTileProc(int32_t code) {
  switch (EffectiveMode(uint32_t(code))) {
    case kModeMultiply:
      return BlendMultiply;
    case kModeAdd:
      return BlendAdd;
    case kModeSubtract:
      return BlendSubtract;
    default:
      return kWithAlpha[kModeNormal];
  }
}

// --- row loops ------------------------------------------------------------------------------

namespace {

using blendf::u16x8;

// Four pixels at a time in two sets of eight 16-bit lanes (B, G, R, A, B, G, R, A). The
// kernel gives the result lanes from (d, s, w), w the pixel's weight Mul8(t, source alpha) in
// all four lanes of its pixel; alpha lanes keep the destination. The last pixels (and every
// pixel where the vector unit is missing) go through the pixel procedure, which the tests
// hold equal to the kernel.
template <class Kernel, PixelProc Tail>
void VectorRow(uint32_t* dst, const uint32_t* src, int32_t n, uint8_t t, Kernel kernel) {
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i alphaLanes = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
  const u16x8 weight = (u16x8)_mm_set1_epi16(int16_t(t));
  auto half = [&](__m128i d, __m128i s) {
    // The weight of each pixel in all four of its lanes.
    const u16x8 a = (u16x8)_mm_shufflehi_epi16(_mm_shufflelo_epi16(s, 0xFF), 0xFF);
    const u16x8 w = blendf::D255(a * weight);
    const __m128i o = (__m128i)kernel((u16x8)d, (u16x8)s, w);
    return _mm_or_si128(_mm_and_si128(alphaLanes, d), _mm_andnot_si128(alphaLanes, o));
  };
  for (; i + 4 <= n; i += 4) {
    const __m128i D = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
    const __m128i S = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i lo = half(_mm_unpacklo_epi8(D, zero), _mm_unpacklo_epi8(S, zero));
    const __m128i hi = half(_mm_unpackhi_epi8(D, zero), _mm_unpackhi_epi8(S, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
  }
#else
  (void)kernel;
#endif
  for (; i < n; ++i) Tail(dst + i, src[i], t);
}

template <u16x8 (*F)(u16x8, u16x8)>
struct SeparableKernel {
  u16x8 operator()(u16x8 d, u16x8 s, u16x8 w) const { return blendf::Mix(F(d, s), d, w); }
};

template <u16x8 (*F)(u16x8, u16x8), PixelProc Tail>
void SeparableRow(uint32_t* dst, const uint32_t* src, int32_t n, uint8_t t) {
  VectorRow<SeparableKernel<F>, Tail>(dst, src, n, t, SeparableKernel<F>{});
}

template <u16x8 (*F)(u16x8, u16x8, u16x8), PixelProc Tail>
void WeightedRow(uint32_t* dst, const uint32_t* src, int32_t n, uint8_t t) {
  VectorRow<u16x8 (*)(u16x8, u16x8, u16x8), Tail>(dst, src, n, t, F);
}

// Modes whose channel formula divides: one 64 KiB table per mode of the same formula.
struct DivisionTables {
  uint8_t burn[65536], dodge[65536], vivid[65536], soft[65536];
  DivisionTables() {
    for (uint32_t d = 0; d < 256; ++d)
      for (uint32_t s = 0; s < 256; ++s) {
        burn[d << 8 | s] = BurnChannel(d, s);
        dodge[d << 8 | s] = DodgeChannel(d, s);
        vivid[d << 8 | s] = VividLightChannel(d, s);
        soft[d << 8 | s] = SoftLightChannel(d, s);
      }
  }
};
const DivisionTables& DivTables() {
  static const DivisionTables t;
  return t;
}

enum DivisionMode { kBurnTable, kDodgeTable, kVividTable, kSoftTable };

template <DivisionMode M>
void TableRow(uint32_t* dst, const uint32_t* src, int32_t n, uint8_t t) {
  const DivisionTables& all = DivTables();
  const uint8_t* tab = M == kBurnTable    ? all.burn
                       : M == kDodgeTable ? all.dodge
                       : M == kVividTable ? all.vivid
                                          : all.soft;
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t d = dst[i], s = src[i];
    const uint32_t w = Div255(uint32_t(t) * (s >> 24));
    if (w == 0) continue;
    const uint32_t dr = d >> 16 & 0xFF, dg = d >> 8 & 0xFF, db = d & 0xFF;
    const uint32_t r = blendf::Mix<uint32_t>(tab[dr << 8 | (s >> 16 & 0xFF)], dr, w);
    const uint32_t g = blendf::Mix<uint32_t>(tab[dg << 8 | (s >> 8 & 0xFF)], dg, w);
    const uint32_t b = blendf::Mix<uint32_t>(tab[db << 8 | (s & 0xFF)], db, w);
    dst[i] = (d & 0xFF000000u) | r << 16 | g << 8 | b;
  }
}

template <PixelProc Proc>
void ProcRow(uint32_t* dst, const uint32_t* src, int32_t n, uint8_t t) {
  for (int32_t i = 0; i < n; ++i) Proc(dst + i, src[i], t);
}

constexpr BlendRowProc kRows[kModeCount] = {
    WeightedRow<blendf::MultiplyW<u16x8>, kWithAlpha[0]>,
    WeightedRow<blendf::AddW<u16x8>, kWithAlpha[1]>,
    WeightedRow<blendf::SubtractW<u16x8>, kWithAlpha[2]>,
    SeparableRow<blendf::Normal<u16x8>, kWithAlpha[3]>,
    SeparableRow<blendf::Screen<u16x8>, kWithAlpha[4]>,
    SeparableRow<blendf::Overlay<u16x8>, kWithAlpha[5]>,
    SeparableRow<blendf::HardLight<u16x8>, kWithAlpha[6]>,
    TableRow<kSoftTable>,
    SeparableRow<blendf::Difference<u16x8>, kWithAlpha[8]>,
    SeparableRow<blendf::Exclusion<u16x8>, kWithAlpha[9]>,
    SeparableRow<blendf::Darken<u16x8>, kWithAlpha[10]>,
    SeparableRow<blendf::Lighten<u16x8>, kWithAlpha[11]>,
    TableRow<kBurnTable>,
    TableRow<kDodgeTable>,
    ProcRow<kWithAlpha[14]>,
    ProcRow<kWithAlpha[15]>,
    ProcRow<kWithAlpha[16]>,
    ProcRow<kWithAlpha[17]>,
    WeightedRow<blendf::SubtractNegativeW<u16x8>, kWithAlpha[18]>,
    SeparableRow<blendf::LinearLight<u16x8>, kWithAlpha[19]>,
    TableRow<kVividTable>,
    SeparableRow<blendf::PinLight<u16x8>, kWithAlpha[21]>,
};

}  // namespace

void DitheredRow(PixelProc proc, uint32_t* dst, const uint32_t* src, int32_t n, uint8_t t,
                 SRandomState& random, uint8_t level) {
  for (int32_t i = 0; i < n; ++i)
    if (Draw(random) < Mul8(level, src[i] >> 24)) proc(dst + i, src[i], t);
}

BlendRowProc BlendWithAlphaRow(int32_t code) { return kRows[EffectiveMode(uint32_t(code))]; }

}  // namespace tintara
