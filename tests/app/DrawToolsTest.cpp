// The tools' handlers over a real picture, driven through the dispatch as a window drives
// them: the pen, the eyedropper, zoom and view drags, the layer move, the crop and cursor-key
// moves, the one-click fills and the turned-over pen.
#include "app/DrawTools.h"
#include "paint/PenMethod.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "app/AppProfile.h"
#include "app/ModeMngr.h"
#include "app/PictureDocument.h"
#include "app/ToolDispatch.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

// The window side: a 200 x 150 view that zooms the paper itself and logs the rest.
class FakeView : public IToolHost, public IToolView {
 public:
  explicit FakeView(CPictureDocument& doc) : doc_(doc) {}
  // IToolHost
  bool IsReplaying() const override { return doc_.Replaying(); }
  void Beep() override { ++beeps; }
  bool CanZoomIn() const override { return doc_.Paper().CanZoomIn(); }
  bool CanZoomOut() const override { return doc_.Paper().CanZoomOut(); }
  bool ZoomAbout(bool in, TPoint) override { return in ? doc_.Paper().ZoomIn() : doc_.Paper().ZoomOut(); }
  void ShowStatus(std::string_view text) override { status = std::string(text); }
  // IToolView
  int32_t ClientWidth() const override { return 200; }
  int32_t ClientHeight() const override { return 150; }
  void PanBy(int32_t dx, int32_t dy) override { pans.push_back({dx, dy}); }
  void SetViewAngle(double degrees) override { doc_.Paper().SetViewAngle(degrees); }
  void RefreshView() override { ++refreshes; }
  void ShowOption(const std::string& text, std::optional<uint32_t>) override { option = text; }
  bool TabletDrives() const override { return tablet; }
  void ShowRubberBand(std::optional<TRect> r) override { band = r; }

  int beeps = 0, refreshes = 0;
  bool tablet = false;
  std::string status, option;
  std::vector<TPoint> pans;
  std::optional<TRect> band;

 private:
  CPictureDocument& doc_;
};

class Tools : public ::testing::Test {
 protected:
  void SetUp() override {
    PaperSettings s;
    s.undoMax = 20;
    doc_ = std::make_unique<CPictureDocument>(nullptr, s);
    ASSERT_TRUE(doc_->NewPicture("t", 64, 48, 72, false));
    view_ = std::make_unique<FakeView>(*doc_);
    dispatch_ = std::make_unique<CToolDispatch>(*view_, modes_, config_);
    tools_ = std::make_unique<CDrawTools>(*doc_, nullptr, config_, *view_);
    tools_->Install(*dispatch_);
  }
  TPaper& Paper() { return doc_->Paper(); }
  // A layer of one colour over the white paper, made active.
  int32_t ColourLayer(uint32_t colour) {
    const int32_t i = Paper().NewLayer(doc_->Flow(), kModeNormal, colour, "c");
    EXPECT_GE(i, 0);
    return i;
  }
  void Drag(TPoint from, TPoint to, uint32_t shift = 0, int steps = 4) {
    dispatch_->PointerDown(MouseButton::kLeft, shift | kShiftLeft, from, false);
    for (int k = 1; k <= steps; ++k)
      dispatch_->PointerMove(shift | kShiftLeft,
                             {from.x + (to.x - from.x) * k / steps, from.y + (to.y - from.y) * k / steps});
    dispatch_->PointerUp(MouseButton::kLeft, shift, to);
  }
  void Select(uint8_t mode, uint32_t sub) {
    ASSERT_TRUE(modes_.SelectMode(mode, sub) || modes_.Mode() == mode);
  }
  uint32_t LayerPixel(int32_t i, int32_t x, int32_t y) {
    float sx = float(x), sy = float(y);
    Paper().ToLayer(i, sx, sy);
    return Paper().Layer(i)->pixels->GetPixel(int32_t(sx), int32_t(sy));
  }

  RecordingNotifySink notes_;
  ConfigSettings config_;
  CModeMngr modes_;
  std::unique_ptr<CPictureDocument> doc_;
  std::unique_ptr<FakeView> view_;
  std::unique_ptr<CToolDispatch> dispatch_;
  std::unique_ptr<CDrawTools> tools_;
};

TEST(WindowToPaper, ThroughTheZoomOrAboutTheTurnedCentre) {
  TPaper paper;
  TFlowImage flow(paper);
  ASSERT_TRUE(paper.NewPaper("p", flow, false, false, 72, 100, 100));
  paper.SetViewOrigin(10, 20);
  paper.SetViewAnchor(0, 0);
  struct Case {
    int32_t zoomStep;
    double wx, wy, px, py;
  } cases[] = {
      {0, 10, 20, 0, 0},
      {0, 35.5, 21, 25.5, 1},
  };
  for (const Case& c : cases) {
    paper.SetZoomIndex(c.zoomStep);
    double px = 0, py = 0;
    WindowToPaper(paper, 200, 150, c.wx, c.wy, px, py);
    EXPECT_DOUBLE_EQ(px, c.px) << c.wx;
    EXPECT_DOUBLE_EQ(py, c.py) << c.wy;
  }
  // Zoomed in, a window pixel is a fraction of a paper pixel.
  paper.SetZoomIndex(1);
  const double z = paper.ZoomFactor();
  ASSERT_GT(z, 1.0);
  double px = 0, py = 0;
  WindowToPaper(paper, 200, 150, 10 + 3 * z, 20 + 5 * z, px, py);
  EXPECT_NEAR(px, 3, 1e-9);
  EXPECT_NEAR(py, 5, 1e-9);
  // Turned a quarter: the centre shows the shift point, and one pixel to the right of it is a
  // paper step along the turned axis.
  paper.SetZoomIndex(0);
  ASSERT_TRUE(paper.SetViewAngle(-90));
  paper.viewShiftX = 40;
  paper.viewShiftY = 30;
  WindowToPaper(paper, 200, 150, 100, 75, px, py);
  EXPECT_DOUBLE_EQ(px, 40);
  EXPECT_DOUBLE_EQ(py, 30);
  WindowToPaper(paper, 200, 150, 101, 75, px, py);
  EXPECT_DOUBLE_EQ(px, 40);  // cos -90 = 0
  EXPECT_DOUBLE_EQ(py, 29);  // sin -90 = -1
}

TEST(ColourReadout, RgbAndTheIntegerPartsOfHsv) {
  EXPECT_EQ(ColourReadout(0x00FF8000), "R: 255, G: 128, B: 0\nH: 30, S: 255, V: 255");
  EXPECT_EQ(ColourReadout(0xFF000000), "R: 0, G: 0, B: 0\nH: 0, S: 0, V: 0");
  EXPECT_EQ(ColourReadout(0x00808080), "R: 128, G: 128, B: 128\nH: 0, S: 0, V: 128");
}

TEST_F(Tools, PenDragDrawsOneRecordedStrokeThatUndoes) {
  const int32_t ink = ColourLayer(0x00FFFFFF);  // a clear layer
  doc_->Stroke().SetColour(0x00203040);
  PenTipParams tip;
  tip.radius100 = 300;
  doc_->Pen().render.SetTipParams(tip);
  const size_t before = doc_->Events().CommittedLength();
  Select(kToolModePen, 0);
  Drag({8, 10}, {50, 30});
  EXPECT_FALSE(doc_->StrokeRunning());
  // On the path the soft tip has all but covered the clear layer in the pen's colour.
  EXPECT_GT(LayerPixel(ink, 29, 20) >> 24, 240u) << std::hex << LayerPixel(ink, 29, 20);
  EXPECT_EQ(LayerPixel(ink, 29, 20) & 0x00FFFFFF, 0x00203040u);
  EXPECT_EQ(LayerPixel(ink, 60, 45) >> 24, 0u);
  EXPECT_GT(doc_->Events().CommittedLength(), before);
  EXPECT_TRUE(doc_->modified);
  // One stroke, one undo step.
  ASSERT_TRUE(Paper().Undo(doc_->Flow()).ok);
  EXPECT_EQ(LayerPixel(ink, 29, 20) >> 24, 0u);
  // While the tablet drives the stroke the mouse draws nothing.
  view_->tablet = true;
  Drag({8, 10}, {50, 30});
  EXPECT_EQ(LayerPixel(ink, 29, 20) >> 24, 0u);
}

TEST_F(Tools, TabletStrokesCarryTheirPressure) {
  ColourLayer(0x00FFFFFF);
  Select(kToolModePen, 0);
  ASSERT_TRUE(tools_->PenDown(10.5, 10.5, 0.25f));
  EXPECT_TRUE(doc_->StrokeRunning());
  tools_->PenMove(30.5, 20.5, 0.5f);
  tools_->PenMove(50.5, 30.5, 0.75f);
  tools_->PenUp(50.5, 30.5);
  EXPECT_FALSE(doc_->StrokeRunning());
  EXPECT_TRUE(Paper().CanUndoNow());
  // Nothing runs to end: a lift without a stroke is ignored.
  tools_->PenUp(1, 1);
  EXPECT_FALSE(doc_->StrokeRunning());
}

TEST_F(Tools, EyedropperReadsTheCompositeOrTheActiveLayer) {
  // A half-transparent red layer over the white paper: the composite is pink, the layer red.
  const int32_t i = Paper().NewLayer(doc_->Flow(), kModeNormal, 0x80FF0000, "half");
  ASSERT_GE(i, 0);
  const std::optional<uint32_t> shown = tools_->ColourAt({5, 5}, false), own = tools_->ColourAt({5, 5}, true);
  ASSERT_TRUE(shown && own);
  EXPECT_EQ(*own, 0x00FF0000u);
  EXPECT_EQ(*shown >> 16, 0xFFu);
  EXPECT_GT(*shown & 0xFF, 0x70u);                             // white shows through
  EXPECT_FALSE(tools_->ColourAt({64, 5}, false).has_value());  // beside the paper
  Select(kToolModeEyedropper, 0);
  dispatch_->PointerDown(MouseButton::kLeft, kShiftLeft | kShiftCtrl, {5, 5}, false);
  dispatch_->PointerUp(MouseButton::kLeft, kShiftCtrl, {5, 5});
  EXPECT_EQ(doc_->Stroke().Colour() & 0x00FFFFFF, 0x00FF0000u);
  dispatch_->PointerDown(MouseButton::kRight, kShiftRight, {5, 5}, false);
  dispatch_->PointerUp(MouseButton::kRight, 0, {5, 5});
  EXPECT_EQ(doc_->Stroke().Background() & 0x00FFFFFF, *shown);
  dispatch_->PointerMove(0, {5, 5});
  EXPECT_EQ(view_->option, ColourReadout(*shown));
  // Shift over the pen picks at once, and the press is used up: the pen draws nothing.
  Select(kToolModePen, 0);
  doc_->Stroke().SetColour(0x00000000);
  Drag({5, 5}, {40, 40}, kShiftShift);
  EXPECT_EQ(doc_->Stroke().Colour() & 0x00FFFFFF, *shown);
  EXPECT_FALSE(doc_->StrokeRunning());
}

TEST_F(Tools, ZoomToolReversesWithCtrlOnlyOnce) {
  struct Case {
    uint32_t sub, shift;
    int32_t step;
  } cases[] = {
      {kSubZoomIn, 0, 1},
      {kSubZoomOut, 0, -1},
      // Ctrl over the zoom tool lends the other direction for the press; the handler must not
      // turn it back again.
      {kSubZoomIn, kShiftCtrl, -1},
      {kSubZoomOut, kShiftCtrl, 1},
  };
  for (const Case& c : cases) {
    Paper().SetZoomIndex(0);
    Select(kToolModeZoom, c.sub);
    dispatch_->PointerDown(MouseButton::kLeft, kShiftLeft | c.shift, {20, 20}, false);
    dispatch_->PointerUp(MouseButton::kLeft, c.shift, {20, 20});
    EXPECT_EQ(Paper().zoomIndex, c.step) << c.sub << "/" << c.shift;
    EXPECT_EQ(modes_.SubMode(), c.sub);  // the lent tool is given back
  }
}

TEST_F(Tools, ViewDragsPanTurnAndSizeThePen) {
  Select(kToolModeView, kSubViewPan);
  Drag({10, 10}, {30, 14}, 0, 2);
  ASSERT_EQ(view_->pans.size(), 2u);
  EXPECT_EQ(view_->pans[0], (TPoint{10, 2}));
  EXPECT_EQ(view_->pans[1], (TPoint{10, 2}));
  // A quarter turn of the pointer about the centre turns the view the other way.
  Select(kToolModeView, kSubViewRotate);
  dispatch_->PointerDown(MouseButton::kLeft, kShiftLeft, {150, 75}, false);  // right of the centre
  dispatch_->PointerMove(kShiftLeft, {100, 125});                            // below it
  EXPECT_FLOAT_EQ(Paper().normalisedAngle, -90.0f);
  // Esc puts it back as it was at the press.
  dispatch_->KeyDown({kKeyEscape, 0, false});
  EXPECT_FLOAT_EQ(Paper().normalisedAngle, 0.0f);
  EXPECT_EQ(dispatch_->State() & kStateAnyDrag, 0);
  dispatch_->PointerUp(MouseButton::kLeft, 0, {100, 125});
  // Dragging right by ten window pixels at 100 % makes the brush tip ten pixels larger.
  Select(kToolModeView, kSubViewPenRadius);
  const double r0 = tools_->PenRadius();
  Drag({50, 50}, {60, 50});
  EXPECT_NEAR(tools_->PenRadius(), r0 + 10, 0.01);
}

TEST_F(Tools, LayerMoveIsOneUndoableStep) {
  const int32_t i = ColourLayer(0xFF00FF00);
  const int32_t x0 = Paper().Layer(i)->viewX, y0 = Paper().Layer(i)->viewY;
  Select(kToolModeDrag, kSubMoveLayer);
  Drag({10, 10}, {22, 5});
  EXPECT_EQ(Paper().Layer(i)->viewX, x0 - 12);
  EXPECT_EQ(Paper().Layer(i)->viewY, y0 + 5);
  ASSERT_TRUE(Paper().Undo(doc_->Flow()).ok);
  EXPECT_EQ(Paper().Layer(i)->viewX, x0);
  EXPECT_EQ(Paper().Layer(i)->viewY, y0);
  // A press without a move, and a drag cancelled with Esc, move nothing.
  Drag({10, 10}, {10, 10});
  dispatch_->PointerDown(MouseButton::kLeft, kShiftLeft, {10, 10}, false);
  dispatch_->PointerMove(kShiftLeft, {30, 30});
  dispatch_->KeyDown({kKeyEscape, 0, false});
  dispatch_->PointerUp(MouseButton::kLeft, 0, {30, 30});
  EXPECT_EQ(Paper().Layer(i)->viewX, x0);
  EXPECT_EQ(Paper().Layer(i)->viewY, y0);
}

TEST_F(Tools, CursorKeysMoveTheLayerAndRecordTheMoveOnce) {
  const int32_t i = ColourLayer(0xFF00FF00);
  const int32_t x0 = Paper().Layer(i)->viewX, y0 = Paper().Layer(i)->viewY;
  Select(kToolModeDrag, kSubMoveLayer);
  dispatch_->KeyDown({kKeyRight, 0, false});
  EXPECT_TRUE(dispatch_->State() & kStateKeyMove);
  EXPECT_EQ(view_->status, "カーソルキー移動モードに入りました");
  dispatch_->KeyDown({kKeyRight, kShiftShift, false});
  dispatch_->KeyDown({kKeyUp, 0, false});
  EXPECT_EQ(Paper().Layer(i)->viewX, x0 - 11);
  EXPECT_EQ(Paper().Layer(i)->viewY, y0 + 1);
  dispatch_->KeyDown({kKeyEnter, 0, false});
  EXPECT_FALSE(dispatch_->State() & kStateKeyMove);
  EXPECT_EQ(view_->status, "カーソルキー移動モードを終了しました");
  EXPECT_EQ(Paper().Layer(i)->viewX, x0 - 11);
  ASSERT_TRUE(Paper().Undo(doc_->Flow()).ok);
  EXPECT_EQ(Paper().Layer(i)->viewX, x0);
  EXPECT_EQ(Paper().Layer(i)->viewY, y0);
  // Esc leaves the mode and puts the layer back, with nothing to undo.
  ASSERT_TRUE(Paper().Redo(doc_->Flow()).ok);
  dispatch_->KeyDown({kKeyLeft, 0, false});
  dispatch_->KeyDown({kKeyEscape, 0, false});
  EXPECT_EQ(Paper().Layer(i)->viewX, x0 - 11);
  EXPECT_FALSE(dispatch_->State() & kStateKeyMove);
}

TEST_F(Tools, CropDragKeepsTheDraggedRectangle) {
  Select(kToolModeDrag, kSubCrop);
  dispatch_->PointerDown(MouseButton::kLeft, kShiftLeft, {40, 30}, false);
  dispatch_->PointerMove(kShiftLeft, {10, 5});
  ASSERT_TRUE(view_->band.has_value());
  EXPECT_EQ(*view_->band, (TRect{10, 5, 41, 31}));
  dispatch_->PointerUp(MouseButton::kLeft, 0, {10, 5});
  EXPECT_FALSE(view_->band.has_value());
  // Both end pixels of the drag are inside: 10..40 by 5..30.
  EXPECT_EQ(Paper().width, 31);
  EXPECT_EQ(Paper().height, 26);
  ASSERT_TRUE(Paper().Undo(doc_->Flow()).ok);
  EXPECT_EQ(Paper().width, 64);
}

TEST_F(Tools, OneClickFillsPaintOrClearTheActiveLayer) {
  const int32_t i = ColourLayer(0x00FFFFFF);
  doc_->Stroke().SetColour(0x00336699);
  Select(kToolModeFill, kSubFillLayer);
  dispatch_->PointerDown(MouseButton::kLeft, kShiftLeft, {3, 3}, false);
  dispatch_->PointerUp(MouseButton::kLeft, 0, {3, 3});
  for (const TPoint p : {TPoint{0, 0}, TPoint{63, 47}, TPoint{30, 20}})
    EXPECT_EQ(LayerPixel(i, p.x, p.y), 0xFF336699u) << p.x << "," << p.y;
  Select(kToolModeFill, kSubClearLayer);
  dispatch_->PointerDown(MouseButton::kLeft, kShiftLeft, {3, 3}, false);
  dispatch_->PointerUp(MouseButton::kLeft, 0, {3, 3});
  EXPECT_EQ(LayerPixel(i, 30, 20) >> 24, 0u);
  // Each click is one step back.
  ASSERT_TRUE(Paper().Undo(doc_->Flow()).ok);
  EXPECT_EQ(LayerPixel(i, 30, 20), 0xFF336699u);
  ASSERT_TRUE(Paper().Undo(doc_->Flow()).ok);
  EXPECT_EQ(LayerPixel(i, 30, 20) >> 24, 0u);
  // The bucket fill is not built yet: its click changes nothing.
  const size_t recorded = doc_->Events().CommittedLength();
  const uint32_t before = LayerPixel(i, 30, 20);
  Select(kToolModeFill, kSubBucketFill);
  dispatch_->PointerDown(MouseButton::kLeft, kShiftLeft, {3, 3}, false);
  dispatch_->PointerUp(MouseButton::kLeft, 0, {3, 3});
  EXPECT_EQ(LayerPixel(i, 30, 20), before);
  EXPECT_EQ(doc_->Events().CommittedLength(), recorded);
}

TEST_F(Tools, RightClickWithThePenPicksOnlyWhenAsked) {
  Paper().NewLayer(doc_->Flow(), kModeNormal, 0xFF00C000, "green");
  Select(kToolModePen, 0);
  const struct {
    bool picker;
    uint32_t shift, main, sub;
  } cases[] = {
      {false, 0, 0x00000000, 0x00FFFFFF},
      {true, 0, 0x0000C000, 0x00FFFFFF},
      {true, kShiftShift, 0x00000000, 0x0000C000},
  };
  for (const auto& c : cases) {
    doc_->Stroke().SetColour(0);
    doc_->Stroke().SetBackground(0x00FFFFFF);
    config_.useRBtnColPicker = c.picker;
    dispatch_->PointerDown(MouseButton::kRight, kShiftRight | c.shift, {9, 9}, false);
    dispatch_->PointerUp(MouseButton::kRight, c.shift, {9, 9});
    EXPECT_EQ(doc_->Stroke().Colour() & 0x00FFFFFF, c.main) << c.picker << c.shift;
    EXPECT_EQ(doc_->Stroke().Background() & 0x00FFFFFF, c.sub) << c.picker << c.shift;
  }
  EXPECT_FALSE(Paper().strokeRunning);
}

TEST_F(Tools, TurnedOverPenErasesAndComesBack) {
  doc_->Stroke().SetKind(kPenPencil);
  const SPenBrushHead head = doc_->Pen().render.BrushHead();
  ASSERT_NE(head.mode, kBrushEraser);
  ASSERT_TRUE(tools_->SwitchToEraser());
  EXPECT_EQ(doc_->Pen().render.BrushHead().mode, kBrushEraser);  // the brush engine's eraser
  EXPECT_FALSE(tools_->SwitchToEraser());                        // already
  tools_->RestoreFromEraser();
  EXPECT_EQ(doc_->Pen().render.BrushHead(), head);
  // The old pens switch their kind instead.
  Paper().SetLevel(1);
  ASSERT_TRUE(tools_->SwitchToEraser());
  EXPECT_EQ(doc_->Stroke().Kind(), kPenEraser);
  tools_->RestoreFromEraser();
  EXPECT_EQ(doc_->Stroke().Kind(), kPenPencil);
}

// With a brush list the turned-over pen is the list's eraser brush, tip and settings and all,
// and the brush in use comes back whole.
TEST_F(Tools, TurnedOverPenTakesTheEraserBrushOfTheList) {
  CPenMethodMngr brushes;
  brushes.FillDefault();
  const CPenMethodObj& pencil = *brushes.At(0);
  const CPenMethodObj& eraser = *brushes.At(brushes.FindEraser());
  ASSERT_NE(pencil.TipIfAny(), nullptr);
  ASSERT_NE(eraser.TipIfAny(), nullptr);
  ASSERT_NE(pencil.TipIfAny()->params.radius100, eraser.TipIfAny()->params.radius100);
  ASSERT_NE(pencil.Record().stroke.spacing, eraser.Record().stroke.spacing);
  CLivePen& pen = doc_->Pen();
  ApplyBrush(pencil, pen.render, pen.stroke, nullptr, true);
  pen.params = pencil.Record().stroke;
  pen.stroke.SetOpacity(0.42f);  // an edit of the brush in use, not saved into the list
  const SPenBrushHead head = pen.render.BrushHead();
  tools_->SetBrushList(&brushes);
  ASSERT_TRUE(tools_->SwitchToEraser());
  EXPECT_EQ(pen.render.BrushHead(), eraser.Record().head);
  EXPECT_EQ(pen.render.TipParams().radius100, eraser.TipIfAny()->params.radius100);
  EXPECT_EQ(pen.params.spacing, eraser.Record().stroke.spacing);
  EXPECT_FLOAT_EQ(pen.stroke.Opacity(), eraser.Record().stroke.opacity / 1000.0f);
  tools_->RestoreFromEraser();
  EXPECT_EQ(pen.render.BrushHead(), head);
  EXPECT_EQ(pen.render.TipParams().radius100, pencil.TipIfAny()->params.radius100);
  EXPECT_EQ(pen.params.spacing, pencil.Record().stroke.spacing);
  EXPECT_FLOAT_EQ(pen.stroke.Opacity(), 0.42f);
}

}  // namespace
}  // namespace tintara
