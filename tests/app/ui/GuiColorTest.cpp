// The colour windows in a real main window under the offscreen platform: each change reaches
// the pen and every other colour window, and the window that made it keeps its input.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QMouseEvent>
#include <QSlider>
#include <QSpinBox>

#include <filesystem>
#include <memory>

#include "app/AppProfile.h"
#include "app/ui/ColorWindows.h"
#include "app/ui/DrawWindow.h"
#include "app/ui/MainForm.h"
#include "pixel/Arith.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

constexpr int32_t kDeg = 1 << 16;

// --- the pure geometry of the square and the bar ------------------------------------------------

struct SquareCase {
  int32_t hueDeg, x, y;
  uint32_t expected;
};
constexpr SquareCase kSquare[] = {
    {120, 127, 0, 0x00FF00},                          // full saturation and value: the pure hue
    {240, 127, 0, 0x0000FF}, {240, 0, 0, 0xFFFFFF},   // no saturation at full value: white whatever the hue
    {0, 0, 127, 0x000000},                            // the bottom row is black
    {0, 127, 127, 0x000000}, {0, 300, -5, 0xFF0000},  // outside points are clamped into the square
    {-1, 127, 0, 0xFF0000},                           // no hue chosen yet: red
};

TEST(SvSquare, ColorFollowsSaturationRightAndValueUp) {
  for (const SquareCase& c : kSquare)
    EXPECT_EQ(SvSquareColor(c.hueDeg < 0 ? -1 : c.hueDeg * kDeg, c.x, c.y, 128), c.expected)
        << c.hueDeg << " " << c.x << "," << c.y;
}

TEST(SvSquare, PointIsWhereTheSquareShowsThatSaturationAndValue) {
  struct Case {
    uint32_t s, v;
    QPoint expected;
  };
  const Case cases[] = {
      {0, 255u << 16, {0, 0}},
      {255u << 16, 255u << 16, {127, 0}},
      {255u << 16, 0, {127, 127}},
      {128u << 16, 64u << 16, {64, 95}},  // 128*127/255 = 63.75 -> 64; 127 - round(31.87) = 95
  };
  for (const Case& c : cases) EXPECT_EQ(SvSquarePoint(c.s, c.v, 128), c.expected) << c.s << "," << c.v;
}

TEST(HueBar, RowOfEachHueIsTheRowThatShowsIt) {
  for (int32_t h : {2, 128, 200})
    for (int32_t y = 0; y < h; ++y) ASSERT_EQ(HueBarRow(HueBarHue(y, h), h), y) << h << " " << y;
  EXPECT_EQ(HueBarRow(359 * kDeg, 128), 127);
  EXPECT_EQ(HueBarRow(-1, 128), 0);
}

// --- the palette --------------------------------------------------------------------------------

TEST(ColorPaletteModel, BuiltInHasGreysThenHuesDarkeningThenTints) {
  const ColorPalette p = ColorPalette::BuiltIn();
  ASSERT_EQ(p.entries.size(), 256u);
  EXPECT_EQ(p.cellW, 10);
  EXPECT_EQ(p.cellH, 15);
  EXPECT_EQ(p.columns, 16);
  EXPECT_EQ(p.rows, 6);
  struct Case {
    size_t index;
    uint32_t expected;
  };
  const Case cases[] = {
      {0, 0x000000},   {1, 0x111111},  {15, 0xFFFFFF},  // grey ramp in steps of 17
      {16, 0xFF0000},  {24, 0x00FFFF},                  // hues 0 and 180 at full value
      {32, 0xE30000},                                   // the second row of hues: value 227
      {128, 0x3B0000},                                  // the eighth: value 255 - 7 * 28 = 59
      {144, 0xFF2020},                                  // the first tint: saturation 223
  };
  for (const Case& c : cases) EXPECT_EQ(p.entries[c.index], c.expected) << c.index;
}

TEST(ColorPaletteModel, IndexOfIsTheFirstEqualEntryInLow24Bits) {
  ColorPalette p;
  p.entries = {0x00102030, 0x03405060, 0x00405060};
  EXPECT_EQ(p.IndexOf(0x00405060), 1);  // the marker byte does not count
  EXPECT_EQ(p.IndexOf(0xFF102030), 0);
  EXPECT_EQ(p.IndexOf(0x00102031), -1);
}

TEST(ColorPaletteModel, IndexAtMapsGridPointsToEntries) {
  ColorPalette p;
  p.entries.assign(20, 0);  // one full row of 16 and four cells of the second
  struct Case {
    int32_t x, y, expected;
  };
  const Case cases[] = {{0, 0, 0},   {9, 14, 0},   {10, 0, 1},   {159, 0, 15}, {160, 0, -1},
                        {0, 15, 16}, {39, 29, 19}, {40, 15, -1}, {-1, 0, -1},  {0, -1, -1}};
  for (const Case& c : cases) EXPECT_EQ(p.IndexAt(c.x, c.y), c.expected) << c.x << "," << c.y;
}

// --- the windows in the main window --------------------------------------------------------------

class GuiColor : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<TMainForm>(profile_, nullptr);
    form_->resize(900, 700);
    form_->show();
    w_ = form_->NewPicture(120, 90, 72, false);
    ASSERT_NE(w_, nullptr);
    gcol_ = dynamic_cast<TGColWindow*>(form_->Palette("gcol"));
    rgb_ = dynamic_cast<TRgbWindow*>(form_->Palette("rgb"));
    hsv_ = dynamic_cast<THsvWindow*>(form_->Palette("hsv"));
    pal_ = dynamic_cast<TPalWindow*>(form_->Palette("pal"));
    ASSERT_TRUE(gcol_ && rgb_ && hsv_ && pal_);
    QCoreApplication::processEvents();
  }
  void TearDown() override {
    for (TDrawWindow* w : form_->DrawWindows()) w->Doc().modified = false;
    form_.reset();
  }
  CColorMngr& Colours() { return form_->Colours(); }
  uint32_t Pen() { return form_->Pen().stroke.Colour() & 0xFFFFFF; }
  static void Press(QWidget* target, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent e(QEvent::MouseButtonPress, QPointF(at), target->mapToGlobal(QPointF(at)), button, button,
                  Qt::NoModifier);
    QApplication::sendEvent(target, &e);
  }
  static void Drag(QWidget* target, QPoint to) {
    QMouseEvent e(QEvent::MouseMove, QPointF(to), target->mapToGlobal(QPointF(to)), Qt::NoButton,
                  Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
  }
  static std::array<int, 3> Fields(TChannelRows* r) {
    return {r->Field(0)->value(), r->Field(1)->value(), r->Field(2)->value()};
  }
  static std::array<int, 3> Sliders(TChannelRows* r) {
    return {r->Slider(0)->value(), r->Slider(1)->value(), r->Slider(2)->value()};
  }

  RecordingNotifySink notes_;
  CAppProfile profile_;
  std::unique_ptr<TMainForm> form_;
  TDrawWindow* w_ = nullptr;
  TGColWindow* gcol_ = nullptr;
  TRgbWindow* rgb_ = nullptr;
  THsvWindow* hsv_ = nullptr;
  TPalWindow* pal_ = nullptr;
};

TEST_F(GuiColor, WindowsAreDockedUnderTheirCommands) {
  struct Case {
    const char* command;
    const char* prefix;
    const char* caption;
  };
  const Case cases[] = {{"actShowColorWindow", "gcol", "カラー"},
                        {"actShowRgbWindow", "rgb", "RGB"},
                        {"actShowHsvWindow", "hsv", "HSV"},
                        {"actShowPalWindow", "pal", "カラーパレット"}};
  for (const Case& c : cases) {
    QDockWidget* dock = form_->PaletteDock(c.prefix);
    ASSERT_NE(dock, nullptr) << c.prefix;
    EXPECT_EQ(dock->windowTitle(), QString::fromUtf8(c.caption));
    QAction* a = form_->Action(c.command);
    ASSERT_NE(a, nullptr) << c.command;
    const bool shown = dock->isVisible();
    a->trigger();
    EXPECT_NE(dock->isVisible(), shown) << c.command;
    a->trigger();
    EXPECT_EQ(dock->isVisible(), shown) << c.command;
  }
}

TEST_F(GuiColor, HsvWindowReachesThePenAndTheOtherWindows) {
  Colours().SetMainColor(0x808080, kOriginGeneral);
  TChannelRows* rows = hsv_->Rows();
  // A hue typed for a grey: the colour stays grey and the typed hue stays shown.
  rows->Field(0)->setValue(120);
  EXPECT_EQ(Pen(), 0x808080u);
  EXPECT_EQ(Fields(rows), (std::array<int, 3>{120, 0, 128}));
  EXPECT_EQ(rows->Slider(0)->value(), 120);  // the slider follows the field
  EXPECT_EQ(gcol_->Square()->Hue(), 120 * kDeg);
  // Full saturation at value 128 and hue 120: pure green at half value.
  rows->Slider(1)->setValue(255);
  EXPECT_EQ(Pen(), 0x008000u);
  EXPECT_EQ(Fields(rows), (std::array<int, 3>{120, 255, 128}));
  EXPECT_EQ(Fields(rgb_->Rows()), (std::array<int, 3>{0, 128, 0}));
  EXPECT_EQ(Sliders(rgb_->Rows()), (std::array<int, 3>{0, 128, 0}));
  EXPECT_EQ(gcol_->Texts(), (QStringList{"R: 000", "G: 128", "B: 000"}));
  EXPECT_EQ(gcol_->Square()->Marker(), QPoint(127, 63));  // 127 - round(128 * 127 / 255)
  // The same grey from the eyedropper shows no hue of its own.
  Colours().SetMainColor(0x7F7F7F, kOriginGeneral);
  EXPECT_EQ(Fields(rows), (std::array<int, 3>{0, 0, 127}));
  EXPECT_EQ(Sliders(rows), (std::array<int, 3>{0, 0, 127}));
}

TEST_F(GuiColor, RgbSlidersAndFieldsSetTheMainColour) {
  Colours().SetMainColor(0x102030, kOriginGeneral);
  TChannelRows* rows = rgb_->Rows();
  EXPECT_EQ(Fields(rows), (std::array<int, 3>{0x10, 0x20, 0x30}));
  rows->Slider(1)->setValue(0xA0);  // a slider: the field beside it follows
  EXPECT_EQ(Pen(), 0x10A030u);
  EXPECT_EQ(rows->Field(1)->value(), 0xA0);
  rows->Field(2)->setValue(0xFF);  // a field: its slider follows
  EXPECT_EQ(Pen(), 0x10A0FFu);
  EXPECT_EQ(rows->Slider(2)->value(), 0xFF);
  const HsvColor hsv = RgbToHsv(0x10A0FF);
  EXPECT_EQ(Fields(hsv_->Rows()),
            (std::array<int, 3>{hsv.hue >> 16, int(hsv.saturation >> 16), int(hsv.value >> 16)}));
  EXPECT_EQ(gcol_->Texts(), (QStringList{"R: 016", "G: 160", "B: 255"}));
}

// Each RGB bar runs from the colour its minimum gives to the colour its maximum gives, unless
// the user keeps the bars plain.
TEST_F(GuiColor, RgbBarsShowTheColoursTheyWouldGive) {
  form_->PaletteDock("rgb")->raise();
  QCoreApplication::processEvents();
  auto near = [](QRgb p, int r, int g, int b) {
    return std::abs(qRed(p) - r) <= 16 && std::abs(qGreen(p) - g) <= 16 && std::abs(qBlue(p) - b) <= 16;
  };
  auto ends = [](QSlider* s) {
    const QImage img = s->grab().toImage();
    const int y = img.height() / 2;
    return std::pair<QRgb, QRgb>{img.pixel(3, y), img.pixel(img.width() - 4, y)};
  };
  Colours().SetMainColor(0x80C010, kOriginGeneral);
  TChannelRows* rows = rgb_->Rows();
  struct Case {
    int channel;
    int lr, lg, lb, rr, rg, rb;
  };
  for (const Case& c :
       {Case{0, 0x00, 0xC0, 0x10, 0xFF, 0xC0, 0x10}, Case{1, 0x80, 0x00, 0x10, 0x80, 0xFF, 0x10},
        Case{2, 0x80, 0xC0, 0x00, 0x80, 0xC0, 0xFF}}) {
    const auto [left, right] = ends(rows->Slider(c.channel));
    EXPECT_TRUE(near(left, c.lr, c.lg, c.lb)) << c.channel << ": " << std::hex << left;
    EXPECT_TRUE(near(right, c.rr, c.rg, c.rb)) << c.channel << ": " << std::hex << right;
  }
  // Kept plain: the red bar no longer shows the green of its minimum.
  form_->Config().rgbPalBarFixed = true;
  Colours().SetMainColor(0x80C011, kOriginGeneral);
  EXPECT_FALSE(near(ends(rows->Slider(0)).first, 0x00, 0xC0, 0x11));
}

TEST_F(GuiColor, HueBarPickKeepsSaturationAndValue) {
  Colours().SetMainColor(0xFF0000, kOriginGeneral);
  THueBar* bar = gcol_->HueBar();
  const int h = bar->height();
  for (int y : {h - 1, h / 2, 10}) {
    Press(bar, QPoint(bar->width() / 2, y));
    const int32_t hue = HueBarHue(y, h);
    EXPECT_EQ(Colours().WheelHue(), hue) << y;
    EXPECT_EQ(Pen(), HsvToRgb(hue, 255u << 16, 255u << 16)) << y;
    EXPECT_EQ(gcol_->Square()->Hue(), hue) << y;
    EXPECT_EQ(hsv_->Rows()->Field(0)->value(), hue >> 16) << y;
  }
  // A drag past the bottom is held at the last row: 359 degrees.
  Drag(bar, QPoint(bar->width() / 2, h + 40));
  EXPECT_EQ(Colours().WheelHue(), 359 * kDeg);
  EXPECT_EQ(hsv_->Rows()->Field(0)->value(), 359);
}

TEST_F(GuiColor, SquarePickKeepsTheSquaresHue) {
  Colours().SetMainColor(0x0000FF, kOriginGeneral);
  TSvSquare* sq = gcol_->Square();
  ASSERT_EQ(sq->Hue(), 240 * kDeg);
  struct Case {
    QPoint at;
    uint32_t expected;
    QPoint marker;
  };
  const Case cases[] = {
      {{0, 0}, 0xFFFFFF, {0, 0}},        // white has hue 0, yet the square stays blue
      {{127, 127}, 0x000000, {0, 127}},  // black: no saturation of its own either
      {{127, 0}, 0x0000FF, {127, 0}},
      {{200, -9}, 0x0000FF, {127, 0}},  // clamped into the square
  };
  for (const Case& c : cases) {
    Press(sq, c.at);
    EXPECT_EQ(Pen(), c.expected) << c.at.x() << "," << c.at.y();
    EXPECT_EQ(sq->Hue(), 240 * kDeg);
    EXPECT_EQ(Colours().WheelHue(), 240 * kDeg);
    EXPECT_EQ(sq->Marker(), c.marker) << c.at.x() << "," << c.at.y();
  }
  Drag(sq, QPoint(64, 32));
  EXPECT_EQ(Pen(), SvSquareColor(240 * kDeg, 64, 32, TSvSquare::kSide) & 0xFFFFFF);
  EXPECT_EQ(sq->Hue(), 240 * kDeg);
  // A new sub colour does not move the square off the main colour's hue.
  Colours().SetSubColor(0x00FF00, kOriginGeneral);
  EXPECT_EQ(sq->Hue(), 240 * kDeg);
}

TEST_F(GuiColor, ColorBoxClickSwapsAndBringsTheBackSquareForward) {
  Colours().SetMainColor(0x112233, kOriginGeneral);
  Colours().SetSubColor(0x445566, kOriginGeneral);
  ASSERT_TRUE(Colours().MainInFront());
  struct Case {
    QPoint at;
    Qt::MouseButton button;
    uint32_t main, sub;
    bool mainInFront;
    QStringList texts;
  };
  const Case cases[] = {
      {{35, 35}, Qt::LeftButton, 0x445566, 0x112233, true, {"R: 068", "G: 085", "B: 102"}},  // front
      {{2, 2}, Qt::LeftButton, 0x112233, 0x445566, false, {"R: 017", "G: 034", "B: 051"}},   // back
      {{2, 2}, Qt::RightButton, 0x112233, 0x445566, false, {"R: 017", "G: 034", "B: 051"}},  // ignored
      {{35, 35}, Qt::LeftButton, 0x445566, 0x112233, true, {"R: 068", "G: 085", "B: 102"}},  // back again
  };
  for (const Case& c : cases) {
    Press(gcol_->Box(), c.at, c.button);
    EXPECT_EQ(Pen(), c.main);
    EXPECT_EQ(form_->Pen().stroke.Background() & 0xFFFFFF, c.sub);
    EXPECT_EQ(Colours().MainInFront(), c.mainInFront);
    EXPECT_EQ(gcol_->Texts(), c.texts);
    EXPECT_EQ(Fields(rgb_->Rows()),
              (std::array<int, 3>{int(c.main >> 16), int((c.main >> 8) & 0xFF), int(c.main & 0xFF)}));
  }
}

TEST_F(GuiColor, PaletteCellClickSetsTheMainColourAndIsMarked) {
  TPalGrid* grid = pal_->Grid();
  for (int32_t index : {17, 0, 255}) {
    Press(grid, grid->CellRect(index).center());
    EXPECT_EQ(Pen(), pal_->Colors().entries[size_t(index)] & 0xFFFFFF) << index;
    EXPECT_EQ(grid->Marked(), index);
  }
  // Below the last cell: nothing.
  const uint32_t before = Pen();
  Press(grid, QPoint(5, grid->height() + 20));
  EXPECT_EQ(Pen(), before);
}

TEST_F(GuiColor, PaletteMarksTheFirstEntryEqualToTheMainColour) {
  TPalGrid* grid = pal_->Grid();
  Colours().SetMainColor(0xFFFFFF, kOriginGeneral);
  EXPECT_EQ(grid->Marked(), 15);
  Colours().SetMainColor(0x123456, kOriginGeneral);
  EXPECT_EQ(grid->Marked(), -1);
  pal_->AddColor(0x123456);
  EXPECT_EQ(grid->Marked(), 256);
  pal_->AddColor(0x000000);
  Colours().SetMainColor(0x000000, kOriginGeneral);
  EXPECT_EQ(grid->Marked(), 0);  // the first of the two blacks
  pal_->DeleteColor(0);
  EXPECT_EQ(grid->Marked(), 256);  // the appended black, one place down
  pal_->ReplaceColor(3, 0xFFFFFF);
  EXPECT_EQ(pal_->Colors().entries[3], 0xFFFFFFu);
  EXPECT_EQ(grid->Marked(), 256);
  pal_->ReplaceColor(3, 0x000000);
  EXPECT_EQ(grid->Marked(), 3);
  EXPECT_EQ(pal_->Colors().entries.size(), 257u);
}

}  // namespace
}  // namespace tintara
