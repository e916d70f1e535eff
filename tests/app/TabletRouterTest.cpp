#include "app/TabletRouter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace tintara {
namespace {

using Log = std::vector<std::string>;

std::string Num(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%g", v);
  return b;
}

// The drawing window: its client area is (0, 0)-(100, 100) on the screen.
class FakeTarget : public ITabletTarget {
 public:
  Log log;
  bool replaying = false;
  bool strokes = true;  // the current tool paints
  bool eraserAvailable = true;

  bool AcceptsPoint(double x, double y) const override { return x >= 0 && x < 100 && y >= 0 && y < 100; }
  bool IsReplaying() const override { return replaying; }
  bool PenDown(double x, double y, float p) override {
    log.push_back("down " + Num(x) + "," + Num(y) + " " + Num(p));
    return strokes;
  }
  void PenMove(double x, double y, float p) override {
    log.push_back("move " + Num(x) + "," + Num(y) + " " + Num(p));
  }
  void PenUp(double x, double y) override { log.push_back("up " + Num(x) + "," + Num(y)); }
  bool SwitchToEraser() override {
    log.push_back("eraser");
    return eraserAvailable;
  }
  void RestoreFromEraser() override { log.push_back("restore"); }
};

TabletSample Packet(double x, double y, double pressure, double altitude = 1,
                    TabletPointer pointer = TabletPointer::kPen) {
  TabletSample s;
  s.x = x, s.y = y, s.pressure = pressure, s.altitude = altitude, s.pointer = pointer;
  return s;
}
TabletSample Proximity(bool enter, TabletPointer pointer = TabletPointer::kPen) {
  TabletSample s;
  s.kind = enter ? TabletEventKind::kProximityEnter : TabletEventKind::kProximityLeave;
  s.pointer = pointer;
  return s;
}

class Router : public testing::Test {
 protected:
  Log Take() { return std::exchange(target.log, {}); }
  FakeTarget target;
  CTabletRouter router{target, false};
};

TEST(TabletPressure, RawReadingOverItsMaximum) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    std::optional<double> raw, max;
    double normalised;
    float expected;
  };
  const Case cases[] = {
      {512, 1023, 0.9, float(512.0 / 1023.0)},  // the raw reading wins
      {0, 1023, 0.9, 0.0f},
      {1023, 1023, 0, 1.0f},
      {2000, 1023, 0, 1.0f},   // past the maximum
      {-5, 1023, 0, 0.0f},     //
      {512, 0, 0.9, 0.0f},     // no maximum: no pressure
      {512, nan, 0.9, 0.0f},   //
      {nan, 1023, 0.9, 0.0f},  //
      {512, {}, 0.25, 0.25f},  // without a maximum the normalised value counts
      {{}, 1023, 0.25, 0.25f},
      {{}, {}, nan, 0.0f},
      {{}, {}, 1.5, 1.0f},
      {{}, {}, -0.5, 0.0f},
  };
  for (const Case& c : cases) {
    TabletSample s = Packet(0, 0, c.normalised);
    s.rawPressure = c.raw, s.rawMaximum = c.max;
    EXPECT_FLOAT_EQ(NormalisedPressure(s), c.expected)
        << (c.raw ? *c.raw : -1) << "/" << (c.max ? *c.max : -1) << " " << c.normalised;
  }
  TabletSample half = Packet(0, 0, 0);
  half.rawPressure = 512, half.rawMaximum = 1023;
  EXPECT_NEAR(NormalisedPressure(half), 0.5005, 0.00005);
}

TEST_F(Router, PressureDrivesTheStrokeAndLiftingEndsItAtTheLastPoint) {
  EXPECT_TRUE(router.Handle(Packet(10, 10, 0)));  // hovering
  EXPECT_TRUE(router.Handle(Packet(10, 10, 0.5)));
  EXPECT_TRUE(router.Stroking());
  router.Handle(Packet(20, 30, 0.75));
  router.Handle(Packet(25, 35, 0));
  EXPECT_FALSE(router.Stroking());
  router.Handle(Packet(26, 36, 0));  // still hovering: nothing more to end
  EXPECT_EQ(Take(), (Log{"down 10,10 0.5", "move 20,30 0.75", "up 20,30"}));
}

TEST_F(Router, StrokeStartsOnlyOverTheWindow) {
  router.Handle(Packet(150, 10, 0.5));  // pressed outside
  router.Handle(Packet(120, 10, 0.5));
  EXPECT_FALSE(router.Stroking());
  router.Handle(Packet(90, 10, 0.5));   // dragged inside: the stroke starts here
  router.Handle(Packet(130, 10, 0.5));  // and follows the pen out again
  router.Handle(Packet(130, 10, 0));
  EXPECT_EQ(Take(), (Log{"down 90,10 0.5", "move 130,10 0.5", "up 130,10"}));
  // A replaying window takes the pen anywhere.
  target.replaying = true;
  router.Handle(Packet(500, 500, 1));
  EXPECT_EQ(Take(), (Log{"down 500,500 1"}));
}

TEST_F(Router, RefusedPenDownIsTriedAgain) {
  target.strokes = false;
  router.Handle(Packet(10, 10, 0.5));
  router.Handle(Packet(11, 10, 0.5));
  EXPECT_FALSE(router.Stroking());
  router.Handle(Packet(11, 10, 0));  // no stroke, no lift
  target.strokes = true;
  router.Handle(Packet(12, 10, 0.5));
  EXPECT_TRUE(router.Stroking());
  EXPECT_EQ(Take(), (Log{"down 10,10 0.5", "down 11,10 0.5", "down 12,10 0.5"}));
}

TEST_F(Router, LeavingProximityOrFocusMidStrokeEndsItAtTheLastPoint) {
  router.Handle(Proximity(true));
  EXPECT_TRUE(router.IgnoresMouse());
  router.Handle(Packet(10, 10, 0.5));
  router.Handle(Packet(40, 50, 0.5));
  router.Handle(Proximity(false));
  EXPECT_FALSE(router.Stroking());
  EXPECT_FALSE(router.IgnoresMouse());
  router.Handle(Packet(60, 60, 0.5));
  router.Handle(Packet(70, 65, 0.5));
  router.FocusLost();
  EXPECT_FALSE(router.Stroking());
  // The leave may never come while another program has the focus.
  EXPECT_FALSE(router.IgnoresMouse());
  EXPECT_EQ(Take(), (Log{"down 10,10 0.5", "move 40,50 0.5", "up 40,50", "down 60,60 0.5", "move 70,65 0.5",
                         "up 70,65"}));
  router.FocusLost();
  EXPECT_EQ(Take(), Log{});
}

TEST_F(Router, TurnedOverPenErasesUntilItLeavesAfterTheStroke) {
  router.Handle(Proximity(true));
  router.Handle(Packet(10, 10, 0, -0.6));  // hovering upside down
  EXPECT_TRUE(router.EraserActive());
  router.Handle(Packet(10, 10, 0, -0.6));  // already the eraser
  router.Handle(Packet(10, 10, 0.3, -0.6));
  router.Handle(Packet(12, 10, 0.3, -0.6));
  router.Handle(Packet(12, 10, 0, -0.6));
  router.Handle(Packet(15, 15, 0.4, -0.6));
  // Taken away during a second stroke: the stroke ends first, then the pen comes back.
  router.Handle(Proximity(false));
  EXPECT_FALSE(router.EraserActive());
  EXPECT_EQ(Take(), (Log{"eraser", "down 10,10 0.3", "move 12,10 0.3", "up 12,10", "down 15,15 0.4",
                         "up 15,15", "restore"}));
}

TEST_F(Router, EraserPointerSwitchesOnEntering) {
  router.Handle(Proximity(true, TabletPointer::kEraser));
  EXPECT_TRUE(router.EraserActive());
  router.Handle(Proximity(false, TabletPointer::kEraser));
  // The pen end down: nothing to switch.
  router.Handle(Proximity(true));
  router.Handle(Packet(1, 1, 0));
  EXPECT_EQ(Take(), (Log{"eraser", "restore"}));
}

TEST_F(Router, EraserRefusedInReplayOrByTheEngine) {
  target.replaying = true;
  router.Handle(Packet(1, 1, 0, -1));
  EXPECT_FALSE(router.EraserActive());
  target.replaying = false;
  target.eraserAvailable = false;
  router.Handle(Packet(1, 1, 0, -1));
  EXPECT_FALSE(router.EraserActive());
  router.Handle(Proximity(false));  // nothing to restore
  EXPECT_EQ(Take(), (Log{"eraser"}));
}

TEST(TabletIgnored, TakesNothingAndLeavesTheMouseAlone) {
  FakeTarget target;
  CTabletRouter router(target, true);
  EXPECT_FALSE(router.Enabled());
  EXPECT_FALSE(router.Handle(Proximity(true, TabletPointer::kEraser)));
  EXPECT_FALSE(router.Handle(Packet(10, 10, 0.5)));
  EXPECT_FALSE(router.IgnoresMouse());
  EXPECT_TRUE(target.log.empty());
}

TEST_F(Router, SwitchingOffEndsTheStrokeAndTheEraser) {
  router.Handle(Packet(10, 10, 0, -1));
  router.Handle(Packet(10, 10, 0.5, -1));
  router.SetEnabled(false);
  EXPECT_FALSE(router.Stroking());
  EXPECT_FALSE(router.IgnoresMouse());
  EXPECT_FALSE(router.Handle(Packet(20, 20, 0.5)));
  EXPECT_EQ(Take(), (Log{"eraser", "down 10,10 0.5", "up 10,10", "restore"}));
}

}  // namespace
}  // namespace tintara
