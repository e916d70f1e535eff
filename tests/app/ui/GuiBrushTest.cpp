// The brush and pen-tip windows in a real main window under the offscreen platform: what each
// field shows for the brush or tip at hand, and what each edit does to the pen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>

#include <memory>
#include <string>

#include "app/AppProfile.h"
#include "app/ui/BrushWindows.h"
#include "app/ui/DrawWindow.h"
#include "app/ui/MainForm.h"
#include "app/ui/PenTipWindows.h"

namespace tintara {
namespace {

class GuiBrush : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<TMainForm>(profile_, nullptr);
    form_->resize(900, 700);
    form_->show();
    brushList_ = dynamic_cast<TPenMtdListWin*>(form_->Palette("penMethodList"));
    brush_ = dynamic_cast<TPenMethodWin*>(form_->Palette("penMethod"));
    tipList_ = dynamic_cast<TPenShpListWin*>(form_->Palette("penShapeList"));
    tip_ = dynamic_cast<TPenShapeWin*>(form_->Palette("penShape"));
    ASSERT_TRUE(brushList_ && brush_ && tipList_ && tip_);
    QCoreApplication::processEvents();
  }
  void TearDown() override { form_.reset(); }
  // A brush of the given head appended to the list and chosen.
  void ChooseHead(const SPenBrushHead& head) {
    PenMethodParams p;
    p.head = head;
    const PenTipRecord tip;
    const int32_t i = form_->Brushes().Add(p, &tip, "");
    ASSERT_GE(i, 0);
    ASSERT_TRUE(brushList_->Choose(i));
  }
  void Key(QWidget* to, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(to, &release);
  }
  // Moves a slider to p, passing through another position first so that p is a change.
  static void SlideTo(QSlider* s, int p) {
    s->setValue(p == s->maximum() ? p - 1 : p + 1);
    s->setValue(p);
  }
  CLivePen& Pen() { return form_->Pen(); }

  CAppProfile profile_;
  std::unique_ptr<TMainForm> form_;
  TPenMtdListWin* brushList_ = nullptr;
  TPenMethodWin* brush_ = nullptr;
  TPenShpListWin* tipList_ = nullptr;
  TPenShapeWin* tip_ = nullptr;
};

// --- the brush editor ----------------------------------------------------------------------

struct EffectCase {
  uint8_t mode, variant, channel;
  const char* labels[3];  // null: the bar is hidden
  const char* hints[3];
};
const EffectCase kEffects[] = {
    {0, 0, 0, {}, {}},
    {1,
     0,
     0,
     {"影響度1", "影響度2", "変化長"},
     {"キャンバス色の影響度", "周辺色の影響度", "ペン色への変化長"}},
    {2, 0, 0, {"強度", nullptr, nullptr}, {"ぼかし強度", nullptr, nullptr}},
    {3, 0, 0, {}, {}},
    {4, 0, 0, {}, {}},
    {5, 0, 0, {}, {}},
    {6, 0, 0, {"露出量", nullptr, nullptr}, {"露出量", nullptr, nullptr}},
    {6, 1, 0, {"露出量", nullptr, nullptr}, {"露出量", nullptr, nullptr}},
    // The pencil paints through the coverage channel: no effect whatever the mode.
    {0, 0, 1, {}, {}},
    {1, 0, 1, {}, {}},
    {2, 0, 1, {}, {}},
    {6, 0, 1, {}, {}},
};

TEST_F(GuiBrush, EachModeShowsItsEffectBarsWithTheirCaptionsAndHidesTheRest) {
  for (const EffectCase& c : kEffects) {
    SPenBrushHead head;
    head.mode = c.mode;
    head.variant = c.variant;
    head.channel = c.channel;
    ChooseHead(head);
    for (int i = 0; i < 3; ++i) {
      const std::string where = "mode " + std::to_string(c.mode) + " variant " + std::to_string(c.variant) +
                                " channel " + std::to_string(c.channel) + " bar " + std::to_string(i);
      const bool shown = c.labels[i] != nullptr;
      EXPECT_EQ(!brush_->Effect(i)->isHidden(), shown) << where;
      EXPECT_EQ(!brush_->EffectLabel(i)->isHidden(), shown) << where;
      if (!shown) continue;
      EXPECT_EQ(brush_->EffectLabel(i)->text(), QString::fromUtf8(c.labels[i])) << where;
      EXPECT_EQ(brush_->EffectLabel(i)->toolTip(), QString::fromUtf8(c.hints[i])) << where;
      EXPECT_EQ(brush_->Effect(i)->toolTip(), QString::fromUtf8(c.hints[i])) << where;
    }
  }
}

TEST_F(GuiBrush, AShownEffectBarReachesTheRendererAndAHiddenOneKeepsItsValue) {
  SPenBrushHead head;
  head.mode = kBrushBlur;
  head.effect1 = 10;
  head.effect2 = 33;  // blur has no second effect: the value stays as the brush has it
  ChooseHead(head);
  brush_->Effect(0)->setValue(70);
  EXPECT_EQ(Pen().render.BrushHead().effect1, 70);
  brush_->Effect(1)->setValue(5);  // hidden: a stray value must not change the brush
  brush_->Opacity()->setValue(40);
  EXPECT_EQ(Pen().render.BrushHead().effect2, 33);
  EXPECT_EQ(Pen().render.BrushHead().effect1, 70);
}

// Slider position -> radius: half pixels up to 20 at position 40, 4.5-pixel steps beyond.
struct SliderCase {
  int position;
  int32_t radius100;
};
constexpr SliderCase kSlider[] = {{0, 10}, {1, 50}, {40, 2000}, {41, 2450}, {80, 20000}, {20, 1000}};

TEST_F(GuiBrush, TheSizeSliderMapsItsPositionsInTwoPiecesInBothWindows) {
  for (const SliderCase& c : kSlider) {
    SlideTo(brush_->SizeSlider(), c.position);
    EXPECT_EQ(Pen().render.TipParams().radius100, c.radius100) << "brush window, position " << c.position;
    EXPECT_DOUBLE_EQ(brush_->Size()->value(), c.radius100 / 100.0) << c.position;
    SlideTo(tip_->RadiusSlider(), c.position);
    EXPECT_EQ(Pen().render.TipParams().radius100, c.radius100) << "tip window, position " << c.position;
    EXPECT_DOUBLE_EQ(tip_->Radius()->value(), c.radius100 / 100.0) << c.position;
  }
}

// Radius typed -> where the slider stands: the nearest position.
struct PositionCase {
  double radius;
  int position;
};
constexpr PositionCase kPositions[] = {{0.1, 0}, {12.3, 25}, {20.0, 40}, {24.5, 41}, {26.0, 41}, {200.0, 80}};

TEST_F(GuiBrush, ATypedSizeMovesTheSliderToTheNearestPositionWithoutRoundingTheSize) {
  for (const PositionCase& c : kPositions) {
    EXPECT_EQ(PenTipSliderPosition(c.radius), c.position) << c.radius;
    brush_->Size()->setValue(c.radius);
    EXPECT_EQ(brush_->SizeSlider()->value(), c.position) << c.radius;
    EXPECT_EQ(Pen().render.TipParams().radius100, std::lround(c.radius * 100)) << c.radius;
  }
}

struct StepCase {
  double from;
  int steps;
  double to;
};
constexpr StepCase kSteps[] = {
    {19.9, 1, 20.0},  {20.0, 1, 21.0}, {25.0, 1, 26.0}, {19.9, -1, 19.8},  {20.0, -1, 19.0},
    {25.0, -1, 24.0}, {19.8, 3, 21.0}, {0.1, -1, 0.1},  {199.5, 1, 200.0},
};

TEST_F(GuiBrush, SizeStepsAreATenthBelowTwentyPixelsAndWholePixelsFromThere) {
  for (QDoubleSpinBox* spin : {brush_->Size(), tip_->Radius()}) {
    for (const StepCase& c : kSteps) {
      spin->setValue(c.from);
      spin->stepBy(c.steps);
      EXPECT_DOUBLE_EQ(spin->value(), c.to) << c.from << " by " << c.steps;
      EXPECT_EQ(Pen().render.TipParams().radius100, std::lround(c.to * 100)) << c.from << " by " << c.steps;
    }
  }
}

TEST_F(GuiBrush, OpacityAndSpacingKeepToTheirRangesStoredInTenths) {
  brush_->Opacity()->setValue(0);  // no invisible brush: 1 % at least
  EXPECT_EQ(Pen().params.opacity, 10);
  brush_->Opacity()->setValue(73);
  EXPECT_EQ(Pen().params.opacity, 730);
  EXPECT_FLOAT_EQ(Pen().stroke.Opacity(), 0.73f);
  brush_->Spacing()->setValue(250);
  EXPECT_EQ(Pen().params.spacing, 2000);
  brush_->Spacing()->setValue(0);
  EXPECT_EQ(Pen().params.spacing, 10);
  brush_->Spacing()->setValue(37);
  EXPECT_EQ(Pen().params.spacing, 370);
}

TEST_F(GuiBrush, ShortcutSlotsApplyTheirBrushesAndLastToTheNextStart) {
  EXPECT_FALSE(brushList_->ChooseShortcut(0));  // empty
  brushList_->AssignShortcut(0, 2);
  brushList_->AssignShortcut(4, 5);
  ASSERT_TRUE(brushList_->Choose(0));
  brushList_->ShortcutButton(0)->click();
  EXPECT_EQ(form_->Brushes().CurrentIndex(), 2);
  EXPECT_EQ(Pen().render.BrushHead(), form_->Brushes().At(2)->Record().head);
  EXPECT_EQ(brushList_->ShortcutButton(0)->toolTip().toStdString(), form_->Brushes().At(2)->Caption());
  brushList_->AssignShortcut(4, -1);
  EXPECT_EQ(brushList_->Shortcuts()[4], -1);
  // Kept in the profile at exit and read by the next window.
  form_->SaveAtExit();
  EXPECT_EQ(profile_.brush.shortCut[0], form_->Brushes().At(2)->Caption() + ",2");
  EXPECT_EQ(profile_.brush.shortCut[4], "4");
  CAppProfile next;
  next.brush = profile_.brush;
  TMainForm again(next, nullptr);
  auto* list = dynamic_cast<TPenMtdListWin*>(again.Palette("penMethodList"));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->Shortcuts(), (BrushShortcuts{2, -1, -1, -1, -1}));
}

// The fields show tenths as whole units; one edited must not round the others.
TEST_F(GuiBrush, EditingOneFieldKeepsTheFinerValuesOfTheOthers) {
  PenMethodParams p;
  p.stroke.spacing = 167;
  p.stroke.opacity = 333;
  PenTipRecord tip;
  tip.params.minimum = 333;
  tip.params.angle = 455;
  tip.params.aspect = 555;
  const int32_t i = form_->Brushes().Add(p, &tip, "");
  ASSERT_TRUE(brushList_->Choose(i));
  brush_->PressureSize()->setChecked(!brush_->PressureSize()->isChecked());
  EXPECT_EQ(Pen().params.spacing, 167);
  EXPECT_EQ(Pen().params.opacity, 333);
  EXPECT_EQ(Pen().render.TipParams().minimum, 333);
  // The field edited takes its new value.
  brush_->Spacing()->setValue(20);
  EXPECT_EQ(Pen().params.spacing, 200);
  EXPECT_EQ(Pen().params.opacity, 333);
  // The same in the tip window: a new radius keeps the angle, minimum and aspect.
  tip_->Tick();
  tip_->Radius()->setValue(Pen().render.TipParams().radius100 / 100.0 + 1.0);
  EXPECT_EQ(Pen().render.TipParams().angle, 455);
  EXPECT_EQ(Pen().render.TipParams().minimum, 333);
  EXPECT_EQ(Pen().render.TipParams().aspect, 555);
}

// The old pens keep their own opacity: a brush chosen while the picture draws with them
// leaves it.
TEST_F(GuiBrush, ABrushChosenForAnOldPenPictureLeavesTheOldPensOpacity) {
  TDrawWindow* w = form_->NewPicture(40, 30, 72, false);
  ASSERT_NE(w, nullptr);
  QCoreApplication::processEvents();
  ASSERT_EQ(form_->ActiveDrawWindow(), w);
  w->Paper().SetLevel(1);
  ASSERT_NE(w->Paper().Engine(), StrokeEngine::kManager);
  Pen().stroke.SetOpacity(0.3f);
  ASSERT_TRUE(brushList_->Choose(1));
  EXPECT_FLOAT_EQ(Pen().stroke.Opacity(), 0.3f);
  // Back on the brush engine, the brush's opacity is the pen's.
  w->Paper().SetLevel(2);
  ASSERT_TRUE(brushList_->Choose(0));
  EXPECT_FLOAT_EQ(Pen().stroke.Opacity(), form_->Brushes().At(0)->Record().stroke.opacity / 1000.0f);
  w->Doc().modified = false;
}

TEST_F(GuiBrush, GradationAndToneSwitchesReachTheStrokeAndStayWithTheBrushOnlyWhenSaved) {
  CPenMethodMngr& brushes = form_->Brushes();
  ASSERT_TRUE(brushList_->Choose(1));
  ASSERT_FALSE(Pen().stroke.UseGradation());
  ASSERT_FALSE(Pen().stroke.UseTone());
  brush_->UseGradation()->setChecked(true);
  EXPECT_TRUE(Pen().stroke.UseGradation());
  EXPECT_FALSE(Pen().stroke.UseTone());
  brush_->UseTone()->setChecked(true);
  EXPECT_TRUE(Pen().stroke.UseTone());
  EXPECT_EQ(brushes.At(1)->Record().useGradation, 0);
  EXPECT_EQ(brushes.At(1)->Record().useTone, 0);
  // Away and back without saving: the brush as it was.
  ASSERT_TRUE(brushList_->Choose(2));
  ASSERT_TRUE(brushList_->Choose(1));
  EXPECT_FALSE(Pen().stroke.UseGradation());
  EXPECT_FALSE(brush_->UseTone()->isChecked());
  // Saved: bytes 16 and 17 of the brush, and the pen takes them at the next choice.
  brush_->UseTone()->setChecked(true);
  ASSERT_TRUE(brush_->SaveBack());
  EXPECT_EQ(brushes.At(1)->Record().useGradation, 0);
  EXPECT_EQ(brushes.At(1)->Record().useTone, 1);
  ASSERT_TRUE(brushList_->Choose(2));
  EXPECT_FALSE(Pen().stroke.UseTone());
  ASSERT_TRUE(brushList_->Choose(1));
  EXPECT_TRUE(Pen().stroke.UseTone());
  EXPECT_FALSE(Pen().stroke.UseGradation());
  EXPECT_TRUE(brush_->UseTone()->isChecked());
}

TEST_F(GuiBrush, TheGammaCurveShowsItsValueAndTheGammaReachesThePen) {
  ASSERT_TRUE(brushList_->Choose(0));
  EXPECT_EQ(brush_->GammaCurve()->Text(), QStringLiteral("1.00"));
  struct {
    double value;
    int32_t stored;
    const char* text;
  } cases[] = {{0.5, 50, "0.50"}, {2.25, 225, "2.25"}, {6.0, 600, "6.00"}, {0.01, 1, "0.01"}};
  for (const auto& c : cases) {
    brush_->Gamma()->setValue(c.value);
    EXPECT_EQ(Pen().params.gamma, c.stored) << c.value;
    EXPECT_EQ(brush_->GammaCurve()->Text(), QString::fromLatin1(c.text)) << c.value;
  }
  EXPECT_EQ(form_->Brushes().At(0)->Record().stroke.gamma, 100);
}

TEST_F(GuiBrush, ATipChangedInTheTipWindowShowsInTheBrushWindowAndSurvivesItsEdits) {
  ASSERT_TRUE(brushList_->Choose(2));
  tip_->Tick();
  tip_->Radius()->setValue(8.0);
  tip_->Minimum()->setValue(50);
  brush_->Tick();
  EXPECT_DOUBLE_EQ(brush_->Size()->value(), 8.0);
  EXPECT_EQ(brush_->SizeSlider()->value(), 16);
  EXPECT_EQ(brush_->Minimum()->value(), 50);
  brush_->Opacity()->setValue(40);
  EXPECT_EQ(Pen().render.TipParams().radius100, 800);
  EXPECT_EQ(Pen().render.TipParams().minimum, 500);
  EXPECT_EQ(Pen().params.opacity, 400);
}

// A bitmap tip of w x h pixels appended to the tip list; its index.
int32_t AddBitmapTip(CPenShapeMngr& tips, int32_t w, int32_t h) {
  TChannel bitmap(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) *bitmap.PixelAddress(x, y) = uint8_t((x + y) % 2 ? 0 : 255);
  CPenShapeObj tip;
  tip.SetRecord(PenTipRecord{});
  if (!tip.AttachBitmap(bitmap)) return -1;
  return tips.Add(tip);
}

struct ZoomCase {
  int32_t w, h, lo, hi;
};
constexpr ZoomCase kZoom[] = {{40, 20, 20, 500}, {200, 200, 2, 256}};

TEST_F(GuiBrush, WithABitmapTipTheSizeRowIsTheZoomWithinTheBitmapsRange) {
  for (const ZoomCase& c : kZoom) {
    const int32_t i = AddBitmapTip(form_->Tips(), c.w, c.h);
    ASSERT_GE(i, 0);
    ASSERT_TRUE(tipList_->Choose(i));
    ASSERT_TRUE(Pen().render.HasBitmapTip());
    brush_->Tick();
    EXPECT_EQ(brush_->SizeLabel()->text(), QString::fromUtf8("ｽﾞｰﾑ")) << c.w;
    EXPECT_DOUBLE_EQ(brush_->Size()->minimum(), c.lo) << c.w;
    EXPECT_DOUBLE_EQ(brush_->Size()->maximum(), c.hi) << c.w;
    EXPECT_EQ(brush_->SizeSlider()->minimum(), c.lo) << c.w;
    EXPECT_EQ(brush_->SizeSlider()->maximum(), c.hi) << c.w;
    EXPECT_DOUBLE_EQ(brush_->Size()->value(), 100.0) << c.w;
    SlideTo(brush_->SizeSlider(), 150);
    EXPECT_EQ(Pen().render.Tip().SizePercent(), 150) << c.w;
    brush_->Size()->stepBy(1);  // whole percents, whatever the size
    EXPECT_EQ(Pen().render.Tip().SizePercent(), 151) << c.w;
    // Other edits keep the bitmap and its zoom.
    brush_->Opacity()->setValue(40);
    EXPECT_TRUE(Pen().render.HasBitmapTip()) << c.w;
    EXPECT_EQ(Pen().render.Tip().SizePercent(), 151) << c.w;
    EXPECT_EQ(Pen().render.MaximumSize(), 151.0) << c.w;
  }
}

TEST_F(GuiBrush, ABitmapTipSavedIntoABrushComesBackWithItAndLeavesWithoutIt) {
  const int32_t i = AddBitmapTip(form_->Tips(), 40, 20);
  ASSERT_TRUE(brushList_->Choose(1));
  ASSERT_TRUE(tipList_->Choose(i));
  brush_->Tick();
  EXPECT_EQ(brush_->SizeLabel()->text(), QString::fromUtf8("ｽﾞｰﾑ"));
  SlideTo(brush_->SizeSlider(), 300);
  ASSERT_TRUE(brush_->SaveBack());
  const CPenMethodObj& saved = *form_->Brushes().At(1);
  ASSERT_NE(saved.TipIfAny(), nullptr);
  EXPECT_TRUE(saved.TipIfAny()->HasBitmap());
  EXPECT_EQ(saved.TipIfAny()->SizePercent(), 300);
  // Another brush: a round tip and the size row in pixels again.
  ASSERT_TRUE(brushList_->Choose(3));
  EXPECT_FALSE(Pen().render.HasBitmapTip());
  EXPECT_EQ(brush_->SizeLabel()->text(), QString::fromUtf8("サイズ"));
  EXPECT_EQ(brush_->SizeSlider()->maximum(), 80);
  EXPECT_DOUBLE_EQ(brush_->Size()->value(), 12.0);
  // Back: the bitmap at its zoom, and the tip list marks the bitmap tip.
  ASSERT_TRUE(brushList_->Choose(1));
  EXPECT_TRUE(Pen().render.HasBitmapTip());
  EXPECT_EQ(Pen().render.Tip().SizePercent(), 300);
  EXPECT_DOUBLE_EQ(brush_->Size()->value(), 300.0);
  tipList_->Tick();
  EXPECT_EQ(tipList_->List()->currentRow(), i);
  // A round tip saved over it drops the bitmap from the brush.
  ASSERT_TRUE(tipList_->Choose(0));
  ASSERT_TRUE(brush_->SaveBack());
  EXPECT_FALSE(form_->Brushes().At(1)->TipIfAny()->HasBitmap());
  EXPECT_EQ(form_->Brushes().At(1)->TipIfAny()->Record(), form_->Tips().At(0)->Record());
}

TEST_F(GuiBrush, WithABitmapTipTheTipWindowsSizeIsTheZoomToo) {
  const int32_t i = AddBitmapTip(form_->Tips(), 40, 20);
  ASSERT_TRUE(tipList_->Choose(i));
  tip_->Tick();
  EXPECT_EQ(tip_->RadiusLabel()->text(), QString::fromUtf8("ｽﾞｰﾑ"));
  EXPECT_EQ(tip_->RadiusSlider()->minimum(), 20);
  EXPECT_EQ(tip_->RadiusSlider()->maximum(), 500);
  EXPECT_DOUBLE_EQ(tip_->Radius()->value(), 100.0);
  SlideTo(tip_->RadiusSlider(), 220);
  EXPECT_EQ(Pen().render.Tip().SizePercent(), 220);
  tip_->Radius()->stepBy(-1);
  EXPECT_EQ(Pen().render.Tip().SizePercent(), 219);
  tip_->Flatness()->setValue(20);
  EXPECT_TRUE(Pen().render.HasBitmapTip());
  EXPECT_EQ(Pen().render.Tip().SizePercent(), 219);
  EXPECT_EQ(Pen().render.TipParams().aspect, 800);
  // A round tip again: the radius in pixels.
  ASSERT_TRUE(tipList_->Choose(3));
  tip_->Tick();
  EXPECT_EQ(tip_->RadiusLabel()->text(), QString::fromUtf8("半径"));
  EXPECT_EQ(tip_->RadiusSlider()->maximum(), 80);
  EXPECT_DOUBLE_EQ(tip_->Radius()->value(), 12.0);
}

// --- the tip editor ------------------------------------------------------------------------

struct FlatnessCase {
  int flatness;
  int32_t aspect;
};
constexpr FlatnessCase kFlatness[] = {{0, 1000}, {30, 700}, {99, 10}, {1, 990}};

TEST_F(GuiBrush, FlatnessIsAHundredLessTheAspectInPercent) {
  for (const FlatnessCase& c : kFlatness) {
    tip_->Flatness()->setValue(c.flatness);
    EXPECT_EQ(Pen().render.TipParams().aspect, c.aspect) << c.flatness;
  }
  // And back: a tip of aspect 45.5 % shows as 55 (the tenths are cut).
  PenTipParams p = Pen().render.TipParams();
  p.aspect = 455;
  Pen().render.SetTipParams(p);
  tip_->Tick();
  EXPECT_EQ(tip_->Flatness()->value(), 55);
  EXPECT_EQ(Pen().render.TipParams().aspect, 455);  // showing it does not round it
}

TEST_F(GuiBrush, TheAntiAliasSwitchIsTheInverseOfTheHardEdge) {
  Pen().render.SetHardEdge(false);
  tip_->Tick();
  EXPECT_TRUE(tip_->AntiAlias()->isChecked());
  tip_->AntiAlias()->setChecked(false);
  EXPECT_TRUE(Pen().render.HardEdge());
  tip_->AntiAlias()->setChecked(true);
  EXPECT_FALSE(Pen().render.HardEdge());
  Pen().render.SetHardEdge(true);
  tip_->Tick();
  EXPECT_FALSE(tip_->AntiAlias()->isChecked());
}

TEST_F(GuiBrush, TheDensityProfileReachesTheRenderer) {
  struct {
    int curve;
    double flattening, floor;
    DensityProfile expected;
  } cases[] = {
      {0, 50.0, 0.0, {0, 500, 0}},
      {5, 50.0, 12.5, {5, 500, 125}},
      {2, 100.0, 100.0, {2, 1000, 1000}},
      {4, 0.0, 0.1, {4, 0, 1}},
  };
  for (const auto& c : cases) {
    tip_->Curve()->setCurrentIndex(c.curve);
    tip_->Flattening()->setValue(c.flattening);
    tip_->Floor()->setValue(c.floor);
    EXPECT_EQ(Pen().render.Density(), c.expected) << c.curve;
  }
  // The editor shows a profile set elsewhere.
  Pen().render.SetDensityProfile({1, 250, 75});
  tip_->Tick();
  EXPECT_EQ(tip_->Curve()->currentIndex(), 1);
  EXPECT_DOUBLE_EQ(tip_->Flattening()->value(), 25.0);
  EXPECT_DOUBLE_EQ(tip_->Floor()->value(), 7.5);
}

int DarkPixels(const QImage& img) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += qGray(img.pixel(x, y)) < 128 ? 1 : 0;
  return n;
}

TEST_F(GuiBrush, TheAngleRunsToAFullTurnAndThePreviewFollowsTheFlatness) {
  tip_->Radius()->setValue(20.0);
  tip_->Flatness()->setValue(0);
  tip_->Curve()->setCurrentIndex(kCurveLinear);
  tip_->Flattening()->setValue(100.0);  // a hard disc: dark all the way to the rim
  const int round = DarkPixels(tip_->Preview());
  tip_->Flatness()->setValue(50);
  const int flat = DarkPixels(tip_->Preview());
  EXPECT_LT(flat, round * 3 / 5);
  EXPECT_GT(flat, round * 2 / 5);
  EXPECT_EQ(tip_->Angle()->maximum(), 360);
  tip_->Angle()->setValue(123);
  EXPECT_EQ(Pen().render.TipParams().angle, 1230);
}

// --- the lists -----------------------------------------------------------------------------

TEST_F(GuiBrush, TheTipListMarksTheTipOfTheBrushApplied) {
  const CPenShapeMngr& tips = form_->Tips();
  ASSERT_EQ(tips.Count(), 7);
  // The default brushes and the built-in tips they take.
  constexpr int32_t kTipOf[] = {0, 4, 1, 2, 3, 5, 5, 6, 6};
  ASSERT_EQ(form_->Brushes().Count(), 9);
  for (int32_t b : {2, 7, 1, 8, 4, 0, 5, 3, 6}) {
    ASSERT_TRUE(brushList_->Choose(b));
    tipList_->Tick();
    EXPECT_EQ(tips.CurrentIndex(), kTipOf[b]) << b;
    EXPECT_EQ(tipList_->List()->currentRow(), kTipOf[b]) << b;
    EXPECT_EQ(Pen().render.TipParams(), tips.At(kTipOf[b])->params) << b;
  }
  // A brush whose tip is none of the list's: nothing is marked.
  PenTipRecord own;
  own.params.SetRadius100(777);
  const int32_t i = form_->Brushes().Add(PenMethodParams{}, &own, "own");
  ASSERT_TRUE(brushList_->Choose(i));
  tipList_->Tick();
  EXPECT_EQ(tips.CurrentIndex(), -1);
  EXPECT_EQ(tipList_->List()->currentRow(), -1);
  EXPECT_TRUE(tipList_->List()->selectedItems().isEmpty());
  EXPECT_EQ(Pen().render.TipParams().radius100, 777);
  // Back to a default brush: the mark comes back.
  ASSERT_TRUE(brushList_->Choose(3));
  tipList_->Tick();
  EXPECT_EQ(tipList_->List()->currentRow(), 2);
}

TEST_F(GuiBrush, ArrowKeysInTheBrushListApplyTheBrush) {
  const CPenMethodMngr& brushes = form_->Brushes();
  ASSERT_TRUE(brushList_->Choose(0));
  for (int32_t expected : {1, 2, 3}) {
    Key(brushList_->List(), Qt::Key_Down);
    ASSERT_EQ(brushes.CurrentIndex(), expected);
    EXPECT_EQ(Pen().render.BrushHead(), brushes.At(expected)->Record().head) << expected;
    EXPECT_EQ(Pen().params, brushes.At(expected)->Record().stroke) << expected;
    EXPECT_EQ(Pen().render.TipParams(), brushes.At(expected)->TipIfAny()->params) << expected;
    EXPECT_EQ(brush_->Opacity()->value(), brushes.At(expected)->Record().stroke.opacity / 10) << expected;
  }
  Key(brushList_->List(), Qt::Key_Up);
  EXPECT_EQ(brushes.CurrentIndex(), 2);
  EXPECT_EQ(Pen().render.BrushHead(), brushes.At(2)->Record().head);
}

TEST_F(GuiBrush, ArrowKeysInTheTipListApplyTheTip) {
  const CPenShapeMngr& tips = form_->Tips();
  ASSERT_TRUE(tipList_->Choose(0));
  Key(tipList_->List(), Qt::Key_Right);
  ASSERT_EQ(tips.CurrentIndex(), 1);
  EXPECT_EQ(Pen().render.TipParams(), tips.At(1)->params);
  EXPECT_EQ(Pen().render.Density(), tips.At(1)->profile);
  Key(tipList_->List(), Qt::Key_Right);
  ASSERT_EQ(tips.CurrentIndex(), 2);
  EXPECT_EQ(Pen().render.TipParams(), tips.At(2)->params);
}

TEST_F(GuiBrush, ClickingTheCurrentBrushAppliesItAgainAndAnotherOneAppliesIt) {
  QDockWidget* dock = form_->PaletteDock("penMethodList");
  ASSERT_NE(dock, nullptr);
  dock->show();
  dock->raise();
  QCoreApplication::processEvents();
  QListWidget* list = brushList_->List();
  ASSERT_TRUE(brushList_->Choose(1));
  brush_->Opacity()->setValue(50);
  ASSERT_EQ(Pen().params.opacity, 500);
  auto click = [&](int row) {
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &release);
  };
  // The current brush clicked again: the edit is dropped, the brush as stored is the pen's.
  click(1);
  EXPECT_EQ(Pen().params, form_->Brushes().At(1)->Record().stroke);
  EXPECT_EQ(brush_->Opacity()->value(), form_->Brushes().At(1)->Record().stroke.opacity / 10);
  // Another brush clicked: it is the pen's.
  click(3);
  EXPECT_EQ(form_->Brushes().CurrentIndex(), 3);
  EXPECT_EQ(Pen().render.BrushHead(), form_->Brushes().At(3)->Record().head);
  EXPECT_EQ(Pen().params, form_->Brushes().At(3)->Record().stroke);
}

TEST_F(GuiBrush, TheListsShowRenamedBrushesAndChangedTips) {
  CPenMethodMngr& brushes = form_->Brushes();
  brushes.At(2)->name = "水彩A";
  brushList_->Tick();
  EXPECT_EQ(brushList_->List()->item(2)->text(), QString::fromUtf8("水彩A"));
  EXPECT_EQ(brushList_->List()->item(3)->text(), QString::fromUtf8("ぼかし"));
  PenTipRecord wide = form_->Tips().At(3)->Record();
  wide.params.SetRadius100(700);
  form_->Tips().At(3)->SetRecord(wide);
  tipList_->Tick();
  EXPECT_EQ(tipList_->List()->item(3)->toolTip(), QStringLiteral("7.0 px"));
  EXPECT_EQ(tipList_->List()->item(2)->toolTip(), QStringLiteral("12.0 px"));
}

TEST_F(GuiBrush, TheListsFollowingTheProgramDoNotApplyAgain) {
  CPenMethodMngr& brushes = form_->Brushes();
  ASSERT_TRUE(brushList_->Choose(0));
  // An unsaved edit in the editor.
  brush_->Opacity()->setValue(50);
  ASSERT_EQ(Pen().params.opacity, 500);
  const SPenBrushHead head = Pen().render.BrushHead();
  // The current brush moved on without being applied: the list's row follows, and moving the
  // row must not apply brush 3 over the pen (nor brush 0 over the edit).
  ASSERT_TRUE(brushes.Select(3));
  brushList_->Tick();
  EXPECT_EQ(brushList_->List()->currentRow(), 3);
  EXPECT_EQ(Pen().params.opacity, 500);
  EXPECT_EQ(Pen().render.BrushHead(), head);
  // A new brush in the list rebuilds it; nothing is applied either.
  ASSERT_GE(brushes.Add(PenMethodParams{}, nullptr, "extra"), 0);
  brushList_->Tick();
  EXPECT_EQ(brushList_->List()->count(), brushes.Count());
  EXPECT_EQ(brushList_->List()->currentRow(), 3);
  EXPECT_EQ(Pen().params.opacity, 500);
  // The same for the tip list: a tip edit stays when the mark is moved by a brush.
  ASSERT_TRUE(tipList_->Choose(2));
  tip_->Tick();
  tip_->Radius()->setValue(9.5);
  ASSERT_TRUE(form_->Tips().Select(4));
  tipList_->Tick();
  EXPECT_EQ(tipList_->List()->currentRow(), 4);
  EXPECT_EQ(Pen().render.TipParams().radius100, 950);
  form_->Tips().Deselect();
  tipList_->Tick();
  EXPECT_EQ(tipList_->List()->currentRow(), -1);
  EXPECT_EQ(Pen().render.TipParams().radius100, 950);
}

}  // namespace
}  // namespace tintara
