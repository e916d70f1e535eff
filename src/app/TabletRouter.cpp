#include "app/TabletRouter.h"

#include <algorithm>
#include <cmath>

namespace tintara {

float NormalisedPressure(const TabletSample& s) {
  double p = s.pressure;
  if (s.rawPressure && s.rawMaximum) {
    const double max = *s.rawMaximum;
    p = (std::isnan(max) || max == 0) ? 0.0 : *s.rawPressure / max;
  }
  if (std::isnan(p)) return 0.0f;
  return float(std::clamp(p, 0.0, 1.0));
}

CTabletRouter::CTabletRouter(ITabletTarget& target, bool ignoreTablet)
    : target_(target), enabled_(!ignoreTablet) {}

void CTabletRouter::SetEnabled(bool on) {
  if (on == enabled_) return;
  if (!on) {
    if (stroking_) EndStroke();
    inProximity_ = false;
    CheckRestore();
  }
  enabled_ = on;
}

void CTabletRouter::EndStroke() {
  stroking_ = false;
  target_.PenUp(lastX_, lastY_);
}

void CTabletRouter::Hover(const TabletSample& s) {
  const bool turnedOver = s.altitude < 0 || s.pointer == TabletPointer::kEraser;
  if (!turnedOver || eraserActive_ || target_.IsReplaying()) return;
  if (target_.SwitchToEraser()) eraserActive_ = true;
}

void CTabletRouter::CheckRestore() {
  // Every way out of proximity ends the stroke first, so the pen comes back after it.
  if (!eraserActive_ || inProximity_ || stroking_) return;
  eraserActive_ = false;
  target_.RestoreFromEraser();
}

bool CTabletRouter::Handle(const TabletSample& s) {
  if (!enabled_) return false;
  switch (s.kind) {
    case TabletEventKind::kProximityEnter:
      inProximity_ = true;
      Hover(s);
      break;
    case TabletEventKind::kProximityLeave:
      inProximity_ = false;
      // The lift was never reported: the stroke ends where the pen was last seen.
      if (stroking_) EndStroke();
      break;
    case TabletEventKind::kSample: {
      // A packet means the pen is near, whether or not the entry was reported.
      inProximity_ = true;
      const float p = NormalisedPressure(s);
      if (p != 0) {
        if (stroking_) {
          target_.PenMove(s.x, s.y, p);
          lastX_ = s.x, lastY_ = s.y;
        } else if ((target_.IsReplaying() || target_.AcceptsPoint(s.x, s.y)) &&
                   target_.PenDown(s.x, s.y, p)) {
          stroking_ = true;
          lastX_ = s.x, lastY_ = s.y;
        }
      } else {
        if (stroking_) EndStroke();
        Hover(s);
      }
      break;
    }
  }
  CheckRestore();
  return true;
}

void CTabletRouter::FocusLost() {
  if (!enabled_) return;
  if (stroking_) EndStroke();
  // The leave may go to another program while we are not focused; a stale proximity would
  // keep the mouse from drawing. The pen's next packet brings it back.
  inProximity_ = false;
  CheckRestore();
}

}  // namespace tintara
