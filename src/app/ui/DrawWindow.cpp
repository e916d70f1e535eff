#include "app/ui/DrawWindow.h"

#include <QCloseEvent>
#include <QImage>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <cmath>

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

}  // namespace

// --- TPaperView ------------------------------------------------------------------------------

TPaperView::TPaperView(TDrawWindow& window) : QAbstractScrollArea(&window), window_(window) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
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
  wheelSum_ += e->angleDelta().y();
  bool changed = false;
  const QPointF centre(DeviceClient().width() / 2.0, DeviceClient().height() / 2.0);
  while (wheelSum_ <= -120) {
    wheelSum_ += 120;
    changed = ZoomAbout(true, centre) || changed;
  }
  while (wheelSum_ >= 120) {
    wheelSum_ -= 120;
    changed = ZoomAbout(false, centre) || changed;
  }
  e->setAccepted(changed);
}

void TPaperView::keyPressEvent(QKeyEvent* e) {
  // A held key's repeats never reach the window's own keys.
  if (!e->isAutoRepeat() && window_.EditKey(e->key(), e->modifiers())) return;
  const bool ctrl = e->modifiers() & Qt::ControlModifier;
  const bool minimised = window_.isMinimized();
  const QPointF centre(DeviceClient().width() / 2.0, DeviceClient().height() / 2.0);
  switch (e->key()) {
    case Qt::Key_Equal:
    case Qt::Key_Plus:
      if (ctrl && !minimised) {
        ZoomAbout(true, centre);
        return;
      }
      break;
    case Qt::Key_Minus:
      if (ctrl && !minimised) {
        ZoomAbout(false, centre);
        return;
      }
      break;
    case Qt::Key_F5:
      ZoomAbout(true, centre);
      return;
    case Qt::Key_F6:
      if (ctrl) {
        if (window_.cycleWindows) window_.cycleWindows(!(e->modifiers() & Qt::ShiftModifier));
      } else {
        ZoomAbout(false, centre);
      }
      return;
    default:
      break;
  }
  QAbstractScrollArea::keyPressEvent(e);
}

// --- TDrawWindow -----------------------------------------------------------------------------

void TDrawWindow::SetBatchRun(bool on) { gBatchRun = on; }
bool TDrawWindow::BatchRun() { return gBatchRun; }

TDrawWindow::TDrawWindow(const PaperSettings& settings, QWidget* parent) : QMdiSubWindow(parent) {
  setAttribute(Qt::WA_DeleteOnClose);
  doc_ = std::make_unique<CPictureDocument>(this, settings);
  view_ = new TPaperView(*this);
  setWidget(view_);
  setFocusProxy(view_);
}

TDrawWindow::~TDrawWindow() { doc_.reset(); }

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

bool TDrawWindow::EditKey(int key, Qt::KeyboardModifiers mods) {
  if ((mods & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier)) !=
      (Qt::ControlModifier | Qt::ShiftModifier))
    return false;
  TPaper& p = Paper();
  switch (key) {
    case Qt::Key_E:
      if (MayEdit()) p.SetSelectionEnabled(p.selectionEnabled == 0);
      break;
    case Qt::Key_H:
      if (MayEdit()) p.SetSelectionVisible(p.selectionVisible == 0);
      break;
    case Qt::Key_I:
      if (MayEdit()) p.InvertSelection(-1);
      break;
    case Qt::Key_S:
      // Save As, unless the picture came from a protected stream.
      if (MayEdit() && !doc_->FromProtectedStream() && saveAs) saveAs(*this);
      break;
    default:
      return false;
  }
  InvalidateView(false);
  return true;
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
