// The main and sub colours. They live in the main window's live-drawing stroke (its pen colour
// and background value); the manager keeps its own copies, an HSV form of the main colour for
// the colour windows, and the hue the colour window's saturation-value square shows, and tells
// the windows that show colours when one changes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "pixel/ColorModels.h"

namespace tintara {

class CAppProfile;
class TStroke;

// Where a change comes from. The window that caused it is told with the rest and keeps what
// the user is typing or dragging.
enum ColorOrigin : uint8_t {
  kOriginGeneral = 0,  // the eyedropper, a palette cell, the RGB window's number fields
  kOriginRgbSliders = 1,
  kOriginHsvWindow = 2,  // the HSV window's sliders and number fields
  kOriginReplay = 3,     // event replay; also the preferences dialog's refresh
  kOriginHueBar = 4,     // the colour window's hue bar
  kOriginSvSquare = 5,   // the colour window's saturation-value square
};

// What the colour windows, the palette and the gradation window implement. Every call has a
// default that does nothing, so each window takes only what it shows.
class IColorObserver {
 public:
  virtual ~IColorObserver() = default;
  // The hue of the saturation-value square changed: redraw it for `wheelColour`, the pure
  // colour of that hue.
  virtual void WheelHueChanged(int32_t wheelHue, uint32_t wheelColour) {}
  // The colour box and its "R: %03d" texts (the colour window).
  virtual void ColorBoxChanged(uint32_t main, uint32_t sub, bool mainInFront, uint8_t origin) {}
  // The RGB window's number fields and sliders.
  virtual void MainRgbChanged(uint32_t main, uint8_t origin) {}
  // The HSV window's fields: the integer parts of the main HSV.
  virtual void MainHsvChanged(const HsvColor& hsv, uint8_t origin) {}
  // The gradation window's fixed entry runs from the sub colour to the main colour.
  virtual void GradationEndsChanged(uint32_t sub, uint32_t main) {}
  // The palette window marks the first entry equal to the main colour.
  virtual void PaletteMainChanged(uint32_t main) {}
  // A tool window open in pick mode (the gradation editor, the text dialog): the message it
  // used to get, 4884 with wParam 1 for the main colour and 0 for the sub colour.
  virtual void PickModeColorChanged(bool isMain) {}
};

// The message a pick-mode tool window is sent.
inline constexpr uint32_t kPickColorMessage = 4884;

class CColorMngr {
 public:
  // The colour box: two squares of this size at (0, 0) and (10, 15).
  static constexpr int32_t kBoxSquareW = 30, kBoxSquareH = 25;
  static constexpr int32_t kBoxFrontX = 10, kBoxFrontY = 15;
  static constexpr int32_t kBoxW = kBoxFrontX + kBoxSquareW, kBoxH = kBoxFrontY + kBoxSquareH;
  // Frames as pixel values: the main colour's square red, the other grey.
  static constexpr uint32_t kMainFrame = 0xFF0000, kOtherFrame = 0x555555;

  CColorMngr() = default;
  CColorMngr(const CColorMngr&) = delete;
  CColorMngr& operator=(const CColorMngr&) = delete;

  // Takes the colours from the profile (fgCol, bgCol) into the stroke, which stays the caller's.
  void Create(TStroke& stroke, const CAppProfile& profile);
  void SaveToProfile(CAppProfile& profile) const;

  // Observers are not owned; one removed while being told hears no more.
  void AddObserver(IColorObserver* o);
  void RemoveObserver(IColorObserver* o);

  uint32_t MainColor() const;
  uint32_t SubColor() const;
  const HsvColor& MainHsv() const { return mainHsv_; }
  int32_t WheelHue() const { return wheelHue_; }
  uint32_t WheelColor() const { return wheelColour_; }
  bool MainInFront() const { return mainInFront_ != 0; }

  // True when the colour differs from the current one in its low 24 bits. A general change to
  // the same colour does nothing; from any other origin the windows are refreshed anyway.
  bool SetColor(uint32_t colour, uint8_t origin, bool isMain);
  bool SetMainColor(uint32_t colour, uint8_t origin) { return SetColor(colour, origin, true); }
  bool SetSubColor(uint32_t colour, uint8_t origin) { return SetColor(colour, origin, false); }
  // The HSV window: its HSV is kept as typed (a hue stays shown for a grey).
  void SetMainHsv(const HsvColor& hsv, uint8_t origin);
  // One field or slider of the HSV window: 0 hue (degrees 0..359), 1 saturation, 2 value
  // (0..255); the other two components stay.
  void SetMainHsvComponent(int32_t component, int32_t value);
  // The hue bar: the square's hue becomes the bar's, then the colour is set with origin 4.
  void SetMainFromWheel(const HsvColor& hsv, uint32_t colour);
  // A press or drag on the hue bar of height `barHeight` at `y`.
  void HueBarPick(int32_t y, int32_t barHeight);
  void RefreshMain(uint8_t origin) { SetMainColor(MainColor(), origin); }
  void SwapColors();

  // A click in the colour box at (x, y). Only the left button acts: a click inside the back
  // square (its whole rectangle, the part under the front square included) brings that square
  // to the front; every click in the box then exchanges the colours, so the back square
  // clicked shows the new main colour. False when the click was ignored.
  bool ColorBoxClick(int32_t x, int32_t y, bool leftButton);
  // Where the squares are: the main colour's is drawn last.
  struct BoxSquare {
    int32_t x, y;
  };
  BoxSquare MainSquare() const;
  BoxSquare SubSquare() const;

 private:
  // Tells every observer still listening: a window may close while it is being told.
  template <class F>
  void Notify(F&& tell) {
    const std::vector<IColorObserver*> listening = observers_;
    for (IColorObserver* o : listening)
      if (std::find(observers_.begin(), observers_.end(), o) != observers_.end()) tell(o);
  }
  void SetWheelHue(int32_t hue);
  void RefreshWindows(uint8_t origin, bool isMain);

  TStroke* stroke_ = nullptr;
  uint32_t main_ = 0, sub_ = 0xFFFFFF;
  HsvColor mainHsv_;
  int32_t wheelHue_ = -1;
  uint32_t wheelColour_ = 0;
  uint8_t mainInFront_ = 1;
  std::vector<IColorObserver*> observers_;
};

// The hue the hue bar of height h shows at y (clamped into the bar): y * 359 / (h - 1) degrees
// in 16.16. A bar of one pixel or less shows hue 0.
int32_t HueBarHue(int32_t y, int32_t barHeight);
// The colour box's texts for the main colour: "R: %03d", "G: %03d", "B: %03d".
std::vector<std::string> ColorBoxTexts(uint32_t main);

}  // namespace tintara
