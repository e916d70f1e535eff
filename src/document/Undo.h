// Undo and redo. Every paper operation makes one record describing how to reverse it; undo
// takes the newest record off the undo list, reverses the change and puts the record for the
// other direction on the redo list, and redo does the reverse.
//
// Records come in six classes by what they keep: pixels of a rectangle (1), an 8-bit plane
// (2), nothing (self-inverse transforms, 3), attribute values (4), layer objects and lists
// (5) and selection-mask state (6). The depth counts heavy records only: those that hold
// pixels or whole objects. Records name layers by id, so they survive reordering.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "pixel/BlockImage.h"
#include "pixel/PixelTypes.h"

namespace tintara {

class TPaper;
class TFlowImage;
class CLayerData;
class CLayerMngr;
class CMaskData;

enum class UndoClass : uint8_t {
  kPixels = 1,
  kPlane = 2,
  kTransform = 3,
  kAttribute = 4,
  kStructure = 5,
  kSelection = 6
};

inline constexpr uint32_t kUndoFlagHeavy = 0x10;
inline constexpr uint32_t kUndoFlagRawBuffer = 0x20;

struct UndoKindRow {
  uint8_t kind;
  UndoClass cls;
  uint32_t flags;
};
// The row of a kind 0..63 (kind 0 for anything else).
const UndoKindRow& UndoKind(int32_t kind);

inline constexpr const char* kUndoFailedText = "アンドゥに失敗しました!\rすべてのアンドゥはクリアされます!";
inline constexpr const char* kUndoMemoryText = "メモリ不足によりアンドゥ情報の保存に失敗しました！";
inline constexpr const char* kUndoLimitFailedText = "アンドゥ回数の変更に失敗しました!";
inline constexpr const char* kUndoClearQuestion = "すべての 取り消し/やり直し を破棄してよろしいですか?";

// What an undo or redo step leaves for the paper to refresh.
struct UndoResult {
  bool ok = false;
  int32_t activate = -1;      // layer index to make active (-1: keep)
  SPixRect rect{0, 0, 0, 0};  // paper rectangle that changed (empty: everything)
  uint32_t flags = 0;         // the kind's flag word
  int32_t kind = -1;
  bool dropped = false;  // the newest record was let go (its layer is gone)
  bool cleared = false;  // the step failed and every record is gone
};

// One record. The subclasses know their own reversal.
class CUndoData {
 public:
  CUndoData(int32_t kind, int32_t layerId) : kind_(uint8_t(kind)), layerId_(layerId) {}
  virtual ~CUndoData() = default;
  CUndoData(const CUndoData&) = delete;
  CUndoData& operator=(const CUndoData&) = delete;

  int32_t Kind() const { return kind_; }
  UndoClass Class() const { return UndoKind(kind_).cls; }
  uint32_t Flags() const { return UndoKind(kind_).flags; }
  int32_t LayerId() const { return layerId_; }
  // Whether the record needs its layer to exist (kinds that name a layer).
  virtual bool NamesLayer() const { return layerId_ >= 0; }
  bool Heavy() const { return (Flags() & kUndoFlagHeavy) != 0 || HoldsPixels(); }
  virtual bool HoldsPixels() const { return false; }
  virtual int64_t Memory() const { return 0; }
  // Reverses the change (redo = false) or makes it again (redo = true). A record that is
  // replaced by a new one for the other list puts it into `opposite`; otherwise the same
  // record moves. False when the step failed.
  virtual bool Step(TPaper& paper, bool redo, UndoResult& result, std::unique_ptr<CUndoData>& opposite) = 0;

  uint8_t toggle = 0;  // direction of class 4, 5 and 6 records: flips on every undo or redo

 protected:
  uint8_t kind_;
  int32_t layerId_;
};

// Newest first. A bounded list that is full drops its oldest record on insertion.
class CUndoList {
 public:
  explicit CUndoList(int32_t capacity = 4, bool bounded = false)
      : capacity_(std::max(capacity, 4)), bounded_(bounded) {}
  void PushFront(std::unique_ptr<CUndoData> r);
  std::unique_ptr<CUndoData> PopFront();
  std::unique_ptr<CUndoData> PopBack();
  CUndoData* Front() const { return items_.empty() ? nullptr : items_.front().get(); }
  int32_t Count() const { return int32_t(items_.size()); }
  int32_t HeavyCount() const;
  int64_t Memory() const;
  void Clear() { items_.clear(); }
  bool Empty() const { return items_.empty(); }
  const CUndoData* At(int32_t i) const { return items_[size_t(i)].get(); }

 private:
  std::deque<std::unique_ptr<CUndoData>> items_;
  int32_t capacity_;
  bool bounded_;
};

class CUndoMngr {
 public:
  CUndoMngr(int32_t undoLimit, int32_t redoLimit);
  virtual ~CUndoMngr() = default;

  bool CanUndo() const { return undoLimit_ > 0; }
  bool HasUndo() const { return !undo_.Empty(); }
  bool HasRedo() const { return !redo_.Empty(); }
  int32_t UndoCount() const { return undo_.Count(); }
  int32_t RedoCount() const { return redo_.Count(); }
  int32_t UndoLimit() const { return undoLimit_; }
  int32_t RedoLimit() const { return redoLimit_; }
  const CUndoList& UndoList() const { return undo_; }
  const CUndoList& RedoList() const { return redo_; }

  virtual void Trim();
  // Pushes a new record (dropping what the depth requires first) and clears the redo list.
  virtual bool PushUndo(std::unique_ptr<CUndoData> record);
  virtual void PushRedo(std::unique_ptr<CUndoData> record);
  void ClearRedo() { redo_.Clear(); }
  void ClearAll();
  // A limit of 0 or less sets both to 0 (and clears everything); redo never above undo.
  void SetLimits(int32_t undoLimit, int32_t redoLimit);
  int64_t MemoryUsed() const { return undo_.Memory() + redo_.Memory(); }

 protected:
  // Pushes onto the undo list during a redo (which must not clear the redo list).
  void PushUndoKeepRedo(std::unique_ptr<CUndoData> record);

  int32_t undoLimit_;
  int32_t redoLimit_;
  CUndoList undo_;
  CUndoList redo_;
};

// The paper's undo manager: unbounded lists, its own depth rules and a slack of 32 light records.
class CUndoMngrEx : public CUndoMngr {
 public:
  static constexpr int32_t kSlack = 32;
  static constexpr int32_t kMaxUndo = 50;  // the largest depth the settings offer
  CUndoMngrEx(TPaper& paper, int32_t undoMax);

  void Trim() override;
  UndoResult Undo();
  UndoResult Redo();

 private:
  UndoResult StepNewest(bool redo);
  TPaper& paper_;
};

// --- records ------------------------------------------------------------------------------

// Class 1: the pixels of a store rectangle of one layer as they were. A rectangle that misses
// the layer gives a record that keeps and restores nothing.
std::unique_ptr<CUndoData> MakePixelRecord(const CLayerData& layer, const TRect& storeRect, int32_t kind);
// Class 2: the layer's alpha plane inside a store rectangle.
std::unique_ptr<CUndoData> MakePlaneRecord(const CLayerData& layer, const TRect& storeRect);
// Class 3: a self-inverse transform of a rectangle of one layer (7..11) or of every visible
// layer (12..15).
std::unique_ptr<CUndoData> MakeTransformRecord(int32_t kind, int32_t layerId, const TRect& storeRect);
// Applies a class-3 transform to a store rectangle. False (and the rectangle as it was) when
// memory ran out.
bool ApplyLayerTransform(CBlockVMTC& store, int32_t kind, const SPixRect& rect);

// The transform of kinds 7..10 on every visible layer over a paper rectangle; all or none.
bool TransformVisibleLayers(TPaper& paper, int32_t kind, const SPixRect& paperRect);

// Class 4: old and new value of one attribute.
struct AttributeValue {
  int64_t number = 0;    // colour, opacity, mode, visibility, mask protection
  int32_t x = 0, y = 0;  // position; dither flag (x) and amount (y)
  std::string text;      // name
};
std::unique_ptr<CUndoData> MakeAttributeRecord(int32_t kind, int32_t layerId, const AttributeValue& before,
                                               const AttributeValue& after);

// Gives new layers of level-0 papers their own history (8 steps each way).
void InstallLayerUndo();

}  // namespace tintara
