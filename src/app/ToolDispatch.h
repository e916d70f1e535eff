// How a picture window turns pointer and key input into calls of the current tool's handlers:
// the pointer state word, drags per button, double-clicks, temporary tools chosen by held keys,
// the middle button, cursor-key move mode, the window's own keys and the wheel.
//
// Nothing here knows a window system. Whatever the dispatch needs from the window, the paper or
// the rest of the program it asks through IToolHost, so the rules can run under a test.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "app/ModeMngr.h"
#include "pixel/PixelTypes.h"

namespace tintara {

struct ConfigSettings;

// Key codes. They follow the numbering of the old virtual-key codes, so that letters and digits
// are their upper-case characters.
enum Key : int32_t {
  kKeyBackspace = 8,
  kKeyTab = 9,
  kKeyEnter = 13,
  kKeyShift = 16,
  kKeyCtrl = 17,
  kKeyAlt = 18,
  kKeyEscape = 27,
  kKeySpace = 32,
  kKeyPageUp = 33,
  kKeyPageDown = 34,
  kKeyEnd = 35,
  kKeyHome = 36,
  kKeyLeft = 37,
  kKeyUp = 38,
  kKeyRight = 39,
  kKeyDown = 40,
  kKeyInsert = 45,
  kKeyDelete = 46,
  kKeyNumPlus = 107,
  kKeyNumMinus = 109,
  kKeyF5 = 116,
  kKeyF6 = 117,
  kKeyEqual = 187,  // "=" on the main keyboard
  kKeyMinus = 189,  // "-" on the main keyboard
};

// Shift state handed to the handlers.
enum ShiftBits : uint32_t {
  kShiftShift = 0x01,
  kShiftAlt = 0x02,
  kShiftCtrl = 0x04,
  kShiftLeft = 0x08,
  kShiftRight = 0x10,
  kShiftMiddle = 0x20,
  kShiftDouble = 0x40,
};

// The window's pointer state word.
enum PointerStateBits : uint16_t {
  kStateLeftDrag = 0x01,
  kStateRightDrag = 0x02,
  kStateMiddleDrag = 0x04,
  kStateButtonDown = 0x08,
  kStateBlocked = 0x20,  // input is ignored until the button is released
  kStateKeyMove = 0x80,
  kStateKeyMoveLeaving = 0x100,
  kStateTempTool = 0x200,
};
inline constexpr uint16_t kStateAnyDrag = kStateLeftDrag | kStateRightDrag | kStateMiddleDrag;

enum class MouseButton : uint8_t { kLeft, kRight, kMiddle };

struct KeyInput {
  int32_t key = 0;
  uint32_t shift = 0;  // kShiftShift, kShiftAlt, kShiftCtrl
  bool autoRepeat = false;
};

// What a tool's overlay draws with: dotted lines over the painted view, in window coordinates.
class IOverlayCanvas {
 public:
  virtual ~IOverlayCanvas() = default;
  virtual void DottedLine(TPoint a, TPoint b) = 0;
  virtual void DottedEllipse(const TRect& bounds) = 0;
};

// The thirteen procedures of one mode, in the order the window knows them. Every slot starts as
// a procedure that does nothing, so a mode fills in only what it uses. A release "without a
// position" (a drag ended by the window rather than by the button) comes with no point.
struct ToolHandlers {
  using PointerProc = std::function<void(uint32_t shift, TPoint p)>;
  using ReleaseProc = std::function<void(uint32_t shift, std::optional<TPoint> p)>;

  PointerProc leftDown = [](uint32_t, TPoint) {};
  PointerProc leftMove = [](uint32_t, TPoint) {};
  ReleaseProc leftUp = [](uint32_t, std::optional<TPoint>) {};
  PointerProc leftDoubleClick = [](uint32_t, TPoint) {};
  PointerProc rightDown = [](uint32_t, TPoint) {};
  PointerProc rightMove = [](uint32_t, TPoint) {};
  ReleaseProc rightUp = [](uint32_t, std::optional<TPoint>) {};
  PointerProc rightDoubleClick = [](uint32_t, TPoint) {};
  PointerProc moveNoButton = [](uint32_t, TPoint) {};
  std::function<void(const KeyInput&)> key = [](const KeyInput&) {};
  std::function<void(IOverlayCanvas&)> overlayPaint = [](IOverlayCanvas&) {};
  // Completes a multi-point gesture.
  std::function<void()> finish = [] {};
  // Told when the window cancels the drag in progress, before the drag is ended as a release
  // without a position, so the tool can drop what it was showing.
  std::function<void()> cancelDrag = [] {};
};

// The window's own keys.
enum class WindowAction : uint8_t {
  kDeleteSelected,  // the selected pixels of the active layer, recorded
  kClearLayer,      // the whole active layer, recorded, then the windows refreshed
  kFillSelection,   // the selection of the active layer with the main colour, recorded
  kCopyPicture,     // the whole picture to the clipboard
  kToggleSelectionEnabled,
  kToggleSelectionVisible,
  kInvertSelection,
  kSaveAs,
  kNextWindow,
  kPreviousWindow,
};

// Everything the dispatch needs from outside.
class IToolHost {
 public:
  virtual ~IToolHost() = default;

  virtual bool IsReplaying() const = 0;
  // The platform's warning beep (the exclamation sound).
  virtual void Beep() = 0;
  // The window takes or gives back the pointer capture.
  virtual void SetCapture(bool captured) {}
  // The cursor shown over the window becomes that of the tool.
  virtual void SetToolCursor(ToolChoice tool) {}

  // The selection: whether one exists, whether it limits the tools, and its mask value under a
  // window point.
  virtual bool SelectionExists() const { return false; }
  virtual bool SelectionEnabled() const { return false; }
  virtual uint8_t SelectionValueAt(TPoint windowPoint) const { return 0; }

  // The view. Zooming keeps the given window point in place; true when the zoom changed.
  virtual bool CanZoomIn() const = 0;
  virtual bool CanZoomOut() const = 0;
  virtual bool ZoomAbout(bool in, TPoint windowPoint) = 0;
  virtual TPoint ClientSize() const { return {}; }
  virtual bool IsMinimised() const { return false; }
  // Fits the window to the picture at the new zoom.
  virtual void FitWindow() {}

  // The parts of "may edit" only the program knows: no modal operation running, no pointer
  // capture held by the main window, the paper set up for drawing, no stroke under way and the
  // event manager not playing.
  virtual bool CanEditNow() const { return true; }
  // The picture may be saved (its event stream is not protected).
  virtual bool MaySave() const { return true; }
  virtual void RunWindowAction(WindowAction action) {}

  // The main window's status line.
  virtual void ShowStatus(std::string_view text) {}
  virtual void SetModified() {}
  virtual void RefreshOptionWindow() {}
  // A stroke the tablet drives is under way (it holds no drag of the dispatch's own).
  virtual bool StrokeUnderWay() const { return false; }
};

// The keys looked at when choosing a temporary tool.
struct HeldKeys {
  bool shift = false, alt = false, ctrl = false, space = false;
};

struct TemporaryTool {
  ToolChoice tool;
  // The eyedropper: the colour is taken at the press, which is then used up.
  bool picksAtOnce = false;
  friend constexpr bool operator==(const TemporaryTool&, const TemporaryTool&) = default;
};

// The first rule that applies for the keys held over the current tool, or none.
std::optional<TemporaryTool> TemporaryToolFor(const HeldKeys& keys, ToolChoice current, bool selectionExists,
                                              bool pointInSelection);

class CToolDispatch {
 public:
  // The mode manager and the settings (for the middle button) are the program's and outlive
  // the dispatch.
  CToolDispatch(IToolHost& host, CModeMngr& modes, const ConfigSettings& config);
  CToolDispatch(const CToolDispatch&) = delete;
  CToolDispatch& operator=(const CToolDispatch&) = delete;

  void SetHandlers(uint8_t mode, ToolHandlers handlers);
  const ToolHandlers& Handlers() const;

  uint16_t State() const { return state_; }
  // The current tool and the sub-mode each mode would use.
  ToolChoice Current() const { return modes_.Current(); }
  uint32_t SubModeOf(uint8_t mode) const { return modes_.SubModeOf(mode); }
  bool SpaceHeld() const { return spaceHeld_; }
  // The press point of the drag in progress.
  TPoint PressPoint() const { return pressPoint_; }

  // Editing tools are refused while the window replays; the view tools stay.
  bool PointerEnabled() const;

  void PointerDown(MouseButton button, uint32_t shift, TPoint p, bool doubleClick);
  void PointerMove(uint32_t shift, TPoint p);
  void PointerUp(MouseButton button, uint32_t shift, TPoint p);
  // The wheel: toward the user (delta < 0) zooms in, away zooms out, about the window centre.
  // True only when the zoom changed.
  bool Wheel(int32_t delta, uint32_t shift);
  // The drag in progress ends without a position (Esc, focus loss, a closing window).
  void CancelDrag();
  // The window lost the keyboard: Space is no longer held, a drag in progress ends.
  void FocusLost();

  // True when the key was used.
  bool KeyDown(const KeyInput& k);
  void KeyUp(const KeyInput& k);

  void Finish() { Handlers().finish(); }
  void PaintOverlay(IOverlayCanvas& canvas) { Handlers().overlayPaint(canvas); }

  // Cursor keys move the layer or the selection.
  bool EnterKeyMoveMode();
  bool LeaveKeyMoveMode(bool cancelled);

  // The window may close only outside cursor-key move mode and without a temporary tool.
  bool MayClose() const { return (state_ & (kStateKeyMove | kStateTempTool)) == 0; }

  // Sets the cursor for the keys held now: the temporary tool they would choose, else the
  // current tool.
  void RefreshCursor(uint32_t shift);

 private:
  HeldKeys Held(uint32_t shift) const;
  bool Replaying() const { return host_.IsReplaying(); }
  // Installs a temporary tool unless one is in force or replay refuses it.
  bool SwitchTemporary(ToolChoice tool, MouseButton owner);
  void RestoreTemporary();
  // Ends one drag: its release procedure, its bits, the capture and a temporary tool it holds.
  void EndDrag(MouseButton button, uint32_t shift, std::optional<TPoint> p);
  void EndAllDragsWithoutPosition(uint32_t shift);
  bool WindowKey(const KeyInput& k);
  bool MayEdit() const;
  void ZoomAboutCentre(bool in, uint32_t shift);

  IToolHost& host_;
  CModeMngr& modes_;
  const ConfigSettings& config_;
  std::array<ToolHandlers, kToolModeCount> handlers_;
  uint16_t state_ = 0;
  TPoint pressPoint_{};
  TPoint lastPoint_{};
  bool spaceHeld_ = false;
  bool afterDoubleClick_ = false;
  // Blocked input ends with the release of this button.
  MouseButton blockedButton_ = MouseButton::kLeft;
  // The tool that was current before the temporary one, and the drag that brought it.
  ToolChoice savedTool_{};
  MouseButton tempOwner_ = MouseButton::kLeft;
};

}  // namespace tintara
