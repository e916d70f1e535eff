// The per-pixel write functions every pen and fill paints through: the coverage of a pixel
// is limited by the selection mask and the screentone, the colour may come from the
// gradation, and the blend decides what the colour does to the pixel.
//
// Three slots are chosen when a stroke begins (and again when the tone or gradation switch
// or the selection changes): the channel write, the colour write and the blend. Each
// renderer owns its writer, so a replay in one window never changes what live drawing in
// another does. The row forms run the same steps over a run of pixels; the dab loops use
// them so that nothing is looked up per pixel that could be looked up per row.
#pragma once

#include <cstdint>

#include "pixel/Blend.h"
#include "pixel/DibCore.h"

namespace tintara {

class CMaskData;
class CToneMngr;

// The gradation's colour at a pixel, 0xAARRGGBB; supplied by the gradation tool.
class IGradationSource {
 public:
  virtual ~IGradationSource() = default;
  virtual uint32_t ColourAt(int32_t x, int32_t y) const = 0;
};

enum class PenBlend : uint8_t {
  kOver,       // paints opacity into alpha
  kKeepAlpha,  // colour only
  kErase,      // takes alpha away
  kCarry,      // moves colour and alpha of the source in (smudge, blur)
  kLightness,  // the burn and dodge curve, colour only
};

// The blend primitives, one pixel each; c is the coverage 0..255. Over, keep-alpha and erase
// are shared with the paper's fills (pixel/Blend.h).
uint32_t BlendCarryPixel(uint32_t p, uint32_t colour, uint32_t c);
// lightness: 2048 entries of 16.16 in 0..1.
uint32_t BlendLightnessPixel(uint32_t p, uint32_t c, const uint32_t* lightness);

class CPenWriter {
 public:
  using ChannelFn = void (*)(const CPenWriter&, uint8_t* p, int32_t x, int32_t y, uint8_t coverage,
                             uint8_t value);
  using ColourFn = void (*)(const CPenWriter&, uint32_t* p, int32_t x, int32_t y, uint8_t coverage,
                            uint32_t colour);

  static constexpr int32_t kCurveEntries = 2048;

  CPenWriter();

  // Sources. Pixel (x, y) of the working copy reads the mask channel at (x + dx, y + dy), the
  // tone at (x + dx, y + dy) and the gradation at (x + dx, y + dy). A mask without a channel
  // counts as none.
  void SetMask(const CMaskData* mask, int32_t dx, int32_t dy);
  void SetTone(const CToneMngr* tone, int32_t dx, int32_t dy);
  void SetGradation(const IGradationSource* gradation, int32_t dx, int32_t dy);
  // Picks the channel and colour writes and the stroke's blend (over, or keep-alpha when
  // transparency is protected).
  void Setup(bool useTone, bool useGradation, bool protectTransparency);

  bool Masked() const { return masked_; }
  bool Toned() const { return toned_; }
  bool Graded() const { return graded_; }
  PenBlend Blend() const { return blend_; }
  // The stroke's blend, restored by pens that swap it for a dab.
  PenBlend StrokeBlend() const { return strokeBlend_; }
  void SetBlend(PenBlend b) { blend_ = b; }

  // The lightness curve T[i] = (i / 2047) ^ g in 16.16, g = 1 + exposure x 0.002 for burn and
  // its inverse for dodge (exposure 0..100).
  void BuildLightnessCurve(bool dodge, int32_t exposure);
  const uint32_t* LightnessCurve() const { return curve_; }

  // One pixel through the current slots.
  void WriteChannel(uint8_t* p, int32_t x, int32_t y, uint8_t coverage, uint8_t value) const {
    channel_(*this, p, x, y, coverage, value);
  }
  void WriteColour(uint32_t* p, int32_t x, int32_t y, uint8_t coverage, uint32_t colour) const {
    colour_(*this, p, x, y, coverage, colour);
  }
  // The channel write without mask or tone (the channel pen applies them when it composites).
  static void WriteChannelPlain(uint8_t* p, uint8_t coverage, uint8_t value);

  // n pixels from (x, y): row[i] is pixel (x + i, y). `coverage` is scratch and is changed.
  // `colours` (optional) gives one colour per pixel instead of `colour`.
  void WriteChannelRow(uint8_t* row, int32_t x, int32_t y, int32_t n, uint8_t* coverage, uint8_t value) const;
  void WriteColourRow(uint32_t* row, int32_t x, int32_t y, int32_t n, uint8_t* coverage, uint32_t colour,
                      const uint32_t* colours = nullptr) const;

  // The steps before the blend, for callers that blend themselves.
  uint8_t MaskAt(int32_t x, int32_t y) const;
  uint8_t ToneAt(int32_t x, int32_t y, uint8_t coverage) const;
  uint32_t GradationAt(int32_t x, int32_t y) const;
  void MaskRow(int32_t x, int32_t y, int32_t n, uint8_t* out) const;

 private:
  template <bool M, bool T>
  static void ChannelWrite(const CPenWriter& w, uint8_t* p, int32_t x, int32_t y, uint8_t c, uint8_t value);
  template <bool M, bool T, bool G>
  static void ColourWrite(const CPenWriter& w, uint32_t* p, int32_t x, int32_t y, uint8_t c, uint32_t colour);
  uint32_t BlendPixel(uint32_t p, uint32_t colour, uint32_t c) const;
  void BlendRow(uint32_t* row, int32_t n, const uint8_t* coverage, uint32_t colour,
                const uint32_t* colours) const;

  const CMaskData* mask_ = nullptr;
  int32_t maskDx_ = 0, maskDy_ = 0;
  const CToneMngr* tone_ = nullptr;
  int32_t toneDx_ = 0, toneDy_ = 0;
  const IGradationSource* gradation_ = nullptr;
  int32_t gradDx_ = 0, gradDy_ = 0;
  bool masked_ = false, toned_ = false, graded_ = false;
  PenBlend blend_ = PenBlend::kOver;
  PenBlend strokeBlend_ = PenBlend::kOver;
  ChannelFn channel_;
  ColourFn colour_;
  uint32_t curve_[kCurveEntries];
};

// Restores the writer's blend when a dab that swapped it ends, however it ends.
class BlendSwap {
 public:
  BlendSwap(CPenWriter& w, PenBlend b) : w_(w), old_(w.Blend()) { w.SetBlend(b); }
  ~BlendSwap() { w_.SetBlend(old_); }
  BlendSwap(const BlendSwap&) = delete;
  BlendSwap& operator=(const BlendSwap&) = delete;

 private:
  CPenWriter& w_;
  PenBlend old_;
};

}  // namespace tintara
