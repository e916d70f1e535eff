// Masks: 8-bit coverage channels (0 not selected, 255 fully selected) kept in tiles, and the
// ordered list of them that a paper holds. The active mask is the current selection.
//
// A channel pixel (i, j) covers paper pixel (i - offset x, j - offset y): paper coordinates =
// channel coordinates - offset.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pixel/BlockImage.h"
#include "pixel/DibCore.h"

namespace tintara {

class CLayerData;

class CMaskData {
 public:
  CMaskData();  // takes the next internal serial
  CMaskData(const CMaskData&) = delete;
  CMaskData& operator=(const CMaskData&) = delete;

  // A full copy (channel, offset, thumbnail, display name) with a serial of its own, or with
  // the same serial when it is to stand in for this mask.
  std::unique_ptr<CMaskData> Copy(bool keepSerial) const;
  bool HasChannel() const { return channel && channel->IsValid(); }
  // The channel's rectangle in paper coordinates (empty without a channel).
  SPixRect PaperRect() const;
  // Coverage at a paper point times level / 255 (0 outside the channel).
  uint8_t CoverageAt(int32_t x, int32_t y, uint8_t level = 255) const;
  int64_t Memory() const;
  // Makes a channel of the given size (all 0); false (and a debug line) when it cannot.
  bool CreateChannel(int32_t width, int32_t height);

  int32_t id = 0;            // index in the list
  int32_t internalName = 0;  // serial, unique for the program run
  std::string displayName;
  std::unique_ptr<CBlockVCH> channel;
  int32_t offsetX = 0, offsetY = 0;
  std::unique_ptr<TTC> thumbnail;

 private:
  static int32_t nextSerial_;
};

// The marching-ants outline of a mask, drawn by the selection; the mask manager calls into it.
class IMaskOutline {
 public:
  virtual ~IMaskOutline() = default;
  virtual void Build(const CMaskData& mask, int32_t paperWidth, int32_t paperHeight) = 0;
  virtual void Clear() = 0;
  virtual void MoveBy(int32_t dx, int32_t dy) = 0;
};

enum class CombineMode : int32_t { kReplace = 0, kAdd = 1, kSubtract = 2, kIntersect = 3 };

inline constexpr const char* kMaskWord = "マスク";
inline constexpr const char* kLuminanceWord = "明度";
inline constexpr const char* kAlphaWord = "ﾏｽｸ";

class CMaskMngr {
 public:
  // Starts with one empty mask, named with counter 1.
  CMaskMngr();
  ~CMaskMngr();
  CMaskMngr(const CMaskMngr&) = delete;
  CMaskMngr& operator=(const CMaskMngr&) = delete;

  void SetPaperSize(int32_t width, int32_t height);
  void SetOutline(IMaskOutline* outline) { outline_ = outline; }

  // --- queries ---------------------------------------------------------------------------
  int32_t Count() const { return int32_t(masks_.size()); }
  CMaskData* At(int32_t i) const { return i >= 0 && i < Count() ? masks_[size_t(i)].get() : nullptr; }
  CMaskData* Active() const { return At(active_); }
  int32_t ActiveIndex() const { return active_; }
  bool HasChannel(int32_t i) const;
  bool AnyChannel() const;
  int32_t LastWithChannel() const;
  // -1: the active mask.
  bool ExtendsBeyondPaper(int32_t i) const;
  SPixRect PaperRect(int32_t i) const;
  uint8_t CoverageAt(int32_t x, int32_t y, uint8_t level = 255) const;
  int64_t Memory() const;
  int32_t NameCounter() const { return nameCounter_; }
  // Undo of a new mask gives its number back, so that the same steps name masks alike.
  void SetNameCounter(int32_t n) { nameCounter_ = n; }

  // --- list edits (-1 means the active mask; failures return -1 or false) ---------------------
  int32_t InsertNew(int32_t index);
  int32_t Insert(int32_t index, std::unique_ptr<CMaskData> mask);
  int32_t Duplicate(int32_t index);
  bool Delete(int32_t index);
  std::unique_ptr<CMaskData> TakeOut(int32_t index);
  std::unique_ptr<CMaskData> Replace(int32_t index, std::unique_ptr<CMaskData> mask);
  int32_t Move(int32_t from, int32_t to);
  bool Activate(int32_t index);

  // --- channel edits ----------------------------------------------------------------------------
  // Combines `source` (its pixel (0, 0) at paper point (x, y)) into the mask at `index`; the
  // result replaces the mask, and the old one is handed back through `old` when given.
  bool CombineInto(int32_t index, const CBlockVCH& source, int32_t x, int32_t y, CombineMode mode,
                   std::unique_ptr<CMaskData>* old = nullptr);
  bool InvertMask(int32_t index, std::unique_ptr<CMaskData>* old = nullptr);
  bool CropToPaper(int32_t index, std::unique_ptr<CMaskData>* old = nullptr);
  // New masks made from a layer (not yet in the list).
  std::unique_ptr<CMaskData> MaskFromLayerLuminance(const CLayerData& layer, bool invert) const;
  std::unique_ptr<CMaskData> MaskFromLayerAlpha(const CLayerData& layer) const;
  // The layer's alpha becomes 0, then the mask's values where they overlap.
  bool MaskToLayerAlpha(int32_t index, CLayerData& layer) const;
  // alpha := alpha * mask / 255 where they overlap (store coordinates of `image` with view
  // position (viewX, viewY)).
  bool ApplyMaskToAlpha(int32_t index, CBlockVMTC& image, int32_t viewX, int32_t viewY) const;
  void RefreshThumbnail(int32_t index, int32_t width = 33, int32_t height = 33);
  void RefreshAllThumbnails();
  // Scales every mask for an image resize from the old paper size to the new one.
  bool ScaleAll(int32_t oldWidth, int32_t oldHeight, int32_t newWidth, int32_t newHeight);
  // Moves every mask's offset (canvas changes).
  void ShiftAll(int32_t dx, int32_t dy);

  // Exchanges the whole list (canvas changes and their undo).
  void SwapMasks(std::vector<std::unique_ptr<CMaskData>>& other, int32_t& otherActive);
  // Full copies of every mask (serials kept), or false when one could not be copied.
  bool CopyAll(std::vector<std::unique_ptr<CMaskData>>& out) const;

  // --- outline ------------------------------------------------------------------------------
  void BuildOutline(int32_t index);
  void ClearOutline();
  int32_t OutlineIndex() const { return outlineIndex_; }

 private:
  int32_t Resolve(int32_t index) const { return index < 0 ? active_ : index; }
  void Renumber();
  std::unique_ptr<CMaskData> NewEmpty();

  std::vector<std::unique_ptr<CMaskData>> masks_;
  int32_t active_ = 0;
  int32_t nameCounter_ = 0;
  int32_t outlineIndex_ = -1;
  // The active mask and the outlined one, followed across list edits by identity.
  struct Marks {
    const CMaskData* active;
    const CMaskData* outline;
  };
  Marks Mark() const;
  void Follow(const Marks& marks);
  int32_t paperWidth_ = 0, paperHeight_ = 0;
  IMaskOutline* outline_ = nullptr;
};

}  // namespace tintara
