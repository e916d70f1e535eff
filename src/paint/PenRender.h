// The brush engine's renderer: what one dab does to the pixels of the stroke buffer.
//
// The stroke stepping hands over a position, a size (a radius, or for a bitmap tip a size
// percentage), a pressure and an opacity; the renderer builds the dab mask for the current
// tip, weighs it by the dab's alpha and runs the brush mode's routine over the dab's
// rectangle: stamp, watercolour, blur, eraser, smudge, finger, burn and dodge, or the
// channel pen that paints coverage and composites it onto the working copy.
//
// Everything a renderer keeps between dabs (its tip copy, mask, density table, write slots,
// lightness curve, air map, scratch buffers) is its own: live drawing and a replay in
// another window each have a renderer and never share state.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "paint/PenShape.h"
#include "paint/PenTip.h"
#include "paint/PenWriter.h"
#include "pixel/BlockImage.h"
#include "pixel/DibCore.h"

namespace tintara {

class CLayerData;
class TFlowImage;

enum BrushMode : uint8_t {
  kBrushAirbrush = 0,  // with the channel flag: the pencil
  kBrushWatercolour = 1,
  kBrushBlur = 2,
  kBrushEraser = 3,
  kBrushSmudge = 4,
  kBrushFinger = 5,
  kBrushBurnDodge = 6,
};
inline constexpr int32_t kBrushModeCount = 7;

// The first 16 bytes of a brush record.
struct SPenBrushHead {
  uint8_t mode = kBrushAirbrush;
  uint8_t variant = 0;  // burn and dodge: 0 burn, 1 dodge
  uint8_t pixelAligned = 0;
  uint8_t channel = 0;  // paints through the coverage channel
  uint16_t effect1 = 0, effect2 = 0, effect3 = 0;

  // Mode and variant within their tables, flags 0 or 1, effects 0..100.
  static SPenBrushHead Clamped(const SPenBrushHead& raw);
  friend bool operator==(const SPenBrushHead&, const SPenBrushHead&) = default;
};

// A square copied out of the working copy around a position, for smudge and finger.
class CPenTC : public TMTC {
 public:
  // Side 2 x (ceiling(r) + 3) + 1 centred on the truncated position; outside the image the
  // nearest edge pixel repeats.
  bool Capture(const CDibCore& work, double x, double y, double radius);
  // The pixel at (dx, dy) from the truncated capture position; false outside the square.
  bool At(int32_t dx, int32_t dy, uint32_t& out) const;
  void Reset() { captured = false; }

  bool captured = false;
  double captureRadius = 0;
  double captureX = 0, captureY = 0;
  int32_t originX = 0, originY = 0;  // image position of pixel (0, 0)
  int32_t side = 0;
  double fracX = 0, fracY = 0;
};

// What the renderer reads and updates of the stroke in progress. The stroke owns it; its
// values have been through the stroke's clamping setters.
struct SPenStrokeState {
  uint32_t colour = 0;               // pen colour 0x00RRGGBB
  uint32_t background = 0x00FFFFFF;  // the stroke's background value
  float opacity = 1.0f;              // effective opacity 0.01..1
  bool protectTransparency = false;
  bool useTone = false;
  bool useGradation = false;
  uint32_t neutralColour = 0x00FFFFFF;  // of the active layer's blend mode
  float travelled = 0;                  // path length so far, read by the watercolour pen
  int32_t lastX = 0, lastY = 0;         // last truncated dab position (smudge, finger)
  int32_t fingerCount = -1;
  CPenTC penBuffers[2];
  uint32_t pickedColour = 0, startColour = 0, currentColour = 0;
  float runningR = 0, runningG = 0, runningB = 0;  // the old-pen engine's running colour
  // The brush watercolour's running colour, 16.16 per channel.
  int32_t runningR16 = 0, runningG16 = 0, runningB16 = 0;
};

// The buffers a dab paints: the working copy and coverage channel of the stroke buffer (layer
// store coordinates) and the layer's own pixels, which blur reads and the channel pen
// composites from.
struct SPenSurface {
  TMTC* work = nullptr;
  TChannel* coverage = nullptr;
  const CBlockVMTC* layer = nullptr;

  static SPenSurface Of(TFlowImage& flow, const CLayerData* layer);
};

// The blur kernel radius of a dab: effect 1 percent of its size, to the nearest integer (halves
// up).
int32_t BlurRadiusFor(int32_t effect1, double size);

inline constexpr const char* kBlurOutOfMemoryFormat = "メモリ不足により%sの実行に失敗しました！";
inline constexpr const char* kBlurCaption = "ぼかし";

class CPenRender {
 public:
  static constexpr int32_t kAirMapEntries = 2048;
  static constexpr int32_t kAirMapCount = 5;

  CPenRender();
  CPenRender(const CPenRender&) = delete;
  CPenRender& operator=(const CPenRender&) = delete;

  void SetStroke(SPenStrokeState* stroke) { stroke_ = stroke; }
  SPenStrokeState* Stroke() const { return stroke_; }
  CPenWriter& Writer() { return writer_; }
  const CPenWriter& Writer() const { return writer_; }

  // --- settings -------------------------------------------------------------------------
  // A copy of the tip is kept; a bitmap tip is then drawn instead of the procedural one. With
  // takeParams its geometry, density profile and hard-edge flag become the renderer's.
  void SelectTip(const CPenShapeObj* tip, bool takeParams);
  bool HasBitmapTip() const { return bitmapTip_; }
  const CPenShapeObj& Tip() const { return tip_; }
  // Each returns whether anything changed; values pass the clamping setters.
  bool SetBrushHead(const SPenBrushHead& head);
  bool SetEffects(int32_t effect1, int32_t effect2, int32_t effect3);
  bool SetTipParams(const PenTipParams& params);
  bool SetDensityProfile(const DensityProfile& profile);
  bool SetHardEdge(bool on);
  // The brush's pressure-changes-opacity byte (the watercolour pen reads it).
  void SetPressureOpacity(bool on) { pressureOpacity_ = on; }
  // 1 while the current segment runs mostly along y.
  void SetMinorAxis(bool on) { minorAxis_ = on; }
  const SPenBrushHead& BrushHead() const { return head_; }
  const PenTipParams& TipParams() const { return params_; }
  const DensityProfile& Density() const { return density_.Profile(); }
  bool HardEdge() const { return hardEdge_; }
  bool PressureOpacity() const { return pressureOpacity_; }

  // The air map of the old engines: one of five 2048-entry 16.16 profiles; an index outside
  // the table is refused and the current profile stays.
  bool SelectAirMap(int32_t index);
  int32_t AirMapIndex() const { return airMapIndex_; }
  const uint32_t* AirMap() const { return airMap_.data(); }

  // --- sizes the stepping asks for --------------------------------------------------------
  // The bitmap tip's size at stroke start, or the procedural radius.
  double MaximumSize() const;
  double MinimumSize(double maximum) const;
  double SpacingTerm(double spacing) const;
  void DabExtent(double size, int32_t& width, int32_t& height) const;

  // --- painting ---------------------------------------------------------------------------
  // The stroke's start: colours from the stroke, the write slots, the mode's start routine.
  void BeginStroke(const SPenSurface& surface, float x, float y);
  // One dab of the brush engine: a channel dab with the channel flag, else a colour dab with
  // alpha = opacity x pressure. True when anything was drawn.
  bool Dab(const SPenSurface& surface, float x, float y, float pressure, float opacity, float size);
  bool ColourDab(const SPenSurface& surface, float x, float y, float alpha, uint32_t colour, float size);
  // Coverage only; opacity, selection and tone are applied once, by CompositeChannel.
  bool ChannelDab(const SPenSurface& surface, float x, float y, float pressure, float size);
  // The working copy of `rect` rebuilt from the layer and the coverage channel: the pen colour
  // at coverage x opacity through the colour write.
  void CompositeChannel(const SPenSurface& surface, const SPixRect& rect, uint8_t opacityByte);
  // The bitmap tip gets its stroke-start size back.
  void Finish();

  // --- what was written -------------------------------------------------------------------
  // Bounding boxes of the pixels actually written: by the last dab, since the last take, and
  // since the stroke began.
  const SPixRect& LastDabRect() const { return lastDab_; }
  SPixRect TakeSegmentRect();
  const SPixRect& StrokeRect() const { return strokeRect_; }

  CPenShape& Shape() { return shape_; }
  const CGradeMapObj& DensityMap() const { return density_; }
  int32_t BlurRadius() const { return blurRadius_; }

 private:
  struct DabState {
    int64_t x16 = 0, y16 = 0, hw16 = 0, hh16 = 0;
    int64_t alpha16 = 0;
    uint32_t colour = 0;
    SPixRect rect;
  };

  bool PrepareDab(const SPenSurface& s, float x, float y, float alpha, uint32_t colour, float size,
                  bool aligned, bool minorAxis);
  // Coverage of row py of the dab into cov_[0..w); returns the first and last written index.
  bool CoverageRow(int32_t py, int32_t& first, int32_t& last);
  void Note(const SPixRect& r);
  void NoteRow(int32_t x0, int32_t x1, int32_t y);
  bool EnsureScratch(size_t n);

  void Stamp(TMTC& work, uint32_t colour);
  void Watercolour(TMTC& work, float size);
  bool Blur(const SPenSurface& s);
  void StampBuffer(TMTC& work, const CPenTC& buffer);
  void StartWatercolour(const TMTC& work, float x, float y);
  double CaptureRadius() const;

  SPenStrokeState* stroke_ = nullptr;
  CGradeMapObj density_;
  CPenShape shape_;
  CPenWriter writer_;
  CPenShapeObj tip_;
  bool bitmapTip_ = false;
  int32_t strokeSize_ = 100;
  PenTipParams params_;
  bool hardEdge_ = false;
  bool pressureOpacity_ = false;
  bool minorAxis_ = false;
  SPenBrushHead head_;
  uint32_t penColour_ = 0, background_ = 0x00FFFFFF;
  int32_t airMapIndex_ = 3;
  std::vector<uint32_t> airMap_;
  int32_t blurRadius_ = 0;
  TMTC blurSource_;
  // Column sums of the blur window, 64-bit so that no window can overflow them.
  struct BlurSum {
    int64_t a, r, g, b;
  };
  std::vector<BlurSum> blurColumns_;
  DabState dab_;
  std::vector<uint8_t> cov_;
  std::vector<uint32_t> colours_;
  SPixRect lastDab_, segmentRect_, strokeRect_;
  int32_t dirtyL_ = 0, dirtyT_ = 0, dirtyR_ = 0, dirtyB_ = 0;
  bool dirty_ = false;
};

}  // namespace tintara
