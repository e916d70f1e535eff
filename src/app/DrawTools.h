// What the tools of a picture window do: the handler sets of the pen, zoom, eyedropper, view,
// one-click fill and drag modes, over the picture's document and the user's colours. The
// window supplies the view side (coordinates, scrolling, rotation, repaint, read-outs) through
// IToolView, so the tools run under a test without a display.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/ToolDispatch.h"
#include "paint/PenRender.h"
#include "paint/PenTip.h"
#include "paint/Stroke.h"

namespace tintara {

class CColorMngr;
class CPenMethodMngr;
class CPictureDocument;
class TPaper;
struct ConfigSettings;

// A window point (view pixels, fractions allowed) as a paper point, for a view of the given
// client size: through the zoom and origin, or about the centre when the view is turned.
void WindowToPaper(const TPaper& paper, int32_t clientWidth, int32_t clientHeight, double wx, double wy,
                   double& px, double& py);

// The eyedropper's read-out of a colour (0x00RRGGBB): "R: %d, G: %d, B: %d" and
// "H: %d, S: %d, V: %d" with the integer parts of its HSV.
std::string ColourReadout(uint32_t colour);

class IToolView {
 public:
  virtual ~IToolView() = default;
  virtual int32_t ClientWidth() const = 0;
  virtual int32_t ClientHeight() const = 0;
  // Zooms one step keeping the window point in place; true when the zoom changed.
  virtual bool ZoomAbout(bool in, TPoint windowPoint) = 0;
  // Moves the picture with the pointer by (dx, dy) window pixels.
  virtual void PanBy(int32_t dx, int32_t dy) = 0;
  // Turns the view to a view angle (degrees, as the paper keeps it).
  virtual void SetViewAngle(double degrees) = 0;
  // Fits the window to the picture at its new zoom.
  virtual void FitWindow() {}
  // The view changed beyond what the operation repainted (pan released, rotation ended).
  virtual void RefreshView() = 0;
  // The tool-option read-out; `colour` is the colour to show beside it.
  virtual void ShowOption(const std::string& text, std::optional<uint32_t> colour = std::nullopt) = 0;
  virtual void ShowStatus(std::string_view text) = 0;
  // Tablet packets drive the stroke: the mouse side of the pen does nothing.
  virtual bool TabletDrives() const { return false; }
  // The rubber band of a drag, in window points (none: hidden).
  virtual void ShowRubberBand(std::optional<TRect> rect) {}
};

class CDrawTools {
 public:
  // `colours` may be null (no colour windows): the eyedropper then sets the pen directly.
  CDrawTools(CPictureDocument& doc, CColorMngr* colours, const ConfigSettings& config, IToolView& view);
  CDrawTools(const CDrawTools&) = delete;
  CDrawTools& operator=(const CDrawTools&) = delete;

  // Installs the handler sets of the modes whose operations exist.
  void Install(CToolDispatch& dispatch);

  // The colour under a window point: of the composite, or of the active layer (`layer`).
  std::optional<uint32_t> ColourAt(TPoint windowPoint, bool layer) const;
  // Takes the colour under the point into the main or the sub colour.
  bool PickColour(TPoint windowPoint, bool layer, bool intoSub);

  // The radius the pen-radius drag changes: the brush tip's with the brush engine, else the
  // stroke's width.
  double PenRadius() const;
  void SetPenRadius(double radius);

  // The pen side of a tablet stroke, in window points.
  bool PenDown(double wx, double wy, float pressure);
  void PenMove(double wx, double wy, float pressure);
  void PenUp(double wx, double wy);

  // Cursor-key moves of the active layer: one step per key (ten with Shift).
  bool KeyMove(int32_t key, uint32_t shift);
  bool KeyMoving() const { return keyMoving_; }
  // Leaves cursor-key move mode keeping the move (the window loses the keyboard, closes, or
  // the tool changes).
  void FinishKeyMove() { EndKeyMove(false); }

  // The turned-over pen: the eraser of the picture's engine (the eraser kind of the old pens,
  // the eraser brush of the brush engine), the pen remembered; and back.
  bool SwitchToEraser();
  void RestoreFromEraser();
  // The brush list whose eraser brush the turned-over pen takes under the brush engine (none:
  // the pen's own brush only changes to the eraser mode).
  void SetBrushList(const CPenMethodMngr* brushes) { brushes_ = brushes; }

 private:
  ToolHandlers PenTools();
  ToolHandlers ZoomTools();
  ToolHandlers EyedropperTools();
  ToolHandlers ViewTools();
  ToolHandlers FillTools();
  ToolHandlers DragTools();
  void ToPaper(double wx, double wy, float& x, float& y) const;
  uint32_t SubMode(uint8_t mode) const;
  bool Dragging() const;
  void EndKeyMove(bool cancelled);

  CPictureDocument& doc_;
  CColorMngr* colours_;
  const ConfigSettings& config_;
  IToolView& view_;
  CToolDispatch* dispatch_ = nullptr;
  // The drag in progress: its press and last points, the layer's view position and the view
  // angle or pen radius at the press.
  TPoint press_{}, last_{};
  bool moved_ = false;
  int32_t layerX_ = 0, layerY_ = 0;
  double angle_ = 0, radius_ = 0;
  float lastPaperX_ = 0, lastPaperY_ = 0;
  // Cursor-key move mode: the layer's position when it began.
  bool keyMoving_ = false;
  bool erasing_ = false;
  int32_t savedKind_ = 0;
  SPenBrushHead savedHead_{};
  // The rest of the brush the eraser brush replaces, put back after the stroke.
  const CPenMethodMngr* brushes_ = nullptr;
  bool eraserBrush_ = false;
  CPenShapeObj savedTip_;
  StrokeParams savedParams_{};
  float savedOpacity_ = 1.0f;
  bool savedGradation_ = false, savedTone_ = false, savedPressureOpacity_ = false;
  int32_t keyLayer_ = -1, keyStartX_ = 0, keyStartY_ = 0;
};

}  // namespace tintara
