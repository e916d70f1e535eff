// Layers: one layer's attributes, store and thumbnail, and the ordered list of layers with
// its active index, default names, group levels and the merge of one layer into another.
//
// Index 0 is the bottom layer. Every layer also has an id unique for the program run, by
// which undo records and the event stream name it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "document/BlendModes.h"
#include "pixel/BlockImage.h"
#include "pixel/DibCore.h"
#include "pixel/DynArray.h"
#include "pixel/Random.h"

namespace tintara {

class CLayerData;

// The per-layer undo history of level-0 papers, provided by the undo subsystem.
class ILayerUndo {
 public:
  virtual ~ILayerUndo() = default;
  virtual bool CanUndo() const = 0;
  virtual bool CanRedo() const = 0;
  virtual int64_t Memory() const = 0;
  // Keeps the rectangle of the store as it is before a change.
  virtual bool Push(const CLayerData& layer, const SPixRect& rect) = 0;
  // Restores the last kept rectangle; optionally writes the restored area into `buffer` too.
  virtual bool Undo(CLayerData& layer, CDibCore* buffer, SPixRect* changed) = 0;
  virtual std::unique_ptr<ILayerUndo> Clone() const = 0;
};
using LayerUndoFactory = std::unique_ptr<ILayerUndo> (*)();
// Installed by the undo subsystem; without it layers have no undo of their own.
LayerUndoFactory SetLayerUndoFactory(LayerUndoFactory factory);

inline constexpr int32_t kThumbnailSide = 33;
inline constexpr int32_t kMaxGroupLevel = 250;

class CLayerData {
 public:
  // Fields as documented; id from the run-wide counter, random state seeded from the clock.
  CLayerData(int32_t index, bool withOwnUndo);
  ~CLayerData();
  CLayerData(const CLayerData&) = delete;
  CLayerData& operator=(const CLayerData&) = delete;

  // Builds a store filled (without memory) with the mode's neutral colour, and a fitted white
  // thumbnail; the old store is replaced only when the new one is complete.
  bool CreatePixels(int32_t width, int32_t height, int32_t modeByte);
  bool CreatePixelsLike(const CLayerData& other);

  void FitThumbnail(int32_t maxWidth, int32_t maxHeight);
  void RenderThumbnail();
  // Re-renders the thumbnail pixels covering a paper rectangle.
  void RenderThumbnail(const SPixRect& paperRect);
  void ClearThumbnail(bool transparent);

  void CopyAttributes(const CLayerData& other);
  bool CopyAll(const CLayerData& other);

  bool ViewInStore(bool clamp);
  bool ShiftView(int32_t dx, int32_t dy);
  // The store's extent in paper coordinates.
  SPixRect Bounds() const;
  bool IsLargerThanPaper() const;
  // A new layer (same index and own-undo choice) whose store of `size` holds this store at
  // `offset`; the view moves with it. nullptr on failure.
  std::unique_ptr<CLayerData> ResizedCopy(TPoint size, TPoint offset) const;

  void SetGroupLevel(int32_t level);
  void AddGroupLevel(int32_t delta) { SetGroupLevel(groupLevel + delta); }

  void SetAlpha(uint8_t alpha);
  void SetOpaque() { SetAlpha(255); }
  void SetNeutral();
  int64_t MemoryUsed() const;

  // Own undo of level-0 papers.
  bool CanUndo() const { return ownUndo && ownUndo->CanUndo(); }
  bool CanRedo() const { return ownUndo && ownUndo->CanRedo(); }
  int64_t UndoMemory() const { return ownUndo ? ownUndo->Memory() : 0; }
  bool PushUndo(const SPixRect& rect) { return ownUndo && ownUndo->Push(*this, rect); }
  bool Undo(CDibCore* buffer, SPixRect* changed) { return ownUndo && ownUndo->Undo(*this, buffer, changed); }

  int32_t Mode() const { return EffectiveMode(mode); }
  SPixRect ViewRect() const { return {viewX, viewY, viewWidth, viewHeight}; }

  int32_t index;
  int32_t id;
  std::string name;
  int32_t viewX = 0;
  int32_t viewY = 0;
  int32_t viewWidth = 0;
  int32_t viewHeight = 0;
  uint8_t protectAlpha = 0;
  uint8_t opacity = 255;
  uint8_t mode = 0;  // the stored byte; blend with Mode()
  uint8_t ditherOn = 0;
  uint8_t ditherAmount = 255;
  uint8_t visible = 0;
  SRandomState random;
  int32_t groupLevel = 0;
  std::unique_ptr<CBlockVMTC> pixels;
  std::unique_ptr<TMTC> thumbnail;
  std::unique_ptr<ILayerUndo> ownUndo;

 private:
  static int32_t nextId_;
};

// The layer attribute texts.
inline constexpr const char* kBadLayerIndexText = "不正なレイヤインデックスです!";
inline constexpr const char* kLayerInitFailedText = "レイヤの初期化に失敗しました!";
inline constexpr const char* kLayerAddFailedText = "レイヤの追加に失敗しました!";
inline constexpr const char* kLayerMoveFailedText = "レイヤ移動に失敗しました！";
inline constexpr const char* kLayerMergeResizeFailedText =
    "レイヤのサイズ変更失敗により、レイヤ結合ができませんでした！";

class CLayerMngr {
 public:
  explicit CLayerMngr(int32_t capacity = 0);
  ~CLayerMngr();
  CLayerMngr(const CLayerMngr&) = delete;
  CLayerMngr& operator=(const CLayerMngr&) = delete;

  void SetPaperSize(int32_t width, int32_t height);
  int32_t Count() const { return int32_t(layers_.size()); }
  bool IsValidIndex(int32_t i) const { return i >= 0 && i < Count(); }
  CLayerData* At(int32_t i) const { return IsValidIndex(i) ? layers_[size_t(i)].get() : nullptr; }
  CLayerData* Active() const { return At(active_); }
  int32_t ActiveIndex() const { return active_; }
  bool CanAdd() const { return Count() < layerLimit_; }

  std::string DefaultName(int32_t step) const;
  void NameLayer(int32_t i, int32_t step);
  void CopyName(int32_t i, int32_t j);
  int32_t NameCounter() const { return nameCounter_; }

  // Returns the final index or -1 (after showing why).
  int32_t Add(int32_t index, int32_t width, bool visible, uint8_t opacity, bool withOwnUndo, int32_t modeByte,
              int32_t height);
  int32_t Insert(int32_t index, std::unique_ptr<CLayerData> layer);
  void Delete(int32_t i);
  std::unique_ptr<CLayerData> Detach(int32_t i);
  std::unique_ptr<CLayerData> Replace(int32_t i, std::unique_ptr<CLayerData> layer);
  bool Exchange(int32_t i, CLayerMngr& other, int32_t j);
  int32_t Move(int32_t to, int32_t from);
  // Moves a layer with its n - 1 children; returns the new index of the layer or -1.
  int32_t MoveBlock(int32_t to, int32_t from, int32_t n);
  int32_t SetActive(int32_t i);

  int32_t VisibleCount() const;
  int32_t FirstVisible() const;
  std::vector<uint8_t> VisibilitySnapshot() const;
  void ToggleAllVisible();
  void SetAllVisible(bool v);
  void ShowOnly(int32_t i);
  void SetRangeVisible(int32_t i, int32_t n, bool v);

  int32_t IdAt(int32_t i) const;
  int32_t IndexOfId(int32_t id) const;
  int64_t LayersMemory() const;
  int64_t OwnUndoMemory() const;

  // Group levels.
  const CDynArray& Levels();
  int32_t MaxLevel() const;
  int32_t ChildCount(int32_t i) const;
  bool CanGroupIn(int32_t i) const;
  bool CanGroupOut(int32_t i) const;
  bool GroupIn(int32_t i);
  bool GroupOut(int32_t i);
  bool CanMergeDown(int32_t i) const;

  // Merges layer src into layer dst. Option low word 0 plain, 1..3 alpha-keeping; bit
  // 0x10000 skips transparent source pixels in a built merge; bit 0x20000 keeps all of dst's
  // attributes (else its name and opacity). With keepOld the replaced dst is handed back
  // through `oldDst` instead of freed.
  // `with` (optional) merges with that function instead of the mode's (level-0 papers).
  bool Merge(int32_t dst, int32_t src, bool keepOld, uint32_t option,
             std::unique_ptr<CLayerData>* oldDst = nullptr, const MergeFn* with = nullptr);
  void ClearAll();
  // Exchanges the whole list with another (canvas changes and their undo); the active index
  // goes with it.
  void SwapLayers(std::vector<std::unique_ptr<CLayerData>>& other, int32_t& otherActive);

  int32_t PaperWidth() const { return paperWidth_; }
  int32_t PaperHeight() const { return paperHeight_; }
  int32_t LayerLimit() const { return layerLimit_; }
  void SetLayerLimit(int32_t limit) { layerLimit_ = limit; }

 private:
  void Renumber();
  void ClampActive();
  int32_t Level(int32_t i) const { return layers_[size_t(i)]->groupLevel; }

  std::vector<std::unique_ptr<CLayerData>> layers_;
  int32_t layerLimit_ = 10000;
  int32_t active_ = -1;
  int32_t paperWidth_ = 0;
  int32_t paperHeight_ = 0;
  int32_t thumbWidth_ = kThumbnailSide;
  int32_t thumbHeight_ = kThumbnailSide;
  int32_t nameCounter_ = 0;
  CDynArray levels_;
};

}  // namespace tintara
