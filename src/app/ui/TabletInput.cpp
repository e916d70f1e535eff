#include "app/ui/TabletInput.h"

#include <QApplication>
#include <QPointingDevice>
#include <QTabletEvent>

#include <cmath>

#include "app/ui/DrawWindow.h"
#include "app/ui/MainForm.h"

namespace tintara {

TTabletInput::TTabletInput(TMainForm& form, bool ignoreTablet)
    : QObject(&form), form_(form), router_(*this, ignoreTablet) {
  if (!ignoreTablet) qApp->installEventFilter(this);
}

TTabletInput::~TTabletInput() {
  if (qApp) qApp->removeEventFilter(this);
}

bool TTabletInput::AcceptsPoint(double x, double y) const {
  const TDrawWindow* w = form_.ActiveDrawWindow();
  return w && w->AcceptsScreenPoint(x, y);
}

bool TTabletInput::IsReplaying() const {
  const TDrawWindow* w = form_.ActiveDrawWindow();
  return w && const_cast<TDrawWindow*>(w)->ReplayRunning();
}

bool TTabletInput::PenDown(double x, double y, float pressure) {
  TDrawWindow* w = form_.ActiveDrawWindow();
  if (!w || !w->TabletPenDown(x, y, pressure)) return false;
  stroking_ = w;
  return true;
}

void TTabletInput::PenMove(double x, double y, float pressure) {
  if (stroking_) stroking_->TabletPenMove(x, y, pressure);
}

void TTabletInput::PenUp(double x, double y) {
  if (stroking_) stroking_->TabletPenUp(x, y);
  stroking_ = nullptr;
}

bool TTabletInput::SwitchToEraser() {
  TDrawWindow* w = form_.ActiveDrawWindow();
  if (!w || !w->Tools().SwitchToEraser()) return false;
  erasing_ = w;
  return true;
}

void TTabletInput::RestoreFromEraser() {
  if (erasing_) erasing_->Tools().RestoreFromEraser();
  erasing_ = nullptr;
}

bool TTabletInput::eventFilter(QObject* watched, QEvent* e) {
  switch (e->type()) {
    case QEvent::TabletEnterProximity:
    case QEvent::TabletLeaveProximity: {
      // Proximity goes to the application object alone; it is seen once.
      if (watched != qApp) break;
      auto* t = static_cast<QTabletEvent*>(e);
      TabletSample s;
      s.kind = e->type() == QEvent::TabletEnterProximity ? TabletEventKind::kProximityEnter
                                                         : TabletEventKind::kProximityLeave;
      s.pointer = t->pointerType() == QPointingDevice::PointerType::Eraser ? TabletPointer::kEraser
                                                                           : TabletPointer::kPen;
      s.altitude = s.pointer == TabletPointer::kEraser ? -1.0 : 1.0;
      router_.Handle(s);
      break;
    }
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease: {
      // An event left unaccepted travels up to the parents, and the filter sees it at each:
      // only its first delivery counts.
      if (!watched->isWidgetType()) break;
      auto* t = static_cast<QTabletEvent*>(e);
      if (e == lastEvent_ && t->timestamp() == lastStamp_ && e->type() == lastType_ &&
          t->globalPosition() == lastPosition_)
        break;
      lastEvent_ = e;
      lastStamp_ = t->timestamp();
      lastType_ = e->type();
      lastPosition_ = t->globalPosition();
      TabletSample s;
      s.x = t->globalPosition().x();
      s.y = t->globalPosition().y();
      s.pressure = e->type() == QEvent::TabletRelease ? 0.0 : t->pressure();
      s.pointer = t->pointerType() == QPointingDevice::PointerType::Eraser ? TabletPointer::kEraser
                                                                           : TabletPointer::kPen;
      s.altitude = s.pointer == TabletPointer::kEraser ? -1.0 : 1.0;
      const bool wasStroking = router_.Stroking();
      router_.Handle(s);
      if (router_.Stroking() || wasStroking) {
        t->accept();
        return true;
      }
      // Left for the system to make a mouse event of: the other tools take it.
      t->ignore();
      break;
    }
    case QEvent::ApplicationDeactivate:
      router_.FocusLost();
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, e);
}

}  // namespace tintara
