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

// Every operation that changes a picture reports itself here once, at the point where its
// event is recorded and its undo record pushed.
enum class PaperOp : int32_t {
  kNewPicture,
  kPaperColor,
  kAddLayer,
  kDeleteLayer,
  kDuplicateLayer,
  kMoveLayer,
  kMergeDown,
  kMergeDownOld,
  kFlattenVisible,
  kFlattenVisibleKeepAlpha,
  kGroupIn,
  kGroupOut,
  kMergeGroup,
  kDeleteGroup,
  kMoveGroup,
  kDissolveGroup,
  kShowAll,
  kHideAll,
  kShowOnly,
  kInvertVisibility,
  kRemoveOutside,
  kInvertAlpha,
  kFillAlpha,
  kClearAlpha,
  kLayerSettings,
  kLayerVisible,
  kLayerOpacity,
  kLayerMode,
  kLayerProtectAlpha,
  kLayerName,
  kLayerPosition,
  kLayerDither,
  kResizeCanvas,
  kResampleImage,
  kCrop,
  kEdit,  // a painting or editing operation committed through the flow image
  kTransformLayer,
  kTransformVisible,
  kNewMask,
  kMaskFromLayer,
  kRemoveMask,
  kEditMask,
  kActivateMask,
  kMoveMask,
  kInvertMask,
  kMoveSelection,
  kSelectionSwitches,
  kCombineMasks,
  kRenameMask,
  kClearSelection,
  kSelectRect,
};

class IPaperJournal {
 public:
  virtual ~IPaperJournal() = default;
  // `layer` is the index the operation worked on (-1 when none); `values` are the operation's
  // own numbers (indices, sizes, options) in the order its call names them. Anything else the
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
