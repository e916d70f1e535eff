// Tablet samples into pen strokes: the pressure normalised, a stroke begun by the first pressed
// sample the window accepts and ended when the pressure drops to 0, the pen leaves proximity or
// the window loses the focus; the turned-over pen switched to the eraser while it hovers and
// back once it has left proximity, after the stroke in progress.
//
// The samples arrive already decoded from the window system's tablet events; the router keeps
// no window-system type.
#pragma once

#include <cstdint>
#include <optional>

namespace tintara {

enum class TabletPointer : uint8_t { kPen, kEraser };

enum class TabletEventKind : uint8_t {
  kSample,          // a packet: position and pressure (a press, a move or a release)
  kProximityEnter,  // the pen came near the tablet
  kProximityLeave,  // the pen was taken away
};

struct TabletSample {
  TabletEventKind kind = TabletEventKind::kSample;
  double x = 0, y = 0;  // screen position
  // The pressure as the window system normalised it (0..1), used when no raw value comes.
  double pressure = 0;
  // The device's own reading and its maximum, when the device reports them.
  std::optional<double> rawPressure, rawMaximum;
  TabletPointer pointer = TabletPointer::kPen;
  // Altitude over its maximum; negative when the pen is turned over.
  double altitude = 1;
};

// Pressure 0..1 of a sample: the raw reading over the raw maximum when both are given (a NaN or
// zero maximum reads as no pressure), else the normalised value; NaN is 0 and the result is
// held to 0..1.
float NormalisedPressure(const TabletSample& s);

// The window side of a stroke driven by the tablet.
class ITabletTarget {
 public:
  virtual ~ITabletTarget() = default;
  // The point lies over the active drawing window's client area, that window is the one under
  // the point and the active window belongs to the program.
  virtual bool AcceptsPoint(double x, double y) const = 0;
  virtual bool IsReplaying() const { return false; }
  // The stroke protocol. PenDown returns false when no stroke began (the current tool does not
  // paint, say); the next pressed sample tries again.
  virtual bool PenDown(double x, double y, float pressure) = 0;
  virtual void PenMove(double x, double y, float pressure) = 0;
  virtual void PenUp(double x, double y) = 0;
  // The eraser of the current engine, remembering the pen; false when it could not switch.
  virtual bool SwitchToEraser() = 0;
  // Back to the pen remembered.
  virtual void RestoreFromEraser() = 0;
};

class CTabletRouter {
 public:
  // With `ignoreTablet` the router takes no sample and the mouse draws as without a tablet.
  CTabletRouter(ITabletTarget& target, bool ignoreTablet);
  CTabletRouter(const CTabletRouter&) = delete;
  CTabletRouter& operator=(const CTabletRouter&) = delete;

  bool Enabled() const { return enabled_; }
  // Tablet input switched on or off while running; switching off ends what is under way.
  void SetEnabled(bool on);

  // True when the sample was taken.
  bool Handle(const TabletSample& s);
  // The window lost the focus: a stroke in progress ends at its last position.
  void FocusLost();

  // Mouse presses and moves that the window system derives from the pen must not draw again.
  bool IgnoresMouse() const { return enabled_ && inProximity_; }

  bool InProximity() const { return inProximity_; }
  bool Stroking() const { return stroking_; }
  bool EraserActive() const { return eraserActive_; }

 private:
  void EndStroke();
  void Hover(const TabletSample& s);
  void CheckRestore();

  ITabletTarget& target_;
  bool enabled_;
  bool inProximity_ = false;
  bool stroking_ = false;
  bool eraserActive_ = false;
  double lastX_ = 0, lastY_ = 0;
};

}  // namespace tintara
