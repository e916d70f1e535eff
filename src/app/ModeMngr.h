// The tool modes of the drawing windows: which mode is current, the sub-mode each mode last used,
// and the tool box's 21 tools as (mode, sub-mode) pairs with their keys and texts.
//
// One manager serves every picture window, so a tool chosen in one window is the tool of all.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace tintara {

// The ten modes. The sub-modes each one knows are listed beside it.
enum ToolMode : uint8_t {
  kToolModePen = 0,          // 0
  kToolModeZoom = 1,         // 0 in, 1 out
  kToolModeEyedropper = 2,   // 0
  kToolModeView = 3,         // 0 pan, 1 rotate, 2 pen radius
  kToolModeFill = 4,         // 0 fill layer, 1 clear layer, 2 bucket fill, 3 magic wand
  kToolModeDrag = 5,         // 0 move layer, 1 move selection, 2 move both, 3 gradation, 4 crop, 5 none
  kToolModeShapeStroke = 6,  // 0 rectangle, 1 polygon, 2 ellipse, 3 straight line, 4 polyline
  kToolModeShapeFill = 7,    // 0 rectangle, 1 polygon, 2 ellipse, 3 free form
  kToolModeShapeSelect = 8,  // 0 rectangle, 1 polygon, 2 ellipse, 3 free form
  kToolModeText = 9,         // 0 text on the layer, 1 text as a selection
};
inline constexpr int32_t kToolModeCount = 10;

// Sub-modes that other code names.
enum : uint32_t {
  kSubZoomIn = 0,
  kSubZoomOut = 1,
  kSubViewPan = 0,
  kSubViewRotate = 1,
  kSubViewPenRadius = 2,
  kSubFillLayer = 0,
  kSubClearLayer = 1,
  kSubBucketFill = 2,
  kSubMagicWand = 3,
  kSubMoveLayer = 0,
  kSubMoveSelection = 1,
  kSubMoveLayerAndSelection = 2,
  kSubGradation = 3,
  kSubCrop = 4,
  kSubDragNone = 5,
  kSubShapeRect = 0,
  kSubShapePolygon = 1,
  kSubShapeEllipse = 2,
  kSubShapeLine = 3,      // shape stroke
  kSubShapeFreeForm = 3,  // shape fill and shape selection
  kSubShapePolyline = 4,  // shape stroke
  kSubTextLayer = 0,
  kSubTextSelection = 1,
};

// Passed as the sub-mode: keep the one stored for the mode.
inline constexpr uint32_t kKeepSubMode = 255;

// A (mode, sub-mode) pair.
struct ToolChoice {
  uint8_t mode = 0;
  uint32_t subMode = 0;
  friend constexpr bool operator==(const ToolChoice&, const ToolChoice&) = default;
};

// One button of the tool box.
struct ToolInfo {
  char key;               // upper-case letter, 0 when the tool has no key
  uint8_t mode;           //
  int32_t subMode;        // -1: the sub-mode last chosen for the mode
  std::string_view text;  // "name|hint"; a text without a bar is both
};
inline constexpr int32_t kToolCount = 21;
extern const std::array<ToolInfo, kToolCount> kTools;

// The part of a tool's text before the bar, and the part after it.
std::string_view ToolName(int32_t tool);
std::string_view ToolHint(int32_t tool);

// The sub-modes a repeated key steps through, in order; empty for a tool with one sub-mode.
struct SubModeCycle {
  std::array<uint8_t, 4> subModes{};
  uint8_t count = 0;
  bool Contains(uint32_t s) const;
  // The sub-mode after s; s itself when it is not in the cycle.
  uint32_t After(uint32_t s) const;
};
SubModeCycle CycleOf(int32_t tool);

// The middle button's tool for the profile's mouseMBtnFunc (held to 0..10).
ToolChoice MiddleButtonTool(int32_t mouseMBtnFunc);

class CModeMngr {
 public:
  CModeMngr();

  // Makes (mode, subMode) current. False when nothing changes: the mode is current already and
  // subMode is kKeepSubMode or the stored one. kKeepSubMode leaves the stored sub-mode as it is.
  // An unknown mode changes nothing either.
  bool SelectMode(uint8_t mode, uint32_t subMode);

  uint8_t Mode() const { return mode_; }
  uint32_t SubMode() const { return subModes_[mode_]; }
  uint32_t SubModeOf(uint8_t mode) const { return mode < kToolModeCount ? subModes_[mode] : 0; }
  ToolChoice Current() const { return {mode_, SubMode()}; }
  // Modes that change the picture; the others are the view tools that stay usable in replay.
  static bool ModeEdits(uint8_t mode);

  // The tool box button that shows pressed, -1 when none matches. A fixed-sub-mode tool wins
  // over a tool that steps through the same sub-mode.
  int32_t CurrentTool() const;
  // A click on a tool box button. False when nothing changed.
  bool SelectTool(int32_t tool);
  // A key typed over a picture window: a tool's key selects it, and again while it is current
  // steps to its next sub-mode. Ignored with Ctrl or Alt held, for auto-repeats and while the
  // window replays. True when the tool changed.
  bool ToolKey(char key, bool ctrlOrAlt, bool autoRepeat, bool replaying);
  // The tool a key stands for, -1 when none.
  static int32_t ToolOfKey(char key);

  // Told after every change of mode or sub-mode, so that the windows install the mode's
  // handlers and the tool box follows.
  std::function<void()> onChanged;
  // Which tools this build offers (unset: all). Keys and buttons of the others do nothing, so a
  // stray key never leaves the pointer with a tool that does nothing.
  std::function<bool(int32_t tool)> toolAvailable;

 private:
  // The sub-mode a tool starts with when it is not current.
  uint32_t EntrySubMode(int32_t tool) const;
  bool IsToolCurrent(int32_t tool) const;

  uint8_t mode_ = kToolModePen;
  std::array<uint32_t, kToolModeCount> subModes_{};
};

}  // namespace tintara
