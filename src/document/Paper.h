// The paper: one open picture — its size, resolution and paper colour, its layers, the
// full-resolution composite of the visible layers, the thumbnails, and the zoomed and rotated
// view of the composite that its window shows. TFlowImage is the working copy of one layer
// that painting draws into before the touched rectangle is written back.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "document/Layer.h"
#include "document/Mask.h"
#include "document/PaperHost.h"
#include "document/Undo.h"
#include "pixel/DibCore.h"
#include "pixel/ScaleImage.h"

namespace tintara {

class TPaper;

class TFlowImage {
 public:
  explicit TFlowImage(TPaper& paper) : paper_(paper) {}

  // Makes `work` hold the layer. Returns whether anything was copied.
  bool LoadLayer(int32_t layerIndex, const CLayerData& layer, bool force);
  // Sizes `work` to the layers' largest store (never smaller than now unless exact).
  void FitToLayers(bool exact);
  // `work` must be reloaded before it is used again.
  void Invalidate() { loadState = 0; }
  bool Holds(const CLayerData& layer) const { return loadState == 1 && loadedId == layer.id; }

  TMTC work;
  TChannel workMask;
  int32_t loadedLayer = -1;
  int32_t loadedId = -1;  // the layer is identified by id: indices move
  int32_t loadState = 0;
  int32_t viewX = 0, viewY = 0;
  int32_t paperWidth = 0, paperHeight = 0;

 private:
  TPaper& paper_;
};

// The zoom steps of the view, index -8..9 (0 = 100 %).
double ZoomFactorOf(int32_t index);
bool IsWholeZoom(int32_t index);

// The new picture's limits, wherever its numbers come from.
inline constexpr int32_t kMaxPaperSide = 10000;

enum class StrokeEngine : uint8_t {
  kDirect,   // level 0: each segment rendered directly on the layer (old event files)
  kDabs,     // level 1: dabs stepped along each segment
  kManager,  // level 2: the stroke manager with the flow image
};

// What the window shows after PaintRect: a buffer to copy 1:1, or the composite to stretch.
struct PaintSource {
  enum Kind { kNothing, kViewBuffer, kPlainBuffer, kCompositeStretched } kind = kNothing;
  TRect windowRect;  // the part of the window to update
  double factor = 1.0;
  double originX = 0, originY = 0;  // window position of paper (0, 0) when stretched
};

class TPaper {
 public:
  explicit TPaper(IPaperHost* host = nullptr, const PaperSettings& settings = {});
  ~TPaper();
  TPaper(const TPaper&) = delete;
  TPaper& operator=(const TPaper&) = delete;

  // False when a part the paper cannot live without (layers, composite) was not made.
  bool Created() const { return created_; }
  void SetJournal(IPaperJournal* journal) { journal_ = journal; }
  IPaperJournal* JournalSink() const { return journal_; }
  IPaperHost& Host() const { return *host_; }
  // While a stream replays into the paper (set by the player, or the window's replay).
  bool IsReplaying() const { return replaying || host_->IsReplaying(); }

  // --- setting up -----------------------------------------------------------------------
  bool NewPaper(const std::string& title, TFlowImage& flow, bool transparent, bool noPaperColor, int32_t dpi,
                int32_t height, int32_t width);

  // --- layers ---------------------------------------------------------------------------
  int32_t LayerCount() const { return layers.Count(); }
  int32_t TopIndex() const { return layers.Count() - 1; }
  CLayerData* Layer(int32_t i) const { return layers.At(i); }
  int32_t ActiveIndex() const { return layers.ActiveIndex(); }
  CLayerData* ActiveLayer() const { return layers.Active(); }
  bool IsValidIndex(int32_t i) const { return layers.IsValidIndex(i); }
  bool MaxStoreSize(int32_t& width, int32_t& height) const;
  TPoint LayerOffset(int32_t i) const;
  // Store coordinates = paper coordinates + the layer's view position.
  SPixRect ToLayer(int32_t i, const SPixRect& paperRect) const;
  SPixRect ToPaper(int32_t i, const SPixRect& storeRect) const;
  void ToLayer(int32_t i, float& x, float& y) const;
  bool ActivateLayer(TFlowImage& flow, int32_t i);
  int32_t AddLayer(int32_t index, int32_t width, bool visible, uint8_t opacity, int32_t modeByte,
                   int32_t height);
  bool CanAddLayer(int32_t mode) const;

  // --- attributes -----------------------------------------------------------------------
  void SetPaperColor(uint32_t colour, bool record);
  bool SetPaperColorOn(bool on);
  bool SetShowChecker(bool on);
  void SetGrid(bool on, int32_t spacingX, int32_t spacingY, bool redraw);
  void SetPaperSize(TFlowImage& flow, int32_t width, int32_t height);
  void SetDpi(int32_t value) { dpi = value; }

  // --- compositing ----------------------------------------------------------------------
  void Recomposite(const SPixRect& rect, bool drawGrid);
  void RecompositeAll(bool drawGrid);
  // The picture as a flat file holds it: the composite without grid lines, over white paper
  // where the paper is transparent, opaque. The paper and its grid are as before afterwards.
  bool FlatPicture(TTC& out);
  void DrawGrid(const SPixRect& rect);
  void UpdateThumbnails(bool skipLayer, int32_t i, const SPixRect& rect);
  // Layers, undo, total, in bytes.
  struct Memory {
    int64_t layers = 0, undo = 0, total = 0;
  };
  Memory MemoryUsage() const;

  // --- edits through the flow image (store-coordinate rectangles) -------------------------
  // While a stroke runs, the composite shows the working copy in place of the layer the
  // flow image holds (nullptr: the layers' own pixels again).
  void ShowStrokeWork(const TFlowImage* flow) { strokeFlow_ = flow; }
  void FinishEdit(TFlowImage& flow, int32_t i, bool commit, const TRect& storeRect);
  // After a whole-layer change: recomposites and repaints everything.
  void FinishWholeLayerEdit(TFlowImage& flow, int32_t i);
  void CommitRect(TFlowImage& flow, int32_t i, bool commit, const TRect& storeRect);

  // --- levels ---------------------------------------------------------------------------
  void SetLevel(int32_t n);
  // Refused while a stroke runs or a replay plays.
  bool SwitchLevel(int32_t n);
  StrokeEngine Engine() const { return strokeProc; }

  // --- paper-level layer operations (each ends with the list refreshed) -------------------
  int32_t NewLayer(TFlowImage& flow, int32_t modeByte, uint32_t initialColour, const std::string& name);
  bool DeleteLayer(TFlowImage& flow, int32_t i);
  int32_t DuplicateLayer(TFlowImage& flow, int32_t i);
  int32_t MoveLayer(TFlowImage& flow, int32_t to, int32_t from);
  bool MergeDown(TFlowImage& flow, int32_t i, bool older);
  bool FlattenVisible(TFlowImage& flow, bool keepTransparency);
  bool GroupIn(TFlowImage& flow, int32_t i);
  bool GroupOut(TFlowImage& flow, int32_t i);
  bool MergeGroup(TFlowImage& flow, int32_t i);
  bool DeleteGroup(TFlowImage& flow, int32_t i);
  // Moves layer `from` with all its children so that it lands before index `to`.
  int32_t MoveGroup(TFlowImage& flow, int32_t to, int32_t from);
  // Ends the group headed by layer i: its children move out one level, no layer is lost.
  bool DissolveGroup(TFlowImage& flow, int32_t i);
  void ShowAll(bool visible);
  void ShowOnly(int32_t i);
  void InvertVisibility();
  bool RemoveOutsidePaper(TFlowImage& flow, int32_t i);
  bool InvertAlpha(TFlowImage& flow, int32_t i);
  bool FillAlpha(TFlowImage& flow, int32_t i);
  bool ClearAlpha(TFlowImage& flow, int32_t i);
  // The whole layer becomes empty: its mode's neutral colour at alpha 0, as a fresh
  // transparent layer starts.
  bool ClearLayer(TFlowImage& flow, int32_t i);
  // Paints the colour, opaque, into layer i within the selection in use (weighted by its
  // coverage), or over the whole paper without one. A layer whose transparency is protected
  // takes the colour only.
  bool FillSelection(TFlowImage& flow, int32_t i, uint32_t colour);
  // Gives the selected pixels of layer i the paper colour and takes their alpha away,
  // weighted by the coverage (the colour only on a layer whose transparency is protected).
  bool DeleteSelection(TFlowImage& flow, int32_t i, uint32_t paperColour);
  // The layer settings dialog's values (opacity and dither amount in percent).
  struct LayerSettings {
    std::string name;
    int32_t opacityPercent = 100;
    int32_t mode = kModeNormal;
    int32_t viewX = 0, viewY = 0;
    bool removeHidden = false;
    bool ditherOn = false;
    int32_t ditherPercent = 100;
  };
  LayerSettings SettingsOf(int32_t i) const;
  // The layer window's direct controls, one attribute record each.
  bool SetLayerVisible(int32_t i, bool visible);
  bool SetLayerOpacity(int32_t i, uint8_t opacity);
  bool SetLayerMode(int32_t i, int32_t mode);
  bool SetLayerProtectAlpha(int32_t i, bool on);
  bool SetLayerName(int32_t i, const std::string& name);
  bool SetLayerPosition(TFlowImage& flow, int32_t i, int32_t x, int32_t y);
  bool SetLayerDither(int32_t i, bool on, uint8_t amount);
  bool ApplySettings(TFlowImage& flow, int32_t i, const LayerSettings& s);

  // --- painting and transforms ------------------------------------------------------------
  // Before a painting step on layer i: the undo record of the store rectangle it will touch.
  bool BeginEdit(int32_t i, const TRect& storeRect, int32_t kind = 1);
  // Flip, negative and the like on a whole layer (kinds 7..11) or every visible layer (12..15).
  bool TransformLayer(TFlowImage& flow, int32_t i, int32_t kind);
  bool TransformVisible(TFlowImage& flow, int32_t kind);

  // --- selection masks ---------------------------------------------------------------------
  // The mask that limits the tools: the active one while the selection is enabled and the
  // mask selects something; nullptr otherwise.
  const CMaskData* SelectionInUse() const;
  int32_t NewSelectionMask(int32_t index);
  int32_t SelectionFromLayer(int32_t layer, bool luminance, bool invert);
  // A copy of mask `index` (channel, offset, thumbnail, name) before it, made active; the
  // copy's index or -1.
  int32_t DuplicateMask(int32_t index);
  bool RemoveSelectionMask(int32_t index);
  // Combines a channel into the mask (the shapes and most selection edits).
  bool EditSelection(int32_t index, const CBlockVCH& channel, int32_t x, int32_t y, CombineMode mode);
  bool ActivateMask(int32_t index);
  // Moves the active mask (`from`) to another place in the list; it stays active.
  bool MoveMask(int32_t from, int32_t to);
  bool InvertSelection(int32_t index);
  bool MoveSelection(int32_t index, int32_t dx, int32_t dy);
  // The selection's two switches: its outline shown, and its mask limiting the tools.
  bool SetSelectionVisible(bool on);
  bool SetSelectionEnabled(bool on);
  // Combines mask `other` (the active one, in the mask window) into mask `index`, which then
  // becomes active (the mask window's add, copy, subtract, intersect).
  bool CombineMasks(int32_t index, int32_t other, CombineMode mode);
  bool RenameMask(int32_t index, const std::string& name);
  // Deselects: the mask at index keeps its place and name but selects nothing.
  bool ClearSelection(int32_t index);
  // A rectangle selection (paper coordinates, right and bottom exclusive) combined into the
  // mask at index.
  bool SelectRect(int32_t index, const SPixRect& rect, CombineMode mode);

  // --- undo ---------------------------------------------------------------------------------
  // Hands a record to the undo manager; false (and the record is freed) when it was not kept.
  bool PushUndo(std::unique_ptr<CUndoData> record);
  // A record could not be made: the history is cleared so that it cannot drift from the stream.
  void UndoRecordFailed();
  void ClearUndo();
  // The edit menu's clear: asks first; true when everything was cleared.
  bool ClearUndoAsked();
  // Before an event file is saved: the redo list and the stream's redo entries go together.
  void ClearRedo();
  UndoResult Undo(TFlowImage& flow);
  UndoResult Redo(TFlowImage& flow);
  bool SetUndoLimit(int32_t undoMax);
  // Level-0 papers: undoes the last painting step of layer i from its own history and
  // repaints the restored rectangle.
  bool UndoLayerStep(TFlowImage& flow, int32_t i);
  // Level-0 papers: layer i starts a fresh history of its own.
  bool ClearLayerUndo(int32_t i);
  bool CanUndoNow() const { return undo && undo->HasUndo(); }
  bool CanRedoNow() const { return undo && undo->HasRedo(); }
  // The flow image of the step in progress (records that change the canvas need it).
  TFlowImage* StepFlow() const { return stepFlow_; }

  // --- view ------------------------------------------------------------------------------
  double ZoomFactor() const { return ZoomFactorOf(zoomIndex); }
  bool CanZoomIn() const { return zoomIndex < 9; }
  bool CanZoomOut() const { return zoomIndex >= -7; }
  bool ZoomIn();
  bool ZoomOut();
  void SetZoomIndex(int32_t k);
  bool SetViewAngle(double degrees);
  bool SetViewAngleRadians(double radians);
  void ShiftView(double dx, double dy);
  void SetViewOrigin(int32_t x, int32_t y) { viewOriginX = x, viewOriginY = y; }
  void SetViewAnchor(int32_t x, int32_t y) { viewAnchorX = x, viewAnchorY = y; }
  TPoint ViewCenter(int32_t clientWidth, int32_t clientHeight) const;
  bool IsRotated() const { return normalisedAngle != 0.0f; }
  bool FastPathAllowed() const;
  // Rebuilds the display buffer for a window of the given client size.
  void RefreshView(int32_t clientWidth, int32_t clientHeight);
  // Prepares the pixels of `windowRect` and says what the window draws.
  PaintSource PaintRect(const TRect& windowRect, int32_t clientWidth, int32_t clientHeight);
  void InvalidateView(bool erase) { host_->InvalidateView(erase); }

  // --- canvas -----------------------------------------------------------------------------
  bool ResizeCanvas(TFlowImage& flow, int32_t width, int32_t height, bool record, bool option,
                    int32_t anchor);
  bool ResampleImage(TFlowImage& flow, int32_t width, int32_t height, int32_t method);
  bool Crop(TFlowImage& flow, int32_t layer, bool record, const SPixRect& rect);
  // The offset at which the old picture lands in a canvas of a new size.
  static TPoint AnchorOffset(int32_t oldW, int32_t oldH, int32_t newW, int32_t newH, int32_t anchor);

  // --- fields -------------------------------------------------------------------------------
  std::string title;
  StrokeEngine strokeProc = StrokeEngine::kDabs;
  uint8_t levelMax = 1;
  uint8_t level = 1;
  uint8_t paperColorOn = 1;
  uint8_t showChecker = 0;
  uint32_t paperColor = 0x00FFFFFF;
  int32_t dpi = 0;
  int32_t width = 0, height = 0;
  uint8_t protectedReplay = 0;
  uint8_t initialised = 0;
  uint8_t gridOn = 0;
  int32_t gridX = 25, gridY = 25;
  int32_t viewOriginX = 0, viewOriginY = 0;
  int32_t viewAnchorX = 0, viewAnchorY = 0;
  int32_t zoomIndex = 0;
  float viewAngle = 0;
  float viewShiftX = 0, viewShiftY = 0;
  float normalisedAngle = 0;
  float sine = 0, cosine = 1.0f;
  TTC composite;
  TTC viewBuffer;
  TTC plainBuffer;
  TMTC navThumb;
  std::unique_ptr<CScaleImageTMTC> viewScaler;
  CLayerMngr layers{24};
  CMaskMngr masks;
  std::unique_ptr<CUndoMngrEx> undo;
  uint8_t selectionVisible = 1, selectionEnabled = 1;
  bool replaying = false;
  bool strokeRunning = false;  // set by the stroke manager between begin and end
  PaperSettings settings;

 private:
  friend class TFlowImage;
  void Journal(PaperOp op, int32_t layer = -1, std::initializer_list<int32_t> values = {}) {
    if (journal_) journal_->Operation(op, layer, std::span<const int32_t>(values.begin(), values.size()));
  }
  // Blends one contributing layer into `rect` of the composite at its effective opacity.
  void CompositeLayer(CLayerData& layer, const SPixRect& rect, uint8_t opacity, SRandomState& random);
  // After a change of the layer list: the flow image reloads, the list redraws.
  void LayersChanged(TFlowImage& flow, int32_t activate);
  // A layer standing in for `layer` over another store size (canvas changes, crop).
  std::unique_ptr<CLayerData> ReplacementLayer(const CLayerData& layer, TPoint size, TPoint storeOffset,
                                               bool allAttributes) const;
  void FitNavThumb();
  // FillSelection and DeleteSelection: one pass over the selected part of a layer.
  bool PaintSelection(TFlowImage& flow, int32_t i, uint32_t colour, bool erase);

  // Asks whether to go on without undo when the copy for undo cannot be made.
  bool ConfirmWithoutUndo(const char* operation);
  bool SetSwitch(bool visible, bool enabled, PaperOp op, int32_t value);
  // Before an operation changes anything: the recorder writes the state it starts from.
  void BeginOp() {
    if (journal_) journal_->BeginOperation();
  }
  UndoResult StepUndo(TFlowImage& flow, bool redo);

  IPaperHost* host_;
  IPaperJournal* journal_ = nullptr;
  TFlowImage* stepFlow_ = nullptr;
  const TFlowImage* strokeFlow_ = nullptr;
  bool created_ = false;
};

// Converts a store-coordinate left/top/right/bottom rectangle of layer i to a paper
// rectangle (and back): the one place where the two forms meet.
SPixRect StoreToPaperRect(const CLayerData& layer, const TRect& storeRect);
TRect PaperToStoreRect(const CLayerData& layer, const SPixRect& paperRect);

}  // namespace tintara
