#include "app/ColorMngr.h"

#include <algorithm>
#include <cstdio>

#include "app/AppProfile.h"
#include "paint/Stroke.h"

namespace tintara {

namespace {
constexpr uint32_t kLow24 = 0xFFFFFF;
constexpr uint32_t kFull = 255u << 16;  // saturation and value 255 in 16.16
}  // namespace

int32_t HueBarHue(int32_t y, int32_t barHeight) {
  if (barHeight <= 1) return 0;
  y = std::clamp(y, 0, barHeight - 1);
  return FixDiv(int64_t(y) * 359, barHeight - 1);
}

std::vector<std::string> ColorBoxTexts(uint32_t main) {
  std::vector<std::string> out;
  const char* formats[3] = {"R: %03d", "G: %03d", "B: %03d"};
  for (int i = 0; i < 3; ++i) {
    char text[16];
    std::snprintf(text, sizeof text, formats[i], int((main >> (16 - 8 * i)) & 0xFF));
    out.emplace_back(text);
  }
  return out;
}

void CColorMngr::Create(TStroke& stroke, const CAppProfile& profile) {
  stroke_ = &stroke;
  main_ = profile.color.fgCol;
  sub_ = profile.color.bgCol;
  mainHsv_ = RgbToHsv(main_);
  wheelHue_ = -1;
  wheelColour_ = 0;
  stroke.SetColour(main_);
  stroke.SetBackground(sub_);
  mainInFront_ = 1;
}

void CColorMngr::SaveToProfile(CAppProfile& profile) const {
  profile.color.fgCol = MainColor() & kLow24;
  profile.color.bgCol = SubColor() & kLow24;
}

void CColorMngr::AddObserver(IColorObserver* o) {
  if (o && std::find(observers_.begin(), observers_.end(), o) == observers_.end()) observers_.push_back(o);
}

void CColorMngr::RemoveObserver(IColorObserver* o) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
}

uint32_t CColorMngr::MainColor() const { return stroke_ ? stroke_->Colour() : main_; }
uint32_t CColorMngr::SubColor() const { return stroke_ ? stroke_->Background() : sub_; }

bool CColorMngr::SetColor(uint32_t colour, uint8_t origin, bool isMain) {
  const bool changed = ((colour ^ (isMain ? MainColor() : SubColor())) & kLow24) != 0;
  if (origin == kOriginGeneral && !changed) return false;

  if (isMain) {
    main_ = colour;
    if (stroke_) stroke_->SetColour(colour);
  } else {
    sub_ = colour;
    if (stroke_) stroke_->SetBackground(colour);
  }
  // The HSV window keeps what was typed: a grey has no hue of its own.
  if (origin != kOriginHsvWindow) mainHsv_ = RgbToHsv(MainColor());

  // The square keeps its hue while the user picks in it; the hue bar has set it already.
  if (origin != kOriginSvSquare && origin != kOriginHueBar) SetWheelHue(mainHsv_.hue);

  RefreshWindows(origin, isMain);
  return changed;
}

void CColorMngr::SetMainHsv(const HsvColor& hsv, uint8_t origin) {
  mainHsv_ = hsv;
  SetMainColor(HsvToRgb(hsv), origin);
}

void CColorMngr::SetMainHsvComponent(int32_t component, int32_t value) {
  HsvColor hsv = mainHsv_;
  switch (component) {
    case 0:
      hsv.hue = std::clamp(value, 0, 359) << 16;
      break;
    case 1:
      hsv.saturation = uint32_t(std::clamp(value, 0, 255)) << 16;
      break;
    case 2:
      hsv.value = uint32_t(std::clamp(value, 0, 255)) << 16;
      break;
    default:
      return;
  }
  SetMainHsv(hsv, kOriginHsvWindow);
}

void CColorMngr::SetMainFromWheel(const HsvColor& hsv, uint32_t colour) {
  mainHsv_ = hsv;
  SetWheelHue(hsv.hue);
  SetColor(colour, kOriginHueBar, true);
}

void CColorMngr::HueBarPick(int32_t y, int32_t barHeight) {
  const int32_t hue = HueBarHue(y, barHeight);
  if (hue == wheelHue_) return;
  HsvColor hsv = RgbToHsv(MainColor());
  hsv.hue = hue;
  SetMainFromWheel(hsv, HsvToRgb(hsv));
}

void CColorMngr::SwapColors() {
  // The colours are the stroke's: exchange what it holds, not what was last set through here.
  const uint32_t main = MainColor(), sub = SubColor();
  main_ = sub;
  sub_ = main;
  if (stroke_) {
    stroke_->SetColour(main_);
    stroke_->SetBackground(sub_);
  }
  mainHsv_ = RgbToHsv(MainColor());
  SetWheelHue(mainHsv_.hue);
  RefreshWindows(kOriginGeneral, true);
}

CColorMngr::BoxSquare CColorMngr::MainSquare() const {
  return mainInFront_ ? BoxSquare{kBoxFrontX, kBoxFrontY} : BoxSquare{0, 0};
}

CColorMngr::BoxSquare CColorMngr::SubSquare() const {
  return mainInFront_ ? BoxSquare{0, 0} : BoxSquare{kBoxFrontX, kBoxFrontY};
}

bool CColorMngr::ColorBoxClick(int32_t x, int32_t y, bool leftButton) {
  if (!leftButton || x < 0 || y < 0 || x >= kBoxW || y >= kBoxH) return false;
  auto inside = [&](BoxSquare s) {
    return x >= s.x && x < s.x + kBoxSquareW && y >= s.y && y < s.y + kBoxSquareH;
  };
  // Anywhere in the back square's rectangle counts, the part the front square covers too.
  if (inside(SubSquare())) mainInFront_ ^= 1;
  SwapColors();
  return true;
}

void CColorMngr::SetWheelHue(int32_t hue) {
  wheelHue_ = hue;
  wheelColour_ = HsvToRgb(hue, kFull, kFull);
  Notify([&](IColorObserver* o) { o->WheelHueChanged(wheelHue_, wheelColour_); });
}

void CColorMngr::RefreshWindows(uint8_t origin, bool isMain) {
  const uint32_t main = MainColor(), sub = SubColor();
  Notify([&](IColorObserver* o) { o->ColorBoxChanged(main, sub, mainInFront_ != 0, origin); });
  Notify([&](IColorObserver* o) { o->MainRgbChanged(main, origin); });
  Notify([&](IColorObserver* o) { o->MainHsvChanged(mainHsv_, origin); });
  Notify([&](IColorObserver* o) { o->GradationEndsChanged(sub, main); });
  Notify([&](IColorObserver* o) { o->PaletteMainChanged(main); });
  Notify([&](IColorObserver* o) { o->PickModeColorChanged(isMain); });
}

}  // namespace tintara
