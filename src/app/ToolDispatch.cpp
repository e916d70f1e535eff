#include "app/ToolDispatch.h"

#include "app/AppProfile.h"

namespace tintara {

namespace {

constexpr std::string_view kKeyMoveOnText = "カーソルキー移動モードに入りました";
constexpr std::string_view kKeyMoveOffText = "カーソルキー移動モードを終了しました";

constexpr uint16_t DragBit(MouseButton b) {
  switch (b) {
    case MouseButton::kLeft:
      return kStateLeftDrag;
    case MouseButton::kRight:
      return kStateRightDrag;
    case MouseButton::kMiddle:
      return kStateMiddleDrag;
  }
  return 0;
}

}  // namespace

std::optional<TemporaryTool> TemporaryToolFor(const HeldKeys& k, ToolChoice current, bool selectionExists,
                                              bool pointInSelection) {
  if (k.ctrl && current.mode == kToolModeZoom)
    return TemporaryTool{{kToolModeZoom, current.subMode == kSubZoomIn ? kSubZoomOut : kSubZoomIn}};
  // Shift belongs to the selection tools (and to a wand adding to a selection) as "add".
  const bool shiftIsTheToolsOwn = current.mode == kToolModeShapeSelect ||
                                  (current == ToolChoice{kToolModeFill, kSubMagicWand} && selectionExists);
  if (k.shift && !k.alt && !shiftIsTheToolsOwn) return TemporaryTool{{kToolModeEyedropper, 0}, true};
  if (k.space && !k.ctrl) return TemporaryTool{{kToolModeView, kSubViewPan}};
  if (k.space && k.ctrl && !k.alt) return TemporaryTool{{kToolModeZoom, kSubZoomIn}};
  if (k.space && k.ctrl && k.alt) return TemporaryTool{{kToolModeZoom, kSubZoomOut}};
  if (k.alt && k.ctrl) return TemporaryTool{{kToolModeView, kSubViewPenRadius}};
  if (k.alt && !k.ctrl) return TemporaryTool{{kToolModeView, kSubViewRotate}};
  if (!k.alt && !k.space && !k.shift && !k.ctrl && current.mode == kToolModeShapeSelect && selectionExists &&
      pointInSelection)
    return TemporaryTool{{kToolModeDrag, kSubMoveSelection}};
  return std::nullopt;
}

CToolDispatch::CToolDispatch(IToolHost& host, CModeMngr& modes, const ConfigSettings& config)
    : host_(host), modes_(modes), config_(config) {}

void CToolDispatch::SetHandlers(uint8_t mode, ToolHandlers handlers) {
  if (mode >= kToolModeCount) return;
  // A slot left empty does nothing, like the slots never set.
  const ToolHandlers none;
  auto keep = [](auto& slot, const auto& fallback) {
    if (!slot) slot = fallback;
  };
  keep(handlers.leftDown, none.leftDown), keep(handlers.leftMove, none.leftMove);
  keep(handlers.leftUp, none.leftUp), keep(handlers.leftDoubleClick, none.leftDoubleClick);
  keep(handlers.rightDown, none.rightDown), keep(handlers.rightMove, none.rightMove);
  keep(handlers.rightUp, none.rightUp), keep(handlers.rightDoubleClick, none.rightDoubleClick);
  keep(handlers.moveNoButton, none.moveNoButton), keep(handlers.key, none.key);
  keep(handlers.overlayPaint, none.overlayPaint), keep(handlers.finish, none.finish);
  keep(handlers.cancelDrag, none.cancelDrag);
  handlers_[mode] = std::move(handlers);
}

const ToolHandlers& CToolDispatch::Handlers() const { return handlers_[modes_.Mode()]; }

bool CToolDispatch::PointerEnabled() const { return !Replaying() || !CModeMngr::ModeEdits(modes_.Mode()); }

HeldKeys CToolDispatch::Held(uint32_t shift) const {
  return {(shift & kShiftShift) != 0, (shift & kShiftAlt) != 0, (shift & kShiftCtrl) != 0, spaceHeld_};
}

bool CToolDispatch::SwitchTemporary(ToolChoice tool, MouseButton owner) {
  if (state_ & kStateTempTool) return false;
  if (Replaying() && CModeMngr::ModeEdits(tool.mode)) return false;
  savedTool_ = modes_.Current();
  tempOwner_ = owner;
  state_ |= kStateTempTool;
  modes_.SelectMode(tool.mode, tool.subMode);
  host_.SetToolCursor(modes_.Current());
  return true;
}

void CToolDispatch::RestoreTemporary() {
  state_ &= uint16_t(~kStateTempTool);
  modes_.SelectMode(savedTool_.mode, savedTool_.subMode);
}

void CToolDispatch::EndDrag(MouseButton button, uint32_t shift, std::optional<TPoint> p) {
  const uint16_t bit = DragBit(button);
  if (!(state_ & bit)) return;
  // The bit goes first: a release procedure that cancels the drag itself must not end it twice.
  state_ &= uint16_t(~bit);
  if (button == MouseButton::kRight)
    Handlers().rightUp(shift, p);
  else
    Handlers().leftUp(shift, p);
  if (!(state_ & kStateAnyDrag)) {
    state_ &= uint16_t(~kStateButtonDown);
    host_.SetCapture(false);
  }
  if ((state_ & kStateTempTool) && tempOwner_ == button) {
    RestoreTemporary();
    RefreshCursor(shift);
  }
}

void CToolDispatch::EndAllDragsWithoutPosition(uint32_t shift) {
  EndDrag(MouseButton::kLeft, shift, std::nullopt);
  EndDrag(MouseButton::kRight, shift, std::nullopt);
  EndDrag(MouseButton::kMiddle, shift, std::nullopt);
}

void CToolDispatch::PointerDown(MouseButton button, uint32_t shift, TPoint p, bool doubleClick) {
  if (state_ & kStateBlocked) return;
  lastPoint_ = p;
  afterDoubleClick_ = false;
  if (doubleClick) shift |= kShiftDouble;
  if (!doubleClick && (state_ & kStateAnyDrag)) {
    EndAllDragsWithoutPosition(shift);
    host_.Beep();
  }

  auto startDrag = [&](uint16_t bit) {
    host_.SetCapture(true);
    state_ |= uint16_t(bit | kStateButtonDown);
    pressPoint_ = p;
  };

  switch (button) {
    case MouseButton::kLeft: {
      if (doubleClick) {
        afterDoubleClick_ = true;
        if (PointerEnabled())
          Handlers().leftDoubleClick(shift, p);
        else
          host_.Beep();
        return;
      }
      if (state_ & kStateRightDrag) return;
      startDrag(kStateLeftDrag);
      const bool selectionExists = host_.SelectionExists();
      const bool inSelection =
          selectionExists && modes_.Mode() == kToolModeShapeSelect && host_.SelectionValueAt(p) > 0;
      if (auto temp = TemporaryToolFor(Held(shift), modes_.Current(), selectionExists, inSelection)) {
        if (temp->picksAtOnce) {
          // The colour is taken now and the rest of the gesture is swallowed.
          handlers_[kToolModeEyedropper].leftDown(shift, p);
          state_ |= kStateBlocked;
          blockedButton_ = MouseButton::kLeft;
          return;
        }
        SwitchTemporary(temp->tool, MouseButton::kLeft);
      }
      if (PointerEnabled()) {
        Handlers().leftDown(shift, p);
      } else {
        EndDrag(MouseButton::kLeft, shift, std::nullopt);
        host_.Beep();
      }
      return;
    }
    case MouseButton::kRight: {
      if (doubleClick) {
        afterDoubleClick_ = true;
        if (PointerEnabled())
          Handlers().rightDoubleClick(shift, p);
        else
          host_.Beep();
        return;
      }
      if (state_ & kStateLeftDrag) return;
      startDrag(kStateRightDrag);
      if (PointerEnabled()) {
        Handlers().rightDown(shift, p);
      } else {
        EndDrag(MouseButton::kRight, shift, std::nullopt);
        host_.Beep();
      }
      return;
    }
    case MouseButton::kMiddle: {
      if (state_ & kStateMiddleDrag) return;
      startDrag(kStateMiddleDrag);
      // Without its tool the middle drag has nothing to drive: a refused switch ends it.
      const bool switched = SwitchTemporary(MiddleButtonTool(config_.mouseMBtnFunc), MouseButton::kMiddle);
      if (switched && PointerEnabled()) {
        Handlers().leftDown(shift, p);
      } else {
        EndDrag(MouseButton::kMiddle, shift, std::nullopt);
        host_.Beep();
      }
      return;
    }
  }
}

void CToolDispatch::PointerMove(uint32_t shift, TPoint p) {
  if (state_ & kStateBlocked) return;
  lastPoint_ = p;
  if (shift & kShiftLeft) {
    if (state_ & kStateLeftDrag) Handlers().leftMove(shift, p);
  } else if (shift & kShiftRight) {
    if (state_ & kStateRightDrag) Handlers().rightMove(shift, p);
  } else if (shift & kShiftMiddle) {
    if ((state_ & kStateMiddleDrag) && (state_ & kStateTempTool)) Handlers().leftMove(shift, p);
  } else if (afterDoubleClick_) {
    // The move the platform reports right after a double-click is not the user's.
    afterDoubleClick_ = false;
  } else {
    Handlers().moveNoButton(shift, p);
  }
}

void CToolDispatch::PointerUp(MouseButton button, uint32_t shift, TPoint p) {
  if (state_ & kStateBlocked) {
    if (button != blockedButton_) return;
    state_ &= uint16_t(~(kStateBlocked | DragBit(button)));
    if (!(state_ & kStateAnyDrag)) {
      state_ &= uint16_t(~kStateButtonDown);
      host_.SetCapture(false);
    }
    return;
  }
  lastPoint_ = p;
  EndDrag(button, shift, p);
}

bool CToolDispatch::Wheel(int32_t delta, uint32_t shift) {
  if (delta == 0) return false;
  const bool in = delta < 0;
  if (in ? !host_.CanZoomIn() : !host_.CanZoomOut()) return false;
  const TPoint client = host_.ClientSize();
  if (!host_.ZoomAbout(in, {client.x / 2, client.y / 2})) return false;
  if ((shift & kShiftAlt) && !spaceHeld_) host_.FitWindow();
  return true;
}

void CToolDispatch::CancelDrag() {
  if (!(state_ & kStateAnyDrag)) return;
  if (state_ & kStateBlocked) {
    // A swallowed press has no tool to tell.
    state_ &= uint16_t(~(kStateBlocked | kStateAnyDrag | kStateButtonDown));
    host_.SetCapture(false);
    return;
  }
  Handlers().cancelDrag();
  EndAllDragsWithoutPosition(0);
}

void CToolDispatch::FocusLost() {
  spaceHeld_ = false;
  CancelDrag();
}

bool CToolDispatch::MayEdit() const {
  return host_.CanEditNow() && !(state_ & kStateKeyMove) && !Replaying();
}

void CToolDispatch::ZoomAboutCentre(bool in, uint32_t shift) {
  const TPoint client = host_.ClientSize();
  if (host_.ZoomAbout(in, {client.x / 2, client.y / 2}) && (shift & kShiftAlt) && !spaceHeld_)
    host_.FitWindow();
}

bool CToolDispatch::WindowKey(const KeyInput& k) {
  const bool ctrl = (k.shift & kShiftCtrl) != 0, shift = (k.shift & kShiftShift) != 0,
             alt = (k.shift & kShiftAlt) != 0;
  auto run = [&](WindowAction a) {
    host_.RunWindowAction(a);
    return true;
  };
  switch (k.key) {
    case kKeyBackspace:
    case kKeyDelete:
      if (host_.SelectionExists() && host_.SelectionEnabled() && !(state_ & kStateKeyMove))
        return run(WindowAction::kDeleteSelected);
      if (MayEdit()) return run(WindowAction::kClearLayer);
      return false;
    case kKeyInsert:
      return MayEdit() && run(WindowAction::kFillSelection);
    case 'C':
    case 'E':
    case 'H':
    case 'I':
    case 'S': {
      if (!ctrl || !shift || alt || !MayEdit()) return false;
      switch (k.key) {
        case 'C':
          return run(WindowAction::kCopyPicture);
        case 'E':
          return run(WindowAction::kToggleSelectionEnabled);
        case 'H':
          return run(WindowAction::kToggleSelectionVisible);
        case 'I':
          return run(WindowAction::kInvertSelection);
        default:
          return host_.MaySave() && run(WindowAction::kSaveAs);
      }
    }
    case kKeyNumPlus:
    case kKeyEqual:
      if (!ctrl || host_.IsMinimised()) return false;
      ZoomAboutCentre(true, k.shift);
      return true;
    case kKeyF5:
      ZoomAboutCentre(true, k.shift);
      return true;
    case kKeyNumMinus:
    case kKeyMinus:
      if (!ctrl || host_.IsMinimised()) return false;
      ZoomAboutCentre(false, k.shift);
      return true;
    case kKeyF6:
      if (!ctrl) {
        ZoomAboutCentre(false, k.shift);
        return true;
      }
      return run(shift ? WindowAction::kPreviousWindow : WindowAction::kNextWindow);
    default:
      return false;
  }
}

bool CToolDispatch::KeyDown(const KeyInput& k) {
  if (k.key == kKeySpace) spaceHeld_ = true;
  bool used = false;
  if (!k.autoRepeat && WindowKey(k)) {
    used = true;
  } else if (!(state_ & kStateKeyMoveLeaving)) {
    // A tool change in the middle of a gesture would hand its release to another tool.
    const bool busy =
        (state_ & (kStateAnyDrag | kStateTempTool | kStateKeyMove)) != 0 || host_.StrokeUnderWay();
    if (!busy && k.key >= 'A' && k.key <= 'Z' &&
        modes_.ToolKey(char(k.key), (k.shift & (kShiftCtrl | kShiftAlt)) != 0, k.autoRepeat, Replaying())) {
      used = true;
    } else {
      Handlers().key(k);
    }
  }
  // Held system keys repeat too; their repeats change nothing the cursor shows.
  if (!(k.autoRepeat && (k.shift & kShiftAlt))) RefreshCursor(k.shift);
  return used;
}

void CToolDispatch::KeyUp(const KeyInput& k) {
  if (k.autoRepeat) return;
  if (k.key == kKeySpace) spaceHeld_ = false;
  RefreshCursor(k.shift);
}

void CToolDispatch::RefreshCursor(uint32_t shift) {
  if (state_ & kStateTempTool) {
    host_.SetToolCursor(modes_.Current());
    return;
  }
  const ToolChoice current = modes_.Current();
  const bool selectionExists = host_.SelectionExists();
  const bool inSelection =
      selectionExists && current.mode == kToolModeShapeSelect && host_.SelectionValueAt(lastPoint_) > 0;
  ToolChoice shown = current;
  if (auto temp = TemporaryToolFor(Held(shift), current, selectionExists, inSelection))
    if (!(Replaying() && CModeMngr::ModeEdits(temp->tool.mode))) shown = temp->tool;
  host_.SetToolCursor(shown);
}

bool CToolDispatch::EnterKeyMoveMode() {
  if (state_ & kStateKeyMove) return false;
  state_ |= kStateKeyMove;
  host_.ShowStatus(kKeyMoveOnText);
  return true;
}

bool CToolDispatch::LeaveKeyMoveMode(bool cancelled) {
  if (!(state_ & kStateKeyMove)) return false;
  state_ |= kStateKeyMoveLeaving;
  EndAllDragsWithoutPosition(0);
  state_ &= uint16_t(~(kStateKeyMove | kStateKeyMoveLeaving));
  if (!cancelled) host_.SetModified();
  host_.RefreshOptionWindow();
  host_.ShowStatus(kKeyMoveOffText);
  return true;
}

}  // namespace tintara
