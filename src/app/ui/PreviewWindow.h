// The navigator: the active picture's small copy with the part the window shows outlined; a
// click or drag in it brings that point to the middle of the picture window.
#pragma once

#include <QImage>
#include <QRectF>

#include "app/ui/Palette.h"

namespace tintara {

class TPreviewWindow : public TPaletteWindow {
  Q_OBJECT
 public:
  explicit TPreviewWindow(TMainForm& form, QWidget* parent = nullptr);
  void ActiveChanged(TDrawWindow* active) override;
  void Tick() override;
  // Where the thumbnail is drawn, and the visible part of the picture over it (widget points).
  QRectF ThumbRect() const;
  QRectF VisibleRect() const;
  // Brings the picture point under a widget point to the middle of the active window.
  void MoveViewTo(QPointF widgetPoint);
  QSize sizeHint() const override { return {160, 140}; }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;

 private:
  TDrawWindow* active_ = nullptr;
  QImage thumb_;
  QRectF shownVisible_;
};

}  // namespace tintara
