// The undo records that work on the paper's layer and mask lists (structural and selection
// records). Each holds the objects an operation removed or replaced and swaps them back; the
// direction toggle says which way the next step goes, and ownership follows it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "document/Paper.h"
#include "document/Undo.h"

namespace tintara {

// 27 add layer, 29 duplicate, 30 paste as new layer: holds the new layer while undone.
class AddLayerRecord : public CUndoData {
 public:
  AddLayerRecord(int32_t kind, int32_t layerId, int32_t index, int32_t activeBefore)
      : CUndoData(kind, layerId), index_(index), activeBefore_(activeBefore) {}
  bool Step(TPaper& paper, bool redo, UndoResult& result, std::unique_ptr<CUndoData>& opposite) override;
  int64_t Memory() const override { return held_ ? held_->MemoryUsed() : 0; }

 private:
  int32_t index_, activeBefore_;
  std::unique_ptr<CLayerData> held_;
};

// 28 delete layer: holds the deleted layer while done.
class DeleteLayerRecord : public CUndoData {
 public:
  DeleteLayerRecord(std::unique_ptr<CLayerData> layer, int32_t index)
      : CUndoData(28, layer->id), index_(index), held_(std::move(layer)) {}
  bool Step(TPaper& paper, bool redo, UndoResult& result, std::unique_ptr<CUndoData>& opposite) override;
  int64_t Memory() const override { return held_ ? held_->MemoryUsed() : 0; }

 private:
  int32_t index_;
  std::unique_ptr<CLayerData> held_;
};

// 31 move layer.
class MoveLayerRecord : public CUndoData {
 public:
  MoveLayerRecord(int32_t layerId, int32_t before, int32_t after)
      : CUndoData(31, layerId), before_(before), after_(after) {}
  bool Step(TPaper& paper, bool redo, UndoResult& result, std::unique_ptr<CUndoData>& opposite) override;

 private:
  int32_t before_, after_;
};

// 32 merge down: the upper layer (out of the list while done) and the other version of the
// lower layer (the old one while done, the merged one while undone).
class MergeDownRecord : public CUndoData {
 public:
  MergeDownRecord(std::unique_ptr<CLayerData> upper, int32_t upperIndex, int32_t lowerId,
                  std::unique_ptr<CLayerData> oldLower)
      : CUndoData(32, upper->id),
        upperIndex_(upperIndex),
        lowerId_(lowerId),
        upper_(std::move(upper)),
        held_(std::move(oldLower)) {}
  bool Step(TPaper& paper, bool redo, UndoResult& result, std::unique_ptr<CUndoData>& opposite) override;
  bool NamesLayer() const override { return false; }
  int64_t Memory() const override {
    return (upper_ ? upper_->MemoryUsed() : 0) + (held_ ? held_->MemoryUsed() : 0);
  }

 private:
  int32_t upperIndex_, lowerId_;
  std::unique_ptr<CLayerData> upper_, held_;
};

// 33 flatten visible, 39 delete group, 40 merge group: layers taken out of the list (with
// their old indices) and, optionally, a layer replaced by another.
class RemovedLayersRecord : public CUndoData {
 public:
  RemovedLayersRecord(int32_t kind, int32_t activeBefore, int32_t activeAfter)
      : CUndoData(kind, -1), activeBefore_(activeBefore), activeAfter_(activeAfter) {}
  // `old` stood where a layer of id `doneId` stands now.
  void SetReplaced(std::unique_ptr<CLayerData> old, int32_t doneId) {
    undoneId_ = old->id;
    doneId_ = doneId;
    replaced_ = std::move(old);
  }
  void AddRemoved(std::unique_ptr<CLayerData> layer, int32_t index);
  bool Step(TPaper& paper, bool redo, UndoResult& result, std::unique_ptr<CUndoData>& opposite) override;
  int64_t Memory() const override;

 private:
  int32_t activeBefore_, activeAfter_;
  int32_t doneId_ = -1, undoneId_ = -1;
  std::unique_ptr<CLayerData> replaced_;
  std::vector<std::unique_ptr<CLayerData>> removed_;
  std::vector<int32_t> ids_, indices_;
};

// 38 group in or out, 45 show only, 46 show or hide all, 47 invert visibility: values per layer.
class LayerValuesRecord : public CUndoData {
 public:
  enum What { kLevels, kVisibility };
  struct Entry {
    int32_t id, before, after;
  };
  LayerValuesRecord(int32_t kind, What what, std::vector<Entry> entries)
      : CUndoData(kind, -1), what_(what), entries_(std::move(entries)) {}
  bool Step(TPaper& paper, bool redo, UndoResult& result, std::unique_ptr<CUndoData>& opposite) override;

 private:
  What what_;
  std::vector<Entry> entries_;
};

// 42 move group: the order of the whole list (by id) and every level, before and after.
class LayerOrderRecord : public CUndoData {
 public:
  struct Place {
    int32_t id, level;
  };
  LayerOrderRecord(int32_t headId, std::vector<Place> before, std::vector<Place> after)
      : CUndoData(42, headId), before_(std::move(before)), after_(std::move(after)) {}
  bool NamesLayer() const override { return false; }
  bool Step(TPaper& paper, bool redo, UndoResult& result, std::unique_ptr<CUndoData>& opposite) override;
  static std::vector<Place> Of(const CLayerMngr& layers);

 private:
  std::vector<Place> before_, after_;
};

// 34 layer options with pixels: the other version of the layer object.
class SwapLayerRecord : public CUndoData {
 public:
  SwapLayerRecord(int32_t kind, std::unique_ptr<CLayerData> other)
      : CUndoData(kind, other->id), held_(std::move(other)) {}
  bool Step(TPaper& paper, bool redo, UndoResult& result, std::unique_ptr<CUndoData>& opposite) override;
  int64_t Memory() const override { return held_ ? held_->MemoryUsed() : 0; }

 private:
  std::unique_ptr<CLayerData> held_;
};

// The attributes the layer settings change.
struct LayerAttributes {
  std::string name;
  uint8_t opacity, mode, visible, ditherOn, ditherAmount;
  int32_t viewX, viewY;
  uint8_t protectAlpha;
  static LayerAttributes Of(const CLayerData& l);
  void ApplyTo(CLayerData& l) const;
  bool operator==(const LayerAttributes&) const = default;
};

// 50 canvas resize, 51 image resize, 52 crop: the whole other layer set, mask set and size.
class CanvasRecord : public CUndoData {
 public:
  CanvasRecord(int32_t kind, std::vector<std::unique_ptr<CLayerData>> layers, int32_t active,
               std::vector<std::unique_ptr<CMaskData>> masks, int32_t maskActive, int32_t width,
               int32_t height)
      : CUndoData(kind, -1),
        layers_(std::move(layers)),
        masks_(std::move(masks)),
        active_(active),
        maskActive_(maskActive),
        width_(width),
        height_(height) {}
  bool Step(TPaper& paper, bool redo, UndoResult& result, std::unique_ptr<CUndoData>& opposite) override;
  int64_t Memory() const override;

 private:
  std::vector<std::unique_ptr<CLayerData>> layers_;
  std::vector<std::unique_ptr<CMaskData>> masks_;
  int32_t active_, maskActive_, width_, height_;
};

// 53 new mask, 54 mask from a layer, 55 remove a mask. The mask is verified by its serial,
// which the masks that stand in for it after an edit keep.
class MaskListRecord : public CUndoData {
 public:
  MaskListRecord(int32_t kind, int32_t index, int32_t serial, int32_t activeBefore, int32_t activeAfter)
      : CUndoData(kind, -1),
        index_(index),
        serial_(serial),
        activeBefore_(activeBefore),
        activeAfter_(activeAfter) {}
  void Hold(std::unique_ptr<CMaskData> mask) { held_ = std::move(mask); }
  // 53: the mask name counter before and after the new mask took its number.
  void SetCounters(int32_t before, int32_t after) { counterBefore_ = before, counterAfter_ = after; }
  bool Step(TPaper& paper, bool redo, UndoResult& result, std::unique_ptr<CUndoData>& opposite) override;
  int64_t Memory() const override { return held_ ? held_->Memory() : 0; }

 private:
  int32_t index_, serial_;
  int32_t activeBefore_, activeAfter_;
  int32_t counterBefore_ = -1, counterAfter_ = -1;
  std::unique_ptr<CMaskData> held_;
};

// 56 selection edits, 62 combine masks: the other version of the mask, held always.
class MaskReplaceRecord : public CUndoData {
 public:
  MaskReplaceRecord(int32_t kind, int32_t index, int32_t serial, int32_t other,
                    std::unique_ptr<CMaskData> old)
      : CUndoData(kind, -1), index_(index), serial_(serial), other_(other), held_(std::move(old)) {}
  bool Step(TPaper& paper, bool redo, UndoResult& result, std::unique_ptr<CUndoData>& opposite) override;
  int64_t Memory() const override { return held_ ? held_->Memory() : 0; }

 private:
  int32_t index_, serial_, other_;
  std::unique_ptr<CMaskData> held_;
};

// 57 activate, 58 reorder, 59 invert, 60 move by an offset, 61 switches, 63 rename.
class MaskStateRecord : public CUndoData {
 public:
  MaskStateRecord(int32_t kind, int32_t a, int32_t b) : CUndoData(kind, -1), a_(a), b_(b) {}
  void SetSerial(int32_t s) { serial_ = s; }
  void SetOffset(int32_t dx, int32_t dy) { dx_ = dx, dy_ = dy; }
  void SetNames(std::string oldName, std::string newName) {
    oldName_ = std::move(oldName);
    newName_ = std::move(newName);
  }
  bool Step(TPaper& paper, bool redo, UndoResult& result, std::unique_ptr<CUndoData>& opposite) override;

 private:
  int32_t a_, b_;
  int32_t serial_ = -1;
  int32_t dx_ = 0, dy_ = 0;
  std::string oldName_, newName_;
};

}  // namespace tintara
