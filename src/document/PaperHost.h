// What a paper needs from the world around it: the window that shows it, the palettes that
// follow it, and the journal through which its operations reach the undo history and the
// event recorder. Each has a headless default, so a paper works (and is tested) with no
// window at all.
#pragma once

#include <cstdint>
#include <span>

namespace tintara {

class IPaperHost {
 public:
  virtual ~IPaperHost() = default;
  // The window repaints its client area.
  virtual void InvalidateView(bool erase) {}
  virtual void ScrollRangesChanged() {}
  virtual void SetModified() {}
  // True while the window replays an event stream.
  virtual bool IsReplaying() const { return false; }
  // The window's background as a pixel value (shown where the view leaves the paper).
  virtual uint32_t WindowBackground() const { return 0x00808080; }
  // The layer palette redraws one layer (-1: the whole list); the selection palette refreshes.
  virtual void LayerWindowChanged(int32_t layer) {}
  virtual void SelectionWindowChanged() {}
  virtual void PreviewChanged() {}
  // The stroke that paints on this paper learns its target layer and protect-alpha flag.
  virtual void StrokeTarget(int32_t layer, bool protectAlpha) {}
  // The document holds changes not yet saved.
  virtual bool IsModified() const { return false; }
};

// The settings a paper reads from the application.
struct PaperSettings {
  int32_t undoMax = 8;      // 0..50
  int32_t strokeLevel = 2;  // the level chosen for new pictures (1 or 2)
  bool antialiasedDisplay = false;
};

// Every operation that changes a picture reports itself here once, after it succeeded, at
// the point where its undo record is pushed. The comment names the values that come with
// it, in order; `layer` is the layer index it worked on (-1 when none).
enum class PaperOp : int32_t {
  kNewPicture,               // width, height, transparent, no paper colour, dpi
  kPaperColor,               // old colour, new colour
  kAddLayer,                 // layer = new index; mode byte, initial colour, named (0/1)
  kDeleteLayer,              // layer
  kDuplicateLayer,           // layer = source; new index
  kMoveLayer,                // layer = from; to
  kMergeDown,                // layer = the upper one
  kMergeDownOld,             // layer = the upper one
  kFlattenVisible,           //
  kFlattenVisibleKeepAlpha,  //
  kGroupIn,                  // layer = the head
  kGroupOut,                 // layer = the head
  kMergeGroup,               // layer = the head; members
  kDeleteGroup,              // layer = the head; members
  kMoveGroup,                // layer = from; to
  kDissolveGroup,            // layer = the head
  kShowAll,                  //
  kHideAll,                  //
  kShowOnly,                 // layer
  kInvertVisibility,         //
  kRemoveOutside,            // layer
  kInvertAlpha,              // layer
  kFillAlpha,                // layer
  kClearAlpha,               // layer
  kClearLayer,               // layer
  kFillSelection,            // layer; colour
  kDeleteSelection,          // layer; paper colour
  kLayerVisible,             // layer; visible
  kLayerOpacity,             // layer; opacity
  kLayerMode,                // layer; mode
  kLayerProtectAlpha,        // layer; on
  kLayerName,                // layer (the name is the layer's)
  kLayerPosition,            // layer; x, y
  kLayerDither,              // layer; on, amount
  kResizeCanvas,             // width, height, anchor, option
  kResampleImage,            // width, height, method
  kCrop,                     // layer; x, y, width, height
  kEdit,                     // a painting step committed through the flow image
  kTransformLayer,           // layer; kind 7..11
  kTransformVisible,         // kind 12..15
  kNewMask,                  // index
  kMaskFromLayer,            // layer; index, luminance, invert
  kDuplicateMask,            // index of the mask copied (the copy lands before it)
  kRemoveMask,               // index
  kEditMask,                 // index, mode (a channel from a tool: the tool records itself)
  kActivateMask,             // index
  kMoveMask,                 // from, to
  kInvertMask,               // index
  kMoveSelection,            // index, dx, dy
  kSelectionVisible,         // on
  kSelectionEnabled,         // on
  kCombineMasks,             // index, other, mode
  kRenameMask,               // index (the name is the mask's)
  kClearSelection,           // index
  kSelectRect,               // index, mode, left, top, right, bottom
};

class IPaperJournal {
 public:
  virtual ~IPaperJournal() = default;
  // Called as an operation begins, before it changes anything (whether or not it then
  // succeeds): the recorder writes the tool state the operation starts from.
  virtual void BeginOperation() {}
  // `values` are the operation's own numbers, as listed beside PaperOp. Anything else the
  // event needs (names, pixels) is read from the paper, which already shows the result.
  virtual void Operation(PaperOp op, int32_t layer, std::span<const int32_t> values) = 0;
  // The event stream follows undo and redo: before a step it is compared with the undo
  // manager's counts, after it the stream steps too.
  virtual void BeforeUndoStep(bool redo, int32_t undoCount, int32_t redoCount) {}
  virtual void AfterUndoStep(bool redo) {}
  // The newest undo (or redo) record was let go without a step: the stream lets its newest
  // group on that side go too.
  virtual void DroppedUndoStep(bool redo) {}
  // The stream's own undo window; resized before the undo depth changes.
  virtual bool ResizeUndoWindow(int32_t depth) { return true; }
  virtual void ClearUndoWindow() {}
  // Drops the stream's redo entries (with the redo list, before an event file is saved).
  virtual void ClearRedoWindow() {}
};

}  // namespace tintara
