// The tools in a real picture window under the offscreen platform: mouse drags, held keys,
// tool keys, and tablet strokes through the application's event filter.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabletEvent>
#include <QToolButton>
#include <QWheelEvent>

#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "app/AppProfile.h"
#include "app/ui/BrushWindows.h"
#include "app/ui/DrawWindow.h"
#include "app/ui/MainForm.h"
#include "app/ui/OptWindow.h"
#include "app/ui/PenTipWindows.h"
#include "app/ui/PenWindow.h"
#include "app/ui/PreviewWindow.h"
#include "app/ui/QtSettingsStore.h"
#include "app/ui/SelectWindow.h"
#include "app/ui/TabletInput.h"
#include "app/ui/ToolsWindow.h"
#include "events/StrokeReplay.h"
#include "pixel/Arith.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

// Sits between the stroke manager and the recorder and keeps the pressures it passes on.
class PressureSpy : public IStrokeRecorder {
 public:
  explicit PressureSpy(CPaperRecorder& r) : link_(r) {}
  bool Begin(int32_t layer, bool shape, StrokeEngine e, float p, float x, float y) override {
    ++strokes;
    pressures.push_back(p);
    return link_.Begin(layer, shape, e, p, x, y);
  }
  bool Sample(float p, float x, float y) override {
    pressures.push_back(p);
    return link_.Sample(p, x, y);
  }
  bool End() override {
    ++ends;
    return link_.End();
  }
  int strokes = 0, ends = 0;
  std::vector<float> pressures;

 private:
  CStrokeRecorderLink link_;
};

class GuiTools : public ::testing::Test {
 protected:
  void SetUp() override { Make(false); }
  void Make(bool ignoreTablet) {
    w_ = nullptr;
    form_.reset();
    profile_.config.ignoreTablet = ignoreTablet;
    form_ = std::make_unique<TMainForm>(profile_, nullptr);
    form_->resize(900, 700);
    form_->show();
    QApplication::setActiveWindow(form_.get());
    w_ = form_->NewPicture(120, 90, 72, false);
    ASSERT_NE(w_, nullptr);
    // A clear layer to draw on, over the white paper.
    ASSERT_GE(w_->Paper().NewLayer(w_->Doc().Flow(), kModeNormal, 0x00FFFFFF, "ink"), 0);
    w_->Doc().Stroke().SetColour(0x00102030);
    PenTipParams tip;
    tip.radius100 = 300;
    w_->Doc().Pen().render.SetTipParams(tip);
    spy_ = std::make_unique<PressureSpy>(w_->Doc().Recorder());
    w_->Doc().Strokes().SetRecorder(spy_.get());
    QCoreApplication::processEvents();
  }
  void TearDown() override {
    if (w_) w_->Doc().Strokes().SetRecorder(nullptr);
    for (TDrawWindow* w : form_->DrawWindows()) w->Doc().modified = false;
    form_.reset();
  }
  QWidget* Port() { return w_->View().viewport(); }
  // A paper point as a point of the view (100 %, the paper placed by the view).
  QPointF At(double px, double py) {
    const TPaper& p = w_->Paper();
    return {p.viewOriginX + px, p.viewOriginY + py};
  }
  void Mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held,
             Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QMouseEvent e(type, at, Port()->mapToGlobal(at), button, held, mods);
    QApplication::sendEvent(Port(), &e);
  }
  void MouseDrag(QPointF from, QPointF to, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, mods);
    for (int k = 1; k <= 5; ++k)
      Mouse(QEvent::MouseMove, from + (to - from) * k / 5.0, Qt::NoButton, Qt::LeftButton, mods);
    Mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, mods);
  }
  void Key(QEvent::Type type, int key, Qt::KeyboardModifiers mods = Qt::NoModifier, bool repeat = false) {
    QKeyEvent e(type, key, mods, QString(), repeat);
    QApplication::sendEvent(&w_->View(), &e);
  }
  // A tablet event as the window system delivers it: to the widget under the pen.
  bool Tablet(QEvent::Type type, QPointF at, qreal pressure) {
    const Qt::MouseButton b = type == QEvent::TabletMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held =
        type == QEvent::TabletRelease || pressure == 0 ? Qt::NoButton : Qt::LeftButton;
    QTabletEvent e(type, &pen_, at, Port()->mapToGlobal(at), pressure, 0, 0, 0, 0, 0, Qt::NoModifier, b,
                   held);
    e.setAccepted(false);
    QApplication::sendEvent(Port(), &e);
    return e.isAccepted();
  }
  void Proximity(bool enter) {
    QTabletEvent e(enter ? QEvent::TabletEnterProximity : QEvent::TabletLeaveProximity, &pen_, QPointF(),
                   QPointF(), 0, 0, 0, 0, 0, 0, Qt::NoModifier, Qt::NoButton, Qt::NoButton);
    QApplication::sendEvent(qApp, &e);
  }
  uint32_t InkAlpha(int32_t x, int32_t y) {
    TPaper& p = w_->Paper();
    float sx = float(x), sy = float(y);
    p.ToLayer(1, sx, sy);
    return p.Layer(1)->pixels->GetPixel(int32_t(sx), int32_t(sy)) >> 24;
  }

  RecordingNotifySink notes_;
  CAppProfile profile_;
  std::unique_ptr<TMainForm> form_;
  TDrawWindow* w_ = nullptr;
  std::unique_ptr<PressureSpy> spy_;
  QPointingDevice pen_{QStringLiteral("test pen"),
                       77,
                       QInputDevice::DeviceType::Stylus,
                       QPointingDevice::PointerType::Pen,
                       QInputDevice::Capability::Position | QInputDevice::Capability::Pressure,
                       1,
                       3};
};

TEST_F(GuiTools, AMouseDragWithThePenDrawsOneRecordedStrokeThatUndoes) {
  MouseDrag(At(10, 10), At(100, 60));
  EXPECT_EQ(spy_->strokes, 1);
  EXPECT_EQ(spy_->ends, 1);
  for (float p : spy_->pressures) EXPECT_TRUE(p == 1.0f || p == 0.0f) << p;  // the mouse presses fully
  EXPECT_GT(InkAlpha(55, 35), 200u);  // the first brush paints all but opaque
  EXPECT_TRUE(w_->Doc().modified);
  form_->UpdateCommands();
  form_->Action("actEditUndo")->trigger();
  EXPECT_EQ(InkAlpha(55, 35), 0u);
}

TEST_F(GuiTools, DrawnStrokesShowInTheWindow) {
  // Three strokes, two by the mouse and one by the pen with rising pressure.
  MouseDrag(At(10, 15), At(110, 20));
  form_->Colours().SetMainColor(0x00C03020, kOriginGeneral);
  MouseDrag(At(15, 80), At(100, 30));
  Proximity(true);
  Tablet(QEvent::TabletPress, At(20, 50), 0.2);
  for (int k = 1; k <= 8; ++k) Tablet(QEvent::TabletMove, At(20 + k * 10, 50 + (k % 2) * 6), 0.2 + k * 0.1);
  Tablet(QEvent::TabletRelease, At(100, 50), 0);
  Proximity(false);
  form_->Tick();  // the palettes follow on the tick
  QCoreApplication::processEvents();
  const QImage shot = form_->grab().toImage();
  if (const char* path = getenv("TINTARA_SHOT")) shot.save(QString::fromLocal8Bit(path));
  // The view shows the ink where it was drawn, and white paper away from it.
  const QImage view = w_->View().viewport()->grab().toImage();
  const QPointF ink = At(60, 17), paper = At(60, 70);
  EXPECT_LT(view.pixelColor(ink.toPoint()).lightness(), 80)
      << view.pixelColor(ink.toPoint()).name().toStdString();
  EXPECT_EQ(view.pixelColor(paper.toPoint()), QColor(Qt::white));
}

TEST_F(GuiTools, DrawingPastTheEdgeScrollsOnlyWhenAsked) {
  w_->View().ZoomToStep(9);
  QCoreApplication::processEvents();
  QScrollBar* h = w_->View().horizontalScrollBar();
  ASSERT_GT(h->maximum(), 200);
  const QSize port = Port()->size();
  for (const bool on : {false, true}) {
    profile_.config.useAutoScroll = on;
    h->setValue(0);
    MouseDrag(QPointF(port.width() / 2.0, port.height() / 2.0),
              QPointF(port.width() + 30.0, port.height() / 2.0));
    if (on)
      EXPECT_GT(h->value(), 0);
    else
      EXPECT_EQ(h->value(), 0);
  }
  EXPECT_EQ(spy_->strokes, 2);
}

TEST_F(GuiTools, SpaceDragPansTheView) {
  w_->View().ZoomToStep(9);  // far larger than the window: the view scrolls
  QCoreApplication::processEvents();
  QScrollBar* h = w_->View().horizontalScrollBar();
  QScrollBar* v = w_->View().verticalScrollBar();
  ASSERT_GT(h->maximum(), 200);
  ASSERT_GT(v->maximum(), 200);
  h->setValue(h->maximum() / 2);
  v->setValue(v->maximum() / 2);
  const int h0 = h->value(), v0 = v->value();
  Key(QEvent::KeyPress, Qt::Key_Space);
  MouseDrag(QPointF(200, 200), QPointF(160, 170));
  Key(QEvent::KeyRelease, Qt::Key_Space);
  EXPECT_EQ(h->value(), h0 + 40);
  EXPECT_EQ(v->value(), v0 + 30);
  EXPECT_EQ(spy_->strokes, 0);
  EXPECT_EQ(form_->Modes().Mode(), kToolModePen);  // the pan was only lent
}

TEST_F(GuiTools, ShiftClickPicksAColourAndBlocksUntilTheRelease) {
  // A blue patch on the ink layer.
  float sx = 0, sy = 0;
  w_->Paper().ToLayer(1, sx, sy);
  ASSERT_TRUE(
      w_->Paper().Layer(1)->pixels->MaskedSet({int32_t(sx), int32_t(sy), 20, 20}, 0xFFFFFFFF, 0xFF0000FF));
  w_->Paper().RecompositeAll(false);
  Mouse(QEvent::MouseButtonPress, At(5, 5), Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_EQ(form_->Colours().MainColor() & 0x00FFFFFF, 0x000000FFu);
  EXPECT_EQ(w_->Doc().Stroke().Colour() & 0x00FFFFFF, 0x000000FFu);
  // Moves before the release are blocked, even without Shift: nothing is drawn.
  Mouse(QEvent::MouseMove, At(60, 60), Qt::NoButton, Qt::LeftButton);
  Mouse(QEvent::MouseButtonRelease, At(60, 60), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(spy_->strokes, 0);
  EXPECT_TRUE(w_->Dispatch().State() == 0) << w_->Dispatch().State();
  // After the release the pen draws again.
  MouseDrag(At(30, 40), At(90, 40));
  EXPECT_EQ(spy_->strokes, 1);
}

TEST_F(GuiTools, ToolKeysSelectAndARepeatedKeyIsIgnored) {
  ASSERT_TRUE(form_->Modes().SelectMode(kToolModeEyedropper, 0));
  Key(QEvent::KeyPress, Qt::Key_B);
  EXPECT_EQ(form_->Modes().Mode(), kToolModePen);
  // "V" steps through the layer-move sub-modes when pressed again, but not on auto-repeat.
  Key(QEvent::KeyPress, Qt::Key_V);
  ASSERT_EQ(form_->Modes().Mode(), kToolModeDrag);
  const uint32_t sub = form_->Modes().SubMode();
  Key(QEvent::KeyPress, Qt::Key_V, Qt::NoModifier, true);
  EXPECT_EQ(form_->Modes().SubMode(), sub);
  Key(QEvent::KeyPress, Qt::Key_B);
  Key(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, true);
  EXPECT_EQ(form_->Modes().Mode(), kToolModePen);
  EXPECT_EQ(form_->Modes().SubMode(), 0u);
}

TEST_F(GuiTools, KeysOfToolsNotBuiltDoNothing) {
  // K (bucket fill), W (magic wand), O (shapes), T (text): their tools come later.
  for (int key : {Qt::Key_K, Qt::Key_W, Qt::Key_O, Qt::Key_T, Qt::Key_M}) {
    Key(QEvent::KeyPress, key);
    EXPECT_EQ(form_->Modes().Mode(), kToolModePen) << key;
  }
  MouseDrag(At(10, 10), At(100, 60));
  EXPECT_EQ(spy_->strokes, 1);
}

TEST_F(GuiTools, CursorKeysMoveTheLayerWithoutScrollingAndEndWithTheFocus) {
  w_->View().ZoomToStep(9);
  QCoreApplication::processEvents();
  QScrollBar* h = w_->View().horizontalScrollBar();
  h->setValue(100);
  Key(QEvent::KeyPress, Qt::Key_V);
  ASSERT_EQ(form_->Modes().Mode(), kToolModeDrag);
  ASSERT_EQ(form_->Modes().SubMode(), kSubMoveLayer);
  const int32_t x0 = w_->Paper().Layer(1)->viewX;
  Key(QEvent::KeyPress, Qt::Key_Right);
  Key(QEvent::KeyPress, Qt::Key_Right);
  EXPECT_EQ(h->value(), 100);  // the picture did not scroll
  EXPECT_EQ(w_->Paper().Layer(1)->viewX, x0 - 2);
  EXPECT_TRUE(w_->Dispatch().State() & kStateKeyMove);
  EXPECT_EQ(form_->Panel(3)->text(), QString::fromUtf8("カーソルキー移動モードに入りました"));
  // Choosing another tool ends the mode and keeps the move, as one step that undoes.
  Key(QEvent::KeyPress, Qt::Key_Return);
  EXPECT_FALSE(w_->Dispatch().State() & kStateKeyMove);
  Key(QEvent::KeyPress, Qt::Key_Left);
  ASSERT_TRUE(w_->Dispatch().State() & kStateKeyMove);
  ASSERT_TRUE(form_->Modes().SelectMode(kToolModePen, 0));
  EXPECT_FALSE(w_->Dispatch().State() & kStateKeyMove);
  EXPECT_EQ(w_->Paper().Layer(1)->viewX, x0 - 1);
  EXPECT_EQ(form_->Panel(3)->text(), QString::fromUtf8("カーソルキー移動モードを終了しました"));
  form_->UpdateCommands();
  form_->Action("actEditUndo")->trigger();
  EXPECT_EQ(w_->Paper().Layer(1)->viewX, x0 - 2);
  // And the window may close again.
  w_->Doc().modified = false;
  EXPECT_TRUE(w_->close());
  w_ = nullptr;
}

TEST_F(GuiTools, AltWheelZoomsAndFitsTheWindow) {
  w_->showNormal();
  const QSize before = w_->size();
  // The X11 plugin turns the wheel into a horizontal one while Alt is held.
  QWheelEvent e(QPointF(20, 20), Port()->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(-120, 0),
                Qt::NoButton, Qt::AltModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(Port(), &e);
  EXPECT_EQ(w_->Paper().zoomIndex, 1);
  EXPECT_GT(w_->size().width(), before.width());
}

TEST_F(GuiTools, TheToolBoxOffersTheBuiltToolsAndFollowsTheKeys) {
  auto* box = dynamic_cast<TToolsWindow*>(form_->Palette("tool"));
  ASSERT_NE(box, nullptr);
  ASSERT_NE(box->Button(0), nullptr);
  EXPECT_EQ(box->Button(4), nullptr);  // the bucket fill is not built yet
  EXPECT_EQ(box->Button(0)->toolTip(), QString::fromUtf8("筆で描画(B)"));
  EXPECT_EQ(box->Button(0)->statusTip(), QString::fromUtf8("アクティブレイヤに筆で描画します"));
  EXPECT_TRUE(box->Button(0)->isChecked());
  box->Button(9)->click();
  EXPECT_EQ(form_->Modes().Mode(), kToolModeEyedropper);
  EXPECT_TRUE(box->Button(9)->isChecked());
  // A click on the current layer-move tool steps its sub-mode as V does.
  box->Button(8)->click();
  EXPECT_EQ(form_->Modes().SubMode(), kSubMoveLayer);
  box->Button(8)->click();
  EXPECT_EQ(form_->Modes().SubMode(), kSubMoveLayerAndSelection);
  // A key typed over the picture moves the pressed button.
  Key(QEvent::KeyPress, Qt::Key_B);
  form_->Tick();
  EXPECT_TRUE(box->Button(0)->isChecked());
  // Its command shows and hides it.
  QDockWidget* dock = form_->PaletteDock("tool");
  ASSERT_NE(dock, nullptr);
  ASSERT_NE(form_->Action("actShowToolBox"), nullptr);
  EXPECT_TRUE(dock->isVisible());
  form_->Action("actShowToolBox")->trigger();
  EXPECT_FALSE(dock->isVisible());
  form_->Action("actShowToolBox")->trigger();
  EXPECT_TRUE(dock->isVisible());
  // With the zoom entries as buttons they zoom at once and the tool stays the pen.
  box->Button(0)->click();
  const int32_t step = w_->Paper().zoomIndex;
  form_->Config().zoomToolAsButton = true;
  box->Button(5)->click();
  EXPECT_EQ(w_->Paper().zoomIndex, step + 1);
  EXPECT_EQ(form_->Modes().Mode(), kToolModePen);
  EXPECT_TRUE(box->Button(0)->isChecked());
  box->Button(6)->click();
  box->Button(6)->click();
  EXPECT_EQ(w_->Paper().zoomIndex, step - 1);
  // As tools again, a click chooses the zoom tool.
  form_->Config().zoomToolAsButton = false;
  box->Button(5)->click();
  EXPECT_EQ(form_->Modes().Mode(), kToolModeZoom);
  EXPECT_EQ(w_->Paper().zoomIndex, step - 1);
}

TEST_F(GuiTools, TheOptionWindowShowsTheToolAndTheEyedroppersColour) {
  auto* opt = dynamic_cast<TOptWindow*>(form_->Palette("ctrl"));
  ASSERT_NE(opt, nullptr);
  form_->Tick();
  EXPECT_EQ(opt->ToolText(), QString::fromUtf8("筆で描画(B)\nアクティブレイヤに筆で描画します"));
  Key(QEvent::KeyPress, Qt::Key_I);
  form_->Tick();
  EXPECT_EQ(opt->ToolText(), QString::fromUtf8("スポイト(I)\n画面の色をスポイトで取り込みます"));
  // Over the white paper the read-out is white, with its swatch.
  Mouse(QEvent::MouseMove, At(30, 30), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(opt->ReadoutText(), QString::fromUtf8("R: 255, G: 255, B: 255\nH: 0, S: 0, V: 255"));
  ASSERT_TRUE(opt->SwatchColour().has_value());
  EXPECT_EQ(*opt->SwatchColour(), 0x00FFFFFFu);
}

TEST_F(GuiTools, TheOptionWindowOffersTheOptionsOfTheCurrentTool) {
  auto* opt = dynamic_cast<TOptWindow*>(form_->Palette("ctrl"));
  ASSERT_NE(opt, nullptr);
  form_->Tick();
  auto onPage = [opt](QWidget* control) { return opt->Options()->currentWidget()->isAncestorOf(control); };
  // The pen: its switch for the right button is the setting the pen reads.
  ASSERT_TRUE(onPage(opt->RightButtonPicks()));
  EXPECT_FALSE(opt->RightButtonPicks()->isChecked());
  const uint32_t before = form_->Colours().MainColor() & 0x00FFFFFF;
  ASSERT_NE(before, 0x00FFFFFFu);
  Mouse(QEvent::MouseButtonPress, At(30, 30), Qt::RightButton, Qt::RightButton);
  Mouse(QEvent::MouseButtonRelease, At(30, 30), Qt::RightButton, Qt::NoButton);
  EXPECT_EQ(form_->Colours().MainColor() & 0x00FFFFFF, before);  // off: nothing picked
  opt->RightButtonPicks()->setChecked(true);
  EXPECT_TRUE(form_->Config().useRBtnColPicker);
  Mouse(QEvent::MouseButtonPress, At(30, 30), Qt::RightButton, Qt::RightButton);
  Mouse(QEvent::MouseButtonRelease, At(30, 30), Qt::RightButton, Qt::NoButton);
  EXPECT_EQ(form_->Colours().MainColor() & 0x00FFFFFF, 0x00FFFFFFu);  // the white paper
  opt->AutoScroll()->setChecked(true);
  EXPECT_TRUE(form_->Config().useAutoScroll);
  // The zoom tools: the menu's commands.
  ASSERT_TRUE(form_->Modes().SelectTool(5));
  form_->Tick();
  ASSERT_TRUE(onPage(opt->ZoomButton(0)));
  EXPECT_FALSE(onPage(opt->RightButtonPicks()));
  const int32_t step = w_->Paper().zoomIndex;
  opt->ZoomButton(0)->click();
  EXPECT_EQ(w_->Paper().zoomIndex, step + 1);
  opt->ZoomButton(1)->click();
  opt->ZoomButton(1)->click();
  EXPECT_EQ(w_->Paper().zoomIndex, step - 1);
  opt->ZoomButton(2)->click();
  EXPECT_EQ(w_->Paper().zoomIndex, 0);
  // The turn: put back upright, and only offered while the view is turned.
  ASSERT_TRUE(form_->Modes().SelectTool(1));
  form_->Tick();
  ASSERT_TRUE(onPage(opt->UnrotateButton()));
  EXPECT_FALSE(opt->UnrotateButton()->isEnabled());
  ASSERT_TRUE(w_->View().RotateTo(30.0));
  form_->Tick();
  ASSERT_TRUE(opt->UnrotateButton()->isEnabled());
  opt->UnrotateButton()->click();
  EXPECT_FALSE(w_->Paper().IsRotated());
  // The eyedropper has no options: an empty page.
  ASSERT_TRUE(form_->Modes().SelectTool(9));
  form_->Tick();
  EXPECT_FALSE(onPage(opt->UnrotateButton()));
  EXPECT_FALSE(onPage(opt->ZoomButton(0)));
}

TEST_F(GuiTools, TheNavigatorOutlinesTheViewAndMovesIt) {
  auto* nav = dynamic_cast<TPreviewWindow*>(form_->Palette("preview"));
  ASSERT_NE(nav, nullptr);
  form_->Tick();
  const QRectF thumb = nav->ThumbRect();
  ASSERT_FALSE(thumb.isEmpty());
  // The whole picture is in view: the outline covers the thumbnail.
  EXPECT_NEAR(nav->VisibleRect().width(), thumb.width(), 1.0);
  w_->View().ZoomToStep(9);
  QCoreApplication::processEvents();
  form_->Tick();
  const QRectF part = nav->VisibleRect();
  EXPECT_LT(part.width(), thumb.width() / 2);
  // A click near the lower right brings that part into the middle of the window; dragging on
  // with the button held follows the pointer; a move without the button does nothing.
  auto mouse = [nav](QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent e(type, at, nav->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(nav, &e);
  };
  const QPointF target(thumb.left() + thumb.width() * 0.8, thumb.top() + thumb.height() * 0.75);
  mouse(QEvent::MouseButtonPress, target, Qt::LeftButton, Qt::LeftButton);
  form_->Tick();
  EXPECT_NEAR(nav->VisibleRect().center().x(), target.x(), 2.0);
  EXPECT_NEAR(nav->VisibleRect().center().y(), target.y(), 2.0);
  const QPointF second(thumb.left() + thumb.width() * 0.3, thumb.top() + thumb.height() * 0.4);
  mouse(QEvent::MouseMove, second, Qt::NoButton, Qt::LeftButton);
  mouse(QEvent::MouseButtonRelease, second, Qt::LeftButton, Qt::NoButton);
  form_->Tick();
  EXPECT_NEAR(nav->VisibleRect().center().x(), second.x(), 2.0);
  EXPECT_NEAR(nav->VisibleRect().center().y(), second.y(), 2.0);
  mouse(QEvent::MouseMove, target, Qt::NoButton, Qt::NoButton);
  form_->Tick();
  EXPECT_NEAR(nav->VisibleRect().center().x(), second.x(), 2.0);
}

TEST_F(GuiTools, TheSelectionWindowListsAddsCombinesAndDeletesMasks) {
  auto* sel = dynamic_cast<TSelectWindow*>(form_->Palette("select"));
  ASSERT_NE(sel, nullptr);
  TPaper& paper = w_->Paper();
  form_->Tick();
  ASSERT_EQ(sel->List()->count(), paper.masks.Count());
  ASSERT_TRUE(paper.SelectRect(0, {0, 0, 10, 10}, CombineMode::kReplace));
  const size_t recorded = w_->Doc().Events().CommittedLength();
  ASSERT_TRUE(sel->AddMask());
  EXPECT_EQ(paper.masks.Count(), 2);
  EXPECT_EQ(sel->List()->count(), 2);
  EXPECT_GT(w_->Doc().Events().CommittedLength(), recorded);
  EXPECT_EQ(paper.masks.ActiveIndex(), 1);
  ASSERT_TRUE(paper.SelectRect(1, {20, 20, 10, 10}, CombineMode::kReplace));
  // The active mask (1) added into mask 0, which becomes active and covers both.
  ASSERT_TRUE(sel->CombineInto(0, CombineMode::kAdd));
  EXPECT_EQ(paper.masks.ActiveIndex(), 0);
  EXPECT_GT(paper.masks.At(0)->CoverageAt(5, 5), 0);
  EXPECT_GT(paper.masks.At(0)->CoverageAt(25, 25), 0);
  EXPECT_EQ(paper.masks.At(0)->CoverageAt(15, 15), 0);
  form_->UpdateCommands();
  form_->Action("actEditUndo")->trigger();
  EXPECT_EQ(paper.masks.At(0)->CoverageAt(25, 25), 0);
  // A click activates; the delete button removes the active mask.
  sel->Tick();
  const int32_t other = 1 - paper.masks.ActiveIndex();
  EXPECT_TRUE(sel->Activate(other));
  EXPECT_EQ(paper.masks.ActiveIndex(), other);
  EXPECT_FALSE(sel->Activate(other));  // already active: nothing to record
  ASSERT_TRUE(sel->DeleteMask());
  EXPECT_EQ(paper.masks.Count(), 1);
  EXPECT_EQ(sel->List()->count(), 1);
  // The copy carries what the mask selects and its name, and comes first.
  ASSERT_TRUE(paper.SelectRect(-1, {4, 4, 6, 6}, CombineMode::kReplace));
  ASSERT_TRUE(sel->DuplicateMask());
  EXPECT_EQ(paper.masks.Count(), 2);
  EXPECT_EQ(paper.masks.ActiveIndex(), 0);
  EXPECT_GT(paper.masks.At(0)->CoverageAt(5, 5), 0);
  EXPECT_EQ(paper.masks.At(0)->displayName, paper.masks.At(1)->displayName);
  EXPECT_EQ(sel->List()->count(), 2);
}

TEST_F(GuiTools, TheSelectionWindowsMenuHoldsItsCommands) {
  auto* sel = dynamic_cast<TSelectWindow*>(form_->Palette("select"));
  ASSERT_NE(sel, nullptr);
  TPaper& paper = w_->Paper();
  // The menu owns its combine entries: it lives as long as the entries are looked at.
  std::vector<std::unique_ptr<QMenu>> menus;
  auto entries = [sel, &menus](int32_t row) {
    QMenu& menu = *menus.emplace_back(std::make_unique<QMenu>());
    sel->FillMenu(menu, row);
    std::map<QString, QAction*> out;
    for (QAction* a : menu.actions())
      if (!a->isSeparator()) out[a->text()] = a;
    return out;
  };
  const QString insert = QString::fromUtf8("選択範囲の新規作成(&N)"),
                duplicate = QString::fromUtf8("選択範囲の複製(&U)"),
                fromValue = QString::fromUtf8("レイヤの明度から新規作成(&L)"),
                fromMask = QString::fromUtf8("レイヤマスクから新規作成(&M)"),
                copy = QString::fromUtf8("コピー");
  // The active mask selects nothing: it cannot be duplicated, and one mask cannot be removed.
  sel->Tick();
  auto menu = entries(-1);
  for (const QString& c : {insert, duplicate, fromValue, fromMask, QString::fromUtf8("選択範囲の削除(&D)")})
    ASSERT_TRUE(menu.count(c)) << c.toStdString();
  EXPECT_EQ(menu.count(copy), 0u);
  EXPECT_TRUE(menu[insert]->isEnabled());
  EXPECT_FALSE(menu[duplicate]->isEnabled());
  EXPECT_FALSE(menu[QString::fromUtf8("選択範囲の削除(&D)")]->isEnabled());
  // A mask from the active layer's brightness: recorded, one undo step.
  const size_t recorded = w_->Doc().Events().CommittedLength();
  menu[fromValue]->trigger();
  ASSERT_EQ(paper.masks.Count(), 2);
  EXPECT_EQ(paper.masks.ActiveIndex(), 1);
  EXPECT_GT(w_->Doc().Events().CommittedLength(), recorded);
  form_->UpdateCommands();
  form_->Action("actEditUndo")->trigger();
  EXPECT_EQ(paper.masks.Count(), 1);
  // Two masks, the active one empty: combining it into the other is not offered.
  ASSERT_TRUE(sel->AddMask());
  ASSERT_EQ(paper.masks.ActiveIndex(), 1);
  menu = entries(0);
  ASSERT_TRUE(menu.count(copy));
  EXPECT_FALSE(menu[copy]->isEnabled());
  // Once it selects something, it can be combined and duplicated.
  ASSERT_TRUE(paper.SelectRect(1, {0, 0, 10, 10}, CombineMode::kReplace));
  sel->Tick();
  menu = entries(0);
  EXPECT_TRUE(menu[copy]->isEnabled());
  EXPECT_TRUE(menu[duplicate]->isEnabled());
  EXPECT_EQ(menu[duplicate], form_->Action("actSelectDuplicate"));
}

// The active mask (the left square) combined into mask 0 (the right square, or empty): what
// mask 0 then covers in the left square, the overlap and the right square.
TEST_F(GuiTools, TheSelectionWindowCombinesTheActiveMaskIntoAnother) {
  auto* sel = dynamic_cast<TSelectWindow*>(form_->Palette("select"));
  ASSERT_NE(sel, nullptr);
  TPaper& paper = w_->Paper();
  struct Case {
    CombineMode mode;
    bool targetEmpty;
    bool left, overlap, right;
  };
  const Case cases[] = {
      {CombineMode::kReplace, false, true, true, false},
      {CombineMode::kAdd, false, true, true, true},
      {CombineMode::kSubtract, false, false, false, true},
      {CombineMode::kIntersect, false, false, true, false},
      {CombineMode::kAdd, true, true, true, false},         // into an empty mask: a copy
      {CombineMode::kSubtract, true, false, false, false},  // nothing to take from
      {CombineMode::kIntersect, true, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.mode) * 10 + c.targetEmpty);
    while (paper.masks.Count() > 1) ASSERT_TRUE(paper.RemoveSelectionMask(-1));
    paper.ClearSelection(0);  // false when it selects nothing already
    if (!c.targetEmpty) ASSERT_TRUE(paper.SelectRect(0, {10, 0, 10, 10}, CombineMode::kReplace));
    ASSERT_TRUE(sel->AddMask());
    ASSERT_EQ(paper.masks.ActiveIndex(), 1);
    ASSERT_TRUE(paper.SelectRect(1, {0, 0, 15, 10}, CombineMode::kReplace));
    sel->CombineInto(0, c.mode);
    const CMaskData* m = paper.masks.At(0);
    EXPECT_EQ(m->CoverageAt(3, 5) > 0, c.left);
    EXPECT_EQ(m->CoverageAt(12, 5) > 0, c.overlap);
    EXPECT_EQ(m->CoverageAt(18, 5) > 0, c.right);
  }
}

// A mask's image as its row's icon shows it.
QImage RowIcon(QListWidget* list, int row) {
  return list->item(row)->icon().pixmap(list->iconSize()).toImage();
}

TEST_F(GuiTools, TheMaskListKeepsItsPlaceWhenAThumbnailChangesAndArrowKeysActivate) {
  auto* sel = dynamic_cast<TSelectWindow*>(form_->Palette("select"));
  ASSERT_NE(sel, nullptr);
  TPaper& paper = w_->Paper();
  QListWidget* list = sel->List();
  list->setFixedHeight(120);  // room for a few rows only, so the list scrolls
  for (int i = 0; i < 11; ++i) ASSERT_TRUE(sel->AddMask());
  ASSERT_EQ(list->count(), 12);
  QCoreApplication::processEvents();
  QScrollBar* bar = list->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  ASSERT_TRUE(sel->Activate(9));
  bar->setValue(bar->maximum() / 2);
  const int scroll = bar->value();
  QListWidgetItem* const item = list->item(9);
  const QImage before = RowIcon(list, 9);

  ASSERT_TRUE(paper.SelectRect(9, {0, 0, 60, 90}, CombineMode::kReplace));
  sel->Tick();
  EXPECT_EQ(list->item(9), item);  // the same row, not a new list
  EXPECT_NE(RowIcon(list, 9), before);
  EXPECT_EQ(list->currentRow(), 9);
  EXPECT_EQ(bar->value(), scroll);
  // The left half covered: the icon is not one colour any more.
  const QImage after = RowIcon(list, 9);
  EXPECT_NE(after.pixel(2, after.height() / 2), after.pixel(after.width() - 3, after.height() / 2));

  // The arrow keys move the current row, and the row reached is the active mask, recorded.
  const struct {
    int key;
    int32_t active;
  } keys[] = {{Qt::Key_Up, 8}, {Qt::Key_Up, 7}, {Qt::Key_Down, 8}, {Qt::Key_Home, 0}, {Qt::Key_End, 11}};
  for (const auto& k : keys) {
    const size_t recorded = w_->Doc().Events().CommittedLength();
    QKeyEvent e(QEvent::KeyPress, k.key, Qt::NoModifier);
    QApplication::sendEvent(list, &e);
    EXPECT_EQ(paper.masks.ActiveIndex(), k.active) << k.key;
    EXPECT_EQ(list->currentRow(), k.active) << k.key;
    EXPECT_GT(w_->Doc().Events().CommittedLength(), recorded) << k.key;
    EXPECT_TRUE(list->item(k.active)->font().bold()) << k.key;
  }
  EXPECT_FALSE(list->item(8)->font().bold());
}

TEST_F(GuiTools, PickingABrushSetsThePenAndTheEditorChangesIt) {
  auto* list = dynamic_cast<TPenMtdListWin*>(form_->Palette("penMethodList"));
  auto* editor = dynamic_cast<TPenMethodWin*>(form_->Palette("penMethod"));
  ASSERT_TRUE(list && editor);
  CPenMethodMngr& brushes = form_->Brushes();
  ASSERT_GE(brushes.Count(), 2);
  EXPECT_EQ(list->List()->count(), brushes.Count());
  CLivePen& pen = form_->Pen();
  for (int32_t i : {1, 0}) {
    ASSERT_TRUE(list->Choose(i));
    const CPenMethodObj& b = *brushes.At(i);
    EXPECT_EQ(pen.render.BrushHead(), b.Record().head) << i;
    EXPECT_EQ(pen.params, b.Record().stroke) << i;
    ASSERT_NE(b.TipIfAny(), nullptr) << i;  // the default brushes carry their tips
    EXPECT_EQ(pen.render.TipParams().radius100, b.TipIfAny()->params.radius100) << i;
    EXPECT_EQ(list->List()->currentRow(), i);
  }
  // The editor's fields go to the pen at once.
  editor->Tick();
  editor->Size()->setValue(12.5);
  editor->Opacity()->setValue(50);
  editor->PressureSize()->setChecked(true);
  EXPECT_EQ(pen.render.TipParams().radius100, 1250);
  EXPECT_EQ(pen.params.opacity, 500);
  EXPECT_FLOAT_EQ(pen.stroke.Opacity(), 0.5f);
  EXPECT_EQ(pen.params.pressureSize, 1);
  // The edits change the window's copy, not the brush in the list: away and back, the pen is
  // the brush as it was.
  const PenMethodParams stored = brushes.At(0)->Record();
  EXPECT_NE(stored.stroke.opacity, 500);
  ASSERT_TRUE(list->Choose(1));
  ASSERT_TRUE(list->Choose(0));
  EXPECT_EQ(pen.params, stored.stroke);
  EXPECT_DOUBLE_EQ(editor->Size()->value(), brushes.At(0)->TipIfAny()->params.radius100 / 100.0);
  // Saved back, they stay with the brush.
  editor->Size()->setValue(12.5);
  editor->Opacity()->setValue(50);
  ASSERT_TRUE(editor->SaveBack());
  ASSERT_TRUE(list->Choose(1));
  ASSERT_TRUE(list->Choose(0));
  EXPECT_EQ(pen.render.TipParams().radius100, 1250);
  EXPECT_EQ(pen.params.opacity, 500);
  EXPECT_DOUBLE_EQ(editor->Size()->value(), 12.5);
  // And the next stroke draws with it: the stroke takes the pen's settings.
  MouseDrag(At(10, 10), At(100, 60));
  EXPECT_EQ(w_->Doc().Strokes().Params().opacity, 500);
}

int DarkPixels(const QImage& img) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += qGray(img.pixel(x, y)) < 128 ? 1 : 0;
  return n;
}

TEST(DabPreview, PaintsTheTipAtItsSizeInTheMiddle) {
  PenTipRecord tip;
  int last = 0;
  for (int32_t radius100 : {200, 600, 1200}) {
    tip.params.SetRadius100(radius100);
    const QImage img = DabPreview(tip, 40);
    EXPECT_LT(qGray(img.pixel(20, 20)), 128) << radius100;
    EXPECT_EQ(img.pixel(0, 0), QColor(Qt::white).rgb()) << radius100;
    const int dark = DarkPixels(img);
    // Within the disc (its soft edge is lighter), and larger for a larger tip.
    const double r = radius100 / 100.0;
    EXPECT_LE(dark, 3.14159 * (r + 1) * (r + 1)) << radius100;
    EXPECT_GT(dark, last) << radius100;
    last = dark;
  }
}

TEST_F(GuiTools, PickingATipSetsThePenAndTheBrushAndTheEditorChangesIt) {
  auto* list = dynamic_cast<TPenShpListWin*>(form_->Palette("penShapeList"));
  auto* editor = dynamic_cast<TPenShapeWin*>(form_->Palette("penShape"));
  ASSERT_TRUE(list && editor);
  const CPenShapeMngr& tips = form_->Tips();
  ASSERT_GE(tips.Count(), 2);
  EXPECT_EQ(list->List()->count(), tips.Count());
  CLivePen& pen = form_->Pen();
  const int32_t pick = tips.Count() - 1;
  ASSERT_TRUE(list->Choose(pick));
  EXPECT_EQ(pen.render.TipParams(), tips.At(pick)->params);
  // The brush in the list keeps its own tip until the brush window saves the pen into it.
  ASSERT_NE(form_->Brushes().Current(), nullptr);
  const PenTipParams brushTip = form_->Brushes().Current()->Tip().Record().params;
  editor->Tick();
  EXPECT_DOUBLE_EQ(editor->Radius()->value(), tips.At(pick)->params.radius100 / 100.0);
  // A larger radius in the editor: the pen's tip, the brush's tip and the preview grow.
  editor->Radius()->setValue(2.0);
  const int small = DarkPixels(editor->Preview());
  editor->Radius()->setValue(8.0);
  EXPECT_EQ(pen.render.TipParams().radius100, 800);
  EXPECT_EQ(form_->Brushes().Current()->Tip().Record().params, brushTip);
  EXPECT_GT(DarkPixels(editor->Preview()), small);
  editor->Angle()->setValue(45);
  EXPECT_EQ(pen.render.TipParams().angle, 450);
  auto* brushWindow = dynamic_cast<TPenMethodWin*>(form_->Palette("penMethod"));
  ASSERT_NE(brushWindow, nullptr);
  ASSERT_TRUE(brushWindow->SaveBack());
  EXPECT_EQ(form_->Brushes().Current()->Tip().Record().params.radius100, 800);
  EXPECT_EQ(form_->Brushes().Current()->Tip().Record().params.angle, 450);
}

TEST_F(GuiTools, TheOldPenWindowsSlotsHoldDistinctKinds) {
  auto* pens = dynamic_cast<TPenWindow2*>(form_->Palette("pen"));
  ASSERT_NE(pens, nullptr);
  TStroke& stroke = form_->Pen().stroke;
  const char* captions[5] = {"鉛筆", "透明水彩", "ぼかし", "消しゴム", "エアーブラシ"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(pens->SlotButton(i)->text(), QString::fromUtf8(captions[i])) << i;
  ASSERT_TRUE(pens->ChooseSlot(3));
  EXPECT_EQ(stroke.Kind(), kPenEraser);
  EXPECT_TRUE(pens->SlotButton(3)->isChecked());
  EXPECT_FALSE(pens->SetSlotKind(kPenPencil));  // slot 0 holds it already
  EXPECT_FALSE(pens->SetSlotKind(kPenBlur2));   // never in a slot
  EXPECT_EQ(pens->Slots().kinds[3], kPenEraser);
  EXPECT_TRUE(pens->SetSlotKind(kPenDarken));
  EXPECT_EQ(pens->Slots().kinds[3], kPenDarken);
  EXPECT_EQ(stroke.Kind(), kPenDarken);
  EXPECT_TRUE(pens->SetSlotKind(kPenEraser));  // back into its own slot
  EXPECT_EQ(pens->SlotButton(3)->text(), QString::fromUtf8("消しゴム"));
  EXPECT_EQ(pens->KindButton()->text(), QString::fromUtf8("消しゴム"));
}

TEST(OldPens, SlotsAndEachKindsValuesLastToTheNextStart) {
  RecordingNotifySink notes;
  const std::string file = std::string(getenv("XDG_CONFIG_HOME")) + "/pens-test.conf";
  std::filesystem::remove(file);
  {
    CQtSettingsStore store(file);
    CAppProfile profile;
    TMainForm form(profile, &store);
    auto* pens = dynamic_cast<TPenWindow2*>(form.Palette("pen"));
    ASSERT_NE(pens, nullptr);
    ASSERT_TRUE(pens->ChooseSlot(3));  // the eraser
    form.Pen().stroke.SetWidth(7.0f);
    ASSERT_TRUE(pens->ChooseSlot(0));  // the pencil, with values of its own
    EXPECT_NE(form.Pen().stroke.Width(), 7.0f);
    form.Pen().stroke.SetWidth(2.5f);
    ASSERT_TRUE(pens->ChooseSlot(3));
    EXPECT_FLOAT_EQ(form.Pen().stroke.Width(), 7.0f);  // the eraser's came back
    form.SavePaletteLayout();
    ASSERT_TRUE(store.Sync());
  }
  CQtSettingsStore store(file);
  CAppProfile profile;
  TMainForm form(profile, &store);
  auto* pens = dynamic_cast<TPenWindow2*>(form.Palette("pen"));
  ASSERT_NE(pens, nullptr);
  EXPECT_EQ(pens->Slots().current, 3);
  EXPECT_EQ(form.Pen().stroke.Kind(), kPenEraser);
  EXPECT_FLOAT_EQ(form.Pen().stroke.Width(), 7.0f);
  ASSERT_TRUE(pens->ChooseSlot(0));
  EXPECT_FLOAT_EQ(form.Pen().stroke.Width(), 2.5f);
}

TEST(PaletteLayout, ProfilePlacesAreUsedAndKeptOnTheScreen) {
  RecordingNotifySink notes;
  CAppProfile profile;
  // A navigator left floating far beyond the screen, with its size.
  profile.window.previewWinX = 5000;
  profile.window.previewWinY = 4000;
  profile.window.previewWinW = 210;
  profile.window.previewWinH = 170;
  TMainForm form(profile, nullptr);
  form.resize(800, 600);
  form.show();
  form.RestorePaletteLayout();
  QDockWidget* nav = form.PaletteDock("preview");
  ASSERT_TRUE(nav->isFloating());
  EXPECT_EQ(nav->size(), QSize(210, 170));
  const QRect room = form.screen()->availableGeometry();
  EXPECT_TRUE(room.contains(nav->frameGeometry())) << nav->x() << "," << nav->y();
  // Saved again, the floating place and size go back into the profile; docked ones keep -1.
  form.SavePaletteLayout();
  EXPECT_EQ(profile.window.previewWinX, nav->x());
  EXPECT_EQ(profile.window.previewWinW, nav->width());
  EXPECT_EQ(profile.window.layerWinW, -1);
  // The tool box, whose command is on no menu, cannot be closed from its title bar.
  EXPECT_FALSE(form.PaletteDock("tool")->features() & QDockWidget::DockWidgetClosable);
  EXPECT_EQ(form.Action("actShowToolBox")->text(), QString::fromUtf8("ツールボックスの表示"));
}

TEST(PaletteLayout, WrittenAtExitAndRestoredAtTheNextStart) {
  RecordingNotifySink notes;
  const std::string file = std::string(getenv("XDG_CONFIG_HOME")) + "/layout-test.conf";
  std::filesystem::remove(file);
  {
    CQtSettingsStore store(file);
    CAppProfile profile;
    TMainForm form(profile, &store);
    form.resize(800, 600);
    form.show();
    form.RestorePaletteLayout();
    QDockWidget* dock = form.PaletteDock("tool");
    ASSERT_NE(dock, nullptr);
    form.removeDockWidget(dock);
    form.addDockWidget(Qt::RightDockWidgetArea, dock);
    dock->hide();
    // A floating palette keeps its place in the profile; a docked one keeps none.
    QDockWidget* floating = form.PaletteDock("ctrl");
    floating->setFloating(true);
    floating->move(150, 160);
    form.SavePaletteLayout();
    EXPECT_EQ(profile.window.ctrlWinX, floating->x());
    EXPECT_EQ(profile.window.ctrlWinY, floating->y());
    EXPECT_EQ(profile.window.selectWinX, -1);
    EXPECT_TRUE(profile.window.selectWinVis);
    ASSERT_TRUE(store.Sync());
  }
  CQtSettingsStore store(file);
  CAppProfile profile;
  TMainForm form(profile, &store);
  form.resize(800, 600);
  form.show();
  EXPECT_EQ(form.dockWidgetArea(form.PaletteDock("tool")), Qt::LeftDockWidgetArea);  // as designed
  EXPECT_FALSE(form.PaletteDock("tool")->isHidden());
  form.RestorePaletteLayout();
  EXPECT_EQ(form.dockWidgetArea(form.PaletteDock("tool")), Qt::RightDockWidgetArea);
  // Hidden in the stored arrangement, the tool box still comes back: its command is on no
  // menu, so nothing else could show it again.
  EXPECT_FALSE(form.PaletteDock("tool")->isHidden());
  EXPECT_TRUE(form.PaletteDock("ctrl")->isFloating());
}

TEST_F(GuiTools, ATabletStrokeCarriesItsPressures) {
  Proximity(true);
  EXPECT_FALSE(Tablet(QEvent::TabletMove, At(10, 10), 0));  // hovering: left to the mouse side
  EXPECT_TRUE(Tablet(QEvent::TabletPress, At(10, 10), 0.25));
  EXPECT_TRUE(Tablet(QEvent::TabletMove, At(40, 30), 0.5));
  EXPECT_TRUE(Tablet(QEvent::TabletMove, At(80, 50), 0.75));
  EXPECT_TRUE(Tablet(QEvent::TabletRelease, At(80, 50), 0));
  Proximity(false);
  EXPECT_EQ(spy_->strokes, 1);
  EXPECT_EQ(spy_->ends, 1);
  ASSERT_GE(spy_->pressures.size(), 3u);
  EXPECT_FLOAT_EQ(spy_->pressures.front(), 0.25f);
  EXPECT_NE(std::find(spy_->pressures.begin(), spy_->pressures.end(), 0.5f), spy_->pressures.end());
  EXPECT_NE(std::find(spy_->pressures.begin(), spy_->pressures.end(), 0.75f), spy_->pressures.end());
  EXPECT_FLOAT_EQ(spy_->pressures.back(), 0.0f);  // the lift
  EXPECT_GT(InkAlpha(45, 32), 0u);
}

TEST_F(GuiTools, MouseEventsWhileThePenIsNearDrawNothing) {
  Proximity(true);
  MouseDrag(At(10, 10), At(100, 60));
  EXPECT_EQ(spy_->strokes, 0);
  Proximity(false);
  MouseDrag(At(10, 10), At(100, 60));
  EXPECT_EQ(spy_->strokes, 1);
}

TEST_F(GuiTools, APenTakenAwayMidStrokeEndsItWhereItWasLastSeen) {
  Proximity(true);
  ASSERT_TRUE(Tablet(QEvent::TabletPress, At(10, 10), 0.5));
  ASSERT_TRUE(Tablet(QEvent::TabletMove, At(60, 40), 0.5));
  Proximity(false);
  EXPECT_FALSE(w_->Doc().StrokeRunning());
  EXPECT_EQ(spy_->ends, 1);
  EXPECT_FLOAT_EQ(spy_->pressures.back(), 0.0f);
}

TEST_F(GuiTools, LosingTheApplicationMidStrokeEndsIt) {
  Proximity(true);
  ASSERT_TRUE(Tablet(QEvent::TabletPress, At(10, 10), 0.5));
  ASSERT_TRUE(Tablet(QEvent::TabletMove, At(60, 40), 0.5));
  QEvent away(QEvent::ApplicationDeactivate);
  QApplication::sendEvent(qApp, &away);
  EXPECT_FALSE(w_->Doc().StrokeRunning());
  EXPECT_EQ(spy_->ends, 1);
  // The mouse is no longer held back by a proximity that may never be reported as left.
  MouseDrag(At(10, 70), At(100, 70));
  EXPECT_EQ(spy_->strokes, 2);
}

TEST_F(GuiTools, AModalDialogDuringADragEndsTheDrag) {
  w_->View().setFocus();
  QCoreApplication::processEvents();
  Mouse(QEvent::MouseButtonPress, At(10, 10), Qt::LeftButton, Qt::LeftButton);
  Mouse(QEvent::MouseMove, At(50, 30), Qt::NoButton, Qt::LeftButton);
  ASSERT_TRUE(w_->Doc().StrokeRunning());
  QDialog dialog(form_.get());
  dialog.setModal(true);
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  dialog.setFocus();
  QCoreApplication::processEvents();
  EXPECT_FALSE(w_->Doc().StrokeRunning());
  EXPECT_EQ(w_->Dispatch().State() & (kStateAnyDrag | kStateButtonDown), 0);
  EXPECT_EQ(spy_->ends, 1);
  dialog.close();
  // The release that follows finds nothing to end.
  Mouse(QEvent::MouseButtonRelease, At(50, 30), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(spy_->ends, 1);
}

TEST_F(GuiTools, TheEraserEndErasesAndThePenComesBackAfterTheStroke) {
  QPointingDevice eraser(QStringLiteral("test eraser"), 78, QInputDevice::DeviceType::Stylus,
                         QPointingDevice::PointerType::Eraser,
                         QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 3);
  const SPenBrushHead pen = w_->Doc().Pen().render.BrushHead();
  ASSERT_NE(pen.mode, kBrushEraser);
  auto send = [&](QEvent::Type type, QPointF at, qreal pressure) {
    QTabletEvent e(type, &eraser, at, at.isNull() ? at : Port()->mapToGlobal(at), pressure, 0, 0, 0, 0, 0,
                   Qt::NoModifier, type == QEvent::TabletMove ? Qt::NoButton : Qt::LeftButton,
                   pressure > 0 ? Qt::LeftButton : Qt::NoButton);
    QApplication::sendEvent(type == QEvent::TabletLeaveProximity ? static_cast<QObject*>(qApp) : Port(), &e);
  };
  send(QEvent::TabletMove, At(10, 10), 0);  // hovering with the eraser end down
  EXPECT_EQ(w_->Doc().Pen().render.BrushHead().mode, kBrushEraser);
  send(QEvent::TabletPress, At(10, 10), 0.8);
  send(QEvent::TabletMove, At(60, 40), 0.8);
  send(QEvent::TabletLeaveProximity, QPointF(), 0);  // taken away mid-stroke
  EXPECT_FALSE(w_->Doc().StrokeRunning());
  EXPECT_EQ(spy_->ends, 1);
  EXPECT_EQ(w_->Doc().Pen().render.BrushHead(), pen);
}

TEST_F(GuiTools, WithIgnoreTabletTheTabletIsLeftAloneAndTheMouseDraws) {
  Make(true);
  Proximity(true);
  EXPECT_FALSE(Tablet(QEvent::TabletPress, At(10, 10), 0.5));
  EXPECT_FALSE(Tablet(QEvent::TabletRelease, At(10, 10), 0));
  EXPECT_EQ(spy_->strokes, 0);
  MouseDrag(At(10, 10), At(100, 60));
  EXPECT_EQ(spy_->strokes, 1);
}

TEST_F(GuiTools, OtherToolsTakeThePointerMadeFromThePen) {
  // Over the zoom tool the pen's press is not taken as a stroke: the system makes a mouse
  // press of it, which zooms.
  ASSERT_TRUE(form_->Modes().SelectMode(kToolModeZoom, kSubZoomIn));
  Proximity(true);
  EXPECT_FALSE(Tablet(QEvent::TabletPress, At(10, 10), 0.5));
  Mouse(QEvent::MouseButtonPress, At(10, 10), Qt::LeftButton, Qt::LeftButton);
  Mouse(QEvent::MouseButtonRelease, At(10, 10), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(w_->Paper().zoomIndex, 1);
  EXPECT_EQ(spy_->strokes, 0);
}

}  // namespace
}  // namespace tintara
