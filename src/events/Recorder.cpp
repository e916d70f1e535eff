#include "events/Recorder.h"

#include "document/Paper.h"
#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/Notify.h"

namespace tintara {

namespace {

uint16_t U16(int32_t v) { return uint16_t(v < 0 ? 0xFFFF : v > 0xFFFF ? 0xFFFF : v); }
int32_t Value(std::span<const int32_t> v, size_t i) { return i < v.size() ? v[i] : 0; }

// The layer flags byte of the attribute records: visible, mask protection, dither.
uint8_t LayerFlags(const CLayerData& l) {
  return uint8_t((l.visible ? 1 : 0) | (l.protectAlpha ? 2 : 0) | (l.ditherOn ? 0x10 : 0));
}

// The transforms of a layer (7..11) and of every visible layer (12..15) as packet subs.
int32_t LayerTransformSub(int32_t kind) {
  switch (kind) {
    case 7:
      return 32;  // flip left-right
    case 8:
      return 33;  // flip top-bottom
    case 10:
      return 34;  // rotate 180 degrees
    case 9:
      return 35;  // negative
    default:
      return -1;
  }
}
int32_t VisibleTransformSub(int32_t kind) {
  switch (kind) {
    case 12:
      return 16;
    case 13:
      return 17;
    case 15:
      return 18;
    case 14:
      return 19;
    default:
      return -1;
  }
}

}  // namespace

CPaperRecorder::CPaperRecorder(TPaper& paper, CEventMngr& events, IToolStateSource* tools)
    : paper_(paper), events_(events), tools_(tools ? tools : &defaults_) {}

bool CPaperRecorder::WriteRecord(const auto& record, bool commit) {
  std::vector<uint8_t> bytes;
  if (!Encode(record, bytes)) return false;
  if (record.code.kind == 0 && !commit) return events_.WriteStateRecord(bytes);
  return events_.WritePacket(bytes, commit);
}

bool CPaperRecorder::StartRecording(int32_t undoMax) {
  if (!events_.Reset() || !events_.SetupRing(CEventMngr::RingCapacityFor(undoMax))) return false;
  events_.SetState(EventState::kRecording);
  hasBegun_ = false;
  inStroke_ = false;
  return WriteRecord(AppVersionRecord{}, false);
}

CPaperRecorder::BaseState CPaperRecorder::Capture() const {
  BaseState b;
  b.paperColour = paper_.paperColor & 0x00FFFFFF;
  b.subColour = tools_->SubColour() & 0x00FFFFFF;
  // The paper's display of its colour and of the pattern behind it changes the composite.
  b.canvasFlags = uint8_t((paper_.paperColorOn ? 0 : 1) | (paper_.showChecker ? 2 : 0));
  b.geometry = tools_->GradationGeometry();
  b.mode = tools_->GradationMode();
  b.activeLayer = U16(paper_.ActiveIndex());
  b.activeMask = U16(paper_.masks.ActiveIndex());
  const CLayerData* l = paper_.ActiveLayer();
  b.switches = uint16_t((paper_.selectionEnabled ? 1 : 0) | (tools_->UseTone() ? 2 : 0) |
                        (l && l->protectAlpha ? 4 : 0) | (tools_->UseGradation() ? 8 : 0));
  return b;
}

bool CPaperRecorder::WriteBaseState(const BaseState& b) {
  if (!WriteRecord(AppVersionRecord{}, false)) return false;
  ColourRecord paperColour;
  paperColour.code = {0, 2};
  paperColour.colour = b.paperColour;
  if (!WriteRecord(paperColour, false)) return false;
  ColourRecord sub;
  sub.code = {0, 3};
  sub.colour = b.subColour;
  sub.flags = b.canvasFlags;
  if (!WriteRecord(sub, false)) return false;
  if (!WriteRecord(b.geometry, false)) return false;
  if (!WriteRecord(b.mode, false)) return false;
  LayerArgRecord active;
  active.code = {0, 8};
  active.layer = b.activeLayer;
  active.arg = b.activeMask;
  if (!WriteRecord(active, false)) return false;
  FlagWordRecord switches;
  switches.code = {0, 12};
  switches.flags = b.switches;
  return WriteRecord(switches, false);
}

bool CPaperRecorder::RecordStart() {
  if (!events_.Recording()) return false;
  if (!WriteBaseState() || !WriteRecord(InfoRecord::RecordingTime(GetSystemTime()), false)) {
    events_.Rollback();
    return false;
  }
  EmptyRecord start;
  start.code = {2, 254};
  // Every segment after a start marker defines again what it uses.
  events_.ToneIds().RemoveAll();
  events_.NibIds().RemoveAll();
  if (!WriteRecord(start, true)) {
    events_.Rollback();
    return false;
  }
  return true;
}

bool CPaperRecorder::RecordStop() {
  // A stroke in progress owns the pending group: the marker would close it half-written.
  if (!events_.Recording() || inStroke_) return false;
  EmptyRecord end;
  end.code = {2, 255};
  if (!WriteRecord(end, true)) {
    events_.Rollback();
    return false;
  }
  events_.SetState(EventState::kStopped);
  return true;
}

void CPaperRecorder::StopAndClear() {
  events_.Reset();
  inStroke_ = false;
  samples_.clear();
}

void CPaperRecorder::Abort() {
  events_.Rollback();
  ShowWarning(kEventRecordingEndedText);
  DebugOut("event recording ended: an operation's packet could not be written");
  StopAndClear();
}

// --- operations --------------------------------------------------------------------------------

void CPaperRecorder::BeginOperation() {
  if (!events_.Recording() || inStroke_) return;
  begun_ = Capture();
  hasBegun_ = true;
}

bool CPaperRecorder::EncodeOperation(PaperOp op, int32_t layer, std::span<const int32_t> v,
                                     std::vector<uint8_t>& out) const {
  const CLayerData* l = paper_.Layer(layer);
  auto arg = [&](uint8_t kind, uint8_t sub, int32_t index, int32_t a) {
    LayerArgRecord r;
    r.code = {kind, sub};
    r.layer = U16(index);
    r.arg = U16(a);
    return Encode(r, out);
  };
  auto args = [&](uint8_t kind, uint8_t sub, int32_t index, int32_t a, int32_t x, int32_t y) {
    LayerArgsRecord r;
    r.code = {kind, sub};
    r.layer = U16(index);
    r.arg = U16(a);
    r.a = x;
    r.b = y;
    return Encode(r, out);
  };
  auto attr = [&](uint8_t sub) {
    if (!l) return false;
    LayerAttrRecord r;
    r.code = {4, sub};
    r.layer = U16(layer);
    r.blendMode = l->mode;
    r.opacity = l->opacity;
    r.flags = LayerFlags(*l);
    return Encode(r, out);
  };
  auto empty = [&](uint8_t kind, uint8_t sub) {
    EmptyRecord r;
    r.code = {kind, sub};
    return Encode(r, out);
  };
  const int32_t active = paper_.ActiveIndex();
  switch (op) {
    case PaperOp::kNewPicture: {
      PaperCreateRecord r;
      r.width = Value(v, 0);
      r.height = Value(v, 1);
      r.a = Value(v, 4);  // dpi
      r.b = Value(v, 1);
      r.c = Value(v, 0);
      r.flag1 = Value(v, 2) ? 0xFF : 0;
      r.flag2 = Value(v, 3) ? 0xFF : 0;
      return Encode(r, out);
    }
    case PaperOp::kPaperColor: {
      PaperColourRecord r;
      r.colour = uint32_t(Value(v, 1)) & 0x00FFFFFF;
      return Encode(r, out);
    }
    case PaperOp::kResizeCanvas: {
      CanvasResizeRecord r;
      r.anchorX = uint8_t(Value(v, 2));
      r.anchorY = uint8_t(Value(v, 3));
      r.width = Value(v, 0);
      r.height = Value(v, 1);
      return Encode(r, out);
    }
    case PaperOp::kResampleImage: {
      ResizeRecord r;
      r.code = {2, 3};
      r.option = U16(Value(v, 2));
      r.a = Value(v, 0);
      r.b = Value(v, 1);
      return Encode(r, out);
    }
    case PaperOp::kCrop: {
      CropRecord r;
      r.layer = U16(layer);
      r.left = Value(v, 0);
      r.top = Value(v, 1);
      r.right = Value(v, 0) + Value(v, 2);
      r.bottom = Value(v, 1) + Value(v, 3);
      return Encode(r, out);
    }
    case PaperOp::kFlattenVisible:
      return args(2, 10, 0, 0, 1, 0);
    case PaperOp::kFlattenVisibleKeepAlpha:
      return args(2, 10, 1, 0, 0x30003, 0);
    case PaperOp::kTransformVisible: {
      const int32_t sub = VisibleTransformSub(Value(v, 0));
      return sub >= 0 && empty(2, uint8_t(sub));
    }
    case PaperOp::kShowAll:
      return arg(2, 24, 1, 0);
    case PaperOp::kHideAll:
      return arg(2, 24, 0, 0);
    case PaperOp::kShowOnly:
      return arg(2, 25, layer, 0);
    case PaperOp::kInvertVisibility:
      return arg(2, 26, active, 0);

    case PaperOp::kAddLayer: {
      if (!l) return false;
      // Always with its name: default names come from a counter that undone additions have
      // moved on, which a replay of the stream would not.
      AddNamedLayerRecord r;
      r.index = U16(layer);
      r.a = Value(v, 0);
      r.b = Value(v, 1);
      r.c = 1;
      r.d = 255;
      r.flags = l->protectAlpha ? 2 : 0;
      r.name = l->name;
      return Encode(r, out);
    }
    case PaperOp::kDeleteLayer:
      return arg(4, 1, layer, 0);
    case PaperOp::kDuplicateLayer:
      return arg(4, 3, layer, 0);
    case PaperOp::kMoveLayer:
      return arg(4, 4, layer, Value(v, 0));
    case PaperOp::kMergeDown:
      return arg(4, 5, layer, 0);
    case PaperOp::kMergeDownOld: {
      LayerArgValueRecord r;
      r.layer = U16(layer);
      return Encode(r, out);
    }
    case PaperOp::kFillAlpha:
      return arg(4, 24, layer, 1);
    case PaperOp::kClearAlpha:
      return arg(4, 24, layer, 0);
    case PaperOp::kInvertAlpha:
      return arg(4, 25, layer, 0);
    case PaperOp::kClearLayer:
      return arg(4, 2, layer, 0);
    case PaperOp::kFillSelection:
    case PaperOp::kDeleteSelection: {
      // The colour is all these fills take; the point and the two floats stay zero.
      FillRecord r;
      r.code = {6, uint8_t(op == PaperOp::kFillSelection ? 0 : 5)};
      r.layer = U16(layer);
      r.value = uint32_t(Value(v, 0)) & 0x00FFFFFF;
      return Encode(r, out);
    }
    case PaperOp::kTransformLayer: {
      const int32_t kind = Value(v, 0);
      if (kind == 11) return arg(4, 25, layer, 0);
      const int32_t sub = LayerTransformSub(kind);
      return sub >= 0 && arg(4, uint8_t(sub), layer, 0);
    }
    case PaperOp::kLayerPosition:
      return args(4, 6, layer, 0, Value(v, 0), Value(v, 1));
    case PaperOp::kRemoveOutside: {
      LayerOptionRecord r;
      r.layer = U16(layer);
      r.option1 = 1;
      return Encode(r, out);
    }
    case PaperOp::kLayerMode:
      return attr(16);
    case PaperOp::kLayerOpacity:
      return attr(17);
    case PaperOp::kLayerVisible:
      return attr(18);
    case PaperOp::kLayerProtectAlpha:
      return attr(20);
    case PaperOp::kLayerDither: {
      if (!l) return false;
      LayerAttrDitherRecord r;
      r.layer = U16(layer);
      r.blendMode = l->mode;
      r.opacity = l->opacity;
      r.flags = LayerFlags(*l);
      r.ditherAmount = l->ditherAmount;
      // The dither's seed travels along, so that a replay draws the same pattern (and bakes
      // the same pixels when the layer is flattened or merged).
      r.value = int32_t(l->random.current);
      return Encode(r, out);
    }
    case PaperOp::kLayerName: {
      if (!l) return false;
      IndexTextRecord r;
      r.code = {4, 19};
      r.index = U16(layer);
      r.text = l->name;
      return Encode(r, out);
    }

    case PaperOp::kGroupIn:
    case PaperOp::kGroupOut: {
      if (!l) return false;
      GroupMembershipRecord r;
      r.code = {5, uint8_t(op == PaperOp::kGroupIn ? 0 : 1)};
      r.layer = U16(layer);
      const int32_t n = paper_.layers.ChildCount(layer) + 1;
      for (int32_t k = 0; k < n && paper_.IsValidIndex(layer + k); ++k) {
        const uint8_t level = uint8_t(std::clamp(paper_.Layer(layer + k)->groupLevel, 0, 255));
        r.first.push_back(level);
        r.second.push_back(level);
      }
      return Encode(r, out);
    }
    case PaperOp::kDeleteGroup:
      return args(5, 8, layer, 0, Value(v, 0), 0);
    case PaperOp::kMoveGroup:
      return args(5, 11, layer, U16(Value(v, 0)), Value(v, 0), 0);
    case PaperOp::kMergeGroup:
      return args(5, 12, layer, U16(Value(v, 0)), 0, 0);
    case PaperOp::kDissolveGroup:
      return args(5, 13, layer, 0, 0, 0);

    case PaperOp::kNewMask:
      return arg(10, 0, active, Value(v, 0));
    case PaperOp::kDuplicateMask:
      return arg(10, 4, active, Value(v, 0));
    case PaperOp::kRemoveMask:
      return arg(10, 1, active, Value(v, 0));
    case PaperOp::kClearSelection:
      return arg(10, 2, active, Value(v, 0));
    case PaperOp::kInvertMask:
      return arg(10, 3, active, Value(v, 0));
    case PaperOp::kActivateMask:
      return arg(10, 5, active, Value(v, 0));
    case PaperOp::kMoveMask:
      return args(10, 7, active, Value(v, 0), Value(v, 1), 0);
    case PaperOp::kMoveSelection:
      return args(10, 8, active, Value(v, 0), Value(v, 1), Value(v, 2));
    case PaperOp::kCombineMasks:
      return args(10, 9, active, Value(v, 0), Value(v, 1), Value(v, 2));
    case PaperOp::kSelectionVisible:
      return args(10, 13, active, paper_.masks.ActiveIndex(), 0, Value(v, 0));
    case PaperOp::kSelectionEnabled:
      // The switch travels in the uint16 at payload offset 10: the high half of b.
      return args(10, 14, active, paper_.masks.ActiveIndex(), 0,
                  int32_t(uint32_t(Value(v, 0) ? 1 : 0) << 16));
    case PaperOp::kMaskFromLayer:
      return args(10, 22, layer, Value(v, 0), Value(v, 1), Value(v, 2));
    case PaperOp::kRenameMask: {
      const CMaskData* m = paper_.masks.At(Value(v, 0));
      if (!m) return false;
      IndexTextRecord r;
      r.code = {10, 12};
      r.index = U16(Value(v, 0));
      r.text = m->displayName;
      return Encode(r, out);
    }
    case PaperOp::kSelectRect: {
      ShapeSelectionRecord r;
      r.layer = U16(active);
      r.mask = U16(Value(v, 0));
      r.mode = uint8_t(Value(v, 1));
      r.from = {Value(v, 2), Value(v, 3)};
      r.to = {Value(v, 4), Value(v, 5)};
      return Encode(r, out);
    }
    case PaperOp::kEdit:
    case PaperOp::kEditMask:
      return false;  // the tools record themselves
  }
  return false;
}

void CPaperRecorder::Operation(PaperOp op, int32_t layer, std::span<const int32_t> values) {
  if (!events_.Recording()) return;
  if (op == PaperOp::kNewPicture) {
    // The picture's first group: (0,0) and the creation; then the start marker.
    std::vector<uint8_t> bytes;
    if (!EncodeOperation(op, layer, values, bytes) || !events_.WritePacket(bytes, true) || !RecordStart())
      Abort();
    return;
  }
  std::vector<uint8_t> bytes;
  bool ok;
  try {
    ok = EncodeOperation(op, layer, values, bytes);
    if (!ok) DebugOut("no event packet for this operation");
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  // The state the operation started from, then the operation itself, as one group.
  ok = ok && WriteBaseState(hasBegun_ ? begun_ : Capture());
  hasBegun_ = false;
  if (!ok || !events_.WritePacket(bytes, true)) Abort();
}

// --- strokes ----------------------------------------------------------------------------------

// The stroke is drawn and its undo record pushed whatever the stream holds, so a stroke
// whose packets cannot be written ends the recording like any other operation.
bool CPaperRecorder::StrokeBegin(int32_t layer, bool path, float pressure, float x, float y) {
  if (!events_.Recording()) return false;
  inStroke_ = false;
  if (!WriteBaseState() || !tools_->WriteToolState(events_)) {
    Abort();
    return false;
  }
  LayerArgRecord start;
  const bool manager = paper_.Engine() == StrokeEngine::kManager;
  start.code = {uint8_t(manager ? (path ? 49 : 48) : (path ? 24 : 23)), 0};
  start.layer = U16(layer);
  start.arg = U16(paper_.masks.ActiveIndex());
  if (!WriteRecord(start, false)) {
    Abort();
    return false;
  }
  samples_.clear();
  samples_.push_back({x, y, pressure});
  inStroke_ = true;
  return true;
}

bool CPaperRecorder::StrokeSample(float pressure, float x, float y) {
  if (!inStroke_) return false;
  if (int32_t(samples_.size()) == kMaxSamplesPerBlock) {
    if (!WriteRecord(SampleBlockRecord::Make(false, samples_), false)) {
      Abort();
      return false;
    }
    samples_.clear();
  }
  samples_.push_back({x, y, pressure});
  return true;
}

bool CPaperRecorder::StrokeEnd() {
  if (!inStroke_) return false;
  inStroke_ = false;
  if (!WriteRecord(SampleBlockRecord::Make(true, samples_), true)) {
    Abort();
    return false;
  }
  samples_.clear();
  return true;
}

// --- undo and redo -----------------------------------------------------------------------------

void CPaperRecorder::BeforeUndoStep(bool redo, int32_t undoCount, int32_t redoCount) {
  if (!events_.Recording()) return;
  if (!redo) {
    if (events_.UndoDepth() < undoCount) {
      ShowWarning(kEventStateFixedText);
      if (paper_.undo) paper_.undo->Trim();
      if (events_.UndoDepth() < (paper_.undo ? paper_.undo->UndoCount() : 0)) ShowWarning(kEventProblemText);
    }
  } else if (events_.RedoDepth() < redoCount) {
    ShowWarning(kEventProblemText);
  }
}

void CPaperRecorder::AfterUndoStep(bool redo) {
  if (!events_.Recording()) return;
  if (redo ? !events_.RedoGroup() : !events_.UndoGroup())
    ShowWarning(redo ? kEventRedoFailedText : kEventUndoFailedText);
}

void CPaperRecorder::DroppedUndoStep(bool redo) {
  if (!events_.Recording()) return;
  if (redo)
    events_.ForgetRedo();
  else
    events_.DropLastGroup();
}

bool CPaperRecorder::ResizeUndoWindow(int32_t depth) { return events_.ResizeRing(depth); }

void CPaperRecorder::ClearUndoWindow() { events_.ClearRing(); }

void CPaperRecorder::ClearRedoWindow() { events_.ForgetRedo(); }

}  // namespace tintara
