#include "app/ui/DrawWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <cmath>

#include "app/ColorMngr.h"
#include "app/ui/MessageBoxes.h"

namespace tintara {

namespace {

bool gBatchRun = false;

// The part of a step's work a replay does per tick, so the window stays responsive.
constexpr int32_t kReplayBudgetMs = 20;

// A bottom-up display buffer as an image over its own pixels (no copy): memory row 0 is the
// picture's last row, so it is drawn through a flip.
QImage ImageOver(const TTC& buffer) {
  return QImage(static_cast<const uchar*>(buffer.Bits()), buffer.Width(), buffer.Height(),
                qsizetype(buffer.Width()) * 4, QImage::Format_RGB32);
}

// The modifiers and buttons of an event as the tools' shift state.
uint32_t ShiftOf(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons = {}) {
  uint32_t s = 0;
  if (mods & Qt::ShiftModifier) s |= kShiftShift;
  if (mods & Qt::AltModifier) s |= kShiftAlt;
  if (mods & Qt::ControlModifier) s |= kShiftCtrl;
  if (buttons & Qt::LeftButton) s |= kShiftLeft;
  if (buttons & Qt::RightButton) s |= kShiftRight;
  if (buttons & Qt::MiddleButton) s |= kShiftMiddle;
  return s;
}

// A Qt key as the tools' key code (letters and digits are their characters).
int32_t KeyCodeOf(int key, Qt::KeyboardModifiers mods) {
  const bool keypad = mods & Qt::KeypadModifier;
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return int32_t(key);
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return int32_t(key);
  switch (key) {
    case Qt::Key_Backspace:
      return kKeyBackspace;
    case Qt::Key_Tab:
      return kKeyTab;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return kKeyEnter;
    case Qt::Key_Shift:
      return kKeyShift;
    case Qt::Key_Control:
      return kKeyCtrl;
    case Qt::Key_Alt:
      return kKeyAlt;
    case Qt::Key_Escape:
      return kKeyEscape;
    case Qt::Key_Space:
      return kKeySpace;
    case Qt::Key_PageUp:
      return kKeyPageUp;
    case Qt::Key_PageDown:
      return kKeyPageDown;
    case Qt::Key_End:
      return kKeyEnd;
    case Qt::Key_Home:
      return kKeyHome;
    case Qt::Key_Left:
      return kKeyLeft;
    case Qt::Key_Up:
      return kKeyUp;
    case Qt::Key_Right:
      return kKeyRight;
    case Qt::Key_Down:
      return kKeyDown;
    case Qt::Key_Insert:
      return kKeyInsert;
    case Qt::Key_Delete:
      return kKeyDelete;
    case Qt::Key_F5:
      return kKeyF5;
    case Qt::Key_F6:
      return kKeyF6;
    case Qt::Key_Plus:  // Shift with "=" on most keyboards
    case Qt::Key_Equal:
      return keypad ? kKeyNumPlus : kKeyEqual;
    case Qt::Key_Minus:
      return keypad ? kKeyNumMinus : kKeyMinus;
    default:
      return 0;
  }
}

Qt::CursorShape CursorOf(ToolChoice t) {
  switch (t.mode) {
    case kToolModeZoom:
      return Qt::PointingHandCursor;
    case kToolModeView:
      return t.subMode == kSubViewPan ? Qt::OpenHandCursor : Qt::SizeAllCursor;
    case kToolModeDrag:
      return t.subMode == kSubCrop ? Qt::CrossCursor : Qt::SizeAllCursor;
    case kToolModeEyedropper:
      return Qt::UpArrowCursor;
    default:
      return Qt::CrossCursor;
  }
}

}  // namespace

// What the tools ask of the window: the dispatch's host and the tools' view.
class TDrawWindow::Bridge : public IToolHost, public IToolView {
 public:
  explicit Bridge(TDrawWindow& w) : w_(w) {}

  // --- IToolHost --------------------------------------------------------------------------
  bool IsReplaying() const override { return w_.doc_->Replaying(); }
  void Beep() override { tintara::Beep(); }
  void SetToolCursor(ToolChoice tool) override { w_.view_->viewport()->setCursor(CursorOf(tool)); }
  bool SelectionExists() const override {
    const CMaskData* m = w_.Paper().masks.Active();
    return m && m->HasChannel();
  }
  bool SelectionEnabled() const override { return w_.Paper().selectionEnabled != 0; }
  uint8_t SelectionValueAt(TPoint p) const override {
    const CMaskData* m = w_.Paper().masks.Active();
    if (!m) return 0;
    double px = 0, py = 0;
    WindowToPaper(w_.Paper(), ClientWidth(), ClientHeight(), p.x + 0.5, p.y + 0.5, px, py);
    return m->CoverageAt(int32_t(std::floor(px)), int32_t(std::floor(py)));
  }
  bool CanZoomIn() const override { return w_.Paper().CanZoomIn(); }
  bool CanZoomOut() const override { return w_.Paper().CanZoomOut(); }
  bool ZoomAbout(bool in, TPoint p) override { return w_.view_->ZoomAbout(in, QPointF(p.x, p.y)); }
  TPoint ClientSize() const override { return {ClientWidth(), ClientHeight()}; }
  bool IsMinimised() const override { return w_.isMinimized(); }
  bool StrokeUnderWay() const override { return w_.doc_->StrokeRunning(); }
  void FitWindow() override {
    if (w_.fitWindow) w_.fitWindow(w_);
  }
  bool CanEditNow() const override { return !QApplication::activeModalWidget() && w_.MayEdit(); }
  bool MaySave() const override { return !w_.doc_->FromProtectedStream(); }
  void RunWindowAction(WindowAction a) override { w_.RunWindowAction(a); }
  void ShowStatus(std::string_view text) override {
    if (w_.showStatus) w_.showStatus(3, QString::fromUtf8(text.data(), qsizetype(text.size())));
  }
  void SetModified() override { w_.doc_->modified = true; }

  // --- IToolView --------------------------------------------------------------------------
  int32_t ClientWidth() const override { return w_.view_->DeviceClient().width(); }
  int32_t ClientHeight() const override { return w_.view_->DeviceClient().height(); }
  void PanBy(int32_t dx, int32_t dy) override { w_.view_->PanBy(dx, dy); }
  void SetViewAngle(double degrees) override { w_.view_->RotateTo(degrees); }
  void RefreshView() override {
    w_.InvalidateView(false);
    if (w_.viewChanged) w_.viewChanged(w_);
  }
  void ShowOption(const std::string& text, std::optional<uint32_t> colour) override {
    if (w_.showOption) {
      w_.showOption(QString::fromStdString(text), colour);
      return;
    }
    // Without a tool-option window the picture window's own panel shows it.
    if (w_.showStatus)
      w_.showStatus(2, QString::fromStdString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')));
  }
  bool TabletDrives() const override { return w_.tabletDrives && w_.tabletDrives(); }
  void ShowRubberBand(std::optional<TRect> r) override { w_.view_->SetRubberBand(r); }

 private:
  TDrawWindow& w_;
};

// --- TPaperView ------------------------------------------------------------------------------

TPaperView::TPaperView(TDrawWindow& window) : QAbstractScrollArea(&window), window_(window) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  // Moves without a button reach the tools (the eyedropper's read-out), and the pen hovers.
  viewport()->setMouseTracking(true);
  viewport()->setAttribute(Qt::WA_TabletTracking);
  horizontalScrollBar()->setSingleStep(16);
  verticalScrollBar()->setSingleStep(16);
}

QSize TPaperView::DeviceClient() const {
  const qreal dpr = devicePixelRatioF();
  return {std::max(1, int(std::lround(viewport()->width() * dpr))),
          std::max(1, int(std::lround(viewport()->height() * dpr)))};
}

void TPaperView::PlaceOrigin() {
  TPaper& paper = window_.Paper();
  const QSize client = DeviceClient();
  const double z = paper.ZoomFactor();
  const int contentW = int(std::ceil(paper.width * z)), contentH = int(std::ceil(paper.height * z));
  const int ox =
      contentW <= client.width() ? (client.width() - contentW) / 2 : -horizontalScrollBar()->value();
  const int oy =
      contentH <= client.height() ? (client.height() - contentH) / 2 : -verticalScrollBar()->value();
  paper.SetViewAnchor(0, 0);
  paper.SetViewOrigin(ox, oy);
  viewChanged_ = true;
}

void TPaperView::Relayout() {
  TPaper& paper = window_.Paper();
  const QSize client = DeviceClient();
  const double z = paper.ZoomFactor();
  const int contentW = int(std::ceil(paper.width * z)), contentH = int(std::ceil(paper.height * z));
  // The scroll area shows or hides its bars from their range signals: not blocked.
  horizontalScrollBar()->setRange(0, std::max(0, contentW - client.width()));
  horizontalScrollBar()->setPageStep(client.width());
  verticalScrollBar()->setRange(0, std::max(0, contentH - client.height()));
  verticalScrollBar()->setPageStep(client.height());
  PlaceOrigin();
  viewport()->update();
}

bool TPaperView::ZoomAbout(bool in, QPointF p) {
  TPaper& paper = window_.Paper();
  if (in ? !paper.CanZoomIn() : !paper.CanZoomOut()) return false;
  const double z0 = paper.ZoomFactor();
  const double qx = (p.x() - paper.viewOriginX) / z0, qy = (p.y() - paper.viewOriginY) / z0;
  if (!(in ? paper.ZoomIn() : paper.ZoomOut())) return false;
  const double z1 = paper.ZoomFactor();
  Relayout();
  const QSignalBlocker bh(horizontalScrollBar()), bv(verticalScrollBar());
  horizontalScrollBar()->setValue(int(std::lround(qx * z1 - p.x())));
  verticalScrollBar()->setValue(int(std::lround(qy * z1 - p.y())));
  PlaceOrigin();
  viewport()->update();
  if (window_.viewChanged) window_.viewChanged(window_);
  return true;
}

bool TPaperView::ZoomToStep(int32_t step) {
  TPaper& paper = window_.Paper();
  if (paper.zoomIndex == step) return false;
  const QSize c = DeviceClient();
  const double z0 = paper.ZoomFactor();
  const double qx = (c.width() / 2.0 - paper.viewOriginX) / z0,
               qy = (c.height() / 2.0 - paper.viewOriginY) / z0;
  paper.SetZoomIndex(step);
  const double z1 = paper.ZoomFactor();
  Relayout();
  const QSignalBlocker bh(horizontalScrollBar()), bv(verticalScrollBar());
  horizontalScrollBar()->setValue(int(std::lround(qx * z1 - c.width() / 2.0)));
  verticalScrollBar()->setValue(int(std::lround(qy * z1 - c.height() / 2.0)));
  PlaceOrigin();
  viewport()->update();
  if (window_.viewChanged) window_.viewChanged(window_);
  return true;
}

bool TPaperView::RotateTo(double degrees) {
  TPaper& paper = window_.Paper();
  const QSize c = DeviceClient();
  const TPoint centre = paper.ViewCenter(c.width(), c.height());
  const bool wasRotated = paper.IsRotated();
  if (!paper.SetViewAngle(degrees)) return false;
  if (!wasRotated) {
    // A turned view is placed by the paper point at its centre.
    paper.viewShiftX = float(centre.x);
    paper.viewShiftY = float(centre.y);
  }
  Relayout();
  if (!paper.IsRotated()) {
    // Back to the plain view: the scroll bars bring the same point to the centre.
    const double z = paper.ZoomFactor();
    const QSignalBlocker bh(horizontalScrollBar()), bv(verticalScrollBar());
    horizontalScrollBar()->setValue(int(std::lround(centre.x * z - c.width() / 2.0)));
    verticalScrollBar()->setValue(int(std::lround(centre.y * z - c.height() / 2.0)));
    PlaceOrigin();
  }
  viewport()->update();
  if (window_.viewChanged) window_.viewChanged(window_);
  return true;
}

void TPaperView::paintEvent(QPaintEvent* e) {
  PaintPicture(e);
  if (!rubberBand_) return;
  QPainter painter(viewport());
  const qreal dpr = devicePixelRatioF();
  painter.setTransform(QTransform::fromScale(1.0 / dpr, 1.0 / dpr));
  QPen dotted(Qt::black, 0, Qt::DotLine);
  painter.setPen(dotted);
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  const TRect& r = *rubberBand_;
  painter.drawRect(QRect(r.left, r.top, r.right - r.left - 1, r.bottom - r.top - 1));
}

void TPaperView::PaintPicture(QPaintEvent* e) {
  QPainter painter(viewport());
  TPaper& paper = window_.Paper();
  const qreal dpr = devicePixelRatioF();
  const QTransform toLogical = QTransform::fromScale(1.0 / dpr, 1.0 / dpr);
  const QRect logical = e->rect();
  const QRect device(int(std::floor(logical.x() * dpr)), int(std::floor(logical.y() * dpr)),
                     int(std::ceil(logical.width() * dpr)) + 1, int(std::ceil(logical.height() * dpr)) + 1);
  painter.setTransform(toLogical);
  painter.fillRect(device, palette().color(QPalette::Dark));
  if (!paper.composite.IsValid()) return;
  const QSize client = DeviceClient();
  if (viewChanged_) {
    paper.RefreshView(client.width(), client.height());
    viewChanged_ = false;
  }
  const TRect want{device.left(), device.top(), device.left() + device.width(),
                   device.top() + device.height()};
  const PaintSource src = paper.PaintRect(want, client.width(), client.height());
  const QRect clip(src.windowRect.left, src.windowRect.top, src.windowRect.Width(), src.windowRect.Height());
  painter.setClipRect(clip);
  switch (src.kind) {
    case PaintSource::kNothing:
      return;
    case PaintSource::kViewBuffer:
    case PaintSource::kPlainBuffer: {
      const TTC& buffer = src.kind == PaintSource::kViewBuffer ? paper.viewBuffer : paper.plainBuffer;
      if (!buffer.IsValid()) return;
      painter.setTransform(QTransform(1, 0, 0, -1, 0, buffer.Height()) * toLogical);
      painter.drawImage(QPointF(0, 0), ImageOver(buffer));
      return;
    }
    case PaintSource::kCompositeStretched: {
      const double z = src.factor;
      painter.setTransform(QTransform(z, 0, 0, -z, src.originX, src.originY + z * paper.composite.Height()) *
                           toLogical);
      painter.drawImage(QPointF(0, 0), ImageOver(paper.composite));
      return;
    }
  }
}

void TPaperView::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  Relayout();
}

void TPaperView::scrollContentsBy(int, int) {
  PlaceOrigin();
  viewport()->update();
}

void TPaperView::wheelEvent(QWheelEvent* e) {
  // Touchpads send small deltas: they are summed to whole notches. Toward the user zooms in.
  // With Alt held the X11 plugin reports the wheel as horizontal.
  int delta = e->angleDelta().y();
  if (delta == 0 && (e->modifiers() & Qt::AltModifier)) delta = e->angleDelta().x();
  wheelSum_ += delta;
  bool changed = false;
  const uint32_t shift = ShiftOf(e->modifiers(), e->buttons());
  while (wheelSum_ <= -120) {
    wheelSum_ += 120;
    changed = window_.Dispatch().Wheel(-120, shift) || changed;
  }
  while (wheelSum_ >= 120) {
    wheelSum_ -= 120;
    changed = window_.Dispatch().Wheel(120, shift) || changed;
  }
  e->setAccepted(changed);
}

void TPaperView::keyPressEvent(QKeyEvent* e) {
  KeyInput k;
  k.key = KeyCodeOf(e->key(), e->modifiers());
  k.shift = ShiftOf(e->modifiers());
  k.autoRepeat = e->isAutoRepeat();
  const bool used = k.key != 0 && window_.Dispatch().KeyDown(k);
  // The cursor keys belong to the layer-move tool (cursor-key moves) rather than to scrolling.
  const bool moveKey = k.key >= kKeyLeft && k.key <= kKeyDown && window_.Modes().Mode() == kToolModeDrag &&
                       window_.Modes().SubMode() == kSubMoveLayer;
  if (!used && !moveKey && k.key != kKeyEnter && k.key != kKeyEscape) QAbstractScrollArea::keyPressEvent(e);
}

void TPaperView::keyReleaseEvent(QKeyEvent* e) {
  KeyInput k;
  k.key = KeyCodeOf(e->key(), e->modifiers());
  // X11 sends a release before each auto-repeated press: it is no release of the key.
  k.autoRepeat = e->isAutoRepeat();
  k.shift = ShiftOf(e->modifiers());
  window_.Dispatch().KeyUp(k);
  QAbstractScrollArea::keyReleaseEvent(e);
}

TPoint TPaperView::DevicePoint(QPointF p) const {
  const qreal dpr = devicePixelRatioF();
  return {int32_t(std::floor(p.x() * dpr)), int32_t(std::floor(p.y() * dpr))};
}

namespace {
MouseButton ButtonOf(Qt::MouseButton b) {
  return b == Qt::RightButton    ? MouseButton::kRight
         : b == Qt::MiddleButton ? MouseButton::kMiddle
                                 : MouseButton::kLeft;
}
bool Handled(Qt::MouseButton b) {
  return b == Qt::LeftButton || b == Qt::RightButton || b == Qt::MiddleButton;
}
}  // namespace

void TPaperView::mousePressEvent(QMouseEvent* e) {
  // With the pen near the tablet the pen tool stays out of these (the tablet draws); the other
  // tools take the pointer the system derives from the pen.
  if (!Handled(e->button())) return;
  window_.Dispatch().PointerDown(ButtonOf(e->button()), ShiftOf(e->modifiers(), e->buttons()),
                                 DevicePoint(e->position()), false);
}

void TPaperView::mouseDoubleClickEvent(QMouseEvent* e) {
  if (!Handled(e->button())) return;
  window_.Dispatch().PointerDown(ButtonOf(e->button()), ShiftOf(e->modifiers(), e->buttons()) | kShiftDouble,
                                 DevicePoint(e->position()), true);
}

void TPaperView::mouseMoveEvent(QMouseEvent* e) {
  if (e->buttons() & Qt::LeftButton) AutoScroll(DevicePoint(e->position()));
  window_.Dispatch().PointerMove(ShiftOf(e->modifiers(), e->buttons()), DevicePoint(e->position()));
}

void TPaperView::mouseReleaseEvent(QMouseEvent* e) {
  if (!Handled(e->button())) return;
  window_.Dispatch().PointerUp(ButtonOf(e->button()), ShiftOf(e->modifiers(), e->buttons()),
                               DevicePoint(e->position()));
}

void TPaperView::focusOutEvent(QFocusEvent* e) {
  // A dialog or another program took the keyboard: nothing stays held or half-dragged, a
  // cursor-key move ends as it stands, and a stroke the tablet drives ends too.
  window_.Dispatch().FocusLost();
  if (window_.Tools().KeyMoving()) window_.Tools().FinishKeyMove();
  if (window_.tabletFocusLost) window_.tabletFocusLost();
  QAbstractScrollArea::focusOutEvent(e);
}

void TPaperView::PanBy(int32_t dx, int32_t dy) {
  TPaper& paper = window_.Paper();
  if (paper.IsRotated()) {
    // The turned view is placed by its centre point, which moves against the pointer.
    const double z = paper.ZoomFactor();
    paper.ShiftView(-dx / z, -dy / z);
    viewChanged_ = true;
    viewport()->update();
    return;
  }
  horizontalScrollBar()->setValue(horizontalScrollBar()->value() - dx);
  verticalScrollBar()->setValue(verticalScrollBar()->value() - dy);
}

void TPaperView::AutoScroll(TPoint p) {
  // Only a stroke in progress, and only when the user wants it.
  if (!window_.Config().useAutoScroll || !window_.Doc().StrokeRunning() || window_.Paper().IsRotated())
    return;
  constexpr int32_t kMargin = 16, kMaxStep = 48;
  const QSize c = DeviceClient();
  auto excess = [&](int32_t v, int32_t size) {
    if (v < kMargin) return std::max(-kMaxStep, v - kMargin);
    if (v >= size - kMargin) return std::min(kMaxStep, v - (size - kMargin) + 1);
    return 0;
  };
  const int32_t dx = excess(p.x, c.width()), dy = excess(p.y, c.height());
  if (dx) horizontalScrollBar()->setValue(horizontalScrollBar()->value() + dx);
  if (dy) verticalScrollBar()->setValue(verticalScrollBar()->value() + dy);
}

void TPaperView::CenterOn(double px, double py) {
  TPaper& paper = window_.Paper();
  if (paper.IsRotated()) {
    paper.viewShiftX = float(px);
    paper.viewShiftY = float(py);
    viewChanged_ = true;
    viewport()->update();
    return;
  }
  const double z = paper.ZoomFactor();
  const QSize c = DeviceClient();
  horizontalScrollBar()->setValue(int(std::lround(px * z - c.width() / 2.0)));
  verticalScrollBar()->setValue(int(std::lround(py * z - c.height() / 2.0)));
}

void TPaperView::SetRubberBand(std::optional<TRect> r) {
  if (rubberBand_ == r) return;
  rubberBand_ = r;
  viewport()->update();
}

// --- TDrawWindow -----------------------------------------------------------------------------

void TDrawWindow::SetBatchRun(bool on) { gBatchRun = on; }
bool TDrawWindow::BatchRun() { return gBatchRun; }

TDrawWindow::TDrawWindow(const PaperSettings& settings, const DrawWindowContext& context, QWidget* parent)
    : QMdiSubWindow(parent),
      ownModes_(context.modes ? nullptr : std::make_unique<CModeMngr>()),
      ownConfig_(context.config ? nullptr : std::make_unique<ConfigSettings>()),
      modes_(context.modes ? context.modes : ownModes_.get()),
      config_(context.config ? context.config : ownConfig_.get()) {
  setAttribute(Qt::WA_DeleteOnClose);
  doc_ = std::make_unique<CPictureDocument>(this, settings, context.pen);
  view_ = new TPaperView(*this);
  setWidget(view_);
  setFocusProxy(view_);
  bridge_ = std::make_unique<Bridge>(*this);
  dispatch_ = std::make_unique<CToolDispatch>(*bridge_, *modes_, *config_);
  tools_ = std::make_unique<CDrawTools>(*doc_, context.colours, *config_, *bridge_);
  tools_->SetBrushList(context.brushes);
  tools_->Install(*dispatch_);
  dispatch_->RefreshCursor(0);
}

TDrawWindow::~TDrawWindow() {
  // The view goes first, while the window is whole: later, as a child of a half-destroyed
  // window, losing the focus would call into what is gone. Ending a drag needs the view.
  dispatch_->CancelDrag();
  TPaperView* view = view_;
  view_ = nullptr;
  delete view;
  // The tools and the dispatch point into the document: they go first.
  tools_.reset();
  dispatch_.reset();
  doc_.reset();
}

bool TDrawWindow::AcceptsScreenPoint(double x, double y) const {
  if (!QApplication::activeWindow()) return false;
  const QPoint global(int(std::floor(x)), int(std::floor(y)));
  const QWidget* under = QApplication::widgetAt(global);
  if (under != view_->viewport()) return false;
  return view_->viewport()->rect().contains(view_->viewport()->mapFromGlobal(global));
}

namespace {
// A screen position as a device point of the view, fractions kept.
QPointF DeviceOf(const TPaperView& view, double x, double y) {
  const QPointF local = view.viewport()->mapFromGlobal(QPointF(x, y));
  return local * view.devicePixelRatioF();
}
}  // namespace

bool TDrawWindow::TabletPenDown(double x, double y, float pressure) {
  // The tablet draws only with the pen itself: not while a temporary tool is in force or held
  // keys would bring one, and not into a replaying window.
  if (modes_->Mode() != kToolModePen || (dispatch_->State() & (kStateTempTool | kStateAnyDrag))) return false;
  if (doc_->Replaying()) return false;
  // Held keys choose another tool for the press: the system's pointer brings that to the tools.
  const Qt::KeyboardModifiers mods = QApplication::keyboardModifiers();
  if ((mods & (Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier)) || dispatch_->SpaceHeld())
    return false;
  const QPointF d = DeviceOf(*view_, x, y);
  return tools_->PenDown(d.x(), d.y(), pressure);
}

void TDrawWindow::TabletPenMove(double x, double y, float pressure) {
  QPointF d = DeviceOf(*view_, x, y);
  view_->AutoScroll({int32_t(std::floor(d.x())), int32_t(std::floor(d.y()))});
  d = DeviceOf(*view_, x, y);
  tools_->PenMove(d.x(), d.y(), pressure);
}

void TDrawWindow::TabletPenUp(double x, double y) {
  const QPointF d = DeviceOf(*view_, x, y);
  tools_->PenUp(d.x(), d.y());
}

void TDrawWindow::RefreshCaption() {
  const TPaper& paper = Paper();
  setWindowTitle(QString::fromStdString(doc_->path.empty() ? paper.title : doc_->path));
}

void TDrawWindow::Tick(bool singleStep) {
  if (!doc_->Replaying()) return;
  const ReplayTick t = doc_->StepReplay(singleStep ? 0 : kReplayBudgetMs);
  if (t == ReplayTick::kEnded || t == ReplayTick::kFailed) {
    view_->Relayout();
    RefreshCaption();
    if (replayEnded) replayEnded(*this);
  }
}

void TDrawWindow::ZoomIn() {
  const QSize c = view_->DeviceClient();
  view_->ZoomAbout(true, QPointF(c.width() / 2.0, c.height() / 2.0));
}

void TDrawWindow::ZoomOut() {
  const QSize c = view_->DeviceClient();
  view_->ZoomAbout(false, QPointF(c.width() / 2.0, c.height() / 2.0));
}

void TDrawWindow::ZoomActual() { view_->ZoomToStep(0); }

bool TDrawWindow::MayEdit() const {
  const TPaper& p = doc_->Paper();
  return p.initialised != 0 && !doc_->Replaying() && !p.strokeRunning && !doc_->Recorder().InStroke();
}

void TDrawWindow::RunWindowAction(WindowAction a) {
  TPaper& p = Paper();
  const int32_t active = p.ActiveIndex();
  switch (a) {
    case WindowAction::kDeleteSelected:
      p.DeleteSelection(doc_->Flow(), active, p.paperColor);
      break;
    case WindowAction::kClearLayer:
      p.ClearLayer(doc_->Flow(), active);
      break;
    case WindowAction::kFillSelection:
      p.FillSelection(doc_->Flow(), active, doc_->Stroke().Colour() & 0x00FFFFFF);
      break;
    case WindowAction::kCopyPicture:
      if (copyPicture) copyPicture(*this);
      return;
    case WindowAction::kToggleSelectionEnabled:
      p.SetSelectionEnabled(p.selectionEnabled == 0);
      break;
    case WindowAction::kToggleSelectionVisible:
      p.SetSelectionVisible(p.selectionVisible == 0);
      break;
    case WindowAction::kInvertSelection:
      p.InvertSelection(-1);
      break;
    case WindowAction::kSaveAs:
      if (saveAs) saveAs(*this);
      return;
    case WindowAction::kNextWindow:
    case WindowAction::kPreviousWindow:
      if (cycleWindows) cycleWindows(a == WindowAction::kNextWindow);
      return;
  }
  InvalidateView(false);
}

void TDrawWindow::InvalidateView(bool) {
  if (!view_) return;  // the paper is made before its view
  view_->MarkViewChanged();
  view_->viewport()->update();
}

void TDrawWindow::ScrollRangesChanged() {
  if (view_) view_->Relayout();
}

uint32_t TDrawWindow::WindowBackground() const {
  const QColor c = (view_ ? view_->palette() : palette()).color(QPalette::Dark);
  return (uint32_t(c.red()) << 16) | (uint32_t(c.green()) << 8) | uint32_t(c.blue());
}

void TDrawWindow::closeEvent(QCloseEvent* e) {
  // A cursor-key move ends as it stands; while a held key lends another tool the window stays.
  if (tools_->KeyMoving()) tools_->FinishKeyMove();
  if (!dispatch_->MayClose()) {
    e->ignore();
    return;
  }
  if (doc_->modified && !doc_->FromProtectedStream() && !gBatchRun) {
    const std::string text = "\"" + Paper().title + "\" は変更されています。\r保存しますか？";
    switch (AskConfirm(text, ConfirmButtons::YesNoCancel)) {
      case ConfirmAnswer::Yes:
        if (!saveAs || !saveAs(*this)) {
          e->ignore();
          return;
        }
        break;
      case ConfirmAnswer::No:
        break;
      default:
        e->ignore();
        return;
    }
  }
  QMdiSubWindow::closeEvent(e);
}

}  // namespace tintara
