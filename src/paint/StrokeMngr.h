// The stroke manager: turns the samples of one stroke into dabs and drives the stroke on the
// paper — begin, continue and end through the paper's flow image, the undo record of the
// touched rectangle and the commit into the layer.
//
// Three engines cut a segment into dabs: the brush engine (the normal one, a brush and a pen
// tip through CPenRender), the old-pen engine (the nine classic pen kinds) and the legacy
// engine (only for replaying the oldest recordings). All share the begin/continue/end
// protocol; the paper's level picks the engine unless the caller names one.
//
// Two seams keep this library free of the event recorder: IStrokeRecorder is told of every
// stroke begin, sample and end while recording, and IStrokeRenderer is what the stepping
// draws through (CStrokeRenderer paints; tests record the dabs).
#pragma once

#include <cstdint>
#include <vector>

#include "document/Paper.h"
#include "paint/PenRender.h"
#include "paint/Stroke.h"

namespace tintara {

// The recorder's side of a stroke. The event recorder implements it; each call returns
// whether the recording took it (a failed recording does not stop the stroke).
class IStrokeRecorder {
 public:
  virtual ~IStrokeRecorder() = default;
  // `shape`: a shape stroke; the engine decides the begin code (old engines 23 or 24, brush
  // engine 48 or 49).
  virtual bool Begin(int32_t layer, bool shape, StrokeEngine engine, float pressure, float x, float y) = 0;
  virtual bool Sample(float pressure, float x, float y) = 0;
  virtual bool End() = 0;
};

// What the stepping needs of a renderer. Positions and rectangles are in layer store
// coordinates; sizes are radii (or a bitmap tip's size percent).
class IStrokeRenderer {
 public:
  virtual ~IStrokeRenderer() = default;
  // The stroke's start: colours, write functions and the start routine of the mode or kind.
  virtual void BeginStroke(StrokeEngine engine, TStroke& stroke, const SPenSurface& surface, float x,
                           float y) = 0;
  // Brush engine sizes.
  virtual double MaximumSize() const = 0;
  virtual double MinimumSize(double maximum) const = 0;
  virtual double SpacingTerm(double spacing) const = 0;
  virtual void DabExtent(double size, int32_t& halfWidth, int32_t& halfHeight) const = 0;
  virtual void SetMinorAxis(bool on) = 0;
  // One dab of each engine; true when anything was drawn.
  virtual bool BrushDab(const SPenSurface& s, float x, float y, float pressure, float opacity,
                        float size) = 0;
  virtual bool OldPenDab(const SPenSurface& s, TStroke& stroke, float x, float y, float size,
                         float pressure) = 0;
  virtual bool LegacyDab(const SPenSurface& s, TStroke& stroke, float x, float y, float pressure) = 0;
  // Pens that paint coverage rebuild the coloured result of a rectangle after each segment.
  virtual bool UsesChannel(StrokeEngine engine, const TStroke& stroke) const = 0;
  virtual void Composite(StrokeEngine engine, const SPenSurface& s, TStroke& stroke,
                         const SPixRect& rect) = 0;
  // The selection mask the writes are limited by (none: nullptr); (dx, dy) takes a store
  // position to the mask channel.
  virtual void SetMask(const CMaskData* mask, int32_t dx, int32_t dy) = 0;
  virtual void Finish() = 0;
};

// The renderers of the three engines over one CPenRender.
class CStrokeRenderer : public IStrokeRenderer {
 public:
  explicit CStrokeRenderer(CPenRender& render);
  ~CStrokeRenderer() override;
  CPenRender& Render() { return render_; }

  void BeginStroke(StrokeEngine engine, TStroke& stroke, const SPenSurface& surface, float x,
                   float y) override;
  double MaximumSize() const override { return render_.MaximumSize(); }
  double MinimumSize(double maximum) const override { return render_.MinimumSize(maximum); }
  double SpacingTerm(double spacing) const override { return render_.SpacingTerm(spacing); }
  void DabExtent(double size, int32_t& w, int32_t& h) const override { render_.DabExtent(size, w, h); }
  void SetMinorAxis(bool on) override;
  bool BrushDab(const SPenSurface& s, float x, float y, float pressure, float opacity, float size) override {
    return render_.Dab(s, x, y, pressure, opacity, size);
  }
  bool OldPenDab(const SPenSurface& s, TStroke& stroke, float x, float y, float size,
                 float pressure) override;
  bool LegacyDab(const SPenSurface& s, TStroke& stroke, float x, float y, float pressure) override;
  bool UsesChannel(StrokeEngine engine, const TStroke& stroke) const override;
  void Composite(StrokeEngine engine, const SPenSurface& s, TStroke& stroke, const SPixRect& rect) override;
  void SetMask(const CMaskData* mask, int32_t dx, int32_t dy) override {
    render_.Writer().SetMask(mask, dx, dy);
  }
  void Finish() override { render_.Finish(); }

 private:
  struct OldPen;
  CPenRender& render_;
  std::unique_ptr<OldPen> old_;
  bool minorAxis_ = false;
};

// What the window knows when a pointer sample arrives.
struct PointerState {
  bool replaying = false;     // a replay runs on the window
  bool modifierHeld = false;  // Shift, Space, Ctrl or Alt
  double zoomFactor = 1.0;    // of the view
  int32_t zoomStep = 0;       // the view's zoom index (0 = 100 %)
};

enum class PointerResult : uint8_t { kIgnored, kBegan, kContinued, kDropped, kEnded };

struct ShapeVertex {
  float x = 0, y = 0;
};

class CStrokeMngr {
 public:
  CStrokeMngr(TPaper& paper, TFlowImage& flow, TStroke& stroke, IStrokeRenderer& renderer);

  void SetStroke(TStroke& stroke) { stroke_ = &stroke; }
  void SetRenderer(IStrokeRenderer& renderer) { renderer_ = &renderer; }
  void SetPaper(TPaper& paper, TFlowImage& flow);
  void SetRecorder(IStrokeRecorder* recorder) { recorder_ = recorder; }
  TStroke& Stroke() const { return *stroke_; }
  TPaper& Paper() const { return *paper_; }

  uint8_t InterpolationMode() const { return interpolate_.Mode(); }
  void SetInterpolationMode(uint8_t mode) { interpolate_.SetMode(mode); }
  const StrokeParams& Params() const { return params_; }
  // Every field passes its setter.
  void SetParams(const StrokeParams& params) { params_ = StrokeParams::Clamped(params); }

  // --- the protocol -----------------------------------------------------------------------
  // Begins a stroke on the stroke's layer (the active layer when it is negative) with the
  // paper's engine, or the one given. False, and nothing begins, when the layer does not
  // exist, the sample is not finite or a stroke already runs.
  bool Begin(const StrokeSample& first, bool record);
  bool Begin(StrokeEngine engine, const StrokeSample& first, bool record);
  // One more sample; true when anything was drawn. A non-finite sample is dropped.
  bool Continue(const StrokeSample& s, bool record);
  // The end: the undo record of the touched rectangle, the commit into the layer, the window
  // refreshed. `paperRect` receives the rectangle in paper coordinates (0 x 0 for a click).
  bool End(bool record, SPixRect* paperRect = nullptr);
  // Pen-up: a last pressure-0 sample at (x, y), then the end.
  bool PenUp(float x, float y, bool record, SPixRect* paperRect = nullptr);
  bool Running() const { return running_; }
  StrokeEngine RunningEngine() const { return engine_; }
  int64_t SampleCount() const { return samples_; }
  int32_t LayerIndex() const { return layer_; }

  // --- the pointer side -----------------------------------------------------------------
  // A pen-down or move sample through the sample filter: ignored during a replay or with a
  // modifier held (unless a shape is stroked), begins a stroke when none runs, drops samples
  // too close to the newest one, and ends the stroke instead of taking a 60,001st sample.
  PointerResult PointerSample(const StrokeSample& s, const PointerState& state, bool record);
  // Pen-up: ends the running stroke with a pressure-0 sample at (x, y).
  bool PointerUp(float x, float y, const PointerState& state, bool record);
  // The distance a move must exceed to be taken.
  double DistanceThreshold(const PointerState& state) const;

  // A shape (its vertices in paper coordinates) stroked with the current pen: pressure is the
  // stroke's effective opacity, no smoothing, no pressure size or opacity; the pen settings
  // come back afterwards whatever happens. A closed shape returns to its first vertex.
  bool StrokeShape(const std::vector<ShapeVertex>& vertices, bool closed, bool record);

  // The pen settings of a shape stroke (no smoothing, no pressure size or opacity, the
  // shape flag) until LeaveShapeMode puts the saved ones back.
  void EnterShapeMode();
  void LeaveShapeMode();

  // --- what the stepping left -------------------------------------------------------------
  // Even-aligned store rectangles of the last segment and of the stroke, clipped to the work
  // buffer; empty when no dab was drawn.
  SPixRect SegmentRect() const;
  SPixRect StrokeRect() const;
  // Clears the stroke buffer's coverage channel in a store rectangle (clipped to the channel).
  void ClearChannel(const SPixRect& storeRect);
  int64_t UnitSteps() const { return unitSteps_; }
  int64_t DabCount() const { return dabs_; }

 private:
  struct Plan;
  bool PrepareLayer();
  void SetupWriter();
  // The segment from history entry 2 to entry 1 (old engines: of the stroke's history).
  int64_t StepBrush();
  int64_t StepOldPen();
  int64_t StepLegacy();
  template <class DabFn>
  int64_t Run(const Plan& plan, DabFn&& dab);
  void NoteDab(int32_t x, int32_t y, int32_t hw, int32_t hh);
  void NoteSegment(const TRect& r, bool replace);
  // The old engines' segment rectangle (rectangle A: both ends grown by the width + 2),
  // merged into rectangle B and the stroke's rectangle.
  void NoteOldSegment(const StrokeSample& p1, const StrokeSample& p2, float width);
  SPixRect Aligned(const TRect& r, bool any) const;
  SPenSurface Surface() const;
  void RefreshSegment();

  TPaper* paper_;
  TFlowImage* flow_;
  TStroke* stroke_;
  IStrokeRenderer* renderer_;
  IStrokeRecorder* recorder_ = nullptr;
  StrokeParams params_;
  CInterpolate interpolate_;
  TRect segment_, whole_;
  bool segmentDab_ = false, wholeDab_ = false;
  int32_t layer_ = -1;
  float lastX_ = 0, lastY_ = 0;
  StrokeSample lastRaw_;
  int32_t majorX_ = -1, previousMajorX_ = -1;
  int64_t unitSteps_ = 0;
  int64_t dabs_ = 0;
  int64_t samples_ = 0;
  bool running_ = false;
  bool recording_ = false;
  struct SavedPen {
    bool active = false;
    bool ifSize = false, ifTransparency = false, noSmoothing = false, shape = false;
    StrokeParams params;
    uint8_t mode = 1;
  } saved_;
  StrokeEngine engine_ = StrokeEngine::kManager;
};

// Drives a recorded stroke through a stroke manager, as the event player hands it over: the
// engine, layer and shape flag first, then the samples — the first begins the stroke, each
// later one continues it (the recording holds the pen-up's pressure-0 sample) — then the end.
// Nothing is recorded; the undo record is made as for a live stroke.
class CStrokeReplay {
 public:
  explicit CStrokeReplay(CStrokeMngr& mngr) : mngr_(mngr) {}
  // False when a stroke already runs.
  bool Start(StrokeEngine engine, int32_t layer, bool shape);
  // False when the stroke could not begin (no such layer, a non-finite first sample).
  bool Sample(const StrokeSample& s);
  // Ends the stroke; a stroke that never got a sample ends as nothing.
  bool Finish(SPixRect* paperRect = nullptr);
  bool Started() const { return started_; }

 private:
  CStrokeMngr& mngr_;
  StrokeEngine engine_ = StrokeEngine::kManager;
  bool started_ = false, begun_ = false, shape_ = false;
};

}  // namespace tintara
