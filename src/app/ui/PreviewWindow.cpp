#include "app/ui/PreviewWindow.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "app/DrawTools.h"
#include "app/ui/DrawWindow.h"
#include "app/ui/MainForm.h"

namespace tintara {

TPreviewWindow::TPreviewWindow(TMainForm& form, QWidget* parent) : TPaletteWindow(form, parent) {
  setMinimumSize(80, 60);
  setMouseTracking(false);
}

void TPreviewWindow::ActiveChanged(TDrawWindow* active) {
  active_ = active;
  thumb_ = QImage();
  update();
}

void TPreviewWindow::Tick() {
  // The thumbnail is small: copying it on the tick keeps the navigator current after every
  // edit, replay step and view change without hooks into each of them.
  if (active_ && !form_.ActiveDrawWindow()) active_ = nullptr;
  if (!active_) {
    if (!thumb_.isNull()) {
      thumb_ = QImage();
      update();
    }
    return;
  }
  const TMTC& t = active_->Paper().navThumb;
  if (!t.IsValid()) return;
  QImage img(t.Width(), t.Height(), QImage::Format_RGB32);
  for (int32_t y = 0; y < t.Height(); ++y)
    std::copy_n(t.Row32(y), t.Width(), reinterpret_cast<uint32_t*>(img.scanLine(y)));
  const QRectF visible = VisibleRect();
  if (img != thumb_ || visible != shownVisible_) {
    thumb_ = img;
    shownVisible_ = visible;
    update();
  }
}

QRectF TPreviewWindow::ThumbRect() const {
  if (thumb_.isNull()) return {};
  const QSizeF fitted = QSizeF(thumb_.size()).scaled(QSizeF(size()) - QSizeF(8, 8), Qt::KeepAspectRatio);
  return {(width() - fitted.width()) / 2.0, (height() - fitted.height()) / 2.0, fitted.width(),
          fitted.height()};
}

QRectF TPreviewWindow::VisibleRect() const {
  if (!active_) return {};
  const TPaper& paper = active_->Paper();
  const QRectF thumb = ThumbRect();
  if (thumb.isEmpty() || paper.width < 1 || paper.height < 1) return {};
  const QSize client = active_->View().DeviceClient();
  // The window's corners on the paper; a turned view shows their bounding box.
  double xs[4], ys[4];
  const double cx[4] = {0, double(client.width()), 0, double(client.width())};
  const double cy[4] = {0, 0, double(client.height()), double(client.height())};
  for (int i = 0; i < 4; ++i)
    WindowToPaper(paper, client.width(), client.height(), cx[i], cy[i], xs[i], ys[i]);
  const double l = *std::min_element(xs, xs + 4), r = *std::max_element(xs, xs + 4);
  const double t = *std::min_element(ys, ys + 4), b = *std::max_element(ys, ys + 4);
  const double sx = thumb.width() / paper.width, sy = thumb.height() / paper.height;
  return QRectF(thumb.left() + l * sx, thumb.top() + t * sy, (r - l) * sx, (b - t) * sy).intersected(thumb);
}

void TPreviewWindow::MoveViewTo(QPointF p) {
  if (!active_) return;
  const QRectF thumb = ThumbRect();
  if (thumb.isEmpty()) return;
  const TPaper& paper = active_->Paper();
  const double px = std::clamp((p.x() - thumb.left()) / thumb.width(), 0.0, 1.0) * paper.width;
  const double py = std::clamp((p.y() - thumb.top()) / thumb.height(), 0.0, 1.0) * paper.height;
  active_->View().CenterOn(px, py);
  Tick();
}

void TPreviewWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Dark));
  if (thumb_.isNull()) return;
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(ThumbRect(), thumb_);
  const QRectF v = VisibleRect();
  if (v.isEmpty()) return;
  p.setPen(QPen(QColor(220, 30, 30), 1.5));
  p.setBrush(Qt::NoBrush);
  p.drawRect(v.adjusted(0.5, 0.5, -0.5, -0.5));
}

void TPreviewWindow::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) MoveViewTo(e->position());
}

void TPreviewWindow::mouseMoveEvent(QMouseEvent* e) {
  if (e->buttons() & Qt::LeftButton) MoveViewTo(e->position());
}

}  // namespace tintara
