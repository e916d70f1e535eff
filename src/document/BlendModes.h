// The 22 layer blend modes: their table, and the exact integer arithmetic of every mode in
// its three forms — onto an opaque destination, the same weighted by source alpha, and the
// alpha-keeping merge used when the destination itself is transparent.
//
// Every per-channel formula is written once as a small pure function; the pixel
// procedures and the row loops are generated from it.
#pragma once

#include <cstdint>
#include <string>

#include "document/BlendFormulas.h"
#include "pixel/Arith.h"
#include "pixel/Blend.h"

namespace tintara {

enum BlendCode : int32_t {
  kModeMultiply = 0,
  kModeAdd = 1,
  kModeSubtract = 2,
  kModeNormal = 3,
  kModeScreen = 4,
  kModeOverlay = 5,
  kModeHardLight = 6,
  kModeSoftLight = 7,
  kModeDifference = 8,
  kModeExclusion = 9,
  kModeDarken = 10,
  kModeLighten = 11,
  kModeBurn = 12,
  kModeDodge = 13,
  kModeHue = 14,
  kModeSaturation = 15,
  kModeColor = 16,
  kModeLuminosity = 17,
  kModeSubtractNegative = 18,
  kModeLinearLight = 19,
  kModeVividLight = 20,
  kModePinLight = 21,
};
inline constexpr int32_t kModeCount = 22;

// Flag bits of the table that operations read.
inline constexpr uint32_t kModeFlagInvertAfterMerge = 0x01;
inline constexpr uint32_t kModeFlagStartFromSource = 0x08;
inline constexpr uint32_t kModeFlagNeutralChoice = 0x20;
inline constexpr uint32_t kModeFlagSkipTransparent = 0x40;  // added by merge options only

struct SLayerParam {
  int32_t code;
  int32_t nameId;  // resource string id of the name
  uint32_t neutral;
  PixelProc blendWithAlpha;
  PixelProc blendOpaque;
  uint32_t mergeStart;
  uint32_t flags;
};

// The row of a code; nullptr above 21.
const SLayerParam* ModeRow(int32_t code);
std::string ModeName(int32_t code);
uint32_t NeutralColor(int32_t code);
// The code a stored mode byte blends as: byte & 0x7F, and codes above 21 as 21.
constexpr int32_t EffectiveMode(uint32_t modeByte) {
  const int32_t c = int32_t(modeByte & 0x7F);
  return c > 21 ? 21 : c;
}

// Mode lists show the modes in this order.
int32_t ModeAtPosition(int32_t position);  // outside 0..21 -> normal
int32_t PositionOfMode(int32_t code);      // outside 0..21 -> 0

// --- per-channel formulas (d destination, s source) -------------------------------------
constexpr uint32_t Div255(uint32_t x) { return blendf::D255(x); }  // exact for x <= 65025

constexpr uint8_t ScreenChannel(uint32_t d, uint32_t s) { return uint8_t(blendf::Screen(d, s)); }
constexpr uint8_t OverlayChannel(uint32_t d, uint32_t s) { return uint8_t(blendf::Overlay(d, s)); }
constexpr uint8_t HardLightChannel(uint32_t d, uint32_t s) { return uint8_t(blendf::HardLight(d, s)); }
// D(d) of soft light, 0..255 (16.16 evaluation, square root above a quarter).
uint8_t SoftLightD(uint32_t d);
uint8_t SoftLightChannel(uint32_t d, uint32_t s);
constexpr uint8_t DifferenceChannel(uint32_t d, uint32_t s) { return uint8_t(blendf::Difference(d, s)); }
constexpr uint8_t ExclusionChannel(uint32_t d, uint32_t s) { return uint8_t(blendf::Exclusion(d, s)); }
constexpr uint8_t DarkenChannel(uint32_t d, uint32_t s) { return uint8_t(blendf::Darken(d, s)); }
constexpr uint8_t LightenChannel(uint32_t d, uint32_t s) { return uint8_t(blendf::Lighten(d, s)); }
constexpr uint8_t BurnChannel(uint32_t d, uint32_t s) {
  if (s == 0) return d == 255 ? 255 : 0;
  const uint32_t q = (255 - d) * 255 / s;
  return uint8_t(255 - (q < 255 ? q : 255));
}
constexpr uint8_t DodgeChannel(uint32_t d, uint32_t s) {
  if (s == 255) return d != 0 ? 255 : 0;
  const uint32_t q = d * 255 / (255 - s);
  return uint8_t(q < 255 ? q : 255);
}
constexpr uint8_t LinearLightChannel(uint32_t d, uint32_t s) { return uint8_t(blendf::LinearLight(d, s)); }
constexpr uint8_t VividLightChannel(uint32_t d, uint32_t s) {
  if (s >= 128) {
    if (s == 255) return 255;
    const uint32_t q = (d * 255 / (255 - s)) >> 1;
    return uint8_t(q < 255 ? q : 255);
  }
  if (s == 0) return 0;
  const uint32_t q = ((255 - d) * 255 / s) >> 1;
  return uint8_t(255 - (q < 255 ? q : 255));
}
constexpr uint8_t PinLightChannel(uint32_t d, uint32_t s) { return uint8_t(blendf::PinLight(d, s)); }

// x / d for x <= 65025 and 1 <= d <= 255, without a division instruction.
uint32_t DivideSmall(uint32_t x, uint32_t d);

// The colour of `c` re-saturated to chroma k and re-lit to luminance L (alpha of c kept).
uint32_t SetSatLum(uint32_t c, uint32_t k, uint32_t L);
constexpr uint32_t Chroma(uint32_t c) {
  const uint32_t r = c >> 16 & 0xFF, g = c >> 8 & 0xFF, b = c & 0xFF;
  const uint32_t mx = r > g ? (r > b ? r : b) : (g > b ? g : b);
  const uint32_t mn = r < g ? (r < b ? r : b) : (g < b ? g : b);
  return mx - mn;
}

// --- the three forms per code -----------------------------------------------------------
PixelProc BlendOpaque(int32_t code);
PixelProc BlendWithAlpha(int32_t code);

// Input of the generic merge.
struct MergeParam {
  uint32_t startColour = 0;
  uint32_t flags = 0;
  PixelProc destinationProc = nullptr;  // P
  PixelProc sourceProc = nullptr;       // Q
};
// The alpha-keeping merge of a code for plain merging.
MergeFn MergeKeepAlpha(int32_t code);
// The generic merge with a parameter record.
void GenericMerge(uint32_t* p, uint32_t s, uint8_t t, const void* param);
// The specialised merges.
void MergeOver(uint32_t* p, uint32_t s, uint8_t w);
void MergeNormal(uint32_t* p, uint32_t s, uint8_t t, const void*);
void MergeMultiply(uint32_t* p, uint32_t s, uint8_t t, const void*);
void MergeAddSubtract(uint32_t* p, uint32_t s, uint8_t t, const void*);
void MergeScreen(uint32_t* p, uint32_t s, uint8_t t, const void*);
void MergeDifference(uint32_t* p, uint32_t s, uint8_t t, const void*);
void MergeDarken(uint32_t* p, uint32_t s, uint8_t t, const void*);
void MergeLighten(uint32_t* p, uint32_t s, uint8_t t, const void*);

// How one layer (upper code) is merged into another (lower code) with a merge option:
// low word 0 plain, 1..3 alpha-keeping with the pair list of 2, 4, 6 entries; bit 0x10000
// adds flag 0x40 to a built parameter. `storage` holds a built parameter.
struct MergeChoice {
  bool ok = false;  // the option was known
  MergeFn fn;
  bool throughParam = false;  // no pair matched: a parameter was built
  bool invertAfter = false;   // the lower layer's colours are inverted afterwards
};
MergeChoice ChooseLayerMerge(int32_t lowerCode, int32_t upperCode, uint32_t option, MergeParam& storage);

// The per-tile procedure of level-0 papers: the opaque multiply, add and subtract for
// codes 0, 1, 2, the normal blend with source alpha for the rest.
PixelProc LevelZeroTileProc(int32_t code);

// A layer with dither on: each pixel of the row is blended (with the code's procedure) only
// when the next draw from `random` is below Mul8(level, source alpha). One draw per pixel.
void DitheredRow(PixelProc proc, uint32_t* dst, const uint32_t* src, int32_t n, uint8_t t,
                 SRandomState& random, uint8_t level);

// Row loops of the with-source-alpha blend (what compositing runs): dst[i] blended with
// src[i] at weight t.
using BlendRowProc = void (*)(uint32_t* dst, const uint32_t* src, int32_t n, uint8_t t);
BlendRowProc BlendWithAlphaRow(int32_t code);

}  // namespace tintara
