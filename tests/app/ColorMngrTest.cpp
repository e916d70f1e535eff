#include "app/ColorMngr.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/AppProfile.h"
#include "paint/Stroke.h"

namespace tintara {
namespace {

std::string Hex(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%06x", v);
  return b;
}

// Writes down every notification, in order.
class LogObserver : public IColorObserver {
 public:
  std::vector<std::string> log;

  void WheelHueChanged(int32_t hue, uint32_t colour) override {
    log.push_back("wheel " + std::to_string(hue) + " " + Hex(colour));
  }
  void ColorBoxChanged(uint32_t main, uint32_t sub, bool front, uint8_t origin) override {
    log.push_back("box " + Hex(main) + " " + Hex(sub) + (front ? " front" : " back") + " o" +
                  std::to_string(origin));
  }
  void MainRgbChanged(uint32_t main, uint8_t origin) override {
    log.push_back("rgb " + Hex(main) + " o" + std::to_string(origin));
  }
  void MainHsvChanged(const HsvColor& hsv, uint8_t origin) override {
    log.push_back("hsv " + std::to_string(hsv.hue >> 16) + " " + std::to_string(hsv.saturation >> 16) + " " +
                  std::to_string(hsv.value >> 16) + " o" + std::to_string(origin));
  }
  void GradationEndsChanged(uint32_t sub, uint32_t main) override {
    log.push_back("grad " + Hex(sub) + " " + Hex(main));
  }
  void PaletteMainChanged(uint32_t main) override { log.push_back("pal " + Hex(main)); }
  void PickModeColorChanged(bool isMain) override { log.push_back(isMain ? "pick 1" : "pick 0"); }
};

class ColorMngrTest : public ::testing::Test {
 protected:
  // Main colour red, sub colour white.
  void SetUp() override { Start(0xFF0000, 0xFFFFFF); }
  void Start(uint32_t fg, uint32_t bg) {
    profile_.color.fgCol = fg;
    profile_.color.bgCol = bg;
    mngr_.RemoveObserver(&obs_);
    mngr_.Create(stroke_, profile_);
    mngr_.AddObserver(&obs_);
    obs_.log.clear();
  }
  std::vector<std::string> Take() { return std::exchange(obs_.log, {}); }

  CAppProfile profile_;
  TStroke stroke_;
  CColorMngr mngr_;
  LogObserver obs_;
};

TEST_F(ColorMngrTest, CreateTakesTheProfileColoursIntoTheStroke) {
  Start(0x112233, 0x445566);
  EXPECT_EQ(stroke_.Colour(), 0x112233u);
  EXPECT_EQ(stroke_.Background(), 0x445566u);
  EXPECT_EQ(mngr_.MainColor(), 0x112233u);
  EXPECT_EQ(mngr_.SubColor(), 0x445566u);
  EXPECT_EQ(mngr_.WheelHue(), -1);
  EXPECT_EQ(mngr_.WheelColor(), 0u);
  EXPECT_TRUE(mngr_.MainInFront());
  const HsvColor hsv = RgbToHsv(0x112233);
  EXPECT_EQ(mngr_.MainHsv().hue, hsv.hue);
  EXPECT_EQ(mngr_.MainHsv().value, 0x33u << 16);  // value is the largest channel
  EXPECT_TRUE(obs_.log.empty());

  mngr_.SetMainColor(0xABCDEF, kOriginGeneral);
  mngr_.SetSubColor(0x010203, kOriginGeneral);
  CAppProfile out;
  mngr_.SaveToProfile(out);
  EXPECT_EQ(out.color.fgCol, 0xABCDEFu);
  EXPECT_EQ(out.color.bgCol, 0x010203u);
}

TEST_F(ColorMngrTest, NewMainColourNotifiesInOrder) {
  EXPECT_TRUE(mngr_.SetMainColor(0x00FF00, kOriginGeneral));
  EXPECT_EQ(stroke_.Colour(), 0x00FF00u);
  const std::vector<std::string> expected = {
      "wheel " + std::to_string(120 << 16) + " 00ff00",
      "box 00ff00 ffffff front o0",
      "rgb 00ff00 o0",
      "hsv 120 255 255 o0",
      "grad ffffff 00ff00",
      "pal 00ff00",
      "pick 1",
  };
  EXPECT_EQ(Take(), expected);
}

TEST_F(ColorMngrTest, SameColourFromTheGeneralOriginDoesNothing) {
  EXPECT_FALSE(mngr_.SetMainColor(0xFF0000, kOriginGeneral));
  EXPECT_FALSE(mngr_.SetSubColor(0xFFFFFF, kOriginGeneral));
  // Byte 3 does not count.
  EXPECT_FALSE(mngr_.SetMainColor(0x7FFF0000, kOriginGeneral));
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(stroke_.Colour(), 0xFF0000u);
}

TEST_F(ColorMngrTest, SameColourFromAnyOtherOriginRefreshesEverythingAndStillReturnsFalse) {
  const struct {
    uint8_t origin;
    bool wheel;  // whether the square's hue is set again
  } cases[] = {{1, true}, {2, true}, {3, true}, {4, false}, {5, false}};
  for (const auto& c : cases) {
    SetUp();
    EXPECT_FALSE(mngr_.SetMainColor(0xFF0000, c.origin)) << int(c.origin);
    const std::string o = " o" + std::to_string(c.origin);
    std::vector<std::string> expected;
    if (c.wheel) expected.push_back("wheel 0 ff0000");
    for (const std::string& s :
         {"box ff0000 ffffff front" + o, "rgb ff0000" + o, "hsv 0 255 255" + o,
          std::string("grad ffffff ff0000"), std::string("pal ff0000"), std::string("pick 1")})
      expected.push_back(s);
    EXPECT_EQ(Take(), expected) << int(c.origin);
  }
  // The preferences dialog's refresh is one of them.
  mngr_.RefreshMain(kOriginReplay);
  EXPECT_EQ(Take().size(), 7u);
}

TEST_F(ColorMngrTest, ByteThreeNeverCounts) {
  EXPECT_TRUE(mngr_.SetMainColor(0xAB123456, kOriginGeneral));
  EXPECT_EQ(mngr_.MainColor() & 0xFFFFFF, 0x123456u);
  EXPECT_FALSE(mngr_.SetMainColor(0x00123456, kOriginGeneral));
  EXPECT_TRUE(mngr_.SetSubColor(0xCD654321, kOriginGeneral));
  EXPECT_FALSE(mngr_.SetSubColor(0x00654321, kOriginGeneral));
  CAppProfile out;
  mngr_.SaveToProfile(out);
  EXPECT_EQ(out.color.fgCol, 0x123456u);
  EXPECT_EQ(out.color.bgCol, 0x654321u);
}

TEST_F(ColorMngrTest, HueTypedForAGreyStaysWhileTheEyedropperShowsHueZero) {
  // The eyedropper picks a grey: a grey's hue is 0.
  EXPECT_TRUE(mngr_.SetMainColor(0x808080, kOriginGeneral));
  EXPECT_EQ(mngr_.MainHsv().hue, 0);
  EXPECT_EQ(mngr_.WheelHue(), 0);
  Take();
  // A hue typed into the HSV window leaves the grey and stays shown.
  mngr_.SetMainHsvComponent(0, 120);
  EXPECT_EQ(mngr_.MainColor(), 0x808080u);
  EXPECT_EQ(mngr_.MainHsv().hue, 120 << 16);
  EXPECT_EQ(mngr_.MainHsv().saturation, 0u);
  EXPECT_EQ(mngr_.MainHsv().value, 128u << 16);
  EXPECT_EQ(mngr_.WheelHue(), 120 << 16);
  const auto log = Take();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[3], "hsv 120 0 128 o2");
  // Picking the same grey again changes nothing; another grey shows hue 0 again.
  EXPECT_FALSE(mngr_.SetMainColor(0x808080, kOriginGeneral));
  EXPECT_EQ(mngr_.MainHsv().hue, 120 << 16);
  EXPECT_TRUE(mngr_.SetMainColor(0x7F7F7F, kOriginGeneral));
  EXPECT_EQ(mngr_.MainHsv().hue, 0);
  EXPECT_EQ(mngr_.WheelHue(), 0);
}

TEST_F(ColorMngrTest, HsvWindowComponentsReplaceOneAndKeepTwo) {
  mngr_.SetMainHsvComponent(2, 128);  // value of red 255 -> 128
  EXPECT_EQ(mngr_.MainColor(), 0x800000u);
  EXPECT_EQ(mngr_.MainHsv().hue, 0);
  EXPECT_EQ(mngr_.MainHsv().saturation, 255u << 16);
  mngr_.SetMainHsvComponent(0, 400);  // a field beyond 359 shows 359
  EXPECT_EQ(mngr_.MainHsv().hue, 359 << 16);
  mngr_.SetMainHsvComponent(1, -3);
  EXPECT_EQ(mngr_.MainHsv().saturation, 0u);
  EXPECT_EQ(mngr_.MainColor(), 0x808080u);
  EXPECT_EQ(mngr_.MainHsv().hue, 359 << 16);
}

TEST_F(ColorMngrTest, NewSubColourLeavesTheWindowHueOnTheMainColour) {
  mngr_.SetMainColor(0x00FF00, kOriginGeneral);
  Take();
  EXPECT_TRUE(mngr_.SetSubColor(0x0000FF, kOriginGeneral));
  EXPECT_EQ(stroke_.Background(), 0x0000FFu);
  EXPECT_EQ(stroke_.Colour(), 0x00FF00u);
  EXPECT_EQ(mngr_.WheelHue(), 120 << 16);
  EXPECT_EQ(mngr_.MainHsv().hue, 120 << 16);
  const std::vector<std::string> expected = {
      "wheel " + std::to_string(120 << 16) + " 00ff00",
      "box 00ff00 0000ff front o0",
      "rgb 00ff00 o0",
      "hsv 120 255 255 o0",
      "grad 0000ff 00ff00",
      "pal 00ff00",
      "pick 0",
  };
  EXPECT_EQ(Take(), expected);
}

TEST_F(ColorMngrTest, SwapTwiceRestoresBothColours) {
  Start(0x00FF00, 0x0000FF);
  mngr_.SwapColors();
  EXPECT_EQ(mngr_.MainColor(), 0x0000FFu);
  EXPECT_EQ(mngr_.SubColor(), 0x00FF00u);
  EXPECT_EQ(stroke_.Colour(), 0x0000FFu);
  EXPECT_EQ(stroke_.Background(), 0x00FF00u);
  EXPECT_EQ(mngr_.MainHsv().hue, 240 << 16);
  const std::vector<std::string> expected = {
      "wheel " + std::to_string(240 << 16) + " 0000ff",
      "box 0000ff 00ff00 front o0",
      "rgb 0000ff o0",
      "hsv 240 255 255 o0",
      "grad 00ff00 0000ff",
      "pal 0000ff",
      "pick 1",
  };
  EXPECT_EQ(Take(), expected);
  mngr_.SwapColors();
  EXPECT_EQ(mngr_.MainColor(), 0x00FF00u);
  EXPECT_EQ(mngr_.SubColor(), 0x0000FFu);
  EXPECT_EQ(mngr_.MainHsv().hue, 120 << 16);
  EXPECT_EQ(mngr_.WheelHue(), 120 << 16);
}

TEST_F(ColorMngrTest, ColoursAreTheStrokes) {
  // Something writes the live stroke's pen colour directly.
  stroke_.SetColour(0x00FF00);
  EXPECT_EQ(mngr_.MainColor(), 0x00FF00u);
  mngr_.SwapColors();
  EXPECT_EQ(mngr_.MainColor(), 0xFFFFFFu);
  EXPECT_EQ(mngr_.SubColor(), 0x00FF00u);
  mngr_.SwapColors();
  EXPECT_EQ(mngr_.MainColor(), 0x00FF00u);
  EXPECT_EQ(mngr_.MainHsv().hue, 120 << 16);
  // A new sub colour takes the main HSV from the stroke's main colour.
  stroke_.SetColour(0x0000FF);
  EXPECT_TRUE(mngr_.SetSubColor(0x123456, kOriginGeneral));
  EXPECT_EQ(mngr_.MainHsv().hue, 240 << 16);
  EXPECT_EQ(mngr_.WheelHue(), 240 << 16);
  CAppProfile out;
  mngr_.SaveToProfile(out);
  EXPECT_EQ(out.color.fgCol, 0x0000FFu);
  EXPECT_EQ(out.color.bgCol, 0x123456u);
}

TEST_F(ColorMngrTest, ObserverThatStopsListeningWhileToldHearsNoMore) {
  // Removes itself and the observer after it at its first notification.
  struct Leaving : LogObserver {
    CColorMngr* mngr = nullptr;
    IColorObserver* other = nullptr;
    void WheelHueChanged(int32_t hue, uint32_t colour) override {
      LogObserver::WheelHueChanged(hue, colour);
      mngr->RemoveObserver(this);
      mngr->RemoveObserver(other);
    }
  };
  Leaving leaving;
  LogObserver after;
  leaving.mngr = &mngr_;
  leaving.other = &after;
  mngr_.RemoveObserver(&obs_);
  mngr_.AddObserver(&leaving);
  mngr_.AddObserver(&after);
  mngr_.AddObserver(&obs_);
  EXPECT_TRUE(mngr_.SetMainColor(0x00FF00, kOriginGeneral));
  EXPECT_EQ(leaving.log.size(), 1u);
  EXPECT_TRUE(after.log.empty());
  EXPECT_EQ(obs_.log.size(), 7u);
}

TEST(HueBar, HueAtHeight) {
  const struct {
    int32_t y, h, hue;
  } cases[] = {
      {0, 100, 0},         {99, 100, 359 << 16},
      {50, 101, 11763712},  // 179.5 degrees
      {-5, 100, 0},        {500, 100, 359 << 16},
      {1, 2, 359 << 16},   {0, 1, 0},  // a bar one pixel high
      {3, 0, 0},           {7, -4, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(HueBarHue(c.y, c.h), c.hue) << c.y << "/" << c.h;
}

TEST_F(ColorMngrTest, HueBarSetsTheSquareHueAndTheMainColour) {
  // On a 360-pixel bar y is the hue in degrees.
  mngr_.HueBarPick(120, 360);
  EXPECT_EQ(mngr_.MainColor(), 0x00FF00u);
  EXPECT_EQ(mngr_.WheelHue(), 120 << 16);
  EXPECT_EQ(mngr_.WheelColor(), 0x00FF00u);
  const std::vector<std::string> expected = {
      "wheel " + std::to_string(120 << 16) + " 00ff00",
      "box 00ff00 ffffff front o4",
      "rgb 00ff00 o4",
      "hsv 120 255 255 o4",
      "grad ffffff 00ff00",
      "pal 00ff00",
      "pick 1",
  };
  EXPECT_EQ(Take(), expected);
  // The same hue again: nothing happens.
  mngr_.HueBarPick(120, 360);
  EXPECT_TRUE(Take().empty());
}

TEST_F(ColorMngrTest, HueBarOnAGreyKeepsTheBarHueForTheSquare) {
  mngr_.SetMainColor(0x808080, kOriginGeneral);
  mngr_.HueBarPick(200, 360);
  EXPECT_EQ(mngr_.MainColor(), 0x808080u);
  EXPECT_EQ(mngr_.WheelHue(), 200 << 16);
  EXPECT_EQ(mngr_.MainHsv().hue, 0);  // the colour's own HSV
}

TEST_F(ColorMngrTest, SquarePickKeepsTheSquareHue) {
  mngr_.HueBarPick(200, 360);
  Take();
  EXPECT_TRUE(mngr_.SetMainColor(0x123456, kOriginSvSquare));
  EXPECT_EQ(mngr_.WheelHue(), 200 << 16);
  const auto log = Take();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[0], "box 123456 ffffff front o5");
}

TEST_F(ColorMngrTest, SetMainHsvKeepsTheGivenHsvOnlyForTheHsvWindow) {
  HsvColor hsv;
  hsv.hue = (10 << 16) + 0x8000;  // 10.5 degrees
  hsv.saturation = 200u << 16;
  hsv.value = 100u << 16;
  mngr_.SetMainHsv(hsv, kOriginHsvWindow);
  EXPECT_EQ(mngr_.MainColor(), HsvToRgb(hsv));
  EXPECT_EQ(mngr_.MainHsv().hue, hsv.hue);
  EXPECT_EQ(mngr_.WheelHue(), hsv.hue);
  mngr_.SetMainHsv(hsv, kOriginRgbSliders);
  const HsvColor back = RgbToHsv(HsvToRgb(hsv));
  EXPECT_EQ(mngr_.MainHsv().hue, back.hue);
}

TEST_F(ColorMngrTest, ColourBoxClicks) {
  // Main red at the front square (10, 15), sub white at the back square (0, 0).
  const struct {
    bool startFront;
    int32_t x, y;
    bool left;
    bool handled, endFront;
  } cases[] = {
      {true, 5, 5, true, true, false},    // the back square comes to the front
      {true, 10, 15, true, true, false},  // the back square where the front one covers it
      {true, 29, 24, true, true, false},  // the back square's last pixel, also covered
      {true, 30, 24, true, true, true},   // just past it: the front square only
      {true, 35, 35, true, true, true},   // the front square
      {true, 35, 5, true, true, true},    // in the box, on neither square
      {true, 40, 20, true, false, true},  // outside the box
      {true, 5, -1, true, false, true},  {true, 5, 5, false, false, true},  // right button
      {false, 35, 35, true, true, true},                                    // back square now at (10, 15)
      {false, 20, 20, true, true, true},  // the back square under the front (0, 0) one
      {false, 9, 20, true, true, false},  // the front square only
      {false, 5, 5, true, true, false},
  };
  for (const auto& c : cases) {
    SetUp();
    if (!c.startFront) {
      ASSERT_TRUE(mngr_.ColorBoxClick(5, 5, true));
      mngr_.SwapColors();  // back to main red, sub white with the main square at (0, 0)
      ASSERT_FALSE(mngr_.MainInFront());
      Take();
    }
    EXPECT_EQ(mngr_.ColorBoxClick(c.x, c.y, c.left), c.handled) << c.x << "," << c.y;
    EXPECT_EQ(mngr_.MainInFront(), c.endFront) << c.x << "," << c.y;
    EXPECT_EQ(mngr_.MainColor(), c.handled ? 0xFFFFFFu : 0xFF0000u) << c.x << "," << c.y;
    EXPECT_EQ(Take().empty(), !c.handled);
    const auto square = mngr_.MainSquare();
    EXPECT_EQ(square.x, c.endFront ? 10 : 0);
    EXPECT_EQ(square.y, c.endFront ? 15 : 0);
  }
}

TEST(ColorBox, Texts) {
  EXPECT_EQ(ColorBoxTexts(0xFF0A7B), (std::vector<std::string>{"R: 255", "G: 010", "B: 123"}));
  EXPECT_EQ(ColorBoxTexts(0x12000000), (std::vector<std::string>{"R: 000", "G: 000", "B: 000"}));
}

}  // namespace
}  // namespace tintara
