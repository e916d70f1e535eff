// The tablet on the window system's tablet events: an application-wide event filter turns
// them into samples for the tablet router, which drives pen strokes in the active picture
// window. Events that started or continued a stroke are accepted, so no mouse event is made
// from them; the others are left to become mouse events for the other tools.
#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>

#include "app/TabletRouter.h"

class QTabletEvent;

namespace tintara {

class TDrawWindow;
class TMainForm;

class TTabletInput : public QObject, public ITabletTarget {
  Q_OBJECT
 public:
  // With `ignoreTablet` the tablet is never listened to: the mouse draws.
  TTabletInput(TMainForm& form, bool ignoreTablet);
  ~TTabletInput() override;

  CTabletRouter& Router() { return router_; }
  // The pen is near the tablet: the pen tool's mouse side stays out.
  bool PenNear() const { return router_.IgnoresMouse(); }

  // --- ITabletTarget ------------------------------------------------------------------------
  bool AcceptsPoint(double x, double y) const override;
  bool IsReplaying() const override;
  bool PenDown(double x, double y, float pressure) override;
  void PenMove(double x, double y, float pressure) override;
  void PenUp(double x, double y) override;
  bool SwitchToEraser() override;
  void RestoreFromEraser() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  TMainForm& form_;
  CTabletRouter router_;
  // The window the stroke runs in, and the one whose pen became the eraser.
  QPointer<TDrawWindow> stroking_, erasing_;
  const QEvent* lastEvent_ = nullptr;
  quint64 lastStamp_ = 0;
  int lastType_ = 0;
  QPointF lastPosition_;
};

}  // namespace tintara
