#include "app/DrawTools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/AppProfile.h"
#include "app/ColorMngr.h"
#include "app/PictureDocument.h"
#include "paint/PenMethod.h"
#include "pixel/ColorModels.h"
#include "platform/Notify.h"

namespace tintara {

namespace {

constexpr double kPi = 3.14159265358979323846;

std::string Num(int32_t v) { return std::to_string(v); }

// The pointer's direction about the window centre, in degrees (window y grows downwards).
double DirectionDegrees(TPoint p, int32_t w, int32_t h) {
  return std::atan2(double(p.y) - h / 2.0, double(p.x) - w / 2.0) * 180.0 / kPi;
}

}  // namespace

void WindowToPaper(const TPaper& paper, int32_t clientWidth, int32_t clientHeight, double wx, double wy,
                   double& px, double& py) {
  const double z = paper.ZoomFactor();
  if (paper.IsRotated()) {
    // The turned view samples the paper about its centre point (the display's own mapping).
    const TPoint c = paper.ViewCenter(clientWidth, clientHeight);
    const double dx = wx - clientWidth / 2.0, dy = wy - clientHeight / 2.0;
    px = c.x + (dx * paper.cosine - dy * paper.sine) / z;
    py = c.y + (dx * paper.sine + dy * paper.cosine) / z;
    return;
  }
  const double ox = paper.viewOriginX - z * paper.viewAnchorX, oy = paper.viewOriginY - z * paper.viewAnchorY;
  px = (wx - ox) / z;
  py = (wy - oy) / z;
}

std::string ColourReadout(uint32_t colour) {
  const HsvColor hsv = RgbToHsv(colour & 0x00FFFFFF);
  return "R: " + Num(int32_t((colour >> 16) & 0xFF)) + ", G: " + Num(int32_t((colour >> 8) & 0xFF)) +
         ", B: " + Num(int32_t(colour & 0xFF)) + "\nH: " + Num(hsv.hue >> 16) +
         ", S: " + Num(int32_t(hsv.saturation >> 16)) + ", V: " + Num(int32_t(hsv.value >> 16));
}

CDrawTools::CDrawTools(CPictureDocument& doc, CColorMngr* colours, const ConfigSettings& config,
                       IToolView& view)
    : doc_(doc), colours_(colours), config_(config), view_(view) {}

void CDrawTools::Install(CToolDispatch& dispatch) {
  dispatch_ = &dispatch;
  dispatch.SetHandlers(kToolModePen, PenTools());
  dispatch.SetHandlers(kToolModeZoom, ZoomTools());
  dispatch.SetHandlers(kToolModeEyedropper, EyedropperTools());
  dispatch.SetHandlers(kToolModeView, ViewTools());
  dispatch.SetHandlers(kToolModeFill, FillTools());
  dispatch.SetHandlers(kToolModeDrag, DragTools());
}

void CDrawTools::ToPaper(double wx, double wy, float& x, float& y) const {
  double px = 0, py = 0;
  WindowToPaper(doc_.Paper(), view_.ClientWidth(), view_.ClientHeight(), wx, wy, px, py);
  x = float(px);
  y = float(py);
}

bool CDrawTools::Dragging() const { return dispatch_ && (dispatch_->State() & kStateAnyDrag) != 0; }

// --- colours ------------------------------------------------------------------------------------

std::optional<uint32_t> CDrawTools::ColourAt(TPoint p, bool layer) const {
  const TPaper& paper = doc_.Paper();
  float fx = 0, fy = 0;
  ToPaper(p.x + 0.5, p.y + 0.5, fx, fy);
  const int32_t x = int32_t(std::floor(fx)), y = int32_t(std::floor(fy));
  if (x < 0 || y < 0 || x >= paper.width || y >= paper.height) return std::nullopt;
  if (!layer) {
    if (!paper.composite.IsValid()) return std::nullopt;
    return *paper.composite.Pixel(x, y) & 0x00FFFFFF;
  }
  const int32_t i = paper.ActiveIndex();
  const CLayerData* l = paper.Layer(i);
  if (!l || !l->pixels) return std::nullopt;
  float sx = float(x), sy = float(y);
  paper.ToLayer(i, sx, sy);
  return l->pixels->GetPixel(int32_t(sx), int32_t(sy)) & 0x00FFFFFF;
}

bool CDrawTools::PickColour(TPoint p, bool layer, bool intoSub) {
  const std::optional<uint32_t> c = ColourAt(p, layer);
  if (!c) return false;
  if (colours_)
    return intoSub ? colours_->SetSubColor(*c, kOriginGeneral) : colours_->SetMainColor(*c, kOriginGeneral);
  TStroke& pen = doc_.Stroke();
  const uint32_t before = intoSub ? pen.Background() : pen.Colour();
  if ((before & 0x00FFFFFF) == *c) return false;
  if (intoSub)
    pen.SetBackground(*c);
  else
    pen.SetColour(*c);
  return true;
}

// --- the pen ------------------------------------------------------------------------------------

bool CDrawTools::PenDown(double wx, double wy, float pressure) {
  float x = 0, y = 0;
  ToPaper(wx, wy, x, y);
  lastPaperX_ = x, lastPaperY_ = y;
  const TPaper& paper = doc_.Paper();
  return doc_.StrokeSample({x, y, pressure}, paper.ZoomFactor(), paper.zoomIndex) == PointerResult::kBegan;
}

void CDrawTools::PenMove(double wx, double wy, float pressure) {
  if (!doc_.StrokeRunning()) return;
  float x = 0, y = 0;
  ToPaper(wx, wy, x, y);
  const TPaper& paper = doc_.Paper();
  const PointerResult r = doc_.StrokeSample({x, y, pressure}, paper.ZoomFactor(), paper.zoomIndex);
  if (r != PointerResult::kIgnored) lastPaperX_ = x, lastPaperY_ = y;
}

void CDrawTools::PenUp(double wx, double wy) {
  if (!doc_.StrokeRunning()) return;
  float x = 0, y = 0;
  ToPaper(wx, wy, x, y);
  doc_.StrokeUp(x, y);
}

ToolHandlers CDrawTools::PenTools() {
  ToolHandlers h;
  // The mouse draws at full pressure; while the tablet drives the stroke it stays out.
  h.leftDown = [this](uint32_t, TPoint p) {
    if (!view_.TabletDrives()) PenDown(p.x + 0.5, p.y + 0.5, 1.0f);
  };
  h.leftMove = [this](uint32_t, TPoint p) {
    if (!view_.TabletDrives()) PenMove(p.x + 0.5, p.y + 0.5, 1.0f);
  };
  h.leftUp = [this](uint32_t, std::optional<TPoint> p) {
    if (view_.TabletDrives() || !doc_.StrokeRunning()) return;
    if (p)
      PenUp(p->x + 0.5, p->y + 0.5);
    else
      doc_.StrokeUp(lastPaperX_, lastPaperY_);
  };
  h.rightDown = [this](uint32_t shift, TPoint p) {
    if (config_.useRBtnColPicker) PickColour(p, false, (shift & kShiftShift) != 0);
  };
  h.cancelDrag = [this] {
    if (doc_.StrokeRunning()) doc_.StrokeUp(lastPaperX_, lastPaperY_);
  };
  return h;
}

// --- zoom, eyedropper, view ---------------------------------------------------------------------

ToolHandlers CDrawTools::ZoomTools() {
  ToolHandlers h;
  h.leftDown = [this](uint32_t shift, TPoint p) {
    bool in = SubMode(kToolModeZoom) == kSubZoomIn;
    // Ctrl held over the zoom tool has already brought the other direction as a temporary
    // tool; reversing again would undo it.
    const bool temporary = dispatch_ && (dispatch_->State() & kStateTempTool);
    if ((shift & kShiftCtrl) && !temporary) in = !in;
    // Alt also fits the window to the new size (Space with Alt is the lent zoom, which does not).
    if (view_.ZoomAbout(in, p) && (shift & kShiftAlt) && !(dispatch_ && dispatch_->SpaceHeld()))
      view_.FitWindow();
  };
  return h;
}

ToolHandlers CDrawTools::EyedropperTools() {
  ToolHandlers h;
  h.leftDown = [this](uint32_t shift, TPoint p) { PickColour(p, (shift & kShiftCtrl) != 0, false); };
  h.rightDown = [this](uint32_t shift, TPoint p) { PickColour(p, (shift & kShiftCtrl) != 0, true); };
  h.moveNoButton = [this](uint32_t shift, TPoint p) {
    if (const std::optional<uint32_t> c = ColourAt(p, (shift & kShiftCtrl) != 0))
      view_.ShowOption(ColourReadout(*c), *c);
  };
  return h;
}

double CDrawTools::PenRadius() const {
  if (doc_.Paper().Engine() == StrokeEngine::kManager) return doc_.Pen().render.TipParams().radius100 / 100.0;
  return doc_.Stroke().Width();
}

void CDrawTools::SetPenRadius(double radius) {
  if (!std::isfinite(radius)) return;
  if (doc_.Paper().Engine() == StrokeEngine::kManager) {
    PenTipParams tip = doc_.Pen().render.TipParams();
    tip.radius100 = int32_t(std::lround(std::clamp(radius, 0.01, double(TStroke::kMaxWidth)) * 100.0));
    doc_.Pen().render.SetTipParams(tip);
  } else {
    doc_.Stroke().SetWidth(float(radius));
  }
}

ToolHandlers CDrawTools::ViewTools() {
  ToolHandlers h;
  h.leftDown = [this](uint32_t, TPoint p) {
    press_ = last_ = p;
    angle_ = doc_.Paper().normalisedAngle;
    radius_ = PenRadius();
  };
  h.leftMove = [this](uint32_t, TPoint p) {
    switch (SubMode(kToolModeView)) {
      case kSubViewPan:
        view_.PanBy(p.x - last_.x, p.y - last_.y);
        break;
      case kSubViewRotate: {
        // The paper point under the pointer turns with it.
        const int32_t w = view_.ClientWidth(), hgt = view_.ClientHeight();
        const double turned = DirectionDegrees(p, w, hgt) - DirectionDegrees(press_, w, hgt);
        view_.SetViewAngle(angle_ - turned);
        break;
      }
      default: {
        // One picture pixel of radius per picture pixel dragged to the right.
        const double r = radius_ + (p.x - press_.x) / doc_.Paper().ZoomFactor();
        SetPenRadius(std::max(0.1, r));
        char text[32];
        std::snprintf(text, sizeof text, "%.1f px", PenRadius());
        view_.ShowOption(text);
      }
    }
    last_ = p;
  };
  h.leftUp = [this](uint32_t, std::optional<TPoint>) {
    if (SubMode(kToolModeView) != kSubViewPenRadius) view_.RefreshView();
  };
  h.key = [this](const KeyInput& k) {
    // Esc during a rotation puts the view back as it was at the press.
    if (k.key == kKeyEscape && Dragging() && SubMode(kToolModeView) == kSubViewRotate) {
      view_.SetViewAngle(angle_);
      dispatch_->CancelDrag();
    }
  };
  return h;
}

// --- fills and drags ----------------------------------------------------------------------------

ToolHandlers CDrawTools::FillTools() {
  ToolHandlers h;
  h.leftDown = [this](uint32_t, TPoint) {
    TPaper& paper = doc_.Paper();
    const int32_t i = paper.ActiveIndex();
    switch (SubMode(kToolModeFill)) {
      case kSubFillLayer: {
        const uint32_t colour = colours_ ? colours_->MainColor() : doc_.Stroke().Colour();
        paper.FillSelection(doc_.Flow(), i, colour & 0x00FFFFFF);
        break;
      }
      case kSubClearLayer:
        paper.ClearLayer(doc_.Flow(), i);
        break;
      default:
        return;  // the bucket fill and the magic wand come with their own tools
    }
    view_.RefreshView();
  };
  return h;
}

ToolHandlers CDrawTools::DragTools() {
  ToolHandlers h;
  h.leftDown = [this](uint32_t, TPoint p) {
    press_ = last_ = p;
    moved_ = false;
    if (const CLayerData* l = doc_.Paper().Layer(doc_.Paper().ActiveIndex())) {
      layerX_ = l->viewX;
      layerY_ = l->viewY;
    }
  };
  h.leftMove = [this](uint32_t, TPoint p) {
    last_ = p;
    moved_ = moved_ || p.x != press_.x || p.y != press_.y;
    const uint32_t sub = SubMode(kToolModeDrag);
    if (sub == kSubCrop) {
      view_.ShowRubberBand(TRect{std::min(press_.x, p.x), std::min(press_.y, p.y),
                                 std::max(press_.x, p.x) + 1, std::max(press_.y, p.y) + 1});
    }
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    ToPaper(press_.x + 0.5, press_.y + 0.5, x0, y0);
    ToPaper(p.x + 0.5, p.y + 0.5, x1, y1);
    view_.ShowOption("dx: " + Num(int32_t(std::lround(x1 - x0))) +
                     ", dy: " + Num(int32_t(std::lround(y1 - y0))));
  };
  h.leftUp = [this](uint32_t, std::optional<TPoint> p) {
    view_.ShowRubberBand(std::nullopt);
    // A drag the window ended, or one that never moved, does nothing.
    if (!p || !moved_) return;
    TPaper& paper = doc_.Paper();
    const int32_t i = paper.ActiveIndex();
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    ToPaper(press_.x + 0.5, press_.y + 0.5, x0, y0);
    ToPaper(p->x + 0.5, p->y + 0.5, x1, y1);
    switch (SubMode(kToolModeDrag)) {
      case kSubMoveLayer: {
        // The layer's view position is the layer pixel shown at the paper's origin: moving
        // the picture right takes it left.
        const int32_t dx = int32_t(std::lround(x1 - x0)), dy = int32_t(std::lround(y1 - y0));
        if ((dx || dy) && !paper.SetLayerPosition(doc_.Flow(), i, layerX_ - dx, layerY_ - dy))
          ShowWarning(kLayerMoveFailedText);
        break;
      }
      case kSubCrop: {
        const int32_t left = int32_t(std::floor(std::min(x0, x1))),
                      top = int32_t(std::floor(std::min(y0, y1)));
        const int32_t right = int32_t(std::ceil(std::max(x0, x1))),
                      bottom = int32_t(std::ceil(std::max(y0, y1)));
        const SPixRect r = Intersect(SPixRect{left, top, right - left, bottom - top},
                                     SPixRect{0, 0, paper.width, paper.height});
        if (!r.IsEmpty()) paper.Crop(doc_.Flow(), i, true, r);
        break;
      }
      default:
        return;  // moving the selection and the gradation come with their own tools
    }
    view_.RefreshView();
  };
  h.cancelDrag = [this] { view_.ShowRubberBand(std::nullopt); };
  h.key = [this](const KeyInput& k) {
    if (k.key == kKeyEscape && Dragging()) {
      dispatch_->CancelDrag();
      return;
    }
    if (Dragging()) return;
    if (SubMode(kToolModeDrag) != kSubMoveLayer) return;
    if (k.key == kKeyEnter || k.key == kKeyEscape) {
      EndKeyMove(k.key == kKeyEscape);
      return;
    }
    KeyMove(k.key, k.shift);
  };
  return h;
}

bool CDrawTools::KeyMove(int32_t key, uint32_t shift) {
  int32_t dx = 0, dy = 0;
  switch (key) {
    case kKeyLeft:
      dx = -1;
      break;
    case kKeyRight:
      dx = 1;
      break;
    case kKeyUp:
      dy = -1;
      break;
    case kKeyDown:
      dy = 1;
      break;
    default:
      return false;
  }
  if (shift & kShiftShift) dx *= 10, dy *= 10;
  TPaper& paper = doc_.Paper();
  CLayerData* l = paper.Layer(paper.ActiveIndex());
  if (!l || doc_.Replaying()) return false;
  if (!keyMoving_) {
    if (!dispatch_ || !dispatch_->EnterKeyMoveMode()) return false;
    keyMoving_ = true;
    keyLayer_ = paper.ActiveIndex();
    keyStartX_ = l->viewX;
    keyStartY_ = l->viewY;
  }
  // The layer follows the keys at once; the move is recorded once, when the mode ends.
  l->viewX -= dx;
  l->viewY -= dy;
  doc_.Flow().Invalidate();
  paper.RecompositeAll(true);
  view_.RefreshView();
  return true;
}

void CDrawTools::EndKeyMove(bool cancelled) {
  if (!keyMoving_) return;
  keyMoving_ = false;
  TPaper& paper = doc_.Paper();
  CLayerData* l = paper.Layer(keyLayer_);
  if (l) {
    const int32_t x = l->viewX, y = l->viewY;
    // Back to where the mode began, then the whole move as one recorded, undoable step.
    l->viewX = keyStartX_;
    l->viewY = keyStartY_;
    doc_.Flow().Invalidate();
    if (cancelled || (x == keyStartX_ && y == keyStartY_))
      paper.RecompositeAll(true);
    else if (!paper.SetLayerPosition(doc_.Flow(), keyLayer_, x, y))
      ShowWarning(kLayerMoveFailedText);
  }
  if (dispatch_) dispatch_->LeaveKeyMoveMode(cancelled);
  view_.RefreshView();
}

bool CDrawTools::SwitchToEraser() {
  if (erasing_ || doc_.Replaying() || doc_.StrokeRunning()) return false;
  CLivePen& pen = doc_.Pen();
  savedKind_ = pen.stroke.Kind();
  savedHead_ = pen.render.BrushHead();
  eraserBrush_ = false;
  if (doc_.Paper().Engine() == StrokeEngine::kManager) {
    const CPenMethodObj* eraser = brushes_ ? brushes_->At(brushes_->FindEraser()) : nullptr;
    if (eraser && savedTip_.CopyFrom(pen.render.Tip())) {
      // The list's eraser brush, with its tip, opacity and spacing; the brush in use is kept
      // whole to come back after the stroke.
      savedParams_ = pen.params;
      savedOpacity_ = pen.stroke.Opacity();
      savedGradation_ = pen.stroke.UseGradation();
      savedTone_ = pen.stroke.UseTone();
      savedPressureOpacity_ = pen.render.PressureOpacity();
      ApplyBrush(*eraser, pen.render, pen.stroke, nullptr, true);
      pen.params = eraser->Record().stroke;
      eraserBrush_ = true;
    } else {
      SPenBrushHead head = savedHead_;
      head.mode = kBrushEraser;
      if (!pen.render.SetBrushHead(head)) return false;
    }
  } else {
    pen.stroke.SetKind(kPenEraser);
  }
  erasing_ = true;
  return true;
}

void CDrawTools::RestoreFromEraser() {
  if (!erasing_) return;
  erasing_ = false;
  CLivePen& pen = doc_.Pen();
  pen.stroke.SetKind(savedKind_);
  pen.render.SetBrushHead(savedHead_);
  if (eraserBrush_) {
    pen.render.SelectTip(&savedTip_, true);
    pen.render.SetPressureOpacity(savedPressureOpacity_);
    pen.params = savedParams_;
    pen.stroke.SetOpacity(savedOpacity_);
    pen.stroke.SetUseGradation(savedGradation_);
    pen.stroke.SetUseTone(savedTone_);
    eraserBrush_ = false;
  }
}

uint32_t CDrawTools::SubMode(uint8_t mode) const { return dispatch_ ? dispatch_->SubModeOf(mode) : 0; }

}  // namespace tintara
